#pragma once

#include "core/model/ScanReport.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace quorilanth {

// A rectangle in points, origin at the top left, y growing downwards.
struct GraphRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const noexcept { return x + width; }
    double maxY() const noexcept { return y + height; }
    double midX() const noexcept { return x + width / 2; }
    double midY() const noexcept { return y + height / 2; }
    // Whether the two share interior points; touching edges do not count.
    bool intersects(const GraphRect& other) const noexcept {
        return x < other.maxX() && other.x < maxX() && y < other.maxY() && other.y < maxY();
    }

    friend bool operator==(const GraphRect&, const GraphRect&) = default;
};

// The plain column layout of the visible observations.
struct GraphLayout {
    std::unordered_map<std::string, GraphRect> frames;
    GraphRect bounds;
    // The edges that join two different laid-out nodes, in report order.
    std::vector<GraphEdge> edges;
};

// Which observations the schema shows, and two plain operations over a report
// that no screen needs but that callers of the core may.
namespace SchemaGraphEngine {

// includeContent: content nodes and robots and sitemap documents are shown.
// includeMissing: missing, blocked, pending and declared-only observations,
// servers that did not verify and documents that are not agent documents are
// shown.
bool isVisible(const GraphNode& node, bool includeContent, bool includeMissing);
std::vector<GraphNode> visibleNodes(const std::vector<GraphNode>& nodes, bool includeContent,
                                    bool includeMissing);

GraphLayout layout(const std::vector<GraphNode>& nodes, const std::vector<GraphEdge>& edges,
                   bool includeContent, bool includeMissing);

// One problem text per edge that names a missing node, a missing evidence
// record or no place in its document, in report order.
std::vector<std::string> validateEvidence(const ScanReport& report);

} // namespace SchemaGraphEngine

} // namespace quorilanth
