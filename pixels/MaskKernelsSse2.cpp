// The mask kernels with SSE2: four 32-bit pixels (half a 1-bit mask byte,
// or four 8-bit mask bytes) per step.
#include "pixels/Kernels.h"

#if defined(__SSE2__)
#include "pixels/MaskKernelsSimd.h"
#include "pixels/SimdSse2.h"

namespace qvt {
namespace {

struct MaskSse2Ops : simd::Sse2Ops {
    static constexpr size_t kPixels = 4;

    static V LoadMask4(const uint8_t *m) { return _mm_cvtsi32_si128(static_cast<int>(mask::LoadWord(m))); }
    // Four 16-bit weights (lanes 0 to 3) spread over the lanes of their
    // pixels' bytes: pixels 0 and 1 for the low byte unpack, 2 and 3 for
    // the high one.
    static void SpreadWeights(V weights, V &lo, V &hi) {
        const V pairs = _mm_unpacklo_epi16(weights, weights);
        lo = _mm_unpacklo_epi32(pairs, pairs);
        hi = _mm_unpackhi_epi32(pairs, pairs);
    }
    // w = m + 1, or 0 for m = 0.
    static void GradedFactors(const uint8_t *m, V &lo, V &hi) {
        const V zero = _mm_setzero_si128();
        const V v = _mm_unpacklo_epi8(LoadMask4(m), zero);
        SpreadWeights(_mm_add_epi16(_mm_add_epi16(v, _mm_set1_epi16(1)), _mm_cmpeq_epi16(v, zero)), lo, hi);
    }
    static V MaskSplat8(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
    // z from saturating byte arithmetic and a minimum, then scaled to 256ths.
    template <bool Add> static void WindowFactors(const uint8_t *m, V t, V window, V up, V &lo, V &hi) {
        const V v = LoadMask4(m);
        const V z = _mm_min_epu8(Add ? _mm_adds_epu8(v, t) : _mm_subs_epu8(v, t), window);
        SpreadWeights(_mm_sll_epi16(_mm_unpacklo_epi8(z, _mm_setzero_si128()), up), lo, hi);
    }
    static V MixBytes2(V a, V b, V flo, V fhi) {
        const V zero = _mm_setzero_si128();
        V lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        V hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        lo = _mm_srli_epi16(_mm_mullo_epi16(lo, flo), 8);
        hi = _mm_srli_epi16(_mm_mullo_epi16(hi, fhi), 8);
        return _mm_add_epi8(_mm_packus_epi16(lo, hi), b);
    }
    static V SelectRange(const uint8_t *m, uint8_t lo, uint8_t hi) {
        const V v = LoadMask4(m);
        const V in = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, MaskSplat8(lo)), v),
                                   _mm_cmpeq_epi8(_mm_min_epu8(v, MaskSplat8(hi)), v));
        const V wide = _mm_unpacklo_epi8(in, in);
        return _mm_unpacklo_epi16(wide, wide);
    }
    static V SelectZeroBits(uint8_t bits, size_t part) {
        const V bit = part == 0 ? _mm_setr_epi32(0x80, 0x40, 0x20, 0x10) : _mm_setr_epi32(8, 4, 2, 1);
        return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(bits), bit), _mm_setzero_si128());
    }
    static V Choose(V sel, V a, V b) { return _mm_or_si128(_mm_and_si128(sel, a), _mm_andnot_si128(sel, b)); }
    static V Splat8(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
    static V Eq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }
    static V SubSat8(V a, V b) { return _mm_subs_epu8(a, b); }
    static V Not(V a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
    static bool AllOnes(V v) { return _mm_movemask_epi8(v) == 0xFFFF; }
    static bool AllZero(V v) { return _mm_movemask_epi8(v) == 0; }
};

} // namespace

bool FillSse2MaskKernels(TKernelTable &table, bool streaming) {
    mask::VectorMask<MaskSse2Ops>::Fill(table, streaming);
    return true;
}

} // namespace qvt

#else

namespace qvt {
bool FillSse2MaskKernels(TKernelTable &, bool) { return false; }
} // namespace qvt

#endif
