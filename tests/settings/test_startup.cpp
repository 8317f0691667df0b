#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/Startup.h"
#include "settings/gRegistry.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ostream>

namespace {

// Each test points the data and config homes at fresh folders and restores them after.
class Startup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_data = qgetenv("XDG_DATA_HOME");
        m_config = qgetenv("XDG_CONFIG_HOME");
        m_dataHome = ambrytest::makeTempDir(QStringLiteral("data"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(ambrytest::makeTempDir(QStringLiteral("config"))));
        gVars() = AppVars();
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", m_data);
        qputenv("XDG_CONFIG_HOME", m_config);
        gVars() = AppVars();
    }

    // A path below a regular file: no one, not even root, can create a folder there.
    static QString blockedPath()
    {
        const QString file = ambrytest::makeTempDir(QStringLiteral("blocked")) + QStringLiteral("/file");
        ambrytest::writeFile(file, "x");
        return file + QStringLiteral("/home");
    }

    QString m_dataHome;

private:
    QByteArray m_data, m_config;
};

} // namespace

TEST_F(Startup, EstablishesProgramDataAndCatalogFolders)
{
    QString error = QStringLiteral("untouched");
    ASSERT_TRUE(establishFolders(&error));
    EXPECT_EQ(error, QStringLiteral("untouched"));
    EXPECT_EQ(gVars().programFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_EQ(gVars().dataFolder, m_dataHome + QStringLiteral("/Brightfen/Ambrylog/"));
    EXPECT_EQ(gVars().catalogFolder, m_dataHome + QStringLiteral("/Brightfen/Ambrylog/Archive/"));
    EXPECT_TRUE(QFileInfo(gVars().catalogFolder).isDir());
    // A second start finds everything in place.
    EXPECT_TRUE(establishFolders(&error));
    // Establishing folders writes no setting.
    EXPECT_FALSE(QFileInfo::exists(settingsFilePath()));
}

TEST_F(Startup, DataFolderThatCannotBeCreatedStopsTheStart)
{
    qputenv("XDG_DATA_HOME", QFile::encodeName(blockedPath()));
    QString error;
    EXPECT_FALSE(establishFolders(&error));
    EXPECT_EQ(error, QStringLiteral("Cannot establish Roaming Application Data folder!"));
    EXPECT_EQ(gVars().dataFolder, QString());
    EXPECT_EQ(gVars().catalogFolder, QString());
    EXPECT_FALSE(establishFolders(nullptr));
}

TEST_F(Startup, NoDataHomeStopsTheStart)
{
    const QByteArray home = qgetenv("HOME");
    qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", QFile::encodeName(blockedPath()));
    QString error;
    EXPECT_FALSE(establishFolders(&error));
    EXPECT_EQ(error, kNoDataFolderMessage);
    qputenv("HOME", home);
}

TEST_F(Startup, CatalogFolderFailureIsNotReportedAtStart)
{
    ambrytest::writeFile(m_dataHome + QStringLiteral("/Brightfen/Ambrylog/Archive"), "a file in the way");
    QString error;
    EXPECT_TRUE(establishFolders(&error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(QFileInfo(gVars().catalogFolder).isDir());
}

TEST_F(Startup, ProgramLocationIsRecorded)
{
    writeProgramLocation();
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("ProgramLocation")),
              QCoreApplication::applicationFilePath());
}
