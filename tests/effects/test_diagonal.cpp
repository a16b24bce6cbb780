// The Diagonal effect. A pixel lies on falling line x + y + 1 and on rising
// line H - y + x; from the sub-style follows the frame that reaches its
// line, and from that what every picture of a run shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "record_names.h"
#include "smoothing_model.h"
#include "effects/teDiagon.h"
#include "effects/teRegister.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;
using test::GreyAt;
using test::Greys;
using test::kGreys;
using test::Mix;

// The frame (1 .. T) that reaches pixel (x, y) of a w x h page.
int ReachedIn(uint16_t style, uint16_t sub, int x, int y, int w, int h) {
    const int t = w + h - 1;
    const int falling = x + y + 1, rising = h - y + x;
    const int line = sub % 2 == 1 ? falling : rising;
    if (style == 1) {
        const int k = sub <= 2 ? falling : rising;
        return sub % 2 == 1 ? k : t - k + 1;
    }
    // Two fronts: line k on odd frame 2k - 1 from the first corner, or on
    // even frame 2 (T - k + 1) from the opposite one; leaving fronts play
    // the frames backwards.
    const int meeting = std::min(2 * line - 1, 2 * (t - line + 1));
    return sub <= 2 ? meeting : t + 1 - meeting;
}

class ProbeDiagonal : public TDiagonalTransition {
public:
    ProbeDiagonal() : TDiagonalTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TDiagonalTransition::Initialize(data, totalFrames);
        total = totalFrames;
        smooth = SmoothMask != nullptr;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TDiagonalTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++executed;
        // A hard frame on a clean mask leaves it clean for the next one.
        if (HardMask && ClearMaskEachFrame())
            for (int y = 0; y < data.Height; ++y)
                for (int x = 0; x < data.Width; ++x)
                    if ((static_cast<const uint8_t *>(HardMask->ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0)
                        ++leftBlack;
    }
    int total = -1, current = 0, executed = 0, leftBlack = 0;
    bool smooth = false;
};

constexpr uint16_t kPairs[][2] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 2}, {2, 3}, {2, 4}};

class Diagonal : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Diagonal, StylesAndSubStyles) {
    TDiagonalTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Diagonal");
    EXPECT_EQ(e.StyleCount, 2);
    const uint16_t counts[] = {0, 4, 4, 1};
    for (uint16_t style = 0; style < 4; ++style) EXPECT_EQ(e.GetSubStyleCount(style), counts[style]) << style;
    const uint16_t reversed[2][4] = {{2, 1, 4, 3}, {3, 4, 1, 2}};
    for (auto [style, sub] : kPairs) EXPECT_EQ(e.GetReversedSubStyle(style, sub), reversed[style - 1][sub - 1]);
    EXPECT_EQ(e.GetReversedSubStyle(3, 2), 2);
    EXPECT_EQ(e.GetReversedSubStyle(1, 5), 5);
    e.SetStyle(2);
    e.SetSubStyle(4);
    EXPECT_EQ(e.GetSubStyle(), 4);
    e.SetSubStyle(5);
    EXPECT_EQ(e.GetSubStyle(), 4);
    e.SetStyle(3);
    EXPECT_EQ(e.GetStyle(), 2);
}

// A 640 x 480 page: 1119 frames in every sub-style; the first frames paint
// the corner pixels or the lines the two fronts start with, and the
// rectangles a frame reports hold every pixel it paints.
TEST_F(Diagonal, FrameCountAndFirstFrames) {
    const int w = 640, h = 480, t = 1119;
    for (auto [style, sub] : kPairs) {
        TDiagonalTransition e(nullptr);
        e.SetStyle(style);
        e.SetSubStyle(sub);
        TTETransitionData data(w, h, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        EXPECT_EQ(e.CalcTotalFrames(data), t) << style << "." << sub;
    }
    struct Case {
        uint16_t style, sub;
        int frame, step;
        std::vector<std::pair<int, int>> pixels; // painted, any order
    } cases[] = {
        {1, 1, 1, 1, {{0, 0}}},
        {1, 3, 1, 1, {{0, h - 1}}},
        {1, 2, 1, 1, {{w - 1, h - 1}}},
        {1, 4, 1, 1, {{w - 1, 0}}},
        {2, 1, 1, 1, {{0, 0}}},
        {2, 1, 2, 1, {{w - 1, h - 1}}},
        {2, 1, 3, 1, {{1, 0}, {0, 1}}},
        {2, 2, 2, 1, {{w - 1, 0}}},
        // Frames 2 .. 4 of 2.1: falling lines T, 2 and T - 1.
        {2, 1, 4, 3, {{w - 1, h - 1}, {1, 0}, {0, 1}, {w - 2, h - 1}, {w - 1, h - 2}}},
        // The last frame of 2.3 is 2.1's first.
        {2, 3, t, 1, {{0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", frame " << c.frame << ", step " << c.step);
        TDiagonalTransition e(nullptr);
        e.SetStyle(c.style);
        e.SetSubStyle(c.sub);
        e.DirtyRects = std::make_unique<TFCDirtyRects>();
        e.DirtyRects->UseClip = true;
        e.DirtyRects->ClipRect = TRect{0, 0, w, h};
        TBitmap mask;
        mask.SetMonochrome(true);
        mask.SetSize(w, h);
        TCanvas &canvas = mask.Canvas();
        canvas.Brush().SetColor(rtl::clWhite);
        canvas.FillRect(TRect{0, 0, w, h});
        canvas.Pen().SetColor(rtl::clBlack);
        TTETransitionData data(w, h, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        e.PaintMask(mask, c.frame, c.step, t, c.frame - c.step, data, true, true);
        std::vector<std::pair<int, int>> painted;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if ((static_cast<const uint8_t *>(mask.ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0)
                    painted.emplace_back(x, y);
        auto want = c.pixels;
        std::sort(want.begin(), want.end());
        std::sort(painted.begin(), painted.end());
        EXPECT_EQ(painted, want);
        for (auto [x, y] : painted) {
            const POINT p{x, y};
            EXPECT_TRUE(PtInRect(&e.UpdateRect, p)) << x << ", " << y;
            bool inDirty = false;
            for (int i = 0; i < e.DirtyRects->Count(); ++i) {
                const TRect r = e.DirtyRects->Get(i);
                inDirty = inDirty || PtInRect(&r, p);
            }
            EXPECT_TRUE(inDirty) << x << ", " << y;
        }
    }
}

// Every pair on 8-, 16- and 32-bit displays, hard and smoothing, every
// frame or in bigger steps: each picture shows the lines reached so far
// (in their greys when smoothing) and the run ends on the arriving page;
// hard frames without smoothing leave the mask clean.
// Style 2 runs hard whatever the smoothing level; style 1 at level 2 on a
// display that can mix runs T + 14 frames. The page is wider than one
// 16-pixel square of the chains and taller than another, so that chains
// run over several rectangles in both directions.
TEST_F(Diagonal, EveryPairRunsToTheArrivingPage) {
    struct Mode {
        int depth;
        uint16_t level;
        int milliseconds; // > 0: sampled at 100 frames a second, steps of several frames
    } modes[] = {{8, 0, 0}, {16, 0, 0}, {32, 0, 0}, {32, 0, 150}, {8, 2, 0}, {16, 2, 0}, {32, 2, 0}, {32, 1, 90}};
    const int w = 53, h = 37, t = w + h - 1;
    for (auto [style, sub] : kPairs) {
        for (const Mode &m : modes) {
            SCOPED_TRACE(::testing::Message() << style << "." << sub << ", " << m.depth << " bits, level " << m.level
                                              << ", " << m.milliseconds << " ms");
            EffectStage stage(m.depth, w, h);
            testing::SetProcessorFlags(true, false);
            ProbeDiagonal e;
            e.SetStyle(style);
            e.SetSubStyle(sub);
            e.SetSmoothingLevel(m.level);
            e.Milliseconds = m.milliseconds;
            std::vector<std::pair<int, std::vector<uint8_t>>> shots;
            stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
            ASSERT_GE(shots.size(), 3u);

            const bool smooth = m.level > 0 && m.depth > 8 && style == 1;
            EXPECT_EQ(e.smooth, smooth);
            EXPECT_EQ(e.MaskFrames, t);
            EXPECT_EQ(e.total, smooth ? t + kGreys[m.level].steps - 1 : t);
            EXPECT_EQ(e.leftBlack, 0);
            if (smooth && m.depth != 32) continue;
            for (size_t i = 0; i + 1 < shots.size(); ++i) {
                const int f = i == 0 ? 0 : shots[i].first;
                EXPECT_EQ(stage.Differences(shots[i].second,
                                            [&](int x, int y) {
                                                const int reached = ReachedIn(style, sub, x, y, w, h);
                                                if (!smooth)
                                                    return reached <= f ? stage.Arriving(x, y) : stage.Departing(x, y);
                                                return Mix(stage.Arriving(x, y), stage.Departing(x, y),
                                                           GreyAt(kGreys[m.level], reached, f));
                                            }),
                          "")
                    << "frame " << f;
            }
        }
    }
}

// Reversed plays the reverse sub-style, picture for picture.
TEST_F(Diagonal, ReversedPlaysTheReverseSubStyle) {
    struct Case {
        uint16_t style, sub, plays, level;
    } cases[] = {{1, 1, 2, 0}, {1, 3, 4, 3}, {2, 1, 3, 0}, {2, 4, 2, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << c.level);
        auto run = [&](uint16_t sub, bool reversed) {
            EffectStage stage(32, 30, 20);
            testing::SetProcessorFlags(true, false);
            TDiagonalTransition e(nullptr);
            e.SetStyle(c.style);
            e.SetSubStyle(sub);
            e.SetSmoothingLevel(c.level);
            e.Reversed = reversed;
            return stage.Shots(e);
        };
        const auto reversed = run(c.sub, true);
        EXPECT_GE(reversed.size(), 3u);
        EXPECT_TRUE(reversed == run(c.plays, false));
    }
}

// An empty area has no frames: the driver aborts the run before any frame
// and leaves the screen alone. Pages of one line or one pixel, and a style
// stored beyond the table (which paints nothing), run to the arriving page.
TEST_F(Diagonal, EmptyTinyAndUnknownStyles) {
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}}) {
        for (uint16_t level : {0, 2}) {
            EffectStage stage(32, w, h);
            const std::vector<uint8_t> before = stage.Window();
            ProbeDiagonal e;
            e.SetSmoothingLevel(level);
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(e.executed, 0);
            EXPECT_EQ(stage.Window(), before);
        }
    }
    struct Case {
        int width, height;
        uint16_t style, sub;
    } cases[] = {{1, 1, 1, 1}, {1, 1, 2, 3}, {1, 9, 1, 4}, {9, 1, 2, 2}, {1, 8, 2, 1}, {20, 10, 3, 1}, {20, 10, 1, 7}};
    for (const Case &c : cases) {
        for (uint16_t level : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.style << "." << c.sub
                                              << ", level " << level);
            EffectStage stage(32, c.width, c.height);
            testing::SetProcessorFlags(true, false);
            ProbeDiagonal e;
            e.Style = c.style;
            e.SubStyle = c.sub;
            e.SetSmoothingLevel(level);
            stage.Run(e);
            EXPECT_EQ(e.MaskFrames, c.width + c.height - 1);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
}

// Records round-trip; stored values the setters refuse keep the ones there
// already. The catalogue lists the class under its code.
TEST_F(Diagonal, RecordsAndCatalogue) {
    RegisterAllTransitions();
    TDiagonalTransition stored(nullptr);
    stored.SetStyle(2);
    stored.SetSubStyle(3);
    stored.SetSmoothingLevel(5);
    stored.Reversed = true;
    auto read = test::RoundTrip(stored);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetStyle(), 2);
    EXPECT_EQ(read->GetSubStyle(), 3);
    EXPECT_EQ(read->GetSmoothingLevel(), 5);
    EXPECT_TRUE(read->Reversed);

    test::ExpectStoredPatternsReadAs<TDiagonalTransition>(
        {{3, 1, 7, 1, 1, 0}, {1, 5, 2, 1, 1, 2}, {2, 9, 6, 2, 1, 6}, {65535, 65535, 65535, 1, 1, 0}});

    test::ExpectCatalogued("Diagonal", "TDiagonalTransition", "04",
                           {{"Reversed", "False", nullptr},
                            {"SmoothingLevel", "0", "0..6"},
                            {"Style", "1", "0..2"},
                            {"SubStyle", "1", "0..4"}});
}

} // namespace
} // namespace qvt
