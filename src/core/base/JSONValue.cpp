#include "core/base/JSONValue.h"

#include "core/base/Hashing.h"
#include "core/base/JSONParser.h"
#include "core/base/PrettyJSONWriter.h"

#include <algorithm>

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

} // namespace

JSONValue::JSONValue(Object value) : payload_(std::make_shared<Object>(std::move(value))) {}
JSONValue::JSONValue(Array value) : payload_(std::make_shared<Array>(std::move(value))) {}

JSONValue JSONValue::emptyObject() {
    // Every empty object made this way shares one payload.
    static const JSONValue kEmpty{Object{}};
    return kEmpty;
}

JSONValue JSONValue::parse(std::string_view text) {
    return parse(text, kMaxNesting);
}

JSONValue JSONValue::parse(std::string_view text, std::size_t maxNesting) {
    return detail::parseJSONText(text, maxNesting);
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
        for (const JSONValue& element : array())
            detail::hashCombine(seed, element.hash());
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
        for (const auto& entry : *members)
            deepest = std::max(deepest, entry.second.depth());
    else if (isArray())
        for (const JSONValue& element : array())
            deepest = std::max(deepest, element.depth());
    else
        return 0;
    return deepest + 1;
}

} // namespace quorilanth
