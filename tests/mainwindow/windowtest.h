#pragma once

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

// Every window test gets its own configuration folder, so the user's settings are
// never read or written.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }

    QTemporaryDir config;
};

class QTimer;

// While it lives, hands the first modal dialog that is shown to `answer`, which must
// close it. Later dialogs are left alone.
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer);
    ~ModalAnswer();
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

private:
    QTimer* poll_;
};
