// Whole untimed runs of the Circle effect at 1920 x 1080 on a 32-bit
// display: the circle growing from the centre (two smooth masks when
// smoothed) and shrinking into it (one mask, its core clipped), hard and at
// smoothing level 3. Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teCircle.h"

namespace {

void RunCircle(benchmark::State &state, uint16_t subStyle, uint16_t level) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TCircleTransition> effect;
    effect.SetStyle(1);
    effect.SetSubStyle(subStyle);
    effect.SetSmoothingLevel(level);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunCircle, growing_hard, 1, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunCircle, growing_smooth3, 1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunCircle, shrinking_hard, 2, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunCircle, shrinking_smooth3, 2, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
