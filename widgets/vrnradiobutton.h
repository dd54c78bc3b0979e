#pragma once

#include <QRadioButton>

// A radio button styled by the application style sheet under its class name.
class VRNRadioButton : public QRadioButton
{
    Q_OBJECT

public:
    explicit VRNRadioButton(QWidget* parent = nullptr);
    explicit VRNRadioButton(const QString& text, QWidget* parent = nullptr);
};
