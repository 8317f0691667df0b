#pragma once

// The block scan behind skimming an archive for a text: finds the places where the text may
// start (its first and last byte, ASCII letter case ignored), the places that hold a character
// whose upper case (or, accents ignored, whose fold) is ASCII, and counts line ends, all in one
// pass with no work per line.
// Included by one file per instruction set; each defines SKIM_WIDTH and the vector helpers.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace search {

struct SkimQuery
{
    uint8_t firstFold, firstWant; // a byte b may start the text when (b | fold) == want
    uint8_t lastFold, lastWant;   // ... and the byte m - 1 later the same way
    size_t m = 0;                 // the text's length in bytes (1..64)
    // Characters whose upper case holds ASCII letters of the text: a byte pair lead+second
    // (pairs[i], pairs[i] + 1), and the single Windows-1252 sharp s when singleDF.
    uint8_t probe[8]{}; // the second bytes, looked for first
    int probes = 0;
    uint8_t lead[8]{}, second[8]{};
    int pairs = 0;
    bool singleDF = false;
    // Accents ignored: instead of the pairs above, every byte of 128 or more in highSet is
    // special (bit i of highSet[0] stands for byte 128 + i, of highSet[1] for 192 + i). A scan
    // without a byte table takes every byte of 128 or more.
    bool accent = false;
    uint64_t highSet[2]{};
};

struct SkimCandidate
{
    size_t pos;    // byte offset
    uint64_t line; // line number (from 0) of that byte
    bool special;  // a character with an ASCII upper case, not a place of the text
};

struct SkimState
{
    size_t offset = 0;       // next block
    uint64_t lines = 0;      // line ends before offset
    size_t nulAt = SIZE_MAX; // the first NUL met: the scan stops there
};

// Scans blocks from state.offset until end, or until out is full, or until the line count
// reaches lineLimit, or until a NUL (state.nulAt; the candidates of that block are dropped).
// Returns the number of candidates written.
using SkimFunction = size_t (*)(const SkimQuery &q, SkimState &state, const char *data, size_t end,
                                uint64_t lineLimit, SkimCandidate *out, size_t maxOut);

// Every scan this processor runs, widest first, with its name; none off x86-64.
std::vector<std::pair<const char *, SkimFunction>> skimFunctions();
// The widest of them, or null.
SkimFunction skimFunction();

} // namespace search
