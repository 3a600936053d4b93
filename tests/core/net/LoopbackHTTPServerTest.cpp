// The fixtures other tests stand on: each scripted response must reach a real
// client exactly as intended, over plain HTTP and over TLS with the test CA.

#include "support/LoopbackHTTPServer.h"

#include "support/TestCertificateAuthority.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace quorilanth::test {
namespace {

// Runs the system's curl and returns what it wrote to standard output.
std::string curl(const std::string& arguments) {
    std::string output;
    FILE* pipe = ::popen(
        ("/usr/bin/curl --silent --noproxy '*' " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) return output;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    ::pclose(pipe);
    return output;
}

// The transport tests cover the other handlers; these are the ones they
// cannot tell apart from a fault of the transport.
TEST(LoopbackHTTPServer, ScriptedResponsesReachTheClient) {
    LoopbackHTTPServer server({"127.0.0.1", "127.0.0.2", "::1"});
    server.on("/text", respond::text(200, "hello", {{"Set-Cookie", "a=1"}, {"set-cookie", "b=2"}}));
    server.on("/chunked", respond::chunked(100000, 777));
    const struct {
        std::string arguments;
        std::string expected;
    } cases[] = {
        {server.url("/text", "127.0.0.2"), "hello"},
        {server.url("/text", "::1"), "hello"},
        {server.url("/chunked"), patternBody(100000)},
        {"-i " + server.url("/text") + " | grep -ci set-cookie", "2\n"},
        {server.url("/missing") + " -w '%{http_code}' -o /dev/null", "404"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(curl(c.arguments), c.expected) << c.arguments;
}

TEST(LoopbackHTTPServer, RecordsRequestsWithTheirBodyAndAddress) {
    LoopbackHTTPServer server({"127.0.0.1", "127.0.0.2"});
    curl("-X PUT -H 'X-One: 1' --data-binary 'payload' " + server.url("/put?q=1", "127.0.0.2"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_EQ(requests[0].target, "/put?q=1");
    EXPECT_EQ(requests[0].header("x-one"), "1");
    EXPECT_EQ(requests[0].body, "payload");
    EXPECT_EQ(requests[0].localAddress, "127.0.0.2");
}

TEST(LoopbackHTTPServer, ServesTLSWithACertificateOfTheTestCA) {
    TestCertificateAuthority ca;
    LoopbackHTTPServer server({"127.0.0.1", "::1"}, &ca);
    server.on("/", respond::text(200, "secure"));
    EXPECT_EQ(curl("--cacert " + ca.caFile() + " " + server.url("/")), "secure");
    EXPECT_EQ(curl("--cacert " + ca.caFile() + " " + server.url("/", "::1")), "secure");
    // Without the CA the certificate must not verify.
    EXPECT_EQ(curl(server.url("/")), "");
}

} // namespace
} // namespace quorilanth::test
