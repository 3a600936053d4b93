#include "core/schema/SchemaProjection.h"

#include "support/ReportBuilder.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using Card = SchemaCard::ID;
using testsupport::ReportBuilder;

SchemaScene project(const ScanReport& report, const SchemaScope& scope, std::int64_t page = 0,
                    std::string_view query = "", bool content = false) {
    return SchemaProjection::scene(report, scope, page, query, content, false);
}

std::vector<std::string> cardIDs(const SchemaScene& scene) {
    std::vector<std::string> ids;
    for (const SchemaCard& card : scene.cards)
        ids.push_back(card.isGroup() ? "group:" + std::string(toString(card.kind))
                                     : card.id.nodeID());
    return ids;
}

// One or more nodes of each kind named in the list ("tool*3" makes three).
ScanReport kinds(std::initializer_list<std::pair<NodeKind, int>> counts) {
    ReportBuilder b;
    for (const auto& [kind, count] : counts)
        for (int i = 0; i < count; ++i)
            b.node(std::string(toString(kind)) + std::to_string(i), kind,
                   kind == NodeKind::mcp ? FindingStatus::valid : FindingStatus::found);
    return b.report();
}

TEST(SchemaOverview, LanesFollowTheCardsOfEachKind) {
    const struct {
        const char* name;
        bool content;
        double height;
        std::vector<std::pair<Card, GraphRect>> frames;
    } cases[] = {
        {"three cards in the last lane",
         false,
         610,
         {{Card::observation("domain0"), {35, 233, 252, 144}},
          {Card::observation("discovery0"), {357, 90, 252, 144}},
          {Card::group(NodeKind::manifest), {357, 376, 252, 144}},
          {Card::observation("mcp0"), {679, 90, 252, 144}},
          {Card::observation("endpoint0"), {679, 376, 252, 144}},
          {Card::group(NodeKind::tool), {1001, 61, 252, 144}},
          {Card::observation("resource0"), {1001, 233, 252, 144}},
          {Card::observation("prompt0"), {1001, 405, 252, 144}}}},
        {"four cards make the scene taller",
         true,
         778,
         {{Card::observation("domain0"), {35, 317, 252, 144}},
          {Card::group(NodeKind::tool), {1001, 59, 252, 144}},
          {Card::observation("content0"), {1001, 575, 252, 144}}}},
    };
    const ScanReport report = kinds({{NodeKind::domain, 1},
                                     {NodeKind::discovery, 1},
                                     {NodeKind::manifest, 2},
                                     {NodeKind::endpoint, 1},
                                     {NodeKind::mcp, 1},
                                     {NodeKind::tool, 3},
                                     {NodeKind::resource, 1},
                                     {NodeKind::prompt, 1},
                                     {NodeKind::content, 1}});
    for (const auto& c : cases) {
        const SchemaScene scene = project(report, SchemaScope::overview(), 4, "zzz", c.content);
        EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1290, c.height})) << c.name;
        for (const auto& [id, frame] : c.frames)
            EXPECT_EQ(*scene.frame(id), frame) << c.name << " " << id.nodeID();
        EXPECT_EQ(scene.page, 0) << c.name;
        EXPECT_EQ(scene.totalItems, c.content ? 12 : 11) << c.name;
    }
    // Cards keep the declaration order, although mcp stands above endpoint.
    EXPECT_EQ(cardIDs(project(report, SchemaScope::overview())),
              (std::vector<std::string>{"domain0", "discovery0", "group:manifest", "endpoint0",
                                        "mcp0", "group:tool", "resource0", "prompt0"}));
    const SchemaScene empty = project(ScanReport(), SchemaScope::overview());
    EXPECT_EQ(empty.bounds, (GraphRect{0, 0, 1290, 610}));
    EXPECT_TRUE(empty.cards.empty());
    EXPECT_EQ(empty.pageCount, 1);
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
        EXPECT_EQ(scene.page, c.shown) << c.requested;
        EXPECT_EQ(scene.pageCount, 2);
        EXPECT_EQ(scene.totalItems, 13);
        ASSERT_EQ(scene.cards.size(), c.cards) << c.requested;
        EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1060, c.height})) << c.requested;
        EXPECT_EQ(*scene.frame(scene.cards[0].id), (GraphRect{38, 40, 314, 118}));
    }
    const SchemaScene first = project(report, SchemaScope::group(NodeKind::tool));
    EXPECT_EQ(*first.frame(first.cards[4].id), (GraphRect{372, 182, 314, 118}));

    const SchemaScene none = project(report, SchemaScope::group(NodeKind::prompt), 7);
    EXPECT_EQ(none.bounds, (GraphRect{0, 0, 1060, 370}));
    EXPECT_EQ(none.page, 0);
    EXPECT_EQ(none.pageCount, 1);
}

TEST(SchemaGroup, MemberOrderAndQuery) {
    ReportBuilder b;
    for (auto [id, label, url] : {std::tuple{"3", "beta", "https://x.example/special"},
                                  std::tuple{"2", "alpha", "https://x.example/a"},
                                  std::tuple{"1", "Alpha", "https://x.example/b"}}) {
        b.node(id, NodeKind::tool, FindingStatus::found).label = label;
        b.report().nodes.back().url = url;
    }
    const struct {
        const char* query;
        std::vector<std::string> ids;
    } cases[] = {{"", {"1", "2", "3"}},    {" \n\t\u3000", {"1", "2", "3"}},
                 {"  ALPHA ", {"1", "2"}}, {"EXAMPLE/SPECIAL", {"3"}},
                 {"beta https", {"3"}},    {"gamma", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(cardIDs(project(b.report(), SchemaScope::group(NodeKind::tool), 0, c.query)),
                  c.ids)
            << c.query;
}

TEST(SchemaBranch, NeighboursPageBySixBesideTheCentre) {
    ReportBuilder b;
    b.node("B", NodeKind::mcp, FindingStatus::valid);
    for (int i = 0; i < 8; ++i) {
        b.node("n" + std::to_string(i), NodeKind::tool, FindingStatus::found);
        b.edge("B", "n" + std::to_string(i), "tool", "e", "$");
    }
    b.node("hidden", NodeKind::manifest, FindingStatus::notFound);
    b.edge("B", "hidden", "links", "e", "$");
    const struct {
        std::int64_t page;
        std::vector<std::string> ids;
        double height;
    } cases[] = {{0, {"B", "n0", "n1", "n2", "n3", "n4", "n5"}, 680}, {1, {"B", "n6", "n7"}, 420}};
    for (const auto& c : cases) {
        const SchemaScene scene = project(b.report(), SchemaScope::branch("B"), c.page);
        EXPECT_EQ(cardIDs(scene), c.ids);
        EXPECT_EQ(scene.bounds, (GraphRect{0, 0, 1000, c.height}));
        EXPECT_EQ(*scene.frame(Card::observation("B")),
                  (GraphRect{65, c.height / 2 - 72, 280, 144}));
        EXPECT_EQ(*scene.frame(scene.cards[2].id), (GraphRect{610, 140, 324, 84}));
        EXPECT_EQ(scene.totalItems, 8);
        EXPECT_EQ(scene.pageCount, 2);
        // Edges to neighbours on the other page still count as eligible.
        EXPECT_EQ(scene.eligibleEdgeCount, 8);
        EXPECT_EQ(scene.connections.size(), c.ids.size() - 1);
    }
    const SchemaScene hidden = project(b.report(), SchemaScope::branch("hidden"));
    EXPECT_TRUE(hidden.cards.empty());
    EXPECT_EQ(hidden.bounds, (GraphRect{0, 0, 1000, 420}));
    EXPECT_EQ(hidden.totalItems, 0);
}

TEST(SchemaConnections, AggregateByOrderedPairOfCards) {
    ReportBuilder b;
    b.node("A", NodeKind::manifest, FindingStatus::found);
    b.node("A2", NodeKind::manifest, FindingStatus::found);
    b.node("B", NodeKind::mcp, FindingStatus::valid);
    b.node("C", NodeKind::content, FindingStatus::found);
    b.edge("A", "B", "mcp", "e1", "$.a");
    b.edge("B", "A", "back", "e2", "$");
    b.edge("A", "A2", "links", "e3", "$");
    b.edge("A2", "B", "mcp", "e4", "$.b");
    b.edge("B", "B", "self", "e5", "$");
    b.edge("B", "C", "content", "e6", "$"); // C is hidden: not eligible
    const ScanReport& r = b.report();
    const auto relations = [](const std::vector<GraphEdge>& edges) {
        std::vector<std::string> out;
        for (const GraphEdge& e : edges)
            out.push_back(e.relation);
        return out;
    };

    const SchemaScene overview = project(r, SchemaScope::overview());
    EXPECT_EQ(overview.eligibleEdgeCount, 5);
    ASSERT_EQ(overview.connections.size(), 2u);
    EXPECT_EQ(overview.connections[0].source, Card::group(NodeKind::manifest));
    EXPECT_EQ(relations(overview.connections[0].evidence),
              (std::vector<std::string>{"mcp", "mcp"}));
    EXPECT_EQ(overview.connections[1].source, Card::observation("B"));
    EXPECT_EQ(relations(overview.internalEdges), (std::vector<std::string>{"links", "self"}));

    const SchemaScene branch = project(r, SchemaScope::branch("B"));
    ASSERT_EQ(branch.connections.size(), 3u);
    EXPECT_EQ(branch.connections[0].source, Card::observation("A"));
    EXPECT_EQ(branch.connections[1].target, Card::observation("A"));
    EXPECT_EQ(branch.connections[2].source, Card::observation("A2"));
    EXPECT_EQ(relations(branch.internalEdges), (std::vector<std::string>{"self"}));

    const SchemaScene group = project(r, SchemaScope::group(NodeKind::manifest));
    EXPECT_TRUE(group.connections.empty());
    EXPECT_TRUE(group.internalEdges.empty());
}

TEST(SchemaScene, RepeatedNodeIdsMakeOneCard) {
    // A report file may hold one id twice, even under two kinds.
    ReportBuilder b;
    b.node("X", NodeKind::manifest, FindingStatus::found);
    b.node("X", NodeKind::endpoint, FindingStatus::found);
    b.node("Y", NodeKind::tool, FindingStatus::found);
    b.node("Y", NodeKind::tool, FindingStatus::found);
    b.edge("X", "Y", "links", "e", "$");
    for (const SchemaScope& scope :
         {SchemaScope::overview(), SchemaScope::group(NodeKind::tool), SchemaScope::branch("X")}) {
        const SchemaScene scene = project(b.report(), scope);
        EXPECT_EQ(scene.frames.size(), scene.cards.size());
        for (const SchemaCard& card : scene.cards)
            EXPECT_EQ(card.members.size(), 1u);
    }
}

} // namespace
} // namespace quorilanth
