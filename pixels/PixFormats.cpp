// Pixel formats, palettes and processor features.
#include "pixels/PixFormats.h"

#include <cstring>
#include <vector>

#include "pixels/Kernels.h"
#include "qvt/qvtsys.h"

namespace qvt {

bool MMXAvailable = false;
bool ExtendedMMXAvailable = false;

namespace {
int cachedDepth = 0;
TPixelFormat cachedFormat = pfDevice;
int startupCount = 0;

// Releases a DC from GetDC on every path.
struct ScreenDC {
    HDC dc = GetDC(nullptr);
    ~ScreenDC() {
        if (dc) ReleaseDC(nullptr, dc);
    }
};

HPALETTE makePalette(const std::vector<PALETTEENTRY> &entries) {
    std::vector<uint8_t> buf(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
    auto *lp = reinterpret_cast<LOGPALETTE *>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(entries.size());
    if (!entries.empty()) std::memcpy(lp->palPalEntry, entries.data(), entries.size() * sizeof(PALETTEENTRY));
    return CreatePalette(lp);
}
} // namespace

HPALETTE CreateSystemPaletteCopy() {
    ScreenDC screen;
    int count = GetDeviceCaps(screen.dc, SIZEPALETTE);
    if (count > 256) count = 256;
    if (count < 0) count = 0;
    std::vector<PALETTEENTRY> entries(256);
    GetSystemPaletteEntries(screen.dc, 0, static_cast<UINT>(count), entries.data());
    entries.resize(static_cast<size_t>(count));
    return makePalette(entries);
}

HPALETTE CreateGrayscalePalette() {
    std::vector<PALETTEENTRY> entries(256);
    for (int i = 0; i < 256; ++i)
        entries[i] = PALETTEENTRY{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    return makePalette(entries);
}

void SetupBitmap(rtl::TBitmap &bitmap, HPALETTE palette, int width, TPixelFormat pixelFormat, int height) {
    bitmap.SetPixelFormat(pixelFormat);
    if (pixelFormat == pf1bit) bitmap.SetMonochrome(true);
    if (pixelFormat == pf8bit) bitmap.SetPalette(palette ? palette : CreateSystemPaletteCopy());
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
}

int GetDeviceColorDepth(bool refresh) {
    if (refresh) {
        ScreenDC screen;
        cachedDepth = GetDeviceCaps(screen.dc, PLANES) * GetDeviceCaps(screen.dc, BITSPIXEL);
    }
    return cachedDepth;
}

TPixelFormat PixelFormatOfDepth(int depth) {
    switch (depth) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 15: return pf15bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pf24bit;
    }
}

TPixelFormat GetDevicePixelFormat(bool refresh) {
    int depth = GetDeviceColorDepth(refresh);
    if (depth != 16)
        cachedFormat = PixelFormatOfDepth(depth);
    else if (refresh)
        // Only a refresh pays for the probe; otherwise the last verdict stands.
        cachedFormat = ProbeHighColorFormat();
    return cachedFormat;
}

TPixelFormat ProbeHighColorFormat() {
    ScreenDC screen;
    HDC mem = CreateCompatibleDC(screen.dc);
    HBITMAP bitmap = CreateCompatibleBitmap(screen.dc, 10, 10);
    HGDIOBJ old = SelectObject(mem, bitmap);
    int count = 0;
    int previous = 255;
    for (int g = 0; g < 256; ++g) {
        SetPixel(mem, 1, 1, RGB(0, g, 0));
        int green = static_cast<int>((GetPixel(mem, 1, 1) >> 8) & 0xFF);
        if (green != previous) ++count;
        previous = green;
    }
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    return HighColorFormatFromGreenLevels(count);
}

TPixelFormat HighColorFormatFromGreenLevels(int levels) { return levels > 32 ? pf16bit : pf15bit; }

bool IsPaletteDisplay(bool refresh) { return GetDeviceColorDepth(refresh) == 8; }
bool IsTrueColorDisplay(bool refresh) { return GetDeviceColorDepth(refresh) > 8; }

int BitsPerPixel(TPixelFormat pixelFormat) {
    static constexpr int bits[] = {0, 1, 4, 8, 16, 16, 24, 32, 0};
    if (pixelFormat == pfCustom) pixelFormat = GetDevicePixelFormat(false);
    return pixelFormat <= pf32bit ? bits[pixelFormat] : 0;
}

int BytesPerScanLine(const rtl::TBitmap &bitmap, TPixelFormat pixelFormat, int alignment) {
    if (pixelFormat == pfDevice || pixelFormat == pfCustom) return 0;
    // In 32-bit arithmetic as the original computed it.
    uint32_t bits = static_cast<uint32_t>(bitmap.Width()) * static_cast<uint32_t>(BitsPerPixel(pixelFormat));
    uint32_t mask = static_cast<uint32_t>(alignment) - 1;
    bits = (bits + mask) & ~mask;
    return static_cast<int32_t>(bits) / 8;
}

uint32_t DetectProcessorFeatures() {
    uint32_t features = 0;
    DWORD r[4]; // EAX, EBX, ECX, EDX
    char vendor[12];
    std::memcpy(vendor, "UnknownVendr", 12);
    // A processor without CPUID.
    if (!QvtCpuid(0, r)) return 0;
    features |= pfeCpuid;
    std::memcpy(vendor, &r[1], 4);
    std::memcpy(vendor + 4, &r[3], 4);
    std::memcpy(vendor + 8, &r[2], 4);
    if (r[0] == 0) return features;
    features |= pfeStandardLeaves;
    QvtCpuid(1, r);
    uint32_t signature = r[0];
    uint32_t edx = r[3];
    if (edx & (1u << 4)) features |= pfeTsc;
    if (edx & (1u << 23)) features |= pfeMmx;
    if (edx & (1u << 15)) features |= pfeCmov;
    if (edx & (1u << 12)) features |= pfeMtrr;
    if (edx & (1u << 25)) features |= pfeMmxExt | pfeSse;
    QvtCpuid(0x80000000u, r);
    if (r[0] <= 0x80000000u) return features;
    features |= pfeExtendedLeaves;
    QvtCpuid(0x80000001u, r);
    uint32_t extEdx = r[3];
    if (extEdx & (1u << 31)) features |= pfe3DNow;
    if (std::memcmp(vendor, "AuthenticAMD", 12) != 0) return features;
    if (extEdx & (1u << 30)) features |= pfe3DNowExt;
    if (!(features & pfeMmxExt) && (extEdx & (1u << 22))) features |= pfeMmxExt;
    if ((signature & 0xFFF) >= 0x588 && (signature & 0xFFF) < 0x600) features |= pfeAmdK6Family;
    return features;
}

void InitializePixelServices() {
    if (startupCount++ != 0) return;
    GetDevicePixelFormat(true);
    const TProcessorFeatures features = ReadProcessorFeatures();
    MMXAvailable = (features.Word & pfeMmx) != 0;
    ExtendedMMXAvailable = (features.Word & pfeMmxExt) != 0;
    // The kernels are chosen once, with the same reading.
    SelectKernels(features, ExtendedMMXAvailable);
}

} // namespace qvt
