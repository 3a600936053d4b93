#pragma once

// A whole site behind the scripted fake transport: documents by exact URL, and
// MCP endpoints that answer JSON-RPC by method, so the engine's rules can be
// checked to the exact text without any network.

#include "core/engine/DiscoveryEngine.h"
#include "support/FakeHTTPInspector.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorilanth::test {

// One scripted MCP server speaking the modern protocol with JSON replies; the
// values are JSON texts.
struct ScriptedMCPServer {
    std::string capabilities = "{}";
    std::map<std::string, std::string> lists = {}; // the items of each list method, as an array
    HeaderFields preflightHeaders;                 // of the OPTIONS pre-flight (204)
    std::optional<std::int64_t> plainStatus = {};  // every request answered with it and no MCP
    std::string toolResult = {};                   // of every "tools/call"
};

inline HTTPResult answerMCP(const FakeHTTPInspector::Call& call, const ScriptedMCPServer& server) {
    Evidence hop = FakeHTTPInspector::record(call);
    hop.statusCode = server.plainStatus.value_or(call.method == "OPTIONS" ? 204 : 200);
    if (server.plainStatus) return oneHop(std::move(hop));
    if (call.method == "OPTIONS") {
        hop.responseHeaders = server.preflightHeaders;
        return oneHop(std::move(hop));
    }
    const JSONValue request = JSONValue::parse(call.body.value_or("null"));
    const std::string method = request["method"].text();
    std::string result;
    if (method == "server/discover") {
        result =
            R"({"supportedVersions":["2026-07-28"],"capabilities":)" + server.capabilities + "}";
    } else if (method == "tools/call") {
        result = server.toolResult;
    } else if (const auto items = server.lists.find(method); items != server.lists.end()) {
        const std::string list = method.substr(0, method.rfind('/'));
        result = "{\"" + (list == "resources/templates" ? "resourceTemplates" : list) +
                 "\":" + items->second + "}";
    }
    hop.responseHeaders["content-type"] = "application/json";
    hop.responseBody = R"({"jsonrpc":"2.0","id":)" + request["id"].pretty() +
                       (result.empty() ? R"(,"error":{"code":-32601,"message":"Method not found"})"
                                       : ",\"result\":" + result) +
                       "}";
    return oneHop(std::move(hop));
}

// Unscripted addresses answer a plain 404, MCP endpoints by method.
class ScriptedSite {
public:
    std::shared_ptr<FakeHTTPInspector> fake = std::make_shared<FakeHTTPInspector>();

    ScriptedSite() {
        fake->otherwise([servers = servers_](const FakeHTTPInspector::Call& call) {
            if (auto found = servers->find(call.url); found != servers->end())
                return answerMCP(call, found->second);
            Evidence hop = FakeHTTPInspector::record(call);
            hop.statusCode = 404;
            return oneHop(std::move(hop));
        });
    }
    void document(const std::string& url, std::int64_t status, std::string body,
                  std::string contentType = "text/html") {
        fake->respond(url, status, std::move(body), {{"content-type", std::move(contentType)}});
    }
    // A 301 from `from` to `to`, which answers a 200 page.
    void redirect(const std::string& from, const std::string& to, std::string body,
                  std::string contentType = "text/html") {
        Evidence first(from, "GET"), last(to, "GET");
        first.statusCode = 301;
        first.responseHeaders["location"] = to;
        last.statusCode = 200;
        last.responseHeaders["content-type"] = std::move(contentType);
        last.responseBody = std::move(body);
        fake->script(from, HTTPResult{{first, last}});
    }
    void mcp(const std::string& url, ScriptedMCPServer server) {
        (*servers_)[url] = std::move(server);
    }
    // URLs requested with the method, in order.
    std::vector<std::string> requested(const std::string& method = "GET") const {
        std::vector<std::string> urls;
        for (const auto& call : fake->calls())
            if (call.method == method) urls.push_back(call.url);
        return urls;
    }

private:
    std::shared_ptr<std::map<std::string, ScriptedMCPServer>> servers_ =
        std::make_shared<std::map<std::string, ScriptedMCPServer>>();
};

// Everything one scan produced, progress included.
struct ScanRun {
    ScanReport report;
    std::vector<std::string> messages;
    // The paths of the "Inspecting " messages, joined by spaces.
    std::string inspected() const {
        std::string paths;
        for (const std::string& message : messages)
            if (message.starts_with("Inspecting "))
                paths += (paths.empty() ? "" : " ") + message.substr(11);
        return paths;
    }
};

inline ScanRun runScan(DiscoveryEngine& engine, const std::string& input,
                       const std::function<void(const std::string&)>& onMessage = {},
                       std::stop_token stop = {}) {
    ScanRun run;
    run.report = engine.scan(
        input,
        [&](ScanReport, const std::string& message) {
            run.messages.push_back(message);
            if (onMessage) onMessage(message);
        },
        stop);
    return run;
}

// An HTML page whose anchors point at each href.
inline std::string htmlLinking(const std::vector<std::string>& hrefs) {
    std::string html = "<html><head><title>t</title></head><body>";
    for (const std::string& href : hrefs)
        html += "<a href=\"" + href + "\">x</a>";
    return html + "</body></html>";
}

inline bool hasEdge(const ScanReport& report, const std::string& source, const std::string& target,
                    const std::string& relation) {
    return std::any_of(report.edges.begin(), report.edges.end(), [&](const GraphEdge& e) {
        return e.source == source && e.target == target && e.relation == relation;
    });
}

} // namespace quorilanth::test
