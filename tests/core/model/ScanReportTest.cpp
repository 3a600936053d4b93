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
    for (const char* id : {"a", "b", "c"})
        report.upsert(node(id));
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
    const GraphEdge first{"a", "b", "declares", "E1", "/links/0"};
    for (const auto& [second, appended] : std::initializer_list<std::pair<GraphEdge, bool>>{
             {{"a", "b", "declares", "E2", "/links/0"}, false},
             {{"a", "b", "declares", "E1", "/links/1"}, true},
             {{"b", "a", "declares", "E1", "/links/0"}, true},
         }) {
        ScanReport report("https://a.example/");
        report.connect(first);
        report.connect(second);
        ASSERT_EQ(report.edges.size(), appended ? 2u : 1u) << second.id();
        EXPECT_EQ(report.edges[0].evidenceID, "E1");
    }
}

TEST(ScanReportScore, SumsThePointsOfPassedChecks) {
    struct Row {
        std::vector<ScoreCheck> checks;
        std::int64_t score;
    };
    for (const Row& row : {
             Row{{{"x", "c", 10, true, "", {}},
                  {"y", "c", 5, false, "", {}},
                  {"z", "c", 7, true, "", {}}},
                 17},
             // A report file can hold any points; the sum saturates.
             Row{{{"x", "c", INT64_MAX, true, "", {}}, {"y", "c", 5, true, "", {}}}, INT64_MAX},
         }) {
        ScanReport report("https://a.example/");
        report.checks = row.checks;
        EXPECT_EQ(report.score(), row.score);
    }
}

TEST(ScanReportCreation, FreshRecordsTakeNewUpperCaseIds) {
    ScanReport report("shop.example");
    Evidence evidence("https://shop.example/", "GET");
    for (const std::string& id : {report.id, evidence.id}) {
        ASSERT_EQ(id.size(), 36u) << id;
        for (std::size_t i = 0; i < id.size(); ++i) {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            EXPECT_TRUE(dash ? id[i] == '-' : std::isxdigit(id[i]) && !std::islower(id[i])) << id;
        }
    }
    EXPECT_NE(report.id, ScanReport("shop.example").id);
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

} // namespace
} // namespace quorilanth
