#include "ReportFixtures.h"
#include "core/report/ReportGenerator.h"
#include "support/SampleReports.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using test::reportFor;
using test::richReport;

std::string fixturePath(const std::string& name) {
    return std::string(QL_TEST_FIXTURES) + "/report/" + name;
}

struct GoldenCase {
    const char* file;
    std::function<ScanReport()> make;
};

// Set QL_UPDATE_GOLDEN=1 to rewrite the golden files from the current output;
// review the difference before committing it.
TEST(ReportGeneratorMarkdown, MatchesGoldenFilesByteForByte) {
    const GoldenCase cases[] = {
        {"empty-report.md", [] { return reportFor("https://empty.example/"); }},
        {"rich-report.md", richReport},
        {"no-host-report.md",
         [] {
             ScanReport report = reportFor("shop.example");
             report.finishedAt = test::fixedDate("2026-03-01T09:15:09Z");
             return report;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string markdown = ReportGenerator::markdown(c.make());
        if (std::getenv("QL_UPDATE_GOLDEN")) {
            std::ofstream(fixturePath(c.file), std::ios::binary) << markdown;
        }
        EXPECT_EQ(markdown, samples::readFixture(std::string("report/") + c.file));
    }
}

TEST(ReportGeneratorMarkdown, CategoryRowsSumTheStoredChecks) {
    ScanReport report = reportFor("https://a.example/");
    report.checks = {
        test::check("a", "MCP", 12, true, "x"),
        test::check("b", "MCP", 8, false, "y"),
        test::check("c", "mcp", 5, true, "different letter case is another category"),
        test::check("d", "Actions", std::numeric_limits<std::int64_t>::max(), false, "huge"),
        test::check("e", "Actions", 3, true, "sum saturates"),
    };
    const std::string markdown = ReportGenerator::markdown(report);
    for (const char* line : {"\n| MCP | 12 | 20 |\n", "\n| Actions | 3 | 9223372036854775807 |\n",
                             "\n- different letter case is another category\n"})
        EXPECT_NE(markdown.find(line), std::string::npos) << line;
}

// A latency comes from a report file as any double. Converting one beyond the
// 64-bit range, or not a number, to an integer must not be undefined: it is
// clamped, and a value that is not a number shows as 0.
TEST(ReportGeneratorMarkdown, LatencyIsAWholeNumberForAnyDouble) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double latency;
        const char* shown;
    };
    const Case cases[] = {
        {12.9, "12"},
        {-3.7, "-3"},
        {9223372036854774784.0, "9223372036854774784"}, // the last double below 2^63
        {9223372036854775808.0, "9223372036854775807"},
        {inf, "9223372036854775807"},
        {-9223372036854775808.0, "-9223372036854775808"},
        {-inf, "-9223372036854775808"},
        {std::nan(""), "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(std::to_string(ReportGenerator::wholeMilliseconds(c.latency)), c.shown);
        ScanReport report = reportFor("https://a.example/");
        report.servers.push_back(
            test::server("https://a.example/mcp", FindingStatus::valid, c.latency));
        const std::string expected =
            "VALID \u00B7 Streamable HTTP \u00B7 protocol 2025-11-25 \u00B7 " +
            std::string(c.shown) + " ms\n";
        EXPECT_NE(ReportGenerator::markdown(report).find(expected), std::string::npos);
    }
}

TEST(ReportGeneratorMarkdown, TableCellsStayOnOneRow) {
    struct Case {
        const char* summary;
        const char* cell;
    };
    const Case cases[] = {{"carriage\rreturn", "carriage return"}, {"both\r\n|", "both  \\|"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.summary);
        ScanReport report = reportFor("https://a.example/");
        report.nodes.push_back(test::node("https://a.example/", NodeKind::domain, "a", std::nullopt,
                                          FindingStatus::valid, c.summary));
        const std::string row = "| domain | VALID |  | " + std::string(c.cell) + " |\n";
        EXPECT_NE(ReportGenerator::markdown(report).find(row), std::string::npos);
    }
}

} // namespace
} // namespace quorilanth
