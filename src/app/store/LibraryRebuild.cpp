#include "app/store/LibraryRebuild.h"

#include "app/store/RegularFile.h"
#include "app/store/WorkspaceStore.h"

#include <QDir>
#include <chrono>
#include <new>
#include <utility>

namespace quorilanth {
namespace {

constexpr std::chrono::milliseconds announcePause{100};

} // namespace

LibraryRebuild::LibraryRebuild(const QString& folder, const QByteArray& unreadableIndex,
                               std::function<void()> found)
    : found_(std::move(found)), thread_([this, folder, unreadableIndex](std::stop_token stop) {
          run(folder, unreadableIndex, stop);
      }) {}

LibraryRebuild::~LibraryRebuild() {
    thread_.request_stop();
}

void LibraryRebuild::wait() {
    if (thread_.joinable()) thread_.join();
}

std::vector<SavedScan> LibraryRebuild::take(bool& finished) {
    const std::lock_guard lock(mutex_);
    announced_ = false;
    finished = finished_;
    return std::exchange(waiting_, {});
}

void LibraryRebuild::run(const QString& folder, const QByteArray& unreadableIndex,
                         std::stop_token stop) {
    std::map<QString, LibraryMarks> marks;
    try {
        marks = readLibraryMarks(unreadableIndex);
    } catch (const std::bad_alloc&) {
        // An index too large to decode in the memory at hand gives no marks.
    }
    const QDir directory(folder);
    auto last = std::chrono::steady_clock::now();
    // Tells the store once per batch: a call it has not yet answered covers
    // whatever is found until it does.
    auto announce = [&](bool atEnd) {
        {
            const std::lock_guard lock(mutex_);
            finished_ = finished_ || atEnd;
            if (announced_ || (waiting_.empty() && !atEnd)) return;
            announced_ = true;
        }
        last = std::chrono::steady_clock::now();
        found_();
    };
    for (const QString& name :
         directory.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Unsorted)) {
        if (stop.stop_requested()) return;
        const QString id = name.chopped(5);
        const std::string key = id.toStdString();
        if (!WorkspaceStore::isValidReportID(key) || WorkspaceStore::isReservedReportID(key))
            continue;
        SavedScan entry;
        try {
            const ScanReport report = RegularFile::readReport(directory.filePath(name), stop);
            // A copy of another report under this name would open as that one.
            if (report.id != key) continue;
            entry = {id,
                     QString::fromStdString(report.domain),
                     report.startedAt,
                     report.score(),
                     false,
                     std::nullopt};
        } catch (const std::exception&) {
            continue; // not a report of this library: it could not be opened either
        }
        if (const auto marked = marks.find(id); marked != marks.end()) {
            entry.favorite = marked->second.favorite;
            entry.collection = marked->second.collection;
        }
        {
            const std::lock_guard lock(mutex_);
            waiting_.push_back(std::move(entry));
        }
        if (std::chrono::steady_clock::now() - last >= announcePause) announce(false);
    }
    announce(true);
}

} // namespace quorilanth
