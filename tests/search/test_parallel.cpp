// Archives scanned ahead on worker threads must give exactly what the one-thread search gives:
// the same rows in the same order, the same damaged archives, the same counts.

#include "TestSupport.h"
#include "helper_archives.h"
#include "search/ResultsModel.h"
#include "search/SearchEngine.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include <sys/stat.h>

using namespace search;
using namespace searchtest;

namespace {

const char *const kWords[] = {"song",        "Music", "photo", "a",    "Readme",
                              "stra\u00dfe", "x",     "Song",  "tape", "IMG"};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

QByteArray word(Random &rnd)
{
    return kWords[rnd(kWordCount)];
}

// A catalog in the root and two levels of subfolders, with every kind of damage the search
// reports among sound archives.
QString makeCatalog(uint32_t seed, int archives)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("parallel"));
    const QStringList folders = {root, root + QStringLiteral("/b"), root + QStringLiteral("/b/c"),
                                 root + QStringLiteral("/a")};
    for (const QString &f : folders)
        QDir().mkpath(f);
    Random rnd(seed);
    for (int i = 0; i < archives; ++i) {
        QList<Rec> recs;
        const int n = rnd(8) == 0 ? 700 + int(rnd(900)) : int(rnd(120));
        for (int k = 0; k < n; ++k) {
            Rec r;
            r.folder = rnd(4) == 0 ? QByteArray("\\") : word(rnd) + "\\" + word(rnd);
            r.name = word(rnd) + word(rnd) + (rnd(2) ? ".mp3" : ".TXT");
            r.size = rnd(20) == 0 ? QByteArray("12a") : QByteArray::number(rnd(5000000));
            r.date = rnd(25) == 0 ? QByteArray("x") : QByteArray::number(900000000 + rnd(200000000));
            recs.append(r);
        }
        Fields f;
        f.mark = "CD No: " + QByteArray::number(i % 17);
        QByteArray bytes;
        switch (i % 11) {
        case 3:
            f.files = QByteArray::number(n + 5); // more than it holds
            bytes = archiveBytes(recs, f);
            break;
        case 5:
            bytes = archiveBytes(recs, f);
            bytes.insert(int(rnd(uint32_t(bytes.size()))), '\0');
            break;
        case 7:
            bytes = archiveBytes(recs, f);
            bytes.truncate(int(rnd(uint32_t(bytes.size()))));
            break;
        case 9:
            f.writeFiles = false;
            bytes = archiveBytes(recs, f, "\n");
            break;
        default:
            bytes = archiveBytes(recs, f, rnd(3) == 0 ? "\n" : "\r\n");
            break;
        }
        const QString dir = folders.at(int(rnd(uint32_t(folders.size()))));
        ambrytest::writeFile(QDir(dir).filePath(QStringLiteral("%1.dat").arg(i)), bytes);
    }
    return root;
}

struct Outcome
{
    QStringList rows;
    QStringList damaged;
    QStringList archives;
    qint64 unfilled = 0;
    QString firstUnfilled;
    qint64 read = 0;
    qint64 onlyMark = 0;
    qint64 archivesDone = 0;
    QStringList unreadable;
};

Outcome run(const QString &root, SearchCriteria &c, int threads,
            const std::function<void(SearchCriteria &, qint64)> &onArchiveDone = {})
{
    CollectSink sink;
    SearchEngine engine(c, sink);
    engine.setThreads(threads);
    Outcome o;
    Progress counting;
    counting.stepDone = [&] {
        ++o.archivesDone;
        if (onArchiveDone)
            onArchiveDone(c, o.archivesDone);
    };
    engine.setProgress(counting);
    engine.SearchArchive(catalog::Catalog(root));
    for (const Row &r : sink.rows)
        o.rows.append(QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8%9")
                          .arg(QDir(root).relativeFilePath(r.path), r.mark, QString::fromUtf8(r.folder),
                               QString::fromUtf8(r.name))
                          .arg(r.record)
                          .arg(r.size)
                          .arg(r.date)
                          .arg(int(r.sizeValid))
                          .arg(int(r.dateValid)));
    for (qsizetype i = 0; i < engine.problems().damagedArchives.size(); ++i)
        o.damaged.append(QDir(root).relativeFilePath(engine.problems().damagedArchives.at(i)) +
                         QLatin1Char(' ') + engine.problems().damagedReasons.value(i));
    for (const ArchiveInfo &a : engine.archives())
        o.archives.append(QDir(root).relativeFilePath(a.path) + QLatin1Char(' ') + a.mark);
    o.unfilled = engine.problems().unfilledRows;
    o.firstUnfilled = engine.problems().firstUnfilled;
    o.read = engine.archivesRead();
    o.onlyMark = engine.archivesWithOnlyMark();
    for (const UnreadableArchive &u : engine.problems().unreadable)
        o.unreadable.append(QDir(root).relativeFilePath(u.path) + QLatin1Char(' ') + u.reason);
    return o;
}

void expectSame(const Outcome &want, const Outcome &got)
{
    ASSERT_EQ(want.rows.size(), got.rows.size());
    EXPECT_EQ(want.rows, got.rows);
    EXPECT_EQ(want.damaged, got.damaged);
    EXPECT_EQ(want.archives, got.archives);
    EXPECT_EQ(want.unfilled, got.unfilled);
    EXPECT_EQ(want.firstUnfilled, got.firstUnfilled);
    EXPECT_EQ(want.read, got.read);
    EXPECT_EQ(want.onlyMark, got.onlyMark);
    EXPECT_EQ(want.archivesDone, got.archivesDone);
    EXPECT_EQ(want.unreadable, got.unreadable);
}

struct Variant
{
    const char *what;
    std::function<void(SearchCriteria &)> set;
};

const std::vector<Variant> &variants()
{
    static const std::vector<Variant> v = {
        {"simple 'song'", [](SearchCriteria &c) { c.searchText = QStringLiteral("song"); }},
        {"simple, every record", [](SearchCriteria &) {}},
        {"simple 'SS' (a sharp s spells it)", [](SearchCriteria &c) { c.searchText = QStringLiteral("SS"); }},
        {"advanced, names only, case",
         [](SearchCriteria &c) {
             c.searchText = QStringLiteral("Song");
             c.AdvancedMode = true;
             c.dirs = c.types = false;
             c.caseSensitive = true;
         }},
        {"advanced, date and size",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.dateActive = true;
             DateChange(QDate(1999, 1, 1), QDate(2010, 6, 30), c);
             c.sizeActive = true;
             SizeChange(2000, SizeUnit::KiloBytes, c);
         }},
        {"one mark", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("CD No: 4"); }},
    };
    return v;
}

// Everything the window reads of each row, in view order.
QStringList modelRows(const QString &root, const ResultsModel &m)
{
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) {
        QStringList cells;
        for (int col = 0; col < ResultsModel::ColumnCount; ++col)
            cells << m.data(m.index(r, col)).toString();
        cells << QDir(root).relativeFilePath(m.archivePath(r)) << QString::number(m.recordIndex(r))
              << QString::fromLatin1(m.folderBytes(r).toHex()) << QString::fromLatin1(m.nameBytes(r).toHex())
              << QString::number(m.size(r)) << QString::number(m.packedDate(r))
              << QString::number(int(m.sizeShown(r))) << m.dateModified(r).toString(Qt::ISODate);
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// The model's rows after the search, then after each sort the window offers.
QList<QStringList> fillAndSort(const QString &root, SearchCriteria &c, int threads,
                               qint64 *modelBytes = nullptr)
{
    ResultsModel model;
    model.beginFill();
    {
        SearchEngine engine(c, model);
        engine.setThreads(threads);
        engine.SearchArchive(catalog::Catalog(root));
    }
    model.endFill();
    if (modelBytes)
        *modelBytes = model.memoryUsed();
    QList<QStringList> out{modelRows(root, model)};
    for (int col = 0; col < ResultsModel::ColumnCount; ++col) {
        for (bool ascending : {true, false}) {
            model.sortRows(col, ascending);
            out << modelRows(root, model);
        }
    }
    return out;
}

} // namespace

// Workers hand their rows to the model as whole blocks; the model must read and sort them as it
// does rows added one by one.
TEST(ParallelSearch, ModelFilledFromWorkersMatchesTheOneThreadFill)
{
    const QString root = makeCatalog(31, 16);
    for (const Variant &v : variants()) {
        // Every record, and rows with gaps between them.
        if (std::string(v.what) != "simple, every record" && std::string(v.what) != "advanced, date and size")
            continue;
        SearchCriteria c;
        v.set(c);
        qint64 oneBytes = 0;
        const QList<QStringList> one = fillAndSort(root, c, 1, &oneBytes);
        QHash<QString, int> perArchive;
        for (const QString &row : one.constFirst())
            ++perArchive[row.section(QLatin1Char('|'), 6, 6)];
        ASSERT_GT(*std::max_element(perArchive.cbegin(), perArchive.cend()), 300)
            << v.what << ": an archive's rows must come in several hand-outs";
        for (int threads : {2, 8}) {
            SCOPED_TRACE(std::string(v.what) + ", " + std::to_string(threads) + " threads");
            SearchCriteria again;
            v.set(again);
            qint64 bytes = 0;
            const QList<QStringList> got = fillAndSort(root, again, threads, &bytes);
            ASSERT_EQ(one.size(), got.size());
            for (qsizetype i = 0; i < one.size(); ++i)
                ASSERT_EQ(one.at(i), got.at(i)) << "sort " << i;
            // Blocks are trimmed to their rows when an archive is done.
            EXPECT_LE(bytes, oneBytes + oneBytes / 10);
        }
    }
}

// A mode switch while an archive's rows are handed out counts from the archive's next record:
// the rows scanned ahead up to there go to the model as a block, the rest of the archive is
// read again row by row.
TEST(ParallelSearch, ModeSwitchedHalfwayThroughAnArchiveCountsFromItsNextRecord)
{
    const QString root = makeCatalog(43, 40);
    // Every record in simple mode, fewer in advanced mode.
    const auto start = [](SearchCriteria &c) {
        c.dateActive = true;
        DateChange(QDate(1999, 1, 1), QDate(2010, 6, 30), c);
        c.sizeActive = true;
        SizeChange(2000, SizeUnit::KiloBytes, c);
    };
    // Rows as "walk position of the archive, record", comparable across searches.
    QHash<QString, int> walk;
    const auto key = [&](const QString &relPath, qint64 record) {
        if (!walk.contains(relPath))
            walk.insert(relPath, int(walk.size()));
        return std::make_pair(walk.value(relPath), record);
    };
    const auto keys = [&](const QStringList &rows) {
        std::vector<std::pair<int, qint64>> out;
        for (const QString &r : rows)
            out.push_back(
                key(r.section(QLatin1Char('|'), 0, 0), r.section(QLatin1Char('|'), 4, 4).toLongLong()));
        return out;
    };
    SearchCriteria simple, advanced;
    start(simple);
    start(advanced);
    advanced.AdvancedMode = true;
    const auto before = keys(run(root, simple, 1).rows);
    const auto after = keys(run(root, advanced, 1).rows);
    ASSERT_LT(after.size(), before.size());

    for (int threads : {2, 8}) {
        for (int at = 0; at < 4; ++at) {
            SCOPED_TRACE(std::to_string(threads) + " threads, switch " + std::to_string(at));
            // Switches at the at-th pending events that come after a multiple of 300 rows of one
            // archive: between two hand-outs of that archive. Returns the rows handed out by then.
            const auto runWith = [&](ResultSink &sink, const std::function<qint64()> &rows,
                                     const std::function<QString(qint64)> &path) {
                SearchCriteria c;
                start(c);
                SearchEngine engine(c, sink);
                engine.setThreads(threads);
                qint64 seen = 0, flip = -1, last = -1;
                Progress switching;
                switching.pendingEvents = [&] {
                    const qint64 n = rows();
                    qint64 same = 0;
                    while (same < n && path(n - 1 - same) == path(n - 1))
                        ++same;
                    if (flip < 0 && n != last && same > 0 && same % 300 == 0 && seen++ == at) {
                        c.AdvancedMode = true;
                        flip = n;
                    }
                    last = n;
                };
                engine.setProgress(switching);
                engine.SearchArchive(catalog::Catalog(root));
                return flip;
            };
            CollectSink sink;
            const qint64 flip = runWith(
                sink, [&] { return qint64(sink.rows.size()); },
                [&](qint64 i) { return sink.rows.at(i).path; });
            ASSERT_GT(flip, 0) << "the catalog must have archives of more than 300 rows";
            std::vector<std::pair<int, qint64>> want(before.begin(), before.begin() + flip);
            const auto boundary = want.back();
            for (const auto &k : after) {
                if (k > boundary)
                    want.push_back(k);
            }
            std::vector<std::pair<int, qint64>> got;
            for (const Row &r : sink.rows)
                got.push_back(key(QDir(root).relativeFilePath(r.path), r.record));
            ASSERT_EQ(want, got);

            ResultsModel model; // not filling: every hand-out is announced, so rowCount is live
            ASSERT_EQ(flip, runWith(
                                model, [&] { return qint64(model.rowCount()); },
                                [&](qint64 i) { return model.archivePath(int(i)); }));
            ASSERT_EQ(qint64(sink.rows.size()), model.rowCount());
            for (int r = 0; r < model.rowCount(); ++r) {
                const Row &w = sink.rows.at(r);
                ASSERT_EQ(w.path + QLatin1Char(' ') + QString::number(w.record) + QLatin1Char(' ') +
                              QString::fromUtf8(w.folder) + QLatin1Char(' ') + QString::fromUtf8(w.name),
                          model.archivePath(r) + QLatin1Char(' ') + QString::number(model.recordIndex(r)) +
                              QLatin1Char(' ') + model.folderLine(r) + QLatin1Char(' ') + model.name(r))
                    << "row " << r;
            }
        }
    }
}

TEST(ParallelSearch, SameRowsOrderAndReportsForEveryThreadCount)
{
    for (uint32_t seed : {7u, 1234u}) {
        const QString root = makeCatalog(seed, 70);
        for (const Variant &v : variants()) {
            SearchCriteria c;
            v.set(c);
            const Outcome one = run(root, c, 1);
            ASSERT_FALSE(one.damaged.isEmpty()) << "the catalog must hold damaged archives";
            for (int threads : {2, 8}) {
                SCOPED_TRACE(std::string(v.what) + ", seed " + std::to_string(seed) + ", " +
                             std::to_string(threads) + " threads");
                SearchCriteria again;
                v.set(again);
                expectSame(one, run(root, again, threads));
            }
        }
    }
}

// Folders the walk cannot list are named where the one-thread walk meets them, between the
// archives around them, whatever the number of threads.
TEST(ParallelSearch, FoldersThatCannotBeListedAreNamedInTheWalksOrder)
{
    const QString root = makeCatalog(99, 40);
    const QStringList locked = {root + QStringLiteral("/0 first/"), root + QStringLiteral("/n/locked/")};
    for (const QString &folder : locked) {
        ambrytest::writeFile(folder + QStringLiteral("inside.dat"), "never read\r\n");
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0), 0);
    }
    ambrytest::openToOthers(QFile::encodeName(root).toStdString());
    std::vector<Outcome> outcomes;
    {
        // The walk lists folders on the calling thread, which now checks as a plain user.
        const ambrytest::UnprivilegedFiles asUser;
        for (int threads : {1, 2, 8}) {
            SearchCriteria c;
            c.searchText = QStringLiteral("song");
            outcomes.push_back(run(root, c, threads));
        }
    }
    for (const QString &folder : locked)
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    const QString reason = QStringLiteral("folder cannot be listed: ") + errnoText(EACCES);
    EXPECT_EQ(outcomes[0].unreadable,
              QStringList({QStringLiteral("0 first ") + reason, QStringLiteral("n/locked ") + reason}));
    EXPECT_FALSE(outcomes[0].rows.isEmpty());
    for (size_t i = 1; i < outcomes.size(); ++i)
        expectSame(outcomes[0], outcomes[i]);
}

// A mode switched while archives are being handed out counts from the next archive on, for the
// archives scanned ahead under the old mode too.
TEST(ParallelSearch, ModeSwitchedDuringTheSearchCountsFromTheNextArchive)
{
    const QString root = makeCatalog(99, 60);
    const auto flipAtThird = [](SearchCriteria &c, qint64 done) {
        if (done == 3 || done == 40)
            c.AdvancedMode = !c.AdvancedMode;
    };
    const auto start = [](SearchCriteria &c) {
        // In advanced mode with folders left out a text found only in a folder stops matching.
        c.searchText = QStringLiteral("photo");
        c.dirs = false;
    };
    SearchCriteria c1;
    start(c1);
    const Outcome one = run(root, c1, 1, flipAtThird);
    SearchCriteria plain;
    start(plain);
    ASSERT_NE(one.rows, run(root, plain, 1).rows) << "the switch must change the rows";
    for (int threads : {2, 8}) {
        SCOPED_TRACE(threads);
        SearchCriteria c;
        start(c);
        expectSame(one, run(root, c, threads, flipAtThird));
    }
}

TEST(ParallelSearch, CancelStopsPromptlyAndKeepsTheRowsHandedOut)
{
    const QString root = makeCatalog(5, 150);
    SearchCriteria c; // every record
    const Outcome all = run(root, c, 1);

    // Four threads, from the moment more than 2000 rows are handed out to the end of the
    // search: milliseconds, and the rows.
    struct Tail
    {
        qint64 ms = -1;
        QList<Row> rows;
    };
    const auto tail = [&](bool cancelThere) {
        CollectSink sink;
        SearchEngine engine(c, sink);
        engine.setThreads(4);
        bool cancel = false;
        QElapsedTimer since;
        Progress cancelling;
        cancelling.cancel = &cancel;
        cancelling.pendingEvents = [&] {
            if (!since.isValid() && sink.rows.size() > 2000) {
                since.start();
                cancel = cancelThere;
            }
        };
        engine.setProgress(cancelling);
        engine.SearchArchive(catalog::Catalog(root));
        return Tail{since.isValid() ? since.elapsed() : -1, sink.rows};
    };

    // Timings on a shared machine: the cancelled tail is held against the tail of the same
    // search left alone, and the best of three tries counts, so one stall of the machine does
    // not fail it while a search that reads on after the cancel fails every try.
    const Tail uncancelled = tail(false);
    ASSERT_GE(uncancelled.ms, 0);
    ASSERT_EQ(uncancelled.rows.size(), all.rows.size());
    Tail best;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Tail t = tail(true);
        ASSERT_GE(t.ms, 0);
        if (best.ms < 0 || t.ms < best.ms)
            best = std::move(t);
    }
    EXPECT_LT(best.ms * 4, uncancelled.ms)
        << "workers must stop at the cancel: " << best.ms << " ms after it, against " << uncancelled.ms
        << " ms for the rest of the search";

    const QList<Row> &rows = best.rows;
    ASSERT_GT(rows.size(), 2000);
    ASSERT_LT(rows.size(), all.rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(QDir(root).relativeFilePath(rows.at(i).path) + QLatin1Char('|') +
                      QString::number(rows.at(i).record),
                  all.rows.at(i).section(QLatin1Char('|'), 0, 0) + QLatin1Char('|') +
                      all.rows.at(i).section(QLatin1Char('|'), 4, 4))
            << "row " << i;
    }
}
