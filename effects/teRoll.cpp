// Roll.
#include "effects/teRoll.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pixels/MaskKernels.h"

namespace qvt {

namespace {

bool IsHorizontal(TTEEffectDirection d) { return d == tedRight || d == tedLeft; }

// The four bytes of a shading entry: one signed offset repeated.
uint32_t ShadeEntry(int v) { return 0x01010101u * static_cast<uint8_t>(static_cast<int8_t>(v)); }

// Eight bytes at a time, each on its own: x + y stopping at 255, and x - y
// stopping at 0. The high bit of every byte is handled apart so that no
// carry or borrow crosses into the next byte.
constexpr uint64_t kHighBits = 0x8080808080808080ull;
uint64_t AddBytesSaturated(uint64_t x, uint64_t y) {
    const uint64_t sum = ((x & ~kHighBits) + (y & ~kHighBits)) ^ ((x ^ y) & kHighBits);
    const uint64_t carry = ((x & y) | ((x | y) & ~sum)) & kHighBits;
    return sum | ((carry >> 7) * 0xFF);
}
uint64_t SubtractBytesSaturated(uint64_t x, uint64_t y) {
    const uint64_t diff = ((x | kHighBits) - (y & ~kHighBits)) ^ ((x ^ ~y) & kHighBits);
    const uint64_t borrow = ((~x & y) | (~(x ^ y) & diff)) & kHighBits;
    return diff & ~((borrow >> 7) * 0xFF);
}

// The shading of a pixel pair as the bytes to add and the bytes to
// subtract: every byte has one of the two 0, so applying both adds the
// signed offset with saturation.
struct TPairShade {
    uint64_t add = 0, subtract = 0;
};
TPairShade PairShade(int first, int second) {
    auto bytes = [](int v) { return 0x01010101u * static_cast<uint8_t>(v); };
    const uint32_t add[2] = {first > 0 ? bytes(first) : 0, second > 0 ? bytes(second) : 0};
    const uint32_t subtract[2] = {first < 0 ? bytes(-first) : 0, second < 0 ? bytes(-second) : 0};
    TPairShade shade;
    std::memcpy(&shade.add, add, 8);
    std::memcpy(&shade.subtract, subtract, 8);
    return shade;
}
void ShadePair(uint8_t *p, uint64_t add, uint64_t subtract) {
    uint64_t x;
    std::memcpy(&x, p, 8);
    if (add) x = AddBytesSaturated(x, add);
    if (subtract) x = SubtractBytesSaturated(x, subtract);
    std::memcpy(p, &x, 8);
}
// A row of pixel pairs that all take one offset v (not 0).
void ShadeRow(uint8_t *p, int pairs, int v) {
    const TPairShade shade = PairShade(v, v);
    uint64_t x;
    if (v > 0) {
        for (int i = 0; i < pairs; ++i, p += 8) {
            std::memcpy(&x, p, 8);
            x = AddBytesSaturated(x, shade.add);
            std::memcpy(p, &x, 8);
        }
    } else {
        for (int i = 0; i < pairs; ++i, p += 8) {
            std::memcpy(&x, p, 8);
            x = SubtractBytesSaturated(x, shade.subtract);
            std::memcpy(p, &x, 8);
        }
    }
}

} // namespace

TRollTransition::TRollTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
    AllowedDirections = TTEEffectDirections{tedRight, tedLeft, tedDown, tedUp};
    SetDirection(tedDown);
}

TRollTransition::~TRollTransition() = default;

const rtl::TClassInfo &TRollTransition::StaticClassInfo() {
    using R = TRollTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<R, TTimedTransitionEffect>("TRollTransition")
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedDown)
            .Property("Size", &R::Size, &R::Size)
            .Default(60)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Property("Unroll", &R::Unroll, &R::Unroll)
            .Default(true)
            .Property("Use3D", &R::Use3D, &R::Use3D)
            .Default(true)
            .Build();
    return info;
}

bool TRollTransition::Use3DActive() const {
    if (!MMXAvailable || !Use3D) return false;
    const TPixelFormat pf = GetDevicePixelFormat(false);
    return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit;
}

int TRollTransition::GetBitmapsWidth(int width) const {
    if (!Use3DActive() || width <= 0) return width;
    return ((width - 1) / 8 + 1) * 8;
}

TPixelFormat TRollTransition::GetPixelFormat() const {
    return Use3DActive() ? pf32bit : GetDevicePixelFormat(false);
}

void TRollTransition::BuildShadeTable(int s) {
    auto set = [this](int i, int v) {
        if (i >= 0 && static_cast<size_t>(i) < ShadeTable.size()) ShadeTable[static_cast<size_t>(i)] = ShadeEntry(v);
    };
    set(0, 0);
    if (s == 1) {
        set(1, 110);
    } else if (s <= 2) {
        set(1, -110);
        set(2, 110);
    } else {
        // A triangle from -110 at both rims to +110 in the middle, crossing
        // 0 at the quarter points; an even thickness has two middle entries.
        const bool even = s % 2 == 0;
        const int q = (s - 1) / 4, half = (s - 1) / 2, mid = (s + 1) / 2;
        const double k = 220.0 / half;
        set(1, -110);
        set(s, -110);
        set(mid, 110);
        if (even) set(mid + 1, 110);
        for (int i = 1; i <= q; ++i) {
            const int v = static_cast<int>(std::nearbyint(110 - i * k));
            set(i + 1, -v);
            set(s - i, -v);
            if (s > 6) {
                set(mid - i, v);
                set(even ? mid + i + 1 : mid + i, v);
            }
        }
    }
    ShadeTableSize = s;
}

void TRollTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    const int w = data.Width, h = data.Height;
    const TTEEffectDirection dir = DirectionToUse();
    const bool unroll = UnrollActive();
    MirrorImage.reset();
    ShadeTable.clear();
    ShadeTableSize = 0;
    shade_ = false;
    // Nothing to show on an empty area: the driver ends such a run at once.
    if (w <= 0 || h <= 0) {
        totalFrames = 0;
        return;
    }
    totalFrames = IsHorizontal(dir) ? w + 1 : h + 1;
    // A roll thinner than a pixel draws nothing sensible; one thicker than
    // the travel never shows more than the travel.
    size_ = std::clamp(Size, 1, totalFrames);
    const int s = size_;
    switch (dir) {
    case tedRight:
        FlatRect = unroll ? TRect{-s, 0, 0, h} : TRect{0, 0, 0, h};
        RollRect = FlatRect;
        break;
    case tedLeft:
        FlatRect = unroll ? TRect{w, 0, w + s, h} : TRect{w, 0, w, h};
        RollRect = FlatRect;
        break;
    case tedUp:
        FlatRect = unroll ? TRect{0, h + s, w, h + s} : TRect{0, h, w, h};
        RollRect = unroll ? TRect{0, h, w, h + s} : TRect{0, h, w, h};
        break;
    default: // tedDown
        FlatRect = unroll ? TRect{0, -s, w, 0} : TRect{0, 0, w, 0};
        RollRect = FlatRect;
        break;
    }

    // The shading walks the work bitmap as 32-bit pixel pairs: it needs the
    // format and width that Prepare gave it for a shaded run.
    shade_ = Use3DActive() && data.Bitmap && data.Bitmap->PixelFormat() == pf32bit &&
             data.Bitmap->Width() >= GetBitmapsWidth(w);
    if (shade_) {
        ShadeTable.assign(static_cast<size_t>(s) + 2, 0);
        if (unroll) BuildShadeTable(s);
    }

    // The rolling page mirrored across the direction of travel: column x of
    // the mirror holds column W - 1 - x of the page (or row y row H - 1 - y).
    // A negative source extent starts at its origin pixel and walks back, so
    // the origin is the page's last column or row.
    TBitmap *rolling = unroll ? data.DstImage : data.SrcImage;
    MirrorImage = std::make_unique<TBitmap>();
    SetupBitmap(*MirrorImage, nullptr, w, data.PixelFormat, h);
    if (rolling) {
        const HDC mirror = MirrorImage->Canvas().Handle(), page = rolling->Canvas().Handle();
        if (IsHorizontal(dir))
            StretchBlt(mirror, 0, 0, w, h, page, w - 1, 0, -w, h, SRCCOPY);
        else
            StretchBlt(mirror, 0, 0, w, h, page, 0, h - 1, w, -h, SRCCOPY);
    }
}

void TRollTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                   int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    if (!MirrorImage) return;
    const int w = data.Width, h = data.Height, c = currentFrame;
    const int bw = MirrorImage->Width();
    const bool unroll = UnrollActive();
    const TTEEffectDirection dir = DirectionToUse();

    // The roll runs out at the far edge when unrolling: it never holds more
    // than the T - C - 1 lines still rolled up, so its strip always lies
    // inside the mirror (at T - C = Size a roll of Size would reach one line
    // past the page and leave a stale line). It grows from the edge when
    // rolling up.
    int s = unroll ? std::min(size_, totalFrames - c - 1) : std::min(c, size_);
    s = std::max(s, 0);

    // Each row first moves the leading edge by the step, then derives the
    // other edges from it; the source point is where the roll's strip begins
    // in the mirror.
    TRect &rr = RollRect, &fr = FlatRect;
    POINT from{0, 0};
    if (unroll) {
        switch (dir) {
        case tedRight:
            rr.right += step;
            rr.left = rr.right - s;
            fr.left = fr.right;
            fr.right = rr.left;
            from = {bw - rr.right - s, 0};
            break;
        case tedLeft:
            rr.left -= step;
            rr.right = rr.left + s;
            fr.right = fr.left;
            fr.left = rr.right;
            from = {bw - rr.right + s - 1, 0};
            break;
        case tedUp:
            rr.top -= step;
            rr.bottom = rr.top + s;
            fr.bottom = fr.top;
            fr.top = rr.bottom;
            from = {0, h - rr.bottom + s - 1};
            break;
        default: // tedDown
            rr.bottom += step;
            rr.top = rr.bottom - s;
            fr.top = fr.bottom;
            fr.bottom = rr.top;
            from = {0, h - rr.bottom - s};
            break;
        }
    } else {
        switch (dir) {
        case tedRight:
            fr.left = fr.right;
            fr.right += step;
            rr.left = fr.right;
            rr.right = rr.left + s;
            from = {bw - rr.left - 1, 0};
            break;
        case tedLeft:
            fr.right = fr.left;
            fr.left -= step;
            rr.right = fr.left;
            rr.left = rr.right - s;
            from = {bw - rr.right - s, 0};
            break;
        case tedUp:
            fr.bottom = fr.top;
            fr.top -= step;
            rr.bottom = fr.top;
            rr.top = rr.bottom - s;
            from = {0, h - rr.bottom - s};
            break;
        default: // tedDown
            fr.top = fr.bottom;
            fr.bottom += step;
            rr.top = fr.bottom;
            rr.bottom = rr.top + s;
            from = {0, h - rr.top - 1};
            break;
        }
    }

    const HDC draw = data.DrawCanvas().Handle();
    if (s > 0) {
        const int cw = IsHorizontal(dir) ? s : w, ch = IsHorizontal(dir) ? h : s;
        BitBlt(draw, rr.left, rr.top, cw, ch, MirrorImage->Canvas().Handle(), from.x, from.y, SRCCOPY);
    }
    UnionRect(&UpdateRect, &UpdateRect, &rr);
    if (fr.right > fr.left && fr.bottom > fr.top)
        BitBlt(draw, fr.left, fr.top, fr.right - fr.left, fr.bottom - fr.top, data.DstImage->Canvas().Handle(),
               fr.left, fr.top, SRCCOPY);
    UnionRect(&UpdateRect, &UpdateRect, &fr);
    const TRect page{0, 0, w, h};
    IntersectRect(&UpdateRect, &UpdateRect, &page);

    if (shade_) {
        if (s != ShadeTableSize) BuildShadeTable(s);
        if (static_cast<size_t>(s) + 1 < ShadeTable.size()) ShadeTable[static_cast<size_t>(s) + 1] = 0;
        ShadeRoll(data, s);
    }
}

// Adds the table's offsets to the roll's pixels in the work bitmap. The
// area is widened to whole pixel pairs; the entries before and after the
// roll's own (0 and s + 1) are 0, so the widening changes nothing.
void TRollTransition::ShadeRoll(TTETransitionData &data, int s) {
    TRect area;
    if (!IntersectRect(&area, &RollRect, &UpdateRect)) return;
    TBitmap &work = *data.Bitmap;
    const int stride = BytesPerScanLine(work, pf32bit, 32);
    RECT none{0, 0, 0, 0};
    SplitMaskRegion(work.Width(), 2, false, area, none);
    const TMaskRun run = MaskRunGeometry(2, stride, pf32bit, area, none).Pieces[0];
    if (run.Total <= 0 || run.Run <= 0) return;

    // The entry of the roll's first pixel in the area: further along when
    // the roll starts outside the page, one before it when the widening
    // added a pixel on its left.
    const TTEEffectDirection dir = DirectionToUse();
    const bool unroll = UnrollActive();
    const bool horizontal = IsHorizontal(dir);
    int first;
    if (horizontal && (unroll ? dir == tedRight : dir == tedLeft) && RollRect.left <= 0)
        first = 1 - RollRect.left;
    else if (!horizontal && (unroll ? dir == tedUp : dir == tedDown) && RollRect.bottom >= data.Height)
        first = RollRect.bottom - data.Height + 1;
    else
        first = (RollRect.left & 1) == 0 ? 1 : 0;

    // Entries past the end of the table (none are reached) count as 0.
    const int last = static_cast<int>(ShadeTable.size()) - 1;
    auto offset = [&](int i) { return i >= 0 && i <= last && i <= s + 1 ? ShadeOffset(i) : 0; };

    // Rows from the bottom of the area up, each from left to right, a pixel
    // pair at a time: the counter runs from -Total to 0 in pixels before the
    // area's end, and Run is even. Across the travel the pairs take
    // successive entries, the same on every row; along it a row takes one
    // entry, the next row the next.
    uint8_t *const areaEnd = static_cast<uint8_t *>(work.ScanLine(0)) + stride - run.Pos;
    const int rowPixels = run.Run + run.Gap;
    const int pairs = run.Run / 2;
    if (horizontal) {
        rowShades_.resize(2 * static_cast<size_t>(pairs));
        for (int i = 0; i < pairs; ++i) {
            const TPairShade shade = PairShade(offset(first + 2 * i), offset(first + 2 * i + 1));
            rowShades_[2 * static_cast<size_t>(i)] = shade.add;
            rowShades_[2 * static_cast<size_t>(i) + 1] = shade.subtract;
        }
    }
    int entry = first;
    for (int n = -run.Total; n < 0; n += rowPixels, ++entry) {
        uint8_t *row = areaEnd + static_cast<ptrdiff_t>(n) * 4;
        if (horizontal) {
            const uint64_t *shade = rowShades_.data();
            for (int i = 0; i < pairs; ++i, shade += 2) ShadePair(row + 8 * i, shade[0], shade[1]);
        } else {
            if (const int v = offset(entry)) ShadeRow(row, pairs, v);
        }
    }
}

void TRollTransition::Finalize(TTETransitionData &data) {
    ShadeTable.clear();
    ShadeTable.shrink_to_fit();
    rowShades_.clear();
    rowShades_.shrink_to_fit();
    MirrorImage.reset();
    TTimedTransitionEffect::Finalize(data);
}

} // namespace qvt
