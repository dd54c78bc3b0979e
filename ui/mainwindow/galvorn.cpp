#include "ui/mainwindow/galvorn.h"

#include "app/logging.h"
#include "config/languagetable.h"
#include "platform/paths.h"
#include "ui/uitext.h"
#include "widgets/ncframelesshelper.h"
#include "widgets/vrnbutton.h"
#include "widgets/vrnlabel.h"

#include <QGuiApplication>
#include <QLocale>
#include <QResizeEvent>
#include <QScreen>

namespace {

// Stored sizes beyond this are not a window size but damage in the settings file.
constexpr int kMaxStoredDialogSide = 16384;

int sanitisedSide(int stored, int fallback)
{
    return stored > 0 && stored <= kMaxStoredDialogSide ? stored : fallback;
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

} // namespace

Galvorn::Galvorn(QWidget* parent, Qt::WindowFlags flags) : BaseDialog(parent, flags)
{
    readSettings();
    buildWidgets();

    connect(minButton_, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(maxButton_, &QPushButton::clicked, this, &Galvorn::slot_btnMaxClicked);
    connect(closeButton_, &QPushButton::clicked, this, &Galvorn::slot_btnCloseClicked);

    titleLabel_->setText(QStringLiteral("%1 v%2").arg(uiText("IDCS_GALVORN"), kVersion));
    setWindowTitle(uiText("IDCS_GALVORN"));
    layoutWidgets();
    galvorn::setUpLogging();
}

Galvorn::~Galvorn()
{
    galvorn::releaseLanguage();
    frameless_->removeFrom(this);
    galvorn::shutDownLogging();
}

void Galvorn::readSettings()
{
    const std::string locale = QLocale::system().name().toStdString();
    settings_ = galvorn::readLocalSettings(galvorn::settingsFilePath(), locale);
    resize(sanitisedSide(settings_.dialogWidth, galvorn::kMinDialogWidth),
           sanitisedSide(settings_.dialogHeight, galvorn::kMinDialogHeight));
    setMinimumSize(galvorn::kMinDialogWidth, galvorn::kMinDialogHeight);
    galvorn::loadLanguage(galvorn::platform::executableDir(), settings_.languageId, locale);
}

void Galvorn::buildWidgets()
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
