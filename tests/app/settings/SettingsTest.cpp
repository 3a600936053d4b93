#include "app/settings/SettingsView.h"
#include "app/window/QLTheme.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "support/InMemorySecretStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using Operation = test::InMemorySecretStore::Operation;

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
        settle();
    }
    void TearDown() override {
        transport->released = true;
        sheet.reset();
        store.reset();
        settle();
    }
    void choose(AIProvider provider) {
        auto* picker = ui.find<QComboBox>("ql-settings-provider");
        picker->setCurrentIndex(int(provider));
        emit picker->activated(int(provider));
        settle();
    }
    QString feedback() const {
        return ui.shown("ql-settings-feedback") ? ui.find<QLabel>("ql-settings-feedback")->text()
                                                : QString();
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::shared_ptr<test::InMemorySecretStore> secrets =
        std::make_shared<test::InMemorySecretStore>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<SettingsView> sheet;
    test::Controls ui;
    int updateChecks = 0;
};

TEST_F(SettingsTest, SectionsFollowTheProviderInBothLanguages) {
    const struct {
        AIProvider provider;
        bool modelAndKey, braveSearch, glm;
    } cases[] = {
        {AIProvider::apple, false, true, false},  {AIProvider::openAI, true, false, false},
        {AIProvider::claude, true, false, false}, {AIProvider::deepSeek, true, true, false},
        {AIProvider::glm, true, false, true},
    };
    for (const char* tag : {"en", "it"}) {
        test::Language language(tag);
        for (const auto& c : cases) {
            SCOPED_TRACE(rawValue(c.provider));
            ui.type("ql-settings-model", "<b>&amp;</b> " + QString(200, QLatin1Char('m')));
            ui.type("ql-settings-key", "half-typed");
            choose(c.provider);
            EXPECT_EQ(ui.shown("ql-settings-model"), c.modelAndKey);
            EXPECT_EQ(ui.shown("ql-settings-key"), c.modelAndKey);
            EXPECT_EQ(ui.shown("ql-settings-availability"), !c.modelAndKey);
            EXPECT_EQ(ui.shown("ql-settings-web-search"), c.braveSearch);
            EXPECT_EQ(ui.shown("ql-settings-glm-note"), c.glm);
            EXPECT_EQ(ui.shown("ql-settings-glm-link"), c.glm);
            // Every choice, the same provider again too, brings the default model back.
            EXPECT_EQ(ui.find<QLineEdit>("ql-settings-model")->text().toStdString(),
                      defaultModel(c.provider));
            ui.type("ql-settings-model", "<b>&amp;</b> " + QString(200, QLatin1Char('m')));
            sheet->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/settings-%1-%2.png")
                                   .arg(int(c.provider))
                                   .arg(tag));
        }
    }
    // A new provider drops the key typed for the old one; the same one keeps it.
    ui.type("ql-settings-key", "half-typed");
    choose(AIProvider::glm);
    EXPECT_EQ(ui.find<QLineEdit>("ql-settings-key")->text(), "half-typed");
    choose(AIProvider::openAI);
    EXPECT_EQ(ui.find<QLineEdit>("ql-settings-key")->text(), "");
    EXPECT_EQ(QSettings().value("aiProvider").toString(), "OpenAI");
}

TEST_F(SettingsTest, KeysAreSavedTrimmedRemovedAndFailuresKeepTheText) {
    choose(AIProvider::deepSeek);
    enum Press { none, save, remove };
    const std::optional<std::string> gone;
    const QString key = "ql-settings-key", search = "ql-settings-search-key";
    const struct {
        QString field, text;
        Press press;
        std::optional<int> failAdd;
        std::optional<std::string> deepSeek, brave;
        QString feedback, left;
    } steps[] = {
        {key, " \n ", none, {}, gone, gone, "", " \n "},
        {key, "  sk-1 \t", save, {}, "sk-1", gone, "Key saved in the system keyring.", ""},
        {search, " br-2 ", save, {}, "sk-1", "br-2", "Search key saved in the system keyring.", ""},
        {key, "", remove, {}, gone, "br-2", "Key removed.", ""},
        {key, "", remove, {}, gone, "br-2", "Key removed.", ""}, // nothing left to remove
        {key, "sk-3", save, -25308, gone, "br-2", "Keychain save failed (-25308).", "sk-3"},
        {search, "", remove, {}, gone, gone, "Search key removed.", ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.feedback.toStdString());
        secrets->failWith(Operation::add, s.failAdd);
        ui.type(s.field, s.text);
        const QString suffix = s.field == key ? "-key" : "-search-key";
        EXPECT_EQ(ui.find("ql-settings-save" + suffix)->isEnabled(), !s.text.trimmed().isEmpty());
        if (s.press != none)
            ui.click((s.press == save ? "ql-settings-save" : "ql-settings-remove") + suffix);
        EXPECT_EQ(secrets->stored("DeepSeek"), s.deepSeek);
        EXPECT_EQ(secrets->stored("Brave Search"), s.brave);
        EXPECT_EQ(feedback(), s.feedback);
        EXPECT_EQ(ui.find<QLineEdit>(s.field)->text(), s.left);
    }
    EXPECT_EQ(ui.find<QLineEdit>(key)->echoMode(), QLineEdit::Password);
}

TEST_F(SettingsTest, DeveloperModeTurnsOnOnlyThroughTheAlert) {
    auto* toggle = ui.find<QCheckBox>("ql-settings-developer-mode");
    for (const auto& [answer, after] : {std::pair{"ql-settings-developer-cancel", false},
                                        std::pair{"ql-settings-developer-enable", true}}) {
        ui.click("ql-settings-developer-mode");
        EXPECT_FALSE(store->developerMode() || toggle->isChecked());
        auto* alert = ui.find<QMessageBox>("ql-settings-developer-alert");
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), "Allow private network access?");
        test::Controls{alert}.click(answer);
        EXPECT_EQ(store->developerMode(), after);
        EXPECT_EQ(toggle->isChecked(), after);
    }
    ui.click("ql-settings-developer-mode"); // off needs no question
    EXPECT_FALSE(store->developerMode());
    EXPECT_FALSE(ui.find<QMessageBox>("ql-settings-developer-alert"));

    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(test::waitUntil([&] { return store->busy(); }));
    settle();
    EXPECT_FALSE(toggle->isEnabled());
}

TEST_F(SettingsTest, UpdateCheckComesOnceTheSheetHasClosed) {
    store->setShowSettings(true);
    QElapsedTimer clock;
    clock.start();
    ui.click("settings-check-updates");
    EXPECT_FALSE(store->showSettings());
    EXPECT_EQ(updateChecks, 0);
    ASSERT_TRUE(test::waitUntil([&] { return updateChecks == 1; }));
    EXPECT_GE(clock.elapsed(), SettingsView::updateCheckDelayMs);
}

TEST_F(SettingsTest, TheWindowOpensAFreshSheetEachTime) {
    WorkspaceView view(*store);
    view.show();
    for (int opening = 0; opening < 2; ++opening) {
        store->setShowSettings(true);
        settle();
        auto* shown = view.findChild<SettingsView*>();
        ASSERT_TRUE(shown && shown->isVisible());
        auto* key = shown->findChild<QLineEdit*>("ql-settings-key");
        EXPECT_EQ(key->text(), "");
        key->setText("typed, not saved");
        QTest::keyClick(shown, Qt::Key_Escape);
        settle();
        EXPECT_FALSE(store->showSettings() || view.findChild<SettingsView*>());
    }
}

} // namespace
} // namespace quorilanth
