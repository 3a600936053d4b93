#include "core/model/MCPServer.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(MCPTool, NameDescriptionIdAndSafetyComeFromTheDefinition) {
    struct Row {
        const char* definition;
        const char* name;
        const char* description;
        ToolSafety safety;
    };
    using enum ToolSafety;
    for (const Row& row : {
             Row{R"({"name":"search","description":"Find"})", "search", "Find", unknown},
             Row{R"({"name":3,"description":7})", "Unnamed tool", "", unknown},
             Row{R"(["name","x"])", "Unnamed tool", "", unknown},
             Row{R"({"name":"t","annotations":{"readOnlyHint":true}})", "t", "", readOnly},
             Row{R"({"name":"t","annotations":{"destructiveHint":true}})", "t", "", mutating},
             Row{R"({"annotations":{"readOnlyHint":true,"destructiveHint":true}})", "Unnamed tool",
                 "", mutating},
             Row{R"({"name":"t","annotations":{"destructiveHint":false}})", "t", "", unknown},
             Row{R"({"name":"t","annotations":{"readOnlyHint":"true"}})", "t", "", unknown},
         }) {
        SCOPED_TRACE(row.definition);
        MCPTool tool("https://a.example/mcp", JSONValue::parse(row.definition));
        EXPECT_EQ(tool.name(), row.name);
        EXPECT_EQ(tool.description(), row.description);
        EXPECT_EQ(tool.id(), std::string("https://a.example/mcp#tool:") + row.name);
        EXPECT_EQ(tool.safety(), row.safety);
    }
    EXPECT_EQ(MCPTool("s", JSONValue::parse(R"({"inputSchema":false})")).inputSchema(),
              JSONValue(false));
    EXPECT_TRUE(MCPTool("s", JSONValue("x")).inputSchema().isNull());
}

} // namespace
} // namespace quorilanth
