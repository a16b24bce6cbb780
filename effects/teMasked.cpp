// Mask-pattern framework.
#include "effects/teMasked.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "engine/teRandom.h"

namespace qvt {

namespace {

const TRect kNoRect{0, 0, 0, 0};

// An empty update rectangle for UpdateScreen, which takes all zeros for the
// whole work bitmap: that would copy the padding columns beyond the page
// onto the screen, next to the transition area.
TRect NothingToUpdate(int height) { return TRect{0, 0, 0, std::max(height, 1)}; }

// The grey v as a palette-relative colour, so that it lands on entry v of
// the smooth mask's grey palette.
TColor PaletteGrey(int v) { return static_cast<TColor>(PALETTERGB(v, v, v)); }

void FillWhite(TBitmap &mask, const TRect &r) {
    FillRect(mask.Canvas().Handle(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

// The kernels' view of a bitmap in a pixel format.
TPixelBuffer BufferOf(TBitmap &bitmap, TPixelFormat pixelFormat) {
    const int stride = BytesPerScanLine(bitmap, pixelFormat, 32);
    return {static_cast<uint8_t *>(bitmap.ScanLine(0)) + stride, stride, pixelFormat};
}

// One rectangle of a region and the unchanged core excluded from it.
struct TRegionPart {
    TRect Update;
    TRect Exclude;
};

// The region a kernel works on: the update rectangle minus the exclude
// rectangle, or each of two or more dirty rectangles with nothing excluded;
// everything clipped to the page, empty rectangles left out.
std::vector<TRegionPart> RegionOf(const TFCDirtyRects *dirty, const TRect &update, const TRect &exclude,
                                  const TRect &page) {
    std::vector<TRegionPart> parts;
    if (dirty && dirty->Count() >= 2) {
        parts.reserve(static_cast<size_t>(dirty->Count()));
        for (int i = 0; i < dirty->Count(); ++i) {
            const TRect r = dirty->Get(i);
            TRect clipped;
            if (IntersectRect(&clipped, &r, &page)) parts.push_back({clipped, kNoRect});
        }
        return parts;
    }
    TRect u, e;
    if (!IntersectRect(&u, &update, &page)) return parts;
    if (!IntersectRect(&e, &exclude, &u)) e = kNoRect;
    parts.push_back({u, e});
    return parts;
}

// A kernel that changes the mask in place (fade, merge) must see every
// pixel at most once. Kernels round a rectangle's columns out to `granule`,
// so rectangles that touch may overlap once rounded: the region is then
// taken as one rectangle around all of them. That is exact for these
// kernels, because outside a frame's region nothing of the mask is due to
// change (faded-out greys are 0 already; unpainted bits stay white).
std::vector<TRegionPart> VisitedOnce(std::vector<TRegionPart> parts, int granule) {
    if (parts.size() < 2) return parts;
    auto left = [granule](const TRect &r) { return r.left / granule * granule; };
    auto right = [granule](const TRect &r) { return (r.right + granule - 1) / granule * granule; };
    bool overlap = false;
    for (size_t i = 0; i < parts.size() && !overlap; ++i)
        for (size_t j = i + 1; j < parts.size() && !overlap; ++j) {
            const TRect &a = parts[i].Update, &b = parts[j].Update;
            overlap = left(a) < right(b) && left(b) < right(a) && a.top < b.bottom && b.top < a.bottom;
        }
    if (!overlap) return parts;
    TRect all = parts[0].Update;
    for (const TRegionPart &p : parts) UnionRect(&all, &all, &p.Update);
    return {{all, kNoRect}};
}

} // namespace

TMaskedTransition::TMaskedTransition(TComponent *owner) : TTimedTransitionEffect(owner) {}

TMaskedTransition::~TMaskedTransition() = default;

// Publishes nothing: each pattern class publishes what it supports.
const rtl::TClassInfo &TMaskedTransition::StaticClassInfo() {
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TMaskedTransition, TTimedTransitionEffect>("TMaskedTransition").Build();
    return info;
}

void TMaskedTransition::SetStyles(std::span<const TMaskStyle> styles) {
    styles_ = styles;
    StyleCount = static_cast<uint16_t>(std::min<size_t>(styles.size(), UINT16_MAX));
}

void TMaskedTransition::SetStyle(uint16_t value) {
    if (value == Style || value > StyleCount) return;
    Style = value;
    // A random style draws its sub-style at random too.
    SetSubStyle(value > 0 ? 1 : 0);
}

void TMaskedTransition::SetSubStyle(uint16_t value) {
    if (value == SubStyle || value > GetSubStyleCount(Style)) return;
    SubStyle = value;
}

void TMaskedTransition::SetSmoothingLevel(uint16_t value) {
    if (value <= kMaxSmoothingLevel) SmoothingLevel = value;
}

uint16_t TMaskedTransition::StyleToUse() const {
    if (Style != 0) return Style;
    if (RandomStyle == 0) RandomStyle = static_cast<uint16_t>(NextRandom(StyleCount) + 1);
    return RandomStyle;
}

uint16_t TMaskedTransition::SubStyleToUse() const {
    uint16_t sub = SubStyle;
    if (sub == 0) {
        if (RandomSubStyle == 0)
            RandomSubStyle = static_cast<uint16_t>(NextRandom(GetSubStyleCount(StyleToUse())) + 1);
        sub = RandomSubStyle;
    }
    return Reversed ? GetReversedSubStyle(StyleToUse(), sub) : sub;
}

uint16_t TMaskedTransition::GetReversedSubStyle(uint16_t style, uint16_t subStyle) const {
    if (style < 1 || style > styles_.size()) return subStyle;
    const TMaskStyle &s = styles_[style - 1];
    if (subStyle < 1 || subStyle > s.Reversed.size() || s.Reversed[subStyle - 1] == 0) return subStyle;
    return s.Reversed[subStyle - 1];
}

uint16_t TMaskedTransition::GetSubStyleCount(uint16_t style) const {
    if (style == 0) return 0;
    if (style > styles_.size()) return 1;
    return styles_[style - 1].SubStyleCount;
}

bool TMaskedTransition::UseSmoothing() const {
    if (SmoothingLevel == 0 || !MMXAvailable) return false;
    const TPixelFormat pf = GetDevicePixelFormat(false);
    return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit;
}

int TMaskedTransition::GetBitmapsWidth(int width) const {
    const int unit = UseSmoothing() ? 8 : 32;
    return static_cast<int>(std::min<int64_t>((int64_t{width} - 1) / unit + 1, INT_MAX / unit) * unit);
}

TPixelFormat TMaskedTransition::GetPixelFormat() const {
    return UseSmoothing() ? pf32bit : GetDevicePixelFormat(false);
}

void TMaskedTransition::FreeMasks() {
    GradedBlend.reset();
    HardMask.reset();
    RevealedMask.reset();
    SmoothMask.reset();
    SecondSmoothMask.reset();
}

void TMaskedTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    FreeMasks();
    PrevUpdateRect = PrevExcludeRect = kNoRect;
    MaskFrames = 0;
    totalFrames = 0;
    const int w = data.Width, h = data.Height;
    // Nothing to show on an empty area: the driver ends such a run at once.
    if (w <= 0 || h <= 0 || !data.Bitmap || !data.SrcImage || !data.DstImage) return;

    const bool smoothing = UseSmoothing();
    const int maskWidth = GetBitmapsWidth(w);
    // The kernels walk mask and pages with one pixel counter: the pages
    // must have the masks' width (and 32-bit pixels to be mixed).
    for (TBitmap *page : {data.Bitmap, data.SrcImage, data.DstImage})
        if (page->Width() != maskWidth || page->Height() != h || (smoothing && data.PixelFormat != pf32bit))
            throw ETransitionEffectError("The masks of the run do not fit its bitmaps");

    MaskFrames = std::max(0, CalcTotalFrames(data));
    totalFrames = MaskFrames;
    const TRect page{0, 0, w, h};
    if (smoothing) {
        GreyStep = kGreySteps[SmoothingLevel];
        GreySteps = 255 / GreyStep;
        TopGrey = 254 - (254 - (GreySteps - 1) * GreyStep) / 2;
        BottomGrey = TopGrey - (GreySteps - 1) * GreyStep;
        totalFrames = static_cast<int>(std::min<int64_t>(int64_t{MaskFrames} + GreySteps - 1, INT_MAX));
        auto newMask = [&](TColor colour) {
            auto mask = std::make_unique<TBitmap>();
            SetupBitmap(*mask, CreateGrayscalePalette(), maskWidth, pf8bit, h);
            TCanvas &c = mask->Canvas();
            c.Pen().SetColor(colour);
            c.Brush().SetColor(c.Pen().Color());
            c.FillRect(page);
            return mask;
        };
        SmoothMask = newMask(PaletteGrey(255));
        if (NeedTwoSmoothMasks()) SecondSmoothMask = newMask(SmoothMask->Canvas().Pen().Color());
        GradedBlend = CreateGradedBlendRoutine();
    } else {
        auto newMask = [&] {
            auto mask = std::make_unique<TBitmap>();
            SetupBitmap(*mask, nullptr, maskWidth, pf1bit, h);
            FillWhite(*mask, page);
            return mask;
        };
        HardMask = newMask();
        HardMask->Canvas().Pen().SetColor(rtl::clBlack);
        HardMask->Canvas().Brush().SetColor(rtl::clBlack);
        if (KeepRevealedMask()) RevealedMask = newMask();
    }
    // The work bitmap starts as the leaving page (in hard mode it is that
    // page already).
    if (data.Bitmap != data.SrcImage)
        BitBlt(data.Bitmap->Canvas().Handle(), 0, 0, w, h, data.SrcImage->Canvas().Handle(), 0, 0, SRCCOPY);
    // With one smooth mask the next frame fades this frame's region, so the
    // smoothing frame empties the dirty list itself.
    if (SmoothMask && !SecondSmoothMask) DirtyRects->AutoClear = false;
}

void TMaskedTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                     int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    // The mode is the one Initialize made masks for.
    if (SmoothMask)
        SmoothingFrame(data, currentFrame, step, lastExecutedFrame);
    else if (HardMask)
        HardFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
}

void TMaskedTransition::Finalize(TTETransitionData &data) {
    FreeMasks();
    // A second pass of the same object plays the same pattern.
    if (!(PassCount() == 2 && AllowsTwoPasses())) RandomStyle = RandomSubStyle = 0;
    TTimedTransitionEffect::Finalize(data);
}

void TMaskedTransition::MaskPass(TTETransitionData &data, TBitmap &mask, TBitmap *revealed, int currentFrame,
                                 int step, int totalFrames, int lastExecutedFrame, bool draw, bool calcUpdate,
                                 bool apply) {
    if (!AllowScreenUpdate) {
        // The pattern draws straight on the screen itself.
        PaintMask(mask, currentFrame, step, totalFrames, lastExecutedFrame, data, draw, calcUpdate);
    } else {
        const TRect page{0, 0, data.Width, data.Height};
        UpdateRect = page;
        ExcludeRect = kNoRect;
        PaintMask(mask, currentFrame, step, totalFrames, lastExecutedFrame, data, draw, calcUpdate);
        if (!IntersectRect(&UpdateRect, &UpdateRect, &page)) UpdateRect = NothingToUpdate(data.Height);
        if (!IntersectRect(&ExcludeRect, &ExcludeRect, &UpdateRect)) ExcludeRect = kNoRect;
        if (apply) {
            const TPixelBuffer m = BufferOf(mask, pf1bit);
            if (InvertedMask()) InvertMask(m.End, m.Stride / 4 * data.Height);
            const std::vector<TRegionPart> region = RegionOf(DirtyRects.get(), UpdateRect, ExcludeRect, page);
            if (revealed) {
                const TPixelBuffer r = BufferOf(*revealed, pf1bit);
                for (const TRegionPart &p : VisitedOnce(region, 32))
                    MergeRevealedMask(m.End, r.End, m.Stride, p.Update, p.Exclude);
            }
            const TPixelBuffer work = BufferOf(*data.Bitmap, data.PixelFormat);
            const TPixelBuffer arriving = BufferOf(*data.DstImage, data.PixelFormat);
            for (const TRegionPart &p : region)
                CopyThroughMask1(work.End, arriving.End, m.End, data.Width, work.Stride, m.Stride, data.PixelFormat,
                                 p.Update, p.Exclude);
            // The frame painted only inside its region: whitening just that
            // spares clearing the whole update rectangle when the frame's
            // change is a chain of small dirty rectangles.
            if (ClearMaskEachFrame())
                for (const TRegionPart &p : region) FillWhite(mask, p.Update);
            return;
        }
    }
    if (apply && ClearMaskEachFrame()) FillWhite(mask, UpdateRect);
}

void TMaskedTransition::HardFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                  int lastExecutedFrame) {
    MaskPass(data, *HardMask, RevealedMask.get(), currentFrame, step, totalFrames, lastExecutedFrame, true, true,
             true);
}

// Paints the pattern of frames frame - count + 1 .. frame in grey v.
void TMaskedTransition::PaintSmoothFrames(TTETransitionData &data, int grey, int frame, int count) {
    if (frame < 1 || frame > MaskFrames) return;
    TCanvas &c = SmoothMask->Canvas();
    c.Pen().SetColor(PaletteGrey(grey));
    c.Brush().SetColor(c.Pen().Color());
    MaskPass(data, *SmoothMask, nullptr, frame, count, MaskFrames, frame - count, true, false, false);
}

// A pixel first reached in pattern frame f shows, at frame t, the grey
// top - (t - f) * step while t - f < GreySteps, then 0. The mask keeps the
// greys incrementally: the previous frame's region fades by the frames
// passed since, the frames reached now are painted in their greys, and the
// work bitmap is mixed anew over the region whose greys can change.
void TMaskedTransition::SmoothingFrame(TTETransitionData &data, int currentFrame, int step, int lastExecutedFrame) {
    const bool two = SecondSmoothMask != nullptr;
    const bool inverted = InvertedMask();
    // With two masks, the one painted last frame becomes the previous one.
    if (two) std::swap(SmoothMask, SecondSmoothMask);
    const int64_t t = MaskFrames, g = GreyStep, n = GreySteps, top = TopGrey, bottom = BottomGrey;
    const int64_t cur = currentFrame, prev = lastExecutedFrame;
    const TRect page{0, 0, data.Width, data.Height};

    const int64_t fade = prev == 0 ? 0 : std::min<int64_t>(step * g, top);
    // The grey of the newest pattern frame painted now (below top in the
    // frames after the last pattern frame), the oldest grey still above 0,
    // and how many of this step's pattern frames are already faded out:
    // those of prev + 1 .. min(cur, t) older than the greys painted. (Frames
    // past t do not count: they have no pixels, so counting them would
    // blank pixels that still have a grey when a step ends past t.)
    const int64_t hi = top - std::max<int64_t>(0, cur - t) * g;
    int64_t lo = hi - (step - 1) * g;
    int64_t zeroCount = 0;
    if (lo < bottom) {
        lo = bottom;
        zeroCount = std::max<int64_t>(0, std::min(cur, t) - prev - ((hi - bottom) / g + 1));
    } else if (lo > hi) {
        lo = hi;
    }
    // Pattern frames whose pixels can change grey now: first + 1 .. last.
    const int64_t last = std::min(t, cur + (hi - top) / g);
    const int64_t first = std::max<int64_t>(0, prev - n);
    auto frameOf = [&](int64_t v) { return static_cast<int>((v - top) / g + cur); };

    TBitmap &mask = *SmoothMask;
    const TPixelBuffer m = BufferOf(mask, pf8bit);
    if (!two && fade > 0)
        for (const TRegionPart &p : VisitedOnce(RegionOf(DirtyRects.get(), PrevUpdateRect, PrevExcludeRect, page), 8))
            FadeMask(m.End, m.Stride, data.Width, p.Update, p.Exclude, false, static_cast<uint8_t>(fade));
    DirtyRects->Clear();

    if (prev < t) {
        if (!two && zeroCount > 0) {
            if (inverted) {
                // The leaving part of the previous frame goes black; the
                // greys below and the white of the next frame are painted
                // over it. Before the first frame that part is the page.
                TCanvas &c = mask.Canvas();
                c.Pen().SetColor(PaletteGrey(0));
                c.Brush().SetColor(c.Pen().Color());
                c.FillRect(prev == 0 ? page : PrevUpdateRect);
            } else {
                PaintSmoothFrames(data, 0, static_cast<int>(first + zeroCount), static_cast<int>(zeroCount));
            }
        }
        // One frame per grey: oldest first on one mask (each frame paints
        // only its new part); newest first on two (each frame paints its
        // whole shape, so the older, smaller ones go on top).
        if (!two)
            for (int64_t v = lo; v <= hi; v += g) PaintSmoothFrames(data, static_cast<int>(v), frameOf(v), 1);
        else
            for (int64_t v = hi; v >= lo; v -= g) PaintSmoothFrames(data, static_cast<int>(v), frameOf(v), 1);
    }
    if (!two && inverted)
        // White for the next frame's shape: the leaving page still shows there.
        PaintSmoothFrames(data, 255, frameOf(hi) + 1, 1);
    else if (zeroCount > 0)
        // Pixels of skipped frames that would have faded out already.
        PaintSmoothFrames(data, 0, static_cast<int>(prev + zeroCount), static_cast<int>(zeroCount));

    // No pattern frame at all (a pattern of no frames): nothing to mix.
    if (last < 1) {
        UpdateRect = NothingToUpdate(data.Height);
        ExcludeRect = kNoRect;
        return;
    }
    MaskPass(data, mask, nullptr, static_cast<int>(last), static_cast<int>(last - first), MaskFrames,
             static_cast<int>(first), false, true, false);
    const std::vector<TRegionPart> region = RegionOf(DirtyRects.get(), UpdateRect, ExcludeRect, page);
    if (two && fade > 0) {
        const TPixelBuffer previous = BufferOf(*SecondSmoothMask, pf8bit);
        for (const TRegionPart &p : region)
            FadeMaskFrom(m.End, previous.End, m.Stride, data.Width, p.Update, p.Exclude, false,
                         static_cast<uint8_t>(fade));
    }
    const TPixelBuffer work = BufferOf(*data.Bitmap, pf32bit);
    const TPixelBuffer arriving = BufferOf(*data.DstImage, pf32bit);
    const TPixelBuffer departing = BufferOf(*data.SrcImage, pf32bit);
    for (const TRegionPart &p : region)
        BlendThroughMask8(*GradedBlend, work.End, arriving.End, departing.End, m.End, data.Width, m.Stride,
                          work.Stride, p.Update, p.Exclude);
}

} // namespace qvt
