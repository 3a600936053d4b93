#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace quorilanth {

// One entry of the saved-scan library index.
struct SavedScan {
    QString id;
    QString domain;
    std::chrono::system_clock::time_point date;
    long long score = 0;
    bool favorite = false;
    std::optional<QString> collection;

    bool operator==(const SavedScan&) const = default;
};

// "library.json": a compact JSON array whose dates are seconds since
// 2001-01-01T00:00:00Z, the form earlier versions of the index were written in.
QByteArray encodeLibraryIndex(const std::vector<SavedScan>& scans);
// Throws QuorilanthError with a description of the first problem found.
std::vector<SavedScan> decodeLibraryIndex(const QByteArray& data);

// What the user gave a saved scan, as opposed to what its report says.
struct LibraryMarks {
    bool favorite = false;
    std::optional<QString> collection;

    bool operator==(const LibraryMarks&) const = default;
};
// The marks an index that cannot be decoded still holds, by id: every whole
// entry with a text id gives those of its marks that have their proper type
// (the first entry of an id counts), whatever is cut, stray or garbled around it.
std::map<QString, LibraryMarks> readLibraryMarks(const QByteArray& data);

} // namespace quorilanth
