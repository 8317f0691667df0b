#pragma once

// Regular expressions of the search (PCRE2, 8-bit, Unicode): compiled once, matched against one
// field at a time, with a limit on the work one match may take so that an expression that
// backtracks without end gives up on that field instead of hanging the search.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;
struct pcre2_real_jit_stack_8;

namespace search {

// The work one match of one field may take (PCRE2's match limit): a few milliseconds.
constexpr uint32_t kRegexMatchLimit = 1000000;

// A compiled expression, shared by every thread that matches it.
class RegexPattern
{
public:
    // Null when the expression does not compile: *message is the library's message and *column
    // the place (from 1, in characters of the text as typed) where it failed. Letter case is
    // ignored unless caseSensitive; with ignoreAccents the expression's own letters are folded
    // as the fields are (AccentFold.h).
    static std::shared_ptr<const RegexPattern> compile(const QString &pattern, bool caseSensitive,
                                                       bool ignoreAccents, QString *message, int *column);
    // The same through a cache of the last expression compiled, for the many engines of one
    // search (one an archive on the workers).
    static std::shared_ptr<const RegexPattern> shared(const QString &pattern, bool caseSensitive,
                                                      bool ignoreAccents, QString *message, int *column);
    ~RegexPattern();
    RegexPattern(const RegexPattern &) = delete;
    RegexPattern &operator=(const RegexPattern &) = delete;

    bool ignoresAccents() const { return m_ignoreAccents; }
    // ASCII text, in capitals, that every match holds (ASCII letter case aside); empty when no
    // such text is known. See requiredRegexLiteral.
    const QByteArray &requiredLiteral() const { return m_literal; }

private:
    RegexPattern() = default;
    friend class RegexMatcher;
    pcre2_real_code_8 *m_code = nullptr;
    bool m_jit = false;
    // What the library knows every match needs, tested before it is asked: the fewest
    // characters, and for an expression anchored at the start, the bytes it may start with.
    uint32_t m_minLength = 0;
    bool m_firstKnown = false;
    uint8_t m_first[32]{};
    bool m_ignoreAccents = false;
    QByteArray m_literal;
};

// Matches one pattern; one per thread (it holds the match's working memory).
class RegexMatcher
{
public:
    explicit RegexMatcher(std::shared_ptr<const RegexPattern> pattern);
    ~RegexMatcher();
    RegexMatcher(const RegexMatcher &) = delete;
    RegexMatcher &operator=(const RegexMatcher &) = delete;

    // TooLong: the match gave up at the limit; the field is not known to match.
    enum class Result { NoMatch, Match, TooLong };
    // An archive field as stored: UTF-8 when valid, else Windows-1252.
    Result match(QByteArrayView field);
    Result match(QStringView text);

    const RegexPattern &pattern() const { return *m_pattern; }

private:
    Result run(const char *subject, size_t length);

    std::shared_ptr<const RegexPattern> m_pattern;
    pcre2_real_match_data_8 *m_data = nullptr;
    pcre2_real_match_context_8 *m_context = nullptr;
    pcre2_real_jit_stack_8 *m_stack = nullptr;
    std::vector<char> m_buffer;
};

// The longest run of ASCII characters that every match of the expression holds in a row,
// in capitals, at most 64 bytes; empty when the expression has none that this simple reading
// can prove (an alternative at the top level, extended syntax, ...). Groups, classes, escapes
// other than escaped punctuation and characters outside ASCII end a run. caseless: "k" ends a
// run too, for it also matches the Kelvin sign, which no ASCII text finds.
QByteArray requiredRegexLiteral(QStringView pattern, bool caseless);

} // namespace search
