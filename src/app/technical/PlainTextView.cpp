#include "app/technical/PlainTextView.h"

#include "app/kit/QLTheme.h"
#include "app/kit/ViewKit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace quorilanth {
namespace {

constexpr int tabColumns = 4;
// The widest a fitted text asks to be before it wraps.
constexpr qreal widestNatural = 480;

char32_t codeAt(const QString& text, qsizetype at) {
    const QChar c = text.at(at);
    if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(c, text.at(at + 1));
    return c.unicode();
}

qsizetype unitsAt(const QString& text, qsizetype at) {
    return text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()
               ? 2
               : 1;
}

// Control characters other than tab and line feed show as their pictures, so
// a binary body's bytes are seen rather than dropped; the text itself, and
// what is copied, keeps them.
char32_t shown(char32_t code) {
    if (code < 0x20) return 0x2400 + code;
    if (code == 0x7F) return 0x2421;
    return code;
}

} // namespace

PlainTextView::PlainTextView(QWidget* parent) : QWidget(parent) {
    setAccessibleRole(this, QAccessible::StaticText);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, QLTheme::foreground());
    setPalette(palette);
    QFont plain = font();
    plain.setKerning(false);
    setFont(plain);
    measureFont();
}

void PlainTextView::setText(const QString& text) {
    if (set_ && text == text_) return;
    set_ = true;
    text_ = text;
    anchor_ = cursor_ = 0;
    // Painted text has no text interface: a screen reader hears its start as
    // the name, the raw trace's scrolling view as much as a value in a column.
    setAccessibleName(text_.left(200));
    measureNatural();
    rewrap();
    if (scrollBar_) scrollBar_->setValue(0);
    updateGeometry();
    update();
}

void PlainTextView::setColour(const QColor& colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, colour);
    setPalette(palette);
}

void PlainTextView::setLineSpacing(int pixels) {
    lineSpacing_ = pixels;
    measuredWidth_ = -1;
    updateScrollBar();
    updateGeometry();
}

void PlainTextView::setMaximumRows(int rows) {
    maxRows_ = rows;
    measuredWidth_ = -1;
    updateGeometry();
    update();
}

void PlainTextView::setTextAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void PlainTextView::setInsets(int horizontal, int vertical) {
    insetX_ = horizontal;
    insetY_ = vertical;
    measureNatural();
    rewrap();
}

void PlainTextView::setScrolling(bool scrolling) {
    if (scrolling == (scrollBar_ != nullptr)) return;
    if (scrolling) {
        scrollBar_ = new QScrollBar(Qt::Vertical, this);
        scrollBar_->setCursor(Qt::ArrowCursor);
        connect(scrollBar_, &QScrollBar::valueChanged, this, [this] { update(); });
        scrollBar_->show();
    } else {
        delete scrollBar_;
        scrollBar_ = nullptr;
    }
    QSizePolicy policy(QSizePolicy::Preferred,
                       scrolling ? QSizePolicy::Expanding : QSizePolicy::Preferred);
    policy.setHeightForWidth(!scrolling);
    setSizePolicy(policy);
    setAttribute(Qt::WA_OpaquePaintEvent, scrolling);
    measureNatural();
    rewrap();
    updateGeometry();
}

int PlainTextView::textWidth() const {
    return width() - 2 * insetX_ - (scrollBar_ ? scrollBar_->sizeHint().width() : 0);
}

void PlainTextView::measureFont() {
    // Measured when a text first needs it: a pane builds dozens of empty
    // values in several fonts, most of them hidden until something is chosen.
    fontMeasured_ = false;
    advances_.clear();
    measuredWidth_ = -1;
}

const std::array<qreal, 128>& PlainTextView::ascii() const {
    if (fontMeasured_) return ascii_;
    fontMeasured_ = true;
    // A pane shows dozens of values in a handful of fonts: each font's table
    // is measured once.
    static QHash<QString, std::array<qreal, 128>> tables;
    const QString key = font().key();
    const auto known = tables.constFind(key);
    if (known != tables.constEnd()) {
        ascii_ = *known;
    } else {
        const QFontMetricsF metrics(font());
        for (char32_t code = 0; code < 128; ++code) {
            const char32_t picture = shown(code);
            ascii_[code] = metrics.horizontalAdvance(QString::fromUcs4(&picture, 1));
        }
        ascii_['\t'] = tabColumns * metrics.horizontalAdvance(QLatin1Char(' '));
        tables.insert(key, ascii_);
    }
    // Control pictures and the tab are wider than any printable character;
    // the quick test of a line leaves them to the full measure.
    widestPrintable_ = *std::max_element(ascii_.begin() + 0x20, ascii_.begin() + 0x7F);
    return ascii_;
}

void PlainTextView::measureNatural() {
    measuredWidth_ = -1;
    if (scrollBar_) return;
    // Measured only as far as it can matter.
    qreal widest = 0, line = 0;
    for (qsizetype at = 0; at < text_.size() && widest < widestNatural; at += unitsAt(text_, at)) {
        line = text_.at(at) == QLatin1Char('\n') ? 0 : line + advance(at);
        widest = qMax(widest, line);
    }
    naturalWidth_ = int(std::ceil(qMin(widest, widestNatural))) + 2 * insetX_ + 1;
}

qreal PlainTextView::advance(qsizetype at) const {
    const char32_t code = codeAt(text_, at);
    if (code < 128) return ascii()[code];
    const char32_t picture = shown(code);
    const auto known = advances_.constFind(picture);
    if (known != advances_.constEnd()) return *known;
    const qreal width = QFontMetricsF(font()).horizontalAdvance(QString::fromUcs4(&picture, 1));
    advances_.insert(picture, width);
    return width;
}

std::vector<qsizetype> PlainTextView::wrap(qreal width) const {
    // One pass over megabytes. A line of printable ASCII short enough to fit even in
    // its widest characters is one row, known without measuring it.
    // An empty value, as most are until something is chosen, is one row
    // without measuring its font.
    if (text_.isEmpty()) return {0};
    width = qMax(width, ascii()['M']);
    std::vector<qsizetype> rows{0};
    const QStringView text(text_);
    for (qsizetype lineStart = 0;;) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0) lineEnd = text.size();
        bool fits = qreal(lineEnd - lineStart) * widestPrintable_ <= width;
        for (qsizetype at = lineStart; fits && at < lineEnd; ++at)
            fits = text[at].unicode() >= 0x20 && text[at].unicode() < 0x7F;
        if (!fits) wrapLine(lineStart, lineEnd, width, rows);
        if (lineEnd == text.size()) break;
        lineStart = lineEnd + 1;
        rows.push_back(lineStart);
    }
    return rows;
}

void PlainTextView::wrapLine(qsizetype start, qsizetype end, qreal width,
                             std::vector<qsizetype>& rows) const {
    const std::array<qreal, 128>& table = ascii();
    const QChar* text = text_.constData();
    qsizetype rowStart = start;
    qsizetype afterSpace = -1;
    qreal x = 0;
    for (qsizetype at = start; at < end;) {
        const char16_t c = text[at].unicode();
        qreal w;
        qsizetype units = 1;
        if (c < 128) {
            w = table[c];
        } else {
            units = unitsAt(text_, at);
            w = advance(at);
        }
        if (x + w > width && at > rowStart) {
            // After the row's last space, else inside the word.
            rowStart = afterSpace > rowStart ? afterSpace : at;
            rows.push_back(rowStart);
            x = 0;
            for (qsizetype moved = rowStart; moved < at; moved += unitsAt(text_, moved))
                x += advance(moved);
            afterSpace = -1;
        }
        x += w;
        if (c == u' ') afterSpace = at + 1;
        at += units;
    }
}

void PlainTextView::rewrap() {
    wrappedWidth_ = textWidth();
    // Not laid out yet: the first resize wraps.
    rows_ = wrappedWidth_ > 0 ? wrap(wrappedWidth_) : std::vector<qsizetype>{0};
    updateScrollBar();
}

int PlainTextView::rowHeight() const {
    return fontMetrics().height() + lineSpacing_;
}

int PlainTextView::scrollOffset() const {
    return scrollBar_ ? scrollBar_->value() : 0;
}

void PlainTextView::updateScrollBar() {
    if (!scrollBar_) return;
    const qint64 content = qint64(rows_.size()) * rowHeight() + 2 * insetY_;
    scrollBar_->setRange(0, int(std::clamp<qint64>(content - height(), 0, INT_MAX)));
    scrollBar_->setPageStep(height());
    scrollBar_->setSingleStep(rowHeight());
}

int PlainTextView::heightForWidth(int width) const {
    if (width != measuredWidth_) {
        measuredWidth_ = width;
        const int available = width - 2 * insetX_;
        std::size_t rows = available == wrappedWidth_ ? rows_.size() : wrap(available).size();
        if (maxRows_ > 0) rows = qMin(rows, std::size_t(maxRows_));
        measuredHeight_ = int(rows) * rowHeight() - lineSpacing_ + 2 * insetY_;
    }
    return measuredHeight_;
}

QSize PlainTextView::sizeHint() const {
    if (scrollBar_) return {300, 200};
    return {naturalWidth_, heightForWidth(naturalWidth_)};
}

QSize PlainTextView::minimumSizeHint() const {
    if (scrollBar_) return {100, 60};
    return {fontMetrics().averageCharWidth() * 4 + 2 * insetX_,
            fontMetrics().height() + 2 * insetY_};
}

qsizetype PlainTextView::rowEnd(std::size_t row) const {
    qsizetype end = row + 1 < rows_.size() ? rows_[row + 1] : text_.size();
    if (end > rows_[row] && text_.at(end - 1) == QLatin1Char('\n')) --end;
    return end;
}

qreal PlainTextView::rowWidth(std::size_t row) const {
    qreal width = 0;
    for (qsizetype at = rows_[row], end = rowEnd(row); at < end; at += unitsAt(text_, at))
        width += advance(at);
    return width;
}

qreal PlainTextView::rowLeft(std::size_t row) const {
    if (!(alignment_ & Qt::AlignRight)) return insetX_;
    return qMax<qreal>(insetX_, insetX_ + textWidth() - rowWidth(row));
}

void PlainTextView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (scrollBar_) painter.fillRect(event->rect(), palette().color(QPalette::Base));
    const QFontMetrics metrics(font());
    const int height = rowHeight();
    const int top = scrollOffset() - insetY_;
    const int first = qMax(0, (top + event->rect().top()) / height);
    int last = qMin(int(rows_.size()) - 1, (top + event->rect().bottom()) / height);
    const bool cut = maxRows_ > 0 && int(rows_.size()) > maxRows_;
    if (maxRows_ > 0) last = qMin(last, maxRows_ - 1);
    const qsizetype from = selectionStart(), to = selectionEnd();
    const QColor selection = QLTheme::tint(QLTheme::accent(), 0.3);
    painter.setPen(palette().color(QPalette::Text));
    for (int row = first; row <= last; ++row) {
        const std::size_t index = std::size_t(row);
        const qsizetype start = rows_[index], end = rowEnd(index);
        const int y = row * height - top;
        const qreal left = rowLeft(index);
        QString line;
        line.reserve(end - start);
        qreal x = left, selectedLeft = -1, selectedRight = -1;
        for (qsizetype at = start; at < end; at += unitsAt(text_, at)) {
            if (at == from) selectedLeft = x;
            if (at == to) selectedRight = x;
            const char32_t code = codeAt(text_, at);
            if (code == '\t') {
                line += QString(tabColumns, QLatin1Char(' '));
            } else {
                const char32_t picture = shown(code);
                line += QString::fromUcs4(&picture, 1);
            }
            x += advance(at);
        }
        if (from < to && from <= end && to > start) {
            const qreal begin = from <= start ? left : from >= end ? x : selectedLeft;
            // A selection that runs on past the row's line break marks it.
            const qreal finish = to < end ? selectedRight : to > end ? x + ascii()[' '] / 2 : x;
            painter.fillRect(QRectF(begin, y, qMax<qreal>(0, finish - begin), height), selection);
        }
        if (cut && row == maxRows_ - 1) {
            // The last row shown says that more follows.
            line += QStringLiteral(" ") + text_.mid(end, 200).replace(QLatin1Char('\n'), u' ');
            line = metrics.elidedText(line, Qt::ElideRight, textWidth());
            if (!line.endsWith(QChar(0x2026))) line += QChar(0x2026);
        }
        painter.drawText(QPointF(left, y + metrics.ascent()), line);
    }
}

void PlainTextView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (scrollBar_) {
        const int bar = scrollBar_->sizeHint().width();
        scrollBar_->setGeometry(width() - bar, 0, bar, height());
    }
    if (textWidth() == wrappedWidth_) return updateScrollBar();
    // Keep the row at the top in sight across the new wrapping.
    const int topRow = qMax(0, (scrollOffset() - insetY_) / rowHeight());
    const qsizetype topOffset = std::size_t(topRow) < rows_.size() ? rows_[std::size_t(topRow)] : 0;
    rewrap();
    if (!scrollBar_) return;
    const auto row = std::upper_bound(rows_.begin(), rows_.end(), topOffset) - rows_.begin() - 1;
    scrollBar_->setValue(topOffset == 0 ? 0 : int(row) * rowHeight() + insetY_);
}

void PlainTextView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (textWidth() != wrappedWidth_) rewrap();
}

qsizetype PlainTextView::offsetAt(const QPoint& point) const {
    const int y = point.y() + scrollOffset() - insetY_;
    if (y < 0) return 0;
    const std::size_t row = std::size_t(qMin(y / rowHeight(), int(rows_.size()) - 1));
    if (y >= int(qMin<std::size_t>(rows_.size(), INT_MAX / 64)) * rowHeight()) return text_.size();
    qreal x = rowLeft(row);
    const qsizetype end = rowEnd(row);
    for (qsizetype at = rows_[row]; at < end; at += unitsAt(text_, at)) {
        const qreal w = advance(at);
        if (point.x() < x + w / 2) return at;
        x += w;
    }
    return end;
}

void PlainTextView::select(qsizetype start, qsizetype end) {
    anchor_ = std::clamp<qsizetype>(start, 0, text_.size());
    cursor_ = std::clamp<qsizetype>(end, 0, text_.size());
    update();
}

QString PlainTextView::selectedText() const {
    return text_.mid(selectionStart(), selectionEnd() - selectionStart());
}

void PlainTextView::copy() const {
    if (selectionStart() == selectionEnd()) return;
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(selectedText());
}

void PlainTextView::selectAll() {
    select(0, text_.size());
}

void PlainTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const qsizetype at = offsetAt(event->position().toPoint());
    select(event->modifiers() & Qt::ShiftModifier ? anchor_ : at, at);
}

void PlainTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint point = event->position().toPoint();
    // Dragging past an edge scrolls on.
    if (scrollBar_ && point.y() < 0)
        scrollBar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (scrollBar_ && point.y() > height())
        scrollBar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    select(anchor_, offsetAt(point));
}

void PlainTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    const qsizetype at = offsetAt(event->position().toPoint());
    auto word = [this](qsizetype i) {
        return i >= 0 && i < text_.size() &&
               (text_.at(i).isLetterOrNumber() || text_.at(i) == QLatin1Char('_'));
    };
    qsizetype start = at, end = at;
    while (word(start - 1))
        --start;
    while (word(end))
        ++end;
    select(start, end);
}

void PlainTextView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) return copy();
    if (event->matches(QKeySequence::SelectAll)) return selectAll();
    if (!scrollBar_) return QWidget::keyPressEvent(event);
    QScrollBar* bar = scrollBar_;
    switch (event->key()) {
    case Qt::Key_Up:
        return bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    case Qt::Key_Down:
        return bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    case Qt::Key_PageUp:
        return bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    case Qt::Key_PageDown:
        return bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    case Qt::Key_Home:
        return bar->triggerAction(QAbstractSlider::SliderToMinimum);
    case Qt::Key_End:
        return bar->triggerAction(QAbstractSlider::SliderToMaximum);
    default:
        QWidget::keyPressEvent(event);
    }
}

void PlainTextView::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copyAction = menu->addAction(QStringLiteral("Copy"), this, &PlainTextView::copy);
    copyAction->setEnabled(selectionStart() != selectionEnd());
    menu->addAction(QStringLiteral("Select All"), this, &PlainTextView::selectAll);
    menu->popup(event->globalPos());
}

void PlainTextView::wheelEvent(QWheelEvent* event) {
    // A fitted text has nothing to scroll: the column around it does.
    if (!scrollBar_) return event->ignore();
    QApplication::sendEvent(scrollBar_, event);
}

void PlainTextView::focusOutEvent(QFocusEvent* event) {
    // Like a label, a fitted value lets go of its selection when the reader
    // moves on; the raw text keeps its own.
    if (!scrollBar_ && event->reason() != Qt::PopupFocusReason) select(0, 0);
    QWidget::focusOutEvent(event);
}

void PlainTextView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    // Without kerning a row is exactly as wide as its characters, which is
    // how rows are measured and selections placed.
    if (font().kerning()) {
        QFont plain = font();
        plain.setKerning(false);
        setFont(plain);
        return;
    }
    measureFont();
    measureNatural();
    rewrap();
    updateGeometry();
    update();
}

} // namespace quorilanth
