#include "app/guided/GuidedKit.h"

#include "app/kit/DisclosureGroup.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "app/store/AppLanguage.h"
#include "core/guided/GuidedText.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace quorilanth {
namespace {

// Characters of one line measured for a preferred width: more than any line
// the page can show.
constexpr qsizetype measuredCharacters = 300;
// The widest a text asks to be before its container decides.
constexpr int preferredTextWidth = 560;

QString displayForm(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    shown.replace(QLatin1Char('\r'), QChar::LineSeparator);
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return shown;
}

std::unique_ptr<QTextLayout> makeLayout(const QString& text, const QFont& font) {
    auto layout = std::make_unique<QTextLayout>(displayForm(text), font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    return layout;
}

int place(QTextLayout& layout, int width, int spacing) {
    layout.beginLayout();
    qreal y = 0;
    for (bool first = true;; first = false) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        if (!first) y += spacing;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return int(std::ceil(y));
}

} // namespace

Language guidedLanguage() {
    return AppLanguage::current() == AppLanguage::italian ? Language::italian : Language::english;
}

QString pick(Language language, const char* italian, const char* english) {
    return QString::fromUtf8(language == Language::italian ? italian : english);
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString shownText(std::string_view text, std::size_t graphemes) {
    const std::string_view kept = guidedText::head(text, graphemes);
    QString shown = fromUtf8(kept);
    if (kept.size() < text.size()) shown += QChar(0x2026);
    return remoteText(shown, DirectionControls::dropped);
}

void later(QObject* context, std::function<void()> work) {
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

// MARK: TextBlock

TextBlock::TextBlock(QWidget* parent) : QLabel(parent), colour_(QLTheme::foreground()) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    invalidate();
}

TextBlock::TextBlock(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
    : TextBlock(parent) {
    setFont(font);
    colour_ = colour;
    setText(text);
}

TextBlock::~TextBlock() = default;

void TextBlock::setText(const QString& text) {
    // Most of what a block shows came from the site, whose direction controls
    // would turn its words around on the page.
    QString shown = remoteText(text, DirectionControls::dropped);
    if (shown == text_ && layout_) return;
    text_ = std::move(shown);
    anchor_ = cursor_ = 0;
    setAccessibleName(text_.left(1000));
    invalidate();
}

void TextBlock::setColour(const QColor& colour) {
    colour_ = colour;
    update();
}

void TextBlock::setLineSpacing(int pixels) {
    lineSpacing_ = pixels;
    invalidate();
}

void TextBlock::setSelectable(bool selectable) {
    selectable_ = selectable;
    setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
    // Reached by Tab too, so that a keyboard can select and copy it.
    setFocusPolicy(selectable ? Qt::StrongFocus : Qt::NoFocus);
}

void TextBlock::setLead(const QString& lead, int columnWidth, int gap, const QColor& colour) {
    lead_ = remoteText(lead, DirectionControls::dropped);
    leadWidth_ = columnWidth;
    leadGap_ = gap;
    leadColour_ = colour;
    invalidate();
}

void TextBlock::setLineWidthLimit(int pixels) {
    lineLimit_ = pixels;
    invalidate();
}

void TextBlock::invalidate() {
    layout_ = makeLayout(text_, font());
    leadLayout_ = lead_.isEmpty() && leadWidth_ == 0 ? nullptr : makeLayout(lead_, font());
    placedWidth_ = -1;
    leadHeight_ = -1;
    heights_.fill({-1, 0});
    oneLine_ = -2;
    naturalWidth_ = -1;
    updateGeometry();
    update();
}

int TextBlock::textLeft() const {
    return leadWidth_ > 0 ? leadWidth_ + leadGap_ : 0;
}

int TextBlock::placeAt(int width) const {
    if (width != placedWidth_) {
        placedHeight_ = place(*layout_, qBound(1, width - textLeft(), lineLimit_), lineSpacing_);
        placedWidth_ = width;
    }
    return placedHeight_;
}

int TextBlock::laidHeight(int width) const {
    for (const auto& [known, height] : heights_)
        if (known == width) return height;
    if (oneLine_ == -2) {
        // Most values are a few words: one line wherever they fit, measured
        // without laying them out.
        const QString& shown = layout_->text();
        oneLine_ = shown.size() > 400 || shown.contains(QChar::LineSeparator)
                       ? -1
                       : QFontMetrics(font()).horizontalAdvance(shown);
    }
    int height;
    if (oneLine_ >= 0 && oneLine_ <= qMin(width - textLeft(), lineLimit_))
        height = QFontMetrics(font()).height();
    else
        height = placeAt(width);
    // The lead's column never changes width: it is placed once.
    if (leadLayout_ && leadHeight_ < 0) leadHeight_ = place(*leadLayout_, leadWidth_, 0);
    height = qMax(height, leadHeight_);
    heights_[nextHeight_++ % heights_.size()] = {width, height};
    return height;
}

int TextBlock::heightForWidth(int width) const {
    return laidHeight(width);
}

QSize TextBlock::sizeHint() const {
    if (naturalWidth_ < 0) {
        const QFontMetrics metrics(font());
        naturalWidth_ = 0;
        const QString shown = text_.left(measuredCharacters * 40);
        for (const QString& line : shown.split(QLatin1Char('\n'))) {
            naturalWidth_ =
                qMax(naturalWidth_, metrics.horizontalAdvance(line.left(measuredCharacters)) + 1);
            if (naturalWidth_ >= preferredTextWidth) break;
        }
        naturalWidth_ = qMin(naturalWidth_, preferredTextWidth);
    }
    const int width = textLeft() + naturalWidth_;
    return {width, laidHeight(width)};
}

QSize TextBlock::minimumSizeHint() const {
    return {textLeft() + qMin(naturalWidth_ < 0 ? sizeHint().width() : naturalWidth_, 60),
            QFontMetrics(font()).height()};
}

void TextBlock::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) invalidate();
    QLabel::changeEvent(event);
}

void TextBlock::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    placeAt(width());
    laidHeight(width());
    if (leadLayout_) {
        painter.setPen(leadColour_);
        leadLayout_->draw(&painter, QPointF(0, 0));
    }
    QList<QTextLayout::FormatRange> selections;
    if (selectable_ && anchor_ != cursor_) {
        QTextLayout::FormatRange range;
        range.start = qMin(anchor_, cursor_);
        range.length = qAbs(cursor_ - anchor_);
        range.format.setBackground(palette().highlight());
        range.format.setForeground(palette().highlightedText());
        selections.append(range);
    }
    painter.setPen(colour_);
    const QPointF origin(textLeft(), 0);
    layout_->draw(&painter, origin, selections, QRectF(event->rect()).translated(-origin));
    // Text has no caret to show: a reader moving by keyboard sees where
    // Ctrl+A and Ctrl+C will act.
    if (keyboardFocus_ && QLTheme::showsFocus(*this))
        QLTheme::paintFocus(painter, QRectF(rect()), 3);
}

int TextBlock::cursorAt(const QPoint& point) const {
    placeAt(width());
    const qreal x = point.x() - textLeft();
    const int lines = layout_->lineCount();
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = layout_->lineAt(i);
        if (point.y() < line.y() + line.height() || i == lines - 1)
            return line.xToCursor(qMax<qreal>(0, x));
    }
    return 0;
}

QString TextBlock::selectedText() const {
    if (anchor_ == cursor_) return {};
    QString selected = layout_->text().mid(qMin(anchor_, cursor_), qAbs(cursor_ - anchor_));
    selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return selected;
}

void TextBlock::mousePressEvent(QMouseEvent* event) {
    if (!selectable_ || event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
    anchor_ = cursor_ = cursorAt(event->position().toPoint());
    update();
}

void TextBlock::mouseMoveEvent(QMouseEvent* event) {
    if (!selectable_ || !(event->buttons() & Qt::LeftButton)) return QLabel::mouseMoveEvent(event);
    cursor_ = cursorAt(event->position().toPoint());
    update();
}

void TextBlock::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!selectable_) return QLabel::mouseDoubleClickEvent(event);
    const int at = cursorAt(event->position().toPoint());
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, layout_->text());
    words.setPosition(at);
    if (!words.isAtBoundary() || words.boundaryReasons() & QTextBoundaryFinder::EndOfItem)
        words.toPreviousBoundary();
    anchor_ = int(qMax<qsizetype>(0, words.position()));
    words.setPosition(anchor_);
    cursor_ = int(qMax<qsizetype>(anchor_, words.toNextBoundary()));
    update();
}

void TextBlock::keyPressEvent(QKeyEvent* event) {
    if (selectable_ && event->matches(QKeySequence::Copy)) {
        if (anchor_ != cursor_) QGuiApplication::clipboard()->setText(selectedText());
        return;
    }
    if (selectable_ && event->matches(QKeySequence::SelectAll)) {
        anchor_ = 0;
        cursor_ = int(layout_->text().size());
        update();
        return;
    }
    QLabel::keyPressEvent(event);
}

void TextBlock::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (keyboardFocus_) update();
    QLabel::focusInEvent(event);
}

void TextBlock::focusOutEvent(QFocusEvent* event) {
    if (std::exchange(keyboardFocus_, false)) update();
    // One selection on the page at a time, as in a browser.
    if (event->reason() != Qt::PopupFocusReason && anchor_ != cursor_) {
        anchor_ = cursor_ = 0;
        update();
    }
    QLabel::focusOutEvent(event);
}

// MARK: groups and grounds

DisclosureGroup* disclosure(const QString& title, const QFont& font, const QColor& tint, int gap,
                            std::function<QWidget*(QWidget* parent)> content, QWidget* parent) {
    // The group puts its own space under the title; the rest is the content's.
    constexpr int groupSpacing = 6;
    auto* group = new DisclosureGroup(
        title,
        [gap, content = std::move(content)](QWidget* owner) {
            auto* holder = new QWidget(owner);
            column(holder, 0, QMargins(0, qMax(0, gap - groupSpacing), 0, 0))
                ->addWidget(content(holder));
            return holder;
        },
        parent);
    group->header()->setFont(font);
    group->header()->setColour(tint);
    return group;
}

RoundedGround::RoundedGround(const QColor& colour, qreal radius, QWidget* parent)
    : QWidget(parent), colour_(colour), radius_(radius) {}

void RoundedGround::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius_, radius_);
    painter.fillPath(shape, colour_);
}

// MARK: small pieces

QWidget* symbolLabel(const QString& symbol, const QString& text, const QFont& font,
                     const QColor& colour, QWidget* parent, QLabel** textLabel) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(qMax(4, font.pixelSize() / 2));
    auto* icon = new QLabel(box);
    const int size = qMax(8, font.pixelSize());
    icon->setPixmap(Symbols::pixmap(symbol, colour, size, box->devicePixelRatioF()));
    icon->setFixedSize(size, size);
    row->addWidget(icon);
    QLabel* label = plainLabel(box, font, colour, text);
    row->addWidget(label);
    row->addStretch(1);
    if (textLabel) *textLabel = label;
    return box;
}

QToolButton* borderlessButton(const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(literalMenuText(text));
    button->setAutoRaise(true);
    button->setFont(QLTheme::font(13));
    button->setAccessibleName(text);
    button->setCursor(Qt::PointingHandCursor);
    setTextColour(button, QLTheme::accent());
    return button;
}

QVBoxLayout* column(QWidget* owner, int spacing, const QMargins& margins) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace quorilanth
