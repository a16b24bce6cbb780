// qvt: renders transitions offline, plays them through the plug-in module,
// lists the effects and writes and reads their parameter records, and talks
// to the plug-in's About box and editor.
//
// Every command prints what scripts may want on standard output and reports
// a failure as one line on standard error with a non-zero exit status: 1
// when the work failed, 2 when the command line was wrong.
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "contact_sheet.h"
#include "effect_choice.h"
#include "effect_listing.h"
#include "engine/teRandom.h"
#include "frame_writer.h"
#include "image_io.h"
#include "interrupt.h"
#include "luma_mask.h"
#include "offline.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "player.h"
#include "plugin_host.h"
#include "progress.h"
#include "timing_options.h"
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

// An empty text for a finite number, otherwise what is wrong: a range check
// alone lets "nan" through, since no comparison with it is true.
std::string checkFinite(const std::string &text) {
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != 0 || !std::isfinite(value)) return "'" + text + "' is not a finite number";
    return "";
}

std::string oneLine(std::string text) {
    for (char &ch : text)
        if (ch == '\n' || ch == '\r') ch = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
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

// The help text on property options; `onto` says what they change.
std::string propertyFooter(const std::string &onto) {
    return "Properties: --NAME VALUE (or --NAME=VALUE) sets a property of the effect as the editor does; "
           "'qvt list' shows the names (any case) and what they accept. --ms N is --Milliseconds N, the duration "
           "(0: every frame, untimed). They are applied in order, to " +
           onto + ".";
}

// The effect named on the command line.
CLI::Option *addEffectName(CLI::App *command, std::string &effectClass, const std::string &what) {
    return command->add_option("effect", effectClass,
                               what + ": display name (\"Alpha blend\"), class name (TBlendTransition), "
                                      "short name (CrossFade) or class code (03)");
}

struct EffectOptions {
    EffectChoice choice; // properties: see main
    CLI::Option *record = nullptr;
    std::string record_text;
};

// The effect: a new one of a class named on the command line, or a record;
// property options go on top.
void addEffectOptions(CLI::App *command, EffectOptions &effect) {
    const std::string footer = propertyFooter("a new effect of the class named, or to the record's effect");
    command->footer(command->get_footer().empty() ? footer : command->get_footer() + "\n\n" + footer);
    CLI::Option *name = addEffectName(command, effect.choice.effectClass, "Effect to play");
    effect.record = command->add_option("--record", effect.record_text, "Effect parameter record, e.g. QVTS203E80300")
                        ->excludes(name);
    command->add_option("--mask", effect.choice.mask,
                        "Luma map for the Bitmap mask effect (the default effect with it): a PNG, PGM or BMP file, "
                        "stretched to the page; white parts are revealed first");
}

EffectChoice effectChoice(const EffectOptions &effect) {
    EffectChoice choice = effect.choice;
    if (effect.record->count()) choice.record = effect.record_text;
    // A mask alone asks for the effect that takes it, from its file.
    if (!choice.mask.empty() && choice.effectClass.empty() && !choice.record) choice.effectClass = "BmpMask";
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

// What a run wrote: the files, in order, and the number and size of the
// frames.
struct Rendered {
    std::vector<std::string> files;
    int frames = 0, width = 0, height = 0;
};

// Renders the run into the writer, as many times as it asks for; every pass
// starts the shared random generator from the same state, so that every
// pass gives the same frames.
Rendered renderInto(FrameWriter &writer, std::unique_ptr<TTransitionEffect> effect, const EffectChoice &choice,
                    const RgbImage &from, const RgbImage &to, const Timing &timing, const std::string &label) {
    const uint32_t seed = RandSeed;
    Rendered rendered;
    for (int pass = 0; pass < writer.Passes(); ++pass) {
        if (pass > 0) {
            writer.NextPass();
            RandSeed = seed;
            effect = BuildEffect(choice);
        }
        Progress progress(writer.Passes() > 1 ? label + " " + std::to_string(pass + 1) + "/" +
                                                    std::to_string(writer.Passes())
                                              : label,
                          ExpectedFrameCount(*effect, timing));
        rendered.frames = 0;
        rendered.width = from.width;
        rendered.height = from.height;
        if (!writer.WantsPixels()) {
            PlayOffline(*effect, from, to, timing, [&] {
                ThrowIfStopped();
                ++rendered.frames;
                progress.Step();
            });
            continue;
        }
        RenderOffline(*effect, from, to, timing, [&](const RgbImage &frame) {
            writer.Write(frame);
            ++rendered.frames;
            progress.Step();
        });
    }
    rendered.files = writer.Commit();
    return rendered;
}

// Says what a run wrote, as far as the verbosity asks: every file, or the
// file or the frame pattern with the frame count. Standard output carries
// it, unless the frames themselves went there.
void reportRendered(const OutputTarget &target, const Rendered &rendered, double fps) {
    const Verbosity verbosity = CurrentVerbosity();
    if (verbosity == Verbosity::Quiet) return;
    const std::string frames = std::to_string(rendered.frames) + (rendered.frames == 1 ? " frame" : " frames");
    switch (target.kind) {
    case OutputKind::Null: return;
    case OutputKind::PngStream:
        std::fprintf(stderr, "%s of %dx%d as a PNG stream to standard output, %.9g frames a second\n",
                     frames.c_str(), rendered.width, rendered.height, fps);
        return;
    case OutputKind::PngFrames:
        if (verbosity == Verbosity::Verbose || rendered.files.empty()) break;
        std::printf("%s: %s, %s to %s\n", target.Pattern().c_str(), frames.c_str(),
                    target.FrameName(0).c_str(), target.FrameName(rendered.frames - 1).c_str());
        return;
    default: break;
    }
    printLines(rendered.files);
}

// ---------------------------------------------------------------------------
// render

// --duration, beside --ms: seconds or milliseconds.
void addDurationOption(CLI::App *command, std::string &duration) {
    command
        ->add_option("--duration", duration,
                     "Duration instead of --ms: 1.5s, 1500ms, or seconds (1.5); 0 plays every frame, untimed. "
                     "Without either a new effect lasts 1000 ms, a record its own duration")
        ->check([](const std::string &s) {
            try {
                ParseDuration(s);
                return std::string();
            } catch (const UsageError &e) {
                return std::string(e.what());
            }
        });
}

std::string checkMoment(const std::string &text) {
    try {
        ParseMoment(text);
        return std::string();
    } catch (const UsageError &e) {
        return std::string(e.what());
    }
}

constexpr int kMillisecondsPerDay = 24 * 60 * 60 * 1000;

// The time of day offline runs see, which effects that shuffle (Blocks,
// Fuse) seed themselves from.
void addSeedOption(CLI::App *command, int &seed) {
    command->add_option("--seed", seed,
                        "Time of day, in ms after midnight UTC, that effects which shuffle (Blocks, Fuse) seed "
                        "themselves from: the same seed gives the same frames")
        ->capture_default_str()
        ->check(CLI::Range(0, kMillisecondsPerDay - 1));
}

struct RenderCommand {
    PageOptions pages;
    EffectOptions effect;
    int seed = 0;
    Timing timing;
    std::string output;
    std::string at;         // --at: one still at that moment
    bool overwrite = false; // -y
};

// One still PNG at the moment --at names.
int renderStill(const RenderCommand &c, Size size, TTransitionEffect &effect) {
    const double at = MomentFraction(ParseMoment(c.at), effect.GetMilliseconds());
    auto [from, to] = loadPages(c.pages, size);
    std::error_code ec;
    if (!c.overwrite && std::filesystem::exists(c.output, ec))
        throw ToolError("output " + c.output + " exists; use -y to overwrite it");
    std::string error;
    if (!WritePng(c.output, RenderStill(effect, from, to, at, c.timing.fps), error)) throw ToolError(error);
    if (CurrentVerbosity() != Verbosity::Quiet) std::printf("%s\n", c.output.c_str());
    return 0;
}

int runRender(const RenderCommand &c) {
    const Size size = parseSize(c.pages.size);
    const bool still = !c.at.empty();
    if (still && strcasecmp(std::filesystem::path(c.output).extension().c_str(), ".png") != 0)
        throw UsageError("--at writes one PNG picture: -o must name a .png file");
    const OutputTarget target = still ? OutputTarget{} : ParseOutput(c.output);
    chooseDisplay(c.pages.display);
    FixTimeOfDay(c.seed);
    mask_files::SetPageSize(size.width, size.height);
    EffectChoice choice = effectChoice(c.effect);
    GiveDefaultDuration(choice);
    std::unique_ptr<TTransitionEffect> effect = BuildEffect(choice);
    CheckPlayable(*effect);
    if (still) return renderStill(c, size, *effect);
    auto [from, to] = loadPages(c.pages, size);
    std::unique_ptr<FrameWriter> writer =
        OpenFrameWriter(target, size.width, size.height, c.timing.fps, {.overwrite = c.overwrite});
    const Rendered rendered = renderInto(*writer, std::move(effect), choice, from, to, c.timing, "render");
    reportRendered(target, rendered, c.timing.fps);
    return 0;
}

// ---------------------------------------------------------------------------
// play

// How long play holds the window after the run when no one is at a
// terminal to press a key.
constexpr int kScriptHoldMilliseconds = 2000;

struct PlayCommand {
    PageOptions pages;
    EffectOptions effect;
    int hold = -1;
    int lead = 500;
};

int runPlay(const PlayCommand &c) {
    const Size size = parseSize(c.pages.size);
    EffectChoice choice = effectChoice(c.effect);
    GiveDefaultDuration(choice);
    StartEngine();
    mask_files::SetPageSize(size.width, size.height);
    std::unique_ptr<TTransitionEffect> effect = BuildEffect(choice);
    CheckPlayable(*effect);
    PlayRequest request;
    request.record = BuildRecord(choice);
    request.title = "qvt play: " + effect->GetDescription();
    std::tie(request.from, request.to) = loadPages(c.pages, size);
    request.displayDepth = c.pages.display;
    // Waiting for a key suits a terminal; a script's run ends on its own.
    request.holdMilliseconds = c.hold >= 0 || isatty(STDIN_FILENO) == 1 ? c.hold : kScriptHoldMilliseconds;
    request.leadMilliseconds = c.lead;
    // The masks the effect named, for the plug-in to ask the host for.
    request.streams = mask_files::All();
    Play(request);
    return 0;
}

// ---------------------------------------------------------------------------
// demo: every registered effect as a GIF, and a contact sheet

struct DemoCommand {
    PageOptions pages;
    int seed = 0;
    std::string output = "out/demo";
    double fps = 25;
    int milliseconds = 1000;
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

// The masks the demo draws for the bitmap mask effects, by name.
constexpr char kRadialMask[] = "radial gradient";
constexpr char kClockMask[] = "clock sweep";

// What the demo shows of an effect class: one run each, with its label.
// Every registered effect appears with its defaults unless it has rows
// here; the bitmap masks show both drawn masks, the kept one with its
// levels fading in, the file-based one with a hard switch.
struct DemoRun {
    std::string label;
    EffectChoice choice;
};
std::vector<DemoRun> demoRuns(const TTransitionDescription &effectClass, int milliseconds) {
    EffectChoice choice;
    choice.effectClass = effectClass.ClassName;
    choice.properties = {{"Milliseconds", std::to_string(milliseconds)}};
    if (effectClass.ClassName == "TBmpMaskTransition") {
        choice.mask = kRadialMask;
        choice.properties.push_back({"SmoothingLevel", "3"});
        return {{effectClass.DisplayName + ", " + kRadialMask, choice}};
    }
    if (effectClass.ClassName == "TBmpMaskTransition2") {
        choice.mask = kClockMask;
        return {{effectClass.DisplayName + ", " + kClockMask, choice}};
    }
    return {{effectClass.DisplayName, choice}};
}

int runDemo(const DemoCommand &c) {
    const Size size = parseSize(c.pages.size), box = parseSize(c.thumb);
    const ThumbSize thumb = FitThumb(size.width, size.height, box.width, box.height);
    chooseDisplay(c.pages.display);
    FixTimeOfDay(c.seed);
    auto [from, to] = loadPages(c.pages, size);
    mask_files::Add(kRadialMask, RadialGradientMask(size.width, size.height));
    mask_files::Add(kClockMask, ClockSweepMask(size.width, size.height));
    // A failed demo takes away the folders it made, as far as they are empty
    // (the GIFs of the effects done so far stay).
    struct Folders {
        CreatedFolders created;
        bool done = false;
        ~Folders() {
            if (!done) created.RemoveAll();
        }
    } folders;
    folders.created.Ensure(c.output);

    std::vector<SheetRow> rows;
    for (const TTransitionDescription &effectClass : TransitionCatalogue())
        for (const DemoRun &run : demoRuns(effectClass, c.milliseconds)) {
            if (!c.sheetOnly) {
                std::unique_ptr<TTransitionEffect> effect = BuildEffect(run.choice);
                // The demo's folder is its own: its files are replaced.
                OutputTarget target = ParseOutput(c.output + "/" + slug(run.label) + ".gif");
                std::unique_ptr<FrameWriter> writer =
                    OpenFrameWriter(target, size.width, size.height, c.fps, {.overwrite = true});
                const Rendered rendered =
                    renderInto(*writer, std::move(effect), run.choice, from, to, {c.fps}, run.label);
                reportRendered(target, rendered, c.fps);
            }
            // A run of five frames: they are 0, 25, 50, 75 and 100 % of the
            // way through.
            std::unique_ptr<TTransitionEffect> effect = BuildEffect(run.choice);
            const double fps = c.milliseconds > 0 ? 5000.0 / c.milliseconds : c.fps;
            std::vector<RgbImage> thumbs;
            RenderOffline(*effect, from, to, {fps}, [&](const RgbImage &frame) {
                ThrowIfStopped();
                thumbs.push_back(ScalePicture(frame, thumb.width, thumb.height));
            });
            SheetRow row{run.label, {}};
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
    folders.done = true;
    if (CurrentVerbosity() != Verbosity::Quiet) std::printf("%s\n", path.c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// list, record, describe: the effects and their records

int runList(bool json) {
    StartEngine();
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    const std::string text = json ? CatalogueJson(catalogue) : CatalogueText(catalogue);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int runRecord(const std::string &effectClass, const std::vector<PropertySetting> &properties) {
    StartEngine();
    EffectChoice choice;
    choice.effectClass = effectClass;
    choice.properties = properties;
    std::printf("%s\n", EffectRecord(*BuildEffect(choice)).c_str());
    return 0;
}

int runDescribe(const std::string &record) {
    StartEngine();
    if (record.size() > static_cast<size_t>(INT_MAX)) throw ToolError("the record is too long");
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    } catch (const rtl::Exception &e) {
        // The decoder's word, then what it expected.
        std::fprintf(stderr, "qvt: %s\nqvt: %s\n", oneLine(e.Message()).c_str(), kRecordShape);
        return 1;
    }
    const std::string text = EffectText(*effect);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// ---------------------------------------------------------------------------
// about, edit: the plug-in's own answers

std::unique_ptr<PluginHost> startPlugin() {
    std::string error;
    HostOptions options;
    // Mask files a record names reach the plug-in's editor as the masks the
    // tool reads them as.
    options.streamSource = [](const std::string &name) { return mask_files::Find(name); };
    std::unique_ptr<PluginHost> host = PluginHost::Load(ModuleFolder() + "/" OV_PLUGIN_FILE, options, error);
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

// The About box shows the plug-in's names itself; when it cannot, they are
// printed from what the plug-in handed the host at start.
int runAbout() {
    std::unique_ptr<PluginHost> host = startPlugin();
    reportMessages(*host);
    std::fflush(stdout);
    const bool shown = host->About();
    if (!shown) {
        std::printf("%s\n%s\n%s\n", host->Title().c_str(), host->Publisher().c_str(), host->Hint().c_str());
        std::fflush(stdout);
        if (host->Messages().empty()) std::fprintf(stderr, "qvt: the plug-in showed no About box\n");
    }
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

// qvt's version, and the names the plug-in module next to it gives itself.
std::string versionText() {
    const std::string text = "qvt " QVT_VERSION;
    std::string error;
    try {
        std::unique_ptr<PluginHost> host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, {}, error);
        if (host) {
            host->Start();
            return text + "\nplug-in: " + host->Title() + ", " + host->Publisher() + " (" OV_PLUGIN_FILE ")";
        }
    } catch (const std::exception &e) {
        error = e.what();
    }
    return text + "\nplug-in: none loaded (" + oneLine(error) + ")";
}

} // namespace

int main(int argc, char **argv) {
    // A failed ffmpeg shows up as a write error, not as a signal.
    signal(SIGPIPE, SIG_IGN);

    CLI::App app{"Renders and plays QVT transition effects."};
    app.name("qvt");
    app.require_subcommand(1);
    // The general options may also follow the command: qvt render ... -y.
    app.fallthrough();
    bool overwrite = false, quiet = false, verbose = false;
    app.add_flag("-y,--overwrite", overwrite,
                 "Replace outputs that are there, and remove frames of an earlier run past the new last one "
                 "(without it an existing output stops render with exit status 1)");
    CLI::Option *quietFlag =
        app.add_flag("-q,--quiet", quiet, "Print nothing but errors: no progress bar, no summary of what was written");
    app.add_flag("-v,--verbose", verbose, "Print every file written, each frame's included")->excludes(quietFlag);
    app.set_version_flag("--version", versionText, "Print the version of qvt and of the plug-in module, and exit");

    RenderCommand render;
    CLI::App *renderCmd = app.add_subcommand("render", "Render a transition offline to PNG frames or a video");
    renderCmd->footer(
        "Output: a PNG pattern (out/f%04d.png), a folder, or a .gif, .apng, .webm or .mp4 file (made with ffmpeg). "
        "An output that is there already (the file, or frames of the pattern in its folder) stops the run with exit "
        "status 1 unless -y is given. '-o -' writes the frames to standard output as a stream of PNG pictures, one "
        "whole PNG file after the other, for a program that reads them, e.g. qvt render -o - | ffmpeg -f image2pipe "
        "-framerate 25 -i - out.mp4; nothing else goes to standard output then. On a terminal a progress bar shows "
        "on standard error; when done, qvt prints the file written, or the pattern and its frame count (every file "
        "with --verbose, nothing with --quiet). -y, --quiet and --verbose are general options (qvt --help), before "
        "or after the command.\n\n"
        "Time: a run of D ms at F frames a second is N = round(D x F / 1000) frames (at least 2), which last D at F "
        "frames a second: frame 0 is the departing page, frame N-1 the arriving page, frame j the transition at "
        "j x D / (N - 1) ms. --ms 0 is untimed: one frame for every frame of the effect. A new effect lasts 1000 ms; "
        "a record keeps its own duration. --lead and --hold add round(MS x F / 1000) frames of the departing page "
        "before and of the arriving page after. --at writes the one PNG picture -o names.");
    addPageOptions(renderCmd, render.pages);
    addEffectOptions(renderCmd, render.effect);
    addSeedOption(renderCmd, render.seed);
    renderCmd->add_option("--fps", render.timing.fps, "Output frames per second")
        ->capture_default_str()
        ->check(checkFinite)
        ->check(CLI::Range(0.001, kMaxFps));
    renderCmd->add_option("-o,--output", render.output,
                          "Where the frames go: a PNG pattern (out/f%04d.png) or folder, a .gif, .apng, .webm or "
                          ".mp4 file, - for a PNG stream on standard output, or null to render and discard them "
                          "(for timing)")
        ->required();
    std::string duration;
    addDurationOption(renderCmd, duration);
    CLI::Option *lead = renderCmd->add_option("--lead", render.timing.leadMilliseconds,
                                              "Milliseconds of the departing page before the run")
                            ->check(CLI::Range(0, 60000));
    CLI::Option *hold = renderCmd->add_option("--hold", render.timing.holdMilliseconds,
                                              "Milliseconds of the arriving page after the run")
                            ->check(CLI::Range(0, 60000));
    renderCmd->add_option("--at", render.at, "One still PNG at this moment: a share of the run (50%) or a time "
                                              "(0.3s, 300ms)")
        ->check([](const std::string &s) { return checkMoment(s); })
        ->excludes(lead)
        ->excludes(hold);

    PlayCommand play;
    CLI::App *playCmd = app.add_subcommand("play", "Play a transition in a window through the plug-in module");
    addPageOptions(playCmd, play.pages);
    addEffectOptions(playCmd, play.effect);
    playCmd->footer(playCmd->get_footer() +
                    "\n\nThe window needs a display (DISPLAY or WAYLAND_DISPLAY); without one play stops at once with "
                    "exit status 1. SDL_VIDEODRIVER=dummy plays the run through the plug-in without showing it.");
    playCmd->add_option("--hold", play.hold,
                        "Milliseconds to keep the window after the run (default: until a key when standard input "
                        "is a terminal, otherwise " +
                            std::to_string(kScriptHoldMilliseconds) + ")")
        ->check(CLI::Range(0, 3600000));
    playCmd->add_option("--lead", play.lead, "Milliseconds the departing page is shown before the run")
        ->capture_default_str()
        ->check(CLI::Range(0, 60000));
    addDurationOption(playCmd, duration);

    bool listJson = false;
    CLI::App *listCmd = app.add_subcommand("list", "List the effects, what each does, their codes and properties");
    listCmd->add_flag("--json", listJson, "As JSON, for scripts");

    std::string recordClass;
    CLI::App *recordCmd = app.add_subcommand("record", "Print the parameter record of an effect");
    recordCmd->footer(propertyFooter("a new effect of the class"));
    addEffectName(recordCmd, recordClass, "Effect")->required();

    std::string describeRecord;
    CLI::App *describeCmd =
        app.add_subcommand("describe", "Print the effect a parameter record stands for, with its property values");
    describeCmd->add_option("record", describeRecord, "The record, e.g. QVTS203E80300")->required();

    CLI::App *aboutCmd = app.add_subcommand("about", "Ask the plug-in for its About box");

    std::string editRecord;
    CLI::App *editCmd = app.add_subcommand("edit", "Edit a record with the plug-in's editor; prints the new record");
    editCmd->add_option("record", editRecord, "The record to start from (default: none)");

    DemoCommand demo;
    CLI::App *demoCmd =
        app.add_subcommand("demo", "Render every effect between two pages: a GIF each and a contact sheet");
    addPageOptions(demoCmd, demo.pages);
    demoCmd->add_option("-o,--output", demo.output,
                        "Folder to write into; the demo's own files in it (the GIFs, contact-sheet.png) are replaced")
        ->capture_default_str();
    demoCmd->add_option("--fps", demo.fps, "Frames per second of the GIFs")
        ->capture_default_str()
        ->check(checkFinite)
        ->check(CLI::Range(0.001, kMaxFps));
    demoCmd->add_option("--ms", demo.milliseconds, "Duration of each effect in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(0, kMaxEffectMilliseconds));
    demoCmd->add_option("--thumb", demo.thumb, "Box the contact sheet's frames fit in, keeping the page's shape")
        ->capture_default_str()
        ->check([](const std::string &s) { return checkSize(s); });
    addSeedOption(demoCmd, demo.seed);
    demoCmd->add_flag("--sheet-only", demo.sheetOnly, "Write the contact sheet only (no GIFs, no ffmpeg needed)");

    // The command: the first word after the general options (which take no
    // values). An unknown one gets a clearer word than "a subcommand is
    // required".
    int at = 1;
    while (at < argc && argv[at][0] == '-') ++at;
    const char *word = at < argc ? argv[at] : nullptr;
    const auto all = [](const CLI::App *) { return true; };
    std::string names;
    bool known = false;
    for (const CLI::App *sub : std::as_const(app).get_subcommands(all)) {
        names += (names.empty() ? "" : ", ") + sub->get_name();
        known = known || (word && sub->get_name() == word);
    }
    if (word && !known) {
        std::fprintf(stderr, "qvt: unknown command '%s' (commands: %s; see qvt --help)\n", word, names.c_str());
        return 2;
    }
    // The commands that take an effect take its property options, which
    // CLI11 cannot know in advance: they are taken out here, and CLI11 parses
    // the rest.
    std::vector<std::string> args(argv, argv + argc);
    std::vector<PropertySetting> properties;
    for (CLI::App *sub : {renderCmd, playCmd, recordCmd}) {
        if (!word || sub->get_name() != word) continue;
        try {
            SplitArguments split = SplitPropertyOptions(
                std::vector<std::string>(args.begin() + at + 1, args.end()), [sub, &app](const std::string &name) {
                    const CLI::Option *option = std::as_const(*sub).get_option_no_throw(name);
                    if (!option) option = std::as_const(app).get_option_no_throw(name);
                    return option ? std::optional<bool>(option->get_items_expected_min() > 0) : std::nullopt;
                });
            args.resize(static_cast<size_t>(at) + 1);
            args.insert(args.end(), split.rest.begin(), split.rest.end());
            properties = std::move(split.properties);
        } catch (const ToolError &e) {
            std::fprintf(stderr, "qvt: %s (see qvt %s --help)\n", e.what(), word);
            return 2;
        }
    }
    std::vector<char *> parsed;
    for (std::string &arg : args) parsed.push_back(arg.data());
    try {
        app.parse(static_cast<int>(parsed.size()), parsed.data());
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0) return app.exit(e);
        std::string command = "qvt";
        for (const CLI::App *sub : app.get_subcommands()) command += " " + sub->get_name();
        std::fprintf(stderr, "qvt: %s (see %s --help)\n", oneLine(e.what()).c_str(), command.c_str());
        return 2;
    }

    try {
        if (*renderCmd || *playCmd)
            CheckDurationSettings(properties, duration.empty() ? std::nullopt : std::optional(duration));
    } catch (const UsageError &e) {
        std::fprintf(stderr, "qvt: %s (see qvt %s --help)\n", e.what(), word);
        return 2;
    }
    SetVerbosity(quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal);
    render.overwrite = overwrite;
    render.effect.choice.properties = properties;
    play.effect.choice.properties = properties;
    // render and demo write files: a stop signal lets them take away what
    // they made before the program ends by it.
    if (*renderCmd || *demoCmd) CatchStopSignals();
    try {
        if (*renderCmd) return runRender(render);
        if (*playCmd) return runPlay(play);
        if (*listCmd) return runList(listJson);
        if (*recordCmd) return runRecord(recordClass, properties);
        if (*describeCmd) return runDescribe(describeRecord);
        if (*aboutCmd) return runAbout();
        if (*editCmd) return runEdit(editRecord);
        if (*demoCmd) return runDemo(demo);
    } catch (const Interrupted &e) {
        std::fflush(stdout);
        DieBySignal(e.Signal());
    } catch (const UsageError &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "qvt: %s (see qvt %s --help)\n", e.what(), word);
        return 2;
    } catch (const std::exception &e) {
        std::fflush(stdout);
        std::fprintf(stderr, "qvt: %s\n", oneLine(e.what()).c_str());
        return 1;
    }
    return 2;
}
