// The Drip effect: the uncovered strip and the smeared line frame by frame on
// every depth the scan-line copies differ on, skipped frames, reversal, the
// stretch mode of the target, refused directions and degenerate areas.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effects/teDrip.h"
#include "effects/teRegister.h"
#include "engine/TransRun.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "record_names.h"
#include "two_pages.h"

namespace qvt {
namespace {

using test::Picture;
using test::TwoPages;

// A drip that reads the window each time a frame is about to be drawn, that
// is the previous frame as the driver put it on the screen.
class ProbeDrip : public TDripTransition {
public:
    explicit ProbeDrip(TwoPages &pages) : TDripTransition(nullptr), pages(pages) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TDripTransition::Initialize(data, totalFrames);
        total = totalFrames;
        modeInRun = GetStretchBltMode(data.DrawCanvas().Handle());
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        if (last > 0) {
            frames.push_back(last);
            pictures.push_back(pages.read());
        }
        TDripTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        ++drawn;
    }
    TwoPages &pages;
    int minStep = 1, total = -1, modeInRun = 0, drawn = 0;
    std::vector<int> frames;
    std::vector<Picture> pictures;
};

// Frame c (c lines uncovered, the last `step` of them by this frame) in
// direction dir: the uncovered lines show the arriving page in place, the
// rest shows the first line of this frame's strip, counted from the left or
// the top, repeated across it.
Picture FramePicture(TTEEffectDirection dir, int c, int step, const Picture &page) {
    const int w = page.width, h = page.height;
    Picture p = page;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sx = x, sy = y;
            switch (dir) {
            case tedRight: // from the right edge leftwards
                if (x < w - c) sx = w - c;
                break;
            case tedLeft: // from the left edge rightwards
                if (x >= c) sx = c - step;
                break;
            case tedDown: // from the bottom edge upwards
                if (y < h - c) sy = h - c;
                break;
            default: // tedUp: from the top edge downwards
                if (y >= c) sy = c - step;
                break;
            }
            std::memcpy(&p.rgb[(static_cast<size_t>(y) * w + x) * 3], &page.rgb[(static_cast<size_t>(sy) * w + sx) * 3],
                        3);
        }
    return p;
}

std::string Difference(const Picture &got, const Picture &want) {
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x)
            if (got.at(x, y) != want.at(x, y)) {
                std::ostringstream s;
                s << "pixel (" << x << ", " << y << ") is " << std::hex << got.at(x, y) << ", want " << want.at(x, y);
                return s.str();
            }
    return "";
}

class DripEffect : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Runs e untimed with the target in another stretch mode, which must be
    // back after the run.
    static void Run(ProbeDrip &e, TwoPages &pages) {
        const int before = SetStretchBltMode(pages.screen(), WHITEONBLACK);
        RunTransition(e, pages.area(), pages.screen(), pages.page());
        EXPECT_EQ(GetStretchBltMode(pages.screen()), WHITEONBLACK);
        SetStretchBltMode(pages.screen(), before);
    }
};

TEST_F(DripEffect, EachDirectionUncoversStripsAndSmearsTheLineAhead) {
    // 11 x 10 with rows of 11 pixels: every depth pads its scan lines
    // differently, which the vertical scan-line copies must respect.
    const TTEEffectDirection opposite[] = {tedNone, tedLeft, tedRight, tedUp, tedDown};
    for (int depth : {8, 16, 24, 32}) {
        TwoPages pages(depth, 11, 10);
        for (TTEEffectDirection dir : {tedRight, tedLeft, tedDown, tedUp})
            for (bool reversed : {false, true})
                for (int step : {1, 3}) {
                    SCOPED_TRACE(::testing::Message() << depth << " bits, " << kEffectDirectionNames[dir]
                                                      << (reversed ? " reversed" : "") << ", step " << step);
                    pages.ShowDeparting();
                    ProbeDrip e(pages);
                    e.SetDirection(dir);
                    e.Reversed = reversed;
                    e.minStep = step;
                    const TTEEffectDirection used = reversed ? opposite[dir] : dir;
                    const bool vertical = used == tedDown || used == tedUp;
                    EXPECT_EQ(e.NeedWorkBitmap(), vertical);
                    Run(e, pages);
                    const int total = vertical ? 10 : 11;
                    EXPECT_EQ(e.total, total);
                    EXPECT_EQ(e.drawn, (total - 1) / step);
                    if (!vertical) {
                        EXPECT_EQ(e.modeInRun, COLORONCOLOR);
                    }
                    for (size_t i = 0; i < e.frames.size(); ++i) {
                        EXPECT_EQ(Difference(e.pictures[i], FramePicture(used, e.frames[i], step, pages.arrivingShown)),
                                  "")
                            << "frame " << e.frames[i];
                    }
                    EXPECT_EQ(Difference(pages.read(), pages.arrivingShown), "") << "after the run";
                    EXPECT_TRUE(e.WorkRows.empty());
                    EXPECT_TRUE(e.DstRows.empty());
                }
    }
}

TEST_F(DripEffect, DownwardsInStepsOfThreeSmearsTheStripsTopRow) {
    TwoPages pages(16, 8, 9);
    struct FirstFrame : ProbeDrip {
        using ProbeDrip::ProbeDrip;
        void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
            ProbeDrip::ExecuteFrame(data, frame, step, totalFrames, last);
            if (frame == 3) {
                UpdateScreen(false);
                first = pages.read();
            }
        }
        Picture first;
    } e(pages);
    e.SetDirection(tedDown);
    e.minStep = 3;
    Run(e, pages);
    const Picture &page = pages.arrivingShown;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(e.first.at(x, y), page.at(x, y >= 6 ? y : 6)) << x << ", " << y;
}

TEST_F(DripEffect, RefusedDirectionsKeepTheDefault) {
    TDripTransition e(nullptr);
    EXPECT_EQ(e.Direction, tedLeft);
    for (TTEEffectDirection refused : {tedNone, tedDownRight, tedIn, tedOut}) e.SetDirection(refused);
    EXPECT_EQ(e.Direction, tedLeft);
    EXPECT_EQ(e.GetDescription(), "Drip");
    EXPECT_FALSE(e.NeedSrcImage());
    EXPECT_FALSE(e.AllowsTwoPasses());

    // A record naming a direction the drip does not take keeps tedLeft and
    // reads the rest.
    RegisterAllTransitions();
    TDripTransition stored(nullptr);
    stored.SetDirection(tedUp);
    stored.Reversed = true;
    std::unique_ptr<TTransitionEffect> decoded = test::DecodeWithName(TransitionToParams(stored), "tedUp", "tedDownRight");
    auto *drip = dynamic_cast<TDripTransition *>(decoded.get());
    ASSERT_NE(drip, nullptr);
    EXPECT_EQ(drip->Direction, tedLeft);
    EXPECT_TRUE(drip->Reversed);
}

TEST_F(DripEffect, EmptyAreasAbortAndThinOnesEndWithTheArrivingPage) {
    for (TTEEffectDirection dir : {tedRight, tedLeft, tedDown, tedUp}) {
        SCOPED_TRACE(kEffectDirectionNames[dir]);
        for (auto [w, h] : {std::pair{0, 5}, {6, 0}, {0, 0}}) {
            SCOPED_TRACE(::testing::Message() << w << " x " << h);
            TwoPages pages(32, w, h);
            ProbeDrip e(pages);
            e.SetDirection(dir);
            EXPECT_THROW(Run(e, pages), rtl::EAbort);
            EXPECT_EQ(e.drawn, 0);
        }
        for (int depth : {8, 32})
            for (auto [w, h] : {std::pair{1, 5}, {6, 1}, {1, 1}}) {
                SCOPED_TRACE(::testing::Message() << depth << " bits, " << w << " x " << h);
                TwoPages pages(depth, w, h);
                ProbeDrip e(pages);
                e.SetDirection(dir);
                Run(e, pages);
                EXPECT_EQ(pages.read(), pages.arrivingShown);
            }
    }
}

} // namespace
} // namespace qvt
