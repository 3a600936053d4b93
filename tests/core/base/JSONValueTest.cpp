#include "core/base/JSONValue.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

TEST(JSONValueParse, AcceptsWhatTheTextDenotes) {
    struct Row {
        std::string text;
        JSONValue expected;
    };
    for (const Row& row : {
             Row{"1e-400", JSONValue(0.0)},
             Row{"9007199254740993", JSONValue(9007199254740992.0)},
             Row{"18446744073709551616", JSONValue(18446744073709551616.0)},
             Row{R"("\ud83d\ude00")", JSONValue("\xF0\x9F\x98\x80")},
             Row{R"({"a":null})", JSONValue(JSONValue::Object{{"a", {}}})},
             Row{R"({"a":1,"a":2})", JSONValue(JSONValue::Object{{"a", 2}})},
         }) {
        EXPECT_EQ(JSONValue::parse(row.text), row.expected) << row.text;
    }
}

TEST(JSONValueParse, RefusesWhatIsNotStrictJSON) {
    for (const std::string& text :
         {std::string(), std::string("1e400"), std::string("-1.8e308"), std::string("[1] 2"),
          std::string("[1]\0[2]", 7), std::string("\"a\0b\"", 5), std::string("\"\xFF\""),
          std::string("\"\xC0\xAF\""), std::string("\"\xED\xA0\x80\""), std::string("\"\xE2\x82\""),
          std::string("{\"\xFF\":1}"), std::string(R"("\ud800")"), std::string(R"("\udc00")"),
          std::string(R"("\udc00\ud800")"), std::string("\"a\nb\"")}) {
        EXPECT_THROW(JSONValue::parse(text), JSONParseError) << text;
    }
}

std::string nested(std::size_t levels, const char* open = "[", const char* close = "]") {
    std::string text;
    for (std::size_t i = 0; i < levels; ++i)
        text += open;
    text += std::string(open) == "[" ? "" : "1";
    for (std::size_t i = 0; i < levels; ++i)
        text += close;
    return text;
}

TEST(JSONValueNesting, AcceptsTheLimitAndRefusesOneLevelMore) {
    JSONValue deep = JSONValue::parse(nested(JSONValue::kMaxNesting));
    JSONValue copy = JSONValue::parse(nested(JSONValue::kMaxNesting));
    EXPECT_EQ(deep.depth(), JSONValue::kMaxNesting);
    EXPECT_EQ(deep, copy);
    EXPECT_EQ(deep.hash(), copy.hash());
    EXPECT_EQ(JSONValue::parse(deep.pretty()), deep);

    EXPECT_THROW(JSONValue::parse(nested(JSONValue::kMaxNesting + 1)), JSONParseError);
    EXPECT_THROW(JSONValue::parse(nested(JSONValue::kMaxNesting + 1, "{\"a\":", "}")),
                 JSONParseError);
    try {
        JSONValue::parse(std::string(2'000'000, '['));
        FAIL() << "accepted";
    } catch (const JSONParseError& error) {
        EXPECT_EQ(error.offset(), JSONValue::kMaxNesting);
    }
}

TEST(JSONValueAccessors, SubscriptGivesNullWheneverThereIsNoMember) {
    JSONValue object = JSONValue::parse(R"({"a":{"b":[10,20]}})");
    for (const JSONValue& holder : {JSONValue(), JSONValue::parse("[1]"), JSONValue("a")})
        EXPECT_TRUE(holder["a"].isNull());
    EXPECT_TRUE(object["missing"]["deeper"]["still"].isNull());
    EXPECT_EQ(object["a"]["b"][1], JSONValue(20));
    EXPECT_TRUE(object["a"]["b"][2].isNull());
    EXPECT_EQ(object.find("missing"), nullptr);
}

// A number that is not finite has no JSON text: pretty() gives nothing rather
// than a text no reader accepts.
TEST(JSONValueText, PrettyAndTextOfStringsAndNonFiniteNumbers) {
    EXPECT_EQ(JSONValue("\"").pretty(), R"("\"")");
    EXPECT_EQ(JSONValue("\"").text(), "\"");
    EXPECT_EQ(
        JSONValue(JSONValue::Object{{"x", std::numeric_limits<double>::quiet_NaN()}}).pretty(), "");
    EXPECT_EQ(JSONValue(std::numeric_limits<double>::infinity()).text(), "");
}

TEST(JSONValueEquality, StructuralWithConsistentHashes) {
    struct Row {
        const char* a;
        const char* b;
        bool equal;
    };
    for (const Row& row : {
             Row{R"({"a":1,"b":[true,null]})", R"({"b":[true,null],"a":1.0})", true},
             Row{"0", "-0", true},
             Row{"[1,2]", "[2,1]", false},
             Row{"{}", "[]", false},
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

TEST(JSONValueSharing, CopiesShareUntilOneIsChanged) {
    const std::string name(4000, 'n'); // long enough to live on the heap, shared
    JSONValue original = JSONValue::parse(R"({"list":[1,2],"name":")" + name + "\"}");
    JSONValue copy = original;
    ASSERT_TRUE(copy["name"].sharedString()->sharesStorageWith(*original["name"].sharedString()));
    JSONValue list = copy["list"];
    list.append(3);
    copy.set("list", list);
    EXPECT_TRUE(copy.erase("name"));
    EXPECT_FALSE(copy.erase("name"));
    EXPECT_EQ(original, JSONValue::parse(R"({"list":[1,2],"name":")" + name + "\"}"));
    EXPECT_EQ(copy, JSONValue::parse(R"({"list":[1,2,3]})"));
    JSONValue fresh = JSONValue::emptyObject();
    fresh.set("k", 1);
    EXPECT_EQ(JSONValue::emptyObject(), JSONValue::parse("{}"));
}

} // namespace
} // namespace quorilanth
