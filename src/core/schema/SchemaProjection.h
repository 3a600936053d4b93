#pragma once

#include "core/model/ScanReport.h"
#include "core/schema/SchemaGraphEngine.h"
#include "core/schema/SharedRefs.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorilanth {

// What the schema shows: the whole site, every visible observation of one
// kind, or one observation and its direct neighbours.
class SchemaScope {
public:
    enum class Case { overview, group, branch };

    SchemaScope() = default; // the overview
    static SchemaScope overview() { return {}; }
    static SchemaScope group(NodeKind kind);
    static SchemaScope branch(std::string nodeID);

    Case which() const noexcept { return case_; }
    // The kind of a group scope; domain for the others.
    NodeKind kind() const noexcept { return kind_; }
    // The node of a branch scope; empty for the others.
    const std::string& nodeID() const noexcept { return nodeID_; }

    friend bool operator==(const SchemaScope&, const SchemaScope&) = default;

private:
    Case case_ = Case::overview;
    NodeKind kind_ = NodeKind::domain;
    std::string nodeID_;
};

// One card of a scene: a single observation, or every visible observation of
// one kind.
struct SchemaCard {
    class ID {
    public:
        ID() = default; // the observation card of the empty id
        static ID observation(std::string nodeID);
        static ID group(NodeKind kind);

        bool isGroup() const noexcept { return group_; }
        // The kind of a group card; domain for an observation card.
        NodeKind kind() const noexcept { return kind_; }
        // The node of an observation card; empty for a group card.
        const std::string& nodeID() const noexcept { return nodeID_; }

        friend bool operator==(const ID&, const ID&) = default;
        std::size_t hash() const noexcept;

    private:
        bool group_ = false;
        NodeKind kind_ = NodeKind::domain;
        std::string nodeID_;
    };

    ID id;
    NodeKind kind = NodeKind::domain;
    // One node for an observation card, all of the kind's visible nodes (two or
    // more) for a group card, in member order: label lower-cased, then id.
    SharedRefs<GraphNode> members;

    bool isGroup() const noexcept { return id.isGroup(); }
    friend bool operator==(const SchemaCard&, const SchemaCard&) = default;
};

// The report edges from the nodes of one card to the nodes of another,
// aggregated; the opposite direction is another connection.
struct SchemaConnection {
    SchemaCard::ID source;
    SchemaCard::ID target;
    // In report order, never empty.
    SharedRefs<GraphEdge> evidence;

    friend bool operator==(const SchemaConnection&, const SchemaConnection&) = default;
};

} // namespace quorilanth

template <> struct std::hash<quorilanth::SchemaCard::ID> {
    std::size_t operator()(const quorilanth::SchemaCard::ID& id) const noexcept {
        return id.hash();
    }
};

namespace quorilanth {

// One page of one scope, ready to draw. Cards never share an id, every card
// has a frame, and no two frames overlap. The canvas compares successive
// scenes to skip redrawing, so equality covers every field.
struct SchemaScene {
    SchemaScope scope;
    std::vector<SchemaCard> cards;
    std::unordered_map<SchemaCard::ID, GraphRect> frames;
    GraphRect bounds;
    // In the order of their first edge.
    std::vector<SchemaConnection> connections;
    // Edges of this page whose two ends lie on one card, in report order.
    SharedRefs<GraphEdge> internalEdges;
    // Counts over the whole report, whatever the scope.
    std::int64_t eligibleNodeCount = 0;
    std::int64_t eligibleEdgeCount = 0;
    // What the scope pages over: a group's matching nodes, a branch's matching
    // neighbours, every visible node in the overview.
    std::int64_t totalItems = 0;
    // From 0, after clamping.
    std::int64_t page = 0;
    std::int64_t pageCount = 1;

    const GraphRect* frame(const SchemaCard::ID& id) const {
        const auto it = frames.find(id);
        return it == frames.end() ? nullptr : &it->second;
    }

    friend bool operator==(const SchemaScene& a, const SchemaScene& b);
};

// Turns a report into the scene of one scope. Pure: no state, no failure.
namespace SchemaProjection {

// The smallest magnification of the schema view.
inline constexpr double minimumZoom = 0.8;

inline constexpr std::int64_t groupPageSize = 12;
inline constexpr std::int64_t branchPageSize = 6;

// page: any value, clamped to the pages there are. query: the filter as typed,
// used by group and branch scopes only. The two flags go to the visibility rule.
// The scene's members and edges point into the report, which it shares.
SchemaScene scene(std::shared_ptr<const ScanReport> report, const SchemaScope& scope,
                  std::int64_t page, std::string_view query, bool includeContent,
                  bool includeMissing);
// For a report the caller does not share: the scene keeps a copy of it.
SchemaScene scene(const ScanReport& report, const SchemaScope& scope, std::int64_t page,
                  std::string_view query, bool includeContent, bool includeMissing);

} // namespace SchemaProjection

} // namespace quorilanth
