#pragma once

// The text layer every reader of archives shares: line splitting (CR LF, a lone CR and a lone LF
// each end a line), the 8-bit text decoding (UTF-8 when valid, else Windows-1252), trimming, key
// matching and decimal numbers. Plain functions over bytes with no state, safe from any thread.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

struct LineSpan
{
    uint32_t begin;
    uint32_t end; // one past the last byte, line end excluded
};

// The lines of [0, end). A last line without a line end is a line too.
void indexLines(const char *data, size_t end, std::vector<LineSpan> &lines);

// Line ends in [begin, end): the whole lines there. A CR followed by an LF ends one line; a CR at
// end - 1 counts as a line end of its own.
uint64_t countLineEnds(const char *data, size_t begin, size_t end);

// The lines of [0, end) one after another, split as indexLines splits them, without storing
// them: 64 bytes are looked at a time.
class LineCursor
{
public:
    LineCursor(const char *data, size_t end) : m_data(data), m_end(end) {}
    // The next line; *ended tells whether a line end closed it (false only for a last line cut
    // short).
    bool next(QByteArrayView *line, bool *ended = nullptr)
    {
        for (;;) {
            if (m_ends) {
                const unsigned bit = unsigned(__builtin_ctzll(m_ends));
                m_ends &= m_ends - 1;
                const size_t pos = m_blockOffset + bit;
                *line = QByteArrayView(m_data + m_lineBegin, qsizetype(pos - m_lineBegin));
                m_lineBegin = pos + 1 + size_t((m_crlf >> bit) & 1u);
                if (ended)
                    *ended = true;
                return true;
            }
            if (m_next >= m_end) {
                if (m_lineBegin < m_end) {
                    *line = QByteArrayView(m_data + m_lineBegin, qsizetype(m_end - m_lineBegin));
                    m_lineBegin = m_end;
                    if (ended)
                        *ended = false;
                    return true;
                }
                return false;
            }
            refill();
        }
    }
    // Where the next line starts.
    size_t position() const { return m_lineBegin; }

private:
    void refill();
    const char *m_data;
    size_t m_end;
    size_t m_next = 0;        // the next block to look at
    size_t m_blockOffset = 0; // the block m_ends describes
    size_t m_lineBegin = 0;
    uint64_t m_ends = 0;    // line ends left in the block
    uint64_t m_crlf = 0;    // CRs followed by an LF
    uint64_t m_carryCr = 0; // the block before ended with a CR
};

// The first CR or LF in [p, end), or end.
inline const char *findLineEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (mask)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '\n' && *p != '\r')
        ++p;
    return p;
}

// The start of the line that holds p: just after the last CR or LF in [begin, p), or begin.
inline const char *findLineStart(const char *begin, const char *p)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (p - begin >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p - 16));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (mask)
            return p - 16 + (31 - __builtin_clz(unsigned(mask))) + 1;
        p -= 16;
    }
#endif
    while (p > begin && p[-1] != '\n' && p[-1] != '\r')
        --p;
    return p;
}

inline bool isLineEndByte(char c)
{
    return c == '\n' || c == '\r';
}

// Archive text is 8-bit: it reads as UTF-8 when it is valid UTF-8 (strict: no overlong forms,
// no surrogates, nothing above U+10FFFF), else as Windows-1252 (archives written on Windows).
bool isValidUtf8(const unsigned char *s, size_t n);
QString decodeArchiveText(QByteArrayView bytes);

// Removes leading and trailing characters of code 32 or below (blanks and controls).
QString trimControls(QStringView text);
QByteArrayView trimControls(QByteArrayView bytes);

// Whether a line's key (the text before its first "=") is the requested key: equal without
// regard to letter case (QString::toUpper), whatever the line's encoding.
bool sameArchiveKey(QByteArrayView lineKey, QStringView key);

// Optional sign and decimal digits only, within signed 64 bits.
bool parseDecimal64Slow(const char *s, size_t n, qint64 *value);
inline bool parseDecimal64(const char *s, size_t n, qint64 *value)
{
    // Up to 18 digits cannot overflow: the common case takes no overflow checks.
    if (n > 0 && n <= 18) {
        const size_t j = (s[0] == '-' || s[0] == '+') ? 1 : 0;
        if (j < n) {
            uint64_t acc = 0;
            bool digits = true;
            for (size_t k = j; k < n; ++k) {
                const unsigned d = unsigned(static_cast<unsigned char>(s[k])) - '0';
                digits = digits && d <= 9;
                acc = acc * 10 + d;
            }
            if (!digits)
                return false;
            *value = s[0] == '-' ? -qint64(acc) : qint64(acc);
            return true;
        }
    }
    return parseDecimal64Slow(s, n, value);
}
inline bool parseDecimal64(QByteArrayView text, qint64 *value)
{
    return parseDecimal64(text.data(), size_t(text.size()), value);
}
