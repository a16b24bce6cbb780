// Records as data from outside: random texts, random property lists behind a
// valid header, every truncation of a valid record, lengths running past the
// end, unknown value types and oversized texts. Each one either decodes or
// ends in an exception of the library's family with a message; never a
// crash, a leak or an allocation the record's size does not justify.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "persist/qvtPers.h"
#include "persist_test_support.h"

using namespace qvt;
using namespace qvt::rtl;
using namespace qvt::test;

namespace {

enum class Outcome { Decoded, Raised };

// Decodes the record; any exception outside the library's family fails the
// test.
Outcome TryDecode(const std::string &record, std::string *message = nullptr) {
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
        EXPECT_NE(effect, nullptr);
        return Outcome::Decoded;
    } catch (const Exception &e) {
        EXPECT_EQ(effect, nullptr);
        EXPECT_FALSE(e.Message().empty());
        if (message) *message = e.Message();
        return Outcome::Raised;
    } catch (const std::exception &e) {
        ADD_FAILURE() << "foreign exception: " << e.what();
    }
    return Outcome::Raised;
}

class Malformed : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterStandIns();
        liveBefore_ = TProbeEffect::live;
    }
    void TearDown() override { EXPECT_EQ(TProbeEffect::live, liveBefore_) << "an effect outlived its decoding"; }

private:
    int liveBefore_ = 0;
};

// A record using most of what the reader knows.
Bytes RichList() {
    return Bytes()
        .Name("Milliseconds").Int16(1500)
        .Name("Direction").Ident("tedDown")
        .Name("Reversed").True()
        .Name("Caption").LStr("star")
        .Name("Shades").Set({"psDark"})
        .Name("Ratio").Extended(0xC000000000000000ULL, 0x3FFF)
        .Name("Options.Label").Str("in")
        .Name("Mask.Data").Binary(SamplePictureData())
        .End();
}

TEST_F(Malformed, RandomTexts) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 80);
    for (int i = 0; i < 3000; ++i) {
        std::string record(static_cast<size_t>(length(rng)), '\0');
        for (char &ch : record) ch = static_cast<char>(byte(rng));
        // Half of them behind a plausible header, so that they get further.
        if (i % 2 && record.size() >= 7) record.replace(0, 7, i % 4 == 1 ? "QVTS114" : "QVTS214");
        TryDecode(record);
    }
}

// Random property lists assembled from fragments the reader cares about.
TEST_F(Malformed, RandomPropertyListsBehindAValidHeader) {
    const std::vector<Bytes> fragments = {
        Bytes().Name("Milliseconds"), Bytes().Name("Direction"), Bytes().Name("Caption"),
        Bytes().Name("Mask.Data"),    Bytes().Name("Options.Size"), Bytes().Name("Spare.Size"),
        Bytes().Name("Pass2Options.Reversed"), Bytes().Name("Nope"), Bytes().Name("Shades"),
        Bytes().Name("Link"),         Bytes().Int8(-1),  Bytes().Int16(1000), Bytes().Int32(-5),
        Bytes().Ident("tedUp"),       Bytes().Str("x"),  Bytes().True(),     Bytes().Nil(),
        Bytes().Binary({1, 2, 3}),    Bytes().Set({"psLight"}), Bytes().Type(vaList), Bytes().Type(vaCollection),
        Bytes().Type(vaLString).Long(0xFFFFFFFF), Bytes().Type(vaWString).Long(0x7FFFFFFF),
        Bytes().Type(vaBinary).Long(0x10), Bytes{0}, Bytes{0}, Bytes{21}, Bytes{0xFF},
        Bytes().Binary(SamplePictureData()),
    };
    std::mt19937 rng(77);
    std::uniform_int_distribution<size_t> pick(0, fragments.size() - 1);
    std::uniform_int_distribution<int> count(0, 12), version(0, 1), raw(0, 255);
    int decoded = 0, raised = 0;
    for (int i = 0; i < 3000; ++i) {
        Bytes list;
        const int n = count(rng);
        for (int k = 0; k < n; ++k) {
            list.Append(fragments[pick(rng)]);
            if (k % 5 == 4) list.Type(static_cast<uint8_t>(raw(rng)));
        }
        (TryDecode(WipeRecord(version(rng) ? '2' : '1', list)) == Outcome::Decoded ? decoded : raised)++;
    }
    // The generator must reach both ends, or it tests little.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(raised, 0);
}

TEST_F(Malformed, EveryTruncationOfAValidRecordFails) {
    const std::string full = WipeRecord('1', RichList());
    ASSERT_EQ(TryDecode(full), Outcome::Decoded);
    for (size_t cut = 7; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::string message;
        ASSERT_EQ(TryDecode(full.substr(0, cut), &message), Outcome::Raised);
        EXPECT_EQ(message, "Stream read error");
    }
}

TEST_F(Malformed, LengthsPastTheEndAndUnknownValueTypes) {
    const struct {
        const char *what;
        Bytes list;
        const char *message;
    } cases[] = {
        {"short string", Bytes().Name("Caption").Raw({vaString, 200, 'a', 'b'}), "Stream read error"},
        {"identifier", Bytes().Name("Direction").Raw({vaIdent, 7, 't', 'e', 'd'}), "Stream read error"},
        {"name", Bytes{0xFF, 'M', 'i', 'l'}, "Stream read error"},
        {"long string", Bytes().Name("Caption").Type(vaLString).Long(0xFFFFFFFF).Chars("abc").End(),
         "Stream read error"},
        {"long string, 2 GB", Bytes().Name("Caption").Type(vaLString).Long(0x80000000).End(), "Stream read error"},
        {"wide string", Bytes().Name("Caption").Type(vaWString).Long(0x7FFFFFFF).LE('a', 2).End(),
         "Stream read error"},
        {"utf-8 string", Bytes().Name("Caption").Type(vaUTF8String).Long(5).Chars("ab").End(), "Stream read error"},
        {"binary", Bytes().Name("Mask.Data").Type(vaBinary).Long(0xFFFFFFF0).Long(8).End(), "Stream read error"},
        {"picture inside its binary", Bytes().Name("Mask.Data").Binary({0xFF, 0xFF, 0xFF, 0x7F, 'B', 'M'}).End(),
         "Stream read error"},
        {"skipped long string", Bytes().Name("Nope").Type(vaLString).Long(0xFFFFFFFF).End(), "Property does not exist"},
        {"skipped binary in a list", Bytes().Name("Nope").Type(vaList).Type(vaBinary).Long(0x7FFFFFFF).End(),
         "Property does not exist"},
        {"unknown type 21", Bytes().Name("Milliseconds").Type(21).End(), "Invalid property value"},
        {"unknown type 0xFF", Bytes().Name("Caption").Type(0xFF).End(), "Invalid property value"},
        {"unknown type for a binary", Bytes().Name("Mask.Data").Type(0x40).End(), "Invalid property value"},
        {"unknown type in a set", Bytes().Name("Shades").Type(0x16).End(), "Invalid property value"},
        {"type byte where the list should end", Bytes().Name("Milliseconds").Int8(1).Type(0x99), "Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string message;
        ASSERT_EQ(TryDecode(WipeRecord('1', c.list), &message), Outcome::Raised);
        EXPECT_EQ(message, c.message);
    }
}

TEST_F(Malformed, OversizedTexts) {
    // A long but valid list: the last value wins.
    Bytes many;
    for (int i = 0; i < 60000; ++i) many.Name("Milliseconds").Int32(i);
    many.End();
    const std::string big = WipeRecord('1', many);
    ASSERT_GT(big.size(), 1500000u);
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, big.data(), static_cast<int>(big.size()));
    EXPECT_EQ(effect->Milliseconds, 59999);
    effect.reset();

    const struct {
        const char *what;
        std::string record;
        const char *message;
    } cases[] = {
        {"a megabyte of non-digits", "QVTS114" + std::string(1 << 20, 'Z'), "'$ZZ' is not a valid integer value"},
        {"a megabyte of bytes after a long string that claims 4 GB",
         WipeRecord('1', Bytes().Name("Caption").Type(vaLString).Long(0xFFFFFFFF).Raw(std::vector<uint8_t>(1 << 19, 'a'))),
         "Stream read error"},
        {"a list nested 300000 deep under an unknown name",
         WipeRecord('1', [] {
             Bytes b = Bytes().Name("Nope");
             for (int i = 0; i < 300000; ++i) b.Type(vaList);
             return b;
         }()),
         "Property does not exist"},
        {"an odd megabyte", "QVTS114" + std::string((1 << 20) + 1, '0'), "Stream read error"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string message;
        ASSERT_EQ(TryDecode(c.record, &message), Outcome::Raised);
        EXPECT_EQ(message, c.message);
    }
}

} // namespace
