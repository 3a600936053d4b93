#include "app/technical/ToolRunner.h"

#include "TechnicalTestSupport.h"
#include "app/technical/DisclosureGroup.h"
#include "app/technical/JSONTree.h"
#include "app/technical/SelectableText.h"
#include "core/engine/DiscoveryEngine.h"
#include "support/McpPeer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

// A report whose one server offers the given tools, each with a node.
ScanReport withTools(const std::string& server, const std::vector<std::string>& definitions) {
    ScanReport report(server);
    MCPServer offered(server);
    offered.status = FindingStatus::valid;
    for (const std::string& definition : definitions) {
        offered.tools.emplace_back(server, JSONValue::parse(definition));
        report.nodes.emplace_back(offered.tools.back().id(), NodeKind::tool,
                                  std::string(offered.tools.back().name()), std::nullopt,
                                  FindingStatus::valid);
    }
    report.servers = {offered};
    return report;
}

class Runner : public test::TechnicalWindow {
public:
    void type(const QString& property, const QString& text) {
        auto* field = find<QLineEdit>("ql-tool-field-" + property);
        field->setText(text);
        emit field->textEdited(text);
    }
    void choose(const QString& property, const QString& text) {
        auto* box = find<QComboBox>("ql-tool-field-" + property);
        box->setCurrentIndex(box->findText(text));
    }
    void run() {
        find<QPushButton>("tool-run")->click();
        settle();
    }
    QMessageBox* alert() const { return find<QMessageBox>("ql-tool-confirm"); }
    // What the open alert would send, closing it with Cancel.
    std::optional<JSONValue> pending() {
        QMessageBox* box = alert();
        if (!box) return std::nullopt;
        const QString text = box->text();
        find<QPushButton>("ql-tool-confirm-cancel")->click();
        settle();
        return JSONValue::parse(text.mid(text.indexOf("Arguments:\n") + 11).toStdString());
    }
    QString error() const {
        return shown("ql-tool-error") ? find<SelectableText>("ql-tool-error")->text() : QString();
    }
};

TEST_F(Runner, BuildsTheArgumentsEachPropertyDeclares) {
    open();
    load(withTools("https://x.example/mcp", {R"({"name":"t","inputSchema":{"properties":{
                        "s":{"type":"string"},"i":{"type":"integer"},"u":{},
                        "n":{"enum":[1,2]},"w":{"enum":["a","b"]},
                        "m":{"type":["string","number"],"enum":[1,"x"]},
                        "b":{"type":"boolean"}}}})",
                                             R"({"name":"bare"})"}),
         "https://x.example/mcp#tool:t");
    type("s", "42");
    type("i", "42");
    type("u", "42");
    choose("n", "2");
    choose("w", "b");
    choose("m", "1");
    choose("b", "true");
    run();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(pending(),
              JSONValue::parse(R"({"s":"42","i":42,"u":42,"n":2,"w":"b","m":1,"b":true})"));

    choose("w", "Not set");
    type("i", " ");
    run();
    EXPECT_TRUE(error().startsWith("i: Invalid JSON")) << error().toStdString();
    EXPECT_FALSE(alert());

    // JSON mode sends its own text, whatever the form holds.
    find<QCheckBox>("ql-tool-json-mode")->setChecked(true);
    EXPECT_EQ(find<QPlainTextEdit>("ql-tool-json")->toPlainText(), "{}");
    find<QPlainTextEdit>("ql-tool-json")->setPlainText("[]");
    run();
    EXPECT_EQ(error(), "");
    EXPECT_EQ(pending(), JSONValue::emptyArray());

    // Without an input schema nothing can be sent.
    store->select("https://x.example/mcp#tool:bare");
    settle();
    run();
    EXPECT_EQ(error(), "$: invalid schema object");
    EXPECT_FALSE(alert());
}

TEST_F(Runner, ShowsTheLastAnswerOfThisToolOnThisServerOnly) {
    ScanReport report = withTools("https://a.example/mcp", {R"({"name":"search"})"});
    const ScanReport other = withTools("https://b.example/mcp", {R"({"name":"search"})"});
    report.servers.push_back(other.servers[0]);
    report.nodes.push_back(other.nodes[0]);
    Evidence call("https://a.example/mcp", "POST");
    call.requestBody =
        R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"search"}})";
    call.responseBody = R"({"result":{"n":5}})";
    // Names the tool in its arguments only, on the other server.
    Evidence mention("https://b.example/mcp", "POST");
    mention.requestBody = R"({"jsonrpc":"2.0","id":2,"method":"tools/call",)"
                          R"("params":{"name":"find","arguments":{"q":"\"search\""}}})";
    report.evidence = {call, mention};
    open();
    load(report, "https://b.example/mcp#tool:search");
    EXPECT_FALSE(shown("ql-tool-last-response"));
    store->select("https://a.example/mcp#tool:search");
    settle();
    ASSERT_TRUE(shown("ql-tool-last-response"));
    find<DisclosureGroup>("ql-tool-response")->setExpanded(true);
    EXPECT_EQ(find<DisclosureGroup>("ql-tool-response")
                  ->content()
                  ->findChild<DisclosureGroup*>()
                  ->header()
                  ->title(),
              "result");
    find<QPushButton>("ql-tool-open-raw")->click();
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::raw);
    EXPECT_EQ(store->selectedEvidenceID(), call.id);
}

TEST_F(Runner, CallsThePeerOnlyWhenRunAndConfirmed) {
    testing::McpPeer peer(testing::McpPeer::Kind::StatelessJSON);
    WorkspaceStore::Dependencies dependencies;
    dependencies.makeEngine = [](NetworkPolicy policy) {
        policy.developerMode = true;
        return std::make_shared<DiscoveryEngine>(policy);
    };
    open(std::move(dependencies));
    const std::string server = peer.endpoint();
    load(withTools(server, {R"({"name":"add","annotations":{"readOnlyHint":true},"inputSchema":{
                        "type":"object","properties":{"a":{"type":"number"},
                        "b":{"type":"number"}},"required":["a","b"]}})",
                            R"({"name":"reset_counter","annotations":{"destructiveHint":true},
                        "inputSchema":{"type":"object"}})"}),
         server + "#tool:reset_counter");
    const std::size_t recorded = store->report()->evidence.size();

    run();
    ASSERT_TRUE(alert());
    EXPECT_EQ(alert()->windowTitle(), "Invoke MUTATING tool?");
    EXPECT_EQ(alert()->defaultButton(), find<QPushButton>("ql-tool-confirm-cancel"));
    find<QPushButton>("ql-tool-confirm-cancel")->click();
    settle();
    EXPECT_FALSE(store->toolBusy());
    EXPECT_EQ(store->report()->evidence.size(), recorded);

    run();
    find<QPushButton>("ql-tool-confirm-invoke")->click();
    ASSERT_TRUE(store->toolBusy());
    settle();
    EXPECT_EQ(find<QPushButton>("tool-run")->text(), "RUNNING\u2026");
    EXPECT_FALSE(find<QPushButton>("tool-run")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !store->toolBusy(); }, 60000));
    settle();
    EXPECT_FALSE(store->error()) << store->error()->toStdString();
    EXPECT_TRUE(shown("ql-tool-last-response"));

    // A read-only tool runs at once; what was typed survives the new report.
    store->select(server + "#tool:add");
    settle();
    auto* runner = find<ToolRunner>("ql-tool-runner");
    type("a", "2");
    type("b", "3");
    run();
    EXPECT_FALSE(alert());
    ASSERT_TRUE(waitUntil([&] { return !store->toolBusy(); }, 60000));
    settle();
    EXPECT_EQ(find<ToolRunner>("ql-tool-runner"), runner);
    EXPECT_EQ(find<QLineEdit>("ql-tool-field-a")->text(), "2");
    QStringList texts;
    for (int level = 0; level < 6; ++level)
        for (auto* group : find("ql-tool-last-response")->findChildren<DisclosureGroup*>())
            group->setExpanded(true);
    for (auto* text : find("ql-tool-last-response")->findChildren<SelectableText*>())
        texts << text->text();
    EXPECT_TRUE(texts.contains("5")) << texts.join(", ").toStdString();
}

} // namespace
} // namespace quorilanth
