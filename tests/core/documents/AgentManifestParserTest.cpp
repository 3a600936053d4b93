// What the parser makes of hand-made documents: the limits of its walks and
// what a hostile site can send (external entities, entity bombs, oversized and
// over-deep documents, broken embedded JSON, attribute tricks).
#include "core/documents/AgentManifestParser.h"

#include "support/LoopbackHTTPServer.h"
#include "support/ReportBuilder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorilanth {
namespace {

using testsupport::answer;

std::string repeated(std::string_view unit, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += unit;
    return out;
}

std::string numbered(int count, const std::string& before, const std::string& after) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += before + std::to_string(i) + after;
    return out;
}

// Status, issues, the page title, and the number of links with the first and last of them.
std::string outcome(const ParsedDocument& doc) {
    std::string text(toString(doc.status));
    for (std::size_t i = 0; i < doc.issues.size(); ++i)
        text += (i ? " " : " | ") + doc.issues[i];
    if (const auto title = doc.metadata["title"].string())
        text += " | title " + std::string(*title);
    text += " | " + std::to_string(doc.links.size());
    if (doc.links.size() > 1) text += " " + doc.links.front().url + " ...";
    if (!doc.links.empty())
        text += " " + doc.links.back().url + " " + doc.links.back().relation + " " +
                std::string(toString(doc.links.back().kind));
    return text;
}

ParsedDocument parsed(const std::string& url, const std::string& type, const std::string& body) {
    return AgentManifestParser::parse(answer(url, type, body));
}

TEST(AgentManifestParser, WalksWithinItsLimitsAndRefusesHostileDocuments) {
    // Neither a file nor a loopback server named by a DOCTYPE, an entity or an
    // XInclude may ever be read.
    test::LoopbackHTTPServer server;
    const std::string secret = std::filesystem::temp_directory_path() /
                               ("ql-secret-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(secret) << "SECRET-CONTENT";
    const std::string entities = "<!ENTITY file SYSTEM \"file://" + secret +
                                 "\"><!ENTITY net SYSTEM \"" + server.url("/entity") + "\">";
    const std::string json = "application/json", html = "text/html", xml = "text/xml";
    std::string nested12, laughs = "<!DOCTYPE urlset [<!ENTITY l0 \"lol\">";
    for (int i = 0; i < 12; ++i)
        nested12 = "{\"a\":" + (i ? nested12 : R"({"u":"https://x.example/agent.json"})") + "}";
    for (int i = 1; i <= 12; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
                  repeated("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    const std::string title = "<title>Caf\u00e9 \u2014 \u65e5\u672c</title>";
    const std::string ld = "<script type=\"application/ld+json\">";
    const struct {
        const char* name;
        std::string url, contentType, body;
        std::string expected;
    } cases[] = {
        {"strings directly in arrays", "https://x.example/a.json", json,
         R"({"servers":["https://x.example/mcp"]})", "FOUND | 0"},
        {"innermost at level 11", "https://x.example/a.json", json,
         nested12.substr(5, nested12.size() - 6),
         "FOUND | 1 https://x.example/agent.json declares manifest"},
        {"innermost at level 12", "https://x.example/a.json", json, nested12, "FOUND | 0"},
        {"array of 150", "https://x.example/a.json", json,
         "{\"list\":[" + numbered(150, "{\"u\":\"https://x.example/", "/mcp\"},") + "{}]}",
         "FOUND | 100 https://x.example/0/mcp ... https://x.example/99/mcp declares mcp"},
        {"object of 400 members", "https://x.example/a.json", json,
         "{" + numbered(400, "\"k", "\":\"https://x.example/m/mcp\",") + "\"z\":0}",
         "FOUND | 300 https://x.example/m/mcp ... https://x.example/m/mcp declares mcp"},
        {"300 mentions of one URL fill the list before duplicates go",
         "https://x.example/notes.txt", "text/plain",
         repeated("see https://x.example/mcp\n", 300) + "and https://x.example/agents\n",
         "FOUND | 1 https://x.example/mcp text reference mcp"},
        {"a template on another host", "https://x.example/a.json", json,
         R"({"endpoint":"https://y.example/v1/{id}"})",
         "FOUND | 1 https://y.example/v1/{id} declares template endpoint"},
        {"a template takes scheme and host only", "http://x.example:8080/a.json", json,
         R"({"endpoint":"/items/{id}"})",
         "FOUND | 1 http://x.example/items/{id} declares template endpoint"},
        {"a template over plain HTTP", "https://x.example/a.json", json,
         R"({"endpoint":"http://y.example/{id}"})", "FOUND | 0"},
        {"external entities in a sitemap", "https://x.example/sitemap.xml", xml,
         "<!DOCTYPE urlset SYSTEM \"" + server.url("/dtd") + "\" [" + entities +
             "<!ENTITY % pe SYSTEM \"" + server.url("/pe") +
             "\">%pe;]><urlset xmlns:xi=\"http://www.w3.org/2001/XInclude\"><url><loc>"
             "https://x.example/&file;/agents</loc></url><url><loc>https://x.example/&net;/mcp"
             "</loc></url><xi:include href=\"" +
             server.url("/xinclude") + "\" parse=\"text\"/></urlset>",
         "VALID | 2 https://x.example//agents ... https://x.example//mcp sitemap entry mcp"},
        {"external entities in a page", "https://x.example/", html,
         "<!DOCTYPE html SYSTEM \"" + server.url("/html-dtd") + "\" [" + entities +
             "]><html><head><title>&file;</title></head><body><a href=\"/agents\">&net;</a>"
             "<iframe src=\"" +
             server.url("/frame") + "\"></iframe></body></html>",
         "VALID | title &file; | 1 https://x.example/agents HTML link discovery"},
        {"entity bomb", "https://x.example/sitemap.xml", xml,
         laughs + "]><urlset><url><loc>https://x.example/&l12;/agents</loc></url></urlset>",
         "INVALID | XML parse failed. | 0"},
        {"quadratic entity", "https://x.example/sitemap.xml", xml,
         "<!DOCTYPE urlset [<!ENTITY big \"" + std::string(50000, 'a') + "\">]><urlset>" +
             numbered(30, "<url><loc>https://x.example/&big;&big;&big;/", "/agents</loc></url>") +
             "</urlset>",
         "VALID | 30 https://x.example//0/agents ... https://x.example//9/agents sitemap entry "
         "content"},
        {"50,000 sitemap entries", "https://x.example/sitemap.xml", "application/xml",
         "<urlset>" + numbered(50000, "<url><loc>https://x.example/p/", "/agents</loc></url>") +
             "</urlset>",
         "VALID | 300 https://x.example/p/0/agents ... https://x.example/p/99/agents sitemap "
         "entry content"},
        {"2 MB of links before the page facts", "https://x.example/", html,
         numbered(80'000, "<a href=\"/p/", "/mcp\">x</a>\n") + "<title>Late</title>",
         "VALID | title Late | 300 https://x.example/p/0/mcp ... https://x.example/p/99/mcp HTML "
         "link mcp"},
        {"a decoded page declaring Latin-1", "https://x.example/", html,
         "<meta charset=\"iso-8859-1\">" + title,
         "VALID | title Caf\u00e9 \u2014 \u65e5\u672c | 0"},
        {"a decoded page declaring UTF-16", "https://x.example/", html,
         "<meta charset=utf-16>" + title, "VALID | title Caf\u00e9 \u2014 \u65e5\u672c | 0"},
        {"malformed JSON-LD blocks", "https://x.example/", html,
         ld + "{\"mcp\": \"https://x.example/mcp\",</script>" + ld +
             "{\"mcp\": \"https://x.example/a/mcp\"}</script>" + ld + std::string(100000, '[') +
             "</script>" + ld + "</script>" + ld +
             "{\"service\": \"https://x.example/b/mcp\"} x</script>",
         "VALID | Malformed application/ld+json block. Malformed application/ld+json block. "
         "Malformed application/ld+json block. Malformed application/ld+json block. | 1 "
         "https://x.example/a/mcp declares mcp"},
        {"first spelling of a duplicate href", "https://x.example/", html,
         "<a HREF=\"/agents\" href=\"/elsewhere\">x</a>",
         "VALID | 1 https://x.example/agents HTML link discovery"},
        {"first spelling of a duplicate rel", "https://x.example/", html,
         "<link REL=\"mcp\" rel=\"stylesheet\" href=\"/s\">",
         "VALID | 1 https://x.example/s HTML mcp mcp"},
        {"2 MB of brackets", "https://x.example/a.json", json, std::string(2'000'000, '['),
         "INVALID | JSON parse failed: Invalid JSON at offset 512: Too many nested arrays or "
         "objects. | 0"},
        {"500 levels: read, no links", "https://x.example/a.json", json,
         std::string(500, '[') + "\"https://x.example/mcp\"" + std::string(500, ']'), "FOUND | 0"},
        {"2 MB of divs", "https://x.example/", html, repeated("<div>", 400'000), "VALID | 0"},
        {"2 MB of XML elements", "https://x.example/sitemap.xml", xml,
         repeated("<a>", 700'000) + "<loc>https://x.example/mcp</loc>",
         "INVALID | XML parse failed. | 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(outcome(parsed(c.url, c.contentType, c.body)), c.expected) << c.name;
    EXPECT_EQ(server.requestCount(), 0u);
    std::filesystem::remove(secret);

    EXPECT_EQ(parsed("https://x.example/", html,
                     "<html lang=en><link rel=alternate hreflang=de href=/de>")
                  .metadata["languages"],
              JSONValue::parse(R"(["de"])"));
    EXPECT_EQ(parsed("https://x.example/", html, ld + "{\"mcp\": \"/a/mcp\"}</script>")
                  .metadata["jsonLD"],
              JSONValue::parse(R"({"mcp":"/a/mcp"})"));
    EXPECT_EQ(outcome(AgentManifestParser::parse(
                  answer("https://x.example/", "text/plain", "",
                         "</openapi>; rel=\"service-desc\", </about>; rel=\"author\""))),
              "FOUND | 1 https://x.example/openapi HTTP Link manifest");
}

} // namespace
} // namespace quorilanth
