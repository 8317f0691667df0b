#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Settings.h"

#include <QFile>

#include <optional>

namespace {

const QString kKey = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\Test");

// Puts raw lines into the test key, as a user's file may hold them.
void storeRaw(const char *lines)
{
    ambrytest::writeFile(settingsFilePath(),
                         QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                                    "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\Test]\r\n") +
                             lines);
}

std::optional<QString> stored(const QString &name)
{
    return ReadSettingIfPresent(kKey, name);
}

class TypedSettings : public ::testing::Test
{
protected:
    void SetUp() override { QFile::remove(settingsFilePath()); }
    void TearDown() override { QFile::remove(settingsFilePath()); }
};

} // namespace

TEST_F(TypedSettings, ReadsEachTypeFromItsStoredText)
{
    storeRaw("\"On\"=\"T\"\r\n"
             "\"Other\"=\"F\"\r\n"
             "\"Empty\"=\"\"\r\n"
             "\"Num\"=\" 42 \"\r\n"
             "\"Neg\"=\"-7\"\r\n"
             "\"Word\"=\"4x\"\r\n"
             "\"Dword\"=dword:00000001\r\n"
             "\"Text\"=\"E\"\r\n");
    const QString notText = QStringLiteral("Invalid data type for 'Dword'");
    const QString notNumber = QStringLiteral("'Word' is not a number");
    const struct
    {
        const char *name;
        bool switchOffByDefault; // what a switch whose default is false reads
        int number;              // int with the default 5
        std::optional<int> optional;
        QString text; // text with the default "d"
        QString problem;
        QString numberProblem;
    } cases[] = {
        // Any non-empty text sets a switch; an empty one reads as absent.
        {"On", true, 5, std::nullopt, QStringLiteral("T"), {}, QStringLiteral("'On' is not a number")},
        {"Other", true, 5, std::nullopt, QStringLiteral("F"), {}, QStringLiteral("'Other' is not a number")},
        {"Empty", false, 5, std::nullopt, QStringLiteral("d"), {}, {}},
        {"Missing", false, 5, std::nullopt, QStringLiteral("d"), {}, {}},
        {"Num", true, 42, 42, QStringLiteral(" 42 "), {}, {}},
        {"Neg", true, -7, -7, QStringLiteral("-7"), {}, {}},
        {"Word", true, 5, std::nullopt, QStringLiteral("4x"), {}, notNumber},
        // A value that is not text reads as the default and says why.
        {"Dword", false, 5, std::nullopt, QStringLiteral("d"), notText, notText},
    };
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name);
        QString problem = QStringLiteral("stale");
        EXPECT_EQ(settings::get(settings::Setting<bool>{kKey, name, false}, &problem), c.switchOffByDefault)
            << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
        EXPECT_EQ(settings::get(settings::Setting<bool>{kKey, name, true}), !c.switchOffByDefault) << c.name;
        EXPECT_EQ(settings::get(settings::Setting<int>{kKey, name, 5}, &problem), c.number) << c.name;
        EXPECT_EQ(problem, c.numberProblem) << c.name;
        EXPECT_EQ(settings::get(settings::Setting<std::optional<int>>{kKey, name}), c.optional) << c.name;
        EXPECT_EQ(settings::get(settings::Setting<QString>{kKey, name, QStringLiteral("d")}, &problem),
                  c.text)
            << c.name;
        EXPECT_EQ(problem, c.problem) << c.name;
    }
}

TEST_F(TypedSettings, WritesTheTextItHasAlwaysStored)
{
    const settings::Setting<bool> onByDefault{kKey, QStringLiteral("OnByDefault"), true};
    const settings::Setting<bool> offByDefault{kKey, QStringLiteral("OffByDefault"), false};
    // A switch holds "T" only for the state that is not its default.
    settings::set(onByDefault, false);
    settings::set(offByDefault, true);
    EXPECT_EQ(stored(onByDefault.name), QStringLiteral("T"));
    EXPECT_EQ(stored(offByDefault.name), QStringLiteral("T"));
    settings::set(onByDefault, true);
    settings::set(offByDefault, false);
    EXPECT_EQ(stored(onByDefault.name), std::nullopt);
    EXPECT_EQ(stored(offByDefault.name), std::nullopt);

    settings::set(settings::Setting<int>{kKey, QStringLiteral("Count")}, -12);
    EXPECT_EQ(stored(QStringLiteral("Count")), QStringLiteral("-12"));
    // The empty text is a value of its own (it clears the hostage file).
    const settings::Setting<QString> text{kKey, QStringLiteral("Text")};
    settings::set(text, QString());
    EXPECT_EQ(stored(text.name), QString());
    EXPECT_TRUE(settings::remove(text));
    EXPECT_FALSE(settings::remove(text));
}

TEST_F(TypedSettings, EveryValueKeepsItsStoredPlace)
{
    const QString v = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\V");
    const QString s = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\S");
    const QString wp = QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\S\\wp");
    const struct
    {
        QString key, name;
        QString actualKey, actualName;
    } places[] = {
        {v, QStringLiteral("ProgramLocation"), settings::ProgramLocation.key, settings::ProgramLocation.name},
        {v, QStringLiteral("DefaultDeviceDrive"), settings::DefaultDeviceDrive.key,
         settings::DefaultDeviceDrive.name},
        {v, QStringLiteral("LastArchiveNumber"), settings::LastArchiveNumber.key,
         settings::LastArchiveNumber.name},
        {v, QStringLiteral("HostageFile"), settings::HostageFile.key, settings::HostageFile.name},
        {v, QStringLiteral("frmArchive_ViewStyle"), settings::ArchiveViewStyle.key,
         settings::ArchiveViewStyle.name},
        {s, QStringLiteral("PromptOnExit"), settings::PromptOnExit.key, settings::PromptOnExit.name},
        {s, QStringLiteral("StartUpRunMinimized"), settings::StartUpRunMinimized.key,
         settings::StartUpRunMinimized.name},
        {s, QStringLiteral("Ssti"), settings::Ssti.key, settings::Ssti.name},
        {s, QStringLiteral("Sitb"), settings::Sitb.key, settings::Sitb.name},
        {s, QStringLiteral("MsgThanx"), settings::MsgThanx.key, settings::MsgThanx.name},
        {QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"), QStringLiteral("Ambrylog"),
         settings::RunEntry.key, settings::RunEntry.name},
        {wp, QStringLiteral("frmSearch-m"), settings::placementMaximised(wp, QStringLiteral("frmSearch")).key,
         settings::placementMaximised(wp, QStringLiteral("frmSearch")).name},
        {wp, QStringLiteral("frmMain-l"), wp, settings::placementLeft(wp, QStringLiteral("frmMain")).name},
        {wp, QStringLiteral("frmMain-t"), wp, settings::placementTop(wp, QStringLiteral("frmMain")).name},
        {wp, QStringLiteral("frmMain-w"), wp, settings::placementWidth(wp, QStringLiteral("frmMain")).name},
        {wp, QStringLiteral("frmMain-h"), wp, settings::placementHeight(wp, QStringLiteral("frmMain")).name},
        {QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\Drives"), QStringLiteral("K"),
         settings::folderDrive('K').key, settings::folderDrive('K').name},
    };
    for (const auto &p : places) {
        EXPECT_EQ(p.actualKey, p.key) << qPrintable(p.name);
        EXPECT_EQ(p.actualName, p.name);
    }
    // The defaults a user who never touched a switch gets.
    EXPECT_TRUE(settings::PromptOnExit.fallback);
    EXPECT_TRUE(settings::StartUpRunMinimized.fallback);
    EXPECT_TRUE(settings::Ssti.fallback);
    EXPECT_FALSE(settings::Sitb.fallback);
    EXPECT_FALSE(settings::MsgThanx.fallback);
    EXPECT_EQ(settings::LastArchiveNumber.fallback, 0);
}
