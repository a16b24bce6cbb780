// The base of the mask-pattern effects. A pattern class knows a family of
// geometric patterns (Style, SubStyle); for a range of frames it paints the
// part of its pattern reached in them on a mask (PaintMask) and says which
// rectangle of the page changes. This class owns the masks, chooses the
// style and sub-style of a run, turns the mask into pixels of the arriving
// page on the work bitmap and reports the changed rectangles to
// UpdateScreen.
//
// Two mask modes:
// - hard: a 1-bit mask, every pixel shows one page or the other; 0 bits
//   (black) take the arriving page;
// - smoothing (SmoothingLevel 1 to 6 with the fast path on a display of 15
//   bits or more): an 8-bit grey mask weighting a mix of the two pages. A
//   pixel the pattern reaches starts almost white and darkens by a fixed
//   grey step every frame after, so the pattern's edge trails a soft band.
//
// A new pattern is one class: its style table (SetStyles in the
// constructor), CalcTotalFrames, PaintMask, and the mask options its
// painting needs (KeepRevealedMask, ClearMaskEachFrame, InvertedMask,
// NeedTwoSmoothMasks); it publishes the properties it supports (Reversed,
// Style before SubStyle, SmoothingLevel) through the getters and setters
// here.
#ifndef QVT_EFFECTS_TEMASKED_H
#define QVT_EFFECTS_TEMASKED_H

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/teTimed.h"
#include "pixels/MaskKernels.h"

namespace qvt {

// One pattern family: how many sub-styles it has and, for each sub-style s,
// the one that plays the same pattern backwards (Reversed[s - 1]; 0 means
// s itself).
struct TMaskStyle {
    uint16_t SubStyleCount = 1;
    std::array<uint16_t, 16> Reversed{};
};

class TMaskedTransition : public TTimedTransitionEffect {
public:
    explicit TMaskedTransition(TComponent *owner);
    ~TMaskedTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    // Silent setters: a refused value leaves the property as it is.
    // Style: refused when unchanged or above StyleCount; a change sets
    // SubStyle to 1 (to 0, random, with style 0, random).
    uint16_t GetStyle() const { return Style; }
    void SetStyle(uint16_t value);
    // SubStyle: refused when unchanged or above GetSubStyleCount(Style), so
    // the style must be set first.
    uint16_t GetSubStyle() const { return SubStyle; }
    void SetSubStyle(uint16_t value);
    // SmoothingLevel: 0 (hard edge) to 6.
    uint16_t GetSmoothingLevel() const { return SmoothingLevel; }
    void SetSmoothingLevel(uint16_t value);

    // The style and sub-style of the run: the stored ones, or the ones drawn
    // from the shared generator on first use in the run (kept until Finalize,
    // or over the next run too when it is a second pass). The sub-style is
    // passed through GetReversedSubStyle when Reversed.
    uint16_t StyleToUse() const;
    uint16_t SubStyleToUse() const;

    // Overrides of the pipeline's questions. Mask rows are whole 32-bit words
    // (hard) or whole groups of 8 pixels (smoothing), and the pages get the
    // same rounded width so that one pixel counter walks mask and page.
    int GetBitmapsWidth(int width) const override;
    TPixelFormat GetPixelFormat() const override;
    bool IsPlainEffect() const override { return false; }
    bool NeedWorkBitmap() const override { return true; }
    // Hard mode overwrites the captured departing page itself; smoothing
    // mixes both untouched pages anew every frame.
    bool WorkOnSrcImage() const override { return !UseSmoothing(); }
    std::string GetEditorName() const override { return "TMaskedTransitionEditor"; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // ---- What a pattern class provides ---------------------------------------

    // The sub-style that plays `subStyle` of `style` backwards (asked only
    // when Reversed). Base: from the style table, else unchanged.
    virtual uint16_t GetReversedSubStyle(uint16_t style, uint16_t subStyle) const;
    // The number of pattern frames for the page size and the style in use.
    virtual int CalcTotalFrames(TTETransitionData &data) = 0;
    // When `draw`, paints on `mask` with its canvas' pen and brush (set by
    // this class: black on the hard mask, the grey of the frames on the
    // smooth mask) the part of the pattern reached in frames
    // lastExecutedFrame + 1 .. currentFrame. When `calcUpdate`, sets
    // UpdateRect to the page rectangle those frames change, and optionally
    // ExcludeRect to an unchanged core inside it, or adds rectangles to
    // DirtyRects instead. totalFrames is MaskFrames in smoothing mode.
    virtual void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                           TTETransitionData &data, bool draw, bool calcUpdate) = 0;
    // Hard mode keeps a mask of the pixels revealed so far and reduces each
    // frame's mask to the new ones (for patterns painted as whole shapes).
    virtual bool KeepRevealedMask() const { return false; }
    // Hard mode whitens the frame's UpdateRect of the mask after the copy
    // (for patterns that paint each frame on a clean mask).
    virtual bool ClearMaskEachFrame() const { return false; }
    // PaintMask paints the part of the leaving page that still shows.
    virtual bool InvertedMask() const { return false; }
    // Smoothing alternates two masks and carries the faded values over (for
    // patterns whose PaintMask repaints the whole shape reached so far).
    // Never together with InvertedMask.
    virtual bool NeedTwoSmoothMasks() const { return false; }
    // Smoothing mode; must not change during a run.
    virtual bool UseSmoothing() const;
    // Sub-styles of a style: 0 for style 0 (random); from the style table,
    // 1 without one or for a style outside it.
    virtual uint16_t GetSubStyleCount(uint16_t style) const;

    // Fields in the original order.
    uint16_t Style = 1;
    uint16_t SubStyle = 1;
    // Drawn for the run when Style (SubStyle) is 0; 0 = not drawn yet.
    mutable uint16_t RandomStyle = 0;
    mutable uint16_t RandomSubStyle = 0;
    uint16_t SmoothingLevel = 0;
    // Smoothing mode: the run's graded blend routine.
    std::unique_ptr<TGradedBlendRoutine> GradedBlend;
    uint16_t StyleCount = 1;
    // Hard mode: the 1-bit mask and, with KeepRevealedMask, the mask of
    // pixels revealed so far (black where the arriving page is copied).
    std::unique_ptr<TBitmap> HardMask;
    std::unique_ptr<TBitmap> RevealedMask;
    // Smoothing mode: the grey mask (255 = leaving page, 0 = arriving page)
    // and, with NeedTwoSmoothMasks, the previous frame's one.
    std::unique_ptr<TBitmap> SmoothMask;
    std::unique_ptr<TBitmap> SecondSmoothMask;
    int32_t MaskFrames = 0;
    // Grey levels a reached pixel darkens per frame; the number of grey
    // levels it passes through (255 div GreyStep); its grey in the frame
    // that reaches it; its last grey before 0.
    int32_t GreyStep = 0;
    int32_t GreySteps = 0;
    int32_t TopGrey = 0;
    int32_t BottomGrey = 0;

    // The grey step of each smoothing level (index 0 unused).
    static constexpr std::array<int32_t, 7> kGreySteps{0, 31, 16, 8, 4, 3, 2};
    static constexpr uint16_t kMaxSmoothingLevel = 6;

protected:
    // Sets the styles of a pattern class (StyleCount is their number); the
    // table must outlive the object (a static one).
    void SetStyles(std::span<const TMaskStyle> styles);

private:
    void MaskPass(TTETransitionData &data, TBitmap &mask, TBitmap *revealed, int currentFrame, int step,
                  int totalFrames, int lastExecutedFrame, bool draw, bool calcUpdate, bool apply);
    void PaintSmoothFrames(TTETransitionData &data, int grey, int frame, int count);
    void SmoothingFrame(TTETransitionData &data, int currentFrame, int step, int lastExecutedFrame);
    void HardFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames, int lastExecutedFrame);
    void FreeMasks();

    std::span<const TMaskStyle> styles_;
};

// The class table of a pattern that smooths, with the properties it shares
// with the other smoothing patterns in their stored order (Reversed,
// SmoothingLevel, Style, SubStyle; Style before SubStyle, which its setter
// checks against the style). `maxStyle` and `maxSubStyle` are the ranges the
// catalogue states. The caller builds it.
template <class C>
rtl::DeclareClass<C, TMaskedTransition> DeclareSmoothingPattern(std::string name, int maxStyle, int maxSubStyle) {
    using M = TMaskedTransition;
    rtl::DeclareClass<C, M> d(std::move(name));
    d.Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
        .Default(false)
        .Property("SmoothingLevel", &M::GetSmoothingLevel, &M::SetSmoothingLevel)
        .Default(0)
        .Range(0, M::kMaxSmoothingLevel)
        .Property("Style", &M::GetStyle, &M::SetStyle)
        .Default(1)
        .Range(0, maxStyle)
        .Property("SubStyle", &M::GetSubStyle, &M::SetSubStyle)
        .Default(1)
        .Range(0, maxSubStyle);
    return d;
}

} // namespace qvt

#endif
