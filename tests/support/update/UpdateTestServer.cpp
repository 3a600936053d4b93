#include "support/update/UpdateTestServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth::test {
namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test authority: failed: " + command);
}

std::string reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

UpdateTestAuthority::UpdateTestAuthority(const std::string& dnsName) {
    std::string pattern = (std::filesystem::temp_directory_path() / "ql-update-ca-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("test authority: no folder");
    folder_ = pattern;
    caFile_ = folder_ + "/ca.pem";
    certificateFile_ = folder_ + "/server.pem";
    keyFile_ = folder_ + "/server.key";
    const std::string f = folder_ + "/";
    std::ofstream(f + "server.ext") << "subjectAltName=DNS:" << dnsName
                                    << "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
    run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2"
        " -subj '/CN=Quorilanth Update Test CA' -keyout " +
        f + "ca.key -out " + caFile_ +
        " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign");
    run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=" + dnsName +
        "' -keyout " + keyFile_ + " -out " + f + "server.csr");
    run("openssl x509 -req -days 2 -in " + f + "server.csr -CA " + caFile_ + " -CAkey " + f +
        "ca.key -CAcreateserial -extfile " + f + "server.ext -out " + certificateFile_);
}

UpdateTestAuthority::~UpdateTestAuthority() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string httpHead(int status, const HeaderPairs& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    return head + "Connection: close\r\n\r\n";
}

UpdateTestHandler reply::body(int status, std::string contentType, std::string body,
                              bool announceLength) {
    return [=](const UpdateTestRequest&, UpdateTestConnection& connection) {
        HeaderPairs headers;
        if (!contentType.empty()) headers.emplace_back("Content-Type", contentType);
        if (announceLength) headers.emplace_back("Content-Length", std::to_string(body.size()));
        connection.send(httpHead(status, headers)) && connection.send(body);
    };
}

UpdateTestHandler reply::raw(std::string bytes) {
    return
        [=](const UpdateTestRequest&, UpdateTestConnection& connection) { connection.send(bytes); };
}

UpdateTestServer::UpdateTestServer(const UpdateTestAuthority& authority) {
    // A client that hangs up mid-body must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context ||
        SSL_CTX_use_certificate_file(context, authority.certificateFile().c_str(),
                                     SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, authority.keyFile().c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context);
        throw std::runtime_error("test server: certificate not usable");
    }
    context_ = context;
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test server: cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

UpdateTestServer::~UpdateTestServer() {
    stopping_ = true;
    acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        worker.join();
    ::close(listener_);
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

void UpdateTestServer::on(const std::string& path, UpdateTestHandler handler) {
    std::lock_guard lock(mutex_);
    handlers_[path] = std::move(handler);
}

std::vector<UpdateTestRequest> UpdateTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t UpdateTestServer::requestsFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                  [&](const auto& r) { return r.target == path; }));
}

void UpdateTestServer::acceptLoop() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) continue;
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

namespace {

class TLSConnection : public UpdateTestConnection {
public:
    explicit TLSConnection(SSL* ssl) : ssl_(ssl) {}
    bool send(std::string_view bytes) override {
        while (!bytes.empty()) {
            int written = SSL_write(ssl_, bytes.data(),
                                    static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
            if (written <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

private:
    SSL* ssl_;
};

} // namespace

void UpdateTestServer::serve(int fd) {
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(context_));
    SSL_set_fd(ssl, fd);
    std::string head;
    if (SSL_accept(ssl) == 1) {
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            int got = SSL_read(ssl, buffer, sizeof buffer);
            if (got <= 0) break;
            head.append(buffer, static_cast<std::size_t>(got));
        }
    }
    if (auto end = head.find("\r\n\r\n"); end != std::string::npos) {
        UpdateTestRequest request;
        std::string_view lines(head.data(), end);
        auto lineEnd = lines.find("\r\n");
        std::string_view first = lines.substr(0, lineEnd);
        request.method = std::string(first.substr(0, first.find(' ')));
        auto targetStart = first.find(' ') + 1;
        request.target = std::string(first.substr(targetStart, first.rfind(' ') - targetStart));
        while (lineEnd != std::string_view::npos) {
            lines.remove_prefix(lineEnd + 2);
            lineEnd = lines.find("\r\n");
            std::string_view line = lines.substr(0, lineEnd);
            auto colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            std::string name(line.substr(0, colon));
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ')
                value.remove_prefix(1);
            request.headers[name] = std::string(value);
        }
        UpdateTestHandler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            if (auto found = handlers_.find(request.target); found != handlers_.end())
                handler = found->second;
        }
        TLSConnection connection(ssl);
        if (handler)
            handler(request, connection);
        else
            connection.send(httpHead(404, {{"Content-Length", "0"}}));
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ::close(fd);
}

} // namespace quorilanth::test
