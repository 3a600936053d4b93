// Inspects the published "everything" MCP server end to end through the real
// transport and compares the wall time with the pacing floor: the transport
// starts at most one hop every 0.12 s, so n hops cannot take less than
// (n - 1) x 0.12 s. The ratio shows what the client and curl add on top.
#include "core/mcp/MCPInspector.h"
#include "core/net/HTTPInspector.h"
#include "support/McpPeer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace quorilanth;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    std::printf("mcp_inspect: everything server at %s, %d runs\n", peer.endpoint().c_str(), runs);
    std::printf("%4s %9s %10s %10s %7s %s\n", "run", "exchanges", "wall ms", "floor ms", "ratio",
                "status");

    std::vector<double> ratios;
    for (int run = 1; run <= runs; ++run) {
        // A fresh transport per run, as each scan makes its own.
        MCPClient client(peer.endpoint(), std::make_shared<HTTPInspector>(NetworkPolicy(true)));
        const auto started = std::chrono::steady_clock::now();
        const MCPServer server = MCPInspector::inspect(client);
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        const std::size_t exchanges = client.evidence().size();
        const double floor = static_cast<double>(exchanges > 0 ? exchanges - 1 : 0) *
                             static_cast<double>(HTTPInspector::pacing.count());
        const double ratio = floor > 0 ? wall / floor : 0;
        ratios.push_back(ratio);
        std::printf("%4d %9zu %10.1f %10.1f %7.3f %s (%zu tools)\n", run, exchanges, wall, floor,
                    ratio, std::string(toString(server.status)).c_str(), server.tools.size());
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    std::printf("median ratio %.3f (target <= 1.10): %s\n", median,
                median <= 1.10 ? "met" : "NOT met");
    return 0;
}
