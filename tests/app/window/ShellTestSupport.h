#pragma once

// What the window and menu tests share: a transport that holds a scan open
// until it is stopped, an AI search that finds nothing, a store wired to both,
// and report files built in the test.

#include "app/store/AppLanguage.h"
#include "app/store/StoreTestSupport.h"
#include "app/store/WorkspaceStore.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/model/ReportJSON.h"
#include "core/net/HTTPInspecting.h"
#include "support/ScriptedResearch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
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
        if (url.find(holding) == std::string::npos) return failure(url, method);
        ++requests;
        while (!stop.stop_requested() && !released.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return failure(url, method);
    }
    const std::string holding;
    std::atomic<int> requests{0};
    std::atomic<bool> released{false};

private:
    static HTTPResult failure(const std::string& url, const std::string& method) {
        Evidence hop(url, method);
        hop.error = "Cancelled";
        HTTPResult result;
        result.exchanges.push_back(std::move(hop));
        return result;
    }
};

inline WorkspaceStore::Dependencies heldDependencies(std::shared_ptr<HeldTransport> transport) {
    WorkspaceStore::Dependencies dependencies;
    dependencies.makeEngine = [transport](NetworkPolicy policy) {
        return std::make_shared<DiscoveryEngine>(std::move(policy), transport);
    };
    dependencies.makeResearchEngine = [] { return std::make_unique<ScriptedResearch>(); };
    return dependencies;
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

} // namespace quorilanth::test
