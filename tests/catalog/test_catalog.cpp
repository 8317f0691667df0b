#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "catalog/ProgramCatalog.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A minimal archive: one record (whose name may look like a field) and the given field lines.
QByteArray archive(const QByteArray &fieldLines, const QByteArray &recordName = "readme.txt")
{
    return "\\\r\n" + recordName + "\r\n1234\r\n950948495\r\n" + fieldLines;
}

QByteArray marked(const QByteArray &mark)
{
    return archive("ADate=1\r\nAMark=" + mark + "\r\nALocation=\r\nANumber=1\r\nAEnd=EndTag\r\n");
}

QByteArray numbered(const QByteArray &number)
{
    return archive("AMark=m\r\nANumber=" + number + "\r\nAEnd=EndTag\r\n");
}

// The same with every field the writer writes, so that only the number can be damaged.
QByteArray numberedWhole(const QByteArray &number)
{
    return archive("ADate=1\r\nAMark=m\r\nALocation=\r\nACRC=1\r\nAFiles=1\r\nADirs=0\r\nANote=\r\n"
                   "ASize=1234\r\nANumber=" +
                   number + "\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n");
}

using catalog::Catalog;
using catalog::WalkCursor;

QStringList walk(const QString &folder)
{
    QStringList seen;
    Catalog(folder).walk([&](const QString &path) {
        seen << path.mid(folder.size() + 1);
        return true;
    });
    return seen;
}

} // namespace

TEST(CatalogWalk, FilesOfAFolderBeforeItsSubfolders)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("walk"));
    for (const char *name :
         {"a/deep/x.dat", "a/y.DAT", "top.dat", "b/z.Dat", "Upper.DAT", ".hidden.dat", "a/deep/deeper/w.dat"})
        ambrytest::writeFile(root + QLatin1Char('/') + QString::fromUtf8(name), "AMark=m\r\n");
    for (const char *name : {"notes.txt", "x.data", "dat", "x.dat.tmp-ab12", "a/.450495.dat.tmp-Xy12Ab"})
        ambrytest::writeFile(root + QLatin1Char('/') + QString::fromUtf8(name), "AMark=m\r\n");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/folder.dat"))); // a folder is never an archive
    // A pipe would block whoever opens it.
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + QStringLiteral("/pipe.dat")).constData(), 0600), 0);

    const QStringList seen = walk(root);
    EXPECT_EQ(seen.size(), 7) << seen.join(QLatin1Char(' ')).toStdString();
    for (const char *name :
         {"top.dat", "Upper.DAT", ".hidden.dat", "a/y.DAT", "a/deep/x.dat", "a/deep/deeper/w.dat", "b/z.Dat"})
        EXPECT_TRUE(seen.contains(QString::fromUtf8(name))) << name;
    // Every folder's own files come before anything below it.
    const auto at = [&](const char *n) { return seen.indexOf(QString::fromUtf8(n)); };
    for (const char *top : {"top.dat", "Upper.DAT", ".hidden.dat"})
        for (const char *below : {"a/y.DAT", "a/deep/x.dat", "b/z.Dat"})
            EXPECT_LT(at(top), at(below)) << top << " / " << below;
    EXPECT_LT(at("a/y.DAT"), at("a/deep/x.dat"));
    EXPECT_LT(at("a/deep/x.dat"), at("a/deep/deeper/w.dat"));
    // Depth first: all of a/ before b/ or all of b/ before a/.
    EXPECT_TRUE(at("b/z.Dat") > at("a/deep/deeper/w.dat") || at("b/z.Dat") < at("a/y.DAT"));
}

TEST(CatalogWalk, EveryFolderIsListedByNameWhateverTheFileSystemOrder)
{
    // Created out of order, so a walk in creation or hash order would show it; letter case
    // does not decide the place, so "b" comes between "A" and "C".
    const QString root = ambrytest::makeTempDir(QStringLiteral("byname"));
    for (const char *name : {"C.dat", "b.dat", "A.dat", "z/2.dat", "Y/1.dat", "a0.dat"})
        ambrytest::writeFile(root + QLatin1Char('/') + QString::fromUtf8(name), "AMark=m\r\n");
    const QStringList expected = {QStringLiteral("A.dat"),   QStringLiteral("a0.dat"),
                                  QStringLiteral("b.dat"),   QStringLiteral("C.dat"),
                                  QStringLiteral("Y/1.dat"), QStringLiteral("z/2.dat")};
    EXPECT_EQ(walk(root), expected);

    // One step at a time: a folder is done after its own archives, before its subfolders.
    WalkCursor cursor = Catalog(root).cursor();
    QStringList steps;
    for (WalkCursor::Step step; (step = cursor.next()) != WalkCursor::Step::End;)
        steps << (step == WalkCursor::Step::Archive ? QStringLiteral("archive ") : QStringLiteral("done ")) +
                     cursor.path().mid(root.size());
    EXPECT_EQ(steps, (QStringList{QStringLiteral("archive /A.dat"), QStringLiteral("archive /a0.dat"),
                                  QStringLiteral("archive /b.dat"), QStringLiteral("archive /C.dat"),
                                  QStringLiteral("done /"), QStringLiteral("archive /Y/1.dat"),
                                  QStringLiteral("done /Y/"), QStringLiteral("archive /z/2.dat"),
                                  QStringLiteral("done /z/")}));
}

TEST(CatalogWalk, LinksToFoldersAreNeverEntered)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("links"));
    ambrytest::writeFile(root + QStringLiteral("/sub/one.dat"), "AMark=m\r\n");
    ambrytest::writeFile(root + QStringLiteral("/../outside/two.dat"), "AMark=m\r\n");
    ASSERT_TRUE(QFile::link(root, root + QStringLiteral("/sub/loop"))); // a cycle
    ASSERT_TRUE(
        QFile::link(root + QStringLiteral("/../outside"), root + QStringLiteral("/out"))); // a folder link
    ASSERT_TRUE(
        QFile::link(root + QStringLiteral("/../outside/two.dat"), root + QStringLiteral("/linked.dat")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/nothing"), root + QStringLiteral("/dangling.dat")));
    QStringList seen = walk(root);
    seen.sort();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("linked.dat"), QStringLiteral("sub/one.dat")}));
}

TEST(CatalogWalk, NamesOutsideTheFileNameEncodingAreLeftOut)
{
    // Such a name cannot be reached through a path text; it must neither stop the walk nor be
    // handed out under a wrong name.
    const QString root = ambrytest::makeTempDir(QStringLiteral("badname"));
    const QByteArray raw = QFile::encodeName(root) + "/caf\xe9.dat";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ambrytest::writeFile(root + QStringLiteral("/ok.dat"), "AMark=m\r\n");
    EXPECT_EQ(walk(root), QStringList{QStringLiteral("ok.dat")});
    EXPECT_TRUE(Catalog(root).markExists(QStringLiteral("M")));
}

TEST(CatalogWalk, StopsWhenAskedAndToleratesMissingFolders)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("stop"));
    for (int i = 0; i < 5; ++i)
        ambrytest::writeFile(root + QStringLiteral("/s/") + QString::number(i) + QStringLiteral(".dat"), "x");
    int visits = 0;
    EXPECT_FALSE(Catalog(root).walk([&](const QString &) { return ++visits < 2; }));
    EXPECT_EQ(visits, 2);
    visits = 0;
    EXPECT_TRUE(Catalog(root + QStringLiteral("/missing")).walk([&](const QString &) {
        ++visits;
        return true;
    }));
    EXPECT_TRUE(Catalog(QString()).walk([&](const QString &) {
        ++visits;
        return true;
    }));
    EXPECT_EQ(visits, 0);
    // With or without a trailing separator.
    EXPECT_EQ(walk(root + QLatin1Char('/')).size(), 5);
}

TEST(CatalogWalk, MaskMatching)
{
    struct Case
    {
        const char *name, *mask;
        bool match;
    };
    const Case cases[] = {
        {"450495.dat", "*.dat", true}, {"X.DAT", "*.dat", true},     {"x.Dat", "*.DAT", true},
        {"x.data", "*.dat", false},    {"dat", "*.dat", false},      {".dat", "*.dat", true},
        {"x.dat.tmp", "*.dat", false}, {"anything", "*.*", true},    {"no-dot", "*", true},
        {"a1.dat", "a?.dat", true},    {"a12.dat", "a?.dat", false}, {"Été.DAT", "été*.dat", true},
        {"temp.dat", "t*p.d*t", true}, {"tmp.dxt", "t*p.d*t", true}, {"tmp.dx", "t*p.d*t", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(matchesArchiveMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match)
            << c.name << " ~ " << c.mask;
}

TEST(CatalogLookup, MarkExists)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("marks"));
    ambrytest::writeFile(root + QStringLiteral("/1.dat"), marked("cd 1"));
    ambrytest::writeFile(root + QStringLiteral("/2.dat"), marked(""));
    ambrytest::writeFile(root + QStringLiteral("/3.dat"), marked("   "));
    ambrytest::writeFile(root + QStringLiteral("/4.dat"), marked("Caf\xe9")); // written on Windows
    ambrytest::writeFile(root + QStringLiteral("/5.dat"), marked("Stra\xc3\x9f"
                                                                 "e"));
    ambrytest::writeFile(root + QStringLiteral("/6.dat"), marked(" padded "));
    ambrytest::writeFile(root + QStringLiteral("/moved/away/7.dat"), marked("In a subfolder"));
    ambrytest::writeFile(root + QStringLiteral("/8.dat"),
                         archive("AMark=real\r\nAEnd=EndTag\r\n", "AMark=fake"));
    ambrytest::writeFile(root + QStringLiteral("/9.txt"), marked("not an archive"));
    ambrytest::writeFile(root + QStringLiteral("/10.dat"),
                         archive("ANumber=3\r\nAEnd=EndTag\r\n")); // no mark

    struct Case
    {
        const char *mark;
        bool exists;
    };
    const Case cases[] = {
        {"CD 1", true},     {"cd 1", true},
        {"Cd 1", true},     {" CD 1", false}, // compared as typed
        {"CD 1 ", false},   {"", false},      // blank stored marks never count
        {"   ", false},     {"CAFÉ", true},
        {"café", true},     {"STRASSE", true},
        {"straße", true},   {"padded", false},
        {" PADDED ", true}, {"in a subfolder", true},
        {"fake", false}, // a record line, not a field
        {"REAL", true},     {"not an archive", false},
        {"CD 2", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Catalog(root).markExists(QString::fromUtf8(c.mark)), c.exists) << '"' << c.mark << '"';
    EXPECT_FALSE(Catalog(root + QStringLiteral("/none")).markExists(QStringLiteral("cd 1")));
}

TEST(CatalogLookup, HighestNumber)
{
    struct Case
    {
        const char *what;
        std::vector<QByteArray> numbers;
        int highest;
    };
    const Case cases[] = {
        {"3, 9 and abc", {"3", "9", "abc"}, 9},
        {"none", {}, 0},
        {"only zero and negative", {"0", "-5", "-2147483648"}, 0},
        {"blanks around", {" 12 ", "\t7"}, 12},
        {"largest 32-bit", {"2147483647", "5"}, 2147483647},
        {"beyond 32 bits is no number", {"2147483648", "99999999999", "4"}, 4},
        {"signs", {"+8", "-9", "--3", "+"}, 8},
        {"not quite numbers", {"1e3", "0x10", "5 6", "", "7"}, 7},
        {"leading zeros", {"0010"}, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString root = ambrytest::makeTempDir(QStringLiteral("num"));
        int n = 0;
        for (const QByteArray &number : c.numbers) {
            ++n;
            const QString folder = root + (n % 2 ? QStringLiteral("/sub/") : QStringLiteral("/"));
            ambrytest::writeFile(folder + QString::number(n) + QStringLiteral(".dat"), numbered(number));
        }
        ambrytest::writeFile(root + QStringLiteral("/fake.dat"), archive("AMark=m\r\n", "ANumber=999999"));
        EXPECT_EQ(Catalog(root).highestNumber(), c.highest);
    }
}

TEST(CatalogLookup, NextNumber)
{
    const QString key = QStringLiteral("LastArchiveNumber");
    struct Case
    {
        const char *what;
        std::vector<QByteArray> numbers;
        const char *last; // nullptr: no setting
        int next;
        bool wrapped = false;
        int damaged = 0; // archives named as damaged
    };
    const Case cases[] = {
        {"highest plus one", {"3", "9", "abc"}, "41", 10, false, 1},
        {"empty catalog continues from the setting", {}, "41", 42},
        {"empty catalog, no setting", {}, nullptr, 1},
        {"zero and negative numbers are damage and count as none", {"0", "-4"}, "41", 42, false, 2},
        {"so are numbers beyond the largest",
         {"2147483648", "4294967295", "99999999999"},
         "41",
         42,
         false,
         3},
        {"setting that is no number", {}, "forty", 1},
        {"negative setting", {}, "-7", 1},
        {"one below the top", {"2147483646"}, nullptr, INT_MAX},
        {"the top is taken: the lowest free number", {"2147483647"}, nullptr, 1, true},
        {"the lowest free skips every number in use", {"2147483647", "1", "2", "4"}, nullptr, 3, true},
        {"a setting at the top wraps too", {}, "2147483647", 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString root = ambrytest::makeTempDir(QStringLiteral("next"));
        int n = 0;
        for (const QByteArray &number : c.numbers)
            ambrytest::writeFile(root + QLatin1Char('/') + QString::number(++n) + QStringLiteral(".dat"),
                                 numberedWhole(number));
        if (c.last)
            WriteSetting(RegKey::V, key, QString::fromUtf8(c.last));
        else
            DeleteSetting(RegKey::V, key);
        UnreadableArchives damaged;
        bool wrapped = !c.wrapped;
        EXPECT_EQ(Catalog(root + QLatin1Char('/'), catalog::settingsNumberStore())
                      .nextNumber(nullptr, &damaged, &wrapped),
                  c.next);
        EXPECT_EQ(wrapped, c.wrapped);
        EXPECT_EQ(damaged.size(), c.damaged);
    }
    catalog::ArchiveNumbers all;
    all.add(INT_MAX);
    EXPECT_EQ(all.next(), 1);
}

TEST(CatalogLookup, ADamagedFieldBlockFreesNeitherMarkNorNumber)
{
    // One field line that lost its "=" once hid the mark and number above it.
    const QString root = ambrytest::makeTempDir(QStringLiteral("damagedblock"));
    DeleteSetting(RegKey::V, QStringLiteral("LastArchiveNumber")); // a new machine
    const QByteArray fields = "ADate=1\r\nAMark=Holiday\r\nALocation=\r\nACRC=1\r\nAFiles=1\r\nADirs=0\r\n"
                              "ANote=\r\nASize=1234\r\nANumber=5\r\nASource:CD/DVD\r\nAPicture=\r\n"
                              "AEnd=EndTag\r\n";
    ambrytest::writeFile(root + QStringLiteral("/sub/1.dat"), archive(fields, "AMark=Decoy"));
    const Catalog catalog(root, catalog::settingsNumberStore());
    EXPECT_TRUE(catalog.markExists(QStringLiteral("holiday")));
    EXPECT_FALSE(catalog.markExists(QStringLiteral("Decoy")));
    EXPECT_EQ(catalog.archivesWithMark(QStringLiteral("HOLIDAY")).size(), 1);
    UnreadableArchives damaged;
    EXPECT_EQ(catalog.nextNumber(nullptr, &damaged), 6);
    ASSERT_EQ(damaged.size(), 1);
    EXPECT_EQ(damaged.front().reason,
              QStringLiteral("has a stray line among its fields: \"ASource:CD/DVD\""));
}

TEST(CatalogLookup, ReadArchiveValue)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("value"));
    const QString path = root + QStringLiteral("/1.dat");
    ambrytest::writeFile(path, archive("AMark= spaced \r\nANumber=4\r\n", "AMark=fake"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("amark")), QStringLiteral(" spaced "));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ANote")), QString());
    EXPECT_THROW(ReadArchiveValue(root + QStringLiteral("/2.dat"), QStringLiteral("AMark")), AmbryError);
}

TEST(CatalogLookup, AnUnreadableArchiveIsSkippedAndNamed)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("unread"));
    const QString path = root + QStringLiteral("/locked.dat");
    ambrytest::writeFile(path, marked("x"));
    ambrytest::writeFile(root + QStringLiteral("/open.dat"), marked("y"));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    for (QString p = root; p.startsWith(ambrytest::sandboxRoot()); p = QFileInfo(p).path())
        QFile::setPermissions(p, QFileDevice::Permissions(0x7755));
    const auto lookUp = [&]() -> QByteArray {
        UnreadableArchives unreadable;
        const bool y = Catalog(root).markExists(QStringLiteral("y"), &unreadable);
        const QString message = unreadableArchivesMessage(unreadable);
        return QByteArray::number(y) + ' ' + QByteArray::number(unreadable.size()) + ' ' +
               QByteArray::number(message.contains(path));
    };
    // Root reads every file: the lookup then runs in a child that gave up root's rights.
    const QByteArray got = ::geteuid() == 0 ? ambrytest::runInChild([&] {
                                                  if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                                                      ::_exit(3);
                                                  return lookUp();
                                              }).output
                                            : lookUp();
    EXPECT_EQ(got, QByteArray("1 1 1")) << "the readable mark is found, the locked archive named";
    EXPECT_TRUE(unreadableArchivesMessage({}).isEmpty());
}

TEST(CatalogLookup, OnlyTheEndOfEachArchiveIsRead)
{
    // A 4 GiB archive whose records are a hole in the file: reading it whole would take
    // seconds and gigabytes; the lookups need only its last kilobytes.
    const QString root = ambrytest::makeTempDir(QStringLiteral("huge"));
    const QString path = root + QStringLiteral("/huge.dat");
    QByteArray tail;
    for (int i = 0; i < 2000; ++i)
        tail += "Music\r\ntrack.mp3\r\n1\r\n950948495\r\n";
    tail += "AMark=Huge disc\r\nANumber=77\r\nAEnd=EndTag\r\n";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(4) << 30));
        ASSERT_TRUE(f.seek(f.size()));
        ASSERT_EQ(f.write(tail), tail.size());
    }
    EXPECT_TRUE(Catalog(root).markExists(QStringLiteral("HUGE DISC")));
    EXPECT_EQ(Catalog(root).highestNumber(), 77);
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ANumber")), QStringLiteral("77"));
}

// A folder the walk cannot list is skipped and named with the reason; a folder that is gone
// is not named. The message tells folders from archives.
TEST(CatalogWalk, FoldersThatCannotBeListedAreNamed)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("unlisted"));
    ambrytest::writeFile(root + QStringLiteral("/1.dat"), marked("CD 1"));
    ambrytest::writeFile(root + QStringLiteral("/locked/2.dat"), marked("CD 2"));
    const QByteArray locked = QFile::encodeName(root + QStringLiteral("/locked"));
    ASSERT_EQ(::chmod(locked.constData(), 0), 0);
    ambrytest::openToOthers(QFile::encodeName(root).toStdString());
    UnreadableArchives unlisted;
    QStringList seen;
    // The locked folder walked on its own: named first, then done without an archive.
    QList<std::pair<WalkCursor::Step, QString>> lockedSteps;
    {
        const ambrytest::UnprivilegedFiles asUser;
        Catalog(root).walk(
            [&](const QString &path) {
                seen << QFileInfo(path).fileName();
                return true;
            },
            {}, &unlisted);
        WalkCursor cursor = Catalog(root + QStringLiteral("/locked")).cursor();
        for (WalkCursor::Step step; (step = cursor.next()) != WalkCursor::Step::End;)
            lockedSteps.append({step, step == WalkCursor::Step::Unlisted ? cursor.reason() : cursor.path()});
    }
    ::chmod(locked.constData(), 0755);
    EXPECT_EQ(seen, QStringList{QStringLiteral("1.dat")});
    ASSERT_EQ(unlisted.size(), 1);
    EXPECT_EQ(unlisted.first().path, root + QStringLiteral("/locked/"));
    EXPECT_EQ(unlisted.first().reason, QStringLiteral("folder cannot be listed: ") + errnoText(EACCES));
    ASSERT_EQ(lockedSteps.size(), 2);
    EXPECT_EQ(lockedSteps.first().first, WalkCursor::Step::Unlisted);
    EXPECT_EQ(lockedSteps.first().second, unlisted.first().reason);
    EXPECT_EQ(lockedSteps.last().first, WalkCursor::Step::FolderDone);
    WalkCursor gone = Catalog(root + QStringLiteral("/gone")).cursor();
    EXPECT_EQ(gone.next(), WalkCursor::Step::FolderDone) << "a folder that is gone is not named";
    EXPECT_EQ(gone.next(), WalkCursor::Step::End);

    const UnreadableArchive file{root + QStringLiteral("/3.dat"), QStringLiteral("Permission denied")};
    const struct
    {
        UnreadableArchives list;
        QString heading;
    } messages[] = {
        {unlisted,
         QStringLiteral("This folder of the catalog could not be read; its archives were skipped:")},
        {{file}, QStringLiteral("This archive could not be read and was skipped:")},
        {{file, unlisted.first()},
         QStringLiteral("These archives and folders of the catalog could not be read and were skipped:")},
    };
    for (const auto &m : messages)
        EXPECT_EQ(unreadableArchivesMessage(m.list).section(QLatin1Char('\n'), 0, 0), m.heading);
}

// A window's walk: its events run after each archive and each folder's archives, and a Cancel
// is looked at once per folder, so the archives of the folder it came in stay visited.
TEST(CatalogWalk, HooksRunBetweenArchivesAndStopAtTheNextFolder)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("hooks"));
    for (const char *name : {"1.dat", "2.dat", "a/3.dat", "a/b/4.dat", "c/5.dat"})
        ambrytest::writeFile(root + QLatin1Char('/') + QString::fromUtf8(name), "AMark=m\r\n");
    const struct
    {
        const char *cancelAt; // the archive whose visit sets the flag
        const char *trace;
        bool finished;
    } cases[] = {
        {nullptr, "1 + 2 + | 3 + | 4 + | 5 + |", true},
        {"2.dat", "1 + 2 +", false},
        {"3.dat", "1 + 2 + | 3 +", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cancelAt ? c.cancelAt : "none");
        bool cancel = false;
        QStringList trace;
        bool afterArchive = false;
        Progress progress;
        progress.cancel = &cancel;
        // Events run right after an archive show as "+", after a folder's archives as "|".
        progress.pendingEvents = [&] {
            trace << (afterArchive ? QStringLiteral("+") : QStringLiteral("|"));
            afterArchive = false;
        };
        const bool finished = Catalog(root).walk(
            [&](const QString &path) {
                trace << QFileInfo(path).baseName();
                afterArchive = true;
                cancel = cancel || (c.cancelAt && path.endsWith(QString::fromUtf8(c.cancelAt)));
                return true;
            },
            progress);
        EXPECT_EQ(finished, c.finished);
        EXPECT_EQ(trace.join(QLatin1Char(' ')), QString::fromUtf8(c.trace));
    }
    int asked = 0;
    Progress closing;
    closing.stopRequested = [&] { return ++asked == 2; }; // the program closes after folder one
    QStringList seen;
    EXPECT_FALSE(Catalog(root).walk(
        [&](const QString &path) {
            seen << QFileInfo(path).baseName();
            return true;
        },
        closing));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

namespace {

class MemoryNumbers : public catalog::NumberStore
{
public:
    int lastNumber() const override { return last; }
    void setLastNumber(int number) override { last = number; }
    int last = 0;
};

} // namespace

// Numbering reads the last number only through the store it is given, and a catalog without
// one numbers from its archives alone.
TEST(CatalogLookup, NumberingGoesThroughTheGivenStore)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("store"));
    WriteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"), QStringLiteral("90"));
    const auto numbers = std::make_shared<MemoryNumbers>();
    numbers->last = 41;
    const Catalog withStore(root, numbers);
    EXPECT_EQ(withStore.nextNumber(), 42);
    EXPECT_EQ(Catalog(root).nextNumber(), 1);
    withStore.recordNumber(57);
    EXPECT_EQ(numbers->last, 57);
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QStringLiteral("90"));
    Catalog(root).recordNumber(58); // no store: nowhere to record it
    EXPECT_EQ(numbers->last, 57);

    ambrytest::writeFile(root + QStringLiteral("/sub/1.dat"), numbered("7"));
    EXPECT_EQ(withStore.nextNumber(), 8);
}

// The folder is kept as given with one "/" added: no link in it is resolved.
TEST(CatalogWalk, TheFolderIsKeptAsGiven)
{
    const QString root = ambrytest::makeTempDir(QStringLiteral("given"));
    ambrytest::writeFile(root + QStringLiteral("/real/1.dat"), "AMark=m\r\n");
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/real"), root + QStringLiteral("/link")));
    const Catalog linked(root + QStringLiteral("/link//"));
    EXPECT_EQ(Catalog(root + QStringLiteral("/link")).folder(), root + QStringLiteral("/link/"));
    EXPECT_EQ(linked.folder(), root + QStringLiteral("/link//"));
    EXPECT_EQ(Catalog(QString()).folder(), QString());
    QStringList seen;
    Catalog(root + QStringLiteral("/link")).walk([&](const QString &path) {
        seen << path;
        return true;
    });
    EXPECT_EQ(seen, QStringList{root + QStringLiteral("/link/1.dat")});
    EXPECT_EQ(Catalog(root + QStringLiteral("/link")).archivePath(QStringLiteral("-450495")),
              root + QStringLiteral("/link/-450495.dat"));
    EXPECT_TRUE(Catalog::isArchiveName(QStringLiteral("X.DAT")));
    EXPECT_FALSE(Catalog::isArchiveName(QStringLiteral(".x.dat.tmp-Ab12yZ")));
}
