#include "core/base/JSONValue.h"

#include "support/SampleReports.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <variant>

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

// A value, or the message it was refused with.
using Outcome = std::variant<JSONValue, std::string>;

Outcome parsedWhole(const std::string& text) {
    try {
        return JSONValue::parse(text);
    } catch (const JSONParseError& error) {
        return error.message();
    }
}

Outcome parsedInPieces(const std::string& text, std::size_t piece) {
    std::size_t at = 0;
    try {
        return JSONValue::parse(
            [&](char* buffer, std::size_t capacity) {
                std::size_t count = std::min({piece, capacity, text.size() - at});
                std::memcpy(buffer, text.data() + at, count);
                at += count;
                return count;
            },
            JSONValue::kMaxNesting);
    } catch (const JSONParseError& error) {
        return error.message();
    }
}

// Whatever the pieces, a text read from a reader means what it means read
// whole, and a refused one is refused with the same words at the same offset.
TEST(JSONValueParse, InPiecesAgreesWithTheWholeText) {
    const std::string longText(70'000, 'x');
    std::vector<std::string> texts = {
        "\"" + longText + "\\u00e9\\ud83d\\ude00 caf\xC3\xA9\"",
        " [12345678901234567890.5e-3, -0, 1e-400, true, false, null] ",
        R"({"b":{"c":[1,{"d":"\\\"/\b\f\n\r\t"}]},"a":[]})",
        "\"" + longText + "\xE2\x82\"",
        "\"\\ud83d\"",
        "\"\\u12\"",
        "[1e400]",
        "[tru]",
        "nul",
        "[1,]",
        "{\"a\"",
        "{\"a\":1 x",
        "\"" + longText,
        std::string(600, '['),
    };
    for (int seed = 0; seed < 60; ++seed) {
        std::string text = samples::randomJSONValue(static_cast<std::uint64_t>(seed), 4).pretty();
        texts.push_back(text);
        texts.push_back(text.substr(0, text.size() / 2));
    }
    for (const std::string& text : texts) {
        const Outcome whole = parsedWhole(text);
        for (std::size_t piece : {1, 2, 3, 5, 4096}) {
            SCOPED_TRACE(text.substr(0, 60) + " in pieces of " + std::to_string(piece));
            EXPECT_EQ(parsedInPieces(text, piece), whole);
        }
    }
}

// Numbers are held in the value when whole and small enough, elsewhere
// otherwise; either way they come back exactly, sign of zero included.
TEST(JSONValueStorage, NumbersAndTextsComeBackExactlyInEveryForm) {
    for (double number : {0.0, -0.0, 1.0, -1.0, 0.5, 9007199254740992.0, -9007199254740992.0,
                          9007199254740994.0, 1e300, 5e-324, -1e-7}) {
        SCOPED_TRACE(number);
        JSONValue made(number);
        JSONValue read = JSONValue::parse("[" + made.pretty() + "]")[0];
        for (const JSONValue& value : {made, read}) {
            ASSERT_TRUE(value.number());
            EXPECT_EQ(*value.number(), number);
            EXPECT_EQ(std::signbit(*value.number()), std::signbit(number));
        }
        EXPECT_EQ(made.hash(), read.hash());
    }
    for (std::size_t length : {0, 7, 8, 3000, 3100, 70'000}) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; i += 5)
            text[i] = i % 2 ? '\0' : '"';
        SCOPED_TRACE(length);
        JSONValue made(text);
        JSONValue read = JSONValue::parse("[" + made.pretty() + "]")[0];
        for (const JSONValue& value : {made, read}) {
            EXPECT_EQ(value.string(), text);
            EXPECT_EQ(value.sharedString()->view(), text);
        }
        EXPECT_EQ(made, read);
        EXPECT_EQ(made.hash(), read.hash());
    }
}

// A part taken out of a read document keeps what it needs when the document
// and every other copy of it are gone.
TEST(JSONValueStorage, PartsOutliveTheirDocument) {
    JSONValue part;
    SharedString text;
    {
        JSONValue document =
            JSONValue::parse(R"({"list":[{"name":"a name too long to be inline","n":0.5}],"t":")" +
                             std::string(200, 't') + "\"}");
        part = document["list"][0];
        text = *document["t"].sharedString();
    }
    EXPECT_EQ(part["name"].string(), "a name too long to be inline");
    EXPECT_EQ(part["n"].number(), 0.5);
    EXPECT_EQ(text.view(), std::string(200, 't'));
}

// Objects keep their keys in byte order however they are made, a repeated key
// keeps its last member when read and its first when listed, and objects read
// with the same keys in other orders stay apart.
TEST(JSONValueStorage, MembersStayOrderedAndApart) {
    JSONValue::Object built{{"b", 1}, {"a", 2}, {"b", 3}};
    built["c"] = 4;
    built.insert_or_assign("a", 5);
    EXPECT_EQ(built.erase("b"), 1u);
    EXPECT_EQ(built.erase("b"), 0u);
    std::string keys;
    for (const auto& [key, member] : built)
        keys += key;
    EXPECT_EQ(keys, "ac");
    EXPECT_EQ(JSONValue(built), JSONValue::parse(R"({"c":4,"a":5})"));

    JSONValue read =
        JSONValue::parse(R"([{"b":1,"a":2},{"a":3,"b":4,"a":5},{"a":6},{"b":7,"a":8}])");
    JSONValue expected = JSONValue::parse("[]");
    for (auto [a, b] : {std::pair{2, 1}, {5, 4}, {6, 0}, {8, 7}}) {
        JSONValue member = JSONValue::emptyObject();
        member.set("a", a);
        if (b) member.set("b", b);
        expected.append(member);
    }
    EXPECT_EQ(read, expected);
    EXPECT_EQ(read.pretty(), expected.pretty());
    JSONValue first = read[0];
    first.set("a", 9);
    EXPECT_EQ(read[0]["a"], JSONValue(2));
    EXPECT_EQ(read[3]["a"], JSONValue(8));
}

} // namespace
} // namespace quorilanth
