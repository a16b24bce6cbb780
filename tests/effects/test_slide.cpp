// The Slide effect: every drawing case frame by frame against the picture
// each frame must show, skipped frames, proportions on the diagonals, the
// stretch mode of the target, and areas too small to move in.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effects/teRegister.h"
#include "effects/teSlide.h"
#include "engine/TransRun.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "record_names.h"
#include "two_pages.h"

namespace qvt {
namespace {

using test::Picture;
using test::TwoPages;

// A slide that reads the window after every frame it draws.
class ProbeSlide : public TSlideTransition {
public:
    explicit ProbeSlide(TwoPages &pages) : TSlideTransition(nullptr), pages(pages) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TSlideTransition::Initialize(data, totalFrames);
        total = totalFrames;
        modeInRun = GetStretchBltMode(data.DrawCanvas().Handle());
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        TSlideTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        frames.push_back(frame);
        pictures.push_back(pages.read());
    }
    TwoPages &pages;
    int minStep = 1, total = -1, modeInRun = 0;
    std::vector<int> frames;
    std::vector<Picture> pictures;
};

// What a frame shows, by case: which page lies underneath, and the moving
// or elastic rectangles on top of it.
enum class Shows {
    InRigid, InOldSqueezed, InNewStretched, BothElastic, OutRigid, OutOldSqueezed, OutNewStretched,
    CornerIn, CornerStretched, RestOut, RestSqueezed, Grow, Shrink
};

struct Expected {
    int slideCase;
    TTEEffectDirection dir; // the direction in use
    Shows shows;
};

// The case table, written out as the product defines it.
Expected ExpectedCase(TTEEffectDirection direction, bool slideOut, bool elasticSrc, bool elasticDst, bool reversed) {
    TTEEffectDirection dir = direction;
    if (reversed) {
        const TTEEffectDirection opposite[] = {tedNone, tedLeft, tedRight, tedUp, tedDown, tedUpLeft,
                                               tedUpRight, tedDownLeft, tedDownRight, tedOut, tedIn};
        dir = opposite[direction];
        std::swap(elasticSrc, elasticDst);
        slideOut = !slideOut;
    }
    struct Straight {
        TTEEffectDirection dir;
        int cases[7]; // in: rigid, old squeezed, new stretched, both; out: rigid, old squeezed, new stretched
    } straight[] = {{tedDown, {1, 2, 3, 4, 26, 27, 28}},
                    {tedUp, {5, 6, 7, 8, 29, 30, 31}},
                    {tedLeft, {9, 10, 11, 12, 32, 33, 34}},
                    {tedRight, {13, 14, 15, 16, 35, 36, 37}}};
    const Shows straightShows[] = {Shows::InRigid,  Shows::InOldSqueezed,  Shows::InNewStretched, Shows::BothElastic,
                                   Shows::OutRigid, Shows::OutOldSqueezed, Shows::OutNewStretched};
    for (const Straight &s : straight) {
        if (s.dir != dir) continue;
        int column = elasticSrc && elasticDst ? 3 : elasticSrc ? 1 : elasticDst ? 2 : 0;
        if (slideOut && column != 3) column = column == 0 ? 4 : column + 4;
        return {s.cases[column], dir, straightShows[column]};
    }
    struct Diagonal {
        TTEEffectDirection dir;
        int cases[4]; // in rigid, out rigid, old squeezed, new stretched
    } diagonal[] = {{tedDownLeft, {17, 38, 39, 18}},
                    {tedDownRight, {19, 40, 41, 20}},
                    {tedUpLeft, {21, 42, 43, 22}},
                    {tedUpRight, {23, 44, 45, 24}}};
    const Shows diagonalShows[] = {Shows::CornerIn, Shows::RestOut, Shows::RestSqueezed, Shows::CornerStretched};
    for (const Diagonal &d : diagonal) {
        if (d.dir != dir) continue;
        const int column = elasticDst ? 3 : elasticSrc ? 2 : slideOut ? 1 : 0;
        return {d.cases[column], dir, diagonalShows[column]};
    }
    if (dir == tedOut) return {25, dir, Shows::Grow};
    return {46, dir, Shows::Shrink};
}

// A rectangle of one page on the picture: shifted so that (r.left, r.top)
// shows page pixel (sx, sy), or the whole page stretched into r.
struct Layer {
    RECT r;
    const Picture *page;
    bool stretch;
    int sx = 0, sy = 0;
};

RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

Picture Compose(const Picture &under, const std::vector<Layer> &layers) {
    Picture p = under;
    const int w = under.width, h = under.height;
    for (const Layer &l : layers) {
        const int lw = l.r.right - l.r.left, lh = l.r.bottom - l.r.top;
        if (lw <= 0 || lh <= 0) continue;
        for (int y = l.r.top; y < l.r.bottom; ++y)
            for (int x = l.r.left; x < l.r.right; ++x) {
                int px, py;
                if (l.stretch) {
                    px = test::StretchSource(x - l.r.left, w, lw, false);
                    py = test::StretchSource(y - l.r.top, h, lh, true);
                } else {
                    px = l.sx + x - l.r.left;
                    py = l.sy + y - l.r.top;
                }
                std::memcpy(&p.rgb[(static_cast<size_t>(y) * w + x) * 3],
                            &l.page->rgb[(static_cast<size_t>(py) * w + px) * 3], 3);
            }
    }
    return p;
}

// The picture of frame c of t.
Picture FramePicture(const Expected &e, int c, int t, const Picture &oldPage, const Picture &newPage) {
    const int w = oldPage.width, h = oldPage.height;
    const Picture *o = &oldPage, *n = &newPage;
    const int k = c;
    RECT band{}, rest{};
    POINT newAt{0, 0}, oldAt{0, 0};
    switch (e.dir) {
    case tedDown: band = Box(0, 0, w, k), rest = Box(0, k, w, h - k), newAt = {0, h - k}; break;
    case tedUp: band = Box(0, h - k, w, k), rest = Box(0, 0, w, h - k), oldAt = {0, k}; break;
    case tedLeft: band = Box(w - k, 0, k, h), rest = Box(0, 0, w - k, h), oldAt = {k, 0}; break;
    case tedRight: band = Box(0, 0, k, h), rest = Box(k, 0, w - k, h), newAt = {w - k, 0}; break;
    default: break;
    }
    const int a = static_cast<int>(std::nearbyint(static_cast<double>(w) / t * c));
    const int b = static_cast<int>(std::nearbyint(static_cast<double>(h) / t * c));
    RECT corner{};
    switch (e.dir) {
    case tedDownRight: corner = Box(0, 0, a, b), rest = Box(a, b, w - a, h - b), newAt = {w - a, h - b}; break;
    case tedDownLeft: corner = Box(w - a, 0, a, b), rest = Box(0, b, w - a, h - b), newAt = {0, h - b}, oldAt = {a, 0}; break;
    case tedUpRight: corner = Box(0, h - b, a, b), rest = Box(a, 0, w - a, h - b), newAt = {w - a, 0}, oldAt = {0, b}; break;
    case tedUpLeft: corner = Box(w - a, h - b, a, b), rest = Box(0, 0, w - a, h - b), oldAt = {a, b}; break;
    default: break;
    }
    switch (e.shows) {
    case Shows::InRigid: return Compose(*o, {{band, n, false, newAt.x, newAt.y}});
    case Shows::InOldSqueezed: return Compose(*o, {{rest, o, true}, {band, n, false, newAt.x, newAt.y}});
    case Shows::InNewStretched: return Compose(*o, {{band, n, true}});
    case Shows::BothElastic: return Compose(*o, {{rest, o, true}, {band, n, true}});
    case Shows::OutRigid: return Compose(*n, {{rest, o, false, oldAt.x, oldAt.y}});
    case Shows::OutOldSqueezed: return Compose(*n, {{rest, o, true}});
    case Shows::OutNewStretched: return Compose(*o, {{rest, o, false, oldAt.x, oldAt.y}, {band, n, true}});
    case Shows::CornerIn: return Compose(*o, {{corner, n, false, newAt.x, newAt.y}});
    case Shows::CornerStretched: return Compose(*o, {{corner, n, true}});
    case Shows::RestOut: return Compose(*n, {{rest, o, false, oldAt.x, oldAt.y}});
    case Shows::RestSqueezed: return Compose(*n, {{rest, o, true}});
    case Shows::Grow: {
        const int left = (w - a) / 2, top = (h - b) / 2;
        return Compose(*o, {{Box(left, top, w - 2 * left, h - 2 * top), n, true}});
    }
    case Shows::Shrink: return Compose(*n, {{RECT{a / 2, b / 2, w - a / 2, h - b / 2}, o, true}});
    }
    return *o;
}

// "" when equal, else where the first difference is.
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

const TTEEffectDirection kAllDirections[] = {tedRight,    tedLeft,     tedDown,   tedUp, tedDownRight,
                                             tedDownLeft, tedUpRight, tedUpLeft, tedIn, tedOut};

class SlideEffect : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Runs e untimed on the pages with the target in another stretch mode,
    // which must be back after the run.
    static void Run(ProbeSlide &e, TwoPages &pages) {
        const int before = SetStretchBltMode(pages.screen(), WHITEONBLACK);
        RunTransition(e, pages.area(), pages.screen(), pages.page());
        EXPECT_EQ(GetStretchBltMode(pages.screen()), WHITEONBLACK);
        SetStretchBltMode(pages.screen(), before);
    }
};

TEST_F(SlideEffect, EveryCombinationDrawsItsCaseFrameByFrame) {
    // 10 x 7: the diagonals advance the shorter side in proportion and the
    // stretches shrink and enlarge by uneven factors.
    for (int depth : {8, 32}) {
        TwoPages pages(depth, 10, 7);
        for (TTEEffectDirection dir : kAllDirections)
            for (int flags = 0; flags < 16; ++flags)
                for (int step : {1, 3}) {
                    const bool out = flags & 1, src = flags & 2, dst = flags & 4, rev = flags & 8;
                    SCOPED_TRACE(::testing::Message() << depth << " bits, " << kEffectDirectionNames[dir] << ", SlideOut "
                                                      << out << ", ElasticSrc " << src << ", ElasticDst " << dst
                                                      << ", Reversed " << rev << ", step " << step);
                    pages.ShowDeparting();
                    ProbeSlide e(pages);
                    e.SetDirection(dir);
                    e.SlideOut = out;
                    e.ElasticSrc = src;
                    e.ElasticDst = dst;
                    e.Reversed = rev;
                    e.minStep = step;
                    Run(e, pages);

                    const Expected want = ExpectedCase(dir, out, src, dst, rev);
                    EXPECT_EQ(e.SlideCase, want.slideCase);
                    EXPECT_EQ(e.modeInRun, COLORONCOLOR);
                    const bool centre = want.dir == tedIn || want.dir == tedOut;
                    const bool diagonal = !centre && want.dir >= tedDownRight;
                    const int total = centre ? 5 : diagonal ? 10 : want.dir == tedLeft || want.dir == tedRight ? 10 : 7;
                    EXPECT_EQ(e.total, total);
                    ASSERT_EQ(e.frames.size(), static_cast<size_t>((total - 1) / step));
                    for (size_t i = 0; i < e.frames.size(); ++i) {
                        EXPECT_EQ(e.frames[i], static_cast<int>(i + 1) * step);
                        const Picture expected =
                            FramePicture(want, e.frames[i], total, pages.departingShown, pages.arrivingShown);
                        EXPECT_EQ(Difference(e.pictures[i], expected), "") << "frame " << e.frames[i];
                    }
                    EXPECT_EQ(Difference(pages.read(), pages.arrivingShown), "") << "after the run";
                }
    }
}

TEST_F(SlideEffect, BothElasticPagesLookTheSameSlidingInAndOut) {
    for (TTEEffectDirection dir : {tedDown, tedUp, tedLeft, tedRight}) {
        SCOPED_TRACE(kEffectDirectionNames[dir]);
        TwoPages pages(32, 9, 6);
        std::vector<Picture> seen[2];
        for (bool out : {false, true}) {
            pages.ShowDeparting();
            ProbeSlide e(pages);
            e.SetDirection(dir);
            e.ElasticSrc = e.ElasticDst = true;
            e.SlideOut = out;
            Run(e, pages);
            seen[out] = e.pictures;
        }
        EXPECT_FALSE(seen[0].empty());
        EXPECT_TRUE(seen[0] == seen[1]);
    }
}

TEST_F(SlideEffect, DiagonalAdvancesTheShorterSideInProportion) {
    // 640 x 480 runs 640 frames: at frame 2 the corner is 2 x 2, at frame 6
    // it is 6 x Round(4.5) = 6 x 4.
    TwoPages pages(32, 640, 480);
    struct CornerProbe : ProbeSlide {
        using ProbeSlide::ProbeSlide;
        void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
            TSlideTransition::ExecuteFrame(data, frame, step, totalFrames, last);
            if (frame == 2 || frame == 6) pictures.push_back(pages.read());
        }
    } e(pages);
    e.SetDirection(tedDownRight);
    Run(e, pages);
    EXPECT_EQ(e.total, 640);
    ASSERT_EQ(e.pictures.size(), 2u);
    const Picture &np = pages.arrivingShown, &op = pages.departingShown;
    struct Corner {
        const Picture *seen;
        int a, b;
    } corners[] = {{&e.pictures[0], 2, 2}, {&e.pictures[1], 6, 4}};
    for (const Corner &c : corners) {
        SCOPED_TRACE(::testing::Message() << c.a << " x " << c.b);
        // The corner shows the bottom-right of the arriving page.
        EXPECT_EQ(c.seen->at(c.a - 1, c.b - 1), np.at(639, 479));
        EXPECT_EQ(c.seen->at(0, 0), np.at(640 - c.a, 480 - c.b));
        EXPECT_EQ(c.seen->at(c.a, c.b - 1), op.at(c.a, c.b - 1));
        EXPECT_EQ(c.seen->at(c.a - 1, c.b), op.at(c.a - 1, c.b));
    }
    EXPECT_EQ(pages.read(), pages.arrivingShown);
}

TEST_F(SlideEffect, DirectionNoneIsRefused) {
    TSlideTransition e(nullptr);
    EXPECT_EQ(e.Direction, tedDown);
    e.SetDirection(tedNone);
    EXPECT_EQ(e.Direction, tedDown);
    e.SetDirection(tedIn);
    EXPECT_EQ(e.Direction, tedIn);
    EXPECT_EQ(e.GetDescription(), "Slide");
    EXPECT_EQ(e.GetEditorName(), "TSlideTransitionEditor");
    EXPECT_TRUE(e.NeedSrcImage());
    EXPECT_FALSE(e.NeedWorkBitmap());

    // A record naming tedNone keeps the default direction; the other
    // properties it carries are read.
    RegisterAllTransitions();
    TSlideTransition stored(nullptr);
    stored.SetDirection(tedUp);
    stored.SlideOut = true;
    std::unique_ptr<TTransitionEffect> decoded = test::DecodeWithName(TransitionToParams(stored), "tedUp", "tedNone");
    auto *slide = dynamic_cast<TSlideTransition *>(decoded.get());
    ASSERT_NE(slide, nullptr);
    EXPECT_EQ(slide->Direction, tedDown);
    EXPECT_TRUE(slide->SlideOut);
}

TEST_F(SlideEffect, EmptyAreasAbortAndThinOnesEndWithTheArrivingPage) {
    for (TTEEffectDirection dir : kAllDirections) {
        SCOPED_TRACE(kEffectDirectionNames[dir]);
        for (auto [w, h] : {std::pair{0, 5}, {6, 0}, {0, 0}}) {
            SCOPED_TRACE(::testing::Message() << w << " x " << h);
            TwoPages pages(32, w, h);
            ProbeSlide e(pages);
            e.SetDirection(dir);
            EXPECT_THROW(Run(e, pages), rtl::EAbort);
            EXPECT_EQ(e.total, 0);
            EXPECT_TRUE(e.frames.empty());
        }
        for (auto [w, h] : {std::pair{1, 5}, {6, 1}, {1, 1}}) {
            SCOPED_TRACE(::testing::Message() << w << " x " << h);
            TwoPages pages(32, w, h);
            for (int flags = 0; flags < 8; ++flags) {
                pages.ShowDeparting();
                ProbeSlide e(pages);
                e.SetDirection(dir);
                e.SlideOut = flags & 1;
                e.ElasticSrc = flags & 2;
                e.ElasticDst = flags & 4;
                Run(e, pages);
                EXPECT_GE(e.total, 1);
                EXPECT_EQ(pages.read(), pages.arrivingShown);
            }
        }
    }
}

} // namespace
} // namespace qvt
