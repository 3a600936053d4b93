#include "core/mcp/MCPInspector.h"

#include "ScriptedTransport.h"

#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stop_token>
#include <string>
#include <vector>

namespace quorilanth {
namespace {

using testing::answer;
using ::testing::ElementsAre;
using testing::hops;
using testing::kEndpoint;
using testing::result;
using testing::rpcError;
using testing::Scripted;

Evidence discovered(const std::string& capabilities) {
    return result(1, R"({"supportedVersions":["2026-07-28"],"capabilities":)" + capabilities + "}");
}

Evidence page(int id, const std::string& key, const std::string& items) {
    return result(id, "{\"" + key + "\":" + items + "}");
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : " | ") + part;
    return text;
}

TEST(MCPInspector, BuildsOneRecordWithoutThrowing) {
    const std::string bad = "Invalid or duplicate tool definition. | ";
    const Evidence notFound = answer(404, "", "");
    const Evidence legacy = result(2, R"({"protocolVersion":"2025-11-25","capabilities":{}})");
    struct Row {
        std::vector<Evidence> script;
        FindingStatus status;
        std::string issues;
        std::string methods; // after server/discover
        std::string tools = "";
    };
    const Row rows[] = {
        {hops(discovered(R"({"resources":false})"), page(2, "resources", R"([{"uri":"a://b"}])"),
              rpcError(3, R"({"code":-32601,"message":"Method not found"})")),
         FindingStatus::valid, "MCP -32601: Method not found",
         "resources/list | resources/templates/list"},
        {hops(discovered(R"({"tools":null})"),
              page(2, "tools", R"([{"name":"a","inputSchema":{}},{"name":"a","inputSchema":{}},
                  {"name":"","inputSchema":{}},{"name":"b"},{"name":"b","inputSchema":{}},"c",
                  {"name":"deep","inputSchema":{"properties":{"list":{"type":"array",
                    "items":{"type":"string","x-mcp-header":"Item"}}}}}])")),
         FindingStatus::valid,
         bad + bad + bad + bad + bad + "deep: Invalid x-mcp-header annotation: Item", "tools/list",
         "a"},
        // Refused tools end the inspection as found; a refused later list is only an issue.
        {hops(discovered(R"({"tools":{},"prompts":{}})"), answer(401, "", "")),
         FindingStatus::found, "Authentication required (HTTP 401).", "tools/list"},
        {hops(discovered(R"({"prompts":{}})"), answer(403, "", "")), FindingStatus::valid,
         "Authentication required (HTTP 403).", "prompts/list"},
        {hops(discovered(R"({"tools":{}})"), page(2, "tools", "{}")), FindingStatus::invalid,
         "Invalid tools/list: missing tools array.", "tools/list"},
        {hops(answer(404, "text/html", "<p>")), FindingStatus::notFound,
         "Invalid MCP response: Expected application/json or text/event-stream.", "initialize"},
        {hops(notFound, legacy, answer(401, "", "")), FindingStatus::found,
         "Invalid initialized acknowledgment: expected HTTP 202 and empty body.",
         "initialize | notifications/initialized"},
        {hops(rpcError(1, R"({"code":-32022})", 400)), FindingStatus::unsupported,
         "UNSUPPORTED: modern MCP negotiation: " + JSONValue::parse(R"({"code":-32022})").pretty(),
         ""},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        Scripted f;
        f.push(row.script);
        const MCPServer server = MCPInspector::inspect(f.client);
        EXPECT_EQ(server.status, row.status);
        EXPECT_EQ(joined(server.issues), row.issues);
        std::vector<std::string> names;
        for (const MCPTool& tool : server.tools)
            names.emplace_back(tool.name());
        EXPECT_EQ(joined(names), row.tools);
        EXPECT_EQ(joined(f.methods()),
                  "server/discover" + (row.methods.empty() ? "" : " | " + row.methods));
    }
}

// A stop request while the inspector works must leave as a cancellation, not
// become the server's status and an issue reading "Cancelled".
TEST(MCPInspector, LetsCancellationThrough) {
    for (const std::size_t stopAt : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
        auto http = std::make_shared<test::FakeHTTPInspector>();
        MCPClient client("http://unscripted/mcp", http);
        std::stop_source source;
        std::atomic<std::size_t> seen{0};
        const std::vector<std::string> replies{
            R"({"supportedVersions":["2026-07-28"],"capabilities":{"tools":{},"prompts":{}}})",
            R"({"tools":[]})", R"({"prompts":[]})"};
        http->otherwise([&](const test::FakeHTTPInspector::Call& call) {
            const std::size_t n = seen++;
            Evidence hop = test::FakeHTTPInspector::record(call);
            if (n == stopAt) {
                // What the real transport records when a stop arrives mid-hop.
                source.request_stop();
                hop.error = Cancelled().what();
                return HTTPResult{{hop}};
            }
            hop.statusCode = 200;
            hop.responseHeaders["content-type"] = "application/json";
            hop.responseBody = testing::rpc(std::to_string(n + 1), "\"result\":" + replies.at(n));
            return HTTPResult{{hop}};
        });
        EXPECT_THROW(MCPInspector::inspect(client, source.get_token()), Cancelled) << stopAt;
        EXPECT_EQ(client.evidence().size(), stopAt + 1) << stopAt;
    }
}

TEST(MCPInspector, StopRequestedBeforehandSendsNothing) {
    Scripted f;
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(MCPInspector::inspect(f.client, source.get_token()), Cancelled);
    EXPECT_TRUE(f.sent().empty());
}

} // namespace
} // namespace quorilanth
