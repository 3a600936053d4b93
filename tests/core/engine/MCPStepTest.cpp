// The MCP step against scripted servers: node, record, pre-flight, inventory
// nodes and the clients the engine keeps.

#include "ScriptedSite.h"
#include "core/mcp/MCPClient.h"

#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

const std::string kRoot = "https://example.com/";
const std::string kMCP = "https://example.com/mcp";

ScriptedMCPServer fullServer() {
    return {
        R"({"tools":{},"resources":{},"prompts":{}})",
        {{"tools/list", R"([{"name":"alpha","inputSchema":{}},{"name":"beta","inputSchema":{}}])"},
         {"resources/list", R"([{"uri":"file:///notes.txt"}])"},
         {"resources/templates/list", R"([{"uriTemplate":"file:///{path}","name":"files"}])"},
         {"prompts/list", R"([{"description":"nameless"}])"}},
        {{"access-control-allow-origin", "*"}}};
}

// Client exchanges first, the pre-flight last; inventory nodes under the
// server, each with the exchange of the list that named it.
TEST(MCPStep, AVerifiedConventionalServer) {
    ScriptedSite site;
    site.mcp(kMCP, fullServer());
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    const ScanRun run = runScan(engine, "example.com");
    const ScanReport& report = run.report;
    const GraphNode* mcp = report.findNode(kMCP);
    ASSERT_NE(mcp, nullptr);
    EXPECT_EQ(mcp->status, FindingStatus::valid);
    EXPECT_EQ(mcp->summary, "Streamable HTTP \u00B7 2026-07-28 \u00B7 2 tools");
    EXPECT_EQ(mcp->metadata["capabilities"], JSONValue::parse(fullServer().capabilities));
    EXPECT_EQ(mcp->metadata["cors"]["allowOrigin"], JSONValue("*"));
    const Evidence* preflight = report.findEvidence(mcp->evidenceIDs.back());
    EXPECT_EQ(preflight->method, "OPTIONS");
    EXPECT_EQ(preflight->requestHeaders.at("Origin"), mcp->metadata["cors"]["originTested"].text());
    EXPECT_EQ(preflight->requestHeaders.at("Access-Control-Request-Headers"),
              "content-type,mcp-protocol-version");
    EXPECT_EQ(report.findEvidence(mcp->evidenceIDs.front())->method, "POST");
    EXPECT_NE(engine.client(kMCP), nullptr);
    EXPECT_TRUE(hasEdge(report, kRoot, kMCP, "MCP verified"));

    std::vector<std::string> inventory;
    for (const GraphNode& node : report.nodes) {
        if (!node.id.starts_with(kMCP + "#")) continue;
        const Evidence* listed = report.findEvidence(node.evidenceIDs.at(0));
        inventory.push_back(node.id.substr(kMCP.size()) + " " + std::string(toString(node.kind)) +
                            " " + JSONValue::parse(*listed->requestBody)["method"].text());
        EXPECT_TRUE(hasEdge(report, kMCP, node.id, "exposes " + std::string(toString(node.kind))));
    }
    EXPECT_EQ(inventory, (std::vector<std::string>{
                             "#tool:alpha tool tools/list", "#tool:beta tool tools/list",
                             "#resources:file:///notes.txt resource resources/list",
                             "#resourceTemplates:files resource resources/templates/list",
                             "#prompts:Unnamed prompt prompt prompts/list"}));
    EXPECT_EQ(run.messages[run.messages.size() - 2], "11 locations inspected \u00B7 2 tools");

    // The next scan negotiates with a fresh client and keeps it, its evidence in the report.
    const auto first = engine.client(kMCP);
    runScan(engine, "example.com");
    ASSERT_TRUE(first && engine.client(kMCP));
    EXPECT_NE(first, engine.client(kMCP));
    EXPECT_TRUE(engine.client(kMCP)->evidence().empty());
}

// Every client exchange is evidence of the node; no record is kept as a
// client, and no pre-flight is sent.
TEST(MCPStep, UnverifiedServers) {
    const struct {
        std::optional<std::int64_t> plainStatus; // nothing: no server at all (404)
        const char* failure;                     // a transport error instead of an answer
        FindingStatus status;
        const char* summary;
    } cases[] = {
        {std::nullopt, nullptr, FindingStatus::notFound,
         "MCP protocol not verified \u00B7 HTTP 404"},
        {401, nullptr, FindingStatus::found, "MCP protocol not verified \u00B7 HTTP 401"},
        {500, nullptr, FindingStatus::invalid, "MCP protocol not verified \u00B7 HTTP 500"},
        {std::nullopt, "Blocked: DNS resolves to a private, local or reserved address (10.0.0.1).",
         FindingStatus::blocked, "MCP protocol not verified \u00B7 HTTP no response"},
    };
    for (const auto& c : cases) {
        ScriptedSite site;
        ScriptedMCPServer server;
        server.plainStatus = c.plainStatus;
        if (c.plainStatus) site.mcp(kMCP, server);
        if (c.failure) site.fake->fail(kMCP, c.failure);
        DiscoveryEngine engine(NetworkPolicy(), site.fake);
        const ScanRun run = runScan(engine, "example.com");
        const GraphNode* mcp = run.report.findNode(kMCP);
        ASSERT_NE(mcp, nullptr);
        EXPECT_EQ(std::pair(mcp->status, mcp->summary),
                  std::pair(c.status, std::string(c.summary)));
        EXPECT_EQ(run.report.servers.size(), 1u);
        EXPECT_EQ(engine.client(kMCP), nullptr);
        EXPECT_TRUE(site.requested("OPTIONS").empty());
        EXPECT_EQ(mcp->evidenceIDs.size(), site.requested("POST").size());
    }
}

// A declared server gets no edge from the root, and its pre-flight finds no
// header; the conventional /mcp of the same site is a separate, failing probe.
TEST(MCPStep, ADeclaredServer) {
    const std::string declared = "https://example.com/rpc/mcp";
    ScriptedSite site;
    site.document(kRoot, 200, "<html><link rel=\"mcp\" href=\"/rpc/mcp\"></html>");
    ScriptedMCPServer server = fullServer();
    server.preflightHeaders.clear();
    site.mcp(declared, server);
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    const ScanReport report = runScan(engine, "example.com").report;
    EXPECT_EQ(report.findNode(declared)->status, FindingStatus::valid);
    EXPECT_EQ(report.findNode(declared)->metadata["cors"]["allowOrigin"],
              JSONValue("Not advertised"));
    EXPECT_FALSE(hasEdge(report, kRoot, declared, "MCP verified"));
    EXPECT_EQ(report.findNode(kMCP)->status, FindingStatus::notFound);
    EXPECT_EQ(report.servers.size(), 2u);
}

// A cut-short negotiation is no failing server: no node, no record, no client,
// no pre-flight; its exchanges stay in the report.
TEST(MCPStep, ACancelDuringInspectionKeepsTheExchangesButGivesNoVerdict) {
    ScriptedSite site;
    site.mcp(kMCP, fullServer());
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    std::stop_source stop;
    const ScanReport report = runScan(
                                  engine, "example.com",
                                  [&](const std::string& m) {
                                      if (m == "Inspecting /mcp") stop.request_stop();
                                  },
                                  stop.get_token())
                                  .report;
    EXPECT_EQ(report.findNode(kMCP), nullptr);
    EXPECT_TRUE(report.servers.empty());
    EXPECT_EQ(engine.client(kMCP), nullptr);
    EXPECT_TRUE(site.requested("OPTIONS").empty());
    EXPECT_EQ(std::count_if(report.evidence.begin(), report.evidence.end(),
                            [](const Evidence& e) { return e.method == "POST"; }),
              std::ssize(site.requested("POST")));
}

} // namespace
} // namespace quorilanth::test
