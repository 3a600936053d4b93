#include "app/window/WorkspacePanes.h"

#include "app/guided/GuidedBrowserView.h"
#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/schema/SchemaWorkspace.h"
#include "app/settings/SettingsView.h"
#include "app/technical/NodeInspector.h"
#include "app/technical/RawWorkspace.h"
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
    if (tab == WorkspaceTab::guide) return new GuidedBrowserView(store, parent);
    if (tab == WorkspaceTab::raw)
        return new RawWorkspace(store, QStringLiteral("Response"), parent);
    if (tab == WorkspaceTab::schema) return new SchemaWorkspace(store, parent);
    return emptyPane(QStringLiteral("ql-pane-") + rawValue(tab), QLTheme::background(), parent);
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
