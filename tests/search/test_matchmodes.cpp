// The matching pieces behind the match modes: the word split, how words combine in each mode,
// the accent folding (text and archive bytes alike) and the regular expressions.

#include "TestSupport.h"
#include "catalog/ArchiveText.h"
#include "search/AccentFold.h"
#include "search/RegexMatch.h"
#include "search/TextQuery.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace search;

namespace {

QByteArray cp1252(const char *utf8)
{
    // Every character these tests use lies in Latin-1 or is one of the two Windows-1252 extras.
    QByteArray out;
    for (const QChar c : QString::fromUtf8(utf8)) {
        if (c.unicode() == 0x0153)
            out += char(0x9C);
        else if (c.unicode() == 0x0152)
            out += char(0x8C);
        else
            out += char(c.unicode());
    }
    return out;
}

// By hand: QString::fromUcs4 takes a leading U+FEFF for a byte order mark and drops it.
QByteArray utf8Of(char32_t cp)
{
    QByteArray out;
    if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
    }
    out += char(0x80 | (cp & 0x3F));
    return out;
}

QString textOf(char32_t cp)
{
    if (!QChar::requiresSurrogates(cp))
        return QString(QChar(char16_t(cp)));
    const QChar pair[2] = {QChar(QChar::highSurrogate(cp)), QChar(QChar::lowSurrogate(cp))};
    return QString(pair, 2);
}

// ------------------------------------------------------------------------------------------
// Words

TEST(SearchWords, SplitsAtBlanksWithQuotesAndExclusions)
{
    struct Case
    {
        const char *typed;
        std::vector<std::pair<const char *, bool>> words;
    };
    const Case cases[] = {
        {"beatles help", {{"beatles", false}, {"help", false}}},
        {"  two   blanks\tand tab ", {{"two", false}, {"blanks", false}, {"and", false}, {"tab", false}}},
        {"queen -live", {{"queen", false}, {"live", true}}},
        {"\"live at leeds\" who", {{"live at leeds", false}, {"who", false}}},
        {"-\"live at\" leeds", {{"live at", true}, {"leeds", false}}},
        {"the beatles - help", {{"the", false}, {"beatles", false}, {"-", false}, {"help", false}}},
        {"--x", {{"-x", true}}},
        {"a-b", {{"a-b", false}}},
        {"ab\"cd ef\"gh", {{"abcd efgh", false}}},
        {"\"unclosed quote", {{"unclosed quote", false}}},
        {"\"\" -\"\" -", {{"-", false}}},
        {"", {}},
    };
    for (const Case &c : cases) {
        QList<TypedWord> expected;
        for (const auto &[text, excluded] : c.words)
            expected.append(TypedWord{QString::fromUtf8(text), excluded});
        EXPECT_EQ(splitSearchWords(QString::fromUtf8(c.typed)), expected) << c.typed;
    }
}

TEST(SearchWords, ModeNamesGoBothWays)
{
    const QStringList texts = matchModeTexts();
    ASSERT_EQ(texts.size(), 5);
    EXPECT_EQ(texts.first(), QStringLiteral("Phrase"));
    for (MatchMode m : {MatchMode::Phrase, MatchMode::AllWords, MatchMode::AnyWord, MatchMode::BeginsWith,
                        MatchMode::Regex}) {
        MatchMode back = MatchMode::Phrase;
        EXPECT_TRUE(matchModeFromName(matchModeName(m), &back));
        EXPECT_EQ(back, m);
    }
    MatchMode m = MatchMode::Regex;
    EXPECT_FALSE(matchModeFromName(u"words", &m));
    EXPECT_EQ(m, MatchMode::Regex);
}

// One record's searched fields against a query, as the engine's rule reads: a word holds when
// it occurs in one field; for BeginsWith, when the name starts with it.
bool recordMatches(const TextQuery &q, const QStringList &fields, bool caseSensitive, bool accents)
{
    QStringList prepared;
    for (const QString &f : fields)
        prepared << normaliseWord(f, caseSensitive, accents);
    return q.matches([&](int i) {
        const QString &w = q.words().at(i).text;
        if (q.mode() == MatchMode::BeginsWith)
            return prepared.last().startsWith(w);
        for (const QString &f : prepared) {
            if (f.contains(w))
                return true;
        }
        return false;
    });
}

TEST(SearchWords, EachModeCombinesItsWords)
{
    struct Case
    {
        MatchMode mode;
        const char *typed;
        bool caseSensitive, accents;
        const char *folder, *name;
        bool matches;
    };
    using M = MatchMode;
    const Case cases[] = {
        // The phrase: one substring, blanks and all, "*" and "?" dropped.
        {M::Phrase, "beatles help", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::Phrase, "beatles - help", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::Phrase, "*.mp3", false, false, "\\Music", "The Beatles - Help!.MP3", true},
        {M::Phrase, "ecole", false, false, "\\", "École.txt", false},
        {M::Phrase, "ecole", false, true, "\\", "École.txt", true},
        // All words: every word somewhere, in any order, across fields.
        {M::AllWords, "beatles help", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::AllWords, "help beatles", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::AllWords, "music help", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::AllWords, "beatles abba", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::AllWords, "Beatles help", true, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::AllWords, "\"beatles help\"", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::AllWords, "\"beatles - help\" the", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::AllWords, "who -live", false, false, "\\Music", "Live at Leeds.mp3", false},
        {M::AllWords, "-live", false, false, "\\Music", "Live at Leeds.mp3", false},
        {M::AllWords, "-live", false, false, "\\Music", "Tommy.mp3", true},
        {M::AllWords, "leeds -\"live at\"", false, false, "\\Music", "Live at Leeds.mp3", false},
        {M::AllWords, "leeds -\"at live\"", false, false, "\\Music", "Live at Leeds.mp3", true},
        {M::AllWords, "* ?", false, false, "\\", "any.txt", true},
        {M::AllWords, "creme brulee", false, true, "\\Food", "Crème brûlée.doc", true},
        // Any word: one is enough; an excluded word still excludes.
        {M::AnyWord, "abba beatles", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::AnyWord, "abba queen", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::AnyWord, "abba beatles -help", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::AnyWord, "-abba", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        // Begins with: the file name's start, not the folder's.
        {M::BeginsWith, "the beat", false, false, "\\Music", "The Beatles - Help!.mp3", true},
        {M::BeginsWith, "beatles", false, false, "\\Music", "The Beatles - Help!.mp3", false},
        {M::BeginsWith, "music", false, false, "Music", "The Beatles - Help!.mp3", false},
        {M::BeginsWith, "zur", false, true, "\\", "Zürich.jpg", true},
        {M::BeginsWith, "Zur", true, true, "\\", "zürich.jpg", false},
    };
    for (const Case &c : cases) {
        const TextQuery q(QString::fromUtf8(c.typed), c.mode, c.caseSensitive, c.accents);
        EXPECT_EQ(recordMatches(q, {QString::fromUtf8(c.folder), QString::fromUtf8(c.name)}, c.caseSensitive,
                                c.accents),
                  c.matches)
            << matchModeName(c.mode).toStdString() << " '" << c.typed << "' in " << c.folder << " | "
            << c.name;
    }
}

TEST(SearchWords, RequiredWordIsTheLongestIncludedOne)
{
    struct Case
    {
        MatchMode mode;
        const char *typed;
        const char *required; // empty: none
    };
    using M = MatchMode;
    const Case cases[] = {
        {M::Phrase, "a b", "A B"},
        {M::AllWords, "help beatles", "BEATLES"},
        {M::AllWords, "-beatles help", "HELP"},
        {M::AllWords, "-beatles", ""},
        {M::AnyWord, "help beatles", ""},
        {M::AnyWord, "help -beatles", "HELP"},
        {M::BeginsWith, "the", "THE"},
        {M::Phrase, "*?", ""},
    };
    for (const Case &c : cases) {
        const TextQuery q(QString::fromUtf8(c.typed), c.mode, false, false);
        const int r = q.requiredWord();
        EXPECT_EQ(r < 0 ? QString() : q.words().at(r).text, QString::fromUtf8(c.required)) << c.typed;
    }
    EXPECT_TRUE(TextQuery(QStringLiteral("*"), MatchMode::Phrase, false, false).isEmpty());
    EXPECT_TRUE(TextQuery(QStringLiteral("\"\" -"), MatchMode::AllWords, false, false).words().size() == 1);
    EXPECT_FALSE(TextQuery(QStringLiteral("école"), MatchMode::Phrase, false, false).allAscii());
    EXPECT_TRUE(TextQuery(QStringLiteral("école"), MatchMode::Phrase, false, true).allAscii());
}

TEST(SearchWords, AWordAcrossFieldsNeverHolds)
{
    const TextQuery all(QStringLiteral("\"a\nb\" c"), MatchMode::AllWords, false, false);
    EXPECT_FALSE(all.matches([](int) { return true; }));
    const TextQuery excluded(QStringLiteral("c -\"a\nb\""), MatchMode::AllWords, false, false);
    EXPECT_TRUE(excluded.matches([](int) { return true; }));
}

// ------------------------------------------------------------------------------------------
// Accents

TEST(AccentFold, FoldsLettersToTheirBase)
{
    struct Case
    {
        const char *text, *kept, *upper;
    };
    const Case cases[] = {
        {"École", "Ecole", "ECOLE"},
        {"Ærø", "AEro", "AERO"},
        {"Œuvre cœur", "OEuvre coeur", "OEUVRE COEUR"},
        {"Łódź", "Lodz", "LODZ"},
        {"Straße ẞ", "Strasse SS", "STRASSE SS"},
        {"ǽ Ǿ", "ae O", "AE O"},
        {"Tiếng Việt", "Tieng Viet", "TIENG VIET"},
        {"naïve façade", "naive facade", "NAIVE FACADE"},
        {"Ελληνικά", "Ελληνικα", "ΕΛΛΗΝΙΚΑ"},
        {"Йошкар-Ола", "Иошкар-Ола", "ИОШКАР-ОЛА"},
        {"e\xCC\x81t\xCC\x88", "et", "ET"},       // marks written apart
        {"\xE2\x84\xAA\xE2\x84\xAB", "KA", "KA"}, // Kelvin and Ångström signs
        {"\xEF\xAC\x81", "\xEF\xAC\x81", "FI"},   // a ligature has no canonical parts
        {"\xC7\xB0", "j", "J"},                   // its capital brings its mark back
        {"한국", "한국", "한국"},                 // syllables stay whole
        {"plain ASCII 123", "plain ASCII 123", "PLAIN ASCII 123"},
    };
    for (const Case &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(foldAccents(text, false), QString::fromUtf8(c.kept)) << c.text;
        EXPECT_EQ(foldAccents(text, true), QString::fromUtf8(c.upper)) << c.text;
        // Archive bytes fold as their text does, in UTF-8 and in Windows-1252.
        EXPECT_EQ(AccentFolder::instance(true).fold(QByteArray(c.text)), QByteArray(c.upper)) << c.text;
    }
    for (const char *latin : {"Crème brûlée", "Ærø", "Œuvre cœur", "Straße", "Málaga"}) {
        EXPECT_EQ(AccentFolder::instance(false).fold(cp1252(latin)),
                  foldAccents(QString::fromUtf8(latin), false).toUtf8())
            << latin;
    }
}

TEST(AccentFold, ByteTablesAgreeWithTheTextForEveryCharacter)
{
    // Every character of the Basic Multilingual Plane in UTF-8 and every byte in Windows-1252:
    // the tables give the text's fold, charBits covers every ASCII character the fold holds from
    // any byte of the character, and highBytesFor flags a byte of it for any text that shares
    // one of those characters; a character that folds to nothing counts for every text.
    for (const bool upper : {false, true}) {
        const AccentFolder &f = AccentFolder::instance(upper);
        uint64_t flagged[64][2];
        for (unsigned bit = 0; bit < 64; ++bit)
            f.highBytesFor(uint64_t(1) << bit, flagged[bit]);
        const auto isFlagged = [&](uint64_t bits, uchar b) {
            for (unsigned bit = 0; bit < 64; ++bit) {
                if ((bits >> bit & 1) && (flagged[bit][(b - 128) / 64] >> ((b - 128) % 64) & 1))
                    return true;
            }
            return false;
        };
        const auto check = [&](const QByteArray &bytes, const QString &text, bool utf8, uint32_t what) {
            const QByteArray folded = f.fold(bytes);
            ASSERT_EQ(folded, foldAccents(text, upper).toUtf8()) << std::hex << what;
            ASSERT_LE(size_t(folded.size()), AccentFolder::maxFolded(size_t(bytes.size())));
            const uint64_t bits = folded.isEmpty() ? ~uint64_t(0) : asciiBits(folded);
            const auto *begin = reinterpret_cast<const uchar *>(bytes.constData());
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                ASSERT_EQ(f.charBits(begin, begin + i, begin + bytes.size(), utf8) & bits, bits)
                    << std::hex << what;
            }
            if (folded.isEmpty()) {
                ASSERT_TRUE(isFlagged(1, uchar(bytes.front()))) << std::hex << what;
            } else if (bits) {
                ASSERT_TRUE(isFlagged(bits, uchar(bytes.back()))) << std::hex << what;
            }
        };
        for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
            if (cp < 0xD800 || cp >= 0xE000) {
                check(utf8Of(cp), textOf(cp), true, uint32_t(cp));
            }
        }
        for (int b = 0x80; b < 0x100; ++b) {
            const QByteArray byte(1, char(b));
            check(byte, decodeArchiveText(byte), false, uint32_t(b));
        }
        // Marks beyond the tables: their first byte, and every bit.
        for (const char32_t cp : {char32_t(0x1D167), char32_t(0xE0100)}) {
            const QByteArray bytes = utf8Of(cp);
            const auto *begin = reinterpret_cast<const uchar *>(bytes.constData());
            EXPECT_EQ(f.charBits(begin, begin + 2, begin + 4, true), ~uint64_t(0));
            EXPECT_TRUE(isFlagged(1, uchar(bytes.front())));
        }
    }
}

TEST(AccentFold, NothingBeyondTheBasicPlaneFoldsToAscii)
{
    // The tables cover the Basic Multilingual Plane only; the skim counts on this.
    for (char32_t cp = 0x10000; cp <= 0x10FFFF; ++cp) {
        if (QChar::decompositionTag(cp) == QChar::NoDecomposition && QChar::toUpper(cp) == cp &&
            QChar::category(cp) != QChar::Mark_NonSpacing)
            continue;
        for (const bool upper : {false, true})
            ASSERT_EQ(asciiBits(foldAccents(textOf(cp), upper).toUtf8()), 0u) << std::hex << uint32_t(cp);
    }
    const QByteArray emoji = utf8Of(0x1F600);
    EXPECT_EQ(AccentFolder::instance(true).fold(emoji), emoji);
}

TEST(AccentFold, AsciiBitsTellWhatATextCannotHold)
{
    EXPECT_EQ(asciiBits("ECOLE"), asciiBits("ecole"));
    EXPECT_EQ(asciiBits("ECOLE") & asciiBits("XYZ"), 0u);
    EXPECT_NE(asciiBits("ECOLE") & asciiBits("o"), 0u);
    // One byte, read as a line of either encoding.
    const QByteArray eAcute = "\xC3\xA9";
    const auto *b = reinterpret_cast<const uchar *>(eAcute.constData());
    EXPECT_EQ(AccentFolder::instance(true).charBits(b, b, b + 2, true), asciiBits("E"));
    EXPECT_EQ(AccentFolder::instance(true).charBits(b, b, b + 2, false), asciiBits("A"));
}

// ------------------------------------------------------------------------------------------
// Regular expressions

std::shared_ptr<const RegexPattern> compiled(const char *pattern, bool caseSensitive = false,
                                             bool accents = false)
{
    QString message;
    int column = 0;
    auto p = RegexPattern::compile(QString::fromUtf8(pattern), caseSensitive, accents, &message, &column);
    EXPECT_TRUE(p) << pattern << ": " << message.toStdString();
    return p;
}

TEST(Regex, BadExpressionsTellTheLibrarysMessageAndColumn)
{
    struct Case
    {
        const char *pattern;
        int column;
        const char *message; // a part of it
    };
    const Case cases[] = {
        {"(abc", 5, "missing closing parenthesis"},
        {"ab)", 3, "unmatched closing parenthesis"},
        {"a{2,1}", 6, "out of order"},
        {"*abc", 1, "does not follow a repeatable item"},
        {"déjà[", 6, "missing terminating ]"},
        {"a\\C", 4, "\\C"}, // switched off: it could split a character
    };
    for (const Case &c : cases) {
        for (const bool accents : {false, true}) {
            QString message;
            int column = 0;
            EXPECT_FALSE(
                RegexPattern::compile(QString::fromUtf8(c.pattern), false, accents, &message, &column))
                << c.pattern;
            EXPECT_EQ(column, c.column) << c.pattern;
            EXPECT_TRUE(message.contains(QLatin1String(c.message)))
                << c.pattern << ": " << message.toStdString();
        }
    }
}

TEST(Regex, MatchesEachFieldAsItsTextReads)
{
    struct Case
    {
        const char *pattern;
        bool caseSensitive, accents;
        QByteArray field;
        RegexMatcher::Result result;
    };
    using R = RegexMatcher::Result;
    const Case cases[] = {
        {"song.*\\.mp3", false, false, "My Song 2.MP3", R::Match},
        {"song.*\\.mp3", true, false, "My Song 2.MP3", R::NoMatch},
        {"^[0-9]{4}-", false, false, "2003-11 Summer", R::Match},
        {"^[0-9]{4}-", false, false, "\\2003-11 Summer", R::NoMatch},
        {"^[0-9]{4}-", false, false, "203-", R::NoMatch},
        {"^(ab|cd)", false, false, "Cdx", R::Match},
        {"^(ab|cd)", false, false, "xcd", R::NoMatch},
        {"^\\x{e9}", false, false, cp1252("école"), R::Match},
        {"^Björk$", false, false, "björk", R::Match},         // UTF-8
        {"^Björk$", false, false, cp1252("Björk"), R::Match}, // Windows-1252
        {"^.{5}$", false, false, cp1252("Björk"), R::Match},  // one character, not two bytes
        {"^\\w+$", false, false, "Zürich", R::Match},         // letters outside ASCII are word letters
        {"ecole", false, false, "École.txt", R::NoMatch},
        {"ecole", false, true, "École.txt", R::Match},
        {"ecole", false, true, cp1252("École.txt"), R::Match},
        {"École", false, true, "ecole.txt", R::Match}, // the expression folds too
        {"^Ecole", true, true, "école.txt", R::NoMatch},
        {"strasse", false, true, "Straße", R::Match},
        {"k", false, false, "\xE2\x84\xAA", R::Match}, // PCRE2's own caseless set
        {"(a+)+$", false, false, QByteArray(40, 'a') + '!', R::TooLong},
    };
    for (const Case &c : cases) {
        const auto p = compiled(c.pattern, c.caseSensitive, c.accents);
        ASSERT_TRUE(p);
        RegexMatcher m(p);
        EXPECT_EQ(m.match(QByteArrayView(c.field)), c.result) << c.pattern << " on " << c.field.toStdString();
    }
    RegexMatcher mark(compiled("^cd [0-9]+$"));
    EXPECT_EQ(mark.match(QStringView(u"CD 12")), RegexMatcher::Result::Match);
    EXPECT_EQ(mark.match(QStringView(u"CD 12a")), RegexMatcher::Result::NoMatch);
}

TEST(Regex, ARunawayExpressionGivesUpQuickly)
{
    RegexMatcher m(compiled("(a+)+$"));
    const QByteArray longName = QByteArray(200, 'a') + ".txt";
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m.match(QByteArrayView(longName)), RegexMatcher::Result::TooLong);
    // A generous bound for a sanitized build on a busy machine; a hang would never end.
    EXPECT_LT(t.elapsed(), 5000);
}

TEST(Regex, RequiredLiteralReadsTheExpression)
{
    struct Case
    {
        const char *pattern;
        bool caseless;
        const char *literal;
    };
    const Case cases[] = {
        {"song.*\\.mp3", true, "SONG"},
        {".*\\.mp3$", true, ".MP3"},
        {"^[0-9]{4}-", true, "-"},
        {"(a+)+$", true, ""},
        {"abc|defg", true, ""},
        {"(abc|def)ghij", true, "GHIJ"},
        {"ab?cd", true, "CD"},
        {"abc*", true, "AB"},
        {"abc+d", true, "ABC"},
        {"abc{0,2}", true, "AB"},
        {"abc{1,2}", true, "ABC"},
        {"abc{,2}", true, "AB"},
        {"x{2}yz", true, "YZ"},
        {"a{b", true, "A"},
        {"a\\.b\\-c", true, "A.B-C"},
        {"\\Qa.b*\\Ec", true, "A.B*C"},
        {"\\Qab\\E*", true, "A"},
        {"\\d{3}abc", true, "ABC"},
        {"[abc]]def", true, "]DEF"},
        {"[[:alpha:]x]yz", true, "YZ"},
        {"a\\x41bc", true, "BC"},
        {"a\\x{41}bc", true, "BC"},
        {"\\p{Lu}abc\\pLde", true, "ABC"},
        {"(?i)abc", true, "ABC"},
        {"(?x)a b c", true, ""},
        {"abc(?x: d e)", true, ""},
        {"(?#a comment(ab)xyz", true, "XYZ"},
        {"kraków", true, "RA"},
        {"kraków", false, "KRAK"},
        {"a\\bcd\\Be", true, "CD"},
        {"\\1abc", true, "ABC"},
        {"ab\\", true, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(requiredRegexLiteral(QString::fromUtf8(c.pattern), c.caseless), QByteArray(c.literal))
            << c.pattern;
}

TEST(Regex, EveryMatchHoldsTheRequiredLiteral)
{
    // Expressions and names made from a few letters so that matches are common: wherever the
    // expression matches, the name in capitals holds the literal.
    const char *const patterns[] = {"ab.*cd", "a+b{1,3}c", "(ab)+abc",   "x?abc?d", "\\Qa.b\\E+c", "ab[cd]ef",
                                    "^ab",    "bc$",       "a(?=bc)bcd", "(?i)ABc", "a.c\\.d",     "ss"};
    QRandomGenerator rng(24);
    const QString letters = QStringLiteral("abcdefsxABC.\u017F");
    for (const char *pattern : patterns) {
        const auto p = compiled(pattern);
        ASSERT_TRUE(p);
        RegexMatcher m(p);
        const QByteArray literal = p->requiredLiteral();
        for (int i = 0; i < 2000; ++i) {
            QString name;
            const int len = rng.bounded(12);
            for (int k = 0; k < len; ++k)
                name += letters.at(rng.bounded(int(letters.size())));
            const QByteArray bytes = name.toUtf8();
            if (m.match(QByteArrayView(bytes)) == RegexMatcher::Result::Match) {
                ASSERT_TRUE(name.toUpper().toUtf8().contains(literal))
                    << pattern << " on " << name.toStdString();
            }
        }
    }
}

} // namespace
