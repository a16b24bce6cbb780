// Roll: a page rolled like a sheet of paper. With Unroll (the default) the
// arriving page unrolls over the departing one: a roll of Size pixels
// travels from one edge to the other and leaves the arriving page lying flat
// behind it. Without Unroll the departing page rolls itself up: the roll
// grows from the edge to Size pixels, travels across and uncovers the
// arriving page. The roll shows the part of its page beyond it, mirrored;
// on displays of 15 bits or more it is shaded like a lit cylinder, dark at
// both rims and bright along the middle.
//
// Frames are pixels of travel. Every frame is drawn on the work bitmap: the
// roll strip from a mirrored copy of the rolling page, the strip that has
// become flat from the arriving page, then the shading on the roll.
#ifndef QVT_EFFECTS_TEROLL_H
#define QVT_EFFECTS_TEROLL_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/teTimed.h"

namespace qvt {

class TRollTransition : public TTimedTransitionEffect {
public:
    explicit TRollTransition(TComponent *owner);
    ~TRollTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Roll"; }
    std::string GetEditorName() const override { return "TRollTransitionEditor"; }
    // Shaded runs walk whole pixel pairs of 32-bit rows: the width is then
    // rounded up to a multiple of 8 pixels.
    int GetBitmapsWidth(int width) const override;
    TPixelFormat GetPixelFormat() const override;
    bool NeedWorkBitmap() const override { return true; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;

    // Shading is on when asked for, the fast path may be used and the
    // display has 15 bits per pixel or more.
    bool Use3DActive() const;
    // Reversing turns an unroll into a roll-up and back.
    bool UnrollActive() const { return Unroll != Reversed; }

    // Fills entries 0 .. s + 1 of ShadeTable (which must hold that many) with
    // the cylinder's brightness profile for a roll s pixels thick.
    void BuildShadeTable(int s);
    // The signed brightness offset of table entry i.
    int ShadeOffset(int i) const { return static_cast<int8_t>(ShadeTable[static_cast<size_t>(i)] & 0xFF); }

    // Published.
    int32_t Size = 60;
    bool Unroll = true;
    bool Use3D = true;

    // Per run: the strip the roll covers in the current frame, the strip of
    // the arriving page that has become flat (or been uncovered) in it, the
    // rolling page mirrored across the direction of travel, and the shading
    // table (each entry one signed byte repeated four times) with the
    // thickness it was last built for (0: not built).
    TRect FlatRect{0, 0, 0, 0};
    TRect RollRect{0, 0, 0, 0};
    std::unique_ptr<TBitmap> MirrorImage;
    std::vector<uint32_t> ShadeTable;
    int ShadeTableSize = 0;

private:
    void ShadeRoll(TTETransitionData &data, int s);

    // The roll's thickness in this run: Size, at least 1 and at most the
    // run's frame count (a thicker roll shows the same frames).
    int size_ = 1;
    // Whether this run shades the roll (decided with the work bitmap).
    bool shade_ = false;
    // The shading of each pixel pair of a row, for horizontal travel: the
    // bytes to add, then the bytes to subtract, of every pair.
    std::vector<uint64_t> rowShades_;
};

} // namespace qvt

#endif
