// Time as video counts it: how long a render lasts in ffprobe's eyes, its
// first and last frames, lead and hold, stills, the forms of a duration and
// the values refused.
#include "tool_test_support.h"

namespace qvt::tooltest {
namespace {

using Timing = ToolTest;

int pngCount(const fs::path &folder) {
    int n = 0;
    for (const auto &e : fs::directory_iterator(folder)) n += e.path().extension() == ".png";
    return n;
}

TEST_F(Timing, VideoLastsTheDurationWithRoundFramesAtTheRate) {
    struct Case {
        std::vector<std::string> args;
        int frames;
        double seconds;
    } cases[] = {
        {{"--ms", "1000", "--fps", "25"}, 25, 1.0},
        {{"--duration", "1.5s", "--fps", "24"}, 36, 1.5},
        {{"--ms", "1000", "--fps", "30"}, 30, 1.0},
        {{"--duration", "500ms", "--fps", "10"}, 5, 0.5},
        {{"--ms", "1000", "--fps", "25", "--lead", "200", "--hold", "400"}, 40, 1.6},
        {{"Wipe", "--fps", "25"}, 25, 1.0}, // a new effect lasts 1000 ms
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = {"render", "--size", "64x48", "-o", path("run.mp4")};
        args.insert(args.begin() + 1, c.args.begin(), c.args.end());
        SCOPED_TRACE(::testing::PrintToString(args));
        fs::remove(path("run.mp4"));
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        Result probe = run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames:format=duration", "-of", "default=nw=1:nk=1", path("run.mp4")},
                           {}, dir);
        ASSERT_EQ(probe.status, 0) << probe.err;
        const std::vector<std::string> values = lines(probe.out);
        ASSERT_EQ(values.size(), 2u) << probe.out;
        EXPECT_EQ(std::stoi(values[0]), c.frames);
        EXPECT_NEAR(std::stod(values[1]), c.seconds, 1e-6);
    }
}

TEST_F(Timing, RunStartsOnTheDepartingPageAndEndsOnTheArrivingPage) {
    const RgbImage departing = builtinPage(host::Page::Departing, 48, 36);
    const RgbImage arriving = builtinPage(host::Page::Arriving, 48, 36);
    struct Case {
        std::vector<std::string> args;
        int lead, frames, hold;
    } cases[] = {
        {{"Wipe", "--ms", "400"}, 0, 10, 0},
        {{"Slide", "--ms", "200", "--lead", "80", "--hold", "120"}, 2, 5, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        fs::remove_all(path("frames"));
        std::vector<std::string> args = {"render", "--size", "48x36", "--fps", "25", "-o", path("frames/f%04d.png")};
        args.insert(args.begin() + 1, c.args.begin(), c.args.end());
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const int total = c.lead + c.frames + c.hold;
        ASSERT_EQ(pngCount(path("frames")), total);
        for (int j = 0; j < total; ++j) {
            SCOPED_TRACE(j);
            const RgbImage frame = readPng(path("frames/" + frameName(j)));
            if (j <= c.lead)
                EXPECT_EQ(firstDifference(frame, departing), "");
            else if (j >= total - 1 - c.hold)
                EXPECT_EQ(firstDifference(frame, arriving), "");
            else
                EXPECT_NE(firstDifference(frame, arriving), "");
        }
    }
}

TEST_F(Timing, StillIsTheRunsFrameAtThatMoment) {
    const std::vector<std::string> common = {"Wipe", "--size", "48x36", "--ms", "1000"};
    auto args = [&](std::vector<std::string> more) {
        std::vector<std::string> a = {"render"};
        a.insert(a.end(), common.begin(), common.end());
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    ASSERT_EQ(qvt(args({"--fps", "25", "-o", path("frames/f%04d.png")})).status, 0);
    // 25 frames: frame j at j / 24 of the way.
    const struct {
        const char *at;
        int frame;
    } cases[] = {{"50%", 12}, {"0.5s", 12}, {"500ms", 12}, {"0.25", 6}, {"0%", 0}, {"100%", 24}, {"1s", 24}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.at);
        Result r = qvt(args({"--at", c.at, "-y", "-o", path("still.png")}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, path("still.png") + "\n");
        EXPECT_EQ(firstDifference(readPng(path("still.png")), readPng(path("frames/" + frameName(c.frame)))), "");
    }
    // A still is an output like any other: there already, it is kept.
    Result kept = qvt(args({"--at", "0%", "-o", path("still.png")}));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(kept.err, "qvt: output " + path("still.png") + " exists; use -y to overwrite it\n");
    EXPECT_EQ(firstDifference(readPng(path("still.png")), readPng(path("frames/" + frameName(24)))), "");
}

TEST_F(Timing, DurationFormsAndWhoseDurationCounts) {
    const std::string blend200 = qvt({"record", "Alpha blend", "--ms", "200"}).out;
    ASSERT_FALSE(blend200.empty());
    struct Case {
        std::vector<std::string> args;
        int frames;
    } cases[] = {
        {{"--ms", "1500"}, 38},
        {{"--duration", "1.5s"}, 38},
        {{"--duration", "1500ms"}, 38},
        {{"--duration", "1.5"}, 38},
        {{"--record", lines(blend200)[0]}, 5},                 // the record's own duration
        {{"--record", lines(blend200)[0], "--ms", "400"}, 10}, // unless the command line gives one
        {{"Alpha blend"}, 25},                                 // a new effect: 1000 ms
        {{"Alpha blend", "--ms", "0"}, 256},                   // untimed: every frame of the blend
        {{"--ms", "10"}, 2},                                   // never fewer than both pages
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        fs::remove_all(path("frames"));
        std::vector<std::string> args = {"render", "--size", "16x12", "--fps", "25", "-o", path("frames")};
        args.insert(args.begin() + 1, c.args.begin(), c.args.end());
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(pngCount(path("frames")), c.frames);
    }
}

TEST_F(Timing, BadTimingValuesGetOneLineAndExitTwo) {
    const std::string out = path("out/f%04d.png"), still = path("still.png");
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } cases[] = {
        {{"render", "--ms", "-500", "-o", out}, "--ms: '-500' is negative"},
        {{"render", "--Milliseconds", "-1", "-o", out}, "--Milliseconds: '-1' is negative"},
        {{"render", "--ms", "600001", "-o", out}, "--ms: '600001' is longer than a run may last, 600000 ms"},
        {{"render", "--duration", "-1s", "-o", out}, "--duration: '-1s' is negative"},
        {{"render", "--duration", "nan", "-o", out}, "--duration: 'nan' is not a duration"},
        {{"render", "--duration", "inf", "-o", out}, "--duration: 'inf' is not a duration"},
        {{"render", "--duration", "2min", "-o", out}, "--duration: '2min' is not a duration"},
        {{"render", "--duration", "601s", "-o", out}, "--duration: '601s' is longer than a run may last"},
        {{"render", "--duration", "1s", "--ms", "100", "-o", out}, "--duration and --ms both give the duration"},
        {{"play", "--duration", "-2", "--hold", "0"}, "--duration: '-2' is negative"},
        {{"play", "--ms", "-2", "--hold", "0"}, "--ms: '-2' is negative"},
        {{"render", "--lead", "-5", "-o", out}, "--lead"},
        {{"render", "--hold", "70000", "-o", out}, "--hold"},
        {{"render", "--at", "150%", "-o", still}, "--at: '150%' is not from 0% to 100%"},
        {{"render", "--at", "soon", "-o", still}, "--at: 'soon' is not a moment"},
        {{"render", "--at", "-1s", "-o", still}, "--at: '-1s' is before the run's start"},
        {{"render", "--at", "2s", "-o", still}, "--at: 2000 ms is past the end of the 1000 ms run"},
        {{"render", "--at", "0.3s", "--ms", "0", "-o", still}, "--at: the effect is untimed"},
        {{"render", "--at", "50%", "-o", path("still.jpg")}, "-o must name a .png file"},
        {{"render", "--at", "50%", "-o", path("stills")}, "-o must name a .png file"},
        {{"render", "--at", "50%", "--hold", "100", "-o", still}, "excludes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        Result r = qvt(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(entries(dir), std::vector<std::string>{});
    }
}

} // namespace
} // namespace qvt::tooltest
