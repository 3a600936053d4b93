#include "core/guided/GuidedPresentation.h"

#include <functional>
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

TEST(GuidedPresentation, TextsInBothLanguages) {
    using Presence = AgentSurfaceAssessment::Presence;
    struct Row {
        std::function<std::string(Language)> text;
        const char* italian;
        const char* english;
    };
    for (const Row& row : std::initializer_list<Row>{
             {[](Language l) { return label("languages", l); }, "Lingue", "Languages"},
             {[](Language l) { return label("Query", l); }, "Query", "Query"},
             {[](Language l) { return label("max_price-ID", l); }, "Max Price Id", "Max Price Id"},
             {[](Language l) { return label("élan\tvital", l); }, "Élan\tVital", "Élan\tVital"},
             {[](Language l) { return label("", l); }, "", ""},
             {[](Language l) {
                  return actionTitle(tool(R"({"name":"list_apps","title":"T"})"), l);
              },
              "Sfoglia le applicazioni", "Browse applications"},
             {[](Language l) { return actionTitle(tool(R"({"annotations":{"title":"A"}})"), l); },
              "A", "A"},
             {[](Language l) { return actionTitle(tool(R"({"name":"export_report"})"), l); },
              "Export Report", "Export Report"},
             {[](Language l) { return actionTitle(tool("{}"), l); }, "Unnamed tool",
              "Unnamed tool"},
             {[](Language l) {
                  return actionIntroduction(tool(R"({"name":"search_articles","description":"D"})"),
                                            l);
              },
              "Indica cosa cerchi e consulta i risultati restituiti dal sito.",
              "Enter what you are looking for and read the results returned by the site."},
             {[](Language l) { return actionIntroduction(tool(R"({"description":""})"), l); },
              "Il sito espone questa funzione, ma non ne pubblica una descrizione.",
              "The site offers this function but has not published a description."},
             {[](Language l) { return actionIntroduction(tool(R"({"description":" "})"), l); }, " ",
              " "},
             {[](Language l) {
                  return safety(tool(R"({"annotations":{"readOnlyHint":true}})"), l);
              },
              "Sola consultazione, secondo il sito", "Read-only, according to the site"},
             {[](Language l) { return documentTitle(node("LLMS.TXT", R"({"title":"T"})"), l); },
              "Le istruzioni per gli assistenti", "Instructions for assistants"},
             {[](Language l) { return documentTitle(node("x", R"({"title":"T","name":"N"})"), l); },
              "T", "T"},
             {[](Language l) { return documentTitle(node("openapi", "{}"), l); }, "Openapi",
              "Openapi"},
             {[](Language l) { return presenceTitle(Presence::notFound, true, true, l); },
              "Non trovate", "Not found"},
             {[](Language l) { return presenceTitle(Presence::inconclusive, false, false, l); },
              "Non verificato", "Not verified"},
             {[](Language l) { return choice("x86_64", l) + choice("EN", l) + choice("it", l); },
              "IntelENItaliano", "IntelENItalian"},
         }) {
        EXPECT_EQ(row.text(italian), row.italian);
        EXPECT_EQ(row.text(english), row.english);
    }
}

TEST(GuidedPresentation, SiteDescriptionPrefersTheLanguageThenEnglishThenThePlainText) {
    struct Row {
        const char* metadata;
        const char* italian; // "" for none
        const char* english;
    };
    for (const Row& row : {
             Row{R"({"description":{"it":"","en":"E"}})", "", "E"},
             Row{R"({"description":{"fr":"F"}})", "", ""},
             Row{R"({"description":"S"})", "S", "S"},
             Row{R"({"about":{"description":{"it":"I"}},"description":"S"})", "I", "S"},
         }) {
        SCOPED_TRACE(row.metadata);
        ScanReport report("https://a.example/");
        report.nodes = {node("a", "{}"), node("b", row.metadata)};
        EXPECT_EQ(siteDescription(report, italian).value_or(""), row.italian);
        EXPECT_EQ(siteDescription(report, english).value_or(""), row.english);
    }
    ScanReport report("https://a.example/");
    report.nodes = {node("a", R"({"description":"late"})"),
                    node("b", R"({"description":"root"})", NodeKind::domain)};
    EXPECT_EQ(siteDescription(report, english), "root");
}

TEST(GuidedPresentation, OnlyValidServersOfferToolsAndRepeatedIdsGetTheirOwnKeys) {
    ScanReport report("https://a.example/");
    report.servers = {MCPServer("https://a.example/mcp"), MCPServer("https://b.example/mcp")};
    report.servers[0].status = FindingStatus::valid;
    report.servers[1].status = FindingStatus::unreachable;
    for (const char* definition : {R"({"name":"a"})", R"({"name":"a#2"})", R"({"name":"a"})"}) {
        report.servers[0].tools.push_back(tool(definition));
        report.servers[1].tools.push_back(tool(definition));
    }
    const std::vector<MCPTool> offered = tools(report);
    ASSERT_EQ(offered.size(), 3u);
    const std::string id = "https://a.example/mcp#tool:a";
    EXPECT_EQ(toolKeys(offered), (std::vector<std::string>{id, id + "#2", id + "#3"}));
}

} // namespace
} // namespace quorilanth
