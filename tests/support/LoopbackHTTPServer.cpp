#include "support/LoopbackHTTPServer.h"

#include "support/TestCertificateAuthority.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth::test {
namespace {

// Requests of tests are small; anything larger is a broken client.
constexpr std::size_t maxHeadBytes = 1 << 20;
constexpr std::size_t maxBodyBytes = 64u << 20;
// Blocking calls wake this often to notice stop().
constexpr int socketTimeoutMS = 50;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(begin, end - begin + 1));
}

// Clients read only the code; the phrase is there for a person reading a capture.
std::string reasonFor(int status) {
    return status < 300 ? "OK" : status < 400 ? "Redirect" : "Error";
}

std::string headText(int status, const HeaderList& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonFor(status) + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "\r\n";
    return head;
}

std::string hex(std::size_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%zx", value);
    return buffer;
}

void appendPattern(std::string& out, std::uint64_t offset, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        out.push_back(static_cast<char>('a' + (offset + i) % 26));
}

// The transport of one accepted connection: a plain socket or TLS over it.
class Stream {
public:
    Stream(int fd, SSL* ssl, const std::atomic<bool>& stopping)
        : fd_(fd), ssl_(ssl), stopping_(stopping) {}

    bool handshake() {
        if (!ssl_) return true;
        for (;;) {
            int rc = SSL_accept(ssl_);
            if (rc == 1) return true;
            if (!retryable(rc)) return false;
        }
    }

    // Returns bytes read; 0 at end of stream, error or stop.
    std::size_t read(char* buffer, std::size_t size) {
        for (;;) {
            if (ssl_) {
                int rc = SSL_read(ssl_, buffer, static_cast<int>(size));
                if (rc > 0) return static_cast<std::size_t>(rc);
                if (!retryable(rc)) return 0;
            } else {
                ssize_t rc = ::recv(fd_, buffer, size, 0);
                if (rc > 0) return static_cast<std::size_t>(rc);
                if (rc == 0 || !(errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                    return 0;
                if (stopping_) return 0;
            }
        }
    }

    bool write(std::string_view bytes) {
        while (!bytes.empty()) {
            if (ssl_) {
                int rc = SSL_write(ssl_, bytes.data(),
                                   static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)));
                if (rc > 0) {
                    bytes.remove_prefix(static_cast<std::size_t>(rc));
                } else if (!retryable(rc)) {
                    return false;
                }
            } else {
                ssize_t rc = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                if (rc > 0) {
                    bytes.remove_prefix(static_cast<std::size_t>(rc));
                } else if (rc < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                    if (stopping_) return false;
                } else {
                    return false;
                }
            }
        }
        return true;
    }

private:
    bool retryable(int rc) {
        int error = SSL_get_error(ssl_, rc);
        ERR_clear_error();
        return (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) && !stopping_;
    }

    int fd_;
    SSL* ssl_;
    const std::atomic<bool>& stopping_;
};

class ConnectionWriter final : public ResponseWriter {
public:
    ConnectionWriter(Stream& stream, const std::atomic<bool>& stopping, int wakeFd)
        : stream_(stream), stopping_(stopping), wakeFd_(wakeFd) {}
    bool send(std::string_view bytes) override {
        if (broken_ || stopping_) return false;
        broken_ = !stream_.write(bytes);
        return !broken_;
    }
    bool pause(std::chrono::milliseconds duration) override {
        // The wake descriptor becomes readable on stop(), which ends the wait early.
        pollfd wake{wakeFd_, POLLIN, 0};
        ::poll(&wake, 1, static_cast<int>(duration.count()));
        return !stopping_;
    }
    bool stopping() const override { return stopping_; }

private:
    Stream& stream_;
    const std::atomic<bool>& stopping_;
    int wakeFd_;
    bool broken_ = false;
};

std::optional<ReceivedRequest> parseHead(std::string_view head) {
    ReceivedRequest request;
    std::size_t lineEnd = head.find("\r\n");
    std::string_view line = head.substr(0, lineEnd);
    std::size_t first = line.find(' ');
    std::size_t second = line.rfind(' ');
    if (first == std::string_view::npos || second == first) return std::nullopt;
    request.method = std::string(line.substr(0, first));
    request.target = std::string(line.substr(first + 1, second - first - 1));
    request.version = std::string(line.substr(second + 1));
    while (lineEnd != std::string_view::npos) {
        std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        std::string_view field =
            head.substr(start, lineEnd == std::string_view::npos ? head.npos : lineEnd - start);
        if (field.empty()) continue;
        std::size_t colon = field.find(':');
        if (colon == std::string_view::npos) continue;
        request.headers.emplace_back(std::string(field.substr(0, colon)),
                                     trim(field.substr(colon + 1)));
    }
    return request;
}

// SIGPIPE would kill the test executable when a client hangs up mid-write
// under TLS (OpenSSL writes with plain write()).
void ignoreBrokenPipes() {
    static const bool once = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)once;
}

} // namespace

std::string ReceivedRequest::path() const {
    return target.substr(0, target.find('?'));
}

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name)) return value;
    return std::nullopt;
}

std::vector<std::string> ReceivedRequest::headerValues(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name)) values.push_back(value);
    return values;
}

bool ResponseWriter::respond(int status, std::string_view body, const HeaderList& headers) {
    HeaderList all = headers;
    all.emplace_back("Content-Length", std::to_string(body.size()));
    all.emplace_back("Connection", "close");
    return send(headText(status, all)) && send(body);
}

bool ResponseWriter::sendHead(int status, const HeaderList& headers) {
    return send(headText(status, headers));
}

std::string patternBody(std::size_t length) {
    std::string body;
    body.reserve(length);
    appendPattern(body, 0, length);
    return body;
}

namespace respond {

Handler text(int status, std::string body, HeaderList headers) {
    return [status, body = std::move(body), headers = std::move(headers)](
               const ReceivedRequest&, ResponseWriter& out) { out.respond(status, body, headers); };
}

Handler redirect(int status, std::optional<std::string> location) {
    HeaderList headers;
    if (location) headers.emplace_back("Location", *location);
    return text(status, "", std::move(headers));
}

Handler raw(std::string bytes) {
    return [bytes = std::move(bytes)](const ReceivedRequest&, ResponseWriter& out) {
        out.send(bytes);
    };
}

Handler interimThen(int interimStatus, HeaderList interimHeaders, Handler final) {
    return [interimStatus, interimHeaders = std::move(interimHeaders),
            final = std::move(final)](const ReceivedRequest& request, ResponseWriter& out) {
        if (out.sendHead(interimStatus, interimHeaders)) final(request, out);
    };
}

Handler chunked(std::uint64_t totalBytes, std::size_t chunkBytes, HeaderList headers) {
    return [=](const ReceivedRequest&, ResponseWriter& out) {
        HeaderList all = headers;
        all.emplace_back("Transfer-Encoding", "chunked");
        all.emplace_back("Connection", "close");
        if (!out.sendHead(200, all)) return;
        std::string piece;
        for (std::uint64_t sent = 0; sent < totalBytes;) {
            std::size_t size =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, totalBytes - sent));
            piece = hex(size) + "\r\n";
            appendPattern(piece, sent, size);
            piece += "\r\n";
            if (!out.send(piece)) return;
            sent += size;
        }
        out.send("0\r\n\r\n");
    };
}

Handler endless(std::size_t chunkBytes) {
    return [chunkBytes](const ReceivedRequest&, ResponseWriter& out) {
        if (!out.sendHead(200, {{"Content-Type", "text/plain"}, {"Transfer-Encoding", "chunked"}}))
            return;
        std::string piece = hex(chunkBytes) + "\r\n";
        appendPattern(piece, 0, chunkBytes);
        piece += "\r\n";
        while (out.send(piece)) {
        }
    };
}

Handler trickle(std::uint64_t totalBytes, std::chrono::milliseconds interval,
                std::size_t stepBytes) {
    return [=](const ReceivedRequest&, ResponseWriter& out) {
        HeaderList headers{{"Content-Length", std::to_string(totalBytes)}, {"Connection", "close"}};
        if (!out.sendHead(200, headers)) return;
        std::string piece;
        for (std::uint64_t sent = 0; sent < totalBytes;) {
            std::size_t size =
                static_cast<std::size_t>(std::min<std::uint64_t>(stepBytes, totalBytes - sent));
            piece.clear();
            appendPattern(piece, sent, size);
            if (!out.send(piece) || !out.pause(interval)) return;
            sent += size;
        }
    };
}

} // namespace respond

LoopbackHTTPServer::LoopbackHTTPServer(std::vector<std::string> addresses,
                                       const TestCertificateAuthority* tls)
    : addresses_(std::move(addresses)), tls_(tls) {
    ignoreBrokenPipes();
    if (addresses_.empty()) throw std::invalid_argument("LoopbackHTTPServer needs an address");
    fallback_ = respond::text(404, "not found\n", {{"Content-Type", "text/plain"}});

    // Every address shares one port so that tests can change only the host
    // of a URL. Another process may hold that port on a later address; then
    // start over with a fresh one.
    for (int attempt = 0; attempt < 50 && listeners_.size() != addresses_.size(); ++attempt) {
        for (int fd : listeners_)
            ::close(fd);
        listeners_.clear();
        port_ = 0;
        for (const std::string& address : addresses_) {
            bool v6 = address.find(':') != std::string::npos;
            int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) throw std::runtime_error("socket failed");
            int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_storage storage{};
            socklen_t length = 0;
            if (v6) {
                ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
                auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
                in6->sin6_family = AF_INET6;
                in6->sin6_port = htons(port_);
                if (::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr) != 1)
                    throw std::invalid_argument("bad address " + address);
                length = sizeof *in6;
            } else {
                auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
                in4->sin_family = AF_INET;
                in4->sin_port = htons(port_);
                if (::inet_pton(AF_INET, address.c_str(), &in4->sin_addr) != 1)
                    throw std::invalid_argument("bad address " + address);
                length = sizeof *in4;
            }
            if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
                ::listen(fd, 64) != 0) {
                ::close(fd);
                break;
            }
            if (port_ == 0) {
                ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
                port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                 : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
            }
            listeners_.push_back(fd);
        }
    }
    if (listeners_.size() != addresses_.size())
        throw std::runtime_error("could not bind the loopback server");

    if (tls_) {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        BIO* certificate = BIO_new_mem_buf(tls_->serverCertificatePEM().data(),
                                           static_cast<int>(tls_->serverCertificatePEM().size()));
        BIO* key = BIO_new_mem_buf(tls_->serverKeyPEM().data(),
                                   static_cast<int>(tls_->serverKeyPEM().size()));
        X509* x509 = PEM_read_bio_X509(certificate, nullptr, nullptr, nullptr);
        EVP_PKEY* pkey = PEM_read_bio_PrivateKey(key, nullptr, nullptr, nullptr);
        bool ok = context && x509 && pkey && SSL_CTX_use_certificate(context, x509) == 1 &&
                  SSL_CTX_use_PrivateKey(context, pkey) == 1;
        X509_free(x509);
        EVP_PKEY_free(pkey);
        BIO_free(certificate);
        BIO_free(key);
        if (!ok) {
            SSL_CTX_free(context);
            throw std::runtime_error("TLS set-up of the loopback server failed");
        }
        SSL_CTX_set_mode(context,
                         SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
        sslContext_ = context;
    }

    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
    stop();
    for (int fd : listeners_)
        ::close(fd);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    SSL_CTX_free(static_cast<SSL_CTX*>(sslContext_));
}

void LoopbackHTTPServer::stop() {
    if (stopping_.exchange(true)) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers)
        worker.join();
}

void LoopbackHTTPServer::on(std::string path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[std::move(path)] = std::move(handler);
}

void LoopbackHTTPServer::otherwise(Handler handler) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(handler);
}

std::string LoopbackHTTPServer::origin(std::string_view address) const {
    std::string host(address.empty() ? std::string_view(addresses_.front()) : address);
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return std::string(tls() ? "https" : "http") + "://" + host + ":" + std::to_string(port_);
}

std::string LoopbackHTTPServer::url(std::string_view path, std::string_view address) const {
    return origin(address) + std::string(path);
}

std::vector<ReceivedRequest> LoopbackHTTPServer::requests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t LoopbackHTTPServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

Handler LoopbackHTTPServer::handlerFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto found = handlers_.find(path);
    return found != handlers_.end() ? found->second : fallback_;
}

void LoopbackHTTPServer::acceptLoop() {
    std::vector<pollfd> fds;
    for (int fd : listeners_)
        fds.push_back({fd, POLLIN, 0});
    fds.push_back({wakeFd_, POLLIN, 0});
    while (!stopping_) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int client = ::accept4(listeners_[i], nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(client);
                continue;
            }
            workers_.emplace_back(
                [this, client, address = addresses_[i]] { serve(client, address); });
        }
    }
}

void LoopbackHTTPServer::serve(int fd, std::string localAddress) {
    timeval timeout{0, socketTimeoutMS * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    SSL* ssl = nullptr;
    if (sslContext_) {
        ssl = SSL_new(static_cast<SSL_CTX*>(sslContext_));
        SSL_set_fd(ssl, fd);
    }
    Stream stream(fd, ssl, stopping_);

    [&] {
        if (!stream.handshake()) return;
        std::string buffer;
        char chunk[16384];
        std::size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (buffer.size() > maxHeadBytes) return;
            std::size_t n = stream.read(chunk, sizeof chunk);
            if (n == 0) return;
            buffer.append(chunk, n);
        }
        std::optional<ReceivedRequest> request =
            parseHead(std::string_view(buffer).substr(0, headEnd));
        if (!request) return;
        request->localAddress = localAddress;
        request->receivedAt = std::chrono::steady_clock::now();
        std::string rest = buffer.substr(headEnd + 4);
        std::size_t length = 0;
        if (auto contentLength = request->header("Content-Length")) {
            length = std::strtoull(contentLength->c_str(), nullptr, 10);
            if (length > maxBodyBytes) return;
        }
        auto expect = request->header("Expect");
        if (expect && equalsIgnoringCase(*expect, "100-continue") && rest.size() < length) {
            if (!stream.write("HTTP/1.1 100 Continue\r\n\r\n")) return;
        }
        while (rest.size() < length) {
            std::size_t n = stream.read(chunk, std::min(sizeof chunk, length - rest.size()));
            if (n == 0) return;
            rest.append(chunk, n);
        }
        request->body = rest.substr(0, length);
        {
            std::lock_guard lock(mutex_);
            received_.push_back(*request);
        }
        ConnectionWriter writer(stream, stopping_, wakeFd_);
        handlerFor(request->path())(*request, writer);
        if (ssl) SSL_shutdown(ssl);
    }();

    if (ssl) SSL_free(ssl);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

} // namespace quorilanth::test
