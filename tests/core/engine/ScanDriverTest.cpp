// The scan driver and its document step against a scripted site: what is
// inspected in which order, nodes and edges, the caps that keep a hostile site
// bounded, progress, cancellation and the start-of-scan refusals.

#include "ScriptedSite.h"
#include "core/base/QuorilanthError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

namespace quorilanth::test {
namespace {

using ::testing::Eq, ::testing::ThrowsMessage;

const std::string kRoot = "https://example.com/";
const std::string kAgent = "https://example.com/.well-known/agent.json";
const std::string kConventional =
    "/.well-known/agent.json /.well-known/agent-card.json /.well-known/ai-catalog.json "
    "/.well-known/agent-manifest.json /llms.txt /agents /robots.txt /sitemap.xml "
    "/.well-known/mcp.json /mcp";
const std::string kBudgetNotice = "Scan budget reached (48 locations). Unrequested declarations "
                                  "remain FOUND; this is not an exhaustive crawl.";

std::vector<std::string> hrefs(int count) {
    std::vector<std::string> out;
    for (int i = 1; i <= count; ++i)
        out.push_back("/d" + std::to_string(1000 + i) + "/agent.json");
    return out;
}

// Serves each document, typed by its name; a body "=> URL" redirects there.
void serve(ScriptedSite& site, const std::vector<std::pair<std::string, std::string>>& documents) {
    for (const auto& [url, body] : documents) {
        const bool json = (body.starts_with("=> ") ? body : url).ends_with(".json");
        const std::string type = json                    ? "application/json"
                                 : url.ends_with(".txt") ? "text/plain"
                                                         : "text/html";
        if (body.starts_with("=> "))
            site.redirect(url, body.substr(3), json ? R"({"name":"x"})" : htmlLinking({}), type);
        else
            site.document(url, 200, body, type);
    }
}

// The root, the entered page, then the conventional locations of the host the
// root answered from and of the entered host; a declared reference goes second
// in the queue (last with fewer than two waiting), sitemaps at the end; an
// address reached by a redirect counts as visited; nothing is inspected twice.
TEST(ScanQueue, InspectsInOrderAndNothingTwice) {
    const struct {
        std::string input;
        std::vector<std::pair<std::string, std::string>> documents;
        std::string expected; // the domain, then the inspected paths
    } cases[] = {
        {"  example.com\n", {}, kRoot + " / " + kConventional},
        {"https://example.com/docs/page?x=1#frag", {}, kRoot + " / /docs/page " + kConventional},
        {"https://example.com:8443", {}, "https://example.com:8443/ / " + kConventional},
        {"example.com", {{kRoot, "=> https://example.com/home"}}, kRoot + " / " + kConventional},
        {"example.com",
         {{"https://example.com/llms.txt", "https://example.com/x/agent-card.json\n"},
          {"https://example.com/.well-known/mcp.json",
           R"({"next":"https://example.com/y/agent.json"})"},
          {"https://example.com/robots.txt", "Sitemap: https://example.com/sitemap-a.xml\n"
                                             "Sitemap: https://example.com/sitemap-b.xml\n"
                                             "Sitemap: https://example.com/sitemap-c.xml\n"}},
         kRoot + " / /.well-known/agent.json /.well-known/agent-card.json "
                 "/.well-known/ai-catalog.json /.well-known/agent-manifest.json /llms.txt /agents "
                 "/robots.txt /x/agent-card.json /sitemap.xml /.well-known/mcp.json /mcp "
                 "/sitemap-a.xml /y/agent.json /sitemap-b.xml"},
        {"example.com",
         {{"https://example.com/.well-known/mcp.json",
           R"({"next":"https://example.com/y/agent.json"})"}},
         kRoot + " / " + kConventional + " /y/agent.json"},
        {"example.com",
         {{kAgent, "=> https://example.com/final/agent.json"},
          {"https://example.com/llms.txt", "See https://example.com/final/agent.json\n"}},
         kRoot + " / " + kConventional},
        {"example.com",
         {{kAgent, R"({"next":"https://example.com/b/agent.json"})"},
          {"https://example.com/b/agent.json",
           R"({"back":")" + kAgent + R"(","on":"https://example.com/c/agent.json"})"},
          {"https://example.com/c/agent.json", R"({"back":"https://example.com/b/agent.json"})"}},
         kRoot + " / /.well-known/agent.json /.well-known/agent-card.json "
                 "/.well-known/ai-catalog.json /b/agent.json /.well-known/agent-manifest.json "
                 "/llms.txt /c/agent.json /agents /robots.txt /sitemap.xml /.well-known/mcp.json "
                 "/mcp"},
    };
    for (const auto& c : cases) {
        ScriptedSite site;
        serve(site, c.documents);
        DiscoveryEngine engine(NetworkPolicy(), site.fake);
        const ScanRun run = runScan(engine, c.input);
        EXPECT_EQ(run.report.domain + " " + run.inspected(), c.expected);
        const auto gets = site.requested();
        EXPECT_EQ(std::set(gets.begin(), gets.end()).size(), gets.size()) << c.expected;
    }
}

// The root answered from another host queues that host's locations first, counts
// its final address as visited (progress says so) and keeps both hops as
// evidence of the root.
TEST(ScanQueue, ARootAnsweredFromAnotherHostQueuesThatHostFirst) {
    ScriptedSite site;
    site.redirect(kRoot, "https://www.example.com/", htmlLinking({}));
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    const ScanRun run = runScan(engine, "example.com");
    EXPECT_EQ(site.requested().at(1), "https://www.example.com/.well-known/agent.json");
    EXPECT_EQ(site.requested().at(10), kAgent);
    EXPECT_EQ(run.inspected(), "/ " + kConventional + " " + kConventional);
    EXPECT_EQ(std::vector(run.messages.begin(), run.messages.begin() + 3),
              (std::vector<std::string>{"Resolving domain", "Inspecting /",
                                        "2 locations inspected \u00B7 0 tools"}));
    EXPECT_EQ(run.report.findNode(kRoot)->evidenceIDs.size(), 2u);
}

// Refused input throws the policy's text before any request, as does a second
// scan while one runs (which goes on); the engine is free again afterwards,
// also when a progress callback throws.
TEST(ScanStart, RefusalsLeaveTheEngineUsable) {
    ScriptedSite site;
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    for (const auto& [input, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"http://example.com/", "Blocked: plain HTTP requires Developer Mode."},
             {"https://user:pw@example.com/",
              "Blocked: malformed URL or unsafe URL scheme/credentials."},
             {"ftp://example.com/", "Blocked: malformed URL or unsafe URL scheme/credentials."}})
        EXPECT_THAT([&] { engine.scan(input, [](ScanReport, const std::string&) { FAIL(); }); },
                    ThrowsMessage<QuorilanthError>(Eq(text)));
    EXPECT_TRUE(site.fake->calls().empty());
    const ScanRun run = runScan(engine, "example.com", [&](const std::string& message) {
        if (message != "Inspecting /llms.txt") return;
        EXPECT_THAT([&] { engine.scan("other.example"); },
                    ThrowsMessage<QuorilanthError>(Eq("A scan is already running.")));
    });
    EXPECT_EQ(run.messages.back(), "Scan complete");
    EXPECT_THROW(engine.scan("example.com",
                             [](ScanReport, const std::string& message) {
                                 if (message == "Inspecting /agents")
                                     throw std::runtime_error("gone");
                             }),
                 std::runtime_error);
    EXPECT_EQ(runScan(engine, "other.example").report.domain, "https://other.example/");
}

// A stop finishes the location in flight (whose request is cut short) and
// returns the partial report, also when that was the last location; a stop
// before the first location sends nothing.
TEST(ScanCancel, AStopReturnsThePartialReport) {
    for (const auto& [at, inspected] : std::initializer_list<std::pair<std::string, int>>{
             {"/llms.txt", 6}, {"/x/agent.json", 12}, {"", 0}}) {
        ScriptedSite site;
        site.document("https://example.com/.well-known/mcp.json", 200,
                      R"({"next":"https://example.com/x/agent.json"})", "application/json");
        DiscoveryEngine engine(NetworkPolicy(), site.fake);
        std::stop_source stop;
        if (at.empty()) stop.request_stop();
        const ScanRun run = runScan(
            engine, "example.com",
            [&](const std::string& m) {
                if (m == "Inspecting " + at) stop.request_stop();
            },
            stop.get_token());
        EXPECT_TRUE(run.report.cancelled);
        EXPECT_EQ(run.report.notices,
                  std::vector<std::string>{"Scan cancelled; findings are partial."});
        EXPECT_EQ(run.messages.back(), "Cancelled");
        EXPECT_EQ(run.messages[run.messages.size() - 2],
                  at.empty() ? "Resolving domain"
                             : std::to_string(inspected) + " locations inspected \u00B7 0 tools");
        if (!at.empty())
            EXPECT_EQ(run.report.findNode("https://example.com" + at)->status,
                      FindingStatus::unreachable);
        else
            EXPECT_TRUE(site.fake->calls().empty());
    }
}

// A document declares what it names: no edge to itself, the root keeps its own
// node, content and templates are recorded but never requested; the root links
// a conventional location that answered, however invalid. A refused or failed
// location still becomes a node, requested once and linked from nowhere.
TEST(DocumentStep, NodesAndEdgesOfOneDocument) {
    ScriptedSite site;
    site.document(kAgent, 200, R"({"self":")" + kAgent + R"(#top","home":"https://example.com/",
        "homepage":"https://example.com/about","api":"https://example.com/api/{id}",
        "next":"https://example.com/b/agent.json"})",
                  "application/json");
    site.document("https://example.com/.well-known/agent-card.json", 200, "{ not json",
                  "application/json");
    site.document(kRoot, 200, htmlLinking({"http://example.com/plain/agent.json"}));
    site.fake->fail("http://example.com/plain/agent.json",
                    "Blocked: plain HTTP requires Developer Mode.");
    site.fake->fail("https://example.com/llms.txt", "Operation timed out");
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    const ScanReport report = runScan(engine, "example.com").report;
    const auto gets = site.requested();
    const std::string declared = report.findNode(kAgent)->evidenceIDs.back();
    for (const auto& [target, edge, summary, requested] :
         std::initializer_list<std::tuple<std::string, bool, const char*, bool>>{
             {kAgent, false, nullptr, true},
             {kRoot, true, nullptr, true},
             {"https://example.com/about", true, "Declared reference \u00B7 not yet requested",
              false},
             {"https://example.com/api/{id}", true,
              "Declared reference \u00B7 URL template requires parameters", false},
             {"https://example.com/b/agent.json", true, nullptr, true}}) {
        EXPECT_EQ(hasEdge(report, kAgent, target, "declares") ||
                      hasEdge(report, kAgent, target, "declares template"),
                  edge)
            << target;
        if (summary) {
            EXPECT_EQ(report.findNode(target)->summary, summary);
            EXPECT_EQ(report.findNode(target)->evidenceIDs, std::vector<std::string>{declared});
        }
        EXPECT_EQ(std::count(gets.begin(), gets.end(), target), requested ? 1 : 0) << target;
    }
    EXPECT_TRUE(
        hasEdge(report, kRoot, "https://example.com/.well-known/agent-card.json", "responds at"));
    EXPECT_EQ(report.findNode("http://example.com/plain/agent.json")->status,
              FindingStatus::blocked);
    EXPECT_EQ(std::count(gets.begin(), gets.end(), "http://example.com/plain/agent.json"), 1);
    EXPECT_EQ(report.findNode("https://example.com/llms.txt")->status, FindingStatus::unreachable);
    EXPECT_FALSE(hasEdge(report, kRoot, "https://example.com/llms.txt", "responds at"));
}

// 48 locations at most, repeats skipped and not counted.
TEST(ScanBudget, FortyEightLocationsAtMost) {
    for (const auto& [declared, repeats, notice] :
         std::initializer_list<std::tuple<int, std::vector<std::string>, bool>>{
             {37, {}, false},
             {38, {}, true},
             {37, {"/llms.txt", "/robots.txt", "/d1001/agent.json"}, false}}) {
        ScriptedSite site;
        auto links = hrefs(declared);
        links.insert(links.end(), repeats.begin(), repeats.end());
        site.document(kRoot, 200, htmlLinking(links));
        DiscoveryEngine engine(NetworkPolicy(), site.fake);
        const ScanRun run = runScan(engine, "example.com");
        const std::string inspected = run.inspected();
        EXPECT_EQ(std::count(inspected.begin(), inspected.end(), ' '), 47) << declared;
        EXPECT_EQ(run.report.notices,
                  notice ? std::vector{kBudgetNotice} : std::vector<std::string>{});
    }
}

// With 400 references the parser keeps 300, the node cap stops at 260 nodes,
// and the waiting queue at 100: ninety references queue behind the ten
// conventional locations, each going second, so the last queued comes first.
// Later documents add their own nodes but declare nothing past the cap. The
// budget is checked before a stop that comes with the last location.
TEST(ScanBudget, AHostileRootStaysBounded) {
    ScriptedSite site;
    site.document(kRoot, 200, htmlLinking(hrefs(400)));
    DiscoveryEngine engine(NetworkPolicy(), site.fake);
    std::size_t nodes = 0, edges = 0;
    std::vector<std::string> inspected;
    std::stop_source stop;
    const ScanReport report = engine.scan(
        "example.com",
        [&](ScanReport copy, const std::string& message) {
            if (message.starts_with("Inspecting ")) inspected.push_back(message.substr(11));
            if (inspected.size() == 48) stop.request_stop();
            if (message.starts_with("1 locations"))
                nodes = copy.nodes.size(), edges = copy.edges.size();
        },
        stop.get_token());
    EXPECT_FALSE(report.cancelled);
    EXPECT_EQ(std::pair(nodes, edges), std::pair(std::size_t(260), std::size_t(259)));
    ASSERT_EQ(inspected.size(), 48u);
    EXPECT_EQ(inspected[3], "/d1090/agent.json");
    EXPECT_EQ(report.notices, std::vector{kBudgetNotice});
    EXPECT_LE(report.nodes.size(), 260u + 48u);
}

} // namespace
} // namespace quorilanth::test
