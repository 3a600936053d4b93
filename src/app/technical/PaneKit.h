#pragma once

#include <QScrollArea>
#include <QString>
#include <string_view>

class QVBoxLayout;

namespace quorilanth {

class SelectableText;

// A technical value the reader can select and copy, in a font and colour.
SelectableText* valueText(const QString& text, const QFont& font, const QColor& colour,
                          QWidget* parent = nullptr);
SelectableText* valueText(std::string_view utf8, const QFont& font, const QColor& colour,
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

} // namespace quorilanth
