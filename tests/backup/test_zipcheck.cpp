#include <gtest/gtest.h>

#include "TestSupport.h"
#include "backup/CatalogBackup.h"
#include "backup/ZipReader.h"
#include "helper_zips.h"

#include <QDir>

using namespace backup;
using ziptest::Entry;

namespace {

QByteArray patchFirstCrc(QByteArray zip)
{
    const qsizetype local = zip.indexOf("PK\x03\x04");
    const qsizetype central = zip.indexOf("PK\x01\x02");
    zip[local + 14] = char(zip[local + 14] ^ 0x5a);
    zip[central + 16] = char(zip[central + 16] ^ 0x5a);
    return zip;
}

// Folders beside the catalog, other than the catalog itself: staging left behind shows here.
QStringList besideCatalog(const QString &root)
{
    return QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(ZipCheck, EntryNames)
{
    struct Case
    {
        const char *name;
        const char *problem; // part of the reason; nullptr when the name is fine
    };
    const Case cases[] = {
        {"12.dat", nullptr},
        {"sub/deeper/12.dat", nullptr},
        {"folder/", nullptr},
        {"My discs/\xc3\xa9t\xc3\xa9 1.dat", nullptr},
        {"..data.dat", nullptr},
        {"", "no name"},
        {"/etc/12.dat", "absolute"},
        {"../12.dat", ".."},
        {"a/../../12.dat", ".."},
        {"a/..", ".."},
        {"a\\..\\12.dat", "backslash"},
        {"a//12.dat", "plain relative"},
        {"./12.dat", "plain relative"},
        {"a\x01.dat", "control"},
        {"a\n.dat", "control"},
        {"\xff\xfe.dat", "valid text"},
    };
    for (const Case &c : cases) {
        const QString problem = entryNameProblem(QByteArrayView(c.name));
        if (c.problem)
            EXPECT_TRUE(problem.contains(QLatin1String(c.problem)))
                << c.name << " -> " << problem.toStdString();
        else
            EXPECT_TRUE(problem.isEmpty()) << c.name << " -> " << problem.toStdString();
    }
}

// Every hostile or broken zip is refused by restore and by merge alike, with a message that
// says why, and the catalog is exactly as it was with nothing left beside it.
TEST(ZipCheck, HostileZipsAreRefusedAndChangeNothing)
{
    const QByteArray sound = ziptest::archiveBytes(QStringLiteral("CD 9"), 9);
    const QByteArray big(1000, 'z');
    const QByteArray zipped = ziptest::makeZip({{"1.dat", sound}, {"2.dat", sound + "x"}});
    struct Case
    {
        const char *what;
        QByteArray zip;
        const char *message;
        ZipLimits limits = ZipLimits();
    };
    ZipLimits perArchive;
    perArchive.perArchive = 999;
    ZipLimits total;
    total.total = 1500;
    ZipLimits ratio;
    ratio.ratio = 100;
    const Case cases[] = {
        {"not a zip", "this is plain text, not a zip file at all", "not a zip file"},
        {"empty file", QByteArray(), "not a zip file"},
        {"truncated", zipped.left(zipped.size() - 30), "refused"},
        {"cut in half", zipped.left(zipped.size() / 2), "refused"},
        {"absolute path", ziptest::makeZip({{"/abs.dat", sound}}), "absolute path"},
        {"dot dot", ziptest::makeZip({{"a/../../up.dat", sound}}), "\"..\""},
        {"backslash", ziptest::makeZip({{"a\\b.dat", sound}}), "backslash"},
        // The zip library shows a NUL in a name as a blank: it can neither cut a name short
        // nor hide the ".." after it.
        {"NUL before ..",
         ziptest::patchAll(ziptest::makeZip({{"xQ/../../b.dat", sound}}), "xQ/", QByteArray("x\0/", 3)),
         "\"..\""},
        {"NUL as a second spelling",
         ziptest::patchAll(ziptest::makeZip({{"a b.dat", sound}, {"aQb.dat", sound}}), "aQb",
                           QByteArray("a\0b", 3)),
         "appears twice"},
        {"symbolic link", ziptest::makeZip({{"link.dat", "/etc/passwd", 0120777}}), "symbolic link"},
        {"fifo", ziptest::makeZip({{"pipe.dat", "", 0010644}}), "not a regular file"},
        {"folder holding data", ziptest::makeZip({{"d/", "data", 040755}}), "not a regular file"},
        {"duplicate names",
         ziptest::patchAll(ziptest::makeZip({{"a1.dat", sound}, {"a2.dat", sound}}), "a2.dat", "a1.dat"),
         "appears twice"},
        {"CRC mismatch", patchFirstCrc(ziptest::makeZip({{"1.dat", sound}})), "does not match its CRC"},
        {"more data than declared", ziptest::patchFirstSize(ziptest::makeZip({{"1.dat", big}}), 10),
         "more data than it declares"},
        {"less data than declared", ziptest::patchFirstSize(ziptest::makeZip({{"1.dat", big}}), 2000),
         "refused"},
        {"entry over the per-archive limit", ziptest::makeZip({{"1.dat", big}}), "larger than 999 bytes",
         perArchive},
        {"entries over the total limit", ziptest::makeZip({{"1.dat", big}, {"2.dat", big + "y"}}),
         "more than 1500 bytes", total},
        // 2 MB of one letter packs into a few kilobytes: far past 100 times the zip's size.
        {"bomb by ratio", ziptest::makeZip({{"1.dat", QByteArray(2 << 20, 'a')}}), "unpack to more than",
         ratio},
        {"only no archives", ziptest::makeZip({{"readme.txt", "hello"}}),
         "holds no archives (\"*.dat\" files)."},
    };

    const QString root = ambrytest::makeTempDir(QStringLiteral("hostile"));
    const QString catalog = root + QStringLiteral("/Archive");
    const ziptest::Tree before = {
        {QStringLiteral("5.dat"), ziptest::archiveBytes(QStringLiteral("Old"), 5)},
        {QStringLiteral("sub/6.dat"), ziptest::archiveBytes(QStringLiteral("Old 2"), 6)}};
    ziptest::writeTree(catalog, before);
    const QString zip = ambrytest::makeTempDir(QStringLiteral("hostilezips")) + QStringLiteral("/in.zip");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ambrytest::writeFile(zip, c.zip);

        RestoreJob job(catalog::Catalog(catalog), zip, c.limits);
        EXPECT_EQ(job.prepare(Progress()), Outcome::Failed);
        EXPECT_TRUE(job.error().contains(QLatin1String(c.message))) << job.error().toStdString();
        EXPECT_EQ(job.commit(), Outcome::Failed);

        const MergeResult merged = mergeArchives(catalog::Catalog(catalog), zip, Progress(), c.limits);
        EXPECT_EQ(merged.outcome, Outcome::Failed);
        EXPECT_TRUE(merged.error.contains(QLatin1String(c.message))) << merged.error.toStdString();

        EXPECT_EQ(ziptest::readTree(catalog), before);
        EXPECT_EQ(besideCatalog(root), QStringList{QStringLiteral("Archive")});
    }
}

TEST(ZipCheck, OtherFilesAreRefusedAndDamagedArchivesRestoredAsTheyAre)
{
    const QByteArray sound = ziptest::archiveBytes(QStringLiteral("CD 1"), 1);
    QByteArray damaged = ziptest::archiveBytes(QStringLiteral("CD 2"), 2, 2);
    damaged.replace("AFiles=2", "AFiles=9");
    const QString dir = ambrytest::makeTempDir(QStringLiteral("refused"));
    const QString zip = dir + QStringLiteral("/in.zip");
    ambrytest::writeFile(zip, ziptest::makeZip({{"1.dat", sound},
                                                {"notes/readme.txt", "hello"},
                                                {"empty/", "", 040755},
                                                {"sub/2.DAT", damaged}}));
    const QString catalog = dir + QStringLiteral("/Archive");
    QDir().mkpath(catalog);

    RestoreJob job(catalog::Catalog(catalog), zip);
    ASSERT_EQ(job.prepare(Progress()), Outcome::Done) << job.error().toStdString();
    EXPECT_EQ(job.archiveCount(), 2);
    EXPECT_EQ(job.refused(), QStringList{QStringLiteral("notes/readme.txt")});
    ASSERT_EQ(job.damaged().size(), 1);
    EXPECT_EQ(job.damaged().front().name, QStringLiteral("sub/2.DAT"));
    EXPECT_TRUE(job.hasNotes());
    ASSERT_EQ(job.commit(), Outcome::Done) << job.error().toStdString();
    EXPECT_TRUE(job.summary().startsWith(QStringLiteral("Restored 2 archives.")));
    EXPECT_TRUE(job.summary().contains(QStringLiteral("notes/readme.txt")));
    EXPECT_TRUE(job.summary().contains(QStringLiteral("sub/2.DAT (AFiles promises")));
    const ziptest::Tree expected = {{QStringLiteral("1.dat"), sound}, {QStringLiteral("sub/2.DAT"), damaged}};
    EXPECT_EQ(ziptest::readTree(catalog), expected);
}

TEST(ZipCheck, FuzzEntryPointTakesAnyBytes)
{
    // Seeds and mutations of them are refused or read within every promise of the reader, and
    // neither crash nor trip the sanitizers. The sound seed's mutations get as far as reading.
    const QByteArray seeds[] = {
        ziptest::makeZip({{"1.dat", ziptest::archiveBytes(QStringLiteral("A"), 1)}, {"../x.dat", "y"}}),
        ziptest::makeZip({{"1.dat", ziptest::archiveBytes(QStringLiteral("A"), 1)},
                          {"sub/2.dat", ziptest::archiveBytes(QStringLiteral("B"), 2, 3)}}),
    };
    uint32_t seed = 7;
    for (const QByteArray &zip : seeds) {
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = zip;
            for (int k = 0; k < round % 8; ++k) {
                seed = seed * 1103515245u + 12345u;
                bytes[qsizetype(seed % uint32_t(bytes.size()))] = char(seed >> 24);
            }
            EXPECT_EQ(
                checkZipBytes(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())), 0)
                << "round " << round;
        }
    }
}
