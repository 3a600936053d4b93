#include "app/technical/SelectableText.h"

#include "app/window/QLTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <cmath>

namespace quorilanth {
namespace {

// The widest a value asks to be before it wraps, and how much of it is
// measured to know: a longer text wraps anyway.
constexpr int widestNatural = 480;
constexpr int measuredLines = 40;
constexpr qsizetype measuredCharacters = 200;

} // namespace

namespace {

QString cutText(QString text, qsizetype limit) {
    qsizetype keep = qMin(limit, text.size());
    if (keep > 0 && text.at(keep - 1).isHighSurrogate()) --keep;
    text.truncate(keep);
    return text + QChar(0x2026);
}

} // namespace

QString boundedText(std::string_view utf8, qsizetype limit) {
    // A UTF-16 unit needs at least one byte, so limit + 1 units lie within
    // 4 * (limit + 1) bytes; cut there on a character boundary.
    const std::size_t window = std::size_t(limit + 1) * 4;
    std::string_view head = utf8;
    if (head.size() > window) {
        head = head.substr(0, window);
        while (!head.empty() && (static_cast<unsigned char>(utf8[head.size()]) & 0xC0) == 0x80)
            head.remove_suffix(1);
    }
    QString text = QString::fromUtf8(head.data(), qsizetype(head.size()));
    if (text.size() <= limit && head.size() == utf8.size()) return text;
    return cutText(std::move(text), limit);
}

SelectableText::SelectableText(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setUndoRedoEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::ClickFocus);
    document()->setDocumentMargin(0);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, QLTheme::foreground());
    setPalette(palette);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void SelectableText::setText(const QString& text) {
    const QString shown = text.size() > displayLimit ? cutText(text, displayLimit) : text;
    if (shown == text_ && formatted_) return;
    formatted_ = true;
    text_ = shown;
    setPlainText(text_);
    setAccessibleName(text_);
    applyFormat();
}

void SelectableText::setColour(const QColor& colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
}

void SelectableText::setLineSpacing(int pixels) {
    lineSpacing_ = pixels;
    applyFormat();
}

void SelectableText::setTextAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    applyFormat();
}

void SelectableText::applyFormat() {
    QTextBlockFormat format;
    format.setAlignment(alignment_);
    format.setLineHeight(lineSpacing_, QTextBlockFormat::LineDistanceHeight);
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(format);

    const QFontMetrics metrics(font());
    int widest = 0;
    int lines = 0;
    for (QStringView line : QStringView(text_).split(QLatin1Char('\n'))) {
        widest = qMax(widest, metrics.horizontalAdvance(line.left(measuredCharacters).toString()));
        if (++lines == measuredLines || widest >= widestNatural) break;
    }
    naturalWidth_ = qMin(widest + 2, widestNatural);
    measuredWidth_ = -1;
    updateGeometry();
}

int SelectableText::heightForWidth(int width) const {
    if (width != measuredWidth_) {
        QTextDocument* text = document();
        text->setTextWidth(qMax(1, width));
        measuredHeight_ = int(std::ceil(text->size().height()));
        measuredWidth_ = width;
    }
    return measuredHeight_;
}

QSize SelectableText::sizeHint() const {
    return {naturalWidth_, heightForWidth(naturalWidth_)};
}

QSize SelectableText::minimumSizeHint() const {
    return {QFontMetrics(font()).averageCharWidth() * 4, QFontMetrics(font()).height()};
}

void SelectableText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    // The layout placed us at a width whose height it asked for; keep the
    // document laid out at that width.
    measuredWidth_ = -1;
}

void SelectableText::changeEvent(QEvent* event) {
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) applyFormat();
}

} // namespace quorilanth
