// Whole untimed runs of the Radial effect at 1920 x 1080 on a 32-bit
// display: one hand around the centre, and two opposite ones (taking turns
// when hard, both every frame when smoothed), hard and at smoothing level 3.
// Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teRadial.h"

namespace {

void RunRadial(benchmark::State &state, uint16_t style, uint16_t level) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TRadialTransition> effect;
    effect.SetStyle(style);
    effect.SetSubStyle(1);
    effect.SetSmoothingLevel(level);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunRadial, one_hand_hard, 1, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRadial, one_hand_smooth3, 1, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRadial, two_hands_hard, 2, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRadial, two_hands_smooth3, 2, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
