#include "core/model/MCPTool.h"

#include "core/base/Hashing.h"

namespace quorilanth {

std::string MCPTool::id() const {
    std::string text = serverURL;
    text.append("#tool:").append(name());
    return text;
}

std::string_view MCPTool::name() const noexcept {
    return definition["name"].string().value_or("Unnamed tool");
}

std::string_view MCPTool::description() const noexcept {
    return definition["description"].string().value_or(std::string_view());
}

const JSONValue& MCPTool::inputSchema() const noexcept {
    return definition["inputSchema"];
}

ToolSafety MCPTool::safety() const noexcept {
    const JSONValue& annotations = definition["annotations"];
    if (!annotations.isObject()) return ToolSafety::unknown;
    // Only real booleans count; "true" as a string or 1 as a number declare nothing.
    std::optional<bool> readOnly = annotations["readOnlyHint"].boolean();
    std::optional<bool> destructive = annotations["destructiveHint"].boolean();
    if (readOnly == false || destructive == true) return ToolSafety::mutating;
    if (readOnly == true) return ToolSafety::readOnly;
    return ToolSafety::unknown;
}

std::size_t hashValue(const MCPTool& t) noexcept {
    std::size_t seed = 0;
    detail::hashField(seed, t.serverURL);
    detail::hashField(seed, t.definition);
    return seed;
}

} // namespace quorilanth
