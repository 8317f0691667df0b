#pragma once

// Letter case over archive bytes, for matching an upper-cased search text without decoding
// every record: ASCII letters by table, and the few characters outside ASCII whose upper case
// holds ASCII letters spelt out.

#include <QLocale>

#include <cstddef>

namespace search {

struct AsciiUpper
{
    unsigned char map[256];
    constexpr AsciiUpper() : map()
    {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>((i >= 'a' && i <= 'z') ? i - 32 : i);
    }
};
// Every byte with only ASCII letters upper-cased.
inline constexpr AsciiUpper kUpper;

// Whether the user's locale upper-cases plain ASCII letters to plain ASCII letters (not so in
// Turkish, where "i" becomes a dotted capital I) and has no rule that joins a letter with the
// next character (Lithuanian drops a dot above): only then may records skip the Unicode case
// mapping.
bool localeKeepsAsciiUpper(const QLocale &locale);

// Whether the bytes may hold a character outside ASCII whose upper case holds ASCII letters
// ("ß" gives "SS", the ligature "ﬁ" gives "FI", ...), read as UTF-8 or as Windows-1252.
bool hasAsciiUpperCase(const unsigned char *s, size_t n);
// The bytes upper-cased as far as an ASCII text can tell: ASCII letters and the characters
// hasAsciiUpperCase knows in capitals, every other byte as it is. Writes at most 2 n bytes.
size_t upperExpanded(const unsigned char *s, size_t n, char *out);
// The same with those characters spelt out in both readings (UTF-8 and Windows-1252) at once:
// every ASCII letter either reading gives is there, so a text it lacks neither reading holds.
size_t upperExpandedAnyEncoding(const unsigned char *s, size_t n, char *out);
// The first character of s[0, n) (n >= 1) spelt in capitals as upperExpandedAnyEncoding spells
// it: writes its letters (at most 3) to out and returns their number; *used is the number of
// bytes it takes.
size_t spellFirstUpper(const unsigned char *s, size_t n, char *out, size_t *used);

} // namespace search
