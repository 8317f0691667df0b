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
