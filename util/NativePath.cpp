#include "NativePath.h"

#include "Utf8.h"

namespace {

constexpr char16_t kRawLow = 0xDC80;
constexpr char16_t kRawHigh = 0xDCFF;

// A low surrogate in the raw range is a byte unless it completes a pair (U+10080 and the like).
bool isRawByte(QStringView text, qsizetype i)
{
    const char16_t c = text.at(i).unicode();
    return c >= kRawLow && c <= kRawHigh && (i == 0 || !text.at(i - 1).isHighSurrogate());
}

} // namespace

QString pathFromNative(QByteArrayView bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = utf8SequenceLength(s + i, size_t(n - i));
        if (len == 0)
            break;
        i += len;
    }
    if (i == n)
        return QString::fromUtf8(bytes);
    QString out = QString::fromUtf8(bytes.first(i));
    while (i < n) {
        const int len = utf8SequenceLength(s + i, size_t(n - i));
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
