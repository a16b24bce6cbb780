// The Wipe effect followed frame by frame: every picture the window shows is
// compared with what the edge, the band (from an independent replay of the
// shared generator) or the growing rectangle should show at that frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "effect_stage.h"
#include "effects/teWipe.h"
#include "engine/teRandom.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;

// The shared generator, replayed.
struct Generator {
    uint32_t seed;
    int32_t Next(int32_t range) {
        seed = seed * 134775813u + 1;
        return static_cast<int32_t>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(range)) >> 32);
    }
};

// The band pattern as the wipe should build it: true where the arriving
// page shows. Leaves the generator where the pattern left it.
struct Pattern {
    int width = 0, height = 0;
    std::vector<bool> black;
    bool At(int x, int y) const { return black[static_cast<size_t>(y) * width + x]; }
};
Pattern ExpectedPattern(Generator &gen, TTEEffectDirection dir, int band, int w, int h) {
    const bool columns = dir == tedRight || dir == tedLeft;
    Pattern p;
    p.width = columns ? band : w + 75;
    p.height = columns ? h + 75 : band;
    p.black.assign(static_cast<size_t>(p.width) * p.height, false);
    for (int c = 0; c < band; ++c) {
        const int d = c * 100 / band;
        int chance = dir == tedRight || dir == tedDown ? 100 - d : d;
        if (chance == 0) chance = 1;
        for (int i = 0; i < (columns ? p.height : p.width); ++i)
            if (chance >= gen.Next(100)) p.black[columns ? static_cast<size_t>(i) * p.width + c : static_cast<size_t>(c) * p.width + i] = true;
    }
    return p;
}

// size * frame / total rounded to the nearest integer, halves to even.
int Travel(int size, int frame, int total) {
    const int64_t n = static_cast<int64_t>(size) * frame;
    int64_t q = n / total;
    const int64_t twice = 2 * (n % total);
    if (twice > total || (twice == total && q % 2 != 0)) ++q;
    return static_cast<int>(q);
}

int ExpectedTotal(TTEEffectDirection dir, int band, int w, int h) {
    switch (dir) {
    case tedRight:
    case tedLeft: return band + w;
    case tedDown:
    case tedUp: return band + h;
    case tedDownRight: return w + h;
    case tedIn:
    case tedOut: return std::max(1, std::max(w, h) / 2);
    default: return std::max(w, h);
    }
}

// Whether pixel (x, y) shows the arriving page at frame f, the frame before
// it being `prev`, with the band sampled at `offset`.
bool ShowsArriving(TTEEffectDirection dir, int w, int h, int band, int f, int prev, int total, const Pattern *pattern,
                   int offset, int x, int y) {
    auto inBand = [&](int along, int across, int first) {
        // `along` counts band lines from the band's first line `first`.
        const int c = along - first;
        if (c < 0 || c >= band) return false;
        return dir == tedRight || dir == tedLeft ? pattern->At(c, across + offset) : pattern->At(across + offset, c);
    };
    switch (dir) {
    case tedRight:
        // Without a band the columns before f; with one, the strip reaches
        // f - band and the band's columns follow, up to f.
        if (band == 0) return x < f;
        return x <= f - band || inBand(x, y, f - band + 1);
    case tedDown:
        if (band == 0) return y < f;
        return y <= f - band || inBand(y, x, f - band + 1);
    case tedLeft: {
        const int edge = band + w - f;
        if (x >= edge) return true;
        // The band sits before the previous edge; the new strip covers its end.
        return band > 0 && inBand(x, y, band + w - prev - 1 - band);
    }
    case tedUp: {
        const int edge = band + h - f;
        if (y >= edge) return true;
        return band > 0 && inBand(y, x, band + h - prev - 1 - band);
    }
    case tedDownRight: return x < Travel(w, f, total) && y < Travel(h, f, total);
    case tedDownLeft: return x >= w - Travel(w, f, total) && y < Travel(h, f, total);
    case tedUpRight: return x < Travel(w, f, total) && y >= h - Travel(h, f, total);
    case tedUpLeft: return x >= w - Travel(w, f, total) && y >= h - Travel(h, f, total);
    case tedIn: {
        const int e = Travel(w, f, total) / 2, g = Travel(h, f, total) / 2;
        return !(x >= e && x < w - e && y >= g && y < h - g);
    }
    case tedOut: {
        const int l = (w - Travel(w, f, total)) / 2, t = (h - Travel(h, f, total)) / 2;
        return x >= l && x < w - l && y >= t && y < h - t;
    }
    default: return false;
    }
}

// A wipe that advances by a chosen minimum step and records its frames.
class ProbeWipe : public TWipeTransition {
public:
    ProbeWipe() : TWipeTransition(nullptr) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TWipeTransition::Initialize(data, totalFrames);
        total = totalFrames;
        hadWorkBitmap = data.Bitmap != nullptr;
        hadDepartingImage = data.SrcImage != nullptr;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TWipeTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        previous = last;
        current = frame;
        ++frames;
    }
    int minStep = 1, total = -1, frames = 0, current = 0, previous = 0;
    bool hadWorkBitmap = false, hadDepartingImage = false;
};

struct Shot {
    std::vector<uint8_t> window;
    int frames, current, previous, offset;
};

class Wipe : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Runs the wipe on a stage and keeps every picture shown.
    static std::vector<Shot> Follow(EffectStage &stage, ProbeWipe &e) {
        std::vector<Shot> shots;
        stage.Run(e, [&] {
            const TTEEffectDirection d = e.DirectionToUse();
            const int offset = d == tedRight || d == tedLeft ? e.BandOffsetY : e.BandOffsetX;
            shots.push_back({stage.Window(), e.frames, e.current, e.previous, offset});
        });
        return shots;
    }
};

// Each case follows one run: the pictures between the departing and the
// arriving page must be exactly the model's, whatever the step.
TEST_F(Wipe, EveryFrameShowsTheEdgeTheBandOrTheRectangle) {
    struct Case {
        int depth;
        TTEEffectDirection direction;
        bool reversed;
        int bandWidth;
        int minStep;      // untimed steps
        int milliseconds; // > 0: sampled steps, several frames at a time
    } cases[] = {
        {32, tedRight, false, 0, 1, 0},    {8, tedRight, false, 6, 1, 0},     {32, tedRight, true, 6, 1, 0},
        {16, tedDown, false, 5, 3, 0},     {32, tedUp, false, 4, 1, 0},       {8, tedLeft, false, 3, 1, 100},
        {15, tedRight, false, 3, 1, 100},  {32, tedUp, false, 2, 1, 100},     {16, tedDown, true, 0, 2, 0},
        {32, tedLeft, false, 0, 4, 0},     {32, tedDownRight, false, 50, 1, 0}, {8, tedDownLeft, false, 50, 3, 0},
        {16, tedUpRight, false, 50, 1, 100}, {32, tedUpLeft, false, 50, 1, 0}, {8, tedIn, false, 50, 1, 0},
        {32, tedOut, false, 50, 2, 0},     {32, tedDownRight, true, 50, 1, 100}, {16, tedIn, true, 50, 1, 100},
    };
    const int w = 40, h = 24;
    for (const Case &c : cases) {
        ProbeWipe e;
        e.SetDirection(c.direction);
        e.Reversed = c.reversed;
        e.SetBandWidth(c.bandWidth);
        e.minStep = c.minStep;
        e.Milliseconds = c.milliseconds;
        const TTEEffectDirection dir = e.DirectionToUse();
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, " << kEffectDirectionNames[dir] << ", band "
                                          << c.bandWidth << ", step " << c.minStep << ", " << c.milliseconds << " ms");
        const bool straight = dir >= tedRight && dir <= tedUp;
        const int band = straight ? c.bandWidth : 0;
        EXPECT_EQ(e.GetBandWidth(), band);

        EffectStage stage(c.depth, w, h);
        const std::vector<Shot> shots = Follow(stage, e);
        EXPECT_EQ(e.total, ExpectedTotal(dir, band, w, h));
        EXPECT_EQ(e.hadWorkBitmap, band > 0);
        EXPECT_EQ(e.hadDepartingImage, band > 0);
        ASSERT_GE(shots.size(), 3u);
        EXPECT_GT(shots[shots.size() - 2].frames, 2);
        EXPECT_EQ(stage.DifferencesFromDepartingPage(shots.front().window), "");
        EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().window), "");

        Generator gen{TWipeTransition::kPatternSeed};
        Pattern pattern;
        if (band > 0) pattern = ExpectedPattern(gen, dir, band, w, h);
        int offset = 0, seen = 0;
        for (size_t i = 1; i + 1 < shots.size(); ++i) {
            const Shot &s = shots[i];
            if (s.frames > seen) {
                // One draw of the generator per frame drawn, none per frame skipped.
                ASSERT_EQ(s.frames, seen + 1);
                seen = s.frames;
                if (band > 0) offset = gen.Next(75);
                if (c.milliseconds == 0) {
                    EXPECT_EQ(s.current - s.previous, c.minStep);
                }
            }
            EXPECT_EQ(s.offset, offset);
            const std::string diff = stage.Differences(s.window, [&](int x, int y) {
                return ShowsArriving(dir, w, h, band, s.current, s.previous, e.total, &pattern, offset, x, y)
                           ? stage.Arriving(x, y)
                           : stage.Departing(x, y);
            });
            EXPECT_EQ(diff, "") << "frame " << s.current << " after " << s.previous;
        }
        if (band > 0) {
            EXPECT_EQ(RandSeed, gen.seed);
        }
    }
}

// The brief's own numbers: 640 x 480 with a band of 50 has 690 frames over
// a pattern of 50 x 555, the edge line all arriving, the far line nearly all
// departing, and the early frames bring the band in from the left border.
TEST_F(Wipe, BandOfFiftyOnAFullPage) {
    ProbeWipe e;
    e.Milliseconds = 100;
    EffectStage stage(32, 640, 480);
    const std::vector<Shot> shots = Follow(stage, e);
    EXPECT_EQ(e.total, 690);
    ASSERT_NE(e.BandPattern, nullptr);
    EXPECT_EQ(e.BandPattern->Width(), 50);
    EXPECT_EQ(e.BandPattern->Height(), 555);
    HDC pattern = e.BandPattern->Canvas().Handle();
    int edgeBlack = 0, farBlack = 0;
    for (int y = 0; y < 555; ++y) {
        edgeBlack += GetPixel(pattern, 0, y) == RGB(0, 0, 0);
        farBlack += GetPixel(pattern, 49, y) == RGB(0, 0, 0);
    }
    EXPECT_EQ(edgeBlack, 555);
    EXPECT_LT(farBlack, 555 / 10);
    EXPECT_EQ(e.DepartingBand, nullptr);
    EXPECT_EQ(e.ArrivingBand, nullptr);
    EXPECT_EQ(stage.DifferencesFromArrivingPage(shots.back().window), "");
}

// The pattern is kept for the next run of the same size and direction in
// use (the generator is not reseeded) and rebuilt when that changes.
TEST_F(Wipe, PatternIsKeptUntilSizeBandOrDirectionChange) {
    const int w = 30, h = 20;
    EffectStage stage(32, w, h);
    ProbeWipe e;
    e.SetBandWidth(5);
    stage.Run(e);
    EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
    struct Step {
        const char *what;
        bool reversed;
        int band;
        TTEEffectDirection direction;
        bool rebuilt;
    } steps[] = {
        {"same again", false, 5, tedRight, false},
        {"reversed", true, 5, tedRight, true},
        {"reversed again", true, 5, tedRight, false},
        {"wider band", true, 6, tedRight, true},
        {"down: other size", false, 6, tedDown, true},
        {"the same direction named the other way", true, 6, tedUp, false},
        {"corner: no band", false, 6, tedDownRight, false},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        const uint32_t before = 777u;
        RandSeed = before;
        e.Reversed = s.reversed;
        e.SetBandWidth(s.band);
        e.SetDirection(s.direction);
        e.frames = 0;
        stage.Run(e);
        const TTEEffectDirection dir = e.DirectionToUse();
        const bool straight = dir >= tedRight && dir <= tedUp;
        Generator gen{s.rebuilt ? TWipeTransition::kPatternSeed : before};
        if (s.rebuilt) ExpectedPattern(gen, dir, s.band, w, h);
        for (int i = 0; straight && i < e.frames; ++i) gen.Next(75);
        EXPECT_EQ(RandSeed, gen.seed);
        if (straight) {
            ASSERT_NE(e.BandPattern, nullptr);
            EXPECT_EQ(e.BandDirection, dir);
        } else {
            EXPECT_EQ(e.BandPattern, nullptr);
        }
    }
}

TEST_F(Wipe, PublishedDefaultsAndRefusedDirections) {
    TWipeTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Wipe");
    EXPECT_EQ(e.GetEditorName(), "TWipeTransitionEditor");
    EXPECT_FALSE(e.IsPlainEffect());
    EXPECT_EQ(e.Direction, tedRight);
    EXPECT_FALSE(e.Reversed);
    EXPECT_EQ(e.GetBandWidth(), 50);
    EXPECT_TRUE(e.NeedWorkBitmap());
    e.SetDirection(tedNone);
    EXPECT_EQ(e.Direction, tedRight);
    e.SetDirection(static_cast<TTEEffectDirection>(11));
    EXPECT_EQ(e.Direction, tedRight);
    // Off the straight directions the band reads as 0 but is kept.
    e.SetDirection(tedOut);
    EXPECT_EQ(e.GetBandWidth(), 0);
    EXPECT_FALSE(e.NeedWorkBitmap());
    EXPECT_FALSE(e.NeedSrcImage());
    e.Reversed = true;
    EXPECT_EQ(e.DirectionToUse(), tedIn);
    e.SetDirection(tedUp);
    EXPECT_EQ(e.GetBandWidth(), 50);
    // Negative widths are stored as given and run as no band.
    e.SetBandWidth(-7);
    EXPECT_EQ(e.GetBandWidth(), -7);
    EXPECT_FALSE(e.NeedWorkBitmap());

    const rtl::TPropInfo *band = TWipeTransition::StaticClassInfo().FindProperty("BandWidth");
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->Default, 50);
    const rtl::TPropInfo *dir = TWipeTransition::StaticClassInfo().FindProperty("Direction");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Default, tedRight);
}

// Bad input: empty areas end like a run of no frames, without drawing;
// one-pixel areas and negative band widths run to the arriving page.
TEST_F(Wipe, EmptyThinAndNegativeInput) {
    struct Case {
        int width, height;
        TTEEffectDirection direction;
        int bandWidth;
        bool aborts;
    } cases[] = {
        {0, 10, tedRight, 50, true}, {10, 0, tedDown, 50, true}, {0, 0, tedIn, 50, true},
        {10, 0, tedRight, 0, true},  {1, 1, tedIn, 50, false},   {1, 1, tedOut, 50, false},
        {1, 9, tedRight, 50, false}, {9, 1, tedDown, 50, false}, {1, 9, tedLeft, 3, false},
        {9, 1, tedUp, 3, false},     {1, 1, tedDownRight, 0, false}, {7, 1, tedUpLeft, 50, false},
        {12, 8, tedRight, -5, false}, {12, 8, tedUp, INT_MIN, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << kEffectDirectionNames[c.direction]
                                          << ", band " << c.bandWidth);
        for (int depth : {8, 32}) {
            SCOPED_TRACE(depth);
            EffectStage stage(depth, c.width, c.height);
            const std::vector<uint8_t> before = stage.Window();
            ProbeWipe e;
            e.SetDirection(c.direction);
            e.SetBandWidth(c.bandWidth);
            if (c.aborts) {
                EXPECT_THROW(stage.Run(e), rtl::EAbort);
                EXPECT_EQ(e.total, 0);
                EXPECT_EQ(stage.Window(), before);
            } else {
                stage.Run(e);
                EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
                if (c.bandWidth < 0) {
                    EXPECT_FALSE(e.hadWorkBitmap);
                }
            }
        }
    }
}

} // namespace
} // namespace qvt
