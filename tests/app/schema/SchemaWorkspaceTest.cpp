#include "app/schema/SchemaWorkspace.h"

#include "app/schema/SchemaCanvasSlot.h"
#include "app/schema/ShopReport.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

const std::string& origin = test::shopOrigin;
using test::shop;

class SchemaWorkspaceTest : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        store = std::make_unique<WorkspaceStore>(folder.filePath("library"),
                                                 QStringList{QStringLiteral("quorilanth")},
                                                 test::heldDependencies(transport));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
    }
    void TearDown() override {
        view.reset();
        settle();
    }
    void load(const ScanReport& report) {
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        false);
        store->setTab(WorkspaceTab::schema);
        settle();
    }
    SchemaWorkspace* pane() const { return view->findChild<SchemaWorkspace*>("ql-pane-SCHEMA"); }
    template <typename T = QWidget> T* find(const char* name) const {
        return view->findChild<T*>(QString::fromUtf8(name));
    }
    bool shown(const char* name) const { return find(name)->isVisibleTo(view.get()); }
    const SchemaCanvasInput& canvas() const { return pane()->canvas()->input(); }
    void showGroup(NodeKind kind) {
        pane()->navigate(SchemaScope::group(kind));
        settle();
    }

    QTemporaryDir folder{test::folderTemplate()};
    int files = 0;
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

TEST_F(SchemaWorkspaceTest, BlankWithoutAReportThenGroupsOfEveryKind) {
    SchemaWorkspace blank(*store);
    EXPECT_FALSE(blank.findChild<QWidget*>("ql-schema-content")->isVisibleTo(&blank));
    load(shop(2));
    EXPECT_TRUE(blank.findChild<QWidget*>("ql-schema-content")->isVisibleTo(&blank));
    QStringList titles;
    for (QAction* action : find<QMenu>("ql-schema-groups-menu")->actions())
        titles << action->text();
    // The missing manifest is hidden, yet its kind is listed.
    EXPECT_EQ(titles, (QStringList{"Domain", "Manifest", "Tools", "Content"}));

    find<QAction>("ql-schema-group-content")->trigger();
    settle();
    EXPECT_TRUE(store->showContent());
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::group(NodeKind::content));
    EXPECT_EQ(canvas().scene->cards.size(), 1u);
    EXPECT_FALSE(shown("ql-schema-empty"));

    find<QAction>("ql-schema-group-manifest")->trigger();
    settle();
    EXPECT_TRUE(shown("ql-schema-empty"));
    EXPECT_EQ(find<ElidedLabel>("ql-schema-title")->text(), "Manifest");
}

TEST_F(SchemaWorkspaceTest, OpenBranchNeedsASelectedNode) {
    load(shop(2));
    const std::string tool = origin + "mcp#tool:1";
    for (const auto& [selection, offered] :
         {std::pair{std::optional<std::string>(), false},
          std::pair{std::optional(origin + "x"), false}, std::pair{std::optional(tool), true}}) {
        store->setSelectedID(selection);
        settle();
        EXPECT_EQ(shown("schema-branch"), offered) << selection.value_or("none");
    }
    find<QToolButton>("schema-branch")->click();
    settle();
    EXPECT_EQ(find<ElidedLabel>("ql-schema-title")->text(), "tool1");
}

TEST_F(SchemaWorkspaceTest, PagingFollowsTheScenePage) {
    const struct {
        int tools;
        const char* page;
        bool next;
    } cases[] = {{12, "1 / 1", false}, {13, "1 / 2", true}};
    for (const auto& c : cases) {
        load(shop(c.tools));
        showGroup(NodeKind::tool);
        EXPECT_EQ(find<QLabel>("ql-schema-page")->text(), c.page) << c.tools;
        EXPECT_FALSE(find<QToolButton>("schema-previous-page")->isEnabled());
        EXPECT_EQ(find<QToolButton>("schema-next-page")->isEnabled(), c.next);
    }
    find<QToolButton>("schema-next-page")->click();
    settle();
    EXPECT_EQ(find<QLabel>("ql-schema-page")->text(), "2 / 2");
    EXPECT_TRUE(find<QToolButton>("schema-previous-page")->isEnabled());
    QTest::keyClicks(find<QLineEdit>("schema-filter"), "TOOL1");
    settle();
    EXPECT_EQ(find<QLabel>("ql-schema-page")->text(), "1 / 1");
    EXPECT_EQ(find<QLabel>("ql-schema-item-count")->text(), "4 items");
}

TEST_F(SchemaWorkspaceTest, ReactsToTheStore) {
    load(shop(3));
    const std::string tool = origin + "mcp#tool:2";
    store->select(tool);
    settle();
    EXPECT_EQ(canvas().selectedID, tool);

    // Hiding the inspector refits the canvas and withholds the selection.
    const int command = store->graphCommand();
    store->setShowInspector(false);
    settle();
    EXPECT_EQ(store->graphCommand(), command + 1);
    EXPECT_EQ(canvas().fitCommand, command + 1);
    EXPECT_FALSE(canvas().selectedID);

    store->setFocusSelection(true);
    settle();
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::branch(tool));
    store->setFocusSelection(false);
    settle();
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::overview());

    showGroup(NodeKind::tool);
    load(shop(3)); // another report: back to the overview
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::overview());
}

TEST_F(SchemaWorkspaceTest, SnapshotsInBothLanguagesWithAHostileLabel) {
    const std::string hostile = "<b>Bold</b> & <i>" + std::string(3000, 'W') + "\nsecond line ";
    qputenv("QL_REDUCE_MOTION", "1");
    load(shop(13, hostile));
    for (const auto& [tag, title] :
         {std::pair{"it", "Architettura del sito"}, std::pair{"en", "Site architecture"}}) {
        test::Language language(QString::fromUtf8(tag));
        QEvent change(QEvent::LanguageChange);
        QApplication::sendEvent(view.get(), &change);
        pane()->navigate(SchemaScope::overview());
        settle();
        EXPECT_EQ(find<ElidedLabel>("ql-schema-title")->text(), QString::fromUtf8(title));
        EXPECT_TRUE(find<ElidedLabel>("ql-schema-subtitle")->text().startsWith("14 / 16 "));
        view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/schema-overview-%1.png").arg(tag));
        showGroup(NodeKind::tool);
        view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/schema-group-%1.png").arg(tag));
        pane()->navigate(SchemaScope::branch(origin + "mcp#tool:3"));
        settle();
        EXPECT_EQ(find<ElidedLabel>("ql-schema-title")->text().toStdString(), hostile + "3");
        view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/schema-branch-%1.png").arg(tag));
    }
    qunsetenv("QL_REDUCE_MOTION");
}

} // namespace
} // namespace quorilanth
