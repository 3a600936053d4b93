#include "core/report/ToolCalls.h"

#include "core/net/HTTPInspector.h"
#include "support/LoopbackHTTPServer.h"
#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::toolCall;

const std::string server = "https://a.example/mcp";

Evidence with(Evidence e, std::optional<std::int64_t> status, std::string location = {},
              std::optional<std::string> error = {}) {
    e.statusCode = status;
    if (!location.empty()) e.responseHeaders["location"] = std::move(location);
    e.error = std::move(error);
    return e;
}

Evidence hop(const std::string& url, const std::string& method, const Evidence& from) {
    Evidence e = from;
    e.url = url;
    e.method = method;
    if (method == "GET") e.requestBody.reset();
    return e;
}

TEST(ToolCalls, NewestCallOfThisToolOnThisServerFollowedThroughItsRedirects) {
    const Evidence call = toolCall(server, "lookup");
    Evidence body = call;
    body.requestBody =
        R"({"method":"tools\/call","params":{"name":"lookup"},"jsonrpc":"2.0","id":2})";
    const Evidence moved = with(call, 307, "/v2/mcp");
    const Evidence seeOther = with(call, 303, "https://b.example/answer");
    std::vector<Evidence> longChain;
    for (int i = 0; i < 8; ++i)
        longChain.push_back(
            with(hop(i == 0 ? server : "https://a.example/" + std::to_string(i), "POST", call), 307,
                 "/" + std::to_string(i + 1)));
    struct Row {
        const char* what;
        std::vector<Evidence> records;
        int request; // -1: no call found
        int answer;
    };
    for (const Row& row : {
             Row{"a timeout hides an older success",
                 {call, with(call, std::nullopt, {}, "Timed out")},
                 1,
                 1},
             Row{"other tools, other servers, GETs and broken bodies are passed over",
                 {call, toolCall(server, "search", R"({})", R"({"q":"\"lookup\""})"),
                  toolCall("https://b.example/mcp", "lookup"), hop(server, "GET", call),
                  [&] {
                      Evidence e = call;
                      e.requestBody = "tools/call \"lookup\"";
                      return e;
                  }()},
                 0,
                 0},
             Row{"escaped JSON is still the same call", {call, body}, 1, 1},
             Row{"307 keeps the POST to the new address",
                 {moved, hop("https://a.example/v2/mcp", "POST", call)},
                 0,
                 1},
             Row{"303 turns into a GET",
                 {seeOther, hop("https://b.example/answer", "GET", call)},
                 0,
                 1},
             Row{"a record that is not the next hop ends the chain",
                 {moved, hop("https://a.example/elsewhere", "POST", call)},
                 0,
                 0},
             Row{"the method must match the status",
                 {moved, hop("https://a.example/v2/mcp", "GET", call)},
                 0,
                 0},
             Row{"a redirect that failed is its own answer",
                 {with(call, 308, "/v2/mcp", "Redirect limit reached."),
                  hop("https://a.example/v2/mcp", "POST", call)},
                 0,
                 0},
             Row{"a chain stops at the transport's limit", longChain, 0, 5},
             Row{"no call at all", {toolCall(server, "search")}, -1, -1},
         }) {
        SCOPED_TRACE(row.what);
        ScanReport report("https://a.example/");
        report.evidence = row.records;
        for (std::size_t i = 0; i < report.evidence.size(); ++i)
            report.evidence[i].id = std::to_string(i);
        const MCPTool tool(server, JSONValue::parse(R"({"name":"lookup"})"));
        const std::optional<ToolCall> walked = ToolCalls::latest(report, tool);
        const ToolCalls index(report);
        const ToolCall* indexed = index.latest(tool);
        ASSERT_EQ(walked.has_value(), row.request >= 0);
        ASSERT_EQ(indexed != nullptr, row.request >= 0);
        if (row.request < 0) continue;
        for (const ToolCall* found : {&*walked, indexed}) {
            EXPECT_EQ(found->request.id, std::to_string(row.request));
            EXPECT_EQ(found->answer.id, std::to_string(row.answer));
            EXPECT_EQ(found->body, JSONValue::parse(*found->request.requestBody));
        }
    }
}

TEST(ToolCalls, OneIndexTellsToolsAndServersApart) {
    ScanReport report("https://a.example/");
    report.evidence = {toolCall(server, "Unnamed tool"), toolCall(server, "a"),
                       toolCall("https://b.example/mcp", "a"), toolCall(server, "b")};
    const ToolCalls index(report);
    struct Row {
        std::string server;
        const char* definition;
        int found;
    };
    for (const Row& row : {Row{server, R"({"name":7})", 0}, Row{server, R"({"name":"a"})", 1},
                           Row{"https://b.example/mcp", R"({"name":"a"})", 2},
                           Row{server + "/", R"({"name":"b"})", -1}}) {
        SCOPED_TRACE(row.definition);
        const ToolCall* call = index.latest(MCPTool(row.server, JSONValue::parse(row.definition)));
        ASSERT_EQ(call != nullptr, row.found >= 0);
        if (call) {
            EXPECT_EQ(call->request.id, report.evidence[row.found].id);
        }
    }
}

// The chain rule mirrors the transport: a real redirected POST, recorded by
// the transport itself, must be read as one call ending in its answer.
TEST(ToolCalls, FollowsTheHopsTheTransportRecorded) {
    test::LoopbackHTTPServer site;
    site.on("/mcp", test::respond::redirect(307, "./v2/mcp#ignored"));
    site.on("/v2/mcp", test::respond::text(200, R"({"jsonrpc":"2.0","id":1,"result":{}})",
                                           {{"Content-Type", "application/json"}}));
    HTTPInspector transport{NetworkPolicy(true)};
    const std::string url = site.url("/mcp");
    const Evidence call = toolCall(url, "lookup");
    ScanReport report("https://a.example/");
    report.evidence = transport.request(url, "POST", {}, call.requestBody).exchanges;
    ASSERT_EQ(report.evidence.size(), 2u);
    const ToolCall found =
        *ToolCalls::latest(report, MCPTool(url, JSONValue::parse(R"({"name":"lookup"})")));
    EXPECT_EQ(found.request.statusCode, 307);
    EXPECT_EQ(found.answer.statusCode, 200);
    EXPECT_EQ(found.answer.url, site.url("/v2/mcp"));
}

} // namespace
} // namespace quorilanth
