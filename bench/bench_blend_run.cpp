// A whole untimed Alpha blend run (254 frames and the final page) at
// 1920 x 1080 on a 32-bit display, through the render pipeline as the
// plug-in drives it: Prepare, Execute, Unprepare. Reported per run, and as
// frames per second.
#include <benchmark/benchmark.h>

#include "effects/teBlend.h"
#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace {

void RunBlend(benchmark::State &state, bool fast, bool streaming) {
    const int w = 1920, h = 1080;
    QvtSetDisplayDepth(32);
    qvt::InitializePixelServices();
    qvt::testing::RefreshDisplay();
    qvt::testing::SetProcessorFlags(fast, streaming);
    HWND wnd = QvtCreateWindow(w, h);
    HDC screen = GetDC(wnd);
    PatBlt(screen, 0, 0, w, h, BLACKNESS);
    qvt::rtl::TBitmap page;
    page.SetPixelFormat(qvt::pf32bit);
    page.SetSize(w, h);
    PatBlt(page.Canvas().Handle(), 0, 0, w, h, WHITENESS);
    for (auto _ : state) {
        qvt::TBlendTransition blend(nullptr);
        qvt::RunTransition(blend, RECT{0, 0, w, h}, screen, page.Canvas().Handle());
    }
    state.counters["frames/s"] = benchmark::Counter(254.0 * state.iterations(), benchmark::Counter::kIsRate);
    ReleaseDC(wnd, screen);
    QvtDestroyWindow(wnd);
    qvt::testing::RestoreProcessorFlags();
}

BENCHMARK_CAPTURE(RunBlend, fast_kernel, true, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlend, fast_kernel_cached_stores, true, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlend, integer_routine, false, false)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
