// A whole scan through curl in Developer Mode: the entered host, 127.0.0.1,
// redirects its root to 127.0.0.2, which serves the documents; the agent
// manifest declares an MCP SDK peer listening on a port of its own.

#include "core/engine/DiscoveryEngine.h"
#include "core/mcp/MCPClient.h"
#include "support/LoopbackHTTPServer.h"
#include "support/McpPeer.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

TEST(ScanEndToEnd, FixtureSiteAcrossTwoHostsWithAnMCPPeer) {
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    LoopbackHTTPServer site({"127.0.0.1", "127.0.0.2"});
    const std::string first = site.origin("127.0.0.1"), second = site.origin("127.0.0.2");
    const std::vector<std::tuple<std::string, std::string, std::string>> documents{
        {"/",
         "<html lang=\"en\"><head><title>Fixture</title><link rel=\"canonical\" href=\"" + second +
             "/\"><link rel=\"alternate\" type=\"text/plain\" href=\"/llms.txt\"><meta "
             "property=\"og:url\" content=\"" +
             second +
             "/docs/agent-card.json\"></head><body><a href=\"/agents\">a</a></body></html>",
         "text/html; charset=utf-8"},
        {"/.well-known/agent.json",
         "{\"name\":\"Fixture\",\"publisher\":\"Fixture Inc.\",\"url\":\"" + second +
             "/\",\"endpoints\":{\"card\":\"" + second + "/docs/agent-card.json\",\"mcp\":\"" +
             peer.endpoint() + "\"}}",
         "application/json"},
        {"/docs/agent-card.json", "{\"name\":\"Fixture card\",\"skills\":[]}", "application/json"},
        {"/llms.txt", "# Fixture\n\n- [Agent](" + second + "/.well-known/agent.json)\n",
         "text/plain"},
        {"/robots.txt", "User-agent: *\nSitemap: " + second + "/sitemap.xml\n", "text/plain"},
        {"/sitemap.xml",
         "<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
         "<url><loc>" +
             second + "/llms.txt</loc></url></urlset>",
         "application/xml"},
    };
    for (const auto& [path, body, type] : documents) {
        site.on(path, [&, path, body, type](const ReceivedRequest& request, ResponseWriter& out) {
            if (request.localAddress == "127.0.0.2")
                out.respond(200, body, {{"Content-Type", type}});
            else
                out.respond(path == "/" ? 302 : 404, "", {{"Location", second + "/"}});
        });
    }

    DiscoveryEngine engine{NetworkPolicy(true)};
    const ScanReport report = engine.scan(first);
    EXPECT_EQ(report.domain, first + "/");
    EXPECT_TRUE(report.notices.empty());
    // Every recorded exchange is a real hop; the root has both of its own.
    for (const Evidence& hop : report.evidence)
        EXPECT_TRUE(hop.statusCode.has_value()) << hop.url;
    const GraphNode* root = report.findNode(first + "/");
    ASSERT_TRUE(root && root->evidenceIDs.size() == 2);
    EXPECT_EQ(report.findEvidence(root->evidenceIDs.front())->statusCode, 302);
    EXPECT_EQ(report.findEvidence(root->evidenceIDs.back())->url, second + "/");

    auto edge = [&](const std::string& source, const std::string& target, const char* relation) {
        return std::any_of(report.edges.begin(), report.edges.end(), [&](const GraphEdge& e) {
            return e.source == source && e.target == target && e.relation == relation;
        });
    };
    // Node, kind, status and whether the root links it as answering there. The
    // root page declares llms.txt first, so its conventional copy is a skipped repeat.
    const std::vector<std::tuple<std::string, NodeKind, FindingStatus, bool>> expected{
        {root->id, NodeKind::domain, FindingStatus::valid, false},
        {second + "/.well-known/agent.json", NodeKind::manifest, FindingStatus::found, true},
        {second + "/llms.txt", NodeKind::discovery, FindingStatus::found, false},
        {second + "/robots.txt", NodeKind::discovery, FindingStatus::found, true},
        {second + "/sitemap.xml", NodeKind::discovery, FindingStatus::valid, true},
        {second + "/docs/agent-card.json", NodeKind::manifest, FindingStatus::found, false},
        {second + "/.well-known/ai-catalog.json", NodeKind::manifest, FindingStatus::notFound,
         false},
        {first + "/.well-known/agent.json", NodeKind::manifest, FindingStatus::notFound, false},
        {second + "/mcp", NodeKind::mcp, FindingStatus::notFound, false},
        {peer.endpoint(), NodeKind::mcp, FindingStatus::valid, false},
    };
    for (const auto& [id, kind, status, respondsAt] : expected) {
        const GraphNode* node = report.findNode(id);
        ASSERT_NE(node, nullptr) << id;
        EXPECT_EQ(std::tuple(node->kind, node->status, edge(root->id, id, "responds at")),
                  std::tuple(kind, status, respondsAt))
            << id;
    }
    EXPECT_TRUE(report.findNode(second + "/llms.txt")->isAgentDocument.value_or(false));
    EXPECT_TRUE(
        edge(second + "/.well-known/agent.json", second + "/docs/agent-card.json", "declares"));
    EXPECT_TRUE(edge(root->id, second + "/llms.txt", "HTML alternate"));

    // The peer is verified with its tools, its pre-flight last, and a client kept.
    const auto server = std::find_if(report.servers.begin(), report.servers.end(),
                                     [&](const MCPServer& s) { return s.url == peer.endpoint(); });
    ASSERT_NE(server, report.servers.end());
    EXPECT_EQ(server->tools.size(), 13u);
    EXPECT_EQ(report.findEvidence(report.findNode(peer.endpoint())->evidenceIDs.back())->method,
              "OPTIONS");
    EXPECT_NE(engine.client(peer.endpoint()), nullptr);

    // Plain HTTP, no cache headers, one language, no tool run and no publisher
    // on the site's own domain: everything else passes.
    std::vector<std::string> failed;
    for (const ScoreCheck& check : report.checks)
        if (!check.passed) failed.push_back(check.id);
    EXPECT_EQ(failed,
              (std::vector<std::string>{"provenance.domain", "localization.multiple",
                                        "reliability.tls", "reliability.cache", "actions.result"}));
}

} // namespace
} // namespace quorilanth::test
