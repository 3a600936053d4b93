#include "app/schema/SchemaCanvasSlot.h"
#include "app/window/QLTheme.h"

#include <QPainter>

namespace quorilanth {
namespace {

// Holds the canvas band's place and takes its input until the drawn map comes.
class SchemaCanvasPlaceholder final : public SchemaCanvasSlot {
public:
    explicit SchemaCanvasPlaceholder(QWidget* parent) : SchemaCanvasSlot(parent) {}

protected:
    void inputChanged(const SchemaCanvasInput&) override {}
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QLTheme::background());
    }
};

} // namespace

SchemaCanvasSlot* makeSchemaCanvas(WorkspaceStore&, QWidget* parent) {
    auto* canvas = new SchemaCanvasPlaceholder(parent);
    canvas->setObjectName(QStringLiteral("ql-schema-canvas"));
    return canvas;
}

} // namespace quorilanth
