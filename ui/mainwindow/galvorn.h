#pragma once

#include "config/localsettings.h"
#include "widgets/basedialog.h"

#include <QRect>

class NcFramelessHelper;
class QLabel;
class QWidget;
class VRNButton;
class VRNLabel;

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
    void buildWidgets();
    void layoutWidgets();

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
};
