#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Autostart.h"

#include <QFile>
#include <QFileInfo>

#include <ostream>

using ambrytest::readFile;
using ambrytest::writeFile;

namespace {

class Autostart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(ambrytest::makeTempDir(QStringLiteral("cfg"))));
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_saved); }

    static QString entryText() { return QString::fromUtf8(readFile(autostartEntryPath())); }

private:
    QByteArray m_saved;
};

} // namespace

TEST(ExecQuoting, OneArgument)
{
    const struct
    {
        const char *arg, *quoted;
    } cases[] = {
        {"/usr/bin/ambrylog", "/usr/bin/ambrylog"},
        {"tag", "tag"},
        {"", "\"\""},
        {"/opt/My Apps/ambrylog", "\"/opt/My Apps/ambrylog\""},
        {"a\"b", "\"a\\\"b\""},
        {"$HOME", "\"\\$HOME\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"`x`", "\"\\`x\\`\""},
        {"it's", "\"it's\""},
        {"100%", "100%%"},
        {"100% done", "\"100%% done\""},
        {"a;b|c&d<e>f~g*h?i#j(k)l", "\"a;b|c&d<e>f~g*h?i#j(k)l\""},
        {"tab\there", "\"tab\there\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(quoteExecArg(QString::fromUtf8(c.arg)), QString::fromUtf8(c.quoted)) << c.arg;
}

TEST(ExecQuoting, FileValueDoublesEveryQuotingBackslash)
{
    const QStringList args{QStringLiteral("/opt/My \"Apps\" $HOME x/ambrylog"),
                           QStringLiteral("--db=/data/100% done"), QStringLiteral("it's a `test`")};
    const QString line = QStringLiteral("\"/opt/My \\\\\"Apps\\\\\" \\\\$HOME x/ambrylog\" "
                                        "\"--db=/data/100%% done\" \"it's a \\\\`test\\\\`\"");
    EXPECT_EQ(execLineFor(args), line);
    bool ok = false;
    EXPECT_EQ(splitExecLine(line, &ok), args);
    EXPECT_TRUE(ok);
}

TEST(ExecQuoting, SplitsWhatOthersWrite)
{
    const struct
    {
        const char *line;
        QStringList args;
        bool ok;
    } cases[] = {
        {"ambrylog", {QStringLiteral("ambrylog")}, true},
        {"  ambrylog   tag  ", {QStringLiteral("ambrylog"), QStringLiteral("tag")}, true},
        {"ambrylog %U", {QStringLiteral("ambrylog")}, true},              // field codes expand to nothing
        {"ambrylog \"\"", {QStringLiteral("ambrylog"), QString()}, true}, // an empty argument stays
        {"\"/a b/x\"tag", {QStringLiteral("/a b/xtag")}, true},           // quotes end inside one argument
        {"\"/open quote", {QStringLiteral("/open quote")}, false},
        {"\"\\s\"", {QStringLiteral(" ")}, true}, // the general escape for a blank, inside quotes
    };
    for (const auto &c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(splitExecLine(QString::fromUtf8(c.line), &ok), c.args) << c.line;
        EXPECT_EQ(ok, c.ok) << c.line;
    }
}

TEST_F(Autostart, CommandSurvivesTheRoundTrip)
{
    const char *const paths[] = {
        "/usr/bin/ambrylog",         "/opt/My Tools/ambrylog",
        "/opt/\"quoted\"/ambrylog",  "/opt/back\\slash\\/ambrylog",
        "/opt/$HOME/$(id)/ambrylog", "/opt/`uname`/it's/ambrylog",
        "/opt/100% sure/ambrylog",   "/opt/new\nline/tab\there/ambrylog",
        "/opt/Ärger 東京/ambrylog",
    };
    for (const char *p : paths) {
        const QString command = QLatin1Char('"') + QString::fromUtf8(p) + QStringLiteral("\" tag");
        ASSERT_TRUE(writeAutostartCommand(command)) << p;
        EXPECT_EQ(readAutostartCommand(), command) << p;
        // The Exec line is one line of the file, and the file stays a desktop entry.
        const QStringList lines = entryText().split(QLatin1Char('\n'));
        EXPECT_EQ(lines.front(), QStringLiteral("[Desktop Entry]"));
        EXPECT_EQ(lines.filter(QStringLiteral("Exec=")).size(), 1) << p;
    }
    // A percent sign in the program path goes through env, which launchers find.
    writeAutostartCommand(QStringLiteral("\"/opt/100%/ambrylog\" tag"));
    EXPECT_TRUE(entryText().contains(QStringLiteral("Exec=/usr/bin/env /opt/100%%/ambrylog tag\n")));
    // Without arguments.
    writeAutostartCommand(QStringLiteral("\"/usr/bin/ambrylog\""));
    EXPECT_EQ(readAutostartCommand(), QStringLiteral("\"/usr/bin/ambrylog\""));
}

TEST_F(Autostart, WritesAPlainEntry)
{
    ASSERT_TRUE(writeAutostartCommand(QStringLiteral("\"/opt/My Tools/ambrylog\" tag")));
    EXPECT_EQ(autostartEntryPath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/ambrylog.desktop"));
    EXPECT_EQ(entryText(), QStringLiteral("[Desktop Entry]\n"
                                          "Type=Application\n"
                                          "Name=Ambrylog\n"
                                          "Comment=Catalog of optical discs\n"
                                          "Exec=\"/opt/My Tools/ambrylog\" tag\n"
                                          "Terminal=false\n"
                                          "X-GNOME-Autostart-enabled=true\n"));
}

TEST_F(Autostart, HiddenOrSwitchedOffEntriesReadAsEmpty)
{
    const struct
    {
        const char *content;
        const char *command;
    } cases[] = {
        {"[Desktop Entry]\nExec=/usr/bin/ambrylog tag\n", "\"/usr/bin/ambrylog\" tag"},
        {"[Desktop Entry]\nExec=/usr/bin/ambrylog tag\nHidden=true\n", ""},
        {"[Desktop Entry]\nHidden=false\nExec = /usr/bin/ambrylog tag\n", "\"/usr/bin/ambrylog\" tag"},
        {"[Desktop Entry]\nExec=/usr/bin/ambrylog tag\nX-GNOME-Autostart-enabled=false\n", ""},
        {"[Desktop Entry]\nType=Application\n", ""},
        {"[Other Group]\nExec=/usr/bin/other\n[Desktop Entry]\nExec=/x\n", "\"/x\""},
        {"[Desktop Entry]\r\nExec=\"/a b/ambrylog\" tag\r\n", "\"/a b/ambrylog\" tag"},
        {"", ""},
    };
    for (const auto &c : cases) {
        writeFile(autostartEntryPath(), c.content);
        EXPECT_EQ(readAutostartCommand(), QString::fromUtf8(c.command)) << c.content;
    }
}

TEST_F(Autostart, Removal)
{
    EXPECT_EQ(readAutostartCommand(), QString());
    EXPECT_FALSE(removeAutostartEntry());
    ASSERT_TRUE(writeAutostartCommand(QStringLiteral("\"/usr/bin/ambrylog\" tag")));
    EXPECT_TRUE(removeAutostartEntry());
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
    EXPECT_EQ(readAutostartCommand(), QString());
}

TEST_F(Autostart, UnwritableFolderReportsFailure)
{
    const QString file = ambrytest::makeTempDir(QStringLiteral("blk")) + QStringLiteral("/file");
    writeFile(file, "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(file));
    EXPECT_FALSE(writeAutostartCommand(QStringLiteral("\"/usr/bin/ambrylog\" tag")));
    EXPECT_EQ(readAutostartCommand(), QString());
}
