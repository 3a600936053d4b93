#pragma once

#include <QPlainTextEdit>

namespace quorilanth {

// The read-only, monospaced plain text of an exchange, wrapped at the width
// of the view. A new text replaces the old one only when it differs, so a
// redraw for another reason keeps the reader's selection and scroll position.
class RawTextView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RawTextView(QWidget* parent = nullptr);
    void setText(const QString& text);
    // The text last given (the document holds the same).
    const QString& text() const { return text_; }

private:
    QString text_;
    bool set_ = false;
};

} // namespace quorilanth
