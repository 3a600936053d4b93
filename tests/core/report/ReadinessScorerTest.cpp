#include "core/report/ReadinessScorer.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;
using Strings = std::vector<std::string>;

ScoreCheck check(const ScanReport& report, std::string_view id) {
    for (ScoreCheck& c : ReadinessScorer::score(report))
        if (c.id == id) return c;
    ADD_FAILURE() << "no check " << id;
    return {};
}

// The ids of the passing checks, in the scorer's order, joined by blanks.
std::string passing(const ScanReport& report) {
    std::string ids;
    for (const ScoreCheck& c : ReadinessScorer::score(report))
        if (c.passed) ids += (ids.empty() ? "" : " ") + c.id;
    return ids;
}

TEST(ReadinessScorer, WhatCountsAsObserved) {
    // An empty report fails every check, whose points add up to 100.
    std::int64_t total = 0;
    for (const ScoreCheck& c : ReadinessScorer::score(ScanReport("https://x.example/")))
        total += c.points;
    EXPECT_EQ(total, 100);
    EXPECT_EQ(passing(ScanReport("https://x.example/")), "");

    // Declared references are never observed.
    ReportBuilder b;
    GraphNode& n = b.document("https://x.example/llms.txt", NodeKind::discovery);
    n.summary = "Declared reference · not yet requested";
    n.metadata = JSONValue::parse(
        R"({"canonical_url":"https://x.example/","language":"en","languages":["en","it"]})");
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::valid, {"E-MCP"}).summary =
        "Declared reference · not yet requested";
    EXPECT_EQ(passing(b.report()), "mcp.protocol");

    // Structured data needs a verified manifest; a canonical URL counts outside manifests only.
    ReportBuilder d;
    d.document("https://x.example/.well-known/agent.json", NodeKind::manifest, false).metadata =
        JSONValue::parse(R"({"name":"X"})");
    d.document("https://x.example/api/x.json", NodeKind::endpoint).metadata =
        JSONValue::parse(R"({"name":"X"})");
    d.document("https://x.example/agent.json", NodeKind::manifest).metadata =
        JSONValue::parse(R"({"canonical_url":"https://x.example/"})");
    EXPECT_EQ(passing(d.report()), "structured.json");
    d.document("https://x.example/", NodeKind::content).metadata =
        JSONValue::parse(R"({"canonical_url":"https://x.example/"})");
    EXPECT_EQ(passing(d.report()), "structured.json provenance.canonical");
}

TEST(ReadinessScorer, EvidenceListsAreUniqueAndSortedExceptLinkEdges) {
    ReportBuilder b;
    b.node("https://x.example/mcp#tool:b", NodeKind::tool, FindingStatus::valid, {"C", "A"});
    b.node("https://x.example/mcp#tool:a", NodeKind::tool, FindingStatus::found, {"B", "A"});
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::found);
    for (const auto& [relation, id] :
         {std::pair{"HTTP Link", "Z"}, {"HTML alternate", "Z"}, {"HTML service", "A"}})
        b.edge("https://x.example/", "https://x.example/mcp", relation, id);
    EXPECT_EQ(check(b.report(), "mcp.list").evidenceIDs, (Strings{"A", "B", "C"}));
    EXPECT_EQ(check(b.report(), "discovery.links").evidenceIDs, (Strings{"Z", "Z", "A"}));

    // TLS and cache evidence keep the report's order.
    ReportBuilder e;
    const std::string a = e.exchange("https://x.example/a");
    e.lastExchange().tlsVerified = true;
    e.lastExchange().responseHeaders["last-modified"] = "Mon";
    const std::string post = e.exchange("https://x.example/b", 200, "", "", "POST");
    e.lastExchange().tlsVerified = true;
    e.lastExchange().responseHeaders["etag"] = "\"1\"";
    e.exchange("https://x.example/c", 301);
    e.lastExchange().tlsVerified = true;
    e.exchange("https://x.example/d", 200);
    e.lastExchange().responseHeaders["ETag"] = "\"1\"";
    EXPECT_EQ(check(e.report(), "reliability.tls").evidenceIDs, Strings{a});
    EXPECT_EQ(check(e.report(), "reliability.cache").evidenceIDs, (Strings{a, post}));
}

TEST(ReadinessScorer, DiscoveryLinksCountOnlyAgentTargets) {
    using enum NodeKind;
    // No target node when the kind is empty.
    const std::tuple<const char*, std::optional<NodeKind>, const char*, bool> cases[] = {
        {"https://x.example/agent.json", manifest, "HTTP Link", true},
        {"https://x.example/api", endpoint, "HTML service-desc", true},
        {"https://x.example/robots.txt", discovery, "HTTP Link", false},
        {"https://x.example/SiteMap-1.xml", discovery, "HTTP Link", false},
        {"https://x.example/about", content, "HTTP Link", false},
        {"https://x.example/agent.json", manifest, "declares", false},
        {"https://x.example/agent.json", std::nullopt, "HTTP Link", false},
    };
    for (const auto& [url, kind, relation, passes] : cases) {
        ReportBuilder b;
        if (kind) b.node(url, *kind, FindingStatus::pending);
        b.edge("https://x.example/", url, relation, "E1");
        EXPECT_EQ(check(b.report(), "discovery.links").passed, passes) << url << " " << relation;
    }
}

// One document's metadata against the checks of structure, identity,
// provenance and languages.
TEST(ReadinessScorer, DocumentMetadata) {
    const char* x = "https://x.example/";
    const char* agent = "https://x.example/.well-known/agent.json";
    const std::string manifestPasses = "structured.json structured.identity";
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {
        {x, agent, R"({"publisher":"X","canonical_domain":"x.example"})",
         manifestPasses + " provenance.domain"},
        {x, agent, R"({"publisher":"X","canonical_domain":"X.example"})", manifestPasses},
        {x, agent, R"({"publisher":{"name":"X"},"canonical_domain":"x.example"})",
         "structured.json"},
        {x, agent, R"({"name":"X"})", manifestPasses},
        {x, agent, R"([{"publisher":"X"}])", ""},
        // An origin without a host must not match a document without a canonical domain.
        {"not a url", agent, R"({"publisher":"X"})", manifestPasses},
        {"x.example", agent, R"({"publisher":"X","canonical_domain":null})", manifestPasses},
        {x, x, R"({"languages":["en","x-default"]})", "localization.declared"},
        {x, x, R"({"languages":["en","it"]})", "localization.declared localization.multiple"},
        {x, x, R"({"languages":["en","en"]})", "localization.declared"},
        {x, x, R"({"languages":"en,it"})", ""},
        {x, x, R"({"about":{"languages":["de","fr"]}})",
         "localization.declared localization.multiple"},
        {x, x, R"({"language":["en"]})", ""},
    };
    for (const auto& [domain, url, metadata, expected] : cases) {
        ReportBuilder b(domain);
        b.document(url, url == agent ? NodeKind::manifest : NodeKind::content).metadata =
            JSONValue::parse(metadata);
        EXPECT_EQ(passing(b.report()), expected) << domain << " " << metadata;
    }
}

TEST(ReadinessScorer, FailingDeclarationsAreNamedUpToFour) {
    ReportBuilder b;
    b.document("https://x.example/ok/agent.json", NodeKind::manifest);
    b.edge("https://x.example/", "https://x.example/ok/agent.json", "declares", "E");
    b.node("https://x.example/other", NodeKind::content, FindingStatus::invalid);
    b.edge("https://x.example/", "https://x.example/other", "HTML link", "E");
    EXPECT_EQ(check(b.report(), "reliability.links").explanation,
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
    const ScoreCheck c = check(b.report(), "reliability.links");
    EXPECT_FALSE(c.passed);
    EXPECT_TRUE(c.evidenceIDs.empty());
    EXPECT_EQ(c.explanation,
              "\u22125: repair or remove these failing declarations: "
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
    MCPServer& record = b.report().servers.emplace_back(server);
    record.tools.emplace_back(
        server, JSONValue::parse(R"({"name":"text","annotations":{"readOnlyHint":"true"}})"));
    record.tools.emplace_back(
        server, JSONValue::parse(R"({"name":"empty","annotations":{"readOnlyHint":true}})"));
    b.node(server + "#tool:text#result:R1", NodeKind::content, FindingStatus::valid, {"R1"})
        .metadata = JSONValue::parse(R"({"content":[]})");
    EXPECT_EQ(passing(b.report()), "mcp.list");

    b.report().nodes[1].evidenceIDs = {"T2"};
    b.report().nodes[2].metadata = JSONValue::parse(R"({"content":[{"type":"text","text":"ok"}]})");
    for (const char* id : {"actions.schemas", "actions.safety", "actions.result"})
        EXPECT_EQ(check(b.report(), id).evidenceIDs,
                  Strings{std::string_view(id) == "actions.result" ? "R1" : "T2"});
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
        EXPECT_EQ(std::tuple(points.earned, points.available, points.percent()),
                  std::tuple(c.earned, c.available, c.percent));
    }
}

} // namespace
} // namespace quorilanth
