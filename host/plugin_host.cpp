// The host stand-in.
#include "plugin_host.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "qvt/qvtdisplay.h"
#include "qvt/qvtsys.h"

namespace qvt::host {

namespace {
PluginHost *active = nullptr;

// A text in a GlobalAlloc block, as the plug-in expects to receive it.
char *globalCopy(const std::string &s) {
    auto *p = static_cast<char *>(GlobalAlloc(GMEM_FIXED, s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// Takes over a text the plug-in handed out in a GlobalAlloc block.
std::string takeGlobal(char *&p) {
    std::string s = p ? p : "";
    if (p) GlobalFree(p);
    p = nullptr;
    return s;
}

template <class Fn> Fn entry(HMODULE m, const char *name) {
    // Through a plain function pointer type, as function pointer casts between
    // unrelated types are otherwise warned about.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(m, name)));
}
} // namespace

std::string ProgramFolder() {
    char buf[4096];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string path(buf, n < sizeof buf ? n : 0);
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string ModuleFolder() {
    // Built: the modules are beside the program. Installed: in the library
    // folder, found relative to the program, so that an installed tree can be
    // moved; a program copied elsewhere finds the folder it was installed to.
    const std::string program = ProgramFolder();
    for (const std::string &folder : {program, program + "/" QVT_MODULE_DIR_FROM_PROGRAM, std::string(QVT_MODULE_DIR)}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder + "/" OV_PLUGIN_FILE, ec)) return folder;
    }
    return program;
}

std::unique_ptr<PluginHost> PluginHost::Load(const std::string &modulePath, const HostOptions &options,
                                             std::string &error) {
    std::unique_ptr<PluginHost> host(new PluginHost);
    host->options_ = options;
    if (!QvtSetDisplayDepth(options.displayDepth)) {
        error = "cannot use a display of " + std::to_string(options.displayDepth) +
                " bits (depths: 1, 4, 8, 15, 16, 24, 32; no window may be open)";
        return nullptr;
    }
    host->module_ = LoadLibraryA(modulePath.c_str());
    if (!host->module_) {
        error = "cannot load " + modulePath + " (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    PluginEntryPoints &e = host->exports_;
    e.ovRegisterStreamAccess = entry<OvRegisterStreamAccessFn>(host->module_, "ovRegisterStreamAccess");
    e.ovRegisterInterfaceAccess = entry<OvRegisterInterfaceAccessFn>(host->module_, "ovRegisterInterfaceAccess");
    e.ovRegisterPlugIn = entry<OvRegisterPlugInFn>(host->module_, "ovRegisterPlugIn");
    e.ovAbout = entry<OvAboutFn>(host->module_, "ovAbout");
    e.ovRegisterEffect = entry<OvRegisterEffectFn>(host->module_, "ovRegisterEffect");
    e.ovEditEffect = entry<OvEditEffectFn>(host->module_, "ovEditEffect");
    e.ovRenderEffect = entry<OvRenderEffectFn>(host->module_, "ovRenderEffect");
    e.ovMessage = entry<OvMessageFn>(host->module_, "ovMessage");
    e.ovInitPlugIn = entry<OvInitPlugInFn>(host->module_, "ovInitPlugIn");
    if (!e.ovRegisterStreamAccess || !e.ovRegisterInterfaceAccess || !e.ovRegisterPlugIn || !e.ovAbout ||
        !e.ovRegisterEffect || !e.ovEditEffect || !e.ovRenderEffect || !e.ovMessage || !e.ovInitPlugIn) {
        error = modulePath + " is not a transition plug-in: an entry point is missing";
        return nullptr;
    }
    host->window_ = QvtCreateWindow(options.width, options.height);
    if (!host->window_) {
        error = "cannot create a window of " + std::to_string(options.width) + " x " +
                std::to_string(options.height) + " pixels";
        return nullptr;
    }
    active = host.get();
    QvtSetMessageBoxHandler(&PluginHost::MessageBoxHandler, host.get());
    return host;
}

PluginHost::~PluginHost() {
    if (active == this) {
        active = nullptr;
        QvtSetMessageBoxHandler(nullptr, nullptr);
    }
    if (module_) FreeLibrary(module_);
    if (window_) QvtDestroyWindow(window_);
}

int PluginHost::MessageBoxHandler(void *user, HWND owner, const char *text, const char *caption, UINT) {
    auto *host = static_cast<PluginHost *>(user);
    host->messages_.push_back({owner, caption ? caption : "", text ? text : ""});
    if (host->options_.echoMessages) std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

void PluginHost::GetHostVariable(const char *name, char **value) {
    if (!value) return;
    *value = nullptr;
    if (active && name && std::strcmp(name, "[OvaldaVersion]") == 0) *value = globalCopy(active->options_.versionText);
}

int PluginHost::RegisterEffect(int number, const char *name) {
    if (!active) return 0;
    active->effects_.emplace_back(number, name ? name : "");
    return number;
}

BOOL PluginHost::StreamAccess(const char *fileName, IStream **stream) {
    if (!stream) return FALSE;
    *stream = nullptr;
    if (!fileName || !*fileName) return FALSE;
    if (active) {
        const auto held = active->options_.streams.find(fileName);
        if (held != active->options_.streams.end()) return held->second && (*stream = SHCreateMemStream(held->second->data(), static_cast<UINT>(held->second->size()))) != nullptr;
        if (active->options_.streamSource)
            if (auto bytes = active->options_.streamSource(fileName)) return (*stream = SHCreateMemStream(bytes->data(), static_cast<UINT>(bytes->size()))) != nullptr;
    }
    std::string path = fileName;
    if (path[0] != '/' && active && !active->options_.streamFolder.empty())
        path = active->options_.streamFolder + "/" + path;
    return SUCCEEDED(SHCreateStreamOnFileA(path.c_str(), STGM_READ, stream));
}

void PluginHost::Start() {
    active = this;
    QvtSetMessageBoxHandler(&PluginHost::MessageBoxHandler, this);
    char *title = nullptr, *publisher = nullptr, *hint = nullptr;
    exports_.ovInitPlugIn(window_, &title, &publisher, &hint);
    title_ = takeGlobal(title);
    publisher_ = takeGlobal(publisher);
    hint_ = takeGlobal(hint);
    exports_.ovRegisterPlugIn(0, 0, options_.answerVariables ? &PluginHost::GetHostVariable : nullptr, 0);
    registerResult_ = exports_.ovRegisterEffect(&PluginHost::RegisterEffect);
    exports_.ovRegisterInterfaceAccess(0);
    exports_.ovRegisterStreamAccess(&PluginHost::StreamAccess);
}

bool PluginHost::ShowBitmap(HBITMAP bitmap) {
    HDC target = GetDC(window_);
    HDC mem = CreateCompatibleDC(target);
    HGDIOBJ old = SelectObject(mem, bitmap);
    bool ok = old && BitBlt(target, 0, 0, options_.width, options_.height, mem, 0, 0, SRCCOPY);
    if (old) SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(window_, target);
    return ok;
}

std::vector<uint8_t> PluginHost::ReadWindow() const {
    std::vector<uint8_t> rgb((size_t)options_.width * options_.height * 3);
    QvtReadWindowRGB(window_, rgb.data(), options_.width * 3);
    return rgb;
}

bool PluginHost::Render(int effectNumber, HBITMAP newPage, const RECT &area, const char *params) {
    active = this;
    HDC target = GetDC(window_);
    BOOL ok = exports_.ovRenderEffect(effectNumber, newPage, target, &area, params);
    ReleaseDC(window_, target);
    return ok != FALSE;
}

bool PluginHost::Edit(int effectNumber, std::string &record) {
    active = this;
    char *params = globalCopy(record);
    BOOL ok = exports_.ovEditEffect(effectNumber, &params);
    // Whatever the block now is, the host owns it.
    std::string result = takeGlobal(params);
    if (ok) record = result;
    return ok != FALSE;
}

bool PluginHost::About() {
    active = this;
    return exports_.ovAbout() != FALSE;
}

} // namespace qvt::host
