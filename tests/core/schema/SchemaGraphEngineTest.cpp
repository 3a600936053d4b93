#include "core/schema/SchemaGraphEngine.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;

TEST(SchemaVisibility, FollowsTheTwoDisplayOptions) {
    // shown: one digit per (content, missing) = (off, off), (off, on), (on, off), (on, on).
    const struct {
        const char* name;
        NodeKind kind;
        FindingStatus status;
        const char* url;
        const char* summary;
        std::optional<bool> agentDocument;
        const char* shown;
    } cases[] = {
        {"unreachable domain",
         NodeKind::domain,
         FindingStatus::unreachable,
         "https://x.example/",
         "",
         {},
         "1111"},
        {"server that did not verify",
         NodeKind::mcp,
         FindingStatus::found,
         "https://x.example/mcp",
         "",
         {},
         "0101"},
        {"verified server",
         NodeKind::mcp,
         FindingStatus::valid,
         "https://x.example/mcp",
         "",
         {},
         "1111"},
        {"not an agent document", NodeKind::manifest, FindingStatus::found,
         "https://x.example/a.json", "", false, "0101"},
        {"agent flag absent",
         NodeKind::manifest,
         FindingStatus::found,
         "https://x.example/a.json",
         "",
         {},
         "1111"},
        {"missing manifest",
         NodeKind::manifest,
         FindingStatus::notFound,
         "https://x.example/a.json",
         "",
         {},
         "0101"},
        {"pending endpoint",
         NodeKind::endpoint,
         FindingStatus::pending,
         "https://x.example/api",
         "",
         {},
         "0101"},
        {"declared only",
         NodeKind::manifest,
         FindingStatus::found,
         "https://x.example/b.json",
         "Declared reference \u00B7 not yet requested",
         {},
         "0101"},
        {"content",
         NodeKind::content,
         FindingStatus::found,
         "https://x.example/about",
         "",
         {},
         "0011"},
        {"robots",
         NodeKind::discovery,
         FindingStatus::found,
         "https://x.example/robots.txt",
         "",
         {},
         "0011"},
        {"missing robots",
         NodeKind::discovery,
         FindingStatus::notFound,
         "https://x.example/robots.txt",
         "",
         {},
         "0001"},
        {"sitemap in capitals, trailing slash",
         NodeKind::discovery,
         FindingStatus::found,
         "https://x.example/SITEMAP_INDEX.XML/",
         "",
         {},
         "0011"},
        {"sitemap behind a percent escape",
         NodeKind::discovery,
         FindingStatus::found,
         "https://x.example/%73itemap.xml",
         "",
         {},
         "0011"},
        {"sitemap only in the query",
         NodeKind::discovery,
         FindingStatus::found,
         "https://x.example/feed?next=sitemap.xml",
         "",
         {},
         "1111"},
        {"sitemap only in the host",
         NodeKind::discovery,
         FindingStatus::found,
         "https://sitemap.example/",
         "",
         {},
         "1111"},
    };
    for (const auto& c : cases) {
        GraphNode node("id", c.kind, "label", c.url, c.status);
        node.summary = c.summary;
        node.isAgentDocument = c.agentDocument;
        std::string shown;
        for (bool content : {false, true})
            for (bool missing : {false, true})
                shown += SchemaGraphEngine::isVisible(node, content, missing) ? '1' : '0';
        EXPECT_EQ(shown, c.shown) << c.name;
    }
}

TEST(SchemaGraphLayout, PlacesColumnsByKind) {
    EXPECT_EQ(SchemaGraphEngine::layout({}, {}, false, false).bounds, (GraphRect{0, 0, 386, 660}));

    ReportBuilder b;
    b.node("https://x.example/", NodeKind::domain, FindingStatus::found);
    b.node("b", NodeKind::manifest, FindingStatus::found);
    b.node("a", NodeKind::manifest, FindingStatus::found);
    b.node("api", NodeKind::endpoint, FindingStatus::found);
    b.node("z-server", NodeKind::mcp, FindingStatus::valid);
    b.node("t", NodeKind::tool, FindingStatus::found);
    b.edge("a", "a", "self", "e", "$");
    b.edge("a", "gone", "links", "e", "$");
    b.edge("z-server", "t", "tool", "e", "$");
    const ScanReport& r = b.report();
    const GraphLayout layout = SchemaGraphEngine::layout(r.nodes, r.edges, false, false);

    const std::pair<const char*, GraphRect> frames[] = {
        {"https://x.example/", {70, 284, 220, 76}},
        {"a", {642, 238, 232, 76}},
        {"b", {642, 330, 232, 76}},
        {"z-server", {928, 238, 232, 76}}, // servers head their column
        {"api", {928, 330, 232, 76}},
        {"t", {1214, 284, 232, 76}},
    };
    EXPECT_EQ(layout.frames.size(), std::size(frames));
    for (const auto& [id, frame] : frames)
        EXPECT_EQ(layout.frames.at(id), frame) << id;
    EXPECT_EQ(layout.bounds, (GraphRect{0, 0, 1530, 660}));
    ASSERT_EQ(layout.edges.size(), 1u);
    EXPECT_EQ(layout.edges[0].relation, "tool");
}

TEST(SchemaEvidenceCheck, NamesEachFaultyEdge) {
    ReportBuilder b;
    const std::string known = b.exchange("https://x.example/");
    b.node("s", NodeKind::domain, FindingStatus::found);
    b.node("t", NodeKind::manifest, FindingStatus::found);
    b.edge("s", "gone", "links", known);
    b.edge("s", "t", "links", "unknown-evidence", "$.a");
    b.edge("s", "t", "declares", known);
    b.edge("s", "t", "sound", known, "$.b");
    EXPECT_EQ(SchemaGraphEngine::validateEvidence(b.report()),
              (std::vector<std::string>{"Dangling edge: s|gone|links|",
                                        "Unsubstantiated edge: s|t|links|$.a",
                                        "Unsubstantiated edge: s|t|declares|"}));
}

} // namespace
} // namespace quorilanth
