#pragma once

#include <QDeadlineTimer>
#include <QHash>
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
        elsewhere,  // the lock file names another machine (holderHost()), whose copy
                    // can neither answer nor be seen to end, so it is not waited for
    };

    // folder: the library folder, which must exist by the time of acquire().
    explicit LibraryLock(const QString& folder, QObject* parent = nullptr);
    ~LibraryLock() override;

    const QString& folder() const { return folder_; }
    QString lockFilePath() const;
    // The machine named in the lock file, once acquire() has found it elsewhere.
    const QString& holderHost() const { return holderHost_; }

    // Takes the library for this process or, while another copy holds it,
    // hands that copy `report` (an absolute path, or none to only bring its
    // window forward). Retries until the deadline, so that a copy still
    // starting, or one ending, is waited for. The holder acts on the request
    // only once this launch confirms it before the deadline, so that a launch
    // that gave up (noAnswer) is never acted on later, however long the
    // holder was stopped; a request confirmed counts as handed over even
    // when the holder reads the confirmation only later.
    Outcome acquire(const std::optional<QString>& report, QDeadlineTimer deadline);
    // For a holder on its way out, which serves no request any more: later
    // launches wait for the lock instead, and one not yet confirmed is let go
    // to try again. The lock itself is kept until this object goes.
    void stopListening();

    // The socket's path: in the user's private runtime folder, named after
    // the library folder's canonical path.
    static QString serverName(const QString& folder);

    static constexpr const char* fileName = "library.lock";

signals:
    // A later launch's request, emitted only once that launch has confirmed
    // that it still waits. From then on the launch counts the report as
    // handed over, whether or not it stays for the answer, so a connected
    // slot must have opened or kept the report by the time it returns.
    void requested(const std::optional<QString>& report);

private:
    bool handOver(const std::optional<QString>& report, QDeadlineTimer deadline) const;
    QString otherHost() const;
    void listen();
    void receive(QLocalSocket* peer);
    void drop(QLocalSocket* peer);

    QString folder_;
    QString serverName_;
    QString holderHost_;
    QLockFile file_;
    QLocalServer server_;
    // Requests read and answered "ready", until their launch confirms them.
    QHash<QLocalSocket*, std::optional<QString>> pending_;
};

} // namespace quorilanth
