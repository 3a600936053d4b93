#include "ReverseProxy.h"

#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace quorilanth::test {

namespace {

struct Socket {
    int fd = -1;
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool hopByHop(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "host" || lower == "connection" || lower == "content-length" ||
           lower == "transfer-encoding" || lower == "keep-alive";
}

} // namespace

Handler reverseProxy(std::uint16_t port) {
    return [port](const ReceivedRequest& request, ResponseWriter& out) {
        Socket upstream{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (upstream.fd < 0 || ::connect(upstream.fd, reinterpret_cast<const sockaddr*>(&address),
                                         sizeof address) != 0) {
            out.respond(502, "upstream unreachable");
            return;
        }
        std::string head = request.method + " " + request.target +
                           " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
        for (const auto& [name, value] : request.headers) {
            if (!hopByHop(name)) head += name + ": " + value + "\r\n";
        }
        head += "Content-Length: " + std::to_string(request.body.size()) +
                "\r\nConnection: close\r\n\r\n";
        if (!sendAll(upstream.fd, head) || !sendAll(upstream.fd, request.body)) return;

        std::array<char, 16384> buffer{};
        for (;;) {
            pollfd ready{upstream.fd, POLLIN, 0};
            if (::poll(&ready, 1, 100) == 0) {
                if (out.stopping()) return;
                continue;
            }
            const ssize_t got = ::recv(upstream.fd, buffer.data(), buffer.size(), 0);
            if (got <= 0) return;
            if (!out.send(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return;
        }
    };
}

} // namespace quorilanth::test
