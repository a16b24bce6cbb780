// Which effect a command plays: a parameter record, or an effect class named
// on the command line, with property values given as options on top of
// either. Turns the choice into a configured effect object (offline
// rendering, qvt record) or into a parameter record (playing through the
// plug-in).
#ifndef QVT_HOST_EFFECT_CHOICE_H
#define QVT_HOST_EFFECT_CHOICE_H

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/TransEff.h"
#include "persist/qvtCatalog.h"

namespace qvt::host {

// Largest duration render and play accept (ten minutes).
inline constexpr int kMaxEffectMilliseconds = 600000;

// One property option: "--Name value" or "--Name=value".
struct PropertySetting {
    PropertySetting(std::string name, std::optional<std::string> value, std::string option = {})
        : name(std::move(name)), value(std::move(value)), option(std::move(option)) {}

    std::string name;                 // matched without regard to case
    std::optional<std::string> value; // none when the command line gave none
    std::string option;               // as typed ("--ms"), for messages; empty: "--" + name
};

struct EffectChoice {
    std::optional<std::string> record;       // --record
    std::string effectClass;                 // display name, class name, short name or class code
    std::vector<PropertySetting> properties; // in command-line order
    // A luma map for the bitmap mask: the name of a mask the tool holds or
    // of a PNG, PGM or BMP file (luma_mask.h). Given to the effect before
    // the properties: the file-based effect names it, the other one keeps
    // the picture.
    std::string mask = {};
};

// Registers the effect classes and starts the pixel services for the display
// chosen with QvtSetDisplayDepth. Call again after choosing another display.
void StartEngine();

// The entry of a name: display name, class name, short name (all without
// regard to case) or class code. Raises ToolError naming the known effects
// when there is none.
const TTransitionDescription &FindEffectClass(std::span<const TTransitionDescription> catalogue,
                                              std::string_view name);

// The configured effect: a new effect of the named class, the record's
// effect, or the default effect when neither is given; then each property
// value in turn, checked as the editor checks it. Raises ToolError with the
// decoder's or the catalogue's message, or for a property option without a
// value (once the effect is known to have the property). A mask file that
// is there but cannot be read gives its own reason; one that is not there,
// the effect's message.
std::unique_ptr<TTransitionEffect> BuildEffect(const EffectChoice &choice);

// The parameter record the plug-in is handed: empty for the plug-in's
// default effect, a record given without property options as it is, and
// otherwise the record of the configured effect. Checked by decoding it;
// raises ToolError when it is bad or the effect cannot be written.
std::string BuildRecord(const EffectChoice &choice);

// The record of an effect, as TransitionToParams writes it; raises ToolError
// when it has none.
std::string EffectRecord(const TTransitionEffect &effect);

// Refuses a run render and play would not finish in reasonable time.
void CheckPlayable(const TTransitionEffect &effect);

// Splits the property options out of the arguments that follow a command's
// name: an argument "--NAME" (or "--NAME=VALUE") that is not one of the
// command's own options is a property and takes the next argument as its
// value, unless that begins with "--" or is one of the command's own
// options (the property then has none); "--ms" stands for "--Milliseconds".
// isOption tells the command's own options: nullopt for none, otherwise
// whether it takes a value. What is not a property is returned in order for
// the command-line parser; after "--" everything is. Raises ToolError for
// "--=VALUE".
struct SplitArguments {
    std::vector<std::string> rest;
    std::vector<PropertySetting> properties;
};
SplitArguments SplitPropertyOptions(const std::vector<std::string> &args,
                                    const std::function<std::optional<bool>(const std::string &)> &isOption);

} // namespace qvt::host

#endif
