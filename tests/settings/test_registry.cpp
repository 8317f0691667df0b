#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Autostart.h"
#include "settings/cliSettings.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QElapsedTimer>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ostream>

using ambrytest::readFile;
using ambrytest::writeFile;

namespace {

class Registry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(ambrytest::makeTempDir(QStringLiteral("config"))));
        takeSettingsNotice();
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_savedConfig); }

    static QString settingsDir() { return QFileInfo(settingsFilePath()).absolutePath(); }
    static QStringList corruptCopies()
    {
        return QDir(settingsDir()).entryList({QStringLiteral("settings.reg.corrupt-*")}, QDir::Files);
    }
    static QString fileText() { return QString::fromUtf8(readFile(settingsFilePath())); }

private:
    QByteArray m_savedConfig;
};

const QString kName = QStringLiteral("HostageFile");

} // namespace

TEST_F(Registry, LivesInTheConfigHome)
{
    EXPECT_EQ(settingsFilePath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Brightfen/Ambrylog/settings.reg"));
}

TEST_F(Registry, TextsSurviveTheRoundTrip)
{
    const QString texts[] = {
        QStringLiteral("T"),
        QString(),
        QStringLiteral("  blanks at both ends  "),
        QStringLiteral("C:\\Music\\\"quoted\"\\"),
        QStringLiteral("\"=\"\\\"; [HKEY_CURRENT_USER\\x]"),
        QStringLiteral("Ärger über ß 東京 \U0001F4BF"),
        QStringLiteral(
            "line one\nline two\r\n[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S]\n\"Ssti\"=\"T\""),
        QStringLiteral("tab\there"),
        QString(200, QLatin1Char('\n')), // wraps over several hex lines
        QStringLiteral("/media/u/DISC/$(id) `x` 100%"),
    };
    for (const QString &t : texts) {
        WriteSetting(RegKey::V, kName, t);
        EXPECT_EQ(ReadSetting(RegKey::V, kName), t) << t.toStdString();
    }
    // A line break in a value never makes a key or value of its own.
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Ssti")), QString());
    // An unpaired surrogate is kept exactly too.
    const QString broken = QStringLiteral("a") + QChar(char16_t(0xD800)) + QStringLiteral("b");
    WriteSetting(RegKey::V, kName, broken);
    EXPECT_EQ(ReadSetting(RegKey::V, kName), broken);
}

TEST_F(Registry, WritesARegistryExport)
{
    WriteSetting(RegKey::V, QStringLiteral("ProgramLocation"), QStringLiteral("/opt/a \"b\"\\c"));
    WriteSetting(RegKey::S, QStringLiteral("Ssti"), QStringLiteral("T"));
    WriteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"), QStringLiteral("12"));
    EXPECT_EQ(fileText(), QStringLiteral("Windows Registry Editor Version 5.00\n"
                                         "\n"
                                         "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n"
                                         "\"ProgramLocation\"=\"/opt/a \\\"b\\\"\\\\c\"\n"
                                         "\"LastArchiveNumber\"=\"12\"\n"
                                         "\n"
                                         "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S]\n"
                                         "\"Ssti\"=\"T\"\n"));
    // No temporary file is left behind; the lock file stays (the lock itself ends with each write).
    EXPECT_EQ(QDir(settingsDir()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("settings.reg"), QStringLiteral("settings.reg.lock")}));
}

TEST_F(Registry, KeysAndNamesIgnoreLetterCase)
{
    WriteSetting(RegKey::S, QStringLiteral("PromptOnExit"), QStringLiteral("T"));
    const QString lowerKey = QStringLiteral("\\software\\brightfen\\ambrylog\\s");
    EXPECT_EQ(ReadSetting(lowerKey, QStringLiteral("promptonexit")), QStringLiteral("T"));
    EXPECT_EQ(ReadSetting(QStringLiteral("SoftWare\\Brightfen\\Ambrylog\\S"), QStringLiteral("PROMPTONEXIT")),
              QStringLiteral("T"));
    WriteSetting(lowerKey, QStringLiteral("PROMPTONEXIT"), QStringLiteral("F"));
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("PromptOnExit")), QStringLiteral("F"));
    EXPECT_EQ(fileText().count(QStringLiteral("romptonexit"), Qt::CaseInsensitive), 1)
        << fileText().toStdString();
    // S and its sub-key S\wp are different keys.
    EXPECT_EQ(ReadSetting(RegKey::Wp, QStringLiteral("PromptOnExit")), QString());
}

TEST_F(Registry, EmptyValueAbsentValueAndDeletion)
{
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QString());
    EXPECT_FALSE(DeleteSetting(RegKey::V, kName));
    EXPECT_FALSE(QFileInfo::exists(settingsFilePath())) << "reading or deleting nothing creates no file";

    WriteSetting(RegKey::V, kName, QString());
    EXPECT_TRUE(fileText().contains(QStringLiteral("\"HostageFile\"=\"\"")));
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QString());
    EXPECT_TRUE(DeleteSetting(RegKey::V, kName)) << "an empty value still exists";
    EXPECT_FALSE(fileText().contains(QStringLiteral("HostageFile")));
    EXPECT_FALSE(DeleteSetting(RegKey::V, kName));

    WriteSetting(RegKey::V, kName, QStringLiteral("x"));
    EXPECT_FALSE(DeleteSetting(RegKey::S, kName)) << "another key";
    EXPECT_TRUE(DeleteSetting(RegKey::V, QStringLiteral("hostagefile")));
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QString());
}

TEST_F(Registry, TextEndsAtTheFirstNul)
{
    WriteSetting(RegKey::V, kName, QStringLiteral("abc") + QChar(0) + QStringLiteral("def"));
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QStringLiteral("abc"));
}

TEST_F(Registry, ValuesOfOtherKinds)
{
    writeFile(settingsFilePath(), "Windows Registry Editor Version 5.00\r\n"
                                  "\r\n"
                                  "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\r\n"
                                  "\"Count\"=dword:0000002a\r\n"
                                  "\"Blob\"=hex:01,02,\\\r\n"
                                  "  03,04\r\n"
                                  "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
                                  "\"Expand\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00,41,00\r\n"
                                  "\"Plain\"=hex(1):54,00,00,00\r\n"
                                  "\"Gone\"=-\r\n"
                                  "@=\"default\"\r\n");
    const struct
    {
        const char *name;
        const char *text; // nullptr: not text
    } cases[] = {
        {"Count", nullptr}, {"Blob", nullptr}, {"Multi", nullptr}, {"Expand", "%HOME%"},
        {"Plain", "T"},     {"Gone", ""},      {"", "default"},    {"Missing", ""},
    };
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.name);
        if (c.text) {
            EXPECT_EQ(ReadSetting(RegKey::V, name), QString::fromLatin1(c.text)) << c.name;
            continue;
        }
        try {
            ReadSetting(RegKey::V, name);
            ADD_FAILURE() << c.name << " read as text";
        } catch (const AmbryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid data type for '%1'").arg(name));
        }
    }
    // Overwriting a non-text value makes it text; the other values stay as they were.
    WriteSetting(RegKey::V, QStringLiteral("count"), QStringLiteral("7"));
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("Count")), QStringLiteral("7"));
    EXPECT_TRUE(fileText().contains(QStringLiteral("\"Blob\"=hex:01,02,\\\n  03,04\n")));
    EXPECT_TRUE(DeleteSetting(RegKey::V, QStringLiteral("Multi")));
    EXPECT_FALSE(DeleteSetting(RegKey::V, QStringLiteral("Gone")));
    EXPECT_TRUE(corruptCopies().isEmpty());
}

TEST_F(Registry, KeepsWhatItDoesNotKnow)
{
    const QByteArray original = "Windows Registry Editor Version 5.00\n"
                                "; kept by hand\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\SoftWare\\Brightfen\\Ambrylog\\V]\n"
                                "\"ProgramLocation\"=\"elsewhere\"\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\Future]\n"
                                "\"NewThing\"=dword:00000001\n"
                                "\"Text\"=\"odd \\q escape\"\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n"
                                "\"LastArchiveNumber\"=\"3\"\n"
                                "\n";
    writeFile(settingsFilePath(), original);
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")), QString()) << "other hive";
    EXPECT_EQ(ReadSetting(QStringLiteral("\\SoftWare\\Brightfen\\Ambrylog\\Future"), QStringLiteral("Text")),
              QStringLiteral("odd \\q escape"));

    WriteSetting(RegKey::V, QStringLiteral("ProgramLocation"), QStringLiteral("/usr/bin/ambrylog"));
    WriteSetting(RegKey::Wp, QStringLiteral("frmMain-l"), QStringLiteral("10"));
    const QString after = fileText();
    // Every original line is still there, in order, with the new value in the user's V key.
    QString expected = QString::fromUtf8(original);
    expected.replace(
        QStringLiteral("\"LastArchiveNumber\"=\"3\"\n"),
        QStringLiteral("\"LastArchiveNumber\"=\"3\"\n\"ProgramLocation\"=\"/usr/bin/ambrylog\"\n"));
    expected +=
        QStringLiteral("[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\S\\wp]\n\"frmMain-l\"=\"10\"\n");
    EXPECT_EQ(after, expected);
}

TEST_F(Registry, ReadsTheEditorsOwnUtf16Export)
{
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software\\Brightfen\\Ambrylog\\S]\r\n"
                                        "\"Sitb\"=\"T\"\r\n");
    QByteArray bytes("\xff\xfe", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    writeFile(settingsFilePath(), bytes);
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Sitb")), QStringLiteral("T"));
    WriteSetting(RegKey::S, QStringLiteral("Ssti"), QStringLiteral("T")); // rewritten as UTF-8
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Sitb")), QStringLiteral("T"));
    EXPECT_TRUE(fileText().startsWith(QStringLiteral("Windows Registry Editor Version 5.00\n")));
}

TEST_F(Registry, DamagedFilesAreMovedAsideOnce)
{
    const QByteArray damaged[] = {
        QByteArray("\x00\x01\x02garbage", 10),
        "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n\"HostageFile\"=\"unterminated\n",
        "just some text\n",
        "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n\"A\"=\"x\" trailing\n",
        "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n\"A\"=\"\xff\xfe\xfd\"\n", // not UTF-8
        "[HKEY_CURRENT_USER\\SoftWare\\Brightfen\\Ambrylog\\V]\n\"A\"=hex:01,\\\n",        // wrap at the end
    };
    for (const QByteArray &bytes : damaged) {
        for (const QString &old : corruptCopies())
            QFile::remove(settingsDir() + QLatin1Char('/') + old);
        writeFile(settingsFilePath(), bytes);

        EXPECT_EQ(ReadSetting(RegKey::V, kName), QString());
        EXPECT_FALSE(QFileInfo::exists(settingsFilePath()));
        const QStringList copies = corruptCopies();
        ASSERT_EQ(copies.size(), 1) << bytes.toStdString();
        EXPECT_EQ(readFile(settingsDir() + QLatin1Char('/') + copies.front()), bytes) << "nothing lost";
        const QString notice = takeSettingsNotice();
        EXPECT_TRUE(notice.contains(settingsDir() + QLatin1Char('/') + copies.front()))
            << notice.toStdString();
        EXPECT_EQ(takeSettingsNotice(), QString()) << "told once";
    }

    // A write over a damaged file keeps the damaged one aside and starts afresh.
    for (const QString &old : corruptCopies())
        QFile::remove(settingsDir() + QLatin1Char('/') + old);
    writeFile(settingsFilePath(), "garbage\n");
    WriteSetting(RegKey::S, QStringLiteral("Ssti"), QStringLiteral("T"));
    EXPECT_EQ(corruptCopies().size(), 1);
    EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("Ssti")), QStringLiteral("T"));
    EXPECT_FALSE(takeSettingsNotice().isEmpty());
}

TEST_F(Registry, AnUnusableFolderFailsSilently)
{
    const QString file = ambrytest::makeTempDir(QStringLiteral("blocked")) + QStringLiteral("/plain-file");
    writeFile(file, "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(file + QStringLiteral("/config"))); // below a regular file
    WriteSetting(RegKey::V, kName, QStringLiteral("lost"));
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QString());
    EXPECT_FALSE(DeleteSetting(RegKey::V, kName));
}

TEST_F(Registry, TwoWritersLoseNothing)
{
    constexpr int kWriters = 3;
    constexpr int kValues = 60;
    WriteSetting(RegKey::V, QStringLiteral("Before"), QStringLiteral("kept"));
    pid_t children[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            for (int i = 0; i < kValues; ++i)
                WriteSetting(RegKey::S, QStringLiteral("w%1-%2").arg(w).arg(i), QString::number(i * 7 + w));
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kValues; ++i)
            EXPECT_EQ(ReadSetting(RegKey::S, QStringLiteral("W%1-%2").arg(w).arg(i)),
                      QString::number(i * 7 + w));
    }
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("Before")), QStringLiteral("kept"));
    EXPECT_TRUE(corruptCopies().isEmpty());
}

TEST_F(Registry, WriterWaitsForTheLockHolder)
{
    WriteSetting(RegKey::V, QStringLiteral("First"), QStringLiteral("1"));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Holds the lock, then dies without releasing it.
        const int fd =
            ::open(QFile::encodeName(settingsFilePath() + QStringLiteral(".lock")).constData(), O_RDWR);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
        const char c = locked ? '1' : '0';
        (void)!::write(ready[1], &c, 1);
        ::usleep(300 * 1000);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    QElapsedTimer timer;
    timer.start();
    WriteSetting(RegKey::V, QStringLiteral("Second"), QStringLiteral("2"));
    EXPECT_GE(timer.elapsed(), 150) << "the write waited for the holder";
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("Second")), QStringLiteral("2"));
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("First")), QStringLiteral("1"));
    int status = 0;
    waitpid(pid, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(Registry, RunKeyIsTheAutostartEntry)
{
    const QString command = QStringLiteral("\"/opt/My \"Apps\" $HOME\\x/ambrylog\" tag");
    EXPECT_EQ(ReadSetting(RegKey::Run, QStringLiteral("Ambrylog")), QString());
    WriteSetting(RegKey::Run, QStringLiteral("Ambrylog"), command);
    EXPECT_TRUE(QFileInfo::exists(autostartEntryPath()));
    EXPECT_FALSE(QFileInfo::exists(settingsFilePath())) << "the start-up list is not in the settings file";
    EXPECT_EQ(ReadSetting(QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"),
                          QStringLiteral("ambrylog")),
              command);
    // Nothing else lives there.
    WriteSetting(RegKey::Run, QStringLiteral("Other"), QStringLiteral("x"));
    EXPECT_EQ(ReadSetting(RegKey::Run, QStringLiteral("Other")), QString());
    EXPECT_FALSE(DeleteSetting(RegKey::Run, QStringLiteral("Other")));

    EXPECT_TRUE(DeleteSetting(RegKey::Run, QStringLiteral("Ambrylog")));
    EXPECT_FALSE(QFileInfo::exists(autostartEntryPath()));
    EXPECT_FALSE(DeleteSetting(RegKey::Run, QStringLiteral("Ambrylog")));
    EXPECT_EQ(ReadSetting(RegKey::Run, QStringLiteral("Ambrylog")), QString());
}

TEST_F(Registry, CommandLineSetting)
{
    const auto run = [](const QStringList &args, std::string *out = nullptr) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = runCliCommand(settingCommand(), QString(), args);
        testing::internal::GetCapturedStderr();
        const std::string printed = testing::internal::GetCapturedStdout();
        if (out)
            *out = printed;
        return code;
    };
    EXPECT_EQ(cliSettingKey(QStringLiteral("s\\WP")), RegKey::Wp);
    EXPECT_EQ(cliSettingKey(QStringLiteral("\\Any\\Key")), QStringLiteral("\\Any\\Key"));
    EXPECT_EQ(cliSettingKey(QStringLiteral("X")), QString());

    EXPECT_EQ(run({QStringLiteral("set"), QStringLiteral("V"), QStringLiteral("DefaultDeviceDrive"),
                   QStringLiteral("E")}),
              0);
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("DefaultDeviceDrive")), QStringLiteral("E"));
    std::string out;
    EXPECT_EQ(run({QStringLiteral("get"), QStringLiteral("v"), QStringLiteral("defaultdevicedrive")}, &out),
              0);
    EXPECT_EQ(out, "E\n");
    EXPECT_EQ(run({QStringLiteral("delete"), QStringLiteral("V"), QStringLiteral("DefaultDeviceDrive")}), 0);
    EXPECT_EQ(run({QStringLiteral("delete"), QStringLiteral("V"), QStringLiteral("DefaultDeviceDrive")}), 1);
    // A value that is not there is not an empty line: exit 1, nothing printed; an empty one is.
    EXPECT_EQ(run({QStringLiteral("get"), QStringLiteral("V"), QStringLiteral("DefaultDeviceDrive")}, &out),
              1);
    EXPECT_EQ(out, "");
    WriteSetting(RegKey::V, QStringLiteral("Blank"), QString());
    EXPECT_EQ(run({QStringLiteral("get"), QStringLiteral("V"), QStringLiteral("Blank")}, &out), 0);
    EXPECT_EQ(out, "\n");
    DeleteSetting(RegKey::V, QStringLiteral("Blank"));
    EXPECT_EQ(run({QStringLiteral("get"), QStringLiteral("Nowhere"), QStringLiteral("x")}), 64);
    EXPECT_EQ(run({QStringLiteral("set"), QStringLiteral("V"), QStringLiteral("x")}), 64);
    EXPECT_EQ(run({}), 64);
}

namespace {

// Runs `ambrylog-cli setting ARGS` and gives back its exit code and standard error (through
// a pipe, so it works for any user and with any file size limit).
std::pair<int, QString> runSetting(const QStringList &args)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {-1, QString()};
    std::fflush(stderr);
    const int savedErr = ::dup(2);
    ::dup2(fds[1], 2);
    ::close(fds[1]);
    testing::internal::CaptureStdout();
    const int code = runCliCommand(settingCommand(), QString(), args);
    testing::internal::GetCapturedStdout();
    std::fflush(stderr);
    ::dup2(savedErr, 2);
    ::close(savedErr);
    QByteArray err;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        err.append(buf, n);
    ::close(fds[0]);
    return {code, QString::fromUtf8(err)};
}

} // namespace

// A key path or value name that would split its line or end a key's header early is refused
// with a reason; the file, and every setting in it, stays as it was.
TEST_F(Registry, NamesThatCannotBeStoredAreRefused)
{
    WriteSetting(RegKey::V, kName, QStringLiteral("kept"));
    const QByteArray before = readFile(settingsFilePath());
    const QString keyProblem = QStringLiteral("A key path cannot hold a line break, a NUL or \"]\".");
    const QString nameProblem = QStringLiteral("A value name cannot hold a line break, a NUL or \"]\".");
    const struct
    {
        QString key, name, problem;
    } cases[] = {
        {RegKey::V + QStringLiteral("\nX"), kName, keyProblem},
        {RegKey::V + QStringLiteral("\r"), kName, keyProblem},
        {RegKey::V + QStringLiteral("]"), kName, keyProblem},
        {RegKey::V + QChar(0) + QStringLiteral("x"), kName, keyProblem},
        {RegKey::V, QStringLiteral("a\nb"), nameProblem},
        {RegKey::V, QStringLiteral("a\rb"), nameProblem},
        {RegKey::V, QStringLiteral("a]b"), nameProblem},
        {RegKey::V, QStringLiteral("a") + QChar(0) + QStringLiteral("b"), nameProblem},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_FALSE(WriteSettingChecked(c.key, c.name, QStringLiteral("v"), &error)) << c.name.toStdString();
        EXPECT_EQ(error, c.problem);
        WriteSetting(c.key, c.name, QStringLiteral("v"));
        EXPECT_FALSE(DeleteSettingChecked(c.key, c.name, &error));
        EXPECT_EQ(error, c.problem);
    }
    EXPECT_EQ(
        runSetting({QStringLiteral("set"), QStringLiteral("V"), QStringLiteral("a]b"), QStringLiteral("v")}),
        std::make_pair(1,
                       QString(QStringLiteral("ambrylog-cli setting: ") + nameProblem + QLatin1Char('\n'))));
    EXPECT_EQ(readFile(settingsFilePath()), before);
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QStringLiteral("kept"));
    EXPECT_TRUE(corruptCopies().isEmpty());
    EXPECT_TRUE(takeSettingsNotice().isEmpty());

    // A name the file's encoding cannot carry (half of a surrogate pair) would come back
    // as another name: the text is checked before it replaces the file, and refused.
    QString error;
    EXPECT_FALSE(WriteSettingChecked(RegKey::V, QString(QChar(0xd800)), QStringLiteral("v"), &error));
    EXPECT_EQ(error, QStringLiteral("The settings would not read back as written; nothing was saved."));
    EXPECT_EQ(readFile(settingsFilePath()), before);
}

// When nothing could be saved the caller learns why, with the system's own reason; the file
// keeps what it held.
TEST_F(Registry, NothingSavedIsAnErrorWithTheRealReason)
{
    WriteSetting(RegKey::V, kName, QStringLiteral("kept"));
    const QByteArray before = readFile(settingsFilePath());
    const std::string folder = QFile::encodeName(settingsDir()).toStdString();

    // A full disk: a file size limit below the new file's size refuses the write the same way.
    const QString big(4000, QLatin1Char('x'));
    const ambrytest::ChildResult full = ambrytest::runInChild([&]() -> QByteArray {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(3);
        const auto [code, err] =
            runSetting({QStringLiteral("set"), QStringLiteral("V"), QStringLiteral("Big"), big});
        return QByteArray::number(code) + ' ' + err.toUtf8();
    });
    ASSERT_TRUE(full.exitedWith(0)) << full.status;
    EXPECT_TRUE(full.output.startsWith("1 ")) << full.output.toStdString();
    EXPECT_TRUE(full.output.contains("ambrylog-cli setting: Cannot create file"))
        << full.output.toStdString();
    EXPECT_TRUE(full.output.contains(std::strerror(EFBIG))) << full.output.toStdString();

    // A folder that may not be written: the lock can be taken but the new file not made; then
    // a lock file that may not be opened, whose reason the lock's message carries.
    ambrytest::openToOthers(folder);
    ::chmod(QFile::encodeName(settingsFilePath()).constData(), 0644);
    const QByteArray lockFile = QFile::encodeName(settingsFilePath() + QStringLiteral(".lock"));
    for (const mode_t lockMode : {mode_t(0644), mode_t(0600)}) {
        ASSERT_EQ(::chmod(lockFile.constData(), lockMode), 0);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        const ambrytest::ChildResult readOnly = ambrytest::runInChild([&]() -> QByteArray {
            const ambrytest::UnprivilegedFiles asUser;
            const auto [code, err] =
                runSetting({QStringLiteral("set"), QStringLiteral("V"), kName, QStringLiteral("lost")});
            return QByteArray::number(code) + ' ' + err.toUtf8();
        });
        ::chmod(folder.c_str(), 0755);
        ASSERT_TRUE(readOnly.exitedWith(0)) << readOnly.status;
        const QByteArray expected = lockMode == 0644 ? "ambrylog-cli setting: Cannot create file"
                                                     : "ambrylog-cli setting: Cannot lock the settings file";
        EXPECT_TRUE(readOnly.output.startsWith("1 ")) << readOnly.output.toStdString();
        EXPECT_TRUE(readOnly.output.contains(expected)) << readOnly.output.toStdString();
        EXPECT_TRUE(readOnly.output.contains(std::strerror(EACCES))) << readOnly.output.toStdString();
    }
    EXPECT_EQ(readFile(settingsFilePath()), before);
    EXPECT_TRUE(
        QDir(settingsDir()).entryList({QStringLiteral(".settings.reg.tmp-*")}, QDir::Hidden).isEmpty());
}

// A writer killed between writing its temporary file and the rename leaves that file behind;
// the next writer, holding the lock, clears it away.
TEST_F(Registry, AKilledWritersTemporaryFileIsRemovedByTheNextWriter)
{
    WriteSetting(RegKey::V, kName, QStringLiteral("one"));
    const QString stale = settingsDir() + QStringLiteral("/.settings.reg.tmp-Ab12Cd");
    writeFile(stale, "half a file");
    writeFile(settingsDir() + QStringLiteral("/.settings.reg.keep"), "not ours");
    WriteSetting(RegKey::V, kName, QStringLiteral("two"));
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(settingsDir() + QStringLiteral("/.settings.reg.keep")));
    EXPECT_EQ(ReadSetting(RegKey::V, kName), QStringLiteral("two"));
}
