#include "core/report/ReadinessScorer.h"

#include "support/ReportBuilder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;

const std::string minus = "\u2212";

ScoreCheck check(const std::vector<ScoreCheck>& checks, std::string_view id) {
    auto found = std::find_if(checks.begin(), checks.end(), [&](auto& c) { return c.id == id; });
    EXPECT_NE(found, checks.end()) << "no check " << id;
    return found == checks.end() ? ScoreCheck{} : *found;
}

std::vector<ScoreCheck> scored(const ScanReport& report) {
    return ReadinessScorer::score(report);
}

TEST(ReadinessScorer, EmptyReportFailsEveryCheck) {
    const auto checks = scored(ScanReport("https://x.example/"));
    std::int64_t total = 0;
    for (const ScoreCheck& c : checks) {
        EXPECT_FALSE(c.passed) << c.id;
        total += c.points;
    }
    EXPECT_EQ(total, 100);
    EXPECT_EQ(check(checks, "reliability.links").explanation,
              minus +
                  "5: no declared interface was verified. Expose a reachable discovery reference.");
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

TEST(ReadinessScorer, DiscoveryLinksCountOnlyAgentTargets) {
    struct Row {
        const char* url; // no target node when null
        NodeKind kind;
        const char* relation;
        bool passes;
    };
    using enum NodeKind;
    for (const Row& row : {
             Row{"https://x.example/agent.json", manifest, "HTTP Link", true},
             Row{"https://x.example/api", endpoint, "HTML service-desc", true},
             Row{"https://x.example/robots.txt", discovery, "HTTP Link", false},
             Row{"https://x.example/SiteMap-1.xml", discovery, "HTTP Link", false},
             Row{"https://x.example/about", content, "HTTP Link", false},
             Row{"https://x.example/agent.json", manifest, "declares", false},
             Row{"https://x.example/agents", discovery, "sitemap entry", false},
             Row{nullptr, manifest, "HTTP Link", false},
         }) {
        const std::string url = row.url ? row.url : "https://x.example/agent.json";
        SCOPED_TRACE(url + " " + row.relation);
        ReportBuilder b;
        if (row.url) b.node(url, row.kind, FindingStatus::pending);
        b.edge("https://x.example/", url, row.relation, "E1");
        EXPECT_EQ(check(scored(b.report()), "discovery.links").passed, row.passes);
    }
}

TEST(ReadinessScorer, StructuredIdentityAndProvenance) {
    struct Row {
        const char* domain;
        const char* metadata;
        bool json, identity, provenance;
    };
    const char* x = "https://x.example/";
    for (const Row& row : {
             Row{x, R"({"publisher":"X","canonical_domain":"x.example"})", true, true, true},
             Row{x, R"({"publisher":"X","canonical_domain":"X.example"})", true, true, false},
             Row{x, R"({"publisher":{"name":"X"},"canonical_domain":"x.example"})", true, false,
                 false},
             Row{x, R"({"name":"X"})", true, true, false},
             Row{x, R"([{"publisher":"X"}])", false, false, false},
             // An origin without a host must not match a document without a canonical domain.
             Row{"not a url", R"({"publisher":"X"})", true, true, false},
             Row{"x.example", R"({"publisher":"X","canonical_domain":null})", true, true, false},
         }) {
        SCOPED_TRACE(std::string(row.domain) + " " + row.metadata);
        ReportBuilder b(row.domain);
        b.document("https://x.example/.well-known/agent.json", NodeKind::manifest).metadata =
            JSONValue::parse(row.metadata);
        const auto checks = scored(b.report());
        EXPECT_EQ(check(checks, "structured.json").passed, row.json);
        EXPECT_EQ(check(checks, "structured.identity").passed, row.identity);
        EXPECT_EQ(check(checks, "provenance.domain").passed, row.provenance);
    }
}

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

TEST(ReadinessScorer, LanguagesDeclaredAndMultiple) {
    struct Row {
        const char* metadata;
        bool declared, multiple;
    };
    for (const Row& row : {
             Row{R"({"languages":["en","x-default"]})", true, false},
             Row{R"({"languages":["en","it"]})", true, true},
             Row{R"({"languages":["en","en"]})", true, false},
             Row{R"({"languages":"en,it"})", false, false},
             Row{R"({"about":{"languages":["de","fr"]}})", true, true},
             Row{R"({"language":["en"]})", false, false},
         }) {
        SCOPED_TRACE(row.metadata);
        ReportBuilder b;
        b.document("https://x.example/", NodeKind::content).metadata =
            JSONValue::parse(row.metadata);
        const auto checks = scored(b.report());
        EXPECT_EQ(check(checks, "localization.declared").passed, row.declared);
        EXPECT_EQ(check(checks, "localization.multiple").passed, row.multiple);
    }
}

TEST(ReadinessScorer, ExchangesForTLSAndCacheKeepReportOrder) {
    ReportBuilder b;
    const std::string a = b.exchange("https://x.example/a");
    b.lastExchange().tlsVerified = true;
    b.lastExchange().responseHeaders["last-modified"] = "Mon";
    const std::string post = b.exchange("https://x.example/b", 200, "", "", "POST");
    b.lastExchange().tlsVerified = true;
    b.lastExchange().responseHeaders["etag"] = "\"1\"";
    b.exchange("https://x.example/c", 301);
    b.lastExchange().tlsVerified = true;
    b.exchange("https://x.example/d", 200);
    b.lastExchange().responseHeaders["ETag"] = "\"1\"";
    const auto checks = scored(b.report());
    EXPECT_EQ(check(checks, "reliability.tls").evidenceIDs, std::vector<std::string>{a});
    EXPECT_EQ(check(checks, "reliability.cache").evidenceIDs, (std::vector<std::string>{a, post}));
}

TEST(ReadinessScorer, FailingDeclarationsAreNamedUpToFour) {
    ReportBuilder b;
    b.document("https://x.example/ok/agent.json", NodeKind::manifest);
    b.edge("https://x.example/", "https://x.example/ok/agent.json", "declares", "E");
    b.node("https://x.example/other", NodeKind::content, FindingStatus::invalid);
    b.edge("https://x.example/", "https://x.example/other", "HTML link", "E");
    EXPECT_EQ(check(scored(b.report()), "reliability.links").explanation,
              "Fetched declared interfaces have no observed failures (within scan budget).");

    using enum FindingStatus;
    const FindingStatus statuses[] = {invalid, unreachable, blocked, notFound, invalid, notFound};
    for (int i = 0; i < 6; ++i) {
        const std::string id = "https://x.example/" + std::to_string(i) + "/agent.json";
        b.node(id, NodeKind::manifest, statuses[i]);
        b.edge("https://x.example/", id, i % 2 ? "declares" : "HTTP Link", "E");
    }
    b.report().nodes[4].url.reset();
    b.report().nodes[4].label = "third";
    const ScoreCheck c = check(scored(b.report()), "reliability.links");
    EXPECT_FALSE(c.passed);
    EXPECT_TRUE(c.evidenceIDs.empty());
    EXPECT_EQ(c.explanation,
              minus + "5: repair or remove these failing declarations: "
                      "https://x.example/0/agent.json [INVALID]; https://x.example/1/agent.json "
                      "[UNREACHABLE]; third [BLOCKED]; https://x.example/3/agent.json [NOT FOUND]");
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

TEST(ReadinessScorerCategories, SumsAndSharesHoldForAnyPointsAFileMayHold) {
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t least = std::numeric_limits<std::int64_t>::min();
    const struct {
        std::vector<ScoreCheck> checks;
        std::int64_t earned, available, percent;
    } cases[] = {
        {{{"a", "MCP", 8, true, "", {}}, {"b", "MCP", 7, false, "", {}}}, 8, 15, 53},
        {{{"a", "MCP", 7, true, "", {}}, {"b", "MCP", 8, false, "", {}}}, 7, 15, 46},
        {{}, 0, 0, 0},
        // Other spellings belong to no category.
        {{{"a", "mcp", 8, true, "", {}}, {"b", "MCP ", 8, true, "", {}}}, 0, 0, 0},
        {{{"a", "MCP", most, true, "", {}}, {"b", "MCP", most, true, "", {}}}, most, most, 100},
        {{{"a", "MCP", least, true, "", {}}, {"b", "MCP", -1, true, "", {}}}, least, least, least},
        {{{"a", "MCP", most / 10, true, "", {}}}, most / 10, most / 10, 100},
        {{{"a", "MCP", most, true, "", {}}, {"b", "MCP", least, false, "", {}}}, most, -1, most},
        {{{"a", "MCP", -5, true, "", {}}, {"b", "MCP", 10, false, "", {}}}, -5, 5, -100},
    };
    for (const auto& c : cases) {
        ScanReport report("https://x.example/");
        report.checks = c.checks;
        const auto points = ReadinessScorer::categoryPoints(report, "MCP");
        EXPECT_EQ(points.earned, c.earned);
        EXPECT_EQ(points.available, c.available);
        EXPECT_EQ(points.percent(), c.percent);
    }
}

} // namespace
} // namespace quorilanth
