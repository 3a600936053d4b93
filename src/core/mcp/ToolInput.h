#pragma once

#include "core/base/JSONValue.h"
#include "core/model/MCPTool.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace quorilanth::ToolInput {

// The schema of one property of a tool's input; null when the tool declares
// no such property.
const JSONValue& property(const MCPTool& tool, std::string_view name) noexcept;

// The element of a property's "enum" that a choice shown as `text` stands for:
// the first whose display text (a string's own text, any other value's JSON
// text) is `text`; nullptr when none is. A choice sends this element itself:
// read back from its text by the declared type, a number under a union type
// or a word under an undeclared one could never be sent.
// Elements may share a text (1 and "1", true and "true"): a picker that knows
// which entry was chosen passes its `position` in the enum, and that element
// is the one meant as long as it still shows `text`.
const JSONValue* choice(const JSONValue& property, std::string_view text,
                        std::optional<std::size_t> position = std::nullopt) noexcept;

} // namespace quorilanth::ToolInput
