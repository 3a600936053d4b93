#pragma once

#include "core/schema/SchemaProjection.h"

#include <QGraphicsView>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QGraphicsScene;
class QTimer;
class QVariantAnimation;

namespace quorilanth {

class SchemaCanvas;
class SchemaCardItem;
class SchemaConnectionItem;

// Stands for one card before tests and assistive tools, which reach it by its
// object name and press it.
class SchemaAccessibleCard : public QObject {
    Q_OBJECT
public:
    SchemaAccessibleCard(SchemaCanvas* canvas, SchemaCard::ID id, const QString& label,
                         const GraphRect& frame);
    const QString& label() const { return label_; }
    const SchemaCard::ID& id() const { return id_; }
    // In canvas coordinates.
    const GraphRect& cardFrame() const { return frame_; }
    SchemaCanvas* canvas() const;

public slots:
    // Activates the card as a click does, while its canvas still exists.
    bool press();

private:
    QPointer<SchemaCanvas> canvas_;
    SchemaCard::ID id_;
    QString label_;
    GraphRect frame_;
};

// Draws one scene of the schema map and takes the pointer and the keys. Input
// is handled here rather than by the items: every update replaces them, also
// from inside a handler's callbacks.
class SchemaCanvas : public QGraphicsView {
    Q_OBJECT
public:
    static constexpr double maximumZoom = 2.5;

    explicit SchemaCanvas(QWidget* parent = nullptr);
    ~SchemaCanvas() override;

    std::function<void(const std::string& nodeID)> onSelect;
    std::function<void(NodeKind kind)> onGroup;
    std::function<void(const std::string& nodeID)> onBranch;
    bool animatesChanges = true;

    // Brings the items in line with the scene and the selection; nothing
    // happens when both equal the last ones.
    void drawScene(std::shared_ptr<const SchemaScene> scene, std::optional<std::string> selected);
    const std::shared_ptr<const SchemaScene>& schemaScene() const { return scene_; }

    std::optional<SchemaCard::ID> card(QPointF canvasPoint) const;
    void activate(SchemaCard::ID id, bool branch);
    void highlightConnections();

    const std::optional<SchemaCard::ID>& hovered() const { return hovered_; }
    const std::optional<SchemaCard::ID>& keyboardFocus() const { return keyboardFocus_; }
    bool animating() const;
    const std::vector<SchemaAccessibleCard*>& accessibleCards() const { return accessible_; }
    SchemaCardItem* cardItem(const SchemaCard::ID& id) const;
    struct Stroke {
        const SchemaConnection* connection; // in the scene held here
        SchemaConnectionItem* item;
    };
    const std::vector<Stroke>& strokes() const { return strokes_; }
    // The tooltip of the card under the pointer, as plain text.
    const QString& toolTipText() const { return toolTip_; }

    double magnification() const;
    // Clamped to the range of the map; about the given canvas point, or the
    // centre of what is visible.
    void setMagnification(double value, std::optional<QPointF> centre = std::nullopt);

signals:
    // A pinch or a Ctrl+wheel gesture has come to rest at this magnification.
    void magnificationEnded(double value);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool motionAllowed() const;
    void finishMotion();
    void step(qreal milliseconds);
    void press(QMouseEvent* event, bool twice);
    void hover(QPointF viewportPoint);
    QPointF toCanvas(QPointF viewportPoint) const;
    void moveFocus(int step);
    void announceFocus();
    void zoomBy(double factor, QPointF anchor);
    QString toolTipFor(const SchemaCard& card) const;

    QGraphicsScene* graphics_;
    std::shared_ptr<const SchemaScene> scene_;
    std::optional<std::string> selected_;
    std::optional<SchemaCard::ID> keyboardFocus_;
    std::optional<SchemaCard::ID> hovered_;
    std::unordered_map<SchemaCard::ID, SchemaCardItem*> nodes_;
    QGraphicsItem* decoration_ = nullptr;
    std::vector<Stroke> strokes_;
    QString toolTip_;
    std::vector<SchemaAccessibleCard*> accessible_;

    struct Arrival {
        SchemaCardItem* item;
        std::optional<QPointF> from; // a move; otherwise a fade-in
        QPointF to;
    };
    std::vector<Arrival> arrivals_;
    std::vector<SchemaConnectionItem*> reveals_;
    QVariantAnimation* motion_;

    // The scene of the first press of a possible double click.
    std::shared_ptr<const SchemaScene> pressScene_;
    std::optional<SchemaCard::ID> pressCard_;
    std::optional<QPoint> dragOrigin_;
    QPoint scrollOrigin_;
    QTimer* wheelRest_;
};

} // namespace quorilanth
