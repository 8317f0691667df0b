#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kName = QStringLiteral("Ambrylog");
const char *const kChildDirVar = "AMBRY_SINGLE_INSTANCE_DIR";

QString freshRuntimeDir()
{
    return ambrytest::makeTempDir(QStringLiteral("run"));
}

} // namespace

// Run as a child process by SecondStartActivatesTheFirst: a second start of the program.
TEST(SingleInstanceChild, SecondStart)
{
    const QString dir = qEnvironmentVariable(kChildDirVar);
    if (dir.isEmpty())
        GTEST_SKIP() << "only run as a child";
    SingleInstance instance(kName, dir);
    EXPECT_EQ(instance.start(5000), SingleInstance::Role::Secondary);
    EXPECT_TRUE(instance.activationDelivered());
}

TEST(SingleInstance, SecondStartActivatesTheFirst)
{
    const QString dir = freshRuntimeDir();
    SingleInstance first(kName, dir);
    ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(first.isListening());
    EXPECT_TRUE(QFileInfo::exists(first.socketPath()));
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildDirVar), dir);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SingleInstanceChild.SecondStart")});
    ASSERT_TRUE(child.waitForStarted(5000));
    // Keep this copy's event loop running while the child talks to it.
    EXPECT_TRUE(activated.wait(15000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(activated.count(), 1);
}

TEST(SingleInstance, CrashedCopyDoesNotBlockTheNextStart)
{
    const QString dir = freshRuntimeDir();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SingleInstance crashed(kName, dir);
        const bool primary = crashed.start() == SingleInstance::Role::Primary;
        _exit(primary && crashed.isListening() ? 0 : 1); // no clean-up: lock and socket stay
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    SingleInstance next(kName, dir);
    ASSERT_TRUE(QFileInfo::exists(next.lockPath()));
    ASSERT_TRUE(QFileInfo::exists(next.socketPath()));
    EXPECT_EQ(next.start(500), SingleInstance::Role::Primary);
    EXPECT_TRUE(next.isListening());
}

TEST(SingleInstance, LeftoverSocketFileIsReplaced)
{
    const QString dir = freshRuntimeDir();
    SingleInstance probe(kName, dir);
    ambrytest::writeFile(probe.socketPath(), "stale");
    SingleInstance first(kName, dir);
    EXPECT_EQ(first.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(first.isListening());
}

TEST(SingleInstance, OnlyTheActivationMessageActivates)
{
    const QString dir = freshRuntimeDir();
    SingleInstance first(kName, dir);
    ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    for (const QByteArray &junk :
         {QByteArray("HELLO\n"), QByteArray("ACTIVATE 0x1401\n"), QByteArray(4096, 'x')}) {
        QLocalSocket client;
        client.connectToServer(first.socketPath());
        ASSERT_TRUE(client.waitForConnected(2000));
        client.write(junk);
        client.flush();
        QTest::qWait(100);
    }
    EXPECT_EQ(activated.count(), 0);

    QLocalSocket client;
    client.connectToServer(first.socketPath());
    ASSERT_TRUE(client.waitForConnected(2000));
    client.write("ACTIVATE 0x1400\n");
    client.flush();
    EXPECT_TRUE(activated.wait(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return client.canReadLine(); }, 5000));
    EXPECT_EQ(client.readLine(), QByteArray("OK\n"));
}

TEST(SingleInstance, SecondCopyGivesUpWhenTheFirstDoesNotAnswer)
{
    const QString dir = freshRuntimeDir();
    SingleInstance first(kName, dir);
    ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
    // The first copy's event loop does not run while the second one waits.
    SingleInstance second(kName, dir);
    EXPECT_EQ(second.start(300), SingleInstance::Role::Secondary);
    EXPECT_FALSE(second.activationDelivered());
}

TEST(SingleInstance, UnusableRuntimeFolderStillStarts)
{
    const QString file = ambrytest::makeTempDir(QStringLiteral("blocked")) + QStringLiteral("/file");
    ambrytest::writeFile(file, "x");
    SingleInstance first(kName, file + QStringLiteral("/run"));
    EXPECT_EQ(first.start(), SingleInstance::Role::Primary);
    EXPECT_FALSE(first.isListening());
}

TEST(SingleInstance, DefaultsToTheRuntimeFolder)
{
    SingleInstance instance;
    EXPECT_EQ(instance.socketPath(),
              qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Ambrylog.socket"));
    EXPECT_EQ(instance.lockPath(),
              qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Ambrylog.lock"));
}
