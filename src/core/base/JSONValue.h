#pragma once

#include "core/base/QuorilanthError.h"
#include "core/base/SharedString.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace quorilanth {

namespace detail {
struct JSONBuild;
}

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
//
// A value is eight bytes. Numbers that are whole and texts of up to seven bytes
// are held in those bytes; a read document keeps all its other parts in one
// arena of its own (objects as sorted flat arrays whose keys are shared by every
// object with the same keys), so that a parsed catalog takes about the room of
// its text rather than ten times it.
class JSONValue {
public:
    class Array;
    class Object;

    enum class Kind : std::uint8_t { object, array, string, number, boolean, null };

    // Deepest nesting that parse accepts (the top-level container counts as one).
    static constexpr std::size_t kMaxNesting = 512;

    // Supplies a JSON text in pieces: fills at most `capacity` bytes of
    // `buffer` and returns how many, 0 at the end. What it throws passes
    // through parse unchanged.
    using Reader = std::function<std::size_t(char* buffer, std::size_t capacity)>;

    JSONValue() noexcept = default; // null
    JSONValue(std::nullptr_t) noexcept {}
    JSONValue(bool value) noexcept;
    template <typename T>
    requires(std::is_arithmetic_v<T> && !std::same_as<T, bool>) JSONValue(T value)
        : JSONValue(Number{static_cast<double>(value)}) {}
    JSONValue(const SharedString& value);
    JSONValue(const std::string& value) : JSONValue(std::string_view(value)) {}
    JSONValue(std::string_view value);
    JSONValue(const char* value) : JSONValue(std::string_view(value)) {}
    JSONValue(Object value);
    JSONValue(Array value);

    JSONValue(const JSONValue& other) noexcept;
    JSONValue(JSONValue&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
    JSONValue& operator=(const JSONValue& other) noexcept;
    JSONValue& operator=(JSONValue&& other) noexcept;
    ~JSONValue();

    static JSONValue emptyObject() noexcept;
    static JSONValue emptyArray() noexcept;

    // The value a JSON text denotes: strict JSON, any value at the top level,
    // whitespace around it allowed, nothing after it. Nesting deeper than
    // kMaxNesting, numbers beyond a double's range, invalid UTF-8 and lone
    // surrogates are refused with JSONParseError. When a key occurs twice in
    // one object, the later member is kept.
    static JSONValue parse(std::string_view text);
    // Same, with another nesting limit (the report reader allows for its own frame).
    static JSONValue parse(std::string_view text, std::size_t maxNesting);
    // Same, reading the text piece by piece, so that it never has to be held whole.
    static JSONValue parse(const Reader& read, std::size_t maxNesting);

    Kind kind() const noexcept;
    bool isObject() const noexcept { return kind() == Kind::object; }
    bool isArray() const noexcept { return kind() == Kind::array; }
    bool isString() const noexcept { return kind() == Kind::string; }
    bool isNumber() const noexcept { return kind() == Kind::number; }
    bool isBool() const noexcept { return kind() == Kind::boolean; }
    bool isNull() const noexcept { return bits_ == 0; }

    // The member named key of an object; a shared null for anything else, so
    // lookups chain safely: value["a"]["b"]["c"].
    const JSONValue& operator[](std::string_view key) const noexcept;
    // The member named key, or nullptr when this is not an object or has no such key.
    const JSONValue* find(std::string_view key) const noexcept;
    // The element at index of an array; a shared null when out of range or not an array.
    const JSONValue& operator[](std::size_t index) const noexcept;

    // The members of an object, or nullptr (an empty object gives an empty one).
    const Object* object() const noexcept;
    // The elements of an array; an empty list for every other value.
    const Array& array() const noexcept;
    // The text of a string, or nothing. A text of up to seven bytes is held in
    // the value itself, so the view lasts as long as this value stays where it is.
    std::optional<std::string_view> string() const noexcept;
    // The text of a string as a SharedString (sharing the bytes of a long one).
    std::optional<SharedString> sharedString() const;
    // The double of a number (never of a bool).
    std::optional<double> number() const noexcept;
    // The signed 64-bit integer of a whole number inside that range, or
    // nothing. A whole number read from a text is exact even where its
    // double is not (9223372036854775807 is not 2^63).
    std::optional<std::int64_t> integer() const noexcept;
    // The Bool of a bool (never of a number).
    std::optional<bool> boolean() const noexcept;

    // Members and elements, copying a shared payload first. set/append turn a
    // value of another kind into an empty object/array before adding.
    JSONValue& set(std::string_view key, JSONValue value);
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
    friend struct detail::JSONBuild;
    struct Number {
        double value;
    };
    struct Raw {
        std::uint64_t bits;
    };
    explicit JSONValue(Number number);
    // Takes bits as they are, without counting a reference.
    explicit JSONValue(Raw raw) noexcept : bits_(raw.bits) {}

    Object& ownObject();
    Array& ownArray();

    std::uint64_t bits_ = 0;
};

// A list of values, laid out as one block: what an array value holds, and a
// vector-like builder for one.
class JSONValue::Array {
public:
    using value_type = JSONValue;
    using size_type = std::size_t;
    using iterator = JSONValue*;
    using const_iterator = const JSONValue*;

    Array() noexcept = default;
    explicit Array(std::size_t count, const JSONValue& value = JSONValue());
    Array(std::initializer_list<JSONValue> values);
    Array(const Array& other);
    Array(Array&& other) noexcept;
    Array& operator=(Array other) noexcept;
    ~Array();

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const JSONValue* data() const noexcept { return data_; }
    const_iterator begin() const noexcept { return data_; }
    const_iterator end() const noexcept { return data_ + size_; }
    iterator begin() noexcept { return data_; }
    iterator end() noexcept { return data_ + size_; }
    const JSONValue& operator[](std::size_t index) const noexcept { return data_[index]; }
    JSONValue& operator[](std::size_t index) noexcept { return data_[index]; }
    const JSONValue& front() const noexcept { return data_[0]; }
    const JSONValue& back() const noexcept { return data_[size_ - 1]; }

    void reserve(std::size_t capacity);
    void push_back(JSONValue value) { emplace_back(std::move(value)); }
    template <typename... Args> JSONValue& emplace_back(Args&&... args) {
        JSONValue value(std::forward<Args>(args)...);
        if (size_ == capacity_) grow();
        return *new (data_ + size_++) JSONValue(std::move(value));
    }
    void pop_back() noexcept;
    void clear() noexcept;

    friend bool operator==(const Array& a, const Array& b) noexcept;

private:
    friend struct detail::JSONBuild;
    void grow();

    JSONValue* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

// The members of an object: keys in ascending order of their UTF-8 bytes (the
// order the writer needs), each once. Laid out as two flat arrays; a read
// document shares the key array between objects with the same keys. Iterating
// gives (key, value) pairs by value, so `for (const auto& [key, member] : o)`
// and `it->second` read as they do on a map.
class JSONValue::Object {
public:
    template <typename Value> struct Entry {
        const std::string& first;
        Value& second;
    };
    template <typename Value> class Iterator {
    public:
        using difference_type = std::ptrdiff_t;
        using value_type = Entry<Value>;
        using reference = Entry<Value>;
        using iterator_category = std::bidirectional_iterator_tag;
        struct Arrow {
            Entry<Value> entry;
            const Entry<Value>* operator->() const noexcept { return &entry; }
        };

        Iterator() noexcept = default;
        Iterator(const std::string* key, Value* value) noexcept : key_(key), value_(value) {}
        Entry<Value> operator*() const noexcept { return {*key_, *value_}; }
        Arrow operator->() const noexcept { return {**this}; }
        Iterator& operator++() noexcept { return ++key_, ++value_, *this; }
        Iterator operator++(int) noexcept { return Iterator(key_++, value_++); }
        Iterator& operator--() noexcept { return --key_, --value_, *this; }
        Iterator operator--(int) noexcept { return Iterator(key_--, value_--); }
        friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
            return a.value_ == b.value_;
        }

    private:
        const std::string* key_ = nullptr;
        Value* value_ = nullptr;
    };
    using value_type = Entry<const JSONValue>;
    using iterator = Iterator<JSONValue>;
    using const_iterator = Iterator<const JSONValue>;

    Object() noexcept = default;
    // As a map's: when a key repeats, its first value is kept.
    Object(std::initializer_list<std::pair<std::string_view, JSONValue>> members);
    Object(const Object& other);
    Object(Object&& other) noexcept;
    Object& operator=(Object other) noexcept;
    ~Object();

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const_iterator begin() const noexcept { return {keys(), values()}; }
    const_iterator end() const noexcept { return {keys() + size_, values() + size_}; }
    iterator begin() noexcept { return {keys(), values()}; }
    iterator end() noexcept { return {keys() + size_, values() + size_}; }

    const_iterator find(std::string_view key) const noexcept;
    iterator find(std::string_view key) noexcept;
    bool contains(std::string_view key) const noexcept { return find(key) != end(); }
    std::size_t count(std::string_view key) const noexcept { return contains(key) ? 1 : 0; }
    // Throws std::out_of_range when the key is missing.
    const JSONValue& at(std::string_view key) const;

    // The member named key, added as null when missing.
    JSONValue& operator[](std::string_view key);
    std::pair<iterator, bool> insert_or_assign(std::string_view key, JSONValue value);
    std::pair<iterator, bool> emplace(std::string_view key, JSONValue value);
    std::size_t erase(std::string_view key);
    void clear() noexcept;

    friend bool operator==(const Object& a, const Object& b) noexcept;

private:
    friend struct detail::JSONBuild;
    // A builder keeps capacity_ values and then capacity_ keys in the block at
    // storage_. An object of a read document has no capacity: its values follow
    // it, and storage_ is the key array it shares.
    std::string* keys() const noexcept {
        return static_cast<std::string*>(
            capacity_ ? static_cast<void*>(static_cast<JSONValue*>(storage_) + capacity_)
                      : storage_);
    }
    JSONValue* values() const noexcept {
        return capacity_ ? static_cast<JSONValue*>(storage_)
                         : reinterpret_cast<JSONValue*>(const_cast<Object*>(this) + 1);
    }
    // Where key belongs: its index, and whether it is there.
    std::pair<std::size_t, bool> locate(std::string_view key) const noexcept;
    iterator insertAt(std::size_t index, std::string_view key, JSONValue value);

    void* storage_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

} // namespace quorilanth

template <> struct std::hash<quorilanth::JSONValue> {
    std::size_t operator()(const quorilanth::JSONValue& value) const noexcept {
        return value.hash();
    }
};
