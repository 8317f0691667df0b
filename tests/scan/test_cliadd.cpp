#include "DiscImages.h"
#include "helper_tree.h"
#include "scan/AddDiscSession.h"
#include "scan/cliAdd.h"

#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/ProgramCatalog.h"
#include "drives/DriveSystem.h"
#include "drives/HostageFile.h"
#include "drives/testing/FakeDriveSystem.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/CliCommand.h"
#include "util/gUtils.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

using namespace scantest;

namespace {

// The one archive in a catalog folder; empty when it holds none or more.
QString onlyArchive(const QString &folder)
{
    QStringList found;
    catalog::Catalog(folder).walk([&](const QString &path) {
        found << path;
        return true;
    });
    return found.size() == 1 ? found.first() : QString();
}

struct CliRun
{
    int code;
    std::string out;
    std::string err;
};

class CliAddTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        setDriveSystemForTesting(&fake);
        fake.addOpticalDrive('D');
        fake.setReady('D', true);
        catalog = ambrytest::makeTempDir(QStringLiteral("clicatalog"));
        DeleteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"));
        DeleteSetting(RegKey::V, QStringLiteral("HostageFile"));
        disc = newRoot("clidisc");
        makeFile(disc + "readme.txt", 1234, localMoment(2008, 5, 14, 10, 20, 30));
        makeFolder(disc + "Music");
        makeFile(disc + "Music/track01.mp3", 4321987, localMoment(2008, 5, 13, 18, 2, 10));
    }
    void TearDown() override { setDriveSystemForTesting(nullptr); }

    CliRun add(const QStringList &args)
    {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = runCliCommand(addCommand(), catalog, args);
        std::fflush(stdout);
        std::fflush(stderr);
        CliRun r{code, ::testing::internal::GetCapturedStdout(), ::testing::internal::GetCapturedStderr()};
        return r;
    }

    int archiveCount() const
    {
        int n = 0;
        catalog::Catalog(catalog).walk([&](const QString &) {
            ++n;
            return true;
        });
        return n;
    }

    FakeDriveSystem fake;
    QString catalog;
    std::string disc;
};

} // namespace

TEST_F(CliAddTest, AFolderIsSavedOnceAndRecognisedAfterwards)
{
    const QString folder = qpath(disc);
    const CliRun saved =
        add({QStringLiteral("--folder"), folder, QStringLiteral("--location"), QStringLiteral("Shelf A"),
             QStringLiteral("--note"), QStringLiteral("Holiday music")});
    ASSERT_EQ(saved.code, 0) << saved.err;
    // The two-file disc of the archive format's example: 72 bytes of records, checksum 450495.
    const QString path = catalog + QStringLiteral("/450495.dat");
    // The result on standard output: mark, number and path.
    EXPECT_EQ(saved.out, "CD No: 1\t1\t" + path.toStdString() + "\n");
    EXPECT_TRUE(saved.err.empty()) << saved.err;
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("AMark")), QStringLiteral("CD No: 1"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ALocation")), QStringLiteral("Shelf A"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ANote")), QStringLiteral("Holiday music"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ASize")), QStringLiteral("4323221"));
    EXPECT_TRUE(fake.doorCalls().isEmpty());

    const CliRun again =
        add({QStringLiteral("--folder"), folder, QStringLiteral("--mark"), QStringLiteral("Other")});
    EXPECT_EQ(again.code, 2);
    EXPECT_EQ(again.err, "CD/DVD is already archived under: \nCD No: 1\n");
    EXPECT_TRUE(again.out.empty());
    EXPECT_EQ(archiveCount(), 1);

    // Moved by the user into a subfolder, where every reader still finds it.
    ASSERT_TRUE(QDir().mkpath(catalog + QStringLiteral("/2008/May")));
    ASSERT_TRUE(QFile::rename(path, catalog + QStringLiteral("/2008/May/450495.DAT")));
    const CliRun moved = add({QStringLiteral("--folder"), folder});
    EXPECT_EQ(moved.code, 2) << moved.out;
    EXPECT_EQ(moved.err, "CD/DVD is already archived under: \nCD No: 1\n");
    EXPECT_EQ(archiveCount(), 1);
}

TEST_F(CliAddTest, OutcomesAndExitCodes)
{
    const std::string empty = newRoot("cliempty");
    makeFolder(empty + "nothing-inside");
    struct Case
    {
        const char *what;
        std::function<void(CliAddTest &)> prepare;
        QStringList args;
        int code;
        std::string err;
        QStringList doors;
    };
    const QString letterD = QStringLiteral("D");
    const std::vector<Case> cases = {
        {"empty folder", {}, {QStringLiteral("--folder"), qpath(empty)}, 3, "Disk is empty.\n", {}},
        {"drive without a disc",
         [](CliAddTest &t) { t.fake.setRootPath('D', QString()); },
         {QStringLiteral("--drive"), letterD, QStringLiteral("--eject")},
         3,
         "Disk is empty.\n",
         {QStringLiteral("open D")}},
        {"audio disc, tray left alone",
         [](CliAddTest &t) { t.fake.setAudio('D', true); },
         {QStringLiteral("--drive"), QStringLiteral("d:")},
         4,
         "Disk is an Audio CD/DVD.\nPlease use only CD/DVD that contains data or Mp3 files.\n",
         {}},
        {"audio disc, ejected",
         [](CliAddTest &t) { t.fake.setAudio('D', true); },
         {QStringLiteral("--drive"), letterD, QStringLiteral("--eject")},
         4,
         "Disk is an Audio CD/DVD.\nPlease use only CD/DVD that contains data or Mp3 files.\n",
         {QStringLiteral("open D")}},
        {"mark in use, compared without letter case",
         [](CliAddTest &t) {
             ambrytest::writeFile(t.catalog + QStringLiteral("/7.dat"),
                                  "ADate=1\r\nAMark=Shelf Disc\r\nALocation=\r\nACRC=1\r\nAFiles=0\r\n"
                                  "ADirs=0\r\nANote=\r\nASize=0\r\nANumber=3\r\nASource=CD/DVD\r\n"
                                  "APicture=\r\nAEnd=EndTag\r\n");
             t.fake.setRootPath('D', qpath(t.disc));
         },
         {QStringLiteral("--drive"), letterD, QStringLiteral("--mark"), QStringLiteral("SHELF DISC"),
          QStringLiteral("--eject")},
         5,
         "The mark already exists!\n",
         {}},
        {"mark in use, with blanks around it",
         {},
         {QStringLiteral("--drive"), letterD, QStringLiteral("--mark"), QStringLiteral(" Shelf Disc  ")},
         5,
         "The mark already exists!\n",
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake.setAudio('D', false);
        fake.clearDoorCalls();
        if (c.prepare)
            c.prepare(*this);
        const int before = archiveCount();
        const CliRun r = add(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(fake.doorCalls(), c.doors);
        EXPECT_EQ(archiveCount(), before);
    }
}

TEST_F(CliAddTest, ADriveIsSavedWithTheNextNumberAndEjectedOnRequest)
{
    ambrytest::writeFile(catalog + QStringLiteral("/sub/9.dat"), "AMark=Old\r\nANumber=9\r\nAEnd=EndTag\r\n");
    fake.setRootPath('D', qpath(disc));
    const CliRun r = add({QStringLiteral("--drive"), QStringLiteral("D"), QStringLiteral("--eject")});
    ASSERT_EQ(r.code, 0) << r.err;
    const QStringList printed = QString::fromStdString(r.out).trimmed().split(QLatin1Char('\t'));
    ASSERT_EQ(printed.size(), 3) << r.out;
    EXPECT_EQ(printed.at(0), QStringLiteral("CD No: 10"));
    EXPECT_EQ(printed.at(1), QStringLiteral("10"));
    const QString path = printed.at(2);
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("AMark")), QStringLiteral("CD No: 10"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ANumber")), QStringLiteral("10"));
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QStringLiteral("10"));
    EXPECT_EQ(fake.doorCalls(), QStringList{QStringLiteral("open D")});
    // The hostage file is the first file recorded on the disc.
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("HostageFile")), qpath(disc + "readme.txt"));
}

TEST_F(CliAddTest, BadArgumentsAreRefused)
{
    const QString folder = qpath(disc);
    const std::vector<std::pair<QStringList, int>> cases = {
        {{}, 64},
        {{QStringLiteral("--folder")}, 64},
        {{QStringLiteral("--drive"), QStringLiteral("D"), QStringLiteral("--folder"), folder}, 64},
        {{QStringLiteral("--drive"), QStringLiteral("DE")}, 64},
        {{QStringLiteral("--drive"), QStringLiteral("Q")}, 1}, // no such drive
        {{QStringLiteral("--folder"), folder, QStringLiteral("--mark"), QStringLiteral("   ")}, 64},
        {{QStringLiteral("--folder"), folder + QStringLiteral("missing")}, 1},
        {{QStringLiteral("--folder"), folder, QStringLiteral("--colour"), QStringLiteral("red")}, 64},
        {{QStringLiteral("--folder"), folder, QStringLiteral("--note")}, 64},
        {{QStringLiteral("--folder"), folder, QStringLiteral("--location"), QString(256, QLatin1Char('x'))},
         64},
        {{QStringLiteral("--folder"), folder, QStringLiteral("stray")}, 64},
        {{QStringLiteral("--folder"), folder, QStringLiteral("--image"),
          folder + QStringLiteral("readme.txt")},
         64},
        {{QStringLiteral("--image")}, 64},
        {{QStringLiteral("--image"), folder}, 1}, // a folder is no image file
    };
    for (const auto &[args, code] : cases) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = add(args);
        EXPECT_EQ(r.code, code);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(archiveCount(), 0);
}

// A disc image added without mounting records and names its archive exactly as the same image
// mounted and added as a folder; only the fields that say where it came from differ.
TEST_F(CliAddTest, AnImageIsAddedAsItsMountIs)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    makeFolder(disc + "Music/Empty");
    makeFolder(disc + "Zebra Folder");
    makeFile(disc + "Zebra Folder/a long name with blanks and Caps.TXT", 77,
             localMoment(2010, 2, 3, 4, 5, 6));
    const QString image =
        ambrytest::imageOf(disc, ambrytest::rockRidge() + QStringList{QStringLiteral("-J")});
    ASSERT_FALSE(image.isEmpty());

    const CliRun saved =
        add({QStringLiteral("--image"), image, QStringLiteral("--note"), QStringLiteral("n")});
    ASSERT_EQ(saved.code, 0) << saved.err;
    const QString path = onlyArchive(catalog);
    EXPECT_EQ(saved.out, "CD No: 1\t1\t" + path.toStdString() + "\n");
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ASource")), QStringLiteral("Image"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ALocation")), image)
        << "the location defaults to the image";
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("AFiles")), QStringLiteral("3"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ADirs")), QStringLiteral("3"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ASize")), QStringLiteral("4323298"));
    const CliRun again = add({QStringLiteral("--image"), image});
    EXPECT_EQ(again.code, 2) << "the same image is recognised";

    ambrytest::FuseMount mount;
    if (const QString why = mount.mount(image); !why.isEmpty())
        GTEST_SKIP() << why.toStdString() << "; the image was added but not compared with its mount";
    const QString mounted = catalog + QStringLiteral("/mounted");
    ASSERT_TRUE(QDir().mkpath(mounted));
    catalog = mounted;
    const CliRun fromMount = add({QStringLiteral("--folder"), mount.point()});
    ASSERT_EQ(fromMount.code, 0) << fromMount.err;
    const QString mountPath = onlyArchive(mounted);
    EXPECT_EQ(QFileInfo(mountPath).fileName(), QFileInfo(path).fileName()) << "the same checksum";
    const QByteArray records = ambrytest::readFile(path);
    const QByteArray mountRecords = ambrytest::readFile(mountPath);
    EXPECT_EQ(records.left(records.indexOf("ADate=")), mountRecords.left(mountRecords.indexOf("ADate=")));
}

TEST_F(CliAddTest, DamagedAndForeignImagesAreToldAndGiveNoArchive)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("images"));
    const struct
    {
        const char *what;
        QByteArray bytes;
        const char *message;
    } cases[] = {
        {"text", QByteArray(70000, 'x'), "' is not an ISO 9660 disc image.\n"},
        {"empty", QByteArray(), "' is not an ISO 9660 disc image.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = dir + QLatin1Char('/') + QLatin1String(c.what) + QStringLiteral(".iso");
        ambrytest::writeFile(file, c.bytes);
        const CliRun r = add({QStringLiteral("--image"), file});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "ambrylog-cli add: '" + file.toStdString() + c.message);
        EXPECT_TRUE(r.out.empty());
    }
    const CliRun missing = add({QStringLiteral("--image"), dir + QStringLiteral("/missing.iso")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("Cannot read '"), std::string::npos) << missing.err;
    EXPECT_EQ(archiveCount(), 0);
}

// Adds started together in separate processes, as the window and the command line (or two
// terminals) may be: each disc is saved once, and no number or mark is given out twice.
TEST_F(CliAddTest, ParallelAddsGiveEveryDiscOneArchiveAndNothingTwice)
{
    // Each round: three different discs, two of them added by several processes at once,
    // and two more discs that both ask for the same explicit mark.
    struct Job
    {
        int disc;
        QString mark; // empty: the proposed mark
    };
    const int discsPerRound = 5;
    const std::vector<Job> jobs = {{0, {}},
                                   {1, {}},
                                   {2, {}},
                                   {0, {}},
                                   {1, {}},
                                   {0, {}},
                                   {3, QStringLiteral("Shelf")},
                                   {4, QStringLiteral("SHELF")}};
    const auto roundDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    int rounds = 0, started = 0;
    for (; rounds < 12 && std::chrono::steady_clock::now() < roundDeadline; ++rounds) {
        std::vector<std::string> discs;
        for (int d = 0; d < discsPerRound; ++d) {
            discs.push_back(newRoot("pdisc"));
            // Sizes make every disc of every round a different disc.
            makeFile(discs.back() + "file.bin", 1000 * rounds + d + 1, localMoment(2020, 1, 2, 3, 4, 5));
        }
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (const Job &job : jobs) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(gate[1]);
                char c;
                (void)!::read(gate[0], &c, 1); // all start when the gate opens
                std::freopen("/dev/null", "w", stdout);
                std::freopen("/dev/null", "w", stderr);
                QStringList args{QStringLiteral("--folder"), qpath(discs[size_t(job.disc)])};
                if (!job.mark.isEmpty())
                    args << QStringLiteral("--mark") << job.mark + QString::number(rounds);
                ::_exit(runCliCommand(addCommand(), catalog, args));
            }
            children.push_back(pid);
        }
        ::close(gate[0]);
        ::close(gate[1]);
        started += int(children.size());
        std::map<int, std::vector<int>> codesByDisc;
        for (size_t i = 0; i < children.size(); ++i) {
            int status = 0;
            ASSERT_EQ(::waitpid(children[i], &status, 0), children[i]);
            ASSERT_TRUE(WIFEXITED(status)) << status;
            codesByDisc[jobs[i].disc].push_back(WEXITSTATUS(status));
        }
        // Plain discs: one save, the rest "already archived". Same mark: one save, one refusal.
        for (int d = 0; d < 3; ++d) {
            std::vector<int> codes = codesByDisc[d];
            std::sort(codes.begin(), codes.end());
            std::vector<int> expected(codes.size(), CliAddAlreadyArchived);
            expected[0] = CliAddSaved;
            EXPECT_EQ(codes, expected) << "round " << rounds << " disc " << d;
        }
        std::vector<int> markCodes = {codesByDisc[3][0], codesByDisc[4][0]};
        std::sort(markCodes.begin(), markCodes.end());
        EXPECT_EQ(markCodes, (std::vector<int>{CliAddSaved, CliAddMarkUsed})) << "round " << rounds;
    }
    std::set<QString> marks;
    std::set<int> numbers;
    int archives = 0;
    catalog::Catalog(catalog).walk([&](const QString &path) {
        ++archives;
        marks.insert(ReadArchiveValue(path, QStringLiteral("AMark")).toUpper());
        numbers.insert(ReadArchiveValue(path, QStringLiteral("ANumber")).toInt());
        return true;
    });
    EXPECT_EQ(archives, rounds * 4);
    EXPECT_EQ(int(marks.size()), archives);
    EXPECT_EQ(int(numbers.size()), archives);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), archives); // no number skipped or repeated
    std::printf("parallel adds: %d processes in %d rounds\n", started, rounds);
}

TEST_F(CliAddTest, ACatalogHeldByAnotherWriterIsReportedAfterTheWait)
{
    const ambrytest::ChildHolding other([this] { return (new CatalogLock(catalog))->tryAcquire(); });
    ASSERT_TRUE(other.holds());
    CatalogLock::setWaitMsForTesting(300);
    const CliRun busy = add({QStringLiteral("--folder"), qpath(disc)});
    CatalogLock::setWaitMsForTesting(0);
    EXPECT_EQ(busy.code, 1);
    EXPECT_EQ(busy.err, "ambrylog-cli add: The catalog is in use by another Ambrylog.\n");
    EXPECT_EQ(archiveCount(), 0);
}

// A folder the walk cannot read is skipped, but the archive is then incomplete: the command
// says how many folders are missing and exits 9 rather than 0.
TEST_F(CliAddTest, FoldersThatCannotBeReadMakeTheSaveIncomplete)
{
    makeFolder(disc + "locked");
    makeFile(disc + "locked/inside.txt", 1, localMoment(2011, 1, 1, 0, 0, 0));
    openToOthers(disc);
    openToOthers(catalog.toStdString(), true);
    ASSERT_EQ(::chmod((disc + "locked").c_str(), 0), 0);
    CliRun r;
    ::testing::internal::CaptureStdout(); // its files are made while still privileged
    ::testing::internal::CaptureStderr();
    {
        const UnprivilegedFiles asUser;
        r.code = runCliCommand(addCommand(), catalog, {QStringLiteral("--folder"), qpath(disc)});
        std::fflush(stdout);
        std::fflush(stderr);
    }
    r.out = ::testing::internal::GetCapturedStdout();
    r.err = "\n" + ::testing::internal::GetCapturedStderr();
    ::chmod((disc + "locked").c_str(), 0755);
    EXPECT_EQ(r.code, CliAddIncomplete) << r.err;
    // (Besides the warnings of a settings store this user may not write.)
    EXPECT_NE(r.err.find("\n1 folder could not be read.\n"), std::string::npos) << r.err;
    EXPECT_EQ(archiveCount(), 1);
    const QString path = QString::fromStdString(r.out).trimmed().section(QLatin1Char('\t'), 2);
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("AFiles")), QStringLiteral("2"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ADirs")), QStringLiteral("2"));

    // Read whole, the same disc is another disc: it is saved with a clean exit.
    EXPECT_EQ(add({QStringLiteral("--folder"), qpath(disc)}).code, CliAddSaved);
}

TEST_F(CliAddTest, AnUnreadableArchiveIsToldButDoesNotStopTheSession)
{
    // The catalog holds archive 4 and one nobody may read: the session numbers on and warns.
    // Root reads every file, so the session runs in a child that gave up root's rights.
    ambrytest::writeFile(catalog + QStringLiteral("/4.dat"),
                         "ADate=1\r\nAMark=CD No: 4\r\nANumber=4\r\nAEnd=EndTag\r\n");
    const QString locked = catalog + QStringLiteral("/9.dat");
    ambrytest::writeFile(locked, "ADate=1\r\nAMark=Locked\r\nANumber=9\r\nAEnd=EndTag\r\n");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    for (const QString &top : {catalog, qpath(disc)})
        for (QString p = top; p.startsWith(ambrytest::sandboxRoot()); p = QFileInfo(p).path())
            QFile::setPermissions(p, QFileDevice::Permissions(0x7755));
    const auto run = [&]() -> QByteArray {
        AddDiscSession session = AddDiscSession::forFolder(
            qpath(disc), catalog::Catalog(catalog, catalog::settingsNumberStore()), settingsHostageFile());
        if (session.scan() != AddDiscSession::Outcome::MarkEntry)
            return "no mark entry";
        const QStringList out{QString::number(session.archiveNumber()),
                              QString::number(session.unreadableArchives().size()),
                              session.unreadableArchives().value(0).path,
                              session.message().section(QStringLiteral("\r\n"), -1)};
        return out.join(QLatin1Char('|')).toUtf8();
    };
    const QByteArray got = ::geteuid() == 0 ? ambrytest::runInChild([&] {
                                                  if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                                                      ::_exit(3);
                                                  return run();
                                              }).output
                                            : run();
    EXPECT_EQ(got,
              (QStringLiteral("5|1|") + locked + QLatin1Char('|') + scantext::unreadableWarning(1)).toUtf8());
}

TEST(SessionTexts, WhatASaveCataloguedReadsNaturally)
{
    const struct
    {
        qint64 files, folders, bytes;
        QString expected;
    } cases[] = {
        {1234, 56, 4509715660,
         FormatGroupedNumber(1234) + QStringLiteral(" files in 56 folders, ") + FormatFileSize(4509715660)},
        {1, 1, 10, QStringLiteral("1 file in 1 folder, ") + FormatFileSize(10)},
        {3, 0, 0, QStringLiteral("3 files, ") + FormatFileSize(0)}, // everything in the root
    };
    for (const auto &c : cases)
        EXPECT_EQ(scantext::catalogued(c.files, c.folders, c.bytes), c.expected);
}
