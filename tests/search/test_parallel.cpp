// Archives scanned ahead on worker threads must give exactly what the one-thread search gives:
// the same rows in the same order, the same damaged archives, the same counts.

#include "SearchEngine.h"
#include "TestSupport.h"
#include "helper_archives.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using namespace search;
using namespace searchtest;

namespace {

const char *const kWords[] = {"song",
                              "Music",
                              "photo",
                              "a",
                              "Readme",
                              "stra\xc3\x9f"
                              "e",
                              "x",
                              "Song",
                              "tape",
                              "IMG"};
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
};

Outcome run(const QString &root, SearchCriteria &c, int threads,
            const std::function<void(SearchCriteria &, qint64)> &onArchiveDone = {})
{
    CollectSink sink;
    SearchEngine engine(c, sink);
    engine.setThreads(threads);
    Outcome o;
    engine.setArchiveDone([&] {
        ++o.archivesDone;
        if (onArchiveDone)
            onArchiveDone(c, o.archivesDone);
    });
    engine.SearchArchive(root);
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
             SizeChange(2000, QStringLiteral("KiloBytes"), c);
         }},
        {"one mark", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("CD No: 4"); }},
    };
    return v;
}

} // namespace

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

    CollectSink sink;
    SearchEngine engine(c, sink);
    engine.setThreads(4);
    bool cancel = false;
    engine.setCancelFlag(&cancel);
    QElapsedTimer sinceCancel;
    engine.setPendingEvents([&] {
        if (!cancel && sink.rows.size() > 2000) {
            cancel = true;
            sinceCancel.start();
        }
    });
    engine.SearchArchive(root);
    ASSERT_TRUE(cancel);
    EXPECT_LT(sinceCancel.elapsed(), 50) << "workers must stop within 50 ms";
    ASSERT_GT(sink.rows.size(), 2000);
    ASSERT_LT(sink.rows.size(), all.rows.size());
    for (qsizetype i = 0; i < sink.rows.size(); ++i) {
        ASSERT_EQ(QDir(root).relativeFilePath(sink.rows.at(i).path) + QLatin1Char('|') +
                      QString::number(sink.rows.at(i).record),
                  all.rows.at(i).section(QLatin1Char('|'), 0, 0) + QLatin1Char('|') +
                      all.rows.at(i).section(QLatin1Char('|'), 4, 4))
            << "row " << i;
    }
}
