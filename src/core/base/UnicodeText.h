#pragma once

#include <string>
#include <string_view>

// Unicode-aware text helpers of the discovery code. Remote text is UTF-8 of any
// quality; malformed sequences are carried through, never a reason to fail.
namespace quorilanth::unicodeText {

// Full Unicode lower-casing (root locale), with an ASCII fast path.
std::string lowercased(std::string_view text);

// Whether the text holds nothing but Unicode white space and line breaks.
bool isBlank(std::string_view text) noexcept;

} // namespace quorilanth::unicodeText
