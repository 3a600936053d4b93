// Times body decoding and link classification on inputs the size of the
// largest response a scan keeps. Prints the median of several runs next to a
// floor (copying the same bytes) so figures from different machines compare.
#include "BenchTiming.h"
#include "core/documents/LinkRules.h"
#include "core/net/HTTPTextDecoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using quorilanth::bench::medianMilliseconds;

std::string htmlBody(const std::string& head, const std::string& word, std::size_t size) {
    std::string body = "<!doctype html><html><head>" + head + "</head><body>";
    std::size_t n = 0;
    while (body.size() < size) {
        body += "<p><a href=\"/docs/page-" + std::to_string(n++) + "\">" + word + "</a> text " +
                word + "</p>\n";
    }
    return body;
}

volatile std::size_t sink = 0;

} // namespace

int main() {
    using quorilanth::HTTPTextDecoder::decode;
    constexpr std::size_t kBody = 2'000'000;
    const std::string utf8 =
        htmlBody("<meta charset=\"utf-8\">", "caf\xC3\xA9 \xE2\x9C\x93", kBody);
    const std::string cp1251 =
        htmlBody("<meta charset=\"windows-1251\">", "\xCF\xF0\xE8\xE2\xE5\xF2", kBody);
    const std::string cp1252 = htmlBody("", "caf\xE9", kBody);

    const double floor = medianMilliseconds([&] {
        std::string copy(utf8);
        sink = sink + copy.size();
    });
    std::printf("copy of 2 MB (floor)                     %8.2f ms\n", floor);
    const struct {
        const char* name;
        const std::string* body;
        const char* contentType;
    } cases[] = {
        {"2 MB HTML, UTF-8 named by content type", &utf8, "text/html; charset=utf-8"},
        {"2 MB HTML, UTF-8 named by meta", &utf8, "text/html"},
        {"2 MB HTML, windows-1251 named by meta", &cp1251, "text/html"},
        {"2 MB HTML, Windows-1252 fallback", &cp1252, "text/html"},
        {"2 MB JSON, lossy UTF-8", &cp1252, "application/json"},
    };
    for (const auto& c : cases) {
        const double ms =
            medianMilliseconds([&] { sink = sink + decode(*c.body, c.contentType).size(); });
        std::printf("%-40s %8.2f ms  (%5.1f x floor, target < 20 ms)\n", c.name, ms, ms / floor);
    }

    std::vector<std::pair<std::string, std::string>> links;
    const char* paths[] = {"/.well-known/agent-card.json",
                           "/docs/intro",
                           "/api/v1/things",
                           "/llms-full.txt",
                           "/mcp",
                           "/sitemap-pages.xml",
                           "/blog/2024/05/post?x=1#top",
                           "/update.json",
                           "/agents/",
                           "/a%20b/c"};
    const char* hints[] = {"", "rel=\"mcp\"", "service-desc; type=application/json", "alternate",
                           "endpoint"};
    for (int i = 0; i < 10'000; ++i) {
        links.emplace_back("https://example.com" + std::string(paths[i % 10]) + (i % 3 ? "" : "/x"),
                           hints[i % 5]);
    }
    const double linksMs = medianMilliseconds([&] {
        std::size_t count = 0;
        for (const auto& [url, hint] : links) {
            count += static_cast<std::size_t>(quorilanth::LinkRules::kind(url, hint));
            count += quorilanth::LinkRules::relevant(url) ? 1 : 0;
            count += quorilanth::LinkRules::discoveryHint(hint) ? 1 : 0;
        }
        sink = sink + count;
    });
    std::printf("%-40s %8.2f ms  (target < 20 ms)\n", "10,000 links: kind, relevant, hint",
                linksMs);
    return 0;
}
