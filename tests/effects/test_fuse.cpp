// The Fuse effect followed frame by frame: every picture the window shows is
// compared with the pattern the style should have filled by that frame,
// tiled from the area's corner, on several display depths.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effect_stage.h"
#include "effects/teFuse.h"
#include "effects/teRegister.h"
#include "engine/teRandom.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"

namespace qvt {
namespace {

using test::EffectStage;

// The step at which each pattern cell switches to the arriving page, for
// the styles that have 64 steps (row y, column x).
constexpr int kDitherSteps[8][8] = {
    {2, 34, 10, 42, 3, 35, 11, 43},  {54, 30, 62, 22, 55, 31, 63, 23}, {14, 46, 6, 38, 15, 47, 7, 39},
    {58, 18, 50, 26, 59, 19, 51, 27}, {4, 36, 12, 44, 1, 33, 9, 41},  {56, 32, 64, 24, 53, 29, 61, 21},
    {16, 48, 8, 40, 13, 45, 5, 37},  {60, 20, 52, 28, 57, 17, 49, 25},
};
constexpr int kSpiralSteps[8][8] = {
    {64, 37, 38, 39, 40, 41, 42, 43}, {63, 36, 17, 18, 19, 20, 21, 44}, {62, 35, 16, 5, 6, 7, 22, 45},
    {61, 34, 15, 4, 1, 8, 23, 46},    {60, 33, 14, 3, 2, 9, 24, 47},    {59, 32, 13, 12, 11, 10, 25, 48},
    {58, 31, 30, 29, 28, 27, 26, 49}, {57, 56, 55, 54, 53, 52, 51, 50},
};

int Mod8(int v) { return (v % 8 + 8) % 8; }

// The step (1 .. frames) at which cell (x, y) of the pattern turns black.
int StepOf(int style, int x, int y) {
    switch (style) {
    case 1: return kDitherSteps[y][x];
    case 2: return y + 1;                       // lines from the top
    case 3: return 8 - y;                       // from the bottom
    case 4: return x + 1;                       // from the left
    case 5: return 8 - x;                       // from the right
    case 6: return std::max(x, y) + 1;          // a square growing from the top-left
    case 7: return 8 - std::max(x, y);          // its outer rings first
    case 8: return kSpiralSteps[y][x];          // from the centre outward
    case 9: return 65 - kSpiralSteps[y][x];     // from the corner inward
    case 10: return Mod8(x - y) == 0 ? 8 : Mod8(x - y);
    case 11: return 9 - (Mod8(x - y) == 0 ? 8 : Mod8(x - y));
    case 12: return Mod8(x + y) + 1;
    case 13: return 8 - Mod8(x + y);
    default: return 0;
    }
}

int FramesOf(int style) { return style == 1 || style == 8 || style == 9 ? 64 : 8; }

// A fuse that advances by a chosen minimum step and records its run.
class ProbeFuse : public TFuseTransition {
public:
    ProbeFuse() : TFuseTransition(nullptr) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TFuseTransition::Initialize(data, totalFrames);
        total = totalFrames;
        seedAfterInitialize = RandSeed;
        styleInUse = StyleToUse();
        workIsDeparting = data.Bitmap != nullptr && data.Bitmap == data.SrcImage;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TFuseTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++frames;
    }
    void Finalize(TTETransitionData &data) override {
        seedAtFinalize = RandSeed;
        TFuseTransition::Finalize(data);
    }
    int minStep = 1, total = -1, frames = 0, current = 0, styleInUse = 0;
    uint32_t seedAfterInitialize = 0, seedAtFinalize = 0;
    bool workIsDeparting = false;
};

class Fuse : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Runs the fuse on a stage and checks every picture against `style`'s
    // pattern at the frame shown: the departing page first, the arriving
    // page last, every pixel revealed by then.
    static void FollowStyle(EffectStage &stage, ProbeFuse &e, int style) {
        struct Shot {
            std::vector<uint8_t> window;
            int frame;
        };
        std::vector<Shot> shots;
        stage.Run(e, [&] { shots.push_back({stage.Window(), e.current}); });
        ASSERT_GE(shots.size(), 3u);
        EXPECT_EQ(stage.DifferencesFromDepartingPage(shots.front().window), "");
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().window), "");
        for (size_t i = 1; i + 1 < shots.size(); ++i) {
            const int f = shots[i].frame;
            ASSERT_GT(f, 0);
            const std::string diff = stage.Differences(shots[i].window, [&](int x, int y) {
                return StepOf(style, x % 8, y % 8) <= f ? stage.Arriving(x, y) : stage.Departing(x, y);
            });
            EXPECT_EQ(diff, "") << "frame " << f;
        }
    }
};

TEST_F(Fuse, DescribesItselfAndStoresOnlyStylesUpToThirteen) {
    TFuseTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Fuse");
    EXPECT_EQ(e.GetEditorName(), "TFuseTransitionEditor");
    EXPECT_FALSE(e.IsPlainEffect());
    EXPECT_TRUE(e.NeedWorkBitmap());
    EXPECT_TRUE(e.WorkOnSrcImage());
    EXPECT_EQ(e.Style, 1);
    EXPECT_EQ(e.RandomStyle, 0);
    struct Case {
        uint16_t from, set, want;
    } cases[] = {{1, 0, 0}, {1, 13, 13}, {5, 14, 5}, {5, 65535, 5}, {13, 2, 2}, {0, 0, 0}};
    for (const Case &c : cases) {
        e.Style = c.from;
        e.SetStyle(c.set);
        EXPECT_EQ(e.Style, c.want) << c.from << " set to " << c.set;
    }

    // Catalogued from its metadata, with the setter's range.
    StartTransitionEngine();
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    const TTransitionDescription *fuse = FindTransition(catalogue, "Fuse");
    ASSERT_NE(fuse, nullptr);
    EXPECT_EQ(fuse->ClassName, "TFuseTransition");
    EXPECT_EQ(fuse->Code, "07");
    const TPropertyDescription *style = fuse->FindProperty("Style");
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(style->Min, 0);
    EXPECT_EQ(style->Max, 13);
    EXPECT_EQ(style->Default, "1");
    ASSERT_NE(fuse->FindProperty("Reversed"), nullptr);

    // A record keeps both properties.
    TFuseTransition stored(nullptr);
    stored.SetStyle(9);
    stored.Reversed = true;
    const std::string record = TransitionToParams(stored);
    std::unique_ptr<TTransitionEffect> back;
    ParamsToTransition(back, record.data(), static_cast<int>(record.size()));
    auto *read = dynamic_cast<TFuseTransition *>(back.get());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Style, 9);
    EXPECT_TRUE(read->Reversed);
}

// Every style, and every style reversed (which must run its twin), fills
// the pattern in its own order on each display depth; the area's size is
// no multiple of 8, so partial tiles show at the right and bottom.
TEST_F(Fuse, EachStyleFillsThePatternInItsOrderAndReversedRunsTheTwin) {
    const int twin[14] = {0, 1, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12};
    const int depths[] = {8, 15, 16, 24, 32};
    int run = 0;
    for (int style = 1; style <= 13; ++style)
        for (bool reversed : {false, true}) {
            const int depth = depths[run++ % 5];
            const int expected = reversed ? twin[style] : style;
            SCOPED_TRACE(::testing::Message() << "style " << style << (reversed ? " reversed" : "") << ", " << depth
                                              << " bits");
            ProbeFuse e;
            e.SetStyle(static_cast<uint16_t>(style));
            e.Reversed = reversed;
            EffectStage stage(depth, 19, 13);
            FollowStyle(stage, e, expected);
            EXPECT_EQ(e.styleInUse, expected);
            EXPECT_EQ(e.total, FramesOf(expected));
            EXPECT_EQ(e.frames, FramesOf(expected) - 1);
            EXPECT_TRUE(e.workIsDeparting);
            EXPECT_EQ(e.Pattern, nullptr);
        }
}

// Frames that skip ahead draw every element they passed before the copy:
// fixed steps of 3 and sampled runs whose steps vary.
TEST_F(Fuse, SkippedElementsAreCaughtUp) {
    struct Case {
        int style, depth, minStep, milliseconds;
    } cases[] = {
        {1, 32, 3, 0}, {8, 8, 3, 0}, {6, 16, 3, 0}, {12, 32, 2, 0}, {9, 32, 1, 150}, {1, 8, 1, 90}, {4, 16, 1, 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "style " << c.style << ", " << c.depth << " bits, step " << c.minStep
                                          << ", " << c.milliseconds << " ms");
        ProbeFuse e;
        e.SetStyle(static_cast<uint16_t>(c.style));
        e.minStep = c.minStep;
        e.Milliseconds = c.milliseconds;
        EffectStage stage(c.depth, 17, 10);
        FollowStyle(stage, e, c.style);
        EXPECT_LT(e.frames, FramesOf(c.style) - 1);
    }
}

// The generator's seed before a draw, from the seed after it.
uint32_t SeedBefore(uint32_t after) {
    // The multiplier's inverse modulo 2^32, by Newton's iteration.
    uint32_t inv = 134775813u;
    for (int i = 0; i < 5; ++i) inv *= 2u - 134775813u * inv;
    return (after - 1u) * inv;
}

uint32_t MillisecondsOfDay() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return ((uint32_t{t.wHour} * 60 + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

// Style 0: each run reseeds from the time of day, draws one style from the
// fresh seed (and no more numbers during the run), runs it, and forgets it
// afterwards unless the effect runs two passes.
TEST_F(Fuse, StyleZeroDrawsARandomStyleAfterReseeding) {
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(::testing::Message() << depth << " bits");
        ProbeFuse e;
        e.SetStyle(0);
        e.Reversed = depth == 16;
        RandSeed = 12345;
        EffectStage stage(depth, 12, 9);
        const uint32_t before = MillisecondsOfDay();
        int drawn = 0;
        stage.Run(e, [&] {
            if (drawn == 0) drawn = e.RandomStyle;
        });
        const uint32_t after = MillisecondsOfDay();
        const uint32_t seed = SeedBefore(e.seedAfterInitialize);
        // The seed is the clock's (unless midnight passed during the run).
        if (before <= after) {
            EXPECT_GE(seed, before);
            EXPECT_LE(seed, after);
        }
        const int want = static_cast<int>((uint64_t{e.seedAfterInitialize} * 13) >> 32) + 1;
        EXPECT_EQ(drawn, want);
        EXPECT_EQ(e.seedAtFinalize, e.seedAfterInitialize);
        EXPECT_EQ(e.styleInUse, e.Reversed && want > 1 ? (want % 2 == 0 ? want + 1 : want - 1) : want);
        EXPECT_EQ(e.total, FramesOf(e.styleInUse));
        EXPECT_EQ(e.RandomStyle, 0);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }

    // Two passes keep the style for the run that follows.
    ProbeFuse e;
    e.SetStyle(0);
    e.PassSetting = teTwoPasses;
    EffectStage stage(32, 16, 8);
    stage.Run(e);
    const int first = e.RandomStyle;
    EXPECT_GE(first, 1);
    EXPECT_LE(first, 13);
    stage.Run(e);
    EXPECT_EQ(e.RandomStyle, first);
    EXPECT_EQ(e.styleInUse, first);
}

// A run kept for a second pass follows the random style drawn by the
// first, frame by frame.
TEST_F(Fuse, TheRandomStyleIsTheOneDrawn) {
    ProbeFuse e;
    e.SetStyle(0);
    e.PassSetting = teTwoPasses;
    {
        EffectStage first(16, 11, 9);
        first.Run(e);
    }
    const int style = e.RandomStyle;
    ASSERT_GE(style, 1);
    EffectStage stage(16, 11, 9);
    FollowStyle(stage, e, style);
}

// Empty areas end like a run of no frames, drawing nothing; a one-pixel area
// runs to the arriving page.
TEST_F(Fuse, EmptyAndOnePixelAreas) {
    for (auto [w, h] : {std::pair{0, 8}, {8, 0}, {0, 0}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h);
        EffectStage stage(32, w, h);
        const std::vector<uint8_t> before = stage.Window();
        ProbeFuse e;
        EXPECT_THROW(stage.Run(e), rtl::EAbort);
        EXPECT_EQ(e.frames, 0);
        EXPECT_EQ(stage.Window(), before);
        EXPECT_EQ(e.Pattern, nullptr);
    }
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(::testing::Message() << depth << " bits, 1 x 1");
        EffectStage stage(depth, 1, 1);
        ProbeFuse e;
        e.SetStyle(8);
        stage.Run(e);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

} // namespace
} // namespace qvt
