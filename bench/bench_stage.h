// What the whole-run benchmarks share: a 1920 x 1080 window of a 32-bit
// display showing a black departing page, a white arriving page, and an
// effect that counts the frames it draws.
#ifndef QVT_BENCH_STAGE_H
#define QVT_BENCH_STAGE_H

#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace qvt::bench {

class Stage {
public:
    static constexpr int kWidth = 1920, kHeight = 1080;

    Stage() {
        QvtSetDisplayDepth(32);
        InitializePixelServices();
        testing::RefreshDisplay();
        wnd_ = QvtCreateWindow(kWidth, kHeight);
        screen_ = GetDC(wnd_);
        page_.SetPixelFormat(pf32bit);
        page_.SetSize(kWidth, kHeight);
        PatBlt(page_.Canvas().Handle(), 0, 0, kWidth, kHeight, WHITENESS);
    }
    ~Stage() {
        ReleaseDC(wnd_, screen_);
        QvtDestroyWindow(wnd_);
    }
    Stage(const Stage &) = delete;
    Stage &operator=(const Stage &) = delete;

    // One run of the effect over the whole window, from the black page.
    void Run(TTransitionEffect &effect) {
        PatBlt(screen_, 0, 0, kWidth, kHeight, BLACKNESS);
        RunTransition(effect, RECT{0, 0, kWidth, kHeight}, screen_, page_.Canvas().Handle());
    }

private:
    HWND wnd_ = nullptr;
    HDC screen_ = nullptr;
    rtl::TBitmap page_;
};

// An effect that counts the frames it draws.
template <class Effect> class Counted : public Effect {
public:
    Counted() : Effect(nullptr) {}
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int total, int last) override {
        Effect::ExecuteFrame(data, frame, step, total, last);
        ++frames;
    }
    int64_t frames = 0;
};

inline void ReportFrames(benchmark::State &state, int64_t frames) {
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

} // namespace qvt::bench

#endif
