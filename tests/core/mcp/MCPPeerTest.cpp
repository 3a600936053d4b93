// The client and the inspector against real MCP servers from the official SDK,
// through the real transport (curl) in Developer Mode on loopback.
#include "support/McpPeer.h"

#include "core/mcp/MCPInspector.h"
#include "core/net/HTTPInspector.h"

#include <algorithm>
#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace quorilanth {
namespace {

using ::testing::ElementsAre;
using testing::McpPeer;
using ::testing::UnorderedElementsAre;

std::shared_ptr<HTTPInspector> developerTransport() {
    return std::make_shared<HTTPInspector>(NetworkPolicy(true));
}

std::vector<std::string> toolNames(const MCPServer& server) {
    std::vector<std::string> names;
    for (const MCPTool& tool : server.tools)
        names.emplace_back(tool.name());
    return names;
}

const MCPTool& toolNamed(const MCPServer& server, std::string_view name) {
    const auto found = std::find_if(server.tools.begin(), server.tools.end(),
                                    [&](const MCPTool& tool) { return tool.name() == name; });
    if (found == server.tools.end()) throw std::runtime_error("no tool " + std::string(name));
    return *found;
}

std::vector<std::string> sentMethods(const MCPClient& client) {
    std::vector<std::string> methods;
    for (const Evidence& hop : client.evidence()) {
        methods.push_back(JSONValue::parse(hop.requestBody.value_or("null"))["method"].text());
    }
    return methods;
}

TEST(MCPPeers, EverythingServerNegotiatesLegacyWithSessionAndEventStreams) {
    McpPeer peer(McpPeer::Kind::Everything);
    MCPClient client(peer.endpoint(), developerTransport());
    const MCPServer server = MCPInspector::inspect(client);

    EXPECT_EQ(server.status, FindingStatus::valid) << ::testing::PrintToString(server.issues);
    EXPECT_EQ(server.version, "2025-11-25");
    EXPECT_EQ(server.tools.size(), 13u);
    ASSERT_TRUE(client.sessionID().has_value());
    EXPECT_THAT(sentMethods(client),
                ElementsAre("server/discover", "initialize", "notifications/initialized",
                            "tools/list", "resources/list", "resources/templates/list",
                            "prompts/list"));
    // The refused modern probe stays in the evidence.
    EXPECT_EQ(client.evidence().front().statusCode, 400);

    const JSONValue sum = client.call(toolNamed(server, "get-sum"),
                                      JSONValue::parse(R"({"a":2,"b":3})"), true, false);
    EXPECT_THAT(sum["content"][std::size_t{0}]["text"].text(), ::testing::HasSubstr("5"));
    EXPECT_EQ(client.latestEvidence()->requestHeaders.at("Mcp-Session-Id"), "[REDACTED]");
}

TEST(MCPPeers, ModernServerNegotiatesThroughDiscovery) {
    McpPeer peer(McpPeer::Kind::Modern);
    MCPClient client(peer.endpoint(), developerTransport());
    const MCPServer server = MCPInspector::inspect(client);

    EXPECT_EQ(server.status, FindingStatus::valid) << ::testing::PrintToString(server.issues);
    EXPECT_EQ(server.version, "2026-07-28");
    EXPECT_THAT(toolNames(server), ElementsAre("get_weather", "set_note"));
    EXPECT_EQ(client.sessionID(), std::nullopt);
    EXPECT_THAT(sentMethods(client), ElementsAre("server/discover", "tools/list", "resources/list",
                                                 "resources/templates/list", "prompts/list"));

    // The peer compares each Mcp-Param header with the argument it stands for,
    // so these pass only when the header encoding agrees with the SDK's.
    for (const char* region : {"eu-west", " eu", "Zürich", "=?base64?x?="}) {
        JSONValue arguments = JSONValue::emptyObject();
        arguments.set("region", region);
        const JSONValue answer =
            client.call(toolNamed(server, "get_weather"), arguments, true, false);
        EXPECT_EQ(answer["structuredContent"]["region"], JSONValue(region)) << region;
    }

    const std::size_t before = client.evidence().size();
    EXPECT_THROW(client.call(toolNamed(server, "set_note"), JSONValue::parse(R"({"text":"x"})"),
                             true, false),
                 QuorilanthError);
    EXPECT_EQ(client.evidence().size(), before);
    const JSONValue stored =
        client.call(toolNamed(server, "set_note"), JSONValue::parse(R"({"text":"x"})"), true, true);
    EXPECT_EQ(stored["content"][std::size_t{0}]["text"], JSONValue("stored: x"));
}

TEST(MCPPeers, StatelessJSONServerFallsBackToInitialize) {
    McpPeer peer(McpPeer::Kind::StatelessJSON);
    MCPClient client(peer.endpoint(), developerTransport());
    const MCPServer server = MCPInspector::inspect(client);

    EXPECT_EQ(server.status, FindingStatus::valid) << ::testing::PrintToString(server.issues);
    EXPECT_EQ(server.version, "2025-11-25");
    EXPECT_THAT(toolNames(server), ElementsAre("add", "reset_counter"));
    const JSONValue sum =
        client.call(toolNamed(server, "add"), JSONValue::parse(R"({"a":2,"b":3})"), true, false);
    EXPECT_EQ(sum["content"][std::size_t{0}]["text"], JSONValue("5"));
}

TEST(MCPPeers, APortNobodyListensOnIsUnreachable) {
    std::string endpoint;
    {
        McpPeer peer(McpPeer::Kind::StatelessJSON);
        endpoint = peer.endpoint();
    }
    MCPClient gone(endpoint, developerTransport());
    EXPECT_EQ(MCPInspector::inspect(gone).status, FindingStatus::unreachable);
}

// Forwards to the real transport and asks for a stop once a number of requests
// have been made, as the Cancel button would between two hops.
class StopAfter final : public HTTPInspecting {
public:
    StopAfter(std::shared_ptr<HTTPInspecting> inner, std::size_t requests, std::stop_source source)
        : inner_(std::move(inner)), left_(requests), source_(std::move(source)) {}

    HTTPResult request(const std::string& url, const std::string& method,
                       const HeaderFields& headers, const std::optional<std::string>& body,
                       std::stop_token stop) override {
        HTTPResult result = inner_->request(url, method, headers, body, stop);
        if (--left_ == 0) source_.request_stop();
        return result;
    }

private:
    std::shared_ptr<HTTPInspecting> inner_;
    std::atomic<std::size_t> left_;
    std::stop_source source_;
};

TEST(MCPPeers, CancellationDuringInspectionIsNotAServerVerdict) {
    McpPeer peer(McpPeer::Kind::Everything);
    std::stop_source source;
    MCPClient client(peer.endpoint(), std::make_shared<StopAfter>(developerTransport(), 4, source));
    EXPECT_THROW(MCPInspector::inspect(client, source.get_token()), Cancelled);
    EXPECT_EQ(client.evidence().size(), 4u);
}

} // namespace
} // namespace quorilanth
