#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

namespace quorilanth::testing {

// One MCP test peer from tests/peers, run by node on a loopback port for the
// lifetime of this object. The constructor returns once the peer announced
// its port; the destructor ends it (and the peer also ends by itself when the
// test process dies, because it watches its stdin).
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
    void stop() noexcept;

    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    int port_ = 0;
    std::string logPath_;
};

} // namespace quorilanth::testing
