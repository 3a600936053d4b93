#pragma once

#include "core/base/JSONRecord.h"
#include "core/model/ScanReport.h"

#include <functional>
#include <string>
#include <string_view>

namespace quorilanth {

class PrettyJSONWriter;

// The one JSON form of a report: what the library saves, the JSON export writes
// and a report file holds.
namespace ReportJSON {

// Receives a long text piece by piece, in order.
using Sink = std::function<void(std::string_view piece)>;

// UTF-8 bytes laid out by the shared pretty writer (two-space indent, " : ",
// keys in byte order at every level, plain slashes, dates in UTC to the second,
// absent optionals left out). Throws QuorilanthError when a number somewhere is
// not finite; nothing is produced then.
std::string write(const ScanReport& report);
// The same bytes handed to sink in pieces of about 64 KB, so that a report of
// hundreds of megabytes is never held whole. When it throws, the pieces already
// given are an unfinished text that the caller discards (a file written
// through a temporary one is simply not kept).
void write(const ScanReport& report, const Sink& sink);

// Strict: the whole text must be one report object; every required key present
// with the right type, enumerations by their exact raw values, dates to the whole
// second. Unknown keys are ignored. Any failure throws QuorilanthError naming the
// place ("$.nodes[2].status") and the fault; nothing is read partially.
ScanReport read(std::string_view bytes);
// The same, reading the text piece by piece from reader; what the reader
// throws passes through unchanged.
ScanReport read(const JSONValue::Reader& reader);

// An exchange in the form it has inside a report, for other records that carry
// exchanges of their own: written where the writer stands, and read with the
// same strictness from a parsed value, at `path` of the record that holds it.
void writeEvidence(PrettyJSONWriter& writer, const Evidence& evidence);
Evidence readEvidence(const JSONValue& value, const JSONRecord::Path& path);

} // namespace ReportJSON

} // namespace quorilanth
