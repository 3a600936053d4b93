#include "app/store/AppUpdateController.h"

#include "app/store/AppLanguage.h"
#include "app/store/StoredSettings.h"
#include "core/base/QuorilanthError.h"
#include "core/update/UpdateChannelConfiguration.h"

#include <QDesktopServices>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <system_error>

namespace quorilanth {
namespace {

const QString automaticChecksKey = QStringLiteral("updates.automaticChecks");
const QString deferredBuildKey = QStringLiteral("updates.deferredBuild");
const QString deferredAtKey = QStringLiteral("updates.deferredAt");
const QString lastCheckKey = QStringLiteral("updates.lastCheck");
const QString installedBuildKey = QStringLiteral("updates.installedBuild");

constexpr int firstTickMs = 3000;
constexpr int tickMs = 60000;
constexpr qint64 successThrottleMs = 21600 * 1000LL;
constexpr qint64 attemptThrottleMs = 900 * 1000LL;
constexpr qint64 deferralMs = 86400 * 1000LL;

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A clock read that lies between 0 (inclusive) and the span (exclusive) after
// the mark; a mark in the future throttles nothing.
bool within(const QDateTime& mark, const QDateTime& now, qint64 spanMs) {
    const qint64 elapsed = mark.msecsTo(now);
    return elapsed >= 0 && elapsed < spanMs;
}

QString channelMessage(UpdateChannelError::Case value) {
    using Case = UpdateChannelError::Case;
    switch (value) {
    case Case::unconfigured:
        return AppLanguage::pick(
            QStringLiteral("Canale aggiornamenti non configurato in questa build."),
            QStringLiteral("The update channel is not configured in this build."));
    case Case::unavailable:
        break;
    case Case::tooLarge:
        return AppLanguage::pick(
            QStringLiteral("La risposta del server supera il limite consentito."),
            QStringLiteral("The server response exceeds the allowed limit."));
    case Case::invalidSignature:
        return AppLanguage::pick(
            QStringLiteral("Firma dell\u2019aggiornamento non valida. Il download è stato "
                           "rifiutato."),
            QStringLiteral("Invalid update signature. The download was refused."));
    case Case::invalidRelease:
        return AppLanguage::pick(
            QStringLiteral("Il manifest contiene dati di versione non validi."),
            QStringLiteral("The manifest contains invalid release information."));
    case Case::unverifiedDownload:
        return AppLanguage::pick(
            QStringLiteral("Questo download non è autenticato dal canale aggiornamenti."),
            QStringLiteral("This download is not authenticated by the update channel."));
    case Case::checksumMismatch:
        return AppLanguage::pick(
            QStringLiteral("Il file non corrisponde alla dimensione o alla checksum SHA-256 "
                           "pubblicato. Download rifiutato."),
            QStringLiteral("The file does not match the published size or SHA-256 checksum. "
                           "Download refused."));
    }
    return AppLanguage::pick(
        QStringLiteral("Impossibile completare l\u2019operazione. Controlla la connessione e "
                       "riprova."),
        QStringLiteral("Could not complete the operation. Check your connection and try again."));
}

} // namespace

AppUpdateController::AppUpdateController(QString version, std::int64_t build,
                                         std::unique_ptr<QSettings> defaults, Fetch fetch,
                                         Downloader download, Clock now, QObject* parent)
    : QObject(parent), installedVersion_(std::move(version)), installedBuild_(build),
      defaults_(defaults ? std::move(defaults) : std::make_unique<QSettings>()),
      fetch_(std::move(fetch)), downloader_(std::move(download)),
      now_(now ? std::move(now) : [] { return QDateTime::currentDateTimeUtc(); }),
      verifyFile_([](const std::filesystem::path& file, const UpdateRelease& release,
                     std::stop_token stop) {
          UpdateChannelClient::verifyDownloadedFile(file, release, stop);
      }),
      openFile_([](const std::filesystem::path& file) {
          return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(file.c_str())));
      }),
      configured_(fetch_ && installedBuild_ > 0) {
    automaticChecks_ = storedBool(*defaults_, automaticChecksKey).value_or(true);
    deferredBuild_ = storedInteger(*defaults_, deferredBuildKey).value_or(0);
    deferredAt_ = storedDate(*defaults_, deferredAtKey);
    // A last check counts only for the build that made it, so an update
    // starts the six hours afresh.
    if (storedInteger(*defaults_, installedBuildKey) == installedBuild_)
        lastCheckDate_ = storedDate(*defaults_, lastCheckKey);
    // The banner's visibility turns with the clock, not with a field, so the
    // end of a deferral has to announce itself: no check may come to redraw
    // it, with automatic checks off or throttled.
    deferralEnd_ = new QTimer(this);
    deferralEnd_->setSingleShot(true);
    connect(deferralEnd_, &QTimer::timeout, this, [this] {
        emit changed();
        watchDeferral();
    });
    watchDeferral();
}

std::unique_ptr<AppUpdateController>
AppUpdateController::fromBundle(const ApplicationBundle& bundle,
                                std::unique_ptr<QSettings> defaults,
                                UpdateSessionConfiguration session) {
    const std::optional<std::string_view> version = bundle.value("CFBundleShortVersionString");
    const std::optional<std::string_view> buildText = bundle.value("CFBundleVersion");
    const std::int64_t build =
        buildText ? parseBuildNumber(*buildText).value_or(0) : std::int64_t(0);
    Fetch fetch;
    Downloader download;
    if (const std::optional<UpdateChannelConfiguration> configuration =
            UpdateChannelConfiguration::load(bundle)) {
        // One client behind both: it downloads only what its own check verified.
        auto client = std::make_shared<UpdateChannelClient>(*configuration, std::move(session));
        fetch = [client](std::int64_t installed, std::stop_token stop) {
            return client->check(installed, stop);
        };
        const QStringList folders =
            QStandardPaths::standardLocations(QStandardPaths::DownloadLocation);
        std::optional<std::filesystem::path> folder;
        if (!folders.isEmpty())
            folder = std::filesystem::path(QFile::encodeName(folders.first()).toStdString());
        download = [client, folder](const UpdateRelease& release, const Progress& progress,
                                    std::stop_token stop) {
            if (!folder)
                throw std::filesystem::filesystem_error(
                    "No Downloads folder",
                    std::make_error_code(std::errc::no_such_file_or_directory));
            return client->download(release, *folder, progress, stop);
        };
    }
    return std::make_unique<AppUpdateController>(
        version ? fromStd(*version) : QStringLiteral("Development"), build, std::move(defaults),
        std::move(fetch), std::move(download));
}

AppUpdateController::~AppUpdateController() {
    for (auto& [id, worker] : workers_)
        worker.request_stop();
    workers_.clear();
}

// MARK: fields

template <typename T> void AppUpdateController::setField(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    emit changed();
}

void AppUpdateController::setShowPanel(bool value) {
    setField(showPanel_, value);
}

void AppUpdateController::watchDeferral() {
    deferralEnd_->stop();
    if (!deferredAt_) return;
    const qint64 left = deferralMs - deferredAt_->msecsTo(now_());
    // Outside this span the deferral is over or lies in the future; either
    // way the banner already shows.
    if (left > 0 && left <= deferralMs) deferralEnd_->start(std::chrono::milliseconds(left));
}

const UpdateRelease* AppUpdateController::availableRelease() const {
    if (!outcome_ || outcome_->kind() != UpdateCheckOutcome::Kind::available) return nullptr;
    return &*outcome_->release();
}

bool AppUpdateController::noticeVisible() const {
    const UpdateRelease* release = availableRelease();
    if (!release) return false;
    if (release->mandatory || release->build != deferredBuild_ || !deferredAt_) return true;
    const qint64 elapsed = deferredAt_->msecsTo(now_());
    return elapsed < 0 || elapsed >= deferralMs;
}

QString AppUpdateController::status() const {
    if (isDownloading_)
        return AppLanguage::pick(QStringLiteral("Download e verifica in corso\u2026"),
                                 QStringLiteral("Downloading and verifying\u2026"));
    if (isChecking_)
        return AppLanguage::pick(QStringLiteral("Controllo aggiornamenti\u2026"),
                                 QStringLiteral("Checking for updates\u2026"));
    if (error_) return *error_;
    if (downloadedFile_)
        return AppLanguage::pick(QStringLiteral("Download verificato. Il DMG è pronto."),
                                 QStringLiteral("Verified download. The DMG is ready."));
    if (!configured_) return channelMessage(UpdateChannelError::Case::unconfigured);
    if (!outcome_)
        return AppLanguage::pick(QStringLiteral("Controllo automatico ogni 6 ore."),
                                 QStringLiteral("Automatic checks every 6 hours."));
    const UpdateRelease* release = outcome_->release() ? &*outcome_->release() : nullptr;
    switch (outcome_->kind()) {
    case UpdateCheckOutcome::Kind::available:
        return AppLanguage::pick(
            QStringLiteral("È disponibile Quorilanth %1.").arg(fromStd(release->version)),
            QStringLiteral("Quorilanth %1 is available.").arg(fromStd(release->version)));
    case UpdateCheckOutcome::Kind::incompatible: {
        QStringList architectures;
        for (const std::string& architecture : release->architectures)
            architectures.append(fromStd(architecture));
        const QString version = fromStd(release->version);
        const QString minimum = fromStd(release->minimumSystemVersion);
        const QString listed = architectures.join(QStringLiteral(", "));
        return AppLanguage::pick(
            QStringLiteral("La versione %1 richiede macOS %2 e %3.").arg(version, minimum, listed),
            QStringLiteral("Version %1 requires macOS %2 and %3.").arg(version, minimum, listed));
    }
    case UpdateCheckOutcome::Kind::current:
        return AppLanguage::pick(QStringLiteral("Quorilanth è aggiornato."),
                                 QStringLiteral("Quorilanth is up to date."));
    case UpdateCheckOutcome::Kind::notPublished:
        break;
    }
    return AppLanguage::pick(
        QStringLiteral("Nessuna versione pubblicata sul canale aggiornamenti."),
        QStringLiteral("No release has been published on the update channel."));
}

QString AppUpdateController::message(const std::exception_ptr& error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const UpdateChannelError& failure) {
        return channelMessage(failure.value());
    } catch (...) {
    }
    return channelMessage(UpdateChannelError::Case::unavailable);
}

// MARK: workers

template <typename T>
AppUpdateController::Token AppUpdateController::spawn(std::function<T(std::stop_token)> work,
                                                      std::function<void(Result<T>)> finish) {
    const Token id = ++nextWorker_;
    // The thread's last act is to post its result; the result's arrival here
    // joins it, by then a thread that only has to return.
    workers_.emplace(
        id, std::jthread([this, id, work = std::move(work),
                          finish = std::move(finish)](std::stop_token stop) mutable {
            Result<T> result;
            try {
                result.value = work(stop);
            } catch (const Cancelled&) {
                result.cancelled = true;
            } catch (...) {
                result.failure = std::current_exception();
            }
            if (stop.stop_requested()) result.cancelled = true;
            QMetaObject::invokeMethod(
                this,
                [this, id, finish = std::move(finish), result = std::move(result)]() mutable {
                    retire(id);
                    finish(std::move(result));
                },
                Qt::QueuedConnection);
        }));
    return id;
}

void AppUpdateController::retire(Token worker) {
    workers_.erase(worker);
}

// Asks the worker to end and forgets it; its late result finds a newer token.
void AppUpdateController::stopWorker(std::optional<Token>& worker) {
    if (!worker) return;
    if (const auto running = workers_.find(*worker); running != workers_.end())
        running->second.request_stop();
    worker.reset();
}

// MARK: timer and checks

void AppUpdateController::start() {
    if (timer_ || !configured_) return;
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(firstTickMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        check(false);
        if (timer_) timer_->setInterval(tickMs);
    });
    timer_->start();
}

void AppUpdateController::stop() {
    delete timer_;
    timer_ = nullptr;
    stopWorker(request_);
    cancelDownload();
    setField(isChecking_, false);
    ++generation_;
}

void AppUpdateController::check(bool manual) {
    if (manual) setShowPanel(true);
    if (isChecking_ || isDownloading_) return;
    const QDateTime now = now_();
    if (!manual) {
        if (!automaticChecks_) return;
        if (lastCheckDate_ && within(*lastCheckDate_, now, successThrottleMs)) return;
        if (lastAttempt_ && within(*lastAttempt_, now, attemptThrottleMs)) return;
    }
    if (!fetch_ || !configured_) {
        if (manual)
            setField(error_, std::optional(channelMessage(UpdateChannelError::Case::unconfigured)));
        return;
    }
    const Token token = ++generation_;
    setField(isChecking_, true);
    setField(error_, std::optional<QString>());
    lastAttempt_ = now;
    const std::int64_t build = installedBuild_;
    stopWorker(request_);
    request_ = spawn<UpdateCheckOutcome>(
        [fetch = fetch_, build](std::stop_token stop) { return fetch(build, stop); },
        [this, token, build](Result<UpdateCheckOutcome> result) {
            finishCheck(token, build, std::move(result));
        });
}

void AppUpdateController::finishCheck(Token generation, std::int64_t build,
                                      Result<UpdateCheckOutcome> result) {
    if (generation != generation_) return;
    if (result.value && !result.cancelled) {
        const UpdateCheckOutcome& outcome = *result.value;
        // The downloaded image stays only while the channel still offers exactly it.
        const bool keep = outcome.kind() == UpdateCheckOutcome::Kind::available &&
                          downloadedRelease_ && *downloadedRelease_ == *outcome.release();
        if (!keep) {
            downloadedRelease_.reset();
            setField(downloadedFile_, std::optional<std::filesystem::path>());
        }
        setField(outcome_, std::optional(outcome));
        const QDateTime now = now_();
        setField(lastCheckDate_, std::optional(now));
        defaults_->setValue(lastCheckKey, now);
        defaults_->setValue(installedBuildKey, qint64(build));
        defaults_->sync();
    } else if (!result.cancelled) {
        setField(error_, std::optional(message(result.failure)));
    }
    setField(isChecking_, false);
    request_.reset();
}

void AppUpdateController::setAutomaticChecks(bool enabled) {
    setField(automaticChecks_, enabled);
    defaults_->setValue(automaticChecksKey, enabled);
    defaults_->sync();
    if (enabled) check(false);
}

void AppUpdateController::remindLater() {
    const UpdateRelease* release = availableRelease();
    if (!release) return;
    const QDateTime now = now_();
    setField(deferredBuild_, release->build);
    setField(deferredAt_, std::optional(now));
    defaults_->setValue(deferredBuildKey, qint64(deferredBuild_));
    defaults_->setValue(deferredAtKey, now);
    defaults_->sync();
    watchDeferral();
    setShowPanel(false);
}

// MARK: download and opening

void AppUpdateController::download() {
    const UpdateRelease* available = availableRelease();
    if (isDownloading_ || isChecking_ || !available || !downloader_) return;
    setShowPanel(true);
    setField(error_, std::optional<QString>());
    setField(progress_, 0.0);
    setField(isDownloading_, true);
    const Token token = ++downloadGeneration_;
    const UpdateRelease release = *available;
    Progress progress = [this, token](double value) {
        QMetaObject::invokeMethod(
            this,
            [this, token, value] {
                if (isDownloading_ && downloadGeneration_ == token) setField(progress_, value);
            },
            Qt::QueuedConnection);
    };
    stopWorker(downloadTask_);
    downloadTask_ = spawn<std::filesystem::path>(
        [downloader = downloader_, release, progress](std::stop_token stop) {
            return downloader(release, progress, stop);
        },
        [this, token, release](Result<std::filesystem::path> result) {
            finishDownload(token, release, std::move(result));
        });
}

void AppUpdateController::finishDownload(Token generation, const UpdateRelease& release,
                                         Result<std::filesystem::path> result) {
    if (generation != downloadGeneration_) return;
    if (result.value && !result.cancelled) {
        downloadedRelease_ = release;
        setField(downloadedFile_, std::optional(*result.value));
        setField(progress_, 1.0);
    } else if (!result.cancelled) {
        setField(error_, std::optional(message(result.failure)));
    }
    setField(isDownloading_, false);
    downloadTask_.reset();
}

void AppUpdateController::cancelDownload() {
    ++downloadGeneration_;
    stopWorker(downloadTask_);
    setField(isDownloading_, false);
    setField(progress_, 0.0);
}

void AppUpdateController::openDownloadedImage() {
    if (!downloadedFile_ || !downloadedRelease_) return;
    const std::filesystem::path file = *downloadedFile_;
    const UpdateRelease release = *downloadedRelease_;
    const Token token = downloadGeneration_;
    // Reading and hashing up to half a gigabyte stays off this thread.
    spawn<bool>(
        [verify = verifyFile_, file, release](std::stop_token stop) {
            verify(file, release, stop);
            return true;
        },
        [this, token, file](Result<bool> result) {
            finishVerification(token, file, std::move(result));
        });
}

void AppUpdateController::finishVerification(Token generation, const std::filesystem::path& file,
                                             Result<bool> result) {
    if (result.cancelled) return;
    // A download that started since owns the file and the status line now:
    // a late answer about the older file, good or bad, must neither open it
    // nor erase what the newer one brings.
    if (generation != downloadGeneration_) return;
    if (result.value) {
        if (!openFile_(file))
            setField(error_, std::optional(AppLanguage::pick(
                                 QStringLiteral("Impossibile aprire il DMG. Puoi trovarlo nella "
                                                "cartella Download."),
                                 QStringLiteral("Could not open the DMG. You can find it in "
                                                "Downloads."))));
        return;
    }
    setField(error_, std::optional(message(result.failure)));
    setField(downloadedFile_, std::optional<std::filesystem::path>());
}

} // namespace quorilanth
