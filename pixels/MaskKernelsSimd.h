// The vector variants of the mask kernels, written once over an instruction
// set's operations. Each variant's file (MaskKernelsSse2.cpp,
// MaskKernelsAvx2.cpp) gives its Ops and instantiates these, so every copy
// stays in the file compiled for that instruction set. Heads and tails
// shorter than a vector go through the plain stretches of
// MaskKernelsScalar.h. Not part of the public interface.
//
// Ops gives, besides the operations of SimdSse2.h / SimdAvx2.h:
//   kPixels                 32-bit pixels per vector (kWidth / 4)
//   GradedFactors(m, lo, hi)     the 16-bit factors of kPixels mask bytes
//                           for the low and high byte unpacks of a vector
//   WindowFactors<Add>(m, t, window, shift, lo, hi)  the same for the
//                           windowed blend's weights, with t and window
//                           from MaskSplat8 and shift from Count
//   MixBytes2(a, b, lo, hi) per byte b + floor((a - b) * factor / 256)
//   SelectRange(m, lo, hi)  all ones in each 32-bit lane whose mask byte
//                           (of kPixels) lies in [lo, hi]
//   SelectZeroBits(byte, part)  all ones in each 32-bit lane whose bit of
//                           the 1-bit mask byte is 0, for pixels
//                           part * kPixels onwards
//   Choose(sel, a, b)       a where sel is all ones, else b
//   Splat8, Eq8, SubSat8 and Not on whole vectors, and AllOnes(v) /
//   AllZero(v) of a comparison result.
#ifndef QVT_PIXELS_MASKKERNELSSIMD_H
#define QVT_PIXELS_MASKKERNELSSIMD_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "pixels/MaskKernelsScalar.h"

namespace qvt::mask {
namespace {

// The hard copies of 8- and 16-bit pixels, sixteen bytes a step with the
// SSE2 operations that both vector variants have.
struct NarrowCopies {
    using V = __m128i;
    static V Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const V *>(p)); }
    static void Store(uint8_t *p, V v) { _mm_storeu_si128(reinterpret_cast<V *>(p), v); }
    static V Choose(V sel, V a, V b) { return _mm_or_si128(_mm_and_si128(sel, a), _mm_andnot_si128(sel, b)); }
    static V InRange(V m, uint8_t lo, uint8_t hi) {
        return _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(m, _mm_set1_epi8(static_cast<char>(lo))), m),
                             _mm_cmpeq_epi8(_mm_min_epu8(m, _mm_set1_epi8(static_cast<char>(hi))), m));
    }
    // Puts the selection of a vector of pixels: all of the arriving one,
    // none, or a mix with the work bitmap.
    static void Put(uint8_t *w, const uint8_t *a, V sel) {
        const int bits = _mm_movemask_epi8(sel);
        if (bits == 0) return;
        Store(w, bits == 0xFFFF ? Load(a) : Choose(sel, Load(a), Load(w)));
    }

    // 16-bit pixels: one mask byte covers one vector.
    static void CopyMask1x16(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t maskBytes) {
        const V bit = _mm_setr_epi16(0x80, 0x40, 0x20, 0x10, 8, 4, 2, 1);
        for (size_t i = 0; i < maskBytes; ++i) {
            if ((i & 3) == 0 && i + 4 <= maskBytes && LoadWord(mask + i) == 0xFFFFFFFFu) {
                i += 3;
                continue;
            }
            const uint8_t bits = mask[i];
            if (bits == 0xFF) continue;
            const V sel = _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(bits), bit), _mm_setzero_si128());
            Put(work + 16 * i, arriving + 16 * i, sel);
        }
    }

    // 8-bit pixels: two mask bytes cover one vector, each spread over its
    // eight pixel bytes.
    static void CopyMask1x8(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t maskBytes) {
        const V bit = _mm_setr_epi8(char(0x80), 0x40, 0x20, 0x10, 8, 4, 2, 1, char(0x80), 0x40, 0x20, 0x10, 8, 4, 2, 1);
        size_t i = 0;
        for (; i + 2 <= maskBytes; i += 2) {
            if ((i & 3) == 0 && i + 4 <= maskBytes && LoadWord(mask + i) == 0xFFFFFFFFu) {
                i += 2;
                continue;
            }
            const int pair = mask[i] | mask[i + 1] << 8;
            if (pair == 0xFFFF) continue;
            V spread = _mm_cvtsi32_si128(pair);
            spread = _mm_unpacklo_epi8(spread, spread);
            spread = _mm_unpacklo_epi16(spread, spread);
            spread = _mm_unpacklo_epi32(spread, spread);
            Put(work + 8 * i, arriving + 8 * i, _mm_cmpeq_epi8(_mm_and_si128(spread, bit), _mm_setzero_si128()));
        }
        CopyMask1Scalar<mp8bit>(work + 8 * i, arriving + 8 * i, mask + i, maskBytes - i);
    }

    static void CopyRange8(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t count, uint8_t lo,
                           uint8_t hi) {
        size_t i = 0;
        for (; i + 16 <= count; i += 16) Put(work + i, arriving + i, InRange(Load(mask + i), lo, hi));
        CopyRangeScalar<mp8bit>(work + i, arriving + i, mask + i, count - i, lo, hi);
    }

    static void CopyRange16(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t count, uint8_t lo,
                            uint8_t hi) {
        size_t i = 0;
        for (; i + 16 <= count; i += 16) {
            const V in = InRange(Load(mask + i), lo, hi);
            Put(work + 2 * i, arriving + 2 * i, _mm_unpacklo_epi8(in, in));
            Put(work + 2 * i + 16, arriving + 2 * i + 16, _mm_unpackhi_epi8(in, in));
        }
        CopyRangeScalar<mp16bit>(work + 2 * i, arriving + 2 * i, mask + i, count - i, lo, hi);
    }
};

template <class Ops> struct VectorMask {
    using V = typename Ops::V;
    static constexpr size_t kWidth = Ops::kWidth;
    static constexpr size_t kPixels = Ops::kPixels;

    // ---- The blends: every pixel of the stretch is written.

    static void GradedBlend(uint8_t *work, const uint8_t *arriving, const uint8_t *departing, const uint8_t *mask,
                            size_t pixels) {
        size_t i = 0;
        for (; i + kPixels <= pixels; i += kPixels) {
            V lo, hi;
            Ops::GradedFactors(mask + i, lo, hi);
            Ops::StoreU(work + 4 * i,
                        Ops::MixBytes2(Ops::LoadU(departing + 4 * i), Ops::LoadU(arriving + 4 * i), lo, hi));
        }
        GradedBlendScalar(work + 4 * i, arriving + 4 * i, departing + 4 * i, mask + i, pixels - i);
    }

    template <bool Add>
    static void WindowBlend(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                            size_t pixels, uint8_t threshold, unsigned windowShift) {
        const auto t = Ops::MaskSplat8(threshold);
        const auto window = Ops::MaskSplat8(static_cast<uint8_t>(1u << windowShift));
        const auto up = Ops::Count(8 - windowShift);
        size_t i = 0;
        for (; i + kPixels <= pixels; i += kPixels) {
            V lo, hi;
            Ops::template WindowFactors<Add>(mask + i, t, window, up, lo, hi);
            Ops::StoreU(work + 4 * i,
                        Ops::MixBytes2(Ops::LoadU(weighted + 4 * i), Ops::LoadU(base + 4 * i), lo, hi));
        }
        WindowBlendScalar<Add>(work + 4 * i, weighted + 4 * i, base + 4 * i, mask + i, pixels - i, threshold,
                               windowShift);
    }

    // ---- The hard copies: only the chosen pixels change, so the work
    // bitmap is read and written back where a vector holds any of them.

    static void CopyRange32(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t count, uint8_t lo,
                            uint8_t hi) {
        size_t i = 0;
        for (; i + kPixels <= count; i += kPixels) {
            const V sel = Ops::SelectRange(mask + i, lo, hi);
            if (Ops::AllZero(sel)) continue;
            if (Ops::AllOnes(sel)) {
                Ops::StoreU(work + 4 * i, Ops::LoadU(arriving + 4 * i));
                continue;
            }
            Ops::StoreU(work + 4 * i, Ops::Choose(sel, Ops::LoadU(arriving + 4 * i), Ops::LoadU(work + 4 * i)));
        }
        CopyRangeScalar<mp32bit>(work + 4 * i, arriving + 4 * i, mask + i, count - i, lo, hi);
    }

    // A whole mask word (32 pixels) of 255s is skipped with one test, a
    // byte of 255 (8 pixels) with another; a byte of 0 copies its 8 pixels.
    static void CopyMask1x32(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t maskBytes) {
        size_t i = 0;
        for (; i + 4 <= maskBytes; i += 4) {
            if (LoadWord(mask + i) == 0xFFFFFFFFu) continue;
            for (size_t k = i; k < i + 4; ++k) CopyByte32(work + 32 * k, arriving + 32 * k, mask[k]);
        }
        for (; i < maskBytes; ++i) CopyByte32(work + 32 * i, arriving + 32 * i, mask[i]);
    }
    static void CopyByte32(uint8_t *w, const uint8_t *a, uint8_t bits) {
        if (bits == 0xFF) return;
        for (size_t part = 0; part < 8 / kPixels; ++part) {
            uint8_t *wp = w + part * kWidth;
            const uint8_t *ap = a + part * kWidth;
            if (bits == 0) {
                Ops::StoreU(wp, Ops::LoadU(ap));
                continue;
            }
            Ops::StoreU(wp, Ops::Choose(Ops::SelectZeroBits(bits, part), Ops::LoadU(ap), Ops::LoadU(wp)));
        }
    }

    // ---- The masks themselves.

    static void MergeMask(uint8_t *mask, uint8_t *revealed, size_t words) {
        const size_t n = words * 4;
        size_t i = 0;
        for (; i + kWidth <= n; i += kWidth) {
            const V m = Ops::LoadU(mask + i), v = Ops::LoadU(revealed + i);
            Ops::StoreU(revealed + i, Ops::And(v, m));
            Ops::StoreU(mask + i, Ops::Or(m, Ops::Not(v)));
        }
        MergeMaskScalar(mask + i, revealed + i, (n - i) / 4);
    }

    static void InvertMask(uint8_t *mask, size_t words) {
        const size_t n = words * 4;
        size_t i = 0;
        for (; i + kWidth <= n; i += kWidth) Ops::StoreU(mask + i, Ops::Not(Ops::LoadU(mask + i)));
        InvertMaskScalar(mask + i, (n - i) / 4);
    }

    // A vector of 255s is not written at all; in place the faded bytes
    // keep their 255s, from another mask the destination's bytes are kept
    // where the source is 255.
    static void Fade(uint8_t *to, const uint8_t *from, size_t n, bool toZero, uint8_t amount) {
        const V sub = Ops::Splat8(toZero ? 0xFF : amount);
        const V full = Ops::Splat8(0xFF);
        const bool inPlace = to == from;
        size_t i = 0;
        for (; i + kWidth <= n; i += kWidth) {
            const V v = Ops::LoadU(from + i);
            const V keep = Ops::Eq8(v, full);
            if (Ops::AllOnes(keep)) continue;
            const V faded = Ops::SubSat8(v, sub);
            Ops::StoreU(to + i, Ops::Choose(keep, inPlace ? v : Ops::LoadU(to + i), faded));
        }
        FadeScalar(to + i, from + i, n - i, toZero, amount);
    }

    // The blends write with ordinary stores even where streaming is
    // allowed, and nothing touches the sources ahead (the processors'
    // own prefetch does better). Measured at 1920 x 1080 (bench_mask,
    // medians of 3, ordinary / streaming stores, a frame): graded blend
    // AVX2 1.57 / 2.09 ms, SSE2 1.91 / 2.21 ms; windowed blend AVX2
    // 2.42 / 2.09 ms, SSE2 2.69 / 3.10 ms. Streaming lost with SSE2 every
    // time and gave AVX2 no steady gain (the windowed blend's edge above
    // reversed in other runs). Results are the same byte for byte.
    static void Fill(TKernelTable &table, bool) {
        table.GradedBlend = GradedBlend;
        table.WindowBlend[0] = WindowBlend<false>;
        table.WindowBlend[1] = WindowBlend<true>;
        table.CopyRange[mp32bit] = CopyRange32;
        table.CopyMask1[mp32bit] = CopyMask1x32;
        table.CopyMask1[mp16bit] = NarrowCopies::CopyMask1x16;
        table.CopyMask1[mp8bit] = NarrowCopies::CopyMask1x8;
        table.CopyRange[mp16bit] = NarrowCopies::CopyRange16;
        table.CopyRange[mp8bit] = NarrowCopies::CopyRange8;
        table.MergeMask = MergeMask;
        table.InvertMask = InvertMask;
        table.Fade = Fade;
    }
};

} // namespace
} // namespace qvt::mask

#endif
