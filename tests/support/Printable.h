#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace quorilanth::test {

// ASCII-only and short, so a table row with control characters or broken
// UTF-8 still gets a readable, unique name in a failure message.
inline std::string printable(std::string_view text, std::size_t limit = 60) {
    std::string shown = "\"";
    for (const unsigned char c : text.substr(0, limit)) {
        char escaped[8] = {static_cast<char>(c)};
        if (c < 32 || c >= 127 || c == '"' || c == '\\')
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        shown += escaped;
    }
    return shown + "\"" +
           (text.size() > limit ? "... (" + std::to_string(text.size()) + " bytes)" : "");
}

} // namespace quorilanth::test
