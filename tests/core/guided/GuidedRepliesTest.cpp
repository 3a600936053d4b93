#include "core/guided/GuidedReplies.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace GuidedPresentation;
using enum Language;

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

// A call of the named tool answered with this result.
Evidence call(const std::string& name, const std::string& result, int id = 1) {
    return testsupport::toolCall(server, name,
                                 R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                                     R"(,"result":)" + result + "}");
}

TEST(GuidedReplies, TheNewestCallDecoded) {
    Evidence timedOut = call("t", R"({"structuredContent":1})"), stream = timedOut,
             moved = timedOut;
    timedOut.statusCode.reset();
    timedOut.error = "Timed out";
    stream.responseHeaders["content-type"] = "text/event-stream";
    stream.responseBody = "event: message\ndata: " + std::string(stream.responseBody.view());
    moved.statusCode = 307;
    moved.responseHeaders["location"] = "/v2";
    Evidence hop = call("t", R"({"structuredContent":3})");
    hop.url = "https://a.example/v2";
    struct Row {
        std::vector<Evidence> records;
        const char* value; // "" for the incomplete-answer sentence
        bool isError;
    };
    for (const Row& row : std::initializer_list<Row>{
             {{call("t", R"({"structuredContent":{"a":1},"content":[]})")}, R"({"a":1})", false},
             {{call("t", R"({"content":[{"type":"text","text":"1"},{"type":"text","text":"x"}],
                 "isError":"true"})")},
              R"(["1","x"])",
              false},
             {{call("t", R"({"content":[{"type":"image","data":""}],"isError":true})")},
              "[]",
              true},
             {{testsupport::toolCall(server, "t",
                                     R"({"jsonrpc":"2.0","id":1,"error":{"code":-1}})")},
              R"({"code":-1})",
              true},
             {{call("t", "{}", 2)}, "", true}, // another request's reply
             {{stream}, "1", false},
             // Only the newest call counts, and a redirected one is read at its end.
             {{call("t", R"({"structuredContent":0})"), timedOut}, "", true},
             {{timedOut, moved, hop}, "3", false},
         }) {
        const ScanReport report = reportWith(row.records);
        for (const Language language : {italian, english}) {
            const std::optional<GuidedReply> reply = lastReply(tool("t"), report, language);
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->isError, row.isError);
            EXPECT_EQ(reply->value,
                      *row.value ? JSONValue::parse(row.value)
                      : language == italian
                          ? JSONValue("Non è arrivata una risposta completa. Puoi riprovare o "
                                      "consultare i dettagli tecnici.")
                          : JSONValue("A complete answer did not arrive. Try again or inspect "
                                      "the technical details."));
            EXPECT_EQ(reply->evidence.id, row.records.back().id);
            EXPECT_EQ(GuidedReplies(report).lastReply(tool("t"), language)->value, reply->value);
        }
    }
    EXPECT_FALSE(lastReply(tool("u"), reportWith({call("t", "{}")}), english));
}

// The answer of a catalog tool: `count` apps nested in `depth` lists.
Evidence apps(const std::string& name, int count, const std::string& prefix, int depth = 1) {
    std::string value;
    for (int i = 0; i < count; ++i)
        value += std::string(i ? "," : "") + R"({"type":"app","id":")" + prefix +
                 std::to_string(i) + R"(","name":")" + prefix + " " + std::to_string(i) +
                 R"(","slug":"s)" + std::to_string(i) + "\"}";
    for (int i = 0; i < depth; ++i)
        value = "[" + value + "]";
    return call(name, R"({"structuredContent":{"results":)" + value + "}}");
}

TEST(GuidedReplies, SuggestionsFromAnswersOfTheSameServer) {
    Evidence failed = apps("b", 3, "f");
    failed.statusCode = 500;
    Evidence elsewhere = apps("a", 3, "o");
    elsewhere.url = "https://b.example/mcp";
    const std::string text = R"({"type":"string"})";
    struct Row {
        std::vector<Evidence> records;
        std::string key;
        std::string appIDSchema;
        std::size_t count;
    };
    for (const Row& row : std::initializer_list<Row>{
             {{apps("a", 150, "x")}, "app_id", text, 100}, // the first 100 elements only
             {{apps("a", 3, "x", 7)}, "app_id", text, 0},  // deeper than the walk goes
             {{apps("a", 3, "x", 6)}, "slug", text, 3},
             {{apps("a", 12, "x")}, "app_id", R"({"type":"string","maxLength":2})", 10},
             {{apps("a", 3, "x"), apps("b", 2, "x"), failed, elsewhere}, "app_id", text, 3},
             // The server lists "a" twice: its answer is walked once, so the
             // other tool's apps still fit under the gathering limit.
             {{apps("a", 60, "x"), apps("b", 30, "y")}, "app_id", text, 90},
         }) {
        SCOPED_TRACE(row.key + " " + std::to_string(row.count));
        const ScanReport report =
            reportWith(row.records, {tool("a", row.appIDSchema), tool("a"), tool("b")});
        const std::vector<ParameterSuggestion> found =
            suggestions(row.key, tool("c", row.appIDSchema), report);
        EXPECT_EQ(found.size(), row.count);
        EXPECT_EQ(GuidedReplies(report).suggestions(row.key, tool("c", row.appIDSchema)), found);
        if (!found.empty()) {
            EXPECT_EQ(found[0].value, row.key == "slug" ? "s0" : "x0");
            EXPECT_EQ(found[0].evidenceID, row.records[0].id);
        }
    }
}

TEST(GuidedReplies, TitlesInTheCollatorsOrderAndShortEnoughForAMenu) {
    const ScanReport report =
        reportWith({call("a", R"({"structuredContent":[{"app_id":"3","name":"apple"},{"app_id":"1",
            "name":"app 10"},{"app_id":"2","title":"App 9"},{"app_id":"4"},{"app_id":"6","name":"Banana"},{"app_id":"5",
            "name":")" + std::string(300, 'z') +
                                  R"("}]})")},
                   {tool("a")});
    std::string titles;
    for (const ParameterSuggestion& s : suggestions("app_id", tool("a"), report))
        titles += s.title + "|";
    EXPECT_EQ(titles, "4|App 9|app 10|apple|Banana|" + std::string(200, 'z') + "…|");
}

} // namespace
} // namespace quorilanth
