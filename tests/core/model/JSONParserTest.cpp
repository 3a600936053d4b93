// Differential check of the JSON text reader against RapidJSON's strict reader
// on mutated documents: both must accept and refuse the same texts and agree
// on what the accepted ones mean.
#include "core/model/JSONValue.h"
#include "support/SampleReports.h"

#include <gtest/gtest.h>
#include <random>
#include <rapidjson/reader.h>

namespace quorilanth {
namespace {

class ToJSONValue {
public:
    bool Null() { return add(JSONValue()); }
    bool Bool(bool b) { return add(JSONValue(b)); }
    bool Int(int i) { return add(JSONValue(i)); }
    bool Uint(unsigned u) { return add(JSONValue(u)); }
    bool Int64(std::int64_t i) { return add(JSONValue(static_cast<double>(i))); }
    bool Uint64(std::uint64_t u) { return add(JSONValue(static_cast<double>(u))); }
    bool Double(double d) { return add(JSONValue(d)); }
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }
    bool String(const char* s, rapidjson::SizeType n, bool) {
        return add(JSONValue(std::string(s, n)));
    }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        keys_.back().assign(s, n);
        return true;
    }
    bool StartObject() { return open(JSONValue::Object{}); }
    bool StartArray() { return open(JSONValue::Array{}); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool EndArray(rapidjson::SizeType) { return close(); }

    JSONValue root;

private:
    bool open(JSONValue container) {
        stack_.push_back(std::move(container));
        keys_.emplace_back();
        return true;
    }
    bool close() {
        JSONValue done = std::move(stack_.back());
        stack_.pop_back();
        keys_.pop_back();
        return add(std::move(done));
    }
    bool add(JSONValue value) {
        if (stack_.empty())
            root = std::move(value);
        else if (stack_.back().isObject())
            stack_.back().set(keys_.back(), std::move(value));
        else
            stack_.back().append(std::move(value));
        return true;
    }
    std::vector<JSONValue> stack_;
    std::vector<std::string> keys_;
};

std::optional<JSONValue> referenceParse(const std::string& text) {
    ToJSONValue handler;
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag |
                                rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseFullPrecisionFlag;
    if (reader.Parse<kFlags>(stream, handler).IsError()) return std::nullopt;
    // The reference stops at a zero byte; the text must have ended there.
    if (stream.Tell() != text.size()) return std::nullopt;
    return handler.root;
}

// The reference reader lets a lone low surrogate escape through; such texts
// are refused here on purpose and are left out of the comparison.
struct Outcome {
    std::optional<JSONValue> value;
    bool loneSurrogate = false;
};

Outcome ownParse(const std::string& text) {
    try {
        return {JSONValue::parse(text)};
    } catch (const JSONParseError& error) {
        return {std::nullopt, error.message().find("Lone surrogate") != std::string::npos};
    }
}

// Single edits drawn from JSON's own alphabet, so most mutants are near misses.
std::string mutate(std::string text, std::mt19937_64& random) {
    static const std::string alphabet = "{}[]:,\"\\/ \n0123456789-+.eEtrufalsnbu"
                                        "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\x01";
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
    for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
        std::size_t at = pick(text.size() + 1);
        switch (pick(3)) {
        case 0:
            text.insert(at, 1, alphabet[pick(alphabet.size())]);
            break;
        case 1:
            if (at < text.size()) text.erase(at, 1);
            break;
        default:
            if (at < text.size()) text[at] = alphabet[pick(alphabet.size())];
        }
    }
    return text;
}

TEST(JSONParserDifferential, AgreesWithTheReferenceReaderOnMutatedDocuments) {
    std::mt19937_64 random(7);
    const std::vector<std::string> seeds = {
        R"({"a":[1,-2.5e3,true,false,null],"b":{"c":"d\n\u00e9\ud83d\ude00"}})",
        R"([0,-0,0.1,1e10,"\"\\\/\b\f\n\r\t",{}])",
        "\"caf\xC3\xA9\"",
    };
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string base = round % 4 == 3 ? samples::randomJSONValue(round, 3).pretty()
                                          : seeds[static_cast<std::size_t>(round) % seeds.size()];
        std::string text = mutate(base, random);
        Outcome outcome = ownParse(text);
        if (outcome.loneSurrogate) continue;
        std::optional<JSONValue> own = outcome.value, reference = referenceParse(text);
        ASSERT_EQ(own.has_value(), reference.has_value()) << text;
        if (own) {
            ASSERT_EQ(*own, *reference) << text;
            ++accepted;
        }
    }
    EXPECT_GT(accepted, 1000);
}

} // namespace
} // namespace quorilanth
