#include "CaseFold.h"

#include "catalog/ArchiveText.h"

namespace search {

bool localeKeepsAsciiUpper(const QLocale &locale)
{
    if (locale.language() == QLocale::Turkish || locale.language() == QLocale::Azerbaijani ||
        locale.language() == QLocale::Lithuanian)
        return false;
    const QString lower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    return locale.toUpper(lower) == QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

bool hasAsciiUpperCase(const unsigned char *s, size_t n)
{
    // In UTF-8: U+00DF C3 9F, U+0131 C4 B1, U+0149 C5 89, U+017F C5 BF, U+01F0 C7 B0,
    // U+1E96..U+1E9A E1 BA 96..9A, U+FB00..U+FB06 EF AC 80..86; in Windows-1252: DF.
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = s[i];
        if (b < 0xC3)
            continue;
        if (b == 0xDF)
            return true;
        const unsigned char next = i + 1 < n ? s[i + 1] : 0;
        const unsigned char third = i + 2 < n ? s[i + 2] : 0;
        switch (b) {
        case 0xC3:
            if (next == 0x9F)
                return true;
            break;
        case 0xC4:
            if (next == 0xB1)
                return true;
            break;
        case 0xC5:
            if (next == 0x89 || next == 0xBF)
                return true;
            break;
        case 0xC7:
            if (next == 0xB0)
                return true;
            break;
        case 0xE1:
            if (next == 0xBA && third >= 0x96 && third <= 0x9A)
                return true;
            break;
        case 0xEF:
            if (next == 0xAC && third >= 0x80 && third <= 0x86)
                return true;
            break;
        default:
            break;
        }
    }
    return false;
}

size_t upperExpanded(const unsigned char *s, size_t n, char *out)
{
    char *const start = out;
    // Outside ASCII only the characters with an ASCII upper case matter to an ASCII text; every
    // other byte stays as it is and can never meet one. 0x80 stands in for the non-ASCII part
    // of an upper case such as "J" + combining caron.
    if (isValidUtf8(s, n)) {
        for (size_t i = 0; i < n; ++i) {
            const unsigned char b = s[i];
            const unsigned char b1 = i + 1 < n ? s[i + 1] : 0;
            const unsigned char b2 = i + 2 < n ? s[i + 2] : 0;
            const auto put = [&](const char *text, size_t used) {
                while (*text)
                    *out++ = *text++;
                i += used - 1;
            };
            if (b < 0x80)
                *out++ = char(kUpper.map[b]);
            else if (b == 0xC3 && b1 == 0x9F)
                put("SS", 2);
            else if (b == 0xC4 && b1 == 0xB1)
                put("I", 2);
            else if (b == 0xC5 && b1 == 0x89)
                put("\x80N", 2);
            else if (b == 0xC5 && b1 == 0xBF)
                put("S", 2);
            else if (b == 0xC7 && b1 == 0xB0)
                put("J\x80", 2);
            else if (b == 0xE1 && b1 == 0xBA && b2 >= 0x96 && b2 <= 0x9A) {
                static const char *const letters[] = {"H\x80", "T\x80", "W\x80", "Y\x80", "A\x80"};
                put(letters[b2 - 0x96], 3);
            } else if (b == 0xEF && b1 == 0xAC && b2 >= 0x80 && b2 <= 0x86) {
                static const char *const ligatures[] = {"FF", "FI", "FL", "FFI", "FFL", "ST", "ST"};
                put(ligatures[b2 - 0x80], 3);
            } else
                *out++ = char(b);
        }
    } else {
        // Windows-1252: only the sharp s has an ASCII upper case.
        for (size_t i = 0; i < n; ++i) {
            if (s[i] == 0xDF) {
                *out++ = 'S';
                *out++ = 'S';
            } else {
                *out++ = char(kUpper.map[s[i]]);
            }
        }
    }
    return size_t(out - start);
}

size_t spellFirstUpper(const unsigned char *s, size_t n, char *out, size_t *used)
{
    const unsigned char b = s[0];
    *used = 1;
    if (b < 0x80) {
        out[0] = char(kUpper.map[b]);
        return 1;
    }
    const unsigned char b1 = 1 < n ? s[1] : 0;
    const unsigned char b2 = 2 < n ? s[2] : 0;
    const auto put = [&](const char *text, size_t bytes) {
        size_t k = 0;
        while (text[k]) {
            out[k] = text[k];
            ++k;
        }
        *used = bytes;
        return k;
    };
    if (b == 0xDF)
        return put("SS", 1);
    if (b == 0xC3 && b1 == 0x9F)
        return put("SS", 2);
    if (b == 0xC4 && b1 == 0xB1)
        return put("I", 2);
    if (b == 0xC5 && b1 == 0x89)
        return put("\x80N", 2);
    if (b == 0xC5 && b1 == 0xBF)
        return put("S", 2);
    if (b == 0xC7 && b1 == 0xB0)
        return put("J\x80", 2);
    if (b == 0xE1 && b1 == 0xBA && b2 >= 0x96 && b2 <= 0x9A) {
        static const char *const letters[] = {"H\x80", "T\x80", "W\x80", "Y\x80", "A\x80"};
        return put(letters[b2 - 0x96], 3);
    }
    if (b == 0xEF && b1 == 0xAC && b2 >= 0x80 && b2 <= 0x86) {
        static const char *const ligatures[] = {"FF", "FI", "FL", "FFI", "FFL", "ST", "ST"};
        return put(ligatures[b2 - 0x80], 3);
    }
    out[0] = char(b);
    return 1;
}

size_t upperExpandedAnyEncoding(const unsigned char *s, size_t n, char *out)
{
    char *const start = out;
    size_t i = 0;
    while (i < n) {
        size_t used = 1;
        out += spellFirstUpper(s + i, n - i, out, &used);
        i += used;
    }
    return size_t(out - start);
}

} // namespace search
