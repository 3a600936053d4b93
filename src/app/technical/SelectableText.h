#pragma once

#include <QTextEdit>
#include <string_view>

namespace quorilanth {

// At most `limit` UTF-16 units of a UTF-8 text, with "…" added when anything
// was cut. Only the part that can be shown is converted, so a 2 MB value costs
// no more than a short one; a character is never split.
QString boundedText(std::string_view utf8, qsizetype limit);

// A read-only technical value: plain text the reader can select and copy,
// wrapped at the width it is given, also inside a long URL or token that has
// no space to break at. Its height follows its width, so it sits in a column
// of a scroll area like a label. A value longer than `displayLimit` shows its
// beginning and "…": the whole text is in the raw trace, and a wrapped layout
// of megabytes would stall the window.
class SelectableText : public QTextEdit {
    Q_OBJECT
public:
    static constexpr qsizetype displayLimit = 4000;

    explicit SelectableText(QWidget* parent = nullptr);
    void setText(const QString& text);
    void setText(std::string_view utf8) { setText(boundedText(utf8, displayLimit)); }
    // The text as shown (cut when it was too long).
    QString text() const { return text_; }
    void setColour(const QColor& colour);
    // Extra space between lines, in pixels.
    void setLineSpacing(int pixels);
    void setTextAlignment(Qt::Alignment alignment);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyFormat();

    QString text_;
    bool formatted_ = false;
    int naturalWidth_ = 0;
    mutable int measuredWidth_ = -1;
    mutable int measuredHeight_ = 0;
    int lineSpacing_ = 0;
    Qt::Alignment alignment_ = Qt::AlignLeft;
};

} // namespace quorilanth
