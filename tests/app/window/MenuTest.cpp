#include "ShellTestSupport.h"
#include "app/window/AppDelegate.h"
#include "app/window/WorkspaceView.h"

#include <QMenu>
#include <QSettings>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override {
        transport->released = true;
        delegate.reset();
        settle();
    }

    void launch(const QStringList& extra = {}) {
        delegate = std::make_unique<AppDelegate>(
            QStringList{"quorilanth"} + extra, QProcessEnvironment(),
            test::heldDependencies(transport), folder.filePath("library"));
        delegate->installMenus();
        delegate->showWorkspace();
        settle();
    }

    QMenu* menu(const QString& title) const {
        for (QAction* action : delegate->menuBar()->actions())
            if (action->text() == title) return action->menu();
        return nullptr;
    }
    QAction* item(const QString& menuTitle, const QString& title) const {
        for (QAction* action : menu(menuTitle)->actions())
            if (action->text() == title) return action;
        return nullptr;
    }
    void loadReport() {
        ScanReport report("https://menu.example/");
        report.nodes.emplace_back("https://menu.example/", NodeKind::domain, "root",
                                  "https://menu.example/", FindingStatus::found);
        delegate->store().loadFile(test::writeReport(folder, report, "menu.json"), false);
        settle();
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::unique_ptr<AppDelegate> delegate;
};

// The menus keep their English titles; only the items whose words the
// application translates follow the language.
TEST_F(MenuTest, LocalizedItemsFollowTheLanguage) {
    for (const bool italian : {false, true}) {
        test::Language language(italian ? "it-CH" : "en-US");
        launch();
        QStringList titles;
        for (QAction* action : delegate->menuBar()->actions())
            titles << action->text();
        EXPECT_EQ(titles, QStringList({"Quorilanth", "File", "Edit", "Inspect", "Window"}));
        QAction* updates = menu("Quorilanth")->actions().at(1);
        EXPECT_EQ(updates->text(),
                  italian ? "Controlla aggiornamenti\u2026" : "Check for Updates\u2026");
        EXPECT_EQ(updates->shortcut(), QKeySequence(QKeyCombination(
                                           Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_U)));
        QAction* guide = menu("Inspect")->actions().front();
        EXPECT_EQ(guide->text(), italian ? "Per te" : "For you");
        EXPECT_EQ(guide->data().toString(), "Per te");
        delegate.reset();
        settle();
    }
}

TEST_F(MenuTest, EnablingFollowsBusyAndReport) {
    launch();
    const QStringList idleItems{"New Scan", "Open Report\u2026"};
    const QStringList reportItems{"Overview", "SCHEMA", "Fit Schema", "Toggle Inspector"};
    const QStringList alwaysItems{"Settings\u2026", "Check for Updates\u2026"};
    auto check = [&](bool idle, bool report) {
        for (const QString& title : idleItems) {
            QAction* action = item("File", title);
            ASSERT_TRUE(action);
            EXPECT_EQ(action->isEnabled(), idle) << title.toStdString();
        }
        for (const QString& title : reportItems) {
            QAction* action = item("Inspect", title);
            ASSERT_TRUE(action);
            EXPECT_EQ(action->isEnabled(), report) << title.toStdString();
        }
        for (const QString& title : alwaysItems)
            EXPECT_TRUE(item("Quorilanth", title)->isEnabled());
    };
    {
        SCOPED_TRACE("without a report");
        check(true, false);
    }
    loadReport();
    {
        SCOPED_TRACE("with a report");
        check(true, true);
    }
    delegate->store().setInput("https://held.example");
    delegate->store().start();
    ASSERT_TRUE(waitUntil([&] { return delegate->store().busy(); }));
    delegate->store().setLiveSchema(false);
    settle();
    {
        SCOPED_TRACE("scanning");
        // start() cleared the report; the live partial report may bring one back.
        check(false, delegate->store().report().has_value());
    }
}

TEST_F(MenuTest, InspectItemsSelectTabsOnlyWithAReport) {
    launch();
    QAction* schema = item("Inspect", "SCHEMA");
    ASSERT_TRUE(schema);
    schema->trigger(); // disabled: nothing happens
    settle();
    EXPECT_EQ(delegate->store().tab(), WorkspaceTab::guide);
    delegate->selectTab(QStringLiteral("SCHEMA"));
    EXPECT_EQ(delegate->store().tab(), WorkspaceTab::guide);

    loadReport();
    schema->trigger();
    settle();
    EXPECT_EQ(delegate->store().tab(), WorkspaceTab::schema);
    item("Inspect", "For you")->trigger();
    settle();
    EXPECT_EQ(delegate->store().tab(), WorkspaceTab::guide);
    for (const QVariant& junk : {QVariant("schema"), QVariant(3), QVariant()}) {
        delegate->selectTab(junk);
        EXPECT_EQ(delegate->store().tab(), WorkspaceTab::guide);
    }
    item("Inspect", "Toggle Inspector")->trigger();
    settle();
    EXPECT_EQ(delegate->store().tab(), WorkspaceTab::overview);
    EXPECT_TRUE(delegate->store().showInspector());
}

TEST_F(MenuTest, CommandsReachTheStore) {
    launch();
    loadReport();
    item("Quorilanth", "Settings\u2026")->trigger();
    settle();
    EXPECT_TRUE(delegate->store().showSettings());
    // The update check closes the settings first.
    item("Quorilanth", "Check for Updates\u2026")->trigger();
    settle();
    EXPECT_FALSE(delegate->store().showSettings());
    EXPECT_TRUE(waitUntil([&] { return delegate->store().updater().showPanel(); }));
    item("File", "New Scan")->trigger();
    settle();
    EXPECT_FALSE(delegate->store().report());
    EXPECT_EQ(delegate->store().status(), "Ready to explore");
}

TEST_F(MenuTest, TheWindowIsKeptWhenClosedAndRecordsItsFrame) {
    launch();
    WorkspaceWindow* window = delegate->workspaceWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->centralWidget()->size(), QSize(1640, 1020));
    EXPECT_EQ(window->windowTitle(), "Quorilanth");
    window->close();
    settle();
    EXPECT_EQ(delegate->workspaceWindow(), window);
    EXPECT_EQ(QSettings().value(AppDelegate::frameKey).toRect(), window->geometry());
    delegate->showWorkspace();
    EXPECT_EQ(delegate->workspaceWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MenuTest, StoredFrameIsUsedOnlyWhenItIsSound) {
    const struct {
        const char* name;
        QVariant stored;
        bool used;
    } cases[] = {
        {"a frame on screen", QRect(10, 20, 1300, 820), true},
        {"a frame far off every screen", QRect(90000, 90000, 1300, 820), false},
        {"text", QVariant("1300x820"), false},
        {"an empty rectangle", QRect(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSettings().setValue(AppDelegate::frameKey, c.stored);
        launch();
        const QRect frame = delegate->workspaceWindow()->geometry();
        if (c.used)
            EXPECT_EQ(frame, c.stored.toRect());
        else
            EXPECT_EQ(delegate->workspaceWindow()->centralWidget()->size(), QSize(1640, 1020));
        delegate.reset();
        settle();
    }
}

TEST(TestLaunch, RuleReadsPresenceOnly) {
    const struct {
        const char* name;
        QStringList variables;
        QStringList arguments;
        bool testLaunch;
    } cases[] = {
        {"ordinary", {}, {"quorilanth"}, false},
        {"test runner, empty value", {"XCTestConfigurationFilePath="}, {"quorilanth"}, true},
        {"UI test library", {"QL_UI_TEST_LIBRARY=0"}, {"quorilanth"}, true},
        {"smoke test", {}, {"quorilanth", "--smoke-test"}, true},
        {"snapshot without a path", {}, {"quorilanth", "--snapshot"}, true},
        {"options matched whole",
         {"QL_UI_TEST"},
         {"quorilanth", "--snapshot=x", "--SMOKE-TEST"},
         false},
        {"report only", {}, {"quorilanth", "--report", "x.json"}, false},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment;
        for (const QString& variable : c.variables) {
            const qsizetype equals = variable.indexOf('=');
            environment.insert(variable.left(equals < 0 ? variable.size() : equals),
                               equals < 0 ? QString() : variable.mid(equals + 1));
        }
        EXPECT_EQ(AppDelegate::isTestLaunch(environment, c.arguments), c.testLaunch) << c.name;
    }
}

} // namespace
} // namespace quorilanth
