// The display stand-in: depths, device capabilities, the system palette and
// the host's windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "gdi_fixture.h"
#include "qvt/qvtdisplay.h"

namespace {

// Restores the default 32-bit display after each test.
class DisplayTest : public ::testing::Test {
protected:
    void TearDown() override { QvtSetDisplayDepth(32); }
};

TEST_F(DisplayTest, DeviceCapsFollowTheChosenDepth) {
    struct Case {
        int depth, bitsPixel, planes, sizePalette, numColors, rasterPalette;
    } cases[] = {
        {1, 1, 1, 0, 2, 0},      {4, 1, 4, 0, 16, 0},    {8, 8, 1, 256, 20, RC_PALETTE},
        {15, 16, 1, 0, -1, 0},   {16, 16, 1, 0, -1, 0},  {24, 24, 1, 0, -1, 0},
        {32, 32, 1, 0, -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_TRUE(QvtSetDisplayDepth(c.depth));
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), c.bitsPixel);
        EXPECT_EQ(GetDeviceCaps(screen, PLANES), c.planes);
        EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), c.sizePalette);
        EXPECT_EQ(GetDeviceCaps(screen, NUMCOLORS), c.numColors);
        EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, c.rasterPalette);
        // A memory DC reports the display's capabilities too.
        HDC mem = CreateCompatibleDC(screen);
        EXPECT_EQ(GetDeviceCaps(mem, BITSPIXEL) * GetDeviceCaps(mem, PLANES), c.depth == 15 ? 16 : c.depth);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
    }
    EXPECT_FALSE(QvtSetDisplayDepth(2));
    EXPECT_FALSE(QvtSetDisplayDepth(48));
}

TEST_F(DisplayTest, OnlyAPaletteDisplayHasASystemPalette) {
    ASSERT_TRUE(QvtSetDisplayDepth(8));
    HDC screen = GetDC(nullptr);
    PALETTEENTRY e[256];
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, e), 256u);
    // The static colours sit at 0..9 and 246..255.
    EXPECT_EQ(e[0].peRed + e[0].peGreen + e[0].peBlue, 0);
    EXPECT_EQ(e[9].peRed, 0xA6);
    EXPECT_EQ(e[9].peBlue, 0xF0);
    EXPECT_EQ(e[246].peGreen, 0xFB);
    EXPECT_EQ(e[249].peRed, 0xFF);
    EXPECT_EQ(e[249].peGreen, 0);
    EXPECT_EQ(e[255].peRed & e[255].peGreen & e[255].peBlue, 0xFF);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(QvtSetDisplayDepth(16));
    screen = GetDC(nullptr);
    EXPECT_EQ(GetSystemPaletteEntries(screen, 0, 256, e), 0u);
    ReleaseDC(nullptr, screen);
}

// The palette manager never enters a static colour twice, so every entry of
// the 8-bit system palette is a distinct colour and white is only at 255.
// That is what lets a raster operation on palette indices treat a white
// pattern cell as "all bits set": 0xAC0744 (source where the pattern is
// black, destination where it is white) must then keep every index under a
// white brush and copy every index under a black one.
TEST_F(DisplayTest, SystemPaletteHoldsEachColourOnceSoPatternsKeepOrCopyEveryIndex) {
    ASSERT_TRUE(QvtSetDisplayDepth(8));
    HDC screen = GetDC(nullptr);
    PALETTEENTRY e[256];
    ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, e), 256u);
    ReleaseDC(nullptr, screen);
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) {
        table[(size_t)i] = qvt::test::quad(e[i].peRed, e[i].peGreen, e[i].peBlue);
        for (int j = 0; j < i; ++j)
            ASSERT_FALSE(e[i].peRed == e[j].peRed && e[i].peGreen == e[j].peGreen && e[i].peBlue == e[j].peBlue)
                << "entries " << j << " and " << i << " hold the same colour";
    }
    for (const bool white : {true, false}) {
        SCOPED_TRACE(white ? "white pattern" : "black pattern");
        qvt::test::DibDC dst(256, 1, 8, table), src(256, 1, 8, table);
        for (int x = 0; x < 256; ++x) dst.set(x, 0, (uint32_t)x), src.set(x, 0, (uint32_t)(255 - x));
        qvt::test::MonoDC pattern(8, 8, std::vector<uint8_t>(16, white ? 0xFF : 0x00));
        HBITMAP patternBitmap = (HBITMAP)GetCurrentObject(pattern.dc(), OBJ_BITMAP);
        HBRUSH brush = CreatePatternBrush(patternBitmap);
        HGDIOBJ old = SelectObject(dst.dc(), brush);
        ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 256, 1, src.dc(), 0, 0, 0x00AC0744));
        SelectObject(dst.dc(), old);
        DeleteObject(brush);
        for (int x = 0; x < 256; ++x) ASSERT_EQ(dst.get(x, 0), white ? (uint32_t)x : (uint32_t)(255 - x)) << x;
    }
    QvtSetDisplayDepth(32);
}

// Reading a window as RGB or RGBA gives every pixel's colour (and opaque
// alpha), whatever the width (the fast row paths work in steps of four
// pixels) and on every depth.
TEST_F(DisplayTest, WindowsReadAsRgbPixelForPixel) {
    for (int depth : {8, 16, 24, 32}) {
        ASSERT_TRUE(QvtSetDisplayDepth(depth));
        for (int width : {1, 3, 4, 5, 8, 9, 17}) {
            SCOPED_TRACE(::testing::Message() << depth << " bits, width " << width);
            HWND wnd = QvtCreateWindow(width, 2);
            HDC dc = GetDC(wnd);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < width; ++x) SetPixel(dc, x, y, RGB(x * 13 + y, 255 - x * 7, x * 29 + 100 * y));
            std::vector<BYTE> rgb((size_t)width * 3 * 2 + 5, 0xEE);
            ASSERT_TRUE(QvtReadWindowRGB(wnd, rgb.data(), width * 3));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < width; ++x) {
                    const COLORREF c = GetPixel(dc, x, y);
                    const BYTE *p = &rgb[(size_t)(y * width + x) * 3];
                    EXPECT_EQ(RGB(p[0], p[1], p[2]), c) << x << "," << y;
                }
            EXPECT_EQ(rgb.back(), 0xEE); // nothing past the last row
            // RGBA rows with two bytes of padding the read leaves alone.
            const int stride = width * 4 + 2;
            std::vector<BYTE> rgba((size_t)stride * 2, 0xEE);
            ASSERT_TRUE(QvtReadWindowRGBA(wnd, rgba.data(), stride));
            EXPECT_FALSE(QvtReadWindowRGBA(wnd, rgba.data(), width * 4 - 1));
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < width; ++x) {
                    const BYTE *p = &rgba[(size_t)y * stride + x * 4];
                    EXPECT_EQ(RGB(p[0], p[1], p[2]), GetPixel(dc, x, y)) << x << "," << y;
                    EXPECT_EQ(p[3], 255);
                }
                EXPECT_EQ(rgba[(size_t)y * stride + width * 4], 0xEE);
            }
            ReleaseDC(wnd, dc);
            QvtDestroyWindow(wnd);
        }
    }
}

// The high-colour probe: a compatible bitmap of the screen, a green ramp
// written and read back; 5-5-5 keeps 32 levels, 5-6-5 keeps 64.
int distinctGreens(int depth) {
    QvtSetDisplayDepth(depth);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bm = CreateCompatibleBitmap(screen, 10, 10);
    HGDIOBJ old = SelectObject(mem, bm);
    int count = 0, prev = 255;
    for (int g = 0; g < 256; ++g) {
        SetPixel(mem, 1, 1, RGB(0, g, 0));
        int got = (GetPixel(mem, 1, 1) >> 8) & 0xFF;
        if (got != prev) ++count;
        prev = got;
    }
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return count;
}

TEST_F(DisplayTest, OnlyReadingPixelsBackTellsFiveFiveFiveFromFiveSixFive) {
    EXPECT_EQ(distinctGreens(15), 32);
    EXPECT_EQ(distinctGreens(16), 64);
    EXPECT_EQ(distinctGreens(32), 256);
}

TEST_F(DisplayTest, WindowsAreSurfacesTheHostCanReadAndFollow) {
    ASSERT_TRUE(QvtSetDisplayDepth(16));
    HWND wnd = QvtCreateWindow(20, 10);
    ASSERT_NE(wnd, nullptr);
    EXPECT_FALSE(QvtSetDisplayDepth(32)); // not while a window exists
    struct Seen {
        int calls = 0;
        RECT last{};
    } seen;
    QvtSetWindowChangedHandler(wnd, [](void *u, HWND, const RECT *r) {
        auto *s = static_cast<Seen *>(u);
        ++s->calls;
        s->last = *r;
    }, &seen);
    HDC dc = GetDC(wnd);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{2, 3, 5, 4};
    FillRect(dc, &r, red);
    EXPECT_GE(seen.calls, 1);
    EXPECT_EQ(seen.last.left, 2);
    EXPECT_EQ(seen.last.top, 3);
    EXPECT_EQ(seen.last.right, 5);
    EXPECT_EQ(seen.last.bottom, 4);
    std::vector<BYTE> rgb(20 * 10 * 3);
    ASSERT_TRUE(QvtReadWindowRGB(wnd, rgb.data(), 60));
    auto px = [&](int x, int y) { return &rgb[(size_t)y * 60 + x * 3]; };
    EXPECT_EQ(px(2, 3)[0], 255);
    EXPECT_EQ(px(4, 3)[1], 0);
    EXPECT_EQ(px(5, 3)[0], 0); // right edge exclusive, new windows are black
    EXPECT_FALSE(QvtReadWindowRGB(wnd, rgb.data(), 59));
    // A DC of a destroyed window draws nothing and does not crash.
    EXPECT_TRUE(QvtDestroyWindow(wnd));
    EXPECT_FALSE(FillRect(dc, &r, red));
    EXPECT_EQ(GetPixel(dc, 2, 3), CLR_INVALID);
    ReleaseDC(nullptr, dc);
    DeleteObject(red);
    EXPECT_FALSE(QvtDestroyWindow(wnd));
    EXPECT_EQ(QvtCreateWindow(0, 10), nullptr);
    EXPECT_EQ(GetDC(wnd), nullptr);
}

TEST_F(DisplayTest, CompatibleBitmapsOfTheScreenUseTheDisplayFormat) {
    struct Case {
        int depth;
        COLORREF in, out;
    } cases[] = {
        {32, RGB(0x87, 0x43, 0x21), RGB(0x87, 0x43, 0x21)},
        {24, RGB(0x87, 0x43, 0x21), RGB(0x87, 0x43, 0x21)},
        {16, RGB(0x87, 0x43, 0x21), RGB(0x84, 0x41, 0x21)},
        {15, RGB(0x87, 0x43, 0x21), RGB(0x84, 0x42, 0x21)},
        {8, RGB(0xFF, 0x00, 0x00), RGB(0xFF, 0x00, 0x00)},
        {4, RGB(0x80, 0x00, 0x80), RGB(0x80, 0x00, 0x80)},
        {1, RGB(0xF0, 0xF0, 0xF0), RGB(0xFF, 0xFF, 0xFF)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_TRUE(QvtSetDisplayDepth(c.depth));
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bm = CreateCompatibleBitmap(screen, 3, 3);
        ASSERT_NE(bm, nullptr);
        HGDIOBJ old = SelectObject(mem, bm);
        EXPECT_EQ(SetPixel(mem, 1, 1, c.in), c.out);
        SelectObject(mem, old);
        DeleteObject(bm);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
    }
}

} // namespace
