#include "core/mcp/JSONSchemaValidator.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorilanth {

namespace {

constexpr std::array<std::string_view, 13> kUnsupportedKeywords{"if",
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
                                                                "$dynamicRef"};

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
        const std::string key = unescapePointerPiece(rest.substr(0, slash));
        node = node->find(key);
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

// One validation: holds the root and the remaining budget of checks.
class Checker {
public:
    explicit Checker(const JSONValue& root) : root_(root) {}

    void check(const JSONValue& value, const JSONValue& schema, const std::string& path, int depth,
               SchemaValidation& result);

private:
    bool spend(std::size_t cost, const std::string& path, SchemaValidation& result);
    void error(SchemaValidation& result, const std::string& path, std::string_view text);
    void note(SchemaValidation& result, const std::string& path, std::string_view text);
    std::size_t weight(const JSONValue& value);
    void combinations(const JSONValue& value, const JSONValue& schema, const std::string& path,
                      int depth, SchemaValidation& result);
    void checkString(std::string_view text, const JSONValue& schema, const std::string& path,
                     SchemaValidation& result);
    void checkNumber(double number, const JSONValue& schema, const std::string& path,
                     SchemaValidation& result);
    void checkObject(const JSONValue::Object& members, const JSONValue& schema,
                     const std::string& path, int depth, SchemaValidation& result);
    void checkArray(const JSONValue::Array& items, const JSONValue& schema, const std::string& path,
                    int depth, SchemaValidation& result);

    const JSONValue& root_;
    std::size_t budget_ = JSONSchemaValidator::kCheckBudget;
    bool exhausted_ = false;
    std::unordered_map<const JSONValue*, std::size_t> weights_;
};

// Texts are paid for by the block, so a path built from a long property name
// costs what copying it costs.
constexpr std::size_t kBytesPerUnit = 64;

std::size_t units(std::string_view text) {
    return 1 + text.size() / kBytesPerUnit;
}

bool Checker::spend(std::size_t cost, const std::string& path, SchemaValidation& result) {
    if (exhausted_) return false;
    if (cost > budget_) {
        // Said once, where the work stopped; every later check is skipped.
        exhausted_ = true;
        budget_ = 0;
        result.unsupported.push_back(path + ": schema recursion limit");
        return false;
    }
    budget_ -= cost;
    return true;
}

// Findings are paid for too: a schema that repeats itself would otherwise
// have a few thousand checks each leave a copy of a long path behind.
void Checker::error(SchemaValidation& result, const std::string& path, std::string_view text) {
    if (spend(units(path) + units(text), path, result)) {
        result.errors.push_back(path + std::string(text));
    }
}

void Checker::note(SchemaValidation& result, const std::string& path, std::string_view text) {
    if (spend(units(path) + units(text), path, result)) {
        result.unsupported.push_back(path + std::string(text));
    }
}

// What comparing value with another value can cost: its nodes, texts by the
// block. Remembered per node, since the same value is checked again and again.
std::size_t Checker::weight(const JSONValue& value) {
    if (const auto known = weights_.find(&value); known != weights_.end()) return known->second;
    std::size_t total = 1;
    if (const auto text = value.string()) total = units(*text);
    for (const JSONValue& element : value.array())
        total += weight(element);
    if (const JSONValue::Object* members = value.object()) {
        for (const auto& [key, member] : *members)
            total += units(key) + weight(member);
    }
    weights_.emplace(&value, total);
    return total;
}

void Checker::check(const JSONValue& value, const JSONValue& schema, const std::string& path,
                    int depth, SchemaValidation& result) {
    // The path was copied for this check, so it is paid for here.
    if (!spend(units(path), path, result)) return;
    if (depth > JSONSchemaValidator::kMaxDepth) {
        note(result, path, ": schema recursion limit");
        return;
    }
    if (const auto accepts = schema.boolean()) {
        if (!*accepts) error(result, path, ": forbidden by schema");
        return;
    }
    if (!schema.isObject()) {
        error(result, path, ": invalid schema object");
        return;
    }

    if (const std::optional<std::string_view> reference = schema["$ref"].string()) {
        if (reference->starts_with("#/")) {
            // Following the pointer costs a lookup per piece.
            if (!spend(reference->size(), path, result)) return;
            check(value, resolve(root_, *reference), path, depth + 1, result);
        } else {
            note(result, path, ": external $ref is not fetched: " + std::string(*reference));
        }
    }

    for (const std::string_view keyword : kUnsupportedKeywords) {
        if (schema.find(keyword) != nullptr) {
            note(result, path, ": unsupported keyword " + std::string(keyword));
        }
    }

    std::vector<std::string> types;
    const JSONValue& type = schema["type"];
    if (!spend(type.array().size(), path, result)) return;
    if (const auto single = type.string()) {
        types.emplace_back(*single);
    } else {
        for (const JSONValue& element : type.array()) {
            if (const auto name = element.string()) types.emplace_back(*name);
        }
    }
    if (!types.empty()) {
        bool any = false;
        for (const std::string& name : types)
            any = any || matches(value, name);
        if (!any) {
            std::string joined;
            for (const std::string& name : types)
                joined += (joined.empty() ? "" : " or ") + name;
            error(result, path, ": expected " + joined);
            return;
        }
    }

    const JSONValue& allowed = schema["enum"];
    if (!allowed.array().empty()) {
        if (!spend(allowed.array().size() * weight(value), path, result)) return;
        bool found = false;
        for (const JSONValue& element : allowed.array())
            found = found || element == value;
        if (!found) error(result, path, ": value is outside enum");
    }
    if (const JSONValue* constant = schema.find("const")) {
        if (!spend(weight(value), path, result)) return;
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

void Checker::combinations(const JSONValue& value, const JSONValue& schema, const std::string& path,
                           int depth, SchemaValidation& result) {
    for (const std::string_view keyword : {"allOf", "anyOf", "oneOf"}) {
        const JSONValue::Array& elements = schema[keyword].array();
        if (elements.empty()) continue;
        std::size_t passed = 0;
        std::vector<std::string> notes;
        for (const JSONValue& element : elements) {
            SchemaValidation fresh;
            check(value, element, path, depth + 1, fresh);
            passed += fresh.isValid();
            appendAll(notes, std::move(fresh.unsupported));
        }
        const bool failed = keyword == "allOf"   ? passed != elements.size()
                            : keyword == "anyOf" ? passed == 0
                                                 : passed != 1;
        if (failed) error(result, path, ": " + std::string(keyword) + " did not match");
        appendAll(result.unsupported, std::move(notes));
    }
    if (const JSONValue* negated = schema.find("not")) {
        SchemaValidation fresh;
        check(value, *negated, path, depth + 1, fresh);
        if (fresh.isValid()) error(result, path, ": forbidden by not");
        appendAll(result.unsupported, std::move(fresh.unsupported));
    }
}

void Checker::checkString(std::string_view text, const JSONValue& schema, const std::string& path,
                          SchemaValidation& result) {
    if (!spend(units(text), path, result)) return;
    const std::size_t length = scalarCount(text);
    if (const auto minimum = schema["minLength"].number(); minimum && length < *minimum) {
        error(result, path, ": too short");
    }
    if (const auto maximum = schema["maxLength"].number(); maximum && length > *maximum) {
        error(result, path, ": too long");
    }
    if (schema["pattern"].isString()) {
        note(result, path, ": remote regex patterns are not executed");
    }
}

void Checker::checkNumber(double number, const JSONValue& schema, const std::string& path,
                          SchemaValidation& result) {
    if (const auto divisor = schema["multipleOf"].number()) {
        if (*divisor <= 0) {
            error(result, path, ": invalid multipleOf");
        } else {
            const double quotient = number / *divisor;
            if (!(std::fabs(quotient - std::nearbyint(quotient)) <= 1e-9)) {
                error(result, path, ": not a multipleOf " + describe(*divisor));
            }
        }
    }
    if (const auto bound = schema["minimum"].number(); bound && number < *bound) {
        error(result, path, ": below minimum");
    }
    if (const auto bound = schema["maximum"].number(); bound && number > *bound) {
        error(result, path, ": above maximum");
    }
    if (const auto bound = schema["exclusiveMinimum"].number(); bound && number <= *bound) {
        error(result, path, ": below exclusive minimum");
    }
    if (const auto bound = schema["exclusiveMaximum"].number(); bound && number >= *bound) {
        error(result, path, ": above exclusive maximum");
    }
}

void Checker::checkObject(const JSONValue::Object& members, const JSONValue& schema,
                          const std::string& path, int depth, SchemaValidation& result) {
    if (!spend(members.size() + schema["required"].array().size(), path, result)) return;
    if (const auto minimum = schema["minProperties"].number();
        minimum && members.size() < *minimum) {
        error(result, path, ": too few properties");
    }
    if (const auto maximum = schema["maxProperties"].number();
        maximum && members.size() > *maximum) {
        error(result, path, ": too many properties");
    }
    for (const JSONValue& name : schema["required"].array()) {
        if (const auto key = name.string(); key && !members.contains(*key)) {
            error(result, path, "." + std::string(*key) + ": required");
        }
    }
    const JSONValue* properties = schema["properties"].isObject() ? &schema["properties"] : nullptr;
    const JSONValue& additional = schema["additionalProperties"];
    for (const auto& [name, member] : members) {
        if (exhausted_) return;
        if (const JSONValue* declared = properties ? properties->find(name) : nullptr) {
            check(member, *declared, path + "." + name, depth + 1, result);
        } else if (additional.boolean() == false) {
            error(result, path, "." + name + ": unexpected property");
        } else if (additional.isObject()) {
            check(member, additional, path + "." + name, depth + 1, result);
        }
    }
}

void Checker::checkArray(const JSONValue::Array& items, const JSONValue& schema,
                         const std::string& path, int depth, SchemaValidation& result) {
    if (const auto minimum = schema["minItems"].number(); minimum && items.size() < *minimum) {
        error(result, path, ": too few items");
    }
    if (const auto maximum = schema["maxItems"].number(); maximum && items.size() > *maximum) {
        error(result, path, ": too many items");
    }
    if (schema["uniqueItems"].boolean() == true && spend(items.size(), path, result) &&
        hasDuplicates(items)) {
        error(result, path, ": duplicate items");
    }
    if (const JSONValue* element = schema.find("items")) {
        for (std::size_t i = 0; i < items.size() && !exhausted_; ++i) {
            check(items[i], *element, path + "[" + std::to_string(i) + "]", depth + 1, result);
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
    Checker(root).check(value, schema, path, depth, result);
}

} // namespace quorilanth
