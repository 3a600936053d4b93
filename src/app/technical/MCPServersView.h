#pragma once

#include "app/technical/PaneKit.h"

#include <map>
#include <memory>
#include <string>

class QLabel;

namespace quorilanth {

class CoalescedRender;
class WorkspaceStore;

// One card per verified MCP server of the report: its facts, advertised
// capabilities, recorded problems and tools; a tool row selects the tool.
class MCPServersView : public ScrollPage {
    Q_OBJECT
public:
    explicit MCPServersView(WorkspaceStore& store, QWidget* parent = nullptr);
    ~MCPServersView() override;

    void render();

private:
    class Card;

    WorkspaceStore& store_;
    CoalescedRender* renderer_;
    // Cards by server URL, kept while their server shows the same.
    std::map<std::string, std::unique_ptr<Card>> cards_;
    QLabel* empty_;
};

} // namespace quorilanth
