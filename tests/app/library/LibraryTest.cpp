#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/window/QLTheme.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QToolButton>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

SavedScan scan(int number, bool favorite = false, std::optional<QString> collection = {}) {
    return {QStringLiteral("S%1").arg(number),
            QStringLiteral("https://site%1.example/").arg(number),
            std::chrono::system_clock::now() - std::chrono::hours(number),
            number % 101,
            favorite,
            std::move(collection)};
}

class LibraryTest : public ::testing::Test {
public:
    void SetUp() override { QSettings().clear(); }
    void TearDown() override {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
    }

    // A window over a library index of these scans.
    void open(const std::vector<SavedScan>& scans) {
        QDir().mkpath(folder.filePath("library"));
        QFile index(folder.filePath("library/library.json"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(encodeLibraryIndex(scans));
        index.close();
        auto dependencies = test::heldDependencies(transport);
        dependencies.prompts = prompts;
        store = std::make_unique<WorkspaceStore>(
            folder.filePath("library"), QStringList{"quorilanth"}, std::move(dependencies));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        ui.root = view.get();
        settle();
    }
    void section(const QString& name) {
        store->openLibrary(name);
        settle();
    }
    QString text(const QString& name) const { return ui.find<QLabel>(name)->text(); }
    QStringList listed() const {
        QStringList ids;
        for (const SavedScan& entry : ui.find<LibraryList>("ql-library-list")->scans())
            ids << entry.id;
        return ids;
    }
    QStringList sidebarRows() const {
        QStringList ids;
        for (auto* row : view->findChildren<SidebarScanRow*>())
            if (row->isVisibleTo(view.get())) ids << row->scan().id;
        return ids;
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
    test::Controls ui;
};

TEST_F(LibraryTest, EmptyStatesFollowTheSectionTheFiltersAndTheIndex) {
    const std::vector<SavedScan> none, one{scan(1, false, "Work")};
    const QString nothingSaved = "No saved scans yet", explore = "Explore a site",
                  noResults = "No results", clear = "Clear filters", closes;
    const struct {
        std::vector<SavedScan> index;
        QString section, search, filter, title, button;
        QString after; // the section shown after the button; empty: the library closed
    } cases[] = {
        {none, "Recent", "", "", nothingSaved, explore, closes},
        {none, "Favorites", "", "", "No favorites yet", explore, closes},
        {none, "Collections", "", "", "No collections yet", explore, closes},
        {none, "History", "", "", nothingSaved, explore, closes}, // never "Open history" here
        {one, "Favorites", "", "", "No favorites yet", "Open history", "History"},
        {one, "History", "zzz", "", noResults, clear, "History"},
        {none, "Recent", "  ", "", noResults, clear, "Recent"}, // blanks filter nothing
        {one, "Collections", "", "Gone", noResults, clear, "Collections"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.section + " " + c.title).toStdString());
        open(c.index);
        section(c.section);
        store->setLibrarySearch(c.search);
        store->setCollectionFilter(c.filter);
        settle();
        EXPECT_FALSE(ui.shown("ql-library-list"));
        EXPECT_EQ(text("library-empty"), c.title);
        EXPECT_EQ(ui.find<QPushButton>("ql-library-empty-action")->text(), c.button);
        EXPECT_EQ(ui.shown("library-clear"), !c.search.isEmpty());
        ui.click("ql-library-empty-action");
        EXPECT_EQ(store->showLibrary(), !c.after.isEmpty());
        if (!c.after.isEmpty()) {
            EXPECT_EQ(store->librarySection(), c.after);
        }
        EXPECT_TRUE(store->librarySearch().isEmpty() && store->collectionFilter().isEmpty());
        TearDown();
    }
}

TEST_F(LibraryTest, SearchAndCollectionFilterNarrowTheListAndTheSidebar) {
    open({scan(1, false, "Work"), scan(2, false, "Home"), scan(3), scan(14, false, "work")});
    section("History");
    ui.type("library-search", "SITE1");
    EXPECT_EQ(listed(), (QStringList{"S1", "S14"}));
    EXPECT_EQ(sidebarRows(), (QStringList{"S1", "S14"}));
    EXPECT_EQ(text("ql-library-count"), "2");
    ui.click("library-clear");
    EXPECT_EQ(ui.find<QLineEdit>("library-search")->text(), "");
    EXPECT_EQ(listed().size(), 4);
    ui.type("library-search", "work"); // collection names are searched too
    EXPECT_EQ(listed(), (QStringList{"S1", "S14"}));
    EXPECT_FALSE(ui.shown("collection-filter"));

    section("Collections");
    EXPECT_EQ(ui.find<QLineEdit>("library-search")->text(), "");
    auto* filter = ui.find<QComboBox>("collection-filter");
    QStringList choices;
    for (int i = 0; i < filter->count(); ++i)
        choices << filter->itemText(i);
    EXPECT_EQ(choices, (QStringList{"All collections", "Home", "Work", "work"}));
    filter->setCurrentIndex(2);
    emit filter->activated(2);
    settle();
    EXPECT_EQ(listed(), QStringList{"S1"});
    section("Collections"); // every opening clears the filter
    EXPECT_EQ(listed(), (QStringList{"S1", "S2", "S14"}));
    EXPECT_EQ(filter->currentIndex(), 0);
}

TEST_F(LibraryTest, RowsOpenMarkAndCollectTheirScan) {
    open({scan(1, true), scan(2, true), scan(3)});
    ScanReport saved("https://site2.example/");
    saved.id = "S2";
    test::writeReport(folder, saved, "library/S2.json");
    section("Favorites");
    EXPECT_FALSE(ui.shown("library-back"));
    EXPECT_EQ(ui.find<QToolButton>("library-favorite-S1")->toolTip(), "Remove favorite");
    ui.click("library-favorite-S1"); // an unmarked favourite leaves the list at once
    EXPECT_EQ(listed(), QStringList{"S2"});
    EXPECT_FALSE(ui.find("library-open-S1"));

    prompts->collectionAnswers.push_back(QStringLiteral("  Team "));
    ui.click("library-collection-S2");
    EXPECT_EQ(store->history()[1].collection, "Team");
    auto* row = view->findChild<SidebarScanRow*>("ql-sidebar-scan-S2");
    EXPECT_EQ(row->accessibleName(), "site2.example, Team, 2"); // the collection, not the date

    ui.click("library-open-S2");
    EXPECT_FALSE(store->showLibrary());
    EXPECT_EQ(store->report()->id, "S2");
    EXPECT_TRUE(row->isOpen());
    section("History");
    ui.click("library-back");
    EXPECT_FALSE(store->showLibrary());
    EXPECT_TRUE(store->report());
    section("History");
    ui.click("library-new");
    EXPECT_FALSE(store->showLibrary() || store->report());
}

TEST_F(LibraryTest, ThousandsOfScansBuildOnlyTheRowsInView) {
    std::vector<SavedScan> many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(scan(i));
    open(many);
    section("History");
    auto* list = ui.find<LibraryList>("ql-library-list");
    EXPECT_TRUE(ui.shown("library-open-S0"));
    EXPECT_LE(list->builtRows(), 12);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    settle();
    EXPECT_TRUE(ui.shown("library-open-S4999"));
    EXPECT_FALSE(ui.find("library-open-S0"));
    EXPECT_LE(list->builtRows(), 12);
    // The sidebar lists twenty; its History row counts them all.
    EXPECT_EQ(sidebarRows().size(), 20);
    EXPECT_EQ(ui.find<SectionRow>("library-History")->count(), "5000");
}

TEST_F(LibraryTest, SidebarFollowsTheStoreAndStandsStillWhileBusy) {
    open({scan(1), scan(2, false, "Work")});
    for (const char* name : {"Recent", "Favorites", "Collections", "History"}) {
        ui.click(QStringLiteral("library-") + name);
        for (auto* row : view->findChildren<SectionRow*>())
            EXPECT_EQ(row->highlighted(), store->showLibrary() && row->section() == name);
    }
    store->setTab(WorkspaceTab::guide);
    settle();
    for (auto* row : view->findChildren<SectionRow*>())
        EXPECT_FALSE(row->highlighted());
    EXPECT_EQ(text("ql-sidebar-list-title"), "HISTORY");

    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(test::waitUntil([&] { return store->busy(); }));
    settle();
    for (const char* name : {"new-scan", "new-scan-plus", "library-Recent", "ql-sidebar-scan-S1"})
        EXPECT_FALSE(ui.find(name)->isEnabled()) << name;
    // A row's menu still works while a scan runs.
    emit ui.find("ql-sidebar-scan-S1")->customContextMenuRequested(QPoint(5, 5));
    auto* menu = view->findChild<QMenu*>("ql-sidebar-scan-menu");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->actions().at(0)->text(), "Add favorite");
    menu->actions().at(0)->trigger();
    settle();
    EXPECT_TRUE(store->history()[0].favorite);
}

TEST_F(LibraryTest, SnapshotsOfEverySectionInBothLanguages) {
    const QString hostile = QStringLiteral("<b>R&D</b> &amp; ") + QString(300, QLatin1Char('W'));
    SavedScan odd = scan(3, true, hostile);
    odd.domain = hostile;
    open({scan(1, true, "Clienti"), scan(2), odd});
    for (const char* tag : {"en", "it"}) {
        test::Language language(tag);
        view->refresh();
        for (const char* name : {"Recent", "Favorites", "Collections", "History"}) {
            section(name);
            view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/library-%1-%2.png").arg(name, tag));
        }
        EXPECT_EQ(text("library-title"), tag == std::string("en") ? "History" : "Cronologia");
    }
}

} // namespace
} // namespace quorilanth
