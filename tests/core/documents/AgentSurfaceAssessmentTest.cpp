#include "core/documents/AgentSurfaceAssessment.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using Presence = AgentSurfaceAssessment::Presence;
using testsupport::ReportBuilder;

// The presences of MCP, endpoints, manifests and documentation, then the
// verified documents.
std::string verdict(const ScanReport& report) {
    const AgentSurfaceAssessment a(report);
    std::string text;
    for (auto presence : {a.mcp, a.endpoints, a.manifests, a.documentation})
        text += std::string(toString(presence)) + " ";
    for (const GraphNode& document : a.documents)
        text += document.id + " ";
    return text + (a.hasInteractiveServices() ? "interactive" : "");
}

bool verified(ReportBuilder& b, std::size_t node = 0) {
    return AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes.at(node), b.report());
}

// An open or cancelled scan decides nothing; a finished one says "not found"
// only of candidates that were not found, and robots and sitemap files are no candidates.
TEST(Assessment, AFinishedScanSaysNotFoundOnlyOfCandidatesNotFound) {
    const std::string none = "notFound notFound notFound notFound ",
                      manifests = "notFound notFound inconclusive notFound ";
    for (const bool open : {true, false}) {
        ReportBuilder b;
        open ? void(b.open()) : void(b.report().cancelled = true);
        EXPECT_EQ(verdict(b.report()), "inconclusive inconclusive inconclusive inconclusive ");
        EXPECT_TRUE(AgentSurfaceAssessment(b.report()).hasUnresolvedChecks());
    }
    const struct {
        const char* url;
        FindingStatus status;
        bool flagged;
        const std::string& expected;
    } cases[] = {
        {"https://x.example/ROBOTS.TXT", FindingStatus::found, true, none},
        {"https://x.example/sitemap-news.xml?x=1", FindingStatus::found, true, none},
        {"https://x.example/sitemap_index.xml/", FindingStatus::found, true, none},
        {"https://x.example/agent.json", FindingStatus::notFound, false, none},
        {"https://x.example/agent.json", FindingStatus::blocked, false, manifests},
        {"https://x.example/agent.json", FindingStatus::found, false, manifests},
    };
    for (const auto& c : cases) {
        ReportBuilder b;
        b.document(c.url, c.flagged ? NodeKind::discovery : NodeKind::manifest, c.flagged,
                   c.status);
        b.node("https://x.example/ai-catalog.json", NodeKind::manifest, FindingStatus::notFound);
        EXPECT_EQ(verdict(b.report()), c.expected) << c.url;
        EXPECT_EQ(AgentSurfaceAssessment(b.report()).hasUnresolvedChecks(), &c.expected != &none);
    }
    for (const char* url : {"https://x.example/robots.txt.bak", "https://x.example/my-sitemap.xml",
                            "https://x.example/sitemap.xml/agents", "not a url/sitemap.xml"})
        EXPECT_FALSE(AgentSurfaceAssessment::isAuxiliary(
            GraphNode("n", NodeKind::discovery, "n", url, FindingStatus::found)))
            << url;
}

// Only a successful, complete latest GET counts (a later POST is no reading);
// then the node's own flag decides, and without one that GET is parsed again.
TEST(Assessment, AnAgentDocumentIsVerifiedByItsFlagOrItsLatestGet) {
    const std::string url = "https://x.example/.well-known/agent.json", tools = "{\"tools\":[]}";
    const struct {
        std::optional<bool> flag;
        const char* body;
        const char* method;
        std::int64_t status;
        bool truncated, failed, verified;
    } cases[] = {
        {false, "{\"tools\":[]}", "GET", 200, false, false, false},
        {true, "", "GET", 200, false, false, true},
        {std::nullopt, "{\"tools\":[]}", "GET", 200, false, false, true},
        {std::nullopt, "{\"title\":\"x\"}", "GET", 200, false, false, false},
        {std::nullopt, "{", "GET", 200, false, false, false},
        {std::nullopt, "", "POST", 200, false, false, true},
        {true, "", "GET", 500, false, false, false},
        {true, "", "GET", 200, true, false, false},
        {true, "", "GET", 200, false, true, false},
    };
    for (const auto& c : cases) {
        ReportBuilder b;
        const std::string good = b.exchange(url, 200, "application/json", tools);
        const std::string latest = b.exchange(url, c.status, "application/json", c.body, c.method);
        b.lastExchange().truncated = c.truncated;
        if (c.failed) b.lastExchange().error = "reset";
        b.node(url, NodeKind::manifest, FindingStatus::valid, {good, latest}).isAgentDocument =
            c.flag;
        EXPECT_EQ(verified(b), c.verified) << c.body << " " << c.method << " " << c.status;
        EXPECT_EQ(AgentSurfaceAssessment(b.report()).manifests,
                  c.verified ? Presence::found : Presence::inconclusive);
    }
    ReportBuilder post;
    post.node(url, NodeKind::endpoint, FindingStatus::valid,
              {post.exchange(url, 200, "", tools, "POST")})
        .isAgentDocument = true;
    EXPECT_FALSE(verified(post));
}

TEST(Assessment, PresencesGrowWithWhatTheScanProved) {
    ReportBuilder b;
    const std::string llms = "https://x.example/llms.txt";
    // A second node reading the same address is the same document.
    for (const char* id : {"https://x.example/llms.txt", "https://x.example/llms-copy"})
        b.node(id, NodeKind::discovery, FindingStatus::found,
               {b.exchange(llms, 200, "text/plain", "x")})
            .isAgentDocument = true;
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest);
    const std::string documents = llms + " https://x.example/.well-known/agent.json ";
    EXPECT_EQ(verdict(b.report()), "notFound notFound found found " + documents);
    b.document("https://x.example/api/v1", NodeKind::endpoint);
    // Only a valid server proves MCP.
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::found,
           {b.exchange("https://x.example/mcp")});
    EXPECT_EQ(verdict(b.report()), "inconclusive found found found " + documents +
                                       "https://x.example/api/v1 interactive");
    b.node("https://y.example/mcp", NodeKind::mcp, FindingStatus::valid);
    EXPECT_EQ(verdict(b.report()).substr(0, 6), "found ");
}

// A reference that an agent manifest declares but that was never requested
// carries the manifest's own exchange; parsing it again says "agent document",
// which proves the manifest, not the reference.
TEST(Assessment, AnUnrequestedDeclaredReferenceProvesNothing) {
    for (const char* summary : {"Declared reference \u00B7 URL template requires parameters",
                                "Declared reference \u00B7 not yet requested"}) {
        ReportBuilder b;
        const std::string manifest = "https://x.example/.well-known/agent.json";
        const std::string exchange = b.exchange(manifest, 200, "application/json",
                                                "{\"endpoints\":{\"search\":\"/api/search/{q}\"}}");
        b.node(manifest, NodeKind::manifest, FindingStatus::found, {exchange}).isAgentDocument =
            true;
        b.node("https://x.example/api/search/{q}", NodeKind::endpoint, FindingStatus::found,
               {exchange})
            .summary = summary;
        EXPECT_FALSE(verified(b, 1)) << summary;
        EXPECT_EQ(AgentSurfaceAssessment(b.report()).endpoints, Presence::inconclusive);
    }
}

} // namespace
} // namespace quorilanth
