// Alpha blend: the departing page fades into the arriving page. True-colour
// displays mix arithmetically; palette displays mix by an ordered dither
// whose 8 x 8 pattern fills up cell by cell.
#ifndef QVT_EFFECTS_TEBLEND_H
#define QVT_EFFECTS_TEBLEND_H

#include <memory>

#include "engine/teTimed.h"

namespace qvt {

class TBlendTransition : public TTimedTransitionEffect {
public:
    explicit TBlendTransition(TComponent *owner);
    ~TBlendTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    TPixelFormat GetPixelFormat() const override;
    bool IsPlainEffect() const override { return false; }
    bool NeedWorkBitmap() const override { return true; }
    bool WorkOnSrcImage() const override { return !IsTrueColorDisplay(false); }
    std::string GetDescription() const override { return "Alpha blend"; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // The dither pattern of a run on a palette display.
    std::unique_ptr<TBitmap> DitherPattern;
    // Share (0..100) of 32-bit words equal in the two pages.
    int32_t EqualPercent = 0;
};

} // namespace qvt

#endif
