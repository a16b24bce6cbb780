// A whole untimed Alpha blend run (254 frames and the final page) at
// 1920 x 1080 on a 32-bit display, through the render pipeline as the
// plug-in drives it: Prepare, Execute, Unprepare. Reported per run, and as
// frames per second. The read_back runs also read the window back as RGB
// after every frame, as the offline renderer does for each output frame.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_stage.h"
#include "effects/teBlend.h"

namespace {

void RunBlend(benchmark::State &state, bool fast, bool streaming) {
    qvt::bench::Stage stage;
    qvt::testing::SetProcessorFlags(fast, streaming);
    int64_t frames = 0;
    for (auto _ : state) {
        qvt::bench::Counted<qvt::TBlendTransition> blend;
        stage.Run(blend);
        frames += blend.frames;
    }
    qvt::bench::ReportFrames(state, frames);
    qvt::testing::RestoreProcessorFlags();
}

BENCHMARK_CAPTURE(RunBlend, fast_kernel, true, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlend, fast_kernel_cached_stores, true, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlend, integer_routine, false, false)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads the whole window as RGB for every output frame.
class ReadBack : public qvt::TFrameSink {
public:
    explicit ReadBack(HWND wnd) : wnd_(wnd), rgb_(size_t(kWidth) * kHeight * 3) {}
    void EmitFrame() override { QvtReadWindowRGB(wnd_, rgb_.data(), kWidth * 3); }

    static constexpr int kWidth = qvt::bench::Stage::kWidth, kHeight = qvt::bench::Stage::kHeight;

private:
    HWND wnd_;
    std::vector<BYTE> rgb_;
};

// The same run on a window of its own, with the read-back after each frame.
void RunBlendReadBack(benchmark::State &state) {
    constexpr int w = ReadBack::kWidth, h = ReadBack::kHeight;
    qvt::bench::Stage stage; // sets up the display and the kernels
    HWND wnd = QvtCreateWindow(w, h);
    HDC screen = GetDC(wnd);
    qvt::rtl::TBitmap page;
    page.SetPixelFormat(qvt::pf32bit);
    page.SetSize(w, h);
    PatBlt(page.Canvas().Handle(), 0, 0, w, h, WHITENESS);
    ReadBack sink(wnd);
    const qvt::TFrameSampling sampling{25.0, &sink};
    int64_t frames = 0;
    for (auto _ : state) {
        qvt::bench::Counted<qvt::TBlendTransition> blend;
        blend.SetSampling(&sampling);
        PatBlt(screen, 0, 0, w, h, BLACKNESS);
        qvt::RunTransition(blend, RECT{0, 0, w, h}, screen, page.Canvas().Handle());
        frames += blend.frames;
    }
    qvt::bench::ReportFrames(state, frames);
    ReleaseDC(wnd, screen);
    QvtDestroyWindow(wnd);
}

BENCHMARK(RunBlendReadBack)->Name("RunBlend/fast_kernel_read_back")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
