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
    EXPECT_EQ(mcp->status, FindingStatus::valid);
    EXPECT_EQ(mcp->summary, "Streamable HTTP \u00B7 2026-07-28 \u00B7 2 tools");
    EXPECT_EQ(mcp->metadata["capabilities"], server.capabilities);
    const JSONValue& cors = mcp->metadata["cors"];
    EXPECT_EQ(cors["allowOrigin"], JSONValue("*"));

    // Client exchanges first, the pre-flight last.
    const Evidence* preflight = evidence(report, mcp->evidenceIDs.back());
    ASSERT_NE(preflight, nullptr);
    EXPECT_EQ(preflight->method, "OPTIONS");
    EXPECT_EQ(preflight->requestHeaders.at("Origin"), *cors["originTested"].string());
    EXPECT_EQ(preflight->requestHeaders.at("Access-Control-Request-Headers"),
              "content-type,mcp-protocol-version");
    EXPECT_EQ(evidence(report, mcp->evidenceIDs.front())->method, "POST");
    EXPECT_NE(engine.client(kMCP), nullptr);
    EXPECT_TRUE(hasEdge(report, kRoot, kMCP, "MCP verified"));

    // Inventory nodes: id, kind and the list that named them.
    const std::vector<std::tuple<std::string, NodeKind, std::string>> items{
        {kMCP + "#tool:alpha", NodeKind::tool, "tools/list"},
        {kMCP + "#tool:beta", NodeKind::tool, "tools/list"},
        {kMCP + "#resources:file:///notes.txt", NodeKind::resource, "resources/list"},
        {kMCP + "#resourceTemplates:files", NodeKind::resource, "resources/templates/list"},
        {kMCP + "#prompts:Unnamed prompt", NodeKind::prompt, "prompts/list"},
    };
    for (const auto& [id, kind, listedBy] : items) {
        SCOPED_TRACE(id);
        const GraphNode* n = node(report, id);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->kind, kind);
        ASSERT_EQ(n->evidenceIDs.size(), 1u);
        EXPECT_NE(evidence(report, n->evidenceIDs.front())->requestBody->find(listedBy),
                  std::string::npos);
        EXPECT_TRUE(hasEdge(report, kMCP, id,
                            kind == NodeKind::tool     ? "exposes tool"
                            : kind == NodeKind::prompt ? "exposes prompt"
                                                       : "exposes resource"));
    }
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
        EXPECT_EQ(mcp->status, c.status);
        EXPECT_EQ(mcp->summary, c.summary);
        ASSERT_EQ(run.report.servers.size(), 1u);
        EXPECT_EQ(engine.client(kMCP), nullptr);
        EXPECT_TRUE(site.requested("OPTIONS").empty());
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
    EXPECT_FALSE(hasEdge(run.report, kRoot, declared, "MCP verified"));
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
    EXPECT_EQ(mcp->status, FindingStatus::invalid);
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
