// Pixel services: the display's colour depth and pixel format, bitmap and
// palette helpers, and the processor features that decide whether the fast
// kernels may be used. Everything is module-wide state computed once at
// module start-up and re-read only on an explicit refresh.
#ifndef QVT_PIXELS_PIXFORMATS_H
#define QVT_PIXELS_PIXFORMATS_H

#include <windows.h>

#include <cstdint>

#include "qvt/rtl/graphics.h"

namespace qvt {

using rtl::TPixelFormat;
using rtl::pfDevice;
using rtl::pf1bit;
using rtl::pf4bit;
using rtl::pf8bit;
using rtl::pf15bit;
using rtl::pf16bit;
using rtl::pf24bit;
using rtl::pf32bit;
using rtl::pfCustom;

// "The fast path may be used" and "streaming stores may be used". Read by the
// kernels and effects as a pair; written at start-up.
extern bool MMXAvailable;
extern bool ExtendedMMXAvailable;

// A copy of the screen's system palette (no entries on a display without
// one); the caller owns it.
HPALETTE CreateSystemPaletteCopy();
// A 256-entry grey ramp; the caller owns it.
HPALETTE CreateGrayscalePalette();
// Prepares a bitmap: format, monochrome for pf1bit, the palette for pf8bit
// (a copy of the system palette when none is given; the bitmap owns it),
// then width and height.
void SetupBitmap(rtl::TBitmap &bitmap, HPALETTE palette, int width, TPixelFormat pixelFormat, int height);

int GetDeviceColorDepth(bool refresh);
TPixelFormat GetDevicePixelFormat(bool refresh);
// Tells a 5-6-5 display from a 5-5-5 one by reading back a green ramp.
TPixelFormat ProbeHighColorFormat();
// The verdict of the probe for a number of distinct green levels read back.
TPixelFormat HighColorFormatFromGreenLevels(int levels);
// The pixel format of a display depth other than 16 (unknown depths give
// pf24bit).
TPixelFormat PixelFormatOfDepth(int depth);
bool IsPaletteDisplay(bool refresh);
bool IsTrueColorDisplay(bool refresh);

int BitsPerPixel(TPixelFormat pixelFormat);
// Length of one scan line of the bitmap in the format, rounded up to
// `alignment` bits (a power of two); 0 for pfDevice and pfCustom.
int BytesPerScanLine(const rtl::TBitmap &bitmap, TPixelFormat pixelFormat, int alignment);

// Processor feature word (see the bit constants).
enum ProcessorFeature : uint32_t {
    pfeCpuid = 0x1,
    pfeStandardLeaves = 0x2,
    pfeExtendedLeaves = 0x4,
    pfeTsc = 0x10,
    pfeMmx = 0x20,
    pfeCmov = 0x40,
    pfe3DNow = 0x80,
    pfe3DNowExt = 0x100,
    pfeMmxExt = 0x200,
    pfeSse = 0x400,
    pfeAmdK6Family = 0x800,
    pfeMtrr = 0x1000,
};
uint32_t DetectProcessorFeatures();

// Module start-up: the first call reads the display (probing 16-bit ones)
// and the processor features; later calls do nothing.
void InitializePixelServices();

} // namespace qvt

#endif
