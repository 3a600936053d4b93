#pragma once

#include "app/kit/ViewKit.h"

class QLabel;

namespace quorilanth {

class WorkspaceStore;

// The welcome page: what the product does, the two first steps, and while
// work runs without a report to show, a progress line with the status.
class EmptyWorkspace : public QWidget {
    Q_OBJECT
public:
    explicit EmptyWorkspace(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

private:
    struct Step {
        QLabel* number;
        QLabel* title;
        SpacedText* body;
    };

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    QLabel* eyebrow_;
    SpacedText* headline_;
    SpacedText* subtitle_;
    Step steps_[2];
    QWidget* progress_;
    ElidedLabel* progressText_;
};

} // namespace quorilanth
