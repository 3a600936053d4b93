#include "core/guided/ReadableValue.h"

#include <functional>
#include <gtest/gtest.h>
#include <ranges>
#include <set>

namespace quorilanth {
namespace {

using namespace GuidedPresentation;
using enum Language;

MCPTool tool(const std::string& definition) {
    return MCPTool("https://a.example/mcp", JSONValue::parse(definition));
}

MCPTool taking(const std::string& properties, const std::string& required = "[]") {
    return tool(R"({"name":"t","inputSchema":{"type":"object","properties":)" + properties +
                R"(,"required":)" + required + "}}");
}

// "name=text|name=text" as a form.
FormValues form(std::string_view text) {
    FormValues values;
    for (const auto part : std::views::split(text, '|')) {
        const std::string_view entry(part.begin(), part.end());
        values[std::string(entry.substr(0, entry.find('=')))] = entry.substr(entry.find('=') + 1);
    }
    return values;
}

TEST(GuidedPresentation, TitlesFromTheTableThenTheToolThenItsNameHumanised) {
    const char* const none = "The site offers this function but has not published a description.";
    for (const auto& [definition, title, introduction] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {R"({"name":"list_apps","title":"T","description":"D"})", "Browse applications",
              "Browse the site’s catalog and choose any filters you need."},
             {R"({"name":"x","annotations":{"title":"A"},"description":" "})", "A", " "},
             {"{}", "Unnamed tool", none},
             {R"({"name":"max_price-ID","description":""})", "Max Price Id", none},
             {R"({"name":"élan\tvital"})", "Élan\tVital", none}}) {
        EXPECT_EQ(actionTitle(tool(definition), english), title);
        EXPECT_EQ(actionIntroduction(tool(definition), english), introduction);
    }
    GraphNode llms("LLMS.TXT", NodeKind::manifest, "LLMS.TXT", std::nullopt, FindingStatus::valid);
    llms.metadata = JSONValue::parse(R"({"title":"T"})");
    EXPECT_EQ(documentTitle(llms, italian), "Le istruzioni per gli assistenti");
}

// A word as a function of the language alone: `shown(args…, language)`.
template <typename Shown, typename... Args>
std::function<std::string(Language)> in(Shown shown, Args... args) {
    return [=](Language language) { return shown(args..., language); };
}

TEST(GuidedPresentation, WordsInBothLanguages) {
    using enum AgentSurfaceAssessment::Presence;
    const GraphNode openapi("o", NodeKind::manifest, "openapi", std::nullopt, FindingStatus::valid);
    const MCPTool mutating =
        tool(R"({"name":"x","annotations":{"readOnlyHint":true,"destructiveHint":true}})");
    const auto json = [](const char* text) { return JSONValue::parse(text); };
    for (const auto& [word, italianText, englishText] : std::initializer_list<
             std::tuple<std::function<std::string(Language)>, const char*, const char*>>{
             {in(label, "q"), "Cosa vuoi cercare?", "What would you like to find?"},
             {in(label, "Query"), "Query", "Query"},
             {in(label, "languages"), "Lingue", "Languages"},
             {in(label, "language"), "Lingua della risposta", "Answer language"},
             {in(label, ""), "", ""},
             {in(label, "user-ID"), "User Id", "User Id"},
             {in(label, "STRASSE__ÉTÉ"), "Strasse  Été", "Strasse  Été"},
             {in(label, "1st_o'NEIL\u00a0ǆx"), "1St O'neil\u00a0ǅx", "1St O'neil\u00a0ǅx"},
             {in(documentTitle, openapi), "Openapi", "Openapi"},
             {in(safety, mutating), "Può apportare modifiche · conferma richiesta",
              "May make changes · confirmation required"},
             {in(presenceTitle, notFound, true, true), "Non trovate", "Not found"},
             {in(presenceTitle, found, false, true), "Trovati", "Found"},
             {in(presenceTitle, inconclusive, true, false), "Non verificata", "Not verified"},
             {in(presenceTitle, found, false, false), "Trovato", "Found"},
             {in(choice, "x86_64"), "Intel", "Intel"},
             {in(choice, "it"), "Italiano", "Italian"},
             {in(choice, "EN"), "EN", "EN"},
             {in(ReadableValue::display, json("true")), "Sì", "Yes"},
             {in(ReadableValue::display, json("false")), "No", "No"},
             {in(ReadableValue::display, json("null")), "Non specificato", "Not specified"},
             {in(ReadableValue::display, json("3")), "3", "3"},
             {in(ReadableValue::display, json(R"("x")")), "x", "x"},
         }) {
        EXPECT_EQ(word(italian), italianText);
        EXPECT_EQ(word(english), englishText);
    }
}

TEST(GuidedPresentation, EveryWordOfTheFixedTables) {
    using enum AgentSurfaceAssessment::Presence;
    const auto document = [](const char* label) {
        return GraphNode("d", NodeKind::manifest, label, std::nullopt, FindingStatus::valid);
    };
    const auto named = [&](const char* label, const char* metadata) {
        GraphNode node = document(label);
        node.metadata = JSONValue::parse(metadata);
        return node;
    };
    for (const auto& [word, italianText, englishText] : std::initializer_list<
             std::tuple<std::function<std::string(Language)>, const char*, const char*>>{
             // Presence: gender and number agree in Italian only.
             {in(presenceTitle, found, true, true), "Trovate", "Found"},
             {in(presenceTitle, found, true, false), "Trovata", "Found"},
             {in(presenceTitle, notFound, false, true), "Non trovati", "Not found"},
             {in(presenceTitle, notFound, true, false), "Non trovata", "Not found"},
             {in(presenceTitle, notFound, false, false), "Non trovato", "Not found"},
             {in(presenceTitle, inconclusive, true, true), "Non verificate", "Not verified"},
             {in(presenceTitle, inconclusive, false, true), "Non verificati", "Not verified"},
             {in(presenceTitle, inconclusive, false, false), "Non verificato", "Not verified"},
             // Safety lines.
             {in(safety, tool(R"({"name":"r","annotations":{"readOnlyHint":true}})")),
              "Sola consultazione, secondo il sito", "Read-only, according to the site"},
             {in(safety, tool(R"({"name":"w","annotations":{"readOnlyHint":false}})")),
              "Può apportare modifiche · conferma richiesta",
              "May make changes · confirmation required"},
             {in(safety, tool(R"({"name":"u","annotations":{"destructiveHint":false}})")),
              "Effetti non dichiarati · conferma richiesta",
              "Effects not declared · confirmation required"},
             // Plain words of well-known values; the match is exact.
             {in(choice, "en"), "English", "English"},
             {in(choice, "true"), "Sì", "Yes"},
             {in(choice, "false"), "No", "No"},
             {in(choice, "arm64"), "Apple Silicon", "Apple Silicon"},
             {in(choice, "True"), "True", "True"},
             {in(choice, ""), "", ""},
             // Document titles by the lower-cased label, then the metadata, then the label.
             {in(documentTitle, document("agent.json")), "Come si presenta il sito",
              "How the site introduces itself"},
             {in(documentTitle, document("Agent-Manifest.JSON")), "Come si presenta il sito",
              "How the site introduces itself"},
             {in(documentTitle, document("agent-card.json")), "La scheda del suo assistente",
              "Its assistant’s profile"},
             {in(documentTitle, document("ai-catalog.json")), "Il catalogo pubblicato",
              "The published catalog"},
             {in(documentTitle, document("CATALOG")), "Il catalogo pubblicato",
              "The published catalog"},
             {in(documentTitle, document("llms.txt")), "Le istruzioni per gli assistenti",
              "Instructions for assistants"},
             {in(documentTitle, document("agents")), "La guida alle funzioni del sito",
              "A guide to the site’s functions"},
             {in(documentTitle, document("mcp.json")), "Come collegarsi alle sue funzioni",
              "How to connect to its functions"},
             {in(documentTitle, document("sitemap.xml")), "L’indice delle pagine",
              "The page index"},
             {in(documentTitle, document("robots.txt")), "Le indicazioni per chi esplora il sito",
              "Instructions for site visitors and crawlers"},
             {in(documentTitle, named("llms.txt", R"({"title":"T"})")),
              "Le istruzioni per gli assistenti", "Instructions for assistants"},
             {in(documentTitle, named("x.json", R"({"title":"T","name":"N"})")), "T", "T"},
             {in(documentTitle, named("x.json", R"({"title":1,"name":"N"})")), "N", "N"},
             {in(documentTitle, named("agent_card", "{}")), "Agent Card", "Agent Card"},
         }) {
        EXPECT_EQ(word(italian), italianText);
        EXPECT_EQ(word(english), englishText);
    }
}

TEST(GuidedPresentation, SiteDescriptionIsTheDomainsFirstInTheLanguageThenEnglishNeverATools) {
    for (const auto& [kind, first, second, italianText, englishText] : std::initializer_list<
             std::tuple<NodeKind, const char*, const char*, const char*, const char*>>{
             {NodeKind::manifest, "{}", R"({"description":{"it":"","en":"E"}})", "", "E"},
             {NodeKind::manifest, R"({"description":"late"})",
              R"({"about":{"description":{"it":"I"}},"description":"S"})", "I", "S"},
             {NodeKind::tool, R"({"description":"Echoes"})", "{}", "", ""},
             // Neither language published: the candidate gives nothing, and a
             // plain text elsewhere serves both languages.
             {NodeKind::manifest, R"({"description":"P"})", R"({"description":{"fr":"F"}})", "P",
              "P"}}) {
        ScanReport report("https://a.example/");
        report.nodes = {GraphNode("a", kind, "a", std::nullopt, FindingStatus::valid),
                        GraphNode("b", NodeKind::domain, "b", std::nullopt, FindingStatus::valid)};
        report.nodes[0].metadata = JSONValue::parse(first);
        report.nodes[1].metadata = JSONValue::parse(second);
        EXPECT_EQ(siteDescription(report, italian).value_or(""), italianText) << second;
        EXPECT_EQ(siteDescription(report, english).value_or(""), englishText) << second;
    }
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

TEST(GuidedArguments, ConversionsTheLanguageAndTheSentenceOfEachFailure) {
    const MCPTool subject = taking(
        R"({"query":{"type":"string"},"app_id":{"type":"string"},"n":{"type":"integer"},
            "free":{"type":"boolean"},"pick":{"type":["integer","boolean"],"enum":[1,2,true]},
            "lines":{"type":"array","items":{"type":"string"}},"obj":{"type":"object"},
            "code":{"type":"string","pattern":"^a"},"s":{"type":["null",1,"integer","string"]},
            "language":{"enum":["it","en"]}})",
        R"(["query","app_id"])");
    // The arguments sent, or the failure's sentence.
    const auto outcome = [&](const char* values, Language language = english) {
        try {
            return arguments(form(values), subject, language);
        } catch (const QuorilanthError& error) {
            return JSONValue(error.message());
        }
    };
    for (const auto& [values, expected] : std::initializer_list<std::pair<const char*, JSONValue>>{
             {"query= \n\t", JSONValue("Complete the required fields: App identifier, What would "
                                       "you like to find?.")},
             {"query=42|app_id=a|s= |n=42|free=true|pick=2|obj=",
              JSONValue::parse(
                  R"({"query":"42","app_id":"a","s":" ","n":42,"free":true,"pick":2})")},
             // An untyped list of texts is a text field, so the language can be sent.
             {"query=q|app_id=a|language=en",
              JSONValue::parse(R"({"query":"q","app_id":"a","language":"en"})")},
             {"query=q|app_id=a|pick=true|lines=a\n\n  b \r\nc\u2028",
              JSONValue::parse(R"({"query":"q","app_id":"a","pick":true,"lines":["a","b","c"]})")},
             {"query=q|app_id=a|free=yes", JSONValue("Check the value of ‘Free only’.")},
             {"query=q|app_id=a|n=1e999", JSONValue("Check the value of ‘N’.")},
             {"query=q|app_id=a|n=-1e999", JSONValue("Check the value of ‘N’.")},
             {"query=q|app_id=a|n=NaN", JSONValue("Check the value of ‘N’.")},
             {"query=q|app_id=a|n=Infinity", JSONValue("Check the value of ‘N’.")},
             {"query=q|app_id=a|n=-Infinity", JSONValue("Check the value of ‘N’.")},
             // Several fields that cannot be sent: the first by name is named, every time.
             {"query=q|app_id=a|zz=1|obj={}",
              JSONValue("The field ‘Obj’ requires the technical editor.")},
             {"query=q|app_id=a|code=a",
              JSONValue("This function requires options Quorilanth cannot yet validate. You can "
                        "inspect them in the technical view.")},
         })
        EXPECT_EQ(outcome(values), expected) << values;
    EXPECT_TRUE(outcome("query=q|app_id=a|n=3.5")
                    .text()
                    .starts_with("Some fields do not meet the site’s requirements:\n"));
    // The language starts filled in only where the form can send it.
    EXPECT_EQ(initialValues(subject, italian), (FormValues{{"language", "it"}}));
    EXPECT_TRUE(initialValues(taking(R"({"language":{"enum":["en"]}})"), italian).empty());
    EXPECT_TRUE(
        initialValues(taking(R"({"language":{"type":"object","enum":["it"]}})"), italian).empty());
    EXPECT_EQ(outcome("query=q|app_id=a|n=1e999", italian),
              JSONValue("Controlla il valore di «N»."));
    EXPECT_EQ(outcome("query=q|app_id=a|obj=x", italian),
              JSONValue("Il campo «Obj» richiede l’editor tecnico."));
    EXPECT_EQ(outcome("app_id=a", italian),
              JSONValue("Compila i campi obbligatori: Cosa vuoi cercare?."));
}

TEST(GuidedArguments, APickedElementIsSentWhateverElseShowsItsText) {
    const MCPTool subject = taking(R"({"n":{"type":["integer","string"],"enum":[1,"1"]},
                   "b":{"type":["boolean","string"],"enum":[true,"true"]},
                   "z":{"type":["null","string"],"enum":[null,"null"]}})");
    // The picked positions, or none: then each text stands for its first element.
    for (const auto& [positions, expected] :
         std::initializer_list<std::pair<ChoicePositions, const char*>>{
             {{}, R"({"n":1,"b":true,"z":null})"},
             {{{"n", 0}, {"b", 0}, {"z", 0}}, R"({"n":1,"b":true,"z":null})"},
             {{{"n", 1}, {"b", 1}, {"z", 1}}, R"({"n":"1","b":"true","z":"null"})"},
             // A position beyond the list names nothing.
             {{{"n", 7}, {"b", 1}, {"z", 1}}, R"({"n":1,"b":"true","z":"null"})"},
         })
        EXPECT_EQ(arguments(form("n=1|b=true|z=null"), subject, english, positions),
                  JSONValue::parse(expected))
            << expected;
}

// `count` copies of an element ("k" + i for members), as a JSON array or object.
std::string many(int count, const std::string& element, bool object = false) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += (i ? "," : "") + (object ? "\"k" + std::to_string(i) + "\":" : "") + element;
    return object ? "{" + text + "}" : "[" + text + "]";
}

// The nodes of a tree, each id seen once.
std::size_t count(const ReadableNode& node, std::set<std::string>& ids) {
    EXPECT_TRUE(ids.insert(node.id).second) << node.id;
    std::size_t total = 1;
    for (const ReadableNode& child : node.children)
        total += count(child, ids);
    return total;
}

TEST(ReadableValue, LimitsAndTheirSentences) {
    std::string accents;
    for (int i = 0; i < 20000; ++i)
        accents += "\u0301";
    for (const auto& [json, children, note, text] :
         std::initializer_list<std::tuple<std::string, std::size_t, std::string, std::string>>{
             {many(31, "1", true), 30,
              "Showing 30 of 31 fields. The rest are in the original response.", ""},
             {many(21, "{}"), 20,
              "Showing 20 of 21 items. The complete list is in the original response.", ""},
             {"[]", 0, "", "No items returned."},
             {"\"" + std::string(5000, 'e') + "\"", 0,
              "More details are available in the original response.", "\u2026"},
             // One letter under 20,000 accents is one character, still too long to show.
             {"\"e" + accents + "\"", 0, "More details are available in the original response.",
              "\u0301\u2026"},
             // Per-level limits alone would give 20^5 rows: the tree stops at its budget.
             {many(20, many(20, many(20, many(20, "[1]")))), 2, "", ""},
         }) {
        const ReadableNode top = ReadableValue::tree(JSONValue::parse(json), english);
        EXPECT_EQ(std::tuple(top.children.size(), top.note.value_or("")),
                  std::tuple(children, note))
            << json.substr(0, 40);
        EXPECT_TRUE(top.text.ends_with(text));
        EXPECT_LT(top.text.size(), 40000u);
        std::set<std::string> ids;
        EXPECT_LE(count(top, ids), ReadableValue::kMaxNodes + ReadableValue::kMaxDepth + 2);
    }
    // Below the fifth level, the sentence that sends the reader to the answer.
    ReadableNode deep = ReadableValue::tree(JSONValue::parse(R"([[[[[["six"]]]]]])"), italian);
    while (!deep.children.empty())
        deep = ReadableNode(deep.children[0]);
    EXPECT_EQ(std::tuple(deep.depth, deep.text),
              std::tuple(6u, "Altri dettagli sono disponibili nella risposta originale."));
    // A long field name reads as its whole label would, cut to its column.
    std::string words;
    for (int i = 0; i < 300; ++i)
        words += "a_";
    const ReadableNode named =
        ReadableValue::tree(JSONValue::parse("{\"" + words + "\":1}"), english);
    EXPECT_EQ(named.children.at(0).label, label(words, english).substr(0, 200) + "\u2026");
}

TEST(ReadableValue, AnObjectDrawnAtTheDeepestLevelShowsItsFields) {
    const std::string more = "More details are available in the original response.";
    const std::string fields = R"({"name":"N","a":1,"b":"x"})";
    for (const auto& [json, title, texts] :
         std::initializer_list<std::tuple<std::string, std::string, std::vector<std::string>>>{
             {"[[[[[" + fields + "]]]]]", "N", {"1", "x"}},
             {"[[[[" + fields + "]]]]", "N", {"1", "x"}},
             {"[[[[[[" + fields + "]]]]]]", "", {}},
         }) {
        SCOPED_TRACE(json);
        ReadableNode node = ReadableValue::tree(JSONValue::parse(json), english);
        while (node.kind == ReadableNode::Kind::list && !node.children.empty())
            node = ReadableNode(node.children[0]);
        EXPECT_EQ(node.title.value_or(""), title);
        std::vector<std::string> shown;
        for (const ReadableNode& row : node.children)
            shown.push_back(row.text);
        EXPECT_EQ(shown, texts);
        EXPECT_EQ(node.text, texts.empty() ? more : "");
    }
}

TEST(ReadableValue, ObjectsTitledFieldsOrderedAndOnlySafePagesOffered) {
    const ReadableNode n =
        ReadableValue::tree(JSONValue::parse(R"({"name":"N","title":"T","summary":"S",
        "zeta":1,"price":{"a":1},"alpha":[1],"results":[],"_meta":1,"canonical_url":"https://a.example/p#f",
        "official_page_url":"https://a.example/x.DMG","url":"ftp://x","inputSchema":{}})"),
                            italian);
    EXPECT_EQ(std::tuple(n.title, n.description, n.page, n.pageHost),
              std::tuple("N", "S", "https://a.example/p", "a.example"));
    // Each field's label and how it sits: the initial of its slot.
    std::string fields;
    for (const ReadableNode& field : n.children)
        fields += field.label + ":" + "TICROF"[static_cast<int>(field.slot)] + " ";
    EXPECT_EQ(fields, "Risultati:O Prezzo:F Alpha:F Titolo:R Zeta:R ");
    const ReadableNode opened = ReadableValue::open(n.children[1], italian);
    EXPECT_EQ(std::tuple(opened.id, opened.children.at(0).text), std::tuple(n.children[1].id, "1"));

    const ReadableNode refused =
        ReadableValue::tree(JSONValue::parse(R"({"name":3,"url":"http://a.example/",
        "website":"https://a.example/a.tar.gz","official_page_url":"https://u@a.example/"})"),
                            english);
    EXPECT_FALSE(refused.title || refused.page);
    EXPECT_EQ(refused.children.size(), 4u);
}

} // namespace
} // namespace quorilanth
