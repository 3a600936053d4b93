#pragma once

#include "core/schema/SchemaProjection.h"

#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <functional>
#include <string_view>
#include <vector>

namespace quorilanth {

// `to` laid at the given opacity over `from`, as one opaque colour.
QColor blend(const QColor& from, const QColor& to, qreal fraction);

// The width a text takes in its font; tests measure with a stub.
using TextWidth = std::function<qreal(const QString&)>;

// A text on one line within `room`: line breaks become spaces, and a text too
// wide keeps as many whole characters as fit before "…". Only a bounded
// prefix of the text is ever read or measured, so a megabyte costs what a
// line costs.
QString fitText(std::string_view text, qreal room, const TextWidth& width);

// A remote text for a tooltip or an assistive tool: its first few hundred
// characters, with "…" when there were more.
QString boundedText(std::string_view text);

// One line of text on a card or on the canvas's decoration, already fitted.
struct CanvasText {
    QString text;
    QRectF frame;
    QFont font;
    QColor colour;
    Qt::Alignment alignment = Qt::AlignLeft;
};

// A fitted text in the canvas's two faces: monospaced medium, or the
// proportional face in semibold.
CanvasText canvasText(std::string_view text, const QRectF& frame, int size, const QColor& colour,
                      bool mono);
void paintText(QPainter& painter, const CanvasText& text);

// The texts of a card of the given size, top to bottom.
std::vector<CanvasText> cardTexts(const SchemaCard& card, const QSizeF& size);

// One card, painted: its shadow comes from a pixmap made once per look.
class SchemaCardItem final : public QGraphicsItem {
public:
    SchemaCardItem(const SchemaCard& card, const QSizeF& size, bool selected);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    bool isSelectedCard() const { return selected_; }
    const std::vector<CanvasText>& texts() const { return texts_; }

private:
    void paintCard(QPainter& painter) const;

    QSizeF size_;
    bool selected_;
    NodeKind kind_;
    QColor status_; // the dot of an observation card; invalid for a group
    std::vector<CanvasText> texts_;
    QPixmap cache_;
    qreal cacheScale_ = 0;
};

} // namespace quorilanth
