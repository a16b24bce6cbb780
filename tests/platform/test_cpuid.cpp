// CPUID: the real instruction on this machine, its range checks, and the
// hook that presents a synthetic processor.

#include "qvt/qvtsys.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QVT_TEST_X86 1
#else
#define QVT_TEST_X86 0
#endif

namespace {

std::string vendorOf(const DWORD regs[4]) {
    char vendor[13];
    std::memcpy(vendor, &regs[1], 4);  // EBX, EDX, ECX
    std::memcpy(vendor + 4, &regs[3], 4);
    std::memcpy(vendor + 8, &regs[2], 4);
    vendor[12] = '\0';
    return vendor;
}

bool allZero(const DWORD regs[4]) {
    return regs[0] == 0 && regs[1] == 0 && regs[2] == 0 && regs[3] == 0;
}

class Cpuid : public testing::Test {
protected:
    void TearDown() override { QvtSetCpuidHook(nullptr, nullptr); }
};

} // namespace

#if QVT_TEST_X86

TEST_F(Cpuid, ReportsThisProcessorsVendorAndLeafRanges) {
    DWORD regs[4] = {};
    ASSERT_TRUE(QvtCpuid(0, regs));
    const DWORD maxStandard = regs[0];
    EXPECT_GE(maxStandard, 1u);
    const std::string vendor = vendorOf(regs);
    EXPECT_EQ(vendor.size(), 12u) << vendor;
    for (char ch : vendor) {
        EXPECT_TRUE(std::isprint(static_cast<unsigned char>(ch))) << vendor;
    }

    ASSERT_TRUE(QvtCpuid(0x80000000u, regs));
    const DWORD maxExtended = regs[0];
    EXPECT_GE(maxExtended, 0x80000000u);

    struct Case {
        const char *what;
        DWORD leaf;
        BOOL exists;
    };
    const Case cases[] = {
        {"signature and features", 1, TRUE},
        {"highest standard leaf", maxStandard, TRUE},
        {"past the standard range", maxStandard + 1, FALSE},
        {"highest extended leaf", maxExtended, TRUE},
        {"past the extended range", maxExtended + 1, FALSE},
        {"unused range", 0x90000000u, FALSE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DWORD out[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
        EXPECT_EQ(QvtCpuid(c.leaf, out), c.exists);
        if (!c.exists) {
            EXPECT_TRUE(allZero(out)) << "a missing leaf reports zeros";
        }
    }
}

TEST_F(Cpuid, AsksForSubLeafZero) {
    DWORD regs[4] = {};
    ASSERT_TRUE(QvtCpuid(0, regs));
    if (regs[0] < 7) {
        GTEST_SKIP() << "no leaf 7 on this processor";
    }
    // Leaf 7 answers per sub-leaf (ECX in); sub-leaf 0 holds the feature flags.
    unsigned a, b, c, d;
    __cpuid_count(7, 0, a, b, c, d);
    ASSERT_TRUE(QvtCpuid(7, regs));
    EXPECT_EQ(regs[0], a);
    EXPECT_EQ(regs[1], b);
    EXPECT_EQ(regs[2], c);
    EXPECT_EQ(regs[3], d);
}

#else

TEST_F(Cpuid, ProcessorWithoutCpuidAnswersNothing) {
    DWORD regs[4] = {1, 2, 3, 4};
    EXPECT_FALSE(QvtCpuid(0, regs));
    EXPECT_TRUE(allZero(regs));
}

#endif

namespace {

// The AMD processor observed in the platform notes: leaf 1 EDX 0x178BFBFF,
// AMD MMX extensions but no 3DNow!.
struct SyntheticCpu {
    int calls = 0;
    DWORD lastLeaf = 0;
};

BOOL syntheticAmd(void *user, DWORD leaf, DWORD regs[4]) {
    auto *cpu = static_cast<SyntheticCpu *>(user);
    ++cpu->calls;
    cpu->lastLeaf = leaf;
    switch (leaf) {
    case 0:
        regs[0] = 1;
        std::memcpy(&regs[1], "Auth", 4);
        std::memcpy(&regs[3], "enti", 4);
        std::memcpy(&regs[2], "cAMD", 4);
        return TRUE;
    case 1:
        regs[0] = 0x00A20F12;
        regs[1] = 0;
        regs[2] = 0;
        regs[3] = 0x178BFBFF;
        return TRUE;
    default:
        regs[0] = regs[1] = regs[2] = regs[3] = 0xBAD;  // junk the caller must not see
        return FALSE;
    }
}

} // namespace

TEST_F(Cpuid, HookPresentsASyntheticProcessor) {
    SyntheticCpu cpu;
    QvtSetCpuidHook(syntheticAmd, &cpu);

    DWORD regs[4] = {};
    ASSERT_TRUE(QvtCpuid(0, regs));
    EXPECT_EQ(vendorOf(regs), "AuthenticAMD");
    ASSERT_TRUE(QvtCpuid(1, regs));
    EXPECT_EQ(regs[0], 0x00A20F12u);
    EXPECT_EQ(regs[3], 0x178BFBFFu);

    EXPECT_FALSE(QvtCpuid(0x80000001u, regs));
    EXPECT_EQ(cpu.lastLeaf, 0x80000001u);
    EXPECT_TRUE(allZero(regs)) << "a failed query hides what the hook left behind";
    EXPECT_EQ(cpu.calls, 3);

    EXPECT_FALSE(QvtCpuid(0, nullptr));
    EXPECT_EQ(cpu.calls, 3) << "nowhere to store the answer: not asked";
}

TEST_F(Cpuid, RemovingTheHookRestoresTheProcessor) {
    SyntheticCpu cpu;
    QvtSetCpuidHook(syntheticAmd, &cpu);
    QvtSetCpuidHook(nullptr, nullptr);

    DWORD regs[4] = {};
    const BOOL answered = QvtCpuid(0, regs);
    EXPECT_EQ(cpu.calls, 0);
#if QVT_TEST_X86
    unsigned a, b, c, d;
    __cpuid(0, a, b, c, d);
    ASSERT_TRUE(answered);
    EXPECT_EQ(regs[0], a);
    EXPECT_EQ(regs[1], b);
    EXPECT_EQ(regs[2], c);
    EXPECT_EQ(regs[3], d);
#else
    EXPECT_FALSE(answered);
#endif
}
