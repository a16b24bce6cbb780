/* Host-side extensions of the platform stand-in (not part of the platform's
 * own interface): hooks that let the host and the tests decide where message
 * boxes go, which clock drives the timers, what time of day the system
 * reports, and what CPUID reports.
 *
 * Each setter may be called at any time from any thread; NULL restores the
 * built-in behaviour. A hook must stay callable until it has been replaced. */
#ifndef QVT_QVTSYS_H
#define QVT_QVTSYS_H

#include "qvt/winbase.h"
#include "qvt/wintypes.h"

#define QVTSYSAPI QVT_EXTERN_C __attribute__((visibility("default")))

/* Receives every MessageBoxA call; its result is MessageBoxA's result. text
 * and caption are never NULL. Without a handler a box is written to stderr
 * as "caption: text" and a newline, and answered with IDOK. */
typedef int (*QvtMessageBoxProc)(void *user, HWND owner, const char *text, const char *caption,
                                 UINT type);
QVTSYSAPI void QvtSetMessageBoxHandler(QvtMessageBoxProc proc, void *user);

/* Replaces the performance counter: QueryPerformanceCounter returns
 * proc(user), QueryPerformanceFrequency returns frequency, and timeGetTime
 * returns proc(user) * 1000 / frequency milliseconds (wrapping at 2^32). A
 * frequency of 0 (or below) stands for a machine without a counter: both
 * QueryPerformance calls fail and report 0, and timeGetTime keeps the
 * system's millisecond clock. */
typedef LONGLONG (*QvtClockProc)(void *user);
QVTSYSAPI void QvtSetPerformanceClock(QvtClockProc proc, LONGLONG frequency, void *user);

/* Holds GetSystemTime at *time (copied) until it is called again; NULL lets
 * it follow the system clock again. For hosts that need runs of effects
 * which seed themselves from the clock to be repeatable. */
QVTSYSAPI void QvtSetFixedSystemTime(const SYSTEMTIME *time);

/* Executes CPUID for leaf (sub-leaf 0) and stores EAX, EBX, ECX, EDX in
 * regs[0..3]. FALSE, with regs zeroed, when the processor has no CPUID or
 * the leaf is above the highest leaf of its range (standard 0x0..., extended
 * 0x8...). A hook set with QvtSetCpuidHook answers instead of the
 * processor. */
typedef BOOL (*QvtCpuidProc)(void *user, DWORD leaf, DWORD regs[4]);
QVTSYSAPI BOOL QvtCpuid(DWORD leaf, DWORD regs[4]);
QVTSYSAPI void QvtSetCpuidHook(QvtCpuidProc proc, void *user);

#endif
