#include "core/base/LossyUTF8.h"

#include "core/base/UTF8.h"

#include <cstddef>

namespace quorilanth::utf8 {
namespace {

// Length of the well-formed sequence starting at i, or 0 with `bad` set to the
// length of the maximal ill-formed prefix (at least 1).
std::size_t sequenceAt(std::string_view s, std::size_t i, std::size_t& bad) noexcept {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t need = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead == 0xE0) {
        need = 2;
        low = 0xA0;
    } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
        need = 2;
    } else if (lead == 0xED) {
        need = 2;
        high = 0x9F;
    } else if (lead == 0xF0) {
        need = 3;
        low = 0x90;
    } else if (lead >= 0xF1 && lead <= 0xF3) {
        need = 3;
    } else if (lead == 0xF4) {
        need = 3;
        high = 0x8F;
    } else {
        bad = 1;
        return 0;
    }
    std::size_t j = i + 1;
    for (std::size_t k = 0; k < need; ++k, ++j) {
        const bool first = k == 0;
        if (j >= s.size() || byte(j) < (first ? low : 0x80) || byte(j) > (first ? high : 0xBF)) {
            bad = j - i;
            return 0;
        }
    }
    return need + 1;
}

} // namespace

std::string lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t ascii = asciiPrefix(begin + i, begin + bytes.size());
        out.append(bytes.substr(i, ascii));
        i += ascii;
        if (i == bytes.size()) {
            break;
        }
        std::size_t bad = 0;
        const std::size_t n = sequenceAt(bytes, i, bad);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            i += bad;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace quorilanth::utf8
