// Whole untimed Slide and Drip runs at 1920 x 1080 on a 32-bit display,
// through the render pipeline as the plug-in drives it. Every frame is
// drawn (the driver skips none), so frames per second is the drawing speed
// of each kind of frame: rigid copies, stretched pages, the uncovered
// strips, and the drip's stretched column or scan-line copies.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teDrip.h"
#include "effects/teSlide.h"

namespace {

using qvt::bench::Counted;

// Runs effects made by make() on the departing page, counting the frames
// each run draws.
template <class Make> void RunEffect(benchmark::State &state, Make make) {
    qvt::bench::Stage stage;
    int64_t frames = 0;
    for (auto _ : state) {
        auto effect = make();
        stage.Run(*effect);
        frames += effect->frames;
    }
    qvt::bench::ReportFrames(state, frames);
}

auto Slide(qvt::TTEEffectDirection dir, bool out, bool src, bool dst) {
    return [=] {
        auto e = std::make_unique<Counted<qvt::TSlideTransition>>();
        e->SetDirection(dir);
        e->SlideOut = out;
        e->ElasticSrc = src;
        e->ElasticDst = dst;
        return e;
    };
}

auto Drip(qvt::TTEEffectDirection dir) {
    return [=] {
        auto e = std::make_unique<Counted<qvt::TDripTransition>>();
        e->SetDirection(dir);
        return e;
    };
}

BENCHMARK_CAPTURE(RunEffect, slide_down_in_rigid, Slide(qvt::tedDown, false, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_down_out_rigid, Slide(qvt::tedDown, true, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_down_both_elastic, Slide(qvt::tedDown, false, true, true))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_downright_out_rigid, Slide(qvt::tedDownRight, true, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, slide_in, Slide(qvt::tedIn, false, false, false))
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, drip_left, Drip(qvt::tedLeft))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunEffect, drip_down, Drip(qvt::tedDown))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
