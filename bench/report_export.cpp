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

} // namespace

int main() {
    using namespace quorilanth;
    const ScanReport report = test::largeReport(300, 10, 1000);

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
