// Mask kernels: the region rule and its run geometry, worked values of every
// kernel, pixels outside the region left alone, and a seeded property test
// of every kernel variant against the straight-from-the-formula references
// on random masks, regions and formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixels/MaskKernels.h"
#include "pixels/Testing.h"

namespace qvt {
namespace {

RECT Rect(int l, int t, int r, int b) { return RECT{l, t, r, b}; }
const RECT kNoExclude = Rect(0, 0, 0, 0);

// A bottom-up buffer of `height` rows of `stride` bytes, reached from its
// end address like the kernels reach it, with guard bytes on both sides so
// that comparing whole buffers also catches writes outside the image.
class Surface {
public:
    Surface(int stride, int height, uint8_t fill = 0)
        : stride_(stride), height_(height), bytes_(kGuard * 2 + static_cast<size_t>(stride) * height, fill) {
        std::memset(bytes_.data(), kGuardByte, kGuard);
        std::memset(bytes_.data() + bytes_.size() - kGuard, kGuardByte, kGuard);
    }
    int stride() const { return stride_; }
    int height() const { return height_; }
    // One past the end of the top scan line (row 0).
    uint8_t *end() { return bytes_.data() + kGuard + static_cast<size_t>(stride_) * height_; }
    uint8_t *row(int y) { return end() - static_cast<ptrdiff_t>(y + 1) * stride_; }
    uint8_t &at(int y, int byte) { return row(y)[byte]; }
    uint32_t word(int y, int x) {
        uint32_t v;
        std::memcpy(&v, row(y) + 4 * x, 4);
        return v;
    }
    void setWord(int y, int x, uint32_t v) { std::memcpy(row(y) + 4 * x, &v, 4); }
    void fill(uint8_t v) { std::memset(end() - static_cast<size_t>(stride_) * height_, v, static_cast<size_t>(stride_) * height_); }
    void randomize(std::mt19937 &rng) {
        uint8_t *p = end() - static_cast<size_t>(stride_) * height_;
        for (size_t i = 0; i < static_cast<size_t>(stride_) * height_; ++i) p[i] = static_cast<uint8_t>(rng() >> 24);
    }
    const std::vector<uint8_t> &whole() const { return bytes_; }

private:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;
    int stride_, height_;
    std::vector<uint8_t> bytes_;
};

// --- The region rule -------------------------------------------------------------

TEST(MaskRegion, RoundsAndChoosesTheMode) {
    struct Case {
        const char *what;
        int width, granule;
        bool byteUnits;
        RECT update, exclude;
        int mode;
        RECT roundedUpdate, roundedExclude;
    };
    const Case cases[] = {
        {"partial rows, nothing excluded", 32, 8, true, Rect(3, 0, 13, 10), kNoExclude, 2, Rect(0, 0, 16, 10),
         Rect(0, 0, 0, 0)},
        {"partial rows, pixel units", 32, 8, false, Rect(3, 0, 13, 10), kNoExclude, 2, Rect(0, 0, 16, 10),
         Rect(0, 0, 0, 0)},
        {"full width", 32, 8, true, Rect(0, 0, 32, 10), kNoExclude, 1, Rect(0, 0, 32, 10), Rect(0, 0, 0, 0)},
        {"full width once rounded", 32, 8, false, Rect(5, 2, 30, 10), kNoExclude, 1, Rect(0, 2, 32, 10),
         Rect(0, 2, 0, 0)},
        {"exclude narrower than a granule", 32, 8, true, Rect(0, 0, 32, 10), Rect(3, 0, 9, 10), 1,
         Rect(0, 0, 32, 10), Rect(8, 0, 8, 10)},
        {"narrow exclude, partial rows", 32, 8, false, Rect(0, 0, 24, 10), Rect(3, 0, 9, 10), 2, Rect(0, 0, 24, 10),
         Rect(8, 0, 8, 10)},
        {"exclude inside", 32, 8, true, Rect(0, 0, 32, 32), Rect(8, 8, 16, 16), 3, Rect(0, 0, 32, 32),
         Rect(8, 8, 16, 16)},
        {"exclude rounded inward", 64, 32, true, Rect(1, 0, 63, 4), Rect(20, 1, 70, 3), 3, Rect(0, 0, 64, 4),
         Rect(32, 1, 64, 3)},
        {"granule 2", 10, 2, false, Rect(1, 1, 5, 3), kNoExclude, 2, Rect(0, 1, 6, 3), Rect(0, 1, 0, 0)},
        // An exclude rectangle without height excludes nothing; one that
        // reaches out of the update rectangle is cut to it.
        {"flat exclude", 32, 8, false, Rect(0, 0, 16, 8), Rect(8, 4, 16, 4), 2, Rect(0, 0, 16, 8), Rect(8, 4, 16, 4)},
        {"exclude beyond the update", 64, 8, false, Rect(8, 4, 40, 20), Rect(0, 0, 24, 10), 3, Rect(8, 4, 40, 20),
         Rect(8, 4, 24, 10)},
        // Beyond the image's columns and above its top row nothing is visited.
        {"update past the image", 32, 8, false, Rect(-5, -2, 50, 6), kNoExclude, 1, Rect(0, 0, 32, 6),
         Rect(0, 0, 0, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RECT u = c.update, x = c.exclude;
        EXPECT_EQ(SplitMaskRegion(c.width, c.granule, c.byteUnits, u, x), c.mode);
        EXPECT_EQ(std::vector<int>({u.left, u.top, u.right, u.bottom}),
                  std::vector<int>({c.roundedUpdate.left, c.roundedUpdate.top, c.roundedUpdate.right,
                                    c.roundedUpdate.bottom}));
        EXPECT_EQ(std::vector<int>({x.left, x.top, x.right, x.bottom}),
                  std::vector<int>({c.roundedExclude.left, c.roundedExclude.top, c.roundedExclude.right,
                                    c.roundedExclude.bottom}));
    }
}

std::vector<int> Runs(const TMaskGeometry &g) {
    std::vector<int> out;
    for (int k = 0; k < g.Count; ++k)
        out.insert(out.end(), {g.Pieces[k].Pos, g.Pieces[k].Run, g.Pieces[k].Gap, g.Pieces[k].Total});
    return out;
}

TEST(MaskRegion, RunGeometryOfEachMode) {
    // A 32-pixel-wide image: 8-bit mask stride 32, 32-bit pixels stride
    // 128, 1-bit mask stride 4.
    const RECT none = kNoExclude;
    // Mode 1 starts at the top row and runs over whole rows with padding.
    EXPECT_EQ(Runs(MaskRunGeometry(1, 36, pf8bit, Rect(0, 2, 32, 10), none)), (std::vector<int>{72, 288, 0, 288}));
    // Mode 2, columns 0..15 of rows 0..9.
    EXPECT_EQ(Runs(MaskRunGeometry(2, 32, pf8bit, Rect(0, 0, 16, 10), none)),
              (std::vector<int>{16, 16, 16, 9 * 32 + 16}));
    EXPECT_EQ(Runs(MaskRunGeometry(2, 128, pf32bit, Rect(0, 0, 16, 10), none)),
              (std::vector<int>{64, 16, 16, 9 * 32 + 16}));
    EXPECT_EQ(Runs(MaskRunGeometry(2, 4, pf1bit, Rect(0, 0, 16, 10), none)),
              (std::vector<int>{2, 16, 16, 9 * 32 + 16}));
    // Mode 3, exclude (8, 8, 16, 16) in (0, 0, 32, 32): the top band rows 0
    // to 7 full width, the right strip rows 8 to 15 columns 16 to 31, the
    // left strip columns 0 to 7, the bottom band rows 16 to 31.
    EXPECT_EQ(Runs(MaskRunGeometry(3, 32, pf8bit, Rect(0, 0, 32, 32), Rect(8, 8, 16, 16))),
              (std::vector<int>{0, 32, 0, 7 * 32 + 32,          // top band
                                8 * 32, 16, 16, 7 * 32 + 16,    // right strip
                                8 * 32 + 24, 8, 24, 7 * 32 + 8, // left strip
                                16 * 32, 32, 0, 15 * 32 + 32})); // bottom band
    // Bands without rows are empty.
    const TMaskGeometry flush = MaskRunGeometry(3, 32, pf8bit, Rect(0, 0, 32, 32), Rect(8, 0, 16, 32));
    EXPECT_EQ(flush.Pieces[0].Total, 0);
    EXPECT_EQ(flush.Pieces[3].Total, 0);
    EXPECT_GT(flush.Pieces[1].Total, 0);
    // 24-bit pixels: the piece ends at byte 3 * right of its top row.
    EXPECT_EQ(MaskRunGeometry(2, 96, pf24bit, Rect(8, 1, 16, 3), none).Pieces[0].Pos, 96 - 48 + 96);
    // Formats without a pixel size have no geometry.
    EXPECT_EQ(MaskRunGeometry(2, 32, pfDevice, Rect(0, 0, 8, 8), none).Count, 0);
}

// --- Regions visited ---------------------------------------------------------------

// Fading a mask of 200s by 10 shows which bytes a region visits.
std::vector<std::string> FadedRows(Surface &m, int width, RECT update, RECT exclude) {
    m.fill(200);
    FadeMask(m.end(), m.stride(), width, update, exclude, false, 10);
    std::vector<std::string> rows;
    for (int y = 0; y < m.height(); ++y) {
        std::string r;
        for (int x = 0; x < m.stride(); ++x) r += m.at(y, x) == 190 ? '#' : m.at(y, x) == 200 ? '.' : '?';
        rows.push_back(r);
    }
    return rows;
}

TEST(MaskRegion, KernelsVisitTheRoundedRegionOnly) {
    // 4 rows of a 16-pixel-wide mask whose rows carry 8 bytes of padding.
    Surface m(24, 4);
    EXPECT_EQ(FadedRows(m, 16, Rect(3, 1, 7, 3), kNoExclude),
              (std::vector<std::string>{"........................", "########................",
                                        "########................", "........................"}));
    // Rounded out to the full width: whole rows, padding included.
    EXPECT_EQ(FadedRows(m, 16, Rect(3, 1, 13, 3), kNoExclude),
              (std::vector<std::string>{"........................", "########################",
                                        "########################", "........................"}));
    FadedRows(m, 16, Rect(0, 2, 16, 2), kNoExclude);
    FadedRows(m, 16, Rect(8, 0, 8, 4), kNoExclude);
    Surface fresh(24, 4, 200);
    EXPECT_EQ(m.whole(), fresh.whole()) << "empty regions touch nothing";
}

TEST(MaskRegion, FourPiecesLeaveTheCoreUntouched) {
    Surface m(32, 32);
    const std::vector<std::string> rows = FadedRows(m, 32, Rect(0, 0, 32, 32), Rect(8, 8, 16, 16));
    for (int y = 0; y < 32; ++y) {
        const bool core = y >= 8 && y < 16;
        EXPECT_EQ(rows[y], core ? std::string(8, '#') + std::string(8, '.') + std::string(16, '#') : std::string(32, '#'))
            << "row " << y;
    }
}

// --- 1-bit masks ---------------------------------------------------------------------

TEST(MaskKernels, OneBitMaskCopiesWhereTheBitIsZero) {
    // 32 pixels of 24 bits: mask byte 0x7F copies only pixel 0 of its 8.
    Surface work(96, 1, 0x11), arriving(96, 1, 0xEE), mask(4, 1, 0xFF);
    mask.at(0, 1) = 0x7F;
    CopyThroughMask1(work.end(), arriving.end(), mask.end(), 32, 96, 4, pf24bit, Rect(0, 0, 32, 1), kNoExclude);
    for (int b = 0; b < 96; ++b) EXPECT_EQ(work.at(0, b), b >= 24 && b < 27 ? 0xEE : 0x11) << "byte " << b;

    // Each 1-bit position, for the sizes of a pixel.
    struct Size {
        TPixelFormat format;
        int bytes;
    };
    for (const Size s : {Size{pf8bit, 1}, Size{pf15bit, 2}, Size{pf16bit, 2}, Size{pf32bit, 4}}) {
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE("format " + std::to_string(s.format) + " bit " + std::to_string(bit));
            Surface w(32 * s.bytes, 1, 0x11), a(32 * s.bytes, 1, 0xEE), m1(4, 1, 0xFF);
            m1.at(0, 2) = static_cast<uint8_t>(~(0x80 >> bit));
            CopyThroughMask1(w.end(), a.end(), m1.end(), 32, 32 * s.bytes, 4, s.format, Rect(0, 0, 32, 1),
                             kNoExclude);
            const int copied = 16 + bit;
            for (int b = 0; b < 32 * s.bytes; ++b) EXPECT_EQ(w.at(0, b), b / s.bytes == copied ? 0xEE : 0x11);
        }
    }
}

TEST(MaskKernels, OneBitMaskOnFourBitPixelsWorksByNibble) {
    // Pixel bytes 0..3 under the bit pairs 00, 01, 10, 11: copy, take the
    // high nibble, take the low nibble, keep.
    Surface work(16, 1, 0x12), arriving(16, 1, 0xAB), mask(4, 1, 0xFF);
    mask.at(0, 0) = 0x1B;
    CopyThroughMask1(work.end(), arriving.end(), mask.end(), 32, 16, 4, pf4bit, Rect(0, 0, 32, 1), kNoExclude);
    EXPECT_EQ(std::vector<int>({work.at(0, 0), work.at(0, 1), work.at(0, 2), work.at(0, 3), work.at(0, 4)}),
              std::vector<int>({0xAB, 0xA2, 0x1B, 0x12, 0x12}));
}

TEST(MaskKernels, FormatsWithoutPixelKernelsAreLeftAlone) {
    for (TPixelFormat f : {pfDevice, pf1bit, pfCustom}) {
        Surface work(128, 2, 0x11), arriving(128, 2, 0xEE), mask(4, 2, 0);
        const std::vector<uint8_t> before = work.whole();
        CopyThroughMask1(work.end(), arriving.end(), mask.end(), 32, 128, 4, f, Rect(0, 0, 32, 2), kNoExclude);
        CopyThroughMaskRange(work.end(), arriving.end(), mask.end(), 8, 0, 255, f);
        EXPECT_EQ(work.whole(), before) << "format " << f;
    }
}

TEST(MaskKernels, MergeKeepsOnlyNewlyRevealedPixelsOpen) {
    // Per bit (mask, revealed) -> (mask, revealed): a pixel painted this
    // frame (mask 0) that was not revealed before (revealed 1) stays 0 in
    // the mask and becomes revealed.
    Surface mask(4, 1), revealed(4, 1);
    mask.setWord(0, 0, 0x00000000u);
    revealed.setWord(0, 0, 0x00000000u);
    MergeRevealedMask(mask.end(), revealed.end(), 4, Rect(0, 0, 32, 1), kNoExclude);
    EXPECT_EQ(mask.word(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(revealed.word(0, 0), 0u);

    // Bits (m, v) = (1, 1), (1, 0), (0, 1), (0, 0) in the low nibble of byte 0.
    mask.setWord(0, 0, 0x0C);
    revealed.setWord(0, 0, 0x0A);
    MergeRevealedMask(mask.end(), revealed.end(), 4, Rect(0, 0, 32, 1), kNoExclude);
    EXPECT_EQ(mask.word(0, 0) & 0xF, 0xDu);     // 1, 1, 0, 1
    EXPECT_EQ(revealed.word(0, 0) & 0xF, 0x8u); // 1, 0, 0, 0
}

TEST(MaskKernels, InvertFlipsTheWordsEndingAtTheEnd) {
    Surface m(8, 2, 0x0F);
    InvertMask(m.end(), 3);
    EXPECT_EQ(m.row(0)[0], 0xF0);
    EXPECT_EQ(m.row(1)[3], 0x0F) << "the word before the three is not touched";
    EXPECT_EQ(m.row(1)[4], 0xF0);
    const std::vector<uint8_t> before = m.whole();
    InvertMask(m.end(), 0);
    EXPECT_EQ(m.whole(), before);
}

// --- 8-bit masks -----------------------------------------------------------------------

TEST(MaskKernels, RangeCopyTakesPixelsWhoseMaskIsInRange) {
    Surface work(32, 1, 0x11), arriving(32, 1, 0xEE), mask(8, 1);
    const uint8_t values[8] = {9, 10, 11, 50, 51, 200, 0, 255};
    std::memcpy(mask.row(0), values, 8);
    CopyThroughMaskRange(work.end(), arriving.end(), mask.end(), 8, 10, 50, pf32bit);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(work.word(0, x), x >= 1 && x <= 3 ? 0xEEEEEEEEu : 0x11111111u) << x;

    // 4-bit pixels: two mask bytes per pixel byte, the first for the high nibble.
    Surface w4(4, 1, 0x12), a4(4, 1, 0xAB), m4(8, 1);
    const uint8_t pairs[8] = {5, 5, 5, 0, 0, 5, 0, 0};
    std::memcpy(m4.row(0), pairs, 8);
    CopyThroughMaskRange(w4.end(), a4.end(), m4.end(), 8, 1, 9, pf4bit);
    EXPECT_EQ(std::vector<int>({w4.at(0, 0), w4.at(0, 1), w4.at(0, 2), w4.at(0, 3)}),
              std::vector<int>({0xAB, 0xA2, 0x1B, 0x12}));
}

TEST(MaskKernels, FadeLowersEveryByteButTheFullOnes) {
    Surface m(8, 1);
    const uint8_t values[8] = {255, 200, 7, 10, 11, 0, 254, 1};
    std::memcpy(m.row(0), values, 8);
    FadeMask(m.end(), 8, 8, Rect(0, 0, 8, 1), kNoExclude, false, 10);
    EXPECT_EQ(std::vector<uint8_t>(m.row(0), m.row(0) + 8), (std::vector<uint8_t>{255, 190, 0, 0, 1, 0, 244, 0}));
    FadeMask(m.end(), 8, 8, Rect(0, 0, 8, 1), kNoExclude, true, 10);
    EXPECT_EQ(std::vector<uint8_t>(m.row(0), m.row(0) + 8), (std::vector<uint8_t>{255, 0, 0, 0, 0, 0, 0, 0}));

    // From a previous mask: where it is 255 the destination is not written.
    Surface previous(8, 1), next(8, 1, 77);
    std::memcpy(previous.row(0), values, 8);
    FadeMaskFrom(next.end(), previous.end(), 8, 8, Rect(0, 0, 8, 1), kNoExclude, false, 10);
    EXPECT_EQ(std::vector<uint8_t>(next.row(0), next.row(0) + 8), (std::vector<uint8_t>{77, 190, 0, 0, 1, 0, 244, 0}));
}

// One pixel of each mask byte blended: arriving bytes 200, 0, 255, 100 and
// departing bytes 100, 255, 0, 100 per pixel.
std::vector<uint32_t> GradedBlend(const std::vector<uint8_t> &maskBytes) {
    const int n = static_cast<int>(maskBytes.size());
    Surface work(4 * n, 1), arriving(4 * n, 1), departing(4 * n, 1), mask(n, 1);
    for (int x = 0; x < n; ++x) {
        arriving.setWord(0, x, 0x64FF00C8u);
        departing.setWord(0, x, 0x6400FF64u);
        mask.at(0, x) = maskBytes[x];
    }
    const auto routine = CreateGradedBlendRoutine();
    BlendThroughMask8(*routine, work.end(), arriving.end(), departing.end(), mask.end(), n, n, 4 * n,
                      Rect(0, 0, n, 1), kNoExclude);
    std::vector<uint32_t> out;
    for (int x = 0; x < n; ++x) out.push_back(work.word(0, x));
    return out;
}

TEST(MaskKernels, GradedBlendWeighsByTheMaskByte) {
    // 0: the arriving pixel; 255: the departing one; 1: weight 2, so
    // 200 + floor(-100 * 2 / 256) = 199, 0 + floor(255 * 2 / 256) = 1,
    // 255 + floor(-255 * 2 / 256) = 253; 127: weight 128.
    EXPECT_EQ(GradedBlend({0, 255, 1, 127, 0, 0, 0, 0}),
              (std::vector<uint32_t>{0x64FF00C8u, 0x6400FF64u, 0x64FD01C7u, 0x647F7F96u, 0x64FF00C8u, 0x64FF00C8u,
                                     0x64FF00C8u, 0x64FF00C8u}));
}

// Pixels of weighted bytes 255 and base bytes 0, so each byte is the weight
// (at most 255) after the blend.
std::vector<int> WindowWeights(const std::vector<uint8_t> &maskBytes, int window, int threshold) {
    const int n = static_cast<int>(maskBytes.size());
    Surface work(4 * n, 1), weighted(4 * n, 1, 0xFF), base(4 * n, 1, 0), mask(n, 1);
    std::memcpy(mask.row(0), maskBytes.data(), maskBytes.size());
    const auto sub = CreateWindowBlendRoutine(window, false), add = CreateWindowBlendRoutine(window, true);
    BlendThroughMaskWindow(*sub, *add, work.end(), weighted.end(), base.end(), mask.end(), threshold, n, n, 4 * n,
                           Rect(0, 0, n, 1), kNoExclude);
    std::vector<int> out;
    for (int x = 0; x < n; ++x) out.push_back(work.at(0, 4 * x));
    return out;
}

TEST(MaskKernels, WindowedBlendWeighsByTheMaskAboveTheThreshold) {
    // Window 16 above 100: 100 or below gives the base, 116 or above the
    // weighted pixel (floor(255 * 256 / 256) = 255), 108 weight 128.
    EXPECT_EQ(WindowWeights({0, 100, 101, 108, 115, 116, 200, 255}, 16, 100),
              (std::vector<int>{0, 0, 15, 127, 239, 255, 255, 255}));
    // Threshold -20: a mask of 0 is already past the window's end.
    EXPECT_EQ(WindowWeights({0, 1, 255, 0, 0, 0, 0, 0}, 16, -20), (std::vector<int>{255, 255, 255, 255, 255, 255, 255, 255}));
    EXPECT_EQ(WindowWeights({0, 4, 8, 9, 255, 0, 0, 0}, 8, -4), (std::vector<int>{127, 255, 255, 255, 255, 127, 127, 127}));
    // Window 4 and 128 at threshold 0; thresholds beyond a byte.
    EXPECT_EQ(WindowWeights({0, 1, 2, 3, 4, 5, 64, 128}, 4, 0), (std::vector<int>{0, 63, 127, 191, 255, 255, 255, 255}));
    EXPECT_EQ(WindowWeights({0, 1, 2, 3, 4, 5, 64, 128}, 128, 0), (std::vector<int>{0, 1, 3, 5, 7, 9, 127, 255}));
    EXPECT_EQ(WindowWeights({0, 255, 0, 0, 0, 0, 0, 0}, 16, 1000), (std::vector<int>(8, 0)));
    EXPECT_EQ(WindowWeights({0, 255, 0, 0, 0, 0, 0, 0}, 16, -1000), (std::vector<int>(8, 255)));
}

TEST(MaskKernels, WindowRoutinesKeepTheirWindowAndDirection) {
    for (int w : {4, 8, 16, 32, 64, 128}) {
        EXPECT_EQ(CreateWindowBlendRoutine(w, false)->Window(), w);
        EXPECT_TRUE(CreateWindowBlendRoutine(w, true)->AddsThreshold());
        EXPECT_FALSE(CreateWindowBlendRoutine(w, false)->AddsThreshold());
    }
    EXPECT_EQ(CreateWindowBlendRoutine(0, false)->Window(), 4);
    EXPECT_EQ(CreateWindowBlendRoutine(100, false)->Window(), 64);
    EXPECT_EQ(CreateWindowBlendRoutine(1000, false)->Window(), 128);
}

// --- Property test -----------------------------------------------------------------------

struct Variant {
    std::string name;
    TKernelTable table;
};
std::vector<Variant> MaskVariants() {
    std::vector<Variant> out;
    for (const TKernelTable &t : testing::KernelVariants()) out.push_back({t.Name, t});
    return out;
}

// Random rectangles over a width x height image: often the whole image or
// whole rows, sometimes reaching out of it to the left, right and top;
// exclude rectangles often inside the update rectangle, sometimes empty or
// crossing its edges.
struct Region {
    RECT update, exclude;
};
Region RandomRegion(std::mt19937 &rng, int width, int height) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Region r{};
    switch (pick(0, 3)) {
    case 0: r.update = Rect(0, 0, width, height); break;
    case 1: r.update = Rect(pick(-9, 4), pick(0, height), pick(width - 4, width + 9), 0); break;
    default: r.update = Rect(pick(-3, width), pick(-1, height), 0, 0); r.update.right = pick(r.update.left, width + 3);
    }
    r.update.bottom = pick(std::max<int>(r.update.top, 0), height);
    const RECT &u = r.update;
    switch (pick(0, 3)) {
    case 0: r.exclude = kNoExclude; break;
    case 1: r.exclude = Rect(pick(-5, width), pick(-2, height), pick(-5, width + 5), pick(-2, height)); break;
    default: {
        const int l = pick(std::max<int>(u.left, 0), std::max<int>(u.right, 0));
        const int t = pick(std::max<int>(u.top, 0), std::max<int>(u.bottom, 0));
        r.exclude = Rect(l, t, pick(l, std::max<int>(u.right, l)), pick(t, std::max<int>(u.bottom, t)));
    }
    }
    return r;
}

// Mask bytes with long stretches of the values the kernels treat apart
// (0, 255, and the values near a threshold) between random ones.
void RandomMask(Surface &m, std::mt19937 &rng, std::vector<uint8_t> special) {
    special.push_back(0);
    special.push_back(255);
    uint8_t *p = m.row(m.height() - 1);
    const size_t n = static_cast<size_t>(m.stride()) * m.height();
    for (size_t i = 0; i < n;) {
        const size_t run = std::min<size_t>(n - i, 1 + rng() % 40);
        const bool random = rng() % 3 == 0;
        const uint8_t v = special[rng() % special.size()];
        for (size_t k = 0; k < run; ++k, ++i) {
            p[i] = random ? static_cast<uint8_t>(rng() >> 24) : v;
            if (!random && rng() % 16 == 0) p[i] = static_cast<uint8_t>(v + (rng() % 3) - 1);
        }
    }
}

int StrideOf(TPixelFormat f, int width) {
    switch (f) {
    case pf4bit: return width / 2;
    case pf8bit: return width;
    case pf15bit:
    case pf16bit: return 2 * width;
    case pf24bit: return 3 * width;
    default: return 4 * width;
    }
}

std::string Describe(const Variant &v, int width, int height, const Region &r) {
    return v.name + " " + std::to_string(width) + "x" + std::to_string(height) + " update (" +
           std::to_string(r.update.left) + "," + std::to_string(r.update.top) + "," + std::to_string(r.update.right) +
           "," + std::to_string(r.update.bottom) + ") exclude (" + std::to_string(r.exclude.left) + "," +
           std::to_string(r.exclude.top) + "," + std::to_string(r.exclude.right) + "," +
           std::to_string(r.exclude.bottom) + ")";
}

// Pixel columns outside the update rectangle rounded out to `granule`
// (and rows outside it) must keep their bytes.
void ExpectOutsideUntouched(Surface &after, Surface &before, int width, int granule, int bytesPerPixel8,
                            const RECT &update) {
    const int l = std::max<int>(update.left, 0) / granule * granule;
    const int r = (std::max<int>(update.right, 0) + granule - 1) / granule * granule;
    const bool wholeRows = l == 0 && r >= width;
    for (int y = 0; y < after.height(); ++y) {
        const bool inRows = y >= update.top && y < update.bottom;
        for (int b = 0; b < after.stride(); ++b) {
            const int x = b * 8 / bytesPerPixel8;
            if (inRows && (wholeRows || (x >= l && x < r))) continue;
            ASSERT_EQ(after.at(y, b), before.at(y, b)) << "row " << y << " byte " << b;
        }
    }
}

TEST(MaskKernelsProperty, OneBitKernelsMatchTheReferences) {
    const TPixelFormat formats[] = {pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};
    for (const Variant &v : MaskVariants()) {
        testing::ScopedKernels scoped(v.table);
        std::mt19937 rng(0x1B17);
        for (int round = 0; round < 300; ++round) {
            const int width = 32 * (1 + static_cast<int>(rng() % 5)), height = 1 + static_cast<int>(rng() % 9);
            const Region r = RandomRegion(rng, width, height);
            SCOPED_TRACE(Describe(v, width, height, r));
            const TPixelFormat f = formats[rng() % 6];
            const int stride = StrideOf(f, width);
            Surface mask(width / 8, height), arriving(stride, height), work(stride, height);
            RandomMask(mask, rng, {});
            arriving.randomize(rng);
            work.randomize(rng);
            Surface expected = work, before = work;
            testing::ReferenceCopyThroughMask1(expected.end(), arriving.end(), mask.end(), width, stride, width / 8, f,
                                               r.update, r.exclude);
            CopyThroughMask1(work.end(), arriving.end(), mask.end(), width, stride, width / 8, f, r.update, r.exclude);
            ASSERT_EQ(work.whole(), expected.whole()) << "copy, format " << f;
            ExpectOutsideUntouched(work, before, width, 8, BitsPerPixel(f), r.update);

            // The merge over the same mask and a revealed mask.
            Surface revealed(width / 8, height), mergedMask = mask, expectedMask = mask;
            RandomMask(revealed, rng, {});
            Surface expectedRevealed = revealed;
            testing::ReferenceMergeRevealedMask(expectedMask.end(), expectedRevealed.end(), width / 8, r.update,
                                                r.exclude);
            MergeRevealedMask(mergedMask.end(), revealed.end(), width / 8, r.update, r.exclude);
            ASSERT_EQ(mergedMask.whole(), expectedMask.whole()) << "merge, mask";
            ASSERT_EQ(revealed.whole(), expectedRevealed.whole()) << "merge, revealed";
            ExpectOutsideUntouched(mergedMask, mask, width, 32, 1, r.update);

            const int words = static_cast<int>(rng() % (width / 32 * height + 1));
            Surface inverted = mask;
            InvertMask(inverted.end(), words);
            for (int i = 0; i < width / 8 * height; ++i) {
                const uint8_t *m = mask.end() - 1 - i, *n = inverted.end() - 1 - i;
                ASSERT_EQ(*n, i < 4 * words ? static_cast<uint8_t>(~*m) : *m) << "invert, byte " << i;
            }
        }
    }
}

TEST(MaskKernelsProperty, EightBitKernelsMatchTheReferences) {
    const TPixelFormat formats[] = {pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit};
    for (const Variant &v : MaskVariants()) {
        testing::ScopedKernels scoped(v.table);
        std::mt19937 rng(0x8B17);
        for (int round = 0; round < 300; ++round) {
            const int width = 8 * (1 + static_cast<int>(rng() % 24)), height = 1 + static_cast<int>(rng() % 9);
            const Region r = RandomRegion(rng, width, height);
            SCOPED_TRACE(Describe(v, width, height, r));
            const auto lo = static_cast<uint8_t>(rng() >> 24), hi = static_cast<uint8_t>(rng() >> 24);
            const int threshold = static_cast<int>(rng() % 601) - 300;
            const int window = 4 << (rng() % 6);
            Surface mask(width, height);
            RandomMask(mask, rng, {lo, hi, static_cast<uint8_t>(threshold), static_cast<uint8_t>(threshold + window),
                                   static_cast<uint8_t>(-threshold)});

            // The range copy over the whole image, every format.
            const TPixelFormat f = formats[rng() % 6];
            const int stride = StrideOf(f, width);
            Surface arriving(stride, height), work(stride, height);
            arriving.randomize(rng);
            work.randomize(rng);
            Surface expected = work;
            const int count = width * height - static_cast<int>(rng() % 2) * 4 * static_cast<int>(rng() % 3);
            testing::ReferenceCopyThroughMaskRange(expected.end(), arriving.end(), mask.end(), count, lo, hi, f);
            CopyThroughMaskRange(work.end(), arriving.end(), mask.end(), count, lo, hi, f);
            ASSERT_EQ(work.whole(), expected.whole()) << "range copy, format " << f << " count " << count;

            // The fades, in place and from the mask into another.
            const bool toZero = rng() % 4 == 0;
            const auto amount = static_cast<uint8_t>(rng() % 3 == 0 ? rng() >> 24 : rng() % 16);
            Surface faded = mask, expectedFaded = mask;
            testing::ReferenceFadeMaskFrom(expectedFaded.end(), expectedFaded.end(), width, width, r.update, r.exclude,
                                           toZero, amount);
            FadeMask(faded.end(), width, width, r.update, r.exclude, toZero, amount);
            ASSERT_EQ(faded.whole(), expectedFaded.whole()) << "fade";
            ExpectOutsideUntouched(faded, mask, width, 8, 8, r.update);
            Surface into(width, height), expectedInto(width, height);
            into.randomize(rng);
            std::memcpy(expectedInto.row(height - 1), into.row(height - 1), static_cast<size_t>(width) * height);
            testing::ReferenceFadeMaskFrom(expectedInto.end(), mask.end(), width, width, r.update, r.exclude, toZero,
                                           amount);
            FadeMaskFrom(into.end(), mask.end(), width, width, r.update, r.exclude, toZero, amount);
            ASSERT_EQ(into.whole(), expectedInto.whole()) << "fade from";

            // The blends on 32-bit pixels.
            Surface a(4 * width, height), d(4 * width, height), w(4 * width, height);
            a.randomize(rng);
            d.randomize(rng);
            w.randomize(rng);
            Surface expectedBlend = w, before = w, windowed = w, expectedWindowed = w;
            const auto graded = CreateGradedBlendRoutine();
            testing::ReferenceBlendThroughMask8(expectedBlend.end(), a.end(), d.end(), mask.end(), width, width,
                                                4 * width, r.update, r.exclude);
            BlendThroughMask8(*graded, w.end(), a.end(), d.end(), mask.end(), width, width, 4 * width, r.update,
                              r.exclude);
            ASSERT_EQ(w.whole(), expectedBlend.whole()) << "graded blend";
            ExpectOutsideUntouched(w, before, width, 8, 32, r.update);

            const auto sub = CreateWindowBlendRoutine(window, false), add = CreateWindowBlendRoutine(window, true);
            testing::ReferenceBlendThroughMaskWindow(expectedWindowed.end(), a.end(), d.end(), mask.end(), threshold,
                                                     window, width, width, 4 * width, r.update, r.exclude);
            BlendThroughMaskWindow(*sub, *add, windowed.end(), a.end(), d.end(), mask.end(), threshold, width, width,
                                   4 * width, r.update, r.exclude);
            ASSERT_EQ(windowed.whole(), expectedWindowed.whole())
                << "windowed blend, window " << window << " threshold " << threshold;
        }
    }
}

// Every weight of both blends on every byte pair that matters: the blends'
// arithmetic alone, over one long row of every variant.
TEST(MaskKernelsProperty, BlendsMatchTheFormulaForEveryMaskByte) {
    const int width = 256, height = 64;
    Surface mask(width, height), a(4 * width, height), d(4 * width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            mask.at(y, x) = static_cast<uint8_t>(x);
            // Byte pairs of every distance, both ways.
            for (int c = 0; c < 4; ++c) {
                a.at(y, 4 * x + c) = static_cast<uint8_t>(y * 4 + c);
                d.at(y, 4 * x + c) = static_cast<uint8_t>(255 - y * 4 - c + x * 7);
            }
        }
    for (const Variant &v : MaskVariants()) {
        SCOPED_TRACE(v.name);
        testing::ScopedKernels scoped(v.table);
        Surface w(4 * width, height), expected(4 * width, height);
        const RECT all = Rect(0, 0, width, height);
        testing::ReferenceBlendThroughMask8(expected.end(), a.end(), d.end(), mask.end(), width, width, 4 * width,
                                            all, kNoExclude);
        BlendThroughMask8(*CreateGradedBlendRoutine(), w.end(), a.end(), d.end(), mask.end(), width, width,
                          4 * width, all, kNoExclude);
        ASSERT_EQ(w.whole(), expected.whole()) << "graded";
        for (int window = 4; window <= 128; window *= 2)
            for (int threshold : {-255, -130, -1, 0, 1, 77, 200, 255}) {
                const auto sub = CreateWindowBlendRoutine(window, false), add = CreateWindowBlendRoutine(window, true);
                testing::ReferenceBlendThroughMaskWindow(expected.end(), a.end(), d.end(), mask.end(), threshold,
                                                         window, width, width, 4 * width, all, kNoExclude);
                BlendThroughMaskWindow(*sub, *add, w.end(), a.end(), d.end(), mask.end(), threshold, width, width,
                                       4 * width, all, kNoExclude);
                ASSERT_EQ(w.whole(), expected.whole()) << "window " << window << " threshold " << threshold;
            }
    }
}

} // namespace
} // namespace qvt
