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
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::failedHop;
using testing::failureOf;
using testing::kEndpoint;
using testing::result;
using testing::Scripted;

constexpr const char* kNoMatch =
    "No matching JSON-RPC 2.0 response ID, or invalid result/error envelope.";

// ---------------------------------------------------------------- headerValue

TEST(MCPClientHeaderValue, EncodesOnlyWhatAHeaderCannotCarry) {
    struct Row {
        const char* value;
        const char* sent;
    };
    const Row rows[] = {
        {"get_weather", "get_weather"},
        {"two words", "two words"},
        {"", ""},
        {" lead", "=?base64?IGxlYWQ=?="},
        {"trail\t", "=?base64?dHJhaWwJ?="},
        {"Zürich", "=?base64?WsO8cmljaA==?="},
        {"line\nbreak", "=?base64?bGluZQpicmVhaw==?="},
        {"=?base64?abc?=", "=?base64?PT9iYXNlNjQ/YWJjPz0=?="},
        {"=?base64?abc", "=?base64?abc"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(MCPClient::headerValue(row.value), row.sent) << row.value;
}

// ---------------------------------------------------------------- decodeReply

struct DecodeCase {
    const char* name;
    std::string body;
    const char* contentType;
    JSONValue expectedID;
    // The "result" of the reply chosen, as JSON text, or the failure text.
    std::string expected;
    bool fails = false;
};

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.name;
}

std::string manyEventsThenAnswer() {
    std::string body;
    for (int i = 0; i < 5000; ++i) {
        body +=
            "event: message\ndata: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/progress\"}\n\n";
    }
    return body + "data: {\"jsonrpc\":\"2.0\",\"id\":7,\"result\":\"late\"}\n\n";
}

class DecodeReply : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeReply, ChoosesTheMatchingEnvelope) {
    const DecodeCase& c = GetParam();
    const auto failure = failureOf([&] {
        const JSONValue reply = MCPClient::decodeReply(c.body, c.contentType, c.expectedID);
        EXPECT_FALSE(c.fails) << "decoded " << reply.pretty();
        if (!c.fails) {
            EXPECT_EQ(reply["result"], JSONValue::parse(c.expected));
        }
    });
    if (c.fails) {
        EXPECT_EQ(failure, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeReply,
    ::testing::Values(
        DecodeCase{"priming event then answer",
                   "id: a\ndata: \n\nevent: message\nid: b\ndata: "
                   "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{\"ok\":true}}\n\n",
                   "text/event-stream", 1, R"({"ok":true})"},
        DecodeCase{"progress without id, junk data, then answer",
                   "data: {\"jsonrpc\":\"2.0\",\"method\":\"notifications/progress\"}\n\ndata: not "
                   "json\n\n"
                   "data:{\"jsonrpc\":\"2.0\",\"id\":2,\"result\":3}\n\n",
                   "text/event-stream", 2, "3"},
        DecodeCase{"data split over lines",
                   "data: {\"jsonrpc\":\"2.0\",\ndata: \"id\":1,\"result\":[]}\n\n",
                   "text/event-stream", 1, "[]"},
        DecodeCase{"CR-only line ends",
                   "data: {}\r\rdata: {\"jsonrpc\":\"2.0\",\"id\":1,\"result\":1}\r\r",
                   "text/event-stream", 1, "1"},
        DecodeCase{"CR LF line ends", "data: {\"jsonrpc\":\"2.0\",\"id\":1,\"result\":2}\r\n\r\n",
                   "Text/Event-Stream; charset=utf-8", 1, "2"},
        DecodeCase{"thousands of events before the answer", manyEventsThenAnswer(),
                   "text/event-stream", 7, "\"late\""},
        DecodeCase{"upper-case DATA is not data",
                   "DATA: {\"jsonrpc\":\"2.0\",\"id\":1,\"result\":1}\n\n", "text/event-stream", 1,
                   kNoMatch, true},
        DecodeCase{"matching id with a bad envelope decides",
                   "data: {\"jsonrpc\":\"1.0\",\"id\":1,\"result\":1}\n\ndata: "
                   "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":2}\n\n",
                   "text/event-stream", 1, kNoMatch, true},
        DecodeCase{"event stream wins over json",
                   "data: {\"jsonrpc\":\"2.0\",\"id\":1,\"result\":5}\n\n",
                   "application/json, text/event-stream", 1, "5"},
        DecodeCase{"json with charset", R"({"jsonrpc":"2.0","id":1,"result":null})",
                   "application/json; charset=utf-8", 1, "null"},
        DecodeCase{"string id does not match a number", R"({"jsonrpc":"2.0","id":"1","result":1})",
                   "application/json", 1, kNoMatch, true},
        DecodeCase{"1.0 matches 1", R"({"jsonrpc":"2.0","id":1.0,"result":1})", "application/json",
                   1, "1"},
        DecodeCase{"result and error both", R"({"jsonrpc":"2.0","id":1,"result":1,"error":null})",
                   "application/json", 1, kNoMatch, true},
        DecodeCase{"neither result nor error", R"({"jsonrpc":"2.0","id":1})", "application/json", 1,
                   kNoMatch, true},
        DecodeCase{"a scalar body", "42", "application/json", 1, kNoMatch, true},
        DecodeCase{"html", "<html></html>", "text/html", 1,
                   "Expected application/json or text/event-stream.", true},
        DecodeCase{"no content type", "{}", "", 1,
                   "Expected application/json or text/event-stream.", true}));

TEST(MCPClientDecodeReply, JSONThatDoesNotParseRaisesTheParseError) {
    EXPECT_THROW(MCPClient::decodeReply("{\"jsonrpc\":", "application/json", JSONValue(1)),
                 JSONParseError);
}

// ---------------------------------------------------------------- exchange rules

struct ExchangeCase {
    const char* name;
    Evidence reply;
    std::string failure;
};

void PrintTo(const ExchangeCase& c, std::ostream* out) {
    *out << c.name;
}

Evidence truncatedReply() {
    Evidence hop = result(1, R"({"tools":[]})");
    hop.truncated = true;
    return hop;
}

Evidence withError(Evidence hop, std::string error) {
    hop.error = std::move(error);
    return hop;
}

const std::string kRPC = R"({"jsonrpc":"2.0","id":1,"error":)";

class ExchangeRules : public ::testing::TestWithParam<ExchangeCase> {};

// A request made without permission to receive an error answer (a list) gives
// the first failure in the fixed order, and its evidence is kept all the same.
TEST_P(ExchangeRules, FirstFailingRuleNamesTheFailure) {
    Scripted f;
    f.push(GetParam().reply);
    EXPECT_EQ(failureOf([&] { f.client.list("tools/list", "tools"); }), GetParam().failure);
    EXPECT_EQ(f.client.evidence().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExchangeRules,
    ::testing::Values(
        ExchangeCase{"401", answer(401, "text/html", "no"), "Authentication required (HTTP 401)."},
        ExchangeCase{"403 before a valid envelope", result(1, R"({"tools":[]})", 403),
                     "Authentication required (HTTP 403)."},
        ExchangeCase{"reply beyond the byte limit", truncatedReply(),
                     "MCP response exceeds byte limit."},
        ExchangeCase{"transport failure", failedHop("Couldn't connect to server"),
                     "Couldn't connect to server"},
        ExchangeCase{"html page", answer(404, "text/html", "<h1>404</h1>"),
                     "Invalid MCP response: Expected application/json or text/event-stream."},
        ExchangeCase{"numeric code",
                     answer(200, "application/json", kRPC + R"({"code":-32601,"message":"bad"}})"),
                     "MCP -32601: bad"},
        ExchangeCase{"string code",
                     answer(200, "application/json", kRPC + R"({"code":"E1","message":"bad"}})"),
                     "MCP E1: bad"},
        ExchangeCase{"no message", answer(200, "application/json", kRPC + R"({"code":-32601}})"),
                     "MCP -32601: null"},
        ExchangeCase{"error as a string", answer(200, "application/json", kRPC + R"("boom"})"),
                     "MCP null: null"},
        ExchangeCase{"huge code",
                     answer(200, "application/json", kRPC + R"({"code":1e300,"message":"m"}})"),
                     "MCP " + JSONValue(1e300).pretty() + ": m"},
        ExchangeCase{"500 with a valid envelope", result(1, R"({"tools":[]})", 500),
                     "MCP request failed: HTTP 500."},
        ExchangeCase{"200 with a transport error",
                     withError(result(1, R"({"tools":[]})"), "Redirect limit reached."),
                     "Redirect limit reached."},
        ExchangeCase{"string id",
                     answer(200, "application/json", R"({"jsonrpc":"2.0","id":"1","result":{}})"),
                     std::string("Invalid MCP response: ") + kNoMatch}));

// ---------------------------------------------------------------- envelope and headers

TEST(MCPClientExchange, ModernRequestCarriesMetaAndMethodHeaders) {
    Scripted f;
    Evidence reply = result(1, R"({"tools":[]})");
    reply.responseHeaders["mcp-session-id"] = "ignored";
    f.push(reply);
    f.client.list("tools/list", "tools");

    const auto sent = f.sent().at(0);
    EXPECT_EQ(sent.url, kEndpoint);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.headers, (HeaderFields{{"Accept", "application/json, text/event-stream"},
                                          {"Content-Type", "application/json"},
                                          {"MCP-Protocol-Version", "2026-07-28"},
                                          {"Mcp-Method", "tools/list"}}));
    EXPECT_EQ(f.envelope(0), JSONValue::parse(R"({"jsonrpc":"2.0","id":1,"method":"tools/list",
        "params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",
                           "io.modelcontextprotocol/clientInfo":{"name":"Quorilanth","version":"0.1.0"},
                           "io.modelcontextprotocol/clientCapabilities":{}}}})"));
    EXPECT_EQ(sent.body, f.envelope(0).pretty());
    EXPECT_EQ(f.client.sessionID(), std::nullopt);
}

TEST(MCPClientExchange, LegacySessionIsKeptAndSentBackAndIdsCountNotifications) {
    Scripted f;
    f.pushAll({
        answer(404, "text/html", "<p>no</p>"),
        answer(
            200, "application/json",
            R"({"jsonrpc":"2.0","id":2,"result":{"protocolVersion":"2025-11-25","capabilities":{"tools":{}}}})",
            {{"mcp-session-id", "S-1"}}),
        accepted(),
        result(4, R"({"tools":[]})"),
    });
    f.client.connect();
    f.client.list("tools/list", "tools");

    EXPECT_EQ(f.client.sessionID(), "S-1");
    ASSERT_EQ(f.sent().size(), 4u);
    const auto initialize = f.sent()[1];
    EXPECT_EQ(initialize.headers.at("MCP-Protocol-Version"), "2025-11-25");
    EXPECT_FALSE(initialize.headers.contains("Mcp-Method"));
    EXPECT_FALSE(initialize.headers.contains("Mcp-Session-Id"));
    EXPECT_EQ(f.envelope(1)["params"], JSONValue::parse(R"({"protocolVersion":"2025-11-25",
        "capabilities":{},"clientInfo":{"name":"Quorilanth","version":"0.1.0"}})"));
    EXPECT_EQ(f.sent()[2].headers.at("Mcp-Session-Id"), "S-1");
    EXPECT_EQ(f.envelope(2).find("id"), nullptr);
    EXPECT_EQ(f.envelope(3)["id"], JSONValue(4));
    EXPECT_EQ(f.sent()[3].headers.at("Mcp-Session-Id"), "S-1");
    EXPECT_EQ(f.client.sequence(), 4);
    EXPECT_EQ(f.client.drainEvidence().size(), 4u);
    EXPECT_TRUE(f.client.evidence().empty());
    EXPECT_EQ(f.client.latestEvidence(), std::nullopt);
}

// ---------------------------------------------------------------- connect

struct ConnectCase {
    const char* name;
    std::vector<Evidence> script;
    std::string versionOrFailure;
    std::vector<std::string> methods;
    bool fails = false;
};

void PrintTo(const ConnectCase& c, std::ostream* out) {
    *out << c.name;
}

const std::vector<std::string> kDiscover{"server/discover"};
const std::vector<std::string> kHandshake{"server/discover", "initialize",
                                          "notifications/initialized"};

Evidence initializeResult(const std::string& body) {
    return result(2, body);
}

class Connect : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(Connect, NegotiatesOrRefuses) {
    const ConnectCase& c = GetParam();
    Scripted f;
    f.pushAll(c.script);
    std::optional<MCPServer> server;
    const auto failure = failureOf([&] { server = f.client.connect(); });
    if (c.fails) {
        EXPECT_EQ(failure, c.versionOrFailure);
    } else {
        ASSERT_EQ(failure, std::nullopt);
        EXPECT_EQ(server->version, c.versionOrFailure);
        EXPECT_EQ(f.client.version(), c.versionOrFailure);
        EXPECT_EQ(server->status, FindingStatus::valid);
        EXPECT_EQ(server->url, kEndpoint);
    }
    EXPECT_EQ(f.methods(), c.methods);
    EXPECT_EQ(f.client.evidence().size(), c.methods.size());
}

const std::string kLegacy = R"({"protocolVersion":"2025-11-25","capabilities":{}})";

INSTANTIATE_TEST_SUITE_P(
    Cases, Connect,
    ::testing::Values(
        ConnectCase{
            "modern among other versions",
            {result(1, R"({"supportedVersions":["2025-06-18","2026-07-28"],"capabilities":{}})")},
            "2026-07-28",
            kDiscover},
        ConnectCase{"modern without capabilities",
                    {result(1, R"({"supportedVersions":["2026-07-28"]})")},
                    "Invalid MCP response: capabilities must be an object.",
                    kDiscover,
                    true},
        ConnectCase{"offers only an older version",
                    {result(1, R"({"supportedVersions":["2025-06-18"]})")},
                    "UNSUPPORTED: server offers " + JSONValue::parse(R"(["2025-06-18"])").pretty(),
                    kDiscover,
                    true},
        ConnectCase{"refused modern negotiation",
                    {answer(400, "application/json", kRPC + R"({"code":-32021,"message":"no"}})")},
                    "UNSUPPORTED: modern MCP negotiation: " +
                        JSONValue::parse(R"({"code":-32021,"message":"no"})").pretty(),
                    kDiscover,
                    true},
        ConnectCase{"method not found falls back",
                    {answer(200, "application/json", kRPC + R"({"code":-32601,"message":"nf"}})"),
                     initializeResult(R"({"protocolVersion":"2025-03-26","capabilities":{}})"),
                     accepted()},
                    "2025-03-26",
                    kHandshake},
        ConnectCase{"huge error code falls back",
                    {answer(200, "application/json", kRPC + R"({"code":-1e300}})"),
                     initializeResult(kLegacy), accepted()},
                    "2025-11-25",
                    kHandshake},
        ConnectCase{"html 404 falls back",
                    {answer(404, "text/html", "<p>"), initializeResult(kLegacy), accepted()},
                    "2025-11-25",
                    kHandshake},
        ConnectCase{"bad request from a legacy server falls back",
                    {answer(400, "application/json",
                            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000}})"),
                     initializeResult(kLegacy), accepted()},
                    "2025-11-25",
                    kHandshake},
        ConnectCase{"server error does not fall back",
                    {answer(500, "text/html", "<p>")},
                    "Invalid MCP response: Expected application/json or text/event-stream.",
                    kDiscover,
                    true},
        ConnectCase{"401 on discovery",
                    {answer(401, "application/json", "{}")},
                    "Authentication required (HTTP 401).",
                    kDiscover,
                    true},
        ConnectCase{"unknown legacy version",
                    {answer(404, "", ""),
                     initializeResult(R"({"protocolVersion":"2024-11-05","capabilities":{}})")},
                    "UNSUPPORTED: protocol version 2024-11-05",
                    {"server/discover", "initialize"},
                    true},
        ConnectCase{"missing legacy version",
                    {answer(404, "", ""), initializeResult(R"({"capabilities":{}})")},
                    "UNSUPPORTED: protocol version null",
                    {"server/discover", "initialize"},
                    true},
        ConnectCase{"initialize error is thrown",
                    {answer(404, "", ""),
                     answer(200, "application/json",
                            R"({"jsonrpc":"2.0","id":2,"error":{"code":-1,"message":"x"}})")},
                    "MCP -1: x",
                    {"server/discover", "initialize"},
                    true},
        ConnectCase{"legacy without capabilities fails after the notification",
                    {answer(404, "", ""), initializeResult(R"({"protocolVersion":"2025-11-25"})"),
                     accepted()},
                    "Invalid MCP response: capabilities must be an object.",
                    kHandshake,
                    true},
        ConnectCase{"notification answered 200",
                    {answer(404, "", ""), initializeResult(kLegacy), answer(200, "", "")},
                    "Invalid initialized acknowledgment: expected HTTP 202 and empty body.",
                    kHandshake,
                    true},
        ConnectCase{
            "notification answered with a body",
            {answer(404, "", ""), initializeResult(kLegacy), answer(202, "text/plain", "ok")},
            "Invalid initialized acknowledgment: expected HTTP 202 and empty body.",
            kHandshake,
            true},
        ConnectCase{
            "notification body of blanks",
            {answer(404, "", ""), initializeResult(kLegacy), answer(202, "", " \r\n\t\xC2\xA0")},
            "2025-11-25",
            kHandshake}));

TEST(MCPClientConnect, TakesServerInfoFromTheEraItNegotiated) {
    Scripted modern;
    modern.push(result(1, R"({"supportedVersions":["2026-07-28"],"capabilities":{"tools":{}},
        "serverInfo":{"name":"wrong"},"_meta":{"io.modelcontextprotocol/serverInfo":{"name":"m"}}})"));
    EXPECT_EQ(modern.client.connect().info, JSONValue::parse(R"({"name":"m"})"));

    Scripted legacy;
    legacy.pushAll(
        {answer(404, "", ""),
         initializeResult(
             R"({"protocolVersion":"2025-06-18","capabilities":{},"serverInfo":{"name":"l"}})"),
         accepted()});
    const MCPServer server = legacy.client.connect();
    EXPECT_EQ(server.info, JSONValue::parse(R"({"name":"l"})"));
    EXPECT_EQ(server.capabilities, JSONValue::emptyObject());
    EXPECT_GE(server.latencyMS, 0);
}

// ---------------------------------------------------------------- list

struct Page {
    int items;
    std::optional<std::string> cursor;
};

struct ListCase {
    const char* name;
    std::vector<Page> pages;
    std::string countOrFailure;
    bool fails = false;
};

void PrintTo(const ListCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<Page> pagesWithCursors(int count, bool lastHasCursor) {
    std::vector<Page> pages;
    for (int i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        pages.push_back({1, !last || lastHasCursor
                                ? std::optional<std::string>("c" + std::to_string(i))
                                : std::nullopt});
    }
    return pages;
}

class List : public ::testing::TestWithParam<ListCase> {};

TEST_P(List, ReadsToTheEndWithinTheLimits) {
    const ListCase& c = GetParam();
    Scripted f;
    for (std::size_t i = 0; i < c.pages.size(); ++i) {
        JSONValue page = JSONValue::emptyObject();
        JSONValue::Array items;
        for (int n = 0; n < c.pages[i].items; ++n)
            items.push_back(JSONValue::parse(R"({"name":"t"})"));
        page.set("tools", JSONValue(std::move(items)));
        if (c.pages[i].cursor) page.set("nextCursor", *c.pages[i].cursor);
        f.push(result(static_cast<int>(i) + 1, page.pretty()));
    }
    std::vector<JSONValue> items;
    const auto failure = failureOf([&] { items = f.client.list("tools/list", "tools"); });
    if (c.fails) {
        EXPECT_EQ(failure, c.countOrFailure);
    } else {
        EXPECT_EQ(failure, std::nullopt);
        EXPECT_EQ(std::to_string(items.size()), c.countOrFailure);
    }
    // Every follow-up asks for the cursor of the page before it.
    for (std::size_t i = 1; i < f.sent().size(); ++i) {
        EXPECT_EQ(f.envelope(i)["params"]["cursor"], JSONValue(*c.pages[i - 1].cursor));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, List,
    ::testing::Values(ListCase{"twenty pages", pagesWithCursors(20, false), "20"},
                      ListCase{"a twenty-first page is not asked for", pagesWithCursors(20, true),
                               "tools/list: page limit reached.", true},
                      ListCase{"repeated cursor",
                               {{1, "a"}, {1, "b"}, {1, "a"}, {1, {}}},
                               "tools/list: repeated pagination cursor.",
                               true},
                      ListCase{"empty cursor is followed", {{1, ""}, {2, {}}}, "3"},
                      ListCase{"empty cursor repeated",
                               {{1, ""}, {1, ""}},
                               "tools/list: repeated pagination cursor.",
                               true},
                      ListCase{"1000 items", {{1000, {}}}, "1000"},
                      ListCase{"1001 items on the last page",
                               {{1000, "n"}, {1, {}}},
                               "tools/list: item limit reached.",
                               true}));

TEST(MCPClientList, RefusesAPageWithoutTheArray) {
    const char* results[] = {R"({})", R"({"tools":{}})", R"({"items":[]})", R"([])", "null"};
    for (const char* body : results) {
        Scripted f;
        f.push(result(1, body));
        EXPECT_EQ(failureOf([&] { f.client.list("tools/list", "tools"); }),
                  "Invalid tools/list: missing tools array.")
            << body;
    }
}

// ---------------------------------------------------------------- call

MCPTool tool(const std::string& definition, const std::string& server = kEndpoint) {
    return MCPTool(server, JSONValue::parse(definition));
}

const std::string kReadOnly =
    R"({"name":"get_weather","annotations":{"readOnlyHint":true},"inputSchema":{"type":"object",
        "properties":{"region":{"type":"string","x-mcp-header":"Region"}}}})";

TEST(MCPClientCall, RefusesBeforeSendingAnything) {
    struct Row {
        const char* name;
        MCPTool tool;
        JSONValue arguments;
        bool approved;
        bool confirmed;
        std::string failure;
    };
    const Row rows[] = {
        {"not approved", tool(kReadOnly), JSONValue::emptyObject(), false, true,
         "Tool invocation requires an explicit RUN action."},
        {"no annotations", tool(R"({"name":"t","inputSchema":{}})"), JSONValue::emptyObject(), true,
         false, "UNKNOWN tool requires explicit confirmation."},
        {"mutating", tool(R"({"name":"t","annotations":{"destructiveHint":true}})"),
         JSONValue::emptyObject(), true, false, "MUTATING tool requires explicit confirmation."},
        {"other server", tool(kReadOnly, "http://other/mcp"), JSONValue::emptyObject(), true, true,
         "Tool belongs to a different server."},
        {"two schema failures",
         tool(R"({"name":"t","annotations":{"readOnlyHint":true},"inputSchema":{
             "required":["b"],"properties":{"a":{"type":"string"}}}})"),
         JSONValue::parse(R"({"a":1})"), true, false, "$.b: required\n$.a: expected string"},
        {"unsupported keyword", tool(R"({"name":"t","inputSchema":{"if":{}}})"),
         JSONValue::emptyObject(), true, true, "$: unsupported keyword if"},
        {"bad annotation",
         tool(
             R"({"name":"t","inputSchema":{"properties":{"a":{"type":"number","x-mcp-header":"A"}}}})"),
         JSONValue::emptyObject(), true, true, "Invalid x-mcp-header annotation: A"},
    };
    for (const Row& row : rows) {
        Scripted f;
        EXPECT_EQ(
            failureOf([&] { f.client.call(row.tool, row.arguments, row.approved, row.confirmed); }),
            row.failure)
            << row.name;
        EXPECT_TRUE(f.sent().empty()) << row.name;
        EXPECT_TRUE(f.client.evidence().empty()) << row.name;
    }
}

TEST(MCPClientCall, SendsNameArgumentsAndParameterHeaders) {
    Scripted f;
    f.push(result(1, R"({"content":[]})"));
    const JSONValue answer =
        f.client.call(tool(kReadOnly), JSONValue::parse(R"({"region":" eu"})"), true, false);
    EXPECT_EQ(answer, JSONValue::parse(R"({"content":[]})"));
    const auto headers = f.sent().at(0).headers;
    EXPECT_EQ(headers.at("Mcp-Name"), "get_weather");
    EXPECT_EQ(headers.at("Mcp-Param-Region"), "=?base64?IGV1?=");
    EXPECT_EQ(f.envelope(0)["params"]["arguments"], JSONValue::parse(R"({"region":" eu"})"));
}

TEST(MCPClientCall, ChecksTheAnswerAndKeepsItsEvidence) {
    struct Row {
        Evidence reply;
        std::optional<std::string> failure;
    };
    const Row rows[] = {
        {result(1, R"({"content":[]})"), std::nullopt},
        {result(1, R"({"structuredContent":{}})"), std::nullopt},
        {result(1, R"({"structuredContent":null})"),
         "Invalid tool result: missing content/structuredContent."},
        {result(1, R"({"content":{}})"), "Invalid tool result: missing content/structuredContent."},
        {result(1, R"({"resultType":"input_required","content":[]})"),
         "UNSUPPORTED: this tool requires multi-round input/authorization. The request and "
         "response remain in RAW."},
        {result(1, R"({"content":[]})", 403), "Authentication required (HTTP 403)."},
        {answer(401, "text/html", "login"), "Authentication required (HTTP 401)."},
    };
    for (const Row& row : rows) {
        Scripted f;
        f.push(row.reply);
        EXPECT_EQ(failureOf([&] {
                      f.client.call(tool(kReadOnly), JSONValue::emptyObject(), true, false);
                  }),
                  row.failure)
            << row.reply.responseBody.view();
        EXPECT_EQ(f.client.evidence().size(), 1u);
    }
}

// ---------------------------------------------------------------- parameterHeaders

struct HeaderCase {
    const char* name;
    std::string schema;
    const char* arguments;
    HeaderFields headers;
    std::string failure = "";
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.name;
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

class ParameterHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ParameterHeaders, BuildsOrRefuses) {
    const HeaderCase& c = GetParam();
    HeaderFields headers;
    const auto failure = failureOf([&] {
        headers =
            MCPClient::parameterHeaders(JSONValue::parse(c.schema), JSONValue::parse(c.arguments));
    });
    EXPECT_EQ(failure.value_or(""), c.failure);
    EXPECT_EQ(headers, c.headers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParameterHeaders,
    ::testing::Values(
        HeaderCase{"string value",
                   annotated("\"string\""),
                   R"({"region":"eu-west"})",
                   {{"Mcp-Param-Region", "eu-west"}}},
        HeaderCase{"absent argument", annotated("\"string\""), "{}", {}},
        HeaderCase{"largest safe integer",
                   annotated("\"integer\""),
                   R"({"region":9007199254740991})",
                   {{"Mcp-Param-Region", "9007199254740991"}}},
        HeaderCase{"beyond the safe integers",
                   annotated("\"integer\""),
                   R"({"region":9007199254740992})",
                   {},
                   "x-mcp-header integer exceeds safe integer range."},
        HeaderCase{"far beyond, negative",
                   annotated("\"string\""),
                   R"({"region":-1e300})",
                   {},
                   "x-mcp-header integer exceeds safe integer range."},
        HeaderCase{"boolean",
                   annotated("\"boolean\""),
                   R"({"region":true})",
                   {{"Mcp-Param-Region", "true"}}},
        HeaderCase{"non-ASCII value",
                   annotated("\"string\""),
                   R"({"region":"Zürich"})",
                   {{"Mcp-Param-Region", "=?base64?WsO8cmljaA==?="}}},
        HeaderCase{"number type",
                   annotated("\"number\""),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Region"},
        HeaderCase{"type list",
                   annotated(R"(["string","null"])"),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Region"},
        HeaderCase{"no type",
                   R"({"properties":{"a":{"x-mcp-header":"A"}}})",
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: A"},
        HeaderCase{
            "duplicate ignoring case",
            R"({"properties":{"a":{"type":"string","x-mcp-header":"Region"},"b":{"type":"string","x-mcp-header":"region"}}})",
            "{}",
            {},
            "Invalid x-mcp-header annotation: region"},
        HeaderCase{
            "inside items",
            R"({"properties":{"a":{"type":"array","items":{"type":"string","x-mcp-header":"I"}}}})",
            "{}",
            {},
            "Invalid x-mcp-header annotation: I"},
        HeaderCase{"inside definitions",
                   R"({"$defs":{"d":{"type":"string","x-mcp-header":"D"}}})",
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: D"},
        HeaderCase{"inside anyOf",
                   R"({"anyOf":[{"type":"string","x-mcp-header":"Y"}]})",
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Y"},
        HeaderCase{"space in the name",
                   annotated("\"string\"", "Re gion"),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Re gion"},
        HeaderCase{"colon in the name",
                   annotated("\"string\"", "Re:gion"),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Re:gion"},
        HeaderCase{"empty name",
                   annotated("\"string\"", ""),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: "},
        HeaderCase{"non-ASCII name",
                   annotated("\"string\"", "Régión"),
                   "{}",
                   {},
                   "Invalid x-mcp-header annotation: Régión"},
        HeaderCase{"annotation that is not a string is ignored",
                   R"({"properties":{"a":{"type":"number","x-mcp-header":7}}})",
                   "{}",
                   {}},
        HeaderCase{
            "nested object parameter",
            R"({"properties":{"o":{"type":"object","properties":{"k":{"type":"string","x-mcp-header":"K"}}}}})",
            R"({"o":{"k":"v"}})",
            {{"Mcp-Param-K", "v"}}},
        HeaderCase{"annotation at depth 39",
                   nested(39, R"({"type":"string","x-mcp-header":"Deep"})"),
                   "{}",
                   {}},
        HeaderCase{"depth 40", nested(40, "{}"), "{}", {}, "Schema depth limit."}));

} // namespace
} // namespace quorilanth
