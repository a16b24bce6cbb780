// The Push effect followed frame by frame: at frame F the arriving page has
// come F pixels in from one edge and the departing page has moved F pixels
// out at the other.
#include <gtest/gtest.h>

#include <vector>

#include "effect_stage.h"
#include "effects/tePush.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;

class ProbePush : public TPushTransition {
public:
    ProbePush() : TPushTransition(nullptr) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TPushTransition::Initialize(data, totalFrames);
        total = totalFrames;
        hadDepartingImage = data.SrcImage != nullptr;
        hadWorkBitmap = data.Bitmap != nullptr;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TPushTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++frames;
    }
    int minStep = 1, total = -1, current = 0, frames = 0;
    bool hadDepartingImage = false, hadWorkBitmap = false;
};

// What pixel (x, y) of the area shows at frame f.
Rgb PushedPixel(const EffectStage &s, TTEEffectDirection dir, int f, int x, int y) {
    const int w = s.Width(), h = s.Height();
    switch (dir) {
    case tedRight: return x < f ? s.Arriving(x + w - f, y) : s.Departing(x - f, y);
    case tedLeft: return x < w - f ? s.Departing(x + f, y) : s.Arriving(x - (w - f), y);
    case tedDown: return y < f ? s.Arriving(x, y + h - f) : s.Departing(x, y - f);
    default: return y < h - f ? s.Departing(x, y + f) : s.Arriving(x, y - (h - f));
    }
}

class Push : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Push, EveryFrameShowsBothPagesShiftedByTheFrame) {
    struct Case {
        int depth;
        TTEEffectDirection direction;
        bool reversed;
        TTEEffectDirection travels; // the direction in use
        int minStep;
        int milliseconds; // > 0: sampled steps
    } cases[] = {
        {32, tedRight, false, tedRight, 1, 0}, {8, tedLeft, false, tedLeft, 1, 0},
        {16, tedDown, false, tedDown, 2, 0},   {32, tedUp, false, tedUp, 1, 100},
        {8, tedDown, true, tedUp, 1, 0},       {15, tedRight, true, tedLeft, 3, 0},
        {32, tedLeft, true, tedRight, 1, 100}, {16, tedUp, true, tedDown, 1, 100},
    };
    const int w = 36, h = 20;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, " << kEffectDirectionNames[c.direction]
                                          << (c.reversed ? " reversed" : "") << ", step " << c.minStep << ", "
                                          << c.milliseconds << " ms");
        ProbePush e;
        e.SetDirection(c.direction);
        e.Reversed = c.reversed;
        e.minStep = c.minStep;
        e.Milliseconds = c.milliseconds;
        ASSERT_EQ(e.DirectionToUse(), c.travels);
        EffectStage stage(c.depth, w, h);
        struct Shot {
            std::vector<uint8_t> window;
            int frames, current;
        };
        std::vector<Shot> shots;
        stage.Run(e, [&] { shots.push_back({stage.Window(), e.frames, e.current}); });
        EXPECT_EQ(e.total, c.travels == tedRight || c.travels == tedLeft ? w : h);
        EXPECT_TRUE(e.hadDepartingImage);
        EXPECT_FALSE(e.hadWorkBitmap);
        ASSERT_GE(shots.size(), 3u);
        EXPECT_GT(shots[shots.size() - 2].frames, 2);
        EXPECT_EQ(stage.DifferencesFromDepartingPage(shots.front().window), "");
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().window), "");
        for (size_t i = 1; i + 1 < shots.size(); ++i) {
            const Shot &s = shots[i];
            if (c.milliseconds == 0) {
                EXPECT_EQ(s.current, static_cast<int>(i) * c.minStep);
            }
            EXPECT_EQ(stage.Differences(s.window,
                                        [&](int x, int y) { return PushedPixel(stage, c.travels, s.current, x, y); }),
                      "")
                << "frame " << s.current;
        }
    }
}

// Frame 1 towards the right, spelled out: the arriving page's last column at
// the left edge, the departing page one pixel to the right.
TEST_F(Push, FirstFrameTowardsTheRight) {
    ProbePush e;
    e.SetDirection(tedRight);
    EffectStage stage(32, 12, 6);
    std::vector<uint8_t> first;
    stage.Run(e, [&] {
        if (e.frames == 1 && first.empty()) first = stage.Window();
    });
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(stage.Differences(first,
                                [&](int x, int y) {
                                    return x == 0 ? stage.Arriving(11, y) : stage.Departing(x - 1, y);
                                }),
              "");
}

TEST_F(Push, PublishedDefaultsAndRefusedDirections) {
    TPushTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Push");
    EXPECT_EQ(e.Direction, tedDown);
    EXPECT_FALSE(e.Reversed);
    EXPECT_FALSE(e.NeedWorkBitmap());
    for (TTEEffectDirection refused : {tedNone, tedDownRight, tedUpLeft, tedIn, tedOut}) {
        e.SetDirection(refused);
        EXPECT_EQ(e.Direction, tedDown) << kEffectDirectionNames[refused];
    }
    e.SetDirection(tedLeft);
    EXPECT_EQ(e.Direction, tedLeft);
    const rtl::TPropInfo *dir = TPushTransition::StaticClassInfo().FindProperty("Direction");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Default, tedDown);
}

// Empty areas end like a run of no frames, drawing nothing; one-pixel areas
// run to the arriving page.
TEST_F(Push, EmptyAndThinAreas) {
    struct Case {
        int width, height;
        TTEEffectDirection direction;
        bool aborts;
    } cases[] = {
        {0, 8, tedRight, true}, {0, 8, tedDown, true}, {8, 0, tedRight, true}, {8, 0, tedUp, true},
        {1, 8, tedRight, false}, {1, 8, tedDown, false}, {8, 1, tedLeft, false}, {8, 1, tedUp, false},
        {1, 1, tedDown, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << kEffectDirectionNames[c.direction]);
        EffectStage stage(32, c.width, c.height);
        const std::vector<uint8_t> before = stage.Window();
        ProbePush e;
        e.SetDirection(c.direction);
        if (c.aborts) {
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(stage.Window(), before);
        } else {
            stage.Run(e);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
}

} // namespace
} // namespace qvt
