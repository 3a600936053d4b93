#pragma once

#include <string>
#include <string_view>

namespace quorilanth::utf8 {

// Each maximal ill-formed subsequence becomes one U+FFFD, the way the Unicode
// standard recommends, so the count of replacements matches other decoders.
std::string lossy(std::string_view bytes);

} // namespace quorilanth::utf8
