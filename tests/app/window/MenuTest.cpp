#include "ShellTestSupport.h"
#include "app/window/AppDelegate.h"

#include <QMenu>
#include <QSettings>

namespace quorilanth {
namespace {

using test::settle;

class MenuTest : public test::WorkspaceFixture {
protected:
    void launch(const QVariant& frame = {}) {
        delegate.reset();
        settle();
        QSettings().setValue(AppDelegate::frameKey, frame);
        delegate = std::make_unique<AppDelegate>(QStringList{"quorilanth"}, QProcessEnvironment(),
                                                 test::heldDependencies(transport),
                                                 folder.filePath("library"));
        delegate->installMenus();
        delegate->showWorkspace();
        settle();
    }
    QAction* item(const QString& title) const {
        for (QAction* menu : delegate->menuBar()->actions())
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
        for (const char* title :
             {"New Scan", "Open Report\u2026", "Overview", "SCHEMA", "Fit Schema",
              "Toggle Inspector", "Settings\u2026", "Check for Updates\u2026"})
            if (!item(title)->isEnabled()) off << title;
        return off;
    }
    void loadReport() {
        store().loadFile(test::writeReport(folder, ScanReport("https://menu.example/"), "m.json"),
                         false);
        settle();
    }
    WorkspaceStore& store() const { return delegate->store(); }

    std::unique_ptr<AppDelegate> delegate;
};

// The menus keep their English titles; only the items whose words the
// application translates follow the language, and the guide's item keeps its tab.
TEST_F(MenuTest, ItemsFollowTheLanguageTheReportAndTheScan) {
    {
        test::Language italian("it-CH");
        launch();
        QStringList titles;
        for (QAction* action : delegate->menuBar()->actions())
            titles << action->text();
        EXPECT_EQ(titles, QStringList({"Quorilanth", "File", "Edit", "Inspect", "Window"}));
        ASSERT_TRUE(item("Controlla aggiornamenti\u2026") && item("Per te"));
        EXPECT_EQ(item("Per te")->data().toString(), "Per te");
    }
    launch();
    EXPECT_EQ(item("For you")->data().toString(), "Per te");
    EXPECT_EQ(disabled(), QStringList({"Overview", "SCHEMA", "Fit Schema", "Toggle Inspector"}));
    loadReport();
    EXPECT_EQ(disabled(), QStringList());
    store().setLiveSchema(false); // no partial report during the scan
    store().setInput("https://held.example");
    store().start();
    ASSERT_TRUE(test::waitUntil([&] { return store().busy(); }));
    settle();
    EXPECT_EQ(disabled(), QStringList({"New Scan", "Open Report\u2026", "Overview", "SCHEMA",
                                       "Fit Schema", "Toggle Inspector"}));
}

TEST_F(MenuTest, CommandsReachTheStoreAndTabsNeedAReport) {
    launch();
    trigger("SCHEMA"); // disabled: nothing happens
    delegate->selectTab(QStringLiteral("SCHEMA"));
    EXPECT_EQ(store().tab(), WorkspaceTab::guide);

    loadReport();
    trigger("SCHEMA");
    EXPECT_EQ(store().tab(), WorkspaceTab::schema);
    trigger("For you");
    EXPECT_EQ(store().tab(), WorkspaceTab::guide);
    for (const QVariant& junk : {QVariant("schema"), QVariant(3), QVariant()}) {
        delegate->selectTab(junk);
        EXPECT_EQ(store().tab(), WorkspaceTab::guide);
    }
    trigger("Toggle Inspector");
    EXPECT_EQ(store().tab(), WorkspaceTab::overview);
    EXPECT_TRUE(store().showInspector());

    trigger("Settings\u2026");
    EXPECT_TRUE(store().showSettings());
    trigger("Check for Updates\u2026"); // closes the settings first
    EXPECT_FALSE(store().showSettings());
    EXPECT_TRUE(test::waitUntil([&] { return store().updater().showPanel(); }));
    trigger("New Scan");
    EXPECT_FALSE(store().report());
    EXPECT_EQ(store().status(), "Ready to explore");
}

TEST_F(MenuTest, TheWindowIsKeptWhenClosedAndAStoredFrameUsedOnlyWhenSound) {
    const QSize content(AppDelegate::contentWidth, AppDelegate::contentHeight);
    const struct {
        QVariant stored;
        bool used;
    } cases[] = {
        {QRect(10, 20, 1300, 820), true},
        {QRect(90000, 90000, 1300, 820), false}, // off every screen
        {QVariant("1300x820"), false},
        {QRect(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        launch(c.stored);
        WorkspaceWindow* window = delegate->workspaceWindow();
        if (c.used)
            EXPECT_EQ(window->geometry(), c.stored.toRect());
        else
            EXPECT_EQ(window->centralWidget()->size(), content);
    }
    WorkspaceWindow* window = delegate->workspaceWindow();
    window->close();
    settle();
    EXPECT_EQ(QSettings().value(AppDelegate::frameKey).toRect(), window->geometry());
    delegate->showWorkspace();
    EXPECT_EQ(delegate->workspaceWindow(), window);
    EXPECT_TRUE(window->isVisible());
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

} // namespace
} // namespace quorilanth
