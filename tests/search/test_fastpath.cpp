// The engine's fast paths (the skim, the byte match, the record shortcuts) against a plain
// reading of the matching rules: split the file into lines, build each record's match text as
// Unicode, upper-case it with the locale and look for the text. Archives are generated with
// contents that trip shortcuts: texts split across fields, records and blocks, every line end,
// characters outside ASCII whose capitals are ASCII, both encodings, NULs, and texts that
// occur only in the archive fields.

#include "TestSupport.h"
#include "catalog/Archive.h"
#include "catalog/DosDateTime.h"
#include "helper_archives.h"
#include "search/AccentFold.h"
#include "search/DateText.h"
#include "search/RegexMatch.h"
#include "search/SearchEngine.h"
#include "search/SkimKernel.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <charconv>
#include <optional>

using namespace search;
using namespace searchtest;

namespace {

// ------------------------------------------------------------------------------------------
// The reference: the rules read as plainly as possible.

QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    QByteArray line;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char ch = bytes[i];
        if (ch == '\r' || ch == '\n') {
            lines.append(line);
            line.clear();
            if (ch == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += ch;
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

bool wholeNumber(QByteArray text, qint64 *value)
{
    // An optional sign, then digits only (from_chars takes no "+").
    const bool plus = text.startsWith('+');
    if (plus)
        text.remove(0, 1);
    if (text.isEmpty() || (plus && text.startsWith('-')))
        return false;
    const char *end = text.constData() + text.size();
    const auto r = std::from_chars(text.constData(), end, *value);
    return r.ec == std::errc() && r.ptr == end;
}

struct Reference
{
    QStringList rows;    // "<file>:<k>"
    QStringList damaged; // file names
};

void referenceArchive(const QString &path, const SearchCriteria &c, Reference &out)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // Whole lines only: a last line without a line end takes no part.
    const auto wholeLines = [](const QByteArray &text) {
        QList<QByteArray> lines = splitLines(text);
        if (!text.isEmpty() && !text.endsWith('\n') && !text.endsWith('\r') && !lines.isEmpty())
            lines.removeLast();
        return lines;
    };
    const QList<QByteArray> lines = wholeLines(bytes);
    // The archive fields: the lines at the end that hold "=" or are empty.
    qsizetype fieldsBegin = lines.size();
    while (fieldsBegin > 0 && (lines[fieldsBegin - 1].isEmpty() || lines[fieldsBegin - 1].contains('=')))
        --fieldsBegin;
    const auto field = [&](const QByteArray &key) {
        for (qsizetype i = fieldsBegin; i < lines.size(); ++i) {
            const QByteArray line =
                lines[i].left(lines[i].indexOf('\0') < 0 ? lines[i].size() : lines[i].indexOf('\0'));
            if (line.startsWith(QByteArray(key + '=')))
                return line.mid(key.size() + 1).trimmed();
        }
        return QByteArray();
    };
    // Records end at the first NUL.
    const qsizetype nul = bytes.indexOf('\0');
    const qsizetype recordLines =
        nul < 0 ? fieldsBegin : std::min(fieldsBegin, wholeLines(bytes.left(nul)).size());
    const QString name = QFileInfo(path).fileName();
    qint64 count = 0;
    if (!wholeNumber(field("AFiles"), &count) || count <= 0)
        count = fieldsBegin > 0 ? recordLines / 4 : 0; // no usable count: every whole record
    const QByteArray markBytes = field("AMark");
    const QString mark = markBytes.isEmpty() ? QStringLiteral("Unknown") : decodeArchiveText(markBytes);
    // One disc's search judges only that disc's archives.
    if ((c.OnlyMark.isEmpty() || mark == c.OnlyMark) && !Archive::fromBytes(bytes).damage().isEmpty())
        out.damaged.append(name);
    const QLocale locale;
    const bool advanced = c.AdvancedMode;
    const bool caseSensitive = advanced && c.caseSensitive;
    const MatchMode mode = advanced ? c.match : c.simpleMatch;
    const bool accents = advanced ? c.ignoreAccents : c.simpleIgnoreAccents;
    // Capitals (or the fold) of a whole match text.
    const auto prepared = [&](const QString &text) {
        if (accents)
            return foldAccents(text, !caseSensitive);
        return caseSensitive ? text : locale.toUpper(text);
    };
    // The words, each normalised as the phrase is; a word holding the field separator never holds.
    QList<TypedWord> words;
    if (mode == MatchMode::AllWords || mode == MatchMode::AnyWord)
        words = splitSearchWords(c.searchText);
    else if (mode != MatchMode::Regex)
        words.append(TypedWord{c.searchText, false});
    for (TypedWord &w : words)
        w.text = normaliseWord(w.text, caseSensitive, accents);
    words.removeIf([](const TypedWord &w) { return w.text.isEmpty(); });
    std::shared_ptr<const RegexPattern> pattern;
    if (mode == MatchMode::Regex && !c.searchText.isEmpty()) {
        pattern = RegexPattern::compile(c.searchText, caseSensitive, accents, nullptr, nullptr);
        EXPECT_TRUE(pattern) << c.searchText.toStdString();
    }
    std::optional<RegexMatcher> matcher;
    if (pattern)
        matcher.emplace(pattern);
    const qint64 available = recordLines / 4;
    const QChar sep = QLatin1Char('\n');
    for (qint64 k = 0; k < std::min(count, available); ++k) {
        const QByteArray &folder = lines[k * 4];
        const QByteArray &nameLine = lines[k * 4 + 1];
        bool holds = true;
        if (!c.OnlyMark.isEmpty() && mark != c.OnlyMark)
            holds = false;
        // The searched fields, as text.
        QStringList fields;
        if (mode == MatchMode::BeginsWith) {
            if (!advanced || c.files)
                fields << decodeArchiveText(nameLine);
        } else if (!advanced) {
            fields << decodeArchiveText(folder) << decodeArchiveText(nameLine);
        } else {
            const qsizetype dot = nameLine.lastIndexOf('.');
            const QByteArray namePart = dot < 0 ? nameLine : nameLine.left(dot);
            const QByteArray typePart = dot < 0 ? QByteArray() : nameLine.mid(dot);
            if (c.marks)
                fields << mark;
            if (c.dirs)
                fields << decodeArchiveText(folder);
            if (c.files)
                fields << decodeArchiveText(namePart);
            if (c.types)
                fields << decodeArchiveText(typePart);
        }
        if (advanced) {
            if (c.dateActive) {
                qint64 v = 0;
                if (!wholeNumber(lines[k * 4 + 3], &v))
                    v = 0;
                holds = holds && c.DateFrom <= v && v <= c.DateTo;
            }
            if (c.sizeActive) {
                qint64 v = 0;
                if (!wholeNumber(QByteArray(lines[k * 4 + 2]).replace(".", ""), &v))
                    v = 0;
                holds = holds && (c.sizeAtMost ? v <= c.SizeLimit : v >= c.SizeLimit);
            }
        }
        if (matcher) {
            bool any = false;
            for (const QString &f : std::as_const(fields))
                any = any || matcher->match(QStringView(f)) == RegexMatcher::Result::Match;
            holds = holds && any;
        } else if (!words.isEmpty()) {
            QString text;
            for (const QString &f : std::as_const(fields))
                text += f + sep;
            text = prepared(text);
            bool all = true, any = false, none = true, included = false;
            for (const TypedWord &w : std::as_const(words)) {
                const bool found =
                    !w.text.contains(sep) &&
                    (mode == MatchMode::BeginsWith ? !fields.isEmpty() && text.startsWith(w.text)
                                                   : text.contains(w.text));
                if (w.excluded) {
                    none = none && !found;
                } else {
                    included = true;
                    all = all && found;
                    any = any || found;
                }
            }
            holds = holds && none && (mode == MatchMode::AnyWord ? !included || any : all);
        }
        if (holds)
            out.rows.append(name + QLatin1Char(':') + QString::number(k));
    }
}

// ------------------------------------------------------------------------------------------
// Generated archives

const char *const kPieces[] = {"song",
                               "SONG",
                               "sOnG",
                               "so",
                               "ng",
                               "s",
                               "ong",
                               "Stra\u00dfe",
                               "gro\xdf",
                               "\xef\xac\x81",
                               "\xef\xac\x86",
                               "\xc5\xbf",
                               "\xc4\xb1",
                               "caf\xc3\xa9",
                               "caf\xe9",
                               "\xc3\x89t\xc3\xa9",
                               "x",
                               "12",
                               " - ",
                               ".mp3",
                               ".",
                               "\xc3\x9f",
                               "ST",
                               "fi",
                               "\xc3\xb1",
                               "\xc3\x84rger",
                               "Photos",
                               "IMG_0042",
                               "s\xc3\x9f",
                               "\xe1\xba\x96",
                               "\xe2\x84\xaa", // Kelvin sign
                               "\xc3\xb8",
                               "c\x9cur",
                               "e\xcc\x81", // a mark written apart
                               "cole"};
constexpr uint32_t kPieceCount = sizeof kPieces / sizeof kPieces[0];

QByteArray randomText(Random &rnd, int maxPieces)
{
    QByteArray t;
    for (uint32_t k = 1 + rnd(uint32_t(maxPieces)); k > 0; --k)
        t += kPieces[rnd(kPieceCount)];
    // A run of padding moves what follows across block boundaries.
    if (rnd(3) == 0)
        t.insert(rnd(uint32_t(t.size()) + 1), QByteArray(int(rnd(70)), rnd(2) ? 'a' : 'x'));
    return t;
}

QByteArray randomNumberLine(Random &rnd, bool date)
{
    switch (rnd(12)) {
    case 0:
        return "12a";
    case 1:
        return "1.234";
    case 2:
        return "-5";
    case 3:
        return "99999999999999999999";
    default:
        return date
                   ? QByteArray::number(dosdate::pack(1980 + int(rnd(60)), 1 + int(rnd(12)), 1 + int(rnd(28)),
                                                      int(rnd(24)), int(rnd(60)), int(rnd(60))))
                   : QByteArray::number(rnd(3000000));
    }
}

QByteArray randomArchive(Random &rnd, int index, int *records)
{
    const char *const eols[] = {"\r\n", "\n", "\r"};
    const QByteArray eol = eols[rnd(3)];
    const int n = rnd(6) == 0 ? 600 + int(rnd(1500)) : 1 + int(rnd(300));
    *records = n;
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        const QByteArray folder =
            rnd(4) == 0 ? QByteArray("\\") : randomText(rnd, 3) + "\\" + randomText(rnd, 2);
        QByteArray name = randomText(rnd, 3);
        if (rnd(2))
            name += QByteArray(".") + (rnd(2) ? "mp3" : "TXT");
        out += folder + eol + name + eol + randomNumberLine(rnd, false) + eol + randomNumberLine(rnd, true) +
               eol;
    }
    if (index % 9 == 4)
        out.insert(rnd(uint32_t(out.size())), '\0'); // the records end there
    // Field values that hold the texts searched for: they must never count as records.
    const QByteArray marks[] = {"song", "", "CD No: " + QByteArray::number(index),
                                "Stra\xc3\x9f"
                                "e"};
    out += "ADate=979544548" + eol;
    out += "AMark=" + marks[index % 4] + eol;
    out += "ALocation=SONG fi st 12" + eol;
    out += "ACRC=450495" + eol;
    switch (index % 7) {
    case 1:
        out += "AFiles=" + QByteArray::number(n + 1 + int(rnd(3))) + eol; // more than it holds
        break;
    case 2:
        out += "AFiles=" + QByteArray::number(n / 2) + eol;
        break;
    case 3:
        out += "AFiles=1x" + eol;
        break;
    default:
        out += "AFiles=" + QByteArray::number(n) + eol;
        break;
    }
    out += "ADirs=1" + eol + "ANote=song ss fi" + eol + "ASize=12" + eol + "ANumber=7" + eol;
    out += "ASource=CD/DVD" + eol + "APicture=" + eol + "AEnd=EndTag" + eol;
    return out;
}

struct Variant
{
    const char *what;
    std::function<void(SearchCriteria &)> set;
    enum Texts { Phrases, Words, Expressions } texts = Phrases; // which list below it takes
};

TEST(FastPath, RowsAgreeWithAPlainReadingOfTheRules)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("fastpath"));
    Random rnd(2024);
    for (int a = 0; a < 45; ++a) {
        int records = 0;
        ambrytest::writeFile(QDir(dir).filePath(QStringLiteral("%1.dat").arg(a, 3, 10, QLatin1Char('0'))),
                             randomArchive(rnd, a, &records));
    }
    QStringList files = QDir(dir).entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);

    const char *const texts[] = {"song", "ss",   "st",      "fi",   "so", "ng",       "ong",
                                 "12",   ".mp3", "*s?ong*", "x - ", "I",  "\xc3\xa9", "ongs",
                                 "SS",   "o\\n", "cafe",    "ETE",  ""};
    const std::vector<Variant> variants = {
        {"simple", [](SearchCriteria &) {}},
        {"advanced, default fields", [](SearchCriteria &c) { c.AdvancedMode = true; }},
        {"advanced, marks and types",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.marks = true;
             c.dirs = c.files = false;
         }},
        {"advanced, names only, case sensitive",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.dirs = c.types = false;
             c.caseSensitive = true;
         }},
        {"advanced, date and size",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.dateActive = true;
             DateChange(QDate(1990, 1, 1), QDate(2020, 6, 30), c);
             c.sizeActive = true;
             c.sizeAtMost = true;
             SizeChange(1500, SizeUnit::KiloBytes, c);
         }},
        {"simple, one mark", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("song"); }},
        {"simple, mark Unknown", [](SearchCriteria &c) { c.OnlyMark = QStringLiteral("Unknown"); }},
        {"simple, accents ignored", [](SearchCriteria &c) { c.simpleIgnoreAccents = true; }, Variant::Words},
        {"simple, all words",
         [](SearchCriteria &c) {
             c.simpleMatch = MatchMode::AllWords;
             c.searchText.replace(QLatin1Char('o'), QLatin1Char(' '));
         },
         Variant::Words},
        {"simple, all words, accents ignored",
         [](SearchCriteria &c) {
             c.simpleMatch = MatchMode::AllWords;
             c.simpleIgnoreAccents = true;
             c.searchText = QStringLiteral("-x ") + c.searchText;
         },
         Variant::Words},
        {"advanced, any word, marks, accents ignored, case sensitive",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.match = MatchMode::AnyWord;
             c.marks = true;
             c.ignoreAccents = true;
             c.caseSensitive = true;
             c.searchText += QStringLiteral(" \"st\" -\"12 \"");
         },
         Variant::Words},
        {"advanced, begins with, names and types",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.match = MatchMode::BeginsWith;
             c.dirs = false;
         },
         Variant::Words},
        {"simple, regular expression", [](SearchCriteria &c) { c.simpleMatch = MatchMode::Regex; },
         Variant::Expressions},
        {"advanced, regular expression, marks and types, accents ignored",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.match = MatchMode::Regex;
             c.marks = true;
             c.dirs = c.files = false;
             c.ignoreAccents = true;
         },
         Variant::Expressions},
        {"advanced, regular expression, names, case sensitive",
         [](SearchCriteria &c) {
             c.AdvancedMode = true;
             c.match = MatchMode::Regex;
             c.dirs = c.types = false;
             c.caseSensitive = true;
         },
         Variant::Expressions},
    };
    const char *const words[] = {"song", "ss st", "so -ng", "cafe", "ETE", "\"s ng\" fi", "ecole", "", "-"};
    const char *const expressions[] = {"song",    "s.ng",  "^s",    "ng$",    "so+ng|fi",   "[0-9]{2}",
                                       "\\.mp3$", "^\\\\", "caf.",  "\\w{5}", "st.*ong\\b", "(?i)STRASSE",
                                       "e\\z",    "^$",    "songk", ""};
    qint64 totalRows = 0;
    for (const Variant &v : variants) {
        const auto listOf = [](const auto &list) {
            return std::vector<const char *>(std::begin(list), std::end(list));
        };
        const std::vector<const char *> list = v.texts == Variant::Expressions ? listOf(expressions)
                                               : v.texts == Variant::Words     ? listOf(words)
                                                                               : listOf(texts);
        for (const char *t : list) {
            SCOPED_TRACE(std::string(v.what) + ", text '" + t + "'");
            SearchCriteria c;
            c.searchText = QString::fromUtf8(t);
            v.set(c);
            Reference ref;
            for (const QString &f : files)
                referenceArchive(QDir(dir).filePath(f), c, ref);
            SearchProblems problems;
            QStringList got;
            for (const Row &r : searchFolder(dir, c, &problems, true))
                got.append(QFileInfo(r.path).fileName() + QLatin1Char(':') + QString::number(r.record));
            QStringList damaged;
            for (const QString &p : problems.damagedArchives)
                damaged.append(QFileInfo(p).fileName());
            ASSERT_EQ(got.size(), ref.rows.size());
            EXPECT_EQ(got, ref.rows);
            EXPECT_EQ(damaged, ref.damaged);
            totalRows += got.size();
        }
    }
    EXPECT_GT(totalRows, 10000) << "the archives must give the texts something to find";
}

// The texts that shortcuts get wrong most easily, each in a record of its own, with the
// expected answer in simple mode written out.
TEST(FastPath, TextsAcrossFieldsRecordsAndEncodings)
{
    struct Case
    {
        const char *what;
        Rec rec;
        const char *text;
        bool found;
    };
    const Case cases[] = {
        {"split between folder and name", {"Music\\so", "ng.mp3"}, "song", false},
        {"split between name and size", {"Music", "so", "ng"}, "song", false},
        {"in the size line only", {"Music", "a.mp3", "12345"}, "234", false},
        {"in the date line only", {"Music", "a.mp3", "1", "950948495"}, "0948", false},
        {"sharp s in UTF-8", {"Stra\u00dfe", "a"}, "strasse", true},
        {"sharp s in Windows-1252", {"\\", "gro\xdf.txt"}, "GROSS", true},
        {"ligature st", {"\\", "\xef\xac\x86ory.txt"}, "story", true},
        {"ligature fi before the text", {"\\", "\xef\xac\x81song"}, "fisong", true},
        {"long s", {"\\", "\xc5\xbfong"}, "song", true},
        {"long s split by the field end", {"x\xc5\xbf", "ong"}, "song", false},
        {"dotless i", {"\\", "\xc4\xb1ndex"}, "index", true},
        {"accent keeps its own capital", {"\\", "caf\xc3\xa9"}, "CAFE", false},
        {"accented text, other case", {"\\", "caf\xc3\xa9"}, "CAF\xc3\x89", true},
        {"accented text, Windows-1252", {"\\", "caf\xe9"}, "caf\xc3\xa9", true},
    };
    const QString dir = ambrytest::makeTempDir(QStringLiteral("fastcases"));
    for (const char *eol : {"\r\n", "\n"}) {
        for (const Case &tc : cases) {
            SCOPED_TRACE(std::string(tc.what) + (eol[0] == '\r' ? " (CR LF)" : " (LF)"));
            // Padding records move the record across block boundaries.
            for (int pad = 0; pad < 70; pad += 23) {
                QList<Rec> recs;
                recs.append(Rec{QByteArray(pad, 'q'), "pad"});
                recs.append(tc.rec);
                Fields fields;
                fields.mark = tc.text; // the mark holds the text: it must not count in simple mode
                const QString path = writeArchive(dir, QStringLiteral("a.dat"), recs, fields, eol);
                SearchCriteria c;
                c.searchText = QString::fromUtf8(tc.text);
                const QList<Row> rows = searchFolder(dir, c);
                EXPECT_EQ(rows.size(), tc.found ? 1 : 0) << "padding " << pad;
                Reference ref;
                referenceArchive(path, c, ref);
                EXPECT_EQ(ref.rows.size(), rows.size()) << "the reference disagrees, padding " << pad;
            }
        }
    }
}

// Accents ignored, the texts whose letters the skim meets only through characters outside
// ASCII: marks written apart, letters spelt out, both encodings. Found by the skim and the plain
// reading alike.
TEST(FastPath, AccentsIgnoredAcrossMarksAndEncodings)
{
    struct Case
    {
        Rec rec;
        const char *text;
    };
    const Case cases[] = {
        {{"\\", "ha\xcc\x8arp.txt"}, "harp"}, // a mark no letter of the text shares a byte with
        {{"\\", "cafe\xcc\x81s"}, "cafes"},
        {{"\\", "\xc3\x89"
                "cole"},
         "ecole"},
        {{"\\", "\xc9"
                "cole"},
         "ecole"},
        {{"Stra\xc3\x9f"
          "e",
          "a"},
         "strasse"},
        {{"\\", "\xc3\x86r\xc3\xb8"}, "aero"},
        {{"\\", "\xc5\x81\xc3\xb3"
                "d\xc5\xba"},
         "lodz"},
    };
    const QString dir = ambrytest::makeTempDir(QStringLiteral("accentcases"));
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.text);
        for (int pad = 0; pad < 70; pad += 23) {
            const QList<Rec> recs = {Rec{QByteArray(pad, 'q'), "pad"}, tc.rec};
            writeArchive(dir, QStringLiteral("a.dat"), recs, Fields{});
            SearchCriteria c;
            c.searchText = QString::fromUtf8(tc.text);
            c.simpleIgnoreAccents = true;
            EXPECT_EQ(searchFolder(dir, c, nullptr, true).size(), 1) << "skimmed, padding " << pad;
            EXPECT_EQ(searchFolder(dir, c, nullptr, false).size(), 1) << "read plainly, padding " << pad;
        }
    }
}

// Each mode's own examples through the whole engine, skimmed and read plainly: the rows are
// the names the rule picks out of one UTF-8 archive and one in Windows-1252.
TEST(FastPath, EachModeFindsWhatItsRuleSays)
{
    const QString dir = ambrytest::makeTempDir(QStringLiteral("modecases"));
    writeArchive(dir, QStringLiteral("a.dat"),
                 {Rec{"\\Music\\The Beatles", "The Beatles - Help!.mp3"},
                  Rec{"\\Music\\The Who", "Live at Leeds.mp3"}, Rec{"\\Music\\The Who", "Tommy.mp3"},
                  Rec{"\\Docs", "École.txt"}, Rec{"\\Docs", "2003-11 Summer.jpg"},
                  Rec{"\\Docs", "help.txt"}});
    writeArchive(dir, QStringLiteral("b.dat"), {Rec{"\\Ecrits", QByteArray("\xc9") + "cole du soir.doc"}});
    struct Case
    {
        MatchMode mode;
        bool accents;
        const char *text;
        std::function<void(SearchCriteria &)> advanced; // null: the simple search
        QStringList names;
    };
    using M = MatchMode;
    const auto names = [](std::initializer_list<const char *> list) {
        QStringList out;
        for (const char *n : list)
            out << QString::fromUtf8(n);
        out.sort();
        return out;
    };
    const auto typesOnly = [](SearchCriteria &c) { c.dirs = c.files = false; };
    const Case cases[] = {
        {M::Phrase, false, "beatles help", {}, {}},
        {M::Phrase, false, "beatles - help", {}, names({"The Beatles - Help!.mp3"})},
        {M::AllWords, false, "beatles help", {}, names({"The Beatles - Help!.mp3"})},
        {M::AllWords, false, "help", {}, names({"The Beatles - Help!.mp3", "help.txt"})},
        {M::AllWords, false, "who -live", {}, names({"Tommy.mp3"})},
        {M::AllWords, false, "\"at leeds\" mp3", {}, names({"Live at Leeds.mp3"})},
        {M::AllWords, false, "the -\"the who\"", {}, names({"The Beatles - Help!.mp3"})},
        {M::AnyWord, false, "tommy leeds", {}, names({"Live at Leeds.mp3", "Tommy.mp3"})},
        {M::AnyWord, false, "tommy leeds -live", {}, names({"Tommy.mp3"})},
        {M::BeginsWith, false, "live", {}, names({"Live at Leeds.mp3"})},
        {M::BeginsWith, false, "who", {}, {}},
        {M::Phrase, false, "ecole", {}, {}},
        {M::Phrase, true, "ecole", {}, names({"École.txt", "École du soir.doc"})},
        {M::AllWords, true, "école soir", {}, names({"École du soir.doc"})},
        {M::BeginsWith, true, "eco", {}, names({"École.txt", "École du soir.doc"})},
        {M::Regex, false, "^[0-9]{4}-", {}, names({"2003-11 Summer.jpg"})},
        {M::Regex, false, "^the", {}, names({"The Beatles - Help!.mp3"})},
        {M::Regex, false, "^\\\\docs$", {}, names({"École.txt", "2003-11 Summer.jpg", "help.txt"})},
        {M::Regex, false, "^École", {}, names({"École.txt", "École du soir.doc"})},
        {M::Regex, true, "^ecole\\.", {}, names({"École.txt"})},
        {M::Regex, false, "^\\.mp3$", typesOnly,
         names({"The Beatles - Help!.mp3", "Live at Leeds.mp3", "Tommy.mp3"})},
        {M::Regex, false, "help.*mp3", typesOnly, {}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(matchModeName(tc.mode).toStdString() + " '" + tc.text + "'" +
                     (tc.accents ? ", accents ignored" : "") + (tc.advanced ? ", advanced" : ""));
        SearchCriteria c;
        c.searchText = QString::fromUtf8(tc.text);
        c.simpleMatch = c.match = tc.mode;
        c.simpleIgnoreAccents = c.ignoreAccents = tc.accents;
        if (tc.advanced) {
            c.AdvancedMode = true;
            tc.advanced(c);
        }
        for (const bool skim : {true, false}) {
            QStringList found;
            for (const Row &r : searchFolder(dir, c, nullptr, skim))
                found << decodeArchiveText(r.name);
            found.sort();
            EXPECT_EQ(found, tc.names) << (skim ? "skimmed" : "read plainly");
        }
    }
}

// A regular expression finds the records grep -P finds in their folder or name lines, letter
// case ignored, over names made of pieces that the expressions below are about.
TEST(FastPath, RegularExpressionsFindWhatGrepFinds)
{
    const char *const pieces[] = {"song", "Song",         "2003-", "12", ".mp3", ".MP3", " ",     "-",
                                  "live", "Bj\xc3\xb6rk", "aa",    "_",  "x",    "\\",   "Summer"};
    Random rnd(2024);
    QList<Rec> recs;
    QByteArray folders, names;
    for (int i = 0; i < 400; ++i) {
        Rec r;
        for (QByteArray *line : {&r.folder, &r.name}) {
            const uint32_t n = rnd(5);
            for (uint32_t k = 0; k < n; ++k)
                *line += pieces[rnd(sizeof pieces / sizeof pieces[0])];
        }
        recs.append(r);
        folders += r.folder + '\n';
        names += r.name + '\n';
    }
    const QString dir = ambrytest::makeTempDir(QStringLiteral("grepcases"));
    writeArchive(dir, QStringLiteral("a.dat"), recs);
    const QString lists = ambrytest::makeTempDir(QStringLiteral("greplists"));
    for (const auto &[file, bytes] :
         {std::pair{QStringLiteral("folders"), folders}, {QStringLiteral("names"), names}}) {
        QFile f(lists + QLatin1Char('/') + file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    // The line numbers grep -P finds in one list, as record numbers.
    const auto grep = [&](const char *expression, const QString &file) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("grep"),
                {QStringLiteral("-P"), QStringLiteral("-i"), QStringLiteral("-n"), QStringLiteral("-e"),
                 QString::fromUtf8(expression), lists + QLatin1Char('/') + file});
        EXPECT_TRUE(p.waitForFinished(30000));
        EXPECT_LE(p.exitCode(), 1) << p.readAllStandardError().toStdString();
        QSet<qint64> lines;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                lines.insert(line.left(line.indexOf(':')).toLongLong() - 1);
        }
        return lines;
    };
    const char *const expressions[] = {
        "song.*\\.mp3", "^[0-9]{4}-",  "^s", "mp3$",    "^.{5}$",      "bj.rk",   "(?<!x)live",  "^(aa)+$",
        "\\\\$",        "so(ng|x)\\.", "^$", "12(?=-)", "[^a-z0-9 ]$", "\\.MP3 ", "summer.*song"};
    qint64 total = 0;
    for (const char *expression : expressions) {
        SCOPED_TRACE(expression);
        const QSet<qint64> expected =
            grep(expression, QStringLiteral("folders")) + grep(expression, QStringLiteral("names"));
        SearchCriteria c;
        c.searchText = QString::fromUtf8(expression);
        c.simpleMatch = MatchMode::Regex;
        for (const bool skim : {true, false}) {
            QSet<qint64> found;
            for (const Row &r : searchFolder(dir, c, nullptr, skim))
                found.insert(r.record);
            EXPECT_EQ(found, expected) << (skim ? "skimmed" : "read plainly");
        }
        total += expected.size();
    }
    EXPECT_GT(total, 400); // the expressions find something to agree on
}

// Every block scan against a byte loop over long texts (past the point where the line
// counters are summed up), with up to eight probe bytes (two of them alike in their low six
// bits) or a set of high bytes, texts of every length and a small output buffer that makes the
// scan stop and go on.
TEST(FastPath, BlockScansAgreeOverLongTexts)
{
    Random rnd(99);
    const uchar seconds[] = {0x9F, 0xB1, 0x89, 0xBF, 0xB0, 0xBA, 0xAC};
    const uchar leads[] = {0xC3, 0xC4, 0xC5, 0xC5, 0xC7, 0xE1, 0xEF};
    const char alphabet[] = {'s',        'S',        'o',        'g',        'G',
                             '\r',       '\n',       'x',        'a',        'b',
                             'c',        'd',        'e',        ' ',        '.',
                             char(0xC3), char(0x9F), char(0xDF), char(0xC5), char(0xBF),
                             char(0xEF), char(0xAC), char(0xA9), char(0xE1), char(0xBA)};
    for (int round = 0; round < 60; ++round) {
        const size_t n = 1 + rnd(round % 3 == 0 ? 40000 : 3000);
        QByteArray text(qsizetype(n), '\0');
        for (char &ch : text)
            ch = alphabet[rnd(round % 2 ? 10 : sizeof alphabet)];
        SkimQuery q;
        q.m = 1 + rnd(8);
        q.firstFold = 0x20;
        q.firstWant = 's';
        q.lastFold = rnd(2) ? 0x20 : 0;
        q.lastWant = q.lastFold ? 'g' : 'G';
        const int pairs = int(rnd(8));
        for (int i = 0; i < pairs; ++i) {
            q.lead[q.pairs] = leads[i];
            q.second[q.pairs] = seconds[i];
            ++q.pairs;
            bool known = false;
            for (int j = 0; j < q.probes; ++j)
                known = known || q.probe[j] == seconds[i];
            if (!known)
                q.probe[q.probes++] = seconds[i];
        }
        if (round % 7 == 3) {
            q.lead[q.pairs] = 0xC3;
            q.second[q.pairs] = 0xDF;
            ++q.pairs;
            q.probe[q.probes++] = 0xDF;
        }
        q.singleDF = rnd(2);
        // Accents ignored: a set of bytes of 128 or more in place of the pairs.
        if (round % 5 == 4) {
            q.pairs = q.probes = 0;
            q.singleDF = false;
            q.accent = true;
            q.highSet[0] = uint64_t(rnd(0xFFFFFFu)) << 40 | rnd(0xFFFFFFu) << 8 | rnd(256);
            q.highSet[1] = uint64_t(rnd(0xFFFFFFu)) << 40 | rnd(0xFFFFFFu) << 8 | rnd(256);
        }
        // A scan without a byte table (SSE2) takes every byte of 128 or more in the set's place.
        const auto expectedFor = [&](bool anyHigh) {
            std::vector<SkimCandidate> expected;
            uint64_t line = 0;
            for (size_t i = 0; i < n; ++i) {
                const uchar b = uchar(text[qsizetype(i)]);
                const uchar next = i + 1 < n ? uchar(text[qsizetype(i + 1)]) : 0;
                const bool hit = i + q.m - 1 < n && (b | q.firstFold) == q.firstWant &&
                                 (uchar(text[qsizetype(i + q.m - 1)]) | q.lastFold) == q.lastWant;
                bool special = q.singleDF && b == 0xDF;
                for (int j = 0; j < q.pairs; ++j)
                    special = special || (b == q.lead[j] && next == q.second[j]);
                if (q.accent && b >= 0x80)
                    special = anyHigh || (q.highSet[(b - 128) / 64] >> ((b - 128) % 64) & 1);
                if (hit || special)
                    expected.push_back(SkimCandidate{i, line, special});
                if (b == '\n' || (b == '\r' && next != '\n'))
                    ++line;
            }
            return std::make_pair(expected, line);
        };
        const auto [exact, line] = expectedFor(false);
        const std::vector<SkimCandidate> anyHigh = expectedFor(true).first;
        const uint64_t limit = round % 4 == 1 ? rnd(uint32_t(line) + 1) : UINT64_MAX;
        // Some texts hold a NUL: the scan stops there, naming its place, and reports nothing
        // after it.
        size_t nul = SIZE_MAX;
        if (round % 4 == 2) {
            nul = rnd(uint32_t(n));
            text[qsizetype(nul)] = '\0';
        }
        for (const auto &[name, scan] : skimFunctions()) {
            SCOPED_TRACE("round " + std::to_string(round) + " " + name);
            const std::vector<SkimCandidate> &expected = std::string(name) == "SSE2" ? anyHigh : exact;
            SkimState st;
            std::vector<SkimCandidate> got;
            std::vector<SkimCandidate> buffer(64 + rnd(200));
            while (st.offset < n && st.lines < limit && st.nulAt == SIZE_MAX) {
                const size_t k = scan(q, st, text.constData(), n, limit, buffer.data(), buffer.size());
                got.insert(got.end(), buffer.begin(), buffer.begin() + qsizetype(k));
            }
            ASSERT_LE(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i].pos, expected[i].pos) << i;
                EXPECT_EQ(got[i].line, expected[i].line) << i;
                EXPECT_EQ(got[i].special, expected[i].special) << i;
                if (nul != SIZE_MAX) {
                    ASSERT_LT(got[i].pos, nul);
                }
            }
            EXPECT_EQ(st.nulAt, nul);
            if (nul != SIZE_MAX)
                continue; // the engine reads such an archive again, record by record
            // Every candidate before the line limit is reported.
            for (size_t i = got.size(); i < expected.size(); ++i)
                ASSERT_GE(expected[i].line, limit) << "missed at " << expected[i].pos;
            if (limit == UINT64_MAX) {
                EXPECT_EQ(st.lines, line);
            }
        }
    }
}

// The packed-date check the rows use agrees with unpacking.
TEST(FastPath, PackedDateCheckAgreesWithUnpack)
{
    Random rnd(5);
    for (int i = 0; i < 50000; ++i) {
        const int32_t v = int32_t(rnd(0xFFFFFFu) << 8 | rnd(256));
        ASSERT_EQ(dosdate::isValid(v), dosdate::unpack(v).isValid()) << v;
    }
    EXPECT_TRUE(dosdate::isValid(dosdate::pack(2008, 2, 29, 23, 59, 58)));
    EXPECT_FALSE(dosdate::isValid(dosdate::pack(2007, 2, 29, 0, 0, 0)));
}

} // namespace
