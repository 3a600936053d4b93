#include "app/kit/ViewKit.h"
#include "app/update/AppUpdateBanner.h"
#include "app/update/AppUpdatePanel.h"
#include "app/window/AppDelegate.h"
#include "support/LoopbackHTTPServer.h"
#include "support/QtTestKit.h"
#include "support/update/UpdateTestKit.h"

#include <QAbstractButton>
#include <QLabel>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace quorilanth {
namespace {

using test::waitUntil;
using Outcome = UpdateCheckOutcome;

UpdateRelease release(std::int64_t build, bool mandatory = false) {
    UpdateRelease offered;
    offered.version = "0.1." + std::to_string(build);
    offered.build = build;
    offered.mandatory = mandatory;
    offered.notes = {{"en", "Faster scans."}, {"it", "Scansioni più veloci."}};
    return offered;
}

// Holds a worker while the flag is set, until the test clears it or the work is stopped.
void hold(const std::atomic<bool>& held, std::stop_token stop) {
    while (held && !stop.stop_requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The controller on a scripted channel: a fetch and a downloader that answer
// what the test sets and wait while held; a clock the test moves; a settings
// file of its own. The test sets answers only while no worker runs.
class AppUpdateTest : public ::testing::Test {
public:
    // Settings as a hand (or another build) left them, every value a text.
    void make(const QStringList& stored = {}, std::int64_t build = 7, bool configured = true) {
        updater.reset();
        auto settings = std::make_unique<QSettings>(
            folder.filePath(QStringLiteral("%1.ini").arg(++files)), QSettings::IniFormat);
        for (const QString& line : stored)
            settings->setValue(line.section('=', 0, 0), line.section('=', 1));
        AppUpdateController::Fetch fetch = [this](std::int64_t, std::stop_token stop) {
            hold(fetchHeld, stop);
            if (!answer) throw UpdateChannelError(UpdateChannelError::Case::unavailable);
            return *answer;
        };
        auto download = [this](const UpdateRelease&, const AppUpdateController::Progress& progress,
                               std::stop_token stop) {
            progress(reported);
            hold(downloadHeld, stop);
            progress(0.5); // reported even after a cancel, as a slow transfer would
            if (stop.stop_requested()) throw Cancelled();
            return delivered;
        };
        updater = std::make_unique<AppUpdateController>(
            QStringLiteral("0.1.0"), build, std::move(settings), configured ? fetch : nullptr,
            download, [this] { return now; });
    }
    QString ago(int seconds) const { return start.addSecs(-seconds).toString(Qt::ISODate); }
    // A finished check with this outcome, or with a failure.
    void checked(const std::optional<Outcome>& outcome, bool manual = true) {
        answer = outcome;
        updater->check(manual);
        ASSERT_TRUE(waitUntil([&] { return !updater->isChecking(); }));
    }
    // Asks to open the downloaded image, and lands a newer download while the
    // file is verified again; then lets the verification end.
    void newerDownloadLandsDuringOpening(std::atomic<bool>& verifying) {
        updater->openDownloadedImage();
        delivered = "/downloads/Newer.dmg";
        updater->download();
        ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile() == delivered; }));
        verifying = false;
        ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
    }
    void downloaded(const UpdateRelease& offered) {
        checked(Outcome::available(offered));
        updater->download();
        ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile().has_value(); }));
    }

    QTemporaryDir folder;
    int files = 0;
    std::atomic<bool> fetchHeld = false, downloadHeld = false;
    std::optional<Outcome> answer = Outcome::current(); // nothing: the channel fails
    std::filesystem::path delivered = "/downloads/Quorilanth.dmg";
    std::atomic<double> reported{0.25}; // the first progress a download reports
    const QDateTime start = QDateTime(QDate(2026, 9, 14), QTime(10, 0), Qt::UTC);
    QDateTime now = start;
    // Last, so that it goes first: it joins its workers, which use the members above.
    std::unique_ptr<AppUpdateController> updater;
};

TEST_F(AppUpdateTest, AutomaticChecksObeyThePreferenceAndBothThrottles) {
    const QString build7 = "updates.installedBuild=7", checked2h = "updates.lastCheck=" + ago(7200);
    // clang-format off
    const std::tuple<QStringList, std::optional<int>, bool, bool> cases[] = {
        // stored, a failed attempt so many seconds ago, manual, checks
        {{}, {}, false, true}, // a fresh install
        {{checked2h, build7}, {}, false, false}, {{checked2h, "updates.installedBuild=6"}, {}, false, true},
        {{"updates.lastCheck=" + ago(-3600), build7}, {}, false, true}, // clock set back
        {{checked2h, build7}, {}, true, true}, {{"updates.automaticChecks=false"}, {}, false, false},
        {{}, 600, false, false}, {{}, 960, false, true}};
    // clang-format on
    for (const auto& [stored, failedAgo, manual, checks] : cases) {
        now = start;
        make(stored);
        if (failedAgo) {
            checked(std::nullopt, false);
            now = start.addSecs(*failedAgo);
        }
        updater->check(manual);
        EXPECT_EQ(std::tuple(updater->isChecking(), updater->showPanel()),
                  std::tuple(checks, manual));
        ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
    }
}

TEST_F(AppUpdateTest, LaterHidesTheBannerForOneDayAndOneBuildAndTheNextLaunchRemembers) {
    // clang-format off
    const std::tuple<std::int64_t, bool, std::optional<int>, bool> cases[] = {
        {42, false, {}, true}, {42, false, 3600, false}, {42, false, 90000, true},
        {43, false, 3600, true}, {42, true, 3600, true}, {42, false, -3600, true}};
    // clang-format on
    for (const auto& [offered, mandatory, deferredAgo, shown] : cases) {
        make(deferredAgo ? QStringList{"updates.deferredBuild=42",
                                       "updates.deferredAt=" + ago(*deferredAgo)}
                         : QStringList{});
        checked(Outcome::available(release(offered, mandatory)));
        EXPECT_EQ(updater->noticeVisible(), shown);
    }
    // What one launch stores, the next reads: a controller on the same settings file.
    updater->remindLater();
    updater->setAutomaticChecks(false);
    --files;
    make();
    EXPECT_EQ(std::tuple(updater->lastCheckDate(), updater->deferredBuild(), updater->deferredAt(),
                         updater->automaticChecks()),
              std::tuple(now, 42, now, false));
}

// Nothing else may happen when the day runs out (automatic checks off, no
// panel open): the banner still has to come back by itself.
TEST_F(AppUpdateTest, TheBannerReturnsByItselfWhenTheDeferralRunsOut) {
    make({"updates.automaticChecks=false", "updates.deferredBuild=42",
          "updates.deferredAt=" + ago(86399)});
    checked(Outcome::available(release(42)), true);
    updater->setShowPanel(false);
    AppUpdateBanner banner(*updater);
    test::settle();
    EXPECT_TRUE(banner.isHidden());
    now = start.addSecs(1); // the clock moves on as the real one does
    EXPECT_TRUE(waitUntil([&] { return !banner.isHidden(); }, 5000));
}

// The panel's last row: the month abbreviated, hours and minutes, no seconds.
TEST_F(AppUpdateTest, TheLastCheckReadsAsAnAbbreviatedDateAndAShortTime) {
    for (const auto& [language, month] : {std::pair{"en-GB", "Sep"}, {"it-IT", "set"}}) {
        const test::Language preferred(QString::fromLatin1(language));
        now = start.addSecs(7); // seconds a numeric form would show
        make();
        checked(Outcome::current());
        AppUpdatePanel panel(*updater);
        test::settle();
        const QString text = panel.findChild<QLabel*>("ql-update-last-check")->text();
        EXPECT_TRUE(text.contains(QLatin1String(month)) && text.contains("2026"))
            << text.toStdString();
        EXPECT_FALSE(text.contains(QRegularExpression("\\d:\\d\\d:\\d\\d"))) << text.toStdString();
    }
}

TEST_F(AppUpdateTest, ADownloadIsKeptOnlyWhileAllowedAndStoppedWorkLeavesNoTrace) {
    UpdateRelease renoted = release(8);
    renoted.notes["en"] = "Faster scans, and fewer.";
    for (const auto& [next, kept] : {std::pair{Outcome::available(release(8)), true},
                                     {Outcome::available(renoted), false},
                                     {Outcome::current(), false}}) {
        make();
        downloaded(release(8));
        checked(next);
        EXPECT_EQ(updater->downloadedFile().has_value(), kept);
    }
    // A check stopped while it runs drops its late outcome.
    make();
    fetchHeld = true;
    answer = Outcome::available(release(8));
    updater->check(true);
    updater->stop();
    EXPECT_FALSE(updater->isChecking());
    ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
    EXPECT_FALSE(updater->outcome());
    // A cancelled download drops its late report.
    fetchHeld = false;
    checked(Outcome::available(release(8)));
    downloadHeld = true;
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return updater->progress() == 0.25; }));
    updater->check(true); // while a download runs: the panel, and nothing else
    EXPECT_FALSE(updater->isChecking());
    updater->cancelDownload();
    EXPECT_FALSE(updater->isDownloading());
    ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
    EXPECT_EQ(std::tuple(updater->progress(), updater->error(), updater->downloadedFile()),
              std::tuple(0.0, std::nullopt, std::nullopt));
}

// Stopped work ends at once, but its end arrives only after the request that
// replaced it has started: that late end must leave the newer one's flags and
// progress alone.
TEST_F(AppUpdateTest, TheLateEndOfSupersededWorkLeavesTheNewerRequestRunning) {
    for (const bool downloading : {false, true}) {
        SCOPED_TRACE(downloading ? "download" : "check");
        make();
        if (downloading) {
            checked(Outcome::available(release(8)));
            downloadHeld = true;
            updater->download();
            ASSERT_TRUE(waitUntil([&] { return updater->progress() == 0.25; }));
            updater->cancelDownload();
            reported = 0.3; // the newer download's first report; the older one's last is 0.5
            updater->download();
        } else {
            fetchHeld = true;
            answer = Outcome::available(release(8));
            updater->check(true);
            updater->stop();
            updater->check(true);
        }
        ASSERT_TRUE(waitUntil([&] {
            return updater->workers() == 1 && (!downloading || updater->progress() == 0.3);
        }));
        EXPECT_EQ(std::tuple(updater->isChecking(), updater->isDownloading(),
                             updater->outcome().has_value(), updater->error()),
                  std::tuple(!downloading, downloading, downloading, std::nullopt));
        fetchHeld = downloadHeld = false;
        ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
        EXPECT_EQ(std::tuple(updater->availableRelease() != nullptr,
                             updater->downloadedFile().has_value(), updater->error()),
                  std::tuple(true, downloading, std::nullopt));
    }
}

TEST_F(AppUpdateTest, AFailedReverificationForgetsTheFileUnlessANewerDownloadOwnsIt) {
    make();
    downloaded(release(8));
    bool opened = false;
    updater->setFileOpener([&](const std::filesystem::path&) { return opened = true; });
    std::atomic<bool> verifying = true;
    updater->setFileVerifier(
        [&](const std::filesystem::path& file, const UpdateRelease&, std::stop_token stop) {
            hold(verifying, stop);
            if (file.filename() == "Quorilanth.dmg")
                throw UpdateChannelError(UpdateChannelError::Case::checksumMismatch);
        });
    // A slow failure about the older file while a newer download lands.
    newerDownloadLandsDuringOpening(verifying);
    EXPECT_EQ(std::tuple(updater->downloadedFile(), updater->error()),
              std::tuple(delivered, std::nullopt));
    // The older one, downloaded again, fails its check and is forgotten unopened.
    delivered = "/downloads/Quorilanth.dmg";
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return !updater->isDownloading(); }));
    updater->openDownloadedImage();
    ASSERT_TRUE(waitUntil([&] { return !updater->downloadedFile(); }));
    EXPECT_FALSE(opened);
    // A sound file the desktop refuses to open stays, and the text says where it is.
    delivered = "/downloads/Sound.dmg";
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile() == delivered; }));
    updater->setFileOpener([](const std::filesystem::path&) { return false; });
    updater->openDownloadedImage();
    ASSERT_TRUE(waitUntil([&] { return updater->error().has_value(); }));
    EXPECT_EQ(std::tuple(updater->downloadedFile(), *updater->error()),
              std::tuple(delivered, "Could not open the DMG. You can find it in Downloads."));
}

TEST_F(AppUpdateTest, ALateSoundReverificationOpensNothingOnceANewerDownloadLanded) {
    make();
    downloaded(release(8));
    std::vector<std::filesystem::path> opened;
    updater->setFileOpener([&](const std::filesystem::path& file) {
        opened.push_back(file);
        return true;
    });
    std::atomic<bool> verifying = true;
    updater->setFileVerifier([&](const std::filesystem::path&, const UpdateRelease&,
                                 std::stop_token stop) { hold(verifying, stop); });
    newerDownloadLandsDuringOpening(verifying);
    EXPECT_EQ(std::tuple(opened.size(), updater->downloadedFile(), updater->error()),
              std::tuple(0u, delivered, std::nullopt));
    // Asked again, the newer file is the one that opens.
    updater->openDownloadedImage();
    ASSERT_TRUE(waitUntil([&] { return updater->workers() == 0; }));
    EXPECT_EQ(opened, std::vector<std::filesystem::path>{delivered});
}

TEST_F(AppUpdateTest, AnUnconfiguredChannelSpeaksOnlyWhenAskedAndAConfiguredOneTicksAfterStart) {
    for (const auto& [build, configured, manual] :
         {std::tuple{0, true, true}, {7, false, true}, {7, false, false}, {-3, true, false}}) {
        make({}, build, configured);
        updater->start();
        updater->check(manual);
        EXPECT_EQ(std::tuple(updater->polling(), updater->isChecking(),
                             updater->error().has_value(), updater->status()),
                  std::tuple(false, false, manual,
                             "The update channel is not configured in this build."));
    }
    // The first tick comes three seconds after start, and opens no panel.
    make();
    updater->start();
    ASSERT_TRUE(waitUntil([&] { return updater->outcome().has_value(); }, 6000));
    EXPECT_FALSE(updater->showPanel());
}

TEST_F(AppUpdateTest, EachStateShowsAndEnablesItsControlsInsideThePanel) {
    for (const char* language : {"en-GB", "it-IT"}) {
        const test::Language preferred(QString::fromLatin1(language));
        make();
        // The banner above the page, as the window stacks them.
        const auto window = std::make_unique<QWidget>();
        auto* bands = new QVBoxLayout(window.get());
        bands->setContentsMargins(0, 0, 0, 0);
        bands->setSpacing(0);
        auto* banner = new AppUpdateBanner(*updater, window.get());
        bands->addWidget(banner);
        auto* page = new QWidget(window.get());
        bands->addWidget(page, 1);
        AppUpdatePanel::present(*updater, window.get());
        window->resize(900, 700);
        window->show();
        // The identified controls a person can see, banner first, with "+" on
        // those that take a click; every child inside the panel; a hidden
        // banner leaves the page at the top.
        const auto expect = [&](const char* state, const char* controls) {
            SCOPED_TRACE(std::string(language) + " " + state);
            test::settle();
            std::string seen;
            for (QWidget* c : window->findChildren<QWidget*>(QRegularExpression("^update-")))
                if (c->isVisible())
                    seen += c->objectName().mid(7).toStdString() + (c->isEnabled() ? "+ " : " ");
            EXPECT_EQ(seen, controls);
            EXPECT_EQ(page->y(), banner->isVisible() ? banner->height() : 0);
            auto* panel = window->findChild<AppUpdatePanel*>();
            ASSERT_TRUE(panel);
            EXPECT_EQ(panel->height(), panel->heightForWidth(panel->width())); // no gaps
            for (QWidget* child : panel->findChildren<QWidget*>())
                EXPECT_LE(child->mapTo(panel, QPoint(child->isVisible() * child->width(), 0)).x(),
                          panel->width());
            panel->grab().save(
                QStringLiteral(QL_SNAPSHOT_DIR "/update-panel-%1-%2.png").arg(state, language));
            if (banner->isVisible())
                banner->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-banner-%1-%2.png")
                                        .arg(state, language));
        };
        UpdateRelease offered = release(8); // a long version and notes must stay inside
        offered.version = std::string(40, '9') + ".0.0";
        offered.notes = {{"en", std::string(3000, 'W')}, {"it", std::string(2000, 'x') + "\n."}};
        checked(Outcome::available(offered));
        fetchHeld = true;
        updater->check(true);
        expect("checking", "details+ close+ status+ download automatic+ check ");
        fetchHeld = false;
        ASSERT_TRUE(waitUntil([&] { return !updater->isChecking(); }));
        reported = 0.999;
        downloadHeld = true;
        updater->download();
        EXPECT_TRUE(waitUntil([&] {
            return window->findChild<QLabel*>("ql-update-percentage")->text() == "99%";
        })); // never rounded up
        expect("downloading", "details+ close+ status+ cancel-download+ automatic+ check ");
        downloadHeld = false;
        ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile().has_value(); }));
        expect("downloaded", "details+ close+ status+ open-dmg+ automatic+ check+ ");
        // Escape closes the panel and leaves the banner, whose button opens it again.
        QTest::keyClick(window->findChild<AppUpdatePanel*>(), Qt::Key_Escape);
        ASSERT_TRUE(waitUntil([&] { return !window->findChild<AppUpdatePanel*>(); }));
        EXPECT_TRUE(banner->isVisible());
        window->findChild<QAbstractButton*>("update-details")->click();
        EXPECT_TRUE(waitUntil([&] { return window->findChild<AppUpdatePanel*>() != nullptr; }));
        // "Later" closes the panel and the banner; asked for again, the panel
        // still offers the deferred release.
        checked(Outcome::available(release(9)));
        window->findChild<QAbstractButton*>("ql-update-later")->click();
        ASSERT_TRUE(waitUntil([&] { return !window->findChild<AppUpdatePanel*>(); }));
        checked(Outcome::available(release(9)));
        expect("deferred", "close+ status+ download+ automatic+ check+ ");
        UpdateRelease unsupported = release(10);
        unsupported.architectures = {"arm64", "x86_64"};
        checked(Outcome::incompatible(unsupported));
        expect("incompatible", "close+ status+ automatic+ check+ ");
        EXPECT_TRUE(window->findChild<QWidget*>("update-status")
                        ->accessibleName()
                        .endsWith(QStringLiteral(" arm64, x86_64.")));
        checked(Outcome::current());
        expect("current", "close+ status+ automatic+ check+ ");
    }
}

TEST_F(AppUpdateTest, CurrentIncompatibleAndDeferredSayWhereTheyStand) {
    UpdateRelease unsupported = release(10);
    unsupported.minimumSystemVersion = "15.0";
    unsupported.architectures = {"arm64", "x86_64"};
    struct Case {
        const char* language;
        std::optional<Outcome> outcome; // nothing: the release of build 9, deferred
        QString status;
        bool release; // whether the panel offers a release to download
    };
    const Case cases[] = {
        {"en-GB", Outcome::current(), "Quorilanth is up to date.", false},
        {"it-IT", Outcome::current(), "Quorilanth è aggiornato.", false},
        {"en-GB", Outcome::incompatible(unsupported),
         "Version 0.1.10 requires macOS 15.0 and arm64, x86_64.", false},
        {"it-IT", Outcome::incompatible(unsupported),
         "La versione 0.1.10 richiede macOS 15.0 e arm64, x86_64.", false},
        {"en-GB", std::nullopt, "Quorilanth 0.1.9 is available.", true},
        {"it-IT", std::nullopt, "È disponibile Quorilanth 0.1.9.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.language) + " " + c.status.toStdString());
        const test::Language preferred(QString::fromLatin1(c.language));
        make();
        if (c.outcome) {
            checked(c.outcome);
        } else {
            checked(Outcome::available(release(9)));
            updater->remindLater();
            checked(Outcome::available(release(9)));
        }
        const auto window = std::make_unique<QWidget>();
        auto* banner = new AppUpdateBanner(*updater, window.get());
        AppUpdatePanel::present(*updater, window.get());
        window->show();
        test::settle();
        EXPECT_FALSE(banner->isVisible());
        auto* status = window->findChild<QWidget*>("update-status");
        ASSERT_TRUE(status);
        EXPECT_EQ(status->accessibleName(), c.status);
        auto* download = window->findChild<QWidget*>("update-download");
        EXPECT_EQ(download && download->isVisible() && download->isEnabled(), c.release);
        auto* check = window->findChild<QWidget*>("update-check");
        EXPECT_TRUE(check && check->isVisible() && check->isEnabled());
    }
}

TEST_F(AppUpdateTest, TheBannersTwoButtonsOpenThePanelAndPutTheReleaseOff) {
    make();
    checked(Outcome::available(release(8)));
    updater->setShowPanel(false);
    AppUpdateBanner banner(*updater);
    banner.resize(900, 40);
    banner.show();
    test::settle();
    ASSERT_TRUE(banner.isVisible());
    auto* text = banner.findChild<ElidedLabel*>("ql-update-banner-text");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text(), "Quorilanth 0.1.8 is available");
    const auto press = [&](const char* name) {
        auto* button = banner.findChild<QAbstractButton*>(name);
        ASSERT_TRUE(button && button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        test::settle();
    };
    press("update-details");
    EXPECT_TRUE(updater->showPanel());
    EXPECT_TRUE(banner.isVisible()) << "the banner stays while the panel is open";
    updater->setShowPanel(false);
    press("ql-update-later");
    EXPECT_FALSE(banner.isVisible());
    EXPECT_FALSE(updater->noticeVisible());
    EXPECT_FALSE(updater->showPanel());
    // A day later the same release is announced again.
    now = now.addSecs(24 * 3600);
    checked(Outcome::available(release(8)), false);
    test::settle();
    EXPECT_TRUE(banner.isVisible());
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
    const test::Language italian(QStringLiteral("it-IT"));
    AppDelegate delegate({QStringLiteral("quorilanth"), QStringLiteral("--check-updates")},
                         environment, std::move(dependencies), folder.filePath("library"));
    delegate.applicationDidFinishLaunching();
    AppUpdateController& updater = delegate.store().updater();
    QWidget* window = delegate.workspaceWindow();
    ASSERT_TRUE(waitUntil([&] {
        return window->findChild<AppUpdateBanner*>()->isVisible() &&
               window->findChild<QWidget*>("update-status")->accessibleName() ==
                   QStringLiteral("È disponibile Quorilanth 0.1.1.");
    }));
    window->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-window-it.png"));
    // Opened before the release was known, it grows to hold it, and no more.
    auto* panel = window->findChild<AppUpdatePanel*>();
    test::settle();
    EXPECT_EQ(panel->height(), panel->heightForWidth(panel->width()));
    const QList<QLabel*> labels = panel->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text().contains(QRegularExpression(" 300[.,]0 kB ")); // decimal units
    }));
    panel->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/update-window-panel-it.png"));
    window->findChild<QAbstractButton*>("update-download")->click();
    ASSERT_TRUE(waitUntil([&] { return updater.downloadedFile().has_value(); }));
    const std::filesystem::path file = *updater.downloadedFile();
    EXPECT_EQ(file.parent_path().string(),
              QStandardPaths::writableLocation(QStandardPaths::DownloadLocation).toStdString());
    EXPECT_EQ(test::readFile(file), image);
    window->findChild<QAbstractButton*>("update-open-dmg")->click();
    ASSERT_TRUE(waitUntil([&] { return opened == std::vector{file}; }));
}

} // namespace
} // namespace quorilanth
