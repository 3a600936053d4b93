// The transport against the real curl and real loopback servers.

#include "core/net/HTTPInspector.h"

#include "core/base/QuorilanthError.h"
#include "support/CurlWrapper.h"
#include "support/FakeResolver.h"
#include "support/LoopbackHTTPServer.h"
#include "support/ProcessHygiene.h"
#include "support/TestCertificateAuthority.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace quorilanth {
namespace {

using test::CurlWrapper;
using test::HeaderList;
using test::LoopbackHTTPServer;
namespace respond = test::respond;
using namespace std::chrono_literals;

NetworkPolicy developerPolicy() {
    return NetworkPolicy(true);
}

NetworkPolicy publicPolicy(const std::map<std::string, std::string>& table) {
    auto resolver = std::make_shared<test::FakeResolver>();
    for (const auto& [host, address] : table)
        resolver->answer(host, {address});
    NetworkPolicy policy;
    policy.resolver = resolver;
    return policy;
}

// A port on which nothing listens (bound, then released).
std::uint16_t closedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// CTest runs test processes side by side, and other components' tests make
// temporary folders of their own; each process of this file looks only at a
// temporary folder of its own, so those cannot be taken for leftovers of ours.
// A plain array, so the exit handler never sees a destroyed string.
char privateTemporaryFolder[4096];
const bool usesPrivateTemporaryFolder = [] {
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "ql-http-XXXXXX").string();
    if (pattern.size() >= sizeof privateTemporaryFolder) return false;
    std::memcpy(privateTemporaryFolder, pattern.c_str(), pattern.size() + 1);
    if (::mkdtemp(privateTemporaryFolder) == nullptr) return false;
    ::setenv("TMPDIR", privateTemporaryFolder, 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(privateTemporaryFolder, ignored);
    });
    return true;
}();

// Every test must leave no descriptor, work folder or unreaped child behind.
class Hygiene {
public:
    ~Hygiene() {
        EXPECT_EQ(test::openDescriptors(), descriptors_);
        for (const std::string& folder : test::workFolders())
            EXPECT_TRUE(folders_.count(folder)) << folder;
        EXPECT_FALSE(test::hasZombieChildren());
    }

private:
    std::set<int> descriptors_ = test::openDescriptors();
    // Other programs on the machine may hold folders of their own.
    std::set<std::string> folders_ = [] {
        auto names = test::workFolders();
        return std::set<std::string>(names.begin(), names.end());
    }();
};

// Loopback for every name, after a delay; once armed, each lookup also
// requests a stop.
class StopOnLookup final : public Resolver {
public:
    explicit StopOnLookup(std::stop_source& source) : source_(source) {}
    ResolverAnswer resolve(const std::string&) const override {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMS));
        if (armed) source_.request_stop();
        return ResolverAnswer{true, "", {"127.0.0.1"}};
    }
    std::atomic<bool> armed{false};
    std::atomic<int> delayMS{0};

private:
    std::stop_source& source_;
};

class HTTPInspectorTest : public ::testing::Test {
protected:
    Hygiene hygiene;
    LoopbackHTTPServer server{{"127.0.0.1", "127.0.0.2"}};
};

TEST_F(HTTPInspectorTest, ArgumentListAndRequestDescriptors) {
    CurlWrapper wrapper({"", false, false});
    // The developer row also carries a body and limits of its own.
    const struct {
        const char* host;
        const char* address;
        std::string url;
        bool developer;
        std::optional<std::string> resolve;
        std::string sent;
    } cases[] = {
        {"site.test", "93.184.215.14", "https://site.test", false, "site.test:443:93.184.215.14",
         "https://site.test/"},
        {"site.test", "93.184.215.14", "http://site.test:8080/rpc?b=c#frag", true,
         "site.test:8080:93.184.215.14", "http://site.test:8080/rpc?b=c"},
        {"v6.test", "2606:4700::1", "https://v6.test/", false, "v6.test:443:[2606:4700::1]",
         "https://v6.test/"},
        // Literals need no resolve entry; curl refuses one for an IPv6 literal.
        {"2606:4700::1", "2606:4700::1", "https://[2606:4700::1]/", false, std::nullopt,
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
        HTTPInspector inspector(policy, wrapper.path());
        HTTPResult result = inspector.request(c.url, body ? "POST" : "GET",
                                              {{"Authorization", "Bearer s3cret"}}, body);
        const std::string& name = c.url;
        ASSERT_EQ(result.exchanges.size(), 1u) << name;
        // The wrapper exits 7 without a word: the fallback text names the status.
        EXPECT_EQ(result.final().error, "HTTP transport failed (7).") << name;
        // The request reaches curl through in-memory files and the response
        // leaves it through pipes: neither argv nor the disk sees any of it.
        // Arguments joined with "|" (none holds one) for a compact comparison.
        const std::string expected =
            std::string("--disable|--silent|--show-error|--noproxy|*|--proto|") +
            (c.developer ? "=http,https|--connect-timeout|6|--max-time|2.5|--max-filesize|1234|"
                         : "=https|--connect-timeout|6|--max-time|15.0|--max-filesize|2000000|") +
            (c.resolve ? "--resolve|" + *c.resolve + "|" : "") + "--request|" +
            (body ? "POST" : "GET") + "|--user-agent|" + std::string(HTTPInspector::userAgent) +
            "|--dump-header|/dev/fd/3|--output|/dev/fd/4|--write-out|"
            "%{http_code}\n%{remote_ip}\n%{ssl_verify_result}|--header|@/dev/fd/5|" +
            (body ? "--data-binary|@/dev/fd/6|" : "") + "--url|" + c.sent;
        const auto runs = wrapper.runs();
        ASSERT_FALSE(runs.empty());
        std::string args;
        for (const std::string& argument : runs.back())
            args += (args.empty() ? "" : "|") + argument;
        EXPECT_EQ(args, expected) << name;
        EXPECT_EQ(wrapper.environments().back(),
                  (std::vector<std::string>{"PATH=/usr/bin:/bin", "LC_ALL=C"}))
            << name;
        std::vector<std::string> fds = wrapper.descriptorTargets().back();
        ASSERT_EQ(fds.size(), 4u);
        EXPECT_TRUE(fds[0].starts_with("pipe:") && fds[1].starts_with("pipe:")) << name;
        EXPECT_EQ(fds[2], "/memfd:request-headers (deleted)") << name;
        EXPECT_EQ(fds[3], body ? "/memfd:input (deleted)" : "") << name;
    }
}

TEST_F(HTTPInspectorTest, SentAndRecordedHeaders) {
    server.on("/", respond::text(200, "ok"));
    HTTPInspector inspector(developerPolicy());
    const HeaderFields headers{{"AUTHORIZATION", "Bearer a"},
                               {"x-Api-Key", "k"},
                               {"Cookie", "c=1"},
                               {"Mcp-Session-Id", "sid"},
                               {"X-Subscription-Token", "t"},
                               {"X-API-\u212AEY", "kelvin"},
                               {"accept", "text/html"},
                               {"X-Empty", ""},
                               {"X-Folded", "one\r\ntwo"},
                               {"Bad:Name", "v"}};
    const Evidence hop = inspector.request(server.url("/"), "GET", headers, std::nullopt).final();
    EXPECT_EQ(hop.statusCode, 200);
    const struct {
        const char* name;
        std::optional<std::string> sent;     // nullopt: not sent at all
        std::optional<std::string> recorded; // nullopt: not recorded
    } expectations[] = {
        {"AUTHORIZATION", "Bearer a", "[REDACTED]"},
        {"x-Api-Key", "k", "[REDACTED]"},
        {"Cookie", "c=1", "[REDACTED]"},
        {"Mcp-Session-Id", "sid", "[REDACTED]"},
        {"X-Subscription-Token", "t", "[REDACTED]"},
        {"X-API-\u212AEY", "kelvin", "[REDACTED]"},
        {"X-Empty", "", ""},
        {"X-Folded", std::nullopt, "one\r\ntwo"},
        {"Bad", std::nullopt, std::nullopt},
    };
    auto received = server.requests().at(0);
    for (const auto& e : expectations) {
        EXPECT_EQ(received.header(e.name), e.sent) << e.name;
        auto recorded = hop.requestHeaders.find(e.name);
        EXPECT_EQ(recorded == hop.requestHeaders.end() ? std::nullopt
                                                       : std::optional(recorded->second),
                  e.recorded)
            << e.name;
    }
    // Only the exact key "Accept" suppresses the recorded default; curl's own
    // user agent goes out, the caller's lower-case accept replaces curl's.
    EXPECT_EQ(hop.requestHeaders.at("Accept"), "*/*");
    EXPECT_EQ(received.header("User-Agent"), std::string(HTTPInspector::userAgent));
    EXPECT_EQ(received.headerValues("Accept"), std::vector<std::string>{"text/html"});

    inspector.request(server.url("/"), "GET", {{"Accept", ""}}, std::nullopt);
    EXPECT_EQ(server.requests().at(1).headerValues("Accept"), std::vector<std::string>{""})
        << "an empty value replaces curl's own header";
}

TEST_F(HTTPInspectorTest, RedirectMethodTable) {
    const struct {
        int status;
        std::string method;
        std::string nextMethod;
        bool bodyKept;
    } cases[] = {{303, "PUT", "GET", false},
                 {307, "POST", "POST", true},
                 {308, "POST", "POST", true},
                 {301, "POST", "GET", false},
                 {302, "PUT", "PUT", true}};
    server.on("/target", respond::text(200, "done"));
    HTTPInspector inspector(developerPolicy());
    for (const auto& c : cases) {
        server.on("/start", respond::redirect(c.status, "/target"));
        std::size_t before = server.requestCount();
        HTTPResult result =
            inspector.request(server.url("/start"), c.method, {}, std::string("payload"));
        std::string label = std::to_string(c.status) + " after " + c.method;
        ASSERT_EQ(result.exchanges.size(), 2u) << label;
        EXPECT_EQ(result.exchanges[1].method, c.nextMethod) << label;
        EXPECT_EQ(result.exchanges[1].requestBody,
                  c.bodyKept ? std::optional<std::string>("payload") : std::nullopt)
            << label;
        auto second = server.requests().at(before + 1);
        EXPECT_EQ(second.method, c.nextMethod) << label;
        EXPECT_EQ(second.body, c.bodyKept ? "payload" : "") << label;
    }
}

TEST_F(HTTPInspectorTest, SecretHeadersStayWithTheirOrigin) {
    test::TestCertificateAuthority ca;
    LoopbackHTTPServer secure({"127.0.0.1"}, &ca);
    LoopbackHTTPServer otherPort;
    otherPort.on("/landing", respond::text(200, "other port"));
    server.on("/landing", respond::text(200, "landing"));
    const struct {
        const char* name;
        LoopbackHTTPServer* start;
        std::string location;
        bool kept;
    } cases[] = {
        {"same origin", &server, server.url("/landing"), true},
        {"another host, same port", &server, server.url("/landing", "127.0.0.2"), false},
        {"same host, another port", &server, otherPort.url("/landing"), false},
        // Same host and port, scheme changed: the key must not go out in clear.
        {"https to http", &secure, "http://127.0.0.1:" + std::to_string(secure.port()) + "/x",
         false},
    };
    // The Kelvin sign lower-cases to "k", as in the transport's response header names.
    const char* const secretNames[] = {"Authorization",        "Cookie",         "X-API-Key",
                                       "X-Subscription-Token", "MCP-Session-Id", "COO\u212AIE"};
    HeaderFields headers{{"X-Other", "o"}};
    for (const char* name : secretNames)
        headers[name] = "s";
    CurlWrapper trusting({ca.caFile(), true, false});
    HTTPInspector inspector(developerPolicy(), trusting.path());
    for (const auto& c : cases) {
        c.start->on("/start", respond::redirect(302, c.location));
        HTTPResult result = inspector.request(c.start->url("/start"), "GET", headers, std::nullopt);
        ASSERT_EQ(result.exchanges.size(), 2u) << c.name;
        EXPECT_EQ(result.final().url, c.location) << c.name;
        const auto& recorded = result.final().requestHeaders;
        for (const char* name : secretNames)
            EXPECT_EQ(recorded.count(name), c.kept ? 1u : 0u) << c.name << ": " << name;
        EXPECT_EQ(recorded.count("X-Other"), 1u) << c.name;
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
    const struct {
        NetworkPolicy policy;
        std::string url;
        std::size_t records;
        std::optional<std::int64_t> lastStatus;
        std::optional<std::string> lastError;
    } cases[] = {
        {developerPolicy(), server.url("/loop"), 6, 302, "Redirect limit reached."},
        {developerPolicy(), server.url("/nowhere"), 1, 301, std::nullopt},
        {developerPolicy(), server.url("/ftp"), 1, 301,
         "Blocked: malformed URL or unsafe URL scheme/credentials."},
        {developerPolicy(), server.url("/spaces"), 1, 302, "Invalid redirect location."},
        {developerPolicy(), server.url("/empty"), 1, 302, "Invalid redirect location."},
        {publicPolicy({}), server.url("/"), 1, std::nullopt,
         "Blocked: plain HTTP requires Developer Mode."},
        {publicPolicy({{"private.test", "10.1.2.3"}}), "https://private.test/", 1, std::nullopt,
         "Blocked: DNS resolves to a private, local or reserved address (10.1.2.3)."},
        {publicPolicy({}), "https://unknown.test/", 1, std::nullopt,
         "DNS resolution failed: Name or service not known"},
    };
    for (const auto& c : cases) {
        HTTPInspector inspector(c.policy);
        HTTPResult result = inspector.get(c.url);
        EXPECT_EQ(result.exchanges.size(), c.records) << c.url;
        EXPECT_EQ(result.final().statusCode, c.lastStatus) << c.url;
        EXPECT_EQ(result.final().error, c.lastError) << c.url;
        EXPECT_EQ(result.exchanges.front().url, c.url) << c.url;
        EXPECT_EQ(result.final().requestHeaders.at("User-Agent"), HTTPInspector::userAgent);
    }
    EXPECT_EQ(server.requestCount(), 6u + 4u) << "refused hops never reach the server";
}

TEST_F(HTTPInspectorTest, RedirectToAPrivateAddressIsRefusedOutsideDeveloperMode) {
    test::TestCertificateAuthority ca;
    LoopbackHTTPServer secure({"127.0.0.1"}, &ca);
    std::string port = std::to_string(secure.port());
    secure.on("/", respond::redirect(302, "https://intranet.test:" + port + "/"));
    // "localhost" is vetted as a public address and then served from loopback.
    CurlWrapper wrapper({ca.caFile(), true, true});
    HTTPInspector inspector(
        publicPolicy({{"localhost", "93.184.215.14"}, {"intranet.test", "192.168.1.20"}}),
        wrapper.path());
    HTTPResult result = inspector.get("https://localhost:" + port + "/");
    ASSERT_EQ(result.exchanges.size(), 2u);
    EXPECT_EQ(result.exchanges[0].statusCode, 302);
    EXPECT_TRUE(result.exchanges[0].tlsVerified);
    EXPECT_EQ(result.exchanges[1].error,
              "Blocked: DNS resolves to a private, local or reserved address (192.168.1.20).");
    EXPECT_EQ(secure.requestCount(), 1u);
}

// Curl writes every header block of a hop; only the final one is the answer's.
TEST_F(HTTPInspectorTest, InterimHeaderBlocksAreDropped) {
    server.on("/interim", respond::interimThen(100, {{"X-Interim", "1"}},
                                               respond::text(200, "after", {{"X-Final", "2"}})));
    const Evidence hop = HTTPInspector(developerPolicy()).get(server.url("/interim")).final();
    EXPECT_EQ(hop.responseHeaders.count("x-interim"), 0u);
    EXPECT_EQ(hop.responseHeaders.at("x-final"), "2");
}

TEST_F(HTTPInspectorTest, BodyLimits) {
    constexpr std::int64_t limit = 1000;
    server.on("/exact", respond::text(200, test::patternBody(limit)));
    server.on("/over", respond::text(200, test::patternBody(limit + 1)));
    server.on("/chunked-exact", respond::chunked(limit, 7));
    server.on("/chunked-over", respond::chunked(limit + 1, 7));
    server.on("/endless", respond::endless());
    const std::string stop = "curl: (63) Maximum file size exceeded";
    const struct {
        const char* path;
        std::size_t bodyBytes;
        std::optional<std::string> error; // also means truncated
    } cases[] = {
        {"/exact", limit, std::nullopt},
        // An announced length over the limit stops curl before any body byte.
        {"/over", 0, stop},
        {"/chunked-exact", limit, std::nullopt},
        {"/chunked-over", limit, stop},
        {"/endless", limit, stop},
    };
    NetworkPolicy policy = developerPolicy();
    policy.maxBytes = limit;
    HTTPInspector inspector(policy);
    for (const auto& c : cases) {
        HTTPResult result = inspector.get(server.url(c.path));
        ASSERT_EQ(result.exchanges.size(), 1u) << c.path;
        const Evidence& hop = result.final();
        EXPECT_EQ(hop.statusCode, 200) << c.path;
        EXPECT_EQ(hop.responseBody.str(), test::patternBody(c.bodyBytes)) << c.path;
        EXPECT_EQ(hop.truncated, c.error.has_value()) << c.path;
        EXPECT_EQ(hop.error, c.error) << c.path;
        EXPECT_EQ(hop.remoteIP, "127.0.0.1") << c.path;
    }
}

TEST_F(HTTPInspectorTest, TransportFailures) {
    server.on("/trickle", respond::trickle(1000, 50ms));
    NetworkPolicy policy = developerPolicy();
    policy.timeout = 0.5;
    HTTPInspector inspector(policy);

    HTTPResult slow = inspector.get(server.url("/trickle"));
    EXPECT_EQ(slow.final().statusCode, 200);
    EXPECT_TRUE(slow.final().error &&
                slow.final().error->starts_with("curl: (28) Operation timed out"))
        << slow.final().error.value_or("(none)");
    EXPECT_FALSE(slow.final().responseBody.empty());
    EXPECT_LT(slow.final().responseBody.size(), 1000u);

    HTTPResult refused = inspector.get("http://127.0.0.1:" + std::to_string(closedPort()) + "/");
    const Evidence& hop = refused.final();
    EXPECT_FALSE(hop.statusCode);
    EXPECT_EQ(hop.remoteIP, "");
    EXPECT_FALSE(hop.tlsVerified);
    EXPECT_TRUE(hop.error && hop.error->starts_with("curl: (7) Failed to connect to 127.0.0.1"))
        << hop.error.value_or("(none)");

    // Headers that never end are cut too, and the hop fails instead of hanging.
    server.on("/endless-headers", [](const test::ReceivedRequest&, test::ResponseWriter& out) {
        if (!out.send("HTTP/1.1 200 OK\r\n")) return;
        const std::string line = "X-Filler: " + test::patternBody(1000) + "\r\n";
        while (out.send(line)) {
        }
    });
    HTTPResult flooded = inspector.get(server.url("/endless-headers"));
    EXPECT_TRUE(flooded.final().error.has_value());
    EXPECT_LT(flooded.final().responseHeaders["x-filler"].size(), 2'000'000u);

    // A child that outlives its time limit is stopped, and the hop is a time-out.
    CurlWrapper stuck({"", false, false, true});
    HTTPInspector waiting(policy, stuck.path());
    const Evidence stopped = waiting.get(server.url("/trickle")).final();
    EXPECT_FALSE(stopped.statusCode);
    EXPECT_TRUE(stopped.error && stopped.error->starts_with("curl: (28) Operation timed out after"))
        << stopped.error.value_or("(none)");

    HTTPInspector missingCurl(developerPolicy(), "/nonexistent/curl");
    HTTPResult unstarted = missingCurl.get(server.url("/trickle"));
    EXPECT_FALSE(unstarted.final().statusCode);
    EXPECT_TRUE(unstarted.final().error &&
                unstarted.final().error->find("No such file") != std::string::npos)
        << unstarted.final().error.value_or("(none)");
}

TEST_F(HTTPInspectorTest, CertificateVerification) {
    test::TestCertificateAuthority ca;
    LoopbackHTTPServer secure({"127.0.0.1", "::1"}, &ca);
    secure.on("/", respond::text(200, "secure"));
    server.on("/", respond::text(200, "plain"));
    CurlWrapper trusting({ca.caFile(), true, false});
    struct Case {
        const char* name;
        std::string curl;
        std::string url;
        std::optional<std::int64_t> status;
        bool verified;
    } cases[] = {
        {"test CA", trusting.path(), secure.url("/"), 200, true},
        // An IPv6 literal: no resolve entry, which curl would refuse outright.
        {"test CA over IPv6", trusting.path(), secure.url("/", "::1"), 200, true},
        {"plain HTTP", trusting.path(), server.url("/"), 200, false},
        {"unknown CA", std::string(HTTPInspector::defaultCurlPath), secure.url("/"), std::nullopt,
         false},
    };
    for (const Case& c : cases) {
        HTTPInspector inspector(developerPolicy(), c.curl);
        const Evidence hop = inspector.get(c.url).final();
        EXPECT_EQ(hop.statusCode, c.status) << c.name;
        EXPECT_EQ(hop.tlsVerified, c.verified) << c.name;
        EXPECT_EQ(hop.error.has_value(), !c.status) << c.name;
    }
}

TEST_F(HTTPInspectorTest, HopsOfOneTransportArePacedAndTimedWhole) {
    server.on("/", respond::text(200, "ok"));
    std::stop_source unused;
    auto resolver = std::make_shared<StopOnLookup>(unused);
    NetworkPolicy policy = developerPolicy();
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
    // The second hop may start no sooner than the interval after the first,
    // which itself started after the 80 ms lookup.
    const double waitedMS = inspector.get(server.url("/")).final().durationMS;
    EXPECT_GE(firstCallMS + waitedMS, 195);
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
    HTTPInspector inspector(developerPolicy());

    // Before the first hop.
    std::stop_source early;
    early.request_stop();
    HTTPResult before = inspector.get(server.url("/"), early.get_token());
    EXPECT_EQ(before.final().error, Cancelled().what());

    // During the pause between hops: the stop comes from the name lookup
    // that just precedes the pause, so no timing decides where it lands.
    inspector.get(server.url("/"));
    std::stop_source pacing;
    auto resolver = std::make_shared<StopOnLookup>(pacing);
    NetworkPolicy stopping = developerPolicy();
    stopping.resolver = resolver;
    HTTPInspector pausing(stopping);
    pausing.get(server.url("/"));
    resolver->armed = true;
    HTTPResult paced = pausing.get(server.url("/"), pacing.get_token());
    EXPECT_EQ(paced.final().error, Cancelled().what());
    EXPECT_FALSE(paced.final().statusCode);
    EXPECT_EQ(server.requestCount(), 2u);

    // While curl runs: the child goes at once, not at the time limit.
    std::stop_source running;
    std::chrono::steady_clock::time_point stopped;
    std::jthread watcher([&] {
        while (server.requestCount() < 3)
            std::this_thread::sleep_for(5ms);
        stopped = std::chrono::steady_clock::now();
        running.request_stop();
    });
    HTTPResult cut = inspector.get(server.url("/slow"), running.get_token());
    auto latency = std::chrono::steady_clock::now() - stopped;
    watcher.join();
    EXPECT_EQ(cut.final().error, Cancelled().what());
    EXPECT_FALSE(cut.final().statusCode);
    // A hang check, not a speed goal: the trickle would last minutes.
    EXPECT_LT(latency, 5s);
}

} // namespace
} // namespace quorilanth
