#include "core/model/GraphEdge.h"

#include "core/base/Hashing.h"

namespace quorilanth {

std::string GraphEdge::id() const {
    std::string joined;
    joined.reserve(source.size() + target.size() + relation.size() + locator.size() + 3);
    joined.append(source).append("|").append(target).append("|").append(relation);
    joined.append("|").append(locator);
    return joined;
}

std::size_t hashValue(const GraphEdge& e) noexcept {
    using detail::hashField;
    std::size_t seed = 0;
    for (const std::string* field : {&e.source, &e.target, &e.relation, &e.evidenceID, &e.locator})
        hashField(seed, *field);
    return seed;
}

} // namespace quorilanth
