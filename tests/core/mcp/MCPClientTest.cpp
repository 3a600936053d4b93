#include "core/mcp/MCPClient.h"

#include "ScriptedTransport.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::answer;
using testing::failureOf;
using testing::kEndpoint;
using testing::result;
using testing::rpc;
using testing::Scripted;

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

// Refusals come before anything is sent; an answer, good or bad, is kept as evidence.
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
        {tool(R"({"name":"t","annotations":{"destructiveHint":true}})"), true, false,
         "MUTATING tool requires explicit confirmation."},
        {tool(kReadOnly, "http://other/mcp"), true, true, "Tool belongs to a different server."},
        {tool(R"({"name":"t","inputSchema":{"required":["b","c"]}})"), true, true,
         "$.b: required\n$.c: required"},
        {tool(R"({"name":"t","inputSchema":{"if":{}}})"), true, true, "$: unsupported keyword if"},
        {tool(
             R"({"name":"t","inputSchema":{"properties":{"a":{"type":"number","x-mcp-header":"A"}}}})"),
         true, true, "Invalid x-mcp-header annotation: A"},
        {unknown, true, true, std::nullopt, result(1, R"({"structuredContent":{}})")},
        {unknown, true, true, missing, result(1, R"({"structuredContent":null})")},
        {unknown, true, true, missing, result(1, R"({"content":{}})")},
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
        {annotated(str, "Régión"), "{}", bad + "Régión"},
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

} // namespace
} // namespace quorilanth
