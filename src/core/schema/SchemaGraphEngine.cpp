#include "core/schema/SchemaGraphEngine.h"

#include "core/base/AsciiText.h"
#include "core/documents/AgentSurfaceAssessment.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace quorilanth {
namespace {

// The projection asks this of every node on every render, and parsing each URL
// would dominate it. Before any query, fragment or percent escape, the last
// path component is the text after the last "/" (trailing ones aside), so an
// address whose last such piece cannot read "robots.txt" or "sitemap…" is
// settled without parsing. (The piece is the host when there is no path, and
// a text without any "/" may be a path of its own: the parser then has the
// last word.)
bool isAuxiliary(const GraphNode& node) {
    const std::string_view url = node.url ? std::string_view(*node.url) : std::string_view();
    std::string_view path = url.substr(0, std::min(url.find('?'), url.find('#')));
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos && path.find('%') == std::string_view::npos) {
        const std::string_view last = path.substr(slash + 1);
        if (!equalsIgnoringASCIICase(last, "robots.txt") &&
            !equalsIgnoringASCIICase(last.substr(0, 7), "sitemap"))
            return false;
    }
    return AgentSurfaceAssessment::isAuxiliary(node);
}

int column(NodeKind kind) {
    switch (kind) {
    case NodeKind::domain:
        return 0;
    case NodeKind::discovery:
        return 1;
    case NodeKind::manifest:
        return 2;
    case NodeKind::endpoint:
    case NodeKind::mcp:
        return 3;
    case NodeKind::tool:
    case NodeKind::resource:
    case NodeKind::prompt:
        return 4;
    case NodeKind::content:
        return 5;
    }
    return 5;
}

constexpr int columnCount = 6;

} // namespace

namespace SchemaGraphEngine {

bool isVisible(const GraphNode& node, bool includeContent, bool includeMissing) {
    if (!includeContent) {
        if (node.kind == NodeKind::content || isAuxiliary(node)) return false;
        if (includeMissing) return true;
    } else if (includeMissing) {
        return true;
    }
    if (node.summary.starts_with("Declared reference")) return false;
    if (node.status == FindingStatus::notFound || node.status == FindingStatus::blocked ||
        node.status == FindingStatus::pending)
        return false;
    if (node.kind == NodeKind::domain || node.kind == NodeKind::content) return true;
    if (node.kind == NodeKind::mcp) return node.status == FindingStatus::valid;
    if (includeContent && isAuxiliary(node)) return true;
    return node.isAgentDocument.value_or(true);
}

std::vector<GraphNode> visibleNodes(const std::vector<GraphNode>& nodes, bool includeContent,
                                    bool includeMissing) {
    std::vector<GraphNode> visible;
    for (const GraphNode& node : nodes)
        if (isVisible(node, includeContent, includeMissing)) visible.push_back(node);
    return visible;
}

GraphLayout layout(const std::vector<GraphNode>& nodes, const std::vector<GraphEdge>& edges,
                   bool includeContent, bool includeMissing) {
    std::array<std::vector<const GraphNode*>, columnCount> columns;
    for (const GraphNode& node : nodes)
        if (isVisible(node, includeContent, includeMissing))
            columns[static_cast<std::size_t>(column(node.kind))].push_back(&node);

    std::size_t tallest = 0;
    int lastColumn = -1;
    for (int c = 0; c < columnCount; ++c) {
        const auto& members = columns[static_cast<std::size_t>(c)];
        tallest = std::max(tallest, members.size());
        if (!members.empty()) lastColumn = c;
    }
    const double height = std::max(660.0, 92.0 * static_cast<double>(tallest) + 80);

    GraphLayout result;
    for (int c = 0; c < columnCount; ++c) {
        auto& members = columns[static_cast<std::size_t>(c)];
        // Servers head their column; the rest go by kind name, then by id.
        std::stable_sort(members.begin(), members.end(),
                         [](const GraphNode* a, const GraphNode* b) {
                             const bool aServer = a->kind == NodeKind::mcp;
                             const bool bServer = b->kind == NodeKind::mcp;
                             if (aServer != bServer) return aServer;
                             if (a->kind != b->kind) return toString(a->kind) < toString(b->kind);
                             return a->id < b->id;
                         });
        const double count = static_cast<double>(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const GraphNode& node = *members[i];
            // A repeated id keeps the frame of its first place.
            result.frames.emplace(
                node.id, GraphRect{70.0 + 286.0 * c,
                                   92.0 * static_cast<double>(i) + (height - 92.0 * count) / 2,
                                   node.kind == NodeKind::domain ? 220.0 : 232.0, 76});
        }
    }
    for (const GraphEdge& edge : edges)
        if (edge.source != edge.target && result.frames.contains(edge.source) &&
            result.frames.contains(edge.target))
            result.edges.push_back(edge);
    result.bounds = {0, 0, lastColumn < 0 ? 386.0 : 286.0 * (lastColumn + 1) + 100, height};
    return result;
}

std::vector<std::string> validateEvidence(const ScanReport& report) {
    std::unordered_set<std::string_view> nodeIDs;
    for (const GraphNode& node : report.nodes)
        nodeIDs.insert(node.id);
    std::unordered_set<std::string_view> evidenceIDs;
    for (const Evidence& record : report.evidence)
        evidenceIDs.insert(record.id);
    std::vector<std::string> problems;
    for (const GraphEdge& edge : report.edges) {
        if (!nodeIDs.contains(edge.source) || !nodeIDs.contains(edge.target))
            problems.push_back("Dangling edge: " + edge.id());
        else if (!evidenceIDs.contains(edge.evidenceID) || edge.locator.empty())
            problems.push_back("Unsubstantiated edge: " + edge.id());
    }
    return problems;
}

} // namespace SchemaGraphEngine
} // namespace quorilanth
