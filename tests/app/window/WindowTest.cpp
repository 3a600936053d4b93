#include "ShellTestSupport.h"
#include "app/window/Panel.h"
#include "app/window/QLTheme.h"
#include "app/window/ReportHeader.h"
#include "app/window/StatusBadge.h"
#include "app/window/Symbols.h"
#include "app/window/TabStrip.h"
#include "app/window/ViewKit.h"
#include "app/window/WorkspaceView.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

ScanReport sampleReport(const std::string& domain = "https://shop.example/") {
    ScanReport report(domain);
    const FindingStatus statuses[] = {FindingStatus::found,       FindingStatus::valid,
                                      FindingStatus::invalid,     FindingStatus::unreachable,
                                      FindingStatus::unsupported, FindingStatus::blocked,
                                      FindingStatus::notFound,    FindingStatus::pending};
    int index = 0;
    for (FindingStatus status : statuses) {
        const std::string id = domain + "n" + std::to_string(index++);
        report.nodes.emplace_back(id, NodeKind::manifest, "node " + std::to_string(index), id,
                                  status);
    }
    MCPServer verified(domain + "mcp");
    verified.status = FindingStatus::valid;
    verified.tools = {MCPTool(verified.url, JSONValue::parse(R"({"name":"a"})")),
                      MCPTool(verified.url, JSONValue::parse(R"({"name":"b"})"))};
    MCPServer broken(domain + "broken");
    broken.status = FindingStatus::invalid;
    broken.tools = {MCPTool(broken.url, JSONValue::parse(R"({"name":"c"})"))};
    report.servers = {verified, broken};
    report.checks = {{"a", "Discovery", 15, true, "ok", {}},
                     {"b", "MCP", 20, true, "ok", {}},
                     {"c", "Actions", 10, false, "\u22121", {}}};
    report.evidence = {Evidence(domain, "GET"), Evidence(domain + "mcp", "POST"),
                       Evidence(domain, "OPTIONS")};
    return report;
}

class WindowTest : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override { close(); }

    // Ends this window and store, so that a table row can open its own.
    void close() {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
        transport->released = false;
    }

    void open(const QStringList& arguments = {QStringLiteral("quorilanth")}) {
        store = std::make_unique<WorkspaceStore>(folder.filePath("library"), arguments,
                                                 test::heldDependencies(transport));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        settle();
    }

    void load(const ScanReport& report) {
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        false);
        settle();
    }

    // A scan that runs until stopped.
    void startHeldScan(const QString& address = QStringLiteral("https://held.example")) {
        store->setInput(address);
        store->start();
        ASSERT_TRUE(waitUntil([&] { return store->busy() && transport->requests > 0; }));
        settle();
    }

    // An AI search that ends with a result and nothing to scan.
    void finishEmptyResearch() {
        store->setDiscoveryMode(true);
        store->setInput(QStringLiteral("shops that sell tea"));
        store->start();
        ASSERT_TRUE(waitUntil([&] { return !store->busy() && store->research(); }));
        settle();
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return view->findChild<T*>(name);
    }
    bool shown(const QString& name) const {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(view.get());
    }
    QString statusText() const { return find<ElidedLabel>("ql-status-text")->text(); }

    QTemporaryDir folder{test::folderTemplate()};
    int files = 0;
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

TEST_F(WindowTest, BandsAndColumnsFollowTheStore) {
    using Area = WorkspaceView::MainArea;
    struct Case {
        const char* name;
        bool report, research, aiMode;
        WorkspaceTab tab;
        bool inspector, library;
        Area area;
        bool strip, inspectorColumn, header;
    };
    const Case cases[] = {
        {"launch", false, false, false, WorkspaceTab::guide, true, false, Area::welcome, true,
         false, false},
        {"technical tab without report", false, false, false, WorkspaceTab::overview, true, false,
         Area::welcome, true, true, false},
        {"report on the guide", true, false, false, WorkspaceTab::guide, true, false, Area::report,
         true, false, false},
        {"report on a technical tab", true, false, false, WorkspaceTab::raw, true, false,
         Area::report, true, true, true},
        {"inspector switched off", true, false, false, WorkspaceTab::overview, false, false,
         Area::report, true, false, true},
        {"library over a report", true, false, false, WorkspaceTab::overview, true, true,
         Area::library, false, false, false},
        {"library without report", false, false, false, WorkspaceTab::guide, true, true,
         Area::library, false, false, false},
        {"AI result, no report", false, true, true, WorkspaceTab::discovery, true, false,
         Area::report, true, true, false},
        {"AI result, site mode again", false, true, false, WorkspaceTab::discovery, true, false,
         Area::welcome, true, true, false},
        {"AI mode, no result", false, false, true, WorkspaceTab::discovery, true, false,
         Area::welcome, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        if (c.research) finishEmptyResearch();
        if (c.report) load(sampleReport());
        store->setDiscoveryMode(c.aiMode);
        store->setTab(c.tab);
        store->setShowInspector(c.inspector);
        store->setShowLibrary(c.library);
        settle();
        EXPECT_EQ(view->mainArea(), c.area);
        EXPECT_EQ(shown("ql-library"), c.area == Area::library);
        EXPECT_EQ(shown("ql-welcome"), c.area == Area::welcome);
        EXPECT_EQ(shown("ql-tab-strip"), c.strip);
        EXPECT_EQ(shown("ql-inspector"), c.inspectorColumn);
        EXPECT_EQ(shown("ql-report-header"), c.header);
        EXPECT_TRUE(shown("ql-search-bar"));
        close();
    }
}

TEST_F(WindowTest, EachTabShowingBuildsItsPaneAfresh) {
    open();
    load(sampleReport());
    store->setTab(WorkspaceTab::overview);
    settle();
    QPointer<QWidget> first = find("ql-pane-Overview");
    ASSERT_TRUE(first);
    store->setTab(WorkspaceTab::overview); // the same tab again: the pane stays
    settle();
    EXPECT_EQ(find("ql-pane-Overview"), first.data());

    store->setTab(WorkspaceTab::raw);
    settle();
    EXPECT_FALSE(first);
    ASSERT_TRUE(find("ql-pane-Raw"));

    // Through the library and back: a new pane.
    QPointer<QWidget> raw = find("ql-pane-Raw");
    store->setShowLibrary(true);
    settle();
    store->setShowLibrary(false);
    settle();
    EXPECT_FALSE(raw);
    EXPECT_TRUE(shown("ql-pane-Raw"));
}

TEST_F(WindowTest, ScanIsEnabledOnlyForTextThatIsNotBlank) {
    open();
    auto* field = find<QLineEdit>("scan-input");
    auto* scan = find<QPushButton>("scan-start");
    ASSERT_TRUE(field && scan);
    const struct {
        QString text;
        bool enabled;
    } cases[] = {{"", false},   {"   ", false},
                 {"\t", false}, {QStringLiteral("\u2003"), false},
                 {"a", true},   {"  shop.example ", true},
                 {"&<b>", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        field->selectAll();
        // Typed as one edit: key clicks cannot spell tabs or em spaces.
        field->insert(c.text);
        settle();
        EXPECT_EQ(store->input(), c.text);
        EXPECT_EQ(scan->isEnabled(), c.enabled);
    }
}

TEST_F(WindowTest, KeysAndScanStartWhatIsTypedUntrimmed) {
    enum class Press { returnKey, controlReturn, scanButton };
    const struct {
        const char* name;
        QString text;
        Press press;
        bool starts;
    } cases[] = {
        {"Return with spaces around", "  https://held.example  ", Press::returnKey, true},
        {"Return in a blank field", "   ", Press::returnKey, true},
        {"Ctrl+Return", "https://held.example", Press::controlReturn, true},
        {"Ctrl+Return in a blank field", "  ", Press::controlReturn, false},
        {"SCAN", " https://held.example", Press::scanButton, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        auto* field = find<QLineEdit>("scan-input");
        field->setFocus();
        QTest::keyClicks(field, c.text);
        settle();
        QSignalSpy starts(store.get(), &WorkspaceStore::taskChanged);
        switch (c.press) {
        case Press::returnKey:
            QTest::keyClick(field, Qt::Key_Return);
            break;
        case Press::controlReturn:
            QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
            break;
        case Press::scanButton:
            QTest::mouseClick(find<QPushButton>("scan-start"), Qt::LeftButton);
            break;
        }
        EXPECT_EQ(!starts.isEmpty(), c.starts);
        if (c.starts) {
            // What the store works on is the field's text exactly as typed.
            EXPECT_EQ(store->input(), c.text);
            // A blank address fails in the store's ordinary way.
            if (c.text.trimmed().isEmpty()) {
                EXPECT_TRUE(
                    waitUntil([&] { return !store->busy() && store->error().has_value(); }));
            }
        }
        close();
    }
}

TEST_F(WindowTest, StopReplacesScanWhileBusyAndCancelsTheTask) {
    open();
    startHeldScan();
    EXPECT_FALSE(shown("scan-start"));
    ASSERT_TRUE(shown("ql-scan-stop"));
    EXPECT_FALSE(find("scan-input")->isEnabled());
    EXPECT_FALSE(find("ql-scan-mode")->isEnabled());
    EXPECT_FALSE(find("open-report")->isEnabled());
    EXPECT_EQ(find<QLineEdit>("scan-input")->text(), "https://held.example");

    // Only a stop request ends a held scan, so the end of work proves it.
    QTest::mouseClick(find<QPushButton>("ql-scan-stop"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    EXPECT_TRUE(shown("scan-start"));
    EXPECT_FALSE(shown("ql-scan-stop"));
    EXPECT_TRUE(find("scan-input")->isEnabled());
    EXPECT_TRUE(find("open-report")->isEnabled());
}

TEST_F(WindowTest, ModeMenuSwitchesPlaceholderAndKeepsTheText) {
    open();
    auto* field = find<QLineEdit>("scan-input");
    auto* mode = find<QToolButton>("ql-scan-mode");
    QTest::keyClicks(field, "tea shops");
    const struct {
        const char* language;
        int item;
        QString label, placeholder;
    } cases[] = {
        {"en", 1, "Find sites \u00B7 AI", "Describe what you want to find\u2026"},
        {"it", 0, "Esplora un sito", "Inserisci l\u2019indirizzo di un sito\u2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label.toStdString());
        test::Language language(c.language);
        mode->menu()->actions().at(c.item)->trigger();
        settle();
        EXPECT_EQ(store->discoveryMode(), c.item == 1);
        EXPECT_EQ(mode->text(), c.label);
        EXPECT_EQ(field->placeholderText(), c.placeholder);
        EXPECT_EQ(field->text(), "tea shops");
    }
}

TEST_F(WindowTest, StatusLineRulesInBothLanguages) {
    struct Case {
        const char* name;
        std::function<void(WindowTest&)> arrange;
        QString english, italian;
        QString right; // the guide tab's text or the technical counter
    };
    const QString exportedName = "shop.example-quorilanth.json";
    const Case cases[] = {
        {"launch", [](WindowTest&) {}, "Enter a site to get started",
         "Inserisci un sito per iniziare", "Exploring public websites"},
        {"report on the guide", [](WindowTest& t) { t.load(sampleReport()); },
         "Scan ready \u00B7 choose what you want to do",
         "Scansione disponibile \u00B7 scegli cosa vuoi fare", "Exploring public websites"},
        {"scan on the guide", [](WindowTest& t) { t.startHeldScan(); },
         "Reading the site\u2019s information\u2026", "Sto leggendo le informazioni del sito\u2026",
         "Exploring public websites"},
        {"technical tab shows the store's own status",
         [](WindowTest& t) { t.store->setTab(WorkspaceTab::overview); }, "Ready to explore",
         "Ready to explore", "0 HTTP EXCHANGES"},
        {"counter counts every exchange",
         [](WindowTest& t) {
             t.load(sampleReport());
             t.store->setTab(WorkspaceTab::raw);
         },
         "", "", "3 HTTP EXCHANGES"},
        {"library", [](WindowTest& t) { t.store->setShowLibrary(true); },
         "Scans saved on this computer", "Scansioni salvate sul computer",
         "Exploring public websites"},
        {"export comes first, also over the library",
         [&](WindowTest& t) {
             t.load(sampleReport());
             t.store->exportReport("json", t.folder.filePath(exportedName));
             t.store->setShowLibrary(true);
         },
         "Exported: " + exportedName, "Esportato: " + exportedName, "Exploring public websites"},
        {"developer mode on the guide", [](WindowTest& t) { t.store->setDeveloperMode(true); },
         "Enter a site to get started", "Inserisci un sito per iniziare",
         "Local network access enabled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        c.arrange(*this);
        settle();
        for (const bool italian : {false, true}) {
            test::Language language(italian ? "it_IT" : "en-US");
            view->refresh();
            const QString expected = italian ? c.italian : c.english;
            if (!expected.isEmpty()) {
                EXPECT_EQ(statusText(), expected);
            }
            if (!italian && store->tab() == WorkspaceTab::guide) {
                EXPECT_EQ(find<QLabel>("ql-status-network")->text(), c.right);
            }
        }
        if (store->tab() == WorkspaceTab::guide) {
            EXPECT_FALSE(shown("ql-status-exchanges"));
        } else {
            EXPECT_EQ(find<QLabel>("ql-status-exchanges")->text(), c.right);
            EXPECT_EQ(find<QLabel>("ql-status-mode")->text(), "PUBLIC NETWORK ONLY");
            EXPECT_FALSE(shown("ql-status-network"));
        }
        EXPECT_EQ(find<Swatch>("ql-status-dot")->colour(),
                  store->busy() ? QLTheme::accent() : QLTheme::muted());
        close();
    }
}

TEST_F(WindowTest, TabStripFacesAndIdentifiers) {
    open();
    const QStringList technical{"tab-Overview", "tab-Discovery", "tab-Endpoints", "tab-MCP",
                                "tab-Tools",    "tab-Raw",       "tab-SCHEMA"};
    // At launch the guide face shows but does not respond.
    EXPECT_TRUE(shown("ql-tab-chip"));
    EXPECT_TRUE(shown("ql-tab-technical"));
    EXPECT_FALSE(shown("ql-tab-back"));
    for (const QString& id : technical)
        EXPECT_EQ(shown(id), id == "tab-SCHEMA") << id.toStdString();
    EXPECT_FALSE(find("ql-tab-strip")->isEnabled());

    load(sampleReport());
    EXPECT_TRUE(find("ql-tab-strip")->isEnabled());
    QTest::mouseClick(find<QToolButton>("ql-tab-technical"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_FALSE(shown("ql-tab-chip"));
    EXPECT_TRUE(shown("ql-tab-back"));
    for (const QString& id : technical)
        EXPECT_EQ(find<TabButton>(id)->selected(), id == "tab-Overview") << id.toStdString();

    QTest::mouseClick(find<TabButton>("tab-MCP"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::mcp);
    QTest::mouseClick(find<QToolButton>("ql-tab-back"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::guide);
    QTest::mouseClick(find<TabButton>("tab-SCHEMA"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::schema);
}

TEST_F(WindowTest, TabStripRespondsToAnAIResultAlone) {
    open();
    finishEmptyResearch();
    EXPECT_TRUE(find("ql-tab-strip")->isEnabled());
    EXPECT_EQ(store->tab(), WorkspaceTab::discovery);
    EXPECT_TRUE(shown("ql-tab-back"));
}

TEST_F(WindowTest, ReportHeaderCountersAndScore) {
    struct Case {
        const char* name;
        ScanReport report;
        QString site, counters, score;
    };
    ScanReport empty("https://empty.example/");
    ScanReport bare = sampleReport();
    bare.domain = "bare-name";
    const Case cases[] = {
        {"nothing found", empty, "empty.example", "0 OBSERVATIONS  /  0 MCP SERVERS  /  0 TOOLS",
         "0"},
        // notFound and pending are left out; invalid servers' tools still count.
        {"every status", sampleReport(), "shop.example",
         "6 OBSERVATIONS  /  1 MCP SERVERS  /  3 TOOLS", "35"},
        {"a domain without a host", bare, "bare-name",
         "6 OBSERVATIONS  /  1 MCP SERVERS  /  3 TOOLS", "35"},
    };
    open();
    store->setTab(WorkspaceTab::overview);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.report);
        store->setTab(WorkspaceTab::overview);
        settle();
        ASSERT_TRUE(shown("ql-report-header"));
        EXPECT_EQ(find<ElidedLabel>("ql-report-site")->text(), c.site);
        EXPECT_EQ(find<QLabel>("ql-report-counters")->text(), c.counters);
        EXPECT_EQ(find<QLabel>("ql-report-score-value")->text(), c.score);
        EXPECT_EQ(find<QLabel>("ql-report-caption")->text(), "AGENT READINESS");
        EXPECT_FALSE(shown("ql-report-busy"));
        // The score and "/100", side by side in one row, share their first baseline.
        const auto* score = find<QLabel>("ql-report-score-value");
        const auto* scale = score->parentWidget()->findChildren<QLabel*>().at(1);
        EXPECT_EQ(score->y() + score->fontMetrics().ascent(),
                  scale->y() + scale->fontMetrics().ascent());
        EXPECT_EQ(score->size(), score->sizeHint()); // never clipped by an earlier score
    }
}

TEST_F(WindowTest, ReportHeaderMarksAPartialReportWhileBusy) {
    const QString label(63, QLatin1Char('w'));
    for (const QString& host : {QStringLiteral("held.example"),
                                label + '.' + label + '.' + label + QStringLiteral(".example")}) {
        SCOPED_TRACE(host.size());
        open();
        store->setTab(WorkspaceTab::raw);
        startHeldScan("https://" + host);
        // With live schema on, the engine's first progress shows the partial report.
        ASSERT_TRUE(waitUntil([&] { return store->report().has_value(); }));
        settle();
        EXPECT_EQ(view->mainArea(), WorkspaceView::MainArea::report);
        EXPECT_EQ(find<QLabel>("ql-report-caption")->text(), "READINESS \u00B7 PARTIAL");
        ASSERT_TRUE(shown("ql-report-busy"));
        // The indicator follows the name, not the far end of the band, and a
        // name too long to show whole still leaves it room before the score.
        const auto* site = find<ElidedLabel>("ql-report-site");
        const QWidget* busy = find("ql-report-busy");
        EXPECT_LE(site->width(), site->fontMetrics().horizontalAdvance(host) + 1);
        EXPECT_GT(busy->x(), site->geometry().right());
        EXPECT_LE(busy->x(), site->geometry().right() + 12);
        EXPECT_LT(busy->mapTo(view.get(), QPoint(busy->width(), 0)).x(),
                  find("ql-report-score")->mapTo(view.get(), QPoint()).x());
        close();
    }
}

TEST_F(WindowTest, TappingTheScoreOpensTheOverviewAndTheSiteDoesNot) {
    open();
    load(sampleReport());
    store->setTab(WorkspaceTab::raw);
    settle();
    QTest::mouseClick(find("ql-report-site"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::raw);
    QTest::mouseClick(find("ql-report-caption"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    store->setTab(WorkspaceTab::tools);
    QTest::mouseClick(find("ql-report-score"), Qt::LeftButton, {}, QPoint(2, 2));
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
}

TEST_F(WindowTest, TitleBarEnablingAndInspectorButton) {
    open();
    auto* exportMenu = find<QToolButton>("export-menu");
    auto inspectorButton = [&] { return find<QToolButton>("ql-toggle-inspector"); };
    ASSERT_TRUE(inspectorButton());
    EXPECT_FALSE(exportMenu->isEnabled());
    EXPECT_TRUE(find("open-report")->isEnabled());
    EXPECT_FALSE(inspectorButton()->isVisibleTo(view.get()));
    EXPECT_TRUE(shown("settings"));

    load(sampleReport());
    EXPECT_TRUE(exportMenu->isEnabled());
    store->setTab(WorkspaceTab::overview);
    store->setShowLibrary(true);
    settle();
    ASSERT_TRUE(inspectorButton()->isVisibleTo(view.get()));
    store->setShowInspector(false);
    QTest::mouseClick(inspectorButton(), Qt::LeftButton);
    settle();
    // Over the library the button opens the overview with the inspector.
    EXPECT_FALSE(store->showLibrary());
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_TRUE(store->showInspector());
    EXPECT_TRUE(shown("ql-inspector"));

    QTest::mouseClick(find<QToolButton>("settings"), Qt::LeftButton);
    EXPECT_TRUE(store->showSettings());
}

TEST_F(WindowTest, ReportInBothLanguagesHeardByLabelsNotIdentifiers) {
    open();
    load(sampleReport());
    store->setTab(WorkspaceTab::overview);
    auto heard = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    for (const bool italian : {false, true}) {
        test::Language language(italian ? "it" : "en");
        view->refresh();
        settle();
        for (const auto& [name, english, inItalian] :
             {std::tuple{"open-report", "Open scan", "Apri scansione"},
              {"settings", "Settings", "Settings"},
              {"scan-input", "Enter a website address\u2026",
               "Inserisci l\u2019indirizzo di un sito\u2026"},
              {"ql-tab-back", "For you", "Per te"}}) {
            EXPECT_EQ(heard(find(name)), QString::fromUtf8(italian ? inItalian : english));
        }
        view->grab().save(
            QStringLiteral(QL_SNAPSHOT_DIR "/report-overview-%1.png").arg(italian ? "it" : "en"));
    }
    // Our own names never borrow the identifiers' namespaces, and no control is
    // heard as its identifier or as nothing.
    const QRegularExpression identifier("^(open-report|export-menu|settings|scan-input|scan-start|"
                                        "tab-[A-Z][A-Za-z]+|new-scan|new-scan-plus|library-.+|"
                                        "collection-filter|update-.+|ql-.+|qt_.+)$");
    for (QWidget* widget : view->findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        EXPECT_TRUE(name.isEmpty() || identifier.match(name).hasMatch()) << name.toStdString();
        if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget)) {
            EXPECT_FALSE(heard(widget).isEmpty() || heard(widget) == name) << name.toStdString();
        }
    }
}

TEST_F(WindowTest, WelcomePageShowsTheProgressLineOnlyWhileBusy) {
    open();
    EXPECT_FALSE(shown("ql-welcome-progress"));
    store->setLiveSchema(false); // no partial report: the page stays during the scan
    startHeldScan();
    EXPECT_EQ(view->mainArea(), WorkspaceView::MainArea::welcome);
    ASSERT_TRUE(shown("ql-welcome-progress"));
    EXPECT_TRUE(waitUntil([&] {
        settle();
        return find<ElidedLabel>("ql-welcome-progress-text")->text() == store->status() &&
               !store->status().isEmpty();
    }));
    store->cancel();
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    EXPECT_FALSE(shown("ql-welcome-progress"));
}

TEST_F(WindowTest, HostileLabelsRenderLiterally) {
    const std::string longText(100000, 'W');
    ScanReport report = sampleReport("https://hostile.example/");
    report.domain = "<b>bold</b> & <i>x</i> " + longText;
    for (GraphNode& node : report.nodes)
        node.label = "<img src=x> &amp; " + longText;
    report.notices = {longText};
    open();
    const QSize before = view->size();
    load(report);
    store->setTab(WorkspaceTab::overview);
    settle();
    EXPECT_EQ(find<ElidedLabel>("ql-report-site")->text().toStdString(), report.domain);
    EXPECT_EQ(view->size(), before); // a long site name does not widen the window
    const QImage image = view->grab().toImage();
    EXPECT_EQ(image.size(), before);
    image.save(QStringLiteral(QL_SNAPSHOT_DIR "/hostile-report.png"));

    // A failure naming a file shows its name as written, never as markup.
    store->loadFile(folder.filePath("<b>&amp;<i>&.json"), false);
    settle();
    auto* alert = find<QMessageBox>("ql-error-alert");
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->textFormat(), Qt::PlainText);
    EXPECT_TRUE(alert->text().contains("<b>&amp;<i>&.json")) << alert->text().toStdString();
    alert->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(waitUntil([&] { return !store->error().has_value(); }));
    settle();
    EXPECT_FALSE(find<QMessageBox>("ql-error-alert"));

    // A very long error is shortened for the alert, not stalled on.
    store->loadFile(folder.filePath(QString(100000, QLatin1Char('x'))), false);
    settle();
    ASSERT_TRUE(find<QMessageBox>("ql-error-alert"));
    EXPECT_LE(find<QMessageBox>("ql-error-alert")->text().size(), 4001);
}

TEST(SharedLook, PanelContentTakesTheCardWidthFromTheLeadingEdge) {
    for (const bool paragraph : {true, false}) { // else a fixed-size badge
        auto* label = new QLabel(QStringLiteral("Every exchange is recorded. ").repeated(40));
        label->setWordWrap(true);
        Panel panel("Evidence", paragraph ? static_cast<QWidget*>(label)
                                          : new StatusBadge(FindingStatus::valid));
        panel.resize(640, 400);
        panel.show();
        settle();
        const QWidget* content = panel.content();
        const int leading = panel.findChild<QLabel*>()->x(); // the title's
        EXPECT_EQ(panel.findChild<QLabel*>()->y(), leading); // spare height goes below
        EXPECT_EQ(content->x(), leading);
        EXPECT_EQ(content->width(),
                  paragraph ? panel.width() - 2 * leading : content->sizeHint().width());
        EXPECT_GE(content->height(), content->heightForWidth(content->width()));
        if (!paragraph) delete label;
    }
}

TEST(SharedLook, EverySymbolTheWindowAsksForIsDrawn) {
    QStringList wanted{
        "point.3.connected.trianglepath.dotted", "folder", "square.and.arrow.up", "sidebar.right",
        "gearshape", "globe", "sparkles", "arrow.up.right", "stop.fill", "hand.wave", "arrow.left",
        // The guide's.
        "hourglass", "hand.tap", "doc.text", "checkmark.circle", "minus.circle",
        "questionmark.circle", "exclamationmark.circle", "magnifyingglass", "arrow.up.right.square",
        "arrow.right", "text.bubble", "chevron.right", "chevron.down"};
    for (WorkspaceTab tab : allWorkspaceTabs)
        wanted << tabSymbol(tab);
    for (const QString& name : wanted) {
        ASSERT_TRUE(Symbols::has(name)) << name.toStdString();
        const QImage image = Symbols::pixmap(name, Qt::white, 24).toImage();
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        EXPECT_TRUE(drawn) << name.toStdString();
    }
}

TEST(SharedLook, MenuTextKeepsItsAmpersands) {
    EXPECT_EQ(literalMenuText("R&D <b>"), "R&&D <b>");
}

} // namespace
} // namespace quorilanth
