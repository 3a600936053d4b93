#pragma once

// What the library benchmarks share: one large library.

#include "app/store/SavedScan.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <vector>

namespace quorilanth::bench {

// 10,000 saved scans written as the index of the folder: every seventh a
// favourite, every fifth in one of 40 collections. False when it cannot be written.
inline bool writeLargeLibrary(const QString& folder, std::vector<SavedScan>& scans) {
    const auto now = std::chrono::system_clock::now();
    for (int i = 0; i < 10000; ++i) {
        SavedScan scan;
        scan.id = QStringLiteral("ID-%1").arg(i);
        scan.domain = QStringLiteral("https://site%1.example/").arg(i);
        scan.date = now - std::chrono::seconds(i * 37 % 9973);
        scan.score = i % 101;
        scan.favorite = i % 7 == 0;
        if (i % 5 == 0) scan.collection = QStringLiteral("Collection %1").arg(i % 40);
        scans.push_back(scan);
    }
    QFile index(QDir(folder).filePath("library.json"));
    return index.open(QIODevice::WriteOnly) && index.write(encodeLibraryIndex(scans)) > 0;
}

} // namespace quorilanth::bench
