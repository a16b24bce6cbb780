// A stopwatch in milliseconds over the high-resolution performance counter,
// or over the multimedia timer where no counter exists.
#ifndef QVT_ENGINE_TECHRONO_H
#define QVT_ENGINE_TECHRONO_H

#include <cstdint>

namespace qvt {

class TTEChrono {
public:
    TTEChrono();
    ~TTEChrono();
    TTEChrono(const TTEChrono &) = delete;
    TTEChrono &operator=(const TTEChrono &) = delete;

    // Starts a stopped or paused clock; a running clock keeps its start.
    void Start();
    // Milliseconds gathered: frozen while stopped or paused.
    double Elapsed() const;
    // Stops the clock keeping the time gathered.
    void Pause();
    // Stops the clock and forgets the time gathered.
    void Reset();

    bool IsPaused() const { return Paused; }
    bool IsStopped() const { return Stopped; }

    double Accumulated = 0;
    bool Paused = false;
    bool Stopped = true;
    bool HighResolution = false;
    int64_t Frequency = 0;
    int64_t StartStamp = 0;

private:
    int64_t Now() const;
    bool periodRaised_ = false;
};

} // namespace qvt

#endif
