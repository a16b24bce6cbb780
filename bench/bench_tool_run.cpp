// What the qvt program's plumbing adds to an effect: a sampled Alpha blend
// run at 25 frames/s on 1920 x 1080 pages, once as the bare effect loop
// (the effect drawing its frames on a window set up beforehand, each
// frame's screen update included) and once as `qvt render ... -o null` runs
// it once its pages are loaded: the library's run (window, pages handed
// over as RGB, the departing page shown) with the frames drawn and
// discarded. The `read_back` runs read each frame back as RGB, as every
// output that keeps the frames does; the library's run reads each into an
// RGBA buffer.
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
#include "qvt/transition.h"

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

// Times `run` (one run, adding its frames to `frames`) against the bare
// loop of a run of `milliseconds`, taking turns.
template <class Run> void AgainstBareLoop(benchmark::State &state, int milliseconds, Run &&run) {
    qvt::bench::Stage stage; // the display, the kernels and the bare loop's window
    Discard sink;
    const qvt::TFrameSampling sampling{kFps, &sink};
    std::vector<double> bare, tool;
    int64_t frames = 0;
    for (auto _ : state) {
        qvt::TBlendTransition loop(nullptr);
        loop.SetMilliseconds(milliseconds);
        loop.SetSampling(&sampling);
        bare.push_back(secondsOf([&] { stage.Run(loop); }));
        const double t = secondsOf([&] { run(frames); });
        tool.push_back(t);
        state.SetIterationTime(t);
    }
    state.counters["bare_ms"] = median(bare) * 1e3;
    state.counters["x_bare"] = median(tool) / median(bare);
    state.counters["frames"] = double(frames) / double(state.iterations());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void ToolRun(benchmark::State &state, int milliseconds, bool readBack) {
    const qvt::host::RgbImage from(kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3, 0));
    const qvt::host::RgbImage to(kWidth, kHeight, std::vector<uint8_t>(size_t(kWidth) * kHeight * 3, 255));
    AgainstBareLoop(state, milliseconds, [&](int64_t &frames) {
        qvt::TBlendTransition effect(nullptr);
        effect.SetMilliseconds(milliseconds);
        if (readBack)
            qvt::host::RenderOffline(effect, from, to, {kFps}, [&](const qvt::host::RgbImage &) { ++frames; });
        else
            qvt::host::PlayOffline(effect, from, to, {kFps}, [&] { ++frames; });
    });
}

BENCHMARK_CAPTURE(ToolRun, null_1s, 1000, false)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, null_10s, 10000, false)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, read_back_1s, 1000, true)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(ToolRun, read_back_10s, 10000, true)->Unit(benchmark::kMillisecond)->UseManualTime();

// The library's run into an RGBA frame buffer (its default layout), every
// frame read back.
void LibraryRgba(benchmark::State &state) {
    const std::vector<uint8_t> from(size_t(kWidth) * kHeight * 4, 0), to(from.size(), 255);
    std::vector<uint8_t> frame(from.size());
    AgainstBareLoop(state, 10000, [&](int64_t &frames) {
        qvt::Transition blend("Alpha blend", {{"ms", "10000"}});
        blend.Render({from.data(), kWidth, kHeight}, {to.data(), kWidth, kHeight}, {frame.data(), kWidth, kHeight},
                     [&](int) { ++frames; }, {kFps});
    });
}

BENCHMARK(LibraryRgba)->Name("LibraryRun/rgba_10s")->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
