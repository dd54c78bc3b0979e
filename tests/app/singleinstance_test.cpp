#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString kProbe = QStringLiteral(GALVORN_BIN_DIR "/singleinstance_probe");

class SingleInstance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        auto env = QProcessEnvironment::systemEnvironment();
        // The lock and the local socket (named in the temporary folder) of these starts
        // are the test's own, apart from any other test or instance running at the time.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("TMPDIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
    }

    // Both starts look for their lock in these folders instead of the program's own.
    void useLockFolders(const QStringList& folders)
    {
        for (QProcess* start : {&first, &second}) {
            QProcessEnvironment env = start->processEnvironment();
            env.insert(QStringLiteral("GALVORN_PROBE_LOCK_FOLDERS"),
                       folders.join(QLatin1Char(':')));
            start->setProcessEnvironment(env);
        }
    }

    // A path below which no lock file can be made: a plain file.
    QString blockedFolder(const QString& name) const
    {
        QFile file(runtime.path() + QLatin1Char('/') + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return file.fileName();
    }

    void startFirst()
    {
        first.start(kProbe);
        ASSERT_TRUE(first.waitForStarted());
        ASSERT_TRUE(first.waitForReadyRead(10000));
        ASSERT_EQ(first.readLine().trimmed(), "primary");
    }

    QTemporaryDir runtime;
    QProcess first;
    QProcess second;
};

} // namespace

TEST_F(SingleInstance, SecondStartIsRefusedAndTheFirstGetsTheMessage)
{
    startFirst();
    second.start(kProbe);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput().trimmed(), "box:error|Galvorn is already running");

    ASSERT_TRUE(first.waitForReadyRead(10000));
    EXPECT_EQ(first.readLine().trimmed(), "received:Galvorn");
    EXPECT_EQ(first.state(), QProcess::Running) << "the first instance keeps running";

    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(SingleInstance, StartAfterTheFirstEndedIsPrimaryAgain)
{
    startFirst();
    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
    startFirst();
    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
}

TEST_F(SingleInstance, LockOfAKilledInstanceIsTakenOver)
{
    startFirst();
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    startFirst();
    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
}

TEST_F(SingleInstance, UndeliveredMessageExitsWithOne)
{
    // A stopped first instance holds the lock and its socket accepts, but it never
    // confirms the message.
    startFirst();
    ::kill(static_cast<pid_t>(first.processId()), SIGSTOP);
    second.start(kProbe);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    ::kill(static_cast<pid_t>(first.processId()), SIGCONT);
    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
}

TEST_F(SingleInstance, AFolderThatCannotTakeTheLockIsPassedOver)
{
    const QString fallback = runtime.path() + QStringLiteral("/fallback");
    ASSERT_TRUE(QDir().mkpath(fallback));
    useLockFolders({blockedFolder(QStringLiteral("blocked")), fallback});
    startFirst();
    second.start(kProbe);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.readAllStandardOutput().trimmed(), "box:error|Galvorn is already running");
    ASSERT_TRUE(first.waitForReadyRead(10000));
    EXPECT_EQ(first.readLine().trimmed(), "received:Galvorn");
    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(10000));
}

TEST_F(SingleInstance, NoFolderForTheLockIsNotAnotherInstance)
{
    const QString one = blockedFolder(QStringLiteral("one"));
    const QString two = blockedFolder(QStringLiteral("two"));
    useLockFolders({one, two});
    second.start(kProbe);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(second.readAllStandardOutput().trimmed()),
              QStringLiteral("box:error|Galvorn cannot start: it cannot create its lock file in "
                             "%1, %2")
                  .arg(one, two));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
