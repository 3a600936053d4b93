#include "UpdateTestSupport.h"
#include "app/update/AppUpdateBanner.h"
#include "app/update/AppUpdatePanel.h"
#include "app/window/AppDelegate.h"
#include "support/LoopbackHTTPServer.h"
#include "support/update/UpdateTestKit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

using test::release;
using test::waitUntil;
using Outcome = UpdateCheckOutcome;

class AppUpdateViewsTest : public test::UpdateFixture {
public:
    void host() {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(new AppUpdateBanner(*updater, window.get()));
        layout->addStretch(1);
        AppUpdatePanel::present(*updater, window.get());
        window->resize(900, 700);
        window->show();
    }
    void TearDown() override {
        window.reset();
        UpdateFixture::TearDown();
    }
    AppUpdatePanel* panel() const { return window->findChild<AppUpdatePanel*>(); }
    template <typename T = QWidget> T* find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    // The identified controls a person can see, with "+" on those that take a click.
    std::string seen() const {
        std::string shown;
        for (const char* name :
             {"update-details", "update-close", "update-status", "update-download",
              "update-cancel-download", "update-open-dmg", "update-automatic", "update-check"})
            if (QWidget* control = find(name); control && control->isVisible())
                shown += std::string(name + 7) + (control->isEnabled() ? "+ " : " ");
        return shown;
    }
    QString percentage() const { return find<QLabel>("ql-update-percentage")->text(); }
    void snapshot(QWidget* widget, const QString& name) const {
        widget->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-%1.png").arg(name));
    }
    std::unique_ptr<QWidget> window;
};

TEST_F(AppUpdateViewsTest, EachStateShowsAndEnablesItsControls) {
    for (const char* language : {"en-GB", "it-IT"}) {
        test::prefer(language);
        settingsName = QString::fromLatin1(language);
        make();
        host();
        const auto expect = [&](const char* state, const char* controls) {
            SCOPED_TRACE(std::string(language) + " " + state);
            waitUntil(
                [&] {
                    return window->findChildren<AppUpdatePanel*>().size() == 1 &&
                           find("update-status")->accessibleName() == updater->status() &&
                           seen() == controls;
                },
                2000);
            EXPECT_EQ(seen(), controls);
            for (QWidget* child : panel()->findChildren<QWidget*>())
                EXPECT_LE(child->mapTo(panel(), QPoint(child->isVisible() * child->width(), 0)).x(),
                          panel()->width());
            snapshot(window.get(), QStringLiteral("window-%1-%2").arg(state, language));
            snapshot(panel(), QStringLiteral("panel-%1-%2").arg(state, language));
        };
        checked(Outcome::current());
        expect("current", "close+ status+ automatic+ check+ ");
        checked(Outcome::incompatible(release(8)));
        expect("incompatible", "close+ status+ automatic+ check+ ");
        UpdateRelease offered = release(8); // a long version and notes must stay inside
        offered.version = std::string(40, '9') + ".0.0";
        offered.notes = {{"en", std::string(3000, 'W')}, {"it", std::string(2000, 'x') + "\n."}};
        checked(Outcome::available(offered));
        fetchGate.set(true);
        updater->check(true);
        expect("checking", "details+ close+ status+ download automatic+ check ");
        fetchGate.set(false);
        ASSERT_TRUE(waitUntil([&] { return !updater->isChecking(); }));
        reported = 0.999;
        downloadGate.set(true);
        updater->download();
        EXPECT_TRUE(waitUntil([&] { return percentage() == "99%"; })); // never rounded up
        expect("downloading", "details+ close+ status+ cancel-download+ automatic+ check ");
        downloadGate.set(false);
        expect("downloaded", "details+ close+ status+ open-dmg+ automatic+ check+ ");
        checked(Outcome::available(release(9)));
        updater->remindLater();
        updater->setShowPanel(true);
        expect("deferred", "close+ status+ download+ automatic+ check+ ");
    }
}

// The real channel client against the loopback HTTPS update server, behind
// the real window: the launch's manual check opens the panel on the offered
// release, and the panel downloads, verifies and opens it.
TEST(AppUpdateEndToEndTest, TheLaunchCheckOffersAReleaseThatThePanelDownloadsAndOpens) {
    const test::TestCertificateAuthority authority(UpdateChannelConfiguration::updateHost());
    test::LoopbackHTTPServer server({"127.0.0.1"}, &authority);
    const std::string image(300000, '\x5a');
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    server.on("/quorilanth/api/v1/update.json",
              test::respond::text(200, test::ManifestBuilder(image, architecture).build(),
                                  {{"Content-Type", "application/json"}}));
    server.on("/quorilanth/downloads/Quorilanth-0.1.1-macOS-" + architecture + ".dmg",
              test::respond::text(200, image));

    ApplicationBundle bundle;
    bundle.info = {{"CFBundleVersion", "5"},
                   {"QuorilanthUpdateFeedURL", UpdateChannelConfiguration::feedURL()},
                   {"QuorilanthUpdateKeyID", "quorilanth-test"},
                   {"QuorilanthUpdatePublicKey", encodeBase64(test::channelKey().publicKey)}};
    QTemporaryDir folder;
    WorkspaceStore::Dependencies dependencies;
    dependencies.updater = AppUpdateController::fromBundle(
        bundle, std::make_unique<QSettings>(folder.filePath("settings.ini"), QSettings::IniFormat),
        UpdateSessionTestAccess::loopback(authority.caFile(), server.port()));
    std::vector<std::filesystem::path> opened;
    dependencies.updater->setFileOpener([&](const std::filesystem::path& file) {
        opened.push_back(file);
        return true;
    });
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("QL_UI_TEST_LIBRARY"), QStringLiteral("1"));
    test::prefer("it-IT");
    AppDelegate delegate({QStringLiteral("quorilanth"), QStringLiteral("--check-updates")},
                         environment, std::move(dependencies), folder.filePath("library"));
    delegate.applicationDidFinishLaunching();
    AppUpdateController& updater = delegate.store().updater();
    EXPECT_FALSE(updater.polling()); // a test launch makes no automatic checks

    QWidget* window = delegate.workspaceWindow();
    const auto control = [&](const char* name) {
        return window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    };
    ASSERT_TRUE(waitUntil([&] {
        return window->findChild<AppUpdateBanner*>()->isVisible() &&
               window->findChild<QWidget*>(QStringLiteral("update-status"))->accessibleName() ==
                   QStringLiteral("È disponibile Quorilanth 0.1.1.");
    }));
    window->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-window-it.png"));
    window->findChild<AppUpdatePanel*>()->grab().save(
        QStringLiteral(QL_SNAPSHOT_DIR "/update-panel-offered-it.png"));

    QTest::keyClick(window->findChild<AppUpdatePanel*>(), Qt::Key_Escape);
    EXPECT_FALSE(updater.showPanel());
    control("update-details")->click();
    ASSERT_TRUE(waitUntil([&] { return window->findChildren<AppUpdatePanel*>().size() == 1; }));
    control("update-download")->click();
    ASSERT_TRUE(waitUntil([&] { return updater.downloadedFile().has_value(); }));
    const std::filesystem::path file = *updater.downloadedFile();
    EXPECT_EQ(file.parent_path().string(),
              QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString());
    EXPECT_EQ(test::readFile(file), image);
    // Checking again from the panel finds the same release and keeps the file.
    control("update-check")->click();
    ASSERT_TRUE(waitUntil([&] { return !updater.isChecking(); }));
    EXPECT_EQ(updater.downloadedFile(), file);
    control("update-open-dmg")->click();
    ASSERT_TRUE(waitUntil([&] { return !opened.empty(); }));
    EXPECT_EQ(opened.front(), file);
    control("ql-update-later")->click();
    EXPECT_TRUE(waitUntil([&] { return !window->findChild<AppUpdateBanner*>()->isVisible(); }));
    test::prefer("en-GB");
}

} // namespace
} // namespace quorilanth
