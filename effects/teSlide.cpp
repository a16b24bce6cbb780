// Slide.
#include "effects/teSlide.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qvt {

namespace {

// How a case draws. On the diagonals only four of them occur: in rigid, out
// rigid, old squeezed (drawn as OutOldSqueezed: the squeezed page uncovers
// the arriving one) and new stretched (drawn as InNewStretched).
enum class Kind : uint8_t {
    None,
    InRigid,         // the arriving page moves in; the departing one stays
    InOldSqueezed,   // the arriving page moves in; the departing one is squeezed
    InNewStretched,  // the arriving page is stretched in; the departing one stays
    BothElastic,     // both pages are stretched
    OutRigid,        // the departing page moves away; the arriving one stays
    OutOldSqueezed,  // the departing page is squeezed away; the arriving one stays
    OutNewStretched, // the departing page moves away; the arriving one is stretched in
    Grow,            // from the centre outwards: the arriving page stretched
    Shrink,          // towards the centre: the departing page squeezed
};

struct CaseEntry {
    TTEEffectDirection dir = tedNone;
    Kind kind = Kind::None;
};

constexpr std::array<CaseEntry, 47> MakeCaseTable() {
    std::array<CaseEntry, 47> t{};
    constexpr TTEEffectDirection straight[4] = {tedDown, tedUp, tedLeft, tedRight};
    for (int i = 0; i < 4; ++i) {
        const int in = 1 + 4 * i, out = 26 + 3 * i;
        t[in] = {straight[i], Kind::InRigid};
        t[in + 1] = {straight[i], Kind::InOldSqueezed};
        t[in + 2] = {straight[i], Kind::InNewStretched};
        t[in + 3] = {straight[i], Kind::BothElastic};
        t[out] = {straight[i], Kind::OutRigid};
        t[out + 1] = {straight[i], Kind::OutOldSqueezed};
        t[out + 2] = {straight[i], Kind::OutNewStretched};
    }
    // Diagonals: in rigid and new stretched from 17 in pairs, out rigid and
    // old squeezed from 38 in pairs.
    constexpr TTEEffectDirection diagonal[4] = {tedDownLeft, tedDownRight, tedUpLeft, tedUpRight};
    for (int i = 0; i < 4; ++i) {
        t[17 + 2 * i] = {diagonal[i], Kind::InRigid};
        t[18 + 2 * i] = {diagonal[i], Kind::InNewStretched};
        t[38 + 2 * i] = {diagonal[i], Kind::OutRigid};
        t[39 + 2 * i] = {diagonal[i], Kind::OutOldSqueezed};
    }
    t[25] = {tedOut, Kind::Grow};
    t[46] = {tedIn, Kind::Shrink};
    return t;
}

constexpr std::array<CaseEntry, 47> kCases = MakeCaseTable();

bool IsStraight(TTEEffectDirection d) { return d == tedDown || d == tedUp || d == tedLeft || d == tedRight; }
bool IsDiagonal(TTEEffectDirection d) {
    return d == tedDownRight || d == tedDownLeft || d == tedUpRight || d == tedUpLeft;
}

// Block copy of w x h pixels; nothing when the block is empty.
void Copy(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy) {
    if (w > 0 && h > 0) BitBlt(dst, x, y, w, h, src, sx, sy, SRCCOPY);
}
void Copy(HDC dst, const TRect &r, HDC src, int sx, int sy) {
    Copy(dst, r.left, r.top, r.right - r.left, r.bottom - r.top, src, sx, sy);
}
// Copy of a block from the same place of the source.
void CopyInPlace(HDC dst, int x, int y, int w, int h, HDC src) { Copy(dst, x, y, w, h, src, x, y); }
void CopyInPlace(HDC dst, const TRect &r, HDC src) { Copy(dst, r, src, r.left, r.top); }
// The whole w x h source stretched into r; nothing when r is empty.
void Stretch(HDC dst, const TRect &r, HDC src, int w, int h) {
    if (r.right > r.left && r.bottom > r.top)
        StretchBlt(dst, r.left, r.top, r.right - r.left, r.bottom - r.top, src, 0, 0, w, h, SRCCOPY);
}

TRect Box(int x, int y, int w, int h) { return TRect{x, y, x + w, y + h}; }

// Nearest integer, halves to even.
int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

} // namespace

TSlideTransition::TSlideTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
    AllowedDirections = TTEEffectDirections{tedRight, tedLeft, tedDown, tedUp, tedDownRight,
                                            tedDownLeft, tedUpRight, tedUpLeft, tedIn, tedOut};
    SetDirection(tedDown);
}

const rtl::TClassInfo &TSlideTransition::StaticClassInfo() {
    using S = TSlideTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<S, TTimedTransitionEffect>("TSlideTransition")
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedDown)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Property("ElasticSrc", &S::ElasticSrc, &S::ElasticSrc)
            .Default(false)
            .Property("ElasticDst", &S::ElasticDst, &S::ElasticDst)
            .Default(false)
            .Property("SlideOut", &S::SlideOut, &S::SlideOut)
            .Default(false)
            .Build();
    return info;
}

int32_t TSlideTransition::SlideCaseOf(TTEEffectDirection direction, bool slideOut, bool elasticDst,
                                      bool elasticSrc) {
    if (direction == tedOut) return 25;
    if (direction == tedIn) return 46;
    Kind kind;
    if (IsStraight(direction)) {
        if (elasticDst && elasticSrc)
            kind = Kind::BothElastic;
        else if (elasticSrc)
            kind = slideOut ? Kind::OutOldSqueezed : Kind::InOldSqueezed;
        else if (elasticDst)
            kind = slideOut ? Kind::OutNewStretched : Kind::InNewStretched;
        else
            kind = slideOut ? Kind::OutRigid : Kind::InRigid;
    } else if (IsDiagonal(direction)) {
        if (elasticDst)
            kind = Kind::InNewStretched;
        else if (elasticSrc)
            kind = Kind::OutOldSqueezed;
        else
            kind = slideOut ? Kind::OutRigid : Kind::InRigid;
    } else {
        return 0;
    }
    for (int32_t c = 1; c < static_cast<int32_t>(kCases.size()); ++c)
        if (kCases[c].dir == direction && kCases[c].kind == kind) return c;
    return 0;
}

void TSlideTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    const TTEEffectDirection dir = DirectionToUse();
    SlideCase = SlideCaseOf(dir, UseSlideOut(), UseElasticDst(), UseElasticSrc());
    SavedStretchMode = SetStretchBltMode(data.DrawCanvas().Handle(), COLORONCOLOR);

    const int w = data.Width, h = data.Height;
    const Kind kind = kCases[SlideCase].kind;
    switch (dir) {
    case tedDown:
        totalFrames = h;
        SlideRect = TRect{0, 0, w, 0};
        break;
    case tedUp:
        totalFrames = h;
        SlideRect = TRect{0, h, w, h};
        break;
    case tedLeft:
        totalFrames = w;
        SlideRect = TRect{w, 0, w, h};
        break;
    case tedRight:
        totalFrames = w;
        SlideRect = TRect{0, 0, 0, h};
        break;
    case tedIn:
    case tedOut:
        // Each edge moves about one pixel a frame. An area whose larger side
        // is a single pixel still has one frame, so that its run ends with
        // the arriving page like any other.
        totalFrames = std::max(1, std::max(w, h) / 2);
        SlideRect = dir == tedIn ? TRect{0, 0, w, h} : TRect{w / 2, h / 2, w / 2, h / 2};
        break;
    default: // the diagonals
        totalFrames = std::max(w, h);
        if (kind == Kind::OutRigid || kind == Kind::OutOldSqueezed) {
            SlideRect = TRect{0, 0, w, h};
        } else {
            // The empty corner the arriving page grows from.
            const int x = dir == tedDownLeft || dir == tedUpLeft ? w : 0;
            const int y = dir == tedUpRight || dir == tedUpLeft ? h : 0;
            SlideRect = TRect{x, y, x, y};
        }
        break;
    }
    // Nothing to show on an empty area: the driver ends such a run at once.
    if (w <= 0 || h <= 0) totalFrames = 0;
}

void TSlideTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                    int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    if (SlideCase <= 0 || SlideCase >= static_cast<int32_t>(kCases.size()) || totalFrames <= 0) return;
    const TTEEffectDirection dir = kCases[SlideCase].dir;
    const Kind kind = kCases[SlideCase].kind;
    const HDC screen = data.DrawCanvas().Handle();
    const HDC oldPage = data.SrcImage->Canvas().Handle();
    const HDC newPage = data.DstImage->Canvas().Handle();
    const int w = data.Width, h = data.Height, c = currentFrame;

    if (IsStraight(dir)) {
        // The band of the arriving page is c pixels thick after this frame;
        // SlideRect holds the band the previous frame reached, so the strip
        // between the two is what this frame uncovers (Step pixels).
        const int k = std::clamp(c, 0, dir == tedDown || dir == tedUp ? h : w);
        TRect band, rest, strip;
        POINT newAt{0, 0}, oldAt{0, 0}; // sources of the rigid copies
        switch (dir) {
        case tedDown:
            band = Box(0, 0, w, k);
            rest = Box(0, k, w, h - k);
            strip = TRect{0, SlideRect.bottom, w, k};
            newAt = {0, h - k};
            break;
        case tedUp:
            band = Box(0, h - k, w, k);
            rest = Box(0, 0, w, h - k);
            strip = TRect{0, h - k, w, SlideRect.top};
            oldAt = {0, k};
            break;
        case tedLeft:
            band = Box(w - k, 0, k, h);
            rest = Box(0, 0, w - k, h);
            strip = TRect{w - k, 0, SlideRect.left, h};
            oldAt = {k, 0};
            break;
        default: // tedRight
            band = Box(0, 0, k, h);
            rest = Box(k, 0, w - k, h);
            strip = TRect{SlideRect.right, 0, k, h};
            newAt = {w - k, 0};
            break;
        }
        switch (kind) {
        case Kind::InRigid: Copy(screen, band, newPage, newAt.x, newAt.y); break;
        case Kind::InOldSqueezed:
            Copy(screen, band, newPage, newAt.x, newAt.y);
            Stretch(screen, rest, oldPage, w, h);
            break;
        case Kind::InNewStretched: Stretch(screen, band, newPage, w, h); break;
        case Kind::BothElastic:
            Stretch(screen, band, newPage, w, h);
            Stretch(screen, rest, oldPage, w, h);
            break;
        case Kind::OutRigid:
            Copy(screen, rest, oldPage, oldAt.x, oldAt.y);
            CopyInPlace(screen, strip, newPage);
            break;
        case Kind::OutOldSqueezed:
            Stretch(screen, rest, oldPage, w, h);
            CopyInPlace(screen, strip, newPage);
            break;
        case Kind::OutNewStretched:
            Copy(screen, rest, oldPage, oldAt.x, oldAt.y);
            Stretch(screen, band, newPage, w, h);
            break;
        default: break;
        }
        SlideRect = band;
        return;
    }

    // Diagonals and the centre: both extents follow the frame number, the
    // shorter side in proportion.
    const int a = RoundHalfEven(static_cast<double>(w) / totalFrames * c);
    const int b = RoundHalfEven(static_cast<double>(h) / totalFrames * c);

    if (dir == tedOut) {
        const int left = (w - a) / 2, top = (h - b) / 2;
        const TRect r = Box(left, top, w - 2 * left, h - 2 * top);
        Stretch(screen, r, newPage, w, h);
        SlideRect = r;
        return;
    }
    if (dir == tedIn) {
        const TRect p = SlideRect;
        const int left = a / 2, top = b / 2;
        const TRect n{left, top, w - left, h - top};
        // The frame between the previous and the new rectangle shows the
        // arriving page in place; then the departing page squeezed inside.
        CopyInPlace(screen, p.left, n.bottom, p.right - p.left, p.bottom - n.bottom, newPage);
        CopyInPlace(screen, p.left, p.top, p.right - p.left, n.top - p.top, newPage);
        CopyInPlace(screen, p.left, n.top, n.left - p.left, n.bottom - n.top, newPage);
        CopyInPlace(screen, n.right, n.top, p.right - n.right, n.bottom - n.top, newPage);
        Stretch(screen, n, oldPage, w, h);
        SlideRect = n;
        return;
    }

    TRect corner, rest;
    POINT newAt{0, 0}, oldAt{0, 0};
    switch (dir) {
    case tedDownRight:
        corner = Box(0, 0, a, b);
        rest = Box(a, b, w - a, h - b);
        newAt = {w - a, h - b};
        break;
    case tedDownLeft:
        corner = Box(w - a, 0, a, b);
        rest = Box(0, b, w - a, h - b);
        newAt = {0, h - b};
        oldAt = {a, 0};
        break;
    case tedUpRight:
        corner = Box(0, h - b, a, b);
        rest = Box(a, 0, w - a, h - b);
        newAt = {w - a, 0};
        oldAt = {0, b};
        break;
    default: // tedUpLeft
        corner = Box(w - a, h - b, a, b);
        rest = Box(0, 0, w - a, h - b);
        oldAt = {a, b};
        break;
    }
    switch (kind) {
    case Kind::InRigid:
        Copy(screen, corner, newPage, newAt.x, newAt.y);
        SlideRect = corner;
        return;
    case Kind::InNewStretched:
        Stretch(screen, corner, newPage, w, h);
        SlideRect = corner;
        return;
    case Kind::OutRigid: Copy(screen, rest, oldPage, oldAt.x, oldAt.y); break;
    case Kind::OutOldSqueezed: Stretch(screen, rest, oldPage, w, h); break;
    default: return;
    }
    // What the previous rest covered and the new one does not: an L of two
    // rectangles, showing the arriving page in place.
    const TRect &p = SlideRect, &n = rest;
    switch (dir) {
    case tedDownRight:
        CopyInPlace(screen, p.left, p.top, w - p.left, n.top - p.top, newPage);
        CopyInPlace(screen, p.left, p.top, n.left - p.left, h - p.top, newPage);
        break;
    case tedDownLeft:
        CopyInPlace(screen, 0, p.top, p.right, n.top - p.top, newPage);
        CopyInPlace(screen, n.right, n.top, p.right - n.right, h - n.top, newPage);
        break;
    case tedUpRight:
        CopyInPlace(screen, p.left, n.bottom, w - p.left, p.bottom - n.bottom, newPage);
        CopyInPlace(screen, p.left, 0, n.left - p.left, n.bottom, newPage);
        break;
    default: // tedUpLeft
        CopyInPlace(screen, 0, n.bottom, p.right, p.bottom - n.bottom, newPage);
        CopyInPlace(screen, n.right, 0, p.right - n.right, n.bottom, newPage);
        break;
    }
    SlideRect = rest;
}

void TSlideTransition::Finalize(TTETransitionData &data) {
    // 0 means setting the mode failed: there is nothing to put back.
    if (SavedStretchMode != 0) SetStretchBltMode(data.DrawCanvas().Handle(), SavedStretchMode);
    TTimedTransitionEffect::Finalize(data);
}

} // namespace qvt
