#include "core/model/JSONValue.h"

#include "core/model/Hashing.h"
#include "core/model/PrettyJSONWriter.h"
#include "core/model/UTF8.h"

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quorilanth {

namespace {

const JSONValue& sharedNull() noexcept {
    static const JSONValue kNull;
    return kNull;
}

const JSONValue::Array& sharedEmptyArray() noexcept {
    static const JSONValue::Array kEmpty;
    return kEmpty;
}

// A number whose text from_chars could not hold: decide between beyond the
// largest double (refused) and below the smallest (zero), from the position of
// the first significant digit and the exponent. Exponents saturate, so a text
// of any length is handled.
bool overflows(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    long long firstDigitPower = 0;
    bool seenSignificant = false;
    long long integerDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        ++integerDigits;
        if (!seenSignificant && text[i] != '0') {
            seenSignificant = true;
            firstDigitPower = -integerDigits; // fixed up below once all are counted
        }
    }
    if (seenSignificant) firstDigitPower += integerDigits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (long long position = -1; i < text.size() && text[i] >= '0' && text[i] <= '9';
             ++i, --position) {
            if (!seenSignificant && text[i] != '0') {
                seenSignificant = true;
                firstDigitPower = position;
            }
        }
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    return seenSignificant && firstDigitPower + exponent > 0;
}

class Builder {
public:
    explicit Builder(std::size_t maxNesting) : maxNesting_(maxNesting) {}

    bool Null() { return add(JSONValue()); }
    bool Bool(bool value) { return add(JSONValue(value)); }
    // Numbers arrive as their text (the reader is told so) and are converted
    // here: from_chars rounds correctly and keeps the sign of "-0".
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        double value = 0;
        auto [end, error] = std::from_chars(text, text + length, value);
        if (error == std::errc::result_out_of_range) {
            if (overflows(std::string_view(text, length))) return fail("Number out of range.");
            value = text[0] == '-' ? -0.0 : 0.0;
        } else if (error != std::errc() || end != text + length) {
            return fail("Invalid number.");
        }
        return add(JSONValue(value));
    }
    bool Int(int) { return false; } // never called with kParseNumbersAsStringsFlag
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }

    bool String(const char* text, rapidjson::SizeType length, bool) {
        if (!utf8::isValid(std::string_view(text, length)))
            return fail("Invalid UTF-8 or lone surrogate in string.");
        return add(JSONValue(std::string(text, length)));
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (!utf8::isValid(std::string_view(text, length)))
            return fail("Invalid UTF-8 or lone surrogate in object key.");
        frames_.back().key.assign(text, length);
        return true;
    }
    bool StartObject() { return open(true); }
    bool EndObject(rapidjson::SizeType) {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        return add(JSONValue(std::move(frame.object)));
    }
    bool StartArray() { return open(false); }
    bool EndArray(rapidjson::SizeType) {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        return add(JSONValue(std::move(frame.array)));
    }

    JSONValue takeRoot() { return std::move(root_); }
    const char* failure() const { return failure_; }

private:
    struct Frame {
        bool isObject = false;
        JSONValue::Object object;
        JSONValue::Array array;
        std::string key;
    };

    bool open(bool isObject) {
        // Refusing here, before the level exists, is what keeps a run of
        // millions of "[" from ever being built or torn down recursively.
        if (frames_.size() >= maxNesting_) return fail("Too many nested arrays or objects.");
        frames_.emplace_back().isObject = isObject;
        return true;
    }

    bool add(JSONValue value) {
        if (frames_.empty()) {
            root_ = std::move(value);
        } else if (Frame& top = frames_.back(); top.isObject) {
            // A repeated key keeps its last value.
            top.object.insert_or_assign(std::move(top.key), std::move(value));
            top.key.clear();
        } else {
            top.array.push_back(std::move(value));
        }
        return true;
    }

    bool fail(const char* reason) {
        failure_ = reason;
        return false;
    }

    std::size_t maxNesting_;
    std::vector<Frame> frames_;
    JSONValue root_;
    const char* failure_ = nullptr;
};

[[noreturn]] void throwParseError(const std::string& reason, std::size_t offset) {
    throw JSONParseError("Invalid JSON at offset " + std::to_string(offset) + ": " + reason,
                         offset);
}

} // namespace

JSONValue::JSONValue(Object value) : payload_(std::make_shared<Object>(std::move(value))) {}
JSONValue::JSONValue(Array value) : payload_(std::make_shared<Array>(std::move(value))) {}

JSONValue JSONValue::emptyObject() {
    // Every empty object made this way shares one payload.
    static const JSONValue kEmpty{Object{}};
    return kEmpty;
}

JSONValue JSONValue::parse(std::string_view text) { return parse(text, kMaxNesting); }

JSONValue JSONValue::parse(std::string_view text, std::size_t maxNesting) {
    // The reader works in place on a zero-terminated copy; the padding keeps its
    // 16-byte vector loads inside the allocation.
    constexpr std::size_t kPadding = 16;
    std::unique_ptr<char[]> buffer(new char[text.size() + kPadding]);
    std::memcpy(buffer.get(), text.data(), text.size());
    std::memset(buffer.get() + text.size(), 0, kPadding);

    Builder builder(maxNesting);
    rapidjson::Reader reader;
    rapidjson::InsituStringStream stream(buffer.get());
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag |
                                rapidjson::kParseNumbersAsStringsFlag;
    rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
    if (result.IsError()) {
        if (builder.failure() && result.Code() == rapidjson::kParseErrorTermination)
            throwParseError(builder.failure(), result.Offset());
        throwParseError(rapidjson::GetParseError_En(result.Code()), result.Offset());
    }
    // The reader stops at a zero byte, which JSON never allows outside a string.
    if (stream.Tell() < text.size())
        throwParseError("The document root must not be followed by other values.", stream.Tell());
    return builder.takeRoot();
}

const JSONValue& JSONValue::operator[](std::string_view key) const noexcept {
    const JSONValue* member = find(key);
    return member ? *member : sharedNull();
}

const JSONValue* JSONValue::find(std::string_view key) const noexcept {
    const Object* members = object();
    if (!members) return nullptr;
    auto it = members->find(key);
    return it == members->end() ? nullptr : &it->second;
}

const JSONValue& JSONValue::operator[](std::size_t index) const noexcept {
    const Array& elements = array();
    return index < elements.size() ? elements[index] : sharedNull();
}

const JSONValue::Object* JSONValue::object() const noexcept {
    auto* members = std::get_if<ObjectPtr>(&payload_);
    return members ? members->get() : nullptr;
}

const JSONValue::Array& JSONValue::array() const noexcept {
    auto* elements = std::get_if<ArrayPtr>(&payload_);
    return elements ? **elements : sharedEmptyArray();
}

const std::string* JSONValue::string() const noexcept {
    auto* text = std::get_if<SharedString>(&payload_);
    return text ? &text->str() : nullptr;
}

const SharedString* JSONValue::sharedString() const noexcept {
    return std::get_if<SharedString>(&payload_);
}

std::optional<double> JSONValue::number() const noexcept {
    auto* value = std::get_if<double>(&payload_);
    return value ? std::optional<double>(*value) : std::nullopt;
}

std::optional<bool> JSONValue::boolean() const noexcept {
    auto* value = std::get_if<bool>(&payload_);
    return value ? std::optional<bool>(*value) : std::nullopt;
}

JSONValue::Object& JSONValue::ownObject() {
    auto* members = std::get_if<ObjectPtr>(&payload_);
    if (!members) {
        payload_ = std::make_shared<Object>();
        members = std::get_if<ObjectPtr>(&payload_);
    } else if (members->use_count() != 1) {
        *members = std::make_shared<Object>(**members);
    }
    return **members;
}

JSONValue::Array& JSONValue::ownArray() {
    auto* elements = std::get_if<ArrayPtr>(&payload_);
    if (!elements) {
        payload_ = std::make_shared<Array>();
        elements = std::get_if<ArrayPtr>(&payload_);
    } else if (elements->use_count() != 1) {
        *elements = std::make_shared<Array>(**elements);
    }
    return **elements;
}

JSONValue& JSONValue::set(std::string key, JSONValue value) {
    ownObject().insert_or_assign(std::move(key), std::move(value));
    return *this;
}

JSONValue& JSONValue::append(JSONValue value) {
    ownArray().push_back(std::move(value));
    return *this;
}

bool JSONValue::erase(std::string_view key) {
    if (!find(key)) return false;
    Object& members = ownObject();
    members.erase(members.find(key));
    return true;
}

std::string JSONValue::pretty() const {
    std::string out;
    try {
        PrettyJSONWriter(out).value(*this);
    } catch (const QuorilanthError&) {
        return {};
    }
    return out;
}

std::string JSONValue::text() const {
    if (const std::string* own = string()) return *own;
    return pretty();
}

bool operator==(const JSONValue& a, const JSONValue& b) noexcept {
    if (a.payload_.index() != b.payload_.index()) return false;
    switch (a.kind()) {
    case JSONValue::Kind::object: {
        const auto& x = *a.object();
        const auto& y = *b.object();
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin());
    }
    case JSONValue::Kind::array:
        return a.array() == b.array();
    case JSONValue::Kind::string:
        return *a.sharedString() == *b.sharedString();
    case JSONValue::Kind::number:
        return *a.number() == *b.number();
    case JSONValue::Kind::boolean:
        return *a.boolean() == *b.boolean();
    case JSONValue::Kind::null:
        return true;
    }
    return false;
}

std::size_t JSONValue::hash() const noexcept {
    std::size_t seed = payload_.index();
    switch (kind()) {
    case Kind::object:
        for (const auto& [key, member] : *object()) {
            detail::hashField(seed, key);
            detail::hashCombine(seed, member.hash());
        }
        break;
    case Kind::array:
        for (const JSONValue& element : array()) detail::hashCombine(seed, element.hash());
        break;
    case Kind::string:
        detail::hashField(seed, *sharedString());
        break;
    case Kind::number: {
        double value = *number();
        detail::hashField(seed, value == 0 ? 0.0 : value); // -0 hashes as 0
        break;
    }
    case Kind::boolean:
        detail::hashField(seed, *boolean());
        break;
    case Kind::null:
        break;
    }
    return seed;
}

std::size_t JSONValue::depth() const noexcept {
    std::size_t deepest = 0;
    if (const Object* members = object())
        for (const auto& entry : *members) deepest = std::max(deepest, entry.second.depth());
    else if (isArray())
        for (const JSONValue& element : array()) deepest = std::max(deepest, element.depth());
    else
        return 0;
    return deepest + 1;
}

} // namespace quorilanth
