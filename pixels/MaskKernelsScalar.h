// The mask kernels' stretches in plain C++: the table's plain entries, and
// the heads and tails of the vector variants (which include this from files
// built for their instruction set; everything here has internal linkage so
// that no copy made with those instructions is linked elsewhere). Not part
// of the public interface (see MaskKernels.h and Kernels.h).
#ifndef QVT_PIXELS_MASKKERNELSSCALAR_H
#define QVT_PIXELS_MASKKERNELSSCALAR_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixels/Kernels.h"

namespace qvt::mask {
namespace {

inline uint32_t LoadWord(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void StoreWord(uint8_t *p, uint32_t v) { std::memcpy(p, &v, sizeof v); }

// Bytes per pixel of each table pixel size above 4 bits.
template <TMaskPixelSize Size> constexpr size_t kPixelBytes = Size == mp8bit    ? 1
                                                              : Size == mp16bit ? 2
                                                              : Size == mp24bit ? 3
                                                                                : 4;

// One pixel of `bytes` bytes (a constant, so the copy is a plain move).
template <size_t Bytes> inline void CopyPixel(uint8_t *d, const uint8_t *s) { std::memcpy(d, s, Bytes); }

// A 4-bit pixel byte governed by two selectors (true = take the arriving
// nibble), the first for the high nibble.
inline uint8_t MixNibbles(uint8_t work, uint8_t arriving, bool high, bool low) {
    const uint8_t take = static_cast<uint8_t>((high ? 0xF0 : 0) | (low ? 0x0F : 0));
    return static_cast<uint8_t>((work & ~take) | (arriving & take));
}

// Hard copy through a 1-bit mask: 0 bits take the arriving pixel, a byte of
// 255 leaves its 8 pixels alone.
template <TMaskPixelSize Size>
void CopyMask1Scalar(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t maskBytes) {
    for (size_t i = 0; i < maskBytes; ++i) {
        const unsigned bits = mask[i];
        if (bits == 0xFF) continue;
        if constexpr (Size == mp4bit) {
            for (unsigned p = 0; p < 4; ++p) {
                const unsigned pair = (bits >> (6 - 2 * p)) & 3;
                uint8_t &w = work[4 * i + p];
                w = MixNibbles(w, arriving[4 * i + p], (pair & 2) == 0, (pair & 1) == 0);
            }
        } else {
            constexpr size_t b = kPixelBytes<Size>;
            for (unsigned k = 0; k < 8; ++k)
                if (!(bits & (0x80u >> k))) CopyPixel<b>(work + (8 * i + k) * b, arriving + (8 * i + k) * b);
        }
    }
}

inline bool InRange(uint8_t v, uint8_t lo, uint8_t hi) { return lo <= v && v <= hi; }

// Copy where lo <= mask byte <= hi; for 4-bit pixels two mask bytes govern
// one pixel byte, the first its high nibble.
template <TMaskPixelSize Size>
void CopyRangeScalar(uint8_t *work, const uint8_t *arriving, const uint8_t *mask, size_t count, uint8_t lo,
                     uint8_t hi) {
    if constexpr (Size == mp4bit) {
        for (size_t i = 0; i + 1 < count; i += 2)
            work[i / 2] = MixNibbles(work[i / 2], arriving[i / 2], InRange(mask[i], lo, hi),
                                     InRange(mask[i + 1], lo, hi));
    } else {
        constexpr size_t b = kPixelBytes<Size>;
        for (size_t i = 0; i < count; ++i)
            if (InRange(mask[i], lo, hi)) CopyPixel<b>(work + i * b, arriving + i * b);
    }
}

inline void MergeMaskScalar(uint8_t *mask, uint8_t *revealed, size_t words) {
    for (size_t i = 0; i < words; ++i) {
        const uint32_t m = LoadWord(mask + 4 * i), v = LoadWord(revealed + 4 * i);
        StoreWord(revealed + 4 * i, v & m);
        StoreWord(mask + 4 * i, m | ~v);
    }
}

inline void InvertMaskScalar(uint8_t *mask, size_t words) {
    for (size_t i = 0; i < words; ++i) StoreWord(mask + 4 * i, ~LoadWord(mask + 4 * i));
}

inline uint8_t FadeByte(uint8_t v, bool toZero, uint8_t amount) {
    return toZero || amount >= v ? 0 : static_cast<uint8_t>(v - amount);
}

inline void FadeScalar(uint8_t *to, const uint8_t *from, size_t n, bool toZero, uint8_t amount) {
    for (size_t i = 0; i < n; ++i)
        if (from[i] != 0xFF) to[i] = FadeByte(from[i], toZero, amount);
}

// Per byte of a pixel word: base + floor((weighted - base) * weight / 256),
// weight 0..256, two bytes per accumulator. The fields are 8 bits apart, so
// a difference times at most 256, shifted down by 8, stays in its field,
// and a borrow out of a negative low field is undone when the base is added
// back.
inline uint32_t MixPixel(uint32_t weighted, uint32_t base, uint32_t weight) {
    constexpr uint32_t low = 0x00FF00FFu, high = 0xFF00FF00u;
    const uint32_t bl = base & low, bh = (base & high) >> 8;
    uint32_t wl = (weighted & low) - bl;
    uint32_t wh = ((weighted & high) >> 8) - bh;
    wl = ((wl * weight) >> 8) + bl;
    wh = ((wh * weight) >> 8) + bh;
    return (wl & low) | ((wh << 8) & high);
}

// The weight of a graded blend's mask byte: 0 stays 0, others m + 1.
inline uint32_t GradedWeight(uint8_t m) { return m == 0 ? 0u : m + 1u; }

inline void GradedBlendScalar(uint8_t *work, const uint8_t *arriving, const uint8_t *departing, const uint8_t *mask,
                              size_t pixels) {
    for (size_t i = 0; i < pixels; ++i)
        StoreWord(work + 4 * i,
                  MixPixel(LoadWord(departing + 4 * i), LoadWord(arriving + 4 * i), GradedWeight(mask[i])));
}

// The windowed blend's weight: z clamped to the window, scaled to 256ths.
template <bool Add> inline uint32_t WindowWeight(uint8_t m, uint8_t threshold, unsigned windowShift) {
    const unsigned window = 1u << windowShift;
    unsigned z;
    if constexpr (Add) {
        z = m + threshold > 255 ? 255u : unsigned(m + threshold);
    } else {
        z = m > threshold ? unsigned(m - threshold) : 0u;
    }
    if (z > window) z = window;
    return z << (8 - windowShift);
}

template <bool Add>
void WindowBlendScalar(uint8_t *work, const uint8_t *weighted, const uint8_t *base, const uint8_t *mask,
                       size_t pixels, uint8_t threshold, unsigned windowShift) {
    for (size_t i = 0; i < pixels; ++i)
        StoreWord(work + 4 * i, MixPixel(LoadWord(weighted + 4 * i), LoadWord(base + 4 * i),
                                         WindowWeight<Add>(mask[i], threshold, windowShift)));
}

} // namespace
} // namespace qvt::mask

#endif
