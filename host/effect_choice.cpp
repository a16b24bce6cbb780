// Effect lookup and records.
#include "effect_choice.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

#include "effects/teRegister.h"
#include "persist/qvtPers.h"
#include "pixels/PixFormats.h"
#include "qvt/rtl/exceptions.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string hexBytes(const void *bytes, size_t count) {
    std::string out;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<const uint8_t *>(bytes)[i]);
        out += pair;
    }
    return out;
}

std::string hexInt16(int value) {
    const uint16_t v = static_cast<uint16_t>(static_cast<int16_t>(value));
    const uint8_t le[2] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
    return hexBytes(le, 2);
}

// "Milliseconds" as a 32-bit integer property, in hexadecimal.
std::string millisecondsProperty32(int value) {
    const uint32_t v = static_cast<uint32_t>(value);
    const uint8_t le[5] = {4, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                           static_cast<uint8_t>(v >> 24)};
    // The name and its length byte: the 13 bytes before the type byte of
    // the fixed prefix of version "2" records.
    return hexBytes(kMillisecondsPrefix, 13) + hexBytes(le, 5);
}

bool fitsInt16(int value) { return value >= -32768 && value <= 32767; }

std::unique_ptr<TTransitionEffect> decode(const std::string &record) {
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    } catch (const rtl::Exception &e) {
        throw ToolError("bad record '" + record + "': " + e.Message());
    }
    if (!effect) throw ToolError("bad record '" + record + "': it names no effect");
    return effect;
}

std::string knownEffects() {
    std::string list;
    for (const EffectClass &c : EffectClasses()) {
        if (!list.empty()) list += ", ";
        list += "\"" + c.displayName + "\" (" + std::string(c.info->ClassName());
        if (!c.code.empty()) list += ", " + c.code;
        list += ")";
    }
    return list;
}

} // namespace

void StartEngine() {
    GetDevicePixelFormat(true);
    InitializePixelServices();
    RegisterAllTransitions();
}

std::vector<EffectClass> EffectClasses() {
    std::vector<EffectClass> classes;
    for (const rtl::TClassInfo *info : TransitionClasses()) {
        EffectClass c;
        c.info = info;
        std::unique_ptr<TPersistent> object = info->Create();
        auto *effect = dynamic_cast<TTransitionEffect *>(object.get());
        c.displayName = effect ? effect->GetDescription() : std::string(info->ClassName());
        if (const TTransitionCode *row = FindTransitionCodeOfClass(info->ClassName())) {
            c.code = row->Code;
            c.shortName = row->ShortName;
        }
        classes.push_back(std::move(c));
    }
    return classes;
}

EffectClass FindEffectClass(std::string_view name) {
    for (EffectClass &c : EffectClasses()) {
        if (sameText(name, c.displayName) || sameText(name, c.info->ClassName()) ||
            (!c.shortName.empty() && sameText(name, c.shortName)) || (!c.code.empty() && name == c.code))
            return c;
    }
    throw ToolError("unknown effect '" + std::string(name) + "' (known: " + knownEffects() + ")");
}

std::unique_ptr<TTransitionEffect> BuildEffect(const EffectChoice &choice) {
    std::unique_ptr<TTransitionEffect> effect;
    if (!choice.effectClass.empty()) {
        const EffectClass c = FindEffectClass(choice.effectClass);
        std::unique_ptr<TPersistent> object = c.info->Create();
        effect.reset(dynamic_cast<TTransitionEffect *>(object.get()));
        if (!effect) throw ToolError(std::string(c.info->ClassName()) + " is not a transition effect");
        object.release();
        effect->SetMilliseconds(choice.milliseconds.value_or(kDefaultEffectMilliseconds));
        return effect;
    }
    effect = decode(choice.record.value_or(std::string()));
    if (choice.milliseconds) effect->SetMilliseconds(*choice.milliseconds);
    return effect;
}

std::string ClassRecord(const EffectClass &effectClass, int milliseconds) {
    if (effectClass.code.empty())
        throw ToolError("\"" + effectClass.displayName +
                        "\" has no record class code: it cannot be played through "
                        "the plug-in");
    std::string record = std::string(kParamsSignature);
    if (fitsInt16(milliseconds))
        record += "2" + effectClass.code + hexInt16(milliseconds);
    else
        record += "1" + effectClass.code + millisecondsProperty32(milliseconds);
    return record + "00"; // end of the property list
}

std::string BuildRecord(const EffectChoice &choice) {
    std::string record;
    if (!choice.effectClass.empty()) {
        record =
            ClassRecord(FindEffectClass(choice.effectClass), choice.milliseconds.value_or(kDefaultEffectMilliseconds));
    } else if (!choice.record) {
        // The plug-in's own default, unless a duration is asked for.
        if (choice.milliseconds) record = ClassRecord(FindEffectClass(kDefaultTransitionClass), *choice.milliseconds);
    } else {
        record = *choice.record;
        decode(record); // refuses a bad record before anything is shown
        if (choice.milliseconds) {
            const int ms = *choice.milliseconds;
            if (record.size() < static_cast<size_t>(kParamsHeaderLength)) {
                record = ClassRecord(FindEffectClass(kDefaultTransitionClass), ms);
            } else {
                const std::string head = record.substr(0, 5), code = record.substr(5, 2), payload = record.substr(7);
                if (record[4] == '2' && fitsInt16(ms)) {
                    record = head + code + hexInt16(ms) + payload.substr(4);
                } else if (record[4] == '2') {
                    record =
                        std::string(kParamsSignature) + "1" + code + millisecondsProperty32(ms) + payload.substr(4);
                } else {
                    // A version "1" list may name Milliseconds anywhere: the
                    // last value read counts, so the duration goes last,
                    // before the end-of-list byte. Checked below.
                    record = head + code + payload.substr(0, payload.size() - 2) + millisecondsProperty32(ms) +
                             payload.substr(payload.size() - 2);
                }
            }
        }
    }
    if (!record.empty()) {
        std::unique_ptr<TTransitionEffect> check = decode(record);
        if (choice.milliseconds && check->GetMilliseconds() != *choice.milliseconds)
            throw ToolError("cannot give this record a duration of " + std::to_string(*choice.milliseconds) +
                            " ms: give it in the record, not with --ms");
    }
    return record;
}

} // namespace qvt::host
