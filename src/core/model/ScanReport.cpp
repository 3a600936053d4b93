#include "core/model/ScanReport.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace quorilanth {

ScanReport::ScanReport(std::string domain)
    : id(newUUIDText()), domain(std::move(domain)), startedAt(std::chrono::system_clock::now()) {}

void ScanReport::upsert(GraphNode node) {
    auto it = std::find_if(nodes.begin(), nodes.end(),
                           [&](const GraphNode& existing) { return existing.id == node.id; });
    if (it != nodes.end())
        *it = std::move(node);
    else
        nodes.push_back(std::move(node));
}

void ScanReport::connect(GraphEdge edge) {
    const std::string id = edge.id();
    // The engine connects every reference it sees, so this runs once per edge
    // against every edge: the length check spares building most joined ids.
    bool known = std::any_of(edges.begin(), edges.end(), [&](const GraphEdge& existing) {
        std::size_t length = existing.source.size() + existing.target.size() +
                             existing.relation.size() + existing.locator.size() + 3;
        return length == id.size() && existing.id() == id;
    });
    if (!known) edges.push_back(std::move(edge));
}

std::int64_t ScanReport::score() const noexcept {
    // Points come from report files too, so the sum saturates instead of overflowing.
    std::int64_t sum = 0;
    for (const ScoreCheck& check : checks) {
        std::int64_t next = 0;
        if (__builtin_add_overflow(sum, check.earned(), &next))
            next = check.earned() > 0 ? std::numeric_limits<std::int64_t>::max()
                                      : std::numeric_limits<std::int64_t>::min();
        sum = next;
    }
    return sum;
}

const GraphNode* ScanReport::findNode(std::string_view nodeID) const noexcept {
    auto it = std::find_if(nodes.begin(), nodes.end(),
                           [&](const GraphNode& n) { return n.id == nodeID; });
    return it == nodes.end() ? nullptr : &*it;
}

const Evidence* ScanReport::findEvidence(std::string_view evidenceID) const noexcept {
    auto it = std::find_if(evidence.begin(), evidence.end(),
                           [&](const Evidence& e) { return e.id == evidenceID; });
    return it == evidence.end() ? nullptr : &*it;
}

} // namespace quorilanth
