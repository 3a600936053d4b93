#pragma once

#include <QHash>
#include <QWidget>
#include <array>
#include <vector>

class QScrollBar;

namespace quorilanth {

// Read-only plain text that the reader can select and copy, wrapped at the
// width of the view: after the last space that fits, else inside the word,
// so a long URL or token never runs off the edge. A general text document
// lays out a megabyte line in seconds and a long word in quadratic time;
// this view only finds where each row starts, in one pass, and paints the
// rows in sight. It either scrolls, or takes the height its rows need at the
// width it is given, like a label in a column (one light widget: a column may
// hold fifty of them).
class PlainTextView : public QWidget {
    Q_OBJECT
public:
    explicit PlainTextView(QWidget* parent = nullptr);
    // Replaces the text only when it differs, so a redraw for another reason
    // keeps the reader's selection and scroll position.
    void setText(const QString& text);
    const QString& text() const { return text_; }
    // Where each row starts, at the width the view has now.
    const std::vector<qsizetype>& rowStarts() const { return rows_; }

    void setColour(const QColor& colour);
    // Extra space between rows, in pixels.
    void setLineSpacing(int pixels);
    // A fitted text shows at most this many rows (0: all), the last one
    // ending in "…" when more was left out.
    void setMaximumRows(int rows);
    // Qt::AlignLeft or Qt::AlignRight for every row.
    void setTextAlignment(Qt::Alignment alignment);
    // Space between the edges and the text.
    void setInsets(int horizontal, int vertical);
    // With a vertical scroller along the trailing edge; without one (the
    // start), the view is as tall as its rows at its width.
    void setScrolling(bool scrolling);
    QScrollBar* scrollBar() const { return scrollBar_; }

    // The selection as offsets into the text (start <= end).
    qsizetype selectionStart() const { return qMin(anchor_, cursor_); }
    qsizetype selectionEnd() const { return qMax(anchor_, cursor_); }
    void select(qsizetype start, qsizetype end);
    QString selectedText() const;
    void copy() const;
    void selectAll();

    bool hasHeightForWidth() const override { return !scrollBar_; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Where each row starts when the text is `width` pixels wide.
    std::vector<qsizetype> wrap(qreal width) const;
    // Adds the starts of the rows after the first of one line of the text.
    void wrapLine(qsizetype start, qsizetype end, qreal width, std::vector<qsizetype>& rows) const;
    void rewrap();
    void measureFont();
    const std::array<qreal, 128>& ascii() const;
    void measureNatural();
    void updateScrollBar();
    int textWidth() const;
    qreal advance(qsizetype at) const;
    qsizetype rowEnd(std::size_t row) const;
    qreal rowWidth(std::size_t row) const;
    qreal rowLeft(std::size_t row) const;
    int rowHeight() const;
    int scrollOffset() const;
    qsizetype offsetAt(const QPoint& point) const;

    QString text_;
    bool set_ = false;
    std::vector<qsizetype> rows_{0};
    int wrappedWidth_ = -1;
    qsizetype anchor_ = 0;
    qsizetype cursor_ = 0;
    int lineSpacing_ = 0;
    int maxRows_ = 0;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    int insetX_ = 0;
    int insetY_ = 0;
    QScrollBar* scrollBar_ = nullptr;
    int naturalWidth_ = 0;
    mutable std::array<qreal, 128> ascii_{};
    mutable qreal widestPrintable_ = 0;
    mutable bool fontMeasured_ = false;
    mutable QHash<char32_t, qreal> advances_;
    mutable int measuredWidth_ = -1;
    mutable int measuredHeight_ = 0;
};

} // namespace quorilanth
