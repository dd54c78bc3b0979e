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

// Arranges for the next modal dialog to be handed to `answer` as soon as it is shown;
// `answer` must close it. Returns at once.
void answerNextModal(std::function<void(QWidget*)> answer);
