#pragma once

#include "core/base/QuorilanthError.h"
#include "core/base/SharedString.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace quorilanth {

// Raised by JSONValue::parse. The message names what went wrong and the byte
// offset where the reader stopped; callers usually wrap it in a text of their own.
class JSONParseError : public QuorilanthError {
public:
    JSONParseError(const std::string& message, std::size_t offset)
        : QuorilanthError(message), offset_(offset) {}
    std::size_t offset() const noexcept { return offset_; }

private:
    std::size_t offset_;
};

// Arbitrary JSON: object, array, string, number, bool or null, in that order
// (the order is part of the hash). Payloads are immutable and shared between
// copies, so copying a value is O(1) however large it is; the mutating helpers
// copy a shared payload before changing it.
class JSONValue {
public:
    // Keys ordered by their UTF-8 bytes, which is also the order the writer needs.
    using Object = std::map<std::string, JSONValue, std::less<>>;
    using Array = std::vector<JSONValue>;

    enum class Kind : std::uint8_t { object, array, string, number, boolean, null };

    // Deepest nesting that parse accepts (the top-level container counts as one).
    static constexpr std::size_t kMaxNesting = 512;

    JSONValue() noexcept = default; // null
    JSONValue(std::nullptr_t) noexcept {}
    JSONValue(bool value) noexcept : payload_(value) {}
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::same_as<T, bool>) JSONValue(T value)
    noexcept : payload_(static_cast<double>(value)) {}
    JSONValue(SharedString value) : payload_(std::move(value)) {}
    JSONValue(std::string value) : payload_(SharedString(std::move(value))) {}
    JSONValue(std::string_view value) : payload_(SharedString(value)) {}
    JSONValue(const char* value) : payload_(SharedString(value)) {}
    JSONValue(Object value);
    JSONValue(Array value);

    static JSONValue emptyObject();
    static JSONValue emptyArray() { return JSONValue(Array{}); }

    // The value a JSON text denotes: strict JSON, any value at the top level,
    // whitespace around it allowed, nothing after it. Nesting deeper than
    // kMaxNesting, numbers beyond a double's range, invalid UTF-8 and lone
    // surrogates are refused with JSONParseError.
    static JSONValue parse(std::string_view text);
    // Same, with another nesting limit (the report reader allows for its own frame).
    static JSONValue parse(std::string_view text, std::size_t maxNesting);

    Kind kind() const noexcept { return static_cast<Kind>(payload_.index()); }
    bool isObject() const noexcept { return kind() == Kind::object; }
    bool isArray() const noexcept { return kind() == Kind::array; }
    bool isString() const noexcept { return kind() == Kind::string; }
    bool isNumber() const noexcept { return kind() == Kind::number; }
    bool isBool() const noexcept { return kind() == Kind::boolean; }
    bool isNull() const noexcept { return kind() == Kind::null; }

    // The member named key of an object; a shared null for anything else, so
    // lookups chain safely: value["a"]["b"]["c"].
    const JSONValue& operator[](std::string_view key) const noexcept;
    // The member named key, or nullptr when this is not an object or has no such key.
    const JSONValue* find(std::string_view key) const noexcept;
    // The element at index of an array; a shared null when out of range or not an array.
    const JSONValue& operator[](std::size_t index) const noexcept;

    // The dictionary of an object, or nullptr (an empty object gives an empty map).
    const Object* object() const noexcept;
    // The elements of an array; an empty list for every other value.
    const Array& array() const noexcept;
    // The text of a string, or nullptr.
    const std::string* string() const noexcept;
    // The shared text of a string, or nullptr (lets a caller keep it without copying).
    const SharedString* sharedString() const noexcept;
    // The double of a number (never of a bool).
    std::optional<double> number() const noexcept;
    // The Bool of a bool (never of a number).
    std::optional<bool> boolean() const noexcept;

    // Members and elements, copying a shared payload first. set/append turn a
    // value of another kind into an empty object/array before adding.
    JSONValue& set(std::string key, JSONValue value);
    JSONValue& append(JSONValue value);
    bool erase(std::string_view key);

    // The value in the look of every JSON text the system shows: the shared
    // pretty writer's output. Empty when the value holds a number that is not finite.
    std::string pretty() const;
    // A string's own text (no quotes, no escapes); pretty() for everything else.
    std::string text() const;

    // Structural: 1 and 1.0 are equal, a not-a-number never equals itself,
    // members compare as dictionaries.
    friend bool operator==(const JSONValue& a, const JSONValue& b) noexcept;
    std::size_t hash() const noexcept;

    // Levels of containers: 0 for a scalar, 1 for [] or {}, 2 for [[]], ...
    std::size_t depth() const noexcept;

private:
    // Never changed while shared: the mutating helpers copy first unless this
    // value holds the only reference.
    using ObjectPtr = std::shared_ptr<Object>;
    using ArrayPtr = std::shared_ptr<Array>;

    Object& ownObject();
    Array& ownArray();

    // Alternative order must match Kind.
    std::variant<ObjectPtr, ArrayPtr, SharedString, double, bool, std::monostate> payload_{
        std::monostate{}};
};

} // namespace quorilanth

template <> struct std::hash<quorilanth::JSONValue> {
    std::size_t operator()(const quorilanth::JSONValue& value) const noexcept {
        return value.hash();
    }
};
