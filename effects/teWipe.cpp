// Wipe.
#include "effects/teWipe.h"

#include <algorithm>
#include <cmath>

#include "engine/teRandom.h"

namespace qvt {

namespace {

constexpr DWORD kDestinationAndNotSource = 0x00220326;

bool IsStraight(TTEEffectDirection d) { return d == tedRight || d == tedLeft || d == tedDown || d == tedUp; }
bool IsHorizontal(TTEEffectDirection d) { return d == tedRight || d == tedLeft; }

// round(size / total * frame) in extended precision, halves to even: how far
// a corner or border edge has moved at a frame.
int Travel(int size, int total, int frame) {
    const long double x = static_cast<long double>(size) / total * frame;
    return static_cast<int>(std::llrint(x));
}

// Copies the arriving page's pixels of (l, t, r, b) to the same place.
void Reveal(HDC draw, HDC page, int l, int t, int r, int b) {
    if (r > l && b > t) BitBlt(draw, l, t, r - l, b - t, page, l, t, SRCCOPY);
}

TRect Union(const TRect &a, const TRect &b) {
    TRect out;
    UnionRect(&out, &a, &b);
    return out;
}

} // namespace

TWipeTransition::TWipeTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
    AllowedDirections = {tedRight,    tedLeft,    tedDown,   tedUp, tedDownRight,
                         tedDownLeft, tedUpRight, tedUpLeft, tedIn, tedOut};
    Direction = tedRight;
}

TWipeTransition::~TWipeTransition() = default;

const rtl::TClassInfo &TWipeTransition::StaticClassInfo() {
    using W = TWipeTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<W, TTimedTransitionEffect>("TWipeTransition")
            .Property("BandWidth", &W::GetBandWidth, &W::SetBandWidth)
            .Default(50)
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedRight)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Build();
    return info;
}

int32_t TWipeTransition::GetBandWidth() const { return IsStraight(DirectionToUse()) ? StoredBandWidth : 0; }

int TWipeTransition::BandWidthInUse() const { return std::max(0, GetBandWidth()); }

void TWipeTransition::BuildBandPattern(TTEEffectDirection direction, int band, int width, int height) {
    auto pattern = std::make_unique<TBitmap>();
    pattern->SetMonochrome(true);
    pattern->SetSize(width, height);
    PatBlt(pattern->Canvas().Handle(), 0, 0, width, height, WHITENESS);

    // Line c runs along the edge; its chance of an arriving (black) pixel is
    // highest next to the uncovered area and falls towards the far side.
    RandSeed = kPatternSeed;
    const bool columns = IsHorizontal(direction);
    const bool edgeFirst = direction == tedRight || direction == tedDown;
    const int length = columns ? height : width;
    std::vector<uint8_t *> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = static_cast<uint8_t *>(pattern->ScanLine(y));
    for (int c = 0; c < band; ++c) {
        const int d = static_cast<int>(static_cast<int64_t>(c) * 100 / band);
        int p = edgeFirst ? 100 - d : d;
        if (p == 0) p = 1;
        for (int i = 0; i < length; ++i) {
            if (p < NextRandom(100)) continue;
            const int x = columns ? c : i, y = columns ? i : c;
            rows[static_cast<size_t>(y)][x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
        }
    }
    BandPattern = std::move(pattern);
    BandDirection = direction;
}

void TWipeTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    // No dirty-rectangle list: the changes of a frame are one rectangle.
    DepartingBand.reset();
    ArrivingBand.reset();
    BandOffsetX = 0;
    BandOffsetY = 0;
    runBand_ = 0;
    const int w = data.Width, h = data.Height;
    // An empty area has nothing to uncover; the driver ends such a run.
    if (w <= 0 || h <= 0) {
        totalFrames = 0;
        return;
    }
    const TTEEffectDirection dir = DirectionToUse();
    const bool horizontal = IsHorizontal(dir);
    // The band needs the pages Prepare made for it.
    const int bw = data.SrcImage && data.Bitmap ? BandWidthInUse() : 0;
    if (bw > 0) {
        const int pw = horizontal ? bw : w + kPatternSlack;
        const int ph = horizontal ? h + kPatternSlack : bw;
        if (!BandPattern || BandPattern->Width() != pw || BandPattern->Height() != ph || BandDirection != dir) {
            BandPattern.reset();
            BuildBandPattern(dir, bw, pw, ph);
        }
        const TPixelFormat pf = GetPixelFormat();
        auto makeBand = [&] {
            auto b = std::make_unique<TBitmap>();
            // Each image owns its palette: a copy of the arriving page's.
            HPALETTE palette = pf == pf8bit ? rtl::CopyPalette(data.DstImage->Palette()) : nullptr;
            SetupBitmap(*b, palette, horizontal ? bw : w, pf, horizontal ? h : bw);
            return b;
        };
        DepartingBand = makeBand();
        ArrivingBand = makeBand();
        BitBlt(data.DrawCanvas().Handle(), 0, 0, w, h, data.SrcImage->Canvas().Handle(), 0, 0, SRCCOPY);
        runBand_ = bw;
    } else {
        BandPattern.reset();
    }

    TRect &r = Strip;
    TRect &b = Band;
    switch (dir) {
    case tedRight:
        totalFrames = bw + w;
        r = TRect{1 - bw, 0, -bw, h};
        b = TRect{r.right + 1, r.top, r.right + 1 + bw, r.bottom};
        break;
    case tedLeft:
        totalFrames = bw + w;
        r = TRect{bw + w, 0, bw + w, h};
        b = TRect{r.left - bw - 1, r.top, r.right - 1, r.bottom};
        break;
    case tedDown:
        totalFrames = bw + h;
        r = TRect{0, -bw, w, -bw};
        b = TRect{r.left, r.bottom + 1, r.right, r.bottom + 1 + bw};
        break;
    case tedUp:
        totalFrames = bw + h;
        r = TRect{0, bw + h, w, bw + h};
        b = TRect{r.left, r.top - bw - 1, r.right, r.bottom - 1};
        break;
    case tedDownRight:
        totalFrames = w + h;
        r = TRect{0, 0, 0, 0};
        break;
    case tedDownLeft:
        totalFrames = std::max(w, h);
        r = TRect{w, 0, w, 0};
        break;
    case tedUpRight:
        totalFrames = std::max(w, h);
        r = TRect{0, h, 0, h};
        break;
    case tedUpLeft:
        totalFrames = std::max(w, h);
        r = TRect{w, h, w, h};
        break;
    case tedIn:
        // At least one frame, so that a one-pixel area still ends on the
        // arriving page.
        totalFrames = std::max(1, std::max(w, h) / 2);
        r = TRect{0, 0, w, h};
        break;
    case tedOut:
        totalFrames = std::max(1, std::max(w, h) / 2);
        r = TRect{w / 2, h / 2, w / 2, h / 2};
        break;
    default:
        totalFrames = 0;
        break;
    }
}

void TWipeTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                   int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    HDC draw = data.DrawCanvas().Handle();
    HDC page = data.DstImage->Canvas().Handle();
    const int w = data.Width, h = data.Height, f = currentFrame, t = totalFrames;
    const int bw = runBand_;
    TRect &r = Strip;
    TRect &b = Band;
    const TTEEffectDirection dir = DirectionToUse();

    switch (dir) {
    case tedRight:
        r.left = r.right;
        r.right += step;
        if (bw > 0) {
            b.left = r.right + 1;
            b.right = b.left + bw;
            BandOffsetY = NextRandom(kPatternSlack);
        }
        break;
    case tedLeft:
        r.right = r.left;
        r.left -= step;
        if (bw > 0) {
            // Placed from the previous edge, as upwards: the new strip covers
            // the band's rightmost columns, so no column is left between the
            // strip and the band however far the frame moves.
            b.right = r.right - 1;
            b.left = b.right - bw;
            BandOffsetY = NextRandom(kPatternSlack);
        }
        break;
    case tedDown:
        r.top = r.bottom;
        r.bottom += step;
        if (bw > 0) {
            b.top = r.bottom + 1;
            b.bottom = b.top + bw;
            BandOffsetX = NextRandom(kPatternSlack);
        }
        break;
    case tedUp:
        r.bottom = r.top;
        r.top -= step;
        if (bw > 0) {
            b.bottom = r.bottom - 1;
            b.top = b.bottom - bw;
            BandOffsetX = NextRandom(kPatternSlack);
        }
        break;
    case tedDownRight: {
        const int cw = Travel(w, t, f), ch = Travel(h, t, f);
        Reveal(draw, page, 0, r.bottom, cw, ch);
        Reveal(draw, page, r.right, 0, cw, r.bottom);
        r.right = cw;
        r.bottom = ch;
        return;
    }
    case tedDownLeft: {
        const int x = w - Travel(w, t, f), ch = Travel(h, t, f);
        Reveal(draw, page, x, r.bottom, w, ch);
        Reveal(draw, page, x, 0, r.left, r.bottom);
        r.left = x;
        r.bottom = ch;
        return;
    }
    case tedUpRight: {
        const int cw = Travel(w, t, f), y = h - Travel(h, t, f);
        Reveal(draw, page, 0, y, cw, r.top);
        Reveal(draw, page, r.right, r.top, cw, h);
        r.right = cw;
        r.top = y;
        return;
    }
    case tedUpLeft: {
        const int x = w - Travel(w, t, f), y = h - Travel(h, t, f);
        Reveal(draw, page, x, y, w, r.top);
        Reveal(draw, page, x, r.top, r.left, h);
        r.left = x;
        r.top = y;
        return;
    }
    case tedIn: {
        // r is the part still showing the departing page.
        const int e = Travel(w, t, f) / 2, g = Travel(h, t, f) / 2;
        Reveal(draw, page, r.left, r.top, r.right, g);
        Reveal(draw, page, r.left, g, e, h - g);
        Reveal(draw, page, w - e, g, r.right, h - g);
        Reveal(draw, page, r.left, h - g, r.right, r.bottom);
        r = TRect{e, g, w - e, h - g};
        return;
    }
    case tedOut: {
        // r is the uncovered centre.
        const int x = (w - Travel(w, t, f)) / 2, y = (h - Travel(h, t, f)) / 2;
        Reveal(draw, page, x, y, w - x, r.top);
        Reveal(draw, page, x, r.top, r.left, h - y);
        Reveal(draw, page, r.right, r.top, w - x, r.bottom);
        Reveal(draw, page, x, r.bottom, w - x, h - y);
        r = TRect{x, y, w - x, h - y};
        return;
    }
    default: return;
    }

    if (bw > 0) {
        DrawBand(data);
    } else {
        Reveal(draw, page, r.left, r.top, r.right, r.bottom);
    }
}

void TWipeTransition::DrawBand(TTETransitionData &data) {
    HDC draw = data.DrawCanvas().Handle();
    HDC page = data.DstImage->Canvas().Handle();
    HDC departing = DepartingBand->Canvas().Handle();
    HDC arriving = ArrivingBand->Canvas().Handle();
    HDC pattern = BandPattern->Canvas().Handle();
    const int iw = DepartingBand->Width(), ih = DepartingBand->Height();
    const TRect &b = Band;
    const TRect &r = Strip;

    // Departing page where the pattern is white, arriving where it is black.
    BitBlt(departing, 0, 0, iw, ih, data.SrcImage->Canvas().Handle(), b.left, b.top, SRCCOPY);
    BitBlt(departing, 0, 0, iw, ih, pattern, BandOffsetX, BandOffsetY, SRCAND);
    BitBlt(arriving, 0, 0, iw, ih, page, b.left, b.top, SRCCOPY);
    BitBlt(arriving, 0, 0, iw, ih, pattern, BandOffsetX, BandOffsetY, kDestinationAndNotSource);
    BitBlt(arriving, 0, 0, iw, ih, departing, 0, 0, SRCPAINT);
    BitBlt(draw, b.left, b.top, b.right - b.left, b.bottom - b.top, arriving, 0, 0, SRCCOPY);
    UpdateRect = Union(UpdateRect, b);
    // One more column and row than the strip, so that nothing stays between
    // the strip and the band.
    BitBlt(draw, r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1, page, r.left, r.top, SRCCOPY);
    UpdateRect = Union(UpdateRect, r);
}

void TWipeTransition::Finalize(TTETransitionData &) {
    // The band pattern stays for the next run.
    DepartingBand.reset();
    ArrivingBand.reset();
}

} // namespace qvt
