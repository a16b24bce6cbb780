// Effect lookup, property options and records.
#include "effect_choice.h"

#include <strings.h>

#include "effects/teBmpMk2.h"
#include "effects/teRegister.h"
#include "luma_mask.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "pixels/PixFormats.h"
#include "qvt/rtl/exceptions.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

// An effect's message, or the reason a mask file it asked for could not be
// read (which the effect only knows as not found).
std::string maskMessage(const rtl::Exception &e) {
    const std::string reason = mask_files::LastMaskError();
    return reason.empty() ? e.Message() : reason;
}

std::unique_ptr<TTransitionEffect> decode(const std::string &record) {
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    } catch (const rtl::Exception &e) {
        throw ToolError("bad record '" + record + "': " + maskMessage(e));
    }
    return effect;
}

std::unique_ptr<TTransitionEffect> newEffect(const TTransitionDescription &entry) {
    try {
        return CreateTransition(*entry.Class);
    } catch (const rtl::Exception &e) {
        throw ToolError(e.Message());
    }
}

std::string knownEffects(std::span<const TTransitionDescription> catalogue) {
    std::string list;
    for (const TTransitionDescription &d : catalogue) {
        if (!list.empty()) list += ", ";
        list += "\"" + d.DisplayName + "\" (" + d.ClassName;
        if (!d.Code.empty()) list += ", " + d.Code;
        list += ")";
    }
    return list;
}

// Hands the luma map to a bitmap mask effect.
void applyMask(TTransitionEffect &effect, const std::string &mask) {
    if (auto *fromFile = dynamic_cast<TBmpMaskTransition2 *>(&effect)) {
        fromFile->SetMaskFileName(mask);
        return;
    }
    auto *kept = dynamic_cast<TBmpMaskTransition *>(&effect);
    if (!kept) throw ToolError("a mask is for the Bitmap mask effect, not " + effect.GetDescription());
    const std::shared_ptr<const std::vector<uint8_t>> bytes = mask_files::Find(mask);
    if (!bytes) throw rtl::Exception(rtl::Format("File '%s' not found.", {mask}));
    rtl::TBitmap picture;
    rtl::TReadOnlyMemoryStream stream(bytes->data(), bytes->size());
    picture.LoadFromStream(stream);
    kept->SetMask(&picture);
}

} // namespace

void StartEngine() {
    // Mask files named by an effect are found among the tool's masks.
    mask_files::Install();
    // The start-up reads the display only once; a later display is re-read here.
    GetDevicePixelFormat(true);
    StartTransitionEngine();
}

const TTransitionDescription &FindEffectClass(std::span<const TTransitionDescription> catalogue,
                                              std::string_view name) {
    if (const TTransitionDescription *d = FindTransition(catalogue, name)) return *d;
    throw ToolError("unknown effect '" + std::string(name) + "' (known: " + knownEffects(catalogue) + ")");
}

std::unique_ptr<TTransitionEffect> BuildEffect(const EffectChoice &choice) {
    std::unique_ptr<TTransitionEffect> effect;
    if (!choice.effectClass.empty()) {
        const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
        effect = newEffect(FindEffectClass(catalogue, choice.effectClass));
    } else {
        effect = decode(choice.record.value_or(std::string()));
    }
    try {
        if (!choice.mask.empty()) applyMask(*effect, choice.mask);
    } catch (const rtl::Exception &e) {
        throw ToolError(maskMessage(e));
    }
    for (const PropertySetting &setting : choice.properties) {
        try {
            if (!setting.value) {
                // A property the effect lacks gets the catalogue's own
                // refusal, which lists the ones it has.
                if (!DescribeTransition(effect->ClassInfo()).FindProperty(setting.name))
                    ApplyPropertyText(*effect, setting.name, "");
                throw ToolError((setting.option.empty() ? "--" + setting.name : setting.option) + " needs a value");
            }
            ApplyPropertyText(*effect, setting.name, *setting.value);
        } catch (const rtl::Exception &e) {
            throw ToolError(maskMessage(e));
        }
    }
    return effect;
}

std::string EffectRecord(const TTransitionEffect &effect) {
    try {
        return TransitionToParams(effect);
    } catch (const rtl::Exception &e) {
        throw ToolError(e.Message());
    }
}

std::string BuildRecord(const EffectChoice &choice) {
    if (choice.effectClass.empty() && choice.properties.empty() && choice.mask.empty()) {
        // Nothing to change: the plug-in gets the record as it was given
        // (none: its own default), once it is known to be readable.
        if (!choice.record) return std::string();
        decode(*choice.record);
        return *choice.record;
    }
    const std::string record = EffectRecord(*BuildEffect(choice));
    decode(record); // what the plug-in will read must be readable
    return record;
}

void CheckPlayable(const TTransitionEffect &effect) {
    if (effect.GetMilliseconds() > kMaxEffectMilliseconds)
        throw ToolError("a run of " + std::to_string(effect.GetMilliseconds()) + " ms is too long: at most " +
                        std::to_string(kMaxEffectMilliseconds) + " ms");
}

SplitArguments SplitPropertyOptions(const std::vector<std::string> &args,
                                    const std::function<std::optional<bool>(const std::string &)> &isOption) {
    SplitArguments split;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            split.rest.insert(split.rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            split.rest.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        const bool isLong = arg.size() > 2 && arg[1] == '-';
        const std::optional<bool> own = isOption(option);
        if (own || !isLong) {
            // The command's own option (its value follows unless joined to
            // it), or a short option or negative number for the parser.
            split.rest.push_back(arg);
            if (own && *own && equals == std::string::npos && (isLong || arg.size() == 2) && i + 1 < args.size())
                split.rest.push_back(args[++i]);
            continue;
        }
        PropertySetting setting(option.substr(2), std::nullopt, option);
        if (setting.name.empty()) throw ToolError("'" + arg + "' names no property");
        if (strcasecmp(setting.name.c_str(), "ms") == 0) setting.name = "Milliseconds";
        if (equals != std::string::npos)
            setting.value = arg.substr(equals + 1);
        else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0 && !isOption(args[i + 1]))
            setting.value = args[++i];
        split.properties.push_back(std::move(setting));
    }
    return split;
}

} // namespace qvt::host
