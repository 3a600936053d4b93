#include "ShellTestSupport.h"
#include "app/window/Panel.h"
#include "app/window/QLTheme.h"
#include "app/window/StatusBadge.h"
#include "app/window/Symbols.h"
#include "app/window/TabStrip.h"
#include "app/window/ViewKit.h"

#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
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
        report.nodes.emplace_back(domain + number, NodeKind::manifest, "node " + number, domain,
                                  status);
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
};

TEST_F(WindowTest, BandsAndColumnsFollowTheStore) {
    enum { report = 1, research = 2, aiMode = 4, noInspector = 8, library = 16 };
    const struct {
        const char* name;
        int state;
        WorkspaceTab tab;
        Area area;
        QString bands;
    } cases[] = {
        {"launch", 0, WorkspaceTab::guide, Area::welcome, "tab-strip"},
        {"technical tab, no report", 0, WorkspaceTab::raw, Area::welcome, "tab-strip inspector"},
        {"report on the guide", report, WorkspaceTab::guide, Area::report, "tab-strip"},
        {"report, technical tab", report, WorkspaceTab::raw, Area::report,
         "tab-strip inspector report-header"},
        {"inspector off", report | noInspector, WorkspaceTab::raw, Area::report,
         "tab-strip report-header"},
        {"library over a report", report | library, WorkspaceTab::raw, Area::library, ""},
        {"library, no report", library, WorkspaceTab::guide, Area::library, ""},
        {"AI result", research | aiMode, WorkspaceTab::discovery, Area::report,
         "tab-strip inspector"},
        {"AI result, site mode", research, WorkspaceTab::discovery, Area::welcome,
         "tab-strip inspector"},
        {"AI mode, no result", aiMode, WorkspaceTab::discovery, Area::welcome,
         "tab-strip inspector"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
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
        for (const char* band : {"tab-strip", "inspector", "report-header"})
            if (shown(QStringLiteral("ql-") + band)) bands << band;
        EXPECT_EQ(bands.join(' '), c.bands);
        EXPECT_EQ(
            std::vector<bool>({shown("ql-library"), shown("ql-welcome"), shown("ql-search-bar"),
                               find("ql-tab-strip")->isEnabled(),
                               find("export-menu")->isEnabled()}),
            std::vector<bool>({c.area == Area::library, c.area == Area::welcome, true,
                               (c.state & (report | research)) != 0, (c.state & report) != 0}));
        close();
    }
}

TEST_F(WindowTest, ScanStartsWhatIsTypedUntrimmedAndOnlyReturnStartsABlankField) {
    enum class Press { returnKey, controlReturn, scanButton };
    const struct {
        QString text;
        Press press;
        bool starts;
    } cases[] = {
        {"  https://held.example  ", Press::returnKey, true},
        {"   ", Press::returnKey, true}, // fails in the store's ordinary way
        {"\t", Press::controlReturn, false},
        {QStringLiteral("\u2003"), Press::scanButton, false},
        {"&<b>", Press::controlReturn, true},
        {" https://held.example", Press::scanButton, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        open();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        auto* field = find<QLineEdit>("scan-input");
        auto* scan = find<QPushButton>("scan-start");
        field->setFocus();
        field->insert(c.text); // one edit: key clicks cannot spell tabs or em spaces
        settle();
        EXPECT_EQ(scan->isEnabled(), !c.text.trimmed().isEmpty());
        QSignalSpy starts(store.get(), &WorkspaceStore::taskChanged);
        if (c.press == Press::scanButton)
            QTest::mouseClick(scan, Qt::LeftButton);
        else
            QTest::keyClick(field, Qt::Key_Return,
                            c.press == Press::controlReturn ? Qt::ControlModifier : Qt::NoModifier);
        EXPECT_EQ(!starts.isEmpty(), c.starts);
        EXPECT_EQ(store->input(), c.text);
        if (c.starts && c.text.trimmed().isEmpty()) {
            EXPECT_TRUE(waitUntil([&] { return !store->busy() && store->error(); }));
        }
        close();
    }
}

TEST_F(WindowTest, StopReplacesScanWhileBusyAndTheWelcomePageShowsProgress) {
    open();
    store->setLiveSchema(false); // no partial report: the welcome page stays
    EXPECT_FALSE(shown("ql-welcome-progress"));
    startHeldScan();
    EXPECT_EQ(view->mainArea(), Area::welcome);
    EXPECT_FALSE(shown("scan-start"));
    ASSERT_TRUE(shown("ql-scan-stop"));
    for (const char* name : {"scan-input", "ql-scan-mode", "open-report"})
        EXPECT_FALSE(find(name)->isEnabled()) << name;
    EXPECT_EQ(find<QLineEdit>("scan-input")->text(), "https://held.example");
    EXPECT_EQ(find<Swatch>("ql-status-dot")->colour(), QLTheme::accent());
    EXPECT_TRUE(waitUntil([&] {
        settle();
        return shown("ql-welcome-progress") && !store->status().isEmpty() &&
               text("ql-welcome-progress-text") == store->status();
    }));

    // Only a stop request ends a held scan, so the end of work proves it.
    QTest::mouseClick(find<QPushButton>("ql-scan-stop"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    settle();
    EXPECT_TRUE(shown("scan-start"));
    EXPECT_FALSE(shown("ql-scan-stop") || shown("ql-welcome-progress"));
    EXPECT_TRUE(find("scan-input")->isEnabled() && find("open-report")->isEnabled());
    EXPECT_EQ(find<Swatch>("ql-status-dot")->colour(), QLTheme::muted());
}

TEST_F(WindowTest, ModeMenuSwitchesPlaceholderAndKeepsTheText) {
    open();
    test::Language italian("it");
    auto* field = find<QLineEdit>("scan-input");
    auto* mode = find<QToolButton>("ql-scan-mode");
    QTest::keyClicks(field, "tea shops");
    for (const int item : {1, 0}) {
        mode->menu()->actions().at(item)->trigger();
        settle();
        EXPECT_EQ(store->discoveryMode(), item == 1);
        EXPECT_EQ(QStringList({mode->text(), field->placeholderText(), field->text()}),
                  item ? QStringList({"Trova siti \u00B7 AI", "Descrivi cosa vuoi trovare\u2026",
                                      "tea shops"})
                       : QStringList({"Esplora un sito",
                                      "Inserisci l\u2019indirizzo di un sito\u2026", "tea shops"}));
    }
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
    // At launch the guide face shows but does not respond.
    EXPECT_EQ(faces(), QStringList({"ql-tab-chip", "tab-SCHEMA"}));
    load(sampleReport());
    QTest::mouseClick(find<QToolButton>("ql-tab-technical"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_EQ(faces(), QStringList{"ql-tab-back"} + technical);
    for (const QString& id : technical)
        EXPECT_EQ(find<TabButton>(id)->selected(), id == "tab-Overview") << id.toStdString();
    QPointer<QWidget> overview = find("ql-pane-Overview");
    store->setTab(WorkspaceTab::overview); // the same tab again: the pane stays
    settle();
    EXPECT_EQ(find("ql-pane-Overview"), overview.data());
    QTest::mouseClick(find<TabButton>("tab-MCP"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::mcp);
    EXPECT_FALSE(overview);
    QTest::mouseClick(find<QToolButton>("ql-tab-back"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::guide);
    QTest::mouseClick(find<TabButton>("tab-SCHEMA"), Qt::LeftButton);
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::schema);

    // Over the library the inspector button opens the overview with the inspector.
    store->setShowLibrary(true);
    store->setShowInspector(false);
    settle();
    QTest::mouseClick(find<QToolButton>("ql-toggle-inspector"), Qt::LeftButton);
    settle();
    EXPECT_FALSE(store->showLibrary());
    EXPECT_EQ(store->tab(), WorkspaceTab::overview);
    EXPECT_TRUE(store->showInspector() && shown("ql-inspector"));
}

TEST_F(WindowTest, ReportHeaderCountersScoreBaselineAndTaps) {
    ScanReport bare = sampleReport();
    bare.domain = "bare-name";
    const struct {
        ScanReport report;
        QString site, counters, score;
    } cases[] = {
        // notFound and pending are left out; invalid servers' tools still count.
        {sampleReport(), "shop.example", "6 OBSERVATIONS  /  1 MCP SERVERS  /  3 TOOLS", "35"},
        {bare, "bare-name", "6 OBSERVATIONS  /  1 MCP SERVERS  /  3 TOOLS", "35"},
    };
    open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site.toStdString());
        load(c.report, WorkspaceTab::overview);
        ASSERT_TRUE(shown("ql-report-header"));
        EXPECT_EQ(QStringList({text("ql-report-site"), text("ql-report-counters"),
                               text("ql-report-score-value"), text("ql-report-caption")}),
                  QStringList({c.site, c.counters, c.score, "AGENT READINESS"}));
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
        settle();
        QTest::mouseClick(find(tapped), Qt::LeftButton, {}, QPoint(2, 2));
        settle();
        EXPECT_EQ(store->tab(), std::string_view(tapped) == "ql-report-site"
                                    ? WorkspaceTab::raw
                                    : WorkspaceTab::overview)
            << tapped;
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
        for (const char* name : {"open-report", "settings", "scan-input", "ql-tab-back"})
            names << heard(find(name));
        EXPECT_EQ(
            names,
            std::string_view(language) == "en"
                ? QStringList({"Open scan", "Settings", "Enter a website address\u2026", "For you"})
                : QStringList({"Apri scansione", "Settings",
                               "Inserisci l\u2019indirizzo di un sito\u2026", "Per te"}));
        snapshot(QStringLiteral("report-overview-%1").arg(language));
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

TEST(SharedLook, PanelContentTakesTheCardWidthFromTheLeadingEdge) {
    for (const bool paragraph : {true, false}) { // else a fixed-size badge
        auto* label = new QLabel(QStringLiteral("Every exchange is recorded. ").repeated(40));
        label->setWordWrap(true);
        Panel panel("Evidence", paragraph ? static_cast<QWidget*>(label)
                                          : new StatusBadge(FindingStatus::valid));
        if (!paragraph) delete label;
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
