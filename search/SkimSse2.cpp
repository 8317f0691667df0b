// The skim block scan for SSE2, which every x86-64 processor has; and the choice among the
// scans this processor runs.
#include "SkimKernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace search {

size_t skimBlocksAvx2(const SkimQuery &q, SkimState &st, const char *data, size_t end, uint64_t lineLimit,
                      SkimCandidate *out, size_t maxOut);
size_t skimBlocksAvx512(const SkimQuery &q, SkimState &st, const char *data, size_t end, uint64_t lineLimit,
                        SkimCandidate *out, size_t maxOut);

namespace {

using Vec = __m128i;
using Mask = uint32_t;
constexpr size_t SKIM_WIDTH = 16;
inline Vec vload(const char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
inline Vec vset(int b)
{
    return _mm_set1_epi8(char(b));
}
inline Vec veq(Vec a, Vec b)
{
    return _mm_cmpeq_epi8(a, b);
}
inline Vec vor(Vec a, Vec b)
{
    return _mm_or_si128(a, b);
}
inline Vec vand(Vec a, Vec b)
{
    return _mm_and_si128(a, b);
}
inline Vec vandnot(Vec a, Vec b)
{
    return _mm_andnot_si128(b, a);
}
inline Vec vsub(Vec a, Vec b)
{
    return _mm_sub_epi8(a, b);
}
inline uint64_t vsum(Vec v)
{
    const __m128i s = _mm_sad_epu8(v, _mm_setzero_si128());
    return uint64_t(_mm_cvtsi128_si64(s)) + uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
}
inline Mask vmask(Vec v)
{
    return Mask(_mm_movemask_epi8(v));
}
inline unsigned popcount(Mask m)
{
    // No POPCNT instruction assumed here.
    m = m - ((m >> 1) & 0x55555555u);
    m = (m & 0x33333333u) + ((m >> 2) & 0x33333333u);
    return (((m + (m >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24;
}

// No byte table without SSSE3: every byte of 128 or more is taken.
struct HighBytes
{
    explicit HighBytes(const SkimQuery &) {}
    Vec test(Vec v) const { return v; }
};

#define SKIM_FN skimBlocksSse2
#include "SkimBlocks.inc"
#undef SKIM_FN

} // namespace

namespace {
bool runsAvx512()
{
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("popcnt");
}
bool runsAvx2()
{
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
} // namespace

std::vector<std::pair<const char *, SkimFunction>> skimFunctions()
{
    std::vector<std::pair<const char *, SkimFunction>> all;
    if (runsAvx512())
        all.emplace_back("AVX-512", &skimBlocksAvx512);
    if (runsAvx2())
        all.emplace_back("AVX2", &skimBlocksAvx2);
    all.emplace_back("SSE2", &skimBlocksSse2);
    return all;
}

} // namespace search

#else

namespace search {
std::vector<std::pair<const char *, SkimFunction>> skimFunctions()
{
    return {};
}
} // namespace search

#endif

namespace search {

SkimFunction skimFunction()
{
    static const std::vector<std::pair<const char *, SkimFunction>> all = skimFunctions();
    return all.empty() ? nullptr : all.front().second;
}

} // namespace search
