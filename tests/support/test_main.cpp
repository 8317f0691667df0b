#include "TestSupport.h"
#include "util/gui/WindowKeys.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

// Every test process gets its own HOME and XDG folders, so no test can read or write the
// user's real settings, catalog or autostart entries.
int main(int argc, char **argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/ambry-test-XXXXXX"));
    if (!sandbox.isValid())
        return 2;
    const QByteArray root = QFile::encodeName(sandbox.path());
    for (const char *sub : {"config", "data", "cache", "state", "run"})
        QDir().mkpath(sandbox.filePath(QString::fromLatin1(sub)));
    QFile::setPermissions(sandbox.filePath(QStringLiteral("run")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto set = [&root](const char *name, const char *sub) {
        const QByteArray value = sub ? QByteArray(root + '/' + sub) : root;
        setenv(name, value.constData(), 1);
    };
    set("HOME", nullptr);
    set("XDG_CONFIG_HOME", "config");
    set("XDG_DATA_HOME", "data");
    set("XDG_CACHE_HOME", "cache");
    set("XDG_STATE_HOME", "state");
    set("XDG_RUNTIME_DIR", "run");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");

    QApplication app(argc, argv);
    // The program's own keyboard habits, as the program installs them at start.
    windowkeys::install(app);
    QCoreApplication::setOrganizationName(QStringLiteral("Brightfen"));
    QCoreApplication::setApplicationName(QStringLiteral("Ambrylog"));
    ambrytest::setSandboxRoot(sandbox.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
