// Graphics objects: handles, selection, ownership, bitmaps and palettes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "qvt/qvtdisplay.h"

namespace {

struct BitmapInfo256 {
    BITMAPINFOHEADER h;
    RGBQUAD colors[256];
};

HBITMAP makeDib(int w, int h, int bpp, void **bits = nullptr, DWORD compression = BI_RGB,
                std::vector<DWORD> masks = {}) {
    BitmapInfo256 bi{};
    bi.h.biSize = sizeof(BITMAPINFOHEADER);
    bi.h.biWidth = w;
    bi.h.biHeight = h;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = (WORD)bpp;
    bi.h.biCompression = compression;
    if (!masks.empty()) std::memcpy(bi.colors, masks.data(), masks.size() * 4);
    void *p = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&bi), DIB_RGB_COLORS, &p, nullptr, 0);
    if (bits) *bits = p;
    return bm;
}

class ObjectsTest : public ::testing::Test {
protected:
    void SetUp() override { baseline = QvtLiveGdiObjects(); }
    void TearDown() override { EXPECT_EQ(QvtLiveGdiObjects(), baseline) << "graphics objects leaked"; }
    int baseline = 0;
};

TEST_F(ObjectsTest, NewMemoryDCHasThePlatformDefaults) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
    EXPECT_EQ(GetPolyFillMode(dc), ALTERNATE);
    EXPECT_EQ(GetObjectType(dc), (DWORD)OBJ_MEMDC);
    // The stock bitmap is 1 x 1 monochrome, so a compatible bitmap made from
    // a fresh memory DC is monochrome too.
    BITMAP b{};
    ASSERT_EQ(GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof b, &b), (int)sizeof b);
    EXPECT_EQ(b.bmWidth, 1);
    EXPECT_EQ(b.bmBitsPixel, 1);
    HBITMAP mono = CreateCompatibleBitmap(dc, 10, 10);
    ASSERT_EQ(GetObjectA(mono, sizeof b, &b), (int)sizeof b);
    EXPECT_EQ(b.bmBitsPixel, 1);
    EXPECT_EQ(b.bmWidthBytes, 2); // device-dependent rows are padded to 16 bits
    DeleteObject(mono);
    // Modes: the previous value comes back, invalid ones change nothing.
    EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(SetStretchBltMode(dc, 0), 0);
    EXPECT_EQ(SetStretchBltMode(dc, 5), 0);
    EXPECT_EQ(GetStretchBltMode(dc), COLORONCOLOR);
    DeleteDC(dc);
}

TEST_F(ObjectsTest, SelectObjectReturnsThePreviousObjectOfTheSameKind) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP a = makeDib(4, 4, 32), b = makeDib(4, 4, 32);
    HBRUSH br = CreateSolidBrush(RGB(1, 2, 3));
    HGDIOBJ stockBm = SelectObject(dc, a);
    EXPECT_NE(stockBm, nullptr);
    EXPECT_EQ(SelectObject(dc, b), a);
    EXPECT_EQ(SelectObject(dc, br), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), br);
    // A bitmap is selected into one DC at a time.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, b), nullptr);
    SelectObject(dc, stockBm);
    EXPECT_NE(SelectObject(other, b), nullptr);
    DeleteDC(other);
    DeleteDC(dc);
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(br);
}

TEST_F(ObjectsTest, DeletingASelectedObjectWaitsUntilItIsDeselected) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = makeDib(8, 8, 32);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ oldBm = SelectObject(dc, bm);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_TRUE(DeleteObject(pen));
    // Still usable while selected.
    EXPECT_EQ(SetPixel(dc, 1, 1, RGB(0, 0, 255)), RGB(0, 0, 255));
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBm);
    EXPECT_EQ(GetObjectType(bm), 0u);
    EXPECT_EQ(GetObjectType(pen), 0u);
    DeleteDC(dc);
}

TEST_F(ObjectsTest, BadHandlesFailWithoutHarm) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH br = CreateSolidBrush(0);
    auto bogus = reinterpret_cast<HDC>(br); // a brush where a DC belongs
    EXPECT_EQ(SetTextColor(bogus, 0), CLR_INVALID);
    EXPECT_FALSE(DeleteDC(bogus));
    EXPECT_FALSE(BitBlt(bogus, 0, 0, 1, 1, dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, bogus, 0, 0, SRCCOPY));
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(dc)), nullptr);
    EXPECT_EQ(SelectObject(nullptr, br), nullptr);
    EXPECT_EQ(CreateCompatibleDC(bogus), nullptr);
    EXPECT_EQ(GetDeviceCaps(bogus, BITSPIXEL), 0);
    EXPECT_FALSE(DeleteObject(dc)); // DCs go through DeleteDC
    DeleteObject(br);
    EXPECT_FALSE(DeleteObject(br)); // already gone
    EXPECT_FALSE(DeleteObject(nullptr));
    DeleteDC(dc);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH))); // harmless
}

// A deleted object's handle stays wrong after its memory and its place in
// the object table are reused by a new object of the same kind.
TEST_F(ObjectsTest, StaleHandlesFailAfterTheirObjectsPlaceIsReused) {
    HBRUSH old = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_NE(old, nullptr);
    ASSERT_TRUE(DeleteObject(old));
    HBRUSH reused = CreateSolidBrush(RGB(4, 5, 6));
    ASSERT_NE(reused, nullptr);
    EXPECT_NE(reused, old);
    EXPECT_EQ(GetObjectType(old), 0u);
    EXPECT_FALSE(DeleteObject(old));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(dc, old), nullptr);
    EXPECT_EQ(GetObjectType(reused), static_cast<DWORD>(OBJ_BRUSH));
    // The same goes for device contexts.
    ASSERT_TRUE(DeleteDC(dc));
    HDC next = CreateCompatibleDC(nullptr);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GetObjectType(next), static_cast<DWORD>(OBJ_MEMDC));
    DeleteDC(next);
    DeleteObject(reused);
}

TEST_F(ObjectsTest, DibSectionsAreLaidOutBottomUpWith32BitRows) {
    struct Case {
        int w, bpp, stride;
    } cases[] = {{5, 1, 4}, {5, 4, 4}, {5, 8, 8}, {5, 16, 12}, {5, 24, 16}, {5, 32, 20}, {1, 24, 4}, {3, 1, 4}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << " px at " << c.bpp << " bpp");
        void *bits = nullptr;
        HBITMAP bm = makeDib(c.w, 3, c.bpp, &bits);
        ASSERT_NE(bm, nullptr);
        ASSERT_NE(bits, nullptr);
        DIBSECTION ds{};
        ASSERT_EQ(GetObjectA(bm, sizeof ds, &ds), (int)sizeof ds);
        EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
        EXPECT_EQ(ds.dsBm.bmBits, bits);
        DeleteObject(bm);
    }
    // Row 0 of a bottom-up section is the last in memory.
    void *bits = nullptr;
    HBITMAP bm = makeDib(2, 3, 32, &bits);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    SetPixel(dc, 1, 0, RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(static_cast<uint32_t *>(bits)[2 * 2 + 1], 0x123456u);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
}

TEST_F(ObjectsTest, DibSectionsStartZeroedAndAlignedAtEverySize) {
    // Small sections come from the heap, page-sized ones are mapped on their
    // own; either way the pixels start at zero, also in memory that an
    // earlier section just gave back.
    for (int w : {7, 640, 1920, 3000}) {
        SCOPED_TRACE(::testing::Message() << w << " px wide");
        for (int round = 0; round < 2; ++round) {
            void *bits = nullptr;
            HBITMAP bm = makeDib(w, 600, 32, &bits);
            ASSERT_NE(bm, nullptr);
            ASSERT_NE(bits, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bits) % 64, 0u);
            const size_t bytes = (size_t)w * 4 * 600;
            const auto *p = static_cast<const uint8_t *>(bits);
            EXPECT_EQ(std::count(p, p + bytes, uint8_t{0}), (std::ptrdiff_t)bytes);
            std::memset(bits, 0xA5, bytes);
            DeleteObject(bm);
        }
    }
}

TEST_F(ObjectsTest, DibSectionRefusesWhatItCannotHold) {
    EXPECT_EQ(makeDib(0, 4, 32), nullptr);
    EXPECT_EQ(makeDib(-4, 4, 32), nullptr);
    EXPECT_EQ(makeDib(4, 0, 32), nullptr);
    EXPECT_EQ(makeDib(4, 4, 7), nullptr);
    EXPECT_EQ(makeDib(100000, 100000, 32), nullptr); // would not fit in memory
    EXPECT_EQ(makeDib(60000, 60000, 32), nullptr);
    EXPECT_EQ(makeDib(4, 4, 16, nullptr, BI_BITFIELDS, {0xF000, 0x0FF0, 0x000F}), nullptr);
    EXPECT_EQ(makeDib(4, 4, 8, nullptr, BI_BITFIELDS, {0xE0, 0x1C, 0x03}), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
    HBITMAP b565 = makeDib(4, 4, 16, nullptr, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
    ASSERT_NE(b565, nullptr);
    DIBSECTION ds{};
    GetObjectA(b565, sizeof ds, &ds);
    EXPECT_EQ(ds.dsBitfields[1], 0x07E0u);
    DeleteObject(b565);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 4, 4), nullptr);
    EXPECT_EQ(CreateBitmap(-1, 4, 1, 1, nullptr), nullptr);
}

TEST_F(ObjectsTest, MonochromeBitmapBitsAreTopDownWith16BitRows) {
    // 10 pixels wide: two bytes per row; the first row is the top one.
    const BYTE bits[4] = {0xC0, 0x40, 0x01, 0x80};
    HBITMAP bm = CreateBitmap(10, 2, 1, 1, bits);
    ASSERT_NE(bm, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 9, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 7, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 8, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 9, 1), RGB(0, 0, 0));
    BYTE back[4] = {};
    EXPECT_EQ(GetBitmapBits(bm, sizeof back, back), 4);
    EXPECT_EQ(std::memcmp(back, bits, 4), 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
}

TEST_F(ObjectsTest, PalettesAndPaletteIndexColours) {
    struct {
        WORD version, count;
        PALETTEENTRY e[256];
    } lp{0x300, 256, {}};
    for (int i = 0; i < 256; ++i) lp.e[i] = PALETTEENTRY{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    HPALETTE grey = CreatePalette(reinterpret_cast<LOGPALETTE *>(&lp));
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(GetPaletteEntries(grey, 0, 0, nullptr), 256u);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = makeDib(2, 2, 32);
    HGDIOBJ old = SelectObject(dc, bm);
    // A fresh DC resolves palette indices through the 20-colour default palette.
    EXPECT_EQ(SetPixel(dc, 0, 0, PALETTEINDEX(5)), RGB(0x80, 0x00, 0x80));
    EXPECT_EQ(SelectPalette(dc, grey, FALSE), GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(SetPixel(dc, 0, 0, PALETTEINDEX(5)), RGB(5, 5, 5));
    EXPECT_EQ(SetPixel(dc, 0, 0, PALETTEINDEX(300)), RGB(0, 0, 0)); // past the end: entry 0
    EXPECT_EQ(SetPixel(dc, 0, 0, PALETTERGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(SelectPalette(dc, reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE), grey);
    EXPECT_EQ(GetNearestPaletteIndex(grey, RGB(200, 10, 10)), 73u);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
    DeleteObject(grey);
}

TEST_F(ObjectsTest, PatternBrushKeepsItsOwnCopyOfTheBitmap) {
    const WORD rows[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
    HBITMAP pat = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(pat);
    DeleteObject(pat);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bm = makeDib(8, 8, 32);
    HGDIOBJ old = SelectObject(dc, bm);
    RECT r{0, 0, 8, 8};
    FillRect(dc, &r, brush);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(GetPixel(dc, x, y), x == y ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x << "," << y;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
    DeleteObject(brush);
}

} // namespace
