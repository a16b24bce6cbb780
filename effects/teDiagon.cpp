// Diagonal.
#include "effects/teDiagon.h"

#include <algorithm>
#include <climits>

namespace qvt {

namespace {

// Style 1 swaps the two orders of each direction; style 2 swaps meeting
// and leaving fronts of each direction.
constexpr TMaskStyle kDiagonalStyles[] = {
    {4, {2, 1, 4, 3}},
    {4, {3, 4, 1, 2}},
};

int Clamp(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

TRect Box(int64_t l, int64_t t, int64_t r, int64_t b) { return TRect{Clamp(l), Clamp(t), Clamp(r), Clamp(b)}; }

struct TEnd {
    int64_t X, Y;
};

// The ends of falling line k: lower-left and upper-right.
TEnd FallingLowerLeft(int64_t k, int64_t h) { return k > h ? TEnd{k - h, h - 1} : TEnd{0, k - 1}; }
TEnd FallingUpperRight(int64_t k, int64_t w) { return k > w ? TEnd{w - 1, k - w} : TEnd{k - 1, 0}; }
// The ends of rising line k: upper-left and lower-right.
TEnd RisingUpperLeft(int64_t k, int64_t h) { return k > h ? TEnd{k - h, 0} : TEnd{0, h - k}; }
TEnd RisingLowerRight(int64_t k, int64_t w, int64_t h) {
    return k > w ? TEnd{w - 1, h - k + w - 1} : TEnd{k - 1, h - 1};
}

void Unite(TRect &into, const TRect &r) { UnionRect(&into, &into, &r); }

// A line from its left end `from` to its right end `to` (dy = -1 falling,
// 1 rising), both ends included: the pen leaves out the end point, so it is
// drawn to one diagonal step beyond.
void PaintLine(TBitmap &mask, TEnd from, TEnd to, int dy) {
    TCanvas &c = mask.Canvas();
    c.MoveTo(Clamp(from.X), Clamp(from.Y));
    c.LineTo(Clamp(to.X + 1), Clamp(to.Y + dy));
}

} // namespace

TDiagonalTransition::TDiagonalTransition(TComponent *owner) : TMaskedTransition(owner) {
    SetStyles(kDiagonalStyles);
}

const rtl::TClassInfo &TDiagonalTransition::StaticClassInfo() {
    using C = TDiagonalTransition;
    static const rtl::TClassInfo info = DeclareSmoothingPattern<C>("TDiagonalTransition", 2, 4).Build();
    return info;
}

// One line of each direction per pixel of a diagonal: W + H - 1.
int TDiagonalTransition::CalcTotalFrames(TTETransitionData &data) {
    if (data.Width <= 0 || data.Height <= 0) return 0;
    return static_cast<int>(std::min<int64_t>(int64_t{data.Width} + data.Height - 1, INT_MAX));
}

void TDiagonalTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TMaskedTransition::Initialize(data, totalFrames);
    // The chains of rectangles run past the page's edges; they are cut to it.
    DirtyRects->UseClip = true;
}

void TDiagonalTransition::FallingSweep(TBitmap &mask, int64_t c, int64_t s, const TTETransitionData &data, bool draw,
                                       bool calcUpdate) {
    const int64_t w = data.Width, h = data.Height, t = w + h - 1;
    // Only lines of the page: a step reaching outside is cut to it.
    const int64_t first = std::max<int64_t>(c - s + 1, 1);
    c = std::min(c, t);
    if (first > c) return;
    s = c - first + 1;
    const TEnd lastLow = FallingLowerLeft(c, h), lastHigh = FallingUpperRight(c, w);
    const TEnd firstLow = FallingLowerLeft(first, h), firstHigh = FallingUpperRight(first, w);
    Unite(UpdateRect, Box(firstLow.X, firstHigh.Y, firstHigh.X + 1, firstLow.Y + 1));
    Unite(UpdateRect, Box(lastLow.X, lastHigh.Y, lastHigh.X + 1, lastLow.Y + 1));
    if (draw)
        for (int64_t k = first; k <= c; ++k) PaintLine(mask, FallingLowerLeft(k, h), FallingUpperRight(k, w), -1);
    if (!calcUpdate) return;
    // Rectangles 16 high from the lower-left end of line c up to the right,
    // wide enough to hold the step's lines.
    const int64_t top = firstHigh.Y;
    for (int64_t l = lastLow.X - s + 1, r = lastLow.X + 16, b = lastLow.Y + 1; l <= lastHigh.X && top < b;
         l += 16, r += 16, b -= 16)
        DirtyRects->Add(Box(l, b - 16, r, b));
}

void TDiagonalTransition::RisingSweep(TBitmap &mask, int64_t c, int64_t s, const TTETransitionData &data, bool draw,
                                      bool calcUpdate) {
    const int64_t w = data.Width, h = data.Height, t = w + h - 1;
    const int64_t first = std::max<int64_t>(c - s + 1, 1);
    c = std::min(c, t);
    if (first > c) return;
    s = c - first + 1;
    const TEnd lastHigh = RisingUpperLeft(c, h), lastLow = RisingLowerRight(c, w, h);
    const TEnd firstHigh = RisingUpperLeft(first, h), firstLow = RisingLowerRight(first, w, h);
    Unite(UpdateRect, Box(firstHigh.X, firstHigh.Y, firstLow.X + 1, firstLow.Y + 1));
    Unite(UpdateRect, Box(lastHigh.X, lastHigh.Y, lastLow.X + 1, lastLow.Y + 1));
    if (draw)
        for (int64_t k = first; k <= c; ++k) PaintLine(mask, RisingUpperLeft(k, h), RisingLowerRight(k, w, h), 1);
    if (!calcUpdate) return;
    // Rectangles from the lower-right end of the step's first line up to the
    // left; a single line gets 17 x 17 squares.
    int64_t l, tp, r, b;
    if (s == 1) {
        l = firstLow.X - 16, tp = firstLow.Y - 16, r = firstLow.X + 1, b = firstLow.Y + 1;
    } else {
        l = firstLow.X - 15, tp = firstLow.Y - 15, r = firstLow.X + s, b = firstLow.Y + 1;
    }
    for (; firstHigh.X < r && lastHigh.Y < b; l -= 16, tp -= 16, r -= 16, b -= 16) DirtyRects->Add(Box(l, tp, r, b));
}

void TDiagonalTransition::Sweep(TBitmap &mask, int sub, int64_t c, int64_t s, const TTETransitionData &data,
                                bool draw, bool calcUpdate) {
    if (s <= 0) return;
    const int64_t t = int64_t{data.Width} + data.Height - 1;
    // The decreasing orders take lines T - c + 1 .. T - c + s.
    if (sub == 2 || sub == 4) c = t - c + s;
    if (sub <= 2)
        FallingSweep(mask, c, s, data, draw, calcUpdate);
    else
        RisingSweep(mask, c, s, data, draw, calcUpdate);
}

void TDiagonalTransition::PaintMask(TBitmap &mask, int currentFrame, int step, int, int, TTETransitionData &data,
                                    bool draw, bool calcUpdate) {
    UpdateRect = TRect{0, 0, 0, 0};
    if (step <= 0 || data.Width <= 0 || data.Height <= 0) return;
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    if (sub < 1 || sub > 4) return;
    int64_t c = currentFrame;
    const int64_t s = step, t = int64_t{data.Width} + data.Height - 1;
    if (style == 1) {
        Sweep(mask, sub, c, s, data, draw, calcUpdate);
        return;
    }
    if (style != 2) return;
    // Two fronts: odd frames advance the one from the first corner, even
    // frames the one from the opposite corner. Leaving fronts play the
    // meeting ones backwards.
    if (sub >= 3) c = t - c + s;
    const int increasing = sub % 2 == 1 ? 1 : 3, decreasing = increasing + 1;
    const int64_t half = s / 2;
    if ((c - s + 1) % 2 != 0) {
        Sweep(mask, increasing, (c + 1) / 2, s - half, data, draw, calcUpdate);
        if (s > 1) Sweep(mask, decreasing, c / 2, half, data, draw, calcUpdate);
    } else {
        Sweep(mask, decreasing, c / 2, s - half, data, draw, calcUpdate);
        if (s > 1) Sweep(mask, increasing, (c + 1) / 2, half, data, draw, calcUpdate);
    }
}

} // namespace qvt
