// The host stand-in: loads the plug-in module, calls its entry points in the
// host's order, answers its callbacks, owns a window on a display of the
// chosen depth and asks the plug-in to play transitions on it.
//
// The plug-in's callbacks carry no context, so one host is active at a time
// (the most recently started one).
#ifndef QVT_HOST_PLUGIN_HOST_H
#define QVT_HOST_PLUGIN_HOST_H

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvt/ovplugin.h"

namespace qvt::host {

struct HostOptions {
    std::string versionText = "5.0"; // answer to "[OvaldaVersion]"
    bool answerVariables = true;     // false: register no variable callback at all
    int displayDepth = 32;           // 1, 4, 8, 15, 16, 24 or 32
    int width = 640, height = 480;   // the host window
    std::string streamFolder;        // where stream access looks for relative names
    // Files the stream access hands out from memory, by exact name, before
    // it looks in the folder.
    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> streams;
    // Then asked for a name not held (null: not found here either), before
    // the folder.
    std::function<std::shared_ptr<const std::vector<uint8_t>>(const std::string &)> streamSource;
    bool echoMessages = false;       // also print message boxes to standard error
};

struct MessageBoxRecord {
    HWND owner;
    std::string caption;
    std::string text;
};

// The nine entry points of a loaded module.
struct PluginEntryPoints {
    OvRegisterStreamAccessFn ovRegisterStreamAccess = nullptr;
    OvRegisterInterfaceAccessFn ovRegisterInterfaceAccess = nullptr;
    OvRegisterPlugInFn ovRegisterPlugIn = nullptr;
    OvAboutFn ovAbout = nullptr;
    OvRegisterEffectFn ovRegisterEffect = nullptr;
    OvEditEffectFn ovEditEffect = nullptr;
    OvRenderEffectFn ovRenderEffect = nullptr;
    OvMessageFn ovMessage = nullptr;
    OvInitPlugInFn ovInitPlugIn = nullptr;
};

class PluginHost {
public:
    // Loads the module and creates the window; null with a one-line error
    // when the module or an entry point is missing or the display cannot be
    // set up.
    static std::unique_ptr<PluginHost> Load(const std::string &modulePath, const HostOptions &options,
                                            std::string &error);
    ~PluginHost();
    PluginHost(const PluginHost &) = delete;
    PluginHost &operator=(const PluginHost &) = delete;

    // The start-up calls in the host's order: ovInitPlugIn, ovRegisterPlugIn,
    // ovRegisterEffect, ovRegisterInterfaceAccess, ovRegisterStreamAccess.
    void Start();

    // What ovInitPlugIn handed over (copied; the blocks are freed).
    const std::string &Title() const { return title_; }
    const std::string &Publisher() const { return publisher_; }
    const std::string &Hint() const { return hint_; }
    // What the registration callback received, and what ovRegisterEffect returned.
    const std::vector<std::pair<int, std::string>> &RegisteredEffects() const { return effects_; }
    int RegisterEffectResult() const { return registerResult_; }
    // Message boxes shown so far.
    const std::vector<MessageBoxRecord> &Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }

    HWND Window() const { return window_; }
    int Width() const { return options_.width; }
    int Height() const { return options_.height; }
    // Copies a bitmap (selected into no DC) into the window at (0, 0).
    bool ShowBitmap(HBITMAP bitmap);
    // The window's pixels as top-down RGB rows.
    std::vector<uint8_t> ReadWindow() const;

    // ovRenderEffect with the window's DC.
    bool Render(int effectNumber, HBITMAP newPage, const RECT &area, const char *params);
    // ovEditEffect on a record held in a GlobalAlloc block; on TRUE the
    // record is replaced.
    bool Edit(int effectNumber, std::string &record);
    bool About();

    const PluginEntryPoints &Exports() const { return exports_; }
    const HostOptions &Options() const { return options_; }
    // The host's callbacks, as the plug-in receives them.
    static void GetHostVariable(const char *name, char **value);
    static int RegisterEffect(int number, const char *name);
    static BOOL StreamAccess(const char *fileName, IStream **stream);

private:
    PluginHost() = default;
    static int MessageBoxHandler(void *user, HWND owner, const char *text, const char *caption, UINT type);

    HostOptions options_;
    HMODULE module_ = nullptr;
    HWND window_ = nullptr;
    PluginEntryPoints exports_;
    std::string title_, publisher_, hint_;
    std::vector<std::pair<int, std::string>> effects_;
    int registerResult_ = 0;
    std::vector<MessageBoxRecord> messages_;
};

// The folder of the running program, ending without a separator.
std::string ProgramFolder();
// The folder QVT.ovp and qvtEd.htd are in, ending without a separator.
std::string ModuleFolder();

} // namespace qvt::host

#endif
