// AVX-512 (F and BW) operations on 64-byte vectors for the kernels. Include
// only from files compiled for AVX-512 (*Avx512.cpp); everything here has
// internal linkage so that no copy made with these instructions is ever
// linked elsewhere.
//
// As with AVX2, unpack and pack work within each 128-bit quarter, so
// unpacking low and high halves and packing them again puts every byte back
// where it came from.
#ifndef QVT_PIXELS_SIMDAVX512_H
#define QVT_PIXELS_SIMDAVX512_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvt::simd {
namespace {

struct Avx512Ops {
    using V = __m512i;
    static constexpr size_t kWidth = 64;

    static V Zero() { return _mm512_setzero_si512(); }
    static V Splat16(int value) { return _mm512_set1_epi16(static_cast<short>(value)); }
    // Per byte: B + floor((A - B) * factor / 256), as the SSE2 operation.
    static V MixBytes(V a, V b, V factor) {
        const V zero = _mm512_setzero_si512();
        V lo = _mm512_sub_epi16(_mm512_unpacklo_epi8(a, zero), _mm512_unpacklo_epi8(b, zero));
        V hi = _mm512_sub_epi16(_mm512_unpackhi_epi8(a, zero), _mm512_unpackhi_epi8(b, zero));
        lo = _mm512_srli_epi16(_mm512_mullo_epi16(lo, factor), 8);
        hi = _mm512_srli_epi16(_mm512_mullo_epi16(hi, factor), 8);
        return _mm512_add_epi8(_mm512_packus_epi16(lo, hi), b);
    }
    static V Load(const uint8_t *p) { return _mm512_load_si512(p); }
    static V LoadU(const uint8_t *p) { return _mm512_loadu_si512(p); }
    static void Store(uint8_t *p, V v) { _mm512_store_si512(p, v); }
    static void StoreU(uint8_t *p, V v) { _mm512_storeu_si512(p, v); }
    static void Stream(uint8_t *p, V v) { _mm512_stream_si512(reinterpret_cast<V *>(p), v); }
    static void Fence() { _mm_sfence(); }

    // 32-bit lanes, for the integer routine.
    static V Splat32(uint32_t value) { return _mm512_set1_epi32(static_cast<int>(value)); }
    static __m128i Count(unsigned bits) { return _mm_cvtsi32_si128(static_cast<int>(bits)); }
    static V And(V a, V b) { return _mm512_and_si512(a, b); }
    static V Or(V a, V b) { return _mm512_or_si512(a, b); }
    static V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm512_sub_epi32(a, b); }
    // The zero-masking forms with every lane selected: the plain ones of
    // this compiler pass an undefined vector that its warnings flag.
    static V ShiftRight32(V a, __m128i count) { return _mm512_maskz_srl_epi32(__mmask16(0xFFFF), a, count); }
    static V ShiftLeft32(V a, __m128i count) { return _mm512_maskz_sll_epi32(__mmask16(0xFFFF), a, count); }
    static V MulLow32(V a, V b) { return _mm512_mullo_epi32(a, b); }
    // Equality of the lanes as a mask register, one bit a lane.
    static __mmask16 Equal32(V a, V b) { return _mm512_cmpeq_epi32_mask(a, b); }
    // Stores the lanes of v whose bit in `keep` is 0 and leaves memory alone
    // where it is 1 (no read of the destination).
    static void StoreExcept(uint8_t *p, __mmask16 keep, V v) {
        _mm512_mask_storeu_epi32(p, static_cast<__mmask16>(~keep), v);
    }
};

} // namespace
} // namespace qvt::simd

#endif
