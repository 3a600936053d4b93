#include "core/documents/LinkRules.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(LinkRules, RelevanceLooksAtPathSegmentsAndHintsAtWholeComponents) {
    for (const char* text : {"https://h/.well-known/agent-card.json", "https://h/sitemap-pages.xml",
                             "https://h/LLMS.TXT", "https://h/mcp/", "https://h/%6Dcp", "agent",
                             // Texts that are no URL are split as they stand.
                             "not a url/mcp"})
        EXPECT_TRUE(LinkRules::relevant(text)) << text;
    for (const char* text :
         {"https://h/docs/agent-card.json.html", "https://h/SITEMAP_INDEX.XML.GZ",
          "https://h/sitemaps/index.xml", "https://h//", "https://h/page?next=/mcp",
          "https://h/page#/llms.txt", "https://h/mcp.json5", "see /mcp here", ""})
        EXPECT_FALSE(LinkRules::relevant(text)) << text;
    // A discovery hint matches whole components only.
    for (const char* text :
         {"MCP", "rel=\"service-desc\"", "Agent-Card", "api,agents", "mcp\xC2\xA0x", "\xFFmcp\xFE"})
        EXPECT_TRUE(LinkRules::discoveryHint(text)) << test::printable(text);
    for (const char* text :
         {"mcp-server", "service-description", "x:mcp", "agent_card", "", "mcp\xC3\xA9"})
        EXPECT_FALSE(LinkRules::discoveryHint(text)) << test::printable(text);
}

TEST(LinkRules, KindTakesTheFirstRuleThatHolds) {
    const struct {
        const char* url;
        const char* hint;
        NodeKind expected;
    } cases[] = {
        {"https://h/x/UPDATE.JSON", "rel=\"mcp\"", NodeKind::content},
        {"https://h/MCP/", "", NodeKind::mcp},
        {"https://h/.well-known/mcp.json", "", NodeKind::manifest},
        {"https://h/api/things", "", NodeKind::endpoint},
        {"https://h/llms-full.txt", "", NodeKind::discovery},
        {"https://h/about", "endpoint", NodeKind::endpoint},
        {"https://h/about", "", NodeKind::content},
        {"https://h/llms.txt", "rel=\"mcp\"", NodeKind::mcp},
        {"https://h/x", "mcp\xE3\x80\x80", NodeKind::mcp},
        {"https://h/x", "rel=mcp-server", NodeKind::content},
        {"https://h/x", "io.modelcontextprotocol/server", NodeKind::mcp},
        {"https://h/a/OPENAPI.JSON/", "", NodeKind::manifest},
        {"https://h/x", "application/vnd.agent_card+json", NodeKind::manifest},
        {"https://h/x", "rel=service-desc", NodeKind::manifest},
        {"https://h/agents/", "", NodeKind::discovery},
        {"https://h/agents/x", "", NodeKind::content},
        {"https://h/sitemap_index.xml", "endpoint", NodeKind::discovery},
        {"https://h/v1/api/", "", NodeKind::content},
        // A query never makes a kind; a text that is no URL is read whole.
        {"https://h/x?path=/api/", "", NodeKind::content},
        {"not a url/api/x", "", NodeKind::endpoint},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinkRules::kind(c.url, c.hint), c.expected) << c.url << " / " << c.hint;
}

} // namespace
} // namespace quorilanth
