#include "core/model/ReportJSON.h"

#include "core/model/PrettyJSONWriter.h"

namespace quorilanth::ReportJSON {

std::string write(const ScanReport&) { throw QuorilanthError("Not implemented yet."); }

ScanReport read(std::string_view) { throw QuorilanthError("Not implemented yet."); }

} // namespace quorilanth::ReportJSON
