#include "app/settings/SettingsView.h"
#include "app/window/QLTheme.h"
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "support/InMemorySecretStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::settle;
using test::waitUntil;
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
        settle();
    }
    void TearDown() override {
        transport->released = true;
        sheet.reset();
        store.reset();
        settle();
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return sheet->findChild<T*>(name);
    }
    bool shown(const QString& name) const {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(sheet.get());
    }
    void choose(AIProvider provider) {
        auto* picker = find<QComboBox>("ql-settings-provider");
        picker->setCurrentIndex(int(provider));
        emit picker->activated(int(provider));
        settle();
    }
    void type(const QString& field, const QString& text) {
        auto* edit = find<QLineEdit>(field);
        edit->selectAll();
        edit->insert(text);
        settle();
    }
    void click(const QString& name) {
        QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton, {}, QPoint(4, 4));
        settle();
    }
    QString feedback() const {
        return shown("ql-settings-feedback") ? find<QLabel>("ql-settings-feedback")->text() : "";
    }

    QTemporaryDir folder{test::folderTemplate()};
    std::shared_ptr<test::HeldTransport> transport = std::make_shared<test::HeldTransport>();
    std::shared_ptr<test::InMemorySecretStore> secrets =
        std::make_shared<test::InMemorySecretStore>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<SettingsView> sheet;
    int updateChecks = 0;
};

TEST_F(SettingsTest, SectionsFollowTheProvider) {
    const struct {
        AIProvider provider;
        bool modelAndKey, braveSearch, glm;
    } cases[] = {
        {AIProvider::apple, false, true, false},  {AIProvider::openAI, true, false, false},
        {AIProvider::claude, true, false, false}, {AIProvider::deepSeek, true, true, false},
        {AIProvider::glm, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.provider));
        type("ql-settings-model", "my-own-model");
        type("ql-settings-key", "half-typed");
        choose(c.provider);
        EXPECT_EQ(store->provider(), c.provider);
        EXPECT_EQ(shown("ql-settings-model"), c.modelAndKey);
        EXPECT_EQ(shown("ql-settings-key"), c.modelAndKey);
        EXPECT_EQ(shown("ql-settings-availability"), !c.modelAndKey);
        EXPECT_EQ(shown("ql-settings-web-search"), c.braveSearch);
        EXPECT_EQ(shown("ql-settings-glm-note"), c.glm);
        EXPECT_EQ(shown("ql-settings-glm-link"), c.glm);
        // Every choice, the same provider again too, brings the default model back.
        EXPECT_EQ(find<QLineEdit>("ql-settings-model")->text().toStdString(),
                  defaultModel(c.provider));
    }
    // A new provider drops what was typed for the old one; the same one keeps it.
    type("ql-settings-key", "half-typed");
    choose(AIProvider::glm);
    EXPECT_EQ(find<QLineEdit>("ql-settings-key")->text(), "half-typed");
    choose(AIProvider::openAI);
    EXPECT_EQ(find<QLineEdit>("ql-settings-key")->text(), "");
    EXPECT_EQ(QSettings().value("aiProvider").toString(), "OpenAI");
}

TEST_F(SettingsTest, KeysAreSavedTrimmedRemovedAndFailuresKeepTheText) {
    choose(AIProvider::deepSeek);
    const struct {
        const char* step;
        QString field, text, button;
        std::optional<int> failAdd;
        std::optional<std::string> deepSeek, brave;
        QString feedback, left;
    } steps[] = {
        {"blanks only", "ql-settings-key", " \n ", "", {}, {}, {}, "", " \n "},
        {"trimmed save",
         "ql-settings-key",
         "  sk-1 \t",
         "ql-settings-save-key",
         {},
         "sk-1",
         {},
         "Key saved in the system keyring.",
         ""},
        {"search key",
         "ql-settings-search-key",
         " br-2 ",
         "ql-settings-save-search-key",
         {},
         "sk-1",
         "br-2",
         "Search key saved in the system keyring.",
         ""},
        {"remove",
         "ql-settings-key",
         "",
         "ql-settings-remove-key",
         {},
         {},
         "br-2",
         "Key removed.",
         ""},
        {"remove with nothing stored",
         "ql-settings-key",
         "",
         "ql-settings-remove-key",
         {},
         {},
         "br-2",
         "Key removed.",
         ""},
        {"a failed save",
         "ql-settings-key",
         "sk-3",
         "ql-settings-save-key",
         -25308,
         {},
         "br-2",
         "Keychain save failed (-25308).",
         "sk-3"},
        {"remove search key",
         "ql-settings-search-key",
         "",
         "ql-settings-remove-search-key",
         {},
         {},
         {},
         "Search key removed.",
         ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        secrets->failWith(Operation::add, s.failAdd);
        type(s.field, s.text);
        const QString save =
            s.field == "ql-settings-key" ? "ql-settings-save-key" : "ql-settings-save-search-key";
        EXPECT_EQ(find(save)->isEnabled(), !s.text.trimmed().isEmpty());
        if (!s.button.isEmpty()) click(s.button);
        EXPECT_EQ(secrets->stored("DeepSeek"), s.deepSeek);
        EXPECT_EQ(secrets->stored("Brave Search"), s.brave);
        EXPECT_EQ(feedback(), s.feedback);
        EXPECT_EQ(find<QLineEdit>(s.field)->text(), s.left);
    }
    EXPECT_EQ(find<QLineEdit>("ql-settings-key")->echoMode(), QLineEdit::Password);
}

TEST_F(SettingsTest, DeveloperModeTurnsOnOnlyThroughTheAlert) {
    auto* toggle = find<QCheckBox>("ql-settings-developer-mode");
    const struct {
        const char* answer;
        bool after;
    } cases[] = {{"ql-settings-developer-cancel", false}, {"ql-settings-developer-enable", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        click("ql-settings-developer-mode");
        EXPECT_FALSE(store->developerMode());
        EXPECT_FALSE(toggle->isChecked());
        auto* alert = find<QMessageBox>("ql-settings-developer-alert");
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), "Allow private network access?");
        QTest::mouseClick(alert->findChild<QPushButton*>(c.answer), Qt::LeftButton);
        settle();
        EXPECT_EQ(store->developerMode(), c.after);
        EXPECT_EQ(toggle->isChecked(), c.after);
    }
    // Off needs no question.
    click("ql-settings-developer-mode");
    EXPECT_FALSE(store->developerMode());
    EXPECT_FALSE(find<QMessageBox>("ql-settings-developer-alert"));

    store->setInput(QStringLiteral("https://held.example"));
    store->start();
    ASSERT_TRUE(waitUntil([&] { return store->busy(); }));
    settle();
    EXPECT_FALSE(toggle->isEnabled());
}

TEST_F(SettingsTest, UpdateCheckComesOnceTheSheetHasClosed) {
    store->setShowSettings(true);
    QElapsedTimer clock;
    clock.start();
    click("settings-check-updates");
    EXPECT_FALSE(store->showSettings());
    EXPECT_EQ(updateChecks, 0);
    ASSERT_TRUE(waitUntil([&] { return updateChecks == 1; }));
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
        EXPECT_EQ(shown->findChild<QLineEdit*>("ql-settings-key")->text(), "");
        shown->findChild<QLineEdit*>("ql-settings-key")->setText("typed, not saved");
        QTest::keyClick(shown, Qt::Key_Escape);
        settle();
        EXPECT_FALSE(store->showSettings());
        EXPECT_FALSE(view.findChild<SettingsView*>());
    }
}

TEST_F(SettingsTest, SnapshotsInBothLanguages) {
    for (const char* tag : {"en", "it"}) {
        test::Language language(tag);
        for (AIProvider provider : {AIProvider::glm, AIProvider::deepSeek, AIProvider::apple}) {
            choose(provider);
            type("ql-settings-model", "<b>&amp;</b> " + QString(200, QLatin1Char('m')));
            type("ql-settings-key", "x");
            if (provider != AIProvider::apple) click("ql-settings-save-key");
            const QImage image = sheet->grab().toImage();
            EXPECT_EQ(image.width(), 640);
            EXPECT_EQ(image.pixelColor(4, 4).rgb(), QLTheme::background().rgb());
            image.save(
                QStringLiteral(QL_SNAPSHOT_DIR "/settings-%1-%2.png")
                    .arg(QString::fromStdString(std::string(rawValue(provider))).left(4), tag));
        }
    }
}

} // namespace
} // namespace quorilanth
