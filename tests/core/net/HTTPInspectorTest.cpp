// The transport against the real curl and real loopback servers.

#include "core/net/HTTPInspector.h"

#include "core/base/QuorilanthError.h"
#include "support/CurlWrapper.h"
#include "support/FakeResolver.h"
#include "support/LoopbackHTTPServer.h"
#include "support/ProcessHygiene.h"
#include "support/TestCertificateAuthority.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace quorilanth {
namespace {

using test::CurlWrapper;
using test::LoopbackHTTPServer;
namespace respond = test::respond;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const std::string kPrivate = "Blocked: DNS resolves to a private, local or reserved address (";

// Outside Developer Mode, with names looked up in the table.
NetworkPolicy publicPolicy(const std::map<std::string, std::string>& table) {
    auto resolver = std::make_shared<test::FakeResolver>();
    for (const auto& [host, address] : table)
        resolver->answer(host, {address});
    NetworkPolicy policy;
    policy.resolver = resolver;
    return policy;
}

// Loopback for every name, after a delay; once armed, each lookup also requests a stop.
struct StopOnLookup final : Resolver {
    ResolverAnswer resolve(const std::string&) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMS));
        if (armed) source.request_stop();
        return ResolverAnswer{true, "", {"127.0.0.1"}};
    }
    mutable std::stop_source source;
    std::atomic<bool> armed{false};
    std::atomic<int> delayMS{0};
};

class HTTPInspectorTest : public ::testing::Test {
protected:
    test::ProcessHygiene hygiene;
    test::TestCertificateAuthority ca;
    LoopbackHTTPServer server{{"127.0.0.1", "127.0.0.2"}};
    LoopbackHTTPServer secure{{"127.0.0.1", "::1"}, &ca};
    CurlWrapper trusting{{ca.caFile()}};
    HTTPInspector developer{NetworkPolicy(true)};
};

TEST_F(HTTPInspectorTest, CurlArgumentsEnvironmentAndDescriptors) {
    CurlWrapper silent({"", false});
    // The developer row also carries a body and limits of its own.
    const struct {
        std::string host, address, url;
        bool developer;
        std::string resolve, sent;
    } cases[] = {
        {"site.test", "93.184.215.14", "https://site.test", false,
         "--resolve|site.test:443:93.184.215.14|", "https://site.test/"},
        {"site.test", "93.184.215.14", "http://site.test:8080/rpc?b=c#frag", true,
         "--resolve|site.test:8080:93.184.215.14|", "http://site.test:8080/rpc?b=c"},
        {"v6.test", "2606:4700::1", "https://v6.test/", false,
         "--resolve|v6.test:443:[2606:4700::1]|", "https://v6.test/"},
        // Literals need no resolve entry; curl refuses one for an IPv6 literal.
        {"2606:4700::1", "2606:4700::1", "https://[2606:4700::1]/", false, "",
         "https://[2606:4700::1]/"},
    };
    for (const auto& c : cases) {
        NetworkPolicy policy = publicPolicy({{c.host, c.address}});
        std::optional<std::string> body;
        if (c.developer) {
            policy.developerMode = true;
            policy.timeout = 2.5;
            policy.maxBytes = 1234;
            body = "{}";
        }
        const HTTPResult result =
            HTTPInspector(policy, silent.path())
                .request(c.url, body ? "POST" : "GET", {{"Authorization", "Bearer s3cret"}}, body);
        ASSERT_EQ(result.exchanges.size(), 1u) << c.url;
        // The wrapper exits 7 without a word: the fallback text names the status.
        EXPECT_EQ(result.final().error, "HTTP transport failed (7).") << c.url;
        // The request reaches curl through in-memory files and the response
        // leaves it through pipes: neither argv nor the disk sees any of it.
        std::string args;
        const auto runs = silent.runs();
        for (const std::string& argument : runs.back())
            args += argument + "|";
        EXPECT_EQ(args,
                  "--disable|--silent|--show-error|--noproxy|*|--proto|" +
                      std::string(c.developer ? "=http,https|--connect-timeout|6|--max-time|"
                                                "2.5|--max-filesize|1234|"
                                              : "=https|--connect-timeout|6|--max-time|15.0|"
                                                "--max-filesize|2000000|") +
                      c.resolve + "--request|" + (body ? "POST" : "GET") + "|--user-agent|" +
                      std::string(HTTPInspector::userAgent) +
                      "|--dump-header|/dev/fd/3|--output|/dev/fd/4|--write-out|"
                      "%{http_code}\n%{remote_ip}\n%{ssl_verify_result}|--header|@/dev/fd/5|" +
                      (body ? "--data-binary|@/dev/fd/6|" : "") + "--url|" + c.sent + "|");
        EXPECT_EQ(silent.environments().back(), (Strings{"PATH=/usr/bin:/bin", "LC_ALL=C"}));
        const Strings fds = silent.descriptorTargets().back();
        ASSERT_EQ(fds.size(), 4u);
        EXPECT_TRUE(fds[0].starts_with("pipe:") && fds[1].starts_with("pipe:")) << c.url;
        EXPECT_EQ(fds[2], "/memfd:request-headers (deleted)");
        EXPECT_EQ(fds[3], body ? "/memfd:input (deleted)" : "");
    }
}

TEST_F(HTTPInspectorTest, SentAndRecordedHeaders) {
    using Text = std::optional<std::string>;
    // Header given, value the server receives under the name before any colon,
    // value recorded (nullopt: none).
    const std::tuple<const char*, const char*, Text, Text> cases[] = {
        {"AUTHORIZATION", "Bearer a", "Bearer a", "[REDACTED]"},
        {"x-Api-Key", "k", "k", "[REDACTED]"},
        {"Cookie", "c=1", "c=1", "[REDACTED]"},
        {"Mcp-Session-Id", "sid", "sid", "[REDACTED]"},
        {"X-Subscription-Token", "t", "t", "[REDACTED]"},
        {"X-API-\u212AEY", "kelvin", "kelvin", "[REDACTED]"},
        {"X-Empty", "", "", ""},
        {"X-Folded", "one\r\ntwo", std::nullopt, "one\r\ntwo"},
        {"Bad:Name", "v", std::nullopt, std::nullopt},
        // Only the exact key "Accept" suppresses the recorded default "*/*"; the
        // caller's lower-case accept replaces curl's own.
        {"accept", "text/html", "text/html", "text/html"},
    };
    server.on("/", respond::text(200, "ok"));
    HeaderFields headers;
    for (const auto& [name, value, received, recorded] : cases)
        headers[name] = value;
    const Evidence hop = developer.request(server.url("/"), "GET", headers, {}).final();
    const auto arrived = server.requests().at(0);
    for (const auto& [name, value, received, recorded] : cases) {
        const std::string_view sentName =
            std::string_view(name).substr(0, std::string_view(name).find(':'));
        EXPECT_EQ(arrived.headerValues(sentName), received ? Strings{*received} : Strings{})
            << name;
        const auto found = hop.requestHeaders.find(sentName);
        EXPECT_EQ(found == hop.requestHeaders.end() ? std::nullopt : Text(found->second), recorded)
            << name;
    }
    EXPECT_EQ(hop.requestHeaders.at("Accept"), "*/*");
    EXPECT_EQ(arrived.header("User-Agent"), std::string(HTTPInspector::userAgent));
    EXPECT_EQ(hop.requestHeaders.at("User-Agent"), HTTPInspector::userAgent);
    developer.request(server.url("/"), "GET", {{"Accept", ""}}, std::nullopt);
    EXPECT_EQ(server.requests().at(1).headerValues("Accept"), Strings{""})
        << "an empty value replaces curl's own header";
}

TEST_F(HTTPInspectorTest, RedirectsKeepOrDropMethodAndBody) {
    const std::tuple<int, std::string, std::string, bool> cases[] = {{303, "PUT", "GET", false},
                                                                     {307, "POST", "POST", true},
                                                                     {308, "POST", "POST", true},
                                                                     {301, "POST", "GET", false},
                                                                     {302, "PUT", "PUT", true}};
    server.on("/target", respond::text(200, "done"));
    for (const auto& [status, method, next, kept] : cases) {
        server.on("/start", respond::redirect(status, "/target"));
        const HTTPResult result =
            developer.request(server.url("/start"), method, {}, std::string("payload"));
        ASSERT_EQ(result.exchanges.size(), 2u) << status;
        EXPECT_EQ(result.exchanges[1].method, next) << status;
        EXPECT_EQ(result.exchanges[1].requestBody.value_or(""), kept ? "payload" : "") << status;
        const auto arrived = server.requests().back();
        EXPECT_EQ(arrived.method + arrived.body, next + (kept ? "payload" : "")) << status;
    }
}

TEST_F(HTTPInspectorTest, SecretHeadersStayWithTheirOrigin) {
    LoopbackHTTPServer otherPort;
    otherPort.on("/landing", respond::text(200, "other port"));
    server.on("/landing", respond::text(200, "landing"));
    const std::tuple<const char*, LoopbackHTTPServer*, std::string, bool> cases[] = {
        {"same origin", &server, server.url("/landing"), true},
        {"another host, same port", &server, server.url("/landing", "127.0.0.2"), false},
        {"same host, another port", &server, otherPort.url("/landing"), false},
        // Same host and port, scheme changed: the key must not go out in clear.
        {"https to http", &secure, "http://127.0.0.1:" + std::to_string(secure.port()) + "/x",
         false},
    };
    // The Kelvin sign lower-cases to "k", as in the transport's response header names.
    const Strings secrets{"Authorization",        "Cookie",         "X-API-Key",
                          "X-Subscription-Token", "MCP-Session-Id", "COO\u212AIE"};
    HeaderFields headers{{"X-Other", "o"}};
    for (const std::string& name : secrets)
        headers[name] = "s";
    HTTPInspector inspector(NetworkPolicy(true), trusting.path());
    for (const auto& [name, start, location, kept] : cases) {
        start->on("/start", respond::redirect(302, location));
        const HTTPResult result = inspector.request(start->url("/start"), "GET", headers, {});
        ASSERT_EQ(result.exchanges.size(), 2u) << name;
        EXPECT_EQ(result.final().url, location) << name;
        Strings recorded;
        for (const auto& [header, value] : result.final().requestHeaders)
            if (header != "User-Agent" && header != "Accept") recorded.push_back(header);
        Strings expected = kept ? secrets : Strings{};
        expected.push_back("X-Other");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(recorded, expected) << name;
    }
    // What the other host really received.
    EXPECT_FALSE(otherPort.requests().at(0).header("Authorization"));
    EXPECT_EQ(server.requests().at(1).header("Authorization"), "s");
}

// A refusal, of the first hop or of a redirect, is recorded rather than thrown.
TEST_F(HTTPInspectorTest, RefusalsAndRedirectEndings) {
    server.on("/loop", respond::redirect(302, "/loop"));
    server.on("/nowhere", respond::redirect(301, std::nullopt));
    server.on("/ftp", respond::redirect(301, "ftp://127.0.0.1/file"));
    server.on("/spaces", respond::redirect(302, "/has space"));
    server.on("/empty", respond::redirect(302, " "));
    const std::string port = std::to_string(secure.port());
    secure.on("/", respond::redirect(302, "https://intranet.test:" + port + "/"));
    // Outside Developer Mode "localhost" is vetted as a public address, and
    // then served from loopback.
    CurlWrapper pinning({ca.caFile(), true, true});
    const NetworkPolicy vetted = publicPolicy({{"localhost", "93.184.215.14"},
                                               {"intranet.test", "192.168.1.20"},
                                               {"private.test", "10.1.2.3"}});
    // Developer Mode, URL, records, the last one's status and error.
    const std::tuple<bool, std::string, std::size_t, std::optional<std::int64_t>,
                     std::optional<std::string>>
        cases[] = {
            {true, server.url("/loop"), 6, 302, "Redirect limit reached."},
            {true, server.url("/nowhere"), 1, 301, std::nullopt},
            {true, server.url("/ftp"), 1, 301,
             "Blocked: malformed URL or unsafe URL scheme/credentials."},
            {true, server.url("/spaces"), 1, 302, "Invalid redirect location."},
            {true, server.url("/empty"), 1, 302, "Invalid redirect location."},
            {false, server.url("/"), 1, std::nullopt,
             "Blocked: plain HTTP requires Developer Mode."},
            {false, "https://private.test/", 1, std::nullopt, kPrivate + "10.1.2.3)."},
            {false, "https://unknown.test/", 1, std::nullopt,
             "DNS resolution failed: Name or service not known"},
            {false, "https://localhost:" + port + "/", 2, std::nullopt,
             kPrivate + "192.168.1.20)."},
        };
    for (const auto& [developerMode, url, records, status, error] : cases) {
        const HTTPResult result =
            HTTPInspector(developerMode ? NetworkPolicy(true) : vetted, pinning.path()).get(url);
        EXPECT_EQ(result.exchanges.size(), records) << url;
        EXPECT_EQ(result.final().statusCode, status) << url;
        EXPECT_EQ(result.final().error, error) << url;
        EXPECT_EQ(result.exchanges.front().url, url);
        EXPECT_EQ(result.final().requestHeaders.at("User-Agent"), HTTPInspector::userAgent);
    }
    EXPECT_EQ(server.requestCount(), 6u + 4u) << "refused hops never reach the server";
    EXPECT_EQ(secure.requestCount(), 1u);
}

// One hop, cut by the body limit, the time limit or a failure, and what of
// it is kept.
TEST_F(HTTPInspectorTest, LimitsAndFailuresOfOneHop) {
    constexpr std::int64_t limit = 1000;
    server.on("/exact", respond::text(200, test::patternBody(limit)));
    server.on("/over", respond::text(200, test::patternBody(limit + 1)));
    server.on("/chunked-exact", respond::chunked(limit, 7));
    server.on("/chunked-over", respond::chunked(limit + 1, 7));
    server.on("/endless", respond::chunked());
    server.on("/trickle", respond::trickle(limit, 50ms));
    secure.on("/", respond::text(200, test::patternBody(10)));
    // Headers that never end are cut too, and the hop fails instead of hanging.
    server.on("/endless-headers", [](const test::ReceivedRequest&, test::ResponseWriter& out) {
        for (bool open = out.send("HTTP/1.1 200 OK\r\n"); open;)
            open = out.send("X-Filler: " + test::patternBody(1000) + "\r\n");
    });
    // A child that outlives its time limit is stopped, and the hop is a time-out.
    CurlWrapper stuck({"", false, false, true}), insecure({"", true, false, false, 0, true});
    const std::string curl = "/usr/bin/curl", cut = "curl: (63) Maximum file size exceeded";
    const std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHTTPServer().port());
    // Curl, URL, status, error (none when empty), body bytes kept (-1: some).
    const std::tuple<std::string, std::string, std::optional<std::int64_t>, std::string, int>
        cases[] = {
            {curl, server.url("/exact"), 200, "", limit},
            // An announced length over the limit stops curl before any body byte.
            {curl, server.url("/over"), 200, cut, 0},
            {curl, server.url("/chunked-exact"), 200, "", limit},
            {curl, server.url("/chunked-over"), 200, cut, limit},
            {curl, server.url("/endless"), 200, cut, limit},
            {curl, server.url("/trickle"), 200, "curl: (28) Operation timed out", -1},
            {curl, server.url("/endless-headers"), 200, "curl: (56) Too large response headers", 0},
            {curl, closed + "/", std::nullopt, "curl: (7) Failed to connect to 127.0.0.1", 0},
            {stuck.path(), server.url("/"), std::nullopt, "curl: (28) Operation timed out after",
             0},
            {"/nonexistent/curl", server.url("/"), std::nullopt, "No such file", 0},
            // The test authority is trusted only when told, over IPv6 too (an
            // address without a resolve entry, which curl would refuse).
            {trusting.path(), secure.url("/"), 200, "", 10},
            {trusting.path(), secure.url("/", "::1"), 200, "", 10},
            {curl, secure.url("/"), std::nullopt, "curl: (60) SSL certificate problem", 0},
            // Fetched without checking the certificate is not verified.
            {insecure.path(), secure.url("/"), 200, "", 10},
        };
    NetworkPolicy policy(true);
    policy.timeout = 0.5;
    policy.maxBytes = limit;
    for (const auto& [program, url, status, error, bytes] : cases) {
        const HTTPResult result = HTTPInspector(policy, program).get(url);
        ASSERT_EQ(result.exchanges.size(), 1u) << url;
        const Evidence& hop = result.final();
        EXPECT_EQ(hop.statusCode, status) << url;
        EXPECT_EQ(hop.error.has_value(), !error.empty()) << url;
        EXPECT_NE(hop.error.value_or("").find(error), std::string::npos) << hop.error.value_or("");
        EXPECT_EQ(hop.truncated, error == cut) << url;
        const std::string body = hop.responseBody.str();
        EXPECT_EQ(body, test::patternBody(bytes < 0 ? body.size() : bytes)) << url;
        EXPECT_NE(body.empty(), bytes != 0) << url;
        if (status) {
            EXPECT_EQ(hop.remoteIP, url.find("[::1]") != std::string::npos ? "::1" : "127.0.0.1");
        }
        EXPECT_EQ(hop.tlsVerified, url.starts_with("https") && status && program != insecure.path())
            << url;
    }
}

TEST_F(HTTPInspectorTest, HopsOfOneTransportArePacedAndTimedWhole) {
    server.on("/", respond::text(200, "ok"));
    auto resolver = std::make_shared<StopOnLookup>();
    NetworkPolicy policy(true);
    policy.resolver = resolver;
    HTTPInspector inspector(policy);
    // A hop's duration runs from before its name lookup and its pause: first a
    // slow lookup on an idle transport, then a hop right behind it that has to
    // wait for its turn. The bounds hold however slowly a loaded machine runs.
    resolver->delayMS = 80;
    const auto before = std::chrono::steady_clock::now();
    const double lookedUpMS = inspector.get(server.url("/")).final().durationMS;
    const double firstCallMS =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before)
            .count();
    EXPECT_GE(lookedUpMS, 80);
    EXPECT_LE(lookedUpMS, firstCallMS);
    resolver->delayMS = 0;
    // The second hop starts no sooner than the interval after the first, which
    // itself started after the 80 ms lookup.
    EXPECT_GE(firstCallMS + inspector.get(server.url("/")).final().durationMS, 195);
    // Started together from several threads, the hops still line up behind
    // those two, each its interval after the one before.
    std::vector<std::jthread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([&] { inspector.get(server.url("/")); });
    callers.clear();
    std::vector<std::chrono::steady_clock::time_point> starts;
    for (const auto& request : server.requests())
        starts.push_back(request.receivedAt);
    ASSERT_EQ(starts.size(), 5u);
    std::sort(starts.begin(), starts.end());
    // The server sees a hop when curl has started, which takes longer on some
    // children than on others: each gap may shrink by that, the four together
    // only by the difference between the first child and the last.
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 50ms) << i;
    EXPECT_GE(starts.back() - starts.front(), 420ms);
}

TEST_F(HTTPInspectorTest, Cancellation) {
    server.on("/slow", respond::trickle(100000, 100ms));
    server.on("/", respond::text(200, "ok"));
    // Before the first hop.
    std::stop_source early;
    early.request_stop();
    EXPECT_EQ(developer.get(server.url("/"), early.get_token()).final().error, Cancelled().what());

    // During the pause between hops: the stop comes from the name lookup that
    // just precedes the pause, so no timing decides where it lands.
    auto resolver = std::make_shared<StopOnLookup>();
    NetworkPolicy stopping(true);
    stopping.resolver = resolver;
    HTTPInspector pausing(stopping);
    pausing.get(server.url("/"));
    resolver->armed = true;
    const Evidence paced = pausing.get(server.url("/"), resolver->source.get_token()).final();
    EXPECT_EQ(paced.error, Cancelled().what());
    EXPECT_FALSE(paced.statusCode);
    EXPECT_EQ(server.requestCount(), 1u);

    // While curl runs: the child goes at once, not at the time limit.
    std::stop_source running;
    std::chrono::steady_clock::time_point stopped;
    std::jthread watcher([&] {
        while (server.requestCount() < 2)
            std::this_thread::sleep_for(5ms);
        stopped = std::chrono::steady_clock::now();
        running.request_stop();
    });
    const Evidence cut = developer.get(server.url("/slow"), running.get_token()).final();
    const auto latency = std::chrono::steady_clock::now() - stopped;
    watcher.join();
    EXPECT_EQ(cut.error, Cancelled().what());
    EXPECT_FALSE(cut.statusCode);
    // A hang check, not a speed goal: the trickle would last minutes.
    EXPECT_LT(latency, 5s);
}

} // namespace
} // namespace quorilanth
