#include "NativePath.h"

namespace {

constexpr char16_t kRawLow = 0xDC80;
constexpr char16_t kRawHigh = 0xDCFF;

// A low surrogate in the raw range is a byte unless it completes a pair (U+10080 and the like).
bool isRawByte(QStringView text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    return c >= kRawLow && c <= kRawHigh && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at s[0..n), or 0 when none starts there (strict: no
// overlong forms, no surrogates, nothing above U+10FFFF).
int sequenceLength(const unsigned char *s, qsizetype n)
{
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    int len = 0;
    char32_t cp = 0;
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
    if (n < len)
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

} // namespace

QString pathFromNative(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = sequenceLength(s + i, n - i);
        if (len == 0)
            break;
        i += len;
    }
    if (i == n)
        return QString::fromUtf8(bytes);
    QString out = QString::fromUtf8(bytes.first(i));
    while (i < n) {
        const int len = sequenceLength(s + i, n - i);
        if (len == 0) {
            out += QChar(char16_t(0xDC00 + s[i]));
            ++i;
        } else {
            out += QString::fromUtf8(bytes.sliced(i, len));
            i += len;
        }
    }
    return out;
}

bool holdsRawBytes(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (isRawByte(text, i))
            return true;
    return false;
}

QByteArray nativePath(QStringView text)
{
    if (!holdsRawBytes(text))
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size() * 3);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isRawByte(text, i))
            continue;
        out += text.sliced(start, i - start).toUtf8();
        out += char(text.at(i).unicode() - 0xDC00);
        start = i + 1;
    }
    out += text.sliced(start).toUtf8();
    return out;
}
