// ReadProperty: values reaching published setters, dotted names through
// object-valued properties, the bitmap's "Data" defined property, and the
// reader's errors (each followed by a property that still reads, showing
// that the failed value was skipped).
#include <string>
#include <vector>

#include "persist_test_support.h"

using namespace qvt;
using namespace qvt::rtl;
using namespace qvt::test;

namespace {

// Reads the properties of list (up to its end byte) into obj.
void ReadList(TPersistent &obj, const Bytes &list, bool wrap = false) {
    TReadOnlyMemoryStream stream(list.Data().data(), list.Size());
    TReader reader(stream, 1024);
    reader.SetWrapPropertyErrors(wrap);
    while (!reader.EndOfList()) reader.ReadProperty(obj);
    reader.ReadListEnd();
}

TEST(ReadProperty, IntegersOfAnyWidthAreStoredAtThePropertysSize) {
    const struct {
        const char *name;
        Bytes value;
        int64_t expected;
    } cases[] = {
        {"Milliseconds", Bytes().Int8(-1), -1},
        {"Milliseconds", Bytes().Int16(1000), 1000},
        {"Milliseconds", Bytes().Int32(-2000000000), -2000000000},
        {"Level", Bytes().Int8(-1), 65535}, // Word
        {"Level", Bytes().Int16(-2), 65534},
        {"Level", Bytes().Int32(70000), 4464},
        {"Offset", Bytes().Int16(200), -56}, // ShortInt
        {"Offset", Bytes().Int8(-128), -128},
        {"Small", Bytes().Int8(-1), 255}, // Byte
        {"Small", Bytes().Int32(0x1234), 0x34},
        {"Count", Bytes().Int8(-1), 4294967295LL}, // Cardinal
        {"Tag", Bytes().Int32(-7), -7},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TProbeEffect obj(nullptr);
        ReadList(obj, Bytes().Name(c.name).Append(c.value).End());
        EXPECT_EQ(GetOrdProp(obj, c.name), c.expected);
    }
}

TEST(ReadProperty, NamesAreMatchedWithoutRegardToCase) {
    TProbeEffect obj(nullptr);
    ReadList(obj, Bytes()
                      .Name("MILLISECONDS").Int16(250)
                      .Name("direction").Ident("TEDLEFT")
                      .Name("options.LABEL").Str("x")
                      .Name("mAsK.dAtA").Binary(SamplePictureData())
                      .End());
    EXPECT_EQ(obj.Milliseconds, 250);
    EXPECT_EQ(obj.Direction, tedLeft);
    EXPECT_EQ(obj.options->label, "x");
    EXPECT_EQ(obj.mask->Width(), 3);
}

TEST(ReadProperty, EnumerationsTakeNamesAndPassUnknownOnesUnchecked) {
    const struct {
        const char *what;
        Bytes value;
        int arrival;         // what the setter received
        TTEEffectDirection stored;
    } cases[] = {
        {"allowed name", Bytes().Ident("tedDown"), tedDown, tedDown},
        {"name in another case", Bytes().Ident("TedUp"), tedUp, tedUp},
        {"name the setter refuses", Bytes().Ident("tedIn"), tedIn, tedRight},
        {"unknown name", Bytes().Ident("tedSideways"), 255, tedRight},
        {"empty name", Bytes().Ident(""), 255, tedRight},
        {"True is a name too", Bytes().True(), 255, tedRight},
        {"so is Null", Bytes().Null(), 255, tedRight},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TProbeEffect obj(nullptr);
        obj.SetDirection(tedRight);
        ReadList(obj, Bytes().Name("Direction").Append(c.value).End());
        EXPECT_EQ(obj.directionArrivals, std::vector<int>{c.arrival});
        EXPECT_EQ(obj.Direction, c.stored);
    }
}

TEST(ReadProperty, BooleansTakeFalseTrueAndNames) {
    const struct {
        Bytes value;
        bool initial;
        bool expected;
    } cases[] = {
        {Bytes().True(), false, true},
        {Bytes().False(), true, false},
        {Bytes().Ident("true"), false, true},
        {Bytes().Ident("FALSE"), true, false},
        // An unknown name is ordinal -1, a non-zero byte.
        {Bytes().Ident("Maybe"), false, true},
        {Bytes().Nil(), false, true},
    };
    for (const auto &c : cases) {
        TProbeEffect obj(nullptr);
        obj.Reversed = c.initial;
        obj.Enabled = c.initial;
        ReadList(obj, Bytes().Name("Reversed").Append(c.value).Name("Enabled").Append(c.value).End());
        EXPECT_EQ(obj.Reversed, c.expected);
        EXPECT_EQ(obj.Enabled, c.expected);
    }
}

TEST(ReadProperty, StringsTakeEveryStringKind) {
    const struct {
        Bytes value;
        std::string expected;
    } cases[] = {
        {Bytes().Str("mask.bmp"), "mask.bmp"},
        {Bytes().LStr(std::string(1000, 'm')), std::string(1000, 'm')},
        {Bytes().Utf8("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9"},
        {Bytes().WStr({0xE9, 't', 0xE9}), "\xC3\xA9t\xC3\xA9"},
        {Bytes().Str(""), ""},
    };
    for (const auto &c : cases) {
        TProbeEffect obj(nullptr);
        obj.caption = "old";
        ReadList(obj, Bytes().Name("Caption").Append(c.value).End());
        EXPECT_EQ(obj.caption, c.expected);
    }
}

TEST(ReadProperty, SetsFloatsAndObjectReferences) {
    TProbeEffect obj(nullptr);
    TProbeOptions other;
    obj.link = &other;
    ReadList(obj, Bytes()
                      .Name("Shades").Set({"psDark", "PSLIGHT", "psUnknown"})
                      .Name("Ratio").Extended(0xC000000000000000ULL, 0x3FFF)
                      .Name("Link").Nil()
                      .End());
    EXPECT_EQ(obj.shades, (TProbeShades{psLight, psDark}));
    EXPECT_DOUBLE_EQ(obj.ratio, 1.5);
    EXPECT_EQ(obj.link, nullptr);
    EXPECT_EQ(obj.linkSets, 1);

    ReadList(obj, Bytes().Name("Shades").Set({}).Name("Ratio").Single(0.5f).Name("Ratio").Int8(-2).End());
    EXPECT_TRUE(obj.shades.Empty());
    EXPECT_DOUBLE_EQ(obj.ratio, -2.0);
}

TEST(ReadProperty, ComponentPropertiesOfTheBase) {
    TProbeEffect obj(nullptr);
    ReadList(obj, Bytes().Name("Name").Str("Fade1").Name("Tag").Int16(12).Name("Enabled").False().End());
    EXPECT_EQ(obj.Name(), "Fade1");
    EXPECT_EQ(obj.Tag(), 12);
    EXPECT_FALSE(obj.Enabled);
    // The component's own rule applies: its message comes through.
    ExpectRaises<EComponentError>([&] { ReadList(obj, Bytes().Name("Name").Str("1 bad").End()); },
                                  "'1 bad' is not a valid component name");
}

TEST(ReadProperty, DottedNamesChangeTheInnerObjectInPlace) {
    TProbeEffect obj(nullptr);
    TProbeOptions *const before = obj.options.get();
    obj.options->inner = std::make_unique<TProbeInner>();
    TProbeOptions linked;
    obj.link = &linked;
    ReadList(obj, Bytes()
                      .Name("Options.Size").Int32(-40000)
                      .Name("Options.Label").LStr("inside")
                      .Name("Options.Flag").True()
                      .Name("Options.Inner.Size").Int8(5)
                      .Name("Link.Size").Int8(9)
                      .End());
    EXPECT_EQ(obj.options.get(), before);
    EXPECT_EQ(obj.options->size, -40000);
    EXPECT_EQ(obj.options->label, "inside");
    EXPECT_TRUE(obj.options->flag);
    EXPECT_EQ(obj.options->inner->size, 5);
    EXPECT_EQ(linked.size, 9);
    EXPECT_EQ(obj.linkSets, 0) << "the outer property's setter is not called";
}

TEST(ReadProperty, ABitmapTakesItsPictureThroughTheDataProperty) {
    TProbeEffect obj(nullptr);
    ReadList(obj, Bytes().Name("Mask.Data").Binary(SamplePictureData()).Name("Milliseconds").Int8(3).End());
    ASSERT_EQ(obj.mask->Width(), 3);
    ASSERT_EQ(obj.mask->Height(), 2);
    const auto *row = static_cast<const uint8_t *>(obj.mask->ScanLine(0));
    EXPECT_EQ(row[3 + 2], 0xFF);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(obj.Milliseconds, 3);

    // An empty picture (inner size 0) empties the bitmap.
    ReadList(obj, Bytes().Name("Mask.Data").Binary({0, 0, 0, 0}).End());
    EXPECT_TRUE(obj.mask->Empty());
}

// Each bad property is followed by one that must still be read.
TEST(ReadProperty, ErrorsSkipTheValueAndCarryTheReadersMessage) {
    const std::vector<uint8_t> picture = SamplePictureData();
    std::vector<uint8_t> notAPicture = picture;
    notAPicture[4] = 'X'; // the "BM" of the file header
    std::vector<uint8_t> shortPicture = picture;
    shortPicture[0] = static_cast<uint8_t>(shortPicture[0] + 1); // inner size one byte too long
    const struct {
        const char *what;
        Bytes property;
        const char *message;
    } cases[] = {
        {"unknown property", Bytes().Name("Nope").Int8(1), "Property does not exist"},
        {"unknown property with a list", Bytes().Name("Nope").Type(vaList).Str("a").Type(vaList).End().End(),
         "Property does not exist"},
        {"empty name", Bytes().Name("").Int8(1), "Property does not exist"},
        {"unknown inner property", Bytes().Name("Options.Nope").Int8(1), "Property does not exist"},
        {"empty inner name", Bytes().Name("Options.").Int8(1), "Property does not exist"},
        {"defined property of another object", Bytes().Name("Data").Binary({0, 0, 0, 0}), "Property does not exist"},
        {"unknown bitmap property", Bytes().Name("Mask.Pixels").Binary({0, 0, 0, 0}), "Property does not exist"},
        {"path through a nil object", Bytes().Name("Spare.Size").Int8(1), "Invalid property path"},
        {"path through the nil Pass2Options", Bytes().Name("Pass2Options.Reversed").True(), "Invalid property path"},
        {"path through a nil inner object", Bytes().Name("Options.Inner.Size").Int8(1), "Invalid property path"},
        {"path through an integer", Bytes().Name("Milliseconds.Size").Int8(1), "Invalid property path"},
        {"path through a string", Bytes().Name("Caption.Length").Int8(1), "Invalid property path"},
        {"path through an unknown name", Bytes().Name("Nope.Size").Int8(1), "Invalid property path"},
        {"leading dot", Bytes().Name(".Size").Int8(1), "Invalid property path"},
        {"read-only integer", Bytes().Name("Version").Int8(1), "Property is read-only"},
        {"read-only object", Bytes().Name("Options").Nil(), "Property is read-only"},
        {"integer from a string", Bytes().Name("Milliseconds").Str("1000"), "Invalid property value"},
        {"integer from an identifier", Bytes().Name("Milliseconds").Ident("clRed"), "Invalid property value"},
        {"integer from a 64-bit value", Bytes().Name("Milliseconds").Int64(1), "Invalid property value"},
        {"integer from a float", Bytes().Name("Milliseconds").Extended(0x8000000000000000ULL, 0x3FFF),
         "Invalid property value"},
        {"integer from True", Bytes().Name("Level").True(), "Invalid property value"},
        {"enumeration from an integer", Bytes().Name("Direction").Int8(3), "Invalid property value"},
        {"enumeration from a string", Bytes().Name("Direction").Str("tedDown"), "Invalid property value"},
        {"boolean from an integer", Bytes().Name("Reversed").Int8(1), "Invalid property value"},
        {"string from an identifier", Bytes().Name("Caption").Ident("abc"), "Invalid property value"},
        {"string from an integer", Bytes().Name("Options.Label").Int8(1), "Invalid property value"},
        {"set from an identifier", Bytes().Name("Shades").Ident("psDark"), "Invalid property value"},
        {"float from a string", Bytes().Name("Ratio").Str("0.5"), "Invalid property value"},
        {"object from an identifier", Bytes().Name("Link").Ident("Other"), "Invalid property value"},
        {"object from a collection", Bytes().Name("Link").Type(vaCollection).End(), "Invalid property value"},
        {"binary property from a string", Bytes().Name("Mask.Data").LStr("BM"), "Invalid property value"},
        {"binary property from an integer", Bytes().Name("Mask.Data").Int8(0), "Invalid property value"},
        {"picture that is no picture", Bytes().Name("Mask.Data").Binary(notAPicture), "Bitmap image is not valid"},
        {"picture longer than its value", Bytes().Name("Mask.Data").Binary(shortPicture), "Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TProbeEffect obj(nullptr);
        const Bytes list = Bytes().Append(c.property).Name("Milliseconds").Int16(777).End();
        TReadOnlyMemoryStream stream(list.Data().data(), list.Size());
        TReader reader(stream, 1024);
        ExpectRaises<Exception>([&] { reader.ReadProperty(obj); }, c.message);
        ASSERT_FALSE(reader.EndOfList());
        reader.ReadProperty(obj);
        EXPECT_EQ(obj.Milliseconds, 777);
        reader.ReadListEnd();
    }
}

TEST(ReadProperty, ReaderErrorsAreReadErrors) {
    const Bytes cases[] = {
        Bytes().Name("Nope").Int8(1),
        Bytes().Name("Spare.Size").Int8(1),
        Bytes().Name("Version").Int8(1),
        Bytes().Name("Milliseconds").Str(""),
        Bytes().Name("Milliseconds").Type(0x30),
        Bytes().Name("Milliseconds"),
        Bytes{12, 'M', 'i', 'l', 'l'},
    };
    for (const Bytes &c : cases) {
        TProbeEffect obj(nullptr);
        TReadOnlyMemoryStream stream(c.Data().data(), c.Size());
        TReader reader(stream, 1024);
        ExpectRaises<EReadError>([&] { reader.ReadProperty(obj); });
    }
}

TEST(ReadProperty, MissingDataAndUnknownTypes) {
    const struct {
        const char *what;
        Bytes bytes;
        const char *message;
    } cases[] = {
        {"name cut", Bytes{12, 'M', 'i', 'l', 'l'}, "Stream read error"},
        {"no value", Bytes().Name("Milliseconds"), "Stream read error"},
        {"value cut", Bytes().Name("Milliseconds").Raw({vaInt32, 1, 2}), "Stream read error"},
        {"string past the end", Bytes().Name("Caption").Raw({vaString, 10, 'a'}), "Stream read error"},
        {"long string past the end", Bytes().Name("Caption").Type(vaLString).Long(0xFFFFFF00), "Stream read error"},
        {"binary past the end", Bytes().Name("Mask.Data").Type(vaBinary).Long(0x7FFFFFFF).Long(4), "Stream read error"},
        {"set without its end", Bytes().Name("Shades").Raw({vaSet, 6, 'p', 's', 'D', 'a', 'r', 'k'}), "Stream read error"},
        {"unknown value type", Bytes().Name("Milliseconds").Type(21).Int8(1), "Invalid property value"},
        {"unknown value type in a string property", Bytes().Name("Caption").Type(0xEE), "Invalid property value"},
        {"unknown value type for a binary", Bytes().Name("Mask.Data").Type(0x80), "Invalid property value"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TProbeEffect obj(nullptr);
        TReadOnlyMemoryStream stream(c.bytes.Data().data(), c.bytes.Size());
        TReader reader(stream, 1024);
        ExpectRaises<EReadError>([&] { reader.ReadProperty(obj); }, c.message);
    }
}

TEST(ReadProperty, TheErrorWrapperNamesTheObjectAndThePath) {
    const struct {
        const char *name; // of the component; empty: the class name is used
        Bytes property;
        const char *wrapped;
    } cases[] = {
        {"", Bytes().Name("Foo").Int8(1), "Error reading TProbeEffect.Foo: Property does not exist"},
        {"Fade1", Bytes().Name("Options.Nope").Int8(1), "Error reading Fade1.Options.Nope: Property does not exist"},
        {"", Bytes().Name("Pass2Options.Reversed").True(),
         "Error reading TProbeEffect.Pass2Options.Reversed: Invalid property path"},
        {"", Bytes().Name("Version").Int8(1), "Error reading TProbeEffect.Version: Property is read-only"},
        {"", Bytes().Name("Caption").Int8(1), "Error reading TProbeEffect.Caption: Invalid property value"},
        {"", Bytes().Name("Caption").Raw({vaString, 10, 'a'}), "Error reading TProbeEffect.Caption: Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.wrapped);
        TProbeEffect obj(nullptr);
        obj.SetName(c.name);
        const Bytes list = Bytes().Append(c.property).End();
        ExpectRaises<EReadError>([&] { ReadList(obj, list, true); }, c.wrapped);
        // Off by default: the inner text alone.
        TReadOnlyMemoryStream stream(list.Data().data(), list.Size());
        TReader reader(stream, 16);
        EXPECT_FALSE(reader.WrapPropertyErrors());
        try {
            reader.ReadProperty(obj);
            ADD_FAILURE() << "no exception";
        } catch (const Exception &e) {
            EXPECT_EQ(std::string(c.wrapped).substr(std::string(c.wrapped).find(": ") + 2), e.Message());
        }
    }
    // A damaged name has no path to name: not wrapped.
    TProbeEffect obj(nullptr);
    ExpectRaises<EReadError>([&] { ReadList(obj, Bytes{4, 'N'}, true); }, "Stream read error");
    // Non-persistent objects are named by their class.
    TProbeOptions options;
    ExpectRaises<EReadError>([&] { ReadList(options, Bytes().Name("Nope").Int8(1).End(), true); },
                             "Error reading TProbeOptions.Nope: Property does not exist");
}

} // namespace
