// Hostile bytes through the JSON reader and the report reader. Neither may
// crash or throw anything but its documented error, and whatever either one
// accepts must come back unchanged through the writer.
#include "core/model/ReportJSON.h"

#include <cstdint>
#include <string>
#include <string_view>

using namespace quorilanth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        JSONValue value = JSONValue::parse(text);
        std::string pretty = value.pretty();
        if (JSONValue::parse(pretty) != value || JSONValue::parse(pretty).pretty() != pretty)
            __builtin_trap();
    } catch (const JSONParseError&) {
    }
    try {
        std::string written = ReportJSON::write(ReportJSON::read(text));
        if (ReportJSON::write(ReportJSON::read(written)) != written) __builtin_trap();
    } catch (const QuorilanthError&) {
    }
    return 0;
}
