#include "TestSupport.h"

#include "app/SingleInstance.h"
#include "settings/gRegistry.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

namespace {

// The desktop program built next to the tests.
QString programPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../app/exe/ambrylog"));
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition())
            return true;
        QTest::qWait(20);
    }
    return condition();
}

TEST(EntrySequence, SecondStartHandsOverAndLeavesEverythingUntouched)
{
    const QString program = programPath();
    if (!QFileInfo(program).isExecutable())
        GTEST_SKIP() << "the program is not built: " << program.toStdString();

    // No welcome window in the way.
    WriteSetting(RegKey::S, QStringLiteral("MsgThanx"), QStringLiteral("T"));
    DeleteSetting(RegKey::V, QStringLiteral("ProgramLocation"));
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString catalog = dataHome + QStringLiteral("/Brightfen/Ambrylog/Archive");
    QDir(dataHome + QStringLiteral("/Brightfen")).removeRecursively();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("ambrylog.main.info=true"));

    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const SingleInstance probe;
    // Generous waits: a sanitized build starting on a loaded machine takes its time.
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(probe.socketPath()); }, 30000));

    // The first start established the folders (just after it began to listen) and recorded
    // where it runs from.
    EXPECT_TRUE(waitFor([&] { return QFileInfo(catalog).isDir(); }, 15000));
    EXPECT_TRUE(
        waitFor([] { return !ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")).isEmpty(); }, 15000));
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")),
              QFileInfo(program).canonicalFilePath());

    // A second start ends at once with 0 and touches no setting.
    DeleteSetting(RegKey::V, QStringLiteral("ProgramLocation"));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {QStringLiteral("tag")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")).isEmpty());

    // The running copy heard it and is still there.
    // Kept whole: a line may come in two reads.
    QByteArray said;
    EXPECT_TRUE(waitFor(
        [&] {
            said += first.readAll();
            return said.contains("asked the running copy to come forward");
        },
        15000))
        << said.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(5000);

    // A copy killed without cleaning up does not keep the next start from running.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(program, {});
    ASSERT_TRUE(third.waitForStarted(5000));
    EXPECT_TRUE(
        waitFor([] { return !ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")).isEmpty(); }, 30000));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.kill();
    third.waitForFinished(5000);
}

} // namespace
