// BMP files: round trips of every format, every header kind and compression,
// the "Data" envelope, a table of malformed files, and truncated or
// corrupted files that must fail cleanly.
#include <functional>
#include <optional>
#include <random>
#include <utility>

#include "bitmap_test_support.h"
#include "runtime_test_support.h"

using namespace qvt::rtl;
using namespace qvt::test;

namespace {

class BmpFileTest : public GdiLeakCheck {};

// Builds BMP files field by field, valid by default: 8 bits, 4 x 2, a
// 4-entry grey table, uncompressed.
struct BmpBuilder {
    uint16_t type = 0x4D42;
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 2;
    uint16_t planes = 1;
    uint16_t bits = 8;
    uint32_t compression = BI_RGB;
    uint32_t sizeImage = 0;
    std::optional<uint32_t> clrUsed; // default: the table's size
    std::vector<uint32_t> masks;     // after a 40-byte header, inside larger ones
    std::vector<RGBQUAD> table = {{0, 0, 0, 0}, {85, 85, 85, 0}, {170, 170, 170, 0}, {255, 255, 255, 0}};
    std::optional<uint32_t> offBits; // default: right after the table
    std::vector<uint8_t> pixels = {0, 1, 2, 3, 3, 2, 1, 0};

    // Pixels of bitCount bits under bit-field masks, with no colour table.
    BmpBuilder &BitFields(uint16_t bitCount, std::vector<uint32_t> bitMasks) {
        bits = bitCount;
        compression = BI_BITFIELDS;
        masks = std::move(bitMasks);
        table.clear();
        return *this;
    }

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> f;
        const auto u16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
        const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
        u16(type);
        u32(0); // file size, patched below
        u32(0);
        u32(0); // pixel offset, patched below
        const size_t header = f.size();
        u32(headerSize);
        if (headerSize == 12) {
            u16(uint32_t(width)), u16(uint32_t(height)), u16(planes), u16(bits);
        } else {
            u32(uint32_t(width)), u32(uint32_t(height)), u16(planes), u16(bits), u32(compression), u32(sizeImage);
            u32(2835), u32(2835), u32(clrUsed.value_or(uint32_t(table.size()))), u32(0);
            if (headerSize > 40) {
                for (size_t i = 0; i < 3; ++i) u32(i < masks.size() ? masks[i] : 0);
                while (f.size() < header + headerSize) f.push_back(0);
            }
        }
        f.resize(std::max(f.size(), header + headerSize), 0);
        if (headerSize == 40)
            for (uint32_t m : masks) u32(m);
        for (const RGBQUAD &q : table) {
            f.push_back(q.rgbBlue), f.push_back(q.rgbGreen), f.push_back(q.rgbRed);
            if (headerSize != 12) f.push_back(0);
        }
        const uint32_t off = offBits.value_or(uint32_t(f.size()));
        if (f.size() < off) f.resize(off, 0);
        f.insert(f.end(), pixels.begin(), pixels.end());
        const auto patch = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
        };
        patch(2, uint32_t(f.size()));
        patch(10, off);
        return f;
    }
};

void Load(TBitmap &b, const std::vector<uint8_t> &file) {
    TReadOnlyMemoryStream s(file.data(), file.size());
    b.LoadFromStream(s);
}

std::vector<uint8_t> Save(const TBitmap &b) {
    TMemoryStream s;
    b.SaveToStream(s);
    const auto *p = static_cast<const uint8_t *>(s.Memory());
    return {p, p + s.Size()};
}

// Raw values of one row, from the left.
std::vector<uint32_t> Row(TBitmap &b, int y) {
    std::vector<uint32_t> r;
    for (int x = 0; x < b.Width(); ++x) r.push_back(RawPixel(b, x, y));
    return r;
}

TEST_F(BmpFileTest, EveryFormatSurvivesASaveAndLoad) {
    for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        for (bool customPalette : {false, true}) {
            if (customPalette && PixelFormatBits(f) > 8) continue;
            SCOPED_TRACE(testing::Message() << kPixelFormatNames[f] << (customPalette ? " with a 2-grey palette" : ""));
            TBitmap a;
            a.SetPixelFormat(f);
            if (customPalette) a.SetPalette(GreyPalette(2));
            a.SetSize(7, 5);
            const int stride = BytesPerScanLine(7, PixelFormatBits(f));
            const size_t entries = a.ColorTable().size();
            // Any bytes, padding included; with the 2-entry palette only
            // indices 0 and 1 may occur.
            const uint8_t keep = !customPalette || f == pf1bit ? 0xFF : f == pf4bit ? 0x11 : 0x01;
            for (int y = 0; y < 5; ++y) {
                auto *row = static_cast<uint8_t *>(a.ScanLine(y));
                for (int i = 0; i < stride; ++i) row[i] = uint8_t((y * 31 + i * 7 + 1) & keep);
            }
            const std::vector<uint8_t> file = Save(a);
            ASSERT_GE(file.size(), 54u);
            EXPECT_EQ(file[0], 'B');
            EXPECT_EQ(file[1], 'M');
            TBitmap b;
            Load(b, file);
            EXPECT_EQ(b.PixelFormat(), f);
            EXPECT_EQ(b.Width(), 7);
            EXPECT_EQ(b.Height(), 5);
            ASSERT_EQ(b.ColorTable().size(), a.ColorTable().size());
            for (size_t i = 0; i < a.ColorTable().size(); ++i) EXPECT_TRUE(b.ColorTable()[i] == a.ColorTable()[i]) << i;
            EXPECT_EQ(b.Palette() != nullptr, entries > 0) << "paletted pictures get a palette of their table";
            for (int y = 0; y < 5; ++y)
                EXPECT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(stride))) << "row " << y;
            EXPECT_EQ(Save(b), file);
        }
    }
}

TEST_F(BmpFileTest, DeviceBitmapsAreSavedInTheDisplaysFormat) {
    TBitmap a;
    a.SetSize(3, 2);
    a.Canvas().SetPixels(2, 1, clRed);
    TBitmap b;
    Load(b, Save(a));
    EXPECT_EQ(b.PixelFormat(), DevicePixelFormat());
    EXPECT_EQ(b.Canvas().Pixels(2, 1), clRed);
    EXPECT_EQ(b.Canvas().Pixels(0, 0), clBlack);
    EXPECT_TRUE(Save(TBitmap()).empty()) << "an empty bitmap writes nothing";
}

TEST_F(BmpFileTest, ReadsEveryHeaderKind) {
    // Core header: 3-byte table entries, 16-bit sizes.
    BmpBuilder core;
    core.headerSize = 12;
    core.table.resize(256);
    core.table[3] = RGBQUAD{9, 8, 7, 0};
    TBitmap b;
    Load(b, core.Build());
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(Row(b, 1), (std::vector<uint32_t>{0, 1, 2, 3})) << "first file row is the bottom row";
    EXPECT_EQ(b.Canvas().Pixels(3, 1), RGB(7, 8, 9));

    // V2, V3, V4 and V5 headers with 5-6-5 masks inside the header.
    for (uint32_t size : {52u, 56u, 108u, 124u}) {
        SCOPED_TRACE(size);
        BmpBuilder v;
        v.headerSize = size;
        v.BitFields(16, {0xF800, 0x07E0, 0x001F});
        v.width = 2;
        v.height = 1;
        v.pixels = {0x00, 0xF8, 0xE0, 0x07};
        Load(b, v.Build());
        EXPECT_EQ(b.PixelFormat(), pf16bit);
        EXPECT_EQ(b.Canvas().Pixels(0, 0), clRed);
        EXPECT_EQ(b.Canvas().Pixels(1, 0), clLime);
    }

    // 40-byte header with masks after it; 5-5-5 masks give pf15bit.
    BmpBuilder m;
    m.BitFields(16, {0x7C00, 0x03E0, 0x001F});
    m.width = 1;
    m.height = 1;
    m.pixels = {0x00, 0x7C, 0, 0};
    Load(b, m.Build());
    EXPECT_EQ(b.PixelFormat(), pf15bit);
    EXPECT_EQ(b.Canvas().Pixels(0, 0), clRed);
}

TEST_F(BmpFileTest, OtherBitFieldsAreScaledToEightBitsPerChannel) {
    BmpBuilder m; // 4-4-4 in 16 bits: 0x0F00 red, 0x00F0 green, 0x000F blue
    m.BitFields(16, {0x0F00, 0x00F0, 0x000F});
    m.width = 2;
    m.height = 1;
    m.pixels = {0x00, 0x0F, 0x18, 0x00};
    TBitmap b;
    Load(b, m.Build());
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_EQ(RawPixel(b, 0, 0), 0xFF0000u);
    EXPECT_EQ(RawPixel(b, 1, 0), 0x001188u); // green 1 -> 17, blue 8 -> 136

    BmpBuilder wide; // 10-10-10 in 32 bits keeps the top 8 bits
    wide.BitFields(32, {0x3FF00000, 0x000FFC00, 0x000003FF});
    wide.width = 1;
    wide.height = 1;
    const uint32_t px = (0x3FFu << 20) | (0x200u << 10) | 0x004u;
    wide.pixels = {uint8_t(px), uint8_t(px >> 8), uint8_t(px >> 16), uint8_t(px >> 24)};
    Load(b, wide.Build());
    EXPECT_EQ(RawPixel(b, 0, 0), 0xFF8001u);
}

TEST_F(BmpFileTest, TopDownFilesAndLayoutDetails) {
    BmpBuilder td;
    td.height = -2;
    TBitmap b;
    Load(b, td.Build());
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(Row(b, 0), (std::vector<uint32_t>{0, 1, 2, 3})) << "first file row is the top row";
    EXPECT_EQ(Row(b, 1), (std::vector<uint32_t>{3, 2, 1, 0}));

    // Indices past a short table are undefined by the format: index 0.
    BmpBuilder shortTable;
    shortTable.table.resize(2);
    Load(b, shortTable.Build());
    EXPECT_EQ(b.ColorTable().size(), 2u);
    EXPECT_EQ(Row(b, 1), (std::vector<uint32_t>{0, 1, 0, 0}));

    // A zero pixel offset means right after the table; a gap before the
    // pixels and an optional table of a 24-bit file are skipped.
    BmpBuilder zero;
    zero.offBits = 0;
    Load(b, zero.Build());
    EXPECT_EQ(Row(b, 0), (std::vector<uint32_t>{3, 2, 1, 0}));

    BmpBuilder gap;
    gap.bits = 24;
    gap.width = 1;
    gap.height = 1;
    gap.table.resize(3, RGBQUAD{1, 2, 3, 0}); // optional table
    gap.offBits = 200;
    gap.pixels = {0x30, 0x20, 0x10, 0};
    Load(b, gap.Build());
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_EQ(RawPixel(b, 0, 0), 0x102030u);
    EXPECT_TRUE(b.ColorTable().empty());
}

// Run-length encoded 8-bit picture, 4 x 3:
//   file row 0: run of two 1s, delta (1, 1) to x 3 of row 1
//   file row 1: a single 9, end of line
//   file row 2: absolute run 5 6 7 (padded), end of bitmap
const std::vector<uint8_t> kRle8 = {2, 1, 0, 2, 1, 1, 1, 9, 0, 0, 0, 3, 5, 6, 7, 0, 0, 1};

TEST_F(BmpFileTest, DecodesRunLengthEncodings) {
    BmpBuilder rle;
    rle.compression = BI_RLE8;
    rle.height = 3;
    rle.table.resize(16);
    rle.pixels = kRle8;
    TBitmap b;
    Load(b, rle.Build());
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(Row(b, 2), (std::vector<uint32_t>{1, 1, 0, 0}));
    EXPECT_EQ(Row(b, 1), (std::vector<uint32_t>{0, 0, 0, 9}));
    EXPECT_EQ(Row(b, 0), (std::vector<uint32_t>{5, 6, 7, 0}));

    // Without the end-of-bitmap mark the data just ends; index 9 past an
    // 8-entry table becomes 0.
    rle.pixels.resize(rle.pixels.size() - 2);
    rle.table.resize(8);
    Load(b, rle.Build());
    EXPECT_EQ(Row(b, 1), (std::vector<uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(Row(b, 0), (std::vector<uint32_t>{5, 6, 7, 0}));

    // RLE4: a run alternates the two nibbles; an absolute run of 3 reads two
    // bytes. biSizeImage limits the data read: the trailing garbage is ignored.
    BmpBuilder rle4;
    rle4.bits = 4;
    rle4.compression = BI_RLE4;
    rle4.width = 7;
    rle4.height = 1;
    rle4.table.resize(16);
    rle4.pixels = {3, 0x12, 0, 3, 0x34, 0x50, 1, 0xF0, 0, 1, 0xEE, 0xEE};
    rle4.sizeImage = 10;
    Load(b, rle4.Build());
    EXPECT_EQ(b.PixelFormat(), pf4bit);
    EXPECT_EQ(Row(b, 0), (std::vector<uint32_t>{1, 2, 1, 3, 4, 5, 15}));
}

// The pictures a transition mask takes are 8-bit paletted files, plain or
// run-length encoded, down to one pixel; other depths load in their own
// format, which a mask then refuses.
TEST_F(BmpFileTest, EightBitPalettedPicturesLoadAsEightBit) {
    std::vector<RGBQUAD> greys(256);
    for (int i = 0; i < 256; ++i) greys[size_t(i)] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    struct Case {
        const char *what;
        std::function<void(BmpBuilder &)> change;
        TPixelFormat format;
        uint32_t first; // raw value at (0, 0), the top-left pixel
    } cases[] = {
        {"1 x 1", [&](auto &b) { b.width = 1, b.height = 1, b.table = greys, b.pixels = {200, 0, 0, 0}; }, pf8bit, 200},
        {"1 x 1 RLE8", [&](auto &b) { b.width = 1, b.height = 1, b.table = greys, b.compression = BI_RLE8, b.pixels = {1, 77, 0, 1}; },
         pf8bit, 77},
        {"RLE8 without its end mark", [&](auto &b) { b.table = greys, b.compression = BI_RLE8, b.pixels = {4, 9, 0, 0, 2, 5}; },
         pf8bit, 5},
        {"top-down, 256 greys", [&](auto &b) { b.height = -2, b.table = greys; }, pf8bit, 0},
        {"4 bits", [](auto &b) { b.bits = 4, b.pixels = {0x12, 0x30, 0, 0, 0x21, 0, 0, 0}; }, pf4bit, 2},
        {"1 bit", [](auto &b) { b.bits = 1, b.table.resize(2), b.pixels = {0x80, 0, 0, 0, 0x40, 0, 0, 0}; }, pf1bit, 0},
        {"24 bits", [](auto &b) { b.bits = 24, b.width = 1, b.height = 1, b.table.clear(), b.pixels = {1, 2, 3, 0}; }, pf24bit,
         0x030201},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BmpBuilder builder;
        c.change(builder);
        TBitmap b;
        Load(b, builder.Build());
        EXPECT_EQ(b.PixelFormat(), c.format);
        EXPECT_EQ(RawPixel(b, 0, 0), c.first);
        if (c.format == pf8bit) {
            // Indices stand for the palette's greys.
            const uint8_t g = uint8_t(c.first);
            EXPECT_EQ(b.Canvas().Pixels(0, 0), RGB(g, g, g));
        }
    }
}

// --- Malformed files ---------------------------------------------------------

enum class Expect { Invalid, Short };

struct MalformedCase {
    const char *what;
    std::function<void(BmpBuilder &)> change;
    Expect expect;
    std::function<void(std::vector<uint8_t> &)> cut = nullptr; // applied to the built bytes
};

BmpBuilder Rle8Builder() {
    BmpBuilder b;
    b.compression = BI_RLE8;
    b.height = 3;
    b.table.resize(16);
    b.pixels = kRle8;
    return b;
}

TEST_F(BmpFileTest, MalformedFilesRaiseTheRightError) {
    const auto none = [](BmpBuilder &) {};
    const auto bitfields = [](BmpBuilder &b, std::vector<uint32_t> masks, uint16_t bits) {
        b.BitFields(bits, std::move(masks)).pixels.assign(16, 0);
    };
    const MalformedCase cases[] = {
        // 1. size and signature
        {"13 bytes", none, Expect::Short, [](auto &f) { f.resize(13); }},
        {"no info header size", none, Expect::Short, [](auto &f) { f.resize(16); }},
        {"not BM", [](auto &b) { b.type = 0x4142; }, Expect::Invalid},
        // 2. header size
        {"header size 41", [](auto &b) { b.headerSize = 41; }, Expect::Invalid},
        {"OS/2 2.x header (16)", [](auto &b) { b.headerSize = 16; }, Expect::Invalid},
        {"OS/2 2.x header (64)", [](auto &b) { b.headerSize = 64; }, Expect::Invalid},
        {"header past the end", none, Expect::Short, [](auto &f) { f.resize(14 + 30); }},
        // 3. dimensions
        {"width 0", [](auto &b) { b.width = 0; }, Expect::Invalid},
        {"negative width", [](auto &b) { b.width = -4; }, Expect::Invalid},
        {"height 0", [](auto &b) { b.height = 0; }, Expect::Invalid},
        {"height INT32_MIN", [](auto &b) { b.height = INT32_MIN; }, Expect::Invalid},
        {"width 40000", [](auto &b) { b.width = 40000; }, Expect::Invalid},
        {"height -40000", [](auto &b) { b.height = -40000; }, Expect::Invalid},
        {"2^28 + pixels", [](auto &b) { b.width = 20000, b.height = 20000; }, Expect::Invalid},
        {"core width 0", [](auto &b) { b.headerSize = 12, b.width = 0; }, Expect::Invalid},
        // 4, 5. planes and bit counts
        {"2 planes", [](auto &b) { b.planes = 2; }, Expect::Invalid},
        {"2 bits", [](auto &b) { b.bits = 2; }, Expect::Invalid},
        {"0 bits", [](auto &b) { b.bits = 0; }, Expect::Invalid},
        {"64 bits", [](auto &b) { b.bits = 64; }, Expect::Invalid},
        {"core header with 16 bits", [](auto &b) { b.headerSize = 12, b.bits = 16, b.table.clear(); }, Expect::Invalid},
        // 6. compression
        {"RLE8 with 4 bits", [](auto &b) { b.compression = BI_RLE8, b.bits = 4; }, Expect::Invalid},
        {"RLE4 with 8 bits", [](auto &b) { b.compression = BI_RLE4; }, Expect::Invalid},
        {"bit fields with 24 bits", [&](auto &b) { bitfields(b, {0xFF0000, 0xFF00, 0xFF}, 24); }, Expect::Invalid},
        {"bit fields with 8 bits", [](auto &b) { b.compression = BI_BITFIELDS, b.masks = {0xE0, 0x1C, 0x03}; }, Expect::Invalid},
        {"JPEG", [](auto &b) { b.compression = 4; }, Expect::Invalid},
        {"PNG", [](auto &b) { b.compression = 5; }, Expect::Invalid},
        {"unknown compression", [](auto &b) { b.compression = 7; }, Expect::Invalid},
        {"top-down RLE", [](auto &b) { b = Rle8Builder(), b.height = -3; }, Expect::Invalid},
        // 7. colour counts
        {"257 colours at 8 bits", [](auto &b) { b.clrUsed = 257; }, Expect::Invalid},
        {"3 colours at 1 bit", [](auto &b) { b.bits = 1, b.clrUsed = 3; }, Expect::Invalid},
        {"huge optional table", [](auto &b) { b.bits = 24, b.clrUsed = 0x40000000; }, Expect::Invalid},
        // 8. masks
        {"zero mask", [&](auto &b) { bitfields(b, {0xF800, 0, 0x1F}, 16); }, Expect::Invalid},
        {"split mask", [&](auto &b) { bitfields(b, {0xF00F, 0x07E0, 0x0010}, 16); }, Expect::Invalid},
        {"overlapping masks", [&](auto &b) { bitfields(b, {0xF800, 0x0FE0, 0x001F}, 16); }, Expect::Invalid},
        {"mask above 16 bits", [&](auto &b) { bitfields(b, {0x1F0000, 0x07E0, 0x001F}, 16); }, Expect::Invalid},
        {"masks cut off", [&](auto &b) { bitfields(b, {0xF800, 0x07E0, 0x001F}, 16); }, Expect::Short,
         [](auto &f) { f.resize(14 + 40 + 6); }},
        // 9. table placement
        {"table past the pixel offset", [](auto &b) { b.offBits = 14 + 40 + 8; }, Expect::Invalid},
        {"masks past the pixel offset", [&](auto &b) { bitfields(b, {0xF800, 0x07E0, 0x001F}, 16), b.offBits = 14 + 40 + 4; },
         Expect::Invalid},
        {"table past the end", [](auto &b) { b.clrUsed = 256, b.offBits = 14 + 40 + 1024, b.pixels.clear(); }, Expect::Short,
         [](auto &f) { f.resize(14 + 40 + 100); }},
        // 10, 11. pixel data
        {"pixel offset at the end", [](auto &b) { b.pixels.clear(); }, Expect::Short},
        {"pixel offset past the end", [](auto &b) { b.offBits = 5000; }, Expect::Short, [](auto &f) { f.resize(200); }},
        {"one pixel byte short", none, Expect::Short, [](auto &f) { f.pop_back(); }},
        {"huge height, little data", [](auto &b) { b.height = 30000; }, Expect::Short},
        // 12. run-length data
        {"run past the row end", [](auto &b) { b = Rle8Builder(), b.pixels = {5, 1, 0, 1}; }, Expect::Invalid},
        {"absolute run past the row end", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 5, 1, 2, 3, 4, 5, 0}; },
         Expect::Invalid},
        {"delta past the right edge", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 2, 5, 0}; }, Expect::Invalid},
        {"delta past the top", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 2, 0, 4}; }, Expect::Invalid},
        {"pixels after the last row", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 0, 0, 0, 0, 0, 1, 1}; }, Expect::Invalid},
        {"end of line past the top", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 0, 0, 0, 0, 0, 0, 0}; }, Expect::Invalid},
        {"absolute run cut off", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 4, 1, 2}; }, Expect::Short},
        {"delta cut off", [](auto &b) { b = Rle8Builder(), b.pixels = {2, 1, 0, 2, 1}; }, Expect::Short},
        {"half a pair", [](auto &b) { b = Rle8Builder(), b.pixels = {2, 1, 3}; }, Expect::Short},
        {"run after a full row", [](auto &b) { b = Rle8Builder(), b.pixels = {4, 1, 1, 1}; }, Expect::Invalid},
        {"delta to above the top, then a run", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 2, 0, 3, 1, 1}; },
         Expect::Invalid},
        {"absolute run cut by the image size", [](auto &b) { b = Rle8Builder(), b.pixels = {0, 4, 1, 2, 3, 4}, b.sizeImage = 4; },
         Expect::Short},
        {"1 x 1 with no pixel byte", [](auto &b) { b.width = 1, b.height = 1, b.pixels.clear(); }, Expect::Short,
         [](auto &f) { f.push_back(0); }},
        {"RLE4 run past the row end", [](auto &b) { b = Rle8Builder(), b.bits = 4, b.compression = BI_RLE4, b.pixels = {5, 0x11}; },
         Expect::Invalid},
    };
    for (const MalformedCase &c : cases) {
        SCOPED_TRACE(c.what);
        BmpBuilder builder;
        c.change(builder);
        std::vector<uint8_t> file = builder.Build();
        if (c.cut) c.cut(file);
        TBitmap b;
        b.SetPixelFormat(pf24bit);
        b.SetSize(2, 2);
        const HBITMAP before = b.Handle();
        if (c.expect == Expect::Invalid)
            ExpectRaises<EInvalidGraphic>([&] { Load(b, file); }, "Bitmap image is not valid");
        else
            ExpectRaises<EReadError>([&] { Load(b, file); }, "Stream read error");
        EXPECT_EQ(b.Handle(), before) << "a failed load leaves the bitmap as it was";
        EXPECT_EQ(b.Width(), 2);
    }
}

TEST_F(BmpFileTest, DataPropertyEnvelope) {
    TBitmap a;
    a.SetPixelFormat(pf8bit);
    a.SetSize(3, 3);
    a.Canvas().SetPixels(1, 1, clRed);
    const std::vector<uint8_t> file = Save(a);

    TMemoryStream data;
    a.WriteData(data);
    ASSERT_EQ(data.Size(), int64_t(file.size() + 4));
    data.SetPosition(0);
    EXPECT_EQ(data.ReadLE<uint32_t>(), file.size());
    EXPECT_EQ(0, std::memcmp(static_cast<const uint8_t *>(data.Memory()) + 4, file.data(), file.size()));

    // Offered as a defined property, matched case-insensitively.
    TBitmap b;
    data.SetPosition(0);
    EXPECT_TRUE(ReadDefinedProperty(b, "DATA", data));
    EXPECT_EQ(data.Position(), data.Size());
    EXPECT_EQ(b.Canvas().Pixels(1, 1), clRed);
    data.SetPosition(0);
    EXPECT_FALSE(ReadDefinedProperty(b, "Picture", data));

    std::vector<std::string> listed;
    ForEachDefinedProperty(b, [&](std::string_view name, const TFiler::BinaryProc &) { listed.emplace_back(name); });
    EXPECT_EQ(listed, std::vector<std::string>{"Data"});
    listed.clear();
    TBitmap empty;
    ForEachDefinedProperty(empty, [&](std::string_view name, const TFiler::BinaryProc &) { listed.emplace_back(name); });
    EXPECT_TRUE(listed.empty()) << "an empty picture is not written";

    // Size 0: an empty bitmap.
    const uint8_t zero[4] = {0, 0, 0, 0};
    TReadOnlyMemoryStream z(zero, 4);
    b.ReadData(z);
    EXPECT_TRUE(b.Empty());

    // A size beyond the value's bytes, or a picture that is not a BMP.
    std::vector<uint8_t> longer(data.Size());
    std::memcpy(longer.data(), data.Memory(), longer.size());
    longer[0] += 1;
    TReadOnlyMemoryStream l(longer.data(), longer.size());
    ExpectRaises<EReadError>([&] { b.ReadData(l); }, "Stream read error");
    const uint8_t notBmp[] = {18, 0, 0, 0, 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    TReadOnlyMemoryStream n(notBmp, sizeof notBmp);
    ExpectRaises<EInvalidGraphic>([&] { b.ReadData(n); }, "Bitmap image is not valid");
    const uint8_t cut[] = {10, 0};
    TReadOnlyMemoryStream c(cut, sizeof cut);
    ExpectRaises<EReadError>([&] { b.ReadData(c); }, "Stream read error");
}

// Run-length data must be able to make the picture it declares: a few
// bytes claiming hundreds of megapixels are refused before the pixels are
// allocated, while a large picture coded as tightly as encoders write is
// read.
TEST_F(BmpFileTest, RunLengthPicturesMustFitTheirData) {
    BmpBuilder rle8; // 60 bytes: one colour and an end of bitmap, for 16384 x 16383
    rle8.compression = BI_RLE8;
    rle8.width = 16384;
    rle8.height = 16383;
    rle8.table.resize(1);
    rle8.pixels = {0, 1};
    BmpBuilder rle4; // 138 bytes, for 9223 x 12288
    rle4.bits = 4;
    rle4.compression = BI_RLE4;
    rle4.width = 9223;
    rle4.height = 12288;
    rle4.table.resize(16);
    rle4.pixels = {255, 0x12, 0, 2, 255, 255, 0, 2, 255, 255, 0, 2, 255, 255, 255, 0x34, 0, 0, 0, 1};
    for (const BmpBuilder *bomb : {&rle8, &rle4}) {
        const std::vector<uint8_t> file = bomb->Build();
        SCOPED_TRACE(testing::Message() << file.size() << " bytes for " << bomb->width << " x " << bomb->height);
        TBitmap b;
        ExpectRaises<EInvalidGraphic>([&] { Load(b, file); }, "Bitmap image is not valid");
        EXPECT_TRUE(b.Empty());
    }
    ASSERT_EQ(rle8.Build().size(), 60u);
    ASSERT_EQ(rle4.Build().size(), 138u);

    // 2048 x 1024, each row a run of 255 and then left to its end of line:
    // 4 bytes a row, 512 pixels a byte.
    BmpBuilder wide;
    wide.compression = BI_RLE8;
    wide.width = 2048;
    wide.height = 1024;
    wide.table.resize(4);
    wide.pixels.clear();
    for (int y = 0; y < wide.height; ++y) wide.pixels.insert(wide.pixels.end(), {255, 3, 0, 0});
    TBitmap b;
    Load(b, wide.Build());
    EXPECT_EQ(b.Width(), 2048);
    EXPECT_EQ(RawPixel(b, 254, 100), 3u);
    EXPECT_EQ(RawPixel(b, 255, 100), 0u);
}

// --- Truncated and corrupted files ---------------------------------------------

std::vector<std::vector<uint8_t>> SampleFiles() {
    BmpBuilder v5;
    v5.headerSize = 124;
    v5.BitFields(16, {0xF800, 0x07E0, 0x001F});
    v5.pixels.assign(16, 0x5A);
    BmpBuilder rle4 = Rle8Builder();
    rle4.bits = 4;
    rle4.compression = BI_RLE4;
    rle4.pixels = {2, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 0, 4, 0x77, 0, 1};
    return {BmpBuilder().Build(), Rle8Builder().Build(), v5.Build(), rle4.Build()};
}

TEST_F(BmpFileTest, EveryTruncationFailsCleanly) {
    int index = 0;
    for (const std::vector<uint8_t> &file : SampleFiles()) {
        const bool rle = index == 1 || index == 3;
        SCOPED_TRACE(testing::Message() << "sample " << index++);
        TBitmap whole;
        Load(whole, file); // the sample itself is valid
        for (size_t n = 1; n < file.size(); ++n) {
            SCOPED_TRACE(testing::Message() << n << " of " << file.size() << " bytes");
            // An exact copy, so the sanitizers see any read past the end.
            std::vector<uint8_t> cut(file.begin(), file.begin() + ptrdiff_t(n));
            TBitmap b;
            try {
                Load(b, cut);
                EXPECT_TRUE(rle) << "only run-length data may simply end early";
            } catch (const EReadError &) {
            } catch (const EInvalidGraphic &e) {
                ADD_FAILURE() << "a truncated file is short, not invalid: " << e.what();
            }
        }
    }
}

TEST_F(BmpFileTest, CorruptedFilesNeverCrash) {
    std::mt19937 random(12345);
    int loaded = 0, invalid = 0, shortData = 0;
    for (const std::vector<uint8_t> &file : SampleFiles()) {
        for (int round = 0; round < 1500; ++round) {
            std::vector<uint8_t> bad = file;
            const int flips = 1 + int(random() % 4);
            for (int i = 0; i < flips; ++i) bad[random() % bad.size()] = uint8_t(random());
            TBitmap b;
            try {
                Load(b, bad);
                ++loaded;
                // Whatever loaded is a consistent picture.
                for (int y = 0; y < b.Height(); ++y) b.ScanLine(y);
                Save(b);
            } catch (const EInvalidGraphic &) {
                ++invalid;
            } catch (const EReadError &) {
                ++shortData;
            }
        }
    }
    // All three outcomes occur, so the corruption reaches every stage.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(invalid, 0);
    EXPECT_GT(shortData, 0);
}

} // namespace
