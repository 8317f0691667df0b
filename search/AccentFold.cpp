#include "AccentFold.h"

#include "catalog/ArchiveText.h"

#include <QByteArray>
#include <QList>

#include <cstring>

namespace search {

namespace {

// Letters without a decomposition that people write with their base letters.
const char *spelledOut(char32_t cp)
{
    switch (cp) {
    case 0x00C6:
        return "AE";
    case 0x00E6:
        return "ae";
    case 0x0152:
        return "OE";
    case 0x0153:
        return "oe";
    case 0x0141:
        return "L";
    case 0x0142:
        return "l";
    case 0x00D8:
        return "O";
    case 0x00F8:
        return "o";
    case 0x00DF:
        return "ss";
    case 0x1E9E:
        return "SS";
    default:
        return nullptr;
    }
}

bool isHangulSyllable(char32_t cp)
{
    // Their canonical decomposition into jamo holds no mark: kept whole, a syllable still
    // matches only whole syllables.
    return cp >= 0xAC00 && cp <= 0xD7A3;
}

void appendFolded(char32_t cp, QString &out)
{
    if (!isHangulSyllable(cp) && QChar::decompositionTag(cp) == QChar::Canonical) {
        const QString parts = QChar::decomposition(cp);
        for (const char32_t part : parts.toUcs4())
            appendFolded(part, out);
        return;
    }
    if (QChar::category(cp) == QChar::Mark_NonSpacing)
        return;
    if (const char *letters = spelledOut(cp)) {
        out += QLatin1String(letters);
        return;
    }
    if (QChar::requiresSurrogates(cp)) {
        out += QChar(QChar::highSurrogate(cp));
        out += QChar(QChar::lowSurrogate(cp));
    } else {
        out += QChar(char16_t(cp));
    }
}

QString foldOnce(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t cp : text.toUcs4())
        appendFolded(cp, out);
    return out;
}

inline unsigned asciiBit(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 32);
    return (c >= 0x20 ? c - 0x20u : c) & 63u;
}

AccentFolder::Entry makeEntry(QStringView character, bool upper)
{
    AccentFolder::Entry e;
    const QByteArray folded = foldAccents(character, upper).toUtf8();
    e.bits = asciiBits(folded);
    if (folded.size() > qsizetype(sizeof e.bytes)) {
        e.len = 0xFF; // folded when met
    } else {
        e.len = uint8_t(folded.size());
        std::memcpy(e.bytes, folded.constData(), size_t(folded.size()));
    }
    return e;
}

} // namespace

QString foldAccents(QStringView text, bool upper)
{
    // Capitals of the folded text, folded again: a capital may bring its own marks ("ǰ" gives
    // "J" and a caron), and so every character folds on its own, as the tables fold it.
    QString out = foldOnce(text);
    return upper ? foldOnce(out.toUpper()) : out;
}

uint64_t asciiBits(QByteArrayView bytes)
{
    uint64_t bits = 0;
    for (const char ch : bytes) {
        if (uchar(ch) < 0x80)
            bits |= uint64_t(1) << asciiBit(uchar(ch));
    }
    return bits;
}

const AccentFolder &AccentFolder::instance(bool upper)
{
    static const AccentFolder kept(false);
    static const AccentFolder capitals(true);
    return upper ? capitals : kept;
}

AccentFolder::AccentFolder(bool upper) : m_upper(upper)
{
    for (int b = 0; b < 128; ++b)
        m_ascii[b] = char(upper && b >= 'a' && b <= 'z' ? b - 32 : b);
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        m_cp1252[b] = makeEntry(decodeArchiveText(QByteArrayView(&byte, 1)), upper);
    }
    for (auto &p : m_pages)
        p.store(nullptr, std::memory_order_relaxed);
}

const AccentFolder::Entry *AccentFolder::page(uint32_t high) const
{
    const Entry *p = m_pages[high].load(std::memory_order_acquire);
    if (p)
        return p;
    std::lock_guard<std::mutex> lock(m_build);
    p = m_pages[high].load(std::memory_order_relaxed);
    if (p)
        return p;
    std::unique_ptr<Entry[]> entries(new Entry[256]);
    for (uint32_t low = 0; low < 256; ++low) {
        const char16_t cp = char16_t(high << 8 | low);
        // Surrogates never come out of valid UTF-8.
        if (!QChar::isSurrogate(cp))
            entries[low] = makeEntry(QStringView(&cp, 1), m_upper);
    }
    p = entries.get();
    m_owned[high] = std::move(entries);
    m_pages[high].store(p, std::memory_order_release);
    return p;
}

size_t AccentFolder::fold(const unsigned char *s, size_t n, char *out) const
{
    char *const start = out;
    const bool utf8 = isValidUtf8(s, n);
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *out++ = m_ascii[b];
            ++i;
            continue;
        }
        const Entry *e = nullptr;
        size_t used = 1;
        if (!utf8) {
            e = &m_cp1252[b];
        } else if (b < 0xE0) {
            const uint32_t cp = uint32_t(b & 0x1F) << 6 | uint32_t(s[i + 1] & 0x3F);
            e = &page(cp >> 8)[cp & 0xFF];
            used = 2;
        } else if (b < 0xF0) {
            const uint32_t cp =
                uint32_t(b & 0x0F) << 12 | uint32_t(s[i + 1] & 0x3F) << 6 | uint32_t(s[i + 2] & 0x3F);
            e = &page(cp >> 8)[cp & 0xFF];
            used = 3;
        } else {
            used = 4;
        }
        if (e && e->len != 0xFF) {
            std::memcpy(out, e->bytes, sizeof e->bytes);
            out += e->len;
        } else {
            // Outside the tables: rare enough to fold through QString. A fold longer than four
            // bytes a byte would overrun the bound; none is known, and the character stays.
            const QByteArrayView bytes(s + i, qsizetype(used));
            const QByteArray folded =
                foldAccents(utf8 ? QString::fromUtf8(bytes) : decodeArchiveText(bytes), m_upper).toUtf8();
            if (size_t(folded.size()) <= 4 * used) {
                std::memcpy(out, folded.constData(), size_t(folded.size()));
                out += folded.size();
            } else {
                std::memcpy(out, s + i, used);
                out += used;
            }
        }
        i += used;
    }
    return size_t(out - start);
}

QByteArray AccentFolder::fold(QByteArrayView field) const
{
    QByteArray out(qsizetype(maxFolded(size_t(field.size()))), Qt::Uninitialized);
    const size_t n =
        fold(reinterpret_cast<const unsigned char *>(field.data()), size_t(field.size()), out.data());
    out.truncate(qsizetype(n));
    return out;
}

uint64_t AccentFolder::bitsAt(const unsigned char *s, size_t n) const
{
    const unsigned char b = s[0];
    if (b < 0x80)
        return uint64_t(1) << asciiBit(uchar(m_ascii[b]));
    uint64_t bits = m_cp1252[b].bits; // .bits holds even a fold too long for the entry
    const auto cont = [&](size_t k) { return k < n && (s[k] & 0xC0) == 0x80; };
    if (b >= 0xC2 && b <= 0xDF && cont(1)) {
        const uint32_t cp = uint32_t(b & 0x1F) << 6 | uint32_t(s[1] & 0x3F);
        bits |= page(cp >> 8)[cp & 0xFF].bits;
    } else if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2)) {
        const uint32_t cp = uint32_t(b & 0x0F) << 12 | uint32_t(s[1] & 0x3F) << 6 | uint32_t(s[2] & 0x3F);
        if (cp >= 0x800 && !QChar::isSurrogate(cp)) {
            bits |= page(cp >> 8)[cp & 0xFF].bits;
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        bits = ~uint64_t(0); // outside the tables: anything
    }
    return bits;
}

} // namespace search
