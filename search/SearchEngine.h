#pragma once

// The matching engine of the search: the test of one archive's file records (AddFile) and the
// walk over the catalog folder (SearchArchive / SearchFolder), on one thread or several. No
// widgets: the search window, ambrylog-cli and the tests all run the same code.

#include "SearchCriteria.h"
#include "SearchProblems.h"
#include "catalog/Catalog.h"
#include "util/Progress.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace search {

class RowBlock;

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

class SearchEngine
{
public:
    // criteria and sink must outlive the engine; criteria is read live (see SearchCriteria).
    SearchEngine(const SearchCriteria &criteria, ResultSink &sink);
    ~SearchEngine();
    SearchEngine(const SearchEngine &) = delete;
    SearchEngine &operator=(const SearchEngine &) = delete;

    // How the search is stopped and what it tells (the cancel flag is not owned):
    // - the pending events run at every 300th record of an archive (0, 300, ...), after each
    //   archive file and around each folder of the walk;
    // - the cancel flag (CancelRequested) is read after every record (after every addRows call
    //   when rows scanned ahead are handed out) and before each folder's subfolders, where
    //   stopRequested (the application is terminating) is asked as well;
    // - a step is done after each archive file of the walk (the window's progress bar).
    void setProgress(const Progress &progress);

    // Tests the records of one archive file and hands every match to the sink. A damaged
    // or unreadable archive is noted in problems() and the search goes on.
    void AddFile(const QString &archivePath);

    // The catalog's walk (catalog::Catalog::walk), every archive through AddFile. Returns false
    // when cancelled.
    bool SearchFolder(const catalog::Catalog &catalog);
    // The same, after the pending events; a missing catalog folder gives no rows.
    void SearchArchive(const catalog::Catalog &catalog);

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
