// The parameter record decoder with the real effect classes registered as
// the module registers them at load time.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "effects/teBlend.h"
#include "effects/teRegister.h"
#include "persist/qvtPers.h"

using namespace qvt;
using namespace qvt::rtl;

namespace {

class EffectRecords : public ::testing::Test {
protected:
    void SetUp() override { RegisterAllTransitions(); }

    static std::unique_ptr<TTransitionEffect> Decode(std::string_view record) {
        std::unique_ptr<TTransitionEffect> effect;
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
        return effect;
    }
    static std::string Message(std::string_view record) {
        try {
            Decode(record);
        } catch (const Exception &e) {
            return e.Message();
        }
        return "(decoded)";
    }
};

// A blend with its constructor defaults, apart from the duration.
void ExpectDefaultBlend(const TTransitionEffect *effect, int32_t milliseconds) {
    ASSERT_NE(dynamic_cast<const TBlendTransition *>(effect), nullptr);
    EXPECT_EQ(effect->ClassName(), "TBlendTransition");
    EXPECT_EQ(effect->Owner(), nullptr);
    EXPECT_EQ(effect->Milliseconds, milliseconds);
    EXPECT_TRUE(effect->Enabled);
    EXPECT_FALSE(effect->FlickerFreeWhenDisabled);
    EXPECT_EQ(effect->PassSetting, teOnePass);
    EXPECT_EQ(effect->Pass2Options, nullptr);
    EXPECT_EQ(effect->Direction, tedNone);
    EXPECT_FALSE(effect->Reversed);
    EXPECT_EQ(effect->Tag(), 0);
    EXPECT_EQ(effect->Name(), "");
}

TEST_F(EffectRecords, MissingAndShortRecordsGiveASecondLongBlend) {
    for (std::string_view record : {"", "Q", "QVTS", "QVTS1", "QVTS10", "XXXXXX"}) {
        SCOPED_TRACE(record);
        ExpectDefaultBlend(Decode(record).get(), 1000);
    }
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, nullptr, 50);
    ExpectDefaultBlend(effect.get(), 1000);
    ParamsToTransition(effect, "QVTS203E80300", -3);
    ExpectDefaultBlend(effect.get(), 1000);
}

TEST_F(EffectRecords, BlendRecords) {
    ExpectDefaultBlend(Decode("QVTS203E80300").get(), 1000);
    ExpectDefaultBlend(Decode("QVTS203e80300").get(), 1000);
    ExpectDefaultBlend(Decode("QVTS10300").get(), 0);
    ExpectDefaultBlend(Decode("QVTS2037DFF00").get(), -131);
    // 0C 'Milliseconds' 04 <40000> 00, written out in full.
    ExpectDefaultBlend(Decode("QVTS1030C4D696C6C697365636F6E647304409C000000").get(), 40000);
}

// What the writer stores for a blend whose published properties all differ
// from their defaults.
TEST_F(EffectRecords, EveryPublishedPropertyOfTheBlendIsRestored) {
    const std::string record = "QVTS203"
                               "DC05"                                             // Milliseconds 1500
                               "07456E61626C656408"                               // Enabled False
                               "17466C69636B65724672656557"                       // FlickerFree...
                               "68656E44697361626C656409"                         // ...WhenDisabled True
                               "0B5061737353657474696E67070B746554776F506173736573" // PassSetting teTwoPasses
                               "035461670205"                                     // Tag 5
                               "00";
    const auto effect = Decode(record);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->Milliseconds, 1500);
    EXPECT_FALSE(effect->Enabled);
    EXPECT_TRUE(effect->FlickerFreeWhenDisabled);
    EXPECT_EQ(effect->PassSetting, teTwoPasses);
    EXPECT_EQ(effect->Tag(), 5);
}

TEST_F(EffectRecords, Failures) {
    const struct {
        const char *record;
        const char *message;
    } cases[] = {
        {"QVTX10300", "Wrong signature"},
        {"QVTS303", "Wrong format version '3'"},
        {"QVTS19900", "Transition '99' not found"},
        {"QVTS1030", "Stream read error"},
        {"QVTS103", "Stream read error"},
        {"QVTS103G100", "'$G1' is not a valid integer value"},
        // Pass2Options is nil in a new effect.
        {"QVTS1031550617373324F7074696F6E732E52657665727365640900", "Invalid property path"},
        // The blend publishes no Direction.
        {"QVTS10309446972656374696F6E070774656444" "6F776E00", "Property does not exist"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.record);
        EXPECT_EQ(Message(c.record), c.message);
    }
}

TEST_F(EffectRecords, EveryCodeCreatesItsRegisteredClass) {
    for (const TTransitionCode &row : TransitionCodes()) {
        SCOPED_TRACE(row.ClassName);
        const std::string record = "QVTS1" + std::string(row.Code) + "00";
        if (GetClass(row.ClassName))
            EXPECT_EQ(Decode(record)->ClassName(), row.ClassName);
        else
            EXPECT_EQ(Message(record), "Class " + std::string(row.ClassName) + " not found");
    }
    EXPECT_NE(GetClass("TBlendTransition"), nullptr);
}

} // namespace
