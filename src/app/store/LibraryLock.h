#pragma once

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <optional>

class QLocalSocket;

namespace quorilanth {

// Keeps one running copy per library folder. The store rewrites the index
// whole from its own list, so two copies on one folder would each drop what
// the other added: the first launch holds a lock file in the folder for its
// whole life and listens on a local socket named after the folder; a later
// launch hands its request over that socket and ends.
class LibraryLock : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        owner,      // this process holds the library and listens for later launches
        handedOver, // the running copy accepted the request
        noAnswer,   // a copy holds the library but did not accept in time
        unguarded,  // the lock file cannot be made (a read-only folder, a full disk),
                    // so the library cannot be written either
    };

    // folder: the library folder, which must exist by the time of acquire().
    explicit LibraryLock(const QString& folder, QObject* parent = nullptr);
    ~LibraryLock() override;

    const QString& folder() const { return folder_; }

    // Takes the library for this process or, while another copy holds it,
    // hands that copy `report` (an absolute path, or none to only bring its
    // window forward). Retries until the deadline, so that a copy still
    // starting, or one ending, is waited for.
    Outcome acquire(const std::optional<QString>& report, QDeadlineTimer deadline);

    // The socket's path: in the user's private runtime folder, named after
    // the library folder's canonical path.
    static QString serverName(const QString& folder);

    static constexpr const char* fileName = "library.lock";

signals:
    // A later launch's request. It is answered once the connected slots have
    // returned, so a slot must have opened or kept the report by then.
    void requested(const std::optional<QString>& report);

private:
    bool handOver(const std::optional<QString>& report, QDeadlineTimer deadline) const;
    void listen();
    void receive(QLocalSocket* peer);

    QString folder_;
    QString serverName_;
    QLockFile file_;
    QLocalServer server_;
};

} // namespace quorilanth
