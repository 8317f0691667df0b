// A real disc image: ISO 9660 with Joliet and Rock Ridge names, made with xorriso and mounted
// through FUSE with fuseiso, bound as a folder drive and added to the catalog.
#include "DiscImages.h"
#include "helper_tree.h"
#include "scan/AddDiscSession.h"

#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "catalog/Checksum.h"
#include "catalog/ProgramCatalog.h"
#include "drives/HostageFile.h"
#include "drives/gDrives.h"
#include "settings/gRegistry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <map>

#include <sys/stat.h>

using namespace scantest;
using namespace ambrytest;

namespace {

const QString kLetter = QStringLiteral("M");

// What the mounted tree shows, in the order it lists it, as records.
QByteArray recordsOfMountedTree(const std::string &root, const std::string &relative, qint64 *files,
                                qint64 *folders)
{
    QByteArray out;
    std::vector<std::string> subfolders;
    const QByteArray line = filerecord::folderLine(QByteArray::fromStdString(relative));
    for (const std::string &name : listed(root + relative)) {
        struct stat st;
        EXPECT_EQ(::lstat((root + relative + name).c_str(), &st), 0);
        if (S_ISDIR(st.st_mode)) {
            ++*folders;
            subfolders.push_back(name);
            continue;
        }
        ++*files;
        out += record(line, QByteArray::fromStdString(name), st.st_size,
                      filerecord::packLocalTime(st.st_mtim.tv_sec));
    }
    for (const std::string &name : subfolders)
        out += recordsOfMountedTree(root, relative + name + "/", files, folders);
    return out;
}

class IsoDiscTest : public ::testing::Test
{
protected:
    void TearDown() override { DeleteSetting(RegKey::Drives, kLetter); }
};

} // namespace

TEST_F(IsoDiscTest, AMountedDiscImageIsAddedAsItsTreeShowsIt)
{
    if (const QString why = cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();

    const std::string src = newRoot("isosrc");
    const time_t t2008 = localMoment(2008, 5, 14, 10, 20, 30);
    makeFile(src + "readme.txt", 1234, t2008);
    makeFile(src + "old 1975.txt", 75, localMoment(1975, 7, 4, 12, 0, 0));
    makeFolder(src + "M\xc3\xbcsik");
    makeFolder(src + "M\xc3\xbcsik/\xc3\x89"
                     "b\xc3\xa8ne");
    makeFile(src + "M\xc3\xbcsik/\xc3\x89"
                   "b\xc3\xa8ne/caf\xc3\xa9 no 1.mp3",
             4321987, t2008 + 60);
    makeFolder(src + "Docs");
    makeFolder(src + "Docs/2009");
    makeFolder(src + "Docs/2009/Q1");
    makeFile(src + "Docs/2009/Q1/report.pdf", 99999, t2008 + 120);
    makeFile(src + "Docs/notes.txt", 10, t2008 + 180);
    makeFolder(src + "Empty");
    setTime(src + "M\xc3\xbcsik", t2008);

    const QString base = ambrytest::makeTempDir(QStringLiteral("iso"));
    const QString image = base + QStringLiteral("/disc.iso");
    const QString made = makeImage(src, image,
                                   {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-R"),
                                    QStringLiteral("-J"), QStringLiteral("-V"), QStringLiteral("TEST DISC")});
    ASSERT_TRUE(made.isEmpty()) << made.toStdString();

    FuseMount mount;
    if (const QString why = mount.mount(image); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString mountPoint = mount.point();

    // Bind a folder drive to the mount point and add the disc in it.
    WriteSetting(RegKey::Drives, kLetter, mountPoint);
    ASSERT_EQ(GetDriveTypeName(kLetter), QStringLiteral("CD/DVD ROM"));
    const QString catalog = ambrytest::makeTempDir(QStringLiteral("isocatalog")) + QLatin1Char('/');
    AddDiscSession session('M', catalog::Catalog(catalog, catalog::settingsNumberStore()),
                           settingsHostageFile());
    ASSERT_FALSE(session.checkAudioDisc());
    ASSERT_EQ(session.scan(), AddDiscSession::Outcome::MarkEntry);

    qint64 files = 0;
    qint64 folders = 0;
    const std::string root = QFile::encodeName(mountPoint).toStdString();
    const QByteArray expected = recordsOfMountedTree(root, "", &files, &folders);
    EXPECT_EQ(session.walker().records(), expected);
    EXPECT_EQ(files, 5);
    EXPECT_EQ(folders, 6);
    // Rock Ridge keeps the names and times as they were on the source tree.
    const QByteArray &r = session.walker().records();
    EXPECT_TRUE(r.contains("M\xc3\xbcsik\\\xc3\x89"
                           "b\xc3\xa8ne\r\ncaf\xc3\xa9 no 1.mp3\r\n4321987\r\n"));
    EXPECT_TRUE(r.contains("\r\nold 1975.txt\r\n75\r\n2162688\r\n"));
    EXPECT_TRUE(r.contains("Docs\\2009\\Q1\r\nreport.pdf\r\n99999\r\n"));

    ASSERT_EQ(session.save(QStringLiteral("Test disc"), QStringLiteral("Drawer"), QString()),
              AddDiscSession::SaveResult::Saved);
    const QString path = session.savedPath();
    EXPECT_EQ(path, catalog + checksumOfBytes(expected) + QStringLiteral(".dat"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("AFiles")), QStringLiteral("5"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ADirs")), QStringLiteral("6"));
    EXPECT_EQ(ReadArchiveValue(path, QStringLiteral("ASize")), QStringLiteral("4423305"));

    // The same disc again is recognised.
    AddDiscSession again('M', catalog::Catalog(catalog, catalog::settingsNumberStore()),
                         settingsHostageFile());
    EXPECT_EQ(again.scan(), AddDiscSession::Outcome::AlreadyArchived);
    EXPECT_EQ(again.existingMark(), QStringLiteral("Test disc"));
}
