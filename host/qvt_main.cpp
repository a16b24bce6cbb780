// qvt: renders transitions offline, plays them through the plug-in module,
// and talks to the plug-in's About box and editor.
//
// Every command prints what scripts may want on standard output and reports
// a failure as one line on standard error with a non-zero exit status: 1
// when the work failed, 2 when the command line was wrong.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "contact_sheet.h"
#include "effect_choice.h"
#include "frame_writer.h"
#include "image_io.h"
#include "offline.h"
#include "player.h"
#include "plugin_host.h"
#include "progress.h"
#include "qvt/qvtdisplay.h"
#include "qvt/rtl/exceptions.h"
#include "tool_error.h"

using namespace qvt;
using namespace qvt::host;

namespace {

constexpr int kMaxSide = 8192;
constexpr double kMaxFps = 240;

struct Size {
    int width = 0, height = 0;
};

// "WxH" with both sides in 1..kMaxSide; an empty text when fine, otherwise
// what is wrong.
std::string checkSize(const std::string &text, Size *size = nullptr) {
    const size_t x = text.find_first_of("xX");
    auto side = [](const std::string &s, int &value) {
        if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos) return false;
        value = std::stoi(s);
        return value >= 1 && value <= kMaxSide;
    };
    Size s;
    if (x == std::string::npos || !side(text.substr(0, x), s.width) || !side(text.substr(x + 1), s.height))
        return "size '" + text + "' must be WIDTHxHEIGHT, each side from 1 to " + std::to_string(kMaxSide) + " pixels";
    if (size) *size = s;
    return "";
}

Size parseSize(const std::string &text) {
    Size s;
    std::string error = checkSize(text, &s);
    if (!error.empty()) throw ToolError(error);
    return s;
}

struct PageOptions {
    std::string from, to;
    std::string size = "640x480";
    int display = 32;
};

void addPageOptions(CLI::App *command, PageOptions &pages) {
    command->add_option("--from", pages.from, "Departing page: a PNG or JPEG file (default: the built-in page)");
    command->add_option("--to", pages.to, "Arriving page: a PNG or JPEG file (default: the built-in page)");
    command->add_option("--size", pages.size, "Page size WIDTHxHEIGHT; pictures are fitted into it")
        ->capture_default_str()
        ->check([](const std::string &s) { return checkSize(s); });
    command->add_option("--display", pages.display, "Display depth in bits: 1, 4, 8, 15, 16, 24 or 32")
        ->capture_default_str()
        ->check(CLI::IsMember({1, 4, 8, 15, 16, 24, 32}));
}

struct EffectOptions {
    EffectChoice choice;
    CLI::Option *record = nullptr, *ms = nullptr;
    int milliseconds = 0;
    std::string record_text;
};

// The effect: a record, or a class named on the command line with property
// options. (Options for the other published properties join --ms here.)
void addEffectOptions(CLI::App *command, EffectOptions &effect) {
    CLI::Option *name = command->add_option(
        "effect", effect.choice.effectClass,
        "Effect to play: display name (\"Alpha blend\"), class name (TBlendTransition) or class code (03)");
    effect.record = command->add_option("--record", effect.record_text, "Effect parameter record, e.g. QVTS203E80300")
                        ->excludes(name);
    effect.ms = command->add_option("--ms", effect.milliseconds, "Duration in milliseconds (0: every frame, untimed)")
                    ->check(CLI::Range(0, kMaxEffectMilliseconds));
}

EffectChoice effectChoice(const EffectOptions &effect) {
    EffectChoice choice = effect.choice;
    if (effect.record->count()) choice.record = effect.record_text;
    if (effect.ms->count()) choice.milliseconds = effect.milliseconds;
    return choice;
}

void chooseDisplay(int bits) {
    if (!QvtSetDisplayDepth(bits)) throw ToolError("cannot use a display of " + std::to_string(bits) + " bits");
    StartEngine();
}

std::pair<RgbImage, RgbImage> loadPages(const PageOptions &pages, Size size) {
    return {LoadPage({pages.from, Page::Departing}, size.width, size.height),
            LoadPage({pages.to, Page::Arriving}, size.width, size.height)};
}

void printLines(const std::vector<std::string> &lines) {
    for (const std::string &line : lines) std::printf("%s\n", line.c_str());
}

// ---------------------------------------------------------------------------
// render

struct RenderCommand {
    PageOptions pages;
    EffectOptions effect;
    double fps = 25;
    std::string output;
};

int runRender(const RenderCommand &c) {
    const Size size = parseSize(c.pages.size);
    const OutputTarget target = ParseOutput(c.output);
    chooseDisplay(c.pages.display);
    std::unique_ptr<TTransitionEffect> effect = BuildEffect(effectChoice(c.effect));
    auto [from, to] = loadPages(c.pages, size);
    std::unique_ptr<FrameWriter> writer = OpenFrameWriter(target, size.width, size.height, c.fps);
    std::vector<std::string> written;
    {
        Progress progress("render", ExpectedFrameCount(*effect, c.fps));
        RenderOffline(*effect, from, to, c.fps, [&](const RgbImage &frame) {
            writer->Write(frame);
            progress.Step();
        });
        written = writer->Commit();
    }
    printLines(written);
    return 0;
}

// ---------------------------------------------------------------------------
// play

struct PlayCommand {
    PageOptions pages;
    EffectOptions effect;
    int hold = -1;
    int lead = 500;
};

int runPlay(const PlayCommand &c) {
    const Size size = parseSize(c.pages.size);
    const EffectChoice choice = effectChoice(c.effect);
    StartEngine();
    PlayRequest request;
    request.record = BuildRecord(choice);
    request.title = "qvt play: " + BuildEffect(choice)->GetDescription();
    std::tie(request.from, request.to) = loadPages(c.pages, size);
    request.displayDepth = c.pages.display;
    request.holdMilliseconds = c.hold;
    request.leadMilliseconds = c.lead;
    Play(request);
    return 0;
}

// ---------------------------------------------------------------------------
// demo: every registered effect as a GIF, and a contact sheet

struct DemoCommand {
    PageOptions pages;
    std::string output = "out/demo";
    double fps = 25;
    int milliseconds = kDefaultEffectMilliseconds;
    std::string thumb = "160x120";
    bool sheetOnly = false;
};

std::string slug(const std::string &name) {
    std::string s;
    for (unsigned char ch : name) {
        if (std::isalnum(ch))
            s += static_cast<char>(std::tolower(ch));
        else if (!s.empty() && s.back() != '-')
            s += '-';
    }
    while (!s.empty() && s.back() == '-') s.pop_back();
    return s.empty() ? "effect" : s;
}

int runDemo(const DemoCommand &c) {
    const Size size = parseSize(c.pages.size), thumb = parseSize(c.thumb);
    chooseDisplay(c.pages.display);
    auto [from, to] = loadPages(c.pages, size);
    std::error_code ec;
    std::filesystem::create_directories(c.output, ec);
    if (ec) throw ToolError("cannot create folder " + c.output + ": " + ec.message());

    std::vector<SheetRow> rows;
    for (const EffectClass &effectClass : EffectClasses()) {
        EffectChoice choice;
        choice.effectClass = std::string(effectClass.info->ClassName());
        choice.milliseconds = c.milliseconds;
        if (!c.sheetOnly) {
            std::unique_ptr<TTransitionEffect> effect = BuildEffect(choice);
            OutputTarget target = ParseOutput(c.output + "/" + slug(effectClass.displayName) + ".gif");
            std::unique_ptr<FrameWriter> writer = OpenFrameWriter(target, size.width, size.height, c.fps);
            std::vector<std::string> written;
            {
                Progress progress(effectClass.displayName, ExpectedFrameCount(*effect, c.fps));
                RenderOffline(*effect, from, to, c.fps, [&](const RgbImage &frame) {
                    writer->Write(frame);
                    progress.Step();
                });
                written = writer->Commit();
            }
            printLines(written);
        }
        // A run sampled four times: its frames are 0, 25, 50, 75 and 100 %
        // of the way through.
        std::unique_ptr<TTransitionEffect> effect = BuildEffect(choice);
        const double fps = c.milliseconds > 0 ? 4000.0 / c.milliseconds : c.fps;
        std::vector<RgbImage> thumbs;
        RenderOffline(*effect, from, to, fps,
                      [&](const RgbImage &frame) { thumbs.push_back(ScalePicture(frame, thumb.width, thumb.height)); });
        SheetRow row{effectClass.displayName, {}};
        for (int percent : kSheetPercents)
            row.frames.push_back(
                thumbs[static_cast<size_t>(SheetFrameIndex(static_cast<int>(thumbs.size()), percent))]);
        rows.push_back(std::move(row));
    }
    std::vector<std::string> columns;
    for (int percent : kSheetPercents) columns.push_back(std::to_string(percent) + " %");
    const RgbImage sheet = ComposeContactSheet(columns, rows);
    const std::string path = c.output + "/contact-sheet.png";
    std::string error;
    if (!WritePng(path, sheet, error)) throw ToolError(error);
    std::printf("%s\n", path.c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// about, edit: the plug-in's own answers

std::unique_ptr<PluginHost> startPlugin() {
    std::string error;
    std::unique_ptr<PluginHost> host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, HostOptions{}, error);
    if (!host) throw ToolError(error);
    host->Start();
    return host;
}

// What the plug-in showed in message boxes, one line each on standard error.
void reportMessages(PluginHost &host) {
    for (const MessageBoxRecord &m : host.Messages())
        std::fprintf(stderr, "qvt: the plug-in says: %s\n", m.text.c_str());
    host.ClearMessages();
}

int runAbout() {
    std::unique_ptr<PluginHost> host = startPlugin();
    reportMessages(*host);
    std::printf("%s\n%s\n%s\n", host->Title().c_str(), host->Publisher().c_str(), host->Hint().c_str());
    std::fflush(stdout);
    const bool shown = host->About();
    if (host->Messages().empty() && !shown) std::fprintf(stderr, "qvt: the plug-in showed no About box\n");
    reportMessages(*host);
    return shown ? 0 : 1;
}

// Points standard output at standard error while it lives, so that the
// editor's dialog stays on the terminal and standard output carries only the
// record.
class DialogOnStderr {
public:
    DialogOnStderr() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    ~DialogOnStderr() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
    }
    DialogOnStderr(const DialogOnStderr &) = delete;
    DialogOnStderr &operator=(const DialogOnStderr &) = delete;

private:
    int saved_ = -1;
};

int runEdit(const std::string &record) {
    std::unique_ptr<PluginHost> host = startPlugin();
    reportMessages(*host);
    std::string edited = record;
    bool accepted;
    {
        DialogOnStderr dialog;
        accepted = host->Edit(1, edited);
    }
    reportMessages(*host);
    if (!accepted) return 1;
    std::printf("%s\n", edited.c_str());
    return 0;
}

std::string oneLine(std::string text) {
    for (char &ch : text)
        if (ch == '\n' || ch == '\r') ch = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

} // namespace

int main(int argc, char **argv) {
    // A failed ffmpeg shows up as a write error, not as a signal.
    signal(SIGPIPE, SIG_IGN);

    CLI::App app{"Renders and plays QVT transition effects."};
    app.name("qvt");
    app.require_subcommand(1);

    RenderCommand render;
    CLI::App *renderCmd = app.add_subcommand("render", "Render a transition offline to PNG frames or a video");
    renderCmd->footer("Output: a PNG pattern (out/f%04d.png), a folder, or a .gif, .apng, .webm or .mp4 file "
                      "(made with ffmpeg). Frame j shows the transition at time j / fps.");
    addPageOptions(renderCmd, render.pages);
    addEffectOptions(renderCmd, render.effect);
    renderCmd->add_option("--fps", render.fps, "Output frames per second")
        ->capture_default_str()
        ->check(CLI::Range(0.001, kMaxFps));
    renderCmd->add_option("-o,--output", render.output, "Where the frames go")->required();

    PlayCommand play;
    CLI::App *playCmd = app.add_subcommand("play", "Play a transition in a window through the plug-in module");
    addPageOptions(playCmd, play.pages);
    addEffectOptions(playCmd, play.effect);
    playCmd->add_option("--hold", play.hold, "Milliseconds to keep the window after the run (default: until a key)")
        ->check(CLI::Range(0, 3600000));
    playCmd->add_option("--lead", play.lead, "Milliseconds the departing page is shown before the run")
        ->capture_default_str()
        ->check(CLI::Range(0, 60000));

    CLI::App *aboutCmd = app.add_subcommand("about", "Ask the plug-in for its About box");

    std::string editRecord;
    CLI::App *editCmd = app.add_subcommand("edit", "Edit a record with the plug-in's editor; prints the new record");
    editCmd->add_option("record", editRecord, "The record to start from (default: none)");

    DemoCommand demo;
    CLI::App *demoCmd =
        app.add_subcommand("demo", "Render every effect between two pages: a GIF each and a contact sheet");
    addPageOptions(demoCmd, demo.pages);
    demoCmd->add_option("-o,--output", demo.output, "Folder to write into")->capture_default_str();
    demoCmd->add_option("--fps", demo.fps, "Frames per second of the GIFs")
        ->capture_default_str()
        ->check(CLI::Range(0.001, kMaxFps));
    demoCmd->add_option("--ms", demo.milliseconds, "Duration of each effect in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(0, kMaxEffectMilliseconds));
    demoCmd->add_option("--thumb", demo.thumb, "Size of the contact sheet's frames")
        ->capture_default_str()
        ->check([](const std::string &s) { return checkSize(s); });
    demoCmd->add_flag("--sheet-only", demo.sheetOnly, "Write the contact sheet only (no GIFs, no ffmpeg needed)");

    // An unknown first word gets a clearer word than "a subcommand is
    // required".
    const auto all = [](const CLI::App *) { return true; };
    std::string names;
    bool known = false;
    for (const CLI::App *sub : std::as_const(app).get_subcommands(all)) {
        names += (names.empty() ? "" : ", ") + sub->get_name();
        known = known || (argc > 1 && sub->get_name() == argv[1]);
    }
    if (argc > 1 && argv[1][0] != '-' && !known) {
        std::fprintf(stderr, "qvt: unknown command '%s' (commands: %s; see qvt --help)\n", argv[1], names.c_str());
        return 2;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::string command = "qvt";
        for (const CLI::App *sub : app.get_subcommands()) command += " " + sub->get_name();
        std::fprintf(stderr, "qvt: %s (see %s --help)\n", oneLine(e.what()).c_str(), command.c_str());
        return 2;
    }

    try {
        if (*renderCmd) return runRender(render);
        if (*playCmd) return runPlay(play);
        if (*aboutCmd) return runAbout();
        if (*editCmd) return runEdit(editRecord);
        if (*demoCmd) return runDemo(demo);
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "qvt: %s\n", oneLine(e.what()).c_str());
        return 1;
    }
    return 2;
}
