#include "support/update/UpdateTestServer.h"

namespace quorilanth::test {

std::string httpHead(int status, const HeaderList& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    return head + "Connection: close\r\n\r\n";
}

Handler reply::body(int status, std::string contentType, std::string body, bool announceLength) {
    return [=](const ReceivedRequest&, ResponseWriter& out) {
        HeaderList headers;
        if (!contentType.empty()) headers.emplace_back("Content-Type", contentType);
        if (announceLength) headers.emplace_back("Content-Length", std::to_string(body.size()));
        out.send(httpHead(status, headers)) && out.send(body);
    };
}

} // namespace quorilanth::test
