// The byte-wise kernel with SSE2: sixteen bytes per step.
//
// Per byte: widen A and B to 16 bits, take A - B, multiply by the level
// keeping the low 16 bits, shift right by 8 as unsigned, pack back to bytes
// with unsigned saturation and add B with wrap-around. The low 16 bits of
// (A - B) * level, shifted, are floor((A - B) * level / 256) modulo 256, and
// adding B modulo 256 lands on the true result, which lies between A and B.
#include "pixels/BlendSimd.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvt::blend {
namespace {

struct Sse2Ops {
    using V = __m128i;
    static constexpr size_t kWidth = 16;

    static V Splat(int level) { return _mm_set1_epi16(static_cast<short>(level)); }
    static V Mix(V a, V b, V level) {
        const V zero = _mm_setzero_si128();
        V lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
        V hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
        lo = _mm_srli_epi16(_mm_mullo_epi16(lo, level), 8);
        hi = _mm_srli_epi16(_mm_mullo_epi16(hi, level), 8);
        return _mm_add_epi8(_mm_packus_epi16(lo, hi), b);
    }
    static V Load(const uint8_t *p) { return _mm_load_si128(reinterpret_cast<const V *>(p)); }
    static V LoadU(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const V *>(p)); }
    static void Store(uint8_t *p, V v) { _mm_store_si128(reinterpret_cast<V *>(p), v); }
    static void StoreU(uint8_t *p, V v) { _mm_storeu_si128(reinterpret_cast<V *>(p), v); }
    static void Stream(uint8_t *p, V v) { _mm_stream_si128(reinterpret_cast<V *>(p), v); }
    static void Fence() { _mm_sfence(); }
};

constexpr ByteKernels kSse2{"sse2", VectorKernel<Sse2Ops>::BlendBytes};

} // namespace

const ByteKernels *Sse2Kernels() { return &kSse2; }

} // namespace qvt::blend

#else

namespace qvt::blend {
const ByteKernels *Sse2Kernels() { return nullptr; }
} // namespace qvt::blend

#endif
