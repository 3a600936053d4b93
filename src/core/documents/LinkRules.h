#pragma once

#include "core/model/NodeKind.h"

#include <string_view>

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

} // namespace quorilanth::LinkRules
