// Whole untimed runs of the Interlaced effect at 1920 x 1080 on a 32-bit
// display: rows from both ends (two lines a frame when smoothed), columns
// in two passes and rings, hard and at smoothing level 3. Reported per
// run, and as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teIntrlc.h"

namespace {

void RunInterlaced(benchmark::State &state, uint16_t style, uint16_t subStyle, uint16_t level) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TInterlacedTransition> effect;
    effect.SetStyle(style);
    effect.SetSubStyle(subStyle);
    effect.SetSmoothingLevel(level);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunInterlaced, rows_hard, 1, 1, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunInterlaced, rows_smooth3, 1, 1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunInterlaced, columns_hard, 1, 5, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunInterlaced, columns_smooth3, 1, 5, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunInterlaced, rings_hard, 2, 1, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunInterlaced, rings_smooth3, 2, 1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
