#include "core/base/JSONValue.h"

#include "support/SampleReports.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <rapidjson/document.h>
#include <variant>

namespace quorilanth {
namespace {

using namespace std::string_literals;

// A value, or the message it was refused with; read whole or, when piece > 0,
// from a reader that hands out at most `piece` bytes at a time.
using Outcome = std::variant<JSONValue, std::string>;
Outcome parsed(const std::string& text, std::size_t piece = 0) {
    std::size_t at = 0;
    auto reader = [&](char* buffer, std::size_t capacity) {
        const std::size_t count = std::min({piece, capacity, text.size() - at});
        std::memcpy(buffer, text.data() + at, count);
        return at += count, count;
    };
    try {
        return piece ? JSONValue::parse(reader, JSONValue::kMaxNesting) : JSONValue::parse(text);
    } catch (const JSONParseError& error) {
        return error.message();
    }
}

JSONValue fromReference(const rapidjson::Value& value) {
    JSONValue out = value.IsObject() ? JSONValue::emptyObject() : JSONValue::emptyArray();
    if (value.IsObject())
        for (const auto& m : value.GetObject())
            out.set({m.name.GetString(), m.name.GetStringLength()}, fromReference(m.value));
    else if (value.IsArray())
        for (const auto& element : value.GetArray())
            out.append(fromReference(element));
    else
        out = value.IsString()
                  ? JSONValue(std::string_view(value.GetString(), value.GetStringLength()))
              : value.IsNumber() ? JSONValue(value.GetDouble())
              : value.IsBool()   ? JSONValue(value.GetBool())
                                 : JSONValue();
    return out;
}

// RapidJSON's strict reader must agree on which mutants to accept, read whole or
// in pieces, and on their meaning, down to the hash of a built and a read value.
// It ends texts at a zero byte and lets lone low surrogates through: those are left out.
TEST(JSONValueParse, AgreesWithTheReferenceReaderOnMutatedDocuments) {
    std::mt19937_64 random(7);
    const std::string seeds[] = {
        R"({"a":[1,-2.5e3,true,false,null],"b":{"c":"d\n\u00e9\ud83d\ude00"}})",
        R"([0,-0,0.1,1e10,"\"\\\/\b\f\n\r\t",{}])", "\"caf\xC3\xA9\"",
        R"(["1234567","12345678",9007199254740994,-1e-7,"\u0000\")" + std::string(3100, 'a') +
            "\"]"};
    const std::string alphabet = "{}[]:,\"\\/ \n0123456789-+.eEtrufalsnbu"
                                 "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\x01";
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        std::string text =
            round % 5 == 4 ? samples::randomJSONValue(round, 3).pretty() : seeds[round % 4];
        for (std::size_t edits = 1 + pick(3); edits > 0; --edits) {
            const std::size_t at = pick(text.size() + 1), op = at < text.size() ? pick(3) : 0;
            const char c = alphabet[pick(alphabet.size())];
            op == 0   ? void(text.insert(at, 1, c))
            : op == 1 ? void(text.erase(at, 1))
                      : void(text[at] = c);
        }
        const Outcome own = parsed(text);
        const auto* message = std::get_if<std::string>(&own);
        if (text.find('\0') != std::string::npos ||
            (message && message->find("Lone surrogate") != std::string::npos))
            continue;
        rapidjson::Document reference;
        reference.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag |
                        rapidjson::kParseFullPrecisionFlag>(text.c_str());
        EXPECT_EQ(message == nullptr, !reference.HasParseError()) << text;
        if (const JSONValue* value = std::get_if<JSONValue>(&own);
            value && !reference.HasParseError()) {
            const JSONValue built = fromReference(reference);
            EXPECT_TRUE(*value == built && value->hash() == built.hash()) << text;
        }
        EXPECT_EQ(parsed(text, 1 + round % 5), own) << text;
    }
}

// What the differential test cannot tell: exact numbers at the edges,
// surrogates, repeated keys, unequal values, raw zero bytes and nesting beyond the limit.
TEST(JSONValueParse, AcceptsWhatTheTextDenotesWithinTheNestingLimit) {
    const std::size_t limit = JSONValue::kMaxNesting;
    for (const auto& [text, expected] : std::initializer_list<std::pair<std::string, JSONValue>>{
             {"1e-400", 0.0},
             {"9007199254740993", 9007199254740992.0},
             {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
             {R"({"a":1,"a":2})", JSONValue::Object{{"a", 2}}}})
        EXPECT_EQ(JSONValue::parse(text), expected) << text;
    for (const std::string pair :
         {"[1,2] [2,1]", "{} []", "\"1\" 1", "null false", "{\"a\":null} {}"}) {
        const std::size_t space = pair.find(' ');
        EXPECT_NE(JSONValue::parse(pair.substr(0, space)), JSONValue::parse(pair.substr(space)))
            << pair;
    }
    const JSONValue deep = JSONValue::parse(std::string(limit, '[') + std::string(limit, ']'));
    EXPECT_EQ(deep.depth(), limit);
    std::string objects;
    for (std::size_t i = 0; i <= limit; ++i)
        objects = "{\"a\":" + objects + (i ? "}" : "1");
    for (const std::string& text :
         {""s, "1e400"s, "-1.8e308"s, "[1]\0[2]"s, "\"a\0b\""s, "\"\xC0\xAF\""s,
          "\"\xED\xA0\x80\""s, R"("\ud800")"s, R"("\udc00")"s, R"("\udc00\ud800")"s, objects,
          std::string(limit + 1, '[') + std::string(limit + 1, ']')})
        EXPECT_THROW(JSONValue::parse(text), JSONParseError) << text;
}

// Long texts cross many buffers: the piecewise reader keeps what it holds as they grow.
TEST(JSONValueParse, LongTextsInPiecesAgreeWithTheWholeText) {
    const std::string x(70'000, 'x');
    EXPECT_EQ(parsed("\"" + x + "\\u00e9\"", 7), Outcome(JSONValue(x + "\xC3\xA9")));
    for (const std::string& text : {"\"" + x + "\\u00e9\\ud83d\\ude00 caf\xC3\xA9\"",
                                    "\"" + x + "\xE2\x82\"", "\"" + x, std::string(600, '[')})
        for (std::size_t piece : {1, 3, 4096})
            EXPECT_EQ(parsed(text, piece), parsed(text)) << text.substr(0, 60) << " / " << piece;
}

// Objects keep their keys in byte order however they are made; a repeated key
// keeps its last member when read and its first place when listed.
TEST(JSONValue, LookupsChainAndCopiesShareUntilOneIsChanged) {
    const JSONValue object = JSONValue::parse(R"({"a":{"b":[10,20]}})");
    for (const JSONValue& holder : {JSONValue(), object["a"]["b"], JSONValue("a"), object["x"]})
        EXPECT_TRUE(holder["a"]["b"][0].isNull() && holder[2].isNull());
    EXPECT_EQ(object["a"]["b"][1], JSONValue(20));

    const std::string text =
        R"({"list":[{"b":1,"a":2},{"a":3,"b":4,"a":5}],"name":")" + std::string(4000, 'n') + "\"}";
    const JSONValue original = JSONValue::parse(text);
    JSONValue copy = original, list = copy["list"];
    ASSERT_TRUE(copy["name"].sharedString()->sharesStorageWith(*original["name"].sharedString()));
    copy.set("list", list.append(3));
    EXPECT_TRUE(copy.erase("name") && !copy.erase("name"));
    EXPECT_EQ(original, JSONValue::parse(text));
    EXPECT_EQ(copy.pretty(),
              JSONValue::parse(R"({"list":[{"a":2,"b":1},{"a":5,"b":4},3]})").pretty());

    JSONValue::Object built{{"b", 1}, {"a", 2}, {"b", 3}};
    built["c"] = 4;
    built.insert_or_assign("a", 5);
    EXPECT_EQ(built.erase("b") + built.erase("b"), 1u);
    std::string members;
    for (const auto& [key, member] : built)
        members += key + member.pretty();
    EXPECT_EQ(members, "a5c4");
}

// The written form of a number, to the byte: whole numbers as integers up to
// 2^53, plain decimals down to 0.0001, the exponent form beyond either.
TEST(JSONValueText, NumbersAreWrittenInTheirShortestExactForm) {
    for (const auto& [number, text] : std::initializer_list<std::pair<double, const char*>>{
             {0.0, "0"},
             {-0.0, "-0"},
             {42.0, "42"},
             {-42.0, "-42"},
             {1e15, "1000000000000000"},
             {9007199254740992.0, "9007199254740992"},
             {-9007199254740992.0, "-9007199254740992"},
             {9007199254740994.0, "9.007199254740994e+15"},
             {123.25, "123.25"},
             {-0.5, "-0.5"},
             {0.0001, "0.0001"},
             {0.00001, "1e-05"},
             {1.5e300, "1.5e+300"},
         })
        EXPECT_EQ(JSONValue(number).pretty(), text) << number;
}

// Numbers are held in the value when whole and small enough, elsewhere
// otherwise; one that is not finite has no JSON text.
TEST(JSONValueStorage, NumbersComeBackExactlyAndPartsOutliveTheirDocument) {
    for (double number : {0.0, -0.0, 1.0, -1.0, 0.5, 9007199254740992.0, -9007199254740992.0,
                          9007199254740994.0, 1e300, 5e-324, -1e-7}) {
        const JSONValue made(number), read = JSONValue::parse("[" + made.pretty() + "]")[0];
        EXPECT_TRUE(made.number() == number && read.number() == number &&
                    made.hash() == read.hash() &&
                    std::signbit(*read.number()) == std::signbit(number))
            << number;
    }
    EXPECT_EQ(JSONValue(JSONValue::Object{{"x", std::nan("")}}).pretty(), "");
    const auto [part, text] = [] {
        const JSONValue document =
            JSONValue::parse(R"({"list":[{"name":"a name too long to be inline","n":0.5}],"t":")" +
                             std::string(200, 't') + "\"}");
        return std::pair{document["list"][0], *document["t"].sharedString()};
    }();
    EXPECT_EQ(part, JSONValue::parse(R"({"name":"a name too long to be inline","n":0.5})"));
    EXPECT_EQ(text.view(), std::string(200, 't'));
}

TEST(JSONValueStorage, WholeNumbersReadFromATextKeepTheirIntegerExactly) {
    using Limits = std::numeric_limits<std::int64_t>;
    for (const auto& [text, integer, number] :
         std::initializer_list<std::tuple<std::string, std::optional<std::int64_t>, double>>{
             {"9223372036854775807", Limits::max(), 9223372036854775808.0},
             {"-9223372036854775808", Limits::min(), -9223372036854775808.0},
             {"9007199254740993", 9007199254740993, 9007199254740992.0},
             {"-9007199254740993", -9007199254740993, -9007199254740992.0},
             {"9223372036854775808", std::nullopt, 9223372036854775808.0},
             {"1e3", 1000, 1000.0},
             {"-0", 0, -0.0},
             {"1.5", std::nullopt, 1.5},
             {"1e300", std::nullopt, 1e300},
         }) {
        SCOPED_TRACE(text);
        // Whole, and handed over three bytes at a time, so pieces end inside the number.
        std::size_t offered = 0;
        const std::string padded = "[" + text + "]";
        const JSONValue::Reader reader = [&](char* buffer, std::size_t capacity) {
            const std::size_t count = std::min({capacity, padded.size() - offered, std::size_t(3)});
            std::memcpy(buffer, padded.data() + offered, count);
            offered += count;
            return count;
        };
        for (const JSONValue& read :
             {JSONValue::parse("[" + text + "]")[0], JSONValue::parse(reader, 8)[0]}) {
            EXPECT_EQ(read.integer(), integer);
            EXPECT_EQ(read.number(), number);
            EXPECT_EQ(read, JSONValue(number)) << "numbers still compare as doubles";
            EXPECT_EQ(read.hash(), JSONValue(number).hash());
        }
    }
    EXPECT_EQ(JSONValue(0.5).integer(), std::nullopt);
    EXPECT_EQ(JSONValue(true).integer(), std::nullopt);
    EXPECT_EQ(JSONValue(-9223372036854775808.0).integer(), Limits::min());
}

} // namespace
} // namespace quorilanth
