// The blend kernels in plain C++ (the table's first entries, kept where no
// vector variant exists), and the straight-from-the-formula references the
// kernels are checked against.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixels/BlendSimd.h"

namespace qvt {
namespace blend {
namespace {

// Eight bytes as four fields per accumulator: the even bytes in place, the
// odd bytes shifted down by 8. The fields are 8 bits apart, which is what a
// multiplier of up to 255 with shift 8 needs.
constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
constexpr uint64_t kOddBytes = 0xFF00FF00FF00FF00ull;

void mixPlain(uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n, uint64_t level) {
    for (size_t i = 0; i < n; i += 8) {
        uint64_t av, bv;
        std::memcpy(&av, a + i, 8);
        std::memcpy(&bv, b + i, 8);
        const uint64_t r = MixChannelPairs<uint64_t>(av, bv, kEvenBytes, kOddBytes, 8, level, 8);
        std::memcpy(d + i, &r, 8);
    }
}

// Plain C++ has no portable stores around the cache, so this variant always
// uses ordinary stores.
void blendBytesPlain(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
    level = ClampByteLevel(level);
    const uint64_t multiplier = static_cast<uint64_t>(level);
    BlendBytesInOrder(
        static_cast<uint8_t *>(dest), static_cast<const uint8_t *>(arriving), static_cast<const uint8_t *>(departing),
        level, byteCount,
        [multiplier](uint8_t *d, const uint8_t *a, const uint8_t *b, size_t n) { mixPlain(d, a, b, n, multiplier); });
}

// Mixes whole 32-bit words in ascending order. With SkipEqual, a word whose
// two sources are equal is not written: the destination already holds it
// (a copy of the departing page or an earlier frame of the same mix).
template <const ChannelPairs &Pairs, bool SkipEqual>
void mixWords(uint8_t *d, const uint8_t *weighted, const uint8_t *base, size_t words, uint32_t m, unsigned s) {
    for (size_t i = 0; i < words; ++i) {
        const size_t at = 4 * i;
        const uint32_t w = LoadWord(weighted + at);
        const uint32_t b = LoadWord(base + at);
        if constexpr (SkipEqual) {
            if (w == b) continue;
        }
        StoreWord(d + at, MixWord(w, b, Pairs, m, s));
    }
}

} // namespace

} // namespace blend

void FillPlainKernels(TKernelTable &table) {
    using namespace blend;
    table.BlendBytes = blendBytesPlain;
    table.MixWords[clByteChannels][0] = mixWords<kByteChannels, false>;
    table.MixWords[clByteChannels][1] = mixWords<kByteChannels, true>;
    table.MixWords[cl555][0] = mixWords<k555Channels, false>;
    table.MixWords[cl555][1] = mixWords<k555Channels, true>;
    table.MixWords[cl565][0] = mixWords<k565Channels, false>;
    table.MixWords[cl565][1] = mixWords<k565Channels, true>;
    table.Name = "plain";
}

namespace testing {
namespace {

// Rounds toward minus infinity (divisor positive).
constexpr int FloorDiv(int value, int divisor) {
    const int q = value / divisor;
    return (value % divisor != 0 && value < 0) ? q - 1 : q;
}

// base + floor((weighted - base) * k / scale)
constexpr int MixField(int weighted, int base, int k, int scale) {
    return base + FloorDiv((weighted - base) * k, scale);
}

struct Field {
    unsigned position, width;
};
constexpr Field k555Fields[] = {{0, 5}, {5, 5}, {10, 5}};
constexpr Field k565Fields[] = {{0, 5}, {5, 6}, {11, 5}};

// A 16-bit pixel mixed field by field; bits outside the fields come out 0.
template <size_t N> uint16_t MixPixel(uint16_t weighted, uint16_t base, const Field (&fields)[N], int k, int scale) {
    unsigned out = 0;
    for (const Field &f : fields) {
        const unsigned mask = (1u << f.width) - 1;
        const int w = static_cast<int>((weighted >> f.position) & mask);
        const int b = static_cast<int>((base >> f.position) & mask);
        out |= static_cast<unsigned>(MixField(w, b, k, scale)) << f.position;
    }
    return static_cast<uint16_t>(out);
}

} // namespace

void ReferenceBlendBytes(void *dest, const void *arriving, const void *departing, int level, int byteCount) {
    auto *d = static_cast<uint8_t *>(dest);
    const auto *a = static_cast<const uint8_t *>(arriving);
    const auto *b = static_cast<const uint8_t *>(departing);
    const int n = byteCount > 0 ? byteCount & ~3 : 0;
    for (int i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(MixField(a[i], b[i], level, 256));
}

void ReferenceBlendFields(void *dest, const void *arriving, const void *departing, TPixelFormat pixelFormat, int level,
                          int byteCount, int equalPercent) {
    auto *d = static_cast<uint8_t *>(dest);
    const auto *a = static_cast<const uint8_t *>(arriving);
    const auto *b = static_cast<const uint8_t *>(departing);
    const bool highColor = pixelFormat == pf15bit || pixelFormat == pf16bit;
    const int scale = highColor ? 32 : 256;
    const int full = highColor ? 32 : 255;
    level = level < 0 ? 0 : level > full ? full : level;
    // Past half way the arriving page is the base and the departing page is
    // weighted by the complement.
    const bool exchanged = level > scale / 2;
    const int k = exchanged ? full - level : level;
    const int words = byteCount > 0 ? byteCount / 4 : 0;
    for (int i = 0; i < words; ++i) {
        uint8_t av[4], bv[4], out[4];
        std::memcpy(av, a + 4 * i, 4);
        std::memcpy(bv, b + 4 * i, 4);
        if (equalPercent >= 10 && std::memcmp(av, bv, 4) == 0) continue;
        const uint8_t *weighted = exchanged ? bv : av;
        const uint8_t *base = exchanged ? av : bv;
        if (!highColor) {
            for (int j = 0; j < 4; ++j) out[j] = static_cast<uint8_t>(MixField(weighted[j], base[j], k, scale));
        } else {
            for (int j = 0; j < 4; j += 2) {
                const uint16_t w = static_cast<uint16_t>(weighted[j] | weighted[j + 1] << 8);
                const uint16_t s = static_cast<uint16_t>(base[j] | base[j + 1] << 8);
                const uint16_t r = pixelFormat == pf15bit ? MixPixel(w, s, k555Fields, k, scale)
                                                          : MixPixel(w, s, k565Fields, k, scale);
                out[j] = static_cast<uint8_t>(r);
                out[j + 1] = static_cast<uint8_t>(r >> 8);
            }
        }
        std::memcpy(d + 4 * i, out, 4);
    }
}

} // namespace testing
} // namespace qvt
