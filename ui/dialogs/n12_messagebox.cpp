#include "ui/dialogs/n12_messagebox.h"

#include "ui/uitext.h"
#include "widgets/vrnpushbutton.h"

#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

#include <algorithm>
#include <array>

namespace {

struct KindLook
{
    int kind;
    const char* picture;
    const char* titleKey;
};

constexpr std::array<KindLook, 4> kKinds{{
    {N12_MessageBox::Warning, ":/skin/Warning.png", "IDCS_WARNING"},
    {N12_MessageBox::Error, ":/skin/Error.png", "IDCS_ERROR"},
    {N12_MessageBox::Information, ":/skin/Information.png", "IDCS_INFORMATION"},
    {N12_MessageBox::Question, ":/skin/Question.png", "IDCS_QUESTION"},
}};

struct ButtonText
{
    N12_MessageBox::Button flag;
    const char* key;
};

// Buttons are created, and laid out from left to right, in this order.
constexpr std::array<ButtonText, 6> kButtons{{
    {N12_MessageBox::AllYes, "IDCS_ALL_YES"},
    {N12_MessageBox::AllNot, "IDCS_ALL_NOT"},
    {N12_MessageBox::Ok, "IDCS_OK"},
    {N12_MessageBox::Cancel, "IDCS_CANCEL"},
    {N12_MessageBox::Yes, "IDCS_YES"},
    {N12_MessageBox::No, "IDCS_NO"},
}};

// Escape answers with the last of these that the box offers.
constexpr std::array<N12_MessageBox::Button, 3> kEscapeAnswers{
    N12_MessageBox::AllNot, N12_MessageBox::No, N12_MessageBox::Cancel};

constexpr QSize kPictureSize(50, 50);
constexpr QPoint kPicturePos(20, 70);
constexpr int kTextLeft = 80;
constexpr int kTextTop = 40;
constexpr int kTextHeight = 110;
constexpr int kTextRightMargin = 20;
constexpr QSize kButtonSize(70, 23);
constexpr int kButtonRowFromBottom = 27;
constexpr int kButtonSpacing = 10;
constexpr int kButtonRightMargin = 12;

int buttonRowWidth(int count)
{
    return count * kButtonSize.width() + std::max(0, count - 1) * kButtonSpacing;
}

const KindLook* lookOf(int kind)
{
    for (const KindLook& look : kKinds) {
        if (look.kind == kind)
            return &look;
    }
    return nullptr;
}

} // namespace

N12_MessageBox::N12_MessageBox(int kind, const QString& message, int buttons, QWidget* parent)
    : CustomDialog(parent)
{
    picture_ = new QLabel(this);
    picture_->setScaledContents(true);
    if (const KindLook* look = lookOf(kind)) {
        picture_->setPixmap(QPixmap(QString::fromLatin1(look->picture)));
        setTitle(uiText(look->titleKey));
    }

    text_ = new QLabel(message, this);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    text_->setStyleSheet(QStringLiteral(
        "font: 13px; border: 0px; background: transparent; color: rgb(204,204,204);"));

    group_ = new QButtonGroup(this);
    connect(group_, &QButtonGroup::idClicked, this, &N12_MessageBox::slot_buttonClicked);
    addButtons(buttons);
    resize(std::max(kWidth, buttonRowWidth(static_cast<int>(group_->buttons().size())) +
                                2 * kButtonRightMargin),
           kHeight);
}

void N12_MessageBox::addButtons(int buttons)
{
    for (const ButtonText& entry : kButtons) {
        if (!(buttons & entry.flag))
            continue;
        auto* button = new VRNPushButton(uiText(entry.key), this);
        group_->addButton(button, entry.flag);
        defaultButton_ = button;
    }
    if (!defaultButton_)
        return;
    // The button that Enter presses is outlined in the accent colour.
    defaultButton_->setStyleSheet(
        QStringLiteral("VRNPushButton:default{border: 1px solid rgb(0,153,255);}"));
    defaultButton_->setAutoDefault(true);
    defaultButton_->setDefault(true);
    defaultButton_->setFocus();
    answer_ = group_->id(defaultButton_);
}

QPushButton* N12_MessageBox::button(Button flag) const
{
    return static_cast<QPushButton*>(group_->button(flag));
}

QString N12_MessageBox::text() const
{
    return text_->text();
}

void N12_MessageBox::slot_buttonClicked(int id)
{
    answer_ = id;
    accept();
}

void N12_MessageBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        for (Button flag : kEscapeAnswers) {
            if (button(flag))
                answer_ = flag;
        }
    }
    CustomDialog::keyPressEvent(event);
}

void N12_MessageBox::resizeEvent(QResizeEvent* event)
{
    CustomDialog::resizeEvent(event);
    picture_->setGeometry(QRect(kPicturePos, kPictureSize));
    text_->setGeometry(kTextLeft, kTextTop, width() - kTextLeft - kTextRightMargin, kTextHeight);

    const QList<QAbstractButton*> buttons = group_->buttons();
    const int count = static_cast<int>(buttons.size());
    int x = width() - kButtonRightMargin - buttonRowWidth(count);
    const int y = height() - kButtonRowFromBottom;
    for (QAbstractButton* b : buttons) {
        b->setGeometry(QRect(QPoint(x, y), kButtonSize));
        x += kButtonSize.width() + kButtonSpacing;
    }
}

int N12_MessageBox::run(int kind, const QString& message, int buttons, QWidget* parent)
{
    N12_MessageBox box(kind, message, buttons, parent);
    box.exec();
    return box.answer();
}

int N12_MessageBox::warning(const QString& message, QWidget* parent)
{
    return run(Warning, message, Ok, parent);
}

int N12_MessageBox::error(const QString& message, QWidget* parent)
{
    return run(Error, message, Ok, parent);
}

int N12_MessageBox::information(const QString& message, QWidget* parent)
{
    return run(Information, message, Ok, parent);
}

int N12_MessageBox::question(const QString& message, QWidget* parent)
{
    return run(Question, message, Ok | Cancel, parent);
}

int N12_MessageBox::questionYesNo(const QString& message, QWidget* parent)
{
    return run(Question, message, Yes | No, parent);
}
