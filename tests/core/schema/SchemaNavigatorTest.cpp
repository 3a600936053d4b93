#include "core/schema/SchemaNavigator.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(SchemaNavigator, TrailRemembersWhereBackLeads) {
    const SchemaScope overview = SchemaScope::overview();
    const SchemaScope tools = SchemaScope::group(NodeKind::tool);
    const SchemaScope branch = SchemaScope::branch("X");
    SchemaNavigator navigator;
    navigator.navigate(tools);
    navigator.navigate(branch);
    navigator.page = 3;
    navigator.query = "x";
    // The same scope again resets the page and the filter but adds no step.
    navigator.navigate(branch);
    EXPECT_EQ(navigator.trail, (std::vector<SchemaScope>{overview, tools}));
    EXPECT_EQ(navigator.page, 0);
    EXPECT_EQ(navigator.query, "");
    for (const SchemaScope& expected : {tools, overview, overview}) {
        navigator.page = 2;
        navigator.back();
        EXPECT_EQ(navigator.scope, expected);
        EXPECT_EQ(navigator.page, 0);
    }

    for (int i = 0; i < 1000; ++i)
        navigator.navigate(SchemaScope::branch(std::to_string(i)));
    EXPECT_EQ(navigator.trail.size(), SchemaNavigator::trailLimit);
    EXPECT_EQ(navigator.trail.back(), SchemaScope::branch("998"));
    navigator.reset();
    EXPECT_EQ(navigator.scope, overview);
    EXPECT_TRUE(navigator.trail.empty());
}

TEST(SchemaNavigator, PagingStartsFromThePageShown) {
    SchemaNavigator navigator;
    navigator.page = 40; // the scene showed its last page, 3
    navigator.previousPage(3);
    EXPECT_EQ(navigator.page, 2);
    navigator.previousPage(0);
    EXPECT_EQ(navigator.page, 0);
    navigator.nextPage(3);
    EXPECT_EQ(navigator.page, 4);
    navigator.setQuery("a");
    EXPECT_EQ(navigator.page, 0);
    navigator.page = 2;
    navigator.setQuery("a");
    EXPECT_EQ(navigator.page, 2);
}

} // namespace
} // namespace quorilanth
