#pragma once

// The update channel's tests and benchmark serve over the shared loopback
// HTTPS server, with a certificate for the real update host issued by a test
// authority, so a client that trusts that authority and is routed to
// 127.0.0.1 still checks the host name it would check in production.

#include "core/update/UpdateChannelConfiguration.h"
#include "support/LoopbackHTTPServer.h"
#include "support/TestCertificateAuthority.h"

#include <algorithm>

namespace quorilanth::test {

struct UpdateHostAuthority : TestCertificateAuthority {
    UpdateHostAuthority()
        : TestCertificateAuthority(std::string(UpdateChannelConfiguration::updateHost())) {}
};

// A status line and headers, closing the connection; a test that wants
// Content-Length puts it in the headers.
std::string httpHead(int status, const HeaderList& headers);

namespace reply {
// A body with its length announced (unless announceLength is false) and a type.
Handler body(int status, std::string contentType, std::string body, bool announceLength = true);
} // namespace reply

inline std::size_t requestsFor(const LoopbackHTTPServer& server, const std::string& path) {
    const auto requests = server.requests();
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                  [&](const auto& r) { return r.target == path; }));
}

} // namespace quorilanth::test
