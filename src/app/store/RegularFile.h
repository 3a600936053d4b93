#pragma once

#include "core/model/ScanReport.h"

#include <QString>
#include <cstddef>
#include <stop_token>
#include <string>

namespace quorilanth {

// A regular file read piece by piece, so that a report of hundreds of megabytes
// is never held whole. A directory, a FIFO or a device is refused without
// blocking on it. Failures throw QuorilanthError naming the file.
class RegularFile {
public:
    explicit RegularFile(const QString& path);
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // Up to capacity bytes; 0 at the end of the file.
    std::size_t read(char* buffer, std::size_t capacity);

    // The whole file.
    static std::string readAll(const QString& path);
    // The report a file holds, read strictly and in pieces. Throws QuorilanthError,
    // Cancelled when stopped halfway, or std::bad_alloc for a file too large for
    // the memory at hand.
    static ScanReport readReport(const QString& path, std::stop_token stop = {});
    // The text for a "could not be opened" failure of the file of that name.
    static std::string cannotOpen(const std::string& name, int error);

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace quorilanth
