// The guide page offscreen, by identifier: what it says of a report, its
// cards and form, sending, suggestions, answers, the document reader, remote
// text shown as written; and a guided call through the published everything
// server, scanned over loopback with real curl.

#include "app/guided/GuidedBrowserView.h"
#include "app/guided/GuidedDocumentView.h"
#include "app/guided/GuidedKit.h"
#include "app/guided/GuidedToolView.h"
#include "app/guided/ToolCardGrid.h"
#include "app/kit/DisclosureGroup.h"
#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ReducedMotion.h"
#include "app/kit/ViewKit.h"
#include "app/window/ShellTestSupport.h"
#include "support/DesktopAnimations.h"
#include "support/McpPeer.h"
#include "support/ReportBuilder.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>
#include <set>

namespace quorilanth {
namespace {

using test::settle;
using test::tabWalk;
using test::waitUntil;
using test::walkedTo;

const std::string shopServer = "https://shop.example/mcp";

MCPTool shopTool(const std::string& definition) {
    return MCPTool(shopServer, JSONValue::parse(definition));
}

ScanReport shopReport(const std::string& hostile = "<i>Italic</i> &amp; <b>&</b>") {
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

// The window on the guide tab of a report, with the held transport unless a
// test brings its own engine.
class GuidedPage : public test::WorkspaceFixture {
public:
    void open(const ScanReport& report) {
        WorkspaceFixture::open();
        load(report);
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
    // The page done moving, and the form at the top.
    bool pageStill() const {
        for (QTimer* timer : page()->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
            if (timer->isActive()) return false;
        for (auto* motion :
             page()->findChildren<QVariantAnimation*>(QString(), Qt::FindDirectChildrenOnly))
            if (motion->state() == QAbstractAnimation::Running) return false;
        return true;
    }
    bool formSettled() const { return pageStill() && formAtTop(); }
    // After a language change rebuilt the page: the form and its answer in view.
    void showForm() {
        waitUntil([&] { return form() && !form()->findChildren<QWidget*>().isEmpty(); });
        settle();
        page()->verticalScrollBar()->setValue(
            page()->formSlot()->mapTo(page()->widget(), QPoint()).y());
        settle();
    }
    QString text(const QString& name) const {
        auto* block = find<TextBlock>(name);
        return block ? block->text() : find<QLabel>(name)->text();
    }
    // The texts shown inside a widget.
    QStringList blocks(const QString& name) const {
        QStringList texts;
        if (QWidget* widget = find(name))
            for (TextBlock* block : widget->findChildren<TextBlock*>())
                texts << block->text();
        return texts;
    }
    QPushButton* send() const { return find<QPushButton>("guided-send"); }
    // The window on the scan of a real peer over loopback, with real curl.
    void scan(const testing::McpPeer& peer) {
        WorkspaceStore::Dependencies dependencies;
        dependencies.makeEngine = [](NetworkPolicy policy) {
            policy.developerMode = true;
            return std::make_shared<DiscoveryEngine>(std::move(policy));
        };
        WorkspaceFixture::open(std::move(dependencies));
        store->setInput(QStringLiteral("http://127.0.0.1:%1").arg(peer.port()));
        store->start();
        ASSERT_TRUE(waitUntil([&] { return !store->busy(); }, 90000));
        settle();
        ASSERT_FALSE(store->error()) << store->error()->toStdString();
    }
    // Lets the held call end, and the store with it.
    void finishCall() {
        transport->released = true;
        ASSERT_TRUE(waitUntil([&] { return !store->toolBusy(); }, 20000));
        transport->released = false;
        store->setError(std::nullopt);
        settle();
    }
};

TEST_F(GuidedPage, FinishedAndBusyPages) {
    open(shopReport());
    EXPECT_EQ(
        QStringList({text("ql-guided-eyebrow"), text("ql-guided-title"),
                     text("ql-guided-tool-count"), find<Panel>("ql-guided-inspection")->title()}),
        QStringList({"THE SITE, IN PLAIN LANGUAGE", "What you can do on\nshop.example",
                     "5 functions to try", "VERIFIED AGENT SERVICES"}));
    EXPECT_FALSE(text("ql-guided-scan-line").endsWith(" · partial results"));
    EXPECT_FALSE(shown("ql-guided-busy"));
    {
        test::Language italian("it");
        view->refresh();
        EXPECT_EQ(text("ql-guided-title"), "Cosa puoi fare su\nshop.example");
    }
    snapshot("guide-finished");
    snapshot("guide-documents", [&] {
        for (QWidget* row :
             find("ql-guided-content")->findChildren<QWidget*>("ql-guided-document-row"))
            row->findChild<QAbstractButton*>()->setChecked(true);
        settle();
        page()->verticalScrollBar()->setValue(page()->verticalScrollBar()->maximum());
    });

    // A scan that goes on shows its partial report.
    store->setInput(QStringLiteral("https://busy.example"));
    store->start();
    ASSERT_TRUE(waitUntil([&] {
        settle();
        return store->busy() && store->report() && shown("ql-guided-busy");
    }));
    EXPECT_EQ(text("ql-guided-eyebrow"), "Reading the site…");
    EXPECT_FALSE(shown("ql-guided-inspection"));
    EXPECT_TRUE(text("ql-guided-scan-line").endsWith(" · partial results"));
    snapshot("guide-busy");
}

TEST_F(GuidedPage, SectionsFollowWhatTheScanFound) {
    const auto described = [](testsupport::ReportBuilder& site) {
        site.node("https://shop.example/", NodeKind::domain, FindingStatus::found).metadata =
            JSONValue::parse(R"({"description":"Apps for every day."})");
    };
    testsupport::ReportBuilder services("https://shop.example/");
    described(services);
    services.node(shopServer, NodeKind::mcp, FindingStatus::valid);
    MCPServer server(shopServer);
    server.status = FindingStatus::valid;
    server.tools = {shopTool(R"({"name":"search_apps"})")};
    services.report().servers.push_back(server);
    testsupport::ReportBuilder documents("https://shop.example/");
    described(documents);
    documents.document("https://shop.example/llms.txt", NodeKind::discovery).label = "llms.txt";
    testsupport::ReportBuilder neither("https://shop.example/");
    described(neither);

    const struct {
        const char* name;
        ScanReport report;
        const char* title;
        const char* tools;
        // Shown: the description, the documentation-only note, the cards, the documents.
        std::vector<bool> sections;
    } cases[] = {
        {"services without documents",
         services.report(),
         "What you can do on\nshop.example",
         "1 function to try",
         {true, false, true, false}},
        {"documents without services",
         documents.report(),
         "Inspection result\nshop.example",
         "0 functions to try",
         {true, true, false, true}},
        {"neither",
         neither.report(),
         "Inspection result\nshop.example",
         "0 functions to try",
         {false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.report);
        EXPECT_EQ(text("ql-guided-title"), c.title);
        EXPECT_EQ(text("ql-guided-tool-count"), c.tools);
        EXPECT_EQ(
            std::vector<bool>({shown("ql-guided-description"), shown("ql-guided-documents-only"),
                               shown("ql-guided-actions"), shown("ql-guided-document-row")}),
            c.sections);
        if (shown("ql-guided-description")) {
            EXPECT_EQ(blocks("ql-guided-description").value(0), "Apps for every day.");
        }
        close();
    }
}

TEST_F(GuidedPage, CardOpensItsFormWhichKeepsTypedValuesUntilAnotherToolIsChosen) {
    ScanReport report = shopReport();
    // A second tool of the same name: its card opens its own form.
    report.servers[0].tools.push_back(shopTool(
        R"({"name":"search_apps","inputSchema":{"properties":{"other":{"type":"string"}}}})"));
    open(report);
    pressCard("guided-action-search_apps");
    ASSERT_TRUE(form());
    EXPECT_EQ(store->selectedID(), shopServer + "#tool:search_apps");
    const auto formAtTop = [&] { return this->formAtTop(); };
    EXPECT_TRUE(waitUntil([&] { return formAtTop() && shown("ql-guided-answer"); }, 5000));
    snapshot("guide-form", [&] { showForm(); });
    EXPECT_FALSE(send()->isEnabled());
    EXPECT_TRUE(shown("guided-required-fields"));
    type("guided-field-query", "notes & <b>");
    EXPECT_TRUE(send()->isEnabled());
    EXPECT_FALSE(shown("guided-required-fields"));

    // Away and back: the page is built anew, the typed text is still there.
    store->setTab(WorkspaceTab::overview);
    settle();
    store->setTab(WorkspaceTab::guide);
    settle();
    ASSERT_TRUE(find<QLineEdit>("guided-field-query"));
    EXPECT_EQ(find<QLineEdit>("guided-field-query")->text(), "notes & <b>");
    EXPECT_TRUE(waitUntil(formAtTop, 3000)) << "opening the page scrolls to the chosen form";

    pressCard("guided-action-get_app_details");
    pressCard("guided-action-search_apps");
    EXPECT_EQ(find<QLineEdit>("guided-field-query")->text(), "") << "another tool was chosen";

    ToolCardGrid* grid = page()->cards();
    page()->choose(int(grid->cards().size()) - 1);
    settle();
    ASSERT_TRUE(form());
    EXPECT_EQ(GuidedToolView::keys(form()->tool()), std::vector<std::string>{"other"});
    // ...and it alone is drawn as chosen, not its namesake.
    for (int i = 0; i < int(grid->cards().size()); ++i)
        EXPECT_EQ(grid->isSelected(i), i == int(grid->cards().size()) - 1) << i;

    // A screen reader hears each card as a button named by its title, and presses it.
    QAccessibleInterface* cards = QAccessible::queryAccessibleInterface(grid);
    ASSERT_EQ(cards->childCount(), int(grid->cards().size()));
    EXPECT_EQ(cards->child(1)->text(QAccessible::Name), "Learn more about an app");
    cards->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    settle();
    EXPECT_EQ(store->selectedID(), shopServer + "#tool:get_app_details");

    click("ql-guided-close");
    EXPECT_FALSE(form());
    EXPECT_FALSE(store->selectedID());
    for (int i = 0; i < int(grid->cards().size()); ++i)
        EXPECT_FALSE(grid->isSelected(i));
}

// The page's scroll to a chosen form and the busy spinner follow the
// desktop's animation setting, and the variable overrides it either way.
TEST_F(GuidedPage, MotionFollowsTheDesktopSettingAndTheVariableOverridesIt) {
    EXPECT_EQ(desktopAnimations("org.example.absent"), std::nullopt); // no schema, no abort
    const bool desktop = test::setDesktopAnimations(false);
    // desktop animations, variable (null: unset), moving
    const std::tuple<bool, const char*, bool> cases[] = {{true, nullptr, true},
                                                         {false, nullptr, false},
                                                         {false, "0", true},
                                                         {true, "1", false},
                                                         {true, "", false}};
    for (const auto& [animations, variable, moving] : cases) {
        if (!animations && !desktop) continue; // this machine has no such setting
        SCOPED_TRACE(std::string(animations ? "on " : "off ") + (variable ? variable : "unset"));
        test::setDesktopAnimations(animations);
        if (variable)
            qputenv("QL_REDUCE_MOTION", variable);
        else
            qunsetenv("QL_REDUCE_MOTION");
        open(shopReport());
        ToolCardGrid* grid = page()->cards();
        page()->ensureWidgetVisible(grid);
        settle();
        QScrollBar* bar = page()->verticalScrollBar();
        std::set<int> passed;
        const QMetaObject::Connection watch = QObject::connect(
            bar, &QScrollBar::valueChanged, [&](int value) { passed.insert(value); });
        QTest::mouseClick(grid, Qt::LeftButton, {},
                          grid->cardRect(grid->indexOf("guided-action-search_apps")).center());
        EXPECT_TRUE(waitUntil([&] { return formAtTop() && shown("ql-guided-answer"); }, 5000));
        // A motion passes through the values between; a jump lands at once.
        EXPECT_EQ(passed.size() > 3, moving) << passed.size();
        QObject::disconnect(watch);
        BusyIndicator spinner(12, Qt::white);
        spinner.show();
        EXPECT_EQ(spinner.turning(), moving);
    }
    qunsetenv("QL_REDUCE_MOTION");
    test::setDesktopAnimations(true);
}

// A keyboard alone chooses a tool, fills its form and sends it, in the order
// the page is read; a screen reader follows the card that has the keyboard.
TEST_F(GuidedPage, TheKeyboardChoosesFillsAndSendsInReadingOrder) {
    open(shopReport());
    ToolCardGrid* grid = page()->cards();
    QApplication::setActiveWindow(view.get());
    grid->setFocus(Qt::TabFocusReason);
    QTest::keyClick(grid, Qt::Key_Right);
    // The offscreen platform has no accessibility bridge to hear the focus
    // event; what a screen reader asks on hearing it is answered here.
    QAccessibleInterface* cards = QAccessible::queryAccessibleInterface(grid);
    EXPECT_EQ(cards->focusChild(), cards->child(1));
    EXPECT_TRUE(cards->child(1)->state().focused && !cards->child(0)->state().focused);
    // What stands for the card's identifier, which tests and scripts look for.
    EXPECT_EQ(cards->child(1)->text(QAccessible::UserText), grid->cards()[1].identifier);

    // Return opens the card's form; the next Tab goes into it.
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Return);
    settle();
    ASSERT_TRUE(waitUntil([&] { return form() && form()->isVisible(); }));
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_TRUE(form()->isAncestorOf(QApplication::focusWidget()))
        << QApplication::focusWidget()->objectName().toStdString();

    ASSERT_TRUE(waitUntil([&] { return shown("ql-guided-answer"); }));
    type("guided-field-query", "notes"); // the button waits for it
    const QList<QWidget*> walk = tabWalk(find("scan-input"));
    const qsizetype cardsAt = walkedTo(walk, grid),
                    query = walkedTo(walk, find("guided-field-query")),
                    sendAt = walkedTo(walk, send()),
                    answer = walkedTo(walk, find("ql-guided-answer")),
                    documents = walkedTo(walk, find("ql-guided-document-row")),
                    guide = walkedTo(walk, find("ql-guided-guide"));
    EXPECT_TRUE(0 < cardsAt && cardsAt < query && query < sendAt && sendAt < answer &&
                answer < guide)
        << cardsAt << " " << query << " " << sendAt << " " << answer << " " << guide;
    EXPECT_TRUE(answer < documents && documents < guide) << documents;
    // The answer's selectable text is a stop of its own.
    EXPECT_TRUE(std::any_of(walk.begin(), walk.end(), [&](QWidget* stop) {
        return qobject_cast<TextBlock*>(stop) && find("ql-guided-answer")->isAncestorOf(stop);
    }));
}

// The keyboard goes where the page goes: from a card to the first field of
// its form, in view and outlined at the window's smallest size; from a form
// that goes to the next form, or back to the cards.
TEST_F(GuidedPage, TheKeyboardGoesWhereThePageGoes) {
    ScanReport report = shopReport();
    report.servers[0].tools.push_back(
        shopTool(R"({"name":"tell","description":")" + std::string(6000, 'w') +
                 R"(","inputSchema":{"properties":{"query":{"type":"string"}}}})"));
    // language, card chosen with Return, what is pressed next, where the keyboard lands
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"en", "guided-action-search_apps", "", "guided-field-query"},
        {"it", "guided-action-search_apps", "", "guided-field-query"},
        {"en", "guided-action-tell", "", "guided-field-query"}, // under a long introduction
        {"en", "guided-action-search_apps", "guided-action-get_app_details", "guided-field-app_id"},
        {"en", "guided-action-search_apps", "ql-guided-close", "ql-guided-actions"}};
    for (const auto& [language, card, next, reached] : cases) {
        SCOPED_TRACE(std::string(language) + " " + card + " " + next);
        const test::Language chosen(language);
        open(report);
        view->resize(view->minimumSize());
        QApplication::setActiveWindow(view.get());
        QWidget* before = find("ql-guided-inspect-checks");
        before->setFocus();
        QTest::keyClick(before, Qt::Key_Tab);
        ToolCardGrid* grid = page()->cards();
        for (int step = grid->indexOf(card); step > 0; --step)
            QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return form() && pageStill(); }));
        if (QString(next).startsWith("guided-action"))
            pressCard(next);
        else if (*next)
            QTest::keyClick(find(next), Qt::Key_Space);
        settle();
        ASSERT_TRUE(waitUntil([&] { return pageStill(); }));
        QWidget* at = view->focusWidget();
        const QRect place = at == grid ? grid->cardRect(grid->focusCard()) : at->rect();
        EXPECT_EQ(at->objectName(), reached);
        EXPECT_TRUE(page()->viewport()->rect().contains(
            QRect(at->mapTo(page()->viewport(), place.topLeft()), place.size())));
        EXPECT_TRUE(QLTheme::showsFocus(*at));
        close();
    }
}

TEST_F(GuidedPage, ButtonsLeadToTheTechnicalViews) {
    open(shopReport());
    store->setShowInspector(false);
    const std::pair<const char*, WorkspaceTab> cases[] = {
        {"ql-guided-inspect-checks", WorkspaceTab::overview},
        {"ql-guided-open-schema", WorkspaceTab::schema},
        {"ql-guided-open-checks", WorkspaceTab::overview},
        {"ql-guided-open-tool-details", WorkspaceTab::tools},
    };
    for (const auto& [button, tab] : cases) {
        SCOPED_TRACE(button);
        store->setTab(WorkspaceTab::guide);
        settle();
        if (tab == WorkspaceTab::tools) {
            pressCard("guided-action-delete_cart");
            find<DisclosureGroup>("ql-guided-source")->setExpanded(true);
        }
        find<QPushButton>(button)->click();
        settle(); // the page that held the button is gone by now
        EXPECT_EQ(store->tab(), tab);
        EXPECT_FALSE(page());
    }
    EXPECT_EQ(store->selectedID(), shopServer + "#tool:delete_cart");
    EXPECT_TRUE(store->showInspector());
}

TEST_F(GuidedPage, SendingFollowsTheToolsSafety) {
    struct Case {
        const char* card;
        const char* field;    // typed into, when not empty
        const char* question; // the confirmation's, empty for none
    };
    const Case cases[] = {
        {"guided-action-search_apps", "guided-field-query", ""},
        {"guided-action-delete_cart", "guided-field-cart_id", "Confirm this operation?"},
        {"guided-action-export_report", "", "The effects are not declared. Continue?"},
    };
    open(shopReport());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.card);
        pressCard(c.card);
        if (*c.field) {
            EXPECT_FALSE(send()->isEnabled());
            type(c.field, "<b>42</b>");
        } else {
            EXPECT_TRUE(shown("ql-guided-no-fields"));
        }
        ASSERT_TRUE(send()->isEnabled());
        click("guided-send");
        if (!*c.question) {
            EXPECT_TRUE(store->toolBusy()) << "a read-only tool is sent at once";
            EXPECT_EQ(send()->text(), "Waiting for the site…");
            EXPECT_FALSE(send()->isEnabled());
            EXPECT_TRUE(shown("ql-guided-previous-answer"));
            finishCall();
            continue;
        }
        auto* confirm = find<QMessageBox>("ql-guided-confirm");
        ASSERT_TRUE(confirm) << text("ql-guided-error").toStdString();
        EXPECT_FALSE(store->toolBusy());
        EXPECT_EQ(confirm->text(), c.question);
        for (QLabel* label : confirm->findChildren<QLabel*>())
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_TRUE(confirm->informativeText().contains(QString::fromStdString(shopServer)));
        click("ql-guided-confirm-cancel");
        EXPECT_FALSE(store->toolBusy());
        if (*c.field) {
            EXPECT_EQ(find<QLineEdit>(c.field)->text(), "<b>42</b>");
        }
        click("guided-send");
        click("ql-guided-confirm-send");
        EXPECT_TRUE(store->toolBusy());
        finishCall();
    }

    // A text that does not convert is shown until the next edit.
    pressCard("guided-action-search_apps");
    type("guided-field-query", "notes");
    find<DisclosureGroup>("ql-guided-options")->setExpanded(true);
    settle();
    type("guided-field-limit", "many");
    click("guided-send");
    EXPECT_FALSE(store->toolBusy());
    EXPECT_EQ(text("ql-guided-error"), "Check the value of ‘Maximum results’.");
    type("guided-field-limit", "5");
    EXPECT_FALSE(shown("ql-guided-error"));
}

TEST_F(GuidedPage, EachFieldTypeHasItsControlAndFillsTheRequest) {
    ScanReport report = shopReport();
    report.servers[0].tools.push_back(shopTool(R"({"name":"update_profile",
        "annotations":{"destructiveHint":true},"inputSchema":{"required":["size","name"],
        "properties":{"name":{"type":"string"},"size":{"type":"integer","enum":[1,2]},
          "language":{"type":"string","enum":["it","en"]},"free":{"type":"boolean"},
          "tags":{"type":"array","items":{"type":"string"}},
          "filters":{"type":"object","description":""},"r&d":{"enum":["a","b"]}}}})"));
    open(report);
    pressCard("guided-action-update_profile");
    find<DisclosureGroup>("ql-guided-options")->setExpanded(true);
    settle();
    EXPECT_EQ(find<DisclosureGroup>("ql-guided-options")->header()->title(),
              "Customize your request · 4 options");
    const auto picker = [&](const QString& label) -> QComboBox* {
        for (QComboBox* box : form()->findChildren<QComboBox*>("ql-guided-picker"))
            if (box->accessibleName() == label) return box;
        return nullptr;
    };
    const struct {
        const char* label;
        QStringList rows;
        const char* first; // the row shown when the form opens
        int presses;       // Down when positive, Up when negative
        const char* heard; // what a screen reader hears the picker named
    } pickers[] = {
        {"Size", {"Choose…", "1", "2"}, "Choose…", 2, "Size · required"},
        {"Answer language",
         {"Use the site’s default", "Italian", "English"},
         "English",
         -1,
         "Answer language"},
        {"Free only", {"Not specified", "Yes", "No"}, "Not specified", 2, "Free only"},
        {"R&d", {"Use the site’s default", "a", "b"}, "Use the site’s default", 0, "R&d"},
    };
    EXPECT_EQ(form()->findChildren<QComboBox*>().size(), std::size(pickers));
    for (const auto& p : pickers) {
        SCOPED_TRACE(p.label);
        QComboBox* box = picker(p.label);
        ASSERT_TRUE(box);
        EXPECT_EQ(test::labelledBy(box), QStringList{p.heard});
        QStringList rows;
        for (int i = 0; i < box->count(); ++i)
            rows << box->itemText(i);
        EXPECT_EQ(rows, p.rows);
        EXPECT_EQ(box->currentText(), p.first);
        // The closed picker has room for its widest row.
        QStyleOptionComboBox option;
        option.initFrom(box);
        const int room =
            box->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                .width();
        for (const QString& row : p.rows)
            EXPECT_GE(room, box->fontMetrics().horizontalAdvance(row)) << row.toStdString();
        for (int i = 0; i < std::abs(p.presses); ++i)
            QTest::keyClick(box, p.presses > 0 ? Qt::Key_Down : Qt::Key_Up);
    }
    type("guided-field-name", "Ada & <b>");
    EXPECT_EQ(find<QLineEdit>("guided-field-name")->placeholderText(), "Enter a value");
    auto* lines = form()->findChild<QPlainTextEdit*>("ql-guided-lines");
    ASSERT_TRUE(lines);
    lines->setPlainText("a\n\n  b  ");
    EXPECT_TRUE(blocks("ql-guided-options")
                    .contains("This field contains complex options. Open the technical details "
                              "to inspect them."));

    // What was chosen and typed is what the confirmation lists, in name order.
    click("guided-send");
    auto* confirm = find<QMessageBox>("ql-guided-confirm");
    ASSERT_TRUE(confirm) << text("ql-guided-error").toStdString();
    EXPECT_TRUE(confirm->informativeText().endsWith(
        "Free only: false\nAnswer language: it\nName: Ada & <b>\nSize: 2\nKeywords: [\n  \"a\",\n "
        " \"b\"\n]"))
        << confirm->informativeText().toStdString();
    click("ql-guided-confirm-cancel");
    EXPECT_EQ(picker("Size")->currentText(), "2") << "cancel keeps every value";
    EXPECT_EQ(lines->toPlainText(), "a\n\n  b  ");
}

TEST_F(GuidedPage, APickedEntrySendsItsOwnElementWhenAnotherShowsTheSameText) {
    // Only the text "1" meets the declared type, so the site refuses the number.
    ScanReport report = shopReport();
    report.servers[0].tools.push_back(shopTool(R"({"name":"pick_edition",
        "annotations":{"readOnlyHint":true},"inputSchema":{"required":["edition"],
        "properties":{"edition":{"type":"string","enum":[1,"1"]}}}})"));
    open(report);
    pressCard("guided-action-pick_edition");
    auto* box = form()->findChild<QComboBox*>("ql-guided-picker");
    ASSERT_TRUE(box);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), 2);
    form()->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/guided-picker-shared-text.png"));
    click("guided-send");
    EXPECT_FALSE(shown("ql-guided-error")) << text("ql-guided-error").toStdString();
    EXPECT_TRUE(store->toolBusy());
    finishCall();
}

TEST_F(GuidedPage, SuggestionAnswerAndItsWaysOut) {
    open(shopReport());
    pressCard("guided-action-get_app_details");
    ASSERT_TRUE(waitUntil([&] { return find<QToolButton>("guided-choose-app_id") != nullptr; }));
    const QList<QAction*> items = find<QToolButton>("guided-choose-app_id")->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "Atlas · app-2");
    EXPECT_EQ(items[1]->text(), "Notes && <b>Co</b> · app-1");
    items[1]->trigger();
    settle();
    EXPECT_EQ(find<QLineEdit>("guided-field-app_id")->text(), "app-1");
    EXPECT_TRUE(send()->isEnabled());

    pressCard("guided-action-search_apps");
    ASSERT_TRUE(waitUntil([&] { return shown("ql-guided-answer"); }));
    EXPECT_EQ(text("ql-guided-answer-title"), "Last answer received");
    EXPECT_EQ(text("ql-guided-answer-language"), "Language of this answer: Italian");
    EXPECT_TRUE(blocks("ql-guided-answer").contains("Notes & <b>Co</b>"));
    // A folded member is built only when opened, and its remote title is no shortcut.
    const QList<DisclosureGroup*> groups =
        find("ql-guided-answer")->findChildren<DisclosureGroup*>("ql-readable-group");
    ASSERT_GE(groups.size(), 2);
    DisclosureGroup* details = groups[0];
    QApplication::setActiveWindow(view.get());
    QTest::keyClick(view.get(), Qt::Key_D, Qt::AltModifier);
    EXPECT_FALSE(waitUntil([&] { return groups[1]->isExpanded(); }, 300));
    EXPECT_FALSE(details->content());
    details->setExpanded(true);
    ASSERT_TRUE(details->content());
    find("ql-guided-answer")->findChild<QPushButton*>("ql-readable-open-page")->click();
    EXPECT_EQ(opened, QStringList{"https://shop.example/apps/notes"});

    click("ql-guided-original-response");
    EXPECT_EQ(store->tab(), WorkspaceTab::raw);
    EXPECT_EQ(store->selectedEvidenceID(), store->report()->evidence.back().id);
}

TEST_F(GuidedPage, DocumentReaderShowsMetadataTextOrTheWebPageSentence) {
    // "e" and a combining accent: one character to a reader, three bytes.
    const auto characters = [](int count) {
        std::string body;
        for (int i = 0; i < count; ++i)
            body += "e\u0301";
        return body;
    };
    const struct {
        const char* contentType;
        std::string body;
        const char* metadata;
        const char* url;
        int previewCharacters; // -1: no preview
        bool note, sentence, source;
    } cases[] = {
        {"text/plain", characters(12000), "{}", "https://shop.example/a.txt", 12000, false, false,
         true},
        {"text/plain", characters(12001), "null", "http://shop.example/a.txt", 12000, true, false,
         false},
        {"text/html; charset=utf-8", "<p>hi</p>", "{}", "https://shop.example/", -1, false, true,
         true},
        {"text/plain", "plain", R"({"name":"Shop"})", "", -1, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType);
        testsupport::ReportBuilder site("https://shop.example/");
        const std::string get = site.exchange("https://shop.example/a", 200, c.contentType, c.body);
        // A later POST to the same node is never what the reader shows.
        const std::string post =
            site.exchange("https://shop.example/a", 200, "text/plain", "posted", "POST");
        GraphNode node("doc", NodeKind::manifest, "a.txt",
                       *c.url ? std::optional<std::string>(c.url) : std::nullopt,
                       FindingStatus::found);
        node.evidenceIDs = {get, post};
        node.metadata = JSONValue::parse(c.metadata);
        open(site.report());
        store->setShowInspector(false);
        GuidedDocumentView reader(*store, node);
        auto* preview = reader.findChild<TextBlock*>("ql-guided-preview");
        EXPECT_EQ(preview ? int(preview->text().size()) / 2 : -1, c.previewCharacters);
        EXPECT_EQ(
            std::vector<bool>({reader.findChild<QWidget*>("ql-guided-preview-note") != nullptr,
                               reader.findChild<QWidget*>("ql-guided-web-page") != nullptr,
                               reader.findChild<QWidget*>("ql-readable-value") != nullptr}),
            std::vector<bool>({c.note, c.sentence, std::string(c.metadata).size() > 4}));
        auto* source = reader.findChild<QPushButton*>("ql-guided-open-source");
        ASSERT_EQ(source != nullptr, c.source);
        if (source) {
            source->click();
            EXPECT_EQ(opened.back(), c.url);
        }
        reader.findChild<QPushButton*>("ql-guided-technical-details")->click();
        settle();
        EXPECT_EQ(store->tab(), WorkspaceTab::endpoints);
        EXPECT_EQ(store->selectedID(), "doc");
        EXPECT_TRUE(store->showInspector());
        close();
    }
}

TEST_F(GuidedPage, HostileTextIsShownAsWrittenAndBounded) {
    const std::string hostile = "<img src=x> &amp; R&D " + std::string(100000, 'W');
    ScanReport report = shopReport(hostile);
    std::string sizes = "0", properties = R"("f":{"type":"string"})";
    for (int i = 1; i < 1001; ++i)
        sizes += "," + std::to_string(i);
    for (int i = 1; i < 150; ++i)
        properties += ",\"f" + std::to_string(i) + R"(":{"type":"string"})";
    report.servers[0].tools.push_back(shopTool(
        R"({"name":"wide","inputSchema":{"required":["size"],"properties":{"size":{"type":"integer","enum":[)" +
        sizes + "]}," + properties + "}}}"));
    open(report);
    const QSize size = view->size();
    ToolCardGrid* grid = page()->cards();
    const int index = grid->indexOf("guided-action-hostile_tool");
    ASSERT_GE(index, 0);
    EXPECT_TRUE(grid->cards()[std::size_t(index)].title.startsWith("<img src=x> &amp; R&D W"));
    pressCard("guided-action-hostile_tool");
    ASSERT_TRUE(form());
    EXPECT_TRUE(text("ql-guided-form-title").startsWith("<img src=x> &amp; R&D W"));
    EXPECT_LE(text("ql-guided-form-title").size(), 301);
    EXPECT_EQ(view->size(), size);
    EXPECT_TRUE(waitUntil([&] { return formAtTop(); }, 3000));
    snapshot("guide-hostile", [&] { showForm(); });

    // A schema of many options shows the first hundred, and a list of
    // a thousand and one values is typed rather than picked.
    pressCard("guided-action-wide");
    EXPECT_TRUE(find<QLineEdit>("guided-field-size"));
    find<DisclosureGroup>("ql-guided-options")->setExpanded(true);
    settle();
    EXPECT_EQ(form()->findChildren<QLineEdit*>().size(), 101);
}

// A site's direction controls cannot turn a tool's name around on its card;
// the plain page drops them.
TEST_F(GuidedPage, DirectionControlsInANameAreDropped) {
    ScanReport report = shopReport();
    report.servers[0].tools.push_back(shopTool("{\"name\":\"\u202Egnp.exe\",\"description\":"
                                               "\"\u2067\u05D7\u05D9\u05E4\u05D5\u05E9\u2069\"}"));
    open(report);
    ToolCardGrid* grid = page()->cards();
    const auto card = std::find_if(grid->cards().begin(), grid->cards().end(),
                                   [](const ToolCard& c) { return c.toolID.ends_with("exe"); });
    ASSERT_NE(card, grid->cards().end());
    EXPECT_EQ(card->title.toLower(), u"gnp.exe"_qs);
    EXPECT_EQ(card->introduction, u"\u2068\u05D7\u05D9\u05E4\u05D5\u05E9\u2069"_qs);
    // The same in the form the card opens, drawn by the page's text blocks.
    pressCard(card->identifier);
    ASSERT_TRUE(form());
    EXPECT_TRUE(text("ql-guided-form-title").endsWith(u"np.exe"_qs));
    EXPECT_FALSE(text("ql-guided-form-title").contains(QChar(0x202E)));
    // An answer's or a document's text reaches the page by the same blocks.
    const TextBlock answer(u"\u202Egnp.exe \u2067x"_qs, QFont(), Qt::white);
    EXPECT_EQ(answer.text(), u"gnp.exe x"_qs);
}

TEST_F(GuidedPage, AnAnswersLongLanguageWrapsInsideThePage) {
    const std::string token(300, 'W');
    ScanReport report = shopReport();
    report.evidence.push_back(testsupport::toolCall(
        shopServer, "search_apps",
        R"({"jsonrpc":"2.0","id":1,"result":{"structuredContent":{"language":")" + token +
            R"("}}})"));
    open(report);
    pressCard("guided-action-search_apps");
    ASSERT_TRUE(waitUntil([&] { return shown("ql-guided-answer"); }));
    // Shortened as every remote text is, then wrapped.
    EXPECT_EQ(text("ql-guided-answer-language").toStdString(),
              "Language of this answer: " + token.substr(0, 200) + "\u2026");
    showForm();
    EXPECT_LE(page()->widget()->width(), page()->viewport()->width());
    QWidget* line = find("ql-guided-answer-language");
    EXPECT_LE(line->mapTo(page()->widget(), QPoint(line->width(), 0)).x(),
              page()->viewport()->width());
    snapshot("guide-long-language", [&] {
        showForm();
        page()->ensureWidgetVisible(find("ql-guided-answer-language"));
        settle();
    });
}

TEST_F(GuidedPage, AnOpenDocumentStaysOpenWhereverTheNextReportListsIt) {
    // Which rows are open, by title, in the order the page lists them.
    const auto rows = [&] {
        std::vector<std::pair<QString, bool>> listed;
        QList<QWidget*> shown =
            find("ql-guided-content")->findChildren<QWidget*>("ql-guided-document-row");
        std::sort(shown.begin(), shown.end(),
                  [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        for (QWidget* row : shown) {
            auto* header = row->findChild<QAbstractButton*>();
            const auto* reader = row->findChild<QWidget*>("ql-guided-document");
            listed.emplace_back(header->accessibleName(),
                                header->isChecked() && reader && reader->isVisibleTo(row));
        }
        return listed;
    };
    open(shopReport());
    for (QWidget* row : find("ql-guided-content")->findChildren<QWidget*>("ql-guided-document-row"))
        if (auto* header = row->findChild<QAbstractButton*>();
            header->accessibleName() == "Instructions for assistants")
            header->setChecked(true);
    settle();
    using Rows = std::vector<std::pair<QString, bool>>;
    EXPECT_EQ(rows(), Rows({{"How the site introduces itself", false},
                            {"Instructions for assistants", true}}));

    // The next report lists a new document first: the open one is found by its node.
    ScanReport next = shopReport();
    testsupport::ReportBuilder site("https://shop.example/");
    GraphNode& catalog =
        site.document("https://shop.example/.well-known/ai-catalog.json", NodeKind::manifest);
    catalog.label = "ai-catalog.json";
    next.evidence.push_back(site.report().evidence.back());
    next.nodes.insert(next.nodes.begin(), catalog);
    load(next);
    EXPECT_EQ(rows(), Rows({{"The published catalog", false},
                            {"How the site introduces itself", false},
                            {"Instructions for assistants", true}}));
}

TEST_F(GuidedPage, OneCharacterUnderAMillionAccentsIsCutInBytesToo) {
    // One letter under 200,000 combining accents is one character to a
    // reader and 400 KB to lay out: what a page shows of it stays small.
    std::string heavy = "e";
    for (int i = 0; i < 200000; ++i)
        heavy += "\u0301";
    ScanReport report = shopReport(heavy);
    testsupport::ReportBuilder site("https://shop.example/");
    const std::string body =
        site.exchange("https://shop.example/notes.txt", 200, "text/plain", "Notes " + heavy);
    report.evidence.push_back(site.report().evidence.back());
    GraphNode notes("https://shop.example/notes.txt", NodeKind::discovery, "notes.txt",
                    "https://shop.example/notes.txt", FindingStatus::found);
    notes.evidenceIDs = {body};
    open(report);
    pressCard("guided-action-hostile_tool");
    GuidedDocumentView reader(*store, notes);
    ToolCardGrid* grid = page()->cards();
    const struct {
        const char* place;
        QString shown;
    } cases[] = {
        {"card title",
         grid->cards()[std::size_t(grid->indexOf("guided-action-hostile_tool"))].title},
        {"card introduction",
         grid->cards()[std::size_t(grid->indexOf("guided-action-hostile_tool"))].introduction},
        {"form title", text("ql-guided-form-title")},
        {"form introduction", text("ql-guided-form-introduction")},
        {"document preview", reader.findChild<TextBlock*>("ql-guided-preview")->text()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        EXPECT_TRUE(c.shown.startsWith("e\u0301") || c.shown.startsWith("Notes e\u0301"));
        EXPECT_LT(c.shown.size(), 50000) << "of 200,001 sent";
    }
    EXPECT_TRUE(reader.findChild<QWidget*>("ql-guided-preview-note"))
        << "a preview cut for its bytes says it is partial";
}

TEST_F(GuidedPage, EchoThroughARealPeerFromTheFormToTheAnswerShown) {
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    scan(peer);
    if (HasFatalFailure()) return;

    pressCard("guided-action-echo");
    EXPECT_FALSE(send()->isEnabled()) << "the message is required";
    type("guided-field-message", "ciao <b>&");
    ASSERT_TRUE(send()->isEnabled());
    click("guided-send");
    ASSERT_TRUE(waitUntil(
        [&] {
            settle();
            return !store->toolBusy() && blocks("ql-guided-answer").contains("Echo: ciao <b>&");
        },
        60000));
    EXPECT_EQ(store->status(), "Tool response recorded");
    EXPECT_EQ(text("ql-guided-answer-title"), "Last answer received");
    EXPECT_EQ(find<QLineEdit>("guided-field-message")->text(), "ciao <b>&")
        << "the form keeps its values after sending";
    // The page scrolls to the form a moment after the press: the answer is
    // shown once it has.
    snapshot("guide-peer-answer", [&] {
        showForm();
        page()->ensureWidgetVisible(find("ql-guided-answer"));
        settle();
    });
}

// A reader who sends from the bottom of the view sees the answer come into
// view under Send, and the keyboard stays in the form: on Send again, or where
// the reader took it while the site was answering.
TEST_F(GuidedPage, AfterSendTheAnswerComesIntoViewAndTheKeyboardStaysInTheForm) {
    testing::McpPeer peer(testing::McpPeer::Kind::Everything);
    scan(peer);
    if (HasFatalFailure()) return;
    view->resize(view->minimumSize()); // as on a laptop's screen
    QApplication::setActiveWindow(view.get());

    enum Press { space, enter, click, confirmed, tabWhileWaiting };
    struct Case {
        const char* card;
        std::vector<std::pair<QString, QString>> fields;
        Press press;
        QString answer; // how it begins
    };
    const Case cases[] = {
        {"guided-action-echo", {{"guided-field-message", "ciao"}}, space, "Echo: ciao"},
        {"guided-action-get-sum",
         {{"guided-field-a", "2"}, {"guided-field-b", "3"}},
         click,
         "The sum of 2 and 3 is 5."},
        // Taller than the view.
        {"guided-action-echo",
         {{"guided-field-message", QStringLiteral("again ").repeated(2000)}},
         enter,
         "Echo: again again"},
        {"guided-action-toggle-simulated-logging", {}, confirmed, "Started simulated"},
        {"guided-action-trigger-long-running-operation",
         {{"guided-field-duration", "2"}, {"guided-field-steps", "1"}},
         tabWhileWaiting,
         "Long running operation completed."},
    };
    const auto inView = [&](QWidget* widget) {
        const QRect area(widget->mapTo(page()->viewport(), QPoint()), widget->size());
        return page()->viewport()->rect().contains(area);
    };
    const auto answered = [&](const QString& answer) {
        const QStringList shown = blocks("ql-guided-answer");
        return std::any_of(shown.begin(), shown.end(),
                           [&](const QString& block) { return block.startsWith(answer); });
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.card) + " " + c.answer.toStdString());
        pressCard(c.card);
        if (auto* options = find<DisclosureGroup>("ql-guided-options")) options->setExpanded(true);
        ASSERT_TRUE(waitUntil([&] { return formSettled(); }, 5000));
        for (const auto& [field, value] : c.fields)
            type(field, value);
        // The button at the foot of the view.
        QScrollBar* bar = page()->verticalScrollBar();
        bar->setValue(send()->mapTo(page()->widget(), QPoint(0, send()->height())).y() -
                      page()->viewport()->height() + 8);
        settle();
        ASSERT_TRUE(inView(send()));
        // Reached by the keyboard, from the control after it.
        QWidget* after = find<DisclosureGroup>("ql-guided-source")->header();
        after->setFocus();
        QTest::keyClick(after, Qt::Key_Backtab);
        ASSERT_EQ(QApplication::focusWidget(), send());
        if (c.press == click)
            QTest::mouseClick(send(), Qt::LeftButton);
        else
            QTest::keyClick(send(), c.press == enter ? Qt::Key_Return : Qt::Key_Space);
        if (c.press == confirmed) {
            ASSERT_TRUE(find("ql-guided-confirm"));
            find<QPushButton>("ql-guided-confirm-send")->click();
            // The desktop gives the window back the keyboard a moment later.
            QApplication::setActiveWindow(nullptr);
            settle();
            QApplication::setActiveWindow(view.get());
        }
        QWidget* reached = send();
        if (c.press == tabWhileWaiting) {
            ASSERT_TRUE(store->toolBusy());
            settle();
            // The keyboard waits in Send's place, heard by what Send says.
            QWidget* holder = view->focusWidget();
            ASSERT_TRUE(holder && holder->isAncestorOf(send()));
            EXPECT_EQ(QAccessible::queryAccessibleInterface(holder)->text(QAccessible::Name),
                      "Waiting for the site…");
            EXPECT_TRUE(holder->findChild<FocusOutline*>(QString(), Qt::FindDirectChildrenOnly)
                            ->isVisible());
            QTest::keyClick(holder, Qt::Key_Tab);
            reached = view->focusWidget();
            EXPECT_TRUE(form()->isAncestorOf(reached) && reached->isEnabled());
        }
        ASSERT_TRUE(waitUntil(
            [&] {
                settle();
                return !store->toolBusy() && answered(c.answer);
            },
            60000));
        settle();
        EXPECT_TRUE(waitUntil([&] { return inView(find("ql-guided-answer-title")); }, 3000))
            << "the answer is under the view at " << bar->value();
        EXPECT_TRUE(inView(send()));
        EXPECT_EQ(view->focusWidget(), reached);
    }
    view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/guide-after-send-en.png"));
}

TEST(ToolCards, CardsDrawnAgainShowTheirNewTextsAndWidth) {
    // A grid keeps what it last drew of each card; whatever a card shows must
    // still be what a grid made afresh would draw.
    const auto card = [](const QString& title, const QString& introduction) {
        return ToolCard{"k",   "t",          QStringLiteral("guided-action-t"),
                        title, introduction, QStringLiteral("Safe"),
                        true,  false};
    };
    const QString longText = QStringLiteral("a sentence long enough to need several lines on a "
                                            "card of this width, and then more words after it");
    struct Case {
        const char* name;
        std::vector<ToolCard> before;
        std::vector<ToolCard> after;
        int beforeWidth;
        int afterWidth;
    };
    const std::vector<Case> cases{
        {"new title", {card("First", "Short")}, {card("Second", "Short")}, 640, 640},
        {"new introduction", {card("Same", longText)}, {card("Same", "Short")}, 640, 640},
        {"narrower", {card("Same", longText)}, {card("Same", longText)}, 640, 300},
        {"wider", {card(longText, longText)}, {card(longText, longText)}, 300, 640},
    };
    for (const Case& c : cases) {
        ToolCardGrid changed;
        changed.setCards(c.before);
        changed.resize(c.beforeWidth, changed.heightForWidth(c.beforeWidth));
        (void)changed.grab();
        changed.setCards(c.after);
        changed.resize(c.afterWidth, changed.heightForWidth(c.afterWidth));
        ToolCardGrid fresh;
        fresh.setCards(c.after);
        fresh.resize(c.afterWidth, fresh.heightForWidth(c.afterWidth));
        EXPECT_EQ(changed.grab().toImage(), fresh.grab().toImage()) << c.name;
    }
    // The outline of a card chosen and then let go is the plain one again.
    ToolCardGrid chosen, plain;
    for (ToolCardGrid* grid : {&chosen, &plain}) {
        grid->setCards({card("One", "Short"), card("Two", "Short")});
        grid->resize(640, grid->heightForWidth(640));
    }
    chosen.setSelected(std::string("t"), std::nullopt);
    const QImage marked = chosen.grab().toImage();
    chosen.setSelected(std::nullopt, std::nullopt);
    EXPECT_NE(marked, plain.grab().toImage());
    EXPECT_EQ(chosen.grab().toImage(), plain.grab().toImage());
}

} // namespace
} // namespace quorilanth
