#pragma once

// The scan model in one include: the report and every record it holds.
#include "core/base/Date.h"
#include "core/base/JSONValue.h"
#include "core/base/QuorilanthError.h"
#include "core/base/SharedString.h"
#include "core/base/UUID.h"
#include "core/model/Evidence.h"
#include "core/model/FindingStatus.h"
#include "core/model/GraphEdge.h"
#include "core/model/GraphNode.h"
#include "core/model/MCPServer.h"
#include "core/model/MCPTool.h"
#include "core/model/NodeKind.h"
#include "core/model/ScoreCheck.h"
#include "core/model/ToolSafety.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorilanth {

// One scan, and the saved-scan document. Copied on every progress step: the
// evidence bodies and JSON payloads inside are shared, not duplicated.
struct ScanReport {
    std::string id;
    std::string domain;
    Date startedAt{};
    std::optional<Date> finishedAt;
    std::vector<GraphNode> nodes;
    std::vector<GraphEdge> edges;
    std::vector<Evidence> evidence;
    std::vector<MCPServer> servers;
    std::vector<ScoreCheck> checks;
    std::vector<std::string> notices;
    bool cancelled = false;
    std::string scoringVersion = "1.1";

    // Empty id and the epoch; for readers that fill every field themselves.
    ScanReport() = default;
    // A new report: a fresh UUID, started now, the domain as given.
    explicit ScanReport(std::string domain);

    // Replaces the node with the same id (whole, at its position), else appends it.
    void upsert(GraphNode node);
    // Appends the edge unless one with the same id() is already there.
    void connect(GraphEdge edge);
    // Points of the passed checks.
    std::int64_t score() const noexcept;

    // Lookups by id (first match), nullptr when missing.
    const GraphNode* findNode(std::string_view id) const noexcept;
    const Evidence* findEvidence(std::string_view id) const noexcept;
};

} // namespace quorilanth
