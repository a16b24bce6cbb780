// Wipe: the arriving page is uncovered over the departing one by a moving
// edge. In the four straight directions the edge can be soft: a band in
// front of it mixes the pages by a random dither whose share of arriving
// pixels falls away from the edge, and whose noise moves every frame. The
// diagonal directions uncover a rectangle growing from a corner; tedIn and
// tedOut close in from the borders or open from the centre, with a hard edge.
#ifndef QVT_EFFECTS_TEWIPE_H
#define QVT_EFFECTS_TEWIPE_H

#include <memory>

#include "engine/teTimed.h"

namespace qvt {

class TWipeTransition : public TTimedTransitionEffect {
public:
    explicit TWipeTransition(TComponent *owner);
    ~TWipeTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Wipe"; }
    std::string GetEditorName() const override { return "TWipeTransitionEditor"; }
    bool IsPlainEffect() const override { return false; }
    // A band needs the departing page and composes in a work bitmap; a hard
    // edge draws straight on the screen.
    bool NeedSrcImage() const override { return BandWidthInUse() > 0; }
    bool NeedWorkBitmap() const override { return BandWidthInUse() > 0; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // The stored band width, read as 0 when the direction in use is not one
    // of the four straight ones. The setter stores any value.
    int32_t GetBandWidth() const;
    void SetBandWidth(int32_t value) { StoredBandWidth = value; }
    // The band a run draws: the width as read, negative widths taken as 0.
    int BandWidthInUse() const;

    // How much longer than the page the band pattern is, and the seed the
    // pattern is drawn from (the same pattern for the same size every time).
    static constexpr int kPatternSlack = 75;
    static constexpr uint32_t kPatternSeed = 1642000;

    int32_t StoredBandWidth = 50;
    // The direction in use the band pattern was built for.
    TTEEffectDirection BandDirection = tedRight;
    // The dither of the band, black where the arriving page shows: one line
    // per band column (or row), 75 pixels longer than the page so that each
    // frame samples it at a new offset. Kept from run to run.
    std::unique_ptr<TBitmap> BandPattern;
    // The band's part of each page, per run.
    std::unique_ptr<TBitmap> DepartingBand;
    std::unique_ptr<TBitmap> ArrivingBand;
    // The part uncovered by the latest frame (straight directions) or the
    // whole uncovered or still covered rectangle (the others).
    TRect Strip{0, 0, 0, 0};
    // Where the band is drawn this frame.
    TRect Band{0, 0, 0, 0};
    // Where the band pattern is sampled this frame.
    int32_t BandOffsetX = 0;
    int32_t BandOffsetY = 0;

private:
    void BuildBandPattern(TTEEffectDirection direction, int band, int width, int height);
    void DrawBand(TTETransitionData &data);
    // Band width of the current run (0: hard edge).
    int runBand_ = 0;
};

} // namespace qvt

#endif
