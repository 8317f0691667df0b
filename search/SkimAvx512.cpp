// The skim block scan for AVX-512 (BW and VBMI): 64 bytes per step, its tests kept as bytes
// that are zero where something is found, so a whole block costs one test. Chosen at run time
// (skimFunction).
#if defined(__x86_64__)
#if !defined(__clang__) // clang takes the same from the file's own flags
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi,popcnt")
#endif
#include "SkimKernel.h"

#include <immintrin.h>

namespace search {

namespace {

using Vec = __m512i;
using Mask = uint64_t;
constexpr size_t SKIM_WIDTH = 64;
inline Vec vload(const char *p)
{
    return _mm512_loadu_si512(p);
}
inline Vec vset(int b)
{
    return _mm512_set1_epi8(char(b));
}
inline Vec veq(Vec a, Vec b)
{
    return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b));
}
inline Vec vor(Vec a, Vec b)
{
    return _mm512_or_si512(a, b);
}
inline Vec vand(Vec a, Vec b)
{
    return _mm512_and_si512(a, b);
}
// The intrinsics below avoid those that start from an undefined register, which GCC 12 warns of.
inline Vec vandnot(Vec a, Vec b)
{
    return _mm512_ternarylogic_epi32(a, b, b, 0x30);
}
inline Mask vmask(Vec v)
{
    return _mm512_movepi8_mask(v);
}
inline unsigned popcount(Mask m)
{
    return unsigned(__builtin_popcountll(m));
}

// (a | b) ^ c in one instruction: zero where a, with the bits of b set, equals c.
inline Vec orXor(Vec a, Vec b, Vec c)
{
    return _mm512_ternarylogic_epi32(a, b, c, 0x56);
}

// Membership of the bytes of 128 or more in the query's set: one lookup in a table of 128, its
// entries 0x80 for members, kept only where the byte itself is 128 or more.
struct HighBytes
{
    explicit HighBytes(const SkimQuery &q)
    {
        alignas(64) uint8_t table[128] = {};
        for (int i = 0; i < 128; ++i)
            table[i] = (q.highSet[i / 64] >> (i % 64) & 1) ? 0x80 : 0;
        m_low = _mm512_load_si512(table);
        m_high = _mm512_load_si512(table + 64);
    }
    Vec test(Vec v) const { return vand(_mm512_permutex2var_epi8(m_low, v, m_high), v); }
    Vec m_low, m_high;
};

struct QuickScan
{
    explicit QuickScan(const SkimQuery &q)
        : firstFold(vset(q.firstFold)), firstWant(vset(q.firstWant)), lastFold(vset(q.lastFold)),
          lastWant(vset(q.lastWant)), cr(vset('\r')), lf(vset('\n')), low6(vset(0x3F)),
          // Without the single sharp s this finds the NUL the block is tested for anyway.
          single(vset(q.singleDF ? 0xDF : 0)), high(q), m(q.m), accent(q.accent)
    {
        // The probe bytes in a table of 64 indexed by their low six bits, each entry the byte
        // with those bits set, which no byte of another quarter of the range gives; a free
        // entry holds 0, which none gives. Should two probes share an entry, every byte of 128
        // or more counts as one.
        alignas(64) uint8_t table[64] = {};
        bool shared = false;
        for (int i = 0; i < q.probes; ++i) {
            uint8_t &entry = table[q.probe[i] & 0x3F];
            const uint8_t want = uint8_t(q.probe[i] | 0x3F);
            shared = shared || (entry != 0 && entry != want);
            entry = want;
        }
        if (shared) {
            for (int i = 0; i < 64; ++i)
                table[i] = 0xFF;
            anyHigh = true;
        }
        probes = _mm512_load_si512(table);
    }

    bool run(const char *data, size_t &o, size_t quickEnd, uint64_t &count) const
    {
        uint64_t lines = 0;
        bool stopped = false;
        for (int blocks = 0; o <= quickEnd && blocks < 256; ++blocks) {
            const char *b = data + o;
            // The pages of a mapped archive are not contiguous, so the hardware does not fetch
            // ahead across them: ask for the bytes a few blocks on.
            __builtin_prefetch(b + 4096);
            const Vec v0 = vload(b);
            const Vec v1 = vload(b + 1);
            const Vec vl = vload(b + m - 1);
            const Vec both = vor(orXor(v0, firstFold, firstWant), orXor(vl, lastFold, lastWant));
            Vec probe = orXor(v1, low6, _mm512_maskz_permutexvar_epi8(~__mmask64(0), v1, probes));
            if (anyHigh)
                probe = vandnot(vset(0x80), v1); // zero where v1 >= 128
            Vec found = _mm512_min_epu8(_mm512_min_epu8(both, v0),
                                        _mm512_min_epu8(probe, _mm512_xor_si512(v0, single)));
            if (accent)
                found = _mm512_min_epu8(found, vandnot(vset(0x80), high.test(v0)));
            if (_mm512_testn_epi8_mask(found, found)) {
                stopped = true;
                break;
            }
            const __mmask64 lfs = _mm512_cmpeq_epi8_mask(v0, lf);
            const __mmask64 lone = _mm512_mask_cmpneq_epi8_mask(_mm512_cmpeq_epi8_mask(v0, cr), v1, lf);
            lines += uint64_t(__builtin_popcountll(_cvtmask64_u64(_kor_mask64(lfs, lone))));
            o += SKIM_WIDTH;
        }
        count += lines;
        return stopped;
    }

    const Vec firstFold, firstWant, lastFold, lastWant, cr, lf, low6, single;
    Vec probes;
    const HighBytes high;
    const size_t m;
    const bool accent;
    bool anyHigh = false;
};

} // namespace

#define SKIM_OWN_QUICK
#define SKIM_FN skimBlocksAvx512
#include "SkimBlocks.inc"
#undef SKIM_FN
#undef SKIM_OWN_QUICK

} // namespace search

#endif
