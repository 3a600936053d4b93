// Scenes of the schema map for a large scan: 48 documents, 10 MCP servers of
// 100 tools each, 1,000 resources and about 3,000 references. The screen asks
// for a scene on every render, and during a scan on every progress step, so
// each scope should take under 2 ms with or without a filter; comparing two
// equal overview scenes (two groups of 1,000 members) should take under 1 ms.
#include "BenchTiming.h"
#include "core/schema/SchemaProjection.h"

#include <cstdio>
#include <limits>
#include <string>

namespace {

using namespace quorilanth;

const std::string origin = "https://big.example/";

std::string toolDefinition(int server, int tool) {
    return R"({"name":"tool_)" + std::to_string(server) + "_" + std::to_string(tool) +
           R"(","description":"Looks up an order of the shop by its number and returns its state.",)"
           R"("annotations":{"readOnlyHint":true},"inputSchema":{"type":"object","required":["order"],)"
           R"("properties":{"order":{"type":"string","description":"Order number"},)"
           R"("verbose":{"type":"boolean"},"limit":{"type":"integer","minimum":1}}}})";
}

const ScanReport& largeReport() {
    static const ScanReport report = [] {
        ScanReport r(origin);
        // Nodes as a scan leaves them: a summary and the exchange behind them.
        auto add = [&](std::string id, NodeKind kind, std::string label) -> GraphNode& {
            r.nodes.emplace_back(id, kind, std::move(label), id, FindingStatus::found);
            r.nodes.back().summary = "Listed by the server in its answer to the inventory request";
            r.nodes.back().evidenceIDs = {Evidence(id, "GET").id};
            return r.nodes.back();
        };
        auto link = [&](const std::string& from, const std::string& to, const char* relation) {
            Evidence exchange(from, "GET");
            r.edges.push_back({from, to, relation, exchange.id, "$.links"});
            if (r.evidence.size() < 200) r.evidence.push_back(std::move(exchange));
        };
        add(origin, NodeKind::domain, "big.example");
        const NodeKind documentKinds[] = {NodeKind::discovery, NodeKind::manifest,
                                          NodeKind::endpoint};
        std::vector<std::string> documents;
        for (int i = 0; i < 48; ++i) {
            const std::string id = origin + "docs/" + std::to_string(i) + "/agent.json";
            add(id, documentKinds[i % 3], "agent-" + std::to_string(i) + ".json").isAgentDocument =
                true;
            documents.push_back(id);
            link(origin, id, "declares");
        }
        for (int s = 0; s < 10; ++s) {
            const std::string server = origin + "mcp/" + std::to_string(s);
            add(server, NodeKind::mcp, "MCP server " + std::to_string(s)).status =
                FindingStatus::valid;
            link(documents[static_cast<std::size_t>(s)], server, "mcp");
            for (int t = 0; t < 100; ++t) {
                const std::string name = "tool_" + std::to_string(s) + "_" + std::to_string(t);
                GraphNode& tool = add(server + "#tool:" + name, NodeKind::tool, name);
                tool.url = server;
                tool.metadata = JSONValue::parse(toolDefinition(s, t));
                link(server, tool.id, "tool");
            }
            for (int k = 0; k < 100; ++k) {
                const std::string id = server + "/resource/" + std::to_string(k);
                add(id, NodeKind::resource, "Resource " + std::to_string(s * 100 + k));
                link(server, id, "resource");
            }
        }
        // Cross references between documents and resources bring the total
        // near 3,000.
        for (int i = 0; r.edges.size() < 3000; ++i)
            link(documents[static_cast<std::size_t>(i % 48)],
                 origin + "mcp/" + std::to_string(i % 10) + "/resource/" + std::to_string(i % 100),
                 "mentions");
        return r;
    }();
    return report;
}

void reportScene(const char* name, const SchemaScope& scope, std::int64_t page, const char* query) {
    std::size_t cards = 0;
    const bench::Timing t = bench::milliseconds([&] {
        cards =
            SchemaProjection::scene(largeReport(), scope, page, query, false, false).cards.size();
    });
    std::printf("%-32s median %6.3f ms  fastest %6.3f ms  %2zu cards  %s\n", name, t.median,
                t.fastest, cards, t.median < 2 ? "(goal 2 ms met)" : "(goal 2 ms missed)");
}

} // namespace

int main() {
    const ScanReport& report = largeReport();
    std::printf("report: %zu nodes, %zu edges\n", report.nodes.size(), report.edges.size());
    const std::string server = origin + "mcp/0";
    const std::int64_t last = std::numeric_limits<std::int64_t>::max();
    // An overview holds a copy of every visible node and of every edge
    // between its cards: copying the report's nodes and edges, and letting
    // them go, is the floor it is measured against.
    const bench::Timing floor = bench::milliseconds([&] {
        const std::vector<GraphNode> nodes = report.nodes;
        const std::vector<GraphEdge> edges = report.edges;
    });
    std::printf("%-32s median %6.3f ms  fastest %6.3f ms\n", "floor: copy nodes and edges",
                floor.median, floor.fastest);
    reportScene("overview", SchemaScope::overview(), 0, "");
    reportScene("overview, query", SchemaScope::overview(), 0, "tool_3");
    reportScene("group, first page", SchemaScope::group(NodeKind::tool), 0, "");
    reportScene("group, last page", SchemaScope::group(NodeKind::tool), last, "");
    reportScene("group, first page, query", SchemaScope::group(NodeKind::tool), 0, "TOOL_3");
    reportScene("group, last page, query", SchemaScope::group(NodeKind::tool), last, "TOOL_3");
    reportScene("branch, first page", SchemaScope::branch(server), 0, "");
    reportScene("branch, last page", SchemaScope::branch(server), last, "");
    reportScene("branch, query", SchemaScope::branch(server), 0, "resource 1");

    // Two scenes built apart share no storage, so every member is compared.
    const SchemaScene a =
        SchemaProjection::scene(report, SchemaScope::overview(), 0, "", false, false);
    const SchemaScene b =
        SchemaProjection::scene(report, SchemaScope::overview(), 0, "", false, false);
    bool equal = false;
    const bench::Timing t = bench::milliseconds([&] { equal = a == b; });
    std::printf("%-32s median %6.3f ms  fastest %6.3f ms  %s  %s\n", "equal overviews (2 x 1,000)",
                t.median, t.fastest, equal ? "equal" : "DIFFERENT",
                t.median < 1 ? "(goal 1 ms met)" : "(goal 1 ms missed)");
    return 0;
}
