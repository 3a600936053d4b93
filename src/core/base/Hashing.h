#pragma once

#include <cstddef>
#include <functional>

namespace quorilanth::detail {

// Mixes one more hash into a running seed (the 64-bit variant of the usual
// golden-ratio combine), so that field order matters.
inline void hashCombine(std::size_t& seed, std::size_t value) noexcept {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 12) + (seed >> 4);
}

template <typename T> void hashField(std::size_t& seed, const T& value) {
    hashCombine(seed, std::hash<T>{}(value));
}

} // namespace quorilanth::detail
