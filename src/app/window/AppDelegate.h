#pragma once

#include "app/store/LibraryLock.h"
#include "app/store/WorkspaceStore.h"

#include <QDeadlineTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;

namespace quorilanth {

class WorkspaceView;

// The one workspace window. Closing it hides it (the same window comes back
// when shown again) and records its frame.
class WorkspaceWindow : public QMainWindow {
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;
};

// The desktop application around the one store: menus, the one window, the
// life-cycle hooks of the update controller and the snapshot for automated
// checks.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // arguments: the process arguments, element 0 the program path. The
    // dependencies and library folder are the store's (tests replace them).
    explicit AppDelegate(QStringList arguments,
                         QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
                         WorkspaceStore::Dependencies dependencies = {},
                         const QString& libraryDirectory = {});
    ~AppDelegate() override;

    WorkspaceStore& store() const { return *store_; }
    WorkspaceWindow* workspaceWindow() const { return workspaceWindow_.get(); }
    WorkspaceView* workspaceView() const;
    QMenuBar* menuBar() const { return menuBar_; }

    // The process entry's part, before any store exists: a launch that finds
    // a copy running on the library hands that copy its report and ends here,
    // with the status returned; otherwise it runs, holding the library.
    static std::optional<int> enterLibrary(LibraryLock& lock, const QStringList& arguments);
    // What a later launch handed over: its report opened as an import, at
    // once or, while an operation runs or a dialog is open, as soon as it
    // ends (and on the way out at the latest); the window comes forward either way.
    void openRequest(const std::optional<QString>& report);

    // An automated run: no automatic update checks.
    bool isTestLaunch() const { return isTestLaunch(environment_, arguments_); }
    static bool isTestLaunch(const QProcessEnvironment& environment, const QStringList& arguments);

    // Life cycle.
    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();
    void applicationWillTerminate();

    void installMenus();
    void showWorkspace();

    // Menu commands.
    void checkUpdates();
    void newScan();
    void openReport();
    void openSettings();
    void fitSchema();
    void toggleInspector();
    void selectTab(const QVariant& rawTab);

    void scheduleSnapshot();
    void captureSnapshot(const QString& path, bool smokeTest, QDeadlineTimer deadline);

    // How the process ends with a status; by default the event loop returns it.
    void setExitHandler(std::function<void(int)> handler) { exit_ = std::move(handler); }

    // Where a stored frame goes among screens' free areas: none when it meets
    // no screen or reaches beyond any window's size; otherwise shrunk to the
    // screen it meets most, never under the window's minimum, and moved to
    // lie within it.
    static std::optional<QRect> fittedFrame(const QRect& frame, const QList<QRect>& screens,
                                            const QSize& minimum);
    // The frame the window opens with: the stored one, fitted among the
    // screens' free areas, when it can be used; otherwise a frame of `size`
    // centred on the first of them, the primary screen's, and fitted alike.
    static QRect initialFrame(const QVariant& stored, const QList<QRect>& screens,
                              const QSize& size, const QSize& minimum);

    static constexpr const char* frameKey = "QuorilanthWorkspace";
    static constexpr int contentWidth = 1640;
    static constexpr int contentHeight = 1020;

private:
    void updateMenuEnabling();
    void openWaitingReports();
    void importWaitingReports();
    void restoreFrame();
    void saveFrame() const;
    void sendToFocus(const char* slot);
    QAction* addAction(QMenu* menu, const QString& title, const QKeySequence& keys,
                       std::function<void()> action);

    QStringList arguments_;
    QProcessEnvironment environment_;
    std::unique_ptr<WorkspaceStore> store_;
    // Declared after the store: the window's views go first.
    std::unique_ptr<WorkspaceWindow> workspaceWindow_;
    QPointer<QMenuBar> menuBar_;
    std::vector<QAction*> idleActions_;
    std::vector<QAction*> reportActions_;
    std::function<void(int)> exit_;
    // Reports handed over while an operation ran, oldest first.
    QStringList waitingReports_;
};

} // namespace quorilanth
