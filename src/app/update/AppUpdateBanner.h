#pragma once

#include "app/kit/ViewKit.h"

class QPushButton;

namespace quorilanth {

class AppUpdateController;

// The strip under the title bar that announces an available release. It is
// hidden, and takes no space, unless the controller says the notice is due.
class AppUpdateBanner : public Backdrop {
    Q_OBJECT
public:
    explicit AppUpdateBanner(AppUpdateController& updater, QWidget* parent = nullptr);
    void render();

protected:
    void changeEvent(QEvent* event) override;

private:
    AppUpdateController& updater_;
    CoalescedRender* renderer_;
    ElidedLabel* text_;
    QPushButton* details_;
    QPushButton* later_;
};

} // namespace quorilanth
