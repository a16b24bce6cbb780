// The Alpha blend effect on every kind of display, with and without the
// fast kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "effects/teBlend.h"
#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace qvt {
namespace {

// A blend that records its frames and looks at the work bitmap at one frame.
class ProbeBlend : public TBlendTransition {
public:
    ProbeBlend() : TBlendTransition(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TBlendTransition::Initialize(data, totalFrames);
        total = totalFrames;
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        if (poke && frame == 1) {
            // A value neither page has: it survives when no word is written.
            std::memcpy(data.Bitmap->ScanLine(data.Height - 1), "\x5A\x5A\x5A\x5A", 4);
        }
        TBlendTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        ++frames;
        if (frame == probeFrame) {
            probed = true;
            for (int y = 0; y < data.Height; ++y)
                for (int x = 0; x < data.Width; ++x) seen.push_back(GetPixel(data.Bitmap->Canvas().Handle(), x, y));
            if (poke) std::memcpy(&pokedWord, data.Bitmap->ScanLine(data.Height - 1), 4);
        }
        if (throwAt == frame) throw rtl::Exception("cancelled");
    }
    int total = 0, frames = 0, probeFrame = -1, throwAt = -1;
    bool probed = false, poke = false;
    uint32_t pokedWord = 0;
    std::vector<COLORREF> seen;
};

class BlendEffect : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Runs the blend untimed over a 16 x 16 area: departing page A, arriving B.
    void run(ProbeBlend &e, int depth, COLORREF a, COLORREF b) {
        ASSERT_TRUE(QvtSetDisplayDepth(depth));
        testing::RefreshDisplay();
        HWND wnd = QvtCreateWindow(16, 16);
        HDC screen = GetDC(wnd);
        HBRUSH ba = CreateSolidBrush(a);
        RECT all{0, 0, 16, 16};
        FillRect(screen, &all, ba);
        rtl::TBitmap page;
        page.SetPixelFormat(pf32bit);
        page.SetSize(16, 16);
        HBRUSH bb = CreateSolidBrush(b);
        FillRect(page.Canvas().Handle(), &all, bb);
        try {
            RunTransition(e, all, screen, page.Canvas().Handle());
        } catch (...) {
            cleanup(wnd, screen, ba, bb);
            throw;
        }
        finalPixel = GetPixel(screen, 9, 9);
        cleanup(wnd, screen, ba, bb);
    }
    void cleanup(HWND wnd, HDC screen, HBRUSH a, HBRUSH b) {
        DeleteObject(a);
        DeleteObject(b);
        ReleaseDC(wnd, screen);
        QvtDestroyWindow(wnd);
    }
    COLORREF finalPixel = 0;
};

TEST_F(BlendEffect, WorksInTwentyFourBitsWithoutTheFastPathOnAThirtyTwoBitDisplay) {
    QvtSetDisplayDepth(32);
    testing::RefreshDisplay();
    TBlendTransition e(nullptr);
    testing::SetProcessorFlags(true, true);
    EXPECT_EQ(e.GetPixelFormat(), pf32bit);
    testing::SetProcessorFlags(false, false);
    EXPECT_EQ(e.GetPixelFormat(), pf24bit);
    EXPECT_EQ(e.GetDescription(), "Alpha blend");
    EXPECT_FALSE(e.IsPlainEffect());
    EXPECT_TRUE(e.NeedWorkBitmap());
}

TEST_F(BlendEffect, TrueColourFramesMixByTheLevel) {
    // Departing (100, 40, 200), arriving (200, 240, 0); frame 128 of 255.
    const COLORREF a = RGB(100, 40, 200), b = RGB(200, 240, 0);
    int (*mix)(int, int, int) = [](int d, int s, int level) { return d + (int)std::floor((s - d) * level / 256.0); };
    int (*exchanged)(int, int, int) = [](int d, int s, int level) { return s + (int)std::floor((d - s) * (255 - level) / 256.0); };
    struct Case {
        int depth;
        bool fast;
        int frame;
        bool integerAboveHalf;
    } cases[] = {{32, true, 128, false}, {32, false, 128, false}, {24, true, 200, false}, {24, false, 200, true},
                 {32, false, 200, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, fast " << c.fast << ", frame " << c.frame);
        testing::SetProcessorFlags(c.fast, c.fast);
        ProbeBlend e;
        e.probeFrame = c.frame;
        run(e, c.depth, a, b);
        EXPECT_EQ(e.total, 255);
        EXPECT_EQ(e.frames, 254);
        ASSERT_TRUE(e.probed);
        auto f = c.integerAboveHalf ? exchanged : mix;
        COLORREF want = RGB(f(100, 200, c.frame), f(40, 240, c.frame), f(200, 0, c.frame));
        EXPECT_EQ(e.seen[9 * 16 + 9], want);
        EXPECT_EQ(finalPixel, b);
        EXPECT_EQ(e.DitherPattern, nullptr);
    }
}

TEST_F(BlendEffect, HighColourRunsThirtyTwoFramesInFieldSteps) {
    for (int depth : {15, 16}) {
        SCOPED_TRACE(depth);
        ProbeBlend e;
        e.probeFrame = 16;
        // Departing black, arriving pure green: at frame 16 the green field is
        // half of its maximum, rounded down.
        run(e, depth, RGB(0, 0, 0), RGB(0, 255, 0));
        EXPECT_EQ(e.total, 32);
        EXPECT_EQ(e.frames, 31);
        ASSERT_TRUE(e.probed);
        int field = depth == 16 ? 63 / 2 : 31 / 2;
        int g = depth == 16 ? (field << 2) | (field >> 4) : (field << 3) | (field >> 2);
        EXPECT_EQ(e.seen[0], RGB(0, g, 0));
        EXPECT_EQ(finalPixel, RGB(0, 255, 0));
    }
}

TEST_F(BlendEffect, EqualPagesOnHighColourWriteNoWord) {
    ProbeBlend e;
    e.poke = true;
    e.probeFrame = 20;
    run(e, 16, RGB(8, 8, 8), RGB(8, 8, 8));
    EXPECT_EQ(e.EqualPercent, 100);
    EXPECT_EQ(e.pokedWord, 0x5A5A5A5Au);
}

TEST_F(BlendEffect, FastPathKeepsThePreviousEqualShare) {
    testing::SetProcessorFlags(true, true);
    ProbeBlend e;
    e.EqualPercent = 42;
    run(e, 32, RGB(8, 8, 8), RGB(8, 8, 8));
    EXPECT_EQ(e.EqualPercent, 42);
}

TEST_F(BlendEffect, PaletteDisplayDithersSixtyFourFrames) {
    ProbeBlend e;
    e.probeFrame = 1;
    run(e, 8, RGB(0, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(e.total, 64);
    EXPECT_EQ(e.frames, 63);
    ASSERT_TRUE(e.probed);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool arriving = x % 8 == 4 && y % 8 == 4;
            EXPECT_EQ(e.seen[y * 16 + x], arriving ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x << "," << y;
        }
    EXPECT_EQ(e.DitherPattern, nullptr);
    EXPECT_EQ(finalPixel, RGB(255, 255, 255));
}

TEST_F(BlendEffect, CancelledRunStillFreesThePattern) {
    ProbeBlend e;
    e.throwAt = 5;
    EXPECT_THROW(run(e, 8, RGB(0, 0, 0), RGB(255, 255, 255)), rtl::Exception);
    EXPECT_EQ(e.DitherPattern, nullptr);
}

} // namespace
} // namespace qvt
