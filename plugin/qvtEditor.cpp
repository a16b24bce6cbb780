// The editor module bridge.
#include "plugin/qvtEditor.h"

#include <climits>
#include <cstring>
#include <memory>

#include "persist/qvtPers.h"
#include "plugin/qvtHost.h"
#include "qvt/rtl/exceptions.h"

namespace qvt::plugin {

namespace {

// An address inside this module, to find the module's own file by.
const char kAnchor = 0;

[[noreturn]] void CantLoad() { throw rtl::Exception(rtl::Format("Can't load \"%s\"", {kEditorFileName})); }

// The editor module, loaded for one request and freed when the request ends,
// however it ends.
class EditorModule {
public:
    EditorModule() : handle_(LoadLibraryA(EditorModulePath().c_str())) {
        if (!handle_) CantLoad();
    }
    ~EditorModule() { FreeLibrary(handle_); }
    EditorModule(const EditorModule &) = delete;
    EditorModule &operator=(const EditorModule &) = delete;

    // An export, or null when the module lacks it.
    template <class Fn> Fn Entry(const char *name) const {
        // Through a plain function pointer type: casts between unrelated
        // function pointer types are otherwise warned about.
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(handle_, name)));
    }

    // Hands the module the host's values; false when it has no DllInitialize.
    bool Initialize() const {
        auto initialize = Entry<QvtDllInitializeProc>(QVT_DLL_INITIALIZE);
        if (!initialize) return false;
        const HostState &host = Host();
        initialize(host.GetHostVariable, 0, 0, host.InterfaceAccess, 0, 0, host.HostRegisterEffect, host.StreamAccess,
                   host.HostWindow);
        return true;
    }

private:
    HMODULE handle_;
};

// Raises unless record decodes: whatever the host stores must render.
void CheckRecord(const char *record) {
    const size_t length = std::strlen(record);
    try {
        if (length > static_cast<size_t>(INT_MAX)) throw rtl::Exception("the record is too long");
        std::unique_ptr<TTransitionEffect> effect;
        ParamsToTransition(effect, record, static_cast<int>(length));
    } catch (const rtl::Exception &e) {
        throw rtl::Exception("The editor returned a record that cannot be read (" + e.Message() +
                             "); the effect is unchanged.");
    }
}

} // namespace

std::string EditorModulePath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            &kAnchor, &self))
        CantLoad();
    std::string path(260, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) CantLoad();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        // Cut short: try again with room to spare.
        if (path.size() >= 65536) CantLoad();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) CantLoad();
    path.resize(slash + 1);
    return path + kEditorFileName;
}

bool EditRecord(HWND hostWindow, const char *params, size_t length, char **newParams) {
    EditorModule module;
    if (!module.Initialize()) return false;
    auto showEditor = module.Entry<QvtShowEditorProc>(QVT_SHOW_EDITOR);
    if (!showEditor) return false;
    char *edited = nullptr;
    int32_t unused = 0;
    const BOOL accepted = showEditor(hostWindow, params ? params : "", &edited, static_cast<intptr_t>(length), &unused,
                                     Host().InterfaceAccess);
    // The block handed over is the host's; only a new one is freed here.
    auto discard = [&] {
        if (edited && edited != params) GlobalFree(edited);
    };
    if (!accepted || !edited) {
        // Accepted without a record, or a record without accepting: the
        // host keeps what it has.
        discard();
        return false;
    }
    try {
        CheckRecord(edited);
    } catch (...) {
        discard();
        throw;
    }
    *newParams = edited;
    return true;
}

bool ShowAboutBox(HWND hostWindow) {
    EditorModule module;
    if (!module.Initialize()) return false;
    auto showAbout = module.Entry<QvtShowAboutProc>(QVT_SHOW_ABOUT);
    return showAbout && showAbout(hostWindow) != FALSE;
}

} // namespace qvt::plugin
