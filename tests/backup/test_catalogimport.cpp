#include "backup/CatalogImportJob.h"
#include "catalog/Archive.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogSwap.h"
#include "catalog/Checksum.h"
#include "catalog/DosDateTime.h"
#include "catalog/RecordSection.h"
#include "helper_zips.h"

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace backup;

namespace {

// A GWhere catalog of three disks: "PHOTOS" twice (the same files: the second is already
// in by then) and "Music"; a listing of one disc.
const QByteArray kGWhere = "GWhere:0.2.3:2\nMy discs:\n"
                           "//\nPHOTOS:1:a:b:c:PHOTOS:1:0:1704923096::0:Box B\n"
                           "a.jpg:-rw-r--r--:me:me:13:5:1:1:1563120131:0:\n\\\n"
                           "//\nMusic:2:a:b:c:Music:1:0:0::0:\n"
                           "/\nRock:d:me:me:1:0:1:1:1:0:\nt.ogg:-rw-r--r--:me:me:2:7:1:1:1563120131:0:\n\\\n"
                           "x.txt:-rw-r--r--:me:me:3:1:1:1:1563120131:0:\n\\\n"
                           "//\nPHOTOS:3:a:b:c:PHOTOS:1:0:0::0:\n"
                           "a.jpg:-rw-r--r--:me:me:13:5:1:1:1563120131:0:\n\\\n";

struct Imported
{
    QString path;
    Archive archive;
};

// The catalog's archives by mark.
QMap<QString, Imported> archivesByMark(const QString &catalog)
{
    QMap<QString, Imported> out;
    catalog::Catalog(catalog).walk([&](const QString &path) {
        Archive a = Archive::loadFields(path);
        const QString mark = a.value(u"AMark");
        out.insert(mark, {path, std::move(a)});
        return true;
    });
    return out;
}

class ImportJob : public ::testing::Test
{
protected:
    void SetUp() override
    {
        catalog = ambrytest::makeTempDir() + QStringLiteral("/Archive");
        QDir().mkpath(catalog);
        sources = ambrytest::makeTempDir() + QLatin1Char('/');
    }
    ImportSource source(const QString &name, const QByteArray &bytes, catimport::Format format)
    {
        ambrytest::writeFile(sources + name, bytes);
        return {sources + name, format, catimport::DateOrder::Unknown};
    }
    QString catalog, sources;
};

} // namespace

TEST_F(ImportJob, EachVolumeIsSavedAsAnAddedDiscWithAFreeMarkAndTheNextNumber)
{
    ziptest::writeTree(catalog,
                       {{QStringLiteral("sub/1.dat"), ziptest::archiveBytes(QStringLiteral("photos"), 41)}});
    const ImportResult r = importCatalog(
        catalog::Catalog(catalog), source(QStringLiteral("discs.ctg"), kGWhere, catimport::Format::GWhere),
        ImportChoice(), Progress());
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    EXPECT_EQ(r.summary().section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Imported 2 discs (3 files). 1 skipped: already in the catalog."));
    ASSERT_EQ(r.present.size(), 1);
    EXPECT_EQ(r.present.front().mark, QStringLiteral("PHOTOS (2)"));
    EXPECT_TRUE(r.hasNotes());

    const auto archives = archivesByMark(catalog);
    ASSERT_EQ(archives.size(), 3);
    const Imported &photos = archives[QStringLiteral("PHOTOS (2)")];
    const QByteArray records = filerecord::SectionBuilder().section() + "\\\r\na.jpg\r\n5\r\n" +
                               QByteArray::number(filerecord::packLocalTime(1563120131)) + "\r\n";
    // Named by the checksum of its records, as the add names a disc, straight in the catalog folder.
    EXPECT_EQ(photos.path, catalog + QLatin1Char('/') + checksumOfBytes(records) + QStringLiteral(".dat"));
    EXPECT_EQ(photos.archive.value(u"ANumber"), QStringLiteral("42"));
    EXPECT_EQ(photos.archive.value(u"ANote"), QStringLiteral("Imported from GWhere: Box B"));
    EXPECT_EQ(photos.archive.value(u"ADate"),
              QString::number(dosdate::pack(QDateTime::fromSecsSinceEpoch(1704923096))));
    EXPECT_EQ(photos.archive.value(u"AFiles"), QStringLiteral("1"));
    EXPECT_EQ(photos.archive.value(u"ASource"), QStringLiteral("Imported"));
    const Imported &music = archives[QStringLiteral("Music")];
    EXPECT_EQ(music.archive.value(u"ANumber"), QStringLiteral("43"));
    EXPECT_EQ(music.archive.value(u"ADirs"), QStringLiteral("1"));
    EXPECT_EQ(music.archive.value(u"ASize"), QStringLiteral("8"));
    // Nothing is left beside the catalog.
    EXPECT_EQ(QDir(catalog + QStringLiteral("/.."))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Archive")});
}

TEST_F(ImportJob, ChosenVolumesTakeTheirMarksAndADryRunWritesNothing)
{
    const ImportSource src = source(QStringLiteral("discs.ctg"), kGWhere, catimport::Format::GWhere);
    struct Case
    {
        const char *what;
        ImportChoice choice;
        QStringList added; // marks
    } cases[] = {
        {"the second only, renamed",
         {false, {{1, QStringLiteral("Rock & co")}}, QString(), false},
         {QStringLiteral("Rock & co")}},
        {"all, with a prefix",
         {true, {}, QStringLiteral("GW "), false},
         {QStringLiteral("GW PHOTOS"), QStringLiteral("GW Music")}},
        {"a dry run", {true, {}, QString(), true}, {QStringLiteral("PHOTOS"), QStringLiteral("Music")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDir(catalog).removeRecursively();
        QDir().mkpath(catalog);
        const ImportResult r = importCatalog(catalog::Catalog(catalog), src, c.choice, Progress());
        ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
        QStringList marks;
        for (const auto &d : r.added)
            marks << d.mark;
        EXPECT_EQ(marks, c.added);
        EXPECT_EQ(archivesByMark(catalog).size(), c.choice.dryRun ? 0 : c.added.size());
    }
}

// A cancel after every volume was staged leaves the catalog as it was; a file that breaks off
// brings in what came before the break, and says so.
TEST_F(ImportJob, TheCatalogChangesWholeOrNotAtAll)
{
    const ziptest::Tree before = {
        {QStringLiteral("1.dat"), ziptest::archiveBytes(QStringLiteral("Music"), 1)}};
    const ImportSource src = source(QStringLiteral("discs.ctg"), kGWhere, catimport::Format::GWhere);

    ziptest::writeTree(catalog, before);
    Progress cancel;
    cancel.stopRequested = [] { return true; };
    ImportResult r = importCatalog(catalog::Catalog(catalog), src, ImportChoice(), cancel);
    EXPECT_EQ(r.outcome, Outcome::Cancelled);
    EXPECT_EQ(ziptest::readTree(catalog), before);

    const ImportSource broken =
        source(QStringLiteral("broken.ctg"), kGWhere.left(kGWhere.indexOf("//\nPHOTOS:3")) + "//\nD:1\n",
               catimport::Format::GWhere);
    r = importCatalog(catalog::Catalog(catalog), broken, ImportChoice(), Progress());
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    ASSERT_EQ(r.added.size(), 2);
    EXPECT_EQ(r.added[1].mark, QStringLiteral("Music (2)"));
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_EQ(r.refused.front().name, QStringLiteral("D"));
    EXPECT_FALSE(r.damage.isEmpty());
    EXPECT_TRUE(r.summary().contains(QLatin1String("damaged")));
    EXPECT_EQ(archivesByMark(catalog).size(), 3);
}

TEST_F(ImportJob, AFailureLeavesTheCatalogAsItWas)
{
    const ziptest::Tree before = {{QStringLiteral("1.dat"), ziptest::archiveBytes(QStringLiteral("A"), 1)}};
    ziptest::writeTree(catalog, before);
    const ImportSource src = source(QStringLiteral("discs.ctg"), kGWhere, catimport::Format::GWhere);
    // The catalog's parent cannot take the staging folder.
    const QString parent = QFileInfo(catalog).absolutePath();
    ambrytest::openToOthers(catalog.toStdString(), true);
    ASSERT_TRUE(QFile::setPermissions(parent, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    {
        ambrytest::UnprivilegedFiles unprivileged;
        const ImportResult r = importCatalog(catalog::Catalog(catalog), src, ImportChoice(), Progress());
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_TRUE(r.error.contains(QLatin1String("Cannot create a folder"))) << r.error.toStdString();
        EXPECT_TRUE(r.added.isEmpty());
    }
    QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ziptest::readTree(catalog), before);
}

TEST_F(ImportJob, TheSurveyListsEveryVolumeWithoutRecords)
{
    const ImportSource src = source(QStringLiteral("discs.ctg"), kGWhere, catimport::Format::GWhere);
    const ImportSurvey s = surveyImport(src, Progress());
    ASSERT_EQ(s.outcome, Outcome::Done);
    ASSERT_EQ(s.volumes.size(), 3);
    EXPECT_EQ(s.volumes[1].name, QStringLiteral("Music"));
    EXPECT_EQ(s.volumes[1].files, 2);
    EXPECT_TRUE(s.volumes[1].records.isEmpty());

    const ImportSurvey none =
        surveyImport(source(QStringLiteral("x.ctg"), "GWhere:1:9\n", catimport::Format::GWhere), Progress());
    EXPECT_EQ(none.outcome, Outcome::Failed);
    EXPECT_TRUE(none.error.contains(QLatin1String("versions 1 and 2"))) << none.error.toStdString();

    QString why;
    EXPECT_EQ(recogniseImportFormat(src.path, &why), catimport::Format::GWhere);
    EXPECT_EQ(recogniseImportFormat(QStringLiteral("-"), &why), std::nullopt);
    EXPECT_TRUE(why.contains(QLatin1String("--format")));
}
