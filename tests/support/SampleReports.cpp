#include "SampleReports.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace quorilanth::samples {

Date sampleDate(int secondsAfterStart, int milliseconds) {
    // 2026-01-31T08:05:09Z
    return Date(std::chrono::seconds(1769846709 + secondsAfterStart) +
                std::chrono::milliseconds(milliseconds));
}

ScanReport minimalSampleReport() {
    ScanReport report;
    report.id = "5C1D6F0E-8B1A-4C57-9E0A-3B2F4D6A8C10";
    report.domain = "https://shop.example/";
    report.startedAt = sampleDate(0, 250);
    return report;
}

ScanReport fullSampleReport() {
    ScanReport report = minimalSampleReport();
    report.finishedAt = sampleDate(42, 999);
    report.cancelled = true;
    report.notices = {"Budget of 48 locations reached", "Tab\tand \"quotes\""};

    Evidence page;
    page.id = "0F6E3A52-7C4D-4E8B-A1F0-9D2C5B7E3A14";
    page.timestamp = sampleDate(1, 500);
    page.url = "https://shop.example/.well-known/mcp.json";
    page.method = "POST";
    page.requestHeaders = {{"Accept", "application/json"}, {"User-Agent", "Quorilanth/1.0"}};
    page.requestBody = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";
    page.statusCode = 200;
    page.responseHeaders = {{"content-type", "application/json; charset=utf-8"},
                            {"link", "</mcp>; rel=\"service\""}};
    page.responseBody = "{\n  \"name\": \"Caf\xC3\xA9 \xE2\x82\xAC\",\n  \"ctl\": \"\x01\x1f\"\n}";
    page.durationMS = 123.456;
    page.remoteIP = "2001:db8::1";
    page.tlsVerified = true;
    page.error = "Response truncated at 2000000 bytes";
    page.truncated = true;
    Evidence failed;
    failed.id = "9A8B7C6D-5E4F-4A3B-8C2D-1E0F9A8B7C6D";
    failed.timestamp = sampleDate(2);
    failed.url = "https://shop.example/llms.txt";
    failed.method = "GET";
    failed.durationMS = 0.5;
    failed.error = "DNS resolution failed: shop.example";
    report.evidence = {page, failed};

    GraphNode root("https://shop.example/", NodeKind::domain, "shop.example",
                   "https://shop.example/", FindingStatus::found);
    root.summary = "Root of the scanned site";
    root.isAgentDocument = false;
    root.evidenceIDs = {page.id};
    root.metadata = JSONValue::parse(
        R"({"title":"Shop","item10":1,"item2":2,"Zeta":true,"nested":{"list":[1,0.5,-0,1e-05,0.0001,1e+16,9007199254740992,null]},"slash":"a/b"})");
    root.issues = {"No llms.txt"};
    GraphNode missing("https://shop.example/llms.txt", NodeKind::discovery, "llms.txt",
                      std::nullopt, FindingStatus::notFound);
    missing.metadata = JSONValue();
    report.nodes = {root, missing};
    report.edges = {GraphEdge{"https://shop.example/", "https://shop.example/mcp", "HTTP Link",
                              page.id, "response.headers.link"},
                    GraphEdge{"https://shop.example/mcp", "https://shop.example/mcp#tool:search",
                              "exposes tool", page.id, "/tools/0"}};

    MCPServer server("https://shop.example/mcp");
    server.version = "2025-06-18";
    server.info = JSONValue::parse(R"({"name":"shop","version":"1.2.0"})");
    server.capabilities = JSONValue::parse(R"({"tools":{"listChanged":true},"resources":{}})");
    server.status = FindingStatus::valid;
    server.latencyMS = 87.25;
    server.tools = {MCPTool(server.url, JSONValue::parse(R"({
        "name":"search","description":"Find products",
        "inputSchema":{"type":"object","properties":{"q":{"type":"string"}},"required":["q"]},
        "annotations":{"readOnlyHint":true}})"))};
    server.resources = {JSONValue::parse(R"({"uri":"file:///catalog.json","name":"catalog"})")};
    server.resourceTemplates = {JSONValue::parse(R"({"uriTemplate":"shop://items/{id}"})")};
    server.prompts = {JSONValue()};
    server.issues = {"UNSUPPORTED: sampling"};
    report.servers = {server};
    report.checks = {
        ScoreCheck{"discovery.links", "Discovery", 8, true, "Links declared", {page.id}},
        ScoreCheck{"provenance.canonical",
                   "Provenance",
                   4,
                   false,
                   "\xE2\x88\x92"
                   "4 no canonical URL",
                   {}}};
    return report;
}

namespace {

struct Random {
    std::mt19937_64 engine;

    std::size_t below(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
    }
    bool chance() { return below(2) == 0; }
    // Pieces that exercise escapes, multi-byte characters and slashes.
    std::string text() {
        // clang-format off
        static const std::string_view pieces[] = {
            "a", "Z", "0", " ", "/", "\\", "\"", "\n", "\t", "\x01", "\x1f", "\x7f", "\xC3\xA9",
            "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE2\x80\xA8", "|", "~", "http://x/", ""};
        // clang-format on
        std::string out;
        for (std::size_t i = below(8); i > 0; --i)
            out += pieces[below(std::size(pieces))];
        return out;
    }
    double number() {
        static const double samples[] = {
            0,       -0.0,  1,         -1,    0.5, 3, 120, 1e-05, 1e-4, 1e16, 9007199254740992.0,
            123.456, 1e300, -2.5e-300, 5e-324};
        return chance() ? samples[below(std::size(samples))]
                        : std::uniform_real_distribution<double>(-1e6, 1e6)(engine);
    }
    std::optional<std::string> maybeText() {
        return chance() ? std::optional(text()) : std::nullopt;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> out(below(3));
        for (auto& t : out)
            t = text();
        return out;
    }
    Date date() {
        return Date(std::chrono::seconds(below(4'000'000'000)) +
                    std::chrono::milliseconds(below(1000)));
    }
    template <typename T, std::size_t N> T pick(const std::array<T, N>& all) {
        return all[below(N)];
    }
    HeaderFields headers() {
        HeaderFields out;
        for (std::size_t h = below(3); h > 0; --h)
            out[text()] = text();
        return out;
    }

    JSONValue value(int depth) {
        // clang-format off
        switch (below(depth > 0 ? 6 : 4)) {
        case 0: return JSONValue(text());
        case 1: return JSONValue(number());
        case 2: return JSONValue(chance());
        case 3: return JSONValue();
        // clang-format on
        case 4: {
            JSONValue::Object members;
            for (std::size_t i = below(4); i > 0; --i)
                members[text()] = value(depth - 1);
            return JSONValue(std::move(members));
        }
        default: {
            JSONValue::Array elements(below(4));
            for (auto& element : elements)
                element = value(depth - 1);
            return JSONValue(std::move(elements));
        }
        }
    }
};

} // namespace

JSONValue randomJSONValue(std::uint64_t seed, int maxDepth) {
    return Random{std::mt19937_64(seed)}.value(maxDepth);
}

ScanReport randomReport(std::uint64_t seed) {
    Random r{std::mt19937_64(seed)};
    ScanReport report;
    report.id = r.text();
    report.domain = r.text();
    report.startedAt = r.date();
    if (r.chance()) report.finishedAt = r.date();
    report.cancelled = r.chance();
    report.notices = r.texts();
    report.scoringVersion = r.text();
    for (std::size_t i = r.below(4); i > 0; --i) {
        GraphNode& node = report.nodes.emplace_back(r.text(), r.pick(allNodeKinds), r.text(),
                                                    r.maybeText(), r.pick(allFindingStatuses));
        node.summary = r.text();
        if (r.chance()) node.isAgentDocument = r.chance();
        node.evidenceIDs = r.texts();
        node.metadata = r.value(3);
        node.issues = r.texts();
    }
    for (std::size_t i = r.below(4); i > 0; --i)
        report.edges.push_back(GraphEdge{r.text(), r.text(), r.text(), r.text(), r.text()});
    for (std::size_t i = r.below(4); i > 0; --i) {
        Evidence& e = report.evidence.emplace_back();
        e.id = r.text();
        e.timestamp = r.date();
        e.url = r.text();
        e.method = r.text();
        e.requestHeaders = r.headers();
        e.requestBody = r.maybeText();
        if (r.chance()) e.statusCode = static_cast<std::int64_t>(r.below(600)) - 1;
        e.responseHeaders = r.headers();
        e.responseBody = r.text();
        e.durationMS = r.number();
        e.remoteIP = r.maybeText();
        e.tlsVerified = r.chance();
        e.error = r.maybeText();
        e.truncated = r.chance();
    }
    for (std::size_t i = r.below(3); i > 0; --i) {
        MCPServer& server = report.servers.emplace_back(r.text());
        server.transport = r.text();
        server.version = r.text();
        server.info = r.value(2);
        server.capabilities = r.value(2);
        server.status = r.pick(allFindingStatuses);
        server.latencyMS = r.number();
        for (std::size_t t = r.below(3); t > 0; --t)
            server.tools.emplace_back(r.text(), r.value(3));
        for (auto* list : {&server.resources, &server.resourceTemplates, &server.prompts})
            for (std::size_t k = r.below(3); k > 0; --k)
                list->push_back(r.value(2));
        server.issues = r.texts();
    }
    for (std::size_t i = r.below(4); i > 0; --i)
        report.checks.push_back(ScoreCheck{r.text(), r.text(),
                                           static_cast<std::int64_t>(r.below(40)) - 5, r.chance(),
                                           r.text(), r.texts()});
    return report;
}

std::string readFixture(const std::string& relativePath) {
    std::ifstream file(std::string(QL_TEST_FIXTURES) + "/" + relativePath, std::ios::binary);
    if (!file) throw std::runtime_error("missing fixture " + relativePath);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

} // namespace quorilanth::samples
