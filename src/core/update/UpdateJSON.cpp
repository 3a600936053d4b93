#include "core/update/UpdateJSON.h"

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

namespace quorilanth::updatejson {
namespace {

constexpr int kMaximumDepth = 512;

// Forwards every event to the document, refusing nesting beyond the limit so
// that neither parsing nor the document's recursive destruction can exhaust
// the stack.
struct DepthLimitedHandler {
    rapidjson::Document& target;
    int depth = 0;

    bool Null() { return target.Null(); }
    bool Bool(bool b) { return target.Bool(b); }
    bool Int(int i) { return target.Int(i); }
    bool Uint(unsigned u) { return target.Uint(u); }
    bool Int64(std::int64_t i) { return target.Int64(i); }
    bool Uint64(std::uint64_t u) { return target.Uint64(u); }
    bool Double(double d) { return target.Double(d); }
    bool RawNumber(const char* s, rapidjson::SizeType n, bool copy) {
        return target.RawNumber(s, n, copy);
    }
    bool String(const char* s, rapidjson::SizeType n, bool copy) {
        return target.String(s, n, copy);
    }
    bool Key(const char* s, rapidjson::SizeType n, bool copy) { return target.Key(s, n, copy); }
    bool StartObject() { return ++depth <= kMaximumDepth && target.StartObject(); }
    bool EndObject(rapidjson::SizeType n) {
        --depth;
        return target.EndObject(n);
    }
    bool StartArray() { return ++depth <= kMaximumDepth && target.StartArray(); }
    bool EndArray(rapidjson::SizeType n) {
        --depth;
        return target.EndArray(n);
    }
};

[[noreturn]] void fail(std::string_view what, std::string_view key) {
    throw std::invalid_argument(std::string(what) + " \"" + std::string(key) + "\"");
}

std::string_view view(const rapidjson::Value& string) {
    return {string.GetString(), string.GetStringLength()};
}

} // namespace

bool parse(std::string_view text, rapidjson::Document& document) {
    constexpr unsigned flags = rapidjson::kParseIterativeFlag |
                               rapidjson::kParseValidateEncodingFlag |
                               rapidjson::kParseFullPrecisionFlag;
    bool parsed = false;
    auto generate = [&](rapidjson::Document& target) {
        DepthLimitedHandler handler{target};
        rapidjson::MemoryStream stream(text.data(), text.size());
        rapidjson::Reader reader;
        // The stream reads a NUL byte as its end, so a document followed by a
        // NUL and more bytes must be caught by the position as well.
        parsed = !reader.Parse<flags>(stream, handler).IsError() && stream.Tell() == text.size();
        return parsed;
    };
    document.Populate(generate);
    return parsed;
}

ObjectReader::ObjectReader(const rapidjson::Value& value) : object_(value) {
    if (!value.IsObject()) throw std::invalid_argument("expected a JSON object");
    std::unordered_set<std::string_view> seen;
    for (const auto& entry : value.GetObject())
        if (!seen.insert(view(entry.name)).second) fail("duplicate key", view(entry.name));
}

const rapidjson::Value& ObjectReader::member(std::string_view key) const {
    for (const auto& entry : object_.GetObject())
        if (view(entry.name) == key) return entry.value;
    fail("missing key", key);
}

std::string ObjectReader::string(std::string_view key) const {
    const auto& value = member(key);
    if (!value.IsString()) fail("expected a string for", key);
    return std::string(view(value));
}

std::int64_t ObjectReader::integer(std::string_view key) const {
    const auto& value = member(key);
    if (!value.IsInt64()) fail("expected an integer for", key);
    return value.GetInt64();
}

bool ObjectReader::boolean(std::string_view key) const {
    const auto& value = member(key);
    if (!value.IsBool()) fail("expected a boolean for", key);
    return value.GetBool();
}

std::vector<std::string> ObjectReader::strings(std::string_view key) const {
    const auto& value = member(key);
    if (!value.IsArray()) fail("expected an array for", key);
    std::vector<std::string> result;
    for (const auto& element : value.GetArray()) {
        if (!element.IsString()) fail("expected strings in", key);
        result.emplace_back(view(element));
    }
    return result;
}

std::map<std::string, std::string> ObjectReader::stringMap(std::string_view key) const {
    ObjectReader inner(member(key));
    std::map<std::string, std::string> result;
    for (const auto& entry : inner.object_.GetObject()) {
        if (!entry.value.IsString()) fail("expected string values in", key);
        result.emplace(view(entry.name), view(entry.value));
    }
    return result;
}

} // namespace quorilanth::updatejson
