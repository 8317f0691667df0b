#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "drives/LinuxDriveSystem.h"
#include "drives/gDrives.h"
#include "drives/testing/FakeDriveSystem.h"
#include "helper_drivetest.h"
#include "helper_fakeplatform.h"
#include "util/AmbryError.h"

using ambrytest::makeTempDir;
using ambrytest::writeFile;

namespace {

QString letterText(char c)
{
    return QString(QLatin1Char(c));
}

// ---- the drive routines over the test double ----------------------------------------------

class DriveRoutines : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake.addFixedDrive('C');
        fake.addOpticalDrive('D');
        fake.addOpticalDrive('F');
        fake.addFolderDrive('Q', QStringLiteral("/srv/discs/q"));
        setDriveSystemForTesting(&fake);
    }
    void TearDown() override { setDriveSystemForTesting(nullptr); }
    FakeDriveSystem fake;
};

TEST_F(DriveRoutines, TypeNamesForEveryKindOfLetter)
{
    const struct
    {
        QString letter;
        const char *name;
    } cases[] = {
        {QStringLiteral("C"), "LOCAL"},       {QStringLiteral("c"), "LOCAL"},
        {QStringLiteral("D"), "CD/DVD ROM"},  {QStringLiteral("d"), "CD/DVD ROM"},
        {QStringLiteral("F:"), "CD/DVD ROM"}, {QStringLiteral("Q"), "CD/DVD ROM"},
        {QStringLiteral("E"), "1"},           {QStringLiteral("Z"), "1"},
        {QStringLiteral("A"), "1"},           {QString(), "1"},
        {QStringLiteral("1"), "1"},           {QStringLiteral("\u00c4"), "1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GetDriveTypeName(c.letter), QString::fromLatin1(c.name)) << c.letter.toStdString();
}

TEST_F(DriveRoutines, FirstCdDriveIsTheLowestOpticalOrFolderLetter)
{
    EXPECT_EQ(FindFirstCdDrive(), 'D');
    fake.removeDrive('D');
    EXPECT_EQ(FindFirstCdDrive(), 'F');
    fake.removeDrive('F');
    EXPECT_EQ(FindFirstCdDrive(), 'Q'); // a folder drive counts as a CD/DVD drive
    fake.removeDrive('Q');
    EXPECT_EQ(FindFirstCdDrive(), 0); // C alone is no CD/DVD drive
}

TEST_F(DriveRoutines, DiscReadyRefusesEverythingButLetters)
{
    const char bad[] = {'1', '@', '[', '`', '{', ' ', ':', '\0', char(0xC4), '\\'};
    for (char c : bad) {
        try {
            IsDiscReady(c);
            ADD_FAILURE() << "no error for code " << int(uchar(c));
        } catch (const AmbryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Not a valid drive ID"));
        }
    }
    EXPECT_NO_THROW(IsDiscReady('A'));
    EXPECT_NO_THROW(IsDiscReady('z'));
}

TEST_F(DriveRoutines, LowerCaseLettersAnswerForTheirDrive)
{
    fake.setReady('F', true);
    EXPECT_TRUE(IsDiscReady('f'));
    EXPECT_TRUE(IsDiscReady('F'));
    EXPECT_FALSE(IsDiscReady('d'));
    EXPECT_FALSE(IsDiscReady('x')); // no drive at all
    fake.setAudio('D', true);
    EXPECT_TRUE(IsAudioDisc('d'));
    EXPECT_FALSE(IsAudioDisc('f'));
    EXPECT_FALSE(IsAudioDisc('3')); // not a letter: no error, no audio
    fake.setRootPath('Q', QStringLiteral("/srv/discs/q/"));
    EXPECT_EQ(DriveRootPath('q'), QStringLiteral("/srv/discs/q/"));
    EXPECT_EQ(DriveRootPath('?'), QString());
}

TEST_F(DriveRoutines, DoorCommandsGoToTheLetterAndIgnoreNonLetters)
{
    OpenDriveDoor('d');
    CloseDriveDoor('F');
    OpenDriveDoor('1');
    CloseDriveDoor('\0');
    EXPECT_EQ(fake.doorCalls(), QStringList({QStringLiteral("open D"), QStringLiteral("close F")}));
}

// ---- the Linux drive logic over made-up platform answers ----------------------------------

class LinuxDrives : public ::testing::Test
{
protected:
    void SetUp() override { clearFolderDrives(); }
    void TearDown() override { clearFolderDrives(); }
    FakePlatform platform;
    LinuxDriveSystem system{&platform};
};

TEST_F(LinuxDrives, MapsOpticalDrivesFolderDrivesAndTheRoot)
{
    platform.addDrive(0);
    platform.addDrive(2);
    platform.addDrive(22);
    platform.addDrive(23); // beyond Z
    const QString folder = makeTempDir(QStringLiteral("bound"));
    bindFolderDrive('Q', folder);
    bindFolderDrive('D', folder);                          // sr0 holds D
    bindFolderDrive('C', folder);                          // the root file system holds C
    bindFolderDrive('R', QStringLiteral("relative/path")); // not a usable folder binding
    bindFolderDrive('S', QString());

    const QList<DriveInfo> all = system.drives();
    QStringList seen;
    for (const DriveInfo &d : all) {
        QString where = d.kind == DriveKind::Optical ? d.device : d.folder;
        seen << letterText(d.letter) + QLatin1Char('=') + where;
    }
    EXPECT_EQ(seen,
              QStringList({QStringLiteral("C=/"), QStringLiteral("D=/dev/sr0"), QStringLiteral("F=/dev/sr2"),
                           QStringLiteral("Q=") + folder, QStringLiteral("Z=/dev/sr22")}));
    EXPECT_EQ(system.drive('D').kind, DriveKind::Optical);
    EXPECT_EQ(system.drive('Q').kind, DriveKind::Folder);
    EXPECT_EQ(system.drive('C').kind, DriveKind::Fixed);
    EXPECT_EQ(system.drive('E').kind, DriveKind::None);
}

TEST_F(LinuxDrives, OpticalReadinessFromIoctlUdevAndMounts)
{
    using Props = QMap<QByteArray, QByteArray>;
    const Props dataDisc{{"ID_CDROM_MEDIA", "1"}, {"ID_FS_TYPE", "iso9660"}};
    const Props audioDisc{{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "12"}};
    const struct
    {
        const char *what;
        int drive;
        int disc;
        Props udev;
        bool signature;
        bool mounted;
        bool ready;
    } cases[] = {
        {"empty drive", cdrom::NoDisc, -1, {}, false, false, false},
        {"tray open", cdrom::TrayOpen, -1, {}, false, false, false},
        {"spinning up", cdrom::DriveNotReady, -1, dataDisc, true, false, false},
        {"data disc seen by udev", cdrom::DiscOk, cdrom::Data1, dataDisc, false, false, true},
        {"audio disc", cdrom::DiscOk, cdrom::Audio, audioDisc, false, false, false},
        {"data disc without udev", cdrom::DiscOk, cdrom::Data1, {}, true, false, true},
        {"blank disc without udev", cdrom::DiscOk, cdrom::NoInfo, {}, false, false, false},
        {"no access, udev saw a data disc", -1, -1, dataDisc, false, false, true},
        {"no access, nothing known", -1, -1, {}, false, false, false},
        {"no access but mounted", -1, -1, {}, false, true, true},
    };
    platform.addDrive(0);
    for (const auto &c : cases) {
        FakePlatform::Device &d = platform.dev(0);
        d.driveStatus = c.drive;
        d.discStatus = c.disc;
        d.udev = c.udev;
        d.signature = c.signature;
        platform.table.clear();
        if (c.mounted)
            platform.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/media/u/DISC"));
        EXPECT_EQ(system.isReady('D'), c.ready) << c.what;
    }
}

TEST_F(LinuxDrives, TheLabelIsTheMediumsAsUdevReadIt)
{
    platform.addDrive(0);
    platform.dev(0).udev = {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_LABEL", "HOLIDAY_2004"}};
    EXPECT_EQ(system.volumeLabel('D'), QStringLiteral("HOLIDAY_2004"));
    platform.dev(0).udev = {{"ID_FS_LABEL", "HOLIDAY_2004"}}; // left over from a medium taken out
    EXPECT_EQ(system.volumeLabel('D'), QString());
    EXPECT_EQ(system.volumeLabel('E'), QString());
}

TEST_F(LinuxDrives, MountedThroughALinkCountsAsMounted)
{
    platform.addDrive(0);
    platform.canonical.insert(QStringLiteral("/dev/cdrom"), QStringLiteral("/dev/sr0"));
    platform.mount(QStringLiteral("/dev/cdrom"), QStringLiteral("/mnt/cd"));
    EXPECT_TRUE(system.isReady('D'));
    EXPECT_EQ(system.rootPath('D', false), QStringLiteral("/mnt/cd/"));
}

TEST_F(LinuxDrives, AudioAnswersFromDiscStatusOrTrackCounts)
{
    using Props = QMap<QByteArray, QByteArray>;
    const struct
    {
        const char *what;
        int drive;
        int disc;
        Props udev;
        bool audio;
    } cases[] = {
        {"audio by ioctl", cdrom::DiscOk, cdrom::Audio, {}, true},
        {"mixed by ioctl", cdrom::DiscOk, cdrom::Mixed, {}, false},
        {"data by ioctl", cdrom::DiscOk, cdrom::Data1, {}, false},
        {"ioctl beats stale udev",
         cdrom::DiscOk,
         cdrom::Data1,
         {{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "9"}},
         false},
        {"no disc",
         cdrom::NoDisc,
         -1,
         {{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "9"}},
         false},
        {"no access, udev audio only",
         -1,
         -1,
         {{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "12"}},
         true},
        {"no access, udev audio and data",
         -1,
         -1,
         {{"ID_CDROM_MEDIA", "1"},
          {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "12"},
          {"ID_CDROM_MEDIA_TRACK_COUNT_DATA", "1"}},
         false},
        {"no access, udev without medium", -1, -1, {{"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "12"}}, false},
        {"disc status unknown, udev audio",
         cdrom::DiscOk,
         cdrom::NoInfo,
         {{"ID_CDROM_MEDIA", "1"},
          {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "3"},
          {"ID_CDROM_MEDIA_TRACK_COUNT_DATA", "0"}},
         true},
    };
    platform.addDrive(1);
    for (const auto &c : cases) {
        FakePlatform::Device &d = platform.dev(1);
        d.driveStatus = c.drive;
        d.discStatus = c.disc;
        d.udev = c.udev;
        EXPECT_EQ(system.isAudio('E'), c.audio) << c.what;
    }
}

TEST_F(LinuxDrives, FolderAndRootDrivesNeverHoldAudioDiscs)
{
    const QString folder = makeTempDir(QStringLiteral("audio"));
    writeFile(folder + QStringLiteral("/track01.cda"), "x");
    bindFolderDrive('Q', folder);
    EXPECT_FALSE(system.isAudio('Q'));
    EXPECT_FALSE(system.isAudio('C'));
    EXPECT_FALSE(system.isAudio('Y'));
}

TEST_F(LinuxDrives, RootPathMountsOnlyWhenAskedAndOnlyAFileSystem)
{
    platform.addDrive(0);
    FakePlatform::Device &d = platform.dev(0);
    d.driveStatus = cdrom::DiscOk;
    d.discStatus = cdrom::Data1;
    d.udev = {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_TYPE", "udf"}};
    platform.mountAnswer = QStringLiteral("/media/u/MY DISC");

    EXPECT_EQ(system.rootPath('D', false), QString());
    EXPECT_TRUE(platform.calls.isEmpty());
    EXPECT_EQ(system.rootPath('D', true), QStringLiteral("/media/u/MY DISC/"));
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("mount sr0")});
    // Now mounted: found in the table, no second mount.
    EXPECT_EQ(system.rootPath('D', true), QStringLiteral("/media/u/MY DISC/"));
    EXPECT_EQ(platform.calls.size(), 1);

    // An audio disc has nothing to mount.
    platform.table.clear();
    platform.calls.clear();
    d.discStatus = cdrom::Audio;
    d.udev = {{"ID_CDROM_MEDIA", "1"}, {"ID_CDROM_MEDIA_TRACK_COUNT_AUDIO", "5"}};
    EXPECT_EQ(system.rootPath('D', true), QString());
    EXPECT_TRUE(platform.calls.isEmpty());

    // udisks fails: no root path.
    d.discStatus = cdrom::Data1;
    d.udev = {{"ID_CDROM_MEDIA", "1"}, {"ID_FS_TYPE", "iso9660"}};
    platform.mountAnswer.clear();
    EXPECT_EQ(system.rootPath('D', true), QString());
}

TEST_F(LinuxDrives, FolderDriveRootIsItsRealFolder)
{
    const QString base = makeTempDir(QStringLiteral("root"));
    const QString real = base + QStringLiteral("/real folder");
    QDir().mkpath(real);
    const QString link = base + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(real, link));
    bindFolderDrive('Q', link);
    const QString canonicalReal = QDir(real).canonicalPath();
    EXPECT_EQ(system.rootPath('Q', true), canonicalReal + QLatin1Char('/'));
    bindFolderDrive('Q', base + QStringLiteral("/gone"));
    EXPECT_EQ(system.rootPath('Q', true), QString());
    EXPECT_EQ(system.rootPath('C', true), QStringLiteral("/"));
    EXPECT_EQ(system.rootPath('K', true), QString());
}

TEST_F(LinuxDrives, FolderDriveReadiness)
{
    const QString base = makeTempDir(QStringLiteral("ready"));
    const QString empty = base + QStringLiteral("/empty");
    const QString withFile = base + QStringLiteral("/withfile");
    const QString hiddenOnly = base + QStringLiteral("/hidden");
    const QString subOnly = base + QStringLiteral("/sub");
    QDir().mkpath(empty);
    writeFile(withFile + QStringLiteral("/a.txt"), "a");
    writeFile(hiddenOnly + QStringLiteral("/.x"), "x");
    QDir().mkpath(subOnly + QStringLiteral("/inner"));
    writeFile(base + QStringLiteral("/plainfile"), "p");
    const struct
    {
        QString folder;
        bool ready;
    } cases[] = {
        {empty, false},
        {withFile, true},
        {hiddenOnly, true},
        {subOnly, true},
        {base + QStringLiteral("/missing"), false},
        {base + QStringLiteral("/plainfile"), false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(folderDriveReady(c.folder), c.ready) << c.folder.toStdString();
        bindFolderDrive('Q', c.folder);
        EXPECT_EQ(system.isReady('Q'), c.ready) << c.folder.toStdString();
    }
    if (::geteuid() != 0) { // root reads any folder
        const QString locked = base + QStringLiteral("/locked");
        writeFile(locked + QStringLiteral("/a"), "a");
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        EXPECT_FALSE(folderDriveReady(locked));
        QFile::setPermissions(locked,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    EXPECT_TRUE(system.isReady('C'));
}

TEST_F(LinuxDrives, DoorsOfOpticalDrives)
{
    platform.addDrive(0);
    system.eject('D');
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("eject sr0")});
    platform.calls.clear();
    platform.udisksEjectWorks = false; // no udisks: the ioctl
    system.eject('D');
    EXPECT_EQ(platform.calls,
              QStringList({QStringLiteral("eject sr0"), QStringLiteral("ioctl-eject /dev/sr0")}));
    platform.calls.clear();
    system.closeTray('D');
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("ioctl-close /dev/sr0")});
}

TEST_F(LinuxDrives, DoorsOfFolderDrivesAndOtherLetters)
{
    const QString stick = makeTempDir(QStringLiteral("stick"));
    const QString plain = makeTempDir(QStringLiteral("plain"));
    platform.mount(QStringLiteral("/dev/sdb1"), stick, QStringLiteral("vfat"));
    platform.mount(QStringLiteral("tmpfs"), plain, QStringLiteral("tmpfs"));
    bindFolderDrive('Q', stick + QLatin1Char('/'));
    bindFolderDrive('R', plain);
    bindFolderDrive('S', makeTempDir(QStringLiteral("unmounted")));
    system.eject('Q');
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("eject-removable sdb1")});
    platform.calls.clear();
    for (char c : {'R', 'S', 'C', 'X'}) {
        system.eject(c);
        system.closeTray(c);
    }
    EXPECT_TRUE(platform.calls.isEmpty()) << platform.calls.join(QLatin1Char(',')).toStdString();
}

TEST(SystemDrives, RealMachineAnswersWithoutHardwareOrBus)
{
    // Whatever this machine has, the real layer must answer at once and keep C.
    clearFolderDrives();
    LinuxDriveSystem system;
    const QList<DriveInfo> all = system.drives();
    ASSERT_FALSE(all.isEmpty());
    EXPECT_EQ(all.front().letter, 'C');
    for (const DriveInfo &d : all) {
        if (d.kind == DriveKind::Optical) {
            EXPECT_TRUE(d.device.startsWith(QStringLiteral("/dev/sr")));
            system.isReady(d.letter);
            system.isAudio(d.letter);
        }
    }
    EXPECT_FALSE(system.isReady('Y'));
    system.eject('Y');
    system.closeTray('Y');
}

} // namespace

namespace {

// ---- the machine's own platform, on files that stand in for devices ------------------------

QByteArray imageWith(qsizetype sector, const QByteArray &id, qsizetype size = 20 * 2048)
{
    QByteArray img(size, '\0');
    if (sector * 2048 + 1 + id.size() <= size)
        img.replace(sector * 2048 + 1, id.size(), id);
    return img;
}

TEST(SystemPlatform, FileSystemSignatureOnDiscImages)
{
    const QString dir = makeTempDir(QStringLiteral("images"));
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool found;
    } cases[] = {
        {"iso", imageWith(16, "CD001"), true},
        {"udf", imageWith(17, "NSR03"), true},
        {"udf-bea", imageWith(16, "BEA01"), true},
        {"blank", imageWith(16, "XXXXX"), false},
        {"too-far", imageWith(20, "CD001", 40 * 2048), false}, // only the first sectors count
        {"short", imageWith(16, "CD001").left(16 * 2048 + 3), false},
        {"empty", QByteArray(), false},
    };
    LinuxPlatform *platform = systemLinuxPlatform();
    for (const auto &c : cases) {
        const QString path = dir + QLatin1Char('/') + QString::fromLatin1(c.name);
        writeFile(path, c.bytes);
        EXPECT_EQ(platform->hasFileSystemSignature(path), c.found) << c.name;
    }
    EXPECT_FALSE(platform->hasFileSystemSignature(dir + QStringLiteral("/missing")));
}

TEST(SystemPlatform, DevicesThatAreNoDrivesAnswerUnknown)
{
    LinuxPlatform *platform = systemLinuxPlatform();
    const QString file = makeTempDir(QStringLiteral("nodev")) + QStringLiteral("/plain");
    writeFile(file, "x");
    for (const QString &path : {file, QStringLiteral("/dev/null"), QStringLiteral("/dev/sr99")}) {
        EXPECT_EQ(platform->driveStatus(path), -1) << path.toStdString();
        EXPECT_EQ(platform->discStatus(path), -1) << path.toStdString();
        EXPECT_FALSE(platform->ioctlEject(path));
        EXPECT_FALSE(platform->ioctlCloseTray(path));
    }
    const QString link = file + QStringLiteral(".link");
    ASSERT_TRUE(QFile::link(file, link));
    EXPECT_EQ(platform->canonicalDevice(link), QFileInfo(file).canonicalFilePath());
    EXPECT_EQ(platform->canonicalDevice(QStringLiteral("/dev/sr99")), QStringLiteral("/dev/sr99"));
    EXPECT_TRUE(platform->udevProperties(QStringLiteral("sr99")).isEmpty());
}

} // namespace
