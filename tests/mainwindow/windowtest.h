#pragma once

#include "ui/mainwindow/galvorn.h"

#include <QAbstractButton>
#include <QTemporaryDir>
#include <QTest>
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

// A window test that owns a fresh window and finds its widgets by object name.
class OneWindowTest : public WindowTest
{
protected:
    template <typename T>
    T* child(const char* name) const
    {
        T* w = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    void click(const char* button)
    {
        QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton);
    }

    Galvorn window;
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
