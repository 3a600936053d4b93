#include "app/schema/SchemaCanvas.h"
#include "app/schema/SchemaCanvasSlot.h"
#include "app/store/WorkspaceStore.h"

#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

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
        : SchemaCanvasSlot(parent), store_(store), canvas_(new SchemaCanvas(this)) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(canvas_);
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

    void resizeEvent(QResizeEvent* event) override {
        SchemaCanvasSlot::resizeEvent(event);
        if (fitWaitsForSize_) scheduleFit();
    }
    void showEvent(QShowEvent* event) override {
        SchemaCanvasSlot::showEvent(event);
        if (fitWaitsForSize_) scheduleFit();
    }

private:
    // After the layout pass, when the canvas has its new size; once however
    // many changes ask for it in one turn.
    void scheduleFit() {
        if (fitScheduled_) return;
        fitScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            fitScheduled_ = false;
            fit();
        });
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
    bool fitScheduled_ = false;
    bool fitWaitsForSize_ = false;
};

} // namespace

SchemaCanvasSlot* makeSchemaCanvas(WorkspaceStore& store, QWidget* parent) {
    auto* canvas = new SchemaCanvasHost(store, parent);
    canvas->setObjectName(QStringLiteral("ql-schema-canvas"));
    return canvas;
}

} // namespace quorilanth
