#include "app/technical/TechnicalKit.h"

#include "app/window/QLTheme.h"
#include "app/window/ViewKit.h"

#include <QLabel>
#include <QPushButton>

namespace quorilanth {

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

} // namespace quorilanth
