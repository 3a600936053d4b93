#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
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

} // namespace quorilanth
