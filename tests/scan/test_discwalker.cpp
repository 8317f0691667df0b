#include "helper_tree.h"
#include "scan/DiscWalker.h"

#include "TestSupport.h"
#include "catalog/DosDateTime.h"
#include "drives/DiscWait.h"
#include "drives/HostageFile.h"
#include "drives/testing/FakeDriveSystem.h"
#include "settings/gRegistry.h"
#include "util/gUtils.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace scantest;

namespace {

const QString kHostage = QStringLiteral("HostageFile");

struct Entry
{
    long long size;
    time_t mtime;
    QByteArray recordedName;
};

// What the walk must produce for a tree whose files are all described in `files` (keyed by
// path below the root): each folder's files in listing order, then its subfolders in listing
// order, depth first.
QByteArray expectedRecords(const std::string &root, const std::string &relative,
                           const std::map<std::string, Entry> &files, const QByteArray &folderLine)
{
    QByteArray out;
    std::vector<std::string> subfolders;
    for (const std::string &name : listed(root + relative)) {
        struct stat st;
        EXPECT_EQ(::lstat((root + relative + name).c_str(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            subfolders.push_back(name);
            continue;
        }
        const auto it = files.find(relative + name);
        EXPECT_NE(it, files.end()) << "no expectation for " << relative + name;
        if (it == files.end())
            continue;
        out += record(folderLine, it->second.recordedName, it->second.size,
                      filerecord::packLocalTime(it->second.mtime));
    }
    for (const std::string &name : subfolders) {
        const std::string sub = relative + name + "/";
        out += expectedRecords(root, sub, files, filerecord::folderLine(QByteArray::fromStdString(sub)));
    }
    return out;
}

// A fresh folder (ending in "/") on a file system in memory, when the machine has one.
std::optional<std::string> scratchInMemory()
{
    struct statfs fs;
    if (::statfs("/dev/shm", &fs) != 0 || fs.f_type != TMPFS_MAGIC)
        return std::nullopt;
    char name[] = "/dev/shm/ambry-walk-XXXXXX";
    if (!::mkdtemp(name))
        return std::nullopt;
    return std::string(name) + "/";
}

class DiscWalkTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteSetting(RegKey::V, kHostage); }
};

} // namespace

TEST_F(DiscWalkTest, TwoFileDiscGivesTheDocumentedRecordSection)
{
    const std::string root = newRoot("example");
    makeFile(root + "readme.txt", 1234, localMoment(2008, 5, 14, 10, 20, 30));
    makeFolder(root + "Music");
    makeFile(root + "Music/track01.mp3", 4321987, localMoment(2008, 5, 13, 18, 2, 10));

    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.records(), QByteArray("\\\r\nreadme.txt\r\n1234\r\n950948495\r\n"
                                      "Music\r\ntrack01.mp3\r\n4321987\r\n950898757\r\n"));
    EXPECT_EQ(w.records().size(), 72);
    EXPECT_EQ(w.counts().files, 2);
    EXPECT_EQ(w.counts().folders, 1);
    EXPECT_EQ(w.counts().bytes, 4323221);
}

TEST_F(DiscWalkTest, FilesOfAFolderComeBeforeItsSubfoldersDepthFirst)
{
    const std::string root = newRoot("order");
    std::map<std::string, Entry> files;
    const time_t t = localMoment(2015, 3, 1, 12, 0, 0);
    auto add = [&](const std::string &rel, long long size) {
        makeFile(root + rel, size, t + size * 2);
        const size_t slash = rel.rfind('/');
        files[rel] = {size, t + size * 2,
                      QByteArray::fromStdString(slash == std::string::npos ? rel : rel.substr(slash + 1))};
    };
    for (const char *f : {"x", "y", "z"})
        makeFolder(root + f);
    makeFolder(root + "x/deep");
    makeFolder(root + "x/deep/deeper");
    makeFolder(root + "empty");
    int size = 1;
    for (const char *rel : {"r1.txt", "r2.txt", "r3.bin", "r4", "x/a.txt", "x/b.txt", "x/deep/c.txt",
                            "x/deep/deeper/d.txt", "y/e.txt", "y/f.txt", "y/g.txt", "z/h.txt"})
        add(rel, size++);

    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.records(), expectedRecords(root, "", files, "\\"));
    EXPECT_EQ(w.counts().files, 12);
    EXPECT_EQ(w.counts().folders, 6);
    EXPECT_EQ(w.counts().bytes, 78);

    // Independent of the listing: each folder's records form one block, the root's lead, and
    // a folder's block comes before those of its subfolders.
    std::vector<QByteArray> blocks;
    const QList<QByteArray> lines = w.records().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); i += 4)
        if (blocks.empty() || blocks.back() != lines[i])
            blocks.push_back(lines[i]);
    const std::vector<QByteArray> expectedBlocks = {"\\\r", "x\r", "x\\deep\r", "x\\deep\\deeper\r",
                                                    "y\r",  "z\r"};
    ASSERT_EQ(blocks.size(), expectedBlocks.size());
    EXPECT_EQ(blocks.front(), expectedBlocks.front());
    auto pos = [&](const QByteArray &b) {
        return std::find(blocks.begin(), blocks.end(), b) - blocks.begin();
    };
    EXPECT_EQ(pos("x\r") + 1, pos("x\\deep\r"));
    EXPECT_EQ(pos("x\\deep\r") + 1, pos("x\\deep\\deeper\r"));
}

TEST_F(DiscWalkTest, FilesOnlyInTheRootCarryTheRootFolderLine)
{
    const std::string root = newRoot("flat");
    for (const char *n : {"one", "two", "three"})
        makeFile(root + n, 10, localMoment(2010, 1, 1, 0, 0, 0));
    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.counts().files, 3);
    EXPECT_EQ(w.counts().folders, 0);
    const QList<QByteArray> lines = w.records().split('\n');
    ASSERT_EQ(lines.size(), 13); // twelve lines and the empty rest after the last line end
    for (int i = 0; i < 12; i += 4)
        EXPECT_EQ(lines[i], "\\\r");
}

TEST_F(DiscWalkTest, EmptyFoldersAreCountedButGiveNoRecords)
{
    const std::string root = newRoot("emptyfolders");
    for (const char *f : {"a", "a/b", "a/b/c", "d", ".hidden-empty"})
        makeFolder(root + f);
    DiscWalker w;
    EXPECT_TRUE(w.walk(qpath(root)));
    EXPECT_TRUE(w.records().isEmpty());
    EXPECT_EQ(w.counts().files, 0);
    EXPECT_EQ(w.counts().folders, 5);
    EXPECT_EQ(w.counts().bytes, 0);
}

TEST_F(DiscWalkTest, OddNamesSizesAndTimesAreRecordedSafely)
{
    const std::string root = newRoot("odd");
    const time_t t = localMoment(2012, 6, 30, 8, 15, 42);
    const long long fiveGiB = 5LL << 30;
    struct Case
    {
        const char *what;
        std::string rel;
        long long size;
        time_t mtime;
        QByteArray recorded;
    };
    makeFolder(root + ".config");
    makeFolder(root + "  padded folder ");
    makeFolder(root + "line\nfolder");
    makeFolder(root + "win\\dir");
    const std::vector<Case> cases = {
        {"hidden file", ".hidden", 5, t, ".hidden"},
        {"file in hidden folder", ".config/settings", 6, t, "settings"},
        {"blanks at both ends", "  spaced name.txt  ", 7, t, "spaced name.txt"},
        {"leading tab and trailing newline", "\tedge\n", 8, t, "edge"},
        {"line break inside", "line\nbreak.txt", 9, t, "line?break.txt"},
        {"carriage return and tab inside", "a\rb\tc", 10, t, "a?b?c"},
        {"bytes that are not UTF-8", "caf\xe9 \xff.txt", 11, t, "caf\xe9 \xff.txt"},
        {"UTF-8 accents", "Ges\xc3\xa4nge.mp3", 12, t, "Ges\xc3\xa4nge.mp3"},
        {"sparse 5 GiB", "big.iso", fiveGiB, t, "big.iso"},
        {"empty file", "zero", 0, t, "zero"},
        {"1970 time", "old.txt", 13, 0, "old.txt"},
        {"1975 time", "older.txt", 14, localMoment(1975, 7, 4, 12, 0, 0), "older.txt"},
        {"time after 2107", "future.txt", 15, localMoment(2200, 1, 1, 0, 0, 0), "future.txt"},
        {"odd second", "odd.txt", 16, localMoment(2001, 2, 3, 4, 5, 7), "odd.txt"},
        {"file in padded folder", "  padded folder /inner.txt", 17, t, "inner.txt"},
        {"file in folder with line break", "line\nfolder/x", 18, t, "x"},
        // "\\" separates the folders of a folder line: inside a name it would split it.
        {"backslash inside", "back\\slash.txt", 19, t, "back?slash.txt"},
        {"file in folder with backslash", "win\\dir/w\\x", 20, t, "w?x"},
    };
    std::map<std::string, Entry> files;
    long long total = 0;
    for (const Case &c : cases) {
        makeFile(root + c.rel, c.size, c.mtime);
        files[c.rel] = {c.size, c.mtime, c.recorded};
        total += c.size;
    }

    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.records(), expectedRecords(root, "", files, "\\"));
    EXPECT_EQ(w.counts().files, qint64(cases.size()));
    EXPECT_EQ(w.counts().folders, 4);
    EXPECT_EQ(w.counts().bytes, total);

    // Spot checks that do not lean on the helpers above.
    const QByteArray &r = w.records();
    EXPECT_TRUE(r.contains("\r\nbig.iso\r\n5368709120\r\n")) << "full 64-bit size";
    EXPECT_TRUE(r.contains("\r\nold.txt\r\n13\r\n2162688\r\n")) << "1970 clamps to 1980-01-01 00:00:00";
    EXPECT_TRUE(r.contains("\r\nolder.txt\r\n14\r\n2162688\r\n"));
    EXPECT_TRUE(r.contains("\r\nfuture.txt\r\n15\r\n-6307971\r\n")) << "clamps to 2107-12-31 23:59:58";
    EXPECT_TRUE(r.contains("padded folder\r\ninner.txt\r\n17\r\n"));
    EXPECT_TRUE(r.contains("line?folder\r\nx\r\n18\r\n"));
    EXPECT_TRUE(r.contains("\r\nback?slash.txt\r\n19\r\n"));
    EXPECT_TRUE(r.contains("win?dir\r\nw?x\r\n20\r\n"));
    EXPECT_TRUE(r.contains(".config\r\nsettings\r\n6\r\n"));
    EXPECT_FALSE(r.contains('\t'));
    // Every line ends in CR LF and no bare line end splits a record.
    EXPECT_EQ(r.count('\n'), r.count("\r\n"));
    EXPECT_EQ(r.count('\r'), r.count("\r\n"));
    EXPECT_EQ(r.count("\r\n"), 4 * qsizetype(cases.size()));

    removeTree(root); // names that are not UTF-8 are beyond QDir's clean-up

    const QDateTime odd = dosdate::unpack(filerecord::packLocalTime(localMoment(2001, 2, 3, 4, 5, 7)));
    EXPECT_EQ(odd, QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
}

TEST_F(DiscWalkTest, LinksAreNeverFollowedIntoFolders)
{
    const std::string root = newRoot("links");
    const time_t fileTime = localMoment(2011, 11, 11, 11, 11, 10);
    const time_t linkTime = localMoment(2020, 2, 20, 20, 20, 20);
    makeFolder(root + "a");
    makeFile(root + "a/target.bin", 77, fileTime);
    makeLink(root + "a/up", "..", linkTime);  // cycle back to the root
    makeLink(root + "a/self", ".", linkTime); // cycle onto itself
    makeLink(root + "tofile", "a/target.bin", linkTime);
    makeLink(root + "dangling", "nowhere/at/all", linkTime);
    makeLink(root + "outside", "/", linkTime);

    std::map<std::string, Entry> files = {
        {"a/target.bin", {77, fileTime, "target.bin"}},
        {"a/up", {0, linkTime, "up"}},
        {"a/self", {0, linkTime, "self"}},
        {"tofile", {77, fileTime, "tofile"}},
        {"dangling", {0, linkTime, "dangling"}},
        {"outside", {0, linkTime, "outside"}},
    };
    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.records(), expectedRecords(root, "", files, "\\"));
    EXPECT_EQ(w.counts().files, 6);
    EXPECT_EQ(w.counts().folders, 1);
    EXPECT_EQ(w.counts().bytes, 154);
}

TEST_F(DiscWalkTest, ARootGivenThroughALinkIsWalked)
{
    const std::string base = newRoot("linkedroot");
    makeFolder(base + "disc");
    makeFile(base + "disc/file", 3, localMoment(2009, 9, 9, 9, 9, 8));
    makeLink(base + "mount", "disc", localMoment(2009, 9, 9, 9, 9, 8));
    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(base + "mount"))); // no trailing "/": the walk adds it
    EXPECT_EQ(w.records(),
              record("\\", "file", 3, filerecord::packLocalTime(localMoment(2009, 9, 9, 9, 9, 8))));
    EXPECT_EQ(w.rootPath(), qpath(base + "mount/"));
}

TEST_F(DiscWalkTest, AnUnreadableFolderIsSkippedWithEverythingBelowAndCounted)
{
    // Root reads every folder regardless of its mode, so the walk then runs in a child
    // process that gave up root's rights. The tree must be reachable for that user.
    const std::string root = newRoot("unreadable");
    openToOthers(root);
    const time_t t = localMoment(2013, 4, 5, 6, 7, 8);
    makeFile(root + "visible.txt", 1, t);
    makeFolder(root + "locked");
    makeFile(root + "locked/secret.txt", 2, t);
    makeFolder(root + "locked/below");
    makeFile(root + "locked/below/deeper.txt", 3, t);
    makeFolder(root + "open");
    makeFile(root + "open/seen.txt", 4, t);
    // Listable but not searchable: its names show, yet nothing in it can be looked at.
    makeFolder(root + "open/peek");
    makeFile(root + "open/peek/hidden.txt", 5, t);
    ASSERT_EQ(::chmod((root + "locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod((root + "open/peek").c_str(), 0444), 0);

    const ambrytest::ChildResult child = ambrytest::runInChild([&]() -> QByteArray {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        DiscWalker w;
        const bool done = w.walk(qpath(root));
        const DiscWalker::Counts &c = w.counts();
        return QByteArray::number(done) + ' ' + QByteArray::number(c.files) + ' ' +
               QByteArray::number(c.folders) + ' ' + QByteArray::number(c.bytes) + ' ' +
               QByteArray::number(c.unreadableFolders) + '\n' + w.records();
    });
    ::chmod((root + "locked").c_str(), 0755); // so the sandbox can be removed
    ::chmod((root + "open/peek").c_str(), 0755);
    ASSERT_TRUE(child.exitedWith(0)) << "child walk failed, status " << child.status;
    const qsizetype nl = child.output.indexOf('\n');
    const QList<QByteArray> head = child.output.left(nl).split(' ');
    ASSERT_EQ(head.size(), 5);

    EXPECT_EQ(head[0], "1"); // finished: skipped folders do not make a walk cancelled
    EXPECT_EQ(child.output.mid(nl + 1), record("\\", "visible.txt", 1, filerecord::packLocalTime(t)) +
                                            record("open", "seen.txt", 4, filerecord::packLocalTime(t)));
    EXPECT_EQ(head[1], "2");
    EXPECT_EQ(head[2], "3"); // all three are met; two cannot be read
    EXPECT_EQ(head[3], "5");
    EXPECT_EQ(head[4], "2");
}

// A disc nested deeper than the descriptors a process may hold, or than the machine stack
// would carry in a recursive walk: every level is walked, in order, in a process whose
// descriptor limit is low.
TEST_F(DiscWalkTest, DeepDiscsAreWalkedWhole)
{
    const struct
    {
        int depth;
        int seconds; // a bound that keeps a slow machine from hanging the suite
    } cases[] = {{2000, 60}, {15000, 120}};
    for (const auto &c : cases) {
        // Removing thousands of nested folders is slow on some disks; memory is quick.
        const std::string root = scratchInMemory().value_or(newRoot("deep"));
        const time_t t = localMoment(2015, 1, 2, 3, 4, 6);
        makeFile(root + "top.txt", 1, t);
        // A file at a few levels, so order and folder lines can be checked.
        const auto fileAt = [&](int level) {
            return level == 1 || level == c.depth / 2 || level == c.depth ? "f" + std::to_string(level)
                                                                          : std::string();
        };
        makeDeepChain(root, c.depth, "d", fileAt);

        const ambrytest::ChildResult child = ambrytest::runInChild([&]() -> QByteArray {
            ::alarm(unsigned(c.seconds));
            const rlimit low{64, 64};
            if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
                ::_exit(3);
            DiscWalker w;
            const bool done = w.walk(qpath(root));
            const DiscWalker::Counts &n = w.counts();
            return QByteArray::number(done) + ' ' + QByteArray::number(n.files) + ' ' +
                   QByteArray::number(n.folders) + ' ' + QByteArray::number(n.unreadableFolders) + '\n' +
                   w.records();
        });
        ASSERT_TRUE(child.exitedWith(0)) << "depth " << c.depth << ": status " << child.status;
        const qsizetype nl = child.output.indexOf('\n');
        EXPECT_EQ(child.output.left(nl), "1 4 " + QByteArray::number(c.depth) + " 0") << c.depth;

        // Folder line, name and size of each record, in order (the deep files' times are
        // whenever they were made).
        QList<QByteArray> expected = {"\\", "top.txt", "1"};
        QByteArray line = "d";
        for (int level = 1; level <= c.depth; ++level) {
            if (level > 1)
                line += "\\d";
            const std::string file = fileAt(level);
            if (!file.empty())
                expected << line << QByteArray::fromStdString(file) << "1";
        }
        const QList<QByteArray> lines = child.output.mid(nl + 1).split('\n');
        QList<QByteArray> got;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            if (i % 4 != 3)
                got << lines[i].chopped(1); // each line ends in CR LF
        EXPECT_TRUE(got == expected) << "depth " << c.depth;
        removeDeepChain(root, c.depth, "d");
        ::unlink((root + "top.txt").c_str());
        ::rmdir(root.c_str());
    }
}

// The folder being walked is moved to another parent meanwhile: its ".." then leads
// elsewhere, and the walk finds its way back to where it came from by the names it took.
TEST_F(DiscWalkTest, AFolderMovedDuringTheWalkDoesNotLoseItsWay)
{
    const std::string root = newRoot("moved");
    const time_t t = localMoment(2016, 3, 4, 5, 6, 8);
    makeFolder(root + "a");
    makeFolder(root + "z");
    for (const char *name : {"b", "c", "e"}) {
        makeFolder(root + "a/" + name);
        makeFile(root + "a/" + name + "/" + name + ".txt", 1, t);
    }
    const std::vector<std::string> order = listed(root + "a");
    const std::string first = order.front();

    DiscWalker w;
    bool moved = false;
    w.setProgressCallback(
        [&](const DiscWalker &walker) {
            const QByteArray inFirst = "a\\" + QByteArray::fromStdString(first) + "\r\n";
            if (!moved && walker.records().contains(inFirst)) {
                moved = ::rename((root + "a/" + first).c_str(), (root + "z/" + first).c_str()) == 0;
            }
        },
        0);
    EXPECT_TRUE(w.walk(qpath(root)));
    ASSERT_TRUE(moved);
    for (const std::string &name : order) {
        const QByteArray folder = "a\\" + QByteArray::fromStdString(name);
        const QByteArray rec = folder + "\r\n" + QByteArray::fromStdString(name) + ".txt\r\n";
        EXPECT_TRUE(w.records().contains(rec)) << name;
    }
    EXPECT_EQ(w.counts().files, 3);
    EXPECT_EQ(w.counts().unreadableFolders, 0);
}

TEST_F(DiscWalkTest, AMissingRootRecordsNothingAndCountsAsFinished)
{
    const std::string root = newRoot("missing");
    DiscWalker w;
    w.setHostageFile(&settingsHostageFile());
    EXPECT_TRUE(w.walk(qpath(root + "not-there/")));
    EXPECT_TRUE(w.records().isEmpty());
    EXPECT_EQ(w.counts().files, 0);
    EXPECT_EQ(w.counts().folders, 0);
    EXPECT_TRUE(ReadSetting(RegKey::V, kHostage).isEmpty());
}

TEST_F(DiscWalkTest, CancelLetsTheFolderFinishButEntersNoSubfolder)
{
    const std::string root = newRoot("cancel");
    const time_t t = localMoment(2014, 1, 2, 3, 4, 6);
    std::map<std::string, Entry> rootFiles;
    for (const char *n : {"f1", "f2", "f3", "f4"}) {
        makeFile(root + n, 1, t);
        rootFiles[n] = {1, t, n};
    }
    makeFolder(root + "sub");
    makeFile(root + "sub/never", 1, t);
    makeFolder(root + "sub2");

    DiscWalker w;
    int calls = 0;
    w.setProgressCallback(
        [&](const DiscWalker &walker) {
            ++calls;
            const_cast<DiscWalker &>(walker).cancel();
        },
        0);
    EXPECT_FALSE(w.walk(qpath(root)));
    EXPECT_TRUE(w.cancelRequested());
    EXPECT_GE(calls, 1);
    // The root's files are all recorded; the walk never went into a subfolder.
    EXPECT_EQ(w.counts().files, 4);
    EXPECT_EQ(w.counts().folders, 2);
    EXPECT_FALSE(w.records().contains("never"));

    // A flag set before a walk still stops it; once cleared, the walk starts from empty
    // counters and goes all the way.
    w.setProgressCallback({});
    EXPECT_FALSE(w.walk(qpath(root)));
    EXPECT_EQ(w.counts().files, 4);
    w.clearCancel();
    EXPECT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.counts().files, 5);
}

TEST_F(DiscWalkTest, ADiscTakenAwayDuringTheWalkDoesNotCountAsWalked)
{
    // What is left after the disc went away is a part of it; it must not pass for the disc.
    const std::string base = newRoot("vanish");
    const std::string root = base + "disc/";
    const time_t t = localMoment(2014, 1, 2, 3, 4, 6);

    struct Case
    {
        const char *what;
        std::function<void()> takeAway;
    };
    const std::vector<Case> cases = {
        {"folder removed", [&] { removeTree(root); }},
        {"an empty folder left where the disc was",
         [&] {
             removeTree(root);
             makeFolder(root);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (::access(root.c_str(), F_OK) == 0)
            removeTree(root);
        makeFolder(root);
        for (const char *n : {"f1", "f2", "f3"})
            makeFile(root + n, 1, t);
        makeFolder(root + "sub");
        makeFile(root + "sub/later", 1, t);

        DiscWalker w;
        bool gone = false;
        w.setProgressCallback(
            [&](const DiscWalker &walker) {
                if (!gone && walker.counts().files == 1) {
                    gone = true;
                    c.takeAway();
                }
            },
            0);
        EXPECT_FALSE(w.walk(qpath(root)));
        EXPECT_TRUE(gone);
        EXPECT_FALSE(w.cancelRequested());
    }
    // An unchanged disc still walks to its end.
    DiscWalker w;
    removeTree(root);
    makeFolder(root);
    makeFile(root + "f1", 1, t);
    EXPECT_TRUE(w.walk(qpath(root)));
}

TEST_F(DiscWalkTest, ProgressIsReportedPerIntervalAndTheBarFillsAfterAHundredFiles)
{
    const std::string root = newRoot("progress");
    for (int i = 0; i < 150; ++i)
        makeFile(root + "f" + std::to_string(i), 1, localMoment(2016, 1, 1, 0, 0, 0));
    makeFolder(root + "s");

    DiscWalker w;
    std::vector<int> seenPercent;
    std::vector<qint64> seenFiles;
    w.setProgressCallback(
        [&](const DiscWalker &walker) {
            seenPercent.push_back(walker.progressPercent());
            seenFiles.push_back(walker.counts().files);
        },
        0);
    ASSERT_TRUE(w.walk(qpath(root)));
    ASSERT_EQ(seenFiles.size(), 151u); // every entry when the interval is zero
    for (size_t i = 0; i + 1 < seenFiles.size(); ++i)
        EXPECT_LE(seenFiles[i], seenFiles[i + 1]);
    EXPECT_EQ(seenFiles.back(), 150);
    for (size_t i = 0; i < seenFiles.size(); ++i)
        EXPECT_EQ(seenPercent[i], std::min<qint64>(seenFiles[i], 100));
    EXPECT_EQ(w.progressPercent(), 100);

    int calls = 0;
    w.setProgressCallback([&](const DiscWalker &) { ++calls; }, 60'000);
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(calls, 0) << "a walk shorter than the interval reports nothing";
}

TEST_F(DiscWalkTest, HostageFileIsSetOnlyWhenEmpty)
{
    const std::string root = newRoot("hostage");
    makeFolder(root + "sub");
    makeFile(root + "sub/inner.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    makeFile(root + "first file.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));

    DiscWalker w;
    w.setHostageFile(&settingsHostageFile());
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(ReadSetting(RegKey::V, kHostage), qpath(root + "first file.txt"));
    EXPECT_EQ(w.hostageFile(), qpath(root + "first file.txt"));

    // Already set: left alone by the next walk, even of another disc.
    const std::string other = newRoot("hostage-other");
    makeFile(other + "x", 1, localMoment(2010, 1, 1, 0, 0, 0));
    ASSERT_TRUE(w.walk(qpath(other)));
    EXPECT_EQ(ReadSetting(RegKey::V, kHostage), qpath(root + "first file.txt"));

    // A disc with files only below the root: the first file recorded is the one below.
    DeleteSetting(RegKey::V, kHostage);
    const std::string nested = newRoot("hostage-nested");
    makeFolder(nested + "d");
    makeFile(nested + "d/only", 1, localMoment(2010, 1, 1, 0, 0, 0));
    ASSERT_TRUE(w.walk(qpath(nested)));
    EXPECT_EQ(ReadSetting(RegKey::V, kHostage), qpath(nested + "d/only"));

    // A name that is not valid UTF-8 has no text form that leads back to the file, and a
    // hostage that cannot be found again would let the scanned disc pass for a fresh one:
    // the first file whose path can be found again is taken.
    DeleteSetting(RegKey::V, kHostage);
    const std::string latin = newRoot("hostage-latin1");
    makeFile(latin + "caf\xe9.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    makeFolder(latin + "d");
    makeFile(latin + "d/plain.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    ASSERT_TRUE(w.walk(qpath(latin)));
    EXPECT_EQ(w.counts().files, 2);
    EXPECT_EQ(ReadSetting(RegKey::V, kHostage), qpath(latin + "d/plain.txt"));
    EXPECT_TRUE(QFile::exists(ReadSetting(RegKey::V, kHostage)));
    removeTree(latin);

    // No hostage file given: the setting is neither read nor written.
    DeleteSetting(RegKey::V, kHostage);
    DiscWalker quiet;
    ASSERT_TRUE(quiet.walk(qpath(root)));
    EXPECT_TRUE(ReadSetting(RegKey::V, kHostage).isEmpty());
}

TEST_F(DiscWalkTest, TheRecordSectionIsKeptCompact)
{
    const std::string root = newRoot("compact");
    for (int d = 0; d < 20; ++d) {
        makeFolder(root + "folder" + std::to_string(d));
        for (int i = 0; i < 100; ++i)
            makeFile(root + "folder" + std::to_string(d) + "/file" + std::to_string(i), i,
                     localMoment(2018, 1, 1, 0, 0, 0));
    }
    DiscWalker w;
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(w.counts().files, 2000);
    EXPECT_LE(w.records().capacity(), w.records().size() + 64);
    const QByteArray taken = w.takeRecords();
    EXPECT_EQ(taken.count("\r\n"), 8000);
    EXPECT_TRUE(w.records().isEmpty());
}

TEST(DiscWalkFolderLine, AgreesWithTheSharedPathRule)
{
    const QString root = QStringLiteral("/media/user/DISC/");
    const std::vector<QByteArray> relatives = {
        "",   "Music/",         "Music/Rock/",    "a/b/c/d/",        " padded /",         "a / b /",
        " /", "x/ inner lead/", "trail /inner /", "Ges\xc3\xa4nge/", "folder.with.dots/",
    };
    for (const QByteArray &rel : relatives) {
        const QString folder = root + QString::fromUtf8(rel);
        // The walk trims the shared rule's result of blanks and control characters.
        QString shared = DiscRelativeFolder(root, folder);
        while (!shared.isEmpty() && shared.front().unicode() <= 32)
            shared.remove(0, 1);
        while (!shared.isEmpty() && shared.back().unicode() <= 32)
            shared.chop(1);
        EXPECT_EQ(QString::fromUtf8(filerecord::folderLine(rel)), shared) << rel.toStdString();
    }
    EXPECT_EQ(filerecord::folderLine(""), "\\");
    EXPECT_EQ(filerecord::folderLine(" /"), ""); // a folder named by blanks only
    EXPECT_EQ(filerecord::folderLine("Music/Rock/"), "Music\\Rock");
    EXPECT_EQ(filerecord::folderLine("a\nb/c\x01/"), "a?b\\c");
    EXPECT_EQ(filerecord::folderLine("a\\b/c/"), "a?b\\c");
    EXPECT_EQ(filerecord::recordName("  x\ty \x7f "), "x?y \x7f");
}

namespace {

class MemoryHostage : public HostageFile
{
public:
    QString path() const override { return value; }
    void set(const QString &path) override { value = path; }
    QString value;
};

} // namespace

// The walk and the next wait share one hostage file: the wait opens the tray while the disc
// the walk recorded is still in, and a medium arriving frees it.
TEST_F(DiscWalkTest, TheWaitKnowsTheDiscTheWalkRecordedThroughTheHostageTheyShare)
{
    const std::string root = newRoot("handover");
    makeFile(root + "a.txt", 1, localMoment(2010, 1, 1, 0, 0, 0));
    MemoryHostage hostage;
    DiscWalker w;
    w.setHostageFile(&hostage);
    ASSERT_TRUE(w.walk(qpath(root)));
    EXPECT_EQ(hostage.value, qpath(root + "a.txt"));
    EXPECT_TRUE(ReadSetting(RegKey::V, kHostage).isEmpty()) << "only the given hostage file is written";

    FakeDriveSystem fake;
    fake.addOpticalDrive('D');
    fake.setReady('D', true);
    setDriveSystemForTesting(&fake);
    DiscWait wait('D', hostage);
    EXPECT_EQ(wait.start(), DiscWait::State::Waiting);
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    EXPECT_TRUE(wait.mediumArrived(VolumeNotice{1u << 3, VolumeNoticeMediaFlag}));
    EXPECT_TRUE(hostage.value.isEmpty());
    EXPECT_EQ(DiscWait('D', hostage).start(), DiscWait::State::DiscPresent);
    setDriveSystemForTesting(nullptr);
}
