#include "app/kit/FocusOutline.h"

#include "app/kit/QLTheme.h"

#include <QEvent>
#include <QPainter>

namespace quorilanth {

FocusOutline::FocusOutline(QWidget* control, qreal radius, bool onAccent)
    : QWidget(control), control_(control), radius_(radius), onAccent_(onAccent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
    control_->installEventFilter(this);
}

bool FocusOutline::eventFilter(QObject* watched, QEvent* event) {
    if (watched == control_) switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Resize:
            follow();
            break;
        default:
            break;
        }
    return QWidget::eventFilter(watched, event);
}

void FocusOutline::follow() {
    setGeometry(control_->rect());
    const bool shown = QLTheme::showsFocus(*control_);
    setVisible(shown);
    // Children made after this one, a scroll bar or a row, would cover it.
    if (shown) raise();
}

void FocusOutline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QLTheme::paintFocus(painter, QRectF(rect()), radius_, onAccent_);
}

} // namespace quorilanth
