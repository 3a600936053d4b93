#include "core/base/UnicodeText.h"

#include "core/base/AsciiText.h"

#include <climits>
#include <cstring>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace quorilanth::unicodeText {
namespace {

bool isASCII(std::string_view text) noexcept {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// Marks that belong to the character before them: a match may not end just
// before one, or it would split a letter from its accent.
bool continuesCharacter(UChar32 c) noexcept {
    switch (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
    case U_GCB_EXTEND:
    case U_GCB_SPACING_MARK:
    case U_GCB_ZWJ:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string lowercased(std::string_view text) {
    if (isASCII(text) || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return asciiLowercase(text);
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

std::size_t graphemePrefix(std::string_view text, std::size_t limit) {
    // A character takes at least one byte.
    if (text.size() <= limit) return text.size();
    // Boundaries are 32-bit offsets; no text the system holds comes near that.
    text = text.substr(0, static_cast<std::size_t>(INT32_MAX));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, decltype(&utext_close)> utext(
        utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status),
        &utext_close);
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    // Unable to count characters, cut by bytes, but never inside a UTF-8 sequence.
    const auto byteCut = [&] {
        std::size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        return end;
    };
    if (U_FAILURE(status) || !characters) return byteCut();
    characters->setText(utext.get(), status);
    if (U_FAILURE(status)) return byteCut();
    std::int32_t boundary = characters->first();
    for (std::size_t count = 0; count < limit; ++count) {
        const std::int32_t next = characters->next();
        if (next == icu::BreakIterator::DONE) return text.size();
        boundary = next;
    }
    return static_cast<std::size_t>(boundary);
}

struct StandardOrder::Collator {
    std::unique_ptr<icu::Collator> icu;
};

StandardOrder::StandardOrder() : collator_(std::make_unique<Collator>()) {
    icu::Locale locale = icu::Locale::getDefault();
    // The C locale's collation is code-point order: capitals before every
    // small letter, which no reader expects. The root order stands in for it.
    if (std::string_view(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
    UErrorCode status = U_ZERO_ERROR;
    collator_->icu.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator_->icu) {
        collator_->icu.reset();
        return;
    }
    collator_->icu->setStrength(icu::Collator::SECONDARY);
    collator_->icu->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

StandardOrder::~StandardOrder() = default;

bool StandardOrder::operator()(std::string_view a, std::string_view b) const {
    if (!collator_->icu) return a < b;
    UErrorCode status = U_ZERO_ERROR;
    return collator_->icu->compareUTF8(
               icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
               icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())),
               status) == UCOL_LESS;
}

std::string_view trimmed(std::string_view text) noexcept {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return text;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, start, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string searchKey(std::string_view text) {
    const char* language = icu::Locale::getDefault().getLanguage();
    const bool turkic = std::strcmp(language, "tr") == 0 || std::strcmp(language, "az") == 0;
    // Plain ASCII folds to plain ASCII, except the capital I of a Turkic locale.
    if (text.size() > static_cast<std::size_t>(INT32_MAX) ||
        (isASCII(text) && !(turkic && text.find('I') != std::string_view::npos))) {
        return asciiLowercase(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    // Decompose, fold, decompose again: folding can undo a decomposition.
    icu::UnicodeString wide = nfd->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                                 text.data(), static_cast<int32_t>(text.size()))),
                                             status);
    wide.foldCase(turkic ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT);
    wide = nfd->normalize(wide, status);
    if (U_FAILURE(status)) return std::string(text);
    std::string out;
    wide.toUTF8String(out);
    return out;
}

bool keyContains(std::string_view textKey, std::string_view needleKey) noexcept {
    if (needleKey.empty()) return true;
    if (textKey.size() > static_cast<std::size_t>(INT32_MAX)) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(textKey.data());
    const auto length = static_cast<int32_t>(textKey.size());
    for (std::size_t at = textKey.find(needleKey); at != std::string_view::npos;
         at = textKey.find(needleKey, at + 1)) {
        auto end = static_cast<int32_t>(at + needleKey.size());
        if (end == length) return true;
        UChar32 next = 0;
        U8_NEXT(bytes, end, length, next);
        if (next < 0 || !continuesCharacter(next)) return true;
    }
    return false;
}

} // namespace quorilanth::unicodeText
