// Export timings for a large report: 300 address nodes, 10 valid MCP servers
// and 1,000 tools. Prints the median and best of several runs of the Markdown
// and PDF exports, the PDF's size and pages, and each median against its
// target (Markdown 50 ms, PDF 3 s).

#include "BenchTiming.h"
#include "core/report/ReportFixtures.h"
#include "core/report/ReportGenerator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using quorilanth::bench::Timing;

Timing measure(int runs, const std::function<void()>& work) {
    return quorilanth::bench::milliseconds(work, runs);
}

void print(const char* name, const Timing& timing, double targetMS) {
    std::printf("%-9s median %9.2f ms  best %9.2f ms  target %6.0f ms  (%.1f%% of target)\n", name,
                timing.median, timing.fastest, targetMS, 100.0 * timing.median / targetMS);
}

std::size_t pageCount(const std::string& pdf) {
    // Every page object carries "/Type /Page" followed by a delimiter other than "s".
    std::size_t pages = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
         at = pdf.find("/Type /Page", at + 1)) {
        pages += pdf.compare(at, 12, "/Type /Pages") != 0;
    }
    return pages;
}

using namespace quorilanth;

// A large, regular report: `nodes` address nodes, `servers` valid servers
// sharing `tools` tools between them, sixteen checks.
ScanReport largeReport(int nodes, int servers, int tools) {
    ScanReport report = test::reportFor("https://large.example/");
    report.finishedAt = test::fixedDate("2026-03-01T09:20:00Z");
    const NodeKind kinds[] = {NodeKind::discovery, NodeKind::manifest, NodeKind::endpoint};
    for (int i = 0; i < nodes; ++i) {
        const std::string url = "https://large.example/path/" + std::to_string(i);
        report.evidence.push_back(test::exchange("E" + std::to_string(i), url, "GET", 200));
        report.nodes.push_back(
            test::node(url, kinds[i % 3], "Location " + std::to_string(i), url,
                       i % 4 == 0 ? FindingStatus::notFound : FindingStatus::found,
                       "Observed document number " + std::to_string(i) +
                           " with a summary long enough to wrap onto a second line "
                           "of the frame in the report's flowing text.",
                       {"E" + std::to_string(i)}));
        if (i % 10 == 0) report.nodes.back().issues = {"Issue on location " + std::to_string(i)};
    }
    for (int s = 0; s < servers; ++s) {
        MCPServer srv = test::server("https://large.example/mcp/" + std::to_string(s),
                                     FindingStatus::valid, 100.0 + s);
        for (int t = s; t < tools; t += servers) {
            const std::string name = "tool_" + std::to_string(t);
            srv.tools.emplace_back(
                srv.url,
                JSONValue::parse(R"({"name":")" + name + R"(","description":"Does thing number )" +
                                 std::to_string(t) +
                                 R"( for the caller.","annotations":{"readOnlyHint":true}})"));
        }
        report.servers.push_back(std::move(srv));
    }
    const char* categories[] = {"Discovery",    "Structured Data", "MCP",    "Provenance",
                                "Localization", "Reliability",     "Actions"};
    for (int c = 0; c < 16; ++c) {
        report.checks.push_back(ScoreCheck{"check." + std::to_string(c),
                                           categories[c % 7],
                                           6,
                                           c % 2 == 0,
                                           "Explanation of check " + std::to_string(c) + ".",
                                           {}});
    }
    report.notices = {"Scan budget of 48 locations reached."};
    return report;
}

} // namespace

int main() {
    using namespace quorilanth;
    const ScanReport report = largeReport(300, 10, 1000);

    std::string markdown;
    std::string json;
    std::string pdf;
    const Timing markdownTime = measure(21, [&] { markdown = ReportGenerator::markdown(report); });
    const Timing jsonTime = measure(11, [&] { json = ReportGenerator::json(report); });
    const Timing pdfTime = measure(5, [&] { pdf = ReportGenerator::pdf(report); });

    std::printf("report: %zu nodes, %zu servers, 1000 tools, %zu evidence records\n",
                report.nodes.size(), report.servers.size(), report.evidence.size());
    print("Markdown", markdownTime, 50);
    print("PDF", pdfTime, 3000);
    std::printf("%-9s median %9.2f ms  best %9.2f ms  (peer figure: the JSON form)\n", "JSON",
                jsonTime.median, jsonTime.fastest);
    std::printf("sizes: Markdown %zu bytes, JSON %zu bytes, PDF %zu bytes, %zu pages\n",
                markdown.size(), json.size(), pdf.size(), pageCount(pdf));
    return 0;
}
