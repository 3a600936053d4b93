#include "core/model/ReadinessScorer.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>
#include <map>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;

const std::string minus = "\u2212";

const ScoreCheck& check(const std::vector<ScoreCheck>& checks, std::string_view id) {
    for (const ScoreCheck& c : checks) {
        if (c.id == id) {
            return c;
        }
    }
    static const ScoreCheck none;
    ADD_FAILURE() << "no check " << id;
    return none;
}

std::vector<ScoreCheck> scored(const ScanReport& report) {
    return ReadinessScorer::score(report);
}

TEST(ReadinessScorer, EmptyReportFailsEveryCheck) {
    const ScanReport report("https://x.example/");
    const auto checks = scored(report);
    ASSERT_EQ(checks.size(), 16u);
    std::map<std::string, std::int64_t> byCategory;
    for (const ScoreCheck& c : checks) {
        EXPECT_FALSE(c.passed) << c.id;
        EXPECT_TRUE(c.evidenceIDs.empty()) << c.id;
        // U+2212, the points, a colon and a blank.
        EXPECT_EQ(c.explanation.rfind(minus + std::to_string(c.points) + ": ", 0), 0u)
            << c.explanation;
        EXPECT_NE(c.explanation[0], '-');
        byCategory[c.category] += c.points;
    }
    EXPECT_EQ(check(checks, "reliability.links").explanation,
              minus +
                  "5: no declared interface was verified. Expose a reachable discovery reference.");
    const std::map<std::string, std::int64_t> expected{
        {"Discovery", 15},    {"Structured Data", 15}, {"MCP", 20},    {"Provenance", 15},
        {"Localization", 10}, {"Reliability", 15},     {"Actions", 10}};
    EXPECT_EQ(byCategory, expected);
    std::vector<std::string> order;
    for (const ScoreCheck& c : checks) {
        if (order.empty() || order.back() != c.category) {
            order.push_back(c.category);
        }
    }
    EXPECT_EQ(order, std::vector<std::string>(ReadinessScorer::categories.begin(),
                                              ReadinessScorer::categories.end()));
}

TEST(ReadinessScorer, DeclaredReferencesAreNeverObserved) {
    ReportBuilder b;
    GraphNode& n = b.document("https://x.example/llms.txt", NodeKind::discovery);
    n.summary = "Declared reference · not yet requested";
    n.metadata = JSONValue::parse(
        R"({"canonical_url":"https://x.example/","language":"en","languages":["en","it"]})");
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::valid, {"E-MCP"}).summary =
        "Declared reference · not yet requested";
    const auto checks = scored(b.report());
    for (const char* id : {"discovery.entry", "provenance.canonical", "localization.declared",
                           "localization.multiple"}) {
        EXPECT_FALSE(check(checks, id).passed) << id;
    }
    EXPECT_TRUE(check(checks, "mcp.protocol").passed);
}

TEST(ReadinessScorer, EvidenceListsAreUniqueAndSortedExceptLinkEdges) {
    ReportBuilder b;
    b.node("https://x.example/mcp#tool:b", NodeKind::tool, FindingStatus::valid, {"C", "A"});
    b.node("https://x.example/mcp#tool:a", NodeKind::tool, FindingStatus::found, {"B", "A"});
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::found);
    b.edge("https://x.example/", "https://x.example/mcp", "HTTP Link", "Z");
    b.edge("https://x.example/", "https://x.example/mcp", "HTML alternate", "Z");
    b.edge("https://x.example/", "https://x.example/mcp", "HTML service", "A");
    const auto checks = scored(b.report());
    EXPECT_EQ(check(checks, "mcp.list").evidenceIDs, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(check(checks, "discovery.links").evidenceIDs,
              (std::vector<std::string>{"Z", "Z", "A"}));
}

struct LinkTargetCase {
    const char* name;
    const char* url;
    NodeKind kind;
    const char* relation;
    bool passes;
};

class DiscoveryLinks : public testing::TestWithParam<LinkTargetCase> {};

TEST_P(DiscoveryLinks, CountOnlyAgentTargets) {
    const auto& c = GetParam();
    ReportBuilder b;
    b.node(c.url, c.kind, FindingStatus::pending);
    b.edge("https://x.example/", c.url, c.relation, "E1");
    EXPECT_EQ(check(scored(b.report()), "discovery.links").passed, c.passes);
}

INSTANTIATE_TEST_SUITE_P(
    ReadinessScorer, DiscoveryLinks,
    testing::Values(LinkTargetCase{"manifest", "https://x.example/agent.json", NodeKind::manifest,
                                   "HTTP Link", true},
                    LinkTargetCase{"html_rel", "https://x.example/api", NodeKind::endpoint,
                                   "HTML service-desc", true},
                    LinkTargetCase{"robots", "https://x.example/robots.txt", NodeKind::discovery,
                                   "HTTP Link", false},
                    LinkTargetCase{"sitemap_any_case", "https://x.example/SiteMap-1.xml",
                                   NodeKind::discovery, "HTTP Link", false},
                    LinkTargetCase{"content", "https://x.example/about", NodeKind::content,
                                   "HTTP Link", false},
                    LinkTargetCase{"declares", "https://x.example/agent.json", NodeKind::manifest,
                                   "declares", false},
                    LinkTargetCase{"sitemap_entry", "https://x.example/agents", NodeKind::discovery,
                                   "sitemap entry", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadinessScorer, EdgeWithoutTargetNodeDoesNotCount) {
    ReportBuilder b;
    b.edge("https://x.example/", "https://x.example/agent.json", "HTTP Link", "E1");
    EXPECT_FALSE(check(scored(b.report()), "discovery.links").passed);
}

struct StructuredCase {
    const char* name;
    const char* domain;
    const char* metadata;
    bool json;
    bool identity;
    bool provenance;
};

class StructuredDocuments : public testing::TestWithParam<StructuredCase> {};

TEST_P(StructuredDocuments, IdentityAndProvenance) {
    const auto& c = GetParam();
    ReportBuilder b(c.domain);
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest).metadata =
        JSONValue::parse(c.metadata);
    const auto checks = scored(b.report());
    EXPECT_EQ(check(checks, "structured.json").passed, c.json);
    EXPECT_EQ(check(checks, "structured.identity").passed, c.identity);
    EXPECT_EQ(check(checks, "provenance.domain").passed, c.provenance);
}

INSTANTIATE_TEST_SUITE_P(
    ReadinessScorer, StructuredDocuments,
    testing::Values(
        StructuredCase{"consistent", "https://x.example/",
                       R"({"publisher":"X","canonical_domain":"x.example"})", true, true, true},
        StructuredCase{"domain_with_port", "https://x.example:8443/",
                       R"({"publisher":"X","canonical_domain":"x.example"})", true, true, true},
        StructuredCase{"case_differs", "https://x.example/",
                       R"({"publisher":"X","canonical_domain":"X.example"})", true, true, false},
        StructuredCase{"no_canonical_domain", "https://x.example/", R"({"publisher":"X"})", true,
                       true, false},
        StructuredCase{"domain_not_a_string", "https://x.example/",
                       R"({"publisher":"X","canonical_domain":1})", true, true, false},
        StructuredCase{"publisher_not_a_string", "https://x.example/",
                       R"({"publisher":{"name":"X"},"canonical_domain":"x.example"})", true, false,
                       false},
        StructuredCase{"name_only", "https://x.example/", R"({"name":"X"})", true, true, false},
        StructuredCase{"array_metadata", "https://x.example/", R"([{"publisher":"X"}])", false,
                       false, false},
        // An origin without a host must not match a document without a canonical domain.
        StructuredCase{"origin_without_host_no_domain", "not a url", R"({"publisher":"X"})", true,
                       true, false},
        StructuredCase{"origin_empty_host_no_domain", "file:///x", R"({"publisher":"X"})", true,
                       true, false},
        StructuredCase{"origin_without_host_null_domain", "x.example",
                       R"({"publisher":"X","canonical_domain":null})", true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadinessScorer, StructuredNeedsAVerifiedManifest) {
    ReportBuilder b;
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest, false).metadata =
        JSONValue::parse(R"({"name":"X"})");
    b.document("https://x.example/api/x.json", NodeKind::endpoint).metadata =
        JSONValue::parse(R"({"name":"X"})");
    EXPECT_FALSE(check(scored(b.report()), "structured.identity").passed);
}

TEST(ReadinessScorer, CanonicalURLCountsOutsideManifestsOnly) {
    ReportBuilder b;
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest).metadata =
        JSONValue::parse(R"({"canonical_url":"https://x.example/"})");
    EXPECT_FALSE(check(scored(b.report()), "provenance.canonical").passed);
    b.document("https://x.example/", NodeKind::content).metadata =
        JSONValue::parse(R"({"canonical_url":"https://x.example/"})");
    EXPECT_TRUE(check(scored(b.report()), "provenance.canonical").passed);
}

struct LanguageCase {
    const char* name;
    const char* metadata;
    bool declared;
    bool multiple;
};

class Languages : public testing::TestWithParam<LanguageCase> {};

TEST_P(Languages, DeclaredAndMultiple) {
    ReportBuilder b;
    b.document("https://x.example/", NodeKind::content).metadata =
        JSONValue::parse(GetParam().metadata);
    const auto checks = scored(b.report());
    EXPECT_EQ(check(checks, "localization.declared").passed, GetParam().declared);
    EXPECT_EQ(check(checks, "localization.multiple").passed, GetParam().multiple);
}

INSTANTIATE_TEST_SUITE_P(
    ReadinessScorer, Languages,
    testing::Values(
        LanguageCase{"en_and_x_default", R"({"languages":["en","x-default"]})", true, false},
        LanguageCase{"en_it", R"({"languages":["en","it"]})", true, true},
        LanguageCase{"en_en", R"({"languages":["en","en"]})", true, false},
        LanguageCase{"en_plus_about_it", R"({"languages":["en"],"about":{"languages":["it"]}})",
                     true, true},
        LanguageCase{"numbers_ignored", R"({"languages":["en",1,true]})", true, false},
        LanguageCase{"empty_array_falls_through", R"({"languages":[],"language":"en"})", true,
                     false},
        LanguageCase{"string_languages", R"({"languages":"en,it"})", false, false},
        LanguageCase{"about_only", R"({"about":{"languages":["de","fr"]}})", true, true},
        LanguageCase{"language_not_string", R"({"language":["en"]})", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadinessScorer, ExchangesForTLSAndCacheKeepReportOrder) {
    ReportBuilder b;
    const std::string a = b.exchange("https://x.example/a");
    b.lastExchange().tlsVerified = true;
    b.lastExchange().responseHeaders["last-modified"] = "Mon";
    const std::string post = b.exchange("https://x.example/b", 200, "", "", "POST");
    b.lastExchange().tlsVerified = true;
    b.lastExchange().responseHeaders["etag"] = "\"1\"";
    const std::string redirect = b.exchange("https://x.example/c", 301);
    b.lastExchange().tlsVerified = true;
    const std::string mixedCase = b.exchange("https://x.example/d", 200);
    b.lastExchange().responseHeaders["ETag"] = "\"1\"";
    const auto checks = scored(b.report());
    EXPECT_EQ(check(checks, "reliability.tls").evidenceIDs, std::vector<std::string>{a});
    EXPECT_EQ(check(checks, "reliability.cache").evidenceIDs, (std::vector<std::string>{a, post}));
}

TEST(ReadinessScorer, FailingDeclarationsAreNamedUpToFour) {
    ReportBuilder b;
    const FindingStatus statuses[] = {FindingStatus::invalid, FindingStatus::unreachable,
                                      FindingStatus::blocked, FindingStatus::notFound,
                                      FindingStatus::invalid, FindingStatus::notFound};
    for (int i = 0; i < 6; ++i) {
        const std::string id = "https://x.example/" + std::to_string(i) + "/agent.json";
        b.node(id, NodeKind::manifest, statuses[i]);
        b.edge("https://x.example/", id, i % 2 ? "declares" : "HTTP Link", "E");
    }
    b.report().nodes[2].url.reset();
    b.report().nodes[2].label = "third";
    b.document("https://x.example/ok/agent.json", NodeKind::manifest);
    b.edge("https://x.example/", "https://x.example/ok/agent.json", "declares", "E");
    const auto checks = scored(b.report());
    const ScoreCheck& c = check(checks, "reliability.links");
    EXPECT_FALSE(c.passed);
    EXPECT_TRUE(c.evidenceIDs.empty());
    EXPECT_EQ(c.explanation,
              minus + "5: repair or remove these failing declarations: "
                      "https://x.example/0/agent.json [INVALID]; https://x.example/1/agent.json "
                      "[UNREACHABLE]; third [BLOCKED]; https://x.example/3/agent.json [NOT FOUND]");
}

TEST(ReadinessScorer, VerifiedDeclarationsPassReliability) {
    ReportBuilder b;
    b.document("https://x.example/ok/agent.json", NodeKind::manifest);
    b.node("https://x.example/other", NodeKind::content, FindingStatus::invalid);
    b.edge("https://x.example/", "https://x.example/ok/agent.json", "declares", "E");
    b.edge("https://x.example/", "https://x.example/other", "HTML link", "E");
    const auto checks = scored(b.report());
    const ScoreCheck& c = check(checks, "reliability.links");
    EXPECT_TRUE(c.passed);
    EXPECT_EQ(c.explanation,
              "Fetched declared interfaces have no observed failures (within scan budget).");
}

TEST(ReadinessScorer, ToolsSchemasSafetyAndResults) {
    ReportBuilder b;
    const std::string server = "https://x.example/mcp";
    b.node(server + "#tool:text", NodeKind::tool, FindingStatus::valid, {"T1"}).metadata =
        JSONValue::parse(R"({"inputSchema":"{}"})");
    b.node(server + "#tool:empty", NodeKind::tool, FindingStatus::valid).metadata =
        JSONValue::parse(R"({"inputSchema":{}})");
    MCPServer record(server);
    record.tools.emplace_back(
        server, JSONValue::parse(R"({"name":"text","annotations":{"readOnlyHint":"true"}})"));
    record.tools.emplace_back(
        server, JSONValue::parse(R"({"name":"empty","annotations":{"readOnlyHint":true}})"));
    b.report().servers.push_back(record);
    b.node(server + "#tool:text#result:R1", NodeKind::content, FindingStatus::valid, {"R1"})
        .metadata = JSONValue::parse(R"({"content":[]})");
    auto checks = scored(b.report());
    EXPECT_FALSE(check(checks, "actions.schemas").passed);
    EXPECT_FALSE(check(checks, "actions.safety").passed);
    EXPECT_FALSE(check(checks, "actions.result").passed);

    b.report().nodes[1].evidenceIDs = {"T2"};
    b.report().nodes[2].metadata = JSONValue::parse(R"({"content":[{"type":"text","text":"ok"}]})");
    checks = scored(b.report());
    EXPECT_EQ(check(checks, "actions.schemas").evidenceIDs, std::vector<std::string>{"T2"});
    EXPECT_EQ(check(checks, "actions.safety").evidenceIDs, std::vector<std::string>{"T2"});
    EXPECT_EQ(check(checks, "actions.result").evidenceIDs, std::vector<std::string>{"R1"});
}

} // namespace
} // namespace quorilanth
