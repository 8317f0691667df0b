#pragma once

// The search's own archive reader: one read per archive into a reused buffer and line spans
// found by scanning bytes, with no object per line. Shared by the engine and the results model.

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace search {

struct LineSpan
{
    uint32_t begin;
    uint32_t end; // one past the last byte, line end excluded
};

// A whole file read into a buffer that is kept and reused for the next file.
class FileBuffer
{
public:
    // Reads the file; the text ends at its first NUL byte. False with a reason when the file
    // cannot be opened or read, or is too large (4 GiB or more) for the spans.
    bool load(const QString &path, QString *error, bool cutAtNul = true);
    // Ends the text at n bytes (at a NUL found later).
    void cut(size_t n) { m_size = std::min(m_size, n); }
    void setBytes(QByteArrayView bytes);
    const char *data() const { return m_view; }
    size_t size() const { return m_size; }

    FileBuffer() = default;
    ~FileBuffer();
    FileBuffer(const FileBuffer &) = delete;
    FileBuffer &operator=(const FileBuffer &) = delete;

private:
    void reserve(size_t n);
    void unmap();
    std::unique_ptr<char[]> m_data;
    const char *m_view = nullptr;
    void *m_map = nullptr;
    size_t m_mapSize = 0;
    size_t m_capacity = 0;
    size_t m_size = 0;
};

// Where the archive fields are: the block of lines at the end of the file that hold an "="
// (or are empty), found by scanning back from the last line. The line that ends the block is
// the last record's date-time line, a plain number, so the block never reaches into records.
struct ArchiveLayout
{
    size_t recordsEnd = 0;        // the record section is [0, recordsEnd)
    std::vector<LineSpan> fields; // the block's lines, top to bottom

    // The value after the first "=" of the first field line whose key equals key without
    // regard to ASCII letter case; empty when there is none.
    QByteArrayView field(const char *base, const char *key) const;
};
ArchiveLayout scanArchiveLayout(const char *data, size_t size);

// The lines of [0, end): CR LF, a lone CR and a lone LF each end a line.
void indexLines(const char *data, size_t end, std::vector<LineSpan> &lines);
// The lines of [0, end) one after another, split as indexLines splits them, without storing
// them: 64 bytes are looked at a time.
class LineCursor
{
public:
    LineCursor(const char *data, size_t end) : m_data(data), m_end(end) {}
    bool next(QByteArrayView *line)
    {
        for (;;) {
            if (m_ends) {
                const unsigned bit = unsigned(__builtin_ctzll(m_ends));
                m_ends &= m_ends - 1;
                const size_t pos = m_blockOffset + bit;
                *line = QByteArrayView(m_data + m_lineBegin, qsizetype(pos - m_lineBegin));
                m_lineBegin = pos + 1 + size_t((m_crlf >> bit) & 1u);
                return true;
            }
            if (m_next >= m_end) {
                if (m_lineBegin < m_end) {
                    *line = QByteArrayView(m_data + m_lineBegin, qsizetype(m_end - m_lineBegin));
                    m_lineBegin = m_end;
                    return true;
                }
                return false;
            }
            refill();
        }
    }

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

// Line ends (CR LF, CR or LF) in [0, end): counts lines the way indexLines splits them.
size_t countLines(const char *data, size_t end);

// Bytes of code 32 or below removed from both ends.
QByteArrayView trimBlanks(QByteArrayView v);
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

// Archive text: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeArchiveBytes(QByteArrayView bytes);
bool isValidUtf8(const unsigned char *s, size_t n);

// "dd/mm/yyyy hh:mm:ss" with the locale's separators, the time left out at 00:00:00.
QString formatPackedDate(int year, int month, int day, int hour, int minute, int second);
// The date of a packed value in that form, empty when the value does not unpack.
QString formatPackedDate(int32_t packed);

} // namespace search
