#pragma once

#include "core/model/ScanReport.h"

#include <cstdint>
#include <string>

namespace quorilanth::samples {

// Fixed dates for reports whose written form must not change from run to run.
Date sampleDate(int secondsAfterStart, int milliseconds = 0);

// A report as a fresh scan leaves it: no finish time, every list empty.
ScanReport minimalSampleReport();

// A finished, cancelled report that uses every optional field, every record kind,
// escapes, non-ASCII text and numbers of several layouts.
ScanReport fullSampleReport();

// A random but valid report (and the JSON values inside it) from a seed, for
// round-trip properties.
JSONValue randomJSONValue(std::uint64_t seed, int maxDepth = 4);
ScanReport randomReport(std::uint64_t seed);

// A text file under tests/fixtures, read whole.
std::string readFixture(const std::string& relativePath);

} // namespace quorilanth::samples
