#pragma once

#include "app/technical/PaneKit.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

class QLabel;

namespace quorilanth {

class CoalescedRender;
class RowList;
class WorkspaceStore;

// The readiness score explained: each category's share with its checks, the
// scan's counts, the observations that recorded interface errors (a click
// opens one in the Endpoints tab) and the report's notices.
class OverviewView : public ScrollPage {
    Q_OBJECT
public:
    explicit OverviewView(WorkspaceStore& store, QWidget* parent = nullptr);
    ~OverviewView() override;

    void render();

private:
    class CategoryGroup;
    struct Findings;

    void renderNotices(const std::vector<std::string>& notices);

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    std::vector<QWidget*> blocks_;
    std::array<CategoryGroup*, 7> groups_{};
    SelectableText* formula_;
    std::array<QLabel*, 3> tiles_{};
    QLabel* noFindings_;
    std::unique_ptr<Findings> findings_;
    RowList* findingList_;
    QWidget* notices_;
    std::vector<std::string> shownNotices_;
};

} // namespace quorilanth
