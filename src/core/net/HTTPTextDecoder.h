#pragma once

#include <string>
#include <string_view>

namespace quorilanth::HTTPTextDecoder {

// The text of a response body as UTF-8. Never fails: byte order mark, then the
// JSON/event-stream rule, then the declared charset, then UTF-8, Windows-1252
// and finally UTF-8 with U+FFFD for each invalid sequence.
std::string decode(std::string_view body, std::string_view contentType);

} // namespace quorilanth::HTTPTextDecoder
