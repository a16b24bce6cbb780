// Push: the arriving page slides in from one edge while the departing page
// leaves at the other at the same speed, as if pushed off. One frame is one
// pixel of travel; each frame redraws the whole area with two copies,
// straight on the screen.
#ifndef QVT_EFFECTS_TEPUSH_H
#define QVT_EFFECTS_TEPUSH_H

#include "engine/teTimed.h"

namespace qvt {

class TPushTransition : public TTimedTransitionEffect {
public:
    explicit TPushTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Push"; }
    // Every frame shows part of the departing page.
    bool NeedSrcImage() const override { return SrcImageAvailable; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
};

} // namespace qvt

#endif
