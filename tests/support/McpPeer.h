#pragma once

#include "core/net/ChildProcess.h"

#include <chrono>
#include <optional>
#include <string>

namespace quorilanth::testing {

// One MCP test peer from tests/peers, run by node on a loopback port for the
// lifetime of this object. The constructor returns once the peer announced
// its port; the peer ends with this object, and by itself when the test
// process dies, because it watches its stdin.
class McpPeer {
public:
    enum class Kind {
        Everything,    // the published reference server: legacy handshake, sessions, event streams
        Modern,        // our server on the v2 SDK: server/discover, no session, JSON replies
        StatelessJSON, // v1 SDK, stateless, plain JSON replies
    };

    explicit McpPeer(Kind kind, std::chrono::seconds startTimeout = std::chrono::seconds(30));
    ~McpPeer();
    McpPeer(const McpPeer&) = delete;
    McpPeer& operator=(const McpPeer&) = delete;

    int port() const { return port_; }
    // The endpoint URL every peer serves, e.g. http://127.0.0.1:4711/mcp.
    std::string endpoint() const;

private:
    UniqueFd stdin_;
    std::optional<ChildProcess> node_;
    int port_ = 0;
    std::string logPath_;
};

} // namespace quorilanth::testing
