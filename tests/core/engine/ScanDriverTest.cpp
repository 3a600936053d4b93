// The scan driver against a scripted site: queue order, budget, cancellation,
// progress and the start-of-scan refusals.

#include "ScriptedSite.h"
#include "core/base/QuorilanthError.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stop_token>

namespace quorilanth::test {
namespace {

std::vector<std::string> hrefs(int count, const std::string& prefix = "/d") {
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i)
        out.push_back(prefix + std::to_string(i) + "/agent.json");
    return out;
}

const std::string kBudgetNotice =
    "Scan budget reached (48 locations). Unrequested declarations remain FOUND; this is not an "
    "exhaustive crawl.";
const std::string kCancelNotice = "Scan cancelled; findings are partial.";

TEST(ScanStart, RootAndQueueFollowTheEnteredAddress) {
    struct Case {
        std::string input;
        std::string domain;
        std::vector<std::string> firstInspected;
        std::string someConventionalURL;
    };
    const std::vector<Case> cases{
        {"  example.com\n",
         "https://example.com/",
         {"/", "/.well-known/agent.json"},
         "https://example.com/llms.txt"},
        {"https://example.com/docs/page?x=1#frag",
         "https://example.com/",
         {"/", "/docs/page", "/.well-known/agent.json"},
         "https://example.com/robots.txt"},
        {"https://example.com:8443",
         "https://example.com:8443/",
         {"/", "/.well-known/agent.json"},
         "https://example.com:8443/sitemap.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        ScriptedSite site;
        DiscoveryEngine engine(NetworkPolicy(), site.fake());
        const ScanRun run = runScan(engine, c.input);
        EXPECT_EQ(run.report.domain, c.domain);
        const auto inspected = run.inspected();
        ASSERT_GE(inspected.size(), c.firstInspected.size());
        EXPECT_TRUE(
            std::equal(c.firstInspected.begin(), c.firstInspected.end(), inspected.begin()));
        // Everything waiting is processed: the entered page (if any), the root and the ten.
        EXPECT_EQ(inspected.size(), c.firstInspected.size() + 9);
        const auto gets = site.requested();
        EXPECT_NE(std::find(gets.begin(), gets.end(), c.someConventionalURL), gets.end());
    }
}

TEST(ScanStart, ProgressMessagesComeInOrderWithTheirCounts) {
    ScriptedSite site;
    site.document("https://example.com/", 200, htmlLinking({}), "text/html");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    ASSERT_GE(run.messages.size(), 4u);
    EXPECT_EQ(run.messages[0], "Resolving domain");
    EXPECT_EQ(run.messages[1], "Inspecting /");
    EXPECT_EQ(run.messages[2], "1 locations inspected \u00B7 0 tools");
    EXPECT_EQ(run.messages[3], "Inspecting /.well-known/agent.json");
    EXPECT_EQ(run.messages.back(), "Scan complete");
    std::string order;
    for (const auto& path : run.inspected())
        order += path + " ";
    EXPECT_EQ(order,
              "/ /.well-known/agent.json /.well-known/agent-card.json /.well-known/ai-catalog.json "
              "/.well-known/agent-manifest.json /llms.txt /agents /robots.txt /sitemap.xml "
              "/.well-known/mcp.json /mcp ");
    // One start, two messages per location, one end.
    EXPECT_EQ(run.messages.size(), 1 + 2 * 11 + 1);
    EXPECT_EQ(run.messages[run.messages.size() - 2], "11 locations inspected \u00B7 0 tools");
}

TEST(ScanStart, RefusedInputThrowsThePolicyTextAndLeavesTheEngineUsable) {
    ScriptedSite site;
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const std::vector<std::pair<std::string, std::string>> refusals{
        {"http://example.com/", "Blocked: plain HTTP requires Developer Mode."},
        {"https://user:pw@example.com/",
         "Blocked: malformed URL or unsafe URL scheme/credentials."},
        {"ftp://example.com/", "Blocked: malformed URL or unsafe URL scheme/credentials."},
    };
    for (const auto& [input, text] : refusals) {
        SCOPED_TRACE(input);
        bool called = false;
        try {
            engine.scan(input, [&](ScanReport, const std::string&) { called = true; });
            ADD_FAILURE() << "no refusal";
        } catch (const QuorilanthError& error) {
            EXPECT_EQ(error.message(), text);
        }
        EXPECT_FALSE(called);
    }
    EXPECT_TRUE(site.fake()->calls().empty());
    EXPECT_EQ(runScan(engine, "example.com").report.domain, "https://example.com/");
}

TEST(ScanStart, SecondScanDuringAScanIsRefusedAndTheFirstGoesOn) {
    ScriptedSite site;
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    std::string refusal;
    const ScanRun run = runScan(engine, "example.com", [&](const std::string& message) {
        if (message != "Inspecting /llms.txt") return;
        try {
            engine.scan("other.example");
        } catch (const QuorilanthError& error) {
            refusal = error.message();
        }
    });
    EXPECT_EQ(refusal, "A scan is already running.");
    EXPECT_EQ(run.messages.back(), "Scan complete");
    // The guard is released at the end: the next scan runs.
    EXPECT_EQ(runScan(engine, "other.example").report.domain, "https://other.example/");
}

TEST(ScanStart, ThrowingProgressCallbackReleasesTheEngine) {
    ScriptedSite site;
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    EXPECT_THROW(engine.scan("example.com",
                             [](ScanReport, const std::string& message) {
                                 if (message == "Inspecting /agents")
                                     throw std::runtime_error("view gone");
                             }),
                 std::runtime_error);
    EXPECT_EQ(runScan(engine, "example.com").messages.back(), "Scan complete");
}

TEST(ScanBudget, FortyEightLocationsAtMostRepeatsFree) {
    struct Case {
        const char* name;
        int declared;
        std::vector<std::string> repeats; // also declared by the root, already queued
        bool notice;
    };
    // Root + ten conventional = 11; declared references fill the rest.
    const std::vector<Case> cases{
        {"exactly 48, queue then empty", 37, {}, false},
        {"one more than fits", 38, {}, true},
        {"many more than fit", 90, {}, true},
        {"repeats skipped, not counted", 37, {"/llms.txt", "/robots.txt", "/d1/agent.json"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSite site;
        auto links = hrefs(c.declared);
        links.insert(links.end(), c.repeats.begin(), c.repeats.end());
        site.document("https://example.com/", 200, htmlLinking(links), "text/html");
        DiscoveryEngine engine(NetworkPolicy(), site.fake());
        const ScanRun run = runScan(engine, "example.com");
        EXPECT_EQ(run.inspected().size(), std::min(48, 11 + c.declared));
        const auto gets = site.requested();
        EXPECT_EQ(std::set<std::string>(gets.begin(), gets.end()).size(), gets.size())
            << "a location was requested twice";
        EXPECT_EQ(run.report.notices,
                  c.notice ? std::vector<std::string>{kBudgetNotice} : std::vector<std::string>{});
    }
}

TEST(ScanBudget, BudgetIsCheckedBeforeCancellation) {
    ScriptedSite site;
    site.document("https://example.com/", 200, htmlLinking(hrefs(60)), "text/html");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    std::stop_source stop;
    int inspecting = 0;
    const ScanRun run = runScan(
        engine, "example.com",
        [&](const std::string& m) {
            if (m.starts_with("Inspecting ") && ++inspecting == 48) stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(inspecting, 48);
    EXPECT_FALSE(run.report.cancelled);
    EXPECT_EQ(run.report.notices, std::vector<std::string>{kBudgetNotice});
    EXPECT_EQ(run.messages.back(), "Scan complete");
}

TEST(ScanCancel, CancelDuringALocationFinishesThatStepAndReturnsThePartialReport) {
    struct Case {
        std::string at;
        std::string url;
        int inspected;
    };
    const std::vector<Case> cases{
        {"/llms.txt", "https://example.com/llms.txt", 6},
        // The last location: the queue is then empty, but the scan was still cut short.
        {"/x/agent.json", "https://example.com/x/agent.json", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at);
        ScriptedSite site;
        site.document("https://example.com/.well-known/mcp.json", 200,
                      R"({"next":"https://example.com/x/agent.json"})", "application/json");
        DiscoveryEngine engine(NetworkPolicy(), site.fake());
        std::stop_source stop;
        const ScanRun run = runScan(
            engine, "example.com",
            [&](const std::string& m) {
                if (m == "Inspecting " + c.at) stop.request_stop();
            },
            stop.get_token());
        const ScanReport& report = run.report;
        const auto& messages = run.messages;
        EXPECT_TRUE(report.cancelled);
        EXPECT_EQ(report.notices, std::vector<std::string>{kCancelNotice});
        EXPECT_EQ(messages.back(), "Cancelled");
        // The location in flight still got its node (its request was cut short).
        const GraphNode* inFlight = node(report, c.url);
        ASSERT_NE(inFlight, nullptr);
        EXPECT_EQ(inFlight->status, FindingStatus::unreachable);
        EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                                [](const std::string& m) { return m.starts_with("Inspecting "); }),
                  c.inspected);
        EXPECT_EQ(messages[messages.size() - 2],
                  std::to_string(c.inspected) + " locations inspected \u00B7 0 tools");
    }
}

TEST(ScanCancel, CancelledBeforeTheFirstLocationStillReturnsAReport) {
    ScriptedSite site;
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    std::stop_source stop;
    stop.request_stop();
    const ScanRun run = runScan(engine, "example.com", {}, stop.get_token());
    EXPECT_TRUE(run.report.cancelled);
    EXPECT_EQ(run.messages, (std::vector<std::string>{"Resolving domain", "Cancelled"}));
    EXPECT_TRUE(site.fake()->calls().empty());
}

} // namespace
} // namespace quorilanth::test
