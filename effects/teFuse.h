// Fuse: the arriving page dissolves into the departing one through an 8 x 8
// on/off pattern that tiles the page. Each frame switches more pattern
// pixels on, and every page pixel whose pattern pixel is on shows the
// arriving page. Thirteen styles give the order in which the pattern fills:
// the dither order, lines from each side, a square growing from a corner, a
// spiral and the two diagonals; each but the first has a reversed twin.
// Works on every display depth, through the same pattern brush as the
// blend's dithered mix.
#ifndef QVT_EFFECTS_TEFUSE_H
#define QVT_EFFECTS_TEFUSE_H

#include <array>
#include <cstdint>
#include <memory>

#include "engine/teTimed.h"
#include "pixels/Blend.h"

namespace qvt {

class TFuseTransition : public TTimedTransitionEffect {
public:
    explicit TFuseTransition(TComponent *owner);
    ~TFuseTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Fuse"; }
    std::string GetEditorName() const override { return "TFuseTransitionEditor"; }
    bool IsPlainEffect() const override { return false; }
    bool NeedWorkBitmap() const override { return true; }
    // Frames are composed on the captured departing page itself.
    bool WorkOnSrcImage() const override { return true; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // Stores a style only when it differs and is at most StyleCount (0 is
    // the random style); anything else is ignored.
    uint16_t GetStyle() const { return Style; }
    void SetStyle(uint16_t value);

    // The style a run draws: Style, or the run's random style when Style is
    // 0 (drawn from the shared generator on first use), then exchanged with
    // its twin when Reversed.
    int StyleToUse();
    // Number of elements (and so of frames) of a style: 64 or 8.
    static int ElementCount(int style);
    // The pattern pixels of element k (1 .. ElementCount) of a style, bit
    // y * 8 + x for the pixel at column x, row y. 0 outside the ranges.
    static uint64_t ElementCells(int style, int k);

    // The spiral order of styles 8 and 9: entry n - 1 is the cell switched
    // at step n, from the centre outward.
    static const std::array<DitherCell, 64> kSpiralOrder;

    static constexpr uint16_t StyleCount = 13;
    uint16_t Style = 1;
    // The style drawn for the current run when Style is 0; 0 = not drawn yet.
    uint16_t RandomStyle = 0;
    // Black where the arriving page shows; starts all white. Per run.
    std::unique_ptr<TBitmap> Pattern;
};

} // namespace qvt

#endif
