#pragma once

// The matching engine of the search: criteria, the test of one archive's file records
// (AddFile) and the walk over the catalog folder (SearchArchive / SearchFolder). No widgets:
// the search window, ambrylog-cli and the tests all run the same code.

#include "catalog/Catalog.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace search {

class RowBlock;

// Everything a search reads. The engine keeps a reference to the caller's object, so a window
// may change it from the pending-events callback: searchText and OnlyMark are read at the start
// of every archive, AdvancedMode before every record. The advanced fields (marks .. SizeLimit)
// only count in advanced mode.
struct SearchCriteria
{
    bool operator==(const SearchCriteria &) const = default;

    QString searchText; // edtSearch as typed (not trimmed; "*" and "?" are dropped)
    bool AdvancedMode = false;
    QString OnlyMark; // the one archive mark to search; empty: all archives

    bool marks = false;         // chkMarked
    bool dirs = true;           // chkDir
    bool files = true;          // chkFile (the name part)
    bool types = true;          // chkType (the type with its dot)
    bool caseSensitive = false; // chkCase

    bool dateActive = false; // chkDate
    int32_t DateFrom = 0;    // packed bounds, both included (see DateChange)
    int32_t DateTo = 0;

    bool sizeActive = false; // chkSize
    bool sizeAtMost = false; // cmbSize shows exactly "at most"; anything else is "at least"
    qint64 SizeLimit = 0;    // bytes (see SizeChange)
};

// The search text with every "*" and "?" removed, upper-cased by the user's locale unless
// caseSensitive (advanced mode with chkCase checked).
QString normaliseSearchText(const QString &typed, bool caseSensitive);

// A date as a packed MS-DOS date-time, or 0 when its year lies outside 1980..2107.
int32_t packSearchDate(const QDate &date, int hour, int minute, int second);
// The date bounds for the two pickers' dates, given in either order: the earlier day from
// 00:00:00, the later day to 23:59:58.
void DateChange(const QDate &a, const QDate &b, SearchCriteria &c);
// 1, 1,000, 1,000,000 or 1,000,000,000 for "Bytes", "KiloBytes", "MegaBytes", "GigaBytes";
// 0 for any other text.
qint64 sizeMultiplier(const QString &unitText);
// SizeLimit = position (the number shown, 0..32767) x the unit's multiplier.
void SizeChange(int position, const QString &unitText, SearchCriteria &c);

// The date and size criteria for one record's lines; a line that is not an integer counts as 0.
// SizeMatches drops every "." first.
bool DateInRange(QByteArrayView dateLine, const SearchCriteria &c);
bool SizeMatches(QByteArrayView sizeLine, const SearchCriteria &c);

// A whole signed 64-bit decimal number: optional sign, digits, nothing else.
bool parseInt64(QByteArrayView text, qint64 *value);

// Whether the bytes may hold a character outside ASCII whose upper case holds ASCII letters
// ("ß" gives "SS", the ligature "ﬁ" gives "FI", ...), read as UTF-8 or as Windows-1252.
bool hasAsciiUpperCase(const unsigned char *s, size_t n);
// The bytes upper-cased as far as an ASCII text can tell: ASCII letters and the characters
// hasAsciiUpperCase knows in capitals, every other byte as it is. Writes at most 2 n bytes.
size_t upperExpanded(const unsigned char *s, size_t n, char *out);
// The same with those characters spelt out in both readings (UTF-8 and Windows-1252) at once:
// every ASCII letter either reading gives is there, so a text it lacks neither reading holds.
size_t upperExpandedAnyEncoding(const unsigned char *s, size_t n, char *out);

// Name and type of a record's name line, split at its last "." (the type keeps the dot).
QByteArrayView namePart(QByteArrayView nameLine);
QByteArrayView typePart(QByteArrayView nameLine);

// Date Modified as the results list shows it: short date "dd/mm/yyyy", a blank and the time
// "hh:mm:ss", the time left out when it is 00:00:00; the locale's date and time separators.
QString formatDateModified(const QDateTime &dt);

// One matching record as the engine hands it to a sink. The byte views point into the engine's
// buffer and are valid only during the call: copy what you keep.
struct FoundRecord
{
    int archiveId = 0;      // index into the engine's archives(), the same for all rows of one archive
    QByteArrayView folder;  // folder line as stored ("\" for the root folder)
    QByteArrayView name;    // name line as stored, with its type
    qint64 record = 0;      // k, the record's index in its archive (from 0)
    qint64 size = 0;        // the size line, when sizeValid
    int32_t date = 0;       // low 32 bits of the date-time line, when dateValid
    bool sizeValid = false; // the size line is an integer
    bool dateValid = false; // the date-time line is an integer that unpacks to a valid date
};

// One archive that gave rows: its full path and the mark its rows show ("Unknown" when empty).
struct ArchiveInfo
{
    QString path;
    QString mark;
};

// Receives the rows of a search in the order the results list adds them.
class ResultSink
{
public:
    virtual ~ResultSink() = default;
    // Called before the first row of an archive; id is FoundRecord::archiveId.
    virtual void beginArchive(int id, const ArchiveInfo &archive) = 0;
    virtual void addRow(const FoundRecord &row) = 0;
    // Rows first .. first + count - 1 of a block of one archive's rows, as a worker stored
    // them. A sink that keeps rows in that form may keep the block; the default hands the rows
    // to addRow one at a time.
    virtual void addRows(int archiveId, const std::shared_ptr<const RowBlock> &block, size_t first,
                         size_t count);
    // True when addRows keeps the blocks: they are then laid out for keeping (in large regions)
    // rather than for being dropped once handed out.
    virtual bool keepsBlocks() const { return false; }
    // False when addRow reads nothing but the validity flags: rows scanned ahead then keep no
    // text.
    virtual bool keepsRowText() const { return true; }
};

// Counts rows and keeps nothing else.
class CountingSink : public ResultSink
{
public:
    void beginArchive(int, const ArchiveInfo &) override {}
    void addRow(const FoundRecord &) override { ++count; }
    bool keepsRowText() const override { return false; }
    qint64 count = 0;
};

// Archives a search skipped or cut short, and rows it could not fill, told once at its end.
struct SearchProblems
{
    QStringList damagedArchives;   // full paths, in the order met
    QStringList damagedReasons;    // one short reason per path
    UnreadableArchives unreadable; // archives that could not be read at all, skipped
    qint64 unfilledRows = 0;       // rows whose size or date line could not be shown
    QString firstUnfilled;         // "<archive path> <k>" of the first such row

    bool isEmpty() const { return damagedArchives.isEmpty() && unreadable.isEmpty() && unfilledRows == 0; }
};

// The user's message for damaged archives: the first few paths and how many in all; empty
// when there were none.
QString damagedArchivesMessage(const SearchProblems &p, int maxPaths = 5);
// The message for rows that could not be filled: the first one's archive path and record
// index, and how many more; empty when there were none.
QString unfilledRowsMessage(const SearchProblems &p);

class SearchEngine
{
public:
    // criteria and sink must outlive the engine; criteria is read live (see SearchCriteria).
    SearchEngine(const SearchCriteria &criteria, ResultSink &sink);
    ~SearchEngine();
    SearchEngine(const SearchEngine &) = delete;
    SearchEngine &operator=(const SearchEngine &) = delete;

    // Runs at every 300th record of an archive (0, 300, ...), after each archive file and
    // around each folder of the walk; a window lets its pending events run here.
    void setPendingEvents(std::function<void()> callback);
    // The cancel flag (CancelRequested), read after every record (after every addRows call when
    // rows scanned ahead are handed out) and before each folder's subfolders. Not owned; may be
    // null.
    void setCancelFlag(const bool *CancelRequested);
    // Asked with the cancel flag: true stops the walk (the application is terminating).
    void setTerminating(std::function<bool()> callback);
    // Runs after each archive file of the walk (the window adds 1 to its progress bar).
    void setArchiveDone(std::function<void()> callback);

    // Tests the records of one archive file and hands every match to the sink. A damaged
    // or unreadable archive is noted in problems() and the search goes on.
    void AddFile(const QString &archivePath);

    // The walk: archive files (mask, any letter case) of the folder, then its subfolders;
    // symbolic links to folders are not followed. Returns false when cancelled.
    bool SearchFolder(const QString &folder, const QString &mask = QStringLiteral("*.dat"));
    // Starts the walk at the catalog folder; a missing folder gives no rows.
    void SearchArchive(const QString &folder, const QString &mask = QStringLiteral("*.dat"));

    const SearchProblems &problems() const;
    // Archives that gave at least one row, indexed by FoundRecord::archiveId.
    const QList<ArchiveInfo> &archives() const;
    qint64 rowsFound() const;
    qint64 archivesRead() const;
    // Archives read whose mark is the criteria's OnlyMark (0 when OnlyMark is empty).
    qint64 archivesWithOnlyMark() const;

    // How many archives are scanned at once. 1 (the default) reads them one after another on the
    // calling thread. More scan ahead on worker threads, each against the criteria as they were
    // when its archive was handed out, while the rows still reach the sink on the calling
    // thread in the same order; an archive scanned under criteria that have changed since is
    // scanned again (from the next record when the change comes while its rows are handed out).
    // Read-ahead is bounded in archives and in the bytes of rows waiting.
    void setThreads(int threads);

    // Off: every record takes the Unicode path (for tests that compare the two paths).
    void setAsciiFastPath(bool on);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace search
