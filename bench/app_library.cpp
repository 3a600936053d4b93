// Measures the library view and the sidebar over 10,000 saved scans on the
// offscreen platform: a full render after a favourite changes, a page of
// scrolling, typing one character of a search, and the sidebar's render. The
// floor to compare with is the store computing the same list alone, which
// every render needs anyway.

#include "BenchTiming.h"
#include "LibraryBench.h"
#include "app/kit/QLTheme.h"
#include "app/library/LibraryView.h"
#include "app/library/Sidebar.h"
#include "app/store/WorkspaceStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quorilanth;
using bench::medianMilliseconds;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyDarkLook();
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/ql-bench-XXXXXX"));
    std::vector<SavedScan> scans;
    if (!bench::writeLargeLibrary(folder.path(), scans)) return 1;

    WorkspaceStore store(folder.path(), {"app_library"});
    store.openLibrary(QStringLiteral("History"));
    LibraryView library(store);
    library.resize(1100, 900);
    library.show();
    Sidebar sidebar(store);
    sidebar.resize(220, 900);
    sidebar.show();
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
    return 0;
}
