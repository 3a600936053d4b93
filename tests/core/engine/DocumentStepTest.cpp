// The document step: nodes, edges, redirected roots, declared references and
// the caps that keep a hostile site bounded.

#include "ScriptedSite.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

const std::string kRoot = "https://example.com/";
const std::string kAgent = "https://example.com/.well-known/agent.json";
const std::string kLlms = "https://example.com/llms.txt";
const std::string kRobots = "https://example.com/robots.txt";
const std::string kNotRequested = "Declared reference \u00B7 not yet requested";

std::size_t position(const std::vector<std::string>& list, const std::string& item) {
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), item) - list.begin());
}

std::size_t countOf(const std::vector<std::string>& list, const std::string& item) {
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), item));
}

TEST(DocumentStep, RootAnsweredFromAnotherHostQueuesThatHostsLocationsFirst) {
    struct Case {
        const char* name;
        std::string finalURL;
        bool otherHost;
    };
    const std::vector<Case> cases{
        {"another host", "https://www.example.com/", true},
        {"same host, other path", "https://example.com/home", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSite site;
        site.redirectChain({kRoot, c.finalURL}, htmlLinking({}), "text/html");
        DiscoveryEngine engine(NetworkPolicy(), site.fake());
        const ScanRun run = runScan(engine, "example.com");
        const auto gets = site.requested();
        ASSERT_GE(gets.size(), 2u);
        const std::size_t entered = position(gets, kAgent);
        if (c.otherHost) {
            EXPECT_EQ(gets[1], "https://www.example.com/.well-known/agent.json");
            EXPECT_LT(position(gets, "https://www.example.com/sitemap.xml"), entered);
            EXPECT_EQ(run.inspected().size(), 21u);
        } else {
            EXPECT_EQ(gets[1], kAgent);
            EXPECT_EQ(run.inspected().size(), 11u);
        }
        // The final address joins the visited set, and the count shows it.
        EXPECT_EQ(run.messages[2], "2 locations inspected \u00B7 0 tools");
        // One domain node, under the entered root, with both hops as evidence.
        EXPECT_EQ(node(run.report, kRoot)->evidenceIDs.size(), 2u);
    }
}

TEST(DocumentStep, NodesAndEdgesOfOneDocument) {
    ScriptedSite site;
    site.document(kRoot, 200, htmlLinking({}), "text/html");
    site.document(kAgent, 200, R"({
        "name": "Example agent",
        "self": "https://example.com/.well-known/agent.json#top",
        "home": "https://example.com/",
        "homepage": "https://example.com/about",
        "api": "https://example.com/api/{id}",
        "next": "https://example.com/b/agent.json"
    })",
                  "application/json");
    site.document("https://example.com/.well-known/agent-card.json", 200, "{ not json",
                  "application/json");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const ScanReport& report = run.report;
    const auto gets = site.requested();

    const GraphNode* agent = node(report, kAgent);
    ASSERT_NE(agent, nullptr);

    struct EdgeCase {
        const char* name;
        std::string target;
        bool edge;
        std::optional<std::string> summary; // of the target node when it is declared
        bool requested;
    };
    const std::vector<EdgeCase> edges{
        {"a link to itself", kAgent, false, std::nullopt, true},
        {"the root keeps its own node", kRoot, true, std::nullopt, true},
        {"content is recorded, never requested", "https://example.com/about", true, kNotRequested,
         false},
        {"a template waits for parameters", "https://example.com/api/{id}", true,
         "Declared reference \u00B7 URL template requires parameters", false},
        {"a manifest reference is followed", "https://example.com/b/agent.json", true, std::nullopt,
         true},
    };
    for (const auto& e : edges) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(hasEdge(report, kAgent, e.target, "declares") ||
                      hasEdge(report, kAgent, e.target, "declares template"),
                  e.edge);
        if (e.summary) {
            const GraphNode* declared = node(report, e.target);
            ASSERT_NE(declared, nullptr);
            EXPECT_EQ(declared->summary, *e.summary);
            EXPECT_EQ(declared->evidenceIDs, std::vector<std::string>{agent->evidenceIDs.back()});
        }
        EXPECT_EQ(countOf(gets, e.target), e.requested ? 1u : 0u);
    }

    // Answering conventional locations are linked from the root, others are not.
    const std::vector<std::pair<std::string, bool>> respondsAt{
        {kAgent, true},
        {"https://example.com/.well-known/agent-card.json", true},  // 200 but invalid JSON
        {"https://example.com/.well-known/ai-catalog.json", false}, // 404
        {"https://example.com/b/agent.json", false},                // not conventional
    };
    for (const auto& [target, expected] : respondsAt) {
        SCOPED_TRACE(target);
        EXPECT_EQ(hasEdge(report, kRoot, target, "responds at"), expected);
    }
}

TEST(DocumentStep, RedirectTargetCountsAsVisited) {
    ScriptedSite site;
    site.redirectChain({kAgent, "https://example.com/final/agent.json"}, R"({"name":"x"})",
                       "application/json");
    site.document(kLlms, 200, "# Ex\nSee https://example.com/final/agent.json\n", "text/plain");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    EXPECT_EQ(countOf(site.requested(), "https://example.com/final/agent.json"), 0u);
    EXPECT_TRUE(
        hasEdge(run.report, kLlms, "https://example.com/final/agent.json", "text reference"));
}

TEST(DocumentStep, ReferenceLoopsAreRequestedOnce) {
    ScriptedSite site;
    site.document(kAgent, 200, R"({"name":"a","next":"https://example.com/b/agent.json"})",
                  "application/json");
    site.document(
        "https://example.com/b/agent.json", 200,
        R"({"name":"b","back":"https://example.com/.well-known/agent.json","on":"https://example.com/c/agent.json"})",
        "application/json");
    site.document("https://example.com/c/agent.json", 200,
                  R"({"name":"c","back":"https://example.com/b/agent.json"})", "application/json");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const auto gets = site.requested();
    for (const std::string& url : {kAgent, std::string("https://example.com/b/agent.json"),
                                   std::string("https://example.com/c/agent.json")}) {
        EXPECT_EQ(countOf(gets, url), 1u) << url;
    }
    EXPECT_TRUE(hasEdge(run.report, "https://example.com/b/agent.json", kAgent, "declares"));
}

TEST(DocumentStep, DeclaredReferencesGoSecondOrLastAndSitemapsAtTheEnd) {
    ScriptedSite site;
    // At /llms.txt five entries wait (agents ... mcp): a reference goes second.
    site.document(kLlms, 200, "https://example.com/x/agent-card.json\n", "text/plain");
    // At mcp.json /mcp and the two sitemaps wait: a reference goes second.
    site.document("https://example.com/.well-known/mcp.json", 200,
                  R"({"next":"https://example.com/y/agent.json"})", "application/json");
    site.document(kRobots, 200,
                  "Sitemap: https://example.com/sitemap-a.xml\n"
                  "Sitemap: https://example.com/sitemap-b.xml\n"
                  "Sitemap: https://example.com/sitemap-c.xml\n",
                  "text/plain");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const auto inspected = run.inspected();
    const std::vector<std::string> tail(inspected.begin() + 5, inspected.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"/llms.txt", "/agents", "/robots.txt", "/x/agent-card.json",
                                        "/sitemap.xml", "/.well-known/mcp.json", "/mcp",
                                        "/sitemap-a.xml", "/y/agent.json", "/sitemap-b.xml"}));
    // The third sitemap is recorded but never requested.
    const GraphNode* third = node(run.report, "https://example.com/sitemap-c.xml");
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->summary, kNotRequested);
    EXPECT_TRUE(
        hasEdge(run.report, kRobots, "https://example.com/sitemap-c.xml", "text reference"));
}

TEST(DocumentStep, WithFewerThanTwoWaitingAReferenceGoesLast) {
    ScriptedSite site;
    site.document("https://example.com/.well-known/mcp.json", 200,
                  R"({"next":"https://example.com/y/agent.json"})", "application/json");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const auto inspected = runScan(engine, "example.com").inspected();
    ASSERT_EQ(inspected.size(), 12u);
    EXPECT_EQ(inspected[10], "/mcp");
    EXPECT_EQ(inspected[11], "/y/agent.json");
}

TEST(DocumentStep, HostileDocumentsStayBounded) {
    // 400 relevant references: the parser keeps 300, the node cap stops at 260
    // nodes, the waiting queue stops at 100 and the budget at 48 locations.
    std::vector<std::string> hrefs;
    for (int i = 1; i <= 400; ++i)
        hrefs.push_back("/d" + std::to_string(1000 + i) + "/agent.json");
    ScriptedSite site;
    site.document(kRoot, 200, htmlLinking(hrefs), "text/html");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    std::size_t nodesAfterRoot = 0;
    std::size_t edgesAfterRoot = 0;
    std::vector<std::string> messages;
    const ScanReport report =
        engine.scan("example.com", [&](ScanReport copy, const std::string& message) {
            messages.push_back(message);
            if (message.starts_with("1 locations inspected")) {
                nodesAfterRoot = copy.nodes.size();
                edgesAfterRoot = copy.edges.size();
            }
        });
    EXPECT_EQ(nodesAfterRoot, 260u);
    EXPECT_EQ(edgesAfterRoot, 259u);
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.starts_with("Inspecting "); }),
              48);
    EXPECT_EQ(report.notices.size(), 1u);
    // Ninety references fill the waiting queue to 100 behind the ten
    // conventional locations; each went second, so the last queued comes first.
    std::vector<std::string> inspected;
    for (const std::string& m : messages)
        if (m.starts_with("Inspecting ")) inspected.push_back(m.substr(11));
    EXPECT_EQ(inspected[3], "/d1090/agent.json");
    // Further documents add their own nodes, but declare nothing once past the cap.
    EXPECT_GT(report.nodes.size(), 260u);
    EXPECT_LE(report.nodes.size(), 260u + 48u);
}

TEST(DocumentStep, RefusedAndFailedLocationsBecomeNodes) {
    ScriptedSite site;
    site.document(kRoot, 200, htmlLinking({"http://example.com/plain/agent.json"}), "text/html");
    site.fake()->fail("http://example.com/plain/agent.json",
                      "Blocked: plain HTTP requires Developer Mode.");
    site.fake()->fail(kLlms, "Operation timed out");
    DiscoveryEngine engine(NetworkPolicy(), site.fake());
    const ScanRun run = runScan(engine, "example.com");
    const GraphNode* refused = node(run.report, "http://example.com/plain/agent.json");
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->status, FindingStatus::blocked);
    EXPECT_EQ(countOf(run.inspected(), "/plain/agent.json"), 1u);
    EXPECT_EQ(node(run.report, kLlms)->status, FindingStatus::unreachable);
    EXPECT_FALSE(hasEdge(run.report, kRoot, kLlms, "responds at"));
}

} // namespace
} // namespace quorilanth::test
