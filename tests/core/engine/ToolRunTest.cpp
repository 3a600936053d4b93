// Approved tool runs against scripted servers: the result, the declared items
// and their canonical pages, and what a hostile or failing server cannot do.

#include "ScriptedSite.h"
#include "core/base/Date.h"
#include "core/guided/GuidedPresentation.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

namespace quorilanth::test {
namespace {

const std::string kSite = "https://example.com/";
const std::string kMCP = kSite + "mcp";

struct ToolRun {
    ScriptedSite site;
    DiscoveryEngine engine{NetworkPolicy(), site.fake};

    ScanReport run(const std::string& result, const std::string& outputSchema = "null",
                   const ScanReport& report = ScanReport(kSite)) {
        ScriptedMCPServer server;
        server.toolResult = result;
        site.mcp(kMCP, server);
        const auto definition = R"({"name":"find","inputSchema":{},"outputSchema":)" + outputSchema;
        return engine.run(MCPTool(kMCP, JSONValue::parse(definition + "}")), {}, report, true);
    }
};

std::string declaring(const std::vector<std::string>& paths) {
    std::string items;
    for (const std::string& path : paths)
        items +=
            std::string(items.empty() ? "" : ",") + "{\"canonical_url\":\"" + kSite + path + "\"}";
    return R"({"content":[{"type":"text","text":"ok"}],"structuredContent":{"results":[)" + items +
           "]}}";
}

TEST(ToolRun, TurnsTheResultIntoNodesAndFetchesTheDeclaredPages) {
    std::vector<std::string> forty, thirty;
    for (int i = 0; i < 40; ++i) {
        forty.push_back("p" + std::to_string(i));
        if (i < 30) thirty.push_back(kSite + forty.back());
    }
    const auto valid = FindingStatus::valid, invalid = FindingStatus::invalid;
    // clang-format off
    struct Case { std::string result, schema, label; FindingStatus status; std::size_t issues;
                  std::vector<std::string> gets, labels; };
    const std::vector<Case> cases{
        {R"({"isError":true,"structuredContent":{"canonical_url":"https://example.com/a"}})",
         R"({"required":["x"]})", "Tool error", invalid, 0, {kSite + "a"}, {"Content"}},
        {R"({"isError":"true","content":[]})", "{}", "find result", valid, 0, {}, {}},
        // Absent structured content is null to the output schema.
        {R"({"content":[]})", R"({"type":"object"})", "find result", invalid, 1, {}, {}},
        {declaring(forty), "null", "find result", valid, 0, thirty, std::vector<std::string>(30, "Content")},
        {R"({"content":[{"type":"text","text":"{\"results\":[{\"canonical_url\":)"
         R"(\"https://example.com/c\",\"uri\":\"https://example.com/u\",\"title\":\"C\"}]}"},)"
         R"({"type":"text","text":"prose"},{"type":"resource_link","uri":"https://example.com/r","name":"R"}]})",
         "null", "find result", valid, 0, {kSite + "c", kSite + "r"}, {"C", "R"}},
    };
    // clang-format on
    // The stamp of the call speaks the user's locale, whatever the test machine's.
    const icu::Locale userLocale = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("it_IT"), status);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result.substr(0, 60));
        ToolRun run;
        const ScanReport report = run.run(c.result, c.schema);
        // A first call negotiates: discovery, the call, then the pages.
        const std::string call = report.evidence.at(1).id;
        const GraphNode* result = report.findNode(kMCP + "#tool:find#result:" + call);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->label, c.label);
        EXPECT_EQ(result->status, c.status);
        EXPECT_EQ(result->issues.size(), c.issues);
        EXPECT_EQ(result->evidenceIDs, std::vector<std::string>{call});
        EXPECT_EQ(result->summary,
                  "Executed at " + localizedDateTime(report.evidence.at(1).timestamp, "it"));
        EXPECT_EQ(run.site.requested("GET"), c.gets);
        std::vector<std::string> labels;
        std::size_t pages = 0;
        for (const GraphNode& node : report.nodes) {
            if (node.id.starts_with(result->id + "#")) labels.push_back(node.label);
            pages += node.label == "Canonical page";
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(pages, c.gets.size());
    }
    icu::Locale::setDefault(userLocale, status);
}

TEST(ToolRun, AResultReplacesOnlyThePagesOfEarlierRuns) {
    ToolRun run;
    run.site.document(kSite, 200, R"(<link rel="canonical" href="/">)");
    run.site.document(kSite + "a", 200, R"(<link rel="canonical" href="/b">)");
    run.site.mcp(kMCP, {});
    const ScanReport scan = runScan(run.engine, "example.com").report;
    const std::size_t scanGets = run.site.requested("GET").size();

    // Naming the server or the site root changes neither, nor any check of the scan.
    const ScanReport hostile = run.run(declaring({"mcp", ""}), "null", scan);
    for (const std::string& id : {kMCP, kSite})
        EXPECT_EQ(*hostile.findNode(id), *scan.findNode(id));
    EXPECT_EQ(hostile.score(), scan.score() + 2); // the tool call's own check
    EXPECT_EQ(run.site.requested("GET").size(), scanGets);

    const ScanReport twice = run.run(declaring({"a"}), "null", run.run(declaring({"a"})));
    const GraphNode* page = twice.findNode(kSite + "a");
    EXPECT_EQ(page->evidenceIDs, std::vector<std::string>{twice.evidence.back().id});
    EXPECT_EQ(page->issues, std::vector<std::string>{"HTML canonical differs: " + kSite + "b"});
}

TEST(ToolRun, AFailedFirstConnectIsHandedOverOnceAndTriedAgain) {
    ToolRun run;
    EXPECT_TRUE(run.engine.drainToolEvidence(kMCP).empty());
    ScriptedMCPServer down;
    down.plainStatus = 503;
    run.site.mcp(kMCP, down);
    EXPECT_THROW(run.engine.run(MCPTool(kMCP, {}), {}, ScanReport(kSite), true), QuorilanthError);
    EXPECT_EQ(run.engine.drainToolEvidence(kMCP).size(), 1u);
    EXPECT_TRUE(run.engine.drainToolEvidence(kMCP).empty());
    // Back up: the next run negotiates before it calls.
    EXPECT_EQ(run.run(R"({"content":[]})").evidence.size(), 2u);
}

TEST(ToolRun, AFailedCallIsHandedOverOnceAndKeepsItsSession) {
    ToolRun run;
    run.site.mcp(kMCP, {}); // no tool result: the call is answered with an error
    const MCPTool find(kMCP, JSONValue::parse(R"({"name":"find","inputSchema":{}})"));
    EXPECT_THROW(run.engine.run(find, {}, ScanReport(kSite), true), QuorilanthError);
    EXPECT_EQ(run.site.requested("POST").size(), 2u);
    EXPECT_EQ(run.engine.drainToolEvidence(kMCP).size(), 2u);
    EXPECT_TRUE(run.engine.drainToolEvidence(kMCP).empty());
    EXPECT_EQ(run.run(R"({"content":[]})").evidence.size(), 1u);
}

TEST(ToolRun, WhatAnAnswerDeclaresIsNoObservationOfTheSite) {
    // What the answer claims, on the result itself and on an item it declares.
    const std::string claims = R"("languages":["en","it"],"language":"en",)"
                               R"("description":"A tool's own words")";
    const std::string result = "{" + claims + R"(,"content":[{"type":"text","text":"ok"}],)" +
                               R"("structuredContent":{"results":[{"canonical_url":")" + kSite +
                               R"(p",)" + claims + "}]}}";
    // clang-format off
    struct Case { std::string page; bool canonical; };
    const std::vector<Case> cases{
        {"", false},
        // The page the run fetched is observed like any other page.
        {R"(<link rel="canonical" href="https://example.com/p">)", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        ToolRun run;
        if (!c.page.empty()) run.site.document(kSite + "p", 200, c.page);
        const ScanReport report = run.run(result);
        std::map<std::string, std::vector<std::string>> passed;
        for (const ScoreCheck& check : report.checks)
            if (check.passed) passed[check.id] = check.evidenceIDs;
        EXPECT_FALSE(passed.count("localization.declared"));
        EXPECT_FALSE(passed.count("localization.multiple"));
        EXPECT_EQ(passed["provenance.canonical"], c.canonical
                                                      ? report.findNode(kSite + "p")->evidenceIDs
                                                      : std::vector<std::string>{});
        EXPECT_TRUE(passed.count("actions.result")) << "the run itself is observed";
        for (const Language language : {Language::english, Language::italian})
            EXPECT_EQ(GuidedPresentation::siteDescription(report, language), std::nullopt);
    }
}

TEST(ToolRun, AStopAmongThePagesCancelsAndHandsOverWhatWasRecorded) {
    ToolRun run;
    std::stop_source stop;
    // The second page is where the user presses STOP: its fetch comes back
    // cut short, and the third is never asked for.
    run.site.fake->otherwise([&](const FakeHTTPInspector::Call& call) {
        Evidence hop = FakeHTTPInspector::record(call);
        if (call.url == kSite + "p1") {
            stop.request_stop();
            hop.error = "Cancelled";
            return oneHop(std::move(hop));
        }
        if (call.url == kMCP) {
            ScriptedMCPServer server;
            server.toolResult = declaring({"p0", "p1", "p2"});
            return answerMCP(call, server);
        }
        hop.statusCode = 200;
        return oneHop(std::move(hop));
    });
    const MCPTool find(kMCP, JSONValue::parse(R"({"name":"find","inputSchema":{}})"));
    EXPECT_THROW(run.engine.run(find, {}, ScanReport(kSite), true, stop.get_token()), Cancelled);
    EXPECT_EQ(run.site.requested("GET"), (std::vector<std::string>{kSite + "p0", kSite + "p1"}));
    // Negotiation, call, the fetched page and the one cut short, in order, once.
    const std::vector<Evidence> handed = run.engine.drainToolEvidence(kMCP);
    ASSERT_EQ(handed.size(), 4u);
    EXPECT_EQ(handed[2].url, kSite + "p0");
    EXPECT_EQ(handed[3].error, "Cancelled");
    EXPECT_TRUE(run.engine.drainToolEvidence(kMCP).empty());
}

} // namespace
} // namespace quorilanth::test
