// Hostile bytes through the JSON reader and the report reader. Neither may
// crash or throw anything but its documented error, whatever either one
// accepts must come back unchanged through the writer, and reading the bytes
// in small pieces must end exactly as reading them whole.
#include "core/model/ReportJSON.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

using namespace quorilanth;

namespace {

// The value read, or the message of the refusal.
std::string outcome(const std::function<JSONValue()>& parse) {
    try {
        return "value " + parse().pretty();
    } catch (const JSONParseError& error) {
        return "error " + error.message();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        JSONValue value = JSONValue::parse(text);
        std::string pretty = value.pretty();
        if (JSONValue::parse(pretty) != value || JSONValue::parse(pretty).pretty() != pretty)
            __builtin_trap();
    } catch (const JSONParseError&) {
    }
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 7;
    std::size_t at = 0;
    const JSONValue::Reader inPieces = [&](char* buffer, std::size_t capacity) {
        std::size_t count = std::min({piece, capacity, size - at});
        std::memcpy(buffer, data + at, count);
        at += count;
        return count;
    };
    if (outcome([&] { return JSONValue::parse(text); }) !=
        outcome([&] { return JSONValue::parse(inPieces, JSONValue::kMaxNesting); }))
        __builtin_trap();
    try {
        std::string written = ReportJSON::write(ReportJSON::read(text));
        if (ReportJSON::write(ReportJSON::read(written)) != written) __builtin_trap();
    } catch (const QuorilanthError&) {
    }
    return 0;
}
