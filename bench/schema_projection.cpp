// Scenes of the schema map for a large scan: 48 documents, 10 MCP servers of
// 100 tools each, 1,000 resources and about 3,000 references. The screen asks
// for a scene on every render, and during a scan on every progress step, so
// each scope should take under 2 ms with or without a filter, the overview
// under 1 ms; comparing two equal overview scenes (two groups of 1,000
// members) should take under 1 ms.
#include "BenchTiming.h"
#include "core/schema/SchemaProjection.h"

#include <cstdio>
#include <limits>
#include <memory>
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

// Shared as the window shares the report it shows.
const std::shared_ptr<const ScanReport>& sharedReport() {
    static const auto report = std::make_shared<const ScanReport>([] {
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
    }());
    return report;
}

const ScanReport& largeReport() {
    return *sharedReport();
}

void reportScene(const char* name, const SchemaScope& scope, std::int64_t page, const char* query) {
    std::size_t cards = 0;
    const bench::Timing t = bench::milliseconds([&] {
        cards =
            SchemaProjection::scene(sharedReport(), scope, page, query, false, false).cards.size();
    });
    const double goal = scope.which() == SchemaScope::Case::overview ? 1 : 2;
    std::printf("%-32s median %6.3f ms  fastest %6.3f ms  %2zu cards  (goal %g ms %s)\n", name,
                t.median, t.fastest, cards, goal, t.median < goal ? "met" : "missed");
}

// One overview made and let go, by name for callgrind's --toggle-collect.
[[gnu::noinline]] std::size_t overviewCards(const char* query) {
    return SchemaProjection::scene(sharedReport(), SchemaScope::overview(), 0, query, false, false)
        .cards.size();
}

} // namespace

int main(int argc, char** argv) {
    const ScanReport& report = largeReport();
    // Under callgrind, which counts instructions rather than time: ten
    // overviews and nothing else, as `schema_projection overview [QUERY]`.
    if (argc > 1 && std::string(argv[1]) == "overview") {
        std::size_t cards = 0;
        for (int i = 0; i < 10; ++i)
            cards += overviewCards(argc > 2 ? argv[2] : "");
        std::printf("%zu cards\n", cards);
        return 0;
    }
    std::printf("report: %zu nodes, %zu edges\n", report.nodes.size(), report.edges.size());
    const std::string server = origin + "mcp/0";
    const std::int64_t last = std::numeric_limits<std::int64_t>::max();
    reportScene("overview", SchemaScope::overview(), 0, "");
    reportScene("overview, query", SchemaScope::overview(), 0, "tool_3");
    reportScene("group, first page", SchemaScope::group(NodeKind::tool), 0, "");
    reportScene("group, last page", SchemaScope::group(NodeKind::tool), last, "");
    reportScene("group, first page, query", SchemaScope::group(NodeKind::tool), 0, "TOOL_3");
    reportScene("group, last page, query", SchemaScope::group(NodeKind::tool), last, "TOOL_3");
    reportScene("branch, first page", SchemaScope::branch(server), 0, "");
    reportScene("branch, last page", SchemaScope::branch(server), last, "");
    reportScene("branch, query", SchemaScope::branch(server), 0, "resource 1");

    // Scenes of one report share its nodes and edges, and their members
    // compare by address; scenes of two equal copies of the report, as
    // successive scan steps give, compare member by member.
    const SchemaScene a =
        SchemaProjection::scene(sharedReport(), SchemaScope::overview(), 0, "", false, false);
    const SchemaScene same =
        SchemaProjection::scene(sharedReport(), SchemaScope::overview(), 0, "", false, false);
    const SchemaScene copied =
        SchemaProjection::scene(report, SchemaScope::overview(), 0, "", false, false);
    for (const auto& [name, b] : {std::pair{"equal overviews, one report", &same},
                                  std::pair{"equal overviews, two copies", &copied}}) {
        bool equal = false;
        const bench::Timing t = bench::milliseconds([&] { equal = a == *b; });
        std::printf("%-32s median %6.3f ms  fastest %6.3f ms  %s  %s\n", name, t.median, t.fastest,
                    equal ? "equal" : "DIFFERENT",
                    t.median < 1 ? "(goal 1 ms met)" : "(goal 1 ms missed)");
    }
    return 0;
}
