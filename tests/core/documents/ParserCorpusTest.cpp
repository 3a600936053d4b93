// Recorded exchanges under tests/fixtures/documents, each with the document the
// parser must make of it.
#include "core/documents/AgentManifestParser.h"
#include "support/SampleReports.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;

std::string text(const JSONValue& value) {
    return std::string(value.string().value_or(""));
}

// Links compare as a set: the fixtures list them in any order.
JSONValue sorted(const JSONValue& links) {
    JSONValue::Array list = links.array();
    std::sort(list.begin(), list.end(),
              [](const JSONValue& a, const JSONValue& b) { return a.pretty() < b.pretty(); });
    return JSONValue(std::move(list));
}

class ParserCorpus : public testing::TestWithParam<std::string> {};

TEST_P(ParserCorpus, MatchesRecordedExpectation) {
    const JSONValue fixture =
        JSONValue::parse(samples::readFixture("documents/" + GetParam() + ".json"));
    const JSONValue& e = fixture["evidence"];
    Evidence evidence(text(e["url"]), text(e["method"]));
    if (const auto code = e["statusCode"].number()) evidence.statusCode = std::int64_t(*code);
    if (const JSONValue::Object* headers = e["responseHeaders"].object())
        for (const auto& [name, value] : *headers)
            evidence.responseHeaders[name] = text(value);
    evidence.responseBody = fixture["bodyFile"].isString()
                                ? samples::readFixture("documents/" + text(fixture["bodyFile"]))
                                : text(e["responseBody"]);
    if (e["error"].isString()) evidence.error = text(e["error"]);
    evidence.truncated = e["truncated"].boolean().value_or(false);

    const ParsedDocument doc = AgentManifestParser::parse(evidence);
    JSONValue expected = fixture["expected"], actual = JSONValue::emptyObject(), links;
    actual.set("status", std::string(toString(doc.status)));
    actual.set("summary", doc.summary);
    actual.set("isAgentDocument", doc.isAgentDocument);
    actual.set("issues", JSONValue::emptyArray());
    for (const std::string& issue : doc.issues)
        actual.set("issues", JSONValue(actual["issues"]).append(issue));
    for (const DiscoveredLink& link : doc.links)
        links.append(JSONValue::Object{{"url", link.url},
                                       {"relation", link.relation},
                                       {"locator", link.locator},
                                       {"kind", std::string(toString(link.kind))}});
    actual.set("links", sorted(links));
    expected.set("links", sorted(expected["links"]));
    if (expected.find("metadata")) actual.set("metadata", doc.metadata);
    EXPECT_EQ(actual.pretty(), expected.pretty());
    EXPECT_TRUE(std::is_sorted(
        doc.links.begin(), doc.links.end(),
        [](const DiscoveredLink& a, const DiscoveredLink& b) { return a.url < b.url; }));
}

std::vector<std::string> corpusFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(QL_TEST_FIXTURES) / "documents"))
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParserCorpus, testing::ValuesIn(corpusFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace quorilanth
