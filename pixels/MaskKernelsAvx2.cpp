// The mask kernels with AVX2: eight 32-bit pixels (one 1-bit mask byte, or
// eight 8-bit mask bytes) per step. Compiled for AVX2; the table takes them
// only on processors that have it.
#include "pixels/Kernels.h"

#if defined(__AVX2__)
#include "pixels/MaskKernelsSimd.h"
#include "pixels/SimdAvx2.h"

namespace qvt {
namespace {

struct MaskAvx2Ops : simd::Avx2Ops {
    static constexpr size_t kPixels = 8;

    // Each pixel's 32-bit weight (at most 256) spread over the 16-bit lanes
    // of its four bytes as the byte unpacks lay them out: within each
    // 128-bit half, pixels 0 and 1 of the half in the low unpack, 2 and 3 in
    // the high one.
    static void SpreadWeights(V weights, V &lo, V &hi) {
        const V pickLo = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5, 0, 1, 0, 1, 0, 1, 0, 1, 4,
                                          5, 4, 5, 4, 5, 4, 5);
        const V pickHi = _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13, 8, 9, 8, 9, 8, 9, 8,
                                          9, 12, 13, 12, 13, 12, 13, 12, 13);
        lo = _mm256_shuffle_epi8(weights, pickLo);
        hi = _mm256_shuffle_epi8(weights, pickHi);
    }
    static __m128i LoadMask8(const uint8_t *m) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(m)); }

    // w = m + 1, or 0 for m = 0.
    static void GradedFactors(const uint8_t *m, V &lo, V &hi) {
        const V v = _mm256_cvtepu8_epi32(LoadMask8(m));
        const V w = _mm256_add_epi32(_mm256_add_epi32(v, _mm256_set1_epi32(1)),
                                     _mm256_cmpeq_epi32(v, _mm256_setzero_si256()));
        SpreadWeights(w, lo, hi);
    }
    static __m128i MaskSplat8(uint8_t v) { return _mm_set1_epi8(static_cast<char>(v)); }
    // z from saturating byte arithmetic and a minimum, then scaled to 256ths.
    template <bool Add>
    static void WindowFactors(const uint8_t *m, __m128i t, __m128i window, __m128i up, V &lo, V &hi) {
        const __m128i v = LoadMask8(m);
        const __m128i z = _mm_min_epu8(Add ? _mm_adds_epu8(v, t) : _mm_subs_epu8(v, t), window);
        SpreadWeights(_mm256_sll_epi32(_mm256_cvtepu8_epi32(z), up), lo, hi);
    }
    static V MixBytes2(V a, V b, V flo, V fhi) {
        const V zero = _mm256_setzero_si256();
        V lo = _mm256_sub_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
        V hi = _mm256_sub_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
        lo = _mm256_srli_epi16(_mm256_mullo_epi16(lo, flo), 8);
        hi = _mm256_srli_epi16(_mm256_mullo_epi16(hi, fhi), 8);
        return _mm256_add_epi8(_mm256_packus_epi16(lo, hi), b);
    }
    static V SelectRange(const uint8_t *m, uint8_t lo, uint8_t hi) {
        const __m128i v = LoadMask8(m);
        const __m128i in = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, MaskSplat8(lo)), v),
                                         _mm_cmpeq_epi8(_mm_min_epu8(v, MaskSplat8(hi)), v));
        return _mm256_cvtepi8_epi32(in);
    }
    static V SelectZeroBits(uint8_t bits, size_t) {
        const V bit = _mm256_setr_epi32(0x80, 0x40, 0x20, 0x10, 8, 4, 2, 1);
        return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(bits), bit), _mm256_setzero_si256());
    }
    static V Choose(V sel, V a, V b) { return _mm256_blendv_epi8(b, a, sel); }
    static V Splat8(uint8_t v) { return _mm256_set1_epi8(static_cast<char>(v)); }
    static V Eq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
    static V SubSat8(V a, V b) { return _mm256_subs_epu8(a, b); }
    static V Not(V a) { return _mm256_xor_si256(a, _mm256_set1_epi32(-1)); }
    static bool AllOnes(V v) { return _mm256_movemask_epi8(v) == -1; }
    static bool AllZero(V v) { return _mm256_testz_si256(v, v) != 0; }
};

} // namespace

bool FillAvx2MaskKernels(TKernelTable &table, bool streaming) {
    mask::VectorMask<MaskAvx2Ops>::Fill(table, streaming);
    return true;
}

} // namespace qvt

#else

namespace qvt {
bool FillAvx2MaskKernels(TKernelTable &, bool) { return false; }
} // namespace qvt

#endif
