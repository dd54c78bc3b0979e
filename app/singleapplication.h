#pragma once

#include <QApplication>
#include <QLockFile>
#include <QStringList>
#include <functional>
#include <memory>

class QLocalServer;

// An application that is the one running instance of its identifier for this user.
// The first instance holds a lock file and listens on a local socket; a later one
// finds the lock taken and can hand a message to the first.
//
// The lock file goes into the first of the lock folders where it can be created. A lock
// held by another process means another instance; a folder where the file cannot be
// created at all (missing, not writable, not a folder) is passed over, and when every
// folder fails the instance has no lock and must not run.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(const QString& id, int& argc, char** argv,
                      const QStringList& lockFolders = defaultLockFolders());
    ~SingleApplication() override;

    // The per-user runtime folder, then a folder of the user's own in the temporary
    // folder. A missing lock folder is made when it is tried, readable by the user alone;
    // one that someone else owns is passed over.
    static QStringList defaultLockFolders();

    // True when another instance held the identifier when this one started.
    bool isRunning() const { return state_ == State::AlreadyRunning; }
    // True when no lock folder could take the lock file: not another instance, but this
    // instance cannot make sure it is the only one.
    bool hasNoLock() const { return state_ == State::NoLock; }
    const QStringList& lockFolders() const { return lockFolders_; }

    // Hands a message to the running instance. True when it confirmed receipt within
    // timeoutMs.
    bool sendMessage(const QString& message, int timeoutMs) const;

signals:
    void messageReceived(const QString& message);

private:
    enum class State
    {
        Primary,
        AlreadyRunning,
        NoLock,
    };

    void takeLock();
    void listen();
    void acceptConnection();

    QString serverName_;
    QStringList lockFolders_;
    State state_ = State::NoLock;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

// The refusal of a second start: shows the box through showBox, then passes the
// identifier's message to the running instance. Returns the process exit code: 0 when
// the running instance received the message, 1 when it did not.
int refuseSecondInstance(const SingleApplication& app, const std::function<void()>& showBox);

QString alreadyRunningTitle();
QString alreadyRunningText();
// Why an instance without a lock does not start, naming the folders it tried.
QString noLockText(const QStringList& lockFolders);
