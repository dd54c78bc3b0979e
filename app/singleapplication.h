#pragma once

#include <QApplication>
#include <QLockFile>
#include <functional>
#include <memory>

class QLocalServer;

// An application that is the one running instance of its identifier for this user.
// The first instance holds a lock file and listens on a local socket; a later one
// finds the lock taken and can hand a message to the first.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(const QString& id, int& argc, char** argv);
    ~SingleApplication() override;

    // True when another instance held the identifier when this one started.
    bool isRunning() const { return !server_; }

    // Hands a message to the running instance. True when it confirmed receipt within
    // timeoutMs.
    bool sendMessage(const QString& message, int timeoutMs) const;

signals:
    void messageReceived(const QString& message);

private:
    void acceptConnection();

    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

// The refusal of a second start: shows the box through showBox, then passes the
// identifier's message to the running instance. Returns the process exit code: 0 when
// the running instance received the message, 1 when it did not.
int refuseSecondInstance(const SingleApplication& app, const std::function<void()>& showBox);

QString alreadyRunningTitle();
QString alreadyRunningText();
