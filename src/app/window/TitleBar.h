#pragma once

#include "app/kit/ViewKit.h"

class QToolButton;
class QMenu;

namespace quorilanth {

class WorkspaceStore;

// The top band: the product's mark and name, then open, export, the inspector
// toggle and settings.
class TitleBar : public Backdrop {
    Q_OBJECT
public:
    explicit TitleBar(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

private:
    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QToolButton* open_;
    QToolButton* export_;
    QMenu* exportMenu_;
    QAction* exportJSON_;
    QAction* exportPDF_;
    QAction* exportMarkdown_;
    QWidget* divider_;
    QToolButton* inspector_;
    QToolButton* settings_;
};

} // namespace quorilanth
