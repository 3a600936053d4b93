#pragma once

#include "core/base/Date.h"
#include "core/base/JSONValue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quorilanth {

// Strict reading of records from a parsed JSON document: every fault throws
// QuorilanthError "Cannot read <document>: <place>: <fault>", the place
// spelled as "$.nodes[2].status", so every stored form reports its faults
// alike.
namespace JSONRecord {

// Where in the document a value stands, kept as a chain on the stack and only
// spelled out ("$.nodes[2].status") when something fails. The root names the
// document and where in it the read began.
struct Path {
    const Path* parent = nullptr;
    std::string_view key = "$";
    std::size_t index = 0;
    bool isIndex = false;
    std::string_view document = "the report";

    Path member(std::string_view name) const { return Path{this, name, 0, false, {}}; }
    Path element(std::size_t position) const { return Path{this, {}, position, true, {}}; }

    std::string text() const {
        if (!parent) return std::string(key);
        std::string prefix = parent->text();
        return isIndex ? prefix + "[" + std::to_string(index) + "]"
                       : prefix + "." + std::string(key);
    }
    const Path& root() const { return parent ? parent->root() : *this; }
};

[[noreturn]] void fail(const Path& path, const std::string& fault);
// "expected <expected>, found <the value's kind>."
[[noreturn]] void wrongType(const JSONValue& value, const Path& path, std::string_view expected);

const JSONValue::Object& readObject(const JSONValue& value, const Path& path);
std::string_view readText(const JSONValue& value, const Path& path);
std::string readString(const JSONValue& value, const Path& path);
double readDouble(const JSONValue& value, const Path& path);
std::int64_t readInteger(const JSONValue& value, const Path& path);
bool readBool(const JSONValue& value, const Path& path);
Date readDate(const JSONValue& value, const Path& path);
std::vector<std::string> readStrings(const JSONValue& value, const Path& path);

template <typename T, typename ReadOne>
std::vector<T> readList(const JSONValue& value, const Path& path, ReadOne readOne) {
    if (!value.isArray()) wrongType(value, path, "an array");
    const JSONValue::Array& elements = value.array();
    std::vector<T> items;
    items.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i)
        items.push_back(readOne(elements[i], path.element(i)));
    return items;
}

template <typename T, typename ReadOne> auto listOf(ReadOne readOne) {
    return [readOne](const JSONValue& v, const Path& p) { return readList<T>(v, p, readOne); };
}

// One record's object: required and optional members by key.
class Members {
public:
    Members(const JSONValue& value, const Path& path)
        : members_(readObject(value, path)), path_(path) {}

    // Present (null included: each reader decides what a null means for it).
    template <typename Read> auto required(std::string_view key, Read read) const {
        auto it = members_.find(key);
        if (it == members_.end()) fail(path_, "missing key \"" + std::string(key) + "\".");
        return read(it->second, path_.member(key));
    }

    // Missing and null both mean absent.
    template <typename Read>
    auto optional(std::string_view key, Read read) const
        -> std::optional<std::decay_t<std::invoke_result_t<Read, const JSONValue&, const Path&>>> {
        auto it = members_.find(key);
        if (it == members_.end() || it->second.isNull()) return std::nullopt;
        return read(it->second, path_.member(key));
    }

private:
    const JSONValue::Object& members_;
    const Path& path_;
};

} // namespace JSONRecord

} // namespace quorilanth
