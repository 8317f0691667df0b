// The skim block scan for AVX2: four times the bytes per step. Chosen at run time (skimFunction).
#if defined(__x86_64__)
#pragma GCC target("avx2,popcnt")
#include "SkimKernel.h"

#include <immintrin.h>

namespace search {

namespace {

// Two AVX2 registers per step: 64 bytes and one 64-bit mask.
struct Vec
{
    __m256i lo, hi;
};
using Mask = uint64_t;
constexpr size_t SKIM_WIDTH = 64;
inline Vec vload(const char *p)
{
    return Vec{_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)),
               _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32))};
}
inline Vec vset(int b)
{
    const __m256i v = _mm256_set1_epi8(char(b));
    return Vec{v, v};
}
inline Vec veq(Vec a, Vec b)
{
    return Vec{_mm256_cmpeq_epi8(a.lo, b.lo), _mm256_cmpeq_epi8(a.hi, b.hi)};
}
inline Vec vor(Vec a, Vec b)
{
    return Vec{_mm256_or_si256(a.lo, b.lo), _mm256_or_si256(a.hi, b.hi)};
}
inline Vec vand(Vec a, Vec b)
{
    return Vec{_mm256_and_si256(a.lo, b.lo), _mm256_and_si256(a.hi, b.hi)};
}
inline Vec vandnot(Vec a, Vec b)
{
    return Vec{_mm256_andnot_si256(b.lo, a.lo), _mm256_andnot_si256(b.hi, a.hi)};
}
inline Vec vsub(Vec a, Vec b)
{
    return Vec{_mm256_sub_epi8(a.lo, b.lo), _mm256_sub_epi8(a.hi, b.hi)};
}
inline uint64_t vsum(Vec v)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i s = _mm256_add_epi64(_mm256_sad_epu8(v.lo, zero), _mm256_sad_epu8(v.hi, zero));
    const __m128i h = _mm_add_epi64(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    return uint64_t(_mm_cvtsi128_si64(h)) + uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(h, h)));
}
inline Mask vmask(Vec v)
{
    return Mask(uint32_t(_mm256_movemask_epi8(v.lo))) | (Mask(uint32_t(_mm256_movemask_epi8(v.hi))) << 32);
}
inline unsigned popcount(Mask m)
{
    return unsigned(__builtin_popcountll(m));
}

} // namespace

#define SKIM_FN skimBlocksAvx2
#include "SkimBlocks.inc"
#undef SKIM_FN

} // namespace search
#endif
