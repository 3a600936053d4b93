#pragma once

#include "app/store/WorkspaceTab.h"

#include <QPointer>
#include <QWidget>
#include <optional>

class QMessageBox;
class QSplitter;
class QStackedWidget;
class QVBoxLayout;

namespace quorilanth {

class CoalescedRender;
class EmptyWorkspace;
class ReportHeader;
class SearchBar;
class StatusLine;
class TabStrip;
class TitleBar;
class WorkspaceStore;

// The root of the workspace window. It decides the bands and columns, which
// view fills the main column and when the inspector column exists; every
// decision is read from the store at each render.
class WorkspaceView : public QWidget {
    Q_OBJECT
public:
    explicit WorkspaceView(WorkspaceStore& store, QWidget* parent = nullptr);
    ~WorkspaceView() override;

    WorkspaceStore& store() const { return store_; }
    // Renders every band now, also those whose fields did not change: the
    // user's preferred languages may have.
    void refresh();

    // What the main column shows.
    enum class MainArea { library, report, welcome };
    MainArea mainArea() const;
    static MainArea chooseMainArea(const WorkspaceStore& store);
    static bool showsInspector(const WorkspaceStore& store);

    static constexpr int minimumWidth = 1220;
    static constexpr int minimumHeight = 760;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void render();
    void renderAlert();
    void renderSettings();

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    TitleBar* titleBar_;
    StatusLine* statusLine_;
    QSplitter* columns_;
    QWidget* sidebar_;
    QWidget* inspector_;
    SearchBar* searchBar_;
    TabStrip* tabStrip_;
    QStackedWidget* mainArea_;
    QWidget* library_ = nullptr;
    QWidget* reportPage_;
    QVBoxLayout* reportLayout_;
    ReportHeader* header_;
    QWidget* pane_ = nullptr;
    std::optional<WorkspaceTab> paneTab_;
    EmptyWorkspace* welcome_;
    QPointer<QMessageBox> alert_;
    QPointer<QWidget> settings_;
};

} // namespace quorilanth
