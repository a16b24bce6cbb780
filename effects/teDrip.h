// Drip: the arriving page is uncovered strip by strip from one edge, while
// all of the part not yet uncovered shows one line of the arriving page
// smeared across it, so that its colours seem to run ahead of the edge.
// Horizontal directions draw on the screen with stretched copies; vertical
// ones compose the frame in a work bitmap by copying scan lines.
#ifndef QVT_EFFECTS_TEDRIP_H
#define QVT_EFFECTS_TEDRIP_H

#include <cstdint>
#include <vector>

#include "engine/teTimed.h"

namespace qvt {

class TDripTransition : public TTimedTransitionEffect {
public:
    explicit TDripTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Drip"; }
    // The first frame covers the whole area: the departing page is not needed.
    bool NeedSrcImage() const override { return false; }
    bool NeedWorkBitmap() const override;
    bool AllowsTwoPasses() const override { return false; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // Per run: the start of every scan line of the work bitmap and of the
    // arriving page (vertical directions only), the target's stretch mode
    // before the run, the strip uncovered by the current frame and the part
    // not yet uncovered.
    std::vector<uint8_t *> WorkRows;
    std::vector<const uint8_t *> DstRows;
    int SavedStretchMode = 0;
    TRect StripRect{0, 0, 0, 0};
    TRect RestRect{0, 0, 0, 0};

private:
    size_t rowBytes_ = 0;
};

} // namespace qvt

#endif
