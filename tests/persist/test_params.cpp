// The parameter record decoder, on stand-in classes: the class-code table,
// the header checks, the hexadecimal payload, version "2" records, and who
// owns what when decoding fails.
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "persist/qvtPers.h"
#include "persist_test_support.h"

using namespace qvt;
using namespace qvt::rtl;
using namespace qvt::test;

namespace {

std::unique_ptr<TTransitionEffect> Decode(std::string_view record) {
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    return effect;
}

TProbeEffect &Probe(const std::unique_ptr<TTransitionEffect> &effect) {
    auto *probe = dynamic_cast<TProbeEffect *>(effect.get());
    if (!probe) throw std::logic_error("not a probe effect");
    return *probe;
}

class Records : public ::testing::Test {
protected:
    void SetUp() override { RegisterStandIns(); }
};

TEST(TransitionCodes, TheTableInCodeOrder) {
    const TTransitionCode expected[] = {
        {"01", "BmpMask", "TBmpMaskTransition2"},    {"02", "Circle", "TCircleTransition"},
        {"03", "CrossFade", "TBlendTransition"},     {"04", "Diagonal", "TDiagonalTransition"},
        {"05", "Drip", "TDripTransition"},           {"06", "Interlaced", "TInterlacedTransition"},
        {"07", "Pattern", "TFuseTransition"},        {"08", "Push", "TPushTransition"},
        {"09", "Puzzle", "TBlockTransition"},        {"10", "Radial", "TRadialTransition"},
        {"11", "Roll", "TRollTransition"},           {"12", "Slide", "TSlideTransition"},
        {"13", "Waterfall", "TWaterfallTransition"}, {"14", "Wipe", "TWipeTransition"},
    };
    const auto table = TransitionCodes();
    ASSERT_EQ(table.size(), std::size(expected));
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(expected[i].Code);
        EXPECT_EQ(table[i].Code, expected[i].Code);
        EXPECT_EQ(table[i].ShortName, expected[i].ShortName);
        EXPECT_EQ(table[i].ClassName, expected[i].ClassName);
        EXPECT_EQ(FindTransitionCode(expected[i].Code), &table[i]);
        EXPECT_EQ(FindTransitionCodeOfClass(expected[i].ClassName), &table[i]);
    }
    EXPECT_EQ(kDefaultTransitionClass, FindTransitionCode("03")->ClassName);
}

TEST(TransitionCodes, LookupsAreExact) {
    for (std::string_view miss : {"", "3", "003", "03 ", " 3", "00", "15", "99", "1", "O1", "CrossFade"}) {
        SCOPED_TRACE(miss);
        EXPECT_EQ(FindTransitionCode(miss), nullptr);
    }
    for (std::string_view miss : {"TBmpMaskTransition", "tblendtransition", "TTransitionEffect", ""}) {
        SCOPED_TRACE(miss);
        EXPECT_EQ(FindTransitionCodeOfClass(miss), nullptr);
    }
}

// Every row reaches the class registry by its class name; only the stand-ins
// are registered in this test program.
TEST_F(Records, EveryCodeCreatesItsClassByName) {
    for (const TTransitionCode &row : TransitionCodes()) {
        SCOPED_TRACE(row.ClassName);
        const std::string record = "QVTS1" + std::string(row.Code) + "00";
        if (GetClass(row.ClassName)) {
            EXPECT_EQ(Decode(record)->ClassName(), row.ClassName);
        } else {
            ExpectRaises<EClassNotFound>([&] { Decode(record); }, "Class " + std::string(row.ClassName) + " not found");
        }
    }
}

TEST_F(Records, Code01IsTheSecondBitmapMaskClass) {
    ASSERT_NE(GetClass("TBmpMaskTransition"), nullptr) << "the decoy must be registered";
    EXPECT_EQ(Decode("QVTS10100")->ClassName(), "TBmpMaskTransition2");
    EXPECT_EQ(Decode("QVTS201E80300")->ClassName(), "TBmpMaskTransition2");
}

TEST_F(Records, AnEmptyListKeepsTheConstructorDefaults) {
    const auto effect = Decode("QVTS11400");
    TProbeEffect &p = Probe(effect);
    EXPECT_EQ(p.ClassName(), "TWipeTransition");
    EXPECT_EQ(p.Owner(), nullptr);
    EXPECT_EQ(p.Milliseconds, 0);
    EXPECT_EQ(p.Direction, tedNone);
    EXPECT_TRUE(p.Enabled);
    EXPECT_EQ(p.caption, "");
    EXPECT_TRUE(p.mask->Empty());
}

TEST_F(Records, VersionTwoPutsTheMillisecondsPrefixBack) {
    const struct {
        const char *record;
        int32_t milliseconds;
    } cases[] = {
        {"QVTS214E80300", 1000},
        {"QVTS214e80300", 1000},
        {"QVTS214E803" "00", 1000},
        {"QVTS21418FC00", -1000},
        {"QVTS214FF7F00", 32767},
        {"QVTS214008000", -32768},
        {"QVTS214000000", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.record);
        EXPECT_EQ(Probe(Decode(c.record)).Milliseconds, c.milliseconds);
    }
    const auto more = Decode(WipeRecord('2', Bytes().LE(250, 2).Name("Direction").Ident("tedDown").End()));
    EXPECT_EQ(Probe(more).Milliseconds, 250);
    EXPECT_EQ(Probe(more).Direction, tedDown);
    // The prefix bytes written out in a version "1" record read the same.
    EXPECT_EQ(Probe(Decode("QVTS114" + Hex({std::begin(kMillisecondsPrefix), std::end(kMillisecondsPrefix)}) + "E80300"))
                  .Milliseconds,
              1000);
}

TEST_F(Records, AListWithEveryKindOfProperty) {
    const Bytes list = Bytes()
                           .Name("Milliseconds").Int16(1500)
                           .Name("Direction").Ident("tedUp")
                           .Name("Reversed").True()
                           .Name("Enabled").False()
                           .Name("Caption").LStr("C:\\masks\\star.bmp")
                           .Name("Level").Int8(-1)
                           .Name("Shades").Set({"psMedium"})
                           .Name("Options.Size").Int32(123456)
                           .Name("Options.Label").Str("inner")
                           .Name("Mask.Data").Binary(SamplePictureData())
                           .Name("Tag").Int8(4)
                           .End();
    for (bool lower : {false, true}) {
        SCOPED_TRACE(lower ? "lower-case digits" : "upper-case digits");
        std::string record = WipeRecord('1', list);
        if (lower) {
            std::string payload = record.substr(7);
            for (char &ch : payload) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            record = "QVTS114" + payload;
        }
        const auto effect = Decode(record);
        TProbeEffect &p = Probe(effect);
        EXPECT_EQ(p.Milliseconds, 1500);
        EXPECT_EQ(p.Direction, tedUp);
        EXPECT_TRUE(p.Reversed);
        EXPECT_FALSE(p.Enabled);
        EXPECT_EQ(p.caption, "C:\\masks\\star.bmp");
        EXPECT_EQ(p.level, 65535);
        EXPECT_EQ(p.shades, TProbeShades{psMedium});
        EXPECT_EQ(p.options->size, 123456);
        EXPECT_EQ(p.options->label, "inner");
        EXPECT_EQ(p.mask->Width(), 3);
        EXPECT_EQ(p.mask->Height(), 2);
        EXPECT_EQ(p.Tag(), 4);
    }
}

TEST_F(Records, OnlyTheCountedCharactersAreRead) {
    const char text[] = "QVTS11400ZZZ";
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, text, 9);
    EXPECT_EQ(effect->ClassName(), "TWipeTransition");
    // What follows the end of the list is not looked at, once decoded.
    EXPECT_EQ(Decode("QVTS1140001FF")->ClassName(), "TWipeTransition");
}

TEST_F(Records, FailuresCarryTheirMessages) {
    const struct {
        std::string record;
        std::string message;
    } cases[] = {
        {"QVTX11400", "Wrong signature"},
        {"qvts11400", "Wrong signature"},
        {"XQVTS11400", "Wrong signature"},
        {std::string("QVT\0" "11400", 9), "Wrong signature"},
        {"QVTS31400", "Wrong format version '3'"},
        {"QVTS01400", "Wrong format version '0'"},
        {"QVTSx1400", "Wrong format version 'x'"},
        {"QVTS 1400", "Wrong format version ' '"},
        {"QVTS19900", "Transition '99' not found"},
        {"QVTS10000", "Transition '00' not found"},
        {"QVTS115", "Transition '15' not found"},
        {"QVTS1 3", "Transition ' 3' not found"},
        {"QVTS1WipeFF", "Transition 'Wi' not found"},
        {"QVTS1140", "Stream read error"},
        {"QVTS11400F", "Stream read error"},
        {"QVTS114", "Stream read error"},
        {"QVTS214", "Stream read error"},
        {"QVTS214E8", "Stream read error"},
        {"QVTS214E803", "Stream read error"},
        {"QVTS114G100", "'$G1' is not a valid integer value"},
        {"QVTS1140g", "'$0g' is not a valid integer value"},
        {"QVTS114 100", "'$ 1' is not a valid integer value"},
        {"QVTS114-100", "'$-1' is not a valid integer value"},
        {"QVTS114+100", "'$+1' is not a valid integer value"},
        {"QVTS11400$1", "'$$1' is not a valid integer value"},
        {"QVTS1140x", "'$0x' is not a valid integer value"},
        {WipeRecord('1', Bytes().Name("Nope").Int8(1).End()), "Property does not exist"},
        {WipeRecord('1', Bytes().Name("Pass2Options.Reversed").True().End()), "Invalid property path"},
        {WipeRecord('1', Bytes().Name("Milliseconds").Str("1000").End()), "Invalid property value"},
        {WipeRecord('1', Bytes().Name("Version").Int8(1).End()), "Property is read-only"},
        {WipeRecord('1', Bytes().Name("Milliseconds").Int8(1)), "Stream read error"},
        // A stray value where a name should begin is read as a name.
        {WipeRecord('1', Bytes().Name("Milliseconds").Int8(1).Int8(2)), "Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.record);
        ExpectRaises<Exception>([&] { Decode(c.record); }, c.message);
    }
}

TEST_F(Records, HeaderAndPayloadErrorsBelongToTheirFamilies) {
    ExpectRaises<ETransitionEffectError>([] { Decode("QVTX11400"); });
    ExpectRaises<ETransitionEffectError>([] { Decode("QVTS31400"); });
    ExpectRaises<ETransitionEffectError>([] { Decode("QVTS19900"); });
    ExpectRaises<EConvertError>([] { Decode("QVTS114G100"); });
    ExpectRaises<EReadError>([] { Decode("QVTS1140"); });
    ExpectRaises<EReadError>([] { Decode("QVTS114"); });
}

TEST_F(Records, ARecordNeverLeavesAHalfBuiltEffect) {
    const int before = TProbeEffect::live;
    const char *failures[] = {
        "QVTX11400",   // before the class is created
        "QVTS19900",
        "QVTS114G100", // after: in the payload text
        "QVTS1140",
        "QVTS114",     // after: in the property list
        "QVTS1140C4D696C6C697365636F6E647306",
    };
    for (const char *record : failures) {
        SCOPED_TRACE(record);
        std::unique_ptr<TTransitionEffect> effect = std::make_unique<TProbeEffect>(nullptr);
        EXPECT_EQ(TProbeEffect::live, before + 1);
        EXPECT_THROW(ParamsToTransition(effect, record, static_cast<int>(std::strlen(record))), Exception);
        EXPECT_EQ(effect, nullptr);
        EXPECT_EQ(TProbeEffect::live, before) << "the previous and the half-built effect are both freed";
    }
    // Success replaces the previous effect.
    std::unique_ptr<TTransitionEffect> effect = std::make_unique<TProbeEffect>(nullptr);
    effect->Milliseconds = 99;
    ParamsToTransition(effect, "QVTS11400", 9);
    EXPECT_EQ(effect->ClassName(), "TWipeTransition");
    EXPECT_EQ(effect->Milliseconds, 0);
    EXPECT_EQ(TProbeEffect::live, before + 1);
    effect.reset();
    EXPECT_EQ(TProbeEffect::live, before);
}

// Without the effect units, the default blend cannot be created: the short
// records go to the registry by name like the others.
TEST_F(Records, ShortRecordsAskTheRegistryForTheDefaultClass) {
    const char *shortOnes[] = {"", "Q", "QVTS1", "QVTS10"};
    for (const char *record : shortOnes) {
        SCOPED_TRACE(record);
        ExpectRaises<EClassNotFound>([&] { Decode(record); }, "Class TBlendTransition not found");
    }
    std::unique_ptr<TTransitionEffect> effect;
    ExpectRaises<EClassNotFound>([&] { ParamsToTransition(effect, nullptr, 100); });
    ExpectRaises<EClassNotFound>([&] { ParamsToTransition(effect, "QVTS11400", -1); });
}

} // namespace
