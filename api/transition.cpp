// The library's Transition: effects made by name or record, and runs drawn
// through the plug-in's pipeline on a window of the display, read back into
// the caller's pictures.
#include "qvt/transition.h"

#include <windows.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "effects/teRegister.h"
#include "engine/TransRun.h"
#include "engine/teTimed.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/qvtdisplay.h"
#include "qvt/rtl/exceptions.h"
#include "api/gdi_objects.h"
#include "api/transition_access.h"

namespace qvt {

namespace {

constexpr int kMaxSide = 16384;
constexpr double kMaxFps = 1000;
constexpr int kMaxPaddingMilliseconds = 3600000;

// The pixel services and the effect classes, started once per process.
void startEngine() {
    static std::once_flag once;
    std::call_once(once, [] { StartTransitionEngine(); });
}

// Runs share the display and the engine's generator: one at a time. A frame
// callback may start another run on its own thread.
std::recursive_mutex &runLock() {
    static std::recursive_mutex lock;
    return lock;
}

// What a frame callback threw, carried out of the engine's run, which is
// cleaned up on the way, and thrown again as it was.
struct CallbackFailed {
    std::exception_ptr error;
};

// Calls fn, turning every failure but the caller's own into qvt::Error.
template <class Fn> auto guarded(Fn &&fn) -> decltype(fn()) {
    try {
        return fn();
    } catch (const CallbackFailed &failed) {
        std::rethrow_exception(failed.error);
    } catch (const Error &) {
        throw;
    } catch (const rtl::Exception &e) {
        throw Error(e.Message());
    } catch (const std::bad_alloc &) {
        throw Error("out of memory");
    } catch (const std::exception &e) {
        throw Error(e.what());
    } catch (...) {
        throw Error("unexpected failure");
    }
}

int bytesPerPixel(PixelLayout layout) { return layout == PixelLayout::Rgb ? 3 : 4; }

// Checks a picture's geometry; the stride it has (packed when 0).
std::ptrdiff_t checkedStride(const char *what, const void *pixels, int width, int height, std::ptrdiff_t stride,
                             PixelLayout layout) {
    if (!pixels) throw Error(std::string(what) + " has no pixels");
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        throw Error(std::string(what) + " is " + std::to_string(width) + "x" + std::to_string(height) +
                    ": each side must be from 1 to " + std::to_string(kMaxSide) + " pixels");
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(width) * bytesPerPixel(layout);
    if (stride == 0) return row;
    if (stride < row || stride > INT32_MAX)
        throw Error(std::string(what) + " has rows of " + std::to_string(stride) + " bytes, but " +
                    std::to_string(width) + " pixels need " + std::to_string(row));
    return stride;
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step from RGB (step 3) or RGBA (step 4) into the display's
// blue, green, red, 0; returns the pixels done. Each 16-byte load takes more
// bytes than four RGB pixels use, so the last loads stop short of the row's
// end.
__attribute__((target("ssse3"))) int pageRowSsse3(uint8_t *out, const uint8_t *in, int n, int step) {
    const __m128i order = step == 3 ? _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
                                    : _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    const int need = step == 3 ? 6 : 4; // pixels a load must find in the row
    int x = 0;
    for (; x + need <= n; x += 4, in += 4 * step, out += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in)), order));
    return x;
}
const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

// n pixels of the caller's layout as the display's 32-bit pixels.
void pageRow(uint8_t *out, const uint8_t *in, int n, PixelLayout layout) {
    const int step = bytesPerPixel(layout);
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kHasSsse3) x = pageRowSsse3(out, in, n, step);
#endif
    for (in += x * step, out += x * 4; x < n; ++x, in += step, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0;
    }
}

// A 32-bit top-down DIB section of width x height, the form the pages
// reach the display in.
class PageBitmap {
public:
    PageBitmap(int width, int height) : width_(width) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *bits = nullptr;
        handle_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!handle_ || !bits) {
            if (handle_) DeleteObject(handle_);
            throw Error("out of graphics memory for a page of " + std::to_string(width) + "x" +
                        std::to_string(height) + " pixels");
        }
        bits_ = static_cast<uint8_t *>(bits);
    }
    // The page made of all of the picture.
    PageBitmap(const ImageView &view, std::ptrdiff_t stride) : PageBitmap(view.width, view.height) {
        Fill(view, stride, 0, view.height);
    }
    ~PageBitmap() { DeleteObject(handle_); }
    PageBitmap(const PageBitmap &) = delete;
    PageBitmap &operator=(const PageBitmap &) = delete;
    HBITMAP Handle() const { return handle_; }

    // Rows first .. first + rows of the picture into the bitmap's top rows.
    void Fill(const ImageView &view, std::ptrdiff_t stride, int first, int rows) {
        for (int y = 0; y < rows; ++y)
            pageRow(bits_ + static_cast<size_t>(y) * width_ * 4, view.pixels + (first + y) * stride, view.width,
                    view.layout);
    }

private:
    HBITMAP handle_ = nullptr;
    uint8_t *bits_ = nullptr;
    int width_;
};

using detail::SelectedBitmap;

class Window {
public:
    Window(int width, int height) : hwnd_(QvtCreateWindow(width, height)) {
        if (!hwnd_)
            throw Error("cannot create a window of " + std::to_string(width) + "x" + std::to_string(height));
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

// Each output frame: the window read into the caller's picture (when there
// is one), then the caller told.
class WindowSink : public TFrameSink {
public:
    WindowSink(HWND hwnd, const ImageBuffer *out, std::ptrdiff_t stride, const std::function<void(int)> &onFrame)
        : hwnd_(hwnd), out_(out ? *out : ImageBuffer{}), read_(out != nullptr), stride_(stride), onFrame_(onFrame) {}
    void EmitFrame() override {
        if (read_) read();
        try {
            if (onFrame_) onFrame_(frames_);
        } catch (...) {
            throw CallbackFailed{std::current_exception()};
        }
        ++frames_;
    }
    int Frames() const { return frames_; }

private:
    void read() {
        const BOOL done = out_.layout == PixelLayout::Rgb
                              ? QvtReadWindowRGB(hwnd_, out_.pixels, static_cast<int>(stride_))
                              : QvtReadWindowRGBA(hwnd_, out_.pixels, static_cast<int>(stride_));
        if (!done) throw Error("cannot read the window");
    }

    HWND hwnd_;
    ImageBuffer out_;
    bool read_;
    std::ptrdiff_t stride_;
    const std::function<void(int)> &onFrame_;
    int frames_ = 0;
};

// Puts the picture on the window a band of rows at a time, through one
// small bitmap: the departing page is shown once, so it needs no bitmap of
// its own.
void showPage(HDC window, const ImageView &view, std::ptrdiff_t stride) {
    constexpr int kBandRows = 32;
    const int band = view.height < kBandRows ? view.height : kBandRows;
    PageBitmap strip(view.width, band);
    SelectedBitmap dc(window, strip.Handle());
    for (int y = 0; y < view.height; y += band) {
        const int rows = view.height - y < band ? view.height - y : band;
        GdiFlush(); // the last band is on the window before its bits change
        strip.Fill(view, stride, y, rows);
        if (!BitBlt(window, 0, y, view.width, rows, dc.Handle(), 0, 0, SRCCOPY))
            throw Error("cannot show the departing page");
    }
}

int paddingFrames(int milliseconds, double fps) {
    return static_cast<int>(std::nearbyint(static_cast<double>(milliseconds) * fps / 1000.0));
}

void checkTiming(const Timing &timing) {
    if (!std::isfinite(timing.fps) || timing.fps <= 0 || timing.fps > kMaxFps)
        throw Error("a frame rate must be above 0 and at most " + std::to_string(static_cast<int>(kMaxFps)) +
                    " frames a second");
    for (int ms : {timing.leadMilliseconds, timing.holdMilliseconds})
        if (ms < 0 || ms > kMaxPaddingMilliseconds)
            throw Error("a lead or hold of " + std::to_string(ms) + " ms: it must be from 0 to " +
                        std::to_string(kMaxPaddingMilliseconds) + " ms");
}

// One run of the effect from `from` to `to`: a still when `still` is in 0 .. 1,
// otherwise the frames `timing` asks for, each read into `out` unless it is
// null. Returns the number of frames.
int renderRun(TTransitionEffect &effect, const ImageView &from, const ImageView &to, const ImageBuffer *out,
              const std::function<void(int)> &onFrame, const Timing &timing, double still) {
    const std::ptrdiff_t fromStride =
        checkedStride("the departing page", from.pixels, from.width, from.height, from.stride, from.layout);
    const std::ptrdiff_t toStride =
        checkedStride("the arriving page", to.pixels, to.width, to.height, to.stride, to.layout);
    const std::ptrdiff_t outStride =
        out ? checkedStride("the frame buffer", out->pixels, out->width, out->height, out->stride, out->layout) : 0;
    const int width = from.width, height = from.height;
    if (to.width != width || to.height != height) throw Error("the pages must have one size");
    if (out && (out->width != width || out->height != height))
        throw Error("the pages and the frame buffer must have one size");

    std::lock_guard lock(runLock());
    startEngine();
    Window window(width, height);
    showPage(window.DC(), from, fromStride);
    PageBitmap arriving(to, toStride);
    SelectedBitmap page(window.DC(), arriving.Handle());
    WindowSink sink(window.Handle(), out, outStride, onFrame);

    auto *timed = dynamic_cast<TTimedTransitionEffect *>(&effect);
    const bool isStill = still >= 0;
    if (!isStill)
        for (int i = paddingFrames(timing.leadMilliseconds, timing.fps); i > 0; --i) sink.EmitFrame();
    const TFrameSampling sampling{timing.fps, &sink, still};
    struct Reset {
        TTimedTransitionEffect *timed;
        ~Reset() {
            if (timed) timed->SetSampling(nullptr);
        }
    } reset{timed};
    if (timed) {
        timed->SetSampling(&sampling);
    } else if (isStill && still < 1) {
        sink.EmitFrame(); // an effect without frames shows the departing page until its end
        return sink.Frames();
    } else if (!isStill) {
        sink.EmitFrame();
    }
    const RECT area{0, 0, width, height};
    try {
        RunTransition(effect, area, window.DC(), page.Handle());
    } catch (const rtl::Exception &e) {
        throw Error(effect.GetDescription() + " failed: " + e.Message());
    }
    if (!timed) sink.EmitFrame();
    if (!isStill)
        for (int i = paddingFrames(timing.holdMilliseconds, timing.fps); i > 0; --i) sink.EmitFrame();
    return sink.Frames();
}

// A property from text, as qvt's options set it: "ms" is Milliseconds.
void applySetting(TTransitionEffect &effect, std::string_view name, std::string_view value) {
    const bool ms = name.size() == 2 && std::tolower(static_cast<unsigned char>(name[0])) == 'm' &&
                    std::tolower(static_cast<unsigned char>(name[1])) == 's';
    ApplyPropertyText(effect, ms ? std::string_view("Milliseconds") : name, value);
}

// The effect of a Transition that still has one.
template <class Impl> TTransitionEffect &effectOf(const std::unique_ptr<Impl> &impl) {
    if (!impl) throw Error("the transition was moved away");
    return *impl->effect;
}

std::unique_ptr<TTransitionEffect> decodeRecord(std::string_view record) {
    if (record.size() > INT32_MAX) throw Error("the record is too long");
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    } catch (const rtl::Exception &e) {
        throw Error("bad record '" + std::string(record) + "': " + e.Message());
    }
    return effect;
}

std::unique_ptr<TTransitionEffect> newEffect(std::string_view name) {
    if (name.empty()) return decodeRecord({}); // the default effect
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    const TTransitionDescription *entry = FindTransition(catalogue, name);
    if (!entry) {
        std::string known;
        for (const TTransitionDescription &d : catalogue)
            known += (known.empty() ? "\"" : ", \"") + d.DisplayName + "\"";
        throw Error("unknown effect '" + std::string(name) + "' (known: " + known + ")");
    }
    std::unique_ptr<TTransitionEffect> effect = CreateTransition(*entry->Class);
    effect->SetMilliseconds(kDefaultMilliseconds);
    return effect;
}

} // namespace

struct Transition::Impl {
    std::unique_ptr<TTransitionEffect> owned;
    TTransitionEffect *effect = nullptr;
    bool running = false; // a frame callback must not start its own effect again
};

namespace {

// A run of the transition's effect, refused while one is going on: the
// effect holds the run's state.
template <class Impl, class Fn> auto runOf(const std::unique_ptr<Impl> &impl, Fn &&fn) {
    TTransitionEffect &effect = effectOf(impl);
    std::lock_guard lock(runLock());
    if (impl->running) throw Error(effect.GetDescription() + " is rendering already");
    impl->running = true;
    struct Done {
        bool &running;
        ~Done() { running = false; }
    } done{impl->running};
    return fn(effect);
}

} // namespace

Transition::Transition(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Transition::Transition(std::string_view effect, const std::vector<Setting> &settings) {
    guarded([&] {
        std::lock_guard lock(runLock());
        startEngine();
        auto impl = std::make_unique<Impl>();
        impl->owned = newEffect(effect);
        impl->effect = impl->owned.get();
        impl_ = std::move(impl);
        for (const Setting &s : settings) applySetting(*impl_->effect, s.name, s.value);
    });
}

Transition Transition::FromRecord(std::string_view record, const std::vector<Setting> &settings) {
    return guarded([&] {
        std::lock_guard lock(runLock());
        startEngine();
        auto impl = std::make_unique<Impl>();
        impl->owned = decodeRecord(record);
        impl->effect = impl->owned.get();
        for (const Setting &s : settings) applySetting(*impl->effect, s.name, s.value);
        return Transition(std::move(impl));
    });
}

Transition::~Transition() = default;
Transition::Transition(Transition &&other) noexcept = default;
Transition &Transition::operator=(Transition &&other) noexcept = default;

void Transition::Set(std::string_view name, std::string_view value) {
    guarded([&] {
        return runOf(impl_, [&](TTransitionEffect &effect) {
            applySetting(effect, name, value);
            return 0;
        });
    });
}

std::string Transition::Name() const {
    return guarded([&] {
        return effectOf(impl_).GetDescription();
    });
}

std::string Transition::Record() const {
    return guarded([&] {
        return TransitionToParams(effectOf(impl_));
    });
}

int Transition::Milliseconds() const {
    return guarded([&] {
        return static_cast<int>(effectOf(impl_).GetMilliseconds());
    });
}

int Transition::FrameCount(const Timing &timing) const {
    return guarded([&] {
        const TTransitionEffect &effect = effectOf(impl_);
        checkTiming(timing);
        int frames = 2;
        if (dynamic_cast<const TTimedTransitionEffect *>(&effect)) {
            frames = TTimedTransitionEffect::SampledFrameCount(effect.GetMilliseconds(), timing.fps);
            if (frames == 0) return 0;
        }
        return paddingFrames(timing.leadMilliseconds, timing.fps) + frames +
               paddingFrames(timing.holdMilliseconds, timing.fps);
    });
}

void Transition::RenderAt(const ImageView &from, const ImageView &to, double at, const ImageBuffer &out,
                          const Timing &timing) {
    guarded([&] {
        if (!std::isfinite(at) || at < 0 || at > 1)
            throw Error("a moment of the run is from 0 (the departing page) to 1 (the arriving page)");
        checkTiming(timing);
        return runOf(impl_,
                     [&](TTransitionEffect &effect) { return renderRun(effect, from, to, &out, {}, timing, at); });
    });
}

int Transition::Render(const ImageView &from, const ImageView &to, const ImageBuffer &out,
                       const std::function<void(int)> &onFrame, const Timing &timing) {
    return guarded([&] {
        checkTiming(timing);
        return runOf(impl_,
                     [&](TTransitionEffect &effect) { return renderRun(effect, from, to, &out, onFrame, timing, -1); });
    });
}

int Transition::Render(const ImageView &from, const ImageView &to, const std::function<void(int)> &onFrame,
                       const Timing &timing) {
    return guarded([&] {
        checkTiming(timing);
        return runOf(impl_, [&](TTransitionEffect &effect) {
            return renderRun(effect, from, to, nullptr, onFrame, timing, -1);
        });
    });
}

Transition detail::TransitionAccess::Borrow(TTransitionEffect &effect) {
    auto impl = std::make_unique<Transition::Impl>();
    impl->effect = &effect;
    return Transition(std::move(impl));
}

} // namespace qvt
