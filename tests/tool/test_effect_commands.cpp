// qvt list, record and describe: the catalogue as text and JSON, records
// from effect names and property options, and records read back.
#include "tool_test_support.h"

#include "effect_choice.h"
#include "effect_listing.h"
#include "luma_mask.h"
#include "persist/qvtCatalog.h"

namespace qvt::tooltest {
namespace {

class EffectCommands : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        host::StartEngine();
        catalogue = TransitionCatalogue();
        ASSERT_FALSE(catalogue.empty());
    }

    // The record qvt record prints for these arguments.
    std::string record(const std::vector<std::string> &args) {
        std::vector<std::string> all = {"record"};
        all.insert(all.end(), args.begin(), args.end());
        Result r = qvt(all);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::vector<std::string> out = lines(r.out);
        EXPECT_EQ(out.size(), 1u) << r.out;
        return out.empty() ? std::string() : out.front();
    }

    // "Name = value" lines of qvt describe, by property name.
    std::map<std::string, std::string> describe(const std::string &rec, std::string *heading = nullptr) {
        Result r = qvt({"describe", rec});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::map<std::string, std::string> values;
        const std::vector<std::string> out = lines(r.out);
        if (heading && !out.empty()) *heading = out.front();
        for (size_t i = 1; i < out.size(); ++i) {
            const size_t eq = out[i].find(" = ");
            EXPECT_EQ(out[i].rfind("  ", 0), 0u) << out[i];
            if (eq == std::string::npos || out[i].size() < 2) {
                ADD_FAILURE() << "not a property line: " << out[i];
                continue;
            }
            values[out[i].substr(2, eq - 2)] = out[i].substr(eq + 3);
        }
        return values;
    }

    std::vector<TTransitionDescription> catalogue;
};

std::string bytesOf(const std::vector<uint8_t> &bytes) { return std::string(bytes.begin(), bytes.end()); }

// How describe shows a value given on the command line.
std::string shownValue(const TPropertyDescription &p, const std::string &value) {
    return p.Kind == TPropertyKind::String ? "\"" + value + "\"" : value;
}

std::string heading(const TTransitionDescription &d) {
    return "Effect: " + d.DisplayName + " (" + d.ClassName + ", code " + d.Code + ")";
}

TEST_F(EffectCommands, ListShowsEveryClassWithItsProperties) {
    Result r = qvt({"list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> out = lines(r.out);
    for (const TTransitionDescription &d : catalogue) {
        SCOPED_TRACE(d.ClassName);
        // The class's line and what the effect does, then two lines per
        // property: name, kind, default, what it accepts; what it does.
        const std::string head = (d.Code.empty() ? "--" : d.Code) + "  " + d.DisplayName + " (" + d.ClassName;
        auto at = std::find_if(out.begin(), out.end(), [&](const std::string &l) { return l.rfind(head, 0) == 0; });
        ASSERT_NE(at, out.end()) << r.out;
        ASSERT_GE(static_cast<size_t>(out.end() - at), 2 * d.Properties.size() + 2);
        EXPECT_EQ(*++at, "    " + host::EffectSummary(d.ClassName));
        for (const TPropertyDescription &p : d.Properties) {
            const std::string &line = *++at;
            EXPECT_EQ(*++at, "        " + host::PropertyMeaning(d.ClassName, p.Name)) << p.Name;
            std::istringstream words(line);
            std::string name, kind, word, value;
            words >> name >> kind >> word >> value;
            EXPECT_EQ(name, p.Name) << line;
            EXPECT_EQ(kind, PropertyKindName(p.Kind)) << line;
            EXPECT_EQ(word, "default") << line;
            if (p.Kind != TPropertyKind::String) {
                EXPECT_EQ(value, p.Default) << line;
            }
            EXPECT_TRUE(line.ends_with("accepts " + p.Allowed)) << line;
        }
    }
}

TEST_F(EffectCommands, EveryEffectAndPropertySaysWhatItDoes) {
    for (const TTransitionDescription &d : catalogue) {
        EXPECT_NE(host::EffectSummary(d.ClassName), "") << d.ClassName;
        for (const TPropertyDescription &p : d.Properties)
            EXPECT_NE(host::PropertyMeaning(d.ClassName, p.Name), "") << d.ClassName << "." << p.Name;
    }
    // A class's own meaning comes before the general one; names it does not
    // know get none.
    EXPECT_NE(host::PropertyMeaning("TFuseTransition", "Style"), host::PropertyMeaning("", "Style"));
    EXPECT_EQ(host::PropertyMeaning("TCircleTransition", "Reversed"), host::PropertyMeaning("", "Reversed"));
    EXPECT_EQ(host::PropertyMeaning("TBlendTransition", "Sparkle"), "");
    EXPECT_EQ(host::EffectSummary("TSparkleTransition"), "");
}

// What the JSON list says, reduced by python3 to one line per effect and per
// property, and the same made from the catalogue in-process.
constexpr const char *kJsonDigest = R"(
import json, sys
data = json.load(open(sys.argv[1], encoding='utf-8'))
for e in data['effects']:
    print('effect', e['code'], e['className'], e['shortName'], e['displayName'], e['description'], sep='|')
    for p in e['properties']:
        fields = [p['name'], p['kind'], p['default'], p['allowed'], str(p['meaning'])]
        if p['kind'] == 'integer': fields += [str(p['min']), str(p['max'])]
        if 'values' in p: fields += [','.join(p['values']), ','.join(p['accepted'])]
        print('property', *fields, sep='|')
)";

std::string expectedDigest(const std::vector<TTransitionDescription> &catalogue) {
    auto orNone = [](const std::string &s) { return s.empty() ? std::string("None") : s; };
    auto joined = [](const std::vector<std::string> &items) {
        std::string s;
        for (const std::string &item : items) s += (s.empty() ? "" : ",") + item;
        return s;
    };
    std::string out;
    for (const TTransitionDescription &d : catalogue) {
        out += "effect|" + orNone(d.Code) + "|" + d.ClassName + "|" + orNone(d.ShortName) + "|" + d.DisplayName + "|" +
               orNone(host::EffectSummary(d.ClassName)) + "\n";
        for (const TPropertyDescription &p : d.Properties) {
            out += "property|" + p.Name + "|" + std::string(PropertyKindName(p.Kind)) + "|" + p.Default + "|" +
                   p.Allowed + "|" + orNone(host::PropertyMeaning(d.ClassName, p.Name));
            if (p.Kind == TPropertyKind::Integer) out += "|" + std::to_string(p.Min) + "|" + std::to_string(p.Max);
            if (p.Kind == TPropertyKind::Boolean || p.Kind == TPropertyKind::Enumeration ||
                p.Kind == TPropertyKind::Set)
                out += "|" + joined(p.Values) + "|" + joined(p.Accepted);
            out += "\n";
        }
    }
    return out;
}

// Without python3: strings closed, brackets balanced and nested properly,
// nothing after the top-level object.
bool looksLikeJson(const std::string &text) {
    std::string open;
    bool inString = false;
    size_t end = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (inString) {
            if (ch == '\\') ++i;
            else if (ch == '"') inString = false;
            else if (static_cast<unsigned char>(ch) < 0x20) return false;
            continue;
        }
        if (end != std::string::npos && !std::isspace(static_cast<unsigned char>(ch))) return false;
        if (ch == '"') inString = true;
        else if (ch == '{' || ch == '[') open += ch;
        else if (ch == '}' || ch == ']') {
            if (open.empty() || open.back() != (ch == '}' ? '{' : '[')) return false;
            open.pop_back();
            if (open.empty()) end = i;
        }
    }
    return !inString && open.empty() && end != std::string::npos && text.front() == '{';
}

TEST_F(EffectCommands, ListAsJsonSaysWhatTheCatalogueSays) {
    Result r = qvt({"list", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(looksLikeJson(r.out)) << r.out;
    for (const TTransitionDescription &d : catalogue)
        EXPECT_NE(r.out.find(host::JsonString(d.DisplayName)), std::string::npos) << d.DisplayName;

    if (run({"python3", "-c", "pass"}, {}, dir).status != 0) GTEST_SKIP() << "no python3 to read the JSON with";
    writeFile(dir / "list.json", r.out);
    Result digest = run({"python3", "-c", kJsonDigest, path("list.json")}, {}, dir);
    ASSERT_EQ(digest.status, 0) << digest.err;
    EXPECT_EQ(digest.out, expectedDigest(catalogue));
}

TEST(JsonString, EscapesWhatJsonMustAndKeepsUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"Alpha blend", "\"Alpha blend\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\b", "\"a\\\\b\""},
        {"two\nlines\tand\r", "\"two\\nlines\\tand\\r\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {std::string("nul\0here", 8), "\"nul\\u0000here\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\x9e", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\x9e\""},
        // Not UTF-8: a stray byte, a cut sequence, an overlong form, a
        // surrogate, past U+10FFFF.
        {"\xff", "\"\\ufffd\""},
        {"x\xc3", "\"x\\ufffd\""},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"", "\"\""},
    };
    for (const auto &[text, json] : cases) EXPECT_EQ(host::JsonString(text), json) << text;
}

TEST_F(EffectCommands, RecordFromNamesAndOptions) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"Alpha blend", "--ms", "1000"}, "QVTS203E80300"},
        {{"03"}, "QVTS10300"},
        {{"alpha BLEND"}, "QVTS10300"},
        {{"TBlendTransition", "--Milliseconds", "500"}, "QVTS203F40100"},
        {{"crossfade", "--MILLISECONDS=500"}, "QVTS203F40100"},
        {{"03", "--milliseconds", "500"}, "QVTS203F40100"},
        {{"03", "--ms", "0"}, "QVTS10300"},
        {{"03", "--ms", "100", "--ms", "200"}, "QVTS203C80000"},
        {{"03", "--ms", "-1"}, "QVTS203FFFF00"},
    };
    for (const auto &[args, expected] : cases) {
        std::string shown;
        for (const std::string &a : args) shown += " " + a;
        SCOPED_TRACE("qvt record" + shown);
        EXPECT_EQ(record(args), expected);
    }
}

TEST_F(EffectCommands, DescribeShowsTheClassAndEveryValue) {
    const TTransitionDescription *blend = FindTransition(catalogue, "03");
    ASSERT_NE(blend, nullptr);
    const std::pair<std::string, std::string> durations[] = {
        {"QVTS203E80300", "1000"}, {"QVTS10300", "0"}, {"", "1000"} /* no record: the default effect */};
    for (const auto &[rec, ms] : durations) {
        SCOPED_TRACE(rec);
        std::string head;
        const std::map<std::string, std::string> values = describe(rec, &head);
        EXPECT_EQ(head, heading(*blend));
        ASSERT_EQ(values.size(), blend->Properties.size());
        for (const TPropertyDescription &p : blend->Properties) {
            ASSERT_TRUE(values.count(p.Name)) << p.Name;
            EXPECT_EQ(values.at(p.Name), p.Name == "Milliseconds" ? ms : shownValue(p, p.Default)) << p.Name;
        }
    }
}

// Whether a new effect of the class takes the value (an integer in range may
// still be refused by the new effect's other settings, as a sub-style beyond
// the default style's count).
bool newEffectTakes(const TTransitionDescription &d, const TPropertyDescription &p, const std::string &value) {
    std::unique_ptr<rtl::TPersistent> object = d.Class->Create();
    try {
        ApplyPropertyText(dynamic_cast<TTransitionEffect &>(*object), p.Name, value);
    } catch (const EPropertyValueError &) {
        return false;
    }
    return true;
}

// A value other than the default of a new effect that a property accepts;
// empty when there is none to try from the command line.
std::string otherValue(const TTransitionDescription &d, const TPropertyDescription &p) {
    switch (p.Kind) {
    case TPropertyKind::Integer: {
        for (int64_t v : {int64_t{-7}, int64_t{123}, p.Max, p.Min})
            if (v >= p.Min && v <= p.Max && std::to_string(v) != p.Default && newEffectTakes(d, p, std::to_string(v)))
                return std::to_string(v);
        return "";
    }
    case TPropertyKind::Boolean:
    case TPropertyKind::Enumeration:
        for (auto it = p.Accepted.rbegin(); it != p.Accepted.rend(); ++it)
            if (*it != p.Default) return *it;
        return "";
    case TPropertyKind::Set:
        if (p.Accepted.empty()) return "";
        return p.Default == "[" + p.Accepted.back() + "]" ? "[]" : "[" + p.Accepted.back() + "]";
    case TPropertyKind::String: return p.Default == "two words" ? "other" : "two words";
    case TPropertyKind::Float: return p.Default == "2.5" ? "-0.25" : "2.5";
    case TPropertyKind::Binary: return ""; // a file: the editor's tests cover it
    }
    return "";
}

TEST_F(EffectCommands, RecordThenDescribeGivesTheSameValues) {
    for (const TTransitionDescription &d : catalogue) {
        if (d.Code.empty()) continue;
        // Every property on its own: the others read as on a new effect with
        // that one value set (which is their default, unless a getter reads
        // another property, as the wipe's band width reads the direction).
        for (const TPropertyDescription &p : d.Properties) {
            std::string value = otherValue(d, p);
            if (value.empty()) continue;
            if (p.Name == "OVMaskFileName") {
                // The name is read as the effect takes it: a mask file must be there.
                writeFile(dir / value, bytesOf(host::GreyBmpFile(host::GreyImage(2, 2))));
                value = path(value);
            }
            SCOPED_TRACE(d.ClassName + " --" + p.Name + " " + value);
            const std::string rec = record({d.Code, "--" + p.Name, value});
            std::string head;
            const std::map<std::string, std::string> values = describe(rec, &head);
            EXPECT_EQ(head, heading(d));
            std::unique_ptr<rtl::TPersistent> object = rtl::FindClass(d.ClassName).Create();
            auto &expected = dynamic_cast<TTransitionEffect &>(*object);
            ApplyPropertyText(expected, p.Name, value);
            for (const TPropertyDescription &q : d.Properties) {
                ASSERT_TRUE(values.count(q.Name)) << q.Name;
                EXPECT_EQ(values.at(q.Name), shownValue(q, &q == &p ? value : PropertyValueText(expected, q)))
                    << q.Name;
            }
        }
    }
    // Several at once, names in any case, in the order given.
    const std::string rec = record(
        {"Alpha blend", "--passsetting", "teTwoPasses", "--ENABLED", "false", "--Tag=-7", "--ms", "1", "--ms", "750"});
    const std::map<std::string, std::string> values = describe(rec);
    EXPECT_EQ(values.at("PassSetting"), "teTwoPasses");
    EXPECT_EQ(values.at("Enabled"), "False");
    EXPECT_EQ(values.at("Tag"), "-7");
    EXPECT_EQ(values.at("Milliseconds"), "750");
    EXPECT_EQ(values.at("FlickerFreeWhenDisabled"), "False");
}

TEST_F(EffectCommands, DescribeRefusesMalformedRecordsWithTheDecodersWords) {
    const std::pair<const char *, const char *> cases[] = {
        {"QVTX10300", "Wrong signature"},
        {"QVTS303", "Wrong format version '3'"},
        {"QVTS19900", "Transition '99' not found"},
        {"QVTS2garbage", "Transition 'ga' not found"},
        {"QVTS1030", "Stream read error"},
    };
    for (const auto &[rec, message] : cases) {
        SCOPED_TRACE(rec);
        Result r = qvt({"describe", rec});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        // The decoder's word, then what a record looks like.
        EXPECT_EQ(r.err, std::string("qvt: ") + message + "\nqvt: " + host::kRecordShape + "\n");
    }
}

} // namespace
} // namespace qvt::tooltest
