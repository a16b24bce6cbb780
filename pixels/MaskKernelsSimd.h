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

#include "pixels/MaskKernelsScalar.h"

namespace qvt::mask {
namespace {

inline bool IsAligned(const void *p, size_t alignment) {
    return (reinterpret_cast<uintptr_t>(p) & (alignment - 1)) == 0;
}

template <class Ops> struct VectorMask {
    using V = typename Ops::V;
    static constexpr size_t kWidth = Ops::kWidth;
    static constexpr size_t kPixels = Ops::kPixels;

    // Pixels to go through the plain stretch before the destination is
    // aligned for streaming stores: none when it can never be (not on a
    // pixel boundary), or when streaming is off.
    template <bool Stream> static size_t HeadPixels(const uint8_t *d, size_t pixels) {
        if (!Stream || !IsAligned(d, 4)) return 0;
        const size_t gap = ((kWidth - (reinterpret_cast<uintptr_t>(d) & (kWidth - 1))) & (kWidth - 1)) / 4;
        return gap < pixels ? gap : pixels;
    }

    template <bool Stream> static void Put(uint8_t *d, V v) {
        if constexpr (Stream)
            Ops::Stream(d, v);
        else
            Ops::StoreU(d, v);
    }

    // ---- The blends: every pixel of the stretch is written.

    template <bool Stream>
    static void GradedBlend(uint8_t *work, const uint8_t *arriving, const uint8_t *departing, const uint8_t *mask,
                            size_t pixels) {
        const size_t head = HeadPixels<Stream>(work, pixels);
        GradedBlendScalar(work, arriving, departing, mask, head);
        size_t i = head;
        const bool aligned = IsAligned(work + 4 * i, kWidth);
        for (; i + kPixels <= pixels; i += kPixels) {
            V lo, hi;
            Ops::GradedFactors(mask + i, lo, hi);
            const V r = Ops::MixBytes2(Ops::LoadU(departing + 4 * i), Ops::LoadU(arriving + 4 * i), lo, hi);
            if (Stream && aligned)
                Ops::Stream(work + 4 * i, r);
            else
                Ops::StoreU(work + 4 * i, r);
        }
        GradedBlendScalar(work + 4 * i, arriving + 4 * i, departing + 4 * i, mask + i, pixels - i);
        if constexpr (Stream) Ops::Fence();
    }

    template <bool Add, bool Stream>
    static void WindowBlend(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                            size_t pixels, uint8_t threshold, unsigned windowShift) {
        const size_t head = HeadPixels<Stream>(work, pixels);
        WindowBlendScalar<Add>(work, weighted, base, mask, head, threshold, windowShift);
        size_t i = head;
        const bool aligned = IsAligned(work + 4 * i, kWidth);
        const auto t = Ops::MaskSplat8(threshold);
        const auto window = Ops::MaskSplat8(static_cast<uint8_t>(1u << windowShift));
        const auto up = Ops::Count(8 - windowShift);
        for (; i + kPixels <= pixels; i += kPixels) {
            V lo, hi;
            Ops::template WindowFactors<Add>(mask + i, t, window, up, lo, hi);
            const V r = Ops::MixBytes2(Ops::LoadU(weighted + 4 * i), Ops::LoadU(base + 4 * i), lo, hi);
            if (Stream && aligned)
                Ops::Stream(work + 4 * i, r);
            else
                Ops::StoreU(work + 4 * i, r);
        }
        WindowBlendScalar<Add>(work + 4 * i, weighted + 4 * i, base + 4 * i, mask + i, pixels - i, threshold,
                               windowShift);
        if constexpr (Stream) Ops::Fence();
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

    static void Fill(TKernelTable &table, bool streaming) {
        table.GradedBlend = streaming ? GradedBlend<true> : GradedBlend<false>;
        table.WindowBlend[0] = streaming ? WindowBlend<false, true> : WindowBlend<false, false>;
        table.WindowBlend[1] = streaming ? WindowBlend<true, true> : WindowBlend<true, false>;
        table.CopyRange[mp32bit] = CopyRange32;
        table.CopyMask1[mp32bit] = CopyMask1x32;
        table.MergeMask = MergeMask;
        table.InvertMask = InvertMask;
        table.Fade = Fade;
    }
};

} // namespace
} // namespace qvt::mask

#endif
