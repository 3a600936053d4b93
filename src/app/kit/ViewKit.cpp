#include "app/kit/ViewKit.h"

#include "app/kit/FocusHolder.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ReducedMotion.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QTimer>

namespace quorilanth {
namespace {

// More characters than any screen can show on one line at our smallest size.
constexpr qsizetype displayLimit = 2000;

} // namespace

CoalescedRender::CoalescedRender(QObject* owner, std::function<void()> render)
    : QObject(owner), render_(std::move(render)) {}

void CoalescedRender::request() {
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            pending_ = false;
            render_();
        },
        Qt::QueuedConnection);
}

namespace {

// The widgets of a layout, nested layouts included, in the order it places them.
void laidOut(const QLayout* layout, QList<QWidget*>& found) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget())
            found.append(widget);
        else if (const QLayout* inner = item->layout())
            laidOut(inner, found);
    }
}

// A widget's children in the order a reader meets them: as its layout or
// splitter places them, then any others as made. The list of children alone
// is not that order: raising a widget moves it to the end.
QList<QWidget*> readingOrder(const QWidget* widget) {
    QList<QWidget*> found;
    if (const auto* splitter = qobject_cast<const QSplitter*>(widget))
        for (int i = 0; i < splitter->count(); ++i)
            found.append(splitter->widget(i));
    else if (const QLayout* layout = widget->layout())
        laidOut(layout, found);
    const QSet<QWidget*> placed(found.begin(), found.end());
    for (QObject* child : widget->children())
        if (auto* inner = qobject_cast<QWidget*>(child); inner && !placed.contains(inner))
            found.append(inner);
    return found;
}

} // namespace

QWidget* nextInReadingOrder(QWidget* root, QWidget* from, bool forward) {
    QList<QWidget*> stops;
    // Where `from`, or its nearest ancestor met, lies among the stops: a
    // control just disabled or hidden, or a holder of the keyboard, is no stop
    // itself, and Tab goes on from its place rather than from the top.
    qsizetype mark = -1;
    std::vector<QWidget*> pending{root};
    while (!pending.empty()) {
        QWidget* widget = pending.back();
        pending.pop_back();
        if (from && (widget == from || widget->isAncestorOf(from))) mark = stops.size();
        if (widget != root && (widget->isWindow() || !widget->isVisible())) continue;
        // A widget may hand its focus on: to a part of itself, which it keeps
        // to itself, or elsewhere (a scroll area's view, to the area), where
        // it is no stop of its own.
        QWidget* proxy = widget->focusProxy();
        const bool compound = proxy && widget->isAncestorOf(proxy);
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabled() && (!proxy || compound))
            stops.append(widget);
        if (compound) continue;
        const QList<QWidget*> children = readingOrder(widget);
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.push_back(*child);
    }
    if (stops.isEmpty()) return nullptr;
    qsizetype at = -1;
    for (QWidget* widget = from; widget && at < 0 && widget != root;
         widget = widget->parentWidget())
        at = stops.indexOf(widget);
    if (at >= 0) return stops[(at + (forward ? 1 : stops.size() - 1)) % stops.size()];
    if (mark < 0) return forward ? stops.first() : stops.last();
    return stops[(mark + (forward ? 0 : stops.size() - 1)) % stops.size()];
}

namespace {

// The scroll value that shows the span [start, start + length) in a view of
// `view` scrolled to `value`, moving as little as possible.
int revealedValue(int value, int start, int length, int view) {
    const int end = start + length;
    if (length <= view) {
        if (start < value) return start;
        if (end > value + view) return end - view;
    } else {
        if (start > value) return start;
        if (end < value + view) return end - view;
    }
    return value;
}

} // namespace

void revealFocus(QWidget* focused) {
    if (!focused) return;
    QRect wanted = focused->rect();
    QWidget* inner = focused;
    for (QWidget* ancestor = focused->parentWidget(); ancestor && !ancestor->isWindow();
         ancestor = ancestor->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(ancestor);
        QWidget* content = area ? area->widget() : nullptr;
        if (!content || !content->isAncestorOf(inner)) continue;
        const QSize view = area->viewport()->size();
        if (inner == focused && wanted.height() > view.height()) {
            // Qt's own sign that a widget names a place inside itself.
            const QRect place = focused->inputMethodQuery(Qt::ImCursorRectangle).toRect();
            if (place.isValid() &&
                place != focused->QWidget::inputMethodQuery(Qt::ImCursorRectangle).toRect())
                wanted = place.intersected(focused->rect());
        }
        const QRect box(inner->mapTo(content, wanted.topLeft()), wanted.size());
        for (QScrollBar* bar : {area->horizontalScrollBar(), area->verticalScrollBar()}) {
            const bool across = bar->orientation() == Qt::Horizontal;
            bar->setValue(revealedValue(bar->value(), across ? box.left() : box.top(),
                                        across ? box.width() : box.height(),
                                        across ? view.width() : view.height()));
        }
        // An outer area shows what this one shows of the control.
        const QRect seen(content->mapTo(area->viewport(), box.topLeft()), box.size());
        wanted = seen.intersected(area->viewport()->rect());
        inner = area->viewport();
        if (wanted.isEmpty()) return;
    }
}

QLabel* plainLabel(QWidget* parent, const QFont& font, const QColor& colour, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

namespace {

// The window's own focus widget: an alert over the window has the keyboard,
// but leaves this in place for when it closes.
bool focusedInWindow(const QWidget* widget) {
    return widget->window()->focusWidget() == widget;
}

void keepFocus(QWidget* control, bool usable, QWidget* holder, const std::function<void()>& apply) {
    if (!usable && focusedInWindow(control)) {
        holder->setFocus(Qt::OtherFocusReason);
        holder->setProperty(FocusHolder::heldProperty, QVariant::fromValue<QObject*>(control));
    }
    apply();
    if (usable && holder->property(FocusHolder::heldProperty).value<QObject*>() == control) {
        if (focusedInWindow(holder)) control->setFocus(Qt::OtherFocusReason);
        holder->setProperty(FocusHolder::heldProperty, QVariant());
    }
}

} // namespace

void setEnabledKeepingFocus(QWidget* control, bool enabled, QWidget* holder) {
    keepFocus(control, enabled, holder, [&] { control->setEnabled(enabled); });
}

void setShownKeepingFocus(QWidget* control, bool shown, QWidget* holder) {
    keepFocus(control, shown, holder, [&] { control->setVisible(shown); });
}

namespace {

constexpr const char* roleProperty = "ql-accessible-role";

QAccessibleInterface* roleFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    const QVariant role = widget ? widget->property(roleProperty) : QVariant();
    return role.isValid() ? new QAccessibleWidget(widget, QAccessible::Role(role.toInt()))
                          : nullptr;
}

} // namespace

void setAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = (QAccessible::installFactory(roleFactory), true);
    Q_UNUSED(installed);
    widget->setProperty(roleProperty, int(role));
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent), colour_(QLTheme::foreground()) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    setAccessibleName(text_.left(displayLimit));
    textWidth_ = -1;
    if (hintsTextWidth_) updateGeometry();
    update();
}

void ElidedLabel::setHintsTextWidth(bool value) {
    hintsTextWidth_ = value;
    updateGeometry();
}

void ElidedLabel::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    if (!hintsTextWidth_) return {metrics.horizontalAdvance(text_.left(80)), metrics.height()};
    if (textWidth_ < 0) textWidth_ = metrics.horizontalAdvance(shownText()) + 1;
    return {textWidth_, metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QFontMetrics(font()).height()};
}

QString ElidedLabel::shownText() const {
    QString shown = text_.left(displayLimit);
    // A status line is one line: breaks and tabs read as spaces.
    for (QChar& c : shown)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return shown;
}

void ElidedLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        textWidth_ = -1;
        updateGeometry();
    }
    QLabel::changeEvent(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(colour_);
    const QString elided = painter.fontMetrics().elidedText(shownText(), Qt::ElideRight, width());
    painter.drawText(rect(), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, elided);
}

SpacedText::SpacedText(QWidget* parent) : QWidget(parent), colour_(QLTheme::foreground()) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SpacedText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    forgetLines();
    setAccessibleName(text_);
    updateGeometry();
    update();
}

void SpacedText::setLineSpacing(int pixels) {
    lineSpacing_ = pixels;
    updateGeometry();
}

void SpacedText::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void SpacedText::setWrapping(int preferredWidth) {
    wrapWidth_ = preferredWidth;
    hintWidth_ = -1;
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(wrapWidth_ > 0);
    setSizePolicy(policy);
    updateGeometry();
}

void SpacedText::setCentred(bool centred) {
    centred_ = centred;
    update();
}

namespace {

// How many units of `text` fit in `width`, at least one character, never half
// of a surrogate pair.
qsizetype fittingPrefix(const QFontMetrics& metrics, const QString& text, int width) {
    qsizetype end = 0;
    int used = 0;
    while (end < text.size()) {
        const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        used += metrics.horizontalAdvance(text.mid(end, step));
        if (used > width && end > 0) break;
        end += step;
    }
    return end;
}

} // namespace

void SpacedText::forgetLines() {
    lines_.clear();
    hintWidth_ = -1;
}

QStringList SpacedText::lines(int width) const {
    for (const auto& [known, lines] : lines_)
        if (known == width) return lines;
    // A window dragged wider asks for a new width at every step: the oldest go.
    constexpr std::size_t kept = 8;
    if (lines_.size() >= kept) lines_.erase(lines_.begin());
    lines_.emplace_back(width, measureLines(width));
    return lines_.back().second;
}

QStringList SpacedText::measureLines(int width) const {
    if (width <= 0) return text_.split(QLatin1Char('\n'));
    const QFontMetrics metrics(font());
    QStringList result;
    for (const QString& paragraph : text_.split(QLatin1Char('\n'))) {
        QString line;
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
                result.append(line);
                line = word;
            } else {
                line = candidate;
            }
            // A token wider than the line (an address, a name from a file) is
            // broken where it reaches the edge rather than pushing it out.
            while (metrics.horizontalAdvance(line) > width) {
                const qsizetype fit = fittingPrefix(metrics, line, width);
                if (fit >= line.size()) break;
                result.append(line.left(fit));
                line = line.mid(fit);
            }
        }
        result.append(line);
    }
    return result;
}

int SpacedText::drawnWidth(int width) const {
    // A layout measures a label at the width of its column but draws it no
    // wider than its maximum, and a centred one no wider than it asks for:
    // the lines are counted at the width they will be drawn at, or the last
    // ones fall outside the box.
    width = qMin(width, maximumWidth());
    if (centred_) width = qMin(width, wrapWidth_);
    return qMax(1, width);
}

int SpacedText::heightForWidth(int width) const {
    const qsizetype count = lines(wrapWidth_ > 0 ? drawnWidth(width) : 0).size();
    return int(count) * QFontMetrics(font()).height() + int(count - 1) * lineSpacing_;
}

QSize SpacedText::sizeHint() const {
    if (hintWidth_ < 0) {
        const QFontMetrics metrics(font());
        hintWidth_ = 0;
        for (const QString& line : lines(wrapWidth_))
            hintWidth_ = qMax(hintWidth_, metrics.horizontalAdvance(line));
    }
    return {hintWidth_ + 2, heightForWidth(wrapWidth_)};
}

QSize SpacedText::minimumSizeHint() const {
    // Wrapped text may be given less than it asks for; it takes more lines.
    return wrapWidth_ > 0 ? QSize(0, QFontMetrics(font()).height()) : sizeHint();
}

void SpacedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(colour_);
    const QFontMetrics metrics(font());
    const int flags = (centred_ ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::TextSingleLine;
    int y = 0;
    for (const QString& line : lines(wrapWidth_ > 0 ? drawnWidth(width()) : 0)) {
        painter.drawText(QRect(0, y, width(), metrics.height()), flags, line);
        y += metrics.height() + lineSpacing_;
    }
}

void SpacedText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        forgetLines();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

BorderedButton::BorderedButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFont(QLTheme::font(13));
    setAutoDefault(false);
}

QSize BorderedButton::sizeHint() const {
    return QPushButton::sizeHint() + QSize(16, 8);
}

BaselineRow::BaselineRow(const QList<QLabel*>& labels, int spacing, Qt::Alignment edge,
                         QWidget* parent)
    : QWidget(parent), labels_(labels), spacing_(spacing), edge_(edge) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (QLabel* label : labels_) {
        label->setParent(this);
        label->setTextFormat(Qt::PlainText);
        // Top-aligned, a label's baseline lies one ascent below its top.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
}

namespace {

int firstBaseline(const QLabel* label) {
    return label->contentsRect().top() + label->fontMetrics().ascent();
}

} // namespace

int BaselineRow::ascent() const {
    int most = 0;
    for (const QLabel* label : labels_)
        most = qMax(most, firstBaseline(label));
    return most;
}

QSize BaselineRow::sizeHint() const {
    const int above = ascent();
    int width = 0, height = 0;
    for (const QLabel* label : labels_) {
        const QSize hint = label->sizeHint();
        width += hint.width() + (width ? spacing_ : 0);
        height = qMax(height, above - firstBaseline(label) + hint.height());
    }
    return {width, height};
}

void BaselineRow::place() {
    const int above = ascent();
    int x = edge_ & Qt::AlignRight ? width() - sizeHint().width() : 0;
    for (QLabel* label : labels_) {
        const QSize hint = label->sizeHint();
        label->setGeometry(x, above - firstBaseline(label), hint.width(), hint.height());
        x += hint.width() + spacing_;
    }
}

bool BaselineRow::event(QEvent* event) {
    // A label whose text changed asks its parent for a new layout, unless it
    // changed while hidden: then the row is placed again when shown.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) {
        updateGeometry();
        place();
    }
    return QWidget::event(event);
}

void BaselineRow::resizeEvent(QResizeEvent* event) {
    place();
    QWidget::resizeEvent(event);
}

BusyIndicator::BusyIndicator(int diameter, const QColor& colour, QWidget* parent)
    : QWidget(parent), diameter_(diameter), colour_(colour), timer_(new QTimer(this)) {
    setFixedSize(diameter, diameter);
    timer_->setInterval(80);
    connect(timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal width = qMax(1.5, diameter_ / 8.0);
    const QRectF box = QRectF(rect()).adjusted(width, width, -width, -width);
    painter.setPen(QPen(QLTheme::tint(colour_, 0.25), width));
    painter.drawEllipse(box);
    painter.setPen(QPen(colour_, width, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -angle_ * 16, 100 * 16);
}

bool BusyIndicator::turning() const {
    return timer_->isActive();
}

void BusyIndicator::showEvent(QShowEvent* event) {
    // Without motion the arc stands still: it still says that work runs.
    if (!reducedMotion()) timer_->start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

Swatch::Swatch(int width, int height, const QColor& colour, QWidget* parent, bool round)
    : QWidget(parent), colour_(colour), round_(round) {
    setFixedSize(width, height);
}

void Swatch::setColour(const QColor& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
}

void Swatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (round_) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_);
        painter.drawEllipse(QRectF(rect()));
    } else {
        painter.fillRect(rect(), colour_);
    }
}

void paintCard(QWidget* widget, qreal radius) {
    QPainter painter(widget);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(widget->rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(card, QLTheme::panel());
    painter.setPen(QPen(QLTheme::line(), 1));
    painter.drawPath(card);
}

QWidget* horizontalRule(QWidget* parent) {
    auto* rule = new Backdrop(QLTheme::line(), parent);
    rule->setFixedHeight(1);
    rule->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return rule;
}

Backdrop::Backdrop(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) {}

void Backdrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour_);
    if (bottomRule_.isValid()) painter.fillRect(QRect(0, height() - 1, width(), 1), bottomRule_);
}

} // namespace quorilanth
