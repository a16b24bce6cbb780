// One blend frame at three screen sizes, set against the memory traffic it
// must do. For every kernel table this processor runs: the byte-wise kernel
// on a 32-bit frame, the integer routine on a 16-bit (5-6-5) and a 32-bit
// frame; and the dithered mix on an 8-bit frame. Each is reported with
// `bound_us`, the time a plain loop takes to read two buffers of the frame's
// size and write a third with streaming stores, measured in the same
// benchmark right after the kernel, and `x_bound`, the kernel's time over
// the bound (1.0 = at the memory bound). Figures are per frame.
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
#include "pixels/Blend.h"
#include "pixels/Kernels.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace {

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
    explicit Frame(size_t n) : bytes(n), dest(MakePage(n, 1)), arriving(MakePage(n, 2)), departing(MakePage(n, 3)) {}
    size_t bytes;
    Pixels dest, arriving, departing;
};

// The memory bound of a frame: read a and b, stream a ^ b into d.
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void BoundAvx2(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n) {
    for (size_t i = 0; i + 32 <= n; i += 32) {
        const __m256i x = _mm256_xor_si256(_mm256_load_si256(reinterpret_cast<const __m256i *>(a + i)),
                                           _mm256_load_si256(reinterpret_cast<const __m256i *>(b + i)));
        _mm256_stream_si256(reinterpret_cast<__m256i *>(d + i), x);
    }
    _mm_sfence();
}
#endif

void Bound(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n) {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return BoundAvx2(d, a, b, n);
#endif
    for (size_t i = 0; i < n; ++i) d[i] = a[i] ^ b[i];
}

// Runs `kernel` as the benchmark and, after each run of it, the bound of a
// frame of `bytes` per buffer on buffers of its own, so that whatever else
// the machine does weighs on both alike. States the bound and the ratio of
// the two medians; the benchmark's time is the kernel's alone.
void Measure(benchmark::State &state, size_t bytes, const std::function<void()> &kernel) {
    Frame bound(bytes);
    std::vector<double> kernelTimes, boundTimes;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        kernel();
        benchmark::ClobberMemory();
        const double k = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        Bound(bound.dest.get(), bound.arriving.get(), bound.departing.get(), bytes);
        benchmark::ClobberMemory();
        boundTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        kernelTimes.push_back(k);
        state.SetIterationTime(k);
    }
    qvt::bench::ReportAgainstBound(state, std::move(kernelTimes), std::move(boundTimes), int64_t(bytes));
}

void ByteWise(benchmark::State &state, qvt::TKernelTable table, Size size) {
    Frame f(size_t(size.width) * size_t(size.height) * 4);
    Measure(state, f.bytes,
            [&] { table.BlendBytes(f.dest.get(), f.arriving.get(), f.departing.get(), kLevel, int(f.bytes)); });
}

void Integer(benchmark::State &state, qvt::TKernelTable table, Size size, qvt::TPixelFormat format) {
    const int bpp = format == qvt::pf32bit ? 4 : 2;
    Frame f(size_t(size.width) * size_t(size.height) * size_t(bpp));
    qvt::testing::ScopedKernels use(table);
    const int level = format == qvt::pf32bit ? kLevel : 12;
    Measure(state, f.bytes, [&] {
        qvt::BlendWordsInteger(f.dest.get(), f.arriving.get(), f.departing.get(), format, level, int(f.bytes), 0);
    });
}

// The dithered mix of an 8-bit frame at level 32, through the graphics
// calls, on bitmaps of an 8-bit display.
void Dithered(benchmark::State &state, Size size) {
    QvtSetDisplayDepth(8);
    qvt::testing::RefreshDisplay();
    qvt::rtl::TBitmap dest, arriving, pattern;
    qvt::SetupBitmap(dest, nullptr, size.width, qvt::pf8bit, size.height);
    qvt::SetupBitmap(arriving, nullptr, size.width, qvt::pf8bit, size.height);
    PatBlt(arriving.Canvas().Handle(), 0, 0, size.width, size.height, WHITENESS);
    pattern.SetMonochrome(true);
    pattern.SetWidth(8);
    pattern.SetHeight(8);
    PatBlt(pattern.Canvas().Handle(), 0, 0, 8, 8, WHITENESS);
    const size_t bytes = size_t(qvt::BytesPerScanLine(dest, qvt::pf8bit, 32)) * size_t(size.height);
    Measure(state, bytes, [&] { qvt::BlendDithered(dest, arriving, pattern, 32); });
    QvtSetDisplayDepth(32);
    qvt::testing::RefreshDisplay();
}

// Registers every kernel of every table at every size.
const bool registered = [] {
    qvt::InitializePixelServices();
    for (const Size &size : kSizes) {
        const std::string at = std::string("/") + size.name;
        for (const qvt::TKernelTable &table : qvt::testing::KernelVariants()) {
            benchmark::RegisterBenchmark((std::string("BlendBytes/") + table.Name + at).c_str(), ByteWise, table,
                                         size)
                ->Unit(benchmark::kMicrosecond)->UseManualTime();
            benchmark::RegisterBenchmark((std::string("BlendInteger/565/") + table.Name + at).c_str(), Integer, table,
                                         size, qvt::pf16bit)
                ->Unit(benchmark::kMicrosecond)->UseManualTime();
            benchmark::RegisterBenchmark((std::string("BlendInteger/32bit/") + table.Name + at).c_str(), Integer,
                                         table, size, qvt::pf32bit)
                ->Unit(benchmark::kMicrosecond)->UseManualTime();
        }
        benchmark::RegisterBenchmark(("BlendDithered/8bit" + at).c_str(), Dithered, size)
            ->Unit(benchmark::kMicrosecond)->UseManualTime();
    }
    return true;
}();

} // namespace
