// The whole-frame mask kernels at 1920 x 1080 on 32-bit pages, set against
// the memory traffic each must do. For every kernel table this processor
// runs: the graded and the windowed blend, the range copy through an 8-bit
// mask and the hard copy through a 1-bit mask, the fade of an 8-bit mask in
// place and from another, and the merge and inversion of 1-bit masks.
//
// Each kernel works through enough copies of its buffers that together they
// are far larger than the last-level cache, taking the next copy on every
// run, so every run reads and writes memory; runs come in batches of
// consecutive frames, so that the write-back of what a frame left in the
// cache is paid by the frames after it, as in an animation. Each is reported with
// `bound_us`, the time a plain loop takes to read the same number of bytes
// and stream the same number of bytes out (the bytes the kernel must read
// and write: every page and mask byte it reads once, every byte it changes
// once), measured after each run of the kernel on buffers of its own, and
// `x_bound`, the kernel's time over the bound (1.0 = at the memory bound).
// Figures are per frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "bound_report.h"
#include "pixels/Kernels.h"
#include "pixels/MaskKernels.h"
#include "pixels/Testing.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr size_t kPixels = size_t(kWidth) * kHeight;
// What every kernel's copies of its buffers add up to at least, and the
// bound's buffers too: well past any last-level cache of this machine.
constexpr size_t kWorkingSet = size_t{256} << 20;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using Bytes = std::unique_ptr<uint8_t, FreeDeleter>;

// A page-aligned buffer, as a DIB section's pixel memory is, of random bytes.
Bytes MakeBuffer(size_t bytes, uint32_t seed) {
    const size_t rounded = (bytes + 4095) & ~size_t{4095};
    Bytes p(static_cast<uint8_t *>(std::aligned_alloc(4096, rounded)));
    uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (size_t i = 0; i < rounded; i += 8) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        std::memcpy(p.get() + i, &x, 8);
    }
    return p;
}

// The buffers of one frame: `sizes` bytes each, reached by their end
// addresses, as the kernels take them.
struct FrameSet {
    std::vector<Bytes> buffers;
    std::vector<size_t> sizes;
    uint8_t *end(size_t i) const { return buffers[i].get() + sizes[i]; }
};

// Enough frame sets for kWorkingSet.
std::vector<FrameSet> MakeFrames(const std::vector<size_t> &sizes) {
    size_t perSet = 0;
    for (size_t s : sizes) perSet += s;
    const size_t count = std::max<size_t>(2, (kWorkingSet + perSet - 1) / perSet);
    std::vector<FrameSet> sets(count);
    uint32_t seed = 1;
    for (FrameSet &set : sets) {
        for (size_t s : sizes) set.buffers.push_back(MakeBuffer(s, seed++));
        set.sizes = sizes;
    }
    return sets;
}

// The memory bound: read `readBytes` and stream `writeBytes` out, the reads
// spread evenly among the writes, from a cursor that walks buffers of
// kWorkingSet bytes.
class Bound {
public:
    Bound() : source_(MakeBuffer(kWorkingSet, 7)), sink_(MakeBuffer(kWorkingSet, 8)) {}
    void Run(size_t readBytes, size_t writeBytes) {
        readBytes &= ~size_t{31};
        writeBytes &= ~size_t{31};
        if (readAt_ + readBytes > kWorkingSet) readAt_ = 0;
        if (writeAt_ + writeBytes > kWorkingSet) writeAt_ = 0;
        Stream(sink_.get() + writeAt_, writeBytes, source_.get() + readAt_, readBytes);
        readAt_ += readBytes;
        writeAt_ += writeBytes;
    }

private:
#if defined(__x86_64__) || defined(__i386__)
    __attribute__((target("avx2"))) static void StreamAvx2(uint8_t *d, size_t writeBytes, const uint8_t *s,
                                                           size_t readBytes) {
        __m256i acc = _mm256_setzero_si256();
        size_t r = 0, owed = 0;
        for (size_t w = 0; w < writeBytes; w += 32) {
            // Reads due by this write, in proportion.
            owed += readBytes;
            for (; owed >= writeBytes && r < readBytes; owed -= writeBytes, r += 32)
                acc = _mm256_xor_si256(acc, _mm256_load_si256(reinterpret_cast<const __m256i *>(s + r)));
            _mm256_stream_si256(reinterpret_cast<__m256i *>(d + w), acc);
        }
        for (; r < readBytes; r += 32)
            acc = _mm256_xor_si256(acc, _mm256_load_si256(reinterpret_cast<const __m256i *>(s + r)));
        _mm_sfence();
        benchmark::DoNotOptimize(acc);
    }
#endif
    static void Stream(uint8_t *d, size_t writeBytes, const uint8_t *s, size_t readBytes) {
#if defined(__x86_64__) || defined(__i386__)
        if (__builtin_cpu_supports("avx2")) return StreamAvx2(d, writeBytes, s, readBytes);
#endif
        uint8_t acc = 0;
        for (size_t r = 0; r < readBytes; ++r) acc ^= s[r];
        for (size_t w = 0; w < writeBytes; ++w) d[w] = acc;
        benchmark::DoNotOptimize(acc);
    }

    Bytes source_, sink_;
    size_t readAt_ = 0, writeAt_ = 0;
};

// Frames a measurement runs back to back: the write-backs of lines an
// ordinary store left dirty are paid while the following frames run, so a
// batch charges each side with its own (all but the last frame's).
constexpr int kBatch = 8;

// Runs `kernel` on the next kBatch frame sets as the benchmark and, after
// each batch, the bound for kBatch frames of `readBytes` and `writeBytes`,
// so that whatever else the machine does weighs on both alike. States the
// bound and the ratio of the two medians; the benchmark's time is the
// kernel's alone, per frame.
void Measure(benchmark::State &state, const qvt::TKernelTable &table, std::vector<FrameSet> &sets, size_t readBytes,
             size_t writeBytes, const std::function<void(const FrameSet &)> &kernel) {
    qvt::testing::ScopedKernels use(table);
    static Bound bound;
    std::vector<double> kernelTimes, boundTimes;
    size_t next = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i) {
            kernel(sets[next]);
            next = (next + 1) % sets.size();
        }
        benchmark::ClobberMemory();
        const double k = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kBatch;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i) bound.Run(readBytes, writeBytes);
        benchmark::ClobberMemory();
        boundTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kBatch);
        kernelTimes.push_back(k);
        state.SetIterationTime(k);
    }
    qvt::bench::ReportAgainstBound(state, std::move(kernelTimes), std::move(boundTimes), int64_t(readBytes + writeBytes));
}

constexpr RECT kFrame{0, 0, kWidth, kHeight};
constexpr RECT kNothing{0, 0, 0, 0};
constexpr int kPixelStride = 4 * kWidth, kMask8Stride = kWidth, kMask1Stride = kWidth / 8;
constexpr size_t kPage = kPixels * 4, kMask8 = kPixels, kMask1 = kPixels / 8;

// Work, arriving, departing, mask: the pages read once, the work page
// written once.
void Graded(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kPage, kPage, kPage, kMask8});
    const auto routine = qvt::CreateGradedBlendRoutine();
    Measure(state, table, sets, 2 * kPage + kMask8, kPage, [&](const FrameSet &f) {
        qvt::BlendThroughMask8(*routine, f.end(0), f.end(1), f.end(2), f.end(3), kWidth, kMask8Stride, kPixelStride,
                               kFrame, kNothing);
    });
}

void Windowed(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kPage, kPage, kPage, kMask8});
    const auto sub = qvt::CreateWindowBlendRoutine(16, false), add = qvt::CreateWindowBlendRoutine(16, true);
    Measure(state, table, sets, 2 * kPage + kMask8, kPage, [&](const FrameSet &f) {
        qvt::BlendThroughMaskWindow(*sub, *add, f.end(0), f.end(1), f.end(2), f.end(3), 100, kWidth, kMask8Stride,
                                    kPixelStride, kFrame, kNothing);
    });
}

// The copies change about half of the work page (random masks): the work
// page is read and written, the arriving page and the mask read.
void CopyRange(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kPage, kPage, kMask8});
    Measure(state, table, sets, 2 * kPage + kMask8, kPage, [&](const FrameSet &f) {
        qvt::CopyThroughMaskRange(f.end(0), f.end(1), f.end(2), int(kMask8), 64, 191, qvt::pf32bit);
    });
}

void CopyMask1(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kPage, kPage, kMask1});
    Measure(state, table, sets, 2 * kPage + kMask1, kPage, [&](const FrameSet &f) {
        qvt::CopyThroughMask1(f.end(0), f.end(1), f.end(2), kWidth, kPixelStride, kMask1Stride, qvt::pf32bit, kFrame,
                              kNothing);
    });
}

void Fade(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kMask8});
    Measure(state, table, sets, kMask8, kMask8,
            [&](const FrameSet &f) { qvt::FadeMask(f.end(0), kMask8Stride, kWidth, kFrame, kNothing, false, 1); });
}

// From a previous mask into a mask whose bytes stay where the previous one
// holds 255: both read, one written.
void FadeFrom(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kMask8, kMask8});
    Measure(state, table, sets, 2 * kMask8, kMask8, [&](const FrameSet &f) {
        qvt::FadeMaskFrom(f.end(0), f.end(1), kMask8Stride, kWidth, kFrame, kNothing, false, 1);
    });
}

void Merge(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kMask1, kMask1});
    Measure(state, table, sets, 2 * kMask1, 2 * kMask1,
            [&](const FrameSet &f) { qvt::MergeRevealedMask(f.end(0), f.end(1), kMask1Stride, kFrame, kNothing); });
}

void Invert(benchmark::State &state, qvt::TKernelTable table) {
    auto sets = MakeFrames({kMask1});
    Measure(state, table, sets, kMask1, kMask1, [&](const FrameSet &f) { qvt::InvertMask(f.end(0), int(kMask1 / 4)); });
}

const bool registered = [] {
    qvt::InitializePixelServices();
    using Fn = void (*)(benchmark::State &, qvt::TKernelTable);
    const std::pair<const char *, Fn> kernels[] = {
        {"GradedBlend/32bit", Graded},
        {"WindowBlend/32bit", Windowed},
        {"CopyRange/32bit", CopyRange},
        {"CopyMask1/32bit", CopyMask1},
        {"FadeMask", Fade},
        {"FadeMaskFrom", FadeFrom},
        {"MergeRevealedMask", Merge},
        {"InvertMask", Invert},
    };
    for (const auto &[name, fn] : kernels)
        for (const qvt::TKernelTable &table : qvt::testing::KernelVariants())
            benchmark::RegisterBenchmark((std::string(name) + "/" + table.Name + "/1920x1080").c_str(), fn, table)
                ->Unit(benchmark::kMicrosecond)
                ->UseManualTime();
    return true;
}();

} // namespace
