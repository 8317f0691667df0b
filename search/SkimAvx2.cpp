// The skim block scan for AVX2: twice the bytes per step. Chosen at run time (skimFunction).
#if defined(__x86_64__)
#pragma GCC target("avx2,popcnt")
#include "SkimKernel.h"

#include <immintrin.h>

namespace search {

namespace {

using Vec = __m256i;
using Mask = uint64_t;
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
inline Mask vmask(Vec v)
{
    return Mask(uint32_t(_mm256_movemask_epi8(v)));
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
