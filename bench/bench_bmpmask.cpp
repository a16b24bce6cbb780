// Whole untimed runs of the Bitmap mask at 1920 x 1080 on a 32-bit display,
// through the render pipeline as the plug-in drives it: the hard switch
// (every frame copies the pixels whose level it reached) and smoothing level
// 3 (every frame mixes the whole page through a 32-frame window). Reported
// per run, and as frames per second.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench_stage.h"
#include "effects/teBmpMsk.h"

namespace {

// A page-sized mask whose levels fall from the centre to the corners.
void DrawRadialMask(qvt::TBitmap &mask) {
    constexpr int w = qvt::bench::Stage::kWidth, h = qvt::bench::Stage::kHeight;
    qvt::SetupBitmap(mask, qvt::CreateGrayscalePalette(), w, qvt::pf8bit, h);
    const double far = std::hypot(w / 2.0, h / 2.0);
    for (int y = 0; y < h; ++y) {
        auto *row = static_cast<uint8_t *>(mask.ScanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = static_cast<uint8_t>(255 - std::lround(255 * std::hypot(x - w / 2.0, y - h / 2.0) / far));
    }
}

void RunBmpMask(benchmark::State &state, int smoothing) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<qvt::TBmpMaskTransition> effect;
    qvt::TBitmap mask;
    DrawRadialMask(mask);
    effect.SetMask(&mask);
    effect.SetSmoothingLevel(static_cast<uint16_t>(smoothing));
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunBmpMask, hard, 0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBmpMask, smooth3, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
