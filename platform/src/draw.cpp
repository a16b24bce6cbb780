// Lines, outlines, filled shapes and single pixels.
//
// Every shape is reduced to horizontal spans of device pixels; fillSpan paints
// a span with the pen or the brush through the DC's binary raster operation,
// clipped to the surface and the clip region. Geometry is done on 64-bit
// device coordinates (128-bit where two coordinate differences are
// multiplied), and only the rows and columns that can reach the surface are
// visited, so a line, rectangle or polygon reaching far outside the surface,
// anywhere in the 32-bit coordinate range, costs about as much as its visible
// part (ellipses are the exception, see kDeviceLimit).
//
// Rectangle and ellipse outlines are pixel sets, disjoint from their insides:
// a pixel that an outline passes twice (the ends of a one-pixel-wide
// rectangle, say) is painted once, so XOR pens leave no holes. Polylines and
// polygon outlines are drawn segment by segment, as LineTo draws them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "gdi_internal.h"

namespace qvt::gdi {

using i128 = __int128;

void fillSpan(DCObj &dc, Surface &s, int y, int x0, int x1, const ResolvedBrush &b, int rop2) {
    if (b.null) return;
    const uint8_t op = rop2ToIndex(rop2);
    if (op == 0xAA) return; // R2_NOP leaves the destination alone
    const bool readDest = ropUsesDest(op);
    const uint32_t mask = valueMask(s.fmt);
    forEachClipSpan(dc, s, y, x0, x1, [&](int a, int e) {
        // Work in chunks so that a span costs no allocation.
        constexpr int kChunk = 256;
        uint32_t pat[kChunk];
        uint32_t dst[kChunk];
        bool patReady = false;
        for (int x = a; x < e; x += kChunk) {
            const int n = std::min(kChunk, e - x);
            if (!b.solid || !patReady) {
                // A solid brush's values serve every chunk of the span.
                b.row(x, y, b.solid ? std::min(kChunk, e - a) : n, pat);
                patReady = true;
            }
            if (op == 0xF0) { // the pen or brush as it is
                writeRow(s, x, y, n, pat);
                continue;
            }
            if (readDest)
                readRow(s, x, y, n, dst);
            else
                std::fill(dst, dst + n, 0u);
            ropRow(op, pat, nullptr, dst, n, mask);
            writeRow(s, x, y, n, dst);
        }
    });
}

namespace {

// An ellipse's outline is walked from its widest row, so its cost grows with
// the size of its box, not with its visible part. Its box must lie within
// +-2^27 device pixels (the 28-bit device space of the platform's own
// graphics engine); a box reaching beyond is refused rather than walked for
// seconds. Lines, rectangles and polygons cost only their visible part and
// take any coordinates.
constexpr int64_t kDeviceLimit = int64_t(1) << 27;

struct Pt {
    int64_t x, y;
};

Pt toDevice(const DCObj &dc, int64_t x, int64_t y) { return Pt{dc.devX(x), dc.devY(y)}; }

// Division rounding toward minus infinity, for a positive divisor.
i128 floorDiv(i128 n, i128 d) {
    i128 q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}

// Division rounding toward plus infinity, for a non-zero divisor.
i128 ceilDiv(i128 n, i128 d) {
    if (d < 0) n = -n, d = -d;
    i128 q = n / d;
    if (n % d != 0 && n > 0) ++q;
    return q;
}

// A solid pen colour as a brush, or a null brush for NULL_PEN.
ResolvedBrush penBrush(const DCObj &dc, const Surface &s) {
    ResolvedBrush rb;
    if (!dc.pen || dc.pen->style == PS_NULL) {
        rb.null = true;
        return rb;
    }
    rb.value = penBrushValue(dc, s, dc.pen->color);
    return rb;
}

// Paints spans on one surface through one DC and remembers the bounds of
// what it painted, to tell a window's listener once at the end.
class Painter {
public:
    Painter(DCObj &dc, Surface &s, int rop2) : dc_(dc), s_(s), rop2_(rop2) {}
    Painter(const Painter &) = delete;
    Painter &operator=(const Painter &) = delete;

    int width() const { return s_.width; }
    int height() const { return s_.height; }

    // Device row y, columns [x0, x1).
    void span(int64_t y, int64_t x0, int64_t x1, const ResolvedBrush &b) {
        if (b.null || y < 0 || y >= s_.height) return;
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, s_.width);
        if (x0 >= x1) return;
        fillSpan(dc_, s_, (int)y, (int)x0, (int)x1, b, rop2_);
        if (bounds_.left >= bounds_.right) {
            bounds_ = RECT{(LONG)x0, (LONG)y, (LONG)x1, (LONG)y + 1};
        } else {
            bounds_.left = std::min(bounds_.left, (LONG)x0);
            bounds_.top = std::min(bounds_.top, (LONG)y);
            bounds_.right = std::max(bounds_.right, (LONG)x1);
            bounds_.bottom = std::max(bounds_.bottom, (LONG)y + 1);
        }
    }

    void finish() {
        if (bounds_.left < bounds_.right) notifyChanged(&dc_, bounds_);
    }

private:
    DCObj &dc_;
    Surface &s_;
    int rop2_;
    RECT bounds_{0, 0, 0, 0};
};

// The line from p to q without q. Along the major axis (x when |dx| > |dy|,
// else y) every step gets the nearest pixel on the other axis; an exact half
// goes to the smaller coordinate, whichever way the line runs. With
// a = (t - t0) * dMinor and b = dMajor (both negated when b < 0) the minor
// coordinate is m0 - floor((b - 2a) / 2b).
int64_t minorAt(int64_t t, int64_t t0, int64_t m0, int64_t dMajor, int64_t dMinor) {
    i128 a = (i128)(t - t0) * dMinor, b = dMajor;
    if (b < 0) a = -a, b = -b;
    return m0 - (int64_t)floorDiv(b - 2 * a, 2 * b);
}

void drawLine(Painter &p, const ResolvedBrush &pen, Pt from, Pt to) {
    if (pen.null) return;
    const int64_t dx = to.x - from.x, dy = to.y - from.y;
    if (dx == 0 && dy == 0) return;
    if (std::abs(dx) > std::abs(dy)) {
        // Columns from `from` toward `to` (excluded), restricted to the
        // surface; neighbouring columns on one row make one span.
        int64_t lo = dx > 0 ? from.x : to.x + 1, hi = dx > 0 ? to.x - 1 : from.x;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, p.width() - 1);
        bool open = false;
        int64_t runY = 0, runX = 0;
        for (int64_t x = lo; x <= hi; ++x) {
            const int64_t y = minorAt(x, from.x, from.y, dx, dy);
            if (open && y == runY) continue;
            if (open) p.span(runY, runX, x, pen);
            open = true;
            runY = y;
            runX = x;
        }
        if (open) p.span(runY, runX, hi + 1, pen);
    } else {
        int64_t lo = dy > 0 ? from.y : to.y + 1, hi = dy > 0 ? to.y - 1 : from.y;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, p.height() - 1);
        for (int64_t y = lo; y <= hi; ++y) {
            const int64_t x = minorAt(y, from.y, from.x, dy, dx);
            p.span(y, x, x + 1, pen);
        }
    }
}

// A rectangle [l, r) x [t, b) (normalised): the pen draws the border of the
// pixel box [l, r-1] x [t, b-1], the brush the inside of the border. A 1 x 1
// box has no outline (its border closes on itself). With NULL_PEN the brush
// alone fills [l, r-1) x [t, b-1).
void drawBox(Painter &p, const ResolvedBrush &pen, const ResolvedBrush &brush, int64_t l, int64_t t, int64_t r,
             int64_t b) {
    const int64_t w = r - l, h = b - t;
    if (w <= 0 || h <= 0) return;
    const int64_t top = std::max<int64_t>(t, 0);
    if (pen.null) {
        const int64_t end = std::min<int64_t>(b - 1, p.height());
        for (int64_t y = top; y < end; ++y) p.span(y, l, r - 1, brush);
        return;
    }
    if (w == 1 && h == 1) return;
    const int64_t end = std::min<int64_t>(b, p.height());
    for (int64_t y = top; y < end; ++y) {
        if (y == t || y == b - 1) {
            p.span(y, l, r, pen);
            continue;
        }
        p.span(y, l, l + 1, pen);
        if (w > 1) {
            p.span(y, l + 1, r - 1, brush);
            p.span(y, r - 1, r, pen);
        }
    }
}

// The outline of an ellipse in the box of size w x h (both >= 3), one
// quarter at a time. An error-term walk with a = w - 1, b = h - 1 runs from
// (a, h/2) toward the top while x >= w/2, each step moving x down, y up or
// both; the points it visits, mirrored about both axes of the box, are the
// outline, each consecutive pair of points being at most one pixel apart.
// Coordinates here are quarter coordinates: x from the box's left edge,
// y from its bottom edge.
//
// Calls row(y, xlo, xhi) for each quarter row in turn (y rising) with the
// visited columns [xlo, xhi], until it returns false. All in 128-bit: the
// terms reach 4 * b^2 * a.
template <class Fn> void walkQuarter(int64_t w, int64_t h, Fn row) {
    const i128 a = w - 1, b = h - 1;
    const i128 odd = b % 2;
    const i128 stepX = 8 * b * b, stepY = 8 * a * a;
    i128 dx = 4 * b * b * (1 - a);
    i128 dy = 4 * a * a * (1 + odd);
    i128 err = dx + dy + a * a * odd;
    int64_t x = w - 1, y = h / 2;
    const int64_t xEnd = w / 2;
    int64_t runY = y, runLo = x, runHi = x;
    while (x >= xEnd) {
        if (y != runY) {
            if (!row(runY, runLo, runHi)) return;
            runY = y;
            runHi = x;
        }
        runLo = x;
        const i128 e2 = 2 * err;
        bool moved = false;
        if (e2 >= dx) {
            --x;
            dx += stepX;
            err += dx;
            moved = true;
        }
        if (e2 <= dy) {
            ++y;
            dy += stepY;
            err += dy;
            moved = true;
        }
        if (!moved) break; // cannot happen with a consistent error term; never spin
    }
    row(runY, runLo, runHi);
}

// Ellipse in the normalised box [L, R) x [T, B). Boxes at most two pixels wide
// or high are drawn as rectangles. Otherwise each row is painted between its
// leftmost and rightmost outline pixel: pen on the outline, brush between the
// left and right outline runs; without a pen the brush covers the whole row
// extent.
void drawEllipse(Painter &p, const ResolvedBrush &pen, const ResolvedBrush &brush, int64_t L, int64_t T, int64_t R,
                 int64_t B) {
    const int64_t w = R - L, h = B - T;
    if (w <= 0 || h <= 0) return;
    if (w <= 2 || h <= 2) {
        drawBox(p, pen, brush, L, T, R, B);
        return;
    }
    const int64_t a = w - 1, rows = p.height();
    // Quarter columns [xlo, xhi] of one row: the right run is at L + x, its
    // mirror on the left at L + a - x.
    auto paintRow = [&](int64_t y, int64_t xlo, int64_t xhi) {
        const int64_t leftOut = L + a - xhi, leftIn = L + a - xlo;
        const int64_t rightIn = L + xlo, rightOut = L + xhi;
        if (pen.null) {
            p.span(y, leftOut, rightOut + 1, brush);
        } else if (leftIn + 1 >= rightIn) {
            p.span(y, leftOut, rightOut + 1, pen);
        } else {
            p.span(y, leftOut, leftIn + 1, pen);
            p.span(y, leftIn + 1, rightIn, brush);
            p.span(y, rightIn, rightOut + 1, pen);
        }
    };
    walkQuarter(w, h, [&](int64_t y, int64_t xlo, int64_t xhi) {
        if (y > h - 1) return false;
        // Quarter row y is device row T + h - 1 - y above the centre and
        // T + y below it (one row when h is odd and y is the middle).
        const int64_t up = T + h - 1 - y, down = T + y;
        if (up < 0 && down >= rows) return false; // later rows lie further out
        paintRow(up, xlo, xhi);
        if (down != up) paintRow(down, xlo, xhi);
        return true;
    });
}

// Polygon interior. Pixel (x, y) is filled when the point (x, y) is inside:
// on the scan line Y = y every edge with min(ya, yb) <= y < max(ya, yb)
// crosses at an exact x, and the pixels x with crossing <= x are right of it.
// Even-odd or non-zero winding over the crossings at or left of x decides.
// Only ceil(crossing) matters for integer x, so crossings are kept as
// integers, clamped just outside the surface.
void fillPolygon(Painter &p, const ResolvedBrush &brush, const std::vector<Pt> &pts, int mode) {
    if (brush.null || pts.size() < 3) return;
    struct Edge {
        Pt a, b;
        int dir;          // +1 downward, -1 upward
        int64_t top, end; // visible rows [top, end)
    };
    std::vector<Edge> edges;
    const int64_t rows = p.height();
    for (size_t i = 0; i < pts.size(); ++i) {
        const Pt a = pts[i], b = pts[(i + 1) % pts.size()];
        if (a.y == b.y) continue;
        const int64_t top = std::max<int64_t>(std::min(a.y, b.y), 0);
        const int64_t end = std::min<int64_t>(std::max(a.y, b.y), rows);
        if (top >= end) continue;
        edges.push_back(Edge{a, b, b.y > a.y ? 1 : -1, top, end});
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge &l, const Edge &r) { return l.top < r.top; });

    struct Crossing {
        int64_t x;
        int dir;
    };
    std::vector<const Edge *> active;
    std::vector<Crossing> xs;
    const int64_t xMin = -1, xMax = (int64_t)p.width() + 1;
    size_t next = 0;
    int64_t y = edges.front().top;
    while (next < edges.size() || !active.empty()) {
        if (active.empty() && edges[next].top > y) y = edges[next].top;
        while (next < edges.size() && edges[next].top <= y) active.push_back(&edges[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge *e) { return e->end <= y; }),
                     active.end());
        if (active.empty()) continue;

        xs.clear();
        for (const Edge *e : active) {
            const i128 num = (i128)(y - e->a.y) * (e->b.x - e->a.x);
            const i128 x = (i128)e->a.x + ceilDiv(num, (i128)(e->b.y - e->a.y));
            xs.push_back(Crossing{(int64_t)std::clamp<i128>(x, xMin, xMax), e->dir});
        }
        std::sort(xs.begin(), xs.end(), [](const Crossing &l, const Crossing &r) { return l.x < r.x; });
        int wind = 0;
        int64_t runStart = 0, runEnd = 0;
        bool open = false;
        for (size_t k = 0; k + 1 < xs.size(); ++k) {
            wind += mode == WINDING ? xs[k].dir : 1;
            const bool inside = mode == WINDING ? wind != 0 : (wind & 1) != 0;
            if (!inside || xs[k].x >= xs[k + 1].x) continue;
            if (open && runEnd == xs[k].x) {
                runEnd = xs[k + 1].x;
                continue;
            }
            if (open) p.span(y, runStart, runEnd, brush);
            open = true;
            runStart = xs[k].x;
            runEnd = xs[k + 1].x;
        }
        if (open) p.span(y, runStart, runEnd, brush);
        ++y;
    }
}

// Everything a drawing call needs: the DC and its surface.
using Target = DCTarget;
Target targetOf(HDC hdc) { return resolveDC(hdc); }

// Reads cpt points into device coordinates; false for a null array or a
// count below `minimum`.
bool devicePoints(const DCObj &dc, const POINT *apt, int cpt, int minimum, std::vector<Pt> &out) {
    if (!apt || cpt < minimum) return false;
    out.resize((size_t)cpt);
    for (int i = 0; i < cpt; ++i) out[(size_t)i] = toDevice(dc, apt[i].x, apt[i].y);
    return true;
}

bool pixelVisible(const DCObj &dc, const Surface &s, Pt d) {
    if (d.x < 0 || d.y < 0 || d.x >= s.width || d.y >= s.height) return false;
    return !dc.clip || dc.clip->contains((int)d.x, (int)d.y);
}

} // namespace

} // namespace qvt::gdi

using namespace qvt::gdi;

WINGDIAPI BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    DCObj *dc = toDC(hdc);
    if (!dc) return FALSE;
    if (lppt) *lppt = dc->curPos;
    dc->curPos = POINT{x, y};
    return TRUE;
}

WINGDIAPI BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    DCObj *dc = toDC(hdc);
    if (!dc || !lppt) return FALSE;
    *lppt = dc->curPos;
    return TRUE;
}

WINGDIAPI BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    if (!t.dc) return FALSE;
    const POINT from = t.dc->curPos;
    t.dc->curPos = POINT{x, y};
    if (!t) return FALSE;
    Painter p(*t.dc, *t.surf, t.dc->rop2);
    drawLine(p, penBrush(*t.dc, *t.surf), toDevice(*t.dc, from.x, from.y), toDevice(*t.dc, x, y));
    p.finish();
    return TRUE;
}

WINGDIAPI BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    std::vector<Pt> pts;
    if (!t || !devicePoints(*t.dc, apt, cpt, 2, pts)) return FALSE;
    Painter p(*t.dc, *t.surf, t.dc->rop2);
    const ResolvedBrush pen = penBrush(*t.dc, *t.surf);
    for (size_t i = 0; i + 1 < pts.size(); ++i) drawLine(p, pen, pts[i], pts[i + 1]);
    p.finish();
    return TRUE;
}

WINGDIAPI BOOL WINAPI Polygon(HDC hdc, const POINT *apt, int cpt) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    std::vector<Pt> pts;
    if (!t || !devicePoints(*t.dc, apt, cpt, 2, pts)) return FALSE;
    Painter p(*t.dc, *t.surf, t.dc->rop2);
    fillPolygon(p, resolveBrush(*t.dc, t.dc->brush, *t.surf), pts, t.dc->polyFillMode);
    // The outline goes on top as a closed polyline.
    const ResolvedBrush pen = penBrush(*t.dc, *t.surf);
    for (size_t i = 0; i < pts.size(); ++i) drawLine(p, pen, pts[i], pts[(i + 1) % pts.size()]);
    p.finish();
    return TRUE;
}

WINGDIAPI BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    if (!t) return FALSE;
    const Pt a = toDevice(*t.dc, std::min(left, right), std::min(top, bottom));
    const Pt b = toDevice(*t.dc, std::max(left, right), std::max(top, bottom));
    Painter p(*t.dc, *t.surf, t.dc->rop2);
    drawBox(p, penBrush(*t.dc, *t.surf), resolveBrush(*t.dc, t.dc->brush, *t.surf), a.x, a.y, b.x, b.y);
    p.finish();
    return TRUE;
}

WINGDIAPI BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    if (!t) return FALSE;
    const Pt a = toDevice(*t.dc, std::min(left, right), std::min(top, bottom));
    const Pt b = toDevice(*t.dc, std::max(left, right), std::max(top, bottom));
    if (a.x < -kDeviceLimit || a.y < -kDeviceLimit || b.x > kDeviceLimit || b.y > kDeviceLimit) return FALSE;
    Painter p(*t.dc, *t.surf, t.dc->rop2);
    drawEllipse(p, penBrush(*t.dc, *t.surf), resolveBrush(*t.dc, t.dc->brush, *t.surf), a.x, a.y, b.x, b.y);
    p.finish();
    return TRUE;
}

WINGDIAPI COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    if (!t) return (COLORREF)-1;
    const Pt d = toDevice(*t.dc, x, y);
    if (!pixelVisible(*t.dc, *t.surf, d)) return (COLORREF)-1;
    // The plain nearest colour, not the pen rule, and no raster operation.
    ResolvedBrush value;
    value.value = setPixelValue(*t.dc, *t.surf, color);
    Painter p(*t.dc, *t.surf, R2_COPYPEN);
    p.span(d.y, d.x, d.x + 1, value);
    p.finish();
    return pixelColorref(*t.surf, value.value);
}

WINGDIAPI BOOL WINAPI SetPixelV(HDC hdc, int x, int y, COLORREF color) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    return SetPixel(hdc, x, y, color) != (COLORREF)-1;
}

WINGDIAPI COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    std::lock_guard<std::recursive_mutex> guard(gdiLock());
    Target t = targetOf(hdc);
    if (!t) return CLR_INVALID;
    const Pt d = toDevice(*t.dc, x, y);
    if (!pixelVisible(*t.dc, *t.surf, d)) return CLR_INVALID;
    return pixelColorref(*t.surf, readPixel(*t.surf, (int)d.x, (int)d.y));
}
