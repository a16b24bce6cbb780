// The editor's dialog, driven by scripts, and the terminal it runs on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/qvtEdConsole.h"
#include "editor/qvtEdDialog.h"
#include "editor_test_support.h"
#include "persist/qvtWriter.h"

namespace qvt::test {
namespace {

using editor::TConsoleIO;
using editor::TDialogIO;
using editor::TEditorDialog;

// Lines in, text out.
class ScriptIO : public TDialogIO {
public:
    explicit ScriptIO(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    TLine ReadLine(std::string &line) override {
        if (next_ >= lines_.size()) return TLine::End;
        line = lines_[next_++];
        return TLine::Line;
    }
    void Write(std::string_view text) override { output += text; }
    size_t LinesRead() const { return next_; }
    std::string output;

private:
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

struct Outcome {
    std::optional<std::string> record;
    std::string output;
};

Outcome Dialog(std::string_view record, std::vector<std::string> lines) {
    RegisterAllTransitions();
    ScriptIO io(std::move(lines));
    TEditorDialog dialog(io);
    Outcome o;
    o.record = dialog.Run(record);
    o.output = io.output;
    return o;
}

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(EditorDialog, ScriptedEditGivesTheNewRecord) {
    const Outcome o = Dialog("QVTS203E80300", {"set Milliseconds 250", "set PassSetting teTwoPasses", "ok"});
    ASSERT_TRUE(o.record);
    std::unique_ptr<TTransitionEffect> edited = Decode(*o.record);
    EXPECT_EQ(edited->ClassName(), "TBlendTransition");
    EXPECT_EQ(edited->GetMilliseconds(), 250);
    EXPECT_EQ(edited->PassSetting, teTwoPasses);
    EXPECT_EQ(TransitionToParams(*edited), *o.record);
    EXPECT_TRUE(Has(o.output, "Milliseconds = 250\n")) << o.output;
    EXPECT_TRUE(Has(o.output, "PassSetting = teTwoPasses\n")) << o.output;
    EXPECT_TRUE(Has(o.output, "Stored: " + *o.record)) << o.output;
}

TEST(EditorDialog, StartsFromTheRecordItIsGiven) {
    const Outcome o = Dialog("QVTS203FA0000", {"show", "ok"});
    EXPECT_EQ(o.record, "QVTS203FA0000");
    EXPECT_TRUE(Has(o.output, "Effect: Alpha blend (TBlendTransition, code 03)\n")) << o.output;
    EXPECT_TRUE(Has(o.output, "  Milliseconds = 250    integer: -2147483648..2147483647; default 0\n")) << o.output;
    EXPECT_TRUE(Has(o.output, "  PassSetting = teOnePass    enumeration: teOnePass, teTwoPasses, "
                              "tePaletteDependent; default teOnePass\n"))
        << o.output;
}

TEST(EditorDialog, CancelOrTheEndOfInputGivesNothing) {
    const std::vector<std::vector<std::string>> scripts = {
        {"cancel"},
        {"CANCEL"},
        {"set Milliseconds 5", "cancel", "ok"}, // nothing after cancel is read
        {},                                     // the input ends at once
        {"set Milliseconds 5"},                 // ... or in the middle
        {"set Milliseconds 5", "record"},
    };
    for (const auto &script : scripts) {
        SCOPED_TRACE(script.empty() ? "(no input)" : script.back());
        RegisterAllTransitions();
        ScriptIO io(script);
        TEditorDialog dialog(io);
        EXPECT_FALSE(dialog.Run("QVTS203E80300"));
        EXPECT_TRUE(Has(io.output, "nothing was changed")) << io.output;
        if (script.size() > 1 && script[1] == "cancel") {
            EXPECT_EQ(io.LinesRead(), 2u);
        }
    }
}

TEST(EditorDialog, UnreadableRecordStartsFromTheDefaultEffect) {
    struct Case {
        std::string record, reason;
    } cases[] = {
        {"QVTX10300", "Wrong signature"},
        {"QVTS303", "Wrong format version '3'"},
        {"QVTS19900", "Transition '99' not found"},
        {"QVTS1030", "Stream read error"},
        {"QVTS103G1", "'$G1' is not a valid integer value"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.record);
        const Outcome o = Dialog(c.record, {"ok"});
        EXPECT_TRUE(Has(o.output, "The record cannot be read (" + c.reason + "); starting from the default effect.\n"))
            << o.output;
        EXPECT_EQ(o.record, "QVTS203E80300"); // the 1000 ms blend
    }
    // A missing or too short record is the default effect, without complaint.
    for (const char *record : {"", "QVTS2"}) {
        const Outcome o = Dialog(record, {"ok"});
        EXPECT_FALSE(Has(o.output, "cannot be read")) << o.output;
        EXPECT_EQ(o.record, "QVTS203E80300");
    }
}

TEST(EditorDialog, RefusedValuesAreExplainedAndChangeNothing) {
    const Outcome o = Dialog("QVTS203E80300", {"set Milliseconds 3000000000", "set PassSetting teThreePasses",
                                               "set Enabled maybe", "set Nothing 1", "set Milliseconds", "set", "ok"});
    EXPECT_EQ(o.record, "QVTS203E80300");
    for (const char *message : {
             "value out of range: Milliseconds accepts -2147483648..2147483647\n",
             "value not allowed: PassSetting accepts teOnePass, teTwoPasses, tePaletteDependent\n",
             "value not allowed: Enabled accepts False, True\n",
             "Alpha blend has no property \"Nothing\"; its properties are Tag, Enabled, FlickerFreeWhenDisabled, "
             "PassSetting, Milliseconds\n",
             "Usage: set <property> <value>  (\"\" for an empty text)\n",
         })
        EXPECT_TRUE(Has(o.output, message)) << message << "\n---\n" << o.output;
}

// With a catalogue that offers the probe class (under a code of its own),
// the dialog refuses what the probe's setters would ignore.
TEST(EditorDialog, RefusesWhatASetterWouldIgnore) {
    RegisterAllTransitions();
    std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    TTransitionDescription probe = DescribeTransition(TEditorProbeTransition::StaticClassInfo());
    probe.Code = "98";
    catalogue.push_back(probe);
    ScriptIO io({"class 98", "set Direction tedUp", "set SubStyle 4", "set Style 4", "set SubStyle 4",
                 "set Caption \"two  words\"", "set FileName \"\"", "show", "cancel"});
    TEditorDialog dialog(io, catalogue);
    EXPECT_FALSE(dialog.Run("QVTS203FA0000"));
    const std::string &out = io.output;
    EXPECT_TRUE(Has(out, "Effect: Editor probe (TEditorProbeTransition, code 98)\n")) << out;
    EXPECT_TRUE(Has(out, "  Milliseconds = 250 ")) << out; // kept from the blend
    EXPECT_TRUE(Has(out, "value not allowed: Direction accepts tedRight, tedLeft\n")) << out;
    EXPECT_TRUE(Has(out, "value not allowed with the present settings: SubStyle ignored \"4\" (it accepts 1..5)\n"))
        << out;
    EXPECT_TRUE(Has(out, "SubStyle = 4\n")) << out;
    EXPECT_TRUE(Has(out, "Caption = \"two  words\"\n")) << out;
    EXPECT_TRUE(Has(out, "FileName = \"\"\n")) << out;
}

TEST(EditorDialog, ChoosesAClassByAnyOfItsNames) {
    for (const char *name : {"03", "Alpha blend", "alpha BLEND", "CrossFade", "TBlendTransition"}) {
        SCOPED_TRACE(name);
        const Outcome o = Dialog("QVTS203FA0000", {std::string("class ") + name, "ok"});
        EXPECT_EQ(o.record, "QVTS203FA0000"); // what the effects share is kept
    }
    const Outcome o = Dialog("QVTS203FA0000", {"class 99", "class", "classes", "ok"});
    EXPECT_EQ(o.record, "QVTS203FA0000");
    // The list goes on with every other registered effect, in registration
    // order.
    EXPECT_TRUE(Has(o.output, "No effect \"99\". The effects are: Bitmap mask (01), Fuse (07), Alpha blend (03), "))
        << o.output;
    EXPECT_TRUE(Has(o.output, "Which effect? The effects are: Bitmap mask (01), ")) << o.output;
    EXPECT_TRUE(Has(o.output, "Effects:\n  01  Bitmap mask (TBmpMaskTransition2, BmpMask)\n  07  Fuse (TFuseTransition, Pattern)\n"
                              "  03  Alpha blend (TBlendTransition, CrossFade)\n"))
        << o.output;
}

TEST(EditorDialog, OtherCommands) {
    const Outcome o = Dialog("QVTS203E80300", {"help", "", "   ", "record", "frobnicate now", "?", "Ok"});
    EXPECT_EQ(o.record, "QVTS203E80300");
    EXPECT_TRUE(Has(o.output, "Commands:\n  show ")) << o.output;
    EXPECT_TRUE(Has(o.output, "Record: QVTS203E80300\n")) << o.output;
    EXPECT_TRUE(Has(o.output, "Unknown command \"frobnicate\"; type help for the commands.\n")) << o.output;
}

// A record whose PassSetting names no value decodes, but cannot be written
// back as it is: ok says so and the dialog goes on.
TEST(EditorDialog, EffectThatCannotBeStoredKeepsTheDialogOpen) {
    const std::string odd = "QVTS103"
                            "0B5061737353657474696E67"
                            "0705626F677573"
                            "00"; // PassSetting = bogus
    const Outcome o = Dialog(odd, {"show", "ok", "set PassSetting teOnePass", "ok"});
    EXPECT_TRUE(Has(o.output, "  PassSetting = (invalid 255) ")) << o.output;
    EXPECT_TRUE(Has(o.output, "Cannot store the effect: PassSetting holds 255, which is none of teOnePass, "
                              "teTwoPasses, tePaletteDependent\n"))
        << o.output;
    EXPECT_EQ(o.record, "QVTS10300");
}

TEST(EditorDialog, AboutText) {
    ScriptIO io({});
    editor::ShowAboutText(io);
    EXPECT_TRUE(Has(io.output, "Quorvane Transitions\nQuorvaneSoft\nTransition effects plug-in\nVersion "))
        << io.output;
}

// --- The terminal ---------------------------------------------------------------------------

// Points a standard descriptor elsewhere for the life of the object.
class Redirected {
public:
    Redirected(int fd, int to) : fd_(fd), saved_(dup(fd)) {
        std::fflush(stdout);
        dup2(to, fd);
    }
    ~Redirected() {
        dup2(saved_, fd_);
        close(saved_);
    }

private:
    int fd_, saved_;
};

TEST(EditorConsole, ReadsLinesUpToTheEndOfInput) {
    std::string input = "first\r\n\nsecond line\n";
    input += std::string(TConsoleIO::kMaxLine + 5, 'x') + "\nafter\nlast";
    // A file of its own, so that test runs side by side do not share it.
    std::string path = ::testing::TempDir() + "qvt-console-input-XXXXXX";
    const int file = mkstemp(path.data());
    ASSERT_GE(file, 0);
    unlink(path.c_str());
    ASSERT_EQ(write(file, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ASSERT_EQ(lseek(file, 0, SEEK_SET), 0);
    std::vector<std::string> lines;
    std::vector<TDialogIO::TLine> kinds;
    {
        Redirected in(STDIN_FILENO, file);
        TConsoleIO io;
        std::string line;
        for (;;) {
            const TDialogIO::TLine kind = io.ReadLine(line);
            kinds.push_back(kind);
            lines.push_back(line);
            if (kind == TDialogIO::TLine::End) break;
        }
        EXPECT_EQ(io.ReadLine(line), TDialogIO::TLine::End);
    }
    close(file);
    using L = TDialogIO::TLine;
    EXPECT_EQ(kinds, (std::vector<L>{L::Line, L::Line, L::Line, L::TooLong, L::Line, L::Line, L::End}));
    EXPECT_EQ(lines[0], "first");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "second line");
    EXPECT_EQ(lines[4], "after");
    EXPECT_EQ(lines[5], "last");
}

// A closed standard output loses the text but does not end the program.
TEST(EditorConsole, ClosedOutputIsSurvived) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);
    {
        Redirected out(STDOUT_FILENO, p[1]);
        TConsoleIO io;
        io.Write("nobody reads this\n");
        io.Write("nor this\n");
    }
    close(p[1]);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

} // namespace
} // namespace qvt::test
