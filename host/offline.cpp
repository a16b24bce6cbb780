// The offline renderer.
#include "offline.h"

#include <memory>

#include "engine/TransRun.h"
#include "engine/teTimed.h"
#include "gdi_pictures.h"
#include "image_io.h"
#include "qvt/qvtdisplay.h"
#include "qvt/rtl/exceptions.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

class Window {
public:
    Window(int width, int height) : hwnd_(QvtCreateWindow(width, height)) {
        if (!hwnd_)
            throw ToolError("cannot create a window of " + std::to_string(width) + "x" + std::to_string(height));
        dc_ = GetDC(hwnd_);
    }
    ~Window() {
        ReleaseDC(hwnd_, dc_);
        QvtDestroyWindow(hwnd_);
    }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;
    HWND Handle() const { return hwnd_; }
    HDC DC() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_ = nullptr;
};

// Each sampled output frame: the window as it stands, read into one buffer
// reused for every frame.
class WindowSink : public TFrameSink {
public:
    WindowSink(HWND hwnd, int width, int height, const std::function<void(const RgbImage &)> &onFrame)
        : hwnd_(hwnd), frame_(width, height), onFrame_(onFrame) {}
    void EmitFrame() override {
        if (!QvtReadWindowRGB(hwnd_, frame_.rgb.data(), frame_.width * 3)) throw ToolError("cannot read the window");
        onFrame_(frame_);
    }

private:
    HWND hwnd_;
    RgbImage frame_;
    const std::function<void(const RgbImage &)> &onFrame_;
};

} // namespace

RgbImage LoadPage(const PageSource &source, int width, int height) {
    if (!source.path.empty()) return FitPicture(ReadPicture(source.path), width, height);
    // The built-in page drawn into a 32-bit picture: both pages then reach
    // the display the same way.
    PictureBitmap bitmap(RgbImage(width, height));
    {
        SelectedBitmap dc(nullptr, bitmap.Handle());
        DrawBuiltinPage(dc.Handle(), source.builtin, width, height);
        GdiFlush();
    }
    return bitmap.Picture();
}

int ExpectedFrameCount(const TTransitionEffect &effect, double fps) {
    if (!dynamic_cast<const TTimedTransitionEffect *>(&effect)) return 2;
    return TTimedTransitionEffect::SampledFrameCount(effect.GetMilliseconds(), fps);
}

void RenderOffline(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, double fps,
                   const std::function<void(const RgbImage &)> &onFrame) {
    const int width = from.width, height = from.height;
    Window window(width, height);
    {
        PictureBitmap departing(from);
        SelectedBitmap dc(window.DC(), departing.Handle());
        if (!BitBlt(window.DC(), 0, 0, width, height, dc.Handle(), 0, 0, SRCCOPY))
            throw ToolError("cannot show the departing page");
    }
    PictureBitmap arriving(to);
    SelectedBitmap page(window.DC(), arriving.Handle());

    WindowSink sink(window.Handle(), width, height, onFrame);
    auto *timed = dynamic_cast<TTimedTransitionEffect *>(&effect);
    const TFrameSampling sampling{fps, &sink};
    if (timed)
        timed->SetSampling(&sampling);
    else
        sink.EmitFrame(); // an effect without frames: before and after
    struct Reset {
        TTimedTransitionEffect *timed;
        ~Reset() {
            if (timed) timed->SetSampling(nullptr);
        }
    } reset{timed};

    const RECT area{0, 0, width, height};
    try {
        RunTransition(effect, area, window.DC(), page.Handle());
    } catch (const rtl::Exception &e) {
        throw ToolError(effect.GetDescription() + " failed: " + e.Message());
    }
    if (!timed) sink.EmitFrame();
}

} // namespace qvt::host
