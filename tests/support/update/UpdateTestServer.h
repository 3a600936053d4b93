#pragma once

// A loopback HTTPS server for the update channel's tests and benchmark. Its
// certificate names the real update host, issued by an authority made when
// the test starts, so a client that trusts that authority and is routed to
// 127.0.0.1 still checks the host name it would check in production.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quorilanth::test {

// A throw-away authority and one server certificate it issued for dnsName,
// in a private temporary folder that the destructor removes.
class UpdateTestAuthority {
public:
    explicit UpdateTestAuthority(const std::string& dnsName);
    ~UpdateTestAuthority();
    UpdateTestAuthority(const UpdateTestAuthority&) = delete;
    UpdateTestAuthority& operator=(const UpdateTestAuthority&) = delete;

    const std::string& caFile() const { return caFile_; }
    const std::string& certificateFile() const { return certificateFile_; }
    const std::string& keyFile() const { return keyFile_; }

private:
    std::string folder_;
    std::string caFile_;
    std::string certificateFile_;
    std::string keyFile_;
};

struct UpdateTestRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers; // names lower-cased
};

// What a handler writes to; false once the client has gone.
class UpdateTestConnection {
public:
    virtual ~UpdateTestConnection() = default;
    virtual bool send(std::string_view bytes) = 0;
};

using UpdateTestHandler = std::function<void(const UpdateTestRequest&, UpdateTestConnection&)>;

using HeaderPairs = std::vector<std::pair<std::string, std::string>>;
// A status line and headers; with a body, the body after them. Nothing is
// added: a test that wants Content-Length puts it in the headers.
std::string httpHead(int status, const HeaderPairs& headers);

namespace reply {
// A body with its length announced (unless announceLength is false) and a type.
UpdateTestHandler body(int status, std::string contentType, std::string body,
                       bool announceLength = true);
UpdateTestHandler raw(std::string bytes);
} // namespace reply

class UpdateTestServer {
public:
    explicit UpdateTestServer(const UpdateTestAuthority& authority);
    ~UpdateTestServer();
    UpdateTestServer(const UpdateTestServer&) = delete;
    UpdateTestServer& operator=(const UpdateTestServer&) = delete;

    void on(const std::string& path, UpdateTestHandler handler);
    std::uint16_t port() const { return port_; }
    std::vector<UpdateTestRequest> requests() const;
    std::size_t requestsFor(const std::string& path) const;

private:
    void acceptLoop();
    void serve(int fd);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    void* context_ = nullptr; // SSL_CTX
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, UpdateTestHandler> handlers_;
    std::vector<UpdateTestRequest> requests_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace quorilanth::test
