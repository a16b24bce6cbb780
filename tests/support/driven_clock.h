// A performance counter in microseconds that the test drives: it moves only
// when told to, plus a few ticks per reading so that busy waits on it
// finish. While one exists it replaces the platform's counter for the whole
// process, plug-in modules included.
#ifndef QVT_TESTS_DRIVEN_CLOCK_H
#define QVT_TESTS_DRIVEN_CLOCK_H

#include <windows.h>

#include "qvt/qvtsys.h"

struct DrivenClock {
    int64_t micros = 0;
    int64_t perRead;
    explicit DrivenClock(int64_t ticksPerRead = 1) : perRead(ticksPerRead) {
        QvtSetPerformanceClock(&Read, 1000000, this);
    }
    ~DrivenClock() { QvtSetPerformanceClock(nullptr, 0, nullptr); }
    DrivenClock(const DrivenClock &) = delete;
    DrivenClock &operator=(const DrivenClock &) = delete;
    static LONGLONG Read(void *user) {
        auto *c = static_cast<DrivenClock *>(user);
        c->micros += c->perRead;
        return c->micros;
    }
    double ms() const { return static_cast<double>(micros) / 1000.0; }
    void advance(double milliseconds) { micros += static_cast<int64_t>(milliseconds * 1000); }
};

#endif
