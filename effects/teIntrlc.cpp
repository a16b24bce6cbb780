// Interlaced.
#include "effects/teIntrlc.h"

#include <algorithm>
#include <array>

namespace qvt {

namespace {

constexpr TRect kNoRect{0, 0, 0, 0};

// The smaller side of the page, rings being bounded by it.
int64_t Smaller(int64_t w, int64_t h) { return std::min(w, h); }

// Row sub-styles of style 1 (the others paint columns).
bool Rows(uint16_t sub) { return sub == 1 || sub == 3 || sub == 4 || sub == 7 || sub == 8; }

void Unite(TRect &into, const TRect &r) {
    if (IsRectEmpty(&into))
        into = r;
    else if (!IsRectEmpty(&r))
        UnionRect(&into, &into, &r);
}

void Intersect(TRect &into, const TRect &r) {
    if (!IntersectRect(&into, &into, &r)) into = kNoRect;
}

int Height(const TRect &r) { return IsRectEmpty(&r) ? 0 : r.bottom - r.top; }

} // namespace

TInterlacedTransition::TInterlacedTransition(TComponent *owner) : TMaskedTransition(owner) {
    // Sub-style counts and reversals come from the overrides below.
    static constexpr TMaskStyle kStyles[] = {{10, {}}, {1, {}}};
    SetStyles(kStyles);
}

const rtl::TClassInfo &TInterlacedTransition::StaticClassInfo() {
    using C = TInterlacedTransition;
    static const rtl::TClassInfo info = DeclareSmoothingPattern<C>("TInterlacedTransition", 2, 10).Build();
    return info;
}

uint16_t TInterlacedTransition::GetSubStyleCount(uint16_t style) const {
    if (style == 0) return 0;
    return style == 1 ? 10 : 1;
}

// Style 1: the alternating fronts (1, 2) play the same backwards; 3 to 10
// come in pairs of opposite order. Style 2 has its one sub-style.
uint16_t TInterlacedTransition::GetReversedSubStyle(uint16_t style, uint16_t subStyle) const {
    if (style == 2) return 1;
    if (style == 1 && subStyle >= 3 && subStyle <= 10) return subStyle % 2 ? subStyle + 1 : subStyle - 1;
    return subStyle;
}

void TInterlacedTransition::SetRunLines(const TTETransitionData &data) {
    const int64_t w = data.Width, h = data.Height;
    LastLine = HalfCount = 0;
    if (StyleToUse() == 2) {
        const int64_t m = Smaller(w, h);
        LastLine = static_cast<int32_t>((m - 1) / 4 * 2 + 2);
        return;
    }
    const int64_t n = Rows(SubStyleToUse()) ? h : w;
    // The last odd line.
    LastLine = static_cast<int32_t>((n - 1) % 2 != 0 ? n - 1 : n - 2);
    // The number of even lines.
    const uint16_t sub = SubStyleToUse();
    if (sub >= 3 && sub <= 10) HalfCount = static_cast<int32_t>(n / 2 + n % 2);
}

void TInterlacedTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TMaskedTransition::Initialize(data, totalFrames);
    SetRunLines(data);
}

int TInterlacedTransition::CalcTotalFrames(TTETransitionData &data) {
    const int w = data.Width, h = data.Height;
    const bool smooth = UseSmoothing();
    switch (StyleToUse()) {
    case 1:
        switch (SubStyleToUse()) {
        case 1: return smooth ? h / 2 : h;
        case 2: return smooth ? w / 2 : w;
        case 3:
        case 4:
        case 7:
        case 8: return h;
        case 5:
        case 6:
        case 9:
        case 10: return w;
        default: return 0;
        }
    case 2: {
        const int64_t m = Smaller(w, h);
        return static_cast<int>(smooth ? (m + 3) / 4 : (m + 1) / 2);
    }
    default: return 0;
    }
}

int64_t TInterlacedTransition::LineOfFrame(int64_t i) const {
    const int64_t l = LastLine, half = HalfCount;
    if (StyleToUse() == 2) return i % 2 ? i - 1 : l - i + 1;
    switch (SubStyleToUse()) {
    case 1:
    case 2: return i % 2 ? l - i + 1 : i - 2;
    case 3:
    case 5: return i <= half ? 2 * i - 2 : l - 2 * (i - half - 1);
    case 4:
    case 6: return i <= half ? l - 2 * i + 2 : 2 * (i - half - 1);
    case 7:
    case 9: return i <= half ? 2 * i - 2 : 2 * i - l - 4;
    case 8:
    case 10: return i <= half ? l - 2 * i + 2 : l + 2 * half - 2 * i + 3;
    default: return -1;
    }
}

// Paints the lines of frames p + 1 .. c and sets both rectangles whatever
// calcUpdate says.
void TInterlacedTransition::PaintMask(TBitmap &mask, int currentFrame, int, int, int lastExecutedFrame,
                                      TTETransitionData &data, bool draw, bool) {
    UpdateRect = kNoRect;
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    const int w = data.Width, h = data.Height;
    const TRect page{0, 0, w, h};
    int64_t p = lastExecutedFrame, c = currentFrame;
    const bool fronts = style == 2 || (style == 1 && (sub == 1 || sub == 2));
    // Smoothing: two lines per displayed frame.
    if (fronts && UseSmoothing()) {
        p *= 2;
        c *= 2;
    }

    if (style == 2) {
        ExcludeRect = page;
        TCanvas &canvas = mask.Canvas();
        for (int64_t j = p; j < c; ++j) {
            const int64_t g64 = LineOfFrame(j + 1);
            if (g64 < 0 || w - g64 - 1 < g64 || h - g64 - 1 < g64) continue;
            const int g = static_cast<int>(g64), r = w - g - 1, b = h - g - 1;
            Unite(UpdateRect, TRect{g, g, w - g, h - g});
            Intersect(ExcludeRect, TRect{g + 1, g + 1, r, b});
            if (draw) {
                const std::array<POINT, 5> ring{POINT{g, g}, POINT{r, g}, POINT{r, b}, POINT{g, b}, POINT{g, g}};
                canvas.Polyline(ring);
            }
        }
        return;
    }
    if (style != 1 || sub < 1 || sub > 10) return;

    const bool rows = Rows(sub);
    const int64_t n = rows ? h : w;
    // The band of a line's coordinates lo .. hi - 1 across the page.
    auto band = [&](int64_t lo, int64_t hi) {
        lo = std::clamp<int64_t>(lo, 0, n);
        hi = std::clamp<int64_t>(hi, 0, n);
        if (hi <= lo) return kNoRect;
        const int a = static_cast<int>(lo), b = static_cast<int>(hi);
        return rows ? TRect{0, a, w, b} : TRect{a, 0, b, h};
    };
    // Sub-styles 1 and 2: A is the band both fronts have passed, B the one
    // between them that neither has reached.
    TRect a = page, b = page;
    ExcludeRect = fronts ? page : kNoRect;
    TCanvas &canvas = mask.Canvas();
    for (int64_t i = p + 1; i <= c; ++i) {
        const int64_t y = LineOfFrame(i);
        if (fronts) {
            if (i % 2 == 0) {
                Intersect(a, band(0, y - 1));
                Intersect(b, band(y + 1, n));
            } else {
                Intersect(a, band(y + 1, n));
                Intersect(b, band(0, y - 1));
            }
        }
        if (y < 0 || y >= n) continue;
        const int v = static_cast<int>(y);
        // The column pattern in two passes of one direction reports a
        // rectangle one pixel taller than the page (clipped to it later).
        if (rows)
            Unite(UpdateRect, TRect{0, v, w, v + 1});
        else
            Unite(UpdateRect, TRect{v, 0, v + 1, sub == 9 || sub == 10 ? h + 1 : h});
        if (!draw) continue;
        if (rows) {
            canvas.MoveTo(0, v);
            canvas.LineTo(w, v);
        } else {
            canvas.MoveTo(v, 0);
            canvas.LineTo(v, h);
        }
    }
    if (fronts) Intersect(ExcludeRect, Height(b) < Height(a) ? a : b);
}

} // namespace qvt
