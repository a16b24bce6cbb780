// Renders through the installed library and checks the pixels: a blend
// half-way is one grey between the pages, a push starts on the departing
// page, ends on the arriving one and moves across in between, and errors
// reach the caller as qvt::Error.
#include <qvt/transition.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void expect(bool ok, const std::string &what) {
    if (!ok) {
        std::fprintf(stderr, "check_frame: %s\n", what.c_str());
        ++failures;
    }
}

} // namespace

int main() {
    const int w = 64, h = 48;
    std::vector<std::uint8_t> black(w * h * 4, 0), white(w * h * 4, 255), frame(w * h * 4, 7);
    for (size_t i = 3; i < black.size(); i += 4) black[i] = 255;

    qvt::Transition blend("Alpha blend");
    blend.RenderAt({black.data(), w, h}, {white.data(), w, h}, 0.5, {frame.data(), w, h});
    const std::uint8_t grey = frame[0];
    expect(grey > 100 && grey < 155, "the blend half-way is " + std::to_string(grey) + ", not a middle grey");
    bool uniform = true;
    for (size_t i = 0; i < frame.size(); i += 4)
        uniform = uniform && frame[i] == grey && frame[i + 1] == grey && frame[i + 2] == grey && frame[i + 3] == 255;
    expect(uniform, "the blend half-way is not one opaque grey");

    qvt::Transition push("Push", {{"Milliseconds", "400"}, {"Direction", "tedRight"}});
    std::vector<std::vector<std::uint8_t>> frames;
    const int n = push.Render({black.data(), w, h}, {white.data(), w, h}, {frame.data(), w, h},
                              [&](int) { frames.push_back(frame); });
    expect(n == 10 && frames.size() == 10, "400 ms at 25 frames a second gave " + std::to_string(n) + " frames");
    if (frames.size() == 10) {
        expect(frames.front() == black, "the first frame is not the departing page");
        expect(frames.back() == white, "the last frame is not the arriving page");
        const std::vector<std::uint8_t> &middle = frames[5];
        expect(middle[0] == 255 && middle[(w - 1) * 4] == 0,
               "the push half-way is not white on the left, black on the right");
    }

    try {
        qvt::Transition("Sparkle");
        expect(false, "an unknown effect was accepted");
    } catch (const qvt::Error &e) {
        expect(std::string(e.what()).find("unknown effect 'Sparkle'") == 0, std::string("message: ") + e.what());
    }
    return failures == 0 ? 0 : 1;
}
