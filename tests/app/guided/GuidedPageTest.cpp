// The guide page offscreen, by identifier: what it says of a report, its
// cards and form, sending, suggestions, answers, the document reader, and
// remote text shown as written.

#include "GuideTestSupport.h"
#include "app/guided/GuidedDocumentView.h"
#include "app/guided/GuidedKit.h"
#include "app/technical/DisclosureGroup.h"
#include "app/window/ExternalURL.h"

#include <QAccessible>
#include <QComboBox>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

class GuidedPage : public test::GuideWindow {
public:
    QString text(const QString& name) const {
        if (auto* block = find<TextBlock>(name)) return block->text();
        if (auto* label = find<QLabel>(name)) return label->text();
        return QStringLiteral("<missing %1>").arg(name);
    }
    bool shown(const QString& name) const {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(view.get());
    }
    QPushButton* send() const { return find<QPushButton>("guided-send"); }
    // Lets the held call end, and the store with it.
    void finishCall() {
        transport->released = true;
        ASSERT_TRUE(waitUntil([&] { return !store->toolBusy(); }, 20000));
        transport->released = false;
        store->setError(std::nullopt);
        settle();
    }
};

// Answers the first request with "not found" and holds every later one, so a
// scan shows a partial report for as long as a test needs.
class SlowSite final : public HTTPInspecting {
public:
    HTTPResult request(const std::string& url, const std::string& method, const HeaderFields&,
                       const std::optional<std::string>&, std::stop_token stop) override {
        if (requests++ > 0)
            while (!stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Evidence hop(url, method);
        hop.statusCode = 404;
        if (stop.stop_requested()) hop.error = "Cancelled";
        return HTTPResult{{std::move(hop)}};
    }
    std::atomic<int> requests{0};
};

TEST_F(GuidedPage, SectionsInBothLanguagesBusyAndFinished) {
    struct Case {
        const char* tag;
        const char* eyebrow;
        const char* title;
        const char* tools;
        const char* inspection;
        std::vector<const char*> verdicts;
        const char* reading;
        const char* partial;
    };
    const Case cases[] = {
        {"en",
         "THE SITE, IN PLAIN LANGUAGE",
         "What you can do on\nshop.example",
         "5 functions to try",
         "VERIFIED AGENT SERVICES",
         {"Found", "Not found", "Found", "Found"},
         "Reading the site…",
         " · partial results"},
        {"it",
         "IL SITO, IN PAROLE SEMPLICI",
         "Cosa puoi fare su\nshop.example",
         "5 funzioni da provare",
         "SERVIZI PER AGENTI VERIFICATI",
         {"Trovato", "Non trovate", "Trovati", "Trovata"},
         "Stiamo leggendo il sito…",
         " · risultati parziali"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        test::Language language(c.tag);
        open(test::shopReport());
        EXPECT_EQ(text("ql-guided-eyebrow"), QString::fromUtf8(c.eyebrow));
        EXPECT_EQ(text("ql-guided-title"), QString::fromUtf8(c.title));
        EXPECT_EQ(text("ql-guided-tool-count"), QString::fromUtf8(c.tools));
        EXPECT_EQ(find<quorilanth::Panel>("ql-guided-inspection")->title(), c.inspection);
        const QList<QLabel*> labels =
            find("ql-guided-inspection")->findChildren<QLabel*>(Qt::FindChildrenRecursively);
        QStringList words;
        for (QLabel* label : labels)
            words << label->text();
        for (const char* verdict : c.verdicts)
            EXPECT_TRUE(words.contains(QString::fromUtf8(verdict))) << verdict;
        EXPECT_FALSE(text("ql-guided-scan-line").endsWith(QString::fromUtf8(c.partial)));
        EXPECT_FALSE(shown("ql-guided-busy"));
        snapshot(QStringLiteral("guide-finished-") + c.tag);
        pressCard("guided-action-search_apps");
        ASSERT_TRUE(waitUntil([&] { return formAtTop() && shown("ql-guided-answer"); }, 5000));
        snapshot(QStringLiteral("guide-form-") + c.tag);
        for (QWidget* row :
             find("ql-guided-content")->findChildren<QWidget*>("ql-guided-document-row"))
            row->findChild<QAbstractButton*>()->setChecked(true);
        settle();
        page()->verticalScrollBar()->setValue(page()->verticalScrollBar()->maximum());
        snapshot(QStringLiteral("guide-documents-") + c.tag);

        // A scan that goes on shows its partial report.
        auto site = std::make_shared<SlowSite>();
        WorkspaceStore::Dependencies slow;
        slow.makeEngine = [site](NetworkPolicy policy) {
            return std::make_shared<DiscoveryEngine>(std::move(policy), site);
        };
        view.reset();
        store.reset();
        open(test::shopReport(), std::move(slow));
        store->setInput(QStringLiteral("https://busy.example"));
        store->start();
        ASSERT_TRUE(waitUntil([&] {
            settle();
            return store->busy() && store->report() && shown("ql-guided-busy");
        }));
        EXPECT_EQ(text("ql-guided-eyebrow"), QString::fromUtf8(c.reading));
        EXPECT_FALSE(shown("ql-guided-inspection"));
        EXPECT_TRUE(text("ql-guided-scan-line").endsWith(QString::fromUtf8(c.partial)));
        snapshot(QStringLiteral("guide-busy-") + c.tag);
        store->cancel();
        ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    }
}

TEST_F(GuidedPage, CardOpensItsFormWhichKeepsTypedValuesUntilAnotherToolIsChosen) {
    ScanReport report = test::shopReport();
    // A second tool of the same name: its card opens its own form.
    report.servers[0].tools.push_back(test::shopTool(
        R"({"name":"search_apps","inputSchema":{"properties":{"other":{"type":"string"}}}})"));
    open(report);
    pressCard("guided-action-search_apps");
    ASSERT_TRUE(form());
    EXPECT_EQ(store->selectedID(), test::shopServer + "#tool:search_apps");
    const auto formAtTop = [&] { return this->formAtTop(); };
    EXPECT_TRUE(waitUntil(formAtTop, 3000));
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

    // A screen reader hears each card as a button named by its title, and presses it.
    QAccessibleInterface* cards = QAccessible::queryAccessibleInterface(grid);
    ASSERT_EQ(cards->childCount(), int(grid->cards().size()));
    EXPECT_EQ(cards->child(1)->text(QAccessible::Name), "Learn more about an app");
    cards->child(1)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    settle();
    EXPECT_EQ(store->selectedID(), test::shopServer + "#tool:get_app_details");

    find<QToolButton>("ql-guided-close")->click();
    settle();
    EXPECT_FALSE(form());
    EXPECT_FALSE(store->selectedID());
    for (int i = 0; i < int(grid->cards().size()); ++i)
        EXPECT_FALSE(grid->isSelected(i));
}

TEST_F(GuidedPage, ButtonsLeadToTheTechnicalViews) {
    open(test::shopReport());
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
    EXPECT_EQ(store->selectedID(), test::shopServer + "#tool:delete_cart");
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
    open(test::shopReport());
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
        send()->click();
        settle();
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
        EXPECT_TRUE(confirm->informativeText().contains(QString::fromStdString(test::shopServer)));
        find<QPushButton>("ql-guided-confirm-cancel")->click();
        settle();
        EXPECT_FALSE(store->toolBusy());
        if (*c.field) {
            EXPECT_EQ(find<QLineEdit>(c.field)->text(), "<b>42</b>");
        }
        send()->click();
        settle();
        find<QPushButton>("ql-guided-confirm-send")->click();
        settle();
        EXPECT_TRUE(store->toolBusy());
        finishCall();
    }

    // A text that does not convert is shown until the next edit.
    pressCard("guided-action-search_apps");
    type("guided-field-query", "notes");
    find<DisclosureGroup>("ql-guided-options")->setExpanded(true);
    settle();
    type("guided-field-limit", "many");
    send()->click();
    settle();
    EXPECT_FALSE(store->toolBusy());
    EXPECT_EQ(text("ql-guided-error"), "Check the value of ‘Maximum results’.");
    type("guided-field-limit", "5");
    EXPECT_FALSE(shown("ql-guided-error"));
}

TEST_F(GuidedPage, SuggestionAnswerAndItsWaysOut) {
    std::vector<QUrl> opened;
    setExternalURLOpenerForTesting([&](const QUrl& url) { opened.push_back(url); });
    open(test::shopReport());
    pressCard("guided-action-get_app_details");
    ASSERT_TRUE(waitUntil([&] {
        settle();
        return find<QToolButton>("guided-choose-app_id") != nullptr;
    }));
    const QList<QAction*> items = find<QToolButton>("guided-choose-app_id")->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "Atlas · app-2");
    EXPECT_EQ(items[1]->text(), "Notes && <b>Co</b> · app-1");
    items[1]->trigger();
    settle();
    EXPECT_EQ(find<QLineEdit>("guided-field-app_id")->text(), "app-1");
    EXPECT_TRUE(send()->isEnabled());

    pressCard("guided-action-search_apps");
    ASSERT_TRUE(waitUntil([&] {
        settle();
        return shown("ql-guided-answer");
    }));
    EXPECT_EQ(text("ql-guided-answer-title"), "Last answer received");
    EXPECT_EQ(text("ql-guided-answer-language"), "Language of this answer: Italian");
    QStringList texts;
    for (TextBlock* block : find("ql-guided-answer")->findChildren<TextBlock*>())
        texts << block->text();
    EXPECT_TRUE(texts.contains("Notes & <b>Co</b>"));
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
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl("https://shop.example/apps/notes")});

    find<QToolButton>("ql-guided-original-response")->click();
    settle();
    EXPECT_EQ(store->tab(), WorkspaceTab::raw);
    EXPECT_EQ(store->selectedEvidenceID(), store->report()->evidence.back().id);
    setExternalURLOpenerForTesting(std::nullopt);
}

TEST_F(GuidedPage, DocumentReaderShowsMetadataTextOrTheWebPageSentence) {
    // "e" and a combining accent: one character to a reader, three bytes.
    const auto characters = [](int count) {
        std::string body;
        for (int i = 0; i < count; ++i)
            body += "e\u0301";
        return body;
    };
    struct Case {
        const char* contentType;
        std::string body;
        const char* metadata;
        const char* url;
        int previewCharacters; // -1: no preview
        bool note;
        bool sentence;
        bool source;
    };
    const Case cases[] = {
        {"text/plain", characters(12000), "{}", "https://shop.example/a.txt", 12000, false, false,
         true},
        {"text/plain", characters(12001), "null", "http://shop.example/a.txt", 12000, true, false,
         false},
        {"text/html; charset=utf-8", "<p>hi</p>", "{}", "https://shop.example/", -1, false, true,
         true},
        {"text/plain", "plain", R"({"name":"Shop"})", "", -1, false, false, false},
    };
    std::vector<QUrl> opened;
    setExternalURLOpenerForTesting([&](const QUrl& url) { opened.push_back(url); });
    for (const Case& c : cases) {
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
        store->setTab(WorkspaceTab::guide);
        store->setShowInspector(false);
        GuidedDocumentView reader(*store, node);
        auto* preview = reader.findChild<TextBlock*>("ql-guided-preview");
        EXPECT_EQ(preview ? int(preview->text().size()) / 2 : -1, c.previewCharacters);
        EXPECT_EQ(reader.findChild<QWidget*>("ql-guided-preview-note") != nullptr, c.note);
        EXPECT_EQ(reader.findChild<QWidget*>("ql-guided-web-page") != nullptr, c.sentence);
        EXPECT_EQ(reader.findChild<QWidget*>("ql-readable-value") != nullptr,
                  std::string(c.metadata).size() > 4);
        auto* source = reader.findChild<QPushButton*>("ql-guided-open-source");
        ASSERT_EQ(source != nullptr, c.source);
        if (source) {
            source->click();
            EXPECT_EQ(opened.back(), QUrl(c.url));
        }
        reader.findChild<QPushButton*>("ql-guided-technical-details")->click();
        settle();
        EXPECT_EQ(store->tab(), WorkspaceTab::endpoints);
        EXPECT_EQ(store->selectedID(), "doc");
        EXPECT_TRUE(store->showInspector());
        view.reset();
        store.reset();
    }
    setExternalURLOpenerForTesting(std::nullopt);
}

TEST_F(GuidedPage, HostileTextIsShownAsWrittenAndBounded) {
    const std::string hostile = "<img src=x> &amp; R&D " + std::string(100000, 'W');
    ScanReport report = test::shopReport(hostile);
    std::string properties;
    for (int i = 0; i < 150; ++i)
        properties +=
            (i ? "," : "") + ("\"f" + std::to_string(1000 + i) + "\":{\"type\":\"string\"}");
    std::string sizes;
    for (int i = 0; i < 1001; ++i)
        sizes += (i ? "," : "") + std::to_string(i);
    report.servers[0].tools.push_back(test::shopTool(
        R"({"name":"wide","inputSchema":{"required":["size"],"properties":{"size":{"type":"integer","enum":[)" +
        sizes + "]}," + properties + "}}}"));
    for (const char* tag : {"en", "it"}) {
        test::Language language(tag);
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
        snapshot(QStringLiteral("guide-hostile-") + tag);

        // A schema of many options shows the first hundred, and a list of
        // a thousand and one values is typed rather than picked.
        pressCard("guided-action-wide");
        EXPECT_TRUE(find<QLineEdit>("guided-field-size"));
        find<DisclosureGroup>("ql-guided-options")->setExpanded(true);
        settle();
        EXPECT_EQ(form()->findChildren<QLineEdit*>().size(), 101);
        view.reset();
        store.reset();
    }
}

} // namespace
} // namespace quorilanth
