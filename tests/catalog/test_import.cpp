#include "catalog/DosDateTime.h"
#include "catalog/RecordSection.h"
#include "catalog/import/CatalogImport.h"
#include "catalog/import/InputStream.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <zlib.h>

using namespace catimport;

namespace {

QByteArray gzip(const QByteArray &text)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray out(qsizetype(deflateBound(&z, uLong(text.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray rec(const char *folder, const char *name, qint64 size, int32_t packed)
{
    return QByteArray(folder) + "\r\n" + name + "\r\n" + QByteArray::number(size) + "\r\n" +
           QByteArray::number(packed) + "\r\n";
}

int32_t local(int y, int mo, int d, int h, int mi, int s)
{
    return dosdate::pack(y, mo, d, h, mi, s);
}

int32_t epoch(qint64 s)
{
    return filerecord::packLocalTime(s);
}

struct Read
{
    QList<Volume> volumes;
    ReadOutcome outcome;
};

Read readBytes(const QByteArray &bytes, Format format, const Options &options = {})
{
    Read r;
    r.outcome = readVolumesFromBytes(bytes, format, QStringLiteral("listed"), options, [&](Volume &&v) {
        r.volumes.append(std::move(v));
        return true;
    });
    return r;
}

} // namespace

// One catalog of each format, written by hand, holding the same disc: a root file, a folder
// whose files come after one of its subfolders in the source, and that subfolder.
TEST(Import, EachFormatGivesTheDiscAsTheWalkWouldRecordIt)
{
    const qint64 t = 1563120131; // 2019-07-14 16:02:11 UTC
    const QByteArray walkOrder =
        rec("\\", "top.txt", 10, epoch(t)) + rec("Trip", "a.jpg", 3586000, epoch(t)) +
        rec("Trip", "b.jpg", 5, epoch(t + 2)) + rec("Trip\\Day 1", "c.raw", 7, epoch(t + 4));
    // The same for sources that give local times.
    auto localOrder = [](qint64 sizeA) -> QByteArray {
        return rec("\\", "top.txt", 10, local(2019, 7, 14, 18, 2, 11)) +
               rec("Trip", "a.jpg", sizeA, local(2019, 7, 14, 18, 2, 11)) +
               rec("Trip", "b.jpg", 5, local(2019, 7, 14, 18, 2, 13)) +
               rec("Trip\\Day 1", "c.raw", 7, local(2019, 7, 14, 18, 2, 15));
    };

    struct Case
    {
        const char *what;
        Format format;
        QByteArray text;
        QByteArray records;
        QString name, notePrefix;
        qint64 folders;
        Dropped dropped;
    };
    const QList<Case> cases = {
        {"catcli, keys sorted so children come before names", Format::CatcliJson,
         R"({"children":[{"attr":"Box B","children":[
             {"name":"top.txt","size":10,"maccess":1563120131.0,"md5":"d41d8cd98f00b204e9800998ecf8427e","type":"file"},
             {"children":[
                {"children":[{"maccess":1563120135.9,"md5":null,"name":"c.raw","size":7,"type":"file"}],
                 "maccess":1.0,"name":"Day 1","size":7,"type":"dir"},
                {"children":[{"archive":"a.jpg","name":"inner.txt","size":1,"type":"arc"}],
                 "maccess":1563120131,"md5":null,"name":"a.jpg","size":3586000,"type":"file"},
                {"maccess":1563120133,"name":"b.jpg","size":5,"type":"file"}],
              "maccess":1.0,"name":"Trip","size":0,"type":"dir"}],
            "free":0,"name":"PHOTOS19","size":3586022,"total":4700000000,"ts":1704923096,"type":"storage"},
           {"attr":{"access":1},"name":"meta","type":"meta"}],
          "name":"top","size":null,"type":"top"})",
         walkOrder, QStringLiteral("PHOTOS19"), QStringLiteral("Imported from catcli: Box B"), 2,
         Dropped{1, 0, 0, 1, 0}},
        {"gocatcli", Format::GocatcliJson,
         R"({"tool":"gocatcli","version":"1.3.0","storages":[{"id":1,"name":"PHOTOS19","ts":1704923096,
           "type":"storage","tags":["box-b"],"meta":"Box B","children":[
            {"name":"Trip","filetype":"dir","size":0,"maccess":1,"children":[
              {"name":"Day 1","filetype":"dir","children":[
                 {"name":"c.raw","filetype":"file","size":7,"maccess":1563120135,"md5":"","children":null}]},
              {"name":"a.jpg","filetype":"archive","size":3586000,"maccess":1563120131,"md5":"abc","extra":"k:v",
               "children":[{"name":"in.txt","filetype":"archived","size":1}]},
              {"name":"b.jpg","filetype":"file","size":5,"maccess":1563120133}]},
            {"name":"top.txt","filetype":"file","size":10,"maccess":1563120131}]}]})",
         walkOrder, QStringLiteral("PHOTOS19"), QStringLiteral("Imported from gocatcli: Box B; tags: box-b"),
         2, Dropped{1, 0, 0, 1, 1}},
        {"gocatcli's TOML", Format::GocatcliToml, R"(tool = "gocatcli"
version = "1.3.0"
created = 1704923096

[[storages]]
id = 1
name = "PHOTOS19"
path = "/media/dvd"
ts = 1704923096
type = "storage"
tags = ["box-b"]
meta = "Box B"

[[storages.children]]
name = "Trip"
relpath = "Trip"
filetype = "dir"
maccess = 1

[[storages.children.children]]
name = "Day 1"
filetype = "dir"

[[storages.children.children.children]]
name = "c.raw"
filetype = "file"
size = 7
maccess = 1563120135

[[storages.children.children]]
name = "a.jpg"
filetype = "file"
size = 3586000
maccess = 1563120131
md5 = "abc"

[[storages.children.children]]
name = "b.jpg"
filetype = "file"
size = 5
maccess = 2019-07-14T16:02:13Z

[[storages.children]]
name = "top.txt"
filetype = "file"
size = 10
maccess = 1563120131
)",
         walkOrder, QStringLiteral("PHOTOS19"), QStringLiteral("Imported from gocatcli: Box B; tags: box-b"),
         2, Dropped{1, 0, 0, 0, 0}},
        {"CdCat, gzip, sizes in units of 1,024", Format::CdCat, gzip(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE HyperCDCatalogFile>
<catalog name="Backups" owner="me" time="2024-05-01 10:00:00">
<datafile version="2.1"/>
 <media name="PHOTOS19" number="3" owner="me" type="DVD" time="2024-05-01 10:00:00">
  <comment>Box#B</comment>
  <directory name="Trip" time="2019-07-14 18:02:11">
   <directory name="Day 1" time="2019-07-14 18:02:11">
    <file name="c.raw" size="7.00 byte" time="Jul 14 18:02:15 2019"></file>
   </directory>
   <file name="a.jpg" size="3.42 Mb" time="2019-07-14 18:02:11"><comment>nice</comment><mp3tag artist="x" title="y" album="z" year="1">t</mp3tag></file>
   <file name="b.jpg" size="5 byte" time="2019-07-14 18:02:13"/>
  </directory>
  <file name="top.txt" size="10.00 byte" time="2019-07-14 18:02:11"/>
 </media>
<catlnk name="x" location="y"/>
</catalog>
)"),
         localOrder(3586130), QStringLiteral("PHOTOS19"),
         QStringLiteral("Imported from CdCat: sizes are approximate; Box B"), 2, Dropped{0, 1, 1, 0, 0}},
        {"GWhere version 2, gzip, with . and .. entries", Format::GWhere,
         gzip("GWhere:0.2.3:2\nMy discs:\nPhotos:pictures\n//\n"
              "PHOTOS19:3:/dev/sr0:/media/dvd:iso9660:PHOTOS19:3586000:0:1704923096::0:Box B\n"
              ".:drwxr-xr-x:me:me:1:0:0:0:0:0:\n"
              "/\nTrip:drwxr-xr-x:me:me:12:0:1:1:1:0:\n"
              "/\nDay 1:drwxr-xr-x:me:me:14:0:1:1:1:0:\n"
              "c.raw:-rw-r--r--:me:me:15:7:1:1:1563120135:0:\n\\\n"
              "a.jpg:-rw-r--r--:me:me:13:3586000:1:1:1563120131:1:a\\#comment\n"
              "b.jpg:-rw-r--r--:me:me:13:5:1:1:1563120133:0:\n"
              "\\\n"
              "top.txt:-rw-r--r--:me:me:13:10:1:1:1563120131:0:\n"
              "\\\n"),
         walkOrder, QStringLiteral("PHOTOS19"), QStringLiteral("Imported from GWhere: Box B"), 2,
         Dropped{0, 1, 1, 0, 0}},
        {"Katalog 2.8 with its checksum column", Format::Katalog,
         "<catalogSourcePath>/media/dvd\n<catalogFileCount>4\n<catalogStorage>Shelf "
         "2\n<catalogAppVersion>2.8\n"
         "/media/dvd/top.txt\t10\t2019/07/14 18:02:11\n"
         "/media/dvd/Trip/a.jpg\t3586000\t2019/07/14 "
         "18:02:11\tjpg\timage\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t"
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\t2024/01/01 00:00:00\t\n"
         "/media/dvd/Trip/Day 1/c.raw\t7\t2019/07/14 18:02:15\n"
         "/media/dvd/Trip/b.jpg\t5\t2019/07/14 18:02:13\n",
         localOrder(3586000), QStringLiteral("listed"),
         QStringLiteral("Imported from Katalog: storage Shelf 2"), 2, Dropped{1, 0, 0, 0, 0}},
        {"VVV with a header, quoting and ISO dates", Format::VvvCsv,
         "Volume,Path,Name,Size,Ext,Last modified,Description\n"
         "\"PHOTOS19\",\"\\\",\"top.txt\",10,\"txt\",2019-07-14 18:02:11,\"\"\n"
         "\"PHOTOS19\",\"\\Trip\\\",\"a.jpg\",3586000,\"jpg\",2019-07-14 18:02:11,\"a \"\"nice\"\", one\"\n"
         "\"PHOTOS19\",\"\\Trip\\Day 1\",\"c.raw\",7,\"raw\",2019-07-14 18:02:15,\"\"\n"
         "\"PHOTOS19\",\"\\Trip\",\"b.jpg\",5,\"jpg\",2019-07-14 18:02:13,\"\"\n",
         localOrder(3586000), QStringLiteral("PHOTOS19"), QStringLiteral("Imported from VVV."), 2,
         Dropped{0, 0, 1, 0, 0}},
        {"find's listing with types", Format::Listing,
         "f\ttop.txt\t10\t1563120131.0000000000\nd\tTrip\t4096\t1.0\nd\tTrip/Day 1\t4096\t1.0\n"
         "f\tTrip/Day 1/c.raw\t7\t1563120135.5\nf\tTrip/a.jpg\t3586000\t1563120131.2\n"
         "f\tTrip/b.jpg\t5\t2019-07-14T16:02:13Z\nd\tEmpty\t4096\t1.0\n",
         walkOrder, QStringLiteral("listed"), QStringLiteral("Imported from a file listing."), 3, Dropped{}},
        {"a listing without types, comma-separated with quoting", Format::Listing,
         "path,size,mtime\ntop.txt,10,1563120131\n\"Trip/a.jpg\",3586000,1563120131\n"
         "\"Trip/Day 1/c.raw\",7,1563120135\nTrip/b.jpg,5,1563120133\n",
         walkOrder, QStringLiteral("listed"), QStringLiteral("Imported from a file listing."), 2, Dropped{}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Read r = readBytes(c.text, c.format);
        EXPECT_EQ(r.outcome.error, QString());
        ASSERT_EQ(r.volumes.size(), 1);
        const Volume &v = r.volumes.front();
        EXPECT_EQ(v.refusal, QString());
        EXPECT_EQ(v.name, c.name);
        EXPECT_EQ(v.note, c.notePrefix);
        EXPECT_EQ(v.records, c.records);
        EXPECT_EQ(v.files, 4);
        EXPECT_EQ(v.folders, c.folders);
        EXPECT_EQ(v.dropped.checksums, c.dropped.checksums);
        EXPECT_EQ(v.dropped.tags, c.dropped.tags);
        EXPECT_EQ(v.dropped.comments, c.dropped.comments);
        EXPECT_EQ(v.dropped.archiveMembers, c.dropped.archiveMembers);
        EXPECT_EQ(v.dropped.other, c.dropped.other);
    }
}

TEST(Import, TheFormatIsKnownByTheContent)
{
    const struct
    {
        QByteArray head;
        std::optional<Format> format;
    } cases[] = {
        {"GWhere:0.2.3:2\n", Format::GWhere},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<!DOCTYPE HyperCDCatalogFile>", Format::CdCat},
        {"<catalogSourcePath>/media/dvd\n<catalogFileCount>1\n", Format::Katalog},
        {"\xEF\xBB\xBF{\n  \"children\": [", Format::CatcliJson},
        {"{\"tool\":\"gocatcli\",\"storages\":[]}", Format::GocatcliJson},
        {"# gocatcli\ntool = \"gocatcli\"\n\n[[storages]]\n", Format::GocatcliToml},
        {"[[storages]]\nname = \"D\"\n", Format::GocatcliToml},
        {"Volume,Path,Name,Size,Ext,Last modified,Description\n", Format::VvvCsv},
        {"\"D1\"|\"\\\"|\"a\"|1|\"\"|1/2/2003 10:00|\"\"\n", Format::VvvCsv},
        {"f\ta.txt\t1\t1563120131.0\n", Format::Listing},
        {"f\ta\tb.txt\t1\t1563120131.0\n", Format::Listing}, // a tab inside a name
        {"a.txt,1,2019-07-14T18:02:11\n", Format::Listing},
        {"just some words\n", std::nullopt},
        {"  \n", std::nullopt},
    };
    for (const auto &c : cases) {
        QString why;
        EXPECT_EQ(detectFormatOfText(c.head, &why), c.format) << c.head.constData();
        EXPECT_EQ(why.isEmpty(), c.format.has_value());
    }
}

// Each hostile input is named, and refuses no more than it must: the volume it is in, or the
// whole file when the file as a whole cannot be trusted.
TEST(Import, HostileInputIsRefusedWithItsReason)
{
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    const QByteArray longName = QByteArray(256, 'n');
    struct Case
    {
        const char *what;
        Format format;
        QByteArray text;
        const char *fileError; // in the outcome's error, when the file is refused
        const char *refusal;   // in the first volume's refusal
        const char *warning;   // in the first volume's warnings
    };
    const QList<Case> cases = {
        {"a gzip file cut short", Format::GWhere,
         gzip(QByteArray("GWhere:0.2.3:2\n//\nD:1:a:b:c:d:1:1:1::0:\n")).left(30), "cut short", nullptr,
         nullptr},
        {"XML entity declarations", Format::CdCat,
         "<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY a \"aaaaaaaa\">]>\n<catalog>&a;</catalog>",
         "entities", nullptr, nullptr},
        {"an external entity", Format::CdCat,
         "<?xml version=\"1.0\"?>\n<!DOCTYPE catalog SYSTEM \"file:///etc/passwd\">\n<catalog/>", "entities",
         nullptr, nullptr},
        {"JSON nested 100,000 deep", Format::CatcliJson, deep, "nesting deeper than 512 levels", nullptr,
         nullptr},
        {"a broken JSON text names the volume it broke in", Format::CatcliJson,
         R"({"children":[{"name":"D","type":"storage","children":[{"name":"a","type":"file",)",
         "the text ends", "the text ends", nullptr},
        {"\"..\" in a listing", Format::Listing, "f\tok.txt\t1\t0\nf\ta/../../etc/passwd\t1\t0\n", nullptr,
         "a name \".\" or \"..\" at \"a/..\"", nullptr},
        {"a line without its type after typed ones", Format::Listing, "f\ta\t1\t0\nf\tb\t+02:00\n", nullptr,
         "3 fields, not 4", nullptr},
        {"an absolute path", Format::Listing, "f\t/etc/passwd\t1\t0\n", nullptr, "is absolute", nullptr},
        {"a NUL in a name", Format::CatcliJson,
         R"({"children":[{"name":"D","type":"storage","children":[{"name":"a\u0000b","type":"file","size":1}]}]})",
         nullptr, "NUL", nullptr},
        {"a name over 255 bytes", Format::Listing, "f\t" + longName + "\t1\t0\n", nullptr,
         "longer than 255 bytes", nullptr},
        {"a negative size", Format::Listing, "f\ta\t-1\t0\n", nullptr, "a negative size", nullptr},
        {"a size beyond 64 bits", Format::CatcliJson,
         R"({"children":[{"name":"D","type":"storage","children":[{"name":"a","type":"file","size":18446744073709551616}]}]})",
         nullptr, "beyond 64 bits", nullptr},
        {"a size beyond 64 bits in CdCat", Format::CdCat,
         "<catalog><media name=\"D\" type=\"CD\"><file name=\"a\" size=\"99999999999.00 Tb\" "
         "time=\"\"/></media></catalog>",
         nullptr, "beyond 64 bits", nullptr},
        {"dates out of range are clamped and said", Format::Listing,
         "f\ta\t1\t-99999999999999999999\nf\tb\t1\t1e400\n", nullptr, "neither seconds", nullptr},
        {"dates before 1980", Format::Listing, "f\ta\t1\t1234\nf\tb\t1\t99999999999\n", nullptr, nullptr,
         "before 1980 or after 2107"},
        {"control characters are recorded as the walk records them", Format::Listing,
         "f\ta\x01"
         "b\t1\t315532800\n",
         nullptr, nullptr, "control characters"},
        {"an unknown entry kind", Format::GocatcliJson,
         R"({"storages":[{"name":"D","children":[{"name":"x","filetype":"socket"}]}]})", nullptr,
         "unknown kind", nullptr},
        {"TOML tables nested without end", Format::GocatcliToml,
         "[" + QByteArray(2000, 'a').replace("a", "a.") + "b]\n", "deeper than 256", nullptr, nullptr},
        {"a TOML catalog past its size cap", Format::GocatcliToml,
         "[[storages]]\nname = \"D\"\n#" + QByteArray(16 << 20, 'x'), "not read", nullptr, nullptr},
        {"broken TOML", Format::GocatcliToml, "[[storages]\nname = 1\n", "TOML: ", nullptr, nullptr},
        {"children listed by number", Format::GocatcliJson, R"({"storages":[{"name":"D","children":[2,3]}]})",
         nullptr, "listed by number", nullptr},
        {"a disk line with missing fields", Format::GWhere, "GWhere:0.2.3:2\n//\nD:1:2\n\\\n", nullptr,
         "3 fields", nullptr},
        {"a Katalog path outside its source", Format::Katalog,
         "<catalogSourcePath>/media/dvd\n/etc/passwd\t1\t2019/01/01 00:00:00\n", nullptr, "not inside",
         nullptr},
        {"a VVV header naming columns past the lines' end", Format::VvvCsv,
         "Volume,Path,Name,Ext,Last modified,Description,Size\nD,\\,a,txt,2019-01-01 00:00,\n", "7 or more",
         nullptr, nullptr},
        {"a VVV volume whose rows are apart", Format::VvvCsv,
         "A,\\,a,1,,2019-01-01 00:00,\nB,\\,b,1,,2019-01-01 00:00,\nA,\\,c,1,,2019-01-01 00:00,\n", nullptr,
         nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Read r = readBytes(c.text, c.format);
        if (c.fileError) {
            EXPECT_TRUE(r.outcome.error.contains(QLatin1String(c.fileError)))
                << r.outcome.error.toStdString();
        }
        if (c.refusal) {
            ASSERT_FALSE(r.volumes.isEmpty());
            EXPECT_TRUE(r.volumes.front().refusal.contains(QLatin1String(c.refusal)))
                << r.volumes.front().refusal.toStdString();
            EXPECT_TRUE(r.volumes.front().records.isEmpty());
        }
        if (c.warning) {
            ASSERT_FALSE(r.volumes.isEmpty());
            EXPECT_TRUE(r.volumes.front().sound()) << r.volumes.front().refusal.toStdString();
            EXPECT_TRUE(r.volumes.front().warnings.join(u' ').contains(QLatin1String(c.warning)))
                << r.volumes.front().warnings.join(u' ').toStdString();
        }
    }
    // The volume that came back is refused; the two before it stand.
    const Read apart = readBytes(cases.back().text, Format::VvvCsv);
    ASSERT_EQ(apart.volumes.size(), 3);
    EXPECT_TRUE(apart.volumes[0].sound());
    EXPECT_TRUE(apart.volumes[1].sound());
    EXPECT_TRUE(apart.volumes[2].refusal.contains(QLatin1String("not together")));
}

// Katalog's file lines name only files; the folders file beside the catalog adds the empty
// folders, and the records stay as the file lines give them.
TEST(Import, KatalogEmptyFoldersComeFromTheFoldersFileBesideIt)
{
    const QString dir = ambrytest::makeTempDir();
    const QByteArray idx = "<catalogSourcePath>/media/dvd/\n<catalogID>7\n"
                           "/media/dvd/Trip/a.jpg\t5\t2019/07/14 18:02:11\n";
    struct Case
    {
        const char *what;
        QByteArray folders; // absent when null
        qint64 expected;
        const char *refusal;
    } cases[] = {
        {"no folders file", QByteArray(), 1, nullptr},
        {"the folders of this catalog, the source itself among them", "7\t/media/dvd\n7\t/media/dvd/Trip\n"
         "7\t/media/dvd/Trip/Empty\n7\t/media/dvd/Other/Deep/\n8\t/media/dvd/Not ours\n", 4, nullptr},
        {"a folder outside the source", "7\t/etc\n", 0, "not inside"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir + QStringLiteral("/Shelf 1.idx");
        const QString foldersPath = dir + QStringLiteral("/Shelf 1.folders.idx");
        ambrytest::writeFile(path, idx);
        QFile::remove(foldersPath);
        if (!c.folders.isNull())
            ambrytest::writeFile(foldersPath, c.folders);
        QList<Volume> volumes;
        const ReadOutcome out = readVolumes(path, Format::Katalog, Options(), [&](Volume &&v) {
            volumes.append(std::move(v));
            return true;
        });
        EXPECT_EQ(out.error, QString());
        ASSERT_EQ(volumes.size(), 1);
        EXPECT_EQ(volumes.front().name, QStringLiteral("Shelf 1"));
        if (c.refusal) {
            EXPECT_TRUE(volumes.front().refusal.contains(QLatin1String(c.refusal)))
                << volumes.front().refusal.toStdString();
            continue;
        }
        EXPECT_EQ(volumes.front().refusal, QString());
        EXPECT_EQ(volumes.front().folders, c.expected);
        EXPECT_EQ(volumes.front().records, rec("Trip", "a.jpg", 5, local(2019, 7, 14, 18, 2, 11)));
    }
}

TEST(Import, ACompressionBombIsStoppedSoonAfterTheFloor)
{
    // Unpacks to about 1,000 times its size: read straight, as every reader reads it, the
    // unpacking stops a block past the floor with the reason.
    const QByteArray bomb = gzip(QByteArray(InputStream::kRatioFloor + (16 << 20), '\n'));
    InputStream in;
    in.openBytes(bomb);
    QByteArray block(1 << 20, Qt::Uninitialized);
    qint64 unpacked = 0;
    while (const qsizetype n = in.read(block.data(), block.size()))
        unpacked += n;
    EXPECT_TRUE(in.error().contains(QLatin1String("compression bomb"))) << in.error().toStdString();
    EXPECT_LE(unpacked, InputStream::kRatioFloor + block.size());
}

TEST(Import, CdCatInAnEncodingQtHasNoCodecFor)
{
    // "Žluťoučký kůň" in ISO-8859-2.
    const QByteArray name = "\xAElu\xBBou\xE8k\xFD k\xF9\xF2";
    const QByteArray text = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<!DOCTYPE HyperCDCatalogFile>\n"
                            "<catalog><media name=\"" +
                            name +
                            "\" type=\"CD\" time=\"2024-05-01 10:00:00\">"
                            "<file name=\"" +
                            name +
                            ".txt\" size=\"1.50 Kb\" time=\"2001-02-03 04:05:06\"/>"
                            "</media></catalog>";
    const Read r = readBytes(gzip(text), Format::CdCat);
    ASSERT_EQ(r.volumes.size(), 1);
    EXPECT_EQ(r.outcome.error, QString());
    const QString expected = QString::fromUtf8("\xC5\xBDlu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88");
    EXPECT_EQ(r.volumes.front().name, expected);
    EXPECT_EQ(r.volumes.front().records, rec("\\", (expected + QStringLiteral(".txt")).toUtf8().constData(),
                                             1536, local(2001, 2, 3, 4, 5, 6)));
    EXPECT_EQ(r.volumes.front().archivedAt, QDateTime(QDate(2024, 5, 1), QTime(10, 0)));
}

TEST(Import, VvvDatesFollowTheOrderTheFileShowsOrTheOneGiven)
{
    const QByteArray ambiguous = "D,\\,a.txt,1,txt,03/04/2001 1:05 PM,\n";
    const QByteArray telling = ambiguous + "D,\\,b.txt,1,txt,25/04/2001 13:05:07,\n";
    struct Case
    {
        QByteArray text;
        DateOrder given;
        int32_t first;
        bool warned;
    } cases[] = {
        {telling, DateOrder::Unknown, local(2001, 4, 3, 13, 5, 0), false},
        {ambiguous, DateOrder::MonthDayYear, local(2001, 3, 4, 13, 5, 0), false},
        {ambiguous, DateOrder::DayMonthYear, local(2001, 4, 3, 13, 5, 0), false},
        {ambiguous, DateOrder::Unknown, 0, true},
    };
    for (const Case &c : cases) {
        Options o;
        o.dateOrder = c.given;
        const Read r = readBytes(c.text, Format::VvvCsv, o);
        ASSERT_EQ(r.volumes.size(), 1);
        if (c.first != 0) {
            EXPECT_TRUE(r.volumes.front().records.startsWith(rec("\\", "a.txt", 1, c.first)));
        }
        EXPECT_EQ(r.volumes.front().warnings.join(u' ').contains(QLatin1String("day first or month first")),
                  c.warned);
    }
}

TEST(Import, ASinkThatStopsEndsTheReadingAndCountOnlyKeepsNoRecords)
{
    const QByteArray two = R"({"storages":[{"name":"A","children":[{"name":"a","filetype":"file","size":3}]},
                                           {"name":"B","children":[]}]})";
    Options o;
    o.countOnly = true;
    int seen = 0;
    const ReadOutcome out = readVolumesFromBytes(two, Format::GocatcliJson, QString(), o, [&](Volume &&v) {
        ++seen;
        EXPECT_TRUE(v.records.isEmpty());
        EXPECT_EQ(v.files, 1);
        EXPECT_EQ(v.bytes, 3);
        return false;
    });
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(out.stopped);
}
