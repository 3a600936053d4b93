// Writes and reads a synthetic report of about 100 MB (a few hundred evidence
// records with large bodies) and compares reading with Python's json module on
// the same file. Figures only; nothing here asserts on time.
#include "core/model/ReportJSON.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quorilanth;
using Clock = std::chrono::steady_clock;

namespace {

// Response bodies that look like what a scan records: HTML and JSON with
// quotes, line breaks, tabs, slashes and some non-ASCII text to escape.
std::string body(std::mt19937_64& random, std::size_t size) {
    static const char* lines[] = {
        "<a href=\"https://shop.example/products/item\" rel=\"alternate\">Caf\xC3\xA9 \xE2\x82\xAC "
        "12</a>\n",
        "  \"description\": \"A tool that searches the catalog\",\n",
        "\t<meta name=\"description\" content=\"Products, offers and \\\"deals\\\"\">\n",
        "{\"jsonrpc\":\"2.0\",\"id\":7,\"result\":{\"tools\":[{\"name\":\"search\"}]}}\n",
        "User-agent: *\nDisallow: /private/\nSitemap: https://shop.example/sitemap.xml\n",
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\n",
    };
    std::string text;
    text.reserve(size + 128);
    while (text.size() < size)
        text += lines[random() % std::size(lines)];
    text.resize(size);
    return text;
}

ScanReport syntheticReport(std::size_t evidenceCount, std::size_t bodySize) {
    std::mt19937_64 random(42);
    ScanReport report("https://shop.example/");
    report.finishedAt = report.startedAt + std::chrono::seconds(40);
    for (std::size_t i = 0; i < evidenceCount; ++i) {
        Evidence e("https://shop.example/page/" + std::to_string(i), "GET");
        e.requestHeaders = {{"Accept", "*/*"}, {"User-Agent", "Quorilanth/1.0"}};
        e.statusCode = 200;
        e.responseHeaders = {{"content-type", "text/html; charset=utf-8"},
                             {"server", "nginx"},
                             {"link", "</mcp>; rel=\"service\""}};
        e.responseBody = body(random, bodySize);
        e.durationMS = 12.5 + static_cast<double>(i);
        e.remoteIP = "203.0.113.7";
        e.tlsVerified = true;

        GraphNode node(e.url, NodeKind::content, "page " + std::to_string(i), e.url,
                       FindingStatus::valid);
        node.evidenceIDs = {e.id};
        node.metadata = JSONValue::parse(R"({"links":["/a","/b"],"title":"Page","depth":2})");
        report.upsert(node);
        report.edges.push_back(GraphEdge{report.domain, e.url, "declares", e.id, "/links/0"});
        report.evidence.push_back(std::move(e));
    }
    return report;
}

template <typename F> double bestSeconds(int runs, F&& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// Piece by piece, as the application reads a saved scan.
std::size_t readReportFile(const std::filesystem::path& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    return ReportJSON::read([&](char* buffer, std::size_t capacity) {
               return std::fread(buffer, 1, capacity, file.get());
           })
        .evidence.size();
}

// Piece by piece, as the application saves a scan.
void writeReportFile(const ScanReport& report, const std::filesystem::path& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    ReportJSON::write(report, [&](std::string_view piece) {
        std::fwrite(piece.data(), 1, piece.size(), file.get());
    });
}

// Best of three json.load runs in a fresh interpreter, in seconds; negative when
// python3 cannot be run.
double pythonLoadSeconds(const std::filesystem::path& path) {
    std::string command =
        "python3 -c 'import json,sys,time\n"
        "best=1e30\n"
        "for _ in range(3):\n"
        "    f=open(sys.argv[1],encoding=\"utf-8\")\n"
        "    t=time.perf_counter(); json.load(f); best=min(best,time.perf_counter()-t)\n"
        "    f.close()\n"
        "print(best)' '" +
        path.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char line[128] = {};
    bool ok = std::fgets(line, sizeof line, pipe) != nullptr;
    int status = pclose(pipe);
    return ok && status == 0 ? std::atof(line) : -1;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t evidenceCount = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 300;
    const std::size_t bodySize = 330 * 1024;
    ScanReport report = syntheticReport(evidenceCount, bodySize);

    std::string text;
    double writeSeconds = bestSeconds(5, [&] { text = ReportJSON::write(report); });
    double megabytes = static_cast<double>(text.size()) / 1e6;

    auto path = std::filesystem::temp_directory_path() / "quorilanth-bench-report.json";
    double fileWriteSeconds = bestSeconds(5, [&] { writeReportFile(report, path); });

    std::size_t nodesRead = 0;
    double readSeconds =
        bestSeconds(5, [&] { nodesRead = ReportJSON::read(text).evidence.size(); });
    double fileReadSeconds = bestSeconds(3, [&] { nodesRead = readReportFile(path); });
    double pythonSeconds = pythonLoadSeconds(path);
    if (!std::getenv("QL_BENCH_KEEP")) std::filesystem::remove(path);

    std::printf("report: %.1f MB, %zu evidence records of %zu KB (read back %zu)\n", megabytes,
                evidenceCount, bodySize / 1024, nodesRead);
    std::printf("write:              %8.1f MB/s  (%.3f s)   target >= 300 MB/s\n",
                megabytes / writeSeconds, writeSeconds);
    std::printf("write to the file:  %8.1f MB/s  (%.3f s, in pieces)\n",
                megabytes / fileWriteSeconds, fileWriteSeconds);
    std::printf("read from memory:   %8.1f MB/s  (%.3f s)\n", megabytes / readSeconds, readSeconds);
    std::printf("read from the file: %8.1f MB/s  (%.3f s, in pieces)\n",
                megabytes / fileReadSeconds, fileReadSeconds);
    if (pythonSeconds > 0) {
        std::printf("python3 json.load:  %8.1f MB/s  (%.3f s)\n", megabytes / pythonSeconds,
                    pythonSeconds);
        std::printf("read vs python:     %8.2fx faster (from the file)   target >= 3x\n",
                    pythonSeconds / fileReadSeconds);
    } else {
        std::printf("python3 json.load:  not available\n");
    }
    return 0;
}
