#include "RecordScan.h"

#include "catalog/DosDateTime.h"

#include <QDate>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace search {

// ---------------------------------------------------------------------------------------------
// Reading

void FileBuffer::reserve(size_t n)
{
    if (n <= m_capacity)
        return;
    const size_t cap = std::max(n, m_capacity + m_capacity / 2);
    // Uninitialised on purpose: every byte used is read from the file first.
    m_data.reset(new char[cap]);
    m_capacity = cap;
}

FileBuffer::~FileBuffer()
{
    unmap();
}

void FileBuffer::unmap()
{
    if (m_map)
        ::munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
}

void FileBuffer::setBytes(QByteArrayView bytes)
{
    unmap();
    reserve(size_t(bytes.size()) + 1);
    m_view = m_data.get();
    if (!bytes.isEmpty())
        std::memcpy(m_data.get(), bytes.data(), size_t(bytes.size()));
    m_size = size_t(bytes.size());
    if (const void *nul = std::memchr(m_data.get(), 0, m_size))
        m_size = size_t(static_cast<const char *>(nul) - m_data.get());
}

bool FileBuffer::load(const QString &path, QString *error, bool cutAtNul)
{
    unmap();
    m_size = 0;
    m_view = m_data.get();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = QStringLiteral("not a readable file");
        ::close(fd);
        return false;
    }
    size_t expected = size_t(st.st_size);
    if (expected >= size_t(UINT32_MAX)) {
        *error = QStringLiteral("too large");
        ::close(fd);
        return false;
    }
    // Large files are mapped, which spares copying them; small ones read. The pages are mapped
    // as the scan meets them (the kernel maps a run of cached pages per fault), which costs less
    // than mapping them all up front: the scan touches each page once anyway.
    if (expected >= (size_t(1) << 16)) {
        void *map = ::mmap(nullptr, expected, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            ::close(fd);
            m_map = map;
            m_mapSize = expected;
            m_view = static_cast<const char *>(map);
            m_size = expected;
            if (const void *nul = cutAtNul ? std::memchr(m_view, 0, m_size) : nullptr)
                m_size = size_t(static_cast<const char *>(nul) - m_view);
            return true;
        }
    }
    reserve(expected + 1);
    m_view = m_data.get();
    size_t got = 0;
    for (;;) {
        if (got == m_capacity) {
            // The file grew while being read: keep what was read.
            std::unique_ptr<char[]> bigger(new char[m_capacity * 2]);
            std::memcpy(bigger.get(), m_data.get(), got);
            m_data = std::move(bigger);
            m_capacity *= 2;
            m_view = m_data.get();
        }
        const ssize_t n = ::read(fd, m_data.get() + got, m_capacity - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    if (got >= size_t(UINT32_MAX)) {
        *error = QStringLiteral("too large");
        return false;
    }
    m_size = got;
    if (const void *nul = cutAtNul ? std::memchr(m_view, 0, m_size) : nullptr)
        m_size = size_t(static_cast<const char *>(nul) - m_view);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Lines

namespace {

inline bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
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

size_t countLines(const char *data, size_t end)
{
    size_t n = 0;
    const char *p = data;
    const char *const stop = data + end;
    while (p < stop) {
        const char *e = findLineEnd(p, stop);
        ++n;
        if (e == stop)
            break;
        p = e + 1;
        if (*e == '\r' && p < stop && *p == '\n')
            ++p;
    }
    return n;
}

// ---------------------------------------------------------------------------------------------
// Archive fields

ArchiveLayout scanArchiveLayout(const char *data, size_t size)
{
    ArchiveLayout layout;
    if (size == 0)
        return layout;
    size_t e = size;
    // One line end at the very end closes the last line and opens none.
    if (e >= 2 && data[e - 2] == '\r' && data[e - 1] == '\n')
        e -= 2;
    else if (isLineEnd(data[e - 1]))
        e -= 1;
    size_t blockBegin = size;
    for (;;) {
        size_t b = e;
        while (b > 0 && !isLineEnd(data[b - 1]))
            --b;
        const bool inBlock = b == e || std::memchr(data + b, '=', e - b) != nullptr;
        if (!inBlock)
            break;
        layout.fields.push_back(LineSpan{uint32_t(b), uint32_t(e)});
        blockBegin = b;
        if (b == 0)
            break;
        e = b - 1;
        if (data[e] == '\n' && e > 0 && data[e - 1] == '\r')
            --e;
    }
    std::reverse(layout.fields.begin(), layout.fields.end());
    layout.recordsEnd = layout.fields.empty() ? size : blockBegin;
    return layout;
}

QByteArrayView ArchiveLayout::field(const char *base, const char *key) const
{
    const size_t keyLen = std::strlen(key);
    for (const LineSpan &s : fields) {
        const char *line = base + s.begin;
        const size_t len = s.end - s.begin;
        const char *eq = static_cast<const char *>(std::memchr(line, '=', len));
        if (!eq || size_t(eq - line) != keyLen)
            continue;
        bool same = true;
        for (size_t i = 0; i < keyLen && same; ++i) {
            const unsigned char a = static_cast<unsigned char>(line[i]);
            const unsigned char k = static_cast<unsigned char>(key[i]);
            same = (a | 0x20) == (k | 0x20) && ((a | 0x20) >= 'a' && (a | 0x20) <= 'z');
        }
        if (same)
            return QByteArrayView(eq + 1, qsizetype(line + len - eq - 1));
    }
    return QByteArrayView();
}

// ---------------------------------------------------------------------------------------------
// Numbers and text

QByteArrayView trimBlanks(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && static_cast<unsigned char>(v[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(v[e - 1]) <= 32)
        --e;
    return v.sliced(b, e - b);
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

bool isValidUtf8(const unsigned char *s, size_t n)
{
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp;
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
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

QString decodeArchiveBytes(QByteArrayView bytes)
{
    const unsigned char *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t n = size_t(bytes.size());
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i)
        ascii = s[i] < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes.data(), bytes.size());
    if (isValidUtf8(s, n))
        return QString::fromUtf8(bytes.data(), bytes.size());
    // Windows-1252: Latin-1 except 0x80..0x9F; the five unassigned codes stay as C1 controls.
    static constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out(qsizetype(n), Qt::Uninitialized);
    QChar *o = out.data();
    for (size_t i = 0; i < n; ++i)
        o[i] = (s[i] >= 0x80 && s[i] <= 0x9F) ? QChar(high[s[i] - 0x80]) : QChar(char16_t(s[i]));
    return out;
}

namespace {

struct Separators
{
    QString localeName;
    QChar date = QLatin1Char('/');
    QChar time = QLatin1Char(':');
};

QChar firstSeparator(const QString &format, QChar fallback)
{
    bool quoted = false;
    for (QChar ch : format) {
        if (ch == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && !ch.isLetter() && !ch.isSpace())
            return ch;
    }
    return fallback;
}

const Separators &separators()
{
    static Separators cached;
    const QLocale locale;
    const QString name = locale.name();
    if (cached.localeName != name || cached.localeName.isEmpty()) {
        cached.localeName = name;
        cached.date = firstSeparator(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
        cached.time = firstSeparator(locale.timeFormat(QLocale::LongFormat), QLatin1Char(':'));
    }
    return cached;
}

inline void put2(QChar *&o, int v)
{
    *o++ = QChar(char16_t('0' + v / 10));
    *o++ = QChar(char16_t('0' + v % 10));
}

} // namespace

QString formatPackedDate(int year, int month, int day, int hour, int minute, int second)
{
    const Separators &sep = separators();
    const bool withTime = hour != 0 || minute != 0 || second != 0;
    QString out(withTime ? 19 : 10, Qt::Uninitialized);
    QChar *o = out.data();
    put2(o, day);
    *o++ = sep.date;
    put2(o, month);
    *o++ = sep.date;
    put2(o, year / 100);
    put2(o, year % 100);
    if (withTime) {
        *o++ = QLatin1Char(' ');
        put2(o, hour);
        *o++ = sep.time;
        put2(o, minute);
        *o++ = sep.time;
        put2(o, second);
    }
    return out;
}

QString formatPackedDate(int32_t packed)
{
    if (!dosdate::isValid(packed))
        return QString();
    const dosdate::Fields f = dosdate::fields(packed);
    return formatPackedDate(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

} // namespace search
