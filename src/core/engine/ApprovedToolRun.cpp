// The one road by which a tool runs: an explicitly approved call through the
// engine's MCP client for the tool's server, recorded into a copy of the report.

#include "core/base/QuorilanthError.h"
#include "core/documents/AgentManifestParser.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/mcp/JSONSchemaValidator.h"
#include "core/mcp/MCPClient.h"
#include "core/net/HTTPInspecting.h"
#include "core/report/ReadinessScorer.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quorilanth {

namespace {

// A result may declare any number of items; each costs a request.
constexpr std::size_t kMaxDeclaredItems = 30;

bool nonEmptyObject(const JSONValue& value) {
    const JSONValue::Object* members = value.object();
    return members && !members->empty();
}

// The items a result declares, in order: the structured results (or the
// structured content itself), then the results inside JSON text blocks and the
// resource links. Stops at the limit, so a huge content list costs no more.
std::vector<JSONValue> declaredItems(const JSONValue& result, const JSONValue& structured) {
    std::vector<JSONValue> items;
    auto add = [&](const JSONValue& item) {
        if (items.size() < kMaxDeclaredItems) items.push_back(item);
        return items.size() < kMaxDeclaredItems;
    };
    if (structured.isObject()) {
        const JSONValue::Array& results = structured["results"].array();
        if (results.empty()) add(structured);
        for (const JSONValue& item : results)
            if (!add(item)) break;
    }
    for (const JSONValue& block : result["content"].array()) {
        if (items.size() == kMaxDeclaredItems) break;
        if (!nonEmptyObject(block)) continue;
        std::optional<std::string_view> type = block["type"].string();
        if (type && *type == "resource_link") {
            add(block);
        } else if (std::optional<std::string_view> text = block["text"].string();
                   type && *type == "text" && text) {
            JSONValue decoded;
            try {
                decoded = JSONValue::parse(*text);
            } catch (const JSONParseError&) {
                continue; // prose, not a declaration
            }
            if (!decoded.isObject()) continue;
            for (const JSONValue& item : decoded["results"].array())
                if (!add(item)) break;
        }
    }
    return items;
}

// Only a canonical page that an earlier run fetched may be replaced by a new
// fetch. A remote result must never overwrite what the scan itself observed:
// naming the server's own URL or the site root would otherwise swap that node,
// its evidence and the checks it carries for a page of the server's choosing.
bool isCanonicalPage(const ScanReport& report, const GraphNode& node) {
    return node.kind == NodeKind::content &&
           std::any_of(report.edges.begin(), report.edges.end(), [&](const GraphEdge& edge) {
               return edge.target == node.id && edge.relation == "canonical URL";
           });
}

} // namespace

// A stop after the call is a cancellation like any other: the caller shows it
// as one and collects what was recorded so far, the call and the pages fetched
// until then, as it does after a failure.
void DiscoveryEngine::strandAndCancel(const std::string& serverURL, ScanReport& copy,
                                      std::size_t recordedBefore) {
    {
        std::lock_guard lock(clientsMutex_);
        auto& stranded = strandedEvidence_[serverURL];
        std::move(copy.evidence.begin() + std::ptrdiff_t(recordedBefore), copy.evidence.end(),
                  std::back_inserter(stranded));
    }
    throw Cancelled();
}

ScanReport DiscoveryEngine::run(const MCPTool& tool, const JSONValue& arguments,
                                const ScanReport& report, bool confirmedRisk,
                                std::stop_token stop) {
    ScanReport copy = report;
    std::shared_ptr<MCPClient> mcpClient = client(tool.serverURL);
    if (!mcpClient) {
        mcpClient = std::make_shared<MCPClient>(tool.serverURL, http_);
        setClient(tool.serverURL, mcpClient);
        try {
            mcpClient->connect(stop);
        } catch (...) {
            // A client that never negotiated would send every later call
            // unnegotiated. Its exchanges wait for the caller; the next run
            // connects afresh.
            std::vector<Evidence> exchanges = mcpClient->drainEvidence();
            std::lock_guard lock(clientsMutex_);
            auto& stranded = strandedEvidence_[tool.serverURL];
            std::move(exchanges.begin(), exchanges.end(), std::back_inserter(stranded));
            if (auto kept = clients_.find(tool.serverURL);
                kept != clients_.end() && kept->second == mcpClient)
                clients_.erase(kept);
            throw;
        }
    }
    const JSONValue result = mcpClient->call(tool, arguments, true, confirmedRisk, stop);
    std::vector<Evidence> exchanges = mcpClient->drainEvidence();
    if (exchanges.empty()) throw QuorilanthError("No tool evidence recorded.");
    const std::string lastID = exchanges.back().id;
    const Date executedAt = exchanges.back().timestamp;
    std::move(exchanges.begin(), exchanges.end(), std::back_inserter(copy.evidence));

    const bool isError = result["isError"].boolean().value_or(false);
    const JSONValue& structured = result["structuredContent"];
    std::vector<std::string> issues;
    if (const JSONValue& schema = tool.definition["outputSchema"]; schema.isObject() && !isError) {
        SchemaValidation validation = JSONSchemaValidator::validate(structured, schema);
        issues = std::move(validation.errors);
        issues.insert(issues.end(), validation.unsupported.begin(), validation.unsupported.end());
    }

    const std::string toolName(tool.name());
    const std::string resultID = tool.id() + "#result:" + lastID;
    GraphNode resultNode(
        resultID, NodeKind::content, isError ? "Tool error" : toolName + " result", std::nullopt,
        isError || !issues.empty() ? FindingStatus::invalid : FindingStatus::valid);
    resultNode.summary = "Executed at " + localizedDateTime(executedAt);
    resultNode.evidenceIDs = {lastID};
    resultNode.metadata = result;
    resultNode.issues = std::move(issues);
    copy.upsert(std::move(resultNode));
    copy.connect(GraphEdge{tool.id(), resultID, "returned", lastID, "/result"});

    for (const JSONValue& item : declaredItems(result, structured)) {
        if (!nonEmptyObject(item)) continue;
        std::optional<std::string_view> declared = item["canonical_url"].string();
        if (!declared) declared = item["uri"].string();
        if (!declared) continue;
        const std::string url(*declared);

        std::string label = "Content";
        if (std::optional<std::string_view> name = item["name"].string())
            label = *name;
        else if (std::optional<std::string_view> title = item["title"].string())
            label = *title;
        const std::string contentID = resultID + "#" + url;
        GraphNode content(contentID, NodeKind::content, std::move(label), url,
                          FindingStatus::found);
        content.summary = "Returned by " + toolName + " \u00B7 publisher declaration";
        content.evidenceIDs = {lastID};
        content.metadata = item;
        copy.upsert(std::move(content));
        copy.connect(GraphEdge{resultID, contentID, "contains", lastID,
                               "/result/structuredContent/results"});

        if (const GraphNode* existing = copy.findNode(url);
            existing && !isCanonicalPage(copy, *existing))
            continue;
        if (stop.stop_requested()) strandAndCancel(tool.serverURL, copy, report.evidence.size());
        HTTPResult fetched = http_->get(url, stop);
        if (stop.stop_requested()) {
            // The fetch the stop cut short is evidence like the ones before it.
            std::move(fetched.exchanges.begin(), fetched.exchanges.end(),
                      std::back_inserter(copy.evidence));
            strandAndCancel(tool.serverURL, copy, report.evidence.size());
        }
        const ParsedDocument parsed = AgentManifestParser::parse(fetched.final());
        GraphNode page(url, NodeKind::content, "Canonical page", url, parsed.status);
        page.summary = "HTTP " + std::to_string(fetched.final().statusCode.value_or(0)) +
                       " \u00B7 canonical declared by result";
        page.metadata = parsed.metadata;
        page.issues = parsed.issues;
        if (std::optional<std::string_view> canonical = parsed.metadata["canonical_url"].string();
            canonical && *canonical != url)
            page.issues.push_back("HTML canonical differs: " + std::string(*canonical));
        for (Evidence& hop : fetched.exchanges) {
            page.evidenceIDs.push_back(hop.id);
            copy.evidence.push_back(std::move(hop));
        }
        copy.upsert(std::move(page));
        copy.connect(GraphEdge{contentID, url, "canonical URL", lastID,
                               "/result/structuredContent/results/canonical_url"});
    }

    copy.checks = ReadinessScorer::score(copy);
    return copy;
}

std::vector<Evidence> DiscoveryEngine::drainToolEvidence(const std::string& serverURL) {
    std::vector<Evidence> drained;
    std::shared_ptr<MCPClient> kept;
    {
        std::lock_guard lock(clientsMutex_);
        if (auto stranded = strandedEvidence_.find(serverURL);
            stranded != strandedEvidence_.end()) {
            drained = std::move(stranded->second);
            strandedEvidence_.erase(stranded);
        }
        if (auto found = clients_.find(serverURL); found != clients_.end()) kept = found->second;
    }
    if (kept) {
        std::vector<Evidence> recorded = kept->drainEvidence();
        std::move(recorded.begin(), recorded.end(), std::back_inserter(drained));
    }
    return drained;
}

} // namespace quorilanth
