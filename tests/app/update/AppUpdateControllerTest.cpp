#include "UpdateTestSupport.h"

#include <QFile>

namespace quorilanth {
namespace {

using test::release;
using test::waitUntil;
using Outcome = UpdateCheckOutcome;

class AppUpdateControllerTest : public test::UpdateFixture {
public:
    // A fresh settings file as a hand (or another build) left it: every value text.
    void store(const QStringList& lines) {
        settingsName = QStringLiteral("stored-%1.ini").arg(++files);
        QFile file(folder.filePath(settingsName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[General]\n" + lines.join('\n') + '\n').toUtf8());
    }
    QString ago(int seconds) const { return start.addSecs(-seconds).toString(Qt::ISODate); }
    int files = 0;
};

TEST_F(AppUpdateControllerTest, AutomaticChecksObeyThePreferenceAndBothThrottles) {
    const QString build7 = "updates.installedBuild=7";
    const struct {
        QStringList stored;
        std::optional<int> failedAttemptAgo;
        bool manual, checks;
    } cases[] = {
        {{}, {}, false, true}, // a fresh install
        {{"updates.lastCheck=" + ago(7200), build7}, {}, false, false},
        {{"updates.lastCheck=" + ago(7200), "updates.installedBuild=6"}, {}, false, true},
        {{"updates.lastCheck=" + ago(-3600), build7}, {}, false, true}, // clock set back
        {{"updates.lastCheck=" + ago(7200), build7}, {}, true, true},
        {{"updates.automaticChecks=false"}, {}, false, false},
        {{}, 600, false, false},
        {{}, 960, false, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.stored.join(' ').toStdString() + " failed " +
                     std::to_string(row.failedAttemptAgo.value_or(-1)));
        now = start;
        store(row.stored);
        make();
        if (row.failedAttemptAgo) {
            answerWith([]() -> Outcome {
                throw UpdateChannelError(UpdateChannelError::Case::unavailable);
            });
            updater->check(false);
            ASSERT_TRUE(waitUntil([&] { return !updater->isChecking(); }));
            now = start.addSecs(*row.failedAttemptAgo);
        }
        updater->check(row.manual);
        EXPECT_EQ(updater->isChecking(), row.checks);
        EXPECT_EQ(updater->showPanel(), row.manual);
        ASSERT_TRUE(waitUntil([&] { return !updater->hasWorkers(); }));
    }
}

TEST_F(AppUpdateControllerTest, TheStoredKeysSurviveARelaunch) {
    make();
    checked(Outcome::available(release(42)));
    updater->remindLater();
    EXPECT_FALSE(updater->showPanel());
    updater->setAutomaticChecks(false);
    make();
    EXPECT_EQ(updater->lastCheckDate(), now);
    EXPECT_EQ(updater->deferredBuild(), 42);
    EXPECT_EQ(updater->deferredAt(), now);
    EXPECT_FALSE(updater->automaticChecks());
}

TEST_F(AppUpdateControllerTest, LaterHidesTheBannerForOneDayAndOneBuild) {
    const struct {
        std::int64_t offered;
        bool mandatory;
        std::optional<int> deferredAgo;
        bool shown;
    } cases[] = {{42, false, {}, true},   {42, false, 3600, false}, {42, false, 90000, true},
                 {43, false, 3600, true}, {42, true, 3600, true},   {42, false, -3600, true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.offered * 10 + row.mandatory);
        store(row.deferredAgo ? QStringList{"updates.deferredBuild=42",
                                            "updates.deferredAt=" + ago(*row.deferredAgo)}
                              : QStringList{});
        make();
        checked(Outcome::available(release(row.offered, row.mandatory)));
        EXPECT_EQ(updater->noticeVisible(), row.shown);
    }
}

TEST_F(AppUpdateControllerTest, ACheckKeepsTheDownloadOnlyWhileItOffersExactlyThatRelease) {
    UpdateRelease renoted = release(8);
    renoted.notes["en"] = "Faster scans, and fewer.";
    const std::pair<Outcome, bool> cases[] = {{Outcome::available(release(8)), true},
                                              {Outcome::available(renoted), false},
                                              {Outcome::available(release(9)), false},
                                              {Outcome::current(), false}};

    for (const auto& [next, kept] : cases) {
        make();
        downloaded(release(8));
        checked(next);
        EXPECT_EQ(updater->downloadedFile().has_value(), kept);
    }
}

TEST_F(AppUpdateControllerTest, StoppedAndCancelledWorkLeavesNoTrace) {
    make();
    fetchGate.set(true);
    answerWith([] { return Outcome::available(release(8)); });
    updater->check(true);
    updater->stop();
    EXPECT_FALSE(updater->isChecking());
    ASSERT_TRUE(waitUntil([&] { return !updater->hasWorkers(); }));
    EXPECT_FALSE(updater->outcome()); // the late outcome was dropped

    fetchGate.set(false);
    checked(Outcome::available(release(8)));
    downloadGate.set(true);
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return updater->progress() == 0.25; }));
    updater->check(true); // while a download runs: the panel, and nothing else
    EXPECT_FALSE(updater->isChecking());
    updater->cancelDownload();
    EXPECT_FALSE(updater->isDownloading());
    ASSERT_TRUE(waitUntil([&] { return !updater->hasWorkers(); }));
    EXPECT_EQ(updater->progress(), 0.0); // the late report was dropped
    EXPECT_FALSE(updater->error());
    EXPECT_FALSE(updater->downloadedFile());
}

TEST_F(AppUpdateControllerTest, AFailedReverificationForgetsTheFileUnlessANewerDownloadOwnsIt) {
    make();
    downloaded(release(8));
    int opened = 0;
    updater->setFileOpener([&](const std::filesystem::path&) {
        ++opened;
        return false; // the desktop refuses
    });
    test::Gate verification;
    updater->setFileVerifier(
        [&](const std::filesystem::path& file, const UpdateRelease&, std::stop_token stop) {
            verification.pass(stop);
            if (file.filename() == "Quorilanth.dmg")
                throw UpdateChannelError(UpdateChannelError::Case::checksumMismatch);
        });
    // A slow failure about the older file while a newer download lands.
    verification.set(true);
    updater->openDownloadedImage();
    delivered = "/downloads/Newer.dmg";
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile() == delivered; }));
    verification.set(false);
    ASSERT_TRUE(waitUntil([&] { return !updater->hasWorkers(); }));
    EXPECT_EQ(updater->downloadedFile(), delivered);
    EXPECT_FALSE(updater->error());
    // The newer file verifies; the desktop's refusal keeps it.
    updater->openDownloadedImage();
    ASSERT_TRUE(waitUntil([&] { return updater->error().has_value(); }));
    EXPECT_EQ(updater->status(), "Could not open the DMG. You can find it in Downloads.");
    EXPECT_TRUE(updater->downloadedFile());

    delivered = "/downloads/Quorilanth.dmg";
    updater->download();
    ASSERT_TRUE(waitUntil([&] { return !updater->isDownloading(); }));
    updater->openDownloadedImage();
    ASSERT_TRUE(waitUntil([&] { return !updater->downloadedFile(); }));
    EXPECT_EQ(updater->status(), "The file does not match the published size or SHA-256 "
                                 "checksum. Download refused.");
    EXPECT_EQ(opened, 1);
}

TEST_F(AppUpdateControllerTest, AnUnconfiguredChannelSpeaksOnlyWhenAsked) {
    const std::tuple<std::int64_t, bool, bool> cases[] = {
        {0, true, true}, {7, false, true}, {7, false, false}, {-3, true, false}};
    for (const auto& [build, configured, manual] : cases) {
        make(build, configured);
        updater->start();
        EXPECT_FALSE(updater->polling());
        updater->check(manual);
        EXPECT_FALSE(updater->isChecking());
        EXPECT_EQ(updater->error().has_value(), manual);
        EXPECT_EQ(updater->status(), "The update channel is not configured in this build.");
    }
    ApplicationBundle lettered;
    lettered.info = {{"CFBundleVersion", "12a"}};
    EXPECT_FALSE(AppUpdateController::fromBundle(lettered, settings())->configured());
}

TEST_F(AppUpdateControllerTest, TheFirstTickComesThreeSecondsAfterStart) {
    make();
    updater->start();
    ASSERT_TRUE(waitUntil([&] { return updater->outcome().has_value(); }, 6000));
    EXPECT_FALSE(updater->showPanel());
    updater->stop();
    EXPECT_FALSE(updater->polling());
}

} // namespace
} // namespace quorilanth
