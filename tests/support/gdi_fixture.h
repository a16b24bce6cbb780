// Small helpers for graphics tests: a DIB section of a chosen format selected
// into its own memory DC, with raw access to its pixel memory, and a
// monochrome device-dependent bitmap in a DC.
//
// Raw pixel values are read and written straight from the bitmap memory, by
// the documented layout, so tests see exactly what a blit stored:
// colour-table indices for 1/4/8 bpp, the 16-bit word for 5-5-5 (depth 15)
// and 5-6-5 (depth 16), 0x00RRGGBB for 24 and 32 bpp.
#ifndef QVT_TEST_GDI_FIXTURE_H
#define QVT_TEST_GDI_FIXTURE_H

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qvt::test {

inline RGBQUAD quad(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

// Entry i = (i, i, i) for 8 bpp; an even ramp from black to white otherwise.
inline std::vector<RGBQUAD> greyTable(int bpp) {
    const int n = 1 << bpp;
    std::vector<RGBQUAD> t((size_t)n);
    for (int i = 0; i < n; ++i) {
        const uint8_t g = (uint8_t)(i * 255 / (n - 1));
        t[(size_t)i] = quad(g, g, g);
    }
    return t;
}

inline int bitsPerPixel(int depth) { return depth == 15 ? 16 : depth; }

// Raw value of a colour on a direct-colour depth (15, 16, 24, 32): low bits dropped.
inline uint32_t directRaw(int depth, COLORREF c) {
    const uint32_t r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    if (depth == 15) return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    if (depth == 16) return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    return (r << 16) | (g << 8) | b;
}

class DibDC {
public:
    // depth: 1, 4, 8, 15 (5-5-5), 16 (5-6-5), 24 or 32. Paletted formats get
    // `table`, or a grey ramp when it is empty.
    DibDC(int width, int height, int depth, std::vector<RGBQUAD> table = {}, bool topDown = false)
        : width_(width), height_(height), depth_(depth), topDown_(topDown) {
        const int bpp = bitsPerPixel(depth);
        if (bpp <= 8 && table.empty()) table = greyTable(bpp);
        std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        auto *h = reinterpret_cast<BITMAPINFOHEADER *>(info.data());
        h->biSize = sizeof(BITMAPINFOHEADER);
        h->biWidth = width;
        h->biHeight = topDown ? -height : height;
        h->biPlanes = 1;
        h->biBitCount = (WORD)bpp;
        h->biCompression = depth == 16 ? BI_BITFIELDS : BI_RGB;
        if (depth == 16) {
            const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
            std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), masks, sizeof masks);
        } else if (bpp <= 8) {
            h->biClrUsed = (DWORD)table.size();
            std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), table.data(), table.size() * sizeof(RGBQUAD));
        }
        dc_ = CreateCompatibleDC(nullptr);
        void *bits = nullptr;
        bmp_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO *>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<uint8_t *>(bits);
        old_ = SelectObject(dc_, bmp_);
        stride_ = ((width * bpp + 31) / 32) * 4;
    }
    ~DibDC() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    DibDC(const DibDC &) = delete;
    DibDC &operator=(const DibDC &) = delete;

    bool ok() const { return dc_ && bmp_ && bits_ && old_; }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bmp_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return depth_; }

    uint32_t get(int x, int y) const {
        const uint8_t *r = row(y);
        switch (bitsPerPixel(depth_)) {
        case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
        case 8: return r[x];
        case 16: return (uint32_t)r[2 * x] | ((uint32_t)r[2 * x + 1] << 8);
        case 24: return (uint32_t)r[3 * x] | ((uint32_t)r[3 * x + 1] << 8) | ((uint32_t)r[3 * x + 2] << 16);
        default: {
            uint32_t v;
            std::memcpy(&v, r + 4 * x, 4);
            return v;
        }
        }
    }
    void set(int x, int y, uint32_t v) {
        uint8_t *r = row(y);
        switch (bitsPerPixel(depth_)) {
        case 1: {
            const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
            r[x >> 3] = (uint8_t)((v & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit));
            break;
        }
        case 4:
            r[x >> 1] = (x & 1) ? (uint8_t)((r[x >> 1] & 0xF0) | (v & 0x0F)) : (uint8_t)((r[x >> 1] & 0x0F) | (v << 4));
            break;
        case 8: r[x] = (uint8_t)v; break;
        case 16: r[2 * x] = (uint8_t)v, r[2 * x + 1] = (uint8_t)(v >> 8); break;
        case 24: r[3 * x] = (uint8_t)v, r[3 * x + 1] = (uint8_t)(v >> 8), r[3 * x + 2] = (uint8_t)(v >> 16); break;
        default: std::memcpy(r + 4 * x, &v, 4); break;
        }
    }
    void fill(uint32_t v) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) set(x, y, v);
    }
    // Row y as raw values, and row y set from values (from column 0).
    std::vector<uint32_t> rowValues(int y) const {
        std::vector<uint32_t> out((size_t)width_);
        for (int x = 0; x < width_; ++x) out[(size_t)x] = get(x, y);
        return out;
    }
    void setRow(int y, const std::vector<uint32_t> &values) {
        for (size_t x = 0; x < values.size() && (int)x < width_; ++x) set((int)x, y, values[x]);
    }

private:
    uint8_t *row(int y) const { return bits_ + (size_t)(topDown_ ? y : height_ - 1 - y) * stride_; }

    int width_, height_, depth_;
    bool topDown_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint8_t *bits_ = nullptr;
    int stride_ = 0;
};

// A monochrome device-dependent bitmap (rows top-down, padded to 16 bits)
// selected into a memory DC; bits read back with GetBitmapBits.
class MonoDC {
public:
    MonoDC(int width, int height, const std::vector<uint8_t> &bits = {}) : width_(width), height_(height) {
        std::vector<uint8_t> init((size_t)stride() * height, 0);
        if (!bits.empty()) std::memcpy(init.data(), bits.data(), std::min(bits.size(), init.size()));
        dc_ = CreateCompatibleDC(nullptr);
        bmp_ = CreateBitmap(width, height, 1, 1, init.data());
        old_ = SelectObject(dc_, bmp_);
    }
    ~MonoDC() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    MonoDC(const MonoDC &) = delete;
    MonoDC &operator=(const MonoDC &) = delete;

    bool ok() const { return dc_ && bmp_ && old_; }
    HDC dc() const { return dc_; }
    int stride() const { return ((width_ + 15) / 16) * 2; }
    uint32_t get(int x, int y) const {
        std::vector<uint8_t> b((size_t)stride() * height_);
        GetBitmapBits(bmp_, (LONG)b.size(), b.data());
        return (b[(size_t)y * stride() + (x >> 3)] >> (7 - (x & 7))) & 1;
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

} // namespace qvt::test

#endif
