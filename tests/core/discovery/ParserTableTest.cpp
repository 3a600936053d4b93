#include "core/discovery/AgentManifestParser.h"
#include "support/ReportBuilder.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::answer;

std::vector<std::string> urls(const ParsedDocument& doc) {
    std::vector<std::string> out;
    for (const auto& link : doc.links) {
        out.push_back(link.url);
    }
    return out;
}

// A JSON object whose innermost container sits `level` levels below the root and
// holds one relevant reference.
std::string nested(int level) {
    std::string open;
    std::string close;
    for (int i = 0; i < level; ++i) {
        open += "{\"a\":";
        close += "}";
    }
    return open + "{\"u\":\"https://x.example/agent.json\"}" + close;
}

std::string manyReferences(int count, int firstIndex = 0) {
    std::string body = "{\"list\":[";
    for (int i = 0; i < count; ++i) {
        body += (i ? "," : "") + std::string("{\"u\":\"https://x.example/") +
                std::to_string(firstIndex + i) + "/mcp\"}";
    }
    return body + "]}";
}

struct WalkCase {
    const char* name;
    std::string body;
    std::size_t links;
};

class JSONWalkLimits : public testing::TestWithParam<WalkCase> {};

TEST_P(JSONWalkLimits, KeepsOnlyWhatTheLimitsAllow) {
    const auto doc = AgentManifestParser::parse(
        answer("https://x.example/a.json", "application/json", GetParam().body));
    EXPECT_EQ(doc.links.size(), GetParam().links);
}

std::string objectsOfReferences(int count) {
    std::string body = "{";
    for (int i = 0; i < count; ++i) {
        body += (i ? "," : "") + std::string("\"k") + std::to_string(1000 + i) + "\":\"/" +
                std::to_string(i) + "/agent.json\"";
    }
    return body + "}";
}

INSTANTIATE_TEST_SUITE_P(
    Parser, JSONWalkLimits,
    testing::Values(WalkCase{"strings_directly_in_arrays",
                             "{\"servers\":[\"https://x.example/mcp\"]}", 0},
                    WalkCase{"innermost_at_level_11", nested(11), 1},
                    WalkCase{"innermost_at_level_12", nested(12), 0},
                    // Only the first 100 elements of an array are read.
                    WalkCase{"array_of_150", manyReferences(150), 100},
                    // Four arrays of 100 relevant references: the list stops at 300.
                    WalkCase{"four_hundred_references",
                             "{\"a\":" + manyReferences(100, 0) + ",\"b\":" +
                                 manyReferences(100, 100) + ",\"c\":" + manyReferences(100, 200) +
                                 ",\"d\":" + manyReferences(100, 300) + "}",
                             300},
                    WalkCase{"object_of_400_members", objectsOfReferences(400), 300}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Parser, CountsTheLimitBeforeDuplicatesGo) {
    // 300 mentions of one URL fill the list; they collapse to one link afterwards,
    // and the reference that came after them stays out.
    std::string body;
    for (int i = 0; i < 300; ++i) {
        body += "see https://x.example/mcp\n";
    }
    body += "and https://x.example/agents\n";
    const auto doc =
        AgentManifestParser::parse(answer("https://x.example/notes.txt", "text/plain", body));
    EXPECT_EQ(urls(doc), std::vector<std::string>{"https://x.example/mcp"});
    EXPECT_EQ(doc.summary, "Text read · 300 references; no normative schema validation");
}

struct TemplateCase {
    const char* name;
    const char* base;
    const char* candidate;
    const char* expected; // empty: no link
};

class Templates : public testing::TestWithParam<TemplateCase> {};

TEST_P(Templates, JoinSchemeAndHostOnly) {
    const auto& c = GetParam();
    const auto doc = AgentManifestParser::parse(
        answer(c.base, "application/json", std::string("{\"endpoint\":\"") + c.candidate + "\"}"));
    if (std::string(c.expected).empty()) {
        EXPECT_TRUE(doc.links.empty()) << (doc.links.empty() ? "" : doc.links[0].url);
        return;
    }
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].url, c.expected);
    EXPECT_EQ(doc.links[0].relation, "declares template");
    EXPECT_EQ(doc.links[0].kind, NodeKind::endpoint);
}

INSTANTIATE_TEST_SUITE_P(
    Parser, Templates,
    testing::Values(TemplateCase{"absolute_kept", "https://x.example/a.json",
                                 "https://y.example/v1/{id}", "https://y.example/v1/{id}"},
                    TemplateCase{"rooted_drops_port", "http://x.example:8080/a.json", "/items/{id}",
                                 "http://x.example/items/{id}"},
                    TemplateCase{"ipv6_host_unbracketed", "https://[::1]:8443/a.json",
                                 "/items/{id}", "https://::1/items/{id}"},
                    TemplateCase{"plain_http_template_dropped", "https://x.example/a.json",
                                 "http://y.example/{id}", ""},
                    TemplateCase{"single_brace_dropped", "https://x.example/a.json", "/items/{id",
                                 ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Parser, LinkParametersThatNameAnInterfaceKeepAnIrrelevantTarget) {
    const auto doc = AgentManifestParser::parse(
        answer("https://x.example/", "text/plain", "",
               "</openapi>; rel=\"service-desc\", </about>; rel=\"author\""));
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].url, "https://x.example/openapi");
    EXPECT_EQ(doc.links[0].kind, NodeKind::manifest);
}

} // namespace
} // namespace quorilanth

namespace quorilanth {
namespace {

struct DecodingCase {
    const char* name;
    std::string page;
};

class AlreadyDecodedPage : public testing::TestWithParam<DecodingCase> {};

// The body arrives decoded; whatever the page declares must not decode it again.
TEST_P(AlreadyDecodedPage, KeepsItsText) {
    const auto doc =
        AgentManifestParser::parse(answer("https://x.example/", "text/html", GetParam().page));
    EXPECT_EQ(doc.metadata["title"], JSONValue("Caf\u00e9 \u2014 \u65e5\u672c"));
}

INSTANTIATE_TEST_SUITE_P(
    Parser, AlreadyDecodedPage,
    testing::Values(
        DecodingCase{"no_declaration", "<title>Caf\u00e9 \u2014 \u65e5\u672c</title>"},
        DecodingCase{"meta_charset",
                     "<meta charset=\"iso-8859-1\"><title>Caf\u00e9 \u2014 \u65e5\u672c</title>"},
        DecodingCase{
            "http_equiv",
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=windows-1252\">"
            "<title>Caf\u00e9 \u2014 \u65e5\u672c</title>"},
        DecodingCase{"utf16_declared",
                     "<meta charset=utf-16><title>Caf\u00e9 \u2014 \u65e5\u672c</title>"},
        DecodingCase{"byte_order_mark",
                     "\xEF\xBB\xBF<title>Caf\u00e9 \u2014 \u65e5\u672c</title>"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorilanth
