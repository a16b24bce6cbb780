// Slide: one page moves across the area in a straight line while the other
// stays in place. By default the arriving page slides in over the departing
// one; with SlideOut the departing page slides away and uncovers the
// arriving page. Either page can be elastic: squeezed or stretched into the
// part of the area it holds at that moment instead of moving rigidly. All
// ten directions: the edges, the diagonals, towards and away from the centre.
//
// Frames are pixels of travel. Every frame is drawn straight on the screen
// and only what changes is drawn: the visible part of a moving page, the
// stretched page, or the strip of a stationary arriving page uncovered
// since the previous frame.
#ifndef QVT_EFFECTS_TESLIDE_H
#define QVT_EFFECTS_TESLIDE_H

#include "engine/teTimed.h"

namespace qvt {

class TSlideTransition : public TTimedTransitionEffect {
public:
    explicit TSlideTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Slide"; }
    std::string GetEditorName() const override { return "TSlideTransitionEditor"; }
    bool NeedSrcImage() const override { return true; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // The flags as a run uses them: reversing swaps the roles of the two
    // elastic flags and turns a slide-in into a slide-out and back.
    bool UseElasticDst() const { return Reversed ? ElasticSrc : ElasticDst; }
    bool UseElasticSrc() const { return Reversed ? ElasticDst : ElasticSrc; }
    bool UseSlideOut() const { return SlideOut != Reversed; }

    // The drawing case (1 .. 46) of a direction and the flags in use.
    static int32_t SlideCaseOf(TTEEffectDirection direction, bool slideOut, bool elasticDst, bool elasticSrc);

    // Published.
    bool ElasticSrc = false;
    bool ElasticDst = false;
    bool SlideOut = false;

    // Per run: the drawing case, the band, corner or rest rectangle the
    // previous frame reached, and the target's stretch mode before the run.
    int32_t SlideCase = 0;
    TRect SlideRect{0, 0, 0, 0};
    int SavedStretchMode = 0;
};

} // namespace qvt

#endif
