// Diagonal: 45-degree lines one pixel wide sweep across the page, one line
// a frame. Style 1 runs one front from a corner to the opposite one (1
// falling lines from the top-left, 2 from the bottom-right; 3 rising lines
// from the bottom-left, 4 from the top-right). Style 2 runs two fronts from
// opposite corners that meet on the middle diagonal (1 falling lines, 2
// rising lines) or leave it (3 and 4). Only style 1 smooths.
//
// Falling line k holds the pixels with x + y = k - 1, rising line k those
// with y - x = H - k; there are W + H - 1 of each. A frame reports its
// change as a chain of small rectangles along its lines, so the screen
// update is a thin band rather than the bounding box of a diagonal.
#ifndef QVT_EFFECTS_TEDIAGON_H
#define QVT_EFFECTS_TEDIAGON_H

#include <cstdint>

#include "effects/teMasked.h"

namespace qvt {

class TDiagonalTransition : public TMaskedTransition {
public:
    explicit TDiagonalTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Diagonal"; }

    int CalcTotalFrames(TTETransitionData &data) override;
    bool UseSmoothing() const override { return StyleToUse() == 1 && TMaskedTransition::UseSmoothing(); }
    // The hard mode paints each frame's lines on a clean mask; with a
    // smoothing level on a display that runs hard, the lines painted before
    // stay black and are copied again, which changes nothing.
    bool ClearMaskEachFrame() const override { return SmoothingLevel == 0; }
    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;

private:
    // Lines c - s + 1 .. c of one direction in increasing order.
    void FallingSweep(TBitmap &mask, int64_t c, int64_t s, const TTETransitionData &data, bool draw, bool calcUpdate);
    void RisingSweep(TBitmap &mask, int64_t c, int64_t s, const TTETransitionData &data, bool draw, bool calcUpdate);
    // Lines of one direction, increasing or decreasing, for sub-styles
    // 1.1 to 1.4 (`sub` picks the direction and order).
    void Sweep(TBitmap &mask, int sub, int64_t c, int64_t s, const TTETransitionData &data, bool draw,
               bool calcUpdate);
};

} // namespace qvt

#endif
