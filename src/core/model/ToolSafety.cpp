#include "core/model/ToolSafety.h"

namespace quorilanth {

namespace {
constexpr std::array<std::string_view, 3> kRawValues{"READ-ONLY", "MUTATING", "UNKNOWN"};
}

std::string_view toString(ToolSafety safety) noexcept {
    return kRawValues[static_cast<std::size_t>(safety)];
}

std::optional<ToolSafety> toolSafetyFromString(std::string_view text) noexcept {
    for (ToolSafety safety : allToolSafeties)
        if (toString(safety) == text) return safety;
    return std::nullopt;
}

} // namespace quorilanth
