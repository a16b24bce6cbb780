// The render and play commands' timing on the command line: durations in
// seconds or milliseconds, the default duration of a new effect, and the
// moment of a still.
#ifndef QVT_HOST_TIMING_OPTIONS_H
#define QVT_HOST_TIMING_OPTIONS_H

#include <optional>
#include <string>
#include <vector>

#include "effect_choice.h"
#include "tool_error.h"

namespace qvt::host {

// A value the command line should not have given: the program exits with
// status 2, as for any other wrong command line.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

// A duration: "1.5s", "1500ms", or a number of seconds ("1.5"), from 0 to
// kMaxEffectMilliseconds; in whole milliseconds (rounded). Raises
// UsageError saying what is wrong, without the option's name.
int ParseDuration(const std::string &text);

// Checks the durations the command line gives: every --ms (--Milliseconds)
// value a whole number from 0 to kMaxEffectMilliseconds, and `duration`
// (--duration) turned into one more Milliseconds setting. Raises
// UsageError starting with the option.
void CheckDurationSettings(std::vector<PropertySetting> &properties, const std::optional<std::string> &duration);

// A new effect (a class named, or the bitmap mask for a mask alone) lasts
// the plug-in's 1000 ms for a new effect unless a setting gives its
// duration; a record keeps its own.
void GiveDefaultDuration(EffectChoice &choice);

// A moment of a run: "50%", or a time as "0.3s", "300ms" or seconds
// ("0.3"). Raises UsageError without the option's name.
struct Moment {
    bool percent = true;
    double value = 0; // percent (0 .. 100) or milliseconds
};
Moment ParseMoment(const std::string &text);

// How far through a run of `milliseconds` the moment is, 0 .. 1. Raises
// UsageError for a time past the end or a time in an untimed run.
double MomentFraction(const Moment &moment, int milliseconds);

} // namespace qvt::host

#endif
