// The progress bar.
#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace qvt::host {

namespace {
Verbosity verbosity = Verbosity::Normal;
}

void SetVerbosity(Verbosity v) { verbosity = v; }
Verbosity CurrentVerbosity() { return verbosity; }

Progress::Progress(std::string label, int total)
    : label_(std::move(label)), total_(total),
      active_(verbosity != Verbosity::Quiet && isatty(STDERR_FILENO) == 1) {
    draw();
}

Progress::~Progress() {
    if (!active_) return;
    // Clear the line: what follows starts on a clean one.
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

void Progress::Step() {
    ++done_;
    draw();
}

void Progress::draw() {
    if (!active_) return;
    constexpr int kWidth = 30;
    if (total_ > 0) {
        const int filled = (done_ < total_ ? done_ : total_) * kWidth / total_;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kWidth - filled), '.');
        std::fprintf(stderr, "\r%s [%s] %d/%d", label_.c_str(), bar.c_str(), done_, total_);
    } else {
        std::fprintf(stderr, "\r%s %d frames", label_.c_str(), done_);
    }
    std::fflush(stderr);
}

} // namespace qvt::host
