#include "core/guided/GuidedPresentation.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace GuidedPresentation;
using enum Language;

MCPTool tool(const char* definition) {
    return MCPTool("https://a.example/mcp", JSONValue::parse(definition));
}

GraphNode node(std::string label, const char* metadata, NodeKind kind = NodeKind::manifest) {
    GraphNode n(label, kind, label, std::nullopt, FindingStatus::valid);
    n.metadata = JSONValue::parse(metadata);
    return n;
}

const char* const kNone = "The site offers this function but has not published a description.";

TEST(GuidedPresentation, KnownToolsFirstThenWhatTheToolSaysThenItsNameAsALabel) {
    for (const auto& [definition, title, introduction] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {R"({"name":"list_apps","title":"T","description":"D"})", "Browse applications",
              "Browse the site’s catalog and choose any filters you need."},
             {R"({"name":"x","annotations":{"title":"A"},"description":" "})", "A", " "},
             {R"({"name":"export_report","description":""})", "Export Report", kNone},
             {"{}", "Unnamed tool", kNone},
             // Labels: the table by exact key, else the key humanised.
             {R"({"name":"languages"})", "Languages", kNone},
             {R"({"name":"max_price-ID"})", "Max Price Id", kNone},
             {R"({"name":"élan\tvital"})", "Élan\tVital", kNone}}) {
        EXPECT_EQ(actionTitle(tool(definition), english), title);
        EXPECT_EQ(actionIntroduction(tool(definition), english), introduction);
    }
    EXPECT_EQ(documentTitle(node("LLMS.TXT", R"({"title":"T"})"), italian),
              "Le istruzioni per gli assistenti");
    EXPECT_EQ(documentTitle(node("x", R"({"title":"T","name":"N"})"), english), "T");
    EXPECT_EQ(documentTitle(node("openapi", "{}"), english), "Openapi");
    EXPECT_EQ(choice("it", english) + choice("x86_64", italian) + choice("EN", italian),
              "ItalianIntelEN");
}

TEST(GuidedPresentation, SiteDescriptionPrefersTheLanguageThenEnglishThenThePlainText) {
    for (const auto& [metadata, italianText, englishText] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {R"({"description":{"it":"","en":"E"}})", "", "E"},
             {R"({"description":{"fr":"F"}})", "", ""},
             {R"({"description":"S"})", "S", "S"},
             {R"({"about":{"description":{"it":"I"}},"description":"S"})", "I", "S"}}) {
        ScanReport report("https://a.example/");
        report.nodes = {node("a", "{}"), node("b", metadata)};
        EXPECT_EQ(siteDescription(report, italian).value_or(""), italianText) << metadata;
        EXPECT_EQ(siteDescription(report, english).value_or(""), englishText) << metadata;
    }
    ScanReport report("https://a.example/");
    report.nodes = {node("a", R"({"description":"late"})"),
                    node("b", R"({"description":"root"})", NodeKind::domain)};
    EXPECT_EQ(siteDescription(report, english), "root");
    // What a server's tools, resources and prompts say of themselves is not the site's word.
    report.nodes = {node("t", R"({"description":"Echoes"})", NodeKind::tool),
                    node("r", R"({"description":"A file"})", NodeKind::resource),
                    node("p", R"({"description":"A prompt"})", NodeKind::prompt)};
    EXPECT_EQ(siteDescription(report, english), std::nullopt);
}

TEST(GuidedPresentation, OnlyValidServersOfferToolsAndRepeatedIdsGetTheirOwnKeys) {
    ScanReport report("https://a.example/");
    report.servers = {MCPServer("https://a.example/mcp"), MCPServer("https://b.example/mcp")};
    report.servers[0].status = FindingStatus::valid;
    for (const char* definition : {R"({"name":"a"})", R"({"name":"a#2"})", R"({"name":"a"})"})
        for (MCPServer& server : report.servers)
            server.tools.push_back(tool(definition));
    const std::string id = "https://a.example/mcp#tool:a";
    EXPECT_EQ(toolKeys(tools(report)), (std::vector<std::string>{id, id + "#2", id + "#3"}));
}

} // namespace
} // namespace quorilanth
