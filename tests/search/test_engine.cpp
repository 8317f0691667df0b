#include "helper_archives.h"

#include "TestSupport.h"
#include "catalog/ArchiveFieldValues.h"
#include "catalog/ArchiveText.h"
#include "catalog/Catalog.h"
#include "catalog/DosDateTime.h"
#include "search/CaseFold.h"
#include "search/DateText.h"
#include "search/SearchEngine.h"
#include "search/SkimKernel.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace search;
using namespace searchtest;

namespace {

QByteArray packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QByteArray::number(dosdate::pack(y, mo, d, h, mi, s));
}

const QList<Rec> &sampleRecords()
{
    static const QList<Rec> recs = {
        {"\\", "readme.txt", "1234"},     {"Music", "song.MP3", "4321987"},
        {"Music\\Rock", "xacx.ogg", "0"}, {"docs.txt", "notes", "1000"},
        {"\\", ".profile", "1001"},       {"Music", "my song.mp3", "-1294967296"},
        {"\\", "abc.dat", "999"},
    };
    return recs;
}

class EngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = ambrytest::makeTempDir(QStringLiteral("engine"));
        writeArchive(dir, QStringLiteral("1.dat"), sampleRecords(), Fields{"CD 1", {}, {}, true});
    }
    QStringList find(const SearchCriteria &c, bool fast = true)
    {
        QStringList names;
        for (const Row &r : searchFolder(dir, c, nullptr, fast))
            names.append(QString::fromUtf8(r.name));
        return names;
    }
    QString dir;
};

struct Case
{
    const char *what;
    std::function<void(SearchCriteria &)> set;
    QStringList expected;
};

const QStringList All = {QStringLiteral("readme.txt"), QStringLiteral("song.MP3"),
                         QStringLiteral("xacx.ogg"),   QStringLiteral("notes"),
                         QStringLiteral(".profile"),   QStringLiteral("my song.mp3"),
                         QStringLiteral("abc.dat")};

QStringList L(std::initializer_list<const char *> names)
{
    QStringList out;
    for (const char *n : names)
        out.append(QString::fromUtf8(n));
    return out;
}

} // namespace

TEST_F(EngineTest, CriteriaSelectTheRecordsTheRulesSay)
{
    const auto simple = [](const char *text) {
        return [text](SearchCriteria &c) { c.searchText = QString::fromUtf8(text); };
    };
    const auto advanced = [](const char *text, bool marks, bool dirs, bool files, bool types,
                             bool cs = false) {
        return [=](SearchCriteria &c) {
            c.AdvancedMode = true;
            c.searchText = QString::fromUtf8(text);
            c.marks = marks;
            c.dirs = dirs;
            c.files = files;
            c.types = types;
            c.caseSensitive = cs;
        };
    };
    const auto size = [](bool atMost, int position, const char *unit) {
        return [=](SearchCriteria &c) {
            c.AdvancedMode = true;
            c.sizeActive = true;
            c.sizeAtMost = atMost;
            SizeChange(position, sizeUnitNamed(QString::fromUtf8(unit)), c);
        };
    };
    const QList<Case> cases = {
        {"empty text lists everything", simple(""), All},
        {"only wildcards list everything", simple("*?*"), All},
        {"*.txt in folder or name, any case", simple("*.TxT"), L({"readme.txt", "notes"})},
        {"a?c is ac", simple("a?c"), L({"xacx.ogg"})},
        {"leading blank is part of the text", simple(" song"), L({"my song.mp3"})},
        {"substring of the name", simple("song"), L({"song.MP3", "my song.mp3"})},
        {"folder line is searched", simple("rock"), L({"xacx.ogg"})},
        {"root folder line is searched", simple("\\"), L({"readme.txt", "xacx.ogg", ".profile", "abc.dat"})},
        {"no match across folder and name", simple("rock\nxacx"), {}},
        {"code 255 does not join fields", simple("rock\xc3\xbfxacx"), {}},
        {"simple mode ignores the size criterion",
         [](SearchCriteria &c) {
             c.sizeActive = true;
             c.SizeLimit = 1000000000;
         },
         All},
        {"simple mode ignores unchecked fields",
         [](SearchCriteria &c) {
             c.searchText = QStringLiteral("rock");
             c.dirs = false;
         },
         L({"xacx.ogg"})},
        {"advanced, no field: text finds nothing", advanced("song", false, false, false, false), {}},
        {"advanced, no field: empty text finds all", advanced("", false, false, false, false), All},
        {"advanced type only", advanced(".mp3", false, false, false, true), L({"song.MP3", "my song.mp3"})},
        {"advanced type only, case sensitive", advanced(".mp3", false, false, false, true, true),
         L({"my song.mp3"})},
        {"advanced name part only", advanced(".mp3", false, false, true, false), {}},
        {"advanced name part and type are two fields", advanced("song.mp3", false, true, true, true), {}},
        {"advanced name without dot is all name", advanced("notes", false, false, true, false), L({"notes"})},
        {"advanced dot-name is all type", advanced("profile", false, false, false, true), L({".profile"})},
        {"advanced dot-name has no name part", advanced("profile", false, false, true, false), {}},
        {"advanced folder only", advanced("music", false, true, false, false),
         L({"song.MP3", "xacx.ogg", "my song.mp3"})},
        {"advanced mark matches every record", advanced("cd 1", true, false, false, false), All},
        {"advanced mark, case sensitive", advanced("cd 1", true, false, false, false, true), {}},
        {"at least 0 KiloBytes: non-negative sizes", size(false, 0, "KiloBytes"),
         L({"readme.txt", "song.MP3", "xacx.ogg", "notes", ".profile", "abc.dat"})},
        {"at most 0 Bytes: empty and negative", size(true, 0, "Bytes"), L({"xacx.ogg", "my song.mp3"})},
        {"at most 1 KiloBytes is 1,000 bytes", size(true, 1, "KiloBytes"),
         L({"xacx.ogg", "notes", "my song.mp3", "abc.dat"})},
        {"at least 1 KiloBytes", size(false, 1, "KiloBytes"),
         L({"readme.txt", "song.MP3", "notes", ".profile"})},
        {"unknown unit multiplies by 0", size(false, 5, "TeraBytes"),
         L({"readme.txt", "song.MP3", "xacx.ogg", "notes", ".profile", "abc.dat"})},
        {"mark restriction, other mark", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("CD 2"); }, {}},
        {"mark restriction is case sensitive",
         [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("cd 1"); },
         {}},
        {"mark restriction, same mark", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("CD 1"); }, All},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        SearchCriteria c;
        tc.set(c);
        EXPECT_EQ(find(c, true), tc.expected);
        EXPECT_EQ(find(c, false), tc.expected) << "Unicode path";
    }
}

TEST(EngineDates, DateRangeIsInclusiveAndOrderFree)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("dates"));
    writeArchive(dir, QStringLiteral("d.dat"),
                 {{"\\", "before", "1", packed(2008, 3, 9, 23, 59, 58)},
                  {"\\", "first", "1", packed(2008, 3, 10, 0, 0, 0)},
                  {"\\", "middle", "1", packed(2008, 3, 12, 12, 0, 0)},
                  {"\\", "last", "1", packed(2008, 3, 15, 23, 59, 58)},
                  {"\\", "after", "1", packed(2008, 3, 16, 0, 0, 0)},
                  {"\\", "garbage", "1", "soon"}});
    SearchCriteria c;
    c.AdvancedMode = true;
    c.dateActive = true;
    DateChange(QDate(2008, 3, 15), QDate(2008, 3, 10), c);
    EXPECT_EQ(c.DateFrom, dosdate::pack(2008, 3, 10, 0, 0, 0));
    EXPECT_EQ(c.DateTo, dosdate::pack(2008, 3, 15, 23, 59, 58));
    CollectSink sink;
    SearchEngine engine(c, sink);
    engine.SearchArchive(catalog::Catalog(dir));
    EXPECT_EQ(sink.names(), L({"first", "middle", "last"}));

    // Years outside 1980..2107 pack to 0.
    EXPECT_EQ(dosdate::packOrZero(1979, 12, 31, 0, 0, 0), 0);
    EXPECT_EQ(dosdate::packOrZero(2108, 1, 1, 0, 0, 0), 0);
    EXPECT_NE(dosdate::packOrZero(2107, 12, 31, 0, 0, 0), 0);
    // From 2044 on the packed value is written negative; packed values order as unsigned
    // numbers, so a range may start before 2044 and end after it.
    DateChange(QDate(2040, 1, 1), QDate(2050, 1, 2), c);
    EXPECT_GT(c.DateFrom, 0);
    EXPECT_LT(c.DateTo, 0);
    struct Case
    {
        QByteArray line;
        bool in;
    };
    const Case cases[] = {
        {packed(2043, 12, 31, 23, 59, 58), true},
        {packed(2044, 1, 1, 0, 0, 0), true},
        {packed(2050, 1, 2, 23, 59, 58), true},
        {packed(2050, 1, 3, 0, 0, 0), false},
        {packed(2039, 12, 31, 23, 59, 58), false},
        {"0", false},
        {QByteArray::number(qint64(uint32_t(dosdate::pack(2045, 1, 1, 0, 0, 0)))), true}, // unsigned form
        {QByteArray::number(qint64(uint32_t(dosdate::pack(2045, 1, 1, 0, 0, 0))) + (qint64(1) << 32)), false},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(DateInRange(tc.line, c), tc.in) << tc.line.constData();
}

TEST(EngineCriteria, LinesThatAreNotNumbersCountAsZero)
{
    SearchCriteria c;
    c.DateFrom = 0;
    c.DateTo = 10;
    EXPECT_TRUE(DateInRange("x", c));
    EXPECT_TRUE(DateInRange("10", c));
    EXPECT_FALSE(DateInRange("11", c));
    EXPECT_FALSE(DateInRange("-1", c));

    c.SizeLimit = 1234;
    c.sizeAtMost = false;
    EXPECT_TRUE(SizeMatches("1.234", c)) << "dots are dropped before reading";
    EXPECT_FALSE(SizeMatches("1.233", c));
    EXPECT_FALSE(SizeMatches("12a4", c));
    c.sizeAtMost = true;
    EXPECT_TRUE(SizeMatches("12a4", c));
    EXPECT_TRUE(SizeMatches("1234", c));
    EXPECT_FALSE(SizeMatches("1235", c));

    // 64-bit sizes from archives written by this program.
    c.sizeAtMost = false;
    c.SizeLimit = 4000000000;
    EXPECT_TRUE(SizeMatches("5000000000", c));
    EXPECT_FALSE(SizeMatches("99999999999999999999", c)) << "out of range counts as 0";

    EXPECT_EQ(sizeMultiplier(SizeUnit::GigaBytes), 1000000000);
    SizeChange(32767, SizeUnit::GigaBytes, c);
    EXPECT_EQ(c.SizeLimit, 32767000000000LL);
}

TEST(EngineCriteria, NumbersAndNameParts)
{
    struct N
    {
        const char *text;
        bool ok;
        qint64 value;
    };
    const N numbers[] = {{"0", true, 0},
                         {"-1294967296", true, -1294967296LL},
                         {"+12", true, 12},
                         {"9223372036854775807", true, INT64_MAX},
                         {"-9223372036854775808", true, INT64_MIN},
                         {"9223372036854775808", false, 0},
                         {"", false, 0},
                         {"-", false, 0},
                         {" 1", false, 0},
                         {"1 ", false, 0},
                         {"1,000", false, 0},
                         {"0x10", false, 0}};
    for (const N &n : numbers) {
        SCOPED_TRACE(n.text);
        qint64 v = 0;
        EXPECT_EQ(parseDecimal64(QByteArrayView(n.text), &v), n.ok);
        if (n.ok) {
            EXPECT_EQ(v, n.value);
        }
    }
    EXPECT_EQ(namePart("a.b.c"), QByteArrayView("a.b"));
    EXPECT_EQ(typePart("a.b.c"), QByteArrayView(".c"));
    EXPECT_EQ(namePart("README"), QByteArrayView("README"));
    EXPECT_TRUE(typePart("README").isEmpty());
    EXPECT_TRUE(namePart(".profile").isEmpty());
    EXPECT_EQ(typePart(".profile"), QByteArrayView(".profile"));

    EXPECT_EQ(normaliseWord(QStringLiteral("*.mp3"), false, false), QStringLiteral(".MP3"));
    EXPECT_EQ(normaliseWord(QStringLiteral("a?c"), true, false), QStringLiteral("ac"));
    EXPECT_EQ(normaliseWord(QStringLiteral(" x "), false, false), QStringLiteral(" X "));
}

TEST(EngineMarks, UnknownStandsForAnEmptyMark)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("marks"));
    writeArchive(dir, QStringLiteral("a.dat"), {{"\\", "empty-mark"}}, Fields{"  ", {}, {}, true});
    writeArchive(dir, QStringLiteral("b.dat"), {{"\\", "named-unknown"}}, Fields{"Unknown", {}, {}, true});
    writeArchive(dir, QStringLiteral("c.dat"), {{"\\", "other"}}, Fields{" CD 5 ", {}, {}, true});
    SearchCriteria c;
    c.OnlyMark = QStringLiteral("Unknown");
    const QList<Row> rows = searchFolder(dir, c);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].name, "empty-mark");
    EXPECT_EQ(rows[0].mark, QStringLiteral("Unknown"));
    EXPECT_EQ(rows[1].name, "named-unknown");
    c.OnlyMark = QStringLiteral("CD 5");
    const QList<Row> trimmed = searchFolder(dir, c);
    ASSERT_EQ(trimmed.size(), 1);
    EXPECT_EQ(trimmed[0].mark, QStringLiteral("CD 5"));

    // One disc's files: another disc's damage is not named, the disc's own is.
    Fields damagedFields{"Other", "two", {}, true};
    writeArchive(dir, QStringLiteral("d.dat"), {{"\\", "x"}}, damagedFields);
    SearchProblems problems;
    searchFolder(dir, c, &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.damagedArchives.join(QLatin1Char(' ')).toStdString();
    c.OnlyMark = QStringLiteral("Other");
    searchFolder(dir, c, &problems);
    EXPECT_EQ(problems.damagedArchives.size(), 1);
}

TEST(EngineArchives, DamagedArchivesGiveTheirWholeRecordsAndAreNamed)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("malformed"));
    const QList<Rec> two = {{"\\", "one.txt"}, {"\\", "two.txt"}};
    Fields noFiles;
    noFiles.writeFiles = false;
    writeArchive(dir, QStringLiteral("01-missing-afiles.dat"), two, noFiles);
    writeArchive(dir, QStringLiteral("02-empty-afiles.dat"), two, Fields{"M", " ", {}, true});
    writeArchive(dir, QStringLiteral("03-text-afiles.dat"), two, Fields{"M", "two", {}, true});
    writeArchive(dir, QStringLiteral("04-text-apars.dat"), two, Fields{"M", {}, "four", true});
    writeArchive(dir, QStringLiteral("05-zero-apars.dat"), two, Fields{"M", {}, "0", true});
    writeArchive(dir, QStringLiteral("06-beyond.dat"), two, Fields{"M", "5", {}, true});
    writeArchive(dir, QStringLiteral("07-zero-afiles.dat"), two, Fields{"M", "0", {}, true});
    writeArchive(dir, QStringLiteral("08-negative-afiles.dat"), two, Fields{"M", "-3", {}, true});
    writeArchive(dir, QStringLiteral("09-good.dat"), {{"\\", "good.txt"}});
    writeArchive(dir, QStringLiteral("10-short.dat"), two, Fields{"M", "1", {}, true});
    // Cut short inside the second record: no fields left, the first record is whole.
    const QByteArray whole = archiveBytes(two);
    ambrytest::writeFile(dir + QStringLiteral("/11-cut.dat"), whole.left(whole.indexOf("two.txt") + 3));
    // A link whose target is gone is no archive for any reader of the catalog: not searched,
    // not named.
    QFile::link(dir + QStringLiteral("/nowhere"), dir + QStringLiteral("/12-dangling.dat"));

    SearchProblems problems;
    const QList<Row> rows = searchFolder(dir, SearchCriteria(), &problems);
    QStringList names;
    for (const Row &r : rows)
        names.append(QString::fromUtf8(r.name) + QLatin1Char('@') + QFileInfo(r.path).fileName().left(2));
    EXPECT_EQ(names.join(QLatin1Char(' ')),
              QStringLiteral("one.txt@01 two.txt@01 one.txt@02 two.txt@02 one.txt@03 two.txt@03 one.txt@06 "
                             "two.txt@06 one.txt@07 two.txt@07 one.txt@08 two.txt@08 good.txt@09 one.txt@10 "
                             "one.txt@11"))
        << "archive fields are never read as records";
    QStringList damaged;
    for (qsizetype i = 0; i < problems.damagedArchives.size(); ++i)
        damaged.append(QFileInfo(problems.damagedArchives[i]).fileName().left(2) + QLatin1Char(' ') +
                       problems.damagedReasons.value(i));
    EXPECT_EQ(damaged, QStringList({QStringLiteral("01 lacks its AFiles line"),
                                    QStringLiteral("02 AFiles is missing or empty"),
                                    QStringLiteral("03 AFiles is not a number"),
                                    QStringLiteral("04 APars is not a positive number"),
                                    QStringLiteral("05 APars is not a positive number"),
                                    QStringLiteral("06 AFiles promises more records than the archive holds"),
                                    QStringLiteral("07 AFiles is 0 but the archive holds records"),
                                    QStringLiteral("08 AFiles is negative"),
                                    QStringLiteral("10 holds more record lines than AFiles says"),
                                    QStringLiteral("11 ends in the middle of a line")}));

    const QString message = damagedArchivesMessage(problems, 2);
    EXPECT_TRUE(message.contains(problems.damagedArchives[0]));
    EXPECT_TRUE(message.contains(problems.damagedArchives[1]));
    EXPECT_FALSE(message.contains(problems.damagedArchives[2]));
    EXPECT_TRUE(message.contains(QStringLiteral("10 damaged archives in all")));
    EXPECT_TRUE(damagedArchivesMessage(SearchProblems()).isEmpty());
}

TEST(EngineArchives, LineEndsReadAlike)
{
    const QList<Rec> recs = {{"Music\\Rock", "a.mp3", "10"}, {"\\", "b.txt", "20"}, {"\\", "", "30"}};
    const QString dir = ambrytest::makeTempDir(QStringLiteral("eol"));
    writeArchive(dir, QStringLiteral("crlf.dat"), recs, Fields{"X", {}, {}, true}, "\r\n");
    writeArchive(dir, QStringLiteral("lf.dat"), recs, Fields{"X", {}, {}, true}, "\n");
    writeArchive(dir, QStringLiteral("cr.dat"), recs, Fields{"X", {}, {}, true}, "\r");

    SearchProblems problems;
    const QList<Row> rows = searchFolder(dir, SearchCriteria(), &problems);
    ASSERT_EQ(rows.size(), 9);
    for (int a = 0; a < 3; ++a) {
        for (int i = 0; i < 3; ++i) {
            const Row &r = rows[a * 3 + i];
            SCOPED_TRACE(r.path.toStdString());
            EXPECT_EQ(r.folder, recs[i].folder);
            EXPECT_EQ(r.name, recs[i].name);
            EXPECT_EQ(r.size, recs[i].size.toLongLong());
            EXPECT_EQ(r.record, i);
        }
    }
    EXPECT_TRUE(problems.isEmpty());
    SearchCriteria text;
    text.searchText = QStringLiteral("b.TXT");
    EXPECT_EQ(searchFolder(dir, text).size(), 3) << "the skim reads the three alike";
}

TEST(EngineArchives, ANulEndsTheRecordsNotTheFields)
{
    // The records before the NUL's record are read, the mark after it still shows, and the
    // archive is named, whether the records are skimmed for a text or all listed; the same for
    // a record section long enough for the skim's blocks.
    for (int pad : {0, 400}) {
        const QString dir = ambrytest::makeTempDir(QStringLiteral("nul-in-records"));
        QList<Rec> recs;
        for (int i = 0; i < pad; ++i)
            recs.append(Rec{"\\", "pad" + QByteArray::number(i)});
        recs += QList<Rec>{{"\\", "song.mp3"}, {"\\", "other"}, {"\\", "song2.mp3"}};
        QByteArray bytes = archiveBytes(recs, Fields{"CD 9", {}, {}, true});
        bytes[bytes.indexOf("other") + 2] = '\0';
        ambrytest::writeFile(dir + QStringLiteral("/cut.dat"), bytes);
        for (const char *t : {"song", ""}) {
            SearchCriteria c;
            c.searchText = QString::fromUtf8(t);
            SearchProblems p;
            const QList<Row> rows = searchFolder(dir, c, &p);
            ASSERT_FALSE(rows.isEmpty()) << t;
            EXPECT_EQ(rows.last().name, QByteArray("song.mp3")) << t << pad;
            EXPECT_EQ(rows.last().mark, QStringLiteral("CD 9"));
            EXPECT_EQ(rows.size(), *t ? 1 : pad + 1);
            EXPECT_EQ(p.damagedReasons, QStringList({QStringLiteral("holds a NUL byte")})) << t << pad;
        }
    }
}

TEST(EngineArchives, AParsSetsTheRecordStride)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("apars"));
    QByteArray text = "\\\r\nfirst.txt\r\n11\r\n" + packed(2001, 2, 3) + "\r\nextra\r\n";
    text += "Docs\r\nsecond.txt\r\n22\r\n" + packed(2002, 2, 3) + "\r\nextra\r\n";
    text += "AMark=Five\r\nAFiles=2\r\nAPars=5\r\nAEnd=EndTag\r\n";
    ambrytest::writeFile(dir + QStringLiteral("/five.dat"), text);
    const QList<Row> rows = searchFolder(dir, SearchCriteria());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].folder, "Docs");
    EXPECT_EQ(rows[1].name, "second.txt");
    EXPECT_EQ(rows[1].size, 22);
    EXPECT_EQ(rows[1].date, dosdate::pack(2002, 2, 3, 0, 0, 0));
}

TEST(EngineArchives, RecordLinesNamedLikeFieldsStayRecords)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("fieldnames"));
    writeArchive(dir, QStringLiteral("x.dat"), {{"AMark=Evil", "AFiles=99"}, {"\\", "APars=1"}},
                 Fields{"Real", {}, {}, true});
    const QList<Row> rows = searchFolder(dir, SearchCriteria());
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].mark, QStringLiteral("Real"));
    EXPECT_EQ(rows[0].folder, "AMark=Evil");
    EXPECT_EQ(rows[1].name, "APars=1");
}

TEST(EngineArchives, RowsThatCannotBeFilledAreCountedOnce)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("unfilled"));
    const QString path =
        writeArchive(dir, QStringLiteral("u.dat"),
                     {{"\\", "ok.txt", "5", packed(2008, 1, 1)},
                      {"\\", "bad-size.txt", "five", packed(2008, 1, 1)},
                      {"\\", "bad-date.txt", "5", "yesterday"},
                      {"\\", "no-such-day.txt", "5", QByteArray::number((28 << 25) | (2 << 21) | (30 << 16))},
                      {"\\", "dotted.txt", "1.234", packed(2008, 1, 1)}});
    SearchProblems problems;
    const QList<Row> rows = searchFolder(dir, SearchCriteria(), &problems);
    ASSERT_EQ(rows.size(), 5) << "rows that cannot be filled are still listed";
    EXPECT_TRUE(rows[0].sizeValid && rows[0].dateValid);
    EXPECT_FALSE(rows[1].sizeValid);
    EXPECT_TRUE(rows[1].dateValid);
    EXPECT_FALSE(rows[2].dateValid);
    EXPECT_FALSE(rows[3].dateValid) << "30 February";
    EXPECT_FALSE(rows[4].sizeValid);
    EXPECT_EQ(problems.unfilledRows, 4);
    EXPECT_EQ(problems.firstUnfilled, path + QStringLiteral(" 1"));
    EXPECT_EQ(unfilledRowsMessage(problems),
              path + QStringLiteral(" 1\n(and 3 more records whose row could not be filled)"));
    EXPECT_EQ(problems.unfilledArchives, QStringList{path}) << "named once for its four rows";
    problems.unfilledRows = 2;
    EXPECT_TRUE(unfilledRowsMessage(problems).endsWith(
        QStringLiteral("(and 1 more record whose row could not be filled)")));
    EXPECT_TRUE(problems.damagedArchives.isEmpty());
}

TEST(EngineText, NonAsciiNamesInBothEncodings)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("encodings"));
    writeArchive(dir, QStringLiteral("utf8.dat"),
                 {{"Musique\\\xc3\x89t\xc3\xa9", "caf\xc3\xa9.txt"},
                  {"\\", "Stra\xc3\x9f"
                         "e.mp3"},
                  {"\\", "\xc3\xbf"
                         "es.txt"},
                  {"\\", "plain.txt"},
                  {"\\", "\xef\xac\x81le.txt"},
                  {"Bj\xc3\xb6rk", "Bj\xc3\xb6rk - Joga.mp3"}});
    writeArchive(dir, QStringLiteral("w1252.dat"),
                 {{"Musique\\\xc9t\xe9", "Caf\xe9.TXT"},
                  {"\\", "\xff"
                         "es.txt"},
                  {"\\", "\x80uro.txt"}});
    struct T
    {
        const char *text;
        QList<QByteArray> names;
    };
    const T cases[] = {
        {"café", {"caf\xc3\xa9.txt", "Caf\xe9.TXT"}},
        {"CAFÉ", {"caf\xc3\xa9.txt", "Caf\xe9.TXT"}},
        {"été", {"caf\xc3\xa9.txt", "Caf\xe9.TXT"}},
        {"strasse",
         {"Stra\xc3\x9f"
          "e.mp3"}},
        {"ÿes",
         {"\xc3\xbf"
          "es.txt",
          "\xff"
          "es.txt"}},
        {"€uro", {"\x80uro.txt"}},
        {"plain", {"plain.txt"}},
        {"file", {"\xef\xac\x81le.txt"}},
        {"joga", {"Bj\xc3\xb6rk - Joga.mp3"}},
        {"k - j", {"Bj\xc3\xb6rk - Joga.mp3"}},
        {"BJÖRK", {"Bj\xc3\xb6rk - Joga.mp3"}},
        {"jörk\\", {}},
    };
    for (const T &t : cases) {
        SCOPED_TRACE(t.text);
        SearchCriteria c;
        c.searchText = QString::fromUtf8(t.text);
        for (bool fast : {true, false}) {
            QList<QByteArray> got;
            for (const Row &r : searchFolder(dir, c, nullptr, fast))
                got.append(r.name);
            EXPECT_EQ(got, t.names) << (fast ? "ASCII fast path" : "Unicode path");
        }
    }
    // Case-sensitive advanced search compares the decoded text.
    SearchCriteria c;
    c.AdvancedMode = true;
    c.caseSensitive = true;
    c.searchText = QStringLiteral("Café");
    const QList<Row> rows = searchFolder(dir, c);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].name, QByteArray("Caf\xe9.TXT"));
}

TEST(EngineText, EveryCharacterWhoseUpperCaseHoldsAsciiIsKnown)
{
    const QLocale locale(QLocale::English);
    int falseAlarms = 0;
    for (char32_t cp = 0x80; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const QString upper = locale.toUpper(QString::fromUcs4(&cp, 1));
        bool ascii = false;
        for (QChar ch : upper)
            ascii = ascii || ch.unicode() < 0x80;
        const QByteArray utf8 = QString::fromUcs4(&cp, 1).toUtf8();
        const bool known =
            hasAsciiUpperCase(reinterpret_cast<const uchar *>(utf8.constData()), size_t(utf8.size()));
        if (ascii) {
            EXPECT_TRUE(known) << "U+" << std::hex << unsigned(cp);
            // Spelt out at byte level with the same ASCII letters as the locale gives.
            char spelt[16];
            const size_t n =
                upperExpanded(reinterpret_cast<const uchar *>(utf8.constData()), size_t(utf8.size()), spelt);
            QByteArray letters;
            for (size_t i = 0; i < n; ++i) {
                if (uchar(spelt[i]) < 0x80)
                    letters += spelt[i];
            }
            QByteArray want;
            for (QChar ch : upper) {
                if (ch.unicode() < 0x80)
                    want += char(ch.unicode());
            }
            EXPECT_EQ(letters, want) << "U+" << std::hex << unsigned(cp);
        }
        falseAlarms += known && !ascii;
    }
    EXPECT_LE(falseAlarms, 64) << "only the Windows-1252 sharp s byte as a UTF-8 lead byte";
    for (int b = 0x80; b <= 0xFF; ++b) {
        const uchar byte = uchar(b);
        const QString upper =
            locale.toUpper(decodeArchiveText(QByteArrayView(reinterpret_cast<const char *>(&byte), 1)));
        bool ascii = false;
        for (QChar ch : upper)
            ascii = ascii || ch.unicode() < 0x80;
        EXPECT_EQ(hasAsciiUpperCase(&byte, 1), ascii) << "Windows-1252 byte " << b;
    }
}

TEST(EngineText, TurkishLocaleUpperCasesDottedI)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    const QString dir = ambrytest::makeTempDir(QStringLiteral("turkish"));
    writeArchive(dir, QStringLiteral("t.dat"), {{"\\", "istanbul.txt"}, {"\\", "ISTANBUL.TXT"}});
    SearchCriteria c;
    c.searchText = QStringLiteral("istanbul");
    const QList<Row> rows = searchFolder(dir, c);
    QLocale::setDefault(saved);
    ASSERT_EQ(rows.size(), 1) << "dotted capital I in both the text and the record";
    EXPECT_EQ(rows[0].name, "istanbul.txt");
}

TEST(EngineWalk, FilesBeforeSubfoldersNoLinkedFoldersAnyCaseMask)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("walk"));
    QDir().mkpath(dir + QStringLiteral("/a/deeper"));
    QDir().mkpath(dir + QStringLiteral("/folder.dat"));
    const QString outside = ambrytest::makeTempDir(QStringLiteral("outside"));
    writeArchive(outside, QStringLiteral("o.dat"), {{"\\", "outside"}});
    QFile::link(outside, dir + QStringLiteral("/link"));
    writeArchive(dir, QStringLiteral("z.DAT"), {{"\\", "top-z"}});
    writeArchive(dir, QStringLiteral("b.dat"), {{"\\", "top-b"}});
    writeArchive(dir, QStringLiteral("notes.txt"), {{"\\", "not-an-archive"}});
    writeArchive(dir + QStringLiteral("/a"), QStringLiteral("x.dat"), {{"\\", "in-a"}});
    writeArchive(dir + QStringLiteral("/a/deeper"), QStringLiteral("y.dat"), {{"\\", "in-deeper"}});
    const QList<Row> rows = searchFolder(dir, SearchCriteria());
    QStringList names;
    for (const Row &r : rows)
        names.append(QString::fromUtf8(r.name));
    EXPECT_EQ(names, L({"top-b", "top-z", "in-a", "in-deeper"}));
    EXPECT_TRUE(searchFolder(dir + QStringLiteral("/missing"), SearchCriteria()).isEmpty());
}

TEST(EngineWalk, EventsEvery300RecordsAndCancel)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("events"));
    QList<Rec> many;
    for (int i = 0; i < 601; ++i)
        many.append(Rec{"\\", "f" + QByteArray::number(i)});
    writeArchive(dir, QStringLiteral("a.dat"), many);

    SearchCriteria c;
    CountingSink counter;
    SearchEngine engine(c, counter);
    int events = 0;
    int done = 0;
    Progress counting;
    counting.pendingEvents = [&] { ++events; };
    counting.stepDone = [&] { ++done; };
    engine.setProgress(counting);
    engine.AddFile(dir + QStringLiteral("/a.dat"));
    EXPECT_EQ(events, 3) << "after records 0, 300 and 600";
    EXPECT_EQ(counter.count, 601);

    // A cancel that arrives while events run stops the archive after the current record; the
    // remaining archives of the folder are still opened and only their first record tested,
    // and no subfolder is entered.
    writeArchive(dir, QStringLiteral("b.dat"), {{"\\", "b0"}, {"\\", "b1"}});
    QDir().mkpath(dir + QStringLiteral("/sub"));
    writeArchive(dir + QStringLiteral("/sub"), QStringLiteral("c.dat"), {{"\\", "c0"}});
    bool cancel = false;
    CollectSink sink;
    SearchEngine walker(c, sink);
    int calls = 0;
    Progress cancelling;
    cancelling.cancel = &cancel;
    cancelling.pendingEvents = [&] {
        if (++calls == 2)
            cancel = true; // during the second event: after record 300 of a.dat
    };
    cancelling.stepDone = [&] { ++done; };
    walker.setProgress(cancelling);
    EXPECT_FALSE(walker.SearchFolder(catalog::Catalog(dir)));
    EXPECT_EQ(sink.rows.size(), 302 + 1) << "record 301 is tested before the flag is read";
    EXPECT_EQ(sink.rows.last().name, "b0");
}

TEST(EngineWalk, AModeSwitchDuringASearchCountsFromTheNextRecord)
{
    // The window switches the mode from its pending events (F3, Alt+Down, the popup item): the
    // records up to the one before the events keep the old mode's answer, every later one gets
    // the new mode's, on the record-by-record path, on the skim, and when the new mode makes the
    // skim impossible (the mark alone now holds the text).
    const QString dir = ambrytest::makeTempDir(QStringLiteral("modeswitch"));
    QList<Rec> recs;
    for (int i = 0; i < 901; ++i)
        recs.append(Rec{"\\", (i % 100 == 0 ? "cd" : "song") + QByteArray::number(i) + ".mp3"});
    writeArchive(dir, QStringLiteral("a.dat"), recs, Fields{"CD 1", {}, {}, true});
    struct Case
    {
        const char *what;
        const char *text;
        std::function<void(SearchCriteria &)> toAdvanced;
        int rows;
        int rowsAfterSwitch;
    };
    const Case cases[] = {
        {"every record, then a date none has", "",
         [](SearchCriteria &c) {
             c.dateActive = true;
             DateChange(QDate(2030, 1, 1), QDate(2030, 1, 1), c);
         },
         301, 0},
        {"skimmed, then only the type", "song",
         [](SearchCriteria &c) {
             c.dirs = c.files = false;
             c.types = true;
         },
         297, 0},
        {"skimmed, then the mark holds the text", "cd",
         [](SearchCriteria &c) {
             c.marks = true;
             c.dirs = c.files = c.types = false;
         },
         4 + 600, 600},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        SearchCriteria c;
        c.searchText = QString::fromUtf8(tc.text);
        CollectSink sink;
        SearchEngine engine(c, sink);
        int calls = 0;
        Progress switching;
        switching.pendingEvents = [&] {
            if (++calls == 2) { // after record 300
                c.AdvancedMode = true;
                tc.toAdvanced(c);
            }
        };
        engine.setProgress(switching);
        engine.AddFile(dir + QStringLiteral("/a.dat"));
        EXPECT_EQ(sink.rows.size(), tc.rows);
        EXPECT_EQ(
            std::count_if(sink.rows.begin(), sink.rows.end(), [](const Row &r) { return r.record > 300; }),
            tc.rowsAfterSwitch);
        for (qsizetype i = 1; i < sink.rows.size(); ++i)
            EXPECT_LT(sink.rows[i - 1].record, sink.rows[i].record) << "each record once, in order";
    }
}

TEST(EveryReader, AgreesOnDamageAndSkipsWhatItCannotRead)
{
    // The search names exactly the archives the field read calls damaged; the mark lookup and
    // the numbering still see the marks and numbers those show, so none is given out again.
    const QString dir = ambrytest::makeTempDir(QStringLiteral("readers"));
    const QList<Rec> recs = {{"\\", "a.txt"}, {"Music", "b.mp3"}};
    const auto archive = [&](const char *mark, int number) {
        return archiveBytes(recs, Fields{mark, {}, {}, true})
            .replace("ANumber=7", QByteArray("ANumber=" + QByteArray::number(number)));
    };
    QByteArray nul = archive("Nul", 30);
    nul[nul.indexOf("b.mp3")] = '\0';
    QByteArray cut = archive("Cut", 20);
    cut.truncate(cut.indexOf("ASource"));
    struct Case
    {
        const char *file;
        QByteArray bytes;
        bool damaged;
    };
    const Case cases[] = {
        {"1-sound.dat", archive("Sound", 10), false},
        {"2-cut.dat", cut, true},
        {"3-nul.dat", nul, true},
        {"4-stray.dat", archive("Stray", 40).replace("ADirs", "stray\r\nADirs"), true},
        {"5-extra-line.dat", archive("Extra", 50).replace("ADate", "stray\r\nADate"), true},
        {"6-zero.dat", archive("Zero", 60).replace("AFiles=2", "AFiles=0"), true},
        {"7-edited.dat", archive("Edited", 70).replace("ALocation=Shelf A\r\n", "") + "ALocation=Box\r\n",
         false},
    };
    QStringList expected;
    for (const Case &c : cases) {
        const QString path = dir + QLatin1Char('/') + QString::fromUtf8(c.file);
        ambrytest::writeFile(path, c.bytes);
        if (c.damaged)
            expected.append(path);
        const ArchiveFieldValues whole = readArchiveFields(path, true);
        EXPECT_EQ(whole.state == ArchiveFieldValues::State::Damaged, c.damaged) << c.file;
        EXPECT_EQ(readArchiveFields(path).problem, whole.problem) << c.file;
    }
    SearchProblems problems;
    const QList<Row> rows = searchFolder(dir, SearchCriteria(), &problems);
    EXPECT_EQ(problems.damagedArchives, expected);
    for (qsizetype i = 0; i < problems.damagedArchives.size(); ++i)
        EXPECT_EQ(problems.damagedReasons[i], readArchiveFields(problems.damagedArchives[i], true).problem);
    // A stray line among the fields hides none of the fields above it.
    for (const char *mark : {"Cut", "Nul", "Stray", "Extra", "Zero"})
        EXPECT_TRUE(catalog::Catalog(dir).markExists(QString::fromUtf8(mark))) << mark;
    EXPECT_EQ(catalog::Catalog(dir).highestNumber(), 70);

    // An archive nobody may read: skipped and named by every reader. Root reads every file, so
    // the readers then run in a child that gave up root's rights.
    const QString locked = dir + QStringLiteral("/0-locked.dat");
    ambrytest::writeFile(locked, archive("Locked", 99));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    for (QString p = dir; p.startsWith(ambrytest::sandboxRoot()); p = QFileInfo(p).path())
        ::chmod(QFile::encodeName(p).constData(), 0755);
    const auto readAll = [&]() {
        UnreadableArchives byMark, byNumber;
        const bool marked = catalog::Catalog(dir).markExists(QStringLiteral("Sound"), &byMark);
        const int highest = catalog::Catalog(dir).highestNumber(&byNumber);
        SearchProblems p;
        searchFolder(dir, SearchCriteria(), &p);
        const ArchiveFieldValues f = readArchiveFields(locked);
        QStringList out;
        out << QString::number(marked) << QString::number(highest);
        for (const UnreadableArchives *u : {&byMark, &byNumber, &p.unreadable})
            out << (u->size() == 1 ? u->first().path : QStringLiteral("?"));
        out << QString::number(p.damagedArchives.size()) << QString::number(int(f.state));
        return out.join(QLatin1Char('|')).toUtf8();
    };
    const QByteArray got = ::geteuid() == 0 ? ambrytest::runInChild([&] {
                                                  if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                                                      ::_exit(3);
                                                  return readAll();
                                              }).output
                                            : readAll();
    EXPECT_EQ(got, QStringLiteral("1|70|%1|%1|%1|5|%2")
                       .arg(locked)
                       .arg(int(ArchiveFieldValues::State::Unreadable))
                       .toUtf8());
}

// The skim over whole blocks and the record-by-record test must list the same rows: archives
// of random names (with characters whose upper case is ASCII, both encodings, every line end),
// AFiles too large and too small, searched for texts that hit names, folders and numbers.
TEST(EngineEquivalence, SkimmingFindsWhatTheRecordTestFinds)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("equivalence"));
    const char *const parts[] = {"song",
                                 "SONG",
                                 "Stra\xc3\x9f"
                                 "e",
                                 "gro\xdf",
                                 "\xef\xac\x81le",
                                 "Bj\xc3\xb6rk",
                                 "caf\xe9",
                                 "x",
                                 "12",
                                 " - ",
                                 ".mp3",
                                 ".TXT",
                                 "\xc5\xbfong",
                                 "Ma\xc3\xb1"
                                 "ana",
                                 "ab",
                                 "Sigur R\xc3\xb3s",
                                 "\xc4\xb1ndex",
                                 "st",
                                 "\xef\xac\x86op",
                                 ".\xc3\x9fx"};
    const char *const eols[] = {"\r\n", "\n", "\r"};
    uint32_t seed = 12345;
    const auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int a = 0; a < 24; ++a) {
        QList<Rec> recs;
        const int n = 1 + int(rnd(700));
        for (int i = 0; i < n; ++i) {
            Rec r;
            r.folder = rnd(3) == 0 ? QByteArray("\\") : QByteArray(parts[rnd(20)]) + "\\" + parts[rnd(20)];
            for (uint32_t k = 1 + rnd(3); k > 0; --k)
                r.name += parts[rnd(20)];
            r.size = QByteArray::number(rnd(100000));
            recs.append(r);
        }
        Fields f;
        f.mark = "M" + QByteArray::number(a);
        if (a % 5 == 1)
            f.files = QByteArray::number(n + 3); // promises more than it holds
        if (a % 5 == 2)
            f.files = QByteArray::number(n / 2);
        writeArchive(dir, QStringLiteral("%1.dat").arg(a, 2, 10, QLatin1Char('0')), recs, f, eols[a % 3]);
    }
    const char *const texts[] = {"song", "ss", "fi", "o",        "k - j", "e.m",
                                 "\\",   "1",  "ST", "\xc3\xb3", "ana",   "I"};
    for (const char *t : texts) {
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(std::string(t) + " mode " + std::to_string(mode));
            SearchCriteria c;
            c.searchText = QString::fromUtf8(t);
            c.AdvancedMode = mode > 0;
            c.caseSensitive = mode == 2;
            c.dirs = mode != 1;
            SearchProblems fastProblems, slowProblems;
            const QList<Row> fast = searchFolder(dir, c, &fastProblems, true);
            const QList<Row> slow = searchFolder(dir, c, &slowProblems, false);
            QStringList fastKeys, slowKeys;
            for (const Row &r : fast)
                fastKeys.append(QFileInfo(r.path).fileName() + QLatin1Char(':') + QString::number(r.record));
            for (const Row &r : slow)
                slowKeys.append(QFileInfo(r.path).fileName() + QLatin1Char(':') + QString::number(r.record));
            EXPECT_EQ(fastKeys, slowKeys);
            EXPECT_EQ(fastProblems.damagedArchives, slowProblems.damagedArchives);
            if (std::string(t) == "song" && mode == 0) {
                EXPECT_GT(fast.size(), 50) << "the data must give the test something to find";
            }
        }
    }
}

// Both block scans report the same places with the same line numbers as a plain byte loop.
TEST(EngineSkim, BlockScansAgreeWithAByteLoop)
{
    ASSERT_FALSE(skimFunctions().empty());
    uint32_t seed = 7;
    const auto rnd = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const char alphabet[] = {'s',  'S', 'o',        'n',        'g',        '\r',
                             '\n', 'x', char(0xC3), char(0x9F), char(0xDF), ' '};
    for (int round = 0; round < 200; ++round) {
        QByteArray text(int(1 + rnd(700)), '\0');
        for (char &ch : text)
            ch = alphabet[rnd(sizeof alphabet)];
        SkimQuery q;
        q.m = 4;
        q.firstFold = 0x20;
        q.firstWant = 's';
        q.lastFold = 0x20;
        q.lastWant = 'g';
        q.probe[0] = 0x9F;
        q.probes = 1;
        q.lead[0] = 0xC3;
        q.second[0] = 0x9F;
        q.pairs = 1;
        q.singleDF = true;
        std::vector<SkimCandidate> expected;
        uint64_t line = 0;
        const size_t n = size_t(text.size());
        for (size_t i = 0; i < n; ++i) {
            const uchar b = uchar(text[int(i)]);
            const bool hit = i + 3 < n && (b | 0x20) == 's' && (uchar(text[int(i + 3)]) | 0x20) == 'g';
            const bool special = b == 0xDF || (b == 0xC3 && i + 1 < n && uchar(text[int(i + 1)]) == 0x9F);
            if (hit || special)
                expected.push_back(SkimCandidate{i, line, special});
            if (b == '\n' || (b == '\r' && !(i + 1 < n && text[int(i + 1)] == '\n')))
                ++line;
        }
        for (const auto &[name, scan] : skimFunctions()) {
            SCOPED_TRACE(name);
            SkimState st;
            std::vector<SkimCandidate> got(2048);
            size_t count = 0;
            while (st.offset < n)
                count += scan(q, st, text.constData(), n, UINT64_MAX, got.data() + count, got.size() - count);
            ASSERT_EQ(count, expected.size()) << "round " << round;
            for (size_t i = 0; i < count; ++i) {
                EXPECT_EQ(got[i].pos, expected[i].pos);
                EXPECT_EQ(got[i].line, expected[i].line) << "round " << round << " at " << got[i].pos;
                EXPECT_EQ(got[i].special, expected[i].special);
            }
            EXPECT_EQ(st.lines, line);
        }
    }
}

// Another writer removes an archive after the walk listed it: it is no longer in the catalog,
// so nothing is missed and nothing is told. One the walk reaches but cannot read is still named.
TEST(EngineArchives, AnArchiveRemovedWhileTheSearchRunsIsSkippedInSilence)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("vanishing"));
    writeArchive(dir, QStringLiteral("1.dat"), {{"\\", "one.txt"}});
    const QString second = writeArchive(dir, QStringLiteral("2.dat"), {{"\\", "two.txt"}});
    writeArchive(dir, QStringLiteral("3.dat"), {{"\\", "three.txt"}});
    const SearchCriteria criteria;
    CollectSink sink;
    SearchEngine engine(criteria, sink);
    Progress removing;
    removing.stepDone = [&] { QFile::remove(second); };
    engine.setProgress(removing);
    ASSERT_TRUE(engine.SearchFolder(catalog::Catalog(dir)));
    EXPECT_EQ(sink.names(), (QStringList{QStringLiteral("one.txt"), QStringLiteral("three.txt")}));
    EXPECT_TRUE(engine.problems().unreadable.isEmpty());
    EXPECT_EQ(engine.archivesRead(), 2);
}
