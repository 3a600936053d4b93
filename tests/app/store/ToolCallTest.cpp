// Tool calls from the store to the SDK peers through curl (Developer Mode,
// loopback): a refused call, a real one and a cancelled one, each ending in
// the shown report and in its library file.

#include "StoreTestSupport.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/engine/ScriptedSite.h"
#include "core/model/ReportJSON.h"
#include "core/report/ReportGenerator.h"
#include "support/FakeHTTPInspector.h"
#include "support/LoopbackHTTPServer.h"
#include "support/McpPeer.h"

#include <QFile>
#include <fstream>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::McpPeer;

// A store in Developer Mode (the peers are on loopback) showing an empty
// report of that domain, its library in the folder.
std::unique_ptr<WorkspaceStore> storeShowing(const QTemporaryDir& folder,
                                             const std::string& domain) {
    auto developerMode = [](NetworkPolicy policy) {
        policy.developerMode = true;
        return std::make_shared<DiscoveryEngine>(policy);
    };
    auto store = std::make_unique<WorkspaceStore>(
        folder.path(), QStringList{"quorilanth"},
        WorkspaceStore::Dependencies{developerMode, {}, {}, {}, {}});
    std::ofstream(folder.filePath("shown.json").toStdString())
        << ReportGenerator::json(ScanReport(domain));
    store->loadFile(folder.filePath("shown.json"), false);
    return store;
}

TEST(ToolCall, CallsToTheSDKPeersLandInTheLibrary) {
    // The peer, the last request of its negotiation, a tool it offers and arguments for it.
    const std::vector<std::tuple<McpPeer::Kind, std::string, std::string, std::string>> cases{
        {McpPeer::Kind::Everything, "\"notifications/initialized\"",
         R"({"name":"echo","inputSchema":{}})", R"({"message":"hi"})"},
        {McpPeer::Kind::Modern, "\"server/discover\"",
         R"({"name":"get_weather","inputSchema":{"properties":{"region":{"type":"string",
            "x-mcp-header":"Region"}}}})",
         R"({"region":"eu-west"})"},
    };
    for (const auto& [kind, negotiation, tool, arguments] : cases) {
        SCOPED_TRACE(negotiation);
        McpPeer peer(kind);
        QTemporaryDir folder;
        const std::unique_ptr<WorkspaceStore> shown = storeShowing(folder, peer.endpoint());
        WorkspaceStore& store = *shown;
        const QString shownStatus = store.status();
        auto call = [&](const std::string& definition, const std::string& values, bool stop) {
            store.run(MCPTool(peer.endpoint(), JSONValue::parse(definition)),
                      JSONValue::parse(values), true);
            if (stop) store.cancel();
            return test::waitUntil([&] { return !store.toolBusy(); }, 60000);
        };
        auto saved = [&] {
            QFile file(folder.filePath(QString::fromStdString(store.report()->id + ".json")));
            return ReportJSON::read(file.open(QIODevice::ReadOnly) ? file.readAll().toStdString()
                                                                   : "");
        };

        // Refused once negotiated: the negotiation still reaches the library.
        ASSERT_TRUE(call(R"({"name":"n","inputSchema":{"properties":{"n":{"type":"number",
                            "x-mcp-header":"N"}}}})",
                         "{}", false));
        EXPECT_EQ(store.error(), QStringLiteral("Invalid x-mcp-header annotation: N"));
        EXPECT_EQ(store.status(), shownStatus);
        ASSERT_EQ(saved().evidence.size(), store.report()->evidence.size());
        ASSERT_FALSE(store.report()->evidence.empty());
        EXPECT_NE(saved().evidence.back().requestBody->find(negotiation), std::string::npos);

        ASSERT_TRUE(call(tool, arguments, false));
        EXPECT_FALSE(store.error());
        EXPECT_EQ(store.status(), "Tool response recorded");
        const ScanReport report = saved();
        EXPECT_TRUE(report.checks.back().passed) << "a valid tool result";
        const Evidence* selected = report.findEvidence(store.selectedEvidenceID().value_or(""));
        ASSERT_NE(selected, nullptr);
        EXPECT_NE(selected->requestBody->find("\"tools/call\""), std::string::npos);
        // The answer is in the file as the tool's result, backed by that request.
        const GraphNode* result = report.findNode(
            MCPTool(peer.endpoint(), JSONValue::parse(tool)).id() + "#result:" + selected->id);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->evidenceIDs, std::vector<std::string>{selected->id});

        // STOP during a call: the alert says so; the status line is left as it was.
        ASSERT_TRUE(call(tool, arguments, true));
        EXPECT_EQ(store.error(), QStringLiteral("Cancelled"));
        EXPECT_EQ(store.status(), "Tool response recorded");
    }
}

// A call goes out under the Developer Mode the window shows when it is sent:
// not under the one the last scan had, nor the one the store started with.
TEST(ToolCall, ACallFollowsTheDeveloperModeShownWhenItIsSent) {
    McpPeer peer(McpPeer::Kind::Everything);
    QTemporaryDir folder;
    const MCPTool echo(peer.endpoint(), JSONValue::parse(R"({"name":"echo","inputSchema":{}})"));
    // Developer Mode of the scan (none: a new launch opens the saved one), of the call; the alert
    const std::tuple<std::optional<bool>, bool, QString> cases[] = {
        {true, false, "Blocked: plain HTTP requires Developer Mode."},
        {std::nullopt, true, ""},
    };
    for (const auto& [scanMode, callMode, alert] : cases) {
        WorkspaceStore store(folder.path(), {"quorilanth"});
        if (scanMode) {
            store.setDeveloperMode(*scanMode);
            store.setInput(QString::fromStdString(peer.endpoint()));
            store.start();
            ASSERT_TRUE(test::waitUntil([&] { return !store.busy(); }, 60000));
        } else {
            store.load(store.history().at(0));
        }
        store.setDeveloperMode(callMode);
        store.run(echo, JSONValue::parse(R"({"message":"hi"})"), true);
        ASSERT_TRUE(test::waitUntil([&] { return !store.toolBusy(); }, 60000));
        EXPECT_EQ(store.error().value_or(""), alert);
    }
}

TEST(ToolCall, AStopWhileTheDeclaredPagesAreFetchedIsACancellation) {
    // One loopback server is the MCP server and the site: the answer declares
    // three pages, and the second is held until the test ends.
    test::LoopbackHTTPServer server;
    const std::string endpoint = server.url("/mcp");
    test::ScriptedMCPServer mcp;
    mcp.toolResult = R"({"content":[],"structuredContent":{"results":[{"canonical_url":")" +
                     server.url("/p0") + R"("},{"canonical_url":")" + server.url("/held") +
                     R"("},{"canonical_url":")" + server.url("/p2") + R"("}]}})";
    server.on("/mcp", [&](const test::ReceivedRequest& request, test::ResponseWriter& out) {
        HeaderFields headers;
        for (const auto& [name, value] : request.headers)
            headers[name] = value;
        const Evidence hop =
            test::answerMCP({endpoint, request.method, headers, request.body}, mcp).final();
        test::HeaderList sent(hop.responseHeaders.begin(), hop.responseHeaders.end());
        out.respond(int(hop.statusCode.value_or(500)), hop.responseBody.view(), sent);
    });
    server.on("/p0",
              test::respond::text(200, "<title>p0</title>", {{"Content-Type", "text/html"}}));
    server.on("/held", [](const test::ReceivedRequest&, test::ResponseWriter& out) {
        out.pause(std::chrono::seconds(60));
    });

    QTemporaryDir folder;
    const std::unique_ptr<WorkspaceStore> shown = storeShowing(folder, server.origin());
    WorkspaceStore& store = *shown;
    const QString shownStatus = store.status();

    store.run(MCPTool(endpoint, JSONValue::parse(R"({"name":"find","inputSchema":{}})")),
              JSONValue::emptyObject(), true);
    auto asked = [&](const std::string& path) {
        for (const test::ReceivedRequest& request : server.requests())
            if (request.path() == path) return true;
        return false;
    };
    ASSERT_TRUE(test::waitUntil([&] { return asked("/held"); }, 30000));
    store.cancel();
    ASSERT_TRUE(test::waitUntil([&] { return !store.toolBusy(); }, 30000));

    EXPECT_EQ(store.error(), QStringLiteral("Cancelled"));
    EXPECT_EQ(store.status(), shownStatus);
    EXPECT_FALSE(asked("/p2"));
    // The call and the pages fetched until the stop, in the report and its file.
    std::vector<std::string> recorded;
    for (const Evidence& exchange : store.report()->evidence)
        recorded.push_back(exchange.method + " " + exchange.url);
    ASSERT_GE(recorded.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(recorded.end() - 2, recorded.end()),
              (std::vector<std::string>{"GET " + server.url("/p0"), "GET " + server.url("/held")}));
    EXPECT_EQ(store.report()->evidence.back().error, "Cancelled");
    QFile file(folder.filePath(QString::fromStdString(store.report()->id + ".json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    auto ids = [](const ScanReport& report) {
        std::vector<std::string> listed;
        for (const Evidence& exchange : report.evidence)
            listed.push_back(exchange.id);
        return listed;
    };
    EXPECT_EQ(ids(ReportJSON::read(file.readAll().toStdString())), ids(*store.report()));
}

TEST(ToolCall, WhileAScanRunsACallChangesNothing) {
    // The site's pages are held, so a scan of it stays busy.
    test::LoopbackHTTPServer server;
    server.otherwise([](const test::ReceivedRequest&, test::ResponseWriter& out) {
        out.pause(std::chrono::seconds(60));
    });
    QTemporaryDir folder;
    const std::unique_ptr<WorkspaceStore> shown = storeShowing(folder, server.origin());
    WorkspaceStore& store = *shown;
    store.setInput(QString::fromStdString(server.origin()));
    store.start();
    // The live report of the scan, shown from its first step on.
    ASSERT_TRUE(test::waitUntil([&] { return store.report().has_value(); }, 30000));
    ASSERT_TRUE(store.busy());
    store.setError(QStringLiteral("earlier"));
    const std::string before = ReportJSON::write(*store.report());
    store.run(MCPTool(server.url("/mcp"), JSONValue::parse(R"({"name":"t","inputSchema":{}})")),
              JSONValue::emptyObject(), true);
    EXPECT_FALSE(store.toolBusy());
    EXPECT_EQ(store.error(), QStringLiteral("earlier"));
    EXPECT_EQ(ReportJSON::write(*store.report()), before);
    store.cancel();
    ASSERT_TRUE(test::waitUntil([&] { return !store.busy(); }, 30000));
    for (const test::ReceivedRequest& request : server.requests())
        EXPECT_NE(request.method, "POST") << "no call went out";
}

TEST(ToolCall, ASuccessfulCallWhoseReportHoldsNoPostSelectsNoExchange) {
    // A transport that records its methods in lower case: "post" is not "POST".
    test::ScriptedMCPServer mcp;
    mcp.toolResult = R"({"content":[{"type":"text","text":"ok"}]})";
    auto transport = std::make_shared<test::FakeHTTPInspector>();
    transport->otherwise([&](const test::FakeHTTPInspector::Call& call) {
        HTTPResult answer = test::answerMCP(call, mcp);
        answer.exchanges.back().method = "post";
        return answer;
    });
    QTemporaryDir folder;
    auto makeEngine = [transport](NetworkPolicy policy) {
        return std::make_shared<DiscoveryEngine>(policy, transport);
    };
    WorkspaceStore store(folder.path(), {"quorilanth"}, {makeEngine, {}, {}, {}, {}});
    ScanReport report("https://x.example/");
    report.evidence = {Evidence("https://x.example/", "GET")};
    std::ofstream(folder.filePath("shown.json").toStdString()) << ReportGenerator::json(report);
    store.loadFile(folder.filePath("shown.json"), false);
    store.setSelectedEvidenceID(report.evidence[0].id);
    store.run(
        MCPTool("https://x.example/mcp", JSONValue::parse(R"({"name":"t","inputSchema":{}})")),
        JSONValue::emptyObject(), true);
    ASSERT_TRUE(test::waitUntil([&] { return !store.toolBusy(); }, 30000));
    EXPECT_EQ(store.status(), "Tool response recorded");
    EXPECT_GT(store.report()->evidence.size(), 1u);
    EXPECT_EQ(store.selectedEvidenceID(), std::nullopt);
}

} // namespace
} // namespace quorilanth
