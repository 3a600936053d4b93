#include "app/window/WorkspaceView.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/store/WorkspaceStore.h"
#include "app/update/AppUpdateBanner.h"
#include "app/update/AppUpdatePanel.h"
#include "app/window/EmptyWorkspace.h"
#include "app/window/ReportHeader.h"
#include "app/window/SearchBar.h"
#include "app/window/StatusLine.h"
#include "app/window/TabStrip.h"
#include "app/window/TitleBar.h"
#include "app/window/WorkspacePanes.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

// An alert is a few lines; a message of any length must not stall its layout.
constexpr qsizetype alertLimit = 4000;

QString alertText(const QString& message) {
    if (message.size() <= alertLimit) return message;
    return message.left(alertLimit) + QChar(0x2026);
}

} // namespace

WorkspaceView::WorkspaceView(WorkspaceStore& store, QWidget* parent)
    : QWidget(parent), store_(store), renderer_(new CoalescedRender(this, [this] { render(); })) {
    setObjectName(QStringLiteral("ql-workspace"));
    setMinimumSize(minimumWidth, minimumHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QLTheme::background());
    palette.setColor(QPalette::WindowText, QLTheme::foreground());
    setPalette(palette);

    auto* bands = new QVBoxLayout(this);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);
    titleBar_ = new TitleBar(store_, this);
    bands->addWidget(titleBar_);
    bands->addWidget(new AppUpdateBanner(store_.updater(), this));
    bands->addWidget(horizontalRule(this));

    columns_ = new QSplitter(Qt::Horizontal, this);
    columns_->setObjectName(QStringLiteral("ql-columns"));
    columns_->setChildrenCollapsible(false);
    columns_->setHandleWidth(1);
    // The dividers are the same hairline as the rules between the bands.
    columns_->setStyleSheet(QStringLiteral("QSplitter::handle { background: %1; }")
                                .arg(QLTheme::line().name(QColor::HexArgb)));
    sidebar_ = makeSidebarPane(store_, columns_);
    sidebar_->setMinimumWidth(205);
    sidebar_->setMaximumWidth(280);
    columns_->addWidget(sidebar_);

    auto* mainColumn = new QWidget(columns_);
    mainColumn->setObjectName(QStringLiteral("ql-main-column"));
    mainColumn->setMinimumWidth(680);
    auto* mainLayout = new QVBoxLayout(mainColumn);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);
    searchBar_ = new SearchBar(store_, mainColumn);
    mainLayout->addWidget(searchBar_);
    tabStrip_ = new TabStrip(store_, mainColumn);
    mainLayout->addWidget(tabStrip_);
    mainArea_ = new QStackedWidget(mainColumn);
    reportPage_ = new QWidget(mainArea_);
    reportPage_->setObjectName(QStringLiteral("ql-report-page"));
    reportLayout_ = new QVBoxLayout(reportPage_);
    reportLayout_->setContentsMargins(0, 0, 0, 0);
    reportLayout_->setSpacing(0);
    header_ = new ReportHeader(store_, reportPage_);
    reportLayout_->addWidget(header_);
    mainArea_->addWidget(reportPage_);
    welcome_ = new EmptyWorkspace(store_, mainArea_);
    mainArea_->addWidget(welcome_);
    mainLayout->addWidget(mainArea_, 1);
    columns_->addWidget(mainColumn);

    inspector_ = makeInspectorPane(store_, columns_);
    inspector_->setMinimumWidth(285);
    inspector_->setMaximumWidth(450);
    columns_->addWidget(inspector_);
    columns_->setStretchFactor(0, 0);
    columns_->setStretchFactor(1, 1);
    columns_->setStretchFactor(2, 0);
    columns_->setSizes({220, 1100, 320});
    bands->addWidget(columns_, 1);

    bands->addWidget(horizontalRule(this));
    statusLine_ = new StatusLine(store_, this);
    bands->addWidget(statusLine_);

    for (auto signal :
         {&WorkspaceStore::reportChanged, &WorkspaceStore::researchChanged,
          &WorkspaceStore::tabChanged, &WorkspaceStore::showLibraryChanged,
          &WorkspaceStore::showInspectorChanged, &WorkspaceStore::discoveryModeChanged,
          &WorkspaceStore::errorChanged, &WorkspaceStore::showSettingsChanged})
        connect(&store_, signal, renderer_, &CoalescedRender::request);
    AppUpdatePanel::present(store_.updater(), this);
    render();
}

WorkspaceView::~WorkspaceView() {
    if (alert_) delete alert_.data();
}

WorkspaceView::MainArea WorkspaceView::chooseMainArea(const WorkspaceStore& store) {
    if (store.showLibrary()) return MainArea::library;
    if (store.report() || (store.discoveryMode() && store.research())) return MainArea::report;
    return MainArea::welcome;
}

bool WorkspaceView::showsInspector(const WorkspaceStore& store) {
    return !store.showLibrary() && store.showInspector() && store.tab() != WorkspaceTab::guide;
}

WorkspaceView::MainArea WorkspaceView::mainArea() const {
    if (library_ && mainArea_->currentWidget() == library_) return MainArea::library;
    if (mainArea_->currentWidget() == reportPage_) return MainArea::report;
    return MainArea::welcome;
}

void WorkspaceView::refresh() {
    titleBar_->render();
    searchBar_->render();
    tabStrip_->render();
    header_->render();
    welcome_->render();
    statusLine_->render();
    // The panes built elsewhere follow the language through its change event.
    for (QWidget* pane : {sidebar_, library_, pane_}) {
        if (!pane) continue;
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(pane, &change);
    }
    render();
}

void WorkspaceView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::LocaleChange) refresh();
    QWidget::changeEvent(event);
}

void WorkspaceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // After the window itself has been shown, not while it is being shown.
    renderer_->request();
}

bool WorkspaceView::focusNextPrevChild(bool next) {
    // Tab follows the window as it is read: the pane of a new tab, the
    // inspector's runner and a guided form are made later than the rest, and
    // Qt's chain would reach them last.
    // From the window's own focus widget: a control disabled while an alert
    // has the keyboard hands it on from there too.
    if (QWidget* reached = nextInReadingOrder(this, window()->focusWidget(), next)) {
        reached->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        // The page, inspector or list that holds it may be scrolled away.
        revealFocus(reached);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void WorkspaceView::render() {
    const MainArea area = chooseMainArea(store_);
    tabStrip_->setVisible(!store_.showLibrary());
    inspector_->setVisible(showsInspector(store_));

    if (area != MainArea::report && pane_) {
        // Leaving the report page drops the pane, so it comes back afresh.
        pane_->hide();
        pane_->deleteLater();
        pane_ = nullptr;
        paneTab_.reset();
    }
    switch (area) {
    case MainArea::library:
        // Made when first shown: most sessions start elsewhere, and the
        // window's first frame should not wait for a page nobody sees.
        if (!library_) {
            library_ = makeLibraryPane(store_, mainArea_);
            mainArea_->addWidget(library_);
        }
        mainArea_->setCurrentWidget(library_);
        break;
    case MainArea::welcome:
        mainArea_->setCurrentWidget(welcome_);
        break;
    case MainArea::report:
        header_->setVisible(store_.tab() != WorkspaceTab::guide && store_.report());
        if (paneTab_ != store_.tab()) {
            if (pane_) {
                pane_->hide();
                pane_->deleteLater();
            }
            pane_ = makeTabPane(store_.tab(), store_, reportPage_);
            paneTab_ = store_.tab();
            reportLayout_->addWidget(pane_, 1);
        }
        mainArea_->setCurrentWidget(reportPage_);
        break;
    }
    // A sheet or alert raised before its window is on screen opens behind it,
    // or nowhere: a failure while the store was being built waits for the
    // window to appear.
    if (!isVisible()) return;
    renderSettings();
    renderAlert();
}

void WorkspaceView::renderSettings() {
    if (store_.showSettings() && !settings_) {
        settings_ = makeSettingsSheet(store_, this);
        settings_->show();
    } else if (!store_.showSettings() && settings_) {
        // A sheet opened again gets its fields empty: this one goes.
        settings_->hide();
        settings_->deleteLater();
        settings_ = nullptr;
    }
}

void WorkspaceView::renderAlert() {
    const std::optional<QString>& error = store_.error();
    if (!error) {
        if (alert_) {
            // Closed because the store cleared the error: nothing to clear back.
            alert_->disconnect(this);
            alert_->close();
        }
        return;
    }
    if (!alert_) {
        alert_ = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quorilanth"), QString(),
                                 QMessageBox::Ok, this);
        alert_->setObjectName(QStringLiteral("ql-error-alert"));
        alert_->setTextFormat(Qt::PlainText);
        alert_->setAttribute(Qt::WA_DeleteOnClose);
        // Any way of closing the alert clears the error, after the alert's own
        // handlers have run.
        connect(alert_, &QMessageBox::finished, this, [this] {
            QMetaObject::invokeMethod(
                this, [this] { store_.setError(std::nullopt); }, Qt::QueuedConnection);
        });
        alert_->setText(alertText(*error));
        alert_->open();
    } else {
        alert_->setText(alertText(*error));
    }
}

} // namespace quorilanth
