// The records qvt play hands to the plug-in: built from an effect name and a
// duration, or from a record whose duration --ms replaces.
#include <gtest/gtest.h>

#include "effect_choice.h"
#include "persist/qvtPers.h"
#include "tool_error.h"

namespace qvt::host {
namespace {

// "Milliseconds" as a 32-bit integer property, in hexadecimal.
std::string ms32(const char *littleEndianHex) { return std::string("0C4D696C6C697365636F6E647304") + littleEndianHex; }

struct RecordCase {
    const char *name;
    EffectChoice choice;
    std::string record; // what the plug-in gets
    int milliseconds;   // what it decodes to
};

TEST(PlayRecord, CarriesTheEffectAndItsDuration) {
    StartEngine();
    const std::string v1List = "0C4D696C6C697365636F6E647303E80300"; // Milliseconds = 1000 (16 bits), end
    const RecordCase cases[] = {
        {"name alone", {{}, "Alpha blend", {}}, "QVTS203E80300", 1000},
        {"code and duration", {{}, "03", 500}, "QVTS203F40100", 500},
        {"short name", {{}, "crossfade", 0}, "QVTS203000000", 0},
        {"duration past 16 bits", {{}, "TBlendTransition", 40000}, "QVTS103" + ms32("409C0000") + "00", 40000},
        {"nothing: the plug-in's default", {}, "", 1000},
        {"duration alone", {{}, "", 250}, "QVTS203FA0000", 250},
        {"empty record and duration", {std::string(), "", 300}, "QVTS2032C0100", 300},
        {"version 2 record", {"QVTS203E80300", "", 300}, "QVTS2032C0100", 300},
        {"version 2 record, long", {"QVTS203E80300", "", 70000}, "QVTS103" + ms32("70110100") + "00", 70000},
        {"version 1 record, empty list", {"QVTS10300", "", 300}, "QVTS103" + ms32("2C010000") + "00", 300},
        {"version 1 record naming a duration",
         {"QVTS103" + v1List, "", 300},
         "QVTS103" + v1List.substr(0, v1List.size() - 2) + ms32("2C010000") + "00",
         300},
        {"record kept as it is", {"QVTS103" + v1List, "", {}}, "QVTS103" + v1List, 1000},
    };
    for (const RecordCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string record = BuildRecord(c.choice);
        EXPECT_EQ(record, c.record);
        std::unique_ptr<TTransitionEffect> effect;
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
        ASSERT_TRUE(effect);
        EXPECT_STREQ(std::string(effect->ClassName()).c_str(), "TBlendTransition");
        EXPECT_EQ(effect->GetMilliseconds(), c.milliseconds);
    }
}

TEST(PlayRecord, RefusesWhatItCannotCarry) {
    StartEngine();
    const EffectChoice cases[] = {
        {"QVTS19900", "", {}}, // unknown class code
        {"QVTS2030", "", 100}, // cut short
        {"XXXXXXX", "", {}},   // wrong signature
        {{}, "Sparkle", {}},   // unknown effect
    };
    for (const EffectChoice &c : cases) {
        SCOPED_TRACE(c.record.value_or(c.effectClass));
        EXPECT_THROW(BuildRecord(c), ToolError);
    }
}

} // namespace
} // namespace qvt::host
