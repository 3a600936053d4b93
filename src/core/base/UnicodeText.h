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

// The text without Unicode white space and line breaks at either end.
std::string_view trimmed(std::string_view text) noexcept;

// A case-insensitive search that follows the user's locale, in two steps so
// that a list of texts is prepared once: searchKey folds case (with the Turkic
// dotted and dotless i under a Turkish or Azeri locale) and decomposes accents;
// keyContains finds a needle key in a text key, never matching part of an
// accented letter ("cafe" is not in "café").
std::string searchKey(std::string_view text);
bool keyContains(std::string_view textKey, std::string_view needleKey) noexcept;

} // namespace quorilanth::unicodeText
