// Circle.
#include "effects/teCircle.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace qvt {

namespace {

// Style 1 grows (1) or shrinks (2) at the centre; styles 2 and 3 grow
// (1 to 4) or shrink (5 to 8) at a corner or the middle of an edge, so
// reversing swaps the two halves.
constexpr TMaskStyle kCircleStyles[] = {
    {2, {2, 1}},
    {8, {5, 6, 7, 8, 1, 2, 3, 4}},
    {8, {5, 6, 7, 8, 1, 2, 3, 4}},
};

constexpr TRect kNoRect{0, 0, 0, 0};

// Round(Sqrt(n)) of a non-negative integer, halves to even.
int64_t RoundSqrt(int64_t n) { return std::llrint(std::sqrt(static_cast<double>(n))); }

int Clamp(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

TRect Box(int64_t l, int64_t t, int64_t r, int64_t b) { return TRect{Clamp(l), Clamp(t), Clamp(r), Clamp(b)}; }

// The bounding box of the circle of `radius` around (x, y), grown by
// `margin` on every side. A radius below 0 is no circle.
TRect CircleBox(int64_t x, int64_t y, int64_t radius, int64_t margin = 0) {
    const int64_t r = std::max<int64_t>(radius, 0) + margin;
    return Box(x - r, y - r, x + r, y + r);
}

struct TCentre {
    int64_t X, Y;
};

// The centre of a sub-style, or false for a combination that has none.
bool CentreOf(uint16_t style, uint16_t subStyle, int64_t w, int64_t h, TCentre &centre) {
    switch (style) {
    case 1:
        if (subStyle < 1 || subStyle > 2) return false;
        centre = {w / 2, h / 2};
        return true;
    case 2: {
        if (subStyle < 1 || subStyle > 8) return false;
        // Top-left, bottom-right, bottom-left, top-right.
        static constexpr bool kRight[4] = {false, true, false, true}, kBottom[4] = {false, true, true, false};
        const int corner = (subStyle - 1) % 4;
        centre = {kRight[corner] ? w : 0, kBottom[corner] ? h : 0};
        return true;
    }
    case 3: {
        if (subStyle < 1 || subStyle > 8) return false;
        // The middle of the left, right, top and bottom edge.
        switch ((subStyle - 1) % 4) {
        case 0: centre = {0, h / 2}; break;
        case 1: centre = {w, h / 2}; break;
        case 2: centre = {w / 2, 0}; break;
        default: centre = {w / 2, h}; break;
        }
        return true;
    }
    default: return false;
    }
}

} // namespace

TCircleTransition::TCircleTransition(TComponent *owner) : TMaskedTransition(owner) { SetStyles(kCircleStyles); }

const rtl::TClassInfo &TCircleTransition::StaticClassInfo() {
    using C = TCircleTransition;
    static const rtl::TClassInfo info = DeclareSmoothingPattern<C>("TCircleTransition", 3, 8).Build();
    return info;
}

bool TCircleTransition::IsShrinking(uint16_t style, uint16_t subStyle) {
    if (style == 1) return subStyle == 2;
    if (style == 2 || style == 3) return subStyle >= 5 && subStyle <= 8;
    return false;
}

TRect TCircleTransition::InscribedSquare(int64_t x, int64_t y, int64_t radius) {
    if (radius <= 0) return kNoRect;
    const int64_t s = RoundSqrt(radius * radius / 2) - 1;
    if (s <= 0) return kNoRect;
    return Box(x - s, y - s, x + s, y + s);
}

std::vector<TRect> TCircleTransition::InsideOfCircle(int64_t x, int64_t y, int64_t radius) {
    std::vector<TRect> rects;
    // Two pixels inside the edge: the circle's pixels reach at least that
    // far from its centre on every row.
    const double inner = static_cast<double>(radius) - 2;
    if (inner < 2) return rects;
    rects.reserve(kInsideSteps);
    for (int i = 1; i <= kInsideSteps; ++i) {
        const double angle = i * (std::numbers::pi / 2) / (kInsideSteps + 1);
        const int64_t a = static_cast<int64_t>(inner * std::cos(angle)), b = static_cast<int64_t>(inner * std::sin(angle));
        if (a > 0 && b > 0) rects.push_back(Box(x - a, y - b, x + a, y + b));
    }
    return rects;
}

// The largest radius the circle needs to cover the page from its centre,
// plus one.
int TCircleTransition::CalcTotalFrames(TTETransitionData &data) {
    const int64_t w = data.Width, h = data.Height;
    auto frames = [](int64_t a, int64_t b) {
        return static_cast<int>(std::min<int64_t>(RoundSqrt(a * a + b * b) + 1, INT_MAX));
    };
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    switch (style) {
    case 1: return sub >= 1 && sub <= 2 ? frames(h / 2, w / 2) : 0;
    case 2: return sub >= 1 && sub <= 8 ? frames(h, w) : 0;
    case 3:
        switch (sub) {
        case 1:
        case 2:
        case 5:
        case 6: return frames(h / 2, w);
        case 3:
        case 4:
        case 7:
        case 8: return frames(h, w / 2);
        default: return 0;
        }
    default: return 0;
    }
}

// Sets both rectangles whatever calcUpdate says: the shrinking centre
// circle clips its painting with the exclude rectangle.
void TCircleTransition::PaintMask(TBitmap &mask, int currentFrame, int step, int, int, TTETransitionData &data,
                                  bool draw, bool) {
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    TCentre c{};
    if (!CentreOf(style, sub, data.Width, data.Height, c)) return;
    const int64_t cur = currentFrame, s = step, t = MaskFrames;
    if (!IsShrinking(style, sub)) {
        // Radius cur; the circle of the previous frame is revealed already.
        UpdateRect = CircleBox(c.X, c.Y, cur);
        ExcludeRect = InscribedSquare(c.X, c.Y, cur - s);
        if (!draw) return;
        // What the previous circle covers is painted already: revealed in
        // the hard mode, reached (and faded from the previous mask) when
        // smoothing. Leaving most of it out spares the painting of the whole
        // disc every frame; only the ring and a thin margin are painted.
        TCanvas &canvas = mask.Canvas();
        const std::vector<TRect> inside = InsideOfCircle(c.X, c.Y, cur - s);
        for (const TRect &r : inside) ExcludeClipRect(canvas.Handle(), r.left, r.top, r.right, r.bottom);
        canvas.Ellipse(CircleBox(c.X, c.Y, cur));
        if (!inside.empty()) SelectClipRgn(canvas.Handle(), nullptr);
        return;
    }
    // Radius t - cur; what changes lies in the circle of the previous frame.
    // Inside the square of this frame's circle nothing changes.
    ExcludeRect = InscribedSquare(c.X, c.Y, t - cur);
    if (style == 1) {
        UpdateRect = CircleBox(c.X, c.Y, t - cur, s);
        if (!draw) return;
        // Smoothing paints several greys a frame: the unchanged core, less
        // a pixel of margin on every side, is left alone.
        TCanvas &canvas = mask.Canvas();
        const bool clip = UseSmoothing() && !IsRectEmpty(&ExcludeRect);
        if (clip)
            ExcludeClipRect(canvas.Handle(), ExcludeRect.left + 1, ExcludeRect.top + 1, ExcludeRect.right - 1,
                            ExcludeRect.bottom - 1);
        canvas.Ellipse(CircleBox(c.X, c.Y, t - cur));
        if (clip) SelectClipRgn(canvas.Handle(), nullptr);
        return;
    }
    UpdateRect = CircleBox(c.X, c.Y, t - (cur - s), s);
    if (draw) mask.Canvas().Ellipse(CircleBox(c.X, c.Y, t - cur));
}

} // namespace qvt
