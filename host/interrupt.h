// Stopping a run on SIGINT, SIGTERM or SIGHUP: the handler only records the
// signal; the run notices it at its next frame or wait, unwinds (its
// writers remove what they made and stop ffmpeg) and main then ends the
// program with that signal, so the caller sees the usual 128 + signal.
#ifndef QVT_HOST_INTERRUPT_H
#define QVT_HOST_INTERRUPT_H

#include <exception>

namespace qvt::host {

class Interrupted : public std::exception {
public:
    explicit Interrupted(int signal) : signal_(signal) {}
    const char *what() const noexcept override { return "interrupted"; }
    int Signal() const { return signal_; }

private:
    int signal_;
};

// Installs the handlers (without SA_RESTART, so that a blocked write or wait
// returns and sees the signal).
void CatchStopSignals();

// The signal received, or 0.
int StopSignal();

// Raises Interrupted when a signal has come.
void ThrowIfStopped();

// Ends the program by the signal, with its default action.
[[noreturn]] void DieBySignal(int signal);

} // namespace qvt::host

#endif
