#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

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

// A text for a row that has one line for it: line breaks and tabs read as
// spaces, since a painter draws nothing for them and the words would join.
QString singleLine(QString text);

// A text laid out in at most `maxLines` lines of `width` pixels, broken at
// word boundaries or, inside a long token, anywhere; the last line ends in
// "…" when the text did not fit. Line breaks in the text are kept.
QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines);

} // namespace quorilanth
