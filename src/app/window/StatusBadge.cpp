#include "app/window/StatusBadge.h"

#include "app/window/QLTheme.h"

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
    const QFontMetrics metrics(badgeFont());
    return {padX + dot + spacing + metrics.horizontalAdvance(word()) + padX,
            padY + qMax(dot, metrics.height()) + padY};
}

void StatusBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = QLTheme::status(status_);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 4, 4);
    painter.fillPath(background, QLTheme::tint(colour, 0.08));
    const qreal middle = height() / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(padX, middle - dot / 2.0, dot, dot));
    painter.setFont(badgeFont());
    painter.setPen(colour);
    painter.drawText(QRectF(padX + dot + spacing, 0, width() - padX - dot - spacing, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, word());
}

} // namespace quorilanth
