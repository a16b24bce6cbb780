// Blend kernels: worked values, field isolation, skip-equal, the dithered
// mix, the byte-wise kernel's tail and alignment handling, and a seeded
// property test of every variant against the per-byte and per-field
// references, on raw buffers and on real bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixels/Blend.h"
#include "pixels/Testing.h"
#include "qvt/qvtsys.h"

namespace qvt {
namespace {

using BlendWordsFn = TKernelTable::BlendBytesFn;

// Keeps the processor flags of the test process as they were.
class BlendTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedFast_ = MMXAvailable;
        savedStreaming_ = ExtendedMMXAvailable;
    }
    void TearDown() override { testing::SetProcessorFlags(savedFast_, savedStreaming_); }

private:
    bool savedFast_ = false, savedStreaming_ = false;
};

// The byte-wise kernel of every table this build and processor can run
// ("avx2" and "avx512" only where the processor has them), with and without streaming
// stores, and the active one.
struct Variant {
    std::string name;
    BlendWordsFn fn;
};

std::vector<Variant> ByteVariants() {
    std::vector<Variant> out;
    for (const TKernelTable &t : testing::KernelVariants()) out.push_back({t.Name, t.BlendBytes});
    out.push_back({std::string("active ") + Kernels().Name, Kernels().BlendBytes});
    return out;
}

// A byte buffer whose data starts `offset` bytes past a 64-byte boundary,
// followed by guard bytes; `whole()` covers data and guard, so a comparison
// of whole buffers also catches writes past the end.
class Buffer {
public:
    Buffer(size_t size, size_t offset, uint8_t fill = 0) : storage_(size + offset + 64 + kGuard, fill), size_(size) {
        const auto base = reinterpret_cast<uintptr_t>(storage_.data());
        start_ = static_cast<size_t>((64 - (base & 63)) & 63) + offset;
    }
    uint8_t *data() { return storage_.data() + start_; }
    const uint8_t *data() const { return storage_.data() + start_; }
    size_t size() const { return size_; }
    uint8_t &operator[](size_t i) { return data()[i]; }
    std::vector<uint8_t> whole() const {
        return {storage_.begin() + static_cast<ptrdiff_t>(start_),
                storage_.begin() + static_cast<ptrdiff_t>(start_ + size_ + kGuard)};
    }
    void randomize(std::mt19937 &rng) {
        for (size_t i = 0; i < size_; ++i) data()[i] = static_cast<uint8_t>(rng() >> 24);
    }
    void copyFrom(const Buffer &other) { std::memcpy(data(), other.data(), size_); }

private:
    static constexpr size_t kGuard = 16;
    std::vector<uint8_t> storage_;
    size_t size_;
    size_t start_;
};

// Bytes of a 32-bit value in memory order.
void PutWord(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t GetWord(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Runs one kernel over one-word-per-case buffers: arriving and departing words
// repeated `words` times.
enum class Path { Fast, Integer };

uint32_t BlendOneWord(Path path, BlendWordsFn fn, TPixelFormat format, uint32_t arriving, uint32_t departing, int level,
                      int words = 1) {
    std::vector<uint8_t> a(4 * static_cast<size_t>(words)), b(a.size()), d(a.size(), 0xEE);
    for (int i = 0; i < words; ++i) {
        PutWord(a.data() + 4 * i, arriving);
        PutWord(b.data() + 4 * i, departing);
    }
    const int n = static_cast<int>(a.size());
    if (path == Path::Fast)
        fn(d.data(), a.data(), b.data(), level, n);
    else
        BlendWordsInteger(d.data(), a.data(), b.data(), format, level, n, 0);
    for (int i = 1; i < words; ++i) EXPECT_EQ(GetWord(d.data() + 4 * i), GetWord(d.data())) << "word " << i;
    return GetWord(d.data());
}

// --- Worked values -------------------------------------------------------------

TEST_F(BlendTest, WorkedValuesOnBothPaths) {
    struct Case {
        const char *what;
        Path path;
        TPixelFormat format;
        uint32_t arriving, departing;
        int level;
        uint32_t expected;
    };
    const Case cases[] = {
        // 24-bit, arriving 200 / departing 100 in every byte.
        {"8-bit channels level 1", Path::Fast, pf24bit, 0xC8C8C8C8, 0x64646464, 1, 0x64646464},
        {"8-bit channels level 128", Path::Fast, pf24bit, 0xC8C8C8C8, 0x64646464, 128, 0x96969696},
        {"8-bit channels level 200", Path::Fast, pf24bit, 0xC8C8C8C8, 0x64646464, 200, 0xB2B2B2B2},
        {"8-bit channels level 1", Path::Integer, pf24bit, 0xC8C8C8C8, 0x64646464, 1, 0x64646464},
        {"8-bit channels level 128", Path::Integer, pf24bit, 0xC8C8C8C8, 0x64646464, 128, 0x96969696},
        // Exchanged: 200 + floor(-100 * 55 / 256) = 178.
        {"8-bit channels level 200", Path::Integer, pf24bit, 0xC8C8C8C8, 0x64646464, 200, 0xB2B2B2B2},
        // 255 + floor(-255 / 256) = 254.
        {"arriving 0, departing 255", Path::Fast, pf32bit, 0x00000000, 0xFFFFFFFF, 1, 0xFEFEFEFE},
        // 5-6-5 pure green over black: 63 * 16 / 32 = 31.5 -> 31.
        {"5-6-5 green level 16", Path::Integer, pf16bit, 0x07E007E0, 0x00000000, 16, 0x03E003E0},
        // Exchanged: 63 + floor(-63 / 32) = 61.
        {"5-6-5 green level 31", Path::Integer, pf16bit, 0x07E007E0, 0x00000000, 31, (61u << 5) * 0x10001u},
        // 5-5-5 pure green over black: 31 * 16 / 32 = 15.5 -> 15; level 31: 31 + floor(-31 / 32) = 30.
        {"5-5-5 green level 16", Path::Integer, pf15bit, 0x03E003E0, 0x00000000, 16, (15u << 5) * 0x10001u},
        {"5-5-5 green level 31", Path::Integer, pf15bit, 0x03E003E0, 0x00000000, 31, (30u << 5) * 0x10001u},
    };
    for (const Case &c : cases) {
        if (c.path == Path::Integer) {
            SCOPED_TRACE(std::string(c.what) + ", integer routine");
            EXPECT_EQ(BlendOneWord(c.path, nullptr, c.format, c.arriving, c.departing, c.level), c.expected);
            continue;
        }
        // One word alone goes through the trailing-word method; five words
        // through whole 8-byte units and the trailing word.
        for (const Variant &v : ByteVariants()) {
            for (int words : {1, 2, 5}) {
                SCOPED_TRACE(std::string(c.what) + ", " + v.name + ", words " + std::to_string(words));
                EXPECT_EQ(BlendOneWord(c.path, v.fn, c.format, c.arriving, c.departing, c.level, words), c.expected);
            }
        }
    }
}

TEST_F(BlendTest, EightBitChannelPathsDifferAboveHalfWayAsIntended) {
    // Byte-wise: 0 + floor(255 * 200 / 256) = 199; integer, exchanged:
    // 255 + floor(-255 * 55 / 256) = 255 - 55 = 200.
    for (const Variant &v : ByteVariants()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(BlendOneWord(Path::Fast, v.fn, pf32bit, 0xFFFFFFFF, 0, 200, 3), 0xC7C7C7C7u);
    }
    EXPECT_EQ(BlendOneWord(Path::Integer, nullptr, pf32bit, 0xFFFFFFFF, 0, 200, 3), 0xC8C8C8C8u);
}

// --- Field isolation --------------------------------------------------------------

// Every field of the base page is 2^s and the weighted page is 0, except the lowest field
// of each accumulator, which is 1 in the base. With the multiplier m / 2^s
// the upper fields land exactly on 2^s - m (a product with nothing below the
// shift), and the lowest ones on floor(-m / 2^s) + 1 = 0, a negative
// difference whose borrow must not reach the field above.
TEST_F(BlendTest, FieldsNeverSpillIntoTheirNeighbours) {
    struct Layout {
        TPixelFormat format;
        const char *name;
        // (position, width) of each field in the word; the first two listed
        // are the lowest fields of the two accumulators.
        std::vector<std::pair<unsigned, unsigned>> fields;
    };
    const Layout layouts[] = {
        {pf32bit, "8-bit channels", {{0, 8}, {8, 8}, {16, 8}, {24, 8}}},
        {pf15bit, "5-5-5", {{0, 5}, {5, 5}, {10, 5}, {16, 5}, {21, 5}, {26, 5}}},
        {pf16bit, "5-6-5", {{0, 5}, {5, 6}, {11, 5}, {16, 5}, {21, 6}, {27, 5}}},
    };
    struct Level {
        TPixelFormat format;
        int level;
        unsigned m, s;  // the multiplier as m / 2^s
        bool exchanged; // past half way: the arriving page is the base
    };
    const Level levels[] = {
        {pf32bit, 128, 1, 1, false}, {pf32bit, 64, 1, 2, false}, {pf32bit, 32, 1, 3, false}, {pf32bit, 96, 3, 3, false},
        {pf32bit, 2, 1, 7, false},   {pf32bit, 6, 3, 7, false},  {pf32bit, 191, 1, 2, true}, {pf32bit, 159, 3, 3, true},
        {pf15bit, 16, 1, 1, false},  {pf15bit, 8, 1, 2, false},  {pf15bit, 2, 1, 4, false},  {pf15bit, 12, 3, 3, false},
        {pf15bit, 6, 3, 4, false},   {pf15bit, 24, 1, 2, true},  {pf16bit, 16, 1, 1, false}, {pf16bit, 4, 1, 3, false},
        {pf16bit, 6, 3, 4, false},   {pf16bit, 20, 3, 3, true},
    };
    for (const Level &lv : levels) {
        const Layout &layout = *std::find_if(std::begin(layouts), std::end(layouts),
                                             [&](const Layout &l) { return l.format == lv.format; });
        SCOPED_TRACE(std::string(layout.name) + " level " + std::to_string(lv.level));
        uint32_t base = 0, expected = 0;
        for (size_t i = 0; i < layout.fields.size(); ++i) {
            const auto [position, width] = layout.fields[i];
            const bool lowest = i < 2;
            ASSERT_LT(1u << lv.s, 1u << width);
            base |= (lowest ? 1u : 1u << lv.s) << position;
            expected |= (lowest ? 0u : (1u << lv.s) - lv.m) << position;
        }
        const uint32_t arriving = lv.exchanged ? base : 0, departing = lv.exchanged ? 0 : base;
        EXPECT_EQ(BlendOneWord(Path::Integer, nullptr, lv.format, arriving, departing, lv.level, 3), expected);
    }
    // The byte-wise kernel's trailing word uses multiplier `level`, shift 8:
    // at 128, departing 2 -> 1 and departing 1 -> 0.
    for (const Variant &v : ByteVariants()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(BlendOneWord(Path::Fast, v.fn, pf32bit, 0, 0x02020101, 128), 0x01010000u);
        EXPECT_EQ(BlendOneWord(Path::Fast, v.fn, pf32bit, 0, 0x02020101, 128, 3), 0x01010000u);
    }
}

// --- Skip-equal -------------------------------------------------------------------

TEST_F(BlendTest, SkipEqualLeavesWordsWhoseSourcesAgree) {
    struct Case {
        TPixelFormat format;
        int level;
        int equalPercent;
        bool skips;
    };
    const Case cases[] = {
        {pf32bit, 100, 10, true}, {pf32bit, 200, 100, true}, {pf15bit, 9, 50, true},
        {pf16bit, 20, 10, true},  {pf32bit, 100, 9, false},  {pf16bit, 20, 0, false},
    };
    constexpr uint32_t kOld = 0xDEADBEEF;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "format " << int(c.format) << " level " << c.level << " equal " << c.equalPercent);
        // Words 0 and 2 equal in both pages (and different from the old
        // destination); words 1 and 3 differ.
        const uint32_t a[4] = {0x12345678, 0x00FF00FF, 0x12345678, 0x7C1F03E0};
        const uint32_t b[4] = {0x12345678, 0xFF00FF00, 0x12345678, 0x03E07C1F};
        uint32_t d[4] = {kOld, kOld, kOld, kOld};
        uint32_t expected[4];
        testing::ReferenceBlendFields(expected, a, b, c.format, c.level, 16, 0);
        BlendWordsInteger(d, a, b, c.format, c.level, 16, c.equalPercent);
        EXPECT_EQ(d[0], c.skips ? kOld : expected[0]);
        EXPECT_EQ(d[2], c.skips ? kOld : expected[2]);
        EXPECT_EQ(d[1], expected[1]);
        EXPECT_EQ(d[3], expected[3]);
    }
}

// --- Out-of-contract input ----------------------------------------------------------

TEST_F(BlendTest, EmptyRunsWriteNothingAndExtremeLevelsEnd) {
    std::vector<uint8_t> a(64, 0x40), b(64, 0x80), d(64, 0x11);
    for (const Variant &v : ByteVariants()) {
        for (int count : {0, -8, 3}) v.fn(d.data(), a.data(), b.data(), 100, count);
        EXPECT_EQ(d, std::vector<uint8_t>(64, 0x11)) << v.name;
    }
    for (TPixelFormat f : {pf32bit, pf16bit})
        for (int count : {0, -8, 3}) BlendWordsInteger(d.data(), a.data(), b.data(), f, 10, count, 50);
    EXPECT_EQ(d, std::vector<uint8_t>(64, 0x11));
    // Level 0 and the full level (whose exchanged multiplier is 0) give one
    // page unchanged instead of hanging on a multiplier with no set bit.
    struct Case {
        TPixelFormat format;
        int level;
        uint8_t expected;
    } cases[] = {{pf32bit, 0, 0x80}, {pf32bit, 255, 0x40}, {pf32bit, 999, 0x40}, {pf32bit, -3, 0x80},
                 {pf16bit, 0, 0x80}, {pf16bit, 32, 0x40},  {pf15bit, 40, 0x40}};
    for (const Case &c : cases) {
        BlendWordsInteger(d.data(), a.data(), b.data(), c.format, c.level, 64, 0);
        EXPECT_EQ(d, std::vector<uint8_t>(64, c.expected)) << int(c.format) << " level " << c.level;
    }
}

// --- Tail and alignment of the byte-wise kernel -----------------------------------

// Every byte up to byteCount & ~3 is mixed (an odd number of words ends with
// one word by the integer method), nothing after it is touched, and
// misaligned starts work with ordinary and streaming stores alike.
TEST_F(BlendTest, ByteWiseKernelCoversEveryWordFromAnyStart) {
    std::mt19937 rng(7);
    const int counts[] = {4, 8, 12, 20, 28, 36, 44, 60, 68, 100, 4100, 4108, 4094, 13};
    const size_t offsets[][3] = {{0, 0, 0}, {1, 2, 3}, {4, 0, 12}, {8, 8, 8}, {31, 17, 5}, {12, 20, 28}};
    for (bool streaming : {false, true}) {
        testing::SetProcessorFlags(true, streaming);
        for (const Variant &v : ByteVariants()) {
            for (int count : counts) {
                for (const auto &off : offsets) {
                    SCOPED_TRACE(::testing::Message() << v.name << " streaming " << streaming << " bytes " << count
                                                      << " offsets " << off[0] << "/" << off[1] << "/" << off[2]);
                    const size_t n = static_cast<size_t>(count);
                    Buffer d(n, off[0], 0xA5), a(n, off[1]), b(n, off[2]), expected(n, 0, 0xA5);
                    a.randomize(rng);
                    b.randomize(rng);
                    const int level = 1 + static_cast<int>(rng() % 254);
                    testing::ReferenceBlendBytes(expected.data(), a.data(), b.data(), level, count);
                    v.fn(d.data(), a.data(), b.data(), level, count);
                    ASSERT_EQ(d.whole(), expected.whole());
                }
            }
        }
    }
}

// A processor as the CPUID hook presents it: the real answers, with the
// SSE2, AVX2 and AVX-512 bits cleared as asked.
struct Narrowed {
    bool sse2, avx2, avx512 = true;
};
BOOL narrowedCpu(void *user, DWORD leaf, DWORD regs[4]) {
    QvtSetCpuidHook(nullptr, nullptr);
    const BOOL ok = QvtCpuid(leaf, regs);
    QvtSetCpuidHook(narrowedCpu, user);
    const auto *n = static_cast<const Narrowed *>(user);
    if (leaf == 1 && !n->sse2) regs[3] &= ~(1u << 26);
    if (leaf == 7 && !n->avx2) regs[1] &= ~(1u << 5);
    if (leaf == 7 && !n->avx512) regs[1] &= ~(1u << 16);
    return ok;
}

// The table is chosen from what CPUID reports (through the platform, so a
// hook reaches the choice) and from the streaming flag, once.
TEST_F(BlendTest, TheTableTakesTheWidestVariantCpuidReports) {
    const TProcessorFeatures real = ReadProcessorFeatures();
    struct Case {
        Narrowed cpu;
        bool streaming;
        std::string expected;
    } cases[] = {
        {{false, false}, true, "plain"},
        {{true, false}, false, real.Sse2 ? "sse2" : "plain"},
        {{true, false}, true, real.Sse2 ? "sse2+stream" : "plain"},
        {{true, true, false}, true, real.Avx2 ? "avx2+stream" : real.Sse2 ? "sse2+stream" : "plain"},
        {{true, true}, true,
         real.Avx512 ? "avx512+stream" : real.Avx2 ? "avx2+stream" : real.Sse2 ? "sse2+stream" : "plain"},
        {{true, true}, false, real.Avx512 ? "avx512" : real.Avx2 ? "avx2" : real.Sse2 ? "sse2" : "plain"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        Narrowed cpu = c.cpu;
        QvtSetCpuidHook(narrowedCpu, &cpu);
        SelectKernels(ReadProcessorFeatures(), c.streaming);
        QvtSetCpuidHook(nullptr, nullptr);
        EXPECT_EQ(std::string(Kernels().Name), c.expected);
    }
#if defined(__x86_64__)
    EXPECT_TRUE(real.Sse2); // part of the architecture
#endif
}

// --- Property test -------------------------------------------------------------------

// Sizes: block boundaries and their neighbours, then random multiples of 4.
std::vector<int> PropertySizes(std::mt19937 &rng) {
    std::vector<int> sizes = {0,    4,    8,    12,   4088,  4092,  4096,      4100, 4104,
                              8188, 8192, 8196, 8204, 12288, 12292, 16384 + 8, 20000};
    for (int i = 0; i < 40; ++i) sizes.push_back(4 * static_cast<int>(rng() % 5001));
    return sizes;
}

TEST_F(BlendTest, EveryByteWiseVariantMatchesThePerByteFormula) {
    std::mt19937 rng(0x5EED);
    const std::vector<Variant> variants = ByteVariants();
    for (int size : PropertySizes(rng)) {
        const size_t n = static_cast<size_t>(size);
        const size_t offA = rng() % 64, offB = rng() % 64, offD = rng() % 64;
        Buffer a(n, offA), b(n, offB), expected(n, 0, 0x3C);
        a.randomize(rng);
        b.randomize(rng);
        const int level = 1 + static_cast<int>(rng() % 254);
        testing::ReferenceBlendBytes(expected.data(), a.data(), b.data(), level, size);
        for (bool streaming : {false, true}) {
            testing::SetProcessorFlags(true, streaming);
            for (const Variant &v : variants) {
                SCOPED_TRACE(::testing::Message() << v.name << " streaming " << streaming << " bytes " << size
                                                  << " level " << level << " dest offset " << offD);
                Buffer d(n, offD, 0x3C);
                v.fn(d.data(), a.data(), b.data(), level, size);
                ASSERT_EQ(d.whole(), expected.whole());
            }
        }
    }
}

TEST_F(BlendTest, EveryByteWiseVariantMatchesThePerByteFormulaForEveryLevelAndBytePair) {
    // All 65536 (arriving, departing) byte pairs, at every level 0..255.
    constexpr int kPairs = 65536;
    Buffer a(kPairs, 3), b(kPairs, 5), expected(kPairs, 0), d(kPairs, 9);
    for (int i = 0; i < kPairs; ++i) {
        a[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        b[static_cast<size_t>(i)] = static_cast<uint8_t>(i >> 8);
    }
    testing::SetProcessorFlags(true, true);
    const std::vector<Variant> variants = ByteVariants();
    for (int level = 0; level <= 255; ++level) {
        testing::ReferenceBlendBytes(expected.data(), a.data(), b.data(), level, kPairs);
        for (const Variant &v : variants) {
            v.fn(d.data(), a.data(), b.data(), level, kPairs);
            ASSERT_EQ(std::memcmp(d.data(), expected.data(), kPairs), 0) << v.name << " level " << level;
        }
    }
}

TEST_F(BlendTest, IntegerRoutineMatchesThePerFieldFormula) {
    std::mt19937 rng(0xB1E9D);
    const TPixelFormat formats[] = {pf8bit, pf24bit, pf32bit, pf15bit, pf16bit};
    for (int size : PropertySizes(rng)) {
        for (TPixelFormat format : formats) {
            const bool highColor = format == pf15bit || format == pf16bit;
            const int level = highColor ? 1 + static_cast<int>(rng() % 31) : 1 + static_cast<int>(rng() % 254);
            const int equalPercent = (rng() & 1) ? 0 : 10 + static_cast<int>(rng() % 91);
            const size_t n = static_cast<size_t>(size);
            const size_t offA = rng() % 16, offB = rng() % 16, offD = rng() % 16;
            Buffer a(n, offA), b(n, offB), expected(n, 0, 0x77);
            a.randomize(rng);
            b.randomize(rng);
            // Runs of equal words, as unchanged areas of two pages give.
            for (size_t w = 0; w + 4 <= n; w += 4)
                if (rng() % 3 == 0) std::memcpy(b.data() + w, a.data() + w, 4);
            SCOPED_TRACE(::testing::Message() << "format " << int(format) << " bytes " << size << " level " << level
                                              << " equal " << equalPercent);
            testing::ReferenceBlendFields(expected.data(), a.data(), b.data(), format, level, size, equalPercent);
            for (const TKernelTable &table : testing::KernelVariants()) {
                SCOPED_TRACE(table.Name);
                testing::ScopedKernels use(table);
                Buffer out(n, offD, 0x77);
                BlendWordsInteger(out.data(), a.data(), b.data(), format, level, size, equalPercent);
                ASSERT_EQ(out.whole(), expected.whole());
            }
        }
    }
}

TEST_F(BlendTest, IntegerRoutineMatchesThePerFieldFormulaAtEveryLevel) {
    std::mt19937 rng(31);
    constexpr size_t kBytes = 4096 + 12;
    Buffer a(kBytes, 0), b(kBytes, 4);
    a.randomize(rng);
    b.randomize(rng);
    for (TPixelFormat format : {pf32bit, pf15bit, pf16bit}) {
        const int full = format == pf32bit ? 255 : 32;
        for (int level = 0; level <= full; ++level) {
            Buffer d(kBytes, 8), expected(kBytes, 0);
            testing::ReferenceBlendFields(expected.data(), a.data(), b.data(), format, level, kBytes, 0);
            for (const TKernelTable &table : testing::KernelVariants()) {
                testing::ScopedKernels use(table);
                BlendWordsInteger(d.data(), a.data(), b.data(), format, level, kBytes, 0);
                ASSERT_EQ(d.whole(), expected.whole()) << table.Name << " format " << int(format) << " level " << level;
            }
        }
    }
}

// --- Whole bitmaps -----------------------------------------------------------------

// Raw pixel buffer of a bottom-up DIB: from the last scan line, all rows.
struct PixelBlock {
    uint8_t *start;
    size_t bytes;
};

PixelBlock Pixels(rtl::TBitmap &bitmap) {
    const size_t stride = static_cast<size_t>(BytesPerScanLine(bitmap, bitmap.PixelFormat(), 32));
    return {static_cast<uint8_t *>(bitmap.ScanLine(bitmap.Height() - 1)),
            stride * static_cast<size_t>(bitmap.Height())};
}

void MakePage(rtl::TBitmap &bitmap, TPixelFormat format, int width, int height, std::mt19937 &rng) {
    bitmap.SetPixelFormat(format);
    bitmap.SetSize(width, height);
    PixelBlock p = Pixels(bitmap);
    for (size_t i = 0; i < p.bytes; ++i) p.start[i] = static_cast<uint8_t>(rng() >> 24);
}

TEST_F(BlendTest, BlendBitmapsMixesWholePagesIncludingScanLinePadding) {
    std::mt19937 rng(2024);
    struct Case {
        TPixelFormat format;
        int width, height, level, equalPercent;
    };
    // Widths that leave padding at the end of each scan line where the format
    // allows it.
    const Case cases[] = {
        {pf8bit, 13, 5, 77, 0},   {pf24bit, 13, 7, 1, 0},     {pf24bit, 50, 40, 200, 0},
        {pf32bit, 33, 9, 128, 0}, {pf32bit, 64, 70, 254, 30}, {pf15bit, 7, 6, 5, 0},
        {pf15bit, 31, 4, 17, 12}, {pf16bit, 9, 3, 16, 0},     {pf16bit, 40, 33, 31, 50},
    };
    for (const Case &c : cases) {
        for (bool fast : {false, true}) {
            for (bool streaming : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << "format " << int(c.format) << " " << c.width << "x" << c.height << " level " << c.level
                             << " fast " << fast << " streaming " << streaming);
                rtl::TBitmap dest, arriving, departing;
                MakePage(arriving, c.format, c.width, c.height, rng);
                MakePage(departing, c.format, c.width, c.height, rng);
                dest.Assign(&departing);
                // Some equal words, for skip-equal to find.
                PixelBlock a = Pixels(arriving), b = Pixels(departing), d = Pixels(dest);
                ASSERT_EQ(a.bytes, d.bytes);
                for (size_t w = 0; w + 4 <= a.bytes; w += 16) {
                    std::memcpy(b.start + w, a.start + w, 4);
                    PutWord(d.start + w, 0x5A5A5A5A); // a word the mix must leave alone when skipping
                }
                std::vector<uint8_t> expected(d.start, d.start + d.bytes);
                const bool byteWise = fast && c.format != pf15bit && c.format != pf16bit;
                if (byteWise)
                    testing::ReferenceBlendBytes(expected.data(), a.start, b.start, c.level, static_cast<int>(a.bytes));
                else
                    testing::ReferenceBlendFields(expected.data(), a.start, b.start, c.format, c.level,
                                                  static_cast<int>(a.bytes), c.equalPercent);
                testing::SetProcessorFlags(fast, streaming);
                BlendBitmaps(dest, arriving, departing, nullptr, c.format, c.level, c.equalPercent);
                d = Pixels(dest);
                EXPECT_EQ(std::vector<uint8_t>(d.start, d.start + d.bytes), expected);
            }
        }
    }
}

// --- Dithered mix ------------------------------------------------------------------

// The switching order as an 8 x 8 grid: the level at which each cell shows
// the arriving page (row y from the top, column x from the left).
// clang-format off
constexpr int kDitherGrid[8][8] = {
    { 2, 34, 10, 42,  3, 35, 11, 43},
    {54, 30, 62, 22, 55, 31, 63, 23},
    {14, 46,  6, 38, 15, 47,  7, 39},
    {58, 18, 50, 26, 59, 19, 51, 27},
    { 4, 36, 12, 44,  1, 33,  9, 41},
    {56, 32, 64, 24, 53, 29, 61, 21},
    {16, 48,  8, 40, 13, 45,  5, 37},
    {60, 20, 52, 28, 57, 17, 49, 25},
};
// clang-format on

// A monochrome 8 x 8 pattern, all white as the callers start it.
void MakeWhitePattern(rtl::TBitmap &pattern) {
    pattern.SetMonochrome(true);
    pattern.SetSize(8, 8);
    RECT all{0, 0, 8, 8};
    pattern.Canvas().Brush().SetColor(rtl::clWhite);
    pattern.Canvas().FillRect(all);
}

bool CellIsBlack(rtl::TBitmap &pattern, int x, int y) { return pattern.Canvas().Pixels(x, y) == rtl::clBlack; }

TEST_F(BlendTest, EachCellNumberSetsItsCellOfTheOrderTable) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const DitherCell cell = kDitherOrder[static_cast<size_t>(kDitherGrid[y][x] - 1)];
            EXPECT_EQ(cell.x, x) << "cell " << kDitherGrid[y][x];
            EXPECT_EQ(cell.y, y) << "cell " << kDitherGrid[y][x];
        }
    rtl::TBitmap pattern;
    MakeWhitePattern(pattern);
    for (int n = 1; n <= 64; ++n) {
        SetDitherCell(pattern, n);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(CellIsBlack(pattern, x, y), kDitherGrid[y][x] <= n) << "after cell " << n;
    }
    // Numbers outside 1..64 change nothing (and do not read outside the table).
    rtl::TBitmap untouched;
    MakeWhitePattern(untouched);
    for (int n : {0, -1, 65, 1000}) SetDitherCell(untouched, n);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_FALSE(CellIsBlack(untouched, x, y));
}

// Raw palette index of pixel (x, y) of a paletted DIB.
unsigned PixelIndex(rtl::TBitmap &bitmap, int x, int y) {
    const auto *row = static_cast<const uint8_t *>(bitmap.ScanLine(y));
    if (bitmap.PixelFormat() == pf4bit) return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
    return row[x];
}

void FillIndex(rtl::TBitmap &bitmap, unsigned index) {
    const int stride = BytesPerScanLine(bitmap, bitmap.PixelFormat(), 32);
    const uint8_t byte =
        bitmap.PixelFormat() == pf4bit ? static_cast<uint8_t>(index * 0x11) : static_cast<uint8_t>(index);
    for (int y = 0; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), byte, static_cast<size_t>(stride));
}

TEST_F(BlendTest, DitheredMixShowsTheArrivingPageOnTheSwitchedCells) {
    struct Case {
        TPixelFormat format;
        unsigned arriving, departing; // palette indices
    };
    // The default tables: black is index 0 and white the last index.
    const Case formats[] = {{pf8bit, 0x5A, 0xA7}, {pf4bit, 0x3, 0xC}};
    for (const Case &c : formats) {
        for (int level : {1, 4, 5, 17, 63, 64}) {
            SCOPED_TRACE(::testing::Message() << "format " << int(c.format) << " level " << level);
            // Rows of several 32-byte stretches and a ragged end: the mix is
            // done a stretch at a time, whole stretches of white cells left
            // alone and whole stretches of black ones copied.
            rtl::TBitmap dest, arriving, pattern;
            arriving.SetPixelFormat(c.format);
            arriving.SetSize(149, 19);
            dest.SetPixelFormat(c.format);
            dest.SetSize(149, 19);
            FillIndex(arriving, c.arriving);
            FillIndex(dest, c.departing);
            MakeWhitePattern(pattern);
            BlendBitmaps(dest, arriving, dest, &pattern, c.format, level, 0);
            for (int y = 0; y < dest.Height(); ++y)
                for (int x = 0; x < dest.Width(); ++x) {
                    const bool shows = kDitherGrid[y % 8][x % 8] <= level;
                    ASSERT_EQ(PixelIndex(dest, x, y), shows ? c.arriving : c.departing) << "pixel " << x << "," << y;
                }
            // The destination canvas draws with its plain brush again.
            EXPECT_EQ(dest.Canvas().Brush().Bitmap(), nullptr);
            EXPECT_EQ(dest.Canvas().CopyMode(), static_cast<DWORD>(SRCCOPY));
        }
    }
}

TEST_F(BlendTest, DitheredMixCountsTheSpelledOutCellsAtLevelsOneAndFour) {
    // Level 1: only (4, 4) mod 8; level 4 adds (0, 0), (4, 0) and (0, 4).
    struct Case {
        int level;
        std::vector<std::pair<int, int>> cells;
    };
    const Case cases[] = {{1, {{4, 4}}}, {4, {{4, 4}, {0, 0}, {4, 0}, {0, 4}}}};
    for (TPixelFormat format : {pf8bit, pf4bit}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(::testing::Message() << "format " << int(format) << " level " << c.level);
            rtl::TBitmap dest, arriving, pattern;
            for (rtl::TBitmap *b : {&dest, &arriving}) {
                b->SetPixelFormat(format);
                b->SetSize(16, 16);
            }
            FillIndex(arriving, 1);
            FillIndex(dest, 2);
            MakeWhitePattern(pattern);
            BlendDithered(dest, arriving, pattern, c.level);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    bool listed = false;
                    for (auto [cx, cy] : c.cells) listed |= (x % 8 == cx && y % 8 == cy);
                    ASSERT_EQ(PixelIndex(dest, x, y), listed ? 1u : 2u) << "pixel " << x << "," << y;
                }
        }
    }
}

TEST_F(BlendTest, DitheredMixKeepsTheDestinationUnderWhiteCells) {
    // Successive frames on one pattern: pixels switched earlier stay switched,
    // the rest keep whatever the destination showed, not the departing page.
    rtl::TBitmap dest, arriving, pattern;
    for (rtl::TBitmap *b : {&dest, &arriving}) {
        b->SetPixelFormat(pf8bit);
        b->SetSize(8, 8);
    }
    FillIndex(arriving, 0x10);
    FillIndex(dest, 0x20);
    MakeWhitePattern(pattern);
    BlendDithered(dest, arriving, pattern, 2);
    static_cast<uint8_t *>(dest.ScanLine(7))[7] = 0x33; // cell (7, 7) switches at level 25
    BlendDithered(dest, arriving, pattern, 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const unsigned expected = kDitherGrid[y][x] <= 3 ? 0x10u : (x == 7 && y == 7) ? 0x33u : 0x20u;
            EXPECT_EQ(PixelIndex(dest, x, y), expected) << "pixel " << x << "," << y;
        }
}

} // namespace
} // namespace qvt
