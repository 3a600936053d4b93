#pragma once

#include <QString>
#include <array>
#include <optional>

namespace quorilanth {

// The main window's tabs, in tab-bar and "Inspect" menu order. The raw value is
// the tab's identity outside the store (menu items, "--view", accessibility ids).
enum class WorkspaceTab { guide, overview, discovery, endpoints, mcp, tools, raw, schema };

inline constexpr std::array<WorkspaceTab, 8> allWorkspaceTabs{
    WorkspaceTab::guide, WorkspaceTab::overview, WorkspaceTab::discovery, WorkspaceTab::endpoints,
    WorkspaceTab::mcp,   WorkspaceTab::tools,    WorkspaceTab::raw,       WorkspaceTab::schema};

QString rawValue(WorkspaceTab tab);
// Exact, case-sensitive match of a raw value.
std::optional<WorkspaceTab> workspaceTabFromRawValue(const QString& raw);

} // namespace quorilanth
