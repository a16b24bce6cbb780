// Blocks.
#include "effects/teBlock.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/teRandom.h"

namespace qvt {

namespace {

// The styles: random; eight line scans; four snakes; four spirals. Each
// even sub-style of 2 to 4 plays the odd one before it backwards.
constexpr TMaskStyle kBlockStyles[] = {
    {1, {}},
    {8, {2, 1, 4, 3, 6, 5, 8, 7}},
    {4, {2, 1, 4, 3}},
    {4, {2, 1, 4, 3}},
};

// round(x), halves to even, in extended precision.
int64_t RoundHalfEven(long double x) { return std::llrint(x); }

const TRect kEmpty{0, 0, 0, 0};

// The bits of a 1-bit mask, written directly: the same as filling through
// the canvas, without a graphics call per block.
class MaskBits {
public:
    explicit MaskBits(TBitmap &mask)
        : top_(static_cast<uint8_t *>(mask.ScanLine(0))), stride_(BytesPerScanLine(mask, pf1bit, 32)) {}

    // Columns r.left .. r.right - 1 of rows r.top .. r.bottom - 1, inside
    // the mask, set white (1) or black (0).
    void Fill(const TRect &r, bool white) {
        if (r.right <= r.left || r.bottom <= r.top) return;
        const int firstByte = r.left >> 3, lastByte = (r.right - 1) >> 3;
        const uint8_t head = static_cast<uint8_t>(0xFF >> (r.left & 7));
        const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - ((r.right - 1) & 7)));
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t *row = Row(y);
            if (firstByte == lastByte) {
                Apply(row[firstByte], static_cast<uint8_t>(head & tail), white);
                continue;
            }
            Apply(row[firstByte], head, white);
            if (lastByte - firstByte > 1) std::memset(row + firstByte + 1, white ? 0xFF : 0x00, lastByte - firstByte - 1);
            Apply(row[lastByte], tail, white);
        }
    }
    void ClearPixel(int x, int y) { Row(y)[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7))); }

private:
    static void Apply(uint8_t &byte, uint8_t bits, bool white) {
        byte = white ? static_cast<uint8_t>(byte | bits) : static_cast<uint8_t>(byte & ~bits);
    }
    // Rows of the bottom-up bitmap lie downwards in memory.
    uint8_t *Row(int y) { return top_ - static_cast<ptrdiff_t>(y) * stride_; }

    uint8_t *top_;
    ptrdiff_t stride_;
};

void Unite(TRect &into, const TRect &r) {
    if (IsRectEmpty(&into))
        into = r;
    else if (!IsRectEmpty(&r))
        UnionRect(&into, &into, &r);
}

// The number of blocks across an extent: the requested count, or the extent
// over the requested block size; at least one; puzzle blocks at least 15
// pixels where the extent allows; never finer than one block per pixel.
int32_t GridCount(int32_t requested, int32_t blockSize, int extent, bool puzzle) {
    int64_t n = requested;
    if (n == 0)
        n = RoundHalfEven(static_cast<long double>(extent) / std::max<int32_t>(blockSize, 1));
    if (n < 1) n = 1;
    if (puzzle && extent / n < TBlockTransition::kMinPuzzleBlock)
        n = std::max<int64_t>(1, extent / TBlockTransition::kMinPuzzleBlock);
    if (extent < n) n = extent;
    return static_cast<int32_t>(n);
}

// Grid lines of `count` blocks over `extent`: 0, round(extent / count * i)
// for the lines between, extent.
std::vector<int> GridLines(int extent, int count) {
    std::vector<int> lines(static_cast<size_t>(count) + 1);
    const long double size = static_cast<long double>(extent) / count;
    for (int i = 1; i < count; ++i) lines[static_cast<size_t>(i)] = static_cast<int>(RoundHalfEven(size * i));
    lines[0] = 0;
    lines[static_cast<size_t>(count)] = extent;
    return lines;
}

void FillWith(TCanvas &canvas, TColor colour, const TRect &r) {
    canvas.Brush().SetColor(colour);
    canvas.FillRect(r);
}

void EllipseWith(TCanvas &canvas, TColor colour, int l, int t, int r, int b) {
    canvas.Pen().SetColor(colour);
    canvas.Brush().SetColor(colour);
    canvas.Ellipse(l, t, r, b);
}

// A puzzle piece with knobs at the top and bottom and sockets in the left
// and right sides (vertical), or turned by a quarter (horizontal): the body
// of w x h plus k on each knob side, black on white.
std::unique_ptr<TBitmap> MakePiece(int w, int h, int k, bool vertical) {
    auto piece = std::make_unique<TBitmap>();
    const int pw = vertical ? w : w + 2 * k, ph = vertical ? h + 2 * k : h;
    SetupBitmap(*piece, nullptr, pw, pf1bit, ph);
    TCanvas &c = piece->Canvas();
    const TRect all{0, 0, pw, ph};
    FillRect(c.Handle(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int half = k / 2;
    if (vertical) {
        const int x0 = (pw - k) / 2, y0 = (ph - k) / 2;
        // Knobs at the top and bottom, joined to the body by half their box.
        EllipseWith(c, rtl::clBlack, x0, 0, x0 + k, k);
        FillWith(c, rtl::clBlack, TRect{x0, half, x0 + k, k});
        FillWith(c, rtl::clBlack, TRect{0, k, pw, ph - k});
        EllipseWith(c, rtl::clBlack, x0, ph - k, x0 + k, ph);
        FillWith(c, rtl::clBlack, TRect{x0, ph - k, x0 + k, ph - half});
        // Sockets cut into the left and right sides.
        EllipseWith(c, rtl::clWhite, 0, y0, k, y0 + k);
        FillWith(c, rtl::clWhite, TRect{0, y0, half, y0 + k});
        EllipseWith(c, rtl::clWhite, pw - k, y0, pw, y0 + k);
        FillWith(c, rtl::clWhite, TRect{pw - half, y0, pw, y0 + k});
    } else {
        const int x0 = (pw - k) / 2, y0 = (ph - k) / 2;
        EllipseWith(c, rtl::clBlack, 0, y0, k, y0 + k);
        FillWith(c, rtl::clBlack, TRect{half, y0, k, y0 + k});
        FillWith(c, rtl::clBlack, TRect{k, 0, pw - k, ph});
        EllipseWith(c, rtl::clBlack, pw - k, y0, pw, y0 + k);
        FillWith(c, rtl::clBlack, TRect{pw - k, y0, pw - half, y0 + k});
        EllipseWith(c, rtl::clWhite, x0, 0, x0 + k, k);
        FillWith(c, rtl::clWhite, TRect{x0, 0, x0 + k, half});
        EllipseWith(c, rtl::clWhite, x0, ph - k, x0 + k, ph);
        FillWith(c, rtl::clWhite, TRect{x0, ph - half, x0 + k, ph});
    }
    return piece;
}

} // namespace

TBlockTransition::TBlockTransition(TComponent *owner) : TMaskedTransition(owner) { SetStyles(kBlockStyles); }

TBlockTransition::~TBlockTransition() = default;

const rtl::TClassInfo &TBlockTransition::StaticClassInfo() {
    using B = TBlockTransition;
    using M = TMaskedTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<B, M>("TBlockTransition")
            .Property("BlockHeight", &B::GetBlockHeight, &B::SetBlockHeight)
            .Default(50)
            .Property("BlockWidth", &B::GetBlockWidth, &B::SetBlockWidth)
            .Default(50)
            .Property("Cols", &B::GetCols, &B::SetCols)
            .Default(0)
            .Property("Dual", &B::GetDual, &B::SetDual)
            .Default(false)
            .Property("Puzzle", &B::GetPuzzle, &B::SetPuzzle)
            .Default(false)
            .Property("Rows", &B::GetRows, &B::SetRows)
            .Default(0)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Property("Style", &M::GetStyle, &M::SetStyle)
            .Default(1)
            .Property("SubStyle", &M::GetSubStyle, &M::SetSubStyle)
            .Default(1)
            .Build();
    return info;
}

void TBlockTransition::SetBlockWidth(int32_t value) {
    if (value == BlockWidth) return;
    BlockWidth = std::max(value, 1);
    Cols = 0;
}

void TBlockTransition::SetBlockHeight(int32_t value) {
    if (value == BlockHeight) return;
    BlockHeight = std::max(value, 1);
    Rows = 0;
}

void TBlockTransition::SetCols(int32_t value) {
    Cols = std::max(value, 1);
    BlockWidth = 0;
}

void TBlockTransition::SetRows(int32_t value) {
    Rows = std::max(value, 1);
    BlockHeight = 0;
}

// Styles other than 2 to 4 (only a field written directly holds one) run
// as the random style.
uint16_t TBlockTransition::RunStyle() const {
    const uint16_t style = StyleToUse();
    return style >= 2 && style <= 4 ? style : 1;
}

int TBlockTransition::CalcTotalFrames(TTETransitionData &) {
    int64_t n = Blocks();
    if (Dual && RunStyle() != 1) n = (n + 1) / 2;
    return static_cast<int>(std::min<int64_t>(n, INT_MAX));
}

// ---- Orders ------------------------------------------------------------------

TBlockPos TBlockTransition::ListOrder(int64_t position) const { return OrderList[static_cast<size_t>(position - 1)]; }

TBlockPos TBlockTransition::ReversedListOrder(int64_t position) const {
    return OrderList[static_cast<size_t>(Blocks() - position)];
}

TBlockPos TBlockTransition::RowsDown(int64_t position) const {
    return {static_cast<int32_t>((position - 1) / GridCols + 1), static_cast<int32_t>((position - 1) % GridCols + 1)};
}

TBlockPos TBlockTransition::RowsUp(int64_t position) const {
    return {static_cast<int32_t>(GridRows - (position - 1) / GridCols), static_cast<int32_t>((position - 1) % GridCols + 1)};
}

TBlockPos TBlockTransition::ColumnsRight(int64_t position) const {
    return {static_cast<int32_t>((position - 1) % GridRows + 1), static_cast<int32_t>((position - 1) / GridRows + 1)};
}

TBlockPos TBlockTransition::ColumnsLeft(int64_t position) const {
    return {static_cast<int32_t>((position - 1) % GridRows + 1), static_cast<int32_t>(GridCols - (position - 1) / GridRows)};
}

TBlockPos TBlockTransition::SnakeRows(int64_t position) const {
    const auto row = static_cast<int32_t>((position - 1) / GridCols + 1);
    const auto along = static_cast<int32_t>((position - 1) % GridCols);
    return {row, row % 2 == 1 ? along + 1 : GridCols - along};
}

TBlockPos TBlockTransition::SnakeColumns(int64_t position) const {
    const auto col = static_cast<int32_t>((position - 1) / GridRows + 1);
    const auto along = static_cast<int32_t>((position - 1) % GridRows);
    return {col % 2 == 1 ? along + 1 : GridRows - along, col};
}

TBlockPos TBlockTransition::BlockAt(int64_t i) const {
    const int64_t n = Blocks();
    int64_t position = i;
    // Dual: odd block numbers from the front of the order, even ones from
    // its back.
    if (dual_) position = i % 2 == 1 ? i / 2 + 1 : n - i / 2 + 1;
    if (backwards_) position = n - position + 1;
    return (this->*OrderRoutine)(position);
}

// Style 1: the random list. The even sub-styles of
// styles 2 and 3 read the odd one before them backwards, except with Dual,
// where both ends are used anyway; the reversed spirals keep their own list.
void TBlockTransition::ChooseOrder(uint16_t style, uint16_t subStyle) {
    runStyle_ = style;
    const int count = kBlockStyles[runStyle_ - 1].SubStyleCount;
    const int sub = subStyle >= 1 && subStyle <= count ? subStyle : 1;
    dual_ = Dual && runStyle_ != 1;
    backwards_ = false;
    using B = TBlockTransition;
    switch (runStyle_) {
    case 2: {
        static constexpr TBlockPos (B::*kScans[])(int64_t) const = {&B::RowsDown, &B::RowsUp, &B::ColumnsRight,
                                                                    &B::ColumnsLeft};
        OrderRoutine = kScans[(sub - 1) / 2];
        backwards_ = sub % 2 == 0 && !dual_;
        break;
    }
    case 3:
        OrderRoutine = sub <= 2 ? &B::SnakeRows : &B::SnakeColumns;
        backwards_ = sub % 2 == 0 && !dual_;
        break;
    case 4: OrderRoutine = sub % 2 == 1 ? &B::ListOrder : &B::ReversedListOrder; break;
    default: OrderRoutine = &B::ListOrder; break;
    }
    BuildOrderList(runStyle_, static_cast<uint16_t>(sub));
}

void TBlockTransition::BuildOrderList(uint16_t style, uint16_t subStyle) {
    OrderList.clear();
    if (style != 1 && style != 4) return;
    const int32_t cols = GridCols, rows = GridRows;
    const int64_t n = Blocks();
    OrderList.reserve(static_cast<size_t>(n));
    if (style == 1) {
        // Reading order, then every entry swapped with one drawn at random:
        // a new order every run.
        ReseedRandom();
        for (int32_t r = 1; r <= rows; ++r)
            for (int32_t c = 1; c <= cols; ++c) OrderList.push_back({r, c});
        const auto range = static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
        for (size_t k = 0; k < OrderList.size(); ++k)
            std::swap(OrderList[k], OrderList[static_cast<size_t>(NextRandom(range))]);
        return;
    }
    // A spiral inwards along the border, turning inside four bounds that
    // close in as their row or column is used up: clockwise from the
    // top-left block, or anticlockwise from the top-right one.
    enum Heading { Right, Down, Left, Up };
    const bool clockwise = subStyle <= 2;
    int32_t left = 0, top = 1, right = cols + 1, bottom = rows + 1;
    int32_t r = 1, c = clockwise ? 1 : cols;
    Heading heading = clockwise ? Right : Left;
    OrderList.push_back({r, c});
    for (int64_t s = 1; s < n; ++s) {
        if (clockwise) {
            if (heading == Right && c + 1 == right) right = c, heading = Down;
            if (heading == Down && r + 1 == bottom) bottom = r, heading = Left;
            if (heading == Left && c == left + 1) left = c, heading = Up;
            if (heading == Up && r == top + 1) top = r, heading = Right;
        } else {
            if (heading == Left && c == left + 1) left = c, heading = Down;
            if (heading == Down && r + 1 == bottom) bottom = r, heading = Right;
            if (heading == Right && c + 1 == right) right = c, heading = Up;
            if (heading == Up && r == top + 1) top = r, heading = Left;
        }
        switch (heading) {
        case Right: ++c; break;
        case Down: ++r; break;
        case Left: --c; break;
        case Up: --r; break;
        }
        OrderList.push_back({r, c});
    }
}

// ---- Geometry ----------------------------------------------------------------

TRect TBlockTransition::BlockRect(TBlockPos b) const {
    return TRect{colEdges_[static_cast<size_t>(b.Col - 1)], rowEdges_[static_cast<size_t>(b.Row - 1)],
                 colEdges_[static_cast<size_t>(b.Col)], rowEdges_[static_cast<size_t>(b.Row)]};
}

TRect TBlockTransition::ExtendedRect(TBlockPos b) const {
    TRect r = BlockRect(b);
    if (!Puzzle || OnePixelBlocks) return r;
    const int k = KnobSize;
    if ((b.Row + b.Col) % 2 == 1) {
        if (b.Col > 1) r.left -= k;
        if (b.Col < GridCols) r.right += k;
    } else {
        if (b.Row > 1) r.top -= k;
        if (b.Row < GridRows) r.bottom += k;
    }
    return r;
}

void TBlockTransition::BuildPieces() {
    const int n = colEdges_.back() / GridCols, m = rowEdges_.back() / GridRows, k = KnobSize;
    for (int vertical = 0; vertical < 2; ++vertical)
        for (int variant = 0; variant < 4; ++variant)
            Pieces[static_cast<size_t>((1 - vertical) * 4 + variant)] =
                MakePiece(n + (variant & 1), m + (variant >> 1), k, vertical == 1);
}

// Adds the block's piece to the mask (black where the piece is black), and
// closes the sockets that face the page edge, where no neighbour's knob
// comes to fill them. The piece is cut to the page, so nothing lands in
// the mask's padding.
void TBlockTransition::StampPiece(TBitmap &mask, TBlockPos b, const TRect &page) {
    const TRect r = BlockRect(b);
    const int k = KnobSize, n = colEdges_.back() / GridCols, m = rowEdges_.back() / GridRows;
    const bool horizontal = (b.Row + b.Col) % 2 == 1;
    const int variant = (r.right - r.left > n ? 1 : 0) + (r.bottom - r.top > m ? 2 : 0);
    TBitmap &piece = *Pieces[static_cast<size_t>((horizontal ? 4 : 0) + variant)];
    const int x = horizontal ? r.left - k : r.left, y = horizontal ? r.top : r.top - k;
    const TRect at{x, y, x + piece.Width(), y + piece.Height()};
    TRect cut;
    HDC dc = mask.Canvas().Handle();
    if (IntersectRect(&cut, &at, &page))
        BitBlt(dc, cut.left, cut.top, cut.right - cut.left, cut.bottom - cut.top, piece.Canvas().Handle(),
               cut.left - x, cut.top - y, SRCAND);
    TCanvas &c = mask.Canvas();
    if (horizontal) {
        if (b.Row == 1) c.FillRect(TRect{r.left, r.top, r.right, r.top + k});
        if (b.Row == GridRows) c.FillRect(TRect{r.left, r.bottom - k, r.right, r.bottom});
    } else {
        if (b.Col == 1) c.FillRect(TRect{r.left, r.top, r.left + k, r.bottom});
        if (b.Col == GridCols) c.FillRect(TRect{r.right - k, r.top, r.right, r.bottom});
    }
}

// ---- The run -----------------------------------------------------------------

void TBlockTransition::FreeRun() {
    for (auto &piece : Pieces) piece.reset();
    OrderList.clear();
    OrderList.shrink_to_fit();
    OrderRoutine = nullptr;
}

void TBlockTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    FreeRun();
    const int w = data.Width, h = data.Height;
    GridCols = GridCount(Cols, BlockWidth, std::max(w, 0), Puzzle);
    GridRows = GridCount(Rows, BlockHeight, std::max(h, 0), Puzzle);
    TMaskedTransition::Initialize(data, totalFrames);
    // An empty area: the driver ends the run before any frame.
    if (!HardMask || totalFrames <= 0 || GridCols < 1 || GridRows < 1) return;

    OnePixelBlocks = GridCols == w && GridRows == h;
    colEdges_ = GridLines(w, GridCols);
    rowEdges_ = GridLines(h, GridRows);
    ChooseOrder(RunStyle(), SubStyleToUse());
    KnobSize = 0;
    if (Puzzle && !OnePixelBlocks) {
        KnobSize = static_cast<int32_t>(RoundHalfEven(std::min(h / GridRows, w / GridCols) / 3.5L));
        BuildPieces();
    }
    // Block rectangles beyond the page (knob sides) are cut to it.
    DirtyRects->UseClip = true;
}

void TBlockTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                    int lastExecutedFrame) {
    // A small frame copies its blocks straight to the screen; a bigger one
    // (or any puzzle frame) goes through the mask and the work bitmap.
    AllowScreenUpdate = Puzzle || step > kMaxScreenStep;
    TMaskedTransition::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    if (!AllowScreenUpdate || !HardMask) return;
    // The blocks of this frame are in the work bitmap now: the mask keeps
    // only blocks not copied yet (those drawn straight on the screen).
    MaskBits bits(*HardMask);
    if (DirtyRects->Count() < 2) {
        bits.Fill(UpdateRect, true);
    } else {
        for (int i = 0; i < DirtyRects->Count(); ++i) bits.Fill(DirtyRects->Get(i), true);
    }
}

void TBlockTransition::PaintMask(TBitmap &mask, int currentFrame, int step, int, int, TTETransitionData &data,
                                 bool draw, bool calcUpdate) {
    if (!OrderRoutine) return;
    const TRect page{0, 0, data.Width, data.Height};
    int64_t last = currentFrame, count = step;
    // Two blocks a frame.
    if (dual_) last *= 2, count *= 2;
    const bool recordDirty = calcUpdate && count <= kMaxDirtyBlocks;
    // The random order changes blocks all over the page: past the dirty
    // rectangles' limit the update is the whole page. Otherwise the update
    // is the union of the frame's blocks, which matters when there is one
    // dirty rectangle (a puzzle frame of one block).
    const bool unite = runStyle_ != 1 || recordDirty;
    UpdateRect = unite ? kEmpty : page;
    const int64_t n = Blocks();
    const int64_t first = std::max<int64_t>(1, last - count + 1);
    last = std::min(last, n);
    MaskBits bits(mask);

    if (!AllowScreenUpdate) {
        // Straight to the screen: one copy per block. The mask keeps the
        // blocks, for the work-bitmap frames to copy wherever they cover them.
        HDC screen = data.Canvas->Handle();
        HDC arriving = data.DstImage->Canvas().Handle();
        for (int64_t i = first; i <= last; ++i) {
            const TBlockPos b = BlockAt(i);
            if (OnePixelBlocks) {
                const int x = b.Col - 1, y = b.Row - 1;
                bits.ClearPixel(x, y);
                if (data.HighColorDevice)
                    SetPixelV(screen, x, y, GetPixel(arriving, x, y));
                else
                    BitBlt(screen, x, y, 1, 1, arriving, x, y, SRCCOPY);
                continue;
            }
            const TRect r = BlockRect(b);
            bits.Fill(r, false);
            BitBlt(screen, r.left, r.top, r.right - r.left, r.bottom - r.top, arriving, r.left, r.top, SRCCOPY);
        }
        return;
    }

    const bool pieces = Puzzle && !OnePixelBlocks;
    for (int64_t i = first; i <= last; ++i) {
        const TBlockPos b = BlockAt(i);
        TRect r;
        if (OnePixelBlocks) {
            if (draw) bits.ClearPixel(b.Col - 1, b.Row - 1);
            r = TRect{b.Col - 1, b.Row - 1, b.Col, b.Row};
        } else {
            r = ExtendedRect(b);
            if (draw) {
                if (pieces)
                    StampPiece(mask, b, page);
                else
                    bits.Fill(r, false);
            }
        }
        if (unite) Unite(UpdateRect, r);
        if (recordDirty) DirtyRects->Add(r);
    }
}

void TBlockTransition::Finalize(TTETransitionData &data) {
    FreeRun();
    AllowScreenUpdate = true;
    TMaskedTransition::Finalize(data);
}

} // namespace qvt
