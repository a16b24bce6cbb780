// Waterfall.
#include "effects/teWFall.h"

#include <algorithm>
#include <climits>

#include "engine/teRandom.h"

namespace qvt {

namespace {
bool IsHorizontal(TTEEffectDirection d) { return d == tedRight || d == tedLeft; }

int Clamp(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }
} // namespace

TWaterfallTransition::TWaterfallTransition(TComponent *owner) : TMaskedTransition(owner) {
    AllowedDirections = TTEEffectDirections{tedRight, tedLeft, tedDown, tedUp};
    SetDirection(tedDown);
}

const rtl::TClassInfo &TWaterfallTransition::StaticClassInfo() {
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TWaterfallTransition, TMaskedTransition>("TWaterfallTransition")
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedDown)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Build();
    return info;
}

int TWaterfallTransition::CalcTotalFrames(TTETransitionData &data) {
    const int64_t length = IsHorizontal(DirectionToUse()) ? data.Width : data.Height;
    return static_cast<int>(std::max<int64_t>(length, 0) * 80 / 100);
}

void TWaterfallTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TMaskedTransition::Initialize(data, totalFrames);
    const int streams = IsHorizontal(DirectionToUse()) ? data.Height : data.Width;
    Depths.assign(static_cast<size_t>(std::max(streams, 0)), 0);
}

void TWaterfallTransition::Finalize(TTETransitionData &data) {
    Depths.clear();
    Depths.shrink_to_fit();
    TMaskedTransition::Finalize(data);
}

void TWaterfallTransition::PaintMask(TBitmap &mask, int, int step, int, int, TTETransitionData &data, bool draw,
                                     bool) {
    const TTEEffectDirection dir = DirectionToUse();
    const int64_t w = data.Width, h = data.Height;
    const int64_t length = IsHorizontal(dir) ? w : h;
    int64_t lowest = length, highest = 0;
    TCanvas *canvas = draw ? &mask.Canvas() : nullptr;
    for (size_t i = 0; i < Depths.size(); ++i) {
        // One draw per stream and frame, finished or not, so that the
        // generator's sequence does not depend on the front.
        const int32_t r = NextRandom(4);
        if (r == 0) continue;
        const int64_t f = Depths[i];
        lowest = std::min(lowest, f);
        if (f >= length) continue;
        const int64_t e = f + int64_t{step} * r;
        Depths[i] = static_cast<int32_t>(std::min<int64_t>(e, INT32_MAX));
        highest = std::max(highest, e);
        if (!canvas) continue;
        // The new stretch from f to e, both ends included; what lies beyond
        // the page is clipped.
        const int at = static_cast<int>(i);
        switch (dir) {
        case tedRight:
            canvas->MoveTo(Clamp(f), at);
            canvas->LineTo(Clamp(e + 1), at);
            break;
        case tedLeft:
            canvas->MoveTo(Clamp(w - f), at);
            canvas->LineTo(Clamp(w - e - 1), at);
            break;
        case tedDown:
            canvas->MoveTo(at, Clamp(f));
            canvas->LineTo(at, Clamp(e + 1));
            break;
        default:
            canvas->MoveTo(at, Clamp(h - f));
            canvas->LineTo(at, Clamp(h - e - 1));
            break;
        }
    }
    lowest = std::max<int64_t>(lowest, 0);
    switch (dir) {
    case tedRight: UpdateRect = TRect{Clamp(lowest), 0, Clamp(highest), Clamp(h)}; break;
    case tedLeft: UpdateRect = TRect{Clamp(w - highest), 0, Clamp(w - lowest), Clamp(h)}; break;
    case tedDown: UpdateRect = TRect{0, Clamp(lowest), Clamp(w), Clamp(highest)}; break;
    default: UpdateRect = TRect{0, Clamp(h - highest), Clamp(w), Clamp(h - lowest)}; break;
    }
}

} // namespace qvt
