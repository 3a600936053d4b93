#include "app/window/WorkspacePanes.h"

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
    if (tab == WorkspaceTab::raw)
        return new RawWorkspace(store, QStringLiteral("Response"), parent);
    return emptyPane(QStringLiteral("ql-pane-") + rawValue(tab), QLTheme::background(), parent);
}

QWidget* makeInspectorPane(WorkspaceStore& store, QWidget* parent) {
    return new NodeInspector(store, parent);
}

QWidget* makeSidebarPane(WorkspaceStore&, QWidget* parent) {
    return emptyPane(QStringLiteral("ql-sidebar"), QLTheme::panel(), parent);
}

QWidget* makeLibraryPane(WorkspaceStore&, QWidget* parent) {
    return emptyPane(QStringLiteral("ql-library"), QLTheme::background(), parent);
}

} // namespace quorilanth
