// How much the tool says while it works, and the progress bar on standard
// error, drawn only when that is a terminal.
#ifndef QVT_HOST_PROGRESS_H
#define QVT_HOST_PROGRESS_H

#include <string>

namespace qvt::host {

// Quiet: errors only. Normal: a progress bar on a terminal and a summary of
// what was written. Verbose: also every file written.
enum class Verbosity { Quiet, Normal, Verbose };
void SetVerbosity(Verbosity verbosity);
Verbosity CurrentVerbosity();

class Progress {
public:
    // total 0: the number of steps is not known in advance.
    Progress(std::string label, int total);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;
    void Step();

private:
    void draw();
    std::string label_;
    int total_, done_ = 0;
    bool active_;
};

} // namespace qvt::host

#endif
