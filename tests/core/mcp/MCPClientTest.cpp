#include "core/mcp/MCPClient.h"

#include "ScriptedTransport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace quorilanth {
namespace {

using testing::accepted;
using testing::answer;
using testing::failureOf;
using testing::hops;
using testing::kEndpoint;
using testing::result;
using testing::rpc;
using testing::rpcError;
using testing::Scripted;

const std::string kNoMatch =
    "No matching JSON-RPC 2.0 response ID, or invalid result/error envelope.";
const std::string kNotMCP = "Expected application/json or text/event-stream.";
const std::string kNoCapabilities = "Invalid MCP response: capabilities must be an object.";
const std::string kBadAck = "Invalid initialized acknowledgment: expected HTTP 202 and empty body.";
const std::string kNoTools = R"({"tools":[]})";

// Plain text, a leading blank, non-ASCII and a complete encoded form are also
// checked against the SDK peer, which decodes what we send.
TEST(MCPClientHeaderValue, EncodesOnlyWhatAHeaderCannotCarry) {
    const std::pair<const char*, const char*> rows[] = {
        {"", ""},
        {"trail\t", "=?base64?dHJhaWwJ?="},
        {"line\nbreak", "=?base64?bGluZQpicmVhaw==?="},
        {"=?base64?abc", "=?base64?abc"},
    };
    for (const auto& [value, sent] : rows)
        EXPECT_EQ(MCPClient::headerValue(value), sent) << value;
}

TEST(MCPClientDecodeReply, ChoosesTheMatchingEnvelope) {
    const std::string sse = "text/event-stream", json = "application/json";
    const auto data = [](const std::string& result) {
        return "data: " + rpc("1", "\"result\":" + result) + "\n\n";
    };
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many +=
            "event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/progress\"}\n\n";
    struct Row {
        std::string body;
        std::string type;
        std::string outcome; // the chosen "result" as JSON text, or the failure
    };
    const Row rows[] = {
        {"data: {\"jsonrpc\":\"2.0\",\"method\":\"progress\"}\n\ndata: not json\n\ndata:" +
             rpc("1", "\"result\":3") + "\n\n",
         sse, "3"},
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
    for (const Row& row : rows) {
        SCOPED_TRACE(row.body.substr(row.body.size() > 200 ? row.body.size() - 200 : 0));
        std::string outcome;
        const auto failure = failureOf([&] {
            outcome = MCPClient::decodeReply(row.body, row.type, JSONValue(1))["result"].pretty();
        });
        EXPECT_EQ(failure.value_or(outcome), row.outcome);
    }
    EXPECT_THROW(MCPClient::decodeReply("{\"jsonrpc\":", json, JSONValue(1)), JSONParseError);
}

// A request made without permission to receive an error answer (a list) gives
// the first failure in the fixed order, and its evidence is kept all the same.
TEST(MCPClientExchange, FirstFailingRuleNamesTheFailure) {
    Evidence truncated = result(1, kNoTools);
    truncated.truncated = true;
    Evidence redirected = result(1, kNoTools);
    redirected.error = "Redirect limit reached.";
    Evidence refused(kEndpoint, "POST");
    refused.error = "Couldn't connect to server";
    const std::pair<Evidence, std::string> rows[] = {
        {answer(401, "text/html", "no"), "Authentication required (HTTP 401)."},
        {result(1, kNoTools, 403), "Authentication required (HTTP 403)."},
        {truncated, "MCP response exceeds byte limit."},
        {refused, "Couldn't connect to server"},
        {answer(404, "text/html", "<h1>404</h1>"), "Invalid MCP response: " + kNotMCP},
        {rpcError(1, R"({"code":-32601,"message":"bad"})"), "MCP -32601: bad"},
        {rpcError(1, R"({"code":"E1","message":"bad"})"), "MCP E1: bad"},
        {rpcError(1, R"("boom")"), "MCP null: null"},
        {rpcError(1, R"({"code":1e300,"message":"m"})"),
         "MCP " + JSONValue(1e300).pretty() + ": m"},
        {result(1, kNoTools, 500), "MCP request failed: HTTP 500."},
        {redirected, "Redirect limit reached."},
        {result(1, R"({"tools":{}})"), "Invalid tools/list: missing tools array."},
        {result(1, "null"), "Invalid tools/list: missing tools array."},
    };
    for (const auto& [reply, failure] : rows) {
        Scripted f;
        f.push({reply});
        EXPECT_EQ(failureOf([&] { f.client.list("tools/list", "tools"); }), failure);
        EXPECT_EQ(f.client.evidence().size(), 1u) << failure;
    }
}

TEST(MCPClientExchange, LegacySessionIsKeptAndSentBackAndIdsCountNotifications) {
    Scripted f;
    f.push({answer(404, "text/html", "<p>no</p>"),
            answer(200, "application/json",
                   rpc("2", R"("result":{"protocolVersion":"2025-11-25","capabilities":{}})"),
                   {{"mcp-session-id", "S-1"}}),
            accepted(), result(4, kNoTools)});
    f.client.connect();
    f.client.list("tools/list", "tools");

    ASSERT_EQ(f.sent().size(), 4u);
    EXPECT_EQ(f.sent()[1].headers.at("MCP-Protocol-Version"), "2025-11-25");
    EXPECT_FALSE(f.sent()[1].headers.contains("Mcp-Session-Id"));
    EXPECT_EQ(f.envelope(1)["params"], JSONValue::parse(R"({"protocolVersion":"2025-11-25",
        "capabilities":{},"clientInfo":{"name":"Quorilanth","version":"0.1.0"}})"));
    EXPECT_EQ(f.sent()[2].headers.at("Mcp-Session-Id"), "S-1");
    EXPECT_EQ(f.envelope(2).find("id"), nullptr);
    EXPECT_EQ(f.envelope(3)["id"], JSONValue(4));
    EXPECT_EQ(f.sent()[3].headers.at("Mcp-Session-Id"), "S-1");
}

TEST(MCPClientConnect, NegotiatesOrRefuses) {
    const Evidence notFound = answer(404, "", "");
    const Evidence legacy = result(2, R"({"protocolVersion":"2025-11-25","capabilities":{}})");
    const std::string refusal = R"({"code":-32021,"message":"no"})";
    struct Row {
        std::vector<Evidence> script;
        std::string outcome;  // the version and any server name, or the failure
        std::size_t requests; // how far into discover, initialize, initialized it got
    };
    const Row rows[] = {
        // Server info comes from the era negotiated.
        {hops(result(1, R"({"supportedVersions":["2025-06-18","2026-07-28"],"capabilities":{},
            "serverInfo":{"name":"old"},"_meta":{"io.modelcontextprotocol/serverInfo":{"name":"m"}}})")),
         "2026-07-28 m", 1},
        {hops(result(1, R"({"supportedVersions":["2026-07-28"]})")), kNoCapabilities, 1},
        {hops(result(1, R"({"supportedVersions":["2025-06-18"]})")),
         "UNSUPPORTED: server offers " + JSONValue::parse(R"(["2025-06-18"])").pretty(), 1},
        {hops(rpcError(1, refusal, 400)),
         "UNSUPPORTED: modern MCP negotiation: " + JSONValue::parse(refusal).pretty(), 1},
        // Answers a legacy server gives to an unknown method fall back to initialize.
        {hops(rpcError(1, R"({"code":-32601,"message":"nf"})"),
              result(2, R"({"protocolVersion":"2025-03-26","capabilities":{},
                            "serverInfo":{"name":"l"}})"),
              accepted()),
         "2025-03-26 l", 3},
        {hops(rpcError(1, R"({"code":-1e300})"), legacy, accepted()), "2025-11-25", 3},
        {hops(answer(400, "application/json", rpc("null", R"("error":{"code":-32000})")), legacy,
              accepted()),
         "2025-11-25", 3},
        {hops(answer(500, "text/html", "<p>")), "Invalid MCP response: " + kNotMCP, 1},
        {hops(answer(401, "application/json", "{}")), "Authentication required (HTTP 401).", 1},
        {hops(notFound, result(2, R"({"protocolVersion":"2024-11-05","capabilities":{}})")),
         "UNSUPPORTED: protocol version 2024-11-05", 2},
        {hops(notFound, result(2, R"({"capabilities":{}})")), "UNSUPPORTED: protocol version null",
         2},
        {hops(notFound, result(2, R"({"protocolVersion":"2025-11-25"})"), accepted()),
         kNoCapabilities, 3},
        {hops(notFound, legacy, answer(200, "", "")), kBadAck, 3},
        {hops(notFound, legacy, answer(202, "text/plain", "ok")), kBadAck, 3},
        {hops(notFound, legacy, answer(202, "", " \r\n\t\xC2\xA0")), "2025-11-25", 3},
    };
    const std::vector<std::string> handshake{"server/discover", "initialize",
                                             "notifications/initialized"};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        Scripted f;
        f.push(row.script);
        std::string outcome;
        const auto failure = failureOf([&] {
            const MCPServer server = f.client.connect();
            EXPECT_EQ(server.status, FindingStatus::valid);
            const auto name = server.info["name"].string();
            outcome = server.version + (name ? " " + std::string(*name) : "");
        });
        EXPECT_EQ(failure.value_or(outcome), row.outcome);
        EXPECT_EQ(f.methods(), std::vector(handshake.begin(), handshake.begin() + row.requests));
        EXPECT_EQ(f.client.evidence().size(), row.requests);
    }
}

struct Page {
    int items;
    std::optional<std::string> cursor;
};

std::vector<Page> pagesWithCursors(int count, bool lastHasCursor) {
    std::vector<Page> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back({1, i + 1 < count || lastHasCursor ? "c" + std::to_string(i)
                                                           : std::optional<std::string>()});
    return pages;
}

TEST(MCPClientList, ReadsToTheEndWithinTheLimits) {
    const std::pair<std::vector<Page>, std::string> rows[] = {
        {pagesWithCursors(20, false), "20"},
        {pagesWithCursors(20, true), "tools/list: page limit reached."},
        {{{1, "a"}, {1, "b"}, {1, "a"}, {1, {}}}, "tools/list: repeated pagination cursor."},
        {{{1, ""}, {2, {}}}, "3"},
        {{{1000, {}}}, "1000"},
        {{{1000, "n"}, {1, {}}}, "tools/list: item limit reached."},
    };
    for (const auto& [pages, countOrFailure] : rows) {
        SCOPED_TRACE(countOrFailure);
        Scripted f;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            JSONValue page = JSONValue::emptyObject();
            page.set("tools",
                     JSONValue::Array(pages[i].items, JSONValue::parse(R"({"name":"t"})")));
            if (pages[i].cursor) page.set("nextCursor", *pages[i].cursor);
            f.push({result(static_cast<int>(i) + 1, page.pretty())});
        }
        std::size_t count = 0;
        const auto failure =
            failureOf([&] { count = f.client.list("tools/list", "tools").size(); });
        EXPECT_EQ(failure.value_or(std::to_string(count)), countOrFailure);
        // Every follow-up asks for the cursor of the page before it.
        for (std::size_t i = 1; i < f.sent().size(); ++i)
            EXPECT_EQ(f.envelope(i)["params"]["cursor"], JSONValue(*pages[i - 1].cursor));
    }
}

MCPTool tool(const std::string& definition, const std::string& server = kEndpoint) {
    return MCPTool(server, JSONValue::parse(definition));
}

const std::string kReadOnly =
    R"({"name":"get_weather","annotations":{"readOnlyHint":true},"inputSchema":{"type":"object",
        "properties":{"region":{"type":"string","x-mcp-header":"Region"}}}})";

// Refusals come before anything is sent; an answer, good or bad, is kept as evidence.
TEST(MCPClientCall, RefusesOrChecksTheAnswer) {
    const std::string missing = "Invalid tool result: missing content/structuredContent.";
    const MCPTool unknown = tool(R"({"name":"t","inputSchema":{}})");
    struct Row {
        MCPTool tool;
        bool approved, confirmed;
        std::size_t sent;
        std::optional<std::string> failure;
        Evidence reply = result(1, R"({"content":[]})");
    };
    const Row rows[] = {
        {tool(kReadOnly), false, true, 0, "Tool invocation requires an explicit RUN action."},
        {unknown, true, false, 0, "UNKNOWN tool requires explicit confirmation."},
        {tool(R"({"name":"t","annotations":{"destructiveHint":true}})"), true, false, 0,
         "MUTATING tool requires explicit confirmation."},
        {tool(kReadOnly, "http://other/mcp"), true, true, 0, "Tool belongs to a different server."},
        {tool(R"({"name":"t","inputSchema":{"required":["b","c"]}})"), true, true, 0,
         "$.b: required\n$.c: required"},
        {tool(R"({"name":"t","inputSchema":{"if":{}}})"), true, true, 0,
         "$: unsupported keyword if"},
        {tool(
             R"({"name":"t","inputSchema":{"properties":{"a":{"type":"number","x-mcp-header":"A"}}}})"),
         true, true, 0, "Invalid x-mcp-header annotation: A"},
        {unknown, true, true, 1, std::nullopt, result(1, R"({"structuredContent":{}})")},
        {unknown, true, true, 1, missing, result(1, R"({"structuredContent":null})")},
        {unknown, true, true, 1, missing, result(1, R"({"content":{}})")},
        {unknown, true, true, 1,
         "UNSUPPORTED: this tool requires multi-round input/authorization. The request and "
         "response remain in RAW.",
         result(1, R"({"resultType":"input_required","content":[]})")},
        {unknown, true, true, 1, "Authentication required (HTTP 401).",
         answer(401, "text/html", "")},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(i);
        Scripted f;
        f.push({row.reply});
        EXPECT_EQ(failureOf([&] {
                      f.client.call(row.tool, JSONValue::emptyObject(), row.approved,
                                    row.confirmed);
                  }),
                  row.failure);
        EXPECT_EQ(f.sent().size(), row.sent);
        EXPECT_EQ(f.client.evidence().size(), row.sent);
    }
}

TEST(MCPClientCall, ModernCallCarriesMetaMethodNameAndParameterHeaders) {
    Scripted f;
    f.push({answer(200, "application/json", rpc("1", R"("result":{"content":[]})"),
                   {{"mcp-session-id", "ignored"}})});
    const JSONValue arguments = JSONValue::parse(R"({"region":" eu"})");
    EXPECT_EQ(f.client.call(tool(kReadOnly), arguments, true, false),
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

std::string nested(int levels, const std::string& innermost) {
    std::string schema = innermost;
    for (int i = 0; i < levels; ++i)
        schema = R"({"type":"object","properties":{"p":)" + schema + "}}";
    return schema;
}

std::string annotated(const std::string& type, const std::string& name = "Region") {
    return R"({"properties":{"region":{"type":)" + type + R"(,"x-mcp-header":")" + name + R"("}}})";
}

TEST(MCPClientParameterHeaders, BuildsOrRefuses) {
    const std::string str = "\"string\"", bad = "Invalid x-mcp-header annotation: ";
    const std::string unsafe = "x-mcp-header integer exceeds safe integer range.";
    struct Row {
        std::string schema;
        const char* arguments;
        std::string outcome; // the Mcp-Param-Region value, or the failure
    };
    const Row rows[] = {
        {annotated(str), R"({"region":"eu-west"})", "eu-west"},
        {annotated(str), "{}", ""},
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
        {annotated(str, "Régión"), "{}", bad + "Régión"},
        {R"({"properties":{"a":{"type":"number","x-mcp-header":7}}})", "{}", ""},
        {R"({"properties":{"o":{"type":"object","properties":{
             "region":{"type":"string","x-mcp-header":"Region"}}}}})",
         R"({"o":{"region":"v"}})", "v"},
        {nested(39, R"({"type":"string","x-mcp-header":"Deep"})"), "{}", ""},
        {nested(40, "{}"), "{}", "Schema depth limit."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.schema.substr(0, 200));
        std::string outcome;
        const auto failure = failureOf([&] {
            const HeaderFields headers = MCPClient::parameterHeaders(
                JSONValue::parse(row.schema), JSONValue::parse(row.arguments));
            for (const auto& [name, value] : headers)
                outcome += (name == "Mcp-Param-Region" ? "" : name + ": ") + value;
        });
        EXPECT_EQ(failure.value_or(outcome), row.outcome);
    }
}

} // namespace
} // namespace quorilanth
