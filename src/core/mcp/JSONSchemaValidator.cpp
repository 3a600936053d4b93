#include "core/mcp/JSONSchemaValidator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorilanth {

namespace {

// Every keyword the checker reads, the unsupported ones last in the order
// their notes are given.
enum Keyword : std::uint8_t {
    kRef,
    kType,
    kEnum,
    kConst,
    kAllOf,
    kAnyOf,
    kOneOf,
    kNot,
    kMinLength,
    kMaxLength,
    kPattern,
    kMultipleOf,
    kMinimum,
    kMaximum,
    kExclusiveMinimum,
    kExclusiveMaximum,
    kMinProperties,
    kMaxProperties,
    kRequired,
    kProperties,
    kAdditionalProperties,
    kMinItems,
    kMaxItems,
    kUniqueItems,
    kItems,
    kFirstUnsupported,
    kKeywordCount = kFirstUnsupported + 13,
};

constexpr std::array<std::string_view, kKeywordCount> kKeywordNames{
    "$ref",
    "type",
    "enum",
    "const",
    "allOf",
    "anyOf",
    "oneOf",
    "not",
    "minLength",
    "maxLength",
    "pattern",
    "multipleOf",
    "minimum",
    "maximum",
    "exclusiveMinimum",
    "exclusiveMaximum",
    "minProperties",
    "maxProperties",
    "required",
    "properties",
    "additionalProperties",
    "minItems",
    "maxItems",
    "uniqueItems",
    "items",
    "if",
    "then",
    "else",
    "dependentSchemas",
    "dependentRequired",
    "dependencies",
    "unevaluatedProperties",
    "unevaluatedItems",
    "patternProperties",
    "propertyNames",
    "contains",
    "prefixItems",
    "$dynamicRef",
};

// The keywords a schema object holds. A check reads some thirty of them, and a
// large value meets the same few subschemas over and over: looking each up
// once per subschema instead of once per check is most of a validation's time.
class Keywords {
public:
    explicit Keywords(const JSONValue::Object& members) {
        if (members.size() > kKeywordCount) {
            for (std::size_t k = 0; k < kKeywordCount; ++k) {
                if (auto found = members.find(kKeywordNames[k]); found != members.end())
                    at_[k] = &found->second;
            }
            return;
        }
        // Members come in byte order, as the index does: one walk along both.
        const auto& index = byName();
        auto next = index.begin();
        for (const auto& [name, member] : members) {
            while (next != index.end() && next->first < name)
                ++next;
            if (next == index.end()) break;
            if (next->first == name) at_[next->second] = &member;
        }
    }

    const JSONValue* find(Keyword keyword) const noexcept { return at_[keyword]; }
    const JSONValue& operator[](Keyword keyword) const noexcept {
        static const JSONValue null;
        return at_[keyword] ? *at_[keyword] : null;
    }
    std::optional<double> number(Keyword keyword) const noexcept {
        return at_[keyword] ? at_[keyword]->number() : std::nullopt;
    }
    const JSONValue::Array& array(Keyword keyword) const noexcept {
        return (*this)[keyword].array();
    }

    // Where a "$ref" inside the schema leads, found once.
    const JSONValue* target = nullptr;

private:
    static const std::array<std::pair<std::string_view, Keyword>, kKeywordCount>& byName() {
        static const auto index = [] {
            std::array<std::pair<std::string_view, Keyword>, kKeywordCount> sorted;
            for (std::size_t k = 0; k < kKeywordCount; ++k)
                sorted[k] = {kKeywordNames[k], static_cast<Keyword>(k)};
            std::sort(sorted.begin(), sorted.end());
            return sorted;
        }();
        return index;
    }

    std::array<const JSONValue*, kKeywordCount> at_{};
};

bool matches(const JSONValue& value, std::string_view type) {
    if (type == "object") return value.isObject();
    if (type == "array") return value.isArray();
    if (type == "string") return value.isString();
    if (type == "boolean") return value.isBool();
    if (type == "null") return value.isNull();
    if (type == "number") return value.isNumber();
    if (type == "integer") {
        const auto number = value.number();
        return number && std::isfinite(*number) && std::nearbyint(*number) == *number;
    }
    return false;
}

// The shortest decimal that reads back to the same double, with a fractional
// zero on integral values and an exponent for very large or small magnitudes.
std::string describe(double value) {
    char buffer[64];
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    const auto format = plain ? std::chars_format::fixed : std::chars_format::scientific;
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, format).ptr;
    std::string text(buffer, end);
    if (plain && text.find('.') == std::string::npos) text += ".0";
    return text;
}

std::size_t scalarCount(std::string_view text) {
    std::size_t count = 0;
    for (const unsigned char byte : text)
        count += (byte & 0xC0) != 0x80;
    return count;
}

std::string unescapePointerPiece(std::string_view piece) {
    std::string step;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        if (piece.compare(i, 2, "~1") == 0) {
            step += '/';
            ++i;
        } else {
            step += piece[i];
        }
    }
    std::string out;
    for (std::size_t i = 0; i < step.size(); ++i) {
        if (step.compare(i, 2, "~0") == 0) {
            out += '~';
            ++i;
        } else {
            out += step[i];
        }
    }
    return out;
}

const JSONValue& resolve(const JSONValue& root, std::string_view pointer) {
    static const JSONValue null;
    const JSONValue* node = &root;
    std::string_view rest = pointer.substr(2);
    while (true) {
        const auto slash = rest.find('/');
        // Most pieces hold no escape: looked up as they stand, without a copy.
        const std::string_view piece = rest.substr(0, slash);
        node = piece.find('~') == std::string_view::npos ? node->find(piece)
                                                         : node->find(unescapePointerPiece(piece));
        if (node == nullptr) return null;
        if (slash == std::string_view::npos) return *node;
        rest.remove_prefix(slash + 1);
    }
}

bool hasDuplicates(const JSONValue::Array& items) {
    // Grouped by hash so a long remote array costs linear time, not quadratic.
    std::unordered_multimap<std::size_t, const JSONValue*> seen;
    seen.reserve(items.size());
    for (const JSONValue& item : items) {
        const std::size_t key = item.hash();
        const auto [first, last] = seen.equal_range(key);
        for (auto it = first; it != last; ++it) {
            if (*it->second == item) return true;
        }
        seen.emplace(key, &item);
    }
    return false;
}

void appendAll(std::vector<std::string>& to, std::vector<std::string>&& from) {
    for (std::string& text : from)
        to.push_back(std::move(text));
}

// Texts are paid for by the block, so reading or keeping a long one costs what
// copying it costs.
constexpr std::size_t kBytesPerUnit = 64;

std::size_t units(std::size_t bytes) {
    return 1 + bytes / kBytesPerUnit;
}

// What walking value costs (comparing, hashing or sizing it): its nodes, texts
// by the block. The walk stops once it passes limit, so measuring costs no
// more than the budget it is checked against.
std::size_t weight(const JSONValue& value, std::size_t limit) {
    std::size_t total = 1;
    if (const auto text = value.string()) return units(text->size());
    for (const JSONValue& element : value.array()) {
        if (total > limit) return total;
        total += weight(element, limit - total);
    }
    if (const JSONValue::Object* members = value.object()) {
        for (const auto& [key, member] : *members) {
            if (total > limit) return total;
            total += units(key.size());
            total += weight(member, limit > total ? limit - total : 0);
        }
    }
    return total;
}

std::size_t saturatingSum(std::size_t a, std::size_t b) {
    return a > SIZE_MAX - b ? SIZE_MAX : a + b;
}

// Where in the value a check is. Spelled out only when a message needs it:
// a long property name high up would otherwise be copied into the path of
// every element below it.
struct Place {
    const Place* parent = nullptr;
    const std::string* start = nullptr; // the caller's path, at the top
    std::string_view name;              // a member's name
    std::size_t index = 0;              // an element's index
    bool element = false;
    std::size_t length = 0; // bytes of the spelled-out path

    static Place top(const std::string& path) {
        Place place;
        place.start = &path;
        place.length = path.size();
        return place;
    }
    Place member(std::string_view key) const {
        Place place;
        place.parent = this;
        place.name = key;
        place.length = length + 1 + key.size();
        return place;
    }
    Place item(std::size_t i) const {
        Place place;
        place.parent = this;
        place.index = i;
        place.element = true;
        std::size_t digits = 1;
        for (std::size_t rest = i; rest >= 10; rest /= 10)
            ++digits;
        place.length = length + 2 + digits;
        return place;
    }
    std::string text() const {
        std::vector<const Place*> chain;
        for (const Place* place = this; place != nullptr; place = place->parent)
            chain.push_back(place);
        std::string out;
        out.reserve(length);
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const Place& place = **it;
            if (place.start) {
                out += *place.start;
            } else if (place.element) {
                out += '[' + std::to_string(place.index) + ']';
            } else {
                out += '.';
                out += place.name;
            }
        }
        return out;
    }
};

// One validation: holds the root and the remaining budget of work.
class Checker {
public:
    Checker(const JSONValue& root, std::size_t budget) : root_(root), budget_(budget) {}

    void check(const JSONValue& value, const JSONValue& schema, const Place& path, int depth,
               SchemaValidation& result);

private:
    bool spend(std::size_t cost, const Place& path, SchemaValidation& result, bool kept = false);
    void error(SchemaValidation& result, const Place& path, std::string_view text);
    void note(SchemaValidation& result, const Place& path, std::string_view text);
    const Keywords& keywordsOf(const JSONValue::Object& schema, std::unique_ptr<Keywords>& spare);
    SchemaValidation branch(const JSONValue& value, const JSONValue& schema, const Place& path,
                            int depth);
    void combinations(const JSONValue& value, const Keywords& schema, const Place& path, int depth,
                      SchemaValidation& result);
    void checkString(std::string_view text, const Keywords& schema, const Place& path,
                     SchemaValidation& result);
    void checkNumber(double number, const Keywords& schema, const Place& path,
                     SchemaValidation& result);
    void checkObject(const JSONValue::Object& members, const Keywords& schema, const Place& path,
                     int depth, SchemaValidation& result);
    void checkArray(const JSONValue::Array& items, const Keywords& schema, const Place& path,
                    int depth, SchemaValidation& result);

    // A schema from a server may hold any number of subschemas: only so many
    // are remembered, the rest are read afresh at each check.
    static constexpr std::size_t kRememberedSchemas = 4096;

    const JSONValue& root_;
    std::size_t budget_;
    std::unordered_map<const JSONValue::Object*, Keywords> keywords_;
    // Messages kept stay within the floor whatever the value's size: a
    // schema that repeats itself over a large value would otherwise leave
    // millions of copies of one note behind.
    std::size_t keepable_ = JSONSchemaValidator::kBaseBudget;
    bool exhausted_ = false;
    // Inside allOf, anyOf, oneOf and not only whether an element found errors
    // matters, never their texts or number, so one empty mark stands for all.
    int branches_ = 0;
};

bool Checker::spend(std::size_t cost, const Place& path, SchemaValidation& result, bool kept) {
    if (exhausted_) return false;
    if (cost > budget_ || (kept && cost > keepable_)) {
        // Said once, where the work stopped; every later check is skipped, so
        // the value was not fully checked and does not pass.
        exhausted_ = true;
        budget_ = 0;
        result.unsupported.push_back(path.text() + ": schema check work limit reached");
        return false;
    }
    budget_ -= cost;
    if (kept) keepable_ -= cost;
    return true;
}

// Findings are paid for too: a schema that repeats itself would otherwise
// have a few thousand checks each leave a copy of a long path behind.
void Checker::error(SchemaValidation& result, const Place& path, std::string_view text) {
    if (branches_ > 0) {
        if (spend(1, path, result) && result.errors.empty()) result.errors.emplace_back();
    } else if (spend(units(path.length) + units(text.size()), path, result, true)) {
        result.errors.push_back(path.text() + std::string(text));
    }
}

void Checker::note(SchemaValidation& result, const Place& path, std::string_view text) {
    if (spend(units(path.length) + units(text.size()), path, result, true)) {
        result.unsupported.push_back(path.text() + std::string(text));
    }
}

const Keywords& Checker::keywordsOf(const JSONValue::Object& schema,
                                    std::unique_ptr<Keywords>& spare) {
    if (const auto known = keywords_.find(&schema); known != keywords_.end()) return known->second;
    Keywords& read = keywords_.size() < kRememberedSchemas
                         ? keywords_.emplace(&schema, Keywords(schema)).first->second
                         : *(spare = std::make_unique<Keywords>(schema));
    if (const auto reference = read[kRef].string(); reference && reference->starts_with("#/"))
        read.target = &resolve(root_, *reference);
    return read;
}

void Checker::check(const JSONValue& value, const JSONValue& node, const Place& path, int depth,
                    SchemaValidation& result) {
    if (!spend(1, path, result)) return;
    if (depth > JSONSchemaValidator::kMaxDepth) {
        note(result, path, ": schema recursion limit");
        return;
    }
    if (const auto accepts = node.boolean()) {
        if (!*accepts) error(result, path, ": forbidden by schema");
        return;
    }
    const JSONValue::Object* members = node.object();
    if (!members) {
        error(result, path, ": invalid schema object");
        return;
    }
    std::unique_ptr<Keywords> spare;
    const Keywords& schema = keywordsOf(*members, spare);

    if (const std::optional<std::string_view> reference = schema[kRef].string()) {
        if (reference->starts_with("#/")) {
            if (!spend(units(reference->size()), path, result)) return;
            check(value, *schema.target, path, depth + 1, result);
        } else {
            note(result, path, ": external $ref is not fetched: " + std::string(*reference));
        }
    }

    for (std::size_t keyword = kFirstUnsupported; keyword < kKeywordCount; ++keyword) {
        if (schema.find(static_cast<Keyword>(keyword)) != nullptr) {
            note(result, path, ": unsupported keyword " + std::string(kKeywordNames[keyword]));
        }
    }

    const JSONValue& type = schema[kType];
    if (!spend(type.array().size(), path, result)) return;
    // Names are read where they stand; the list is spelled out only for the message.
    const std::optional<std::string_view> single = type.string();
    bool named = single.has_value(), any = single && matches(value, *single);
    for (const JSONValue& element : type.array()) {
        if (const auto name = element.string()) {
            named = true;
            any = any || matches(value, *name);
        }
    }
    if (named && !any) {
        std::string joined(single.value_or(""));
        bool first = !single;
        for (const JSONValue& element : type.array()) {
            if (const auto name = element.string()) {
                joined += (first ? "" : " or ") + std::string(*name);
                first = false;
            }
        }
        error(result, path, ": expected " + joined);
        return;
    }

    // Each comparison walks at most the value, so the value's weight is paid
    // once per element of the list.
    const JSONValue::Array& allowed = schema.array(kEnum);
    if (!allowed.empty()) {
        const std::size_t each = weight(value, budget_ / allowed.size());
        if (!spend(each > budget_ / allowed.size() ? SIZE_MAX : each * allowed.size(), path,
                   result)) {
            return;
        }
        bool found = false;
        for (const JSONValue& element : allowed)
            found = found || element == value;
        if (!found) error(result, path, ": value is outside enum");
    }
    if (const JSONValue* constant = schema.find(kConst)) {
        if (!spend(weight(value, budget_), path, result)) return;
        if (!(*constant == value)) error(result, path, ": value differs from const");
    }

    combinations(value, schema, path, depth, result);

    switch (value.kind()) {
    case JSONValue::Kind::string:
        checkString(*value.string(), schema, path, result);
        break;
    case JSONValue::Kind::number:
        checkNumber(*value.number(), schema, path, result);
        break;
    case JSONValue::Kind::object:
        checkObject(*value.object(), schema, path, depth, result);
        break;
    case JSONValue::Kind::array:
        checkArray(value.array(), schema, path, depth, result);
        break;
    case JSONValue::Kind::boolean:
    case JSONValue::Kind::null:
        break;
    }
}

SchemaValidation Checker::branch(const JSONValue& value, const JSONValue& schema, const Place& path,
                                 int depth) {
    SchemaValidation fresh;
    ++branches_;
    check(value, schema, path, depth + 1, fresh);
    --branches_;
    return fresh;
}

void Checker::combinations(const JSONValue& value, const Keywords& schema, const Place& path,
                           int depth, SchemaValidation& result) {
    for (const Keyword keyword : {kAllOf, kAnyOf, kOneOf}) {
        const JSONValue::Array& elements = schema.array(keyword);
        if (elements.empty()) continue;
        std::size_t passed = 0;
        std::vector<std::string> notes;
        for (const JSONValue& element : elements) {
            SchemaValidation fresh = branch(value, element, path, depth);
            passed += fresh.isValid();
            appendAll(notes, std::move(fresh.unsupported));
        }
        const bool failed = keyword == kAllOf   ? passed != elements.size()
                            : keyword == kAnyOf ? passed == 0
                                                : passed != 1;
        if (failed)
            error(result, path, ": " + std::string(kKeywordNames[keyword]) + " did not match");
        appendAll(result.unsupported, std::move(notes));
    }
    if (const JSONValue* negated = schema.find(kNot)) {
        SchemaValidation fresh = branch(value, *negated, path, depth);
        if (fresh.isValid()) error(result, path, ": forbidden by not");
        appendAll(result.unsupported, std::move(fresh.unsupported));
    }
}

void Checker::checkString(std::string_view text, const Keywords& schema, const Place& path,
                          SchemaValidation& result) {
    if (!spend(units(text.size()), path, result)) return;
    const std::size_t length = scalarCount(text);
    if (const auto minimum = schema.number(kMinLength); minimum && length < *minimum) {
        error(result, path, ": too short");
    }
    if (const auto maximum = schema.number(kMaxLength); maximum && length > *maximum) {
        error(result, path, ": too long");
    }
    if (schema[kPattern].isString()) {
        note(result, path, ": remote regex patterns are not executed");
    }
}

void Checker::checkNumber(double number, const Keywords& schema, const Place& path,
                          SchemaValidation& result) {
    if (const auto divisor = schema.number(kMultipleOf)) {
        if (*divisor <= 0) {
            error(result, path, ": invalid multipleOf");
        } else {
            const double quotient = number / *divisor;
            if (!(std::fabs(quotient - std::nearbyint(quotient)) <= 1e-9)) {
                error(result, path, ": not a multipleOf " + describe(*divisor));
            }
        }
    }
    if (const auto bound = schema.number(kMinimum); bound && number < *bound) {
        error(result, path, ": below minimum");
    }
    if (const auto bound = schema.number(kMaximum); bound && number > *bound) {
        error(result, path, ": above maximum");
    }
    if (const auto bound = schema.number(kExclusiveMinimum); bound && number <= *bound) {
        error(result, path, ": below exclusive minimum");
    }
    if (const auto bound = schema.number(kExclusiveMaximum); bound && number >= *bound) {
        error(result, path, ": above exclusive maximum");
    }
}

void Checker::checkObject(const JSONValue::Object& members, const Keywords& schema,
                          const Place& path, int depth, SchemaValidation& result) {
    if (const auto minimum = schema.number(kMinProperties); minimum && members.size() < *minimum) {
        error(result, path, ": too few properties");
    }
    if (const auto maximum = schema.number(kMaxProperties); maximum && members.size() > *maximum) {
        error(result, path, ": too many properties");
    }
    for (const JSONValue& name : schema.array(kRequired)) {
        const std::optional<std::string_view> key = name.string();
        if (!spend(key ? units(key->size()) : 1, path, result)) return;
        if (key && !members.contains(*key))
            error(result, path, "." + std::string(*key) + ": required");
    }
    const JSONValue* properties = schema[kProperties].isObject() ? &schema[kProperties] : nullptr;
    const JSONValue& additional = schema[kAdditionalProperties];
    for (const auto& [name, member] : members) {
        if (!spend(units(name.size()), path, result)) return;
        if (const JSONValue* declared = properties ? properties->find(name) : nullptr) {
            check(member, *declared, path.member(name), depth + 1, result);
        } else if (additional.boolean() == false) {
            error(result, path, "." + name + ": unexpected property");
        } else if (additional.isObject()) {
            check(member, additional, path.member(name), depth + 1, result);
        }
    }
}

void Checker::checkArray(const JSONValue::Array& items, const Keywords& schema, const Place& path,
                         int depth, SchemaValidation& result) {
    if (const auto minimum = schema.number(kMinItems); minimum && items.size() < *minimum) {
        error(result, path, ": too few items");
    }
    if (const auto maximum = schema.number(kMaxItems); maximum && items.size() > *maximum) {
        error(result, path, ": too many items");
    }
    if (schema[kUniqueItems].boolean() == true) {
        // Hashing and comparing walk every element whole.
        std::size_t cost = items.size();
        for (const JSONValue& item : items) {
            if (cost > budget_) break;
            cost += weight(item, budget_ - cost);
        }
        if (!spend(cost, path, result)) return;
        if (hasDuplicates(items)) error(result, path, ": duplicate items");
    }
    if (const JSONValue* element = schema.find(kItems)) {
        for (std::size_t i = 0; i < items.size() && !exhausted_; ++i) {
            check(items[i], *element, path.item(i), depth + 1, result);
        }
    }
}

} // namespace

SchemaValidation JSONSchemaValidator::validate(const JSONValue& value, const JSONValue& schema) {
    SchemaValidation result;
    check(value, schema, "$", schema, 0, result);
    return result;
}

void JSONSchemaValidator::check(const JSONValue& value, const JSONValue& schema,
                                const std::string& path, const JSONValue& root, int depth,
                                SchemaValidation& result) {
    const std::size_t share = weight(value, SIZE_MAX / kBudgetPerValueUnit);
    const std::size_t budget = saturatingSum(kBaseBudget, share * kBudgetPerValueUnit);
    Checker(root, budget).check(value, schema, Place::top(path), depth, result);
}

} // namespace quorilanth
