#pragma once

#include <string>

namespace quorilanth {

// A directed, evidence-backed relationship between two nodes.
struct GraphEdge {
    std::string source;
    std::string target;
    std::string relation;
    std::string evidenceID;
    std::string locator;

    // source|target|relation|locator, joined as plain text. The evidence is not
    // part of it: the same reference seen twice is one edge.
    std::string id() const;

    friend bool operator==(const GraphEdge&, const GraphEdge&) = default;
};

std::size_t hashValue(const GraphEdge& edge) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::GraphEdge> {
    std::size_t operator()(const quorilanth::GraphEdge& e) const noexcept {
        return quorilanth::hashValue(e);
    }
};
