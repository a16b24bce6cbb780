// The effect choice in-process: property options split from the command
// line, and the records qvt play hands to the plug-in, built from an effect
// name or a record with property values on top.
#include <gtest/gtest.h>

#include "effect_choice.h"
#include "persist/qvtPers.h"
#include "tool_error.h"

namespace qvt::host {
namespace {

// A property name or value name as a record spells it: length byte, then
// the characters, in hexadecimal.
std::string hexName(const std::string &name) {
    std::string out;
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(name.size()));
    out += pair;
    for (unsigned char ch : name) {
        std::snprintf(pair, sizeof pair, "%02X", ch);
        out += pair;
    }
    return out;
}

// "Milliseconds" as a 32-bit integer property, in hexadecimal.
std::string ms32(const char *littleEndianHex) { return hexName("Milliseconds") + "04" + littleEndianHex; }

using Props = std::vector<PropertySetting>;

struct RecordCase {
    const char *name;
    EffectChoice choice;
    std::string record; // what the plug-in gets
    int milliseconds;   // what it decodes to
};

TEST(PlayRecord, CarriesTheEffectAndItsProperties) {
    StartEngine();
    const std::string v1List = hexName("Milliseconds") + "03E80300"; // Milliseconds = 1000 (16 bits), end
    const std::string twoPasses = hexName("PassSetting") + "07" + hexName("teTwoPasses");
    const RecordCase cases[] = {
        {"name alone: a new effect", {{}, "Alpha blend", {}}, "QVTS10300", 0},
        {"code and duration", {{}, "03", Props{{"Milliseconds", "500"}}}, "QVTS203F40100", 500},
        {"short name, duration at its default", {{}, "crossfade", Props{{"milliseconds", "0"}}}, "QVTS10300", 0},
        {"duration past 16 bits",
         {{}, "TBlendTransition", Props{{"Milliseconds", "40000"}}},
         "QVTS103" + ms32("409C0000") + "00",
         40000},
        {"another property first",
         {{}, "03", Props{{"PASSSETTING", "teTwoPasses"}, {"Milliseconds", "500"}}},
         "QVTS103" + twoPasses + hexName("Milliseconds") + "03F40100",
         500},
        {"the last value counts",
         {{}, "03", Props{{"Milliseconds", "100"}, {"Milliseconds", "200"}}},
         "QVTS203C80000",
         200},
        {"nothing: the plug-in's default", {}, "", 1000},
        {"duration alone", {{}, "", Props{{"Milliseconds", "250"}}}, "QVTS203FA0000", 250},
        {"empty record and duration", {std::string(), "", Props{{"Milliseconds", "300"}}}, "QVTS2032C0100", 300},
        {"version 2 record", {"QVTS203E80300", "", Props{{"Milliseconds", "300"}}}, "QVTS2032C0100", 300},
        {"version 2 record, long",
         {"QVTS203E80300", "", Props{{"Milliseconds", "70000"}}},
         "QVTS103" + ms32("70110100") + "00",
         70000},
        {"version 1 record, empty list", {"QVTS10300", "", Props{{"Milliseconds", "300"}}}, "QVTS2032C0100", 300},
        {"version 1 record naming a duration",
         {"QVTS103" + v1List, "", Props{{"Milliseconds", "300"}}},
         "QVTS2032C0100",
         300},
        {"record keeps its other properties",
         {"QVTS103" + twoPasses + "00", "", Props{{"Milliseconds", "500"}}},
         "QVTS103" + twoPasses + hexName("Milliseconds") + "03F40100",
         500},
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
        // The offline effect is the one the record stands for.
        EXPECT_EQ(BuildEffect(c.choice)->GetMilliseconds(), c.milliseconds);
    }
}

struct RefusalCase {
    EffectChoice choice;
    const char *says;
};

TEST(PlayRecord, RefusesWhatItCannotCarry) {
    StartEngine();
    const RefusalCase cases[] = {
        {{"QVTS19900", "", {}}, "Transition '99' not found"},
        {{"QVTS2030", "", Props{{"Milliseconds", "100"}}}, "bad record 'QVTS2030'"},
        {{"XXXXXXX", "", {}}, "Wrong signature"},
        {{{}, "Sparkle", {}}, "unknown effect 'Sparkle'"},
        {{{}, "03", Props{{"Sparkle", "1"}}}, "has no property \"Sparkle\""},
        {{{}, "03", Props{{"Milliseconds", "2147483648"}}}, "value out of range: Milliseconds accepts"},
        {{{}, "03", Props{{"Milliseconds", "soon"}}}, "\"soon\" is not a whole number"},
        {{"QVTS203E80300", "", Props{{"Enabled", "perhaps"}}}, "value not allowed: Enabled accepts False, True"},
        // Property options without a value.
        {{{}, "03", Props{{"Tag", std::nullopt, "--tag"}}}, "--tag needs a value"},
        {{{}, "03", Props{{"Milliseconds", std::nullopt, "--ms"}}}, "--ms needs a value"},
        {{{}, "03", Props{{"Sparkle", std::nullopt, "--Sparkle"}}}, "has no property \"Sparkle\"; its properties are"},
    };
    for (const RefusalCase &c : cases) {
        SCOPED_TRACE(c.says);
        try {
            BuildRecord(c.choice);
            ADD_FAILURE() << "accepted";
        } catch (const ToolError &e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

// The command's own options in the cases below: --from and -o take a value,
// --help does not.
std::optional<bool> ownOption(const std::string &name) {
    if (name == "--from" || name == "--output" || name == "-o") return true;
    if (name == "--help" || name == "-h") return false;
    return std::nullopt;
}

struct SplitCase {
    std::vector<std::string> args;
    std::vector<std::string> rest;
    Props properties;
};

TEST(PropertyOptions, AreSplitFromTheCommandsOwn) {
    const SplitCase cases[] = {
        {{"03", "--ms", "500"}, {"03"}, {{"Milliseconds", "500"}}},
        {{"03", "--MS=5"}, {"03"}, {{"Milliseconds", "5"}}},
        // Without a value: at the end, before a long option or before an
        // option of the command's own.
        {{"03", "--Tag"}, {"03"}, {{"Tag", std::nullopt}}},
        {{"--ms", "--Tag", "1"}, {}, {{"Milliseconds", std::nullopt}, {"Tag", "1"}}},
        {{"--Tag", "-o", "out", "03"}, {"-o", "out", "03"}, {{"Tag", std::nullopt}}},
        {{"--Tag", "--help"}, {"--help"}, {{"Tag", std::nullopt}}},
        {{"--from", "a.png", "--Enabled", "false", "03"}, {"--from", "a.png", "03"}, {{"Enabled", "false"}}},
        // A value of the command's own option is its, whatever it looks like.
        {{"--from", "--Enabled", "-o", "--Tag"}, {"--from", "--Enabled", "-o", "--Tag"}, {}},
        {{"--from=x.png", "-ox", "--Tag=--odd"}, {"--from=x.png", "-ox"}, {{"Tag", "--odd"}}},
        // A value may begin with one dash, or be empty.
        {{"--Tag", "-5", "--Caption", ""}, {}, {{"Tag", "-5"}, {"Caption", ""}}},
        {{"--Style", "a", "--style", "b"}, {}, {{"Style", "a"}, {"style", "b"}}},
        {{"--help", "03"}, {"--help", "03"}, {}},
        {{"-h"}, {"-h"}, {}},
        // After "--" nothing is a property.
        {{"03", "--", "--Tag", "1"}, {"03", "--", "--Tag", "1"}, {}},
    };
    for (const SplitCase &c : cases) {
        std::string shown;
        for (const std::string &a : c.args) shown += " " + a;
        SCOPED_TRACE(shown);
        const SplitArguments split = SplitPropertyOptions(c.args, ownOption);
        EXPECT_EQ(split.rest, c.rest);
        ASSERT_EQ(split.properties.size(), c.properties.size());
        for (size_t i = 0; i < c.properties.size(); ++i) {
            EXPECT_EQ(split.properties[i].name, c.properties[i].name);
            EXPECT_EQ(split.properties[i].value, c.properties[i].value);
        }
    }
}

TEST(PropertyOptions, WithoutANameAreRefused) {
    for (const char *arg : {"--=1", "--="}) {
        try {
            SplitPropertyOptions({"03", arg}, ownOption);
            ADD_FAILURE() << arg << " accepted";
        } catch (const ToolError &e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + arg + "' names no property");
        }
    }
}

} // namespace
} // namespace qvt::host
