#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorilanth {

// The verdict on an observation or a server.
enum class FindingStatus {
    found,
    valid,
    invalid,
    unreachable,
    unsupported,
    notFound,
    blocked,
    pending
};

// Every case in declaration order.
inline constexpr std::array<FindingStatus, 8> allFindingStatuses{
    FindingStatus::found,       FindingStatus::valid,       FindingStatus::invalid,
    FindingStatus::unreachable, FindingStatus::unsupported, FindingStatus::notFound,
    FindingStatus::blocked,     FindingStatus::pending};

// The raw value: the upper-case word shown to users ("NOT FOUND" with a blank),
// also the written form.
std::string_view toString(FindingStatus status) noexcept;
// Exact, case-sensitive match of a raw value; "notFound" or "Found" give no value.
std::optional<FindingStatus> findingStatusFromString(std::string_view text) noexcept;

} // namespace quorilanth
