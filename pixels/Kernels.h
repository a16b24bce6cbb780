// The kernel table: every per-pixel kernel of the engine as one entry.
//
// A table starts as the plain C++ references-turned-kernels
// (FillPlainKernels); each instruction-set fill function then overrides the
// entries it has a faster variant of. The active table is filled once at
// start-up from the processor features read through the platform's CPUID,
// and the streaming-store choice (ExtendedMMXAvailable) is made at the same
// time, so a call never asks the processor or a flag again. Adding a
// variant is one assignment in its instruction set's fill function; adding
// a kernel is one entry here and one in FillPlainKernels.
//
// Files named *Sse2.cpp, *Avx2.cpp and *Avx512.cpp are compiled for those
// instruction sets (see CMakeLists.txt); their operations live in
// SimdSse2.h, SimdAvx2.h and SimdAvx512.h so that any kernel file can use
// them.
#ifndef QVT_PIXELS_KERNELS_H
#define QVT_PIXELS_KERNELS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pixels/PixFormats.h"

namespace qvt {

// A pixel buffer as the kernels walk it: a bottom-up device-independent
// bitmap reached from the address one past the end of its top scan line.
// Pixel (x, y), rows counted from the top, starts at
// End - (y + 1) * Stride + x * bytes per pixel.
struct TPixelBuffer {
    uint8_t *End = nullptr;
    int Stride = 0;
    TPixelFormat PixelFormat = pfDevice;

    uint8_t *Row(int y) const { return End - static_cast<ptrdiff_t>(y + 1) * Stride; }
};

// One piece of a kernel's region in one buffer: the byte offset from the
// buffer's end address of the end of the piece's top row (Pos), the pixels
// per row (Run), the pixels between the end of one row and the start of the
// next (Gap) and the pixels from the piece's first pixel to its end (Total;
// 0 when the piece is empty).
struct TMaskRun {
    int32_t Pos = 0;
    int32_t Run = 0;
    int32_t Gap = 0;
    int32_t Total = 0;
};

// The pixel sizes the mask kernels handle, as table indices.
enum TMaskPixelSize { mp4bit, mp8bit, mp16bit, mp24bit, mp32bit };

// How the integer routine splits a word into two accumulators.
enum TChannelLayout { clByteChannels, cl555, cl565 };

struct TKernelTable {
    // Byte-wise blend over byteCount bytes: each byte becomes
    // B + floor((A - B) * level / 256); whole 8-byte units and a trailing
    // 32-bit word are mixed. Streams its stores when the table was filled
    // with streaming allowed.
    using BlendBytesFn = void (*)(void *dest, const void *arriving, const void *departing, int level, int byteCount);
    BlendBytesFn BlendBytes = nullptr;

    // Integer routine over whole 32-bit words, per channel layout, without
    // and with skipping words whose two sources are equal: per field,
    // base + floor((weighted - base) * m / 2^s).
    using MixWordsFn = void (*)(uint8_t *dest, const uint8_t *weighted, const uint8_t *base, size_t words, uint32_t m,
                                unsigned s);
    MixWordsFn MixWords[3][2] = {};

    // Mask kernels over one contiguous stretch of a row (or of whole rows),
    // every pointer at the stretch's first pixel or mask byte. The region
    // walk around them is shared (MaskKernels.cpp).
    //
    // Hard copy through a 1-bit mask over maskBytes mask bytes (8 pixels
    // each), per pixel size (TMaskPixelSize).
    using CopyMask1Fn = void (*)(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t maskBytes);
    CopyMask1Fn CopyMask1[5] = {};
    // Copy where lo <= mask byte <= hi over `count` mask bytes, per pixel
    // size.
    using CopyRangeFn = void (*)(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t count, uint8_t lo,
                                 uint8_t hi);
    CopyRangeFn CopyRange[5] = {};
    // revealed := revealed and mask; mask := mask or not revealed (before),
    // over whole 32-bit words.
    using MergeMaskFn = void (*)(uint8_t *mask, uint8_t *revealed, size_t words);
    MergeMaskFn MergeMask = nullptr;
    using InvertMaskFn = void (*)(uint8_t *mask, size_t words);
    InvertMaskFn InvertMask = nullptr;
    // 8-bit mask fade from `from` into `to` (the same buffer for a fade in
    // place): 255 is not written, others become 0 (toZero) or v - amount,
    // at least 0.
    using FadeFn = void (*)(uint8_t *to, const uint8_t *from, size_t n, bool toZero, uint8_t amount);
    FadeFn Fade = nullptr;
    // Graded blend of `pixels` 32-bit pixels: per byte, with w = 0 for mask
    // 0 and m + 1 otherwise, arriving + floor((departing - arriving) * w / 256).
    using GradedBlendFn = void (*)(uint8_t *work, const uint8_t *arriving, const uint8_t *departing,
                                   const uint8_t *mask, size_t pixels);
    GradedBlendFn GradedBlend = nullptr;
    // Windowed blend of `pixels` 32-bit pixels, window 1 << windowShift:
    // z = min(max(m - t, 0), window) ([0] subtracting) or
    // min(min(m + t, 255), window) ([1] adding); per byte
    // base + floor((weighted - base) * (z << (8 - windowShift)) / 256).
    using WindowBlendFn = void (*)(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                                   size_t pixels, uint8_t threshold, unsigned windowShift);
    WindowBlendFn WindowBlend[2] = {};

    // What filled the table, for tests and benchmarks: "plain", "sse2",
    // "avx2" or "avx512", with "+stream" when it streams its stores.
    const char *Name = "plain";
};

// The processor as the kernel choice sees it: the feature word of
// DetectProcessorFeatures and the wider instruction sets behind it.
struct TProcessorFeatures {
    uint32_t Word = 0;
    bool Sse2 = false;
    bool Avx2 = false;   // AVX2 and the operating system keeps its registers
    bool Avx512 = false; // AVX-512 F and BW, and the operating system keeps their registers
};
TProcessorFeatures ReadProcessorFeatures();

void FillPlainKernels(TKernelTable &table);
// False, leaving the table alone, when this build has no such variant.
bool FillSse2Kernels(TKernelTable &table, bool streaming);
bool FillAvx2Kernels(TKernelTable &table, bool streaming);
// The blend kernels only; the mask kernels stay those of AVX2.
bool FillAvx512Kernels(TKernelTable &table, bool streaming);
// The mask kernels' entries, filled alongside the blend's.
void FillPlainMaskKernels(TKernelTable &table);
bool FillSse2MaskKernels(TKernelTable &table, bool streaming);
bool FillAvx2MaskKernels(TKernelTable &table, bool streaming);

// Fills the active table for this processor; streaming stores only when
// `streaming` (ExtendedMMXAvailable) allows.
void SelectKernels(const TProcessorFeatures &features, bool streaming);
// The active table (filled at start-up; plain until then).
const TKernelTable &Kernels();

namespace testing {
// Every table this build can run on this processor: plain, then each
// instruction set without and with streaming stores. For tests and
// benchmarks that run every variant of every kernel.
std::vector<TKernelTable> KernelVariants();

// Makes `table` the active one for the life of the object, so that the
// kernels' entry points (BlendWordsMMX, BlendBitmaps ...) run that variant.
class ScopedKernels {
public:
    explicit ScopedKernels(const TKernelTable &table);
    ~ScopedKernels();
    ScopedKernels(const ScopedKernels &) = delete;
    ScopedKernels &operator=(const ScopedKernels &) = delete;

private:
    TKernelTable saved_;
};
} // namespace testing

} // namespace qvt

#endif
