#pragma once

#include "app/store/SavedScan.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace quorilanth {

// Lists again the saved scans of a library whose index cannot be read, from
// the report files beside it, on a thread of its own: a library of thousands
// of reports takes seconds to read, and the window must stay with the user
// meanwhile. Each file named like a report id is read once, as any opened
// report is, and listed when the report inside bears that id; the marks come
// from the unreadable index where they can still be read.
class LibraryRebuild {
public:
    // found: called on the rebuild's thread when entries are waiting to be
    // taken, at most every tenth of a second and once more at the end; it
    // must only arrange for take() to be called.
    LibraryRebuild(const QString& folder, const QByteArray& unreadableIndex,
                   std::function<void()> found);
    // Stops reading and waits for the thread.
    ~LibraryRebuild();
    LibraryRebuild(const LibraryRebuild&) = delete;
    LibraryRebuild& operator=(const LibraryRebuild&) = delete;

    // The entries found since the last call; finished becomes true once the
    // whole folder has been read and taken.
    std::vector<SavedScan> take(bool& finished);
    // Reads the folder to its end before returning.
    void wait();

private:
    void run(const QString& folder, const QByteArray& unreadableIndex, std::stop_token stop);

    std::function<void()> found_;
    std::mutex mutex_;
    std::vector<SavedScan> waiting_;
    bool finished_ = false;
    bool announced_ = false;
    // Last, so that it starts when everything it uses stands, and stops first.
    std::jthread thread_;
};

} // namespace quorilanth
