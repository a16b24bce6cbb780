// Whole untimed Roll runs at 1920 x 1080 on a 32-bit display, through the
// render pipeline as the plug-in drives it. Every frame is drawn, so frames
// per second is the drawing speed of a frame: the roll strip from the
// mirror, the strip that became flat, and (shaded) the brightness offsets
// added to the roll, per row for vertical travel and per column for
// horizontal travel.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teRoll.h"

namespace {

using qvt::bench::Counted;

void RunRoll(benchmark::State &state, qvt::TTEEffectDirection dir, bool unroll, bool use3D) {
    qvt::bench::Stage stage;
    qvt::testing::RestoreProcessorFlags();
    int64_t frames = 0;
    for (auto _ : state) {
        Counted<qvt::TRollTransition> effect;
        effect.SetDirection(dir);
        effect.Unroll = unroll;
        effect.Use3D = use3D;
        stage.Run(effect);
        frames += effect.frames;
    }
    qvt::bench::ReportFrames(state, frames);
}

BENCHMARK_CAPTURE(RunRoll, roll_down_unroll_shaded, qvt::tedDown, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRoll, roll_down_unroll_plain, qvt::tedDown, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRoll, roll_right_unroll_shaded, qvt::tedRight, true, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRoll, roll_right_unroll_plain, qvt::tedRight, true, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunRoll, roll_up_rollup_shaded, qvt::tedUp, false, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
