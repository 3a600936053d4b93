#pragma once

#include "core/base/JSONValue.h"
#include "core/model/FindingStatus.h"
#include "core/model/NodeKind.h"

#include <optional>
#include <string>
#include <vector>

namespace quorilanth {

// One observation of the graph.
struct GraphNode {
    std::string id;
    NodeKind kind = NodeKind::domain;
    std::string label;
    std::optional<std::string> url;
    FindingStatus status = FindingStatus::pending;
    std::string summary;
    std::optional<bool> isAgentDocument;
    std::vector<std::string> evidenceIDs;
    JSONValue metadata = JSONValue::emptyObject();
    std::vector<std::string> issues;

    GraphNode() = default;
    // Summary empty, agent-document flag absent, no evidence, metadata an empty
    // object, no issues.
    GraphNode(std::string id, NodeKind kind, std::string label, std::optional<std::string> url,
              FindingStatus status);

    friend bool operator==(const GraphNode&, const GraphNode&) = default;
};

std::size_t hashValue(const GraphNode& node) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::GraphNode> {
    std::size_t operator()(const quorilanth::GraphNode& n) const noexcept {
        return quorilanth::hashValue(n);
    }
};
