#include "app/technical/TechnicalKit.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTextLayout>

namespace quorilanth {
namespace {

// More than a few lines of any width can hold.
constexpr qsizetype laidOutLimit = 2000;

} // namespace

QLabel* sectionCaption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(QLTheme::font(9, QFont::DemiBold, QLTheme::Design::monospaced, 1));
    setTextColour(label, QLTheme::muted());
    return label;
}

QWidget* divider(QWidget* parent) {
    auto* rule = new Backdrop(QLTheme::line(), parent);
    rule->setFixedHeight(1);
    return rule;
}

QPushButton* textButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAccessibleName(text);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFont(QLTheme::font(10));
    button->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; color: %1;"
                                         " text-align: left; }"
                                         "QPushButton:pressed { color: %2; }")
                              .arg(QLTheme::accent().name(), QLTheme::muted().name()));
    return button;
}

QString singleLine(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines) {
    QStringList lines;
    if (maxLines <= 0) return lines;
    // A cut text keeps a mark of its cut, even where the text ended in one of
    // its own (a bounded text's "…") that the cut takes away.
    const bool cut = text.size() > laidOutLimit;
    QString shown = text;
    if (cut) {
        const qsizetype end =
            text.at(laidOutLimit - 1).isHighSurrogate() ? laidOutLimit - 1 : laidOutLimit;
        shown = text.left(end) + QChar(0x2026);
    }
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
            const bool more = line.textStart() + line.textLength() < shown.size() || cut;
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

} // namespace quorilanth
