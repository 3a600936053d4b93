#include "core/schema/SchemaGraphEngine.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;

TEST(SchemaVisibility, FollowsTheTwoDisplayOptions) {
    // shown: a digit per (content, missing) = (off, off), (off, on), (on, off), (on, on);
    // agent: the agent-document flag, '?' when absent.
    const struct {
        NodeKind kind;
        FindingStatus status;
        const char* path;
        bool declaredOnly;
        char agent;
        const char* shown;
    } cases[] = {
        // clang-format off
        {NodeKind::domain,    FindingStatus::unreachable, "",                         false, '?', "1111"},
        {NodeKind::mcp,       FindingStatus::found,       "mcp",                      false, '?', "0101"},
        {NodeKind::mcp,       FindingStatus::valid,       "mcp",                      false, '?', "1111"},
        {NodeKind::manifest,  FindingStatus::found,       "a.json",                   false, 'n', "0101"},
        {NodeKind::manifest,  FindingStatus::found,       "a.json",                   false, '?', "1111"},
        {NodeKind::manifest,  FindingStatus::notFound,    "a.json",                   false, '?', "0101"},
        {NodeKind::endpoint,  FindingStatus::pending,     "api",                      false, 'y', "0101"},
        {NodeKind::manifest,  FindingStatus::found,       "b.json",                   true,  '?', "0101"},
        {NodeKind::content,   FindingStatus::found,       "about",                    false, '?', "0011"},
        {NodeKind::discovery, FindingStatus::found,       "robots.txt",               false, '?', "0011"},
        {NodeKind::discovery, FindingStatus::notFound,    "robots.txt",               false, '?', "0001"},
        {NodeKind::discovery, FindingStatus::found,       "SITEMAP_INDEX.XML/",       false, '?', "0011"},
        {NodeKind::discovery, FindingStatus::found,       "%73itemap.xml",            false, '?', "0011"},
        {NodeKind::discovery, FindingStatus::found,       "feed?next=sitemap.xml",    false, '?', "1111"},
        // clang-format on
    };
    for (const auto& c : cases) {
        GraphNode node("id", c.kind, "label", std::string("https://x.example/") + c.path, c.status);
        if (c.declaredOnly) node.summary = "Declared reference \u00B7 not yet requested";
        if (c.agent != '?') node.isAgentDocument = c.agent == 'y';
        std::string shown;
        for (bool content : {false, true})
            for (bool missing : {false, true})
                shown += SchemaGraphEngine::isVisible(node, content, missing) ? '1' : '0';
        EXPECT_EQ(shown, c.shown) << toString(c.kind) << " " << c.path;
    }
    // A host named like a sitemap is no sitemap.
    EXPECT_TRUE(SchemaGraphEngine::isVisible(
        GraphNode("id", NodeKind::discovery, "", "https://sitemap.example/", FindingStatus::found),
        false, false));
}

TEST(SchemaGraphLayout, PlacesColumnsByKind) {
    EXPECT_EQ(SchemaGraphEngine::layout({}, {}, false, false).bounds, (GraphRect{0, 0, 386, 660}));

    ReportBuilder b;
    b.node("root", NodeKind::domain, FindingStatus::found);
    b.node("b", NodeKind::manifest, FindingStatus::found);
    b.node("a", NodeKind::manifest, FindingStatus::found);
    b.node("api", NodeKind::endpoint, FindingStatus::found);
    b.node("z-server", NodeKind::mcp, FindingStatus::valid);
    b.edge("a", "a", "self", "e", "$");
    b.edge("a", "api", "links", "e", "$");
    const ScanReport& r = b.report();
    const GraphLayout layout = SchemaGraphEngine::layout(r.nodes, r.edges, false, false);
    // clang-format off
    const std::pair<const char*, GraphRect> frames[] = {
        {"root", {70, 284, 220, 76}},     {"a", {642, 238, 232, 76}}, {"b", {642, 330, 232, 76}},
        {"z-server", {928, 238, 232, 76}}, {"api", {928, 330, 232, 76}}};  // servers head a column
    // clang-format on
    for (const auto& [id, frame] : frames)
        EXPECT_EQ(layout.frames.at(id), frame) << id;
    EXPECT_EQ(layout.bounds, (GraphRect{0, 0, 1244, 660}));
    EXPECT_EQ(layout.edges, (std::vector<GraphEdge>{r.edges[1]}));
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
