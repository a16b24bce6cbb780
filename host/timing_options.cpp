// Durations and moments on the command line.
#include "timing_options.h"

#include <strings.h>

#include <cctype>
#include <charconv>
#include <cmath>

#include "persist/qvtPers.h"

namespace qvt::host {

namespace {

// A plain decimal number (digits, a point, a sign; no exponent, hex or
// "inf") and what follows it; nullopt when the text does not start with one.
std::optional<double> leadingNumber(const std::string &text, std::string &unit) {
    size_t end = 0;
    if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
    const size_t digitsFrom = end;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) ++end;
    if (end == digitsFrom) return std::nullopt;
    double value = 0;
    const char *first = text.data() + (text[0] == '+' ? 1 : 0);
    const auto [ptr, ec] = std::from_chars(first, text.data() + end, value);
    if (ec != std::errc() || ptr != text.data() + end || !std::isfinite(value)) return std::nullopt;
    unit = text.substr(end);
    return value;
}

// Milliseconds of "1.5s", "1500ms" or "1.5"; nullopt for another form.
std::optional<double> timeInMilliseconds(const std::string &text) {
    std::string unit;
    const std::optional<double> number = leadingNumber(text, unit);
    if (!number) return std::nullopt;
    if (unit.empty() || unit == "s") return *number * 1000;
    if (unit == "ms") return *number;
    return std::nullopt;
}

const std::string kLimit = std::to_string(kMaxEffectMilliseconds) + " ms (ten minutes)";

} // namespace

int ParseDuration(const std::string &text) {
    const std::optional<double> ms = timeInMilliseconds(text);
    if (!ms) throw UsageError("'" + text + "' is not a duration: give seconds (1.5s or 1.5) or milliseconds (1500ms)");
    if (*ms < 0) throw UsageError("'" + text + "' is negative: a duration is 0 (untimed) or more");
    if (*ms > kMaxEffectMilliseconds) throw UsageError("'" + text + "' is longer than a run may last, " + kLimit);
    return static_cast<int>(std::lround(*ms));
}

void CheckDurationSettings(std::vector<PropertySetting> &properties, const std::optional<std::string> &duration) {
    bool given = false;
    for (const PropertySetting &setting : properties) {
        if (strcasecmp(setting.name.c_str(), "Milliseconds") != 0 || !setting.value) continue;
        given = true;
        const std::string option = setting.option.empty() ? "--" + setting.name : setting.option;
        const std::string &text = *setting.value;
        long long ms = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
        if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
            throw UsageError(option + ": '" + text +
                             "' is not a whole number of milliseconds (--duration takes seconds, such as 1.5s)");
        if (ms < 0) throw UsageError(option + ": '" + text + "' is negative: a duration is 0 (untimed) or more");
        if (ms > kMaxEffectMilliseconds)
            throw UsageError(option + ": '" + text + "' is longer than a run may last, " + kLimit);
    }
    if (!duration) return;
    if (given) throw UsageError("--duration and --ms both give the duration: give one");
    try {
        properties.emplace_back("Milliseconds", std::to_string(ParseDuration(*duration)), "--duration");
    } catch (const UsageError &e) {
        throw UsageError(std::string("--duration: ") + e.what());
    }
}

void GiveDefaultDuration(EffectChoice &choice) {
    if (choice.effectClass.empty()) return;
    for (const PropertySetting &setting : choice.properties)
        if (strcasecmp(setting.name.c_str(), "Milliseconds") == 0) return;
    choice.properties.insert(choice.properties.begin(),
                             PropertySetting("Milliseconds", std::to_string(kDefaultMilliseconds)));
}

Moment ParseMoment(const std::string &text) {
    std::string unit;
    const std::optional<double> number = leadingNumber(text, unit);
    if (number && unit == "%") {
        if (*number < 0 || *number > 100) throw UsageError("'" + text + "' is not from 0% to 100%");
        return {true, *number};
    }
    const std::optional<double> ms = timeInMilliseconds(text);
    if (!ms) throw UsageError("'" + text + "' is not a moment: give a share of the run (50%) or a time (0.3s, 300ms)");
    if (*ms < 0) throw UsageError("'" + text + "' is before the run's start");
    return {false, *ms};
}

double MomentFraction(const Moment &moment, int milliseconds) {
    if (moment.percent) return moment.value / 100;
    if (milliseconds <= 0)
        throw UsageError("--at: the effect is untimed (Milliseconds " + std::to_string(milliseconds) +
                         "): give the moment as a share of the run, such as 50%");
    if (moment.value > milliseconds)
        throw UsageError("--at: " + std::to_string(std::lround(moment.value)) + " ms is past the end of the " +
                         std::to_string(milliseconds) + " ms run");
    return moment.value / milliseconds;
}

} // namespace qvt::host
