#pragma once

#include "core/schema/SchemaProjection.h"

#include <QGraphicsItem>
#include <QPainterPath>
#include <QPointF>
#include <QString>
#include <cstddef>
#include <optional>

namespace quorilanth {

// Where one connection runs between the frames of its two cards.
struct ConnectionGeometry {
    QPointF start;
    QPointF control1;
    QPointF control2;
    QPointF end;
    QPointF badgeCentre;
    // Of the arrowhead at the end, in degrees, clockwise on screen.
    qreal arrowRotation = 0;
    // Links that do not run forward, left to right, are dashed.
    bool dashed = false;
};

// index counts every connection of the scene, drawn or not, so that links
// between the same columns fan out instead of lying on one another.
ConnectionGeometry connectionGeometry(const GraphRect& source, const GraphRect& target,
                                      std::size_t index);

// The first share of the curve, measured along its length.
QPainterPath connectionPrefix(const ConnectionGeometry& geometry, qreal share);

enum class ConnectionEmphasis { plain, focused, faded };

// Only the links of the focused card stand out; the others fade while a card
// has the focus.
ConnectionEmphasis connectionEmphasis(const SchemaConnection& connection,
                                      const std::optional<SchemaCard::ID>& focus);

// One connection: the curve, its arrowhead and its count badge. The curve
// can be drawn in part, for the reveal of a new scene.
class SchemaConnectionItem final : public QGraphicsItem {
public:
    SchemaConnectionItem(const ConnectionGeometry& geometry, std::size_t evidenceCount);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    ConnectionEmphasis emphasis() const { return emphasis_; }
    void setEmphasis(ConnectionEmphasis emphasis);
    // The drawn share of the curve, from 0 to 1.
    qreal strokeEnd() const { return strokeEnd_; }
    void setStrokeEnd(qreal value);
    // The pen of the curve as the emphasis has it, its colour opaque.
    QPen strokePen() const;
    QColor strokeColour() const;

private:
    ConnectionGeometry geometry_;
    QString count_;
    QRectF bounds_;
    // The plain and the focused stroke, outlined when first drawn.
    QPainterPath outlines_[2];
    ConnectionEmphasis emphasis_ = ConnectionEmphasis::plain;
    qreal strokeEnd_ = 1;
};

} // namespace quorilanth
