#pragma once

#include "core/model/ScanReport.h"

#include <array>
#include <string_view>
#include <vector>

namespace quorilanth::ReadinessScorer {

// The seven category names in display order; every check's category is one of them.
inline constexpr std::array<std::string_view, 7> categories{
    "Discovery", "Structured Data", "MCP", "Provenance", "Localization", "Reliability", "Actions"};

// The sixteen readiness checks of a report, in their fixed order. A pure function
// of the report: the caller assigns the result to the report's checks.
std::vector<ScoreCheck> score(const ScanReport& report);

} // namespace quorilanth::ReadinessScorer
