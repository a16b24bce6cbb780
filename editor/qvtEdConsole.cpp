// The editor's terminal.
#include "editor/qvtEdConsole.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace qvt::editor {

TDialogIO::TLine TConsoleIO::ReadLine(std::string &line) {
    line.clear();
    if (ended_) return TLine::End;
    bool tooLong = false;
    for (;;) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The end of the input (or an error reading it) ends the dialog;
            // a last line without a line end still counts.
            ended_ = true;
            if (tooLong) return TLine::TooLong;
            return line.empty() ? TLine::End : TLine::Line;
        }
        if (c == '\n') break;
        if (line.size() >= kMaxLine) {
            tooLong = true;
            line.clear();
        }
        if (!tooLong) line += c;
    }
    if (tooLong) return TLine::TooLong;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return TLine::Line;
}

void TConsoleIO::Write(std::string_view text) {
    // A write to a closed pipe raises SIGPIPE, which would end the host:
    // block it meanwhile and take back a signal that this write caused.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    bool broken = false;
    while (!text.empty()) {
        const ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            broken = n < 0 && errno == EPIPE;
            break;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    if (broken && !alreadyPending) {
        const timespec now{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace qvt::editor
