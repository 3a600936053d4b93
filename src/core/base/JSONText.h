#pragma once

#include <cstddef>

namespace quorilanth::detail {

// How many bytes from p on need no attention inside a JSON string: printable
// ASCII other than the quotation mark and the backslash. Both the reader and
// the writer spend most of their time here on large bodies, so it looks at 16
// bytes at a time.
std::size_t plainRunLength(const unsigned char* p, const unsigned char* end) noexcept;

} // namespace quorilanth::detail
