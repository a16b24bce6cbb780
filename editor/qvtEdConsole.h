// The terminal the editor talks on: lines from standard input, text to
// standard output, both through the file descriptors. Input is read one byte
// at a time, so the dialog takes exactly the lines it uses and leaves the
// rest for whoever reads next; output goes out unbuffered, prompts included.
#ifndef QVT_EDITOR_QVTEDCONSOLE_H
#define QVT_EDITOR_QVTEDCONSOLE_H

#include "editor/qvtEdDialog.h"

namespace qvt::editor {

class TConsoleIO : public TDialogIO {
public:
    // Lines longer than this are dropped.
    static constexpr size_t kMaxLine = 1 << 20;

    TLine ReadLine(std::string &line) override;
    // Writes everything, or drops the text when standard output is closed
    // (without the broken-pipe signal that would end the host).
    void Write(std::string_view text) override;

private:
    bool ended_ = false;
};

} // namespace qvt::editor

#endif
