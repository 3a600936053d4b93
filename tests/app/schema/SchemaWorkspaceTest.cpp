#include "app/schema/SchemaWorkspace.h"

#include "app/schema/SchemaCanvasSlot.h"
#include "app/schema/ShopReport.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

const std::string& origin = test::shopOrigin;
using test::shop;

// The window over a store whose scans wait, on the SCHEMA tab of the report loaded last.
class SchemaWorkspaceTest : public ::testing::Test {
public:
    void load(const ScanReport& report) {
        view->resize(1640, 1020);
        view->show();
        store->loadFile(test::writeReport(folder, report, QString::number(++files) + ".json"),
                        false);
        store->setTab(WorkspaceTab::schema);
        settle();
    }
    SchemaWorkspace* pane() const { return view->findChild<SchemaWorkspace*>("ql-pane-SCHEMA"); }
    const SchemaCanvasInput& canvas() const { return pane()->canvas()->input(); }
    QString title() const { return ui.find<ElidedLabel>("ql-schema-title")->text(); }
    QTemporaryDir folder{test::folderTemplate()};
    int files = 0;
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::unique_ptr<WorkspaceStore> store = std::make_unique<WorkspaceStore>(
        folder.filePath("library"), QStringList{"quorilanth"}, test::heldDependencies(transport));
    std::unique_ptr<WorkspaceView> view = std::make_unique<WorkspaceView>(*store);
    test::Controls ui{view.get()};
};

TEST_F(SchemaWorkspaceTest, BlankWithoutAReportThenGroupsBranchesAndTheStoresChoices) {
    const auto content = [&] {
        SchemaWorkspace fresh(*store);
        return fresh.findChild<QWidget*>("ql-schema-content")->isVisibleTo(&fresh);
    };
    EXPECT_FALSE(content()); // blank without a report
    load(shop(3));
    QStringList titles;
    for (QAction* action : ui.find<QMenu>("ql-schema-groups-menu")->actions())
        titles << action->text();
    // The missing manifest is hidden, yet its kind is listed.
    EXPECT_EQ(titles, (QStringList{"Domain", "Manifest", "Tools", "Content"}));
    ui.root->findChild<QAction*>("ql-schema-group-content")->trigger();
    settle();
    EXPECT_EQ(std::tuple(store->showContent(), pane()->navigator().scope,
                         canvas().scene->cards.size(), ui.shown("ql-schema-empty")),
              std::tuple(true, SchemaScope::group(NodeKind::content), 1u, false));
    // Only a selected node of the report offers its branch.
    const std::string tool = origin + "mcp#tool:1";
    for (const auto& [selection, offered] : {std::pair{origin + "x", false}, {tool, true}}) {
        store->setSelectedID(selection);
        settle();
        EXPECT_EQ(ui.shown("schema-branch"), offered) << selection;
    }
    ui.click("schema-branch");
    EXPECT_EQ(title(), "tool1");
    load(shop(3)); // another report: back to the overview
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::overview());
    store->select(tool);
    settle();
    EXPECT_EQ(canvas().selectedID, tool);
    // Hiding the inspector refits the canvas and withholds the selection.
    const int command = store->graphCommand();
    store->setShowInspector(false);
    settle();
    EXPECT_EQ(std::tuple(store->graphCommand(), canvas().fitCommand, canvas().selectedID),
              std::tuple(command + 1, command + 1, std::nullopt));
    store->setFocusSelection(true);
    settle();
    EXPECT_EQ(pane()->navigator().scope, SchemaScope::branch(tool));
}

TEST_F(SchemaWorkspaceTest, TheTrailGrowsOnlyByNavigatingAndEmptiesOnTheWaysHome) {
    load(shop(3));
    // Of the six nodes the missing manifest and the content page are hidden.
    EXPECT_TRUE(ui.find<ElidedLabel>("ql-schema-subtitle")->text().startsWith("4 / 6 "));
    const SchemaScope tools = SchemaScope::group(NodeKind::tool);
    const std::string tool = origin + "mcp#tool:1";
    const SchemaScope branch = SchemaScope::branch(tool);
    const std::function<void()> groupsMenu = [&] {
        ui.root->findChild<QAction*>("ql-schema-group-tool")->trigger();
    };
    const std::function<void()> canvasBranch = [&] { pane()->canvas()->onBranch(tool); };
    const std::function<void()> back = [&] { ui.click("schema-back"); };
    const std::function<void()> focusOn = [&] {
        store->setSelectedID(tool);
        store->setFocusSelection(true);
    };
    const std::function<void()> focusOff = [&] { store->setFocusSelection(false); };
    const std::function<void()> home = [&] { ui.click("schema-overview"); };
    const std::function<void()> otherTabAndBack = [&] {
        store->setTab(WorkspaceTab::tools);
        settle();
        store->setTab(WorkspaceTab::schema);
    };
    // clang-format off
    const struct { const char* step; const std::function<void()>& action; SchemaScope scope; std::size_t trail; } steps[] = {
        {"groups menu", groupsMenu, tools, 1}, {"canvas branch", canvasBranch, branch, 2},
        {"back", back, tools, 1}, {"back", back, SchemaScope(), 0},
        {"focus on", focusOn, branch, 1}, {"focus off", focusOff, SchemaScope(), 0},
        {"groups menu", groupsMenu, tools, 1}, {"focus on", focusOn, branch, 2},
        {"overview button", home, SchemaScope(), 0},
        {"groups menu", groupsMenu, tools, 1}, {"another tab", otherTabAndBack, SchemaScope(), 0},
    };
    // clang-format on
    for (const auto& [step, action, scope, trail] : steps) {
        action();
        settle();
        EXPECT_EQ(std::tuple(pane()->navigator().scope, pane()->navigator().trail.size()),
                  std::tuple(scope, trail))
            << step;
    }
    // The Overview button also turns focus off.
    EXPECT_FALSE(store->focusSelection());
}

TEST_F(SchemaWorkspaceTest, PagingFollowsTheScenePageAFilterStartsAgainAndLabelsStayPlain) {
    // The page label, then "<" and ">" for the paging buttons that take a click.
    const auto paging = [&] {
        return ui.find<QLabel>("ql-schema-page")->text() +
               (ui.find("schema-previous-page")->isEnabled() ? " <" : "") +
               (ui.find("schema-next-page")->isEnabled() ? " >" : "");
    };
    for (const auto& [tools, expected] : {std::pair{12, "1 / 1"}, {13, "1 / 2 >"}}) {
        load(shop(tools));
        pane()->navigate(SchemaScope::group(NodeKind::tool));
        settle();
        EXPECT_EQ(paging(), expected);
    }
    ui.click("schema-next-page");
    EXPECT_EQ(paging(), "2 / 2 <");
    ui.type("schema-filter", " TOOL"); // every tool still, from the first page
    EXPECT_EQ(std::tuple(paging(), ui.find<QLabel>("ql-schema-item-count")->text()),
              std::tuple("1 / 2 >", "13 items"));
    // In Italian, a hostile label stays whole and plain.
    const std::string hostile = "<b>Bold</b> & <i>" + std::string(3000, 'W') + "\nsecond line ";
    const test::Language italian("it");
    qputenv("QL_REDUCE_MOTION", "1"); // the snapshot without the canvas's animation
    load(shop(13, hostile));
    EXPECT_EQ(title(), "Architettura del sito");
    pane()->navigate(SchemaScope::branch(origin + "mcp#tool:3"));
    settle();
    EXPECT_EQ(title().toStdString(), hostile + "3");
    view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/schema-branch-it.png"));
    qunsetenv("QL_REDUCE_MOTION");
}

} // namespace
} // namespace quorilanth
