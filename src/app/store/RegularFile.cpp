#include "app/store/RegularFile.h"

#include "core/base/QuorilanthError.h"
#include "core/model/ReportJSON.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorilanth {

std::string RegularFile::cannotOpen(const std::string& name, int error) {
    return "The file \"" + name + "\" could not be opened: " + std::strerror(error) + ".";
}

RegularFile::RegularFile(const QString& path) : name_(QFileInfo(path).fileName().toStdString()) {
    const QByteArray native = QFile::encodeName(path);
    fd_ = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) throw QuorilanthError(cannotOpen(name_, errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw QuorilanthError("The file \"" + name_ + "\" is not a regular file.");
    }
}

RegularFile::~RegularFile() {
    ::close(fd_);
}

std::size_t RegularFile::read(char* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t count = ::read(fd_, buffer, capacity);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR)
            throw QuorilanthError("The file \"" + name_ +
                                  "\" could not be read: " + std::strerror(errno) + ".");
    }
}

std::string RegularFile::readAll(const QString& path) {
    RegularFile file(path);
    std::string bytes;
    char buffer[1 << 16];
    while (const std::size_t count = file.read(buffer, sizeof buffer))
        bytes.append(buffer, count);
    return bytes;
}

ScanReport RegularFile::readReport(const QString& path, std::stop_token stop) {
    RegularFile file(path);
    return ReportJSON::read([&](char* buffer, std::size_t capacity) {
        if (stop.stop_requested()) throw Cancelled();
        return file.read(buffer, capacity);
    });
}

} // namespace quorilanth
