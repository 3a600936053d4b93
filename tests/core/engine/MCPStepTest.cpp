// The MCP step against scripted servers: node, record, pre-flight, inventory
// nodes and the clients the engine keeps.

#include "ScriptedSite.h"
#include "core/mcp/MCPClient.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

const std::string kRoot = "https://example.com/";
const std::string kMCP = "https://example.com/mcp";

JSONValue object(std::initializer_list<std::pair<const char*, JSONValue>> members) {
    JSONValue value = JSONValue::emptyObject();
    for (const auto& [key, member] : members)
        value.set(key, member);
    return value;
}

JSONValue tool(const std::string& name) {
    return object({{"name", name},
                   {"description", "Tool " + name},
                   {"inputSchema", object({{"type", "object"}})}});
}

ScriptedMCPServer fullServer() {
    ScriptedMCPServer server;
    server.capabilities = object({{"tools", JSONValue::emptyObject()},
                                  {"resources", JSONValue::emptyObject()},
                                  {"prompts", JSONValue::emptyObject()}});
    server.serverInfo = object({{"name", "scripted"}, {"version", "1.0"}});
    server.pages["tools/list"] = {{tool("alpha")}, {tool("beta")}};
    server.pages["resources/list"] = {{object({{"uri", "file:///notes.txt"}})}};
    server.pages["resources/templates/list"] = {
        {object({{"uriTemplate", "file:///{path}"}, {"name", "files"}})}};
    server.pages["prompts/list"] = {{object({{"description", "nameless"}})}};
    return server;
}

const Evidence* evidence(const ScanReport& report, const std::string& id) {
    return report.findEvidence(id);
}

TEST(MCPStep, VerifiedConventionalServer) {
    ScriptedSite site;
    ScriptedMCPServer server = fullServer();
    server.preflightHeaders = {{"access-control-allow-origin", "*"}};
    site.mcp(kMCP, server);
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const ScanReport& report = run.report;

    const GraphNode* mcp = node(report, kMCP);
    ASSERT_NE(mcp, nullptr);
    EXPECT_EQ(mcp->kind, NodeKind::mcp);
    EXPECT_EQ(mcp->label, "MCP Server");
    EXPECT_EQ(mcp->status, FindingStatus::valid);
    EXPECT_EQ(mcp->summary, "Streamable HTTP \u00B7 2026-07-28 \u00B7 2 tools");
    EXPECT_FALSE(mcp->isAgentDocument.has_value());
    EXPECT_EQ(mcp->metadata["serverInfo"], server.serverInfo);
    EXPECT_EQ(mcp->metadata["capabilities"], server.capabilities);
    EXPECT_EQ(mcp->metadata["protocolVersion"], JSONValue("2026-07-28"));
    EXPECT_EQ(mcp->metadata["transport"], JSONValue("Streamable HTTP"));
    EXPECT_TRUE(mcp->metadata["latencyMS"].isNumber());
    const JSONValue& cors = mcp->metadata["cors"];
    EXPECT_TRUE(cors["originTested"].string()->ends_with(".invalid"));
    EXPECT_EQ(cors["status"], JSONValue(204));
    EXPECT_EQ(cors["allowOrigin"], JSONValue("*"));
    EXPECT_EQ(cors["scope"],
              JSONValue("Browser interoperability only; not required by this native client"));

    // Client exchanges first, the pre-flight last.
    ASSERT_GE(mcp->evidenceIDs.size(), 2u);
    const Evidence* preflight = evidence(report, mcp->evidenceIDs.back());
    ASSERT_NE(preflight, nullptr);
    EXPECT_EQ(preflight->method, "OPTIONS");
    EXPECT_EQ(preflight->requestHeaders.at("Origin"), *cors["originTested"].string());
    EXPECT_EQ(preflight->requestHeaders.at("Access-Control-Request-Method"), "POST");
    EXPECT_EQ(preflight->requestHeaders.at("Access-Control-Request-Headers"),
              "content-type,mcp-protocol-version");
    for (std::size_t i = 0; i + 1 < mcp->evidenceIDs.size(); ++i) {
        EXPECT_EQ(evidence(report, mcp->evidenceIDs[i])->method, "POST");
    }

    ASSERT_EQ(report.servers.size(), 1u);
    EXPECT_EQ(report.servers.front().url, kMCP);
    ASSERT_NE(engine.client(kMCP), nullptr);
    EXPECT_EQ(engine.client(kMCP)->endpoint(), kMCP);

    const auto rootEdge =
        std::find_if(report.edges.begin(), report.edges.end(),
                     [](const GraphEdge& e) { return e.relation == "MCP verified"; });
    ASSERT_NE(rootEdge, report.edges.end());
    EXPECT_EQ(rootEdge->source, kRoot);
    EXPECT_EQ(rootEdge->target, kMCP);
    EXPECT_EQ(rootEdge->locator, "JSON-RPC negotiation at " + kMCP);
    EXPECT_EQ(rootEdge->evidenceID, mcp->evidenceIDs.front());

    // Inventory nodes: id, kind, label, url and the exchange that listed them.
    struct Item {
        std::string id;
        NodeKind kind;
        std::string label;
        std::optional<std::string> url;
        std::string relation;
        std::string locator;
        std::string listedBy;
    };
    const std::vector<Item> items{
        {kMCP + "#tool:alpha", NodeKind::tool, "alpha", kMCP, "exposes tool",
         "/result/tools/name=alpha", "tools/list"},
        {kMCP + "#tool:beta", NodeKind::tool, "beta", kMCP, "exposes tool",
         "/result/tools/name=beta", "tools/list"},
        {kMCP + "#resources:file:///notes.txt", NodeKind::resource, "file:///notes.txt",
         "file:///notes.txt", "exposes resource", "/result/resources/file:///notes.txt",
         "resources/list"},
        {kMCP + "#resourceTemplates:files", NodeKind::resource, "files", std::nullopt,
         "exposes resource", "/result/resourceTemplates/files", "resources/templates/list"},
        {kMCP + "#prompts:Unnamed prompt", NodeKind::prompt, "Unnamed prompt", std::nullopt,
         "exposes prompt", "/result/prompts/Unnamed prompt", "prompts/list"},
    };
    std::string lastToolsList;
    for (const Evidence& e : report.evidence) {
        if (e.requestBody && e.requestBody->find("\"tools/list\"") != std::string::npos)
            lastToolsList = e.id;
    }
    for (const auto& item : items) {
        SCOPED_TRACE(item.id);
        const GraphNode* n = node(report, item.id);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->kind, item.kind);
        EXPECT_EQ(n->label, item.label);
        EXPECT_EQ(n->url, item.url);
        EXPECT_EQ(n->status,
                  item.kind == NodeKind::tool ? FindingStatus::valid : FindingStatus::found);
        ASSERT_EQ(n->evidenceIDs.size(), 1u);
        const Evidence* listed = evidence(report, n->evidenceIDs.front());
        ASSERT_NE(listed, nullptr);
        EXPECT_NE(listed->requestBody->find(item.listedBy), std::string::npos);
        if (item.kind == NodeKind::tool) {
            EXPECT_EQ(n->evidenceIDs.front(), lastToolsList) << "tools come from the last page";
        }
        const auto edge = std::find_if(report.edges.begin(), report.edges.end(),
                                       [&](const GraphEdge& e) { return e.target == item.id; });
        ASSERT_NE(edge, report.edges.end());
        EXPECT_EQ(edge->source, kMCP);
        EXPECT_EQ(edge->relation, item.relation);
        EXPECT_EQ(edge->locator, item.locator);
        EXPECT_EQ(edge->evidenceID, n->evidenceIDs.front());
    }
    EXPECT_EQ(node(report, kMCP + "#tool:alpha")->summary, "Tool alpha");
    EXPECT_EQ(run.messages[run.messages.size() - 2], "11 locations inspected \u00B7 2 tools");
}

TEST(MCPStep, UnverifiedServers) {
    struct Case {
        const char* name;
        std::optional<std::int64_t> plainStatus; // nothing: no server at all (404 fallback)
        std::optional<std::string> failure;      // a transport error instead of an answer
        FindingStatus status;
        std::string summary;
    };
    const std::vector<Case> cases{
        {"404 without MCP", std::nullopt, std::nullopt, FindingStatus::notFound,
         "MCP protocol not verified \u00B7 HTTP 404"},
        {"401 everywhere", 401, std::nullopt, FindingStatus::found,
         "MCP protocol not verified \u00B7 HTTP 401"},
        {"500 everywhere", 500, std::nullopt, FindingStatus::invalid,
         "MCP protocol not verified \u00B7 HTTP 500"},
        {"refused by the policy", std::nullopt,
         "Blocked: DNS resolves to a private, local or reserved address (10.0.0.1).",
         FindingStatus::blocked, "MCP protocol not verified \u00B7 HTTP no response"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSite site;
        if (c.plainStatus) {
            ScriptedMCPServer server;
            server.plainStatus = c.plainStatus;
            site.mcp(kMCP, server);
        }
        if (c.failure) site.fake()->fail(kMCP, *c.failure);
        DiscoveryEngine engine(NetworkPolicy(), site.fake());
        const ScanRun run = runScan(engine, "example.com");
        const GraphNode* mcp = node(run.report, kMCP);
        ASSERT_NE(mcp, nullptr);
        EXPECT_EQ(mcp->label, "MCP probe");
        EXPECT_EQ(mcp->status, c.status);
        EXPECT_EQ(mcp->summary, c.summary);
        EXPECT_FALSE(mcp->metadata.find("cors"));
        ASSERT_EQ(run.report.servers.size(), 1u);
        EXPECT_EQ(run.report.servers.front().issues, mcp->issues);
        EXPECT_EQ(engine.client(kMCP), nullptr);
        EXPECT_TRUE(site.requested("OPTIONS").empty());
        EXPECT_FALSE(hasEdge(run.report, kRoot, kMCP, "MCP verified"));
        // Every client exchange is evidence of the node.
        EXPECT_EQ(mcp->evidenceIDs.size(), site.requested("POST").size());
    }
}

TEST(MCPStep, DeclaredServerGetsNoRootEdgeAndPreflightWithoutHeader) {
    const std::string declared = "https://example.com/rpc/mcp";
    ScriptedSite site;
    site.document(kRoot, 200, "<html><link rel=\"mcp\" href=\"/rpc/mcp\"></html>", "text/html");
    site.mcp(declared, fullServer());
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const GraphNode* mcp = node(run.report, declared);
    ASSERT_NE(mcp, nullptr);
    EXPECT_EQ(mcp->status, FindingStatus::valid);
    EXPECT_EQ(mcp->metadata["cors"]["allowOrigin"], JSONValue("Not advertised"));
    EXPECT_EQ(mcp->metadata["cors"]["status"], JSONValue(204));
    EXPECT_FALSE(hasEdge(run.report, kRoot, declared, "MCP verified"));
    EXPECT_TRUE(hasEdge(run.report, kRoot, declared, "HTML mcp"));
    EXPECT_NE(engine.client(declared), nullptr);
    // The conventional /mcp of the same site is a separate, failing probe.
    EXPECT_EQ(node(run.report, kMCP)->status, FindingStatus::notFound);
    EXPECT_EQ(run.report.servers.size(), 2u);
}

TEST(MCPStep, ServerThatPaginatesToTheLimit) {
    ScriptedSite site;
    ScriptedMCPServer server;
    server.capabilities = object({{"tools", JSONValue::emptyObject()}});
    for (int page = 0; page < 25; ++page)
        server.pages["tools/list"].push_back({tool("t" + std::to_string(page))});
    site.mcp(kMCP, server);
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const GraphNode* mcp = node(run.report, kMCP);
    ASSERT_NE(mcp, nullptr);
    EXPECT_EQ(mcp->label, "MCP probe");
    EXPECT_EQ(mcp->status, FindingStatus::invalid);
    EXPECT_EQ(mcp->summary, "MCP protocol not verified \u00B7 HTTP 200");
    EXPECT_EQ(mcp->issues, std::vector<std::string>{"tools/list: page limit reached."});
    // Discovery plus twenty pages, all kept as evidence; no tool nodes.
    EXPECT_EQ(mcp->evidenceIDs.size(), 21u);
    EXPECT_EQ(std::count_if(run.report.nodes.begin(), run.report.nodes.end(),
                            [](const GraphNode& n) { return n.kind == NodeKind::tool; }),
              0);
}

TEST(MCPStep, EachScanUsesAFreshClientAndKeepsTheLatest) {
    ScriptedSite site;
    site.mcp(kMCP, fullServer());
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    runScan(engine, "example.com");
    const auto first = engine.client(kMCP);
    runScan(engine, "example.com");
    const auto second = engine.client(kMCP);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    // The kept client handed its evidence to the report.
    EXPECT_TRUE(second->evidence().empty());
}

TEST(MCPStep, CancelDuringInspectionKeepsTheExchangesButGivesNoVerdict) {
    ScriptedSite site;
    site.mcp(kMCP, fullServer());
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    std::stop_source stop;
    const ScanRun run = runScan(
        engine, "example.com",
        [&](const std::string& m) {
            if (m == "Inspecting /mcp") stop.request_stop();
        },
        stop.get_token());
    const ScanReport& report = run.report;
    EXPECT_TRUE(report.cancelled);
    EXPECT_EQ(run.messages.back(), "Cancelled");
    // A cut-short negotiation is not a failing server: no node, no record, no client.
    EXPECT_EQ(node(report, kMCP), nullptr);
    EXPECT_TRUE(report.servers.empty());
    EXPECT_EQ(engine.client(kMCP), nullptr);
    EXPECT_TRUE(site.requested("OPTIONS").empty());
    const auto posts = std::count_if(report.evidence.begin(), report.evidence.end(),
                                     [](const Evidence& e) { return e.method == "POST"; });
    EXPECT_EQ(static_cast<std::size_t>(posts), site.requested("POST").size());
}

} // namespace
} // namespace quorilanth::test
