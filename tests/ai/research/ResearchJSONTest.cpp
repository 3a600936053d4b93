// The JSON form of the research records: what is written reads back equal, and
// a text without any one of the keys is refused with that key named.

#include "ai/ResearchJSON.h"

#include "core/base/JSONValue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::HasSubstr;
using testing::ThrowsMessage;

ResearchResult sample() {
    ResearchResult result;
    result.query = "  official sites of \"trains\" \n";
    result.provider = AIProvider::glm;
    result.model = "glm-5.3";
    result.timestamp = *parseISO8601("2026-01-31T08:05:09Z");
    result.candidates = {{1, "Trains", "https://trains.example/a", "", "https://trains.example",
                          "Official operator", true},
                         {9007199254740993, "Caf\u00e9 \u00ABquoted\u00BB", "https://b.example/",
                          "snippet", "https://b.example", "Relevant candidate", false}};
    result.rawClassification = R"({"selections":[{"id":1,"reason":"Official operator"}]})";
    Evidence search("https://api.example/search", "POST");
    search.statusCode = 200;
    search.requestBody = "{}";
    search.responseBody = "[]";
    search.timestamp = result.timestamp;
    result.searchEvidence = {search};
    result.notice = std::string(ResearchResult::standardNotice);
    return result;
}

bool operator==(const ResearchResult& a, const ResearchResult& b) {
    return std::tie(a.query, a.provider, a.model, a.timestamp, a.candidates, a.rawClassification,
                    a.searchEvidence,
                    a.notice) == std::tie(b.query, b.provider, b.model, b.timestamp, b.candidates,
                                          b.rawClassification, b.searchEvidence, b.notice);
}

TEST(ResearchJSON, RecordsReadBackAsWritten) {
    const ResearchResult result = sample();
    const std::string written = ResearchJSON::write(result);
    EXPECT_TRUE(ResearchJSON::readResult(written) == result);
    EXPECT_EQ(ResearchJSON::write(ResearchJSON::readResult(written)), written);
    EXPECT_THAT(written, HasSubstr(R"x("provider" : "GLM (Z.ai)")x"));
    EXPECT_THAT(written, HasSubstr(R"("timestamp" : "2026-01-31T08:05:09Z")"));
    for (const SearchCandidate& candidate : result.candidates)
        EXPECT_EQ(ResearchJSON::readCandidate(ResearchJSON::write(candidate)), candidate);
}

TEST(ResearchJSON, EveryKeyIsRequired) {
    const JSONValue result = JSONValue::parse(ResearchJSON::write(sample()));
    const JSONValue candidate = result["candidates"][0];
    for (const auto& [key, object] : *result.object()) {
        JSONValue without = result;
        without.erase(key);
        EXPECT_THAT([&] { ResearchJSON::readResult(without.pretty()); },
                    ThrowsMessage<QuorilanthError>(HasSubstr(
                        "the research result: $: missing key \"" + std::string(key) + "\"")));
    }
    for (const auto& [key, member] : *candidate.object()) {
        JSONValue without = candidate;
        without.erase(key);
        EXPECT_THAT([&] { ResearchJSON::readCandidate(without.pretty()); },
                    ThrowsMessage<QuorilanthError>(
                        HasSubstr("$: missing key \"" + std::string(key) + "\"")));
        JSONValue inResult = result;
        JSONValue candidates = JSONValue::emptyArray();
        candidates.append(without);
        inResult.set("candidates", candidates);
        EXPECT_THAT([&] { ResearchJSON::readResult(inResult.pretty()); },
                    ThrowsMessage<QuorilanthError>(
                        HasSubstr("$.candidates[0]: missing key \"" + std::string(key) + "\"")));
    }
    // Values of the wrong kind, and an exchange without its id.
    for (const auto& [key, value, fault] :
         std::initializer_list<std::tuple<std::string, JSONValue, std::string>>{
             {"provider", "Apple", "$.provider: \"Apple\" is not a known provider."},
             {"timestamp", 0, "$.timestamp: expected a string, found a number."},
             {"candidates", JSONValue::emptyObject(),
              "$.candidates: expected an array, found an object."},
             {"searchEvidence", JSONValue::parse(R"([{"url":"u"}])"),
              "$.searchEvidence[0]: missing key \"id\"."},
         }) {
        JSONValue edited = result;
        edited.set(key, value);
        EXPECT_THAT([&] { ResearchJSON::readResult(edited.pretty()); },
                    ThrowsMessage<QuorilanthError>(HasSubstr(fault)));
    }
    EXPECT_THAT(
        [] { ResearchJSON::readCandidate("[]"); },
        ThrowsMessage<QuorilanthError>(HasSubstr("$: expected an object, found an array.")));
}

} // namespace
} // namespace quorilanth
