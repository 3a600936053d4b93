#include "app/kit/Symbols.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmapCache>
#include <cmath>
#include <functional>
#include <map>

namespace quorilanth {
namespace {

// Every symbol is drawn on a 24 by 24 grid; stroke() lines, fill() solids.
struct Pen {
    QPainter& painter;
    QColor color;
    void stroke(const QPainterPath& path, qreal width = 1.8) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    void fill(const QPainterPath& path) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(path);
    }
};

QPainterPath circle(qreal x, qreal y, qreal r) {
    QPainterPath path;
    path.addEllipse(QPointF(x, y), r, r);
    return path;
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& p : points) {
        if (first)
            path.moveTo(p);
        else
            path.lineTo(p);
        first = false;
    }
    return path;
}

QPainterPath roundedRect(qreal x, qreal y, qreal w, qreal h, qreal r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

// A five-pointed star filling most of the grid.
QPainterPath star() {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 ? 4.2 : 9.5;
        const qreal angle = (i * 36.0 - 90.0) * 3.14159265358979 / 180.0;
        const QPointF point(12 + radius * std::cos(angle), 12.8 + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

using Drawing = std::function<void(Pen&)>;

const std::map<QString, Drawing>& drawings() {
    static const std::map<QString, Drawing> table{
        {"point.3.connected.trianglepath.dotted",
         [](Pen& p) {
             QPainterPath lines = polyline({{12, 4.5}, {4.5, 18}, {19.5, 18}, {12, 4.5}});
             p.painter.setPen(QPen(p.color, 1.4, Qt::DotLine, Qt::RoundCap));
             p.painter.setBrush(Qt::NoBrush);
             p.painter.drawPath(lines);
             p.fill(circle(12, 4.5, 2.6));
             p.fill(circle(4.5, 18, 2.6));
             p.fill(circle(19.5, 18, 2.6));
         }},
        {"folder",
         [](Pen& p) {
             p.stroke(polyline(
                 {{3, 7}, {3, 19}, {21, 19}, {21, 8.5}, {11.5, 8.5}, {9.5, 6}, {3, 6}, {3, 7}}));
         }},
        {"folder.badge.plus",
         [](Pen& p) {
             p.stroke(
                 polyline({{15, 19}, {3, 19}, {3, 6}, {9.5, 6}, {11.5, 8.5}, {21, 8.5}, {21, 12}}));
             p.stroke(polyline({{19, 14}, {19, 22}}), 1.7);
             p.stroke(polyline({{15, 18}, {23, 18}}), 1.7);
         }},
        {"plus",
         [](Pen& p) {
             p.stroke(polyline({{12, 4.5}, {12, 19.5}}), 2);
             p.stroke(polyline({{4.5, 12}, {19.5, 12}}), 2);
         }},
        {"minus",
         [](Pen& p) {
             p.stroke(polyline({{4.5, 12}, {19.5, 12}}), 2);
         }},
        {"arrow.up.left.and.arrow.down.right",
         [](Pen& p) {
             p.stroke(polyline({{5, 5}, {10.5, 10.5}}), 1.8);
             p.stroke(polyline({{5, 10.5}, {5, 5}, {10.5, 5}}), 1.8);
             p.stroke(polyline({{19, 19}, {13.5, 13.5}}), 1.8);
             p.stroke(polyline({{19, 13.5}, {19, 19}, {13.5, 19}}), 1.8);
         }},
        {"plus.viewfinder",
         [](Pen& p) {
             for (const auto& corner : {polyline({{3.5, 8.5}, {3.5, 3.5}, {8.5, 3.5}}),
                                        polyline({{15.5, 3.5}, {20.5, 3.5}, {20.5, 8.5}}),
                                        polyline({{20.5, 15.5}, {20.5, 20.5}, {15.5, 20.5}}),
                                        polyline({{8.5, 20.5}, {3.5, 20.5}, {3.5, 15.5}})})
                 p.stroke(corner);
             p.stroke(polyline({{12, 8}, {12, 16}}));
             p.stroke(polyline({{8, 12}, {16, 12}}));
         }},
        {"clock",
         [](Pen& p) {
             p.stroke(circle(12, 12, 8.5));
             p.stroke(polyline({{12, 7}, {12, 12}, {15.5, 14}}));
         }},
        {"clock.arrow.circlepath",
         [](Pen& p) {
             QPainterPath arc;
             arc.arcMoveTo(QRectF(3.5, 3.5, 17, 17), 200);
             arc.arcTo(QRectF(3.5, 3.5, 17, 17), 200, -290);
             p.stroke(arc);
             p.stroke(polyline({{2, 10}, {4.2, 14}, {7.5, 11}}));
             p.stroke(polyline({{12, 8}, {12, 12}, {15, 14}}), 1.6);
         }},
        {"star", [](Pen& p) { p.stroke(star(), 1.6); }},
        {"star.fill", [](Pen& p) { p.fill(star()); }},
        {"square.stack",
         [](Pen& p) {
             p.stroke(roundedRect(3.5, 9, 13, 12, 2));
             p.stroke(polyline({{7, 9}, {7, 5.5}, {20.5, 5.5}, {20.5, 17.5}, {16.5, 17.5}}), 1.6);
         }},
        {"lock.shield",
         [](Pen& p) {
             QPainterPath shield;
             shield.moveTo(12, 2.5);
             shield.lineTo(20, 5.5);
             shield.lineTo(20, 11.5);
             shield.cubicTo(20, 16.5, 16.5, 19.5, 12, 21.5);
             shield.cubicTo(7.5, 19.5, 4, 16.5, 4, 11.5);
             shield.lineTo(4, 5.5);
             shield.closeSubpath();
             p.stroke(shield, 1.6);
             p.fill(roundedRect(9, 11, 6, 5, 1));
             QPainterPath shackle;
             shackle.moveTo(10, 11);
             shackle.lineTo(10, 9.5);
             shackle.arcTo(QRectF(10, 7.5, 4, 4), 180, -180);
             shackle.lineTo(14, 11);
             p.stroke(shackle, 1.3);
         }},
        {"magnifyingglass",
         [](Pen& p) {
             p.stroke(circle(10.5, 10.5, 6.5), 2);
             p.stroke(polyline({{15.3, 15.3}, {20.5, 20.5}}), 2.4);
         }},
        {"xmark.circle.fill",
         [](Pen& p) {
             QPainterPath disc = circle(12, 12, 9.5);
             QPainterPath cross;
             QPainterPathStroker stroker;
             stroker.setWidth(2.2);
             stroker.setCapStyle(Qt::RoundCap);
             cross.addPath(stroker.createStroke(polyline({{8.5, 8.5}, {15.5, 15.5}})));
             cross.addPath(stroker.createStroke(polyline({{15.5, 8.5}, {8.5, 15.5}})));
             p.fill(disc.subtracted(cross.simplified()));
         }},
        {"tray",
         [](Pen& p) {
             p.stroke(polyline(
                 {{3, 13}, {6, 4.5}, {18, 4.5}, {21, 13}, {21, 19.5}, {3, 19.5}, {3, 13}}));
             p.stroke(
                 polyline({{3, 13}, {8.5, 13}, {9.5, 15.5}, {14.5, 15.5}, {15.5, 13}, {21, 13}}));
         }},
        {"doc.text.magnifyingglass",
         [](Pen& p) {
             p.stroke(polyline({{11, 21}, {5, 21}, {5, 3}, {14, 3}, {19, 8}, {19, 11}}));
             p.stroke(polyline({{8.5, 8.5}, {12.5, 8.5}}), 1.4);
             p.stroke(circle(15, 15.5, 3.6), 1.6);
             p.stroke(polyline({{17.7, 18.2}, {21, 21.5}}), 1.8);
         }},
        {"square.and.arrow.up",
         [](Pen& p) {
             p.stroke(polyline({{8, 10}, {5, 10}, {5, 21}, {19, 21}, {19, 10}, {16, 10}}));
             p.stroke(polyline({{12, 15}, {12, 3}}));
             p.stroke(polyline({{8, 7}, {12, 3}, {16, 7}}));
         }},
        {"sidebar.right",
         [](Pen& p) {
             p.stroke(roundedRect(3, 5, 18, 14, 2.5));
             p.stroke(polyline({{15, 5}, {15, 19}}));
         }},
        {"gearshape",
         [](Pen& p) {
             QPainterPath teeth;
             for (int i = 0; i < 8; ++i) {
                 QTransform turn;
                 turn.translate(12, 12);
                 turn.rotate(i * 45.0);
                 teeth.addPolygon(turn.map(QPolygonF(QRectF(-1.6, -10, 3.2, 4))));
             }
             p.fill(teeth);
             p.stroke(circle(12, 12, 6.2), 2.2);
             p.stroke(circle(12, 12, 2.2), 1.6);
         }},
        {"globe",
         [](Pen& p) {
             p.stroke(circle(12, 12, 8.5));
             QPainterPath meridian;
             meridian.addEllipse(QPointF(12, 12), 3.6, 8.5);
             p.stroke(meridian, 1.4);
             p.stroke(polyline({{3.5, 12}, {20.5, 12}}), 1.4);
         }},
        {"sparkles",
         [](Pen& p) {
             auto star = [](qreal x, qreal y, qreal r) {
                 QPainterPath path;
                 path.moveTo(x, y - r);
                 path.quadTo(x, y, x + r, y);
                 path.quadTo(x, y, x, y + r);
                 path.quadTo(x, y, x - r, y);
                 path.quadTo(x, y, x, y - r);
                 return path;
             };
             p.fill(star(10, 13, 7.5));
             p.fill(star(18.5, 5.5, 3.5));
         }},
        {"arrow.up.right",
         [](Pen& p) {
             p.stroke(polyline({{6, 18}, {18, 6}}), 2.2);
             p.stroke(polyline({{9, 6}, {18, 6}, {18, 15}}), 2.2);
         }},
        {"stop.fill", [](Pen& p) { p.fill(roundedRect(5, 5, 14, 14, 2.5)); }},
        {"hand.wave",
         [](Pen& p) {
             p.stroke(roundedRect(7, 9, 10, 12, 4.5));
             for (qreal x : {8.5, 11.5, 14.5})
                 p.stroke(polyline({{x, 10}, {x, 4}}), 1.7);
             p.stroke(polyline({{7.5, 14}, {4, 10.5}}), 1.7);
         }},
        {"arrow.left",
         [](Pen& p) {
             p.stroke(polyline({{20, 12}, {4, 12}}), 2);
             p.stroke(polyline({{10, 6}, {4, 12}, {10, 18}}), 2);
         }},
        {"chevron.left",
         [](Pen& p) {
             p.stroke(polyline({{15, 5}, {8, 12}, {15, 19}}), 2.2);
         }},
        {"chevron.right",
         [](Pen& p) {
             p.stroke(polyline({{9, 5}, {16, 12}, {9, 19}}), 2.2);
         }},
        {"line.3.horizontal.decrease.circle",
         [](Pen& p) {
             p.stroke(circle(12, 12, 9.5), 1.5);
             p.stroke(polyline({{7, 9}, {17, 9}}), 1.5);
             p.stroke(polyline({{8.5, 12.5}, {15.5, 12.5}}), 1.5);
             p.stroke(polyline({{10.5, 16}, {13.5, 16}}), 1.5);
         }},
        {"square.grid.2x2",
         [](Pen& p) {
             for (qreal x : {4.0, 13.5})
                 for (qreal y : {4.0, 13.5})
                     p.stroke(roundedRect(x, y, 6.5, 6.5, 1.5));
         }},
        {"antenna.radiowaves.left.and.right",
         [](Pen& p) {
             p.fill(circle(12, 10, 2));
             p.stroke(polyline({{12, 12}, {12, 21}}));
             QPainterPath waves;
             waves.arcMoveTo(QRectF(6, 4, 12, 12), 135);
             waves.arcTo(QRectF(6, 4, 12, 12), 135, 90);
             waves.arcMoveTo(QRectF(6, 4, 12, 12), -45);
             waves.arcTo(QRectF(6, 4, 12, 12), -45, 90);
             waves.arcMoveTo(QRectF(2, 0, 20, 20), 140);
             waves.arcTo(QRectF(2, 0, 20, 20), 140, 80);
             waves.arcMoveTo(QRectF(2, 0, 20, 20), -40);
             waves.arcTo(QRectF(2, 0, 20, 20), -40, 80);
             p.stroke(waves, 1.5);
         }},
        {"arrow.triangle.branch",
         [](Pen& p) {
             p.stroke(polyline({{12, 21}, {12, 12}, {6, 6}}));
             p.stroke(polyline({{12, 12}, {18, 6}}));
             p.stroke(polyline({{6, 10}, {6, 6}, {10, 6}}));
             p.stroke(polyline({{14, 6}, {18, 6}, {18, 10}}));
         }},
        {"server.rack",
         [](Pen& p) {
             for (qreal y : {4.0, 10.0, 16.0}) {
                 p.stroke(roundedRect(3.5, y, 17, 4.8, 1.2), 1.5);
                 p.fill(circle(7, y + 2.4, 0.9));
             }
         }},
        {"wrench.and.screwdriver",
         [](Pen& p) {
             p.stroke(polyline({{5, 19}, {13, 11}}), 2.4);
             p.stroke(circle(15.5, 8.5, 3.4), 1.8);
             p.stroke(polyline({{19, 19}, {11, 11}}), 1.6);
             p.stroke(polyline({{7, 5}, {10, 8}}), 2.2);
         }},
        {"curlybraces",
         [](Pen& p) {
             QPainterPath left;
             left.moveTo(9, 4);
             left.cubicTo(5, 4, 7.5, 11, 4.5, 12);
             left.cubicTo(7.5, 13, 5, 20, 9, 20);
             QPainterPath right;
             right.moveTo(15, 4);
             right.cubicTo(19, 4, 16.5, 11, 19.5, 12);
             right.cubicTo(16.5, 13, 19, 20, 15, 20);
             p.stroke(left);
             p.stroke(right);
         }},
        {"terminal",
         [](Pen& p) {
             p.stroke(roundedRect(3, 4.5, 18, 15, 2.5));
             p.stroke(polyline({{7, 9.5}, {10, 12}, {7, 14.5}}));
             p.stroke(polyline({{12, 15}, {16.5, 15}}));
         }},
        {"shippingbox",
         [](Pen& p) {
             p.stroke(polyline(
                 {{12, 3}, {20.5, 7}, {20.5, 17}, {12, 21}, {3.5, 17}, {3.5, 7}, {12, 3}}));
             p.stroke(polyline({{3.5, 7}, {12, 11}, {20.5, 7}}));
             p.stroke(polyline({{12, 11}, {12, 21}}));
         }},
        {"text.bubble",
         [](Pen& p) {
             p.stroke(polyline({{5, 4},
                                {19, 4},
                                {21, 6},
                                {21, 14},
                                {19, 16},
                                {10, 16},
                                {6, 20},
                                {6, 16},
                                {5, 16},
                                {3, 14},
                                {3, 6},
                                {5, 4}}));
             p.stroke(polyline({{7, 8.5}, {17, 8.5}}), 1.5);
             p.stroke(polyline({{7, 12}, {14, 12}}), 1.5);
         }},
        {"doc.text",
         [](Pen& p) {
             p.stroke(polyline({{5, 3}, {14, 3}, {19, 8}, {19, 21}, {5, 21}, {5, 3}}));
             for (qreal y : {11.0, 14.5, 18.0})
                 p.stroke(polyline({{8.5, y}, {15.5, y}}), 1.4);
         }},
        {"line.3.horizontal.decrease",
         [](Pen& p) {
             p.stroke(polyline({{3.5, 7}, {20.5, 7}}));
             p.stroke(polyline({{6.5, 12}, {17.5, 12}}));
             p.stroke(polyline({{9.5, 17}, {14.5, 17}}));
         }},
        {"arrow.down.app",
         [](Pen& p) {
             p.stroke(roundedRect(3.5, 3.5, 17, 17, 4.5));
             p.stroke(polyline({{12, 7.5}, {12, 15.5}}));
             p.stroke(polyline({{8.5, 12.5}, {12, 16}, {15.5, 12.5}}));
         }},
        {"doc.richtext",
         [](Pen& p) {
             p.stroke(polyline({{5, 3}, {14, 3}, {19, 8}, {19, 21}, {5, 21}, {5, 3}}));
             p.fill(roundedRect(8, 10, 8, 5, 1));
             p.stroke(polyline({{8.5, 18}, {15.5, 18}}), 1.4);
         }},
        {"hourglass",
         [](Pen& p) {
             p.stroke(polyline({{6, 3.5}, {18, 3.5}}));
             p.stroke(polyline({{6, 20.5}, {18, 20.5}}));
             QPainterPath glass;
             glass.moveTo(7.5, 3.5);
             glass.cubicTo(7.5, 9, 12, 10, 12, 12);
             glass.cubicTo(12, 14, 7.5, 15, 7.5, 20.5);
             glass.moveTo(16.5, 3.5);
             glass.cubicTo(16.5, 9, 12, 10, 12, 12);
             glass.cubicTo(12, 14, 16.5, 15, 16.5, 20.5);
             p.stroke(glass, 1.6);
         }},
        {"hand.tap",
         [](Pen& p) {
             p.stroke(polyline({{10, 21}, {6, 15}, {7.5, 13.5}, {10, 15.5}, {10, 6.5}}));
             p.stroke(polyline({{10, 6.5}, {12.5, 6.5}, {12.5, 12}, {18, 13}, {18, 21}}));
             QPainterPath ring;
             ring.arcMoveTo(QRectF(6.5, 1, 9.5, 9.5), 150);
             ring.arcTo(QRectF(6.5, 1, 9.5, 9.5), 150, -120);
             p.stroke(ring, 1.4);
         }},
        {"checkmark.circle",
         [](Pen& p) {
             p.stroke(circle(12, 12, 9));
             p.stroke(polyline({{7.8, 12.3}, {10.7, 15.2}, {16.4, 9}}));
         }},
        {"minus.circle",
         [](Pen& p) {
             p.stroke(circle(12, 12, 9));
             p.stroke(polyline({{7.5, 12}, {16.5, 12}}));
         }},
        {"questionmark.circle",
         [](Pen& p) {
             p.stroke(circle(12, 12, 9));
             QPainterPath hook;
             hook.moveTo(9.3, 9.6);
             hook.cubicTo(9.3, 6.2, 14.8, 6.2, 14.8, 9.4);
             hook.cubicTo(14.8, 11.6, 12, 11.6, 12, 14);
             p.stroke(hook, 1.6);
             p.fill(circle(12, 17, 1.1));
         }},
        {"exclamationmark.circle",
         [](Pen& p) {
             p.stroke(circle(12, 12, 9));
             p.stroke(polyline({{12, 7}, {12, 13.5}}), 2);
             p.fill(circle(12, 16.8, 1.2));
         }},
        {"arrow.up.right.square",
         [](Pen& p) {
             p.stroke(roundedRect(3.5, 3.5, 17, 17, 3.5));
             p.stroke(polyline({{9, 15}, {15, 9}}));
             p.stroke(polyline({{10.5, 9}, {15, 9}, {15, 13.5}}));
         }},
        {"arrow.right",
         [](Pen& p) {
             p.stroke(polyline({{4, 12}, {20, 12}}), 2);
             p.stroke(polyline({{14, 6}, {20, 12}, {14, 18}}), 2);
         }},
        {"chevron.down",
         [](Pen& p) {
             p.stroke(polyline({{5, 9}, {12, 16}, {19, 9}}), 2.2);
         }},
        {"slider.horizontal.3",
         [](Pen& p) {
             for (qreal y : {6.0, 12.0, 18.0})
                 p.stroke(polyline({{3.5, y}, {20.5, y}}), 1.5);
             p.fill(circle(15, 6, 2.3));
             p.fill(circle(8, 12, 2.3));
             p.fill(circle(13, 18, 2.3));
         }},
        {"cursorarrow.rays",
         [](Pen& p) {
             p.fill(polyline({{10, 9}, {20, 14.5}, {15.5, 15.5}, {13.5, 20}, {10, 9}}));
             for (const QLineF& ray :
                  {QLineF(8, 3, 8, 6), QLineF(2.5, 8, 5.5, 8), QLineF(3.5, 3.5, 5.5, 5.5),
                   QLineF(12.5, 3.5, 10.5, 5.5), QLineF(3.5, 12.5, 5.5, 10.5)})
                 p.stroke(polyline({ray.p1(), ray.p2()}), 1.5);
         }},
        {"exclamationmark.triangle",
         [](Pen& p) {
             p.stroke(polyline({{12, 3.5}, {21.5, 20}, {2.5, 20}, {12, 3.5}}), 1.7);
             p.stroke(polyline({{12, 9.5}, {12, 14}}), 2);
             p.fill(circle(12, 17, 1.1));
         }},
        {"doc.on.doc",
         [](Pen& p) {
             p.stroke(roundedRect(8.5, 7.5, 11, 13.5, 2));
             p.stroke(polyline({{5, 16.5}, {4.5, 16.5}, {4.5, 3}, {15.5, 3}, {15.5, 4.5}}));
         }},
        {"arrow.down.right",
         [](Pen& p) {
             p.stroke(polyline({{6, 6}, {18, 18}}), 2);
             p.stroke(polyline({{18, 9.5}, {18, 18}, {9.5, 18}}), 2);
         }},
        {"arrow.up.left",
         [](Pen& p) {
             p.stroke(polyline({{18, 18}, {6, 6}}), 2);
             p.stroke(polyline({{6, 14.5}, {6, 6}, {14.5, 6}}), 2);
         }},
        {"play.fill",
         [](Pen& p) {
             p.fill(polyline({{7, 4.5}, {19.5, 12}, {7, 19.5}, {7, 4.5}}));
         }},
    };
    return table;
}

} // namespace

QString Symbols::kind(NodeKind kind) {
    switch (kind) {
    case NodeKind::domain:
        return QStringLiteral("globe");
    case NodeKind::discovery:
        return QStringLiteral("antenna.radiowaves.left.and.right");
    case NodeKind::manifest:
        return QStringLiteral("doc.text");
    case NodeKind::endpoint:
        return QStringLiteral("arrow.triangle.branch");
    case NodeKind::mcp:
        return QStringLiteral("server.rack");
    case NodeKind::tool:
        return QStringLiteral("terminal");
    case NodeKind::resource:
        return QStringLiteral("shippingbox");
    case NodeKind::prompt:
        return QStringLiteral("text.bubble");
    case NodeKind::content:
        return QStringLiteral("doc.richtext");
    }
    return {};
}

QPixmap Symbols::pixmap(const QString& name, const QColor& color, int pixelSize,
                        qreal devicePixelRatio) {
    // Cards and rows draw the same few symbols at every paint; drawing one
    // costs more than the rest of a row.
    const QString key = QStringLiteral("ql-symbol|%1|%2|%3|%4")
                            .arg(name, color.name(QColor::HexArgb))
                            .arg(pixelSize)
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) return cached;
    const int side = qMax(1, int(pixelSize * devicePixelRatio + 0.5));
    QPixmap image(side, side);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(devicePixelRatio);
    const auto drawing = drawings().find(name);
    if (drawing == drawings().end()) return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixelSize / 24.0, pixelSize / 24.0);
    Pen pen{painter, color};
    drawing->second(pen);
    painter.end();
    QPixmapCache::insert(key, image);
    return image;
}

QIcon Symbols::icon(const QString& name, const QColor& color, int pixelSize) {
    QIcon icon;
    icon.addPixmap(pixmap(name, color, pixelSize, 1.0));
    icon.addPixmap(pixmap(name, color, pixelSize, 2.0));
    // Disabled controls keep their symbol, dimmed like their text.
    const QColor dimmed =
        QColor::fromRgbF(color.redF(), color.greenF(), color.blueF(), color.alphaF() * 0.35f);
    icon.addPixmap(pixmap(name, dimmed, pixelSize, 1.0), QIcon::Disabled);
    icon.addPixmap(pixmap(name, dimmed, pixelSize, 2.0), QIcon::Disabled);
    return icon;
}

bool Symbols::has(const QString& name) {
    return drawings().count(name) != 0;
}

QStringList Symbols::names() {
    QStringList result;
    for (const auto& entry : drawings())
        result.append(entry.first);
    return result;
}

} // namespace quorilanth
