#pragma once

#include <QDialog>
#include <QPoint>

class VRNButton;
class VRNLabel;
class QWidget;

// A frameless dialog of the program's own look with a title bar of its own: a title
// text and a close button that rejects the dialog. The dialog is moved by dragging it
// with the left button wherever no child widget takes the press.
class CustomDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kTitleBarHeight = 30;

    explicit CustomDialog(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const;

    VRNButton* closeButton() const { return closeButton_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QWidget* titleBar_ = nullptr;
    VRNLabel* titleLabel_ = nullptr;
    VRNButton* closeButton_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_; // from the window's top-left corner to the pointer
};
