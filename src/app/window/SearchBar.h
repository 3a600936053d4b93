#pragma once

#include "app/kit/ViewKit.h"

class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace quorilanth {

class WorkspaceStore;

// Where every scan and AI search starts and is stopped: the mode menu, the
// field bound to the store's input, and SCAN or STOP.
class SearchBar : public QWidget {
    Q_OBJECT
public:
    explicit SearchBar(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

private:
    void scanIfAllowed();

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QWidget* card_;
    QToolButton* mode_;
    QAction* siteMode_;
    QAction* aiMode_;
    QLineEdit* field_;
    QPushButton* scan_;
    QPushButton* stop_;
};

} // namespace quorilanth
