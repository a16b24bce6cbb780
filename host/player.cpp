// The player: PluginHost runs the plug-in, SDL shows its window.
#include "player.h"

#include <SDL.h>

#include <chrono>
#include <memory>

#include "gdi_pictures.h"
#include "plugin_host.h"
#include "progress.h"
#include "qvt/qvtdisplay.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

// SDL's video drivers that show nothing on a screen.
bool showsNothing(const char *driver) {
    return driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0);
}

// SDL's window, showing the host window's pixels.
class Screen {
public:
    Screen(const std::string &title, int width, int height) {
        // Without a display SDL falls back to a driver that draws nowhere,
        // and a window waiting there for a key would wait for ever. Only a
        // driver asked for by name (SDL_VIDEODRIVER=dummy) may show nothing.
        const char *asked = SDL_getenv("SDL_VIDEODRIVER");
        const bool chosen = asked && *asked;
        if (!chosen) {
            const bool x11 = SDL_getenv("DISPLAY"), wayland = SDL_getenv("WAYLAND_DISPLAY");
            if (!x11 && !wayland)
                throw ToolError("cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                                "qvt render writes the run to a file instead");
            // The displays named, and no fallback.
            SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 && wayland ? "x11,wayland" : x11 ? "x11" : "wayland");
        }
        // Frames are copied as they are: the software renderer does that
        // without loading a graphics driver.
        SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            std::string where;
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
                if (!chosen && SDL_getenv(name))
                    where += std::string(where.empty() ? " (" : ", ") + name + "=" + SDL_getenv(name);
            throw ToolError("cannot open a window" + (where.empty() ? "" : where + ")") + ": " + SDL_GetError());
        }
        if (!chosen && showsNothing(SDL_GetCurrentVideoDriver())) {
            const std::string driver = SDL_GetCurrentVideoDriver();
            SDL_Quit();
            throw ToolError("cannot open a window: no display could be opened (only SDL's " + driver +
                            " driver, which shows nothing)");
        }
        window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, 0);
        if (window_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (renderer_)
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB24, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!texture_) {
            std::string error = std::string("cannot open a window: ") + SDL_GetError();
            close();
            throw ToolError(error);
        }
    }
    ~Screen() { close(); }
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    // Shows what the host window holds now, read straight into the texture.
    void Present(HWND hwnd) {
        void *pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) != 0) return;
        const bool read = QvtReadWindowRGB(hwnd, static_cast<uint8_t *>(pixels), pitch);
        SDL_UnlockTexture(texture_);
        if (!read) return;
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    // Handles the events waiting; true when the viewer asked to stop.
    bool Pump(HWND hwnd) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) handle(event, hwnd);
        return stop_;
    }

    // Waits for a key, a click on close or the end of `milliseconds` (-1:
    // no end), redrawing when the window was uncovered.
    void Hold(HWND hwnd, int milliseconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!stop_) {
            int wait = 100;
            if (milliseconds >= 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                        .count();
                if (left <= 0) break;
                wait = static_cast<int>(std::min<int64_t>(left, 100));
            }
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, wait)) handle(event, hwnd);
        }
    }

    bool Stopped() const { return stop_; }

private:
    void handle(const SDL_Event &event, HWND hwnd) {
        if (event.type == SDL_QUIT || event.type == SDL_KEYDOWN) stop_ = true;
        if (event.type == SDL_WINDOWEVENT &&
            (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SHOWN))
            Present(hwnd);
    }

    void close() {
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        texture_ = nullptr;
        renderer_ = nullptr;
        window_ = nullptr;
        SDL_Quit();
    }

    SDL_Window *window_ = nullptr;
    SDL_Renderer *renderer_ = nullptr;
    SDL_Texture *texture_ = nullptr;
    bool stop_ = false;
};

struct Follower {
    Screen *screen;
    int updates = 0;
};

// Called by the platform after each drawing call on the host window, on the
// thread that draws: the plug-in is blocked in ovRenderEffect meanwhile.
void windowChanged(void *user, HWND hwnd, const RECT *) {
    auto *follower = static_cast<Follower *>(user);
    follower->screen->Present(hwnd);
    follower->screen->Pump(hwnd);
    ++follower->updates;
}

std::string pluginMessages(const PluginHost &host) {
    std::string text;
    for (const MessageBoxRecord &m : host.Messages()) text += (text.empty() ? "" : "; ") + m.text;
    return text;
}

} // namespace

PlayResult Play(const PlayRequest &request) {
    const int width = request.from.width, height = request.from.height;
    Screen screen(request.title, width, height);
    HostOptions options;
    options.displayDepth = request.displayDepth;
    options.width = width;
    options.height = height;
    options.streams = request.streams;
    std::string error;
    const std::string module = ModuleFolder() + "/" OV_PLUGIN_FILE;
    std::unique_ptr<PluginHost> host = PluginHost::Load(module, options, error);
    if (!host) throw ToolError(error);
    host->Start();
    if (!host->Messages().empty()) throw ToolError("the plug-in refused to start: " + pluginMessages(*host));
    {
        PictureBitmap departing(request.from);
        if (!host->ShowBitmap(departing.Handle())) throw ToolError("cannot show the departing page");
    }
    PictureBitmap arriving(request.to);

    const HWND hwnd = host->Window();
    screen.Present(hwnd);
    screen.Hold(hwnd, request.leadMilliseconds);
    PlayResult result;
    if (screen.Stopped()) return result;

    Follower follower{&screen};
    QvtSetWindowChangedHandler(hwnd, &windowChanged, &follower);
    const auto start = std::chrono::steady_clock::now();
    const RECT area{0, 0, width, height};
    const bool ok = host->Render(1, arriving.Handle(), area, request.record.c_str());
    const auto stop = std::chrono::steady_clock::now();
    QvtSetWindowChangedHandler(hwnd, nullptr, nullptr);
    if (!ok) {
        const std::string text = pluginMessages(*host);
        throw ToolError("the plug-in could not play the transition" + (text.empty() ? "" : ": " + text));
    }
    screen.Present(hwnd);
    result.updates = follower.updates;
    result.milliseconds = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(stop - start).count());
    // Tell a script watching standard output that the run is over before
    // the window is held.
    if (CurrentVerbosity() != Verbosity::Quiet) {
        std::printf("played %d ms, %d window updates\n", result.milliseconds, result.updates);
        std::fflush(stdout);
    }
    screen.Hold(hwnd, request.holdMilliseconds);
    return result;
}

} // namespace qvt::host
