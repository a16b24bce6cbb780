// Whole untimed runs of the mask-pattern framework at 1920 x 1080 on a
// 32-bit display, with two stand-in patterns of 120 frames: bars of 16
// columns painted frame by frame on one mask, and a rectangle growing from
// the centre painted whole (revealed mask, two smooth masks, its inside
// excluded). Hard edge and smoothing levels 1 and 6 (which add 7 and 126
// frames of fading). Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench_stage.h"
#include "effects/teMasked.h"

namespace {

using qvt::TBitmap;
using qvt::TRect;
using qvt::TTETransitionData;

constexpr int kFrames = 120;

class Bars : public qvt::TMaskedTransition {
public:
    explicit Bars(qvt::TComponent *owner) : TMaskedTransition(owner) {}
    int CalcTotalFrames(TTETransitionData &) override { return kFrames; }
    void PaintMask(TBitmap &mask, int cur, int, int, int prev, TTETransitionData &data, bool draw,
                   bool calcUpdate) override {
        const int bar = (data.Width + kFrames - 1) / kFrames;
        const TRect r{prev * bar, 0, cur * bar, data.Height};
        if (draw) mask.Canvas().FillRect(r);
        if (calcUpdate) UpdateRect = r;
    }
};

class Growing : public qvt::TMaskedTransition {
public:
    explicit Growing(qvt::TComponent *owner) : TMaskedTransition(owner) {}
    bool KeepRevealedMask() const override { return true; }
    bool NeedTwoSmoothMasks() const override { return true; }
    int CalcTotalFrames(TTETransitionData &) override { return kFrames; }
    TRect Box(const TTETransitionData &data, int frame) const {
        const int dx = data.Width * frame / (2 * kFrames), dy = data.Height * frame / (2 * kFrames);
        return TRect{data.Width / 2 - dx, data.Height / 2 - dy, data.Width / 2 + dx, data.Height / 2 + dy};
    }
    void PaintMask(TBitmap &mask, int cur, int, int, int prev, TTETransitionData &data, bool draw,
                   bool calcUpdate) override {
        if (draw) mask.Canvas().FillRect(Box(data, cur));
        if (calcUpdate) {
            UpdateRect = Box(data, cur);
            ExcludeRect = Box(data, prev);
        }
    }
};

template <class Pattern> void Run(benchmark::State &state, int level) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<Pattern> effect;
    effect.SetSmoothingLevel(static_cast<uint16_t>(level));
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

void RunBars(benchmark::State &state, int level) { Run<Bars>(state, level); }
void RunGrowing(benchmark::State &state, int level) { Run<Growing>(state, level); }

BENCHMARK_CAPTURE(RunBars, hard, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBars, smooth1, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBars, smooth6, 6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunGrowing, hard, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunGrowing, smooth1, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunGrowing, smooth6, 6)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
