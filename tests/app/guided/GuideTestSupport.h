#pragma once

// What the guide's tests share: a shop whose server offers tools of every
// kind of safety and field, two documents, an earlier answer; and a window
// showing the guide tab.

#include "app/guided/GuidedBrowserView.h"
#include "app/guided/GuidedToolView.h"
#include "app/guided/ToolCardGrid.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "support/ReportBuilder.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace quorilanth::test {

inline const std::string shopServer = "https://shop.example/mcp";

inline MCPTool shopTool(const std::string& definition) {
    return MCPTool(shopServer, JSONValue::parse(definition));
}

inline ScanReport shopReport(const std::string& hostile = "<i>Italic</i> &amp; <b>&</b>") {
    testsupport::ReportBuilder site("https://shop.example/");
    GraphNode& manifest =
        site.document("https://shop.example/.well-known/agent.json", NodeKind::manifest);
    manifest.label = "agent.json";
    manifest.metadata = JSONValue::parse(
        R"({"name":"Shop","description":{"en":"Apps for every day.","it":"App per ogni giorno."},
            "version":"2.1","contact":{"email":"help@shop.example"}})");
    const std::string text = site.exchange("https://shop.example/llms.txt", 200, "text/plain",
                                           "# Shop\nAll about apps.");
    GraphNode& llms = site.node("https://shop.example/llms.txt", NodeKind::discovery,
                                FindingStatus::found, {text});
    llms.label = "llms.txt";
    llms.isAgentDocument = true;
    site.node(shopServer, NodeKind::mcp, FindingStatus::valid);

    MCPServer server(shopServer);
    server.status = FindingStatus::valid;
    server.tools = {
        shopTool(R"({"name":"search_apps","annotations":{"readOnlyHint":true},
            "inputSchema":{"type":"object","required":["query"],"properties":{
              "query":{"type":"string","description":"Words <b>to</b> look for"},
              "language":{"type":"string","enum":["it","en"]},
              "limit":{"type":"integer"},"free":{"type":"boolean"},
              "tags":{"type":"array","items":{"type":"string"}},"filters":{"type":"object"}}}})"),
        shopTool(R"({"name":"get_app_details","annotations":{"readOnlyHint":true},
            "inputSchema":{"required":["app_id"],"properties":{"app_id":{"type":"string"}}}})"),
        shopTool(R"({"name":"delete_cart","annotations":{"destructiveHint":true},
            "inputSchema":{"required":["cart_id"],"properties":{"cart_id":{"type":"string"}}}})"),
        shopTool(R"({"name":"export_report","inputSchema":{"type":"object"}})"),
        MCPTool(shopServer, JSONValue::parse(R"({"name":"hostile_tool"})")
                                .set("title", JSONValue(hostile))
                                .set("description", JSONValue(hostile))),
    };
    site.report().servers.push_back(server);
    site.report().evidence.push_back(
        testsupport::toolCall(shopServer, "search_apps",
                              R"({"jsonrpc":"2.0","id":1,"result":{"structuredContent":{"results":[
            {"type":"app","id":"app-1","name":"Notes & <b>Co</b>","price":0,
             "canonical_url":"https://shop.example/apps/notes","details":{"size":"2 MB"},
             "r&d":{"lab":1}},
            {"type":"app","id":"app-2","name":"Atlas","price":3}],"language":"it"}}})"));
    return site.report();
}

// A window on the guide tab of a report, with a transport that holds every
// request until the test releases it.
class GuideWindow : public ::testing::Test {
public:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
    }

    void open(const ScanReport& report, WorkspaceStore::Dependencies dependencies = {}) {
        store = std::make_unique<WorkspaceStore>(
            folder.filePath("library"), QStringList{"quorilanth"},
            dependencies.makeEngine ? std::move(dependencies) : heldDependencies(transport));
        store->loadFile(writeReport(folder, report, QString::number(++files) + ".json"), false);
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        settle();
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return view->findChild<T*>(name);
    }
    GuidedBrowserView* page() const { return find<GuidedBrowserView>("ql-guided-page"); }
    GuidedToolView* form() const { return page() ? page()->form() : nullptr; }
    // Presses a tool's card where it lies on the page.
    void pressCard(const QString& identifier) {
        ToolCardGrid* grid = page()->cards();
        const int index = grid->indexOf(identifier);
        ASSERT_GE(index, 0) << identifier.toStdString();
        page()->ensureWidgetVisible(grid);
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cardRect(index).center());
        settle();
    }
    // Whether the form's top is at the top of the page's view, or as near as it goes.
    bool formAtTop() const {
        QScrollBar* bar = page()->verticalScrollBar();
        return bar->value() > 0 &&
               bar->value() ==
                   qMin(bar->maximum(), page()->formSlot()->mapTo(page()->widget(), QPoint()).y());
    }
    void type(const QString& field, const QString& text) {
        auto* edit = find<QLineEdit>(field);
        ASSERT_TRUE(edit) << field.toStdString();
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void snapshot(const QString& name) {
        settle();
        view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/") + name + QStringLiteral(".png"));
    }

    QTemporaryDir folder{folderTemplate()};
    int files = 0;
    std::shared_ptr<HeldTransport> transport = std::make_shared<HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

} // namespace quorilanth::test
