// Pixel formats: reading and writing pixel values, and the mapping between
// pixel values and colours.
#include <atomic>
#include <cstring>
#include <map>

#include "gdi_internal.h"

namespace qvt::gdi {

int bitsOf(PixFmt f) {
    switch (f) {
    case PixFmt::P1: return 1;
    case PixFmt::P4: return 4;
    case PixFmt::P8: return 8;
    case PixFmt::R555:
    case PixFmt::R565: return 16;
    case PixFmt::R24: return 24;
    case PixFmt::R32: return 32;
    }
    return 32;
}

uint32_t valueMask(PixFmt f) {
    switch (f) {
    case PixFmt::P1: return 0x1;
    case PixFmt::P4: return 0xF;
    case PixFmt::P8: return 0xFF;
    case PixFmt::R555:
    case PixFmt::R565: return 0xFFFF;
    case PixFmt::R24: return 0xFFFFFF;
    case PixFmt::R32: return 0xFFFFFFFF;
    }
    return 0xFFFFFFFF;
}

void Surface::setColors(std::vector<Rgb> c) {
    static std::atomic<uint64_t> counter{1};
    colors = std::move(c);
    colorsVersion = counter++;
}

uint32_t readPixel(const Surface &s, int x, int y) {
    const uint8_t *r = s.row(y);
    switch (s.fmt) {
    case PixFmt::P1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case PixFmt::P4: return (x & 1) ? (r[x >> 1] & 0xF) : (r[x >> 1] >> 4);
    case PixFmt::P8: return r[x];
    case PixFmt::R555:
    case PixFmt::R565: return (uint32_t)r[2 * x] | ((uint32_t)r[2 * x + 1] << 8);
    case PixFmt::R24: return (uint32_t)r[3 * x] | ((uint32_t)r[3 * x + 1] << 8) | ((uint32_t)r[3 * x + 2] << 16);
    case PixFmt::R32: {
        uint32_t v;
        std::memcpy(&v, r + 4 * x, 4);
        return v;
    }
    }
    return 0;
}

void writePixel(Surface &s, int x, int y, uint32_t v) {
    uint8_t *r = s.row(y);
    switch (s.fmt) {
    case PixFmt::P1: {
        uint8_t bit = (uint8_t)(0x80 >> (x & 7));
        r[x >> 3] = (v & 1) ? (r[x >> 3] | bit) : (r[x >> 3] & ~bit);
        break;
    }
    case PixFmt::P4:
        if (x & 1)
            r[x >> 1] = (uint8_t)((r[x >> 1] & 0xF0) | (v & 0xF));
        else
            r[x >> 1] = (uint8_t)((r[x >> 1] & 0x0F) | ((v & 0xF) << 4));
        break;
    case PixFmt::P8: r[x] = (uint8_t)v; break;
    case PixFmt::R555:
    case PixFmt::R565:
        r[2 * x] = (uint8_t)v;
        r[2 * x + 1] = (uint8_t)(v >> 8);
        break;
    case PixFmt::R24:
        r[3 * x] = (uint8_t)v;
        r[3 * x + 1] = (uint8_t)(v >> 8);
        r[3 * x + 2] = (uint8_t)(v >> 16);
        break;
    case PixFmt::R32: std::memcpy(r + 4 * x, &v, 4); break;
    }
}

void readRow(const Surface &s, int x, int y, int n, uint32_t *out) {
    const uint8_t *r = s.row(y);
    switch (s.fmt) {
    case PixFmt::P8:
        for (int i = 0; i < n; ++i) out[i] = r[x + i];
        return;
    case PixFmt::R555:
    case PixFmt::R565: {
        const uint8_t *p = r + 2 * x;
        for (int i = 0; i < n; ++i) out[i] = (uint32_t)p[2 * i] | ((uint32_t)p[2 * i + 1] << 8);
        return;
    }
    case PixFmt::R24: {
        const uint8_t *p = r + 3 * x;
        for (int i = 0; i < n; ++i)
            out[i] = (uint32_t)p[3 * i] | ((uint32_t)p[3 * i + 1] << 8) | ((uint32_t)p[3 * i + 2] << 16);
        return;
    }
    case PixFmt::R32: std::memcpy(out, r + 4 * x, (size_t)n * 4); return;
    default:
        for (int i = 0; i < n; ++i) out[i] = readPixel(s, x + i, y);
        return;
    }
}

void writeRow(Surface &s, int x, int y, int n, const uint32_t *in) {
    uint8_t *r = s.row(y);
    switch (s.fmt) {
    case PixFmt::P8:
        for (int i = 0; i < n; ++i) r[x + i] = (uint8_t)in[i];
        return;
    case PixFmt::R555:
    case PixFmt::R565: {
        uint8_t *p = r + 2 * x;
        for (int i = 0; i < n; ++i) {
            p[2 * i] = (uint8_t)in[i];
            p[2 * i + 1] = (uint8_t)(in[i] >> 8);
        }
        return;
    }
    case PixFmt::R24: {
        uint8_t *p = r + 3 * x;
        for (int i = 0; i < n; ++i) {
            p[3 * i] = (uint8_t)in[i];
            p[3 * i + 1] = (uint8_t)(in[i] >> 8);
            p[3 * i + 2] = (uint8_t)(in[i] >> 16);
        }
        return;
    }
    case PixFmt::R32: std::memcpy(r + 4 * x, in, (size_t)n * 4); return;
    default:
        for (int i = 0; i < n; ++i) writePixel(s, x + i, y, in[i]);
        return;
    }
}

static inline uint8_t expand5(uint32_t v) { return (uint8_t)((v << 3) | (v >> 2)); }
static inline uint8_t expand6(uint32_t v) { return (uint8_t)((v << 2) | (v >> 4)); }

Rgb decodePixel(const Surface &s, uint32_t v) {
    switch (s.fmt) {
    case PixFmt::P1:
    case PixFmt::P4:
    case PixFmt::P8:
        if (s.monoDDB) return (v & 1) ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
        if (v < s.colors.size()) return s.colors[v];
        return s.colors.empty() ? Rgb{} : s.colors[0];
    case PixFmt::R555: return Rgb{expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31)};
    case PixFmt::R565: return Rgb{expand5((v >> 11) & 31), expand6((v >> 5) & 63), expand5(v & 31)};
    case PixFmt::R24:
    case PixFmt::R32: return Rgb{(uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
    }
    return Rgb{};
}

static uint32_t encodeDirect(PixFmt f, Rgb c) {
    switch (f) {
    case PixFmt::R555: return ((uint32_t)(c.r >> 3) << 10) | ((uint32_t)(c.g >> 3) << 5) | (c.b >> 3);
    case PixFmt::R565: return ((uint32_t)(c.r >> 3) << 11) | ((uint32_t)(c.g >> 2) << 5) | (c.b >> 3);
    default: return ((uint32_t)c.r << 16) | ((uint32_t)c.g << 8) | c.b;
    }
}

int nearestIndex(const std::vector<Rgb> &table, Rgb c) {
    int best = 0;
    int bestDist = 0x7FFFFFFF;
    for (size_t i = 0; i < table.size(); ++i) {
        int dr = (int)table[i].r - c.r, dg = (int)table[i].g - c.g, db = (int)table[i].b - c.b;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = (int)i;
            if (d == 0) break;
        }
    }
    return best;
}

uint32_t encodeExact(const Surface &s, Rgb c) {
    if (!isPaletted(s.fmt)) return encodeDirect(s.fmt, c);
    if (s.monoDDB) return nearestIndex({Rgb{0, 0, 0}, Rgb{255, 255, 255}}, c);
    return (uint32_t)nearestIndex(s.colors, c);
}

std::shared_ptr<const std::vector<uint8_t>> bucketTable(const std::vector<Rgb> &table) {
    // Tables are few (the system palette, a grey ramp, a bitmap's palette), so
    // a small cache keyed by the table's contents saves rebuilding per blit.
    static std::mutex m;
    static std::map<std::vector<uint8_t>, std::shared_ptr<const std::vector<uint8_t>>> cache;
    std::vector<uint8_t> key;
    key.reserve(table.size() * 3);
    for (const Rgb &c : table) {
        key.push_back(c.r);
        key.push_back(c.g);
        key.push_back(c.b);
    }
    std::lock_guard<std::mutex> g(m);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    auto lut = std::make_shared<std::vector<uint8_t>>(32768);
    for (uint32_t i = 0; i < 32768; ++i) {
        Rgb centre{(uint8_t)(((i >> 10) & 31) * 8 + 4), (uint8_t)(((i >> 5) & 31) * 8 + 4), (uint8_t)((i & 31) * 8 + 4)};
        (*lut)[i] = (uint8_t)nearestIndex(table, centre);
    }
    if (cache.size() > 32) cache.clear();
    cache.emplace(std::move(key), lut);
    return lut;
}

uint32_t encodeBlit(const Surface &s, Rgb c) {
    if (!isPaletted(s.fmt)) return encodeDirect(s.fmt, c);
    // 1- and 4-bit tables are matched by the exact colour, 8-bit ones by the
    // centre of the colour's 5-bit bucket.
    if (s.fmt != PixFmt::P8 || s.monoDDB) return encodeExact(s, c);
    Rgb centre{(uint8_t)((c.r >> 3) * 8 + 4), (uint8_t)((c.g >> 3) * 8 + 4), (uint8_t)((c.b >> 3) * 8 + 4)};
    if (s.monoDDB) return nearestIndex({Rgb{0, 0, 0}, Rgb{255, 255, 255}}, centre);
    return (uint32_t)nearestIndex(s.colors, centre);
}

} // namespace qvt::gdi
