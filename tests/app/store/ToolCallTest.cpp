// Tool calls from the store to the SDK peers through curl (Developer Mode,
// loopback): a refused call, a real one and a cancelled one, each ending in
// the shown report and in its library file.

#include "StoreTestSupport.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/report/ReportGenerator.h"
#include "support/McpPeer.h"

#include <QFile>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::McpPeer;

TEST(ToolCall, CallsToTheSDKPeersLandInTheLibrary) {
    struct Case {
        McpPeer::Kind peer;
        std::string negotiation, tool, arguments;
        long canonicalPages;
    };
    const std::vector<Case> cases{
        {McpPeer::Kind::Everything, "\"initialize\"",
         R"({"name":"get-resource-links","inputSchema":{}})", R"({"count":2})", 2},
        {McpPeer::Kind::Modern, "\"server/discover\"",
         R"({"name":"get_weather","inputSchema":{"properties":{"region":{"type":"string",
            "x-mcp-header":"Region"}}}})",
         R"({"region":"eu-west"})", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        McpPeer peer(c.peer);
        QTemporaryDir folder;
        auto developerMode = [](NetworkPolicy policy) {
            policy.developerMode = true;
            return std::make_shared<DiscoveryEngine>(policy);
        };
        WorkspaceStore store(folder.path(), {"quorilanth"}, {developerMode, {}, {}, {}});
        std::ofstream(folder.filePath("opened.json").toStdString())
            << ReportGenerator::json(ScanReport(peer.endpoint()));
        store.loadFile(folder.filePath("opened.json"), false);
        const QString shownStatus = store.status();
        auto call = [&](const std::string& definition, const std::string& arguments, bool stop) {
            store.run(MCPTool(peer.endpoint(), JSONValue::parse(definition)),
                      JSONValue::parse(arguments), true);
            if (stop) store.cancel();
            return test::waitUntil([&] { return !store.toolBusy(); }, 60000);
        };
        auto saved = [&] {
            QFile file(folder.filePath(QString::fromStdString(store.report()->id + ".json")));
            return ReportJSON::read(file.open(QIODevice::ReadOnly) ? file.readAll().toStdString()
                                                                   : "");
        };

        // Refused after the negotiation: its exchanges reach the library all the same.
        ASSERT_TRUE(call(R"({"name":"x","inputSchema":{"properties":{"n":{"type":"number",
                            "x-mcp-header":"N"}}}})",
                         "{}", false));
        EXPECT_EQ(store.error(), QStringLiteral("Invalid x-mcp-header annotation: N"));
        EXPECT_EQ(store.status(), shownStatus);
        EXPECT_FALSE(store.report()->evidence.empty());
        EXPECT_EQ(saved().evidence.size(), store.report()->evidence.size());

        ASSERT_TRUE(call(c.tool, c.arguments, false));
        EXPECT_FALSE(store.error()) << store.error()->toStdString();
        EXPECT_EQ(store.status(), "Tool response recorded");
        const ScanReport report = saved();
        EXPECT_EQ(report.checks.back().passed, true) << "actions.result";
        EXPECT_EQ(std::count_if(report.nodes.begin(), report.nodes.end(),
                                [](const GraphNode& n) { return n.label == "Canonical page"; }),
                  c.canonicalPages);
        // The negotiation and the call, the call selected.
        std::string bodies;
        for (const Evidence& e : report.evidence)
            bodies += e.requestBody.value_or("");
        EXPECT_NE(bodies.find(c.negotiation), std::string::npos);
        const Evidence* selected = report.findEvidence(store.selectedEvidenceID().value_or(""));
        ASSERT_NE(selected, nullptr);
        EXPECT_NE(selected->requestBody->find("\"tools/call\""), std::string::npos);

        // STOP during a call: the alert says so, the status line is left as it was.
        ASSERT_TRUE(call(c.tool, c.arguments, true));
        EXPECT_EQ(store.error(), QStringLiteral("Cancelled"));
        EXPECT_EQ(store.status(), "Tool response recorded");
    }
}

} // namespace
} // namespace quorilanth
