// Throughput of one blend frame of a 32-bit page at three screen sizes: the
// byte-wise kernel of every kernel table this processor runs (with ordinary
// and with streaming stores), the integer routine, and a memcpy of the same
// bytes for scale. Figures are
// bytes of destination picture per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pixels/Blend.h"
#include "pixels/Kernels.h"

namespace {

using BlendWordsFn = qvt::TKernelTable::BlendBytesFn;

struct Size {
    const char *name;
    int width, height;
};
constexpr Size kSizes[] = {{"640x480", 640, 480}, {"1920x1080", 1920, 1080}, {"3840x2160", 3840, 2160}};
constexpr int kLevel = 100;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using Pixels = std::unique_ptr<uint8_t, FreeDeleter>;

// A page-aligned buffer, as a DIB section's pixel memory is.
Pixels MakePage(size_t bytes, uint32_t seed) {
    Pixels p(static_cast<uint8_t *>(std::aligned_alloc(4096, (bytes + 4095) & ~size_t{4095})));
    uint32_t x = seed;
    for (size_t i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        p.get()[i] = static_cast<uint8_t>(x >> 24);
    }
    return p;
}

// The three pages of one frame.
struct Frame {
    explicit Frame(const Size &s)
        : bytes(size_t(s.width) * size_t(s.height) * 4), dest(MakePage(bytes, 1)), arriving(MakePage(bytes, 2)),
          departing(MakePage(bytes, 3)) {}
    size_t bytes;
    Pixels dest, arriving, departing;
};

void Finish(benchmark::State &state, const Frame &f) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.bytes));
}

void ByteWise(benchmark::State &state, BlendWordsFn fn, Size size) {
    Frame f(size);
    for (auto _ : state) {
        fn(f.dest.get(), f.arriving.get(), f.departing.get(), kLevel, int(f.bytes));
        benchmark::ClobberMemory();
    }
    Finish(state, f);
}

void Integer(benchmark::State &state, Size size) {
    Frame f(size);
    for (auto _ : state) {
        qvt::BlendWordsInteger(f.dest.get(), f.arriving.get(), f.departing.get(), qvt::pf32bit, kLevel, int(f.bytes),
                               0);
        benchmark::ClobberMemory();
    }
    Finish(state, f);
}

void Memcpy(benchmark::State &state, Size size) {
    Frame f(size);
    for (auto _ : state) {
        std::memcpy(f.dest.get(), f.arriving.get(), f.bytes);
        benchmark::ClobberMemory();
    }
    Finish(state, f);
}

// Registers every path at every size; variants this processor lacks are
// left out.
const bool registered = [] {
    for (const Size &size : kSizes) {
        const std::string at = std::string("/") + size.name;
        for (const qvt::TKernelTable &table : qvt::testing::KernelVariants())
            benchmark::RegisterBenchmark((std::string("BlendBytes/") + table.Name + at).c_str(), ByteWise,
                                         table.BlendBytes, size)
                ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BlendInteger" + at).c_str(), Integer, size)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Memcpy" + at).c_str(), Memcpy, size)->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

} // namespace
