// The editor module qvtEd.htd: edits effect parameter records and shows the
// About box for the plug-in, on the terminal. Its three exports are those of
// qvt/qvteditor.h; none lets an exception escape.
#include <windows.h>

#include <cstring>
#include <exception>

#include "editor/qvtEdConsole.h"
#include "effects/teRegister.h"
#include "engine/teHostStreams.h"
#include "qvt/qvteditor.h"

using namespace qvt;
using namespace qvt::editor;

#define QVT_EDITOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Module start-up: pixel services, then the effect classes.
[[maybe_unused]] const bool started = (StartTransitionEngine(), true);

// What the plug-in handed over; kept for effects that reach the host (a
// mask picture opened through the host's stream access).
struct HostValues {
    OvGetHostVariableProc GetHostVariable = nullptr;
    intptr_t InterfaceAccess = 0;
    OvRegisterEffectProc HostRegisterEffect = nullptr;
    OvStreamAccessProc StreamAccess = nullptr;
    HWND HostWindow = nullptr;
} host;

void Report(TConsoleIO &io, const char *what) noexcept {
    try {
        io.Write(std::string("Editor error: ") + what + "\n");
    } catch (...) {
    }
}

} // namespace

QVT_EDITOR_EXPORT BOOL DllInitialize(OvGetHostVariableProc getHostVariable, intptr_t, intptr_t,
                                     intptr_t interfaceAccess, intptr_t, intptr_t,
                                     OvRegisterEffectProc hostRegisterEffect, OvStreamAccessProc streamAccess,
                                     HWND hostWindow) {
    host = {getHostVariable, interfaceAccess, hostRegisterEffect, streamAccess, hostWindow};
    // Records that name a mask file are decoded here too: the effect reads
    // the file through the host's stream access.
    SetStreamAccess(streamAccess);
    return TRUE;
}

QVT_EDITOR_EXPORT BOOL ShowEditor(HWND, const char *params, char **newParams, intptr_t length, int32_t *, intptr_t) {
    TConsoleIO io;
    try {
        if (!newParams) {
            Report(io, "no place for the new record");
            return FALSE;
        }
        // Up to Length characters, and not past a terminator.
        const size_t size = params && length > 0 ? strnlen(params, static_cast<size_t>(length)) : 0;
        TEditorDialog dialog(io);
        const std::optional<std::string> record = dialog.Run(std::string_view(params ? params : "", size));
        if (!record) return FALSE;
        auto *block = static_cast<char *>(GlobalAlloc(GMEM_FIXED, record->size() + 1));
        if (!block) {
            Report(io, "not enough memory for the new record; nothing was changed");
            return FALSE;
        }
        std::memcpy(block, record->c_str(), record->size() + 1);
        *newParams = block;
        return TRUE;
    } catch (const std::exception &e) {
        Report(io, e.what());
    } catch (...) {
        Report(io, "unexpected failure");
    }
    return FALSE;
}

QVT_EDITOR_EXPORT BOOL ShowAbout(HWND) {
    try {
        TConsoleIO io;
        ShowAboutText(io);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}
