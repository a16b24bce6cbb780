// Exceptions, integer conversion, message formatting and the arithmetic
// conventions of the original code.
#include <cmath>
#include <limits>

#include "qvt/rtl/arith.h"
#include "qvt/rtl/exceptions.h"
#include "runtime_test_support.h"

using namespace qvt::rtl;
using qvt::test::ExpectRaises;

namespace {

constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

TEST(StrToInt, AcceptsDecimalAndDollarHexWithOptionalSpacesAndSign) {
    const struct {
        const char *text;
        int32_t value;
    } cases[] = {
        {"0", 0},           {"42", 42},       {"  42", 42},         {"+7", 7},
        {"-5", -5},         {"   -5", -5},    {"007", 7},           {"$1F", 31},
        {"$ff", 255},       {"$Ff", 255},     {"-$10", -16},        {"+$10", 16},
        {"2147483647", kMaxInt}, {"-2147483648", kMinInt},
        {"$7FFFFFFF", kMaxInt}, {"$80000000", kMinInt}, {"$FFFFFFFF", -1}, {"$00000000FF", 255},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StrToInt(c.text), c.value);
    }
}

TEST(StrToInt, RejectsEverythingElseQuotingTheWholeInput) {
    const char *cases[] = {"",   " ",   "-",    "+",    "$",          "$-1",       "$ 1",       "1 ",
                           "$G1", "0x10", "- 5", "1.0", "\t5",        "5\t",       "--5",       "1e3",
                           "2147483648", "-2147483649", "$100000000", "99999999999999999999", "12a"};
    for (const char *text : cases) {
        SCOPED_TRACE(text);
        ExpectRaises<EConvertError>([&] { StrToInt(text); }, std::string("'") + text + "' is not a valid integer value");
        EXPECT_EQ(StrToIntDef(text, -77), -77);
    }
}

TEST(Exceptions, AbortRaisesTheSilentAbortWithItsMessage) {
    try {
        Abort();
        FAIL() << "Abort returned";
    } catch (const Exception &e) { // a catch-all handler still sees it
        EXPECT_NE(dynamic_cast<const EAbort *>(&e), nullptr);
        EXPECT_EQ(e.Message(), "Operation aborted");
        EXPECT_STREQ(e.what(), "Operation aborted");
    }
}

TEST(Exceptions, FamiliesAndDefaultMessages) {
    ExpectRaises<EStreamError>([] { throw EReadError(); }, "Stream read error");
    ExpectRaises<EFilerError>([] { throw EWriteError(); }, "Stream write error");
    ExpectRaises<EFilerError>([] { throw EClassNotFound("Class X not found"); }, "Class X not found");
    ExpectRaises<Exception>([] { throw EInvalidGraphic(); }, "Bitmap image is not valid");
    ExpectRaises<EInvalidOperation>([] { throw EInvalidGraphicOperation("Scan line index out of range"); },
                                    "Scan line index out of range");
    Exception e("first");
    e.SetMessage("second");
    EXPECT_STREQ(e.what(), "second");
}

TEST(Format, SubstitutesArgumentsAndRejectsMismatches) {
    EXPECT_EQ(Format("Cannot assign a %s to a %s", {"TFoo", std::string("TBar")}), "Cannot assign a TFoo to a TBar");
    EXPECT_EQ(Format("%d%% of %u, $%x", {-5, 10u, 255}), "-5% of 10, $FF");
    ExpectRaises<EConvertError>([] { Format("%d", {"text"}); });
    ExpectRaises<EConvertError>([] { Format("%s and %s", {"one"}); });
    ExpectRaises<EConvertError>([] { Format("trailing %", {}); });
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0xFFFFFFFF, 8), "FFFFFFFF");
}

TEST(Arith, RoundSendsHalvesToEven) {
    const struct {
        double x;
        int64_t r;
    } cases[] = {
        {0.5, 0},   {1.5, 2},   {2.5, 2},   {3.5, 4},   {-0.5, 0},  {-1.5, -2}, {-2.5, -2},
        {0.49999999999999994, 0}, {2.5000000001, 3}, {-2.5000000001, -3}, {1e15 + 0.5, 1000000000000000},
        {4503599627370497.0, 4503599627370497}, {-7.0, -7}, {9.2e18, 9200000000000000000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(Round(c.x), c.r);
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {std::nan(""), inf, -inf, 9.3e18, -9.3e18}) {
        SCOPED_TRACE(bad);
        ExpectRaises<EInvalidOp>([&] { Round(bad); }, "Invalid floating point operation");
        ExpectRaises<EInvalidOp>([&] { Trunc(bad); });
    }
    EXPECT_EQ(Trunc(-2.9), -2);
    EXPECT_EQ(Trunc(2.9), 2);
}

TEST(Arith, ShiftsActOnThe32BitValueWithCountMod32) {
    EXPECT_EQ(Shr(-8, 1), 0x7FFFFFFC);
    EXPECT_EQ(Shr(int16_t(-2), 1), 0x7FFFFFFF); // widened with sign first
    EXPECT_EQ(Shr(int8_t(-1), 28), 0xF);
    EXPECT_EQ(Shr(uint16_t(0xFFFF), 4), 0x0FFF);
    EXPECT_EQ(Shr(8, 33), 4);
    EXPECT_EQ(Shr(0x80000000u, 31), 1u);
    EXPECT_EQ(Shl(1, 31), kMinInt);
    EXPECT_EQ(Shl(3, 31), kMinInt); // bits shifted out are lost
    EXPECT_EQ(Shl(1, 32), 1);
    EXPECT_EQ(Shl(int16_t(-1), 16), int32_t(0xFFFF0000));
    static_assert(Shr(-8, 1) == 0x7FFFFFFC, "usable in constant expressions");
}

TEST(Arith, IntegerArithmeticWrapsModulo2To32) {
    EXPECT_EQ(AddWrap(kMaxInt, 1), kMinInt);
    EXPECT_EQ(SubWrap(kMinInt, 1), kMaxInt);
    EXPECT_EQ(MulWrap(0x10000, 0x10000), 0);
    EXPECT_EQ(MulWrap(-1, kMinInt), kMinInt);
    EXPECT_EQ(MulWrap(134775813, 134775813), int32_t(uint32_t(134775813u * 134775813u)));
    EXPECT_EQ(NegWrap(kMinInt), kMinInt);
    EXPECT_EQ(MulHigh32(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFEu);
    EXPECT_EQ(MulHigh32(0x80000000u, 10), 5u); // a value 0..N-1 from a 32-bit seed
}

TEST(Arith, DivAndModTruncateTowardZeroAndRaiseOnBadDivisors) {
    EXPECT_EQ(Div(-7, 2), -3);
    EXPECT_EQ(Mod(-7, 2), -1);
    EXPECT_EQ(Div(7, -2), -3);
    EXPECT_EQ(Mod(7, -2), 1);
    ExpectRaises<EDivByZero>([] { Div(1, 0); }, "Division by zero");
    ExpectRaises<EDivByZero>([] { Mod(1, 0); }, "Division by zero");
    ExpectRaises<EIntOverflow>([] { Div(kMinInt, -1); }, "Integer overflow");
}

TEST(SameText, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(SameText("tedDown", "TEDDOWN"));
    EXPECT_FALSE(SameText("abc", "abd"));
    EXPECT_FALSE(SameText("abc", "ab"));
}

} // namespace
