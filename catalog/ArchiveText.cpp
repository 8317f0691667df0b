#include "ArchiveText.h"

#include "util/Utf8.h"

#include <cstring>
#include <limits>

namespace {

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones keep their C1 code, as Windows
// itself converts them.
constexpr char16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                     0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

} // namespace

void indexLines(const char *data, size_t end, std::vector<LineSpan> &lines)
{
    lines.clear();
    lines.reserve(end / 12);
    const char *p = data;
    const char *const stop = data + end;
#if defined(__SSE2__)
    // Whole 64-byte blocks: every CR or LF is a line end, except the LF of a CR LF pair; the
    // next line starts after the end, or after the pair.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    uint32_t lineBegin = 0;
    const char *block = data;
    uint64_t carryCr = 0; // the previous block ended with a CR
    bool skipLf = false;
    while (stop - block >= 64) {
        uint64_t crMask = 0;
        uint64_t lfMask = 0;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * k));
            crMask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * k);
            lfMask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * k);
        }
        const uint64_t lfNext = (lfMask >> 1) | (uint64_t(block + 64 < stop && block[64] == '\n') << 63);
        const uint64_t crlf = crMask & lfNext;
        uint64_t ends = (crMask | lfMask) & ~(lfMask & ((crMask << 1) | carryCr));
        const uint32_t off = uint32_t(block - data);
        while (ends) {
            const unsigned bit = unsigned(__builtin_ctzll(ends));
            ends &= ends - 1;
            const uint32_t pos = off + bit;
            lines.push_back(LineSpan{lineBegin, pos});
            lineBegin = pos + 1 + uint32_t((crlf >> bit) & 1u);
        }
        carryCr = crMask >> 63;
        block += 64;
    }
    skipLf = carryCr != 0;
    // The tail shorter than a block, scalar; a CR that ended the last block may own its LF.
    p = data + lineBegin;
    const char *q = block;
    if (skipLf && q < stop && *q == '\n')
        ++q;
    while (q < stop) {
        const char c = *q;
        if (c == '\r' || c == '\n') {
            lines.push_back(LineSpan{uint32_t(p - data), uint32_t(q - data)});
            if (c == '\r' && q + 1 < stop && q[1] == '\n')
                ++q;
            p = q + 1;
        }
        ++q;
    }
#else
    while (p < stop) {
        const char *e = findLineEnd(p, stop);
        if (e == stop)
            break;
        lines.push_back(LineSpan{uint32_t(p - data), uint32_t(e - data)});
        p = e + 1;
        if (*e == '\r' && p < stop && *p == '\n')
            ++p;
    }
#endif
    if (p < stop)
        lines.push_back(LineSpan{uint32_t(p - data), uint32_t(stop - data)});
}

uint64_t countLineEnds(const char *data, size_t begin, size_t end)
{
    uint64_t n = 0;
    const char *p = data + begin;
    const char *const stop = data + end;
    while (p < stop) {
        const char *e = findLineEnd(p, stop);
        if (e == stop)
            break;
        ++n;
        p = e + 1;
        if (*e == '\r' && p < stop && *p == '\n')
            ++p;
    }
    return n;
}

void LineCursor::refill()
{
    const char *block = m_data + m_next;
    uint64_t crMask = 0;
    uint64_t lfMask = 0;
    const size_t left = m_end - m_next;
    if (left >= 64) {
#if defined(__SSE2__)
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * k));
            crMask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * k);
            lfMask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * k);
        }
#else
        for (size_t i = 0; i < 64; ++i) {
            crMask |= uint64_t(block[i] == '\r') << i;
            lfMask |= uint64_t(block[i] == '\n') << i;
        }
#endif
    } else {
        for (size_t i = 0; i < left; ++i) {
            crMask |= uint64_t(block[i] == '\r') << i;
            lfMask |= uint64_t(block[i] == '\n') << i;
        }
    }
    const bool lfAfter = left > 64 && block[64] == '\n';
    const uint64_t lfNext = (lfMask >> 1) | (uint64_t(lfAfter) << 63);
    m_crlf = crMask & lfNext;
    m_ends = (crMask | lfMask) & ~(lfMask & ((crMask << 1) | m_carryCr));
    m_carryCr = left >= 64 ? crMask >> 63 : 0;
    m_blockOffset = m_next;
    m_next += std::min<size_t>(left, 64);
}

bool isValidUtf8(const unsigned char *s, size_t n)
{
    size_t i = 0;
    while (i < n) {
        // Archive text is mostly ASCII: eight bytes at a time while it is.
        uint64_t word;
        if (i + 8 <= n && (std::memcpy(&word, s + i, 8), (word & 0x8080808080808080ull) == 0)) {
            i += 8;
            continue;
        }
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const int len = utf8SequenceLength(s + i, n - i);
        if (len == 0)
            return false;
        i += size_t(len);
    }
    return true;
}

QString decodeArchiveText(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (isValidUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), size_t(bytes.size())))
        return QString::fromUtf8(bytes);
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (const char c : bytes) {
        const uchar u = uchar(c);
        *o++ = QChar(u >= 0x80 && u < 0xA0 ? Cp1252High[u - 0x80] : char16_t(u));
    }
    return out;
}

QString trimControls(QStringView text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 32)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 32)
        --e;
    return text.sliced(b, e - b).toString();
}

QByteArrayView trimControls(QByteArrayView bytes)
{
    qsizetype b = 0, e = bytes.size();
    while (b < e && uchar(bytes.at(b)) <= 32)
        ++b;
    while (e > b && uchar(bytes.at(e - 1)) <= 32)
        --e;
    return bytes.sliced(b, e - b);
}

bool sameArchiveKey(QByteArrayView lineKey, QStringView key)
{
    bool asciiKey = true;
    for (const QChar c : key)
        if (c.unicode() >= 0x80)
            asciiKey = false;
    if (asciiKey && isAscii(lineKey)) {
        if (lineKey.size() != key.size())
            return false;
        for (qsizetype i = 0; i < key.size(); ++i) {
            char a = lineKey.at(i);
            char b = char(key.at(i).unicode());
            if (a >= 'a' && a <= 'z')
                a = char(a - 32);
            if (b >= 'a' && b <= 'z')
                b = char(b - 32);
            if (a != b)
                return false;
        }
        return true;
    }
    return decodeArchiveText(lineKey).toUpper() == key.toString().toUpper();
}

bool parseDecimal64Slow(const char *s, size_t n, qint64 *value)
{
    size_t i = 0;
    bool negative = false;
    if (i < n && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == n)
        return false;
    // Accumulate as a negative number so that the smallest 64-bit value fits.
    qint64 acc = 0;
    for (; i < n; ++i) {
        const unsigned d = unsigned(static_cast<unsigned char>(s[i])) - '0';
        if (d > 9)
            return false;
        if (__builtin_mul_overflow(acc, 10, &acc) || __builtin_sub_overflow(acc, qint64(d), &acc))
            return false;
    }
    if (!negative) {
        if (acc == std::numeric_limits<qint64>::min())
            return false;
        acc = -acc;
    }
    *value = acc;
    return true;
}
