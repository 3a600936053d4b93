#include "core/base/JSONRecord.h"

#include "core/base/PrettyJSONWriter.h"

namespace quorilanth::JSONRecord {

namespace {

std::string_view kindName(const JSONValue& value) {
    switch (value.kind()) {
    case JSONValue::Kind::object:
        return "an object";
    case JSONValue::Kind::array:
        return "an array";
    case JSONValue::Kind::string:
        return "a string";
    case JSONValue::Kind::number:
        return "a number";
    case JSONValue::Kind::boolean:
        return "a boolean";
    case JSONValue::Kind::null:
        return "null";
    }
    return "a value";
}

} // namespace

[[noreturn]] void fail(const Path& path, const std::string& fault) {
    throw QuorilanthError("Cannot read " + std::string(path.root().document) + ": " + path.text() +
                          ": " + fault);
}

[[noreturn]] void wrongType(const JSONValue& value, const Path& path, std::string_view expected) {
    fail(path,
         "expected " + std::string(expected) + ", found " + std::string(kindName(value)) + ".");
}

const JSONValue::Object& readObject(const JSONValue& value, const Path& path) {
    if (const JSONValue::Object* members = value.object()) return *members;
    wrongType(value, path, "an object");
}

std::string_view readText(const JSONValue& value, const Path& path) {
    if (const std::optional<std::string_view> text = value.string()) return *text;
    wrongType(value, path, "a string");
}

std::string readString(const JSONValue& value, const Path& path) {
    return std::string(readText(value, path));
}

double readDouble(const JSONValue& value, const Path& path) {
    if (std::optional<double> number = value.number()) return *number;
    wrongType(value, path, "a number");
}

std::int64_t readInteger(const JSONValue& value, const Path& path) {
    // Exact: through a double, 9223372036854775807 would read as 2^63 and be refused.
    if (std::optional<std::int64_t> whole = value.integer()) return *whole;
    fail(path, "expected a whole number, found " +
                   PrettyJSONWriter::formatNumber(readDouble(value, path)).value_or("?") + ".");
}

bool readBool(const JSONValue& value, const Path& path) {
    if (std::optional<bool> flag = value.boolean()) return *flag;
    wrongType(value, path, "a boolean");
}

Date readDate(const JSONValue& value, const Path& path) {
    const std::string_view text = readText(value, path);
    if (std::optional<Date> date = parseISO8601(text)) return *date;
    fail(path, "\"" + std::string(text) + "\" is not a date of the form 2026-01-31T08:05:09Z.");
}

std::vector<std::string> readStrings(const JSONValue& value, const Path& path) {
    return readList<std::string>(value, path, readString);
}

} // namespace quorilanth::JSONRecord
