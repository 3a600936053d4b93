#pragma once

#include <cstddef>
#include <string_view>

namespace quorilanth::utf8 {

// Length of the well-formed UTF-8 sequence that starts at p (1 to 4), or 0 when
// the bytes there are not one: overlong forms, encoded surrogates, code points
// beyond U+10FFFF and truncated sequences are all refused.
std::size_t sequenceLength(const unsigned char* p, const unsigned char* end) noexcept;

// Whole-text check with a fast path for runs of ASCII.
bool isValid(std::string_view text) noexcept;

// Bytes from the start that are plain ASCII, scanned eight at a time.
std::size_t asciiPrefix(const unsigned char* p, const unsigned char* end) noexcept;

} // namespace quorilanth::utf8
