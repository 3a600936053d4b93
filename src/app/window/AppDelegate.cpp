#include "app/window/AppDelegate.h"

#include "app/kit/QLTheme.h"
#include "app/store/AppLanguage.h"
#include "app/window/WorkspaceView.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <utility>

namespace quorilanth {
namespace {

constexpr int snapshotDelayMs = 3000;
constexpr int snapshotRetryMs = 250;
constexpr int snapshotDeadlineMs = 15000;
// How long a copy holding the library has to accept a later launch's request.
constexpr int handOverDeadlineMs = 5000;
constexpr int modalRetryMs = 250;

void printError(const QString& line) {
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The frame as stored: a rectangle, read defensively because the settings file
// is text that anything may have edited.
std::optional<QRect> storedFrame(const QVariant& value) {
    if (value.metaType().id() != QMetaType::QRect) return std::nullopt;
    const QRect frame = value.toRect();
    if (!frame.isValid()) return std::nullopt;
    return frame;
}

// One side of a frame within a screen's side: shrunk to the screen, never
// under the window's minimum, and moved inside; what still overflows does so
// past the far edge, never the leading one.
std::pair<int, int> fittedSpan(int start, int length, int screenStart, int screenLength,
                               int minimum) {
    length = qMax(minimum, qMin(length, screenLength));
    start = qMax(screenStart, qMin(start, screenStart + screenLength - length));
    return {start, length};
}

// Whether a window is one of `owner`'s own: its alert, sheet or panel.
bool ownedBy(const QWidget* window, const QWidget* owner) {
    for (const QWidget* parent = window->parentWidget(); parent; parent = parent->parentWidget())
        if (parent == owner) return true;
    return false;
}

// The content as the user sees it: the window's alerts and sheets are windows
// of their own, so each visible one is drawn over the content where it stands.
QImage contentImage(const QWidget& window, QWidget& content) {
    QImage image = content.grab().toImage();
    if (image.isNull()) return image;
    QPainter painter(&image);
    const QPoint origin = content.mapToGlobal(QPoint());
    painter.setPen(QLTheme::line());
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible() || !ownedBy(top, &window)) continue;
        const QRect frame(top->geometry().topLeft() - origin, top->size());
        painter.drawPixmap(frame.topLeft(), top->grab());
        // Without the desktop's window frame, an outline tells it from the content.
        painter.drawRect(frame.adjusted(-1, -1, 0, 0));
    }
    return image;
}

} // namespace

void WorkspaceWindow::closeEvent(QCloseEvent* event) {
    emit closing();
    QMainWindow::closeEvent(event);
}

AppDelegate::AppDelegate(QStringList arguments, QProcessEnvironment environment,
                         WorkspaceStore::Dependencies dependencies, const QString& libraryDirectory)
    : arguments_(std::move(arguments)), environment_(std::move(environment)),
      store_(
          std::make_unique<WorkspaceStore>(libraryDirectory, arguments_, std::move(dependencies))),
      exit_([](int status) {
          // Queued, so that it also works before the event loop has started.
          QMetaObject::invokeMethod(
              qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
      }) {
    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged,
                        &WorkspaceStore::reportChanged})
        connect(store_.get(), signal, this, &AppDelegate::updateMenuEnabling);
    // Queued, so that the operation has wholly ended before a waiting report
    // takes the place of its result.
    for (auto signal : {&WorkspaceStore::busyChanged, &WorkspaceStore::toolBusyChanged})
        connect(store_.get(), signal, this, &AppDelegate::openWaitingReports, Qt::QueuedConnection);
}

AppDelegate::~AppDelegate() {
    importWaitingReports();
    // A menu bar that never reached a window is still ours.
    if (menuBar_ && !menuBar_->parent()) delete menuBar_.data();
    workspaceWindow_.reset();
}

WorkspaceView* AppDelegate::workspaceView() const {
    return workspaceWindow_ ? qobject_cast<WorkspaceView*>(workspaceWindow_->centralWidget())
                            : nullptr;
}

std::optional<int> AppDelegate::enterLibrary(LibraryLock& lock, const QStringList& arguments) {
    const bool smokeTest = arguments.contains(QStringLiteral("--smoke-test"));
    const bool snapshot = arguments.contains(QStringLiteral("--snapshot"));
    std::optional<QString> report =
        WorkspaceStore::launchOption(arguments, QStringLiteral("--report"));
    if (!WorkspaceStore::holdsLibrary(arguments)) return std::nullopt;
    // Where the folder cannot be made, nothing can be written to it either;
    // the store tells why in the window.
    if (WorkspaceStore::createDirectory(lock.folder())) return std::nullopt;
    // The running copy reads the path from its own working folder.
    if (report) report = QFileInfo(*report).absoluteFilePath();
    switch (lock.acquire(report, QDeadlineTimer(handOverDeadlineMs))) {
    case LibraryLock::Outcome::owner:
    case LibraryLock::Outcome::unguarded:
        return std::nullopt;
    case LibraryLock::Outcome::handedOver:
        if (!smokeTest && !snapshot) return 0;
        // The snapshot would be of this launch's own window, which it never opens.
        printError(report ? QStringLiteral("Snapshot failed: the report was handed to the copy of "
                                           "Quorilanth already running on this library.")
                          : QStringLiteral("Snapshot failed: a copy of Quorilanth is already "
                                           "running on this library."));
        return 1;
    case LibraryLock::Outcome::elsewhere:
        printError(
            QStringLiteral("The library is locked by Quorilanth on the machine \"%1\". If "
                           "no copy of Quorilanth runs on this library, remove the file \"%2\" "
                           "and start again.")
                .arg(lock.holderHost(), lock.lockFilePath()));
        return 1;
    case LibraryLock::Outcome::noAnswer:
        break;
    }
    printError(QStringLiteral("Quorilanth is already running on this library and did not answer."));
    return 1;
}

void AppDelegate::openRequest(const std::optional<QString>& report) {
    if (report) waitingReports_.append(*report);
    openWaitingReports();
    showWorkspace();
}

void AppDelegate::openWaitingReports() {
    // A modal dialog runs an event loop of its own, and what it was opened for
    // counts on the report it saw (a save panel exports the shown report):
    // the handed report waits until the dialog has closed.
    if (!waitingReports_.isEmpty() && QApplication::activeModalWidget()) {
        QTimer::singleShot(modalRetryMs, this, &AppDelegate::openWaitingReports);
        return;
    }
    if (waitingReports_.isEmpty() || store_->busy() || store_->toolBusy()) return;
    store_->importHandedReports(std::exchange(waitingReports_, {}), true);
}

void AppDelegate::importWaitingReports() {
    // The launches that handed these over were told they would be opened: on
    // the way out they still join the library, and any that cannot is named
    // where the user who started this copy can read it.
    if (waitingReports_.isEmpty()) return;
    for (const QString& failure :
         store_->importHandedReports(std::exchange(waitingReports_, {}), false))
        printError(failure);
}

bool AppDelegate::isTestLaunch(const QProcessEnvironment& environment,
                               const QStringList& arguments) {
    return environment.contains(QStringLiteral("XCTestConfigurationFilePath")) ||
           environment.contains(QStringLiteral("QL_UI_TEST_LIBRARY")) ||
           arguments.contains(QStringLiteral("--smoke-test")) ||
           arguments.contains(QStringLiteral("--snapshot"));
}

void AppDelegate::applicationDidFinishLaunching() {
    installMenus();
    showWorkspace();
    scheduleSnapshot();
    if (!isTestLaunch()) store_->updater().start();
    if (arguments_.contains(QStringLiteral("--check-updates"))) store_->updater().check(true);
}

void AppDelegate::applicationDidBecomeActive() {
    if (!isTestLaunch()) store_->updater().check(false);
}

void AppDelegate::applicationWillTerminate() {
    importWaitingReports();
    saveFrame();
    store_->updater().stop();
}

QAction* AppDelegate::addAction(QMenu* menu, const QString& title, const QKeySequence& keys,
                                std::function<void()> action) {
    QAction* item = menu->addAction(title);
    item->setShortcut(keys);
    item->setShortcutContext(Qt::ApplicationShortcut);
    if (action)
        // Menu commands run after the menu has closed, never inside its handler.
        connect(item, &QAction::triggered, this, [this, action = std::move(action)] {
            QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
        });
    return item;
}

void AppDelegate::installMenus() {
    if (menuBar_) return;
    const bool italian = AppLanguage::current() == AppLanguage::italian;
    menuBar_ = new QMenuBar;
    menuBar_->setNativeMenuBar(false);
    idleActions_.clear();
    reportActions_.clear();

    QMenu* application = menuBar_->addMenu(QStringLiteral("Quorilanth"));
    application->setObjectName(QStringLiteral("ql-menu-Quorilanth"));
    addAction(application, QStringLiteral("About Quorilanth"), {}, [this] {
        auto* about =
            new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Quorilanth"),
                            QStringLiteral("Quorilanth ") + QCoreApplication::applicationVersion(),
                            QMessageBox::Ok, workspaceWindow_.get());
        about->setTextFormat(Qt::PlainText);
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->open();
    });
    addAction(application,
              italian ? QStringLiteral("Controlla aggiornamenti\u2026")
                      : QStringLiteral("Check for Updates\u2026"),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U), [this] { checkUpdates(); });
    application->addSeparator();
    addAction(application, QStringLiteral("Settings\u2026"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
              [this] { openSettings(); });
    application->addSeparator();
    addAction(application, QStringLiteral("Quit Quorilanth"), QKeySequence(Qt::CTRL | Qt::Key_Q),
              [] { QCoreApplication::quit(); });

    QMenu* file = menuBar_->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("ql-menu-File"));
    idleActions_.push_back(addAction(file, QStringLiteral("New Scan"),
                                     QKeySequence(Qt::CTRL | Qt::Key_N), [this] { newScan(); }));
    idleActions_.push_back(addAction(file, QStringLiteral("Open Report\u2026"),
                                     QKeySequence(Qt::CTRL | Qt::Key_O), [this] { openReport(); }));
    file->addSeparator();
    addAction(file, QStringLiteral("Close Window"), QKeySequence(Qt::CTRL | Qt::Key_W), [this] {
        if (QWidget* window = QApplication::activeWindow() ? QApplication::activeWindow()
                                                           : workspaceWindow_.get())
            window->close();
    });

    QMenu* edit = menuBar_->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("ql-menu-Edit"));
    const struct {
        const char* title;
        QKeySequence keys;
        const char* slot;
    } editing[] = {{"Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), "undo"},
                   {"Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "redo"},
                   {nullptr, {}, nullptr},
                   {"Cut", QKeySequence(Qt::CTRL | Qt::Key_X), "cut"},
                   {"Copy", QKeySequence(Qt::CTRL | Qt::Key_C), "copy"},
                   {"Paste", QKeySequence(Qt::CTRL | Qt::Key_V), "paste"},
                   {"Select All", QKeySequence(Qt::CTRL | Qt::Key_A), "selectAll"}};
    for (const auto& item : editing) {
        if (!item.title) {
            edit->addSeparator();
            continue;
        }
        const char* slot = item.slot;
        addAction(edit, QString::fromLatin1(item.title), item.keys,
                  [this, slot] { sendToFocus(slot); });
    }

    QMenu* inspect = menuBar_->addMenu(QStringLiteral("Inspect"));
    inspect->setObjectName(QStringLiteral("ql-menu-Inspect"));
    for (WorkspaceTab tab : allWorkspaceTabs) {
        const QString raw = rawValue(tab);
        const QString title =
            tab == WorkspaceTab::guide && !italian ? QStringLiteral("For you") : raw;
        QAction* item = addAction(inspect, title, {}, [this, raw] { selectTab(raw); });
        item->setData(raw);
        reportActions_.push_back(item);
    }
    inspect->addSeparator();
    reportActions_.push_back(addAction(inspect, QStringLiteral("Fit Schema"),
                                       QKeySequence(Qt::CTRL | Qt::Key_0),
                                       [this] { fitSchema(); }));
    reportActions_.push_back(addAction(inspect, QStringLiteral("Toggle Inspector"),
                                       QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_I),
                                       [this] { toggleInspector(); }));

    QMenu* window = menuBar_->addMenu(QStringLiteral("Window"));
    window->setObjectName(QStringLiteral("ql-menu-Window"));
    addAction(window, QStringLiteral("Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), [this] {
        if (workspaceWindow_) workspaceWindow_->showMinimized();
    });
    addAction(window, QStringLiteral("Zoom"), {}, [this] {
        if (!workspaceWindow_) return;
        if (workspaceWindow_->isMaximized())
            workspaceWindow_->showNormal();
        else
            workspaceWindow_->showMaximized();
    });

    if (workspaceWindow_) workspaceWindow_->setMenuBar(menuBar_);
    updateMenuEnabling();
}

void AppDelegate::sendToFocus(const char* slot) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return;
    const QMetaObject* meta = focus->metaObject();
    if (meta->indexOfMethod(
            QMetaObject::normalizedSignature((QByteArray(slot) + "()").constData())) < 0)
        return;
    QMetaObject::invokeMethod(focus, slot);
}

void AppDelegate::updateMenuEnabling() {
    const bool idle = !store_->busy() && !store_->toolBusy();
    const bool report = store_->report().has_value();
    for (QAction* action : idleActions_)
        action->setEnabled(idle);
    for (QAction* action : reportActions_)
        action->setEnabled(report);
}

void AppDelegate::showWorkspace() {
    if (!workspaceWindow_) {
        workspaceWindow_ = std::make_unique<WorkspaceWindow>();
        auto* view = new WorkspaceView(*store_, workspaceWindow_.get());
        workspaceWindow_->setCentralWidget(view);
        workspaceWindow_->setWindowTitle(QStringLiteral("Quorilanth"));
        workspaceWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
        if (menuBar_) workspaceWindow_->setMenuBar(menuBar_);
        connect(workspaceWindow_.get(), &WorkspaceWindow::closing, this, &AppDelegate::saveFrame);
        restoreFrame();
    }
    // A minimised window is brought back too: raising it alone leaves it minimised.
    workspaceWindow_->setWindowState(workspaceWindow_->windowState() & ~Qt::WindowMinimized);
    workspaceWindow_->show();
    workspaceWindow_->raise();
    workspaceWindow_->activateWindow();
}

std::optional<QRect> AppDelegate::fittedFrame(const QRect& frame, const QList<QRect>& screens,
                                              const QSize& minimum) {
    // No window reaches past Qt's largest widget size; an edited settings file
    // can, and measuring such a frame (even inside Qt) overflows an int.
    for (int edge : {frame.left(), frame.top(), frame.right(), frame.bottom()})
        if (edge < -QWIDGETSIZE_MAX || edge > QWIDGETSIZE_MAX) return std::nullopt;
    const QRect* best = nullptr;
    qint64 bestArea = 0;
    // A corner on a screen is not enough: a frame saved with one pixel on
    // screen, or larger than it, would come back out of reach every time.
    for (const QRect& screen : screens) {
        const QRect common = screen.intersected(frame);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = &screen;
            bestArea = area;
        }
    }
    if (!best) return std::nullopt;
    const auto [left, width] =
        fittedSpan(frame.left(), frame.width(), best->left(), best->width(), minimum.width());
    const auto [top, height] =
        fittedSpan(frame.top(), frame.height(), best->top(), best->height(), minimum.height());
    return QRect(left, top, width, height);
}

QRect AppDelegate::initialFrame(const QVariant& stored, const QList<QRect>& screens,
                                const QSize& size, const QSize& minimum) {
    if (const std::optional<QRect> frame = storedFrame(stored))
        if (const std::optional<QRect> fitted = fittedFrame(*frame, screens, minimum))
            return *fitted;
    QRect frame(QPoint(), size);
    if (screens.isEmpty()) return frame;
    frame.moveCenter(screens.first().center());
    // Fitted as a stored frame is, so that the next launch, restoring this
    // frame, opens the window just as this one did.
    return fittedFrame(frame, {screens.first()}, minimum).value_or(frame);
}

void AppDelegate::restoreFrame() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen == primary)
            screens.prepend(screen->availableGeometry());
        else
            screens.append(screen->availableGeometry());
    }
    const int menuHeight =
        workspaceWindow_->menuBar() ? workspaceWindow_->menuBar()->sizeHint().height() : 0;
    workspaceWindow_->setGeometry(initialFrame(QSettings().value(QLatin1String(frameKey)), screens,
                                               QSize(contentWidth, contentHeight + menuHeight),
                                               workspaceWindow_->minimumSizeHint()));
}

void AppDelegate::saveFrame() const {
    if (!workspaceWindow_ || workspaceWindow_->isMinimized() || workspaceWindow_->isMaximized())
        return;
    QSettings().setValue(QLatin1String(frameKey), workspaceWindow_->geometry());
}

void AppDelegate::checkUpdates() {
    showWorkspace();
    store_->checkForUpdates();
}

void AppDelegate::newScan() {
    store_->newScan();
    showWorkspace();
}

void AppDelegate::openReport() {
    showWorkspace();
    store_->openReport();
}

void AppDelegate::openSettings() {
    showWorkspace();
    store_->setShowSettings(true);
}

void AppDelegate::fitSchema() {
    store_->fitSchema();
}

void AppDelegate::toggleInspector() {
    store_->toggleInspector();
}

void AppDelegate::selectTab(const QVariant& rawTab) {
    // The menu is enabled only with a report; a stale trigger must obey the same rule.
    if (!store_->report() || rawTab.metaType().id() != QMetaType::QString) return;
    if (const std::optional<WorkspaceTab> tab = workspaceTabFromRawValue(rawTab.toString()))
        store_->setTab(*tab);
}

void AppDelegate::scheduleSnapshot() {
    const bool smokeTest = arguments_.contains(QStringLiteral("--smoke-test"));
    const std::optional<QString> snapshot =
        WorkspaceStore::launchOption(arguments_, QStringLiteral("--snapshot"));
    if (!snapshot) {
        if (smokeTest) exit_(1);
        return;
    }
    const QString path = *snapshot;
    const QDeadlineTimer deadline(snapshotDeadlineMs);
    QTimer::singleShot(snapshotDelayMs, this, [this, path, smokeTest, deadline] {
        captureSnapshot(path, smokeTest, deadline);
    });
}

void AppDelegate::captureSnapshot(const QString& path, bool smokeTest, QDeadlineTimer deadline) {
    QWidget* content = workspaceWindow_ ? workspaceWindow_->centralWidget() : nullptr;
    const bool ready =
        content && workspaceWindow_->isVisible() && content->width() > 0 && content->height() > 0;
    if (!ready) {
        if (deadline.hasExpired()) {
            printError(QStringLiteral(
                "Snapshot failed: no rendered workspace became available within 15 seconds."));
            if (smokeTest) exit_(1);
            return;
        }
        QTimer::singleShot(snapshotRetryMs, this, [this, path, smokeTest, deadline] {
            captureSnapshot(path, smokeTest, deadline);
        });
        return;
    }
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        const QImage image = contentImage(*workspaceWindow_, *content);
        if (image.isNull() || !image.save(&buffer, "PNG")) png.clear();
    }
    if (png.isEmpty()) {
        if (smokeTest) exit_(1);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit()) {
        printError(QStringLiteral("Snapshot failed: ") + file.errorString());
        if (smokeTest) exit_(1);
        return;
    }
    if (smokeTest) QCoreApplication::quit();
}

} // namespace quorilanth
