#include "AccentFold.h"

#include "catalog/ArchiveText.h"

#include <QByteArray>
#include <QList>
#include <QStringView>

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

// Whether the character's fold is the character itself, told from cheap properties: no
// decomposition of any kind, no mark, no spelt-out letter, and in capitals already.
bool foldsToItself(char32_t cp, bool upper)
{
    if (isHangulSyllable(cp))
        return true;
    if (QChar::decompositionTag(cp) != QChar::NoDecomposition || spelledOut(cp) ||
        QChar::category(cp) == QChar::Mark_NonSpacing)
        return false;
    return !upper || QChar::toUpper(cp) == cp;
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

AccentFolder::AccentFolder(bool upper) : m_upper(upper), m_bmp(new Entry[0x10000])
{
    for (int b = 0; b < 128; ++b)
        m_ascii[b] = char(upper && b >= 'a' && b <= 'z' ? b - 32 : b);
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        m_cp1252[b] = makeEntry(decodeArchiveText(QByteArrayView(&byte, 1)), upper);
    }
    for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
        if (QChar::isSurrogate(cp))
            continue;
        const char16_t unit = char16_t(cp);
        Entry &e = m_bmp[cp];
        // Most characters fold to themselves; only the others take the slow way.
        if (foldsToItself(cp, upper)) {
            const QByteArray bytes = QStringView(&unit, 1).toUtf8();
            e.len = uint8_t(bytes.size());
            std::memcpy(e.bytes, bytes.constData(), size_t(bytes.size()));
            continue;
        }
        e = makeEntry(QStringView(&unit, 1), upper);
        if (e.bits)
            m_toAscii.emplace_back(unit, e.bits);
        else if (e.len == 0)
            m_toNothing.push_back(unit);
    }
}

size_t AccentFolder::foldSlowly(const unsigned char *s, size_t used, bool utf8, char *out) const
{
    // A fold longer than four bytes a byte would overrun the bound: none is known, and such a
    // character would stay as it is.
    const QByteArrayView bytes(s, qsizetype(used));
    const QByteArray folded =
        foldAccents(utf8 ? QString::fromUtf8(bytes) : decodeArchiveText(bytes), m_upper).toUtf8();
    const QByteArrayView put = size_t(folded.size()) <= 4 * used ? QByteArrayView(folded) : bytes;
    std::memcpy(out, put.data(), size_t(put.size()));
    return size_t(put.size());
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
            e = &m_bmp[uint32_t(b & 0x1F) << 6 | uint32_t(s[i + 1] & 0x3F)];
            used = 2;
        } else if (b < 0xF0) {
            e = &m_bmp[uint32_t(b & 0x0F) << 12 | uint32_t(s[i + 1] & 0x3F) << 6 | uint32_t(s[i + 2] & 0x3F)];
            used = 3;
        } else {
            used = 4;
        }
        if (e && e->len != 0xFF) {
            std::memcpy(out, e->bytes, sizeof e->bytes);
            out += e->len;
        } else {
            out += foldSlowly(s + i, used, utf8, out);
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

uint64_t AccentFolder::charBits(const unsigned char *begin, const unsigned char *p, const unsigned char *end,
                                bool utf8) const
{
    const auto bitsOf = [](const Entry &e) { return e.len == 0 ? ~uint64_t(0) : e.bits; };
    const unsigned char b = *p;
    if (b < 0x80)
        return uint64_t(1) << asciiBit(uchar(m_ascii[b]));
    if (!utf8)
        return bitsOf(m_cp1252[b]);
    // The lead byte of the sequence that holds p, at most three bytes back.
    const unsigned char *lead = p;
    while (lead > begin && p - lead < 3 && (*lead & 0xC0) == 0x80)
        --lead;
    const unsigned char l = *lead;
    if (l >= 0xF0) {
        // Beyond the tables nothing folds to ASCII; a mark there may still stand inside a text.
        if (end - lead < 4)
            return 0;
        const char32_t cp = char32_t(l & 0x07) << 18 | char32_t(lead[1] & 0x3F) << 12 |
                            char32_t(lead[2] & 0x3F) << 6 | char32_t(lead[3] & 0x3F);
        return QChar::category(cp) == QChar::Mark_NonSpacing ? ~uint64_t(0) : 0;
    }
    if (l >= 0xE0)
        return end - lead < 3 ? 0
                              : bitsOf(m_bmp[uint32_t(l & 0x0F) << 12 | uint32_t(lead[1] & 0x3F) << 6 |
                                             uint32_t(lead[2] & 0x3F)]);
    if (l >= 0xC0)
        return end - lead < 2 ? 0 : bitsOf(m_bmp[uint32_t(l & 0x1F) << 6 | uint32_t(lead[1] & 0x3F)]);
    return 0;
}

void AccentFolder::highBytesFor(uint64_t bits, uint64_t set[2]) const
{
    set[0] = set[1] = 0;
    const auto flag = [&](unsigned char b) { set[(b - 128) / 64] |= uint64_t(1) << ((b - 128) % 64); };
    for (int b = 128; b < 256; ++b) {
        if (m_cp1252[b].bits & bits)
            flag(uchar(b));
    }
    for (const auto &[unit, unitBits] : m_toAscii) {
        if (unitBits & bits)
            flag(uchar(QStringView(&unit, 1).toUtf8().back()));
    }
    for (const char16_t unit : m_toNothing)
        flag(uchar(QStringView(&unit, 1).toUtf8().front()));
    // Beyond the tables nothing folds to ASCII, but marks of the other planes fold to nothing.
    flag(0xF0);
    flag(0xF3);
}

} // namespace search
