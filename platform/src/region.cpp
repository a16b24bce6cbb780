// Regions and the clip region of a device context.
//
// Regions are combined with a band sweep: the y-edges of both operands cut
// the plane into bands, each band's x-intervals are combined, and equal
// neighbouring bands are merged. The result is canonical, so its rectangle
// count tells a simple region from a complex one.
#include <algorithm>
#include <climits>

#include <limits>

#include "gdi_internal.h"

namespace qvt::gdi {

namespace {
using Intervals = std::vector<std::pair<int, int>>;

template <class Op> Region combine(const std::vector<RECT> &a, const std::vector<RECT> &b, Op op) {
    std::vector<int> ys;
    for (const auto *set : {&a, &b})
        for (const RECT &r : *set)
            if (r.left < r.right && r.top < r.bottom) {
                ys.push_back(r.top);
                ys.push_back(r.bottom);
            }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    Region out;
    Intervals prev;
    size_t prevStart = 0;
    int prevBottom = INT_MIN;
    struct Edge {
        int x;
        int which; // 0: a, 1: b
        int delta;
    };
    std::vector<Edge> edges;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        int y0 = ys[i], y1 = ys[i + 1];
        edges.clear();
        for (int w = 0; w < 2; ++w)
            for (const RECT &r : w == 0 ? a : b)
                if (r.left < r.right && r.top <= y0 && r.bottom >= y1) {
                    edges.push_back({r.left, w, 1});
                    edges.push_back({r.right, w, -1});
                }
        std::sort(edges.begin(), edges.end(), [](const Edge &p, const Edge &q) { return p.x < q.x; });
        Intervals iv;
        int count[2] = {0, 0};
        bool inside = false;
        int start = 0;
        for (size_t k = 0; k < edges.size();) {
            int x = edges[k].x;
            while (k < edges.size() && edges[k].x == x) {
                count[edges[k].which] += edges[k].delta;
                ++k;
            }
            bool now = op(count[0] > 0, count[1] > 0);
            if (now && !inside) start = x;
            if (!now && inside) iv.emplace_back(start, x);
            inside = now;
        }
        if (!iv.empty() && iv == prev && prevBottom == y0) {
            for (size_t k = prevStart; k < out.rects.size(); ++k) out.rects[k].bottom = y1;
        } else {
            prevStart = out.rects.size();
            for (auto [x0, x1] : iv) out.rects.push_back(RECT{x0, y0, x1, y1});
        }
        prev = std::move(iv);
        prevBottom = y1;
    }
    return out;
}
} // namespace

Region Region::fromRect(const RECT &r) {
    Region g;
    RECT n{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
           std::max(r.top, r.bottom)};
    if (n.left < n.right && n.top < n.bottom) g.rects.push_back(n);
    return g;
}

RECT Region::box() const {
    if (rects.empty()) return RECT{0, 0, 0, 0};
    RECT b = rects[0];
    for (const RECT &r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool Region::contains(int x, int y) const {
    for (const RECT &r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

Region Region::intersect(const Region &o) const { return combine(rects, o.rects, [](bool a, bool b) { return a && b; }); }
Region Region::unite(const Region &o) const { return combine(rects, o.rects, [](bool a, bool b) { return a || b; }); }
Region Region::subtract(const Region &o) const { return combine(rects, o.rects, [](bool a, bool b) { return a && !b; }); }
Region Region::exclusiveOr(const Region &o) const { return combine(rects, o.rects, [](bool a, bool b) { return a != b; }); }

void Region::offset(int dx, int dy) {
    for (RECT &r : rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

} // namespace qvt::gdi

using namespace qvt::gdi;


WINGDIAPI HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
    GDI_LOCK;
    auto *r = new RegionObj;
    r->rgn = Region::fromRect(RECT{x1, y1, x2, y2});
    registerObject(r);
    return handleAs<HRGN>(r);
}

WINGDIAPI HRGN WINAPI CreateRectRgnIndirect(const RECT *lprect) {
    if (!lprect) return nullptr;
    return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

WINGDIAPI int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
    GDI_LOCK;
    RegionObj *dst = toRegion(hrgnDst), *a = toRegion(hrgnSrc1), *b = toRegion(hrgnSrc2);
    if (!dst || !a) return ERROR;
    if (iMode == RGN_COPY) {
        dst->rgn = a->rgn;
        return dst->rgn.type();
    }
    if (!b) return ERROR;
    switch (iMode) {
    case RGN_AND: dst->rgn = a->rgn.intersect(b->rgn); break;
    case RGN_OR: dst->rgn = a->rgn.unite(b->rgn); break;
    case RGN_XOR: dst->rgn = a->rgn.exclusiveOr(b->rgn); break;
    case RGN_DIFF: dst->rgn = a->rgn.subtract(b->rgn); break;
    default: return ERROR;
    }
    return dst->rgn.type();
}

WINGDIAPI int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
    GDI_LOCK;
    RegionObj *r = toRegion(hrgn);
    if (!r || !lprc) return ERROR;
    *lprc = r->rgn.box();
    return r->rgn.type();
}

WINGDIAPI BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y) {
    GDI_LOCK;
    RegionObj *r = toRegion(hrgn);
    return r && r->rgn.contains(x, y);
}

WINGDIAPI int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc) return ERROR;
    if (!hrgn) {
        dc->clip.reset();
        return SIMPLEREGION;
    }
    RegionObj *r = toRegion(hrgn);
    if (!r) return ERROR;
    dc->clip = r->rgn; // a copy: the caller keeps and deletes its region
    return dc->clip->type();
}

// The clip region, or the whole surface when none is set.
static Region currentClip(DCObj &dc) {
    if (dc.clip) return *dc.clip;
    Surface *s = dc.target();
    return Region::fromRect(RECT{0, 0, s ? s->width : 0, s ? s->height : 0});
}

// Device rectangles are 32-bit: coordinates beyond that range are held at
// its ends, which clip the same way.
static LONG clampToLong(int64_t v) {
    return (LONG)std::clamp<int64_t>(v, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max());
}
static RECT toDevice(const DCObj &dc, int l, int t, int r, int b) {
    return RECT{clampToLong(dc.devX(l)), clampToLong(dc.devY(t)), clampToLong(dc.devX(r)), clampToLong(dc.devY(b))};
}

WINGDIAPI int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc) return ERROR;
    dc->clip = currentClip(*dc).subtract(Region::fromRect(toDevice(*dc, left, top, right, bottom)));
    return dc->clip->type();
}

WINGDIAPI int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc) return ERROR;
    Region r = Region::fromRect(toDevice(*dc, left, top, right, bottom));
    dc->clip = dc->clip ? dc->clip->intersect(r) : r;
    return dc->clip->type();
}

WINGDIAPI int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc || !lprect) return ERROR;
    Surface *s = dc->target();
    Region visible = Region::fromRect(RECT{0, 0, s ? s->width : 0, s ? s->height : 0});
    if (dc->clip) visible = visible.intersect(*dc->clip);
    RECT b = visible.box();
    // Back to logical coordinates.
    *lprect = RECT{b.left + dc->windowOrg.x, b.top + dc->windowOrg.y, b.right + dc->windowOrg.x,
                   b.bottom + dc->windowOrg.y};
    return visible.type();
}

WINGDIAPI int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    RegionObj *r = toRegion(hrgn);
    if (!dc || !r) return -1;
    if (!dc->clip) return 0;
    r->rgn = *dc->clip;
    return 1;
}
