// Raster operations on pixel values.
//
// A ternary raster operation is a boolean function of pattern, source and
// destination, given as its 8-entry truth table (the "index": the result for
// P = 0xF0, S = 0xCC, D = 0xAA). It acts bit by bit on pixel values, so one
// evaluator serves every pixel format; `mask` cuts the result to the bits a
// pixel value has (an inverted 8-bit index stays 8 bits wide).
//
// The general evaluator handles all 256 codes. The codes that blits and fills
// actually use get their own plain loops over row buffers, which the compiler
// vectorises.
#include "gdi_internal.h"

namespace qvt::gdi {

uint32_t rop3(uint8_t index, uint32_t p, uint32_t s, uint32_t d) {
    // Sum of the minterms whose truth-table bit is set: minterm k covers the
    // bit positions where (p, s, d) spell the 3-bit number k.
    uint32_t r = 0;
    for (int k = 0; k < 8; ++k) {
        if (!((index >> k) & 1)) continue;
        r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
    }
    return r;
}

namespace {

// Row loops for the common codes. Each walks the row in blocks of 8 values
// with a fixed-length inner loop, which the compiler turns into vector code
// even at -O2 (where loops of unknown length stay scalar), then finishes the
// tail one value at a time. f receives the operands the code uses.
constexpr int kBlock = 8;

template <class F> inline void rowD(uint32_t *__restrict d, int n, F f) {
    int i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (int k = 0; k < kBlock; ++k) d[i + k] = f(d[i + k]);
    for (; i < n; ++i) d[i] = f(d[i]);
}

template <class F> inline void rowXD(const uint32_t *__restrict x, uint32_t *__restrict d, int n, F f) {
    int i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (int k = 0; k < kBlock; ++k) d[i + k] = f(x[i + k], d[i + k]);
    for (; i < n; ++i) d[i] = f(x[i], d[i]);
}

template <class F>
inline void rowPSD(const uint32_t *__restrict p, const uint32_t *__restrict s, uint32_t *__restrict d, int n, F f) {
    int i = 0;
    for (; i + kBlock <= n; i += kBlock)
        for (int k = 0; k < kBlock; ++k) d[i + k] = f(p[i + k], s[i + k], d[i + k]);
    for (; i < n; ++i) d[i] = f(p[i], s[i], d[i]);
}

void ropGeneral(uint8_t index, const uint32_t *p, const uint32_t *s, uint32_t *d, int n, uint32_t mask) {
    for (int i = 0; i < n; ++i) {
        const uint32_t pv = p ? p[i] : 0;
        const uint32_t sv = s ? s[i] : 0;
        d[i] = rop3(index, pv, sv, d[i]) & mask;
    }
}

} // namespace

void ropRow(uint8_t index, const uint32_t *p, const uint32_t *s, uint32_t *d, int n, uint32_t mask) {
    if (n <= 0) return;
    // A code that needs an operand the caller did not supply falls back to the
    // general evaluator, which reads a missing operand as 0.
    const bool haveS = s != nullptr, haveP = p != nullptr;
    switch (index) {
    case 0x00: // BLACKNESS
        rowD(d, n, [](uint32_t) { return 0u; });
        return;
    case 0xFF: // WHITENESS
        rowD(d, n, [mask](uint32_t) { return mask; });
        return;
    case 0xAA: // D: nothing changes
        return;
    case 0x55: // DSTINVERT
        rowD(d, n, [mask](uint32_t dv) { return ~dv & mask; });
        return;
    case 0xCC: // SRCCOPY
        if (!haveS) break;
        rowXD(s, d, n, [](uint32_t sv, uint32_t) { return sv; });
        return;
    case 0x33: // NOTSRCCOPY
        if (!haveS) break;
        rowXD(s, d, n, [mask](uint32_t sv, uint32_t) { return ~sv & mask; });
        return;
    case 0x88: // SRCAND
        if (!haveS) break;
        rowXD(s, d, n, [](uint32_t sv, uint32_t dv) { return dv & sv; });
        return;
    case 0xEE: // SRCPAINT
        if (!haveS) break;
        rowXD(s, d, n, [](uint32_t sv, uint32_t dv) { return dv | sv; });
        return;
    case 0x66: // SRCINVERT
        if (!haveS) break;
        rowXD(s, d, n, [](uint32_t sv, uint32_t dv) { return dv ^ sv; });
        return;
    case 0x22: // D & ~S
        if (!haveS) break;
        rowXD(s, d, n, [](uint32_t sv, uint32_t dv) { return dv & ~sv; });
        return;
    case 0xAC: // pattern bit 0 takes the source bit, 1 keeps the destination bit
        if (!haveS || !haveP) break;
        rowPSD(p, s, d, n, [](uint32_t pv, uint32_t sv, uint32_t dv) { return sv ^ ((sv ^ dv) & pv); });
        return;
    case 0xF0: // PATCOPY
        if (!haveP) break;
        rowXD(p, d, n, [](uint32_t pv, uint32_t) { return pv; });
        return;
    case 0x5A: // PATINVERT
        if (!haveP) break;
        rowXD(p, d, n, [](uint32_t pv, uint32_t dv) { return dv ^ pv; });
        return;
    default:
        break;
    }
    ropGeneral(index, p, s, d, n, mask);
}

uint8_t rop2ToIndex(int rop2) {
    // R2_* codes are 1 + a 4-entry truth table over (pen, destination) with
    // the pen as the high bit. Spread it over the ternary table, the pen in
    // the pattern's place and the source ignored. Codes outside 1..16 leave
    // the destination alone.
    if (rop2 < R2_BLACK || rop2 > R2_WHITE) return 0xAA;
    const unsigned table = (unsigned)(rop2 - 1);
    uint8_t index = 0;
    for (int k = 0; k < 8; ++k) {
        const int p = (k >> 2) & 1, dbit = k & 1;
        if ((table >> ((p << 1) | dbit)) & 1) index |= (uint8_t)(1u << k);
    }
    return index;
}

} // namespace qvt::gdi
