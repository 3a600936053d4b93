#include "PopplerText.h"
#include "ReportFixtures.h"
#include "core/report/ReportGenerator.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::PopplerReading;
using test::PopplerWord;
using test::readPDF;
using test::reportFor;

constexpr double pageHeight = 842;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Every word of the document in reading order, one blank between words, so
// that runs of blanks and the blocks poppler sees do not matter.
std::string wordsText(const PopplerReading& reading) {
    std::string out;
    for (const auto& w : reading.words)
        out.append(out.empty() ? "" : " ").append(w.text);
    return out;
}

std::vector<PopplerWord> wordsOn(const PopplerReading& reading, int page) {
    std::vector<PopplerWord> words;
    for (const auto& w : reading.words) {
        if (w.page == page) words.push_back(w);
    }
    return words;
}

TEST(ReportGeneratorPDF, ShowsChecksNodesAndValidServersOnly) {
    const std::string text = wordsText(readPDF(ReportGenerator::pdf(test::richReport())));
    for (const char* part :
         {"PASS Discovery \u00B7 8/8", "REVIEW Discovery \u00B7 0/7",
          "\u22127: no readable agent entry document found.", "VALID / DOMAIN / shop.example",
          "NOT FOUND / MANIFEST / agent.json", "INVALID / ENDPOINT / catalog",
          "Manifest missing at the well-known location.",
          "VALID \u00B7 Streamable HTTP \u00B7 protocol 2025-11-25 \u00B7 12 ms",
          "Resources: 1 \u00B7 Templates: 0 \u00B7 Prompts: 2", "search [READ-ONLY]",
          "order [MUTATING]", "Unnamed tool [UNKNOWN]", "\"listChanged\" : true",
          "Server issue: slow listing.", "https://tools.shop.example/mcp",
          "Finished: 2026-03-01T09:16:30Z",
          "3 HTTP exchanges \u00B7 8 observations \u00B7 1 evidence-backed relationships.",
          "Scan budget of 48 locations reached."})
        EXPECT_TRUE(contains(text, part)) << part;
    for (const char* part :
         {"search-tool-node", "faq-resource-node", "result-content-node", "broken-mcp"})
        EXPECT_FALSE(contains(text, part)) << part;
}

TEST(ReportGeneratorPDF, LongReportsContinueOnNumberedPagesWithASmallBand) {
    const PopplerReading reading = readPDF(ReportGenerator::pdf(test::largeReport(120, 2, 40)));
    ASSERT_GE(reading.pages, 4);
    for (int page = 1; page <= reading.pages; ++page) {
        SCOPED_TRACE(page);
        const auto words = wordsOn(reading, page);
        const auto has = [&](const std::string& text) {
            return std::any_of(words.begin(), words.end(),
                               [&](const auto& w) { return w.text == text; });
        };
        EXPECT_EQ(has("READINESS"), page == 1);
        // The footer ends in the page number; the flowing text stays above it.
        std::string footer;
        for (const auto& w : words) {
            if (w.yMin > pageHeight - 48)
                footer += w.text + " ";
            else
                EXPECT_LE(w.yMax, pageHeight - 48 + 0.5) << w.text;
        }
        EXPECT_TRUE(footer.ends_with(" " + std::to_string(page) + " ")) << footer;
    }
}

// An empty report is one furnished page whose host is the domain's, or the
// whole domain when it has none.
TEST(ReportGeneratorPDF, AnEmptyReportIsOneFurnishedPage) {
    for (const auto& [domain, shown] : std::initializer_list<std::pair<const char*, const char*>>{
             {"https://shop.example:8443/", "REPORT shop.example 2026"},
             {"not a url at all", "REPORT not a url at all 2026"}}) {
        const PopplerReading reading = readPDF(ReportGenerator::pdf(reportFor(domain)));
        EXPECT_EQ(reading.pages, 1) << domain;
        EXPECT_TRUE(contains(wordsText(reading), shown)) << wordsText(reading);
    }
    const std::string text = wordsText(readPDF(ReportGenerator::pdf(reportFor("a.example"))));
    for (const char* part :
         {"Finished: incomplete", "0 HTTP exchanges \u00B7 0 observations \u00B7 0 evidence-backed "
                                  "relationships."}) {
        EXPECT_TRUE(contains(text, part)) << part;
    }
}

TEST(ReportGeneratorPDF, HostileTextStaysOnThePage) {
    const std::string longURL = "https://evil.example/" + std::string(8000, 'a');
    ScanReport report = reportFor(longURL);
    const std::string texts[] = {
        longURL,
        "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D mixed RTL",
        "no font: \xF4\x8F\xBF\xBD \xF0\x9F\x80\x80 \xEE\x80\x80",
        std::string("controls: \0\x01\x1b[31m\x7f\xC2\x85 end", 24),
        "invalid: \xFF\xFE\xC0\x80",
    };
    for (const auto& t : texts) {
        GraphNode n = test::node(t, NodeKind::endpoint, t, t, FindingStatus::found, t);
        n.issues = {t};
        report.nodes.push_back(n);
        report.notices.push_back(t);
    }
    MCPServer s = test::server(longURL, FindingStatus::valid, 1);
    s.tools.emplace_back(longURL,
                         JSONValue(JSONValue::Object{{"name", JSONValue(longURL)},
                                                     {"description", JSONValue(texts[1])}}));
    report.servers.push_back(s);

    const PopplerReading reading = readPDF(ReportGenerator::pdf(report));
    EXPECT_GE(reading.pages, 3);
    EXPECT_LT(reading.pages, 30);
    for (const auto& w : reading.words) {
        // The header's host line is a single line and may run off the page.
        if (w.page == 1 && w.yMax < 146) continue;
        EXPECT_GE(w.xMin, 38 - 0.5) << w.text.substr(0, 40);
        EXPECT_LE(w.xMax, 38 + 519 + 0.5) << w.text.substr(0, 40);
    }
    const std::string all = wordsText(reading);
    EXPECT_TRUE(contains(all, "controls: "));
    EXPECT_TRUE(contains(all, " end"));
}

} // namespace
} // namespace quorilanth
