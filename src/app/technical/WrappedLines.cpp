#include "app/technical/WrappedLines.h"

#include "app/window/QLTheme.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

namespace quorilanth {
namespace {

// More than a few lines of any width can hold.
constexpr qsizetype laidOutLimit = 2000;

} // namespace

QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines) {
    QStringList lines;
    if (maxLines <= 0) return lines;
    QString shown = text.left(laidOutLimit);
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        if (lines.size() == maxLines - 1) {
            // The last line takes the rest, cut to fit.
            QString rest = shown.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            const bool more =
                line.textStart() + line.textLength() < shown.size() || shown.size() < text.size();
            QString last = QFontMetrics(font).elidedText(rest, Qt::ElideRight, qMax(1, width));
            if (more && !last.endsWith(QChar(0x2026))) last += QChar(0x2026);
            lines.append(last);
            break;
        }
        lines.append(shown.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator));
    }
    layout.endLayout();
    return lines;
}

LimitedText::LimitedText(int maxLines, QWidget* parent)
    : QWidget(parent), maxLines_(maxLines), colour_(QLTheme::foreground()) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LimitedText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text_.left(laidOutLimit));
    updateGeometry();
    update();
}

void LimitedText::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

int LimitedText::heightForWidth(int width) const {
    if (text_.isEmpty()) return 0;
    return int(wrappedLines(text_, font(), width, maxLines_).size()) * fontMetrics().height();
}

QSize LimitedText::sizeHint() const {
    const int width = qMin(fontMetrics().horizontalAdvance(text_.left(200)) + 2, 320);
    return {width, heightForWidth(width)};
}

QSize LimitedText::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth() * 4, text_.isEmpty() ? 0 : fontMetrics().height()};
}

void LimitedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(colour_);
    const int lineHeight = fontMetrics().height();
    int y = 0;
    for (const QString& line : wrappedLines(text_, font(), width(), maxLines_)) {
        painter.drawText(QRect(0, y, width(), lineHeight), Qt::AlignLeft | Qt::TextSingleLine,
                         line);
        y += lineHeight;
    }
}

void LimitedText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

} // namespace quorilanth
