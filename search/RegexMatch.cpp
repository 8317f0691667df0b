#include "RegexMatch.h"

#include "AccentFold.h"
#include "catalog/ArchiveText.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstring>
#include <mutex>
#include <new>

namespace search {

namespace {

QString errorText(int code)
{
    PCRE2_UCHAR buffer[256];
    const int n = pcre2_get_error_message(code, buffer, sizeof buffer);
    return n < 0 ? QStringLiteral("error %1").arg(code)
                 : QString::fromUtf8(reinterpret_cast<const char *>(buffer), n);
}

// The column (from 1) of a byte offset into the UTF-8 form of text.
int columnOf(const QByteArray &utf8, size_t offset)
{
    int column = 1;
    for (size_t i = 0; i < offset && i < size_t(utf8.size()); ++i) {
        if ((uchar(utf8.at(qsizetype(i))) & 0xC0) != 0x80)
            ++column;
    }
    return column;
}

inline bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

inline bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return isAsciiDigit(c) || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// The parts of an expression that a literal run cannot step over, read from p[i].
class ExpressionReader
{
public:
    explicit ExpressionReader(QStringView p) : m_p(p) {}

    bool at(qsizetype i, char16_t c) const { return i < m_p.size() && m_p.at(i) == c; }

    // Past the bracket that closes the class opening at i; -1 when there is none.
    qsizetype skipClass(qsizetype i) const
    {
        qsizetype j = i + 1;
        if (at(j, u'^'))
            ++j;
        if (at(j, u']'))
            ++j;
        while (j < m_p.size()) {
            if (at(j, u'\\')) {
                j += 2;
            } else if (at(j, u'[') && at(j + 1, u':')) {
                const qsizetype end = m_p.indexOf(u":]", j + 2);
                if (end < 0)
                    return -1;
                j = end + 2;
            } else if (at(j, u']')) {
                return j + 1;
            } else {
                ++j;
            }
        }
        return -1;
    }

    // Past the closer of a name or number in braces, angle brackets or quotes at i (none: i).
    qsizetype skipDelimited(qsizetype i) const
    {
        char16_t close = 0;
        if (at(i, u'{'))
            close = u'}';
        else if (at(i, u'<'))
            close = u'>';
        else if (at(i, u'\''))
            close = u'\'';
        if (!close)
            return i;
        const qsizetype end = m_p.indexOf(QChar(close), i + 1);
        return end < 0 ? -1 : end + 1;
    }

    // Past the group opening at i; -1 when it does not close.
    qsizetype skipGroup(qsizetype i) const
    {
        if (at(i + 1, u'?') && at(i + 2, u'#')) {
            const qsizetype end = m_p.indexOf(u')', i + 3);
            return end < 0 ? -1 : end + 1;
        }
        int depth = 0;
        qsizetype j = i;
        while (j < m_p.size()) {
            const QChar c = m_p.at(j);
            if (c == u'\\') {
                if (at(j + 1, u'Q')) {
                    const qsizetype end = m_p.indexOf(u"\\E", j + 2);
                    j = end < 0 ? m_p.size() : end + 2;
                } else {
                    j += 2;
                }
            } else if (c == u'[') {
                j = skipClass(j);
                if (j < 0)
                    return -1;
            } else if (c == u'(') {
                ++depth;
                ++j;
            } else if (c == u')') {
                ++j;
                if (--depth == 0)
                    return j;
            } else {
                ++j;
            }
        }
        return -1;
    }

    // An option setting such as "(?x)" or "(?ix:" that turns on extended syntax, where blanks
    // and "#" comments are not what they seem.
    bool setsExtended(qsizetype i) const
    {
        if (!at(i + 1, u'?'))
            return false;
        bool x = false;
        qsizetype j = i + 2;
        while (j < m_p.size() && (m_p.at(j).isLetter() || m_p.at(j) == u'-' || m_p.at(j) == u'^')) {
            x = x || m_p.at(j) == u'x';
            ++j;
        }
        return x && (at(j, u')') || at(j, u':'));
    }

    // The length of a quantifier at i (0: none); *optional when it allows no repeat at all.
    qsizetype quantifier(qsizetype i, bool *optional) const
    {
        qsizetype len = 0;
        if (at(i, u'*') || at(i, u'?')) {
            *optional = true;
            len = 1;
        } else if (at(i, u'+')) {
            *optional = false;
            len = 1;
        } else if (at(i, u'{')) {
            qsizetype j = i + 1;
            qsizetype digits = 0;
            bool zero = true;
            while (j < m_p.size() && isAsciiDigit(m_p.at(j))) {
                zero = zero && m_p.at(j) == u'0';
                ++digits;
                ++j;
            }
            const bool comma = at(j, u',');
            if (comma) {
                ++j;
                while (j < m_p.size() && isAsciiDigit(m_p.at(j)))
                    ++j;
            }
            if (!at(j, u'}') || (digits == 0 && !comma))
                return 0; // a "{" that is no quantifier stands for itself
            *optional = digits == 0 || zero;
            len = j + 1 - i;
        } else {
            return 0;
        }
        if (at(i + len, u'?') || at(i + len, u'+'))
            ++len; // lazy or possessive
        return len;
    }

private:
    QStringView m_p;
};

} // namespace

QByteArray requiredRegexLiteral(QStringView p, bool caseless)
{
    const ExpressionReader r(p);
    QByteArray best;
    QByteArray run;
    const auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    const auto usable = [&](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0x20 && u < 0x7F && !(caseless && (u == u'k' || u == u'K'));
    };
    const auto upper = [](char16_t u) { return char(u >= 'a' && u <= 'z' ? u - 32 : u); };

    const qsizetype n = p.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = p.at(i);
        // The atom at i: a character that stands for itself, or something else (-1).
        int literal = -1;
        if (c == u'\\') {
            if (i + 1 >= n)
                return QByteArray();
            const QChar d = p.at(i + 1);
            const char16_t e = d.unicode();
            if (e < 0x80 && !d.isLetterOrNumber()) {
                literal = e;
                i += 2;
            } else if (e == u'Q') {
                // Quoted: every character stands for itself up to \E; a quantifier after the
                // \E takes the last of them.
                i += 2;
                while (i < n && !(r.at(i, u'\\') && r.at(i + 1, u'E'))) {
                    if (usable(p.at(i)))
                        run += upper(p.at(i).unicode());
                    else
                        endRun();
                    ++i;
                }
                const bool lastUsable = !run.isEmpty();
                i = std::min(n, i + 2);
                bool optional = false;
                if (const qsizetype q = r.quantifier(i, &optional)) {
                    if (optional && lastUsable)
                        run.chop(1);
                    endRun();
                    i += q;
                }
                continue;
            } else if (e == u'E') {
                i += 2;
                continue;
            } else if (QStringView(u"dDwWsShHvVRXbBAZzGKCaefnrt").contains(d)) {
                i += 2;
            } else if (e == u'N') {
                i = r.skipDelimited(i + 2);
            } else if (e == u'x' || e == u'o' || e == u'p' || e == u'P' || e == u'k' || e == u'g') {
                const qsizetype start = i + 2;
                i = r.skipDelimited(start);
                if (i == start) {
                    // The short forms: \x41, \pL, \g1, \g-1.
                    if (e == u'x') {
                        for (int k = 0; k < 2 && i < n && isHexDigit(p.at(i)); ++k)
                            ++i;
                    } else if (e == u'p' || e == u'P') {
                        ++i;
                    } else if (e == u'g') {
                        if (r.at(i, u'+') || r.at(i, u'-'))
                            ++i;
                        while (i < n && isAsciiDigit(p.at(i)))
                            ++i;
                    } else {
                        return QByteArray();
                    }
                }
            } else if (e == u'c') {
                i += 3;
            } else if (isAsciiDigit(d)) {
                i += 2;
                while (i < n && isAsciiDigit(p.at(i)))
                    ++i;
            } else {
                return QByteArray(); // not an escape this reading knows
            }
            if (i < 0)
                return QByteArray();
        } else if (c == u'(') {
            if (r.setsExtended(i))
                return QByteArray();
            i = r.skipGroup(i);
            if (i < 0)
                return QByteArray();
        } else if (c == u'[') {
            i = r.skipClass(i);
            if (i < 0)
                return QByteArray();
        } else if (c == u'|' || c == u')' || c == u'*' || c == u'+' || c == u'?') {
            return QByteArray(); // an alternative, or a quantifier with nothing to repeat
        } else if (c == u'.' || c == u'^' || c == u'$' || c == u'{') {
            ++i;
        } else {
            literal = c.unicode();
            ++i;
        }

        bool optional = false;
        const qsizetype q = r.quantifier(i, &optional);
        if (literal >= 0 && usable(QChar(char16_t(literal))) && !(q && optional))
            run += upper(char16_t(literal));
        if (literal < 0 || q || !usable(QChar(char16_t(literal))))
            endRun();
        i += q;
    }
    endRun();
    return best.left(64);
}

// ---------------------------------------------------------------------------------------------

std::shared_ptr<const RegexPattern> RegexPattern::compile(const QString &pattern, bool caseSensitive,
                                                          bool ignoreAccents, QString *message, int *column)
{
    uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_NEVER_BACKSLASH_C;
    if (!caseSensitive)
        options |= PCRE2_CASELESS;
    const auto build = [&](const QByteArray &utf8) -> pcre2_code * {
        int code = 0;
        PCRE2_SIZE offset = 0;
        pcre2_code *re = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.constData()), size_t(utf8.size()),
                                       options, &code, &offset, nullptr);
        if (!re) {
            if (message)
                *message = errorText(code);
            if (column)
                *column = columnOf(utf8, offset);
        }
        return re;
    };
    // Errors are told against the text as typed, before its accents are folded.
    pcre2_code *re = build(pattern.toUtf8());
    if (!re)
        return nullptr;
    const QString matched = ignoreAccents ? foldAccents(pattern, false) : pattern;
    if (ignoreAccents) {
        pcre2_code_free(re);
        re = build(matched.toUtf8());
        if (!re)
            return nullptr;
    }
    std::shared_ptr<RegexPattern> p(new RegexPattern);
    p->m_code = re;
    p->m_jit = pcre2_jit_compile(re, PCRE2_JIT_COMPLETE) == 0;
    pcre2_pattern_info(re, PCRE2_INFO_MINLENGTH, &p->m_minLength);
    uint32_t all = 0;
    pcre2_pattern_info(re, PCRE2_INFO_ALLOPTIONS, &all);
    const uint8_t *bitmap = nullptr;
    if ((all & PCRE2_ANCHORED) && pcre2_pattern_info(re, PCRE2_INFO_FIRSTBITMAP, &bitmap) == 0 && bitmap) {
        std::memcpy(p->m_first, bitmap, sizeof p->m_first);
        p->m_firstKnown = true;
    }
    p->m_ignoreAccents = ignoreAccents;
    p->m_literal = requiredRegexLiteral(matched, !caseSensitive);
    return p;
}

std::shared_ptr<const RegexPattern> RegexPattern::shared(const QString &pattern, bool caseSensitive,
                                                         bool ignoreAccents, QString *message, int *column)
{
    static std::mutex mutex;
    static QString lastText;
    static bool lastCase = false;
    static bool lastAccents = false;
    static std::shared_ptr<const RegexPattern> last;
    std::lock_guard lock(mutex);
    if (!last || lastText != pattern || lastCase != caseSensitive || lastAccents != ignoreAccents) {
        std::shared_ptr<const RegexPattern> p =
            compile(pattern, caseSensitive, ignoreAccents, message, column);
        if (!p)
            return p;
        last = std::move(p);
        lastText = pattern;
        lastCase = caseSensitive;
        lastAccents = ignoreAccents;
    }
    return last;
}

RegexPattern::~RegexPattern()
{
    pcre2_code_free(m_code);
}

RegexMatcher::RegexMatcher(std::shared_ptr<const RegexPattern> pattern) : m_pattern(std::move(pattern))
{
    m_data = pcre2_match_data_create(1, nullptr);
    m_context = pcre2_match_context_create(nullptr);
    if (!m_data || !m_context) {
        pcre2_match_data_free(m_data);
        pcre2_match_context_free(m_context);
        throw std::bad_alloc();
    }
    pcre2_set_match_limit(m_context, kRegexMatchLimit);
    if (m_pattern->m_jit) {
        // The default 32 KiB stack gives up on long fields before the match limit does.
        m_stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
        if (m_stack)
            pcre2_jit_stack_assign(m_context, nullptr, m_stack);
    }
}

RegexMatcher::~RegexMatcher()
{
    pcre2_jit_stack_free(m_stack);
    pcre2_match_context_free(m_context);
    pcre2_match_data_free(m_data);
}

RegexMatcher::Result RegexMatcher::run(const char *subject, size_t length)
{
    // Most fields fail the library's own first test; without a call they fail for less.
    const RegexPattern &p = *m_pattern;
    if (length < p.m_minLength)
        return Result::NoMatch;
    if (p.m_firstKnown && length > 0) {
        const uchar b = uchar(subject[0]);
        if (!(p.m_first[b / 8] >> (b % 8) & 1))
            return Result::NoMatch;
    }
    // Every subject is valid UTF-8: archive bytes that are, or text made from them.
    const auto *s = reinterpret_cast<PCRE2_SPTR>(subject);
    const int rc = m_pattern->m_jit
                       ? pcre2_jit_match(m_pattern->m_code, s, length, 0, 0, m_data, m_context)
                       : pcre2_match(m_pattern->m_code, s, length, 0, PCRE2_NO_UTF_CHECK, m_data, m_context);
    if (rc >= 0)
        return Result::Match;
    return rc == PCRE2_ERROR_NOMATCH ? Result::NoMatch : Result::TooLong;
}

RegexMatcher::Result RegexMatcher::match(QByteArrayView field)
{
    const auto *s = reinterpret_cast<const unsigned char *>(field.data());
    const size_t n = size_t(field.size());
    if (m_pattern->m_ignoreAccents) {
        m_buffer.resize(AccentFolder::maxFolded(n));
        return run(m_buffer.data(), AccentFolder::instance(false).fold(s, n, m_buffer.data()));
    }
    if (isValidUtf8(s, n))
        return run(field.data(), n);
    const QByteArray utf8 = decodeArchiveText(field).toUtf8();
    return run(utf8.constData(), size_t(utf8.size()));
}

RegexMatcher::Result RegexMatcher::match(QStringView text)
{
    const QString folded = m_pattern->m_ignoreAccents ? foldAccents(text, false) : text.toString();
    const QByteArray utf8 = folded.toUtf8();
    return run(utf8.constData(), size_t(utf8.size()));
}

} // namespace search
