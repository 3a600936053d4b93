#include "core/documents/AgentSurfaceAssessment.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using Presence = AgentSurfaceAssessment::Presence;
using testsupport::ReportBuilder;

TEST(Assessment, EmptyReportFollowsWhetherTheScanIsOpen) {
    const struct {
        bool finished;
        bool cancelled;
        Presence expected;
    } cases[] = {{true, false, Presence::notFound},
                 {false, false, Presence::inconclusive},
                 {true, true, Presence::inconclusive}};
    for (const auto& c : cases) {
        ReportBuilder b;
        if (!c.finished) b.open();
        b.report().cancelled = c.cancelled;
        const AgentSurfaceAssessment a(b.report());
        for (Presence p : {a.mcp, a.endpoints, a.manifests, a.documentation})
            EXPECT_EQ(p, c.expected) << c.finished << c.cancelled;
        EXPECT_EQ(a.hasUnresolvedChecks(), c.expected == Presence::inconclusive);
        EXPECT_FALSE(a.hasInteractiveServices());
    }
}

TEST(Assessment, AuxiliaryFilesAreNoCandidates) {
    for (const char* url :
         {"https://x.example/ROBOTS.TXT", "https://x.example/sitemap-news.xml?x=1",
          "https://x.example/sitemap_index.xml/"}) {
        ReportBuilder b;
        b.document(url, NodeKind::discovery);
        EXPECT_TRUE(AgentSurfaceAssessment::isAuxiliary(b.report().nodes[0])) << url;
        const AgentSurfaceAssessment a(b.report());
        EXPECT_EQ(a.documentation, Presence::notFound) << url;
        EXPECT_TRUE(a.documents.empty()) << url;
    }
    for (const char* url : {"https://x.example/robots.txt.bak", "https://x.example/my-sitemap.xml",
                            "https://x.example/sitemap.xml/agents", "not a url/sitemap.xml"}) {
        const GraphNode node("n", NodeKind::discovery, "n", url, FindingStatus::found);
        EXPECT_FALSE(AgentSurfaceAssessment::isAuxiliary(node)) << url;
    }
}

TEST(Assessment, AgentDocumentVerdictTakesTheFlagFirstThenParsesTheExchangeAgain) {
    const struct {
        std::optional<bool> flag;
        const char* contentType;
        const char* body;
        bool verified;
    } cases[] = {
        {false, "application/json", "{\"tools\":[]}", false},
        {true, "text/plain", "", true},
        {std::nullopt, "application/json", "{\"tools\":[]}", true},
        {std::nullopt, "application/json", "{\"title\":\"x\"}", false},
        {std::nullopt, "application/json", "{", false},
    };
    for (const auto& c : cases) {
        ReportBuilder b;
        const std::string url = "https://x.example/.well-known/agent.json";
        b.node(url, NodeKind::manifest, FindingStatus::found,
               {b.exchange(url, 200, c.contentType, c.body)})
            .isAgentDocument = c.flag;
        EXPECT_EQ(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()),
                  c.verified)
            << c.body;
        EXPECT_EQ(AgentSurfaceAssessment(b.report()).manifests,
                  c.verified ? Presence::found : Presence::inconclusive)
            << c.body;
    }
}

TEST(Assessment, LatestExchangeMustBeASuccessfulCompleteGET) {
    const struct {
        const char* method;
        std::int64_t status;
        bool truncated;
        const char* error;
    } cases[] = {{"POST", 200, false, ""},
                 {"GET", 500, false, ""},
                 {"GET", 200, true, ""},
                 {"GET", 200, false, "reset"}};
    for (const auto& c : cases) {
        ReportBuilder b;
        const std::string good =
            b.exchange("https://x.example/agent.json", 200, "application/json", "{\"tools\":[]}");
        const std::string latest =
            b.exchange("https://x.example/agent.json", c.status, "", "", c.method);
        b.lastExchange().truncated = c.truncated;
        if (*c.error != '\0') b.lastExchange().error = c.error;
        b.node("https://x.example/agent.json", NodeKind::manifest, FindingStatus::valid,
               {good, latest});
        // A later POST is not a reading of the document; the earlier GET counts.
        EXPECT_EQ(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()),
                  std::string(c.method) != "GET")
            << c.method << " " << c.status;
    }
}

TEST(Assessment, PostOnlyIsNeverVerified) {
    ReportBuilder b;
    const std::string id =
        b.exchange("https://x.example/api/x", 200, "application/json", "{\"tools\":[]}", "POST");
    b.node("https://x.example/api/x", NodeKind::endpoint, FindingStatus::valid, {id})
        .isAgentDocument = true;
    EXPECT_FALSE(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()));
}

TEST(Assessment, OnlyANotFoundCandidateDecidesAFinishedScan) {
    for (FindingStatus status :
         {FindingStatus::notFound, FindingStatus::unreachable, FindingStatus::invalid,
          FindingStatus::blocked, FindingStatus::found}) {
        ReportBuilder b;
        b.node("https://x.example/agent.json", NodeKind::manifest, status);
        b.node("https://x.example/ai-catalog.json", NodeKind::manifest, FindingStatus::notFound);
        EXPECT_EQ(AgentSurfaceAssessment(b.report()).manifests,
                  status == FindingStatus::notFound ? Presence::notFound : Presence::inconclusive)
            << toString(status);
    }
}

TEST(Assessment, PresencesGrowWithWhatTheScanProved) {
    ReportBuilder b;
    const std::string first = b.exchange("https://x.example/llms.txt", 200, "text/plain", "x");
    const std::string second = b.exchange("https://x.example/llms.txt", 200, "text/plain", "x");
    b.node("https://x.example/llms.txt", NodeKind::discovery, FindingStatus::found, {first})
        .isAgentDocument = true;
    b.node("https://x.example/llms-copy", NodeKind::discovery, FindingStatus::found, {second})
        .isAgentDocument = true;
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest);
    const AgentSurfaceAssessment documents(b.report());
    // The second node reads the same address: one document, the first.
    ASSERT_EQ(documents.documents.size(), 2u);
    EXPECT_EQ(documents.documents[0].id, "https://x.example/llms.txt");
    EXPECT_EQ(documents.documents[1].id, "https://x.example/.well-known/agent.json");
    EXPECT_EQ(documents.endpoints, Presence::notFound);

    b.document("https://x.example/api/v1", NodeKind::endpoint);
    EXPECT_TRUE(AgentSurfaceAssessment(b.report()).hasInteractiveServices());

    // Only a valid server proves MCP.
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::found,
           {b.exchange("https://x.example/mcp")});
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).mcp, Presence::inconclusive);
    b.node("https://y.example/mcp", NodeKind::mcp, FindingStatus::valid);
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).mcp, Presence::found);
}

// A reference that an agent manifest declares but that was never requested
// carries the manifest's own exchange; re-parsing that exchange says "agent
// document", which proves the manifest, not the reference.
TEST(Assessment, UnrequestedDeclaredReferenceProvesNothing) {
    for (const char* summary : {"Declared reference · URL template requires parameters",
                                "Declared reference · not yet requested"}) {
        ReportBuilder b;
        const std::string manifestExchange =
            b.exchange("https://x.example/.well-known/agent.json", 200, "application/json",
                       "{\"endpoints\":{\"search\":\"/api/search/{q}\"}}");
        b.node("https://x.example/.well-known/agent.json", NodeKind::manifest, FindingStatus::found,
               {manifestExchange})
            .isAgentDocument = true;
        b.node("https://x.example/api/search/{q}", NodeKind::endpoint, FindingStatus::found,
               {manifestExchange})
            .summary = summary;
        const AgentSurfaceAssessment a(b.report());
        EXPECT_FALSE(
            AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[1], b.report()))
            << summary;
        EXPECT_EQ(a.endpoints, Presence::inconclusive) << summary;
    }
}

} // namespace
} // namespace quorilanth
