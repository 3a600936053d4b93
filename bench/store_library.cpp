// Measures the saved-scan library at 10,000 entries: rewriting the index (what
// every save, favourite and collection change does) and computing the list the
// library view shows, for each section and with a search text.
#include "BenchTiming.h"
#include "LibraryBench.h"
#include "app/store/WorkspaceStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace quorilanth;
using bench::medianMilliseconds;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    std::vector<SavedScan> scans;
    if (!bench::writeLargeLibrary(folder.path(), scans)) return 1;

    WorkspaceStore store(folder.path(), {"store_library"},
                         WorkspaceStore::Dependencies{{}, {}, nullptr, {}, {}});
    if (store.history().size() != scans.size()) return 1;

    const double encode =
        medianMilliseconds([&] { (void)encodeLibraryIndex(store.history()); }, 21);
    std::printf("encoding the index alone: %.2f ms\n", encode);
    // toggleFavorite rewrites the whole index atomically, as persistIndex does for every change.
    const SavedScan first = store.history().front();
    const double persist = medianMilliseconds([&] { store.toggleFavorite(first); }, 21);
    std::printf("persistIndex (10,000 entries, via toggleFavorite): %.2f ms  (target < 50 ms)\n",
                persist);

    for (const char* section : {"Recent", "Favorites", "Collections", "History"}) {
        store.openLibrary(QString::fromLatin1(section));
        const double list = medianMilliseconds([&] { (void)store.libraryScans(); }, 21);
        std::printf("libraryScans %-12s %.2f ms  (target < 10 ms)\n", section, list);
    }
    store.openLibrary("History");
    store.setLibrarySearch("site99");
    const double searched = medianMilliseconds([&] { (void)store.libraryScans(); }, 21);
    std::printf("libraryScans History + search: %.2f ms  (target < 10 ms)\n", searched);
    return 0;
}
