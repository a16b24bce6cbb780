// What the qvt program's plumbing adds to an effect: a sampled Alpha blend
// run at 25 frames/s on 1920 x 1080 pages, once as the bare effect loop
// (the effect drawing its frames on a window set up beforehand, each
// frame's screen update included) and once as `qvt render ... -o null` runs
// it once its pages are loaded: the library's run (window, pages handed
// over as RGB, the departing page shown) with the frames drawn and
// discarded. The `read_back` runs read each frame back as RGB, as every
// output that keeps the frames does.
//
// The two runs take turns in every iteration, so that whatever else the
// machine does weighs on both alike. The benchmark's time is the tool's
// run; `bare_ms` is the bare loop's median and `x_bare` the ratio of the
// two medians (1.0 = no cost over the bare loop).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench_stage.h"
#include "effects/teBlend.h"
#include "engine/teTimed.h"
#include "offline.h"

namespace {

constexpr int kWidth = qvt::bench::Stage::kWidth, kHeight = qvt::bench::Stage::kHeight;
constexpr double kFps = 25;

class Discard : public qvt::TFrameSink {
public:
    void EmitFrame() override { ++frames; }
    int64_t frames = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class Fn> double secondsOf(Fn &&fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ToolRun(benchmark::State &state, int milliseconds, bool readBack) {
    qvt::bench::Stage stage; // the display, the kernels and the bare loop's window
    const qvt::host::RgbImage from(kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3, 0));
    const qvt::host::RgbImage to(kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3, 255));
    Discard sink;
    const qvt::TFrameSampling sampling{kFps, &sink};
    std::vector<double> bare, tool;
    int64_t frames = 0;
    for (auto _ : state) {
        qvt::TBlendTransition loop(nullptr);
        loop.SetMilliseconds(milliseconds);
        loop.SetSampling(&sampling);
        bare.push_back(secondsOf([&] { stage.Run(loop); }));

        qvt::TBlendTransition effect(nullptr);
        effect.SetMilliseconds(milliseconds);
        const double t = secondsOf([&] {
            if (readBack)
                qvt::host::RenderOffline(effect, from, to, {kFps}, [&](const qvt::host::RgbImage &) { ++frames; });
            else
                qvt::host::PlayOffline(effect, from, to, {kFps}, [&] { ++frames; });
        });
        tool.push_back(t);
        state.SetIterationTime(t);
    }
    state.counters["bare_ms"] = median(bare) * 1e3;
    state.counters["x_bare"] = median(tool) / median(bare);
    state.counters["frames"] = double(frames) / double(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(ToolRun, null_1s, 1000, false)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, null_10s, 10000, false)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, read_back_1s, 1000, true)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, read_back_10s, 10000, true)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
