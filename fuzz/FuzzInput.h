#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace quorilanth::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The text before the first newline and everything after it, so one input can
// steer two arguments; without a newline the second part is empty.
inline std::pair<std::string_view, std::string_view> splitLine(std::string_view input) {
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos) {
        return {input, {}};
    }
    return {input.substr(0, newline), input.substr(newline + 1)};
}

} // namespace quorilanth::fuzz
