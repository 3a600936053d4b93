#include "app/store/LibraryLock.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <limits>

namespace quorilanth {
namespace {

using std::chrono::milliseconds;

// Both ends are builds of this program; the marks keep out anything else
// that finds the socket, and an older build's request it cannot read.
constexpr quint32 requestMark = 0x514C5251;  // "QLRQ"
constexpr quint32 acceptedMark = 0x514C4F4B; // "QLOK"
constexpr auto streamVersion = QDataStream::Qt_6_0;
// A request is one path; anything longer is not a request of ours.
constexpr qint64 longestRequest = 64 * 1024;
// How long a launch that found the library held waits between two tries.
constexpr milliseconds retryPause{100};

// What is left of the deadline, as the socket's waits take it (-1: no end).
int waitMs(const QDeadlineTimer& deadline) {
    return int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max()));
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

bool LibraryLock::handOver(const std::optional<QString>& report, QDeadlineTimer deadline) const {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(waitMs(deadline))) return false;
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out.setVersion(streamVersion);
        out << requestMark << report.has_value() << report.value_or(QString());
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(waitMs(deadline))) return false;
    QDataStream in(&socket);
    in.setVersion(streamVersion);
    for (;;) {
        in.startTransaction();
        quint32 answer = 0;
        in >> answer;
        if (in.commitTransaction()) return answer == acceptedMark;
        if (!socket.waitForReadyRead(waitMs(deadline))) return false;
    }
}

void LibraryLock::listen() {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    // Only the lock's holder gets here: a socket under our name is one that a
    // killed copy left behind.
    QLocalServer::removeServer(serverName_);
    if (!server_.listen(serverName_)) return;
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] { receive(peer); });
            receive(peer);
        }
    });
}

void LibraryLock::receive(QLocalSocket* peer) {
    QDataStream in(peer);
    in.setVersion(streamVersion);
    in.startTransaction();
    quint32 mark = 0;
    bool hasReport = false;
    QString report;
    in >> mark >> hasReport >> report;
    if (!in.commitTransaction()) {
        if (in.status() == QDataStream::ReadCorruptData || peer->bytesAvailable() > longestRequest)
            peer->abort();
        return;
    }
    if (mark != requestMark) {
        peer->abort();
        return;
    }
    emit requested(hasReport ? std::optional<QString>(report) : std::nullopt);
    QDataStream out(peer);
    out.setVersion(streamVersion);
    out << acceptedMark;
    peer->flush();
}

} // namespace quorilanth
