#include "core/model/MCPServer.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

struct ToolRow {
    const char* name;
    const char* definition;
    std::string toolName;
    std::string description;
    ToolSafety safety;
};

void PrintTo(const ToolRow& row, std::ostream* out) {
    *out << row.name;
}

class MCPToolDerived : public testing::TestWithParam<ToolRow> {};

TEST_P(MCPToolDerived, NameDescriptionIdAndSafetyComeFromTheDefinition) {
    const ToolRow& row = GetParam();
    MCPTool tool("https://a.example/mcp", JSONValue::parse(row.definition));
    EXPECT_EQ(tool.name(), row.toolName);
    EXPECT_EQ(tool.description(), row.description);
    EXPECT_EQ(tool.id(), "https://a.example/mcp#tool:" + row.toolName);
    EXPECT_EQ(tool.safety(), row.safety);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, MCPToolDerived,
    testing::Values(
        ToolRow{"Plain", R"({"name":"search","description":"Find"})", "search", "Find",
                ToolSafety::unknown},
        ToolRow{"NoName", R"({"description":7})", "Unnamed tool", "", ToolSafety::unknown},
        ToolRow{"NumericName", R"({"name":3})", "Unnamed tool", "", ToolSafety::unknown},
        ToolRow{"EmptyName", R"({"name":""})", "", "", ToolSafety::unknown},
        ToolRow{"NotAnObject", R"(["name","x"])", "Unnamed tool", "", ToolSafety::unknown},
        ToolRow{"ReadOnly", R"({"name":"t","annotations":{"readOnlyHint":true}})", "t", "",
                ToolSafety::readOnly},
        ToolRow{"NotReadOnly", R"({"name":"t","annotations":{"readOnlyHint":false}})", "t", "",
                ToolSafety::mutating},
        ToolRow{"Destructive", R"({"name":"t","annotations":{"destructiveHint":true}})", "t", "",
                ToolSafety::mutating},
        ToolRow{"ReadOnlyYetDestructive",
                R"({"name":"t","annotations":{"readOnlyHint":true,"destructiveHint":true}})", "t",
                "", ToolSafety::mutating},
        ToolRow{"OnlyNotDestructive", R"({"name":"t","annotations":{"destructiveHint":false}})",
                "t", "", ToolSafety::unknown},
        ToolRow{"HintAsString", R"({"name":"t","annotations":{"readOnlyHint":"true"}})", "t", "",
                ToolSafety::unknown},
        ToolRow{"HintAsNumber", R"({"name":"t","annotations":{"readOnlyHint":1}})", "t", "",
                ToolSafety::unknown},
        ToolRow{"EmptyAnnotations", R"({"name":"t","annotations":{}})", "t", "",
                ToolSafety::unknown},
        ToolRow{"AnnotationsNotAnObject", R"({"name":"t","annotations":[true]})", "t", "",
                ToolSafety::unknown},
        ToolRow{"OtherHintsIgnored",
                R"({"name":"t","annotations":{"title":"T","idempotentHint":true}})", "t", "",
                ToolSafety::unknown}),
    [](const auto& info) { return info.param.name; });

TEST(MCPToolInputSchema, IsTheMemberUnchangedOrNull) {
    EXPECT_EQ(MCPTool("s", JSONValue::parse(R"({"inputSchema":{"type":"object"}})")).inputSchema(),
              JSONValue::parse(R"({"type":"object"})"));
    EXPECT_EQ(MCPTool("s", JSONValue::parse(R"({"inputSchema":false})")).inputSchema(),
              JSONValue(false));
    EXPECT_TRUE(MCPTool("s", JSONValue::parse("{}")).inputSchema().isNull());
    EXPECT_TRUE(MCPTool("s", JSONValue("x")).inputSchema().isNull());
}

TEST(MCPServerCreation, StartsAsAFoundStreamableHTTPServer) {
    MCPServer server("https://a.example/mcp");
    EXPECT_EQ(server.id(), "https://a.example/mcp");
    EXPECT_EQ(server.transport, "Streamable HTTP");
    EXPECT_EQ(server.version, "");
    EXPECT_TRUE(server.info.isNull());
    EXPECT_TRUE(server.capabilities.isNull());
    EXPECT_EQ(server.status, FindingStatus::found);
    EXPECT_EQ(server.latencyMS, 0);
    EXPECT_TRUE(server.tools.empty() && server.resources.empty() &&
                server.resourceTemplates.empty() && server.prompts.empty() &&
                server.issues.empty());
}

} // namespace
} // namespace quorilanth
