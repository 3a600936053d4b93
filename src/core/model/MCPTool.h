#pragma once

#include "core/base/JSONValue.h"
#include "core/model/ToolSafety.h"

#include <string>
#include <string_view>

namespace quorilanth {

// One tool of an MCP server: its definition exactly as listed. Everything else
// is derived from the definition on each use, so a report read back from disk
// gives the same answers.
struct MCPTool {
    std::string serverURL;
    JSONValue definition;

    MCPTool() = default;
    MCPTool(std::string serverURL, JSONValue definition)
        : serverURL(std::move(serverURL)), definition(std::move(definition)) {}

    // serverURL + "#tool:" + name().
    std::string id() const;
    // The definition's "name" when it is a JSON string (empty included), else "Unnamed tool".
    // Views into the definition, valid while this tool lives.
    std::string_view name() const noexcept;
    // The definition's "description" when it is a JSON string, else empty.
    std::string_view description() const noexcept;
    // The definition's "inputSchema" unchanged; null when missing.
    const JSONValue& inputSchema() const noexcept;
    // From the "annotations" booleans: readOnlyHint false or destructiveHint true
    // make it mutating, readOnlyHint true alone read-only, anything else unknown.
    ToolSafety safety() const noexcept;

    friend bool operator==(const MCPTool&, const MCPTool&) = default;
};

std::size_t hashValue(const MCPTool& tool) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::MCPTool> {
    std::size_t operator()(const quorilanth::MCPTool& t) const noexcept {
        return quorilanth::hashValue(t);
    }
};
