// The MCP client and its inspector over the scripted fake transport, for the
// exact texts they send and the exact verdicts they reach.
#include "core/mcp/MCPClient.h"

#include "core/mcp/MCPInspector.h"
#include "support/FakeHTTPInspector.h"

#include <gtest/gtest.h>
#include <stop_token>

namespace quorilanth {
namespace {

constexpr const char* kEndpoint = "http://fake/mcp";

Evidence answer(std::int64_t status, std::string contentType, std::string body,
                HeaderFields headers = {}) {
    Evidence hop(kEndpoint, "POST");
    hop.statusCode = status;
    if (!contentType.empty()) headers["content-type"] = std::move(contentType);
    hop.responseHeaders = std::move(headers);
    hop.responseBody = std::move(body);
    return hop;
}

// A JSON-RPC envelope with that id and the rest of its members.
std::string rpc(const std::string& id, const std::string& members) {
    return R"({"jsonrpc":"2.0","id":)" + id + "," + members + "}";
}

Evidence result(int id, const std::string& result, std::int64_t status = 200) {
    return answer(status, "application/json", rpc(std::to_string(id), "\"result\":" + result));
}

Evidence rpcError(int id, const std::string& error, std::int64_t status = 200) {
    return answer(status, "application/json", rpc(std::to_string(id), "\"error\":" + error));
}

// A client of kEndpoint answered by a script in order; the last answer repeats.
struct Scripted {
    std::shared_ptr<test::FakeHTTPInspector> http = std::make_shared<test::FakeHTTPInspector>();
    MCPClient client{kEndpoint, http};

    explicit Scripted(const std::vector<Evidence>& script = {}) {
        for (const Evidence& hop : script)
            http->script(kEndpoint, HTTPResult{{hop}});
    }
    std::vector<test::FakeHTTPInspector::Call> sent() const { return http->calls(); }
    JSONValue envelope(std::size_t n) const {
        return JSONValue::parse(sent().at(n).body.value_or(""));
    }
    // The methods sent, joined by " | ".
    std::string methods() const {
        std::string names;
        for (std::size_t i = 0; i < sent().size(); ++i)
            names += (i ? " | " : "") + envelope(i)["method"].text();
        return names;
    }
};

// What an operation threw as QuorilanthError, or nothing.
template <typename Operation> std::optional<std::string> failureOf(Operation&& operation) {
    try {
        operation();
    } catch (const QuorilanthError& error) {
        return error.message();
    }
    return std::nullopt;
}

const std::string kNoMatch =
    "No matching JSON-RPC 2.0 response ID, or invalid result/error envelope.";
const std::string kNotMCP = "Expected application/json or text/event-stream.";

TEST(MCPClient, DecodeReplyChoosesTheMatchingEnvelope) {
    const std::string sse = "text/event-stream", json = "application/json";
    const auto data = [](const std::string& result) {
        return "data: " + rpc("1", "\"result\":" + result) + "\n\n";
    };
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/x\"}\n\n";
    const struct {
        std::string body, type;
        std::string outcome; // the chosen "result" as JSON text, or the failure
    } rows[] = {
        {"data: {\"method\":\"progress\"}\n\ndata: not json\n\n" + data("3"), sse, "3"},
        {"data: {\"jsonrpc\":\"2.0\",\ndata: \"id\":1,\"result\":[]}\n\n", sse, "[]"},
        {"data: {}\r\rdata: " + rpc("1", "\"result\":1") + "\r\r", sse, "1"},
        {"data: " + rpc("1", "\"result\":2") + "\r\n\r\n", "Text/Event-Stream; charset=utf-8", "2"},
        {many + data("\"late\""), sse, "\"late\""},
        {"DATA: " + rpc("1", "\"result\":1") + "\n\n", sse, kNoMatch},
        {"data: {\"jsonrpc\":\"1.0\",\"id\":1,\"result\":1}\n\n" + data("2"), sse, kNoMatch},
        {data("5"), "application/json, text/event-stream", "5"},
        {rpc("\"1\"", "\"result\":1"), json, kNoMatch},
        {rpc("1", R"("result":1,"error":null)"), json, kNoMatch},
        {R"({"jsonrpc":"2.0","id":1})", json, kNoMatch},
        {"42", json, kNoMatch},
        {"{}", "", kNotMCP},
    };
    for (const auto& row : rows) {
        std::string outcome;
        const auto failure = failureOf([&] {
            outcome = MCPClient::decodeReply(row.body, row.type, JSONValue(1))["result"].pretty();
        });
        EXPECT_EQ(failure.value_or(outcome), row.outcome) << row.body.substr(0, 100);
    }
    EXPECT_THROW(MCPClient::decodeReply("{\"jsonrpc\":", json, JSONValue(1)), JSONParseError);
}

// At most 20 pages and 1000 items, no cursor twice; an empty cursor is one.
TEST(MCPClient, ListReadsToTheEndWithinTheLimits) {
    const auto pages = [](int count, bool lastHasCursor) {
        std::vector<std::pair<int, std::optional<std::string>>> out;
        for (int i = 0; i < count; ++i)
            out.emplace_back(1, i + 1 < count || lastHasCursor ? "c" + std::to_string(i)
                                                               : std::optional<std::string>());
        return out;
    };
    const std::pair<std::vector<std::pair<int, std::optional<std::string>>>, std::string> rows[] = {
        {pages(20, false), "20"},
        {pages(20, true), "tools/list: page limit reached."},
        {{{1, "a"}, {1, "b"}, {1, "a"}, {1, {}}}, "tools/list: repeated pagination cursor."},
        {{{1, ""}, {2, {}}}, "3"},
        {{{1000, {}}}, "1000"},
        {{{1000, "n"}, {1, {}}}, "tools/list: item limit reached."},
    };
    for (const auto& [list, countOrFailure] : rows) {
        Scripted f;
        for (std::size_t i = 0; i < list.size(); ++i) {
            JSONValue page = JSONValue::emptyObject();
            page.set("tools", JSONValue::Array(list[i].first, JSONValue::parse(R"({"name":"t"})")));
            if (list[i].second) page.set("nextCursor", *list[i].second);
            f.http->script(kEndpoint, HTTPResult{{result(static_cast<int>(i) + 1, page.pretty())}});
        }
        std::size_t count = 0;
        const auto failure =
            failureOf([&] { count = f.client.list("tools/list", "tools").size(); });
        EXPECT_EQ(failure.value_or(std::to_string(count)), countOrFailure);
        // Every follow-up asks for the cursor of the page before it.
        for (std::size_t i = 1; i < f.sent().size(); ++i)
            EXPECT_EQ(f.envelope(i)["params"]["cursor"], JSONValue(*list[i - 1].second));
    }
}

MCPTool tool(const std::string& definition, const std::string& server = kEndpoint) {
    return MCPTool(server, JSONValue::parse(definition));
}

const std::string kReadOnly =
    R"({"name":"get_weather","annotations":{"readOnlyHint":true},"inputSchema":{"type":"object",
        "properties":{"region":{"type":"string","x-mcp-header":"Region"}}}})";

// Refusals come before anything is sent (a mutating tool's is checked against
// the SDK peer); an answer, good or bad, is kept as evidence.
TEST(MCPClient, CallRefusesOrChecksTheAnswer) {
    const std::string missing = "Invalid tool result: missing content/structuredContent.";
    const MCPTool unknown = tool(R"({"name":"t","inputSchema":{}})");
    const struct {
        MCPTool tool;
        bool approved, confirmed;
        std::optional<std::string> failure;
        std::optional<Evidence> reply = std::nullopt; // nothing: refused before sending
    } rows[] = {
        {tool(kReadOnly), false, true, "Tool invocation requires an explicit RUN action."},
        {unknown, true, false, "UNKNOWN tool requires explicit confirmation."},
        {tool(kReadOnly, "http://other/mcp"), true, true, "Tool belongs to a different server."},
        {tool(R"({"name":"t","inputSchema":{"required":["b","c"]}})"), true, true,
         "$.b: required\n$.c: required"},
        {tool(R"({"name":"t","inputSchema":{"if":{}}})"), true, true, "$: unsupported keyword if"},
        {tool(
             R"({"name":"t","inputSchema":{"properties":{"a":{"type":"number","x-mcp-header":"A"}}}})"),
         true, true, "Invalid x-mcp-header annotation: A"},
        {unknown, true, true, std::nullopt, result(1, R"({"structuredContent":{}})")},
        {unknown, true, true, missing, result(1, R"({"structuredContent":null})")},
        {unknown, true, true,
         "UNSUPPORTED: this tool requires multi-round input/authorization. The request and "
         "response remain in RAW.",
         result(1, R"({"resultType":"input_required","content":[]})")},
        {unknown, true, true, "Authentication required (HTTP 401).", answer(401, "text/html", "")},
    };
    for (const auto& row : rows) {
        Scripted f({row.reply.value_or(result(1, "{}"))});
        EXPECT_EQ(failureOf([&] {
                      f.client.call(row.tool, JSONValue::emptyObject(), row.approved,
                                    row.confirmed);
                  }),
                  row.failure);
        EXPECT_EQ(f.sent().size(), row.reply ? 1u : 0u) << row.failure.value_or("");
        EXPECT_EQ(f.client.evidence().size(), f.sent().size());
    }
}

TEST(MCPClient, AModernCallCarriesMetaMethodNameAndParameterHeaders) {
    Scripted f({answer(200, "application/json", rpc("1", R"("result":{"content":[]})"),
                       {{"mcp-session-id", "ignored"}})});
    EXPECT_EQ(f.client.call(tool(kReadOnly), JSONValue::parse(R"({"region":" eu"})"), true, false),
              JSONValue::parse(R"({"content":[]})"));
    EXPECT_EQ(f.sent().at(0).headers,
              (HeaderFields{{"Accept", "application/json, text/event-stream"},
                            {"Content-Type", "application/json"},
                            {"MCP-Protocol-Version", "2026-07-28"},
                            {"Mcp-Method", "tools/call"},
                            {"Mcp-Name", "get_weather"},
                            {"Mcp-Param-Region", "=?base64?IGV1?="}}));
    EXPECT_EQ(f.envelope(0), JSONValue::parse(R"({"jsonrpc":"2.0","id":1,"method":"tools/call",
        "params":{"name":"get_weather","arguments":{"region":" eu"},
                  "_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",
                           "io.modelcontextprotocol/clientInfo":{"name":"Quorilanth","version":"0.1.0"},
                           "io.modelcontextprotocol/clientCapabilities":{}}}})"));
    EXPECT_EQ(f.client.sessionID(), std::nullopt);
}

std::string annotated(const std::string& type, const std::string& name = "Region") {
    return R"({"properties":{"region":{"type":)" + type + R"(,"x-mcp-header":")" + name + R"("}}})";
}

// Values are encoded only where a header cannot carry them (plain text, a
// leading blank, non-ASCII and a complete encoded form are also checked
// against the SDK peer, which decodes what we send).
TEST(MCPClient, ParameterHeadersAreBuiltOrRefused) {
    const std::string str = "\"string\"", bad = "Invalid x-mcp-header annotation: ";
    const std::string unsafe = "x-mcp-header integer exceeds safe integer range.";
    std::string deep = "{}", deepest = R"({"type":"string","x-mcp-header":"Deep"})";
    for (int i = 0; i < 40; ++i) {
        deep = R"({"type":"object","properties":{"p":)" + deep + "}}";
        if (i < 39) deepest = R"({"type":"object","properties":{"p":)" + deepest + "}}";
    }
    const struct {
        std::string schema, arguments;
        std::string outcome; // the Mcp-Param-Region value, or the failure
    } rows[] = {
        {annotated(str), R"({"region":"eu-west"})", "eu-west"},
        {annotated(str), "{}", ""},
        {annotated(str), R"({"region":"trail\t"})", "=?base64?dHJhaWwJ?="},
        {annotated(str), R"({"region":"line\nbreak"})", "=?base64?bGluZQpicmVhaw==?="},
        {annotated(str), R"({"region":"=?base64?abc"})", "=?base64?abc"},
        {annotated("\"integer\""), R"({"region":9007199254740991})", "9007199254740991"},
        {annotated("\"integer\""), R"({"region":9007199254740992})", unsafe},
        {annotated(str), R"({"region":-1e300})", unsafe},
        {annotated("\"number\""), "{}", bad + "Region"},
        {annotated(R"(["string","null"])"), "{}", bad + "Region"},
        {R"({"properties":{"a":{"type":"string","x-mcp-header":"Region"},
             "b":{"type":"string","x-mcp-header":"region"}}})",
         "{}", bad + "region"},
        {R"({"properties":{"a":{"type":"array","items":{"type":"string","x-mcp-header":"I"}}}})",
         "{}", bad + "I"},
        {R"({"anyOf":[{"type":"string","x-mcp-header":"Y"}]})", "{}", bad + "Y"},
        {annotated(str, "Re:gion"), "{}", bad + "Re:gion"},
        {annotated(str, ""), "{}", bad},
        {R"({"properties":{"a":{"type":"number","x-mcp-header":7}}})", "{}", ""},
        {R"({"properties":{"o":{"type":"object","properties":{
             "region":{"type":"string","x-mcp-header":"Region"}}}}})",
         R"({"o":{"region":"v"}})", "v"},
        {deepest, "{}", ""},
        {deep, "{}", "Schema depth limit."},
    };
    for (const auto& row : rows) {
        std::string outcome;
        const auto failure = failureOf([&] {
            for (const auto& [name, value] : MCPClient::parameterHeaders(
                     JSONValue::parse(row.schema), JSONValue::parse(row.arguments)))
                outcome += (name == "Mcp-Param-Region" ? "" : name + ": ") + value;
        });
        EXPECT_EQ(failure.value_or(outcome), row.outcome) << row.schema.substr(0, 100);
    }
}

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
    Evidence truncated = result(2, "{}"), redirected = result(2, "{}"), refused(kEndpoint, "POST");
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
    const std::string replies[] = {
        R"({"supportedVersions":["2026-07-28"],"capabilities":{"tools":{},"prompts":{}}})",
        R"({"tools":[]})"};
    for (const std::size_t stopAt : {0, 1, 2, 3}) {
        Scripted f;
        std::stop_source source;
        std::size_t seen = 0;
        if (stopAt == 3) source.request_stop();
        f.http->otherwise([&](const test::FakeHTTPInspector::Call& call) {
            Evidence hop = seen == stopAt ? test::FakeHTTPInspector::record(call)
                                          : result(static_cast<int>(seen + 1), replies[seen]);
            if (seen++ == stopAt) source.request_stop(), hop.error = Cancelled().what();
            return HTTPResult{{hop}};
        });
        EXPECT_THROW(MCPInspector::inspect(f.client, source.get_token()), Cancelled) << stopAt;
        EXPECT_EQ(f.client.evidence().size(), stopAt == 3 ? 0 : stopAt + 1) << stopAt;
    }
}

} // namespace
} // namespace quorilanth
