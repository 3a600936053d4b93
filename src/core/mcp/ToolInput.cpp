#include "core/mcp/ToolInput.h"

#include <algorithm>

namespace quorilanth::ToolInput {

const JSONValue& property(const MCPTool& tool, std::string_view name) noexcept {
    return tool.inputSchema()["properties"][name];
}

const JSONValue* choice(const JSONValue& property, std::string_view text,
                        std::optional<std::size_t> position) noexcept {
    const JSONValue::Array& choices = property["enum"].array();
    const auto shows = [&](const JSONValue& c) {
        const std::optional<std::string_view> string = c.string();
        return string ? *string == text : c.pretty() == text;
    };
    if (position && *position < choices.size() && shows(choices[*position]))
        return &choices[*position];
    const auto chosen = std::find_if(choices.begin(), choices.end(), shows);
    return chosen == choices.end() ? nullptr : &*chosen;
}

} // namespace quorilanth::ToolInput
