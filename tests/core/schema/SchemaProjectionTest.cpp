#include "core/schema/SchemaProjection.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using Card = SchemaCard::ID;
using Strings = std::vector<std::string>;

SchemaScene project(const ScanReport& report, const SchemaScope& scope, std::int64_t page = 0,
                    std::string_view query = "", bool content = false) {
    return SchemaProjection::scene(report, scope, page, query, content, false);
}

Strings cardIDs(const SchemaScene& scene) {
    Strings ids;
    for (const SchemaCard& card : scene.cards)
        ids.push_back(card.isGroup() ? "group:" + std::string(toString(card.kind))
                                     : card.id.nodeID());
    return ids;
}

Strings relations(const std::vector<GraphEdge>& edges) {
    Strings out;
    for (const GraphEdge& e : edges)
        out.push_back(e.relation);
    return out;
}

// count nodes of each kind, named after the kind and a number: tool0, tool1, ...
ScanReport kinds(std::initializer_list<std::pair<NodeKind, int>> counts) {
    testsupport::ReportBuilder b;
    for (const auto& [kind, count] : counts)
        for (int i = 0; i < count; ++i)
            b.node(std::string(toString(kind)) + std::to_string(i), kind,
                   kind == NodeKind::mcp ? FindingStatus::valid : FindingStatus::found);
    return b.report();
}

TEST(SchemaOverview, LanesFollowTheCardsOfEachKind) {
    // clang-format off
    const ScanReport report = kinds({{NodeKind::domain, 1}, {NodeKind::discovery, 1},
        {NodeKind::manifest, 2}, {NodeKind::endpoint, 1}, {NodeKind::mcp, 1}, {NodeKind::tool, 3},
        {NodeKind::resource, 1}, {NodeKind::prompt, 1}, {NodeKind::content, 1}});
    const std::pair<Card, GraphRect> frames[] = {
        {Card::observation("domain0"),    {35, 233, 252, 144}},  // alone: centred
        {Card::observation("discovery0"), {357, 90, 252, 144}},  // two: 286 apart
        {Card::group(NodeKind::manifest), {357, 376, 252, 144}},
        {Card::observation("mcp0"),       {679, 90, 252, 144}},
        {Card::observation("endpoint0"),  {679, 376, 252, 144}},
        {Card::group(NodeKind::tool),     {1001, 61, 252, 144}}, // three: 172 apart
        {Card::observation("resource0"),  {1001, 233, 252, 144}},
        {Card::observation("prompt0"),    {1001, 405, 252, 144}}};
    // clang-format on
    const SchemaScene scene = project(report, SchemaScope::overview(), 4, "zzz");
    EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1290, 610}));
    for (const auto& [id, frame] : frames)
        EXPECT_EQ(*scene.frame(id), frame) << id.nodeID();
    EXPECT_EQ(scene.totalItems, 11);
    // Cards keep the declaration order, although mcp stands above endpoint.
    EXPECT_EQ(cardIDs(project(report, SchemaScope::overview())),
              (Strings{"domain0", "discovery0", "group:manifest", "endpoint0", "mcp0", "group:tool",
                       "resource0", "prompt0"}));
    EXPECT_EQ(project(ScanReport(), SchemaScope::overview()).bounds, (GraphRect{0, 0, 1290, 610}));
}

TEST(SchemaGroup, PagesOfTwelveClampTheRequestedPage) {
    const ScanReport report = kinds({{NodeKind::tool, 13}, {NodeKind::resource, 1}});
    const struct {
        std::int64_t requested;
        std::int64_t shown;
        std::size_t cards;
        double height;
    } cases[] = {{1, 1, 1, 370},
                 {5, 1, 1, 370},
                 {std::numeric_limits<std::int64_t>::max(), 1, 1, 370},
                 {-3, 0, 12, 648}};
    for (const auto& c : cases) {
        const SchemaScene scene = project(report, SchemaScope::group(NodeKind::tool), c.requested);
        EXPECT_EQ(scene.page, c.shown);
        EXPECT_EQ(scene.pageCount, 2);
        ASSERT_EQ(scene.cards.size(), c.cards);
        EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1060, c.height}));
        EXPECT_EQ(*scene.frame(scene.cards[0].id), (GraphRect{38, 40, 314, 118}));
        EXPECT_EQ(*scene.frame(scene.cards.back().id),
                  (c.cards == 1 ? GraphRect{38, 40, 314, 118} : GraphRect{706, 466, 314, 118}));
    }
    const SchemaScene none = project(report, SchemaScope::group(NodeKind::prompt), 7);
    EXPECT_EQ(none.bounds, (GraphRect{0, 0, 1060, 370}));
    EXPECT_EQ(none.page, 0);
}

TEST(SchemaGroup, MemberOrderAndQuery) {
    testsupport::ReportBuilder b;
    for (auto [id, label, path] : {std::tuple{"3", "beta", "special"},
                                   std::tuple{"2", "alpha", "a"}, std::tuple{"1", "Alpha", "b"}}) {
        b.node(id, NodeKind::tool, FindingStatus::found).label = label;
        b.report().nodes.back().url = std::string("https://x.example/") + path;
    }
    // clang-format off
    const std::pair<const char*, Strings> cases[] = {
        {"", {"1", "2", "3"}}, {" \n\t\u3000", {"1", "2", "3"}}, {"  ALPHA ", {"1", "2"}},
        {"EXAMPLE/SPECIAL", {"3"}}, {"beta https", {"3"}}, {"gamma", {}}};
    // clang-format on
    for (const auto& [query, ids] : cases)
        EXPECT_EQ(cardIDs(project(b.report(), SchemaScope::group(NodeKind::tool), 0, query)), ids)
            << query;
}

TEST(SchemaBranch, NeighboursPageBySixBesideTheCentre) {
    testsupport::ReportBuilder b;
    b.node("B", NodeKind::mcp, FindingStatus::valid);
    for (int i = 0; i < 8; ++i) {
        b.node("n" + std::to_string(i), NodeKind::tool, FindingStatus::found);
        b.edge("B", "n" + std::to_string(i), "tool", "e", "$");
    }
    b.node("hidden", NodeKind::manifest, FindingStatus::notFound);
    b.edge("B", "hidden", "links", "e", "$");
    const std::tuple<std::int64_t, Strings, double> cases[] = {
        {0, {"B", "n0", "n1", "n2", "n3", "n4", "n5"}, 680}, {1, {"B", "n6", "n7"}, 420}};
    for (const auto& [page, ids, height] : cases) {
        const SchemaScene scene = project(b.report(), SchemaScope::branch("B"), page);
        EXPECT_EQ(cardIDs(scene), ids);
        EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1000, height}));
        EXPECT_EQ(*scene.frame(Card::observation("B")), (GraphRect{65, height / 2 - 72, 280, 144}));
        EXPECT_EQ(*scene.frame(scene.cards[2].id), (GraphRect{610, 140, 324, 84}));
        EXPECT_EQ(scene.totalItems, 8);
        // Edges to neighbours on the other page count as eligible but connect nothing.
        EXPECT_EQ(scene.eligibleEdgeCount, 8);
        EXPECT_EQ(scene.connections.size(), ids.size() - 1);
    }
    const SchemaScene hidden = project(b.report(), SchemaScope::branch("hidden"));
    EXPECT_TRUE(hidden.cards.empty());
    EXPECT_EQ(hidden.bounds, (GraphRect{0, 0, 1000, 420}));
}

TEST(SchemaConnections, AggregateByOrderedPairOfCards) {
    testsupport::ReportBuilder b;
    b.node("A", NodeKind::manifest, FindingStatus::found);
    b.node("A2", NodeKind::manifest, FindingStatus::found);
    b.node("B", NodeKind::mcp, FindingStatus::valid);
    b.node("C", NodeKind::content, FindingStatus::found); // hidden, so its edge is not eligible
    for (auto [source, target, relation] : {std::tuple{"A", "B", "mcp"},
                                            {"B", "A", "back"},
                                            {"A", "A2", "links"},
                                            {"A2", "B", "mcp"},
                                            {"B", "B", "self"},
                                            {"B", "C", "content"}})
        b.edge(source, target, relation, "e", "$");

    const SchemaScene overview = project(b.report(), SchemaScope::overview());
    EXPECT_EQ(overview.eligibleEdgeCount, 5);
    ASSERT_EQ(overview.connections.size(), 2u);
    EXPECT_EQ(overview.connections[0].source, Card::group(NodeKind::manifest));
    EXPECT_EQ(relations(overview.connections[0].evidence), (Strings{"mcp", "mcp"}));
    EXPECT_EQ(overview.connections[1].source, Card::observation("B"));
    EXPECT_EQ(relations(overview.internalEdges), (Strings{"links", "self"}));

    const SchemaScene branch = project(b.report(), SchemaScope::branch("B"));
    ASSERT_EQ(branch.connections.size(), 3u);
    EXPECT_EQ(branch.connections[1].target, Card::observation("A"));
    EXPECT_EQ(branch.connections[2].source, Card::observation("A2"));
    EXPECT_EQ(relations(branch.internalEdges), (Strings{"self"}));

    const SchemaScene group = project(b.report(), SchemaScope::group(NodeKind::manifest));
    EXPECT_TRUE(group.connections.empty() && group.internalEdges.empty());
}

} // namespace
} // namespace quorilanth
