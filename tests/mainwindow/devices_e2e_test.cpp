// The real window against simulated cameras, in a private network namespace: devices
// appear, change and disappear in the tree, a double-click opens the device's page, and
// a run logs in to every ticked device.
#include "testkit/devsimprocess.h"
#include "ui/devicetree/devicetree.h"
#include "ui/dialogs/n12_messagebox.h"
#include "ui/mainwindow/galvorn.h"
#include "ui/uitext.h"
#include "widgets/vistatreewidget.h"
#include "widgets/vrnlineedit.h"
#include "windowtest.h"

#include "discovery/onlinedeviceinfo.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QTest>
#include <QUrl>

using galvorn::testing::DevsimProcess;
using galvorn::testing::testCameraMac;
using galvorn::testing::testCameraSection;

namespace {

constexpr int kNameColumn = 1;
constexpr int kStatusColumn = 15;
// The window searches every 5 s; a silent camera is gone after three periods.
constexpr int kAppearMs = 8000;
constexpr int kGoneMs = 25000;

// Catches the URLs the window hands to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

std::string cameraSection(int index)
{
    // The second address is the one a run connects at; make it the camera's own.
    const std::string bind = "127.0.1." + std::to_string(1 + index);
    return testCameraSection(index, "ip2 = " + bind + "\nmask2 = 255.0.0.0\nhttpPort = 80\n");
}

class DevicesEndToEnd : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        std::string error;
        ASSERT_TRUE(devsim.start(cameraSection(0) + cameraSection(1), error)) << error;
        window = std::make_unique<Galvorn>();
        ASSERT_TRUE(QTest::qWaitFor([this] { return tree().deviceRowCount() == 2; }, kAppearMs));
    }

    DeviceTree& tree() const { return window->deviceTree(); }

    QTreeWidgetItem* rowOf(int camera) const
    {
        const QString mac = QString::fromStdString(testCameraMac(camera));
        VistaTreeWidget* widget = tree().widget();
        for (int i = 0; i < widget->topLevelItemCount(); ++i) {
            if (DeviceTree::deviceOf(widget->topLevelItem(i))->mac == mac)
                return widget->topLevelItem(i);
        }
        return nullptr;
    }

    // Runs a CSV export of both cameras with the password and returns once it ended.
    void runWithPassword(const QString& password)
    {
        window->findChild<VRNLineEdit*>(QStringLiteral("passwordEdit"))->setText(password);
        QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("exportButton")),
                          Qt::LeftButton);
        QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("csvRadio")),
                          Qt::LeftButton);
        window->applyBrowsedPath(config.path());
        tree().selectAll();
        QTest::mouseClick(window->findChild<QAbstractButton*>(QStringLiteral("startButton")),
                          Qt::LeftButton);
        ASSERT_TRUE(window->runState().running());
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->runState().running(); }, 15000));
    }

    DevsimProcess devsim;
    std::unique_ptr<Galvorn> window;
};

} // namespace

TEST_F(DevicesEndToEnd, DevicesAppearChangeAndDisappear)
{
    QTreeWidgetItem* first = rowOf(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text(kNameColumn), QStringLiteral("Camera 0"));
    first->setCheckState(0, Qt::Checked);

    ASSERT_EQ(devsim.command("set " + testCameraMac(0) + " devName Gate"), "ok");
    EXPECT_TRUE(QTest::qWaitFor([&] { return first->text(kNameColumn) == "Gate"; }, kAppearMs));
    EXPECT_EQ(rowOf(0), first) << "a changed device keeps its row";
    EXPECT_EQ(first->checkState(0), Qt::Checked) << "and its tick";

    ASSERT_EQ(devsim.command("silence " + testCameraMac(1)), "ok");
    EXPECT_TRUE(QTest::qWaitFor([this] { return tree().deviceRowCount() == 1; }, kGoneMs));
    EXPECT_EQ(rowOf(1), nullptr);
    EXPECT_EQ(tree().tickedRowCount(), 1);

    ASSERT_EQ(devsim.command("revive " + testCameraMac(1)), "ok");
    EXPECT_TRUE(QTest::qWaitFor([this] { return tree().deviceRowCount() == 2; }, kAppearMs));
}

TEST_F(DevicesEndToEnd, DoubleClickOpensTheDevicePage)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTreeWidgetItem* row = rowOf(0);
    ASSERT_TRUE(row);
    const QRect cell = tree().widget()->visualItemRect(row);
    // A double-click is a press, a release and a second press that arrives as the
    // double-click event.
    QTest::mouseClick(tree().widget()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(tree().widget()->viewport(), Qt::LeftButton, {}, cell.center());
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.front(), QUrl(QStringLiteral("http://127.0.1.1")));
}

TEST_F(DevicesEndToEnd, RunLogsInToEveryTickedDevice)
{
    runWithPassword(QStringLiteral("wrong"));
    EXPECT_EQ(rowOf(0)->text(kStatusColumn), uiText("IDCS_USERPWD_ERROR"));
    EXPECT_EQ(rowOf(1)->text(kStatusColumn), uiText("IDCS_USERPWD_ERROR"));

    // With the right password both log in and reach the export, which ends the run with
    // a final text of its own.
    runWithPassword(QStringLiteral("123456"));
    for (int camera : {0, 1}) {
        const QString text = rowOf(camera)->text(kStatusColumn);
        EXPECT_NE(text, uiText("IDCS_USERPWD_ERROR"));
        EXPECT_NE(text, uiText("IDCS_CONNECT_FAIL"));
        EXPECT_NE(text, uiText("IDCS_CONNECTING_DEVICE"));
    }
}

#include "devices_e2e_test.moc"
