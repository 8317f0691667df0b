#include <gtest/gtest.h>

#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "drives/FolderDrives.h"
#include "drives/ReadDeviceList.h"
#include "drives/testing/FakeDriveSystem.h"
#include "helper_drivetest.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"

#include <QDir>

namespace {

class ReadDevices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fake.addFixedDrive('C');
        setDriveSystemForTesting(&fake);
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
        clearFolderDrives();
        gVars().readDeviceLetter = 0;
    }
    void TearDown() override
    {
        setDriveSystemForTesting(nullptr);
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
        clearFolderDrives();
        gVars().readDeviceLetter = 0;
    }

    static QString captions(const ReadDeviceList &list)
    {
        QStringList out;
        for (const ReadDeviceRow &r : list.rows())
            out << r.caption() + (r.marked ? QStringLiteral("*") : QString());
        return out.join(QLatin1Char(' '));
    }

    FakeDriveSystem fake;
};

} // namespace

TEST_F(ReadDevices, RowsAreTheCdDvdDrivesFromAToZWithTheMarkerOnTheReadDevice)
{
    fake.addOpticalDrive('F', QStringLiteral("/dev/sr2"));
    fake.addFolderDrive('Q', QStringLiteral("/srv/stick"));
    fake.addOpticalDrive('D');
    fake.setVolumeLabel('D', QStringLiteral("HOLIDAY 2004"));
    ReadDeviceList list;
    const struct
    {
        char readDevice;
        const char *expect;
    } table[] = {
        {'f', "D:\\ F:\\* Q:\\"}, // the stored letter's case does not matter
        {'Q', "D:\\ F:\\ Q:\\*"},
        {'C', "D:\\ F:\\ Q:\\"}, // not a CD/DVD drive: nothing is marked
        {0, "D:\\ F:\\ Q:\\"},
    };
    for (const auto &row : table) {
        list.fill(row.readDevice);
        EXPECT_EQ(captions(list), QString::fromLatin1(row.expect)) << int(row.readDevice);
        EXPECT_EQ(list.chosenLetter(), row.readDevice == 'f' ? 'F' : row.readDevice == 'Q' ? 'Q' : 0);
    }
    EXPECT_EQ(list.rows().at(0).where, QStringLiteral("/dev/sr0 \u2013 HOLIDAY 2004"));
    EXPECT_EQ(list.rows().at(1).where, QStringLiteral("/dev/sr2"));
    EXPECT_EQ(list.rows().at(2).where, QStringLiteral("/srv/stick"));
    EXPECT_FALSE(list.rows().at(0).folderDrive);
    EXPECT_TRUE(list.rows().at(2).folderDrive);

    fake.removeDrive('D');
    fake.removeDrive('F');
    fake.removeDrive('Q');
    list.fill('D');
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.markedRow(), -1);
    EXPECT_EQ(list.chosenLetter(), 0);
}

TEST_F(ReadDevices, TheMarkerMovesToOneRowOnly)
{
    fake.addOpticalDrive('D');
    fake.addOpticalDrive('E');
    fake.addFolderDrive('Z', QStringLiteral("/mnt/iso"));
    ReadDeviceList list;
    list.fill('D');
    list.setDefault(2);
    EXPECT_EQ(captions(list), QStringLiteral("D:\\ E:\\ Z:\\*"));
    EXPECT_EQ(list.chosenLetter(), 'Z');
    list.setDefault(1);
    EXPECT_EQ(captions(list), QStringLiteral("D:\\ E:\\* Z:\\"));
    list.setDefault(3); // no such row
    list.setDefault(-1);
    EXPECT_EQ(captions(list), QStringLiteral("D:\\ E:\\* Z:\\"));
}

TEST_F(ReadDevices, TheWindowStartsWithTheStoredLetterElseTheFirstCdDvdDrive)
{
    fake.addOpticalDrive('E');
    fake.addOpticalDrive('G');
    const struct
    {
        const char *stored; // nullptr: absent
        char expect;
    } table[] = {
        {nullptr, 'E'}, {"", 'E'},  {"  ", 'E'}, {"g", 'G'},
        {" G: ", 'G'},  {"X", 'X'}, {"?", 'E'},  {"7x", 'E'},
    };
    for (const auto &row : table) {
        if (row.stored)
            WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QString::fromLatin1(row.stored));
        else
            DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
        EXPECT_EQ(ReadDeviceList::initialReadDevice(), row.expect) << (row.stored ? row.stored : "(absent)");
    }
    fake.removeDrive('E');
    fake.removeDrive('G');
    DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
    EXPECT_EQ(ReadDeviceList::initialReadDevice(), 0);
}

TEST_F(ReadDevices, FreeLettersAreTakenFromZDownward)
{
    EXPECT_EQ(folderdrives::firstFreeLetter(), 'Z');
    fake.addFolderDrive('Z', QStringLiteral("/a"));
    fake.addOpticalDrive('Y');
    EXPECT_EQ(folderdrives::firstFreeLetter(), 'X');
    for (char c = 'A'; c <= 'Z'; ++c)
        if (c != 'C')
            fake.addFolderDrive(c, QStringLiteral("/b"));
    EXPECT_EQ(folderdrives::firstFreeLetter(), 0);
}

TEST_F(ReadDevices, UnbindingTheReadDeviceLeavesNone)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("stick"));
    ASSERT_TRUE(folderdrives::bind('Q', folder).bound);
    ASSERT_TRUE(folderdrives::bind('R', folder).bound);
    WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QStringLiteral("q"));
    gVars().readDeviceLetter = 'Q';

    EXPECT_TRUE(folderdrives::unbind('R'));
    EXPECT_EQ(gVars().readDeviceLetter, 'Q') << "another letter keeps the read device";
    EXPECT_EQ(ReadSetting(RegKey::V, RegName::DefaultDeviceDrive), QStringLiteral("q"));

    EXPECT_TRUE(folderdrives::unbind('Q'));
    EXPECT_EQ(gVars().readDeviceLetter, 0);
    EXPECT_TRUE(ReadSetting(RegKey::V, RegName::DefaultDeviceDrive).isEmpty());
    EXPECT_TRUE(ReadSetting(RegKey::Drives, QStringLiteral("Q")).isEmpty());
    EXPECT_FALSE(folderdrives::unbind('Q')) << "nothing was bound any more";
}

TEST_F(ReadDevices, BindingStoresTheCleanAbsoluteFolder)
{
    const QString folder = ambrytest::makeTempDir(QStringLiteral("image"));
    const folderdrives::BindOutcome out = folderdrives::bind('W', folder + QStringLiteral("/./"));
    EXPECT_TRUE(out.bound) << out.error.toStdString();
    EXPECT_EQ(out.folder, QDir::cleanPath(folder));
    EXPECT_EQ(ReadSetting(RegKey::Drives, QStringLiteral("W")), QDir::cleanPath(folder));
    fake.addOpticalDrive('D');
    const folderdrives::BindOutcome refused = folderdrives::bind('D', folder);
    EXPECT_FALSE(refused.bound);
    EXPECT_EQ(refused.error,
              QStringLiteral("D is the optical drive /dev/sr0 and cannot be bound to a folder"));
}
