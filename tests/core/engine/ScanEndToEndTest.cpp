// Whole scans through curl in Developer Mode against a fixture site served on
// 127.0.0.1 and 127.0.0.2, with an MCP SDK peer standing at /mcp.

#include "ReverseProxy.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/mcp/MCPClient.h"
#include "support/LoopbackHTTPServer.h"
#include "support/McpPeer.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

bool hasEdge(const ScanReport& report, const std::string& source, const std::string& target,
             const std::string& relation) {
    return std::any_of(report.edges.begin(), report.edges.end(), [&](const GraphEdge& e) {
        return e.source == source && e.target == target && e.relation == relation;
    });
}

// The site: the entered host redirects its root to the second host, which
// serves the documents; both hosts forward /mcp to the peer.
class FixtureSite {
public:
    explicit FixtureSite(std::uint16_t peerPort) : server_({"127.0.0.1", "127.0.0.2"}) {
        const std::string second = server_.origin("127.0.0.2");
        server_.on("/", [second](const ReceivedRequest& request, ResponseWriter& out) {
            if (request.localAddress == "127.0.0.1") {
                out.respond(302, "", {{"Location", second + "/"}});
                return;
            }
            out.respond(200,
                        "<html lang=\"en\"><head><title>Fixture</title>"
                        "<meta name=\"description\" content=\"A fixture site\">"
                        "<link rel=\"canonical\" href=\"" +
                            second +
                            "/\">"
                            "<link rel=\"alternate\" type=\"text/plain\" href=\"/llms.txt\">"
                            "<meta property=\"og:url\" content=\"" +
                            second +
                            "/docs/agent-card.json\">"
                            "</head><body><a href=\"/agents\">agents</a></body></html>",
                        {{"Content-Type", "text/html; charset=utf-8"}});
        });
        onSecond("/.well-known/agent.json",
                 respond::text(200,
                               "{\"name\":\"Fixture\",\"publisher\":\"Fixture Inc.\",\"url\":\"" +
                                   second + "/\",\"endpoints\":{\"card\":\"" + second +
                                   "/docs/agent-card.json\",\"mcp\":\"" + second + "/mcp\"}}",
                               {{"Content-Type", "application/json"}}));
        onSecond("/docs/agent-card.json",
                 respond::text(200, "{\"name\":\"Fixture card\",\"skills\":[]}",
                               {{"Content-Type", "application/json"}}));
        onSecond("/llms.txt",
                 respond::text(200,
                               "# Fixture\n\n- [Agent](" + second + "/.well-known/agent.json)\n",
                               {{"Content-Type", "text/plain"}}));
        onSecond("/robots.txt",
                 respond::text(200, "User-agent: *\nSitemap: " + second + "/sitemap.xml\n",
                               {{"Content-Type", "text/plain"}}));
        onSecond(
            "/sitemap.xml",
            respond::text(200,
                          "<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/"
                          "sitemap/0.9\"><url><loc>" +
                              second + "/llms.txt</loc></url></urlset>",
                          {{"Content-Type", "application/xml"}}));
        server_.on("/mcp", reverseProxy(peerPort));
    }

    LoopbackHTTPServer& server() { return server_; }

    // The documents live on the second host only; the first answers 404.
    void onSecond(std::string path, Handler handler) {
        server_.on(std::move(path), [handler](const ReceivedRequest& request, ResponseWriter& out) {
            if (request.localAddress != "127.0.0.2") {
                out.respond(404, "");
                return;
            }
            handler(request, out);
        });
    }
    std::string origin(const char* address) const { return server_.origin(address); }

private:
    LoopbackHTTPServer server_;
};

TEST(ScanEndToEnd, FixtureSiteAcrossTwoHostsWithAnMCPPeer) {
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    FixtureSite site(static_cast<std::uint16_t>(peer.port()));
    const std::string first = site.origin("127.0.0.1");
    const std::string second = site.origin("127.0.0.2");

    DiscoveryEngine engine{NetworkPolicy(true)};
    const ScanReport report = engine.scan(first);
    EXPECT_EQ(report.domain, first + "/");
    EXPECT_TRUE(report.notices.empty());

    // The root: both hops, answered from the second host.
    const GraphNode* root = report.findNode(first + "/");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->status, FindingStatus::valid);
    ASSERT_EQ(root->evidenceIDs.size(), 2u);
    EXPECT_EQ(report.findEvidence(root->evidenceIDs.front())->statusCode, 302);
    EXPECT_EQ(report.findEvidence(root->evidenceIDs.back())->url, second + "/");

    struct Expected {
        std::string id;
        NodeKind kind;
        FindingStatus status;
        bool respondsAt;
    };
    const std::vector<Expected> expected{
        {second + "/.well-known/agent.json", NodeKind::manifest, FindingStatus::found, true},
        // The root page declares it first, so it is requested as a reference,
        // and its conventional copy is then a skipped repeat.
        {second + "/llms.txt", NodeKind::discovery, FindingStatus::found, false},
        {second + "/robots.txt", NodeKind::discovery, FindingStatus::found, true},
        {second + "/sitemap.xml", NodeKind::discovery, FindingStatus::valid, true},
        {second + "/docs/agent-card.json", NodeKind::manifest, FindingStatus::found, false},
        {second + "/.well-known/ai-catalog.json", NodeKind::manifest, FindingStatus::notFound,
         false},
        {first + "/.well-known/agent.json", NodeKind::manifest, FindingStatus::notFound, false},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const GraphNode* n = report.findNode(e.id);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->kind, e.kind);
        EXPECT_EQ(n->status, e.status);
        EXPECT_EQ(hasEdge(report, first + "/", e.id, "responds at"), e.respondsAt);
    }
    EXPECT_TRUE(report.findNode(second + "/llms.txt")->isAgentDocument.value_or(false));
    EXPECT_TRUE(hasEdge(report, second + "/.well-known/agent.json",
                        second + "/docs/agent-card.json", "declares"));
    EXPECT_TRUE(hasEdge(report, first + "/", second + "/llms.txt", "HTML alternate"));

    // Both hosts' /mcp reach the peer; each is verified with its own client.
    ASSERT_EQ(report.servers.size(), 2u);
    for (const MCPServer& server : report.servers) {
        SCOPED_TRACE(server.url);
        EXPECT_EQ(server.status, FindingStatus::valid);
        EXPECT_FALSE(server.tools.empty());
        EXPECT_EQ(report.findEvidence(report.findNode(server.url)->evidenceIDs.back())->method,
                  "OPTIONS");
        EXPECT_NE(engine.client(server.url), nullptr);
    }

    // Every recorded exchange is a real hop.
    for (const Evidence& hop : report.evidence)
        EXPECT_TRUE(hop.statusCode.has_value()) << hop.url;
    std::vector<std::string> failed;
    for (const ScoreCheck& check : report.checks) {
        if (!check.passed) failed.push_back(check.id);
    }
    // Plain HTTP, no cache headers, one language, no tool run and no
    // publisher on the site's own domain: everything else passes.
    EXPECT_EQ(failed,
              (std::vector<std::string>{"provenance.domain", "localization.multiple",
                                        "reliability.tls", "reliability.cache", "actions.result"}));
}

} // namespace
} // namespace quorilanth::test
