// A window of a chosen display depth showing a departing page, an arriving
// page to run an effect onto it, and both pages as the window shows them,
// for tests that check each frame pixel by pixel.
//
// The pages are made of colours of the 8-bit display's colour cube, so that
// every depth shows them without dithering or rounding surprises, and they
// differ from each other everywhere: red follows x, green follows y, blue
// tells the pages (and the 6-pixel tiles) apart.
#ifndef QVT_TESTS_TWO_PAGES_H
#define QVT_TESTS_TWO_PAGES_H

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"
#include "qvt/rtl/graphics.h"

namespace qvt::test {

// An RGB picture, rows top-down, 3 bytes a pixel.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    uint32_t at(int x, int y) const {
        const uint8_t *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    bool operator==(const Picture &) const = default;
};

inline COLORREF PageColour(bool arriving, int x, int y) {
    const int b = (x / 6 + 2 * (y / 6)) % 3 + (arriving ? 3 : 0);
    return RGB((x % 6) * 51, (y % 6) * 51, b * 51);
}

class TwoPages {
public:
    TwoPages(int depth, int width, int height) : width_(width), height_(height) {
        QvtSetDisplayDepth(depth);
        qvt::testing::RefreshDisplay();
        wnd_ = QvtCreateWindow(width > 0 ? width : 1, height > 0 ? height : 1);
        screen_ = GetDC(wnd_);
        departing_.SetPixelFormat(pf32bit);
        departing_.SetSize(width, height);
        arriving.SetPixelFormat(pf32bit);
        arriving.SetSize(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                SetPixel(departing_.Canvas().Handle(), x, y, PageColour(false, x, y));
                SetPixel(arriving.Canvas().Handle(), x, y, PageColour(true, x, y));
            }
        show(arriving);
        arrivingShown = read();
        ShowDeparting();
    }
    ~TwoPages() {
        ReleaseDC(wnd_, screen_);
        QvtDestroyWindow(wnd_);
    }
    TwoPages(const TwoPages &) = delete;
    TwoPages &operator=(const TwoPages &) = delete;

    // Puts the departing page back on the window.
    void ShowDeparting() {
        show(departing_);
        departingShown = read();
    }
    // What the window shows now.
    Picture read() const {
        Picture p{width_, height_, std::vector<uint8_t>(static_cast<size_t>(width_ > 0 ? width_ : 1) *
                                                        (height_ > 0 ? height_ : 1) * 3)};
        QvtReadWindowRGB(wnd_, p.rgb.data(), (width_ > 0 ? width_ : 1) * 3);
        p.rgb.resize(static_cast<size_t>(width_) * height_ * 3);
        return p;
    }
    HWND window() const { return wnd_; }
    HDC screen() const { return screen_; }
    HDC page() { return arriving.Canvas().Handle(); }
    RECT area() const { return RECT{0, 0, width_, height_}; }

    rtl::TBitmap arriving;
    Picture departingShown, arrivingShown;

private:
    void show(rtl::TBitmap &b) { BitBlt(screen_, 0, 0, width_, height_, b.Canvas().Handle(), 0, 0, SRCCOPY); }

    int width_, height_;
    HWND wnd_{};
    HDC screen_{};
    rtl::TBitmap departing_;
};

// The source pixel of destination pixel d when a stretch with COLORONCOLOR
// maps n source pixels onto m (m, n > 0, positive extents), as the graphics
// interface does: the pixel under the centre when enlarging; when
// shrinking, the last of each group across and the first of each group down.
inline int StretchSource(int d, int n, int m, bool vertical) {
    if (m == 1 && n > 1) --n;
    if (m >= n) return ((2 * d + 1) * n - 1) / (2 * m);
    if (!vertical) return (2 * (d + 1) * n - m) / (2 * m);
    return d == 0 ? 0 : (2 * d * n - m) / (2 * m) + 1;
}

} // namespace qvt::test

#endif
