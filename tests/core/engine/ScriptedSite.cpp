#include "ScriptedSite.h"

#include <algorithm>

namespace quorilanth::test {

namespace {

JSONValue rpcResult(const JSONValue& id, JSONValue result) {
    JSONValue reply = JSONValue::emptyObject();
    reply.set("jsonrpc", "2.0");
    reply.set("id", id);
    reply.set("result", std::move(result));
    return reply;
}

} // namespace

ScriptedSite::ScriptedSite()
    : fake_(std::make_shared<FakeHTTPInspector>()),
      servers_(std::make_shared<std::map<std::string, ScriptedMCPServer>>()) {
    // The fallback sees every unscripted URL; MCP endpoints are answered by
    // method, everything else is a plain 404 as the default would be.
    auto servers = servers_;
    fake_->otherwise([this, servers](const FakeHTTPInspector::Call& call) {
        if (auto found = servers->find(call.url); found != servers->end()) {
            return answerMCP(call, found->second);
        }
        Evidence evidence = FakeHTTPInspector::record(call);
        evidence.statusCode = 404;
        return oneHop(std::move(evidence));
    });
}

void ScriptedSite::document(const std::string& url, std::int64_t status, std::string body,
                            std::string contentType) {
    fake_->respond(url, status, std::move(body), {{"content-type", std::move(contentType)}});
}

void ScriptedSite::redirectChain(const std::vector<std::string>& urls, std::string body,
                                 std::string contentType) {
    HTTPResult result;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        Evidence hop(urls[i], "GET");
        if (i + 1 < urls.size()) {
            hop.statusCode = 301;
            hop.responseHeaders["location"] = urls[i + 1];
        } else {
            hop.statusCode = 200;
            hop.responseHeaders["content-type"] = contentType;
            hop.responseBody = body;
        }
        result.exchanges.push_back(std::move(hop));
    }
    fake_->script(urls.front(), std::move(result));
}

void ScriptedSite::mcp(const std::string& url, ScriptedMCPServer server) {
    (*servers_)[url] = std::move(server);
}

std::vector<std::string> ScriptedSite::requested(const std::string& method) const {
    std::vector<std::string> urls;
    for (const auto& call : fake_->calls()) {
        if (call.method == method) urls.push_back(call.url);
    }
    return urls;
}

HTTPResult ScriptedSite::answerMCP(const FakeHTTPInspector::Call& call,
                                   const ScriptedMCPServer& server) const {
    Evidence evidence = FakeHTTPInspector::record(call);
    if (server.plainStatus) {
        evidence.statusCode = *server.plainStatus;
        return oneHop(std::move(evidence));
    }
    if (call.method == "OPTIONS") {
        evidence.statusCode = 204;
        evidence.responseHeaders = server.preflightHeaders;
        return oneHop(std::move(evidence));
    }
    const JSONValue request = JSONValue::parse(call.body.value_or("null"));
    const std::string method(request["method"].string().value_or(""));
    const JSONValue& id = request["id"];
    evidence.statusCode = 200;
    evidence.responseHeaders["content-type"] = "application/json";

    JSONValue result = JSONValue::emptyObject();
    if (method == "server/discover") {
        JSONValue versions = JSONValue::emptyArray();
        versions.append("2026-07-28");
        result.set("supportedVersions", versions);
        result.set("capabilities", server.capabilities);
        JSONValue meta = JSONValue::emptyObject();
        meta.set("io.modelcontextprotocol/serverInfo", server.serverInfo);
        result.set("_meta", meta);
    } else if (method == "tools/call" && server.toolResult) {
        result = *server.toolResult;
    } else if (auto found = server.pages.find(method); found != server.pages.end()) {
        const std::string key = method == "tools/list"                 ? "tools"
                                : method == "resources/templates/list" ? "resourceTemplates"
                                : method == "prompts/list"             ? "prompts"
                                                                       : "resources";
        std::size_t page = 0;
        if (const auto cursor = request["params"]["cursor"].string()) {
            page = static_cast<std::size_t>(std::stoul(std::string(*cursor)));
        }
        const auto& pages = found->second;
        result.set(key, page < pages.size() ? JSONValue(pages[page]) : JSONValue::emptyArray());
        if (page + 1 < pages.size()) result.set("nextCursor", std::to_string(page + 1));
    } else {
        JSONValue error = JSONValue::emptyObject();
        error.set("code", -32601);
        error.set("message", "Method not found");
        JSONValue reply = JSONValue::emptyObject();
        reply.set("jsonrpc", "2.0");
        reply.set("id", id);
        reply.set("error", error);
        evidence.responseBody = reply.pretty();
        return oneHop(std::move(evidence));
    }
    evidence.responseBody = rpcResult(id, std::move(result)).pretty();
    return oneHop(std::move(evidence));
}

std::vector<std::string> ScanRun::inspected() const {
    std::vector<std::string> out;
    for (const auto& message : messages) {
        if (message.starts_with("Inspecting ")) out.push_back(message.substr(11));
    }
    return out;
}

ScanRun runScan(DiscoveryEngine& engine, const std::string& input,
                const std::function<void(const std::string&)>& onMessage, std::stop_token stop) {
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

std::string htmlLinking(const std::vector<std::string>& hrefs) {
    std::string html = "<html><head><title>t</title></head><body>";
    for (const auto& href : hrefs)
        html += "<a href=\"" + href + "\">x</a>";
    return html + "</body></html>";
}

const GraphNode* node(const ScanReport& report, const std::string& id) {
    return report.findNode(id);
}

bool hasEdge(const ScanReport& report, const std::string& source, const std::string& target,
             const std::string& relation) {
    return std::any_of(report.edges.begin(), report.edges.end(), [&](const GraphEdge& e) {
        return e.source == source && e.target == target && e.relation == relation;
    });
}

} // namespace quorilanth::test
