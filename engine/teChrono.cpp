// Stopwatch.
#include "engine/teChrono.h"

#include <windows.h>

namespace qvt {

TTEChrono::TTEChrono() {
    LARGE_INTEGER f{};
    HighResolution = QueryPerformanceFrequency(&f) != FALSE && f.QuadPart > 0;
    Frequency = HighResolution ? f.QuadPart : 0;
    if (!HighResolution) {
        // Millisecond resolution from the multimedia timer.
        timeBeginPeriod(1);
        periodRaised_ = true;
    }
}

TTEChrono::~TTEChrono() {
    if (periodRaised_) timeEndPeriod(1);
}

int64_t TTEChrono::Now() const {
    if (HighResolution) {
        LARGE_INTEGER c{};
        QueryPerformanceCounter(&c);
        return c.QuadPart;
    }
    return static_cast<int64_t>(timeGetTime());
}

void TTEChrono::Start() {
    if (!Stopped && !Paused) return;
    StartStamp = Now();
    Stopped = false;
    Paused = false;
}

double TTEChrono::Elapsed() const {
    if (Stopped || Paused) return Accumulated;
    if (HighResolution) return static_cast<double>(Now() - StartStamp) * 1000.0 / static_cast<double>(Frequency) + Accumulated;
    // The millisecond timer wraps at 2^32: take the difference modulo 2^32.
    uint32_t ms = static_cast<uint32_t>(Now()) - static_cast<uint32_t>(StartStamp);
    return static_cast<double>(ms) + Accumulated;
}

void TTEChrono::Pause() {
    if (Stopped || Paused) return;
    Accumulated = Elapsed();
    Paused = true;
    StartStamp = 0;
}

void TTEChrono::Reset() {
    Pause();
    Accumulated = 0;
    Stopped = true;
}

} // namespace qvt
