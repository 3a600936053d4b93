#pragma once

// Reports built in code for the export tests and the export benchmark. Every
// id and date is fixed so that the exports are reproducible byte for byte.

#include "core/model/ScanReport.h"

#include <string>

namespace quorilanth::test {

inline Date fixedDate(const char* text) {
    return parseISO8601(text).value();
}

inline ScanReport reportFor(std::string domain) {
    ScanReport report;
    report.id = "6F1C2A4E-0B7D-4C1E-9A3F-2D5B8E7C1A90";
    report.domain = std::move(domain);
    report.startedAt = fixedDate("2026-03-01T09:15:00Z");
    return report;
}

inline Evidence exchange(std::string id, std::string url, std::string method, int status) {
    Evidence record;
    record.id = std::move(id);
    record.timestamp = fixedDate("2026-03-01T09:15:01Z");
    record.url = std::move(url);
    record.method = std::move(method);
    record.statusCode = status;
    record.durationMS = 41.5;
    record.tlsVerified = true;
    return record;
}

inline GraphNode node(std::string id, NodeKind kind, std::string label,
                      std::optional<std::string> url, FindingStatus status, std::string summary,
                      std::vector<std::string> evidenceIDs = {}) {
    GraphNode n(std::move(id), kind, std::move(label), std::move(url), status);
    n.summary = std::move(summary);
    n.evidenceIDs = std::move(evidenceIDs);
    return n;
}

inline ScoreCheck check(std::string id, std::string category, std::int64_t points, bool passed,
                        std::string explanation) {
    return {std::move(id), std::move(category), points, passed, std::move(explanation), {}};
}

inline MCPServer server(std::string url, FindingStatus status, double latencyMS) {
    MCPServer s(std::move(url));
    s.status = status;
    s.version = "2025-11-25";
    s.latencyMS = latencyMS;
    s.capabilities = JSONValue::parse(R"({"tools":{"listChanged":true},"resources":{}})");
    return s;
}

// Everything the Markdown and PDF exports show, with the awkward cases inside:
// bars and line feeds in table cells, a node without URL, kinds that are not
// listed, a valid server without tools, an invalid server, a 12.9 ms latency.
inline ScanReport richReport() {
    ScanReport report = reportFor("https://shop.example/");
    report.finishedAt = fixedDate("2026-03-01T09:16:30Z");

    Evidence root = exchange("E-ROOT", "https://shop.example/", "GET", 200);
    root.responseHeaders = {{"content-type", "text/html"}, {"etag", "\"abc\""}};
    Evidence llms = exchange("E-LLMS", "https://shop.example/llms.txt", "GET", 200);
    llms.responseHeaders = {{"content-type", "text/plain"}};
    llms.responseBody = "# Shop\n\n> Agents welcome.\n\n- [API](https://shop.example/api)\n";
    Evidence mcp = exchange("E-MCP", "https://shop.example/mcp", "POST", 200);
    report.evidence = {root, llms, mcp};

    report.nodes = {
        node("https://shop.example/", NodeKind::domain, "shop.example", "https://shop.example/",
             FindingStatus::valid, "Home | Shop\nsecond line of the summary", {"E-ROOT"}),
        node("https://shop.example/llms.txt", NodeKind::discovery, "llms.txt",
             "https://shop.example/llms.txt", FindingStatus::found, "Assistant documentation.",
             {"E-LLMS"}),
        node("https://shop.example/.well-known/agent.json", NodeKind::manifest, "agent.json",
             "https://shop.example/.well-known/agent.json", FindingStatus::notFound, "HTTP 404"),
        node("derived:catalog", NodeKind::endpoint, "catalog", std::nullopt, FindingStatus::invalid,
             "Declared reference without address"),
        node("https://shop.example/mcp", NodeKind::mcp, "MCP server", "https://shop.example/mcp",
             FindingStatus::valid, "MCP 2025-11-25", {"E-MCP"}),
        node("https://shop.example/mcp#tool:search", NodeKind::tool, "search-tool-node",
             std::nullopt, FindingStatus::valid, "never listed as an address"),
        node("https://shop.example/mcp#resources:faq", NodeKind::resource, "faq-resource-node",
             std::nullopt, FindingStatus::found, "never listed as an address"),
        node("https://shop.example/mcp#tool:search#result:E-MCP", NodeKind::content,
             "result-content-node", std::nullopt, FindingStatus::valid, "never listed"),
    };
    report.nodes[2].issues = {"Manifest missing at the well-known location."};
    report.nodes[3].issues = {"Reference could not be resolved.", "Second issue."};
    report.nodes[1].isAgentDocument = true;

    report.edges = {{"https://shop.example/", "https://shop.example/llms.txt", "HTML alternate",
                     "E-ROOT", "link[href=/llms.txt]"}};

    MCPServer shop = server("https://shop.example/mcp", FindingStatus::valid, 12.9);
    shop.tools = {
        MCPTool(shop.url,
                JSONValue::parse(R"({"name":"search","description":"Finds | products\nby name",
                    "annotations":{"readOnlyHint":true}})")),
        MCPTool(shop.url,
                JSONValue::parse(R"({"name":"order","annotations":{"readOnlyHint":false}})")),
        MCPTool(shop.url, JSONValue::parse(R"({"description":42})")),
    };
    shop.resources = {JSONValue::parse(R"({"uri":"faq://1"})")};
    shop.prompts = {JSONValue::parse(R"({"name":"greet"})"), JSONValue::parse(R"({"name":"bye"})")};
    shop.issues = {"Server issue: slow listing."};
    MCPServer broken = server("https://shop.example/broken-mcp", FindingStatus::invalid, 3);
    MCPServer bare = server("https://tools.shop.example/mcp", FindingStatus::valid, 0.4);
    bare.capabilities = JSONValue::emptyObject();
    report.servers = {shop, broken, bare};

    report.checks = {
        check("discovery.links", "Discovery", 8, true,
              "Agent discovery links observed in HTML/headers."),
        check("discovery.entry", "Discovery", 7, false,
              "\u22127: no readable agent entry document found."),
        check("mcp.protocol", "MCP", 12, true,
              "MCP version and capabilities exchanged successfully."),
        check("reliability.cache", "Reliability", 4, true, "HTTP cache validators observed."),
        check("custom.other", "Elsewhere", 9, true,
              "A check of a category the table does not list."),
    };
    report.notices = {"Scan budget of 48 locations reached.", "Notice with | bar."};
    return report;
}

// A large, regular report: `nodes` address nodes, `servers` valid servers
// sharing `tools` tools between them, sixteen checks.
inline ScanReport largeReport(int nodes, int servers, int tools) {
    ScanReport report = reportFor("https://large.example/");
    report.finishedAt = fixedDate("2026-03-01T09:20:00Z");
    const NodeKind kinds[] = {NodeKind::discovery, NodeKind::manifest, NodeKind::endpoint};
    for (int i = 0; i < nodes; ++i) {
        const std::string url = "https://large.example/path/" + std::to_string(i);
        report.evidence.push_back(exchange("E" + std::to_string(i), url, "GET", 200));
        report.nodes.push_back(node(url, kinds[i % 3], "Location " + std::to_string(i), url,
                                    i % 4 == 0 ? FindingStatus::notFound : FindingStatus::found,
                                    "Observed document number " + std::to_string(i) +
                                        " with a summary long enough to wrap onto a second line "
                                        "of the frame in the report's flowing text.",
                                    {"E" + std::to_string(i)}));
        if (i % 10 == 0) report.nodes.back().issues = {"Issue on location " + std::to_string(i)};
    }
    for (int s = 0; s < servers; ++s) {
        MCPServer srv = server("https://large.example/mcp/" + std::to_string(s),
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
        report.checks.push_back(check("check." + std::to_string(c), categories[c % 7], 6,
                                      c % 2 == 0,
                                      "Explanation of check " + std::to_string(c) + "."));
    }
    report.notices = {"Scan budget of 48 locations reached."};
    return report;
}

} // namespace quorilanth::test
