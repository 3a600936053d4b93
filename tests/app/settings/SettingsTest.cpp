#include "app/settings/SettingsView.h"
#include "app/window/ShellTestSupport.h"
#include "support/InMemorySecretStore.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <functional>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;

// The sheet over a store whose scans wait until released, with keys in memory.
class SettingsTest : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        auto dependencies = test::heldDependencies(transport);
        dependencies.secrets = secrets;
        store = std::make_unique<WorkspaceStore>(
            folder.filePath("library"), QStringList{"quorilanth"}, std::move(dependencies));
        sheet = std::make_unique<SettingsView>(*store, nullptr, [this] { ++updateChecks; });
        sheet->show();
        ui.root = sheet.get();
    }
    void choose(AIProvider provider) {
        auto* picker = ui.find<QComboBox>("ql-settings-provider");
        picker->setCurrentIndex(int(provider));
        emit picker->activated(int(provider));
        settle();
    }
    QString text(const QString& name) const { return ui.find<QLineEdit>(name)->text(); }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::shared_ptr<test::InMemorySecretStore> secrets{new test::InMemorySecretStore};
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<SettingsView> sheet; // goes before the store it shows
    test::Controls ui;
    int updateChecks = 0;
};

TEST_F(SettingsTest, SectionsFollowTheProviderAndEachChoiceBringsTheDefaultModelBack) {
    // shown: model, key, availability, Brave Search key, GLM note, GLM link; then
    // whether the key typed before was dropped, which only another provider does
    const std::pair<AIProvider, const char*> cases[] = {
        {AIProvider::apple, "0011000"},  {AIProvider::openAI, "1100001"},
        {AIProvider::claude, "1100001"}, {AIProvider::deepSeek, "1101001"},
        {AIProvider::glm, "1100111"},    {AIProvider::glm, "1100110"}};
    const test::Language italian("it");
    for (const auto& [provider, expected] : cases) {
        ui.type("ql-settings-model", "<b>&amp;</b> " + QString(200, QLatin1Char('m')));
        ui.type("ql-settings-key", "half-typed");
        choose(provider);
        std::string shown;
        for (const char* name :
             {"model", "key", "availability", "web-search", "glm-note", "glm-link"})
            shown += ui.shown(QStringLiteral("ql-settings-") + name) ? '1' : '0';
        shown += text("ql-settings-key").isEmpty() ? '1' : '0';
        EXPECT_EQ(std::tuple(shown, text("ql-settings-model").toStdString()),
                  std::tuple(expected, defaultModel(provider)));
        sheet->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/settings-%1.png").arg(int(provider)));
    }
}

TEST_F(SettingsTest, KeysAreSavedTrimmedRemovedAndFailuresKeepTheText) {
    choose(AIProvider::deepSeek);
    const std::optional<std::string> gone;
    // clang-format off
    const std::tuple<const char*, const char*, QString, std::optional<int>, std::optional<std::string>,
                     std::optional<std::string>, QString, QString> steps[] = {
        // button, its field, text, failure of the store's add, DeepSeek's key, Brave Search's, feedback, text left
        {"", "key", " \n ", {}, gone, gone, "", " \n "},
        {"save", "key", "  sk-1 \t", {}, "sk-1", gone, "Key saved in the system keyring.", ""},
        {"save", "search-key", " br-2 ", {}, "sk-1", "br-2", "Search key saved in the system keyring.", ""},
        {"remove", "key", "", {}, gone, "br-2", "Key removed.", ""},
        {"save", "key", "sk-3", -25308, gone, "br-2", "Keychain save failed (-25308).", "sk-3"},
        {"remove", "search-key", "", {}, gone, gone, "Search key removed.", ""}};
    // clang-format on
    for (const auto& [button, field, typed, failAdd, deepSeek, brave, feedback, left] : steps) {
        secrets->failWith(test::InMemorySecretStore::Operation::add, failAdd);
        ui.type(QStringLiteral("ql-settings-") + field, typed);
        EXPECT_EQ(ui.find(QStringLiteral("ql-settings-save-") + field)->isEnabled(),
                  !typed.trimmed().isEmpty());
        if (*button) ui.click(QStringLiteral("ql-settings-%1-%2").arg(button, field));
        EXPECT_EQ(std::tuple(secrets->stored("DeepSeek"), secrets->stored("Brave Search"),
                             ui.find<QLabel>("ql-settings-feedback")->text(),
                             text(QStringLiteral("ql-settings-") + field)),
                  std::tuple(deepSeek, brave, feedback, left));
    }
    EXPECT_EQ(ui.find<QLineEdit>("ql-settings-key")->echoMode(), QLineEdit::Password);
}

TEST_F(SettingsTest, TheUpdateCheckComesOnceClosedAndDeveloperModeOnlyThroughTheAlert) {
    store->setShowSettings(true);
    QElapsedTimer clock;
    clock.start();
    ui.click("settings-check-updates");
    EXPECT_EQ(std::tuple(store->showSettings(), updateChecks), std::tuple(false, 0));
    ASSERT_TRUE(test::waitUntil([&] { return updateChecks == 1; }));
    EXPECT_GE(clock.elapsed(), SettingsView::updateCheckDelayMs);
    auto* toggle = ui.find<QCheckBox>("ql-settings-developer-mode");
    // An assistive tool's action and a change in code ask as a click does.
    const auto act = [](QCheckBox* box) {
        QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
            QAccessibleActionInterface::toggleAction());
    };
    const std::function<void()> click = [&] { ui.click("ql-settings-developer-mode"); },
                                action = [&] { act(toggle); },
                                code = [&] { toggle->setChecked(true); };
    const char *cancel = "ql-settings-developer-cancel", *enable = "ql-settings-developer-enable";
    for (const auto& [change, answer, after] :
         {std::tuple{click, cancel, false}, std::tuple{action, cancel, false},
          std::tuple{code, cancel, false}, std::tuple{action, enable, true},
          std::tuple{click, enable, true}}) {
        store->setDeveloperMode(false);
        settle();
        change();
        EXPECT_FALSE(store->developerMode() || toggle->isChecked());
        auto* alert = ui.find<QMessageBox>("ql-settings-developer-alert");
        ASSERT_TRUE(alert && alert->text() == "Allow private network access?");
        test::Controls{alert}.click(answer);
        EXPECT_EQ(std::tuple(store->developerMode(), toggle->isChecked()),
                  std::tuple(after, after));
    }
    for (const auto& off : {click, action}) { // off needs no question
        store->setDeveloperMode(true);
        settle();
        off();
        EXPECT_FALSE(store->developerMode() || toggle->isChecked() ||
                     ui.find<QMessageBox>("ql-settings-developer-alert"));
    }
    auto* live = ui.find<QCheckBox>("ql-settings-live-schema");
    for (const bool before : {true, false}) {
        store->setLiveSchema(before);
        settle();
        before ? act(live) : live->setChecked(true);
        EXPECT_EQ(std::tuple(store->liveSchema(), live->isChecked()), std::tuple(!before, !before));
    }
    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(test::waitUntil([&] { return store->busy(); }));
    EXPECT_TRUE(test::waitUntil([&] { return !toggle->isEnabled(); }));
}

} // namespace
} // namespace quorilanth
