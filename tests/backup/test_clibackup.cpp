#include <gtest/gtest.h>

#include "CliRun.h"
#include "TestSupport.h"
#include "backup/cliBackup.h"
#include "helper_zips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using ambrytest::CliRun;

namespace {

CliRun run(const CliCommand &command, const QString &catalog, const QStringList &args)
{
    return ambrytest::runCommand(command, catalog, args);
}

} // namespace

TEST(BackupCli, CommandsAndExitCodes)
{
    // restore asks on a terminal; here standard input is never one.
    ASSERT_TRUE(std::freopen("/dev/null", "r", stdin));
    const QString dir = ambrytest::makeTempDir(QStringLiteral("cli"));
    const QString catalog = dir + QStringLiteral("/Archive");
    ziptest::writeTree(catalog,
                       {{QStringLiteral("1.dat"), ziptest::archiveBytes(QStringLiteral("CD 1"), 1)}});
    const QString zip = dir + QStringLiteral("/b.zip");
    const QString mixed = dir + QStringLiteral("/mixed.zip");
    ambrytest::writeFile(
        mixed, ziptest::makeZip({{"2.dat", ziptest::archiveBytes(QStringLiteral("CD 1"), 1, 2, "2")},
                                 {"readme.txt", "hello"}}));
    const QString hostile = dir + QStringLiteral("/hostile.zip");
    ambrytest::writeFile(hostile, ziptest::makeZip({{"../2.dat", "x"}}));

    CliRun r = run(backupCommand(), catalog, {zip});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("Backed up 1 archive to %1.\n").arg(zip));

    r = run(restoreCommand(), catalog, {zip});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--yes"))) << r.err.toStdString();
    EXPECT_EQ(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("Archive")});

    r = run(restoreCommand(), catalog, {zip, QStringLiteral("--yes")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("Restored 1 archive.\n"));

    r = run(mergeCommand(), catalog, {mixed});
    EXPECT_EQ(r.code, 3); // the text file is named as refused
    EXPECT_TRUE(r.out.contains(QStringLiteral("\"CD 1\" is now \"CD 1 (2)\""))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("readme.txt")));

    const ziptest::Tree before = ziptest::readTree(catalog);
    const std::pair<const CliCommand *, QStringList> refusing[] = {
        {&restoreCommand(), {hostile, QStringLiteral("--yes")}}, {&mergeCommand(), {hostile}}};
    for (const auto &[command, args] : refusing) {
        r = run(*command, catalog, args);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("\"..\""))) << r.err.toStdString();
    }
    EXPECT_EQ(ziptest::readTree(catalog), before);

    EXPECT_EQ(run(backupCommand(), catalog, {}).code, 64);
    EXPECT_EQ(run(mergeCommand(), catalog, {zip, zip}).code, 64);
    EXPECT_EQ(run(restoreCommand(), catalog, {zip, QStringLiteral("--no")}).code, 64);
}

TEST(BackupCli, WritesThroughALinkAndNeverReplacesWhatIsNoFile)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("cli"));
    const QString catalog = dir + QStringLiteral("/Archive");
    ziptest::writeTree(catalog,
                       {{QStringLiteral("1.dat"), ziptest::archiveBytes(QStringLiteral("CD 1"), 1)}});
    const auto at = [&](const char *name) -> QString { return dir + QLatin1Char('/') + QLatin1String(name); };
    ambrytest::writeFile(at("kept/b.zip"), "old");
    ASSERT_EQ(::symlink("kept/b.zip", QFile::encodeName(at("link.zip")).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", QFile::encodeName(at("null.zip")).constData()), 0);

    const struct
    {
        QString target;
        int code;
        const char *says; // on standard error
    } cases[] = {
        {at("link.zip"), 0, ""},
        {at("fifo"), 1, "it is a FIFO (named pipe), not a regular file; nothing was written."},
        {at("null.zip"), 1, "it is a character device, not a regular file; nothing was written."},
        {at("kept"), 1, "it is a folder, not a regular file; nothing was written."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        const CliRun r = run(backupCommand(), catalog, {c.target});
        EXPECT_EQ(r.code, c.code);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
    }
    EXPECT_TRUE(QFileInfo(at("link.zip")).isSymLink());
    EXPECT_TRUE(ambrytest::readFile(at("kept/b.zip")).startsWith("PK")) << "the link's target is the zip";
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Archive"), QStringLiteral("fifo"), QStringLiteral("kept"),
                           QStringLiteral("link.zip"), QStringLiteral("null.zip")}));

    // "-": the zip itself on standard output, the closing line on standard error.
    const CliRun r = run(backupCommand(), catalog, {QStringLiteral("-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("PK"))) << "a zip file";
    EXPECT_EQ(r.err, QStringLiteral("ambrylog-cli backup: backed up 1 archive to standard output.\n"));
}

TEST(ImportCli, ExitCodesSayWhatCameIn)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("cli"));
    const QString catalog = dir + QStringLiteral("/Archive");
    QDir().mkpath(catalog);
    const QString two = dir + QStringLiteral("/two.json");
    ambrytest::writeFile(two,
                         R"({"storages":[{"name":"A","children":[{"name":"a","filetype":"file","size":3}]},
                                              {"name":"B","children":[{"name":"..","filetype":"file"}]}]})");
    const QString listing = dir + QStringLiteral("/disc.tsv");
    ambrytest::writeFile(listing, "f\ta.txt\t1\t1563120131\n");
    const QString words = dir + QStringLiteral("/words.txt");
    ambrytest::writeFile(words, "just some words\n");

    const struct
    {
        const char *what;
        QStringList args;
        int code;
        const char *out; // in standard output
        const char *err; // in standard error
    } cases[] = {
        {"a dry run changes nothing",
         {two, QStringLiteral("--dry-run")},
         3,
         "A\t1\tnew\nWould import 1 disc",
         "B: a name \".\" or \"..\""},
        {"the sound volume comes in, the other is named",
         {two},
         3,
         "A\t1\timported\nImported 1 disc (1 file).",
         "These volumes were not imported"},
        {"again: nothing new", {two}, 1, "A\t1\talready in the catalog", ""},
        {"a listing named by its file, with a prefix",
         {listing, QStringLiteral("--mark-prefix"), QStringLiteral("L: ")},
         0,
         "L: disc\t1\timported",
         ""},
        {"a file of no known format", {words}, 1, "", "none of the formats"},
        {"an unknown format name", {listing, QStringLiteral("--format"), QStringLiteral("xml")}, 64, "", ""},
        {"standard input without a format", {QStringLiteral("-")}, 64, "", "--format"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun r = run(importCommand(), catalog, c.args);
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.out))) << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
    }
    EXPECT_EQ(ziptest::readTree(catalog).size(), 2);
}
