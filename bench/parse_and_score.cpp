// Parsing 2 MB documents of each reader and scoring a large report. Prints the
// median of several runs; the goals are 50 ms per parse and 2 ms per scoring.
#include "BenchTiming.h"
#include "core/documents/AgentManifestParser.h"
#include "core/report/ReadinessScorer.h"
#include "support/ReportBuilder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace quorilanth;
using testsupport::answer;
constexpr std::size_t twoMB = 2'000'000;

using bench::Timing;

Timing milliseconds(const std::function<void()>& run, int repetitions = 9) {
    return bench::milliseconds(run, repetitions);
}

std::string fill(const std::string& head, const std::function<std::string(int)>& unit,
                 const std::string& tail) {
    std::string out = head;
    for (int i = 0; out.size() + tail.size() < twoMB; ++i) {
        out += unit(i);
    }
    return out + tail;
}

void reportParse(const char* name, const Evidence& evidence) {
    std::size_t links = 0;
    const Timing t =
        milliseconds([&] { links = AgentManifestParser::parse(evidence).links.size(); });
    std::printf("parse %-36s %5.2f MB  median %7.2f ms  fastest %7.2f ms  %3zu links  %s\n", name,
                evidence.responseBody.size() / 1e6, t.median, t.fastest, links,
                t.median < 50 ? "(goal 50 ms met)" : "(goal 50 ms missed)");
}

ScanReport largeReport(bool flagsSet) {
    testsupport::ReportBuilder b;
    const std::string manifest =
        R"({"name":"A","publisher":"A","canonical_domain":"x.example","tools":[]})";
    for (int i = 0; i < 5000; ++i) {
        b.exchange("https://x.example/doc/" + std::to_string(i % 300) + "/agent.json", 200,
                   "application/json", manifest);
        b.lastExchange().tlsVerified = true;
        if (i % 3 == 0) {
            b.lastExchange().responseHeaders["etag"] = "\"x\"";
        }
    }
    const NodeKind kinds[] = {NodeKind::manifest, NodeKind::discovery, NodeKind::endpoint,
                              NodeKind::tool,     NodeKind::mcp,       NodeKind::content};
    for (int i = 0; i < 300; ++i) {
        const std::string id = "https://x.example/doc/" + std::to_string(i) + "/agent.json";
        GraphNode& n =
            b.node(id, kinds[i % 6], i % 7 == 0 ? FindingStatus::invalid : FindingStatus::found);
        for (int k = 0; k < 16; ++k) {
            n.evidenceIDs.push_back(
                b.report().evidence[static_cast<std::size_t>((i + k * 300) % 5000)].id);
        }
        n.metadata = JSONValue::parse(manifest);
        if (flagsSet) {
            n.isAgentDocument = true;
        }
        b.edge("https://x.example/", id, i % 2 ? "declares" : "HTML alternate",
               n.evidenceIDs.front());
    }
    return b.report();
}

void reportScore(const char* name, const ScanReport& report) {
    const Timing t = milliseconds([&] { (void)ReadinessScorer::score(report); }, 51);
    std::printf("score %-36s %zu nodes, %zu evidence  median %6.3f ms  fastest %6.3f ms  %s\n",
                name, report.nodes.size(), report.evidence.size(), t.median, t.fastest,
                t.median < 2 ? "(goal 2 ms met)" : "(goal 2 ms missed)");
}

} // namespace

int main() {
    const std::string paragraph = "<p>Lorem ipsum dolor sit amet, <em>consectetur</em> adipiscing "
                                  "elit, sed do eiusmod tempor incididunt ut "
                                  "labore et dolore magna aliqua.</p>\n";
    reportParse(
        "HTML page (text, 1 link in 20)",
        answer(
            "https://x.example/", "text/html; charset=utf-8",
            fill(
                "<!DOCTYPE html><html lang=en><head><title>T</title><link rel=canonical href=/>"
                "<script type=\"application/ld+json\">{\"mcp\":\"https://x.example/mcp\"}</script>"
                "</head><body>",
                [&](int i) {
                    return i % 20 == 0
                               ? "<a href=\"/p/" + std::to_string(i) + "/agents\">agents</a>\n"
                               : paragraph;
                },
                "</body></html>")));
    reportParse(
        "HTML made only of links",
        answer("https://x.example/", "text/html",
               fill(
                   "<html><body>",
                   [](int i) { return "<a href=\"/p/" + std::to_string(i) + "/mcp\">x</a>\n"; },
                   "</body></html>")));
    reportParse(
        "JSON catalog",
        answer("https://x.example/.well-known/ai-catalog.json", "application/json",
               fill(
                   "{\"name\":\"Catalog\",\"entries\":[",
                   [](int i) {
                       return std::string(i ? "," : "") + "{\"id\":" + std::to_string(i) +
                              ",\"url\":\"https://x.example/a/" + std::to_string(i) +
                              "/agent-card.json\",\"description\":\"An entry of the catalog\"}";
                   },
                   "]}")));
    reportParse("XML sitemap",
                answer("https://x.example/sitemap.xml", "application/xml",
                       fill(
                           "<?xml version=\"1.0\"?><urlset "
                           "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">",
                           [](int i) {
                               return "<url><loc>https://x.example/p/" + std::to_string(i) +
                                      "/page</loc><lastmod>2026-01-01</lastmod></url>\n";
                           },
                           "</urlset>")));
    reportParse("plain text (llms-full.txt)",
                answer("https://x.example/llms-full.txt", "text/plain; charset=utf-8",
                       fill(
                           "# Docs\n",
                           [](int i) {
                               return "- [Page " + std::to_string(i) + "](https://x.example/docs/" +
                                      std::to_string(i) +
                                      ") explains one part of the service in words.\n";
                           },
                           "")));
    reportScore("(agent-document flags set)", largeReport(true));
    reportScore("(flags absent: exchanges re-parsed)", largeReport(false));
    return 0;
}
