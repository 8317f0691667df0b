// The disc image reader: its name, size and time rules, and real images made with xorriso,
// read without mounting and compared with the same image mounted through fuseiso.
#include "DiscImages.h"
#include "helper_tree.h"
#include "scan/DiscWalker.h"
#include "scan/IsoImage.h"

#include "TestSupport.h"
#include "catalog/Checksum.h"
#include "catalog/RecordSection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstring>
#include <iostream>

#include <sys/stat.h>

using namespace scantest;
using namespace ambrytest;

namespace {

using Entry = IsoImage::Entry;

TEST(IsoImageRules, PlainAndJolietNamesAreShownAsLinuxShowsThem)
{
    const struct
    {
        const char *raw;
        const char *plain;
        const char *joliet;
    } cases[] = {
        {"README.TXT;1", "readme.txt", "README.TXT"},
        {"README.;1", "readme", "README"},
        {"DOCS", "docs", "DOCS"},
        {"A;B.TXT;1", "a.b.txt", "A;B.TXT"},
        {"OLD.TXT;2", "old.txt.2", "OLD.TXT;2"},
        {"Mixed Case.txt", "mixed case.txt", "Mixed Case.txt"},
        {"ENDS IN DOTS...", "ends in dots...", "ENDS IN DOTS"},
        {".", ".", "."},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(isoimage::plainName(c.raw), QByteArray(c.plain)) << c.raw;
        EXPECT_EQ(isoimage::jolietName(c.raw), QByteArray(c.joliet)) << c.raw;
    }
}

Entry file(const char *key, qint64 size, quint32 block)
{
    Entry e;
    e.key = key;
    e.name = key;
    e.size = size;
    e.extents.push_back({block, quint32(size)});
    return e;
}

TEST(IsoImageRules, TheSizeOfAFileInPartsIsTheirSum)
{
    // ISO 9660 holds at most 4 GiB - 1 in one record: a larger file lies in parts.
    const qint64 part = 0xFFFFF800; // 4 GiB - 2 KiB, the largest whole-block part
    Entry folder = file("BIG", 0, 0);
    folder.kind = Entry::Kind::Folder;
    std::vector<Entry> entries = {
        file("A", 10, 20),
        file("BIG", part, 30),
        file("BIG", part, 30 + quint32(part / 2048)),
        file("BIG", 2148, 30 + quint32(2 * part / 2048)),
        file("C", 5, 40),
        file("C", 6, 41), // joined as well: one name stands once per folder otherwise
        folder,           // a folder of the same name is its own entry
        file("BIG", 7, 50),
    };
    isoimage::joinParts(entries);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].size, 10);
    EXPECT_EQ(entries[1].key, "BIG");
    EXPECT_EQ(entries[1].size, 2 * part + 2148);
    EXPECT_GT(entries[1].size, qint64(0xFFFFFFFF)) << "beyond what 32 bits hold";
    EXPECT_EQ(entries[1].extents.size(), 3u);
    EXPECT_EQ(entries[1].extents[2].block, 30 + quint32(2 * part / 2048));
    EXPECT_EQ(entries[2].size, 11);
    EXPECT_EQ(entries[3].kind, Entry::Kind::Folder);
    EXPECT_EQ(entries[4].size, 7);

    // The record carries the whole size, as the walk of the mounted image writes it.
    filerecord::SectionBuilder b;
    b.appendAt("\\", entries[1].name, entries[1].size, 0);
    EXPECT_TRUE(b.section().contains("\r\nBIG\r\n8589932644\r\n"));
    EXPECT_EQ(b.bytes(), 2 * part + 2148);
}

TEST(IsoImageRules, RecordedTimesAreTurnedIntoMomentsWithTheirOffset)
{
    const qint64 may14 = 1210760430; // 2008-05-14 10:20:30 GMT
    const struct
    {
        unsigned char raw[7];
        qint64 expected;
        const char *what;
    } shortForms[] = {
        {{108, 5, 14, 10, 20, 30, 0}, may14, "GMT"},
        {{108, 5, 14, 12, 20, 30, 8}, may14, "two hours east"},
        {{108, 5, 14, 5, 20, 30, static_cast<unsigned char>(-20)}, may14, "five hours west"},
        {{108, 5, 14, 10, 20, 30, 100}, may14, "an offset beyond 13 hours is ignored"},
        {{70, 1, 1, 0, 0, 0, 0}, 0, "the epoch"},
        {{200, 1, 1, 0, 0, 0, 0}, 4102444800, "2100"},
    };
    for (const auto &c : shortForms)
        EXPECT_EQ(isoimage::recordingTime(c.raw), c.expected) << c.what;

    unsigned char longForm[17];
    std::memcpy(longForm, "2008051412203000", 16);
    longForm[16] = 8;
    EXPECT_EQ(isoimage::longTime(longForm), may14);
}

// A tree with what images make hard: names in mixed case whose order by name differs from
// their order on the image, names too long for Joliet, accents, blanks, nested and empty
// folders, links.
struct SourceTree
{
    std::string root;
    time_t t2008 = 0;
};

SourceTree makeTree()
{
    SourceTree tree;
    tree.root = newRoot("isotree");
    const std::string &r = tree.root;
    tree.t2008 = localMoment(2008, 5, 14, 10, 20, 30);
    const auto content = [](const std::string &path, qsizetype size, time_t mtime) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(QRandomGenerator::global()->generate());
        ambrytest::writeFile(qpath(path), bytes);
        setTime(path, mtime);
    };
    content(r + "readme.txt", 1234, tree.t2008);
    content(r + "Zebra file.txt", 10, tree.t2008 + 60);
    content(r + "apple.TXT", 11, tree.t2008 + 120);
    content(r + "A very long file name that goes on well past the sixty-four characters Joliet keeps.txt", 12,
            tree.t2008 + 180);
    makeFolder(r + "M\xc3\xbcsik");
    makeFolder(r + "M\xc3\xbcsik/\xc3\x89"
                   "b\xc3\xa8ne");
    content(r + "M\xc3\xbcsik/\xc3\x89"
                "b\xc3\xa8ne/caf\xc3\xa9 no 1.mp3",
            5000, tree.t2008 + 240);
    makeFolder(r + "Docs");
    makeFolder(r + "Docs/2009");
    makeFolder(r + "Docs/2009/Q1");
    content(r + "Docs/2009/Q1/report.pdf", 100000, tree.t2008 + 300);
    content(r + "Docs/notes.txt", 13, localMoment(1999, 12, 31, 23, 59, 58));
    makeFolder(r + "Empty");
    makeFolder(r + "Empty/Nested empty");
    makeFolder(r + "  padded folder ");
    content(r + "  padded folder /inner.txt", 14, tree.t2008);
    makeLink(r + "latest.txt", "Docs/notes.txt", tree.t2008 + 360);
    makeLink(r + "Docs/up.txt", "../readme.txt", tree.t2008 + 420);
    makeLink(r + "nowhere", "missing.txt", tree.t2008 + 480);
    return tree;
}

struct Kind
{
    const char *what;
    QStringList how;
    IsoImage::Names names;
    // The root's files as the image lists them.
    std::vector<QByteArray> rootFiles;
};

const QString kLongName =
    QStringLiteral("A very long file name that goes on well past the sixty-four characters Joliet keeps.txt");

std::vector<Kind> kinds()
{
    return {
        // Listed by their plain names on the image: APPLE.TXT, A_VERY_LONG_FILE_NAME_THAT_.TXT,
        // LATEST.TXT, ...
        {"Rock Ridge and Joliet",
         {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-R"), QStringLiteral("-J"),
          QStringLiteral("-joliet-long")},
         IsoImage::Names::RockRidge,
         {"apple.TXT", kLongName.toUtf8(), "latest.txt", "nowhere", "readme.txt", "Zebra file.txt"}},
        // Joliet sorts by its own names, capitals first.
        {"Joliet only",
         {QStringLiteral("-rockridge"), QStringLiteral("off"), QStringLiteral("-joliet"),
          QStringLiteral("on"), QStringLiteral("-compliance"), QStringLiteral("joliet_long_names")},
         IsoImage::Names::Joliet,
         {kLongName.left(103).toUtf8(), "Zebra file.txt", "apple.TXT", "readme.txt"}},
        // Without Rock Ridge the image has no links.
        {"plain ISO 9660",
         {QStringLiteral("-rockridge"), QStringLiteral("off")},
         IsoImage::Names::Plain,
         {"apple.txt", "a_very_long_file_name_that_.txt", "readme.txt", "zebra_file.txt"}},
    };
}

// The file records of the root, in order.
std::vector<QByteArray> rootFilesOf(const QByteArray &records)
{
    std::vector<QByteArray> names;
    const QList<QByteArray> lines = records.split('\n');
    for (qsizetype i = 0; i + 3 < lines.size(); i += 4)
        if (lines.at(i) == "\\\r")
            names.push_back(lines.at(i + 1).chopped(1));
    return names;
}

TEST(IsoImageRead, AnImageRecordsAsItsMountDoes)
{
    if (const QString why = cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const SourceTree tree = makeTree();
    bool compared = false;
    for (const Kind &kind : kinds()) {
        SCOPED_TRACE(kind.what);
        const QString image = imageOf(tree.root, kind.how);
        ASSERT_FALSE(image.isEmpty());
        QString error;
        const std::unique_ptr<IsoImage> iso = IsoImage::open(image, &error);
        ASSERT_TRUE(iso) << error.toStdString();
        EXPECT_EQ(iso->names(), kind.names);

        DiscWalker fromImage;
        ASSERT_TRUE(fromImage.walkImage(*iso)) << fromImage.failure().toStdString();
        EXPECT_TRUE(fromImage.failure().isEmpty());
        EXPECT_EQ(rootFilesOf(fromImage.records()), kind.rootFiles);
        EXPECT_EQ(fromImage.counts().folders, 8);
        EXPECT_EQ(fromImage.counts().unreadableFolders, 0);

        FuseMount mount;
        if (const QString why = mount.mount(image); !why.isEmpty()) {
            std::cout << "not compared with a mount: " << why.toStdString() << "\n";
            continue;
        }
        DiscWalker fromMount;
        ASSERT_TRUE(fromMount.walk(mount.point()));
        EXPECT_EQ(fromImage.records(), fromMount.records());
        EXPECT_EQ(checksumOfBytes(fromImage.records()), checksumOfBytes(fromMount.records()));
        EXPECT_EQ(fromImage.counts().files, fromMount.counts().files);
        EXPECT_EQ(fromImage.counts().folders, fromMount.counts().folders);
        EXPECT_EQ(fromImage.counts().bytes, fromMount.counts().bytes);
        compared = true;
    }
    if (!compared)
        std::cout << "FUSE is not usable here: the images were read, but not compared with a mount\n";
}

TEST(IsoImageRead, EveryRecordedFileComesBackOutOfTheImage)
{
    if (const QString why = cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const SourceTree tree = makeTree();
    const QString image = imageOf(tree.root, kinds().front().how);
    ASSERT_FALSE(image.isEmpty());
    QString error;
    const std::unique_ptr<IsoImage> iso = IsoImage::open(image, &error);
    ASSERT_TRUE(iso) << error.toStdString();
    DiscWalker walker;
    ASSERT_TRUE(walker.walkImage(*iso));

    const QString out = ambrytest::makeTempDir(QStringLiteral("out"));
    const QList<QByteArray> lines = walker.records().split('\n');
    int copied = 0;
    for (qsizetype i = 0; i + 3 < lines.size(); i += 4) {
        const QByteArray folderLine = lines.at(i).chopped(1);
        const QByteArray name = lines.at(i + 1).chopped(1);
        SCOPED_TRACE(std::string(folderLine.constData()) + " | " + name.constData());
        const std::optional<Entry> found = iso->findRecorded(folderLine, name);
        if (name == "nowhere") {
            EXPECT_FALSE(found) << "a link that leads nowhere has no data";
            continue;
        }
        ASSERT_TRUE(found);
        const QString copy = out + QStringLiteral("/copy") + QString::number(copied++);
        ASSERT_TRUE(iso->copyOut(*found, copy, &error)) << error.toStdString();
        std::string source = tree.root;
        if (folderLine != "\\")
            source += QByteArray(folderLine).replace("\\", "/").toStdString() + "/";
        if (folderLine == "padded folder")
            source = tree.root + "  padded folder /";
        source += name.toStdString();
        EXPECT_EQ(ambrytest::readFile(copy), ambrytest::readFile(qpath(source)));
        struct stat a, b;
        ASSERT_EQ(::stat(QFile::encodeName(copy).constData(), &a), 0);
        ASSERT_EQ(::stat(source.c_str(), &b), 0);
        EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << "the copy keeps the file's time";
    }
    EXPECT_EQ(copied, 10);
    EXPECT_FALSE(iso->findRecorded("Docs", "absent.txt"));
    EXPECT_FALSE(iso->findRecorded("No such folder", "readme.txt"));
}

TEST(IsoImageRead, DamagedAndForeignFilesAreToldApart)
{
    if (const QString why = cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const std::string src = newRoot("isobig");
    QByteArray big(300000, 'x');
    ambrytest::writeFile(qpath(src + "big.bin"), big);
    const QString image = imageOf(src, kinds().front().how);
    ASSERT_FALSE(image.isEmpty());
    const QByteArray whole = ambrytest::readFile(image);

    const QString dir = ambrytest::makeTempDir(QStringLiteral("bad"));
    QByteArray noise(100000, Qt::Uninitialized);
    for (char &c : noise)
        c = char(QRandomGenerator::global()->generate());
    const struct
    {
        const char *what;
        QByteArray bytes; // the file's content; empty name below means no file at all
        bool opens;       // whether it passes for an image at first
        const char *message;
    } cases[] = {
        {"random bytes", noise, false, "is not an ISO 9660 disc image."},
        {"an empty file", QByteArray(), false, "is not an ISO 9660 disc image."},
        {"cut before its volume descriptor", whole.left(20000), false, "is not an ISO 9660 disc image."},
        {"cut inside its files' data", whole.left(whole.size() / 2), true,
         "is damaged: it ends before the data of"},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir + QStringLiteral("/case") + QString::number(n++) + QStringLiteral(".iso");
        ambrytest::writeFile(path, c.bytes);
        QString error;
        const std::unique_ptr<IsoImage> iso = IsoImage::open(path, &error);
        if (!c.opens) {
            EXPECT_FALSE(iso);
            EXPECT_TRUE(error.contains(QLatin1String(c.message))) << error.toStdString();
            EXPECT_TRUE(error.contains(path));
            continue;
        }
        ASSERT_TRUE(iso) << error.toStdString();
        DiscWalker walker;
        EXPECT_FALSE(walker.walkImage(*iso));
        EXPECT_TRUE(walker.failure().contains(QLatin1String(c.message))) << walker.failure().toStdString();
    }

    QString error;
    EXPECT_FALSE(IsoImage::open(dir + QStringLiteral("/missing.iso"), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot read '"))) << error.toStdString();
    EXPECT_FALSE(IsoImage::open(dir, &error));
    EXPECT_EQ(error, isoimage::notAnImage(dir));
}

TEST(IsoImageRead, AFolderMovedForItsDepthIsCountedAsUnreadable)
{
    if (const QString why = cannotMakeImages(); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    // Rock Ridge images may move folders deeper than eight levels up to the root and leave a
    // stand-in where they were; the reader cannot follow it, and says so.
    const std::string src = newRoot("isodeep");
    std::string path = src;
    for (const char *name : {"a", "b", "c", "d", "e", "f", "g", "h", "i"}) {
        path += std::string(name) + "/";
        makeFolder(path);
    }
    makeFile(path + "deep.txt", 4, localMoment(2010, 1, 1, 0, 0, 0));
    const QString image = imageOf(src, {QStringLiteral("-compliance"), QStringLiteral("deep_paths_off")});
    ASSERT_FALSE(image.isEmpty());
    QString error;
    const std::unique_ptr<IsoImage> iso = IsoImage::open(image, &error);
    ASSERT_TRUE(iso) << error.toStdString();
    DiscWalker walker;
    ASSERT_TRUE(walker.walkImage(*iso));
    EXPECT_EQ(walker.counts().unreadableFolders, 1);
}

} // namespace
