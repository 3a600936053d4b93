#pragma once

#include "core/model/ScanReport.h"

#include <array>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quorilanth::ReadinessScorer {

// The seven category names in display order; every check's category is one of them.
inline constexpr std::array<std::string_view, 7> categories{
    "Discovery", "Structured Data", "MCP", "Provenance", "Localization", "Reliability", "Actions"};

// The sixteen readiness checks of a report, in their fixed order. A pure function
// of the report: the caller assigns the result to the report's checks.
std::vector<ScoreCheck> score(const ScanReport& report);

// The nodes whose metadata a tool run answered (its result and the items the
// result declares), not what the site served. The run itself is observed; what
// the tool says about provenance, languages or the site is only its claim, and
// the score must not depend on which tools somebody happened to call.
std::unordered_set<std::string_view> toolAnswers(const ScanReport& report);

// What a category's checks earned of what they could earn. Points come from
// report files too and may be anything, so the sums saturate instead of
// overflowing.
struct CategoryPoints {
    std::int64_t earned = 0;
    std::int64_t available = 0;

    // earned x 100 / max(available, 1), the quotient truncated and held to the
    // 64-bit range (7 of 15 gives 46).
    std::int64_t percent() const noexcept;
    // earned / max(available, 1), unrounded.
    double fraction() const noexcept;
};

// Over the checks whose category equals the name exactly.
CategoryPoints categoryPoints(const ScanReport& report, std::string_view category) noexcept;

} // namespace quorilanth::ReadinessScorer
