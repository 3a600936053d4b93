#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorilanth {

// The result of one readiness check.
struct ScoreCheck {
    std::string id;
    std::string category;
    std::int64_t points = 0;
    bool passed = false;
    std::string explanation;
    std::vector<std::string> evidenceIDs;

    // The points when passed, else 0.
    std::int64_t earned() const noexcept { return passed ? points : 0; }

    friend bool operator==(const ScoreCheck&, const ScoreCheck&) = default;
};

std::size_t hashValue(const ScoreCheck& check) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::ScoreCheck> {
    std::size_t operator()(const quorilanth::ScoreCheck& c) const noexcept {
        return quorilanth::hashValue(c);
    }
};
