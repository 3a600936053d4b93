#include "app/schema/SchemaCanvas.h"

#include "app/kit/FocusOutline.h"
#include "app/kit/QLTheme.h"
#include "app/kit/ReducedMotion.h"
#include "app/schema/SchemaCardItem.h"
#include "app/schema/SchemaConnectionItem.h"
#include "app/schema/SchemaTexts.h"
#include "app/store/AppLanguage.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QEasingCurve>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionGraphicsItem>
#include <QTimer>
#include <QToolTip>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

namespace quorilanth {
namespace {

constexpr qreal arrivalMs = 300;
constexpr qreal revealMs = 350;
constexpr int wheelRestMs = 300;

QString number(std::size_t value) {
    return QString::number(static_cast<qulonglong>(value));
}

// The dot grid under everything, and in the overview the lane headers and the
// legend.
class Decoration final : public QGraphicsItem {
public:
    explicit Decoration(const SchemaScene& scene)
        : bounds_(0, 0, scene.bounds.width + 1, scene.bounds.height + 1) {
        if (scene.scope.which() != SchemaScope::Case::overview) return;
        const QString lanes[] = {
            AppLanguage::pick(QStringLiteral("ORIGINE"), QStringLiteral("ORIGIN")),
            QStringLiteral("DISCOVERY"),
            AppLanguage::pick(QStringLiteral("INTERFACCE"), QStringLiteral("INTERFACES")),
            AppLanguage::pick(QStringLiteral("CAPACIT\u00C0 E CONTENUTI"),
                              QStringLiteral("CAPABILITIES & CONTENT"))};
        for (int i = 0; i < 4; ++i)
            add(lanes[i], {35.0 + 322 * i, 28, 265, 18});
        const QString separator = QStringLiteral("  /  ");
        add(QString::number(scene.eligibleEdgeCount) + QLatin1Char(' ') +
                AppLanguage::pick(QStringLiteral("riferimenti osservati"),
                                  QStringLiteral("observed references")) +
                separator + number(scene.connections.size()) + QLatin1Char(' ') +
                AppLanguage::pick(QStringLiteral("connessioni aggregate"),
                                  QStringLiteral("aggregated connections")) +
                separator + number(scene.internalEdges.size()) + QLatin1Char(' ') +
                AppLanguage::pick(QStringLiteral("riferimenti interni ai gruppi"),
                                  QStringLiteral("references within groups")),
            {35, scene.bounds.height - 32, 1220, 20});
    }
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override {
        paintGrid(*painter, bounds_ & option->exposedRect);
        for (const CanvasText& text : texts_)
            paintText(*painter, text);
    }

private:
    // Each dot is one square of whole device pixels, placed where the
    // magnification puts it: a tiled brush would be filtered across the
    // whole view at every paint, costing more than all the cards together.
    static void paintGrid(QPainter& painter, const QRectF& area) {
        const QTransform world = painter.worldTransform();
        if (world.type() > QTransform::TxScale) return;
        const int side = std::max(1, qRound(world.m11()));
        QVector<QRect> dots;
        for (qreal y = std::ceil(area.top() / 24) * 24; y < area.bottom(); y += 24)
            for (qreal x = std::ceil(area.left() / 24) * 24; x < area.right(); x += 24)
                dots.append(QRect(world.map(QPointF(x, y)).toPoint(), QSize(side, side)));
        painter.save();
        painter.resetTransform();
        painter.setPen(Qt::NoPen);
        painter.setBrush(dotColour());
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawRects(dots);
        painter.restore();
    }

    // The dots lie on the plain background alone, so their translucency can
    // be laid over it once: an opaque fill is a copy, a translucent one a blend.
    static QColor dotColour() {
        return blend(QLTheme::background(), QColor::fromRgbF(0.6f, 0.6f, 0.6f), 0.08);
    }

    void add(const QString& text, QRectF frame) {
        const QByteArray bytes = text.toUtf8();
        texts_.push_back(canvasText({bytes.constData(), static_cast<std::size_t>(bytes.size())},
                                    frame, 10, QLTheme::muted(), true));
    }

    QRectF bounds_;
    std::vector<CanvasText> texts_;
};

QRectF toRect(const GraphRect& r) {
    return {r.x, r.y, r.width, r.height};
}

bool contains(const GraphRect& r, QPointF p) {
    return p.x() >= r.x && p.x() < r.maxX() && p.y() >= r.y && p.y() < r.maxY();
}

// The canvas before assistive tools: a group whose children are the cards.
class CanvasAccessible final : public QAccessibleWidget {
public:
    explicit CanvasAccessible(SchemaCanvas* canvas)
        : QAccessibleWidget(canvas, QAccessible::Grouping) {}
    const std::vector<SchemaAccessibleCard*>& cards() const {
        return static_cast<SchemaCanvas*>(widget())->accessibleCards();
    }
    int childCount() const override { return static_cast<int>(cards().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        return QAccessible::queryAccessibleInterface(cards()[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto& all = cards();
        const auto it = std::find(all.begin(), all.end(), child ? child->object() : nullptr);
        return it == all.end() ? -1 : static_cast<int>(it - all.begin());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* card = child(i); card && card->rect().contains(x, y))
                return card;
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* card = child(i); card && card->state().focused) return card;
        return nullptr;
    }
};

class CardAccessible final : public QAccessibleObject, public QAccessibleActionInterface {
public:
    explicit CardAccessible(SchemaAccessibleCard* card) : QAccessibleObject(card) {}
    SchemaAccessibleCard* card() const { return static_cast<SchemaAccessibleCard*>(object()); }

    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.focusable = true;
        const SchemaCanvas* canvas = card()->canvas();
        state.focused = canvas && canvas->hasFocus() && canvas->keyboardFocus() == card()->id();
        return state;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? card()->label() : QString();
    }
    QRect rect() const override {
        SchemaCanvas* canvas = card()->canvas();
        if (!canvas || !canvas->isVisible()) return {};
        const QRect shown = canvas->mapFromScene(toRect(card()->cardFrame())).boundingRect();
        return {canvas->viewport()->mapToGlobal(shown.topLeft()), shown.size()};
    }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(card()->canvas());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) card()->press();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    static QRectF toRect(const GraphRect& r) { return {r.x, r.y, r.width, r.height}; }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("quorilanth::SchemaCanvas") && object->isWidgetType())
        return new CanvasAccessible(static_cast<SchemaCanvas*>(object));
    if (className == QLatin1String("quorilanth::SchemaAccessibleCard"))
        return new CardAccessible(static_cast<SchemaAccessibleCard*>(object));
    return nullptr;
}

QString cardLabel(const SchemaCard& card) {
    if (!card.isGroup()) return boundedText(card.members.front().label);
    return schemaKindTitle(card.kind) + QStringLiteral(", ") + number(card.members.size()) +
           QLatin1Char(' ') +
           AppLanguage::pick(QStringLiteral("elementi. Apri gruppo"),
                             QStringLiteral("observations. Open group"));
}

} // namespace

SchemaAccessibleCard::SchemaAccessibleCard(SchemaCanvas* canvas, SchemaCard::ID id,
                                           const QString& label, const GraphRect& frame)
    : QObject(canvas), canvas_(canvas), id_(std::move(id)), label_(label), frame_(frame) {
    const std::string name = id_.isGroup() ? "schema-group-" + std::string(toString(id_.kind()))
                                           : "schema-node-" + id_.nodeID();
    setObjectName(QString::fromStdString(name));
}

SchemaCanvas* SchemaAccessibleCard::canvas() const {
    return canvas_;
}

bool SchemaAccessibleCard::press() {
    if (canvas_) canvas_->activate(id_, false);
    return true;
}

SchemaCanvas::SchemaCanvas(QWidget* parent)
    : QGraphicsView(parent), graphics_(new QGraphicsScene(this)),
      motion_(new QVariantAnimation(this)), wheelRest_(new QTimer(this)) {
    static const bool factory = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(factory);
    setObjectName(QStringLiteral("ql-schema-graph"));
    setAccessibleName(AppLanguage::pick(QStringLiteral("Architettura agentica interattiva"),
                                        QStringLiteral("Interactive agentic architecture")));
    // Items are few and all replaced at each update: an index would only cost.
    graphics_->setItemIndexMethod(QGraphicsScene::NoIndex);
    setScene(graphics_);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(QLTheme::background());
    setInteractive(false);
    setAlignment(Qt::AlignCenter);
    setTransformationAnchor(QGraphicsView::NoAnchor);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                   QPainter::SmoothPixmapTransform);
    setFocusPolicy(Qt::StrongFocus);
    // Tab moves between the cards once the canvas has it; arriving, no card
    // is marked yet.
    new FocusOutline(this, 0);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::OpenHandCursor);

    motion_->setStartValue(0.0);
    motion_->setEndValue(revealMs);
    motion_->setDuration(static_cast<int>(revealMs));
    connect(motion_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { step(value.toReal()); });
    wheelRest_->setSingleShot(true);
    wheelRest_->setInterval(wheelRestMs);
    connect(wheelRest_, &QTimer::timeout, this,
            [this] { emit magnificationEnded(magnification()); });
}

SchemaCanvas::~SchemaCanvas() {
    motion_->stop();
}

bool SchemaCanvas::motionAllowed() const {
    return animatesChanges && !reducedMotion();
}

bool SchemaCanvas::animating() const {
    return motion_->state() == QAbstractAnimation::Running;
}

void SchemaCanvas::step(qreal ms) {
    // The usual ease-in-ease-out of a layer's move.
    static const QEasingCurve ease = [] {
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment({0.42, 0}, {0.58, 1}, {1, 1});
        return curve;
    }();
    const qreal arrived = std::min(1.0, ms / arrivalMs);
    for (const Arrival& arrival : arrivals_) {
        if (arrival.from)
            arrival.item->setPos(*arrival.from +
                                 (arrival.to - *arrival.from) * ease.valueForProgress(arrived));
        else
            arrival.item->setOpacity(arrived);
    }
    for (SchemaConnectionItem* item : reveals_)
        item->setStrokeEnd(ms / revealMs);
}

void SchemaCanvas::finishMotion() {
    motion_->stop();
    step(revealMs);
    arrivals_.clear();
    reveals_.clear();
}

void SchemaCanvas::drawScene(std::shared_ptr<const SchemaScene> scene,
                             std::optional<std::string> selected) {
    if (!scene) return;
    const bool changed = !scene_ || (scene_ != scene && !(*scene_ == *scene));
    if (!changed && selected == selected_) return;
    finishMotion();
    scene_ = std::move(scene);
    selected_ = std::move(selected);
    const SchemaScene& s = *scene_;
    const bool motion = motionAllowed();
    graphics_->setSceneRect(0, 0, s.bounds.width, s.bounds.height);

    if (changed) {
        delete decoration_;
        decoration_ = new Decoration(s);
        decoration_->setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
        graphics_->addItem(decoration_);
    }
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (s.frame(it->first)) {
            ++it;
            continue;
        }
        delete it->second;
        it = nodes_.erase(it);
    }
    for (const SchemaCard& card : s.cards) {
        const GraphRect* frame = s.frame(card.id);
        if (!frame) continue;
        const bool isSelected =
            selected_ && std::any_of(card.members.begin(), card.members.end(),
                                     [&](const GraphNode& node) { return node.id == *selected_; });
        auto* item = new SchemaCardItem(card, {frame->width, frame->height}, isSelected);
        const QPointF position(frame->x, frame->y);
        item->setPos(position);
        item->setZValue(2);
        graphics_->addItem(item);
        SchemaCardItem* previous = std::exchange(nodes_[card.id], item);
        if (!previous) {
            if (motion) {
                item->setOpacity(0);
                arrivals_.push_back({item, std::nullopt, position});
            }
            continue;
        }
        if (changed && motion && previous->pos() != position) {
            arrivals_.push_back({item, previous->pos(), position});
            item->setPos(previous->pos());
        }
        delete previous;
    }

    for (const Stroke& stroke : strokes_)
        delete stroke.item;
    strokes_.clear();
    for (std::size_t i = 0; i < s.connections.size(); ++i) {
        const SchemaConnection& connection = s.connections[i];
        const GraphRect* from = s.frame(connection.source);
        const GraphRect* to = s.frame(connection.target);
        if (!from || !to) continue;
        auto* item =
            new SchemaConnectionItem(connectionGeometry(*from, *to, i), connection.evidence.size());
        item->setZValue(1);
        graphics_->addItem(item);
        strokes_.push_back({&connection, item});
        if (changed && motion) {
            item->setStrokeEnd(0);
            reveals_.push_back(item);
        }
    }
    highlightConnections();
    if (!arrivals_.empty() || !reveals_.empty()) motion_->start();

    // A card the keyboard reaches selects its node, and the redraw that
    // follows comes before a screen reader reads the card we announced: the
    // same scene keeps its accessible cards.
    if (!changed) return;
    // Removed from the tree at once, so that a search by name finds only the
    // cards of this scene; deleted later, as one may be pressing just now.
    for (SchemaAccessibleCard* card : accessible_) {
        card->setParent(nullptr);
        card->deleteLater();
    }
    accessible_.clear();
    for (const SchemaCard& card : s.cards)
        if (const GraphRect* frame = s.frame(card.id))
            accessible_.push_back(new SchemaAccessibleCard(this, card.id, cardLabel(card), *frame));
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

SchemaCardItem* SchemaCanvas::cardItem(const SchemaCard::ID& id) const {
    const auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : it->second;
}

std::optional<SchemaCard::ID> SchemaCanvas::card(QPointF point) const {
    if (!scene_) return std::nullopt;
    for (const SchemaCard& card : scene_->cards)
        if (const GraphRect* frame = scene_->frame(card.id); frame && contains(*frame, point))
            return card.id;
    return std::nullopt;
}

void SchemaCanvas::activate(SchemaCard::ID id, bool branch) {
    // The callbacks may replace the scene and this canvas's state: the id is
    // our own copy.
    keyboardFocus_ = id;
    if (id.isGroup()) {
        if (onGroup) onGroup(id.kind());
        return;
    }
    if (onSelect) onSelect(id.nodeID());
    if (branch && onBranch) onBranch(id.nodeID());
}

void SchemaCanvas::highlightConnections() {
    std::optional<SchemaCard::ID> focus = hovered_;
    if (!focus && selected_ && scene_)
        for (const SchemaCard& card : scene_->cards)
            if (std::any_of(card.members.begin(), card.members.end(),
                            [&](const GraphNode& node) { return node.id == *selected_; })) {
                focus = card.id;
                break;
            }
    for (const Stroke& stroke : strokes_)
        stroke.item->setEmphasis(connectionEmphasis(*stroke.connection, focus));
}

QPointF SchemaCanvas::toCanvas(QPointF viewportPoint) const {
    return viewportTransform().inverted().map(viewportPoint);
}

double SchemaCanvas::magnification() const {
    return transform().m11();
}

void SchemaCanvas::setMagnification(double value, std::optional<QPointF> centre) {
    value = std::clamp(value, SchemaProjection::minimumZoom, maximumZoom);
    const QPointF point = centre ? *centre : toCanvas(QRectF(viewport()->rect()).center());
    setTransform(QTransform::fromScale(value, value));
    centerOn(point);
}

void SchemaCanvas::zoomBy(double factor, QPointF anchor) {
    // The point under the pointer stays under it.
    const QPointF point = toCanvas(anchor);
    const double value =
        std::clamp(magnification() * factor, SchemaProjection::minimumZoom, maximumZoom);
    setTransform(QTransform::fromScale(value, value));
    centerOn(point - (anchor - QRectF(viewport()->rect()).center()) / value);
}

void SchemaCanvas::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QGraphicsView::wheelEvent(event);
        return;
    }
    event->accept();
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    zoomBy(std::pow(1.2, steps), event->position());
    wheelRest_->start();
}

bool SchemaCanvas::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::NativeGesture: {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            zoomBy(1 + gesture->value(), gesture->position());
            return true;
        }
        if (gesture->gestureType() == Qt::EndNativeGesture) {
            emit magnificationEnded(magnification());
            return true;
        }
        break;
    }
    case QEvent::ToolTip: {
        // Remote text, escaped, so that no markup in it is ever read.
        auto* help = static_cast<QHelpEvent*>(event);
        if (toolTip_.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<p style='white-space:pre-wrap'>") +
                                   toolTip_.toHtmlEscaped() + QStringLiteral("</p>"),
                               viewport());
        return true;
    }
    default:
        break;
    }
    return QGraphicsView::viewportEvent(event);
}

void SchemaCanvas::press(QMouseEvent* event, bool twice) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return;
    const std::optional<SchemaCard::ID> id = card(toCanvas(event->position()));
    if (twice) {
        // When the first press of the pair opened a group or another page, or
        // its selection brought the inspector in and moved the map, the second
        // lands on a card the user never aimed at.
        const bool moved =
            (pressScene_ != scene_ && (!pressScene_ || !scene_ || !(*pressScene_ == *scene_))) ||
            id != pressCard_;
        pressScene_.reset();
        if (moved) return;
    } else {
        pressScene_ = scene_;
        pressCard_ = id;
    }
    if (id) {
        activate(*id, twice);
        return;
    }
    dragOrigin_ = event->globalPosition().toPoint();
    scrollOrigin_ = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void SchemaCanvas::mousePressEvent(QMouseEvent* event) {
    press(event, false);
}

void SchemaCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, true);
}

void SchemaCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!dragOrigin_) {
        hover(event->position());
        return;
    }
    // Scroll bars count pixels on screen, so the content follows the pointer
    // at every magnification.
    const QPoint moved = event->globalPosition().toPoint() - *dragOrigin_;
    horizontalScrollBar()->setValue(scrollOrigin_.x() - moved.x());
    verticalScrollBar()->setValue(scrollOrigin_.y() - moved.y());
}

void SchemaCanvas::mouseReleaseEvent(QMouseEvent*) {
    if (dragOrigin_) viewport()->setCursor(hovered_ ? Qt::PointingHandCursor : Qt::OpenHandCursor);
    dragOrigin_.reset();
}

QString SchemaCanvas::toolTipFor(const SchemaCard& card) const {
    const QString dot = QStringLiteral(" \u00B7 ");
    if (!card.isGroup()) {
        const GraphNode& node = card.members.front();
        return boundedText(node.label) + dot + QLTheme::statusWord(node.status) +
               QLatin1Char('\n') + boundedText(node.summary);
    }
    QStringList lines;
    for (std::size_t i = 0; i < std::min<std::size_t>(12, card.members.size()); ++i)
        lines.append(boundedText(card.members[i].label) + dot +
                     QLTheme::statusWord(card.members[i].status));
    lines.append(AppLanguage::pick(QStringLiteral("Apri il gruppo per vedere tutti gli elementi."),
                                   QStringLiteral("Open the group to see all observations.")));
    return lines.join(QLatin1Char('\n'));
}

void SchemaCanvas::hover(QPointF viewportPoint) {
    const std::optional<SchemaCard::ID> id = card(toCanvas(viewportPoint));
    if (id == hovered_) return;
    hovered_ = id;
    highlightConnections();
    const SchemaCard* shown = nullptr;
    if (id && scene_)
        for (const SchemaCard& card : scene_->cards)
            if (card.id == *id) shown = &card;
    viewport()->setCursor(shown ? Qt::PointingHandCursor : Qt::OpenHandCursor);
    toolTip_ = shown ? toolTipFor(*shown) : QString();
    if (!shown) QToolTip::hideText();
}

bool SchemaCanvas::event(QEvent* event) {
    // Tab is ours while there are cards to move between; the widget's own
    // handling would take it for focus first.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            key->accept();
            keyPressEvent(key);
            if (key->isAccepted()) return true;
        }
    }
    return QGraphicsView::event(event);
}

void SchemaCanvas::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
    const bool shift = key == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    event->accept();
    // Ctrl+Tab leaves the canvas, as it leaves every widget that keeps Tab.
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(!shift);
        return;
    }
    if (!scene_) return;
    if (key == Qt::Key_Return && keyboardFocus_) {
        activate(*keyboardFocus_, true);
        return;
    }
    if ((tab || key == Qt::Key_Left || key == Qt::Key_Right) && !scene_->cards.empty()) {
        moveFocus(key == Qt::Key_Left || shift ? -1 : 1);
        return;
    }
    event->ignore();
    if (!tab) QGraphicsView::keyPressEvent(event);
}

void SchemaCanvas::moveFocus(int step) {
    const std::vector<SchemaCard>& cards = scene_->cards;
    const auto n = static_cast<std::ptrdiff_t>(cards.size());
    SchemaCard::ID current = cards.front().id;
    if (keyboardFocus_)
        current = *keyboardFocus_;
    else if (selected_)
        current = SchemaCard::ID::observation(*selected_);
    std::ptrdiff_t i = -1;
    for (std::ptrdiff_t k = 0; k < n; ++k)
        if (cards[static_cast<std::size_t>(k)].id == current) i = k;
    const SchemaCard::ID next = cards[static_cast<std::size_t>(((i + step) % n + n) % n)].id;
    keyboardFocus_ = next;
    hovered_ = next;
    highlightConnections();
    const GraphRect* frame = scene_->frame(next);
    const std::optional<QRectF> shown =
        frame ? std::optional(toRect(*frame).adjusted(-20, -20, 20, 20)) : std::nullopt;
    if (!next.isGroup() && onSelect) onSelect(next.nodeID());
    if (shown) ensureVisible(*shown, 0, 0);
    announceFocus();
}

void SchemaCanvas::announceFocus() {
    // The cards are painted: a screen reader learns which one has the
    // keyboard only from us.
    if (!QAccessible::isActive() || !hasFocus() || !keyboardFocus_) return;
    for (SchemaAccessibleCard* card : accessible_)
        if (card->id() == *keyboardFocus_) {
            QAccessibleEvent event(card, QAccessible::Focus);
            QAccessible::updateAccessibility(&event);
            return;
        }
}

} // namespace quorilanth
