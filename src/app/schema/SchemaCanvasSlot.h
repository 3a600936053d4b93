#pragma once

#include "core/schema/SchemaProjection.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorilanth {

class WorkspaceStore;

// What the schema screen hands its canvas on every render.
struct SchemaCanvasInput {
    // Empty before the first render.
    std::string reportID;
    // Shared and never changed: an unchanged scene arrives as the same
    // pointer, a rebuilt one as a new pointer whose value may still be equal.
    std::shared_ptr<const SchemaScene> scene;
    // None while the inspector is hidden, whatever the store has selected.
    std::optional<std::string> selectedID;
    // Each change asks for a fit.
    int fitCommand = 0;
    bool animate = true;
};

// The canvas band of the schema screen. The screen presents every render's
// input and wires the three callbacks; the canvas reads and writes the store's
// magnification itself.
class SchemaCanvasSlot : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    void present(SchemaCanvasInput input);
    const SchemaCanvasInput& input() const { return input_; }

    // A card was activated: select its node, open a group, open a branch.
    std::function<void(const std::string& nodeID)> onSelect;
    std::function<void(NodeKind kind)> onGroup;
    std::function<void(const std::string& nodeID)> onBranch;

protected:
    // Runs after each present with the input it replaced.
    virtual void inputChanged(const SchemaCanvasInput& previous) = 0;

private:
    SchemaCanvasInput input_;
};

// The canvas the schema screen places in its canvas band.
SchemaCanvasSlot* makeSchemaCanvas(WorkspaceStore& store, QWidget* parent);

} // namespace quorilanth
