#include "core/documents/LinkRules.h"

#include "core/base/AsciiText.h"
#include "core/base/Url.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unicode/uchar.h>
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

} // namespace quorilanth::LinkRules
