// The offline renderer: the tool's pictures handed to the library as they
// are (RGB rows), the frames read back into one picture reused for every
// frame, or not read at all.
#include "offline.h"

#include "api/transition_access.h"
#include "qvt/qvtsys.h"
#include "gdi_pictures.h"
#include "image_io.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

ImageView view(const RgbImage &picture) {
    return {picture.rgb.data(), picture.width, picture.height, 0, PixelLayout::Rgb};
}

ImageBuffer buffer(RgbImage &picture) {
    return {picture.rgb.data(), picture.width, picture.height, 0, PixelLayout::Rgb};
}

// Calls fn with the effect as a library transition; the library's errors
// become the tool's.
template <class Fn> auto withTransition(TTransitionEffect &effect, Fn &&fn) {
    Transition transition = detail::TransitionAccess::Borrow(effect);
    try {
        return fn(transition);
    } catch (const Error &e) {
        throw ToolError(e.what());
    }
}

} // namespace

void FixTimeOfDay(int milliseconds) {
    SYSTEMTIME time{};
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wDayOfWeek = 6; // a Saturday
    time.wHour = static_cast<WORD>(milliseconds / 3600000);
    time.wMinute = static_cast<WORD>(milliseconds / 60000 % 60);
    time.wSecond = static_cast<WORD>(milliseconds / 1000 % 60);
    time.wMilliseconds = static_cast<WORD>(milliseconds % 1000);
    QvtSetFixedSystemTime(&time);
}

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

int ExpectedFrameCount(TTransitionEffect &effect, const Timing &timing) {
    return withTransition(effect, [&](Transition &t) { return t.FrameCount(timing); });
}

void RenderOffline(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, const Timing &timing,
                   const std::function<void(const RgbImage &)> &onFrame) {
    RgbImage frame(from.width, from.height);
    withTransition(effect, [&](Transition &t) {
        return t.Render(view(from), view(to), buffer(frame), [&](int) { onFrame(frame); }, timing);
    });
}

void PlayOffline(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, const Timing &timing,
                 const std::function<void()> &onFrame) {
    withTransition(effect,
                   [&](Transition &t) { return t.Render(view(from), view(to), [&](int) { onFrame(); }, timing); });
}

RgbImage RenderStill(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, double at, double fps) {
    RgbImage still(from.width, from.height);
    withTransition(effect, [&](Transition &t) {
        t.RenderAt(view(from), view(to), at, buffer(still), {fps});
        return 0;
    });
    return still;
}

} // namespace qvt::host
