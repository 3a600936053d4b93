#include "core/discovery/LinkRules.h"

#include "core/model/AsciiText.h"
#include "core/net/Url.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <unicode/uchar.h>
#include <unicode/uregex.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace quorilanth::LinkRules {
namespace {

constexpr std::array<std::string_view, 12> kRelevantSegments{"agents",
                                                             "agent",
                                                             "mcp",
                                                             "llms.txt",
                                                             "llms-full.txt",
                                                             "agent.json",
                                                             "agent-card.json",
                                                             "agent-manifest.json",
                                                             "ai-catalog.json",
                                                             "mcp.json",
                                                             "openapi.json",
                                                             "swagger.json"};

constexpr std::array<std::string_view, 9> kHintWords{
    "mcp",        "agent",        "agents",      "agent-manifest",
    "agent-card", "service-desc", "service-doc", "modelcontextprotocol",
    "ai-catalog"};

constexpr std::array<std::string_view, 7> kManifestNames{
    "agent.json", "agent-card.json", "agent-manifest.json", "ai-catalog.json",
    "mcp.json",   "openapi.json",    "swagger.json"};

constexpr std::size_t kMaxMatches = 500;
constexpr std::size_t kMaxSearchBytes = 256u << 20;
// In units of ten thousand engine steps, counted over the whole search rather
// than per match: about half a second here, twenty-five times what an ordinary
// pattern needs to cross a 2 MB body, so only a pathological body hits it.
constexpr int32_t kTimeLimit = 3000;

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& words) noexcept {
    return std::find(words.begin(), words.end(), word) != words.end();
}

bool contains(std::string_view text, std::string_view part) noexcept {
    return text.find(part) != std::string_view::npos;
}

// The parsed URL's path, or the whole text when it is no URL; lower-cased.
std::string lowerPath(const std::optional<Url>& url, std::string_view text) {
    return asciiLowercase(url ? std::string_view(url->path()) : text);
}

// Calls `piece` for every run of code points between separators.
template <typename IsSeparator, typename Piece>
bool anyPiece(std::string_view text, IsSeparator isSeparator, Piece piece) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    int32_t i = 0;
    while (i < length) {
        const int32_t at = i;
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (isSeparator(c)) {
            if (piece(text.substr(static_cast<std::size_t>(start),
                                  static_cast<std::size_t>(at - start)))) {
                return true;
            }
            start = i;
        }
    }
    return piece(text.substr(static_cast<std::size_t>(start)));
}

bool isAlphanumeric(UChar32 c) noexcept {
    if (c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

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

bool relevant(std::string_view text) {
    const std::string s = lowerPath(Url::parse(text), text);
    std::string_view last;
    const bool named = anyPiece(
        s, [](UChar32 c) { return c == '/'; },
        [&](std::string_view segment) {
            if (segment.empty()) {
                return false;
            }
            last = segment;
            return isOneOf(segment, kRelevantSegments);
        });
    if (named) {
        return true;
    }
    return last.starts_with("sitemap") && !s.ends_with(".gz");
}

bool discoveryHint(std::string_view text) {
    const std::string s = asciiLowercase(text);
    return anyPiece(
        s, [](UChar32 c) { return !(isAlphanumeric(c) || c == '-' || c == '_' || c == ':'); },
        [](std::string_view component) { return isOneOf(component, kHintWords); });
}

NodeKind kind(std::string_view url, std::string_view hint) {
    const std::optional<Url> parsed = Url::parse(url);
    const std::string p = lowerPath(parsed, url);
    const std::string h = asciiLowercase(hint);
    if (p.ends_with("/update.json")) {
        return NodeKind::content;
    }
    const bool mcpPiece = anyPiece(
        h,
        [](UChar32 c) {
            return c == '=' || c == ';' || c == '"' || (c >= 0 && u_isUWhiteSpace(c));
        },
        [](std::string_view piece) { return piece == "mcp"; });
    if (mcpPiece || p.ends_with("/mcp") || contains(h, "modelcontextprotocol")) {
        return NodeKind::mcp;
    }
    if (parsed &&
        isOneOf(std::string_view(asciiLowercase(parsed->lastPathComponent())), kManifestNames)) {
        return NodeKind::manifest;
    }
    if (contains(h, "manifest") || contains(h, "agent_card") || contains(h, "catalog") ||
        contains(h, "service-desc")) {
        return NodeKind::manifest;
    }
    if (p == "/agents" || contains(p, "llms") || contains(p, "sitemap") ||
        contains(p, "robots.txt")) {
        return NodeKind::discovery;
    }
    if (contains(p, "/api/") || contains(h, "endpoint")) {
        return NodeKind::endpoint;
    }
    return NodeKind::content;
}

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

} // namespace quorilanth::LinkRules
