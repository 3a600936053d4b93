#pragma once

// The update controller on a scripted channel: a fetch and a downloader that
// answer what the test sets and can be held until the test (or a stop
// request) lets them go; a clock the test moves; a settings file of its own.

#include "app/store/AppUpdateController.h"
#include "core/base/QuorilanthError.h"
#include "support/QtTestKit.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace quorilanth::test {

inline UpdateRelease release(std::int64_t build, bool mandatory = false) {
    const std::string version = "0.1." + std::to_string(build);
    return {version,
            build,
            "14.0",
            {"arm64", "x86_64"},
            mandatory,
            "2026-09-13T12:00:00Z",
            {{"en", "Faster scans."}, {"it", "Scansioni più veloci."}},
            "https://updates.example/quorilanth/downloads/Quorilanth-" + version +
                "-macOS-universal.dmg",
            std::string(64, 'a'),
            1048576};
}

// Work held until the test opens the gate, or until the work is stopped.
class Gate {
public:
    void set(bool held) {
        std::lock_guard lock(mutex_);
        held_ = held;
        wake_.notify_all();
    }
    void pass(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, stop, [this] { return !held_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable_any wake_;
    bool held_ = false;
};

class UpdateFixture : public ::testing::Test {
public:
    void TearDown() override {
        fetchGate.set(false);
        downloadGate.set(false);
        updater.reset();
        prefer("en-GB");
    }
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(folder.filePath(settingsName), QSettings::IniFormat);
    }
    // The controller joins its workers when it goes, before the members they use.
    void make(std::int64_t build = 7, bool configured = true) {
        updater.reset();
        AppUpdateController::Fetch fetch = [this](std::int64_t, std::stop_token stop) {
            fetchGate.pass(stop);
            std::lock_guard lock(mutex);
            return answer();
        };
        auto download = [this](const UpdateRelease&, const AppUpdateController::Progress& progress,
                               std::stop_token stop) {
            progress(reported);
            downloadGate.pass(stop);
            progress(0.5); // reported even after a cancel, as a slow transfer would
            if (stop.stop_requested()) throw Cancelled();
            std::lock_guard lock(mutex);
            return delivered;
        };
        updater = std::make_unique<AppUpdateController>(QStringLiteral("0.1.0"), build, settings(),
                                                        configured ? fetch : nullptr, download,
                                                        [this] { return now; });
    }
    void answerWith(std::function<UpdateCheckOutcome()> next) {
        std::lock_guard lock(mutex);
        answer = std::move(next);
    }
    // A finished manual check with this outcome.
    void checked(const UpdateCheckOutcome& outcome) {
        answerWith([outcome] { return outcome; });
        updater->check(true);
        ASSERT_TRUE(waitUntil([&] { return !updater->isChecking(); }));
    }
    void downloaded(const UpdateRelease& offered) {
        checked(UpdateCheckOutcome::available(offered));
        updater->download();
        ASSERT_TRUE(waitUntil([&] { return updater->downloadedFile().has_value(); }));
    }

    QTemporaryDir folder;
    QString settingsName = QStringLiteral("settings.ini");
    Gate fetchGate, downloadGate;
    std::mutex mutex;
    std::function<UpdateCheckOutcome()> answer = [] { return UpdateCheckOutcome::current(); };
    std::filesystem::path delivered = "/downloads/Quorilanth.dmg";
    std::atomic<double> reported{0.25}; // the first progress a download reports
    const QDateTime start = QDateTime(QDate(2026, 9, 14), QTime(10, 0), Qt::UTC);
    QDateTime now = start;
    std::unique_ptr<AppUpdateController> updater;
};

} // namespace quorilanth::test
