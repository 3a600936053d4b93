#pragma once

#include "core/model/NodeKind.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorilanth::LinkRules {

// Whether a URL (or, when it does not parse, the bare text) names a known
// agent-facing resource by one of its path segments. Query and fragment of a
// parseable URL never count.
bool relevant(std::string_view text);

// Whether a relation, key or link-parameter text names an agent interface.
bool discoveryHint(std::string_view text);

// The kind a URL is expected to have, given the relation text, key or link
// parameters that came with it (empty when there were none).
NodeKind kind(std::string_view url, std::string_view hint);

// One entry per match (at most 500), each the texts of all its ranges: index 0
// the whole match, then every capture group; a group that took no part is "".
// Case-insensitive; a pattern that does not compile, or a search that runs out
// of its time budget, ends with what was found so far (nothing for a bad pattern).
using Matches = std::vector<std::vector<std::string>>;
Matches captures(std::string_view pattern, std::string_view text);

} // namespace quorilanth::LinkRules
