#pragma once

// Internal to the update channel: strict JSON reading with exact integers.
// Only the core's own sources include this (it exposes RapidJSON types).

#include <cstdint>
#include <map>
#include <optional>
#include <rapidjson/document.h>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth::updatejson {

// One JSON document from the whole text: valid UTF-8, nothing after it, nested
// at most 512 levels deep. False on any failure.
bool parse(std::string_view text, rapidjson::Document& document);

// Reads the members of one object by type and throws std::invalid_argument on
// a missing member, a wrong type or a key given twice (which would leave it
// open which of the two values was meant).
class ObjectReader {
public:
    explicit ObjectReader(const rapidjson::Value& value);

    const rapidjson::Value& member(std::string_view key) const;
    std::string string(std::string_view key) const;
    // Only a number written as an integer that fits 64 bits; never through a double.
    std::int64_t integer(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::vector<std::string> strings(std::string_view key) const;
    std::map<std::string, std::string> stringMap(std::string_view key) const;

private:
    const rapidjson::Value& object_;
};

} // namespace quorilanth::updatejson

namespace quorilanth {
struct UpdateRelease;
}

namespace quorilanth::updatejson {
// The ten members of a release object; throws std::invalid_argument.
UpdateRelease readRelease(const rapidjson::Value& value);
} // namespace quorilanth::updatejson
