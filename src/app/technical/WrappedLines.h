#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QWidget>

namespace quorilanth {

// A text laid out in at most `maxLines` lines of `width` pixels, broken at
// word boundaries or, inside a long token, anywhere; the last line ends in
// "…" when the text did not fit. Line breaks in the text are kept.
QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines);

// A few lines of plain text that are not meant to be selected, cut after
// `maxLines` lines; its height follows its width.
class LimitedText : public QWidget {
    Q_OBJECT
public:
    LimitedText(int maxLines, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return text_; }
    void setColour(const QColor& colour);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
    int maxLines_;
    QColor colour_;
};

} // namespace quorilanth
