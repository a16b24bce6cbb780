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
#include <cstring>

namespace qvt::blend {
namespace {

constexpr size_t kVector = 16;

inline __m128i mixVector(__m128i a, __m128i b, __m128i level) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    lo = _mm_srli_epi16(_mm_mullo_epi16(lo, level), 8);
    hi = _mm_srli_epi16(_mm_mullo_epi16(hi, level), 8);
    return _mm_add_epi8(_mm_packus_epi16(lo, hi), b);
}

// Fewer than 16 bytes through a scratch vector: both sources are read before
// the destination is written, so a destination equal to a source is fine.
inline void mixPartial(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, __m128i level) {
    if (n == 0) return;
    alignas(kVector) uint8_t ta[kVector] = {}, tb[kVector] = {};
    std::memcpy(ta, a, n);
    std::memcpy(tb, b, n);
    _mm_store_si128(reinterpret_cast<__m128i *>(ta),
                    mixVector(_mm_load_si128(reinterpret_cast<const __m128i *>(ta)),
                              _mm_load_si128(reinterpret_cast<const __m128i *>(tb)), level));
    std::memcpy(d, ta, n);
}

// n bytes in ascending order. Non-temporal stores need 16-byte aligned
// addresses: a misaligned head goes through ordinary stores first.
template <bool Stream> void mixRange(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, __m128i level) {
    if constexpr (Stream) {
        const size_t head = BytesToAlignment(d, kVector, n);
        mixPartial(d, a, b, head, level);
        d += head, a += head, b += head, n -= head;
    }
    for (; n >= kVector; n -= kVector, d += kVector, a += kVector, b += kVector) {
        const __m128i r = mixVector(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(b)), level);
        if constexpr (Stream)
            _mm_stream_si128(reinterpret_cast<__m128i *>(d), r);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i *>(d), r);
    }
    mixPartial(d, a, b, n, level);
}

template <bool Stream> void blendBytes(uint8_t *d, const uint8_t *a, const uint8_t *b, int level, int byteCount) {
    const __m128i factor = _mm_set1_epi16(static_cast<short>(level));
    BlendBytesInOrder(d, a, b, level, byteCount, [factor](uint8_t *dd, const uint8_t *aa, const uint8_t *bb, size_t n) {
        mixRange<Stream>(dd, aa, bb, n, factor);
    });
    if constexpr (Stream) _mm_sfence();
}

void blendBytesSse2(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
    level = ClampByteLevel(level);
    auto *d = static_cast<uint8_t *>(dest);
    const auto *a = static_cast<const uint8_t *>(arriving);
    const auto *b = static_cast<const uint8_t *>(departing);
    if (ExtendedMMXAvailable)
        blendBytes<true>(d, a, b, level, byteCount);
    else
        blendBytes<false>(d, a, b, level, byteCount);
}

constexpr ByteKernels kSse2{"sse2", blendBytesSse2};

} // namespace

const ByteKernels *Sse2Kernels() { return &kSse2; }

} // namespace qvt::blend

#else

namespace qvt::blend {
const ByteKernels *Sse2Kernels() { return nullptr; }
} // namespace qvt::blend

#endif
