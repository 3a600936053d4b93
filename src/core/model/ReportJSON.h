#pragma once

#include "core/model/ScanReport.h"

#include <string>
#include <string_view>

namespace quorilanth {

// The one JSON form of a report: what the library saves, the JSON export writes
// and a report file holds.
namespace ReportJSON {

// UTF-8 bytes laid out by the shared pretty writer (two-space indent, " : ",
// keys in byte order at every level, plain slashes, dates in UTC to the second,
// absent optionals left out). Throws QuorilanthError when a number somewhere is
// not finite; nothing is produced then.
std::string write(const ScanReport& report);

// Strict: the whole text must be one report object; every required key present
// with the right type, enumerations by their exact raw values, dates to the whole
// second. Unknown keys are ignored. Any failure throws QuorilanthError naming the
// place ("$.nodes[2].status") and the fault; nothing is read partially.
ScanReport read(std::string_view bytes);

} // namespace ReportJSON

} // namespace quorilanth
