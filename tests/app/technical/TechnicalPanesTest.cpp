#include "TechnicalTestSupport.h"
#include "app/kit/DisclosureGroup.h"
#include "app/kit/Panel.h"
#include "app/technical/MCPServersView.h"
#include "support/LoopbackAIService.h"
#include "support/ReportBuilder.h"

#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>

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

class TechnicalPanesTest : public test::TechnicalWindow {
public:
    // Candidates' scans end at once, except b.example's, which is held.
    void SetUp() override {
        TechnicalWindow::SetUp();
        transport = std::make_shared<test::HeldTransport>("b.example");
        auto dependencies = test::heldDependencies(transport);
        dependencies.makeResearchEngine = [] {
            return std::make_unique<test::ScriptedResearch>(
                std::vector<std::string>{"https://a.example", "https://b.example",
                                         "https://c.example", "https://a.example"});
        };
        open(std::move(dependencies));
    }
};

TEST_F(TechnicalPanesTest, OverviewExplainsTheScoreAndLeadsFromAFinding) {
    load(richReport(), WorkspaceTab::overview);
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
    const QStringList checks = texts("ql-overview-checks", true);
    EXPECT_TRUE(checks.contains("0/8") && checks.contains("7/7")) << checks.join('|').toStdString();
    EXPECT_EQ(texts("ql-overview-notices", true),
              QStringList({"Budget reached.", "Developer Mode was on."}));
    snapshot("overview");

    EXPECT_EQ(
        rows(find<RowList>("ql-overview-findings"), RowList::identifierRole),
        QStringList({QString::fromStdString(site + "#orders"), QString::fromStdString(mcpURL)}));
    for (const bool inspector : {false, true}) {
        store->setShowInspector(inspector);
        store->setTab(WorkspaceTab::overview);
        settle();
        QPointer<QWidget> pane = find("ql-pane-Overview");
        // An MCP server is not listed under Endpoints: the tab switches all the same,
        // and the pane goes only after its own click is over.
        clickRow(find<RowList>("ql-overview-findings"), QString::fromStdString(mcpURL));
        EXPECT_EQ(store->selectedID(), mcpURL);
        EXPECT_EQ(store->tab(), WorkspaceTab::endpoints);
        EXPECT_TRUE(store->showInspector());
        EXPECT_FALSE(pane);
    }

    ScanReport bare = richReport();
    bare.checks.clear();
    for (GraphNode& node : bare.nodes)
        node.issues.clear();
    load(bare, WorkspaceTab::overview);
    EXPECT_EQ(texts("ql-overview-percent"), QStringList(7, "0"));
    EXPECT_EQ(all("ql-overview-no-findings").size(), 1);
}

// Rows below the first screen are measured in later turns; once they are,
// the list is exactly as tall as its rows, so the page reaches the last one
// and nothing overlaps, whatever the rows' heights.
TEST_F(TechnicalPanesTest, ManyFindingsSettleToTheirFullHeightAndTheLastStillTakesAClick) {
    testsupport::ReportBuilder build(site);
    for (int i = 0; i < 600; ++i) {
        GraphNode& node = build.node(site + "doc/" + std::to_string(i), NodeKind::endpoint,
                                     FindingStatus::invalid);
        node.label = i % 5 ? "Document " + std::to_string(i) : std::string(400, 'L');
        node.issues = std::vector<std::string>(std::size_t(1 + i % 4), "HTTP 404");
    }
    load(build.report(), WorkspaceTab::overview);
    // The first frame, at the top of the findings.
    snapshot("overview-many-findings", [&] {
        auto* shown = find<QScrollArea>("ql-pane-Overview");
        const int top = find<RowList>("ql-overview-findings")->mapTo(shown->widget(), QPoint()).y();
        shown->verticalScrollBar()->setValue(top - 200);
    });
    auto* list = find<RowList>("ql-overview-findings");
    const auto exact = [&] {
        int total = 0;
        for (int row = 0; row < 600; ++row)
            total += list->rowHeight(row, list->viewport()->width()) + (row < 599 ? 2 : 0);
        return total;
    };
    ASSERT_TRUE(waitUntil([&] { return list->height() == exact(); }, 10000))
        << list->height() << " " << exact();
    const QString last = QString::fromStdString(site + "doc/599");
    const QRect box = list->visualRect(list->model()->index(599, 0));
    EXPECT_EQ(box.bottom() + 1, list->height() + 2); // the gap below the last row lies outside
    auto* page = find<QScrollArea>("ql-pane-Overview");
    page->ensureVisible(0, list->mapTo(page->widget(), box.center()).y());
    clickRow(list, last);
    EXPECT_EQ(store->selectedID(), last.toStdString());
}

TEST_F(TechnicalPanesTest, ServerCardsForVerifiedServersOnly) {
    load(richReport(), WorkspaceTab::mcp);
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
    snapshot("mcp");
    clickRow(tools.front(), QString::fromStdString(mcpURL + "#tool:rm"));
    EXPECT_EQ(store->selectedID(), mcpURL + "#tool:rm");
    EXPECT_EQ(store->tab(), WorkspaceTab::mcp);
    EXPECT_TRUE(store->showInspector());

    ScanReport unverified = richReport();
    unverified.servers = {unverified.servers[1]};
    load(unverified, WorkspaceTab::mcp);
    EXPECT_TRUE(all("ql-mcp-card").empty());
    EXPECT_EQ(texts("ql-mcp-empty"), QStringList{"No MCP server has been verified in this scan."});
}

// A server listing thousands of tools: its card draws its first rows and a
// line counting the rest, and every fact of it stays drawn.
TEST_F(TechnicalPanesTest, AServerOfThousandsOfToolsKeepsItsCardDrawn) {
    const std::size_t limit = MCPServersView::toolLimit;
    for (const std::size_t count : {limit, limit + 1, std::size_t(14000)}) {
        SCOPED_TRACE(count);
        ScanReport report = richReport();
        MCPServer& server = report.servers.front();
        server.tools.clear();
        for (std::size_t i = 0; i < count; ++i)
            server.tools.emplace_back(
                mcpURL, JSONValue::parse("{}").set("name", JSONValue("t" + std::to_string(i))));
        load(report, WorkspaceTab::mcp);
        const QList<RowList*> tools = all<RowList>("ql-mcp-tools");
        ASSERT_EQ(tools.size(), 1);
        EXPECT_EQ(tools.front()->model()->rowCount(), int(limit));
        const QStringList more = texts("ql-mcp-more-tools");
        EXPECT_EQ(more, count == limit ? QStringList()
                        : count == limit + 1
                            ? QStringList{"1 more tool\u2026"}
                            : QStringList{QString::number(count - limit) + " more tools\u2026"});
        EXPECT_TRUE(texts("ql-mcp-fact").contains(QString::number(count) + " TOOLS"));
        QWidget* card = tools.front();
        while (card && card->objectName() != "ql-mcp-card")
            card = card->parentWidget();
        ASSERT_TRUE(card);
        // Its facts, and its first tool row, are drawn on the page as it shows.
        auto* page = find<QScrollArea>("ql-pane-MCP");
        const QImage shown = page->viewport()->grab().toImage();
        QList<QWidget*> drawn = card->findChildren<QWidget*>("ql-mcp-fact");
        drawn.append(tools.front());
        for (QWidget* part : drawn) {
            const QRect box(part->mapTo(page->viewport(), QPoint()), part->size());
            QSet<QRgb> colours;
            for (int y = box.top(); y <= std::min(box.bottom(), box.top() + 40); ++y)
                for (int x = box.left(); x <= box.right(); ++x)
                    colours.insert(shown.pixel(x, y));
            EXPECT_GT(colours.size(), 2) << part->objectName().toStdString();
        }
    }
    snapshot("mcp-many-tools");
}

// One 300-character token from a file in every text of the two panes that
// can grow: each stays inside the page, and the page as wide as its viewport.
TEST_F(TechnicalPanesTest, ALongTokenFromAFileNeverWidensAPage) {
    const std::string token(300, 'W');
    ScanReport report = richReport();
    report.scoringVersion = token;
    MCPServer& server = report.servers.front();
    server.info = JSONValue::parse("{}").set("name", JSONValue(token));
    server.version = token;
    server.transport = token;
    const std::pair<WorkspaceTab, QStringList> cases[] = {
        {WorkspaceTab::overview, {"ql-overview-formula"}},
        {WorkspaceTab::mcp, {"ql-mcp-name", "ql-mcp-fact", "ql-mcp-card"}},
    };
    for (const auto& [tab, names] : cases) {
        load(report, tab);
        auto* page = find<QScrollArea>("ql-pane-" + rawValue(tab));
        ASSERT_TRUE(page);
        EXPECT_LE(page->widget()->width(), page->viewport()->width())
            << rawValue(tab).toStdString();
        for (const QString& name : names)
            for (QWidget* shown : all(name)) {
                const QRect box(shown->mapTo(page->widget(), QPoint()), shown->size());
                EXPECT_LE(box.right(), page->viewport()->width()) << name.toStdString();
            }
        snapshot("long-token-" + rawValue(tab).toLower());
    }
    EXPECT_EQ(texts("ql-mcp-name").front().toStdString(), token);
    EXPECT_EQ(find<Panel>("ql-mcp-card")->title().toStdString(), "MCP \u00B7 " + token);
}

TEST_F(TechnicalPanesTest, InventoryFiltersLabelThenURLAndFollowsTheSelection) {
    load(richReport(), WorkspaceTab::endpoints);
    auto* filter = find<QLineEdit>("ql-inventory-filter");
    auto* list = find<RowList>("ql-inventory-list");
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
        QStringList ids = rows(list, RowList::identifierRole);
        ids.replaceInStrings(QString::fromStdString("inventory-" + site), "");
        EXPECT_EQ(ids, c.ids) << c.filter;
    }
    filter->clear();
    snapshot("endpoints");

    // A selection made elsewhere is highlighted; a filter that hides the row keeps it selected.
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

    clickRow(list, QString::fromStdString("inventory-" + site + ".well-known/agent-card.json"));
    EXPECT_EQ(store->selectedID(), site + ".well-known/agent-card.json");
    store->setTab(WorkspaceTab::tools);
    settle();
    EXPECT_EQ(rows(find<RowList>("ql-inventory-list")),
              QStringList({"echo", "Unnamed tool", "rm"}));
    snapshot("tools");
}

// The filter reads the whole label run into the whole URL, not the cut texts
// a row shows.
TEST_F(TechnicalPanesTest, InventoryFilterReadsPastTheShownCut) {
    const std::string label = std::string(2100, 'L') + "Tail";
    testsupport::ReportBuilder build(site);
    build.node(site + "long", NodeKind::endpoint, FindingStatus::found).label = label;
    build.node(site + "short", NodeKind::endpoint, FindingStatus::found).label = "Short";
    build.report().nodes.back().url.reset();
    load(build.report(), WorkspaceTab::endpoints);
    auto* filter = find<QLineEdit>("ql-inventory-filter");
    const std::pair<QString, QStringList> cases[] = {
        {"tail", {"long"}},
        {"tailhttps://tea.example/long", {"long"}}, // across the join
        {"L\u2026", {}},                            // the cut's mark is not the label's
        {"short", {"short"}},
    };
    for (const auto& [typed, ids] : cases) {
        filter->setText(typed);
        QStringList shown = rows(find<RowList>("ql-inventory-list"), RowList::identifierRole);
        shown.replaceInStrings(QString::fromStdString("inventory-" + site), "");
        EXPECT_EQ(shown, ids) << typed.toStdString();
    }
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
    load(richReport(), WorkspaceTab::discovery);
    EXPECT_EQ(rows(find<RowList>("ql-inventory-list")), QStringList({"AgentCard", "llms.txt"}));
    snapshot("discovery");

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
    // A tool call verifies nothing: the buttons wait for it, the text does not change.
    store->run(MCPTool("https://b.example/mcp",
                       JSONValue::parse(R"({"name":"held","annotations":{"readOnlyHint":true}})")),
               JSONValue::parse("{}"), true);
    ASSERT_TRUE(store->toolBusy());
    settle();
    EXPECT_EQ(states(),
              QStringList({"open, disabled", "open, disabled", "Not verified", "open, disabled"}));
    transport->released = true;
    ASSERT_TRUE(waitUntil([&] { return !store->toolBusy(); }, 20000));
    transport->released = false;
    store->setError(std::nullopt);
    settle();
    // The model's raw answer, at the end of the page.
    find<DisclosureGroup>("ql-research-raw")->setExpanded(true);
    settle();
    QScrollBar* scroller = find<QScrollArea>("ql-research")->verticalScrollBar();
    scroller->setValue(scroller->maximum());
    snapshot("discovery-research");

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

// A live scan held at llms.txt until the test lets it go on.
class LiveInventoryTest : public test::TechnicalWindow {};

// The rows already listed keep their place (the list never starts afresh,
// which would throw the reader back to its top) while the observations that
// arrive join below them, under the filter the reader typed.
TEST_F(LiveInventoryTest, GrowsUnderItsFilterWithoutStartingAfresh) {
    transport = std::make_shared<test::HeldTransport>("/llms.txt");
    open();
    store->setTab(WorkspaceTab::endpoints);
    store->setInput("https://a.example");
    store->start();
    ASSERT_TRUE(waitUntil([&] { return transport->requests > 0 && store->report(); }));
    settle();
    QPointer<RowList> list = find<RowList>("ql-inventory-list");
    type("ql-inventory-filter", ".JSON");
    EXPECT_EQ(rows(list), QStringList({"agent.json", "agent-card.json", "ai-catalog.json",
                                       "agent-manifest.json"}));
    const QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
    const QSignalSpy inserted(list->model(), &QAbstractItemModel::rowsInserted);

    transport->released = true;
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    ASSERT_TRUE(list);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_GE(inserted.count(), 1);
    EXPECT_EQ(rows(list), QStringList({"agent.json", "agent-card.json", "ai-catalog.json",
                                       "agent-manifest.json", "mcp.json"}));
    type("ql-inventory-filter", "");
    EXPECT_EQ(rows(list).size(), 9);
}

// AI mode as a person meets it: a request through the real research engine,
// then the sites the model selected scanned and listed in the discovery tab,
// each with its report to open.
class AIDiscoveryTest : public test::TechnicalWindow {
protected:
    test::LoopbackAIService service; // outlives the store, which TearDown closes
};

TEST_F(AIDiscoveryTest, TheSelectedSitesAreScannedAndListedInTheDiscoveryTab) {
    open(service.dependencies());
    store->setProvider(AIProvider::openAI);
    store->setDiscoveryMode(true);
    store->setInput("official museum sites");
    store->start();
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }, 60000));
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::discovery);
    QStringList listed;
    for (QWidget* panel : all("ql-candidate")) {
        QStringList shown;
        for (QWidget* part : panel->findChildren<QWidget*>())
            if (part->isVisibleTo(view.get()) && !text(part).isEmpty()) shown.append(text(part));
        const auto* open = panel->findChild<QPushButton*>("ql-candidate-open");
        shown.append(open->isVisibleTo(view.get()) && open->isEnabled() ? open->text() : "-");
        listed.append(shown.join(" | "));
    }
    const QString header = "CANDIDATE \u00B7 OFFICIAL ORIGIN PENDING EVIDENCE | ";
    EXPECT_EQ(
        listed,
        QStringList({header + "https://localhost/a | https://localhost | Relevant candidate | "
                              "Search source: https://localhost/a | See what this site offers",
                     header + "https://10.0.0.5/ | https://10.0.0.5 | Relevant candidate | "
                              "Search source: https://10.0.0.5/ | See what this site offers"}))
        << listed.join("\n").toStdString();
    snapshot("discovery-ai-search");
}

} // namespace
} // namespace quorilanth
