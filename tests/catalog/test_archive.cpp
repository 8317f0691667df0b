#include <gtest/gtest.h>

#include "TestSupport.h"
#include "catalog/Archive.h"
#include "catalog/ArchiveFieldValues.h"
#include "catalog/ArchiveFile.h"
#include "catalog/ArchiveWriter.h"
#include "catalog/ProgramCatalog.h"
#include "util/AmbryError.h"

#include <QFile>

#include <memory>

// Readable failure messages.
namespace {

// A catalog that records its numbers where the program does.
catalog::Catalog numberedCatalog(const QString &folder)
{
    return catalog::Catalog(folder, catalog::settingsNumberStore());
}

const QByteArray Fields = QByteArrayLiteral("ADate=979544548\r\nAMark=CD No: 7\r\nALocation=Shelf A\r\n"
                                            "ACRC=450495\r\nAFiles=2\r\nADirs=1\r\nANote=Holiday music\r\n"
                                            "ASize=4323221\r\nANumber=7\r\nASource=CD/DVD\r\nAPicture=\r\n"
                                            "AEnd=EndTag\r\n");

QByteArray record(const QByteArray &folder, const QByteArray &name, const QByteArray &size = "10",
                  const QByteArray &date = "950948495")
{
    return folder + "\r\n" + name + "\r\n" + size + "\r\n" + date + "\r\n";
}

QStringList linesOf(const Archive &a)
{
    QStringList out;
    for (qsizetype i = 0; i < a.lineCount(); ++i)
        out << a.lineText(i);
    return out;
}

QString fileWith(const QByteArray &bytes)
{
    static int n = 0;
    const QString path = ambrytest::makeTempDir(QStringLiteral("arch")) + QStringLiteral("/a") +
                         QString::number(++n) + QStringLiteral(".dat");
    ambrytest::writeFile(path, bytes);
    return path;
}

} // namespace

TEST(Archive, SplitsLinesOnEveryLineEnd)
{
    struct Case
    {
        const char *what;
        QByteArray bytes;
        QStringList lines;
    };
    const auto L = [](std::initializer_list<const char *> l) {
        QStringList out;
        for (const char *s : l)
            out << QString::fromUtf8(s);
        return out;
    };
    const Case cases[] = {
        {"CR LF", "a\r\nb\r\n", L({"a", "b"})},
        {"LF only", "a\nb\n", L({"a", "b"})},
        {"CR only", "a\rb\r", L({"a", "b"})},
        {"mixed", "a\r\nb\nc\rd", L({"a", "b", "c", "d"})},
        {"empty lines kept", "a\r\n\r\nb\n\nc", L({"a", "", "b", "", "c"})},
        {"LF CR is two ends", "a\n\rb", L({"a", "", "b"})},
        {"no line end at the end", "a\r\nb", L({"a", "b"})},
        {"empty", "", L({})},
    };
    // A NUL is an ordinary byte for the lines (it makes the archive damaged, see below).
    EXPECT_EQ(linesOf(Archive::fromBytes(QByteArray("a\r\nb\0c\r\nd\r\n", 11))),
              QStringList({QStringLiteral("a"), QStringLiteral("b") + QChar(0) + QStringLiteral("c"),
                           QStringLiteral("d")}));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(linesOf(Archive::fromBytes(c.bytes)), c.lines);
    }
}

TEST(Archive, LooksUpKeysOnlyAmongTheFields)
{
    // Files named like fields, in the folder line and the name line of records, including the
    // last record: none of them may answer.
    const QByteArray tricky =
        record("\\", "AMark=x") + record("AFiles=9", "AEnd=EndTag") + record("ANumber=99", "ANote=fake");
    struct Case
    {
        const char *what;
        QByteArray bytes;
        const char16_t *key;
        QString value;
    };
    const Case cases[] = {
        {"plain", record("\\", "a.txt") + Fields, u"AMark", QStringLiteral("CD No: 7")},
        {"other letter case in the file", record("\\", "a.txt") + "amark=low\r\nAEnd=EndTag\r\n", u"AMark",
         QStringLiteral("low")},
        {"other letter case asked", record("\\", "a.txt") + Fields, u"alocation", QStringLiteral("Shelf A")},
        {"value kept untrimmed", record("\\", "a") + "AMark=  x  \r\n", u"AMark", QStringLiteral("  x  ")},
        {"value after the first =", record("\\", "a") + "ANote=a=b=c\r\n", u"ANote", QStringLiteral("a=b=c")},
        {"first match wins", record("\\", "a") + Fields + "AMark=two\r\n", u"AMark",
         QStringLiteral("CD No: 7")},
        {"the last match in a damaged block", record("\\", "a") + "AMark=one\r\nAMark=two\r\n", u"AMark",
         QStringLiteral("two")},
        {"a field that lost its = hides none above it",
         record("\\", "AMark=x") + QByteArray(Fields).replace("ASource=", "ASource:"), u"AMark",
         QStringLiteral("CD No: 7")},
        {"nor one of two that lost it",
         record("\\", "ANumber=99") +
             QByteArray(Fields).replace("ACRC=", "ACRC:").replace("ALocation=", "ALocation "),
         u"ANumber", QStringLiteral("7")},
        {"a damaged record line ends the block at the number before it",
         record("Music", "AMark=x", "12", "?") + QByteArray(Fields).replace("ADate=", "ADate "), u"AMark",
         QStringLiteral("CD No: 7")},
        {"empty value", record("\\", "a") + Fields, u"APicture", QString()},
        {"missing key", record("\\", "a") + Fields, u"APars", QString()},
        {"key with blanks is another key", record("\\", "a") + "AMark =x\r\n", u"AMark", QString()},
        {"appended after AEnd",
         record("\\", "a") + QByteArray(Fields).replace("ALocation=Shelf A\r\n", "") + "ALocation=Box\r\n",
         u"ALocation", QStringLiteral("Box")},
        {"no records", Fields, u"ANumber", QStringLiteral("7")},
        {"record named AMark=x", tricky + "ADate=1\r\nAEnd=EndTag\r\n", u"AMark", QString()},
        {"record named AFiles=9", tricky + "AFiles=3\r\n", u"AFiles", QStringLiteral("3")},
        {"folder named ANumber=99", tricky + "AMark=m\r\n", u"ANumber", QString()},
        {"record named ANote=fake, no fields at all", tricky, u"ANote", QString()},
        {"LF-only archive", QByteArray(record("\\", "a") + Fields).replace("\r\n", "\n"), u"ASize",
         QStringLiteral("4323221")},
        {"blank line among the fields", record("\\", "a") + "AMark=m\r\n\r\nANote=n\r\n", u"AMark",
         QStringLiteral("m")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QString key = QString::fromUtf16(c.key);
        EXPECT_EQ(Archive::fromBytes(c.bytes).value(key), c.value);
        EXPECT_EQ(Archive::loadFields(fileWith(c.bytes)).value(key), c.value);
        EXPECT_EQ(Archive::load(fileWith(c.bytes)).value(key), c.value);
    }
}

TEST(Archive, RecordSectionEndsWhereTheFieldsBegin)
{
    const Archive a = Archive::fromBytes(record("\\", "AMark=x") + record("Music", "b") + Fields);
    EXPECT_EQ(a.fieldsBegin(), 8);
    EXPECT_EQ(a.lineCount(), 20);
    EXPECT_EQ(a.lineText(1), QStringLiteral("AMark=x"));
    EXPECT_EQ(a.lineOffset(4), a.bytes().indexOf("Music"));
    EXPECT_EQ(Archive::fromBytes(Fields).fieldsBegin(), 0);
    EXPECT_EQ(Archive::fromBytes(record("\\", "a")).fieldsBegin(), 4);
}

TEST(Archive, KeyCaseFollowsUnicodeUpperCase)
{
    EXPECT_TRUE(sameArchiveKey("amark", u"AMARK"));
    EXPECT_FALSE(sameArchiveKey("amarks", u"AMARK"));
    EXPECT_TRUE(sameArchiveKey("ÉTÉ", u"été"));
    EXPECT_TRUE(sameArchiveKey("straße", u"STRASSE"));
    EXPECT_FALSE(sameArchiveKey("AMark", u"AMärk"));
    EXPECT_TRUE(sameArchiveKey("", u""));
}

TEST(Archive, DecodesUtf8ElseWindows1252)
{
    struct Case
    {
        const char *what;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"ASCII", "Shelf A", QStringLiteral("Shelf A")},
        {"UTF-8", "Caf\xc3\xa9 \xe2\x82\xac", QString::fromUtf8("Café €")},
        {"1252 letter", "Caf\xe9", QString::fromUtf8("Café")},
        {"1252 euro and quotes", "\x80 \x93x\x94", QString::fromUtf8("€ “x”")},
        {"1252 undefined byte keeps its code", "\x81", QString(QChar(0x81))},
        {"overlong UTF-8 is not UTF-8", "\xc0\xaf", QString::fromUtf8("À¯")},
        {"UTF-8 surrogate is not UTF-8", "\xed\xa0\x80", QString::fromUtf8("í\u00a0€")},
        {"truncated UTF-8", "ab\xc3", QString::fromUtf8("abÃ")},
        {"four-byte UTF-8", "\xf0\x9f\x92\xbf", QString::fromUtf8("💿")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decodeArchiveText(c.bytes), c.text);
    }
    // Each line on its own: a Windows line does not spoil a UTF-8 one.
    const Archive a = Archive::fromBytes("Caf\xe9\r\nCaf\xc3\xa9\r\n");
    EXPECT_EQ(a.lineText(0), a.lineText(1));
}

TEST(Archive, FieldValuesStayOnOneLine)
{
    EXPECT_EQ(encodeFieldValue(QStringLiteral("a\r\nAMark=evil\nb") + QChar(0) + QStringLiteral("c")),
              QByteArray("a  AMark=evil b c"));
    EXPECT_EQ(encodeFieldValue(QString::fromUtf8("Été")), QByteArray("\xc3\x89t\xc3\xa9"));
    EXPECT_EQ(encodeArchiveText(QString::fromUtf8("Noël")), QByteArray("No\xc3\xabl"));
    EXPECT_EQ(encodeArchiveText(QStringLiteral("a\rb\nc")), QByteArray("a b c"));
    EXPECT_EQ(trimControls(QStringView(u"\t x y \x01")), QStringLiteral("x y"));
    // Only codes up to 32 are trimmed, not every kind of Unicode space.
    EXPECT_EQ(trimControls(QStringView(u"\u00a0x\u00a0")), QStringLiteral("\u00a0x\u00a0"));
    EXPECT_EQ(trimControls(QByteArrayView("\r\n ")), QByteArrayView());
}

TEST(Archive, TailReadFindsTheFieldsOfLargeArchives)
{
    QByteArray records;
    for (int i = 0; i < 5000; ++i)
        records += record("Music\\Rock", "AMark=track " + QByteArray::number(i) + ".mp3");
    const QString path = fileWith(records + Fields);
    const Archive tail = Archive::loadFields(path);
    const Archive whole = Archive::load(path);
    EXPECT_FALSE(tail.isWhole());
    EXPECT_TRUE(whole.isWhole());
    EXPECT_LT(tail.bytes().size(), 64 * 1024);
    for (const char16_t *key : {u"AMark", u"ANumber", u"ASize", u"AEnd", u"APars"})
        EXPECT_EQ(tail.value(QString::fromUtf16(key)), whole.value(QString::fromUtf16(key)));
    EXPECT_EQ(tail.value(QStringLiteral("AMark")), QStringLiteral("CD No: 7"));
}

TEST(Archive, TailReadWidensForALongFieldBlock)
{
    // A block longer than any first guess: all of it must still be seen, its first line too.
    QByteArray fields = "AMark=first\r\n";
    for (int i = 0; i < 3000; ++i)
        fields += "AExtra" + QByteArray::number(i) + "=" + QByteArray(40, 'x') + "\r\n";
    for (const QByteArray &records : {QByteArray(), record("\\", "a.txt")}) {
        const QString path = fileWith(records + fields);
        EXPECT_EQ(Archive::loadFields(path).value(QStringLiteral("AMark")), QStringLiteral("first"));
        EXPECT_EQ(Archive::loadFields(path).value(QStringLiteral("AExtra2999")),
                  QString(40, QLatin1Char('x')));
    }
}

TEST(Archive, ANulHidesNoField)
{
    // A NUL early in a large archive: the tail read and the whole read see the same fields; a
    // field's text ends at a NUL in its line.
    QByteArray records = QByteArray("\\\r\nf\0\r\n1\r\n2\r\n", 14);
    for (int i = 0; i < 2000; ++i)
        records += record("\\", "f" + QByteArray::number(i));
    const QByteArray bytes =
        records + QByteArray(Fields).replace("AMark=CD No: 7", QByteArray("AMark=CD\0 7", 11));
    const QString path = fileWith(bytes);
    for (const Archive &a : {Archive::loadFields(path), Archive::load(path)}) {
        EXPECT_EQ(a.value(QStringLiteral("AMark")), QStringLiteral("CD"));
        EXPECT_EQ(a.value(QStringLiteral("ANumber")), QStringLiteral("7"));
        EXPECT_EQ(a.damage(), QStringLiteral("holds a NUL byte"));
    }
}

TEST(Archive, MissingOrUnreadableFiles)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("archerr"));
    const QString missing = dir + QStringLiteral("/gone.dat");
    EXPECT_THROW(Archive::load(missing), AmbryError);
    EXPECT_THROW(Archive::loadFields(missing), AmbryError);
    EXPECT_FALSE(Archive::loadFieldsIfPresent(missing).has_value());
    EXPECT_THROW(Archive::loadFieldsIfPresent(dir), AmbryError); // a folder is no archive
    try {
        Archive::load(missing);
    } catch (const AmbryError &e) {
        EXPECT_TRUE(e.message().contains(missing)) << e.what();
    }
}

TEST(Archive, TailReadAgreesWithWholeReadOnOddLineEnds)
{
    // Random field blocks built from pieces that stress the backward line scan (lone CRs,
    // LF CR pairs, empty lines, lines without "="), behind a record section longer than the
    // first window; the tail reader must see exactly the fields the whole reader sees.
    const char *pieces[] = {"AMark=", "ANote=", "x", "=", "\r", "\n", "\r\n", "\n\r", "12", "AMARK=y"};
    QByteArray records;
    for (int i = 0; i < 400; ++i)
        records += record("Music\\Rock", "song.mp3");
    uint32_t state = 12345;
    const QString dir = ambrytest::makeTempDir(QStringLiteral("oddends"));
    for (int round = 0; round < 300; ++round) {
        QByteArray block;
        const int count = 1 + int(state % 12);
        for (int p = 0; p < count; ++p) {
            state = state * 1103515245u + 12345u;
            block += pieces[(state >> 16) % std::size(pieces)];
        }
        const QByteArray bytes = records + block;
        const QString path = dir + QStringLiteral("/") + QString::number(round) + QStringLiteral(".dat");
        ambrytest::writeFile(path, bytes);
        const Archive whole = Archive::load(path);
        const Archive tail = Archive::loadFields(path);
        for (const char16_t *key : {u"AMark", u"ANote", u"x", u""})
            EXPECT_EQ(tail.value(QString::fromUtf16(key)), whole.value(QString::fromUtf16(key)))
                << "block " << QByteArray(block).replace('\r', "<CR>").replace('\n', "<LF>").constData();
    }
}

namespace {

const QByteArray TwoRecords = record("\\", "readme.txt", "1234") + record("Music", "AMark=x.mp3", "4321987");

QByteArray fieldsWithout(const QByteArray &line)
{
    return QByteArray(Fields).replace(QByteArray(line + "\r\n"), "");
}

} // namespace

TEST(ArchiveDamage, TheRule)
{
    struct Case
    {
        const char *what;
        QByteArray bytes;
        const char *damage; // empty: sound
    };
    const QByteArray nulRecords =
        QByteArray("\\\r\nre\0dme.txt\r\n1234\r\n950948495\r\n", 32) + record("Music", "b", "4321987");
    const Case cases[] = {
        {"as written", TwoRecords + Fields, ""},
        {"LF only", QByteArray(TwoRecords + Fields).replace("\r\n", "\n"), ""},
        {"CR only", QByteArray(TwoRecords + Fields).replace("\r\n", "\r"), ""},
        {"no records", QByteArray(Fields).replace("AFiles=2", "AFiles=0"), ""},
        {"location and note emptied by the editor",
         TwoRecords + fieldsWithout("ALocation=Shelf A").replace("ANote=Holiday music\r\n", ""), ""},
        {"editor appended after the end",
         TwoRecords + fieldsWithout("ALocation=Shelf A") + "ALocation=Box\r\nANote=n\r\nAMark=m\r\n", ""},
        {"fields in other letter case",
         TwoRecords + QByteArray(Fields).toLower().replace("=endtag", "=EndTag"), ""},
        {"last LF lost (ends with a lone CR)", QByteArray(TwoRecords + Fields).chopped(1), ""},
        {"NUL in a record", nulRecords + Fields, "holds a NUL byte"},
        {"NUL in a field",
         TwoRecords + QByteArray(Fields).replace("ANote=Holiday", QByteArray("ANote=Ho\0iday", 13)),
         "holds a NUL byte"},
        {"cut in mid-line", QByteArray(TwoRecords + Fields).chopped(2), "ends in the middle of a line"},
        {"nothing", "", "has no archive fields"},
        {"records only", TwoRecords, "has no archive fields"},
        {"no end line", TwoRecords + fieldsWithout("AEnd=EndTag"), "has no AEnd=EndTag line"},
        {"another end tag", TwoRecords + QByteArray(Fields).replace("EndTag", "Stop"),
         "has no AEnd=EndTag line"},
        {"foreign line after the end", TwoRecords + Fields + "ADirs=3\r\n",
         "has a stray line after AEnd=EndTag"},
        {"empty line after the end", TwoRecords + Fields + "\r\n", "has a stray line after AEnd=EndTag"},
        {"empty line among the fields", TwoRecords + QByteArray(Fields).replace("ADirs", "\r\nADirs"),
         "has an empty line among its fields"},
        {"stray line among the fields", TwoRecords + QByteArray(Fields).replace("ADirs", "oops\r\nADirs"),
         "has a stray line among its fields: \"oops\""},
        {"a field that lost its =", TwoRecords + QByteArray(Fields).replace("ASource=", "ASource:"),
         "has a stray line among its fields: \"ASource:CD/DVD\""},
        {"ANumber zero", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=0"),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber negative", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=-7"),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber beyond 32 bits", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=2147483648"),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber far beyond", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=4294967295"),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber empty", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber="),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber not a number", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=abc"),
         "ANumber is not a number from 1 to 2147483647"},
        {"ANumber at the top", TwoRecords + QByteArray(Fields).replace("ANumber=7", "ANumber=2147483647"),
         ""},
        {"writer's line missing", TwoRecords + fieldsWithout("ACRC=450495"), "lacks its ACRC line"},
        {"AFiles empty", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles= "),
         "AFiles is missing or empty"},
        {"AFiles zero", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles=0"),
         "AFiles is 0 but the archive holds records"},
        {"AFiles negative", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles=-2"),
         "AFiles is negative"},
        {"AFiles negative, no records", QByteArray(Fields).replace("AFiles=2", "AFiles=-1"),
         "AFiles is negative"},
        {"AFiles not a number", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles=2x"),
         "AFiles is not a number"},
        {"AFiles too large", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles=3"),
         "AFiles promises more records than the archive holds"},
        {"AFiles too small", TwoRecords + QByteArray(Fields).replace("AFiles=2", "AFiles=1"),
         "holds more record lines than AFiles says"},
        {"a record line too many", TwoRecords + "extra\r\n" + Fields,
         "holds more record lines than AFiles says"},
        {"APars of 5 with matching lines",
         QByteArray(record("\\", "a") + "x\r\n" + record("\\", "b") + Fields)
             .replace("AEnd", "APars=5\r\nAEnd"),
         ""},
        {"APars not a number", TwoRecords + QByteArray(Fields).replace("AEnd", "APars=0\r\nAEnd"),
         "APars is not a positive number"},
    };
    const QString dir = ambrytest::makeTempDir(QStringLiteral("damage"));
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Archive::fromBytes(c.bytes).damage(), QString::fromUtf8(c.damage));
        const QString path = dir + QStringLiteral("/%1.dat").arg(++n);
        ambrytest::writeFile(path, c.bytes);
        const ArchiveFieldValues f = readArchiveFields(path);
        EXPECT_EQ(f.problem, QString::fromUtf8(c.damage));
        EXPECT_EQ(f.state, *c.damage ? ArchiveFieldValues::State::Damaged : ArchiveFieldValues::State::Sound);
        EXPECT_TRUE(f.recordsJudged); // small files are read whole
    }
}

TEST(ArchiveDamage, EveryTruncationIsDamaged)
{
    // Cut after every byte: only the cut that loses nothing but the final LF keeps it sound.
    for (const QByteArray &eol : {QByteArray("\r\n"), QByteArray("\n")}) {
        const QByteArray whole = QByteArray(TwoRecords + Fields).replace("\r\n", eol);
        for (qsizetype n = 0; n < whole.size(); ++n) {
            const QByteArray cut = whole.left(n);
            const bool sound = eol == "\r\n" && n == whole.size() - 1;
            EXPECT_EQ(Archive::fromBytes(cut).damage().isEmpty(), sound)
                << n << " bytes of " << whole.size() << ": "
                << Archive::fromBytes(cut).damage().toStdString();
        }
    }
}

TEST(ArchiveDamage, WhatTheWriterAndEditorWriteIsSound)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("sound"));
    const QByteArray recordSets[] = {
        QByteArray(),
        record("\\", "a.txt"),
        record("AMark=x", "AEnd=EndTag") + record("dir=1", "ANote=y", "0", "0"),
        QByteArray("\\\r\nno final line end\r\n1\r\n2"),
    };
    const char *edits[][3] = {
        {"CD 1", "", ""},    {"CD 1", "Shelf", ""}, {"CD 1", "", "note"}, {"", "", ""},
        {"X", "Attic", "n"}, {"CD 1", "", ""},      {"", "Box", ""},
    };
    int n = 0;
    for (const QByteArray &records : recordSets) {
        ArchiveFields f;
        f.mark = QStringLiteral("CD 1");
        f.location = QStringLiteral("Shelf");
        f.files = Archive::fromBytes(records).lineCount() / 4;
        f.number = n + 1;
        const QString path = writeNewArchive(numberedCatalog(dir), records, QString::number(++n), f);
        EXPECT_EQ(Archive::load(path).damage(), QString()) << records.constData();
        // Each edit applies to what the one before left.
        for (const auto &e : edits) {
            ASSERT_TRUE(ChangeValuesInArchive(QString::fromUtf8(e[0]), QString::fromUtf8(e[1]),
                                              QString::fromUtf8(e[2]), path));
            EXPECT_EQ(Archive::load(path).damage(), QString()) << ambrytest::readFile(path).constData();
            EXPECT_EQ(readArchiveFields(path).state, ArchiveFieldValues::State::Sound);
        }
    }
}

TEST(ArchiveFieldValues, ValuesAsStoredAndTailJudgement)
{
    QByteArray records;
    for (int i = 0; i < 3000; ++i)
        records += record("Music", "track" + QByteArray::number(i) + ".mp3");
    const QByteArray fields =
        QByteArray(Fields).replace("AFiles=2", "AFiles=3000").replace("AMark=CD No: 7", "amark= CD 7 ");
    const QString dir = ambrytest::makeTempDir(QStringLiteral("values"));
    const QString path = dir + QStringLiteral("/big.dat");
    ambrytest::writeFile(path, records + fields);
    const ArchiveFieldValues f = readArchiveFields(path);
    EXPECT_EQ(f.state, ArchiveFieldValues::State::Sound);
    EXPECT_FALSE(f.recordsJudged);
    EXPECT_EQ(f.mark, QStringLiteral(" CD 7 "));
    const QStringList got{f.date, f.location, f.files, f.dirs, f.note, f.size, f.number};
    EXPECT_EQ(got, QStringList({QStringLiteral("979544548"), QStringLiteral("Shelf A"),
                                QStringLiteral("3000"), QStringLiteral("1"), QStringLiteral("Holiday music"),
                                QStringLiteral("4323221"), QStringLiteral("7")}));

    // Damage in the record section is seen only when the whole file is read.
    QByteArray damaged = records + fields;
    damaged[100] = '\0';
    ambrytest::writeFile(path, damaged);
    EXPECT_EQ(readArchiveFields(path).state, ArchiveFieldValues::State::Sound);
    const ArchiveFieldValues whole = readArchiveFields(path, true);
    EXPECT_EQ(whole.state, ArchiveFieldValues::State::Damaged);
    EXPECT_EQ(whole.problem, QStringLiteral("holds a NUL byte"));
    EXPECT_EQ(whole.mark, QStringLiteral(" CD 7 "));
    EXPECT_TRUE(whole.recordsJudged);

    EXPECT_EQ(readArchiveFields(dir + QStringLiteral("/gone.dat")).state, ArchiveFieldValues::State::Missing);
    const ArchiveFieldValues folder = readArchiveFields(dir);
    EXPECT_EQ(folder.state, ArchiveFieldValues::State::Unreadable);
    EXPECT_FALSE(folder.problem.isEmpty());
    EXPECT_TRUE(folder.mark.isEmpty());
}

TEST(ArchiveText, BlockLineSplittersAgreeAtEveryOffset)
{
    // Blocks of 16 and 64 bytes cut CR LF pairs at every position.
    std::vector<LineSpan> lines;
    for (int pad = 0; pad < 150; ++pad) {
        const QByteArray text = QByteArray(pad, 'x') + "\r\nb\rc\n\nd\r\n\r\ne";
        indexLines(text.constData(), size_t(text.size()), lines);
        ASSERT_EQ(lines.size(), 7u) << pad;
        const char *want[] = {"", "b", "c", "", "d", "", "e"};
        for (int i = 0; i < 7; ++i) {
            const QByteArray got(text.constData() + lines[size_t(i)].begin,
                                 qsizetype(lines[size_t(i)].end - lines[size_t(i)].begin));
            EXPECT_EQ(got, i == 0 ? QByteArray(pad, 'x') : QByteArray(want[i])) << pad << " line " << i;
        }
        EXPECT_EQ(countLineEnds(text.constData(), 0, size_t(text.size())), 6u) << "the last line has no end";
        EXPECT_EQ(countLineEnds(text.constData(), 0, size_t(text.size()) - 2), 6u)
            << "a CR at the end counts";
        LineCursor cursor(text.constData(), size_t(text.size()));
        QByteArrayView line;
        bool ended = false;
        for (int i = 0; i < 7; ++i) {
            ASSERT_TRUE(cursor.next(&line, &ended)) << pad << " line " << i;
            EXPECT_EQ(line.data() - text.constData(), qsizetype(lines[size_t(i)].begin))
                << pad << " line " << i;
            EXPECT_EQ(line.size(), qsizetype(lines[size_t(i)].end - lines[size_t(i)].begin))
                << pad << " line " << i;
            EXPECT_EQ(ended, i < 6);
        }
        EXPECT_FALSE(cursor.next(&line)) << pad;
    }
}

namespace {

// Mappings of files in folder that this process holds.
int mappingsIn(const QString &folder)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    return int(maps.readAll().count(QFile::encodeName(folder)));
}

} // namespace

// Large archives are mapped; a mapping the buffer lets go of is unmapped at once, or with a
// batch open, together with others once they hold enough, and the rest when the batch ends.
// The bytes read are right either way.
TEST(ArchiveBuffer, SpentMappingsAreUnmappedAtOnceOrInBatches)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("maps"));
    constexpr int kFiles = 40;
    constexpr qsizetype kSize = 70 * 1024; // mapped, not read
    QStringList paths;
    for (int i = 0; i < kFiles; ++i) {
        paths << dir + QStringLiteral("/a%1.dat").arg(i);
        ambrytest::writeFile(paths.last(), QByteArray(kSize, char('a' + i % 26)));
    }
    const auto loadAll = [&](int *most) {
        auto buffer = std::make_unique<ArchiveBuffer>();
        for (int i = 0; i < kFiles; ++i) {
            QString error;
            ASSERT_TRUE(buffer->load(paths[i], &error)) << qPrintable(error);
            ASSERT_EQ(buffer->size(), size_t(kSize));
            ASSERT_EQ(buffer->data()[kSize - 1], char('a' + i % 26));
            *most = std::max(*most, mappingsIn(dir));
        }
        buffer.reset();
    };

    int most = 0;
    loadAll(&most);
    EXPECT_EQ(most, 1);
    EXPECT_EQ(mappingsIn(dir), 0);

    most = 0;
    {
        const BatchedUnmaps batch(1 << 20); // about 14 of these files
        loadAll(&most);
        EXPECT_GT(most, 1);
        EXPECT_LT(most, kFiles);
        EXPECT_GT(mappingsIn(dir), 0);
    }
    EXPECT_EQ(mappingsIn(dir), 0);
}
