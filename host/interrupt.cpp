// The stop signals.
#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace qvt::host {

namespace {

volatile sig_atomic_t received = 0;

void onSignal(int signal) {
    if (!received) received = signal;
}

} // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int StopSignal() { return received; }

void ThrowIfStopped() {
    if (received) throw Interrupted(received);
}

void DieBySignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

} // namespace qvt::host
