// The C++ library (qvt/transition.h) in-process: frames of a run into the
// caller's buffer, stills, pixel layouts and strides, timing, and errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/teRandom.h"
#include "qvt/qvtdisplay.h"
#include "qvt/transition.h"

namespace {

constexpr int W = 40, H = 30;

// RGBA pixels with every channel moving, different for each seed; alpha
// set to a value the library must ignore.
std::vector<uint8_t> page(uint32_t seed) {
    std::vector<uint8_t> p(W * H * 4);
    uint32_t s = seed * 2654435761u + 1;
    for (int i = 0; i < W * H; ++i) {
        s = s * 1664525u + 1013904223u;
        p[4 * i + 0] = static_cast<uint8_t>(i * 7);
        p[4 * i + 1] = static_cast<uint8_t>(s >> 24);
        p[4 * i + 2] = static_cast<uint8_t>(i / W * 8 + seed);
        p[4 * i + 3] = 17;
    }
    return p;
}

// What a picture should read back as: opaque.
std::vector<uint8_t> opaque(std::vector<uint8_t> p) {
    for (size_t i = 3; i < p.size(); i += 4) p[i] = 255;
    return p;
}

qvt::ImageView view(const std::vector<uint8_t> &p) { return {p.data(), W, H}; }
qvt::ImageBuffer buffer(std::vector<uint8_t> &p) { return {p.data(), W, H}; }

class Library : public ::testing::Test {
protected:
    std::vector<uint8_t> from = page(1), to = page(2), out = std::vector<uint8_t>(W * H * 4);

    // Every frame of a run.
    std::vector<std::vector<uint8_t>> frames(qvt::Transition &t, const qvt::Timing &timing = {}) {
        std::vector<std::vector<uint8_t>> seen;
        const int n = t.Render(view(from), view(to), buffer(out), [&](int j) {
            EXPECT_EQ(j, static_cast<int>(seen.size()));
            seen.push_back(out);
        }, timing);
        EXPECT_EQ(n, static_cast<int>(seen.size()));
        return seen;
    }
};

TEST_F(Library, RunStartsOnTheDepartingPageAndEndsOnTheArrivingPage) {
    struct Case {
        const char *effect;
        std::vector<qvt::Setting> settings;
        qvt::Timing timing;
        int frames;
    } cases[] = {
        {"Alpha blend", {{"ms", "1000"}}, {25, 0, 0}, 25},
        {"Wipe", {{"Milliseconds", "500"}}, {30, 0, 0}, 15},
        {"Push", {}, {10, 0, 0}, 10}, // a new effect lasts 1000 ms
        {"CrossFade", {{"Milliseconds", "200"}}, {25, 120, 200}, 3 + 5 + 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.effect);
        qvt::Transition t(c.effect, c.settings);
        ASSERT_EQ(t.FrameCount(c.timing), c.frames);
        const std::vector<std::vector<uint8_t>> seen = frames(t, c.timing);
        ASSERT_EQ(static_cast<int>(seen.size()), c.frames);
        const int lead = static_cast<int>(std::lround(c.timing.leadMilliseconds * c.timing.fps / 1000));
        const int hold = static_cast<int>(std::lround(c.timing.holdMilliseconds * c.timing.fps / 1000));
        for (int j = 0; j <= lead; ++j) EXPECT_EQ(seen[j], opaque(from)) << "frame " << j;
        for (int j = c.frames - 1 - hold; j < c.frames; ++j) EXPECT_EQ(seen[j], opaque(to)) << "frame " << j;
        EXPECT_NE(seen[c.frames / 2], opaque(from));
        EXPECT_NE(seen[c.frames / 2], opaque(to));
    }
}

TEST_F(Library, StillMatchesTheRunsFrameAtThatMoment) {
    // Every run draws on from the process's one generator, and an effect
    // object may keep what it drew (the wipe its band pattern), as in the
    // plug-in: each still is a new effect from where the run started.
    for (const char *effect : {"Alpha blend", "Wipe", "Slide", "Blocks", "Waterfall"}) {
        SCOPED_TRACE(effect);
        qvt::Transition t(effect);
        const uint32_t seed = qvt::RandSeed;
        const std::vector<std::vector<uint8_t>> seen = frames(t);
        const int n = static_cast<int>(seen.size());
        for (int j : {0, 6, n / 2, n - 1}) {
            qvt::RandSeed = seed;
            qvt::Transition(effect).RenderAt(view(from), view(to), static_cast<double>(j) / (n - 1), buffer(out));
            EXPECT_EQ(out, seen[j]) << "frame " << j << " of " << n;
        }
    }
}

TEST_F(Library, RgbAndPaddedRowsGiveTheSamePicture) {
    qvt::Transition t("Roll");
    t.RenderAt(view(from), view(to), 0.4, buffer(out));

    // The pages as RGB rows with 5 bytes of padding; the frame as RGB rows
    // with padding the library must leave alone.
    const std::ptrdiff_t stride = W * 3 + 5;
    std::vector<uint8_t> fromRgb(stride * H), toRgb(stride * H), frame(stride * H, 0xAB);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int k = 0; k < 3; ++k) {
                fromRgb[y * stride + x * 3 + k] = from[(y * W + x) * 4 + k];
                toRgb[y * stride + x * 3 + k] = to[(y * W + x) * 4 + k];
            }
    const qvt::PixelLayout rgb = qvt::PixelLayout::Rgb;
    t.RenderAt({fromRgb.data(), W, H, stride, rgb}, {toRgb.data(), W, H, stride, rgb}, 0.4,
               {frame.data(), W, H, stride, rgb});
    int wrong = 0, padding = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x)
            for (int k = 0; k < 3; ++k) wrong += frame[y * stride + x * 3 + k] != out[(y * W + x) * 4 + k];
        for (int b = W * 3; b < stride; ++b) padding += frame[y * stride + b] != 0xAB;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(padding, 0);
}

TEST_F(Library, TallPagesAndRunsWithoutReadBack) {
    // A page taller than the bands the departing page is shown in, with a
    // last band of a few rows: the first frame is still that page.
    const int tall = 75;
    std::vector<uint8_t> a(W * tall * 4), b(W * tall * 4, 200), frame(W * tall * 4);
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i * 13 + i / (W * 4));
    const qvt::ImageView from{a.data(), W, tall}, to{b.data(), W, tall};
    qvt::Transition t("Alpha blend");
    std::vector<uint8_t> first;
    const int n = t.Render(from, to, {frame.data(), W, tall}, [&](int j) {
        if (j == 0) first = frame;
    });
    EXPECT_EQ(first, opaque(a));
    EXPECT_EQ(frame, opaque(b));
    // Without a frame buffer: the same frames, in order, none read.
    std::vector<int> seen;
    EXPECT_EQ(t.Render(from, to, [&](int j) { seen.push_back(j); }), n);
    ASSERT_EQ(static_cast<int>(seen.size()), n);
    for (int j = 0; j < n; ++j) EXPECT_EQ(seen[j], j);
    try {
        t.Render(from, view(this->to), [](int) {});
        ADD_FAILURE() << "pages of two sizes were taken";
    } catch (const qvt::Error &e) {
        EXPECT_STREQ(e.what(), "the pages must have one size");
    }
}

TEST_F(Library, EffectsFromNamesAndRecords) {
    qvt::Transition blend;
    EXPECT_EQ(blend.Name(), "Alpha blend");
    EXPECT_EQ(blend.Milliseconds(), 1000);
    EXPECT_EQ(qvt::Transition("03").Milliseconds(), 1000);
    // A record keeps its own duration: none, untimed.
    qvt::Transition untimed = qvt::Transition::FromRecord("QVTS10300");
    EXPECT_EQ(untimed.Milliseconds(), 0);
    EXPECT_EQ(untimed.FrameCount(), 0);
    qvt::Transition wipe("TWipeTransition", {{"milliseconds", "250"}});
    const qvt::Transition again = qvt::Transition::FromRecord(wipe.Record());
    EXPECT_EQ(again.Name(), wipe.Name());
    EXPECT_EQ(again.Milliseconds(), 250);
    wipe.Set("Milliseconds", "0");
    EXPECT_EQ(wipe.Milliseconds(), 0);
    // Untimed: a frame for every frame the effect has, known once it runs.
    EXPECT_GT(frames(untimed).size(), 100u);
}

TEST_F(Library, BadInputRaisesErrorWithTheSystemsMessage) {
    std::vector<uint8_t> small(10 * 10 * 4);
    const auto render = [&](qvt::ImageView a, qvt::ImageView b, qvt::ImageBuffer o, qvt::Timing timing = {}) {
        qvt::Transition().Render(a, b, o, {}, timing);
    };
    struct Case {
        const char *what;
        std::function<void()> call;
        std::string says;
    } cases[] = {
        {"unknown effect", [] { qvt::Transition("Sparkle"); }, "unknown effect 'Sparkle' (known: \"Bitmap mask\""},
        {"bad record", [] { qvt::Transition::FromRecord("QVTS1ZZ00"); }, "bad record 'QVTS1ZZ00': "},
        {"unknown property", [] { qvt::Transition("Wipe", {{"Colour", "1"}}); }, "Colour"},
        {"bad value", [] { qvt::Transition("Wipe", {{"Milliseconds", "soon"}}); }, "\"soon\" is not a whole number"},
        {"sizes differ", [&] { render(view(from), {small.data(), 10, 10}, buffer(out)); }, "must have one size"},
        {"no pixels", [&] { render(view(from), view(to), {nullptr, W, H}); }, "the frame buffer has no pixels"},
        {"rows overlap", [&] { render(view(from), {to.data(), W, H, W * 3}, buffer(out)); },
         "the arriving page has rows of 120 bytes, but 40 pixels need 160"},
        {"empty page", [&] { render({from.data(), 0, H}, view(to), buffer(out)); }, "is 0x30"},
        {"no frame rate", [&] { render(view(from), view(to), buffer(out), {0}); }, "a frame rate must be above 0"},
        {"negative lead", [&] { render(view(from), view(to), buffer(out), {25, -1, 0}); }, "a lead or hold of -1 ms"},
        {"moment past the end",
         [&] { qvt::Transition().RenderAt(view(from), view(to), 1.5, buffer(out)); }, "from 0"},
    };
    const int objects = QvtLiveGdiObjects();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const qvt::Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(QvtLiveGdiObjects(), objects);
}

TEST_F(Library, CallbacksOwnFailureTravelsOnAndTheRunIsCleanedUp) {
    struct Stop {
        int frame;
    };
    const int objects = QvtLiveGdiObjects();
    qvt::Transition t("Diagonal");
    try {
        t.Render(view(from), view(to), buffer(out), [](int j) {
            if (j == 3) throw Stop{j};
        });
        ADD_FAILURE() << "the callback's exception was lost";
    } catch (const Stop &stop) {
        EXPECT_EQ(stop.frame, 3);
    }
    EXPECT_EQ(QvtLiveGdiObjects(), objects);
    // The same transition runs again, whole; while it runs, its callback
    // cannot start it again nor change it.
    std::string nested;
    t.Render(view(from), view(to), buffer(out), [&](int j) {
        if (j != 1) return;
        for (const std::function<void()> &call : std::initializer_list<std::function<void()>>{
                 [&] { t.RenderAt(view(from), view(to), 0.5, buffer(out)); }, [&] { t.Set("ms", "10"); }}) {
            try {
                call();
            } catch (const qvt::Error &e) {
                nested += std::string(e.what()) + "\n";
            }
        }
    });
    EXPECT_EQ(nested, "Diagonal is rendering already\nDiagonal is rendering already\n");
    EXPECT_EQ(out, opaque(to));
}

} // namespace
