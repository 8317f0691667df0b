#include <gtest/gtest.h>

#include "util/gUtils.h"

#include <QDate>
#include <QLocale>

#include <cstdlib>
#include <limits>

namespace {

// Sizes and counts are shown with the user's separators; the expectations use "," and ".".
class EnglishLocale : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

struct SizeCase
{
    qint64 bytes;
    const char *text;
};

} // namespace

TEST_F(EnglishLocale, FormatFileSizeThresholdsAndRounding)
{
    const SizeCase cases[] = {
        {0, "Zero Bytes"},
        {1, "1 Bytes"},
        {999, "999 Bytes"},
        {-1, "-1 Bytes"},
        {-5000, "-5000 Bytes"}, // negative counts never reach a unit
        {1000, "0.98 KB"},
        {1024, "1.00 KB"},
        {1152, "1.13 KB"}, // 1.125: half away from zero
        {999999, "976.56 KB"},
        {1000000, "0.95 MB"},
        {1048576, "1.00 MB"},
        {Q_INT64_C(999999999), "953.67 MB"},
        {Q_INT64_C(1000000000), "0.93 GB"},
        {Q_INT64_C(999999999999), "931.32 GB"},
        {Q_INT64_C(1000000000000), "0.91 TB"},
        {Q_INT64_C(1) << 50, "1,024.00 TB"},
        {std::numeric_limits<qint64>::max(), "8,388,608.00 TB"},
    };
    for (const SizeCase &c : cases)
        EXPECT_EQ(FormatFileSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST_F(EnglishLocale, CountOfTakesTheNounInTheNumberItNeeds)
{
    const struct
    {
        qint64 n;
        const char *text;
    } cases[] = {{0, "0 archives"},
                 {1, "1 archive"},
                 {2, "2 archives"},
                 {1234, "1,234 archives"},
                 {-1, "-1 archives"}};
    for (const auto &c : cases)
        EXPECT_EQ(countOf(c.n, "archive", "archives"), QString::fromLatin1(c.text)) << c.n;
}

TEST_F(EnglishLocale, FormatGroupedNumber)
{
    const SizeCase cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {1234567, "1,234,567"},
        {-1234, "-1,234"},
        {std::numeric_limits<qint64>::max(), "9,223,372,036,854,775,807"},
        {std::numeric_limits<qint64>::min(), "-9,223,372,036,854,775,808"},
    };
    for (const SizeCase &c : cases)
        EXPECT_EQ(FormatGroupedNumber(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

TEST(Formatting, FollowsTheLocaleSeparators)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatFileSize(1152), QStringLiteral("1,13 KB"));
    EXPECT_EQ(FormatFileSize(Q_INT64_C(1) << 50), QStringLiteral("1.024,00 TB"));
    EXPECT_EQ(FormatGroupedNumber(1234567), QStringLiteral("1.234.567"));
    // The C locale normally omits group separators; the sizes still group.
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(FormatGroupedNumber(1234567), QStringLiteral("1,234,567"));
    QLocale::setDefault(QLocale::system());
}

TEST(Formatting, YearRange)
{
    EXPECT_EQ(YearRangeText(2005, 2026), QStringLiteral("2005-2026"));
    EXPECT_EQ(YearRangeText(2026, 2026), QStringLiteral("2026"));
    EXPECT_EQ(YearRangeText(2030, 2026), QStringLiteral("2030"));
    const int now = QDate::currentDate().year();
    EXPECT_EQ(YearRangeText(now), QString::number(now));
    EXPECT_EQ(YearRangeText(now - 1), QString::number(now - 1) + QLatin1Char('-') + QString::number(now));
}

TEST(Paths, TrailingSeparators)
{
    const struct
    {
        const char *in, *backslash, *slash;
    } cases[] = {
        {"", "", ""},
        {"C:\\", "C:\\", "C:\\/"},
        {"C:\\data", "C:\\data\\", "C:\\data/"},
        {"/", "/\\", "/"},
        {"/home/u", "/home/u\\", "/home/u/"},
        {"/home/u/", "/home/u/\\", "/home/u/"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(AddTrailingBackslash(QString::fromLatin1(c.in)), QString::fromLatin1(c.backslash)) << c.in;
        EXPECT_EQ(AddTrailingSlash(QString::fromLatin1(c.in)), QString::fromLatin1(c.slash)) << c.in;
    }
}

TEST(Paths, DiscRelativeFolder)
{
    const struct
    {
        const char *root, *folder, *line;
    } cases[] = {
        {"/media/u/DISC/", "/media/u/DISC/", "\\"},
        {"/media/u/DISC/", "/media/u/DISC", "\\"},
        {"/media/u/DISC/", "/media/u/DISC/Music/", "Music"},
        {"/media/u/DISC/", "/media/u/DISC/Music/Rock/", "Music\\Rock"},
        {"/media/u/DISC/", "/media/u/DISC/Music/Rock", "Music\\Rock"},
        {"/media/u/DISC/", "/media/u/DISC/ Old /", " Old "}, // only the blank check trims
        {"/media/u/DISC/", "/media/u/DISC/  /", "  "},       // a folder named by blanks is no root
        {"/media/u/DISC", "/media/u/DISC/A/B/", "A\\B"},     // root given without its "/"
        {"/", "/etc/x/", "etc\\x"},
        {"/media/u/DISC/", "/media/u/DISC2/x/", "media\\u\\DISC2\\x"}, // a neighbour is not below the root
    };
    for (const auto &c : cases)
        EXPECT_EQ(DiscRelativeFolder(QString::fromUtf8(c.root), QString::fromUtf8(c.folder)),
                  QString::fromUtf8(c.line))
            << c.folder;

    // The drive-letter form.
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\")), QStringLiteral("\\"));
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\Music\\")), QStringLiteral("Music"));
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\Music\\Rock\\")), QStringLiteral("Music\\Rock"));
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\A\\\\")), QStringLiteral("A\\")); // loses exactly one
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\\t")), QStringLiteral("\\"));
    EXPECT_EQ(DiscRelativeFolder(QStringLiteral("E:\\ \r\n")),
              QStringLiteral("\\")); // blanks and controls only
}

TEST(Paths, RoamingFolderFromEnvironment)
{
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    const QByteArray savedHome = qgetenv("HOME");

    qputenv("XDG_DATA_HOME", "/x/data/");
    EXPECT_EQ(GetRoamingAppDataFolder(), QStringLiteral("/x/data"));
    qputenv("XDG_DATA_HOME", "relative/data"); // ignored by the base-directory rules
    qputenv("HOME", "/home/someone/");
    EXPECT_EQ(GetRoamingAppDataFolder(), QStringLiteral("/home/someone/.local/share"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(GetRoamingAppDataFolder(), QStringLiteral("/home/someone/.local/share"));
    // Without HOME the password database answers; the result is never relative.
    qunsetenv("HOME");
    const QString fromPasswd = GetRoamingAppDataFolder();
    EXPECT_TRUE(fromPasswd.isEmpty() || fromPasswd.startsWith(QLatin1Char('/'))) << fromPasswd.toStdString();

    qputenv("HOME", "/");
    EXPECT_EQ(GetRoamingAppDataFolder(), QStringLiteral("/.local/share"));

    qputenv("XDG_DATA_HOME", savedData);
    qputenv("HOME", savedHome);
}

TEST(Paths, ConfigHomeFromEnvironment)
{
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "/x/cfg//");
    EXPECT_EQ(GetConfigHomeFolder(), QStringLiteral("/x/cfg"));
    qputenv("XDG_CONFIG_HOME", "");
    qputenv("HOME", "/home/\xc3\xa4 b");
    EXPECT_EQ(GetConfigHomeFolder(), QStringLiteral("/home/\u00e4 b/.config"));
    qputenv("XDG_CONFIG_HOME", savedConfig);
    qputenv("HOME", savedHome);
}

TEST(Drives, LetterFromVolumeMask)
{
    const struct
    {
        quint32 mask;
        quint16 flags;
        const char *letter;
    } cases[] = {
        {1u << 4, VolumeNoticeMediaFlag, "E:"},
        {(1u << 3) | (1u << 5), VolumeNoticeMediaFlag, "F:"}, // highest letter wins
        {1u << 0, VolumeNoticeMediaFlag, "A:"},
        {1u << 25, VolumeNoticeMediaFlag | 0x2, "Z:"},
        {(1u << 26) | (1u << 31), VolumeNoticeMediaFlag, ""}, // beyond Z
        {0, VolumeNoticeMediaFlag, ""},
        {1u << 4, 0, ""}, // not about media
        {1u << 4, 0x2, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DriveLetterFromVolumeMask({c.mask, c.flags}), QString::fromLatin1(c.letter)) << c.mask;
}

TEST(Scramble, LowersEachByteByPositionPlus88)
{
    const QByteArray plain("Hello, disc!");
    const QByteArray scrambled = ScrambleText(plain);
    EXPECT_EQ(quint8(scrambled[0]), quint8('H' + 88));
    EXPECT_EQ(quint8(scrambled[1]), quint8('e' + 89));
    EXPECT_EQ(UnscrambleText(scrambled), plain);
    // Wrap-around modulo 256, and positions past 167 lower by more than 255.
    QByteArray longText(300, char(0x10));
    EXPECT_EQ(UnscrambleText(ScrambleText(longText)), longText);
    EXPECT_EQ(quint8(UnscrambleText(QByteArray(1, char(0x00)))[0]), quint8(256 - 88));
    EXPECT_EQ(UnscrambleText(QString::fromLatin1(scrambled)), QString::fromLatin1(plain));
}
