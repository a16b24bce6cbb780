// The property-stream reader on hand-made bytes: every value kind, skipping
// (nested lists and collections included), buffering, and the errors of
// damaged values.
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "persist_test_support.h"

using namespace qvt::rtl;
using namespace qvt::test;

namespace {

// A reader over a copy of the bytes, with a small buffer so that values
// cross buffer refills.
struct Over {
    explicit Over(const Bytes &b, int bufSize = 3)
        : bytes(b.Data()), stream(bytes.data(), bytes.size()), reader(stream, bufSize) {}
    std::vector<uint8_t> bytes;
    TReadOnlyMemoryStream stream;
    TReader reader;
};

TEST(ReaderValues, IntegersOfEveryWidthAreSignExtended) {
    const struct {
        Bytes bytes;
        int64_t expected;
    } cases[] = {
        {Bytes().Int8(0), 0},
        {Bytes().Int8(-1), -1},
        {Bytes().Int8(127), 127},
        {Bytes().Int8(-128), -128},
        {Bytes().Int16(1000), 1000},
        {Bytes().Int16(-32768), -32768},
        {Bytes().Int16(0xFFFF), -1},
        {Bytes().Int32(40000), 40000},
        {Bytes().Int32(-2147483648LL), -2147483648LL},
        {Bytes().Int32(0xFFFFFFFF), -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        Over a(c.bytes);
        EXPECT_EQ(a.reader.ReadInteger(), c.expected);
        EXPECT_EQ(a.reader.Remaining(), 0);
        Over b(c.bytes);
        EXPECT_EQ(b.reader.ReadInt64(), c.expected);
    }
    Over big(Bytes().Int64(-5000000000LL));
    EXPECT_EQ(big.reader.ReadInt64(), -5000000000LL);
    // An Integer reader does not take a 64-bit value.
    Over narrow(Bytes().Int64(1).Int8(9));
    ExpectRaises<EReadError>([&] { narrow.reader.ReadInteger(); }, "Invalid property value");
    EXPECT_EQ(narrow.reader.ReadInteger(), 9) << "the refused value was skipped";
}

TEST(ReaderValues, ExtendedFloatsConvertToDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        uint64_t significand;
        uint16_t signExponent;
        double expected;
    } cases[] = {
        {0x8000000000000000ULL, 0x3FFF, 1.0},
        {0xA000000000000000ULL, 0xC000, -2.5},
        {0xC000000000000000ULL, 0x3FFE, 0.75},
        {0x8000000000000000ULL, 0x4008, 512.0},
        {0xFA00000000000000ULL, 0x4008, 1000.0},
        {0, 0, 0.0},
        {0, 0x8000, -0.0},
        {0x8000000000000000ULL, 0x7FFF, inf},
        {0x8000000000000000ULL, 0xFFFF, -inf},
        // Beyond the double range: to infinity and to zero.
        {0x8000000000000000ULL, 0x7FFE, inf},
        {0x8000000000000000ULL, 0x0001, 0.0},
        // The smallest normal double, and a double denormal.
        {0x8000000000000000ULL, 0x3FFF - 1022, 0x1p-1022},
        {0x8000000000000000ULL, 0x3FFF - 1074, 0x1p-1074},
        // A 64-bit significand rounds to 53 bits.
        {0xFFFFFFFFFFFFFFFFULL, 0x3FFF, 2.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        Over r(Bytes().Extended(c.significand, c.signExponent));
        const double v = r.reader.ReadFloat();
        EXPECT_EQ(v, c.expected);
        EXPECT_EQ(std::signbit(v), std::signbit(c.expected));
    }
    Over nan(Bytes().Extended(0xC000000000000000ULL, 0x7FFF));
    EXPECT_TRUE(std::isnan(nan.reader.ReadFloat()));
}

TEST(ReaderValues, OtherFloatKindsAndIntegersReadAsFloats) {
    const struct {
        Bytes bytes;
        double expected;
    } cases[] = {
        {Bytes().Single(1.5f), 1.5},
        {Bytes().Single(-0.25f), -0.25},
        {Bytes().Date(36526.5), 36526.5},
        {Bytes().Currency(12345678), 1234.5678},
        {Bytes().Currency(-10000), -1.0},
        {Bytes().Int8(-3), -3.0},
        {Bytes().Int32(100000), 100000.0},
        {Bytes().Int64(1LL << 40), 1099511627776.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        Over r(c.bytes);
        EXPECT_DOUBLE_EQ(r.reader.ReadFloat(), c.expected);
        EXPECT_EQ(r.reader.Remaining(), 0);
    }
    Over cur(Bytes().Currency(-12345).Int16(3));
    EXPECT_EQ(cur.reader.ReadCurrency(), -12345);
    EXPECT_EQ(cur.reader.ReadCurrency(), 30000) << "an integer is scaled to the fixed-point value";
}

TEST(ReaderValues, StringsOfEveryKindReadAsUtf8) {
    const std::string longText(300, 'x');
    const struct {
        Bytes bytes;
        std::string expected;
    } cases[] = {
        {Bytes().Str(""), ""},
        {Bytes().Str("tedDown"), "tedDown"},
        {Bytes().LStr(longText), longText},
        {Bytes().LStr(""), ""},
        {Bytes().Utf8("h\xC3\xA9llo"), "h\xC3\xA9llo"},
        {Bytes().WStr({'A', 0x00E9, 0x20AC}), "A\xC3\xA9\xE2\x82\xAC"},
        // A surrogate pair, then unpaired surrogates.
        {Bytes().WStr({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
        {Bytes().WStr({0xD83D, 'a'}), "\xEF\xBF\xBD" "a"},
        {Bytes().WStr({0xDE00}), "\xEF\xBF\xBD"},
        {Bytes().WStr({'z', 0xD83D}), "z\xEF\xBF\xBD"},
        {Bytes().WStr({}), ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        Over r(c.bytes);
        EXPECT_EQ(r.reader.ReadString(), c.expected);
        EXPECT_EQ(r.reader.Remaining(), 0);
    }
}

TEST(ReaderValues, IdentifiersAndTheNamedConstants) {
    Over r(Bytes().Ident("tedUp").False().True().Nil().Null().Ident(""));
    EXPECT_EQ(r.reader.ReadIdent(), "tedUp");
    EXPECT_EQ(r.reader.ReadIdent(), "False");
    EXPECT_EQ(r.reader.ReadIdent(), "True");
    EXPECT_EQ(r.reader.ReadIdent(), "nil");
    EXPECT_EQ(r.reader.ReadIdent(), "Null");
    EXPECT_EQ(r.reader.ReadIdent(), "");
    Over b(Bytes().True().False());
    EXPECT_TRUE(b.reader.ReadBoolean());
    EXPECT_FALSE(b.reader.ReadBoolean());
}

TEST(ReaderValues, BinaryValues) {
    std::vector<uint8_t> big(5000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    Over r(Bytes().Binary({1, 2, 3}).Binary({}).Binary(big));
    EXPECT_EQ(r.reader.ReadBinary(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(r.reader.ReadBinary().empty());
    EXPECT_EQ(r.reader.ReadBinary(), big);
}

TEST(ReaderValues, ShortStringsListsAndTheirEnd) {
    Over r(Bytes().Type(vaList).Int8(1).Str("a").End().Short("Name").End());
    EXPECT_EQ(r.reader.NextValue(), vaList);
    r.reader.ReadListBegin();
    EXPECT_FALSE(r.reader.EndOfList());
    EXPECT_EQ(r.reader.ReadInteger(), 1);
    EXPECT_EQ(r.reader.ReadString(), "a");
    EXPECT_TRUE(r.reader.EndOfList());
    EXPECT_TRUE(r.reader.EndOfList()) << "EndOfList does not consume";
    r.reader.ReadListEnd();
    EXPECT_EQ(r.reader.ReadStr(), "Name");
    r.reader.ReadListEnd();
    ExpectRaises<EReadError>([&] { r.reader.EndOfList(); }, "Stream read error");

    Over notEnd(Bytes().Int8(4).Int8(5));
    ExpectRaises<EReadError>([&] { notEnd.reader.ReadListEnd(); }, "Invalid property value");
    EXPECT_EQ(notEnd.reader.ReadInteger(), 5);
}

// Skipping must consume exactly one value, whatever its kind.
TEST(ReaderValues, SkipValuePassesOverExactlyOneValueOfEveryKind) {
    const Bytes collection = Bytes()
                                 .Type(vaCollection)
                                 .Type(vaList).Name("Size").Int8(1).Name("Label").Str("x").End()
                                 .Int16(7).Type(vaList).Name("Items").Type(vaList).Int8(1).Type(vaList).End().End().End()
                                 .Type(vaList).End()
                                 .End();
    const struct {
        const char *what;
        Bytes value;
    } cases[] = {
        {"null", Bytes().Null()},
        {"empty list", Bytes().Type(vaList).End()},
        {"nested list", Bytes().Type(vaList).Int8(1).Type(vaList).Str("s").Type(vaList).End().End().Int32(5).End()},
        {"int8", Bytes().Int8(-1)},
        {"int16", Bytes().Int16(300)},
        {"int32", Bytes().Int32(70000)},
        {"extended", Bytes().Extended(0x8000000000000000ULL, 0x3FFF)},
        {"string", Bytes().Str("abc")},
        {"ident", Bytes().Ident("tedDown")},
        {"false", Bytes().False()},
        {"true", Bytes().True()},
        {"binary", Bytes().Binary({0, 0, 0, 9})},
        {"set", Bytes().Set({"psLight", "psDark"})},
        {"empty set", Bytes().Set({})},
        {"long string", Bytes().LStr(std::string(600, 'q'))},
        {"nil", Bytes().Nil()},
        {"collection", collection},
        {"empty collection", Bytes().Type(vaCollection).End()},
        {"single", Bytes().Single(2.0f)},
        {"currency", Bytes().Currency(1)},
        {"date", Bytes().Date(1.0)},
        {"wide string", Bytes().WStr({'a', 'b', 0})},
        {"int64", Bytes().Int64(-1)},
        {"utf-8 string", Bytes().Utf8("\xC3\xA9")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (int bufSize : {1, 3, 1024}) {
            Over r(Bytes().Append(c.value).Int8(42), bufSize);
            r.reader.SkipValue();
            EXPECT_EQ(r.reader.Position(), static_cast<int64_t>(c.value.Size()));
            EXPECT_EQ(r.reader.ReadInteger(), 42);
        }
    }
}

TEST(ReaderValues, DeeplyNestedListsAreSkippedWithoutRecursion) {
    constexpr int kDepth = 200000;
    Bytes deep;
    for (int i = 0; i < kDepth; ++i) deep.Type(vaList);
    for (int i = 0; i < kDepth; ++i) deep.End();
    deep.Int8(1);
    Over r(deep, 1024);
    r.reader.SkipValue();
    EXPECT_EQ(r.reader.ReadInteger(), 1);

    // Never closed: the data runs out.
    Bytes open;
    for (int i = 0; i < kDepth; ++i) open.Type(vaCollection).Type(vaList);
    Over o(open, 1024);
    ExpectRaises<EReadError>([&] { o.reader.SkipValue(); }, "Stream read error");
}

TEST(ReaderValues, ValuesOfTheWrongKindAreRefusedAndSkipped) {
    using Read = std::function<void(TReader &)>;
    const Read readInteger = [](TReader &r) { r.ReadInteger(); };
    const Read readString = [](TReader &r) { r.ReadString(); };
    const Read readIdent = [](TReader &r) { r.ReadIdent(); };
    const Read readFloat = [](TReader &r) { r.ReadFloat(); };
    const Read readBinary = [](TReader &r) { r.ReadBinary(); };
    const Read readBoolean = [](TReader &r) { r.ReadBoolean(); };
    const struct {
        const char *what;
        Bytes value;
        Read read;
    } cases[] = {
        {"string as integer", Bytes().Str("12"), readInteger},
        {"ident as integer", Bytes().Ident("tedDown"), readInteger},
        {"extended as integer", Bytes().Extended(0x8000000000000000ULL, 0x3FFF), readInteger},
        {"true as integer", Bytes().True(), readInteger},
        {"list as integer", Bytes().Type(vaList).Int8(1).End(), readInteger},
        {"ident as string", Bytes().Ident("abc"), readString},
        {"integer as string", Bytes().Int32(5), readString},
        {"binary as string", Bytes().Binary({1, 2}), readString},
        {"string as ident", Bytes().Str("tedDown"), readIdent},
        {"integer as ident", Bytes().Int8(3), readIdent},
        {"set as ident", Bytes().Set({"a"}), readIdent},
        {"string as float", Bytes().Str("1.5"), readFloat},
        {"string as binary", Bytes().LStr("data"), readBinary},
        {"ident as boolean", Bytes().Ident("True"), readBoolean},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Over r(Bytes().Append(c.value).Int8(42));
        ExpectRaises<EReadError>([&] { c.read(r.reader); }, "Invalid property value");
        EXPECT_EQ(r.reader.ReadInteger(), 42);
    }
}

TEST(ReaderValues, UnknownTypeBytesAndMissingDataRaise) {
    const struct {
        const char *what;
        Bytes bytes;
        const char *message;
    } cases[] = {
        {"type 21", Bytes{21, 0, 0, 0, 0}, "Invalid property value"},
        {"type 0x7F", Bytes{0x7F}, "Invalid property value"},
        {"type 0xFF", Bytes{0xFF, 1}, "Invalid property value"},
        {"unknown type inside a list", Bytes().Type(vaList).Int8(1).Type(0x40).End(), "Invalid property value"},
        {"no type byte", Bytes(), "Stream read error"},
        {"int16 cut", Bytes{vaInt16, 1}, "Stream read error"},
        {"int32 cut", Bytes{vaInt32, 1, 2, 3}, "Stream read error"},
        {"int64 cut", Bytes{vaInt64, 1, 2, 3, 4, 5, 6, 7}, "Stream read error"},
        {"extended cut", Bytes{vaExtended, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF}, "Stream read error"},
        {"single cut", Bytes{vaSingle, 0}, "Stream read error"},
        {"date cut", Bytes{vaDate, 0, 0}, "Stream read error"},
        {"currency cut", Bytes{vaCurrency}, "Stream read error"},
        {"short string past the end", Bytes{vaString, 5, 'a', 'b'}, "Stream read error"},
        {"ident past the end", Bytes{vaIdent, 255}, "Stream read error"},
        {"long string past the end", Bytes().Type(vaLString).Long(4).Chars("abc"), "Stream read error"},
        {"long string of 4 GB", Bytes().Type(vaLString).Long(0xFFFFFFFF).Chars("abc"), "Stream read error"},
        {"utf-8 string past the end", Bytes().Type(vaUTF8String).Long(0x7FFFFFFF), "Stream read error"},
        {"wide string past the end", Bytes().Type(vaWString).Long(2).LE('a', 2).LE('b', 1), "Stream read error"},
        {"wide string whose byte count overflows 32 bits", Bytes().Type(vaWString).Long(0x80000001).LE('a', 2),
         "Stream read error"},
        {"binary past the end", Bytes().Type(vaBinary).Long(0x10000).Raw({1, 2, 3}), "Stream read error"},
        {"length cut", Bytes{vaLString, 1, 0}, "Stream read error"},
        {"set without its end", Bytes{vaSet, 1, 'a', 2, 'b', 'c'}, "Stream read error"},
        {"set element past the end", Bytes{vaSet, 9, 'a'}, "Stream read error"},
        {"list without its end", Bytes().Type(vaList).Int8(1).Int8(2), "Stream read error"},
        {"collection item without vaList", Bytes().Type(vaCollection).Int8(0).Int8(1).End(), "Invalid property value"},
        {"collection item cut", Bytes().Type(vaCollection).Type(vaList).Name("Size"), "Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Over r(c.bytes);
        ExpectRaises<EReadError>([&] { r.reader.SkipValue(); }, c.message);
    }
    // The typed readers check lengths the same way.
    Over s(Bytes().Type(vaLString).Long(0xFFFFFFF0).Chars("abc"));
    ExpectRaises<EReadError>([&] { s.reader.ReadString(); }, "Stream read error");
    Over w(Bytes().Type(vaWString).Long(0x80000000));
    ExpectRaises<EReadError>([&] { w.reader.ReadString(); }, "Stream read error");
    Over b(Bytes().Type(vaBinary).Long(0xFFFFFFFF));
    ExpectRaises<EReadError>([&] { b.reader.ReadBinary(); }, "Stream read error");
    Over n(Bytes{5, 'a'});
    ExpectRaises<EReadError>([&] { n.reader.ReadStr(); }, "Stream read error");
    Over t(Bytes{0x99});
    ExpectRaises<EReadError>([&] { t.reader.NextValue(); }, "Invalid property value");
}

TEST(ReaderValues, TheStreamIsLeftJustAfterWhatWasConsumed) {
    const Bytes bytes = Bytes().Int8(1).Str("abc").Int32(9).Int8(2);
    TMemoryStream stream;
    stream.WriteBuffer(bytes.Data().data(), static_cast<int64_t>(bytes.Size()));
    stream.SetPosition(0);
    {
        TReader reader(stream, 1024); // reads everything into its buffer
        EXPECT_EQ(reader.ReadInteger(), 1);
        EXPECT_EQ(reader.ReadString(), "abc");
        EXPECT_EQ(reader.Position(), 7);
    }
    EXPECT_EQ(stream.Position(), 7);
    TReader again(stream, 2);
    EXPECT_EQ(again.ReadInteger(), 9);
    EXPECT_EQ(again.ReadInteger(), 2);
    EXPECT_EQ(again.Remaining(), 0);
}

TEST(ReaderValues, ABufferSizeBelowOneStillReads) {
    const Bytes bytes = Bytes().Int16(-2).LStr("hello");
    for (int bufSize : {0, -5, 1}) {
        SCOPED_TRACE(bufSize);
        Over r(bytes, bufSize);
        EXPECT_EQ(r.reader.ReadInteger(), -2);
        EXPECT_EQ(r.reader.ReadString(), "hello");
    }
}

} // namespace
