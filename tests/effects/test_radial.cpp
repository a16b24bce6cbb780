// The Radial effect. Most cases use an 8 x 6 page, worked on as 9 x 7: the
// centre is (4, 3), the ring has 36 positions with the corners at 1 (-1, -1),
// 11 (9, -1), 19 (9, 7) and 29 (-1, 7).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "smoothing_model.h"
#include "record_names.h"
#include "effects/teRadial.h"
#include "effects/teRegister.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/exceptions.h"

namespace qvt {
namespace {

using test::EffectStage;

std::string Text(const TRect &r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

std::vector<std::pair<uint16_t, uint16_t>> AllPairs() {
    std::vector<std::pair<uint16_t, uint16_t>> pairs;
    const uint16_t counts[] = {8, 8, 8, 8, 16, 8, 16};
    for (uint16_t style = 1; style <= 7; ++style)
        for (uint16_t sub = 1; sub <= counts[style - 1]; ++sub) pairs.emplace_back(style, sub);
    return pairs;
}

// A 1-bit mask as the framework makes it: white, with black pen and brush.
std::unique_ptr<TBitmap> WhiteMask(int w, int h) {
    auto mask = std::make_unique<TBitmap>();
    mask->SetMonochrome(true);
    mask->SetSize(w, h);
    TCanvas &c = mask->Canvas();
    c.Brush().SetColor(rtl::clWhite);
    c.FillRect(TRect{0, 0, w, h});
    c.Pen().SetColor(rtl::clBlack);
    c.Brush().SetColor(rtl::clBlack);
    return mask;
}

std::vector<std::pair<int, int>> BlackPixels(TBitmap &mask) {
    std::vector<std::pair<int, int>> black;
    for (int y = 0; y < mask.Height(); ++y)
        for (int x = 0; x < mask.Width(); ++x)
            if ((static_cast<const uint8_t *>(mask.ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0)
                black.emplace_back(x, y);
    return black;
}

// An effect on an 8 x 6 page, set up as a run would set it up, with the
// dirty rectangles clipped to the page.
struct Painted {
    explicit Painted(uint16_t style, uint16_t sub, uint16_t level = 0) : e(nullptr) {
        e.SetStyle(style);
        e.SetSubStyle(sub);
        e.SetSmoothingLevel(level);
        e.MaskFrames = e.CalcTotalFrames(data);
        e.SetGeometry(8, 6);
        e.DirtyRects = std::make_unique<TFCDirtyRects>();
        e.DirtyRects->UseClip = true;
        e.DirtyRects->ClipRect = TRect{0, 0, 8, 6};
    }
    void Paint(int frame, int step, bool draw) {
        e.DirtyRects->Clear();
        e.PaintMask(*mask, frame, step, e.MaskFrames, frame - step, data, draw, true);
    }
    TRadialTransition e;
    TTETransitionData data{8, 6, nullptr, nullptr, nullptr, nullptr, pf32bit, false};
    std::unique_ptr<TBitmap> mask = WhiteMask(32, 6);
};

class Radial : public ::testing::Test {
protected:
    void SetUp() override { testing::SetProcessorFlags(true, false); }
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(Radial, StylesAndSubStyles) {
    TRadialTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Radial");
    EXPECT_EQ(e.StyleCount, 7);
    EXPECT_TRUE(e.NeedTwoSmoothMasks());
    const uint16_t counts[] = {0, 8, 8, 8, 8, 16, 8, 16, 1};
    for (uint16_t style = 0; style < 9; ++style) EXPECT_EQ(e.GetSubStyleCount(style), counts[style]) << style;
    // Neighbours pair up: 1 and 2, 3 and 4, ...
    for (auto [style, sub] : AllPairs())
        EXPECT_EQ(e.GetReversedSubStyle(style, sub), sub % 2 == 1 ? sub + 1 : sub - 1) << style << "." << sub;
    EXPECT_EQ(e.GetReversedSubStyle(1, 9), 9);
    EXPECT_EQ(e.GetReversedSubStyle(4, 0), 0);
    e.SetStyle(5);
    e.SetSubStyle(16);
    EXPECT_EQ(e.GetSubStyle(), 16);
    e.SetStyle(6);
    e.SetSubStyle(9);
    EXPECT_EQ(e.GetSubStyle(), 1);
    e.SetStyle(8);
    EXPECT_EQ(e.GetStyle(), 6);
    // Hard frames are painted on a clean mask, smoothing ones are not.
    e.SetSmoothingLevel(2);
    EXPECT_FALSE(e.ClearMaskEachFrame());
    QvtSetDisplayDepth(8);
    testing::RefreshDisplay();
    EXPECT_TRUE(e.ClearMaskEachFrame());
}

// Odd sizes stay, even ones are widened by one; the ring runs clockwise from
// the top-left corner, one pixel outside the widened page.
TEST_F(Radial, RingAndCorners) {
    struct Case {
        int width, height;
        int64_t oddW, oddH, cx, cy, ring, tr, br, bl;
    } cases[] = {{7, 5, 7, 5, 3, 2, 28, 9, 15, 23}, {8, 6, 9, 7, 4, 3, 36, 11, 19, 29}, {1, 1, 1, 1, 0, 0, 8, 3, 5, 7}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        TRadialTransition e(nullptr);
        TTETransitionData data(c.width, c.height, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
        EXPECT_EQ(e.CalcTotalFrames(data), c.ring);
        EXPECT_EQ(e.OddWidth, c.oddW);
        EXPECT_EQ(e.OddHeight, c.oddH);
        EXPECT_EQ(e.CentreX, c.cx);
        EXPECT_EQ(e.CentreY, c.cy);
        EXPECT_EQ(e.RingLength, c.ring);
        EXPECT_EQ(e.CornerPositions, (std::array<int64_t, 4>{1, c.tr, c.br, c.bl}));
        struct Point {
            int64_t p, x, y;
        } points[] = {
            {1, -1, -1},         {2, 0, -1},           {c.tr - 1, c.oddW - 1, -1}, {c.tr, c.oddW, -1},
            {c.tr + 1, c.oddW, 0}, {c.br, c.oddW, c.oddH}, {c.br + 1, c.oddW - 1, c.oddH}, {c.bl - 1, 0, c.oddH},
            {c.bl, -1, c.oddH},  {c.bl + 1, -1, c.oddH - 1}, {c.ring, -1, 0},          {c.ring + 1, -1, -1},
        };
        for (const Point &p : points) {
            const auto at = e.RingPoint(p.p);
            EXPECT_EQ(at.X, p.x) << p.p;
            EXPECT_EQ(at.Y, p.y) << p.p;
        }
    }
}

TEST_F(Radial, FrameCountsPerStyle) {
    struct Case {
        uint16_t style, sub;
        int hard, smooth;
    } cases[] = {
        {1, 1, 36, 36}, {1, 8, 36, 36}, {2, 1, 36, 18}, {2, 6, 36, 18}, {3, 1, 9, 9},   {3, 4, 9, 9},
        {3, 5, 9, 10},  {3, 8, 9, 10},  {4, 1, 29, 29}, {4, 4, 29, 29}, {4, 5, 27, 27}, {4, 8, 27, 27},
        {5, 1, 29, 14}, {5, 8, 29, 14}, {5, 9, 27, 13}, {5, 16, 27, 13}, {6, 1, 18, 18}, {6, 8, 18, 18},
        {7, 1, 18, 9},  {7, 16, 18, 9}, {8, 1, 0, 0},
    };
    for (const Case &c : cases) {
        for (uint16_t level : {0, 3}) {
            SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << level);
            TRadialTransition e(nullptr);
            e.Style = c.style;
            e.SubStyle = c.sub;
            e.SetSmoothingLevel(level);
            TTETransitionData data(8, 6, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
            EXPECT_EQ(e.CalcTotalFrames(data), level == 0 ? c.hard : c.smooth);
        }
    }
    // Odd sizes: 7 x 5 has a ring of 28.
    TRadialTransition e(nullptr);
    e.SetStyle(4);
    e.SetSubStyle(5);
    TTETransitionData data(7, 5, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
    EXPECT_EQ(e.CalcTotalFrames(data), 21);
    // An empty page has no frames.
    TTETransitionData empty(0, 5, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
    EXPECT_EQ(e.CalcTotalFrames(empty), 0);
}

// Frames 1 and 2 of every one-hand sub-style, painted in one step: the
// wedge from the pivot over the hand's first two positions tells where the
// hand starts and which way it turns.
TEST_F(Radial, EachHandsFirstFrames) {
    struct Case {
        uint16_t style, sub;
        TRect box;
    } cases[] = {
        // Centre (4, 3): up, right, down and left, clockwise and back.
        {1, 1, {4, -1, 6, 4}}, {1, 2, {3, -1, 5, 4}}, {1, 3, {4, 3, 10, 5}}, {1, 4, {4, 2, 10, 4}},
        {1, 5, {3, 3, 5, 8}},  {1, 6, {4, 3, 6, 8}},  {1, 7, {-1, 2, 5, 4}}, {1, 8, {-1, 3, 5, 5}},
        // The middle of the left, right, top and bottom side.
        {4, 1, {-1, -1, 1, 4}}, {4, 2, {-1, 3, 1, 8}}, {4, 3, {8, -1, 10, 4}}, {4, 4, {8, 3, 10, 8}},
        {4, 5, {-1, -1, 5, 1}}, {4, 6, {4, -1, 10, 1}}, {4, 7, {-1, 6, 5, 8}}, {4, 8, {4, 6, 10, 8}},
        // The top-left, top-right, bottom-left and bottom-right corner.
        {6, 1, {-1, -1, 10, 1}}, {6, 2, {-1, -1, 2, 8}}, {6, 3, {-1, -1, 10, 2}}, {6, 4, {8, -1, 10, 8}},
        {6, 5, {-1, -1, 1, 8}},  {6, 6, {-1, 5, 10, 8}}, {6, 7, {-1, 6, 10, 8}}, {6, 8, {7, -1, 10, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub);
        Painted p(c.style, c.sub);
        p.Paint(2, 2, false);
        EXPECT_EQ(Text(p.e.UpdateRect), Text(c.box));
        // One wedge, clipped to the page (and gone when it lies beside the
        // page, on the ring of a widened side).
        TRect clipped;
        const TRect page{0, 0, 8, 6};
        if (IntersectRect(&clipped, &c.box, &page)) {
            ASSERT_EQ(p.e.DirtyRects->Count(), 1);
            EXPECT_EQ(Text(p.e.DirtyRects->Get(0)), Text(clipped));
        } else {
            EXPECT_EQ(p.e.DirtyRects->Count(), 0);
        }
    }
}

// What one call paints: a line for a single position, else the polygon
// from the pivot over the corners that lie between the wedge's ends and
// are on for the pivot.
TEST_F(Radial, WedgesAndTheirCorners) {
    struct Case {
        const char *what;
        uint16_t style, sub;
        int frame, step;
        std::vector<POINT> points;
    } cases[] = {
        {"a line", 1, 1, 31, 1, {{4, 3}, {-1, 0}}},
        {"over the top-right corner", 1, 1, 10, 10, {{4, 3}, {4, -1}, {9, -1}, {9, 3}}},
        {"wrapping past the last position to the top-left corner", 1, 1, 34, 6, {{4, 3}, {-1, 2}, {-1, -1}, {1, -1}}},
        {"the left side's whole sweep", 4, 1, 29, 29, {{-1, 3}, {-1, -1}, {9, -1}, {9, 7}, {-1, 7}}},
        {"the left side's corners stay off", 4, 1, 40, 15, {{-1, 3}, {2, 7}, {2, -1}}},
        {"only the top-left corner is on for the bottom-right one", 6, 7, 18, 18, {{9, 7}, {-1, 7}, {-1, -1}, {8, -1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Painted p(c.style, c.sub);
        p.Paint(c.frame, c.step, true);
        auto want = WhiteMask(32, 6);
        if (c.points.size() == 2) {
            want->Canvas().MoveTo(c.points[0].x, c.points[0].y);
            want->Canvas().LineTo(c.points[1].x, c.points[1].y);
        } else {
            want->Canvas().Polygon(c.points);
        }
        const auto black = BlackPixels(*p.mask);
        EXPECT_FALSE(black.empty());
        EXPECT_EQ(black, BlackPixels(*want));
        TRect box{c.points[0].x, c.points[0].y, c.points[0].x + 1, c.points[0].y + 1};
        for (const POINT &pt : c.points) {
            const TRect one{pt.x, pt.y, pt.x + 1, pt.y + 1};
            UnionRect(&box, &box, &one);
        }
        EXPECT_EQ(Text(p.e.UpdateRect), Text(box));
        // Only the rectangles are asked for: nothing is painted.
        Painted q(c.style, c.sub);
        q.Paint(c.frame, c.step, false);
        EXPECT_EQ(Text(q.e.UpdateRect), Text(box));
        EXPECT_TRUE(BlackPixels(*q.mask).empty());
    }
}

// Two hands: the alternating scheme deals odd frames to hand A and even
// ones to hand B, the one owning the step's first frame moving first and
// further; the smoothing scheme moves both every frame. Each wedge is a
// rectangle of its own.
TEST_F(Radial, TwoHandSchemes) {
    struct Case {
        const char *what;
        uint16_t style, sub, level;
        int frame, step;
        std::vector<TRect> wedges;
    } cases[] = {
        {"step 1, odd frame: hand A only", 2, 1, 0, 1, 1, {{4, -1, 5, 4}}},
        {"step 1, even frame: hand B only", 2, 1, 0, 2, 1, {{4, 3, 5, 8}}},
        {"step 3 from frame 0: A two positions, then B one", 2, 1, 0, 3, 3, {{4, -1, 6, 4}, {4, 3, 5, 8}}},
        {"step 3 from frame 1: B two positions, then A one", 2, 1, 0, 4, 3, {{3, 3, 5, 8}, {4, -1, 6, 4}}},
        {"hand B a position behind A, turning back", 2, 5, 0, 2, 1, {{3, -1, 5, 4}}},
        {"played backwards from the ends", 2, 2, 0, 1, 1, {{4, -1, 5, 4}}},
        {"played backwards, second frame", 2, 2, 0, 2, 1, {{4, 3, 5, 8}}},
        {"hand B from the middle of the right side", 5, 1, 0, 2, 1, {{-1, 3, 10, 4}}},
        {"top pivot, both turning back", 5, 9, 0, 1, 1, {{-1, -1, 5, 0}}},
        {"top pivot, hand B from the bottom", 5, 9, 0, 2, 1, {{4, -1, 5, 8}}},
        {"corner, hand B half way", 7, 1, 0, 2, 1, {{-1, -1, 9, 8}}},
        {"smoothing: both hands every frame", 2, 1, 2, 1, 1, {{4, -1, 5, 4}, {4, 3, 5, 8}}},
        {"smoothing: the left side's two hands", 5, 1, 2, 1, 1, {{-1, -1, 0, 4}, {-1, 3, 10, 4}}},
        {"smoothing: two hands from a corner", 7, 1, 2, 1, 1, {{-1, -1, 10, 0}, {-1, -1, 9, 8}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Painted p(c.style, c.sub, c.level);
        ASSERT_EQ(p.e.UseSmoothing(), c.level > 0);
        p.Paint(c.frame, c.step, false);
        TRect all{0, 0, 0, 0};
        std::vector<std::string> want, got;
        const TRect page{0, 0, 8, 6};
        for (const TRect &r : c.wedges) {
            UnionRect(&all, &all, &r);
            TRect clipped;
            if (IntersectRect(&clipped, &r, &page)) want.push_back(Text(clipped));
        }
        for (int i = 0; i < p.e.DirtyRects->Count(); ++i) got.push_back(Text(p.e.DirtyRects->Get(i)));
        EXPECT_EQ(got, want);
        EXPECT_EQ(Text(p.e.UpdateRect), Text(all));
    }
}

// A style stored beyond the table, or a pair that has no routine, paints
// nothing and reports nothing.
TEST_F(Radial, UnknownPairsPaintNothing) {
    for (auto [style, sub] : {std::pair<uint16_t, uint16_t>{8, 1}, {1, 9}, {4, 9}, {7, 17}}) {
        SCOPED_TRACE(::testing::Message() << style << "." << sub);
        Painted p(1, 1);
        p.e.Style = style;
        p.e.SubStyle = sub;
        p.e.SetGeometry(8, 6);
        p.e.MaskFrames = 20;
        p.Paint(5, 5, true);
        EXPECT_EQ(Text(p.e.UpdateRect), Text(TRect{0, 0, 0, 0}));
        EXPECT_EQ(p.e.DirtyRects->Count(), 0);
        EXPECT_TRUE(BlackPixels(*p.mask).empty());
    }
}

// A radial that tells what its run did.
class ProbeRadial : public TRadialTransition {
public:
    ProbeRadial() : TRadialTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TRadialTransition::Initialize(data, totalFrames);
        total = totalFrames;
        smoothMasks = (SmoothMask ? 1 : 0) + (SecondSmoothMask ? 1 : 0);
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TRadialTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        current = frame;
        ++executed;
        // A hard frame leaves the mask clean for the next one.
        if (HardMask)
            for (int y = 0; y < data.Height; ++y)
                for (int x = 0; x < data.Width; ++x)
                    if ((static_cast<const uint8_t *>(HardMask->ScanLine(y))[x >> 3] & (0x80 >> (x & 7))) == 0)
                        ++leftBlack;
    }
    int total = -1, current = 0, executed = 0, smoothMasks = 0, leftBlack = 0;
};

// Every pair on 8-, 16- and 32-bit displays, hard and smoothing, every
// frame or in bigger steps, on a page of odd width and even height: the run
// has the frames of its style, a hard picture shows each pixel from one
// page or the other and never takes the arriving page back, and the run
// ends on the arriving page.
TEST_F(Radial, EveryPairRunsToTheArrivingPage) {
    struct Mode {
        int depth;
        uint16_t level;
        int milliseconds; // > 0: sampled at 100 frames a second, steps of several frames
    } modes[] = {{8, 0, 0}, {16, 0, 0}, {32, 0, 0}, {32, 0, 150}, {8, 2, 0}, {16, 2, 0}, {32, 2, 0}, {32, 1, 90}};
    const int w = 21, h = 14;
    for (auto [style, sub] : AllPairs()) {
        for (const Mode &m : modes) {
            SCOPED_TRACE(::testing::Message() << style << "." << sub << ", " << m.depth << " bits, level " << m.level
                                              << ", " << m.milliseconds << " ms");
            EffectStage stage(m.depth, w, h);
            ProbeRadial e;
            e.SetStyle(style);
            e.SetSubStyle(sub);
            e.SetSmoothingLevel(m.level);
            e.Milliseconds = m.milliseconds;
            const std::vector<std::vector<uint8_t>> shots = stage.Shots(e);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
            ASSERT_GE(shots.size(), 3u);

            const bool smooth = m.level > 0 && m.depth > 8;
            TTETransitionData data(w, h, nullptr, nullptr, nullptr, nullptr, pf32bit, false);
            EXPECT_EQ(e.MaskFrames, e.CalcTotalFrames(data));
            EXPECT_GT(e.MaskFrames, 0);
            EXPECT_EQ(e.total, smooth ? e.MaskFrames + test::kGreys[m.level].steps - 1 : e.MaskFrames);
            EXPECT_EQ(e.smoothMasks, smooth ? 2 : 0);
            EXPECT_EQ(e.leftBlack, 0);
            if (smooth) continue;
            // Arrived pixels stay; the others show one page or the other.
            std::vector<bool> arrived(static_cast<size_t>(w) * h, false);
            const int rowBytes = (w + 2 * EffectStage::kLeft) * 3;
            for (size_t i = 0; i < shots.size(); ++i) {
                const std::vector<uint8_t> &shot = shots[i];
                auto shown = [&](int x, int y) {
                    const size_t at =
                        static_cast<size_t>((y + EffectStage::kTop) * rowBytes + (x + EffectStage::kLeft) * 3);
                    return test::Rgb{shot[at], shot[at + 1], shot[at + 2]};
                };
                EXPECT_EQ(stage.Differences(shot,
                                            [&](int x, int y) {
                                                const size_t at = static_cast<size_t>(y) * w + x;
                                                if (shown(x, y) == stage.Arriving(x, y)) arrived[at] = true;
                                                return arrived[at] ? stage.Arriving(x, y) : stage.Departing(x, y);
                                            }),
                          "")
                    << "picture " << i;
            }
        }
    }
}

// Reversed plays the neighbouring sub-style, picture for picture.
TEST_F(Radial, ReversedPlaysTheNeighbour) {
    struct Case {
        uint16_t style, sub, plays;
    } cases[] = {{5, 7, 8}, {5, 8, 7}, {5, 9, 10}, {5, 10, 9}, {7, 9, 10}, {2, 4, 3}, {1, 5, 6}};
    for (const Case &c : cases) {
        for (uint16_t level : {0, 3}) {
            SCOPED_TRACE(::testing::Message() << c.style << "." << c.sub << ", level " << level);
            auto run = [&](uint16_t sub, bool reversed) {
                EffectStage stage(32, 30, 20);
                TRadialTransition e(nullptr);
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

// No frames: a style stored beyond the table aborts the hard run before any
// frame and leaves the screen alone; the smoothing run passes its fading
// frames without painting and ends on the arriving page. An empty area
// ends at once; tiny pages run to the arriving page.
TEST_F(Radial, NoFramesEmptyAndTinyPages) {
    for (uint16_t level : {0, 2}) {
        SCOPED_TRACE(level);
        EffectStage stage(32, 20, 10);
        const std::vector<uint8_t> before = stage.Window();
        ProbeRadial e;
        e.Style = 8;
        e.SetSmoothingLevel(level);
        if (level == 0) {
            EXPECT_THROW(stage.Run(e), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_EQ(e.executed, 0);
            EXPECT_EQ(stage.Window(), before);
        } else {
            const std::vector<std::vector<uint8_t>> shots = stage.Shots(e);
            EXPECT_EQ(e.total, test::kGreys[level].steps - 1);
            ASSERT_GE(shots.size(), 2u);
            for (size_t i = 0; i + 1 < shots.size(); ++i) EXPECT_EQ(stage.DifferencesFromDepartingPage(shots[i]), "");
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}}) {
        EffectStage stage(32, w, h);
        TRadialTransition e(nullptr);
        EXPECT_THROW(stage.Run(e), rtl::EAbort);
    }
    struct Case {
        int width, height;
        uint16_t style, sub;
    } cases[] = {{1, 1, 1, 1}, {1, 1, 7, 16}, {2, 1, 3, 5}, {1, 9, 5, 13}, {9, 2, 6, 4}};
    for (const Case &c : cases) {
        for (uint16_t level : {0, 6}) {
            SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", " << c.style << "." << c.sub
                                              << ", level " << level);
            EffectStage stage(32, c.width, c.height);
            TRadialTransition e(nullptr);
            e.SetStyle(c.style);
            e.SetSubStyle(c.sub);
            e.SetSmoothingLevel(level);
            stage.Run(e);
            EXPECT_EQ(stage.DifferencesFromArrivingPage(), "");
        }
    }
}

// Records round-trip; stored values the setters refuse keep the ones there
// already. The catalogue lists the class under its code.
TEST_F(Radial, RecordsAndCatalogue) {
    RegisterAllTransitions();
    TRadialTransition stored(nullptr);
    stored.SetStyle(7);
    stored.SetSubStyle(14);
    stored.SetSmoothingLevel(5);
    stored.Reversed = true;
    EXPECT_EQ(TransitionToParams(stored).substr(0, 7), "QVTS110");
    auto read = test::RoundTrip(stored);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetStyle(), 7);
    EXPECT_EQ(read->GetSubStyle(), 14);
    EXPECT_EQ(read->GetSmoothingLevel(), 5);
    EXPECT_TRUE(read->Reversed);

    test::ExpectStoredPatternsReadAs<TRadialTransition>(
        {{8, 1, 7, 1, 1, 0}, {4, 9, 2, 4, 1, 2}, {6, 16, 6, 6, 1, 6}, {0, 3, 1, 0, 0, 1}, {65535, 65535, 65535, 1, 1, 0}});

    test::ExpectCatalogued("Radial", "TRadialTransition", "10",
                           {{"Reversed", "False", nullptr},
                            {"SmoothingLevel", "0", "0..6"},
                            {"Style", "1", "0..7"},
                            {"SubStyle", "1", "0..16"}});
}

} // namespace
} // namespace qvt
