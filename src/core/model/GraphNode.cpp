#include "core/model/GraphNode.h"

#include "core/base/Hashing.h"

namespace quorilanth {

GraphNode::GraphNode(std::string id, NodeKind kind, std::string label,
                     std::optional<std::string> url, FindingStatus status)
    : id(std::move(id)), kind(kind), label(std::move(label)), url(std::move(url)), status(status) {}

std::size_t hashValue(const GraphNode& n) noexcept {
    using detail::hashField;
    std::size_t seed = 0;
    hashField(seed, n.id);
    hashField(seed, n.kind);
    hashField(seed, n.label);
    hashField(seed, n.url);
    hashField(seed, n.status);
    hashField(seed, n.summary);
    hashField(seed, n.isAgentDocument);
    for (const std::string& id : n.evidenceIDs)
        hashField(seed, id);
    hashField(seed, n.metadata);
    for (const std::string& issue : n.issues)
        hashField(seed, issue);
    return seed;
}

} // namespace quorilanth
