// Blend kernels: mix two page images of equal size into a third at a level,
// the arriving page weighted by the level and the departing page by the rest.
//
// Three ways of mixing, chosen per call by BlendBitmaps:
//   - palette formats: a dithered mix through an 8 x 8 on/off pattern, drawn
//     with the graphics calls;
//   - 8-, 24- and 32-bit formats on a processor with the fast path: the
//     byte-wise kernel (BlendWordsMMX), every byte mixed on its own;
//   - otherwise (always for 15- and 16-bit): the integer routine
//     (BlendWordsInteger), two colour channels per 32-bit accumulator.
//
// The arithmetic kernels treat the pixel buffer as one run of bytes from the
// buffer start of a bottom-up DIB (scan line Height - 1), scan-line padding
// included. They report no errors; levels outside the contract are clamped.
#ifndef QVT_PIXELS_BLEND_H
#define QVT_PIXELS_BLEND_H

#include <array>
#include <cstdint>

#include "pixels/PixFormats.h"

namespace qvt {

// Mixes `arriving` and `departing` into `dest` (all three the same size and
// format). With a dither pattern, runs BlendDithered; otherwise `level` is in
// 32nds for pf15bit/pf16bit (callers pass 1..31) and in 256ths for the 8-bit
// channel formats (1..254). `equalPercent` is the share (0..100) of 32-bit
// words that are equal in the two pages; from 10 on, the integer routine
// leaves destination words alone where the two sources agree.
void BlendBitmaps(rtl::TBitmap &dest, rtl::TBitmap &arriving, rtl::TBitmap &departing, rtl::TBitmap *ditherPattern,
                  TPixelFormat pixelFormat, int level, int equalPercent);

// Dithered mix: switches cells 1..level of the monochrome 8 x 8 pattern to
// black, then copies the arriving page into `dest` wherever the pattern cell
// (x mod 8, y mod 8) is black; white cells keep what `dest` showed.
void BlendDithered(rtl::TBitmap &dest, rtl::TBitmap &arriving, rtl::TBitmap &ditherPattern, int level);

// Sets cell `cellNumber` (1..64, in switching order) of the pattern black.
// Other numbers do nothing.
void SetDitherCell(rtl::TBitmap &ditherPattern, int cellNumber);

// Position of a pattern cell: column x from the left, row y from the top.
struct DitherCell {
    uint8_t x, y;
};
// The cells in switching order: entry n - 1 is the cell that turns to the
// arriving page at level n.
extern const std::array<DitherCell, 64> kDitherOrder;

// Byte-wise kernel over `byteCount` bytes: each byte becomes
// B + floor((A - B) * level / 256), level 0..255. Whole 8-byte units and a
// trailing 32-bit word are mixed; a trailing 1..3 bytes are left alone.
// Writes around the cache (non-temporal stores and a store fence) when
// ExtendedMMXAvailable is set.
void BlendWordsMMX(void *dest, const void *arriving, const void *departing, int level, int byteCount);

// Integer routine over the byteCount / 4 whole 32-bit words. For the 8-bit
// channel formats the level is in 256ths, for pf15bit/pf16bit in 32nds.
// Above half way the sources exchange roles so that the multiplier stays at
// most half: for 8-bit channels the result is then
// A + floor((D - A) * (255 - level) / 256), for 15/16-bit
// A + floor((D - A) * (32 - level) / 32); at or below half way it is
// D + floor((A - D) * level / scale). With equalPercent >= 10, words where
// the two sources are equal are not written.
void BlendWordsInteger(void *dest, const void *arriving, const void *departing, TPixelFormat pixelFormat, int level,
                       int byteCount, int equalPercent);

namespace testing {

// Straight-from-the-formula references, for checking the kernels.
// Per byte: B + floor((A - B) * level / 256) over byteCount & ~3 bytes.
void ReferenceBlendBytes(void *dest, const void *arriving, const void *departing, int level, int byteCount);
// Per colour field, with the exchange rule and skip-equal of the integer
// routine (bits outside the colour fields of 5-5-5 come out 0).
void ReferenceBlendFields(void *dest, const void *arriving, const void *departing, TPixelFormat pixelFormat, int level,
                          int byteCount, int equalPercent);

} // namespace testing

} // namespace qvt

#endif
