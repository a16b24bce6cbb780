// The Circle effect. Every picture a run shows is compared with circles
// drawn on a bitmap of their own: a pixel's radius is the smallest circle
// around the sub-style's centre that covers it, and from it follow the frame
// in which the arriving page reaches the pixel (growing) or the departing
// page leaves it (shrinking), and in smoothing mode the pixel's grey.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "record_names.h"
#include "smoothing_model.h"
#include "effects/teCircle.h"
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

// Where a coordinate of a centre lies: the near border, the middle or the
// far border.
enum Where { Near, Middle, Far };
int At(Where where, int size) { return where == Near ? 0 : where == Middle ? size / 2 : size; }

struct SubStyle {
    uint16_t style, sub;
    Where x, y;
    bool shrinks;
};
constexpr SubStyle kSubStyles[] = {
    {1, 1, Middle, Middle, false}, {1, 2, Middle, Middle, true},
    {2, 1, Near, Near, false},     {2, 2, Far, Far, false},      {2, 3, Near, Far, false},   {2, 4, Far, Near, false},
    {2, 5, Near, Near, true},      {2, 6, Far, Far, true},       {2, 7, Near, Far, true},    {2, 8, Far, Near, true},
    {3, 1, Near, Middle, false},   {3, 2, Far, Middle, false},   {3, 3, Middle, Near, false}, {3, 4, Middle, Far, false},
    {3, 5, Near, Middle, true},    {3, 6, Far, Middle, true},    {3, 7, Middle, Near, true}, {3, 8, Middle, Far, true},
};

// For every pixel of a w x h page, the smallest radius (1 .. maxRadius) of
// a circle around (cx, cy) that covers it, drawn with the same ellipse
// call a mask gets; 0 where none does.
struct Radii {
    int width = 0;
    std::vector<int> radius;
    bool monotonic = true; // a pixel, once covered, stays covered by larger circles
    int At(int x, int y) const { return radius[static_cast<size_t>(y) * width + x]; }
};
Radii RadiiOf(int w, int h, int cx, int cy, int maxRadius) {
    Radii out;
    out.width = w;
    out.radius.assign(static_cast<size_t>(w) * h, 0);
    TBitmap disc;
    disc.SetPixelFormat(pf32bit);
    disc.SetSize(w, h);
    TCanvas &c = disc.Canvas();
    for (int r = 1; r <= maxRadius; ++r) {
        c.Brush().SetColor(rtl::clBlack);
        c.FillRect(TRect{0, 0, w, h});
        c.Pen().SetColor(rtl::clWhite);
        c.Brush().SetColor(rtl::clWhite);
        c.Ellipse(cx - r, cy - r, cx + r, cy + r);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool covered = (static_cast<const uint32_t *>(disc.ScanLine(y))[x] & 0xFFFFFF) != 0;
                int &at = out.radius[static_cast<size_t>(y) * w + x];
                if (covered && at == 0) at = r;
                if (!covered && at != 0) out.monotonic = false;
            }
    }
    return out;
}

// A circle that tells what its run did.
class ProbeCircle : public TCircleTransition {
public:
    ProbeCircle() : TCircleTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TCircleTransition::Initialize(data, totalFrames);
        total = totalFrames;
        smoothMasks = (SmoothMask ? 1 : 0) + (SecondSmoothMask ? 1 : 0);
        hardMask = HardMask != nullptr;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TCircleTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++executed;
    }
    int total = -1, current = 0, executed = 0, smoothMasks = 0;
    bool hardMask = false;
};

std::string Text(const TRect &r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

using Shots = std::vector<std::pair<int, std::vector<uint8_t>>>;

class Circle : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Circle, StylesSubStylesAndTheirMasks) {
    TCircleTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Circle");
    EXPECT_EQ(e.StyleCount, 3);
    EXPECT_TRUE(e.KeepRevealedMask());
    const uint16_t counts[] = {0, 2, 8, 8, 1};
    for (uint16_t style = 0; style < 5; ++style) EXPECT_EQ(e.GetSubStyleCount(style), counts[style]) << style;
    for (const SubStyle &s : kSubStyles) {
        SCOPED_TRACE(::testing::Message() << s.style << "." << s.sub);
        // Reversing plays the other motion around the same centre.
        const uint16_t reversed = e.GetReversedSubStyle(s.style, s.sub);
        bool found = false;
        for (const SubStyle &r : kSubStyles)
            if (r.style == s.style && r.sub == reversed) {
                found = true;
                EXPECT_TRUE(r.x == s.x && r.y == s.y && r.shrinks != s.shrinks);
            }
        EXPECT_TRUE(found);
        e.SetStyle(s.style);
        e.SetSubStyle(s.sub);
        e.Reversed = false;
        EXPECT_EQ(e.InvertedMask(), s.shrinks);
        EXPECT_EQ(e.NeedTwoSmoothMasks(), !s.shrinks);
        e.Reversed = true;
        EXPECT_EQ(e.SubStyleToUse(), reversed);
        EXPECT_EQ(e.InvertedMask(), !s.shrinks);
    }
    EXPECT_EQ(e.GetReversedSubStyle(4, 3), 3);
    EXPECT_EQ(e.GetReversedSubStyle(1, 5), 5);

    // Style 1 has two sub-styles, styles 2 and 3 eight.
    e.SetStyle(1);
    e.SetSubStyle(3);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetStyle(3);
    e.SetSubStyle(8);
    EXPECT_EQ(e.GetSubStyle(), 8);
    e.SetSubStyle(9);
    EXPECT_EQ(e.GetSubStyle(), 8);
    e.SetStyle(4);
    EXPECT_EQ(e.GetStyle(), 3);
}

TEST_F(Circle, FrameCountsAreTheLargestRadiusPlusOne) {
    struct Case {
        int width, height;
        uint16_t style, sub;
        int frames;
    } cases[] = {
        {640, 480, 1, 1, 401}, {640, 480, 1, 2, 401}, {640, 480, 2, 1, 801}, {640, 480, 2, 6, 801},
        {640, 480, 3, 1, 685}, {640, 480, 3, 2, 685}, {640, 480, 3, 5, 685}, {640, 480, 3, 6, 685},
        {640, 480, 3, 3, 578}, {640, 480, 3, 4, 578}, {640, 480, 3, 7, 578}, {640, 480, 3, 8, 578},
        // Halves truncate before squaring: 7 x 5 has 3 and 2 (Sqrt 13).
        {7, 5, 1, 1, 5},       {7, 5, 3, 3, 7},       {1, 1, 1, 2, 1},       {1, 1, 2, 3, 2},
        // Combinations without a circle: no frames.
        {640, 480, 4, 1, 0},   {640, 480, 1, 3, 0},   {640, 480, 2, 9, 0},   {640, 480, 5, 2, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.style << "." << c.sub);
        TCircleTransition e(nullptr);
        // Stored as a record could not: the setters would refuse some.
        e.Style = c.style;
        e.SubStyle = c.sub;
        TTETransitionData data(c.width, c.height, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        EXPECT_EQ(e.CalcTotalFrames(data), c.frames);
    }
}

// The rectangles of one frame, also when only the painting is asked for.
TEST_F(Circle, UpdateAndExcludeRectangles) {
    struct Case {
        const char *what;
        uint16_t style, sub;
        int frame, step;
        TRect update, exclude;
    } cases[] = {
        // Growing: the box of radius frame, the square of the previous radius.
        {"first frame", 1, 1, 1, 1, {19, 14, 21, 16}, {0, 0, 0, 0}},
        {"first frame, a step of 3", 2, 1, 3, 3, {-3, -3, 3, 3}, {0, 0, 0, 0}},
        {"radius 2 before: too small for a square", 3, 2, 5, 3, {35, 10, 45, 20}, {0, 0, 0, 0}},
        {"radius 3 before: a 2 x 2 square", 2, 2, 4, 1, {36, 26, 44, 34}, {39, 29, 41, 31}},
        {"radius 7 before", 2, 2, 10, 3, {30, 20, 50, 40}, {36, 26, 44, 34}},
        // Shrinking (51 frames), centre: the box of the previous radius.
        {"centre, radius 20", 1, 2, 31, 2, {-2, -7, 42, 37}, {7, 2, 33, 28}},
        // Corner or edge: the previous radius grown by the step.
        {"edge, radius 30", 3, 5, 21, 4, {-38, -23, 38, 53}, {-20, -5, 20, 35}},
        {"corner, radius 1", 2, 8, 50, 1, {37, -3, 43, 3}, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (bool calcUpdate : {true, false}) {
            TCircleTransition e(nullptr);
            e.SetStyle(c.style);
            e.SetSubStyle(c.sub);
            e.MaskFrames = 51;
            TBitmap mask;
            TTETransitionData data(40, 30, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
            e.PaintMask(mask, c.frame, c.step, 51, c.frame - c.step, data, false, calcUpdate);
            EXPECT_EQ(Text(e.UpdateRect), Text(c.update));
            EXPECT_EQ(Text(e.ExcludeRect), Text(c.exclude));
        }
    }
}

// What a frame leaves out lies inside circles already painted: the
// inscribed square (kept from the copy and the screen update) inside the
// circle one pixel smaller, which a shrinking circle's previous frame
// covers; the rectangles a growing circle leaves unpainted inside the
// circle of the previous frame.
TEST_F(Circle, WhatIsLeftOutLiesInsideTheCircle) {
    std::vector<int> radii;
    for (int r = 0; r <= 120; ++r) radii.push_back(r);
    for (int r : {255, 256, 511}) radii.push_back(r);
    for (int r : radii) {
        SCOPED_TRACE(r);
        // Centred on (cx, cy), with room around it.
        const int cx = r + 3, cy = r + 2, w = 2 * r + 6, h = 2 * r + 4;
        auto painted = [&](int radius) {
            auto owned = std::make_unique<TBitmap>();
            TBitmap &disc = *owned;
            disc.SetMonochrome(true);
            disc.SetSize(w, h);
            TCanvas &c = disc.Canvas();
            c.Brush().SetColor(rtl::clWhite);
            c.FillRect(TRect{0, 0, w, h});
            c.Pen().SetColor(rtl::clBlack);
            c.Brush().SetColor(rtl::clBlack);
            if (radius > 0) c.Ellipse(cx - radius, cy - radius, cx + radius, cy + radius);
            return owned;
        };
        auto outside = [&](TBitmap &disc, const TRect &rect) {
            int count = 0;
            for (int y = rect.top; y < rect.bottom; ++y)
                for (int x = rect.left; x < rect.right; ++x)
                    count += (static_cast<const uint8_t *>(disc.ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) != 0;
            return count;
        };
        const auto smaller = painted(r - 1), same = painted(r);
        EXPECT_EQ(outside(*smaller, TCircleTransition::InscribedSquare(cx, cy, r)), 0);
        for (const TRect &rect : TCircleTransition::InsideOfCircle(cx, cy, r)) EXPECT_EQ(outside(*same, rect), 0);
    }
}

// Every sub-style on 8-, 16- and 32-bit displays, hard and smoothing, every
// frame or in bigger steps: each picture shows what the circles say, and
// the run ends on the arriving page. On 8 bits smoothing runs hard; on 16
// bits the mixed pictures are converted for the display, so only the
// pages themselves are compared there.
TEST_F(Circle, EverySubStyleShowsItsCircleFrameByFrame) {
    struct Mode {
        int depth;
        uint16_t level;
        int milliseconds; // > 0: sampled at 100 frames a second, steps of several frames
    } modes[] = {{8, 0, 0}, {16, 0, 0}, {32, 0, 0}, {32, 0, 120}, {8, 2, 0}, {16, 2, 0}, {32, 2, 0}, {32, 1, 60}};
    const int w = 37, h = 23;
    for (const SubStyle &s : kSubStyles) {
        for (const Mode &m : modes) {
            SCOPED_TRACE(::testing::Message() << s.style << "." << s.sub << ", " << m.depth << " bits, level "
                                              << m.level << ", " << m.milliseconds << " ms");
            EffectStage stage(m.depth, w, h);
            testing::SetProcessorFlags(true, false);
            ProbeCircle e;
            e.SetStyle(s.style);
            e.SetSubStyle(s.sub);
            e.SetSmoothingLevel(m.level);
            e.Milliseconds = m.milliseconds;
            Shots shots;
            stage.Run(e, [&] { shots.emplace_back(e.current, stage.Window()); });
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
            ASSERT_GE(shots.size(), 3u);

            const bool smooth = m.level > 0 && m.depth > 8;
            const int t = e.MaskFrames;
            EXPECT_EQ(e.hardMask, !smooth);
            // Growing circles paint whole discs on two masks; shrinking ones one.
            EXPECT_EQ(e.smoothMasks, !smooth ? 0 : s.shrinks ? 1 : 2);
            EXPECT_EQ(e.total, smooth ? t + kGreys[m.level].steps - 1 : t);
            const Radii radii = RadiiOf(w, h, At(s.x, w), At(s.y, h), t);
            ASSERT_TRUE(radii.monotonic);
            // The largest circle covers the page. (With an odd width or
            // height the farthest pixels need the radius of the last
            // pattern frame, which the driver's final copy stands in for.)
            EXPECT_EQ(std::count(radii.radius.begin(), radii.radius.end(), 0), 0);
            if (smooth && m.depth != 32) continue;

            const Greys &g = kGreys[smooth ? m.level : 1];
            for (size_t i = 0; i + 1 < shots.size(); ++i) {
                const int f = i == 0 ? 0 : shots[i].first;
                EXPECT_EQ(stage.Differences(shots[i].second,
                                            [&](int x, int y) {
                                                const int r = radii.At(x, y);
                                                if (!smooth) {
                                                    const bool arriving = s.shrinks ? r > t - f : r <= f;
                                                    return arriving ? stage.Arriving(x, y) : stage.Departing(x, y);
                                                }
                                                // A shrinking circle's grey starts a frame before the
                                                // pixel leaves it (when the next circle is painted white).
                                                // Pixels of no pattern frame keep the departing page.
                                                const int reached = s.shrinks ? t - r : r;
                                                const int grey = reached < 1 || reached > t ? 255 : GreyAt(g, reached, f);
                                                return Mix(stage.Arriving(x, y), stage.Departing(x, y), grey);
                                            }),
                          "")
                    << "frame " << f;
            }
        }
    }
}

// Reversed plays the sub-style of the other motion around the same centre,
// picture for picture.
TEST_F(Circle, ReversedPlaysTheOtherMotion) {
    struct Case {
        uint16_t style, sub, plays;
    } cases[] = {{2, 3, 7}, {1, 2, 1}, {3, 4, 8}, {3, 6, 2}};
    for (const Case &c : cases) {
        for (uint16_t level : {0, 3}) {
            SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << level);
            auto run = [&](uint16_t sub, bool reversed) {
                EffectStage stage(32, 30, 20);
                testing::SetProcessorFlags(true, false);
                TCircleTransition e(nullptr);
                e.SetStyle(c.style);
                e.SetSubStyle(sub);
                e.SetSmoothingLevel(level);
                e.Reversed = reversed;
                return stage.Shots(e);
            };
            const auto reversed = run(c.sub, true);
            EXPECT_GE(reversed.size(), 3u);
            EXPECT_TRUE(reversed == run(c.plays, false));
        }
    }
}

// A combination without a circle has no frames: the hard run is aborted
// before any frame and leaves the screen alone, the smoothing run passes
// its fading frames without painting and ends on the arriving page. Pages
// of one pixel run to the arriving page; empty ones end at once.
TEST_F(Circle, NoFramesTinyAndEmptyPages) {
    for (uint16_t level : {0, 2}) {
        SCOPED_TRACE(level);
        EffectStage stage(32, 20, 10);
        testing::SetProcessorFlags(true, false);
        const std::vector<uint8_t> before = stage.Window();
        ProbeCircle e;
        e.Style = 4;
        e.SetSmoothingLevel(level);
        if (level == 0) {
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(e.executed, 0);
            EXPECT_EQ(stage.Window(), before);
        } else {
            const std::vector<std::vector<uint8_t>> shots = stage.Shots(e);
            EXPECT_EQ(e.total, kGreys[level].steps - 1);
            ASSERT_GE(shots.size(), 2u);
            for (size_t i = 0; i + 1 < shots.size(); ++i) EXPECT_EQ(stage.DifferencesFromDepartingPage(shots[i]), "");
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
    struct Case {
        int width, height;
        uint16_t style, sub;
    } cases[] = {{1, 1, 1, 1}, {1, 1, 1, 2}, {1, 9, 2, 6}, {9, 1, 3, 3}, {1, 7, 3, 5}, {2, 2, 2, 4}};
    for (const Case &c : cases) {
        for (uint16_t level : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.style << "." << c.sub
                                              << ", level " << level);
            EffectStage stage(32, c.width, c.height);
            testing::SetProcessorFlags(true, false);
            TCircleTransition e(nullptr);
            e.SetStyle(c.style);
            e.SetSubStyle(c.sub);
            e.SetSmoothingLevel(level);
            stage.Run(e);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}}) {
        EffectStage stage(32, w, h);
        TCircleTransition e(nullptr);
        EXPECT_THROW(stage.Run(e), rtl::EAbort);
    }
}

// Records: the values round-trip (Style is read before SubStyle, which
// depends on it); values the setters refuse keep the ones already there.
// The catalogue lists the class under its code with what each property takes.
TEST_F(Circle, RecordsAndCatalogue) {
    RegisterAllTransitions();
    TCircleTransition stored(nullptr);
    stored.SetStyle(3);
    stored.SetSubStyle(7);
    stored.SetSmoothingLevel(4);
    stored.Reversed = true;
    EXPECT_EQ(TransitionToParams(stored).substr(0, 7), "QVTS102");
    auto read = test::RoundTrip(stored);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetStyle(), 3);
    EXPECT_EQ(read->GetSubStyle(), 7);
    EXPECT_EQ(read->GetSmoothingLevel(), 4);
    EXPECT_TRUE(read->Reversed);

    test::ExpectStoredPatternsReadAs<TCircleTransition>(
        {{4, 1, 7, 1, 1, 0}, {1, 3, 2, 1, 1, 2}, {2, 9, 6, 2, 1, 6}, {65535, 65535, 65535, 1, 1, 0}});

    test::ExpectCatalogued("Circle", "TCircleTransition", "02",
                           {{"Reversed", "False", nullptr},
                            {"SmoothingLevel", "0", "0..6"},
                            {"Style", "1", "0..3"},
                            {"SubStyle", "1", "0..8"}});
    // A sub-style the style in use does not have is refused with a message.
    TCircleTransition edited(nullptr);
    EXPECT_THROW(ApplyPropertyText(edited, "SubStyle", "5"), EPropertyValueError);
    ApplyPropertyText(edited, "Style", "2");
    ApplyPropertyText(edited, "SubStyle", "5");
    EXPECT_EQ(edited.GetSubStyle(), 5);
}

} // namespace
} // namespace qvt
