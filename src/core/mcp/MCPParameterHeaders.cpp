// Per-parameter headers of a tool call, from the "x-mcp-header" annotations.
#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/mcp/MCPClient.h"

#include <cmath>
#include <set>

namespace quorilanth {

namespace {

constexpr int kMaxDepth = 39;
const JSONValue kNull;
constexpr double kMaxSafeInteger = 9007199254740991.0;
constexpr std::string_view kTokenCharacters =
    "!#$%&'*+-.^_`|~0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool isToken(const std::string& name) {
    // Every allowed character is ASCII, so a byte outside the set (including
    // each byte of a multi-byte character) is a refusal.
    return !name.empty() && name.find_first_not_of(kTokenCharacters) == std::string::npos;
}

class Walk {
public:
    HeaderFields headers;

    void visit(const JSONValue& place, const JSONValue& value, bool reachable, int depth) {
        if (depth > kMaxDepth) throw QuorilanthError("Schema depth limit.");
        if (!place.isObject()) return;
        if (const auto name = place["x-mcp-header"].string())
            annotate(std::string(*name), place, value, reachable);
        for (const auto& [member, child] : *place.object()) {
            if (member == "properties" && child.isObject()) {
                for (const auto& [parameter, schema] : *child.object()) {
                    const JSONValue::Object* given = value.object();
                    const JSONValue& argument = given && !given->empty() ? value[parameter] : kNull;
                    visit(schema, argument, reachable, depth + 1);
                }
            } else if (child.isObject()) {
                visit(child, kNull, false, depth + 1);
            } else if (child.isArray()) {
                for (const JSONValue& element : child.array()) {
                    visit(element, kNull, false, depth + 1);
                }
            }
        }
    }

private:
    void annotate(const std::string& name, const JSONValue& place, const JSONValue& value,
                  bool reachable) {
        const std::optional<std::string_view> type = place["type"].string();
        const bool valid = reachable && isToken(name) &&
                           seen_.insert(asciiLowercase(name)).second && type &&
                           (*type == "string" || *type == "integer" || *type == "boolean");
        if (!valid) throw QuorilanthError("Invalid x-mcp-header annotation: " + name);
        if (value.isNull()) return;
        std::string text;
        if (const auto given = value.string()) {
            text = *given;
        } else {
            if (const auto number = value.number();
                number && std::fabs(*number) > kMaxSafeInteger) {
                throw QuorilanthError("x-mcp-header integer exceeds safe integer range.");
            }
            text = value.pretty();
        }
        headers["Mcp-Param-" + name] = MCPClient::headerValue(text);
    }

    std::set<std::string> seen_;
};

} // namespace

HeaderFields MCPClient::parameterHeaders(const JSONValue& schema, const JSONValue& arguments) {
    Walk walk;
    walk.visit(schema, arguments, true, 0);
    return std::move(walk.headers);
}

} // namespace quorilanth
