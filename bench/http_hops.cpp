// 50 sequential GET hops through HTTPInspector to a loopback server. The
// pacing between hop starts sets a floor of 49 x 0.12 s; what lies above it,
// spread over the hops, is the overhead per hop. Because a hop is shorter
// than the pacing interval that figure hides most of its cost, so the hop is
// also timed alone (a fresh transport per hop) and next to a bare curl run.

#include "core/net/ChildProcess.h"
#include "core/net/HTTPInspector.h"
#include "support/LoopbackHTTPServer.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace quorilanth;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int hops = 50;

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

int main() {
    test::LoopbackHTTPServer server;
    server.on("/",
              test::respond::text(200, test::patternBody(2048), {{"Content-Type", "text/plain"}}));
    const std::string url = server.url("/");

    HTTPInspector inspector{NetworkPolicy(true)};
    int failures = 0;
    auto start = Clock::now();
    for (int i = 0; i < hops; ++i) {
        HTTPResult result = inspector.get(url);
        if (result.final().statusCode != 200 || result.final().error) ++failures;
    }
    double total = milliseconds(Clock::now() - start);
    double floor =
        (hops - 1) * std::chrono::duration<double, std::milli>(HTTPInspector::pacing).count();
    double overhead = (total - floor) / hops;

    // One fresh transport per hop has nothing to wait for: the hop's own
    // cost. Bare curl runs (output discarded) alternate with those hops so
    // that load from other programs weighs on both alike.
    UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    Clock::duration unpacedTime{};
    Clock::duration bareTime{};
    for (int i = 0; i < hops; ++i) {
        auto hopStart = Clock::now();
        HTTPInspector fresh{NetworkPolicy(true)};
        if (fresh.get(url).final().statusCode != 200) ++failures;
        auto bareStart = Clock::now();
        unpacedTime += bareStart - hopStart;
        ChildProcess curl = ChildProcess::launch(
            "/usr/bin/curl", {"--silent", "--noproxy", "*", "--output", "/dev/null", url},
            {"PATH=/usr/bin:/bin", "LC_ALL=C"}, {{null.get(), 1}});
        curl.wait();
        bareTime += Clock::now() - bareStart;
    }
    double unpaced = milliseconds(unpacedTime) / hops;
    double bare = milliseconds(bareTime) / hops;

    std::printf("hops:                  %d (failed: %d)\n", hops, failures);
    std::printf("total:                 %.1f ms\n", total);
    std::printf("pacing floor:          %.1f ms (49 x 120 ms)\n", floor);
    std::printf("overhead per hop:      %.2f ms (target <= 8 ms)\n", overhead);
    std::printf("one unpaced hop:       %.2f ms\n", unpaced);
    std::printf("bare curl run:         %.2f ms\n", bare);
    std::printf("transport beyond curl: %.2f ms per hop\n", unpaced - bare);
    return failures == 0 ? 0 : 1;
}
