// Whole untimed runs of the Wipe (soft band of 50, hard edge, corner) and
// the Push at 1920 x 1080 on a 32-bit display, through the render pipeline as
// the plug-in drives it. Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include <type_traits>

#include "effects/tePush.h"
#include "effects/teWipe.h"
#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Counts the frames of a run.
template <class Effect> class Counted : public Effect {
public:
    Counted() : Effect(nullptr) {}
    void ExecuteFrame(qvt::TTETransitionData &data, int frame, int step, int total, int last) override {
        Effect::ExecuteFrame(data, frame, step, total, last);
        ++frames;
    }
    int64_t frames = 0;
};

template <class Effect> void Run(benchmark::State &state, qvt::TTEEffectDirection direction, int band) {
    QvtSetDisplayDepth(32);
    qvt::InitializePixelServices();
    qvt::testing::RefreshDisplay();
    HWND wnd = QvtCreateWindow(kWidth, kHeight);
    HDC screen = GetDC(wnd);
    qvt::rtl::TBitmap page;
    page.SetPixelFormat(qvt::pf32bit);
    page.SetSize(kWidth, kHeight);
    PatBlt(page.Canvas().Handle(), 0, 0, kWidth, kHeight, WHITENESS);
    // One object for every run, as a host keeps it: the wipe's band pattern
    // is built once.
    Counted<Effect> effect;
    effect.SetDirection(direction);
    if constexpr (std::is_same_v<Effect, qvt::TWipeTransition>) effect.SetBandWidth(band);
    for (auto _ : state) {
        PatBlt(screen, 0, 0, kWidth, kHeight, BLACKNESS);
        qvt::RunTransition(effect, RECT{0, 0, kWidth, kHeight}, screen, page.Canvas().Handle());
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(effect.frames), benchmark::Counter::kIsRate);
    ReleaseDC(wnd, screen);
    QvtDestroyWindow(wnd);
}

void RunWipe(benchmark::State &state, qvt::TTEEffectDirection direction, int band) {
    Run<qvt::TWipeTransition>(state, direction, band);
}
void RunPush(benchmark::State &state, qvt::TTEEffectDirection direction) { Run<qvt::TPushTransition>(state, direction, 0); }

BENCHMARK_CAPTURE(RunWipe, band50_right, qvt::tedRight, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, band50_down, qvt::tedDown, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, hard_right, qvt::tedRight, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, corner_down_right, qvt::tedDownRight, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunPush, right, qvt::tedRight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunPush, down, qvt::tedDown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
