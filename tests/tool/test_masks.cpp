// Luma masks: PNG, PGM and BMP files read as the same grey levels, damaged
// ones refused with their reason, the stretch to the page, and qvt render
// revealing the page in the mask's order.
#include "tool_test_support.h"

#include "effect_choice.h"
#include "engine/teTimed.h"
#include "luma_mask.h"
#include "qvt/rtl/graphics.h"
#include "qvt/rtl/streams.h"

namespace qvt::tooltest {
namespace {

using host::GreyImage;

std::string text(const std::vector<uint8_t> &b) { return std::string(b.begin(), b.end()); }
std::vector<uint8_t> bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A ramp with every level: level(x, y) = (x * 16 + y) for 16 x 16.
GreyImage ramp(int w, int h) {
    GreyImage map(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) map.At(x, y) = static_cast<uint8_t>((x * 16 + y) * 255 / (w * 16 - 16 + h - 1));
    return map;
}

std::string pgm(const GreyImage &map, bool sixteen) {
    std::string f = "P5\n# a ramp\n" + std::to_string(map.width) + " " + std::to_string(map.height) + "\n" +
                    (sixteen ? "65535" : "255") + "\n";
    for (uint8_t v : map.grey) {
        if (sixteen) f += static_cast<char>(v); // v * 257, most significant byte first
        f += static_cast<char>(v);
    }
    return f;
}

// A 24-bit BMP of the map's grey levels, rows bottom-up.
std::string colourBmp(const GreyImage &map) {
    rtl::TBitmap b;
    b.SetPixelFormat(rtl::pf24bit);
    b.SetSize(map.width, map.height);
    for (int y = 0; y < map.height; ++y) {
        auto *row = static_cast<uint8_t *>(b.ScanLine(y));
        for (int x = 0; x < map.width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = map.At(x, y);
    }
    rtl::TMemoryStream s;
    b.SaveToStream(s);
    return std::string(static_cast<const char *>(s.Memory()), static_cast<size_t>(s.Size()));
}

RgbImage rgbOf(const GreyImage &map) {
    RgbImage rgb(map.width, map.height);
    for (size_t i = 0; i < map.grey.size(); ++i) rgb.rgb[3 * i] = rgb.rgb[3 * i + 1] = rgb.rgb[3 * i + 2] = map.grey[i];
    return rgb;
}

class LumaMaps : public ToolTest {};

TEST_F(LumaMaps, EveryFormatGivesTheSameLevels) {
    const GreyImage map = ramp(16, 16);
    writeFile(dir / "a.pgm", pgm(map, false));
    writeFile(dir / "b.pgm", pgm(map, true));
    writeFile(dir / "c.bmp", text(host::GreyBmpFile(map)));
    writeFile(dir / "d.bmp", colourBmp(map));
    writePng(path("e.png"), rgbOf(map));
    for (const char *name : {"a.pgm", "b.pgm", "c.bmp", "d.bmp", "e.png"}) {
        SCOPED_TRACE(name);
        const GreyImage read = host::ReadLumaMap(path(name));
        EXPECT_EQ(read.width, 16);
        EXPECT_EQ(read.height, 16);
        EXPECT_EQ(read.grey, map.grey);
    }
    // Colours count by their luma; a 1 x 1 map is a uniform mask.
    RgbImage colours(2, 1);
    colours.Pixel(0, 0)[0] = 255;                 // red: 76
    colours.Pixel(1, 0)[1] = 255;                 // green: 150
    writePng(path("colours.png"), colours);
    EXPECT_EQ(host::ReadLumaMap(path("colours.png")).grey, (std::vector<uint8_t>{76, 150}));
    writeFile(dir / "one.pgm", "P5 1 1 15 \x0F");
    EXPECT_EQ(host::ReadLumaMap(path("one.pgm")).grey, std::vector<uint8_t>{255});
}

TEST_F(LumaMaps, DamagedFilesAreRefusedWithTheirReason) {
    const std::string goodBmp = text(host::GreyBmpFile(ramp(8, 4)));
    auto patched = [&](size_t at, std::initializer_list<uint8_t> b) {
        std::string s = goodBmp;
        for (uint8_t v : b) s[at++] = static_cast<char>(v);
        return s;
    };
    const std::pair<std::string, const char *> cases[] = {
        {"", "not a PNG, PGM or BMP picture"},
        {"GIF89a", "not a PNG, PGM or BMP picture"},
        {"P2 2 2 255 0 0 0 0", "plain-text PGM (P2)"},
        {"P5 4 4 255\n" + std::string(15, 'x'), "the PGM data ends after 15 of 16 bytes"},
        {"P5 4 4 65535\n" + std::string(31, 'x'), "the PGM data ends after 31 of 32 bytes"},
        {"P5 100000 100000 255\n", "100000x100000 pixels is too large"},
        {"P5 99999999999 1 255\n", "the PGM width is out of range"},
        {"P5 0 4 255\n", "0x4 pixels has nothing in it"},
        {"P5 4 4 0\n" + std::string(16, 'x'), "largest value must be 1 to 65535, not 0"},
        {"P5 4 4 70000\n" + std::string(32, 'x'), "not 70000"},
        {"P5 4 4", "the PGM header has no largest value"},
        {"P5 2 1 100\n\x64\x65", "a PGM sample is above the largest value 100"},
        {"P5 2 1 255x\x01\x02", "the PGM header does not end in a blank"},
        {goodBmp.substr(0, 20), "the BMP file ends inside its headers"},
        {goodBmp.substr(0, goodBmp.size() - 5), "Stream read error"},
        {patched(18, {0xA0, 0x86, 0x01, 0x00}), "100000x4 pixels is too large"},  // width 100000
        {patched(10, {0xFF, 0xFF, 0x00, 0x00}), "Stream read error"},             // pixels past the end
        {patched(14, {41, 0, 0, 0}), "Bitmap image is not valid"},                // no such header size
        {patched(28, {7, 0}), "Bitmap image is not valid"},                        // 7 bits a pixel
        // Run-length coded: a run of 200 pixels in a row of 8.
        {patched(30, {1, 0, 0, 0}).substr(0, 14 + 40 + 1024) + std::string("\xC8\x05\x00\x01", 4),
         "Bitmap image is not valid"},
    };
    for (const auto &[data, says] : cases) {
        SCOPED_TRACE(data.substr(0, 24));
        try {
            host::DecodeLumaMap(bytes(data), "m");
            ADD_FAILURE() << "read";
        } catch (const host::ToolError &e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("cannot read mask m: ", 0), 0u) << e.what();
        }
    }
    // A PNG cut short gives the PNG reader's message.
    writePng(path("page.png"), testPage(16, 16, 3));
    const std::string png = readFile(dir / "page.png");
    writeFile(dir / "cut.png", png.substr(0, png.size() / 2));
    EXPECT_THROW(host::ReadLumaMap(path("cut.png")), host::ToolError);
}

TEST_F(LumaMaps, StretchKeepsLevelsInOrderAndUniformMapsUniform) {
    GreyImage gradient(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) gradient.At(x, y) = static_cast<uint8_t>(x * 63);
    for (auto [w, h] : {std::pair{97, 31}, std::pair{3, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const GreyImage s = host::StretchLumaMap(gradient, w, h);
        ASSERT_EQ(s.width, w);
        ASSERT_EQ(s.height, h);
        for (int y = 0; y < h; ++y)
            for (int x = 1; x < w; ++x) EXPECT_LE(s.At(x - 1, y), s.At(x, y)) << x << "," << y;
        EXPECT_LE(s.At(0, 0), 32);
        EXPECT_GE(s.At(w - 1, 0), 220);
    }
    GreyImage flat(7, 7);
    std::fill(flat.grey.begin(), flat.grey.end(), 200);
    const GreyImage big = host::StretchLumaMap(flat, 50, 40);
    EXPECT_EQ(std::count(big.grey.begin(), big.grey.end(), 200), 50 * 40);
}

// qvt render with a mask: every frame shows the arriving page exactly where
// the mask level has been reached, white first (or black first, reversed).
TEST_F(LumaMaps, RenderRevealsThePageInTheMasksOrder) {
    const int w = 40, h = 10;
    const RgbImage from = testPage(w, h, 1), to = testPage(w, h, 2);
    writePng(path("from.png"), from);
    writePng(path("to.png"), to);
    GreyImage mask(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mask.At(x, y) = static_cast<uint8_t>(x * 255 / (w - 1));
    writeFile(dir / "mask.pgm", pgm(mask, true));
    struct Case {
        std::vector<std::string> extra;
        bool reversed;
    } cases[] = {{{"--mask", "{M}"}, false},
                 {{"--mask", "{M}", "--Reversed", "True"}, true},
                 {{"Bitmap mask", "--mask", "{M}"}, false}};
    int run = 0;
    for (const Case &c : cases) {
        const std::string out = "run" + std::to_string(run++);
        std::vector<std::string> args = {"render", "--from", path("from.png"), "--to", path("to.png"), "--size",
                                         "40x10", "--ms", "1000", "-v", "-o", path(out + "/f%04d.png")};
        for (const std::string &a : c.extra) args.push_back(a == "{M}" ? path("mask.pgm") : a);
        SCOPED_TRACE(c.extra.front() + (c.reversed ? ", reversed" : ""));
        Result r = qvt(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const int frames = TTimedTransitionEffect::SampledFrameCount(1000, 25);
        ASSERT_EQ(static_cast<int>(lines(r.out).size()), frames);
        for (int j = 0; j < frames; ++j) {
            const int f = j == frames - 1 ? 256 : TTimedTransitionEffect::SampledFrameAt(j, 1000, 25, 256, 1);
            RgbImage want = from;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int m = c.reversed ? 255 - mask.At(x, y) : mask.At(x, y);
                    if (m >= 256 - f) std::copy_n(to.Pixel(x, y), 3, want.Pixel(x, y));
                }
            EXPECT_EQ(firstDifference(readPng((dir / out / frameName(j)).string()), want), "") << "frame " << j;
        }
    }
}

// The record for the plug-in names the mask given, also over a record's.
TEST_F(LumaMaps, RecordForThePlugInNamesTheMask) {
    host::StartEngine();
    host::mask_files::Add("first", ramp(4, 4));
    host::mask_files::Add("second", ramp(2, 2));
    host::EffectChoice choice;
    choice.mask = "first";
    choice.effectClass = "BmpMask";
    const std::string first = host::BuildRecord(choice);
    EXPECT_NE(first.find("056669727374"), std::string::npos) << first; // "first"
    choice.effectClass.clear();
    choice.record = first;
    choice.mask = "second";
    const std::string second = host::BuildRecord(choice);
    EXPECT_NE(second.find("067365636F6E64"), std::string::npos) << second; // "second"
    EXPECT_EQ(host::BuildEffect(choice)->ClassName(), "TBmpMaskTransition2");
}

// The plug-in asks the host for the file the record names; the host hands it
// the mask the tool converted (the PGM file itself is no BMP picture, so a
// run from the file would fail).
TEST_F(LumaMaps, PlayHandsTheConvertedMaskToThePlugIn) {
    writeFile(dir / "mask.pgm", pgm(ramp(16, 16), false));
    Result r = qvt({"play", "--mask", path("mask.pgm"), "--size", "32x24", "--hold", "0", "--lead", "0"},
                   {{"SDL_VIDEODRIVER", "dummy"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("played ", 0), 0u) << r.out;
}

TEST_F(LumaMaps, MaskFileTheToolCannotFindOrReadStopsTheRun) {
    writeFile(dir / "notes.txt", "not a picture\n");
    const std::string record =
        "QVTS101" + std::string("0E4F564D61736B46696C654E616D65") + "06" + "0B" + "6E6F2D6D61736B2E706E67" + "00";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"render", "--mask", path("none.pgm"), "-o", path("out")}, "File '" + path("none.pgm") + "' not found."},
        {{"render", "--record", record, "-o", path("out")}, "File 'no-mask.png' not found."},
        {{"render", "--mask", path("notes.txt"), "-o", path("out")}, "not a PNG, PGM or BMP picture"},
        {{"render", "Wipe", "--mask", path("notes.txt"), "-o", path("out")}, "a mask is for the Bitmap mask effect"},
        {{"play", "--mask", path("none.pgm")}, "File '" + path("none.pgm") + "' not found."},
        {{"record", "BmpMask", "--OVMaskFileName", path("notes.txt")}, "not a PNG, PGM or BMP picture"},
        {{"render", "--mask", "/dev/zero", "-o", path("out")}, "cannot read mask /dev/zero: not a file"},
        {{"render", "--mask", dir.string(), "-o", path("out")}, "not a file"},
    };
    for (const auto &[args, says] : cases) {
        SCOPED_TRACE(args.front() + " " + args[1] + " " + args[2]);
        Result r = qvt(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

} // namespace
} // namespace qvt::tooltest
