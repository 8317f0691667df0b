#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/Archive.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/Checksum.h"
#include "catalog/ProgramCatalog.h"
#include "settings/gRegistry.h"
#include "util/AmbryError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

// A catalog that records its numbers where the program does.
catalog::Catalog numberedCatalog(const QString &folder)
{
    return catalog::Catalog(folder, catalog::settingsNumberStore());
}

const QByteArray WorkedRecords = QByteArrayLiteral("\\\r\nreadme.txt\r\n1234\r\n950948495\r\n"
                                                   "Music\r\ntrack01.mp3\r\n4321987\r\n950898757\r\n");

ArchiveFields workedFields()
{
    ArchiveFields f;
    f.mark = QStringLiteral("CD No: 7");
    f.location = QStringLiteral("Shelf A");
    f.note = QStringLiteral("Holiday music");
    f.files = 2;
    f.dirs = 1;
    f.size = 4323221;
    f.number = 7;
    f.savedAt = QDateTime(QDate(2009, 3, 2), QTime(21, 15, 8), Qt::LocalTime);
    return f;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

} // namespace

TEST(ArchiveWriter, ReproducesTheWorkedExampleByteForByte)
{
    DeleteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"));
    const QString dir = ambrytest::makeTempDir(QStringLiteral("cat"));
    const QString checksum = checksumOfBytes(WorkedRecords);
    ASSERT_EQ(checksum, QStringLiteral("450495"));

    const QString path = writeNewArchive(numberedCatalog(dir), WorkedRecords, checksum, workedFields());

    EXPECT_EQ(path, dir + QStringLiteral("/450495.dat"));
    EXPECT_EQ(ambrytest::readFile(path), WorkedRecords + "ADate=979544548\r\n"
                                                         "AMark=CD No: 7\r\n"
                                                         "ALocation=Shelf A\r\n"
                                                         "ACRC=450495\r\n"
                                                         "AFiles=2\r\n"
                                                         "ADirs=1\r\n"
                                                         "ANote=Holiday music\r\n"
                                                         "ASize=4323221\r\n"
                                                         "ANumber=7\r\n"
                                                         "ASource=CD/DVD\r\n"
                                                         "APicture=\r\n"
                                                         "AEnd=EndTag\r\n");
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QStringLiteral("7"));
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("450495.dat")}); // nothing left behind
}

TEST(ArchiveWriter, FieldTextsAreTrimmedAndKeptOnOneLine)
{
    struct Case
    {
        const char *what;
        QString in;
        QByteArray stored;
    };
    const Case cases[] = {
        {"blanks and controls around", QStringLiteral(" \t CD 1 \r\n"), "CD 1"},
        {"line break inside", QStringLiteral("a\r\nANumber=999\nb"), "a  ANumber=999 b"},
        {"NUL inside", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), "a b"},
        {"empty", QString(), ""},
        {"only blanks", QStringLiteral("   "), ""},
        {"accented", QString::fromUtf8(" Été "), "\xc3\x89t\xc3\xa9"},
    };
    const QString dir = ambrytest::makeTempDir(QStringLiteral("trim"));
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ArchiveFields f = workedFields();
        f.mark = f.location = f.note = c.in;
        const QString path = writeNewArchive(numberedCatalog(dir), WorkedRecords, QString::number(++n), f);
        const Archive a = Archive::load(path);
        EXPECT_EQ(a.lineCount(), 20); // no line was added
        for (const char16_t *key : {u"AMark", u"ALocation", u"ANote"})
            EXPECT_EQ(a.rawValue(QString::fromUtf16(key)).toByteArray(), c.stored);
        EXPECT_EQ(a.value(QStringLiteral("ANumber")), QStringLiteral("7"));
    }
}

TEST(ArchiveWriter, NumbersAndDates)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("num"));
    ArchiveFields f = workedFields();
    f.files = 5'000'000'000ll;
    f.size = -1294967296;
    f.dirs = 0;
    f.number = -3;
    f.savedAt = QDateTime(QDate(2044, 1, 1), QTime(0, 0, 0), Qt::LocalTime);
    const Archive a =
        Archive::load(writeNewArchive(numberedCatalog(dir), WorkedRecords, QStringLiteral("-42"), f));
    EXPECT_EQ(a.value(QStringLiteral("AFiles")), QStringLiteral("5000000000"));
    EXPECT_EQ(a.value(QStringLiteral("ASize")), QStringLiteral("-1294967296"));
    EXPECT_EQ(a.value(QStringLiteral("ADirs")), QStringLiteral("0"));
    EXPECT_EQ(a.value(QStringLiteral("ANumber")), QStringLiteral("-3"));
    EXPECT_EQ(a.value(QStringLiteral("ACRC")), QStringLiteral("-42"));
    EXPECT_TRUE(a.value(QStringLiteral("ADate")).startsWith(QLatin1Char('-'))); // 2044 and later
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("/-42.dat")));
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QStringLiteral("-3"));
}

TEST(ArchiveWriter, WithoutAClockTheSaveIsDatedNow)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("now"));
    ArchiveFields f = workedFields();
    f.savedAt = QDateTime();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const Archive a =
        Archive::load(writeNewArchive(numberedCatalog(dir), WorkedRecords, QStringLiteral("1"), f));
    const int packed = a.value(QStringLiteral("ADate")).toInt();
    const int year = int(uint32_t(packed) >> 25) + 1980;
    EXPECT_EQ(year, before.date().year() > 2107 ? 2107 : std::max(before.date().year(), 1980));
}

TEST(ArchiveWriter, RecordSectionWithoutFinalLineEnd)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("noeol"));
    const Archive a = Archive::load(
        writeNewArchive(numberedCatalog(dir), "\\\r\na\r\n1\r\n2", QStringLiteral("9"), workedFields()));
    EXPECT_EQ(a.lineText(3), QStringLiteral("2"));
    EXPECT_EQ(a.lineText(4), QStringLiteral("ADate=979544548"));
}

TEST(ArchiveWriter, RefusesWithoutAChecksum)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("nocrc"));
    WriteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"), QStringLiteral("5"));
    for (const QString &crc : {QString(), QStringLiteral("  "), QStringLiteral("\t\r\n")}) {
        try {
            writeNewArchive(numberedCatalog(dir), WorkedRecords, crc, workedFields());
            ADD_FAILURE() << "no error for \"" << crc.toStdString() << '"';
        } catch (const AmbryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Cannot Get CRC."));
        }
    }
    // A checksum that would lead out of the catalog folder.
    for (const QString &crc : {QStringLiteral("../x"), QStringLiteral(".."), QStringLiteral("a/b")})
        EXPECT_THROW(writeNewArchive(numberedCatalog(dir), WorkedRecords, crc, workedFields()), AmbryError);
    EXPECT_TRUE(entries(dir).isEmpty());
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QStringLiteral("5"));
}

TEST(ArchiveWriter, ReplacesAnArchiveOfTheSameName)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("repl"));
    ambrytest::writeFile(dir + QStringLiteral("/450495.dat"), "old");
    const QString path = writeNewArchive(numberedCatalog(dir + QLatin1Char('/')), WorkedRecords,
                                         QStringLiteral("450495"), workedFields());
    EXPECT_EQ(path, dir + QStringLiteral("/450495.dat"));
    EXPECT_TRUE(ambrytest::readFile(path).startsWith(WorkedRecords));
    EXPECT_EQ(entries(dir).size(), 1);
}

TEST(ArchiveWriter, FailureLeavesNoFileBehind)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("fail"));
    // A folder in the way of the archive's name: the rename fails after the data was written.
    ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/7.dat/inside")));
    DeleteSetting(RegKey::V, QStringLiteral("LastArchiveNumber"));
    try {
        writeNewArchive(numberedCatalog(dir), WorkedRecords, QStringLiteral("7"), workedFields());
        ADD_FAILURE() << "no error";
    } catch (const AmbryError &e) {
        EXPECT_TRUE(e.message().contains(dir + QStringLiteral("/7.dat"))) << e.what();
    }
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("7.dat")});
    EXPECT_EQ(ReadSetting(RegKey::V, QStringLiteral("LastArchiveNumber")), QString());
    // A catalog folder that does not exist.
    EXPECT_THROW(writeNewArchive(numberedCatalog(dir + QStringLiteral("/nowhere")), WorkedRecords,
                                 QStringLiteral("8"), workedFields()),
                 AmbryError);
}

TEST(ArchiveWriter, AtomicWriteKeepsPermissions)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("perm"));
    const QString path = dir + QStringLiteral("/p.dat");
    ambrytest::writeFile(path, "one");
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    writeFileAtomically(path, "two");
    EXPECT_EQ(ambrytest::readFile(path), QByteArray("two"));
    struct stat st;
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("p.dat")});

    // A new file gets the usual permissions under the process's file mask.
    const mode_t previous = ::umask(027);
    const QString fresh = dir + QStringLiteral("/fresh.dat");
    writeFileAtomically(fresh, "new");
    ::umask(previous);
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// ---- Changing mark, location and note ----

namespace {

const QByteArray TrickyRecords = QByteArrayLiteral("\\\r\nAMark=x\r\n10\r\n950948495\r\n"
                                                   "AFiles=9\r\nAEnd=EndTag\r\n20\r\n950948495\r\n"
                                                   "ALocation=y\r\nANote=z\r\n30\r\n950948495\r\n");
const QByteArray FieldsHead = QByteArrayLiteral("ADate=979544548\r\nAMark=CD No: 7\r\nALocation=Shelf A\r\n"
                                                "ACRC=1\r\nAFiles=3\r\nADirs=1\r\nANote=Holiday music\r\n");
const QByteArray FieldsTail =
    QByteArrayLiteral("ASize=60\r\nANumber=7\r\nASource=CD/DVD\r\nAPicture=\r\nAEnd=EndTag\r\n");

} // namespace

TEST(ChangeValues, SetRule)
{
    struct Case
    {
        const char *what;
        QByteArray before;
        QString mark, location, note;
        QByteArray after;
    };
    const QByteArray full = TrickyRecords + FieldsHead + FieldsTail;
    const Case cases[] = {
        {"all replaced in place", full, QStringLiteral("CD 8"), QStringLiteral("Box"), QStringLiteral("Gift"),
         TrickyRecords +
             "ADate=979544548\r\nAMark=CD "
             "8\r\nALocation=Box\r\nACRC=1\r\nAFiles=3\r\nADirs=1\r\nANote=Gift\r\n" +
             FieldsTail},
        {"empty location and note deleted", full, QStringLiteral("CD No: 7"), QString(), QString(),
         TrickyRecords + "ADate=979544548\r\nAMark=CD No: 7\r\nACRC=1\r\nAFiles=3\r\nADirs=1\r\n" +
             FieldsTail},
        {"missing ones appended after AEnd, in order",
         TrickyRecords + "ADate=979544548\r\nAMark=CD No: 7\r\nACRC=1\r\nAFiles=3\r\nADirs=1\r\n" +
             FieldsTail,
         QStringLiteral("m"), QStringLiteral("Box"), QStringLiteral("n"),
         TrickyRecords + "ADate=979544548\r\nAMark=m\r\nACRC=1\r\nAFiles=3\r\nADirs=1\r\n" + FieldsTail +
             "ALocation=Box\r\nANote=n\r\n"},
        {"key in another letter case replaced with the caller's key",
         TrickyRecords + "amark=old\r\nAEnd=EndTag\r\n", QStringLiteral("new"), QString(), QString(),
         TrickyRecords + "AMark=new\r\nAEnd=EndTag\r\n"},
        {"the first of two lines in a sound block", full + "AMark=b\r\n", QStringLiteral("c"),
         QStringLiteral("Shelf A"), QStringLiteral("Holiday music"),
         TrickyRecords + QByteArray(FieldsHead).replace("AMark=CD No: 7", "AMark=c") + FieldsTail + "AMark=b\r\n"},
        {"the last of two in a damaged block, the one readers take", TrickyRecords + "AMark=a\r\nAMark=b\r\n",
         QStringLiteral("c"), QString(), QString(), TrickyRecords + "AMark=a\r\nAMark=c\r\n"},
        {"values kept as given, line breaks blanked", full, QStringLiteral(" x "),
         QStringLiteral("a\r\nANote=b"), QStringLiteral("n"),
         TrickyRecords +
             "ADate=979544548\r\nAMark= x \r\nALocation=a  "
             "ANote=b\r\nACRC=1\r\nAFiles=3\r\nADirs=1\r\nANote=n\r\n" +
             FieldsTail},
        {"LF-only records kept byte for byte",
         QByteArray(TrickyRecords).replace("\r\n", "\n") + "AMark=a\nAEnd=EndTag\n", QStringLiteral("b"),
         QString(), QString(),
         QByteArray(TrickyRecords).replace("\r\n", "\n") + "AMark=b\r\nAEnd=EndTag\r\n"},
        {"no fields at all, last line without line end", "\\\r\na\r\n1\r\n2", QStringLiteral("m"), QString(),
         QString(), "\\\r\na\r\n1\r\n2\r\nAMark=m\r\n"},
        {"empty file", "", QStringLiteral("m"), QStringLiteral("l"), QString(), "AMark=m\r\nALocation=l\r\n"},
    };
    const QString dir = ambrytest::makeTempDir(QStringLiteral("chg"));
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir + QStringLiteral("/") + QString::number(++n) + QStringLiteral(".dat");
        ambrytest::writeFile(path, c.before);
        EXPECT_TRUE(ChangeValuesInArchive(c.mark, c.location, c.note, path));
        EXPECT_EQ(ambrytest::readFile(path), c.after);
    }
    EXPECT_EQ(entries(dir).size(), n); // no temporary file left
}

TEST(ChangeValues, EmptiedThenSetAgainIsFoundByReaders)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("again"));
    const QString path = dir + QStringLiteral("/a.dat");
    ambrytest::writeFile(path, TrickyRecords + FieldsHead + FieldsTail);
    ASSERT_TRUE(ChangeValuesInArchive(QStringLiteral("m"), QString(), QStringLiteral("n"), path));
    EXPECT_EQ(Archive::load(path).findField(u"ALocation"), -1);
    ASSERT_TRUE(
        ChangeValuesInArchive(QStringLiteral("m"), QStringLiteral("Attic"), QStringLiteral("n"), path));
    const Archive a = Archive::load(path);
    EXPECT_EQ(a.value(QStringLiteral("ALocation")), QStringLiteral("Attic"));
    EXPECT_EQ(a.lineText(a.lineCount() - 2), QStringLiteral("AEnd=EndTag"));
    EXPECT_EQ(a.lineText(a.lineCount() - 1), QStringLiteral("ALocation=Attic"));
    EXPECT_EQ(Archive::loadFields(path).value(QStringLiteral("ALocation")), QStringLiteral("Attic"));
    EXPECT_EQ(a.lineText(1), QStringLiteral("AMark=x")); // the record is untouched
}

TEST(ChangeValues, FailuresLeaveTheFileAlone)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("chgfail"));
    EXPECT_FALSE(
        ChangeValuesInArchive(QStringLiteral("m"), QString(), QString(), dir + QStringLiteral("/none.dat")));
    EXPECT_FALSE(ChangeValuesInArchive(QStringLiteral("m"), QString(), QString(), dir));
    // Readers stop at a NUL; rewriting would lose what follows it.
    const QByteArray withNul = QByteArray("\\\r\na\0b\r\n1\r\n2\r\nAMark=m\r\n", 24);
    const QString path = dir + QStringLiteral("/nul.dat");
    ambrytest::writeFile(path, withNul);
    EXPECT_FALSE(ChangeValuesInArchive(QStringLiteral("x"), QString(), QString(), path));
    EXPECT_EQ(ambrytest::readFile(path), withNul);
}

TEST(ChangeValues, LinkStaysALink)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("chglink"));
    const QString real = dir + QStringLiteral("/elsewhere/real.dat");
    ambrytest::writeFile(real, TrickyRecords + FieldsHead + FieldsTail);
    const QString link = dir + QStringLiteral("/link.dat");
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(ChangeValuesInArchive(QStringLiteral("linked"), QString(), QString(), link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(Archive::load(real).value(QStringLiteral("AMark")), QStringLiteral("linked"));
}
