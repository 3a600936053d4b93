// The Overview, MCP, Endpoints, Tools and Discovery tabs in the real window,
// offscreen: what they show of a report, where their clicks lead, and the
// verification states of an AI search's candidates under a held scan.

#include "app/technical/DisclosureGroup.h"
#include "app/technical/RowList.h"
#include "app/technical/SelectableText.h"
#include "app/window/QLTheme.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "support/ReportBuilder.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

const std::string site = "https://tea.example/";

const std::string mcpURL = site + "mcp";

ScanReport richReport() {
    testsupport::ReportBuilder build(site);
    build.node(site, NodeKind::domain, FindingStatus::found);
    GraphNode& card = build.document(site + ".well-known/agent-card.json", NodeKind::manifest);
    card.label = "AgentCard";
    card.url = site + "a b"; // a space only in the URL
    card.summary = "Agent card with 2 skills";
    GraphNode& orders = build.node(site + "#orders", NodeKind::endpoint, FindingStatus::found);
    orders.label = "<b>Orders</b> &amp; " + std::string(300, 'W');
    orders.url.reset();
    orders.summary = "Declared in the agent card; not fetched.";
    orders.issues = {"<script>x</script> & kept literal"};
    build.node(site + "llms.txt", NodeKind::discovery, FindingStatus::notFound).label = "llms.txt";
    GraphNode& server = build.node(mcpURL, NodeKind::mcp, FindingStatus::valid);
    server.issues = {"one", "two", "three"};

    MCPServer verified(mcpURL);
    verified.status = FindingStatus::valid;
    verified.version = "2025-11-25";
    verified.latencyMS = 123.9;
    verified.capabilities = JSONValue::parse(R"({"tools":{},"resources":null})");
    verified.issues = {"tools/list page 2 refused"};
    for (const char* definition :
         {R"({"name":"echo","annotations":{"readOnlyHint":true}})", R"({"name":7})",
          R"({"name":"rm","annotations":{"readOnlyHint":true,"destructiveHint":true}})"}) {
        verified.tools.emplace_back(mcpURL, JSONValue::parse(definition));
        build.node(verified.tools.back().id(), NodeKind::tool, FindingStatus::valid).label =
            std::string(verified.tools.back().name());
    }
    MCPServer named(site + "other/mcp");
    named.status = FindingStatus::valid;
    named.info = JSONValue::parse(R"({"name":"Tea & <b>Co</b>"})");
    named.capabilities = JSONValue::emptyArray();
    named.latencyMS = 1e300;
    MCPServer broken(site + "broken/mcp");
    broken.status = FindingStatus::unreachable;
    broken.tools = {MCPTool(broken.url, JSONValue::parse(R"({"name":"lost"})"))};

    ScanReport& report = build.report();
    report.servers = {verified, broken, named};
    report.checks = {{"d1", "Discovery", 7, true, "Entry found.", {}},
                     {"d2", "Discovery", 8, false, "\u22128: no links.", {}},
                     {"m1", "MCP", 20, true, "Negotiated.", {}},
                     {"x", "mcp", 10, true, "Another spelling.", {}}};
    report.notices = {"Budget reached.", "Developer Mode was on."};
    build.edge(site, mcpURL, "declares", "");
    return report;
}

class TechnicalPanesTest : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
        auto dependencies = test::heldDependencies(transport);
        dependencies.makeResearchEngine = [] {
            return std::make_unique<test::ScriptedResearch>(
                std::vector<std::string>{"https://a.example", "https://b.example",
                                         "https://c.example", "https://a.example"});
        };
        store = std::make_unique<WorkspaceStore>(
            folder.filePath("library"), QStringList{"quorilanth"}, std::move(dependencies));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        settle();
    }
    void TearDown() override {
        view.reset();
        store.reset();
        settle();
    }

    void showTab(const ScanReport& report, WorkspaceTab tab) {
        store->loadFile(test::writeReport(folder, report, "shown.json"), false);
        store->setTab(tab);
        settle();
    }
    template <typename T = QWidget> QList<T*> all(const QString& name) const {
        QList<T*> found;
        for (T* widget : view->findChildren<T*>(name))
            if (widget->isVisibleTo(view.get())) found.append(widget);
        return found;
    }
    static QString text(QWidget* widget) {
        if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
        auto* value = qobject_cast<SelectableText*>(widget);
        return value ? value->text() : QString();
    }
    QStringList texts(const QString& name) const {
        QStringList result;
        for (QWidget* widget : all(name))
            result.append(text(widget));
        return result;
    }
    static QStringList rows(RowList* list, int role = Qt::AccessibleTextRole) {
        QStringList result;
        for (int row = 0; list && row < list->model()->rowCount(); ++row)
            result.append(list->model()->index(row, 0).data(role).toString());
        return result;
    }
    static void click(RowList* list, const QString& identifier) {
        const int row = list->rowOf(identifier);
        ASSERT_GE(row, 0) << identifier.toStdString();
        const QRect box = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }
    void snapshot(const QString& name) {
        settle();
        const QImage image = view->grab().toImage();
        EXPECT_EQ(image.pixelColor(700, 10).rgb(), QLTheme::panel().rgb()) << name.toStdString();
        image.save(QStringLiteral(QL_SNAPSHOT_DIR "/%1.png").arg(name));
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport =
        std::make_shared<test::HeldTransport>("b.example");
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

TEST_F(TechnicalPanesTest, OverviewExplainsTheScoreAndLeadsFromAFinding) {
    showTab(richReport(), WorkspaceTab::overview);
    // 7 of 15 is 46; other spellings of a category count nowhere.
    EXPECT_EQ(texts("ql-overview-percent"), QStringList({"46", "0", "100", "0", "0", "0", "0"}));
    EXPECT_EQ(texts("ql-overview-formula"),
              QStringList{"FORMULA v1.1  \u00B7  score = sum of earned check weights  \u00B7  "
                          "available weights = 100"});
    // Tools of every server, verified or not; exchanges; relationships.
    EXPECT_EQ(texts("ql-overview-tile"), QStringList({"4", "1", "1"}));
    EXPECT_TRUE(all("ql-overview-checks").empty()); // groups start closed
    all<QAbstractButton>("ql-overview-category").front()->click();
    settle();
    QStringList checks;
    for (QLabel* label : view->findChild<QWidget*>("ql-overview-checks")->findChildren<QLabel*>())
        checks.append(label->text());
    EXPECT_TRUE(checks.contains("0/8") && checks.contains("7/7")) << checks.join('|').toStdString();
    EXPECT_TRUE(all("ql-overview-no-findings").empty());
    QStringList notices;
    for (auto* notice :
         view->findChild<QWidget*>("ql-overview-notices")->findChildren<SelectableText*>())
        notices.append(notice->text());
    EXPECT_EQ(notices, QStringList({"Budget reached.", "Developer Mode was on."}));

    auto* findings = view->findChild<RowList*>("ql-overview-findings");
    ASSERT_EQ(
        rows(findings, RowList::identifierRole),
        QStringList({QString::fromStdString(site + "#orders"), QString::fromStdString(mcpURL)}));
    for (const bool inspector : {false, true}) {
        store->setShowInspector(inspector);
        settle();
        QPointer<QWidget> pane = view->findChild<QWidget*>("ql-pane-Overview");
        // An MCP server is not listed under Endpoints: the tab switches all the same.
        click(view->findChild<RowList*>("ql-overview-findings"), QString::fromStdString(mcpURL));
        settle();
        EXPECT_EQ(store->selectedID(), mcpURL);
        EXPECT_EQ(store->tab(), WorkspaceTab::endpoints);
        EXPECT_TRUE(store->showInspector());
        EXPECT_FALSE(pane);
        store->setTab(WorkspaceTab::overview);
        settle();
    }

    ScanReport bare = richReport();
    bare.checks.clear();
    for (GraphNode& node : bare.nodes)
        node.issues.clear();
    showTab(bare, WorkspaceTab::overview);
    EXPECT_EQ(texts("ql-overview-percent"), QStringList(7, "0"));
    EXPECT_EQ(all("ql-overview-no-findings").size(), 1);
}

TEST_F(TechnicalPanesTest, ServerCardsForVerifiedServersOnly) {
    showTab(richReport(), WorkspaceTab::mcp);
    EXPECT_EQ(texts("ql-mcp-name"), QStringList({"MCP endpoint", "Tea & <b>Co</b>"}));
    EXPECT_EQ(texts("ql-mcp-fact"),
              QStringList({"PROTOCOL 2025-11-25", "123 MS", "3 TOOLS", "PROTOCOL ",
                           "9223372036854775807 MS", "0 TOOLS"}));
    // A key that is present advertises, whatever its value; a non-object advertises nothing.
    EXPECT_EQ(texts("ql-mcp-note"), QStringList({"Prompts: capability not advertised",
                                                 "Resources: capability not advertised",
                                                 "Prompts: capability not advertised"}));
    EXPECT_EQ(texts("ql-mcp-issue"), QStringList{"tools/list page 2 refused"});
    const QList<RowList*> tools = all<RowList>("ql-mcp-tools");
    ASSERT_EQ(tools.size(), 1);
    EXPECT_EQ(rows(tools.front()),
              QStringList({"echo, READ-ONLY", "Unnamed tool, UNKNOWN", "rm, MUTATING"}));

    click(tools.front(), QString::fromStdString(mcpURL + "#tool:rm"));
    settle();
    EXPECT_EQ(store->selectedID(), mcpURL + "#tool:rm");
    EXPECT_EQ(store->tab(), WorkspaceTab::mcp);
    EXPECT_TRUE(store->showInspector());
    EXPECT_TRUE(all("ql-mcp-empty").empty());

    ScanReport unverified = richReport();
    unverified.servers = {unverified.servers[1]};
    showTab(unverified, WorkspaceTab::mcp);
    EXPECT_TRUE(all("ql-mcp-card").empty());
    EXPECT_EQ(texts("ql-mcp-empty"), QStringList{"No MCP server has been verified in this scan."});
}

TEST_F(TechnicalPanesTest, InventoryFiltersLabelThenURLAndFollowsTheSelection) {
    showTab(richReport(), WorkspaceTab::endpoints);
    auto* filter = view->findChild<QLineEdit*>("ql-inventory-filter");
    auto* list = view->findChild<RowList*>("ql-inventory-list");
    auto ids = [&] {
        QStringList shown = rows(list, RowList::identifierRole);
        for (QString& id : shown)
            id.remove(QStringLiteral("inventory-") + QString::fromStdString(site));
        return shown;
    };
    const struct {
        const char* filter;
        QStringList ids;
    } cases[] = {
        {"", {".well-known/agent-card.json", "#orders", "llms.txt"}},
        {" ", {".well-known/agent-card.json", "#orders"}},
        {"AGENTCARD", {".well-known/agent-card.json"}},
        {"cardhttps://tea", {".well-known/agent-card.json"}}, // the label runs into the URL
        {"not fetched", {}},                                  // summaries are not searched
        {"echo", {}},                                         // nor other kinds
        {"&AMP;", {"#orders"}},
    };
    for (const auto& c : cases) {
        filter->setText(QString::fromUtf8(c.filter));
        EXPECT_EQ(ids(), c.ids) << c.filter;
    }

    // A selection made elsewhere is highlighted; a filter that hides the row keeps it selected.
    filter->clear();
    settle();
    auto rowColour = [&](int row) {
        const QRect box = list->visualRect(list->model()->index(row, 0));
        return list->viewport()->grab().toImage().pixelColor(box.left() + 4, box.top() + 4);
    };
    const QColor plain = rowColour(2);
    store->select(site + "llms.txt");
    settle();
    EXPECT_NE(rowColour(2), plain);
    EXPECT_EQ(rowColour(0), plain);
    filter->setText("agent");
    filter->clear();
    settle();
    EXPECT_EQ(store->selectedID(), site + "llms.txt");
    EXPECT_NE(rowColour(2), plain);

    click(list, QString::fromStdString("inventory-" + site + ".well-known/agent-card.json"));
    EXPECT_EQ(store->selectedID(), site + ".well-known/agent-card.json");
    store->setTab(WorkspaceTab::tools);
    settle();
    EXPECT_EQ(rows(view->findChild<RowList*>("ql-inventory-list")),
              QStringList({"echo", "Unnamed tool", "rm"}));
}

TEST(RowModelTest, GrowingRowsAreAddedNotReset) {
    struct Row {
        QString id, text;
        QString identifier() const { return id; }
        QString spoken() const { return text; }
        bool sameRow(const Row& other) const { return id == other.id; }
        bool operator==(const Row&) const = default;
    };
    RowModel<Row> model;
    int resets = 0, inserted = 0, changed = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&] { ++inserted; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    model.setRows({{"a", "1"}, {"b", "1"}});
    QPersistentModelIndex first = model.index(0);
    model.setRows({{"a", "1"}, {"b", "2"}, {"c", "1"}});
    EXPECT_EQ(std::tuple(resets, inserted, changed), std::tuple(0, 2, 1));
    EXPECT_TRUE(first.isValid());
    model.setRows({{"b", "2"}});
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(model.index(0).data(RowList::identifierRole), "b");
}

TEST_F(TechnicalPanesTest, CandidatesFollowTheirVerificationScans) {
    auto states = [&] {
        QStringList shown;
        for (QWidget* panel : all("ql-candidate")) {
            auto* open = panel->findChild<QPushButton*>("ql-candidate-open");
            shown.append(open->isVisibleTo(view.get())
                             ? (open->isEnabled() ? "open" : "open, disabled")
                             : panel->findChild<QLabel*>("ql-candidate-state")->text());
        }
        return shown;
    };
    // Without a result: the inventory of discovery documents and manifests.
    showTab(richReport(), WorkspaceTab::discovery);
    EXPECT_EQ(rows(view->findChild<RowList*>("ql-inventory-list")),
              QStringList({"AgentCard", "llms.txt"}));

    // The first candidate's scan ends at once, the second's is held.
    store->setDiscoveryMode(true);
    store->setInput("tea shops");
    store->start();
    ASSERT_TRUE(waitUntil([&] { return transport->requests > 0 && store->report(); }));
    settle();
    EXPECT_EQ(states(), QStringList({"open, disabled", "Verification queued / in progress",
                                     "Verification queued / in progress", "open, disabled"}));

    store->cancel();
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    EXPECT_EQ(states(), QStringList({"open", "open", "Not verified", "open"}));
    // The model's raw answer, at the end of the page.
    view->findChild<DisclosureGroup*>("ql-research-raw")->setExpanded(true);
    settle();
    auto* page = view->findChild<QScrollArea*>("ql-research");
    page->verticalScrollBar()->setValue(page->verticalScrollBar()->maximum());
    for (const char* language : {"en", "it"}) {
        test::Language chosen(language);
        view->refresh();
        snapshot(QStringLiteral("discovery-research-%1").arg(language));
    }

    // Opening a candidate's report leads to the guide tab, also when it cannot be read.
    for (const bool readable : {true, false}) {
        store->setTab(WorkspaceTab::discovery);
        settle();
        const QString id =
            store->candidateReports().at(readable ? "https://a.example" : "https://b.example");
        if (!readable) QFile::remove(folder.filePath("library/" + id + ".json"));
        all("ql-candidate")[readable ? 0 : 1]->findChild<QPushButton*>()->click();
        settle();
        EXPECT_EQ(store->tab(), WorkspaceTab::guide);
        EXPECT_EQ(store->error().has_value(), !readable);
        if (readable) {
            EXPECT_EQ(QString::fromStdString(store->report()->id), id);
        }
        store->setError(std::nullopt);
    }
}

TEST_F(TechnicalPanesTest, EachTabInBothLanguages) {
    for (const char* language : {"en", "it"}) {
        test::Language chosen(language);
        for (WorkspaceTab tab : {WorkspaceTab::overview, WorkspaceTab::mcp, WorkspaceTab::endpoints,
                                 WorkspaceTab::tools, WorkspaceTab::discovery}) {
            showTab(richReport(), tab);
            view->refresh();
            for (QAbstractButton* group : all<QAbstractButton>("ql-overview-category").mid(0, 3))
                group->click();
            snapshot(rawValue(tab).toLower() + "-" + language);
        }
    }
}

} // namespace
} // namespace quorilanth
