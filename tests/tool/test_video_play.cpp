// Videos and animations through ffmpeg (read back with ffprobe), playing in
// a real window under Xvfb, and the plug-in's About answer.
#include "tool_test_support.h"

#include <poll.h>
#include <signal.h>

#include "engine/teTimed.h"

namespace qvt::tooltest {
namespace {

using Video = ToolTest;

struct VideoCase {
    const char *file;
    const char *size;
    int width, height;
    const char *fps;
    int ms;
};

TEST_F(Video, FfprobeSeesTheSizeAndEveryFrame) {
    const VideoCase cases[] = {
        {"run.mp4", "96x64", 96, 64, "25", 1000},
        {"run.gif", "80x60", 80, 60, "25", 1000},
        {"run.webm", "64x48", 64, 48, "12", 500},
        {"run.apng", "33x21", 33, 21, "10", 700},
    };
    for (const VideoCase &c : cases) {
        SCOPED_TRACE(c.file);
        Result r = qvt({"render", "--size", c.size, "--fps", c.fps, "--ms", std::to_string(c.ms), "-o", path(c.file)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, path(c.file) + "\n");
        Result probe = run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height,nb_read_frames", "-of", "csv=p=0", path(c.file)},
                           {}, dir);
        ASSERT_EQ(probe.status, 0) << probe.err;
        const int frames = TTimedTransitionEffect::SampledFrameCount(c.ms, std::stod(c.fps));
        EXPECT_EQ(probe.out,
                  std::to_string(c.width) + "," + std::to_string(c.height) + "," + std::to_string(frames) + "\n");
    }
    // Nothing but the files asked for.
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"run.apng", "run.gif", "run.mp4", "run.webm"}));
}

// An X server of our own, on a display number it picks itself.
class Xvfb {
public:
    Xvfb(int width, int height) {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::string fd = std::to_string(fds[1]);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid_ = spawn({"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp"}, {}, -1, -1);
        close(fds[1]);
        if (pid_ <= 0) {
            close(fds[0]);
            return;
        }
        // The server writes its display number once it accepts clients.
        pollfd p{fds[0], POLLIN, 0};
        std::string number;
        while (poll(&p, 1, 20000) == 1) {
            char ch;
            if (read(fds[0], &ch, 1) != 1 || ch == '\n') break;
            number += ch;
        }
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitExit(pid_);
        }
    }
    const std::string &Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Where `part` sits inside `whole`, if it does.
std::optional<std::pair<int, int>> find(const RgbImage &whole, const RgbImage &part) {
    for (int y = 0; y + part.height <= whole.height; ++y)
        for (int x = 0; x + part.width <= whole.width; ++x) {
            bool same = true;
            for (int row = 0; row < part.height && same; ++row)
                same =
                    std::memcmp(whole.Pixel(x, y + row), part.Pixel(0, row), static_cast<size_t>(part.width) * 3) == 0;
            if (same) return std::make_pair(x, y);
        }
    return std::nullopt;
}

using Play = ToolTest;

TEST_F(Play, WindowShowsTheArrivingPageAfterTheRun) {
    Xvfb server(320, 240);
    if (server.Display().empty()) GTEST_SKIP() << "Xvfb could not be started: the play test needs an X server";

    const RgbImage departing = testPage(96, 64, 3), arriving = testPage(96, 64, 4);
    writePng(path("from.png"), departing);
    writePng(path("to.png"), arriving);

    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    const fs::path errPath = dir / "play.err";
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t player = spawn({QVT_TOOL, "play", "--from", path("from.png"), "--to", path("to.png"), "--size", "96x64",
                          "--ms", "400", "--lead", "100", "--hold", "60000"},
                         toolEnvironment({{"DISPLAY", server.Display()}, {"SDL_VIDEODRIVER", "x11"}}), out[1], err);
    close(out[1]);
    close(err);
    ASSERT_GT(player, 0);

    // The player says when the run is over, then holds the window.
    std::string said;
    pollfd p{out[0], POLLIN, 0};
    while (said.find('\n') == std::string::npos && poll(&p, 1, 60000) == 1) {
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        said.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    EXPECT_EQ(said.rfind("played ", 0), 0u) << said << readFile(errPath);

    // The X server draws the window's last picture in its own time: look a
    // few times.
    bool shown = false, departingShown = true;
    std::string grabError;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        if (attempt) usleep(250000);
        Result shot = run({"ffmpeg", "-v", "error", "-y", "-f", "x11grab", "-draw_mouse", "0", "-video_size", "320x240",
                           "-i", server.Display(), "-frames:v", "1", path("screen.png")},
                          {}, dir);
        if (shot.status != 0) {
            grabError = shot.err;
            break;
        }
        const RgbImage screen = readPng(path("screen.png"));
        shown = find(screen, arriving).has_value();
        departingShown = find(screen, departing).has_value();
    }
    // A key or a close ends the hold; so does the interrupt SDL turns into a
    // close request.
    kill(player, SIGINT);
    EXPECT_EQ(waitExit(player), 0) << readFile(errPath);
    ASSERT_EQ(grabError, "");
    EXPECT_TRUE(shown) << "the arriving page is not on the screen";
    EXPECT_FALSE(departingShown) << "the departing page is still on the screen";
}

using About = ToolTest;

TEST_F(About, PrintsThePluginsNamesAndItsAnswer) {
    Result r = qvt({"about"});
    const std::vector<std::string> out = lines(r.out);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "Quorvane Transitions");
    EXPECT_EQ(out[1], "QuorvaneSoft");
    EXPECT_EQ(out[2], "Transition effects plug-in");
    // Once, whether the About box or qvt said them.
    EXPECT_EQ(std::count(out.begin(), out.end(), "Quorvane Transitions"), 1) << r.out;
    if (r.status != 0) {
        // Refused: why, one line per reason.
        ASSERT_FALSE(r.err.empty());
        for (const std::string &line : lines(r.err)) EXPECT_EQ(line.rfind("qvt: ", 0), 0u) << line;
    }
}

} // namespace
} // namespace qvt::tooltest
