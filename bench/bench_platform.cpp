// Throughput of the blits that transitions lean on, on full-HD 32-bit DIB
// sections, next to a plain memcpy of the same number of bytes. Figures are
// bytes of destination picture per second.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int64_t kFrameBytes = int64_t(kW) * kH * 4;

// A 32-bit DIB section selected into its own memory DC.
class Frame {
public:
    Frame(int w = kW, int h = kH) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
        old_ = SelectObject(dc_, bmp_);
        if (bits_) {
            auto *p = static_cast<uint32_t *>(bits_);
            for (int64_t i = 0; i < int64_t(w) * h; ++i) p[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
        }
    }
    ~Frame() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    Frame(const Frame &) = delete;
    Frame &operator=(const Frame &) = delete;
    HDC dc() const { return dc_; }
    bool ok() const { return bits_ != nullptr; }

private:
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void *bits_ = nullptr;
};

// 8 x 8 monochrome pattern with the diagonal set, the usual transition mask.
HBRUSH diagonalBrush() {
    uint8_t bits[16] = {};
    for (int y = 0; y < 8; ++y) bits[2 * y] = uint8_t(0x80 >> y);
    HBITMAP bm = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH b = CreatePatternBrush(bm);
    DeleteObject(bm);
    return b;
}

void BM_Memcpy(benchmark::State &state) {
    std::vector<uint8_t> src(kFrameBytes, 0x5A), dst(kFrameBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_Memcpy);

void runBitBlt(benchmark::State &state, DWORD rop) {
    Frame src, dst;
    if (!src.ok() || !dst.ok()) {
        state.SkipWithError("cannot create the bitmaps");
        return;
    }
    HBRUSH brush = diagonalBrush();
    HGDIOBJ old = SelectObject(dst.dc(), brush);
    for (auto _ : state) {
        if (!BitBlt(dst.dc(), 0, 0, kW, kH, src.dc(), 0, 0, rop)) {
            state.SkipWithError("BitBlt failed");
            break;
        }
    }
    SelectObject(dst.dc(), old);
    DeleteObject(brush);
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}

void BM_BitBltSrcCopy(benchmark::State &state) { runBitBlt(state, SRCCOPY); }
void BM_BitBltPatternSelect(benchmark::State &state) { runBitBlt(state, 0x00AC0744); }
void BM_BitBltSrcAnd(benchmark::State &state) { runBitBlt(state, SRCAND); }
void BM_BitBltSrcPaint(benchmark::State &state) { runBitBlt(state, SRCPAINT); }
void BM_BitBltAndNotSource(benchmark::State &state) { runBitBlt(state, 0x00220326); }
BENCHMARK(BM_BitBltSrcCopy);
BENCHMARK(BM_BitBltPatternSelect);
BENCHMARK(BM_BitBltSrcAnd);
BENCHMARK(BM_BitBltSrcPaint);
BENCHMARK(BM_BitBltAndNotSource);

void BM_StretchColumnOverFrame(benchmark::State &state) {
    Frame src(1, kH), dst;
    if (!src.ok() || !dst.ok()) {
        state.SkipWithError("cannot create the bitmaps");
        return;
    }
    SetStretchBltMode(dst.dc(), COLORONCOLOR);
    for (auto _ : state) {
        if (!StretchBlt(dst.dc(), 0, 0, kW, kH, src.dc(), 0, 0, 1, kH, SRCCOPY)) {
            state.SkipWithError("StretchBlt failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_StretchColumnOverFrame);

} // namespace
