#pragma once

#include "config/localsettings.h"
#include "widgets/basedialog.h"

#include <QRect>

class BorderImage;
class NcFramelessHelper;
class QGroupBox;
class QLabel;
class QTextEdit;
class QWidget;
class VRNButton;
class VRNLabel;
class VRNLineEdit;
class VRNPushButton;
class VRNRadioButton;

// The program's only window. It owns every widget of the window, the settings read
// at start-up and, later, the search and the runs.
class Galvorn : public BaseDialog
{
    Q_OBJECT

public:
    static constexpr char kVersion[] = "1.0.2.1";

    explicit Galvorn(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~Galvorn() override;

    const galvorn::LocalSettings& settings() const { return settings_; }
    bool isMaximizedByButton() const { return maximized_; }

public slots:
    void slot_btnCloseClicked();
    void slot_btnMaxClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
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

    galvorn::LocalSettings settings_;
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
