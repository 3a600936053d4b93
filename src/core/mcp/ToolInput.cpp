#include "core/mcp/ToolInput.h"

#include <algorithm>

namespace quorilanth::ToolInput {

const JSONValue& property(const MCPTool& tool, std::string_view name) noexcept {
    return tool.inputSchema()["properties"][name];
}

const JSONValue* choice(const JSONValue& property, std::string_view text) noexcept {
    const JSONValue::Array& choices = property["enum"].array();
    const auto chosen = std::find_if(choices.begin(), choices.end(), [&](const JSONValue& c) {
        const std::optional<std::string_view> string = c.string();
        return string ? *string == text : c.pretty() == text;
    });
    return chosen == choices.end() ? nullptr : &*chosen;
}

} // namespace quorilanth::ToolInput
