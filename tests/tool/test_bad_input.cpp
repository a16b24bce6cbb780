// Bad input to every command: one line on standard error, a non-zero exit,
// nothing on standard output and nothing left behind.
#include "tool_test_support.h"

#include <sys/stat.h>

namespace qvt::tooltest {
namespace {

// The CRC-32 of PNG chunks.
uint32_t crc32(const std::string &bytes) {
    uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

class BadInput : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        writePng(path("page.png"), testPage(16, 16, 5));
        writeFile(dir / "notes.txt", "not a picture\n");
        // A PNG cut short in the middle of its data.
        const std::string png = readFile(dir / "page.png");
        writeFile(dir / "cut.png", png.substr(0, png.size() / 2));
        writeFile(dir / "empty.png", "");
        fs::create_directory(dir / "folder.png");
        writeFile(dir / "old.gif", "an earlier run");
        // Programs named ffmpeg that fail: at once, or after reading a little.
        fs::create_directory(dir / "bin");
        writeFile(dir / "bin" / "ffmpeg", "#!/bin/sh\necho 'broken encoder' >&2\nexit 3\n");
        chmod((dir / "bin" / "ffmpeg").c_str(), 0755);
        fs::create_directory(dir / "bin2");
        writeFile(dir / "bin2" / "ffmpeg", "#!/bin/sh\n/usr/bin/head -c 100 >/dev/null\necho 'gave up' >&2\nexit 1\n");
        chmod((dir / "bin2" / "ffmpeg").c_str(), 0755);
        // One that takes every frame and says it did well, writing nothing.
        fs::create_directory(dir / "bin3");
        writeFile(dir / "bin3" / "ffmpeg", "#!/bin/sh\n/bin/cat >/dev/null\nexit 0\n");
        chmod((dir / "bin3" / "ffmpeg").c_str(), 0755);
        // JPEGs: cut short, and one whose header claims 16384 x 4096 pixels.
        const RgbImage page = testPage(64, 48, 6);
        writePng(path("big.png"), page);
        Result made = run({"ffmpeg", "-v", "error", "-i", path("big.png"), "-q:v", "2", path("page.jpg")}, {}, dir);
        ASSERT_EQ(made.status, 0) << made.err;
        fs::remove(dir / "big.png");
        const std::string jpeg = readFile(dir / "page.jpg");
        writeFile(dir / "cut.jpg", jpeg.substr(0, jpeg.size() * 2 / 3));
        std::string huge = jpeg;
        const size_t sof = huge.find("\xFF\xC0");
        ASSERT_NE(sof, std::string::npos);
        huge[sof + 5] = 0x10, huge[sof + 6] = 0x00; // height 4096
        huge[sof + 7] = 0x40, huge[sof + 8] = 0x00; // width 16384
        writeFile(dir / "huge.jpg", huge);
        // A PNG whose header (with its checksum made right) claims 4096 x
        // 4096 pixels over the 16 x 16 pixels' data.
        std::string bigPng = png;
        for (int at : {16, 20}) bigPng.replace(static_cast<size_t>(at), 4, std::string("\0\0\x10\0", 4));
        const uint32_t crc = crc32(bigPng.substr(12, 17));
        for (int i = 0; i < 4; ++i) bigPng[29 + static_cast<size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
        writeFile(dir / "huge.png", bigPng);
        before = entries(dir);
    }

    std::vector<std::string> before;
};

struct Case {
    std::vector<std::string> args; // {DIR} stands for the scratch folder
    const char *says;              // part of the one line on standard error
    EnvChanges env = {};
};

TEST_F(BadInput, OneLineNonZeroExitNothingWritten) {
    const std::string out = "{DIR}/out/f%04d.png";
    const Case cases[] = {
        // Command line.
        {{}, "subcommand is required"},
        {{"bogus"}, "bogus"},
        {{"render", "--frobnicate", "-o", out}, "Alpha blend has no property \"frobnicate\""},
        {{"render"}, "--output is required"},
        {{"render", "--size", "0x0", "-o", out}, "size '0x0'"},
        {{"render", "--size", "-5x10", "-o", out}, "size '-5x10'"},
        {{"render", "--size", "100000x100000", "-o", out}, "size '100000x100000'"},
        {{"render", "--size", "640", "-o", out}, "size '640'"},
        {{"render", "--size", "10x", "-o", out}, "size '10x'"},
        {{"render", "--size", "abcxdef", "-o", out}, "size 'abcxdef'"},
        {{"render", "--fps", "0", "-o", out}, "--fps"},
        {{"render", "--fps", "-25", "-o", out}, "--fps"},
        {{"render", "--fps", "1e9", "-o", out}, "--fps"},
        {{"render", "--fps", "nan", "-o", out}, "--fps: 'nan' is not a finite number"},
        {{"render", "--fps", "-nan", "-o", "{DIR}/new.webm"}, "--fps: '-nan' is not a finite number"},
        {{"render", "--fps", "NaN", "-o", "{DIR}/old.gif"}, "--fps: 'NaN' is not a finite number"},
        {{"demo", "--fps", "nan", "-o", "{DIR}/demo"}, "--fps: 'nan' is not a finite number"},
        {{"render", "--ms", "2147483648", "-o", out}, "--ms: '2147483648' is longer than a run may last"},
        {{"render", "--ms", "99999999", "-o", out}, "--ms: '99999999' is longer than a run may last"},
        {{"render", "--record", "QVTS103" "0C4D696C6C697365636F6E647304FFE0F50500", "-o", out},
         "a run of 99999999 ms is too long"},
        {{"render", "--ms", "-o", out}, "--ms needs a value"},
        {{"render", "--Milliseconds", "--size", "8x8", "-o", out}, "--Milliseconds needs a value"},
        {{"render", "--ms", "1e3", "-o", out}, "--ms: '1e3' is not a whole number of milliseconds"},
        {{"render", "--display", "7", "-o", out}, "--display"},
        {{"render", "03", "--record", "QVTS203E80300", "-o", out}, "excludes"},
        // Pictures.
        {{"render", "--from", "{DIR}/missing.png", "-o", out}, "cannot read {DIR}/missing.png"},
        {{"render", "--to", "{DIR}/folder.png", "-o", out}, "cannot read {DIR}/folder.png"},
        {{"render", "--from", "{DIR}/notes.txt", "-o", out}, "not a PNG or JPEG picture"},
        {{"render", "--to", "{DIR}/empty.png", "-o", out}, "not a PNG or JPEG picture"},
        {{"render", "--from", "{DIR}/cut.png", "-o", out}, "cannot read {DIR}/cut.png"},
        {{"render", "--from", "{DIR}/cut.jpg", "-o", out}, "cannot read {DIR}/cut.jpg: Premature end of JPEG file"},
        {{"render", "--to", "{DIR}/huge.jpg", "-o", out},
         "cannot read {DIR}/huge.jpg: picture of 16384x4096 pixels cannot come from "},
        {{"render", "--to", "{DIR}/huge.png", "-o", out},
         "cannot read {DIR}/huge.png: picture of 4096x4096 pixels cannot come from "},
        // Records and effect names.
        {{"render", "--record", "XXXXXXX", "-o", out}, "Wrong signature"},
        {{"render", "--record", "QVTS3030000", "-o", out}, "Wrong format version '3'"},
        {{"render", "--record", "QVTS19900", "-o", out}, "Transition '99' not found"},
        {{"render", "--record", "QVTS2030", "-o", out}, "bad record"},
        {{"render", "--record", "QVTS203E8030", "-o", out}, "Stream read error"},
        {{"render", "--record", "QVTS103ZZ", "-o", out}, "bad record"},
        {{"render", "Sparkle", "-o", out}, "unknown effect 'Sparkle'"},
        {{"render", "99", "-o", out}, "unknown effect '99'"},
        {{"render", "03", "--Sparkle", "1", "-o", out}, "Alpha blend has no property \"Sparkle\"; its properties are "},
        {{"render", "--record", "QVTS203E80300", "--PassSetting", "teSideways", "-o", out},
         "value not allowed: PassSetting accepts teOnePass"},
        // Outputs.
        {{"render", "-o", "{DIR}/notes.txt/f%04d.png"}, "Not a directory"},
        {{"render", "-o", "/proc/qvt-test/f%04d.png"}, "cannot create folder /proc/qvt-test"},
        {{"render", "-o", "/proc/self/f%04d.png"}, "cannot write to folder /proc/self"},
        {{"render", "-o", "{DIR}/out.bmp"}, "unknown output type '.bmp'"},
        {{"render", "-o", "{DIR}/one.png"}, "names one PNG file"},
        {{"render", "-o", "{DIR}/f%04d%d.png"}, "exactly one frame number"},
        {{"render", "-o", "{DIR}/f%s.png"}, "exactly one frame number"},
        {{"render", "-o", "{DIR}/f%0d.png"}, "exactly one frame number"},
        {{"render", "-o", "{DIR}/f%x/a%04d.png"}, "only be in the file name"},
        {{"render", "--size", "31x20", "-o", "{DIR}/odd.mp4"}, "even width and height"},
        {{"render", "-o", "{DIR}/old.gif"}, "ffmpeg not found", {{"PATH", "{DIR}/nothing"}}},
        {{"render", "-o", "{DIR}/old.gif"}, "output {DIR}/old.gif exists; use -y to overwrite it"},
        {{"render", "--overwrite=perhaps", "-o", out}, "--overwrite"},
        {{"render", "-q", "-v", "-o", out}, "--quiet excludes --verbose"},
        {{"-v", "demo", "--quiet", "-o", "{DIR}/demo"}, "--quiet excludes --verbose"},
        {{"render", "-o", "{DIR}/new.mp4"}, "ffmpeg not found", {{"PATH", "{DIR}/nothing"}}},
        {{"render", "--size", "64x48", "-y", "-o", "{DIR}/old.gif"}, "broken encoder", {{"PATH", "{DIR}/bin"}}},
        {{"render", "--size", "64x48", "-o", "{DIR}/new/x.webm"}, "gave up", {{"PATH", "{DIR}/bin2"}}},
        // ffmpeg saying it did well is not enough: the frames must be there.
        {{"render", "--size", "64x48", "-y", "-o", "{DIR}/old.gif"}, "ffmpeg made no palette", {{"PATH", "{DIR}/bin3"}}},
        {{"render", "--size", "64x48", "-o", "{DIR}/new/x.mp4"}, "ffmpeg did not report writing {DIR}/new/x.mp4",
         {{"PATH", "{DIR}/bin3"}}},
        // play: the same checks before any window opens.
        {{"play", "--from", "{DIR}/missing.png"}, "cannot read {DIR}/missing.png"},
        {{"play", "--record", "QVTS19900"}, "Transition '99' not found"},
        {{"play", "Sparkle"}, "unknown effect 'Sparkle'"},
        {{"play", "03", "--Enabled", "perhaps"}, "value not allowed: Enabled accepts False, True"},
        {{"play", "03", "--ms", "600001"}, "--ms: '600001' is longer than a run may last"},
        {{"play", "03", "--Tag"}, "--Tag needs a value"},
        // list, record, describe.
        {{"list", "--xml"}, "--xml"},
        {{"list", "extra"}, "extra"},
        {{"record"}, "effect is required"},
        {{"record", "Sparkle"}, "unknown effect 'Sparkle' (known: \"Bitmap mask\" (TBmpMaskTransition), "},
        {{"record", "03", "--sparkle", "1"}, "Alpha blend has no property \"sparkle\"; its properties are "},
        {{"record", "03", "--ms", "99999999999"}, "value out of range: Milliseconds accepts -2147483648..2147483647"},
        {{"record", "03", "--PassSetting", "teSideways"}, "value not allowed: PassSetting accepts teOnePass"},
        {{"record", "03", "--Enabled", "maybe"}, "value not allowed: Enabled accepts False, True"},
        {{"record", "03", "--ms", "half"}, "\"half\" is not a whole number: Milliseconds accepts "},
        {{"record", "03", "--ms", "1.5"}, "\"1.5\" is not a whole number"},
        {{"record", "03", "--Tag"}, "--Tag needs a value"},
        {{"record", "03", "--Tag", "--ms", "5"}, "--Tag needs a value"},
        {{"record", "03", "--Taag"}, "Alpha blend has no property \"Taag\"; its properties are "},
        {{"record", "03", "--=5"}, "'--=5' names no property"},
        {{"record", "03", "--record", "QVTS10300"}, "has no property \"record\""},
        {{"describe"}, "record is required"},
        {{"describe", "QVTS19900", "QVTS10300"}, "QVTS10300"},
        {{"play", "--size", "0x10"}, "size '0x10'"},
        {{"play", "--hold", "-1"}, "--hold"},
        {{"play", "--size", "32x32"},
         "cannot open a window",
         {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"SDL_VIDEODRIVER", "x11"}}},
        // about and edit take what the plug-in takes.
        {{"about", "extra"}, "extra"},
        {{"edit", "QVTS203E80300", "more"}, "more"},
        // demo.
        {{"demo", "--thumb", "0x0", "-o", "{DIR}/demo"}, "size '0x0'"},
        {{"demo", "--sheet-only", "-o", "{DIR}/notes.txt"}, "cannot use folder {DIR}/notes.txt: Not a directory"},
        // A failed demo takes away the folders it made.
        {{"demo", "--size", "32x24", "-o", "{DIR}/made/demo"}, "ffmpeg not found", {{"PATH", "{DIR}/nothing"}}},
        {{"demo", "--size", "32x24", "-o", "{DIR}/made"}, "broken encoder", {{"PATH", "{DIR}/bin"}}},
    };
    auto expand = [&](std::string s) {
        for (size_t at; (at = s.find("{DIR}")) != std::string::npos;) s.replace(at, 5, dir.string());
        return s;
    };
    for (const Case &c : cases) {
        std::vector<std::string> args;
        for (const std::string &a : c.args) args.push_back(expand(a));
        EnvChanges env;
        for (const auto &[name, value] : c.env) env[name] = value ? std::optional(expand(*value)) : std::nullopt;
        std::string shown;
        for (const std::string &a : args) shown += " " + a;
        SCOPED_TRACE("qvt" + shown);

        Result r = qvt(args, env);
        EXPECT_NE(r.status, 0);
        EXPECT_LT(r.status, 128) << "killed by a signal";
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
        EXPECT_EQ(r.err.rfind("qvt: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(expand(c.says)), std::string::npos) << r.err;
        EXPECT_EQ(entries(dir), before) << "left behind or changed";
        EXPECT_EQ(readFile(dir / "old.gif"), "an earlier run");
    }
}

TEST_F(BadInput, EditCancelledPrintsNothing) {
    // The plug-in answers FALSE (cancelled, or the dialog's input ended): no
    // record on standard output, exit status 1. The dialog itself talks on
    // standard error.
    for (const char *record : {"", "QVTS203E80300", "garbage"}) {
        SCOPED_TRACE(record);
        Result r = qvt({"edit", record});
        if (r.status == 0) {
            // Accepted: one record, nothing else.
            EXPECT_EQ(lines(r.out).size(), 1u);
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
} // namespace qvt::tooltest
