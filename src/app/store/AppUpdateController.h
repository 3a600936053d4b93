#pragma once

#include "core/update/ApplicationBundle.h"
#include "core/update/UpdateChannelClient.h"
#include "core/update/UpdateChannelError.h"
#include "core/update/UpdateRelease.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>

class QSettings;
class QTimer;

namespace quorilanth {

// The application side of the signed update channel, on the GUI thread for
// the life of the process. It never touches the network itself: the check and
// the download are operations it is given, which it runs on worker threads.
// Around them it keeps the timer, the throttles of automatic checks, the
// tokens that drop superseded results, the user's deferral of the banner, the
// download's progress and the texts the panel shows. No operation waits:
// each returns at once and the results arrive as queued calls.
class AppUpdateController : public QObject {
    Q_OBJECT

public:
    using Progress = std::function<void(double)>;
    // Each runs on a worker thread and should end soon after a stop request.
    using Fetch = std::function<UpdateCheckOutcome(std::int64_t installedBuild, std::stop_token)>;
    using Downloader = std::function<std::filesystem::path(const UpdateRelease&, const Progress&,
                                                           std::stop_token)>;
    using Clock = std::function<QDateTime()>;
    // Re-reads a downloaded file against its release; throws when it differs.
    using FileVerifier =
        std::function<void(const std::filesystem::path&, const UpdateRelease&, std::stop_token)>;
    // Hands a file to the desktop's handler; false when the desktop refuses.
    using FileOpener = std::function<bool(const std::filesystem::path&)>;

    // defaults: where the "updates." keys live; null for the application's
    // settings. now: null for the current time.
    AppUpdateController(QString version, std::int64_t build, std::unique_ptr<QSettings> defaults,
                        Fetch fetch, Downloader download, Clock now = {},
                        QObject* parent = nullptr);
    // The application's controller: the bundle's version and build, and one
    // channel client behind both operations when the bundle configures one.
    static std::unique_ptr<AppUpdateController>
    fromBundle(const ApplicationBundle& bundle, std::unique_ptr<QSettings> defaults,
               UpdateSessionConfiguration session = UpdateSessionConfiguration::ephemeral());
    // Cancels whatever still runs and waits for the cancelled workers, so that
    // no partial download is left behind and no transfer outlives the
    // libraries it uses. Only happens once the event loop is over.
    ~AppUpdateController() override;

    // Seams for tests; the defaults re-verify with the channel client and open
    // through the desktop.
    void setFileVerifier(FileVerifier verifier) { verifyFile_ = std::move(verifier); }
    void setFileOpener(FileOpener opener) { openFile_ = std::move(opener); }

    // Constants.
    const QString& installedVersion() const { return installedVersion_; }
    std::int64_t installedBuild() const { return installedBuild_; }
    bool configured() const { return configured_; }

    // Observable fields; changed() follows every real change of any of them.
    bool automaticChecks() const { return automaticChecks_; }
    bool isChecking() const { return isChecking_; }
    bool isDownloading() const { return isDownloading_; }
    double progress() const { return progress_; }
    const std::optional<QDateTime>& lastCheckDate() const { return lastCheckDate_; }
    const std::optional<UpdateCheckOutcome>& outcome() const { return outcome_; }
    const std::optional<std::filesystem::path>& downloadedFile() const { return downloadedFile_; }
    const std::optional<QString>& error() const { return error_; }
    bool showPanel() const { return showPanel_; }
    void setShowPanel(bool value);
    std::int64_t deferredBuild() const { return deferredBuild_; }
    const std::optional<QDateTime>& deferredAt() const { return deferredAt_; }

    // Derived.
    const UpdateRelease* availableRelease() const;
    bool noticeVisible() const;
    QString status() const;

    // Operations.
    void start();
    void stop();
    void check(bool manual);
    void setAutomaticChecks(bool enabled);
    void remindLater();
    void download();
    void cancelDownload();
    void openDownloadedImage();

    // The user's text for a failure, in the language of the moment.
    static QString message(const std::exception_ptr& error);

    // True while the periodic checks are scheduled.
    bool polling() const { return timer_ != nullptr; }
    // Workers, also cancelled or superseded ones, whose result has not yet
    // arrived here (to be used or dropped).
    std::size_t workers() const { return workers_.size(); }

signals:
    void changed();

private:
    using Token = std::uint64_t;
    // What a worker hands back: a value, or the failure, or nothing when the
    // work was cancelled.
    template <typename T> struct Result {
        std::optional<T> value;
        std::exception_ptr failure;
        bool cancelled = false;
    };

    template <typename T> void setField(T& field, T value);
    // Runs work on a new thread and then finish with its result on this one.
    template <typename T>
    Token spawn(std::function<T(std::stop_token)> work, std::function<void(Result<T>)> finish);
    void retire(Token worker);
    void stopWorker(std::optional<Token>& worker);

    void finishCheck(Token generation, std::int64_t build, Result<UpdateCheckOutcome> result);
    void finishDownload(Token generation, const UpdateRelease& release,
                        Result<std::filesystem::path> result);
    void finishVerification(Token generation, const std::filesystem::path& file,
                            Result<bool> result);
    // Arms the redraw for the moment a deferral of the banner runs out.
    void watchDeferral();

    const QString installedVersion_;
    const std::int64_t installedBuild_;
    std::unique_ptr<QSettings> defaults_;
    Fetch fetch_;
    Downloader downloader_;
    Clock now_;
    FileVerifier verifyFile_;
    FileOpener openFile_;
    const bool configured_;

    bool automaticChecks_ = true;
    bool isChecking_ = false;
    bool isDownloading_ = false;
    double progress_ = 0;
    std::optional<QDateTime> lastCheckDate_;
    std::optional<UpdateCheckOutcome> outcome_;
    std::optional<std::filesystem::path> downloadedFile_;
    std::optional<QString> error_;
    bool showPanel_ = false;
    std::int64_t deferredBuild_ = 0;
    std::optional<QDateTime> deferredAt_;

    std::optional<QDateTime> lastAttempt_;
    std::optional<Token> request_;
    std::optional<Token> downloadTask_;
    QTimer* timer_ = nullptr;
    QTimer* deferralEnd_ = nullptr;
    Token generation_ = 0;
    Token downloadGeneration_ = 0;
    std::optional<UpdateRelease> downloadedRelease_;

    // Every worker thread until its last message has arrived here. Threads are
    // only ever joined once they have finished, never while they transfer.
    Token nextWorker_ = 0;
    std::map<Token, std::jthread> workers_;
};

} // namespace quorilanth
