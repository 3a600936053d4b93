// Measures the library view and the sidebar over 10,000 saved scans on the
// offscreen platform: a full render after a favourite changes, a page of
// scrolling, typing one character of a search, and the sidebar's render. The
// floor to compare with is the store computing the same list alone, which
// every render needs anyway.
//
// Then the same window over a library whose index cannot be read, with 10,000
// report files beside it: how long the window's thread is held at start, the
// longest it is held while the reports are read again (against a favourite
// toggled, which any library of that size takes), and how long until the
// library is whole.

#include "BenchTiming.h"
#include "LibraryBench.h"
#include "app/kit/QLTheme.h"
#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/store/WorkspaceStore.h"
#include "core/model/ReportJSON.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quorilanth;
using bench::medianMilliseconds;

namespace {

// The library view and the sidebar over a store's History, as the window shows them.
struct LibraryWindow {
    explicit LibraryWindow(WorkspaceStore& store) : library(store), sidebar(store) {
        store.openLibrary(QStringLiteral("History"));
        library.resize(1100, 900);
        library.show();
        sidebar.resize(220, 900);
        sidebar.show();
    }
    LibraryView library;
    Sidebar sidebar;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyDarkLook();
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/ql-bench-XXXXXX"));
    std::vector<SavedScan> scans;
    if (!bench::writeLargeLibrary(folder.path(), scans)) return 1;

    WorkspaceStore store(folder.path(), {"app_library"});
    LibraryWindow window(store);
    LibraryView& library = window.library;
    Sidebar& sidebar = window.sidebar;
    QApplication::processEvents();
    auto* list = library.findChild<LibraryList*>();
    if (!list || list->scans().size() != scans.size()) return 1;

    const double floor = medianMilliseconds([&] { (void)store.libraryScans(); }, 21);
    const double render = medianMilliseconds([&] { library.render(); }, 21);
    const double sidebarRender = medianMilliseconds([&] { sidebar.render(); }, 21);
    QScrollBar* bar = list->verticalScrollBar();
    int page = 0;
    const double scroll = medianMilliseconds(
        [&] {
            bar->setValue(++page * bar->pageStep() % bar->maximum());
            library.repaint();
        },
        51);
    const SavedScan first = store.history().front();
    const double favorite = medianMilliseconds(
        [&] {
            store.toggleFavorite(first);
            library.render();
        },
        11);
    int typed = 0;
    const double search = medianMilliseconds(
        [&] {
            store.setLibrarySearch(typed++ % 2 ? QString() : QStringLiteral("site4"));
            library.render();
        },
        21);

    std::printf("library of %zu scans, History section, %d rows built\n", scans.size(),
                list->builtRows());
    std::printf("the store's list alone (floor):   %7.2f ms\n", floor);
    std::printf("library render:                   %7.2f ms  (%.2fx floor)\n", render,
                render / floor);
    std::printf("favourite toggled and rendered:   %7.2f ms  (index rewrite included)\n", favorite);
    std::printf("search typed and rendered:        %7.2f ms\n", search);
    std::printf("one page scrolled and painted:    %7.2f ms\n", scroll);
    std::printf("sidebar render:                   %7.2f ms  (%.2fx floor)\n", sidebarRender,
                sidebarRender / floor);

    // An index that cannot be read, and the reports it listed beside it.
    QTemporaryDir damaged(QDir::tempPath() + QStringLiteral("/ql-bench-XXXXXX"));
    {
        QFile index(QDir(damaged.path()).filePath("library.json"));
        if (!index.open(QIODevice::WriteOnly) || index.write("[{\"id\":") <= 0) return 1;
    }
    for (std::size_t i = 0; i < scans.size(); ++i) {
        ScanReport report(scans[i].domain.toStdString());
        report.id = scans[i].id.toStdString();
        for (int n = 0; n < 12; ++n) {
            const std::string url = report.domain + "page" + std::to_string(n);
            report.nodes.emplace_back(url, NodeKind::content, "page", url, FindingStatus::found);
            report.evidence.emplace_back(url, "GET");
        }
        QFile file(QDir(damaged.path()).filePath(scans[i].id + QStringLiteral(".json")));
        const std::string text = ReportJSON::write(report);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            return 1;
    }
    QElapsedTimer clock;
    clock.start();
    WorkspaceStore rebuilt(damaged.path(), {"app_library"});
    const LibraryWindow rebuiltWindow(rebuilt);
    const double start = double(clock.nsecsElapsed()) / 1e6;
    QApplication::processEvents(); // the first paint, as any window's
    // A tick every millisecond: the longest gap between two is the longest
    // the window could not answer the user.
    double longest = 0, last = double(clock.nsecsElapsed()) / 1e6;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        longest = std::max(longest, now - last);
        last = now;
        // Written whole once every report has been read again.
        if (QFileInfo(QDir(damaged.path()).filePath("library.json")).size() > 1000) app.quit();
    });
    tick.start(1);
    QTimer::singleShot(120000, &app, &QApplication::quit);
    app.exec();
    const double whole = double(clock.nsecsElapsed()) / 1e6;
    std::printf("unreadable index, %zu reports beside it, %zu listed again\n", scans.size(),
                rebuilt.history().size());
    std::printf("start with the views, held:       %7.2f ms\n", start);
    std::printf("longest hold while reading again: %7.2f ms  (%.2fx a favourite toggled)\n",
                longest, longest / favorite);
    std::printf("library whole and its index written: %7.0f ms\n", whole);
    return 0;
}
