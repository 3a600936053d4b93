#include "app/store/LibraryLock.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QSysInfo>
#include <algorithm>
#include <chrono>
#include <limits>

namespace quorilanth {
namespace {

using std::chrono::milliseconds;

// Both ends are builds of this program; the marks keep out anything else
// that finds the socket. They differ from those of the one-step exchange of
// earlier builds, so that an earlier build and this one never misread each
// other: each side then gets no answer, and acts on nothing.
// A launch sends a request, the holder answers ready, the launch confirms
// with a commit while it still waits, and the holder, having acted on it,
// answers done.
constexpr quint32 requestMark = 0x514C4852; // "QLHR"
constexpr quint32 readyMark = 0x514C5259;   // "QLRY"
constexpr quint32 commitMark = 0x514C434D;  // "QLCM"
constexpr quint32 doneMark = 0x514C444E;    // "QLDN"
constexpr auto streamVersion = QDataStream::Qt_6_0;
// A request is one path; anything longer is not a request of ours.
constexpr qint64 longestRequest = 64 * 1024;
// How long a launch that found the library held waits between two tries.
constexpr milliseconds retryPause{100};

// What is left of the deadline, as the socket's waits take it (-1: no end).
int waitMs(const QDeadlineTimer& deadline) {
    return int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max()));
}

template <typename... Values> QByteArray encoded(const Values&... values) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    (out << ... << values);
    return bytes;
}

bool send(QLocalSocket& socket, const QByteArray& bytes, const QDeadlineTimer& deadline) {
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(waitMs(deadline))) return false;
    return true;
}

// The holder's next mark; none once the socket has closed or the deadline
// has passed.
std::optional<quint32> nextMark(QLocalSocket& socket, const QDeadlineTimer& deadline) {
    QDataStream in(&socket);
    in.setVersion(streamVersion);
    for (;;) {
        in.startTransaction();
        quint32 mark = 0;
        in >> mark;
        if (in.commitTransaction()) return mark;
        if (!socket.waitForReadyRead(waitMs(deadline))) return std::nullopt;
    }
}

} // namespace

LibraryLock::LibraryLock(const QString& folder, QObject* parent)
    : QObject(parent), folder_(folder), file_(QDir(folder).filePath(QLatin1String(fileName))) {
    // The lock is held for the life of the process, which can be days: only
    // a holder that is gone makes it stale, never its age.
    file_.setStaleLockTime(0);
}

LibraryLock::~LibraryLock() {
    // The socket goes before the lock, so that the next holder never finds
    // a live server under its name.
    server_.close();
}

QString LibraryLock::lockFilePath() const {
    return QFileInfo(QDir(folder_).filePath(QLatin1String(fileName))).absoluteFilePath();
}

QString LibraryLock::serverName(const QString& folder) {
    const QFileInfo info(folder);
    const QString path = info.canonicalFilePath().isEmpty()
                             ? QDir::cleanPath(info.absoluteFilePath())
                             : info.canonicalFilePath();
    // A short hash keeps the socket's path within the system's limit however
    // deep the folder lies.
    const QString name =
        QStringLiteral("quorilanth-") +
        QString::fromLatin1(
            QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
}

LibraryLock::Outcome LibraryLock::acquire(const std::optional<QString>& report,
                                          QDeadlineTimer deadline) {
    // Named only now that the folder exists, so that every launch names it
    // by the same canonical path, links resolved.
    serverName_ = serverName(folder_);
    milliseconds wait{0};
    for (;;) {
        if (file_.tryLock(wait)) {
            listen();
            return Outcome::owner;
        }
        if (file_.error() != QLockFile::LockFailedError) return Outcome::unguarded;
        if (handOver(report, deadline)) return Outcome::handedOver;
        // A copy on another machine has no socket here, and QLockFile cannot
        // see its process end, so the lock would never turn stale: waiting
        // for it could only end in noAnswer.
        holderHost_ = otherHost();
        if (!holderHost_.isEmpty()) return Outcome::elsewhere;
        if (deadline.hasExpired()) break;
        // The holder is still starting (its server not yet listening) or
        // ending: wait a moment for either its answer or the lock.
        wait =
            std::min(retryPause,
                     std::chrono::duration_cast<milliseconds>(deadline.remainingTimeAsDuration()));
    }
    // A copy killed between creating the lock file and writing its name into
    // it leaves a lock that names nobody, which would never turn stale. Taken
    // only now, long after any live holder would have written its name, and
    // only when no process still holds the file open under its lock.
    qint64 pid = 0;
    QString host, application;
    if (!file_.getLockInfo(&pid, &host, &application) && file_.removeStaleLockFile() &&
        file_.tryLock()) {
        listen();
        return Outcome::owner;
    }
    return Outcome::noAnswer;
}

// Told apart as QLockFile tells it: by the machine's id where the file
// records one (a renamed machine keeps its id, and its copy may yet answer
// or end), else by the name.
QString LibraryLock::otherHost() const {
    qint64 pid = 0;
    QString host, application;
    if (!file_.getLockInfo(&pid, &host, &application) || host.isEmpty() ||
        host == QSysInfo::machineHostName())
        return {};
    QFile file(lockFilePath());
    const QByteArray id = file.open(QIODevice::ReadOnly)
                              ? file.read(longestRequest).split('\n').value(3)
                              : QByteArray();
    const QByteArray ours = QSysInfo::machineUniqueId();
    return id.isEmpty() || ours.isEmpty() || id != ours ? host : QString();
}

bool LibraryLock::handOver(const std::optional<QString>& report, QDeadlineTimer deadline) const {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(waitMs(deadline))) return false;
    if (!send(socket, encoded(requestMark, report.has_value(), report.value_or(QString())),
              deadline) ||
        nextMark(socket, deadline) != readyMark || deadline.hasExpired())
        return false;
    if (!send(socket, encoded(commitMark), deadline)) {
        // Never sent later by the socket's closing: this launch tells its
        // user that the copy did not answer.
        socket.abort();
        return false;
    }
    // The holder acts on the commit whenever it reads it, so only a holder
    // that closes without done (one that quit before reading it) leaves the
    // request to the next try, which then finds the library free.
    return nextMark(socket, deadline) == doneMark || socket.state() == QLocalSocket::ConnectedState;
}

void LibraryLock::listen() {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    // Only the lock's holder gets here: a socket under our name is one that a
    // killed copy left behind.
    QLocalServer::removeServer(serverName_);
    if (!server_.listen(serverName_)) return;
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, this, [this, peer] {
                // A commit sent just before the launch closed is still
                // buffered, and was confirmed in time.
                receive(peer);
                drop(peer);
            });
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] { receive(peer); });
            receive(peer);
        }
    });
}

void LibraryLock::stopListening() {
    server_.close();
    for (QLocalSocket* peer : server_.findChildren<QLocalSocket*>())
        drop(peer);
}

void LibraryLock::drop(QLocalSocket* peer) {
    pending_.remove(peer);
    peer->disconnect(this);
    peer->abort();
    peer->deleteLater();
}

void LibraryLock::receive(QLocalSocket* peer) {
    QDataStream in(peer);
    in.setVersion(streamVersion);
    // A read may bring more than one message.
    for (const QPointer<QLocalSocket> alive(peer); alive && peer->isReadable();) {
        in.startTransaction();
        quint32 mark = 0;
        bool hasReport = false;
        QString report;
        in >> mark;
        if (mark == requestMark) in >> hasReport >> report;
        if (!in.commitTransaction()) {
            if (in.status() == QDataStream::ReadCorruptData ||
                peer->bytesAvailable() > longestRequest)
                drop(peer);
            return;
        }
        const auto waiting = pending_.constFind(peer);
        if (mark == requestMark && waiting == pending_.cend()) {
            pending_.insert(peer, hasReport ? std::optional<QString>(report) : std::nullopt);
            peer->write(encoded(readyMark));
            peer->flush();
        } else if (mark == commitMark && waiting != pending_.cend()) {
            const std::optional<QString> request = *waiting;
            pending_.remove(peer);
            // A slot may run an event loop of its own, in which the peer can
            // go.
            emit requested(request);
            // Sent at once: a launch that sees the holder close without it
            // tries again, and would hand the same report twice.
            if (alive && peer->state() == QLocalSocket::ConnectedState) {
                peer->write(encoded(doneMark));
                peer->flush();
            }
        } else {
            drop(peer);
            return;
        }
    }
}

} // namespace quorilanth
