// The Waterfall effect. A probe replays the shared generator before every
// frame to foretell each stream's depth; every picture of a run is then
// read stream by stream from its starting edge: the arriving page up to the
// stream's depth, the departing page beyond it.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "record_names.h"
#include "effects/teRegister.h"
#include "effects/teWFall.h"
#include "engine/teRandom.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;

bool Horizontal(TTEEffectDirection d) { return d == tedRight || d == tedLeft; }

// The pixel at `pos` pixels from the starting edge of stream i.
struct Place {
    int x, y;
};
Place PlaceOf(TTEEffectDirection d, int i, int pos, int w, int h) {
    switch (d) {
    case tedRight: return {pos, i};
    case tedLeft: return {w - 1 - pos, i};
    case tedDown: return {i, pos};
    default: return {i, h - 1 - pos};
    }
}

// The next n draws of NextRandom(4), leaving the generator as it was.
std::vector<int> NextDraws(size_t n) {
    const uint32_t saved = RandSeed;
    std::vector<int> draws(n);
    for (int &r : draws) r = NextRandom(4);
    RandSeed = saved;
    return draws;
}

// Depths after a frame of `step`, from the draws the frame will make.
std::vector<int32_t> Advance(std::vector<int32_t> depths, int step, int length) {
    const std::vector<int> draws = NextDraws(depths.size());
    for (size_t i = 0; i < depths.size(); ++i)
        if (draws[i] > 0 && depths[i] < length) depths[i] += step * draws[i];
    return depths;
}

class ProbeWaterfall : public TWaterfallTransition {
public:
    ProbeWaterfall() : TWaterfallTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TWaterfallTransition::Initialize(data, totalFrames);
        total = totalFrames;
        streams = static_cast<int>(Depths.size());
        length = Horizontal(DirectionToUse()) ? data.Width : data.Height;
        hardMask = HardMask != nullptr && !SmoothMask;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        const std::vector<int32_t> expected = Advance(Depths, step, length);
        TWaterfallTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        if (Depths != expected) ++wrongDepths;
        depths = Depths;
        ++executed;
    }
    int total = -1, streams = -1, length = 0, executed = 0, wrongDepths = 0;
    bool hardMask = false;
    std::vector<int32_t> depths; // after the latest frame
};

class Waterfall : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Waterfall, DefaultsAndRefusedDirections) {
    TWaterfallTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Waterfall");
    EXPECT_EQ(e.GetEditorName(), "TTransitionEffectEditor");
    EXPECT_EQ(e.GetDirection(), tedDown);
    EXPECT_EQ(e.StyleCount, 1);
    EXPECT_EQ(e.GetStyle(), 1);
    EXPECT_EQ(e.GetSubStyle(), 1);
    EXPECT_EQ(e.GetSmoothingLevel(), 0);
    e.SetSmoothingLevel(3);
    EXPECT_FALSE(e.UseSmoothing());
    e.SetDirection(tedLeft);
    for (TTEEffectDirection d : {tedNone, tedDownRight, tedDownLeft, tedUpRight, tedUpLeft, tedIn, tedOut}) {
        e.SetDirection(d);
        EXPECT_EQ(e.GetDirection(), tedLeft) << d;
    }
    // Reversed runs from the opposite edge.
    e.SetDirection(tedDown);
    e.Reversed = true;
    EXPECT_EQ(e.DirectionToUse(), tedUp);
}

// 80 % of the stream length, one stream per column or row.
TEST_F(Waterfall, FrameCountsAndStreams) {
    struct Case {
        TTEEffectDirection direction;
        bool reversed;
        int frames, streams;
    } cases[] = {{tedDown, false, 384, 640}, {tedUp, false, 384, 640},  {tedRight, false, 512, 480},
                 {tedLeft, false, 512, 480}, {tedDown, true, 384, 640}, {tedLeft, true, 512, 480}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.direction << (c.reversed ? " reversed" : ""));
        EffectStage stage(32, 640, 480);
        ProbeWaterfall e;
        e.SetDirection(c.direction);
        e.Reversed = c.reversed;
        stage.Run(e);
        EXPECT_EQ(e.total, c.frames);
        EXPECT_EQ(e.streams, c.streams);
        EXPECT_EQ(e.wrongDepths, 0);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
}

// Every direction, forwards and reversed, on 8-, 16- and 32-bit displays,
// every frame or in steps of several: the depths follow the generator, each
// stream shows the arriving page from its starting edge to its depth, and
// the run ends on the arriving page. Running right or down, the pixel at a
// stream's depth is painted on the mask but lies on the edge of the frame's
// band, so it may show either page until a later band takes it in.
TEST_F(Waterfall, EveryDirectionRunsItsStreams) {
    struct Mode {
        int depth, milliseconds;
    } modes[] = {{8, 0}, {16, 0}, {32, 0}, {32, 150}};
    const int w = 29, h = 23;
    for (TTEEffectDirection direction : {tedRight, tedLeft, tedDown, tedUp}) {
        for (bool reversed : {false, true}) {
            for (const Mode &m : modes) {
                SCOPED_TRACE(::testing::Message() << direction << (reversed ? " reversed, " : ", ") << m.depth
                                                  << " bits, " << m.milliseconds << " ms");
                EffectStage stage(m.depth, w, h);
                ProbeWaterfall e;
                e.SetDirection(direction);
                e.Reversed = reversed;
                e.Milliseconds = m.milliseconds;
                const TTEEffectDirection d = e.DirectionToUse();
                const bool lagging = d == tedRight || d == tedDown;
                const int length = Horizontal(d) ? w : h, streams = Horizontal(d) ? h : w;
                const int wndW = w + 2 * EffectStage::kLeft;
                // Each picture with the depths of the frame it shows; the
                // last one is the driver's final copy.
                std::vector<std::pair<std::vector<int32_t>, std::vector<uint8_t>>> shots;
                stage.Run(e, [&] { shots.emplace_back(e.depths, stage.Window()); });
                ASSERT_GE(shots.size(), 3u);
                for (size_t s = 0; s + 1 < shots.size(); ++s) {
                    const auto &[depths, shown] = shots[s];
                    auto shownAt = [&](int x, int y) {
                        const size_t at = (static_cast<size_t>(y + EffectStage::kTop) * wndW + x + EffectStage::kLeft) * 3;
                        return Rgb{shown[at], shown[at + 1], shown[at + 2]};
                    };
                    // 1 arriving, 0 departing, 2 either.
                    std::vector<int> front(static_cast<size_t>(w) * h, 0);
                    for (int i = 0; i < streams && !depths.empty(); ++i) {
                        const int depth = std::min(depths[i], length);
                        for (int p = 0; p < length; ++p) {
                            const Place at = PlaceOf(d, i, p, w, h);
                            front[static_cast<size_t>(at.y) * w + at.x] = p < depth ? 1 : lagging && p == depth ? 2 : 0;
                        }
                    }
                    EXPECT_EQ(stage.Differences(shown,
                                                [&](int x, int y) {
                                                    const int f = front[static_cast<size_t>(y) * w + x];
                                                    if (f == 2 && shownAt(x, y) == stage.Arriving(x, y))
                                                        return stage.Arriving(x, y);
                                                    return f == 1 ? stage.Arriving(x, y) : stage.Departing(x, y);
                                                }),
                              "")
                        << "picture " << s;
                }
                EXPECT_TRUE(e.hardMask);
                EXPECT_EQ(e.total, length * 80 / 100);
                EXPECT_EQ(e.wrongDepths, 0);
                EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
            }
        }
    }
}

// One frame painted on a bare mask: each stream that draws a step paints
// its new stretch (clipped where it overshoots the page), a finished
// stream takes no part, and the band runs from the slowest moving stream to
// the deepest. Depths beyond 32767 on tall and wide pages do not wrap.
TEST_F(Waterfall, StreamsOfOneFrame) {
    struct Case {
        const char *what;
        TTEEffectDirection direction;
        int width, height;
        std::vector<int32_t> depths;
        int step;
    } cases[] = {
        {"down, overshooting and finished", tedDown, 4, 10, {8, 9, 10, 2}, 3},
        {"up, overshooting and finished", tedUp, 4, 10, {8, 15, 0, 2}, 3},
        {"right", tedRight, 12, 3, {0, 11, 5}, 2},
        {"left", tedLeft, 12, 3, {0, 11, 5}, 2},
        {"down a tall page", tedDown, 1, 40000, {32760}, 10},
        {"up a tall page", tedUp, 1, 40000, {32760}, 10},
        {"right along a wide page", tedRight, 40000, 1, {32767}, 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        // A generator state whose draws move the first stream and leave
        // one of the others standing, where there are others.
        for (uint32_t seed = 1;; ++seed) {
            RandSeed = seed;
            const std::vector<int> draws = NextDraws(c.depths.size());
            if (draws[0] > 0 && (c.depths.size() < 2 || std::count(draws.begin(), draws.end(), 0) >= 1)) break;
        }
        const std::vector<int> draws = NextDraws(c.depths.size());
        TWaterfallTransition e(nullptr);
        e.SetDirection(c.direction);
        e.Depths = c.depths;
        TBitmap mask;
        mask.SetMonochrome(true);
        mask.SetSize(c.width, c.height);
        mask.Canvas().Brush().SetColor(rtl::clWhite);
        mask.Canvas().FillRect(TRect{0, 0, c.width, c.height});
        mask.Canvas().Pen().SetColor(rtl::clBlack);
        TTETransitionData data(c.width, c.height, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        const uint32_t before = RandSeed;
        e.PaintMask(mask, 5, c.step, 20, 5 - c.step, data, true, true);
        // One draw per stream, finished or not.
        const uint32_t after = RandSeed;
        RandSeed = before;
        for (size_t i = 0; i < c.depths.size(); ++i) NextRandom(4);
        EXPECT_EQ(RandSeed, after);

        const int length = Horizontal(c.direction) ? c.width : c.height;
        int64_t lowest = length, highest = 0;
        for (size_t i = 0; i < c.depths.size(); ++i) {
            SCOPED_TRACE(i);
            const int32_t f = c.depths[i];
            const bool moves = draws[i] > 0 && f < length;
            const int64_t e64 = moves ? int64_t{f} + int64_t{c.step} * draws[i] : f;
            EXPECT_EQ(e.Depths[i], e64);
            EXPECT_GE(e.Depths[i], f);
            if (draws[i] > 0) lowest = std::min<int64_t>(lowest, f);
            if (moves) highest = std::max(highest, e64);
            // The stretch painted, in page coordinates along the stream.
            const bool fromFar = c.direction == tedLeft || c.direction == tedUp;
            const int64_t first = fromFar ? length - e64 : f, last = fromFar ? length - f : e64;
            for (int p = 0; p < length; ++p) {
                const int x = Horizontal(c.direction) ? p : static_cast<int>(i);
                const int y = Horizontal(c.direction) ? static_cast<int>(i) : p;
                const bool black = (static_cast<const uint8_t *>(mask.ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0;
                const bool painted = moves && p >= first && p <= last;
                if (black != painted) {
                    ADD_FAILURE() << "at " << p << (black ? " painted" : " not painted");
                    break;
                }
            }
        }
        lowest = std::max<int64_t>(lowest, 0);
        TRect band;
        switch (c.direction) {
        case tedRight: band = TRect{int(lowest), 0, int(highest), c.height}; break;
        case tedLeft: band = TRect{int(c.width - highest), 0, int(c.width - lowest), c.height}; break;
        case tedDown: band = TRect{0, int(lowest), c.width, int(highest)}; break;
        default: band = TRect{0, int(c.height - highest), c.width, int(c.height - lowest)}; break;
        }
        EXPECT_TRUE(EqualRect(&e.UpdateRect, &band))
            << e.UpdateRect.left << " " << e.UpdateRect.top << " " << e.UpdateRect.right << " " << e.UpdateRect.bottom;
    }
}

// A page one pixel along its streams has no frames: the run is aborted
// before any frame and leaves the screen alone. Across the same page the
// streams are long enough to run; empty pages end at once.
TEST_F(Waterfall, NoFramesAndTinyPages) {
    {
        EffectStage stage(32, 20, 1);
        const std::vector<uint8_t> before = stage.Window();
        ProbeWaterfall e;
        EXPECT_THROW(stage.Run(e), rtl::EAbort);
        EXPECT_EQ(e.total, 0);
        EXPECT_EQ(e.executed, 0);
        EXPECT_EQ(stage.Window(), before);
    }
    {
        EffectStage stage(32, 20, 1);
        ProbeWaterfall e;
        e.SetDirection(tedLeft);
        stage.Run(e);
        EXPECT_EQ(e.total, 16);
        EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    }
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}}) {
        EffectStage stage(32, w, h);
        TWaterfallTransition e(nullptr);
        EXPECT_THROW(stage.Run(e), rtl::EAbort);
    }
}

// Records: Direction and Reversed round-trip; a stored direction the
// setter refuses keeps the default. The catalogue lists the class under
// its code with only the properties it publishes.
TEST_F(Waterfall, RecordsAndCatalogue) {
    RegisterAllTransitions();
    TWaterfallTransition stored(nullptr);
    stored.SetDirection(tedRight);
    stored.Reversed = true;
    auto read = test::RoundTrip(stored);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetDirection(), tedRight);
    EXPECT_TRUE(read->Reversed);
    for (TTEEffectDirection bad : {tedIn, tedUpLeft}) {
        TWaterfallTransition odd(nullptr);
        odd.Direction = bad;
        read = test::RoundTrip(odd);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->GetDirection(), tedDown) << bad;
    }

    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    const TTransitionDescription *entry = FindTransition(catalogue, "Waterfall");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->ClassName, "TWaterfallTransition");
    EXPECT_EQ(entry->Code, "13");
    const TPropertyDescription *direction = entry->FindProperty("Direction");
    ASSERT_NE(direction, nullptr);
    EXPECT_EQ(direction->Default, "tedDown");
    ASSERT_NE(entry->FindProperty("Reversed"), nullptr);
    for (const char *name : {"Style", "SubStyle", "SmoothingLevel"}) EXPECT_EQ(entry->FindProperty(name), nullptr) << name;
}

} // namespace
} // namespace qvt
