// AVX2 operations on 32-byte vectors for the kernels. Include only from
// files compiled for AVX2 (*Avx2.cpp); everything here has internal linkage
// so that no copy made with these instructions is ever linked elsewhere.
//
// The 256-bit unpack and pack instructions work within each 128-bit half,
// so unpacking low and high halves and packing them again puts every byte
// back where it came from.
#ifndef QVT_PIXELS_SIMDAVX2_H
#define QVT_PIXELS_SIMDAVX2_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvt::simd {
namespace {

struct Avx2Ops {
    using V = __m256i;
    static constexpr size_t kWidth = 32;

    static V Zero() { return _mm256_setzero_si256(); }
    static V Splat16(int value) { return _mm256_set1_epi16(static_cast<short>(value)); }
    // Per byte: B + floor((A - B) * factor / 256), as the SSE2 operation.
    static V MixBytes(V a, V b, V factor) {
        const V zero = _mm256_setzero_si256();
        V lo = _mm256_sub_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
        V hi = _mm256_sub_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
        lo = _mm256_srli_epi16(_mm256_mullo_epi16(lo, factor), 8);
        hi = _mm256_srli_epi16(_mm256_mullo_epi16(hi, factor), 8);
        return _mm256_add_epi8(_mm256_packus_epi16(lo, hi), b);
    }
    static V Load(const uint8_t *p) { return _mm256_load_si256(reinterpret_cast<const V *>(p)); }
    static V LoadU(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const V *>(p)); }
    static void Store(uint8_t *p, V v) { _mm256_store_si256(reinterpret_cast<V *>(p), v); }
    static void StoreU(uint8_t *p, V v) { _mm256_storeu_si256(reinterpret_cast<V *>(p), v); }
    static void Stream(uint8_t *p, V v) { _mm256_stream_si256(reinterpret_cast<V *>(p), v); }
    static void Fence() { _mm_sfence(); }

    // 32-bit lanes, for the integer routine.
    static V Splat32(uint32_t value) { return _mm256_set1_epi32(static_cast<int>(value)); }
    static __m128i Count(unsigned bits) { return _mm_cvtsi32_si128(static_cast<int>(bits)); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V ShiftRight32(V a, __m128i count) { return _mm256_srl_epi32(a, count); }
    static V ShiftLeft32(V a, __m128i count) { return _mm256_sll_epi32(a, count); }
    static V MulLow32(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V Equal32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
    // Stores the lanes of v where `keep` is all zeros and leaves memory alone
    // where it is all ones (no read of the destination).
    static void StoreExcept(uint8_t *p, V keep, V v) {
        _mm256_maskstore_epi32(reinterpret_cast<int *>(p), _mm256_xor_si256(keep, _mm256_set1_epi32(-1)), v);
    }
};

} // namespace
} // namespace qvt::simd

#endif
