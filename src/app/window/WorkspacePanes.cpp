#include "app/window/WorkspacePanes.h"

#include "app/guided/GuidedBrowserView.h"
#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/schema/SchemaWorkspace.h"
#include "app/settings/SettingsView.h"
#include "app/technical/DiscoveryResultsView.h"
#include "app/technical/InventoryView.h"
#include "app/technical/MCPServersView.h"
#include "app/technical/NodeInspector.h"
#include "app/technical/OverviewView.h"
#include "app/technical/RawWorkspace.h"

namespace quorilanth {
QWidget* makeTabPane(WorkspaceTab tab, WorkspaceStore& store, QWidget* parent) {
    QWidget* pane = nullptr;
    switch (tab) {
    case WorkspaceTab::guide:
        return new GuidedBrowserView(store, parent);
    case WorkspaceTab::overview:
        pane = new OverviewView(store, parent);
        break;
    case WorkspaceTab::discovery:
        pane = new DiscoveryResultsView(store, parent);
        break;
    case WorkspaceTab::endpoints:
        pane = new InventoryView(
            store, {NodeKind::manifest, NodeKind::endpoint, NodeKind::discovery}, parent);
        break;
    case WorkspaceTab::mcp:
        pane = new MCPServersView(store, parent);
        break;
    case WorkspaceTab::tools:
        pane = new InventoryView(store, {NodeKind::tool, NodeKind::resource, NodeKind::prompt},
                                 parent);
        break;
    case WorkspaceTab::raw:
        return new RawWorkspace(store, QStringLiteral("Response"), parent);
    case WorkspaceTab::schema:
        return new SchemaWorkspace(store, parent);
    }
    if (pane) pane->setObjectName(QStringLiteral("ql-pane-") + rawValue(tab));
    return pane;
}

QWidget* makeInspectorPane(WorkspaceStore& store, QWidget* parent) {
    return new NodeInspector(store, parent);
}

QWidget* makeSidebarPane(WorkspaceStore& store, QWidget* parent) {
    return new Sidebar(store, parent);
}

QWidget* makeLibraryPane(WorkspaceStore& store, QWidget* parent) {
    return new LibraryView(store, parent);
}

QWidget* makeSettingsSheet(WorkspaceStore& store, QWidget* parent) {
    return new SettingsView(store, parent);
}

} // namespace quorilanth
