// What qvt render leaves on disk when things go wrong around it: names that
// look like ffmpeg protocols, a stop signal in mid-run, two runs writing one
// output, a final move that cannot finish, a full disk, and the memory a
// long GIF takes.
#include "tool_test_support.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/teTimed.h"

namespace qvt::tooltest {
namespace {

using Output = ToolTest;

// Waits up to 60 s for the condition; whether it came.
bool waitFor(const std::function<bool()> &condition) {
    for (int i = 0; i < 6000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<std::string> hidden(const fs::path &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string()[0] == '.') names.push_back(e.path().filename().string());
    return names;
}

// Processes whose command line mentions the text (an ffmpeg left running).
std::vector<std::string> processesMentioning(const std::string &text) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator("/proc", ec)) {
        const std::string pid = e.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid())) continue;
        std::string cmdline = readFile(e.path() / "cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(text) != std::string::npos) found.push_back(pid + ": " + cmdline);
    }
    return found;
}

// ffprobe's width, height and frame count of a video, as "W,H,N".
std::string probe(const fs::path &video, const fs::path &scratch) {
    Result r = run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=width,height,nb_read_frames", "-of", "csv=p=0", "file:" + video.string()},
                   {}, scratch);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

pid_t startQvt(const std::vector<std::string> &args) {
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), QVT_TOOL);
    return spawn(argv, toolEnvironment(), -1, -1);
}

TEST_F(Output, NamesLikeProtocolsAreFiles) {
    // Run in the scratch folder: each name is a relative path, a folder
    // "file:" (and so on) holding the video.
    const int frames = TTimedTransitionEffect::SampledFrameCount(200, 10);
    for (const char *name : {"file:/a.gif", "pipe:/b.mp4", "http:/c.webm"}) {
        SCOPED_TRACE(name);
        Result r = qvt({"render", "Alpha blend", "--ms", "200", "--fps", "10", "--size", "32x24", "-o", name}, {},
                       dir.string());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string(name) + "\n");
        EXPECT_EQ(probe(dir / name, dir), "32,24," + std::to_string(frames) + "\n");
    }
    EXPECT_EQ(entries(dir),
              (std::vector<std::string>{"file:", "file:/a.gif", "http:", "http:/c.webm", "pipe:", "pipe:/b.mp4"}));
}

struct StopCase {
    const char *output;
    int signal;
    const char *staging; // the start of the hidden name that shows the run is writing
};

TEST_F(Output, StopSignalLeavesWhatWasThereAndNothingElse) {
    writeFile(dir / "old.gif", "an earlier run");
    fs::create_directory(dir / "frames");
    writeFile(dir / "frames" / "f0000.png", "an earlier frame");
    const std::vector<std::string> before = entries(dir);
    const StopCase cases[] = {
        {"old.gif", SIGINT, ".old.gif.qvt-"},
        {"new.mp4", SIGTERM, ".new.mp4.qvt-"},
        {"frames/f%04d.png", SIGINT, ".qvt-frames-"},
        {"more/frames/", SIGTERM, ".qvt-frames-"},
    };
    for (const StopCase &c : cases) {
        SCOPED_TRACE(c.output);
        const fs::path out = dir / c.output;
        const fs::path folder = out.parent_path();
        // A ten-minute run, stopped once it is well under way.
        const pid_t pid = startQvt({"render", "--size", "64x48", "--ms", "600000", "-y", "-o", out.string()});
        ASSERT_GT(pid, 0);
        std::error_code ec;
        const bool started = waitFor([&] {
            for (const std::string &name : hidden(folder))
                if (name.rfind(c.staging, 0) == 0)
                    return fs::is_directory(folder / name, ec)
                               ? std::distance(fs::directory_iterator(folder / name, ec), fs::directory_iterator()) > 3
                               : true;
            return false;
        });
        if (started) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(pid, c.signal);
        EXPECT_EQ(waitExit(pid), 128 + c.signal);
        ASSERT_TRUE(started);
        EXPECT_EQ(entries(dir), before) << "left behind or changed";
        EXPECT_EQ(readFile(dir / "old.gif"), "an earlier run");
        EXPECT_EQ(readFile(dir / "frames" / "f0000.png"), "an earlier frame");
        EXPECT_EQ(processesMentioning(dir.string()), std::vector<std::string>{}) << "still running";
    }
}

TEST_F(Output, OneRunWritesAnOutputAtATime) {
    for (const char *output : {"out/f%04d.png", "run.gif"}) {
        SCOPED_TRACE(output);
        const fs::path out = dir / output;
        const fs::path folder = out.parent_path();
        // The first run is held still once it has begun writing; the second,
        // of another size, must refuse while it is.
        const pid_t first = startQvt({"render", "--size", "32x24", "--ms", "20000", "-o", out.string()});
        ASSERT_GT(first, 0);
        const bool begun = waitFor([&] { return !hidden(folder).empty(); });
        kill(first, SIGSTOP);
        Result second = qvt({"render", "--size", "48x32", "--ms", "200", "-o", out.string()});
        kill(first, SIGCONT);
        ASSERT_EQ(waitExit(first), 0);
        ASSERT_TRUE(begun);
        EXPECT_EQ(second.status, 1);
        EXPECT_EQ(second.out, "");
        EXPECT_EQ(second.err, "qvt: cannot write " + out.string() + ": another qvt run is writing it\n");

        // Only the first run's frames.
        const int frames = TTimedTransitionEffect::SampledFrameCount(20000, 25);
        if (out.extension() == ".gif") {
            EXPECT_EQ(probe(out, dir), "32,24," + std::to_string(frames) + "\n");
        } else {
            EXPECT_EQ(entries(folder).size(), static_cast<size_t>(frames));
            for (int j : {0, frames / 2, frames - 1}) {
                const RgbImage frame = readPng((folder / frameName(j)).string());
                EXPECT_EQ(frame.width, 32) << "frame " << j;
                EXPECT_EQ(frame.height, 24) << "frame " << j;
            }
        }
        EXPECT_EQ(hidden(folder), std::vector<std::string>{});
    }
}

TEST_F(Output, FailedFinalMoveKeepsTheOldFrames) {
    const std::string pattern = path("out/f%04d.png");
    Result first = qvt({"render", "--size", "16x12", "--ms", "200", "-o", pattern});
    ASSERT_EQ(first.status, 0) << first.err;
    const int oldCount = TTimedTransitionEffect::SampledFrameCount(200, 25);
    std::vector<std::string> oldFrames;
    for (int j = 0; j < oldCount; ++j) oldFrames.push_back(readFile(dir / "out" / frameName(j)));
    // A folder where a frame of the second, longer run should go.
    fs::create_directory(dir / "out" / frameName(oldCount + 2));
    const std::vector<std::string> before = entries(dir);

    Result second = qvt({"render", "--size", "24x16", "--ms", "1000", "-y", "-o", pattern});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "qvt: cannot write " + path("out/" + frameName(oldCount + 2)) + ": Is a directory\n");
    EXPECT_EQ(entries(dir), before);
    for (int j = 0; j < oldCount; ++j)
        EXPECT_EQ(readFile(dir / "out" / frameName(j)), oldFrames[static_cast<size_t>(j)]) << "frame " << j;

    // Once the way is clear, the new run replaces the old frames.
    fs::remove(dir / "out" / frameName(oldCount + 2));
    Result third = qvt({"render", "--size", "24x16", "--ms", "1000", "-y", "-o", pattern});
    ASSERT_EQ(third.status, 0) << third.err;
    EXPECT_EQ(readPng(path("out/" + frameName(0))).width, 24);
    EXPECT_EQ(entries(dir / "out").size(), static_cast<size_t>(TTimedTransitionEffect::SampledFrameCount(1000, 25)));
}

// A small tmpfs over a folder, while it lives.
class SmallDisk {
public:
    SmallDisk(const fs::path &where, const char *size) : where_(where) {
        fs::create_directory(where);
        mounted_ = mount("tmpfs", where.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(where_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }

private:
    fs::path where_;
    bool mounted_ = false;
};

TEST_F(Output, FullDiskGivesTheSystemsReason) {
    SmallDisk disk(dir / "full", "64k");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    // Frames of noise, which do not compress: a few fill the disk.
    writePng(path("noise.png"), testPage(96, 64, 9));
    Result r = qvt({"render", "--from", path("noise.png"), "--to", path("noise.png"), "--size", "96x64", "-o",
                    path("full/f%04d.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
    EXPECT_EQ(r.err.rfind("qvt: cannot write " + path("full/f"), 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": No space left on device\n"), std::string::npos) << r.err;
    EXPECT_EQ(entries(dir / "full"), std::vector<std::string>{});
}

// The largest resident set of qvt and of the ffmpeg it ran, in kB.
long peakMemory(const std::vector<std::string> &args) {
    const pid_t pid = startQvt(args);
    int status = 0;
    rusage usage{};
    if (pid <= 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

TEST_F(Output, GifMemoryDoesNotGrowWithTheRun) {
    // 40 and 400 frames of 240 x 180: holding the frames would take 130 kB
    // more for each (47 MB in all); a bounded encoder takes about the same
    // for both. The pages are two flat colours, so that the blend has few
    // colours: ffmpeg's palette mapping keeps a cache entry for every
    // distinct colour it has seen, which grows with the colours of a run
    // (up to the 2^24 there are), not with its length. (scripts/gif_memory.sh
    // measures 640 x 480 with the built-in pages.)
    RgbImage red(240, 180), blue(240, 180);
    for (size_t i = 0; i < red.rgb.size(); i += 3) red.rgb[i] = 220, blue.rgb[i + 2] = 200;
    writePng(path("red.png"), red);
    writePng(path("blue.png"), blue);
    const auto peak = [&](const char *ms, const char *name) {
        return peakMemory({"render", "--from", path("red.png"), "--to", path("blue.png"), "--size", "240x180", "--ms",
                           ms, "-o", path(name)});
    };
    const long short_ = peak("1600", "short.gif"), long_ = peak("16000", "long.gif");
    ASSERT_GT(short_, 0);
    ASSERT_GT(long_, 0);
    EXPECT_LT(long_ - short_, 12 * 1024) << short_ << " kB for 40 frames, " << long_ << " kB for 400";
    EXPECT_EQ(probe(dir / "long.gif", dir), "240,180,400\n");
}

} // namespace
} // namespace qvt::tooltest
