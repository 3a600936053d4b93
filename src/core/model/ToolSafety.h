#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorilanth {

// What a tool declares about its effect on remote state.
enum class ToolSafety { readOnly, mutating, unknown };

// Every case in declaration order.
inline constexpr std::array<ToolSafety, 3> allToolSafeties{
    ToolSafety::readOnly, ToolSafety::mutating, ToolSafety::unknown};

// The raw value: "READ-ONLY", "MUTATING", "UNKNOWN" (label and written form).
std::string_view toString(ToolSafety safety) noexcept;
// Exact, case-sensitive match of a raw value; "readOnly" gives no value.
std::optional<ToolSafety> toolSafetyFromString(std::string_view text) noexcept;

} // namespace quorilanth
