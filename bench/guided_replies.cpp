// What the guided form costs on a large report: suggestions for an
// identifier field with 1,000 tools, 200 exchanges and 50 tool answers of
// about 2 MB each, and the readable tree of hostile 2 MB answers. Figures
// only; nothing here asserts on time.
#include "BenchTiming.h"
#include "HostileAnswers.h"
#include "core/guided/GuidedReplies.h"
#include "core/guided/ReadableValue.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace quorilanth;
using quorilanth::bench::medianMilliseconds;

namespace {

const std::string server = "https://shop.example/mcp";

// A catalog answer of about `bytes`: apps with identifiers, names and prose.
std::string catalog(std::size_t bytes, int seed) {
    std::string apps;
    for (int i = 0; apps.size() < bytes; ++i) {
        if (i) apps += ',';
        apps += R"({"type":"app","id":"app-)" + std::to_string(seed * 100000 + i) +
                R"(","name":"Application )" + std::to_string((i * 7919 + seed) % 100000) +
                R"(","description":"A program that does useful things for its users, every day.",)"
                R"("price":0,"is_free":true,"platform":"macOS","version":"1.2.3"})";
    }
    return R"({"results":[)" + apps + "]}";
}

std::string escapedAsJSONString(const std::string& text) {
    return JSONValue(text).pretty();
}

ScanReport largeReport() {
    ScanReport report("https://shop.example/");
    MCPServer mcp(server);
    mcp.status = FindingStatus::valid;
    for (int i = 0; i < 1000; ++i)
        mcp.tools.emplace_back(
            server, JSONValue::parse(
                        R"({"name":"tool_)" + std::to_string(i) +
                        R"(","inputSchema":{"type":"object","properties":{)"
                        R"("app_id":{"type":"string","maxLength":64},)"
                        R"("content_id":{"type":"string"},"article_id":{"type":"string"}}}})"));
    report.servers.push_back(std::move(mcp));
    for (int i = 0; i < 200; ++i) {
        if (i % 4 != 0) {
            Evidence page("https://shop.example/page/" + std::to_string(i), "GET");
            page.statusCode = 200;
            page.responseBody = std::string(20000, 'x');
            report.evidence.push_back(std::move(page));
            continue;
        }
        const int call = i / 4;
        Evidence e(server, "POST");
        e.requestBody = R"({"jsonrpc":"2.0","id":)" + std::to_string(call) +
                        R"(,"method":"tools/call","params":{"name":"tool_)" + std::to_string(call) +
                        R"(","arguments":{}}})";
        e.statusCode = 200;
        e.responseHeaders["content-type"] = "application/json";
        // Half the tools answer with structured content, half with the JSON
        // as text, which is decoded twice.
        const std::string answer = catalog(1900000, call);
        e.responseBody = R"({"jsonrpc":"2.0","id":)" + std::to_string(call) + R"(,"result":)" +
                         (call % 2 ? R"({"structuredContent":)" + answer + "}"
                                   : R"({"content":[{"type":"text","text":)" +
                                         escapedAsJSONString(answer) + "}]}") +
                         "}";
        report.evidence.push_back(std::move(e));
    }
    return report;
}

std::string manyFields(std::size_t bytes) {
    std::string text = "{";
    for (int i = 0; text.size() < bytes; ++i)
        text += (i ? ",\"" : "\"") + std::string(std::to_string(i * 7919 % 1000003)) +
                R"(_key":{"name":"x","list":[1,2,3]})";
    return text + "}";
}

// "a_" repeated: a field name that humanises into a million words.
std::string words(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes)
        text += "a_";
    return text;
}

// Combining acute accents: one user-perceived character of about `bytes`.
std::string accents(std::size_t bytes) {
    std::string text;
    while (text.size() < bytes)
        text += "\xCC\x81";
    return text;
}

} // namespace

int main() {
    const ScanReport report = largeReport();
    std::size_t bytes = 0;
    for (const Evidence& e : report.evidence)
        bytes += e.responseBody.size();
    std::printf("report: %zu tools, %zu exchanges, %.1f MB of answers\n",
                report.servers[0].tools.size(), report.evidence.size(), bytes / 1e6);

    const MCPTool& form = report.servers[0].tools[7];
    // On a fresh index: the first field, whose first answer already fills the
    // list, and a field no answer holds anything for, which decodes them all.
    std::size_t found = 0;
    const double first = medianMilliseconds(
        [&] { found = GuidedReplies(report).suggestions("app_id", form).size(); }, 3);
    const double everything =
        medianMilliseconds([&] { GuidedReplies(report).suggestions("article_id", form); }, 3);
    const GuidedReplies index(report);
    index.suggestions("article_id", form);
    const double build = medianMilliseconds([&] { const GuidedReplies fresh(report); }, 5);
    // A field not asked for before, once the answers are decoded: the walk alone.
    std::vector<double> walks;
    for (int i = 0; i < 5; ++i) {
        const GuidedReplies warm(report);
        warm.suggestions("article_id", form);
        walks.push_back(medianMilliseconds([&] { warm.suggestions("content_id", form); }, 1));
    }
    std::sort(walks.begin(), walks.end());
    const double keystroke = medianMilliseconds([&] { index.suggestions("app_id", form); }, 50);
    const double replies = medianMilliseconds(
        [&] {
            for (const MCPTool& tool : report.servers[0].tools)
                index.lastReply(tool, Language::english);
        },
        5);
    std::printf("index of the report's calls:               %8.3f ms\n", build);
    std::printf("first field, fresh index (%3zu suggestions): %8.1f ms\n", found, first);
    std::printf("a field no answer fills, fresh index:      %8.1f ms  (decodes all 50)\n",
                everything);
    std::printf("another field, answers already decoded:    %8.3f ms  target < 20 ms\n", walks[2]);
    std::printf("suggestions per keystroke (same index):    %8.3f ms  target < 20 ms\n", keystroke);
    std::printf("last reply of all 1,000 tools (indexed):   %8.3f ms\n", replies);

    const MCPTool named(server, JSONValue(JSONValue::Object{{"name", JSONValue(words(2000000))}}));
    const double title =
        medianMilliseconds([&] { GuidedPresentation::actionTitle(named, Language::english); }, 5);
    std::printf("title of a tool named by 1M short words:   %8.3f ms\n", title);

    struct Hostile {
        const char* name;
        std::string json;
    };
    for (const Hostile& hostile : {
             Hostile{"nested lists, 20 wide", bench::nestedLists(2000000)},
             Hostile{"500 levels deep", std::string(500, '[') + std::string(500, ']')},
             Hostile{"one object, many fields", manyFields(2000000)},
             Hostile{"one 2 MB string", "\"" + std::string(2000000, 'a') + "\""},
             Hostile{"a key of 1M short words", "{\"" + words(2000000) + "\":1}"},
             Hostile{"one 2 MB letter", "\"e" + accents(2000000) + "\""},
         }) {
        const JSONValue value = JSONValue::parse(hostile.json);
        std::size_t nodes = 0;
        std::size_t longest = 0; // bytes of the longest text handed to the view
        const double tree = medianMilliseconds(
            [&] {
                const ReadableNode top = ReadableValue::tree(value, Language::english);
                std::function<std::size_t(const ReadableNode&)> count = [&](const ReadableNode& n) {
                    longest = std::max(
                        {longest, n.text.size(), n.label.size(), n.title.value_or("").size()});
                    std::size_t total = 1;
                    for (const ReadableNode& child : n.children)
                        total += count(child);
                    return total;
                };
                nodes = count(top);
            },
            5);
        std::printf("readable tree, %-26s %5.2f MB  %8.3f ms  %5zu nodes  %7zu B longest text  "
                    "target < 50 ms\n",
                    hostile.name, hostile.json.size() / 1e6, tree, nodes, longest);
    }
    return 0;
}
