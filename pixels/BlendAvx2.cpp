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
#include <cstring>

namespace qvt::blend {
namespace {

constexpr size_t kVector = 32;

inline __m256i mixVector(__m256i a, __m256i b, __m256i level) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i lo = _mm256_sub_epi16(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
    __m256i hi = _mm256_sub_epi16(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
    lo = _mm256_srli_epi16(_mm256_mullo_epi16(lo, level), 8);
    hi = _mm256_srli_epi16(_mm256_mullo_epi16(hi, level), 8);
    return _mm256_add_epi8(_mm256_packus_epi16(lo, hi), b);
}

// Fewer than 32 bytes through a scratch vector: both sources are read before
// the destination is written, so a destination equal to a source is fine.
inline void mixPartial(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, __m256i level) {
    if (n == 0) return;
    alignas(kVector) uint8_t ta[kVector] = {}, tb[kVector] = {};
    std::memcpy(ta, a, n);
    std::memcpy(tb, b, n);
    _mm256_store_si256(reinterpret_cast<__m256i *>(ta),
                       mixVector(_mm256_load_si256(reinterpret_cast<const __m256i *>(ta)),
                                 _mm256_load_si256(reinterpret_cast<const __m256i *>(tb)), level));
    std::memcpy(d, ta, n);
}

// n bytes in ascending order. Non-temporal stores need 32-byte aligned
// addresses: a misaligned head goes through ordinary stores first.
template <bool Stream> void mixRange(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, __m256i level) {
    if constexpr (Stream) {
        const size_t head = BytesToAlignment(d, kVector, n);
        mixPartial(d, a, b, head, level);
        d += head, a += head, b += head, n -= head;
    }
    for (; n >= kVector; n -= kVector, d += kVector, a += kVector, b += kVector) {
        const __m256i r = mixVector(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(a)),
                                    _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b)), level);
        if constexpr (Stream)
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d), r);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(d), r);
    }
    mixPartial(d, a, b, n, level);
}

template <bool Stream> void blendBytes(uint8_t *d, const uint8_t *a, const uint8_t *b, int level, int byteCount) {
    const __m256i factor = _mm256_set1_epi16(static_cast<short>(level));
    BlendBytesInOrder(d, a, b, level, byteCount, [factor](uint8_t *dd, const uint8_t *aa, const uint8_t *bb, size_t n) {
        mixRange<Stream>(dd, aa, bb, n, factor);
    });
    if constexpr (Stream) _mm_sfence();
}

void blendBytesAvx2(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
    level = ClampByteLevel(level);
    auto *d = static_cast<uint8_t *>(dest);
    const auto *a = static_cast<const uint8_t *>(arriving);
    const auto *b = static_cast<const uint8_t *>(departing);
    if (ExtendedMMXAvailable)
        blendBytes<true>(d, a, b, level, byteCount);
    else
        blendBytes<false>(d, a, b, level, byteCount);
}

constexpr ByteKernels kAvx2{"avx2", blendBytesAvx2};

} // namespace

const ByteKernels *Avx2Kernels() { return &kAvx2; }

} // namespace qvt::blend

#else

namespace qvt::blend {
const ByteKernels *Avx2Kernels() { return nullptr; }
} // namespace qvt::blend

#endif
