#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace quorilanth {

// Lower-cases A-Z only, whatever the C locale says. Enough wherever the text is
// compared with ASCII words (header names, media types, schemes) that hold no
// "k": no other character lower-cases to one of those letters.
inline char asciiLower(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

inline bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

} // namespace quorilanth
