// Whole untimed Fuse runs at 1920 x 1080 on a 32-bit display, through the
// render pipeline as the plug-in drives it: the dither order (63 frames and
// the final page) and lines from the top (7 frames). Reported per run, and
// as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teFuse.h"

namespace {

void RunFuse(benchmark::State &state, uint16_t style) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TFuseTransition> fuse;
    fuse.SetStyle(style);
    for (auto _ : state) stage.Run(fuse);
    qvt::bench::ReportFrames(state, fuse.frames);
}

BENCHMARK_CAPTURE(RunFuse, dither_order, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunFuse, lines_from_top, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
