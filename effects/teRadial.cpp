// Radial.
#include "effects/teRadial.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace qvt {

namespace {

// Every style pairs its sub-styles as 1-2, 3-4, ...: the even one plays its
// odd neighbour backwards.
constexpr TMaskStyle kEight{8, {2, 1, 4, 3, 6, 5, 8, 7}};
constexpr TMaskStyle kSixteen{16, {2, 1, 4, 3, 6, 5, 8, 7, 10, 9, 12, 11, 14, 13, 16, 15}};
constexpr TMaskStyle kRadialStyles[] = {kEight, kEight, kEight, kEight, kSixteen, kEight, kSixteen};

int Clamp(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

int64_t Odd(int64_t size) { return size % 2 != 0 ? size : size + 1; }

} // namespace

TRadialTransition::TRadialTransition(TComponent *owner) : TMaskedTransition(owner) { SetStyles(kRadialStyles); }

const rtl::TClassInfo &TRadialTransition::StaticClassInfo() {
    using C = TRadialTransition;
    static const rtl::TClassInfo info = DeclareSmoothingPattern<C>("TRadialTransition", 7, 16).Build();
    return info;
}

void TRadialTransition::SetGeometry(int64_t width, int64_t height) {
    OddWidth = Odd(width);
    OddHeight = Odd(height);
    CentreX = OddWidth / 2;
    CentreY = OddHeight / 2;
    RingLength = 2 * OddWidth + 2 * OddHeight + 4;
    CornerPositions = {1, OddWidth + 2, OddWidth + OddHeight + 3, 2 * OddWidth + OddHeight + 4};
    // A hand turning around a side's middle or a corner never passes the
    // corners on its own side: its wedges would reach across the page.
    CornerEnabled = {true, true, true, true};
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    int row = -1;
    if ((style == 4 || style == 6) && sub >= 1 && sub <= 8) row = (sub - 1) / 2;
    if ((style == 5 || style == 7) && sub >= 1 && sub <= 16) row = (sub - 1) / 4;
    if (row >= 0) {
        // Corners off for the pivot of each row: left, right, top, bottom
        // side; top-left, top-right, bottom-left, bottom-right corner.
        static constexpr std::array<std::array<bool, 4>, 4> kSideOff{{
            {true, false, false, true},
            {false, true, true, false},
            {true, true, false, false},
            {false, false, true, true},
        }};
        static constexpr std::array<std::array<bool, 4>, 4> kCornerOff{{
            {true, true, false, true},
            {true, true, true, false},
            {true, false, true, true},
            {false, true, true, true},
        }};
        const auto &off = style <= 5 ? kSideOff[row] : kCornerOff[row];
        for (int i = 0; i < 4; ++i) CornerEnabled[i] = !off[i];
    }
}

TRadialTransition::TRingPoint TRadialTransition::RingPoint(int64_t p) const {
    const int64_t ring = RingLength;
    if (ring <= 0) return {-1, -1};
    p = ((p - 1) % ring + ring) % ring + 1;
    const int64_t tr = CornerPositions[TopRight], br = CornerPositions[BottomRight], bl = CornerPositions[BottomLeft];
    if (p < tr) return {p - 2, -1};             // the top edge, left to right
    if (p < br) return {OddWidth, p - tr - 1};  // the right edge, downwards
    if (p < bl) return {bl - p - 1, OddHeight}; // the bottom edge, right to left
    return {-1, bl + OddHeight - p};            // the left edge, upwards
}

int64_t TRadialTransition::HandEnd(THand h, int64_t k) const {
    const int64_t ring = RingLength, w = OddWidth, hh = OddHeight;
    auto wrapped = [ring](int64_t e) { return e > ring ? e - ring : e; };
    switch (h) {
    case C12: return wrapped(k + w / 2 + 1);
    case C3: return HandEnd(C12, k + ring / 4);
    case C6: return wrapped(k + w + hh + (w - 1) / 2 + 3);
    case C9: return wrapped(k + 2 * w + hh + (hh - 1) / 2 + 4);
    case L:
    case KBL: return k;
    case R:
    case KTR: return wrapped(k + CornerPositions[BottomRight] - 1);
    case T: {
        const int64_t e = k + CornerPositions[TopRight] - 1;
        return e < 1 ? e + ring : e;
    }
    case KTL: return k + CornerPositions[TopRight] - 1;
    case B:
    case KBR: return wrapped(k + CornerPositions[BottomLeft] - 1);
    }
    return k;
}

TRadialTransition::TRingPoint TRadialTransition::Pivot(THand h) const {
    switch (h) {
    case C12:
    case C3:
    case C6:
    case C9: return {CentreX, CentreY};
    case L: return {-1, CentreY};
    case R: return {OddWidth, CentreY};
    case T: return {CentreX, -1};
    case B: return {CentreX, OddHeight};
    case KTL: return {-1, -1};
    case KTR: return {OddWidth, -1};
    case KBL: return {-1, OddHeight};
    case KBR: return {OddWidth, OddHeight};
    }
    return {CentreX, CentreY};
}

void TRadialTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    SetGeometry(data.Width, data.Height);
    TMaskedTransition::Initialize(data, totalFrames);
    // Wedges reach one pixel (two on a widened side) beyond the page; their
    // rectangles are cut to it.
    DirtyRects->UseClip = true;
}

int TRadialTransition::CalcTotalFrames(TTETransitionData &data) {
    if (data.Width <= 0 || data.Height <= 0) {
        RingLength = 0;
        return 0;
    }
    // The ring of this page (Initialize has set it already for a run).
    SetGeometry(data.Width, data.Height);
    const int64_t ring = RingLength;
    const bool smooth = UseSmoothing();
    const uint16_t style = StyleToUse(), sub = SubStyleToUse();
    int64_t frames = 0;
    switch (style) {
    case 1: frames = ring; break;
    case 2: frames = smooth ? ring / 2 : ring; break;
    case 3: frames = ring / 4 + (smooth && sub >= 5 && sub <= 8 ? 1 : 0); break;
    case 4: frames = sub <= 4 ? ring - OddHeight : ring - OddWidth; break;
    case 5:
        frames = sub <= 8 ? ring - OddHeight : ring - OddWidth;
        if (smooth) frames /= 2;
        break;
    case 6: frames = ring / 2; break;
    case 7: frames = smooth ? ring / 4 : ring / 2; break;
    default: frames = 0; break;
    }
    return static_cast<int>(std::min<int64_t>(frames, INT_MAX));
}

void TRadialTransition::PaintWedge(TRingPoint pivot, int64_t count, int64_t endPos) {
    const int64_t ring = RingLength;
    if (count < 1 || ring < 1) return;
    // More than a turn is a whole turn.
    count = std::min(count, ring);
    endPos = ((endPos - 1) % ring + ring) % ring + 1;
    std::vector<TRingPoint> points{pivot};
    if (count == 1) {
        points.push_back(RingPoint(endPos));
    } else {
        int64_t start = endPos - count + 1;
        if (start < 1) start += ring;
        points.push_back(RingPoint(start));
        // The corners passed going clockwise from start to end, over the
        // top-left corner when the wedge wraps.
        auto between = [&](int64_t from, int64_t to) {
            for (int i = 0; i < 4; ++i)
                if (CornerEnabled[i] && CornerPositions[i] > from && CornerPositions[i] < to)
                    points.push_back(RingPoint(CornerPositions[i]));
        };
        if (start <= endPos) {
            between(start, endPos);
        } else {
            between(start, ring + 1);
            between(0, endPos);
        }
        points.push_back(RingPoint(endPos));
    }

    int64_t left = points[0].X, top = points[0].Y, right = left, bottom = top;
    for (const TRingPoint &p : points) {
        left = std::min(left, p.X), top = std::min(top, p.Y);
        right = std::max(right, p.X), bottom = std::max(bottom, p.Y);
    }
    if (draw_) {
        TCanvas &canvas = mask_->Canvas();
        if (points.size() == 2) {
            canvas.MoveTo(Clamp(points[0].X), Clamp(points[0].Y));
            canvas.LineTo(Clamp(points[1].X), Clamp(points[1].Y));
        } else {
            std::vector<POINT> polygon;
            polygon.reserve(points.size());
            for (const TRingPoint &p : points) polygon.push_back(POINT{Clamp(p.X), Clamp(p.Y)});
            canvas.Polygon(polygon);
        }
    }
    const TRect box{Clamp(left), Clamp(top), Clamp(right + 1), Clamp(bottom + 1)};
    UnionRect(&UpdateRect, &UpdateRect, &box);
    if (calcUpdate_ && DirtyRects) DirtyRects->Add(box);
}

void TRadialTransition::Hand(THand h, bool back, int64_t k, int64_t n) {
    if (n < 1) return;
    if (back) {
        // Where the plain hand ends, turning the other way: the centre hands
        // go round the whole ring, the others over the run's frames.
        if (h <= C9) {
            k = RingLength + 1 + n - k;
            if (k < 1) k += RingLength;
        } else {
            k = MaskFrames + n - k;
        }
    }
    PaintWedge(Pivot(h), n, HandEnd(h, k));
}

void TRadialTransition::Alternate(int64_t c, int64_t s, THandCall a, THandCall b, int64_t offsetB) {
    if (s < 1) return;
    const int64_t half = s / 2, frameA = (c + 1) / 2, frameB = c / 2 + offsetB;
    // The hand owning the step's first frame moves first, and the further.
    if ((c - s + 1) % 2 != 0) {
        Hand(a.hand, a.back, frameA, s - half);
        Hand(b.hand, b.back, frameB, half);
    } else {
        Hand(b.hand, b.back, frameB, s - half);
        Hand(a.hand, a.back, frameA, half);
    }
}

void TRadialTransition::CentreRoutine(uint16_t style, uint16_t sub, int64_t c, int64_t s) {
    const int64_t ring = RingLength;
    if (style == 1) {
        static constexpr THand kHands[] = {C12, C3, C6, C9};
        Hand(kHands[(sub - 1) / 2], sub % 2 == 0, c, s);
        return;
    }
    if (style == 3) {
        // Four hands; the frame of each is c, or c + 1 where marked.
        struct TFour {
            THand hand[4];
            bool back[4];
            int64_t plus[4];
        };
        static constexpr TFour kFour[8] = {
            {{C12, C3, C6, C9}, {false, false, false, false}, {0, 0, 0, 0}},
            {{C12, C3, C6, C9}, {true, true, true, true}, {0, 0, 0, 0}},
            {{C12, C12, C6, C6}, {false, true, false, true}, {0, 1, 0, 1}},
            {{C3, C3, C9, C9}, {false, true, false, true}, {0, 1, 0, 1}},
            {{C12, C6, C9, C9}, {false, true, false, true}, {0, 0, 0, 0}},
            {{C12, C3, C3, C6}, {true, false, true, false}, {0, 0, 0, 0}},
            {{C12, C12, C3, C9}, {false, true, false, true}, {0, 0, 0, 0}},
            {{C9, C3, C6, C6}, {false, true, false, true}, {0, 0, 0, 0}},
        };
        const TFour &f = kFour[sub - 1];
        for (int i = 0; i < 4; ++i) Hand(f.hand[i], f.back[i], c + f.plus[i], s);
        return;
    }
    // Style 2: two hands.
    static constexpr THandCall kPairs[4][2] = {
        {{C12, false}, {C6, false}},
        {{C3, false}, {C9, false}},
        {{C12, false}, {C12, true}},
        {{C3, false}, {C3, true}},
    };
    if (smooth_) {
        // 1 to 4: opposite hands together (even: backwards); 5 to 8: a hand
        // and its backward twin from up, down, right and left.
        if (sub <= 4) {
            const THandCall *pair = kPairs[(sub - 1) / 2];
            const bool back = sub % 2 == 0;
            Hand(pair[0].hand, back, c, s);
            Hand(pair[1].hand, back, c, s);
        } else {
            static constexpr THand kTwins[] = {C12, C6, C3, C9};
            const THand h = kTwins[sub - 5];
            Hand(h, false, c, s);
            Hand(h, true, c + 1, s);
        }
        return;
    }
    if (sub % 2 == 0) {
        Routine(2, static_cast<uint16_t>(sub - 1), ring + 2 + s - c, s);
        return;
    }
    const THandCall *pair = kPairs[(sub - 1) / 2];
    Alternate(c, s, pair[0], pair[1], sub == 5 ? 1 : 0);
}

void TRadialTransition::SideRoutine(uint16_t sub, int64_t c, int64_t s) {
    const int64_t mf = MaskFrames;
    const int64_t os = CornerPositions[TopRight] + CentreY, ot = OddHeight + CentreX + 2;
    if (smooth_) {
        switch (sub) {
        case 1: Hand(L, false, c, s), Hand(L, false, c + mf, s); return;
        case 2: Hand(L, false, mf + s - c + 1, s), Hand(L, false, 2 * mf + s - c, s); return;
        case 3: Hand(L, false, c, s), Hand(L, false, 2 * mf + s - c, s); return;
        case 5: Hand(R, false, 2 * mf + s - c, s), Hand(R, false, mf + s - c + 1, s); return;
        case 7: Hand(R, false, c, s), Hand(R, false, 2 * mf + s - c, s); return;
        case 9: Hand(T, false, mf + s - c + 1, s), Hand(T, false, 2 * mf - c + 1, s); return;
        case 10: Hand(T, false, c, s), Hand(T, false, c + mf, s); return;
        case 11: Hand(T, false, c, s), Hand(T, false, 2 * mf + s - c, s); return;
        case 13: Hand(B, false, c, s), Hand(B, false, c + mf, s); return;
        case 15: Hand(B, false, c, s), Hand(B, false, 2 * mf + s - c, s); return;
        default: break;
        }
    } else {
        switch (sub) {
        case 1: Alternate(c, s, {L, false}, {L, false}, os); return;
        case 3: Alternate(c, s, {L, false}, {L, true}, 0); return;
        case 5: Alternate(c, s, {R, true}, {R, true}, os); return;
        case 7: Alternate(c, s, {R, true}, {R, false}, 0); return;
        case 9: Alternate(c, s, {T, true}, {T, true}, ot); return;
        case 11: Alternate(c, s, {T, true}, {T, false}, 0); return;
        case 13: Alternate(c, s, {B, false}, {B, false}, ot); return;
        case 15: Alternate(c, s, {B, false}, {B, true}, 0); return;
        case 2: Routine(5, 1, mf + s - c, s); return;
        case 10: Routine(5, 9, mf + s - c, s); return;
        default: break;
        }
    }
    // The rest play a neighbour backwards in both schemes.
    if (sub == 14)
        Routine(5, 13, mf + s - c + 1, s);
    else if (sub >= 4 && sub % 2 == 0)
        Routine(5, static_cast<uint16_t>(sub - 1), mf + s - c, s);
}

void TRadialTransition::CornerRoutine(uint16_t sub, int64_t c, int64_t s) {
    const int64_t mf = MaskFrames;
    if (sub % 2 == 0) {
        Routine(7, static_cast<uint16_t>(sub - 1), mf + s - c, s);
        return;
    }
    // Per corner: the same way from both ends of the range (1, 5, 9, 13),
    // or towards each other (3, 7, 11, 15).
    static constexpr THand kCorners[] = {KTL, KTR, KBL, KBR};
    const THand h = kCorners[(sub - 1) / 4];
    const bool towards = (sub - 1) % 4 == 2;
    if (smooth_) {
        if (h == KTR && !towards)
            Hand(h, false, mf + s - c, s), Hand(h, false, 2 * mf + s - c, s);
        else
            Hand(h, false, c, s), Hand(h, false, towards ? 2 * mf + s - c : c + mf, s);
        return;
    }
    // The top-right corner's hands start backwards.
    const bool firstBack = h == KTR;
    if (towards)
        Alternate(c, s, {h, firstBack}, {h, !firstBack}, 0);
    else
        Alternate(c, s, {h, firstBack}, {h, firstBack}, mf / 2);
}

void TRadialTransition::Routine(uint16_t style, uint16_t sub, int64_t c, int64_t s) {
    const int64_t mf = MaskFrames;
    switch (style) {
    case 1:
    case 2:
    case 3:
        if (sub >= 1 && sub <= 8) CentreRoutine(style, sub, c, s);
        return;
    case 4: {
        if (sub < 1 || sub > 8) return;
        // Which sub-styles start at the end of the hand's range.
        static constexpr THand kHands[] = {L, R, T, B};
        static constexpr bool kFromEnd[] = {false, true, true, false, true, false, false, true};
        Hand(kHands[(sub - 1) / 2], false, kFromEnd[sub - 1] ? mf + s - c : c, s);
        return;
    }
    case 5:
        if (sub >= 1 && sub <= 16) SideRoutine(sub, c, s);
        return;
    case 6: {
        if (sub < 1 || sub > 8) return;
        static constexpr THand kHands[] = {KTL, KTR, KBL, KBR};
        static constexpr bool kFromEnd[] = {false, true, true, false, false, true, false, true};
        Hand(kHands[(sub - 1) / 2], false, kFromEnd[sub - 1] ? mf + s - c : c, s);
        return;
    }
    case 7:
        if (sub >= 1 && sub <= 16) CornerRoutine(sub, c, s);
        return;
    default: return;
    }
}

void TRadialTransition::PaintMask(TBitmap &mask, int currentFrame, int step, int, int, TTETransitionData &,
                                  bool draw, bool calcUpdate) {
    UpdateRect = TRect{0, 0, 0, 0};
    mask_ = &mask;
    draw_ = draw;
    calcUpdate_ = calcUpdate;
    smooth_ = UseSmoothing();
    Routine(StyleToUse(), SubStyleToUse(), currentFrame, step);
    mask_ = nullptr;
}

} // namespace qvt
