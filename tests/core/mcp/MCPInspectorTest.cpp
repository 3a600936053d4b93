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

using testing::accepted;
using testing::answer;
using ::testing::ElementsAreArray;
using testing::failedHop;
using testing::kEndpoint;
using testing::result;
using testing::Scripted;

Evidence discovered(const std::string& capabilities) {
    return result(1, R"({"supportedVersions":["2026-07-28"],"capabilities":)" + capabilities + "}");
}

Evidence page(int id, const std::string& key, const std::string& items) {
    return result(id, "{\"" + key + "\":" + items + "}");
}

struct InspectCase {
    const char* name;
    std::vector<Evidence> script;
    FindingStatus status;
    std::vector<std::string> issues;
    std::vector<std::string> tools;
    std::vector<std::string> methods;
};

void PrintTo(const InspectCase& c, std::ostream* out) {
    *out << c.name;
}

const std::string kAnnotatedInItems =
    R"({"name":"deep","inputSchema":{"properties":{"list":{"type":"array","items":{"type":"string","x-mcp-header":"Item"}}}}})";

class Inspect : public ::testing::TestWithParam<InspectCase> {};

TEST_P(Inspect, BuildsOneRecordWithoutThrowing) {
    const InspectCase& c = GetParam();
    Scripted f;
    f.pushAll(c.script);
    const MCPServer server = MCPInspector::inspect(f.client);

    EXPECT_EQ(server.url, kEndpoint);
    EXPECT_EQ(server.status, c.status);
    EXPECT_THAT(server.issues, ElementsAreArray(c.issues));
    std::vector<std::string> names;
    for (const MCPTool& tool : server.tools) {
        EXPECT_EQ(tool.serverURL, kEndpoint);
        names.emplace_back(tool.name());
    }
    EXPECT_THAT(names, ElementsAreArray(c.tools));
    EXPECT_THAT(f.methods(), ElementsAreArray(c.methods));
}

const std::vector<std::string> kLegacyStart{"server/discover", "initialize"};

INSTANTIATE_TEST_SUITE_P(
    Cases, Inspect,
    ::testing::Values(
        InspectCase{"empty capabilities",
                    {discovered("{}")},
                    FindingStatus::valid,
                    {},
                    {},
                    {"server/discover"}},
        InspectCase{
            "resources without templates",
            {discovered(R"({"resources":false})"), page(2, "resources", R"([{"uri":"a://b"}])"),
             answer(
                 200, "application/json",
                 R"({"jsonrpc":"2.0","id":3,"error":{"code":-32601,"message":"Method not found"}})")},
            FindingStatus::valid,
            {"MCP -32601: Method not found"},
            {},
            {"server/discover", "resources/list", "resources/templates/list"}},
        InspectCase{
            "duplicate, nameless, schemaless and badly annotated tools",
            {discovered(R"({"tools":null})"),
             page(2, "tools",
                  R"([{"name":"a","inputSchema":{}},{"name":"a","inputSchema":{"type":"object"}},
                              {"name":"","inputSchema":{}},{"name":"b"},{"name":"b","inputSchema":{}},
                              "c",)" +
                      kAnnotatedInItems + "]")},
            FindingStatus::valid,
            {"Invalid or duplicate tool definition.", "Invalid or duplicate tool definition.",
             "Invalid or duplicate tool definition.", "Invalid or duplicate tool definition.",
             "Invalid or duplicate tool definition.",
             "deep: Invalid x-mcp-header annotation: Item"},
            {"a"},
            {"server/discover", "tools/list"}},
        InspectCase{
            "tool list refused with 401 ends the inspection",
            {discovered(R"({"tools":{},"resources":{},"prompts":{}})"), answer(401, "", "")},
            FindingStatus::found,
            {"Authentication required (HTTP 401)."},
            {},
            {"server/discover", "tools/list"}},
        InspectCase{"tool list with a bad page",
                    {discovered(R"({"tools":{}})"), page(2, "tools", "{}")},
                    FindingStatus::invalid,
                    {"Invalid tools/list: missing tools array."},
                    {},
                    {"server/discover", "tools/list"}},
        InspectCase{"prompts refused with 403 leave the server valid",
                    {discovered(R"({"prompts":{}})"), answer(403, "", "")},
                    FindingStatus::valid,
                    {"Authentication required (HTTP 403)."},
                    {},
                    {"server/discover", "prompts/list"}},
        InspectCase{"unreachable",
                    {failedHop("Failed to connect to 127.0.0.1 port 9: Connection refused")},
                    FindingStatus::unreachable,
                    {"Failed to connect to 127.0.0.1 port 9: Connection refused"},
                    {},
                    {"server/discover"}},
        InspectCase{"blocked by the policy",
                    {failedHop("Blocked: private or local network address.")},
                    FindingStatus::blocked,
                    {"Blocked: private or local network address."},
                    {},
                    {"server/discover"}},
        InspectCase{"404 to every request",
                    {answer(404, "text/html", "<p>")},
                    FindingStatus::notFound,
                    {"Invalid MCP response: Expected application/json or text/event-stream."},
                    {},
                    kLegacyStart},
        InspectCase{"401 on discovery",
                    {answer(401, "", "")},
                    FindingStatus::found,
                    {"Authentication required (HTTP 401)."},
                    {},
                    {"server/discover"}},
        InspectCase{"401 on the initialized notification",
                    {answer(404, "", ""),
                     result(2, R"({"protocolVersion":"2025-11-25","capabilities":{}})"),
                     answer(401, "", "")},
                    FindingStatus::found,
                    {"Invalid initialized acknowledgment: expected HTTP 202 and empty body."},
                    {},
                    {"server/discover", "initialize", "notifications/initialized"}},
        InspectCase{
            "401 on the resource templates",
            {discovered(R"({"resources":{}})"), page(2, "resources", "[]"), answer(401, "", "")},
            FindingStatus::valid,
            {"Authentication required (HTTP 401)."},
            {},
            {"server/discover", "resources/list", "resources/templates/list"}},
        InspectCase{"403 on initialize",
                    {answer(404, "", ""), answer(403, "", "")},
                    FindingStatus::found,
                    {"Authentication required (HTTP 403)."},
                    {},
                    kLegacyStart},
        InspectCase{"refused modern negotiation",
                    {answer(400, "application/json",
                            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32022}})")},
                    FindingStatus::unsupported,
                    {"UNSUPPORTED: modern MCP negotiation: " +
                     JSONValue::parse(R"({"code":-32022})").pretty()},
                    {},
                    {"server/discover"}},
        InspectCase{
            "initialize without capabilities",
            {answer(404, "", ""), result(2, R"({"protocolVersion":"2025-11-25"})"), accepted()},
            FindingStatus::invalid,
            {"Invalid MCP response: capabilities must be an object."},
            {},
            {"server/discover", "initialize", "notifications/initialized"}}));

TEST(MCPInspector, KeepsNegotiatedHeaderDataAndInventories) {
    Scripted f;
    f.pushAll(
        {result(
             1,
             R"({"supportedVersions":["2026-07-28"],"capabilities":{"tools":{},"resources":{},"prompts":{}},
                             "_meta":{"io.modelcontextprotocol/serverInfo":{"name":"s"}}})"),
         page(2, "tools", R"([{"name":"t","inputSchema":{"type":"object"}}])"),
         page(3, "resources", R"([{"uri":"r://1"}])"),
         page(4, "resourceTemplates", R"([{"uriTemplate":"r://{x}"}])"),
         page(5, "prompts", R"([{"name":"p"}])")});
    const MCPServer server = MCPInspector::inspect(f.client);
    EXPECT_EQ(server.status, FindingStatus::valid);
    EXPECT_EQ(server.version, "2026-07-28");
    EXPECT_EQ(server.info, JSONValue::parse(R"({"name":"s"})"));
    ASSERT_EQ(server.tools.size(), 1u);
    EXPECT_EQ(server.tools[0].definition,
              JSONValue::parse(R"({"name":"t","inputSchema":{"type":"object"}})"));
    EXPECT_THAT(server.resources, ElementsAreArray({JSONValue::parse(R"({"uri":"r://1"})")}));
    EXPECT_THAT(server.resourceTemplates,
                ElementsAreArray({JSONValue::parse(R"({"uriTemplate":"r://{x}"})")}));
    EXPECT_THAT(server.prompts, ElementsAreArray({JSONValue::parse(R"({"name":"p"})")}));
    EXPECT_TRUE(server.issues.empty());
    EXPECT_EQ(f.client.evidence().size(), 5u);
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
            hop.responseBody = R"({"jsonrpc":"2.0","id":)" + std::to_string(n + 1) +
                               R"(,"result":)" + replies.at(n) + "}";
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
