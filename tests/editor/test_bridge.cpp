// The plug-in's editor bridge as a host sees it: ovEditEffect and ovAbout
// with the editor module missing, broken, replaced by a stand-in that
// records its calls, and the real module driven through a script on
// standard input.
#include <gtest/gtest.h>

#include "driven_clock.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor_test_support.h"
#include "page_bitmaps.h"
#include "pages.h"
#include "plugin_host.h"
#include "record_names.h"
#include "qvt/qvtdisplay.h"
#include "qvt/qvteditor.h"
#include "qvt/qvtsys.h"

namespace qvt::test {
namespace {

namespace fs = std::filesystem;
using host::HostOptions;
using host::PluginHost;

const std::string kCantLoad = "Can't load \"qvtEd.htd\"";
const std::string kCaption = "Quorvane Transitions Plugin error";

std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

char *GlobalText(const std::string &s) {
    auto *p = static_cast<char *>(GlobalAlloc(GMEM_FIXED, s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// Whether a module file is mapped into this process: a module that was
// freed for good is gone from the address space.
bool IsLoaded(const std::string &path) {
    const std::string real = fs::canonical(path).string();
    for (const std::string &line : Lines(ReadText("/proc/self/maps")))
        if (line.size() >= real.size() && line.compare(line.size() - real.size(), real.size(), real) == 0) return true;
    return false;
}

// A folder of its own holding a copy of the plug-in and, as the test says,
// an editor module; a host that loaded the plug-in from there.
class PluginCopy {
public:
    // editor: the module file to copy in as qvtEd.htd ("" for none).
    explicit PluginCopy(const std::string &editor, const std::string &mode = "") {
        std::string pattern = ::testing::TempDir() + "qvt-bridge-XXXXXX";
        folder_ = mkdtemp(pattern.data());
        fs::copy_file(host::ProgramFolder() + "/" OV_PLUGIN_FILE, folder_ + "/" OV_PLUGIN_FILE);
        if (!editor.empty()) fs::copy_file(host::ProgramFolder() + "/" + editor, EditorPath());
        if (!mode.empty()) WriteText(folder_ + "/mode", mode);
        std::string error;
        host = PluginHost::Load(folder_ + "/" OV_PLUGIN_FILE, HostOptions{}, error);
        if (!host) throw std::runtime_error("cannot load the plug-in copy: " + error);
        host->Start();
    }
    ~PluginCopy() {
        host.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string EditorPath() const { return folder_ + "/" QVT_EDITOR_FILE; }
    std::string Folder() const { return folder_; }
    std::vector<std::string> Calls() const { return Lines(ReadText(folder_ + "/calls.log")); }
    void SetMode(const std::string &mode) { WriteText(folder_ + "/mode", mode); }

    std::unique_ptr<PluginHost> host;

private:
    std::string folder_;
};

std::string N(const void *p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

TEST(EditorBridge, OtherEffectNumbersLoadNothing) {
    for (const char *editor : {"", "qvt_fakeeditor.so"}) {
        SCOPED_TRACE(*editor ? editor : "no editor module");
        PluginCopy copy(editor, "accept:QVTS203E80300");
        for (int number : {0, 2, -1}) {
            SCOPED_TRACE(number);
            std::string record = "QVTS10300";
            EXPECT_FALSE(copy.host->Edit(number, record));
            EXPECT_EQ(record, "QVTS10300");
        }
        // Without a place for the new record nothing is loaded either.
        EXPECT_FALSE(copy.host->Exports().ovEditEffect(1, nullptr));
        EXPECT_TRUE(copy.host->Messages().empty()); // not even a failed load
        EXPECT_TRUE(copy.Calls().empty());
    }
}

TEST(EditorBridge, ModuleThatCannotBeLoadedIsReported) {
    struct Case {
        const char *what;
        std::function<void(const std::string &path)> make;
    } cases[] = {
        {"missing", [](const std::string &) {}},
        {"not a module", [](const std::string &path) { WriteText(path, "MZ this is not a module"); }},
        {"empty file", [](const std::string &path) { WriteText(path, ""); }},
        {"a folder", [](const std::string &path) { fs::create_directory(path); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PluginCopy copy("");
        c.make(copy.EditorPath());
        std::string record = "QVTS203E80300";
        EXPECT_FALSE(copy.host->Edit(1, record));
        EXPECT_EQ(record, "QVTS203E80300");
        EXPECT_FALSE(copy.host->About());
        ASSERT_EQ(copy.host->Messages().size(), 2u);
        for (const host::MessageBoxRecord &box : copy.host->Messages()) {
            EXPECT_EQ(box.caption, kCaption);
            EXPECT_EQ(box.text, kCantLoad);
            EXPECT_EQ(box.owner, copy.host->Window());
        }
    }
}

// DllInitialize gets the host's values right after the load, then
// ShowEditor the record; the accepted record replaces the host's, whose old
// block is freed; the module is unloaded afterwards.
TEST(EditorBridge, EditHandsTheModuleTheHostValuesAndTheRecord) {
    PluginCopy copy("qvt_fakeeditor.so", "accept:QVTS203FA0000");
    copy.host->Exports().ovRegisterInterfaceAccess(4242);
    char *params = GlobalText("QVTS10300");
    char *const old = params;
    ASSERT_TRUE(copy.host->Exports().ovEditEffect(1, &params));
    EXPECT_STREQ(params, "QVTS203FA0000");
    EXPECT_NE(params, old);
    EXPECT_EQ(GlobalFree(old), old) << "the old record was not freed";
    EXPECT_EQ(GlobalFree(params), nullptr) << "the new record is not a live block";
    EXPECT_TRUE(copy.host->Messages().empty());

    const HWND window = copy.host->Window();
    const std::vector<std::string> calls = copy.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "DllInitialize " + N(reinterpret_cast<void *>(&PluginHost::GetHostVariable)) +
                            " 0 0 4242 0 0 " + N(reinterpret_cast<void *>(&PluginHost::RegisterEffect)) + " " +
                            N(reinterpret_cast<void *>(&PluginHost::StreamAccess)) + " " + N(window));
    EXPECT_EQ(calls[1], "ShowEditor " + N(window) + " [QVTS10300] 9 place reserved 4242");
    EXPECT_EQ(calls[2], "block " + N(params));
    EXPECT_FALSE(IsLoaded(copy.EditorPath()));
}

// A module that hands back the host's own block has not made a new one:
// the host keeps its block, which must not be freed under it.
TEST(EditorBridge, HostBlockHandedBackStaysTheHosts) {
    PluginCopy copy("qvt_fakeeditor.so", "return-given");
    char *params = GlobalText("QVTS203E80300");
    char *const old = params;
    EXPECT_TRUE(copy.host->Exports().ovEditEffect(1, &params));
    EXPECT_EQ(params, old);
    EXPECT_STREQ(params, "QVTS203E80300");
    EXPECT_EQ(GlobalFree(params), nullptr) << "the host's block was freed";
}

TEST(EditorBridge, MissingRecordCountsAsEmpty) {
    PluginCopy copy("qvt_fakeeditor.so", "accept:QVTS203E80300");
    char *params = nullptr;
    ASSERT_TRUE(copy.host->Exports().ovEditEffect(1, &params));
    EXPECT_STREQ(params, "QVTS203E80300");
    GlobalFree(params);
    ASSERT_GE(copy.Calls().size(), 2u);
    EXPECT_EQ(copy.Calls()[1], "ShowEditor " + N(copy.host->Window()) + " [] 0 place reserved 0");
}

// Whatever goes wrong, the host keeps its record and no block is lost.
TEST(EditorBridge, FailedEditsKeepTheRecord) {
    struct Case {
        const char *module;
        std::string mode;
        std::string message; // the error box, "" for none
        bool freesABlock;    // the module handed a block the bridge must free
    } cases[] = {
        {"qvt_fakeeditor.so", "refuse", "", false},
        {"qvt_fakeeditor.so", "accept-without-record", "", false},
        {"qvt_fakeeditor.so", "record-but-refuse:QVTS203E80300", "", true},
        {"qvt_fakeeditor.so", "accept:QVTX10300",
         "The editor returned a record that cannot be read (Wrong signature); the effect is unchanged.", true},
        {"qvt_fakeeditor.so", "accept:QVTS19900",
         "The editor returned a record that cannot be read (Transition '99' not found); the effect is unchanged.",
         true},
        {"qvt_fakeeditor_initonly.so", "", "", false}, // no ShowEditor
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.module + (" " + c.mode));
        PluginCopy copy(c.module, c.mode);
        char *params = GlobalText("QVTS203E80300");
        char *const old = params;
        EXPECT_FALSE(copy.host->Exports().ovEditEffect(1, &params));
        EXPECT_EQ(params, old);
        EXPECT_STREQ(params, "QVTS203E80300");
        EXPECT_EQ(GlobalFree(params), nullptr);
        if (c.message.empty()) {
            EXPECT_TRUE(copy.host->Messages().empty());
        } else {
            ASSERT_EQ(copy.host->Messages().size(), 1u);
            EXPECT_EQ(copy.host->Messages()[0].text, c.message);
            EXPECT_EQ(copy.host->Messages()[0].caption, kCaption);
        }
        const std::vector<std::string> calls = copy.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0].rfind("DllInitialize ", 0), 0u); // initialised even when the request fails
        if (c.freesABlock) {
            ASSERT_EQ(calls.back().rfind("block ", 0), 0u);
            void *block = reinterpret_cast<void *>(std::stoull(calls.back().substr(6)));
            EXPECT_EQ(GlobalFree(block), block) << "the module's block was not freed";
        }
        EXPECT_FALSE(IsLoaded(copy.EditorPath()));
    }
}

TEST(EditorBridge, AboutReturnsWhatTheModuleReturns) {
    struct Case {
        const char *module;
        const char *mode;
        bool result;
    } cases[] = {
        {"qvt_fakeeditor.so", "about:1", true},
        {"qvt_fakeeditor.so", "about:0", false},
        {"qvt_fakeeditor_initonly.so", "", false}, // no ShowAbout
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        PluginCopy copy(c.module, c.mode);
        EXPECT_EQ(copy.host->About(), c.result);
        EXPECT_TRUE(copy.host->Messages().empty());
        const std::vector<std::string> calls = copy.Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls[0].rfind("DllInitialize ", 0), 0u);
        if (c.result || std::string(c.mode) == "about:0") {
            ASSERT_EQ(calls.size(), 2u);
            EXPECT_EQ(calls[1], "ShowAbout " + N(copy.host->Window()));
        }
        EXPECT_FALSE(IsLoaded(copy.EditorPath()));
    }
}

// --- The real editor module ------------------------------------------------------------

// Standard input from a script, standard output to a file, for the life of
// the object.
class Terminal {
public:
    explicit Terminal(const std::string &script) {
        const std::string base = ::testing::TempDir() + "qvt-terminal-" + std::to_string(getpid());
        inPath_ = base + ".in";
        outPath_ = base + ".out";
        WriteText(inPath_, script);
        std::fflush(stdout);
        savedIn_ = dup(STDIN_FILENO);
        savedOut_ = dup(STDOUT_FILENO);
        const int in = open(inPath_.c_str(), O_RDONLY);
        const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        close(in);
        close(out);
    }
    ~Terminal() {
        Restore();
        std::remove(inPath_.c_str());
        std::remove(outPath_.c_str());
    }
    // What was written so far; standard output is back afterwards.
    std::string Output() {
        Restore();
        return ReadText(outPath_);
    }

private:
    void Restore() {
        if (savedIn_ < 0) return;
        dup2(savedIn_, STDIN_FILENO);
        dup2(savedOut_, STDOUT_FILENO);
        close(savedIn_);
        close(savedOut_);
        savedIn_ = savedOut_ = -1;
    }
    std::string inPath_, outPath_;
    int savedIn_ = -1, savedOut_ = -1;
};


class EditorModule : public ::testing::Test {
protected:
    void SetUp() override {
        HostOptions o;
        o.width = 48;
        o.height = 32;
        std::string error;
        host = PluginHost::Load(host::ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
        ASSERT_TRUE(host) << error;
        host->Start();
    }
    HBITMAP Page(host::Page which) { return BuiltinPageBitmap(which, 48, 32); }
    // Edits `record` through the host with `script` on the terminal; returns
    // what the terminal showed.
    std::string ScriptedEdit(const char *script, std::string &record, bool &ok) {
        Terminal terminal(script);
        ok = host->Edit(1, record);
        return terminal.Output();
    }
    std::string EditorPath() const { return host::ProgramFolder() + "/" QVT_EDITOR_FILE; }
    std::unique_ptr<PluginHost> host;
};

TEST_F(EditorModule, ScriptedEditReachesTheHostAndRenders) {
    char *params = GlobalText("QVTS203E80300");
    char *const old = params;
    std::string output;
    BOOL ok;
    {
        Terminal terminal("show\nclass Alpha blend\nset Milliseconds 250\nok\n");
        ok = host->Exports().ovEditEffect(1, &params);
        output = terminal.Output();
    }
    ASSERT_TRUE(ok) << output;
    EXPECT_STREQ(params, "QVTS203FA0000");
    EXPECT_EQ(GlobalFree(old), old) << "the old record was not freed";
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_NE(output.find("Effect: Alpha blend (TBlendTransition, code 03)"), std::string::npos) << output;
    EXPECT_NE(output.find("Milliseconds = 250\n"), std::string::npos) << output;
    EXPECT_FALSE(IsLoaded(EditorPath()));

    // The host plays the new record: a blend of 250 ms.
    HBITMAP departing = Page(host::Page::Departing), arriving = Page(host::Page::Arriving);
    host->ShowBitmap(departing);
    {
        DrivenClock clock(20);
        EXPECT_TRUE(host->Render(1, arriving, RECT{0, 0, 48, 32}, params));
        EXPECT_NEAR(clock.micros / 1000.0, 250.0, 5.0);
    }
    EXPECT_TRUE(host->Messages().empty());
    DeleteObject(departing);
    DeleteObject(arriving);
    GlobalFree(params);
}

TEST_F(EditorModule, CancelOrTheEndOfInputKeepsTheRecord) {
    for (const char *script : {"set Milliseconds 250\ncancel\n", "set Milliseconds 250\n", "", "set Milliseconds 2"}) {
        SCOPED_TRACE(script);
        char *params = GlobalText("QVTS203E80300");
        char *const old = params;
        std::string output;
        BOOL ok;
        {
            Terminal terminal(script);
            ok = host->Exports().ovEditEffect(1, &params);
            output = terminal.Output();
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(params, old);
        EXPECT_STREQ(params, "QVTS203E80300");
        EXPECT_EQ(GlobalFree(params), nullptr);
        EXPECT_NE(output.find("nothing was changed"), std::string::npos) << output;
        EXPECT_TRUE(host->Messages().empty());
    }
}

TEST_F(EditorModule, RefusedValueIsExplainedOnTheTerminal) {
    std::string record = "QVTS203E80300";
    bool ok = false;
    const std::string output = ScriptedEdit("set Milliseconds 99999999999\nset Milliseconds -1\nok\n", record, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(record, "QVTS203FFFF00");
    EXPECT_NE(output.find("value out of range: Milliseconds accepts -2147483648..2147483647\n"), std::string::npos)
        << output;
}

TEST_F(EditorModule, MalformedRecordIsReplacedByTheDefaultEffect) {
    std::string record = "QVTS303";
    bool ok = false;
    const std::string output = ScriptedEdit("ok\n", record, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(record, "QVTS203E80300");
    EXPECT_NE(output.find("The record cannot be read (Wrong format version '3'); starting from the default effect."),
              std::string::npos)
        << output;
}

TEST(EditorModuleMasks, MaskFileOfARecordIsReadThroughTheHost) {
    // The host holds the file the record names; the module asks the host
    // for it, so the record is edited as it stands.
    const std::string record = "QVTS101" + test::HexName("OVMaskFileName") + "06" + test::HexName("held.bmp") + "00";
    HostOptions o;
    o.streams["held.bmp"] = std::make_shared<const std::vector<uint8_t>>(
        std::vector<uint8_t>{'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                             1, 0, 8, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,
                             255, 255, 255, 0, 0, 0, 0, 0});
    std::string error;
    auto holding = PluginHost::Load(host::ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
    ASSERT_TRUE(holding) << error;
    holding->Start();
    std::string edited = record;
    Terminal terminal("set SmoothingLevel 2\nok\n");
    const bool ok = holding->Edit(1, edited);
    const std::string output = terminal.Output();
    ASSERT_TRUE(ok) << output;
    EXPECT_NE(output.find("Effect: Bitmap mask (TBmpMaskTransition2, code 01)"), std::string::npos) << output;
    EXPECT_NE(edited.find(test::HexName("held.bmp")), std::string::npos) << edited;
    EXPECT_NE(edited.find(test::HexName("SmoothingLevel")), std::string::npos) << edited;
}

TEST_F(EditorModule, AboutShowsThePlugInAndReturnsTrue) {
    std::string output;
    bool ok;
    {
        Terminal terminal("");
        ok = host->About();
        output = terminal.Output();
    }
    EXPECT_TRUE(ok);
    EXPECT_NE(output.find("Quorvane Transitions\nQuorvaneSoft\nTransition effects plug-in\nVersion "),
              std::string::npos)
        << output;
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_FALSE(IsLoaded(EditorPath()));
}

} // namespace
} // namespace qvt::test
