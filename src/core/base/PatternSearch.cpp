#include "core/base/PatternSearch.h"

#include <cstdint>
#include <memory>
#include <unicode/uregex.h>
#include <unicode/ustring.h>

namespace quorilanth::PatternSearch {
namespace {

constexpr std::size_t kMaxMatches = 500;
constexpr std::size_t kMaxSearchBytes = 256u << 20;
// In units of ten thousand engine steps, counted over the whole search rather
// than per match: about half a second here, twenty-five times what an ordinary
// pattern needs to cross a 2 MB body, so only a pathological body hits it.
constexpr int32_t kTimeLimit = 3000;

std::u16string toUTF16(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                         &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr,
                         &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::string toUTF8(const char16_t* text, int32_t length) {
    std::string out(static_cast<std::size_t>(length) * 3, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &written,
                       reinterpret_cast<const UChar*>(text), length, 0xFFFD, nullptr, &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(written) : 0);
    return out;
}

struct RegexCloser {
    void operator()(URegularExpression* regex) const noexcept { uregex_close(regex); }
};

} // namespace

Matches captures(std::string_view pattern, std::string_view text) {
    // ICU measures texts in 32-bit units; nothing the scanner keeps comes near.
    if (pattern.size() > kMaxSearchBytes || text.size() > kMaxSearchBytes) {
        return {};
    }
    const std::u16string pattern16 = toUTF16(pattern);
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const std::unique_ptr<URegularExpression, RegexCloser> regex(uregex_open(
        reinterpret_cast<const UChar*>(pattern16.data()), static_cast<int32_t>(pattern16.size()),
        UREGEX_CASE_INSENSITIVE, &parseError, &status));
    if (U_FAILURE(status) || !regex) {
        return {};
    }
    const std::u16string text16 = toUTF16(text);
    uregex_setText(regex.get(), reinterpret_cast<const UChar*>(text16.data()),
                   static_cast<int32_t>(text16.size()), &status);
    uregex_setTimeLimit(regex.get(), kTimeLimit, &status);
    const int32_t groups = uregex_groupCount(regex.get(), &status);
    if (U_FAILURE(status)) {
        return {};
    }
    Matches matches;
    while (matches.size() < kMaxMatches && uregex_findNext(regex.get(), &status) &&
           U_SUCCESS(status)) {
        std::vector<std::string> ranges;
        ranges.reserve(static_cast<std::size_t>(groups) + 1);
        for (int32_t group = 0; group <= groups; ++group) {
            const int32_t start = uregex_start(regex.get(), group, &status);
            const int32_t end = uregex_end(regex.get(), group, &status);
            if (U_FAILURE(status) || start < 0 || end < start) {
                ranges.emplace_back();
                status = U_ZERO_ERROR;
            } else {
                ranges.push_back(toUTF8(text16.data() + start, end - start));
            }
        }
        matches.push_back(std::move(ranges));
    }
    return matches;
}

} // namespace quorilanth::PatternSearch
