#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <sys/mount.h>

#include "TestSupport.h"
#include "drives/LinuxDriveSystem.h"
#include "helper_drivetest.h"
#include "helper_fakeplatform.h"

using ambrytest::makeTempDir;
using ambrytest::writeFile;

namespace {

using Props = QMap<QByteArray, QByteArray>;

const Props kDataArrived{{"DISK_MEDIA_CHANGE", "1"}, {"ID_CDROM_MEDIA", "1"}, {"ID_FS_TYPE", "iso9660"}};

quint32 bit(char letter)
{
    return quint32(1) << (letter - 'A');
}

class Monitor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clearFolderDrives();
        platform.addDrive(0); // D
        platform.addDrive(1); // E
    }
    void TearDown() override
    {
        while (monitor()->isStarted())
            monitor()->stop();
        clearFolderDrives();
    }
    LinuxMediaMonitor *monitor() { return static_cast<LinuxMediaMonitor *>(system.mediaMonitor()); }

    FakePlatform platform;
    LinuxDriveSystem system{&platform};
};

TEST_F(Monitor, StartsNest)
{
    MediaMonitor *m = monitor();
    EXPECT_FALSE(m->isStarted());
    m->start();
    m->start();
    m->stop();
    EXPECT_TRUE(m->isStarted());
    m->stop();
    EXPECT_FALSE(m->isStarted());
    m->stop(); // one stop too many does no harm
    EXPECT_FALSE(m->isStarted());
}

TEST_F(Monitor, NothingIsReportedWhileStopped)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/D"));
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    monitor()->poll();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(Monitor, MountedDiscIsReportedWithItsLetterAndTheMediaFlag)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    platform.mount(QStringLiteral("/dev/sr1"), QStringLiteral("/media/u/E"));
    monitor()->mediaChanged(QStringLiteral("sr1"), kDataArrived);
    ASSERT_EQ(spy.count(), 1);
    const auto notice = spy.at(0).at(0).value<VolumeNotice>();
    EXPECT_EQ(notice.unitMask, bit('E'));
    EXPECT_EQ(notice.flags & VolumeNoticeMediaFlag, VolumeNoticeMediaFlag);
    EXPECT_EQ(DriveLetterFromVolumeMask(notice), QStringLiteral("E:"));
}

TEST_F(Monitor, DiscIsReportedOnceItGetsMounted)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    monitor()->poll();
    EXPECT_EQ(spy.count(), 0);
    platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/DISC"));
    monitor()->poll();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<VolumeNotice>().unitMask, bit('D'));
    monitor()->poll();
    EXPECT_EQ(spy.count(), 1); // once only
}

TEST_F(Monitor, EventsThatAreNoArrivalOfOurs)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/DISC"));
    const struct
    {
        const char *sys;
        Props props;
    } cases[] = {
        {"sr0", {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_TYPE", "iso9660"}}},   // a change but no medium change
        {"sr0", {{"DISK_EJECT_REQUEST", "1"}, {"ID_CDROM_MEDIA", "1"}}}, // the eject button
        {"sr0", {{"DISK_MEDIA_CHANGE", "1"}}},                           // medium taken out
        {"sr7", kDataArrived},                                           // not one of our drives
        {"sda", kDataArrived},
    };
    for (const auto &c : cases)
        monitor()->mediaChanged(QString::fromLatin1(c.sys), c.props);
    monitor()->poll();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(Monitor, AudioDiscHasNothingToMountAndArrivesAtOnce)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->mediaChanged(
        QStringLiteral("sr0"),
        {{"DISK_MEDIA_CHANGE", "1"}, {"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "11"}});
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<VolumeNotice>().unitMask, bit('D'));
    EXPECT_TRUE(platform.calls.isEmpty());
}

TEST_F(Monitor, MountsTheDiscItselfWhenNobodyDidWithinThreeSeconds)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    platform.mountAnswer = QStringLiteral("/media/u/LATE");
    monitor()->start();
    QElapsedTimer clock;
    clock.start();
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    ASSERT_TRUE(spy.wait(6000));
    EXPECT_GE(clock.elapsed(), 2900);
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("mount-async sr0")});
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(system.rootPath('D', false), QStringLiteral("/media/u/LATE/"));
}

TEST_F(Monitor, ADiscThatCannotBeMountedStillArrives)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    ASSERT_TRUE(spy.wait(6000));
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("mount-async sr0")});
}

TEST_F(Monitor, MountTableChangeIsNoticedWithoutWaitingForTheTimer)
{
    // Needs the right to mount (root in a container, as on the build machine); skipped elsewhere.
    const QString point = makeTempDir(QStringLiteral("mnt"));
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/DISC")); // seen on the next look
    QElapsedTimer clock;
    clock.start();
    if (::mount("none", QFile::encodeName(point).constData(), "tmpfs", 0, nullptr) != 0)
        GTEST_SKIP() << "cannot mount here";
    const bool arrived = spy.wait(2000);
    const qint64 took = clock.elapsed();
    ::umount(QFile::encodeName(point).constData());
    ASSERT_TRUE(arrived);
    EXPECT_LT(took, 300) << "the 500 ms timer found it, not the mount table notice";
}

TEST_F(Monitor, StoppingForgetsDiscsThatWereStillExpected)
{
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->mediaChanged(QStringLiteral("sr0"), kDataArrived);
    monitor()->stop();
    monitor()->start();
    platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/DISC"));
    monitor()->poll();
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(Monitor, FolderDriveTurningReadyIsNoticedWithinASecond)
{
    const QString folder = makeTempDir(QStringLiteral("watched"));
    const QString already = makeTempDir(QStringLiteral("already"));
    writeFile(already + QStringLiteral("/x"), "x");
    bindFolderDrive('Q', folder);
    bindFolderDrive('R', already);
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    QTest::qWait(600);
    EXPECT_EQ(spy.count(), 0) << "a folder that was ready at the start is no arrival";

    writeFile(folder + QStringLiteral("/disc.txt"), "d");
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(spy.wait(1500));
    EXPECT_LE(clock.elapsed(), 1000);
    EXPECT_EQ(spy.at(0).at(0).value<VolumeNotice>().unitMask, bit('Q'));

    // Emptied and filled again: a second arrival.
    QFile::remove(folder + QStringLiteral("/disc.txt"));
    QTest::qWait(600);
    writeFile(folder + QStringLiteral("/disc2.txt"), "d");
    ASSERT_TRUE(spy.wait(1500));
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(Monitor, NoPollingWhileStopped)
{
    const QString folder = makeTempDir(QStringLiteral("idle"));
    bindFolderDrive('Q', folder);
    QSignalSpy spy(monitor(), &MediaMonitor::mediaArrived);
    monitor()->start();
    monitor()->stop();
    writeFile(folder + QStringLiteral("/late.txt"), "l");
    EXPECT_FALSE(spy.wait(1200));
}

} // namespace
