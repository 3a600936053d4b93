#include "core/base/UnicodeText.h"
#include "core/schema/SchemaNavigator.h"
#include "support/ReportBuilder.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>
#include <unordered_set>

namespace quorilanth {
namespace {

using Card = SchemaCard::ID;
using Strings = std::vector<std::string>;

SchemaScene project(const ScanReport& report, const SchemaScope& scope, std::int64_t page = 0,
                    std::string_view query = "") {
    return SchemaProjection::scene(report, scope, page, query, false, false);
}

// The cards by id, each connection as "source>target:relation,relation," and
// each internal edge as "=relation".
Strings describe(const SchemaScene& scene) {
    const auto name = [](const Card& id) {
        return id.isGroup() ? "group:" + std::string(toString(id.kind())) : id.nodeID();
    };
    Strings out;
    for (const SchemaCard& card : scene.cards)
        out.push_back(name(card.id));
    for (const SchemaConnection& c : scene.connections) {
        out.push_back(name(c.source) + ">" + name(c.target) + ":");
        for (const GraphEdge& e : c.evidence)
            out.back() += e.relation + ",";
    }
    for (const GraphEdge& e : scene.internalEdges)
        out.push_back("=" + e.relation);
    return out;
}

// count nodes of each kind, named after the kind and a number: tool0, tool1, ...
testsupport::ReportBuilder kinds(std::initializer_list<std::pair<NodeKind, int>> counts) {
    testsupport::ReportBuilder b;
    for (const auto& [kind, count] : counts)
        for (int i = 0; i < count; ++i)
            b.node(std::string(toString(kind)) + std::to_string(i), kind,
                   kind == NodeKind::mcp ? FindingStatus::valid : FindingStatus::found);
    return b;
}

// Lanes and connections over every kind, edges joining manifests, server and hidden content.
TEST(SchemaProjection, OverviewLanesAndConnectionsByOrderedPairOfCards) {
    // clang-format off
    testsupport::ReportBuilder b = kinds({{NodeKind::domain, 1}, {NodeKind::discovery, 1},
        {NodeKind::manifest, 2}, {NodeKind::endpoint, 1}, {NodeKind::mcp, 1}, {NodeKind::tool, 3},
        {NodeKind::resource, 1}, {NodeKind::prompt, 1}, {NodeKind::content, 1}});
    for (auto [source, target, relation] : {std::tuple{"content0", "mcp0", "hidden"}, {"manifest0", "mcp0", "mcp"},
             {"mcp0", "manifest0", "back"}, {"manifest0", "manifest1", "links"},
             {"manifest1", "mcp0", "mcp"}, {"mcp0", "mcp0", "self"}, {"mcp0", "content0", "content"}})
        b.edge(source, target, relation, "e", "$");
    const ScanReport& report = b.report();
    // One card alone is centred, two stand 286 apart, three 172.
    const std::pair<Card, GraphRect> frames[] = {
        {Card::observation("domain0"), {35, 233, 252, 144}},
        {Card::observation("discovery0"), {357, 90, 252, 144}}, {Card::group(NodeKind::manifest), {357, 376, 252, 144}},
        {Card::observation("mcp0"), {679, 90, 252, 144}}, {Card::observation("endpoint0"), {679, 376, 252, 144}},
        {Card::group(NodeKind::tool), {1001, 61, 252, 144}}, {Card::observation("prompt0"), {1001, 405, 252, 144}}};
    // clang-format on
    // The query and the page have no say in the overview.
    const SchemaScene scene = project(report, SchemaScope::overview(), 4, "zzz");
    for (const auto& [id, frame] : frames)
        EXPECT_EQ(*scene.frame(id), frame) << id.nodeID();
    // The edges to and from the hidden content page are not eligible; the
    // next edge into the same server is.
    EXPECT_EQ(std::tuple(scene.bounds, scene.totalItems, scene.eligibleEdgeCount),
              std::tuple(GraphRect{0, 0, 1290, 610}, 11, 5));
    // Cards keep the declaration order, although mcp stands above endpoint.
    // clang-format off
    for (const auto& [scope, expected] : std::initializer_list<std::pair<SchemaScope, Strings>>{
             {SchemaScope::overview(), {"domain0", "discovery0", "group:manifest", "endpoint0", "mcp0",
               "group:tool", "resource0", "prompt0", "group:manifest>mcp0:mcp,mcp,",
               "mcp0>group:manifest:back,", "=links", "=self"}},
             {SchemaScope::branch("mcp0"), {"mcp0", "manifest0", "manifest1", "manifest0>mcp0:mcp,",
               "mcp0>manifest0:back,", "manifest1>mcp0:mcp,", "=self"}},
             {SchemaScope::group(NodeKind::manifest), {"manifest0", "manifest1"}}})
        // clang-format on
        EXPECT_EQ(describe(project(report, scope)), expected);
}

TEST(SchemaProjection, GroupsPageByTwelveBranchesBySixAndPagesAreClamped) {
    testsupport::ReportBuilder b = kinds({{NodeKind::mcp, 1}, {NodeKind::tool, 13}});
    for (int i = 0; i < 8; ++i)
        b.edge("mcp0", "tool" + std::to_string(i), "tool", "e", "$");
    b.node("hidden", NodeKind::manifest, FindingStatus::notFound);
    b.edge("mcp0", "hidden", "links", "e", "$");
    const SchemaScope tools = SchemaScope::group(NodeKind::tool), mcp = SchemaScope::branch("mcp0");
    const std::int64_t last = std::numeric_limits<std::int64_t>::max();
    // clang-format off
    for (const auto& [scope, asked, shown, pages, cards] :
         std::initializer_list<std::tuple<SchemaScope, std::int64_t, std::int64_t, std::int64_t, std::size_t>>{
             {tools, 1, 1, 2, 1}, {tools, last, 1, 2, 1}, {tools, -3, 0, 2, 12},
             {SchemaScope::group(NodeKind::prompt), 7, 0, 1, 0}, {SchemaScope::branch("hidden"), 0, 0, 1, 0},
             // the centre and its neighbours
             {mcp, 0, 0, 2, 7}, {mcp, last, 1, 2, 3}}) {
        // clang-format on
        const SchemaScene scene = project(b.report(), scope, asked);
        EXPECT_EQ(std::tuple(scene.page, scene.pageCount, scene.cards.size()),
                  std::tuple(shown, pages, cards));
    }
    // Exact places, card by card, and the size of each page.
    const auto at = [](const char* id) { return Card::observation(id); };
    // clang-format off
    for (const auto& [scope, asked, bounds, frames] : std::initializer_list<std::tuple<SchemaScope,
             std::int64_t, GraphRect, std::vector<std::pair<Card, GraphRect>>>>{
             {SchemaScope::overview(), 0, {0, 0, 1290, 610},
              {{at("mcp0"), {679, 233, 252, 144}}, {Card::group(NodeKind::tool), {1001, 233, 252, 144}}}},
             {tools, 0, {0, 0, 1060, 648}, {{at("tool0"), {38, 40, 314, 118}},
              {at("tool12"), {372, 182, 314, 118}}, {at("tool8"), {706, 466, 314, 118}}}},
             {tools, 1, {0, 0, 1060, 370}, {{at("tool9"), {38, 40, 314, 118}}}},
             {SchemaScope::group(NodeKind::prompt), 7, {0, 0, 1060, 370}, {}},
             {mcp, 0, {0, 0, 1000, 680}, {{at("mcp0"), {65, 268, 280, 144}},
              {at("tool0"), {610, 40, 324, 84}}, {at("tool5"), {610, 540, 324, 84}}}},
             {mcp, 1, {0, 0, 1000, 420}, {{at("mcp0"), {65, 138, 280, 144}},
              {at("tool6"), {610, 40, 324, 84}}, {at("tool7"), {610, 140, 324, 84}}}},
             {SchemaScope::branch("hidden"), 0, {0, 0, 1000, 420}, {}}}) {
        // clang-format on
        const SchemaScene scene = project(b.report(), scope, asked);
        EXPECT_EQ(scene.bounds, bounds) << asked;
        for (const auto& [id, frame] : frames)
            EXPECT_EQ(scene.frame(id) ? *scene.frame(id) : GraphRect{}, frame) << id.nodeID();
    }
    const SchemaScene empty = project(testsupport::ReportBuilder().report(), SchemaScope());
    EXPECT_EQ(
        std::tuple(empty.cards.size(), empty.bounds, empty.page, empty.pageCount, empty.totalItems),
        std::tuple(0u, GraphRect{0, 0, 1290, 610}, 0, 1, 0));
    // Edges to neighbours on the other page count as eligible but connect nothing.
    const SchemaScene second = project(b.report(), mcp, 1);
    EXPECT_EQ(std::tuple(second.totalItems, second.eligibleEdgeCount, describe(second)),
              std::tuple(
                  8, 8, Strings{"mcp0", "tool6", "tool7", "mcp0>tool6:tool,", "mcp0>tool7:tool,"}));
}

// A scene points into its report instead of copying it: it must keep that
// report alive, and compare as copies would, whichever report it came from.
TEST(SchemaScene, KeepsItsReportAliveAndComparesByValue) {
    testsupport::ReportBuilder b = kinds({{NodeKind::mcp, 1}, {NodeKind::tool, 3}});
    b.edge("mcp0", "tool0", "tool", "e", "$.a");
    b.edge("mcp0", "tool1", "tool", "e", "$.b");
    b.edge("tool2", "tool2", "self", "e", "$.c");
    const ScanReport original = b.report();
    auto shared = std::make_shared<ScanReport>(original);
    const std::weak_ptr<ScanReport> watch = shared;
    std::vector<SchemaScene> scenes;
    for (const SchemaScope& scope :
         {SchemaScope::overview(), SchemaScope::group(NodeKind::tool), SchemaScope::branch("mcp0")})
        scenes.push_back(SchemaProjection::scene(shared, scope, 0, "", false, false));
    shared.reset();
    EXPECT_FALSE(watch.expired());

    // Whether each scene (overview, group, branch) still equals its rebuild.
    using Change = std::function<void(ScanReport&)>;
    const std::tuple<const char*, Change, std::array<bool, 3>> changes[] = {
        {"an equal copy", [](ScanReport&) {}, {true, true, true}},
        {"a member's status",
         [](ScanReport& r) { r.nodes[2].status = FindingStatus::invalid; },
         {false, false, false}},
        {"a member's summary",
         [](ScanReport& r) { r.nodes[1].summary = "changed"; },
         {false, false, false}},
        {"a connection's locator",
         [](ScanReport& r) { r.edges[0].locator = "$.z"; },
         {false, true, false}},
        {"an internal edge's evidence",
         [](ScanReport& r) { r.edges[2].evidenceID = "f"; },
         {false, true, true}},
    };
    for (const auto& [name, change, equal] : changes) {
        ScanReport other = original;
        change(other);
        for (std::size_t i = 0; i < scenes.size(); ++i)
            EXPECT_EQ(scenes[i] ==
                          SchemaProjection::scene(other, scenes[i].scope, 0, "", false, false),
                      equal[i])
                << name << " in scene " << i;
    }
    scenes.clear();
    EXPECT_TRUE(watch.expired());
}

TEST(SchemaGroup, MemberOrderAndQuery) {
    testsupport::ReportBuilder b;
    for (auto [id, label, path] : {std::tuple{"3", "beta", "special"},
                                   std::tuple{"2", "alpha", "a"}, std::tuple{"1", "Alpha", "b"}}) {
        GraphNode& node = b.node(id, NodeKind::tool, FindingStatus::found);
        node.label = label;
        node.url = std::string("https://x.example/") + path;
    }
    // clang-format off
    for (const auto& [query, ids] : std::initializer_list<std::pair<const char*, Strings>>{
             {" \n\t\u3000", {"1", "2", "3"}}, {"  ALPHA ", {"1", "2"}}, {"EXAMPLE/SPECIAL", {"3"}},
             {"beta https", {"3"}}, {"gamma", {}}})
        // clang-format on
        EXPECT_EQ(describe(project(b.report(), SchemaScope::group(NodeKind::tool), 0, query)), ids)
            << query;
}

TEST(SchemaNavigator, TrailAndPaging) {
    const SchemaScope tools = SchemaScope::group(NodeKind::tool);
    SchemaNavigator navigator;
    navigator.navigate(tools);
    navigator.query = "x";
    navigator.navigate(tools); // the same scope again clears the filter but adds no step
    navigator.page = 40;
    navigator.previousPage(3); // from the page the scene shows, not the one asked for
    EXPECT_EQ(std::tuple(navigator.trail.size(), navigator.query, navigator.page),
              std::tuple(1u, "", 2));
    navigator.back();
    navigator.back();
    EXPECT_EQ(std::tuple(navigator.scope, navigator.page, navigator.trail.size()),
              std::tuple(SchemaScope(), 0, 0u));
    for (int i = 0; i < 1000; ++i)
        navigator.navigate(SchemaScope::branch(std::to_string(i)));
    EXPECT_EQ(std::tuple(navigator.trail.size(), navigator.trail.back()),
              std::tuple(SchemaNavigator::trailLimit, SchemaScope::branch("998")));
    navigator.page = 3;
    navigator.setQuery("a");
    EXPECT_EQ(navigator.page, 0);
}

// Reports a hostile or damaged file could hold: repeated ids, edges to nowhere
// and to themselves, every kind and status, labels differing only in case.
TEST(SchemaSceneProperty, EveryGeneratedReportGivesASoundScene) {
    std::mt19937_64 random(20240611);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const char* urls[] = {"https://x.example/a", "https://x.example/robots.txt",
                          "https://x.example/%53itemap.xml", "not a url"};
    const std::int64_t pages[] = {0, 1, 2, -1, std::numeric_limits<std::int64_t>::max()};
    // Some differ only in case, some only in their second eight bytes or
    // after their sixteenth.
    const char* labels[] = {"Label",
                            "label",
                            "\u00C9tiquette",
                            "Tool_set_b",
                            "tool_set_a",
                            "label whose head is shared 2",
                            "LABEL WHOSE HEAD IS SHARED 1"};
    const auto memberKey = [](const GraphNode& node) {
        return std::pair(unicodeText::lowercased(node.label), node.id);
    };
    for (int run = 0; run < 1000; ++run) {
        ScanReport report;
        const std::size_t nodes = pick(120);
        const auto id = [&] { return "n" + std::to_string(pick(nodes + 5)); };
        for (std::size_t i = 0; i < nodes; ++i) {
            GraphNode& node = report.nodes.emplace_back(
                id(), allNodeKinds[pick(allNodeKinds.size())], labels[pick(std::size(labels))],
                urls[pick(4)], allFindingStatuses[pick(allFindingStatuses.size())]);
            node.summary = pick(2) ? "" : "Declared reference \u00B7 not yet requested";
            if (pick(3) == 0) node.isAgentDocument = pick(2) == 0;
        }
        for (std::size_t i = pick(240); i > 0; --i)
            report.edges.push_back({id(), id(), "links", "e", "$"});
        const SchemaScope scopes[] = {{},
                                      SchemaScope::group(allNodeKinds[pick(allNodeKinds.size())]),
                                      SchemaScope::branch(id())};
        const SchemaScope& scope = scopes[pick(3)];
        const std::int64_t page = pages[pick(std::size(pages))];
        const char* query = pick(2) ? "" : "LA";
        const bool content = pick(2), missing = pick(2);
        const SchemaScene scene =
            SchemaProjection::scene(report, scope, page, query, content, missing);
        SCOPED_TRACE("run " + std::to_string(run));
        EXPECT_EQ(scene, SchemaProjection::scene(report, scope, page, query, content, missing));
        std::unordered_set<std::string> visible;
        for (const GraphNode& node :
             SchemaGraphEngine::visibleNodes(report.nodes, content, missing))
            visible.insert(node.id);
        EXPECT_EQ(scene.eligibleEdgeCount,
                  std::count_if(report.edges.begin(), report.edges.end(), [&](const GraphEdge& e) {
                      return visible.contains(e.source) && visible.contains(e.target);
                  }));
        EXPECT_TRUE(scene.page >= 0 && scene.page < scene.pageCount);
        std::unordered_set<SchemaCard::ID> ids;
        for (std::size_t i = 0; i < scene.cards.size(); ++i) {
            const SchemaCard& card = scene.cards[i];
            EXPECT_TRUE(ids.insert(card.id).second);
            EXPECT_TRUE(!card.members.empty() && (card.members.size() >= 2) == card.isGroup());
            EXPECT_TRUE(std::is_sorted(card.members.begin(), card.members.end(),
                                       [&](const GraphNode& a, const GraphNode& b) {
                                           return memberKey(a) < memberKey(b);
                                       }));
            const GraphRect* frame = scene.frame(card.id);
            ASSERT_NE(frame, nullptr);
            EXPECT_TRUE(frame->x >= 0 && frame->y >= 0 && frame->maxX() <= scene.bounds.width &&
                        frame->maxY() <= scene.bounds.height);
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_FALSE(frame->intersects(*scene.frame(scene.cards[j].id)));
        }
        // A page lists its items in member order; a branch's centre comes first.
        if (scope.which() != SchemaScope::Case::overview && !scene.cards.empty()) {
            EXPECT_TRUE(std::is_sorted(
                scene.cards.begin() + (scope.which() == SchemaScope::Case::branch),
                scene.cards.end(), [&](const SchemaCard& a, const SchemaCard& b) {
                    return memberKey(a.members.front()) < memberKey(b.members.front());
                }));
        }
        for (const SchemaConnection& connection : scene.connections)
            EXPECT_TRUE(!connection.evidence.empty() && ids.contains(connection.source) &&
                        ids.contains(connection.target) && connection.source != connection.target);
    }
}

} // namespace
} // namespace quorilanth
