#include "app/technical/RawTextView.h"

#include "app/window/QLTheme.h"

namespace quorilanth {

RawTextView::RawTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("ql-raw-text"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setFont(QLTheme::font(11, QFont::Normal, QLTheme::Design::monospaced));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    document()->setDocumentMargin(0);
    setViewportMargins(16, 14, 16, 14);
    QPalette palette = this->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window})
        palette.setColor(role, QLTheme::background());
    palette.setColor(QPalette::Text, QColor::fromRgbF(0.82f, 0.82f, 0.82f));
    setPalette(palette);
    setAutoFillBackground(true);
}

void RawTextView::setText(const QString& text) {
    if (set_ && text == text_) return;
    set_ = true;
    text_ = text;
    setPlainText(text_);
}

} // namespace quorilanth
