#pragma once

#include <cstddef>
#include <cstdint>

// The length of the valid UTF-8 sequence at s[0..n), or 0 when none starts there (strict: no
// overlong forms, no surrogates, nothing above U+10FFFF). Inline: archive text is checked a
// character at a time while millions of rows are searched.
inline int utf8SequenceLength(const unsigned char *s, size_t n)
{
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    int len = 0;
    uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (n < size_t(len))
        return 0;
    for (int k = 1; k < len; ++k) {
        if ((s[k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[k] & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return len;
}
