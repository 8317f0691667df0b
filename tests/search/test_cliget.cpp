// ambrylog-cli get from end to end: a catalog, folder drives bound through the settings as
// "drives bind" binds them, and the real drive layer watching them.

#include "helper_archives.h"

#include "CliRun.h"
#include "DiscImages.h"
#include "TestSupport.h"
#include "drives/DriveSystem.h"
#include "scan/cliAdd.h"
#include "search/ImageRetrieval.h"
#include "search/cliGet.h"
#include "settings/SettingsNames.h"
#include "settings/gRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace searchtest;

namespace {

using ambrytest::CliRun;

Fields marked(const QByteArray &mark)
{
    Fields f;
    f.mark = mark;
    return f;
}

void bindQ(const QString &folder)
{
    WriteSetting(RegKey::Drives, QStringLiteral("Q"), folder);
}

class CliGet : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setDriveSystemForTesting(nullptr);
        catalog = ambrytest::makeTempDir(QStringLiteral("catalog"));
        writeArchive(
            catalog, QStringLiteral("7.dat"),
            {{"\\", "readme.txt", "6"}, {"Music\\Rock", "song.mp3", "4"}, {"Music\\Rock", "gone.mp3"}},
            marked("CD 7"));
        disc = ambrytest::makeTempDir(QStringLiteral("disc"));
        ambrytest::writeFile(disc + QStringLiteral("/readme.txt"), "readme");
        ambrytest::writeFile(disc + QStringLiteral("/Music/Rock/song.mp3"), "song");
        other = ambrytest::makeTempDir(QStringLiteral("other"));
        ambrytest::writeFile(other + QStringLiteral("/Music/Rock/other.mp3"), "other");
        empty = ambrytest::makeTempDir(QStringLiteral("empty"));
        out = ambrytest::makeTempDir(QStringLiteral("out"));
        DeleteSetting(RegKey::V, RegName::HostageFile);
        WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QStringLiteral("Q"));
    }
    void TearDown() override
    {
        DeleteSetting(RegKey::Drives, QStringLiteral("Q"));
        DeleteSetting(RegKey::V, RegName::DefaultDeviceDrive);
    }

    CliRun get(QStringList args)
    {
        args << QStringLiteral("--to") << out;
        return ambrytest::runCommand(getCommand(), catalog, args);
    }
    QStringList outFiles() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QString catalog, disc, other, empty, out;
};

TEST_F(CliGet, AFileOnTheReadDeviceIsCopiedAndNeverReplaced)
{
    bindQ(disc);
    struct Row
    {
        QString mark, path, copied;
        QByteArray bytes;
    };
    const Row rows[] = {
        {QStringLiteral(" cd 7 "), QStringLiteral("Music\\Rock\\song.mp3"), QStringLiteral("song.mp3"),
         "song"},
        {QStringLiteral("CD 7"), QStringLiteral("readme.txt"), QStringLiteral("readme.txt"), "readme"},
    };
    for (const Row &row : rows) {
        const CliRun r = get({row.mark, row.path});
        EXPECT_EQ(r.code, CliGetCopied) << r.err.toStdString();
        EXPECT_EQ(r.out, out + QLatin1Char('/') + row.copied + QLatin1Char('\n'));
        EXPECT_EQ(ambrytest::readFile(out + QLatin1Char('/') + row.copied), row.bytes);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    // Same files by other spellings of their paths: they are there already.
    for (const QString &path : {QStringLiteral("Music/Rock/song.mp3"), QStringLiteral("/readme.txt"),
                                QStringLiteral("\\readme.txt")}) {
        ambrytest::writeFile(out + QStringLiteral("/song.mp3"), "mine");
        const CliRun r = get({QStringLiteral("cd 7"), path});
        EXPECT_EQ(r.code, CliGetError) << path.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("already exists"))) << r.err.toStdString();
        EXPECT_EQ(ambrytest::readFile(out + QStringLiteral("/song.mp3")), "mine");
    }
    EXPECT_EQ(outFiles(), QStringList({QStringLiteral("readme.txt"), QStringLiteral("song.mp3")}))
        << "no temporary file left behind";
}

// The file on the disc is not as it was catalogued: it is the file asked for, so it is copied,
// and the user is told.
TEST_F(CliGet, AFileWhoseSizeChangedIsCopiedWithAWord)
{
    bindQ(disc);
    ambrytest::writeFile(disc + QStringLiteral("/readme.txt"), "readme, longer");
    const CliRun r = get({QStringLiteral("CD 7"), QStringLiteral("readme.txt")});
    EXPECT_EQ(r.code, CliGetCopied) << r.err.toStdString();
    EXPECT_EQ(ambrytest::readFile(out + QStringLiteral("/readme.txt")), "readme, longer");
    EXPECT_TRUE(r.err.contains(QStringLiteral("the file has 14 bytes, the catalog says 6")))
        << r.err.toStdString();
}

// Added with add --image, a disc gives its files back from the image with no read device and
// no wait; once the image is gone, it is asked for by its mark.
TEST_F(CliGet, AFileComesBackOutOfTheImageItWasAddedFrom)
{
    if (const QString why = ambrytest::cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QString image = ambrytest::imageOf(QFile::encodeName(disc).toStdString());
    ASSERT_FALSE(image.isEmpty());
    const CliRun added = ambrytest::runCommand(
        addCommand(), catalog,
        {QStringLiteral("--image"), image, QStringLiteral("--mark"), QStringLiteral("Image 1")});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    WriteSetting(RegKey::V, RegName::DefaultDeviceDrive, QStringLiteral("Z")); // no such drive

    const CliRun r = get({QStringLiteral("Image 1"), QStringLiteral("Music/Rock/song.mp3")});
    EXPECT_EQ(r.code, CliGetCopied) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(ambrytest::readFile(out + QStringLiteral("/song.mp3")), "song");
    EXPECT_TRUE(QDir(imageretrieval::copiesFolder()).isEmpty()) << "the passing copy is gone";

    ASSERT_TRUE(QFile::rename(image, image + QStringLiteral(".moved")));
    const CliRun gone = get({QStringLiteral("Image 1"), QStringLiteral("readme.txt")});
    EXPECT_EQ(gone.code, CliGetError);
    EXPECT_TRUE(gone.err.contains(QStringLiteral("there is no read device"))) << gone.err.toStdString();
}

TEST_F(CliGet, ADiscArrivingWhileWaitingIsUsed)
{
    // The read device is bound to an empty folder (a drive without a disc) and then to the disc.
    bindQ(empty);
    QObject guard;
    QTimer::singleShot(300, &guard, [this] { bindQ(disc); });
    QElapsedTimer clock;
    clock.start();
    const CliRun r = get({QStringLiteral("CD 7"), QStringLiteral("Music/Rock/song.mp3"),
                          QStringLiteral("--wait"), QStringLiteral("20")});
    EXPECT_EQ(r.code, CliGetCopied) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("Insert CD/DVD marked: CD 7\n"));
    EXPECT_EQ(ambrytest::readFile(out + QStringLiteral("/song.mp3")), "song");
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(CliGet, NoFileNoDiscOrNoSuchRecord)
{
    struct Row
    {
        const char *what;
        QString bound; // what the read device holds
        QString mark, path;
        int code;
        QString err;
    };
    const Row rows[] = {
        {"a disc without the file", other, QStringLiteral("CD 7"), QStringLiteral("Music/Rock/song.mp3"),
         CliGetWrongDisc,
         QStringLiteral("Insert CD/DVD marked: CD 7\nambrylog-cli get: You inserted wrong CD/DVD.\n")},
        {"the file is catalogued but gone from the disc", disc, QStringLiteral("CD 7"),
         QStringLiteral("Music/Rock/gone.mp3"), CliGetWrongDisc,
         QStringLiteral("Insert CD/DVD marked: CD 7\nambrylog-cli get: You inserted wrong CD/DVD.\n")},
        {"no disc arrives", empty, QStringLiteral("CD 7"), QStringLiteral("Music/Rock/song.mp3"),
         CliGetTimedOut,
         QStringLiteral("Insert CD/DVD marked: CD 7\nambrylog-cli get: no disc arrived within 1 s\n")},
        {"unknown mark", disc, QStringLiteral("CD 8"), QStringLiteral("readme.txt"), CliGetNotCatalogued,
         QStringLiteral("ambrylog-cli get: no archive has the mark 'CD 8'\n")},
        {"unknown name", disc, QStringLiteral("CD 7"), QStringLiteral("Music/Rock/nope.mp3"),
         CliGetNotCatalogued,
         QStringLiteral("ambrylog-cli get: the disc marked 'CD 7' has no file 'Music/Rock/nope.mp3'\n")},
        {"name in another folder", disc, QStringLiteral("CD 7"), QStringLiteral("Music\\song.mp3"),
         CliGetNotCatalogued,
         QStringLiteral("ambrylog-cli get: the disc marked 'CD 7' has no file 'Music\\song.mp3'\n")},
    };
    for (const Row &row : rows) {
        bindQ(row.bound);
        QElapsedTimer clock;
        clock.start();
        const CliRun r = get({row.mark, row.path, QStringLiteral("--wait"), QStringLiteral("1")});
        EXPECT_EQ(r.code, row.code) << row.what;
        EXPECT_EQ(r.err, row.err) << row.what;
        EXPECT_LT(clock.elapsed(), 5000) << row.what;
        if (row.code == CliGetTimedOut) {
            EXPECT_GE(clock.elapsed(), 900) << row.what;
        }
    }
    EXPECT_TRUE(outFiles().isEmpty());
}

TEST_F(CliGet, WrongCommandLines)
{
    bindQ(disc);
    EXPECT_EQ(get({QStringLiteral("CD 7"), QStringLiteral("readme.txt"), QStringLiteral("--wait"),
                   QStringLiteral("-1")})
                  .code,
              CliUsage);
    EXPECT_EQ(get({QStringLiteral("  "), QStringLiteral("readme.txt")}).code, CliUsage);
    EXPECT_EQ(get({QStringLiteral("CD 7"), QStringLiteral("Music/")}).code, CliUsage);
    out = empty + QStringLiteral("/missing");
    EXPECT_EQ(get({QStringLiteral("CD 7"), QStringLiteral("readme.txt")}).code, CliGetError);
}

} // namespace
