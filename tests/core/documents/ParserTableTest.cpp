#include "core/documents/AgentManifestParser.h"
#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::answer;

// A JSON object whose innermost container sits `level` levels below the root and
// holds one relevant reference.
std::string nested(int level) {
    std::string open;
    std::string close;
    for (int i = 0; i < level; ++i) {
        open += "{\"a\":";
        close += "}";
    }
    return open + "{\"u\":\"https://x.example/agent.json\"}" + close;
}

// `count` relevant references, as array elements or as members of one object.
std::string references(int count, bool inArray) {
    std::string body = inArray ? "{\"list\":[" : "{";
    for (int i = 0; i < count; ++i) {
        const std::string url = "\"https://x.example/" + std::to_string(i) + "/mcp\"";
        body += (i ? "," : "") +
                (inArray ? "{\"u\":" + url + "}" : "\"k" + std::to_string(1000 + i) + "\":" + url);
    }
    return body + (inArray ? "]}" : "}");
}

TEST(Parser, JSONWalkKeepsOnlyWhatTheLimitsAllow) {
    const struct {
        const char* name;
        std::string body;
        std::size_t links;
    } cases[] = {
        {"strings directly in arrays", "{\"servers\":[\"https://x.example/mcp\"]}", 0},
        {"innermost at level 11", nested(11), 1},
        {"innermost at level 12", nested(12), 0},
        {"array of 150", references(150, true), 100},
        {"object of 400 members", references(400, false), 300},
    };
    for (const auto& c : cases) {
        const auto doc = AgentManifestParser::parse(
            answer("https://x.example/a.json", "application/json", c.body));
        EXPECT_EQ(doc.links.size(), c.links) << c.name;
    }
}

TEST(Parser, CountsTheLimitBeforeDuplicatesGo) {
    // 300 mentions of one URL fill the list; they collapse to one link afterwards,
    // and the reference that came after them stays out.
    std::string body;
    for (int i = 0; i < 300; ++i) {
        body += "see https://x.example/mcp\n";
    }
    body += "and https://x.example/agents\n";
    const auto doc =
        AgentManifestParser::parse(answer("https://x.example/notes.txt", "text/plain", body));
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].url, "https://x.example/mcp");
    EXPECT_EQ(doc.summary, "Text read · 300 references; no normative schema validation");
}

TEST(Parser, TemplatesJoinSchemeAndHostOnly) {
    const struct {
        const char* base;
        const char* candidate;
        const char* expected; // empty: no link
    } cases[] = {
        {"https://x.example/a.json", "https://y.example/v1/{id}", "https://y.example/v1/{id}"},
        {"http://x.example:8080/a.json", "/items/{id}", "http://x.example/items/{id}"},
        {"https://x.example/a.json", "http://y.example/{id}", ""},
        {"https://x.example/a.json", "/items/{id", ""},
    };
    for (const auto& c : cases) {
        const auto doc = AgentManifestParser::parse(answer(
            c.base, "application/json", std::string("{\"endpoint\":\"") + c.candidate + "\"}"));
        if (*c.expected == '\0') {
            EXPECT_TRUE(doc.links.empty()) << c.candidate;
            continue;
        }
        ASSERT_EQ(doc.links.size(), 1u) << c.candidate;
        EXPECT_EQ(doc.links[0].url, c.expected);
        EXPECT_EQ(doc.links[0].relation, "declares template");
    }
}

TEST(Parser, LinkParametersThatNameAnInterfaceKeepAnIrrelevantTarget) {
    const auto doc = AgentManifestParser::parse(
        answer("https://x.example/", "text/plain", "",
               "</openapi>; rel=\"service-desc\", </about>; rel=\"author\""));
    ASSERT_EQ(doc.links.size(), 1u);
    EXPECT_EQ(doc.links[0].url, "https://x.example/openapi");
    EXPECT_EQ(doc.links[0].kind, NodeKind::manifest);
}

// The body arrives decoded; whatever the page declares must not decode it again.
TEST(Parser, AlreadyDecodedPageKeepsItsText) {
    const std::string title = "<title>Caf\u00e9 \u2014 \u65e5\u672c</title>";
    for (const std::string head : {"<meta charset=\"iso-8859-1\">", "<meta charset=utf-16>"}) {
        const auto doc =
            AgentManifestParser::parse(answer("https://x.example/", "text/html", head + title));
        EXPECT_EQ(doc.metadata["title"], JSONValue("Caf\u00e9 \u2014 \u65e5\u672c")) << head;
    }
}

} // namespace
} // namespace quorilanth
