// Whole untimed runs of the Blocks effect at 1920 x 1080 on a 32-bit
// display (it has hard edges only): the default grid of 38 x 22 in random
// order, one block a frame straight to the screen; the same as puzzle
// pieces, through the mask and the work bitmap; small blocks of 8 pixels
// in rows; and blocks of 4 pixels revealed 200 (dirty rectangles) or 1000
// (one update rectangle) a frame, as a sampled run of a fine grid draws
// them. Reported per run, and as frames per second.
#include <benchmark/benchmark.h>

#include "bench_stage.h"
#include "effects/teBlock.h"

namespace {

// Frame numbers advance by `step`, so every frame reveals that many blocks.
class Stepped : public qvt::TBlockTransition {
public:
    explicit Stepped(qvt::TComponent *owner) : TBlockTransition(owner) {}
    int GetMinStep() const override { return step; }
    int step = 1;
};

void RunBlocks(benchmark::State &state, uint16_t style, uint16_t subStyle, int blockSize, bool puzzle, int step) {
    qvt::bench::Stage stage;
    qvt::bench::Counted<Stepped> effect;
    effect.SetStyle(style);
    effect.SetSubStyle(subStyle);
    if (blockSize > 0) {
        effect.SetBlockWidth(blockSize);
        effect.SetBlockHeight(blockSize);
    }
    effect.SetPuzzle(puzzle);
    effect.step = step;
    for (auto _ : state) stage.Run(effect);
    qvt::bench::ReportFrames(state, effect.frames);
}

BENCHMARK_CAPTURE(RunBlocks, random, 1, 1, 0, false, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlocks, random_puzzle, 1, 1, 0, true, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlocks, rows_of_8px, 2, 1, 8, false, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlocks, spiral_4px_200_a_frame, 4, 1, 4, false, 200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunBlocks, random_4px_1000_a_frame, 1, 1, 4, false, 1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
