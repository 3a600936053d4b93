#include "core/schema/SchemaNavigator.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(SchemaNavigator, TrailAndPaging) {
    const SchemaScope overview, tools = SchemaScope::group(NodeKind::tool),
                                branch = SchemaScope::branch("X");
    SchemaNavigator navigator;
    navigator.navigate(tools);
    navigator.navigate(branch);
    navigator.query = "x";
    // The same scope again clears the filter but adds no step.
    navigator.navigate(branch);
    EXPECT_EQ(navigator.trail, (std::vector<SchemaScope>{overview, tools}));
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

    // Paging steps from the page the scene shows, not the one asked for.
    navigator.page = 40;
    navigator.previousPage(3);
    EXPECT_EQ(navigator.page, 2);
    navigator.setQuery("a");
    EXPECT_EQ(navigator.page, 0);
}

} // namespace
} // namespace quorilanth
