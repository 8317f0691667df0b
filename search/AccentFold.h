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

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

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
    // The folder for one case; built on first use, pages of the table as they are met.
    static const AccentFolder &instance(bool upper);

    // The most bytes fold() writes for n bytes.
    static constexpr size_t maxFolded(size_t n) { return 4 * n + 16; }
    // Folds one field's bytes into out (maxFolded(n) bytes); returns the bytes written.
    size_t fold(const unsigned char *s, size_t n, char *out) const;
    QByteArray fold(QByteArrayView field) const;

    // The asciiBits of what the character starting at s may fold to, whichever reading of the
    // line holds (the byte as Windows-1252, or the UTF-8 sequence it starts); n bytes of the
    // line are there. A byte in the middle of a UTF-8 sequence gives its Windows-1252 reading.
    uint64_t bitsAt(const unsigned char *s, size_t n) const;

    AccentFolder(const AccentFolder &) = delete;
    AccentFolder &operator=(const AccentFolder &) = delete;

    struct Entry
    {
        uint64_t bits = 0;
        uint8_t len = 0;
        char bytes[7]{};
    };

private:
    explicit AccentFolder(bool upper);
    const Entry *page(uint32_t high) const;

    const bool m_upper;
    char m_ascii[128];
    Entry m_cp1252[256];
    mutable std::mutex m_build;
    mutable std::atomic<const Entry *> m_pages[256];
    mutable std::unique_ptr<Entry[]> m_owned[256];
};

} // namespace search
