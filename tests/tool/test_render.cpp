// qvt render to PNG frames: frame count and order, the pages at both ends,
// the blend's mix frame by frame, every display depth, picture files.
#include "tool_test_support.h"

#include "engine/teTimed.h"
#include "pixels/PixFormats.h"

namespace qvt::tooltest {
namespace {

using Render = ToolTest;

// Frame files f0000.png ... in the folder, in order.
std::vector<RgbImage> readFrames(const fs::path &folder, int count) {
    std::vector<RgbImage> frames;
    for (int j = 0; j < count; ++j) frames.push_back(readPng((folder / frameName(j)).string()));
    return frames;
}

int pngCount(const fs::path &folder) {
    int n = 0;
    for (const auto &e : fs::directory_iterator(folder)) n += e.path().extension() == ".png";
    return n;
}

// The arriving page weighted by level/256 over the departing page, byte by
// byte, as the blend mixes 32-bit pixels. The integer routine (no fast path)
// exchanges the pages above half way.
RgbImage blendAt(const RgbImage &departing, const RgbImage &arriving, int level, bool fastPath) {
    RgbImage out(departing.width, departing.height);
    for (size_t i = 0; i < out.rgb.size(); ++i) {
        const int a = arriving.rgb[i], b = departing.rgb[i];
        auto floorDiv = [](int n, int d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
        out.rgb[i] = static_cast<uint8_t>(fastPath || level <= 128 ? b + floorDiv((a - b) * level, 256)
                                                                   : a + floorDiv((b - a) * (255 - level), 256));
    }
    return out;
}

struct BlendCase {
    const char *fps;
    int width, height;
};

TEST_F(Render, BlendFramesFollowTheSampledRun) {
    InitializePixelServices(); // tells whether the fast path is in use on this processor
    const BlendCase cases[] = {{"25", 48, 32}, {"10", 33, 17}, {"60", 16, 12}, {"7.5", 40, 30}};
    for (const BlendCase &c : cases) {
        SCOPED_TRACE(std::string("fps ") + c.fps);
        const fs::path out = dir / ("fps" + std::string(c.fps));
        const RgbImage departing = testPage(c.width, c.height, 1), arriving = testPage(c.width, c.height, 2);
        writePng(path("from.png"), departing);
        writePng(path("to.png"), arriving);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        Result r = qvt({"render", "Alpha blend", "--ms", "1000", "--fps", c.fps, "--size", size, "--from",
                        path("from.png"), "--to", path("to.png"), "-v", "-o", (out / "f%04d.png").string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");

        const double fps = std::stod(c.fps);
        const int count = TTimedTransitionEffect::SampledFrameCount(1000, fps);
        ASSERT_EQ(pngCount(out), count);
        // With --verbose, standard output lists the frames written, in order.
        const std::vector<std::string> listed = lines(r.out);
        ASSERT_EQ(listed.size(), static_cast<size_t>(count));
        for (int j = 0; j < count; ++j) EXPECT_EQ(listed[static_cast<size_t>(j)], (out / frameName(j)).string());

        const std::vector<RgbImage> frames = readFrames(out, count);
        EXPECT_EQ(firstDifference(frames.front(), departing), "") << "first frame is not the departing page";
        EXPECT_EQ(firstDifference(frames.back(), arriving), "") << "last frame is not the arriving page";
        for (int j = 1; j < count - 1; ++j) {
            const int level = TTimedTransitionEffect::SampledFrameAt(j, 1000, fps, 255, 1);
            EXPECT_EQ(
                firstDifference(frames[static_cast<size_t>(j)], blendAt(departing, arriving, level, MMXAvailable)), "")
                << "frame " << j << " (level " << level << ")";
        }
    }
}

TEST_F(Render, BuiltinPagesOnEveryDisplayDepth) {
    const int w = 64, h = 48;
    const RgbImage departing = builtinPage(host::Page::Departing, w, h);
    const RgbImage arriving = builtinPage(host::Page::Arriving, w, h);
    for (int depth : {1, 4, 8, 15, 16, 24, 32}) {
        SCOPED_TRACE("display " + std::to_string(depth));
        const fs::path out = dir / ("d" + std::to_string(depth));
        Result r = qvt({"render", "--size", "64x48", "--fps", "20", "--display", std::to_string(depth), "-o",
                        (out / "f%04d.png").string()});
        ASSERT_EQ(r.status, 0) << r.err;
        // No effect named: the default record, a blend of 1000 ms.
        const int count = TTimedTransitionEffect::SampledFrameCount(1000, 20);
        ASSERT_EQ(pngCount(out), count);
        const std::vector<RgbImage> frames = readFrames(out, count);
        EXPECT_EQ(firstDifference(frames.front(), asDisplayed(departing, depth)), "");
        EXPECT_EQ(firstDifference(frames.back(), arrivingAsDisplayed(arriving, depth)), "");
        // Something happens in between.
        EXPECT_NE(firstDifference(frames[static_cast<size_t>(count / 2)], frames.front()), "");
        EXPECT_NE(firstDifference(frames[static_cast<size_t>(count / 2)], frames.back()), "");
    }
}

TEST_F(Render, SameInputsGiveTheSameFrames) {
    for (const char *name : {"a", "b"}) {
        Result r = qvt({"render", "--record", "QVTS203F40100", "--size", "40x30", "-o", path(name) + "/f%04d.png"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const int count = TTimedTransitionEffect::SampledFrameCount(500, 25);
    ASSERT_EQ(pngCount(dir / "a"), count);
    for (int j = 0; j < count; ++j)
        EXPECT_EQ(readFile(dir / "a" / frameName(j)), readFile(dir / "b" / frameName(j))) << "frame " << j;
}

// Blocks and Fuse (its style drawn at random) shuffle from the time of day:
// offline they see a fixed one, so two runs agree, and another --seed
// gives another order.
TEST_F(Render, ShufflingEffectsRepeatForOneSeed) {
    const std::vector<std::vector<std::string>> effects = {{"Blocks"}, {"Fuse", "--Style", "0"}};
    for (const std::vector<std::string> &effect : effects) {
        SCOPED_TRACE(effect[0]);
        auto frames = [&](const std::string &name, const char *seed) {
            const std::string out = path(effect[0] + name);
            std::vector<std::string> args = {"render"};
            args.insert(args.end(), effect.begin(), effect.end());
            args.insert(args.end(), {"--size", "160x120", "--ms", "200", "--seed", seed, "-o", out + "/f%04d.png"});
            const Result r = qvt(args);
            EXPECT_EQ(r.status, 0) << r.err;
            std::vector<std::string> files;
            for (int j = 0; j < 5; ++j) files.push_back(readFile(fs::path(out) / frameName(j)));
            return files;
        };
        const std::vector<std::string> first = frames("a", "0");
        EXPECT_TRUE(frames("b", "0") == first) << "the same seed gave other frames";
        EXPECT_FALSE(frames("c", "12345") == first) << "another seed gave the same frames";
    }
    EXPECT_EQ(qvt({"render", "Blocks", "--seed", "86400000", "-o", "null"}).status, 2); // past the day
}

TEST_F(Render, EffectIsChosenByRecordNameOrCode) {
    // The same 500 ms blend, said four ways.
    const std::vector<std::vector<std::string>> ways = {{"--record", "QVTS203F40100"},
                                                        {"Alpha blend", "--ms", "500"},
                                                        {"tblendtransition", "--ms", "500"},
                                                        {"03", "--ms", "500"}};
    std::vector<std::string> reference;
    for (size_t i = 0; i < ways.size(); ++i) {
        std::vector<std::string> args = {"render", "--size", "24x16", "--verbose", "-o",
                                         path("w" + std::to_string(i)) + "/"};
        args.insert(args.end(), ways[i].begin(), ways[i].end());
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> frames;
        for (const auto &file : lines(r.out)) frames.push_back(readFile(file));
        EXPECT_EQ(frames.size(), static_cast<size_t>(TTimedTransitionEffect::SampledFrameCount(500, 25)));
        if (i == 0)
            reference = frames;
        else
            EXPECT_EQ(frames, reference) << "way " << i;
    }
}

TEST_F(Render, UntimedRunShowsEveryEffectFrame) {
    // --ms 0: one output frame per effect frame, 255 levels on 32 bits.
    Result r = qvt({"render", "03", "--ms", "0", "--size", "8x8", "-o", path("u") + "/"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pngCount(dir / "u"), 256);
}

TEST_F(Render, FolderOutputAndFittedPictures) {
    // A wide picture fitted into a square page: scaled to the width, centred
    // between black bands.
    RgbImage wide(60, 20);
    for (auto &byte : wide.rgb) byte = 200;
    writePng(path("wide.png"), wide);
    Result r = qvt({"render", "--from", path("wide.png"), "--size", "30x30", "--ms", "200", "-o", path("frames")});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(dir / "frames" / "frame0000.png"));
    EXPECT_EQ(pngCount(dir / "frames"), TTimedTransitionEffect::SampledFrameCount(200, 25));
    const RgbImage first = readPng(path("frames/frame0000.png"));
    ASSERT_EQ(first.width, 30);
    ASSERT_EQ(first.height, 30);
    for (int x = 0; x < 30; ++x) {
        EXPECT_EQ(first.Pixel(x, 0)[0], 0) << "top band at " << x;
        EXPECT_EQ(first.Pixel(x, 29)[0], 0) << "bottom band at " << x;
        EXPECT_NEAR(first.Pixel(x, 15)[0], 200, 2) << "picture at " << x;
    }
}

TEST_F(Render, JpegPagesAreRead) {
    const RgbImage page = testPage(32, 24, 7);
    writePng(path("page.png"), page);
    // ffmpeg makes the JPEG from the PNG.
    Result made = run({"ffmpeg", "-v", "error", "-i", path("page.png"), "-q:v", "2", path("page.jpg")}, {}, dir);
    ASSERT_EQ(made.status, 0) << made.err;
    Result r = qvt({"render", "--from", path("page.jpg"), "--size", "32x24", "--ms", "100", "-o", path("j") + "/"});
    ASSERT_EQ(r.status, 0) << r.err;
    const RgbImage first = readPng(path("j/frame0000.png"));
    ASSERT_EQ(first.rgb.size(), page.rgb.size());
    // Lossy, but close on the smooth channels.
    long total = 0;
    for (size_t i = 0; i < page.rgb.size(); i += 3) total += std::abs(first.rgb[i] - page.rgb[i]);
    EXPECT_LT(total / static_cast<long>(page.rgb.size() / 3), 8);
}

} // namespace
} // namespace qvt::tooltest
