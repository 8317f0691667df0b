#pragma once

#include "util/Progress.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Catalogs of other disc cataloguers, and plain file listings, read as discs of our own: each
// volume of the source becomes the record section of one disc, as the disc walk would have
// recorded it, with what the source says about the volume as a whole.
namespace catimport {

enum class Format {
    CatcliJson,
    GocatcliJson,
    GocatcliToml,
    CdCat,
    GWhere,
    Katalog,
    VvvCsv,
    Listing,
};

struct FormatInfo
{
    Format format;
    const char *name;     // as the command line takes it ("cdcat")
    const char *title;    // as the user knows the program ("CdCat")
    const char *patterns; // the file dialog's filter ("*.hcf")
};
const QList<FormatInfo> &formats();
std::optional<Format> formatByName(QStringView name);
const FormatInfo &formatInfo(Format format);

// How a date written by the user's locale is read when the file cannot tell.
enum class DateOrder { Unknown, DayMonthYear, MonthDayYear, YearMonthDay };
std::optional<DateOrder> dateOrderByName(QStringView name); // "dmy", "mdy", "ymd"
// The order the system's locale writes short dates in: what a date that could be read either
// way is taken as, unless the user says otherwise.
DateOrder systemDateOrder();

// What the source holds that an archive cannot, per kind: counted, then left out.
struct Dropped
{
    qint64 checksums = 0;
    qint64 tags = 0;     // tags, categories and audio tags
    qint64 comments = 0; // comments and descriptions of single files and folders
    qint64 archiveMembers = 0;
    qint64 other = 0; // stored file contents, media details, links to other catalogs
    Dropped &operator+=(const Dropped &o);
    bool any() const { return checksums || tags || comments || archiveMembers || other; }
};
// "3 checksums, 2 comments" (empty when nothing was dropped).
QString droppedText(const Dropped &d);

struct Volume
{
    QString name; // the source's name for the volume: the mark to be
    QString location;
    QString note;         // names the format the volume came from
    QDateTime archivedAt; // when the source catalogued it; invalid when it does not say
    QByteArray records;   // the record section, each line ending in CR LF
    qint64 files = 0;
    qint64 folders = 0; // below the volume's root
    qint64 bytes = 0;
    Dropped dropped;
    QStringList warnings; // what was taken, but not as the source has it
    QString refusal;      // why the volume cannot be taken; no records then
    qint64 line = 0;      // where the volume starts in the source (0 when it has no lines)
    bool ambiguousDates = false; // dates that read both day first and month first were read one way
    bool sound() const { return refusal.isEmpty(); }
};

struct Options
{
    DateOrder dateOrder = DateOrder::Unknown; // for dates in the user's locale
    // Only count: records are not kept (the list of volumes before an import).
    bool countOnly = false;
    // Shown "Reading" with the bytes of the file read so far and its size, and asked whether
    // to stop, every few thousand lines.
    Progress progress;
};

// Takes each volume as it is read; false stops the reading.
using VolumeSink = std::function<bool(Volume &&)>;

struct ReadOutcome
{
    QString error; // the file could not be read to its end; volumes handed on before it stand
    bool cancelled = false;
    bool stopped = false; // the sink said stop
    qint64 volumes = 0;
};

} // namespace catimport
