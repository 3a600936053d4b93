#include "core/schema/SchemaGraphEngine.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testsupport::ReportBuilder;

TEST(SchemaVisibility, FollowsTheTwoDisplayOptions) {
    // shown: a digit per (content, missing) = (off, off), (off, on), (on, off), (on, on);
    // agent: the agent-document flag, '?' when absent, 'd' for a declared reference not requested.
    // clang-format off
    const struct { NodeKind kind; FindingStatus status; const char* path; char agent; const char* shown; } cases[] = {
        {NodeKind::domain,    FindingStatus::unreachable, "",                      '?', "1111"},
        {NodeKind::mcp,       FindingStatus::found,       "mcp",                   '?', "0101"},
        {NodeKind::mcp,       FindingStatus::valid,       "mcp",                   '?', "1111"},
        {NodeKind::manifest,  FindingStatus::found,       "a.json",                'n', "0101"},
        {NodeKind::manifest,  FindingStatus::found,       "a.json",                '?', "1111"},
        {NodeKind::manifest,  FindingStatus::notFound,    "a.json",                '?', "0101"},
        {NodeKind::manifest,  FindingStatus::found,       "b.json",                'd', "0101"},
        {NodeKind::endpoint,  FindingStatus::pending,     "api",                   'y', "0101"},
        {NodeKind::content,   FindingStatus::found,       "about",                 '?', "0011"},
        {NodeKind::discovery, FindingStatus::notFound,    "robots.txt",            '?', "0001"},
        {NodeKind::discovery, FindingStatus::found,       "SITEMAP_INDEX.XML/",    '?', "0011"},
        {NodeKind::discovery, FindingStatus::found,       "%73itemap.xml",         '?', "0011"},
        {NodeKind::discovery, FindingStatus::found,       "feed?next=sitemap.xml", '?', "1111"},
        {NodeKind::discovery, FindingStatus::found,       "//sitemap.example/",    '?', "1111"}, // a host
        {NodeKind::discovery, FindingStatus::found,       "urn:Sitemap.xml",       '?', "0011"}, // no slash
    };
    // clang-format on
    for (const auto& c : cases) {
        const std::string path = c.path;
        const std::string base = path.starts_with("//")                ? "https:"
                                 : path.find(':') != std::string::npos ? ""
                                                                       : "https://x.example/";
        GraphNode node("id", c.kind, "label", base + path, c.status);
        if (c.agent == 'd') node.summary = "Declared reference \u00B7 not yet requested";
        if (c.agent == 'y' || c.agent == 'n') node.isAgentDocument = c.agent == 'y';
        std::string shown;
        for (bool content : {false, true})
            for (bool missing : {false, true})
                shown += SchemaGraphEngine::isVisible(node, content, missing) ? '1' : '0';
        EXPECT_EQ(shown, c.shown) << toString(c.kind) << " " << c.path;
    }
}

TEST(SchemaGraphEngine, ColumnsByKindCentredOnTheTallest) {
    using Nodes = std::vector<std::pair<const char*, NodeKind>>;
    using Frames = std::vector<std::pair<const char*, GraphRect>>;
    // clang-format off
    for (const auto& [nodes, bounds, frames] : std::initializer_list<std::tuple<Nodes, GraphRect, Frames>>{
             {{}, {0, 0, 386, 660}, {}},
             {{{"d", NodeKind::domain}, {"m1", NodeKind::manifest}, {"m0", NodeKind::manifest}},
              {0, 0, 958, 660},
              {{"d", {70, 284, 220, 76}}, {"m0", {642, 238, 232, 76}}, {"m1", {642, 330, 232, 76}}}},
             // kinds by name before ids; hidden content takes no column
             {{{"a", NodeKind::tool}, {"r", NodeKind::resource}, {"p", NodeKind::prompt}, {"c", NodeKind::content}},
              {0, 0, 1530, 660},
              {{"p", {1214, 192, 232, 76}}, {"r", {1214, 284, 232, 76}}, {"a", {1214, 376, 232, 76}}}},
             {{{"t0", NodeKind::tool}, {"t1", NodeKind::tool}, {"t2", NodeKind::tool}, {"t3", NodeKind::tool},
               {"t4", NodeKind::tool}, {"t5", NodeKind::tool}, {"t6", NodeKind::tool}, {"t7", NodeKind::tool}},
              {0, 0, 1530, 816}, {{"t0", {1214, 40, 232, 76}}, {"t7", {1214, 684, 232, 76}}}}}) {
        // clang-format on
        ReportBuilder b;
        for (const auto& [id, kind] : nodes)
            b.node(id, kind, FindingStatus::found);
        const GraphLayout layout = SchemaGraphEngine::layout(b.report().nodes, {}, false, false);
        EXPECT_EQ(layout.bounds, bounds);
        EXPECT_EQ(layout.frames.empty(), nodes.empty());
        for (const auto& [id, frame] : frames)
            EXPECT_EQ(layout.frames.at(id), frame) << id;
    }
}

TEST(SchemaGraphEngine, ServersHeadTheirColumnAndEachFaultyEdgeIsNamed) {
    ReportBuilder b;
    const std::string known = b.exchange("https://x.example/");
    b.node("api", NodeKind::endpoint, FindingStatus::found);
    b.node("z-server", NodeKind::mcp, FindingStatus::valid);
    b.edge("api", "api", "self", known);
    b.edge("api", "gone", "links", known);
    b.edge("api", "z-server", "links", "unknown-evidence", "$.a");
    b.edge("api", "z-server", "declares", known);
    b.edge("api", "z-server", "sound", known, "$.b");
    const ScanReport& r = b.report();
    const GraphLayout layout = SchemaGraphEngine::layout(r.nodes, r.edges, false, false);
    const GraphRect server = layout.frames.at("z-server"), api = layout.frames.at("api");
    EXPECT_TRUE(server.x == api.x && server.maxY() < api.y) << server.y << " " << api.y;
    EXPECT_EQ(layout.edges, (std::vector<GraphEdge>(r.edges.begin() + 2, r.edges.end())));
    EXPECT_EQ(SchemaGraphEngine::validateEvidence(r),
              (std::vector<std::string>{"Unsubstantiated edge: api|api|self|",
                                        "Dangling edge: api|gone|links|",
                                        "Unsubstantiated edge: api|z-server|links|$.a",
                                        "Unsubstantiated edge: api|z-server|declares|"}));
}

} // namespace
} // namespace quorilanth
