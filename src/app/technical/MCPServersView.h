#pragma once

#include "app/technical/PaneKit.h"

#include <cstddef>
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
    // The tool rows a card draws; a line counts the rest, which the Tools tab
    // lists. A card of thousands of rows would grow too tall to be drawn.
    static constexpr std::size_t toolLimit = 200;

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
