#include "discovery/onlinedeviceinfo.h"
#include "facelib/callbackinfo.h"
#include "facelib/statuspayload.h"
#include "ui/devicetree/devicetree.h"
#include "ui/dialogs/n12_messagebox.h"
#include "ui/mainwindow/galvorn.h"
#include "ui/uitext.h"
#include "widgets/vistaitemdelegate.h"
#include "widgets/vistatreewidget.h"
#include "widgets/vrnlineedit.h"
#include "widgets/vrnpushbutton.h"
#include "windowtest.h"

#include "widgets/vrnbutton.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using galvorn::OperationType;

namespace {

constexpr int kStatusColumn = 15;

class RunControl : public OneWindowTest
{
protected:
    // A device row as the search would deliver it, reachable on loopback.
    void addDevice(int n, int dataPort, int httpPort = 80)
    {
        auto* device = new OnlineDeviceInfo;
        device->devName = QStringLiteral("Camera %1").arg(n);
        device->mac = QStringLiteral("02:00:00:00:%1:%2")
                          .arg(n / 256, 2, 16, QLatin1Char('0'))
                          .arg(n % 256, 2, 16, QLatin1Char('0'))
                          .toUpper();
        device->ipAddr = device->ipAddr2 = QStringLiteral("127.0.0.1");
        device->maskAddr = device->maskAddr2 = QStringLiteral("255.0.0.0");
        device->productSeries = QStringLiteral("VRN_IPC");
        device->productModel = QStringLiteral("IPC-1");
        device->softwareVer = QStringLiteral("5.1.0");
        device->dataPort = dataPort;
        device->httpPort = httpPort;
        window.slot_recvOnlineDeviceInfo(device, 0);
    }

    // Presses Start and returns the text of the warning it showed, if any.
    QString pressStart()
    {
        QString warning;
        const ModalAnswer modal([&warning](QWidget* box) {
            warning = static_cast<N12_MessageBox*>(box)->text();
            box->close();
        });
        click("startButton");
        return warning;
    }

    QString rowStatus(int row) const
    {
        return window.deviceTree().widget()->topLevelItem(row)->text(kStatusColumn);
    }

    bool waitForIdle(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return !window.runState().running(); }, ms);
    }
};

} // namespace

TEST_F(RunControl, StartWithoutAPathNamesWhatIsMissing)
{
    EXPECT_EQ(pressStart(), uiText("IDCS_SELECT_IMPORTFILE"));
    click("exportButton");
    EXPECT_EQ(pressStart(), uiText("IDCS_SELECT_EXPORTDIR"));
    click("csvRadio");
    EXPECT_EQ(pressStart(), uiText("IDCS_SELECT_EXPORTDIR"));
    click("batchAddButton");
    EXPECT_EQ(pressStart(), uiText("IDCS_SELECT_BATCHADDDIR"));
    EXPECT_FALSE(window.runState().running());
}

TEST_F(RunControl, StartWithoutATickedDeviceNamesTheOperation)
{
    addDevice(1, 9008);
    click("exportButton");
    window.applyBrowsedPath(config.path());
    EXPECT_EQ(pressStart(), uiText("IDCS_EXPORT_DEVICE"));
    click("batchAddButton");
    QFile picture(config.filePath(QStringLiteral("anna.jpg")));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    window.applyBrowsedPath(config.path());
    EXPECT_EQ(pressStart(), uiText("IDCS_SELECT_IMPORT_DEVICE"));
}

// The person table is checked before any device is looked at.
TEST_F(RunControl, BatchAddRefusesAFolderItCannotAddFrom)
{
    addDevice(1, 9008);
    window.deviceTree().selectAll();
    click("batchAddButton");
    QTemporaryDir folder;
    window.applyBrowsedPath(folder.path());
    const auto writeTable = [&folder](const QByteArray& table) {
        QFile file(folder.filePath(QStringLiteral("persons.csv")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(table);
    };
    EXPECT_EQ(pressStart(), uiText("IDCS_PLEASE_EXIST_IMAGE")) << "an empty folder";

    QByteArray table = "(01)Name,(02)Gender,(12)Picture\n";
    for (int row = 2; row < 7; ++row)
        table += "P" + QByteArray::number(row) + ",0,p" + QByteArray::number(row) + ".jpg\n";
    writeTable(table + "Short,0\n");
    EXPECT_EQ(pressStart(), uiText("IDCS_ERRORLINEOFDOCUMENT").arg(7));

    writeTable(table);
    EXPECT_EQ(pressStart(), uiText("IDCS_PLEASE_EXIST_IMAGE")) << "rows name missing pictures";

    QByteArray many = "(01)Name,(12)Picture\n";
    for (int row = 0; row <= 100000; ++row)
        many += "p,p.jpg\n";
    writeTable(many);
    EXPECT_EQ(pressStart(), uiText("IDCS_IMAGE_COUNT_TOO_MORE"));
    EXPECT_FALSE(window.runState().running());
    EXPECT_TRUE(rowStatus(0).isEmpty()) << "no refusal reaches the devices";
}

// The window is a dialog, whose default push button would take Return from a field or
// from the tree. Keys never change a tick, whatever has the focus.
TEST_F(RunControl, ReturnChangesNoTickWhereverTheFocusIs)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (int n = 1; n <= 3; ++n)
        addDevice(n, 9008);
    VistaTreeWidget* tree = window.deviceTree().widget();
    tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
    tree->setCurrentItem(tree->topLevelItem(0));
    const QList<OnlineDeviceInfo*> ticked = window.deviceTree().tickedDevices();
    ASSERT_EQ(ticked.size(), 1);

    for (QWidget* focus : std::initializer_list<QWidget*>{
             child<QWidget>("userEdit"), child<QWidget>("passwordEdit"),
             child<QWidget>("libraryPasswordEdit"), child<QWidget>("pathEdit"), tree}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            focus->setFocus();
            QTest::keyClick(focus, key);
            EXPECT_EQ(window.deviceTree().tickedDevices(), ticked)
                << focus->objectName().toStdString() << " key " << key;
        }
    }
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault() || button->autoDefault())
            << button->objectName().toStdString();
}

TEST_F(RunControl, ThirtyThreeDevicesAreRefusedAndThirtyTwoRun)
{
    click("exportButton");
    click("csvRadio"); // one worker per device
    window.applyBrowsedPath(config.path());
    for (int n = 0; n < 33; ++n)
        addDevice(n, 0); // port 0: every job ends at once, without a connection
    window.deviceTree().selectAll();
    EXPECT_EQ(pressStart(), uiText("IDCS_WARN_BATCHIMPORT_MAX_NUM"));
    EXPECT_FALSE(window.runState().running());

    auto* gone = new OnlineDeviceInfo;
    gone->mac = QStringLiteral("02:00:00:00:00:00");
    window.slot_recvOnlineDeviceInfo(gone, 1);
    ASSERT_EQ(window.deviceTree().tickedRowCount(), 32);
    EXPECT_TRUE(pressStart().isEmpty());
    ASSERT_TRUE(waitForIdle());
    for (int row = 0; row < 32; ++row)
        EXPECT_EQ(rowStatus(row), uiText("IDCS_PORT_ERROR")) << row;
}

TEST_F(RunControl, PortZeroEndsTheRunWithoutConnecting)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    addDevice(1, server.serverPort(), 0);
    click("exportButton");
    window.applyBrowsedPath(config.path());
    window.deviceTree().selectAll();
    EXPECT_TRUE(pressStart().isEmpty());
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(rowStatus(0), uiText("IDCS_PORT_ERROR"));
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_EQ(child<QAbstractButton>("startButton")->text(), uiText("IDCS_START"));
}

// A device that accepts the connection but never greets keeps the run active for the
// greeting's time limit: long enough to look at the running window.
TEST_F(RunControl, RunningWindowLocksItsControlsUntilCancelled)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    addDevice(1, silent.serverPort());
    addDevice(2, silent.serverPort());
    window.deviceTree().selectAll();
    click("exportButton");
    click("csvRadio");
    window.applyBrowsedPath(config.path());
    window.deviceTree().selectAll();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_TRUE(pressStart().isEmpty());
    ASSERT_TRUE(window.runState().running());
    EXPECT_EQ(child<QAbstractButton>("startButton")->text(), uiText("IDCS_CANCEL"));
    EXPECT_FALSE(child<QWidget>("userEdit")->isEnabled());
    EXPECT_FALSE(child<QWidget>("browseButton")->isEnabled());
    EXPECT_FALSE(window.deviceTree().widget()->topLevelItem(0)->flags() & Qt::ItemIsEnabled);
    click("importButton");
    EXPECT_EQ(window.operationType(), OperationType::ExportCsv) << "no switch during a run";
    EXPECT_TRUE(child<QAbstractButton>("exportButton")->isChecked());
    EXPECT_FALSE(child<QAbstractButton>("importButton")->isChecked());
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return rowStatus(0) == uiText("IDCS_CONNECTING_DEVICE"); }, 2000));

    // Closing asks; No, Escape and the box's own close button all keep the window.
    const std::function<void(N12_MessageBox*)> answers[] = {
        [](N12_MessageBox* box) {
            QTest::mouseClick(box->button(N12_MessageBox::No), Qt::LeftButton);
        },
        [](N12_MessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); },
        [](N12_MessageBox* box) { QTest::mouseClick(box->closeButton(), Qt::LeftButton); },
    };
    for (const auto& answer : answers) {
        int asked = 0;
        const ModalAnswer modal([&asked, &answer](QWidget* box) {
            ++asked;
            answer(static_cast<N12_MessageBox*>(box));
        });
        window.close();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(window.isVisible());
    }

    click("startButton"); // cancel
    EXPECT_FALSE(window.runState().running());
    EXPECT_EQ(child<QAbstractButton>("startButton")->text(), uiText("IDCS_START"));
    EXPECT_TRUE(child<QWidget>("userEdit")->isEnabled());
    // The workers still finish and post their final statuses into the rows.
    EXPECT_TRUE(
        QTest::qWaitFor([this] { return rowStatus(0) == uiText("IDCS_CONNECT_FAIL"); }, 5000));
}

TEST_F(RunControl, StatusesForRemovedRowsChangeNothing)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    addDevice(1, silent.serverPort());
    addDevice(2, 0);
    click("exportButton");
    click("csvRadio");
    window.applyBrowsedPath(config.path());
    window.deviceTree().selectAll();
    EXPECT_TRUE(pressStart().isEmpty());
    ASSERT_TRUE(window.runState().running());

    auto* gone = new OnlineDeviceInfo;
    gone->mac = QStringLiteral("02:00:00:00:00:01");
    window.slot_recvOnlineDeviceInfo(gone, 1); // the silent device disappears mid-run
    // The run ends once the remaining ticked row is final; the removed device's late
    // status lands nowhere.
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(window.deviceTree().deviceRowCount(), 1);
    EXPECT_EQ(rowStatus(0), uiText("IDCS_PORT_ERROR"));
    // Every status of the run is queued once its workers have ended; deliver them all.
    window.runState().waitForWorkers();
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    EXPECT_EQ(rowStatus(0), uiText("IDCS_PORT_ERROR"));
}

// A device's progress record draws its share behind the row's status text, and the final
// status takes the bar away.
TEST_F(RunControl, ProgressRecordsGiveTheRowItsBar)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    addDevice(1, silent.serverPort());
    click("exportButton");
    click("csvRadio");
    window.applyBrowsedPath(config.path());
    window.deviceTree().selectAll();
    EXPECT_TRUE(pressStart().isEmpty());
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return rowStatus(0) == uiText("IDCS_CONNECTING_DEVICE"); }, 5000));

    const QTreeWidgetItem* row = window.deviceTree().widget()->topLevelItem(0);
    const auto share = [row] { return row->data(kStatusColumn, VistaItemDelegate::kProgressRole); };
    window.postStatus(galvorn::makeCallbackInfo(galvorn::DeviceStatus::Progress, "127.0.0.1",
                                                "02:00:00:00:00:01",
                                                galvorn::encodeProgress({}, "40.00%")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return rowStatus(0) == "40.00%"; }, 5000));
    EXPECT_EQ(share(), QVariant(40.0));
    ASSERT_TRUE(waitForIdle());
    EXPECT_EQ(rowStatus(0), uiText("IDCS_CONNECT_FAIL"));
    EXPECT_FALSE(share().isValid());
}
