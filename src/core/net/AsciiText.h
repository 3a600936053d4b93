#pragma once

#include <string>
#include <string_view>

namespace quorilanth {

// Lower-cases A-Z only. Enough wherever the text is compared with ASCII words
// that hold no "k": no other character lower-cases to one of those letters.
inline std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return out;
}

} // namespace quorilanth
