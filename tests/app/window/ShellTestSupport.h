#pragma once

// What the desktop tests share: a transport that holds a scan open until it
// is stopped, an AI search that finds nothing, a store wired to both, report
// files built in the test, and a window on a private library.

#include "app/kit/ExternalURL.h"
#include "app/store/StoreTestSupport.h"
#include "app/window/WorkspaceView.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/net/HTTPInspecting.h"
#include "support/ScriptedResearch.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace quorilanth::test {

// Every request (or each whose URL holds `holding`) waits until the scan is
// stopped, so a scan stays busy for as long as a test needs it; the others
// fail at once.
class HeldTransport final : public HTTPInspecting {
public:
    explicit HeldTransport(std::string holding = {}) : holding(std::move(holding)) {}
    HTTPResult request(const std::string& url, const std::string& method, const HeaderFields&,
                       const std::optional<std::string>&, std::stop_token stop) override {
        if (url.find(holding) != std::string::npos) {
            ++requests;
            while (!stop.stop_requested() && !released.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        Evidence hop(url, method);
        hop.error = "Cancelled";
        return HTTPResult{{std::move(hop)}};
    }
    const std::string holding;
    std::atomic<int> requests{0};
    std::atomic<bool> released{false};
};

inline WorkspaceStore::Dependencies heldDependencies(std::shared_ptr<HeldTransport> transport) {
    WorkspaceStore::Dependencies dependencies;
    dependencies.makeEngine = [transport](NetworkPolicy policy) {
        return std::make_shared<DiscoveryEngine>(std::move(policy), transport);
    };
    dependencies.makeResearchEngine = [] { return std::make_unique<ScriptedResearch>(); };
    return dependencies;
}

// The widgets the Tab key reaches from `start`, in order, as a keyboard user
// meets them: until the walk comes back to `start`, or after `limit` steps.
inline QList<QWidget*> tabWalk(QWidget* start, int limit = 300) {
    QApplication::setActiveWindow(start->window());
    start->setFocus(Qt::TabFocusReason);
    settle();
    QList<QWidget*> walked{start};
    for (int step = 0; step < limit; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* reached = QApplication::focusWidget();
        if (!reached || reached == start) break;
        walked.append(reached);
    }
    return walked;
}

// Where in a walk the first widget of that name, or inside that widget, comes; -1 if none.
inline qsizetype walkedTo(const QList<QWidget*>& walk, const QWidget* target) {
    for (qsizetype i = 0; i < walk.size(); ++i)
        if (target && (walk[i] == target || target->isAncestorOf(walk[i]))) return i;
    return -1;
}

// What a screen reader on Linux hears a control named by: the labels that
// name it as their buddy, each with whether its text holds a shortcut.
inline QStringList labelledBy(QWidget* control) {
    QStringList names;
    QAccessibleInterface* shown = QAccessible::queryAccessibleInterface(control);
    for (const auto& [label, relation] : shown->relations(QAccessible::Label)) {
        const auto* widget = qobject_cast<QLabel*>(label->object());
        const bool shortcut = widget && !QKeySequence::mnemonic(widget->text()).isEmpty();
        names << label->text(QAccessible::Name) + (shortcut ? QStringLiteral(" [shortcut]") : "");
    }
    return names;
}

// Our own folder names: names starting with the application's are watched by
// other tests for leftovers of the transport.
inline QString folderTemplate() {
    return QDir::tempPath() + QStringLiteral("/ql-app-test-XXXXXX");
}

// Reaches the controls of one view by their names, as a person would.
struct Controls {
    const QWidget* root = nullptr;
    template <typename T = QWidget> T* find(const QString& name) const {
        return root->findChild<T*>(name);
    }
    bool shown(const QString& name) const {
        const QWidget* widget = find(name);
        return widget && widget->isVisibleTo(root);
    }
    void click(const QString& name) const {
        QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton, {}, QPoint(4, 4));
        settle();
    }
    void type(const QString& name, const QString& text) const {
        auto* field = find<QLineEdit>(name);
        field->selectAll();
        field->insert(text); // one edit, as a paste: key clicks cannot spell every character
        settle();
    }
};

inline QString writeReport(const QTemporaryDir& folder, const ScanReport& report,
                           const QString& name) {
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(QByteArray::fromStdString(ReportJSON::write(report)));
    return path;
}

// The workspace window at its own size on a private library, with the held
// transport unless a test brings its own engine; what it hands the desktop to
// open is kept in `opened`.
class WorkspaceFixture : public ::testing::Test, public Controls {
public:
    void SetUp() override {
        QSettings().clear();
        ASSERT_TRUE(folder.isValid());
        setExternalURLOpenerForTesting(
            [this](const QUrl& url) { opened.append(url.toString(QUrl::FullyEncoded)); });
    }
    void TearDown() override {
        close();
        setExternalURLOpenerForTesting(std::nullopt);
    }

    void open(WorkspaceStore::Dependencies dependencies = {}) {
        if (!dependencies.makeEngine) dependencies = heldDependencies(transport);
        store = std::make_unique<WorkspaceStore>(
            folder.filePath("library"), QStringList{"quorilanth"}, std::move(dependencies));
        view = std::make_unique<WorkspaceView>(*store);
        root = view.get();
        view->resize(1640, 1020);
        view->show();
        settle();
    }
    // Ends this window and store, so that a table row can open its own.
    void close() {
        transport->released = true;
        view.reset();
        store.reset();
        settle();
        transport->released = false;
    }
    // Opens the report as a saved file, on the given tab with the given node selected.
    void load(const ScanReport& report, std::optional<WorkspaceTab> tab = {},
              const std::string& selected = {}) {
        store->loadFile(writeReport(folder, report, QString::number(++files) + ".json"), false);
        if (tab) store->setTab(*tab);
        if (!selected.empty()) store->select(selected);
        settle();
    }

    // A press of the button by name, wherever it lies.
    void click(const QString& name) {
        find<QAbstractButton>(name)->click();
        settle();
    }
    // The window as PNGs beside the build, in English and in Italian, each
    // arranged again after the language has changed.
    void snapshot(const QString& name, const std::function<void()>& arrange = {}) {
        for (const char* language : {"en", "it"}) {
            Language chosen(language);
            view->refresh();
            settle();
            if (arrange) arrange();
            view->grab().save(QStringLiteral(QL_SNAPSHOT_DIR "/%1-%2.png").arg(name, language));
        }
        view->refresh();
        settle();
    }

    QTemporaryDir folder{folderTemplate()};
    int files = 0;
    QStringList opened;
    std::shared_ptr<HeldTransport> transport = std::make_shared<HeldTransport>();
    std::unique_ptr<WorkspaceStore> store;
    std::unique_ptr<WorkspaceView> view;
};

} // namespace quorilanth::test
