// Mask kernels: compose a frame by letting a mask decide, pixel by pixel,
// whether the work bitmap shows the arriving page, keeps the departing one
// or shows a mix; and keep the masks themselves.
//
// Every buffer is reached from the address one past the end of its top scan
// line (TPixelBuffer::End); strides are whole 32-bit words. Rectangles are
// in page pixels, right and bottom exclusive. A kernel visits its region:
// the update rectangle minus the exclude rectangle (an unchanged core that
// is never touched), rounded to whole mask bytes or words and cut into at
// most four pieces by the region rule below.
//
// Masks: a 1-bit mask has one bit per pixel, most significant bit first,
// 0 = show the arriving pixel, 1 = keep the departing one (a byte of 255
// leaves 8 pixels alone). An 8-bit mask has one byte per pixel; for the
// graded blend and the fades 255 = departing, 0 = arriving.
//
// Mask and image rows hold the same number of pixels (the effects make
// their bitmap widths a multiple of 32 pixels with 1-bit masks, of 8 with
// 8-bit masks on 32-bit pixels), so one pixel counter walks both buffers.
#ifndef QVT_PIXELS_MASKKERNELS_H
#define QVT_PIXELS_MASKKERNELS_H

#include <windows.h>

#include <cstdint>
#include <memory>

#include "pixels/Kernels.h"
#include "pixels/PixFormats.h"

namespace qvt {

// ---- The region rule -------------------------------------------------------

// Rounds the update rectangle outward and the exclude rectangle inward to
// multiples of `granule` columns (tops and bottoms unchanged) and returns
// how the region is walked: 1 = whole rows as one contiguous run (the
// update rectangle spans the width and nothing is excluded; the exclude
// rectangle is then ignored), 2 = one rectangle (nothing excluded),
// 3 = four pieces around the exclude rectangle. With `byteUnits` the widths
// are compared in bytes of a 1-bit mask (pixels / 8). Granules in use: 8
// (pixel kernels, blends, fades), 32 (mask merge), 2 (Roll).
int SplitMaskRegion(int width, int granule, bool byteUnits, RECT &update, RECT &exclude);

// The pieces of a region in one buffer: one for modes 1 and 2, four for
// mode 3 (top band, right strip, left strip, bottom band, in that order).
// Pieces with Total 0 are empty.
struct TMaskGeometry {
    int Count = 0;
    TMaskRun Pieces[4];
};

// The run geometry of the rounded rectangles in a buffer of `stride` bytes
// whose pixels have the size of `pixelFormat` (pf1bit: 1/8 byte, pf4bit:
// 1/2, pf8bit 1, pf15bit/pf16bit 2, pf24bit 3, pf32bit 4).
TMaskGeometry MaskRunGeometry(int mode, int stride, TPixelFormat pixelFormat, const RECT &update,
                              const RECT &exclude);

// ---- 1-bit masks -------------------------------------------------------------

// Hard copy through a 1-bit mask: the arriving pixel goes into the work
// bitmap where the mask bit is 0. pf4bit..pf32bit; other formats are left
// alone. Granule 8, widths in mask bytes.
void CopyThroughMask1(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int width, int pixelStride,
                      int maskStride, TPixelFormat pixelFormat, RECT update, RECT exclude);

// Per 32-bit word of the region (granule 32) of two 1-bit masks of the same
// stride: revealed := revealed and mask; mask := mask or not revealed (the
// revealed word before the update). Afterwards the mask has 0 bits only
// where this frame paints what was not revealed before.
void MergeRevealedMask(uint8_t *mask, uint8_t *revealed, int maskStride, RECT update, RECT exclude);

// Inverts the `wordCount` 32-bit words that end at the mask's end address.
void InvertMask(uint8_t *mask, int wordCount);

// ---- 8-bit masks -------------------------------------------------------------

// Copies the arriving pixel where lo <= mask byte <= hi, over `count` mask
// bytes (the whole image, padding included; a multiple of 4). pf4bit: two
// mask bytes per pixel byte (high nibble first). pf4bit..pf32bit.
void CopyThroughMaskRange(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int count, uint8_t lo,
                          uint8_t hi, TPixelFormat pixelFormat);

// Fades the region of an 8-bit mask: 255 stays, others become v - amount
// (0 when amount >= v), or 0 when `toZero`.
void FadeMask(uint8_t *mask, int maskStride, int width, RECT update, RECT exclude, bool toZero, uint8_t amount);
// The same from `previous` into `mask`; where `previous` is 255 the
// destination byte is not written.
void FadeMaskFrom(uint8_t *mask, const uint8_t *previous, int maskStride, int width, RECT update, RECT exclude,
                  bool toZero, uint8_t amount);

// The graded blend on 32-bit pixels: per byte, with m the pixel's mask byte
// and w = 0 for m = 0, else m + 1:
//   work = arriving + floor((departing - arriving) * w / 256).
// Created once per run by the effect that uses it.
class TGradedBlendRoutine {
public:
    virtual ~TGradedBlendRoutine() = default;
    // One piece: counters from the 8-bit mask geometry, Pos of the pixels
    // from their own 32-bit geometry. Run is a multiple of 8.
    virtual void Run(uint8_t *work, const uint8_t *arriving, const uint8_t *departing, const uint8_t *mask,
                     const TMaskRun &pixels, const TMaskRun &maskRun) const = 0;
};
std::unique_ptr<TGradedBlendRoutine> CreateGradedBlendRoutine();
void BlendThroughMask8(const TGradedBlendRoutine &routine, uint8_t *work, const uint8_t *arriving,
                       const uint8_t *departing, const uint8_t *mask, int width, int maskStride, int pixelStride,
                       RECT update, RECT exclude);

// The windowed blend on 32-bit pixels: z = clamp(m - threshold, 0, window)
// (window a power of two, 4 to 128), weight = z * 256 / window, per byte
//   work = base + floor((weighted - base) * weight / 256).
// A routine made without `addThreshold` subtracts its threshold, one made
// with it adds the threshold's absolute value (saturating at 255).
class TWindowBlendRoutine {
public:
    virtual ~TWindowBlendRoutine() = default;
    virtual void Run(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                     uint8_t threshold, const TMaskRun &pixels, const TMaskRun &maskRun) const = 0;
    virtual int Window() const = 0;
    virtual bool AddsThreshold() const = 0;
};
std::unique_ptr<TWindowBlendRoutine> CreateWindowBlendRoutine(int window, bool addThreshold);
// Runs the subtracting routine for threshold >= 0, the adding one with
// -threshold otherwise, so that z = clamp(m - threshold, 0, window) in both.
void BlendThroughMaskWindow(const TWindowBlendRoutine &subtractRoutine, const TWindowBlendRoutine &addRoutine,
                            uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                            int threshold, int width, int maskStride, int pixelStride, RECT update, RECT exclude);

namespace testing {

// Straight-from-the-formula references for checking the kernels: each
// rounds the rectangles with SplitMaskRegion and then visits the region by
// row and column (whole rows, padding included, in mode 1; the update
// rectangle less the exclude rectangle otherwise), one pixel at a time.
void ReferenceCopyThroughMask1(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int width,
                               int pixelStride, int maskStride, TPixelFormat pixelFormat, RECT update, RECT exclude);
void ReferenceMergeRevealedMask(uint8_t *mask, uint8_t *revealed, int maskStride, RECT update, RECT exclude);
void ReferenceCopyThroughMaskRange(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, int count, uint8_t lo,
                                   uint8_t hi, TPixelFormat pixelFormat);
// FadeMask is this with previous == mask.
void ReferenceFadeMaskFrom(uint8_t *mask, const uint8_t *previous, int maskStride, int width, RECT update,
                           RECT exclude, bool toZero, uint8_t amount);
void ReferenceBlendThroughMask8(uint8_t *work, const uint8_t *arriving, const uint8_t *departing,
                                const uint8_t *mask, int width, int maskStride, int pixelStride, RECT update,
                                RECT exclude);
void ReferenceBlendThroughMaskWindow(uint8_t *work, const uint8_t *weighted, const uint8_t *base,
                                     const uint8_t *mask, int threshold, int window, int width, int maskStride,
                                     int pixelStride, RECT update, RECT exclude);

} // namespace testing

} // namespace qvt

#endif
