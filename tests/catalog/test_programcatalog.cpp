#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/ProgramCatalog.h"
#include "settings/Startup.h"
#include "settings/gVars.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The data and config homes at fresh folders for one test, and back after it.
struct FreshHomes
{
    const QByteArray oldData = qgetenv("XDG_DATA_HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QString data = ambrytest::makeTempDir(QStringLiteral("data"));

    FreshHomes()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(ambrytest::makeTempDir(QStringLiteral("config"))));
        gVars() = AppVars();
    }
    ~FreshHomes()
    {
        qputenv("XDG_DATA_HOME", oldData);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        gVars() = AppVars();
    }
};

// A path below a regular file: no one, not even root, can create a folder there.
QString blockedPath()
{
    const QString file = ambrytest::makeTempDir(QStringLiteral("blocked")) + QStringLiteral("/file");
    ambrytest::writeFile(file, "x");
    return file + QStringLiteral("/home");
}

QString resolveCatalogFolder(const QString &cliArg)
{
    return catalog::commandLineCatalog(cliArg).folder();
}

} // namespace

TEST(ProgramCatalog, CatalogFolderForTheCommandLine)
{
    const FreshHomes homes;
    EXPECT_EQ(resolveCatalogFolder(QString()), homes.data + QStringLiteral("/Brightfen/Ambrylog/Archive/"));
    EXPECT_TRUE(QFileInfo(gVars().catalogFolder).isDir());

    const QString given = ambrytest::makeTempDir(QStringLiteral("cat")) + QStringLiteral("/new/../fresh");
    // A folder that is not there is an error, and is not made.
    EXPECT_THROW(resolveCatalogFolder(given), AmbryError);
    EXPECT_FALSE(QFileInfo::exists(given));
    ASSERT_TRUE(QDir().mkpath(given));
    const QString resolved = resolveCatalogFolder(given);
    EXPECT_EQ(resolved, QDir::cleanPath(given) + QLatin1Char('/'));
    EXPECT_EQ(gVars().catalogFolder, resolved);

    const QString old = QDir::currentPath();
    QDir::setCurrent(ambrytest::makeTempDir(QStringLiteral("cwd")));
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("rel")));
    EXPECT_EQ(resolveCatalogFolder(QStringLiteral("rel")), QDir::currentPath() + QStringLiteral("/rel/"));
    QDir::setCurrent(old);

    EXPECT_THROW(resolveCatalogFolder(blockedPath()), AmbryError);
    qputenv("XDG_DATA_HOME", QFile::encodeName(blockedPath()));
    try {
        resolveCatalogFolder(QString());
        ADD_FAILURE() << "no error";
    } catch (const AmbryError &e) {
        EXPECT_EQ(e.message(), kNoDataFolderMessage);
    }
}
