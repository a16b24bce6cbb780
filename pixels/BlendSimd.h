// Internals of the blend kernels shared by the plain, SSE2 and AVX2 variants:
// the two-channel word mix, the touch-ahead of source blocks, the order of
// work of the byte-wise kernel and the vector variants' kernel over an
// instruction set's operations (SimdSse2.h, SimdAvx2.h). Not part of the
// public interface (see Blend.h and Kernels.h).
#ifndef QVT_PIXELS_BLENDSIMD_H
#define QVT_PIXELS_BLENDSIMD_H

#include <cstddef>
#include <cstdint>
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

// The byte-wise kernel works in blocks of this many bytes, touching both
// sources of a block before mixing it.
constexpr size_t kBlockBytes = 4096;

// Brings a source block into the cache before it is mixed: one 32-bit read
// every 32 bytes, walking from the block's end toward its start.
inline void TouchBlock(const uint8_t *block) {
    uint32_t sink = 0;
    for (size_t offset = kBlockBytes; offset != 0;) {
        offset -= 32;
        sink ^= LoadWord(block + offset);
    }
    // Keep the reads: their only purpose is their side effect on the cache.
    __asm__ volatile("" : : "r"(sink));
}

// The byte-wise kernel's order of work, shared by every variant:
//   1. whole 4096-byte blocks: touch the departing block, then the arriving
//      block, then mix the block;
//   2. the remaining whole 8-byte units, without touching ahead;
//   3. a trailing 32-bit word (bit 2 of byteCount) by the two-channel method
//      with multiplier `level` and shift 8.
// `mix(d, a, b, n)` mixes n bytes (a multiple of 8) in ascending order.
template <class Mix>
inline void BlendBytesInOrder(uint8_t *d, const uint8_t *a, const uint8_t *b, int level, int byteCount, Mix &&mix) {
    if (byteCount <= 0) return;
    const size_t total = static_cast<size_t>(byteCount);
    size_t offset = 0;
    for (size_t block = total / kBlockBytes; block != 0; --block, offset += kBlockBytes) {
        TouchBlock(b + offset);
        TouchBlock(a + offset);
        mix(d + offset, a + offset, b + offset, kBlockBytes);
    }
    const size_t rest = (total % kBlockBytes) & ~size_t{7};
    if (rest != 0) mix(d + offset, a + offset, b + offset, rest);
    offset += rest;
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

} // namespace

} // namespace qvt::blend

#endif
