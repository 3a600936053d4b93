#include "support/McpPeer.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quorilanth::testing {

namespace {

const char* scriptFor(McpPeer::Kind kind) {
    switch (kind) {
    case McpPeer::Kind::Everything:
        return "everything-server.mjs";
    case McpPeer::Kind::Modern:
        return "modern-server.mjs";
    case McpPeer::Kind::StatelessJSON:
        return "stateless-json-server.mjs";
    }
    return "";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

McpPeer::McpPeer(Kind kind, std::chrono::seconds startTimeout) {
    const std::filesystem::path peers = QL_TEST_PEERS;
    if (!std::filesystem::exists(peers / "node_modules")) {
        throw std::runtime_error(
            "test peers are not installed: run scripts/setup (npm ci in tests/peers)");
    }
    logPath_ = (std::filesystem::temp_directory_path() /
                ("quorilanth-peer-" + std::to_string(::getpid()) + "-" + scriptFor(kind) + ".log"))
                   .string();

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("pipe failed");
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, peers.c_str());

    std::string script = scriptFor(kind);
    std::string portArg = "0";
    std::vector<char*> argv{const_cast<char*>("node"), script.data(), portArg.data(), nullptr};
    const int rc = ::posix_spawnp(&pid_, "node", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    stdoutFd_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        stop();
        throw std::runtime_error(std::string("cannot start node: ") + std::strerror(rc));
    }

    // Read the readiness line; anything else before it is ignored.
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    std::string seen;
    while (port_ == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{stdoutFd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(stdoutFd_, buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, static_cast<std::size_t>(n));
        if (seen.size() > 65536) break;
        const auto at = seen.find("LISTENING ");
        const auto end = at == std::string::npos ? at : seen.find('\n', at);
        if (end != std::string::npos) port_ = std::atoi(seen.c_str() + at + 10);
    }
    if (port_ <= 0) {
        stop();
        throw std::runtime_error(std::string("peer ") + script + " did not start: " + seen +
                                 readFile(logPath_));
    }
}

McpPeer::~McpPeer() {
    stop();
    std::error_code ignored;
    std::filesystem::remove(logPath_, ignored);
}

std::string McpPeer::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/mcp";
}

void McpPeer::stop() noexcept {
    if (stdinFd_ >= 0) ::close(stdinFd_);
    if (stdoutFd_ >= 0) ::close(stdoutFd_);
    stdinFd_ = stdoutFd_ = -1;
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    // Give node a moment to exit on its own, then make sure.
    for (int i = 0; i < 100; ++i) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno == ECHILD)) {
            pid_ = -1;
            return;
        }
        ::usleep(20000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

} // namespace quorilanth::testing
