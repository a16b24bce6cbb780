// The kernel table and the processor features that choose it.
#include "pixels/Kernels.h"

#include "qvt/qvtsys.h"

namespace qvt {

namespace {

TKernelTable &activeTable() {
    static TKernelTable table = [] {
        TKernelTable t;
        FillPlainKernels(t);
        FillPlainMaskKernels(t);
        return t;
    }();
    return table;
}

#if defined(__x86_64__) || defined(__i386__)
// The register state the operating system saves on a task switch (XCR0).
uint64_t savedRegisterState() {
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t{hi} << 32) | lo;
}
#endif

// Fills `table` for the features: plain first, then each instruction set the
// processor has overrides what it offers.
TKernelTable tableFor(const TProcessorFeatures &features, bool streaming) {
    TKernelTable table;
    FillPlainKernels(table);
    FillPlainMaskKernels(table);
    if (features.Sse2) {
        FillSse2Kernels(table, streaming);
        FillSse2MaskKernels(table, streaming);
    }
    if (features.Avx2) {
        FillAvx2Kernels(table, streaming);
        FillAvx2MaskKernels(table, streaming);
        if (features.Avx512) FillAvx512Kernels(table, streaming);
    }
    return table;
}

} // namespace

TProcessorFeatures ReadProcessorFeatures() {
    TProcessorFeatures f;
    f.Word = DetectProcessorFeatures();
    if (!(f.Word & pfeStandardLeaves)) return f;
    DWORD r[4];
    QvtCpuid(0, r);
    const DWORD highest = r[0];
    QvtCpuid(1, r);
    const DWORD ecx1 = r[2], edx1 = r[3];
    f.Sse2 = (edx1 & (1u << 26)) != 0;
    // AVX2 needs the processor's leaf 7 bit and an operating system that
    // saves the 256-bit registers (OSXSAVE, AVX, and XCR0 bits 1 and 2).
    const bool osSaves = (ecx1 & (1u << 27)) && (ecx1 & (1u << 28));
    if (highest >= 7 && osSaves) {
        QvtCpuid(7, r);
#if defined(__x86_64__) || defined(__i386__)
        const uint64_t saved = savedRegisterState();
        f.Avx2 = (r[1] & (1u << 5)) && (saved & 6) == 6;
        // AVX-512 F (bit 16) and BW (bit 30), with the mask and upper
        // register state saved too (XCR0 bits 5 to 7).
        f.Avx512 = f.Avx2 && (r[1] & (1u << 16)) && (r[1] & (1u << 30)) && (saved & 0xE0) == 0xE0;
#endif
    }
    return f;
}

void SelectKernels(const TProcessorFeatures &features, bool streaming) {
    activeTable() = tableFor(features, streaming);
}

const TKernelTable &Kernels() { return activeTable(); }

namespace testing {

std::vector<TKernelTable> KernelVariants() {
    const TProcessorFeatures f = ReadProcessorFeatures();
    std::vector<TKernelTable> out{tableFor(TProcessorFeatures{}, false)};
    for (bool streaming : {false, true}) {
        if (f.Sse2) out.push_back(tableFor(TProcessorFeatures{f.Word, true, false}, streaming));
        if (f.Sse2 && f.Avx2) out.push_back(tableFor(TProcessorFeatures{f.Word, true, true, false}, streaming));
        if (f.Sse2 && f.Avx512) out.push_back(tableFor(TProcessorFeatures{f.Word, true, true, true}, streaming));
    }
    return out;
}

ScopedKernels::ScopedKernels(const TKernelTable &table) : saved_(activeTable()) { activeTable() = table; }
ScopedKernels::~ScopedKernels() { activeTable() = saved_; }

} // namespace testing

} // namespace qvt
