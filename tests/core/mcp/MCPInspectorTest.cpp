#include "core/mcp/MCPInspector.h"

#include "ScriptedTransport.h"

#include <gtest/gtest.h>
#include <stop_token>

namespace quorilanth {
namespace {

using testing::answer;
using testing::result;
using testing::rpc;
using testing::rpcError;
using testing::Scripted;

std::string repeated(const std::string& text, int times) {
    return times ? text + repeated(text, times - 1) : "";
}

Evidence discovered(const std::string& capabilities) {
    return result(1, R"({"supportedVersions":["2026-07-28"],"capabilities":)" + capabilities + "}");
}

// Negotiation and lists give one record, never an exception: its status, the
// version and server name of the era negotiated, every issue in order (a list
// may not receive an error answer, so its first failing rule names it), the
// methods sent and the tools kept.
TEST(MCPInspector, BuildsOneRecordWithoutThrowing) {
    const std::string tools = R"({"tools":{}})";
    const std::string notMCP =
        "Invalid MCP response: Expected application/json or text/event-stream.";
    const std::string noCapabilities = "Invalid MCP response: capabilities must be an object.";
    const std::string badAck =
        "Invalid initialized acknowledgment: expected HTTP 202 and empty body.";
    const Evidence notFound = answer(404, "", ""), accepted = answer(202, "", "");
    const Evidence legacy = result(2, R"({"protocolVersion":"2025-11-25","capabilities":{}})");
    Evidence truncated = result(2, "{}"), redirected = result(2, "{}"),
             refused(testing::kEndpoint, "POST");
    truncated.truncated = true;
    redirected.error = "Redirect limit reached.";
    refused.error = "Couldn't connect to server";
    const std::pair<std::vector<Evidence>, std::string> rows[] = {
        {{result(1, R"({"supportedVersions":["2025-06-18","2026-07-28"],"capabilities":{},
            "serverInfo":{"name":"old"},"_meta":{"io.modelcontextprotocol/serverInfo":{"name":"m"}}})")},
         "VALID 2026-07-28 m | 1 server/discover"},
        {{result(1, R"({"supportedVersions":["2026-07-28"]})")},
         "INVALID  | " + noCapabilities + " | 1 server/discover"},
        {{result(1, R"({"supportedVersions":["2025-06-18"]})")},
         "UNSUPPORTED  | UNSUPPORTED: server offers [\n  \"2025-06-18\"\n] | 1 server/discover"},
        {{rpcError(1, R"({"code":-32021,"message":"no"})", 400)},
         "UNSUPPORTED  | UNSUPPORTED: modern MCP negotiation: {\n  \"code\" : -32021,\n  "
         "\"message\" : \"no\"\n} | 1 server/discover"},
        // Answers a legacy server gives to an unknown method fall back to initialize.
        {{rpcError(1, R"({"code":-32601,"message":"nf"})"),
          result(2,
                 R"({"protocolVersion":"2025-03-26","capabilities":{},"serverInfo":{"name":"l"}})"),
          accepted},
         "VALID 2025-03-26 l | 3 notifications/initialized"},
        {{rpcError(1, R"({"code":-1e300})"), legacy, accepted},
         "VALID 2025-11-25 | 3 notifications/initialized"},
        {{answer(400, "application/json", rpc("null", R"("error":{"code":-32000})")), legacy,
          accepted},
         "VALID 2025-11-25 | 3 notifications/initialized"},
        {{answer(500, "text/html", "<p>")}, "INVALID  | " + notMCP + " | 1 server/discover"},
        {{answer(404, "text/html", "<p>")}, "NOT FOUND  | " + notMCP + " | 2 initialize"},
        {{answer(401, "application/json", "{}")},
         "FOUND  | Authentication required (HTTP 401). | 1 server/discover"},
        {{notFound, result(2, R"({"protocolVersion":"2024-11-05","capabilities":{}})")},
         "UNSUPPORTED  | UNSUPPORTED: protocol version 2024-11-05 | 2 initialize"},
        {{notFound, result(2, R"({"capabilities":{}})")},
         "UNSUPPORTED  | UNSUPPORTED: protocol version null | 2 initialize"},
        {{notFound, result(2, R"({"protocolVersion":"2025-11-25"})"), accepted},
         "INVALID  | " + noCapabilities + " | 3 notifications/initialized"},
        {{notFound, legacy, answer(200, "", "")},
         "INVALID  | " + badAck + " | 3 notifications/initialized"},
        {{notFound, legacy, answer(202, "text/plain", "ok")},
         "INVALID  | " + badAck + " | 3 notifications/initialized"},
        {{notFound, legacy, answer(401, "", "")},
         "FOUND  | " + badAck + " | 3 notifications/initialized"},
        {{notFound, legacy, answer(202, "", " \r\n\t\xC2\xA0")},
         "VALID 2025-11-25 | 3 notifications/initialized"},
        {{discovered(R"({"resources":false})"), result(2, R"({"resources":[{"uri":"a://b"}]})"),
          rpcError(3, R"({"code":-32601,"message":"Method not found"})")},
         "VALID 2026-07-28 | MCP -32601: Method not found | 3 resources/templates/list"},
        {{discovered(R"({"tools":null})"),
          result(2, R"({"tools":[{"name":"a","inputSchema":{}},{"name":"a","inputSchema":{}},
                  {"name":"","inputSchema":{}},{"name":"b"},{"name":"b","inputSchema":{}},"c",
                  {"name":"deep","inputSchema":{"properties":{"list":{"type":"array",
                    "items":{"type":"string","x-mcp-header":"Item"}}}}}]})")},
         "VALID 2026-07-28" + repeated(" | Invalid or duplicate tool definition.", 5) +
             " | deep: Invalid x-mcp-header annotation: Item | 2 tools/list a"},
        {{discovered(R"({"tools":{},"prompts":{}})"), answer(401, "text/html", "no")},
         "FOUND 2026-07-28 | Authentication required (HTTP 401). | 2 tools/list"},
        {{discovered(R"({"prompts":{}})"), result(2, R"({"prompts":[]})", 403)},
         "VALID 2026-07-28 | Authentication required (HTTP 403). | 2 prompts/list"},
        {{discovered(tools), truncated},
         "INVALID 2026-07-28 | MCP response exceeds byte limit. | 2 tools/list"},
        {{discovered(tools), refused},
         "UNREACHABLE 2026-07-28 | Couldn't connect to server | 2 tools/list"},
        {{discovered(tools), answer(404, "text/html", "<h1>404</h1>")},
         "NOT FOUND 2026-07-28 | " + notMCP + " | 2 tools/list"},
        {{discovered(tools), rpcError(2, R"({"code":"E1","message":"bad"})")},
         "INVALID 2026-07-28 | MCP E1: bad | 2 tools/list"},
        {{discovered(tools), rpcError(2, R"("boom")")},
         "INVALID 2026-07-28 | MCP null: null | 2 tools/list"},
        {{discovered(tools), rpcError(2, R"({"code":1e300,"message":"m"})")},
         "INVALID 2026-07-28 | MCP 1e+300: m | 2 tools/list"},
        {{discovered(tools), result(2, "{}", 500)},
         "INVALID 2026-07-28 | MCP request failed: HTTP 500. | 2 tools/list"},
        {{discovered(tools), redirected},
         "INVALID 2026-07-28 | Redirect limit reached. | 2 tools/list"},
        {{discovered(tools), result(2, R"({"tools":{}})")},
         "INVALID 2026-07-28 | Invalid tools/list: missing tools array. | 2 tools/list"},
        {{discovered(tools), result(2, "null")},
         "INVALID 2026-07-28 | Invalid tools/list: missing tools array. | 2 tools/list"},
    };
    for (const auto& [script, expected] : rows) {
        Scripted f(script);
        const MCPServer server = MCPInspector::inspect(f.client);
        const auto name = server.info["name"].string();
        std::string outcome = std::string(toString(server.status)) + " " + server.version +
                              (name ? " " + std::string(*name) : "");
        for (const std::string& issue : server.issues)
            outcome += " | " + issue;
        const std::string methods = f.methods();
        outcome +=
            " | " + std::to_string(f.sent().size()) + " " + methods.substr(methods.rfind(' ') + 1);
        for (const MCPTool& tool : server.tools)
            outcome += " " + std::string(tool.name());
        EXPECT_EQ(outcome, expected);
        EXPECT_EQ(f.client.evidence().size(), f.sent().size()) << expected;
    }
}

// A stop while the inspector works, before it or in the middle of a hop (as the
// real transport records it), leaves as a cancellation, never as the server's
// status with an issue reading "Cancelled"; the exchanges made are kept.
TEST(MCPInspector, LetsCancellationThrough) {
    for (const std::size_t stopAt : {0, 1, 2, 3}) {
        auto http = std::make_shared<test::FakeHTTPInspector>();
        MCPClient client(testing::kEndpoint, http);
        std::stop_source source;
        std::size_t seen = 0;
        const std::string replies[] = {
            R"({"supportedVersions":["2026-07-28"],"capabilities":{"tools":{},"prompts":{}}})",
            R"({"tools":[]})", R"({"prompts":[]})"};
        if (stopAt == 3) source.request_stop();
        http->otherwise([&](const test::FakeHTTPInspector::Call& call) {
            Evidence hop = test::FakeHTTPInspector::record(call);
            if (seen == stopAt) {
                source.request_stop();
                hop.error = Cancelled().what();
                return HTTPResult{{hop}};
            }
            hop = result(static_cast<int>(seen + 1), replies[seen]);
            ++seen;
            return HTTPResult{{hop}};
        });
        EXPECT_THROW(MCPInspector::inspect(client, source.get_token()), Cancelled) << stopAt;
        EXPECT_EQ(client.evidence().size(), stopAt == 3 ? 0 : stopAt + 1) << stopAt;
    }
}

} // namespace
} // namespace quorilanth
