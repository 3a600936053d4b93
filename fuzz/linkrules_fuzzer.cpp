// Hostile text through the pattern search with the patterns the scanner runs
// over bodies and headers, and through the URL classifiers. Matches stay
// within their bound, carry every group and come back as UTF-8.
#include "FuzzInput.h"
#include "core/base/PatternSearch.h"
#include "core/base/UTF8.h"
#include "core/documents/LinkRules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace LinkRules = quorilanth::LinkRules;
namespace PatternSearch = quorilanth::PatternSearch;

namespace {

struct Pattern {
    std::string_view text;
    std::size_t groups;
};

constexpr Pattern kPatterns[] = {
    {R"(<([^>]+)>\s*;([^,]*))", 2},
    {R"(https?://[^\s<>\)\]\"`]+)", 0},
    {R"((?:charset|encoding)\s*=\s*["']?([a-zA-Z0-9._-]+))", 1},
    {R"(<meta\b[^>]*>)", 0},
    {R"(^\s*<\?xml[^>]*>)", 0},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorilanth::fuzz::text(data, size);
    for (const Pattern& pattern : kPatterns) {
        const PatternSearch::Matches matches = PatternSearch::captures(pattern.text, text);
        if (matches.size() > 500) {
            __builtin_trap();
        }
        for (const std::vector<std::string>& ranges : matches) {
            if (ranges.size() != pattern.groups + 1) {
                __builtin_trap();
            }
            for (const std::string& range : ranges) {
                if (!quorilanth::utf8::isValid(range)) {
                    __builtin_trap();
                }
            }
        }
    }
    const auto [url, hint] = quorilanth::fuzz::splitLine(text);
    (void)LinkRules::relevant(url);
    (void)LinkRules::discoveryHint(hint);
    (void)LinkRules::kind(url, hint);
    return 0;
}
