#pragma once

// A whole site behind the scripted fake transport: documents by exact URL, and
// MCP endpoints that answer JSON-RPC by method, so the engine's rules can be
// checked to the exact text without any network.

#include "core/base/JSONValue.h"
#include "core/engine/DiscoveryEngine.h"
#include "support/FakeHTTPInspector.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorilanth::test {

// One scripted MCP server speaking the modern protocol with JSON replies.
struct ScriptedMCPServer {
    JSONValue capabilities = JSONValue::emptyObject();
    JSONValue serverInfo = JSONValue::emptyObject();
    // Pages of each list method; every page but the last carries a cursor.
    std::map<std::string, std::vector<JSONValue::Array>> pages;
    // Response headers of the OPTIONS pre-flight (204).
    HeaderFields preflightHeaders;
    // When set, every request is answered with this status and no MCP.
    std::optional<std::int64_t> plainStatus;
    // The result of every "tools/call".
    std::optional<JSONValue> toolResult;
};

class ScriptedSite {
public:
    ScriptedSite();

    void document(const std::string& url, std::int64_t status, std::string body,
                  std::string contentType);
    // A chain of hops ending in a 200 document at the last URL.
    void redirectChain(const std::vector<std::string>& urls, std::string body,
                       std::string contentType);
    void mcp(const std::string& url, ScriptedMCPServer server);

    std::shared_ptr<FakeHTTPInspector> fake() const { return fake_; }
    // URLs requested with the given method, in order.
    std::vector<std::string> requested(const std::string& method = "GET") const;

private:
    HTTPResult answerMCP(const FakeHTTPInspector::Call& call,
                         const ScriptedMCPServer& server) const;

    std::shared_ptr<FakeHTTPInspector> fake_;
    std::shared_ptr<std::map<std::string, ScriptedMCPServer>> servers_;
};

// Everything one scan produced, progress included.
struct ScanRun {
    ScanReport report;
    std::vector<std::string> messages;
    std::vector<std::string> inspected() const; // the "Inspecting " messages, prefix removed
};

ScanRun runScan(DiscoveryEngine& engine, const std::string& input,
                const std::function<void(const std::string&)>& onMessage = {},
                std::stop_token stop = {});

// An HTML page whose anchors point at each given href.
std::string htmlLinking(const std::vector<std::string>& hrefs);

const GraphNode* node(const ScanReport& report, const std::string& id);
bool hasEdge(const ScanReport& report, const std::string& source, const std::string& target,
             const std::string& relation);

} // namespace quorilanth::test
