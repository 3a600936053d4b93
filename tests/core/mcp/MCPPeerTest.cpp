// The client and the inspector against real MCP servers from the official SDK,
// through the real transport (curl) in Developer Mode on loopback.
#include "support/McpPeer.h"

#include "core/mcp/MCPInspector.h"
#include "core/net/HTTPInspector.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::McpPeer;

std::shared_ptr<HTTPInspecting> developerTransport() {
    return std::make_shared<HTTPInspector>(NetworkPolicy(true));
}

// A peer, inspected through a client of its own.
struct Inspected {
    McpPeer peer;
    MCPClient client;
    MCPServer server;
    explicit Inspected(McpPeer::Kind kind)
        : peer(kind), client(peer.endpoint(), developerTransport()),
          server(MCPInspector::inspect(client)) {}

    std::string methods() const {
        std::string names;
        for (const Evidence& hop : client.evidence())
            names += (names.empty() ? "" : " ") +
                     JSONValue::parse(hop.requestBody.value_or("null"))["method"].text();
        return names;
    }
    JSONValue call(std::string_view name, const std::string& arguments, bool confirmed = false) {
        const auto tool = std::find_if(server.tools.begin(), server.tools.end(),
                                       [&](const MCPTool& t) { return t.name() == name; });
        if (tool == server.tools.end()) throw std::runtime_error("no tool " + std::string(name));
        return client.call(*tool, JSONValue::parse(arguments), true, confirmed);
    }
};

TEST(MCPPeers, EachServerNegotiatesListsEverythingAndRunsATool) {
    const struct {
        McpPeer::Kind kind;
        const char* version;
        const char* methods;
        std::size_t tools;
        const char *tool, *arguments, *answer;
    } peers[] = {
        // Legacy with a session and event streams; a refused modern probe stays in the evidence.
        {McpPeer::Kind::Everything, "2025-11-25",
         "server/discover initialize notifications/initialized tools/list resources/list "
         "resources/templates/list prompts/list",
         13, "get-sum", R"({"a":2,"b":3})", "The sum of 2 and 3 is 5."},
        {McpPeer::Kind::Modern, "2026-07-28",
         "server/discover tools/list resources/list resources/templates/list prompts/list", 2,
         "get_weather", R"({"region":"eu-west"})", "eu-west"},
        // Stateless plain JSON: falls back to initialize.
        {McpPeer::Kind::StatelessJSON, "2025-11-25",
         "server/discover initialize notifications/initialized tools/list prompts/list", 2, "add",
         R"({"a":2,"b":3})", "5"},
    };
    for (const auto& p : peers) {
        Inspected inspected(p.kind);
        const MCPServer& server = inspected.server;
        EXPECT_EQ(server.status, FindingStatus::valid) << ::testing::PrintToString(server.issues);
        EXPECT_EQ(server.version, p.version);
        EXPECT_EQ(server.tools.size(), p.tools);
        EXPECT_EQ(inspected.methods(), p.methods);
        const bool legacy = p.kind == McpPeer::Kind::Everything;
        EXPECT_EQ(inspected.client.sessionID().has_value(), legacy);
        EXPECT_EQ(inspected.client.evidence().front().statusCode == 400,
                  p.kind != McpPeer::Kind::Modern);
        const JSONValue answer = inspected.call(p.tool, p.arguments);
        EXPECT_NE(answer.pretty().find(p.answer), std::string::npos) << answer.pretty();
        EXPECT_EQ(inspected.client.latestEvidence()->requestHeaders.contains("Mcp-Session-Id") &&
                      inspected.client.latestEvidence()->requestHeaders.at("Mcp-Session-Id") ==
                          "[REDACTED]",
                  legacy);
    }
}

// The peer compares each Mcp-Param header with the argument it stands for, so
// these pass only when the header encoding agrees with the SDK's; a mutating
// tool runs only when confirmed, and is refused before anything is sent.
TEST(MCPPeers, ParameterHeadersAgreeWithTheSDKAndRiskyToolsWaitForConfirmation) {
    Inspected modern(McpPeer::Kind::Modern);
    for (const char* region : {"eu-west", " eu", "Z\u00fcrich", "=?base64?x?="}) {
        JSONValue arguments = JSONValue::emptyObject();
        arguments.set("region", region);
        EXPECT_EQ(modern.call("get_weather", arguments.pretty())["structuredContent"]["region"],
                  JSONValue(region));
    }
    const std::size_t before = modern.client.evidence().size();
    EXPECT_THROW(modern.call("set_note", R"({"text":"x"})"), QuorilanthError);
    EXPECT_EQ(modern.client.evidence().size(), before);
    EXPECT_EQ(modern.call("set_note", R"({"text":"x"})", true)["content"][0]["text"],
              JSONValue("stored: x"));
}

TEST(MCPPeers, APortNobodyListensOnIsUnreachable) {
    const std::string endpoint = McpPeer(McpPeer::Kind::StatelessJSON).endpoint();
    MCPClient gone(endpoint, developerTransport());
    EXPECT_EQ(MCPInspector::inspect(gone).status, FindingStatus::unreachable);
}

// Forwards to the real transport and asks for a stop once a number of requests
// have been made, as the Cancel button would between two hops.
class StopAfter final : public HTTPInspecting {
public:
    StopAfter(std::size_t requests, std::stop_source source)
        : left_(requests), source_(std::move(source)) {}
    HTTPResult request(const std::string& url, const std::string& method,
                       const HeaderFields& headers, const std::optional<std::string>& body,
                       std::stop_token stop) override {
        HTTPResult result = inner_->request(url, method, headers, body, stop);
        if (--left_ == 0) source_.request_stop();
        return result;
    }

private:
    std::shared_ptr<HTTPInspecting> inner_ = developerTransport();
    std::atomic<std::size_t> left_;
    std::stop_source source_;
};

TEST(MCPPeers, CancellationDuringInspectionIsNotAServerVerdict) {
    McpPeer peer(McpPeer::Kind::Everything);
    std::stop_source source;
    MCPClient client(peer.endpoint(), std::make_shared<StopAfter>(4, source));
    EXPECT_THROW(MCPInspector::inspect(client, source.get_token()), Cancelled);
    EXPECT_EQ(client.evidence().size(), 4u);
}

} // namespace
} // namespace quorilanth
