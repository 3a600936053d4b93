#include "core/guided/GuidedReplies.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace GuidedPresentation;
using enum Language;
using testsupport::toolCall;

const std::string server = "https://a.example/mcp";

MCPTool tool(const std::string& name, const std::string& appID = R"({"type":"string"})") {
    return MCPTool(server,
                   JSONValue::parse(R"({"name":")" + name +
                                    R"(","inputSchema":{"properties":{"app_id":)" + appID +
                                    R"(,"slug":{"type":"string"},"n":{"type":"integer"}}}})"));
}

ScanReport reportWith(std::vector<Evidence> evidence, std::vector<MCPTool> tools = {}) {
    ScanReport report("https://a.example/");
    report.evidence = std::move(evidence);
    report.servers = {MCPServer(server)};
    report.servers[0].status = FindingStatus::valid;
    report.servers[0].tools = std::move(tools);
    return report;
}

std::string result(const std::string& inner) {
    return R"({"jsonrpc":"2.0","id":1,"result":)" + inner + "}";
}

TEST(GuidedReplies, TheNewestCallDecoded) {
    const std::string incomplete[] = {
        "Non è arrivata una risposta completa. Puoi riprovare o consultare i dettagli tecnici.",
        "A complete answer did not arrive. Try again or inspect the technical details."};
    Evidence timedOut = toolCall(server, "t", result(R"({"structuredContent":1})"));
    timedOut.statusCode.reset();
    timedOut.error = "Timed out";
    Evidence stream =
        toolCall(server, "t", "event: message\ndata: " + result(R"({"structuredContent":2})"));
    stream.responseHeaders["content-type"] = "text/event-stream";
    Evidence moved = toolCall(server, "t", "");
    moved.statusCode = 307;
    moved.responseHeaders["location"] = "/v2";
    Evidence hop = toolCall("https://a.example/v2", "t", result(R"({"structuredContent":3})"));
    struct Row {
        std::vector<Evidence> records;
        const char* value; // "" for the incomplete-answer sentence
        bool isError;
    };
    for (
        const Row& row : std::initializer_list<Row>{
            {{toolCall(server, "t", result(R"({"structuredContent":{"a":1},"content":[]})"))},
             R"({"a":1})",
             false},
            {{toolCall(server, "t", result(R"({"content":[{"type":"text","text":"{\"b\":2}"}]})"))},
             R"({"b":2})",
             false},
            {{toolCall(
                 server, "t",
                 result(
                     R"({"content":[{"type":"text","text":"1"},{"type":"text","text":"x"}],"isError":"true"})"))},
             R"(["1","x"])",
             false},
            {{toolCall(server, "t",
                       result(R"({"content":[{"type":"image","data":""}],"isError":true})"))},
             "[]",
             true},
            {{toolCall(server, "t", R"({"jsonrpc":"2.0","id":1,"error":{"code":-1}})")},
             R"({"code":-1})",
             true},
            {{toolCall(server, "t", R"({"jsonrpc":"2.0","id":2,"result":{}})")}, "", true},
            {{stream}, "2", false},
            // Only the newest call counts, and a redirected one is read at its end.
            {{toolCall(server, "t", result(R"({"structuredContent":0})")), timedOut}, "", true},
            {{timedOut, moved, hop}, "3", false},
        }) {
        const ScanReport report = reportWith(row.records);
        const GuidedReplies index(report);
        for (const Language language : {italian, english}) {
            const std::optional<GuidedReply> reply = lastReply(tool("t"), report, language);
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->isError, row.isError);
            EXPECT_EQ(reply->value, *row.value ? JSONValue::parse(row.value)
                                               : JSONValue(incomplete[language == english]));
            EXPECT_EQ(reply->evidence.id, row.records.back().id);
            const std::optional<GuidedReply> indexed = index.lastReply(tool("t"), language);
            EXPECT_EQ(indexed->value, reply->value);
        }
    }
    EXPECT_FALSE(lastReply(tool("u"), reportWith({toolCall(server, "t")}), english));
}

// The answer of a catalog tool: `count` apps nested `depth` lists deep.
std::string apps(int count, const std::string& prefix, int depth = 1) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += std::string(i ? "," : "") + R"({"type":"app","id":")" + prefix + std::to_string(i) +
                R"(","name":")" + prefix + " " + std::to_string(i) + R"(","slug":"s)" +
                std::to_string(i) + "\"}";
    std::string value = "[" + list + "]";
    for (int i = 1; i < depth; ++i)
        value = "[" + value + "]";
    return result(R"({"structuredContent":{"results":)" + value + "}}");
}

TEST(GuidedReplies, SuggestionsFromAnswersOfTheSameServer) {
    const auto values = [](const std::vector<ParameterSuggestion>& list) {
        std::string joined;
        for (const ParameterSuggestion& s : list)
            joined += s.value + ",";
        return joined;
    };
    struct Row {
        std::vector<Evidence> records;
        std::string key;
        std::string appIDSchema;
        std::size_t count;
        const char* first3;
    };
    Evidence failed = toolCall(server, "b", apps(3, "f"));
    failed.statusCode = 500;
    for (const Row& row : std::initializer_list<Row>{
             {{toolCall(server, "a", apps(150, "x"))},
              "app_id",
              R"({"type":"string"})",
              100,
              "x0,x1,x2,"},
             {{toolCall(server, "a", apps(3, "x", 7))}, "app_id", R"({"type":"string"})", 0, ""},
             {{toolCall(server, "a", apps(3, "x", 6))},
              "slug",
              R"({"type":"string"})",
              3,
              "s0,s1,s2,"},
             {{toolCall(server, "a", apps(12, "x"))},
              "app_id",
              R"({"type":"string","maxLength":2})",
              10,
              "x0,x1,x2,"},
             {{toolCall(server, "a", apps(3, "x")), toolCall(server, "b", apps(2, "x")), failed,
               toolCall("https://b.example/mcp", "a", apps(3, "o"))},
              "app_id",
              R"({"type":"string"})",
              3,
              "x0,x1,x2,"},
             {{toolCall(server, "a", apps(3, "x"))}, "app_id", R"({"type":"integer"})", 0, ""},
             {{toolCall(server, "a", apps(3, "x"))}, "n", R"({"type":"string"})", 0, ""},
             // One server listing "a" twice: its answer is walked once, so
             // the other tool's apps still fit in the gathering limit.
             {{toolCall(server, "a", apps(60, "x")), toolCall(server, "b", apps(30, "y"))},
              "app_id",
              R"({"type":"string"})",
              90,
              "x0,x1,x2,"},
         }) {
        SCOPED_TRACE(row.key + " " + std::to_string(row.count));
        const ScanReport report =
            reportWith(row.records, {tool("a", row.appIDSchema), tool("a"), tool("b")});
        const std::vector<ParameterSuggestion> found =
            suggestions(row.key, tool("c", row.appIDSchema), report);
        EXPECT_EQ(found.size(), row.count);
        EXPECT_EQ(values(found).substr(0, std::string(row.first3).size()), row.first3);
        EXPECT_EQ(GuidedReplies(report).suggestions(row.key, tool("c", row.appIDSchema)), found);
        if (!found.empty()) {
            EXPECT_EQ(found[0].evidenceID, row.records[0].id);
        }
    }
}

TEST(GuidedReplies, TitlesInTheCollatorsOrder) {
    const ScanReport report = reportWith(
        {toolCall(server, "a", result(R"({"structuredContent":[{"app_id":"3","name":"apple"},
            {"app_id":"1","name":"app 10"},{"app_id":"2","title":"App 9"},{"app_id":"4"}]})"))},
        {tool("a")});
    std::string titles;
    for (const ParameterSuggestion& s : suggestions("app_id", tool("a"), report))
        titles += s.title + "|";
    EXPECT_EQ(titles, "4|App 9|app 10|apple|");
}

TEST(GuidedReplies, PageAddressesThatAreSafeToOpen) {
    struct Row {
        const char* value;
        const char* page; // "" for none
    };
    for (
        const Row& row : {
            Row{R"({"official_page_url":"https://a.example/x.DMG","canonical_url":"https://a.example/p#f"})",
                "https://a.example/p"},
            Row{R"({"url":"http://a.example/","website":"https://u@a.example/"})", ""},
            Row{R"({"canonical_url":5,"website":"https://a.example/a.tar.gz","url":"https://a.example"})",
                "https://a.example/"},
            Row{R"(["https://a.example/"])", ""},
        }) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(pageURL(JSONValue::parse(row.value)).value_or(""), row.page);
    }
}

} // namespace
} // namespace quorilanth
