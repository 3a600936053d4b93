#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace quorilanth {

// Small pieces the technical panes share.

// A section caption: small monospaced capitals in the muted colour.
QLabel* sectionCaption(const QString& text, QWidget* parent);

// A 1-pixel rule across the width it is given.
QWidget* divider(QWidget* parent);

// A button drawn as its accent-coloured text alone; `name` is its objectName.
QPushButton* textButton(const QString& text, const QString& name, QWidget* parent);

} // namespace quorilanth
