// Pixel access for bitmap tests: raw values straight from a TBitmap's scan
// lines (colour-table indices, 16-bit words, 0x00RRGGBB for 24/32 bits), and
// a grey palette.
#ifndef QVT_TEST_BITMAP_SUPPORT_H
#define QVT_TEST_BITMAP_SUPPORT_H

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "qvt/rtl/graphics.h"

namespace qvt::test {

inline uint32_t RawPixel(qvt::rtl::TBitmap &b, int x, int y) {
    const auto *r = static_cast<const uint8_t *>(b.ScanLine(y));
    switch (qvt::rtl::PixelFormatBits(b.PixelFormat())) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    case 8: return r[x];
    case 16: return static_cast<uint32_t>(r[2 * x] | (r[2 * x + 1] << 8));
    case 24: return static_cast<uint32_t>(r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16));
    default: {
        uint32_t v;
        std::memcpy(&v, r + 4 * x, 4);
        return v;
    }
    }
}

// A palette of n greys from black to white (entry i = i for 256 entries).
inline HPALETTE GreyPalette(int n = 256) {
    std::vector<uint8_t> storage(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
    auto *log = reinterpret_cast<LOGPALETTE *>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(n);
    for (int i = 0; i < n; ++i) {
        const auto g = static_cast<BYTE>(n == 1 ? 0 : i * 255 / (n - 1));
        log->palPalEntry[i] = PALETTEENTRY{g, g, g, 0};
    }
    return CreatePalette(log);
}

inline bool operator==(const RGBQUAD &a, const RGBQUAD &b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

} // namespace qvt::test

#endif
