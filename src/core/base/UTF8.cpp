#include "core/base/UTF8.h"

#include <cstdint>
#include <cstring>

namespace quorilanth::utf8 {

std::size_t asciiPrefix(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned char* start = p;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL) break;
        p += 8;
    }
    while (p < end && *p < 0x80)
        ++p;
    return static_cast<std::size_t>(p - start);
}

std::size_t sequenceLength(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned char lead = p[0];
    if (lead < 0x80) return 1;
    auto available = end - p;
    auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF) return available >= 2 && continuation(p[1]) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (available < 3) return 0;
        // Second byte range rules out overlong forms (E0) and surrogates (ED).
        unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (available < 4) return 0;
        unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return p[1] >= low && p[1] <= high && continuation(p[2]) && continuation(p[3]) ? 4 : 0;
    }
    return 0;
}

bool isValid(std::string_view text) noexcept {
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    auto end = p + text.size();
    while (p < end) {
        p += asciiPrefix(p, end);
        if (p == end) break;
        std::size_t length = sequenceLength(p, end);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

} // namespace quorilanth::utf8
