// Blocks: the page is cut into a grid of rectangular blocks and the arriving
// page is revealed block by block, in one of seventeen orders (random, line
// scans, snakes, spirals), optionally from both ends of the order at once
// (Dual) and optionally with jigsaw-shaped blocks (Puzzle). Always a hard
// 1-bit mask. A frame that reveals few blocks copies them straight from the
// arriving page to the screen; a bigger one goes through the mask and the
// work bitmap.
#ifndef QVT_EFFECTS_TEBLOCK_H
#define QVT_EFFECTS_TEBLOCK_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/teMasked.h"

namespace qvt {

// A block of the grid, row and column counted from 1.
struct TBlockPos {
    int32_t Row = 0;
    int32_t Col = 0;
    bool operator==(const TBlockPos &) const = default;
};

class TBlockTransition : public TMaskedTransition {
public:
    explicit TBlockTransition(TComponent *owner);
    ~TBlockTransition() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetDescription() const override { return "Blocks"; }
    std::string GetEditorName() const override { return "TBlockTransitionEditor"; }
    // Blocks have hard edges only.
    bool UseSmoothing() const override { return false; }

    // Of each pair, a non-zero Cols (Rows) wins; otherwise BlockWidth
    // (BlockHeight) applies. Setting one clears the other; values of 0 or
    // less are stored as 1. BlockWidth (BlockHeight) ignores its current
    // value.
    int32_t GetBlockWidth() const { return BlockWidth; }
    void SetBlockWidth(int32_t value);
    int32_t GetBlockHeight() const { return BlockHeight; }
    void SetBlockHeight(int32_t value);
    int32_t GetCols() const { return Cols; }
    void SetCols(int32_t value);
    int32_t GetRows() const { return Rows; }
    void SetRows(int32_t value);
    bool GetDual() const { return Dual; }
    void SetDual(bool value) { Dual = value; }
    bool GetPuzzle() const { return Puzzle; }
    void SetPuzzle(bool value) { Puzzle = value; }

    void Initialize(TTETransitionData &data, int &totalFrames) override;
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override;
    void Finalize(TTETransitionData &data) override;
    int CalcTotalFrames(TTETransitionData &data) override;
    void PaintMask(TBitmap &mask, int currentFrame, int step, int totalFrames, int lastExecutedFrame,
                   TTETransitionData &data, bool draw, bool calcUpdate) override;

    // The block drawn as block number i (1 .. n) of the run, Dual included.
    TBlockPos BlockAt(int64_t i) const;
    // The page rectangle of a block, and the rectangle its puzzle piece
    // covers (the block widened by the knob size on its two knob sides,
    // except on the page edge).
    TRect BlockRect(TBlockPos b) const;
    TRect ExtendedRect(TBlockPos b) const;

    // A frame of at most this many frames' worth of blocks (and no puzzle)
    // draws straight on the screen.
    static constexpr int kMaxScreenStep = 100;
    // Up to this many blocks a frame are reported as dirty rectangles.
    static constexpr int kMaxDirtyBlocks = 650;
    // The smallest puzzle block, where the page allows it.
    static constexpr int kMinPuzzleBlock = 15;

    // Fields in the original order.
    // Maps a block position of the order (1 .. n) to its block.
    TBlockPos (TBlockTransition::*OrderRoutine)(int64_t position) const = nullptr;
    bool Puzzle = false;
    int32_t Cols = 0;
    int32_t Rows = 0;
    int32_t BlockHeight = 50;
    int32_t BlockWidth = 50;
    // Diameter of a puzzle knob in the run.
    int32_t KnobSize = 0;
    // The run's grid has one block per pixel.
    bool OnePixelBlocks = false;
    // The run's order for the random and spiral styles: entry k - 1 is the
    // k-th block.
    std::vector<TBlockPos> OrderList;
    // The run's puzzle pieces: vertical-knob pieces (blocks whose row plus
    // column is even) at 0 .. 3, horizontal-knob ones at 4 .. 7; within each,
    // bodies of N x M, (N + 1) x M, N x (M + 1) and (N + 1) x (M + 1).
    std::array<std::unique_ptr<TBitmap>, 8> Pieces;
    bool Dual = false;
    // The grid of the run (kept after it).
    int32_t GridCols = 0;
    int32_t GridRows = 0;

private:
    TBlockPos ListOrder(int64_t position) const;
    TBlockPos ReversedListOrder(int64_t position) const;
    TBlockPos RowsDown(int64_t position) const;
    TBlockPos RowsUp(int64_t position) const;
    TBlockPos ColumnsRight(int64_t position) const;
    TBlockPos ColumnsLeft(int64_t position) const;
    TBlockPos SnakeRows(int64_t position) const;
    TBlockPos SnakeColumns(int64_t position) const;

    void ChooseOrder(uint16_t style, uint16_t subStyle);
    void BuildOrderList(uint16_t style, uint16_t subStyle);
    void BuildPieces();
    void StampPiece(TBitmap &mask, TBlockPos b, const TRect &page);
    void FreeRun();

    uint16_t RunStyle() const;
    int64_t Blocks() const { return int64_t{GridCols} * GridRows; }

    // The style of the run (1 .. 4), whether the order routine is read
    // backwards (the even sub-styles of styles 2 and 3 without Dual), and
    // whether Dual applies.
    uint16_t runStyle_ = 1;
    bool backwards_ = false;
    bool dual_ = false;
    // Page coordinates of the grid lines: column c spans colEdges_[c - 1] ..
    // colEdges_[c], row r rowEdges_[r - 1] .. rowEdges_[r].
    std::vector<int> colEdges_, rowEdges_;
};

} // namespace qvt

#endif
