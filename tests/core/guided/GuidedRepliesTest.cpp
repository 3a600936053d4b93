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

// A call of the named tool answered with this JSON-RPC member ("result":…, "error":…).
Evidence call(const std::string& name, const std::string& member, int id = 1) {
    return testsupport::toolCall(
        server, name, R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + "," + member + "}");
}

TEST(GuidedReplies, TheNewestCallDecodedAtTheEndOfItsRedirects) {
    Evidence timedOut = call("t", R"("result":{"structuredContent":1})"), stream = timedOut,
             moved = timedOut, hop = call("t", R"("result":{"structuredContent":3})");
    timedOut.statusCode.reset();
    timedOut.error = "Timed out";
    stream.responseHeaders["content-type"] = "text/event-stream";
    stream.responseBody = "event: message\ndata: " + std::string(stream.responseBody.view());
    moved.statusCode = 307;
    moved.responseHeaders["location"] = "/v2";
    hop.url = "https://a.example/v2";
    const char* const incomplete =
        "\"A complete answer did not arrive. Try again or inspect the technical details.\"";
    for (const auto& [isError, value, records] :
         std::initializer_list<std::tuple<bool, const char*, std::vector<Evidence>>>{
             {false,
              R"({"a":1})",
              {call("t", R"("result":{"structuredContent":{"a":1},"content":[]})")}},
             {false, R"(["1","x"])", {call("t", R"("result":{"content":[{"type":"text","text":"1"},
                 {"type":"text","text":"x"}],"isError":"true"})")}},
             {true, "[]", {call("t", R"("result":{"content":[{"type":"image"}],"isError":true})")}},
             {true, R"({"code":-1})", {call("t", R"("error":{"code":-1})")}},
             {true, incomplete, {call("t", R"("result":{})", 2)}}, // another request's reply
             {false, "1", {stream}},
             {true, incomplete, {call("t", R"("result":{"structuredContent":0})"), timedOut}},
             {false, "3", {timedOut, moved, hop}},
         }) {
        const ScanReport report = reportWith(records);
        const std::optional<GuidedReply> reply =
            GuidedReplies(report).lastReply(tool("t"), english);
        ASSERT_TRUE(reply);
        EXPECT_EQ(std::tuple(reply->value, reply->isError, reply->evidence.id),
                  std::tuple(JSONValue::parse(value), isError, records.back().id))
            << value;
        EXPECT_EQ(lastReply(tool("t"), report, english)->value, reply->value);
    }
    EXPECT_EQ(lastReply(tool("t"), reportWith({call("t", "\"result\":{}", 2)}), italian)->value,
              JSONValue("Non è arrivata una risposta completa. Puoi riprovare o consultare i "
                        "dettagli tecnici."));
    EXPECT_FALSE(lastReply(tool("u"), reportWith({call("t", "\"result\":{}")}), english));
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
    return call(name, R"("result":{"structuredContent":{"results":)" + value + "}}");
}

TEST(GuidedReplies, SuggestionsFromAnswersOfTheSameServer) {
    Evidence failed = apps("b", 3, "f"), elsewhere = apps("a", 3, "o");
    failed.statusCode = 500;
    elsewhere.url = "https://b.example/mcp";
    const std::string text = R"({"type":"string"})";
    for (const auto& [records, key, appIDSchema, count] : std::initializer_list<
             std::tuple<std::vector<Evidence>, std::string, std::string, std::size_t>>{
             {{apps("a", 150, "x")}, "app_id", text, 100}, // the first 100 elements only
             {{apps("a", 3, "x", 7)}, "app_id", text, 0},  // deeper than the walk goes
             {{apps("a", 3, "x", 6)}, "slug", text, 3},
             {{apps("a", 12, "x")}, "app_id", R"({"type":"string","maxLength":2})", 10},
             {{apps("a", 3, "x"), apps("b", 2, "x"), failed, elsewhere}, "app_id", text, 3},
             // Two answers walked, the same short identifiers in each: once each.
             {{apps("a", 2, "x"), apps("b", 2, "x")}, "app_id", text, 2},
             // The server lists "a" twice: its answer is walked once, so the
             // other tool's apps still fit under the gathering limit.
             {{apps("a", 60, "x"), apps("b", 30, "y")}, "app_id", text, 90},
         }) {
        SCOPED_TRACE(key + " " + std::to_string(count));
        const ScanReport report =
            reportWith(records, {tool("a", appIDSchema), tool("a"), tool("b")});
        const std::vector<ParameterSuggestion> found =
            GuidedReplies(report).suggestions(key, tool("c", appIDSchema));
        ASSERT_EQ(found.size(), count);
        EXPECT_EQ(suggestions(key, tool("c", appIDSchema), report), found);
        if (count) {
            EXPECT_EQ(found[0],
                      (ParameterSuggestion{key == "slug" ? "s0" : "x0", "x 0", records[0].id}));
        }
    }
    // Titles in the collator's order, short enough for a menu.
    const ScanReport report =
        reportWith({call("a", R"("result":{"structuredContent":[{"app_id":"3","name":"apple"},
            {"app_id":"1","name":"app 10"},{"app_id":"2","title":"App 9"},{"app_id":"4"},
            {"app_id":"6","name":"Banana"},{"app_id":"5","name":")" +
                                  std::string(300, 'z') + R"("}]})")},
                   {tool("a")});
    std::string titles;
    for (const ParameterSuggestion& s : suggestions("app_id", tool("a"), report))
        titles += s.title + "|";
    EXPECT_EQ(titles, "4|App 9|app 10|apple|Banana|" + std::string(200, 'z') + "…|");
}

} // namespace
} // namespace quorilanth
