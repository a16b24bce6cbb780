// The byte-wise kernel with AVX2: thirty-two bytes per step. This file alone
// is compiled for AVX2; the dispatcher picks it only on processors that
// have it.
//
// Same per-byte arithmetic as the SSE2 variant. The 256-bit unpack and pack
// instructions work within each 128-bit half, so unpacking low and high
// halves and packing them again puts every byte back where it came from.
#include "pixels/BlendSimd.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvt::blend {
namespace {

struct Avx2Ops {
    using V = __m256i;
    static constexpr size_t kWidth = 32;

    static V Splat(int level) { return _mm256_set1_epi16(static_cast<short>(level)); }
    static V Mix(V a, V b, V level) {
        const V zero = _mm256_setzero_si256();
        V lo = _mm256_sub_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
        V hi = _mm256_sub_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
        lo = _mm256_srli_epi16(_mm256_mullo_epi16(lo, level), 8);
        hi = _mm256_srli_epi16(_mm256_mullo_epi16(hi, level), 8);
        return _mm256_add_epi8(_mm256_packus_epi16(lo, hi), b);
    }
    static V Load(const uint8_t *p) { return _mm256_load_si256(reinterpret_cast<const V *>(p)); }
    static V LoadU(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const V *>(p)); }
    static void Store(uint8_t *p, V v) { _mm256_store_si256(reinterpret_cast<V *>(p), v); }
    static void StoreU(uint8_t *p, V v) { _mm256_storeu_si256(reinterpret_cast<V *>(p), v); }
    static void Stream(uint8_t *p, V v) { _mm256_stream_si256(reinterpret_cast<V *>(p), v); }
    static void Fence() { _mm_sfence(); }
};

constexpr ByteKernels kAvx2{"avx2", VectorKernel<Avx2Ops>::BlendBytes};

} // namespace

const ByteKernels *Avx2Kernels() { return &kAvx2; }

} // namespace qvt::blend

#else

namespace qvt::blend {
const ByteKernels *Avx2Kernels() { return nullptr; }
} // namespace qvt::blend

#endif
