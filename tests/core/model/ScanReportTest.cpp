#include "core/model/ScanReport.h"

#include <cctype>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

GraphNode node(const std::string& id, const std::string& evidence = "E1") {
    GraphNode n(id, NodeKind::manifest, id, std::nullopt, FindingStatus::valid);
    n.evidenceIDs = {evidence};
    return n;
}

TEST(ScanReportUpsert, ReplacesWholeInPlaceOrAppends) {
    ScanReport report("https://a.example/");
    report.upsert(node("a"));
    report.upsert(node("b"));
    report.upsert(node("c"));

    report.upsert(node("b", "E2"));
    ASSERT_EQ(report.nodes.size(), 3u);
    EXPECT_EQ(report.nodes[1].id, "b");
    EXPECT_EQ(report.nodes[1].evidenceIDs, std::vector<std::string>{"E2"});

    // Ids compare exactly: no case folding or URL normalisation.
    report.upsert(node("B"));
    report.upsert(node("a/"));
    EXPECT_EQ(report.nodes.size(), 5u);
}

TEST(ScanReportConnect, KeepsTheFirstEdgeOfEachId) {
    struct Row {
        const char* name;
        GraphEdge second;
        bool appended;
    };
    const GraphEdge first{"a", "b", "declares", "E1", "/links/0"};
    for (const Row& row : {
             Row{"SameEdge", first, false},
             Row{"OtherEvidenceOnly", {"a", "b", "declares", "E2", "/links/0"}, false},
             Row{"OtherLocator", {"a", "b", "declares", "E1", "/links/1"}, true},
             Row{"OtherRelation", {"a", "b", "canonical", "E1", "/links/0"}, true},
             Row{"Reversed", {"b", "a", "declares", "E1", "/links/0"}, true},
         }) {
        SCOPED_TRACE(row.name);
        ScanReport report("https://a.example/");
        report.connect(first);
        report.connect(row.second);
        ASSERT_EQ(report.edges.size(), row.appended ? 2u : 1u);
        EXPECT_EQ(report.edges[0].evidenceID, "E1");
    }
}

TEST(ScanReportConnect, IdsJoinedByBarsCollideWhereTheBarFalls) {
    ScanReport report("https://a.example/");
    report.connect({"a|b", "c", "r", "E1", "l"});
    report.connect({"a", "b|c", "r", "E2", "l"});
    EXPECT_EQ(report.edges.size(), 1u);
    EXPECT_EQ(report.edges[0].id(), "a|b|c|r|l");
}

TEST(ScanReportScore, SumsThePointsOfPassedChecks) {
    struct Row {
        std::vector<ScoreCheck> checks;
        std::int64_t score;
    };
    for (const Row& row : {
             Row{{}, 0},
             Row{{{"x", "c", 10, false, "", {}}, {"y", "c", 5, false, "", {}}}, 0},
             Row{{{"x", "c", 10, true, "", {}},
                  {"y", "c", 5, false, "", {}},
                  {"z", "c", 7, true, "", {}}},
                 17},
             // A report file can hold any points; the sum saturates.
             Row{{{"x", "c", INT64_MAX, true, "", {}}, {"y", "c", 5, true, "", {}}}, INT64_MAX},
             Row{{{"x", "c", INT64_MIN, true, "", {}}, {"y", "c", -5, true, "", {}}}, INT64_MIN},
         }) {
        ScanReport report("https://a.example/");
        report.checks = row.checks;
        EXPECT_EQ(report.score(), row.score);
    }
}

bool isUpperUUID(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (dash ? c != '-'
                 : !(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

TEST(ScanReportCreation, FreshRecordsTakeNewUpperCaseIdsAndTheirDefaults) {
    ScanReport report("shop.example");
    Evidence evidence("https://shop.example/", "GET");
    EXPECT_TRUE(isUpperUUID(report.id)) << report.id;
    EXPECT_TRUE(isUpperUUID(evidence.id)) << evidence.id;
    EXPECT_NE(report.id, ScanReport("shop.example").id);
    EXPECT_EQ(report.domain, "shop.example");
    EXPECT_EQ(report.scoringVersion, "1.1");
    EXPECT_FALSE(report.finishedAt);
    EXPECT_TRUE(report.nodes.empty() && report.edges.empty() && report.evidence.empty() &&
                report.servers.empty() && report.checks.empty() && report.notices.empty());
    EXPECT_GT(evidence.timestamp.time_since_epoch().count(), 0);

    GraphNode n("x", NodeKind::tool, "x", std::nullopt, FindingStatus::pending);
    ASSERT_NE(n.metadata.object(), nullptr);
    EXPECT_TRUE(n.metadata.object()->empty());
}

TEST(ScanReportCopies, ShareEvidenceBodiesInsteadOfCopyingThem) {
    ScanReport report("https://a.example/");
    Evidence e("https://a.example/big", "GET");
    e.responseBody = std::string(2'000'000, 'x');
    report.evidence.push_back(e);

    ScanReport copy = report;
    EXPECT_TRUE(copy.evidence[0].responseBody.sharesStorageWith(report.evidence[0].responseBody));
    copy.evidence[0].responseBody = "changed";
    EXPECT_EQ(report.evidence[0].responseBody.size(), 2'000'000u);
}

TEST(EvidenceContentType, ReadsOnlyTheLowerCaseHeader) {
    Evidence e("https://a.example/", "GET");
    EXPECT_EQ(e.contentType(), "");
    e.responseHeaders["Content-Type"] = "text/html";
    EXPECT_EQ(e.contentType(), "");
    e.responseHeaders["content-type"] = "application/json";
    EXPECT_EQ(e.contentType(), "application/json");
}

TEST(EnumerationRawValues, ReadOnlyTheExactTexts) {
    EXPECT_EQ(findingStatusFromString("NOT FOUND"), FindingStatus::notFound);
    EXPECT_EQ(nodeKindFromString("mcp"), NodeKind::mcp);
    EXPECT_EQ(toolSafetyFromString("READ-ONLY"), ToolSafety::readOnly);
    for (const char* text : {"notFound", "Found", "found", "", "NOT  FOUND", "FOUND "})
        EXPECT_EQ(findingStatusFromString(text), std::nullopt) << text;
    for (const char* text : {"Domain", "MCP", "", "tools"})
        EXPECT_EQ(nodeKindFromString(text), std::nullopt) << text;
    for (const char* text : {"readOnly", "read-only", "READ ONLY", ""})
        EXPECT_EQ(toolSafetyFromString(text), std::nullopt) << text;
}

TEST(EnumerationRawValues, EveryCaseReadsBackFromItsRawValue) {
    for (NodeKind kind : allNodeKinds)
        EXPECT_EQ(nodeKindFromString(toString(kind)), kind);
    for (FindingStatus status : allFindingStatuses)
        EXPECT_EQ(findingStatusFromString(toString(status)), status);
    for (ToolSafety safety : allToolSafeties)
        EXPECT_EQ(toolSafetyFromString(toString(safety)), safety);
}

TEST(RecordHashing, FollowsEqualityOfEveryField) {
    GraphNode a = node("a"), b = node("a");
    EXPECT_EQ(std::hash<GraphNode>{}(a), std::hash<GraphNode>{}(b));
    b.metadata.set("k", 1);
    EXPECT_NE(a, b);
    EXPECT_NE(std::hash<GraphNode>{}(a), std::hash<GraphNode>{}(b));

    Evidence e1("u", "GET");
    Evidence e2 = e1;
    e2.responseBody = std::string(e1.responseBody.str());
    EXPECT_EQ(e1, e2);
    EXPECT_EQ(std::hash<Evidence>{}(e1), std::hash<Evidence>{}(e2));
    e2.truncated = true;
    EXPECT_NE(e1, e2);
}

TEST(QuorilanthErrorText, IsExactlyTheMessage) {
    QuorilanthError error("Blocked: invalid URL.");
    EXPECT_EQ(error.message(), "Blocked: invalid URL.");
}

} // namespace
} // namespace quorilanth
