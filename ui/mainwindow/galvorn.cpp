#include "ui/mainwindow/galvorn.h"

#include "app/logging.h"
#include "config/languagetable.h"
#include "discovery/devicelist.h"
#include "discovery/devicerecord.h"
#include "discovery/devicesearch.h"
#include "facelib/addresspreparation.h"
#include "facelib/runstart.h"
#include "facelib/statustable.h"
#include "facelib/summarypanes.h"
#include "platform/desktop.h"
#include "platform/paths.h"
#include "ui/devicetree/devicefeed.h"
#include "ui/devicetree/devicetree.h"
#include "ui/devicetree/devicetreeheaderview.h"
#include "ui/dialogs/n12_messagebox.h"
#include "ui/uitext.h"
#include "widgets/borderimage.h"
#include "widgets/ncframelesshelper.h"
#include "widgets/vistatreewidget.h"
#include "widgets/vrnbutton.h"
#include "widgets/vrnlabel.h"
#include "widgets/vrnlineedit.h"
#include "widgets/vrnpushbutton.h"
#include "widgets/vrnradiobutton.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QTextEdit>
#include <QUrl>
#include <glog/logging.h>

namespace {

// Stored sizes beyond this are not a window size but damage in the settings file.
constexpr int kMaxStoredDialogSide = 16384;

int sanitisedSide(int stored, int fallback)
{
    return stored > 0 && stored <= kMaxStoredDialogSide ? stored : fallback;
}

// Where the texts came from, for the diagnostics: a window without texts most often means
// an installation whose data folder is missing.
void logLanguageFile(std::uint32_t languageId)
{
    const std::string file = galvorn::languageFilePath(galvorn::platform::dataDir(), languageId,
                                                       QLocale::system().name().toStdString());
    if (uiText("IDCS_GALVORN").isEmpty())
        LOG(WARNING) << "no texts in " << file;
    else
        LOG(INFO) << "texts from " << file;
}

QLabel* makeSeparator(QWidget* parent)
{
    auto* line = new QLabel(parent);
    line->setStyleSheet(QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgba(70,70,70,0), "
        "stop:0.5 rgb(110,110,110), stop:1 rgba(70,70,70,0));"));
    return line;
}

VRNButton* makeSkinButton(QWidget* parent, const QString& skin)
{
    auto* button = new VRNButton(parent);
    button->setSkin(skin);
    return button;
}

constexpr int kCredentialMaxLength = 20;

VRNPushButton* makeButton(QWidget* parent, const char* key, int pixelSize, bool bold)
{
    auto* button = new VRNPushButton(uiText(key), parent);
    button->setStyleSheet(QStringLiteral("font: %1 %2px;")
                              .arg(bold ? QStringLiteral("bold") : QString())
                              .arg(pixelSize));
    return button;
}

VRNPushButton* makeOperationButton(QWidget* parent, const char* key)
{
    VRNPushButton* button = makeButton(parent, key, 15, true);
    button->setCheckable(true);
    return button;
}

VRNLabel* makeFieldLabel(QWidget* parent, const char* key)
{
    auto* label = new VRNLabel(uiText(key), parent);
    label->setStyleSheet(QStringLiteral("font: 13px; color: rgb(230,230,230);"));
    return label;
}

VRNLineEdit* makeCredentialEdit(QWidget* parent, bool password)
{
    auto* edit = new VRNLineEdit(parent);
    edit->setMaxLength(kCredentialMaxLength);
    edit->setStyleSheet(QStringLiteral("color: white; background: rgb(19,20,24);"));
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QGroupBox* makeGroup(QWidget* parent, const char* key)
{
    auto* group = new QGroupBox(uiText(key), parent);
    group->setAlignment(Qt::AlignHCenter);
    group->setStyleSheet(QStringLiteral(
        "QGroupBox{border: 1px solid #ABABAB; border-radius: 2px; margin-top: 8px;"
        " color: rgb(230,230,230); font: 13px;}"
        "QGroupBox::title{subcontrol-origin: margin; subcontrol-position: top center;"
        " padding: 0px 4px;}"));
    return group;
}

QTextEdit* makePane(QWidget* parent, const QString& background)
{
    auto* pane = new QTextEdit(parent);
    pane->setReadOnly(true);
    pane->setFrameShape(QFrame::NoFrame);
    pane->setStyleSheet(QStringLiteral("QTextEdit{background: %1; color: rgb(230,230,230);"
                                       " font: 14px; border: none;}")
                            .arg(background));
    return pane;
}

} // namespace

Galvorn::Galvorn(QWidget* parent, Qt::WindowFlags flags) : BaseDialog(parent, flags)
{
    readSettings();
    buildTitleBar();
    buildDeviceTree();
    buildRunControls();
    deviceTree_->setSameTypeButton(sameTypeButton_);
    // The window is a dialog, whose first auto-default push button would answer Return
    // pressed in any field or in the tree (Select All, ticking every row).
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(minButton_, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(maxButton_, &QPushButton::clicked, this, &Galvorn::slot_btnMaxClicked);
    connect(closeButton_, &QPushButton::clicked, this, &Galvorn::slot_btnCloseClicked);
    connectRunControls();
    startSearch();

    titleLabel_->setText(QStringLiteral("%1 v%2").arg(uiText("IDCS_GALVORN"), kVersion));
    setWindowTitle(uiText("IDCS_GALVORN"));
    sameTypeButton_->setEnabled(false);
    slot_btnImportFaceLibraryClicked();
    userEdit_->setText(QStringLiteral("admin"));
    layoutWidgets();
    galvorn::setUpLogging();
    logLanguageFile(settings_.languageId);
}

Galvorn::~Galvorn()
{
    runState_.shutdown();
    galvorn::releaseLanguage();
    networkWait_.Stop();
    searchManager_.Detach(this);
    searchManager_.Quit();
    frameless_->removeFrom(this);
    deviceTree_.reset();
    galvorn::shutDownLogging();
}

void Galvorn::buildDeviceTree()
{
    deviceTree_ = std::make_unique<DeviceTree>(this, settings_);
    deviceFeed_ = std::make_unique<DeviceFeed>(
        [this](DeviceFeed::Records& records, DeviceFeed::Clock::time_point until) {
            deviceTree_->recvOnlineDeviceInfos(records, until);
        });
    VistaTreeWidget* tree = deviceTree_->widget();
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &Galvorn::slot_itemDoubleClicked);
    connect(tree, &QTreeWidget::itemClicked, this, &Galvorn::slot_itemClicked);
    connect(tree, &QTreeWidget::currentItemChanged, this, &Galvorn::slot_currentItemChanged);
    connect(deviceTree_->header(), &QHeaderView::sectionResized, this,
            &Galvorn::slot_sectionResized);
}

// The search starts with the window; the network-wait thread restarts it once the
// machine has a network, for a window opened before the network came up.
void Galvorn::startSearch()
{
    galvorn::StartDeviceSearch(searchManager_, this);
    networkWait_.Start([this] { searchManager_.SetAutoSearch(galvorn::kSearchPeriodSeconds); });
}

void Galvorn::Update(SEARCH_INFO record, CObservable<SEARCH_INFO>*)
{
    deviceFeed_->push(deviceInfoMaker_.Make(record), record.status);
}

void Galvorn::slot_recvOnlineDeviceInfo(void* data, int opt)
{
    deviceTree_->recvOnlineDeviceInfo(static_cast<OnlineDeviceInfo*>(data), opt);
}

void Galvorn::slot_itemClicked(QTreeWidgetItem* item, int column)
{
    deviceTree_->itemClicked(item, column, operationType_ == galvorn::OperationType::ImportData);
}

void Galvorn::slot_currentItemChanged(QTreeWidgetItem*, QTreeWidgetItem*) {}

void Galvorn::slot_sectionResized(int, int, int) {}

void Galvorn::slot_itemDoubleClicked(QTreeWidgetItem* item, int)
{
    if (const OnlineDeviceInfo* device = DeviceTree::deviceOf(item))
        searchManager_.OpenDeviceWebPage(device->mac.toStdString());
}

void Galvorn::slot_btnAllClicked()
{
    deviceTree_->selectAll();
}

void Galvorn::slot_btnClearClicked()
{
    deviceTree_->clearTicks();
}

void Galvorn::slot_btnSameTypeClicked()
{
    deviceTree_->tickSameType();
}

void Galvorn::readSettings()
{
    const std::string locale = QLocale::system().name().toStdString();
    settings_ = galvorn::readLocalSettings(galvorn::settingsFilePath(), locale);
    resize(sanitisedSide(settings_.dialogWidth, galvorn::kMinDialogWidth),
           sanitisedSide(settings_.dialogHeight, galvorn::kMinDialogHeight));
    setMinimumSize(galvorn::kMinDialogWidth, galvorn::kMinDialogHeight);
    galvorn::loadLanguage(galvorn::platform::dataDir(), settings_.languageId, locale);
}

void Galvorn::buildTitleBar()
{
    background_ = new QWidget(this);
    background_->setObjectName(QStringLiteral("background"));
    background_->setStyleSheet(QStringLiteral("#background{background: rgb(40,40,40);}"));

    frameless_ = new NcFramelessHelper(this);
    frameless_->activateOn(this);

    titleBar_ = new QWidget(this);
    titleBar_->setObjectName(QStringLiteral("titleBar"));
    titleBar_->setStyleSheet(QStringLiteral("#titleBar{border-image: url(:/skin/title_bg.png);}"));

    titleLabel_ = new VRNLabel(this);
    titleLabel_->setObjectName(QStringLiteral("titleLabel"));
    titleLabel_->setStyleSheet(QStringLiteral(
        "#titleLabel{font: 18px; color: white; background: qlineargradient(x1:0, y1:0, x2:1, "
        "y2:0, stop:0 rgba(0,153,255,40), stop:1 rgba(40,40,40,0));}"));

    minButton_ = makeSkinButton(this, QStringLiteral("min.png"));
    minMaxSeparator_ = makeSeparator(this);
    maxButton_ = makeSkinButton(this, QStringLiteral("max.png"));
    maxCloseSeparator_ = makeSeparator(this);
    closeButton_ = makeSkinButton(this, QStringLiteral("close.png"));

    body_ = new QWidget(this);
    body_->setObjectName(QStringLiteral("body"));
    body_->setStyleSheet(QStringLiteral("#body{background: rgb(102,102,102);}"));
}

void Galvorn::buildRunControls()
{
    selectAllButton_ = makeButton(this, "IDCS_SELECT_ALL", 13, false);
    clearButton_ = makeButton(this, "IDCS_SELECT_CLEAR", 13, false);
    sameTypeButton_ = makeButton(this, "IDCS_SELECT_SAME_TYPE", 13, false);
    importButton_ = makeOperationButton(this, "IDCS_IMPORT_FACE_LIBRARY");
    exportButton_ = makeOperationButton(this, "IDCS_EXPORT_FACE_LIBRARY");
    batchAddButton_ = makeOperationButton(this, "IDCS_BATCH_ADD");
    selectAllButton_->setObjectName(QStringLiteral("selectAllButton"));
    clearButton_->setObjectName(QStringLiteral("clearButton"));
    sameTypeButton_->setObjectName(QStringLiteral("sameTypeButton"));
    importButton_->setObjectName(QStringLiteral("importButton"));
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    batchAddButton_->setObjectName(QStringLiteral("batchAddButton"));

    accentLine_ = new QWidget(this);
    accentLine_->setObjectName(QStringLiteral("accentLine"));
    accentLine_->setStyleSheet(QStringLiteral("#accentLine{background: rgb(0,153,255);}"));

    buildLoginGroup();
    buildLibraryGroup();
    buildPanes();

    browseButton_ = makeButton(this, "IDCS_BROWSE", 15, true);
    browseButton_->setObjectName(QStringLiteral("browseButton"));
    pathEdit_ = new VRNLineEdit(this);
    pathEdit_->setReadOnly(true);
    pathEdit_->setStyleSheet(QStringLiteral("VRNLineEdit:disabled{color: rgb(70,73,77);}"));
    startButton_ = makeButton(this, "IDCS_START", 15, true);
    startButton_->setObjectName(QStringLiteral("startButton"));
    pathEdit_->setObjectName(QStringLiteral("pathEdit"));
}

void Galvorn::buildLoginGroup()
{
    loginGroup_ = makeGroup(this, "IDCS_LOGIN_INFO");
    userLabel_ = makeFieldLabel(this, "IDCS_DEVICE_USER");
    userEdit_ = makeCredentialEdit(this, false);
    userEdit_->setText(QStringLiteral("admin"));
    userEdit_->setObjectName(QStringLiteral("userEdit"));
    passwordLabel_ = makeFieldLabel(this, "IDCS_DEVICE_PWD");
    passwordEdit_ = makeCredentialEdit(this, true);
    passwordEdit_->setObjectName(QStringLiteral("passwordEdit"));
}

void Galvorn::buildLibraryGroup()
{
    libraryGroup_ = makeGroup(this, "IDCS_FACE_LIBRARY_INFO");
    libraryPasswordLabel_ = makeFieldLabel(this, "IDCS_FACE_LIBRARY_PWD");
    libraryPasswordEdit_ = makeCredentialEdit(this, true);
    libraryGroup_->setObjectName(QStringLiteral("libraryGroup"));
    libraryPasswordEdit_->setObjectName(QStringLiteral("libraryPasswordEdit"));
    tipIcon_ = new BorderImage(this);
    tipIcon_->setPicture(QStringLiteral(":/skin/info.png"));
    tipLabel_ = makeFieldLabel(this, nullptr);
    tipLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tipLabel_->setObjectName(QStringLiteral("tipLabel"));
}

void Galvorn::buildPanes()
{
    leftPane_ = makePane(this, QStringLiteral("transparent"));
    datRadio_ = new VRNRadioButton(uiText("IDCS_EXPORTTYPE_DAT"), this);
    datRadio_->setChecked(true);
    csvRadio_ = new VRNRadioButton(uiText("IDCS_EXPORTTYPE_CSV"), this);
    openExamplesButton_ = makeButton(this, "IDCS_OPEN_EXAMPLES", 13, false);
    openExamplesButton_->hide();
    rightPane_ = makePane(this, QStringLiteral("rgb(102,102,102)"));
    leftPane_->setObjectName(QStringLiteral("leftPane"));
    rightPane_->setObjectName(QStringLiteral("rightPane"));
    datRadio_->setObjectName(QStringLiteral("datRadio"));
    csvRadio_->setObjectName(QStringLiteral("csvRadio"));
    openExamplesButton_->setObjectName(QStringLiteral("openExamplesButton"));
}

void Galvorn::layoutWidgets()
{
    const int w = width();
    const int h = height();
    background_->setGeometry(0, 0, w, h);
    titleBar_->setGeometry(0, 0, 436, 57);
    titleLabel_->setGeometry(100, 0, 400, 57);
    minButton_->setGeometry(w - 83, 3, 22, 22);
    minMaxSeparator_->setGeometry(w - 58, 2, 1, 23);
    maxButton_->setGeometry(w - 54, 3, 22, 22);
    maxCloseSeparator_->setGeometry(w - 29, 2, 1, 23);
    closeButton_->setGeometry(w - 25, 3, 22, 22);
    body_->setGeometry(1, 57, w - 2, h - 58);
    deviceTree_->widget()->setGeometry(7, 64, w - 14, h - 371);
    layoutRunControls(w, h);
}

void Galvorn::layoutRunControls(int w, int h)
{
    const int b = (w - 18) / 3;
    selectAllButton_->setGeometry(7, h - 293, 100, 20);
    clearButton_->setGeometry(114, h - 293, 100, 20);
    sameTypeButton_->setGeometry(221, h - 293, 200, 20);
    importButton_->setGeometry(7, h - 266, b, 30);
    exportButton_->setGeometry(9 + b, h - 266, b, 30);
    batchAddButton_->setGeometry(11 + 2 * b, h - 266, b, 30);
    accentLine_->setGeometry(1, h - 238, w - 2, 2);
    loginGroup_->setGeometry(32, h - 219, 317, 92);
    userLabel_->setGeometry(37, h - 199, 100, 25);
    userEdit_->setGeometry(144, h - 199, 200, 25);
    passwordLabel_->setGeometry(37, h - 157, 100, 25);
    passwordEdit_->setGeometry(144, h - 157, 200, 25);
    libraryGroup_->setGeometry(32, h - 125, 317, 82);
    libraryPasswordLabel_->setGeometry(37, h - 105, 100, 25);
    libraryPasswordEdit_->setGeometry(144, h - 105, 200, 25);
    tipIcon_->setGeometry(37, h - 73, 26, 26);
    tipLabel_->setGeometry(77, h - 73, 307, 25);
    leftPane_->setGeometry(351, h - 219, w - 702, 180);
    datRadio_->setGeometry(434, h - 79, 180, 30);
    csvRadio_->setGeometry(614, h - 79, 200, 30);
    openExamplesButton_->setGeometry(351, h - 69, 120, 30);
    rightPane_->setGeometry(w - 344, h - 219, 307, 180);
    browseButton_->setGeometry(w - 244, h - 33, 100, 25);
    pathEdit_->setGeometry(37, h - 33, w - 288, 25);
    startButton_->setGeometry(w - 137, h - 33, 100, 25);
}

void Galvorn::resizeEvent(QResizeEvent* event)
{
    BaseDialog::resizeEvent(event);
    if (!maximized_)
        galvorn::saveWindowSize(settings_.iniPath, width(), height());
    layoutWidgets();
    if (!maximized_)
        normalGeometry_ = geometry();
}

void Galvorn::changeEvent(QEvent* event)
{
    BaseDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || restoringFromMinimized_)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (windowState() & Qt::WindowMinimized || !(change->oldState() & Qt::WindowMinimized))
        return;
    // Some window managers hand a frameless window back from the task bar with a
    // frame or not at all; setting the flags again and showing it restores it.
    restoringFromMinimized_ = true;
    setWindowFlags(Qt::Window);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    showNormal();
    restoringFromMinimized_ = false;
}

void Galvorn::slot_btnMaxClicked()
{
    maximized_ = !maximized_;
    if (maximized_) {
        normalGeometry_ = geometry();
        maxButton_->setSkin(QStringLiteral("normal.png"));
        setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    } else {
        maxButton_->setSkin(QStringLiteral("max.png"));
        setGeometry(normalGeometry_);
    }
    frameless_->setWidgetMovable(!maximized_);
    frameless_->setWidgetResizable(!maximized_);
}

void Galvorn::slot_btnCloseClicked()
{
    close();
}

// Closing during a run (the close button, or the window manager's close) asks first;
// No, Escape and the box's own close button keep the window.
void Galvorn::closeEvent(QCloseEvent* event)
{
    if (isRunning() &&
        N12_MessageBox::questionYesNo(uiText("IDCS_SURE_WANT_QUIT"), this) != N12_MessageBox::Yes) {
        event->ignore();
        return;
    }
    BaseDialog::closeEvent(event);
}

void Galvorn::postStatus(std::unique_ptr<galvorn::CallbackInfo> info)
{
    QMetaObject::invokeMethod(this, "slot_recvCallbackInfo", Qt::QueuedConnection,
                              Q_ARG(void*, info.release()));
}

void Galvorn::slot_recvCallbackInfo(void* data)
{
    const std::unique_ptr<galvorn::CallbackInfo> info(static_cast<galvorn::CallbackInfo*>(data));
    const galvorn::StatusEffect effect =
        galvorn::statusEffect(*info, runState_.operation(), runState_.tables());
    if (effect.panes)
        showSummaryPanes(effect.panes->left, effect.panes->right);
    if (effect.rowText)
        setRowStatus(QString::fromUtf8(info->mac.data()), QString::fromStdString(*effect.rowText),
                     effect.progress);
    if (effect.batchSummary)
        showBatchAddSummary(*effect.batchSummary);
}

// The box opens without blocking, so that the statuses of the run's next device keep
// landing in their rows while the operator reads it.
void Galvorn::showBatchAddSummary(const galvorn::BatchSummary& summary)
{
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(summary.summary),
                                QString::fromStdString(summary.logPath), QMessageBox::Yes, this);
    box->setObjectName(QStringLiteral("batchAddSummary"));
    box->setDefaultButton(QMessageBox::Yes);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Galvorn::setRowStatus(const QString& mac, const QString& text, std::optional<double> progress)
{
    deviceTree_->setTickedRowStatus(mac, text, progress);
    if (!everyTickedRowFinal())
        return;
    runState_.endRun();
    applyControlState(false);
}

bool Galvorn::everyTickedRowFinal()
{
    const QStringList texts = deviceTree_->tickedStatusTexts();
    const QList<OnlineDeviceInfo*> devices = deviceTree_->tickedDevices();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const std::string errorText =
            galvorn::deviceErrorText(runState_.tables(), devices[i]->mac.toStdString());
        if (!galvorn::isFinalRowText(texts[i].toStdString(), errorText))
            return false;
    }
    return true;
}

void Galvorn::applyControlState(bool running)
{
    deviceTree_->applyRunState(running);
    for (QWidget* w : std::initializer_list<QWidget*>{
             userEdit_, passwordEdit_, libraryPasswordEdit_, browseButton_, clearButton_})
        w->setEnabled(!running);
    startButton_->setText(uiText(running ? "IDCS_CANCEL" : "IDCS_START"));
    const bool import = operationType_ == galvorn::OperationType::ImportData;
    selectAllButton_->setEnabled(import && !running);
    sameTypeButton_->setEnabled(import && !running && deviceTree_->sameTypeTest());
}

// The run Start asks for with the window's current inputs.
galvorn::RunRequest Galvorn::runRequest() const
{
    galvorn::RunRequest request;
    request.operation = *operationType_;
    request.inputs = {userEdit_->text().toStdString(), passwordEdit_->text().toStdString(),
                      selectedPath_.toStdString(), libraryPasswordEdit_->text().toStdString()};
    request.importFile = &importFile_;
    request.codec = &pictureCodec_;
    request.prepareAddress =
        galvorn::SystemAddressPreparation([](std::string_view line) { LOG(INFO) << line; });
    return request;
}

// The ticked rows, in tree order, as the devices of the next run. Every row's status
// column is emptied, ticked or not.
std::vector<galvorn::RunDevice> Galvorn::tickedRunDevices()
{
    std::vector<galvorn::RunDevice> devices;
    for (const OnlineDeviceInfo* device : deviceTree_->tickedDevices())
        devices.push_back(galvorn::RunDeviceOf(*device));
    deviceTree_->clearStatusColumn();
    return devices;
}

void Galvorn::slot_btnStartClicked()
{
    if (isRunning()) {
        runState_.cancel();
        applyControlState(false);
        return;
    }
    const galvorn::RunCheck check =
        galvorn::StartRun(runState_, runRequest(), [this] { return tickedRunDevices(); });
    if (!check.ok()) {
        N12_MessageBox::warning(QString::fromStdString(galvorn::refusalText(check)), this);
        return;
    }
    applyControlState(true);
}

void Galvorn::connectRunControls()
{
    connect(selectAllButton_, &QPushButton::clicked, this, &Galvorn::slot_btnAllClicked);
    connect(clearButton_, &QPushButton::clicked, this, &Galvorn::slot_btnClearClicked);
    connect(sameTypeButton_, &QPushButton::clicked, this, &Galvorn::slot_btnSameTypeClicked);
    connect(importButton_, &QPushButton::clicked, this, &Galvorn::slot_btnImportFaceLibraryClicked);
    connect(exportButton_, &QPushButton::clicked, this, &Galvorn::slot_btnExportFaceLibraryClicked);
    connect(batchAddButton_, &QPushButton::clicked, this, &Galvorn::slot_btnBatchAddClicked);
    connect(openExamplesButton_, &QPushButton::clicked, this, &Galvorn::slot_btnOpenExampleClicked);
    connect(browseButton_, &QPushButton::clicked, this, &Galvorn::slot_btnBrowseClicked);
    connect(startButton_, &QPushButton::clicked, this, &Galvorn::slot_btnStartClicked);
    connect(datRadio_, &QRadioButton::clicked, this, &Galvorn::slot_exportTypeDATClick);
    connect(csvRadio_, &QRadioButton::clicked, this, &Galvorn::slot_exportTypeCSVClick);
}

void Galvorn::showOperationChecks()
{
    using galvorn::OperationType;
    importButton_->setChecked(operationType_ == OperationType::ImportData);
    exportButton_->setChecked(operationType_ == OperationType::ExportData ||
                              operationType_ == OperationType::ExportCsv);
    batchAddButton_->setChecked(operationType_ == OperationType::BatchAdd);
}

void Galvorn::beginOperation(galvorn::OperationType type)
{
    operationType_ = type;
    selectedPath_.clear();
    pathEdit_->clear();
    libraryPasswordEdit_->clear();
    importFile_.close();
}

void Galvorn::showLibraryControls(bool shown)
{
    for (QWidget* w : std::initializer_list<QWidget*>{libraryGroup_, libraryPasswordLabel_,
                                                      libraryPasswordEdit_, tipIcon_, tipLabel_})
        w->setVisible(shown);
}

void Galvorn::showSummaryPanes(const std::string& left, const std::string& right)
{
    // The pane texts separate lines with CR LF; the text box wants LF alone.
    const auto plain = [](const std::string& text) {
        return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    leftPane_->setPlainText(plain(left));
    rightPane_->setPlainText(plain(right));
}

void Galvorn::showBatchAddHelp()
{
    leftPane_->setPlainText(QStringLiteral("%1:\n    1.%2\n    2.%3\n    3.%4\n    4.%5")
                                .arg(uiText("IDCS_STEP"), uiText("IDCS_STEP_1"),
                                     uiText("IDCS_STEP_2"), uiText("IDCS_STEP_3"),
                                     uiText("IDCS_STEP_4")));
    const QString gender =
        QStringLiteral("1.%1: 0.%2 1.%3")
            .arg(uiText("IDCS_GENDER"), uiText("IDCS_SEX_MALE"), uiText("IDCS_SEX_FEMALE"));
    const QString roster = QStringLiteral("2.%1: 0.%2 1.%3 2.%4")
                               .arg(uiText("IDCS_ROSTER_TYPE"), uiText("IDCS_TYPE_STRANGER"),
                                    uiText("IDCS_TYPE_WHITELIST"), uiText("IDCS_TYPE_BLACKLIST"));
    rightPane_->setPlainText(QStringLiteral("%1: \n    %2\n    %3\n    %4\n    %5\n    %6")
                                 .arg(uiText("IDCS_EXPLAIN"), gender, roster,
                                      QStringLiteral("3.%1: ").arg(uiText("IDCS_AGE")),
                                      QStringLiteral("4.%1").arg(uiText("IDCS_POSITIONTIP")),
                                      QStringLiteral("5.%1").arg(uiText("IDCS_EDITTIP"))));
}

void Galvorn::untickAllRows()
{
    deviceTree_->clearTicks();
}

void Galvorn::slot_btnImportFaceLibraryClicked()
{
    if (!isRunning() && operationType_ != galvorn::OperationType::ImportData) {
        beginOperation(galvorn::OperationType::ImportData);
        selectAllButton_->setEnabled(true);
        showLibraryControls(true);
        tipLabel_->setText(uiText("IDCS_FACE_LIBRARY_IMPORT_TIP"));
        const galvorn::SummaryPanes panes = galvorn::emptySummaryPanes();
        showSummaryPanes(panes.left, panes.right);
        untickAllRows();
        openExamplesButton_->hide();
        datRadio_->hide();
        csvRadio_->hide();
    }
    showOperationChecks();
}

void Galvorn::slot_btnExportFaceLibraryClicked()
{
    if (!isRunning() && operationType_ != galvorn::OperationType::ExportData) {
        beginOperation(csvRadio_->isChecked() ? galvorn::OperationType::ExportCsv
                                              : galvorn::OperationType::ExportData);
        selectAllButton_->setEnabled(false);
        sameTypeButton_->setEnabled(false);
        showLibraryControls(true);
        tipLabel_->setText(uiText("IDCS_FACE_LIBRARY_EXPORT_TIP"));
        const galvorn::SummaryPanes panes = galvorn::emptySummaryPanes();
        showSummaryPanes(panes.left, panes.right);
        untickAllRows();
        openExamplesButton_->hide();
        datRadio_->show();
        csvRadio_->show();
    }
    showOperationChecks();
}

void Galvorn::slot_btnBatchAddClicked()
{
    if (!isRunning() && operationType_ != galvorn::OperationType::BatchAdd) {
        beginOperation(galvorn::OperationType::BatchAdd);
        selectAllButton_->setEnabled(false);
        sameTypeButton_->setEnabled(false);
        showLibraryControls(false);
        showBatchAddHelp();
        untickAllRows();
        openExamplesButton_->show();
        datRadio_->hide();
        csvRadio_->hide();
    }
    showOperationChecks();
}

void Galvorn::slot_exportTypeDATClick()
{
    operationType_ = galvorn::OperationType::ExportData;
}

void Galvorn::slot_exportTypeCSVClick()
{
    operationType_ = galvorn::OperationType::ExportCsv;
}

void Galvorn::slot_btnOpenExampleClicked()
{
    const std::string locale = QLocale::system().name().toStdString();
    const QString folder = QString::fromStdString(galvorn::platform::dataDir() + "/example/" +
                                                  galvorn::exampleFolderName(locale));
    if (!QDir(folder).exists())
        return;
    galvorn::platform::openUrl(QUrl::fromLocalFile(folder).toString().toStdString());
}

void Galvorn::slot_btnBrowseClicked()
{
    if (operationType_ == galvorn::OperationType::ImportData) {
        importFile_.close();
        applyBrowsedPath(QFileDialog::getOpenFileName(this));
        return;
    }
    applyBrowsedPath(QFileDialog::getExistingDirectory(this));
}

void Galvorn::applyBrowsedPath(const QString& path)
{
    selectedPath_ = path;
    if (operationType_ == galvorn::OperationType::ImportData && !path.isEmpty() &&
        !applyImportFile(path)) {
        selectedPath_.clear();
        N12_MessageBox::warning(uiText("IDCS_OPEN_FILE_FIAL"), this);
    }
    pathEdit_->setText(selectedPath_);
}

// Checks the chosen data file and keeps it open for the import; the import reads it
// piece by piece, so a large library never has to fit in memory.
bool Galvorn::applyImportFile(const QString& path)
{
    if (importFile_.open(path.toStdString()) != galvorn::facefile::Check::Valid)
        return false;
    const galvorn::SummaryPanes panes = galvorn::summaryPanes(importFile_.header());
    showSummaryPanes(panes.left, panes.right);
    return true;
}
