// The region rule and the walk of the mask kernels: every kernel rounds its
// rectangles, takes the run geometry of each buffer and hands the table's
// entry one contiguous stretch at a time (a row of a piece, or all rows at
// once when the region spans whole rows).
#include "pixels/MaskKernels.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace qvt {

namespace {

// Bytes per pixel as the region arithmetic uses them; 0 for formats
// without a fixed pixel size.
float bytesPerPixel(TPixelFormat pixelFormat) {
    switch (pixelFormat) {
    case pf1bit: return 0.125f;
    case pf4bit: return 0.5f;
    case pf8bit: return 1.0f;
    case pf15bit:
    case pf16bit: return 2.0f;
    case pf24bit: return 3.0f;
    case pf32bit: return 4.0f;
    default: return 0.0f;
    }
}

// Round to the nearest integer, ties to even.
int roundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

bool maskPixelSize(TPixelFormat pixelFormat, TMaskPixelSize &size) {
    switch (pixelFormat) {
    case pf4bit: size = mp4bit; return true;
    case pf8bit: size = mp8bit; return true;
    case pf15bit:
    case pf16bit: size = mp16bit; return true;
    case pf24bit: size = mp24bit; return true;
    case pf32bit: size = mp32bit; return true;
    default: return false;
    }
}

// Byte offset of pixel `counter` (a pixel count, negative from a piece's
// end) for a pixel size.
ptrdiff_t pixelBytes(TMaskPixelSize size, ptrdiff_t counter) {
    switch (size) {
    case mp4bit: return counter / 2;
    case mp8bit: return counter;
    case mp16bit: return counter * 2;
    case mp24bit: return counter * 3;
    case mp32bit: return counter * 4;
    }
    return 0;
}

// Walks the counter of one piece from -Total up to 0, Run pixels at a time
// with Gap pixels between rows, and calls f(counter, pixels) for each
// stretch. A piece whose counters do not describe a walk (empty, or rows
// that overlap) is not walked.
template <class F> void walkPiece(const TMaskRun &run, F &&f) {
    if (run.Total <= 0 || run.Run <= 0 || run.Gap < 0) return;
    const ptrdiff_t step = static_cast<ptrdiff_t>(run.Run) + run.Gap;
    for (ptrdiff_t i = -static_cast<ptrdiff_t>(run.Total); i < 0; i += step)
        f(i, static_cast<size_t>(std::min<ptrdiff_t>(run.Run, -i)));
}

constexpr int roundDown(int v, int g) { return g * (v / g); }
constexpr int roundUp(int v, int g) { return g * ((v + g - 1) / g); }

} // namespace

// ---- The region rule ---------------------------------------------------------

int SplitMaskRegion(int width, int granule, bool byteUnits, RECT &update, RECT &exclude) {
    const int g = granule > 0 ? granule : 1;
    width = std::max(width, 0);
    // The update rectangle is kept to the image's columns and to rows from
    // 0 on, so that no piece reaches past a row or past the top scan line
    // (the buffers are reached from their end).
    update.left = roundDown(std::max<int>(update.left, 0), g);
    update.top = std::max<int>(update.top, 0);
    update.right = std::min(roundUp(std::max<int>(update.right, 0), g), roundUp(width, g));
    exclude.left = roundUp(std::max<int>(exclude.left, 0), g);
    exclude.right = roundDown(std::max<int>(exclude.right, 0), g);
    // The exclude rectangle only ever removes part of the update rectangle.
    exclude.left = std::max(exclude.left, update.left);
    exclude.right = std::min(exclude.right, update.right);
    exclude.top = std::max(exclude.top, update.top);
    exclude.bottom = std::min(exclude.bottom, update.bottom);

    int ow = update.right - update.left;
    int iw = exclude.right - exclude.left;
    int w = width;
    if (byteUnits) ow /= 8, iw /= 8, w /= 8;
    // An exclude rectangle without width or height excludes nothing.
    const bool excludes = iw > 0 && exclude.bottom > exclude.top;
    if (!excludes && w - ow <= 0) return 1;
    if (!excludes) return 2;
    return 3;
}

TMaskGeometry MaskRunGeometry(int mode, int stride, TPixelFormat pixelFormat, const RECT &update,
                              const RECT &exclude) {
    TMaskGeometry g;
    const double b = bytesPerPixel(pixelFormat);
    if (b == 0 || stride <= 0) return g;
    const int s = stride;
    const int rowPixels = roundEven(s / b);
    // The piece of rows [top, bottom) and columns [left, right), ending at
    // its top row's column `right`.
    auto piece = [&](int top, int bottom, int left, int right) {
        TMaskRun r;
        r.Pos = s - roundEven(right * b) + top * s;
        r.Run = right - left;
        r.Gap = rowPixels - r.Run;
        r.Total = (bottom - top - 1) * rowPixels + r.Run;
        if (r.Run < 1 || bottom <= top || r.Total < 0) r.Total = 0;
        return r;
    };
    if (mode == 1) {
        g.Count = 1;
        TMaskRun &r = g.Pieces[0];
        r.Pos = update.top * s;
        r.Gap = 0;
        r.Total = r.Run = std::max(rowPixels * (update.bottom - update.top), 0);
    } else if (mode == 2) {
        g.Count = 1;
        g.Pieces[0] = piece(update.top, update.bottom, update.left, update.right);
    } else if (mode == 3) {
        g.Count = 4;
        g.Pieces[0] = piece(update.top, exclude.top, update.left, update.right);
        g.Pieces[1] = piece(exclude.top, exclude.bottom, exclude.right, update.right);
        g.Pieces[2] = piece(exclude.top, exclude.bottom, update.left, exclude.left);
        g.Pieces[3] = piece(exclude.bottom, update.bottom, update.left, update.right);
    }
    return g;
}

// ---- 1-bit masks ---------------------------------------------------------------

void CopyThroughMask1(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int width, int pixelStride,
                      int maskStride, TPixelFormat pixelFormat, RECT update, RECT exclude) {
    TMaskPixelSize size;
    if (!maskPixelSize(pixelFormat, size)) return;
    const int mode = SplitMaskRegion(width, 8, true, update, exclude);
    const TMaskGeometry gm = MaskRunGeometry(mode, maskStride, pf1bit, update, exclude);
    const TMaskGeometry gp = MaskRunGeometry(mode, pixelStride, pixelFormat, update, exclude);
    if (gp.Count != gm.Count) return;
    const TKernelTable::CopyMask1Fn copy = Kernels().CopyMask1[size];
    for (int k = 0; k < gm.Count; ++k) {
        uint8_t *w = work - gp.Pieces[k].Pos;
        const uint8_t *a = arriving - gp.Pieces[k].Pos;
        const uint8_t *m = mask - gm.Pieces[k].Pos;
        walkPiece(gm.Pieces[k], [&](ptrdiff_t i, size_t n) {
            const ptrdiff_t at = pixelBytes(size, i);
            copy(w + at, a + at, m + i / 8, n / 8);
        });
    }
}

void MergeRevealedMask(uint8_t *mask, uint8_t *revealed, int maskStride, RECT update, RECT exclude) {
    const int mode = SplitMaskRegion(maskStride * 8, 32, true, update, exclude);
    const TMaskGeometry gm = MaskRunGeometry(mode, maskStride, pf1bit, update, exclude);
    const TKernelTable::MergeMaskFn merge = Kernels().MergeMask;
    for (int k = 0; k < gm.Count; ++k) {
        uint8_t *m = mask - gm.Pieces[k].Pos;
        uint8_t *v = revealed - gm.Pieces[k].Pos;
        walkPiece(gm.Pieces[k], [&](ptrdiff_t i, size_t n) { merge(m + i / 8, v + i / 8, n / 32); });
    }
}

void InvertMask(uint8_t *mask, int wordCount) {
    if (wordCount <= 0) return;
    Kernels().InvertMask(mask - 4 * static_cast<ptrdiff_t>(wordCount), static_cast<size_t>(wordCount));
}

// ---- 8-bit masks -----------------------------------------------------------------

void CopyThroughMaskRange(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int count, uint8_t lo,
                          uint8_t hi, TPixelFormat pixelFormat) {
    TMaskPixelSize size;
    if (!maskPixelSize(pixelFormat, size) || count < 4) return;
    // Four mask bytes a step: a trailing 1 to 3 bytes are not visited.
    const ptrdiff_t n = count & ~3;
    const ptrdiff_t at = pixelBytes(size, -n);
    Kernels().CopyRange[size](work + at, arriving + at, mask - n, static_cast<size_t>(n), lo, hi);
}

void FadeMask(uint8_t *mask, int maskStride, int width, RECT update, RECT exclude, bool toZero, uint8_t amount) {
    FadeMaskFrom(mask, mask, maskStride, width, update, exclude, toZero, amount);
}

void FadeMaskFrom(uint8_t *mask, const uint8_t *previous, int maskStride, int width, RECT update, RECT exclude,
                  bool toZero, uint8_t amount) {
    const int mode = SplitMaskRegion(width, 8, false, update, exclude);
    const TMaskGeometry gm = MaskRunGeometry(mode, maskStride, pf8bit, update, exclude);
    const TKernelTable::FadeFn fade = Kernels().Fade;
    for (int k = 0; k < gm.Count; ++k) {
        uint8_t *to = mask - gm.Pieces[k].Pos;
        const uint8_t *from = previous - gm.Pieces[k].Pos;
        walkPiece(gm.Pieces[k], [&](ptrdiff_t i, size_t n) { fade(to + i, from + i, n, toZero, amount); });
    }
}

// ---- The blends through 8-bit masks ----------------------------------------------

namespace {

class GradedBlendRoutine final : public TGradedBlendRoutine {
public:
    void Run(uint8_t *work, const uint8_t *arriving, const uint8_t *departing, const uint8_t *mask,
             const TMaskRun &pixels, const TMaskRun &maskRun) const override {
        const TKernelTable::GradedBlendFn blend = Kernels().GradedBlend;
        uint8_t *w = work - pixels.Pos;
        const uint8_t *a = arriving - pixels.Pos, *d = departing - pixels.Pos, *m = mask - maskRun.Pos;
        walkPiece(maskRun, [&](ptrdiff_t i, size_t n) { blend(w + 4 * i, a + 4 * i, d + 4 * i, m + i, n); });
    }
};

class WindowBlendRoutine final : public TWindowBlendRoutine {
public:
    WindowBlendRoutine(unsigned shift, bool addThreshold) : shift_(shift), add_(addThreshold) {}
    void Run(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask, uint8_t threshold,
             const TMaskRun &pixels, const TMaskRun &maskRun) const override {
        const TKernelTable::WindowBlendFn blend = Kernels().WindowBlend[add_ ? 1 : 0];
        uint8_t *w = work - pixels.Pos;
        const uint8_t *h = weighted - pixels.Pos, *b = base - pixels.Pos, *m = mask - maskRun.Pos;
        walkPiece(maskRun, [&](ptrdiff_t i, size_t n) {
            blend(w + 4 * i, h + 4 * i, b + 4 * i, m + i, n, threshold, shift_);
        });
    }
    int Window() const override { return 1 << shift_; }
    bool AddsThreshold() const override { return add_; }

private:
    unsigned shift_;
    bool add_;
};

// Runs `routine` over each non-empty piece of the region of a 32-bit image
// with an 8-bit mask.
template <class F>
void forEachBlendPiece(int width, int maskStride, int pixelStride, RECT update, RECT exclude, F &&run) {
    const int mode = SplitMaskRegion(width, 8, false, update, exclude);
    const TMaskGeometry gm = MaskRunGeometry(mode, maskStride, pf8bit, update, exclude);
    const TMaskGeometry gp = MaskRunGeometry(mode, pixelStride, pf32bit, update, exclude);
    if (gp.Count != gm.Count) return;
    for (int k = 0; k < gm.Count; ++k)
        if (gm.Pieces[k].Total > 0) run(gp.Pieces[k], gm.Pieces[k]);
}

} // namespace

std::unique_ptr<TGradedBlendRoutine> CreateGradedBlendRoutine() { return std::make_unique<GradedBlendRoutine>(); }

void BlendThroughMask8(const TGradedBlendRoutine &routine, uint8_t *work, const uint8_t *arriving,
                       const uint8_t *departing, const uint8_t *mask, int width, int maskStride, int pixelStride,
                       RECT update, RECT exclude) {
    forEachBlendPiece(width, maskStride, pixelStride, update, exclude,
                      [&](const TMaskRun &pixels, const TMaskRun &maskRun) {
                          routine.Run(work, arriving, departing, mask, pixels, maskRun);
                      });
}

// Windows outside 4..128 are taken to the nearest end of that range, and
// one between two powers of two to the lower of them.
std::unique_ptr<TWindowBlendRoutine> CreateWindowBlendRoutine(int window, bool addThreshold) {
    unsigned shift = 2;
    while (shift < 7 && (2 << shift) <= window) ++shift;
    return std::make_unique<WindowBlendRoutine>(shift, addThreshold);
}

void BlendThroughMaskWindow(const TWindowBlendRoutine &subtractRoutine, const TWindowBlendRoutine &addRoutine,
                            uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                            int threshold, int width, int maskStride, int pixelStride, RECT update, RECT exclude) {
    const TWindowBlendRoutine &routine = threshold < 0 ? addRoutine : subtractRoutine;
    // Beyond 255 either way every mask byte lands on the same end of the
    // window, so the threshold is clamped to a byte.
    const auto t = static_cast<uint8_t>(std::min<long long>(std::llabs(threshold), 255));
    forEachBlendPiece(width, maskStride, pixelStride, update, exclude,
                      [&](const TMaskRun &pixels, const TMaskRun &maskRun) {
                          routine.Run(work, weighted, base, mask, t, pixels, maskRun);
                      });
}

} // namespace qvt
