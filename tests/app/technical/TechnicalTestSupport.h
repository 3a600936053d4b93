#pragma once

// A window on a private library, for the technical panes as users meet them.
#include "app/window/ShellTestSupport.h"
#include "app/window/WorkspaceView.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace quorilanth::test {

class TechnicalWindow : public ::testing::Test {
public:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
    }

    void open(WorkspaceStore::Dependencies dependencies) {
        store = std::make_unique<WorkspaceStore>(folder.filePath("library"),
                                                 QStringList{QStringLiteral("quorilanth")},
                                                 std::move(dependencies));
        view = std::make_unique<WorkspaceView>(*store);
        view->resize(1640, 1020);
        view->show();
        settle();
    }
    void open() { open(heldDependencies(transport)); }

    // Shows the report on a technical tab with one node selected.
    void load(const ScanReport& report, const std::string& selected,
              WorkspaceTab tab = WorkspaceTab::overview) {
        store->loadFile(writeReport(folder, report, QString::number(++files) + ".json"), false);
        store->setTab(tab);
        store->select(selected);
        settle();
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return view->findChild<T*>(name);
    }
    bool shown(const QString& name) const {
        QWidget* widget = find(name);
        return widget && widget->isVisibleTo(view.get());
    }

    QTemporaryDir folder{folderTemplate()};
    int files = 0;
    std::shared_ptr<HeldTransport> transport = std::make_shared<HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

} // namespace quorilanth::test
