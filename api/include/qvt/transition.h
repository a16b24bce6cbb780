// The QVT library: transition effects rendered into pictures, for programs
// that want frames rather than a window.
//
//     qvt::Transition wipe("Wipe", {{"Milliseconds", "500"}});
//     wipe.RenderAt(from, to, 0.5, out);          // the wipe half-way
//     wipe.Render(from, to, out, [&](int frame) { /* out holds frame */ });
//
// An effect is named as the qvt program names it (display name "Alpha
// blend", class name TBlendTransition, short name CrossFade or record code
// 03) or given as a parameter record ("QVTS203E80300"); its properties are
// set by name and value as text, with the editor's checks ("ms" stands for
// "Milliseconds"). Frames are drawn by the same pipeline the plug-in plays:
// the departing page on a window of the process's display (32 bits unless
// the host chose another), the effect prepared on it and executed, each
// frame read back.
//
// Timing. A run of d ms at f frames a second gives N = round(d * f / 1000)
// frames (at least 2), which last exactly d at f frames a second. Frame j
// shows the transition at time j * d / (N - 1): the first frame is the
// departing page, the last the arriving page. An untimed effect
// (Milliseconds 0) gives one frame for every frame the effect has.
//
// Errors raise qvt::Error (a std::runtime_error) with the system's message;
// no other exception leaves the library, except those the caller's own
// frame callback throws, which travel on unchanged after the run has been
// cleaned up. One run draws at a time in a process; runs from several
// threads take turns. Effects that draw random numbers (Wipe's band offsets,
// Waterfall's streams) draw them from one generator shared by the process,
// as in the plug-in, so a second run of such an effect may differ from the
// first.
#ifndef QVT_TRANSITION_H
#define QVT_TRANSITION_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__)
#define QVT_API __attribute__((visibility("default")))
#else
#define QVT_API
#endif

namespace qvt {

class QVT_API Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// 8-bit channels, R first. Alpha is ignored on input and written as 255.
enum class PixelLayout { Rgba, Rgb };

// A picture the library reads: top-down rows, `stride` bytes from the start
// of one row to the next (0: rows packed).
struct ImageView {
    const std::uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelLayout layout = PixelLayout::Rgba;
};

// A picture the library writes, in the caller's memory.
struct ImageBuffer {
    std::uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelLayout layout = PixelLayout::Rgba;
};

// One property: its name (any case) and its value as text.
struct Setting {
    std::string name;
    std::string value;
};

// How a run becomes frames: the frame rate, and frames of the departing page
// before the transition and of the arriving page after it (each
// round(ms * fps / 1000) frames).
struct Timing {
    double fps = 25;
    int leadMilliseconds = 0;
    int holdMilliseconds = 0;
};

namespace detail {
struct TransitionAccess;
}

class QVT_API Transition {
public:
    // A new effect of the named class (empty: the default, an Alpha blend),
    // lasting 1000 ms as a new effect does in the plug-in, then the settings
    // in order.
    explicit Transition(std::string_view effect = {}, const std::vector<Setting> &settings = {});
    // The effect a parameter record stands for, then the settings in order.
    static Transition FromRecord(std::string_view record, const std::vector<Setting> &settings = {});

    ~Transition();
    Transition(Transition &&other) noexcept;
    Transition &operator=(Transition &&other) noexcept;
    Transition(const Transition &) = delete;
    Transition &operator=(const Transition &) = delete;

    // Sets a property from text, as the editor does ("Milliseconds", "250").
    void Set(std::string_view name, std::string_view value);

    std::string Name() const;   // the effect's display name
    std::string Record() const; // its parameter record
    int Milliseconds() const;   // its duration; 0 or less: untimed

    // Number of frames Render gives, or 0 when only the run can tell
    // (an untimed effect).
    int FrameCount(const Timing &timing = {}) const;

    // The transition `at` of the way through (0: the departing page, 1: the
    // arriving page) from `from` to `to`, into `out`. All three pictures
    // have one size. Effects that build each frame on the one before get
    // there through the frames Render draws at timing.fps, so a moment on
    // one of its frames (j / (N - 1)) gives that frame; lead and hold do not
    // apply.
    void RenderAt(const ImageView &from, const ImageView &to, double at, const ImageBuffer &out,
                  const Timing &timing = {});

    // Every frame of a run into `out`, one after the other: onFrame(j) is
    // called once frame j is there. Returns the number of frames.
    int Render(const ImageView &from, const ImageView &to, const ImageBuffer &out,
               const std::function<void(int frame)> &onFrame, const Timing &timing = {});

    // The same run with its frames drawn but not read: onFrame(j) is called
    // once frame j is drawn. For timing a run without the cost of reading
    // each frame back. Returns the number of frames.
    int Render(const ImageView &from, const ImageView &to, const std::function<void(int frame)> &onFrame,
               const Timing &timing = {});

private:
    struct Impl;
    explicit Transition(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend struct detail::TransitionAccess;
};

} // namespace qvt

#endif
