// What qvt says and leaves as people use it from a shell: outputs that are
// there already, frames of an earlier run, the PNG stream on standard
// output, the summary and its verbosity, play without a display or a
// terminal, contact sheets of wide pages and the set-up script's advice.
#include "tool_test_support.h"

#include <signal.h>

#include <chrono>
#include <thread>

#include "contact_sheet.h"
#include "image_io.h"

namespace qvt::tooltest {
namespace {

using Cli = ToolTest;

// The names in a folder, sorted.
std::vector<std::string> namesIn(const fs::path &folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The exit status of a program that should end by itself within `seconds`;
// -1 (and the program killed) when it does not.
int exitWithin(pid_t pid, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitExit(pid);
    return -1;
}

std::string quoted(const std::string &text) { return "'" + text + "'"; }

struct FramesCase {
    const char *output; // as given to -o, in the scratch folder
    const char *folder;
    std::string (*name)(int);
    const char *foreign; // a file that looks like a frame of another pattern
};

std::string fourDigits(int j) { return frameName(j); }
std::string folderFrame(int j) {
    char name[32];
    std::snprintf(name, sizeof name, "frame%04d.png", j);
    return name;
}
std::string bareNumber(int j) { return "p" + std::to_string(j) + ".png"; }

TEST_F(Cli, ExistingFramesNeedOverwriteWhichRemovesTheStaleOnes) {
    const FramesCase cases[] = {
        {"a/f%04d.png", "a", fourDigits, "f12.png"},
        {"b/", "b", folderFrame, "frame7.png"},
        {"c/p%d.png", "c", bareNumber, "p0003.png"},
    };
    for (const FramesCase &c : cases) {
        SCOPED_TRACE(c.output);
        const fs::path folder = dir / c.folder;
        Result first = qvt({"render", "--size", "16x12", "--ms", "400", "-o", path(c.output)});
        ASSERT_EQ(first.status, 0) << first.err;
        const size_t longRun = namesIn(folder).size();
        ASSERT_GT(longRun, 3u);
        // Beside the frames: other files, and a frame far past the run's end.
        writeFile(folder / "notes.txt", "mine");
        writeFile(folder / c.foreign, "not a frame of this pattern");
        writeFile(folder / c.name(10000), "a frame of a much longer run");
        const std::vector<std::string> before = entries(dir);
        const std::string firstFrame = readFile(folder / c.name(0));

        // Without -y nothing is touched.
        Result refused = qvt({"render", "--size", "24x16", "--ms", "100", "-o", path(c.output)});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(lines(refused.err).size(), 1u) << refused.err;
        EXPECT_NE(refused.err.find("already holds " + std::to_string(longRun + 1) + " frames"), std::string::npos)
            << refused.err;
        EXPECT_NE(refused.err.find("use -y"), std::string::npos) << refused.err;
        EXPECT_EQ(entries(dir), before);
        EXPECT_EQ(readFile(folder / c.name(0)), firstFrame);

        // With it, the folder holds the new run and what is not its frames.
        Result replaced = qvt({"render", "--size", "24x16", "--ms", "100", "-y", "-o", path(c.output)});
        ASSERT_EQ(replaced.status, 0) << replaced.err;
        std::vector<std::string> frames;
        for (const std::string &name : namesIn(folder))
            if (name != "notes.txt" && name != c.foreign) frames.push_back(name);
        ASSERT_GE(frames.size(), 2u);
        ASSERT_LT(frames.size(), longRun);
        for (size_t j = 0; j < frames.size(); ++j) {
            SCOPED_TRACE(j);
            ASSERT_TRUE(fs::exists(folder / c.name(static_cast<int>(j))));
            EXPECT_EQ(readPng((folder / c.name(static_cast<int>(j))).string()).width, 24);
        }
        EXPECT_EQ(readFile(folder / "notes.txt"), "mine");
        EXPECT_EQ(readFile(folder / c.foreign), "not a frame of this pattern");
    }
}

TEST_F(Cli, ExistingVideoNeedsOverwrite) {
    writeFile(dir / "run.mp4", "an earlier run");
    Result refused = qvt({"render", "--size", "32x24", "--ms", "200", "-o", path("run.mp4")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "qvt: output " + path("run.mp4") + " exists; use -y to overwrite it\n");
    EXPECT_EQ(readFile(dir / "run.mp4"), "an earlier run");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"run.mp4"});

    Result replaced = qvt({"render", "--size", "32x24", "--ms", "200", "--overwrite", "-o", path("run.mp4")});
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    Result probe = run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=width,height",
                        "-of", "csv=p=0", path("run.mp4")},
                       {}, dir);
    EXPECT_EQ(probe.out, "32,24\n") << probe.err;
}

TEST_F(Cli, SaysWhatItWroteAsMuchAsAsked) {
    struct Case {
        std::vector<std::string> first, last; // before and after "render ..."; {D}: the scratch folder
        const char *folder;                   // where the frames go
        // {N}: the frame count; {LAST}, {LAST3}: the last frame's number in
        // 4 and 3 digits; {FRAMES}: every frame file, one a line.
        std::string out;
    };
    const Case cases[] = {
        {{}, {"-o", "{D}/n/f%04d.png"}, "n", "{D}/n/f%04d.png: {N} frames, f0000.png to f{LAST}.png\n"},
        {{}, {"-o", "{D}/pc/100%%-%03d.png"}, "pc",
         "{D}/pc/100%%-%03d.png: {N} frames, 100%-000.png to 100%-{LAST3}.png\n"},
        {{}, {"-o", "{D}/v/f%04d.png", "--verbose"}, "v", "{FRAMES}"},
        {{}, {"-o", "{D}/q/f%04d.png", "--quiet"}, "q", ""},
        {{"-q"}, {"-o", "{D}/q2.mp4"}, "", ""},
        {{}, {"-o", "{D}/run.mp4"}, "", "{D}/run.mp4\n"},
        {{}, {"-o", "null"}, "", ""},
    };
    const auto expand = [&](std::string text, const std::vector<std::pair<std::string, std::string>> &values) {
        for (const auto &[key, value] : values)
            for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
        return text;
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.first;
        for (const char *a : {"render", "--size", "16x12", "--ms", "200"}) args.push_back(a);
        for (const std::string &a : c.last) args.push_back(expand(a, {{"{D}", dir.string()}}));
        SCOPED_TRACE(args[args.size() - (c.last.size() > 2 ? 2 : 1)]);
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        // Standard error is no terminal here: no progress bar either.
        EXPECT_EQ(r.err, "");
        const fs::path folder = dir / c.folder;
        const std::vector<std::string> files = *c.folder ? namesIn(folder) : std::vector<std::string>{};
        std::string every;
        for (const std::string &f : files) every += (folder / f).string() + "\n";
        const int n = static_cast<int>(files.size());
        char last[16], last3[16];
        std::snprintf(last, sizeof last, "%04d", n - 1);
        std::snprintf(last3, sizeof last3, "%03d", n - 1);
        EXPECT_EQ(r.out, expand(c.out, {{"{FRAMES}", every},
                                        {"{D}", dir.string()},
                                        {"{N}", std::to_string(n)},
                                        {"{LAST3}", last3},
                                        {"{LAST}", last}}));
    }
}

TEST_F(Cli, VersionNamesTheToolAndThePlugin) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--version"}, std::vector<std::string>{"render", "--version"}}) {
        Result r = qvt(args);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> out = lines(r.out);
        ASSERT_EQ(out.size(), 2u) << r.out;
        EXPECT_EQ(out[0].rfind("qvt ", 0), 0u) << out[0];
        EXPECT_EQ(out[0].find_first_not_of("0123456789.", 4), std::string::npos) << out[0];
        EXPECT_EQ(out[1], "plug-in: Quorvane Transitions, QuorvaneSoft (QVT.ovp)");
    }
}

TEST_F(Cli, PngStreamOnStandardOutputIsReadBackByFfmpeg) {
    const std::string render = quoted(QVT_TOOL) + " render Wipe --size 40x30 --ms 400";
    Result reference = qvt({"render", "Wipe", "--size", "40x30", "--ms", "400", "-o", path("ref/f%04d.png")});
    ASSERT_EQ(reference.status, 0) << reference.err;
    const size_t count = namesIn(dir / "ref").size();

    fs::create_directory(dir / "back");
    Result piped = run({"bash", "-c",
                        "set -o pipefail; " + render + " -o - 2>" + quoted(path("qvt.err")) +
                            " | ffmpeg -nostdin -v error -f image2pipe -framerate 25 -i - -f image2 " +
                            quoted(path("back/f%04d.png"))},
                       toolEnvironment(), dir);
    ASSERT_EQ(piped.status, 0) << piped.err << readFile(dir / "qvt.err");
    EXPECT_EQ(readFile(dir / "qvt.err"),
              std::to_string(count) + " frames of 40x30 as a PNG stream to standard output, 25 frames a second\n");
    // ffmpeg numbers from 1.
    ASSERT_EQ(namesIn(dir / "back").size(), count);
    for (size_t j = 0; j < count; ++j)
        EXPECT_EQ(firstDifference(readPng(path("back/" + frameName(static_cast<int>(j) + 1))),
                                  readPng(path("ref/" + frameName(static_cast<int>(j))))),
                  "")
            << "frame " << j;

    // A reader that stops early is a failed run, not a finished one.
    Result cut = run({"bash", "-c",
                      render + " --ms 4000 -o - 2>" + quoted(path("cut.err")) +
                          " | head -c 100 >/dev/null; echo ${PIPESTATUS[0]}"},
                     toolEnvironment(), dir);
    EXPECT_EQ(cut.out, "1\n");
    EXPECT_EQ(readFile(dir / "cut.err"), "qvt: cannot write to standard output: Broken pipe\n");
}

TEST_F(Cli, PlayWithoutADisplayStopsAtOnce) {
    const EnvChanges noDisplay = {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
                                  {"SDL_VIDEODRIVER", std::nullopt}};
    const std::pair<EnvChanges, const char *> cases[] = {
        {noDisplay, "qvt: cannot open a window: no display"},
        // A display that is named but is not there: SDL would fall back to a
        // surface that shows nothing, and wait there for a key.
        {{{"DISPLAY", ":987"}, {"WAYLAND_DISPLAY", std::nullopt}, {"SDL_VIDEODRIVER", std::nullopt}},
         "qvt: cannot open a window (DISPLAY=:987)"},
    };
    for (const auto &[env, says] : cases) {
        SCOPED_TRACE(says);
        const fs::path errPath = dir / "play.err";
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = spawn({QVT_TOOL, "play", "--size", "32x24"}, toolEnvironment(env), -1, err);
        close(err);
        ASSERT_GT(pid, 0);
        const int status = exitWithin(pid, 30);
        EXPECT_NE(status, -1) << "still waiting";
        EXPECT_EQ(status, 1);
        // One line of qvt's (a sanitizer build may add its leak report).
        const std::vector<std::string> said = lines(readFile(errPath));
        ASSERT_FALSE(said.empty());
        EXPECT_EQ(said[0].rfind(says, 0), 0u) << said[0];
        EXPECT_EQ(std::count_if(said.begin(), said.end(), [](const std::string &l) { return l.rfind("qvt", 0) == 0; }),
                  1);
    }
}

TEST_F(Cli, PlayOffATerminalHoldsForASetTime) {
    // Standard input is /dev/null; no --hold.
    const pid_t pid = spawn({QVT_TOOL, "play", "--size", "32x24", "--ms", "200", "--lead", "0"},
                            toolEnvironment({{"SDL_VIDEODRIVER", "dummy"}}), -1, -1);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(exitWithin(pid, 60), 0);
}

TEST(ContactSheet, ThumbnailsKeepThePagesShape) {
    struct Case {
        int width, height, boxWidth, boxHeight, wantWidth, wantHeight;
    };
    const Case cases[] = {
        {640, 480, 160, 120, 160, 120}, // same shape
        {1920, 1080, 160, 120, 160, 90}, // wider than the box
        {480, 640, 160, 120, 90, 120},  // taller
        {1000, 1, 160, 120, 160, 1},    // never thinner than a pixel
        {101, 100, 100, 100, 100, 99},  // rounded to the nearest
    };
    for (const Case &c : cases) {
        const host::ThumbSize t = host::FitThumb(c.width, c.height, c.boxWidth, c.boxHeight);
        EXPECT_EQ(t.width, c.wantWidth) << c.width << "x" << c.height;
        EXPECT_EQ(t.height, c.wantHeight) << c.width << "x" << c.height;
    }
}

TEST_F(Cli, ContactSheetShowsWidePagesUnstretched) {
    Result r = qvt({"demo", "--sheet-only", "--size", "160x90", "--thumb", "64x48", "-o", path("demo")});
    ASSERT_EQ(r.status, 0) << r.err;
    const RgbImage sheet = readPng(path("demo/contact-sheet.png"));
    const RgbImage thumb = host::ScalePicture(builtinPage(host::Page::Departing, 160, 90), 64, 36);
    bool found = false;
    for (int y = 0; y + thumb.height <= sheet.height && !found; ++y)
        for (int x = 0; x + thumb.width <= sheet.width && !found; ++x) {
            bool same = true;
            for (int row = 0; row < thumb.height && same; ++row)
                same = std::memcmp(sheet.Pixel(x, y + row), thumb.Pixel(0, row),
                                   static_cast<size_t>(thumb.width) * 3) == 0;
            found = same;
        }
    EXPECT_TRUE(found) << "no 64x36 thumbnail of the departing page on the sheet";
}

TEST_F(Cli, SetUpScriptWithoutRightsPrintsTheCommandOnly) {
    // Not root, no sudo, and no cmake on the PATH.
    fs::create_directory(dir / "bin");
    writeFile(dir / "bin" / "id", "#!/bin/sh\necho 1000\n");
    writeFile(dir / "bin" / "sudo", "#!/bin/sh\nexit 1\n");
    for (const char *tool : {"id", "sudo"}) fs::permissions(dir / "bin" / tool, fs::perms::owner_all);
    const fs::path script = fs::path(QVT_SOURCE_DIR) / "scripts" / "bootstrap.sh";
    Result r = run({"/bin/bash", script.string()}, {{"PATH", path("bin")}}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("installing"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("apt-get install -y --no-install-recommends cmake"), std::string::npos) << r.err;
}

} // namespace
} // namespace qvt::tooltest
