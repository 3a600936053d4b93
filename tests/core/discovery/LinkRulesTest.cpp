#include "core/discovery/LinkRules.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

struct TextCase {
    const char* text;
    bool expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << test::printable(c.text);
}

class Relevant : public ::testing::TestWithParam<TextCase> {};

TEST_P(Relevant, LooksOnlyAtPathSegments) {
    EXPECT_EQ(LinkRules::relevant(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Relevant,
    ::testing::Values(
        TextCase{"https://h/.well-known/agent-card.json", true},
        TextCase{"https://h/docs/agent-card.json.html", false},
        TextCase{"https://h/sitemap-pages.xml", true}, TextCase{"https://h/sitemap.xml.gz", false},
        TextCase{"https://h/SITEMAP_INDEX.XML.GZ", false},
        TextCase{"https://h/sitemaps/index.xml", false}, TextCase{"https://h", false},
        TextCase{"https://h/", false}, TextCase{"https://h//", false},
        TextCase{"https://h/LLMS.TXT", true}, TextCase{"https://h/mcp/", true},
        TextCase{"https://h/a/Agents/b", true}, TextCase{"https://h/%6Dcp", true},
        TextCase{"https://h/page?next=/mcp", false}, TextCase{"https://h/page#/llms.txt", false},
        TextCase{"https://h/mcp.json5", false}, TextCase{"/agents", true}, TextCase{"agent", true},
        // Texts that are no URL are split as they stand.
        TextCase{"see /mcp here", false}, TextCase{"not a url/mcp", true},
        TextCase{"with space/openapi.json", true}, TextCase{"", false}));

class DiscoveryHint : public ::testing::TestWithParam<TextCase> {};

TEST_P(DiscoveryHint, MatchesWholeComponentsOnly) {
    EXPECT_EQ(LinkRules::discoveryHint(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DiscoveryHint,
    ::testing::Values(TextCase{"MCP", true}, TextCase{"mcp-server", false},
                      TextCase{"service-doc", true},
                      TextCase{"rel=service-desc; type=application/json", true},
                      TextCase{"rel=\"service-desc\"", true},
                      TextCase{"service-description", false}, TextCase{"x:mcp", false},
                      TextCase{"agent_card", false}, TextCase{"Agent-Card", true},
                      TextCase{"api,agents", true}, TextCase{"MODELCONTEXTPROTOCOL", true},
                      TextCase{"ai-catalog", true}, TextCase{"", false},
                      TextCase{"mcp\xC3\xA9", false}, TextCase{"mcp\xC2\xA0x", true},
                      TextCase{"\xFF"
                               "mcp\xFE",
                               true}));

struct KindCase {
    const char* url;
    const char* hint;
    NodeKind expected;
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << test::printable(c.url) << " with " << test::printable(c.hint);
}

class Kind : public ::testing::TestWithParam<KindCase> {};

TEST_P(Kind, FirstRuleThatHoldsWins) {
    EXPECT_EQ(LinkRules::kind(GetParam().url, GetParam().hint), GetParam().expected)
        << GetParam().url << " / " << GetParam().hint;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Kind,
    ::testing::Values(
        KindCase{"https://h/update.json", "mcp", NodeKind::content},
        KindCase{"https://h/x/UPDATE.JSON", "rel=\"mcp\"", NodeKind::content},
        KindCase{"https://h/mcp", "", NodeKind::mcp}, KindCase{"https://h/MCP/", "", NodeKind::mcp},
        KindCase{"https://h/.well-known/mcp.json", "", NodeKind::manifest},
        KindCase{"https://h/api/things", "", NodeKind::endpoint},
        KindCase{"https://h/llms-full.txt", "", NodeKind::discovery},
        KindCase{"https://h/about", "endpoint", NodeKind::endpoint},
        KindCase{"https://h/about", "", NodeKind::content},
        KindCase{"https://h/anything", "rel=\"mcp\"", NodeKind::mcp},
        KindCase{"https://h/llms.txt", "rel=\"mcp\"", NodeKind::mcp},
        KindCase{"https://h/x", "type = mcp", NodeKind::mcp},
        KindCase{"https://h/x", "mcp\xE3\x80\x80", NodeKind::mcp},
        KindCase{"https://h/x", "rel=mcp-server", NodeKind::content},
        KindCase{"https://h/x", "io.modelcontextprotocol/server", NodeKind::mcp},
        KindCase{"https://h/api/mcp.json", "", NodeKind::manifest},
        KindCase{"https://h/a/openapi.json/", "", NodeKind::manifest},
        KindCase{"https://h/a/OPENAPI.JSON", "", NodeKind::manifest},
        KindCase{"https://h/x", "application/vnd.agent_card+json", NodeKind::manifest},
        KindCase{"https://h/x", "ai-catalog", NodeKind::manifest},
        KindCase{"https://h/x", "rel=service-desc", NodeKind::manifest},
        KindCase{"https://h/agents", "", NodeKind::discovery},
        KindCase{"https://h/agents/", "", NodeKind::discovery},
        KindCase{"https://h/agents/x", "", NodeKind::content},
        KindCase{"https://h/robots.txt", "", NodeKind::discovery},
        KindCase{"https://h/sitemap_index.xml", "endpoint", NodeKind::discovery},
        KindCase{"https://h/v1/api/", "", NodeKind::content},
        KindCase{"https://h/v1/api/x", "", NodeKind::endpoint},
        // A query never makes a kind; a text that is no URL is read whole.
        KindCase{"https://h/x?path=/api/", "", NodeKind::content},
        KindCase{"not a url/api/x", "", NodeKind::endpoint}, KindCase{"", "", NodeKind::content}));

TEST(Captures, ReturnsEveryRangeOfEveryMatch) {
    const struct {
        const char* pattern;
        const char* text;
        LinkRules::Matches expected;
    } cases[] = {
        {"a(b)?c", "ac ABC", {{"ac", ""}, {"ABC", "B"}}},
        {"(x)|(y)", "yx", {{"y", "", "y"}, {"x", "x", ""}}},
        {"\xC3\xA9(.)",
         "\xC3\x89\xF0\x9F\x98\x80",
         {{"\xC3\x89\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}}},
        {"", "ab", {}},
        {"(", "((", {}},
        {"[a-", "a", {}},
        {"(?<name", "x", {}},
        {"z", "", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinkRules::captures(c.pattern, c.text), c.expected)
            << c.pattern << " / " << c.text;
    }
}

TEST(Captures, StopsAtFiveHundredMatches) {
    EXPECT_EQ(LinkRules::captures("x", std::string(600, 'x')).size(), 500u);
    EXPECT_EQ(LinkRules::captures("x", std::string(499, 'x')).size(), 499u);
}

TEST(Captures, KeepsWhatItFoundWhenAHostileBodyExhaustsTheBudget) {
    // Each "x" is found only after exponential backtracking over the a's
    // before it; the budget covers the whole search, not each match.
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += std::string(18, 'a') + "!x";
    }
    const LinkRules::Matches found = LinkRules::captures("(a+)+$|x", text);
    EXPECT_GT(found.size(), 0u);
    EXPECT_LT(found.size(), 500u);
    // The next search starts with a budget of its own.
    EXPECT_EQ(LinkRules::captures("(a+)!", text).size(), 500u);
}

TEST(Captures, ReadsInvalidUTF8AsReplacementCharacters) {
    EXPECT_EQ(LinkRules::captures("a(.)b", "a\xFF"
                                           "b"),
              (LinkRules::Matches{{"a\xEF\xBF\xBD"
                                   "b",
                                   "\xEF\xBF\xBD"}}));
}

} // namespace
} // namespace quorilanth
