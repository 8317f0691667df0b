#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "drives/cliDrives.h"
#include "drives/testing/FakeDriveSystem.h"
#include "helper_drivetest.h"
#include "settings/gRegistry.h"
#include "util/CliCommand.h"

using ambrytest::makeTempDir;
using ambrytest::writeFile;

namespace {

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

// Runs the command with its standard output and error caught in files.
CliRun runCli(const QStringList &args)
{
    CliRun run;
    QTemporaryFile outFile, errFile;
    if (!outFile.open() || !errFile.open()) {
        ADD_FAILURE() << "no temporary files";
        return run;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    ::dup2(outFile.handle(), 1);
    ::dup2(errFile.handle(), 2);
    run.code = runCliCommand(drivesCommand(), QString(), args);
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    outFile.seek(0);
    errFile.seek(0);
    run.out = QString::fromUtf8(outFile.readAll());
    run.err = QString::fromUtf8(errFile.readAll());
    return run;
}

class CliDrives : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearFolderDrives();
        DeleteSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive"));
        fake.addFixedDrive('C');
        fake.addOpticalDrive('D');
        fake.addOpticalDrive('E', QStringLiteral("/dev/sr1"));
        setDriveSystemForTesting(&fake);
    }
    void TearDown() override
    {
        setDriveSystemForTesting(nullptr);
        clearFolderDrives();
    }
    FakeDriveSystem fake;
};

TEST_F(CliDrives, ListsEveryDriveTabSeparated)
{
    fake.setReady('D', true);
    fake.setRootPath('D', QStringLiteral("/media/u/MY DISC/"));
    fake.setAudio('E', true); // an audio disc is not ready: it has no file system
    fake.addFolderDrive('Q', QStringLiteral("/srv/stick"));
    fake.setReady('Q', true);
    fake.setRootPath('Q', QStringLiteral("/srv/stick/"));
    const CliRun run = runCli({});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, QStringLiteral("C\tLOCAL\tyes\tno\t/\t/\n"
                                      "D\tCD/DVD ROM\tyes\tno\t/media/u/MY DISC/\t/dev/sr0\n"
                                      "E\tCD/DVD ROM\tno\tyes\t\t/dev/sr1\n"
                                      "Q\tCD/DVD ROM\tyes\tno\t/srv/stick/\t/srv/stick\n"));
    EXPECT_TRUE(run.err.isEmpty());
}

TEST_F(CliDrives, BindAndUnbindAFolderDrive)
{
    const QString folder = makeTempDir(QStringLiteral("stick"));
    // A relative path is stored as the absolute folder it names.
    const QString relative = QDir::current().relativeFilePath(folder) + QStringLiteral("/./");
    CliRun run = runCli({QStringLiteral("bind"), QStringLiteral("q:"), relative});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(ReadSetting(RegKey::Drives, QStringLiteral("Q")), QDir::cleanPath(folder));
    EXPECT_EQ(run.out, QStringLiteral("Q\t") + QDir::cleanPath(folder) + QLatin1Char('\n'));

    run = runCli({QStringLiteral("unbind"), QStringLiteral("Q")});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(ReadSetting(RegKey::Drives, QStringLiteral("Q")), QString());

    run = runCli({QStringLiteral("unbind"), QStringLiteral("Q")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no folder is bound to Q"))) << run.err.toStdString();
}

TEST_F(CliDrives, RefusesWhatCannotBeBound)
{
    const QString folder = makeTempDir(QStringLiteral("target"));
    writeFile(folder + QStringLiteral("/file.txt"), "f");
    const struct
    {
        QStringList args;
        const char *says;
        int code;
    } cases[] = {
        {{QStringLiteral("bind"), QStringLiteral("D"), folder}, "optical drive /dev/sr0", 1},
        {{QStringLiteral("bind"), QStringLiteral("c"), folder}, "root file system", 1},
        {{QStringLiteral("bind"), QStringLiteral("QQ"), folder}, "not a drive letter", 64},
        {{QStringLiteral("bind"), QStringLiteral("5"), folder}, "not a drive letter", 64},
        {{QStringLiteral("bind"), QStringLiteral("Q"), folder + QStringLiteral("/missing")},
         "does not exist",
         1},
        {{QStringLiteral("bind"), QStringLiteral("Q"), folder + QStringLiteral("/file.txt")},
         "is not a folder",
         1},
        {{QStringLiteral("bind"), QStringLiteral("Q"), QString()}, "does not exist", 1},
        {{QStringLiteral("bind"), QStringLiteral("Q")}, "bind takes LETTER FOLDER", 64},
        {{QStringLiteral("unbind"), QStringLiteral("?")}, "not a drive letter", 64},
        {{QStringLiteral("default"), QStringLiteral("C")}, "not a CD/DVD drive", 1},
        {{QStringLiteral("default"), QStringLiteral("X")}, "not a CD/DVD drive", 1},
        {{QStringLiteral("eject")}, "unknown subcommand 'eject'", 64},
    };
    for (const auto &c : cases) {
        const CliRun run = runCli(c.args);
        EXPECT_EQ(run.code, c.code) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.says)))
            << c.args.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    for (char c = 'A'; c <= 'Z'; ++c)
        EXPECT_EQ(ReadSetting(RegKey::Drives, QString(QLatin1Char(c))), QString()) << c;
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive")), QString());
}

TEST_F(CliDrives, DefaultReadDeviceIsStoredInUpperCase)
{
    CliRun run = runCli({QStringLiteral("default"), QStringLiteral("e")});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive")), QStringLiteral("E"));
    fake.addFolderDrive('Q', QStringLiteral("/srv/stick"));
    run = runCli({QStringLiteral("default"), QStringLiteral("Q")});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive")), QStringLiteral("Q"));
}

TEST(CliDrivesReal, BoundFolderShowsInTheListing)
{
    // The real drive system: the binding made by the command is what the listing reads.
    setDriveSystemForTesting(nullptr);
    clearFolderDrives();
    const QString folder = makeTempDir(QStringLiteral("listed"));
    writeFile(folder + QStringLiteral("/a.txt"), "a");
    ASSERT_EQ(runCli({QStringLiteral("bind"), QStringLiteral("Y"), folder}).code, 0);
    const CliRun run = runCli({});
    EXPECT_EQ(run.code, 0);
    const QString real = QDir(folder).canonicalPath();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("C\tLOCAL\tyes\tno\t/\t/\n"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("Y\tCD/DVD ROM\tyes\tno\t") + real + QStringLiteral("/\t") +
                                 QDir::cleanPath(folder) + QLatin1Char('\n')))
        << run.out.toStdString();
    clearFolderDrives();
}

} // namespace
