// SSE2 operations on 16-byte vectors for the kernels. Include only from
// files compiled for SSE2 (*Sse2.cpp); everything here has internal linkage
// so that no copy made with these instructions is ever linked elsewhere.
#ifndef QVT_PIXELS_SIMDSSE2_H
#define QVT_PIXELS_SIMDSSE2_H

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvt::simd {
namespace {

struct Sse2Ops {
    using V = __m128i;
    static constexpr size_t kWidth = 16;

    static V Zero() { return _mm_setzero_si128(); }
    static V Splat16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }
    // Per byte: B + floor((A - B) * factor / 256), factor 0..256 in every
    // 16-bit lane. Widen to 16 bits, take A - B, multiply keeping the low 16
    // bits, shift right by 8 as unsigned, pack back with unsigned
    // saturation and add B with wrap-around: the low bits of the shifted
    // product are floor((A - B) * factor / 256) modulo 256, and adding B
    // modulo 256 lands on the true result, which lies between A and B.
    static V MixBytes(V a, V b, V factor) {
        const V zero = _mm_setzero_si128();
        V lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        V hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        lo = _mm_srli_epi16(_mm_mullo_epi16(lo, factor), 8);
        hi = _mm_srli_epi16(_mm_mullo_epi16(hi, factor), 8);
        return _mm_add_epi8(_mm_packus_epi16(lo, hi), b);
    }
    static V Load(const uint8_t *p) { return _mm_load_si128(reinterpret_cast<const V *>(p)); }
    static V LoadU(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const V *>(p)); }
    static void Store(uint8_t *p, V v) { _mm_store_si128(reinterpret_cast<V *>(p), v); }
    static void StoreU(uint8_t *p, V v) { _mm_storeu_si128(reinterpret_cast<V *>(p), v); }
    static void Stream(uint8_t *p, V v) { _mm_stream_si128(reinterpret_cast<V *>(p), v); }
    static void Fence() { _mm_sfence(); }

    // 32-bit lanes, for the integer routine.
    static V Splat32(uint32_t value) { return _mm_set1_epi32(static_cast<int>(value)); }
    static V Count(unsigned bits) { return _mm_cvtsi32_si128(static_cast<int>(bits)); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    static V ShiftRight32(V a, V count) { return _mm_srl_epi32(a, count); }
    static V ShiftLeft32(V a, V count) { return _mm_sll_epi32(a, count); }
    // The low 32 bits of each lane's product: SSE2 multiplies the even
    // lanes, so the odd ones are moved down, multiplied and interleaved back.
    static V MulLow32(V a, V b) {
        const V even = _mm_mul_epu32(a, b);
        const V odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static V Equal32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
    // Stores the lanes of v where `keep` is all zeros; lanes where it is all
    // ones keep what memory holds.
    static void StoreExcept(uint8_t *p, V keep, V v) {
        const V old = LoadU(p);
        StoreU(p, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, v)));
    }
};

} // namespace
} // namespace qvt::simd

#endif
