#pragma once

#include <QWidget>

namespace quorilanth {

// The theme's focus outline for a control that cannot draw it in its own
// paint: a button drawn by a style sheet leaves the style's frame unseen on
// its fill, and the rows and scroll bar of a scrolling view cover the view.
// A child laid over the whole control, above its other children, it shows
// while the control shows focus and lets every click through.
class FocusOutline : public QWidget {
    Q_OBJECT
public:
    FocusOutline(QWidget* control, qreal radius, bool onAccent = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void follow();

    QWidget* control_;
    qreal radius_;
    bool onAccent_;
};

} // namespace quorilanth
