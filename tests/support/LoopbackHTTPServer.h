#pragma once

// A scripted HTTP/1.1 server on loopback addresses for tests that need a real
// peer: each path gets a handler that writes whatever bytes the case needs
// (well-formed or not), and every request received is recorded. One
// connection carries one request; the server closes it after the handler.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorilanth::test {

class TestCertificateAuthority;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct ReceivedRequest {
    std::string method, target; // the target as sent, query included
    HeaderList headers;         // in arrival order, names as sent
    std::string body;
    std::string localAddress; // the bound address the connection came in on
    std::chrono::steady_clock::time_point receivedAt;

    std::string path() const { return target.substr(0, target.find('?')); }
    // Every header of that name, compared without regard to case, in order.
    std::vector<std::string> headerValues(std::string_view name) const;
    std::optional<std::string> header(std::string_view name) const;
};

// What a handler writes to. Each call says whether the peer still listens, so
// endless or slow answers stop once the client leaves or the server stops.
class ResponseWriter {
public:
    virtual bool send(std::string_view bytes) = 0;
    // Waits, but returns false early when the server is stopping.
    virtual bool pause(std::chrono::milliseconds duration) = 0;
    virtual bool stopping() const = 0;
    // A whole response with Content-Length and "Connection: close".
    bool respond(int status, std::string_view body, const HeaderList& headers = {});

protected:
    ~ResponseWriter() = default;
};

using Handler = std::function<void(const ReceivedRequest&, ResponseWriter&)>;

// Byte i is 'a' + (offset + i) % 26, so a test can tell exactly where a body was cut.
std::string patternBody(std::size_t length, std::uint64_t offset = 0);

namespace respond {
Handler text(int status, std::string body, HeaderList headers = {});
// Without a location no Location header is sent.
Handler redirect(int status, std::optional<std::string> location);
// Bytes written exactly as given (malformed heads, lengths that lie...).
Handler raw(std::string bytes);
// patternBody(totalBytes) in chunks; with no total, chunks until the client leaves.
Handler chunked(std::uint64_t totalBytes = UINT64_MAX, std::size_t chunkBytes = 16384);
// patternBody(totalBytes) with its length announced, stepBytes at a time with a pause between.
Handler trickle(std::uint64_t totalBytes, std::chrono::milliseconds interval,
                std::size_t stepBytes = 1);
} // namespace respond

class LoopbackHTTPServer {
public:
    // Binds every address ("127.0.0.1", "127.0.0.2", "::1") on one common
    // ephemeral port. With an authority the server speaks TLS with its leaf.
    explicit LoopbackHTTPServer(std::vector<std::string> addresses = {"127.0.0.1"},
                                const TestCertificateAuthority* tls = nullptr);
    ~LoopbackHTTPServer();
    LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
    LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

    // Handler for an exact path (query ignored); later calls replace earlier ones.
    void on(std::string path, Handler handler);
    // Handler for every path without its own; a plain 404 by default.
    void otherwise(Handler handler);

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:PORT" or "https://[::1]:PORT"; the first address by default.
    std::string origin(std::string_view address = {}) const;
    std::string url(std::string_view path, std::string_view address = {}) const {
        return origin(address) + std::string(path);
    }
    std::vector<ReceivedRequest> requests() const;
    std::size_t requestCount() const { return requests().size(); }

private:
    void serve(int fd, std::string localAddress);

    std::vector<std::string> addresses_;
    std::vector<int> listeners_;
    std::uint16_t port_ = 0;
    void* tls_ = nullptr; // SSL_CTX, opaque so users need no OpenSSL headers
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Handler> handlers_;
    Handler fallback_;
    std::vector<ReceivedRequest> received_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace quorilanth::test
