// StretchBlt: which source pixel each destination pixel takes, mirroring with
// negative extents, sources partly outside their bitmap, the stretch modes,
// and clipping on the destination.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gdi_fixture.h"

using namespace qvt::test;

namespace {

constexpr uint32_t kUntouched = 0;

std::vector<uint32_t> pixels(const DibDC &d) {
    std::vector<uint32_t> out;
    for (int y = 0; y < d.height(); ++y) {
        auto r = d.rowValues(y);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

std::vector<uint32_t> column(const DibDC &d, int x) {
    std::vector<uint32_t> out;
    for (int y = 0; y < d.height(); ++y) out.push_back(d.get(x, y));
    return out;
}

uint32_t nextRandom(uint32_t &seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 7;
}

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

void fillRandom(DibDC &d, uint32_t seed) {
    const uint32_t mask = colourMask(d.depth());
    for (int y = 0; y < d.height(); ++y)
        for (int x = 0; x < d.width(); ++x) d.set(x, y, nextRandom(seed) & mask);
}

// Stretches along one axis of 8-bit pictures whose source pixel i holds
// i + 1, and returns per destination pixel the source index taken, or -1
// where the destination was left untouched.
struct Axis {
    bool vertical;
    std::vector<int> run(int srcSize, int s0, int sExt, int dstSize, int d0, int dExt, int mode = COLORONCOLOR) const {
        DibDC src(vertical ? 1 : srcSize, vertical ? srcSize : 1, 8),
            dst(vertical ? 1 : dstSize, vertical ? dstSize : 1, 8);
        for (int i = 0; i < srcSize; ++i) vertical ? src.set(0, i, (uint32_t)i + 1) : src.set(i, 0, (uint32_t)i + 1);
        dst.fill(kUntouched);
        SetStretchBltMode(dst.dc(), mode);
        const BOOL ok = vertical ? StretchBlt(dst.dc(), 0, d0, 1, dExt, src.dc(), 0, s0, 1, sExt, SRCCOPY)
                                 : StretchBlt(dst.dc(), d0, 0, dExt, 1, src.dc(), s0, 0, sExt, 1, SRCCOPY);
        EXPECT_TRUE(ok);
        const auto values = vertical ? column(dst, 0) : dst.rowValues(0);
        std::vector<int> out;
        for (uint32_t v : values) out.push_back((int)v - 1);
        return out;
    }
};

const Axis kHorizontal{false}, kVertical{true};

// ---------------------------------------------------------------------------
// The mapping

TEST(StretchMapping, DocumentedExamples) {
    struct Case {
        int n, m;
        bool vertical;
        std::vector<int> expected;
    } cases[] = {
        {3, 4, false, {0, 1, 1, 2}},
        {4, 5, false, {0, 1, 1, 2, 3}},
        {3, 7, false, {0, 0, 1, 1, 1, 2, 2}},
        {3, 7, true, {0, 0, 1, 1, 1, 2, 2}},
        {4, 3, false, {0, 2, 3}},
        {7, 3, false, {1, 4, 6}},
        {10, 9, false, {0, 1, 2, 3, 5, 6, 7, 8, 9}},
        {4, 1, false, {2}},
        {10, 1, false, {8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " -> " << c.m << (c.vertical ? " vertical" : ""));
        const Axis &axis = c.vertical ? kVertical : kHorizontal;
        EXPECT_EQ(axis.run(c.n, 0, c.n, c.m, 0, c.m), c.expected);
    }
}

// The stated mapping, written out: source step of destination step d.
int mappedStep(int n, int m, int d, bool vertical, bool sourceForward) {
    if (m == 1 && sourceForward && n > 1) n -= 1;
    if (m >= n) return ((2 * d + 1) * n - 1) / (2 * m);
    if (!vertical) return (2 * (d + 1) * n - m) / (2 * m);
    return d == 0 ? 0 : (2 * d * n - m) / (2 * m) + 1;
}

TEST(StretchMapping, FormulaHoldsForEverySizeUpTo24To40) {
    struct Variant {
        const char *what;
        bool vertical, mirrorSource, mirrorDest;
    } variants[] = {
        {"horizontal", false, false, false},
        {"horizontal, source mirrored", false, true, false},
        {"horizontal, destination mirrored", false, false, true},
        {"vertical", true, false, false},
    };
    for (const Variant &v : variants) {
        SCOPED_TRACE(v.what);
        const Axis &axis = v.vertical ? kVertical : kHorizontal;
        for (int n = 1; n <= 24; ++n)
            for (int m = 1; m <= 40; ++m) {
                std::vector<int> expected((size_t)m);
                for (int d = 0; d < m; ++d) {
                    const int s = mappedStep(n, m, d, v.vertical, !v.mirrorSource);
                    expected[(size_t)(v.mirrorDest ? m - 1 - d : d)] = v.mirrorSource ? n - 1 - s : s;
                }
                const auto got = axis.run(n, v.mirrorSource ? n - 1 : 0, v.mirrorSource ? -n : n, m,
                                          v.mirrorDest ? m - 1 : 0, v.mirrorDest ? -m : m);
                ASSERT_EQ(got, expected) << n << " -> " << m;
            }
    }
}

// ---------------------------------------------------------------------------
// Negative extents and sources outside the bitmap

struct AxisCase {
    int s0, sExt, dstSize, d0, dExt;
    std::vector<int> expected; // -1: untouched
};

const AxisCase kMirrorCases[] = {
    {3, -4, 4, 0, 4, {3, 2, 1, 0}},
    {4, -4, 4, 0, 4, {-1, 3, 2, 1}},
    {0, 4, 4, 3, -4, {3, 2, 1, 0}},
    {0, 4, 5, 4, -4, {-1, 3, 2, 1, 0}},
    {3, -4, 4, 3, -4, {0, 1, 2, 3}},
    {3, -4, 8, 0, 8, {3, 3, 2, 2, 1, 1, 0, 0}},
};

const AxisCase kOutsideCases[] = {
    {-1, 4, 4, 0, 4, {-1, 0, 1, 2}},
    {2, 4, 8, 0, 8, {2, 2, 3, 3, -1, -1, -1, -1}},
};

TEST(StretchMirror, NegativeExtentsStartAtTheOriginPixel) {
    for (const Axis *axis : {&kHorizontal, &kVertical})
        for (const AxisCase &c : kMirrorCases) {
            SCOPED_TRACE(testing::Message() << (axis->vertical ? "vertical " : "horizontal ") << "src " << c.s0 << ","
                                            << c.sExt << " dst " << c.d0 << "," << c.dExt);
            EXPECT_EQ(axis->run(4, c.s0, c.sExt, c.dstSize, c.d0, c.dExt), c.expected);
        }
}

TEST(StretchMirror, SourceOutsideTheBitmapLeavesTheDestination) {
    for (const Axis *axis : {&kHorizontal, &kVertical})
        for (const AxisCase &c : kOutsideCases) {
            SCOPED_TRACE(testing::Message() << (axis->vertical ? "vertical " : "horizontal ") << "src " << c.s0 << ","
                                            << c.sExt << " dst " << c.d0 << "," << c.dExt);
            EXPECT_EQ(axis->run(4, c.s0, c.sExt, c.dstSize, c.d0, c.dExt), c.expected);
        }
}

// The same tables on every format: the row code writes the right pixels,
// whatever their size and packing, at odd positions too.
TEST(StretchMirror, TablesHoldOnEveryFormat) {
    for (int depth : {1, 4, 8, 15, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        auto value = [depth](int i) { return depth == 1 ? (uint32_t)(i & 1) : (uint32_t)i + 1; };
        const uint32_t background = depth == 1 ? 1 : kUntouched;
        auto check = [&](const AxisCase &c) {
            SCOPED_TRACE(testing::Message() << "src " << c.s0 << "," << c.sExt << " dst " << c.d0 << "," << c.dExt);
            // Three rows, the middle one stretched, placed at x 3 to reach
            // into the middle of a byte on packed formats.
            DibDC src(4, 1, depth), dst(c.dstSize + 6, 3, depth);
            for (int i = 0; i < 4; ++i) src.set(i, 0, value(i));
            dst.fill(background);
            SetStretchBltMode(dst.dc(), COLORONCOLOR);
            EXPECT_TRUE(StretchBlt(dst.dc(), c.d0 + 3, 1, c.dExt, 1, src.dc(), c.s0, 0, c.sExt, 1, SRCCOPY));
            std::vector<uint32_t> want((size_t)dst.width(), background);
            for (size_t i = 0; i < c.expected.size(); ++i)
                if (c.expected[i] >= 0) want[i + 3] = value(c.expected[i]);
            EXPECT_EQ(dst.rowValues(1), want);
            EXPECT_EQ(dst.rowValues(0), std::vector<uint32_t>((size_t)dst.width(), background));
            EXPECT_EQ(dst.rowValues(2), std::vector<uint32_t>((size_t)dst.width(), background));
        };
        for (const AxisCase &c : kMirrorCases) check(c);
        for (const AxisCase &c : kOutsideCases) check(c);
    }
}

// ---------------------------------------------------------------------------
// Stretch modes

TEST(StretchModes, ShrinkingCombinesDroppedPixelsPerMode) {
    const std::vector<uint32_t> four{0xF0F0F0, 0x0F0F0F, 0xFF0000, 0x00FF00};
    struct Case {
        int mode;
        bool vertical;
        std::vector<uint32_t> expected;
    } cases[] = {
        {BLACKONWHITE, false, {0x000000, 0x000000}}, {WHITEONBLACK, false, {0xFFFFFF, 0xFFFF00}},
        {COLORONCOLOR, false, {0x0F0F0F, 0x00FF00}}, {HALFTONE, false, {0x0F0F0F, 0x00FF00}},
        {BLACKONWHITE, true, {0x000000, 0x000000}},  {WHITEONBLACK, true, {0xFFFFFF, 0xFFFF00}},
        {COLORONCOLOR, true, {0xF0F0F0, 0xFF0000}},  {HALFTONE, true, {0xF0F0F0, 0xFF0000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.vertical ? " vertical" : ""));
        DibDC src(c.vertical ? 1 : 4, c.vertical ? 4 : 1, 32), dst(c.vertical ? 1 : 2, c.vertical ? 2 : 1, 32);
        for (int i = 0; i < 4; ++i) c.vertical ? src.set(0, i, four[(size_t)i]) : src.set(i, 0, four[(size_t)i]);
        EXPECT_EQ(SetStretchBltMode(dst.dc(), c.mode), BLACKONWHITE);
        EXPECT_TRUE(c.vertical ? StretchBlt(dst.dc(), 0, 0, 1, 2, src.dc(), 0, 0, 1, 4, SRCCOPY)
                               : StretchBlt(dst.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 1, SRCCOPY));
        EXPECT_EQ(c.vertical ? column(dst, 0) : dst.rowValues(0), c.expected);
    }
}

TEST(StretchModes, CombiningActsOnPixelValuesOverWholeBlocks) {
    // 4 x 4 -> 2 x 2: each destination pixel combines a 2 x 2 block of
    // indices of an 8-bit picture.
    const std::vector<std::vector<uint32_t>> rows{
        {0xF3, 0x7B, 0x81, 0x83}, {0x3F, 0xB7, 0x85, 0x89}, {0x11, 0x13, 0x40, 0x60}, {0x19, 0x31, 0x50, 0x48}};
    struct Case {
        int mode;
        std::vector<uint32_t> top, bottom;
    } cases[] = {
        {BLACKONWHITE, {0x33, 0x81}, {0x11, 0x40}},
        {WHITEONBLACK, {0xFF, 0x8F}, {0x3B, 0x78}},
        {COLORONCOLOR, {0x7B, 0x83}, {0x13, 0x60}}, // last column, first row of each block
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        DibDC src(4, 4, 8), dst(2, 2, 8);
        for (int y = 0; y < 4; ++y) src.setRow(y, rows[(size_t)y]);
        SetStretchBltMode(dst.dc(), c.mode);
        EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 4, 4, SRCCOPY));
        EXPECT_EQ(dst.rowValues(0), c.top);
        EXPECT_EQ(dst.rowValues(1), c.bottom);
    }
}

TEST(StretchModes, EnlargingIsTheSameInEveryMode) {
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(kHorizontal.run(3, 0, 3, 7, 0, 7, mode), (std::vector<int>{0, 0, 1, 1, 1, 2, 2}));
        EXPECT_EQ(kVertical.run(2, 0, 2, 5, 0, 5, mode), (std::vector<int>{0, 0, 0, 1, 1}));
    }
}

// ---------------------------------------------------------------------------
// Large stretches

TEST(StretchLarge, OnePixelColumnAcrossAFullWidth) {
    constexpr int kW = 1920, kH = 37;
    for (int depth : {1, 8, 16, 24, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        DibDC src(1, kH, depth), dst(kW, kH, depth);
        fillRandom(src, 5u);
        SetStretchBltMode(dst.dc(), COLORONCOLOR);
        EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, kW, kH, src.dc(), 0, 0, 1, kH, SRCCOPY));
        for (int y = 0; y < kH; ++y)
            ASSERT_EQ(dst.rowValues(y), std::vector<uint32_t>(kW, src.get(0, y))) << "row " << y;
    }
}

TEST(StretchLarge, OnePixelRowDownAFullHeight) {
    constexpr int kW = 29, kH = 1080;
    for (int depth : {4, 15, 32}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        DibDC src(kW, 1, depth), dst(kW, kH, depth);
        fillRandom(src, 9u);
        EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, kW, kH, src.dc(), 0, 0, kW, 1, SRCCOPY));
        const auto row = src.rowValues(0);
        for (int y = 0; y < kH; ++y) ASSERT_EQ(dst.rowValues(y), row) << "row " << y;
    }
}

TEST(StretchLarge, OnePixelOverAFullHdPictureMirrored) {
    DibDC src(1, 1, 32), dst(1920, 1080, 32);
    src.set(0, 0, 0x123456);
    EXPECT_TRUE(StretchBlt(dst.dc(), 1919, 1079, -1920, -1080, src.dc(), 0, 0, 1, 1, SRCCOPY));
    EXPECT_EQ(pixels(dst), std::vector<uint32_t>((size_t)1920 * 1080, 0x123456));
}

// ---------------------------------------------------------------------------
// Clipping, origins, conversions and raster operations

// The clipped result is the unclipped result inside the clip region and the
// old picture outside it; window origins move each side on its own.
TEST(StretchClip, ClipRegionAndOriginsOnTheDestination) {
    struct Case {
        const char *what;
        POINT dstOrg, srcOrg;
        int x, y, w, h, sx, sy, sw, sh;
        int mode;
    } cases[] = {
        {"enlarge", {0, 0}, {0, 0}, 1, 2, 27, 17, 0, 0, 9, 6, COLORONCOLOR},
        {"shrink", {0, 0}, {0, 0}, 0, 0, 11, 7, 1, 1, 21, 15, COLORONCOLOR},
        {"shrink combining", {0, 0}, {0, 0}, 0, 0, 11, 7, 1, 1, 21, 15, BLACKONWHITE},
        {"mirrored with origins", {-4, 3}, {2, -1}, 25, 15, -20, -13, 3, 2, 7, 9, COLORONCOLOR},
        {"partly outside both", {5, 0}, {0, 4}, -3, -2, 40, 30, -2, 0, 25, 20, WHITEONBLACK},
    };
    for (int depth : {1, 8, 16, 24, 32})
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " " << c.what);
            DibDC src(23, 17, depth), plain(31, 21, depth), clipped(31, 21, depth);
            fillRandom(src, 3u);
            fillRandom(plain, 4u);
            fillRandom(clipped, 4u);
            const auto before = pixels(clipped);
            for (const DibDC *d : {&plain, &clipped}) {
                SetWindowOrgEx(d->dc(), c.dstOrg.x, c.dstOrg.y, nullptr);
                SetStretchBltMode(d->dc(), c.mode);
            }
            SetWindowOrgEx(src.dc(), c.srcOrg.x, c.srcOrg.y, nullptr);
            // Clip: device rectangle (2,1)-(26,19) minus (8,5)-(15,12), set
            // through logical coordinates at the current origin.
            IntersectClipRect(clipped.dc(), 2 + c.dstOrg.x, 1 + c.dstOrg.y, 26 + c.dstOrg.x, 19 + c.dstOrg.y);
            ExcludeClipRect(clipped.dc(), 8 + c.dstOrg.x, 5 + c.dstOrg.y, 15 + c.dstOrg.x, 12 + c.dstOrg.y);
            EXPECT_TRUE(StretchBlt(plain.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, c.sw, c.sh, SRCCOPY));
            EXPECT_TRUE(StretchBlt(clipped.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, c.sw, c.sh, SRCCOPY));
            const auto full = pixels(plain), got = pixels(clipped);
            std::vector<uint32_t> want(got.size());
            bool changed = false;
            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 31; ++x) {
                    const size_t i = (size_t)y * 31 + x;
                    const bool visible =
                        x >= 2 && x < 26 && y >= 1 && y < 19 && !(x >= 8 && x < 15 && y >= 5 && y < 12);
                    want[i] = visible ? full[i] : before[i];
                    changed |= want[i] != before[i];
                }
            EXPECT_TRUE(changed);
            EXPECT_EQ(got, want);
        }
}

// Equal extents are a plain BitBlt, with every raster operation, patterns
// and sources partly outside included.
TEST(StretchEqual, EqualExtentsBehaveLikeBitBlt) {
    struct Case {
        int x, y, w, h, sx, sy;
    } cases[] = {{0, 0, 16, 12, 0, 0}, {3, 2, 9, 7, -2, 5}, {15, 11, -10, -6, 12, 9}, {-4, -1, 30, 20, 1, 1}};
    const DWORD rops[] = {SRCCOPY, SRCAND, SRCPAINT, 0x00220326, 0x00AC0744, NOTSRCCOPY, MERGECOPY, 0x00B8074A};
    uint8_t diag[16] = {};
    for (int y = 0; y < 8; ++y) diag[2 * y] = (uint8_t)(0x80 >> y);
    for (int depth : {4, 16, 32})
        for (const Case &c : cases)
            for (DWORD rop : rops) {
                SCOPED_TRACE(testing::Message() << "depth " << depth << " rop " << std::hex << rop << std::dec << " at "
                                                << c.x << "," << c.y << " " << c.w << "x" << c.h);
                DibDC src(16, 14, depth), viaBitBlt(18, 13, depth), viaStretch(18, 13, depth);
                fillRandom(src, 21u);
                fillRandom(viaBitBlt, 22u);
                fillRandom(viaStretch, 22u);
                HBITMAP bm = CreateBitmap(8, 8, 1, 1, diag);
                HBRUSH b1 = CreatePatternBrush(bm), b2 = CreatePatternBrush(bm);
                DeleteObject(bm);
                HGDIOBJ o1 = SelectObject(viaBitBlt.dc(), b1), o2 = SelectObject(viaStretch.dc(), b2);
                SetBrushOrgEx(viaBitBlt.dc(), 3, 1, nullptr);
                SetBrushOrgEx(viaStretch.dc(), 3, 1, nullptr);
                SetStretchBltMode(viaStretch.dc(), BLACKONWHITE);
                EXPECT_TRUE(BitBlt(viaBitBlt.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, rop));
                EXPECT_TRUE(StretchBlt(viaStretch.dc(), c.x, c.y, c.w, c.h, src.dc(), c.sx, c.sy, c.w, c.h, rop));
                EXPECT_EQ(pixels(viaStretch), pixels(viaBitBlt));
                SelectObject(viaBitBlt.dc(), o1);
                SelectObject(viaStretch.dc(), o2);
                DeleteObject(b1);
                DeleteObject(b2);
            }
}

TEST(StretchConvert, StretchedPixelsConvertLikeBitBlt) {
    // Direct colour into a grey table through 5-bit buckets.
    DibDC rgb(2, 1, 32), grey(4, 2, 8);
    rgb.setRow(0, {0x7F7F7F, 0x808080});
    EXPECT_TRUE(StretchBlt(grey.dc(), 0, 0, 4, 2, rgb.dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(grey.rowValues(0), (std::vector<uint32_t>{124, 124, 132, 132}));
    EXPECT_EQ(grey.rowValues(1), (std::vector<uint32_t>{124, 124, 132, 132}));

    // A monochrome DDB through the destination's text and background colours.
    MonoDC mono(2, 1, {0x40, 0x00}); // bits 0, 1
    DibDC out(4, 1, 24);
    SetTextColor(out.dc(), RGB(255, 0, 0));
    SetBkColor(out.dc(), RGB(0, 0, 255));
    EXPECT_TRUE(StretchBlt(out.dc(), 0, 0, 4, 1, mono.dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(out.rowValues(0), (std::vector<uint32_t>{0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF}));

    // Colour into a monochrome DDB: the source background becomes 1.
    DibDC colours(2, 1, 32);
    colours.setRow(0, {0xFFFFFF, 0x00FF00});
    MonoDC mask(4, 1);
    SetBkColor(colours.dc(), RGB(0, 255, 0));
    EXPECT_TRUE(StretchBlt(mask.dc(), 0, 0, 4, 1, colours.dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ((std::vector<uint32_t>{mask.get(0, 0), mask.get(1, 0), mask.get(2, 0), mask.get(3, 0)}),
              (std::vector<uint32_t>{0, 0, 1, 1}));
}

TEST(StretchRop, RasterOperationsApplyAfterStretching) {
    DibDC src(2, 1, 32), dst(4, 1, 32);
    src.setRow(0, {0x0000FF, 0xFFFF00});
    dst.setRow(0, {0x123456, 0x123456, 0x123456, 0x123456});
    EXPECT_TRUE(StretchBlt(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, 2, 1, SRCAND));
    EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{0x000056, 0x000056, 0x123400, 0x123400}));

    // A ROP without source fills the (normalised) destination rectangle.
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dst.dc(), red);
    EXPECT_TRUE(StretchBlt(dst.dc(), 2, 0, -2, 1, nullptr, 0, 0, 7, 7, PATCOPY));
    EXPECT_EQ(dst.rowValues(0), (std::vector<uint32_t>{0x000056, 0xFF0000, 0xFF0000, 0x123400}));
    SelectObject(dst.dc(), old);
    DeleteObject(red);
}

TEST(StretchSameSurface, SourceIsReadBeforeTheDestinationIsWritten) {
    for (int depth : {4, 8, 24}) {
        SCOPED_TRACE(depth);
        DibDC d(8, 1, depth);
        d.setRow(0, {0, 1, 2, 3, 4, 5, 6, 7});
        SetStretchBltMode(d.dc(), COLORONCOLOR);
        // 4 -> 6: source steps 0 0 1 2 2 3.
        EXPECT_TRUE(StretchBlt(d.dc(), 2, 0, 6, 1, d.dc(), 0, 0, 4, 1, SRCCOPY));
        EXPECT_EQ(d.rowValues(0), (std::vector<uint32_t>{0, 1, 0, 0, 1, 2, 2, 3}));
        // Shrinking back over itself, mirrored: 6 -> 3 of 2..7, backward.
        d.setRow(0, {0, 1, 2, 3, 4, 5, 6, 7});
        EXPECT_TRUE(StretchBlt(d.dc(), 4, 0, -3, 1, d.dc(), 2, 0, 6, 1, SRCCOPY));
        // Horizontal 6 -> 3 keeps the last of each pair: steps 1 3 5 = pixels 3 5 7.
        EXPECT_EQ(d.rowValues(0), (std::vector<uint32_t>{0, 1, 7, 5, 3, 5, 6, 7}));
    }
    // Rows too: enlarging the top-left 3 x 3 onto (1,1)-(6,6) of the same
    // picture reads source rows that earlier destination rows cover.
    DibDC d(6, 6, 8);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) d.set(x, y, (uint32_t)(y * 6 + x + 1));
    const auto before = pixels(d);
    EXPECT_TRUE(StretchBlt(d.dc(), 1, 1, 5, 5, d.dc(), 0, 0, 3, 3, SRCCOPY));
    std::vector<uint32_t> want = before;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i)
            want[(size_t)(1 + j) * 6 + 1 + i] =
                before[(size_t)mappedStep(3, 5, j, true, true) * 6 + mappedStep(3, 5, i, false, true)];
    EXPECT_EQ(pixels(d), want);
}

} // namespace
