#pragma once

#include "ai/AIKeychain.h"
#include "ai/AIProvider.h"
#include "ai/ResearchResult.h"
#include "app/store/AppUpdateController.h"
#include "app/store/SavedScan.h"
#include "app/store/WorkspacePrompts.h"
#include "app/store/WorkspaceTab.h"
#include "core/model/ScanReport.h"
#include "core/net/NetworkPolicy.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace quorilanth {

class DiscoveryEngine;
class LibraryRebuild;

// The one state object of the application, living on the GUI thread. Every
// field has a change signal that fires only when the value really changes; the
// views re-render from it and change it only through its operations. One long
// operation (a scan, an AI site search or a tool call) at a time runs on a
// worker thread and reports back through queued calls.
class WorkspaceStore : public QObject {
    Q_OBJECT

public:
    // Seams for what tests must control. Defaults: the real engines, dialogs
    // and the platform's library folder.
    struct Dependencies {
        std::function<std::shared_ptr<DiscoveryEngine>(NetworkPolicy)> makeEngine;
        std::function<std::unique_ptr<AIResearching>()> makeResearchEngine;
        std::shared_ptr<WorkspacePrompts> prompts;
        std::unique_ptr<AppUpdateController> updater;
        // Where the provider keys live; the desktop's Secret Service when empty.
        std::shared_ptr<SecretStore> secrets;
    };

    // directory: the library folder, or empty for the platform's default.
    // arguments: the process arguments, element 0 the program path.
    explicit WorkspaceStore(const QString& directory = {}, const QStringList& arguments = {},
                            Dependencies dependencies = {}, QObject* parent = nullptr);
    ~WorkspaceStore() override;

    // Fields.
    AppUpdateController& updater() const { return *updater_; }
    const QString& input() const { return input_; }
    void setInput(const QString& value);
    bool discoveryMode() const { return discoveryMode_; }
    void setDiscoveryMode(bool value);
    const std::optional<ScanReport>& report() const { return *report_; }
    // The report shown, as a share that keeps it alive after the store moves
    // on to the next one; null without a report.
    std::shared_ptr<const ScanReport> sharedReport() const;
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    void setSelectedID(std::optional<std::string> value);
    const std::optional<std::string>& selectedEvidenceID() const { return selectedEvidenceID_; }
    void setSelectedEvidenceID(std::optional<std::string> value);
    WorkspaceTab tab() const { return tab_; }
    void setTab(WorkspaceTab value);
    bool showLibrary() const { return showLibrary_; }
    void setShowLibrary(bool value);
    const QString& librarySearch() const { return librarySearch_; }
    void setLibrarySearch(const QString& value);
    const QString& collectionFilter() const { return collectionFilter_; }
    void setCollectionFilter(const QString& value);
    const QString& status() const { return status_; }
    bool busy() const { return busy_; }
    bool toolBusy() const { return toolBusy_; }
    const std::optional<QString>& error() const { return error_; }
    void setError(std::optional<QString> value);
    bool showSettings() const { return showSettings_; }
    void setShowSettings(bool value);
    bool showInspector() const { return showInspector_; }
    void setShowInspector(bool value);
    bool showContent() const { return showContent_; }
    void setShowContent(bool value);
    bool showMissing() const { return showMissing_; }
    void setShowMissing(bool value);
    bool focusSelection() const { return focusSelection_; }
    void setFocusSelection(bool value);
    int graphCommand() const { return graphCommand_; }
    void bumpGraphCommand();
    double graphZoom() const { return graphZoom_; }
    void setGraphZoom(double value);
    bool liveSchema() const { return liveSchema_; }
    void setLiveSchema(bool value);
    const std::vector<SavedScan>& history() const { return history_; }
    const QString& librarySection() const { return librarySection_; }
    void setLibrarySection(const QString& value);
    const std::optional<ResearchResult>& research() const { return research_; }
    const std::map<QString, QString>& candidateReports() const { return candidateReports_; }
    AIProvider provider() const { return provider_; }
    void setProvider(AIProvider value);
    const QString& model() const { return model_; }
    void setModel(const QString& value);
    bool developerMode() const { return developerMode_; }
    void setDeveloperMode(bool value);
    // True while the one long operation runs.
    bool hasTask() const { return task_.has_value(); }
    const std::shared_ptr<DiscoveryEngine>& engine() const { return engine_; }
    const QString& directory() const { return directory_; }
    // The provider keys: the settings sheet writes them, AI searches read them.
    const AIKeychain& keychain() const { return keychain_; }

    // Navigation and selection.
    void newScan();
    void openReport();
    void fitSchema();
    void toggleInspector();
    // The menu's and the settings sheet's update command: a manual check,
    // which opens the update panel, after the settings sheet has closed.
    void checkForUpdates();
    void select(const std::string& id);
    std::optional<MCPTool> selectedTool() const;
    std::optional<Evidence> selectedEvidence() const;

    // Scan and AI site search.
    void start();
    // The window's STOP button: asks the running operation to end and says so
    // in the status line until the operation reports how it ended.
    void cancel();

    // Tool call. Sends one call that a view has validated and, for a tool that
    // is not read-only, had the user confirm; does nothing while another
    // operation runs or when no report is shown.
    void run(const MCPTool& tool, const JSONValue& arguments, bool confirmedRisk);

    // Library.
    void save(const ScanReport& report);
    void toggleFavorite(const SavedScan& scan);
    void editCollection(const SavedScan& scan);
    void collect(const SavedScan& scan, const QString& name);
    QStringList collectionNames() const;
    std::vector<SavedScan> libraryScans() const;
    void openLibrary(const QString& section);

    // Report files and export.
    void loadFile(const QString& path, bool importing);
    // Report files handed over by later launches, imported in order. With
    // `show`, and while no operation runs, each is also shown as loadFile
    // shows it, the last staying; otherwise (on the way out, or during an
    // operation) they only join the library. Returns one line per file that
    // could not be opened or saved, naming it with the reason; with `show`,
    // the alert lists them all.
    QStringList importHandedReports(const QStringList& paths, bool show);
    void load(const SavedScan& scan);
    // Throws QuorilanthError (or a file error as QuorilanthError).
    void exportReport(const QString& format, const QString& path);
    void exportAs(const QString& format);
    static QString defaultExportName(const ScanReport& report, const QString& format);

    // The library folder when none is given: the platform's data folder.
    static QString defaultDirectory();
    // Makes the library folder, private to the user from its first moment;
    // an existing one is taken as it is. Returns what went wrong, if anything.
    static std::optional<QString> createDirectory(const QString& path);
    // The value after the first exact occurrence of a launch option; none
    // when the option is missing or stands last.
    static std::optional<QString> launchOption(const QStringList& arguments, const QString& option);
    // Whether a launch with these arguments holds the library: every one but a
    // smoke test of the window alone, which writes nothing to the library and
    // so may run beside the copy that holds it.
    static bool holdsLibrary(const QStringList& arguments);

    // 1 to 128 characters from A-Z, a-z, 0-9, "-" and "_": safe as a file name.
    static bool isValidReportID(const std::string& id);
    // Whether a valid id would name its file like one the library keeps beside
    // the reports: the index, or an unreadable index set aside.
    static bool isReservedReportID(const std::string& id);

signals:
    void inputChanged();
    void discoveryModeChanged();
    void reportChanged();
    void selectedIDChanged();
    void selectedEvidenceIDChanged();
    void tabChanged();
    void showLibraryChanged();
    void librarySearchChanged();
    void collectionFilterChanged();
    void statusChanged();
    void busyChanged();
    void toolBusyChanged();
    void errorChanged();
    void showSettingsChanged();
    void showInspectorChanged();
    void showContentChanged();
    void showMissingChanged();
    void focusSelectionChanged();
    void graphCommandChanged();
    void graphZoomChanged();
    void liveSchemaChanged();
    void historyChanged();
    void librarySectionChanged();
    void researchChanged();
    void candidateReportsChanged();
    void providerChanged();
    void modelChanged();
    void developerModeChanged();
    void taskChanged();

private:
    void setReport(std::optional<ScanReport> value);
    void setStatus(const QString& value);
    void setBusy(bool value);
    void setToolBusy(bool value);
    void setHistory(std::vector<SavedScan> value);
    void setResearch(std::optional<ResearchResult> value);
    void setCandidateReports(std::map<QString, QString> value);

    void readIndex();
    void persistIndex();
    void setAsideUnreadableIndex();
    // Takes what the rebuild of an unreadable index has found into the
    // library, and writes the index once it has read the whole folder.
    void takeRebuiltScans();
    std::vector<SavedScan> withRebuiltScans(std::vector<SavedScan> found);
    // Writes the report file and lists it; the failure's text, if any.
    std::optional<QString> saveReport(const ScanReport& report);
    // An opened report that would take the place of a different saved one
    // gets an id of its own.
    void keepBesideSaved(ScanReport& report) const;
    void showOpened(const ScanReport& report);
    void applyLaunchOptions(const QStringList& arguments);
    void selectMostUsefulNode();
    WorkspacePrompts& prompts();

    // Worker-thread reports, delivered on the GUI thread.
    void receive(ScanReport report, const QString& message);
    void candidateScanned(const QString& domain, const ScanReport& report);
    void scanFinished(const ScanReport& report);
    void researchFinished();
    void toolCallSucceeded(ScanReport report);
    void toolCallFailed(std::vector<Evidence> exchanges, const QString& failure);
    void endOperation();

    Dependencies dependencies_;
    std::unique_ptr<AppUpdateController> updater_;
    QString input_;
    bool discoveryMode_ = false;
    // Replaced whole at every write, never changed in place, so that what is
    // made from one report can share it instead of copying it.
    std::shared_ptr<const std::optional<ScanReport>> report_ =
        std::make_shared<const std::optional<ScanReport>>();
    std::optional<std::string> selectedID_;
    std::optional<std::string> selectedEvidenceID_;
    WorkspaceTab tab_ = WorkspaceTab::guide;
    bool showLibrary_ = false;
    QString librarySearch_;
    QString collectionFilter_;
    QString status_ = QStringLiteral("Ready to explore");
    // What the status said before STOP replaced it; a tool call that ends in
    // failure leaves the status as it found it.
    QString statusBeforeCancel_;
    bool busy_ = false;
    bool toolBusy_ = false;
    std::optional<QString> error_;
    bool showSettings_ = false;
    bool showInspector_ = true;
    bool showContent_ = false;
    bool showMissing_ = false;
    bool focusSelection_ = false;
    int graphCommand_ = 0;
    double graphZoom_ = 1.0;
    bool liveSchema_ = true;
    std::vector<SavedScan> history_;
    QString librarySection_ = QStringLiteral("Recent");
    std::optional<ResearchResult> research_;
    std::map<QString, QString> candidateReports_;
    AIProvider provider_ = AIProvider::apple;
    QString model_;
    bool developerMode_ = false;
    std::optional<std::jthread> task_;
    std::shared_ptr<DiscoveryEngine> engine_;
    // Whether engine_ may reach private addresses and plain HTTP: a tool call
    // needs an engine of the Developer Mode shown when it is sent.
    bool engineDeveloperMode_ = false;
    QString directory_;
    AIKeychain keychain_;
    // The index on disk could not be read; it is moved aside before the first
    // write so that no earlier scan is orphaned.
    bool indexNeedsSettingAside_ = false;
    // Lists the reports beside an unreadable index; meanwhile the index is
    // not written, so that a copy ended halfway leaves it to be read again.
    std::unique_ptr<LibraryRebuild> rebuild_;
    // The library changed while the rebuild ran: its index waits for the end.
    bool indexDeferred_ = false;
    // Saved while the rebuild ran, before it listed them, and not marked by the
    // user since: they take the marks the rebuild finds for them.
    QSet<QString> unmarkedSaves_;
    // Launched beside the copy that holds the library, which alone writes it.
    bool guest_ = false;
};

} // namespace quorilanth
