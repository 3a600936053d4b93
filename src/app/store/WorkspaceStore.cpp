#include "app/store/WorkspaceStore.h"

#include "ai/AIResearchEngine.h"
#include "app/store/AppLanguage.h"
#include "app/store/CaseFolding.h"
#include "app/store/DialogPrompts.h"
#include "app/store/LibraryRebuild.h"
#include "app/store/RegularFile.h"
#include "app/store/StoredSettings.h"
#include "core/base/QuorilanthError.h"
#include "core/base/UUID.h"
#include "core/base/Url.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/report/ReportGenerator.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace quorilanth {
namespace {

const QString indexName = QStringLiteral("library.json");
const QString setAsidePrefix = QStringLiteral("library-unreadable-");
const QString cancellingStatus = QStringLiteral("Cancelling\u2026");
const QString cannotOpenReport = QStringLiteral("Could not open report: ");
const QString cannotSaveScan = QStringLiteral("Could not save scan: ");
const QString tooLargeToOpen = QStringLiteral("The file is too large to open.");
const QString relisted =
    QStringLiteral(" The saved scans are listed again from the reports in the library folder.");

template <typename T> bool assign(T& field, T value) {
    if (field == value) return false;
    field = std::move(value);
    return true;
}

QString fromStd(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString describe(const std::exception& error) {
    return QString::fromUtf8(error.what());
}

// Writes through a temporary file in the same folder, then renames it over the
// destination, so a reader never sees half a file. produce hands the content to
// its sink in pieces; when anything throws, the temporary file is dropped.
void writeAtomically(const QString& path,
                     const std::function<void(const ReportJSON::Sink&)>& produce) {
    QSaveFile file(path);
    const auto failed = [&] {
        return QuorilanthError("The file \"" + QFileInfo(path).fileName().toStdString() +
                               "\" could not be written: " + file.errorString().toStdString());
    };
    if (!file.open(QIODevice::WriteOnly)) throw failed();
    produce([&](std::string_view piece) {
        if (file.write(piece.data(), static_cast<qint64>(piece.size())) !=
            static_cast<qint64>(piece.size()))
            throw failed();
    });
    if (!file.commit()) throw failed();
}

void writeAtomically(const QString& path, std::string_view bytes) {
    writeAtomically(path, [bytes](const ReportJSON::Sink& sink) { sink(bytes); });
}

// The report a file holds, read as any report file is opened; none, with the
// reason, when it cannot be.
std::optional<ScanReport> readOpened(const QString& path, QString& failure) {
    try {
        ScanReport report = RegularFile::readReport(path);
        if (!WorkspaceStore::isValidReportID(report.id))
            throw QuorilanthError("Invalid report identifier.");
        // Saved under its own id, such a report would take the place of the
        // index or of a set-aside one; it is kept under an id of its own instead.
        if (WorkspaceStore::isReservedReportID(report.id)) report.id = newUUIDText();
        return report;
    } catch (const std::bad_alloc&) {
        // What was read so far is freed on the way out.
        failure = tooLargeToOpen;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    return std::nullopt;
}

// Whether the file holds byte for byte what the library would write for the
// report, compared piece by piece as it is produced, never held whole.
bool holdsJSONOf(const QString& path, const ScanReport& report) {
    try {
        RegularFile file(path);
        std::vector<char> buffer(1 << 16);
        std::size_t held = 0, at = 0;
        bool same = true;
        ReportGenerator::json(report, [&](std::string_view piece) {
            while (same && !piece.empty()) {
                if (at == held) {
                    held = file.read(buffer.data(), buffer.size());
                    at = 0;
                    if (held == 0) {
                        same = false;
                        break;
                    }
                }
                const std::size_t count = std::min(piece.size(), held - at);
                same = std::memcmp(piece.data(), buffer.data() + at, count) == 0;
                at += count;
                piece.remove_prefix(count);
            }
        });
        char more = 0;
        return same && at == held && file.read(&more, 1) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

icu::UnicodeString unicode(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString trimmed(const QString& text) {
    return text.trimmed();
}

} // namespace

WorkspaceStore::WorkspaceStore(const QString& directory, const QStringList& arguments,
                               Dependencies dependencies, QObject* parent)
    : QObject(parent), dependencies_(std::move(dependencies)) {
    if (!dependencies_.makeEngine)
        dependencies_.makeEngine = [](NetworkPolicy policy) {
            return std::make_shared<DiscoveryEngine>(std::move(policy));
        };
    updater_ = dependencies_.updater
                   ? std::move(dependencies_.updater)
                   : AppUpdateController::fromBundle(ApplicationBundle::main(), nullptr);
    engine_ = dependencies_.makeEngine(NetworkPolicy(false));
    if (dependencies_.secrets) keychain_ = AIKeychain(dependencies_.secrets);
    if (!dependencies_.makeResearchEngine)
        dependencies_.makeResearchEngine = [this] {
            return std::make_unique<AIResearchEngine>(keychain_);
        };

    QSettings settings;
    const std::optional<QString> storedProvider =
        storedText(settings, QStringLiteral("aiProvider"));
    provider_ =
        storedProvider
            ? aiProviderFromRawValue(storedProvider->toStdString()).value_or(AIProvider::apple)
            : AIProvider::apple;
    const std::optional<QString> storedModel = storedText(settings, QStringLiteral("aiModel"));
    model_ = storedModel ? *storedModel : fromStd(defaultModel(provider_));

    guest_ = !holdsLibrary(arguments);
    directory_ = directory.isEmpty() ? defaultDirectory() : directory;
    if (const std::optional<QString> failure = createDirectory(directory_))
        error_ = QStringLiteral("Library: ") + *failure;
    else
        readIndex();
    applyLaunchOptions(arguments);
}

QString WorkspaceStore::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Quorilanth");
}

// Creates the library folder private from its first moment: mode 0700 is given
// to mkdir itself, so the folder is never open to others, not even briefly.
// The folders above it are shared ones and get the default mode; an existing
// library folder is taken as it is. Returns what went wrong, if anything.
std::optional<QString> WorkspaceStore::createDirectory(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const std::filesystem::path folder(QFile::encodeName(clean).toStdString());
    const std::string name = QFileInfo(clean).fileName().toStdString();
    auto failure = [&](const std::string& reason) {
        return fromStd("The folder \"" + name + "\" could not be created: " + reason + ".");
    };
    std::error_code error;
    if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), error);
    if (error) return failure(error.message());
    if (::mkdir(folder.c_str(), 0700) == 0) return std::nullopt;
    if (errno != EEXIST) return failure(std::strerror(errno));
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return failure(std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return failure(std::strerror(ENOTDIR));
    return std::nullopt;
}

WorkspaceStore::~WorkspaceStore() {
    // Stop and join the worker while this object is still whole: it only ever
    // posts to us, never waits on us, so the join cannot deadlock, and its
    // posted calls die with this object.
    if (task_) {
        task_->request_stop();
        task_->join();
    }
    if (!rebuild_) return;
    // The index still on disk is the unreadable one, which the next start
    // rebuilds from again; only what changed meanwhile needs the rest read.
    if (!indexDeferred_) return;
    rebuild_->wait();
    bool finished = false;
    history_ = withRebuiltScans(rebuild_->take(finished));
    rebuild_.reset();
    try {
        persistIndex();
    } catch (const std::exception&) {
        // Nobody is left to tell; the unreadable index stays for the next start.
    }
}

// MARK: plain fields

#define QL_STORE_SETTER(Type, Name, field, signal)                                                 \
    void WorkspaceStore::Name(Type value) {                                                        \
        if (assign(field, std::move(value))) emit signal();                                        \
    }

QL_STORE_SETTER(const QString&, setInput, input_, inputChanged)
QL_STORE_SETTER(bool, setDiscoveryMode, discoveryMode_, discoveryModeChanged)
QL_STORE_SETTER(std::optional<std::string>, setSelectedID, selectedID_, selectedIDChanged)
QL_STORE_SETTER(std::optional<std::string>, setSelectedEvidenceID, selectedEvidenceID_,
                selectedEvidenceIDChanged)
QL_STORE_SETTER(bool, setShowLibrary, showLibrary_, showLibraryChanged)
QL_STORE_SETTER(const QString&, setLibrarySearch, librarySearch_, librarySearchChanged)
QL_STORE_SETTER(const QString&, setCollectionFilter, collectionFilter_, collectionFilterChanged)
QL_STORE_SETTER(const QString&, setStatus, status_, statusChanged)
QL_STORE_SETTER(bool, setBusy, busy_, busyChanged)
QL_STORE_SETTER(bool, setToolBusy, toolBusy_, toolBusyChanged)
QL_STORE_SETTER(std::optional<QString>, setError, error_, errorChanged)
QL_STORE_SETTER(bool, setShowSettings, showSettings_, showSettingsChanged)
QL_STORE_SETTER(bool, setShowInspector, showInspector_, showInspectorChanged)
QL_STORE_SETTER(bool, setShowContent, showContent_, showContentChanged)
QL_STORE_SETTER(bool, setShowMissing, showMissing_, showMissingChanged)
QL_STORE_SETTER(bool, setFocusSelection, focusSelection_, focusSelectionChanged)
QL_STORE_SETTER(double, setGraphZoom, graphZoom_, graphZoomChanged)
QL_STORE_SETTER(bool, setLiveSchema, liveSchema_, liveSchemaChanged)
QL_STORE_SETTER(std::vector<SavedScan>, setHistory, history_, historyChanged)
QL_STORE_SETTER(const QString&, setLibrarySection, librarySection_, librarySectionChanged)
QL_STORE_SETTER(bool, setDeveloperMode, developerMode_, developerModeChanged)

#undef QL_STORE_SETTER

void WorkspaceStore::bumpGraphCommand() {
    ++graphCommand_;
    emit graphCommandChanged();
}

// A report is a large value; two reports from successive progress steps differ,
// and a view asked to re-render the same report does no harm, so every write of
// a report notifies, except none over none.
void WorkspaceStore::setReport(std::optional<ScanReport> value) {
    if (!report() && !value) return;
    report_ = std::make_shared<const std::optional<ScanReport>>(std::move(value));
    emit reportChanged();
}

std::shared_ptr<const ScanReport> WorkspaceStore::sharedReport() const {
    if (!*report_) return nullptr;
    return {report_, &**report_};
}

void WorkspaceStore::setCandidateReports(std::map<QString, QString> value) {
    if (assign(candidateReports_, std::move(value))) emit candidateReportsChanged();
}

void WorkspaceStore::setResearch(std::optional<ResearchResult> value) {
    if (!research_ && !value) return;
    research_ = std::move(value);
    emit researchChanged();
}

void WorkspaceStore::setTab(WorkspaceTab value) {
    const WorkspaceTab previous = tab_;
    if (assign(tab_, value)) emit tabChanged();
    setShowLibrary(false);
    if (value == WorkspaceTab::schema && previous != WorkspaceTab::schema) setShowInspector(false);
}

void WorkspaceStore::setProvider(AIProvider value) {
    if (assign(provider_, value)) emit providerChanged();
    QSettings().setValue(QStringLiteral("aiProvider"), fromStd(rawValue(value)));
    setModel(fromStd(defaultModel(value)));
}

void WorkspaceStore::setModel(const QString& value) {
    if (assign(model_, value)) emit modelChanged();
    QSettings().setValue(QStringLiteral("aiModel"), value);
}

// MARK: navigation and selection

void WorkspaceStore::newScan() {
    if (busy_ || toolBusy_) return;
    setReport(std::nullopt);
    setResearch(std::nullopt);
    setCandidateReports({});
    setSelectedID(std::nullopt);
    setSelectedEvidenceID(std::nullopt);
    setInput(QString());
    setDiscoveryMode(false);
    setError(std::nullopt);
    setStatus(QStringLiteral("Ready to explore"));
    setTab(WorkspaceTab::guide);
}

void WorkspaceStore::openReport() {
    if (busy_ || toolBusy_) return;
    if (const std::optional<QString> path = prompts().openReportPath()) loadFile(*path, true);
}

void WorkspaceStore::fitSchema() {
    if (!report()) return;
    setTab(WorkspaceTab::schema);
    bumpGraphCommand();
}

void WorkspaceStore::toggleInspector() {
    if (!report()) return;
    if (tab_ != WorkspaceTab::guide && !showLibrary_) {
        setShowInspector(!showInspector_);
    } else {
        setTab(WorkspaceTab::overview);
        setShowInspector(true);
    }
}

void WorkspaceStore::checkForUpdates() {
    if (!showSettings_) {
        updater_->check(true);
        return;
    }
    // The settings sheet goes first; the update panel follows once it has closed.
    setShowSettings(false);
    QTimer::singleShot(300, this, [this] { updater_->check(true); });
}

void WorkspaceStore::select(const std::string& id) {
    setSelectedID(id);
    setSelectedEvidenceID(std::nullopt);
    if (tab_ != WorkspaceTab::guide) setShowInspector(true);
}

std::optional<MCPTool> WorkspaceStore::selectedTool() const {
    if (!report() || !selectedID_) return std::nullopt;
    for (const MCPServer& server : report()->servers)
        for (const MCPTool& tool : server.tools)
            if (tool.id() == *selectedID_) return tool;
    return std::nullopt;
}

std::optional<Evidence> WorkspaceStore::selectedEvidence() const {
    if (!report()) return std::nullopt;
    if (selectedEvidenceID_)
        if (const Evidence* record = report()->findEvidence(*selectedEvidenceID_)) return *record;
    if (!selectedID_) return std::nullopt;
    const GraphNode* node = report()->findNode(*selectedID_);
    if (!node) return std::nullopt;
    // A hand-edited report may give a node as many ids as it has exchanges:
    // look them up in a set, not the list, so the search stays linear.
    const std::unordered_set<std::string_view> ids(node->evidenceIDs.begin(),
                                                   node->evidenceIDs.end());
    for (auto record = report()->evidence.rbegin(); record != report()->evidence.rend(); ++record)
        if (record->method != "OPTIONS" && ids.contains(record->id)) return *record;
    return std::nullopt;
}

// MARK: scan and AI site search

void WorkspaceStore::start() {
    if (busy_ || toolBusy_) return;
    setError(std::nullopt);
    setShowLibrary(false);
    setResearch(std::nullopt);
    setCandidateReports({});
    setBusy(true);
    setReport(std::nullopt);
    setSelectedID(std::nullopt);
    setSelectedEvidenceID(std::nullopt);

    const bool aiRoad = discoveryMode_;
    // The sites of an AI search come from web content, not from the user: were
    // Developer Mode to reach them, a search hit could aim automatic requests
    // at this machine or its network. A private address is only ever typed.
    engineDeveloperMode_ = developerMode_ && !aiRoad;
    engine_ = dependencies_.makeEngine(NetworkPolicy(engineDeveloperMode_));
    const std::string text = input_.toStdString();
    const AIProvider provider = provider_;
    const std::string model = model_.toStdString();

    if (aiRoad) {
        setStatus(QStringLiteral("Searching the web and classifying candidates\u2026"));
        setTab(WorkspaceTab::discovery);
    }

    // Everything the worker touches is captured by value; it reaches the store
    // only through calls queued to this object's thread.
    std::unique_ptr<AIResearching> researcher =
        aiRoad ? dependencies_.makeResearchEngine() : nullptr;
    task_.emplace([this, engine = engine_, aiRoad, text, provider, model,
                   researcher = std::move(researcher)](std::stop_token stop) {
        auto post = [this](auto function) {
            QMetaObject::invokeMethod(this, std::move(function), Qt::QueuedConnection);
        };
        const DiscoveryEngine::ProgressCallback progress =
            [post, this](ScanReport report, const std::string& message) {
                post([this, report = std::move(report), message = fromStd(message)]() mutable {
                    receive(std::move(report), message);
                });
            };
        try {
            if (!aiRoad) {
                ScanReport report = engine->scan(text, progress, stop);
                post([this, report = std::move(report)] { scanFinished(report); });
                return;
            }
            ResearchResult result = researcher->research(text, provider, model, stop);
            const std::vector<SearchCandidate> candidates = result.candidates;
            post([this, result = std::move(result)]() mutable {
                setResearch(std::move(result));
                if (research_->candidates.empty())
                    setStatus(QStringLiteral("No relevant candidates selected from web results"));
            });
            for (const SearchCandidate& candidate : candidates) {
                if (stop.stop_requested()) throw Cancelled();
                const QString domain = fromStd(candidate.domain);
                post([this, domain] { setStatus(QStringLiteral("Verifying ") + domain); });
                ScanReport report = engine->scan(candidate.domain, progress, stop);
                post([this, domain, report = std::move(report)] {
                    candidateScanned(domain, report);
                });
            }
            post([this] { researchFinished(); });
        } catch (const Cancelled&) {
            post([this] {
                setStatus(QStringLiteral("Cancelled"));
                endOperation();
            });
        } catch (const std::exception& error) {
            post([this, failure = describe(error)] {
                setError(failure);
                setStatus(QStringLiteral("Scan stopped"));
                endOperation();
            });
        }
    });
    emit taskChanged();
}

void WorkspaceStore::cancel() {
    if (task_) task_->request_stop();
    if (status_ != cancellingStatus) statusBeforeCancel_ = status_;
    setStatus(cancellingStatus);
}

// MARK: tool call

void WorkspaceStore::run(const MCPTool& tool, const JSONValue& arguments, bool confirmedRisk) {
    if (busy_ || toolBusy_ || !report()) return;
    // The engine of the last scan keeps its sessions with the servers it
    // verified, but also the policy that scan had: a call the user sends goes
    // out under the Developer Mode the window shows now.
    if (engineDeveloperMode_ != developerMode_) {
        engineDeveloperMode_ = developerMode_;
        engine_ = dependencies_.makeEngine(NetworkPolicy(engineDeveloperMode_));
    }
    setToolBusy(true);
    setError(std::nullopt);
    task_.emplace([this, engine = engine_, tool, arguments, report = *report(),
                   confirmedRisk](std::stop_token stop) {
        auto post = [this](auto function) {
            QMetaObject::invokeMethod(this, std::move(function), Qt::QueuedConnection);
        };
        try {
            ScanReport updated = engine->run(tool, arguments, report, confirmedRisk, stop);
            post([this, updated = std::move(updated)]() mutable {
                toolCallSucceeded(std::move(updated));
            });
        } catch (const std::exception& error) {
            std::vector<Evidence> exchanges = engine->drainToolEvidence(tool.serverURL);
            post([this, exchanges = std::move(exchanges), failure = describe(error)]() mutable {
                toolCallFailed(std::move(exchanges), failure);
            });
        }
    });
    emit taskChanged();
}

void WorkspaceStore::toolCallSucceeded(ScanReport report) {
    setReport(std::move(report));
    setShowContent(true);
    save(*this->report());
    const auto& evidence = this->report()->evidence;
    const auto request = std::find_if(evidence.rbegin(), evidence.rend(),
                                      [](const Evidence& e) { return e.method == "POST"; });
    setSelectedEvidenceID(request == evidence.rend() ? std::nullopt
                                                     : std::optional<std::string>(request->id));
    setStatus(QStringLiteral("Tool response recorded"));
    bumpGraphCommand();
    endOperation();
}

void WorkspaceStore::toolCallFailed(std::vector<Evidence> exchanges, const QString& failure) {
    if (report()) {
        ScanReport updated = *report();
        std::move(exchanges.begin(), exchanges.end(), std::back_inserter(updated.evidence));
        setReport(std::move(updated));
    }
    setError(failure);
    // The exchanges of a failed call are evidence too: they reach the library.
    if (report()) save(*report());
    if (status_ == cancellingStatus) setStatus(statusBeforeCancel_);
    endOperation();
}

void WorkspaceStore::receive(ScanReport report, const QString& message) {
    if (liveSchema_ || report.finishedAt) setReport(std::move(report));
    setStatus(message);
}

void WorkspaceStore::candidateScanned(const QString& domain, const ScanReport& report) {
    setReport(report);
    save(report);
    auto reports = candidateReports_;
    reports[domain] = fromStd(report.id);
    setCandidateReports(std::move(reports));
}

void WorkspaceStore::scanFinished(const ScanReport& report) {
    setReport(report);
    save(report);
    selectMostUsefulNode();
    bumpGraphCommand();
    endOperation();
}

void WorkspaceStore::researchFinished() {
    selectMostUsefulNode();
    bumpGraphCommand();
    endOperation();
}

void WorkspaceStore::endOperation() {
    setBusy(false);
    setToolBusy(false);
    if (task_) {
        // The worker posted this as its last act; the join only waits for it to return.
        task_->join();
        task_.reset();
        emit taskChanged();
    }
}

void WorkspaceStore::selectMostUsefulNode() {
    if (!report()) {
        setSelectedID(std::nullopt);
        return;
    }
    const auto& nodes = report()->nodes;
    const auto server = std::find_if(nodes.begin(), nodes.end(), [](const GraphNode& node) {
        return node.kind == NodeKind::mcp && node.status == FindingStatus::valid;
    });
    if (server != nodes.end())
        setSelectedID(server->id);
    else if (!nodes.empty())
        setSelectedID(nodes.front().id);
    else
        setSelectedID(std::nullopt);
}

// MARK: library

bool WorkspaceStore::isValidReportID(const std::string& id) {
    if (id.empty() || id.size() > 128) return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

bool WorkspaceStore::isReservedReportID(const std::string& id) {
    // Without regard to case, for a library on a file system that ignores it.
    const QString name = fromStd(id).toLower() + QStringLiteral(".json");
    return name == indexName || name.startsWith(setAsidePrefix);
}

void WorkspaceStore::readIndex() {
    const QString path = QDir(directory_).filePath(indexName);
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return;
    std::string bytes;
    QString failure;
    try {
        bytes = RegularFile::readAll(path);
        setHistory(decodeLibraryIndex(QByteArray::fromStdString(bytes)));
        return;
    } catch (const QuorilanthError& error) {
        failure = describe(error);
    } catch (const std::bad_alloc&) {
        // Memory runs out while reading or while decoding, by the size of the
        // file and the memory at hand; an index that fails thus at every start
        // must not keep the application from starting.
        bytes = std::string();
        failure = tooLargeToOpen;
    }
    // Never written over: it is set aside at the first write. Every scan it
    // listed still has its report beside it, so the library is read again
    // from those.
    indexNeedsSettingAside_ = true;
    setError(QStringLiteral("Library: ") + failure + relisted);
    rebuild_ =
        std::make_unique<LibraryRebuild>(directory_, QByteArray::fromStdString(bytes), [this] {
            QMetaObject::invokeMethod(
                this, [this] { takeRebuiltScans(); }, Qt::QueuedConnection);
        });
}

std::vector<SavedScan> WorkspaceStore::withRebuiltScans(std::vector<SavedScan> found) {
    std::vector<SavedScan> scans = history_;
    if (found.empty()) return scans;
    // What was saved meanwhile is newer than its file was when read, but the
    // marks the user gave it are in the unreadable index, unless set since.
    std::unordered_map<QString, std::size_t> listed;
    for (std::size_t at = 0; at < scans.size(); ++at)
        listed.emplace(scans[at].id, at);
    for (SavedScan& scan : found) {
        const auto entry = listed.find(scan.id);
        if (entry == listed.end()) {
            scans.push_back(std::move(scan));
        } else if (unmarkedSaves_.remove(scan.id)) {
            scans[entry->second].favorite = scan.favorite;
            scans[entry->second].collection = std::move(scan.collection);
        }
    }
    std::stable_sort(scans.begin(), scans.end(),
                     [](const SavedScan& a, const SavedScan& b) { return a.date > b.date; });
    return scans;
}

void WorkspaceStore::takeRebuiltScans() {
    if (!rebuild_) return;
    bool finished = false;
    setHistory(withRebuiltScans(rebuild_->take(finished)));
    if (!finished) return;
    rebuild_.reset();
    unmarkedSaves_.clear();
    indexDeferred_ = false;
    // A guest leaves the unreadable index to the copy that holds the library,
    // which may have written the index meanwhile.
    if (guest_) return;
    try {
        persistIndex();
    } catch (const std::exception& failure) {
        setError(QStringLiteral("Library: ") + describe(failure));
    }
}

void WorkspaceStore::setAsideUnreadableIndex() {
    const QDir folder(directory_);
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString name =
            setAsidePrefix +
            QStringLiteral("%1%2.json")
                .arg(stamp, attempt ? QStringLiteral("-%1").arg(attempt) : QString());
        const QString target = folder.filePath(name);
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
        // rename(2) would replace a file that appeared meanwhile; link + unlink does not.
        const QByteArray from = QFile::encodeName(folder.filePath(indexName));
        const QByteArray to = QFile::encodeName(target);
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            indexNeedsSettingAside_ = false;
            return;
        }
        if (errno == EEXIST) continue;
        if (errno == ENOENT) { // gone meanwhile: nothing left to protect
            indexNeedsSettingAside_ = false;
            return;
        }
        throw QuorilanthError("The unreadable library index could not be set aside: " +
                              std::string(std::strerror(errno)) + ".");
    }
    throw QuorilanthError("The unreadable library index could not be set aside.");
}

void WorkspaceStore::persistIndex() {
    if (rebuild_) {
        indexDeferred_ = true;
        return;
    }
    if (indexNeedsSettingAside_) setAsideUnreadableIndex();
    const QByteArray bytes = encodeLibraryIndex(history_);
    writeAtomically(QDir(directory_).filePath(indexName), bytes.toStdString());
}

void WorkspaceStore::save(const ScanReport& report) {
    if (const std::optional<QString> failure = saveReport(report))
        setError(cannotSaveScan + *failure);
}

std::optional<QString> WorkspaceStore::saveReport(const ScanReport& report) {
    try {
        if (!isValidReportID(report.id) || isReservedReportID(report.id))
            throw QuorilanthError("Invalid report identifier.");
        writeAtomically(
            QDir(directory_).filePath(fromStd(report.id) + QStringLiteral(".json")),
            [&report](const ReportJSON::Sink& sink) { ReportGenerator::json(report, sink); });
    } catch (const std::exception& failure) {
        return describe(failure);
    }
    const QString id = fromStd(report.id);
    std::vector<SavedScan> updated;
    updated.reserve(history_.size() + 1);
    SavedScan entry{id,          fromStd(report.domain), report.startedAt, report.score(), false,
                    std::nullopt};
    bool kept = false;
    for (const SavedScan& scan : history_) {
        if (scan.id == id) {
            if (!kept) {
                entry.favorite = scan.favorite;
                entry.collection = scan.collection;
                kept = true;
            }
            continue;
        }
        updated.push_back(scan);
    }
    if (rebuild_ && !kept) unmarkedSaves_.insert(id);
    updated.insert(updated.begin(), std::move(entry));
    setHistory(std::move(updated));
    try {
        persistIndex();
    } catch (const std::exception& failure) {
        return describe(failure);
    }
    return std::nullopt;
}

void WorkspaceStore::toggleFavorite(const SavedScan& scan) {
    auto updated = history_;
    const auto entry = std::find_if(updated.begin(), updated.end(),
                                    [&](const SavedScan& s) { return s.id == scan.id; });
    if (entry == updated.end()) return;
    unmarkedSaves_.remove(scan.id);
    entry->favorite = !entry->favorite;
    setHistory(std::move(updated));
    try {
        persistIndex();
    } catch (const std::exception& failure) {
        setError(describe(failure));
    }
}

void WorkspaceStore::editCollection(const SavedScan& scan) {
    if (const std::optional<QString> name =
            prompts().collectionName(scan.collection.value_or(QString())))
        collect(scan, *name);
}

void WorkspaceStore::collect(const SavedScan& scan, const QString& name) {
    auto updated = history_;
    const auto entry = std::find_if(updated.begin(), updated.end(),
                                    [&](const SavedScan& s) { return s.id == scan.id; });
    if (entry == updated.end()) return;
    unmarkedSaves_.remove(scan.id);
    const QString cleaned = trimmed(name);
    entry->collection = cleaned.isEmpty() ? std::nullopt : std::optional<QString>(cleaned);
    setHistory(std::move(updated));
    try {
        persistIndex();
    } catch (const std::exception& failure) {
        setError(describe(failure));
    }
}

QStringList WorkspaceStore::collectionNames() const {
    QStringList names;
    for (const SavedScan& scan : history_)
        if (scan.collection && !names.contains(*scan.collection)) names.append(*scan.collection);
    // The Finder-like order: case-insensitive, digit runs compared by value.
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale::getDefault(), status));
    if (U_FAILURE(status) || !collator) {
        names.sort(Qt::CaseInsensitive);
        return names;
    }
    collator->setStrength(icu::Collator::SECONDARY);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compare(unicode(a), unicode(b), compareStatus) == UCOL_LESS;
    });
    return names;
}

std::vector<SavedScan> WorkspaceStore::libraryScans() const {
    std::vector<SavedScan> scans = history_;
    std::stable_sort(scans.begin(), scans.end(),
                     [](const SavedScan& a, const SavedScan& b) { return a.date > b.date; });
    if (librarySection_ == QLatin1String("Favorites")) {
        std::erase_if(scans, [](const SavedScan& scan) { return !scan.favorite; });
    } else if (librarySection_ == QLatin1String("Collections")) {
        std::erase_if(scans, [&](const SavedScan& scan) {
            return !scan.collection ||
                   (!collectionFilter_.isEmpty() && *scan.collection != collectionFilter_);
        });
    } else if (librarySection_ == QLatin1String("Recent")) {
        if (scans.size() > 20) scans.resize(20);
    }
    const QString search = trimmed(librarySearch_);
    if (!search.isEmpty()) {
        const CaseFolding folding;
        const QString wanted = folding.fold(search);
        std::erase_if(scans, [&](const SavedScan& scan) {
            const QString text =
                scan.domain + QLatin1Char(' ') + scan.collection.value_or(QString());
            return !folding.fold(text).contains(wanted);
        });
    }
    return scans;
}

void WorkspaceStore::openLibrary(const QString& section) {
    if (busy_ || toolBusy_) return;
    static const QStringList sections{QStringLiteral("Recent"), QStringLiteral("Favorites"),
                                      QStringLiteral("Collections"), QStringLiteral("History")};
    if (!sections.contains(section)) return;
    setLibrarySection(section);
    setLibrarySearch(QString());
    setCollectionFilter(QString());
    setShowLibrary(true);
}

// MARK: report files and export

void WorkspaceStore::loadFile(const QString& path, bool importing) {
    if (busy_ || toolBusy_) return;
    QString failure;
    std::optional<ScanReport> loaded = readOpened(path, failure);
    if (!loaded) {
        // The shown report stays.
        setError(cannotOpenReport + failure);
        return;
    }
    if (importing) keepBesideSaved(*loaded);
    setError(std::nullopt);
    showOpened(*loaded);
    if (importing) save(*loaded);
}

QStringList WorkspaceStore::importHandedReports(const QStringList& paths, bool show) {
    show = show && !busy_ && !toolBusy_;
    QStringList failures;
    for (const QString& path : paths) {
        const QString named = QDir::toNativeSeparators(path) + QStringLiteral(": ");
        QString failure;
        std::optional<ScanReport> loaded = readOpened(path, failure);
        if (!loaded) {
            failures << cannotOpenReport + named + failure;
            continue;
        }
        keepBesideSaved(*loaded);
        if (show) showOpened(*loaded);
        if (const std::optional<QString> unsaved = saveReport(*loaded))
            failures << cannotSaveScan + named + *unsaved;
    }
    if (show || !failures.isEmpty())
        setError(failures.isEmpty() ? std::nullopt
                                    : std::optional<QString>(failures.join(QLatin1Char('\n'))));
    return failures;
}

void WorkspaceStore::keepBesideSaved(ScanReport& report) const {
    const QDir folder(directory_);
    const auto fileOf = [&folder](const QString& id) {
        return folder.filePath(id + QStringLiteral(".json"));
    };
    const QString id = fromStd(report.id);
    const QFileInfo saved(fileOf(id));
    const bool onDisk = saved.exists() || saved.isSymLink();
    const bool listed = std::any_of(history_.begin(), history_.end(),
                                    [&](const SavedScan& scan) { return scan.id == id; });
    // A listed scan whose file was lost takes it back, with its marks.
    if (listed && !onDisk) return;
    // The same report saved again changes nothing; any other state of it (an
    // older export, say, of a scan that has since gained tool calls) joins
    // the library beside the saved one instead of taking its place, once:
    // opened again, it finds the copy it left. Only a scan of the same site
    // and start, whose file keeps whole seconds, can be that copy.
    if (onDisk && holdsJSONOf(saved.filePath(), report)) return;
    const std::string own = report.id;
    const QString domain = fromStd(report.domain);
    for (const SavedScan& scan : history_) {
        if (scan.id == id || scan.domain != domain ||
            std::chrono::abs(scan.date - report.startedAt) >= std::chrono::seconds(1))
            continue;
        report.id = scan.id.toStdString();
        if (isValidReportID(report.id) && !isReservedReportID(report.id) &&
            holdsJSONOf(fileOf(scan.id), report))
            return;
    }
    report.id = onDisk ? newUUIDText() : own;
}

void WorkspaceStore::showOpened(const ScanReport& loaded) {
    setSelectedEvidenceID(std::nullopt);
    setReport(loaded);
    setInput(fromStd(loaded.domain));
    setDiscoveryMode(false);
    setTab(WorkspaceTab::guide);
    const auto server =
        std::find_if(loaded.servers.begin(), loaded.servers.end(),
                     [](const MCPServer& s) { return s.status == FindingStatus::valid; });
    if (server != loaded.servers.end())
        setSelectedID(server->url);
    else if (!loaded.nodes.empty())
        setSelectedID(loaded.nodes.front().id);
    else
        setSelectedID(std::nullopt);
    bumpGraphCommand();
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(loaded.startedAt.time_since_epoch())
            .count();
    const QDateTime started = QDateTime::fromSecsSinceEpoch(seconds).toLocalTime();
    setStatus(QStringLiteral("Saved scan \u00B7 ") +
              QLocale::system().toString(started, QLocale::ShortFormat));
}

void WorkspaceStore::load(const SavedScan& scan) {
    if (busy_ || toolBusy_) return;
    const std::string id = scan.id.toStdString();
    if (!isValidReportID(id)) {
        setError(QStringLiteral("Invalid report identifier."));
        return;
    }
    // An index written before such ids were refused may still list one. Where
    // the file of its name is the index or a set-aside one, the report was
    // written over long ago. A file system that tells case apart may still
    // hold the report under another spelling of the name: that one is read.
    const QDir folder(directory_);
    const QString name = scan.id + QStringLiteral(".json");
    std::error_code unknown;
    if (name == indexName || name.startsWith(setAsidePrefix) ||
        (isReservedReportID(id) &&
         std::filesystem::equivalent(QFile::encodeName(folder.filePath(name)).toStdString(),
                                     QFile::encodeName(folder.filePath(indexName)).toStdString(),
                                     unknown))) {
        setError(cannotOpenReport + fromStd(RegularFile::cannotOpen(name.toStdString(), ENOENT)));
        return;
    }
    loadFile(folder.filePath(name), false);
}

QString WorkspaceStore::defaultExportName(const ScanReport& report, const QString& format) {
    const std::optional<Url> url = Url::parse(report.domain);
    const std::string host = url && url->hasHost() ? url->host() : std::string();
    const QString suffix = QStringLiteral("-quorilanth.") + format;
    if (host.empty()) return QStringLiteral("scan") + suffix;
    // The host is percent-decoded, so a report can spell path pieces, a hidden
    // name, control characters or a reversed extension in it; the save dialog
    // must get one plain visible name that fits a file system's name limit.
    QString name;
    const qsizetype room = 255 - suffix.toUtf8().size();
    qsizetype bytes = 0;
    bool leading = true;
    for (const char32_t c : fromStd(host).toUcs4()) {
        const QString piece = QString::fromUcs4(&c, 1);
        bytes += piece.toUtf8().size();
        if (bytes > room) break;
        const auto category = QChar::category(c);
        const bool unsafe = c == U'/' || category == QChar::Other_Control ||
                            category == QChar::Other_Format || category == QChar::Separator_Line ||
                            category == QChar::Separator_Paragraph || (c == U'.' && leading);
        leading = leading && c == U'.';
        name += unsafe ? QStringLiteral("_") : piece;
    }
    return name + suffix;
}

void WorkspaceStore::exportReport(const QString& format, const QString& path) {
    if (!report()) throw QuorilanthError("Open a scan before exporting.");
    if (format == QLatin1String("md"))
        writeAtomically(path, ReportGenerator::markdown(*report()));
    else if (format == QLatin1String("json"))
        writeAtomically(
            path, [this](const ReportJSON::Sink& sink) { ReportGenerator::json(*report(), sink); });
    else if (format == QLatin1String("pdf"))
        writeAtomically(path, ReportGenerator::pdf(*report()));
    else
        throw QuorilanthError("Unsupported export format: " + format.toStdString());
    setStatus(QStringLiteral("Exported ") + QFileInfo(path).fileName());
}

void WorkspaceStore::exportAs(const QString& format) {
    if (!report()) return;
    const std::optional<QString> path = prompts().savePath(defaultExportName(*report(), format));
    if (!path) return;
    try {
        exportReport(format, *path);
    } catch (const std::exception& failure) {
        setError(describe(failure));
    }
}

WorkspacePrompts& WorkspaceStore::prompts() {
    if (!dependencies_.prompts) dependencies_.prompts = std::make_shared<DialogPrompts>();
    return *dependencies_.prompts;
}

// MARK: launch options

std::optional<QString> WorkspaceStore::launchOption(const QStringList& arguments,
                                                    const QString& option) {
    const qsizetype index = arguments.indexOf(option);
    if (index < 0 || index + 1 >= arguments.size()) return std::nullopt;
    return arguments.at(index + 1);
}

bool WorkspaceStore::holdsLibrary(const QStringList& arguments) {
    return !arguments.contains(QStringLiteral("--smoke-test")) ||
           launchOption(arguments, QStringLiteral("--report"));
}

void WorkspaceStore::applyLaunchOptions(const QStringList& arguments) {
    if (const auto path = launchOption(arguments, QStringLiteral("--report")))
        loadFile(*path, true);
    if (arguments.contains(QStringLiteral("--show-content"))) setShowContent(true);
    if (const auto name = launchOption(arguments, QStringLiteral("--view"))) {
        for (WorkspaceTab tab : allWorkspaceTabs)
            if (rawValue(tab).toLower() == name->toLower()) {
                setTab(tab);
                break;
            }
    }
    if (const auto label = launchOption(arguments, QStringLiteral("--select"))) {
        std::optional<std::string> id;
        if (report()) {
            const std::string wanted = label->toStdString();
            for (const GraphNode& node : report()->nodes)
                if (node.label == wanted) {
                    id = node.id;
                    break;
                }
        }
        setSelectedID(id);
    }
    if (const auto section = launchOption(arguments, QStringLiteral("--library")))
        openLibrary(*section);
}

} // namespace quorilanth
