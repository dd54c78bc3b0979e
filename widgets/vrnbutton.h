#pragma once

#include <QPushButton>

// A picture button. Its skin is one picture holding the normal, hover and pressed
// states side by side, each a third of the picture's width.
class VRNButton : public QPushButton
{
    Q_OBJECT

public:
    explicit VRNButton(QWidget* parent = nullptr);

    // name is a picture below ":/skin/", such as "close.png".
    void setSkin(const QString& name);
    QString skin() const { return skin_; }

    // The style sheet that shows the three states of a 66-pixel strip.
    static QString skinStyleSheet(const QString& name);

private:
    QString skin_;
};
