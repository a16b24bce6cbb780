// Whole untimed runs of the Diagonal effect at 1920 x 1080 on a 32-bit
// display: one front of falling lines, hard and at smoothing level 3, and
// the two fronts (which never smooth). Reported per run, and as frames per
// second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teDiagon.h"

namespace {

void RunDiagonal(benchmark::State &state, uint16_t style, uint16_t level) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TDiagonalTransition> effect;
    effect.SetStyle(style);
    effect.SetSubStyle(1);
    effect.SetSmoothingLevel(level);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunDiagonal, one_front_hard, 1, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunDiagonal, one_front_smooth3, 1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunDiagonal, two_fronts_hard, 2, 0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
