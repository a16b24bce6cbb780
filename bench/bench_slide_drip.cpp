// Whole untimed Slide and Drip runs at 1920 x 1080 on a 32-bit display,
// through the render pipeline as the plug-in drives it. Every frame is
// drawn (the driver skips none), so frames per second is the drawing speed
// of each kind of frame: rigid copies, stretched pages, the uncovered
// strips, and the drip's stretched column or scan-line copies.
#include <benchmark/benchmark.h>

#include "effects/teDrip.h"
#include "effects/teSlide.h"
#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// Runs effects made by make() on the departing page, counting the frames
// each run draws.
template <class Make> void RunEffect(benchmark::State &state, Make make) {
    QvtSetDisplayDepth(32);
    qvt::InitializePixelServices();
    qvt::testing::RefreshDisplay();
    HWND wnd = QvtCreateWindow(kWidth, kHeight);
    HDC screen = GetDC(wnd);
    qvt::rtl::TBitmap page;
    page.SetPixelFormat(qvt::pf32bit);
    page.SetSize(kWidth, kHeight);
    PatBlt(page.Canvas().Handle(), 0, 0, kWidth, kHeight, WHITENESS);
    int64_t frames = 0;
    for (auto _ : state) {
        PatBlt(screen, 0, 0, kWidth, kHeight, BLACKNESS);
        auto effect = make();
        qvt::RunTransition(*effect, RECT{0, 0, kWidth, kHeight}, screen, page.Canvas().Handle());
        frames += effect->drawn;
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    ReleaseDC(wnd, screen);
    QvtDestroyWindow(wnd);
}

template <class E> struct Counting : E {
    Counting() : E(nullptr) {}
    void ExecuteFrame(qvt::TTETransitionData &data, int frame, int step, int total, int last) override {
        E::ExecuteFrame(data, frame, step, total, last);
        ++drawn;
    }
    int drawn = 0;
};

auto Slide(qvt::TTEEffectDirection dir, bool out, bool src, bool dst) {
    return [=] {
        auto e = std::make_unique<Counting<qvt::TSlideTransition>>();
        e->SetDirection(dir);
        e->SlideOut = out;
        e->ElasticSrc = src;
        e->ElasticDst = dst;
        return e;
    };
}

auto Drip(qvt::TTEEffectDirection dir) {
    return [=] {
        auto e = std::make_unique<Counting<qvt::TDripTransition>>();
        e->SetDirection(dir);
        return e;
    };
}

BENCHMARK_CAPTURE(RunEffect, slide_down_in_rigid, Slide(qvt::tedDown, false, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_down_out_rigid, Slide(qvt::tedDown, true, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_down_both_elastic, Slide(qvt::tedDown, false, true, true))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_downright_out_rigid, Slide(qvt::tedDownRight, true, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_in, Slide(qvt::tedIn, false, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, drip_left, Drip(qvt::tedLeft))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, drip_down, Drip(qvt::tedDown))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
