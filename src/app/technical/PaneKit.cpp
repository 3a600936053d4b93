#include "app/technical/PaneKit.h"

#include "app/window/QLTheme.h"
#include "app/window/Symbols.h"
#include "app/window/ViewKit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

constexpr int chevronSize = 10, chevronGap = 8;

} // namespace

QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

QLabel* valueLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent) {
    QLabel* label = textLabel(text, font, colour, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setCursor(Qt::IBeamCursor);
    return label;
}

ScrollPage::ScrollPage(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new Backdrop(QLTheme::background());
    column_ = new QVBoxLayout(content);
    column_->setContentsMargins(22, 22, 22, 22);
    column_->setSpacing(18);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
}

Disclosure::Disclosure(const QString& title, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    row_ = new QHBoxLayout(this);
    row_->setContentsMargins(chevronSize + chevronGap, 0, 0, 0);
}

void Disclosure::addToRow(QWidget* widget, int stretch) {
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    row_->addWidget(widget, stretch);
}

void Disclosure::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString symbol =
        isChecked() ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right");
    const QRect area = contentsRect();
    painter.drawPixmap(area.left(), area.top() + (area.height() - chevronSize) / 2,
                       Symbols::pixmap(symbol, QLTheme::muted(), chevronSize, devicePixelRatioF()));
    if (hasFocus()) {
        painter.setPen(QPen(QLTheme::tint(QLTheme::accent(), 0.6), 1));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace quorilanth
