#pragma once

#include <string>
#include <string_view>
#include <vector>

// ICU regular expressions over remote text, bounded in matches and in time.
namespace quorilanth::PatternSearch {

// One entry per match (at most 500), each the texts of all its ranges: index 0
// the whole match, then every capture group; a group that took no part is "".
// Case-insensitive; a pattern that does not compile, or a search that runs out
// of its time budget, ends with what was found so far (nothing for a bad pattern).
using Matches = std::vector<std::vector<std::string>>;
Matches captures(std::string_view pattern, std::string_view text);

} // namespace quorilanth::PatternSearch
