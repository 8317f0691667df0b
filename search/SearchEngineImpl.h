#pragma once

// The engine's state, shared by its two halves: SearchEngine.cpp walks the catalog and hands
// archives to worker threads; RecordReader.cpp reads the records of one archive (the skim that
// passes over records by their bytes, the reader of every record, the test of one record).
// Only those two include it.

#include "SearchEngine.h"
#include "TextCriterion.h"
#include "catalog/ArchiveFile.h"
#include "catalog/ArchiveLayout.h"

#include <QByteArray>
#include <QLocale>

#include <vector>

namespace search {

struct ScannedArchive;

// The pending events run at every kEventsEvery-th record of an archive.
inline constexpr qint64 kEventsEvery = 300;

struct SearchEngine::Impl
{
    Impl(const SearchCriteria &criteria, ResultSink &s);

    const SearchCriteria &c;
    ResultSink &sink;
    Progress progress;

    SearchProblems problems;
    QList<ArchiveInfo> archives;
    qint64 rows = 0;
    qint64 archivesRead = 0;
    qint64 onlyMarkArchives = 0;
    int threads = 1;

    QLocale locale;
    bool asciiFast = true;

    ArchiveBuffer file;
    FieldBlock block;
    std::vector<LineSpan> lines; // the record section's lines

    // Per archive
    QString archivePath;
    QString mark;
    int archiveId = -1;          // -1 until the archive gives its first row
    QString archiveText;         // the search text as the archive's reading began
    TextCriterion text;          // set up for the mode the records are now tested in
    bool markOk = true;

    void events() const { progress.events(); }
    bool cancelled() const { return progress.cancelled(); }

    void damaged(const QString &reason)
    {
        problems.damagedArchives.append(archivePath);
        problems.damagedReasons.append(reason);
    }

    // ---- RecordReader.cpp: one archive

    // from > 0: the archive's rows before record from were handed out already (under archiveId).
    void addFile(const QString &path, qint64 from = 0);
    // Tells the sink about the archive before its first row.
    void beginArchive();
    void emitFound(FoundRecord &r);
    bool testRecord(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size, QByteArrayView date,
                    bool advanced);
    void gaveUpOn(qint64 k);
    void emitRow(qint64 k, QByteArrayView folder, QByteArrayView name, QByteArrayView size,
                 QByteArrayView date);

    void setUpNeedle(bool advanced);
    struct Reading
    {
        uint64_t wholeLines = 0; // whole lines of the record section before any NUL
        bool nul = false;        // the record section holds a NUL
        bool cancelled = false;  // stopped before the end: no verdict
    };
    Reading readRecords(const RecordPlan &plan, size_t recordsEnd, qint64 from);
    // Records from..count - 1 one after another (the ones before are passed over).
    Reading readInOrder(qint64 count, qint64 pars, size_t recordsEnd, qint64 from);
    bool canSkipByHits() const;
    // Resume: the mode changed so that records can no longer be skipped; *resumeFrom is the
    // first record not yet tested.
    enum class SkimResult { Done, NotPossible, Nul, Resume };
    SkimResult skimArchive(qint64 count, size_t recordsEnd, Reading *reading, qint64 *resumeFrom);
    struct Pending
    {
        qint64 k;
        QByteArrayView folder, name, size, date;
    };
    std::vector<Pending> pending; // rows of a skim, handed out when it ends without a NUL
    bool skimRecord(qint64 k, size_t hit, int role, size_t recordsEnd, bool textFound);
    bool lineMayHold(size_t pos, size_t recordsEnd, const uchar *folded, size_t m);
    // Accents ignored: whether the line holding pos, folded, may hold the skim text; line keeps
    // what is known of the last line looked at.
    struct FoldedLine
    {
        size_t start = SIZE_MAX, end = 0;
        bool utf8 = false;
        bool done = false; // looked at whole already
    };
    bool foldedLineMayHold(size_t pos, size_t recordsEnd, FoldedLine &line);

    // ---- SearchEngine.cpp: the walk and the workers

    bool searchFolder(const catalog::Catalog &catalog);
    bool searchParallel(const catalog::Catalog &catalog);
    void deliver(const ScannedArchive &a);
    // Rows of the block to the sink, counted as emitFound counts them.
    void handOut(const std::shared_ptr<const RowBlock> &block, size_t first, size_t count);
};

} // namespace search
