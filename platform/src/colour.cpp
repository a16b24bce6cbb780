// Colour resolution: how a COLORREF becomes a pixel value on a target, how a
// brush becomes pixel values, and how blits convert pixel values between
// formats.
#include "gdi_internal.h"

#include <array>

namespace qvt::gdi {

static bool isDibIndex(COLORREF c) { return (c >> 16) == 0x10FF; }

Rgb resolveColor(const DCObj &dc, const Surface &target, COLORREF c) {
    if (isDibIndex(c)) {
        uint32_t i = c & 0xFFFF;
        if (target.monoDDB) return (i & 1) ? Rgb{255, 255, 255} : Rgb{};
        if (isPaletted(target.fmt) && i < target.colors.size()) return target.colors[i];
        return Rgb{};
    }
    if ((c >> 24) == 0x01) {
        const PaletteObj *pal = dc.palette ? dc.palette : defaultPalette();
        uint32_t i = c & 0xFFFF;
        if (pal->entries.empty()) return Rgb{};
        if (i >= pal->entries.size()) i = 0;
        const PALETTEENTRY &e = pal->entries[i];
        return Rgb{e.peRed, e.peGreen, e.peBlue};
    }
    return rgbOf(c & 0xFFFFFF);
}

static bool dibIndexValue(const Surface &target, COLORREF c, uint32_t &v) {
    if (!isDibIndex(c) || !isPaletted(target.fmt)) return false;
    v = (c & 0xFFFF) & valueMask(target.fmt);
    return true;
}

uint32_t penBrushValue(const DCObj &dc, const Surface &target, COLORREF c) {
    uint32_t v;
    if (dibIndexValue(target, c, v)) return v;
    Rgb rgb = resolveColor(dc, target, c);
    if (target.fmt == PixFmt::P1) {
        // Two-colour targets: an exact table colour keeps its index; the
        // background colour gets the background's index and every other
        // colour the other one.
        Rgb c0 = target.monoDDB ? Rgb{0, 0, 0} : (target.colors.size() > 0 ? target.colors[0] : Rgb{});
        Rgb c1 = target.monoDDB ? Rgb{255, 255, 255} : (target.colors.size() > 1 ? target.colors[1] : c0);
        if (rgb == c0) return 0;
        if (rgb == c1) return 1;
        Rgb bk = resolveColor(dc, target, dc.bkColor);
        uint32_t bkIndex = encodeExact(target, bk);
        return rgb == bk ? bkIndex : (bkIndex ^ 1u);
    }
    return encodeExact(target, rgb);
}

uint32_t setPixelValue(const DCObj &dc, const Surface &target, COLORREF c) {
    uint32_t v;
    if (dibIndexValue(target, c, v)) return v;
    return encodeExact(target, resolveColor(dc, target, c));
}

COLORREF pixelColorref(const Surface &s, uint32_t v) { return colorrefOf(decodePixel(s, v)); }

void ResolvedBrush::row(int x, int y, int n, uint32_t *out) const {
    if (solid) {
        for (int i = 0; i < n; ++i) out[i] = value;
        return;
    }
    int cy = (y - orgY) % ph;
    if (cy < 0) cy += ph;
    const uint32_t *prow = pattern.data() + (size_t)cy * pw;
    int cx = (x - orgX) % pw;
    if (cx < 0) cx += pw;
    for (int i = 0; i < n; ++i) {
        out[i] = prow[cx];
        if (++cx == pw) cx = 0;
    }
}

static bool sameTables(const Surface &a, const Surface &b) {
    if (a.monoDDB || b.monoDDB) return a.monoDDB && b.monoDDB;
    return a.colors == b.colors;
}

ResolvedBrush resolveBrush(const DCObj &dc, const BrushObj *brush, const Surface &target) {
    ResolvedBrush rb;
    rb.orgX = dc.brushOrg.x;
    rb.orgY = dc.brushOrg.y;
    if (!brush || brush->style == BS_NULL) {
        rb.null = true;
        return rb;
    }
    if (brush->style == BS_SOLID || !brush->pattern) {
        rb.value = penBrushValue(dc, target, brush->color);
        return rb;
    }
    const Surface &ps = brush->pattern->surf;
    rb.solid = false;
    rb.pw = ps.width;
    rb.ph = ps.height;
    rb.pattern.resize((size_t)rb.pw * rb.ph);
    uint32_t lut[2] = {0, 0};
    if (ps.monoDDB) {
        // Monochrome patterns draw 0 bits in the text colour and 1 bits in the
        // background colour of the DC they are used in.
        lut[0] = penBrushValue(dc, target, dc.textColor);
        lut[1] = penBrushValue(dc, target, dc.bkColor);
    }
    bool copyRaw = !ps.monoDDB && ps.fmt == target.fmt && sameTables(ps, target);
    // A paletted pattern has at most 256 values: each is matched to the
    // target once (matching searches the target's whole colour table), not
    // once for every pixel of the pattern.
    std::array<uint32_t, 256> matched;
    std::array<bool, 256> isMatched{};
    for (int y = 0; y < ps.height; ++y) {
        for (int x = 0; x < ps.width; ++x) {
            uint32_t v = readPixel(ps, x, y);
            uint32_t out;
            if (ps.monoDDB) {
                out = lut[v & 1];
            } else if (copyRaw) {
                out = v;
            } else if (isPaletted(ps.fmt)) {
                const uint8_t i = (uint8_t)v;
                if (!isMatched[i]) {
                    matched[i] = encodeExact(target, decodePixel(ps, v));
                    isMatched[i] = true;
                }
                out = matched[i];
            } else {
                out = encodeBlit(target, decodePixel(ps, v));
            }
            rb.pattern[(size_t)y * rb.pw + x] = out;
        }
    }
    return rb;
}

// ---------------------------------------------------------------------------
// Blit conversion

Converter::Converter(const DCObj &srcDC, const Surface &src, const DCObj &dstDC, const Surface &dst)
    : src_(&src), dst_(&dst) {
    if (src.monoDDB && dst.monoDDB) return;
    identity_ = false;
    if (src.monoDDB) {
        // Monochrome bitmaps take the destination DC's text (0) and
        // background (1) colours.
        mode_ = Mode::Lut;
        lut_ = {encodeExact(dst, resolveColor(dstDC, dst, dstDC.textColor)),
                encodeExact(dst, resolveColor(dstDC, dst, dstDC.bkColor))};
        return;
    }
    if (dst.monoDDB) {
        // Into a monochrome bitmap: the source's background colour becomes
        // white (1), everything else black (0).
        mode_ = Mode::ToMono;
        monoBk_ = setPixelValue(srcDC, src, srcDC.bkColor);
        return;
    }
    if (isPaletted(src.fmt)) {
        if (src.fmt == dst.fmt && sameTables(src, dst)) {
            identity_ = true;
            mode_ = Mode::Identity;
            return;
        }
        mode_ = Mode::Lut;
        uint32_t n = 1u << bitsOf(src.fmt);
        lut_.resize(n);
        bool identicalTables = isPaletted(dst.fmt) && sameTables(src, dst);
        for (uint32_t v = 0; v < n; ++v) {
            if (identicalTables && v < src.colors.size())
                lut_[v] = v;
            else
                lut_[v] = encodeExact(dst, decodePixel(src, v));
        }
        return;
    }
    if (isPaletted(dst.fmt)) {
        // Only 8-bit destinations match the 5-bit bucket centre; 1- and
        // 4-bit ones match the exact colour.
        mode_ = Mode::DirectToPaletted;
        if (dst.fmt == PixFmt::P8) bucket_ = bucketTable(dst.colors);
        return;
    }
    if (src.fmt == dst.fmt) {
        identity_ = true;
        mode_ = Mode::Identity;
        return;
    }
    mode_ = Mode::DirectToDirect;
    if (src.fmt == PixFmt::R555 || src.fmt == PixFmt::R565) {
        lut_.resize(65536);
        for (uint32_t v = 0; v < 65536; ++v) lut_[v] = encodeExact(dst, decodePixel(src, v));
        mode_ = Mode::Lut;
    }
}

uint32_t Converter::one(uint32_t v) const {
    switch (mode_) {
    case Mode::Identity: return v;
    case Mode::Lut: return v < lut_.size() ? lut_[v] : lut_[0];
    case Mode::ToMono: return v == monoBk_ ? 1u : 0u;
    case Mode::DirectToPaletted: {
        Rgb c = decodePixel(*src_, v);
        if (!bucket_) return encodeExact(*dst_, c);
        return (*bucket_)[((uint32_t)(c.r >> 3) << 10) | ((uint32_t)(c.g >> 3) << 5) | (c.b >> 3)];
    }
    case Mode::DirectToDirect: return encodeExact(*dst_, decodePixel(*src_, v));
    }
    return v;
}

void Converter::convert(const uint32_t *in, int n, uint32_t *out) const {
    switch (mode_) {
    case Mode::Identity:
        if (in != out)
            for (int i = 0; i < n; ++i) out[i] = in[i];
        return;
    case Mode::Lut: {
        const uint32_t *l = lut_.data();
        size_t size = lut_.size();
        for (int i = 0; i < n; ++i) out[i] = in[i] < size ? l[in[i]] : l[0];
        return;
    }
    case Mode::DirectToDirect:
        if ((src_->fmt == PixFmt::R24 || src_->fmt == PixFmt::R32) &&
            (dst_->fmt == PixFmt::R24 || dst_->fmt == PixFmt::R32)) {
            for (int i = 0; i < n; ++i) out[i] = in[i] & 0xFFFFFF;
            return;
        }
        for (int i = 0; i < n; ++i) out[i] = one(in[i]);
        return;
    default:
        for (int i = 0; i < n; ++i) out[i] = one(in[i]);
        return;
    }
}

} // namespace qvt::gdi
