#include "core/model/FindingStatus.h"

namespace quorilanth {

namespace {
constexpr std::array<std::string_view, 8> kRawValues{
    "FOUND", "VALID", "INVALID", "UNREACHABLE", "UNSUPPORTED", "NOT FOUND", "BLOCKED", "PENDING"};
}

std::string_view toString(FindingStatus status) noexcept {
    return kRawValues[static_cast<std::size_t>(status)];
}

std::optional<FindingStatus> findingStatusFromString(std::string_view text) noexcept {
    for (FindingStatus status : allFindingStatuses)
        if (toString(status) == text) return status;
    return std::nullopt;
}

} // namespace quorilanth
