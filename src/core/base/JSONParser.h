#pragma once

#include "core/base/JSONValue.h"

#include <cstddef>
#include <string_view>

namespace quorilanth::detail {

// The strict JSON text reader behind JSONValue::parse: one value of any kind,
// whitespace around it, nothing after it; well-formed UTF-8 only, escapes with
// paired surrogates only, numbers in JSON's grammar that a double can hold
// (tiny ones become zero). Containers are opened on an explicit stack, never by
// recursion, and refused beyond maxNesting levels. Reads text, or when read is
// given, what it supplies piece by piece. Throws JSONParseError.
JSONValue parseJSONText(std::string_view text, const JSONValue::Reader* read,
                        std::size_t maxNesting);

} // namespace quorilanth::detail
