#include "TextCriterion.h"

#include "AccentFold.h"
#include "CaseFold.h"
#include "catalog/ArchiveText.h"

#include <cstring>

namespace search {

namespace {

// Fields of a match text are joined by a line feed: no record line can hold one, and a word
// that does never holds (TextQuery), so a match never reaches across two fields.
constexpr char kSeparator = '\n';
constexpr QChar kSeparatorChar = QChar(u'\n');
// A shorter text found in an expression passes over too few records to be worth looking for.
constexpr qsizetype kSkimLiteral = 3;

// Substring search over bytes for a needle fixed for a whole archive.
inline bool containsBytes(const char *hay, size_t hayLen, const char *needle, size_t needleLen)
{
    if (needleLen == 0)
        return true;
    if (hayLen < needleLen)
        return false;
    const char first = needle[0];
    const char *p = hay;
    const char *last = hay + (hayLen - needleLen);
    while (p <= last) {
        p = static_cast<const char *>(std::memchr(p, first, size_t(last - p) + 1));
        if (!p)
            return false;
        if (std::memcmp(p + 1, needle + 1, needleLen - 1) == 0)
            return true;
        ++p;
    }
    return false;
}

bool usableForSkim(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 64)
        return false;
    for (const char ch : text) {
        if (uchar(ch) < 0x20 || uchar(ch) >= 0x80)
            return false;
    }
    return true;
}

QByteArray asciiUpper(QByteArray text)
{
    for (char &ch : text)
        ch = char(kUpper.map[uchar(ch)]);
    return text;
}

} // namespace

MatchMode matchModeOf(const SearchCriteria &c, bool advanced)
{
    return advanced ? c.match : c.simpleMatch;
}

bool ignoresAccents(const SearchCriteria &c, bool advanced)
{
    return advanced ? c.ignoreAccents : c.simpleIgnoreAccents;
}

QString searchTextProblem(const SearchCriteria &c)
{
    const bool advanced = c.AdvancedMode;
    if (matchModeOf(c, advanced) != MatchMode::Regex || c.searchText.isEmpty())
        return QString();
    QString message;
    int column = 0;
    if (RegexPattern::shared(c.searchText, advanced && c.caseSensitive, ignoresAccents(c, advanced), &message,
                             &column))
        return QString();
    return QStringLiteral("bad regular expression at column %1: %2").arg(column).arg(message);
}

void TextCriterion::setUp(const SearchCriteria &c, const QString &text, const QString &mark, bool advanced,
                          bool asciiFast)
{
    m_c = &c;
    m_advanced = advanced;
    m_asciiFast = asciiFast;
    m_mode = matchModeOf(c, advanced);
    m_accents = ignoresAccents(c, advanced);
    const bool caseSensitive = advanced && c.caseSensitive;
    m_upper = !caseSensitive;
    const bool markSearched = advanced && c.marks;
    m_skim.clear();
    m_skimIsMatch = false;
    m_markMatched = m_markGaveUp = false;

    if (m_mode == MatchMode::Regex) {
        m_query = TextQuery();
        m_empty = text.isEmpty();
        // The window and the command line refuse an expression that does not compile before
        // they search; one typed while a search runs finds nothing from the next archive on.
        m_pattern =
            m_empty ? nullptr : RegexPattern::shared(text, caseSensitive, m_accents, nullptr, nullptr);
        if (!m_pattern) {
            m_matcher.reset();
            return;
        }
        if (!m_matcher || &m_matcher->pattern() != m_pattern.get())
            m_matcher.emplace(m_pattern);
        if (markSearched) {
            const RegexMatcher::Result r = m_matcher->match(QStringView(mark));
            m_markMatched = r == RegexMatcher::Result::Match;
            m_markGaveUp = r == RegexMatcher::Result::TooLong;
        }
        if (m_pattern->requiredLiteral().size() >= kSkimLiteral && !m_markMatched)
            m_skim = m_pattern->requiredLiteral();
    } else {
        m_pattern.reset();
        m_matcher.reset();
        m_query = TextQuery(text, m_mode, caseSensitive, m_accents);
        m_empty = m_query.isEmpty();
        const QList<TextQuery::Word> &words = m_query.words();
        m_markHolds.assign(size_t(words.size()), 0);
        if (markSearched && m_mode != MatchMode::BeginsWith) {
            const QString markText = m_accents ? foldAccents(mark, m_upper)
                                     : m_upper ? m_locale.toUpper(mark)
                                               : mark;
            for (qsizetype i = 0; i < words.size(); ++i)
                m_markHolds[size_t(i)] = markText.contains(words.at(i).text);
        }
        const int required = m_query.requiredWord();
        if (required >= 0 && !m_markHolds[size_t(required)]) {
            const QByteArray &word = words.at(required).utf8;
            if (usableForSkim(word)) {
                m_skim = asciiUpper(word);
                m_skimIsMatch = m_mode == MatchMode::Phrase && !advanced;
            }
        }
    }
    // Byte skims stand on ASCII capitals staying ASCII; folds do not need the locale.
    if (!m_asciiFast || !usableForSkim(m_skim))
        m_skim.clear();
    m_skimBits = asciiBits(m_skim);
}

template <typename Put>
void TextCriterion::forEachField(QByteArrayView folder, QByteArrayView name, Put &&put) const
{
    // "Begins with" looks at the file name alone.
    if (m_mode == MatchMode::BeginsWith)
        put(name);
    else
        forEachMatchField(*m_c, m_advanced, folder, name, put);
}

bool TextCriterion::holds(QByteArrayView folder, QByteArrayView name, bool *gaveUp)
{
    if (m_empty)
        return true;
    if (m_mode == MatchMode::Regex)
        return regexHolds(folder, name, gaveUp);
    return wordsHold(folder, name);
}

void TextCriterion::buildText(QByteArrayView folder, QByteArrayView name)
{
    const size_t need = AccentFolder::maxFolded(size_t(folder.size() + name.size())) + 8;
    if (m_bytes.size() < need)
        m_bytes.resize(need * 2);
    char *out = m_bytes.data();
    if (m_accents) {
        m_way = Way::Folded;
        const AccentFolder &folder_ = AccentFolder::instance(m_upper);
        forEachField(folder, name, [&](QByteArrayView v) {
            out += folder_.fold(reinterpret_cast<const uchar *>(v.data()), size_t(v.size()), out);
            *out++ = kSeparator;
        });
        m_length = size_t(out - m_bytes.data());
        return;
    }
    if (m_asciiFast) {
        m_way = Way::Bytes;
        uchar high = 0;
        forEachField(folder, name, [&](QByteArrayView v) {
            const uchar *s = reinterpret_cast<const uchar *>(v.data());
            const qsizetype n = v.size();
            if (m_upper) {
                for (qsizetype i = 0; i < n; ++i) {
                    high |= s[i];
                    *out++ = char(kUpper.map[s[i]]);
                }
            } else {
                for (qsizetype i = 0; i < n; ++i)
                    high |= s[i];
                if (n)
                    std::memcpy(out, s, size_t(n));
                out += n;
            }
            *out++ = kSeparator;
        });
        m_length = size_t(out - m_bytes.data());
        if (!(high & 0x80))
            return;
        // A character outside ASCII upper-cases to characters outside ASCII (so its bytes,
        // left as they are, can never meet an ASCII text) unless it is one of the few that
        // hasAsciiUpperCase knows: those are spelt out; texts outside ASCII take the Unicode way.
        if (m_query.allAscii()) {
            if (!m_upper || !hasAsciiUpperCase(reinterpret_cast<const uchar *>(m_bytes.data()), m_length))
                return;
            out = m_bytes.data();
            forEachField(folder, name, [&](QByteArrayView v) {
                out += upperExpanded(reinterpret_cast<const uchar *>(v.data()), size_t(v.size()), out);
                *out++ = kSeparator;
            });
            m_length = size_t(out - m_bytes.data());
            return;
        }
    }
    m_way = Way::Unicode;
    m_unicode.clear();
    forEachField(folder, name, [&](QByteArrayView v) {
        m_unicode += decodeArchiveText(v);
        m_unicode += kSeparatorChar;
    });
    if (m_upper)
        m_unicode = m_locale.toUpper(m_unicode);
}

bool TextCriterion::wordsHold(QByteArrayView folder, QByteArrayView name)
{
    if (m_mode == MatchMode::BeginsWith) {
        if (m_advanced && !m_c->files)
            return false;
    } else if (m_advanced && !m_c->dirs && !m_c->files && !m_c->types) {
        return m_query.matches([&](int i) { return m_markHolds[size_t(i)] != 0; });
    }
    bool built = false;
    const bool begins = m_mode == MatchMode::BeginsWith;
    return m_query.matches([&](int i) {
        if (m_markHolds[size_t(i)])
            return true;
        if (!built) {
            buildText(folder, name);
            built = true;
        }
        const TextQuery::Word &w = m_query.words().at(i);
        if (m_way == Way::Unicode)
            return begins ? m_unicode.startsWith(w.text) : m_unicode.contains(w.text);
        if (begins)
            return m_length >= size_t(w.utf8.size()) &&
                   std::memcmp(m_bytes.data(), w.utf8.constData(), size_t(w.utf8.size())) == 0;
        return containsBytes(m_bytes.data(), m_length, w.utf8.constData(), size_t(w.utf8.size()));
    });
}

bool TextCriterion::linesMayHold(QByteArrayView folder, QByteArrayView name)
{
    const QByteArray &literal = m_pattern->requiredLiteral();
    for (const QByteArrayView line : {folder, name}) {
        const size_t need = AccentFolder::maxFolded(size_t(line.size()));
        if (m_bytes.size() < need)
            m_bytes.resize(need * 2);
        const auto *s = reinterpret_cast<const uchar *>(line.data());
        // Spelt as the skim spells lines: whatever a character may give in capitals.
        const size_t n = m_accents ? AccentFolder::instance(true).fold(s, size_t(line.size()), m_bytes.data())
                                   : upperExpandedAnyEncoding(s, size_t(line.size()), m_bytes.data());
        if (containsBytes(m_bytes.data(), n, literal.constData(), size_t(literal.size())))
            return true;
    }
    return false;
}

bool TextCriterion::regexHolds(QByteArrayView folder, QByteArrayView name, bool *gaveUp)
{
    if (!m_pattern)
        return false;
    if (m_markMatched)
        return true;
    // The text every match holds: without it no field can match, and the skim passes such
    // records over, so they are not tried here either (nor found to take too long).
    if (m_pattern->requiredLiteral().size() >= kSkimLiteral && !linesMayHold(folder, name))
        return false;
    bool matched = false;
    bool tooLong = m_markGaveUp;
    forEachMatchField(*m_c, m_advanced, folder, name, [&](QByteArrayView field) {
        if (matched)
            return;
        const RegexMatcher::Result r = m_matcher->match(field);
        matched = r == RegexMatcher::Result::Match;
        tooLong = tooLong || r == RegexMatcher::Result::TooLong;
    });
    if (!matched && tooLong && gaveUp)
        *gaveUp = true;
    return matched;
}

bool TextCriterion::foldedLineHolds(QByteArrayView line)
{
    const size_t need = AccentFolder::maxFolded(size_t(line.size()));
    if (m_bytes.size() < need)
        m_bytes.resize(need * 2);
    const size_t n = AccentFolder::instance(true).fold(reinterpret_cast<const uchar *>(line.data()),
                                                       size_t(line.size()), m_bytes.data());
    return containsBytes(m_bytes.data(), n, m_skim.constData(), size_t(m_skim.size()));
}

} // namespace search
