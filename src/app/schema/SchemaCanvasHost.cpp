#include "app/schema/SchemaCanvas.h"
#include "app/schema/SchemaCanvasSlot.h"
#include "app/store/WorkspaceStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

namespace quorilanth {
namespace {

// What the view was last fitted to; any change asks for a new fit.
struct FitKey {
    int command = -1;
    std::string reportID;
    std::optional<SchemaScope> scope;
    std::int64_t page = -1;
    GraphRect bounds;

    friend bool operator==(const FitKey&, const FitKey&) = default;
};

// Hosts the canvas in the schema screen: hands it each render's scene, fits
// the view when the content or the fit counter changes, and keeps the
// magnification and the store's zoom in step both ways.
class SchemaCanvasHost final : public SchemaCanvasSlot {
public:
    SchemaCanvasHost(WorkspaceStore& store, QWidget* parent)
        : SchemaCanvasSlot(parent), store_(store), canvas_(new SchemaCanvas(this)),
          settle_(new QTimer(this)) {
        settle_->setSingleShot(true);
        connect(settle_, &QTimer::timeout, this, &SchemaCanvasHost::settle);
        canvas_->viewport()->installEventFilter(this);
        canvas_->onSelect = [this](const std::string& id) {
            if (onSelect) onSelect(id);
        };
        canvas_->onGroup = [this](NodeKind kind) {
            if (onGroup) onGroup(kind);
        };
        canvas_->onBranch = [this](const std::string& id) {
            if (onBranch) onBranch(id);
        };
        connect(canvas_, &SchemaCanvas::magnificationEnded, this, [this](double value) {
            zoom_ = value;
            store_.setGraphZoom(value);
        });
        connect(&store_, &WorkspaceStore::graphZoomChanged, this, &SchemaCanvasHost::followZoom);
    }

    QSize sizeHint() const override { return canvas_->sizeHint(); }
    QSize minimumSizeHint() const override { return canvas_->minimumSizeHint(); }

protected:
    void inputChanged(const SchemaCanvasInput&) override {
        const SchemaCanvasInput& now = input();
        if (!now.scene) return;
        canvas_->animatesChanges = now.animate;
        canvas_->drawScene(now.scene, now.selectedID);
        const FitKey key{now.fitCommand, now.reportID, now.scene->scope, now.scene->page,
                         now.scene->bounds};
        if (key == key_) {
            followZoom();
            return;
        }
        key_ = key;
        scheduleFit();
    }

    // A click that selects brings the inspector in beside the canvas. Until
    // no second click of a double click can come, the canvas keeps its size
    // and the map stays where it was, so that the second click lands on the
    // card the first aimed at; the part the inspector covers is cut off.
    void resizeEvent(QResizeEvent* event) override {
        SchemaCanvasSlot::resizeEvent(event);
        if (doubleClickWait() > 0) {
            holdUntilNoDoubleClick();
            return;
        }
        canvas_->setGeometry(rect());
        if (fitWaitsForSize_) scheduleFit();
    }
    void showEvent(QShowEvent* event) override {
        SchemaCanvasSlot::showEvent(event);
        if (fitWaitsForSize_) scheduleFit();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick)
            lastPress_.start();
        return SchemaCanvasSlot::eventFilter(watched, event);
    }

private:
    // Once however many changes ask for it in one turn, and never while a
    // second click may still come: a fit moves the cards.
    void scheduleFit() {
        fitWanted_ = true;
        holdUntilNoDoubleClick();
    }
    void holdUntilNoDoubleClick() {
        const int wait = static_cast<int>(doubleClickWait());
        if (settle_->isActive() && settle_->remainingTime() >= wait) return;
        settle_->start(wait);
    }
    // How long, in ms, a second click of the last press may still come.
    qint64 doubleClickWait() const {
        if (!lastPress_.isValid()) return 0;
        const qint64 interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        return std::max<qint64>(0, interval - lastPress_.elapsed());
    }

    void settle() {
        // What asked for the fit may also have shown or hidden a column beside
        // the canvas: its new size comes with the layout pass, which runs
        // first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (canvas_->geometry() != rect()) canvas_->setGeometry(rect());
        if (std::exchange(fitWanted_, false) || fitWaitsForSize_) fit();
    }

    void fit() {
        const SchemaScene* scene = input().scene.get();
        const QSize visible = canvas_->maximumViewportSize();
        // A view not laid out yet has no size to fit to: it would always come
        // out at the smallest magnification. The first real size fits instead.
        if (!scene || !isVisible() || visible.isEmpty()) {
            fitWaitsForSize_ = true;
            return;
        }
        fitWaitsForSize_ = false;
        const double ratio = std::min(visible.width() / scene->bounds.width,
                                      visible.height() / scene->bounds.height);
        const double value = std::max(SchemaProjection::minimumZoom, std::min(1.0, ratio));
        canvas_->setMagnification(value, QPointF(scene->bounds.midX(), scene->bounds.midY()));
        zoom_ = value;
        store_.setGraphZoom(value);
    }

    // The zoom buttons write the store; the view follows about its visible
    // centre. A difference within rounding is the view's own value coming back.
    void followZoom() {
        const double value = store_.graphZoom();
        if (std::abs(zoom_ - value) <= 0.005) return;
        zoom_ = value;
        canvas_->setMagnification(value);
    }

    WorkspaceStore& store_;
    SchemaCanvas* canvas_;
    FitKey key_;
    double zoom_ = 1.0;
    QTimer* settle_;
    QElapsedTimer lastPress_;
    bool fitWanted_ = false;
    bool fitWaitsForSize_ = false;
};

} // namespace

SchemaCanvasSlot* makeSchemaCanvas(WorkspaceStore& store, QWidget* parent) {
    auto* canvas = new SchemaCanvasHost(store, parent);
    canvas->setObjectName(QStringLiteral("ql-schema-canvas"));
    return canvas;
}

} // namespace quorilanth
