// Interlaced: the arriving page appears one line of pixels per frame, the
// even and the odd lines in separate passes like an interlaced picture.
// Style 1 paints rows or columns (ten sub-styles: two fronts alternating
// from both ends, or one pass of even lines and one of odd lines in
// various directions); style 2 paints concentric rectangular rings, even
// rings from the outside in alternating with odd rings from the inside
// out. Both can be smoothed; the alternating sub-styles (1.1, 1.2 and
// style 2) then paint two lines per frame in half the frames.
//
// Style 1 leaves its lines black on the mask, so repeating them in later
// copies is harmless; style 2 paints each frame's rings on a clean mask.
#ifndef QVT_EFFECTS_TEINTRLC_H
#define QVT_EFFECTS_TEINTRLC_H

#include <cstdint>

#include "effects/teMasked.h"

namespace qvt {

class TInterlacedTransition : public TMaskedTransition {
public:
    explicit TInterlacedTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Interlaced"; }

    uint16_t GetSubStyleCount(uint16_t style) const override;
    uint16_t GetReversedSubStyle(uint16_t style, uint16_t subStyle) const override;
    bool ClearMaskEachFrame() const override { return StyleToUse() == 2; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    int CalcTotalFrames(TTETransitionData &data) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;

    // The line (row, column or ring) painted in pattern frame i (from 1) of
    // the run's style and sub-style, with the run's LastLine and HalfCount.
    // It can lie outside the page (a row -1, a ring that does not exist):
    // such a frame paints nothing and the driver's final copy shows the
    // line it misses.
    int64_t LineOfFrame(int64_t i) const;

    // Fields in the original order.
    // The start line of the fronts that run backwards (the last odd line,
    // or a middle ring for style 2), and the number of lines of the first
    // pass of sub-styles 3 to 10 (the number of even lines); set per run.
    int32_t LastLine = 0;
    int32_t HalfCount = 0;

private:
    void SetRunLines(const TTETransitionData &data);
};

} // namespace qvt

#endif
