#pragma once

#include "common/facefeatureimportandexport.h"
#include "config/localsettings.h"
#include "discovery/devicerecord.h"
#include "discovery/networkwait.h"
#include "discovery/quarlomanage.h"
#include "facelib/callbackinfo.h"
#include "facelib/devicejob.h"
#include "facelib/runstart.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "platform/picturecodec_qt.h"
#include "widgets/basedialog.h"

#include <QRect>
#include <memory>
#include <optional>

class BorderImage;
class DeviceFeed;
class DeviceTree;
class NcFramelessHelper;
class QGroupBox;
class QLabel;
class QTextEdit;
class QTreeWidgetItem;
class QWidget;
class VRNButton;
class VRNLabel;
class VRNLineEdit;
class VRNPushButton;
class VRNRadioButton;

// The program's only window. It owns every widget of the window, the settings read
// at start-up, the search and the runs. It observes the search manager, and it is the
// status sink of its runs: records of both arrive on other threads and are posted to
// the GUI thread.
class Galvorn : public BaseDialog, public CObserver<SEARCH_INFO>, public galvorn::StatusSink
{
    Q_OBJECT

public:
    static constexpr char kVersion[] = "1.0.2.1";

    explicit Galvorn(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~Galvorn() override;

    const galvorn::LocalSettings& settings() const { return settings_; }
    bool isMaximizedByButton() const { return maximized_; }
    std::optional<galvorn::OperationType> operationType() const { return operationType_; }
    const QString& selectedPath() const { return selectedPath_; }
    // The data file chosen for import; open only while a valid file is chosen.
    const galvorn::facefile::Reader& importFile() const { return importFile_; }

    // What Browse does once the operator has chosen a path (empty when cancelled).
    void applyBrowsedPath(const QString& path);

    DeviceTree& deviceTree() const { return *deviceTree_; }

    // Search library thread: passes the window's copy of the record to the GUI thread,
    // where the device feed hands it to the tree with the others of its batch.
    void Update(SEARCH_INFO record, CObservable<SEARCH_INFO>* source) override;
    // Worker and session threads: queues the record to slot_recvCallbackInfo.
    void postStatus(std::unique_ptr<galvorn::CallbackInfo> info) override;

    galvorn::RunState& runState() { return runState_; }

public slots:
    void slot_btnCloseClicked();
    void slot_btnMaxClicked();
    void slot_itemClicked(QTreeWidgetItem* item, int column);
    void slot_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void slot_itemDoubleClicked(QTreeWidgetItem* item, int column);
    void slot_sectionResized(int logicalIndex, int oldSize, int newSize);
    void slot_recvOnlineDeviceInfo(void* data, int opt);
    void slot_btnAllClicked();
    void slot_btnClearClicked();
    void slot_btnSameTypeClicked();
    void slot_recvCallbackInfo(void* data);
    void slot_btnStartClicked();
    void slot_btnImportFaceLibraryClicked();
    void slot_btnExportFaceLibraryClicked();
    void slot_btnBatchAddClicked();
    void slot_btnOpenExampleClicked();
    void slot_btnBrowseClicked();
    void slot_exportTypeDATClick();
    void slot_exportTypeCSVClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void readSettings();
    void buildTitleBar();
    void buildRunControls();
    void buildLoginGroup();
    void buildLibraryGroup();
    void buildPanes();
    void layoutWidgets();
    void layoutRunControls(int w, int h);
    void connectRunControls();
    void buildDeviceTree();
    void startSearch();

    bool isRunning() const { return runState_.running(); }
    galvorn::RunRequest runRequest() const;
    std::vector<galvorn::RunDevice> tickedRunDevices();
    void showBatchAddSummary(const galvorn::BatchSummary& summary);
    void applyControlState(bool running);
    // Writes a status text into the device's ticked rows and ends the run when every
    // ticked row shows a final text.
    void setRowStatus(const QString& mac, const QString& text, std::optional<double> progress);
    bool everyTickedRowFinal();
    // Shows the check mark of the current operation on the three operation buttons.
    void showOperationChecks();
    // What every change of operation does first: a new type, no path, no library password.
    void beginOperation(galvorn::OperationType type);
    void showLibraryControls(bool shown);
    void showSummaryPanes(const std::string& left, const std::string& right);
    void showBatchAddHelp();
    void untickAllRows();
    bool applyImportFile(const QString& path);

    galvorn::LocalSettings settings_;
    std::optional<galvorn::OperationType> operationType_;
    QString selectedPath_;
    galvorn::facefile::Reader importFile_;
    CQuarloManage searchManager_;
    // The search library's thread only.
    OnlineDeviceInfoMaker deviceInfoMaker_;
    galvorn::discovery::NetworkWait networkWait_;
    std::unique_ptr<DeviceTree> deviceTree_;
    std::unique_ptr<DeviceFeed> deviceFeed_;
    // Prepares the pictures of batch adds; the run's workers use it until they end.
    galvorn::platform::QtPictureCodec pictureCodec_;
    // Last, so that it is destroyed first: its workers post into the window.
    galvorn::RunState runState_{this};
    bool maximized_ = false;
    QRect normalGeometry_;
    bool restoringFromMinimized_ = false;

    NcFramelessHelper* frameless_ = nullptr;
    QWidget* background_ = nullptr;
    QWidget* titleBar_ = nullptr;
    VRNLabel* titleLabel_ = nullptr;
    VRNButton* minButton_ = nullptr;
    QLabel* minMaxSeparator_ = nullptr;
    VRNButton* maxButton_ = nullptr;
    QLabel* maxCloseSeparator_ = nullptr;
    VRNButton* closeButton_ = nullptr;
    QWidget* body_ = nullptr;

    VRNPushButton* selectAllButton_ = nullptr;
    VRNPushButton* clearButton_ = nullptr;
    VRNPushButton* sameTypeButton_ = nullptr;
    VRNPushButton* importButton_ = nullptr;
    VRNPushButton* exportButton_ = nullptr;
    VRNPushButton* batchAddButton_ = nullptr;
    QWidget* accentLine_ = nullptr;
    QGroupBox* loginGroup_ = nullptr;
    VRNLabel* userLabel_ = nullptr;
    VRNLineEdit* userEdit_ = nullptr;
    VRNLabel* passwordLabel_ = nullptr;
    VRNLineEdit* passwordEdit_ = nullptr;
    QGroupBox* libraryGroup_ = nullptr;
    VRNLabel* libraryPasswordLabel_ = nullptr;
    VRNLineEdit* libraryPasswordEdit_ = nullptr;
    BorderImage* tipIcon_ = nullptr;
    VRNLabel* tipLabel_ = nullptr;
    QTextEdit* leftPane_ = nullptr;
    VRNRadioButton* datRadio_ = nullptr;
    VRNRadioButton* csvRadio_ = nullptr;
    VRNPushButton* openExamplesButton_ = nullptr;
    QTextEdit* rightPane_ = nullptr;
    VRNPushButton* browseButton_ = nullptr;
    VRNLineEdit* pathEdit_ = nullptr;
    VRNPushButton* startButton_ = nullptr;
};
