// The property catalogue: which classes and properties it lists, what it
// finds their setters accept, and how values given as text are checked and
// applied.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "editor_test_support.h"
#include "effects/teBlend.h"
#include "qvt/rtl/classes.h"

namespace qvt::test {
namespace {

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override { RegisterAllTransitions(); }
};

TEST_F(Catalogue, ListsEveryRegisteredClass) {
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    std::vector<std::string> registered;
    for (const rtl::TClassInfo *cls : TransitionClasses())
        if (!cls->IsAbstract()) registered.emplace_back(cls->ClassName());
    ASSERT_EQ(catalogue.size(), registered.size());
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const TTransitionDescription &d = catalogue[i];
        SCOPED_TRACE(d.ClassName);
        EXPECT_EQ(d.ClassName, registered[i]);
        const TTransitionCode *row = FindTransitionCodeOfClass(d.ClassName);
        EXPECT_EQ(d.Code, row ? std::string(row->Code) : "");
        EXPECT_EQ(d.ShortName, row ? std::string(row->ShortName) : "");
        std::unique_ptr<rtl::TPersistent> fresh = d.Class->Create();
        EXPECT_EQ(d.DisplayName, dynamic_cast<TTransitionEffect &>(*fresh).GetDescription());
        EXPECT_FALSE(d.DisplayName.empty());
        // Every property reads as its default on a new effect.
        for (const TPropertyDescription &p : d.Properties)
            EXPECT_EQ(PropertyValueText(dynamic_cast<TTransitionEffect &>(*fresh), p), p.Default) << p.Name;
    }
}

TEST_F(Catalogue, FindsAnEffectByAnyOfItsNames) {
    const std::vector<TTransitionDescription> catalogue = TransitionCatalogue();
    for (const char *name :
         {"03", "TBlendTransition", "tblendtransition", "CrossFade", "crossfade", "Alpha blend", "  ALPHA BLEND "}) {
        SCOPED_TRACE(name);
        const TTransitionDescription *d = FindTransition(catalogue, name);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ClassName, "TBlendTransition");
    }
    for (const char *name : {"", "3", "99", "Blend", "TBlend"})
        EXPECT_EQ(FindTransition(catalogue, name), nullptr) << name;
}

struct PropertyCase {
    const char *name;
    TPropertyKind kind;
    const char *defaultText;
    const char *storedDefault;
    const char *allowed;
};

void ExpectProperties(const TTransitionDescription &d, const std::vector<PropertyCase> &cases) {
    ASSERT_EQ(d.Properties.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const PropertyCase &c = cases[i];
        const TPropertyDescription &p = d.Properties[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(p.Name, c.name);
        EXPECT_EQ(PropertyKindName(p.Kind), PropertyKindName(c.kind));
        EXPECT_EQ(p.Default, c.defaultText);
        EXPECT_EQ(p.StoredDefault, c.storedDefault);
        EXPECT_EQ(p.Allowed, c.allowed);
    }
}

TEST_F(Catalogue, DescribesTheBlend) {
    const TTransitionDescription d = DescribeTransition(TBlendTransition::StaticClassInfo());
    EXPECT_EQ(d.Code, "03");
    EXPECT_EQ(d.ShortName, "CrossFade");
    EXPECT_EQ(d.DisplayName, "Alpha blend");
    using K = TPropertyKind;
    ExpectProperties(
        d, {
               {"Tag", K::Integer, "0", "0", "-2147483648..2147483647"},
               {"Enabled", K::Boolean, "True", "True", "False, True"},
               {"FlickerFreeWhenDisabled", K::Boolean, "False", "False", "False, True"},
               {"PassSetting", K::Enumeration, "teOnePass", "teOnePass", "teOnePass, teTwoPasses, tePaletteDependent"},
               {"Milliseconds", K::Integer, "0", "0", "-2147483648..2147483647"},
           });
    EXPECT_EQ(d.FindProperty("milliseconds")->Min, INT32_MIN);
    EXPECT_EQ(d.FindProperty("MILLISECONDS")->Max, INT32_MAX);
    EXPECT_EQ(d.FindProperty("Name"), nullptr); // not stored
}

// Held objects appear as dotted properties, the bitmap's picture as binary
// data; read-only and unstored properties do not appear. Allowed values
// come from the setters: Direction takes two directions, Option two values.
TEST_F(Catalogue, DescribesEveryKind) {
    const TTransitionDescription d = DescribeTransition(TEditorProbeTransition::StaticClassInfo());
    EXPECT_EQ(d.Code, "");
    EXPECT_EQ(d.DisplayName, "Editor probe");
    using K = TPropertyKind;
    ExpectProperties(
        d, {
               {"Tag", K::Integer, "0", "0", "-2147483648..2147483647"},
               {"Enabled", K::Boolean, "True", "True", "False, True"},
               {"FlickerFreeWhenDisabled", K::Boolean, "False", "False", "False, True"},
               {"Pass2Options.DistributedTime", K::Boolean, "False", "False", "False, True"},
               {"Pass2Options.Reversed", K::Boolean, "False", "False", "False, True"},
               {"Pass2Options.UseSolidColor", K::Boolean, "True", "True", "False, True"},
               {"Pass2Options.SolidColor", K::Integer, "536870911", "536870911", "-2147483648..2147483647"},
               {"PassSetting", K::Enumeration, "teOnePass", "teOnePass", "teOnePass, teTwoPasses, tePaletteDependent"},
               {"Milliseconds", K::Integer, "0", "0", "-2147483648..2147483647"},
               {"Direction", K::Enumeration, "tedRight", "tedRight", "tedRight, tedLeft"},
               {"Reversed", K::Boolean, "False", "False", "False, True"},
               {"Style", K::Integer, "1", "1", "1..5"},
               {"SubStyle", K::Integer, "1", "1", "1..5"},
               {"Level", K::Integer, "0", "0", "-3..3"},
               {"Size", K::Integer, "100", "", "0..65535"},
               {"Colour", K::Integer, "0", "0", "0..4294967295"},
               {"Option", K::Enumeration, "poFirst", "poFirst", "poFirst, poSecond"},
               {"Options", K::Set, "[]", "[]", "any of poFirst, poSecond, poThird"},
               {"Caption", K::String, "", "", "any text"},
               {"FileName", K::String, "", "", "any text"},
               {"Ratio", K::Float, "0", "", "any number"},
               {"Mask.Data", K::Binary, "(none)", "", "a BMP file, or an empty text for no picture"},
           });
    const TPropertyDescription *direction = d.FindProperty("Direction");
    EXPECT_EQ(direction->Values.size(), 11u);
    EXPECT_EQ(direction->Values.front(), "tedNone");
    EXPECT_EQ(direction->Values.back(), "tedOut");
    EXPECT_EQ(direction->Accepted, (std::vector<std::string>{"tedRight", "tedLeft"}));
}

// The range a property declares is what its setter takes: values just
// outside it are ignored. Checked on every registered class, so an effect
// that declares a range its setter does not keep fails here.
TEST_F(Catalogue, IntegerRangesMatchTheSetters) {
    std::vector<TTransitionDescription> classes = TransitionCatalogue();
    classes.push_back(DescribeTransition(TEditorProbeTransition::StaticClassInfo()));
    for (const TTransitionDescription &d : classes) {
        for (const TPropertyDescription &p : d.Properties) {
            if (p.Kind != TPropertyKind::Integer) continue;
            SCOPED_TRACE(d.ClassName + "." + p.Name);
            for (int64_t outside : {p.Min - 1, p.Max + 1}) {
                std::unique_ptr<rtl::TPersistent> fresh = d.Class->Create();
                const rtl::TPropPath path = rtl::ResolvePropPath(*fresh, p.Name);
                ASSERT_TRUE(path);
                // Only values the storage can hold reach a setter unchanged.
                if (outside < path.Prop->OrdLow() || outside > path.Prop->OrdHigh()) continue;
                const int64_t before = path.Prop->GetOrd(*path.Instance);
                rtl::SetOrdProp(*path.Instance, *path.Prop, outside);
                EXPECT_EQ(path.Prop->GetOrd(*path.Instance), before) << "the setter took " << outside;
            }
        }
    }
    // The probe's boundaries themselves are taken.
    TEditorProbeTransition probe(nullptr);
    for (int v : {5, 1}) {
        probe.SetStyle(v);
        EXPECT_EQ(probe.Style, v);
    }
}

// --- Checking and applying values ----------------------------------------------------

std::string WriteTempFile(const std::string &name, const std::vector<uint8_t> &bytes) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<uint8_t> SmallBmp() {
    rtl::TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetWidth(3);
    picture.SetHeight(2);
    rtl::TMemoryStream file;
    picture.SaveToStream(file);
    const auto *p = static_cast<const uint8_t *>(file.Memory());
    return std::vector<uint8_t>(p, p + file.Size());
}

TEST_F(Catalogue, RefusedValuesSayWhatIsAllowedAndChangeNothing) {
    const std::string notPicture = WriteTempFile("qvt-not-a-picture.bmp", std::vector<uint8_t>(64, 'x'));
    const std::string cutShort = WriteTempFile("qvt-cut-short.bmp", {'B', 'M', 1, 2, 3});
    const std::string missing = ::testing::TempDir() + "qvt-no-such-file.bmp";
    std::remove(missing.c_str());
    struct Case {
        bool probe; // the probe class, else a blend
        std::string property, value, message;
    } cases[] = {
        {false, "Milliseconds", "3000000000", "value out of range: Milliseconds accepts -2147483648..2147483647"},
        {false, "Milliseconds", "-2147483649", "value out of range: Milliseconds accepts -2147483648..2147483647"},
        {false, "Milliseconds", "99999999999999999999",
         "\"99999999999999999999\" is not a whole number: Milliseconds accepts -2147483648..2147483647"},
        {false, "Milliseconds", "12x", "\"12x\" is not a whole number: Milliseconds accepts -2147483648..2147483647"},
        {false, "Milliseconds", "", "\"\" is not a whole number: Milliseconds accepts -2147483648..2147483647"},
        {false, "Milliseconds", "1.5", "\"1.5\" is not a whole number: Milliseconds accepts -2147483648..2147483647"},
        {false, "PassSetting", "teThreePasses",
         "value not allowed: PassSetting accepts teOnePass, teTwoPasses, tePaletteDependent"},
        {false, "Enabled", "yes", "value not allowed: Enabled accepts False, True"},
        {false, "Direction", "tedUp",
         "Alpha blend has no property \"Direction\"; its properties are Tag, Enabled, FlickerFreeWhenDisabled, "
         "PassSetting, Milliseconds"},
        {false, "Name", "x",
         "Alpha blend has no property \"Name\"; its properties are Tag, Enabled, FlickerFreeWhenDisabled, "
         "PassSetting, Milliseconds"},
        {true, "Direction", "tedUp", "value not allowed: Direction accepts tedRight, tedLeft"},
        {true, "Direction", "tedNone", "value not allowed: Direction accepts tedRight, tedLeft"},
        {true, "Style", "6", "value out of range: Style accepts 1..5"},
        {true, "Style", "0", "value out of range: Style accepts 1..5"},
        {true, "Level", "-4", "value out of range: Level accepts -3..3"},
        {true, "Size", "65536", "value out of range: Size accepts 0..65535"},
        {true, "Size", "-1", "value out of range: Size accepts 0..65535"},
        {true, "Colour", "4294967296", "value out of range: Colour accepts 0..4294967295"},
        {true, "SubStyle", "3",
         "value not allowed with the present settings: SubStyle ignored \"3\" (it accepts 1..5)"},
        {true, "Option", "poThird", "value not allowed: Option accepts poFirst, poSecond"},
        {true, "Options", "[poFirst, poFourth]",
         "value not allowed: Options accepts any of poFirst, poSecond, poThird"},
        {true, "FileName", "*.bmp",
         "value not allowed with the present settings: FileName ignored \"*.bmp\" (it accepts any text)"},
        {true, "Ratio", "abc", "\"abc\" is not a number: Ratio accepts any number"},
        {true, "Ratio", "inf", "\"inf\" is not a number: Ratio accepts any number"},
        {true, "Mask.Data", missing, "cannot read \"" + missing + "\""},
        {true, "Mask.Data", notPicture,
         "\"" + notPicture +
             "\" is not a picture this effect can use (Bitmap image is not valid): Mask.Data accepts a BMP file, "
             "or an empty text for no picture"},
        {true, "Mask.Data", cutShort,
         "\"" + cutShort +
             "\" is not a picture this effect can use (Stream read error): Mask.Data accepts a BMP file, "
             "or an empty text for no picture"},
        {true, "Mask", "x",
         "Editor probe has no property \"Mask\"; its properties are Tag, Enabled, FlickerFreeWhenDisabled, "
         "Pass2Options.DistributedTime, Pass2Options.Reversed, Pass2Options.UseSolidColor, "
         "Pass2Options.SolidColor, PassSetting, Milliseconds, Direction, Reversed, Style, SubStyle, Level, Size, "
         "Colour, Option, Options, Caption, FileName, Ratio, Mask.Data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.property + " = " + c.value);
        std::unique_ptr<TTransitionEffect> effect;
        if (c.probe)
            effect = std::make_unique<TEditorProbeTransition>(nullptr);
        else
            effect = Decode("QVTS203E80300");
        const auto before = Values(*effect);
        EXPECT_EQ(MessageOf<EPropertyValueError>([&] { ApplyPropertyText(*effect, c.property, c.value); }), c.message);
        EXPECT_EQ(Values(*effect), before);
    }
}

// When a setter's choice depends on other properties, the message lists
// what it takes now: here the style narrows the directions.
class TDirectionByStyle : public TTimedTransitionEffect {
public:
    explicit TDirectionByStyle(TComponent *owner) : TTimedTransitionEffect(owner) {
        AllowedDirections = {tedRight, tedLeft};
        Direction = tedRight;
    }
    static const rtl::TClassInfo &StaticClassInfo() {
        using C = TDirectionByStyle;
        static const rtl::TClassInfo info =
            rtl::DeclareClass<C, TTimedTransitionEffect>("TDirectionByStyle")
                .Property("Style", &C::Style, &C::SetStyle)
                .Default(1)
                .Range(1, 2)
                .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
                .Default(tedRight)
                .Build();
        return info;
    }
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    void SetStyle(int32_t v) {
        if (v < 1 || v > 2) return;
        Style = v;
        AllowedDirections = v == 1 ? TTEEffectDirections{tedRight, tedLeft} : TTEEffectDirections{tedRight};
        if (!AllowedDirections.Contains(Direction)) Direction = tedRight;
    }
    int32_t Style = 1;
};

TEST_F(Catalogue, EnumerationRefusedInThePresentStateListsWhatItTakesNow) {
    TDirectionByStyle effect(nullptr);
    ApplyPropertyText(effect, "Style", "2");
    EXPECT_EQ(MessageOf<EPropertyValueError>([&] { ApplyPropertyText(effect, "Direction", "tedLeft"); }),
              "value not allowed with the present settings: Direction accepts tedRight");
    EXPECT_EQ(effect.Direction, tedRight);
    ApplyPropertyText(effect, "Style", "1");
    ApplyPropertyText(effect, "Direction", "tedLeft");
    EXPECT_EQ(effect.Direction, tedLeft);
}

TEST_F(Catalogue, AcceptedValuesAreStored) {
    const std::string bmp = WriteTempFile("qvt-small.bmp", SmallBmp());
    struct Case {
        std::string property, value, shown;
    } steps[] = {
        {"Direction", "tedleft", "tedLeft"},
        {"Reversed", "TRUE", "True"},
        {"Style", "5", "5"},
        {"SubStyle", "5", "5"}, // allowed now that Style is 5
        {"Level", " -3 ", "-3"},
        {"Level", "+2", "2"},
        {"Size", "65535", "65535"},
        {"Colour", "4294967295", "4294967295"},
        {"Option", "POSECOND", "poSecond"},
        {"Options", "poThird, poFirst", "[poFirst, poThird]"},
        {"Options", "[]", "[]"},
        {"Options", "[poSecond]", "[poSecond]"},
        {"Caption", "  two words ", "  two words "},
        {"Caption", "", ""},
        {"FileName", "mask.bmp", "mask.bmp"},
        {"Ratio", "-2.5", "-2.5"},
        {"Ratio", "0.1", "0.1"},
        {"Pass2Options.Reversed", "true", "True"},
        {"Pass2Options.SolidColor", "-1", "-1"},
        {"Milliseconds", "-2147483648", "-2147483648"},
        {"Mask.Data", bmp, "(" + std::to_string(SmallBmp().size() + 4) + " bytes)"},
        {"Mask.Data", "", "(none)"},
    };
    TEditorProbeTransition probe(nullptr);
    const TTransitionDescription d = DescribeTransition(probe.ClassInfo());
    for (const Case &c : steps) {
        SCOPED_TRACE(c.property + " = " + c.value);
        ApplyPropertyText(probe, c.property, c.value);
        EXPECT_EQ(PropertyValueText(probe, *d.FindProperty(c.property)), c.shown);
        if (c.property == "Mask.Data" && !c.value.empty()) {
            EXPECT_EQ(probe.Mask->Width(), 3);
            EXPECT_EQ(probe.Mask->Height(), 2);
        }
    }
    EXPECT_TRUE(probe.Mask->Empty());
}

// --- The range modifier of the property metadata ------------------------------------------

struct TRangeHolder : rtl::TPersistent {
    int8_t Small = 0;
    uint16_t Word = 0;
    std::string Text;
};

TEST(PropertyRange, FitsItsPropertyOrIsRefused) {
    using D = rtl::DeclareClass<TRangeHolder, rtl::TPersistent>;
    EXPECT_EQ(MessageOf<rtl::EPropertyError>([] { D("A").Property("Small", &TRangeHolder::Small).Range(0, 300); }),
              "Range 0..300 does not fit property Small");
    EXPECT_EQ(MessageOf<rtl::EPropertyError>([] { D("B").Property("Word", &TRangeHolder::Word).Range(-1, 10); }),
              "Range -1..10 does not fit property Word");
    EXPECT_EQ(MessageOf<rtl::EPropertyError>([] { D("C").Property("Small", &TRangeHolder::Small).Range(3, 2); }),
              "Range 3..2 does not fit property Small");
    EXPECT_EQ(MessageOf<rtl::EPropertyError>([] { D("D").Property("Text", &TRangeHolder::Text).Range(0, 1); }),
              "Invalid property type");

    const rtl::TClassInfo info = D("E")
                                     .Property("Small", &TRangeHolder::Small)
                                     .Range(-128, 127)
                                     .Property("Word", &TRangeHolder::Word)
                                     .Range(10, 20)
                                     .Build();
    const rtl::TPropInfo *small = info.FindProperty("Small");
    const rtl::TPropInfo *word = info.FindProperty("Word");
    EXPECT_EQ(small->MinValue, -128);
    EXPECT_EQ(small->MaxValue, 127);
    EXPECT_EQ(word->MinValue, 10);
    EXPECT_EQ(word->MaxValue, 20);
    EXPECT_EQ(word->OrdLow(), 0);
    EXPECT_EQ(word->OrdHigh(), 65535);
    // Without the modifier there is no declared range.
    const rtl::TClassInfo plain = D("F").Property("Word", &TRangeHolder::Word).Build();
    EXPECT_FALSE(plain.FindProperty("Word")->MinValue.has_value());
    EXPECT_FALSE(plain.FindProperty("Word")->MaxValue.has_value());
}

} // namespace
} // namespace qvt::test
