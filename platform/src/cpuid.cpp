// CPUID access for the processor-feature detection of the engine, with a
// hook that lets tests present any processor.

#include "qvt/qvtsys.h"

#include <cstring>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QVT_HAVE_CPUID 1
#else
#define QVT_HAVE_CPUID 0
#endif

namespace {

std::mutex g_cpuidMutex;
QvtCpuidProc g_cpuidProc = nullptr;
void *g_cpuidUser = nullptr;

BOOL processorCpuid(DWORD leaf, DWORD regs[4]) {
#if QVT_HAVE_CPUID
    // Checks the leaf against the highest leaf of its range (and, on 32-bit
    // processors, that CPUID exists) before executing it. Sub-leaf 0 is
    // passed explicitly: leaves such as 4 and 7 read ECX as an input.
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_count(leaf, 0, &a, &b, &c, &d) == 0) {
        return FALSE;
    }
    regs[0] = a;
    regs[1] = b;
    regs[2] = c;
    regs[3] = d;
    return TRUE;
#else
    (void)leaf;
    (void)regs;
    return FALSE;
#endif
}

} // namespace

QVTSYSAPI void QvtSetCpuidHook(QvtCpuidProc proc, void *user) {
    std::lock_guard<std::mutex> lock(g_cpuidMutex);
    g_cpuidProc = proc;
    g_cpuidUser = proc != nullptr ? user : nullptr;
}

QVTSYSAPI BOOL QvtCpuid(DWORD leaf, DWORD regs[4]) {
    if (regs == nullptr) {
        return FALSE;
    }
    QvtCpuidProc proc;
    void *user;
    {
        std::lock_guard<std::mutex> lock(g_cpuidMutex);
        proc = g_cpuidProc;
        user = g_cpuidUser;
    }
    DWORD out[4] = {0, 0, 0, 0};
    const BOOL ok = proc != nullptr ? proc(user, leaf, out) : processorCpuid(leaf, out);
    // A failed query reports all-zero registers whatever was left in them.
    if (!ok) {
        std::memset(out, 0, sizeof out);
    }
    std::memcpy(regs, out, sizeof out);
    return ok ? TRUE : FALSE;
}
