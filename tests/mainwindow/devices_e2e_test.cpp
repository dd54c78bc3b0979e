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
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
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

std::string cameraSection(int index, const std::string& extra = {})
{
    // The second address is the one a run connects at; make it the camera's own.
    const std::string bind = "127.0.1." + std::to_string(1 + index);
    return testCameraSection(index,
                             "ip2 = " + bind + "\nmask2 = 255.0.0.0\nhttpPort = 80\n" + extra);
}

class DevicesEndToEnd : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        std::string error;
        const std::vector<std::string> sections = cameras();
        std::string config;
        for (const std::string& section : sections)
            config += section;
        ASSERT_TRUE(devsim.start(config, error)) << error;
        window = std::make_unique<Galvorn>();
        ASSERT_TRUE(QTest::qWaitFor([&] { return tree().deviceRowCount() == int(sections.size()); },
                                    kAppearMs));
    }

    virtual std::vector<std::string> cameras() const
    {
        return {cameraSection(0), cameraSection(1)};
    }

    void click(const char* name) const
    {
        QTest::mouseClick(window->findChild<QAbstractButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }

    // Starts a run over exactly the given cameras and returns once it has ended.
    void runOn(std::initializer_list<int> cameras)
    {
        for (int i = 0; i < tree().widget()->topLevelItemCount(); ++i)
            tree().widget()->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        for (int camera : cameras)
            rowOf(camera)->setCheckState(0, Qt::Checked);
        click("startButton");
        ASSERT_TRUE(window->runState().running());
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->runState().running(); }, 30000));
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
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window->runState().running(); }, 15000))
            << tree().tickedStatusTexts().join(QStringLiteral(" | ")).toStdString();
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

    // With the right password both log in and export their (empty) libraries.
    runWithPassword(QStringLiteral("123456"));
    EXPECT_EQ(rowOf(0)->text(kStatusColumn), uiText("IDCS_SUCCESS"));
    EXPECT_EQ(rowOf(1)->text(kStatusColumn), uiText("IDCS_SUCCESS"));
}

namespace {

// Camera 0 holds a library; cameras 1 and 2 start empty.
class LibraryRoundTrip : public DevicesEndToEnd
{
protected:
    std::vector<std::string> cameras() const override
    {
        return {cameraSection(0, "facelib.seedPersons = 12\n"), cameraSection(1), cameraSection(2)};
    }

    // Exports the camera's library through the window and returns the new data file.
    QString exportCamera(int camera, const QString& folder)
    {
        click("exportButton");
        click("datRadio");
        QDir().mkpath(folder);
        window->applyBrowsedPath(folder);
        runOn({camera});
        EXPECT_EQ(rowOf(camera)->text(kStatusColumn), uiText("IDCS_SUCCESS"));
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.dat")}, QDir::Files);
        return files.size() == 1 ? QDir(folder).filePath(files.front()) : QString();
    }

    static QByteArray dataArea(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll().mid(56) : QByteArray();
    }
};

} // namespace

// Camera → file → two cameras at once → file again: the library arrives byte for byte.
TEST_F(LibraryRoundTrip, ExportThenImportIntoTwoCameras)
{
    window->findChild<VRNLineEdit*>(QStringLiteral("passwordEdit"))->setText("123456");
    const QString original = exportCamera(0, config.filePath(QStringLiteral("first")));
    ASSERT_FALSE(original.isEmpty());
    EXPECT_TRUE(QDir(config.filePath(QStringLiteral("first")))
                    .entryList({QStringLiteral("*.part")}, QDir::Files)
                    .isEmpty());

    click("importButton");
    window->applyBrowsedPath(original);
    ASSERT_EQ(window->selectedPath(), original);
    runOn({1, 2});
    EXPECT_EQ(rowOf(1)->text(kStatusColumn), uiText("IDCS_SUCCESS"));
    EXPECT_EQ(rowOf(2)->text(kStatusColumn), uiText("IDCS_SUCCESS"));

    const QString copy = exportCamera(2, config.filePath(QStringLiteral("second")));
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_EQ(dataArea(copy), dataArea(original));
    EXPECT_GT(dataArea(original).size(), 12);
}

namespace {

// Camera 1 stops answering at its first import chunk (its second face-library request).
class SilentImport : public LibraryRoundTrip
{
protected:
    std::vector<std::string> cameras() const override
    {
        return {cameraSection(0, "facelib.seedPersons = 3\n"),
                cameraSection(1, "facelib.fault = silent\nfacelib.faultAt = 2\n")};
    }
};

} // namespace

// The run carries its limits into the window's workers: the import ends at the shortened
// limit instead of the default 60 s.
TEST_F(SilentImport, ACameraThatStopsAnsweringFailsTheImportAtTheRunsLimit)
{
    window->findChild<VRNLineEdit*>(QStringLiteral("passwordEdit"))->setText("123456");
    const QString file = exportCamera(0, config.filePath(QStringLiteral("library")));
    ASSERT_FALSE(file.isEmpty());

    galvorn::RunLimits limits;
    limits.importWait = std::chrono::milliseconds(500);
    window->runState().setLimits(limits);
    click("importButton");
    window->applyBrowsedPath(file);
    QElapsedTimer timer;
    timer.start();
    runOn({1});
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(rowOf(1)->text(kStatusColumn), uiText("IDCS_FACE_MATCH_IMPORT_FAIL"));
}

namespace {

// Camera 0 refuses every person; camera 1 takes them all.
class BatchAddEndToEnd : public DevicesEndToEnd
{
protected:
    std::vector<std::string> cameras() const override
    {
        return {cameraSection(0, "facelib.refuseAdd = -5\n"), cameraSection(1)};
    }

    // A picture folder of three persons with real pictures, one of them a PNG.
    QString pictureFolder() const
    {
        const QString folder = config.filePath(QStringLiteral("pictures"));
        QDir().mkpath(folder);
        QImage face(120, 160, QImage::Format_RGB32);
        face.fill(QColor(200, 150, 120));
        face.save(folder + QStringLiteral("/anna.jpg"), "JPG");
        face.save(folder + QStringLiteral("/bo.jpg"), "JPG");
        face.save(folder + QStringLiteral("/chen.png"), "PNG");
        QFile table(folder + QStringLiteral("/persons.csv"));
        EXPECT_TRUE(table.open(QIODevice::WriteOnly));
        table.write("(01)Name,(02)Gender,(12)Picture\r\nAnna,1,anna.jpg\r\nBo,0,bo.jpg\r\n"
                    "Chen,0,chen.png\r\n");
        return folder;
    }
};

} // namespace

TEST_F(BatchAddEndToEnd, TwoCamerasEndWithTheSummaryOfTheOneThatRefused)
{
    window->findChild<VRNLineEdit*>(QStringLiteral("passwordEdit"))->setText("123456");
    click("batchAddButton");
    window->applyBrowsedPath(pictureFolder());
    runOn({0, 1});
    EXPECT_EQ(rowOf(0)->text(kStatusColumn), uiText("IDCS_FACE_MATCH_IMPORT_FAIL"));
    EXPECT_EQ(rowOf(1)->text(kStatusColumn), uiText("IDCS_SUCCESS"));

    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (box = window->findChild<QMessageBox*>("batchAddSummary")) != nullptr; }));
    EXPECT_EQ(box->windowTitle(), uiText("IDCS_SUCCESS") + ":0 " + uiText("IDCS_FAIL_NUM") + ":3");
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    QFile log(box->text());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << box->text().toStdString();
    const QString refused = uiText("IDCS_FACE_MATCH_NOT_ONLY_ONE_FACE");
    EXPECT_EQ(QString::fromUtf8(log.readAll()),
              "anna.jpg\t\t" + refused + "\r\nbo.jpg\t\t" + refused + "\r\nchen.png\t\t" + refused);
    log.remove();
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window->findChild<QMessageBox*>(); }));
}

#include "devices_e2e_test.moc"
