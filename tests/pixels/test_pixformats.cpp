// Display formats, scan lines, palettes and processor features.
#include <gtest/gtest.h>

#include <map>

#include "pixels/PixFormats.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"
#include "qvt/qvtsys.h"

namespace qvt {
namespace {

class DisplayFormats : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(DisplayFormats, EachDisplayDepthGivesItsPixelFormat) {
    const std::pair<int, TPixelFormat> cases[] = {{1, pf1bit},   {4, pf4bit},   {8, pf8bit},  {15, pf15bit},
                                                  {16, pf16bit}, {24, pf24bit}, {32, pf32bit}};
    for (auto [depth, format] : cases) {
        SCOPED_TRACE(depth);
        ASSERT_TRUE(QvtSetDisplayDepth(depth));
        EXPECT_EQ(GetDevicePixelFormat(true), format);
        EXPECT_EQ(IsPaletteDisplay(false), depth == 8);
        EXPECT_EQ(IsTrueColorDisplay(false), depth > 8);
    }
    // Unlisted depths are taken as true colour.
    for (int depth : {0, 2, 48, 7}) EXPECT_EQ(PixelFormatOfDepth(depth), pf24bit) << depth;
}

TEST_F(DisplayFormats, TheHighColourProbeRunsOnlyOnRefresh) {
    EXPECT_EQ(HighColorFormatFromGreenLevels(32), pf15bit);
    EXPECT_EQ(HighColorFormatFromGreenLevels(33), pf16bit);
    ASSERT_TRUE(QvtSetDisplayDepth(15));
    EXPECT_EQ(GetDevicePixelFormat(true), pf15bit);
    // A 5-6-5 display without refresh: the last verdict stands.
    ASSERT_TRUE(QvtSetDisplayDepth(16));
    EXPECT_EQ(GetDevicePixelFormat(false), pf15bit);
    EXPECT_EQ(GetDevicePixelFormat(true), pf16bit);
}

TEST(ScanLines, BytesPerScanLineRoundsToTheAlignment) {
    struct Case {
        int width;
        TPixelFormat format;
        int bytes;
    } cases[] = {{1, pf24bit, 4}, {3, pf1bit, 4},  {5, pf4bit, 4},   {5, pf8bit, 8},  {5, pf15bit, 12},
                 {5, pf16bit, 12}, {5, pf24bit, 16}, {5, pf32bit, 20}, {33, pf1bit, 8}, {7, pfDevice, 0},
                 {7, pfCustom, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " px, format " << int(c.format));
        rtl::TBitmap b;
        b.SetPixelFormat(pf32bit);
        b.SetSize(c.width, 1);
        EXPECT_EQ(BytesPerScanLine(b, c.format, 32), c.bytes);
    }
    EXPECT_EQ(BitsPerPixel(pf15bit), 16);
}

TEST(Palettes, GreyRampAndSystemPaletteCopy) {
    HPALETTE grey = CreateGrayscalePalette();
    PALETTEENTRY e[256];
    ASSERT_EQ(GetPaletteEntries(grey, 0, 256, e), 256u);
    EXPECT_EQ(e[0].peRed, 0);
    EXPECT_EQ(e[200].peGreen, 200);
    EXPECT_EQ(e[255].peBlue, 255);
    DeleteObject(grey);

    ASSERT_TRUE(QvtSetDisplayDepth(8));
    HPALETTE system = CreateSystemPaletteCopy();
    EXPECT_EQ(GetPaletteEntries(system, 0, 0, nullptr), 256u);
    DeleteObject(system);
    // pf8bit without a palette gets the system palette; pf4bit gets none.
    rtl::TBitmap b8, b4;
    SetupBitmap(b8, nullptr, 4, pf8bit, 3);
    EXPECT_NE(b8.Palette(), nullptr);
    EXPECT_EQ(b8.Width(), 4);
    EXPECT_EQ(b8.Height(), 3);
    SetupBitmap(b4, nullptr, 4, pf4bit, 3);
    EXPECT_EQ(b4.Palette(), nullptr);
    EXPECT_EQ(b4.PixelFormat(), pf4bit);
    rtl::TBitmap mono;
    SetupBitmap(mono, nullptr, 9, pf1bit, 2);
    EXPECT_TRUE(mono.Monochrome());
    QvtSetDisplayDepth(32);
}

// CPUID answers from a table of synthetic registers.
struct FakeCpu {
    std::map<DWORD, std::array<DWORD, 4>> leaves; // EAX, EBX, ECX, EDX
    bool present = true;
    static BOOL Answer(void *user, DWORD leaf, DWORD regs[4]) {
        auto *cpu = static_cast<FakeCpu *>(user);
        regs[0] = regs[1] = regs[2] = regs[3] = 0;
        if (!cpu->present) return FALSE;
        auto it = cpu->leaves.find(leaf);
        if (it == cpu->leaves.end()) return FALSE;
        for (int i = 0; i < 4; ++i) regs[i] = it->second[i];
        return TRUE;
    }
    uint32_t Detect() {
        QvtSetCpuidHook(&FakeCpu::Answer, this);
        uint32_t f = DetectProcessorFeatures();
        QvtSetCpuidHook(nullptr, nullptr);
        return f;
    }
};

// "AuthenticAMD" as EBX, EDX, ECX.
constexpr DWORD kAmd[3] = {0x68747541, 0x69746E65, 0x444D4163};
constexpr DWORD kIntel[3] = {0x756E6547, 0x49656E69, 0x6C65746E};

FakeCpu cpu(const DWORD vendor[3], DWORD maxStd, DWORD signature, DWORD edx1, DWORD maxExt, DWORD edxExt) {
    FakeCpu c;
    c.leaves[0] = {maxStd, vendor[0], vendor[2], vendor[1]};
    c.leaves[1] = {signature, 0, 0, edx1};
    c.leaves[0x80000000u] = {maxExt, 0, 0, 0};
    c.leaves[0x80000001u] = {0, 0, 0, edxExt};
    return c;
}

TEST(ProcessorFeatures, FeatureWordFollowsTheRegisterBits) {
    const DWORD sse = 1u << 25, mmx = 1u << 23, tsc = 1u << 4, cmov = 1u << 15, mtrr = 1u << 12;
    const DWORD amdMmx = 1u << 22, ext3dnow = 1u << 30, now3d = 1u << 31;
    struct Case {
        const char *name;
        FakeCpu cpu;
        uint32_t expected;
    } cases[] = {
        {"no CPUID", [] { FakeCpu c; c.present = false; return c; }(), 0},
        {"leaf 0 only", cpu(kIntel, 0, 0, 0, 0, 0), pfeCpuid},
        {"modern AMD", cpu(kAmd, 13, 0xA50F00, 0x178BFBFF, 0x80000021u, amdMmx),
         pfeCpuid | pfeStandardLeaves | pfeExtendedLeaves | pfeTsc | pfeMmx | pfeCmov | pfeMtrr | pfeMmxExt | pfeSse},
        {"SSE sets both bits whatever the vendor", cpu(kIntel, 1, 0x6F2, sse | mmx, 0x80000000u, 0),
         pfeCpuid | pfeStandardLeaves | pfeMmx | pfeMmxExt | pfeSse},
        {"non-AMD without SSE ignores the AMD MMX bit", cpu(kIntel, 1, 0x543, mmx | tsc | mtrr, 0x80000001u, amdMmx | now3d),
         pfeCpuid | pfeStandardLeaves | pfeExtendedLeaves | pfeMmx | pfeTsc | pfeMtrr | pfe3DNow},
        {"AMD without SSE takes the AMD MMX bit", cpu(kAmd, 1, 0x58C, mmx | cmov, 0x80000001u, amdMmx | ext3dnow | now3d),
         pfeCpuid | pfeStandardLeaves | pfeExtendedLeaves | pfeMmx | pfeCmov | pfeMmxExt | pfe3DNow | pfe3DNowExt |
             pfeAmdK6Family},
        {"AMD signature 0x600 is past the K6 range", cpu(kAmd, 1, 0x600, mmx, 0x80000001u, 0),
         pfeCpuid | pfeStandardLeaves | pfeExtendedLeaves | pfeMmx},
        {"highest extended leaf exactly 0x80000000 skips the AMD rules",
         cpu(kAmd, 1, 0x58C, mmx, 0x80000000u, amdMmx | now3d | ext3dnow), pfeCpuid | pfeStandardLeaves | pfeMmx},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.cpu.Detect(), c.expected);
    }
}

TEST(ProcessorFeatures, StartUpSetsTheFlagsFromTheFeatureWord) {
    InitializePixelServices();
    uint32_t f = DetectProcessorFeatures();
    EXPECT_EQ(MMXAvailable, (f & pfeMmx) != 0);
    EXPECT_EQ(ExtendedMMXAvailable, (f & pfeMmxExt) != 0);
#if defined(__x86_64__)
    EXPECT_TRUE(MMXAvailable); // part of the architecture
#endif
}

} // namespace
} // namespace qvt
