// The editor's dialog.
#include "editor/qvtEdDialog.h"

#include <climits>

#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "qvt/qvteditor.h"

#ifndef QVT_VERSION
#define QVT_VERSION "0"
#endif

namespace qvt::editor {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The first word of s, and the trimmed rest.
std::string_view SplitWord(std::string_view s, std::string_view &rest) {
    s = Trim(s);
    size_t end = 0;
    while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
    rest = Trim(s.substr(end));
    return s.substr(0, end);
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// How a value reads in the dialog: texts in quotes, so that an empty one shows.
std::string Shown(const TPropertyDescription &p, const std::string &value) {
    return p.Kind == TPropertyKind::String ? Quoted(value) : value;
}

constexpr std::string_view kHelp =
    "Commands:\n"
    "  show                    the effect and its properties\n"
    "  classes                 the effects to choose from\n"
    "  class <name or code>    change to another effect; the properties it shares keep their values\n"
    "  set <property> <value>  change a property (\"\" for an empty text)\n"
    "  record                  the record that ok would store\n"
    "  ok                      store the effect and close\n"
    "  cancel                  close and keep the record as it was (so does the end of the input)\n"
    "  help                    this list\n";

} // namespace

TEditorDialog::TEditorDialog(TDialogIO &io) : io_(io) {
    for (TTransitionDescription &d : TransitionCatalogue())
        if (!d.Code.empty()) catalogue_.push_back(std::move(d));
}

TEditorDialog::TEditorDialog(TDialogIO &io, std::vector<TTransitionDescription> catalogue)
    : io_(io), catalogue_(std::move(catalogue)) {}

TEditorDialog::~TEditorDialog() = default;

std::optional<std::string> TEditorDialog::Run(std::string_view record) {
    Start(record);
    std::optional<std::string> result;
    std::string line;
    for (;;) {
        Say("> ");
        switch (io_.ReadLine(line)) {
        case TDialogIO::TLine::End: Say("\nEnd of input: nothing was changed.\n"); return std::nullopt;
        case TDialogIO::TLine::TooLong: Say("That line is too long; it was ignored.\n"); continue;
        case TDialogIO::TLine::Line: break;
        }
        if (Command(line, result)) return result;
    }
}

void TEditorDialog::Start(std::string_view record) {
    Say("Quorvane Transitions effect editor\n");
    try {
        if (record.size() > static_cast<size_t>(INT_MAX)) throw ETransitionEffectError("the record is too long");
        ParamsToTransition(effect_, record.data(), static_cast<int>(record.size()));
    } catch (const rtl::Exception &e) {
        Say("The record cannot be read (" + e.Message() + "); starting from the default effect.\n");
        ParamsToTransition(effect_, nullptr, 0);
    }
    description_ = DescribeTransition(effect_->ClassInfo());
    Show();
    Say("Type help for the commands.\n");
}

bool TEditorDialog::Command(std::string_view line, std::optional<std::string> &result) {
    std::string_view rest;
    const std::string_view word = SplitWord(line, rest);
    auto is = [&](std::string_view name) { return rtl::SameText(word, name); };
    if (word.empty()) return false;
    if (is("help") || is("?")) {
        Help();
    } else if (is("show")) {
        Show();
    } else if (is("classes")) {
        ListClasses();
    } else if (is("class")) {
        ChooseClass(rest);
    } else if (is("set")) {
        Set(rest);
    } else if (is("record")) {
        try {
            Say("Record: " + TransitionToParams(*effect_) + "\n");
        } catch (const rtl::Exception &e) {
            Say("No record yet: " + e.Message() + "\n");
        }
    } else if (is("ok")) {
        return Accept(result);
    } else if (is("cancel")) {
        Say("Cancelled: nothing was changed.\n");
        result.reset();
        return true;
    } else {
        Say("Unknown command " + Quoted(word) + "; type help for the commands.\n");
    }
    return false;
}

void TEditorDialog::Help() { Say(kHelp); }

void TEditorDialog::Show() {
    const TTransitionDescription &d = description_;
    Say("Effect: " + d.DisplayName + " (" + d.ClassName + ", code " + d.Code + ")\n");
    for (const TPropertyDescription &p : d.Properties) {
        Say("  " + p.Name + " = " + Shown(p, PropertyValueText(*effect_, p)) + "    " +
            std::string(PropertyKindName(p.Kind)) + ": " + p.Allowed + "; default " + Shown(p, p.Default) + "\n");
    }
}

void TEditorDialog::ListClasses() {
    Say("Effects:\n");
    for (const TTransitionDescription &d : catalogue_)
        Say("  " + d.Code + "  " + d.DisplayName + " (" + d.ClassName + ", " + d.ShortName + ")\n");
}

void TEditorDialog::ChooseClass(std::string_view name) {
    const TTransitionDescription *d = FindTransition(catalogue_, name);
    if (!d) {
        std::string names;
        for (const TTransitionDescription &c : catalogue_)
            names += (names.empty() ? "" : ", ") + c.DisplayName + " (" + c.Code + ")";
        Say((name.empty() ? std::string("Which effect?") : "No effect " + Quoted(name) + ".") +
            " The effects are: " + names + "\n");
        return;
    }
    try {
        std::unique_ptr<TTransitionEffect> next = CreateTransition(*d->Class);
        // What the two effects share keeps its value where the new one takes it.
        for (const TPropertyDescription &p : d->Properties) {
            const TPropertyDescription *old = description_.FindProperty(p.Name);
            if (!old || old->Kind != p.Kind || p.Kind == TPropertyKind::Binary) continue;
            try {
                ApplyPropertyText(*next, p.Name, PropertyValueText(*effect_, *old));
            } catch (const rtl::Exception &) {
            }
        }
        effect_ = std::move(next);
        description_ = *d;
        Show();
    } catch (const rtl::Exception &e) {
        Say("Cannot change to " + d->DisplayName + ": " + e.Message() + "\n");
    }
}

void TEditorDialog::Set(std::string_view args) {
    std::string_view value;
    const std::string_view name = SplitWord(args, value);
    if (name.empty() || value.empty()) {
        Say("Usage: set <property> <value>  (\"\" for an empty text)\n");
        return;
    }
    // A value in quotes is taken as it stands between them.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    try {
        ApplyPropertyText(*effect_, name, value);
        const TPropertyDescription *p = description_.FindProperty(name);
        if (p) Say(p->Name + " = " + Shown(*p, PropertyValueText(*effect_, *p)) + "\n");
    } catch (const rtl::Exception &e) {
        Say(e.Message() + "\n");
    }
}

bool TEditorDialog::Accept(std::optional<std::string> &result) {
    try {
        result = TransitionToParams(*effect_);
    } catch (const rtl::Exception &e) {
        Say("Cannot store the effect: " + e.Message() + "\n");
        return false;
    }
    Say("Stored: " + *result + "\n");
    return true;
}

void ShowAboutText(TDialogIO &io) {
    io.Write(std::string(QVT_PLUGIN_TITLE "\n" QVT_PLUGIN_PUBLISHER "\n" QVT_PLUGIN_HINT) +
             "\nVersion " QVT_VERSION "\n");
}

} // namespace qvt::editor
