// Which effect a command plays: a parameter record, or an effect class named
// on the command line with property values given as options. Turns the
// choice into a configured effect object (offline rendering) or into a
// parameter record (playing through the plug-in).
#ifndef QVT_HOST_EFFECT_CHOICE_H
#define QVT_HOST_EFFECT_CHOICE_H

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransEff.h"

namespace qvt::host {

// Duration of an effect named by class when no --ms is given.
inline constexpr int kDefaultEffectMilliseconds = 1000;
// Largest duration the tool accepts (ten minutes).
inline constexpr int kMaxEffectMilliseconds = 600000;

struct EffectChoice {
    std::optional<std::string> record; // --record
    std::string effectClass;           // display name, class name, short name or class code
    std::optional<int> milliseconds;   // --ms
};

// Registers the effect classes and starts the pixel services for the display
// chosen with QvtSetDisplayDepth. Call again after choosing another display.
void StartEngine();

// A registered effect class: its class information, display name and, when
// records can name it, its two-digit class code.
struct EffectClass {
    const rtl::TClassInfo *info = nullptr;
    std::string displayName;
    std::string code; // empty when the class has no record code
    std::string shortName;
};
// Every registered effect class, in registration order.
std::vector<EffectClass> EffectClasses();
// The class a name stands for: display name, class name, short name (all
// without regard to case) or class code. Raises ToolError naming the known
// effects when there is none.
EffectClass FindEffectClass(std::string_view name);

// The configured effect. Raises ToolError with the decoder's message for a
// bad record.
std::unique_ptr<TTransitionEffect> BuildEffect(const EffectChoice &choice);

// The parameter record the plug-in is handed; empty for the plug-in's default
// effect. Checked by decoding it; raises ToolError when it is bad or cannot
// carry the choice.
std::string BuildRecord(const EffectChoice &choice);

// The record of an effect class with a duration and all other properties at
// their defaults.
std::string ClassRecord(const EffectClass &effectClass, int milliseconds);

} // namespace qvt::host

#endif
