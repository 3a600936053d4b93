#include "core/discovery/AgentSurfaceAssessment.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using Presence = AgentSurfaceAssessment::Presence;
using testsupport::ReportBuilder;

struct OpenCase {
    const char* name;
    bool finished;
    bool cancelled;
    Presence expected;
};

class EmptyReport : public testing::TestWithParam<OpenCase> {};

TEST_P(EmptyReport, SurfacesFollowWhetherTheScanIsOpen) {
    ReportBuilder b;
    if (!GetParam().finished) {
        b.open();
    }
    b.report().cancelled = GetParam().cancelled;
    const AgentSurfaceAssessment a(b.report());
    for (Presence p : {a.mcp, a.endpoints, a.manifests, a.documentation}) {
        EXPECT_EQ(p, GetParam().expected);
    }
    EXPECT_EQ(a.hasUnresolvedChecks(), GetParam().expected == Presence::inconclusive);
    EXPECT_FALSE(a.hasInteractiveServices());
}

INSTANTIATE_TEST_SUITE_P(Assessment, EmptyReport,
                         testing::Values(OpenCase{"finished", true, false, Presence::notFound},
                                         OpenCase{"running", false, false, Presence::inconclusive},
                                         OpenCase{"cancelled", true, true, Presence::inconclusive}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Assessment, AuxiliaryFilesAreNoCandidates) {
    ReportBuilder b;
    b.document("https://x.example/robots.txt", NodeKind::discovery);
    b.document("https://x.example/SiteMap.xml", NodeKind::discovery);
    b.document("https://x.example/sitemap_index.xml/", NodeKind::discovery);
    const AgentSurfaceAssessment a(b.report());
    EXPECT_EQ(a.documentation, Presence::notFound);
    EXPECT_TRUE(a.documents.empty());
}

struct AuxiliaryCase {
    const char* url;
    bool auxiliary;
};

class Auxiliary : public testing::TestWithParam<AuxiliaryCase> {};

TEST_P(Auxiliary, ByLastPathComponent) {
    GraphNode node("n", NodeKind::discovery, "n", GetParam().url, FindingStatus::found);
    if (std::string(GetParam().url).empty()) {
        node.url.reset();
    }
    EXPECT_EQ(AgentSurfaceAssessment::isAuxiliary(node), GetParam().auxiliary);
}

INSTANTIATE_TEST_SUITE_P(
    Assessment, Auxiliary,
    testing::Values(AuxiliaryCase{"https://x.example/robots.txt", true},
                    AuxiliaryCase{"https://x.example/ROBOTS.TXT", true},
                    AuxiliaryCase{"https://x.example/sitemap-news.xml?x=1", true},
                    AuxiliaryCase{"https://x.example/robots.txt.bak", false},
                    AuxiliaryCase{"https://x.example/my-sitemap.xml", false},
                    AuxiliaryCase{"https://x.example/sitemap.xml/agents", false},
                    AuxiliaryCase{"not a url/sitemap.xml", false}, AuxiliaryCase{"", false}));

TEST(Assessment, OnlyAValidServerProvesMCP) {
    ReportBuilder b;
    b.node("https://x.example/mcp", NodeKind::mcp, FindingStatus::found,
           {b.exchange("https://x.example/mcp")});
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).mcp, Presence::inconclusive);
    b.node("https://y.example/mcp", NodeKind::mcp, FindingStatus::valid);
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).mcp, Presence::found);
}

struct VerdictCase {
    const char* name;
    std::optional<bool> flag;
    const char* contentType;
    const char* body;
    bool verified;
};

class AgentDocumentVerdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(AgentDocumentVerdict, FlagFirstThenTheExchangeParsedAgain) {
    const auto& c = GetParam();
    ReportBuilder b;
    const std::string id =
        b.exchange("https://x.example/.well-known/agent.json", 200, c.contentType, c.body);
    GraphNode& node = b.node("https://x.example/.well-known/agent.json", NodeKind::manifest,
                             FindingStatus::found, {id});
    node.isAgentDocument = c.flag;
    EXPECT_EQ(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()),
              c.verified);
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).manifests,
              c.verified ? Presence::found : Presence::inconclusive);
}

INSTANTIATE_TEST_SUITE_P(
    Assessment, AgentDocumentVerdict,
    testing::Values(
        VerdictCase{"flag_false", false, "application/json", "{\"tools\":[]}", false},
        VerdictCase{"flag_true", true, "text/plain", "", true},
        VerdictCase{"reparsed_interface", std::nullopt, "application/json", "{\"tools\":[]}", true},
        VerdictCase{"reparsed_identity", std::nullopt, "application/json", "{\"name\":\"x\"}",
                    true},
        VerdictCase{"reparsed_plain", std::nullopt, "application/json", "{\"title\":\"x\"}", false},
        VerdictCase{"reparsed_broken", std::nullopt, "application/json", "{", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExchangeCase {
    const char* name;
    const char* method;
    std::int64_t status;
    bool truncated;
    const char* error;
};

class LatestExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(LatestExchange, MustBeASuccessfulCompleteGET) {
    const auto& c = GetParam();
    ReportBuilder b;
    const std::string good =
        b.exchange("https://x.example/agent.json", 200, "application/json", "{\"tools\":[]}");
    const std::string latest =
        b.exchange("https://x.example/agent.json", c.status, "", "", c.method);
    b.lastExchange().truncated = c.truncated;
    if (*c.error != '\0') {
        b.lastExchange().error = c.error;
    }
    b.node("https://x.example/agent.json", NodeKind::manifest, FindingStatus::valid,
           {good, latest});
    const bool earlierCounts = std::string(c.method) != "GET";
    EXPECT_EQ(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()),
              earlierCounts);
}

INSTANTIATE_TEST_SUITE_P(Assessment, LatestExchange,
                         testing::Values(ExchangeCase{"later_post_ignored", "POST", 200, false, ""},
                                         ExchangeCase{"later_get_500", "GET", 500, false, ""},
                                         ExchangeCase{"later_get_304", "GET", 304, false, ""},
                                         ExchangeCase{"later_get_truncated", "GET", 200, true, ""},
                                         ExchangeCase{"later_get_error", "GET", 200, false,
                                                      "reset"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Assessment, PostOnlyIsNeverVerified) {
    ReportBuilder b;
    const std::string id =
        b.exchange("https://x.example/api/x", 200, "application/json", "{\"tools\":[]}", "POST");
    b.node("https://x.example/api/x", NodeKind::endpoint, FindingStatus::valid, {id})
        .isAgentDocument = true;
    EXPECT_FALSE(AgentSurfaceAssessment::isVerifiedAgentDocument(b.report().nodes[0], b.report()));
}

struct FinishedCase {
    FindingStatus status;
    Presence expected;
};

class UnprovenCandidate : public testing::TestWithParam<FinishedCase> {};

TEST_P(UnprovenCandidate, DecidesAFinishedScan) {
    ReportBuilder b;
    b.node("https://x.example/agent.json", NodeKind::manifest, GetParam().status);
    b.node("https://x.example/ai-catalog.json", NodeKind::manifest, FindingStatus::notFound);
    EXPECT_EQ(AgentSurfaceAssessment(b.report()).manifests, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Assessment, UnprovenCandidate,
    testing::Values(FinishedCase{FindingStatus::notFound, Presence::notFound},
                    FinishedCase{FindingStatus::unreachable, Presence::inconclusive},
                    FinishedCase{FindingStatus::invalid, Presence::inconclusive},
                    FinishedCase{FindingStatus::blocked, Presence::inconclusive},
                    FinishedCase{FindingStatus::found, Presence::inconclusive}));

TEST(Assessment, DocumentsKeepTheFirstNodeOfEachAddress) {
    ReportBuilder b;
    const std::string first = b.exchange("https://x.example/llms.txt", 200, "text/plain", "x");
    const std::string second = b.exchange("https://x.example/llms.txt", 200, "text/plain", "x");
    b.node("https://x.example/llms.txt", NodeKind::discovery, FindingStatus::found, {first})
        .isAgentDocument = true;
    b.node("https://x.example/llms-copy", NodeKind::discovery, FindingStatus::found, {second})
        .isAgentDocument = true;
    b.document("https://x.example/.well-known/agent.json", NodeKind::manifest);
    const AgentSurfaceAssessment a(b.report());
    ASSERT_EQ(a.documents.size(), 2u);
    EXPECT_EQ(a.documents[0].id, "https://x.example/llms.txt");
    EXPECT_EQ(a.documents[1].id, "https://x.example/.well-known/agent.json");
    EXPECT_EQ(a.documentation, Presence::found);
    EXPECT_EQ(a.manifests, Presence::found);
    EXPECT_EQ(a.endpoints, Presence::notFound);
    EXPECT_FALSE(a.hasInteractiveServices());
}

TEST(Assessment, EndpointsAloneMakeInteractiveServices) {
    ReportBuilder b;
    b.document("https://x.example/api/v1", NodeKind::endpoint);
    const AgentSurfaceAssessment a(b.report());
    EXPECT_EQ(a.endpoints, Presence::found);
    EXPECT_EQ(a.mcp, Presence::notFound);
    EXPECT_TRUE(a.hasInteractiveServices());
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
        EXPECT_EQ(a.manifests, Presence::found);
        EXPECT_EQ(a.documents.size(), 1u);
        EXPECT_FALSE(a.hasInteractiveServices());
    }
}

} // namespace
} // namespace quorilanth
