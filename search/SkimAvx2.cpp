// The skim block scan for AVX2: twice the bytes per step. Chosen at run time (skimFunction).
#if defined(__x86_64__)
#if !defined(__clang__) // clang takes the same from the file's own flags
#pragma GCC target("avx2,popcnt")
#endif
#include "SkimKernel.h"

#include <immintrin.h>

namespace search {

namespace {

// One AVX2 register per step: 32 bytes and one 32-bit mask, which leaves registers for every
// constant of the loop.
using Vec = __m256i;
using Mask = uint32_t;
constexpr size_t SKIM_WIDTH = 32;
inline Vec vload(const char *p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
}
inline Vec vset(int b)
{
    return _mm256_set1_epi8(char(b));
}
inline Vec veq(Vec a, Vec b)
{
    return _mm256_cmpeq_epi8(a, b);
}
inline Vec vor(Vec a, Vec b)
{
    return _mm256_or_si256(a, b);
}
inline Vec vand(Vec a, Vec b)
{
    return _mm256_and_si256(a, b);
}
inline Vec vandnot(Vec a, Vec b)
{
    return _mm256_andnot_si256(b, a);
}
inline Vec vsub(Vec a, Vec b)
{
    return _mm256_sub_epi8(a, b);
}
inline uint64_t vsum(Vec v)
{
    const __m256i s = _mm256_sad_epu8(v, _mm256_setzero_si256());
    const __m128i h = _mm_add_epi64(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    return uint64_t(_mm_cvtsi128_si64(h)) + uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(h, h)));
}
inline Mask vmask(Vec v)
{
    return Mask(_mm256_movemask_epi8(v));
}
inline unsigned popcount(Mask m)
{
    return unsigned(__builtin_popcount(m));
}

// Membership of the bytes of 128 or more in the query's set, two table lookups a block: the low
// nibble picks a row of eight bits, one for each high nibble 8..15, and the high nibble its bit.
struct HighBytes
{
    explicit HighBytes(const SkimQuery &q)
    {
        alignas(32) uint8_t rows[32] = {};
        alignas(32) uint8_t bits[32] = {};
        for (int b = 128; b < 256; ++b) {
            if (q.highSet[(b - 128) / 64] >> ((b - 128) % 64) & 1) {
                rows[b & 15] |= uint8_t(1u << ((b >> 4) - 8));
                rows[16 + (b & 15)] = rows[b & 15];
            }
        }
        for (int h = 8; h < 16; ++h)
            bits[h] = bits[16 + h] = uint8_t(1u << (h - 8));
        m_rows = _mm256_load_si256(reinterpret_cast<const __m256i *>(rows));
        m_bits = _mm256_load_si256(reinterpret_cast<const __m256i *>(bits));
    }
    Vec test(Vec v) const
    {
        const Vec low = vset(0x0F);
        const Vec row = _mm256_shuffle_epi8(m_rows, vand(v, low));
        const Vec bit = _mm256_shuffle_epi8(m_bits, vand(_mm256_srli_epi16(v, 4), low));
        return vandnot(vset(0xFF), veq(vand(row, bit), vset(0)));
    }
    Vec m_rows, m_bits;
};

} // namespace

#define SKIM_FN skimBlocksAvx2
#include "SkimBlocks.inc"
#undef SKIM_FN

} // namespace search

#endif
