#include "core/engine/DiscoveryEngine.h"

#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/base/Url.h"
#include "core/documents/AgentManifestParser.h"
#include "core/documents/LinkRules.h"
#include "core/mcp/MCPClient.h"
#include "core/mcp/MCPInspector.h"
#include "core/net/HTTPInspector.h"
#include "core/report/ReadinessScorer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <deque>
#include <set>
#include <string_view>
#include <utility>

namespace quorilanth {

namespace {

constexpr std::array<std::string_view, 10> conventionalPaths{
    "/.well-known/agent.json",
    "/.well-known/agent-card.json",
    "/.well-known/ai-catalog.json",
    "/.well-known/agent-manifest.json",
    "/llms.txt",
    "/agents",
    "/robots.txt",
    "/sitemap.xml",
    "/.well-known/mcp.json",
    "/mcp",
};

constexpr int locationBudget = 48;
constexpr std::size_t queueCap = 100;
constexpr std::size_t nodeCap = 259;
constexpr int sitemapCap = 2;

const std::string kMiddle = " \u00B7 ";

// Placeholder origin of the CORS pre-flight; .invalid can never resolve, so
// no real site can be impersonated by it.
const std::string kPreflightOrigin = "https://cors-probe.quorilanth.invalid";

bool answering(FindingStatus status) {
    return status == FindingStatus::found || status == FindingStatus::valid ||
           status == FindingStatus::invalid || status == FindingStatus::unsupported;
}

bool success(const std::optional<std::int64_t>& code) {
    return code && *code >= 200 && *code <= 299;
}

// Label of a location node: its last path component, else the text itself.
std::string labelFor(const std::string& address) {
    if (auto url = Url::parse(address)) {
        std::string last = url->lastPathComponent();
        if (!last.empty()) return last;
    }
    return address;
}

// Path shown in "Inspecting …": the parsed path, or the raw text when the key
// never became a URL (a refused location keeps its raw text as key).
std::string displayPath(const std::string& key) {
    if (auto url = Url::parse(key)) return url->path();
    return key;
}

std::optional<std::string> hostOf(const std::optional<Url>& url) {
    if (!url || !url->hasHost()) return std::nullopt;
    return url->host();
}

// The origin without its final "/": what every well-known path is appended to.
std::string originText(const Url& url) {
    std::string root = url.rootText();
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

std::vector<QueuedLocation> conventionalFor(const std::string& origin) {
    std::vector<QueuedLocation> out;
    out.reserve(conventionalPaths.size());
    for (std::string_view path : conventionalPaths) {
        out.push_back({origin + std::string(path), LinkRules::kind(path, ""), true});
    }
    return out;
}

} // namespace

struct DiscoveryEngine::ScanState {
    explicit ScanState(const std::string& root) : report(root) {}

    ScanReport report;
    std::string typed;
    std::string root;
    std::string normalized;
    std::optional<std::string> normalizedHost;
    std::deque<QueuedLocation> queue;
    std::set<std::string> visited;
    int locations = 0;
    int sitemaps = 0;

    // The domain node's label: the host, or the text as typed when there is none.
    std::string domainLabel() const { return normalizedHost.value_or(typed); }
};

DiscoveryEngine::DiscoveryEngine(NetworkPolicy policy, std::shared_ptr<HTTPInspecting> http)
    : http_(http ? std::move(http) : std::make_shared<HTTPInspector>(policy)),
      policy_(std::move(policy)) {}

DiscoveryEngine::~DiscoveryEngine() = default;

std::shared_ptr<MCPClient> DiscoveryEngine::client(const std::string& serverURL) const {
    std::lock_guard lock(clientsMutex_);
    auto it = clients_.find(serverURL);
    return it == clients_.end() ? nullptr : it->second;
}

void DiscoveryEngine::setClient(const std::string& serverURL, std::shared_ptr<MCPClient> client) {
    std::lock_guard lock(clientsMutex_);
    clients_[serverURL] = std::move(client);
}

ScanReport DiscoveryEngine::scan(const std::string& input, const ProgressCallback& progress,
                                 std::stop_token stop) {
    if (running_.exchange(true)) throw QuorilanthError("A scan is already running.");
    // Cleared on every way out, including a throwing progress callback.
    struct RunningReset {
        std::atomic<bool>& flag;
        ~RunningReset() { flag.store(false); }
    } reset{running_};

    const std::string normalized = policy_.normalizeDomain(input);
    const auto normalizedUrl = Url::parse(normalized);

    std::string root = normalizedUrl ? normalizedUrl->rootText() : normalized;
    while (!root.empty() && root.front() == '/')
        root.erase(root.begin());
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    const std::string origin = root;
    root += '/';

    ScanState state(root);
    state.typed = input;
    state.root = root;
    state.normalized = normalized;
    state.normalizedHost = hostOf(normalizedUrl);

    auto emit = [&](const std::string& message) {
        if (progress) progress(state.report, message);
    };

    GraphNode domainNode(root, NodeKind::domain, state.domainLabel(), root, FindingStatus::pending);
    state.report.upsert(domainNode);
    emit("Resolving domain");

    const std::string enteredPath = normalizedUrl ? normalizedUrl->path() : std::string();
    const NodeKind enteredKind = (enteredPath.empty() || enteredPath == "/")
                                     ? NodeKind::domain
                                     : LinkRules::kind(normalized, "");
    if (normalized != root) state.queue.push_back({root, NodeKind::domain, false});
    state.queue.push_back({normalized, enteredKind, false});
    for (auto& location : conventionalFor(origin))
        state.queue.push_back(std::move(location));

    enum class End { exhausted, budget, cancelled };
    auto loop = [&]() -> End {
        for (;;) {
            // A stop seen only now came during the last location, whose request
            // was cut short: the report is partial and must say so.
            if (state.queue.empty()) return stop.stop_requested() ? End::cancelled : End::exhausted;
            if (state.locations == locationBudget) return End::budget;
            if (stop.stop_requested()) return End::cancelled;

            QueuedLocation entry;
            std::string key;
            for (;;) {
                entry = std::move(state.queue.front());
                state.queue.pop_front();
                try {
                    key = policy_.validate(entry.url);
                } catch (const QuorilanthError&) {
                    key = entry.url;
                }
                if (state.visited.insert(key).second) break;
                // Repeats cost nothing against the budget.
                if (stop.stop_requested()) return End::cancelled;
                if (state.queue.empty()) return End::exhausted;
            }
            ++state.locations;
            emit("Inspecting " + displayPath(key));

            if (entry.kind == NodeKind::mcp) {
                mcpStep(state, entry, key, stop);
            } else {
                documentStep(state, entry, key, stop);
            }

            state.report.checks = ReadinessScorer::score(state.report);
            const auto tools =
                std::count_if(state.report.nodes.begin(), state.report.nodes.end(),
                              [](const GraphNode& n) { return n.kind == NodeKind::tool; });
            emit(std::to_string(state.visited.size()) + " locations inspected" + kMiddle +
                 std::to_string(tools) + " tools");
        }
    };

    const End end = loop();
    if (end == End::cancelled) {
        state.report.cancelled = true;
        state.report.notices.push_back("Scan cancelled; findings are partial.");
    } else if (end == End::budget) {
        state.report.notices.push_back(
            "Scan budget reached (48 locations). Unrequested declarations remain FOUND; "
            "this is not an exhaustive crawl.");
    }
    state.report.finishedAt = std::chrono::system_clock::now();
    state.report.checks = ReadinessScorer::score(state.report);
    emit(end == End::cancelled ? "Cancelled" : "Scan complete");
    return std::move(state.report);
}

void DiscoveryEngine::documentStep(ScanState& state, const QueuedLocation& entry,
                                   const std::string& key, std::stop_token stop) {
    ScanReport& report = state.report;
    const HTTPResult result = http_->get(key, stop);
    std::vector<std::string> hopIDs;
    hopIDs.reserve(result.exchanges.size());
    for (const Evidence& hop : result.exchanges) {
        hopIDs.push_back(hop.id);
        report.evidence.push_back(hop);
    }
    const Evidence& final = result.exchanges.back();
    const ParsedDocument parsed = AgentManifestParser::parse(final);

    // A root answered from another host: that host's well-known locations are
    // where its agent documents would live, so they go first.
    if (entry.kind == NodeKind::domain && success(final.statusCode)) {
        if (auto finalUrl = Url::parse(final.url)) {
            if (hostOf(finalUrl) != state.normalizedHost) {
                auto front = conventionalFor(originText(*finalUrl));
                state.queue.insert(state.queue.begin(), std::make_move_iterator(front.begin()),
                                   std::make_move_iterator(front.end()));
            }
        }
    }

    state.visited.insert(final.url);

    const bool isDomain = entry.kind == NodeKind::domain;
    GraphNode node(isDomain ? state.root : key, entry.kind,
                   isDomain ? state.domainLabel() : labelFor(key), key, parsed.status);
    node.summary = parsed.summary;
    node.isAgentDocument = parsed.isAgentDocument;
    node.metadata = parsed.metadata;
    node.issues = parsed.issues;
    node.evidenceIDs = hopIDs;
    report.upsert(node);

    if (entry.conventional && answering(parsed.status) && success(final.statusCode)) {
        report.connect(GraphEdge{state.root, node.id, "responds at", final.id,
                                 "HTTP " + std::to_string(*final.statusCode) +
                                     " at conventional path " + key});
    }

    for (const DiscoveredLink& link : parsed.links) {
        if (report.nodes.size() > nodeCap) break;
        std::string address;
        try {
            address = policy_.validate(link.url);
        } catch (const QuorilanthError&) {
            address = link.url;
        }
        if (address == node.id) continue;

        const bool isTemplate = link.relation == "declares template";
        if (!report.findNode(address)) {
            GraphNode declared(address, link.kind, labelFor(address), address,
                               FindingStatus::found);
            declared.summary =
                isTemplate ? "Declared reference" + kMiddle + "URL template requires parameters"
                           : "Declared reference" + kMiddle + "not yet requested";
            declared.evidenceIDs = {final.id};
            report.upsert(declared);
        }
        report.connect(GraphEdge{node.id, address, link.relation, final.id, link.locator});

        if (link.kind == NodeKind::content || isTemplate || state.visited.count(address) != 0 ||
            state.queue.size() >= queueCap) {
            continue;
        }
        QueuedLocation queued{address, link.kind, false};
        const auto parsedAddress = Url::parse(address);
        if (parsedAddress &&
            asciiLowercase(parsedAddress->lastPathComponent()).starts_with("sitemap")) {
            if (state.sitemaps < sitemapCap) {
                state.queue.push_back(std::move(queued));
                ++state.sitemaps;
            }
        } else if (state.queue.size() < 2) {
            state.queue.push_back(std::move(queued));
        } else {
            state.queue.insert(state.queue.begin() + 2, std::move(queued));
        }
    }
}

namespace {

struct Inventory {
    const char* name;
    const char* method;
    NodeKind kind;
    const std::vector<JSONValue>& items;
};

const Evidence* lastExchangeFor(const std::vector<Evidence>& exchanges, std::string_view method) {
    for (auto it = exchanges.rbegin(); it != exchanges.rend(); ++it) {
        if (it->requestBody && it->requestBody->find(method) != std::string::npos) return &*it;
    }
    return nullptr;
}

std::string inventoryLabel(const JSONValue& item, NodeKind kind) {
    for (const char* member : {"name", "uri", "uriTemplate"}) {
        if (const auto text = item[member].string()) return std::string(*text);
    }
    return "Unnamed " + std::string(toString(kind));
}

} // namespace

void DiscoveryEngine::mcpStep(ScanState& state, const QueuedLocation& entry, const std::string& key,
                              std::stop_token stop) {
    ScanReport& report = state.report;
    auto mcpClient = std::make_shared<MCPClient>(key, http_);
    MCPServer server(key);
    try {
        server = MCPInspector::inspect(*mcpClient, stop);
    } catch (const Cancelled&) {
        // The scan ends at the next check; what was exchanged stays as evidence,
        // but a half-negotiated server gets no verdict it did not earn.
        for (Evidence& hop : mcpClient->drainEvidence())
            report.evidence.push_back(std::move(hop));
        return;
    }
    const std::vector<Evidence> exchanges = mcpClient->drainEvidence();
    report.evidence.insert(report.evidence.end(), exchanges.begin(), exchanges.end());

    const bool verified = server.status == FindingStatus::valid;
    const bool hadNode = report.findNode(key) != nullptr;
    FindingStatus status = server.status;
    if (entry.conventional && !verified && !hadNode && !exchanges.empty() &&
        exchanges.back().statusCode == 404) {
        status = FindingStatus::notFound;
    }

    GraphNode node(key, NodeKind::mcp, verified ? "MCP Server" : "MCP probe", key, status);
    if (verified) {
        node.summary = server.transport + kMiddle + server.version + kMiddle +
                       std::to_string(server.tools.size()) + " tools";
    } else {
        const bool answered = !exchanges.empty() && exchanges.back().statusCode.has_value();
        node.summary = "MCP protocol not verified" + kMiddle + "HTTP " +
                       (answered ? std::to_string(*exchanges.back().statusCode) : "no response");
    }
    for (const Evidence& hop : exchanges)
        node.evidenceIDs.push_back(hop.id);
    JSONValue metadata = JSONValue::emptyObject();
    metadata.set("serverInfo", server.info);
    metadata.set("capabilities", server.capabilities);
    metadata.set("protocolVersion", server.version);
    metadata.set("transport", server.transport);
    metadata.set("latencyMS", server.latencyMS);
    node.metadata = std::move(metadata);
    node.issues = server.issues;
    report.upsert(node);
    report.servers.push_back(server);

    if (verified) {
        setClient(key, mcpClient);
        const HTTPResult preflight = http_->request(
            key, "OPTIONS",
            {{"Origin", kPreflightOrigin},
             {"Access-Control-Request-Method", "POST"},
             {"Access-Control-Request-Headers", "content-type,mcp-protocol-version"}},
            std::nullopt, stop);
        report.evidence.insert(report.evidence.end(), preflight.exchanges.begin(),
                               preflight.exchanges.end());
        const Evidence& answer = preflight.exchanges.back();
        const auto allow = answer.responseHeaders.find("access-control-allow-origin");
        JSONValue cors = JSONValue::emptyObject();
        cors.set("originTested", kPreflightOrigin);
        cors.set("status", answer.statusCode.value_or(0));
        cors.set("allowOrigin", allow != answer.responseHeaders.end()
                                    ? allow->second
                                    : std::string("Not advertised"));
        cors.set("scope", "Browser interoperability only; not required by this native client");
        if (const GraphNode* recorded = report.findNode(key)) {
            GraphNode updated = *recorded;
            if (!updated.metadata.isObject()) updated.metadata = JSONValue::emptyObject();
            updated.metadata.set("cors", std::move(cors));
            for (const Evidence& hop : preflight.exchanges)
                updated.evidenceIDs.push_back(hop.id);
            report.upsert(std::move(updated));
        }
        if (entry.conventional && !exchanges.empty()) {
            report.connect(GraphEdge{state.root, key, "MCP verified", exchanges.front().id,
                                     "JSON-RPC negotiation at " + key});
        }
    }

    if (const Evidence* listed = lastExchangeFor(exchanges, "tools/list")) {
        for (const MCPTool& tool : server.tools) {
            const std::string name(tool.name());
            GraphNode toolNode(tool.id(), NodeKind::tool, name, key, FindingStatus::valid);
            toolNode.summary = tool.description();
            toolNode.metadata = tool.definition;
            toolNode.evidenceIDs = {listed->id};
            report.upsert(toolNode);
            report.connect(GraphEdge{key, toolNode.id, "exposes tool", listed->id,
                                     "/result/tools/name=" + name});
        }
    }

    const Inventory inventories[] = {
        {"resources", "resources/list", NodeKind::resource, server.resources},
        {"resourceTemplates", "resources/templates/list", NodeKind::resource,
         server.resourceTemplates},
        {"prompts", "prompts/list", NodeKind::prompt, server.prompts},
    };
    for (const Inventory& inventory : inventories) {
        const Evidence* listed = lastExchangeFor(exchanges, inventory.method);
        if (!listed) continue;
        for (const JSONValue& item : inventory.items) {
            const std::string label = inventoryLabel(item, inventory.kind);
            const std::string name = inventory.name;
            std::optional<std::string> url;
            if (const auto uri = item["uri"].string()) url = std::string(*uri);
            GraphNode itemNode(key + "#" + name + ":" + label, inventory.kind, label, url,
                               FindingStatus::found);
            itemNode.metadata = item;
            itemNode.evidenceIDs = {listed->id};
            report.upsert(itemNode);
            report.connect(GraphEdge{key, itemNode.id,
                                     "exposes " + std::string(toString(inventory.kind)), listed->id,
                                     "/result/" + name + "/" + label});
        }
    }
}

} // namespace quorilanth
