#include "app/guided/ToolCardGrid.h"

#include "app/kit/QLTheme.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTextLayout>
#include <algorithm>
#include <unordered_map>
#include <utility>

namespace quorilanth {
namespace {

constexpr int kMinimumColumn = 295;
constexpr int kSpacing = 14;
constexpr int kInset = 19;
constexpr int kMinimumHeight = 154;
constexpr int kStackSpacing = 12;
constexpr int kSymbolSize = 16;
constexpr int kIntroLineSpacing = 3;

// The fonts and their metrics, made once: cards are measured by the thousand.
struct Type {
    QFont font;
    QFontMetrics metrics;
    explicit Type(const QFont& f) : font(f), metrics(f) {}
};
const Type& titleType() {
    static const Type type(QLTheme::font(18, QFont::Medium));
    return type;
}
const Type& introType() {
    static const Type type(QLTheme::font(12));
    return type;
}
const Type& safetyType() {
    static const Type type(QLTheme::font(10));
    return type;
}

QTextOption wrapping() {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lines a text takes at a width, counted up to `most`, from its width on one
// line where that settles it; `layout` is the text's own, kept between calls.
int lineCount(int advance, int width, int most, const QString& text, const Type& type,
              std::unique_ptr<QTextLayout>& layout) {
    if (advance <= width) return 1;
    // Wider than one line: two lines at least, and at least as many as fill
    // the width end to end.
    if (most <= 2 || advance > (most - 1) * width) return most;
    if (!layout) {
        layout = std::make_unique<QTextLayout>(text, type.font);
        layout->setTextOption(wrapping());
        layout->setCacheEnabled(true);
    }
    layout->beginLayout();
    int lines = 0;
    while (lines < most) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        ++lines;
    }
    layout->endLayout();
    return qMax(1, lines);
}

} // namespace

// At most `most` lines of the text laid out at `width`; when the text goes on,
// the last one shown is drawn shortened with an ellipsis instead.
struct ToolCardGrid::DrawnText {
    QTextLayout layout;
    int shown = 0;
    QString elided;
    qreal elidedBaseline = 0;

    DrawnText(const QString& text, const QFont& font, int width, int most, int lineSpacing)
        : layout(text, font) {
        layout.setTextOption(wrapping());
        layout.setCacheEnabled(true);
        layout.beginLayout();
        qreal y = 0;
        while (shown < most) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height() + lineSpacing;
            ++shown;
        }
        layout.endLayout();
        if (shown == 0) return;
        const QTextLine last = layout.lineAt(shown - 1);
        if (last.textStart() + last.textLength() >= text.size()) return;
        elided = QFontMetrics(font).elidedText(text.mid(last.textStart()), Qt::ElideRight, width);
        elidedBaseline = last.y() + last.ascent();
        --shown;
    }

    void draw(QPainter& painter, const QPointF& at) const {
        for (int i = 0; i < shown; ++i)
            layout.lineAt(i).draw(&painter, at);
        if (elided.isNull()) return;
        painter.setFont(layout.font());
        painter.drawText(QPointF(at.x(), at.y() + elidedBaseline), elided);
    }
};

// A card's two wrapped texts as last drawn, at the width they were laid out at.
struct ToolCardGrid::DrawnCard {
    DrawnCard(const ToolCard& card, int width)
        : width(width), title(card.title, titleType().font, width, 2, 0),
          introduction(card.introduction, introType().font, width, 3, kIntroLineSpacing) {}
    int width;
    DrawnText title;
    DrawnText introduction;
};

namespace {

// One card as a screen reader meets it: a button named by its title.
class CardInterface final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    CardInterface(ToolCardGrid* grid, int index) : grid_(grid), index_(index) {}

    bool isValid() const override { return grid_ && index_ < int(grid_->cards().size()); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return grid_ && grid_->window() ? grid_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return grid_ ? QAccessible::queryAccessibleInterface(grid_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text kind) const override {
        if (!isValid()) return {};
        const ToolCard& card = grid_->cards()[std::size_t(index_)];
        if (kind == QAccessible::Name) return card.title;
        if (kind == QAccessible::Description) return card.introduction + u' ' + card.safety;
        // This Qt has no identifier among an element's texts (for a widget
        // its objectName stands for one) and a painted card has no object: its
        // "guided-action-" identifier is the first user-defined text.
        if (kind == QAccessible::UserText) return card.identifier;
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect box = grid_->cardRect(index_);
        return {grid_->mapToGlobal(box.topLeft()), box.size()};
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = true;
        state.focused = isValid() && grid_->hasFocus() && grid_->focusCard() == index_;
        state.checked = isValid() && grid_->isSelected(index_);
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid()) grid_->press(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<ToolCardGrid> grid_;
    int index_;
};

// Card interfaces handed out, kept per grid until its cards change.
std::unordered_map<const ToolCardGrid*, std::vector<QAccessible::Id>>& handedOut() {
    static std::unordered_map<const ToolCardGrid*, std::vector<QAccessible::Id>> ids;
    return ids;
}

void forgetCards(const ToolCardGrid* grid) {
    const auto found = handedOut().find(grid);
    if (found == handedOut().end()) return;
    for (QAccessible::Id id : found->second)
        if (id) QAccessible::deleteAccessibleInterface(id);
    handedOut().erase(found);
}

class GridInterface final : public QAccessibleWidget {
public:
    explicit GridInterface(ToolCardGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {}

    int childCount() const override { return int(grid()->cards().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        std::vector<QAccessible::Id>& ids = handedOut()[grid()];
        ids.resize(grid()->cards().size(), 0);
        if (!ids[std::size_t(index)])
            ids[std::size_t(index)] =
                QAccessible::registerAccessibleInterface(new CardInterface(grid(), index));
        return QAccessible::accessibleInterface(ids[std::size_t(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return child(grid()->cardAt(grid()->mapFromGlobal(QPoint(x, y))));
    }
    QAccessibleInterface* focusChild() const override {
        return grid()->hasFocus() ? child(grid()->focusCard()) : nullptr;
    }

private:
    ToolCardGrid* grid() const { return static_cast<ToolCardGrid*>(widget()); }
};

QAccessibleInterface* gridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("quorilanth::ToolCardGrid") && object && object->isWidgetType())
        return new GridInterface(static_cast<ToolCardGrid*>(object));
    return nullptr;
}

} // namespace

ToolCardGrid::ToolCardGrid(QWidget* parent) : QWidget(parent) {
    static const bool installed = (QAccessible::installFactory(gridFactory), true);
    Q_UNUSED(installed);
    setObjectName(QStringLiteral("ql-guided-actions"));
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

ToolCardGrid::~ToolCardGrid() {
    forgetCards(this);
}

void ToolCardGrid::setCards(std::vector<ToolCard> cards) {
    forgetCards(this);
    cards_ = std::move(cards);
    selectedCard_ = -1;
    measures_.clear();
    measures_.resize(cards_.size());
    for (std::size_t i = 0; i < cards_.size(); ++i) {
        measures_[i].title = titleType().metrics.horizontalAdvance(cards_[i].title);
        measures_[i].introduction = introType().metrics.horizontalAdvance(cards_[i].introduction);
    }
    focusCard_ = qBound(0, focusCard_, qMax(0, int(cards_.size()) - 1));
    forgetGeometry();
}

void ToolCardGrid::setSelected(std::optional<std::string> id, std::optional<std::string> key) {
    int card = -1;
    for (std::size_t i = 0; id && i < cards_.size(); ++i) {
        if (cards_[i].toolID != *id) continue;
        if (card < 0) card = int(i);
        if (key && cards_[i].key == *key) {
            card = int(i);
            break;
        }
    }
    if (card == selectedCard_) return;
    // Only the two cards whose look changes are drawn again, not every card
    // in view.
    for (int changed : {std::exchange(selectedCard_, card), card})
        if (changed >= 0) update(cardRect(changed));
}

bool ToolCardGrid::isSelected(int index) const {
    return index >= 0 && index == selectedCard_;
}

int ToolCardGrid::indexOf(const QString& identifier) const {
    for (std::size_t i = 0; i < cards_.size(); ++i)
        if (cards_[i].identifier == identifier) return int(i);
    return -1;
}

int ToolCardGrid::titleLines(std::size_t index, int width) const {
    Measure& measure = measures_[index];
    return lineCount(measure.title, width, 2, cards_[index].title, titleType(), measure.layout);
}

int ToolCardGrid::introductionLines(std::size_t index, int width) const {
    Measure& measure = measures_[index];
    return lineCount(measure.introduction, width, 3, cards_[index].introduction, introType(),
                     measure.layout);
}

int ToolCardGrid::contentHeight(std::size_t index, int columnWidth) const {
    const int inner = qMax(1, columnWidth - 2 * kInset);
    const int titleLines = this->titleLines(index, inner);
    const int introLines = introductionLines(index, inner);
    // Symbol row, title, introduction, an empty spacer and the safety line,
    // twelve apart.
    return 2 * kInset + kSymbolSize + titleLines * titleType().metrics.height() +
           introLines * introType().metrics.height() + (introLines - 1) * kIntroLineSpacing +
           safetyType().metrics.height() + 4 * kStackSpacing;
}

void ToolCardGrid::forgetGeometry() {
    geometries_.clear();
    drawn_.clear();
    frames_.clear();
    updateGeometry();
    update();
}

const ToolCardGrid::Geometry& ToolCardGrid::geometry(int width) const {
    for (const Geometry& known : geometries_)
        if (known.width == width) return known;
    // Widths seen while the window is resized are not asked for again.
    if (geometries_.size() >= 8) geometries_.erase(geometries_.begin());
    Geometry laid;
    laid.width = width;
    laid.columns = qMax(1, (width + kSpacing) / (kMinimumColumn + kSpacing));
    laid.columnWidth = qMax(1, (width - kSpacing * (laid.columns - 1)) / laid.columns);
    const std::size_t columns = std::size_t(laid.columns);
    int top = 0;
    for (std::size_t first = 0; first < cards_.size(); first += columns) {
        int height = kMinimumHeight;
        for (std::size_t i = first; i < std::min(cards_.size(), first + columns); ++i)
            height = qMax(height, contentHeight(i, laid.columnWidth));
        if (first) top += kSpacing;
        laid.rowTops.push_back(top);
        laid.rowHeights.push_back(height);
        top += height;
    }
    laid.height = top;
    geometries_.push_back(std::move(laid));
    return geometries_.back();
}

int ToolCardGrid::heightForWidth(int width) const {
    return geometry(width).height;
}

QSize ToolCardGrid::sizeHint() const {
    // Two columns of the shortest cards: the height that counts is the one
    // asked for the width the grid gets, so nothing is measured for a hint.
    const int rows = int(cards_.size() + 1) / 2;
    return {2 * kMinimumColumn + kSpacing, qMax(0, rows * (kMinimumHeight + kSpacing) - kSpacing)};
}

QSize ToolCardGrid::minimumSizeHint() const {
    return {kMinimumColumn, kMinimumHeight};
}

QRect ToolCardGrid::cardRect(int index) const {
    if (index < 0 || index >= int(cards_.size())) return {};
    const Geometry& laid = geometry(width());
    const int row = index / laid.columns;
    const int column = index % laid.columns;
    return {column * (laid.columnWidth + kSpacing), laid.rowTops[std::size_t(row)],
            laid.columnWidth, laid.rowHeights[std::size_t(row)]};
}

int ToolCardGrid::cardAt(const QPoint& point) const {
    const Geometry& laid = geometry(width());
    const auto after = std::upper_bound(laid.rowTops.begin(), laid.rowTops.end(), point.y());
    if (after == laid.rowTops.begin() || point.x() < 0) return -1;
    const auto row = std::size_t(after - laid.rowTops.begin() - 1);
    if (point.y() >= laid.rowTops[row] + laid.rowHeights[row]) return -1;
    const int column = point.x() / (laid.columnWidth + kSpacing);
    if (column >= laid.columns ||
        point.x() - column * (laid.columnWidth + kSpacing) >= laid.columnWidth)
        return -1;
    const int index = int(row) * laid.columns + column;
    return index < int(cards_.size()) ? index : -1;
}

void ToolCardGrid::press(int index) {
    if (index < 0 || index >= int(cards_.size())) return;
    focusCard_ = index;
    update();
    announceFocus();
    emit pressed(index);
}

void ToolCardGrid::announceFocus() {
    // The grid is one widget: a screen reader learns of the card that has the
    // keyboard only from us.
    if (!QAccessible::isActive() || !hasFocus() || cards_.empty()) return;
    QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this);
    if (QAccessibleInterface* card = grid ? grid->child(focusCard_) : nullptr) {
        QAccessibleEvent event(card, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

void ToolCardGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const Geometry& laid = geometry(width());
    const QRect exposed = event->rect();
    const auto firstRow = std::size_t(std::max<std::ptrdiff_t>(
        0, std::upper_bound(laid.rowTops.begin(), laid.rowTops.end(), exposed.top()) -
               laid.rowTops.begin() - 1));
    for (std::size_t row = firstRow; row < laid.rowTops.size(); ++row) {
        if (laid.rowTops[row] > exposed.bottom()) break;
        for (int column = 0; column < laid.columns; ++column) {
            const int index = int(row) * laid.columns + column;
            if (index >= int(cards_.size())) break;
            paintCard(painter, index, cardRect(index));
        }
    }
}

const ToolCardGrid::DrawnCard& ToolCardGrid::drawnCard(int index, int width) const {
    auto known = drawn_.find(index);
    if (known != drawn_.end() && known->second->width == width) return *known->second;
    // Kept for the cards in view, and those just scrolled past: a grid of
    // thousands keeps no more than a few screens of laid-out text.
    constexpr std::size_t kept = 96;
    if (known == drawn_.end() && drawn_.size() >= kept) drawn_.clear();
    return *(drawn_[index] = std::make_unique<DrawnCard>(cards_[std::size_t(index)], width));
}

const QPixmap& ToolCardGrid::cardFrame(const QSize& size, bool selected) const {
    const qreal ratio = devicePixelRatioF();
    for (const Frame& known : frames_)
        if (known.size == size && known.selected == selected && known.ratio == ratio)
            return known.pixmap;
    // Stroking a rounded outline costs more than the rest of a card: the
    // cards of a row share one size, so a few outlines serve the whole grid.
    constexpr std::size_t kept = 16;
    if (frames_.size() >= kept) frames_.erase(frames_.begin());
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(shape, selected ? QLTheme::tint(QLTheme::accent(), 0.09) : QLTheme::panel());
    painter.setPen(QPen(selected ? QLTheme::tint(QLTheme::accent(), 0.5) : QLTheme::line(), 1));
    painter.drawPath(shape);
    painter.end();
    frames_.push_back({size, selected, ratio, std::move(pixmap)});
    return frames_.back().pixmap;
}

void ToolCardGrid::paintCard(QPainter& painter, int index, const QRect& box) const {
    const ToolCard& card = cards_[std::size_t(index)];
    painter.drawPixmap(box.topLeft(), cardFrame(box.size(), isSelected(index)));
    if (QLTheme::showsFocus(*this) && index == focusCard_)
        QLTheme::paintFocus(painter, QRectF(box).adjusted(2, 2, -2, -2), 10);

    const QRect inner = box.adjusted(kInset, kInset, -kInset, -kInset);
    const qreal ratio = devicePixelRatioF();
    painter.drawPixmap(inner.topLeft(),
                       Symbols::pixmap(card.search ? QStringLiteral("magnifyingglass")
                                                   : QStringLiteral("arrow.up.right.square"),
                                       QLTheme::accent(), kSymbolSize, ratio));
    painter.drawPixmap(
        QPoint(inner.right() - kSymbolSize + 1, inner.top()),
        Symbols::pixmap(QStringLiteral("arrow.right"), QLTheme::muted(), kSymbolSize, ratio));
    int y = inner.top() + kSymbolSize + kStackSpacing;
    painter.setPen(Qt::white);
    const int titleLines = this->titleLines(std::size_t(index), inner.width());
    const DrawnCard& texts = drawnCard(index, inner.width());
    texts.title.draw(painter, QPointF(inner.left(), y));
    y += titleLines * titleType().metrics.height() + kStackSpacing;
    painter.setPen(QLTheme::muted());
    texts.introduction.draw(painter, QPointF(inner.left(), y));

    painter.setFont(safetyType().font);
    painter.setPen(card.readOnly ? QLTheme::accent() : QLTheme::attention());
    const int safetyHeight = safetyType().metrics.height();
    const QRect safety(inner.left(), inner.bottom() + 1 - safetyHeight, inner.width(),
                       safetyHeight);
    painter.drawText(safety, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(card.safety, Qt::ElideRight, inner.width()));
}

void ToolCardGrid::mousePressEvent(QMouseEvent* event) {
    pressedCard_ = event->button() == Qt::LeftButton ? cardAt(event->position().toPoint()) : -1;
    QWidget::mousePressEvent(event);
}

void ToolCardGrid::mouseReleaseEvent(QMouseEvent* event) {
    const int released = cardAt(event->position().toPoint());
    const int pressed = std::exchange(pressedCard_, -1);
    if (event->button() == Qt::LeftButton && released >= 0 && released == pressed) press(released);
    QWidget::mouseReleaseEvent(event);
}

void ToolCardGrid::keyPressEvent(QKeyEvent* event) {
    if (cards_.empty()) return QWidget::keyPressEvent(event);
    const int columns = geometry(width()).columns;
    int next = focusCard_;
    switch (event->key()) {
    case Qt::Key_Left:
        next -= 1;
        break;
    case Qt::Key_Right:
        next += 1;
        break;
    case Qt::Key_Up:
        next -= columns;
        break;
    case Qt::Key_Down:
        next += columns;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        press(focusCard_);
        return;
    default:
        return QWidget::keyPressEvent(event);
    }
    focusCard_ = qBound(0, next, int(cards_.size()) - 1);
    update();
    announceFocus();
    revealFocus(this);
}

QVariant ToolCardGrid::inputMethodQuery(Qt::InputMethodQuery query) const {
    // Where the keyboard is, for a page that brings it into view.
    if (query == Qt::ImCursorRectangle && !cards_.empty()) return cardRect(focusCard_);
    return QWidget::inputMethodQuery(query);
}

void ToolCardGrid::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
    // After the grid's own focus event, which the widget sends once this
    // returns: the card is what a screen reader should say last.
    QMetaObject::invokeMethod(
        this, [this] { announceFocus(); }, Qt::QueuedConnection);
}

void ToolCardGrid::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void ToolCardGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        forgetGeometry();
    QWidget::changeEvent(event);
}

} // namespace quorilanth
