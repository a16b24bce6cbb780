// Whole untimed runs of the Waterfall effect at 1920 x 1080 on a 32-bit
// display: 1920 streams running down (864 frames) and 1080 rows running
// right (1536 frames). The effect has only the hard mask. Reported per run,
// and as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teWFall.h"

namespace {

void RunWaterfall(benchmark::State &state, qvt::TTEEffectDirection direction) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TWaterfallTransition> effect;
    effect.SetDirection(direction);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunWaterfall, down_hard, qvt::tedDown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWaterfall, right_hard, qvt::tedRight)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
