// The mask kernels in plain C++ (the table's first entries, kept where no
// vector variant exists), and the straight-from-the-formula references the
// kernels are checked against.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixels/MaskKernels.h"
#include "pixels/MaskKernelsScalar.h"

namespace qvt {

void FillPlainMaskKernels(TKernelTable &table) {
    using namespace mask;
    table.CopyMask1[mp4bit] = CopyMask1Scalar<mp4bit>;
    table.CopyMask1[mp8bit] = CopyMask1Scalar<mp8bit>;
    table.CopyMask1[mp16bit] = CopyMask1Scalar<mp16bit>;
    table.CopyMask1[mp24bit] = CopyMask1Scalar<mp24bit>;
    table.CopyMask1[mp32bit] = CopyMask1Scalar<mp32bit>;
    table.CopyRange[mp4bit] = CopyRangeScalar<mp4bit>;
    table.CopyRange[mp8bit] = CopyRangeScalar<mp8bit>;
    table.CopyRange[mp16bit] = CopyRangeScalar<mp16bit>;
    table.CopyRange[mp24bit] = CopyRangeScalar<mp24bit>;
    table.CopyRange[mp32bit] = CopyRangeScalar<mp32bit>;
    table.MergeMask = MergeMaskScalar;
    table.InvertMask = InvertMaskScalar;
    table.Fade = FadeScalar;
    table.GradedBlend = GradedBlendScalar;
    table.WindowBlend[0] = WindowBlendScalar<false>;
    table.WindowBlend[1] = WindowBlendScalar<true>;
}

namespace testing {
namespace {

// Rounds toward minus infinity (divisor positive).
constexpr int FloorDiv(int value, int divisor) {
    const int q = value / divisor;
    return (value % divisor != 0 && value < 0) ? q - 1 : q;
}

// base + floor((weighted - base) * weight / 256) for each of the 4 bytes.
void MixPixelBytes(uint8_t *out, const uint8_t *weighted, const uint8_t *base, int weight) {
    for (int c = 0; c < 4; ++c)
        out[c] = static_cast<uint8_t>(base[c] + FloorDiv((weighted[c] - base[c]) * weight, 256));
}

// Calls f(x, y) for each pixel of the rounded region: whole rows of
// `rowPixels` in mode 1, the update rectangle less the exclude rectangle
// otherwise.
template <class F> void forEachRegionPixel(int mode, int rowPixels, const RECT &u, const RECT &x, F &&f) {
    for (int y = u.top; y < u.bottom; ++y) {
        if (mode == 1) {
            for (int c = 0; c < rowPixels; ++c) f(c, y);
            continue;
        }
        for (int c = u.left; c < u.right; ++c) {
            if (mode == 3 && y >= x.top && y < x.bottom && c >= x.left && c < x.right) continue;
            f(c, y);
        }
    }
}

uint8_t *at(uint8_t *end, int stride, int y, ptrdiff_t offset) {
    return end - static_cast<ptrdiff_t>(y + 1) * stride + offset;
}
const uint8_t *at(const uint8_t *end, int stride, int y, ptrdiff_t offset) {
    return end - static_cast<ptrdiff_t>(y + 1) * stride + offset;
}

int pixelBytes(TPixelFormat f) {
    switch (f) {
    case pf8bit: return 1;
    case pf15bit:
    case pf16bit: return 2;
    case pf24bit: return 3;
    case pf32bit: return 4;
    default: return 0;
    }
}

// Takes the arriving page's pixel `x` of a row into the work row.
void takePixel(uint8_t *workRow, const uint8_t *arrivingRow, TPixelFormat f, ptrdiff_t x) {
    if (f == pf4bit) {
        const uint8_t keep = (x & 1) ? 0xF0 : 0x0F;
        workRow[x / 2] = static_cast<uint8_t>((workRow[x / 2] & keep) | (arrivingRow[x / 2] & ~keep));
        return;
    }
    const int b = pixelBytes(f);
    std::memcpy(workRow + x * b, arrivingRow + x * b, static_cast<size_t>(b));
}

} // namespace

void ReferenceCopyThroughMask1(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int width,
                               int pixelStride, int maskStride, TPixelFormat pixelFormat, RECT update, RECT exclude) {
    if (pixelFormat != pf4bit && pixelBytes(pixelFormat) == 0) return;
    const int mode = SplitMaskRegion(width, 8, true, update, exclude);
    forEachRegionPixel(mode, maskStride * 8, update, exclude, [&](int x, int y) {
        const uint8_t bits = *at(mask, maskStride, y, x / 8);
        if (bits & (0x80 >> (x % 8))) return;
        takePixel(at(work, pixelStride, y, 0), at(arriving, pixelStride, y, 0), pixelFormat, x);
    });
}

void ReferenceMergeRevealedMask(uint8_t *mask, uint8_t *revealed, int maskStride, RECT update, RECT exclude) {
    const int mode = SplitMaskRegion(maskStride * 8, 32, true, update, exclude);
    forEachRegionPixel(mode, maskStride * 8, update, exclude, [&](int x, int y) {
        uint8_t &m = *at(mask, maskStride, y, x / 8);
        uint8_t &v = *at(revealed, maskStride, y, x / 8);
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        const bool mb = m & bit, vb = v & bit;
        if (!(vb && mb)) v = static_cast<uint8_t>(v & ~bit);
        if (mb || !vb) m = static_cast<uint8_t>(m | bit);
    });
}

void ReferenceCopyThroughMaskRange(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int count, uint8_t lo,
                                   uint8_t hi, TPixelFormat pixelFormat) {
    if ((pixelFormat != pf4bit && pixelBytes(pixelFormat) == 0) || count < 4) return;
    const int n = count & ~3;
    const ptrdiff_t pixelBytesTotal = pixelFormat == pf4bit ? n / 2 : ptrdiff_t{n} * pixelBytes(pixelFormat);
    uint8_t *w = work - pixelBytesTotal;
    const uint8_t *a = arriving - pixelBytesTotal, *m = mask - n;
    for (int i = 0; i < n; ++i)
        if (lo <= m[i] && m[i] <= hi) takePixel(w, a, pixelFormat, i);
}

void ReferenceFadeMaskFrom(uint8_t *mask, const uint8_t *previous, int maskStride, int width, RECT update,
                           RECT exclude, bool toZero, uint8_t amount) {
    const int mode = SplitMaskRegion(width, 8, false, update, exclude);
    forEachRegionPixel(mode, maskStride, update, exclude, [&](int x, int y) {
        const int v = *at(previous, maskStride, y, x);
        if (v == 255) return;
        *at(mask, maskStride, y, x) = static_cast<uint8_t>(toZero ? 0 : std::max(v - amount, 0));
    });
}

void ReferenceBlendThroughMask8(uint8_t *work, const uint8_t *arriving, const uint8_t *departing,
                                const uint8_t *mask, int width, int maskStride, int pixelStride, RECT update,
                                RECT exclude) {
    const int mode = SplitMaskRegion(width, 8, false, update, exclude);
    forEachRegionPixel(mode, maskStride, update, exclude, [&](int x, int y) {
        const int m = *at(mask, maskStride, y, x);
        const int weight = m == 0 ? 0 : m + 1;
        MixPixelBytes(at(work, pixelStride, y, 4 * x), at(departing, pixelStride, y, 4 * x),
                      at(arriving, pixelStride, y, 4 * x), weight);
    });
}

void ReferenceBlendThroughMaskWindow(uint8_t *work, const uint8_t *weighted, const uint8_t *base,
                                     const uint8_t *mask, int threshold, int window, int width, int maskStride,
                                     int pixelStride, RECT update, RECT exclude) {
    const int mode = SplitMaskRegion(width, 8, false, update, exclude);
    forEachRegionPixel(mode, maskStride, update, exclude, [&](int x, int y) {
        const int m = *at(mask, maskStride, y, x);
        const int z = std::clamp(m - threshold, 0, window);
        MixPixelBytes(at(work, pixelStride, y, 4 * x), at(weighted, pixelStride, y, 4 * x),
                      at(base, pixelStride, y, 4 * x), z * 256 / window);
    });
}

} // namespace testing
} // namespace qvt
