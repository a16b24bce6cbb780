// The Interlaced effect. The worked runs compare every picture with the
// lines their frames must have revealed (a row, a column or a ring of the
// page); the rectangle cases follow the two fronts of the alternating
// sub-styles over steps of several frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "record_names.h"
#include "effects/teIntrlc.h"
#include "effects/teRegister.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;

class ProbeInterlaced : public TInterlacedTransition {
public:
    ProbeInterlaced() : TInterlacedTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TInterlacedTransition::Initialize(data, totalFrames);
        total = totalFrames;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TInterlacedTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++executed;
    }
    int total = -1, current = 0, executed = 0;
};

std::string Text(const TRect &r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

class Interlaced : public ::testing::Test {
protected:
    void SetUp() override { testing::SetProcessorFlags(true, false); }
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Interlaced, StylesSubStylesAndReversal) {
    TInterlacedTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Interlaced");
    EXPECT_EQ(e.StyleCount, 2);
    const uint16_t counts[] = {0, 10, 1, 1};
    for (uint16_t style = 0; style < 4; ++style) EXPECT_EQ(e.GetSubStyleCount(style), counts[style]) << style;
    const uint16_t reversed[] = {1, 2, 4, 3, 6, 5, 8, 7, 10, 9};
    for (uint16_t sub = 1; sub <= 10; ++sub) EXPECT_EQ(e.GetReversedSubStyle(1, sub), reversed[sub - 1]) << sub;
    EXPECT_EQ(e.GetReversedSubStyle(2, 1), 1);
    EXPECT_EQ(e.GetReversedSubStyle(2, 7), 1);
    EXPECT_EQ(e.GetReversedSubStyle(1, 11), 11);
    EXPECT_EQ(e.GetReversedSubStyle(3, 4), 4);

    e.SetSubStyle(3);
    e.Reversed = true;
    EXPECT_EQ(e.SubStyleToUse(), 4);
    EXPECT_FALSE(e.ClearMaskEachFrame());
    e.SetStyle(2);
    EXPECT_EQ(e.SubStyleToUse(), 1);
    EXPECT_TRUE(e.ClearMaskEachFrame());
    // Refused values keep the old ones.
    e.SetSubStyle(2);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetStyle(3);
    EXPECT_EQ(e.GetStyle(), 2);
}

TEST_F(Interlaced, FrameCounts) {
    struct Case {
        int width, height;
        uint16_t style, sub, level;
        int frames;
    } cases[] = {
        {640, 480, 1, 1, 0, 480}, {640, 480, 1, 1, 2, 240}, {640, 480, 1, 2, 0, 640}, {640, 480, 1, 2, 1, 320},
        {640, 480, 1, 3, 2, 480}, {640, 480, 1, 8, 0, 480}, {640, 480, 1, 5, 3, 640}, {640, 480, 1, 10, 0, 640},
        {640, 480, 2, 1, 0, 240}, {640, 480, 2, 1, 2, 120}, {480, 640, 2, 1, 0, 240}, {7, 7, 2, 1, 0, 4},
        {7, 7, 2, 1, 4, 2},       {5, 5, 1, 1, 1, 2},
        // Combinations without lines: no frames.
        {640, 480, 1, 11, 0, 0},  {640, 480, 3, 1, 0, 0},   {640, 480, 2, 3, 0, 240},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.style << "." << c.sub
                                          << ", level " << c.level);
        TInterlacedTransition e(nullptr);
        // Stored as a record could not: the setters would refuse some.
        e.Style = c.style;
        e.SubStyle = c.sub;
        e.SmoothingLevel = c.level;
        TTETransitionData data(c.width, c.height, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        EXPECT_EQ(e.CalcTotalFrames(data), c.frames);
    }
}

// Whether pixel (x, y) of a w x h page lies on line `line` of the pattern.
bool OnLine(char kind, int w, int h, int x, int y, int line) {
    if (kind == 'r') return y == line;
    if (kind == 'c') return x == line;
    return std::min({x, y, w - 1 - x, h - 1 - y}) == line;
}

// The line of each of the first frames, seen on the screen: after frame f
// the arriving page shows exactly on the lines of frames 1 .. f (-1 for a
// frame that paints nothing). Hard mode, one frame per picture; the lists
// stop before the last frame of the run.
TEST_F(Interlaced, TheLineOfEachFrame) {
    struct Case {
        const char *what;
        int width, height;
        uint16_t style, sub;
        char kind;
        int lastLine, half;
        std::vector<int> lines;
    } cases[] = {
        {"rows from both ends, H = 480", 6, 480, 1, 1, 'r', 479, 0, {479, 0, 477, 2}},
        {"columns from both ends, W = 9", 9, 4, 1, 2, 'c', 7, 0, {7, 0, 5, 2, 3, 4, 1, 6}},
        {"even rows down, odd rows up, H = 5", 6, 5, 1, 3, 'r', 3, 3, {0, 2, 4, 3}},
        {"odd rows up, even rows down, H = 5", 6, 5, 1, 4, 'r', 3, 3, {3, 1, -1, 0}},
        {"even rows down, odd rows down, H = 6", 6, 6, 1, 7, 'r', 5, 3, {0, 2, 4, -1, 1}},
        {"odd columns left, even columns left, W = 6", 6, 3, 1, 10, 'c', 5, 3, {5, 3, 1, 6, 4}},
        {"rings on 640 x 480", 640, 480, 2, 1, 'g', 240, 0, {0, 239, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EffectStage stage(32, c.width, c.height);
        ProbeInterlaced e;
        e.SetStyle(c.style);
        e.SetSubStyle(c.sub);
        const int frames = static_cast<int>(c.lines.size());
        int seen = 0;
        stage.Run(e, [&] {
            // The pictures of frames 0 .. frames; the last frame of the run
            // is the driver's copy of the whole arriving page.
            if (seen > frames) return;
            EXPECT_EQ(e.current, seen++);
            const std::set<int> lines(c.lines.begin(), c.lines.begin() + e.current);
            EXPECT_EQ(stage.Differences(stage.Window(),
                                        [&](int x, int y) {
                                            for (int line : lines)
                                                if (OnLine(c.kind, c.width, c.height, x, y, line))
                                                    return stage.Arriving(x, y);
                                            return stage.Departing(x, y);
                                        }),
                      "")
                << "frame " << e.current;
        });
        EXPECT_EQ(seen, frames + 1);
        EXPECT_EQ(e.LastLine, c.lastLine);
        EXPECT_EQ(e.HalfCount, c.half);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

// The rectangles of a step of frames p + 1 .. c. The fronts of 1.1 and 1.2
// exclude the band between them, or, once they have crossed, the band both
// have passed; smoothing doubles the frames. Rings exclude the inside of
// the innermost ring painted (ring 239 of 640 x 480 has none).
TEST_F(Interlaced, UpdateAndExcludeRectangles) {
    struct Case {
        const char *what;
        int width, height;
        uint16_t style, sub, level;
        int lastLine, last, current;
        TRect update, exclude;
    } cases[] = {
        {"rows, frames 1 to 4 of H = 480", 10, 480, 1, 1, 0, 479, 0, 4, {0, 0, 10, 480}, {0, 3, 10, 476}},
        {"columns, frames 1 to 4 of W = 480", 480, 10, 1, 2, 0, 479, 0, 4, {0, 0, 480, 10}, {3, 0, 476, 10}},
        {"rows, smoothed frame 2 of H = 480", 10, 480, 1, 1, 2, 479, 1, 2, {0, 2, 10, 478}, {0, 3, 10, 476}},
        {"rows crossed, frames 5 and 6 of H = 6", 10, 6, 1, 1, 0, 5, 4, 6, {0, 1, 10, 5}, {0, 2, 10, 3}},
        {"rows crossed, frames 1 to 6 of H = 6", 10, 6, 1, 1, 0, 5, 0, 6, {0, 0, 10, 6}, {0, 0, 0, 0}},
        {"columns crossed, frames 5 and 6 of W = 6", 6, 10, 1, 2, 0, 5, 4, 6, {1, 0, 5, 10}, {2, 0, 3, 10}},
        {"one pass of rows: no exclude", 10, 6, 1, 3, 0, 5, 0, 2, {0, 0, 10, 3}, {0, 0, 0, 0}},
        {"columns in one direction: one pixel taller", 6, 4, 1, 9, 0, 5, 1, 2, {2, 0, 3, 5}, {0, 0, 0, 0}},
        {"rings 0, 239 and 2 on 640 x 480", 640, 480, 2, 1, 0, 240, 0, 3, {0, 0, 640, 480}, {0, 0, 0, 0}},
        {"rings 239 and 2 on 640 x 480", 640, 480, 2, 1, 0, 240, 1, 3, {2, 2, 638, 478}, {0, 0, 0, 0}},
        {"ring 2 only", 640, 480, 2, 1, 0, 240, 2, 3, {2, 2, 638, 478}, {3, 3, 637, 477}},
        {"a line beyond the page paints nothing", 10, 6, 1, 7, 0, 5, 3, 4, {0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (bool calcUpdate : {true, false}) {
            TInterlacedTransition e(nullptr);
            e.SetStyle(c.style);
            e.SetSubStyle(c.sub);
            e.SetSmoothingLevel(c.level);
            e.LastLine = c.lastLine;
            e.HalfCount = c.height / 2 + c.height % 2;
            TBitmap mask;
            TTETransitionData data(c.width, c.height, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
            e.PaintMask(mask, c.current, c.current - c.last, 0, c.last, data, false, calcUpdate);
            EXPECT_EQ(Text(e.UpdateRect), Text(c.update));
            EXPECT_EQ(Text(e.ExcludeRect), Text(c.exclude));
        }
    }
}

// The pixel (x, y) of the area in a picture of the window.
test::Rgb Shown(const std::vector<uint8_t> &rgb, const EffectStage &stage, int x, int y) {
    const size_t i = (static_cast<size_t>(y + EffectStage::kTop) * (stage.Width() + 2 * EffectStage::kLeft) + x +
                      EffectStage::kLeft) *
                     3;
    return test::Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

// Every (style, sub-style) pair on 8-, 16- and 32-bit displays, hard and
// smoothed, every frame or in bigger steps, ends on the arriving page. In
// hard mode on 32 bits every picture shows each pixel of one page or the
// other, the arriving one on whole lines (rows, columns or rings), and a
// pixel once arrived stays.
TEST_F(Interlaced, EveryPairRunsToTheArrivingPage) {
    struct Mode {
        int depth;
        uint16_t level;
        int milliseconds;
    } modes[] = {{8, 0, 0}, {16, 0, 0}, {32, 0, 0}, {32, 0, 90}, {8, 2, 0}, {16, 2, 0}, {32, 2, 0}, {32, 1, 60}};
    struct Pair {
        uint16_t style, sub;
    };
    std::vector<Pair> pairs;
    for (uint16_t sub = 1; sub <= 10; ++sub) pairs.push_back({1, sub});
    pairs.push_back({2, 1});
    for (auto [w, h] : {std::pair{13, 9}, {8, 12}}) {
        for (const Pair &p : pairs) {
            const char kind = p.style == 2 ? 'g' : (p.sub == 1 || p.sub == 3 || p.sub == 4 || p.sub == 7 || p.sub == 8) ? 'r' : 'c';
            for (const Mode &m : modes) {
                SCOPED_TRACE(::testing::Message() << w << " x " << h << ", " << p.style << "." << p.sub << ", "
                                                  << m.depth << " bits, level " << m.level << ", "
                                                  << m.milliseconds << " ms");
                EffectStage stage(m.depth, w, h);
                ProbeInterlaced e;
                e.SetStyle(p.style);
                e.SetSubStyle(p.sub);
                e.SetSmoothingLevel(m.level);
                e.Milliseconds = m.milliseconds;
                const bool check = m.depth == 32 && m.level == 0;
                std::vector<bool> arrived(static_cast<size_t>(w) * h, false);
                int failures = 0;
                stage.Run(e, [&] {
                    if (!check || failures > 0) return;
                    const std::vector<uint8_t> shown = stage.Window();
                    std::vector<int> lineState(static_cast<size_t>(std::max(w, h)), -1);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) {
                            const test::Rgb got = Shown(shown, stage, x, y);
                            const bool a = got == stage.Arriving(x, y);
                            const size_t i = static_cast<size_t>(y) * w + x;
                            int line = kind == 'r' ? y : kind == 'c' ? x : std::min({x, y, w - 1 - x, h - 1 - y});
                            int &state = lineState[static_cast<size_t>(line)];
                            const bool ok = (a || got == stage.Departing(x, y)) && (a || !arrived[i]) &&
                                            (state == -1 || state == static_cast<int>(a));
                            state = a;
                            arrived[i] = a;
                            if (!ok && failures++ == 0)
                                ADD_FAILURE() << "frame " << e.current << ": pixel (" << x << ", " << y << ")";
                        }
                });
                EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
                EXPECT_GE(e.executed, 1);
            }
        }
    }
}

// A style or sub-style without lines has no frames: the hard run is
// aborted before any frame and leaves the screen alone; the smoothing run
// passes its fading frames without painting and ends on the arriving page.
TEST_F(Interlaced, NoFrames) {
    struct Case {
        uint16_t style, sub, level;
    } cases[] = {{3, 1, 0}, {1, 11, 0}, {3, 1, 2}, {1, 11, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << c.level);
        EffectStage stage(32, 20, 10);
        const std::vector<uint8_t> before = stage.Window();
        ProbeInterlaced e;
        e.Style = c.style;
        e.SubStyle = c.sub;
        e.SetSmoothingLevel(c.level);
        if (c.level == 0) {
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(e.executed, 0);
            EXPECT_EQ(stage.Window(), before);
            continue;
        }
        const std::vector<std::vector<uint8_t>> shots = stage.Shots(e);
        EXPECT_EQ(e.total, 255 / 16 - 1);
        ASSERT_GE(shots.size(), 2u);
        for (size_t i = 0; i + 1 < shots.size(); ++i) EXPECT_EQ(stage.DifferencesFromDepartingPage(shots[i]), "");
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

// Records: the values round-trip; stored values the setters refuse keep
// the ones already there. The catalogue lists the class under its code.
TEST_F(Interlaced, RecordsAndCatalogue) {
    RegisterAllTransitions();
    struct Case {
        uint16_t style, sub, level;
        bool reversed;
        uint16_t readStyle, readSub, readLevel;
    } cases[] = {
        {1, 10, 5, true, 1, 10, 5}, {2, 1, 1, false, 2, 1, 1}, {0, 0, 0, false, 0, 0, 0},
        {3, 1, 7, false, 1, 1, 0},  {1, 11, 2, false, 1, 1, 2}, {2, 2, 3, false, 2, 1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << c.level);
        TInterlacedTransition stored(nullptr);
        stored.Style = c.style;
        stored.SubStyle = c.sub;
        stored.SmoothingLevel = c.level;
        stored.Reversed = c.reversed;
        const auto read = test::RoundTrip(stored);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->GetStyle(), c.readStyle);
        EXPECT_EQ(read->GetSubStyle(), c.readSub);
        EXPECT_EQ(read->GetSmoothingLevel(), c.readLevel);
        EXPECT_EQ(read->Reversed, c.reversed);
    }

    test::ExpectCatalogued("Interlaced", "TInterlacedTransition", "06",
                           {{"Reversed", "False", nullptr},
                            {"SmoothingLevel", "0", "0..6"},
                            {"Style", "1", "0..2"},
                            {"SubStyle", "1", "0..10"}});
}

} // namespace
} // namespace qvt
