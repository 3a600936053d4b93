#include "core/documents/AgentSurfaceAssessment.h"

#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/documents/AgentManifestParser.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace quorilanth {
namespace {

constexpr std::string_view declaredReferencePrefix = "Declared reference";

bool isDocumentKind(NodeKind kind) {
    return kind == NodeKind::manifest || kind == NodeKind::endpoint || kind == NodeKind::discovery;
}

} // namespace

std::string_view toString(AgentSurfaceAssessment::Presence presence) noexcept {
    switch (presence) {
    case AgentSurfaceAssessment::Presence::found:
        return "found";
    case AgentSurfaceAssessment::Presence::notFound:
        return "notFound";
    case AgentSurfaceAssessment::Presence::inconclusive:
        return "inconclusive";
    }
    return "inconclusive";
}

std::optional<AgentSurfaceAssessment::Presence> presenceFromString(std::string_view text) noexcept {
    for (auto p :
         {AgentSurfaceAssessment::Presence::found, AgentSurfaceAssessment::Presence::notFound,
          AgentSurfaceAssessment::Presence::inconclusive}) {
        if (toString(p) == text) {
            return p;
        }
    }
    return std::nullopt;
}

AgentSurfaceAssessment::Verifier::Verifier(const ScanReport& report) : report_(report) {}

const Evidence* AgentSurfaceAssessment::Verifier::latestGet(const GraphNode& node) const {
    // Built on first use: a report whose nodes need no exchange costs nothing.
    if (!indexed_) {
        indexed_ = true;
        lastGet_.reserve(report_.evidence.size());
        for (std::size_t i = 0; i < report_.evidence.size(); ++i) {
            if (report_.evidence[i].method == "GET") {
                lastGet_.insert_or_assign(std::string_view(report_.evidence[i].id), i);
            }
        }
    }
    // The latest GET among the node's records is the one with the highest index.
    std::optional<std::size_t> latest;
    for (const std::string& id : node.evidenceIDs) {
        const auto it = lastGet_.find(id);
        if (it != lastGet_.end() && (!latest || it->second > *latest)) {
            latest = it->second;
        }
    }
    return latest ? &report_.evidence[*latest] : nullptr;
}

bool AgentSurfaceAssessment::Verifier::isVerifiedAgentDocument(const GraphNode& node) {
    // A declared reference that was never requested carries the declaring
    // document's exchange; that exchange proves the declaring document, not the
    // reference, so such a node is never a verified document of its own.
    if (node.summary.starts_with(declaredReferencePrefix)) {
        return false;
    }
    if (!isDocumentKind(node.kind) || isAuxiliary(node)) {
        return false;
    }
    if (node.status != FindingStatus::found && node.status != FindingStatus::valid) {
        return false;
    }
    const Evidence* exchange = latestGet(node);
    if (exchange == nullptr || !exchange->statusCode || *exchange->statusCode < 200 ||
        *exchange->statusCode > 299 || exchange->truncated || exchange->error) {
        return false;
    }
    if (node.isAgentDocument) {
        return *node.isAgentDocument;
    }
    const auto index = static_cast<std::size_t>(exchange - report_.evidence.data());
    const auto known = verdicts_.find(index);
    if (known != verdicts_.end()) {
        return known->second;
    }
    const bool verdict = AgentManifestParser::parse(*exchange).isAgentDocument;
    verdicts_.emplace(index, verdict);
    return verdict;
}

bool AgentSurfaceAssessment::isAuxiliary(const GraphNode& node) {
    const auto url = Url::parse(node.url.value_or(""));
    const std::string last =
        url ? unicodeText::lowercased(url->lastPathComponent()) : std::string();
    return last == "robots.txt" || last.starts_with("sitemap");
}

bool AgentSurfaceAssessment::isVerifiedAgentDocument(const GraphNode& node,
                                                     const ScanReport& report) {
    return Verifier(report).isVerifiedAgentDocument(node);
}

AgentSurfaceAssessment::AgentSurfaceAssessment(const ScanReport& report) {
    Verifier verifier(report);
    std::unordered_set<std::string_view> verifiedIDs;
    std::unordered_set<std::string> addresses;
    for (const GraphNode& node : report.nodes) {
        if (!verifier.isVerifiedAgentDocument(node)) {
            continue;
        }
        verifiedIDs.insert(node.id);
        const Evidence* exchange = verifier.latestGet(node);
        if (addresses.insert(exchange != nullptr ? exchange->url : node.id).second) {
            documents.push_back(node);
        }
    }

    const bool open = !report.finishedAt || report.cancelled;
    const auto presence = [&](NodeKind kind) {
        bool anyCandidate = false;
        bool allNotFound = true;
        for (const GraphNode& node : report.nodes) {
            if (node.kind != kind || isAuxiliary(node)) {
                continue;
            }
            anyCandidate = true;
            const bool proven = kind == NodeKind::mcp ? node.status == FindingStatus::valid
                                                      : verifiedIDs.count(node.id) != 0;
            if (proven) {
                return Presence::found;
            }
            allNotFound = allNotFound && node.status == FindingStatus::notFound;
        }
        if (!anyCandidate || open) {
            return open ? Presence::inconclusive : Presence::notFound;
        }
        return allNotFound ? Presence::notFound : Presence::inconclusive;
    };
    mcp = presence(NodeKind::mcp);
    endpoints = presence(NodeKind::endpoint);
    manifests = presence(NodeKind::manifest);
    documentation = presence(NodeKind::discovery);
}

bool AgentSurfaceAssessment::hasUnresolvedChecks() const noexcept {
    const std::array<Presence, 4> surfaces{mcp, endpoints, manifests, documentation};
    return std::any_of(surfaces.begin(), surfaces.end(),
                       [](Presence p) { return p == Presence::inconclusive; });
}

} // namespace quorilanth
