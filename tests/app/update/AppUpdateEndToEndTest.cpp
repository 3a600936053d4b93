#include "UpdateTestSupport.h"
#include "app/update/AppUpdateBanner.h"
#include "app/update/AppUpdatePanel.h"
#include "app/window/AppDelegate.h"
#include "core/update/UpdateTestHelpers.h"
#include "support/update/UpdateTestServer.h"

#include <QAbstractButton>
#include <QStandardPaths>

namespace quorilanth {
namespace {

using test::waitUntil;

// The real channel client against the loopback HTTPS update server, behind
// the real window: the launch's manual check opens the panel on the offered
// release, and the panel downloads, verifies and opens it.
TEST(AppUpdateEndToEndTest, TheLaunchCheckOffersAReleaseThatThePanelDownloadsAndOpens) {
    const test::UpdateTestAuthority authority{
        std::string(UpdateChannelConfiguration::updateHost())};
    test::UpdateTestServer server(authority);
    const std::string image(300000, '\x5a');
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    server.on(
        "/quorilanth/api/v1/update.json",
        test::reply::body(200, "application/json", test::manifestFor(image, architecture).build()));
    server.on("/quorilanth/downloads/Quorilanth-0.1.1-macOS-" + architecture + ".dmg",
              test::reply::body(200, "application/x-apple-diskimage", image));

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
    test::prefer("en-GB");
}

} // namespace
} // namespace quorilanth
