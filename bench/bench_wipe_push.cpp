// Whole untimed runs of the Wipe (soft band of 50, hard edge, corner) and
// the Push at 1920 x 1080 on a 32-bit display, through the render pipeline as
// the plug-in drives it. Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include <type_traits>

#include "bench_stage.h"
#include "effects/tePush.h"
#include "effects/teWipe.h"

namespace {

template <class Effect> void Run(benchmark::State &state, qvt::TTEEffectDirection direction, int band) {
    qvt::bench::Stage stage;
    // One object for every run, as a host keeps it: the wipe's band pattern
    // is built once.
    qvt::bench::Counted<Effect> effect;
    effect.SetDirection(direction);
    if constexpr (std::is_same_v<Effect, qvt::TWipeTransition>) effect.SetBandWidth(band);
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

void RunWipe(benchmark::State &state, qvt::TTEEffectDirection direction, int band) {
    Run<qvt::TWipeTransition>(state, direction, band);
}
void RunPush(benchmark::State &state, qvt::TTEEffectDirection direction) { Run<qvt::TPushTransition>(state, direction, 0); }

BENCHMARK_CAPTURE(RunWipe, band50_right, qvt::tedRight, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, band50_down, qvt::tedDown, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, hard_right, qvt::tedRight, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunWipe, corner_down_right, qvt::tedDownRight, 50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunPush, right, qvt::tedRight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunPush, down, qvt::tedDown)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
