#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/store/SavedScan.h"
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
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

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

    // A window over a library index of these scans, with saved reports for them.
    void open(const std::vector<SavedScan>& scans) {
        const QDir library(folder.filePath("library"));
        library.mkpath(".");
        QFile index(library.filePath("library.json"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write(encodeLibraryIndex(scans));
        index.close();
        for (const SavedScan& entry : scans) {
            if (scans.size() > 50) break;
            ScanReport report(entry.domain.toStdString());
            report.id = entry.id.toStdString();
            test::writeReport(folder, report, "library/" + entry.id + ".json");
        }
        auto dependencies = test::heldDependencies(transport);
        dependencies.prompts = prompts;
        store = std::make_unique<WorkspaceStore>(library.path(), QStringList{"quorilanth"},
                                                 std::move(dependencies));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        settle();
    }
    void section(const QString& name) {
        store->openLibrary(name);
        settle();
    }
    void click(const QString& name) {
        auto* button = find<QAbstractButton>(name);
        ASSERT_TRUE(button && button->isVisibleTo(view.get())) << name.toStdString();
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, 4));
        settle();
    }
    template <typename T = QWidget> T* find(const QString& name) const {
        return view->findChild<T*>(name);
    }
    bool shown(const QString& name) const {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(view.get());
    }
    QString text(const QString& name) const { return find<QLabel>(name)->text(); }
    QStringList listed() const {
        QStringList ids;
        for (const SavedScan& entry : find<LibraryList>("ql-library-list")->scans())
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
};

TEST_F(LibraryTest, EmptyStatesFollowTheSectionTheFiltersAndTheIndex) {
    struct Case {
        const char* name;
        std::vector<SavedScan> index;
        QString section, search, filter;
        QString title, button;
        // After the button: the section shown, or none when the library closed.
        std::optional<QString> after;
    };
    const std::vector<SavedScan> one{scan(1, false, "Work")};
    const Case cases[] = {
        {"empty Recent", {}, "Recent", "", "", "No saved scans yet", "Explore a site", {}},
        {"empty Favorites", {}, "Favorites", "", "", "No favorites yet", "Explore a site", {}},
        {"empty Collections",
         {},
         "Collections",
         "",
         "",
         "No collections yet",
         "Explore a site",
         {}},
        {"empty History never offers History",
         {},
         "History",
         "",
         "",
         "No saved scans yet",
         "Explore a site",
         {}},
        {"scans but no favourite", one, "Favorites", "", "", "No favorites yet", "Open history",
         "History"},
        {"a search that matches nothing", one, "History", "zzz", "", "No results", "Clear filters",
         "History"},
        {"blanks filter nothing but still count as a filter",
         {},
         "Recent",
         "  ",
         "",
         "No results",
         "Clear filters",
         "Recent"},
        {"a collection no scan has", one, "Collections", "", "Gone", "No results", "Clear filters",
         "Collections"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.index);
        section(c.section);
        store->setLibrarySearch(c.search);
        store->setCollectionFilter(c.filter);
        settle();
        EXPECT_TRUE(shown("library-empty"));
        EXPECT_FALSE(shown("ql-library-list"));
        EXPECT_EQ(text("library-empty"), c.title);
        EXPECT_EQ(find<QPushButton>("ql-library-empty-action")->text(), c.button);
        EXPECT_EQ(shown("library-clear"), !c.search.isEmpty());
        click("ql-library-empty-action");
        EXPECT_EQ(store->showLibrary(), c.after.has_value());
        if (c.after) {
            EXPECT_EQ(store->librarySection(), *c.after);
            EXPECT_TRUE(store->librarySearch().isEmpty() && store->collectionFilter().isEmpty());
        }
        TearDown();
    }
}

TEST_F(LibraryTest, SearchAndCollectionFilterNarrowTheListAndTheSidebar) {
    open({scan(1, false, "Work"), scan(2, false, "Home"), scan(3), scan(14, false, "work")});
    section("History");
    auto* search = find<QLineEdit>("library-search");
    QTest::keyClicks(search, "SITE1");
    settle();
    EXPECT_EQ(listed(), (QStringList{"S1", "S14"}));
    EXPECT_EQ(sidebarRows(), (QStringList{"S1", "S14"}));
    EXPECT_EQ(text("ql-library-count"), "2");
    click("library-clear");
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(listed().size(), 4);
    QTest::keyClicks(search, "work");
    settle();
    EXPECT_EQ(listed(), (QStringList{"S1", "S14"}));
    EXPECT_FALSE(shown("collection-filter"));

    section("Collections");
    EXPECT_EQ(search->text(), "");
    auto* filter = find<QComboBox>("collection-filter");
    ASSERT_TRUE(shown("collection-filter"));
    QStringList choices;
    for (int i = 0; i < filter->count(); ++i)
        choices << filter->itemText(i);
    EXPECT_EQ(choices, (QStringList{"All collections", "Home", "Work", "work"}));
    filter->setCurrentIndex(2);
    emit filter->activated(2);
    settle();
    EXPECT_EQ(store->collectionFilter(), "Work");
    EXPECT_EQ(listed(), QStringList{"S1"});
    section("Collections");
    EXPECT_EQ(listed(), (QStringList{"S1", "S2", "S14"}));
    EXPECT_EQ(filter->currentIndex(), 0);
}

TEST_F(LibraryTest, RowsOpenMarkAndCollectTheirScan) {
    open({scan(1, true), scan(2, true), scan(3)});
    section("Favorites");
    EXPECT_FALSE(shown("library-back"));
    EXPECT_EQ(find<QToolButton>("library-favorite-S1")->toolTip(), "Remove favorite");
    // An unmarked favourite leaves the list at once.
    click("library-favorite-S1");
    EXPECT_EQ(listed(), QStringList{"S2"});
    EXPECT_FALSE(find("library-open-S1"));

    prompts->collectionAnswers.push_back(QStringLiteral("  Team "));
    click("library-collection-S2");
    EXPECT_EQ(store->history()[1].collection, "Team");
    EXPECT_EQ(view->findChild<SidebarScanRow*>("ql-sidebar-scan-S2")->accessibleName(),
              "site2.example, Team, 2");

    click("library-open-S2");
    EXPECT_FALSE(store->showLibrary());
    ASSERT_TRUE(store->report());
    EXPECT_EQ(store->report()->id, "S2");
    EXPECT_TRUE(view->findChild<SidebarScanRow*>("ql-sidebar-scan-S2")->isOpen());

    section("History");
    click("library-back");
    EXPECT_FALSE(store->showLibrary());
    EXPECT_TRUE(store->report());
    section("History");
    click("library-new");
    EXPECT_FALSE(store->showLibrary());
    EXPECT_FALSE(store->report());
}

TEST_F(LibraryTest, ThousandsOfScansBuildOnlyTheRowsInView) {
    std::vector<SavedScan> many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(scan(i));
    open(many);
    section("History");
    auto* list = find<LibraryList>("ql-library-list");
    EXPECT_EQ(list->scans().size(), 5000u);
    EXPECT_TRUE(shown("library-open-S0"));
    EXPECT_LE(list->builtRows(), 12);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    settle();
    EXPECT_TRUE(shown("library-open-S4999"));
    EXPECT_FALSE(find("library-open-S0"));
    EXPECT_LE(list->builtRows(), 12);
    // The sidebar lists twenty; its History row counts them all.
    EXPECT_EQ(sidebarRows().size(), 20);
    EXPECT_EQ(find<SectionRow>("library-History")->count(), "5000");
}

TEST_F(LibraryTest, SidebarFollowsTheStoreAndStandsStillWhileBusy) {
    open({scan(1), scan(2, false, "Work")});
    EXPECT_EQ(find<QLabel>("ql-sidebar-list-title")->text(), "RECENT");
    for (const char* name : {"Recent", "Favorites", "Collections", "History"}) {
        click(QStringLiteral("library-") + name);
        EXPECT_TRUE(store->showLibrary());
        for (auto* row : view->findChildren<SectionRow*>())
            EXPECT_EQ(row->highlighted(), row->section() == name) << name;
    }
    store->setTab(WorkspaceTab::guide);
    settle();
    for (auto* row : view->findChildren<SectionRow*>())
        EXPECT_FALSE(row->highlighted());
    EXPECT_EQ(find<QLabel>("ql-sidebar-list-title")->text(), "HISTORY");

    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(waitUntil([&] { return store->busy(); }));
    settle();
    for (const char* name : {"new-scan", "new-scan-plus", "library-Recent", "ql-sidebar-scan-S1"})
        EXPECT_FALSE(find(name)->isEnabled()) << name;
    // The menu of a row still works while a scan runs.
    auto* row = view->findChild<SidebarScanRow*>("ql-sidebar-scan-S1");
    emit row->customContextMenuRequested(QPoint(5, 5));
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
        for (const char* name : {"Recent", "Favorites", "Collections", "History"}) {
            section(name);
            view->refresh();
            settle();
            const QImage image = view->grab().toImage();
            image.save(QStringLiteral(QL_SNAPSHOT_DIR "/library-%1-%2.png").arg(name, tag));
            EXPECT_EQ(image.pixelColor(5, 500).rgb(), QLTheme::panel().rgb());
        }
    }
    view->refresh();
    EXPECT_EQ(text("library-title"), "History");
    section("Favorites");
    store->setLibrarySearch("nothing");
    settle();
    view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/library-no-results-en.png"));
}

} // namespace
} // namespace quorilanth
