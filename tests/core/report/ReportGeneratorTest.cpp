#include "core/report/ReportGenerator.h"

#include "PopplerText.h"
#include "ReportFixtures.h"
#include "core/model/ReportJSON.h"
#include "support/SampleReports.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace quorilanth {
namespace {

using test::reportFor;

TEST(ReportGeneratorJSON, HidesSessionResponseHeadersWhateverTheirCase) {
    ScanReport report = reportFor("https://a.example/");
    Evidence& record =
        report.evidence.emplace_back(test::exchange("E-1", "https://a.example/mcp", "POST", 200));
    record.requestHeaders = {{"set-cookie", "sent=1"}, {"mcp-session-id", "request-side"}};
    record.responseHeaders = {{"Set-Cookie", "session=secret"}, {"MCP-SESSION-ID", "abc123"},
                              {"mcp-session-id", "lower"},      {"SET-COO\u212AIE", "kelvin sign"},
                              {"set-cookie2", "kept"},          {"x-set-cookie", "kept too"}};
    record.responseBody = "{\"set-cookie\":\"in the body stays\"}";
    const std::string exported = ReportGenerator::json(report);
    ScanReport expected = report;
    for (const char* name : {"Set-Cookie", "MCP-SESSION-ID", "mcp-session-id", "SET-COO\u212AIE"})
        expected.evidence[0].responseHeaders[name] = "[REDACTED]";
    EXPECT_EQ(exported, ReportJSON::write(expected));
    // The report itself keeps what it recorded; without such headers the export is the saved form.
    EXPECT_EQ(ReportGenerator::json(report), exported);
    EXPECT_EQ(ReportGenerator::json(test::richReport()), ReportJSON::write(test::richReport()));

    // A number that is not finite fails the write; the other forms still render it.
    report.servers.push_back(test::server("https://a.example/mcp", FindingStatus::valid, INFINITY));
    EXPECT_THROW((void)ReportGenerator::json(report), QuorilanthError);
    EXPECT_NO_THROW((void)ReportGenerator::markdown(report));
    EXPECT_NO_THROW((void)ReportGenerator::pdf(report));
}

// Set QL_UPDATE_GOLDEN=1 to rewrite the golden files from the current output;
// review the difference before committing it. A PDF's golden is the text
// poppler reads back from it, one line of the page to a line.
TEST(ReportGenerator, MatchesGoldenFilesByteForByte) {
    ScanReport noHost = test::reportFor("shop.example");
    noHost.finishedAt = test::fixedDate("2026-03-01T09:15:09Z");
    for (const auto& [name, report] :
         {std::pair{"empty-report", test::reportFor("https://empty.example/")},
          {"rich-report", test::richReport()},
          {"no-host-report", noHost}}) {
        for (const auto& [file, output] :
             {std::pair{std::string(name) + ".md", ReportGenerator::markdown(report)},
              {std::string(name) + ".pdf.txt",
               test::readPDF(ReportGenerator::pdf(report)).text(true)}}) {
            if (std::getenv("QL_UPDATE_GOLDEN"))
                std::ofstream(std::string(QL_TEST_FIXTURES) + "/report/" + file, std::ios::binary)
                    << output;
            EXPECT_EQ(output, samples::readFixture("report/" + file)) << file;
        }
    }
}

TEST(ReportGeneratorMarkdown, CategorySumsCellsAndLatencies) {
    ScanReport report = reportFor("https://a.example/");
    report.checks = {
        {"a", "MCP", 12, true, "x", {}},
        {"b", "MCP", 8, false, "y", {}},
        {"c", "mcp", 5, true, "different letter case is another category", {}},
        {"d", "Actions", INT64_MAX, false, "huge", {}},
        {"e", "Actions", 3, true, "sum saturates", {}},
    };
    // Table cells stay on one row.
    report.nodes = {
        test::node("1", NodeKind::domain, "a", {}, FindingStatus::valid, "carriage\rreturn"),
        test::node("2", NodeKind::domain, "a", {}, FindingStatus::valid, "both\r\n|")};
    // The export shows a latency through the conversion checked below.
    report.servers.push_back(test::server("https://a.example/mcp", FindingStatus::valid, INFINITY));
    const std::string markdown = ReportGenerator::markdown(report);
    for (const char* line :
         {"VALID \u00B7 Streamable HTTP \u00B7 protocol 2025-11-25 \u00B7 9223372036854775807 ms\n",
          "\n| MCP | 12 | 20 |\n", "\n| Actions | 3 | 9223372036854775807 |\n",
          "\n- different letter case is another category\n",
          "| domain | VALID |  | carriage return |\n", "| domain | VALID |  | both  \\| |\n"})
        EXPECT_NE(markdown.find(line), std::string::npos) << line;

    // A latency comes from a report file as any double: beyond the 64-bit
    // range it is clamped, and one that is not a number shows as 0.
    const std::pair<double, std::int64_t> latencies[] = {
        {12.9, 12},
        {-3.7, -3},
        {9223372036854774784.0, 9223372036854774784}, // the last double below 2^63
        {9223372036854775808.0, INT64_MAX},
        {INFINITY, INT64_MAX},
        {-9223372036854775808.0, INT64_MIN},
        {-INFINITY, INT64_MIN},
        {NAN, 0},
    };
    for (const auto& [latency, shown] : latencies)
        EXPECT_EQ(ReportGenerator::wholeMilliseconds(latency), shown) << latency;
}

// Text from a site reads as text: no HTML, link, heading or list of its own
// reaches a Markdown viewer, and each line starts as it does for honest text.
TEST(ReportGeneratorMarkdown, RemoteTextReadsAsText) {
    const auto report = [](const std::vector<std::string>& t) {
        ScanReport r = reportFor(t[0]);
        r.nodes.push_back(
            test::node("n", NodeKind::endpoint, t[1], t[2], FindingStatus::found, t[3]));
        r.nodes.back().issues.push_back(t[4]);
        r.notices = {t[5], t[6]};
        r.servers.push_back(test::server(t[7], FindingStatus::valid, 5));
        r.servers[0].tools.emplace_back(
            t[7], JSONValue::emptyObject().set("name", t[8]).set("description", t[9]));
        return r;
    };
    const std::string markdown = ReportGenerator::markdown(
        report({"<a href=x>\n## b", "# Big", "https://a.example/<b>", "a\\|b\\",
                "[x](https://evil.example)", "one\n# Heading\r\n<i>", "1. ordered",
                "https://a.example/<i>", "<img src=https://tracker.example/p.gif onerror=alert(1)>",
                "<script>fetch('x')</script> & [more]"}));
    for (const char* line :
         {"\nDomain: \\<a href=x\\> ## b\n",
          "\n| endpoint | FOUND | https://a.example/\\<b\\> | a\\\\\\|b\\\\ |\n",
          "\n- \\# Big: \\[x\\](https://evil.example)\n", "\n- one # Heading  \\<i\\>\n",
          "\n- 1\\. ordered\n", "\n### https://a.example/\\<i\\>\n",
          "\n| \\<img src=https://tracker.example/p.gif onerror=alert(1)\\> | UNKNOWN | "
          "\\<script\\>fetch('x')\\</script\\> \\& \\[more\\] |\n"})
        EXPECT_NE(markdown.find(line), std::string::npos) << line;
    std::istringstream written(markdown),
        honest(ReportGenerator::markdown(report(std::vector<std::string>(10, "plain"))));
    for (std::string mine, theirs; std::getline(honest, theirs);)
        EXPECT_TRUE(std::getline(written, mine) && mine.substr(0, 2) == theirs.substr(0, 2))
            << mine;
}

TEST(ReportGeneratorPDF, HostileTextStaysOnThePage) {
    const std::string longURL = "https://evil.example/" + std::string(8000, 'a');
    ScanReport report = test::reportFor(longURL);
    const std::string texts[] = {
        longURL,
        "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D mixed RTL",
        "no font: \xF4\x8F\xBF\xBD \xF0\x9F\x80\x80 \xEE\x80\x80",
        std::string("controls: \0\x01\x1b[31m\x7f\xC2\x85 end", 24),
        "invalid: \xFF\xFE\xC0\x80",
    };
    for (const auto& t : texts) {
        report.nodes.push_back(test::node(t, NodeKind::endpoint, t, t, FindingStatus::found, t));
        report.nodes.back().issues = {t};
        report.notices.push_back(t);
    }
    MCPServer s = test::server(longURL, FindingStatus::valid, 1);
    s.tools.emplace_back(longURL,
                         JSONValue(JSONValue::Object{{"name", JSONValue(longURL)},
                                                     {"description", JSONValue(texts[1])}}));
    report.servers.push_back(s);

    const test::PopplerReading reading = test::readPDF(ReportGenerator::pdf(report));
    EXPECT_GE(reading.pages, 3);
    EXPECT_LT(reading.pages, 30);
    for (const auto& w : reading.words) {
        // The header's host line is a single line and may run off the page.
        if (w.page == 1 && w.yMax < 146) continue;
        EXPECT_GE(w.xMin, 38 - 0.5) << w.text.substr(0, 40);
        EXPECT_LE(w.xMax, 38 + 519 + 0.5) << w.text.substr(0, 40);
    }
    EXPECT_NE(reading.text().find("controls: "), std::string::npos);
    EXPECT_NE(reading.text().find(" end"), std::string::npos);
}

} // namespace
} // namespace quorilanth
