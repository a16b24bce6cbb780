// Lines, polylines, rectangles, ellipses and polygons: which pixels they
// paint with the pen and the brush, clipping, the window origin, raster
// operations and pictures on every DIB depth.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gdi_fixture.h"
#include "qvt/qvtdisplay.h"

namespace {

using qvt::test::DibDC;
using qvt::test::quad;
using i128 = __int128;
using Pixel = std::pair<int64_t, int64_t>; // (x, y)
using PixelSet = std::set<Pixel>;

constexpr COLORREF kNone = CLR_INVALID; // no pen / no brush
constexpr uint32_t kWhite = 0xFFFFFF;   // raw 32-bit values of the colours below
constexpr COLORREF kPen = RGB(0, 0, 0);
constexpr uint32_t kPenRaw = 0x000000;
constexpr COLORREF kBrush = RGB(0x40, 0x80, 0xC0);
constexpr uint32_t kBrushRaw = 0x4080C0;

// Selects a solid pen and brush (or NULL_PEN / NULL_BRUSH for kNone) while it lives.
class Tools {
public:
    Tools(HDC dc, COLORREF pen, COLORREF brush) : dc_(dc) {
        if (pen != kNone) pen_ = CreatePen(PS_SOLID, 1, pen);
        if (brush != kNone) brush_ = CreateSolidBrush(brush);
        oldPen_ = SelectObject(dc, pen_ ? (HGDIOBJ)pen_ : GetStockObject(NULL_PEN));
        oldBrush_ = SelectObject(dc, brush_ ? (HGDIOBJ)brush_ : GetStockObject(NULL_BRUSH));
    }
    ~Tools() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        if (pen_) DeleteObject(pen_);
        if (brush_) DeleteObject(brush_);
    }
    Tools(const Tools &) = delete;
    Tools &operator=(const Tools &) = delete;

private:
    HDC dc_;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr;
};

// A white 32-bit canvas.
class Canvas : public DibDC {
public:
    Canvas(int w, int h) : DibDC(w, h, 32) { clear(); }
    void clear() { fill(kWhite); }
    // Rows of '.' (white), 'P' (pen), 'B' (brush) or '?', each ending in '\n'.
    std::string picture() const { return picture(0, 0, width(), height()); }
    std::string picture(int x0, int y0, int w, int h) const {
        std::string s;
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                const uint32_t v = get(x, y) & 0xFFFFFF;
                s += v == kWhite ? '.' : v == kPenRaw ? 'P' : v == kBrushRaw ? 'B' : '?';
            }
            s += '\n';
        }
        return s;
    }
    PixelSet painted() const {
        PixelSet out;
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if ((get(x, y) & 0xFFFFFF) != kWhite) out.insert({x, y});
        return out;
    }
};

// The picture a canvas of w x h should show for given pen and brush pixels.
std::string uniform(int w, int h, char ch) {
    std::string s;
    for (int y = 0; y < h; ++y) s += std::string((size_t)w, ch) + "\n";
    return s;
}

std::string pictureOf(int w, int h, const PixelSet &pen, const PixelSet &brush) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) s += pen.count({x, y}) ? 'P' : brush.count({x, y}) ? 'B' : '.';
        s += '\n';
    }
    return s;
}

// ---------------------------------------------------------------------------
// Reference geometry, written from the rules rather than from the drawing code.

i128 floorDiv(i128 n, i128 d) { // d > 0
    i128 q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

// The line from (x0, y0) to (x1, y1) without its end point, limited to a
// w x h surface when w >= 0: along the major axis (x when |dx| > |dy|) each
// step takes the minor coordinate closest to the exact one; on a tie the
// smaller one. The two candidates around the exact value are compared by
// scaled distance.
PixelSet referenceLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t w = -1, int64_t h = -1) {
    PixelSet out;
    const i128 dx = x1 - x0, dy = y1 - y0;
    if (dx == 0 && dy == 0) return out;
    const bool xMajor = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy);
    const int64_t t0 = xMajor ? x0 : y0, t1 = xMajor ? x1 : y1, m0 = xMajor ? y0 : x0;
    const i128 dt = xMajor ? dx : dy, dm = xMajor ? dy : dx;
    const bool clip = w >= 0;
    int64_t lo = dt > 0 ? t0 : t1 + 1, hi = dt > 0 ? t1 - 1 : t0;
    if (clip) {
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, (xMajor ? w : h) - 1);
    }
    for (int64_t t = lo; t <= hi; ++t) {
        i128 num = (i128)(t - t0) * dm, den = dt;
        if (den < 0) num = -num, den = -den;
        const i128 below = floorDiv(num, den);
        // Distance of candidate m0 + c from the exact value, times 2 * den.
        auto dist = [&](i128 c) {
            const i128 d = 2 * c * den - 2 * num;
            return d < 0 ? -d : d;
        };
        const i128 c = dist(below + 1) < dist(below) ? below + 1 : below;
        const int64_t m = m0 + (int64_t)c;
        if (clip && (m < 0 || m >= (xMajor ? h : w))) continue;
        out.insert(xMajor ? Pixel{t, m} : Pixel{m, t});
    }
    return out;
}

PixelSet closedOutline(const std::vector<Pixel> &pts) {
    PixelSet out;
    for (size_t i = 0; i < pts.size(); ++i) {
        const Pixel &a = pts[i], &b = pts[(i + 1) % pts.size()];
        for (const Pixel &p : referenceLine(a.first, a.second, b.first, b.second)) out.insert(p);
    }
    return out;
}

struct Shape {
    PixelSet pen, brush; // disjoint
};

// Rectangle(l, t, r, b), normalised: the closed polyline through the corners
// of the pixel box [l, r-1] x [t, b-1], the inside of the border filled; with
// no pen the brush fills [l, r-1) x [t, b-1).
Shape referenceRectangle(int64_t l, int64_t t, int64_t r, int64_t b, bool pen, bool brush) {
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    Shape s;
    if (r == l || b == t) return s;
    if (!pen) {
        if (brush)
            for (int64_t y = t; y < b - 1; ++y)
                for (int64_t x = l; x < r - 1; ++x) s.brush.insert({x, y});
        return s;
    }
    s.pen = closedOutline({{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}});
    if (brush)
        for (int64_t y = t + 1; y < b - 1; ++y)
            for (int64_t x = l + 1; x < r - 1; ++x) s.brush.insert({x, y});
    return s;
}

// Ellipse(L, T, R, B) built step by step: the quarter walk, its points
// mirrored left-right and top-bottom (middle duplicates skipped) into one
// closed polyline, then every row painted between its outermost outline
// pixels.
Shape referenceEllipse(int64_t L, int64_t T, int64_t R, int64_t B, bool pen, bool brush) {
    if (L > R) std::swap(L, R);
    if (T > B) std::swap(T, B);
    const int64_t w = R - L, h = B - T;
    if (w == 0 || h == 0) return {};
    if (w <= 2 || h <= 2) return referenceRectangle(L, T, R, B, pen, brush);
    const int64_t a = w - 1, b = h - 1;
    int64_t x = a, y = h / 2;
    int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
    int64_t err = dx + dy + a * a * (b % 2);
    std::vector<Pixel> pts;
    while (x >= w / 2) {
        pts.push_back({L + x, T + h - 1 - y});
        const int64_t e2 = 2 * err;
        if (e2 >= dx) x -= 1, dx += 8 * b * b, err += dx;
        if (e2 <= dy) y += 1, dy += 8 * a * a, err += dy;
    }
    for (size_t i = pts.size(); i-- > 0;) {
        if (w % 2 == 1 && i == pts.size() - 1) continue;
        pts.push_back({L + R - 1 - pts[i].first, pts[i].second});
    }
    for (size_t i = pts.size(), n = pts.size(); i-- > 0;) {
        if (h % 2 == 1 && i == n - 1) continue;
        pts.push_back({pts[i].first, T + B - 1 - pts[i].second});
    }
    const PixelSet outline = closedOutline(pts);
    std::map<int64_t, std::pair<int64_t, int64_t>> extent;
    for (const Pixel &p : outline) {
        auto it = extent.find(p.second);
        if (it == extent.end())
            extent[p.second] = {p.first, p.first};
        else
            it->second = {std::min(it->second.first, p.first), std::max(it->second.second, p.first)};
    }
    Shape s;
    if (pen) s.pen = outline;
    if (brush)
        for (const auto &[row, span] : extent)
            for (int64_t px = span.first; px <= span.second; ++px)
                if (!s.pen.count({px, row})) s.brush.insert({px, row});
    return s;
}

// Is the point (x, y) inside the polygon? Edges with min(ya, yb) <= y <
// max(ya, yb) count when they cross the scan line at or left of x; compared
// by cross-multiplication, without division.
bool insidePolygon(const std::vector<Pixel> &pts, int64_t x, int64_t y, int mode) {
    int count = 0, wind = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const auto [ax, ay] = pts[i];
        const auto [bx, by] = pts[(i + 1) % pts.size()];
        if (std::min(ay, by) > y || y >= std::max(ay, by)) continue;
        const i128 lhs = (i128)(y - ay) * (bx - ax), rhs = (i128)(x - ax) * (by - ay);
        const bool crossesLeft = by > ay ? lhs <= rhs : lhs >= rhs;
        if (!crossesLeft) continue;
        ++count;
        wind += by > ay ? 1 : -1;
    }
    return mode == WINDING ? wind != 0 : (count & 1) != 0;
}

// The polygon as a w x h surface shows it with the window origin at org: the
// outline (clipped) when there is a pen, the inside pixels not on it.
Shape referencePolygon(const std::vector<POINT> &pts, int mode, bool pen, int w, int h, POINT org = {0, 0}) {
    Shape s;
    std::vector<Pixel> dev;
    for (const POINT &p : pts) dev.push_back({(int64_t)p.x - org.x, (int64_t)p.y - org.y});
    if (pen)
        for (size_t i = 0; i < dev.size(); ++i) {
            const Pixel &a = dev[i], &b = dev[(i + 1) % dev.size()];
            for (const Pixel &p : referenceLine(a.first, a.second, b.first, b.second, w, h)) s.pen.insert(p);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (insidePolygon(dev, x, y, mode) && !s.pen.count({x, y})) s.brush.insert({x, y});
    return s;
}

// ---------------------------------------------------------------------------
// Lines

TEST(LineTo, KnownPixelSets) {
    struct Case {
        POINT from, to;
        std::vector<Pixel> pixels;
    } cases[] = {
        {{0, 0}, {6, 3}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
        {{6, 3}, {0, 0}, {{6, 3}, {5, 2}, {4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        {{0, 3}, {4, 1}, {{0, 3}, {1, 2}, {2, 2}, {3, 1}}},
        {{0, 0}, {8, 2}, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 2}}},
        {{2, 2}, {2, 2}, {}},
    };
    Canvas c(10, 5);
    Tools tools(c.dc(), kPen, kNone);
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << k.from.x << "," << k.from.y << " -> " << k.to.x << "," << k.to.y);
        c.clear();
        EXPECT_TRUE(MoveToEx(c.dc(), k.from.x, k.from.y, nullptr));
        EXPECT_TRUE(LineTo(c.dc(), k.to.x, k.to.y));
        EXPECT_EQ(c.painted(), PixelSet(k.pixels.begin(), k.pixels.end()));
        POINT cur{};
        EXPECT_TRUE(GetCurrentPositionEx(c.dc(), &cur));
        EXPECT_EQ(cur.x, k.to.x);
        EXPECT_EQ(cur.y, k.to.y);
    }
}

// Every line from (0,0) to an end point within +-15, both ways round. The
// window origin puts logical (0,0) in the middle of the surface.
TEST(LineTo, EveryEndPointWithin15FollowsTheNearestPixelRule) {
    Canvas c(33, 33);
    Tools tools(c.dc(), kPen, kNone);
    SetWindowOrgEx(c.dc(), -16, -16, nullptr);
    auto shifted = [](const PixelSet &s) {
        PixelSet out;
        for (const Pixel &p : s) out.insert({p.first + 16, p.second + 16});
        return out;
    };
    for (int ey = -15; ey <= 15; ++ey)
        for (int ex = -15; ex <= 15; ++ex) {
            SCOPED_TRACE(::testing::Message() << "end " << ex << "," << ey);
            c.clear();
            MoveToEx(c.dc(), 0, 0, nullptr);
            LineTo(c.dc(), ex, ey);
            ASSERT_EQ(c.painted(), shifted(referenceLine(0, 0, ex, ey)));
            c.clear();
            MoveToEx(c.dc(), ex, ey, nullptr);
            LineTo(c.dc(), 0, 0);
            ASSERT_EQ(c.painted(), shifted(referenceLine(ex, ey, 0, 0)));
        }
}

TEST(LineTo, CurrentPositionAndNullPen) {
    Canvas c(8, 8);
    POINT old{};
    EXPECT_TRUE(MoveToEx(c.dc(), 3, 4, &old));
    EXPECT_EQ(old.x, 0); // a new DC starts at (0,0)
    EXPECT_EQ(old.y, 0);
    EXPECT_TRUE(MoveToEx(c.dc(), 1, 1, &old));
    EXPECT_EQ(old.x, 3);
    EXPECT_EQ(old.y, 4);
    {
        // NULL_PEN draws nothing but still moves.
        Tools tools(c.dc(), kNone, kNone);
        EXPECT_TRUE(LineTo(c.dc(), 6, 1));
        EXPECT_TRUE(c.painted().empty());
    }
    POINT cur{};
    EXPECT_TRUE(GetCurrentPositionEx(c.dc(), &cur));
    EXPECT_EQ(cur.x, 6);
    EXPECT_EQ(cur.y, 1);
    // The default pen is black, width 1.
    EXPECT_TRUE(LineTo(c.dc(), 6, 4));
    EXPECT_EQ(c.painted(), (PixelSet{{6, 1}, {6, 2}, {6, 3}}));

    EXPECT_FALSE(GetCurrentPositionEx(c.dc(), nullptr));
    EXPECT_FALSE(MoveToEx(nullptr, 1, 1, nullptr));
    EXPECT_FALSE(LineTo(nullptr, 1, 1));
    HBRUSH notADC = CreateSolidBrush(0);
    EXPECT_FALSE(LineTo(reinterpret_cast<HDC>(notADC), 1, 1));
    EXPECT_FALSE(GetCurrentPositionEx(reinterpret_cast<HDC>(notADC), &cur));
    DeleteObject(notADC);
}

// Lines reaching far outside the surface, up to the ends of the 32-bit range
// and beyond it through the window origin, draw exactly their visible part.
TEST(LineTo, HugeCoordinatesDrawTheVisiblePart) {
    struct Case {
        POINT org, from, to;
    } cases[] = {
        {{0, 0}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, // the main diagonal
        {{0, 0}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}},
        {{0, 0}, {-1000000000, 5}, {1000000000, 5}},
        {{0, 0}, {3, INT_MIN}, {4, INT_MAX}}, // nearly vertical, the switch exactly at the middle
        {{0, 0}, {INT_MIN, 7}, {INT_MAX, 12}},
        {{0, 0}, {INT_MAX, 0}, {0, 20}},
        {{0, 0}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}}, // misses the surface
        {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, 0}},
        {{INT_MAX, -5}, {INT_MIN, INT_MIN}, {INT_MAX, 30}},
        {{-7, 3}, {-1000, -1003}, {1000, 997}},
    };
    Canvas c(24, 20);
    Tools tools(c.dc(), kPen, kNone);
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << "org " << k.org.x << "," << k.org.y << " from " << k.from.x << ","
                                          << k.from.y << " to " << k.to.x << "," << k.to.y);
        c.clear();
        SetWindowOrgEx(c.dc(), k.org.x, k.org.y, nullptr);
        MoveToEx(c.dc(), k.from.x, k.from.y, nullptr);
        EXPECT_TRUE(LineTo(c.dc(), k.to.x, k.to.y));
        const PixelSet want = referenceLine((int64_t)k.from.x - k.org.x, (int64_t)k.from.y - k.org.y,
                                            (int64_t)k.to.x - k.org.x, (int64_t)k.to.y - k.org.y, 24, 20);
        EXPECT_EQ(c.painted(), want);
    }
    // Spot checks of the reference itself on the first cases.
    EXPECT_EQ(referenceLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 3, 3), (PixelSet{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(referenceLine(3, INT_MIN, 4, INT_MAX, 8, 2), (PixelSet{{4, 0}, {4, 1}}));
}

// The pen goes through the DC's binary raster operation, each pixel once.
TEST(LineTo, PenRasterOperations) {
    struct Case {
        int rop2;
        uint32_t want; // on a 0x336699 background with a 0x0F0F0F pen
    } cases[] = {
        {R2_COPYPEN, 0x0F0F0F}, {R2_XORPEN, 0x3C6996},    {R2_NOT, 0xCC9966},         {R2_NOP, 0x336699},
        {R2_BLACK, 0x000000},   {R2_WHITE, 0xFFFFFFFF},   {R2_MASKPEN, 0x030609},     {R2_MERGEPEN, 0x3F6F9F},
        {R2_NOTCOPYPEN, 0xFFF0F0F0},
    };
    DibDC d(12, 12, 32);
    Tools tools(d.dc(), RGB(0x0F, 0x0F, 0x0F), kNone);
    // A closed ring: every border pixel belongs to exactly one segment.
    const POINT ring[] = {{1, 1}, {9, 1}, {9, 7}, {1, 7}, {1, 1}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.rop2);
        d.fill(0x336699);
        SetROP2(d.dc(), k.rop2);
        EXPECT_TRUE(Polyline(d.dc(), ring, 5));
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x) {
                const bool border = (x >= 1 && x <= 9 && (y == 1 || y == 7)) || ((x == 1 || x == 9) && y >= 1 && y <= 7);
                ASSERT_EQ(d.get(x, y) & 0xFFFFFF, border ? k.want & 0xFFFFFF : 0x336699u) << x << "," << y;
            }
    }
    // XOR twice restores the picture.
    d.fill(0x123456);
    SetROP2(d.dc(), R2_XORPEN);
    MoveToEx(d.dc(), 0, 11, nullptr);
    LineTo(d.dc(), 11, 2);
    MoveToEx(d.dc(), 0, 11, nullptr);
    LineTo(d.dc(), 11, 2);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(d.get(x, y), 0x123456u);
    SetROP2(d.dc(), R2_COPYPEN);
}

TEST(LinePolyline, RingsAndOpenPolylines) {
    Canvas c(9, 8);
    Tools tools(c.dc(), kPen, kBrush);
    MoveToEx(c.dc(), 2, 2, nullptr);
    const POINT ring[] = {{1, 1}, {6, 1}, {6, 5}, {1, 5}, {1, 1}};
    EXPECT_TRUE(Polyline(c.dc(), ring, 5));
    EXPECT_EQ(c.picture(), ".........\n"
                           ".PPPPPP..\n"
                           ".P....P..\n"
                           ".P....P..\n"
                           ".P....P..\n"
                           ".PPPPPP..\n"
                           ".........\n"
                           ".........\n");
    c.clear();
    EXPECT_TRUE(Polyline(c.dc(), ring, 3)); // stops short of (6,5)
    EXPECT_EQ(c.picture(), ".........\n"
                           ".PPPPPP..\n"
                           "......P..\n"
                           "......P..\n"
                           "......P..\n"
                           ".........\n"
                           ".........\n"
                           ".........\n");
    // The current position is neither used nor moved.
    POINT cur{};
    GetCurrentPositionEx(c.dc(), &cur);
    EXPECT_EQ(cur.x, 2);
    EXPECT_EQ(cur.y, 2);

    c.clear();
    EXPECT_FALSE(Polyline(c.dc(), nullptr, 3));
    EXPECT_FALSE(Polyline(c.dc(), ring, 1));
    EXPECT_FALSE(Polyline(c.dc(), ring, 0));
    EXPECT_FALSE(Polyline(c.dc(), ring, -5));
    EXPECT_FALSE(Polyline(nullptr, ring, 5));
    EXPECT_TRUE(c.painted().empty());
}

// ---------------------------------------------------------------------------
// Rectangles

TEST(Rectangle, PenBrushAndNullObjects) {
    struct Case {
        const char *name;
        COLORREF pen, brush;
        const char *picture;
    } cases[] = {
        {"pen and brush", kPen, kBrush,
         "........\n"
         ".PPPPP..\n"
         ".PBBBP..\n"
         ".PBBBP..\n"
         ".PPPPP..\n"
         "........\n"},
        {"null pen", kNone, kBrush,
         "........\n"
         ".BBBB...\n"
         ".BBBB...\n"
         ".BBBB...\n"
         "........\n"
         "........\n"},
        {"null brush", kPen, kNone,
         "........\n"
         ".PPPPP..\n"
         ".P...P..\n"
         ".P...P..\n"
         ".PPPPP..\n"
         "........\n"},
    };
    Canvas c(8, 6);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        Tools tools(c.dc(), k.pen, k.brush);
        for (const RECT &r : {RECT{1, 1, 6, 5}, RECT{6, 5, 1, 1}, RECT{1, 5, 6, 1}}) { // normalised
            c.clear();
            EXPECT_TRUE(Rectangle(c.dc(), r.left, r.top, r.right, r.bottom));
            EXPECT_EQ(c.picture(), k.picture);
        }
    }
}

// Small and empty boxes against the closed-polyline construction.
TEST(Rectangle, DegenerateBoxes) {
    struct Case {
        int w, h;
        size_t penPixels; // with a pen
    } cases[] = {{0, 0, 0}, {0, 3, 0}, {4, 0, 0}, {1, 1, 0}, {2, 2, 4}, {3, 1, 3}, {1, 3, 3}, {1, 4, 4}, {2, 1, 2}, {3, 2, 6}, {3, 3, 8}};
    Canvas c(10, 10);
    for (const Case &k : cases) {
        for (const bool pen : {true, false}) {
            SCOPED_TRACE(::testing::Message() << k.w << "x" << k.h << (pen ? " pen" : " null pen"));
            Tools tools(c.dc(), pen ? kPen : kNone, kBrush);
            c.clear();
            EXPECT_TRUE(Rectangle(c.dc(), 2, 3, 2 + k.w, 3 + k.h));
            const Shape want = referenceRectangle(2, 3, 2 + k.w, 3 + k.h, pen, true);
            EXPECT_EQ(c.picture(), pictureOf(10, 10, want.pen, want.brush));
            if (pen) {
                EXPECT_EQ(want.pen.size(), k.penPixels);
            }
        }
    }
}

TEST(Rectangle, HugeAndSurfaceSizedBoxes) {
    Canvas c(7, 5);
    Tools tools(c.dc(), kPen, kBrush);
    const std::string allBrush = uniform(7, 5, 'B');
    for (const RECT &r : {RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, RECT{INT_MAX, INT_MAX, INT_MIN, INT_MIN},
                          RECT{-1, -1, 8, 6}, RECT{-100000, -3, 1000000000, 2000000000}}) {
        SCOPED_TRACE(::testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom);
        c.clear();
        EXPECT_TRUE(Rectangle(c.dc(), r.left, r.top, r.right, r.bottom));
        EXPECT_EQ(c.picture(), allBrush);
    }
    c.clear();
    EXPECT_TRUE(Rectangle(c.dc(), 0, 0, 7, 5));
    EXPECT_EQ(c.picture(), "PPPPPPP\nPBBBBBP\nPBBBBBP\nPBBBBBP\nPPPPPPP\n");
    c.clear();
    EXPECT_TRUE(Rectangle(c.dc(), INT_MIN, INT_MIN, INT_MIN + 5, INT_MIN + 5));
    EXPECT_TRUE(Rectangle(c.dc(), INT_MAX - 5, 0, INT_MAX, 5));
    EXPECT_TRUE(c.painted().empty());
    EXPECT_FALSE(Rectangle(nullptr, 0, 0, 3, 3));
}

// ---------------------------------------------------------------------------
// Ellipses

// Circles as a mask painter draws them: pen and brush of one colour, box
// (cx - r, cy - r, cx + r, cy + r).
TEST(Ellipse, CirclePictures) {
    struct Case {
        int r;
        const char *picture; // rows cy-r .. cy+r-1, columns cx-r .. cx+r-1
    } cases[] = {
        {0, ""},
        {1, "PP\nPP\n"},
        {2, ".PP.\n"
            "PPPP\n"
            "PPPP\n"
            ".PP.\n"},
        {3, "..PP..\n"
            ".PPPP.\n"
            "PPPPPP\n"
            "PPPPPP\n"
            ".PPPP.\n"
            "..PP..\n"},
        {4, "..PPPP..\n"
            ".PPPPPP.\n"
            "PPPPPPPP\n"
            "PPPPPPPP\n"
            "PPPPPPPP\n"
            "PPPPPPPP\n"
            ".PPPPPP.\n"
            "..PPPP..\n"},
    };
    Canvas c(14, 14);
    Tools tools(c.dc(), kPen, kPen);
    const int cx = 7, cy = 6;
    for (const Case &k : cases) {
        SCOPED_TRACE(k.r);
        c.clear();
        EXPECT_TRUE(Ellipse(c.dc(), cx - k.r, cy - k.r, cx + k.r, cy + k.r));
        EXPECT_EQ(c.picture(cx - k.r, cy - k.r, 2 * k.r, 2 * k.r), k.picture);
        // Nothing outside the box.
        EXPECT_EQ(c.painted().size(), (size_t)std::count(k.picture, k.picture + std::string(k.picture).size(), 'P'));
    }
}

TEST(Ellipse, SmallBoxesWithPenAndBrush) {
    struct Case {
        int w, h;
        const char *picture;
    } cases[] = {
        {3, 3, ".P.\nPBP\n.P.\n"},
        {4, 4, ".PP.\nPBBP\nPBBP\n.PP.\n"},
        {5, 2, "PPPPP\nPPPPP\n"},
        {1, 4, "P\nP\nP\nP\n"},
        {2, 2, "PP\nPP\n"},
        {1, 1, ".\n"},
    };
    Canvas c(9, 9);
    Tools tools(c.dc(), kPen, kBrush);
    for (const Case &k : cases) {
        SCOPED_TRACE(::testing::Message() << k.w << "x" << k.h);
        c.clear();
        EXPECT_TRUE(Ellipse(c.dc(), 2, 1, 2 + k.w, 1 + k.h));
        const std::string want = k.picture;
        EXPECT_EQ(c.picture(2, 1, k.w, k.h), want);
        EXPECT_EQ(c.painted().size(), (size_t)std::count_if(want.begin(), want.end(), [](char ch) { return ch == 'P' || ch == 'B'; }));
    }
}

// Every box from 0x0 to 40x40, with pen and brush, without pen and without
// brush, against the closed-polyline construction.
TEST(Ellipse, AllBoxesUpTo40MatchTheOutlineConstruction) {
    Canvas c(44, 44);
    struct Tool {
        COLORREF pen, brush;
    } tools[] = {{kPen, kBrush}, {kNone, kBrush}, {kPen, kNone}};
    for (const Tool &t : tools) {
        Tools sel(c.dc(), t.pen, t.brush);
        for (int h = 0; h <= 40; ++h)
            for (int w = 0; w <= 40; ++w) {
                SCOPED_TRACE(::testing::Message() << w << "x" << h << " pen " << (t.pen != kNone) << " brush "
                                                  << (t.brush != kNone));
                c.clear();
                // Give the box in both orders: it is normalised first.
                if ((w + h) % 2)
                    Ellipse(c.dc(), 2, 1, 2 + w, 1 + h);
                else
                    Ellipse(c.dc(), 2 + w, 1 + h, 2, 1);
                const Shape want = referenceEllipse(2, 1, 2 + w, 1 + h, t.pen != kNone, t.brush != kNone);
                ASSERT_EQ(c.picture(), pictureOf(44, 44, want.pen, want.brush));
            }
    }
}

// A large ellipse seen through a small surface shows exactly that part of
// what it draws on a surface holding all of it.
TEST(Ellipse, LargeEllipseClippedToASmallSurface) {
    const int W = 2000, H = 1500;
    Canvas big(W, H);
    Tools bigTools(big.dc(), kPen, kBrush);
    ASSERT_TRUE(Ellipse(big.dc(), 0, 0, W, H));
    // The widest row is full, the top row is a short run around the middle.
    EXPECT_EQ(big.get(0, H / 2), kPenRaw);
    EXPECT_EQ(big.get(W / 2, H / 2), kBrushRaw);
    EXPECT_EQ(big.get(W / 2, 0), kPenRaw);
    EXPECT_EQ(big.get(0, 0), kWhite);

    Canvas small(100, 100);
    Tools smallTools(small.dc(), kPen, kBrush);
    const POINT views[] = {{0, 0},     {1900, 0},    {0, 1400},    {1900, 1400}, {950, 0},   {950, 1400},
                           {0, 700},   {1900, 700},  {950, 700},   {-50, -50},   {1950, 1450}, {-99, 700},
                           {137, 83}, {1713, 1266}, {300, 40}};
    for (const POINT &v : views) {
        SCOPED_TRACE(::testing::Message() << "view at " << v.x << "," << v.y);
        small.clear();
        // The surface shows logical [v.x, v.x + 100) x [v.y, v.y + 100).
        SetWindowOrgEx(small.dc(), v.x, v.y, nullptr);
        ASSERT_TRUE(Ellipse(small.dc(), 0, 0, W, H));
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                const int bx = v.x + x, by = v.y + y;
                const uint32_t want = bx >= 0 && by >= 0 && bx < W && by < H ? big.get(bx, by) : kWhite;
                ASSERT_EQ(small.get(x, y), want) << x << "," << y;
            }
    }
}

TEST(Ellipse, SymmetricAboutTheBoxCentre) {
    const int sizes[] = {3, 4, 5, 7, 10, 17, 31, 64, 99, 150, 233};
    Canvas c(240, 240);
    Tools tools(c.dc(), kPen, kBrush);
    for (int w : sizes)
        for (int h : sizes) {
            SCOPED_TRACE(::testing::Message() << w << "x" << h);
            c.clear();
            Ellipse(c.dc(), 3, 4, 3 + w, 4 + h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t v = c.get(3 + x, 4 + y);
                    ASSERT_EQ(v, c.get(3 + w - 1 - x, 4 + y)) << x << "," << y;
                    ASSERT_EQ(v, c.get(3 + x, 4 + h - 1 - y)) << x << "," << y;
                }
            // Everything inside the box. (Not every row of it: the walk of a
            // thin ellipse stops before the top.)
            for (const Pixel &p : c.painted())
                ASSERT_TRUE(p.first >= 3 && p.first < 3 + w && p.second >= 4 && p.second < 4 + h) << p.first << "," << p.second;
        }
}

TEST(Ellipse, HugeBoxes) {
    Canvas c(64, 48);
    Tools tools(c.dc(), kPen, kBrush);
    // Centred on the surface's corner, much larger than it: all inside.
    EXPECT_TRUE(Ellipse(c.dc(), -(1 << 26), -(1 << 26), 1 << 26, 1 << 26));
    EXPECT_EQ(c.picture(), uniform(64, 48, 'B'));
    // The top of a very large ellipse crosses row 5: a long flat run of pen,
    // then the inside.
    c.clear();
    EXPECT_TRUE(Ellipse(c.dc(), -20000000, 5, 20000000, 40000005));
    for (int x = 0; x < 64; ++x) {
        EXPECT_EQ(c.get(x, 4), kWhite) << x;
        EXPECT_EQ(c.get(x, 5), kPenRaw) << x;
        EXPECT_EQ(c.get(x, 6), kBrushRaw) << x;
        EXPECT_EQ(c.get(x, 47), kBrushRaw) << x;
    }
    // Boxes beyond the platform's device space are refused, whatever their
    // visible part; boxes entirely off the surface draw nothing.
    c.clear();
    EXPECT_FALSE(Ellipse(c.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_FALSE(Ellipse(c.dc(), 0, 0, 1 << 28, 10));
    EXPECT_TRUE(Ellipse(c.dc(), -1000000, -1000000, -999000, -999000));
    EXPECT_TRUE(Ellipse(c.dc(), 100, 0, 5000000, 3000000));
    EXPECT_TRUE(c.painted().empty());
    EXPECT_FALSE(Ellipse(nullptr, 0, 0, 5, 5));
}

// ---------------------------------------------------------------------------
// Polygons

TEST(Polygon, TriangleWithAndWithoutPen) {
    const POINT tri[] = {{0, 0}, {8, 0}, {0, 8}};
    Canvas c(10, 10);
    {
        Tools tools(c.dc(), kNone, kBrush);
        EXPECT_TRUE(Polygon(c.dc(), tri, 3));
        EXPECT_EQ(c.picture(), "BBBBBBBB..\n"
                               "BBBBBBB...\n"
                               "BBBBBB....\n"
                               "BBBBB.....\n"
                               "BBBB......\n"
                               "BBB.......\n"
                               "BB........\n"
                               "B.........\n"
                               "..........\n"
                               "..........\n");
    }
    c.clear();
    {
        // The outline adds the right and bottom edge pixels; pen and brush of
        // one colour paint row y over x = 0 .. 8 - y, plus (0, 8).
        Tools tools(c.dc(), kPen, kPen);
        EXPECT_TRUE(Polygon(c.dc(), tri, 3));
        EXPECT_EQ(c.picture(), "PPPPPPPPP.\n"
                               "PPPPPPPP..\n"
                               "PPPPPPP...\n"
                               "PPPPPP....\n"
                               "PPPPP.....\n"
                               "PPPP......\n"
                               "PPP.......\n"
                               "PP........\n"
                               "P.........\n"
                               "..........\n");
    }
}

TEST(Polygon, PointsJustOutsideTheSurfaceFillAllOfIt) {
    const int W = 13, H = 9;
    const POINT around[] = {{-1, -1}, {W, -1}, {W, H}, {-1, H}};
    const std::string full = uniform(W, H, 'B');
    Canvas c(W, H);
    for (const COLORREF pen : {kNone, kPen}) {
        SCOPED_TRACE(pen == kNone ? "null pen" : "pen");
        Tools tools(c.dc(), pen, kBrush);
        c.clear();
        EXPECT_TRUE(Polygon(c.dc(), around, 4));
        EXPECT_EQ(c.picture(), full);
    }
}

TEST(Polygon, WindingAndAlternateOnAStar) {
    // A five-pointed star drawn in one stroke: the middle pentagon is wound twice.
    const std::vector<POINT> star = {{20, 1}, {31, 37}, {2, 14}, {38, 14}, {9, 37}};
    Canvas c(40, 40);
    Tools tools(c.dc(), kNone, kBrush);
    for (const int mode : {ALTERNATE, WINDING}) {
        SCOPED_TRACE(mode == WINDING ? "winding" : "alternate");
        c.clear();
        SetPolyFillMode(c.dc(), mode);
        EXPECT_TRUE(Polygon(c.dc(), star.data(), (int)star.size()));
        const Shape want = referencePolygon(star, mode, false, 40, 40);
        EXPECT_EQ(c.picture(), pictureOf(40, 40, want.pen, want.brush));
        EXPECT_EQ(c.get(20, 20), mode == WINDING ? kBrushRaw : kWhite); // the centre
        EXPECT_EQ(c.get(20, 5), kBrushRaw);                               // a point of the star
    }
    SetPolyFillMode(c.dc(), ALTERNATE);
}

// Random polygons (self-intersecting ones included, vertices reaching outside
// the surface) against the point-inside rule, with and without pen.
TEST(Polygon, RandomPolygonsFollowThePointInsideRule) {
    uint32_t seed = 12345;
    auto rnd = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + (int)((seed >> 8) % (uint32_t)(hi - lo + 1));
    };
    Canvas c(30, 30);
    for (int n = 0; n < 300; ++n) {
        std::vector<POINT> pts((size_t)rnd(3, 9));
        for (POINT &p : pts) p = POINT{rnd(-6, 36), rnd(-6, 36)};
        const int mode = n % 2 ? WINDING : ALTERNATE;
        const bool pen = n % 3 == 0;
        SCOPED_TRACE(::testing::Message() << "polygon " << n);
        Tools tools(c.dc(), pen ? kPen : kNone, kBrush);
        SetPolyFillMode(c.dc(), mode);
        c.clear();
        EXPECT_TRUE(Polygon(c.dc(), pts.data(), (int)pts.size()));
        const Shape want = referencePolygon(pts, mode, pen, 30, 30);
        ASSERT_EQ(c.picture(), pictureOf(30, 30, want.pen, want.brush));
    }
    SetPolyFillMode(c.dc(), ALTERNATE);
}

TEST(Polygon, HugeCoordinatesAndBadArguments) {
    struct Case {
        POINT org;
        std::vector<POINT> pts;
    } cases[] = {
        {{0, 0}, {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}}},
        {{0, 0}, {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}}},
        {{0, 0}, {{-1000000000, 3}, {1000000000, 5}, {7, 1500000000}}},
        {{INT_MIN, INT_MAX}, {{INT_MAX, INT_MIN}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}},
        {{5, -3}, {{INT_MAX, 0}, {0, INT_MAX}, {INT_MIN, 0}, {0, INT_MIN}}},
    };
    Canvas c(16, 12);
    for (const Case &k : cases) {
        for (const bool pen : {false, true}) {
            SCOPED_TRACE(::testing::Message() << k.pts[0].x << "," << k.pts[0].y << " pen " << pen);
            Tools tools(c.dc(), pen ? kPen : kNone, kBrush);
            SetWindowOrgEx(c.dc(), k.org.x, k.org.y, nullptr);
            c.clear();
            EXPECT_TRUE(Polygon(c.dc(), k.pts.data(), (int)k.pts.size()));
            const Shape want = referencePolygon(k.pts, ALTERNATE, pen, 16, 12, k.org);
            EXPECT_EQ(c.picture(), pictureOf(16, 12, want.pen, want.brush));
        }
    }
    SetWindowOrgEx(c.dc(), 0, 0, nullptr);
    c.clear();
    const POINT two[] = {{1, 1}, {5, 5}};
    EXPECT_FALSE(Polygon(c.dc(), nullptr, 3));
    EXPECT_FALSE(Polygon(c.dc(), two, 1));
    EXPECT_FALSE(Polygon(c.dc(), two, -1));
    EXPECT_FALSE(Polygon(nullptr, two, 2));
    EXPECT_TRUE(c.painted().empty());
    // Two points: no inside, the outline there and back.
    EXPECT_TRUE(Polygon(c.dc(), two, 2));
    EXPECT_EQ(c.painted(), (PixelSet{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}));
}

// ---------------------------------------------------------------------------
// All shapes: clipping, window origin, raster operations, windows, depths

using DrawFn = std::function<void(HDC)>;

struct NamedDraw {
    const char *name;
    DrawFn draw;
};

std::vector<NamedDraw> everyShape() {
    static const POINT star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
    static const POINT zigzag[] = {{0, 2}, {7, 14}, {19, 14}, {12, 1}, {3, 5}};
    return {
        {"lines",
         [](HDC dc) {
             MoveToEx(dc, -3, 1, nullptr);
             LineTo(dc, 22, 6);
             LineTo(dc, 2, 18);
             LineTo(dc, 2, 0);
         }},
        {"polyline", [](HDC dc) { Polyline(dc, zigzag, 4); }},
        {"polygon", [](HDC dc) { Polygon(dc, star, 5); }},
        {"rectangle", [](HDC dc) { Rectangle(dc, 1, 2, 18, 16); }},
        {"ellipse", [](HDC dc) { Ellipse(dc, -2, 1, 19, 20); }},
        {"pixels",
         [](HDC dc) {
             for (int i = 0; i < 20; ++i) SetPixel(dc, i, (i * 7) % 20, RGB(0, 0, 0));
         }},
    };
}

// Each shape drawn through a clip region paints exactly the unclipped
// picture inside the region and nothing outside.
TEST(DrawClip, EveryShapeStaysInsideTheClipRegion) {
    struct Clip {
        const char *name;
        std::function<void(HDC)> set;
        std::function<bool(int, int)> inside; // device pixel
    } clips[] = {
        {"exclude", [](HDC dc) { ExcludeClipRect(dc, 4, 3, 12, 9); },
         [](int x, int y) { return !(x >= 4 && x < 12 && y >= 3 && y < 9); }},
        {"intersect", [](HDC dc) { IntersectClipRect(dc, 3, 2, 15, 11); },
         [](int x, int y) { return x >= 3 && x < 15 && y >= 2 && y < 11; }},
        {"two rectangles",
         [](HDC dc) {
             HRGN a = CreateRectRgn(0, 0, 6, 20), b = CreateRectRgn(9, 5, 20, 9);
             CombineRgn(a, a, b, RGN_OR);
             SelectClipRgn(dc, a);
             DeleteObject(a);
             DeleteObject(b);
         },
         [](int x, int y) { return x < 6 || (x >= 9 && y >= 5 && y < 9); }},
        {"empty", [](HDC dc) { IntersectClipRect(dc, 5, 5, 5, 9); }, [](int, int) { return false; }},
    };
    for (const NamedDraw &shape : everyShape()) {
        Canvas plain(20, 20);
        {
            Tools tools(plain.dc(), kPen, kBrush);
            shape.draw(plain.dc());
        }
        ASSERT_FALSE(plain.painted().empty()) << shape.name;
        for (const Clip &clip : clips) {
            SCOPED_TRACE(::testing::Message() << shape.name << " clipped by " << clip.name);
            Canvas c(20, 20);
            Tools tools(c.dc(), kPen, kBrush);
            clip.set(c.dc());
            shape.draw(c.dc());
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 20; ++x)
                    ASSERT_EQ(c.get(x, y), clip.inside(x, y) ? plain.get(x, y) : kWhite) << x << "," << y;
        }
    }
}

// Shapes are given in logical coordinates: with the window origin at (ox, oy)
// the picture moves by (-ox, -oy). A clip region set before moving the origin
// stays where it was on the device.
TEST(DrawClip, WindowOriginMovesShapesButNotTheClipRegion) {
    const POINT origins[] = {{-3, -2}, {4, 5}, {-25, 0}};
    for (const NamedDraw &shape : everyShape()) {
        Canvas plain(40, 40);
        {
            Tools tools(plain.dc(), kPen, kBrush);
            SetWindowOrgEx(plain.dc(), -10, -10, nullptr); // room on every side
            shape.draw(plain.dc());
        }
        for (const POINT &o : origins) {
            SCOPED_TRACE(::testing::Message() << shape.name << " origin " << o.x << "," << o.y);
            Canvas c(40, 40);
            Tools tools(c.dc(), kPen, kBrush);
            ExcludeClipRect(c.dc(), 0, 0, 40, 4); // device rows 0..3
            SetWindowOrgEx(c.dc(), o.x, o.y, nullptr);
            shape.draw(c.dc());
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x) {
                    const int px = x + o.x + 10, py = y + o.y + 10; // same logical point on `plain`
                    uint32_t want = px >= 0 && py >= 0 && px < 40 && py < 40 ? plain.get(px, py) : kWhite;
                    if (y < 4) want = kWhite;
                    ASSERT_EQ(c.get(x, y), want) << x << "," << y;
                }
        }
    }
}

// With R2_XORPEN every pixel of a rectangle, an ellipse or a polyline that
// does not cross itself is changed exactly once: pen and brush never overlap
// and the segments share only their joints. (A polygon's outline goes over
// its fill, and crossing lines cross.)
TEST(DrawRop, ShapesPaintEachPixelOnce) {
    for (const NamedDraw &shape : everyShape()) {
        const std::string name = shape.name;
        if (name != "rectangle" && name != "ellipse" && name != "polyline") continue;
        SCOPED_TRACE(name);
        Canvas plain(20, 20);
        {
            Tools tools(plain.dc(), kPen, kPen);
            shape.draw(plain.dc());
        }
        DibDC x(20, 20, 32);
        x.fill(0x000000);
        Tools tools(x.dc(), RGB(255, 255, 255), RGB(255, 255, 255));
        SetROP2(x.dc(), R2_XORPEN);
        shape.draw(x.dc());
        for (int y = 0; y < 20; ++y)
            for (int xx = 0; xx < 20; ++xx)
                ASSERT_EQ(x.get(xx, y), plain.get(xx, y) == kPenRaw ? 0xFFFFFFu : 0u) << xx << "," << y;
    }
}

TEST(DrawRop, SetPixelIgnoresTheRasterOperation) {
    DibDC d(4, 4, 32);
    d.fill(0x0000FF);
    SetROP2(d.dc(), R2_XORPEN);
    EXPECT_EQ(SetPixel(d.dc(), 1, 1, RGB(0, 0xFF, 0)), RGB(0, 0xFF, 0));
    EXPECT_EQ(d.get(1, 1), 0x00FF00u);
}

struct ChangeLog {
    std::vector<RECT> rects;
    static void record(void *user, HWND, const RECT *r) { static_cast<ChangeLog *>(user)->rects.push_back(*r); }
};

TEST(DrawWindow, ShapesReportWhatTheyChanged) {
    QvtSetDisplayDepth(32);
    HWND wnd = QvtCreateWindow(30, 20);
    ASSERT_NE(wnd, nullptr);
    ChangeLog log;
    QvtSetWindowChangedHandler(wnd, &ChangeLog::record, &log);
    HDC dc = GetDC(wnd);
    SetWindowOrgEx(dc, -1, 0, nullptr);
    struct Case {
        const char *name;
        DrawFn draw;
        RECT changed; // device; empty: no report
    } cases[] = {
        {"line", [](HDC d) { MoveToEx(d, 2, 3, nullptr); LineTo(d, 9, 3); }, {3, 3, 10, 4}},
        {"rectangle", [](HDC d) { Rectangle(d, 4, 5, 10, 8); }, {5, 5, 11, 8}},
        {"ellipse past the edge", [](HDC d) { Ellipse(d, 20, 10, 40, 30); }, {21, 10, 30, 20}},
        {"pixel", [](HDC d) { SetPixel(d, 0, 19, RGB(1, 2, 3)); }, {1, 19, 2, 20}},
        {"polygon", [](HDC d) {
             const POINT p[] = {{0, 0}, {5, 0}, {0, 5}};
             Polygon(d, p, 3);
         }, {1, 0, 7, 6}},
        {"zero-length line", [](HDC d) { MoveToEx(d, 2, 3, nullptr); LineTo(d, 2, 3); }, {0, 0, 0, 0}},
        {"off the window", [](HDC d) { Rectangle(d, 100, 100, 120, 120); }, {0, 0, 0, 0}},
        {"pixel off the window", [](HDC d) { SetPixel(d, -2, 0, 0); }, {0, 0, 0, 0}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        log.rects.clear();
        k.draw(dc);
        if (k.changed.left == k.changed.right) {
            EXPECT_TRUE(log.rects.empty());
            continue;
        }
        ASSERT_EQ(log.rects.size(), 1u);
        EXPECT_EQ(log.rects[0].left, k.changed.left);
        EXPECT_EQ(log.rects[0].top, k.changed.top);
        EXPECT_EQ(log.rects[0].right, k.changed.right);
        EXPECT_EQ(log.rects[0].bottom, k.changed.bottom);
    }
    EXPECT_EQ(GetPixel(dc, 0, 19), RGB(1, 2, 3));
    ReleaseDC(wnd, dc);
    QvtDestroyWindow(wnd);
}

// The same picture on every DIB depth, in colours each depth holds exactly,
// reads back with the same RGB everywhere as on a 32-bit reference.
TEST(DrawDepth, SamePictureOnEveryDepth) {
    const std::vector<RGBQUAD> vga = {
        quad(0, 0, 0),       quad(0x80, 0, 0),    quad(0, 0x80, 0),    quad(0x80, 0x80, 0),
        quad(0, 0, 0x80),    quad(0x80, 0, 0x80), quad(0, 0x80, 0x80), quad(0xC0, 0xC0, 0xC0),
        quad(0x80, 0x80, 0x80), quad(0xFF, 0, 0), quad(0, 0xFF, 0),    quad(0xFF, 0xFF, 0),
        quad(0, 0, 0xFF),    quad(0xFF, 0, 0xFF), quad(0, 0xFF, 0xFF), quad(0xFF, 0xFF, 0xFF),
    };
    std::vector<RGBQUAD> table8 = vga;
    for (int i = 16; i < 256; ++i) table8.push_back(quad((uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i / 2)));
    // Background, pen, brush, second pen.
    const COLORREF mono[4] = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(0, 0, 0), RGB(255, 255, 255)};
    const COLORREF colour[4] = {RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 255), RGB(0, 255, 0)};

    auto scene = [](HDC dc, const COLORREF *col) {
        {
            Tools t(dc, kNone, col[0]);
            Rectangle(dc, -1, -1, 100, 100);
        }
        {
            Tools t(dc, col[1], col[2]);
            Ellipse(dc, 3, 2, 40, 27);
            Rectangle(dc, 30, 20, 58, 38);
            const POINT star[] = {{45, 1}, {55, 30}, {32, 12}, {60, 12}, {36, 30}};
            SetPolyFillMode(dc, WINDING);
            Polygon(dc, star, 5);
        }
        {
            Tools t(dc, col[3], kNone);
            MoveToEx(dc, 0, 39, nullptr);
            LineTo(dc, 59, 0);
            const POINT zig[] = {{2, 30}, {10, 38}, {20, 25}, {28, 39}};
            Polyline(dc, zig, 4);
            Ellipse(dc, 8, 8, 20, 16);
        }
        for (int i = 0; i < 30; ++i) SetPixel(dc, i * 2, 33 + i % 5, col[1 + i % 3]);
    };

    struct Case {
        int depth;
        std::vector<RGBQUAD> table;
        const COLORREF *colours;
    } cases[] = {
        {1, {quad(0, 0, 0), quad(255, 255, 255)}, mono}, {4, vga, colour}, {8, table8, colour},
        {15, {}, colour}, {16, {}, colour}, {24, {}, colour}, {32, {}, colour},
    };
    for (const Case &k : cases) {
        DibDC ref(60, 40, 32);
        scene(ref.dc(), k.colours);
        for (const bool topDown : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "depth " << k.depth << (topDown ? " top-down" : " bottom-up"));
            DibDC d(60, 40, k.depth, k.table, topDown);
            ASSERT_TRUE(d.ok());
            scene(d.dc(), k.colours);
            std::set<COLORREF> seen;
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 60; ++x) {
                    const COLORREF got = GetPixel(d.dc(), x, y);
                    ASSERT_EQ(got, GetPixel(ref.dc(), x, y)) << x << "," << y;
                    seen.insert(got);
                }
            EXPECT_EQ(seen.size(), k.depth == 1 ? 2u : 4u);
        }
    }
}

} // namespace
