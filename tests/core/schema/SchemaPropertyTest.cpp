#include "core/schema/SchemaProjection.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <unordered_set>

namespace quorilanth {
namespace {

// Reports a hostile or damaged file could hold: repeated ids, edges to nowhere
// and to themselves, every kind and status, labels differing only in case.
ScanReport randomReport(std::mt19937_64& random) {
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const char* urls[] = {"https://x.example/a", "https://x.example/robots.txt",
                          "https://x.example/%53itemap.xml", "not a url"};
    const char* summaries[] = {"", "Declared reference \u00B7 not yet requested"};
    ScanReport report;
    const std::size_t nodes = pick(120);
    for (std::size_t i = 0; i < nodes; ++i) {
        const std::string id = "n" + std::to_string(pick(nodes + 5));
        GraphNode node(id, allNodeKinds[pick(allNodeKinds.size())], pick(2) ? "Label" : "label",
                       urls[pick(4)], allFindingStatuses[pick(allFindingStatuses.size())]);
        node.summary = summaries[pick(2)];
        if (pick(3) == 0) node.isAgentDocument = pick(2) == 0;
        report.nodes.push_back(std::move(node));
    }
    for (std::size_t i = pick(240); i > 0; --i)
        report.edges.push_back({"n" + std::to_string(pick(nodes + 5)),
                                "n" + std::to_string(pick(nodes + 5)), "links", "e", "$"});
    return report;
}

TEST(SchemaSceneProperty, EveryGeneratedReportGivesASoundScene) {
    std::mt19937_64 random(20240611);
    const std::int64_t pages[] = {0, 1, 2, -1, std::numeric_limits<std::int64_t>::max()};
    for (int run = 0; run < 1000; ++run) {
        const ScanReport report = randomReport(random);
        SchemaScope scope;
        switch (random() % 3) {
        case 1:
            scope = SchemaScope::group(allNodeKinds[random() % allNodeKinds.size()]);
            break;
        case 2:
            scope = SchemaScope::branch("n" + std::to_string(random() % 10));
            break;
        }
        const std::int64_t page = pages[random() % std::size(pages)];
        const char* query = random() % 2 ? "" : "LA";
        const bool content = random() % 2;
        const bool missing = random() % 2;
        const SchemaScene scene =
            SchemaProjection::scene(report, scope, page, query, content, missing);
        SCOPED_TRACE("run " + std::to_string(run));

        EXPECT_EQ(scene, SchemaProjection::scene(report, scope, page, query, content, missing));
        EXPECT_GE(scene.page, 0);
        EXPECT_LT(scene.page, scene.pageCount);
        EXPECT_EQ(scene.frames.size(), scene.cards.size());
        std::unordered_set<SchemaCard::ID> ids;
        for (std::size_t i = 0; i < scene.cards.size(); ++i) {
            const SchemaCard& card = scene.cards[i];
            EXPECT_TRUE(ids.insert(card.id).second);
            EXPECT_EQ(card.members.size() >= 2, card.isGroup());
            EXPECT_FALSE(card.members.empty());
            const GraphRect* frame = scene.frame(card.id);
            ASSERT_NE(frame, nullptr);
            EXPECT_TRUE(frame->x >= 0 && frame->y >= 0 && frame->maxX() <= scene.bounds.width &&
                        frame->maxY() <= scene.bounds.height);
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_FALSE(frame->intersects(*scene.frame(scene.cards[j].id)));
        }
        for (const SchemaConnection& connection : scene.connections) {
            EXPECT_FALSE(connection.evidence.empty());
            EXPECT_TRUE(ids.contains(connection.source) && ids.contains(connection.target));
            EXPECT_NE(connection.source, connection.target);
        }
    }
}

} // namespace
} // namespace quorilanth
