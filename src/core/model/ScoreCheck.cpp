#include "core/model/ScoreCheck.h"

#include "core/base/Hashing.h"

namespace quorilanth {

std::size_t hashValue(const ScoreCheck& c) noexcept {
    using detail::hashField;
    std::size_t seed = 0;
    hashField(seed, c.id);
    hashField(seed, c.category);
    hashField(seed, c.points);
    hashField(seed, c.passed);
    hashField(seed, c.explanation);
    for (const std::string& id : c.evidenceIDs)
        hashField(seed, id);
    return seed;
}

} // namespace quorilanth
