// The BMP decoder and encoder. Every field is read with an explicit
// little-endian load at a checked offset, and all offset and size arithmetic
// is done in 64 bits, so no input can make the decoder read or write outside
// its buffers.
#include "bmp_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "qvt/rtl/exceptions.h"

namespace qvt::rtl::bmp {

namespace {

constexpr uint16_t kSignature = 0x4D42; // "BM"
constexpr uint64_t kFileHeaderSize = 14;

// How many pixels one byte of run-length data may stand for. A run codes at
// most 255 pixels in two bytes and an end of line fills the rest of a row
// in two, so 4096 admits rows of 8192 pixels left blank by their end of
// line, and far more skipped pixels than encoders write; a picture claiming
// more cannot come from the data present. Small pictures are admitted
// whatever their data: their buffer costs nothing.
constexpr uint64_t kMaxRlePixelsPerByte = 4096;
constexpr uint64_t kRlePixelsAlwaysAdmitted = 65536;

[[noreturn]] void Invalid() { throw EInvalidGraphic(); }
[[noreturn]] void Short() { throw EReadError(); }

// Bounds-checked little-endian loads; reading past the end is a short read.
class Bytes {
public:
    Bytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint64_t size() const { return size_; }
    uint8_t U8(uint64_t off) const {
        Need(off, 1);
        return data_[off];
    }
    uint16_t U16(uint64_t off) const {
        Need(off, 2);
        return static_cast<uint16_t>(data_[off] | (data_[off + 1] << 8));
    }
    uint32_t U32(uint64_t off) const {
        Need(off, 4);
        return static_cast<uint32_t>(data_[off]) | (static_cast<uint32_t>(data_[off + 1]) << 8) |
               (static_cast<uint32_t>(data_[off + 2]) << 16) | (static_cast<uint32_t>(data_[off + 3]) << 24);
    }
    int32_t I32(uint64_t off) const { return static_cast<int32_t>(U32(off)); }
    const uint8_t *At(uint64_t off, uint64_t count) const {
        Need(off, count);
        return data_ + off;
    }
    void Need(uint64_t off, uint64_t count) const {
        if (off > size_ || count > size_ - off) Short();
    }

private:
    const uint8_t *data_;
    uint64_t size_;
};

struct Header {
    uint64_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0; // absolute value
    bool topDown = false;
    unsigned bits = 0;
    uint32_t compression = BI_RGB;
    uint32_t sizeImage = 0;
    uint64_t colours = 0;  // colour table entries in the file
    uint64_t entrySize = 4; // 3 for the core header
    uint32_t masks[3] = {0, 0, 0};
    uint64_t tableOffset = 0;
};

bool IsContiguous(uint32_t mask) {
    if (mask == 0) return false;
    const uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

void CheckMasks(const Header &h) {
    for (uint32_t m : h.masks)
        if (!IsContiguous(m) || (h.bits == 16 && m > 0xFFFF)) Invalid();
    if ((h.masks[0] & h.masks[1]) || (h.masks[0] & h.masks[2]) || (h.masks[1] & h.masks[2])) Invalid();
}

Header ReadHeader(const Bytes &in) {
    Header h;
    h.headerSize = in.U32(kFileHeaderSize);
    switch (h.headerSize) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 108:
    case 124: break;
    default: Invalid();
    }
    in.Need(kFileHeaderSize, h.headerSize);
    const uint64_t at = kFileHeaderSize;
    unsigned planes = 0;
    uint32_t clrUsed = 0;
    if (h.headerSize == 12) {
        h.width = in.U16(at + 4);
        h.height = in.U16(at + 6);
        planes = in.U16(at + 8);
        h.bits = in.U16(at + 10);
        h.entrySize = 3;
        if (h.height == 0) Invalid();
    } else {
        h.width = in.I32(at + 4);
        const int32_t height = in.I32(at + 8);
        if (height == 0 || height == std::numeric_limits<int32_t>::min()) Invalid();
        h.topDown = height < 0;
        h.height = height < 0 ? -static_cast<int64_t>(height) : height;
        planes = in.U16(at + 12);
        h.bits = in.U16(at + 14);
        h.compression = in.U32(at + 16);
        h.sizeImage = in.U32(at + 20);
        clrUsed = in.U32(at + 32);
    }
    if (h.width < 1 || h.width > kMaxDimension || h.height > kMaxDimension || h.width * h.height > kMaxPixels) Invalid();
    if (planes != 1) Invalid();
    switch (h.bits) {
    case 1:
    case 4:
    case 8:
    case 24: break;
    case 16:
    case 32:
        if (h.headerSize == 12) Invalid();
        break;
    default: Invalid();
    }
    switch (h.compression) {
    case BI_RGB: break;
    case BI_RLE8:
        if (h.bits != 8 || h.topDown) Invalid();
        break;
    case BI_RLE4:
        if (h.bits != 4 || h.topDown) Invalid();
        break;
    case BI_BITFIELDS:
        if (h.bits != 16 && h.bits != 32) Invalid();
        break;
    default: Invalid();
    }
    if (h.bits <= 8) {
        const uint64_t max = uint64_t(1) << h.bits;
        if (clrUsed > max) Invalid();
        h.colours = clrUsed ? clrUsed : max;
    } else {
        if (clrUsed > 256) Invalid(); // an optional table, skipped
        h.colours = clrUsed;
    }
    h.tableOffset = kFileHeaderSize + h.headerSize;
    if (h.compression == BI_BITFIELDS) {
        // A 40-byte header is followed by the three masks; larger headers
        // hold them at offsets 40, 44 and 48.
        const uint64_t maskAt = h.headerSize == 40 ? h.tableOffset : kFileHeaderSize + 40;
        for (int i = 0; i < 3; ++i) h.masks[i] = in.U32(maskAt + 4 * static_cast<uint64_t>(i));
        if (h.headerSize == 40) h.tableOffset += 12;
        CheckMasks(h);
    }
    return h;
}

// Whether bit-field masks are those of a DIB format (5-5-5, 5-6-5 or 8-8-8).
bool HasDibMasks(const Header &h) {
    const auto is = [&](uint32_t r, uint32_t g, uint32_t b) { return h.masks[0] == r && h.masks[1] == g && h.masks[2] == b; };
    return h.bits == 16 ? is(0x7C00, 0x03E0, 0x001F) || is(0xF800, 0x07E0, 0x001F) : is(0xFF0000, 0x00FF00, 0x0000FF);
}

TPixelFormat OutputFormat(const Header &h) {
    switch (h.bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
        if (h.compression != BI_BITFIELDS || (h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F))
            return pf15bit;
        if (h.masks[0] == 0xF800 && h.masks[1] == 0x07E0 && h.masks[2] == 0x001F) return pf16bit;
        return pf32bit; // other masks: decoded to 8 bits per channel
    case 24: return pf24bit;
    default: return pf32bit;
    }
}

// Channel value of a masked field, scaled to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) return static_cast<uint8_t>(v >> (width - 8));
    const uint32_t max = (1u << width) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

uint8_t GetIndex(const uint8_t *row, int64_t x, unsigned bits) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
    }
}

void PutIndex(uint8_t *row, int64_t x, unsigned bits, unsigned v) {
    switch (bits) {
    case 1: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>(v ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        break;
    }
    case 4:
        row[x >> 1] = (x & 1) ? static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F))
                              : static_cast<uint8_t>((row[x >> 1] & 0x0F) | (v << 4));
        break;
    default: row[x] = static_cast<uint8_t>(v);
    }
}

void DecodeUncompressed(const Bytes &in, uint64_t offset, const Header &h, Decoded &out) {
    const uint64_t inStride = ((static_cast<uint64_t>(h.width) * h.bits + 31) / 32) * 4;
    const uint8_t *src = in.At(offset, inStride * static_cast<uint64_t>(h.height));
    const unsigned outBits = static_cast<unsigned>(PixelFormatBits(out.format));
    const uint64_t outStride = static_cast<uint64_t>(BytesPerScanLine(out.width, static_cast<int>(outBits)));
    const bool remap = h.bits <= 8 && out.table.size() < (size_t(1) << h.bits);
    const bool decodeMasks = h.compression == BI_BITFIELDS && !HasDibMasks(h);
    for (int64_t r = 0; r < h.height; ++r) {
        const uint8_t *s = src + static_cast<uint64_t>(r) * inStride;
        uint8_t *d = out.pixels.data() + static_cast<uint64_t>(h.topDown ? h.height - 1 - r : r) * outStride;
        if (decodeMasks) {
            // Bit fields other than the DIB formats' own: to B, G, R, 0.
            for (int64_t x = 0; x < h.width; ++x) {
                uint32_t px = 0;
                if (h.bits == 16)
                    px = static_cast<uint32_t>(s[2 * x] | (s[2 * x + 1] << 8));
                else
                    std::memcpy(&px, s + 4 * x, 4); // little-endian host
                d[4 * x + 0] = Channel(px, h.masks[2]);
                d[4 * x + 1] = Channel(px, h.masks[1]);
                d[4 * x + 2] = Channel(px, h.masks[0]);
                d[4 * x + 3] = 0;
            }
        } else {
            std::memcpy(d, s, inStride);
            if (remap) {
                // Indices past the table are undefined by the format: index 0.
                for (int64_t x = 0; x < h.width; ++x)
                    if (GetIndex(d, x, h.bits) >= out.table.size()) PutIndex(d, x, h.bits, 0);
            }
        }
    }
}

void DecodeRle(const Bytes &in, uint64_t offset, const Header &h, Decoded &out) {
    const uint64_t available = in.size() - offset;
    const uint64_t end = offset + (h.sizeImage ? std::min<uint64_t>(h.sizeImage, available) : available);
    const uint64_t stride = static_cast<uint64_t>(BytesPerScanLine(out.width, static_cast<int>(h.bits)));
    const bool rle8 = h.compression == BI_RLE8;
    const size_t colours = out.table.size();
    int64_t x = 0, y = 0; // y counts rows in file order, bottom row first
    uint64_t pos = offset;
    const auto take = [&](uint64_t n) {
        if (end - pos < n) Short();
        const uint64_t at = pos;
        pos += n;
        return in.At(at, n);
    };
    const auto put = [&](unsigned index) {
        uint8_t *row = out.pixels.data() + static_cast<uint64_t>(y) * stride;
        PutIndex(row, x++, h.bits, index < colours ? index : 0);
    };
    const auto checkRun = [&](int64_t n) {
        if (y >= h.height || x + n > h.width) Invalid();
    };
    while (pos < end) {
        const uint8_t *pair = take(2);
        const unsigned count = pair[0], value = pair[1];
        if (count > 0) {
            checkRun(count);
            for (unsigned i = 0; i < count; ++i) put(rle8 ? value : ((i & 1) ? value & 0x0F : value >> 4));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            if (++y > h.height) Invalid();
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            const uint8_t *d = take(2);
            x += d[0];
            y += d[1];
            if (x > h.width || y > h.height) Invalid();
        } else { // absolute run of `value` pixels, padded to an even byte count
            const uint64_t bytes = rle8 ? value : (value + 1) / 2;
            checkRun(value);
            const uint8_t *src = take(bytes);
            for (unsigned i = 0; i < value; ++i) put(rle8 ? src[i] : ((i & 1) ? src[i / 2] & 0x0F : src[i / 2] >> 4));
            if ((bytes & 1) && pos < end) ++pos;
        }
    }
}

} // namespace

Decoded Decode(const uint8_t *data, size_t size) {
    const Bytes in(data, size);
    in.Need(0, kFileHeaderSize);
    if (in.U16(0) != kSignature) Invalid();
    const uint32_t offBits = in.U32(10);
    const Header h = ReadHeader(in);

    const uint64_t tableEnd = h.tableOffset + h.colours * h.entrySize;
    in.Need(0, tableEnd);
    // A zero offset (written by some tools) means the pixels follow the table.
    const uint64_t pixelOffset = offBits ? offBits : tableEnd;
    if (tableEnd > pixelOffset) Invalid();
    if (pixelOffset >= in.size()) Short();

    Decoded out;
    out.width = static_cast<int>(h.width);
    out.height = static_cast<int>(h.height);
    out.format = OutputFormat(h);
    if (h.bits <= 8) {
        out.table.resize(static_cast<size_t>(h.colours));
        for (uint64_t i = 0; i < h.colours; ++i) {
            const uint8_t *e = in.At(h.tableOffset + i * h.entrySize, 3);
            out.table[static_cast<size_t>(i)] = RGBQUAD{e[0], e[1], e[2], 0};
        }
    }
    const bool rle = h.compression == BI_RLE4 || h.compression == BI_RLE8;
    if (rle) {
        const uint64_t available = in.size() - pixelOffset;
        const uint64_t data = h.sizeImage ? std::min<uint64_t>(h.sizeImage, available) : available;
        const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
        if (pixels > kRlePixelsAlwaysAdmitted && pixels / kMaxRlePixelsPerByte >= data) Invalid();
    }
    if (!rle) in.Need(pixelOffset, ((static_cast<uint64_t>(h.width) * h.bits + 31) / 32) * 4 * h.height);
    const uint64_t outStride = static_cast<uint64_t>(BytesPerScanLine(out.width, PixelFormatBits(out.format)));
    out.pixels.assign(static_cast<size_t>(outStride * h.height), 0);
    if (rle)
        DecodeRle(in, pixelOffset, h, out);
    else
        DecodeUncompressed(in, pixelOffset, h, out);
    return out;
}

namespace {

void Put16(std::vector<uint8_t> &b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t> &b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

void Encode(TStream &out, int width, int height, TPixelFormat format, std::span<const RGBQUAD> table,
            const uint8_t *bottomUpRows) {
    const int bits = PixelFormatBits(format);
    if (bits == 0 || width <= 0 || height <= 0) throw EInvalidGraphic(messages::kInvalidPixelFormat);
    const uint64_t stride = static_cast<uint64_t>(BytesPerScanLine(width, bits));
    const uint64_t imageSize = stride * static_cast<uint64_t>(height);
    const bool paletted = bits <= 8;
    const bool bitfields = format == pf16bit;
    const uint64_t tableBytes = paletted ? table.size() * 4 : 0;
    const uint64_t offBits = kFileHeaderSize + 40 + (bitfields ? 12 : 0) + tableBytes;
    if (offBits + imageSize > std::numeric_limits<uint32_t>::max()) throw EInvalidGraphic();

    std::vector<uint8_t> head;
    head.reserve(static_cast<size_t>(offBits));
    Put16(head, kSignature);
    Put32(head, static_cast<uint32_t>(offBits + imageSize));
    Put32(head, 0); // two reserved words
    Put32(head, static_cast<uint32_t>(offBits));
    Put32(head, 40);
    Put32(head, static_cast<uint32_t>(width));
    Put32(head, static_cast<uint32_t>(height)); // bottom-up
    Put16(head, 1);
    Put16(head, static_cast<uint16_t>(bits));
    Put32(head, bitfields ? BI_BITFIELDS : BI_RGB);
    Put32(head, static_cast<uint32_t>(imageSize));
    Put32(head, 0); // pixels per metre
    Put32(head, 0);
    Put32(head, paletted ? static_cast<uint32_t>(table.size()) : 0);
    Put32(head, 0);
    if (bitfields) {
        Put32(head, 0xF800);
        Put32(head, 0x07E0);
        Put32(head, 0x001F);
    }
    if (paletted)
        for (const RGBQUAD &q : table) {
            head.push_back(q.rgbBlue);
            head.push_back(q.rgbGreen);
            head.push_back(q.rgbRed);
            head.push_back(0);
        }
    out.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    out.WriteBuffer(bottomUpRows, static_cast<int64_t>(imageSize));
}

} // namespace qvt::rtl::bmp
