// Internals of the blend kernels shared by the plain, SSE2 and AVX2 variants:
// the two-channel word mix, the touch-ahead of source blocks, the order of
// work of the byte-wise kernel and the vector variants' kernel over an
// instruction set's operations (SimdSse2.h, SimdAvx2.h). Not part of the
// public interface (see Blend.h and Kernels.h).
#ifndef QVT_PIXELS_BLENDSIMD_H
#define QVT_PIXELS_BLENDSIMD_H

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>

#include "pixels/Kernels.h"

namespace qvt::blend {

// The helpers below have internal linkage on purpose: the AVX2 variant's file
// is compiled for AVX2, and an out-of-line copy of a shared inline function
// made there must never be the one the linker keeps for the other files.
namespace {

// How a 32-bit word splits into two accumulators: the fields under lowMask
// stay in place, those under highMask are shifted down by `shift`. In each
// accumulator the fields are spaced so that a field difference times the
// multiplier, shifted right by s, stays out of the field above it.
struct ChannelPairs {
    uint32_t lowMask;
    uint32_t highMask;
    unsigned shift;
};
constexpr ChannelPairs kByteChannels{0x00FF00FFu, 0xFF00FF00u, 8}; // 8-, 24-, 32-bit
constexpr ChannelPairs k555Channels{0x03E07C1Fu, 0x7C1F03E0u, 5};  // pf15bit, two pixels a word
constexpr ChannelPairs k565Channels{0x07E0F81Fu, 0xF81F07E0u, 5};  // pf16bit, two pixels a word

// One word mixed two channels at a time: per field,
// base + floor((weighted - base) * m / 2^s). All arithmetic is modulo the
// word size; a borrow out of a negative low field is undone when the base is
// added back, so no field disturbs its neighbour. Word is uint32_t or
// uint64_t (neither is promoted to int, so no signed arithmetic happens).
template <class Word>
constexpr Word MixChannelPairs(Word weighted, Word base, Word lowMask, Word highMask, unsigned shift, Word m,
                               unsigned s) {
    const Word bl = base & lowMask;
    const Word bh = (base & highMask) >> shift;
    Word wl = (weighted & lowMask) - bl;
    Word wh = ((weighted & highMask) >> shift) - bh;
    wl = ((wl * m) >> s) + bl;
    wh = ((wh * m) >> s) + bh;
    return (wl & lowMask) | ((wh << shift) & highMask);
}

constexpr uint32_t MixWord(uint32_t weighted, uint32_t base, const ChannelPairs &pairs, uint32_t m, unsigned s) {
    return MixChannelPairs<uint32_t>(weighted, base, pairs.lowMask, pairs.highMask, pairs.shift, m, s);
}

inline uint32_t LoadWord(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void StoreWord(uint8_t *p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// The byte-wise kernel's order of work, shared by every variant: the whole
// 8-byte units in ascending order, then a trailing 32-bit word (bit 2 of
// byteCount) by the two-channel method with multiplier `level` and shift 8.
// `mix(d, a, b, n)` mixes n bytes (a multiple of 8) in ascending order.
//
// The sources are not touched block by block ahead of the mix, as kernels
// for processors without hardware prefetch did: on today's processors that
// only costs time. Measured at 1920 x 1080, 32 bits (bench_blend): the AVX2
// kernel with streaming stores took 3.0 ms a frame with the touch-ahead and
// 0.55 ms without it, the SSE2 kernel 2.6 ms and 1.0 ms. The results are
// the same byte for byte.
template <class Mix>
inline void BlendBytesInOrder(uint8_t *d, const uint8_t *a, const uint8_t *b, int level, int byteCount, Mix &&mix) {
    if (byteCount <= 0) return;
    const size_t total = static_cast<size_t>(byteCount);
    const size_t whole = total & ~size_t{7};
    if (whole != 0) mix(d, a, b, whole);
    const size_t offset = whole;
    if (total & 4) {
        StoreWord(d + offset,
                  MixWord(LoadWord(a + offset), LoadWord(b + offset), kByteChannels, static_cast<uint32_t>(level), 8));
    }
}

// Levels outside 0..255 are out of contract; the kernels clamp them.
constexpr int ClampByteLevel(int level) { return level < 0 ? 0 : level > 255 ? 255 : level; }

// Bytes from p up to the next multiple of `alignment` (a power of two),
// at most n.
inline size_t BytesToAlignment(const void *p, size_t alignment, size_t n) {
    const size_t gap = (alignment - (reinterpret_cast<uintptr_t>(p) & (alignment - 1))) & (alignment - 1);
    return gap < n ? gap : n;
}

// The byte-wise kernel of a vector variant, written once over the
// instruction set's operations. `Ops` gives the vector type V, its width in
// bytes kWidth, and Splat16(level) (the level in every 16-bit lane),
// MixBytes(a, b, factor) (the per-byte arithmetic), Load/Store (aligned),
// LoadU/StoreU (unaligned), Stream (non-temporal, aligned) and Fence (after
// streaming stores). Each variant's file instantiates it with its own Ops,
// so every copy stays in the file compiled for that instruction set.
template <class Ops> struct VectorKernel {
    using V = typename Ops::V;
    static constexpr size_t kVector = Ops::kWidth;

    // Fewer than kVector bytes through a scratch vector: both sources are
    // read before the destination is written, so a destination equal to a
    // source is fine.
    static void MixPartial(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, V factor) {
        if (n == 0) return;
        alignas(kVector) uint8_t ta[kVector] = {}, tb[kVector] = {};
        std::memcpy(ta, a, n);
        std::memcpy(tb, b, n);
        Ops::Store(ta, Ops::MixBytes(Ops::Load(ta), Ops::Load(tb), factor));
        std::memcpy(d, ta, n);
    }

    // n bytes in ascending order. Non-temporal stores need kVector-aligned
    // addresses: a misaligned head goes through ordinary stores first.
    template <bool Stream> static void MixRange(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, V factor) {
        if constexpr (Stream) {
            const size_t head = BytesToAlignment(d, kVector, n);
            MixPartial(d, a, b, head, factor);
            d += head, a += head, b += head, n -= head;
        }
        for (; n >= kVector; n -= kVector, d += kVector, a += kVector, b += kVector) {
            const V r = Ops::MixBytes(Ops::LoadU(a), Ops::LoadU(b), factor);
            if constexpr (Stream)
                Ops::Stream(d, r);
            else
                Ops::StoreU(d, r);
        }
        MixPartial(d, a, b, n, factor);
    }

    // The entry, with the contract of TKernelTable::BlendBytes; Stream
    // writes around the cache and fences at the end.
    template <bool Stream>
    static void BlendBytes(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
        level = ClampByteLevel(level);
        const V factor = Ops::Splat16(level);
        BlendBytesInOrder(static_cast<uint8_t *>(dest), static_cast<const uint8_t *>(arriving),
                          static_cast<const uint8_t *>(departing), level, byteCount,
                          [factor](uint8_t *dd, const uint8_t *aa, const uint8_t *bb, size_t n) {
                              MixRange<Stream>(dd, aa, bb, n, factor);
                          });
        if constexpr (Stream) Ops::Fence();
    }
};

// The integer routine of a vector variant: MixWord on every 32-bit lane,
// with the trailing words (fewer than a vector) done one by one. With
// SkipEqual a lane whose two sources are equal is not stored; with Stream
// the stores go around the cache (from the first aligned address on).
template <class Ops> struct VectorWords {
    using V = typename Ops::V;
    static constexpr size_t kVector = Ops::kWidth;

    template <const ChannelPairs &Pairs, bool SkipEqual, bool Stream>
    static void Mix(uint8_t *d, const uint8_t *weighted, const uint8_t *base, size_t words, uint32_t m, unsigned s) {
        size_t i = 0;
        const size_t n = words * 4;
        auto scalar = [&](size_t end) {
            for (; i < end; i += 4) {
                const uint32_t w = LoadWord(weighted + i), b = LoadWord(base + i);
                if (SkipEqual && w == b) continue;
                StoreWord(d + i, MixWord(w, b, Pairs, m, s));
            }
        };
        if constexpr (Stream) {
            // Word by word up to the first vector-aligned destination.
            if ((reinterpret_cast<uintptr_t>(d) & 3) == 0) scalar(std::min(n, BytesToAlignment(d, kVector, n) & ~size_t{3}));
        }
        const V low = Ops::Splat32(Pairs.lowMask), high = Ops::Splat32(Pairs.highMask), mul = Ops::Splat32(m);
        const auto shift = Ops::Count(Pairs.shift), down = Ops::Count(s);
        const bool aligned = (reinterpret_cast<uintptr_t>(d + i) & (kVector - 1)) == 0;
        for (; i + kVector <= n; i += kVector) {
            const V w = Ops::LoadU(weighted + i), b = Ops::LoadU(base + i);
            const V bl = Ops::And(b, low), bh = Ops::ShiftRight32(Ops::And(b, high), shift);
            V wl = Ops::Sub32(Ops::And(w, low), bl);
            V wh = Ops::Sub32(Ops::ShiftRight32(Ops::And(w, high), shift), bh);
            wl = Ops::Add32(Ops::ShiftRight32(Ops::MulLow32(wl, mul), down), bl);
            wh = Ops::Add32(Ops::ShiftRight32(Ops::MulLow32(wh, mul), down), bh);
            const V r = Ops::Or(Ops::And(wl, low), Ops::And(Ops::ShiftLeft32(wh, shift), high));
            if constexpr (SkipEqual)
                Ops::StoreExcept(d + i, Ops::Equal32(w, b), r);
            else if (Stream && aligned)
                Ops::Stream(d + i, r);
            else
                Ops::StoreU(d + i, r);
        }
        scalar(n);
        if constexpr (Stream) Ops::Fence();
    }

    // Fills the table's integer-routine entries for one channel layout;
    // the plain ones skip equal words with a branch, here a compare masks
    // the stores.
    template <const ChannelPairs &P> static void FillLayout(TKernelTable &table, TChannelLayout layout, bool streaming) {
        table.MixWords[layout][0] = streaming ? Mix<P, false, true> : Mix<P, false, false>;
        table.MixWords[layout][1] = Mix<P, true, false>;
    }
    static void Fill(TKernelTable &table, bool streaming) {
        FillLayout<kByteChannels>(table, clByteChannels, streaming);
        FillLayout<k555Channels>(table, cl555, streaming);
        FillLayout<k565Channels>(table, cl565, streaming);
    }
};

} // namespace

} // namespace qvt::blend

#endif
