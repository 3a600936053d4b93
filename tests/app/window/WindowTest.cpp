#include "ShellTestSupport.h"
#include "app/guided/ToolCardGrid.h"
#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/window/AppDelegate.h"
#include "app/window/TabStrip.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStyleHints>
#include <QTextLayout>
#include <QToolButton>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;
using Area = WorkspaceView::MainArea;

// Nodes of every status, a verified and a broken server with tools, three exchanges.
ScanReport sampleReport(const std::string& domain = "https://shop.example/") {
    ScanReport report(domain);
    int index = 0;
    for (FindingStatus status :
         {FindingStatus::found, FindingStatus::valid, FindingStatus::invalid,
          FindingStatus::unreachable, FindingStatus::unsupported, FindingStatus::blocked,
          FindingStatus::notFound, FindingStatus::pending}) {
        const std::string number = std::to_string(++index);
        report.nodes.emplace_back(domain + number, NodeKind::manifest, number, domain, status);
    }
    MCPServer verified(domain + "mcp"), broken(domain + "broken");
    verified.status = FindingStatus::valid;
    broken.status = FindingStatus::invalid;
    for (auto [server, name] : {std::pair{&verified, "a"}, {&verified, "b"}, {&broken, "c"}})
        server->tools.emplace_back(
            server->url, JSONValue::emptyObject().set("name", JSONValue(std::string(name))));
    report.servers = {verified, broken};
    report.checks = {{"a", "Discovery", 15, true, "ok", {}},
                     {"b", "MCP", 20, true, "ok", {}},
                     {"c", "Actions", 10, false, "\u22121", {}}};
    report.evidence = {Evidence(domain, "GET"), Evidence(domain + "mcp", "POST"),
                       Evidence(domain, "OPTIONS")};
    return report;
}

class WindowTest : public test::WorkspaceFixture {
public:
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
    QString text(const QString& name) const {
        if (auto* elided = find<ElidedLabel>(name)) return elided->text();
        return find<QLabel>(name)->text();
    }
    void tap(const QString& name) {
        QTest::mouseClick(find(name), Qt::LeftButton, {}, QPoint(2, 2));
        settle();
    }

    // The application around its one window, with its menus.
    void launch(const QVariant& frame = {}, const QStringList& options = {}) {
        app.reset();
        QSettings().setValue(AppDelegate::frameKey, frame);
        app = std::make_unique<AppDelegate>(
            QStringList{"quorilanth"} + options, QProcessEnvironment(),
            test::heldDependencies(transport), folder.filePath("library"));
        app->installMenus();
        app->showWorkspace();
        settle();
    }
    QAction* item(const QString& title) const {
        for (QAction* menu : app->menuBar()->actions())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == title) return action;
        return nullptr;
    }
    void trigger(const QString& title) {
        item(title)->trigger();
        settle();
    }
    QStringList disabled() const {
        QStringList off;
        for (const char* title : {"New Scan", "Open Report\u2026", "Overview", "SCHEMA",
                                  "Fit Schema", "Toggle Inspector", "Settings\u2026"})
            if (!item(title)->isEnabled()) off << title;
        return off;
    }
    std::unique_ptr<AppDelegate> app;
};

TEST_F(WindowTest, BandsAndColumnsFollowTheStore) {
    enum { report = 1, research = 2, aiMode = 4, noInspector = 8, library = 16 };
    const struct {
        int state;
        WorkspaceTab tab;
        Area area;
        QString bands;
    } cases[] = {
        {0, WorkspaceTab::guide, Area::welcome, "welcome tab-strip"},
        {0, WorkspaceTab::raw, Area::welcome, "welcome tab-strip inspector"},
        {report, WorkspaceTab::guide, Area::report, "tab-strip"},
        {report, WorkspaceTab::raw, Area::report, "tab-strip inspector report-header"},
        {report | noInspector, WorkspaceTab::raw, Area::report, "tab-strip report-header"},
        {report | library, WorkspaceTab::raw, Area::library, "library"},
        {library, WorkspaceTab::guide, Area::library, "library"},
        {research | aiMode, WorkspaceTab::discovery, Area::report, "tab-strip inspector"},
        {research, WorkspaceTab::discovery, Area::welcome, "welcome tab-strip inspector"},
        {aiMode, WorkspaceTab::discovery, Area::welcome, "welcome tab-strip inspector"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bands.toStdString() + ", state " + std::to_string(c.state));
        open();
        if (c.state & research) finishEmptyResearch();
        if (c.state & report) load(sampleReport());
        store->setDiscoveryMode(c.state & aiMode);
        store->setTab(c.tab);
        store->setShowInspector(!(c.state & noInspector));
        store->setShowLibrary(c.state & library);
        settle();
        EXPECT_EQ(view->mainArea(), c.area);
        QStringList bands;
        for (const char* band : {"library", "welcome", "tab-strip", "inspector", "report-header"})
            if (shown(QStringLiteral("ql-") + band)) bands << band;
        EXPECT_EQ(bands.join(' '), c.bands);
        EXPECT_TRUE(shown("ql-search-bar"));
        EXPECT_EQ(find("ql-tab-strip")->isEnabled(), (c.state & (report | research)) != 0);
        EXPECT_EQ(find("export-menu")->isEnabled(), (c.state & report) != 0);
        close();
    }
}

TEST_F(WindowTest, ScanStartsWhatIsTypedUntrimmedAndOnlyReturnStartsABlankField) {
    enum { returnKey, controlReturn, scanButton };
    const std::tuple<QString, int, bool> cases[] = {
        {"  https://held.example  ", returnKey, true},
        {"   ", returnKey, true}, // and fails in the store's ordinary way
        {"\t", controlReturn, false},
        {QStringLiteral("\u2003"), scanButton, false},
        {"&<b>", controlReturn, true},
        {" https://held.example", scanButton, true},
    };
    for (const auto& [typed, press, starts] : cases) {
        SCOPED_TRACE(typed.toStdString());
        open();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        auto* field = find<QLineEdit>("scan-input");
        auto* scan = find<QPushButton>("scan-start");
        field->setFocus();
        field->insert(typed); // one edit: key clicks cannot spell tabs or em spaces
        settle();
        EXPECT_EQ(scan->isEnabled(), !typed.trimmed().isEmpty());
        QSignalSpy started(store.get(), &WorkspaceStore::taskChanged);
        if (press == scanButton)
            QTest::mouseClick(scan, Qt::LeftButton);
        else
            QTest::keyClick(field, Qt::Key_Return,
                            press == controlReturn ? Qt::ControlModifier : Qt::NoModifier);
        EXPECT_EQ(!started.isEmpty(), starts);
        EXPECT_EQ(store->input(), typed);
        if (starts && typed.trimmed().isEmpty()) {
            EXPECT_TRUE(waitUntil([&] { return !store->busy() && store->error(); }));
        }
        close();
    }
}

TEST_F(WindowTest, StopReplacesScanWhileBusyAndTheWelcomePageShowsProgress) {
    open();
    auto* field = find<QLineEdit>("scan-input");
    // The mode menu swaps the placeholder and keeps what was typed.
    field->insert("tea shops");
    const QString placeholder = field->placeholderText();
    find<QToolButton>("ql-scan-mode")->menu()->actions().at(1)->trigger();
    settle();
    EXPECT_TRUE(store->discoveryMode());
    EXPECT_NE(field->placeholderText(), placeholder);
    EXPECT_EQ(field->text(), "tea shops");
    find<QToolButton>("ql-scan-mode")->menu()->actions().at(0)->trigger();

    store->setLiveSchema(false); // no partial report: the welcome page stays
    EXPECT_FALSE(shown("ql-welcome-progress"));
    // Started from the keyboard, which waits on STOP and comes back after.
    store->setInput(QStringLiteral("https://held.example"));
    QApplication::setActiveWindow(view.get());
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return store->busy() && transport->requests > 0; }));
    settle();
    EXPECT_EQ(QApplication::focusWidget(), find("ql-scan-stop"));
    EXPECT_EQ(view->mainArea(), Area::welcome);
    EXPECT_FALSE(shown("scan-start"));
    ASSERT_TRUE(shown("ql-scan-stop"));
    for (const char* name : {"scan-input", "ql-scan-mode", "open-report"})
        EXPECT_FALSE(find(name)->isEnabled()) << name;
    EXPECT_EQ(field->text(), "https://held.example");
    EXPECT_EQ(find<Swatch>("ql-status-dot")->colour(), QLTheme::accent());
    EXPECT_TRUE(waitUntil([&] {
        settle();
        return shown("ql-welcome-progress") && !store->status().isEmpty() &&
               text("ql-welcome-progress-text") == store->status();
    }));

    // Only a stop request ends a held scan, so the end of work proves it.
    QTest::keyClick(find("ql-scan-stop"), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_TRUE(shown("scan-start"));
    EXPECT_FALSE(shown("ql-scan-stop") || shown("ql-welcome-progress"));
    EXPECT_TRUE(field->isEnabled() && find("open-report")->isEnabled());
    EXPECT_EQ(find<Swatch>("ql-status-dot")->colour(), QLTheme::muted());
}

// STOP takes SCAN's place under the pointer: the second click of a
// double-click on SCAN is no request to stop, a later click is.
TEST_F(WindowTest, TheSecondClickOfADoubleClickOnScanLeavesTheScanRunning) {
    open();
    QStyleHints* hints = QGuiApplication::styleHints();
    const auto restore = qScopeGuard([hints, desktop = hints->mouseDoubleClickInterval()] {
        hints->setMouseDoubleClickInterval(desktop);
    });
    hints->setMouseDoubleClickInterval(1500); // long enough for a slow build
    QElapsedTimer sinceScan;
    sinceScan.start();
    startHeldScan();
    tap("ql-scan-stop");
    EXPECT_LT(sinceScan.elapsed(), 1500);
    EXPECT_TRUE(store->busy() && !store->status().startsWith("Cancel"));
    EXPECT_TRUE(waitUntil([&] { return tap("ql-scan-stop"), !store->busy(); }));
    EXPECT_GE(sinceScan.elapsed(), 1500);
}

TEST_F(WindowTest, StatusLineRules) {
    open();
    {
        test::Language italian("it_IT");
        view->refresh();
        EXPECT_EQ(text("ql-status-text"), "Inserisci un sito per iniziare");
    }
    store->setDeveloperMode(true);
    settle();
    EXPECT_EQ(text("ql-status-network"), "Local network access enabled");
    EXPECT_FALSE(shown("ql-status-exchanges"));
    // A technical tab shows the store's own words and counts every exchange.
    load(sampleReport(), WorkspaceTab::raw);
    EXPECT_EQ(text("ql-status-text"), store->status());
    EXPECT_EQ(text("ql-status-exchanges"), "3 HTTP EXCHANGES");
    EXPECT_FALSE(shown("ql-status-network"));
    // An export's line comes first, also over the library.
    store->exportReport("json", folder.filePath("shop.example-quorilanth.json"));
    store->setShowLibrary(true);
    settle();
    EXPECT_EQ(text("ql-status-text"), "Exported: shop.example-quorilanth.json");
}

TEST_F(WindowTest, TabStripFacesAndEachShowingBuildsItsPaneAfresh) {
    open();
    const QStringList technical{"tab-Overview", "tab-Discovery", "tab-Endpoints", "tab-MCP",
                                "tab-Tools",    "tab-Raw",       "tab-SCHEMA"};
    auto faces = [&] {
        QStringList on;
        for (const QString& id : QStringList{"ql-tab-chip", "ql-tab-back"} + technical)
            if (shown(id)) on << id;
        return on;
    };
    EXPECT_EQ(faces(), QStringList({"ql-tab-chip", "tab-SCHEMA"}));
    load(sampleReport());
    tap("ql-tab-technical");
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_EQ(faces(), QStringList{"ql-tab-back"} + technical);
    EXPECT_TRUE(find<TabButton>("tab-Overview")->selected());
    QPointer<QWidget> overview = find("ql-pane-Overview");
    ASSERT_TRUE(overview);
    store->setTab(WorkspaceTab::overview); // the same tab again: the pane stays
    settle();
    EXPECT_EQ(find("ql-pane-Overview"), overview.data());
    tap("tab-MCP");
    EXPECT_EQ(store->tab(), WorkspaceTab::mcp);
    EXPECT_FALSE(find<TabButton>("tab-Overview")->selected() || overview);
    tap("ql-tab-back");
    EXPECT_EQ(store->tab(), WorkspaceTab::guide);
    tap("tab-SCHEMA");
    EXPECT_EQ(store->tab(), WorkspaceTab::schema);

    // Over the library the inspector button opens the overview with the inspector.
    store->setShowLibrary(true);
    store->setShowInspector(false);
    settle();
    tap("ql-toggle-inspector");
    EXPECT_FALSE(store->showLibrary());
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_TRUE(store->showInspector() && shown("ql-inspector"));
    tap("settings");
    EXPECT_TRUE(store->showSettings());
}

TEST_F(WindowTest, ReportHeaderCountersScoreBaselineAndTaps) {
    ScanReport bare = sampleReport();
    bare.domain = "bare-name";
    open();
    // notFound and pending are left out; invalid servers' tools still count.
    for (const auto& [report, site] :
         {std::pair{sampleReport(), "shop.example"}, {bare, "bare-name"}}) {
        SCOPED_TRACE(site);
        load(report, WorkspaceTab::overview);
        EXPECT_EQ(QStringList({text("ql-report-site"), text("ql-report-counters"),
                               text("ql-report-score-value"), text("ql-report-caption")}),
                  QStringList({site, "6 OBSERVATIONS  /  1 MCP SERVERS  /  3 TOOLS", "35",
                               "AGENT READINESS"}));
        EXPECT_FALSE(shown("ql-report-busy"));
        // The score and "/100", side by side in one row, share their first baseline.
        const auto* score = find<QLabel>("ql-report-score-value");
        const auto* scale = score->parentWidget()->findChildren<QLabel*>().at(1);
        EXPECT_EQ(score->y() + score->fontMetrics().ascent(),
                  scale->y() + scale->fontMetrics().ascent());
        EXPECT_EQ(score->size(), score->sizeHint()); // never clipped by an earlier score
    }
    // The score column opens the overview; the site name does not.
    for (const char* tapped : {"ql-report-site", "ql-report-caption", "ql-report-score"}) {
        store->setTab(WorkspaceTab::raw);
        tap(tapped);
        EXPECT_EQ(store->tab() == WorkspaceTab::raw, tapped == std::string("ql-report-site"));
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
        EXPECT_EQ(view->mainArea(), Area::report);
        EXPECT_EQ(text("ql-report-caption"), "READINESS \u00B7 PARTIAL");
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

TEST_F(WindowTest, ControlsAreHeardByTheirLabelsNotTheirIdentifiers) {
    open();
    load(sampleReport(), WorkspaceTab::overview);
    auto heard = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    for (const char* language : {"en", "it"}) {
        test::Language chosen(language);
        view->refresh();
        settle();
        QStringList names;
        for (const char* name : {"open-report", "scan-input", "ql-tab-back"})
            names << heard(find(name));
        EXPECT_EQ(names,
                  *language == 'e'
                      ? QStringList({"Open scan", "Enter a website address\u2026", "For you"})
                      : QStringList({"Apri scansione",
                                     "Inserisci l\u2019indirizzo di un sito\u2026", "Per te"}));
    }
    snapshot("report-overview");
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

// Buttons that show a symbol alone, and the raw trace's painted text, are
// heard by a name in the window's language.
TEST_F(WindowTest, SymbolButtonsAndTheRawTextAreHeardByName) {
    open();
    load(sampleReport(), WorkspaceTab::schema);
    const struct {
        const char* name;
        QString english, italian;
    } cases[] = {
        {"schema-zoom-out", "Zoom out", "Riduci"},
        {"schema-zoom-in", "Zoom in", "Ingrandisci"},
        {"schema-previous-page", "Previous page", "Pagina precedente"},
        {"schema-next-page", "Next page", "Pagina successiva"},
    };
    for (const char* language : {"en", "it"}) {
        test::Language chosen(language);
        view->refresh();
        settle();
        for (const auto& c : cases)
            EXPECT_EQ(QAccessible::queryAccessibleInterface(find(c.name))->text(QAccessible::Name),
                      *language == 'e' ? c.english : c.italian)
                << c.name;
    }
    store->setTab(WorkspaceTab::raw);
    settle();
    const QString raw =
        QAccessible::queryAccessibleInterface(find("ql-raw-text"))->text(QAccessible::Name);
    EXPECT_TRUE(raw.startsWith("HTTP 0 \u00B7 ")) << raw.toStdString();
}

// Tab from the sidebar's first button shows where the keyboard is at every
// stop, in the theme's one outline; a container whose content takes focus is
// no stop of its own. Text fields show their caret instead.
TEST_F(WindowTest, EveryTabStopShowsTheThemesFocusOutline) {
    open();
    std::string saved;
    for (const char* site : {"https://shop.example/", "https://other.example/"}) {
        const ScanReport report = sampleReport(site);
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        true);
        saved = report.id;
    }
    const QString id = QString::fromStdString(saved);
    const struct {
        const char* place;
        std::function<void()> arrange;
        QStringList stops;
    } cases[] = {
        {"a tool's form on the guide",
         [&] { store->select("https://other.example/mcp#tool:a"); },
         {"new-scan", "library-Recent", "library-History", "ql-sidebar-scan-" + id, "scan-start",
          "tab-SCHEMA", "ql-guided-actions", "guided-send"}},
        {"the overview beside the inspector",
         [&] {
             store->setTab(WorkspaceTab::overview);
             store->setShowInspector(true);
             store->select("https://other.example/3");
         },
         {"tab-Overview", "ql-overview-category", "ql-inspector-copy-url", "ql-inspector-raw"}},
        {"a tab that lists nothing",
         [&] { store->setTab(WorkspaceTab::tools); },
         {"tab-Tools", "ql-inventory-filter"}},
        {"the raw trace",
         [&] { store->setTab(WorkspaceTab::raw); },
         {"ql-raw-view-request", "ql-raw-list", "ql-raw-text"}},
        {"the library",
         [&] { store->openLibrary("History"); },
         {"ql-library-list", "library-open-" + id, "library-favorite-" + id}},
    };
    const auto count = [](const QImage& image, const QColor& colour) {
        qsizetype found = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                found += image.pixelColor(x, y).rgb() == colour.rgb();
        return found;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        c.arrange();
        settle();
        const QList<QWidget*> walk = test::tabWalk(find("new-scan-plus"));
        for (const QString& stop : c.stops)
            EXPECT_GE(test::walkedTo(walk, find(stop)), 0) << stop.toStdString();
        for (QWidget* stop : walk) {
            if (stop->testAttribute(Qt::WA_InputMethodEnabled)) continue;
            stop->setFocus(Qt::TabFocusReason);
            settle();
            const QImage focused = stop->grab().toImage();
            stop->clearFocus();
            settle();
            const QImage plain = stop->grab().toImage();
            // The accent outline, or the ground-coloured one on an accent fill.
            EXPECT_TRUE(count(focused, QLTheme::accent()) > count(plain, QLTheme::accent()) ||
                        count(focused, QLTheme::background()) > count(plain, QLTheme::background()))
                << stop->metaObject()->className() << " " << stop->objectName().toStdString();
        }
        if (c.stops.contains("guided-send")) {
            find("guided-send")->setFocus(Qt::TabFocusReason);
            settle();
            view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/focus-send-en.png"));
        }
    }
}

// Whatever the keyboard reaches inside a scrolled area, from outside it or
// within, is brought into view, at the window's smallest size: a grid's card
// or a list's row too.
TEST_F(WindowTest, WhatTheKeyboardReachesInAScrolledAreaIsBroughtIntoView) {
    open();
    view->resize(view->minimumSize());
    QString newest;
    for (int i = 0; i < 25; ++i) {
        ScanReport report = sampleReport("https://site" + std::to_string(i) + ".example/");
        report.nodes[2].issues.assign(40, "An issue the scan found with this location.");
        for (std::size_t k = 0; k < report.nodes.size(); ++k) // locators of one line or two
            report.edges.push_back(
                {report.nodes[2].id, report.nodes[k].id, "links", "", std::string(12 * k, '$')});
        for (int tool = 0; tool < 30; ++tool)
            report.servers[0].tools.emplace_back(
                report.servers[0].url,
                JSONValue::emptyObject().set("name", JSONValue("tool" + std::to_string(tool))));
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        true);
        newest = "ql-sidebar-scan-" + QString::fromStdString(report.id);
    }
    const auto guide = [&] { store->select("https://site24.example/mcp#tool:a"); };
    const auto inspector = [&] {
        store->setTab(WorkspaceTab::overview);
        store->setShowInspector(true);
        store->select("https://site24.example/3");
    };
    const struct {
        std::function<void()> arrange;
        QString inside; // the area, or a widget in it
        Qt::Key key;
        const char* from = nullptr; // else the stop just outside the area
    } cases[] = {
        {guide, "ql-guided-page", Qt::Key_Tab},
        {guide, "ql-guided-page", Qt::Key_Backtab},
        {guide, "ql-guided-page", Qt::Key_Tab, "ql-guided-inspect-checks"}, // into the cards
        {inspector, "ql-inspector-scroll", Qt::Key_Tab},
        {inspector, "ql-overview-category", Qt::Key_Backtab},
        {guide, newest, Qt::Key_Tab},
        {[&] { store->setTab(WorkspaceTab::mcp); }, "ql-mcp-tools", Qt::Key_End, "ql-mcp-tools"},
        {inspector, "ql-inspector-relations", Qt::Key_Backtab},
        // Last, as it leaves the window wide, the inspector at its widest.
        {[&] {
             view->resize(1640, view->height());
             find<QSplitter>("ql-columns")->setSizes({205, 985, 450});
             inspector();
         },
         "ql-inspector-relations", Qt::Key_Backtab},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.inside.toStdString() + " " + QKeySequence(c.key).toString().toStdString());
        c.arrange();
        settle();
        QWidget* area = find(c.inside);
        while (area && !qobject_cast<QScrollArea*>(area))
            area = area->parentWidget();
        ASSERT_TRUE(area);
        QWidget* from = c.from ? find(c.from) : nullptr;
        if (!from) {
            const QList<QWidget*> walk = test::tabWalk(find("new-scan-plus"));
            qsizetype at = -1;
            for (qsizetype i = 0; i < walk.size(); ++i)
                if (area->isAncestorOf(walk[i]) && (at < 0 || c.key == Qt::Key_Backtab)) at = i;
            ASSERT_GT(at, 0);
            from = walk[(at + (c.key == Qt::Key_Backtab ? 1 : -1)) % walk.size()];
        }
        from->setFocus(Qt::TabFocusReason);
        settle();
        // Away from where the keyboard goes: below a stop reached by Tab.
        QScrollBar* bar = static_cast<QScrollArea*>(area)->verticalScrollBar();
        bar->setValue(c.key == Qt::Key_Tab ? bar->maximum() : 0);
        settle();
        QTest::keyClick(from, c.key);
        QWidget* reached = QApplication::focusWidget();
        ASSERT_TRUE(reached && area->isAncestorOf(reached));
        // Whole when it fits in the view, else filling part of it.
        QWidget* port = static_cast<QScrollArea*>(area)->viewport();
        const auto seen = [&](QRect box, const QWidget* of) {
            box.translate(of->mapTo(port, QPoint()));
            return box.height() > port->height() ? box.intersects(port->rect())
                                                 : box.top() >= 0 && box.bottom() < port->height();
        };
        EXPECT_TRUE(seen(reached->rect(), reached)) << reached->objectName().toStdString();
        if (auto* grid = qobject_cast<ToolCardGrid*>(reached)) {
            EXPECT_TRUE(seen(grid->cardRect(grid->focusCard()), grid));
        } else if (auto* list = qobject_cast<QAbstractItemView*>(reached)) {
            EXPECT_TRUE(seen(list->visualRect(list->currentIndex()), list->viewport()));
            if (c.inside == "ql-inspector-relations") { // as tall as its rows, at every width
                const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 0);
                EXPECT_EQ(list->visualRect(last).bottom() + 1, list->viewport()->height());
            }
        }
        view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/tab-into-%1.png").arg(&c - cases));
    }
}

// What a screen reader hears at each Tab stop of a view: a name for what the
// stop holds, never a bare filler; in a painted grid or map, the focused card.
TEST_F(WindowTest, EveryTabStopIsHeardByWhatItHolds) {
    open();
    const ScanReport report = sampleReport();
    for (WorkspaceTab tab :
         {WorkspaceTab::raw, WorkspaceTab::endpoints, WorkspaceTab::schema, WorkspaceTab::guide}) {
        SCOPED_TRACE(rawValue(tab).toStdString());
        load(report, tab);
        store->setSelectedEvidenceID(report.evidence[1].id);
        if (tab == WorkspaceTab::schema) // a page of cards that select as the keyboard comes
            find<QAction>("ql-schema-group-manifest")->trigger();
        settle();
        QWidget* start = find("new-scan-plus");
        QApplication::setActiveWindow(view.get());
        start->setFocus(Qt::TabFocusReason);
        int cards = 0;
        for (int step = 0; step < 200 && cards < 2; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* reached = QApplication::focusWidget();
            if (!reached || reached == start) break;
            const std::string stop = reached->objectName().toStdString();
            QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(reached);
            QAccessibleInterface* heard = shown->focusChild() ? shown->focusChild() : shown;
            for (QAccessibleInterface* named : {shown, heard}) {
                EXPECT_FALSE(named->text(QAccessible::Name).trimmed().isEmpty()) << stop;
                EXPECT_NE(named->role(), QAccessible::Client) << stop;
            }
            auto* list = qobject_cast<QAbstractItemView*>(reached);
            if (heard != shown && !list) cards += heard->role() == QAccessible::Button;
            // What a screen reader was told of, read once the view has redrawn.
            const auto told =
                std::pair(QAccessible::uniqueId(heard), heard->text(QAccessible::Name));
            settle();
            QAccessibleInterface* read = QAccessible::accessibleInterface(told.first);
            EXPECT_EQ(read ? read->text(QAccessible::Name) : "gone", told.second) << stop;
            if (stop == "ql-raw-list") {
                EXPECT_EQ(list->currentIndex().row(), 1) << "the keyboard's row is the one shown";
            }
            if (QWidget* pane = find("ql-pane-" + rawValue(tab));
                pane && pane->isAncestorOf(reached))
                view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/tab-walk-%1-%2.png")
                                      .arg(rawValue(tab))
                                      .arg(step));
        }
        EXPECT_EQ(cards > 0, tab == WorkspaceTab::schema || tab == WorkspaceTab::guide);
    }
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
    load(report, WorkspaceTab::overview);
    EXPECT_EQ(text("ql-report-site").toStdString(), report.domain);
    EXPECT_EQ(view->size(), before); // a long site name does not widen the window
    snapshot("hostile-report");
    EXPECT_EQ(literalMenuText("R&D <b>"), "R&&D <b>");

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

// A site's name from a file reads as recorded wherever the shell names it:
// a direction control, raw or percent-encoded, with a scheme or without, and a
// bare isolate pair show as code points, also to a screen reader; a
// right-to-left name only gains an isolate where it stands among other text.
TEST_F(WindowTest, ASiteNameFromAFileCannotTurnItselfAround) {
    const QString fsi(QChar(0x2068)), pdi(QChar(0x2069)), rlo(u"\u27E8U+202E\u27E9"_qs);
    const QString pair = u"\u27E8U+2068\u27E9gnp.exe\u27E8U+2069\u27E9"_qs;
    const QString hebrew = u"\u05E9\u05DC\u05D5\u05DD.example"_qs;
    const QString arabic = u"\u0645\u0631\u062D\u0628\u0627.example"_qs;
    const struct {
        std::string domain;
        QString site, field;
    } cases[] = {
        {"http://\u202Egnp.exe/", "http://" + rlo + "gnp.exe/", "http://" + rlo + "gnp.exe/"},
        {"http://%E2%80%AEgnp.exe/", rlo + "gnp.exe", "http://%E2%80%AEgnp.exe/"},
        {"\u202Egnp.exe", rlo + "gnp.exe", rlo + "gnp.exe"},
        {"\u2068gnp.exe\u2069", pair, pair},
        {"https://%D7%A9%D7%9C%D7%95%D7%9D.example/", fsi + hebrew + pdi,
         "https://%D7%A9%D7%9C%D7%95%D7%9D.example/"},
        {arabic.toStdString(), fsi + arabic + pdi, arabic},
    };
    const auto heard = [this](const QString& name, QAccessible::Text kind) {
        return QAccessible::queryAccessibleInterface(find(name))->text(kind);
    };
    open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.domain);
        const ScanReport report = sampleReport(c.domain);
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        true);
        store->setTab(WorkspaceTab::overview);
        settle();
        EXPECT_EQ(std::tuple(text("ql-report-site"), heard("ql-report-site", QAccessible::Name)),
                  std::tuple(c.site, c.site));
        EXPECT_EQ(std::tuple(find<QLineEdit>("scan-input")->text(),
                             heard("scan-input", QAccessible::Value)),
                  std::tuple(c.field, c.field));
        EXPECT_EQ(store->input().toStdString(), c.domain); // what SCAN scans again
        const QString id = QString::fromStdString(report.id);
        EXPECT_TRUE(heard("ql-sidebar-scan-" + id, QAccessible::Name).startsWith(c.site + ", "));
        if (&c == cases) snapshot("site-name-report");
        store->openLibrary("History");
        settle();
        EXPECT_TRUE(heard("library-open-" + id, QAccessible::Name).startsWith(c.site + ", "));
    }
    snapshot("site-name-library");
}

// Only the items whose words the application translates follow the language,
// and the guide's item keeps its tab.
TEST_F(WindowTest, MenuItemsFollowTheLanguageTheReportAndTheScan) {
    {
        test::Language italian("it-CH");
        launch();
        ASSERT_TRUE(item("Controlla aggiornamenti\u2026") && item("Per te"));
        EXPECT_EQ(item("Per te")->data().toString(), "Per te");
    }
    launch();
    EXPECT_EQ(item("For you")->data().toString(), "Per te");
    EXPECT_EQ(disabled(), QStringList({"Overview", "SCHEMA", "Fit Schema", "Toggle Inspector"}));
    trigger("SCHEMA");
    app->selectTab(QStringLiteral("SCHEMA"));
    EXPECT_EQ(app->store().tab(), WorkspaceTab::guide) << "no tab without a report";
    app->store().loadFile(test::writeReport(folder, sampleReport(), "menu.json"), false);
    settle();
    EXPECT_EQ(disabled(), QStringList());
    trigger("SCHEMA");
    EXPECT_EQ(app->store().tab(), WorkspaceTab::schema);
    trigger("For you");
    for (const QVariant& junk : {QVariant("schema"), QVariant(3), QVariant()})
        app->selectTab(junk);
    EXPECT_EQ(app->store().tab(), WorkspaceTab::guide);
    trigger("Toggle Inspector");
    EXPECT_EQ(app->store().tab(), WorkspaceTab::overview);
    EXPECT_TRUE(app->store().showInspector());
    trigger("Settings\u2026");
    EXPECT_TRUE(app->store().showSettings());
    trigger("Check for Updates\u2026"); // closes the settings first
    EXPECT_FALSE(app->store().showSettings());
    EXPECT_TRUE(waitUntil([&] { return app->store().updater().showPanel(); }));

    app->store().setLiveSchema(false); // no partial report during the scan
    app->store().setInput("https://held.example");
    app->store().start();
    ASSERT_TRUE(waitUntil([&] { return app->store().busy(); }));
    settle();
    EXPECT_EQ(disabled(), QStringList({"New Scan", "Open Report\u2026", "Overview", "SCHEMA",
                                       "Fit Schema", "Toggle Inspector"}));
    app->store().cancel();
    ASSERT_TRUE(waitUntil([&] { return !app->store().busy(); }));
    trigger("New Scan");
    EXPECT_FALSE(app->store().report());
    EXPECT_EQ(app->store().status(), "Ready to explore");
}

// A report handed over by a later launch while a dialog is open or a scan
// runs is kept until the dialog closes or the scan ends, then imported; the
// window comes forward at once, even minimised.
TEST_F(WindowTest, AReportHandedOverWhileADialogIsOpenOrAScanRunsOpensAfterIt) {
    launch();
    QMessageBox dialog(app->workspaceWindow());
    dialog.open();
    // Of those that cannot be opened, one alert names every one.
    const QString missing = folder.filePath("missing.json"), empty = folder.filePath("empty.json");
    QFile(empty).open(QIODevice::WriteOnly);
    for (const QString& path :
         {missing, test::writeReport(folder, sampleReport("https://early.example/"), "e.json"),
          empty})
        app->openRequest(path);
    settle();
    EXPECT_FALSE(app->store().report());
    dialog.close();
    EXPECT_TRUE(waitUntil([&] { return app->store().report().has_value(); }));
    const QStringList alert = app->store().error().value_or("").split('\n');
    EXPECT_TRUE(alert.size() == 2 && alert[0].startsWith("Could not open report: " + missing) &&
                alert[1].startsWith("Could not open report: " + empty))
        << alert.join('|').toStdString();
    app->store().setError(std::nullopt);
    app->store().setInput("https://held.example");
    app->store().start();
    ASSERT_TRUE(waitUntil([&] { return app->store().busy() && transport->requests > 0; }));
    app->workspaceWindow()->showMinimized();
    app->openRequest(test::writeReport(folder, sampleReport("https://handed.example/"), "h.json"));
    settle();
    EXPECT_FALSE(app->workspaceWindow()->isMinimized());
    app->store().cancel();
    EXPECT_TRUE(waitUntil([&] {
        return app->store().report() && app->store().report()->domain == "https://handed.example/";
    }));
    // Quitting before the operation ends still keeps what was handed over.
    app->store().start();
    ASSERT_TRUE(waitUntil([&] { return app->store().busy(); }));
    app->openRequest(test::writeReport(folder, sampleReport("https://late.example/"), "l.json"));
    app->applicationWillTerminate();
    EXPECT_EQ(app->store().history().at(0).domain, "https://late.example/");
}

TEST_F(WindowTest, TheWindowIsKeptWhenClosedAndItsFrameStored) {
    launch(QRect(10, 20, 1300, 820));
    WorkspaceWindow* window = app->workspaceWindow();
    window->close();
    settle();
    EXPECT_EQ(QSettings().value(AppDelegate::frameKey).toRect(), window->geometry());
    app->showWorkspace();
    EXPECT_EQ(app->workspaceWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

// A stored frame wholly on a screen is used as it was; any other comes back
// moved and shrunk onto the screen it meets most, never under the window's
// minimum, however little of it met that screen.
TEST(WindowFrame, AFrameOutOfReachIsMovedAndShrunkOntoAScreen) {
    const QSize minimum(1220, 779);
    const QRect wide(0, 0, 1920, 1080), side(1920, 0, 1280, 1024), small(0, 0, 800, 800),
        laptop(0, 0, 1680, 1050);
    const std::tuple<QRect, QList<QRect>, std::optional<QRect>> cases[] = {
        {{100, 50, 1300, 820}, {wide}, QRect(100, 50, 1300, 820)},
        {{1800, 900, 1300, 820}, {wide}, QRect(620, 260, 1300, 820)},   // only its corner on screen
        {{1679, 1049, 800, 600}, {laptop}, QRect(460, 271, 1220, 779)}, // one pixel on screen
        {{1500, 900, 1300, 820}, {laptop}, QRect(380, 230, 1300, 820)},
        {{100, 100, 30000, 30000}, {laptop}, QRect(0, 0, 1680, 1050)},
        {{1000, 500, 1300, 820}, {laptop, wide}, QRect(620, 260, 1300, 820)}, // meets wide most
        {{-402, -102, 1640, 1039}, {wide}, QRect(0, 0, 1640, 1039)},
        {{-300, -50, 2400, 1400}, {wide}, QRect(0, 0, 1920, 1080)},
        {{1000, -200, 1300, 820}, {wide}, QRect(620, 0, 1300, 820)},
        {{1800, -100, 1300, 900}, {wide, side}, QRect(1920, 0, 1280, 900)},
        {{-402, -102, 1640, 1039}, {small}, QRect(0, 0, 1220, 800)},
        {{5000, 5000, 1300, 820}, {wide, side}, std::nullopt},
        {{-2000, 0, 1300, 820}, {}, std::nullopt},
    };
    for (const auto& [frame, screens, fitted] : cases) {
        SCOPED_TRACE(QVariant(frame).toString().toStdString());
        EXPECT_EQ(AppDelegate::fittedFrame(frame, screens, minimum), fitted);
    }
}

// On the one offscreen screen, narrower than the window's minimum, a frame
// out of reach and one off every screen alike give way to a window shrunk
// that far, its title and menus starting on the screen.
TEST_F(WindowTest, TheRestoredOrCentredWindowStartsOnTheScreen) {
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect& stored : {QRect(available.left() - 402, available.top() - 102, 1640, 1039),
                                QRect(90000, 90000, 1300, 820)}) {
        SCOPED_TRACE(QVariant(stored).toString().toStdString());
        launch(stored);
        EXPECT_TRUE(available.contains(app->workspaceWindow()->geometry().topLeft()));
        EXPECT_EQ(app->workspaceWindow()->centralWidget()->width(), WorkspaceView::minimumWidth);
    }
}

// A frame that cannot be used gives way to the window's own size centred on
// the primary screen and fitted as a stored frame is; stored, that frame
// comes back as it was.
TEST(WindowFrame, AnUnusableFrameGivesWayToTheCentredOneFittedAlike) {
    const QSize size(1640, 1039), minimum(1220, 779);
    const QRect laptop(0, 0, 1366, 768), wide(0, 0, 1920, 1080), side(1920, 0, 1280, 1024);
    // As the settings read back "@Rect(-2147483648 0 -2147483648 1000)" and
    // "@Rect(0 0 -2147483648 -2147483648)".
    const QRect belowInt(QPoint(INT_MIN, 0), QPoint(-1, 999)),
        aboveInt(QPoint(0, 0), QPoint(INT_MAX, INT_MAX));
    const std::tuple<QVariant, QList<QRect>, QRect> cases[] = {
        {QVariant(), {laptop}, QRect(0, 0, 1366, 779)},
        {QRect(10, 10, 0, 0), {laptop}, QRect(0, 0, 1366, 779)},
        {belowInt, {laptop}, QRect(0, 0, 1366, 779)},
        {aboveInt, {wide}, QRect(140, 20, 1640, 1039)},
        {QVariant("1300x820"), {side, wide}, side},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [stored, screens, expected] = cases[i];
        const QRect frame = AppDelegate::initialFrame(stored, screens, size, minimum);
        EXPECT_EQ(frame, expected) << i;
        EXPECT_EQ(AppDelegate::initialFrame(frame, screens, size, minimum), frame);
    }
}

// Notes whether the workspace window stood on screen when the alert first
// appeared.
struct AlertWatch : QObject {
    std::function<const QWidget*()> window;
    std::optional<bool> windowShownFirst;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !windowShownFirst &&
            watched->objectName() == QLatin1String("ql-error-alert"))
            windowShownFirst = window() && window()->isVisible();
        return false;
    }
};

// A report that fails while the store is being built, before any window
// exists, is told once the window stands.
TEST_F(WindowTest, AFailureBeforeTheWindowIsAlertedWhenItAppears) {
    const QString path = folder.filePath("not-a-report.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("{\"id\": 5}") > 0);
    file.close();
    AlertWatch watch;
    watch.window = [this]() -> const QWidget* { return app ? app->workspaceWindow() : nullptr; };
    qApp->installEventFilter(&watch);
    launch({}, {"--report", path});
    qApp->removeEventFilter(&watch);
    auto* alert = app->workspaceWindow()->findChild<QMessageBox*>("ql-error-alert");
    ASSERT_TRUE(alert && alert->isVisible());
    EXPECT_TRUE(alert->text().startsWith("Could not open report: ")) << alert->text().toStdString();
    EXPECT_EQ(watch.windowShownFirst, true);
    EXPECT_TRUE(app->workspaceWindow()->geometry().contains(alert->geometry()));
    alert->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(waitUntil([&] { return !app->store().error(); }));
}

TEST(TestLaunch, RuleReadsPresenceOnly) {
    const std::tuple<const char*, QStringList, bool> cases[] = {
        {"", {}, false},
        {"XCTestConfigurationFilePath", {}, true}, // an empty value counts
        {"QL_UI_TEST_LIBRARY", {}, true},
        {"", {"--smoke-test"}, true},
        {"", {"--snapshot"}, true},                              // without a path
        {"QL_UI_TEST", {"--snapshot=x", "--SMOKE-TEST"}, false}, // matched whole
        {"", {"--report", "x.json"}, false},
    };
    for (const auto& [variable, arguments, testLaunch] : cases) {
        QProcessEnvironment environment;
        if (*variable) environment.insert(variable, QString());
        EXPECT_EQ(AppDelegate::isTestLaunch(environment, QStringList{"quorilanth"} + arguments),
                  testLaunch)
            << variable << arguments.join(' ').toStdString();
    }
}

TEST(SharedLook, EverySymbolTheViewsAskForIsDrawn) {
    QStringList wanted = QStringLiteral("point.3.connected.trianglepath.dotted folder gearshape "
                                        "square.and.arrow.up sidebar.right globe sparkles "
                                        "arrow.up.right stop.fill hand.wave arrow.left hourglass "
                                        "hand.tap doc.text checkmark.circle minus.circle "
                                        "questionmark.circle exclamationmark.circle arrow.right "
                                        "magnifyingglass arrow.up.right.square text.bubble "
                                        "chevron.right chevron.down")
                             .split(' ');
    for (WorkspaceTab tab : allWorkspaceTabs)
        wanted << tabSymbol(tab);
    for (const QString& name : wanted) {
        const QImage image = Symbols::pixmap(name, Qt::white, 24).toImage();
        bool drawn = false;
        for (int i = 0; i < image.width() * image.height() && !drawn; ++i)
            drawn = qAlpha(image.pixel(i % image.width(), i / image.width())) > 0;
        EXPECT_TRUE(drawn) << name.toStdString();
    }
}

} // namespace
} // namespace quorilanth
