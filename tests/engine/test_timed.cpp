// The frame driver and the stopwatch, on a clock the test drives.
#include <gtest/gtest.h>

#include <vector>

#include "driven_clock.h"
#include "engine/TransRun.h"
#include "engine/teTimed.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"
#include "qvt/qvtsys.h"

namespace qvt {
namespace {

struct Call {
    int frame, step, lastFrame;
};

class RecordingEffect : public TTimedTransitionEffect {
public:
    explicit RecordingEffect(DrivenClock *clock = nullptr) : TTimedTransitionEffect(nullptr), clock(clock) {}
    static const rtl::TClassInfo &StaticClassInfo() {
        static const rtl::TClassInfo info =
            rtl::DeclareClass<RecordingEffect, TTimedTransitionEffect>("TRecordingEffect").Build();
        return info;
    }
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TTimedTransitionEffect::Initialize(data, totalFrames);
        totalFrames = frames;
        initialized = DirtyRects != nullptr;
    }
    void Finalize(TTETransitionData &data) override {
        ++finalized;
        TTimedTransitionEffect::Finalize(data);
    }
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames, int last) override {
        TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, last);
        calls.push_back({currentFrame, step, last});
        if (clock) clock->advance(calls.size() == 1 ? firstFrameCost : frameCost);
        if (throwAt == currentFrame) throw rtl::Exception("frame failed");
    }
    int GetMinStep() const override { return minStep; }
    bool NeedSrcImage() const override { return false; }

    DrivenClock *clock;
    int frames = 100, minStep = 1, throwAt = -1, finalized = 0;
    double frameCost = 0, firstFrameCost = 0;
    bool initialized = false;
    std::vector<Call> calls;
};

// Counts the output frames of a sampled run: the effect frame each shows.
struct CountingSink : TFrameSink {
    std::vector<int> framesAtEmit;
    RecordingEffect *effect = nullptr;
    void EmitFrame() override { framesAtEmit.push_back(effect->calls.empty() ? 0 : effect->calls.back().frame); }
};

// A window showing black and a white new page; a run ends with white.
class Driver : public ::testing::Test {
protected:
    void SetUp() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
        wnd = QvtCreateWindow(8, 8);
        screen = GetDC(wnd);
        page.SetPixelFormat(pf32bit);
        page.SetSize(8, 8);
        PatBlt(page.Canvas().Handle(), 0, 0, 8, 8, WHITENESS);
    }
    void TearDown() override {
        ReleaseDC(wnd, screen);
        QvtDestroyWindow(wnd);
    }
    void run(RecordingEffect &e) {
        RunTransition(e, RECT{0, 0, 8, 8}, screen, page.Canvas().Handle());
    }
    // Sets e to `frames` frames in steps of at least minStep lasting ms,
    // and runs it sampled as `sampling` says; the effect frame on screen at
    // each output frame (0: none drawn yet).
    std::vector<int> runSampled(RecordingEffect &e, int frames, int minStep, int ms, TFrameSampling sampling) {
        e.frames = frames;
        e.minStep = minStep;
        e.Milliseconds = ms;
        CountingSink sink;
        sink.effect = &e;
        sampling.Sink = &sink;
        e.SetSampling(&sampling);
        run(e);
        return sink.framesAtEmit;
    }
    // A run of `ms` milliseconds; with a driven clock, each frame costs
    // frameCost ms (the first one firstFrameCost).
    struct Timing {
        int frames = 100, minStep = 1, ms = 1000;
        double frameCost = 0, firstFrameCost = 0;
    };
    void runTimed(RecordingEffect &e, const Timing &t) {
        e.frames = t.frames;
        e.minStep = t.minStep;
        e.Milliseconds = t.ms;
        e.frameCost = t.frameCost;
        e.firstFrameCost = t.firstFrameCost;
        run(e);
    }
    bool showsNewPage() { return GetPixel(screen, 7, 7) == RGB(255, 255, 255); }
    HWND wnd{};
    HDC screen{};
    rtl::TBitmap page;
};

TEST_F(Driver, UntimedRunDrawsEveryMinStepThenThePage) {
    struct Case {
        int frames, minStep;
        std::vector<int> expected;
    } cases[] = {{5, 1, {1, 2, 3, 4}}, {13, 4, {4, 8, 12}}, {12, 4, {4, 8}}, {1, 1, {}}, {3, 5, {}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.frames << " frames, step " << c.minStep);
        PatBlt(screen, 0, 0, 8, 8, BLACKNESS);
        RecordingEffect e;
        e.frames = c.frames;
        e.minStep = c.minStep;
        run(e);
        std::vector<int> got;
        for (const Call &call : e.calls) {
            got.push_back(call.frame);
            EXPECT_EQ(call.step, c.minStep);
            EXPECT_EQ(call.lastFrame, call.frame - c.minStep);
        }
        EXPECT_EQ(got, c.expected);
        EXPECT_TRUE(e.initialized);
        EXPECT_EQ(e.finalized, 1);
        EXPECT_EQ(e.DirtyRects, nullptr);
        EXPECT_TRUE(showsNewPage());
    }
}

TEST_F(Driver, NoFramesAbortsWithoutShowingThePage) {
    for (int frames : {0, -3}) {
        PatBlt(screen, 0, 0, 8, 8, BLACKNESS);
        RecordingEffect e;
        e.frames = frames;
        e.Milliseconds = 500;
        try {
            run(e);
            ADD_FAILURE() << "no abort";
        } catch (const rtl::EAbort &a) {
            EXPECT_STREQ(a.what(), "Operation aborted");
        }
        EXPECT_EQ(e.finalized, 1);
        EXPECT_TRUE(e.calls.empty());
        EXPECT_FALSE(showsNewPage());
    }
}

TEST_F(Driver, AFailingFrameStillFinalizes) {
    RecordingEffect e;
    e.throwAt = 3;
    EXPECT_THROW(run(e), rtl::Exception);
    EXPECT_EQ(e.finalized, 1);
    EXPECT_EQ(e.WorkBitmap, nullptr);
}

TEST_F(Driver, FastDrawingWaitsAndEndsOnTime) {
    DrivenClock clock;
    RecordingEffect e(&clock);
    runTimed(e, {.frames = 100, .frameCost = 0.5});
    // Every frame drawn, in order, and the run lasted the requested time.
    ASSERT_EQ(e.calls.size(), 99u);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(e.calls[i].frame, i + 1);
    EXPECT_NEAR(clock.ms(), 1000, 15);
    EXPECT_TRUE(showsNewPage());
}

TEST_F(Driver, SlowDrawingSkipsFramesAndStillEndsNearTheDuration) {
    DrivenClock clock;
    RecordingEffect e(&clock);
    runTimed(e, {.frames = 100, .frameCost = 50, .firstFrameCost = 50});
    EXPECT_LT(e.calls.size(), 30u);
    for (size_t i = 1; i < e.calls.size(); ++i) {
        EXPECT_GT(e.calls[i].frame, e.calls[i - 1].frame);
        EXPECT_EQ(e.calls[i].step, e.calls[i].frame - e.calls[i].lastFrame);
        EXPECT_EQ(e.calls[i].lastFrame, e.calls[i - 1].frame);
    }
    EXPECT_LT(e.calls.back().frame, 100);
    EXPECT_NEAR(clock.ms(), 1000, 100);
    EXPECT_TRUE(showsNewPage());
}

TEST_F(Driver, ClockPastTheDurationAfterOneFrameEndsAtOnce) {
    DrivenClock clock;
    RecordingEffect e(&clock);
    runTimed(e, {.frames = 100, .firstFrameCost = 2000});
    ASSERT_EQ(e.calls.size(), 1u);
    EXPECT_EQ(e.calls[0].frame, 1);
    EXPECT_TRUE(showsNewPage());
}

TEST_F(Driver, ClockedStepsAreMultiplesOfTheMinimumStep) {
    DrivenClock clock;
    RecordingEffect e(&clock);
    runTimed(e, {.frames = 203, .minStep = 4, .frameCost = 30});
    ASSERT_GE(e.calls.size(), 2u);
    for (size_t i = 0; i + 1 < e.calls.size(); ++i) EXPECT_EQ(e.calls[i].step % 4, 0) << "call " << i;
    EXPECT_LT(e.calls.back().frame, 203);
}

TEST_F(Driver, TotalFramesOfOneDrawsOnlyThePage) {
    DrivenClock clock;
    RecordingEffect e(&clock);
    runTimed(e, {.frames = 1});
    EXPECT_TRUE(e.calls.empty());
    EXPECT_TRUE(showsNewPage());
}


TEST_F(Driver, SampledRunShowsTheTransitionAtEachOutputTime) {
    struct Case {
        int ms, frames, minStep;
        double fps;
        std::vector<int> shown; // effect frame on screen at each output frame
    } cases[] = {
        // 10 output frames last the second; frame j at j * 1000 / 9 ms.
        {1000, 100, 1, 10, {0, 11, 22, 33, 44, 55, 66, 77, 88, 88}},
        {1000, 100, 4, 10, {0, 8, 20, 32, 44, 52, 64, 76, 88, 88}},
        {1000, 5, 1, 10, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4}},
        {1000, 99, 1, 4, {0, 33, 66, 66}}, // thirds fall exactly on frames
        // 37.5 frames round to 38; frame j at j * 1500 / 37 ms.
        {1500, 10, 1, 25, {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4,
                           5, 5, 5, 5, 6, 6, 6, 7, 7, 7, 7, 8, 8, 8, 8, 9, 9, 9, 9}},
        {0, 4, 1, 25, {0, 1, 2, 3, 3}}, // untimed: every effect frame once
        {1, 100, 1, 25, {0, 0}},        // shorter than one output frame
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.ms << " ms, " << c.frames << " frames, step " << c.minStep);
        PatBlt(screen, 0, 0, 8, 8, BLACKNESS);
        RecordingEffect e;
        const std::vector<int> shown = runSampled(e, c.frames, c.minStep, c.ms, {c.fps});
        EXPECT_EQ(shown, c.shown);
        if (c.ms > 0) {
            EXPECT_EQ((int)shown.size(), TTimedTransitionEffect::SampledFrameCount(c.ms, c.fps));
        }
        for (size_t i = 1; i < e.calls.size(); ++i) EXPECT_GT(e.calls[i].frame, e.calls[i - 1].frame);
        EXPECT_TRUE(showsNewPage());
    }
}

TEST_F(Driver, StillShowsTheFrameReachedAtItsMoment) {
    struct Case {
        int ms, frames, minStep;
        double at;
        int shown;     // effect frame on screen (0: none drawn)
        bool arriving; // the arriving page on screen
    } cases[] = {
        {1000, 100, 1, 0.5, 50, false},     {1000, 100, 4, 0.5, 48, false}, {1000, 99, 1, 1.0 / 3, 33, false},
        {0, 100, 1, 0.25, 25, false},       {1000, 100, 1, 0, 0, false},    {1000, 100, 1, 0.999, 99, false},
        {1000, 100, 1, 1, 88, true},        {1000, 100, 1, 0.3, 30, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.ms << " ms, " << c.frames << " frames, at " << c.at);
        // The run the still belongs to, at 10 frames a second.
        RecordingEffect whole;
        runSampled(whole, c.frames, c.minStep, c.ms, {10});

        PatBlt(screen, 0, 0, 8, 8, BLACKNESS);
        RecordingEffect e;
        EXPECT_EQ(runSampled(e, c.frames, c.minStep, c.ms, {10, nullptr, c.at}), std::vector<int>{c.shown});
        EXPECT_EQ(showsNewPage(), c.arriving);
        // It gets there through the run's own frames, then one more step.
        ASSERT_LE(e.calls.size(), whole.calls.size() + 1);
        for (size_t i = 0; i + 1 < e.calls.size(); ++i) {
            EXPECT_EQ(e.calls[i].frame, whole.calls[i].frame);
            EXPECT_EQ(e.calls[i].step, whole.calls[i].step);
        }
    }
}

TEST(Stopwatch, StartPauseAndResetRules) {
    DrivenClock clock;
    clock.perRead = 0;
    TTEChrono c;
    EXPECT_TRUE(c.HighResolution);
    EXPECT_TRUE(c.IsStopped());
    EXPECT_EQ(c.Elapsed(), 0);
    c.Start();
    clock.advance(10);
    c.Start(); // already running: keeps its first start
    clock.advance(5);
    EXPECT_DOUBLE_EQ(c.Elapsed(), 15);
    c.Pause();
    clock.advance(100);
    EXPECT_DOUBLE_EQ(c.Elapsed(), 15); // frozen while paused
    c.Start();
    clock.advance(1);
    EXPECT_DOUBLE_EQ(c.Elapsed(), 16);
    c.Reset();
    EXPECT_EQ(c.Elapsed(), 0);
    EXPECT_TRUE(c.IsStopped());
}

TEST(Stopwatch, FallsBackToTheMillisecondTimer) {
    DrivenClock clock;
    QvtSetPerformanceClock(&DrivenClock::Read, 0, &clock); // no counter
    TTEChrono c;
    EXPECT_FALSE(c.HighResolution);
    c.Start();
    EXPECT_GE(c.Elapsed(), 0);
}

} // namespace
} // namespace qvt
