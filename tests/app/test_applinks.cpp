#include "TestSupport.h"

#include "app/gui/AppLinks.h"
#include "settings/gVars.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QUrl>

// Where the program looks for its manual: beside the executable in a build tree, and in
// share/ambrylog of an installed tree (wherever its prefix is).
TEST(AppLinks, TheManualIsFoundInABuildTreeAndAnInstalledTree)
{
    const QString saved = gVars().programFolder;
    const QString build = ambrytest::makeTempDir(QStringLiteral("buildtree")) + QStringLiteral("/app/exe/");
    const QString prefix = ambrytest::makeTempDir(QStringLiteral("prefix"));
    ambrytest::writeFile(build + QStringLiteral("manual.html"), "<html/>");
    ambrytest::writeFile(prefix + QStringLiteral("/share/ambrylog/manual.html"), "<html/>");
    QDir().mkpath(prefix + QStringLiteral("/bin"));

    gVars().programFolder = build;
    EXPECT_EQ(links::manualPath(), QDir::cleanPath(build + QStringLiteral("manual.html")));
    gVars().programFolder = prefix + QStringLiteral("/bin/");
    EXPECT_EQ(links::manualPath(), QDir::cleanPath(prefix + QStringLiteral("/share/ambrylog/manual.html")));
    EXPECT_EQ(QUrl(links::manualUrl(links::HelpAnchor)).fragment(), links::HelpAnchor);
    EXPECT_TRUE(QUrl(links::manualUrl(links::HelpAnchor)).isLocalFile());
    gVars().programFolder = saved;
}
