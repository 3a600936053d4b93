#include "app/schema/SchemaConnectionItem.h"

#include "app/kit/QLTheme.h"
#include "app/schema/SchemaCardItem.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

namespace quorilanth {
namespace {

constexpr qreal plainWidth = 1.3;
constexpr qreal focusedWidth = 2;
constexpr QRectF badgeBox(-18, -9, 36, 18);

QPainterPath curve(const ConnectionGeometry& g) {
    QPainterPath path(g.start);
    path.cubicTo(g.control1, g.control2, g.end);
    return path;
}

// The curve up to its parameter t, split the way de Casteljau does.
QPainterPath curveUpTo(const ConnectionGeometry& g, qreal t) {
    const auto lerp = [t](QPointF a, QPointF b) { return a + (b - a) * t; };
    const QPointF a = lerp(g.start, g.control1);
    const QPointF b = lerp(g.control1, g.control2);
    const QPointF c = lerp(g.control2, g.end);
    const QPointF ab = lerp(a, b);
    const QPointF bc = lerp(b, c);
    QPainterPath path(g.start);
    path.cubicTo(a, ab, lerp(ab, bc));
    return path;
}

} // namespace

QPainterPath connectionPrefix(const ConnectionGeometry& geometry, qreal share) {
    // The parameter of a curve does not advance evenly along it: the reveal
    // is measured in length, so the stroke grows at one speed.
    const QPainterPath whole = curve(geometry);
    return curveUpTo(geometry, whole.percentAtLength(whole.length() * std::clamp(share, 0.0, 1.0)));
}

ConnectionGeometry connectionGeometry(const GraphRect& s, const GraphRect& t, std::size_t index) {
    ConnectionGeometry g;
    const auto fan = static_cast<qreal>(index % 5);
    if (std::abs(t.midX() - s.midX()) < 2) {
        const bool below = s.midY() < t.midY();
        g.start = {s.midX() + 50, below ? s.maxY() : s.y};
        g.end = {t.midX() + 50, below ? t.y : t.maxY()};
        const qreal middle = (g.start.y() + g.end.y()) / 2;
        g.control1 = g.control2 = g.badgeCentre = {g.start.x(), middle};
        g.arrowRotation = below ? 90 : -90;
    } else if (s.midX() < t.midX()) {
        const qreal offset = (fan - 2) * 10;
        g.start = {s.maxX(), s.midY() + offset};
        g.end = {t.x, t.midY() + offset};
        const qreal c = std::max(std::abs(g.end.x() - g.start.x()) * 0.45, 45.0);
        g.control1 = {g.start.x() + c, g.start.y()};
        g.control2 = {g.end.x() - c, g.end.y()};
        g.badgeCentre = (g.start + g.end) / 2;
    } else {
        // Backwards the curve arches through the band above the cards.
        const qreal lift = 65 + 12 * fan;
        g.start = {s.midX() - 38, s.y};
        g.end = {t.midX() - 38, t.y};
        g.control1 = {g.start.x(), lift};
        g.control2 = {g.end.x(), lift};
        g.badgeCentre = {(g.start.x() + g.end.x()) / 2,
                         0.75 * lift + 0.125 * (g.start.y() + g.end.y())};
        g.arrowRotation = 90;
    }
    g.dashed = !(s.midX() < t.midX());
    return g;
}

ConnectionEmphasis connectionEmphasis(const SchemaConnection& connection,
                                      const std::optional<SchemaCard::ID>& focus) {
    if (!focus) return ConnectionEmphasis::plain;
    return connection.source == *focus || connection.target == *focus ? ConnectionEmphasis::focused
                                                                      : ConnectionEmphasis::faded;
}

SchemaConnectionItem::SchemaConnectionItem(const ConnectionGeometry& geometry,
                                           std::size_t evidenceCount)
    : geometry_(geometry), count_(QString::number(static_cast<qulonglong>(evidenceCount))) {
    // Room for the widest pen, the arrowhead and the badge.
    bounds_ = curve(geometry_).controlPointRect().adjusted(-6, -6, 6, 6) |
              badgeBox.translated(geometry_.badgeCentre);
}

QRectF SchemaConnectionItem::boundingRect() const {
    return bounds_;
}

void SchemaConnectionItem::setEmphasis(ConnectionEmphasis emphasis) {
    if (emphasis == emphasis_) return;
    emphasis_ = emphasis;
    update();
}

void SchemaConnectionItem::setStrokeEnd(qreal value) {
    value = std::clamp(value, 0.0, 1.0);
    if (value == strokeEnd_) return;
    strokeEnd_ = value;
    update();
}

QColor SchemaConnectionItem::strokeColour() const {
    // The stroke's translucency is laid over the canvas's background here,
    // once: the raster engine fills thin translucent shapes span by span on
    // worker threads, several times slower than an opaque fill. Only where a
    // stroke crosses another or a dot of the grid does the result differ, by
    // a shade.
    const qreal alpha = emphasis_ == ConnectionEmphasis::focused ? 0.85
                        : emphasis_ == ConnectionEmphasis::faded ? 0.26 * 0.14
                                                                 : 0.26;
    return blend(QLTheme::background(), QLTheme::accent(), alpha);
}

QPen SchemaConnectionItem::strokePen() const {
    const qreal width = emphasis_ == ConnectionEmphasis::focused ? focusedWidth : plainWidth;
    QPen pen(strokeColour(), width);
    pen.setCapStyle(Qt::FlatCap);
    // A pen measures its dashes in line widths; these are 4 and 5 points
    // whatever the width.
    if (geometry_.dashed) pen.setDashPattern({4 / width, 5 / width});
    return pen;
}

void SchemaConnectionItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    if (strokeEnd_ > 0) {
        if (strokeEnd_ < 1) {
            painter->setPen(strokePen());
            painter->drawPath(connectionPrefix(geometry_, strokeEnd_));
        } else {
            // Outlining a long curve is most of what drawing it costs, and
            // magnified even more: each width is outlined once.
            QPainterPath& outline = outlines_[emphasis_ == ConnectionEmphasis::focused];
            if (outline.isEmpty())
                outline = QPainterPathStroker(strokePen()).createStroke(curve(geometry_));
            painter->fillPath(outline, strokeColour());
        }
    }

    painter->save();
    painter->translate(geometry_.end);
    painter->rotate(geometry_.arrowRotation);
    QPen arrow(QLTheme::tint(QLTheme::accent(), 0.6), 1.4);
    arrow.setJoinStyle(Qt::MiterJoin);
    painter->setPen(arrow);
    const QPointF chevron[] = {{-5, -3}, {0, 0}, {-5, 3}};
    painter->drawPolyline(chevron, 3);
    painter->restore();

    if (emphasis_ != ConnectionEmphasis::focused) return;
    const QRectF badge = badgeBox.translated(geometry_.badgeCentre);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QLTheme::background());
    painter->drawRoundedRect(badge, 5, 5);
    painter->setPen(QLTheme::accent());
    painter->setFont(QLTheme::font(9, QFont::Medium, QLTheme::Design::monospaced));
    painter->drawText(badge.adjusted(0, 3, 0, -2), Qt::AlignHCenter | Qt::AlignTop, count_);
}

} // namespace quorilanth
