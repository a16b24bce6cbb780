// The plug-in module QVT.ovp: the nine entry points the host calls, the
// render bridge, and the module's start-up.
#include <windows.h>

#include <cstring>
#include <memory>

#include "effects/teRegister.h"
#include "engine/TransRun.h"
#include "engine/teHostStreams.h"
#include "persist/qvtPers.h"
#include "plugin/qvtEditor.h"
#include "plugin/qvtHost.h"
#include "qvt/ovplugin.h"

using namespace qvt;
using namespace qvt::plugin;

#define OV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Module start-up: pixel services, then the effect classes.
[[maybe_unused]] const bool started = (StartTransitionEngine(), true);

// Builds the effect for a record and plays it inside Area of the target.
bool RenderTransition(HDC memoryDC, HDC target, const RECT &area, const char *params, int length) {
    std::unique_ptr<TTransitionEffect> effect;
    // A new effect on success (the default one for a missing record); any
    // failure throws.
    ParamsToTransition(effect, params, length);
    RunTransition(*effect, area, target, memoryDC);
    return true;
}

} // namespace

OV_EXPORT void ovRegisterStreamAccess(OvStreamAccessProc access) {
    Host().StreamAccess = access;
    // The file-based bitmap mask opens its file through it.
    SetStreamAccess(access);
}

OV_EXPORT void ovRegisterInterfaceAccess(intptr_t access) { Host().InterfaceAccess = access; }

OV_EXPORT void ovRegisterPlugIn(intptr_t, intptr_t, OvGetHostVariableProc getVariable, intptr_t) {
    Host().GetHostVariable = getVariable;
    Guarded([] { CheckHostVersion(GetHostVariable("[OvaldaVersion]")); });
}

OV_EXPORT BOOL ovAbout(void) {
    // The About box belongs to the editor module.
    bool result = false;
    Guarded([&] { result = ShowAboutBox(Host().HostWindow); });
    return result ? TRUE : FALSE;
}

OV_EXPORT int ovRegisterEffect(OvRegisterEffectProc registerEffect) {
    Host().HostRegisterEffect = registerEffect;
    if (!registerEffect) return 0;
    return registerEffect(1, "Quorvane");
}

OV_EXPORT BOOL ovEditEffect(int effectNumber, char **params) {
    // Nothing is loaded for a number that is not ours, nor without a place
    // to hand a new record back in.
    if (effectNumber != 1 || !params) return FALSE;
    bool result = false;
    Guarded([&] {
        // A missing record is an empty one.
        const char *current = *params ? *params : "";
        char *edited = nullptr;
        if (!EditRecord(Host().HostWindow, current, std::strlen(current), &edited)) return;
        // (A module that hands back the block it was given changed it in place.)
        if (*params && *params != edited) GlobalFree(*params);
        *params = edited;
        result = true;
    });
    return result ? TRUE : FALSE;
}

OV_EXPORT BOOL ovRenderEffect(int effectNumber, HBITMAP newPage, HDC target, const RECT *area, const char *params) {
    bool result = false;
    Guarded([&] {
        if (!area) throw rtl::Exception("No transition area");
        const DWORD targetType = GetObjectType(target);
        if (targetType != OBJ_DC && targetType != OBJ_MEMDC) throw rtl::Exception("Invalid target device context");
        if (GetObjectType(newPage) != OBJ_BITMAP) throw rtl::Exception("Invalid page bitmap");
        const RECT r = *area;
        HDC memoryDC = CreateCompatibleDC(target);
        if (!memoryDC) throw rtl::Exception("Invalid target device context");
        HGDIOBJ previous = SelectObject(memoryDC, newPage);
        struct Restore {
            HDC dc;
            HGDIOBJ previous;
            ~Restore() {
                if (previous) SelectObject(dc, previous);
                DeleteDC(dc);
            }
        } restore{memoryDC, previous};
        if (!previous) throw rtl::Exception("Invalid page bitmap");
        if (effectNumber == 1) RenderTransition(memoryDC, target, r, params, params ? (int)std::strlen(params) : 0);
        result = true;
    });
    return result ? TRUE : FALSE;
}

OV_EXPORT void ovMessage(void) {}

OV_EXPORT void ovInitPlugIn(HWND hostWindow, char **title, char **publisher, char **hint) {
    Host().HostWindow = hostWindow;
    Guarded([&] {
        SetHostString(title, kPluginTitle);
        SetHostString(publisher, kPluginPublisher);
        SetHostString(hint, kPluginHint);
    });
}
