// Recorded exchanges under tests/fixtures/documents, each with the document the
// parser must make of it.
#include "core/documents/AgentManifestParser.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;

const fs::path corpusDir = fs::path(QL_TEST_FIXTURES) / "documents";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string text(const JSONValue& value) {
    return std::string(value.string().value_or(""));
}

Evidence evidenceFrom(const JSONValue& fixture) {
    const JSONValue& e = fixture["evidence"];
    Evidence evidence(text(e["url"]), text(e["method"]));
    if (const auto code = e["statusCode"].number()) evidence.statusCode = std::int64_t(*code);
    if (const JSONValue::Object* headers = e["responseHeaders"].object()) {
        for (const auto& [name, value] : *headers) {
            evidence.responseHeaders[name] = text(value);
        }
    }
    evidence.responseBody = text(e["responseBody"]);
    if (fixture["bodyFile"].isString())
        evidence.responseBody = readFile(corpusDir / text(fixture["bodyFile"]));
    if (e["error"].isString()) evidence.error = text(e["error"]);
    evidence.truncated = e["truncated"].boolean().value_or(false);
    return evidence;
}

using LinkTuple = std::tuple<std::string, std::string, std::string, std::string>;

std::vector<std::string> corpusFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(corpusDir)) {
        if (entry.path().extension() == ".json") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ParserCorpus : public testing::TestWithParam<std::string> {};

TEST_P(ParserCorpus, MatchesRecordedExpectation) {
    const JSONValue fixture = JSONValue::parse(readFile(corpusDir / (GetParam() + ".json")));
    const JSONValue& expected = fixture["expected"];
    const ParsedDocument doc = AgentManifestParser::parse(evidenceFrom(fixture));

    EXPECT_EQ(toString(doc.status), text(expected["status"]));
    EXPECT_EQ(doc.summary, text(expected["summary"]));
    EXPECT_EQ(doc.isAgentDocument, expected["isAgentDocument"].boolean().value_or(false));
    std::vector<std::string> issues;
    for (const JSONValue& issue : expected["issues"].array()) {
        issues.push_back(text(issue));
    }
    EXPECT_EQ(doc.issues, issues);
    if (const JSONValue* metadata = expected.find("metadata")) {
        EXPECT_EQ(doc.metadata, *metadata) << doc.metadata.pretty();
    }

    std::vector<LinkTuple> actual;
    for (const DiscoveredLink& link : doc.links) {
        actual.emplace_back(link.url, link.relation, link.locator,
                            std::string(toString(link.kind)));
    }
    std::vector<LinkTuple> wanted;
    for (const JSONValue& link : expected["links"].array()) {
        wanted.emplace_back(text(link["url"]), text(link["relation"]), text(link["locator"]),
                            text(link["kind"]));
    }
    std::sort(actual.begin(), actual.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(actual, wanted);
    EXPECT_TRUE(std::is_sorted(
        doc.links.begin(), doc.links.end(),
        [](const DiscoveredLink& a, const DiscoveredLink& b) { return a.url < b.url; }));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParserCorpus, testing::ValuesIn(corpusFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace quorilanth
