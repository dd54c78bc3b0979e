#include "config/inifile.h"
#include "config/languagetable.h"
#include "ui/mainwindow/galvorn.h"
#include "widgets/vrnbutton.h"
#include "widgets/vrnlabel.h"
#include "widgets/vrnpushbutton.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "windowtest.h"

namespace {

class MainWindow : public WindowTest
{
protected:
    std::string iniPath() const { return (config.path() + "/Galvorn.ini").toStdString(); }

    void writeIni(const QByteArray& text) const
    {
        QFile file(QString::fromStdString(iniPath()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    std::optional<std::string> stored(const char* key) const
    {
        return galvorn::IniFile::load(iniPath()).value("LocalSetting", key);
    }
};

VRNButton* buttonWithSkin(const Galvorn& window, const QString& skin)
{
    for (VRNButton* b : window.findChildren<VRNButton*>()) {
        if (b->skin() == skin)
            return b;
    }
    return nullptr;
}

} // namespace

TEST_F(MainWindow, OpensAtDefaultSizeWithTranslatedTitle)
{
    Galvorn window;
    EXPECT_EQ(window.size(), QSize(1200, 740));
    EXPECT_EQ(window.minimumSize(), QSize(1200, 740));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    const auto labels = window.findChildren<VRNLabel*>();
    const bool titled = std::any_of(labels.begin(), labels.end(), [](VRNLabel* l) {
        return l->text() == QStringLiteral("Galvorn v1.0.2.1");
    });
    EXPECT_TRUE(titled);
}

TEST_F(MainWindow, StoredSizeBelowMinimumIsRaisedAndGarbageIgnored)
{
    writeIni("[LocalSetting]\nDialogWidth=800\nDialogHeight=99999999\n");
    Galvorn window;
    EXPECT_EQ(window.size(), QSize(1200, 740));
}

TEST_F(MainWindow, ResizeWritesTheSizeAndLaysOutTheTitleBar)
{
    Galvorn window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(1500, 900);
    EXPECT_EQ(stored("DialogWidth"), "1500");
    EXPECT_EQ(stored("DialogHeight"), "900");
    EXPECT_EQ(buttonWithSkin(window, "close.png")->geometry(), QRect(1475, 3, 22, 22));
    EXPECT_EQ(buttonWithSkin(window, "min.png")->geometry(), QRect(1417, 3, 22, 22));
    EXPECT_EQ(window.findChild<QWidget*>("body")->geometry(), QRect(1, 57, 1498, 842));
    const auto buttons = window.findChildren<VRNPushButton*>();
    const auto start = std::find_if(buttons.begin(), buttons.end(), [](VRNPushButton* b) {
        return b->text() == QStringLiteral("Start");
    });
    ASSERT_NE(start, buttons.end());
    EXPECT_EQ((*start)->geometry(), QRect(1363, 867, 100, 25));
}

TEST_F(MainWindow, MaximizeDoesNotWriteTheSizeAndRestoreReturns)
{
    Galvorn window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(1300, 800);
    const QRect before = window.geometry();
    VRNButton* max = buttonWithSkin(window, "max.png");
    ASSERT_TRUE(max);

    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_TRUE(window.isMaximizedByButton());
    EXPECT_EQ(max->skin(), "normal.png");
    // A screen smaller than the window's minimum keeps the minimum.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(window.geometry(),
              QRect(available.topLeft(), available.size().expandedTo(window.minimumSize())));
    EXPECT_EQ(stored("DialogWidth"), "1300");
    EXPECT_EQ(stored("DialogHeight"), "800");

    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_FALSE(window.isMaximizedByButton());
    EXPECT_EQ(max->skin(), "max.png");
    EXPECT_EQ(window.geometry(), before);
}

TEST_F(MainWindow, EscapeDoesNotCloseButTheCloseButtonDoes)
{
    Galvorn window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    QTest::mouseClick(buttonWithSkin(window, "close.png"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}
