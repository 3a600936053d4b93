#include "core/model/ScanReport.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(ScanReport, UpsertReplacesByExactIdAndConnectKeepsTheFirstEdgeOfEachId) {
    ScanReport report("https://a.example/");
    for (const char* id : {"a", "b", "B", "a/", "a"})
        report.upsert(GraphNode(id, report.nodes.empty() ? NodeKind::mcp : NodeKind::tool, id,
                                std::nullopt, FindingStatus::valid));
    ASSERT_EQ(report.nodes.size(), 4u);
    EXPECT_EQ(report.nodes[0].kind, NodeKind::tool);
    for (const GraphEdge& edge : {GraphEdge{"a", "b", "declares", "E1", "/links/0"},
                                  GraphEdge{"a", "b", "declares", "E2", "/links/0"},
                                  GraphEdge{"a", "b", "declares", "E1", "/links/1"},
                                  GraphEdge{"b", "a", "declares", "E1", "/links/0"}})
        report.connect(edge);
    ASSERT_EQ(report.edges.size(), 3u);
    EXPECT_EQ(report.edges[0].evidenceID, "E1");
}

// A report file can hold any points: the sum of passed checks saturates.
TEST(ScanReport, ScoreSumsPassedChecksAndSaturates) {
    ScanReport report("https://a.example/");
    report.checks = {{"x", "c", 10, true, "", {}}, {"y", "c", 5, false, "", {}}};
    EXPECT_EQ(report.score(), 10);
    report.checks.push_back({"z", "c", INT64_MAX, true, "", {}});
    EXPECT_EQ(report.score(), INT64_MAX);
}

TEST(ScanReport, FreshRecordsTakeNewUpperCaseIdsAndCopiesShareBodies) {
    ScanReport report("shop.example");
    report.evidence.emplace_back("https://shop.example/", "GET");
    for (const std::string& id : {report.id, report.evidence[0].id})
        EXPECT_TRUE(id.size() == 36 && std::none_of(id.begin(), id.end(), ::islower)) << id;
    EXPECT_NE(report.id, ScanReport("shop.example").id);

    report.evidence[0].responseBody = std::string(2'000'000, 'x');
    ScanReport copy = report;
    EXPECT_TRUE(copy.evidence[0].responseBody.sharesStorageWith(report.evidence[0].responseBody));
}

TEST(MCPTool, NameDescriptionIdAndSafetyComeFromTheDefinition) {
    for (const auto& [definition, expected] : std::initializer_list<std::array<const char*, 2>>{
             {R"({"name":"search","description":"Find"})", "search|Find|UNKNOWN"},
             {R"({"name":3,"description":7})", "Unnamed tool||UNKNOWN"},
             {R"({"name":"t","annotations":{"readOnlyHint":true}})", "t||READ-ONLY"},
             {R"({"annotations":{"readOnlyHint":true,"destructiveHint":true}})",
              "Unnamed tool||MUTATING"},
             {R"({"name":"t","annotations":{"destructiveHint":false}})", "t||UNKNOWN"},
             {R"({"name":"t","annotations":{"readOnlyHint":"true"}})", "t||UNKNOWN"},
         }) {
        const MCPTool tool("https://a.example/mcp", JSONValue::parse(definition));
        EXPECT_EQ(std::string(tool.name()) + "|" + std::string(tool.description()) + "|" +
                      std::string(toString(tool.safety())),
                  expected);
        EXPECT_EQ(tool.id(), "https://a.example/mcp#tool:" + std::string(tool.name()));
    }
    EXPECT_EQ(MCPTool("s", JSONValue::parse(R"({"inputSchema":false})")).inputSchema(),
              JSONValue(false));
    EXPECT_TRUE(MCPTool("s", JSONValue("x")).inputSchema().isNull());
}

} // namespace
} // namespace quorilanth
