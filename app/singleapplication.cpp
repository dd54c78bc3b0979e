#include "app/singleapplication.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr char kAck[] = "ack\n";
constexpr qint64 kMaxMessageBytes = 4096;

// Makes the folder ready for a lock file: made, readable by the user alone, when it is
// missing. False for a folder that cannot be made or that someone else owns.
bool prepareFolder(const QString& folder)
{
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return false;
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QFileInfo info(folder);
    return info.isDir() && info.ownerId() == ::getuid();
}

} // namespace

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv,
                                     const QStringList& lockFolders)
    : QApplication(argc, argv), serverName_(QStringLiteral("%1-%2").arg(id).arg(::getuid())),
      lockFolders_(lockFolders)
{
    takeLock();
    if (state_ == State::Primary)
        listen();
}

QStringList SingleApplication::defaultLockFolders()
{
    QStringList folders;
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        folders << runtime;
    folders << QDir::tempPath() + QStringLiteral("/galvorn-%1").arg(::getuid());
    return folders;
}

void SingleApplication::takeLock()
{
    for (const QString& folder : lockFolders_) {
        if (!prepareFolder(folder)) {
            qWarning("single instance: cannot keep a lock file in %s", qPrintable(folder));
            continue;
        }
        auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + serverName_ +
                                                QStringLiteral(".lock"));
        // A lock left by a crashed instance is stale and tryLock() takes it over.
        if (lock->tryLock(0)) {
            lock_ = std::move(lock);
            state_ = State::Primary;
            return;
        }
        if (lock->error() == QLockFile::LockFailedError) {
            state_ = State::AlreadyRunning;
            return;
        }
        qWarning("single instance: no lock file in %s", qPrintable(folder));
    }
    state_ = State::NoLock;
}

void SingleApplication::listen()
{
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        qWarning("single instance: cannot listen on %s", qPrintable(serverName_));
        return;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleApplication::acceptConnection);
}

SingleApplication::~SingleApplication()
{
    if (server_)
        server_->close();
}

void SingleApplication::acceptConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxMessageBytes)
                    socket->abort();
                return;
            }
            const QString message = QString::fromUtf8(socket->readLine(kMaxMessageBytes)).trimmed();
            socket->write(kAck);
            socket->flush();
            emit messageReceived(message);
        });
    }
}

bool SingleApplication::sendMessage(const QString& message, int timeoutMs) const
{
    if (!isRunning())
        return false;
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(message.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine() == kAck;
}

QString alreadyRunningTitle()
{
    return QObject::tr("error");
}

QString alreadyRunningText()
{
    return QObject::tr("Galvorn is already running");
}

QString noLockText(const QStringList& lockFolders)
{
    return QObject::tr("Galvorn cannot start: it cannot create its lock file in %1")
        .arg(lockFolders.isEmpty() ? QObject::tr("any folder")
                                   : lockFolders.join(QStringLiteral(", ")));
}

int refuseSecondInstance(const SingleApplication& app, const std::function<void()>& showBox)
{
    showBox();
    return app.sendMessage(QStringLiteral("Galvorn"), 5000) ? 0 : 1;
}
