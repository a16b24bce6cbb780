// Circle: the arriving page shows through a circle growing from a centre
// point, or the departing page hides inside a circle shrinking towards one.
// Three styles of centre: the middle of the page (1: 1 grows, 2 shrinks),
// a corner (2: 1 top-left, 2 bottom-right, 3 bottom-left, 4 top-right
// grow; 5 to 8 shrink into the same corners) and the middle of an edge (3:
// 1 left, 2 right, 3 top, 4 bottom grow; 5 to 8 shrink into them).
//
// Frames are radii in pixels. Each frame paints the whole disc of its
// radius on the mask; the hard mode keeps the pixels already revealed, so
// only the new ring is copied. The square inscribed in the circle the
// previous frame reached (growing) or in the circle still showing the
// departing page (shrinking) is excluded, so only the band around the
// circle's edge is processed.
#ifndef QVT_EFFECTS_TECIRCLE_H
#define QVT_EFFECTS_TECIRCLE_H

#include <cstdint>
#include <vector>

#include "effects/teMasked.h"

namespace qvt {

class TCircleTransition : public TMaskedTransition {
public:
    explicit TCircleTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Circle"; }

    int CalcTotalFrames(TTETransitionData &data) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;
    // A disc painted whole every frame: the hard mode reduces it to the
    // ring that is new.
    bool KeepRevealedMask() const override { return true; }
    // The shrinking sub-styles paint the part of the departing page that
    // still shows.
    bool InvertedMask() const override { return IsShrinking(StyleToUse(), SubStyleToUse()); }
    bool NeedTwoSmoothMasks() const override { return !InvertedMask(); }

    // Whether a sub-style shrinks: 1.2, and 5 to 8 of styles 2 and 3.
    static bool IsShrinking(uint16_t style, uint16_t subStyle);
    // The square inside the circle of `radius` around (x, y), one pixel
    // smaller than the largest that fits; empty for the smallest radii.
    static TRect InscribedSquare(int64_t x, int64_t y, int64_t radius);
    // Rectangles whose union covers most of the inside of the circle of
    // `radius` around (x, y) (a staircase of kInsideSteps per quadrant),
    // all of them inside it; none for the smallest radii.
    static std::vector<TRect> InsideOfCircle(int64_t x, int64_t y, int64_t radius);
    static constexpr int kInsideSteps = 7;
};

} // namespace qvt

#endif
