#include <QApplication>
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
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        first.setProcessEnvironment(env);
        second.setProcessEnvironment(env);
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

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
