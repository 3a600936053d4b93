#include "app/store/WorkspaceTab.h"

namespace quorilanth {

QString rawValue(WorkspaceTab tab) {
    switch (tab) {
    case WorkspaceTab::guide:
        return QStringLiteral("Per te");
    case WorkspaceTab::overview:
        return QStringLiteral("Overview");
    case WorkspaceTab::discovery:
        return QStringLiteral("Discovery");
    case WorkspaceTab::endpoints:
        return QStringLiteral("Endpoints");
    case WorkspaceTab::mcp:
        return QStringLiteral("MCP");
    case WorkspaceTab::tools:
        return QStringLiteral("Tools");
    case WorkspaceTab::raw:
        return QStringLiteral("Raw");
    case WorkspaceTab::schema:
        return QStringLiteral("SCHEMA");
    }
    return {};
}

std::optional<WorkspaceTab> workspaceTabFromRawValue(const QString& raw) {
    for (WorkspaceTab tab : allWorkspaceTabs)
        if (rawValue(tab) == raw) return tab;
    return std::nullopt;
}

} // namespace quorilanth
