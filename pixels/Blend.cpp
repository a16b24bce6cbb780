// Blend kernels: the dispatch, the dithered mix and the entries of the two
// arithmetic kernels, which run the active kernel table's variants.
#include "pixels/Blend.h"

#include <cstddef>
#include <cstdint>

#include "pixels/Kernels.h"

namespace qvt {

// Cell n (1-based) is entry n - 1. An ordered-dither sequence: each group of
// four cells fills the largest gaps left by the cells before it, so every
// level shows an even speckle of the arriving page.
// clang-format off
const std::array<DitherCell, 64> kDitherOrder = {{
    {4, 4}, {0, 0}, {4, 0}, {0, 4}, {6, 6}, {2, 2}, {6, 2}, {2, 6},
    {6, 4}, {2, 0}, {6, 0}, {2, 4}, {4, 6}, {0, 2}, {4, 2}, {0, 6},
    {5, 7}, {1, 3}, {5, 3}, {1, 7}, {7, 5}, {3, 1}, {7, 1}, {3, 5},
    {7, 7}, {3, 3}, {7, 3}, {3, 7}, {5, 5}, {1, 1}, {5, 1}, {1, 5},
    {5, 4}, {1, 0}, {5, 0}, {1, 4}, {7, 6}, {3, 2}, {7, 2}, {3, 6},
    {7, 4}, {3, 0}, {7, 0}, {3, 4}, {5, 6}, {1, 2}, {5, 2}, {1, 6},
    {6, 7}, {2, 3}, {6, 3}, {2, 7}, {4, 5}, {0, 1}, {4, 1}, {0, 5},
    {4, 7}, {0, 3}, {4, 3}, {0, 7}, {6, 5}, {2, 1}, {6, 1}, {2, 5},
}};
// clang-format on

namespace {

// P ? D : S: the source where the brush bit is 0 (black), the destination
// where it is 1 (white).
constexpr DWORD kSourceWhereBrushIsBlack = 0x00AC0744;

// The largest piece handed to a kernel at once (its byte count is an int): a
// multiple of 8, so that splitting a very large picture changes nothing in
// the result.
constexpr int64_t kMaxPiece = int64_t{1} << 30;

constexpr int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// --- Dithered mix --------------------------------------------------------------

// Puts the destination canvas's brush and copy mode back on every path.
class DitherBrush {
public:
    DitherBrush(rtl::TCanvas &canvas, rtl::TBitmap &pattern) : canvas_(canvas), copyMode_(canvas.CopyMode()) {
        canvas_.Brush().SetBitmap(&pattern);
        canvas_.SetCopyMode(kSourceWhereBrushIsBlack);
    }
    ~DitherBrush() {
        canvas_.SetCopyMode(copyMode_);
        canvas_.Brush().SetBitmap(nullptr);
    }
    DitherBrush(const DitherBrush &) = delete;
    DitherBrush &operator=(const DitherBrush &) = delete;

private:
    rtl::TCanvas &canvas_;
    DWORD copyMode_;
};

} // namespace

// --- Kernels ---------------------------------------------------------------------

void BlendWordsMMX(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
    Kernels().BlendBytes(dest, arriving, departing, level, byteCount);
}

void BlendWordsInteger(void *dest, const void *arriving, const void *departing, TPixelFormat pixelFormat, int level,
                       int byteCount, int equalPercent) {
    if (byteCount < 4) return;
    const TChannelLayout layout = pixelFormat == pf15bit ? cl555 : pixelFormat == pf16bit ? cl565 : clByteChannels;
    // The level in 256ths: 15/16-bit callers count in 32nds.
    const int L = layout == clByteChannels ? Clamp(level, 0, 255) : Clamp(level, 0, 32) * 8;
    // Past half way the sources change roles and the multiplier becomes the
    // complement, so that it never exceeds 128.
    const bool exchanged = L > 128;
    const int k = !exchanged ? L : layout == clByteChannels ? 255 - L : 256 - L;
    // k / 256 as m / 2^s with m odd. A multiplier of 0 (level 0, or the full
    // level exchanged) keeps the base as it is.
    uint32_t m = static_cast<uint32_t>(k);
    unsigned s = 8;
    while (m != 0 && (m & 1) == 0) {
        m >>= 1;
        --s;
    }
    const auto *weighted = static_cast<const uint8_t *>(exchanged ? departing : arriving);
    const auto *base = static_cast<const uint8_t *>(exchanged ? arriving : departing);
    Kernels().MixWords[layout][equalPercent >= 10](static_cast<uint8_t *>(dest), weighted, base,
                                                   static_cast<size_t>(byteCount) / 4, m, s);
}

void SetDitherCell(rtl::TBitmap &ditherPattern, int cellNumber) {
    if (cellNumber < 1 || cellNumber > static_cast<int>(kDitherOrder.size())) return;
    const DitherCell cell = kDitherOrder[static_cast<size_t>(cellNumber - 1)];
    ditherPattern.Canvas().SetPixels(cell.x, cell.y, rtl::clBlack);
}

void BlendDithered(rtl::TBitmap &dest, rtl::TBitmap &arriving, rtl::TBitmap &ditherPattern, int level) {
    // Cells switched by earlier frames are set again: the pattern only gains
    // black cells as the level rises.
    for (int n = 1; n <= level && n <= static_cast<int>(kDitherOrder.size()); ++n) SetDitherCell(ditherPattern, n);
    if (dest.Empty()) return;
    rtl::TCanvas &canvas = dest.Canvas();
    // The brush origin is the destination's (0, 0), so pixel (x, y) takes
    // the cell (x mod 8, y mod 8).
    DitherBrush brush(canvas, ditherPattern);
    // CopyRect of equal rectangles is one BitBlt through the copy mode, made
    // after the canvas has selected its brush (built now from the pattern as
    // it stands) into the device context.
    const RECT all{0, 0, dest.Width(), dest.Height()};
    canvas.CopyRect(all, arriving.Canvas(), all);
}

void BlendBitmaps(rtl::TBitmap &dest, rtl::TBitmap &arriving, rtl::TBitmap &departing, rtl::TBitmap *ditherPattern,
                  TPixelFormat pixelFormat, int level, int equalPercent) {
    if (ditherPattern) {
        BlendDithered(dest, arriving, *ditherPattern, level);
        return;
    }
    const int64_t byteCount = int64_t{BytesPerScanLine(arriving, pixelFormat, 32)} * dest.Height();
    if (byteCount <= 0) return;
    // Bottom-up DIBs: the buffer starts at the last scan line.
    auto *d = static_cast<uint8_t *>(dest.ScanLine(dest.Height() - 1));
    const auto *a = static_cast<const uint8_t *>(arriving.ScanLine(arriving.Height() - 1));
    const auto *b = static_cast<const uint8_t *>(departing.ScanLine(departing.Height() - 1));
    const bool integerRoutine = pixelFormat == pf15bit || pixelFormat == pf16bit || !MMXAvailable;
    for (int64_t done = 0; done < byteCount; done += kMaxPiece) {
        const int piece = static_cast<int>(byteCount - done < kMaxPiece ? byteCount - done : kMaxPiece);
        if (integerRoutine)
            BlendWordsInteger(d + done, a + done, b + done, pixelFormat, level, piece, equalPercent);
        else
            BlendWordsMMX(d + done, a + done, b + done, level, piece);
    }
}

} // namespace qvt
