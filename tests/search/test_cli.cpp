#include "helper_archives.h"

#include "CliRun.h"
#include "TestSupport.h"
#include "catalog/DosDateTime.h"
#include "search/cliSearch.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdio>

using namespace searchtest;
using ambrytest::CliRun;

namespace {

CliRun run(const QString &catalog, const QStringList &args)
{
    return ambrytest::runCapturing(
        [&](std::FILE *out, std::FILE *err) { return runSearchCommand(args, catalog, out, err); });
}

QByteArray packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QByteArray::number(dosdate::pack(y, mo, d, h, mi, s));
}

class CliSearch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        dir = ambrytest::makeTempDir(QStringLiteral("cli"));
        first = writeArchive(dir, QStringLiteral("1.dat"),
                             {{"\\", "readme.txt", "1234", packed(2008, 5, 14, 10, 20, 30)},
                              {"Music", "song.MP3", "4321987", packed(2008, 5, 13, 0, 0, 0)},
                              {"Music", "quote\"d\\name", "1000", "never"}},
                             Fields{"CD 1", {}, {}, true});
        second = writeArchive(dir, QStringLiteral("2.dat"),
                              {{"Caf\xe9", "song.ogg", "5000000000", packed(2010, 1, 2)}},
                              Fields{"", {}, {}, true});
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
    QString dir, first, second;
};

} // namespace

TEST_F(CliSearch, TsvShowsTheWindowsColumns)
{
    const CliRun r = run(dir, {QStringLiteral("song")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines(),
              QStringList({QStringLiteral("CD 1\tMusic\tsong.MP3\tMP3\t13/05/2008\t4,321,987"),
                           QStringLiteral("Unknown\tCafé\tsong.ogg\togg\t02/01/2010\t5,000,000,000")}));
    EXPECT_TRUE(r.err.isEmpty());

    const CliRun all = run(dir, {});
    ASSERT_EQ(all.lines().size(), 4);
    EXPECT_EQ(all.lines().at(0), QStringLiteral("CD 1\t\\\treadme.txt\ttxt\t14/05/2008 10:20:30\t1,234"));
    EXPECT_EQ(all.lines().at(2), QStringLiteral("CD 1\tMusic\tquote\"d\\name\t\t\t"))
        << "a row that cannot be filled";
    EXPECT_TRUE(all.err.contains(first + QStringLiteral(" 2"))) << all.err.toStdString();
    EXPECT_EQ(all.code, 0);
}

TEST_F(CliSearch, CountAndCriteria)
{
    struct C
    {
        QStringList args;
        QString count;
    };
    const QList<C> cases = {
        {{QStringLiteral("--count")}, QStringLiteral("4")},
        {{QStringLiteral("*.mp3"), QStringLiteral("--count")}, QStringLiteral("1")},
        {{QStringLiteral("mp3"), QStringLiteral("--advanced"), QStringLiteral("--fields"),
          QStringLiteral("files"), QStringLiteral("--count")},
         QStringLiteral("0")},
        {{QStringLiteral("MP3"), QStringLiteral("--fields"), QStringLiteral("types"),
          QStringLiteral("--case"), QStringLiteral("--count")},
         QStringLiteral("1")},
        {{QStringLiteral("mp3"), QStringLiteral("--fields"), QStringLiteral("types"),
          QStringLiteral("--case"), QStringLiteral("--count")},
         QStringLiteral("0")},
        {{QStringLiteral("cd 1"), QStringLiteral("--fields"), QStringLiteral("marks"),
          QStringLiteral("--count")},
         QStringLiteral("3")},
        {{QStringLiteral("--at-most"), QStringLiteral("1"), QStringLiteral("--count")}, QStringLiteral("1")},
        {{QStringLiteral("--at-least"), QStringLiteral("5"), QStringLiteral("--unit"),
          QStringLiteral("GigaBytes"), QStringLiteral("--count")},
         QStringLiteral("1")},
        {{QStringLiteral("--from"), QStringLiteral("14/05/2008"), QStringLiteral("--to"),
          QStringLiteral("1/1/2008"), QStringLiteral("--count")},
         QStringLiteral("2")},
        {{QStringLiteral("--only-mark"), QStringLiteral("Unknown"), QStringLiteral("--count")},
         QStringLiteral("1")},
        {{QStringLiteral("--from"), QStringLiteral("2008-05-14"), QStringLiteral("--to"),
          QStringLiteral("2008-01-01"), QStringLiteral("--count")},
         QStringLiteral("2")},
    };
    for (const C &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(dir, c.args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, c.count + QLatin1Char('\n'));
    }
}

TEST_F(CliSearch, MatchModesAndAccents)
{
    // Records: readme.txt in "\", song.MP3 and quote"d\name in "Music" (mark CD 1); song.ogg in
    // "Café" written in Windows-1252 (no mark).
    struct C
    {
        QStringList args;
        int count;
    };
    const auto args = [](std::initializer_list<const char *> words) {
        QStringList list;
        for (const char *w : words)
            list << QString::fromUtf8(w);
        return list;
    };
    const C cases[] = {
        {args({"song music", "--match", "all"}), 1},
        {args({"song music", "--match", "phrase"}), 0},
        {args({"song -mp3", "--match", "all"}), 1},
        {args({"readme ogg", "--match", "any"}), 2},
        {args({"so", "--match", "begins"}), 2},
        {args({"usic", "--match", "begins"}), 0},
        {args({"^s.*\\.mp3$", "--match", "regex"}), 1},
        {args({"^music$", "--match", "regex", "--advanced"}), 2},
        {args({"^music$", "--match", "regex", "--case"}), 0},
        {args({"cafe"}), 0},
        {args({"cafe", "--ignore-accents"}), 1},
        {args({"CAFÉ", "--ignore-accents", "--case"}), 0},
        {args({"^caf", "--match", "regex", "--ignore-accents", "--fields", "dirs"}), 1},
        {args({"cd 1 -readme", "--match", "all", "--fields", "marks,files"}), 2},
    };
    for (const C &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(dir, c.args + QStringList{QStringLiteral("--count")});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::number(c.count) + QLatin1Char('\n'));
    }
}

TEST_F(CliSearch, ABadRegularExpressionIsAUsageError)
{
    const CliRun r = run(dir, {QStringLiteral("so(ng"), QStringLiteral("--match"), QStringLiteral("regex")});
    EXPECT_EQ(r.code, 64);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith(QStringLiteral(
        "ambrylog-cli search: bad regular expression at column 6: missing closing parenthesis")))
        << r.err.toStdString();
    // The same text is a plain phrase in the other modes.
    EXPECT_EQ(run(dir, {QStringLiteral("so(ng")}).code, 0);
}

TEST_F(CliSearch, ARunawayExpressionIsNamedNotHung)
{
    const QString slow = ambrytest::makeTempDir(QStringLiteral("slow"));
    const QString path =
        writeArchive(slow, QStringLiteral("s.dat"), {{"\\", QByteArray(60, 'a') + "!"}, {"\\", "aaa"}},
                     Fields{"S", {}, {}, true});
    const CliRun r =
        run(slow, {QStringLiteral("(a+)+$"), QStringLiteral("--match"), QStringLiteral("regex")});
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.lines(), QStringList({QStringLiteral("S\t\\\taaa\t\t14/05/2008 10:20:30\t100")}));
    EXPECT_TRUE(r.err.contains(QStringLiteral("took too long on 1 record")) &&
                r.err.contains(path + QStringLiteral(" 0")))
        << r.err.toStdString();
}

TEST_F(CliSearch, JsonHoldsTheRawValues)
{
    const CliRun r = run(dir, {QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(r.code, 0);
    const QStringList lines = r.lines();
    ASSERT_EQ(lines.size(), 4);
    QList<QJsonObject> rows;
    for (const QString &l : lines) {
        QJsonParseError e;
        const QJsonDocument d = QJsonDocument::fromJson(l.toUtf8(), &e);
        ASSERT_EQ(e.error, QJsonParseError::NoError) << l.toStdString();
        rows.append(d.object());
    }
    EXPECT_EQ(rows[0].value(QStringLiteral("archive")).toString(), QStringLiteral("CD 1"));
    EXPECT_EQ(rows[0].value(QStringLiteral("directory")).toString(), QStringLiteral("\\"));
    EXPECT_EQ(rows[0].value(QStringLiteral("file")).toString(), QStringLiteral("readme.txt"));
    EXPECT_EQ(rows[0].value(QStringLiteral("type")).toString(), QStringLiteral("txt"));
    EXPECT_EQ(rows[0].value(QStringLiteral("date")).toString(), QStringLiteral("2008-05-14T10:20:30"));
    EXPECT_EQ(rows[0].value(QStringLiteral("size")).toInteger(), 1234);
    EXPECT_EQ(rows[0].value(QStringLiteral("path")).toString(), first);
    EXPECT_EQ(rows[0].value(QStringLiteral("record")).toInteger(), 0);
    EXPECT_EQ(rows[2].value(QStringLiteral("file")).toString(), QStringLiteral("quote\"d\\name"));
    EXPECT_TRUE(rows[2].value(QStringLiteral("date")).isNull());
    EXPECT_EQ(rows[2].value(QStringLiteral("size")).toInteger(), 1000);
    EXPECT_EQ(rows[2].value(QStringLiteral("record")).toInteger(), 2);
    EXPECT_EQ(rows[3].value(QStringLiteral("archive")).toString(), QStringLiteral("Unknown"));
    EXPECT_EQ(rows[3].value(QStringLiteral("directory")).toString(), QStringLiteral("Café"));
    EXPECT_EQ(rows[3].value(QStringLiteral("size")).toInteger(), 5000000000LL);
    EXPECT_EQ(rows[3].value(QStringLiteral("path")).toString(), second);
}

TEST_F(CliSearch, DamagedArchivesAreNamedAfterTheResults)
{
    writeArchive(dir, QStringLiteral("3.dat"), {{"\\", "a"}}, Fields{"X", "lots", {}, true});
    const CliRun r = run(dir, {QStringLiteral("song"), QStringLiteral("--count")});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, QStringLiteral("2\n"));
    EXPECT_TRUE(r.err.contains(dir + QStringLiteral("/3.dat"))) << r.err.toStdString();
}

TEST_F(CliSearch, BadArgumentsAreRefused)
{
    const QList<QStringList> bad = {
        {QStringLiteral("--frobnicate")},
        {QStringLiteral("--at-least"), QStringLiteral("32768")},
        {QStringLiteral("--at-least"), QStringLiteral("-1")},
        {QStringLiteral("--at-least"), QStringLiteral("1"), QStringLiteral("--at-most"), QStringLiteral("2")},
        {QStringLiteral("--unit"), QStringLiteral("TeraBytes")},
        {QStringLiteral("--format"), QStringLiteral("xml")},
        {QStringLiteral("--fields"), QStringLiteral("names")},
        {QStringLiteral("--from"), QStringLiteral("31/02/2008")},
        {QStringLiteral("--from"), QStringLiteral("2008-02-31")},
        {QStringLiteral("--to"), QStringLiteral("2008-5-1")},
        {QStringLiteral("one"), QStringLiteral("two")},
        {QStringLiteral("--only-mark")},
        {QStringLiteral("--match"), QStringLiteral("words")},
    };
    for (const QStringList &args : bad) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const CliRun r = run(dir, args);
        EXPECT_EQ(r.code, 64);
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    }
    // "--" lets a text start with dashes.
    const CliRun r = run(dir, {QStringLiteral("--"), QStringLiteral("--count")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliSearch, AnOnlyMarkThatNoArchiveHasIsSaid)
{
    // The mark is compared as shown, so a different letter case is another mark.
    for (const QString &mark : {QStringLiteral("cd 1"), QStringLiteral("CD 2")}) {
        const CliRun r = run(dir, {QStringLiteral("--only-mark"), mark, QStringLiteral("--count")});
        EXPECT_EQ(r.code, 8);
        EXPECT_EQ(r.out, QStringLiteral("0\n"));
        EXPECT_EQ(r.err, QStringLiteral("ambrylog-cli search: no archive has the mark '%1'\n").arg(mark));
    }
    // A mark that is there but matches nothing is an ordinary empty result.
    const CliRun r =
        run(dir, {QStringLiteral("nothing-like-it"), QStringLiteral("--only-mark"), QStringLiteral("CD 1")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.isEmpty());
}

TEST_F(CliSearch, ATabInACellIsWrittenAsABlank)
{
    const QString tabs = ambrytest::makeTempDir(QStringLiteral("tabs"));
    writeArchive(tabs, QStringLiteral("t.dat"), {{"a\tb", "x\ty.t\tz", "1", packed(2008, 5, 13)}},
                 Fields{"CD\t2", {}, {}, true});
    const CliRun r = run(tabs, {});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.lines(), QStringList({QStringLiteral("CD 2\ta b\tx y.t z\tt z\t13/05/2008\t1")}));
}

TEST_F(CliSearch, CsvHoldsRawValuesAndHtmlTheShownOnes)
{
    const CliRun csv = run(dir, {QStringLiteral("song"), QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(csv.code, 0);
    EXPECT_EQ(csv.out, QString::fromUtf8("Archive,Directory,File,Type,Date Modified,Size\r\n"
                                         "CD 1,Music,song.MP3,MP3,2008-05-13T00:00:00,4321987\r\n"
                                         "Unknown,Café,song.ogg,ogg,2010-01-02T00:00:00,5000000000\r\n"));
    const CliRun quoted =
        run(dir, {QStringLiteral("quote"), QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(quoted.lines().value(1), QStringLiteral("CD 1,Music,\"quote\"\"d\\name\",,,\r"));

    const CliRun html =
        run(dir, {QStringLiteral("song"), QStringLiteral("--format"), QStringLiteral("html")});
    EXPECT_EQ(html.code, 0);
    EXPECT_TRUE(html.out.contains(QStringLiteral("<p>Searched for &quot;song&quot;</p>")));
    EXPECT_TRUE(html.out.contains(QStringLiteral("<td>13/05/2008</td><td class=\"n\">4,321,987</td>")));
    EXPECT_TRUE(html.out.endsWith(QStringLiteral("</html>\n")));
}
