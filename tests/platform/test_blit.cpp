// BitBlt, PatBlt, FillRect and the raster operations: results pinned to what
// the platform does, across the DIB formats where the pixel layout matters.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "gdi_fixture.h"
#include "qvt/qvtdisplay.h"

using namespace qvt::test;

namespace {

constexpr int kAllDepths[] = {1, 4, 8, 15, 16, 24, 32};

// Bits of a raw value that carry colour: bit 15 of 5-5-5 and the top byte
// of 32 bpp are unused and not compared.
uint32_t colourMask(int depth) {
    switch (depth) {
    case 1: return 0x1;
    case 4: return 0xF;
    case 8: return 0xFF;
    case 15: return 0x7FFF;
    case 16: return 0xFFFF;
    default: return 0xFFFFFF;
    }
}

// Each result bit looked up in the truth table by its (P, S, D) bits.
uint32_t refRop(uint8_t index, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const int k = (int)((((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1));
        r |= ((uint32_t)(index >> k) & 1u) << bit;
    }
    return r;
}

bool usesSource(uint8_t i) { return (((i >> 2) ^ i) & 0x33) != 0; }

uint32_t nextRandom(uint32_t &seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 7;
}

// The colour whose solid brush gives raw value v on this DIB.
COLORREF colourOfRaw(const DibDC &dib, uint32_t v) {
    switch (dib.depth()) {
    case 1:
    case 4:
    case 8: {
        RGBQUAD q{};
        GetDIBColorTable(dib.dc(), v, 1, &q);
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    case 15: return RGB(((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3);
    case 16: return RGB(((v >> 11) & 31) << 3, ((v >> 5) & 63) << 2, (v & 31) << 3);
    default: return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    }
}

// Every raw pixel of a DIB, row after row.
std::vector<uint32_t> pixels(const DibDC &d) {
    std::vector<uint32_t> out;
    for (int y = 0; y < d.height(); ++y) {
        auto r = d.rowValues(y);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

void fillRandom(DibDC &d, uint32_t seed) {
    const uint32_t mask = colourMask(d.depth());
    for (int y = 0; y < d.height(); ++y)
        for (int x = 0; x < d.width(); ++x) d.set(x, y, nextRandom(seed) & mask);
}

// A brush selected into a DC for the lifetime of the object.
class SelectedBrush {
public:
    SelectedBrush(HDC dc, HBRUSH brush) : dc_(dc), brush_(brush) { old_ = SelectObject(dc, brush); }
    ~SelectedBrush() {
        SelectObject(dc_, old_);
        DeleteObject(brush_);
    }
    SelectedBrush(const SelectedBrush &) = delete;
    SelectedBrush &operator=(const SelectedBrush &) = delete;

private:
    HDC dc_;
    HBRUSH brush_;
    HGDIOBJ old_;
};

// 8 x 8 monochrome bitmap with the bits (x, x) set: rows of 16 bits.
HBITMAP diagonalBitmap() {
    uint8_t bits[16] = {};
    for (int y = 0; y < 8; ++y) bits[2 * y] = (uint8_t)(0x80 >> y);
    return CreateBitmap(8, 8, 1, 1, bits);
}

HBRUSH diagonalBrush() {
    HBITMAP bm = diagonalBitmap();
    HBRUSH b = CreatePatternBrush(bm);
    DeleteObject(bm);
    return b;
}

int floorMod(int a, int m) { return ((a % m) + m) % m; }

// ---------------------------------------------------------------------------
// Raster operation codes

struct NamedRop {
    const char *name;
    DWORD code;
    uint32_t expected;
};

const NamedRop kNamedRops[] = {
    {"BLACKNESS", BLACKNESS, 0x00},   {"D & ~S", 0x00220326, 0x22},  {"NOTSRCCOPY", NOTSRCCOPY, 0x33},
    {"SRCERASE", SRCERASE, 0x44},     {"DSTINVERT", DSTINVERT, 0x55}, {"PATINVERT", PATINVERT, 0x5A},
    {"SRCINVERT", SRCINVERT, 0x66},   {"SRCAND", SRCAND, 0x88},       {"pattern select", 0x00AC0744, 0xAC},
    {"MERGECOPY", MERGECOPY, 0xC0},   {"SRCCOPY", SRCCOPY, 0xCC},     {"SRCPAINT", SRCPAINT, 0xEE},
    {"PATCOPY", PATCOPY, 0xF0},       {"WHITENESS", WHITENESS, 0xFF},
};

TEST(RopTable, NamedCodesOnPatternF0SourceCCDestinationAA) {
    for (const NamedRop &c : kNamedRops) {
        SCOPED_TRACE(c.name);
        DibDC src(21, 2, 8), dst(21, 2, 8);
        src.fill(0xCC);
        dst.fill(0xAA);
        SelectedBrush brush(dst.dc(), CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0)));
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 21, 2, src.dc(), 0, 0, c.code));
        EXPECT_EQ(pixels(dst), std::vector<uint32_t>(42, c.expected));
    }
}

// All 256 codes on every format, with rows long enough for vectorised loops
// and their tails, and two pattern values that together give every bit
// position both a 0 and a 1.
TEST(RopTable, EveryCodeFollowsItsTruthTableOnEveryFormat) {
    constexpr int kW = 37, kH = 2;
    for (int depth : kAllDepths) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const uint32_t mask = colourMask(depth);
        DibDC src(kW, kH, depth), dst(kW, kH, depth);
        uint32_t seed = 12345u + (uint32_t)depth;
        const uint32_t p1 = nextRandom(seed) & mask;
        for (uint32_t p : {p1, ~p1 & mask}) {
            SelectedBrush brush(dst.dc(), CreateSolidBrush(colourOfRaw(dst, p)));
            for (int index = 0; index < 256; ++index) {
                fillRandom(src, seed + (uint32_t)index);
                fillRandom(dst, seed * 7u + (uint32_t)index);
                const auto s = pixels(src), d = pixels(dst);
                ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, kW, kH, src.dc(), 0, 0, (DWORD)index << 16)) << index;
                const auto out = pixels(dst);
                for (size_t i = 0; i < out.size(); ++i) {
                    const uint32_t want = refRop((uint8_t)index, p, s[i], d[i]) & mask;
                    if ((out[i] & mask) != want) {
                        ADD_FAILURE() << "code " << std::hex << index << " pixel " << std::dec << i << " p " << p
                                      << " s " << s[i] << " d " << d[i] << ": got " << out[i] << " want " << want;
                        break;
                    }
                }
            }
        }
    }
}

TEST(RopTable, PatBltRunsCodesWithoutSourceAndRefusesTheOthers) {
    constexpr int kW = 19;
    for (int depth : {1, 8, 16, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const uint32_t mask = colourMask(depth);
        DibDC dst(kW, 1, depth);
        uint32_t seed = 99u + (uint32_t)depth;
        const uint32_t p = nextRandom(seed) & mask;
        SelectedBrush brush(dst.dc(), CreateSolidBrush(colourOfRaw(dst, p)));
        for (int index = 0; index < 256; ++index) {
            fillRandom(dst, seed + (uint32_t)index);
            const auto d = pixels(dst);
            const BOOL ok = PatBlt(dst.dc(), 0, 0, kW, 1, (DWORD)index << 16);
            const auto out = pixels(dst);
            if (usesSource((uint8_t)index)) {
                EXPECT_FALSE(ok) << index;
                EXPECT_EQ(out, d) << index;
                continue;
            }
            EXPECT_TRUE(ok) << index;
            for (size_t i = 0; i < out.size(); ++i)
                EXPECT_EQ(out[i] & mask, refRop((uint8_t)index, p, 0, d[i]) & mask) << "code " << index;
        }
    }
}

// Operations act on colour-table indices, not on colours.
TEST(RopTable, OperationsActOnIndicesOfPalettedFormats) {
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; ++i) table[(size_t)i] = quad((uint8_t)(i * 37), (uint8_t)(255 - i), (uint8_t)(i / 3));
    struct Case {
        int depth;
        uint32_t srcIndex, expected;
    } cases[] = {{8, 10, 245}, {4, 10, 5}, {1, 0, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        std::vector<RGBQUAD> t(table.begin(), table.begin() + (1 << c.depth));
        DibDC src(3, 1, c.depth, t), dst(3, 1, c.depth, t);
        src.fill(c.srcIndex);
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 3, 1, src.dc(), 0, 0, NOTSRCCOPY));
        EXPECT_EQ(dst.rowValues(0), std::vector<uint32_t>(3, c.expected));
    }
}

// ---------------------------------------------------------------------------
// Arguments

class BlitArgs : public ::testing::Test {
protected:
    BlitArgs() : src(8, 8, 32), dst(8, 8, 32) {
        src.fill(0x112233);
        dst.fill(0x445566);
    }
    DibDC src, dst;
};

TEST_F(BlitArgs, BadInputFailsAndDrawsNothing) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HDC dead = CreateCompatibleDC(nullptr);
    DeleteDC(dead);
    const RECT r{0, 0, 4, 4};
    HDC d = dst.dc(), s = src.dc();
    struct Case {
        const char *what;
        std::function<BOOL()> call;
    } cases[] = {
        {"BitBlt without destination", [&] { return BitBlt(nullptr, 0, 0, 4, 4, s, 0, 0, SRCCOPY); }},
        {"BitBlt onto a brush", [&] { return BitBlt(reinterpret_cast<HDC>(brush), 0, 0, 4, 4, s, 0, 0, SRCCOPY); }},
        {"BitBlt onto a deleted DC", [&] { return BitBlt(dead, 0, 0, 4, 4, s, 0, 0, SRCCOPY); }},
        {"BitBlt SRCCOPY without source", [&] { return BitBlt(d, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY); }},
        {"BitBlt from a pen", [&] { return BitBlt(d, 0, 0, 4, 4, reinterpret_cast<HDC>(pen), 0, 0, SRCAND); }},
        {"BitBlt from a deleted DC", [&] { return BitBlt(d, 0, 0, 4, 4, dead, 0, 0, 0x00AC0744); }},
        {"PatBlt with a source code", [&] { return PatBlt(d, 0, 0, 4, 4, SRCCOPY); }},
        {"PatBlt without DC", [&] { return PatBlt(nullptr, 0, 0, 4, 4, PATCOPY); }},
        {"StretchBlt without source", [&] { return StretchBlt(d, 0, 0, 8, 8, nullptr, 0, 0, 4, 4, SRCCOPY); }},
        {"StretchBlt from nothing", [&] { return StretchBlt(d, 0, 0, 8, 8, s, 0, 0, 0, 4, SRCCOPY); }},
        {"StretchBlt to nothing", [&] { return StretchBlt(d, 0, 0, 8, 0, s, 0, 0, 4, 4, SRCCOPY); }},
        {"FillRect without rectangle", [&] { return (BOOL)FillRect(d, nullptr, brush); }},
        {"FillRect without brush", [&] { return (BOOL)FillRect(d, &r, nullptr); }},
        {"FillRect with a pen", [&] { return (BOOL)FillRect(d, &r, reinterpret_cast<HBRUSH>(pen)); }},
        {"FillRect without DC", [&] { return (BOOL)FillRect(nullptr, &r, brush); }},
    };
    const auto before = pixels(dst);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(pixels(dst), before);
    }
    DeleteObject(brush);
    DeleteObject(pen);
}

TEST_F(BlitArgs, EmptyWorkSucceedsWithoutDrawing) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const RECT inverted{5, 1, 2, 6}, upsideDown{1, 6, 5, 2}, empty{3, 3, 3, 7}, whole{0, 0, 8, 8};
    HDC d = dst.dc(), s = src.dc();
    struct Case {
        const char *what;
        std::function<BOOL()> call;
    } cases[] = {
        {"BitBlt zero width", [&] { return BitBlt(d, 0, 0, 0, 4, s, 0, 0, SRCCOPY); }},
        {"BitBlt zero height", [&] { return BitBlt(d, 0, 0, 4, 0, s, 0, 0, SRCCOPY); }},
        {"BitBlt beside the destination", [&] { return BitBlt(d, 8, 0, 4, 4, s, 0, 0, SRCCOPY); }},
        {"BitBlt far away", [&] { return BitBlt(d, INT_MAX - 2, INT_MIN, 100, 100, s, 0, 0, SRCCOPY); }},
        {"BitBlt from beside the source", [&] { return BitBlt(d, 0, 0, 4, 4, s, -4, 0, SRCCOPY); }},
        {"BitBlt from far away", [&] { return BitBlt(d, 0, 0, 4, 4, s, INT_MIN, INT_MAX, SRCCOPY); }},
        {"PatBlt zero size", [&] { return PatBlt(d, 0, 0, 0, 0, PATCOPY); }},
        {"StretchBlt zero by zero", [&] { return StretchBlt(d, 0, 0, 0, 0, s, 0, 0, 0, 0, SRCCOPY); }},
        {"FillRect inverted", [&] { return (BOOL)FillRect(d, &inverted, brush); }},
        {"FillRect upside down", [&] { return (BOOL)FillRect(d, &upsideDown, brush); }},
        {"FillRect empty", [&] { return (BOOL)FillRect(d, &empty, brush); }},
        {"PatBlt with the null brush", [&] { return PatBlt(d, 0, 0, 8, 8, PATCOPY); }},
        {"BitBlt pattern code with the null brush", [&] { return BitBlt(d, 0, 0, 8, 8, s, 0, 0, 0x00AC0744); }},
        {"FillRect with the null brush", [&] { return (BOOL)FillRect(d, &whole, (HBRUSH)GetStockObject(NULL_BRUSH)); }},
    };
    HGDIOBJ old = SelectObject(d, GetStockObject(NULL_BRUSH));
    const auto before = pixels(dst);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(c.call());
        EXPECT_EQ(pixels(dst), before);
    }
    SelectObject(d, old);
    DeleteObject(brush);
}

TEST_F(BlitArgs, SourceIsIgnoredWhenTheCodeDoesNotUseIt) {
    SelectedBrush brush(dst.dc(), CreateSolidBrush(RGB(0x0A, 0x0B, 0x0C)));
    HDC notADC = reinterpret_cast<HDC>(src.bitmap());
    EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 8, nullptr, 0, 0, PATCOPY));
    EXPECT_TRUE(BitBlt(dst.dc(), 4, 0, 4, 8, notADC, 0, 0, DSTINVERT));
    EXPECT_TRUE(StretchBlt(dst.dc(), 0, 7, 8, 1, nullptr, 0, 0, 0, 0, BLACKNESS));
    for (int y = 0; y < 7; ++y) {
        SCOPED_TRACE(y);
        EXPECT_EQ(dst.get(0, y), 0x0A0B0Cu);
        EXPECT_EQ(dst.get(7, y) & 0xFFFFFF, 0xBBAA99u);
    }
    EXPECT_EQ(dst.rowValues(7), std::vector<uint32_t>(8, 0));
}

// ---------------------------------------------------------------------------
// Pattern brushes

// 0x00AC0744 with the diagonal pattern keeps the destination on the diagonal
// cells and takes the source elsewhere. Cells are counted from the brush
// origin in device pixels; the window origin moves the drawing, not the
// pattern.
TEST(BlitPattern, DiagonalPatternSelectsSourceOrDestination) {
    struct Case {
        const char *what;
        POINT windowOrg, brushOrg;
        RECT logical; // x, y, width, height of the blit
    } cases[] = {
        {"plain", {0, 0}, {0, 0}, {0, 0, 16, 12}},
        {"window origin (-2,0)", {-2, 0}, {0, 0}, {0, 0, 8, 8}},
        {"brush origin (3,0)", {0, 0}, {3, 0}, {0, 0, 16, 12}},
        {"both moved", {3, -2}, {5, 6}, {1, 4, 9, 7}},
        {"negative brush origin", {0, 0}, {-3, -1}, {2, 1, 13, 11}},
    };
    for (int depth : kAllDepths) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        // Black and white must be pixel values of all 0 and all 1 bits: the
        // grey ramps have black first and white last.
        const bool paletted = depth <= 8;
        const uint32_t s = depth == 1 ? 1 : paletted ? 5 : directRaw(depth, RGB(0, 255, 0));
        const uint32_t d = depth == 1 ? 0 : paletted ? 9 : directRaw(depth, RGB(0, 0, 255));
        const uint32_t outside = depth == 1 ? 1 : paletted ? 3 : directRaw(depth, RGB(255, 0, 0));
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            DibDC src(24, 20, depth), dst(20, 14, depth);
            src.fill(s);
            dst.fill(outside);
            const int dx0 = c.logical.left - c.windowOrg.x, dy0 = c.logical.top - c.windowOrg.y;
            for (int y = dy0; y < dy0 + c.logical.bottom; ++y)
                for (int x = dx0; x < dx0 + c.logical.right; ++x)
                    if (x >= 0 && y >= 0 && x < dst.width() && y < dst.height()) dst.set(x, y, d);
            SelectedBrush brush(dst.dc(), diagonalBrush());
            SetWindowOrgEx(dst.dc(), c.windowOrg.x, c.windowOrg.y, nullptr);
            SetBrushOrgEx(dst.dc(), c.brushOrg.x, c.brushOrg.y, nullptr);
            EXPECT_TRUE(BitBlt(dst.dc(), c.logical.left, c.logical.top, c.logical.right, c.logical.bottom, src.dc(),
                               0, 0, 0x00AC0744));
            for (int y = 0; y < dst.height(); ++y) {
                std::vector<uint32_t> want((size_t)dst.width());
                for (int x = 0; x < dst.width(); ++x) {
                    const bool inside = x >= dx0 && x < dx0 + c.logical.right && y >= dy0 && y < dy0 + c.logical.bottom;
                    const bool diagonal = floorMod(x - c.brushOrg.x, 8) == floorMod(y - c.brushOrg.y, 8);
                    want[(size_t)x] = !inside ? outside : diagonal ? d : s;
                }
                EXPECT_EQ(dst.rowValues(y), want) << "row " << y;
            }
        }
    }
}

// A monochrome pattern draws its 0 bits in the text colour and its 1 bits in
// the background colour of the DC it is drawn through.
TEST(BlitPattern, MonochromePatternTakesTextAndBackgroundColours) {
    DibDC dst(10, 9, 32);
    HBRUSH diag = diagonalBrush();
    SetTextColor(dst.dc(), RGB(255, 0, 0));
    SetBkColor(dst.dc(), RGB(255, 255, 255));
    const RECT r{0, 0, 10, 9};
    EXPECT_TRUE(FillRect(dst.dc(), &r, diag));
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(dst.get(x, y), x % 8 == y % 8 ? 0xFFFFFFu : 0xFF0000u) << x << "," << y;
    DeleteObject(diag);
}

// ---------------------------------------------------------------------------
// Conversions between formats

// Monochrome DDB sources take the destination DC's colours: 0 bits the text
// colour, 1 bits the background colour; the source DC's colours play no part.
TEST(BlitMono, DdbSourceTakesDestinationColours) {
    struct Case {
        int depth;
        uint32_t d;
    } cases[] = {{8, 0x5A}, {15, 0x1234}, {16, 0x9234}, {24, 0x123456}, {32, 0x123456}};
    for (const Case &c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth));
        MonoDC src(4, 1, {0xA0, 0x00}); // bits 1, 0, 1, 0
        SetTextColor(src.dc(), RGB(0, 255, 0));
        SetBkColor(src.dc(), RGB(255, 255, 0));
        DibDC dst(4, 1, c.depth);
        dst.fill(c.d);
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCAND));
        EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{c.d, 0, c.d, 0}));
        dst.fill(c.d);
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, 0x00220326));
        EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{0, c.d, 0, c.d}));
    }
    MonoDC src(4, 1, {0xA0, 0x00});
    SetTextColor(src.dc(), RGB(0, 255, 0));
    SetBkColor(src.dc(), RGB(255, 255, 0));
    DibDC dst(4, 1, 32);
    SetTextColor(dst.dc(), RGB(255, 0, 0));
    SetBkColor(dst.dc(), RGB(0, 0, 255));
    EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{0x0000FF, 0xFF0000, 0x0000FF, 0xFF0000}));
}

TEST(BlitMono, ColourIntoDdbFollowsTheSourceBackground) {
    const COLORREF colours[] = {RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 0), RGB(128, 128, 128)};
    struct Case {
        COLORREF bk;
        std::vector<uint32_t> bits;
    } cases[] = {{RGB(255, 255, 255), {1, 0, 0, 0}}, {RGB(255, 0, 0), {0, 1, 0, 0}}};
    for (int depth : {15, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        DibDC src(4, 1, depth);
        for (int x = 0; x < 4; ++x) src.set(x, 0, directRaw(depth, colours[x]));
        for (const Case &c : cases) {
            MonoDC dst(4, 1);
            SetBkColor(src.dc(), c.bk);
            SetBkColor(dst.dc(), RGB(0, 0, 0)); // the destination's colours play no part
            EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY));
            std::vector<uint32_t> got;
            for (int x = 0; x < 4; ++x) got.push_back(dst.get(x, 0));
            EXPECT_EQ(got, c.bits);
        }
    }
}

TEST(BlitConvert, ColourIntoOneBitDibTakesTheNearestEntry) {
    const COLORREF colours[] = {RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 0), RGB(128, 128, 128)};
    for (int depth : {15, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        DibDC src(4, 1, depth);
        for (int x = 0; x < 4; ++x) src.set(x, 0, directRaw(depth, colours[x]));
        SetBkColor(src.dc(), RGB(255, 0, 0)); // the background colour plays no part
        DibDC dst(4, 1, 1);
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY));
        EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{1, 0, 0, 1}));
    }
}

// 1- and 4-bit tables are matched by the exact colour, not by its 5-bit
// bucket: RGB(119, 170, 95) is nearer white than black, while its bucket
// centre (116, 172, 92) is nearer black. A gradient onto 16 colours is
// checked against the nearest entry of each pixel's own colour.
TEST(BlitConvert, ColourIntoOneAndFourBitDibsMatchesTheExactColour) {
    DibDC one(1, 1, 32), toMono(1, 1, 1, {quad(0, 0, 0), quad(255, 255, 255)});
    one.set(0, 0, directRaw(32, RGB(119, 170, 95)));
    ASSERT_TRUE(BitBlt(toMono.dc(), 0, 0, 1, 1, one.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(toMono.get(0, 0), 1u);

    const std::vector<RGBQUAD> vga = {quad(0, 0, 0),       quad(128, 0, 0),   quad(0, 128, 0),   quad(128, 128, 0),
                                      quad(0, 0, 128),     quad(128, 0, 128), quad(0, 128, 128), quad(192, 192, 192),
                                      quad(128, 128, 128), quad(255, 0, 0),   quad(0, 255, 0),   quad(255, 255, 0),
                                      quad(0, 0, 255),     quad(255, 0, 255), quad(0, 255, 255), quad(255, 255, 255)};
    const int w = 256, h = 8;
    DibDC gradient(w, h, 24), dst(w, h, 4, vga);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) gradient.set(x, y, directRaw(24, RGB(x, (x * 7 + y * 31) & 255, 255 - x)));
    ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, w, h, gradient.dc(), 0, 0, SRCCOPY));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int r = x, g = (x * 7 + y * 31) & 255, b = 255 - x;
            uint32_t best = 0;
            int bestDistance = 1 << 30;
            for (uint32_t i = 0; i < 16; ++i) {
                const int dr = vga[i].rgbRed - r, dg = vga[i].rgbGreen - g, db = vga[i].rgbBlue - b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) bestDistance = d, best = i;
            }
            wrong += dst.get(x, y) != best;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(BlitConvert, DirectToSixteenBitsDropsLowBits) {
    struct Case {
        COLORREF c;
        uint32_t raw555, raw565;
    } cases[] = {
        {RGB(7, 7, 7), 0x0000, 0x0020},
        {RGB(0x87, 0x43, 0x21), 0x4104, 0x8204},
        {RGB(8, 4, 8), 0x0401, 0x0821},
        {RGB(255, 255, 255), 0x7FFF, 0xFFFF},
        {RGB(255, 0, 0), 0x7C00, 0xF800},
    };
    for (int srcDepth : {24, 32}) {
        SCOPED_TRACE("from depth " + std::to_string(srcDepth));
        DibDC src(5, 1, srcDepth), d555(5, 1, 15), d565(5, 1, 16);
        for (int x = 0; x < 5; ++x) src.set(x, 0, directRaw(srcDepth, cases[x].c));
        EXPECT_TRUE(BitBlt(d555.dc(), 0, 0, 5, 1, src.dc(), 0, 0, SRCCOPY));
        EXPECT_TRUE(BitBlt(d565.dc(), 0, 0, 5, 1, src.dc(), 0, 0, SRCCOPY));
        for (int x = 0; x < 5; ++x) {
            SCOPED_TRACE(x);
            EXPECT_EQ(d555.get(x, 0), cases[x].raw555);
            EXPECT_EQ(d565.get(x, 0), cases[x].raw565);
        }
    }
}

// 24-bit pixels copied into 32-bit ones keep their three colour bytes and
// get a zero top byte, on rows long enough for the wide steps and with a
// ragged end; pixels outside the rectangle are left alone.
TEST(BlitConvert, TwentyFourBitsToThirtyTwoKeepTheColourBytes) {
    for (int width : {5, 17, 18, 53}) {
        SCOPED_TRACE(width);
        DibDC src(width + 3, 3, 24), dst(width + 4, 3, 32);
        fillRandom(src, 5u + (uint32_t)width);
        dst.fill(0xFFFFFFFFu);
        EXPECT_TRUE(BitBlt(dst.dc(), 2, 0, width, 3, src.dc(), 1, 0, SRCCOPY));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < dst.width(); ++x) {
                const bool inside = x >= 2 && x < 2 + width;
                ASSERT_EQ(dst.get(x, y), inside ? src.get(x - 1, y) & 0xFFFFFFu : 0xFFFFFFFFu) << x << "," << y;
            }
    }
}

TEST(BlitConvert, SixteenBitsToDirectReplicatesTopBits) {
    struct Case {
        int depth;
        uint32_t raw, rgb;
    } cases[] = {
        {15, 0x4104, 0x844221}, {15, 0x0401, 0x080008}, {15, 0x7FFF, 0xFFFFFF},
        {16, 0x8204, 0x844121}, {16, 0x0821, 0x080408}, {16, 0xFFFF, 0xFFFFFF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.raw);
        DibDC src(2, 1, c.depth), d24(2, 1, 24), d32(2, 1, 32);
        src.fill(c.raw);
        EXPECT_TRUE(BitBlt(d24.dc(), 0, 0, 2, 1, src.dc(), 0, 0, SRCCOPY));
        EXPECT_TRUE(BitBlt(d32.dc(), 0, 0, 2, 1, src.dc(), 0, 0, SRCCOPY));
        EXPECT_EQ(d24.get(1, 0), c.rgb);
        EXPECT_EQ(d32.get(1, 0) & 0xFFFFFF, c.rgb);
    }
}

// Direct colours reach a paletted destination through 5-bit bucket centres.
TEST(BlitConvert, DirectToGreyTableMatchesBucketCentres) {
    struct Case {
        COLORREF c;
        uint32_t index;
    } cases[] = {{RGB(127, 127, 127), 124}, {RGB(128, 128, 128), 132}, {RGB(10, 11, 12), 12}, {RGB(255, 0, 0), 87}};
    for (int depth : {15, 16, 24, 32}) {
        SCOPED_TRACE("from depth " + std::to_string(depth));
        DibDC src(4, 1, depth), dst(4, 1, 8);
        for (int x = 0; x < 4; ++x) src.set(x, 0, directRaw(depth, cases[x].c));
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, SRCCOPY));
        EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{124, 132, 12, 87}));
    }
}

TEST(BlitConvert, PalettedSourcesTranslateThroughTables) {
    std::vector<RGBQUAD> withDuplicates = greyTable(8);
    withDuplicates[7] = withDuplicates[3];
    std::vector<RGBQUAD> reversed(256);
    for (int i = 0; i < 256; ++i)
        reversed[(size_t)i] = quad((uint8_t)(255 - i), (uint8_t)(255 - i), (uint8_t)(255 - i));
    struct Case {
        const char *what;
        int srcDepth;
        std::vector<RGBQUAD> srcTable;
        int dstDepth;
        std::vector<RGBQUAD> dstTable;
        std::vector<uint32_t> in, out;
    } cases[] = {
        {"identical tables keep indices", 8, withDuplicates, 8, withDuplicates, {7, 3, 200}, {7, 3, 200}},
        {"grey to reversed grey", 8, greyTable(8), 8, reversed, {10, 0, 255}, {245, 255, 0}},
        {"one bit with its own colours",
         1,
         {quad(0, 255, 0), quad(0, 0, 255)},
         32,
         {},
         {0, 1, 1},
         {0x00FF00, 0x0000FF, 0x0000FF}},
        {"four-bit grey to eight-bit grey", 4, greyTable(4), 8, greyTable(8), {0, 1, 15}, {0, 17, 255}},
        {"eight-bit grey to four-bit grey", 8, greyTable(8), 4, greyTable(4), {128, 8, 9}, {8, 0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int n = (int)c.in.size();
        DibDC src(n, 1, c.srcDepth, c.srcTable), dst(n, 1, c.dstDepth, c.dstTable);
        src.setRow(0, c.in);
        SetTextColor(dst.dc(), RGB(255, 0, 0)); // DC colours only matter for monochrome DDBs
        SetBkColor(dst.dc(), RGB(255, 0, 255));
        EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, n, 1, src.dc(), 0, 0, SRCCOPY));
        auto got = dst.rowValues(0);
        for (auto &v : got) v &= colourMask(c.dstDepth);
        EXPECT_EQ(got, c.out);
    }
}

// ---------------------------------------------------------------------------
// Geometry

constexpr uint32_t kUntouched = 99;

TEST(BlitGeometry, SourceOutsideTheBitmapIsNotRead) {
    DibDC src(4, 4, 8, {}, true), dst(6, 6, 8);
    for (int y = 0; y < 4; ++y) src.setRow(y, {0, 1, 2, 3});
    dst.fill(kUntouched);
    EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 6, 1, src.dc(), -1, 0, SRCCOPY));
    EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{kUntouched, 0, 1, 2, 3, kUntouched}));
    // The same vertically: rows -1 and 4 of the source do not exist.
    DibDC column(1, 4, 8);
    for (int y = 0; y < 4; ++y) column.set(0, y, (uint32_t)y);
    EXPECT_TRUE(BitBlt(dst.dc(), 5, 0, 1, 6, column.dc(), 0, -1, SRCCOPY));
    std::vector<uint32_t> got;
    for (int y = 0; y < 6; ++y) got.push_back(dst.get(5, y));
    EXPECT_EQ(got, (std::vector<uint32_t>{kUntouched, 0, 1, 2, 3, kUntouched}));
}

TEST(BlitGeometry, OverlapBehavesAsIfTheSourceWereCopiedFirst) {
    struct Case {
        int from, to;
        std::vector<uint32_t> out;
    } cases[] = {{0, 2, {0, 1, 0, 1, 2, 3, 4, 7}}, {2, 0, {2, 3, 4, 5, 6, 5, 6, 7}}};
    for (int depth : {4, 8, 15, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        for (const Case &c : cases) {
            DibDC d(8, 1, depth);
            d.setRow(0, {0, 1, 2, 3, 4, 5, 6, 7});
            EXPECT_TRUE(BitBlt(d.dc(), c.to, 0, 5, 1, d.dc(), c.from, 0, SRCCOPY));
            EXPECT_EQ(d.rowValues(0), c.out);
        }
    }
}

// Random pictures blitted through many rectangles, checked against a model:
// each destination pixel inside the (clipped) destination rectangle whose
// source pixel exists becomes rop(source, destination); every other pixel
// keeps its value.
struct ModelCase {
    const char *what;
    POINT dstOrg, srcOrg;
    int x, y, w, h, sx, sy;
    bool sameSurface;
    RECT excluded; // device rectangle removed from the destination's clip region
};

const ModelCase kModelCases[] = {
    {"inside", {0, 0}, {0, 0}, 3, 2, 10, 7, 1, 1, false, {}},
    {"odd offsets", {0, 0}, {0, 0}, 5, 1, 17, 9, 3, 6, false, {}},
    {"larger than both", {0, 0}, {0, 0}, -5, -3, 40, 30, -2, -4, false, {}},
    {"negative extents", {0, 0}, {0, 0}, 20, 15, -9, -6, 12, 9, false, {}},
    {"window origins", {-3, 2}, {4, -1}, 0, 0, 15, 11, 5, 0, false, {}},
    {"clipped", {0, 0}, {0, 0}, 0, 0, 29, 19, 0, 0, false, {5, 3, 12, 9}},
    {"clipped with origins", {2, 2}, {-1, 0}, 0, 0, 25, 15, 0, 0, false, {0, 0, 6, 19}},
    {"huge width", {0, 0}, {0, 0}, -10, 2, INT_MAX, 5, 0, 0, false, {}},
    {"most negative width", {0, 0}, {0, 0}, 5, 2, INT_MIN, 5, 7, 0, false, {}},
    {"far beyond", {0, 0}, {0, 0}, INT_MAX - 3, 0, 10, 5, 0, 0, false, {}},
    {"same surface right and down", {0, 0}, {0, 0}, 2, 1, 20, 12, 0, 0, true, {}},
    {"same surface left and up", {0, 0}, {0, 0}, 0, 0, 20, 12, 3, 2, true, {}},
    {"same surface one row down", {0, 0}, {0, 0}, 0, 1, 29, 18, 0, 0, true, {}},
    {"same surface one pixel right", {0, 0}, {0, 0}, 1, 0, 28, 19, 0, 0, true, {}},
    {"same surface clipped", {0, 0}, {0, 0}, 1, 1, 28, 18, 0, 0, true, {4, 0, 9, 19}},
};

const DWORD kModelRops[] = {SRCCOPY, SRCAND, SRCPAINT, 0x00220326, NOTSRCCOPY, SRCINVERT, SRCERASE};

TEST(BlitModel, RectanglesMatchTheCopyModelOnEveryFormat) {
    for (int depth : kAllDepths) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const uint32_t mask = colourMask(depth);
        for (const ModelCase &c : kModelCases) {
            SCOPED_TRACE(c.what);
            for (DWORD rop : kModelRops) {
                SCOPED_TRACE(rop);
                DibDC dst(29, 19, depth), other(23, 17, depth);
                const DibDC &src = c.sameSurface ? dst : other;
                fillRandom(dst, 7u + (uint32_t)depth);
                fillRandom(other, 11u + (uint32_t)depth);
                const auto before = pixels(dst), srcBefore = pixels(src);
                SetWindowOrgEx(dst.dc(), c.dstOrg.x, c.dstOrg.y, nullptr);
                if (!c.sameSurface) SetWindowOrgEx(other.dc(), c.srcOrg.x, c.srcOrg.y, nullptr);
                const POINT srcOrg = c.sameSurface ? c.dstOrg : c.srcOrg;
                const bool clipped = c.excluded.right > c.excluded.left;
                if (clipped) {
                    HRGN all = CreateRectRgn(0, 0, 29, 19), cut = CreateRectRgn(c.excluded.left, c.excluded.top,
                                                                                 c.excluded.right, c.excluded.bottom);
                    CombineRgn(all, all, cut, RGN_DIFF);
                    SelectClipRgn(dst.dc(), all);
                    DeleteObject(all);
                    DeleteObject(cut);
                }
                EXPECT_TRUE(BitBlt(dst.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, rop));

                // Covered device pixels: origin + extent + 1 .. origin for negative extents.
                int64_t x0 = c.x, y0 = c.y, sx0 = c.sx, sy0 = c.sy, w = c.w, h = c.h;
                if (w < 0) x0 += w + 1, sx0 += w + 1, w = -w;
                if (h < 0) y0 += h + 1, sy0 += h + 1, h = -h;
                x0 -= c.dstOrg.x, y0 -= c.dstOrg.y, sx0 -= srcOrg.x, sy0 -= srcOrg.y;
                std::vector<uint32_t> want = before;
                for (int y = 0; y < dst.height(); ++y)
                    for (int x = 0; x < dst.width(); ++x) {
                        const int64_t i = x - x0, j = y - y0;
                        if (i < 0 || i >= w || j < 0 || j >= h) continue;
                        const int64_t sx = sx0 + i, sy = sy0 + j;
                        if (sx < 0 || sy < 0 || sx >= src.width() || sy >= src.height()) continue;
                        if (clipped && x >= c.excluded.left && x < c.excluded.right && y >= c.excluded.top &&
                            y < c.excluded.bottom)
                            continue;
                        const size_t at = (size_t)y * dst.width() + x;
                        want[at] =
                            refRop((uint8_t)(rop >> 16), 0, srcBefore[(size_t)sy * src.width() + sx], before[at]);
                    }
                auto got = pixels(dst);
                for (auto &v : got) v &= mask;
                for (auto &v : want) v &= mask;
                EXPECT_EQ(got, want);
            }
        }
    }
}

TEST(BlitGeometry, ClipRegionOfTheSourceIsIgnored) {
    DibDC src(6, 6, 32), dst(6, 6, 32);
    src.fill(0x010203);
    ExcludeClipRect(src.dc(), 0, 0, 6, 6);
    IntersectClipRect(dst.dc(), 1, 1, 5, 5);
    EXPECT_TRUE(BitBlt(dst.dc(), 0, 0, 6, 6, src.dc(), 0, 0, SRCCOPY));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(dst.get(x, y), (x >= 1 && x < 5 && y >= 1 && y < 5) ? 0x010203u : 0u) << x << "," << y;
}

// ---------------------------------------------------------------------------
// PatBlt and FillRect

TEST(BlitFill, NegativePatBltExtentsIncludeTheOriginPixel) {
    struct Case {
        int x, y, w, h;
        RECT filled; // device pixels, right and bottom exclusive
        POINT windowOrg;
    } cases[] = {
        {7, 5, -6, -4, {2, 2, 8, 6}, {0, 0}},
        {3, 3, -1, -1, {3, 3, 4, 4}, {0, 0}},
        {2, 1, 3, 2, {2, 1, 5, 3}, {0, 0}},
        {4, 6, -3, 2, {2, 6, 5, 8}, {0, 0}},
        {7, 5, -6, -4, {4, 3, 10, 7}, {-2, -1}},
    };
    for (int depth : {1, 4, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
            DibDC dst(12, 10, depth);
            dst.fill(1);
            SetWindowOrgEx(dst.dc(), c.windowOrg.x, c.windowOrg.y, nullptr);
            SelectedBrush brush(dst.dc(), CreateSolidBrush(RGB(0, 0, 0)));
            EXPECT_TRUE(PatBlt(dst.dc(), c.x, c.y, c.w, c.h, PATCOPY));
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x) {
                    const bool in =
                        x >= c.filled.left && x < c.filled.right && y >= c.filled.top && y < c.filled.bottom;
                    EXPECT_EQ(dst.get(x, y), in ? 0u : 1u) << x << "," << y;
                }
        }
    }
}

TEST(BlitFill, FillRectUsesTheGivenBrushClipAndOrigins) {
    DibDC dst(12, 10, 32);
    SelectedBrush selected(dst.dc(), CreateSolidBrush(RGB(0, 0, 255)));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH diag = diagonalBrush();
    SetWindowOrgEx(dst.dc(), -1, -2, nullptr);
    ExcludeClipRect(dst.dc(), 0, 0, 2, 1); // device x 1..2, y 2
    SetBrushOrgEx(dst.dc(), 2, 0, nullptr);
    const RECT solid{0, 0, 4, 3};      // device x 1..4, y 2..4
    const RECT pattern{5, 0, 10, 8};   // device x 6..10, y 2..9
    EXPECT_TRUE(FillRect(dst.dc(), &solid, red));
    EXPECT_TRUE(FillRect(dst.dc(), &pattern, diag));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            uint32_t want = 0;
            if (x >= 1 && x < 5 && y >= 2 && y < 5 && !(y == 2 && x < 3)) want = 0xFF0000;
            if (x >= 6 && x < 11 && y >= 2 && y < 10)
                want = floorMod(x - 2, 8) == y % 8 ? 0xFFFFFF : 0x000000;
            EXPECT_EQ(dst.get(x, y) & 0xFFFFFF, want) << x << "," << y;
        }
    DeleteObject(red);
    DeleteObject(diag);
}

// ---------------------------------------------------------------------------
// Windows

struct ChangeLog {
    std::vector<RECT> rects;
    static void record(void *user, HWND, const RECT *r) { static_cast<ChangeLog *>(user)->rects.push_back(*r); }
};

TEST(BlitWindow, DrawingReportsTheChangedDeviceBounds) {
    QvtSetDisplayDepth(32);
    HWND wnd = QvtCreateWindow(32, 24);
    ASSERT_NE(wnd, nullptr);
    ChangeLog log;
    QvtSetWindowChangedHandler(wnd, &ChangeLog::record, &log);
    HDC wdc = GetDC(wnd);
    DibDC src(16, 16, 32);
    src.fill(0xFF8000);
    SetWindowOrgEx(wdc, 2, 0, nullptr);

    EXPECT_TRUE(BitBlt(wdc, -4, 3, 10, 5, src.dc(), 0, 0, SRCCOPY)); // device -6..3, 3..7
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_EQ(log.rects[0].left, 0);
    EXPECT_EQ(log.rects[0].top, 3);
    EXPECT_EQ(log.rects[0].right, 4);
    EXPECT_EQ(log.rects[0].bottom, 8);

    EXPECT_TRUE(BitBlt(wdc, 100, 100, 4, 4, src.dc(), 0, 0, SRCCOPY)); // nothing to draw
    EXPECT_EQ(log.rects.size(), 1u);

    // Scrolling the window onto itself: the source is read before writing.
    EXPECT_TRUE(BitBlt(wdc, 3, 4, 10, 5, wdc, 2, 3, SRCCOPY)); // device 1..10, 4..8 from 0..9, 3..7
    ASSERT_EQ(log.rects.size(), 2u);
    EXPECT_EQ(log.rects[1].left, 1);
    EXPECT_EQ(log.rects[1].top, 4);

    std::vector<BYTE> rgb(32 * 24 * 3);
    ASSERT_TRUE(QvtReadWindowRGB(wnd, rgb.data(), 32 * 3));
    auto at = [&](int x, int y) {
        const BYTE *p = &rgb[(size_t)(y * 32 + x) * 3];
        return RGB(p[0], p[1], p[2]);
    };
    auto firstBlit = [](int x, int y) { return x >= 0 && x < 4 && y >= 3 && y < 8; };
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool moved = x >= 1 && x < 11 && y >= 4 && y < 9;
            const bool orange = moved ? firstBlit(x - 1, y - 1) : firstBlit(x, y);
            EXPECT_EQ(at(x, y), orange ? RGB(255, 128, 0) : RGB(0, 0, 0)) << x << "," << y;
        }
    ReleaseDC(wnd, wdc);
    QvtDestroyWindow(wnd);
}

// A copy of more than a megabyte to a window takes another path than small
// ones: every byte arrives, from a row start that is not aligned and with
// a row length that is no multiple of the wide stores.
TEST(BlitWindow, LargeCopiesToAWindowKeepEveryPixel) {
    QvtSetDisplayDepth(32);
    constexpr int W = 700, H = 420, WW = 704, WH = 424;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, H, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // bottom-up
    void *bits = nullptr;
    HBITMAP page = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(page && bits);
    auto *px = static_cast<uint32_t *>(bits);
    uint32_t x = 12345;
    for (int i = 0; i < W * H; ++i) px[i] = (x = x * 1664525u + 1013904223u) >> 8;
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, page);
    HWND wnd = QvtCreateWindow(WW, WH);
    HDC wdc = GetDC(wnd);
    PatBlt(wdc, 0, 0, WW, WH, BLACKNESS);
    ASSERT_TRUE(BitBlt(wdc, 3, 1, W - 1, H, mem, 1, 0, SRCCOPY));
    std::vector<BYTE> rgb(size_t(WW) * WH * 3);
    ASSERT_TRUE(QvtReadWindowRGB(wnd, rgb.data(), WW * 3));
    int wrong = 0;
    for (int y = 0; y < WH; ++y)
        for (int wx = 0; wx < WW; ++wx) {
            const BYTE *p = &rgb[(size_t(y) * WW + wx) * 3];
            const int sx = wx - 2, sy = y - 1; // the source pixel shown there
            uint32_t want = 0;
            if (sx >= 1 && sx < W && sy >= 0 && sy < H) want = px[size_t(H - 1 - sy) * W + sx] & 0xFFFFFF;
            wrong += RGB(p[2], p[1], p[0]) != want;
        }
    EXPECT_EQ(wrong, 0);
    ReleaseDC(wnd, wdc);
    QvtDestroyWindow(wnd);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(page);
}

} // namespace
