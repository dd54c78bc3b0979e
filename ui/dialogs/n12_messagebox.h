#pragma once

#include "widgets/customdialog.h"

class QButtonGroup;
class QLabel;
class QPushButton;

// The program's modal message box: a kind picture and title, a word-wrapped text and
// up to six buttons with translated texts. The box answers with the flag of the
// button that closed it; Escape and the title bar's close button give the answers
// described at keyPressEvent() and answer().
class N12_MessageBox : public CustomDialog
{
    Q_OBJECT

public:
    enum Kind
    {
        Warning = 1,
        Error = 2,
        Information = 3,
        Question = 4,
    };

    // Button flags; each is also the button's id in the box's button group.
    enum Button
    {
        Yes = 0x01,
        No = 0x02,
        AllYes = 0x04,
        AllNot = 0x08,
        Ok = 0x10,
        Cancel = 0x20,
    };

    // The box's size; a row of more than four buttons widens it to fit them.
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 200;

    // buttons is a combination of Button flags. The last button in the order
    // AllYes, AllNot, Ok, Cancel, Yes, No is the default: Enter presses it and it
    // has the focus.
    N12_MessageBox(int kind, const QString& text, int buttons, QWidget* parent = nullptr);

    // The flag of the button that closed the box; the default button's flag until
    // then, and after a close by the title bar.
    int answer() const { return answer_; }
    QPushButton* button(Button flag) const;
    QPushButton* defaultButton() const { return defaultButton_; }
    QString text() const;

    // Each runs a box modally and returns its answer().
    static int warning(const QString& text, QWidget* parent = nullptr);
    static int error(const QString& text, QWidget* parent = nullptr);
    static int information(const QString& text, QWidget* parent = nullptr);
    static int question(const QString& text, QWidget* parent = nullptr);
    static int questionYesNo(const QString& text, QWidget* parent = nullptr);

public slots:
    void slot_buttonClicked(int id);

protected:
    // Escape without modifiers answers No to All, No or Cancel (the last of them that
    // the box offers) before the dialog closes; with none of them the answer stays
    // the default button's.
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void addButtons(int buttons);
    static int run(int kind, const QString& text, int buttons, QWidget* parent);

    QLabel* picture_ = nullptr;
    QLabel* text_ = nullptr;
    QButtonGroup* group_ = nullptr;
    QPushButton* defaultButton_ = nullptr;
    int answer_ = 0;
};
