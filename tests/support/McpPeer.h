#pragma once

#include "core/net/ChildProcess.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <unistd.h>

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

    explicit McpPeer(Kind kind) {
        const std::filesystem::path peers = QL_TEST_PEERS;
        if (!std::filesystem::exists(peers / "node_modules"))
            throw std::runtime_error("test peers are not installed: run scripts/setup");
        const std::string script = kind == Kind::Everything ? "everything-server.mjs"
                                   : kind == Kind::Modern   ? "modern-server.mjs"
                                                            : "stateless-json-server.mjs";
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        UniqueFd childIn(in[0]), output(out[0]), childOut(out[1]);
        stdin_ = UniqueFd(in[1]);
        UniqueFd log(::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        node_.emplace(ChildProcess::launch(
            "/usr/bin/env", {"node", (peers / script).string(), "0"}, environment,
            {{childIn.get(), 0}, {childOut.get(), 1}, {log.get(), 2}}));
        childOut.reset();
        // Read up to the readiness line; anything else before it is ignored.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string seen;
        for (std::size_t at; port_ == 0 && seen.size() < 65536;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready{output.get(), POLLIN, 0};
            char buffer[512];
            ssize_t n = 0;
            if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
                (n = ::read(output.get(), buffer, sizeof buffer)) <= 0)
                break;
            seen.append(buffer, static_cast<std::size_t>(n));
            if ((at = seen.find("LISTENING ")) != std::string::npos &&
                seen.find('\n', at) != std::string::npos)
                port_ = std::atoi(seen.c_str() + at + 10);
        }
        if (port_ <= 0) {
            std::stringstream logged;
            logged << std::ifstream(log_).rdbuf();
            throw std::runtime_error("peer " + script + " did not start: " + seen + logged.str());
        }
    }
    ~McpPeer() {
        node_.reset();
        std::error_code ignored;
        std::filesystem::remove(log_, ignored);
    }
    McpPeer(const McpPeer&) = delete;
    McpPeer& operator=(const McpPeer&) = delete;

    int port() const { return port_; }
    // The endpoint URL every peer serves, e.g. http://127.0.0.1:4711/mcp.
    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(port_) + "/mcp"; }

private:
    const std::string log_ = (std::filesystem::temp_directory_path() /
                              ("quorilanth-peer-" + std::to_string(::getpid()) + "-" +
                               std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".log"))
                                 .string();
    UniqueFd stdin_;
    std::optional<ChildProcess> node_;
    int port_ = 0;
};

} // namespace quorilanth::testing
