#include "core/base/UnicodeText.h"

#include <climits>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace quorilanth::unicodeText {

std::string lowercased(std::string_view text) {
    bool ascii = true;
    for (unsigned char c : text) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return out;
    }
    icu::UnicodeString wide = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    wide.toLower(icu::Locale::getRoot());
    std::string out;
    wide.toUTF8String(out);
    return out;
}

bool isBlank(std::string_view text) noexcept {
    // Bodies are capped far below this by the transport; anything larger is
    // simply treated as content.
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t offset = 0;
    while (offset < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            return false;
        }
    }
    return true;
}

} // namespace quorilanth::unicodeText
