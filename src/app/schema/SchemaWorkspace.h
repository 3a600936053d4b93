#pragma once

#include "app/kit/ViewKit.h"
#include "core/schema/SchemaNavigator.h"

#include <QString>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolButton;
class QVBoxLayout;

namespace quorilanth {

class SchemaCanvasSlot;
class WorkspaceStore;

// The SCHEMA tab: display options, a header with navigation, a filter and
// paging row, the canvas with its empty-state overlay, and a legend. It owns
// where the map stands (scope, page, filter, trail) and asks for a scene on
// every render; everything shared lives in the store.
class SchemaWorkspace : public Backdrop {
    Q_OBJECT
public:
    explicit SchemaWorkspace(WorkspaceStore& store, QWidget* parent = nullptr);

    const SchemaNavigator& navigator() const { return navigator_; }
    // The scene last shown; none without a report.
    const std::shared_ptr<const SchemaScene>& scene() const { return scene_; }
    SchemaCanvasSlot* canvas() const { return canvas_; }

    void navigate(SchemaScope scope);
    QString title() const;
    QString subtitle(const SchemaScene& scene) const;
    void render();

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildOptions();
    QWidget* buildHeader();
    QWidget* buildPaging();
    QWidget* buildCanvas();
    QWidget* buildLegend();
    // Navigation or display options changed: the scene is projected again.
    void rescope();
    void reportChanged();
    void focusSelectionChanged();
    void chooseGroup(NodeKind kind);
    void renderGroupsMenu();

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    SchemaNavigator navigator_;
    std::optional<std::string> reportID_;
    std::shared_ptr<const SchemaScene> scene_;
    bool sceneStale_ = true;
    // The kinds and the language the groups menu was last built for.
    QString menuKey_;

    QWidget* content_;
    QCheckBox* showContent_;
    QCheckBox* showMissing_;
    QCheckBox* focusSelection_;
    QCheckBox* liveSchema_;
    QToolButton* back_;
    QToolButton* overview_;
    QLabel* separator_;
    ElidedLabel* title_;
    ElidedLabel* subtitle_;
    QToolButton* groups_;
    QMenu* groupsMenu_;
    QToolButton* branch_;
    QWidget* paging_;
    QLineEdit* filter_;
    QLabel* itemCount_;
    QToolButton* previousPage_;
    QLabel* pageText_;
    QToolButton* nextPage_;
    SchemaCanvasSlot* canvas_;
    QWidget* emptyOverlay_;
    QLabel* emptyTitle_;
    QLabel* emptyDescription_;
    QLabel* legendTitles_[5];
    QLabel* legendHint_;
};

} // namespace quorilanth
