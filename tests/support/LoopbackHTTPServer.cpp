#include "support/LoopbackHTTPServer.h"

#include "core/base/AsciiText.h"
#include "support/TestCertificateAuthority.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth::test {
namespace {

// Clients read only the code; the phrase is for a person reading a capture.
std::string head(int status, const HeaderList& headers) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + (status < 400 ? " OK" : " Error");
    for (const auto& [name, value] : headers)
        text += "\r\n" + name + ": " + value;
    return text + "\r\n\r\n";
}

// One accepted connection, plain or TLS, read and written through one BIO
// chain. Its socket calls time out every 50 ms, so that a stop is noticed.
class Connection final : public ResponseWriter {
public:
    Connection(int fd, void* tls, const std::atomic<bool>& stopping, int wakeFd)
        : fd_(fd), bio_(BIO_new_socket(fd, BIO_CLOSE)), stopping_(stopping), wakeFd_(wakeFd) {
        timeval timeout{0, 50000};
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (tls) bio_ = BIO_push(BIO_new_ssl(static_cast<SSL_CTX*>(tls), 0), bio_);
    }
    ~Connection() {
        BIO_ssl_shutdown(bio_);
        ::shutdown(fd_, SHUT_RDWR);
        BIO_free_all(bio_);
    }

    bool handshake() {
        while (BIO_method_type(bio_) == BIO_TYPE_SSL && BIO_do_handshake(bio_) != 1)
            if (!again()) return false;
        return true;
    }
    // Bytes read; 0 at the end of the stream, on an error or a stop.
    std::size_t read(char* data, std::size_t size) {
        for (int n;;)
            if ((n = BIO_read(bio_, data, static_cast<int>(size))) > 0 || !again())
                return static_cast<std::size_t>(std::max(n, 0));
    }
    bool send(std::string_view bytes) override {
        while (!broken_ && !bytes.empty()) {
            const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
            const int n = BIO_write(bio_, bytes.data(), size);
            if (n > 0)
                bytes.remove_prefix(static_cast<std::size_t>(n));
            else
                broken_ = !again();
        }
        return !broken_ && !stopping_;
    }
    bool pause(std::chrono::milliseconds duration) override {
        // The wake descriptor turns readable when the server stops.
        pollfd wake{wakeFd_, POLLIN, 0};
        ::poll(&wake, 1, static_cast<int>(duration.count()));
        return !stopping_;
    }
    bool stopping() const override { return stopping_; }

private:
    // Whether a call that moved nothing only timed out, and the server still runs.
    bool again() const {
        ERR_clear_error();
        return BIO_should_retry(bio_) && !stopping_;
    }

    int fd_;
    BIO* bio_;
    const std::atomic<bool>& stopping_;
    int wakeFd_;
    bool broken_ = false;
};

} // namespace

std::vector<std::string> ReceivedRequest::headerValues(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : headers)
        if (equalsIgnoringASCIICase(key, name)) values.push_back(value);
    return values;
}

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
    const auto values = headerValues(name);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

bool ResponseWriter::respond(int status, std::string_view body, const HeaderList& headers) {
    HeaderList all = headers;
    all.insert(all.end(),
               {{"Content-Length", std::to_string(body.size())}, {"Connection", "close"}});
    return send(head(status, all)) && send(body);
}

std::string patternBody(std::size_t length, std::uint64_t offset) {
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>('a' + (offset + i) % 26);
    return out;
}

namespace respond {

Handler text(int status, std::string body, HeaderList headers) {
    return [=](const ReceivedRequest&, ResponseWriter& out) { out.respond(status, body, headers); };
}

Handler redirect(int status, std::optional<std::string> location) {
    return text(status, "", location ? HeaderList{{"Location", *location}} : HeaderList{});
}

Handler raw(std::string bytes) {
    return [=](const ReceivedRequest&, ResponseWriter& out) { out.send(bytes); };
}

Handler chunked(std::uint64_t totalBytes, std::size_t chunkBytes) {
    return [=](const ReceivedRequest&, ResponseWriter& out) {
        bool open =
            out.send(head(200, {{"Transfer-Encoding", "chunked"}, {"Connection", "close"}}));
        for (std::uint64_t sent = 0; open && sent < totalBytes; sent += chunkBytes) {
            const auto size =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, totalBytes - sent));
            char length[20];
            std::snprintf(length, sizeof length, "%zx\r\n", size);
            open = out.send(length + patternBody(size, sent) + "\r\n");
        }
        if (open) out.send("0\r\n\r\n");
    };
}

Handler trickle(std::uint64_t totalBytes, std::chrono::milliseconds interval,
                std::size_t stepBytes) {
    return [=](const ReceivedRequest&, ResponseWriter& out) {
        bool open = out.send(
            head(200, {{"Content-Length", std::to_string(totalBytes)}, {"Connection", "close"}}));
        for (std::uint64_t sent = 0; open && sent < totalBytes; sent += stepBytes)
            open = out.send(
                       patternBody(std::min<std::uint64_t>(stepBytes, totalBytes - sent), sent)) &&
                   out.pause(interval);
    };
}

} // namespace respond

LoopbackHTTPServer::LoopbackHTTPServer(std::vector<std::string> addresses,
                                       const TestCertificateAuthority* tls)
    : addresses_(std::move(addresses)), fallback_(respond::text(404, "not found\n")) {
    // A client that hangs up while OpenSSL writes would raise SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // Every address shares one port, so that a test can change only the host of
    // a URL. Another process may hold that port on a later address: then start
    // over with a fresh one.
    for (int attempt = 0; attempt < 50 && listeners_.size() != addresses_.size(); ++attempt) {
        for (int fd : listeners_)
            ::close(fd);
        listeners_.clear();
        port_ = 0;
        for (const std::string& address : addresses_) {
            sockaddr_in6 v6{};
            sockaddr_in v4{};
            v6.sin6_family = AF_INET6;
            v4.sin_family = AF_INET;
            v6.sin6_port = v4.sin_port = htons(port_);
            const bool six = ::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1;
            if (!six && ::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) != 1)
                throw std::invalid_argument("not an address: " + address);
            auto* bound = six ? reinterpret_cast<sockaddr*>(&v6) : reinterpret_cast<sockaddr*>(&v4);
            socklen_t size = six ? sizeof v6 : sizeof v4;
            const int fd =
                ::socket(bound->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            if (six) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            if (::bind(fd, bound, size) != 0 || ::listen(fd, 64) != 0) {
                ::close(fd);
                break;
            }
            ::getsockname(fd, bound, &size);
            port_ = ntohs(six ? v6.sin6_port : v4.sin_port);
            listeners_.push_back(fd);
        }
    }
    if (listeners_.size() != addresses_.size())
        throw std::runtime_error("could not bind the loopback server");
    if (tls) {
        tls_ = SSL_CTX_new(TLS_server_method());
        auto* context = static_cast<SSL_CTX*>(tls_);
        if (SSL_CTX_use_certificate_file(context, tls->certificateFile().c_str(),
                                         SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, tls->keyFile().c_str(), SSL_FILETYPE_PEM) != 1)
            throw std::runtime_error("TLS set-up of the loopback server failed");
        SSL_CTX_set_mode(context,
                         SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    acceptor_ = std::thread([this] {
        std::vector<pollfd> ready;
        for (int fd : listeners_)
            ready.push_back({fd, POLLIN, 0});
        ready.push_back({wakeFd_, POLLIN, 0});
        while (!stopping_ && (::poll(ready.data(), ready.size(), -1) >= 0 || errno == EINTR)) {
            for (std::size_t i = 0; i < listeners_.size(); ++i) {
                const int client = ::accept4(listeners_[i], nullptr, nullptr, SOCK_CLOEXEC);
                std::lock_guard lock(mutex_);
                if (client >= 0)
                    workers_.emplace_back([this, client, i] { serve(client, addresses_[i]); });
            }
        }
    });
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    acceptor_.join();
    for (std::thread& worker : workers_)
        worker.join();
    for (int fd : listeners_)
        ::close(fd);
    ::close(wakeFd_);
    SSL_CTX_free(static_cast<SSL_CTX*>(tls_));
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
    std::string host(address.empty() ? addresses_.front() : address);
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return (tls_ ? "https://" : "http://") + host + ":" + std::to_string(port_);
}

std::vector<ReceivedRequest> LoopbackHTTPServer::requests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void LoopbackHTTPServer::serve(int fd, std::string localAddress) {
    Connection connection(fd, tls_, stopping_, wakeFd_);
    std::string buffer;
    char chunk[16384];
    std::size_t end;
    if (!connection.handshake()) return;
    // Requests of tests are small; a longer head is a broken client.
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        const std::size_t n = buffer.size() < (1 << 20) ? connection.read(chunk, sizeof chunk) : 0;
        if (n == 0) return;
        buffer.append(chunk, n);
    }
    ReceivedRequest request;
    request.localAddress = std::move(localAddress);
    request.receivedAt = std::chrono::steady_clock::now();
    std::size_t lineEnd = buffer.find("\r\n");
    const std::string line = buffer.substr(0, lineEnd);
    const std::size_t first = line.find(' '), last = line.rfind(' ');
    if (first == last) return;
    request.method = line.substr(0, first);
    request.target = line.substr(first + 1, last - first - 1);
    for (std::size_t start; lineEnd < end; lineEnd = buffer.find("\r\n", start)) {
        start = lineEnd + 2;
        const std::string field = buffer.substr(start, buffer.find("\r\n", start) - start);
        const std::size_t colon = field.find(':');
        if (colon == std::string::npos) continue;
        std::string value = field.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        request.headers.emplace_back(field.substr(0, colon), std::move(value));
    }
    request.body = buffer.substr(end + 4);
    const std::size_t length =
        std::strtoull(request.header("Content-Length").value_or("0").c_str(), nullptr, 10);
    if (length > (64u << 20)) return;
    // curl waits a second for this before it sends a larger body anyway.
    if (request.body.size() < length && request.header("Expect"))
        connection.send("HTTP/1.1 100 Continue\r\n\r\n");
    while (request.body.size() < length) {
        const std::size_t n =
            connection.read(chunk, std::min(sizeof chunk, length - request.body.size()));
        if (n == 0) return;
        request.body.append(chunk, n);
    }
    request.body.resize(length);
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        received_.push_back(request);
        const auto found = handlers_.find(request.path());
        handler = found != handlers_.end() ? found->second : fallback_;
    }
    handler(request, connection);
}

} // namespace quorilanth::test
