#include "widgets/customdialog.h"

#include "widgets/vrnbutton.h"
#include "widgets/vrnlabel.h"

#include <QMouseEvent>

namespace {

constexpr int kCloseSide = 22;
constexpr int kTitleMargin = 10;

} // namespace

CustomDialog::CustomDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("customDialog"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#customDialog{background: rgb(40,40,40);"
                                 " border: 1px solid rgb(78,83,90);}"));

    titleBar_ = new QWidget(this);
    titleBar_->setObjectName(QStringLiteral("customDialogTitleBar"));
    titleBar_->setAttribute(Qt::WA_StyledBackground);
    titleBar_->setStyleSheet(QStringLiteral("#customDialogTitleBar{background: rgb(30,31,35);"
                                            " border-bottom: 1px solid rgb(0,153,255);}"));

    titleLabel_ = new VRNLabel(titleBar_);
    titleLabel_->setObjectName(QStringLiteral("customDialogTitle"));
    titleLabel_->setStyleSheet(QStringLiteral(
        "#customDialogTitle{font: bold 14px; color: rgb(230,230,230); background: transparent;}"));

    closeButton_ = new VRNButton(titleBar_);
    closeButton_->setSkin(QStringLiteral("close.png"));
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void CustomDialog::setTitle(const QString& title)
{
    titleLabel_->setText(title);
    setWindowTitle(title);
}

QString CustomDialog::title() const
{
    return titleLabel_->text();
}

void CustomDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const int w = width();
    titleBar_->setGeometry(1, 1, w - 2, kTitleBarHeight);
    titleLabel_->setGeometry(kTitleMargin, 0, w - 2 * kTitleMargin - kCloseSide, kTitleBarHeight);
    closeButton_->setGeometry(w - 2 - kCloseSide - 3, (kTitleBarHeight - kCloseSide) / 2,
                              kCloseSide, kCloseSide);
}

void CustomDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void CustomDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - dragOffset_);
    event->accept();
}

void CustomDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
