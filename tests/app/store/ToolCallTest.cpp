// Tool calls from the store to the SDK peers through curl (Developer Mode,
// loopback): a refused call, a real one and a cancelled one, each ending in
// the shown report and in its library file.

#include "StoreTestSupport.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/report/ReportGenerator.h"
#include "support/McpPeer.h"

#include <QFile>
#include <fstream>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using testing::McpPeer;

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
        auto developerMode = [](NetworkPolicy policy) {
            policy.developerMode = true;
            return std::make_shared<DiscoveryEngine>(policy);
        };
        WorkspaceStore store(folder.path(), {"quorilanth"}, {developerMode, {}, {}, {}, {}});
        std::ofstream(folder.filePath("shown.json").toStdString())
            << ReportGenerator::json(ScanReport(peer.endpoint()));
        store.loadFile(folder.filePath("shown.json"), false);
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

} // namespace
} // namespace quorilanth
