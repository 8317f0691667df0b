#pragma once

#include "CatalogBackup.h"
#include "catalog/import/ImportTypes.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// Catalogs of other disc cataloguers, and file listings, brought into the catalog: each volume
// of the source becomes an archive saved as an added disc would be. Widget-free: the import
// window and `ambrylog-cli import` both drive it.

namespace backup {

// What the import reads and how.
struct ImportSource
{
    QString path; // "-" for standard input
    catimport::Format format = catimport::Format::Listing;
    catimport::DateOrder dateOrder = catimport::DateOrder::Unknown;
};

// Recognises the source's format from its content; empty, with the reason, when it is none of
// those read. "-" cannot be looked at twice and needs its format named.
std::optional<catimport::Format> recogniseImportFormat(const QString &path, QString *why);

// The volumes of a source without their records, for the user to choose from: what the import
// would take, in the source's order.
struct ImportSurvey
{
    Outcome outcome = Outcome::Failed;
    QString error;                    // Failed: why nothing can be imported
    QString damage;                   // the source broke off there; the volumes before it stand
    QList<catimport::Volume> volumes; // sound and refused ones, without records
    bool ambiguousDates = false;      // a volume's dates could be read day first or month first
};
ImportSurvey surveyImport(const ImportSource &source, const Progress &progress);

// Which volumes to take, by their place in the source, and under which mark.
struct ImportChoice
{
    // Every sound volume when true; else only those in marks.
    bool all = true;
    // The mark for the volume at that place; a volume without one is marked with its name.
    QHash<qint64, QString> marks;
    QString markPrefix;  // put before every mark made from a volume's name
    bool dryRun = false; // read and judge everything, write nothing
};

struct ImportResult
{
    Outcome outcome = Outcome::Failed;
    QString error; // Failed: why; the catalog was left as it was
    struct Disc
    {
        QString name; // the source's name for the volume
        QString mark; // the mark it got; for one already archived, that archive's mark
        qint64 files = 0;
    };
    QList<Disc> added;          // in the source's order (with a dry run: would be added)
    QList<Disc> present;        // skipped: an archive of the same records is in the catalog
    QList<Disc> refused;        // volumes that could not be taken, with the reason as mark
    QString damage;             // where the source broke off: only the volumes before it came
    catimport::Dropped dropped; // what the source held that the archives have no place for
    QStringList warnings;       // per volume: "NAME: what"
    qint64 files() const;
    // "Imported 12 discs (48,211 files). 2 skipped: already in the catalog.", then what was
    // refused, dropped and changed.
    QString summary() const;
    // Volumes were skipped or refused, or the source is damaged: the command line's exit 3.
    bool hasNotes() const { return !present.isEmpty() || !refused.isEmpty() || !damage.isEmpty(); }
};

// Reads the source again and stages an archive of every chosen sound volume, then moves them
// into the catalog together under the catalog lock. A failure or Cancel leaves the catalog as
// it was; a source that breaks off brings in the volumes read before it, and says so.
ImportResult importCatalog(const catalog::Catalog &catalog, const ImportSource &source,
                           const ImportChoice &choice, const Progress &progress);

} // namespace backup
