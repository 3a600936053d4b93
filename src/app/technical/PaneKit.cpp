#include "app/technical/PaneKit.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"
#include "app/technical/SelectableText.h"

#include <QVBoxLayout>

namespace quorilanth {

SelectableText* valueText(const QString& text, const QFont& font, const QColor& colour,
                          QWidget* parent) {
    auto* value = new SelectableText(parent);
    value->setFont(font);
    value->setColour(colour);
    value->setText(text);
    return value;
}

SelectableText* valueText(std::string_view utf8, const QFont& font, const QColor& colour,
                          QWidget* parent) {
    return valueText(boundedText(utf8, SelectableText::displayLimit), font, colour, parent);
}

ScrollPage::ScrollPage(QWidget* parent) : QScrollArea(parent) {
    // A page is read by the keyboard through what it holds, and scrolls to
    // what has focus.
    setFocusPolicy(Qt::NoFocus);
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

} // namespace quorilanth
