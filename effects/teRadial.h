// Radial: hands turn around a pivot like the hands of a clock and uncover
// the arriving page wedge by wedge. The pivot is the centre of the page
// (styles 1 to 3: one, two or four hands), the middle of a side (4: one
// hand, 5: two) or a corner (6: one hand, 7: two); the sub-styles pick the
// pivot, the starting direction and the sense of rotation.
//
// The hands point at the positions of a ring one pixel outside the page,
// worked out on odd sizes (an even width or height is widened by one), so
// that the centre is a pixel and the ring's length is a multiple of 4. A
// frame paints, for each hand, the wedge between its previous and its new
// position (a line when it moves one position) and reports each wedge's
// bounding box on its own, so hands on opposite sides of the page give two
// small rectangles. In the hard mode each frame's wedges go on a clean mask.
#ifndef QVT_EFFECTS_TERADIAL_H
#define QVT_EFFECTS_TERADIAL_H

#include <array>
#include <cstdint>

#include "effects/teMasked.h"

namespace qvt {

class TRadialTransition : public TMaskedTransition {
public:
    explicit TRadialTransition(TComponent *owner);
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Radial"; }

    bool ClearMaskEachFrame() const override { return !UseSmoothing(); }
    bool NeedTwoSmoothMasks() const override { return true; }
    void Initialize(TTETransitionData &data, int &totalFrames) override;
    int CalcTotalFrames(TTETransitionData &data) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;

    // The hands. C12 to C9 turn around the centre and start pointing up,
    // right, down and left; L, R, T and B around the middle of the left,
    // right, top and bottom side; KTL to KBR around a corner.
    enum THand { C12, C3, C6, C9, L, R, T, B, KTL, KTR, KBL, KBR };
    enum TCorner { TopLeft, TopRight, BottomRight, BottomLeft };

    // The run's geometry, set by Initialize (the ring length by
    // CalcTotalFrames). Widths and heights are the odd ones.
    int64_t OddWidth = 1, OddHeight = 1;
    int64_t CentreX = 0, CentreY = 0;
    int64_t RingLength = 0;
    // Ring positions of the corners, clockwise from the top-left one (1).
    std::array<int64_t, 4> CornerPositions{};
    std::array<bool, 4> CornerEnabled{true, true, true, true};

    struct TRingPoint {
        int64_t X, Y;
    };
    // The point of ring position p (1 .. RingLength; others are taken
    // round the ring).
    TRingPoint RingPoint(int64_t p) const;
    // The ring position hand `h` points at in its frame k.
    int64_t HandEnd(THand h, int64_t k) const;
    TRingPoint Pivot(THand h) const;
    // Sets the odd sizes, the centre, the ring and the corners for a page,
    // and which corners the style in use passes.
    void SetGeometry(int64_t width, int64_t height);

private:
    // The wedge of `count` ring positions ending at `endPos`, seen from
    // `pivot`.
    void PaintWedge(TRingPoint pivot, int64_t count, int64_t endPos);
    // Hand h (turning backwards when `back`) at its frame k with count n.
    void Hand(THand h, bool back, int64_t k, int64_t n);
    struct THandCall {
        THand hand;
        bool back;
    };
    // The alternating scheme: odd frames go to hand A, even ones to hand B,
    // whose frame is moved on by `offsetB`.
    void Alternate(int64_t c, int64_t s, THandCall a, THandCall b, int64_t offsetB);
    // The routine of a sub-style at frame c with step s.
    void Routine(uint16_t style, uint16_t sub, int64_t c, int64_t s);
    void CentreRoutine(uint16_t style, uint16_t sub, int64_t c, int64_t s);
    void SideRoutine(uint16_t sub, int64_t c, int64_t s);
    void CornerRoutine(uint16_t sub, int64_t c, int64_t s);

    // Painting state of one PaintMask call.
    TBitmap *mask_ = nullptr;
    bool draw_ = false, calcUpdate_ = false, smooth_ = false;
};

} // namespace qvt

#endif
