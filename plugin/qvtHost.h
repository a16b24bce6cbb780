// The plug-in's side of the host: the callbacks and values the host handed
// over (kept for the life of the module), the one-time host version check,
// and the plug-in error box.
#ifndef QVT_PLUGIN_QVTHOST_H
#define QVT_PLUGIN_QVTHOST_H

#include <string>

#include "qvt/ovplugin.h"
#include "qvt/qvteditor.h"

namespace qvt::plugin {

struct HostState {
    HWND HostWindow = nullptr;
    OvGetHostVariableProc GetHostVariable = nullptr;
    intptr_t InterfaceAccess = 0;
    OvStreamAccessProc StreamAccess = nullptr;
    OvRegisterEffectProc HostRegisterEffect = nullptr;
    bool VersionChecked = false;
};
HostState &Host();

inline constexpr char kPluginTitle[] = QVT_PLUGIN_TITLE;
inline constexpr char kPluginPublisher[] = QVT_PLUGIN_PUBLISHER;
inline constexpr char kPluginHint[] = QVT_PLUGIN_HINT;
inline constexpr char kErrorCaption[] = "Quorvane Transitions Plugin error";
inline constexpr char kVersionMessage[] = "Quorvane Transitions requires Ovalda 5.0 or higher.";

// The value of a host variable such as "[OvaldaVersion]"; empty when the host
// gave no callback or no value. The host's block is freed.
std::string GetHostVariable(const char *name);
// Raises on its first call when the host is older than 5.0; later calls do
// nothing.
void CheckHostVersion(const std::string &version);
// True when a version text names 5.0 or later: the leading number is
// compared, so "10.0" passes; a text that begins with anything else passes
// unless its first character sorts below "5".
bool HostVersionAccepted(const std::string &version);
void ShowPluginError(HWND owner, const std::string &message);
// Stores text in a new GlobalAlloc block, freeing the block the variable held.
void SetHostString(char **variable, const char *text);

// Runs fn; any exception is shown in the plug-in error box and gives false.
template <class Fn> bool Guarded(Fn fn);

} // namespace qvt::plugin

#include <exception>

#include "qvt/rtl/exceptions.h"

namespace qvt::plugin {

template <class Fn> bool Guarded(Fn fn) {
    // Nothing may cross the C boundary to the host: every exception ends
    // here, in the error box.
    try {
        fn();
        return true;
    } catch (const std::exception &e) {
        try {
            ShowPluginError(Host().HostWindow, e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            ShowPluginError(Host().HostWindow, "Unexpected error");
        } catch (...) {
        }
    }
    return false;
}

} // namespace qvt::plugin

#endif
