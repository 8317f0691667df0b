#pragma once

// Accent-blind text: each character's canonical decomposition with its nonspacing marks dropped,
// and the letters that have no decomposition but read as two ("æ" "ae", "œ" "oe", "ł" "l",
// "ø" "o", "ß" "ss", their capitals alike). "École" folds to "Ecole", "Ærø" to "AEro".
//
// Archive fields are 8-bit text read as UTF-8 when valid, else as Windows-1252; the folder reads
// their bytes the same way and writes the folded text as UTF-8, one table lookup per character
// outside ASCII. Safe from any thread.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace search {

// The folded text. upper: in capitals as well (the plain Unicode case mapping: once the marks
// are gone no locale's capitals differ from it).
QString foldAccents(QStringView text, bool upper);

// A bit for each ASCII character the bytes hold, letters without regard to case (several
// characters share a bit): a text can only hold another whose bits are all among its own.
uint64_t asciiBits(QByteArrayView bytes);

class AccentFolder
{
public:
    // The folder for one case, its tables built on first use (a few milliseconds).
    static const AccentFolder &instance(bool upper);

    // The most bytes fold() writes for n bytes.
    static constexpr size_t maxFolded(size_t n) { return 4 * n + 16; }
    // Folds one field's bytes into out (maxFolded(n) bytes); returns the bytes written.
    size_t fold(const unsigned char *s, size_t n, char *out) const;
    QByteArray fold(QByteArrayView field) const;

    // The asciiBits of the fold of the character that holds the byte at p, in a line [begin,
    // end) that is valid UTF-8 (utf8) or read as Windows-1252; every bit for a character that
    // folds to nothing (a mark), which may stand inside any text.
    uint64_t charBits(const unsigned char *begin, const unsigned char *p, const unsigned char *end,
                      bool utf8) const;
    // The bytes of 128 or more worth a look for a text of the given asciiBits: the last byte of
    // every character whose UTF-8 form folds to one of those characters, and every such
    // Windows-1252 character; and the first byte of every character that folds to nothing.
    // Bit i of set[0] stands for byte 128 + i, of set[1] for 192 + i.
    void highBytesFor(uint64_t bits, uint64_t set[2]) const;

    AccentFolder(const AccentFolder &) = delete;
    AccentFolder &operator=(const AccentFolder &) = delete;

    struct Entry
    {
        uint64_t bits = 0;
        uint8_t len = 0; // 0xFF: longer than bytes, folded when met
        char bytes[7]{};
    };

private:
    explicit AccentFolder(bool upper);
    size_t foldSlowly(const unsigned char *s, size_t used, bool utf8, char *out) const;

    const bool m_upper;
    char m_ascii[128];
    Entry m_cp1252[256];
    std::unique_ptr<Entry[]> m_bmp; // by code point; outside ASCII and the surrogates
    // The characters outside ASCII whose fold holds ASCII, with their asciiBits, and those that
    // fold to nothing.
    std::vector<std::pair<char16_t, uint64_t>> m_toAscii;
    std::vector<char16_t> m_toNothing;
};

} // namespace search
