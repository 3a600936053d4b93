#include "app/kit/DisclosureGroup.h"

#include "app/kit/QLTheme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace quorilanth {
namespace {

constexpr int chevronWidth = 14;
// More than any column shows on one line.
constexpr qsizetype titleLimit = 300;

QString oneLine(QString text) {
    if (text.size() > titleLimit) text = text.left(titleLimit);
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

DisclosureHeader::DisclosureHeader(const QString& title, QWidget* parent)
    : QAbstractButton(parent), title_(oneLine(title)), colour_(QLTheme::foreground()) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(title_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DisclosureHeader::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

QSize DisclosureHeader::sizeHint() const {
    const QFontMetrics metrics(font());
    return {chevronWidth + qMin(metrics.horizontalAdvance(title_), 240) + 2, metrics.height() + 2};
}

QSize DisclosureHeader::minimumSizeHint() const {
    return {chevronWidth + 20, QFontMetrics(font()).height() + 2};
}

void DisclosureHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal middle = height() / 2.0;
    QPainterPath chevron;
    if (isChecked()) {
        chevron.moveTo(2.5, middle - 2);
        chevron.lineTo(5.5, middle + 1.5);
        chevron.lineTo(8.5, middle - 2);
    } else {
        chevron.moveTo(4, middle - 3.5);
        chevron.lineTo(7.5, middle);
        chevron.lineTo(4, middle + 3.5);
    }
    painter.setPen(QPen(QLTheme::muted(), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(chevron);
    painter.setPen(colour_);
    const QRect area = rect().adjusted(chevronWidth, 0, 0, 0);
    painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(title_, Qt::ElideRight, area.width()));
    if (QLTheme::showsFocus(*this)) QLTheme::paintFocus(painter, QRectF(rect()), 4);
}

DisclosureGroup::DisclosureGroup(const QString& title, ContentFactory makeContent, QWidget* parent)
    : QWidget(parent), header_(new DisclosureHeader(title, this)),
      makeContent_(std::move(makeContent)) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(6);
    layout_->addWidget(header_);
    connect(header_, &QAbstractButton::toggled, this, &DisclosureGroup::setExpanded);
}

bool DisclosureGroup::isExpanded() const {
    return header_->isChecked();
}

void DisclosureGroup::setExpanded(bool expanded) {
    header_->setChecked(expanded);
    if (expanded && !content_) {
        content_ = makeContent_(this);
        content_->setContentsMargins(chevronWidth + indent_, 0, 0, 0);
        layout_->addWidget(content_);
    }
    if (content_) content_->setVisible(expanded);
}

void DisclosureGroup::setContentIndent(int pixels) {
    indent_ = pixels;
    if (content_) content_->setContentsMargins(chevronWidth + indent_, 0, 0, 0);
}

} // namespace quorilanth
