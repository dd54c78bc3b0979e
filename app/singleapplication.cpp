#include "app/singleapplication.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr char kAck[] = "ack\n";
constexpr qint64 kMaxMessageBytes = 4096;

QString runtimeDir()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

} // namespace

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv), serverName_(QStringLiteral("%1-%2").arg(id).arg(::getuid())),
      lock_(std::make_unique<QLockFile>(runtimeDir() + QLatin1Char('/') + serverName_ +
                                        QStringLiteral(".lock")))
{
    // A lock left by a crashed instance is stale and tryLock() takes it over.
    if (!lock_->tryLock(0))
        return;
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

int refuseSecondInstance(const SingleApplication& app, const std::function<void()>& showBox)
{
    showBox();
    return app.sendMessage(QStringLiteral("Galvorn"), 5000) ? 0 : 1;
}
