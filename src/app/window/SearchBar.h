#pragma once

#include "app/kit/ViewKit.h"

#include <QElapsedTimer>

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    // Since STOP took SCAN's place under the pointer.
    QElapsedTimer stopShown_;
};

} // namespace quorilanth
