#include "app/window/WorkspacePanes.h"

#include "app/technical/DiscoveryResultsView.h"
#include "app/technical/InventoryView.h"
#include "app/technical/MCPServersView.h"
#include "app/technical/OverviewView.h"
#include "app/window/QLTheme.h"
#include "app/window/ViewKit.h"

namespace quorilanth {
namespace {

QWidget* emptyPane(const QString& name, const QColor& colour, QWidget* parent) {
    auto* pane = new Backdrop(colour, parent);
    pane->setObjectName(name);
    return pane;
}

} // namespace

QWidget* makeTabPane(WorkspaceTab tab, WorkspaceStore& store, QWidget* parent) {
    switch (tab) {
    case WorkspaceTab::overview:
        return new OverviewView(store, parent);
    case WorkspaceTab::discovery:
        return new DiscoveryResultsView(store, parent);
    case WorkspaceTab::endpoints:
        return new InventoryView(
            store, {NodeKind::manifest, NodeKind::endpoint, NodeKind::discovery}, parent);
    case WorkspaceTab::mcp:
        return new MCPServersView(store, parent);
    case WorkspaceTab::tools:
        return new InventoryView(store, {NodeKind::tool, NodeKind::resource, NodeKind::prompt},
                                 parent);
    default:
        break;
    }
    return emptyPane(QStringLiteral("ql-pane-") + rawValue(tab), QLTheme::background(), parent);
}

QWidget* makeInspectorPane(WorkspaceStore&, QWidget* parent) {
    return emptyPane(QStringLiteral("ql-inspector"), QLTheme::background(), parent);
}

QWidget* makeSidebarPane(WorkspaceStore&, QWidget* parent) {
    return emptyPane(QStringLiteral("ql-sidebar"), QLTheme::panel(), parent);
}

QWidget* makeLibraryPane(WorkspaceStore&, QWidget* parent) {
    return emptyPane(QStringLiteral("ql-library"), QLTheme::background(), parent);
}

} // namespace quorilanth
