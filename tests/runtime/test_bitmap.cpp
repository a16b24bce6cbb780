// TBitmap: pixel formats and their memory layout, keeping the picture across
// changes, palettes and colour tables, Assign, and the "Data" property.
#include <algorithm>
#include <set>
#include <tuple>

#include "bitmap_test_support.h"
#include "runtime_test_support.h"

using namespace qvt::rtl;
using namespace qvt::test;

namespace {

class BitmapTest : public GdiLeakCheck {};

constexpr TPixelFormat kDibFormats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};

TEST_F(BitmapTest, EveryFormatHasAlignedBottomUpScanLines) {
    // Expected strides of a 5-pixel row.
    const struct {
        TPixelFormat format;
        int stride;
    } cases[] = {{pf1bit, 4}, {pf4bit, 4}, {pf8bit, 8}, {pf15bit, 12}, {pf16bit, 12}, {pf24bit, 16}, {pf32bit, 20}, {pfDevice, 20}};
    for (const auto &c : cases) {
        SCOPED_TRACE(kPixelFormatNames[c.format]);
        TBitmap b;
        b.SetPixelFormat(c.format);
        b.SetSize(5, 3);
        auto *row0 = static_cast<uint8_t *>(b.ScanLine(0));
        auto *row1 = static_cast<uint8_t *>(b.ScanLine(1));
        auto *row2 = static_cast<uint8_t *>(b.ScanLine(2));
        EXPECT_EQ(row0 - row1, c.stride);
        EXPECT_EQ(row1 - row2, c.stride) << "the last row has the lowest address";
        EXPECT_EQ(BytesPerScanLine(5, PixelFormatBits(b.PixelFormat())), c.stride);
        // What the canvas draws at the top shows in ScanLine(0), and the bottom in ScanLine(2).
        b.Canvas().SetPixels(0, 0, clWhite);
        EXPECT_NE(RawPixel(b, 0, 0), 0u);
        EXPECT_EQ(RawPixel(b, 0, 2), 0u);
        for (int bad : {-1, 3}) ExpectRaises<EInvalidGraphicOperation>([&] { b.ScanLine(bad); }, "Scan line index out of range");
    }
    // A device bitmap turns into the display's DIB format for scan-line access.
    TBitmap device;
    device.SetSize(2, 2);
    EXPECT_EQ(device.PixelFormat(), pfDevice);
    device.ScanLine(0);
    EXPECT_EQ(device.PixelFormat(), DevicePixelFormat());
    TBitmap empty;
    ExpectRaises<EInvalidGraphicOperation>([&] { empty.ScanLine(0); }, "Scan line index out of range");
    EXPECT_EQ(empty.Handle(), nullptr);
}

// Draws a 4 x 4 picture: red top-left, green top-right, white bottom-left,
// black bottom-right quarter (black and white only for 1 bit).
void DrawQuarters(TBitmap &b) {
    TCanvas &c = b.Canvas();
    const bool mono = b.PixelFormat() == pf1bit;
    const TColor colours[4] = {mono ? clWhite : clRed, mono ? clBlack : clLime, clWhite, clBlack};
    for (int i = 0; i < 4; ++i) {
        c.Brush().SetColor(colours[i]);
        const int x = (i & 1) * 2, y = (i >> 1) * 2;
        c.FillRect(RECT{x, y, x + 2, y + 2});
    }
}

TEST_F(BitmapTest, ResizingKeepsThePictureAndBlackensNewArea) {
    for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
        SCOPED_TRACE(kPixelFormatNames[f]);
        TBitmap b;
        b.SetPixelFormat(f);
        b.SetSize(4, 4);
        DrawQuarters(b);
        TCanvas &c = b.Canvas();
        std::vector<TColor> before;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) before.push_back(c.Pixels(x, y));

        b.SetWidth(6);
        b.SetHeight(5);
        EXPECT_EQ(b.PixelFormat(), f);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                SCOPED_TRACE(testing::Message() << "(" << x << "," << y << ")");
                EXPECT_EQ(c.Pixels(x, y), x < 4 && y < 4 ? before[static_cast<size_t>(y * 4 + x)] : clBlack);
            }
        b.SetSize(2, 3); // shrink: the top-left part stays
        EXPECT_EQ(c.Pixels(1, 1), before[5]);
        EXPECT_EQ(c.Pixels(1, 2), before[9]);
        EXPECT_EQ(c.Pixels(2, 0), -1) << "outside the bitmap now";
    }
}

TEST_F(BitmapTest, ChangingNothingKeepsTheHandle) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 3);
    const HBITMAP h = b.Handle();
    b.SetWidth(3);
    b.SetHeight(3);
    b.SetPixelFormat(pf24bit);
    b.SetMonochrome(false);
    EXPECT_EQ(b.Handle(), h);
    b.SetWidth(4);
    EXPECT_NE(b.Handle(), h);
    ExpectRaises<EInvalidGraphicOperation>([&] { b.SetWidth(-1); });
    EXPECT_EQ(b.Width(), 4);
}

TEST_F(BitmapTest, ChangingFormatKeepsColours) {
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(4, 4);
    DrawQuarters(b);
    for (TPixelFormat f : {pf24bit, pf8bit, pf16bit, pf4bit, pf15bit, pfDevice, pf32bit}) {
        SCOPED_TRACE(kPixelFormatNames[f]);
        b.SetPixelFormat(f);
        EXPECT_EQ(b.PixelFormat(), f);
        EXPECT_EQ(b.Canvas().Pixels(0, 0), clRed);
        EXPECT_EQ(b.Canvas().Pixels(3, 0), clLime);
        EXPECT_EQ(b.Canvas().Pixels(0, 3), clWhite);
        EXPECT_EQ(b.Canvas().Pixels(3, 3), clBlack);
    }
    ExpectRaises<EInvalidGraphic>([&] { b.SetPixelFormat(pfCustom); }, "Invalid pixel format");
    EXPECT_EQ(b.PixelFormat(), pf32bit);
}

TEST_F(BitmapTest, SetupSequenceFormatMonochromePaletteWidthHeight) {
    TBitmap b;
    const HPALETTE grey = GreyPalette();
    b.SetPixelFormat(pf8bit);
    b.SetMonochrome(false);
    b.SetPalette(grey);
    b.SetWidth(10);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Handle(), nullptr) << "nothing is allocated while a side is 0";
    b.SetHeight(8);
    EXPECT_FALSE(b.Empty());
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_FALSE(b.Monochrome());
    EXPECT_EQ(b.Palette(), grey);
    ASSERT_EQ(b.ColorTable().size(), 256u);
    for (int i = 0; i < 256; ++i) {
        const auto g = static_cast<BYTE>(i);
        EXPECT_TRUE(b.ColorTable()[static_cast<size_t>(i)] == (RGBQUAD{g, g, g, 0})) << i;
    }
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(b.Handle(), sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 10);
    EXPECT_EQ(ds.dsBm.bmHeight, 8);
    EXPECT_EQ(ds.dsBmih.biBitCount, 8);
    EXPECT_GT(ds.dsBmih.biHeight, 0) << "bottom-up";
}

TEST_F(BitmapTest, PaletteIndexColoursOnTheCanvasReferToTheBitmapsPalette) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetPalette(GreyPalette());
    b.SetSize(4, 1);
    TCanvas &c = b.Canvas();
    c.Brush().SetColor(static_cast<TColor>(PALETTEINDEX(5)));
    c.FillRect(RECT{0, 0, 1, 1});
    c.Brush().SetColor(static_cast<TColor>(PALETTERGB(100, 100, 100)));
    c.FillRect(RECT{1, 0, 2, 1});
    c.Pen().SetColor(static_cast<TColor>(PALETTEINDEX(200)));
    c.MoveTo(2, 0);
    c.LineTo(4, 0);
    EXPECT_EQ(RawPixel(b, 0, 0), 5u) << "entry 5 of the grey palette, not of the default palette";
    EXPECT_EQ(RawPixel(b, 1, 0), 100u);
    EXPECT_EQ(RawPixel(b, 2, 0), 200u);
    EXPECT_EQ(RawPixel(b, 3, 0), 200u);
}

TEST_F(BitmapTest, ThePaletteIsOwnedAndGivesTheColourTable) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(2, 1);
    TCanvas &c = b.Canvas();
    c.SetPixels(0, 0, RGB(128, 128, 128));
    const HPALETTE first = GreyPalette(16);
    const HPALETTE second = GreyPalette(256);
    b.SetPalette(first);
    EXPECT_EQ(b.ColorTable().size(), 16u);
    EXPECT_EQ(c.Pixels(0, 0), RGB(136, 136, 136)) << "nearest of 16 greys";
    b.SetPalette(second);
    EXPECT_EQ(GetObjectType(first), 0u) << "the replaced palette is freed";
    EXPECT_EQ(b.ColorTable().size(), 256u);
    EXPECT_EQ(RawPixel(b, 0, 0), 136u) << "the picture is kept in the new colours";
    const HPALETTE released = b.ReleasePalette();
    EXPECT_EQ(released, second);
    EXPECT_EQ(b.Palette(), nullptr);
    EXPECT_EQ(b.ColorTable().size(), 256u) << "the colours stay";
    DeleteObject(released);

    // Monochrome: black and white, palette dropped; back: device format.
    b.SetPalette(GreyPalette(4));
    b.SetMonochrome(true);
    EXPECT_EQ(b.PixelFormat(), pf1bit);
    EXPECT_EQ(b.Palette(), nullptr);
    ASSERT_EQ(b.ColorTable().size(), 2u);
    EXPECT_TRUE(b.ColorTable()[0] == (RGBQUAD{0, 0, 0, 0}));
    EXPECT_TRUE(b.ColorTable()[1] == (RGBQUAD{255, 255, 255, 0}));
    EXPECT_EQ(c.Pixels(0, 0), clWhite) << "light grey became white";
    b.SetMonochrome(false);
    EXPECT_EQ(b.PixelFormat(), pfDevice);
}

TEST_F(BitmapTest, DefaultColourTables) {
    TBitmap b;
    b.SetSize(1, 1);
    b.SetPixelFormat(pf4bit);
    ASSERT_EQ(b.ColorTable().size(), 16u);
    EXPECT_TRUE(b.ColorTable()[0] == (RGBQUAD{0, 0, 0, 0}));
    EXPECT_TRUE(b.ColorTable()[9] == (RGBQUAD{0, 0, 255, 0})) << "bright red";
    EXPECT_TRUE(b.ColorTable()[15] == (RGBQUAD{255, 255, 255, 0}));

    // On a display without a palette: colour cube and greys, black first,
    // white last, every colour once.
    b.SetPixelFormat(pf8bit);
    const auto table = b.ColorTable();
    ASSERT_EQ(table.size(), 256u);
    EXPECT_TRUE(table[0] == (RGBQUAD{0, 0, 0, 0}));
    EXPECT_TRUE(table[255] == (RGBQUAD{255, 255, 255, 0}));
    std::set<std::tuple<int, int, int>> distinct;
    for (const RGBQUAD &q : table) distinct.insert({q.rgbRed, q.rgbGreen, q.rgbBlue});
    EXPECT_EQ(distinct.size(), 256u);
    EXPECT_EQ(distinct.count({51, 102, 153}), 1u);
}

TEST_F(BitmapTest, EightBitDefaultTableIsTheSystemPaletteOnAPaletteDisplay) {
    ASSERT_TRUE(QvtSetDisplayDepth(8));
    {
        TBitmap b;
        b.SetPixelFormat(pf8bit);
        b.SetSize(1, 1);
        PALETTEENTRY system[256];
        HDC screen = GetDC(nullptr);
        ASSERT_EQ(GetSystemPaletteEntries(screen, 0, 256, system), 256u);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(b.ColorTable().size(), 256u);
        for (int i = 0; i < 256; ++i) {
            const RGBQUAD &q = b.ColorTable()[static_cast<size_t>(i)];
            EXPECT_TRUE(q.rgbRed == system[i].peRed && q.rgbGreen == system[i].peGreen && q.rgbBlue == system[i].peBlue) << i;
        }
        EXPECT_EQ(DevicePixelFormat(), pf8bit);
    }
    ASSERT_TRUE(QvtSetDisplayDepth(32));
}

TEST_F(BitmapTest, DevicePixelFormatFollowsTheDisplay) {
    const struct {
        int depth;
        TPixelFormat format;
    } cases[] = {{1, pf1bit}, {4, pf4bit}, {15, pf15bit}, {16, pf16bit}, {24, pf24bit}, {32, pf32bit}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_TRUE(QvtSetDisplayDepth(c.depth));
        EXPECT_EQ(DevicePixelFormat(), c.format);
        // A device bitmap keeps its picture when turned into a DIB.
        TBitmap b;
        b.SetSize(2, 1);
        b.Canvas().SetPixels(1, 0, clWhite);
        b.SetPixelFormat(pf24bit);
        EXPECT_EQ(RawPixel(b, 1, 0), 0xFFFFFFu);
        EXPECT_EQ(RawPixel(b, 0, 0), 0u);
    }
    ASSERT_TRUE(QvtSetDisplayDepth(32));
}

TEST_F(BitmapTest, AssignCopiesThePictureIndependently) {
    TBitmap a;
    a.SetPixelFormat(pf8bit);
    a.SetPalette(GreyPalette());
    a.SetSize(3, 2);
    a.Canvas().SetPixels(2, 1, RGB(77, 77, 77));
    TBitmap b;
    b.Assign(&a);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_NE(b.Palette(), nullptr);
    EXPECT_NE(b.Palette(), a.Palette()) << "each bitmap owns its palette";
    EXPECT_NE(b.Handle(), a.Handle());
    EXPECT_EQ(RawPixel(b, 2, 1), 77u);
    a.Canvas().SetPixels(2, 1, clBlack);
    EXPECT_EQ(RawPixel(b, 2, 1), 77u);

    TBitmap device; // device bitmaps are copied through their DC
    device.SetSize(2, 2);
    device.Canvas().SetPixels(1, 1, clRed);
    b.Assign(&device);
    EXPECT_EQ(b.PixelFormat(), pfDevice);
    EXPECT_EQ(b.Canvas().Pixels(1, 1), clRed);

    b.Assign(nullptr);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Handle(), nullptr);
    TPen pen;
    ExpectRaises<EConvertError>([&] { b.Assign(&pen); }, "Cannot assign a TPen to a TBitmap");
}

TEST_F(BitmapTest, CanvasFollowsTheBitmapThroughChanges) {
    TBitmap b;
    TCanvas &c = b.Canvas();
    EXPECT_NE(c.Handle(), nullptr) << "an empty bitmap still has a canvas";
    c.FillRect(RECT{0, 0, 5, 5}); // draws on nothing
    b.SetPixelFormat(pf32bit);
    b.SetSize(3, 3);
    c.SetPixels(1, 1, clBlue);
    EXPECT_EQ(RawPixel(b, 1, 1), 0x0000FFu);
    b.SetPixelFormat(pf24bit);
    c.SetPixels(2, 2, clLime);
    EXPECT_EQ(RawPixel(b, 2, 2), 0x00FF00u);
    EXPECT_EQ(RawPixel(b, 1, 1), 0x0000FFu);
    // The bitmap is selected into its canvas's DC only.
    EXPECT_EQ(GetCurrentObject(c.Handle(), OBJ_BITMAP), b.Handle());
}

} // namespace
