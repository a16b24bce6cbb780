// Time services: UTC system time, the performance counter, the multimedia
// millisecond clock, timer-resolution requests and Sleep.
//
// The performance counter and the millisecond clock read CLOCK_MONOTONIC
// (nanosecond ticks) unless the host replaced the clock, which lets tests
// drive time without waiting for it.

#include "qvt/mmsystem.h"
#include "qvt/qvtsys.h"
#include "qvt/winbase.h"

#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace {

constexpr LONGLONG kNanosecondsPerSecond = 1000000000;

struct ReplacedClock {
    QvtClockProc proc = nullptr;
    LONGLONG frequency = 0;
    void *user = nullptr;
};

// The flag keeps the common case (system clock) free of locking.
std::atomic<bool> g_clockReplaced{false};
std::mutex g_clockMutex;
ReplacedClock g_clock;

// Copies the replaced clock out; the procedure is called without the lock
// held so that it may itself read or replace the clock.
bool replacedClock(ReplacedClock &out) {
    if (!g_clockReplaced.load(std::memory_order_acquire)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_clockMutex);
    out = g_clock;
    return out.proc != nullptr;
}

LONGLONG monotonicNanoseconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<LONGLONG>(ts.tv_sec) * kNanosecondsPerSecond + ts.tv_nsec;
}

} // namespace

QVTSYSAPI void QvtSetPerformanceClock(QvtClockProc proc, LONGLONG frequency, void *user) {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    g_clock.proc = proc;
    g_clock.frequency = proc != nullptr && frequency > 0 ? frequency : 0;
    g_clock.user = proc != nullptr ? user : nullptr;
    g_clockReplaced.store(proc != nullptr, std::memory_order_release);
}

WINBASEAPI BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency) {
    if (lpFrequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReplacedClock clock;
    if (!replacedClock(clock)) {
        lpFrequency->QuadPart = kNanosecondsPerSecond;
        return TRUE;
    }
    lpFrequency->QuadPart = clock.frequency;
    return clock.frequency != 0;
}

WINBASEAPI BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount) {
    if (lpPerformanceCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReplacedClock clock;
    if (!replacedClock(clock)) {
        lpPerformanceCount->QuadPart = monotonicNanoseconds();
        return TRUE;
    }
    if (clock.frequency == 0) {  // a machine without a counter
        lpPerformanceCount->QuadPart = 0;
        return FALSE;
    }
    lpPerformanceCount->QuadPart = clock.proc(clock.user);
    return TRUE;
}

WINMMAPI DWORD WINAPI timeGetTime(void) {
    ReplacedClock clock;
    if (replacedClock(clock) && clock.frequency != 0) {
        // 128-bit product: ticks * 1000 overflows 64 bits long before the
        // tick count itself does.
        const __int128 ms = static_cast<__int128>(clock.proc(clock.user)) * 1000 / clock.frequency;
        return static_cast<DWORD>(ms);
    }
    return static_cast<DWORD>(static_cast<uint64_t>(monotonicNanoseconds()) / 1000000u);
}

WINMMAPI MMRESULT WINAPI timeBeginPeriod(UINT uPeriod) {
    return uPeriod == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

WINMMAPI MMRESULT WINAPI timeEndPeriod(UINT uPeriod) {
    return uPeriod == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

namespace {

std::atomic<bool> g_timeFixed{false};
SYSTEMTIME g_fixedTime{};

} // namespace

QVTSYSAPI void QvtSetFixedSystemTime(const SYSTEMTIME *time) {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (time != nullptr) g_fixedTime = *time;
    g_timeFixed.store(time != nullptr, std::memory_order_release);
}

WINBASEAPI void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (lpSystemTime == nullptr) {
        return;
    }
    if (g_timeFixed.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        if (g_timeFixed.load(std::memory_order_relaxed)) {
            *lpSystemTime = g_fixedTime;
            return;
        }
    }
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm utc{};
    const time_t seconds = ts.tv_sec;
    gmtime_r(&seconds, &utc);
    lpSystemTime->wYear = static_cast<WORD>(utc.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(utc.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(utc.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(utc.tm_min);
    // A leap second (tm_sec 60) is reported as the last second of the minute.
    lpSystemTime->wSecond = static_cast<WORD>(utc.tm_sec < 60 ? utc.tm_sec : 59);
    lpSystemTime->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            pause();
        }
    }
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(dwMilliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    // Signals do not cut the sleep short.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
