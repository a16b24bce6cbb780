// The Alpha blend effect on every kind of display, with and without the
// fast kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <vector>

#include "effects/teBlend.h"
#include "pixels/Blend.h"
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

// What the window shows after each frame of an untimed run on an 8-bit
// display, read as a host would read it.
class WindowFrames : public TFrameSink {
public:
    explicit WindowFrames(HWND wnd) : wnd_(wnd) {}
    void EmitFrame() override {
        std::vector<uint8_t> rgb(16 * 16 * 3);
        ASSERT_TRUE(QvtReadWindowRGB(wnd_, rgb.data(), 16 * 3));
        frames.push_back(std::move(rgb));
    }
    std::vector<std::vector<uint8_t>> frames;

private:
    HWND wnd_;
};

// Frame f shows the arriving page in the pattern cells numbered 1..f of
// every 8 x 8 tile and the departing page, exactly as the display showed
// it, everywhere else: no pixel may take a colour of neither page. The first
// colour set is made of static colours, which the palette holds once.
TEST_F(BlendEffect, PaletteFramesShowOnlyTheTwoPagesCellByCell) {
    struct Colours {
        COLORREF left, right, arriving;
    } sets[] = {{RGB(255, 255, 0), RGB(255, 0, 255), RGB(255, 0, 0)},
                {RGB(200, 60, 30), RGB(90, 90, 90), RGB(30, 120, 220)}};
    int cellOf[8][8];
    for (int n = 0; n < 64; ++n) cellOf[kDitherOrder[n].y][kDitherOrder[n].x] = n + 1;
    ASSERT_TRUE(QvtSetDisplayDepth(8));
    testing::RefreshDisplay();
    for (const Colours &c : sets) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.left << "/" << c.right << " -> " << c.arriving);
        HWND wnd = QvtCreateWindow(16, 16);
        HDC screen = GetDC(wnd);
        HBRUSH left = CreateSolidBrush(c.left), right = CreateSolidBrush(c.right), arriving = CreateSolidBrush(c.arriving);
        const RECT all{0, 0, 16, 16}, leftHalf{0, 0, 8, 16}, rightHalf{8, 0, 16, 16};
        FillRect(screen, &leftHalf, left);
        FillRect(screen, &rightHalf, right);
        rtl::TBitmap page;
        page.SetPixelFormat(pf32bit);
        page.SetSize(16, 16);
        FillRect(page.Canvas().Handle(), &all, arriving);

        TBlendTransition e(nullptr);
        WindowFrames seen(wnd);
        const TFrameSampling sampling{25, &seen};
        e.SetSampling(&sampling);
        RunTransition(e, all, screen, page.Canvas().Handle());
        ReleaseDC(wnd, screen);
        QvtDestroyWindow(wnd);
        for (HBRUSH b : {left, right, arriving}) DeleteObject(b);

        // The departing page as shown, 63 frames, the arriving page.
        ASSERT_EQ(seen.frames.size(), 65u);
        const std::vector<uint8_t> &before = seen.frames.front(), &after = seen.frames.back();
        for (int f : {1, 2, 5, 17, 32, 50, 63}) {
            SCOPED_TRACE(f);
            const std::vector<uint8_t> &frame = seen.frames[(size_t)f];
            int wrong = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const std::vector<uint8_t> &want = cellOf[y % 8][x % 8] <= f ? after : before;
                    const size_t at = (size_t)(y * 16 + x) * 3;
                    wrong += !std::equal(&frame[at], &frame[at] + 3, &want[at]);
                }
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST_F(BlendEffect, CancelledRunStillFreesThePattern) {
    ProbeBlend e;
    e.throwAt = 5;
    EXPECT_THROW(run(e, 8, RGB(0, 0, 0), RGB(255, 255, 255)), rtl::Exception);
    EXPECT_EQ(e.DitherPattern, nullptr);
}

} // namespace
} // namespace qvt
