#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/CatalogBackup.h"
#include "backup/ZipReader.h"
#include "catalog/Archive.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogLock.h"
#include "catalog/CatalogSwap.h"
#include "catalog/Checksum.h"
#include "helper_zips.h"
#include "util/PosixFile.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <sys/stat.h>
#include <utime.h>

using namespace backup;
using catalog::setExchangeUnavailableForTesting;

namespace {

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

qint64 mtimeOf(const QString &path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// A catalog with archives in subfolders, odd names, and a file that is no archive.
ziptest::Tree sampleCatalog()
{
    return {{QStringLiteral("100.dat"), ziptest::archiveBytes(QStringLiteral("CD No: 1"), 1, 3)},
            {QStringLiteral("-42.dat"), ziptest::archiveBytes(QStringLiteral("CD No: 2"), 2, 1)},
            {QStringLiteral("Shelf A/d\u00e9j\u00e0 vu/7.DAT"),
             ziptest::archiveBytes(QStringLiteral("Caf\u00e9"), 3)},
            {QStringLiteral(".hidden.dat"), ziptest::archiveBytes(QStringLiteral("Hidden"), 4)},
            {QStringLiteral("empty.dat"), QByteArray()}};
}

class BackupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = ambrytest::makeTempDir(QStringLiteral("backup"));
        catalog = root + QStringLiteral("/Archive");
        ziptest::writeTree(catalog, sampleCatalog());
        ambrytest::writeFile(catalog + QStringLiteral("/notes.txt"), "not an archive");
        outDir = ambrytest::makeTempDir(QStringLiteral("out"));
        zip = outDir + QStringLiteral("/Ambrylog backup.zip");
    }
    void TearDown() override { setExchangeUnavailableForTesting(false); }

    QString root, catalog, outDir, zip;
};

} // namespace

TEST_F(BackupTest, BackupRestoresToAnIdenticalCatalog)
{
    // A known time on an archive, so that the zip's entry time can be checked.
    const QString dated = catalog + QStringLiteral("/100.dat");
    const utimbuf times{1200000000, 1200000000};
    ASSERT_EQ(::utime(QFile::encodeName(dated).constData(), &times), 0);

    const BackupResult made = backupCatalog(catalog::Catalog(catalog), zip, Progress(),
                                            QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
    ASSERT_EQ(made.outcome, Outcome::Done) << made.error.toStdString();
    EXPECT_EQ(made.archives, 5);
    EXPECT_TRUE(made.skipped.isEmpty());
    // Backed up as it is, and named, as its restore will name it.
    EXPECT_EQ(made.summary(), QStringLiteral("These archives are damaged and were backed up as they are:\n"
                                             "empty.dat (has no archive fields)"));
    EXPECT_TRUE(made.hasNotes());
    EXPECT_EQ(entriesOf(outDir), QStringList{QStringLiteral("Ambrylog backup.zip")}); // no temporary left

    const auto reader = ZipReader::open(zip);
    EXPECT_EQ(reader->comment(),
              QStringLiteral("Ambrylog catalog backup of 2026-03-04 05:06:07, 5 archives"));
    const ZipPlan plan = reader->plan(ZipLimits());
    QStringList names;
    for (const ZipEntry &e : plan.archives)
        names.append(e.name);
    // In the order of the catalog walk, relative to the catalog folder.
    EXPECT_EQ(names, (QStringList{QStringLiteral("-42.dat"), QStringLiteral(".hidden.dat"),
                                  QStringLiteral("100.dat"), QStringLiteral("empty.dat"),
                                  QStringLiteral("Shelf A/d\u00e9j\u00e0 vu/7.DAT")}));
    EXPECT_LE(std::abs(plan.archives.at(2).mtime - 1200000000), 1); // zip times have 2-second steps

    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchange" : "two renames");
        setExchangeUnavailableForTesting(!exchange);
        const QString target =
            ambrytest::makeTempDir(QStringLiteral("restored")) + QStringLiteral("/Archive");
        ziptest::writeTree(target, {{QStringLiteral("old.dat"), "old catalog"}});
        RestoreJob job(catalog::Catalog(target), zip);
        ASSERT_EQ(job.prepare(Progress()), Outcome::Done) << job.error().toStdString();
        EXPECT_EQ(job.archiveCount(), 5);
        EXPECT_TRUE(job.hasNotes()); // the empty archive is damaged, and restored as it is
        EXPECT_TRUE(job.question().contains(QStringLiteral("5 archives")));
        EXPECT_TRUE(job.question().contains(QStringLiteral("Archive before restore ")));
        ASSERT_EQ(job.commit(Progress(), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))), Outcome::Done)
            << job.error().toStdString();
        EXPECT_EQ(job.summary(), QStringLiteral("Restored 5 archives.\n\nThese archives are damaged and were "
                                                "restored as they are:\nempty.dat (has no archive fields)"));

        ziptest::Tree expected = sampleCatalog();
        EXPECT_EQ(ziptest::readTree(target), expected);
        EXPECT_LE(std::abs(mtimeOf(target + QStringLiteral("/100.dat")) - 1200000000), 1);
        const QString parent = QFileInfo(target).absolutePath();
        EXPECT_EQ(entriesOf(parent),
                  (QStringList{QStringLiteral("Archive"),
                               QStringLiteral("Archive before restore 2026-01-02 03-04-05")}));
        EXPECT_EQ(ziptest::readTree(parent + QStringLiteral("/Archive before restore 2026-01-02 03-04-05")),
                  (ziptest::Tree{{QStringLiteral("old.dat"), "old catalog"}}));
        // The restored folder has the permissions of the one it replaced, not a private one.
        EXPECT_EQ(
            QFileInfo(target).permissions(),
            QFileInfo(parent + QStringLiteral("/Archive before restore 2026-01-02 03-04-05")).permissions());
    }
}

TEST_F(BackupTest, TheOldCatalogIsKeptUnderTheNameTheQuestionGave)
{
    ASSERT_EQ(backupCatalog(catalog::Catalog(catalog), zip, Progress()).outcome, Outcome::Done);
    RestoreJob job(catalog::Catalog(catalog), zip);
    ASSERT_EQ(job.prepare(Progress()), Outcome::Done);
    const QString kept = job.keptFolder();
    EXPECT_TRUE(job.question().contains(QFileInfo(kept).fileName()));
    QThread::msleep(1100); // the user takes a while to answer
    ASSERT_EQ(job.commit(), Outcome::Done) << job.error().toStdString();
    EXPECT_EQ(job.keptFolder(), kept);
    EXPECT_TRUE(QFileInfo(kept).isDir());
}

TEST_F(BackupTest, ASecondRestoreInTheSameSecondKeepsBothOldCatalogs)
{
    ASSERT_EQ(backupCatalog(catalog::Catalog(catalog), zip, Progress()).outcome, Outcome::Done);
    const QDateTime at(QDate(2026, 5, 6), QTime(7, 8, 9));
    for (int i = 0; i < 2; ++i) {
        RestoreJob job(catalog::Catalog(catalog), zip);
        ASSERT_EQ(job.prepare(Progress()), Outcome::Done);
        ASSERT_EQ(job.commit(Progress(), at), Outcome::Done) << job.error().toStdString();
    }
    EXPECT_EQ(
        entriesOf(root),
        (QStringList{QStringLiteral("Archive"), QStringLiteral("Archive before restore 2026-05-06 07-08-09"),
                     QStringLiteral("Archive before restore 2026-05-06 07-08-09 (2)")}));
}

TEST_F(BackupTest, ARestoreThatFindsTheCatalogBusyLeavesNothingBehind)
{
    ASSERT_EQ(backupCatalog(catalog::Catalog(catalog), zip, Progress()).outcome, Outcome::Done);
    const ziptest::Tree before = ziptest::readTree(catalog);
    RestoreJob job(catalog::Catalog(catalog), zip);
    ASSERT_EQ(job.prepare(Progress()), Outcome::Done);
    ambrytest::ChildHolding writer([folder = catalog] { return (new CatalogLock(folder))->tryAcquire(); });
    ASSERT_TRUE(writer.holds());
    CatalogLock::setWaitMsForTesting(200);
    EXPECT_EQ(job.commit(), Outcome::Failed);
    CatalogLock::setWaitMsForTesting(0);
    EXPECT_EQ(job.error(), CatalogLock::BusyText);
    EXPECT_EQ(entriesOf(root), QStringList{QStringLiteral("Archive")}); // the unpacked archives went
    EXPECT_EQ(ziptest::readTree(catalog), before);
}

TEST_F(BackupTest, ACatalogReachedThroughALinkIsRestoredWhereTheLinkLeads)
{
    ASSERT_EQ(backupCatalog(catalog::Catalog(catalog), zip, Progress()).outcome, Outcome::Done);
    const QString real = ambrytest::makeTempDir(QStringLiteral("real")) + QStringLiteral("/Catalog");
    ziptest::writeTree(real, {{QStringLiteral("old.dat"), "old catalog"}});
    const QString links = ambrytest::makeTempDir(QStringLiteral("links"));
    const QString link = links + QStringLiteral("/Archive");
    ASSERT_TRUE(QFile::link(real, link));
    RestoreJob job(catalog::Catalog(link), zip);
    ASSERT_EQ(job.prepare(Progress()), Outcome::Done);
    ASSERT_EQ(job.commit(Progress(), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))), Outcome::Done)
        << job.error().toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), real);
    EXPECT_EQ(ziptest::readTree(link), sampleCatalog());
    EXPECT_EQ(entriesOf(links), QStringList{QStringLiteral("Archive")});
    EXPECT_EQ(ziptest::readTree(QFileInfo(real).path() +
                                QStringLiteral("/Archive before restore 2026-01-02 03-04-05")),
              (ziptest::Tree{{QStringLiteral("old.dat"), "old catalog"}}));
}

TEST_F(BackupTest, WhatABackupWritesItsRestoreAccepts)
{
    // 10 MB of one letter packs about a thousand to one, far tighter than other archives.
    ambrytest::writeFile(catalog + QStringLiteral("/big.dat"), QByteArray(10 << 20, 'a'));
    const BackupResult made = backupCatalog(catalog::Catalog(catalog), zip, Progress());
    ASSERT_EQ(made.outcome, Outcome::Done) << made.error.toStdString();
    const QString target = ambrytest::makeTempDir(QStringLiteral("bigrestore")) + QStringLiteral("/Archive");
    ASSERT_TRUE(QDir().mkpath(target));
    RestoreJob job(catalog::Catalog(target), zip);
    ASSERT_EQ(job.prepare(Progress()), Outcome::Done) << job.error().toStdString();
    ASSERT_EQ(job.commit(), Outcome::Done) << job.error().toStdString();
    EXPECT_EQ(QFileInfo(target + QStringLiteral("/big.dat")).size(), 10 << 20);
}

TEST_F(BackupTest, AFailedBackupLeavesTheEarlierFile)
{
    ambrytest::writeFile(zip, "an earlier backup");
    const QString empty = ambrytest::makeTempDir(QStringLiteral("emptycatalog"));
    BackupResult r = backupCatalog(catalog::Catalog(empty), zip, Progress());
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(r.error, QStringLiteral("The catalog holds no archives to back up."));
    EXPECT_TRUE(r.nothingToBackUp);

    // A catalog file that vanishes before it is written.
    const QString gone = ambrytest::makeTempDir(QStringLiteral("vanishing"));
    ambrytest::writeFile(gone + QStringLiteral("/1.dat"), "x");
    Progress progress;
    progress.report = [&](const QString &, qint64, qint64) {
        QFile::remove(gone + QStringLiteral("/1.dat"));
    };
    ambrytest::writeFile(gone + QStringLiteral("/2.dat"), "y");
    r = backupCatalog(catalog::Catalog(gone), zip, progress);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_TRUE(r.error.contains(zip)) << r.error.toStdString();

    r = backupCatalog(catalog::Catalog(catalog), outDir + QStringLiteral("/no such folder/b.zip"),
                      Progress());
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_TRUE(r.error.contains(QStringLiteral("no such folder"))) << r.error.toStdString();
    EXPECT_FALSE(r.nothingToBackUp) << "another folder may do";

    EXPECT_EQ(ambrytest::readFile(zip), "an earlier backup");
    EXPECT_EQ(entriesOf(outDir), QStringList{QStringLiteral("Ambrylog backup.zip")});
}

TEST(BackupFolder, TheDocumentsFolderOnlyWhenItExists)
{
    const QString home = ambrytest::makeTempDir(QStringLiteral("home"));
    const QString documents = home + QStringLiteral("/Documents");
    EXPECT_EQ(backupFolder(documents, home), home) << "a fresh home without Documents";
    EXPECT_EQ(backupFolder(QString(), home), home) << "no documents folder known";
    ambrytest::writeFile(documents, "a file of that name");
    EXPECT_EQ(backupFolder(documents, home), home);
    QFile::remove(documents);
    ASSERT_TRUE(QDir().mkpath(documents));
    EXPECT_EQ(backupFolder(documents, home), documents);
}

TEST_F(BackupTest, PathsThatCannotBeZipNamesAreSkippedAndNamed)
{
    ambrytest::writeFile(catalog + QStringLiteral("/odd\\name/5.dat"), "x");
    const BackupResult r = backupCatalog(catalog::Catalog(catalog), zip, Progress());
    ASSERT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.archives, 5);
    EXPECT_EQ(r.skipped, QStringList{QStringLiteral("odd\\name/5.dat")});
    EXPECT_TRUE(r.summary().contains(QStringLiteral("odd\\name/5.dat")));
}

// Cancel at any check leaves no file, no staging folder and the catalog as it was.
TEST_F(BackupTest, CancelLeavesNothingBehind)
{
    ASSERT_EQ(backupCatalog(catalog::Catalog(catalog), zip, Progress()).outcome, Outcome::Done);
    const ziptest::Tree before = ziptest::readTree(catalog);
    const QString other = outDir + QStringLiteral("/other.zip");
    const QString empty = ambrytest::makeTempDir(QStringLiteral("mergeinto")) + QStringLiteral("/Archive");
    QDir().mkpath(empty);
    for (const int at : {0, 1, 2, 3, 5, 8}) {
        SCOPED_TRACE(at);
        int checks = 0;
        Progress progress;
        progress.stopRequested = [&] { return checks++ >= at; };

        EXPECT_EQ(backupCatalog(catalog::Catalog(catalog), other, progress).outcome, Outcome::Cancelled);
        EXPECT_EQ(entriesOf(outDir), QStringList{QStringLiteral("Ambrylog backup.zip")});

        checks = 0;
        {
            RestoreJob job(catalog::Catalog(catalog), zip);
            EXPECT_EQ(job.prepare(progress), Outcome::Cancelled);
        }
        EXPECT_EQ(entriesOf(root), QStringList{QStringLiteral("Archive")});
        EXPECT_EQ(ziptest::readTree(catalog), before);

        checks = 0;
        EXPECT_EQ(mergeArchives(catalog::Catalog(empty), zip, progress).outcome, Outcome::Cancelled);
        EXPECT_EQ(entriesOf(QFileInfo(empty).absolutePath()), QStringList{QStringLiteral("Archive")});
        EXPECT_TRUE(ziptest::readTree(empty).isEmpty());
    }
    // Dropping a prepared restore without committing it changes nothing either.
    {
        RestoreJob job(catalog::Catalog(catalog), zip);
        ASSERT_EQ(job.prepare(Progress()), Outcome::Done);
    }
    EXPECT_EQ(entriesOf(root), QStringList{QStringLiteral("Archive")});
    EXPECT_EQ(ziptest::readTree(catalog), before);
}

// The name an archive of these bytes gets in the catalog: its records' checksum.
QString checksumName(const QByteArray &archive)
{
    const Archive a = Archive::fromBytes(archive);
    return checksumOfBytes(QByteArrayView(archive).first(a.lineOffset(a.fieldsBegin()))) +
           QStringLiteral(".dat");
}

TEST(Merge, DecidesByContentNamesEverySkipRenamesMarksAndRenumbers)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("merge"));
    const QString catalog = dir + QStringLiteral("/Archive");
    const QByteArray first = ziptest::archiveBytes(QStringLiteral("CD 1"), 1, 2, "a");
    const QByteArray second = ziptest::archiveBytes(QStringLiteral("Stra\u00dfe"), 7, 2, "b");
    ziptest::writeTree(
        catalog, {{checksumName(first), first},
                  {QStringLiteral("sub/") + checksumName(second), second},
                  {QStringLiteral("3.dat"), ziptest::archiveBytes(QStringLiteral("CD 1 (2)"), 3, 2, "c")},
                  {QStringLiteral("X.dat"), ziptest::archiveBytes(QStringLiteral(" "), 4, 2, "d")}});
    struct In
    {
        QByteArray name;
        QString mark;
        int number;
        QByteArray salt; // the same salt: the same records, the same disc
    };
    const In incoming[] = {
        {"1.dat", QStringLiteral("Other"), 50, "a"},         // the first disc under another name and mark
        {"old/2.DAT", QStringLiteral("Other"), 51, "b"},     // in another folder: still the same disc
        {"x.dat", QStringLiteral("Else"), 52, "e"},          // X.dat's name in other case, another disc
        {"10.dat", QStringLiteral("cd 1"), 1, "f"},          // mark and number in use
        {"11.dat", QStringLiteral("CD 1"), 2, "g"},          // the same mark again; its number is free
        {"12.dat", QStringLiteral("STRASSE"), 9, "h"},       // the same mark as upper case compares it
        {"13.dat", QStringLiteral("Fresh"), 9, "i"},         // number taken by the archive merged before it
        {"again/10.dat", QStringLiteral("cd 1"), 1, "f"},    // the archive of 10.dat a second time
        {"deep/15.dat", QStringLiteral("Fresh 2"), -3, "k"}, // no valid number: damaged, added as it is
    };
    QList<ziptest::Entry> entries;
    for (const In &in : incoming)
        entries.append({in.name, ziptest::archiveBytes(in.mark, in.number, 2, in.salt)});
    const auto nameOf = [&](int i) { return checksumName(entries.at(i).data); };
    const QString zip = dir + QStringLiteral("/in.zip");
    ambrytest::writeFile(zip, ziptest::makeZip(entries));

    const MergeResult r = mergeArchives(catalog::Catalog(catalog), zip, Progress());
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    EXPECT_EQ(
        r.present,
        (QStringList{QStringLiteral("1.dat (already in the catalog as %1)").arg(checksumName(first)),
                     QStringLiteral("old/2.DAT (already in the catalog as sub/%1)").arg(checksumName(second)),
                     QStringLiteral("again/10.dat (the same archive as 10.dat)")}));
    EXPECT_EQ(r.added, (QStringList{QStringLiteral("x.dat"), QStringLiteral("10.dat"),
                                    QStringLiteral("11.dat"), QStringLiteral("12.dat"),
                                    QStringLiteral("13.dat"), QStringLiteral("deep/15.dat")}));
    const QList<std::pair<QString, QString>> renamed = {
        {QStringLiteral("cd 1"), QStringLiteral("cd 1 (3)")},
        {QStringLiteral("CD 1"), QStringLiteral("CD 1 (4)")},
        {QStringLiteral("STRASSE"), QStringLiteral("STRASSE (2)")}};
    EXPECT_EQ(r.renamed, renamed);
    const QList<std::pair<int, int>> renumbered = {{1, 53}, {9, 54}}; // one above the highest, x.dat's 52
    EXPECT_EQ(r.renumbered, renumbered);
    ASSERT_EQ(r.damaged.size(), 1);
    EXPECT_EQ(r.damaged.front().name, QStringLiteral("deep/15.dat"));
    const QString summary = r.summary();
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Added 6 archives; 3 skipped as already in the catalog.")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("again/10.dat (the same archive as 10.dat)")));
    EXPECT_TRUE(summary.contains(QStringLiteral("x.dat as %1").arg(nameOf(2))));
    EXPECT_TRUE(summary.contains(QStringLiteral("\"cd 1\" is now \"cd 1 (3)\"")));

    const auto field = [&](int i, const char16_t *key) {
        return ReadArchiveValue(catalog + QLatin1Char('/') + nameOf(i), QString::fromUtf16(key));
    };
    EXPECT_EQ(field(2, u"AMark"), QStringLiteral("Else"));
    EXPECT_EQ(field(3, u"AMark"), QStringLiteral("cd 1 (3)"));
    EXPECT_EQ(field(3, u"ANumber"), QStringLiteral("53"));
    EXPECT_EQ(field(4, u"AMark"), QStringLiteral("CD 1 (4)"));
    EXPECT_EQ(field(4, u"ANumber"), QStringLiteral("2"));
    EXPECT_EQ(field(5, u"ANumber"), QStringLiteral("9"));
    EXPECT_EQ(field(6, u"AMark"), QStringLiteral("Fresh"));
    EXPECT_EQ(field(6, u"ANumber"), QStringLiteral("54"));
    EXPECT_EQ(field(8, u"ANumber"), QStringLiteral("-3"));
    // Records are untouched by the renaming.
    const QByteArray original = entries.at(3).data;
    const QByteArray merged = ambrytest::readFile(catalog + QLatin1Char('/') + nameOf(3));
    EXPECT_EQ(merged.left(Archive::fromBytes(original).lineOffset(8)),
              original.left(Archive::fromBytes(original).lineOffset(8)));
    // Every mark is now unique as the catalog compares marks.
    for (const char *mark : {"cd 1 (3)", "CD 1 (4)", "STRASSE (2)", "Fresh"})
        EXPECT_EQ(catalog::Catalog(catalog).archivesWithMark(QString::fromUtf8(mark)).size(), 1) << mark;
    EXPECT_EQ(entriesOf(dir), (QStringList{QStringLiteral("Archive"), QStringLiteral("in.zip")}));

    // Merging the same zip again adds nothing, and says why for each.
    const MergeResult again = mergeArchives(catalog::Catalog(catalog), zip, Progress());
    EXPECT_EQ(again.outcome, Outcome::Done);
    EXPECT_TRUE(again.added.isEmpty());
    EXPECT_EQ(again.present.size(), 9);
}

// A folder of the catalog that cannot be read leaves its archives out of the backup, and the
// result says which folder and why rather than passing for a whole backup.
TEST_F(BackupTest, AFolderThatCannotBeReadIsNamed)
{
    const QString locked = catalog + QStringLiteral("/locked");
    ambrytest::writeFile(locked + QStringLiteral("/9.dat"), ziptest::archiveBytes(QStringLiteral("CD 9"), 9));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    ambrytest::openToOthers(QFile::encodeName(catalog).toStdString(), true);
    ambrytest::openToOthers(QFile::encodeName(outDir).toStdString(), true);
    BackupResult r;
    {
        const ambrytest::UnprivilegedFiles asUser;
        r = backupCatalog(catalog::Catalog(catalog), zip, Progress());
    }
    ::chmod(QFile::encodeName(locked).constData(), 0755);
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    EXPECT_EQ(r.unlisted, QStringList{locked + QStringLiteral("/ (folder cannot be listed: ") +
                                      errnoText(EACCES) + QLatin1Char(')')});
    EXPECT_TRUE(r.summary().contains(QStringLiteral("are not in the backup"))) << r.summary().toStdString();
}
