#pragma once

#include "core/model/ReportJSON.h"
#include "core/model/ScanReport.h"

#include <cstdint>
#include <string>

namespace quorilanth {

// The three export forms of one report. Each reads the report only.
namespace ReportGenerator {

// The report's JSON form, the same bytes a saved scan holds, except that the
// values of the response headers "set-cookie" and "mcp-session-id" (in any
// letter case) are written as "[REDACTED]". Throws the JSON writer's
// QuorilanthError when a number in the report is not finite.
std::string json(const ScanReport& report);
// The same bytes handed to sink in pieces (see ReportJSON::write).
void json(const ScanReport& report, const ReportJSON::Sink& sink);

// A self-contained Markdown summary for people. Never fails.
std::string markdown(const ScanReport& report);

// A paginated A4 PDF document. Throws QuorilanthError with
// "Cannot create PDF output." or "Cannot create PDF context.".
std::string pdf(const ScanReport& report);

// A latency shown as a whole number of milliseconds: the fraction dropped
// toward zero, values beyond the 64-bit range clamped to its ends, and a
// value that is not a number shown as 0. A report file may hold any double.
std::int64_t wholeMilliseconds(double milliseconds) noexcept;

} // namespace ReportGenerator

} // namespace quorilanth
