// A whole untimed Alpha blend run (254 frames and the final page) at
// 1920 x 1080 on a 32-bit display, through the render pipeline as the
// plug-in drives it: Prepare, Execute, Unprepare. Reported per run, and as
// frames per second.
#include <benchmark/benchmark.h>

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

} // namespace
