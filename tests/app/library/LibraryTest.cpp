#include "app/kit/ViewKit.h"
#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

// clang-format off
SavedScan scan(int number, bool favorite = false, std::optional<QString> collection = {}) {
    return {QStringLiteral("S%1").arg(number), QStringLiteral("https://site%1.example/").arg(number),
            std::chrono::system_clock::now() - std::chrono::hours(number), number % 101, favorite,
            std::move(collection)};
}
// clang-format on

// A window over a library index of the scans a test gives.
class LibraryTest : public ::testing::Test {
public:
    void TearDown() override { close(); }
    void close() {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
    }
    void open(const std::vector<SavedScan>& scans) {
        QSettings().clear();
        QDir().mkpath(folder.filePath("library"));
        QFile index(folder.filePath("library/library.json"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly) && index.write(encodeLibraryIndex(scans)) > 0);
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
    // The ids the library lists.
    QStringList listed() const {
        QStringList ids;
        for (const SavedScan& entry : ui.find<LibraryList>("ql-library-list")->scans())
            ids << entry.id;
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
    const QString nothing = "No saved scans yet", noResults = "No results", clear = "Clear filters";
    // index, section, search, filter, title, button, the section shown after it ("": closed)
    // clang-format off
    const std::tuple<std::vector<SavedScan>, QString, QString, QString, QString, QString, QString> cases[] = {
        {none, "Recent", "", "", nothing, "Explore a site", ""},
        {none, "History", "", "", nothing, "Explore a site", ""}, // never "Open history" here
        {one, "Favorites", "", "", "No favorites yet", "Open history", "History"},
        {one, "History", "zzz", "", noResults, clear, "History"},
        {none, "Recent", "  ", "", noResults, clear, "Recent"}, // blanks filter nothing
        {one, "Collections", "", "Gone", noResults, clear, "Collections"}};
    // clang-format on
    for (const auto& [index, name, search, filter, title, button, after] : cases) {
        open(index);
        section(name);
        store->setLibrarySearch(search);
        store->setCollectionFilter(filter);
        settle();
        EXPECT_EQ(std::tuple(ui.shown("ql-library-list"), ui.find<QLabel>("library-empty")->text(),
                             ui.find<QPushButton>("ql-library-empty-action")->text(),
                             ui.shown("library-clear")),
                  std::tuple(false, title, button, !search.isEmpty()));
        ui.click("ql-library-empty-action");
        EXPECT_EQ(std::tuple(store->showLibrary() ? store->librarySection() : "",
                             store->librarySearch() + store->collectionFilter()),
                  std::tuple(after, ""));
        close();
    }
    open(one);
    const test::Language italian("it");
    section("History");
    EXPECT_EQ(ui.find<QLabel>("library-title")->text(), "Cronologia");
}

// The empty state's detail is centred under its title: the box the column
// gives it holds every line it draws, in either language and window width.
TEST_F(LibraryTest, ACentredEmptyDetailKeepsItsLastLine) {
    const std::vector<SavedScan> one{scan(1)};
    for (const char* language : {"en", "it"})
        for (const QString name : {"Favorites", "Collections"})
            for (const int width : {1640, 900}) {
                open(one);
                const test::Language chosen(language);
                view->resize(width, 1020);
                section(name);
                view->refresh();
                settle();
                auto* detail = ui.find<SpacedText>("ql-library-empty-detail");
                ASSERT_TRUE(detail && detail->isVisibleTo(view.get()));
                EXPECT_GE(detail->height(), detail->heightForWidth(detail->width()))
                    << language << " " << name.toStdString() << " " << width << ": "
                    << detail->text().toStdString();
                if (width == 1640 && name == "Collections")
                    view->grab().save(
                        QStringLiteral(QL_SNAPSHOT_DIR "/library-collections-empty-%1.png")
                            .arg(language));
                close();
            }
}

TEST_F(LibraryTest, TheSidebarListsTwentyScansAtMostAndCountsTheWholeHistory) {
    std::vector<SavedScan> many;
    for (int number = 1; number <= 25; ++number)
        many.push_back(scan(number, number == 25));
    // index, section opened; the rows listed (newest first, by their ends), whether
    // the note shows, the History count, the list's header, the highlighted section
    // clang-format off
    const std::tuple<std::vector<SavedScan>, QString, QStringList, bool, QString, QString, QString> cases[] = {
        {{}, "", {}, true, "0", "RECENT", ""},
        {many, "History", {"S1", "S20"}, false, "25", "HISTORY", "History"},
        {many, "Favorites", {"S25", "S25"}, false, "25", "FAVORITES", "Favorites"},
        {{scan(1)}, "Favorites", {}, true, "1", "FAVORITES", "Favorites"}};
    // clang-format on
    for (const auto& [index, opened, ends, note, count, header, highlighted] : cases) {
        open(index);
        if (!opened.isEmpty()) section(opened);
        QStringList rows, lit;
        for (auto* row : view->findChildren<SidebarScanRow*>())
            if (row->isVisibleTo(view.get())) rows << row->scan().id;
        for (auto* row : view->findChildren<SectionRow*>())
            if (row->highlighted()) lit << row->section();
        const QStringList listedEnds =
            rows.isEmpty() ? QStringList{} : QStringList{rows.front(), rows.back()};
        EXPECT_EQ(std::tuple(listedEnds, ui.shown("ql-sidebar-empty"),
                             ui.find<SectionRow>("library-History")->count(),
                             ui.find<QLabel>("ql-sidebar-list-title")->text(), lit.join(",")),
                  std::tuple(ends, note, count, header, highlighted))
            << opened.toStdString();
        close();
    }
}

TEST_F(LibraryTest, SearchAndCollectionFilterNarrowTheListAndTheSidebar) {
    open({scan(1, false, "Work"), scan(2, false, "Home"), scan(14, false, "work")});
    section("History");
    ui.type("library-search", "SITE1");
    EXPECT_EQ(std::tuple(listed(), ui.find<QLabel>("ql-library-count")->text(),
                         ui.shown("ql-sidebar-scan-S2"), ui.shown("ql-sidebar-scan-S14")),
              std::tuple(QStringList{"S1", "S14"}, "2", false, true));
    ui.click("library-clear");
    EXPECT_EQ(std::tuple(ui.find<QLineEdit>("library-search")->text(), listed().size()),
              std::tuple("", 3));

    section("Collections");
    auto* filter = ui.find<QComboBox>("collection-filter");
    QStringList choices;
    for (int i = 0; i < filter->count(); ++i)
        choices << filter->itemText(i);
    EXPECT_EQ(choices, (QStringList{"All collections", "Home", "Work", "work"}));
    filter->setCurrentIndex(2);
    emit filter->activated(2);
    settle();
    EXPECT_EQ(listed(), QStringList{"S1"});
    section("Collections"); // every opening clears the search and the filter
    EXPECT_EQ(std::tuple(listed(), filter->currentIndex()),
              std::tuple(QStringList{"S1", "S2", "S14"}, 0));
}

TEST_F(LibraryTest, RowsOpenMarkAndCollectTheirScanAndTheSidebarFollowsTheStore) {
    open({scan(1, true), scan(2, true), scan(3)});
    ScanReport saved("https://site2.example/");
    saved.id = "S2";
    test::writeReport(folder, saved, "library/S2.json");
    ui.click("library-Favorites");
    EXPECT_FALSE(ui.shown("library-back"));
    ui.click("library-favorite-S1"); // an unmarked favourite leaves the list at once
    EXPECT_EQ(listed(), QStringList{"S2"});
    EXPECT_FALSE(ui.find("library-open-S1"));
    prompts->collectionAnswers.push_back(QStringLiteral("  Team "));
    ui.click("library-collection-S2");
    auto* row = view->findChild<SidebarScanRow*>("ql-sidebar-scan-S2");
    EXPECT_EQ(std::tuple(store->history()[1].collection, row->accessibleName()),
              std::tuple("Team", "site2.example, Team, 2")); // the collection, not the date
    // A click, Return or Enter on a row opens its scan.
    for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_Return, Qt::Key_Enter}) {
        store->newScan();
        section("Favorites");
        if (key == Qt::Key_unknown)
            ui.click("library-open-S2");
        else
            QTest::keyClick(ui.find("library-open-S2"), key);
        settle();
        EXPECT_EQ(std::tuple(store->showLibrary(), store->report() ? store->report()->id : "",
                             row->isOpen()),
                  std::tuple(false, "S2", true))
            << key;
    }
    section("History");
    ui.click("library-back");
    EXPECT_TRUE(!store->showLibrary() && store->report());

    // While a scan runs the sidebar stands still, but a row's menu still works.
    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(test::waitUntil([&] { return store->busy(); }));
    settle();
    for (const char* name : {"new-scan", "new-scan-plus", "library-Recent"})
        EXPECT_FALSE(ui.find(name)->isEnabled()) << name;
    auto* busyRow = ui.find<SidebarScanRow>("ql-sidebar-scan-S3");
    EXPECT_FALSE(busyRow->responsive());
    QSignalSpy clicks(busyRow, &QAbstractButton::clicked);
    // Real presses through the window, as the platform delivers them: the
    // right button opens the menu, whose items still reach the store.
    QWindow* window = view->windowHandle();
    const QPoint centre = busyRow->mapTo(view.get(), busyRow->rect().center());
    QTest::mouseClick(window, Qt::RightButton, {}, centre);
    QMenu* menu = nullptr;
    ASSERT_TRUE(test::waitUntil([&] {
        menu = view->findChild<QMenu*>("ql-sidebar-scan-menu");
        return menu && menu->isVisible();
    }));
    menu->actions().at(0)->trigger();
    menu->close();
    settle();
    EXPECT_TRUE(store->history()[2].favorite);
    // The left button and the keyboard do nothing, though the row has focus.
    QTest::mouseClick(window, Qt::LeftButton, {}, centre);
    busyRow->setFocus();
    QTest::keyClick(busyRow, Qt::Key_Space);
    settle();
    EXPECT_EQ(std::tuple(clicks.count(), busyRow->isDown()), std::tuple(0, false));
}

// The keyboard on a saved scan stays with it as the list moves under it, or
// stays in the list when the scan leaves it; Return opens the scan it is on.
TEST_F(LibraryTest, TheKeyboardStaysWithItsScanWhenTheSidebarListMoves) {
    // a scan ends (else the focused favourite is unmarked), the focused scan, the one after
    const std::tuple<bool, QString, QString> cases[] = {
        {true, "S1", "S1"}, {true, "S3", "S3"}, {false, "S2", "S1"}};
    for (const auto& [scanEnds, focused, kept] : cases) {
        open({scan(1, true), scan(2, true), scan(3)});
        ScanReport saved("https://kept.example/");
        saved.id = kept.toStdString();
        test::writeReport(folder, saved, "library/" + kept + ".json");
        if (!scanEnds) section("Favorites");
        QApplication::setActiveWindow(view.get());
        ui.find("ql-sidebar-scan-" + focused)->setFocus();
        transport->released = true;
        if (scanEnds) {
            store->setInput(QStringLiteral("https://new.example"));
            store->start();
            ASSERT_TRUE(test::waitUntil([&] { return !store->busy(); }));
        } else
            store->toggleFavorite(scan(2, true));
        settle();
        auto* row = qobject_cast<SidebarScanRow*>(view->focusWidget());
        ASSERT_TRUE(row) << focused.toStdString();
        EXPECT_EQ(std::tuple(row->scan().id, row->isVisible()), std::tuple(kept, true));
        QTest::keyClick(row, Qt::Key_Return);
        EXPECT_EQ(store->report() ? store->report()->id : "", saved.id);
        close();
    }
}

} // namespace
} // namespace quorilanth
