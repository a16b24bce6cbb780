// Bitmap mask: the arriving page appears in the order a grey-scale picture
// gives, stretched to the page: pixels under white parts first, under black
// parts last, each grey level at its own frame. With a smoothing level each
// level fades in over a window of frames instead of switching at once.
#ifndef QVT_EFFECTS_TEBMPMSK_H
#define QVT_EFFECTS_TEBMPMSK_H

#include <memory>

#include "engine/teTimed.h"
#include "pixels/MaskKernels.h"

namespace qvt {

class TBmpMaskTransition : public TTimedTransitionEffect {
public:
    explicit TBmpMaskTransition(TComponent *owner);
    ~TBmpMaskTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Bitmap mask"; }
    std::string GetEditorName() const override { return "TBmpMaskTransitionEditor"; }
    TPixelFormat GetPixelFormat() const override;
    int GetBitmapsWidth(int width) const override;
    bool IsPlainEffect() const override { return false; }
    bool NeedWorkBitmap() const override { return true; }
    // A hard switch copies arriving pixels into the captured departing page.
    bool WorkOnSrcImage() const override { return !UseSmoothing(); }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // Fading needs the fast path and a true-colour display; otherwise the
    // levels switch at once.
    bool UseSmoothing() const;
    // The frames over which one grey level fades in: 8 << (level - 1) for
    // levels 1 to 5, 0 for level 0.
    static int FadeWindow(int smoothingLevel);

    // The mask picture, owned by the effect. Setting copies the picture (null
    // or an empty one empties the mask); a non-empty picture of another
    // format than 8 bits per pixel is refused and the mask kept.
    TBitmap *GetMask() const { return Mask.get(); }
    void SetMask(TBitmap *value);
    uint16_t GetSmoothingLevel() const { return SmoothingLevel; }
    // Levels above 5 are ignored.
    void SetSmoothingLevel(uint16_t value);

    static constexpr int kMaxSmoothingLevel = 5;

    std::unique_ptr<TBitmap> Mask;
    uint16_t SmoothingLevel = 0;
    // Per run, smoothing only: the routines for thresholds at or above 0 and
    // below it.
    std::unique_ptr<TWindowBlendRoutine> SubtractRoutine;
    std::unique_ptr<TWindowBlendRoutine> AddRoutine;
    // Per run: the mask stretched to the page, one byte per pixel of the
    // page's bitmaps, so that one counter walks both.
    std::unique_ptr<TBitmap> StretchedMask;
};

} // namespace qvt

#endif
