// SetPixel and GetPixel: how colours are stored on every pixel format, what
// they read back as, and what happens outside the surface or the clip region.
#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <set>
#include <vector>

#include "gdi_fixture.h"

namespace {

using qvt::test::DibDC;
using qvt::test::MonoDC;
using qvt::test::quad;

TEST(PixelSixteenBit, StoredTruncatedReadWithTopBitsRepeated) {
    struct Case {
        COLORREF set;
        uint32_t raw555;
        COLORREF read555;
        uint32_t raw565;
        COLORREF read565;
    } cases[] = {
        {RGB(255, 255, 255), 0x7FFF, RGB(255, 255, 255), 0xFFFF, RGB(255, 255, 255)},
        {RGB(0x87, 0x43, 0x21), 0x4104, RGB(0x84, 0x42, 0x21), 0x8204, RGB(0x84, 0x41, 0x21)},
        {RGB(8, 4, 8), 0x0401, RGB(8, 0, 8), 0x0821, RGB(8, 4, 8)},
        {RGB(7, 3, 7), 0x0000, RGB(0, 0, 0), 0x0000, RGB(0, 0, 0)},
        {RGB(255, 0, 0), 0x7C00, RGB(255, 0, 0), 0xF800, RGB(255, 0, 0)},
        {RGB(0, 255, 0), 0x03E0, RGB(0, 255, 0), 0x07E0, RGB(0, 255, 0)},
        {RGB(0x10, 0x20, 0x30), 0x0886, RGB(0x10, 0x21, 0x31), 0x1106, RGB(0x10, 0x20, 0x31)},
        {PALETTERGB(0x87, 0x43, 0x21), 0x4104, RGB(0x84, 0x42, 0x21), 0x8204, RGB(0x84, 0x41, 0x21)},
    };
    DibDC d15(4, 2, 15), d16(4, 2, 16);
    ASSERT_TRUE(d15.ok() && d16.ok());
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << k.set);
        EXPECT_EQ(SetPixel(d15.dc(), 1, 1, k.set), k.read555);
        EXPECT_EQ(d15.get(1, 1), k.raw555);
        EXPECT_EQ(GetPixel(d15.dc(), 1, 1), k.read555);
        EXPECT_EQ(SetPixel(d16.dc(), 2, 0, k.set), k.read565);
        EXPECT_EQ(d16.get(2, 0), k.raw565);
        EXPECT_EQ(GetPixel(d16.dc(), 2, 0), k.read565);
    }
}

TEST(PixelSixteenBit, GreenRampGivesOneLevelPerFieldValue) {
    struct Case {
        int depth;
        size_t levels;
    } cases[] = {{15, 32}, {16, 64}, {24, 256}, {32, 256}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.depth);
        DibDC d(256, 1, k.depth);
        std::set<int> greens;
        for (int g = 0; g < 256; ++g) {
            const COLORREF stored = SetPixel(d.dc(), g, 0, RGB(0, g, 0));
            EXPECT_EQ(GetPixel(d.dc(), g, 0), stored);
            greens.insert(GetGValue(GetPixel(d.dc(), g, 0)));
        }
        EXPECT_EQ(greens.size(), k.levels);
        EXPECT_EQ(*greens.rbegin(), 255);
    }
}

// Paletted sections store the nearest table entry by plain squared distance,
// the lowest index on ties, and read back that entry's colour.
TEST(PixelPaletted, NearestEntryLowestIndexOnTies) {
    std::vector<RGBQUAD> fourGreys = {quad(0, 0, 0), quad(20, 20, 20), quad(20, 20, 20), quad(40, 40, 40)};
    std::vector<RGBQUAD> blackWhite = {quad(0, 0, 0), quad(255, 255, 255)};
    struct Case {
        int depth;
        const std::vector<RGBQUAD> *table; // null: the fixture's grey ramp
        COLORREF set;
        uint32_t index;
        COLORREF read;
    } cases[] = {
        {8, nullptr, RGB(127, 127, 127), 127, RGB(127, 127, 127)},
        {8, nullptr, PALETTERGB(127, 127, 127), 127, RGB(127, 127, 127)},
        {8, nullptr, RGB(200, 10, 10), 73, RGB(73, 73, 73)},
        {8, nullptr, DIBINDEX(3), 3, RGB(3, 3, 3)},
        {8, &fourGreys, RGB(10, 10, 10), 0, RGB(0, 0, 0)},
        {8, &fourGreys, RGB(20, 20, 20), 1, RGB(20, 20, 20)},
        {8, &fourGreys, RGB(30, 30, 30), 1, RGB(20, 20, 20)},
        {8, &fourGreys, RGB(255, 255, 255), 3, RGB(40, 40, 40)},
        {4, nullptr, RGB(100, 100, 100), 6, RGB(102, 102, 102)},
        {4, nullptr, RGB(255, 0, 0), 5, RGB(85, 85, 85)},
        {1, &blackWhite, RGB(128, 128, 128), 1, RGB(255, 255, 255)},
        {1, &blackWhite, RGB(127, 127, 127), 0, RGB(0, 0, 0)},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << k.depth << " bpp, colour " << std::hex << k.set);
        DibDC d(9, 3, k.depth, k.table ? *k.table : std::vector<RGBQUAD>{});
        ASSERT_TRUE(d.ok());
        EXPECT_EQ(SetPixel(d.dc(), 7, 2, k.set), k.read);
        EXPECT_EQ(d.get(7, 2), k.index);
        EXPECT_EQ(d.get(6, 2), 0u); // neighbours untouched
        EXPECT_EQ(d.get(8, 2), 0u);
        EXPECT_EQ(GetPixel(d.dc(), 7, 2), k.read);
    }
}

// PALETTEINDEX colours take the entry of the palette selected in the DC at
// the time they are used.
TEST(PixelPaletted, PaletteIndexFollowsTheSelectedPalette) {
    DibDC d(4, 4, 32);
    EXPECT_EQ(SetPixel(d.dc(), 0, 0, PALETTEINDEX(5)), RGB(0x80, 0x00, 0x80));
    EXPECT_EQ(d.get(0, 0), 0x800080u);

    std::vector<uint8_t> buf(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto *lp = reinterpret_cast<LOGPALETTE *>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 256;
    for (int i = 0; i < 256; ++i) lp->palPalEntry[i] = PALETTEENTRY{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    HPALETTE grey = CreatePalette(lp);
    lp->palNumEntries = 3;
    lp->palPalEntry[0] = PALETTEENTRY{10, 20, 30, 0};
    HPALETTE small = CreatePalette(lp);
    ASSERT_TRUE(grey && small);

    HPEN pen = CreatePen(PS_SOLID, 1, PALETTEINDEX(9));
    HGDIOBJ oldPen = SelectObject(d.dc(), pen);
    MoveToEx(d.dc(), 0, 3, nullptr);
    LineTo(d.dc(), 1, 3);
    EXPECT_EQ(d.get(0, 3), 0xA6CAF0u); // entry 9 of the default palette

    HPALETTE oldPal = SelectPalette(d.dc(), grey, FALSE);
    EXPECT_EQ(SetPixel(d.dc(), 1, 0, PALETTEINDEX(5)), RGB(5, 5, 5));
    LineTo(d.dc(), 2, 3);
    EXPECT_EQ(d.get(1, 3), 0x090909u);
    SelectPalette(d.dc(), small, FALSE);
    EXPECT_EQ(SetPixel(d.dc(), 2, 0, PALETTEINDEX(7)), RGB(10, 20, 30)); // past the end: entry 0

    SelectPalette(d.dc(), oldPal, FALSE);
    SelectObject(d.dc(), oldPen);
    DeleteObject(pen);
    DeleteObject(grey);
    DeleteObject(small);
}

// On two-colour sections pens and brushes do not take the nearest colour: a
// colour that is neither table entry nor the background colour gets the
// index that is not the background's. SetPixel takes the nearest.
TEST(PixelPaletted, OneBitPensAndBrushesUseTheBackgroundRule) {
    struct Case {
        const char *name;
        std::vector<RGBQUAD> table;
        COLORREF colour;
        uint32_t drawn, setPixel;
    } cases[] = {
        {"grey on black/white", {quad(0, 0, 0), quad(255, 255, 255)}, RGB(128, 128, 128), 0, 1},
        {"grey on white/black", {quad(255, 255, 255), quad(0, 0, 0)}, RGB(128, 128, 128), 1, 0},
        {"light grey on black/white", {quad(0, 0, 0), quad(255, 255, 255)}, RGB(250, 250, 250), 0, 1},
        {"exact white", {quad(0, 0, 0), quad(255, 255, 255)}, RGB(255, 255, 255), 1, 1},
        {"exact table colour", {quad(255, 0, 0), quad(0, 0, 255)}, RGB(0, 0, 255), 1, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        DibDC d(8, 3, 1, k.table);
        ASSERT_TRUE(d.ok());
        ASSERT_EQ(GetBkColor(d.dc()), RGB(255, 255, 255));
        d.fill(k.drawn ^ 1);
        HBRUSH brush = CreateSolidBrush(k.colour);
        HPEN pen = CreatePen(PS_SOLID, 1, k.colour);
        HGDIOBJ oldBrush = SelectObject(d.dc(), brush);
        HGDIOBJ oldPen = SelectObject(d.dc(), GetStockObject(NULL_PEN));
        Rectangle(d.dc(), 0, 0, 5, 2); // brush over x 0..3, row 0
        SelectObject(d.dc(), pen);
        MoveToEx(d.dc(), 0, 1, nullptr);
        LineTo(d.dc(), 4, 1); // pen over x 0..3, row 1
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(d.get(x, 0), k.drawn) << "brush " << x;
            EXPECT_EQ(d.get(x, 1), k.drawn) << "pen " << x;
        }
        EXPECT_EQ(d.get(4, 0), k.drawn ^ 1);
        SetPixel(d.dc(), 5, 2, k.colour);
        EXPECT_EQ(d.get(5, 2), k.setPixel);
        SelectObject(d.dc(), oldBrush);
        SelectObject(d.dc(), oldPen);
        DeleteObject(brush);
        DeleteObject(pen);
    }
}

TEST(PixelMonochrome, BitmapReadsBlackOrWhiteWhateverTheColours) {
    // Row 0: 11110000 00001111; row 1 all zero.
    MonoDC m(16, 2, {0xF0, 0x0F, 0x00, 0x00});
    ASSERT_TRUE(m.ok());
    SetTextColor(m.dc(), RGB(255, 0, 0));
    SetBkColor(m.dc(), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(m.dc(), 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(m.dc(), 4, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(m.dc(), 15, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(m.dc(), 15, 1), RGB(0, 0, 0));
    EXPECT_EQ(SetPixel(m.dc(), 3, 1, RGB(200, 200, 200)), RGB(255, 255, 255));
    EXPECT_EQ(m.get(3, 1), 1u);
    EXPECT_EQ(SetPixel(m.dc(), 2, 0, RGB(100, 90, 80)), RGB(0, 0, 0));
    EXPECT_EQ(m.get(2, 0), 0u);
    EXPECT_EQ(GetPixel(m.dc(), 16, 0), CLR_INVALID);
}

// Outside the surface or the clip region SetPixel writes nothing and returns
// -1, GetPixel returns CLR_INVALID; coordinates are logical.
TEST(PixelOutside, SurfaceClipAndWindowOrigin) {
    DibDC d(6, 4, 32);
    d.fill(0x111111);
    const POINT outside[] = {{-1, 0}, {0, -1}, {6, 0}, {0, 4}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 2}};
    for (const POINT &p : outside) {
        SCOPED_TRACE(::testing::Message() << p.x << "," << p.y);
        EXPECT_EQ(SetPixel(d.dc(), p.x, p.y, RGB(1, 2, 3)), (COLORREF)-1);
        EXPECT_FALSE(SetPixelV(d.dc(), p.x, p.y, RGB(1, 2, 3)));
        EXPECT_EQ(GetPixel(d.dc(), p.x, p.y), CLR_INVALID);
    }
    // Window origin (-2,-1): logical (0,0) is device (2,1), logical (-3,0) is off.
    SetWindowOrgEx(d.dc(), -2, -1, nullptr);
    EXPECT_EQ(SetPixel(d.dc(), 0, 0, RGB(0x10, 0x20, 0x30)), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(d.get(2, 1), 0x102030u);
    EXPECT_EQ(GetPixel(d.dc(), 0, 0), RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(SetPixel(d.dc(), -3, 0, 0), (COLORREF)-1);
    EXPECT_EQ(GetPixel(d.dc(), 4, 0), CLR_INVALID);
    EXPECT_TRUE(SetPixelV(d.dc(), 3, 2, RGB(0, 0, 0))); // device (5,3)
    EXPECT_EQ(d.get(5, 3), 0u);

    // The clip region, fixed in device space.
    ExcludeClipRect(d.dc(), 1, 1, 2, 2); // device (3,2)
    SetWindowOrgEx(d.dc(), 0, 0, nullptr);
    EXPECT_EQ(SetPixel(d.dc(), 3, 2, RGB(9, 9, 9)), (COLORREF)-1);
    EXPECT_FALSE(SetPixelV(d.dc(), 3, 2, RGB(9, 9, 9)));
    EXPECT_EQ(d.get(3, 2), 0x111111u);
    EXPECT_EQ(GetPixel(d.dc(), 3, 2), CLR_INVALID);
    EXPECT_EQ(SetPixel(d.dc(), 4, 2, RGB(9, 9, 9)), RGB(9, 9, 9));
    IntersectClipRect(d.dc(), 0, 0, 0, 0); // nothing left
    EXPECT_EQ(GetPixel(d.dc(), 4, 2), CLR_INVALID);
    SelectClipRgn(d.dc(), nullptr);
    EXPECT_EQ(GetPixel(d.dc(), 4, 2), RGB(9, 9, 9));

    // Everywhere else the picture is untouched.
    int changed = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) changed += d.get(x, y) != 0x111111u;
    EXPECT_EQ(changed, 3);
}

TEST(PixelOutside, BadHandles) {
    EXPECT_EQ(SetPixel(nullptr, 0, 0, 0), (COLORREF)-1);
    EXPECT_FALSE(SetPixelV(nullptr, 0, 0, 0));
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ(SetPixel(reinterpret_cast<HDC>(brush), 0, 0, 0), (COLORREF)-1);
    EXPECT_EQ(GetPixel(reinterpret_cast<HDC>(brush), 0, 0), CLR_INVALID);
    DeleteObject(brush);
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    EXPECT_EQ(SetPixel(gone, 0, 0, 0), (COLORREF)-1);
    EXPECT_EQ(GetPixel(gone, 0, 0), CLR_INVALID);
}

} // namespace
