// Waterfall: the arriving page runs over the departing one like water.
// Every column (running down or up) or row (running right or left) of the
// page is a stream that advances from its starting edge by 0 to 3 times the
// frame step, at random, in every frame, so the front is ragged. The effect
// has one style and always works with the hard mask.
//
// A stream paints only its new stretch on the mask each frame; the screen
// update is the band between the slowest and the deepest stream that moved.
#ifndef QVT_EFFECTS_TEWFALL_H
#define QVT_EFFECTS_TEWFALL_H

#include <cstdint>
#include <vector>

#include "effects/teMasked.h"

namespace qvt {

class TWaterfallTransition : public TMaskedTransition {
public:
    explicit TWaterfallTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Waterfall"; }
    std::string GetEditorName() const override { return "TTransitionEffectEditor"; }

    // 80 % of the stream length, so most streams arrive before the last
    // frame; the driver's final copy completes the rest.
    int CalcTotalFrames(TTETransitionData &data) override;
    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void Finalize(TTETransitionData &data) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;
    // No smoothing level is published: the hard mask always.
    bool UseSmoothing() const override { return false; }

    // How far each stream has run from its starting edge, in pixels; one
    // entry per stream of the run. A stream whose depth has reached the
    // stream length is finished (its depth may lie beyond it). 32 bits, so
    // that pages taller or wider than 32767 pixels do not wrap.
    std::vector<int32_t> Depths;
};

} // namespace qvt

#endif
