// The mask-pattern framework, driven by a small test pattern that reveals
// the page column by column: column x is reached in pattern frame x + 1.
// The pattern comes in the three ways real patterns paint (new strips on
// one mask, whole shapes kept with a revealed mask and two smooth masks,
// and the shrinking rest of the leaving page on an inverted mask), and
// reports its change as one rectangle, as a rectangle with an unchanged
// core excluded, or as dirty rectangles that touch once rounded.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "smoothing_model.h"
#include "effects/teMasked.h"
#include "engine/teRandom.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;
using test::GreyAt;
using test::Greys;
using test::kGreys;
using test::Mix;

enum class Shape { Strips, Shapes, Inverted };
enum class Report { Rect, Core, Dirty };
const char *Name(Shape s) { return s == Shape::Strips ? "strips" : s == Shape::Shapes ? "shapes" : "inverted"; }
const char *Name(Report r) { return r == Report::Rect ? "rect" : r == Report::Core ? "core" : "dirty"; }

// Three styles: two sub-styles played backwards by each other, four paired
// 1-3 and 2-4, and one.
constexpr TMaskStyle kTestStyles[] = {{2, {2, 1}}, {4, {3, 4, 1, 2}}, {1, {}}};

class TestPattern : public TMaskedTransition {
public:
    TestPattern() : TMaskedTransition(nullptr) { SetStyles(kTestStyles); }

    Shape shape = Shape::Strips;
    Report report = Report::Rect;
    bool clearEachFrame = false;
    // Odd frames draw their strips straight on the screen, as a pattern
    // does when a frame changes little.
    bool screenOnOddFrames = false;
    int minStep = 1;
    std::optional<int> frames; // pattern frames; none: one per column
    // Replaces the column pattern when set.
    std::function<void(TestPattern &, TBitmap &, TTETransitionData &, bool draw, bool calcUpdate)> paint;
    std::function<void(TestPattern &, TTETransitionData &)> afterInitialize, afterFrame;

    // What the run did.
    int total = -1, current = 0, executed = 0, paintCalls = 0;
    uint16_t styleInRun = 0, subStyleInRun = 0;
    std::vector<std::string> badPaintFrames;

    int GetMinStep() const override { return minStep; }
    bool KeepRevealedMask() const override { return shape != Shape::Strips; }
    bool NeedTwoSmoothMasks() const override { return shape == Shape::Shapes; }
    bool InvertedMask() const override { return shape == Shape::Inverted; }
    bool ClearMaskEachFrame() const override { return clearEachFrame; }

    int CalcTotalFrames(TTETransitionData &data) override {
        styleInRun = StyleToUse();
        subStyleInRun = SubStyleToUse();
        return frames ? *frames : data.Width;
    }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TMaskedTransition::Initialize(data, totalFrames);
        total = totalFrames;
        if (afterInitialize) afterInitialize(*this, data);
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        if (screenOnOddFrames) AllowScreenUpdate = frame % 2 == 0;
        TMaskedTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++executed;
        if (afterFrame) afterFrame(*this, data);
    }
    void PaintMask(TBitmap &mask, int cur, int step, int t, int prev, TTETransitionData &data, bool draw,
                   bool calcUpdate) override {
        ++paintCalls;
        if (cur < 1 || cur > t || step != cur - prev)
            badPaintFrames.push_back(std::to_string(prev) + ".." + std::to_string(cur) + " of " + std::to_string(t));
        if (paint) return paint(*this, mask, data, draw, calcUpdate);
        const int w = data.Width, h = data.Height;
        if (draw) {
            const TRect r = shape == Shape::Strips   ? TRect{prev, 0, cur, h}
                            : shape == Shape::Shapes ? TRect{0, 0, cur, h}
                                                     : TRect{cur - 1, 0, w, h};
            mask.Canvas().FillRect(r);
            if (!AllowScreenUpdate)
                BitBlt(data.Canvas->Handle(), prev, 0, cur - prev, h, data.DstImage->Canvas().Handle(), prev, 0,
                       SRCCOPY);
        }
        if (!calcUpdate) return;
        // Inverted: the previous frame's leaving part, all of which may change.
        const TRect changed = shape == Shape::Inverted ? TRect{std::max(0, prev - 1), 0, w, h} : TRect{prev, 0, cur, h};
        switch (report) {
        case Report::Rect: UpdateRect = changed; break;
        case Report::Core:
            if (shape == Shape::Inverted) {
                UpdateRect = changed;
                ExcludeRect = TRect{cur, 0, w, h};
            } else {
                UpdateRect = TRect{0, 0, cur, h};
                ExcludeRect = TRect{0, 0, prev, h};
            }
            break;
        case Report::Dirty: {
            // Two halves that share a mask byte unless the middle falls on one.
            const int mid = (changed.left + changed.right) / 2;
            if (mid > changed.left) DirtyRects->Add(TRect{changed.left, 0, mid, h});
            if (changed.right > mid) DirtyRects->Add(TRect{mid, 0, changed.right, h});
            break;
        }
        }
    }
};

// The graded blend, per byte: arriving + floor((departing - arriving) * w / 256).
uint32_t Mix(uint32_t arriving, uint32_t departing, int m) {
    const int w = m == 0 ? 0 : m + 1;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((arriving >> shift) & 0xFF), d = static_cast<int>((departing >> shift) & 0xFF);
        out |= static_cast<uint32_t>(a + (((d - a) * w) >> 8)) << shift;
    }
    return out;
}

uint8_t MaskByte(TBitmap &mask, int x, int y) { return static_cast<const uint8_t *>(mask.ScanLine(y))[x]; }
bool MaskBitWhite(TBitmap &mask, int x, int y) {
    return (static_cast<const uint8_t *>(mask.ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) != 0;
}
uint32_t Pixel32(TBitmap &b, int x, int y) { return static_cast<const uint32_t *>(b.ScanLine(y))[x]; }

// The pixels of a 32-bit page.
std::vector<uint32_t> Pixels32(TBitmap &b, int w, int h) {
    std::vector<uint32_t> p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.push_back(Pixel32(b, x, y));
    return p;
}

class Masked : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Masked, SettersRefuseSilently) {
    TestPattern e;
    EXPECT_EQ(e.StyleCount, 3);
    EXPECT_EQ(e.GetStyle(), 1);
    EXPECT_EQ(e.GetSubStyle(), 1);
    EXPECT_EQ(e.GetSmoothingLevel(), 0);

    e.SetSubStyle(2);
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetSubStyle(3); // style 1 has two
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetStyle(4); // above StyleCount
    EXPECT_EQ(e.GetStyle(), 1);
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetStyle(1); // unchanged: the sub-style stays
    EXPECT_EQ(e.GetSubStyle(), 2);
    e.SetStyle(2);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetSubStyle(4);
    EXPECT_EQ(e.GetSubStyle(), 4);
    e.SetSubStyle(5);
    EXPECT_EQ(e.GetSubStyle(), 4);
    // Back to style 1: sub-style 1, though 2 would have been valid for it.
    e.SetSubStyle(2);
    e.SetStyle(1);
    EXPECT_EQ(e.GetSubStyle(), 1);
    // A random style makes the sub-style random; leaving it makes it 1.
    e.SetStyle(0);
    EXPECT_EQ(e.GetStyle(), 0);
    EXPECT_EQ(e.GetSubStyle(), 0);
    e.SetSubStyle(1); // style 0 has no sub-styles
    EXPECT_EQ(e.GetSubStyle(), 0);
    e.SetStyle(3);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetSubStyle(0); // a random sub-style of a chosen style
    EXPECT_EQ(e.GetSubStyle(), 0);

    for (uint16_t level : {6, 7, 65535, 0, 3}) e.SetSmoothingLevel(level);
    EXPECT_EQ(e.GetSmoothingLevel(), 3);
    e.SetSmoothingLevel(7);
    EXPECT_EQ(e.GetSmoothingLevel(), 3);
}

TEST_F(Masked, StyleTableAndItsAbsence) {
    TestPattern e;
    EXPECT_EQ(e.GetSubStyleCount(0), 0);
    EXPECT_EQ(e.GetSubStyleCount(2), 4);
    EXPECT_EQ(e.GetSubStyleCount(9), 1);
    EXPECT_EQ(e.GetReversedSubStyle(1, 1), 2);
    EXPECT_EQ(e.GetReversedSubStyle(2, 4), 2);
    EXPECT_EQ(e.GetReversedSubStyle(3, 1), 1);
    EXPECT_EQ(e.GetReversedSubStyle(2, 9), 9);
    EXPECT_EQ(e.GetReversedSubStyle(7, 1), 1);
    e.SetSubStyle(2);
    e.Reversed = true;
    EXPECT_EQ(e.SubStyleToUse(), 1);

    // A pattern without a table: one style of one sub-style, played as it is.
    struct Plain : TMaskedTransition {
        Plain() : TMaskedTransition(nullptr) {}
        int CalcTotalFrames(TTETransitionData &) override { return 0; }
        void PaintMask(TBitmap &, int, int, int, int, TTETransitionData &, bool, bool) override {}
    } plain;
    EXPECT_EQ(plain.StyleCount, 1);
    EXPECT_EQ(plain.GetSubStyleCount(0), 0);
    EXPECT_EQ(plain.GetSubStyleCount(5), 1);
    EXPECT_EQ(plain.GetReversedSubStyle(1, 4), 4);
    EXPECT_EQ(plain.GetEditorName(), "TMaskedTransitionEditor");
    EXPECT_FALSE(plain.IsPlainEffect());
    EXPECT_TRUE(plain.NeedWorkBitmap());
}

// Random choices come from the shared generator, style first; Reversed maps
// the drawn sub-style; a one-pass run forgets them, a second pass keeps them.
TEST_F(Masked, RandomStyleAndSubStyleByPassCount) {
    struct Generator {
        uint32_t seed;
        int Next(int range) {
            seed = seed * 134775813u + 1;
            return static_cast<int>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(range)) >> 32);
        }
    };
    struct Case {
        TTEPassSettingType pass;
        bool reversed;
        uint16_t style; // 0: random style and sub-style; else a random sub-style of it
    } cases[] = {{teOnePass, false, 0}, {teOnePass, true, 0}, {teTwoPasses, false, 0},
                 {teTwoPasses, true, 0}, {teOnePass, true, 2}, {teTwoPasses, false, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "pass setting " << int(c.pass) << ", reversed " << c.reversed
                                          << ", style " << c.style);
        for (uint32_t seed : {1u, 77u, 123456789u, 4000000000u}) {
            SCOPED_TRACE(seed);
            TestPattern e;
            e.PassSetting = c.pass;
            e.Reversed = c.reversed;
            e.SetStyle(c.style);
            e.SetSubStyle(0);
            Generator gen{seed};
            auto expect = [&](uint16_t &style, uint16_t &sub) {
                style = c.style ? c.style : static_cast<uint16_t>(gen.Next(3) + 1);
                const uint16_t drawn = static_cast<uint16_t>(gen.Next(e.GetSubStyleCount(style)) + 1);
                sub = c.reversed ? e.GetReversedSubStyle(style, drawn) : drawn;
            };
            uint16_t style = 0, sub = 0;
            expect(style, sub);
            EffectStage stage(32, 9, 3);
            RandSeed = seed;
            stage.Run(e);
            EXPECT_EQ(e.styleInRun, style);
            EXPECT_EQ(e.subStyleInRun, sub);
            EXPECT_EQ(RandSeed, gen.seed);
            if (c.pass == teOnePass) expect(style, sub);
            stage.Run(e);
            EXPECT_EQ(e.styleInRun, style);
            EXPECT_EQ(e.subStyleInRun, sub);
            EXPECT_EQ(RandSeed, gen.seed) << "a kept choice draws nothing";
        }
    }
}

TEST_F(Masked, BitmapWidthsAndFormatByMode) {
    struct Case {
        int depth;
        bool fast;
        uint16_t level;
        bool smooths;
    } cases[] = {{32, true, 3, true},  {24, true, 1, true},  {16, true, 3, true},   {15, true, 6, true},
                 {8, true, 3, false},  {16, false, 3, false}, {32, false, 6, false}, {32, true, 0, false}};
    const int widths[] = {0, 1, 7, 8, 9, 32, 33};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, fast " << c.fast << ", level " << c.level);
        QvtSetDisplayDepth(c.depth);
        TPixelFormat display = testing::RefreshDisplay();
        testing::SetProcessorFlags(c.fast, c.fast);
        TestPattern e;
        e.SetSmoothingLevel(c.level);
        EXPECT_EQ(e.UseSmoothing(), c.smooths);
        EXPECT_EQ(e.GetPixelFormat(), c.smooths ? pf32bit : display);
        EXPECT_EQ(e.WorkOnSrcImage(), !c.smooths);
        for (int w : widths) {
            const int unit = c.smooths ? 8 : 32;
            EXPECT_EQ(e.GetBitmapsWidth(w), w <= unit ? unit : (w + unit - 1) / unit * unit) << w;
        }
    }
}

// The grey constants of each level, and the frames a smoothing run adds;
// without the fast path or on an 8-bit display the same level runs hard.
TEST_F(Masked, SmoothingConstantsAndFrameCounts) {
    for (uint16_t level = 1; level <= 6; ++level) {
        SCOPED_TRACE(level);
        for (int depth : {16, 32}) {
            EffectStage stage(depth, 20, 4);
            testing::SetProcessorFlags(true, false);
            TestPattern e;
            e.SetSmoothingLevel(level);
            e.frames = 10;
            stage.Run(e);
            const Greys &g = kGreys[level];
            EXPECT_EQ(e.GreyStep, g.step);
            EXPECT_EQ(e.GreySteps, g.steps);
            EXPECT_EQ(e.TopGrey, g.top);
            EXPECT_EQ(e.BottomGrey, g.bottom);
            EXPECT_LT(e.BottomGrey, e.GreyStep);
            EXPECT_EQ(e.MaskFrames, 10);
            EXPECT_EQ(e.total, 10 + g.steps - 1);
        }
    }
    struct Case {
        int depth;
        bool fast;
    } hard[] = {{8, true}, {16, false}, {32, false}};
    for (const Case &c : hard) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, fast " << c.fast);
        EffectStage stage(c.depth, 20, 4);
        testing::SetProcessorFlags(c.fast, false);
        TestPattern e;
        e.SetSmoothingLevel(3);
        e.frames = 10;
        stage.Run(e);
        EXPECT_EQ(e.total, 10);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

// Every frame of a smoothing run, for every pixel: the mask holds the grey
// the pixel has reached, the work bitmap and the screen the mix it weights.
// Steps above one skip frames; steps longer than the grey steps skip some
// that have faded out entirely.
TEST_F(Masked, SmoothGreysFollowEveryPixelOverTheFrames) {
    struct Case {
        uint16_t level;
        Shape shape;
        Report report;
        int minStep;
        int milliseconds; // > 0: sampled, steps of several frames
    } cases[] = {
        {1, Shape::Strips, Report::Rect, 1, 0},      {2, Shape::Strips, Report::Rect, 3, 0},
        {1, Shape::Strips, Report::Rect, 10, 0},     {1, Shape::Strips, Report::Dirty, 1, 0},
        {1, Shape::Strips, Report::Dirty, 10, 0},    {3, Shape::Strips, Report::Core, 1, 150},
        {4, Shape::Strips, Report::Rect, 1, 120},    {5, Shape::Strips, Report::Dirty, 7, 0},
        {6, Shape::Strips, Report::Core, 2, 0},      {1, Shape::Shapes, Report::Rect, 1, 0},
        {1, Shape::Shapes, Report::Core, 10, 0},     {2, Shape::Shapes, Report::Dirty, 4, 0},
        {6, Shape::Shapes, Report::Rect, 1, 200},    {1, Shape::Inverted, Report::Rect, 1, 0},
        {1, Shape::Inverted, Report::Rect, 10, 0},   {2, Shape::Inverted, Report::Core, 3, 0},
        {1, Shape::Inverted, Report::Dirty, 9, 0},   {3, Shape::Inverted, Report::Rect, 1, 100},
    };
    const int w = 37, h = 5;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "level " << c.level << ", " << Name(c.shape) << ", " << Name(c.report)
                                          << ", step " << c.minStep << ", " << c.milliseconds << " ms");
        EffectStage stage(32, w, h);
        testing::SetProcessorFlags(true, false);
        TestPattern e;
        e.SetSmoothingLevel(c.level);
        e.shape = c.shape;
        e.report = c.report;
        e.minStep = c.minStep;
        e.Milliseconds = c.milliseconds;
        const Greys &g = kGreys[c.level];
        std::vector<uint32_t> arriving, departing;
        e.afterInitialize = [&](TestPattern &, TTETransitionData &data) {
            ASSERT_TRUE(e.SmoothMask);
            EXPECT_EQ(e.SmoothMask->Width(), 40);
            EXPECT_EQ(e.SecondSmoothMask != nullptr, c.shape == Shape::Shapes);
            arriving = Pixels32(*data.DstImage, w, h);
            departing = Pixels32(*data.SrcImage, w, h);
        };
        int maskErrors = 0, workErrors = 0;
        std::ostringstream first;
        e.afterFrame = [&](TestPattern &p, TTETransitionData &data) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int want = GreyAt(g, x + 1, p.current);
                    const int got = MaskByte(*p.SmoothMask, x, y);
                    // Two masks are carried over only where greys can still
                    // change; a faded-out pixel may keep an old grey there
                    // (it is not mixed again).
                    if (got != want && !(want == 0 && c.shape == Shape::Shapes) && maskErrors++ == 0)
                        first << "frame " << p.current << " (" << x << ", " << y << "): grey " << got << ", wants "
                              << want;
                    const size_t i = static_cast<size_t>(y) * w + x;
                    if (Pixel32(*data.Bitmap, x, y) != Mix(arriving[i], departing[i], want)) ++workErrors;
                }
        };
        std::vector<std::pair<int, std::vector<uint8_t>>> shots;
        stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
        EXPECT_EQ(maskErrors, 0) << first.str();
        EXPECT_EQ(workErrors, 0);
        EXPECT_EQ(e.total, w + g.steps - 1);
        EXPECT_TRUE(e.badPaintFrames.empty()) << e.badPaintFrames.front();
        ASSERT_GE(shots.size(), 3u);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().second), "");
        for (size_t i = 0; i + 1 < shots.size(); ++i) {
            const int t = i == 0 ? 0 : shots[i].first;
            EXPECT_EQ(stage.Differences(shots[i].second,
                                        [&](int x, int y) {
                                            return Mix(stage.Arriving(x, y), stage.Departing(x, y), GreyAt(g, x + 1, t));
                                        }),
                      "")
                << "frame " << t;
        }
        EXPECT_FALSE(e.SmoothMask || e.SecondSmoothMask || e.GradedBlend) << "freed by Finalize";
    }
}

// Hard mode on the depths the copy kernel differs on: the columns reached
// show the arriving page, the rest the leaving one, and the run ends on the
// arriving page. A mask cleared each frame is white again after the copy.
TEST_F(Masked, HardRunsRevealColumnByColumn) {
    struct Case {
        int depth;
        Shape shape;
        Report report;
        bool clear;
        int minStep;
        int milliseconds;
    } cases[] = {
        {32, Shape::Strips, Report::Rect, false, 1, 0},   {8, Shape::Strips, Report::Dirty, false, 3, 0},
        {16, Shape::Strips, Report::Core, true, 1, 0},    {15, Shape::Strips, Report::Rect, true, 1, 100},
        {24, Shape::Strips, Report::Dirty, true, 2, 0},   {32, Shape::Shapes, Report::Rect, false, 1, 0},
        {8, Shape::Shapes, Report::Dirty, true, 1, 0},    {16, Shape::Shapes, Report::Core, false, 5, 0},
        {32, Shape::Shapes, Report::Dirty, false, 1, 100}, {32, Shape::Inverted, Report::Rect, false, 1, 0},
        {8, Shape::Inverted, Report::Core, true, 2, 0},   {16, Shape::Inverted, Report::Dirty, false, 1, 100},
        {32, Shape::Inverted, Report::Dirty, true, 4, 0},
    };
    const int w = 37, h = 5;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, " << Name(c.shape) << ", " << Name(c.report)
                                          << (c.clear ? ", cleared" : "") << ", step " << c.minStep << ", "
                                          << c.milliseconds << " ms");
        EffectStage stage(c.depth, w, h);
        TestPattern e;
        e.shape = c.shape;
        e.report = c.report;
        e.clearEachFrame = c.clear;
        e.minStep = c.minStep;
        e.Milliseconds = c.milliseconds;
        e.afterInitialize = [&](TestPattern &p, TTETransitionData &data) {
            ASSERT_TRUE(p.HardMask);
            EXPECT_EQ(p.HardMask->Width(), 64);
            EXPECT_EQ(p.RevealedMask != nullptr, c.shape != Shape::Strips);
            EXPECT_EQ(data.Bitmap, data.SrcImage);
        };
        int maskErrors = 0;
        e.afterFrame = [&](TestPattern &p, TTETransitionData &) {
            // Other patterns leave bits outside the frame's region as
            // they were painted, merged or inverted; only the copies count.
            if (c.shape != Shape::Strips) return;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (MaskBitWhite(*p.HardMask, x, y) != (c.clear || x >= p.current)) ++maskErrors;
        };
        std::vector<std::pair<int, std::vector<uint8_t>>> shots;
        stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
        EXPECT_EQ(e.total, w);
        EXPECT_EQ(maskErrors, 0);
        ASSERT_GE(shots.size(), 3u);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().second), "");
        const int lag = c.shape == Shape::Inverted ? 1 : 0;
        for (size_t i = 0; i + 1 < shots.size(); ++i) {
            const int t = i == 0 ? 0 : shots[i].first;
            EXPECT_EQ(stage.Differences(shots[i].second,
                                        [&](int x, int y) {
                                            return x < t - lag ? stage.Arriving(x, y) : stage.Departing(x, y);
                                        }),
                      "")
                << "frame " << t;
        }
        EXPECT_FALSE(e.HardMask || e.RevealedMask) << "freed by Finalize";
    }
}

// Frames that draw straight on the screen leave the work bitmap and the
// screen update alone; the frames around them still show every column
// reached.
TEST_F(Masked, FramesDrawnStraightOnTheScreen) {
    for (int depth : {8, 32}) {
        SCOPED_TRACE(depth);
        const int w = 21, h = 4;
        EffectStage stage(depth, w, h);
        TestPattern e;
        e.screenOnOddFrames = true;
        std::vector<std::pair<int, std::vector<uint8_t>>> shots;
        int workBehind = 0;
        e.afterFrame = [&](TestPattern &p, TTETransitionData &data) {
            // The work bitmap did not get this frame's strip.
            if (!p.AllowScreenUpdate && GetPixel(data.Bitmap->Canvas().Handle(), p.current - 1, 0) !=
                                            GetPixel(data.DstImage->Canvas().Handle(), p.current - 1, 0))
                ++workBehind;
        };
        stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
        EXPECT_EQ(workBehind, (w - 1) / 2);
        for (size_t i = 0; i < shots.size(); ++i) {
            const int t = i == 0 ? 0 : i + 1 == shots.size() ? w : shots[i].first;
            EXPECT_EQ(stage.Differences(shots[i].second,
                                        [&](int x, int y) { return x < t ? stage.Arriving(x, y) : stage.Departing(x, y); }),
                      "")
                << "frame " << t;
        }
    }
}

// The first frame paints the whole mask and reports a region; only the
// region, rounded to whole mask bytes, takes the arriving page (hard) or
// the mix of the top grey (smoothing).
TEST_F(Masked, KernelsWorkInsideTheRegion) {
    struct Case {
        const char *what;
        TRect update, exclude;
        std::vector<TRect> dirty;
        std::vector<TRect> region; // columns rounded out (in) to multiples of 8
        TRect hole;
    } cases[] = {
        {"rectangle", {8, 2, 40, 18}, {}, {}, {{8, 2, 40, 18}}, {}},
        {"core excluded", {8, 2, 40, 18}, {16, 6, 32, 14}, {}, {{8, 2, 40, 18}}, {16, 6, 32, 14}},
        {"rounded out", {3, 2, 13, 9}, {}, {}, {{0, 2, 16, 9}}, {}},
        {"thin core rounded away", {0, 0, 48, 20}, {3, 4, 9, 10}, {}, {{0, 0, 48, 20}}, {}},
        {"core rounded in", {0, 0, 48, 20}, {3, 4, 29, 10}, {}, {{0, 0, 48, 20}}, {8, 4, 24, 10}},
        {"core beyond the rectangle", {8, 0, 40, 20}, {0, 4, 24, 12}, {}, {{8, 0, 40, 20}}, {8, 4, 24, 12}},
        {"beyond the page", {-20, -5, 100, 50}, {}, {}, {{0, 0, 48, 20}}, {}},
        {"nothing", {0, 0, 0, 0}, {}, {}, {}, {}},
        {"dirty rectangles", {}, {}, {{0, 0, 8, 4}, {24, 10, 40, 20}}, {{0, 0, 8, 4}, {24, 10, 40, 20}}, {}},
        {"dirty, one off the page", {}, {}, {{1, 1, 7, 4}, {100, 100, 120, 120}}, {{0, 1, 8, 4}}, {}},
        {"one dirty rectangle: the update rectangle", {}, {}, {{8, 8, 16, 16}}, {{0, 0, 48, 20}}, {}},
    };
    const int w = 48, h = 20;
    for (bool smooth : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(::testing::Message() << (smooth ? "smoothing, " : "hard, ") << c.what);
            EffectStage stage(32, w, h);
            testing::SetProcessorFlags(true, false);
            TestPattern e;
            e.SetSmoothingLevel(smooth ? 2 : 0);
            e.frames = 2;
            e.paint = [&](TestPattern &p, TBitmap &mask, TTETransitionData &data, bool draw, bool calcUpdate) {
                if (draw) mask.Canvas().FillRect(TRect{0, 0, data.Width, data.Height});
                if (!calcUpdate) return;
                if (c.dirty.empty()) {
                    p.UpdateRect = c.update;
                    p.ExcludeRect = c.exclude;
                }
                for (const TRect &r : c.dirty) p.DirtyRects->Add(r);
            };
            std::vector<uint32_t> arriving, departing;
            e.afterInitialize = [&](TestPattern &, TTETransitionData &data) {
                arriving = Pixels32(*data.DstImage, w, h);
                departing = Pixels32(*data.Bitmap, w, h);
            };
            int errors = 0;
            std::ostringstream first;
            e.afterFrame = [&](TestPattern &p, TTETransitionData &data) {
                if (p.current != 1) return;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const POINT pt{x, y};
                        bool inside = false;
                        for (const TRect &r : c.region) inside = inside || PtInRect(&r, pt);
                        if (PtInRect(&c.hole, pt)) inside = false;
                        const size_t i = static_cast<size_t>(y) * w + x;
                        const uint32_t want =
                            !inside ? departing[i] : smooth ? Mix(arriving[i], departing[i], p.TopGrey) : arriving[i];
                        if (Pixel32(*data.Bitmap, x, y) != want && errors++ == 0)
                            first << "(" << x << ", " << y << ") " << (inside ? "inside" : "outside");
                    }
            };
            stage.Run(e);
            EXPECT_GE(e.executed, 1);
            EXPECT_EQ(errors, 0) << first.str();
        }
    }
}

// A pattern of no frames: the hard run is aborted before any frame and
// the screen keeps the leaving page; the smoothing run passes its extra
// frames without painting and ends on the arriving page. An empty area
// ends like a run of no frames in both modes.
TEST_F(Masked, ZeroFramesAndEmptyAreas) {
    struct Case {
        int width, height, frames;
        uint16_t level;
        bool aborts;
    } cases[] = {{20, 4, 0, 0, true}, {20, 4, 0, 3, false}, {20, 4, -5, 1, false}, {0, 4, 5, 0, true},
                 {20, 0, 5, 3, true}, {0, 0, 5, 3, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.frames << " frames, level "
                                          << c.level);
        EffectStage stage(32, c.width, c.height);
        testing::SetProcessorFlags(true, false);
        const std::vector<uint8_t> before = stage.Window();
        TestPattern e;
        e.SetSmoothingLevel(c.level);
        e.frames = c.frames;
        if (c.aborts) {
            EXPECT_THROW(stage.Shots(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(e.executed, 0);
            EXPECT_EQ(stage.Window(), before);
        } else {
            const std::vector<std::vector<uint8_t>> shots = stage.Shots(e);
            const int steps = kGreys[c.level].steps;
            EXPECT_EQ(e.total, steps - 1);
            EXPECT_EQ(e.executed, steps - 2);
            EXPECT_EQ(e.paintCalls, 0);
            ASSERT_GE(shots.size(), 2u);
            for (size_t i = 0; i + 1 < shots.size(); ++i) EXPECT_EQ(stage.DifferencesFromDepartingPage(shots[i]), "");
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
        EXPECT_FALSE(e.HardMask || e.SmoothMask);
    }
}

// A pattern whose mode changes between the preparation of the bitmaps and
// the run would walk masks and pages of different widths: the run is
// refused with an error before anything is drawn.
TEST_F(Masked, ModeChangedAfterPreparationIsRefused) {
    struct Fickle : TestPattern {
        bool smoothInPreparation = true;
        bool running = false;
        bool UseSmoothing() const override { return running != smoothInPreparation; }
        void Initialize(TTETransitionData &data, int &totalFrames) override {
            running = true;
            TestPattern::Initialize(data, totalFrames);
        }
    };
    for (bool smoothFirst : {true, false}) {
        SCOPED_TRACE(smoothFirst);
        EffectStage stage(32, 37, 4);
        const std::vector<uint8_t> before = stage.Window();
        Fickle e;
        e.smoothInPreparation = smoothFirst;
        try {
            stage.Run(e);
            ADD_FAILURE() << "ran";
        } catch (const ETransitionEffectError &error) {
            EXPECT_STREQ(error.what(), "The masks of the run do not fit its bitmaps");
        }
        EXPECT_EQ(e.executed, 0);
        EXPECT_EQ(stage.Window(), before);
    }
}

// A page one pixel wide: masks of a whole word (hard) or eight pixels
// (smoothing), and the run ends on the arriving page.
TEST_F(Masked, OnePixelWidePage) {
    for (uint16_t level : {0, 1, 6}) {
        SCOPED_TRACE(level);
        EffectStage stage(32, 1, 6);
        testing::SetProcessorFlags(true, false);
        TestPattern e;
        e.SetSmoothingLevel(level);
        int maskWidth = 0;
        e.afterInitialize = [&](TestPattern &p, TTETransitionData &) {
            maskWidth = p.SmoothMask ? p.SmoothMask->Width() : p.HardMask->Width();
        };
        stage.Run(e);
        EXPECT_EQ(maskWidth, level ? 8 : 32);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

} // namespace
} // namespace qvt
