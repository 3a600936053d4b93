#include "core/model/JSONValue.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <unordered_set>

namespace quorilanth {
namespace {

using Kind = JSONValue::Kind;

struct ParseCase {
    const char* name;
    std::string text;
    JSONValue expected;
};

void PrintTo(const ParseCase& row, std::ostream* out) {
    *out << row.name;
}

class ParseAccepts : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseAccepts, GivesTheDenotedValue) {
    EXPECT_EQ(JSONValue::parse(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseAccepts,
    testing::Values(
        ParseCase{"True", "true", JSONValue(true)}, ParseCase{"One", "1", JSONValue(1.0)},
        ParseCase{"String", R"("x")", JSONValue("x")}, ParseCase{"Null", "null", JSONValue()},
        ParseCase{"SurroundingWhitespace", " \n\t[ 1 , 2 ]\r\n ",
                  JSONValue(JSONValue::Array{1, 2})},
        ParseCase{"TinyNumberUnderflowsToZero", "1e-400", JSONValue(0.0)},
        ParseCase{"HugeIntegerRoundsToNearestDouble", "9007199254740993",
                  JSONValue(9007199254740992.0)},
        ParseCase{"IntegerBeyond64Bits", "18446744073709551616", JSONValue(18446744073709551616.0)},
        ParseCase{"SurrogatePairEscape", R"("\ud83d\ude00")", JSONValue("\xF0\x9F\x98\x80")},
        ParseCase{"EscapedSlashAndControls", R"("a\/b\u0001\n")", JSONValue("a/b\x01\n")},
        ParseCase{"NullMemberIsKept", R"({"a":null})", JSONValue(JSONValue::Object{{"a", {}}})},
        ParseCase{"RepeatedKeyKeepsTheLast", R"({"a":1,"a":2})",
                  JSONValue(JSONValue::Object{{"a", 2}})},
        ParseCase{"NonASCIIText", "\"caf\xC3\xA9 \xE2\x82\xAC\"",
                  JSONValue("caf\xC3\xA9 \xE2\x82\xAC")}),
    [](const auto& info) { return info.param.name; });

struct RejectCase {
    const char* name;
    std::string text;
};

void PrintTo(const RejectCase& row, std::ostream* out) {
    *out << row.name;
}

class ParseRejects : public testing::TestWithParam<RejectCase> {};

TEST_P(ParseRejects, ThrowsParseError) {
    EXPECT_THROW(JSONValue::parse(GetParam().text), JSONParseError);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseRejects,
    testing::Values(RejectCase{"Empty", ""}, RejectCase{"LoneOpeningBrace", "{"},
                    RejectCase{"NumberBeyondDouble", "1e400"},
                    RejectCase{"NegativeNumberBeyondDouble", "-1.8e308"},
                    RejectCase{"TrailingContent", "[1] 2"}, RejectCase{"TrailingComma", "[1,]"},
                    RejectCase{"ZeroByteAfterValue", std::string("[1]\0[2]", 7)},
                    RejectCase{"ZeroByteInString", std::string("\"a\0b\"", 5)},
                    RejectCase{"SingleQuotes", "'a'"}, RejectCase{"NaNLiteral", "NaN"},
                    RejectCase{"LeadingPlus", "+1"}, RejectCase{"Comment", "[1 /* c */]"},
                    RejectCase{"InvalidUTF8", "\"\xFF\""},
                    RejectCase{"OverlongUTF8", "\"\xC0\xAF\""},
                    RejectCase{"EncodedSurrogate", "\"\xED\xA0\x80\""},
                    RejectCase{"TruncatedUTF8", "\"\xE2\x82\""},
                    RejectCase{"InvalidUTF8InKey", "{\"\xFF\":1}"},
                    RejectCase{"LoneHighSurrogate", R"("\ud800")"},
                    RejectCase{"LoneLowSurrogate", R"("\udc00")"},
                    RejectCase{"ReversedSurrogates", R"("\udc00\ud800")"},
                    RejectCase{"UnescapedControl", "\"a\nb\""}),
    [](const auto& info) { return info.param.name; });

std::string nested(std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

TEST(JSONValueNesting, AcceptsTheLimitAndEveryOperationCopesWithIt) {
    JSONValue deep = JSONValue::parse(nested(JSONValue::kMaxNesting));
    EXPECT_EQ(deep.depth(), JSONValue::kMaxNesting);
    JSONValue copy = JSONValue::parse(nested(JSONValue::kMaxNesting));
    EXPECT_EQ(deep, copy);
    EXPECT_EQ(deep.hash(), copy.hash());
    EXPECT_EQ(JSONValue::parse(deep.pretty()), deep);
}

TEST(JSONValueNesting, RefusesOneLevelBeyondTheLimit) {
    EXPECT_THROW(JSONValue::parse(nested(JSONValue::kMaxNesting + 1)), JSONParseError);
    std::string objects;
    for (std::size_t i = 0; i <= JSONValue::kMaxNesting; ++i)
        objects += "{\"a\":";
    objects += "1" + std::string(JSONValue::kMaxNesting + 1, '}');
    EXPECT_THROW(JSONValue::parse(objects), JSONParseError);
}

TEST(JSONValueNesting, RefusesTwoMegabytesOfOpeningBrackets) {
    try {
        JSONValue::parse(std::string(2'000'000, '['));
        FAIL() << "accepted";
    } catch (const JSONParseError& error) {
        EXPECT_EQ(error.offset(), JSONValue::kMaxNesting);
    }
}

TEST(JSONValueAccessors, SubscriptGivesNullWheneverThereIsNoMember) {
    JSONValue object = JSONValue::parse(R"({"a":{"b":[10,20]}})");
    for (const JSONValue& holder :
         {JSONValue(), JSONValue::parse("[1]"), JSONValue("a"), JSONValue::parse(R"({"x":1})")})
        EXPECT_TRUE(holder["a"].isNull());
    EXPECT_TRUE(object["missing"]["deeper"]["still"].isNull());
    EXPECT_EQ(object["a"]["b"][1], JSONValue(20));
    EXPECT_TRUE(object["a"]["b"][2].isNull());
    EXPECT_EQ(object.find("missing"), nullptr);
    ASSERT_NE(object.find("a"), nullptr);
}

TEST(JSONValueAccessors, EachAccessorAnswersOnlyForItsOwnCase) {
    struct Row {
        JSONValue value;
        bool object, string, number, boolean;
        std::size_t elements;
    };
    for (const Row& row : {
             Row{JSONValue::parse("{}"), true, false, false, false, 0},
             Row{JSONValue::parse("[1,2]"), false, false, false, false, 2},
             Row{JSONValue("1"), false, true, false, false, 0},
             Row{JSONValue(1), false, false, true, false, 0},
             Row{JSONValue(0), false, false, true, false, 0},
             Row{JSONValue(true), false, false, false, true, 0},
             Row{JSONValue(), false, false, false, false, 0},
         }) {
        SCOPED_TRACE(row.value.pretty());
        EXPECT_EQ(row.value.object() != nullptr, row.object);
        EXPECT_EQ(row.value.string() != nullptr, row.string);
        EXPECT_EQ(row.value.number().has_value(), row.number);
        EXPECT_EQ(row.value.boolean().has_value(), row.boolean);
        EXPECT_EQ(row.value.array().size(), row.elements);
    }
}

TEST(JSONValueText, PrettyAndTextOfScalarsAndContainers) {
    struct Row {
        JSONValue value;
        std::string pretty, text;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Row& row : {
             Row{JSONValue("\""), R"("\"")", "\""},
             Row{JSONValue("https://a.example/x"), R"("https://a.example/x")",
                 "https://a.example/x"},
             Row{JSONValue(3), "3", "3"},
             Row{JSONValue(0.5), "0.5", "0.5"},
             Row{JSONValue(), "null", "null"},
             Row{JSONValue::parse(R"({"b":1,"a":2})"), "{\n  \"a\" : 2,\n  \"b\" : 1\n}",
                 "{\n  \"a\" : 2,\n  \"b\" : 1\n}"},
             Row{JSONValue(JSONValue::Object{{"x", nan}}), "", ""},
             Row{JSONValue(std::numeric_limits<double>::infinity()), "", ""},
         }) {
        EXPECT_EQ(row.value.pretty(), row.pretty);
        EXPECT_EQ(row.value.text(), row.text);
    }
}

TEST(JSONValueEquality, StructuralWithConsistentHashes) {
    struct Row {
        const char* a;
        const char* b;
        bool equal;
    };
    for (const Row& row : {
             Row{R"({"a":1,"b":[true,null]})", R"({"b":[true,null],"a":1.0})", true},
             Row{"1", "1.0", true},
             Row{"0", "-0", true},
             Row{"[1,2]", "[2,1]", false},
             Row{"{}", "[]", false},
             Row{"1", "true", false},
             Row{"\"1\"", "1", false},
             Row{"null", "false", false},
             Row{R"({"a":null})", "{}", false},
         }) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        JSONValue a = JSONValue::parse(row.a), b = JSONValue::parse(row.b);
        EXPECT_EQ(a == b, row.equal);
        if (row.equal) {
            EXPECT_EQ(a.hash(), b.hash());
        }
    }
    JSONValue nan(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(nan == nan);
}

TEST(JSONValueEquality, DistinctValuesMostlyHashApart) {
    std::unordered_set<std::size_t> hashes;
    for (const char* text :
         {"null", "false", "true", "0", "1", "\"\"", "\"0\"", "[]", "{}", "[null]", "[[]]",
          R"({"":null})", R"({"a":1})", R"({"a":2})", R"({"b":1})"})
        hashes.insert(JSONValue::parse(text).hash());
    EXPECT_EQ(hashes.size(), 15u);
}

TEST(JSONValueSharing, CopiesShareUntilOneIsChanged) {
    JSONValue original = JSONValue::parse(R"({"list":[1,2],"name":"a"})");
    JSONValue copy = original;
    ASSERT_TRUE(copy["name"].sharedString()->sharesStorageWith(*original["name"].sharedString()));

    copy.set("name", "b");
    JSONValue list = copy["list"];
    list.append(3);
    copy.set("list", list);
    EXPECT_TRUE(copy.erase("name"));
    EXPECT_FALSE(copy.erase("name"));

    EXPECT_EQ(original, JSONValue::parse(R"({"list":[1,2],"name":"a"})"));
    EXPECT_EQ(copy, JSONValue::parse(R"({"list":[1,2,3]})"));
    JSONValue fresh = JSONValue::emptyObject();
    fresh.set("k", 1);
    EXPECT_EQ(JSONValue::emptyObject(), JSONValue::parse("{}"));
}

TEST(JSONValueRoundTrip, PrettyReadsBackAsTheSameValue) {
    for (const char* text :
         {R"({"z":[],"y":{},"x":[{"a":"\u0000\u001f\t\"\\/"}],"w":-1.5e-300,"v":1e+300})",
          R"(["\u2028\u2029", "\ud83d\ude00", 0.1, 123456789012, -0, false])"}) {
        JSONValue value = JSONValue::parse(text);
        EXPECT_EQ(JSONValue::parse(value.pretty()), value) << text;
    }
}

} // namespace
} // namespace quorilanth
