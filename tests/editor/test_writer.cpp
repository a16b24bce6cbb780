// The record writer: the header and version, the widths of integers, which
// properties are written and how, and that every record reads back as the
// effect it was written from.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "any_mask_file.h"
#include "editor_test_support.h"
#include "effects/teBlend.h"
#include "hex_text.h"
#include "persist/qvtWriter.h"
#include "qvt/rtl/reader.h"

namespace qvt::test {
namespace {

using rtl::TReader;

// Hex of a short string: its length byte and characters.
std::string HexName(std::string_view name) {
    std::vector<uint8_t> b{static_cast<uint8_t>(name.size())};
    b.insert(b.end(), name.begin(), name.end());
    return Hex(b);
}

const std::string kMillisecondsHex = HexName("Milliseconds");

std::unique_ptr<TTransitionEffect> Blend(int32_t milliseconds) {
    auto blend = std::make_unique<TBlendTransition>(nullptr);
    blend->SetMilliseconds(milliseconds);
    return blend;
}

// Reads a property list into a new object of the same class as model.
std::unique_ptr<TEditorProbeTransition> ReadList(const std::vector<uint8_t> &list) {
    auto probe = std::make_unique<TEditorProbeTransition>(nullptr);
    rtl::TReadOnlyMemoryStream stream(list.data(), list.size());
    TReader reader(stream, 16);
    while (!reader.EndOfList()) reader.ReadProperty(*probe);
    reader.ReadListEnd();
    EXPECT_EQ(reader.Remaining(), 0);
    return probe;
}

class RecordWriter : public ::testing::Test {
protected:
    void SetUp() override { RegisterAllTransitions(); }
    // Mask file names set on an effect are read at once: every name finds one.
    AnyMaskFile maskFiles_;
};

TEST_F(RecordWriter, OneSecondBlendIsTheWorkedRecord) { EXPECT_EQ(TransitionToParams(*Blend(1000)), "QVTS203E80300"); }

TEST_F(RecordWriter, NewBlendIsAsShortAsTheFormatAllows) {
    const TBlendTransition fresh(nullptr);
    const std::string record = TransitionToParams(fresh);
    EXPECT_EQ(record, "QVTS10300"); // header and the end-of-list byte: nothing to say
    EXPECT_EQ(Values(*Decode(record)), Values(fresh));
    // Nothing shorter stands for this effect: shorter texts are the default
    // 1000 ms blend or are not records at all.
    for (size_t n = 0; n < record.size(); ++n) {
        SCOPED_TRACE(record.substr(0, n));
        std::unique_ptr<TTransitionEffect> other;
        try {
            other = Decode(record.substr(0, n));
        } catch (const rtl::Exception &) {
            continue;
        }
        EXPECT_NE(Values(*other), Values(fresh));
    }
}

// Milliseconds opens the list of a blend: every value that fits in 16 bits
// takes the version "2" form (8-bit ones too, written 16 bits wide), larger
// ones are version "1" with the smallest width.
TEST_F(RecordWriter, MillisecondsChoosesTheVersionAndWidth) {
    struct Case {
        int32_t milliseconds;
        std::string record;
    } cases[] = {
        {0, "QVTS10300"}, // the default value is not written
        {1, "QVTS203010000"},
        {100, "QVTS203640000"},
        {127, "QVTS2037F0000"},
        {128, "QVTS203800000"},
        {-1, "QVTS203FFFF00"},
        {-128, "QVTS20380FF00"},
        {-129, "QVTS2037FFF00"},
        {1000, "QVTS203E80300"},
        {32767, "QVTS203FF7F00"},
        {-32768, "QVTS203008000"},
        {32768, "QVTS103" + kMillisecondsHex + "040080000000"},
        {-32769, "QVTS103" + kMillisecondsHex + "04FF7FFFFF00"},
        {40000, "QVTS103" + kMillisecondsHex + "04409C000000"},
        {INT32_MAX, "QVTS103" + kMillisecondsHex + "04FFFFFF7F00"},
        {INT32_MIN, "QVTS103" + kMillisecondsHex + "040000008000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.milliseconds);
        const std::string record = TransitionToParams(*Blend(c.milliseconds));
        EXPECT_EQ(record, c.record);
        std::unique_ptr<TTransitionEffect> back = Decode(record);
        EXPECT_EQ(back->GetMilliseconds(), c.milliseconds);
        EXPECT_EQ(TransitionToParams(*back), record);
    }
}

// Properties declared before Milliseconds come first in the list, which then
// no longer opens with it: version "1", smallest widths.
TEST_F(RecordWriter, EarlierPropertiesKeepVersionOne) {
    struct Case {
        const char *what;
        std::function<void(TTransitionEffect &)> change;
        std::string first; // hexadecimal of what comes before Milliseconds
    } cases[] = {
        {"Tag", [](TTransitionEffect &e) { e.SetTag(-5); }, HexName("Tag") + "02FB"},
        {"Enabled", [](TTransitionEffect &e) { e.SetEnabled(false); }, HexName("Enabled") + "08"},
        {"FlickerFreeWhenDisabled", [](TTransitionEffect &e) { e.FlickerFreeWhenDisabled = true; },
         HexName("FlickerFreeWhenDisabled") + "09"},
        {"PassSetting", [](TTransitionEffect &e) { e.PassSetting = teTwoPasses; },
         HexName("PassSetting") + "07" + HexName("teTwoPasses")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<TTransitionEffect> blend = Blend(100);
        c.change(*blend);
        // 100 fits 8 bits and is written so when it does not open the list.
        const std::string record = TransitionToParams(*blend);
        EXPECT_EQ(record, "QVTS103" + c.first + kMillisecondsHex + "0264" + "00");
        EXPECT_EQ(Values(*Decode(record)), Values(*blend));
    }
}

// The settings tried on every registered class: each property on its own at
// its default, at every value its setter takes, and at the edges of its
// range and of the integer widths; then everything changed at once.
std::vector<std::string> TrialValues(const TPropertyDescription &p) {
    std::vector<std::string> values{p.Default};
    switch (p.Kind) {
    case TPropertyKind::Integer:
        for (int64_t v : {p.Min, p.Min + 1, p.Max - 1, p.Max, int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{127},
                          int64_t{128}, int64_t{-128}, int64_t{-129}, int64_t{255}, int64_t{256}, int64_t{32767},
                          int64_t{32768}, int64_t{-32768}, int64_t{-32769}, int64_t{65535}, int64_t{65536}})
            if (v >= p.Min && v <= p.Max) values.push_back(std::to_string(v));
        break;
    case TPropertyKind::Boolean:
    case TPropertyKind::Enumeration: values.insert(values.end(), p.Accepted.begin(), p.Accepted.end()); break;
    case TPropertyKind::Set:
        values.push_back("[]");
        for (const std::string &v : p.Accepted) values.push_back(v);
        break;
    case TPropertyKind::String:
        values.insert(values.end(), {"", "a", "two words", std::string(255, 'x'), std::string(256, 'y')});
        break;
    case TPropertyKind::Float: values.insert(values.end(), {"0", "1.5", "-2.25e300"}); break;
    case TPropertyKind::Binary: break;
    }
    return values;
}

void ExpectRoundTrip(const TTransitionEffect &effect) {
    const std::string record = TransitionToParams(effect);
    std::unique_ptr<TTransitionEffect> back = Decode(record);
    EXPECT_EQ(Values(*back), Values(effect)) << record;
    EXPECT_EQ(TransitionToParams(*back), record);
}

TEST_F(RecordWriter, EveryRegisteredClassReadsBackAsWritten) {
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    ASSERT_FALSE(catalogue.empty());
    for (const TTransitionDescription &d : catalogue) {
        if (d.Code.empty()) continue; // no record can name it
        SCOPED_TRACE(d.ClassName);
        std::unique_ptr<rtl::TPersistent> all = d.Class->Create();
        auto &changed = dynamic_cast<TTransitionEffect &>(*all);
        for (const TPropertyDescription &p : d.Properties) {
            for (const std::string &value : TrialValues(p)) {
                SCOPED_TRACE(p.Name + " = " + value.substr(0, 20));
                std::unique_ptr<rtl::TPersistent> fresh = d.Class->Create();
                auto &effect = dynamic_cast<TTransitionEffect &>(*fresh);
                try {
                    ApplyPropertyText(effect, p.Name, value);
                } catch (const EPropertyValueError &error) {
                    // An integer whose setter depends on another property (a
                    // sub-style beyond the count of the default style) is
                    // refused in a new effect's settings; nothing to write.
                    EXPECT_EQ(std::string(error.what()).rfind("value not allowed with the present settings", 0), 0u)
                        << error.what();
                    EXPECT_EQ(p.Kind, TPropertyKind::Integer);
                    continue;
                }
                ExpectRoundTrip(effect);
            }
            // The last trial value that differs from the default, for all
            // properties at once.
            const std::vector<std::string> values = TrialValues(p);
            for (auto v = values.rbegin(); v != values.rend(); ++v) {
                if (*v == p.Default) continue;
                try {
                    ApplyPropertyText(changed, p.Name, *v);
                } catch (const EPropertyValueError &) {
                    // taken alone but not next to the others: keep the default
                }
                break;
            }
        }
        EXPECT_NE(Values(changed), Values(*Decode("QVTS1" + d.Code + "00")));
        ExpectRoundTrip(changed);
    }
}

TEST_F(RecordWriter, ClassWithoutCodeHasNoRecord) {
    const TEditorProbeTransition probe(nullptr);
    EXPECT_EQ(MessageOf<ETransitionEffectError>([&] { TransitionToParams(probe); }),
              "TEditorProbeTransition has no class code in the parameter record format");
}

// A record naming an unknown PassSetting decodes (the reader does not check
// value names and the field takes 255); writing that value back would make
// up a name, so the writer says what is wrong instead.
TEST_F(RecordWriter, ValueWithoutANameIsNotWritten) {
    std::vector<uint8_t> list{11};
    for (char c : std::string("PassSetting")) list.push_back(static_cast<uint8_t>(c));
    list.insert(list.end(), {7, 5, 'b', 'o', 'g', 'u', 's', 0});
    std::unique_ptr<TTransitionEffect> odd = Decode("QVTS103" + Hex(list));
    EXPECT_EQ(odd->PassSetting, 255);
    EXPECT_EQ(MessageOf<ETransitionEffectError>([&] { TransitionToParams(*odd); }),
              "PassSetting holds 255, which is none of teOnePass, teTwoPasses, tePaletteDependent");

    TEditorProbeTransition probe(nullptr);
    probe.Options = TProbeOptions::FromMask(0x9);
    EXPECT_EQ(MessageOf<ETransitionEffectError>([&] { WritePropertyList(probe); }),
              "Options holds 9, which is none of poFirst, poSecond, poThird");
}

// --- The property list, kind by kind -------------------------------------------

TEST(PropertyListWriter, NewProbeWritesOnlyWhatHasNoDefault) {
    TEditorProbeTransition probe(nullptr);
    probe.SetName("Probe"); // not stored
    probe.Scratch = 9;      // not stored
    // Size has no default and is always written; everything else is at its
    // default, the Pass2Options object included, and the mask is empty.
    EXPECT_EQ(Hex(WritePropertyList(probe)), HexName("Size") + "0264" + "00");
}

TEST(PropertyListWriter, EveryKindInDeclarationOrder) {
    TEditorProbeTransition probe(nullptr);
    probe.SetTag(300);
    probe.SetEnabled(false);
    probe.Pass2Options->Reversed = true;
    probe.Pass2Options->SolidColor = 0x123456;
    probe.PassSetting = tePaletteDependent;
    probe.SetMilliseconds(-40000);
    probe.SetDirection(tedLeft);
    probe.SetReversed(true);
    probe.SetStyle(5);
    probe.SetSubStyle(4);
    probe.SetLevel(-3);
    probe.Size = 65535;
    probe.Colour = 0xFFFFFFFF;
    probe.SetOption(poSecond);
    probe.Options = {poFirst, poThird};
    probe.Caption = std::string(300, 'c');
    probe.SetFileName("m.bmp");
    probe.Ratio = 1.5;
    probe.Mask->SetPixelFormat(pf24bit);
    probe.Mask->SetWidth(2);
    probe.Mask->SetHeight(2);

    const std::vector<uint8_t> list = WritePropertyList(probe);
    const std::string hex = Hex(list);
    std::string caption = HexName("Caption") + "0C2C010000";
    for (int i = 0; i < 300; ++i) caption += "63";
    const std::string expectedStart = HexName("Tag") + "032C01" +                         // 16-bit integer
                                      HexName("Enabled") + "08" +                         // Boolean False
                                      HexName("Pass2Options.Reversed") + "09" +           // held object, dotted
                                      HexName("Pass2Options.SolidColor") + "0456341200" + // 32-bit integer
                                      HexName("PassSetting") + "07" + HexName("tePaletteDependent") + // identifier
                                      HexName("Milliseconds") + "04C063FFFF" +                   // negative, 32 bits
                                      HexName("Direction") + "07" + HexName("tedLeft") +         //
                                      HexName("Reversed") + "09" +                               //
                                      HexName("Style") + "0205" + HexName("SubStyle") + "0204" + //
                                      HexName("Level") + "02FD" +                                // signed byte
                                      HexName("Size") + "04FFFF0000" +                 // Word beyond 16-bit Integer
                                      HexName("Colour") + "02FF" +                     // Cardinal wraps to -1
                                      HexName("Option") + "07" + HexName("poSecond") + //
                                      HexName("Options") + "0B" + HexName("poFirst") + HexName("poThird") +
                                      "00" +                                             // set
                                      caption +                                          // long string
                                      HexName("FileName") + "06" + HexName("m.bmp") +    // short string
                                      HexName("Ratio") + "05" + "00000000000000C0FF3F" + // extended 1.5
                                      HexName("Mask.Data") + "0A";                       // the picture
    ASSERT_GE(hex.size(), expectedStart.size());
    EXPECT_EQ(hex.substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(list.back(), 0);

    // The reader takes every value back.
    std::unique_ptr<TEditorProbeTransition> back = ReadList(list);
    EXPECT_EQ(Values(*back), Values(probe));
    EXPECT_EQ(back->Mask->Width(), 2);
    EXPECT_EQ(back->Colour, 0xFFFFFFFFu);
    EXPECT_EQ(back->Size, 65535);
    EXPECT_EQ(WritePropertyList(*back), list);
}

// --- Floats ------------------------------------------------------------------------

TEST(ExtendedFloats, EveryDoubleSurvivesTheTrip) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             1.5,
                             0.1,
                             -2.25e300,
                             1e-300,
                             std::numeric_limits<double>::denorm_min(),
                             -std::numeric_limits<double>::denorm_min() * 12345,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double v : values) {
        SCOPED_TRACE(v);
        uint8_t ext[10];
        DoubleToExtended(v, ext);
        const double back = rtl::ExtendedToDouble(ext);
        EXPECT_EQ(back, v);
        EXPECT_EQ(std::signbit(back), std::signbit(v));
    }
    uint8_t ext[10];
    DoubleToExtended(std::numeric_limits<double>::quiet_NaN(), ext);
    EXPECT_TRUE(std::isnan(rtl::ExtendedToDouble(ext)));
}

TEST(ExtendedFloats, KnownEncodings) {
    struct Case {
        double value;
        uint64_t significand;
        uint16_t signExponent;
    } cases[] = {
        {1.0, 0x8000000000000000u, 0x3FFF},
        {-2.0, 0x8000000000000000u, 0xC000},
        {1.5, 0xC000000000000000u, 0x3FFF},
        {0.0, 0, 0},
        {std::numeric_limits<double>::denorm_min(), 0x8000000000000000u, 0x3BCD}, // 2^-1074
        {std::numeric_limits<double>::infinity(), 0x8000000000000000u, 0x7FFF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        uint8_t ext[10];
        DoubleToExtended(c.value, ext);
        uint64_t significand = 0;
        for (int i = 7; i >= 0; --i) significand = (significand << 8) | ext[i];
        EXPECT_EQ(significand, c.significand);
        EXPECT_EQ(ext[8] | (ext[9] << 8), c.signExponent);
    }
}

} // namespace
} // namespace qvt::test
