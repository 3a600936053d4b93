#include "app/kit/StatusBadge.h"

#include "app/kit/QLTheme.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace quorilanth {
namespace {

QFont badgeFont() {
    return QLTheme::font(9, QFont::DemiBold, QLTheme::Design::monospaced);
}
constexpr int dot = 5, spacing = 5, padX = 7, padY = 4;

} // namespace

StatusBadge::StatusBadge(FindingStatus status, QWidget* parent) : QWidget(parent), status_(status) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(word());
}

void StatusBadge::setStatus(FindingStatus status) {
    if (status == status_) return;
    status_ = status;
    setAccessibleName(word());
    updateGeometry();
    update();
}

QString StatusBadge::word() const {
    return QLTheme::statusWord(status_);
}

QSize StatusBadge::sizeHint() const {
    return sizeFor(status_);
}

QSize StatusBadge::sizeFor(FindingStatus status) {
    const QFontMetrics metrics(badgeFont());
    return {padX + dot + spacing + metrics.horizontalAdvance(QLTheme::statusWord(status)) + padX,
            padY + qMax(dot, metrics.height()) + padY};
}

void StatusBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect(), status_);
}

void StatusBadge::paint(QPainter& painter, const QRect& box, FindingStatus status) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = QLTheme::status(status);
    QPainterPath background;
    background.addRoundedRect(QRectF(box), 4, 4);
    painter.fillPath(background, QLTheme::tint(colour, 0.08));
    const qreal middle = box.top() + box.height() / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(box.left() + padX, middle - dot / 2.0, dot, dot));
    painter.setFont(badgeFont());
    painter.setPen(colour);
    painter.drawText(QRectF(box.left() + padX + dot + spacing, box.top(),
                            box.width() - padX - dot - spacing, box.height()),
                     Qt::AlignVCenter | Qt::AlignLeft, QLTheme::statusWord(status));
    painter.restore();
}

} // namespace quorilanth
