#pragma once

// A scripted HTTP/1.1 server on loopback addresses for tests that need a real
// peer: each path gets a handler that writes whatever bytes the case needs
// (well-formed or not), and every request received is recorded for assertions.
// One connection carries one request; the server closes it after the handler.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quorilanth::test {

class TestCertificateAuthority;

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as it arrived, before the handler ran.
struct ReceivedRequest {
    std::string method;
    std::string target;  // as sent on the request line, query included
    std::string version; // "HTTP/1.1"
    HeaderList headers;  // in arrival order, names as sent
    std::string body;
    std::string localAddress;                         // the bound address the connection came in on
    std::chrono::steady_clock::time_point receivedAt; // when its head was complete

    std::string path() const; // target without its query
    // First header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
    // Every header of that name, in order.
    std::vector<std::string> headerValues(std::string_view name) const;
};

// What a handler writes to. Each call reports whether the peer still listens,
// so endless or slow responses stop as soon as the client goes away or the
// server is stopped.
class ResponseWriter {
public:
    virtual ~ResponseWriter() = default;
    virtual bool send(std::string_view bytes) = 0;
    // Waits, but returns false early when the server is stopping.
    virtual bool pause(std::chrono::milliseconds duration) = 0;
    virtual bool stopping() const = 0;

    // A whole response with Content-Length and "Connection: close".
    bool respond(int status, std::string_view body, const HeaderList& headers = {});
    // Only the status line and the header block (no Content-Length added).
    bool sendHead(int status, const HeaderList& headers);
};

using Handler = std::function<void(const ReceivedRequest&, ResponseWriter&)>;

// The deterministic body used by the scripted responses below: byte i is
// 'a' + i % 26, so a test can tell exactly where a body was cut.
std::string patternBody(std::size_t length);

// Ready-made handlers for the usual cases.
namespace respond {
Handler text(int status, std::string body, HeaderList headers = {});
// A redirect; without a location no Location header is sent.
Handler redirect(int status, std::optional<std::string> location);
// Bytes written exactly as given (malformed heads, non-UTF-8 header bytes...).
Handler raw(std::string bytes);
// An interim "1xx" block (with its own headers) before the final response.
Handler interimThen(int interimStatus, HeaderList interimHeaders, Handler final);
// A chunked body of patternBody(totalBytes), in chunks of chunkBytes.
Handler chunked(std::uint64_t totalBytes, std::size_t chunkBytes = 16384, HeaderList headers = {});
// A chunked body that never ends (until the client leaves or the server stops).
Handler endless(std::size_t chunkBytes = 65536);
// patternBody(totalBytes) with its length announced, sent stepBytes at a time
// with a pause between steps.
Handler trickle(std::uint64_t totalBytes, std::chrono::milliseconds interval,
                std::size_t stepBytes = 1);
} // namespace respond

class LoopbackHTTPServer {
public:
    // Binds every given address ("127.0.0.1", "127.0.0.2", "::1") on one
    // common ephemeral port and starts serving. With a certificate authority
    // the server speaks TLS with a leaf certificate issued by it.
    explicit LoopbackHTTPServer(std::vector<std::string> addresses = {"127.0.0.1"},
                                const TestCertificateAuthority* tls = nullptr);
    ~LoopbackHTTPServer();
    LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
    LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

    // Handler for an exact path (query ignored). Later calls replace earlier ones.
    void on(std::string path, Handler handler);
    // Handler for every path without its own; a plain 404 by default.
    void otherwise(Handler handler);

    std::uint16_t port() const { return port_; }
    bool tls() const { return tls_ != nullptr; }
    // "http://127.0.0.1:PORT" or "https://[::1]:PORT"; the first bound address by default.
    std::string origin(std::string_view address = {}) const;
    std::string url(std::string_view path, std::string_view address = {}) const;

    std::vector<ReceivedRequest> requests() const;
    std::size_t requestCount() const;

    // Stops accepting, ends running handlers at their next write or pause and
    // joins every thread. Called by the destructor.
    void stop();

private:
    struct Connection;
    void acceptLoop();
    void serve(int fd, std::string localAddress);
    Handler handlerFor(const std::string& path) const;

    std::vector<std::string> addresses_;
    std::vector<int> listeners_;
    std::uint16_t port_ = 0;
    const TestCertificateAuthority* tls_ = nullptr;
    void* sslContext_ = nullptr; // SSL_CTX, kept opaque so users need no OpenSSL headers
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::map<std::string, Handler, std::less<>> handlers_;
    Handler fallback_;
    std::vector<ReceivedRequest> received_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace quorilanth::test
