#pragma once

#include <QAbstractButton>
#include <QScrollArea>
#include <QString>

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace quorilanth {

// Plain text in a font and colour: remote text is never read as markup.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& colour,
                  QWidget* parent = nullptr);
// The same for a technical value: wrapped at the width it is given, and
// selectable so that the reader can copy it.
QLabel* valueLabel(const QString& text, const QFont& font, const QColor& colour,
                   QWidget* parent = nullptr);

// A technical tab's page: a column of blocks that scrolls vertically.
class ScrollPage : public QScrollArea {
    Q_OBJECT
public:
    explicit ScrollPage(QWidget* parent = nullptr);
    QVBoxLayout* column() const { return column_; }

private:
    QVBoxLayout* column_;
};

// A header that opens and closes what lies below it: a chevron, then what is
// put in its row. Screen readers hear its title.
class Disclosure : public QAbstractButton {
    Q_OBJECT
public:
    explicit Disclosure(const QString& title, QWidget* parent = nullptr);
    QHBoxLayout* row() const { return row_; }
    // For widgets put in the row: the clicks they receive open and close.
    void addToRow(QWidget* widget, int stretch = 0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* row_;
};

} // namespace quorilanth
