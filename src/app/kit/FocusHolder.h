#pragma once

#include <QWidget>

namespace quorilanth {

// Where the keyboard waits while the control it wraps is disabled by the work
// that control started: it holds the control's place, so Tab goes on from
// there, is heard by the control's name ("Waiting for the site…") and shows
// the focus outline as the control does. Tab never stops on it otherwise.
class FocusHolder : public QWidget {
    Q_OBJECT
public:
    // The control is laid out inside, in the holder's place.
    FocusHolder(QWidget* control, qreal radius, bool onAccent, QWidget* parent);
    QWidget* control() const { return control_; }

    // The control a holder keeps the keyboard for, while it does.
    static constexpr const char* heldProperty = "ql-held-focus";

private:
    QWidget* control_;
};

} // namespace quorilanth
