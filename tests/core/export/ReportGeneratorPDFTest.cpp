#include "PopplerText.h"
#include "ReportFixtures.h"
#include "core/model/ReportGenerator.h"

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

// The words of the footer, left to right, on one page.
std::vector<PopplerWord> footerOf(const PopplerReading& reading, int page) {
    std::vector<PopplerWord> footer;
    for (const auto& w : wordsOn(reading, page)) {
        if (w.yMin > pageHeight - 48) footer.push_back(w);
    }
    return footer;
}

TEST(ReportGeneratorPDF, AnEmptyReportIsOneFurnishedPage) {
    const PopplerReading reading =
        readPDF(ReportGenerator::pdf(reportFor("https://empty.example/")));
    ASSERT_EQ(reading.pages, 1);
    EXPECT_EQ(reading.pageSizes, std::vector<std::string>{"595 x 842"});
    const std::string text = wordsText(reading);
    for (const char* part :
         {"Quorilanth", "AGENTIC WEB REPORT", "empty.example", "2026-03-01T09:15:00Z",
          "/ 100 READINESS", "OBSERVED READINESS", "Scoring v1.1 awards only checks",
          "Score evidence & recommendations", "Discovered interfaces", "MCP servers & capabilities",
          "Scan scope & provenance", "Started: 2026-03-01T09:15:00Z", "Finished: incomplete",
          "0 HTTP exchanges \u00B7 0 observations \u00B7 0 evidence-backed relationships.",
          "Session and cookie headers are", "Quorilanth \u00B7 evidence first"}) {
        EXPECT_TRUE(contains(text, part)) << part;
    }
    const auto footer = footerOf(reading, 1);
    ASSERT_FALSE(footer.empty());
    EXPECT_EQ(footer.back().text, "1");
    EXPECT_NEAR(footer.back().xMin, 545, 0.5);
    // The score is 0 and stands at its place in the band.
    const auto words = wordsOn(reading, 1);
    EXPECT_TRUE(std::any_of(words.begin(), words.end(), [](const PopplerWord& w) {
        return w.text == "0" && std::abs(w.xMin - 460) < 1 && w.yMax < 146;
    }));
}

TEST(ReportGeneratorPDF, ShowsChecksNodesAndValidServersOnly) {
    const std::string text = wordsText(readPDF(ReportGenerator::pdf(test::richReport())));
    struct Case {
        const char* part;
        bool shown;
    };
    const Case cases[] = {
        {"PASS Discovery \u00B7 8/8", true},
        {"REVIEW Discovery \u00B7 0/7", true},
        {"\u22127: no readable agent entry document found.", true},
        {"VALID / DOMAIN / shop.example", true},
        {"NOT FOUND / MANIFEST / agent.json", true},
        {"INVALID / ENDPOINT / catalog", true},
        {"Manifest missing at the well-known location.", true},
        {"search-tool-node", false},
        {"faq-resource-node", false},
        {"result-content-node", false},
        {"VALID \u00B7 Streamable HTTP \u00B7 protocol 2025-11-25 \u00B7 12 ms", true},
        {"Resources: 1 \u00B7 Templates: 0 \u00B7 Prompts: 2", true},
        {"search [READ-ONLY]", true},
        {"order [MUTATING]", true},
        {"Unnamed tool [UNKNOWN]", true},
        {"\"listChanged\" : true", true},
        {"Server issue: slow listing.", true},
        {"https://tools.shop.example/mcp", true},
        {"broken-mcp", false},
        {"Finished: 2026-03-01T09:16:30Z", true},
        {"3 HTTP exchanges \u00B7 8 observations \u00B7 1 evidence-backed relationships.", true},
        {"Scan budget of 48 locations reached.", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contains(text, c.part), c.shown) << c.part;
}

TEST(ReportGeneratorPDF, LongReportsContinueOnNumberedPagesWithASmallBand) {
    const PopplerReading reading = readPDF(ReportGenerator::pdf(test::largeReport(120, 2, 40)));
    ASSERT_GE(reading.pages, 4);
    ASSERT_EQ(reading.pageTexts.size(), static_cast<std::size_t>(reading.pages));
    EXPECT_EQ(reading.pageSizes,
              std::vector<std::string>(static_cast<std::size_t>(reading.pages), "595 x 842"));
    for (int page = 1; page <= reading.pages; ++page) {
        SCOPED_TRACE(page);
        const std::string& text = reading.pageTexts[static_cast<std::size_t>(page - 1)];
        EXPECT_TRUE(contains(text, "Quorilanth"));
        EXPECT_TRUE(contains(text, "AGENTIC WEB REPORT"));
        EXPECT_EQ(contains(text, "large.example\n"), page == 1);
        EXPECT_EQ(contains(text, "READINESS\n") && contains(text, "/ 100"), page == 1);

        const auto footer = footerOf(reading, page);
        ASSERT_EQ(footer.size(), 5u); // "Quorilanth", "·", "evidence", "first", the number
        EXPECT_EQ(footer[0].text + footer[1].text + footer[2].text + footer[3].text,
                  "Quorilanth\u00B7evidencefirst");
        EXPECT_EQ(footer[4].text, std::to_string(page));
        EXPECT_NEAR(footer[4].xMin, 545, 0.5);

        // The flowing text stays inside this page's frame.
        const double frameTop = pageHeight - (page == 1 ? 670 : 745);
        for (const auto& w : wordsOn(reading, page)) {
            const bool furniture = w.yMax <= (page == 1 ? 146 : 72) || w.yMin > pageHeight - 48;
            if (furniture) continue;
            EXPECT_GE(w.yMin, frameTop - 0.5) << w.text;
            EXPECT_LE(w.yMax, pageHeight - 48 + 0.5) << w.text;
        }
    }
}

TEST(ReportGeneratorPDF, TheHostIsTheDomainWhenItHasNone) {
    struct Case {
        const char* domain;
        const char* shown;
    };
    const Case cases[] = {
        {"https://shop.example:8443/", "shop.example"},
        {"shop.example", "shop.example"},
        {"not a url at all", "not a url at all"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.domain);
        const PopplerReading reading = readPDF(ReportGenerator::pdf(reportFor(c.domain)));
        ASSERT_EQ(reading.pages, 1);
        // The words across the host's baseline, left of the score.
        const double baseline = pageHeight - 747;
        std::string host;
        for (const auto& w : reading.words) {
            if (w.yMin < baseline && w.yMax > baseline && w.xMax < 460)
                host.append(host.empty() ? "" : " ").append(w.text);
        }
        EXPECT_EQ(host, c.shown);
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
    std::string all;
    for (const auto& t : reading.pageTexts)
        all += t;
    EXPECT_TRUE(contains(all, "controls: "));
    EXPECT_TRUE(contains(all, " end"));
}

} // namespace
} // namespace quorilanth
