#pragma once

#include "core/model/NodeKind.h"

#include <QWidget>
#include <memory>
#include <vector>

class QLineEdit;

namespace quorilanth {

class CoalescedRender;
class RowList;
class WorkspaceStore;

// The observations of the current report whose kind is one of `kinds`, in
// report order, narrowed by a filter on the label and URL. A click selects
// the node; the selected row is highlighted wherever the selection was made.
class InventoryView : public QWidget {
    Q_OBJECT
public:
    InventoryView(WorkspaceStore& store, std::vector<NodeKind> kinds, QWidget* parent = nullptr);
    ~InventoryView() override;

    // Rebuilds the rows from the store's report now.
    void render();

private:
    struct Rows;
    class Painter;

    void applyFilter();

    WorkspaceStore& store_;
    std::vector<NodeKind> kinds_;
    std::unique_ptr<Rows> rows_;
    std::unique_ptr<Painter> painter_;
    QLineEdit* filter_;
    RowList* list_;
    CoalescedRender* renderer_;
};

} // namespace quorilanth
