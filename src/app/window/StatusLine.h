#pragma once

#include "app/kit/ViewKit.h"

class QLabel;

namespace quorilanth {

class WorkspaceStore;

// The bottom band: the activity dot, one line of status and the network mode.
class StatusLine : public Backdrop {
    Q_OBJECT
public:
    explicit StatusLine(WorkspaceStore& store, QWidget* parent = nullptr);
    void render();

    // The status text as shown, and the plain-language one of the guide tab.
    static QString statusText(const WorkspaceStore& store);
    static QString simpleStatus(const WorkspaceStore& store);

private:
    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    Swatch* dot_;
    ElidedLabel* text_;
    QLabel* network_;
    QWidget* technical_;
    QLabel* exchanges_;
    QLabel* mode_;
};

} // namespace quorilanth
