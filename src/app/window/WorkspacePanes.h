#pragma once

#include "app/store/WorkspaceTab.h"

#include <QWidget>

namespace quorilanth {

class WorkspaceStore;

// The contents that the window's root places but does not draw itself. Each
// call builds a fresh view with its initial local state.
QWidget* makeTabPane(WorkspaceTab tab, WorkspaceStore& store, QWidget* parent);
QWidget* makeInspectorPane(WorkspaceStore& store, QWidget* parent);
QWidget* makeSidebarPane(WorkspaceStore& store, QWidget* parent);
QWidget* makeLibraryPane(WorkspaceStore& store, QWidget* parent);
// The settings sheet: a window-modal dialog, not yet shown.
QWidget* makeSettingsSheet(WorkspaceStore& store, QWidget* parent);

} // namespace quorilanth
