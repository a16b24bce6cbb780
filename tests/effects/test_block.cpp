// The Blocks effect. Most tests follow a run frame by frame on the window
// and compare every pixel with what the order promises: the blocks drawn so
// far show the arriving page, all others the departing one. The expected
// orders are built here independently (loops for the scans and snakes, a
// ring-by-ring walk for the spirals).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "effects/teBlock.h"
#include "effects/teRegister.h"
#include "engine/teRandom.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;
using Order = std::vector<TBlockPos>;

// The effect, with what its run did.
class Probe : public TBlockTransition {
public:
    Probe() : TBlockTransition(nullptr) {}

    struct Frame {
        int frame, step;
        bool throughWork; // false: drawn straight on the screen
        int dirty;        // dirty rectangles handed to the screen update
        int black;        // black mask pixels on the page after the frame
    };
    int minStep = 1;
    // When set, only these frames are drawn (each taking up the frames
    // passed over since the last one); the others leave everything alone.
    std::set<int> drawAt;
    int lastDrawn = 0;
    int total = -1, current = 0;
    std::vector<Frame> frames;
    Order order; // the run's order list, as Initialize left it
    uint32_t seedAfterInitialize = 0;

    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TBlockTransition::Initialize(data, totalFrames);
        total = totalFrames;
        order = OrderList;
        seedAfterInitialize = RandSeed;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        if (!drawAt.empty()) {
            if (!drawAt.count(frame)) {
                AllowScreenUpdate = false; // nothing for the screen update
                return;
            }
            step = frame - lastDrawn;
            last = lastDrawn;
            lastDrawn = frame;
        }
        TBlockTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        int black = 0;
        for (int y = 0; y < data.Height; ++y)
            for (int x = 0; x < data.Width; ++x)
                black += (static_cast<const uint8_t *>(HardMask->ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0;
        frames.push_back({frame, step, AllowScreenUpdate, DirtyRects->Count(), black});
    }
};

// Grid lines of `count` blocks over `extent`, halves rounded to even.
std::vector<int> Lines(int extent, int count) {
    std::vector<int> lines;
    for (int i = 0; i <= count; ++i)
        lines.push_back(i == count ? extent : static_cast<int>(std::nearbyint(static_cast<double>(extent) / count * i)));
    return lines;
}

struct Grid {
    Grid(int w, int h, int cols, int rows) : w(w), h(h), cols(cols), rows(rows), xs(Lines(w, cols)), ys(Lines(h, rows)) {}
    TBlockPos At(int x, int y) const {
        const int c = static_cast<int>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
        const int r = static_cast<int>(std::upper_bound(ys.begin(), ys.end(), y) - ys.begin());
        return {r, c};
    }
    TRect Rect(TBlockPos b) const { return TRect{xs[b.Col - 1], ys[b.Row - 1], xs[b.Col], ys[b.Row]}; }
    int w, h, cols, rows;
    std::vector<int> xs, ys;
};

Order Reverse(Order o) {
    std::reverse(o.begin(), o.end());
    return o;
}

// Clockwise inwards from the top-left block, ring by ring.
Order Spiral(int cols, int rows) {
    Order o;
    for (int ring = 0; 2 * ring < cols && 2 * ring < rows; ++ring) {
        const int top = 1 + ring, left = 1 + ring, bottom = rows - ring, right = cols - ring;
        for (int c = left; c <= right; ++c) o.push_back({top, c});
        for (int r = top + 1; r <= bottom; ++r) o.push_back({r, right});
        if (bottom > top)
            for (int c = right - 1; c >= left; --c) o.push_back({bottom, c});
        if (right > left)
            for (int r = bottom - 1; r > top; --r) o.push_back({r, left});
    }
    return o;
}

// The order of a style and sub-style (style 1 excepted: it is random).
Order Expected(int style, int sub, int cols, int rows) {
    if (sub % 2 == 0) return Reverse(Expected(style, sub - 1, cols, rows));
    Order o;
    if (style == 2) {
        if (sub <= 3)
            for (int i = 0; i < rows; ++i)
                for (int c = 1; c <= cols; ++c) o.push_back({sub == 1 ? i + 1 : rows - i, c});
        else
            for (int i = 0; i < cols; ++i)
                for (int r = 1; r <= rows; ++r) o.push_back({r, sub == 5 ? i + 1 : cols - i});
    } else if (style == 3) {
        if (sub == 1)
            for (int r = 1; r <= rows; ++r)
                for (int i = 0; i < cols; ++i) o.push_back({r, r % 2 ? i + 1 : cols - i});
        else
            for (int c = 1; c <= cols; ++c)
                for (int i = 0; i < rows; ++i) o.push_back({c % 2 ? i + 1 : rows - i, c});
    } else {
        o = Spiral(cols, rows);
        if (sub == 3)
            for (TBlockPos &b : o) b.Col = cols - b.Col + 1; // the mirror image
    }
    return o;
}

// The blocks in the order they are drawn: with Dual, from both ends.
Order DrawSequence(const Order &order, bool dual) {
    if (!dual) return order;
    Order s;
    const size_t n = order.size();
    for (size_t i = 1; i <= n; ++i) s.push_back(i % 2 ? order[i / 2] : order[n - i / 2]);
    return s;
}

// The sequence a Dual run of a style and sub-style draws: the even scans and
// snakes run as the odd sub-style before them; the reversed spirals keep
// their reversed order.
Order DualSequence(int style, int sub, int cols, int rows) {
    const int base = (style == 2 || style == 3) && sub % 2 == 0 ? sub - 1 : sub;
    return DrawSequence(Expected(style, base, cols, rows), true);
}

std::string Str(const TRect &r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

using Shots = std::vector<std::pair<int, std::vector<uint8_t>>>;

// Every shot of a run: the blocks of draw numbers 1 .. frame x perFrame show
// the arriving page, the rest the departing one; the last shot is the
// arriving page.
void ExpectDrawnInSequence(const EffectStage &stage, const Grid &g, const Order &sequence, int perFrame,
                           const Shots &shots) {
    ASSERT_EQ(sequence.size(), static_cast<size_t>(g.cols) * g.rows);
    std::map<std::pair<int, int>, int> rank;
    for (size_t i = 0; i < sequence.size(); ++i) rank[{sequence[i].Row, sequence[i].Col}] = static_cast<int>(i) + 1;
    ASSERT_EQ(rank.size(), sequence.size()) << "every block once";
    std::vector<int> drawnAs(static_cast<size_t>(g.w) * g.h);
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            const TBlockPos b = g.At(x, y);
            drawnAs[static_cast<size_t>(y) * g.w + x] = rank[{b.Row, b.Col}];
        }
    ASSERT_GE(shots.size(), 2u);
    for (size_t i = 0; i + 1 < shots.size(); ++i) {
        const int drawn = i == 0 ? 0 : shots[i].first * perFrame;
        EXPECT_EQ(stage.Differences(shots[i].second,
                                    [&](int x, int y) {
                                        return drawnAs[static_cast<size_t>(y) * g.w + x] <= drawn ? stage.Arriving(x, y)
                                                                                                   : stage.Departing(x, y);
                                    }),
                  "")
            << "frame " << shots[i].first;
    }
    EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().second), "");
}

Shots RunShots(EffectStage &stage, Probe &e) {
    Shots shots;
    stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
    return shots;
}

class Blocks : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Blocks, PropertiesAndStyleTable) {
    TBlockTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Blocks");
    EXPECT_EQ(e.GetEditorName(), "TBlockTransitionEditor");
    EXPECT_EQ(e.StyleCount, 4);
    EXPECT_EQ(e.GetBlockWidth(), 50);
    EXPECT_EQ(e.GetBlockHeight(), 50);
    EXPECT_EQ(e.GetCols(), 0);
    EXPECT_EQ(e.GetRows(), 0);
    EXPECT_FALSE(e.GetDual() || e.GetPuzzle());
    const uint16_t counts[] = {0, 1, 8, 4, 4, 1, 1};
    for (uint16_t s = 0; s < 7; ++s) EXPECT_EQ(e.GetSubStyleCount(s), counts[s]) << s;
    for (uint16_t s = 2; s <= 4; ++s)
        for (uint16_t sub = 1; sub <= e.GetSubStyleCount(s); ++sub)
            EXPECT_EQ(e.GetReversedSubStyle(s, sub), sub % 2 ? sub + 1 : sub - 1) << s << "." << sub;
    EXPECT_EQ(e.GetReversedSubStyle(1, 1), 1);
    EXPECT_EQ(e.GetReversedSubStyle(6, 1), 1);

    // Never smooths, whatever the level and the display.
    testing::SetProcessorFlags(true, true);
    e.SetSmoothingLevel(4);
    EXPECT_FALSE(e.UseSmoothing());

    // Each pair keeps one of its two in force.
    struct Step {
        const char *what;
        std::function<void(TBlockTransition &)> set;
        int32_t width, cols;
    } steps[] = {
        {"Cols 5", [](TBlockTransition &b) { b.SetCols(5); }, 0, 5},
        {"Cols 0", [](TBlockTransition &b) { b.SetCols(0); }, 0, 1},
        {"Cols -3", [](TBlockTransition &b) { b.SetCols(-3); }, 0, 1},
        {"BlockWidth 20", [](TBlockTransition &b) { b.SetBlockWidth(20); }, 20, 0},
        {"BlockWidth 20 again", [](TBlockTransition &b) { b.SetBlockWidth(20); }, 20, 0},
        {"BlockWidth -1", [](TBlockTransition &b) { b.SetBlockWidth(-1); }, 1, 0},
        {"Cols 7", [](TBlockTransition &b) { b.SetCols(7); }, 0, 7},
        {"BlockWidth 0 while it is 0", [](TBlockTransition &b) { b.SetBlockWidth(0); }, 0, 7},
    };
    TBlockTransition w(nullptr), h(nullptr);
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        s.set(w);
        EXPECT_EQ(w.GetBlockWidth(), s.width);
        EXPECT_EQ(w.GetCols(), s.cols);
    }
    h.SetRows(0);
    EXPECT_EQ(h.GetRows(), 1);
    EXPECT_EQ(h.GetBlockHeight(), 0);
    h.SetBlockHeight(-4);
    EXPECT_EQ(h.GetRows(), 0);
    EXPECT_EQ(h.GetBlockHeight(), 1);
}

// Records keep the setters' rules: out-of-range styles and sub-styles keep
// the values they had, the pairs come out as written.
TEST_F(Blocks, RecordsRoundTripAndRefuseOutOfRangeStyles) {
    struct Case {
        uint16_t style, sub;
        uint16_t wantStyle, wantSub;
    } cases[] = {{2, 8, 2, 8}, {9, 1, 1, 1}, {3, 7, 3, 1}, {4, 4, 4, 4}, {0, 0, 0, 0}, {1, 3, 1, 1}};
    StartTransitionEngine();
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub);
        TBlockTransition e(nullptr);
        e.SetCols(5);
        e.SetBlockHeight(33);
        e.SetDual(true);
        e.SetPuzzle(true);
        e.Reversed = true;
        e.Style = c.style; // as a record from elsewhere may hold them
        e.SubStyle = c.sub;
        const std::string record = TransitionToParams(e);
        std::unique_ptr<TTransitionEffect> read;
        ParamsToTransition(read, record.data(), static_cast<int>(record.size()));
        auto *b = dynamic_cast<TBlockTransition *>(read.get());
        ASSERT_TRUE(b) << record;
        EXPECT_EQ(b->GetStyle(), c.wantStyle);
        EXPECT_EQ(b->GetSubStyle(), c.wantSub);
        EXPECT_EQ(b->GetCols(), 5);
        EXPECT_EQ(b->GetBlockWidth(), 0);
        EXPECT_EQ(b->GetBlockHeight(), 33);
        EXPECT_EQ(b->GetRows(), 0);
        EXPECT_TRUE(b->GetDual() && b->GetPuzzle() && b->Reversed);
    }
}

// Settings given by name (as the tool and the editor give them) go through
// the setters like a record: taken, or refused with the effect unchanged.
TEST_F(Blocks, SettingsByNameKeepThePairs) {
    StartTransitionEngine();
    TBlockTransition e(nullptr);
    ApplyPropertyText(e, "Rows", "3");
    EXPECT_EQ(e.GetRows(), 3);
    EXPECT_EQ(e.GetBlockHeight(), 0);
    ApplyPropertyText(e, "BlockWidth", "20");
    EXPECT_EQ(e.GetBlockWidth(), 20);
    EXPECT_EQ(e.GetCols(), 0);
    EXPECT_EQ(e.GetRows(), 3);
    // 0 would be stored as 1: refused as a value the setter does not keep.
    TBlockTransition fresh(nullptr);
    try {
        ApplyPropertyText(fresh, "BlockHeight", "0");
        ADD_FAILURE() << "taken";
    } catch (const EPropertyValueError &error) {
        EXPECT_EQ(std::string(error.what()).rfind("value not allowed with the present settings", 0), 0u) << error.what();
    }
    EXPECT_EQ(fresh.GetBlockHeight(), 50);
    EXPECT_EQ(fresh.GetRows(), 0);
}

// The grid a run uses, and its frame count.
TEST_F(Blocks, GridSizesAndFrameCounts) {
    struct Case {
        const char *what;
        int w, h;
        std::function<void(TBlockTransition &)> set;
        int cols, rows, frames;
    } cases[] = {
        {"defaults", 400, 300, [](TBlockTransition &) {}, 8, 6, 48},
        {"Dual, style 2", 400, 300, [](TBlockTransition &b) { b.Dual = true; b.SetStyle(2); }, 8, 6, 24},
        {"Dual, style 1: ignored", 400, 300, [](TBlockTransition &b) { b.Dual = true; }, 8, 6, 48},
        {"Dual, odd count", 30, 30, [](TBlockTransition &b) { b.Dual = true; b.SetStyle(3); b.SetCols(3); b.SetRows(3); }, 3, 3, 5},
        {"style field out of range: random, Dual ignored", 400, 300, [](TBlockTransition &b) { b.Dual = true; b.Style = 7; }, 8, 6, 48},
        {"halves to even", 125, 175, [](TBlockTransition &) {}, 2, 4, 8},
        {"Cols 0: one column", 400, 300, [](TBlockTransition &b) { b.SetCols(0); }, 1, 6, 6},
        {"BlockWidth 3 on 2 pixels", 2, 300, [](TBlockTransition &b) { b.SetBlockWidth(3); }, 1, 6, 6},
        {"finer than the page", 40, 30, [](TBlockTransition &b) { b.SetCols(500); b.SetRows(31); }, 40, 30, 1200},
        {"Puzzle, 10 columns of 10", 100, 300, [](TBlockTransition &b) { b.Puzzle = true; b.SetCols(10); }, 6, 6, 36},
        {"Puzzle, wide enough", 300, 300, [](TBlockTransition &b) { b.Puzzle = true; b.SetCols(20); }, 20, 6, 120},
        {"Puzzle below 15 pixels", 10, 14, [](TBlockTransition &b) { b.Puzzle = true; }, 1, 1, 1},
        {"Puzzle one pixel", 1, 40, [](TBlockTransition &b) { b.Puzzle = true; b.SetRows(40); }, 1, 2, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EffectStage stage(32, c.w, c.h);
        Probe e;
        c.set(e);
        if (c.frames > 1)
            stage.Run(e);
        else
            EXPECT_NO_THROW(stage.Run(e));
        EXPECT_EQ(e.GridCols, c.cols);
        EXPECT_EQ(e.GridRows, c.rows);
        EXPECT_EQ(e.total, c.frames);
        EXPECT_EQ(e.frames.size(), static_cast<size_t>(c.frames - 1));
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
    // Unequal blocks: 10 pixels in 4 columns are 2, 3, 3 and 2 wide (2.5
    // and 7.5 round to even).
    EffectStage stage(32, 10, 4);
    Probe e;
    e.SetCols(4);
    e.SetRows(1);
    stage.Run(e);
    EXPECT_EQ(Str(e.BlockRect({1, 2})), "(2, 0, 5, 4)");
    EXPECT_EQ(Str(e.BlockRect({1, 4})), "(8, 0, 10, 4)");
}

TEST_F(Blocks, SpiralOrdersOnThreeByThree) {
    const Order clockwise = {{1, 1}, {1, 2}, {1, 3}, {2, 3}, {3, 3}, {3, 2}, {3, 1}, {2, 1}, {2, 2}};
    const Order anticlockwise = {{1, 3}, {1, 2}, {1, 1}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {2, 3}, {2, 2}};
    EXPECT_EQ(Expected(4, 1, 3, 3), clockwise);
    EXPECT_EQ(Expected(4, 3, 3, 3), anticlockwise);
    const Order orders[] = {clockwise, Reverse(clockwise), anticlockwise, Reverse(anticlockwise)};
    for (uint16_t sub = 1; sub <= 4; ++sub) {
        SCOPED_TRACE(sub);
        EffectStage stage(32, 30, 27);
        Probe e;
        e.SetStyle(4);
        e.SetSubStyle(sub);
        e.SetCols(3);
        e.SetRows(3);
        const Shots shots = RunShots(stage, e);
        EXPECT_EQ(e.total, 9);
        ExpectDrawnInSequence(stage, Grid(30, 27, 3, 3), orders[sub - 1], 1, shots);
    }
}

// Every style and sub-style, forwards and reversed, on the three depths
// whose copies differ, with smoothing asked for (and ignored): every frame
// shows the blocks of the order drawn so far, and the run ends on the
// arriving page. The random order is a shuffle of every block.
TEST_F(Blocks, EveryStyleAndSubStyleOnEveryDepth) {
    const int w = 23, h = 17, cols = 5, rows = 4;
    const Grid g(w, h, cols, rows);
    const uint16_t kSubStyles[] = {0, 1, 8, 4, 4};
    for (int depth : {8, 16, 32})
        for (uint16_t level : {0, 3})
            for (bool reversed : {false, true})
                for (uint16_t style = 1; style <= 4; ++style)
                    for (uint16_t sub = 1; sub <= kSubStyles[style]; ++sub) {
                        if (reversed && (level || depth != 32)) continue;
                        SCOPED_TRACE(::testing::Message() << depth << " bits, level " << level << ", style " << style
                                                          << "." << sub << (reversed ? ", reversed" : ""));
                        EffectStage stage(depth, w, h);
                        testing::SetProcessorFlags(true, false);
                        Probe e;
                        e.SetSmoothingLevel(level);
                        e.SetStyle(style);
                        e.SetSubStyle(sub);
                        e.SetCols(cols);
                        e.SetRows(rows);
                        e.Reversed = reversed;
                        const Shots shots = RunShots(stage, e);
                        EXPECT_EQ(e.total, cols * rows);
                        const int played = reversed && style > 1 ? (sub % 2 ? sub + 1 : sub - 1) : sub;
                        ExpectDrawnInSequence(stage, g, style == 1 ? e.order : Expected(style, played, cols, rows), 1,
                                              shots);
                        EXPECT_TRUE(e.OrderList.empty() && !e.HardMask) << "freed by Finalize";
                    }
}

// Dual draws two blocks a frame, from both ends of the order; with an odd
// count the middle block, with an even one the two middle blocks, come only
// with the final copy.
TEST_F(Blocks, DualDrawsFromBothEnds) {
    struct Case {
        uint16_t style, sub;
        int cols, rows;
    } cases[] = {{2, 1, 4, 3}, {2, 2, 4, 3}, {2, 7, 3, 3}, {3, 4, 3, 5}, {3, 1, 5, 2}, {4, 1, 3, 3}, {4, 2, 4, 3},
                 {4, 3, 5, 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << " on " << c.cols << " x " << c.rows);
        const int w = c.cols * 6 + 1, h = c.rows * 5;
        EffectStage stage(32, w, h);
        Probe e;
        e.Dual = true;
        e.SetStyle(c.style);
        e.SetSubStyle(c.sub);
        e.SetCols(c.cols);
        e.SetRows(c.rows);
        const Shots shots = RunShots(stage, e);
        const int n = c.cols * c.rows;
        EXPECT_EQ(e.total, (n + 1) / 2);
        ExpectDrawnInSequence(stage, Grid(w, h, c.cols, c.rows), DualSequence(c.style, c.sub, c.cols, c.rows), 2, shots);
    }
}

// Small frames copy their blocks straight to the screen, bigger ones go
// through the mask and the work bitmap (and leave it clear), and up to 650
// blocks a frame are handed over as dirty rectangles. Whichever way a frame goes, the pictures
// are the same; runs that mix both ways (sampled, growing steps) too.
TEST_F(Blocks, ScreenFramesAndWorkBitmapFramesShowTheSamePicture) {
    // Steps of 100 and 101, 650 and 651 in one run.
    const std::set<int> mixed = {100, 201, 851, 860, 1199};
    struct Case {
        uint16_t style, sub;
        int blockSize; // 1: one block per pixel
        int minStep;
        std::set<int> drawAt;
    } cases[] = {
        {2, 1, 1, 1, {}},   {2, 1, 1, 150, {}}, {2, 1, 1, 700, {}}, {2, 1, 1, 1, mixed}, {1, 1, 1, 101, {}},
        {1, 1, 1, 1, mixed}, {3, 3, 1, 90, {}},  {4, 4, 1, 651, {}}, {1, 1, 1, 1, {60, 711}}, {2, 6, 2, 1, {}},    {2, 6, 2, 120, {}},
        {4, 1, 2, 1, {20, 230, 231, 299}}, {1, 1, 3, 1, {10, 120, 130}},
    };
    const int w = 40, h = 30;
    for (int depth : {8, 32})
        for (const Case &c : cases) {
            SCOPED_TRACE(::testing::Message() << depth << " bits, style " << c.style << "." << c.sub << ", blocks of "
                                              << c.blockSize << ", step " << c.minStep
                                              << (c.drawAt.empty() ? "" : ", mixed"));
            EffectStage stage(depth, w, h);
            Probe e;
            e.SetStyle(c.style);
            e.SetSubStyle(c.sub);
            e.SetBlockWidth(c.blockSize);
            e.SetBlockHeight(c.blockSize);
            e.minStep = c.minStep;
            e.drawAt = c.drawAt;
            const Shots shots = RunShots(stage, e);
            const Grid g(w, h, w / c.blockSize, h / c.blockSize);
            EXPECT_EQ(e.OnePixelBlocks, c.blockSize == 1);
            ExpectDrawnInSequence(stage, g, c.style == 1 ? e.order : Expected(c.style, c.sub, g.cols, g.rows), 1, shots);
            bool screen = false, work = false;
            for (const Probe::Frame &f : e.frames) {
                EXPECT_EQ(f.throughWork, f.step > 100) << "frame " << f.frame;
                screen = screen || !f.throughWork;
                work = work || f.throughWork;
                if (f.throughWork) {
                    EXPECT_EQ(f.dirty, f.step <= 650 ? f.step : 0) << "frame " << f.frame;
                }
                // What went through the work bitmap is cleared from the mask.
                if (c.minStep > 100) {
                    EXPECT_EQ(f.black, 0) << "frame " << f.frame;
                }
            }
            if (!c.drawAt.empty()) {
                EXPECT_TRUE(screen && work) << "the run mixes both";
            }
        }
}

// Puzzle pieces: knobs stick out into the neighbours and sockets are cut
// into the sides; the knob of one block fills the socket of the next. At
// every frame a pixel that only pieces of drawn blocks can reach shows the
// arriving page once all of those are drawn, and the departing page while
// none is; nothing else moves, and what is shown stays.
TEST_F(Blocks, PuzzlePiecesFitTogether) {
    struct Case {
        int depth, w, h, cols, rows;
        uint16_t style, sub;
        int knob;
    } cases[] = {
        {32, 90, 60, 4, 3, 2, 1, 6}, {8, 90, 60, 4, 3, 4, 1, 6},  {16, 101, 77, 5, 4, 1, 1, 5},
        {32, 64, 96, 3, 5, 3, 3, 5}, {32, 200, 45, 7, 2, 2, 6, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, " << c.w << " x " << c.h << ", style " << c.style
                                          << "." << c.sub);
        EffectStage stage(c.depth, c.w, c.h);
        Probe e;
        e.Puzzle = true;
        e.SetStyle(c.style);
        e.SetSubStyle(c.sub);
        e.SetCols(c.cols);
        e.SetRows(c.rows);
        int knob = -1;
        Shots shots;
        stage.Run(e, [&] {
            shots.emplace_back(e.current, stage.Window());
            if (e.HardMask) knob = e.KnobSize;
        });
        EXPECT_EQ(knob, c.knob);
        for (const Probe::Frame &f : e.frames) EXPECT_TRUE(f.throughWork);
        const Grid g(c.w, c.h, c.cols, c.rows);
        const Order sequence = c.style == 1 ? e.order : Expected(c.style, c.sub, c.cols, c.rows);
        ASSERT_EQ(sequence.size(), static_cast<size_t>(c.cols * c.rows));
        // The draw numbers of the blocks whose piece can reach each pixel.
        std::vector<std::vector<int>> reach(static_cast<size_t>(c.w) * c.h);
        for (size_t i = 0; i < sequence.size(); ++i) {
            const TBlockPos b = sequence[i];
            TRect r = g.Rect(b);
            if ((b.Row + b.Col) % 2) {
                r.left = b.Col > 1 ? r.left - c.knob : r.left;
                r.right = b.Col < c.cols ? r.right + c.knob : r.right;
            } else {
                r.top = b.Row > 1 ? r.top - c.knob : r.top;
                r.bottom = b.Row < c.rows ? r.bottom + c.knob : r.bottom;
            }
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) reach[static_cast<size_t>(y) * c.w + x].push_back(int(i) + 1);
        }
        std::vector<bool> shown(reach.size(), false);
        int knobsOut = 0, socketsOpen = 0, errors = 0;
        std::ostringstream first;
        for (size_t s = 0; s < shots.size(); ++s) {
            const bool last = s + 1 == shots.size();
            const int drawn = s == 0 ? 0 : last ? c.cols * c.rows : shots[s].first;
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x) {
                    const size_t i = static_cast<size_t>(y) * c.w + x;
                    const auto &from = reach[i];
                    const bool all = std::all_of(from.begin(), from.end(), [&](int d) { return d <= drawn; });
                    const bool none = std::none_of(from.begin(), from.end(), [&](int d) { return d <= drawn; });
                    const bool own = drawn >= 1 && std::count(sequence.begin(), sequence.begin() + drawn, g.At(x, y));
                    const int wndW = c.w + 2 * EffectStage::kLeft;
                    const size_t at = (static_cast<size_t>(y + EffectStage::kTop) * wndW + x + EffectStage::kLeft) * 3;
                    const Rgb got{shots[s].second[at], shots[s].second[at + 1], shots[s].second[at + 2]};
                    const bool arriving = got == stage.Arriving(x, y);
                    if (!arriving && got != stage.Departing(x, y) && errors++ == 0)
                        first << "(" << x << ", " << y << ") at frame " << drawn << " shows neither page";
                    if ((all && !arriving) || (none && arriving) || (shown[i] && !arriving)) {
                        if (errors++ == 0)
                            first << "(" << x << ", " << y << ") at frame " << drawn << " shows the "
                                  << (arriving ? "arriving" : "departing") << " page";
                    }
                    shown[i] = arriving;
                    if (!last && arriving && !own) ++knobsOut;
                    if (!last && !arriving && own) ++socketsOpen;
                }
        }
        EXPECT_EQ(errors, 0) << first.str();
        EXPECT_GT(knobsOut, 0) << "knobs reach into blocks not drawn yet";
        EXPECT_GT(socketsOpen, 0) << "sockets stay open until the neighbour comes";
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().second), "");
    }
}

// The random order is the reading order shuffled with the shared generator,
// freshly seeded for the run: entry k swapped with entry NextRandom(n) + 1.
TEST_F(Blocks, RandomOrderIsShuffledFromAFreshSeed) {
    constexpr uint32_t kMultiplier = 134775813u;
    uint32_t inverse = kMultiplier; // the multiplier's inverse modulo 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2 - kMultiplier * inverse;
    for (int run = 0; run < 3; ++run) {
        EffectStage stage(32, 35, 20);
        Probe e;
        e.SetCols(7);
        e.SetRows(4);
        RandSeed = 12345;
        stage.Run(e);
        const int n = 28;
        ASSERT_EQ(e.order.size(), static_cast<size_t>(n));
        uint32_t seed = e.seedAfterInitialize;
        for (int k = 0; k < n; ++k) seed = (seed - 1) * inverse;
        EXPECT_NE(seed, 12345u) << "reseeded";
        RandSeed = seed;
        Order want;
        for (int r = 1; r <= 4; ++r)
            for (int c = 1; c <= 7; ++c) want.push_back({r, c});
        for (int k = 0; k < n; ++k) std::swap(want[k], want[NextRandom(n)]);
        EXPECT_EQ(e.order, want);
    }
}

// An empty area ends before any frame and leaves the screen alone; a
// single block (or pixel) has one frame: the driver's final copy shows it.
TEST_F(Blocks, EmptyAndSingleBlockAreas) {
    struct Case {
        int w, h;
        bool puzzle;
        bool aborts;
    } cases[] = {{0, 10, false, true}, {10, 0, true, true}, {0, 0, false, true},
                 {1, 1, false, false}, {1, 1, true, false}, {30, 20, false, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << " x " << c.h << (c.puzzle ? ", puzzle" : ""));
        EffectStage stage(32, c.w, c.h);
        const std::vector<uint8_t> before = stage.Window();
        Probe e;
        e.Puzzle = c.puzzle;
        e.SetCols(1);
        e.SetRows(1);
        if (c.aborts) {
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(stage.Window(), before);
        } else {
            stage.Run(e);
            EXPECT_EQ(e.total, 1);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
        EXPECT_TRUE(e.frames.empty());
    }
}

} // namespace
} // namespace qvt
